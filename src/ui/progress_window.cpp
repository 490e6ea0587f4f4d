#include <windows.h>
#include <commctrl.h>

#include "resource.h"
#include "app/app_instance.h"
#include "ui/message_pump.h"
#include "ui/progress_bar.h"
#include "ui/progress_window.h"

int CurrentStep = 0;

// Under Wine, GetDlgItem asks the server each time (some 30 µs, as much as
// the rest of an update): the bar's handle is kept with the window instead.
static HWND ProgressBar(HWND window)
{
    return (HWND)GetWindowLongPtrW(window, GWLP_USERDATA);
}

void ShowCurrentProgress(HWND window)
{
    PaintBarNow(ProgressBar(window));
}

INT_PTR CALLBACK ProgressDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        HANDLE icon = LoadImageW(AppInstance, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 0, 0, LR_SHARED);
        SetClassLongPtrW(window, GCLP_HICON, (LONG_PTR)icon);
        HWND bar = GetDlgItem(window, IDC_PROGRESS);
        SetWindowLongPtrW(window, GWLP_USERDATA, (LONG_PTR)bar);
        ThrottleBarPainting(bar);
        break;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL)
            ExitProcess(0);
        break;
    }
    // FALSE throughout: no initial focus, default handling for the rest.
    return FALSE;
}

void SelectStep(HWND window, int step)
{
    if (CurrentStep != 0) {
        EnableWindow(GetDlgItem(window, CurrentStep), FALSE);
        CheckDlgButton(window, CurrentStep, BST_UNCHECKED);
    }
    CurrentStep = step;
    if (step != 0) {
        EnableWindow(GetDlgItem(window, step), TRUE);
        CheckDlgButton(window, step, BST_CHECKED);
    }
    ShowCurrentProgress(window);
    PumpMessages();
}

void ShowProgress(HWND window, int position, int maximum)
{
    HWND bar = ProgressBar(window);
    SendMessageW(bar, PBM_SETRANGE32, 0, maximum);
    SendMessageW(bar, PBM_SETPOS, position, 0);
    PumpMessages();
}
