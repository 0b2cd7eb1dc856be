// The tray program's main window as other programs reach it: found by class and title, told by
// posted commands, watched until its process ends.
#pragma once
#include <windows.h>

// The running program's main window, or null.
HWND findProgramWindow();

// Posts WM_COMMAND with `command` as the whole wParam; false when the window is gone.
bool postProgramCommand(HWND window, unsigned command);

// Waits up to `timeoutMs` for the process that owns `window` to end; true once it has.
bool waitProgramEnd(HWND window, DWORD timeoutMs);
