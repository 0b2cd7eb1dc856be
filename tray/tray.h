// The tray icon, the tray menu in the hidden window's menu bar, and the About box.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include "resources/resource.h"

// Tray icon of each step, by step - 1.
constexpr unsigned kStepIcons[8] = {IDI_STEP1, IDI_STEP2, IDI_STEP3, IDI_STEP4,
                                    IDI_STEP5, IDI_STEP6, IDI_STEP7, IDI_STEP8};

// NIM_ADD, NIM_MODIFY or NIM_DELETE on the window's icon `identifier`; icon and tooltip may be null.
// The icon is destroyed afterwards. Returns what Shell_NotifyIconA returned.
BOOL NotifyTray(HWND window, DWORD message, UINT identifier, HICON icon, const char *tooltip);
// Shows icon resource `iconNumber` (16 x 16) with the tooltip.
BOOL SetTrayIcon(HWND window, unsigned iconNumber, const char *tooltip, DWORD message);
BOOL RemoveTrayIcon(HWND window);
// RemoveTrayIcon at exit, waiting for the shell at most `timeoutMs` (sent messages are still taken);
// past that the removal goes on without the program, which then ends.
void RemoveTrayIconWithin(HWND window, DWORD timeoutMs);

// Fills the first-version tray record as NotifyTray hands it to the shell.
void FillTrayRecord(NOTIFYICONDATAA &record, HWND window, UINT identifier, HICON icon, const char *tooltip);

// Builds the tray menu from the step names and inserts it as popup 0 of the window's menu bar;
// 0 when the window has no menu bar.
int BuildTrayMenu(HWND window);
// Shows popup `popupIndex` of the window's menu bar at screen point x, y; commands go to the window.
void ShowTrayMenu(HWND window, int x, int y, int popupIndex);

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
