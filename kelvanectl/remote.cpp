// The tray program's main window as other programs reach it.
#include "kelvanectl/remote.h"

#include "core/control.h"

HWND findProgramWindow() {
    return FindWindowA(kProgramWindowClass, kProgramWindowTitle);
}

bool postProgramCommand(HWND window, unsigned command) {
    return PostMessageA(window, WM_COMMAND, command, 0) != 0;
}

// Waits on the process itself: the window goes before the program has finished its exit work.
bool waitProgramEnd(HWND window, DWORD timeoutMs) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = pid ? OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr;
    if (!process)
        return !IsWindow(window);
    bool ended = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}
