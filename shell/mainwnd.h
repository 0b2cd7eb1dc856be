// The hidden main window: commands of the tray menu and of outside programs, and power events.
#pragma once
#include <windows.h>

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Start-up has ended: the step and power messages held meanwhile run now, in their order.
void StartUpEnded(HWND window);

// Turns the machine off.
void ShutDownNow();

// Grays or enables the step items by the rule of the power source (`onAcRule` 1: mains).
void offerSteps(HMENU menu, bool onAcRule);



