#include <windows.h>
#include <commctrl.h>
#include <stdio.h>

#include "resource.h"
#include "app/app_instance.h"
#include "ui/progress_window.h"
#include "fixtures.h"
#include "../program/observe.h"
#include "test.h"

HWND CreateProgressWindow()
{
    InitCommonControls();
    AppInstance = GetModuleHandleW(NULL);
    HWND window = CreateDialogParamW(AppInstance, MAKEINTRESOURCEW(IDD_PROGRESS), NULL, ProgressDlgProc, 0);
    ok(window != NULL, "progress window not created: error %lu", GetLastError());
    return window;
}

static std::vector<BarMessage> barRecord;
static WNDPROC barProc;
void (*OnBarMessage)(const BarMessage &message);

static LRESULT CALLBACK RecordingBarProc(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    bool ours = message == PBM_SETRANGE32 || message == PBM_SETPOS;
    if (ours)
        barRecord.push_back({message, wParam, lParam});
    LRESULT result = CallWindowProcW(barProc, bar, message, wParam, lParam);
    if (ours && OnBarMessage)
        OnBarMessage(barRecord.back());
    return result;
}

void RecordBar(HWND window)
{
    HWND bar = GetDlgItem(window, IDC_PROGRESS);
    if ((WNDPROC)GetWindowLongPtrW(bar, GWLP_WNDPROC) != RecordingBarProc)
        barProc = (WNDPROC)SetWindowLongPtrW(bar, GWLP_WNDPROC, (LONG_PTR)RecordingBarProc);
    barRecord.clear();
}

const std::vector<BarMessage> &RecordedBar()
{
    return barRecord;
}

static const char *BarMessageName(UINT message)
{
    return message == PBM_SETRANGE32 ? "PBM_SETRANGE32" : message == PBM_SETPOS ? "PBM_SETPOS" : "?";
}

static void DumpBarMessages(const char *title, const std::vector<BarMessage> &list)
{
    printf("  %s (%u):\n", title, (unsigned)list.size());
    for (size_t i = 0; i < list.size() && i < 40; i++)
        printf("    %s %lld %lld\n", BarMessageName(list[i].message), (long long)list[i].wParam,
               (long long)list[i].lParam);
}

void CheckBarMessages(const char *context, const std::vector<BarMessage> &expected)
{
    const std::vector<BarMessage> &got = barRecord;
    size_t mismatch = 0;
    while (mismatch < got.size() && mismatch < expected.size() && got[mismatch].message == expected[mismatch].message &&
           got[mismatch].wParam == expected[mismatch].wParam && got[mismatch].lParam == expected[mismatch].lParam)
        mismatch++;
    bool same = mismatch == got.size() && mismatch == expected.size();
    ok(same, "%s: bar messages differ at %u: got %u messages, expected %u", context, (unsigned)mismatch,
       (unsigned)got.size(), (unsigned)expected.size());
    if (!same) {
        DumpBarMessages("got", got);
        DumpBarMessages("expected", expected);
    }
}

int DrawnPosition(HWND bar)
{
    WNDPROC control = (WNDPROC)GetClassLongPtrW(bar, GCLP_WNDPROC);
    return (int)CallWindowProcW(control, bar, PBM_GETPOS, 0, 0);
}

StepState ReadStep(HWND window, int step)
{
    HWND line = GetDlgItem(window, step);
    return {IsWindowEnabled(line) != FALSE, SendMessageW(line, BM_GETCHECK, 0, 0) == BST_CHECKED};
}

int CountMappedViews()
{
    int views = 0;
    MEMORY_BASIC_INFORMATION region;
    const BYTE *address = NULL;
    const BYTE *lastBase = NULL;
    while (VirtualQuery(address, &region, sizeof region) == sizeof region) {
        if (region.Type == MEM_MAPPED && region.AllocationBase != lastBase) {
            views++;
            lastBase = (const BYTE *)region.AllocationBase;
        }
        const BYTE *next = (const BYTE *)region.BaseAddress + region.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return views;
}

DWORD HandleCount()
{
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
}

std::wstring MakeTempFolder()
{
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static unsigned serial;
    for (;;) {
        wchar_t path[MAX_PATH];
        swprintf(path, MAX_PATH, L"%lspreloader-test-%lu-%u", base, GetCurrentProcessId(), serial++);
        if (CreateDirectoryW(path, NULL))
            return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ok(false, "cannot create a temporary folder: error %lu", GetLastError());
            return path;
        }
    }
}

