#include <windows.h>
#include <string.h>
#include <string>
#include <algorithm>

#include "resource.h"
#include "app/app_instance.h"
#include "app/memory_check.h"
#include "ui/error_dialog.h"
#include "ui/error_text.h"
#include "ui/progress_window.h"
#include "../program/observe.h"
#include "../support/fixtures.h"
#include "../support/test.h"

static const wchar_t FATAL_TEXT[] = L"Can't open file 'client_gamelogic.dat'\n";
static const wchar_t HINT_TEXT[] = L"Always check, whether you are executing the preloader from the DDO's root folder."
                                   L"\r\n\r\nYou also need at least 2GB physical memory installed";

static void test_FormatErrorText()
{
    const std::wstring fits(999, L'x'), tooLong(1000, L'y'), farTooLong(5000, L'z');
    static const struct {
        const wchar_t *format;
        const std::wstring *argument;  // NULL: the data file's name
        int written;                   // expected return and length
    } tests[] = {
        {L"Can't open file '%s'\n", NULL, 39},
        {L"Can't open mapping for file '%s'\n", NULL, 51},
        {L"Can't map file '%s'\n", NULL, 38},
        {L"%s", &fits, 999},
        {L"%s", &tooLong, 999},
        {L"%s", &farTooLong, 999},
        {L"a%s", &fits, 999},
    };
    for (unsigned i = 0; i < ARRAYSIZE(tests); i++) {
        // A guard beyond the capacity catches a write past the buffer.
        wchar_t buffer[MESSAGE_CAPACITY + 8];
        for (wchar_t &c : buffer)
            c = L'#';
        const wchar_t *argument = tests[i].argument ? tests[i].argument->c_str() : L"client_gamelogic.dat";
        int written = FormatErrorText(buffer, tests[i].format, argument);

        std::wstring expected = tests[i].format;
        expected.replace(expected.find(L"%s"), 2, argument);
        expected.resize(std::min<size_t>(expected.size(), MESSAGE_CAPACITY - 1));
        ok(written == tests[i].written, "%u: returned %d, expected %d", i, written, tests[i].written);
        ok((int)wcsnlen(buffer, MESSAGE_CAPACITY) == tests[i].written, "%u: length %u, expected %d", i,
           (unsigned)wcsnlen(buffer, MESSAGE_CAPACITY), tests[i].written);
        ok(buffer == expected, "%u: text '%.60ls', expected '%.60ls'", i, buffer, expected.c_str());
        bool guardIntact = true;
        for (int k = MESSAGE_CAPACITY; k < (int)ARRAYSIZE(buffer); k++)
            guardIntact = guardIntact && buffer[k] == L'#';
        ok(guardIntact, "%u: written past %d characters", i, MESSAGE_CAPACITY);
    }
}

// The child opens a dialog over a progress window and reports how it came
// back: 42 if a fatal error returned, 43 after "Ignore" with the progress
// window enabled again, 44 after "Ignore" with it still disabled.
// A bar drawn at anything but its last value under the dialog ends the
// child with 45, checked from the dialog's own loop.
static HWND childBar;

static void CALLBACK CheckBarUnderDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(NULL, timer);
    if (DrawnPosition(childBar) != 2)
        ExitProcess(45);
}

static int RunDialogChild(const char *mode)
{
    HWND window = CreateProgressWindow();
    childBar = GetDlgItem(window, IDC_PROGRESS);
    // Quick updates leave the bar's picture behind its value; the dialog
    // must not open over a stale bar.
    for (int i = 0; i < 3; i++)
        ShowProgress(window, i, 10);
    SetTimer(NULL, 0, 0, CheckBarUnderDialog);
    if (!strcmp(mode, "fatal")) {
        ShowFatalError(window, FATAL_TEXT);
        return 42;
    }
    if (!strcmp(mode, "no-template")) {
        // A module without the template: the dialog cannot be created.
        AppInstance = GetModuleHandleW(L"kernel32.dll");
        ShowFatalError(window, FATAL_TEXT);
        return 42;
    }
    ShowWarning(window, LOW_MEMORY_TEXT);
    return IsWindowEnabled(window) ? 43 : 44;
}

static HWND NthChild(HWND dialog, int n)
{
    HWND child = GetWindow(dialog, GW_CHILD);
    while (child && n-- > 0)
        child = GetWindow(child, GW_HWNDNEXT);
    return child;
}

