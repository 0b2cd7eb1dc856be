// Fast user switching from Vista on: the session's step comes back when the session is in front again.
#pragma once
#include <windows.h>

// Asks for the session's changes (WM_WTSSESSION_CHANGE).
void watchSessions(HWND window);

// A session change: this session in front again while another session's program runs gets its step
// in force again, quietly.
void sessionChanged(HWND window, WPARAM change, LPARAM session);
