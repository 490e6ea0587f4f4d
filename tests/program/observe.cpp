#include <windows.h>
#include <commctrl.h>

#include "resource.h"
#include "observe.h"

// Another process may be busy for a moment between its pumps.
static const UINT ANSWER_TIMEOUT_MS = 5000;

static LRESULT Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT fallback)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, ANSWER_TIMEOUT_MS, &result))
        return fallback;
    return (LRESULT)result;
}

struct Search {
    DWORD pid;
    const wchar_t *caption;
    HWND found;
};

static BOOL CALLBACK Match(HWND window, LPARAM lParam)
{
    Search *search = (Search *)lParam;
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t caption[256] = L"";
    GetWindowTextW(window, caption, ARRAYSIZE(caption));
    // Visible only once WM_INITDIALOG has filled it in.
    if (pid != search->pid || lstrcmpW(caption, search->caption) != 0 || !IsWindowVisible(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindProcessWindow(DWORD pid, const wchar_t *caption)
{
    Search search = {pid, caption, NULL};
    EnumWindows(Match, (LPARAM)&search);
    return search.found;
}

int ShownStep(HWND progress)
{
    static const int steps[] = {IDC_STEP_MEMORY, IDC_STEP_FILES, IDC_STEP_LAUNCH};
    for (int step : steps) {
        HWND line = GetDlgItem(progress, step);
        if (line && IsWindowEnabled(line) && Ask(line, BM_GETCHECK, 0, 0, 0) == BST_CHECKED)
            return step;
    }
    return 0;
}

const wchar_t *StepName(int step)
{
    switch (step) {
    case IDC_STEP_MEMORY: return L"Initializing memory";
    case IDC_STEP_FILES: return L"Reading files";
    case IDC_STEP_LAUNCH: return L"Launching the game";
    }
    return L"(none)";
}

int BarPosition(HWND progress)
{
    return (int)Ask(GetDlgItem(progress, IDC_PROGRESS), PBM_GETPOS, 0, 0, -1);
}

int BarMaximum(HWND progress)
{
    return (int)Ask(GetDlgItem(progress, IDC_PROGRESS), PBM_GETRANGE, FALSE, 0, -1);
}

void ControlText(HWND dialog, int id, wchar_t *text, int capacity)
{
    text[0] = L'\0';
    Ask(GetDlgItem(dialog, id), WM_GETTEXT, capacity, (LPARAM)text, 0);
}

PROCESS_INFORMATION StartIn(const wchar_t *exe, const wchar_t *folder)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    wchar_t commandLine[MAX_PATH + 2];
    wsprintfW(commandLine, L"\"%s\"", exe);
    if (!CreateProcessW(exe, commandLine, NULL, NULL, FALSE, 0, NULL, folder, &startup, &process))
        process.hProcess = NULL;
    return process;
}
