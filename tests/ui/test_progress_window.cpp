#include <windows.h>
#include <commctrl.h>
#include <string.h>
#include <algorithm>

#include "resource.h"
#include "ui/message_pump.h"
#include "ui/progress_window.h"
#include "../support/fixtures.h"
#include "../support/test.h"

static const int STEPS[] = {IDC_STEP_MEMORY, IDC_STEP_FILES, IDC_STEP_LAUNCH};

// A window of our own that counts the WM_APP messages dispatched to it.
static int dispatched;

static LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP)
        dispatched++;
    return DefWindowProcW(window, message, wParam, lParam);
}

static HWND CreateCountingWindow()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = CountingProc;
    windowClass.hInstance = GetModuleHandleW(NULL);
    windowClass.lpszClassName = L"PumpTarget";
    RegisterClassW(&windowClass);
    return CreateWindowW(L"PumpTarget", L"", WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL, windowClass.hInstance, NULL);
}

static bool QueueEmpty()
{
    MSG msg;
    return !PeekMessageW(&msg, NULL, 0, 0, PM_NOREMOVE);
}

static void test_initial_state()
{
    HWND window = CreateProgressWindow();
    ok(IsWindowVisible(window), "window not visible by its template");
    ok(CurrentStep == 0, "CurrentStep %d, expected 0", CurrentStep);
    for (int step : STEPS) {
        StepState state = ReadStep(window, step);
        ok(!state.enabled && !state.checked, "step %d: enabled %d checked %d, expected greyed and clear", step,
           state.enabled, state.checked);
    }
    HWND bar = GetDlgItem(window, IDC_PROGRESS);
    ok(SendMessageW(bar, PBM_GETPOS, 0, 0) == 0, "bar not empty");
    ok(GetClassLongPtrW(window, GCLP_HICON) != 0, "no class icon");
    DestroyWindow(window);
}

static void test_SelectStep()
{
    static const struct {
        int before, select;
        StepState memory, files, launch;
    } tests[] = {
        {0, IDC_STEP_MEMORY, {true, true}, {false, false}, {false, false}},
        {IDC_STEP_MEMORY, IDC_STEP_FILES, {false, false}, {true, true}, {false, false}},
        {IDC_STEP_FILES, IDC_STEP_LAUNCH, {false, false}, {false, false}, {true, true}},
        {IDC_STEP_LAUNCH, IDC_STEP_FILES, {false, false}, {true, true}, {false, false}},
        {IDC_STEP_FILES, IDC_STEP_FILES, {false, false}, {true, true}, {false, false}},
        {IDC_STEP_FILES, 0, {false, false}, {false, false}, {false, false}},
        {0, 0, {false, false}, {false, false}, {false, false}},
    };
    HWND window = CreateProgressWindow();
    for (unsigned i = 0; i < ARRAYSIZE(tests); i++) {
        SelectStep(window, 0);
        SelectStep(window, tests[i].before);
        SelectStep(window, tests[i].select);
        ok(CurrentStep == tests[i].select, "%u: CurrentStep %d, expected %d", i, CurrentStep, tests[i].select);
        const StepState expected[] = {tests[i].memory, tests[i].files, tests[i].launch};
        for (int k = 0; k < 3; k++) {
            StepState got = ReadStep(window, STEPS[k]);
            ok(got.enabled == expected[k].enabled && got.checked == expected[k].checked,
               "%u: step %d enabled %d checked %d, expected %d %d", i, STEPS[k], got.enabled, got.checked,
               expected[k].enabled, expected[k].checked);
        }
    }
    DestroyWindow(window);
}

