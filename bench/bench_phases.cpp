#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include <stdlib.h>
#include <algorithm>
#include <functional>
#include <string>
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

static double Median(std::vector<double> t)
{
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

static void Print(const char *name, const std::vector<double> &t)
{
    printf("%-34s %8.3f %8.3f %8.3f\n", name, Median(t), *std::min_element(t.begin(), t.end()),
           *std::max_element(t.begin(), t.end()));
    fflush(stdout);
}

// Processor seconds of this process, user and kernel.
static double ProcessorTime()
{
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}};
    ULARGE_INTEGER u = {{user.dwLowDateTime, user.dwHighDateTime}};
    return (k.QuadPart + u.QuadPart) / 1e7;
}

struct Contender {
    const char *name;
    std::function<void()> work;
    std::vector<double> seconds = {}, processor = {};
};

// Runs the contenders in turn, RUNS rounds, so that a drift of the machine
// touches all of them alike.
static void SideBySide(std::vector<Contender> contenders, bool withProcessorTime)
{
    for (int i = 0; i < RUNS; i++) {
        for (Contender &c : contenders) {
            double start = Now(), processor = ProcessorTime();
            c.work();
            c.seconds.push_back(Now() - start);
            c.processor.push_back(ProcessorTime() - processor);
        }
    }
    for (const Contender &c : contenders) {
        Print(c.name, c.seconds);
        if (withProcessorTime) {
            std::string name = std::string(c.name) + " (CPU)";
            Print(name.c_str(), c.processor);
        }
    }
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

// One pass each, the cache evicted by the caller before every run.
static double ColdPass(const char *mode, HWND window)
{
    double start = Now();
    if (!strcmp(mode, "cold-program"))
        WarmDataFile(window, true);
    else
        BareWalk(!strcmp(mode, "cold-drains"));
    return Now() - start;
}

int main(int argc, char **argv)
{
    InitCommonControls();
    AppInstance = GetModuleHandleW(NULL);
    HWND window = CreateDialogParamW(AppInstance, MAKEINTRESOURCEW(IDD_PROGRESS), NULL, ProgressDlgProc, 0);
    const char *mode = argc > 1 ? argv[1] : "";
    if (!strncmp(mode, "cold-", 5)) {
        printf("%.3f\n", ColdPass(mode, window));
        return 0;
    }
    if (!strcmp(mode, "memory"))
        SideBySide({{"memory: bare loop", [] { BareMemoryLoop(); }},
                    {"memory: ClearMemory", [&] { ClearMemory(window); }}},
                   false);
    if (!strcmp(mode, "memory-program"))
        SideBySide({{"memory: ClearMemory", [&] { ClearMemory(window); }}}, false);
    if (!strcmp(mode, "warm")) {
        BareWalk(false);  // a warm cache for every run
        SideBySide({{"warm pass: bare walk", [] { BareWalk(false); }},
                    {"warm pass: bare walk + drains", [] { BareWalk(true); }},
                    {"warm pass: WarmDataFile", [&] { WarmDataFile(window, true); }}},
                   true);
    }
    return 0;
}