enum Action { CLICK_EXIT, PRESS_ESCAPE, CLOSE_BOX, CLICK_IGNORE, COMMAND_IGNORE_THEN_EXIT };

static void test_dialog()
{
    static const struct {
        const char *mode;
        Action action;
        const wchar_t *message;
        bool ignoreEnabled;
        DWORD exitCode;
    } tests[] = {
        {"fatal", CLICK_EXIT, FATAL_TEXT, false, 1},
        {"fatal", PRESS_ESCAPE, FATAL_TEXT, false, 1},
        {"fatal", CLOSE_BOX, FATAL_TEXT, false, 1},
        // The fatal procedure ignores IDOK: the dialog stays until "Exit".
        {"fatal", COMMAND_IGNORE_THEN_EXIT, FATAL_TEXT, false, 1},
        {"warning", CLICK_IGNORE, LOW_MEMORY_TEXT, true, 43},
        {"warning", CLICK_EXIT, LOW_MEMORY_TEXT, true, 1},
        {"warning", PRESS_ESCAPE, LOW_MEMORY_TEXT, true, 1},
        {"warning", CLOSE_BOX, LOW_MEMORY_TEXT, true, 1},
    };
    for (unsigned i = 0; i < ARRAYSIZE(tests); i++) {
        char arguments[64];
        wsprintfA(arguments, "dialog-child %s", tests[i].mode);
        HANDLE child = StartSelf(arguments);
        DWORD pid = GetProcessId(child);
        HWND dialog = WaitForWindow(pid, ERROR_CAPTION, 20000);
        HWND progress = WaitForWindow(pid, PROGRESS_CAPTION, 1000);
        ok(dialog != NULL, "%u: no dialog", i);
        if (dialog) {
            ok(GetWindow(dialog, GW_OWNER) == progress, "%u: dialog not owned by the progress window", i);
            ok(!IsWindowEnabled(progress), "%u: progress window enabled under the dialog", i);
            ok(WindowText(GetDlgItem(dialog, IDC_MESSAGE)) == tests[i].message, "%u: message '%ls'", i,
               WindowText(GetDlgItem(dialog, IDC_MESSAGE)).c_str());
            ok(WindowText(NthChild(dialog, 3)) == HINT_TEXT, "%u: hint '%ls'", i, WindowText(NthChild(dialog, 3)).c_str());
            bool ignoreEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK));
            ok(ignoreEnabled == tests[i].ignoreEnabled, "%u: \"Ignore\" enabled %d, expected %d", i, ignoreEnabled,
               tests[i].ignoreEnabled);

            switch (tests[i].action) {
            case CLICK_EXIT:
                PostMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
                break;
            case PRESS_ESCAPE:
                PostMessageW(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
                break;
            case CLOSE_BOX:
                PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
                break;
            case CLICK_IGNORE:
                PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
                break;
            case COMMAND_IGNORE_THEN_EXIT:
                PostMessageW(dialog, WM_COMMAND, IDOK, 0);
                Sleep(300);
                ok(WaitExitCode(child, 0) == STILL_ACTIVE, "%u: IDOK ended the fatal dialog", i);
                PostMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
                break;
            }
        }
        DWORD code = WaitExitCode(child, 20000);
        ok(code == tests[i].exitCode, "%u: %s: exit code %lu, expected %lu", i, tests[i].mode, code,
           tests[i].exitCode);
        if (code == STILL_ACTIVE)
            TerminateProcess(child, 99);
        CloseHandle(child);
    }
}

// A fatal error must end as one even when its dialog cannot be shown.
static void test_fatal_without_dialog()
{
    HANDLE child = StartSelf("dialog-child no-template");
    DWORD code = WaitExitCode(child, 20000);
    ok(code == 1, "exit code %lu, expected 1", code);
    if (code == STILL_ACTIVE)
        TerminateProcess(child, 99);
    CloseHandle(child);
}

int main(int argc, char **argv)
{
    if (argc > 2 && !strcmp(argv[1], "dialog-child"))
        return RunDialogChild(argv[2]);
    static const TestCase tests[] = {
        {"FormatErrorText", test_FormatErrorText},
        {"dialog", test_dialog},
        {"fatal_without_dialog", test_fatal_without_dialog},
    };
    return RUN_TESTS(argc, argv, tests);
}
