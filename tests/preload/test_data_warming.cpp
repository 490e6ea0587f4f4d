#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#include "resource.h"
#include "preload/data_warming.h"
#include "ui/progress_window.h"
#include "../program/observe.h"
#include "../support/fixtures.h"
#include "../support/test.h"

// Fixture files: the first byte of page k is firstBytes[k] (0 beyond the
// list); the other bytes vary, so that a read off the page start changes the
// checksum.
static std::vector<BYTE> PagedBytes(size_t size, std::vector<BYTE> firstBytes)
{
    std::vector<BYTE> bytes(size);
    for (size_t i = 0; i < size; i++)
        bytes[i] = (BYTE)(i * 131 + (i / 4096) * 29 + 17);
    for (size_t page = 0; page * 4096 < size; page++)
        bytes[page * 4096] = page < firstBytes.size() ? firstBytes[page] : 0;
    return bytes;
}

static std::vector<BYTE> Counting(int pages)
{
    std::vector<BYTE> bytes;
    for (int i = 1; i <= pages; i++)
        bytes.push_back((BYTE)i);
    return bytes;
}

static BarMessage Range(int maximum)
{
    return {PBM_SETRANGE32, 0, (LPARAM)maximum};
}

static BarMessage Pos(int position)
{
    return {PBM_SETPOS, (WPARAM)position, 0};
}

static void test_walk()
{
    static const struct {
        const char *name;
        size_t size;
        std::vector<BYTE> firstBytes;
        std::vector<BarMessage> expected;
    } tests[] = {
        {"1 byte", 1, {0x5A}, {Range(4), Pos(0), Range(0x5A), Pos(0x5A)}},
        // 1 ^ 2 ^ ... ^ 16 = 16
        {"64 KiB", 65536, Counting(16), {Range(64), Pos(0), Range(16), Pos(16)}},
        // 1 ^ 2 ^ ... ^ 17 = 1
        {"64 KiB + 1", 65537, Counting(17), {Range(68), Pos(0), Range(68), Pos(64), Range(1), Pos(1)}},
        {"checksum 0", 8192, {0x33, 0x33}, {Range(8), Pos(0), Range(0), Pos(0)}},
        // The walk never shows a full bar; only the final update does.
        {"192 KiB", 196608, {0x80}, {Range(192), Pos(0), Range(192), Pos(64), Range(192), Pos(128), Range(0x80), Pos(0x80)}},
    };
    HWND window = CreateProgressWindow();
    for (const auto &test : tests) {
        std::wstring folder = EnterTempFolder();
        WriteFixture(folder + L"\\" + DATA_FILE_NAME, PagedBytes(test.size, test.firstBytes));
        for (bool silent : {false, true}) {
            int views = CountMappedViews();
            DWORD handles = HandleCount();
            SelectStep(window, IDC_STEP_LAUNCH);
            RecordBar(window);
            WarmDataFile(window, silent);
            char context[64];
            wsprintfA(context, "%s%s", test.name, silent ? ", silent" : "");
            CheckBarMessages(context, test.expected);
            ok(CurrentStep == IDC_STEP_FILES, "%s: step %d", context, CurrentStep);
            ok(CountMappedViews() == views, "%s: %d views left mapped", context, CountMappedViews() - views);
            ok(HandleCount() == handles, "%s: handles %lu after, %lu before", context, HandleCount(), handles);
        }
        LeaveTempFolder(folder);
    }
    DestroyWindow(window);
}

enum Setup { MISSING, EMPTY, DIRECTORY, HELD_WITHOUT_READ_SHARING, HELD_FOR_WRITING_SHARED, ONE_MIB };

