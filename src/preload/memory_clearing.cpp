#include <windows.h>

#include "resource.h"
#include "preload/memory_clearing.h"
#include "ui/progress_window.h"

const DWORD VIEW_SIZE = 1024 * 1024;
const DWORD VIEW_COUNT = 1280;
const DWORD SECTION_SIZE = VIEW_COUNT * VIEW_SIZE;
const DWORD WRITE_STRIDE = 1024;

void ClearMemory(HWND window)
{
    SelectStep(window, IDC_STEP_MEMORY);

    HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, SECTION_SIZE, NULL);

    // Separate 1 MiB views: no single free range of 1280 MiB is needed.
    void *views[VIEW_COUNT];
    for (DWORD i = 0; i < VIEW_COUNT; i++)
        views[i] = NULL;

    for (DWORD i = 0; i < VIEW_COUNT; i++) {
        void *view = MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, i << 20, VIEW_SIZE);
        if (view == NULL)
            break;
        views[i] = view;
        // volatile: every write must reach the view, or the system is
        // never made to supply the page.
        volatile BYTE *bytes = (volatile BYTE *)view;
        for (DWORD offset = 0; offset < VIEW_SIZE; offset += WRITE_STRIDE)
            bytes[offset] = 1;
        ShowProgress(window, VIEW_COUNT - i, VIEW_COUNT);
    }

    // Null entries stand for views never mapped; unmapping them is harmless.
    for (DWORD i = 0; i < VIEW_COUNT; i++)
        UnmapViewOfFile(views[i]);
    CloseHandle(section);
}
