// Stand-ins for programs the setup meets. Without arguments, a tool of Windows' own: appends its
// command line to the file KELVANE_STANDIN_LOG names and ends with the code KELVANE_STANDIN_EXIT gives.
// With "tray": a tray program slow to end, whose window, asked to close, sets "KelvaneStandInClosing"
// and goes once "KelvaneStandInGo" is set.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

static LRESULT CALLBACK trayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        SetEvent(OpenEventA(EVENT_MODIFY_STATE, FALSE, "KelvaneStandInClosing"));
        WaitForSingleObject(OpenEventA(SYNCHRONIZE, FALSE, "KelvaneStandInGo"), 60000);
        ExitProcess(0);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int main(int argc, char **argv) {
    if (argc > 1 && lstrcmpA(argv[1], "tray") == 0) {
        WNDCLASSA wc = {0, trayProc, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, "LUMORA"};
        RegisterClassA(&wc);
        CreateWindowExA(0, "LUMORA", "Lumora", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                        nullptr);
        for (MSG msg; GetMessageA(&msg, nullptr, 0, 0) > 0;)
            DispatchMessageA(&msg);
        return 0;
    }
    if (FILE *log = fopen(getenv("KELVANE_STANDIN_LOG"), "a"))
        fprintf(log, "%s\n", GetCommandLineA()), fclose(log);
    return atoi(getenv("KELVANE_STANDIN_EXIT"));
}