static HANDLE Prepare(const std::wstring &folder, Setup setup)
{
    std::wstring path = folder + L"\\" + DATA_FILE_NAME;
    switch (setup) {
    case MISSING:
        return NULL;
    case EMPTY:
        WriteFixture(path, {});
        return NULL;
    case DIRECTORY:
        CreateDirectoryW(path.c_str(), NULL);
        return NULL;
    case HELD_WITHOUT_READ_SHARING:
        WriteFixture(path, PagedBytes(4096, {7}));
        return CreateFileW(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    case HELD_FOR_WRITING_SHARED:
        WriteFixture(path, PagedBytes(4096, {7}));
        return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    case ONE_MIB:
        WriteFixture(path, PagedBytes(1024 * 1024, {1}));
        return NULL;
    }
    return NULL;
}

// Silent passes that fail show nothing, leave the bar alone and hold nothing.
static void test_silent_failures()
{
    static const struct {
        const char *name;
        Setup setup;
        std::vector<BarMessage> expected;
    } tests[] = {
        {"missing", MISSING, {}},
        {"empty", EMPTY, {}},
        {"directory", DIRECTORY, {}},
        {"held without read sharing", HELD_WITHOUT_READ_SHARING, {}},
        {"held for writing, shared", HELD_FOR_WRITING_SHARED, {Range(4), Pos(0), Range(7), Pos(7)}},
    };
    HWND window = CreateProgressWindow();
    for (const auto &test : tests) {
        std::wstring folder = EnterTempFolder();
        HANDLE holder = Prepare(folder, test.setup);
        int views = CountMappedViews();
        DWORD handles = HandleCount();
        SelectStep(window, IDC_STEP_LAUNCH);
        RecordBar(window);
        WarmDataFile(window, true);
        CheckBarMessages(test.name, test.expected);
        ok(CurrentStep == IDC_STEP_FILES, "%s: step %d", test.name, CurrentStep);
        ok(CountMappedViews() == views, "%s: %d views left mapped", test.name, CountMappedViews() - views);
        ok(HandleCount() == handles, "%s: handles %lu after, %lu before", test.name, HandleCount(), handles);
        if (holder && holder != INVALID_HANDLE_VALUE)
            CloseHandle(holder);
        LeaveTempFolder(folder);
    }
    DestroyWindow(window);
}

// The file shrinks under a running pass (a Linux process truncates it): the
// next page faults, and the pass ends as when its view cannot be mapped.
static std::wstring truncateAt64KiB;

static void TruncateAt64KiB(const BarMessage &message)
{
    if (message.message == PBM_SETPOS && message.wParam == 64 && !truncateAt64KiB.empty()) {
        TruncateFromLinux(truncateAt64KiB, 4096);
        truncateAt64KiB.clear();
    }
}

static void StartTruncatedPass(const std::wstring &folder)
{
    std::wstring path = folder + L"\\" + DATA_FILE_NAME;
    WriteFixture(path, PagedBytes(1024 * 1024, {1}));
    truncateAt64KiB = path;
    OnBarMessage = TruncateAt64KiB;
}

static void test_truncated_while_reading()
{
    HWND window = CreateProgressWindow();
    std::wstring folder = EnterTempFolder();
    int views = CountMappedViews();
    DWORD handles = HandleCount();
    SelectStep(window, IDC_STEP_LAUNCH);
    RecordBar(window);
    StartTruncatedPass(folder);
    WarmDataFile(window, true);
    OnBarMessage = NULL;
    // No final display: the walk did not finish.
    CheckBarMessages("truncated", {Range(1024), Pos(0), Range(1024), Pos(64)});
    ok(CurrentStep == IDC_STEP_FILES, "step %d", CurrentStep);
    ok(CountMappedViews() == views, "%d views left mapped", CountMappedViews() - views);
    ok(HandleCount() == handles, "handles %lu after, %lu before", HandleCount(), handles);
    LeaveTempFolder(folder);
    DestroyWindow(window);
}

// A fault outside the pass's view is not the pass's to handle: it must
// reach the process's unhandled-exception filter as before.
static volatile ULONG_PTR strayAddress = 16;

static void FaultOutsideTheView(const BarMessage &message)
{
    if (message.message == PBM_SETPOS && message.wParam == 64)
        *(volatile int *)strayAddress = 1;
}

static LONG WINAPI ExitOnUnhandled(EXCEPTION_POINTERS *)
{
    ExitProcess(77);
}

static int RunStrayFaultChild()
{
    SetUnhandledExceptionFilter(ExitOnUnhandled);
    HWND window = CreateProgressWindow();
    wchar_t folder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);
    WriteFixture(std::wstring(folder) + L"\\" + DATA_FILE_NAME, PagedBytes(1024 * 1024, {1}));
    RecordBar(window);
    OnBarMessage = FaultOutsideTheView;
    WarmDataFile(window, true);
    return 42;
}

static void test_stray_fault()
{
    std::wstring folder = EnterTempFolder();
    HANDLE child = StartSelf("stray-fault-child");
    DWORD code = WaitExitCode(child, 20000);
    ok(code == 77, "exit code %lu, expected 77 from the unhandled-exception filter", code);
    if (code == STILL_ACTIVE)
        TerminateProcess(child, 99);
    CloseHandle(child);
    LeaveTempFolder(folder);
}

