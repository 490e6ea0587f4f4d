#include <windows.h>
#include <stdio.h>

#include "resource.h"
#include "observe.h"

// Starts preloader.exe from the current folder and prints what its progress
// window shows as it changes: the step, and the bar at every tenth of its
// range. Ends with the program's exit code, which it also returns.

int main()
{
    wchar_t folder[MAX_PATH], exe[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);
    wsprintfW(exe, L"%s\\preloader.exe", folder);
    PROCESS_INFORMATION program = StartIn(exe, folder);
    if (!program.hProcess) {
        printf("cannot start %ls: error %lu\n", exe, GetLastError());
        return 2;
    }
    int shownStep = -1, shownTenth = -1;
    bool dialogShown = false;
    DWORD start = GetTickCount();
    while (WaitForSingleObject(program.hProcess, 20) == WAIT_TIMEOUT) {
        HWND progress = FindProcessWindow(program.dwProcessId, PROGRESS_CAPTION);
        if (!progress)
            continue;
        double seconds = (GetTickCount() - start) / 1000.0;
        int step = ShownStep(progress);
        if (step != shownStep) {
            printf("%6.1f s  step: %ls\n", seconds, StepName(step));
            shownStep = step;
            shownTenth = -1;
        }
        int position = BarPosition(progress), maximum = BarMaximum(progress);
        int tenth = maximum > 0 && position >= 0 ? position * 10 / maximum : -1;
        if (tenth != shownTenth && tenth >= 0) {
            printf("%6.1f s  bar: %d of %d\n", seconds, position, maximum);
            shownTenth = tenth;
        }
        HWND dialog = FindProcessWindow(program.dwProcessId, ERROR_CAPTION);
        if (dialog && !dialogShown) {
            wchar_t message[1000];
            ControlText(dialog, IDC_MESSAGE, message, ARRAYSIZE(message));
            printf("%6.1f s  error dialog: %ls\n", seconds, message);
            dialogShown = true;
        }
        fflush(stdout);
    }
    DWORD code = 0;
    GetExitCodeProcess(program.hProcess, &code);
    printf("%6.1f s  exit code: %lu\n", (GetTickCount() - start) / 1000.0, code);
    return (int)code;
}
