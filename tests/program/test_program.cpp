#include <windows.h>
#include <stdio.h>
#include <string>
#include <vector>

#include "resource.h"
#include "observe.h"
#include "../support/fixtures.h"
#include "../support/test.h"

// Whole-program runs: preloader.exe in a fresh temporary game folder with the
// stand-in launcher, watched and driven from outside.

enum Action {
    WAIT,            // let it run to its end
    STOP_IN_MEMORY,  // "Stop" once the memory step shows
    STOP_IN_WATCH,   // "Stop" once the launch step shows
    CLOSE_IN_WATCH,  // the close box once the launch step shows
};

struct Scenario {
    const char *name;
    int dataMiB;              // size of the data file; -1: none
    bool launcher;            // the stand-in launcher is in the folder
    const wchar_t *windowMs;  // when the stand-in opens the game window; "-1": never
    const wchar_t *lifetimeMs;
    Action action;
    const wchar_t *errorText; // the error dialog is expected with this message; "Exit" is clicked
    DWORD exitCode;
    bool launcherStarted;
    bool launcherOutlives;    // still running after the program ended
    bool rewarmSeen;          // a timer tick showed "Reading files" again while watching
    DWORD withinMs;
};

static const DWORD NOT_SEEN = 0xFFFFFFFF;

static std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(NULL, path, MAX_PATH);
    *wcsrchr(path, L'\\') = L'\0';
    return path;
}

static void WriteDataFile(const std::wstring &path, int mib)
{
    std::vector<BYTE> chunk(1024 * 1024);
    for (size_t i = 0; i < chunk.size(); i++)
        chunk[i] = (BYTE)(i * 7 + 3);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written;
    for (int i = 0; i < mib; i++)
        WriteFile(file, chunk.data(), (DWORD)chunk.size(), &written, NULL);
    CloseHandle(file);
}

static std::wstring ReadText(const std::wstring &path, bool wide)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return L"";
    char bytes[1024] = {};
    DWORD read = 0;
    ReadFile(file, bytes, sizeof bytes - 2, &read, NULL);
    CloseHandle(file);
    if (wide)
        return std::wstring((const wchar_t *)bytes, read / sizeof(wchar_t));
    return std::wstring(bytes, bytes + read);
}

