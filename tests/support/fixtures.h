#pragma once
#include <windows.h>
#include <string>
#include <vector>

// The progress window from the real template, as wWinMain creates it.
HWND CreateProgressWindow();

// What reached the progress bar of our own messages (PBM_SETRANGE32, PBM_SETPOS).
struct BarMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
// Subclasses the window's bar (once) and starts a fresh record.
void RecordBar(HWND window);
// Called for every recorded message, after it was recorded; may be NULL.
extern void (*OnBarMessage)(const BarMessage &message);
const std::vector<BarMessage> &RecordedBar();
// Compares the record with `expected`; dumps both on a mismatch.
void CheckBarMessages(const char *context, const std::vector<BarMessage> &expected);

// The position the progress control itself holds, and draws: asked of the
// class's procedure, below any subclass.
int DrawnPosition(HWND bar);

// Step lines as seen on screen: enabled and checked.
struct StepState {
    bool enabled;
    bool checked;
};
StepState ReadStep(HWND window, int step);

// Regions of mapped views (MEM_MAPPED allocations) in our address space.
int CountMappedViews();
DWORD HandleCount();

// A fresh folder under the temporary folder, removed with its files by RemoveFolder.
std::wstring MakeTempFolder();
void WriteFixture(const std::wstring &path, const std::vector<BYTE> &bytes);
void RemoveFolder(const std::wstring &folder);
// A fresh temporary folder made the current one; LeaveTempFolder removes it.
std::wstring EnterTempFolder();
void LeaveTempFolder(const std::wstring &folder);

// This test program run again with `arguments`; the caller closes the handle.
HANDLE StartSelf(const char *arguments);
// Exit code, or STILL_ACTIVE when it did not end in time.
DWORD WaitExitCode(HANDLE process, DWORD timeoutMs);

// A top-level window of process `pid` with this caption, waited for.
HWND WaitForWindow(DWORD pid, const wchar_t *caption, DWORD timeoutMs);
std::wstring WindowText(HWND window);

// Truncates a file from outside Wine, as a Linux program would, bypassing
// share modes and mappings. Waits until the new size shows.
bool TruncateFromLinux(const std::wstring &path, ULONGLONG size);

// Reserves every free range of the address space, but for `holes` ranges of
// `holeSize` bytes each and a few of 64 KiB; ReleaseAddressSpace gives it
// all back.
std::vector<void *> FillAddressSpace(int holes, SIZE_T holeSize);
void ReleaseAddressSpace(std::vector<void *> &blocks);
