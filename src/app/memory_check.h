#pragma once
#include <windows.h>

// Below this much installed physical memory the start-up warns once.
const DWORDLONG MEMORY_THRESHOLD_MIB = 1900;

const wchar_t LOW_MEMORY_TEXT[] = L"Not enough memory - preloader can be inefficient";

// Whole MiB over all 64 bits, so 4 GiB and more never count as short.
bool IsShortOfMemory(DWORDLONG totalPhys);

// Queries the system; a failed query counts as enough memory.
bool QueryShortOfMemory();
