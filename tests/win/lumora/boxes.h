// Message boxes of the program read from outside: the text from the box, the icon from the screen.
// (Another process's icon handle cannot be examined here; its picture can.)
#pragma once
#include <windows.h>

#include <string>

struct ShownBox {
    std::string text;
    UINT icon = 0; // MB_ICONERROR, MB_ICONWARNING, MB_ICONQUESTION, MB_ICONINFORMATION, or 0
};

// The visible box titled "Kelvane" of process `pid`, or null.
HWND findKelvaneBox(DWORD pid);

// Waits for a box of process `pid`, reads its text and icon, and presses OK; false when none came.
bool answerKelvaneBox(DWORD pid, ShownBox *shown, DWORD timeoutMs = 20000);
