#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#include "resource.h"
#include "observe.h"
#include "../support/fixtures.h"
#include "../support/test.h"

// Whole-program runs: preloader.exe in a fresh temporary game folder with the
// stand-in launcher, watched and driven from outside by window captions,
// control states, clicks, keys and the exit code. One row per scenario.

enum Data { DATA_NONE = -1, DATA_FOLDER = -2, DATA_5_GIB_SPARSE = -3 };
enum Launcher { STANDIN, NO_LAUNCHER, NOT_A_PROGRAM, ONLY_ON_PATH };
enum Hold { NOT_HELD, HELD_WITHOUT_READ_SHARING, HELD_FOR_WRITING_SHARED };

// When the driver acts: the first time it sees this.
enum When { NEVER, MEMORY_STEP, FILES_STEP, WATCHING, IN_A_TICK, AFTER_A_TICK };
enum Act { CLICK_STOP, CLOSE_BOX, PRESS_ESCAPE, REPLACE_LARGER_THEN_SMALLER, TRUNCATE_DATA, DELETE_DATA };
enum DialogAct { CLICK_EXIT, ESCAPE_DIALOG, CLOSE_DIALOG, CLICK_IGNORE };

struct Scenario {
    const char *name;
    // The folder.
    int dataMiB = 8;  // or one of Data
    Launcher launcher = STANDIN;
    const wchar_t *windowMs = L"1000";  // when the stand-in opens the game window; -1: never
    const wchar_t *lifetimeMs = L"60000";
    Hold hold = NOT_HELD;
    const wchar_t *otherWindow = NULL;  // a top-level window of the driver's, made before the start
    // The action.
    When when = NEVER;
    Act act = CLICK_STOP;
    // The error dialog, when one is expected, and how it is left.
    const wchar_t *dialogText = NULL;
    int dialogStep = IDC_STEP_FILES;
    DialogAct dialogAct = CLICK_EXIT;
    // What is expected.
    DWORD exitCode = 0;
    bool launcherStarted = true;
    bool launcherOutlives = true;
    int ticksAtLeast = 0;
    int ticksAtMost = 1000;
    DWORD watchAtLeastMs = 0;  // from "Launching the game" to the end
    bool lowMemory = false;    // runs only where the memory query is made to report 1000 MiB
};

static const wchar_t MISSING_FILE_TEXT[] = L"Can't open file 'client_gamelogic.dat'\n";
static const wchar_t EMPTY_FILE_TEXT[] = L"Can't open mapping for file 'client_gamelogic.dat'\n";
static const wchar_t MAP_FAILED_TEXT[] = L"Can't map file 'client_gamelogic.dat'\n";
static const wchar_t LAUNCH_FAILED_TEXT[] = L"Cannot start launcher";
static const wchar_t LOW_MEMORY_TEXT[] = L"Not enough memory - preloader can be inefficient";
static const wchar_t GAME_TITLE[] = L"Dungeons and Dragons Online";

// The data file's sizes in the replacement row.
static const int LARGER_MIB = 160, SMALLER_MIB = 48;

// The game window is noticed only at the next wake-up, up to one 10-second
// timer period after it opens: bounds are generous.
static const DWORD RUN_LIMIT_MS = 90000;

