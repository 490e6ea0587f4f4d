#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <vector>

#include "resource.h"
#include "app/app_instance.h"
#include "launch/launcher_watch.h"
#include "preload/data_warming.h"
#include "preload/memory_clearing.h"
#include "ui/message_pump.h"
#include "ui/progress_window.h"

// The program's own phases on a real progress window, side by side with bare
// loops that do the same system work without a window. Run in a game folder
// that holds client_gamelogic.dat. Prints one line per measurement:
//   name  median  min  max  (seconds, over RUNS runs)

static const int RUNS = 5;

static double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return (double)count.QuadPart / frequency.QuadPart;
}

struct Times {
    std::vector<double> seconds;
    double Median() const
    {
        std::vector<double> sorted = seconds;
        std::sort(sorted.begin(), sorted.end());
        return sorted[sorted.size() / 2];
    }
};

static void Print(const char *name, const Times &t)
{
    printf("%-34s %8.3f %8.3f %8.3f\n", name, t.Median(), *std::min_element(t.seconds.begin(), t.seconds.end()),
           *std::max_element(t.seconds.begin(), t.seconds.end()));
    fflush(stdout);
}

template <typename Work> static Times Measure(Work work)
{
    Times t;
    for (int i = 0; i < RUNS; i++) {
        double start = Now();
        work();
        t.seconds.push_back(Now() - start);
    }
    return t;
}

// The memory phase's system work: the same section, views and writes.
static void BareMemoryLoop()
{
    const DWORD VIEW = 1024 * 1024, COUNT = 1280;
    HANDLE section = CreateFileMappingW(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, VIEW * COUNT, NULL);
    static void *views[1280];
    for (DWORD i = 0; i < COUNT; i++) {
        views[i] = MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, i << 20, VIEW);
        if (!views[i])
            break;
        volatile BYTE *bytes = (volatile BYTE *)views[i];
        for (DWORD offset = 0; offset < VIEW; offset += 1024)
            bytes[offset] = 1;
    }
    for (DWORD i = 0; i < COUNT; i++) {
        UnmapViewOfFile(views[i]);
        views[i] = NULL;
    }
    CloseHandle(section);
}

// The data pass's system work: one read per page of a view of the file,
// with a drain of the (empty) queue every 64 KiB or none.
static BYTE BareWalk(bool drain)
{
    HANDLE file = CreateFileW(DATA_FILE_NAME, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE mapping = CreateFileMappingW(file, NULL, PAGE_READONLY, 0, 0, NULL);
    CloseHandle(file);
    const BYTE *view = (const BYTE *)MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    MEMORY_BASIC_INFORMATION region = {};
    VirtualQuery(view, &region, sizeof region);
    BYTE checksum = 0;
    for (SIZE_T offset = 0; offset < region.RegionSize; offset += 4096) {
        checksum ^= ReadViewByte(view, offset);
        if (drain && offset % 65536 == 0)
            PumpMessages();
    }
    UnmapViewOfFile(view);
    CloseHandle(mapping);
    return checksum;
}

int main(int argc, char **argv)
{
    InitCommonControls();
    AppInstance = GetModuleHandleW(NULL);
    HWND window = CreateDialogParamW(AppInstance, MAKEINTRESOURCEW(IDD_PROGRESS), NULL, ProgressDlgProc, 0);
    // One cold pass each, the cache evicted by the caller before every run.
    if (argc > 1 && !strcmp(argv[1], "cold-program")) {
        double start = Now();
        WarmDataFile(window, true);
        printf("%.3f\n", Now() - start);
        return 0;
    }
    if (argc > 1 && !strcmp(argv[1], "cold-bare")) {
        double start = Now();
        BareWalk(false);
        printf("%.3f\n", Now() - start);
        return 0;
    }
    bool memory = argc < 2 || !strcmp(argv[1], "memory");
    bool warm = argc < 2 || !strcmp(argv[1], "warm");
    if (memory) {
        Print("memory: bare loop", Measure([] { BareMemoryLoop(); }));
        Print("memory: ClearMemory", Measure([&] { ClearMemory(window); }));
    }
    if (warm) {
        BareWalk(false);  // a warm cache for every run
        Print("warm pass: bare walk", Measure([] { BareWalk(false); }));
        Print("warm pass: bare walk + drains", Measure([] { BareWalk(true); }));
        Print("warm pass: WarmDataFile", Measure([&] { WarmDataFile(window, true); }));
    }
    return 0;
}
