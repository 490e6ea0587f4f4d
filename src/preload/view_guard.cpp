#include <windows.h>

#include "preload/view_guard.h"

// Passes nest only through message pumps on the one thread, so the guards
// form a stack; the handler is installed once and stays.
static ViewGuard *innermost;
static PVOID handler;

__attribute__((noinline, noreturn)) static void LandAfterFault()
{
    __builtin_longjmp(innermost->jump, 1);
}

static LONG CALLBACK OnViewFault(EXCEPTION_POINTERS *info)
{
    const EXCEPTION_RECORD *record = info->ExceptionRecord;
    bool pageFault = record->ExceptionCode == EXCEPTION_IN_PAGE_ERROR ||
                     record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION;
    if (!pageFault || record->NumberParameters < 2)
        return EXCEPTION_CONTINUE_SEARCH;
    const BYTE *address = (const BYTE *)record->ExceptionInformation[1];
    for (ViewGuard *guard = innermost; guard; guard = guard->outer) {
        if (address < guard->start || (SIZE_T)(address - guard->start) >= guard->length)
            continue;
        innermost = guard;
        // Resume as if the faulting code had called the landing function.
        CONTEXT *context = info->ContextRecord;
#ifdef _WIN64
        context->Rsp -= sizeof(DWORD64);
        context->Rip = (DWORD64)LandAfterFault;
#else
        context->Esp -= sizeof(DWORD);
        context->Eip = (DWORD)LandAfterFault;
#endif
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

void GuardView(ViewGuard *guard, const void *view, SIZE_T length)
{
    if (!handler)
        handler = AddVectoredExceptionHandler(1, OnViewFault);
    guard->start = (const BYTE *)view;
    guard->length = length;
    guard->outer = innermost;
    innermost = guard;
}

void UnguardView(ViewGuard *guard)
{
    innermost = guard->outer;
}
