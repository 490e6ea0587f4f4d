#pragma once
#include <windows.h>

// Turns a fault on a page of one mapped view (a failing disk or a lost share:
// EXCEPTION_IN_PAGE_ERROR; under Wine, a file truncated by a Linux process:
// EXCEPTION_ACCESS_VIOLATION) into a jump back to the guard's setjmp point.
// GCC has no __try: a vectored handler checks that the faulting address lies
// inside a guarded view, resumes in a landing function, and that longjmps.
// Faults anywhere else go on as before. Guards nest, innermost first.
struct ViewGuard {
    const BYTE *start;
    SIZE_T length;
    void *jump[5];  // for __builtin_setjmp
    ViewGuard *outer;
};

// Call __builtin_setjmp(guard->jump) after GuardView: it returns again with
// 1 when a page of the view faulted. UnguardView on both paths.
void GuardView(ViewGuard *guard, const void *view, SIZE_T length);
void UnguardView(ViewGuard *guard);
