#include <windows.h>
#include <commctrl.h>

#include "ui/progress_bar.h"

// Under Wine every change of a progress bar's position invalidates and
// updates the control at once: some 80 µs of server calls even while it is
// hidden, about 1 ms when it draws. That is more than the work between two
// updates. So a position set soon after the last drawing is held here, and
// the bar answers for it; the control gets it when the next drawing is due,
// or when the picture must be exact.
const DWORD BAR_REPAINT_MS = 40;

struct HeldPosition {
    WNDPROC control;
    DWORD lastPaint;
    bool held;
    int position;
};

static HeldPosition *Held(HWND bar)
{
    return (HeldPosition *)GetWindowLongPtrW(bar, GWLP_USERDATA);
}

// The control's own rule for a position outside its range.
static int Coerce(const HeldPosition *state, HWND bar, int position)
{
    PBRANGE range;
    CallWindowProcW(state->control, bar, PBM_GETRANGE, TRUE, (LPARAM)&range);
    if (position < range.iLow)
        position = range.iLow;
    if (position > range.iHigh)
        position = range.iHigh;
    return position;
}

static void HandOver(HeldPosition *state, HWND bar)
{
    if (state->held) {
        state->held = false;
        CallWindowProcW(state->control, bar, PBM_SETPOS, state->position, 0);
    }
    state->lastPaint = GetTickCount();
}

static LRESULT CALLBACK ThrottledBarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    HeldPosition *state = Held(bar);
    WNDPROC control = state->control;
    switch (message) {
    case PBM_SETPOS: {
        LRESULT previous = state->held ? state->position : CallWindowProcW(control, bar, PBM_GETPOS, 0, 0);
        state->position = Coerce(state, bar, (int)wParam);
        state->held = true;
        if (GetTickCount() - state->lastPaint >= BAR_REPAINT_MS)
            HandOver(state, bar);
        return previous;
    }
    case PBM_GETPOS:
        if (state->held)
            return state->position;
        break;
    case PBM_SETRANGE32: {
        LRESULT previous = CallWindowProcW(control, bar, message, wParam, lParam);
        if (state->held)
            state->position = Coerce(state, bar, state->position);
        return previous;
    }
    case WM_NCDESTROY:
        SetWindowLongPtrW(bar, GWLP_USERDATA, 0);
        HeapFree(GetProcessHeap(), 0, state);
        break;
    case PBM_DELTAPOS:
    case PBM_STEPIT:
    case PBM_SETRANGE:
        // These work on the control's own position.
        HandOver(state, bar);
        break;
    }
    return CallWindowProcW(control, bar, message, wParam, lParam);
}

// Without its few bytes of state the bar simply draws every position.
void ThrottleBarPainting(HWND bar)
{
    HeldPosition *state = (HeldPosition *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(HeldPosition));
    if (!state)
        return;
    SetWindowLongPtrW(bar, GWLP_USERDATA, (LONG_PTR)state);
    state->control = (WNDPROC)SetWindowLongPtrW(bar, GWLP_WNDPROC, (LONG_PTR)ThrottledBarProc);
}

void PaintBarNow(HWND bar)
{
    if (HeldPosition *state = Held(bar))
        HandOver(state, bar);
    UpdateWindow(bar);
}
