// Stand-in for the maker's on-screen display: logs every step it is told ("OSD <step>").
// With the argument "old" it takes the older window form (class and title "VKTOSD").
#include "sim/simstate.h"

#include <cstring>

static LRESULT CALLBACK OsdWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == 108) {
        simLog("OSD %u", unsigned(HIWORD(wParam)));
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    bool old = strstr(commandLine, "old") != nullptr;
    const char *className = old ? "VKTOSD" : "CNewOsd";
    const char *title = old ? "VKTOSD" : "VKTOSD2";
    WNDCLASSA wc = {};
    wc.lpfnWndProc = OsdWndProc;
    wc.hInstance = instance;
    wc.lpszClassName = className;
    if (!RegisterClassA(&wc))
        return 1;
    HWND window = CreateWindowA(className, title, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 1;
    // The program passes this child along with every step.
    CreateWindowA("STATIC", "", WS_CHILD, 0, 0, 1, 1, window, (HMENU)108, instance, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
