#pragma once
#include <windows.h>

// Modal IDD_ERROR owned by `parent`, showing `message` (the caller's; only
// read while the dialog opens). "Exit" ends the process with exit code 1.
// Never returns: if the dialog cannot be created at all, the process still
// ends with exit code 1.
void ShowFatalError(HWND parent, const wchar_t *message);

// The same dialog with "Ignore" enabled: returns when it is pressed.
// "Exit" ends the process with exit code 1.
void ShowWarning(HWND parent, const wchar_t *message);

INT_PTR CALLBACK ErrorDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK WarningDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
