#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <string.h>

#include "resource.h"
#include "preload/memory_clearing.h"
#include "ui/progress_window.h"
#include "../support/fixtures.h"
#include "../support/test.h"

static const int VIEW_COUNT = 1280;

// Views mapped beside the baseline, counted when the bar reaches chosen positions.
static int baselineViews;
static int viewsAt1280 = -1, viewsAt640 = -1, viewsAt1 = -1;

static void CountViewsAtPositions(const BarMessage &message)
{
    if (message.message != PBM_SETPOS)
        return;
    if (message.wParam == 1280)
        viewsAt1280 = CountMappedViews() - baselineViews;
    else if (message.wParam == 640)
        viewsAt640 = CountMappedViews() - baselineViews;
    else if (message.wParam == 1)
        viewsAt1 = CountMappedViews() - baselineViews;
}

static void test_full_run()
{
    HWND window = CreateProgressWindow();
    RecordBar(window);
    baselineViews = CountMappedViews();
    DWORD handles = HandleCount();
    OnBarMessage = CountViewsAtPositions;

    ClearMemory(window);

    OnBarMessage = NULL;
    std::vector<BarMessage> expected;
    for (int i = 0; i < VIEW_COUNT; i++) {
        expected.push_back({PBM_SETRANGE32, 0, VIEW_COUNT});
        expected.push_back({PBM_SETPOS, (WPARAM)(VIEW_COUNT - i), 0});
    }
    CheckBarMessages("full run", expected);
    // Every view stays mapped until the last one is written.
    ok(viewsAt1280 == 1, "%d views mapped at the first report, expected 1", viewsAt1280);
    ok(viewsAt640 == 641, "%d views mapped at position 640, expected 641", viewsAt640);
    ok(viewsAt1 == VIEW_COUNT, "%d views mapped at the last report, expected %d", viewsAt1, VIEW_COUNT);
    ok(CountMappedViews() == baselineViews, "%d views left mapped", CountMappedViews() - baselineViews);
    ok(HandleCount() == handles, "handles %lu after, %lu before", HandleCount(), handles);
    ok(CurrentStep == IDC_STEP_MEMORY, "step %d, expected %d", CurrentStep, IDC_STEP_MEMORY);
    ok(SendMessageW(GetDlgItem(window, IDC_PROGRESS), PBM_GETPOS, 0, 0) == 1, "bar does not end at 1");
    DestroyWindow(window);
}

// No room for the views: the address space is filled but for `holes` ranges
// of 1 MiB, so views 0 to holes - 1 map and the next one fails. With no
// hole, not even view 0 maps, as when the section cannot be created.
static void test_no_room()
{
    if (sizeof(void *) == 8) {
        // Wine keeps a protection byte per page of all it reserves: filling
        // a 64-bit address space takes more memory than the machine has.
        printf("no_room: skipped, needs a 32-bit address space\n");
        return;
    }
    static const int tests[] = {0, 1, 5};
    HWND window = CreateProgressWindow();
    for (int holes : tests) {
        RecordBar(window);
        int views = CountMappedViews();
        DWORD handles = HandleCount();
        std::vector<void *> filled = FillAddressSpace(holes, 1024 * 1024);
        ClearMemory(window);
        ReleaseAddressSpace(filled);
        std::vector<BarMessage> expected;
        for (int i = 0; i < holes; i++) {
            expected.push_back({PBM_SETRANGE32, 0, VIEW_COUNT});
            expected.push_back({PBM_SETPOS, (WPARAM)(VIEW_COUNT - i), 0});
        }
        char context[32];
        wsprintfA(context, "%d holes", holes);
        CheckBarMessages(context, expected);
        ok(CountMappedViews() == views, "%s: %d views left mapped", context, CountMappedViews() - views);
        ok(HandleCount() == handles, "%s: handles %lu after, %lu before", context, HandleCount(), handles);
        ok(CurrentStep == IDC_STEP_MEMORY, "%s: step %d", context, CurrentStep);
        ok(!FindWindowW(NULL, L"Error"), "%s: a message was shown", context);
    }
    DestroyWindow(window);
}

// In a child: "Stop" clicked while the phase runs ends the process with 0
// at the next drain; 42 would mean the phase ran on to its end.
static HWND childWindow;

static void ClickStopInChild(const BarMessage &message)
{
    if (message.message == PBM_SETPOS && message.wParam == 1000)
        PostMessageW(GetDlgItem(childWindow, IDCANCEL), BM_CLICK, 0, 0);
}

static int RunStopChild()
{
    childWindow = CreateProgressWindow();
    RecordBar(childWindow);
    OnBarMessage = ClickStopInChild;
    ClearMemory(childWindow);
    return 42;
}

static void test_stop()
{
    HANDLE child = StartSelf("stop-child");
    DWORD code = WaitExitCode(child, 60000);
    ok(code == 0, "exit code %lu, expected 0", code);
    CloseHandle(child);
}

int main(int argc, char **argv)
{
    if (argc > 1 && !strcmp(argv[1], "stop-child"))
        return RunStopChild();
    static const TestCase tests[] = {
        {"full_run", test_full_run},
        {"no_room", test_no_room},
        {"stop", test_stop},
    };
    return RUN_TESTS(argc, argv, tests);
}
