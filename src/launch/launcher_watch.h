#pragma once
#include <windows.h>

const wchar_t LAUNCHER_APPLICATION[] = L"TurbineLauncher.exe";
const wchar_t LAUNCHER_COMMAND_LINE[] = L"TurbineLauncher.exe -invoker";
const wchar_t GAME_WINDOW_TITLE[] = L"Dungeons and Dragons Online";
const UINT_PTR REWARM_TIMER_ID = 1;
const UINT REWARM_PERIOD_MS = 10000;

// Starts the launcher from the current directory, then waits until the game
// window exists or the launcher has ended, re-warming the data file at every
// timer tick. A launcher that cannot be started ends the process through the
// fatal error dialog. The launcher's handles and the timer are left to the
// end of the process.
void LaunchAndWatch(HWND window);

// The re-warm timer's callback: a silent pass, then back to the launch step.
void CALLBACK OnRewarmTimer(HWND window, UINT message, UINT_PTR timerId, DWORD time);
