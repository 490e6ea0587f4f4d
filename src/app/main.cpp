#include <windows.h>
#include <commctrl.h>

#include "resource.h"
#include "app/app_instance.h"
#include "app/memory_check.h"
#include "ui/progress_window.h"
#include "ui/error_dialog.h"
#include "preload/memory_clearing.h"
#include "preload/data_warming.h"
#include "launch/launcher_watch.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    InitCommonControls();
    // Before the window: its WM_INITDIALOG loads the icon from here.
    AppInstance = instance;
    HWND window = CreateDialogParamW(AppInstance, MAKEINTRESOURCEW(IDD_PROGRESS), NULL,
                                     ProgressDlgProc, 0);

    if (QueryShortOfMemory())
        ShowWarning(window, LOW_MEMORY_TEXT);

    ClearMemory(window);
    WarmDataFile(window, false);
    LaunchAndWatch(window);
    return 0;
}