// A view that cannot be placed: the address space is full but for holes
// smaller than the file.
static void test_view_does_not_fit()
{
    if (sizeof(void *) == 8) {
        // Wine keeps a protection byte per page of all it reserves: filling
        // a 64-bit address space takes more memory than the machine has.
        printf("view_does_not_fit: skipped, needs a 32-bit address space\n");
        return;
    }
    HWND window = CreateProgressWindow();
    std::wstring folder = EnterTempFolder();
    WriteFixture(folder + L"\\" + DATA_FILE_NAME, PagedBytes(1024 * 1024, {1}));
    int views = CountMappedViews();
    DWORD handles = HandleCount();
    RecordBar(window);
    std::vector<void *> filled = FillAddressSpace(0, 0);
    WarmDataFile(window, true);
    ReleaseAddressSpace(filled);
    CheckBarMessages("no room", {});
    ok(CountMappedViews() == views, "%d views left mapped", CountMappedViews() - views);
    ok(HandleCount() == handles, "handles %lu after, %lu before", HandleCount(), handles);
    LeaveTempFolder(folder);
    DestroyWindow(window);
}

// A pass that is not silent reports through the fatal dialog, in a child
// whose current folder is the test's.
static int RunWarmChild(const char *setup)
{
    HWND window = CreateProgressWindow();
    wchar_t folder[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);
    std::vector<void *> filled;
    if (!strcmp(setup, "truncated")) {
        RecordBar(window);
        StartTruncatedPass(folder);
    } else if (!strcmp(setup, "no-room")) {
        filled = FillAddressSpace(0, 0);
    }
    WarmDataFile(window, false);
    return 42;
}

static void test_reported_failures()
{
    static const struct {
        Setup setup;
        const char *childSetup;
        const wchar_t *message;
    } tests[] = {
        {MISSING, "none", L"Can't open file 'client_gamelogic.dat'\n"},
        {EMPTY, "none", L"Can't open mapping for file 'client_gamelogic.dat'\n"},
        {DIRECTORY, "none", L"Can't open file 'client_gamelogic.dat'\n"},
        {MISSING, "truncated", L"Can't map file 'client_gamelogic.dat'\n"},
        {ONE_MIB, "no-room", L"Can't map file 'client_gamelogic.dat'\n"},
    };
    for (unsigned i = 0; i < ARRAYSIZE(tests); i++) {
        if (!strcmp(tests[i].childSetup, "no-room") && sizeof(void *) == 8)
            continue;  // see test_view_does_not_fit
        std::wstring folder = EnterTempFolder();
        HANDLE holder = Prepare(folder, tests[i].setup);
        char arguments[64];
        wsprintfA(arguments, "warm-child %s", tests[i].childSetup);
        HANDLE child = StartSelf(arguments);
        DWORD pid = GetProcessId(child);
        HWND dialog = WaitForWindow(pid, ERROR_CAPTION, 20000);
        HWND progress = WaitForWindow(pid, PROGRESS_CAPTION, 1000);
        ok(dialog != NULL, "%u: no error dialog", i);
        if (dialog) {
            std::wstring message = WindowText(GetDlgItem(dialog, IDC_MESSAGE));
            ok(message == tests[i].message, "%u: message '%ls', expected '%ls'", i, message.c_str(), tests[i].message);
            StepState files = ReadStep(progress, IDC_STEP_FILES);
            ok(files.enabled && files.checked, "%u: \"Reading files\" not shown under the dialog", i);
            PostMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
        }
        DWORD code = WaitExitCode(child, 20000);
        ok(code == 1, "%u: exit code %lu, expected 1", i, code);
        if (code == STILL_ACTIVE)
            TerminateProcess(child, 99);
        CloseHandle(child);
        if (holder && holder != INVALID_HANDLE_VALUE)
            CloseHandle(holder);
        LeaveTempFolder(folder);
    }
}

int main(int argc, char **argv)
{
    if (argc > 1 && !strcmp(argv[1], "stray-fault-child"))
        return RunStrayFaultChild();
    if (argc > 2 && !strcmp(argv[1], "warm-child"))
        return RunWarmChild(argv[2]);
    static const TestCase tests[] = {
        {"walk", test_walk},
        {"silent_failures", test_silent_failures},
        {"truncated_while_reading", test_truncated_while_reading},
        {"stray_fault", test_stray_fault},
        {"view_does_not_fit", test_view_does_not_fit},
        {"reported_failures", test_reported_failures},
    };
    return RUN_TESTS(argc, argv, tests);
}
