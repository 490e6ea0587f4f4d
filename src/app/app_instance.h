#pragma once
#include <windows.h>

// The module that holds the dialog templates and the icon. Written once by
// wWinMain before the progress window exists.
extern HINSTANCE AppInstance;
