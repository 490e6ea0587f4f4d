#include <windows.h>
#include <stdio.h>
#include <algorithm>
#include <vector>

#include "resource.h"
#include "../tests/program/observe.h"

// The exe observed from outside, in the current folder (a game folder with
// the stand-in launcher): start-up to a visible progress window, and "Stop"
// latency from the click to the process's end in each step.

static const int RUNS = 5;

static double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return (double)count.QuadPart / frequency.QuadPart;
}

static void Print(const char *name, std::vector<double> t)
{
    std::sort(t.begin(), t.end());
    printf("%-34s %8.3f %8.3f %8.3f\n", name, t[t.size() / 2], t.front(), t.back());
    fflush(stdout);
}

static PROCESS_INFORMATION Start()
{
    wchar_t folder[MAX_PATH], exe[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, folder);
    wsprintfW(exe, L"%s\\preloader.exe", folder);
    return StartIn(exe, folder);
}

static HWND WaitForProgress(const PROCESS_INFORMATION &program)
{
    for (;;) {
        HWND progress = FindProcessWindow(program.dwProcessId, PROGRESS_CAPTION);
        if (progress || WaitForSingleObject(program.hProcess, 0) != WAIT_TIMEOUT)
            return progress;
        Sleep(1);
    }
}

// Seconds from the click to the end, clicked once `step` shows (after the
// launch step when `inTick`).
static double StopLatency(int step, bool inTick)
{
    PROCESS_INFORMATION program = Start();
    HWND progress = WaitForProgress(program);
    bool watching = false;
    for (;;) {
        int shown = ShownStep(progress);
        watching = watching || shown == IDC_STEP_LAUNCH;
        if (shown == step && (!inTick || watching))
            break;
        Sleep(1);
    }
    double start = Now();
    PostMessageW(GetDlgItem(progress, IDCANCEL), BM_CLICK, 0, 0);
    WaitForSingleObject(program.hProcess, INFINITE);
    double latency = Now() - start;
    CloseHandle(program.hProcess);
    CloseHandle(program.hThread);
    return latency;
}

int main()
{
    std::vector<double> startup;
    for (int i = 0; i < RUNS; i++) {
        double start = Now();
        PROCESS_INFORMATION program = Start();
        HWND progress = WaitForProgress(program);
        startup.push_back(Now() - start);
        PostMessageW(GetDlgItem(progress, IDCANCEL), BM_CLICK, 0, 0);
        WaitForSingleObject(program.hProcess, INFINITE);
        CloseHandle(program.hProcess);
        CloseHandle(program.hThread);
    }
    Print("start-up to progress window", startup);

    static const struct {
        const char *name;
        int step;
        bool inTick;
        int runs;
    } phases[] = {
        {"Stop: memory step", IDC_STEP_MEMORY, false, RUNS},
        {"Stop: reading files", IDC_STEP_FILES, false, RUNS},
        {"Stop: watching", IDC_STEP_LAUNCH, false, RUNS},
        {"Stop: during a tick", IDC_STEP_FILES, true, 2},
    };
    for (const auto &phase : phases) {
        std::vector<double> latency;
        for (int i = 0; i < phase.runs; i++)
            latency.push_back(StopLatency(phase.step, phase.inTick));
        Print(phase.name, latency);
    }
    return 0;
}