static void test_ShowProgress()
{
    static const struct {
        int position, maximum;
    } tests[] = {{300, 1280}, {0, 0}, {1280, 1280}, {1, 1280}, {64, 68}, {200, 100}};
    HWND window = CreateProgressWindow();
    HWND bar = GetDlgItem(window, IDC_PROGRESS);
    for (unsigned i = 0; i < ARRAYSIZE(tests); i++) {
        RecordBar(window);
        ShowProgress(window, tests[i].position, tests[i].maximum);
        char context[32];
        wsprintfA(context, "row %u", i);
        CheckBarMessages(context, {{PBM_SETRANGE32, 0, (LPARAM)tests[i].maximum},
                                   {PBM_SETPOS, (WPARAM)tests[i].position, 0}});
        PBRANGE range = {};
        SendMessageW(bar, PBM_GETRANGE, FALSE, (LPARAM)&range);
        ok(range.iLow == 0 && range.iHigh == tests[i].maximum, "%u: range %d..%d, expected 0..%d", i, range.iLow,
           range.iHigh, tests[i].maximum);
        // The bar clamps a position beyond its range; that is the control's business.
        int expected = std::min(tests[i].position, tests[i].maximum);
        LRESULT position = SendMessageW(bar, PBM_GETPOS, 0, 0);
        ok(position == expected, "%u: position %d, expected %d", i, (int)position, expected);
    }
    DestroyWindow(window);
}

// Repaints of the bar are few while updates come fast, prompt after a pause,
// and complete whenever the step changes.
static int barPaints;
static WNDPROC barProc;

static LRESULT CALLBACK PaintCountingProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT)
        barPaints++;
    return CallWindowProcW(barProc, bar, message, wParam, lParam);
}

static void test_bar_repaint()
{
    HWND window = CreateProgressWindow();
    HWND bar = GetDlgItem(window, IDC_PROGRESS);
    barProc = (WNDPROC)SetWindowLongPtrW(bar, GWLP_WNDPROC, (LONG_PTR)PaintCountingProc);
    SelectStep(window, IDC_STEP_MEMORY);

    const int UPDATES = 2000;
    barPaints = 0;
    for (int i = 0; i < UPDATES; i++)
        ShowProgress(window, i, UPDATES);
    ok(barPaints < UPDATES / 10, "%d repaints for %d updates", barPaints, UPDATES);
    ok(SendMessageW(bar, PBM_GETPOS, 0, 0) == UPDATES - 1, "bar's value not the last one");

    Sleep(100);
    barPaints = 0;
    ShowProgress(window, 5, 10);
    ok(barPaints >= 1 && DrawnPosition(bar) == 5, "an update after a pause was not drawn: %d paints, drawn at %d",
       barPaints, DrawnPosition(bar));

    for (int i = 0; i < 50; i++)
        ShowProgress(window, i, 50);
    SelectStep(window, IDC_STEP_FILES);
    RECT invalid;
    ok(DrawnPosition(bar) == 49, "bar drawn at %d after a step change, expected 49", DrawnPosition(bar));
    ok(!GetUpdateRect(bar, &invalid, FALSE), "bar not repainted after a step change");
    DestroyWindow(window);
}

// Whatever the bar holds back from drawing, it answers every message as a
// plain progress control given the same messages does.
static void test_bar_answers()
{
    static const struct {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    } tests[] = {
        {PBM_SETRANGE32, 0, 100}, {PBM_SETPOS, 50, 0},      {PBM_SETPOS, 60, 0},      {PBM_SETPOS, 200, 0},
        {PBM_SETPOS, (WPARAM)-5, 0}, {PBM_SETPOS, 80, 0},   {PBM_SETRANGE32, 0, 10},  {PBM_SETPOS, 7, 0},
        {PBM_DELTAPOS, 2, 0},     {PBM_SETPOS, 3, 0},       {PBM_STEPIT, 0, 0},       {PBM_SETRANGE32, 0, 1000},
        {PBM_SETPOS, 999, 0},     {PBM_SETRANGE, 0, MAKELPARAM(0, 500)},              {PBM_SETPOS, 400, 0},
        {PBM_SETRANGE32, 0, 0},   {PBM_SETPOS, 1, 0},
    };
    HWND window = CreateProgressWindow();
    HWND bar = GetDlgItem(window, IDC_PROGRESS);
    HWND plain = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 100, 10, window, NULL, NULL, NULL);
    SelectStep(window, IDC_STEP_FILES);
    // Quick messages, so that positions are held back from drawing.
    for (unsigned i = 0; i < ARRAYSIZE(tests); i++) {
        int got = (int)SendMessageW(bar, tests[i].message, tests[i].wParam, tests[i].lParam);
        int expected = (int)SendMessageW(plain, tests[i].message, tests[i].wParam, tests[i].lParam);
        ok(got == expected, "%u: message %#x returned %d, expected %d", i, tests[i].message, got, expected);
        int position = (int)SendMessageW(bar, PBM_GETPOS, 0, 0);
        int plainPosition = (int)SendMessageW(plain, PBM_GETPOS, 0, 0);
        ok(position == plainPosition, "%u: position %d, expected %d", i, position, plainPosition);
        PBRANGE range, plainRange;
        SendMessageW(bar, PBM_GETRANGE, TRUE, (LPARAM)&range);
        SendMessageW(plain, PBM_GETRANGE, TRUE, (LPARAM)&plainRange);
        ok(range.iLow == plainRange.iLow && range.iHigh == plainRange.iHigh, "%u: range %d..%d, expected %d..%d", i,
           range.iLow, range.iHigh, plainRange.iLow, plainRange.iHigh);
    }
    ShowCurrentProgress(window);
    ok(DrawnPosition(bar) == (int)SendMessageW(plain, PBM_GETPOS, 0, 0), "bar drawn at %d after ShowCurrentProgress",
       DrawnPosition(bar));
    DestroyWindow(window);
}

