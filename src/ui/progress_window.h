#pragma once
#include <windows.h>

// Control id of the selected step line, 0 for none. Only SelectStep writes it.
extern int CurrentStep;

// Procedure of the modeless IDD_PROGRESS dialog. "Stop" and the close box
// end the process with exit code 0 from inside whichever pump dispatches them.
INT_PTR CALLBACK ProgressDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Greys and clears the current step line, then enables and checks `step`
// (IDC_STEP_*, or 0 for none), then pumps.
void SelectStep(HWND window, int step);

// Sets the bar's range to 0..maximum and then its position, then pumps.
// The bar on screen may lag its value by a few tens of milliseconds.
void ShowProgress(HWND window, int position, int maximum);

// Draws the bar as it stands now: before the program waits or a dialog opens.
void ShowCurrentProgress(HWND window);
