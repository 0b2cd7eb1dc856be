// The main window procedure in this process: commands whose failure cannot be arranged from outside.
#include "shell/mainwnd.h"
#include "state/appstate.h"
#include "state/commands.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

// An About box that could not be created must not keep the next request from opening one.
TEST(MainWindow, AboutBoxThatFailedToOpenDoesNotBlockTheNext) {
    resetAppState();
    WNDCLASSA wc = {};
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "MainWindowTest";
    RegisterClassA(&wc);
    HWND window = CreateWindowA("MainWindowTest", "", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr, nullptr,
                                wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);

    app.instance = GetModuleHandleA("kernel32.dll"); // holds no About box: the dialog cannot be made
    SendMessageA(window, WM_COMMAND, kCmdAbout, 0);
    EXPECT_EQ(app.aboutOpen, 0u);

    app.instance = GetModuleHandleA(nullptr);
    std::atomic<bool> seen{false};
    std::thread closer([&] {
        for (int i = 0; i < 500 && !seen; ++i) {
            HWND box = FindWindowA("#32770", "About Kelvane");
            if (box && IsWindowVisible(box)) {
                seen = true;
                PostMessageA(box, WM_COMMAND, IDOK, 0);
            }
            Sleep(20);
        }
    });
    SendMessageA(window, WM_COMMAND, kCmdAbout, 0); // returns once the box is closed
    closer.join();
    EXPECT_TRUE(seen) << "the second request opened no About box";
}