static void RunScenario(const Scenario &s)
{
    std::wstring bin = ProgramFolder();
    std::wstring folder = MakeTempFolder();
    std::wstring exe = folder + L"\\preloader.exe";
    CopyFileW((bin + L"\\preloader.exe").c_str(), exe.c_str(), FALSE);
    if (s.launcher)
        CopyFileW((bin + L"\\standin_launcher.exe").c_str(), (folder + L"\\TurbineLauncher.exe").c_str(), FALSE);
    if (s.dataMiB >= 0)
        WriteDataFile(folder + L"\\client_gamelogic.dat", s.dataMiB);
    SetEnvironmentVariableW(L"STANDIN_WINDOW_MS", s.windowMs);
    SetEnvironmentVariableW(L"STANDIN_LIFETIME_MS", s.lifetimeMs);

    PROCESS_INFORMATION program = StartIn(exe.c_str(), folder.c_str());
    ok(program.hProcess != NULL, "%s: cannot start the program: error %lu", s.name, GetLastError());
    if (!program.hProcess) {
        RemoveFolder(folder);
        return;
    }

    std::vector<int> steps;
    bool acted = false, dialogSeen = false, ignoreEnabled = false;
    int stepAtDialog = 0;
    wchar_t message[1000] = L"";
    DWORD start = GetTickCount();
    while (WaitForSingleObject(program.hProcess, 20) == WAIT_TIMEOUT && GetTickCount() - start < s.withinMs) {
        HWND progress = FindProcessWindow(program.dwProcessId, PROGRESS_CAPTION);
        HWND dialog = FindProcessWindow(program.dwProcessId, ERROR_CAPTION);
        if (!progress)
            continue;
        int step = ShownStep(progress);
        if (step && (steps.empty() || steps.back() != step))
            steps.push_back(step);
        if (dialog && !dialogSeen) {
            dialogSeen = true;
            stepAtDialog = step;
            ControlText(dialog, IDC_MESSAGE, message, ARRAYSIZE(message));
            ignoreEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK));
            PostMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
        }
        if (acted)
            continue;
        if (s.action == STOP_IN_MEMORY && step == IDC_STEP_MEMORY) {
            PostMessageW(GetDlgItem(progress, IDCANCEL), BM_CLICK, 0, 0);
            acted = true;
        } else if (s.action == STOP_IN_WATCH && step == IDC_STEP_LAUNCH) {
            PostMessageW(GetDlgItem(progress, IDCANCEL), BM_CLICK, 0, 0);
            acted = true;
        } else if (s.action == CLOSE_IN_WATCH && step == IDC_STEP_LAUNCH) {
            PostMessageW(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
            acted = true;
        }
    }
    DWORD exitCode = WaitExitCode(program.hProcess, 0);
    if (exitCode == STILL_ACTIVE)
        TerminateProcess(program.hProcess, 99);
    CloseHandle(program.hProcess);
    CloseHandle(program.hThread);

    ok(exitCode == s.exitCode, "%s: exit code %lu, expected %lu", s.name, exitCode, s.exitCode);
    ok(!steps.empty() && steps[0] == IDC_STEP_MEMORY, "%s: first step shown %ls", s.name,
       StepName(steps.empty() ? 0 : steps[0]));
    ok(dialogSeen == (s.errorText != NULL), "%s: error dialog %s", s.name, dialogSeen ? "shown" : "not shown");
    if (s.errorText && dialogSeen) {
        ok(!wcscmp(message, s.errorText), "%s: message '%ls', expected '%ls'", s.name, message, s.errorText);
        ok(!ignoreEnabled, "%s: \"Ignore\" enabled in a fatal error", s.name);
        // Both fatal errors come up while the files step still shows.
        ok(stepAtDialog == IDC_STEP_FILES, "%s: step %ls under the dialog", s.name, StepName(stepAtDialog));
    }
    if (s.action == WAIT && !s.errorText && s.launcherStarted)
        ok(steps.back() == IDC_STEP_LAUNCH, "%s: last step shown %ls", s.name, StepName(steps.back()));
    bool rewarmSeen = false;
    for (size_t i = 1; i + 1 < steps.size(); i++)
        rewarmSeen = rewarmSeen || (steps[i] == IDC_STEP_FILES && steps[i - 1] == IDC_STEP_LAUNCH);
    if (s.rewarmSeen)
        ok(rewarmSeen, "%s: no re-warm seen while watching", s.name);

    // A launcher started just before "Stop" may still be on its way up.
    std::wstring arguments = ReadText(folder + L"\\launcher_args.txt", true);
    for (int wait = 0; s.launcherStarted && arguments.empty() && wait < 100; wait++) {
        Sleep(50);
        arguments = ReadText(folder + L"\\launcher_args.txt", true);
    }
    ok(!arguments.empty() == s.launcherStarted, "%s: launcher %s", s.name, arguments.empty() ? "not started" : "started");
    if (s.launcherStarted)
        ok(arguments == L"TurbineLauncher.exe -invoker", "%s: launcher command line '%ls'", s.name,
           arguments.c_str());
    DWORD launcherPid = wcstoul(ReadText(folder + L"\\launcher_pid.txt", false).c_str(), NULL, 10);
    if (launcherPid) {
        HANDLE launcher = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, launcherPid);
        bool running = launcher && WaitForSingleObject(launcher, 0) == WAIT_TIMEOUT;
        ok(running == s.launcherOutlives, "%s: launcher %s after the program", s.name,
           running ? "still running" : "gone");
        if (launcher) {
            TerminateProcess(launcher, 0);
            WaitForSingleObject(launcher, 5000);
            CloseHandle(launcher);
        }
    }
    RemoveFolder(folder);
}

// The game window is noticed only at the next wake-up, up to one 10-second
// timer period after it opens: bounds are generous.
static const Scenario scenarios[] = {
    {"normal run", 8, true, L"1000", L"60000", WAIT, NULL, 0, true, true, false, 60000},
    {"game window after a tick", 32, true, L"14000", L"60000", WAIT, NULL, 0, true, true, true, 60000},
    {"launcher ends first", 8, true, L"-1", L"500", WAIT, NULL, 0, true, false, false, 60000},
    {"missing data file", -1, true, L"1000", L"60000", WAIT, L"Can't open file 'client_gamelogic.dat'\n", 1, false,
     false, false, 60000},
    {"empty data file", 0, true, L"1000", L"60000", WAIT, L"Can't open mapping for file 'client_gamelogic.dat'\n", 1,
     false, false, false, 60000},
    {"missing launcher", 8, false, L"1000", L"60000", WAIT, L"Cannot start launcher", 1, false, false, false, 60000},
    {"Stop while clearing memory", 8, true, L"1000", L"60000", STOP_IN_MEMORY, NULL, 0, false, false, false, 60000},
    {"Stop while watching", 8, true, L"-1", L"-1", STOP_IN_WATCH, NULL, 0, true, true, false, 60000},
    {"close box while watching", 8, true, L"-1", L"-1", CLOSE_IN_WATCH, NULL, 0, true, true, false, 60000},
};

static void test_scenarios()
{
    for (const Scenario &s : scenarios) {
        printf("  %s\n", s.name);
        fflush(stdout);
        RunScenario(s);
    }
}

int main(int argc, char **argv)
{
    static const TestCase tests[] = {
        {"scenarios", test_scenarios},
    };
    return RUN_TESTS(argc, argv, tests);
}
