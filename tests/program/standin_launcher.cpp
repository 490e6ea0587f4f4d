#include <windows.h>
#include <stdlib.h>

// Stands in for the game's launcher in a temporary game folder. It writes
// its command line to launcher_args.txt and its process id to
// launcher_pid.txt, opens a top-level window titled as
// the game's after a delay, and ends after a while or when that window is
// closed. Environment, all optional:
//   STANDIN_WINDOW_MS   delay before the window opens (default 3000; -1: never)
//   STANDIN_LIFETIME_MS time until the launcher ends by itself (default 30000; -1: never)
//   STANDIN_TITLE       the window's title (default "Dungeons and Dragons Online")

static wchar_t title[256] = L"Dungeons and Dragons Online";

static int Setting(const wchar_t *name, int fallback)
{
    wchar_t value[32];
    if (!GetEnvironmentVariableW(name, value, ARRAYSIZE(value)))
        return fallback;
    return _wtoi(value);
}

static void RecordLaunch()
{
    HANDLE file = CreateFileW(L"launcher_args.txt", GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
    const wchar_t *commandLine = GetCommandLineW();
    DWORD written;
    WriteFile(file, commandLine, lstrlenW(commandLine) * sizeof(wchar_t), &written, NULL);
    CloseHandle(file);
    // The test checks that the launcher outlives the program.
    file = CreateFileW(L"launcher_pid.txt", GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
    char pid[16];
    wsprintfA(pid, "%lu", GetCurrentProcessId());
    WriteFile(file, pid, lstrlenA(pid), &written, NULL);
    CloseHandle(file);
}

static LRESULT CALLBACK GameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}


int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    RecordLaunch();
    GetEnvironmentVariableW(L"STANDIN_TITLE", title, ARRAYSIZE(title));
    int windowMs = Setting(L"STANDIN_WINDOW_MS", 3000);
    int lifetimeMs = Setting(L"STANDIN_LIFETIME_MS", 30000);

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = GameWindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"StandInGameWindow";
    RegisterClassW(&windowClass);

    UINT_PTR windowTimer = windowMs >= 0 ? SetTimer(NULL, 0, windowMs, NULL) : 0;
    UINT_PTR endTimer = lifetimeMs >= 0 ? SetTimer(NULL, 0, lifetimeMs, NULL) : 0;
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == NULL && msg.wParam == windowTimer) {
            KillTimer(NULL, windowTimer);
            CreateWindowW(L"StandInGameWindow", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 200, 320, 200, NULL,
                          NULL, instance, NULL);
        } else if (msg.message == WM_TIMER && msg.hwnd == NULL && msg.wParam == endTimer) {
            break;
        }
        DispatchMessageW(&msg);
    }
    return 0;
}
