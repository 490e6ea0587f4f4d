#pragma once
#include <windows.h>

// Makes the bar draw a new position at most every BAR_REPAINT_MS while
// positions come fast. Its PBM_GETPOS and PBM_GETRANGE still answer the last
// values set at once. Called once, when the bar is created.
void ThrottleBarPainting(HWND bar);

// Draws the bar as it stands now, leaving nothing to paint.
void PaintBarNow(HWND bar);