// SelectStep, ShowProgress and PumpMessages each drain the queue and return.
static void test_pump()
{
    HWND window = CreateProgressWindow();
    HWND target = CreateCountingWindow();
    static const char *const callers[] = {"PumpMessages", "SelectStep", "ShowProgress"};
    for (int caller = 0; caller < 3; caller++) {
        PumpMessages();
        dispatched = 0;
        for (int i = 0; i < 3; i++)
            PostMessageW(target, WM_APP, 0, 0);
        if (caller == 0)
            PumpMessages();
        else if (caller == 1)
            SelectStep(window, IDC_STEP_FILES);
        else
            ShowProgress(window, 1, 2);
        ok(dispatched == 3, "%s: %d of 3 messages dispatched", callers[caller], dispatched);
        ok(QueueEmpty(), "%s: queue not empty", callers[caller]);
    }
    // An empty queue: the pump must return, not wait.
    DWORD start = GetTickCount();
    PumpMessages();
    ok(GetTickCount() - start < 1000, "pump waited on an empty queue");
    DestroyWindow(target);
    DestroyWindow(window);
}

// Runs in a child: the action either ends the process from inside the pump
// (with the window procedure's exit code) or leaves it running to exit 42.
static int RunStopChild(const char *action)
{
    HWND window = CreateProgressWindow();
    SelectStep(window, IDC_STEP_MEMORY);
    HWND stop = GetDlgItem(window, IDCANCEL);
    if (!strcmp(action, "click"))
        PostMessageW(stop, BM_CLICK, 0, 0);
    else if (!strcmp(action, "close"))
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    else if (!strcmp(action, "escape")) {
        SetFocus(stop);
        PostMessageW(stop, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(stop, WM_KEYUP, VK_ESCAPE, 0);
    } else if (!strcmp(action, "enter")) {
        SetFocus(stop);
        PostMessageW(stop, WM_KEYDOWN, VK_RETURN, 0);
    }
    for (int i = 0; i < 20; i++) {
        PumpMessages();
        Sleep(10);
    }
    return 42;
}

static void test_stop()
{
    static const struct {
        const char *action;
        DWORD exitCode;
    } tests[] = {
        {"click", 0},
        {"close", 0},
        // The pump gives keystrokes no dialog meaning.
        {"escape", 42},
        {"enter", 42},
        {"nothing", 42},
    };
    for (unsigned i = 0; i < ARRAYSIZE(tests); i++) {
        char arguments[64];
        wsprintfA(arguments, "stop-child %s", tests[i].action);
        HANDLE child = StartSelf(arguments);
        DWORD code = WaitExitCode(child, 30000);
        ok(code == tests[i].exitCode, "%s: exit code %lu, expected %lu", tests[i].action, code, tests[i].exitCode);
        CloseHandle(child);
    }
}

int main(int argc, char **argv)
{
    if (argc > 2 && !strcmp(argv[1], "stop-child"))
        return RunStopChild(argv[2]);
    static const TestCase tests[] = {
        {"initial_state", test_initial_state},
        {"SelectStep", test_SelectStep},
        {"ShowProgress", test_ShowProgress},
        {"pump", test_pump},
        {"bar_repaint", test_bar_repaint},
        {"bar_answers", test_bar_answers},
        {"stop", test_stop},
    };
    return RUN_TESTS(argc, argv, tests);
}
