#include <windows.h>

#include "resource.h"
#include "preload/data_warming.h"
#include "preload/view_guard.h"
#include "ui/error_dialog.h"
#include "ui/error_text.h"
#include "ui/progress_window.h"

const SIZE_T PAGE_STRIDE = 4096;
const SIZE_T PROGRESS_INTERVAL = 65536;
const SIZE_T PROGRESS_UNIT = 1024;

__attribute__((noinline)) BYTE ReadViewByte(const BYTE *view, SIZE_T offset)
{
    return *(const volatile BYTE *)(view + offset);
}

static void ReportFailure(HWND window, bool silent, const wchar_t *format)
{
    wchar_t message[MESSAGE_CAPACITY];
    FormatErrorText(message, format, DATA_FILE_NAME);
    if (!silent)
        ShowFatalError(window, message);
}

static BYTE WalkView(HWND window, const BYTE *view, SIZE_T length)
{
    BYTE checksum = 0;
    for (SIZE_T offset = 0; offset < length; offset += PAGE_STRIDE) {
        checksum ^= ReadViewByte(view, offset);
        if (offset % PROGRESS_INTERVAL == 0)
            ShowProgress(window, (int)(offset / PROGRESS_UNIT), (int)(length / PROGRESS_UNIT));
    }
    return checksum;
}

// False when a page of the view could not be read: the file shrank under
// us, or the disk or share holding it failed.
static bool WalkGuarded(HWND window, const BYTE *view, SIZE_T length, BYTE *checksum)
{
    ViewGuard guard;
    GuardView(&guard, view, length);
    bool walked = __builtin_setjmp(guard.jump) == 0;
    if (walked)
        *checksum = WalkView(window, view, length);
    UnguardView(&guard);
    return walked;
}

void WarmDataFile(HWND window, bool silent)
{
    SelectStep(window, IDC_STEP_FILES);

    HANDLE file = CreateFileW(DATA_FILE_NAME, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == NULL || file == INVALID_HANDLE_VALUE) {
        ReportFailure(window, silent, L"Can't open file '%s'\n");
        return;
    }

    // The mapping keeps its own hold on the file.
    HANDLE mapping = CreateFileMappingW(file, NULL, PAGE_READONLY, 0, 0, NULL);
    CloseHandle(file);
    if (mapping == NULL || mapping == INVALID_HANDLE_VALUE) {
        ReportFailure(window, silent, L"Can't open mapping for file '%s'\n");
        return;
    }

    const BYTE *view = (const BYTE *)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (view == NULL) {
        ReportFailure(window, silent, L"Can't map file '%s'\n");
        CloseHandle(mapping);
        return;
    }

    // The region is the whole view: the file's size rounded up to pages.
    MEMORY_BASIC_INFORMATION region = {};
    VirtualQuery(view, &region, sizeof region);
    BYTE checksum = 0;
    if (WalkGuarded(window, view, region.RegionSize, &checksum)) {
        // The checksum is what makes the reads observable.
        ShowProgress(window, checksum, checksum);
    } else {
        ReportFailure(window, silent, L"Can't map file '%s'\n");
    }

    UnmapViewOfFile(view);
    CloseHandle(mapping);
}