static const Scenario scenarios[] = {
    {.name = "normal run"},
    // Rows that watch ticks from outside use files large enough for a tick
    // to last long enough to be seen.
    {.name = "game window after several ticks", .dataMiB = 64, .windowMs = L"21000", .ticksAtLeast = 2},
    {.name = "launcher ends at once", .windowMs = L"-1", .lifetimeMs = L"0", .launcherOutlives = false},
    {.name = "data file missing", .dataMiB = DATA_NONE, .dialogText = MISSING_FILE_TEXT, .exitCode = 1,
     .launcherStarted = false},
    {.name = "data file empty", .dataMiB = 0, .dialogText = EMPTY_FILE_TEXT, .exitCode = 1, .launcherStarted = false},
    {.name = "data file is a folder", .dataMiB = DATA_FOLDER, .dialogText = MISSING_FILE_TEXT, .exitCode = 1,
     .launcherStarted = false},
    {.name = "data file held without read sharing", .hold = HELD_WITHOUT_READ_SHARING,
     .dialogText = MISSING_FILE_TEXT, .exitCode = 1, .launcherStarted = false},
    {.name = "data file held for writing, shared", .hold = HELD_FOR_WRITING_SHARED},
    {.name = "data file too large to map", .dataMiB = DATA_5_GIB_SPARSE, .dialogText = MAP_FAILED_TEXT, .exitCode = 1,
     .launcherStarted = false},
    {.name = "data file replaced between passes", .dataMiB = 64, .windowMs = L"-1", .lifetimeMs = L"22000", .when = WATCHING,
     .act = REPLACE_LARGER_THEN_SMALLER, .launcherOutlives = false, .ticksAtLeast = 2},
    {.name = "data file truncated during a tick", .dataMiB = 64, .windowMs = L"-1", .lifetimeMs = L"15000",
     .when = IN_A_TICK, .act = TRUNCATE_DATA, .launcherOutlives = false, .ticksAtLeast = 1},
    // A tick that cannot open the file is too short to be seen from outside;
    // the watch going on until the launcher ends is what shows.
    {.name = "data file deleted while watching", .windowMs = L"-1", .lifetimeMs = L"15000", .when = WATCHING,
     .act = DELETE_DATA, .launcherOutlives = false, .watchAtLeastMs = 13000},
    {.name = "launcher missing", .launcher = NO_LAUNCHER, .dialogText = LAUNCH_FAILED_TEXT, .exitCode = 1,
     .launcherStarted = false},
    {.name = "launcher not a program", .launcher = NOT_A_PROGRAM, .dialogText = LAUNCH_FAILED_TEXT, .exitCode = 1,
     .launcherStarted = false},
    {.name = "launcher only on the PATH", .launcher = ONLY_ON_PATH, .dialogText = LAUNCH_FAILED_TEXT, .exitCode = 1,
     .launcherStarted = false},
    {.name = "launcher never ends, Stop after a tick", .dataMiB = 64, .windowMs = L"-1", .lifetimeMs = L"-1", .when = AFTER_A_TICK,
     .ticksAtLeast = 1},
    {.name = "game window there before the start", .windowMs = L"-1", .lifetimeMs = L"-1",
     .otherWindow = GAME_TITLE, .ticksAtMost = 0},
    {.name = "title only containing the words", .windowMs = L"-1", .lifetimeMs = L"12000",
     .otherWindow = L"Dungeons and Dragons Online - Forums", .launcherOutlives = false, .watchAtLeastMs = 10000},
    {.name = "progress caption does not count", .windowMs = L"-1", .lifetimeMs = L"12000", .launcherOutlives = false,
     .watchAtLeastMs = 10000},
    {.name = "Stop while clearing memory", .when = MEMORY_STEP, .launcherStarted = false},
    {.name = "Stop while reading files", .dataMiB = 256, .when = FILES_STEP, .launcherStarted = false},
    {.name = "Stop while watching", .windowMs = L"-1", .lifetimeMs = L"-1", .when = WATCHING},
    {.name = "Stop during a tick", .dataMiB = 64, .windowMs = L"-1", .lifetimeMs = L"-1", .when = IN_A_TICK},
    {.name = "close box while watching", .windowMs = L"-1", .lifetimeMs = L"-1", .when = WATCHING, .act = CLOSE_BOX},
    {.name = "Escape in the progress window", .windowMs = L"-1", .lifetimeMs = L"12000", .when = WATCHING,
     .act = PRESS_ESCAPE, .launcherOutlives = false, .watchAtLeastMs = 10000},
    {.name = "Escape in the error dialog", .dataMiB = DATA_NONE, .dialogText = MISSING_FILE_TEXT,
     .dialogAct = ESCAPE_DIALOG, .exitCode = 1, .launcherStarted = false},
    {.name = "close box of the error dialog", .dataMiB = DATA_NONE, .dialogText = MISSING_FILE_TEXT,
     .dialogAct = CLOSE_DIALOG, .exitCode = 1, .launcherStarted = false},
    {.name = "Exit in the start-up warning", .dialogText = LOW_MEMORY_TEXT, .dialogStep = 0, .exitCode = 1,
     .launcherStarted = false, .lowMemory = true},
    {.name = "Ignore in the start-up warning", .dialogText = LOW_MEMORY_TEXT, .dialogStep = 0,
     .dialogAct = CLICK_IGNORE, .lowMemory = true},
};

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
    ok(file != INVALID_HANDLE_VALUE, "cannot write %ls: error %lu", path.c_str(), GetLastError());
    DWORD written;
    for (int i = 0; i < mib; i++)
        WriteFile(file, chunk.data(), (DWORD)chunk.size(), &written, NULL);
    CloseHandle(file);
}