void WriteFixture(const std::wstring &path, const std::vector<BYTE> &bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ok(file != INVALID_HANDLE_VALUE, "cannot create %ls: error %lu", path.c_str(), GetLastError());
    DWORD written = 0;
    if (!bytes.empty())
        WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    ok(written == bytes.size(), "%ls: wrote %lu of %u bytes", path.c_str(), written, (unsigned)bytes.size());
    CloseHandle(file);
}

void RemoveFolder(const std::wstring &folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring path = folder + L"\\" + found.cFileName;
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW(path.c_str());
            else if (wcscmp(found.cFileName, L".") && wcscmp(found.cFileName, L".."))
                RemoveFolder(path);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

std::wstring EnterTempFolder()
{
    std::wstring folder = MakeTempFolder();
    SetCurrentDirectoryW(folder.c_str());
    return folder;
}

void LeaveTempFolder(const std::wstring &folder)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    SetCurrentDirectoryW(temp);
    RemoveFolder(folder);
}

HANDLE StartSelf(const char *arguments)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(NULL, self, MAX_PATH);
    wchar_t commandLine[2 * MAX_PATH];
    swprintf(commandLine, 2 * MAX_PATH, L"\"%ls\" %hs", self, arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessW(self, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process);
    ok(started, "cannot start child '%s': error %lu", arguments, GetLastError());
    CloseHandle(process.hThread);
    return process.hProcess;
}

DWORD WaitExitCode(HANDLE process, DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(process, &code);
    return code;
}

HWND WaitForWindow(DWORD pid, const wchar_t *caption, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND found = FindProcessWindow(pid, caption);
        if (found || GetTickCount() - start > timeoutMs)
            return found;
        Sleep(20);
    }
}

std::wstring WindowText(HWND window)
{
    wchar_t text[1024] = L"";
    SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(text), (LPARAM)text, SMTO_ABORTIFHUNG, 5000, NULL);
    return text;
}

bool TruncateFromLinux(const std::wstring &path, ULONGLONG size)
{
    // Wine's own export: the Linux name of a Windows path.
    typedef char *(CDECL * UnixFileName)(const wchar_t *);
    UnixFileName unixFileName = (UnixFileName)(void *)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    ok(unixFileName != NULL, "not running under Wine: cannot truncate from Linux");
    if (!unixFileName)
        return false;
    char *unixPath = unixFileName(path.c_str());
    wchar_t commandLine[2 * MAX_PATH];
    swprintf(commandLine, ARRAYSIZE(commandLine), L"/usr/bin/truncate -s %llu \"%hs\"", size, unixPath);
    HeapFree(GetProcessHeap(), 0, unixPath);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    // Wine starts a Linux program given by its Linux path.
    if (!CreateProcessW(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
        ok(false, "cannot run truncate: error %lu", GetLastError());
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int wait = 0; wait < 500; wait++) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) &&
            ((ULONGLONG)data.nFileSizeHigh << 32 | data.nFileSizeLow) == size)
            return true;
        Sleep(10);
    }
    ok(false, "%ls not truncated to %llu bytes", path.c_str(), size);
    return false;
}

// Wherever the system will place it, largest first: some ranges that the
// region query reports free are only open to the system's own placement.
static void ReserveFreeRanges(std::vector<void *> &blocks)
{
    const SIZE_T GRANULARITY = 64 * 1024;
    for (SIZE_T size = (SIZE_T)1 << (sizeof(void *) == 8 ? 46 : 31); size >= GRANULARITY; size /= 2) {
        while (void *block = VirtualAlloc(NULL, size, MEM_RESERVE, PAGE_NOACCESS))
            blocks.push_back(block);
    }
}

std::vector<void *> FillAddressSpace(int holes, SIZE_T holeSize)
{
    // Small spare holes too: the system allocates while the code under test runs.
    const int SPARE_HOLES = 16;
    std::vector<void *> kept, blocks;
    for (int i = 0; i < holes; i++)
        kept.push_back(VirtualAlloc(NULL, holeSize, MEM_RESERVE, PAGE_NOACCESS));
    for (int i = 0; i < SPARE_HOLES; i++)
        kept.push_back(VirtualAlloc(NULL, 64 * 1024, MEM_RESERVE, PAGE_NOACCESS));
    ReserveFreeRanges(blocks);
    for (void *block : kept)
        VirtualFree(block, 0, MEM_RELEASE);
    return blocks;
}

void ReleaseAddressSpace(std::vector<void *> &blocks)
{
    for (void *block : blocks)
        VirtualFree(block, 0, MEM_RELEASE);
    blocks.clear();
}
