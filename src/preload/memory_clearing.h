#pragma once
#include <windows.h>

// Makes the system supply 1280 MiB of freshly written page-file-backed
// memory, holds it all until the last MiB is written, then releases it.
// Reports no failure: it stops quietly at the first view it cannot map.
void ClearMemory(HWND window);
