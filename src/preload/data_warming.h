#pragma once
#include <windows.h>

const wchar_t DATA_FILE_NAME[] = L"client_gamelogic.dat";

// Maps the data file in the current directory and reads the first byte of
// every page so the system has just read all of it. Failures go to the fatal
// error dialog unless `silent`, in which case they are dropped. Every path
// that returns has released the file, the mapping and the view.
void WarmDataFile(HWND window, bool silent);

// One real load from the view; kept out of line so that no read is merged
// or dropped.
BYTE ReadViewByte(const BYTE *view, SIZE_T offset);
