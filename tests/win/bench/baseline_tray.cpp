// The least a tray program does (a window, common controls, one tray icon, a message loop): the
// benchmark's yardstick for the tray program's own figures.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

namespace {

const char kClassName[] = "KelvaneBaseline";
constexpr UINT kTrayCallback = WM_APP + 1;

NOTIFYICONDATAA trayIcon(HWND window) {
    NOTIFYICONDATAA nid = {};
    nid.cbSize = sizeof nid;
    nid.hWnd = window;
    nid.uID = 1;
    return nid;
}

void addTrayIcon(HWND window) {
    NOTIFYICONDATAA nid = trayIcon(window);
    nid.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
    nid.uCallbackMessage = kTrayCallback;
    nid.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    lstrcpynA(nid.szTip, "Baseline", sizeof nid.szTip);
    Shell_NotifyIconA(NIM_ADD, &nid);
}

void removeTrayIcon(HWND window) {
    NOTIFYICONDATAA nid = trayIcon(window);
    Shell_NotifyIconA(NIM_DELETE, &nid);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        removeTrayIcon(window);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    if (!RegisterClassExA(&wc))
        return 1;
    HWND window = CreateWindowExA(0, kClassName, "Baseline", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                                  nullptr, instance, nullptr);
    if (!window)
        return 1;
    addTrayIcon(window);

    MSG msg;
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return got < 0 ? 1 : int(msg.wParam);
}
