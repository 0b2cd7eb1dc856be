// A hidden main window like the tray program's (class menu 109), with the program state set up for it.
#include "testwindow.h"

#include "harness/notebook.h"
#include "resources/resource.h"
#include "state/appstate.h"
#include "tray/tray.h"

namespace {

std::vector<std::string> seenMessages;

LRESULT CALLBACK recordingWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND)
        seenMessages.push_back("WM_COMMAND " + std::to_string(wParam));
    else if (message == WM_USER)
        seenMessages.push_back("WM_USER");
    return DefWindowProcA(window, message, wParam, lParam);
}

const char kClassName[] = "KelvaneTrayTest";

} // namespace

void TrayWindowTest::SetUp() {
    resetNotebook();
    resetAppState();
    app.instance = GetModuleHandleA(nullptr);
    lstrcpynA(app.iniPath, (testFolder() + "Lumora.ini").c_str(), sizeof app.iniPath);
    seenMessages.clear();

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = recordingWndProc;
    windowClass.hInstance = app.instance;
    windowClass.hIcon = LoadIconA(app.instance, MAKEINTRESOURCEA(IDI_STEP1));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    windowClass.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDC_LUMORA);
    windowClass.lpszClassName = kClassName;
    RegisterClassExA(&windowClass); // already registered by an earlier test: fine
    window = CreateWindowExA(0, kClassName, "Lumora", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr,
                             app.instance, nullptr);
    ASSERT_NE(window, nullptr);
    app.mainWindow = window;
}

void TrayWindowTest::TearDown() {
    if (window) {
        RemoveTrayIcon(window);
        DestroyWindow(window);
    }
}

void TrayWindowTest::nameStep(unsigned step, const std::string &name) {
    std::string key = "Step " + std::to_string(step);
    ASSERT_TRUE(WritePrivateProfileStringA("Common", key.c_str(), name.c_str(), app.iniPath));
}

std::vector<std::string> TrayWindowTest::received() {
    MSG message;
    while (PeekMessageA(&message, window, 0, 0, PM_REMOVE))
        DispatchMessageA(&message);
    return seenMessages;
}
