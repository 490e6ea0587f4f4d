#include <windows.h>

#include "resource.h"
#include "app/app_instance.h"
#include "ui/error_dialog.h"
#include "ui/progress_window.h"

// Both procedures return FALSE for every message; Escape and the close box
// reach them as IDCANCEL through the dialog manager.
INT_PTR CALLBACK ErrorDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        SetDlgItemTextW(dialog, IDC_MESSAGE, (const wchar_t *)lParam);
    else if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)
        ExitProcess(1);
    return FALSE;
}

INT_PTR CALLBACK WarningDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
    else if (message == WM_COMMAND && LOWORD(wParam) == IDOK)
        EndDialog(dialog, 0);

    if (message == WM_INITDIALOG)
        SetDlgItemTextW(dialog, IDC_MESSAGE, (const wchar_t *)lParam);
    else if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)
        ExitProcess(1);
    return FALSE;
}

void ShowFatalError(HWND parent, const wchar_t *message)
{
    ShowCurrentProgress(parent);
    DialogBoxParamW(AppInstance, MAKEINTRESOURCEW(IDD_ERROR), parent, ErrorDlgProc, (LPARAM)message);
    // Only reached when the dialog could not be created: a failure must
    // still end as one.
    ExitProcess(1);
}

void ShowWarning(HWND parent, const wchar_t *message)
{
    ShowCurrentProgress(parent);
    DialogBoxParamW(AppInstance, MAKEINTRESOURCEW(IDD_ERROR), parent, WarningDlgProc, (LPARAM)message);
}
