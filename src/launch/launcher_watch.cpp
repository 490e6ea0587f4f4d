#include <windows.h>

#include "resource.h"
#include "launch/launcher_watch.h"
#include "preload/data_warming.h"
#include "ui/error_dialog.h"
#include "ui/message_pump.h"
#include "ui/progress_window.h"

const wchar_t LAUNCH_FAILED_TEXT[] = L"Cannot start launcher";

void CALLBACK OnRewarmTimer(HWND window, UINT, UINT_PTR, DWORD)
{
    WarmDataFile(window, true);
    SelectStep(window, IDC_STEP_LAUNCH);
}

void LaunchAndWatch(HWND window)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // CreateProcessW may write into the command line: hand it a copy.
    wchar_t commandLine[ARRAYSIZE(LAUNCHER_COMMAND_LINE)];
    CopyMemory(commandLine, LAUNCHER_COMMAND_LINE, sizeof commandLine);

    // An application name without a path is looked up in the current
    // directory only, never on the PATH.
    if (!CreateProcessW(LAUNCHER_APPLICATION, commandLine, NULL, NULL, FALSE, 0, NULL, NULL,
                        &startup, &process))
        ShowFatalError(window, LAUNCH_FAILED_TEXT);

    SelectStep(window, IDC_STEP_LAUNCH);
    SetTimer(window, REWARM_TIMER_ID, REWARM_PERIOD_MS, OnRewarmTimer);

    // Neither the game window nor the launcher's end wakes us: both are
    // noticed at the next wake-up, a timer tick at the latest.
    if (FindWindowW(NULL, GAME_WINDOW_TITLE))
        return;
    for (;;) {
        if (WaitForSingleObject(process.hProcess, 0) != WAIT_TIMEOUT)
            return;
        WaitMessage();
        PumpMessages();
        if (FindWindowW(NULL, GAME_WINDOW_TITLE))
            return;
    }
}
