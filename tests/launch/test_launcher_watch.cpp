#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>

#include "resource.h"
#include "launch/launcher_watch.h"
#include "preload/data_warming.h"
#include "ui/progress_window.h"
#include "../support/fixtures.h"
#include "../support/test.h"

// Ticks of the re-warm timer, run in-process: the callback called as the
// timer would call it, and the timer itself on a short period of our own.

static std::vector<BYTE> DataFile(size_t size)
{
    std::vector<BYTE> bytes(size);
    for (size_t i = 0; i < size; i++)
        bytes[i] = (BYTE)(i * 131 + (i / 4096) * 29 + 17);
    return bytes;
}

static void Tick(HWND window)
{
    OnRewarmTimer(window, WM_TIMER, REWARM_TIMER_ID, GetTickCount());
}

// A pass that outlasts the timer period: the next tick runs nested inside it.
static HWND nestWindow;
static int passStarts;

// Long enough that a pass outlasts the period by far, on a fast machine too.
static const int NEST_FILE_KIB = 64 * 1024;

// A pass starts with position 0 in the file's range; a final display may
// show 0 too, but in a range of its own.
static void StopTimerOnceNested(const BarMessage &message)
{
    const std::vector<BarMessage> &record = RecordedBar();
    bool walkUpdate = record.size() >= 2 && record[record.size() - 2].lParam == NEST_FILE_KIB;
    if (message.message == PBM_SETPOS && message.wParam == 0 && walkUpdate && ++passStarts == 2)
        KillTimer(nestWindow, REWARM_TIMER_ID);
}

static void test_nested_tick()
{
    const int KIB = NEST_FILE_KIB;
    nestWindow = CreateProgressWindow();
    std::wstring folder = EnterTempFolder();
    WriteFixture(folder + L"\\" + DATA_FILE_NAME, DataFile(KIB * 1024));
    int views = CountMappedViews();
    DWORD handles = HandleCount();
    RecordBar(nestWindow);
    passStarts = 0;
    OnBarMessage = StopTimerOnceNested;
    SetTimer(nestWindow, REWARM_TIMER_ID, 20, OnRewarmTimer);
    Tick(nestWindow);
    KillTimer(nestWindow, REWARM_TIMER_ID);
    OnBarMessage = NULL;

    // Walk updates have the file's size as maximum; the two final displays do not.
    const std::vector<BarMessage> &got = RecordedBar();
    std::vector<size_t> finals;
    size_t innerStart = 0, outerUpdatesAfterInner = 0;
    for (size_t i = 0; i < got.size(); i++) {
        if (got[i].message == PBM_SETRANGE32 && got[i].lParam != KIB)
            finals.push_back(i);
        if (got[i].message == PBM_SETPOS && got[i].wParam == 0 && got[i - 1].lParam == KIB && i > 1 && !innerStart)
            innerStart = i;
        if (!finals.empty() && got[i].message == PBM_SETRANGE32 && got[i].lParam == KIB)
            outerUpdatesAfterInner++;
    }
    ok(passStarts == 2, "%d passes started, expected 2", passStarts);
    ok(finals.size() == 2, "%u passes completed, expected 2", (unsigned)finals.size());
    ok(innerStart > 0 && !finals.empty() && innerStart < finals[0], "the second pass did not start inside the first");
    ok(outerUpdatesAfterInner > 0, "the outer pass did not go on after the nested one");
    ok(CurrentStep == IDC_STEP_LAUNCH, "step %d, expected \"Launching the game\"", CurrentStep);
    ok(CountMappedViews() == views, "%d views left mapped", CountMappedViews() - views);
    ok(HandleCount() == handles, "handles %lu after, %lu before", HandleCount(), handles);
    LeaveTempFolder(folder);
    DestroyWindow(nestWindow);
}

// Many ticks of each outcome leave the handles and views as the first left them.
enum Outcome { SUCCESS, MISSING, EMPTY, TRUNCATED, NO_ROOM };

static std::wstring truncatePath;

static void TruncateAt64KiB(const BarMessage &message)
{
    if (message.message == PBM_SETPOS && message.wParam == 64 && !truncatePath.empty()) {
        TruncateFromLinux(truncatePath, 4096);
        truncatePath.clear();
    }
}

static void TickWith(HWND window, const std::wstring &folder, Outcome outcome)
{
    std::wstring path = folder + L"\\" + DATA_FILE_NAME;
    std::vector<void *> filled;
    RecordBar(window);
    if (outcome == TRUNCATED) {
        WriteFixture(path, DataFile(256 * 1024));
        truncatePath = path;
        OnBarMessage = TruncateAt64KiB;
    } else if (outcome == NO_ROOM) {
        filled = FillAddressSpace(0, 0);
    }
    Tick(window);
    OnBarMessage = NULL;
    ReleaseAddressSpace(filled);
    // Each outcome must really be the one named.
    size_t updates = RecordedBar().size();
    bool completed = updates >= 2 && RecordedBar()[updates - 2].lParam != 256;
    ok((outcome == SUCCESS) == completed, "outcome %d: pass %s", outcome, completed ? "completed" : "did not complete");
    ok((outcome == TRUNCATED) == (updates == 4), "outcome %d: %u bar messages", outcome, (unsigned)updates);
}

static void test_many_ticks()
{
    static const struct {
        const char *name;
        Outcome outcome;
        size_t fileSize;  // of the file in the folder; -1: none
    } tests[] = {
        {"success", SUCCESS, 256 * 1024},
        {"missing file", MISSING, (size_t)-1},
        {"empty file", EMPTY, 0},
        {"truncated while read", TRUNCATED, 256 * 1024},
        {"view does not fit", NO_ROOM, 1024 * 1024},
    };
    const int TICKS = 100;
    HWND window = CreateProgressWindow();
    for (const auto &test : tests) {
        if (test.outcome == NO_ROOM && sizeof(void *) == 8) {
            printf("  %s: skipped, needs a 32-bit address space\n", test.name);
            continue;
        }
        std::wstring folder = EnterTempFolder();
        if (test.fileSize != (size_t)-1)
            WriteFixture(folder + L"\\" + DATA_FILE_NAME, DataFile(test.fileSize));
        TickWith(window, folder, test.outcome);
        int views = CountMappedViews();
        DWORD handles = HandleCount();
        for (int i = 0; i < TICKS; i++)
            TickWith(window, folder, test.outcome);
        ok(CountMappedViews() == views, "%s: %d more views after %d ticks", test.name, CountMappedViews() - views, TICKS);
        ok(HandleCount() == handles, "%s: handles %lu after %d ticks, %lu after the first", test.name, HandleCount(),
           TICKS, handles);
        ok(CurrentStep == IDC_STEP_LAUNCH, "%s: step %d", test.name, CurrentStep);
        LeaveTempFolder(folder);
    }
    DestroyWindow(window);
}

int main(int argc, char **argv)
{
    static const TestCase tests[] = {
        {"nested_tick", test_nested_tick},
        {"many_ticks", test_many_ticks},
    };
    return RUN_TESTS(argc, argv, tests);
}
