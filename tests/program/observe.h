#pragma once
#include <windows.h>

// Watching a running preloader.exe from outside, as a user or an
// automation client would: windows by caption, control states by message.

const wchar_t PROGRESS_CAPTION[] = L"Dungeons & Dragons Online - Durid odaro";
const wchar_t ERROR_CAPTION[] = L"Error";

// A top-level window of process `pid` with this caption, or NULL.
HWND FindProcessWindow(DWORD pid, const wchar_t *caption);

// The step line that is enabled and checked, or 0 when none is.
int ShownStep(HWND progress);
const wchar_t *StepName(int step);

// The bar's position and upper limit; -1 when the window does not answer.
int BarPosition(HWND progress);
int BarMaximum(HWND progress);

// Text of a control of another process, by WM_GETTEXT.
void ControlText(HWND dialog, int id, wchar_t *text, int capacity);

// Starts `exe` with `folder` as its current directory.
PROCESS_INFORMATION StartIn(const wchar_t *exe, const wchar_t *folder);