static void WriteSparseFile(const std::wstring &path, ULONGLONG size)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    LARGE_INTEGER end;
    end.QuadPart = (LONGLONG)size;
    SetFilePointerEx(file, end, NULL, FILE_BEGIN);
    ok(SetEndOfFile(file), "cannot make a sparse file of %llu bytes: error %lu", size, GetLastError());
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

// Everything the driver saw of one run.
struct Observed {
    std::vector<int> steps;  // each change of the shown step
    int ticks = 0;           // "Reading files" again after "Launching the game"
    bool dialogSeen = false, ignoreEnabled = false;
    int stepAtDialog = 0;
    wchar_t message[1000] = L"";
    DWORD watchStart = 0, end = 0;
    std::vector<int> tickMaxima;  // the bar's upper limit seen in ticks
    DWORD exitCode = STILL_ACTIVE;
};

static HANDLE PrepareFolder(const Scenario &s, const std::wstring &folder)
{
    std::wstring bin = ProgramFolder();
    std::wstring data = folder + L"\\client_gamelogic.dat";
    CopyFileW((bin + L"\\preloader.exe").c_str(), (folder + L"\\preloader.exe").c_str(), FALSE);
    std::wstring launcher = folder + L"\\TurbineLauncher.exe";
    if (s.launcher == STANDIN)
        CopyFileW((bin + L"\\standin_launcher.exe").c_str(), launcher.c_str(), FALSE);
    else if (s.launcher == NOT_A_PROGRAM)
        WriteFixture(launcher, std::vector<BYTE>(4096, 'x'));
    else if (s.launcher == ONLY_ON_PATH) {
        std::wstring onPath = folder + L"\\on-path";
        CreateDirectoryW(onPath.c_str(), NULL);
        CopyFileW((bin + L"\\standin_launcher.exe").c_str(), (onPath + L"\\TurbineLauncher.exe").c_str(), FALSE);
        wchar_t path[4096];
        GetEnvironmentVariableW(L"PATH", path, ARRAYSIZE(path));
        SetEnvironmentVariableW(L"PATH", (onPath + L";" + path).c_str());
    }
    if (s.dataMiB >= 0)
        WriteDataFile(data, s.dataMiB);
    else if (s.dataMiB == DATA_FOLDER)
        CreateDirectoryW(data.c_str(), NULL);
    else if (s.dataMiB == DATA_5_GIB_SPARSE)
        WriteSparseFile(data, 5ull << 30);
    SetEnvironmentVariableW(L"STANDIN_WINDOW_MS", s.windowMs);
    SetEnvironmentVariableW(L"STANDIN_LIFETIME_MS", s.lifetimeMs);
    if (s.hold == HELD_WITHOUT_READ_SHARING)
        return CreateFileW(data.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (s.hold == HELD_FOR_WRITING_SHARED)
        return CreateFileW(data.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    return NULL;
}

static void DoAction(const Scenario &s, HWND progress, const std::wstring &data, int &replaced)
{
    switch (s.act) {
    case CLICK_STOP:
        PostMessageW(GetDlgItem(progress, IDCANCEL), BM_CLICK, 0, 0);
        break;
    case CLOSE_BOX:
        PostMessageW(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case PRESS_ESCAPE:
        PostMessageW(GetDlgItem(progress, IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(progress, WM_KEYDOWN, VK_ESCAPE, 0);
        break;
    case REPLACE_LARGER_THEN_SMALLER:
        // Between passes nothing holds the file.
        WriteDataFile(data, LARGER_MIB);
        replaced = 1;
        break;
    case TRUNCATE_DATA:
        TruncateFromLinux(data, 4096);
        break;
    case DELETE_DATA:
        ok(DeleteFileW(data.c_str()), "cannot delete the data file: error %lu", GetLastError());
        break;
    }
}

static Observed Watch(const Scenario &s, const PROCESS_INFORMATION &program, const std::wstring &data)
{
    Observed seen;
    bool acted = false;
    int replaced = 0;
    DWORD start = GetTickCount();
    while (WaitForSingleObject(program.hProcess, 10) == WAIT_TIMEOUT && GetTickCount() - start < RUN_LIMIT_MS) {
        HWND progress = FindProcessWindow(program.dwProcessId, PROGRESS_CAPTION);
        HWND dialog = FindProcessWindow(program.dwProcessId, ERROR_CAPTION);
        if (!progress)
            continue;
        int step = ShownStep(progress);
        if (step && (seen.steps.empty() || seen.steps.back() != step)) {
            if (step == IDC_STEP_FILES && !seen.steps.empty() && seen.steps.back() == IDC_STEP_LAUNCH)
                seen.ticks++;
            if (step == IDC_STEP_LAUNCH && !seen.watchStart)
                seen.watchStart = GetTickCount();
            seen.steps.push_back(step);
        }
        bool inTick = seen.ticks > 0 && step == IDC_STEP_FILES;
        if (inTick) {
            int maximum = BarMaximum(progress);
            if (maximum > 0 && (seen.tickMaxima.empty() || seen.tickMaxima.back() != maximum))
                seen.tickMaxima.push_back(maximum);
        }
        if (dialog && !seen.dialogSeen) {
            seen.dialogSeen = true;
            seen.stepAtDialog = step;
            ControlText(dialog, IDC_MESSAGE, seen.message, ARRAYSIZE(seen.message));
            seen.ignoreEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK));
            if (s.dialogAct == CLICK_EXIT)
                PostMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
            else if (s.dialogAct == ESCAPE_DIALOG)
                PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
            else if (s.dialogAct == CLOSE_DIALOG)
                PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
            else
                PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        }
        // The second half of a replacement: once a tick has read the larger file.
        if (replaced == 1 && seen.ticks >= 1 && step == IDC_STEP_LAUNCH) {
            WriteDataFile(data, SMALLER_MIB);
            replaced = 2;
        }
        bool due = (s.when == MEMORY_STEP && step == IDC_STEP_MEMORY) ||
                   (s.when == FILES_STEP && step == IDC_STEP_FILES && seen.ticks == 0) ||
                   (s.when == WATCHING && step == IDC_STEP_LAUNCH) || (s.when == IN_A_TICK && inTick) ||
                   (s.when == AFTER_A_TICK && seen.ticks > 0 && step == IDC_STEP_LAUNCH);
        if (due && !acted) {
            acted = true;
            DoAction(s, progress, data, replaced);
        }
    }
    seen.end = GetTickCount();
    seen.exitCode = WaitExitCode(program.hProcess, 0);
    return seen;
}

static void Check(const Scenario &s, const Observed &seen, const std::wstring &folder)
{
    const char *name = s.name;
    ok(seen.exitCode == s.exitCode, "%s: exit code %lu, expected %lu", name, seen.exitCode, s.exitCode);
    ok(seen.dialogSeen == (s.dialogText != NULL), "%s: error dialog %s", name, seen.dialogSeen ? "shown" : "not shown");
    if (s.dialogText && seen.dialogSeen) {
        ok(!wcscmp(seen.message, s.dialogText), "%s: message '%ls', expected '%ls'", name, seen.message, s.dialogText);
        ok(seen.ignoreEnabled == s.lowMemory, "%s: \"Ignore\" %s", name, seen.ignoreEnabled ? "enabled" : "greyed");
        ok(seen.stepAtDialog == s.dialogStep, "%s: %ls under the dialog, expected %ls", name, StepName(seen.stepAtDialog),
           StepName(s.dialogStep));
    }
    int firstStep = seen.steps.empty() ? 0 : seen.steps[0];
    // "Exit" in the start-up warning: no phase runs.
    int expectedFirst = s.lowMemory && s.exitCode == 1 ? 0 : IDC_STEP_MEMORY;
    ok(firstStep == expectedFirst, "%s: first step %ls, expected %ls", name, StepName(firstStep), StepName(expectedFirst));
    // A watch that ends at its first look may end before its step is seen.
    if (s.when == NEVER && s.exitCode == 0 && s.ticksAtMost > 0)
        ok(!seen.steps.empty() && seen.steps.back() == IDC_STEP_LAUNCH, "%s: ended on %ls", name,
           StepName(seen.steps.empty() ? 0 : seen.steps.back()));
    ok(seen.ticks >= s.ticksAtLeast && seen.ticks <= s.ticksAtMost, "%s: %d ticks seen, expected %d to %d", name,
       seen.ticks, s.ticksAtLeast, s.ticksAtMost);
    if (s.watchAtLeastMs)
        ok(seen.watchStart && seen.end - seen.watchStart >= s.watchAtLeastMs, "%s: watched %lu ms, expected %lu or more",
           name, seen.watchStart ? seen.end - seen.watchStart : 0, s.watchAtLeastMs);
    if (s.act == REPLACE_LARGER_THEN_SMALLER && s.when != NEVER) {
        bool larger = false, smaller = false;
        for (int maximum : seen.tickMaxima) {
            larger = larger || maximum == LARGER_MIB * 1024;
            smaller = smaller || (larger && maximum == SMALLER_MIB * 1024);
        }
        ok(larger && smaller, "%s: ticks did not read the %d MiB file and then the %d MiB one", name, LARGER_MIB,
           SMALLER_MIB);
    }

    // A launcher started just before "Stop" may still be on its way up.
    std::wstring arguments = ReadText(folder + L"\\launcher_args.txt", true);
    for (int wait = 0; s.launcherStarted && arguments.empty() && wait < 100; wait++) {
        Sleep(50);
        arguments = ReadText(folder + L"\\launcher_args.txt", true);
    }
    ok(!arguments.empty() == s.launcherStarted, "%s: launcher %s", name, arguments.empty() ? "not started" : "started");
    if (s.launcherStarted)
        ok(arguments == L"TurbineLauncher.exe -invoker", "%s: launcher command line '%ls'", name, arguments.c_str());
    DWORD launcherPid = wcstoul(ReadText(folder + L"\\launcher_pid.txt", false).c_str(), NULL, 10);
    if (launcherPid) {
        HANDLE launcher = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, launcherPid);
        bool running = launcher && WaitForSingleObject(launcher, 0) == WAIT_TIMEOUT;
        ok(running == s.launcherOutlives, "%s: launcher %s after the program", name, running ? "still running" : "gone");
        if (launcher) {
            TerminateProcess(launcher, 0);
            WaitForSingleObject(launcher, 5000);
            CloseHandle(launcher);
        }
    }
}

static void RunScenario(const Scenario &s)
{
    wchar_t savedPath[4096];
    GetEnvironmentVariableW(L"PATH", savedPath, ARRAYSIZE(savedPath));
    std::wstring folder = MakeTempFolder();
    HANDLE holder = PrepareFolder(s, folder);
    HWND other = s.otherWindow ? CreateWindowW(L"Static", s.otherWindow, WS_OVERLAPPED, 0, 0, 100, 50, NULL, NULL, NULL, NULL)
                               : NULL;

    std::wstring exe = folder + L"\\preloader.exe";
    PROCESS_INFORMATION program = StartIn(exe.c_str(), folder.c_str());
    ok(program.hProcess != NULL, "%s: cannot start the program: error %lu", s.name, GetLastError());
    if (program.hProcess) {
        Observed seen = Watch(s, program, folder + L"\\client_gamelogic.dat");
        if (seen.exitCode == STILL_ACTIVE)
            TerminateProcess(program.hProcess, 99);
        CloseHandle(program.hProcess);
        CloseHandle(program.hThread);
        Check(s, seen, folder);
    }
    if (other)
        DestroyWindow(other);
    if (holder && holder != INVALID_HANDLE_VALUE)
        CloseHandle(holder);
    SetEnvironmentVariableW(L"PATH", savedPath);
    RemoveFolder(folder);
}

static bool MemoryReportedLow()
{
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    GlobalMemoryStatusEx(&status);
    return status.ullTotalPhys < 1900ull * 1024 * 1024;
}

// Only rows whose name contains this, when given.
static const char *rowFilter;

// Rows that need what this machine cannot give are said to be skipped.
static void RunRows(bool lowMemory)
{
    for (const Scenario &s : scenarios) {
        if (s.lowMemory != lowMemory || (rowFilter && !strstr(s.name, rowFilter)))
            continue;
        if (s.dataMiB == DATA_5_GIB_SPARSE && sizeof(void *) == 8) {
            printf("  %s: skipped, a 64-bit build maps 5 GiB as one view\n", s.name);
            continue;
        }
        printf("  %s\n", s.name);
        fflush(stdout);
        RunScenario(s);
    }
}

static void test_scenarios()
{
    RunRows(false);
}

// Run with the memory query made to report 1000 MiB (the test script
// preloads a library for this), as the program under test inherits it.
static void test_low_memory_scenarios()
{
    ok(MemoryReportedLow(), "the memory query does not report low memory here");
    if (MemoryReportedLow())
        RunRows(true);
}

int main(int argc, char **argv)
{
    static const TestCase tests[] = {
        {"scenarios", test_scenarios},
        {"low_memory_scenarios", test_low_memory_scenarios},
    };
    if (argc < 2) {
        printf("usage: test_program scenarios|low_memory_scenarios [part of a row's name]\n");
        return 2;
    }
    rowFilter = argc > 2 ? argv[2] : NULL;
    return RUN_TESTS(argc, argv, tests);
}
