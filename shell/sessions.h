// Fast user switching from Vista on: the session's step comes back when the session is in front again.
#pragma once
#include <windows.h>

// Asks for the session's changes (WM_WTSSESSION_CHANGE).
void watchSessions(HWND window);

// Before the window is destroyed: no more session changes, and no registration left pending.
void unwatchSessions(HWND window);

// A step command while another session is in front of the notebook with its program: the step is
// recorded (registry values) and true returned; the caller then applies nothing. False otherwise.
bool heldInBackground(DWORD step);

// A session change: this session in front again while another session's program runs gets its step
// in force again, quietly.
void sessionChanged(HWND window, WPARAM change, LPARAM session);
