#include "app/memory_check.h"

bool IsShortOfMemory(DWORDLONG totalPhys)
{
    return totalPhys / (1024 * 1024) < MEMORY_THRESHOLD_MIB;
}

bool QueryShortOfMemory()
{
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status))
        return false;
    return IsShortOfMemory(status.ullTotalPhys);
}
