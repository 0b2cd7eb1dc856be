// The hidden main window: commands of the tray menu and of outside programs, and power events.
#pragma once
#include <windows.h>

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Turns the machine off.
void ShutDownNow();

// Grays or enables the step items by the rule of the power source (`onAcRule` 1: mains).
void offerSteps(HMENU menu, bool onAcRule);



