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
    // Nor a configuration dialog: its tray item is not left grayed.
    HMENU bar = CreateMenu(), tray = CreatePopupMenu();
    AppendMenuA(tray, MF_STRING, kCmdConfiguration, "Configuration ...");
    AppendMenuA(bar, MF_POPUP, UINT_PTR(tray), "");
    SetMenu(window, bar);
    SendMessageA(window, WM_COMMAND, kCmdConfiguration, 0);
    EXPECT_EQ(GetMenuState(tray, kCmdConfiguration, MF_BYCOMMAND) & MF_GRAYED, 0u);

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

// A wake event that cannot be waited on must not make the step-cycle worker spin: it sleeps out the
// pending step, also when a command moved it meanwhile, tells the window once and ends.
TEST(CycleWorker, EndsWhenItsEventCannotBeWaitedOn) {
    resetAppState();
    HWND window = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    app.mainWindow = window;
    app.cycleWakeEvent = HANDLE(ULONG_PTR(0x7770)); // no such handle: every wait fails at once
    scheduleCycleStep();
    ASSERT_NE(app.cycleWorker, nullptr);
    Sleep(500); // into the worker's sleep toward the first deadline
    scheduleCycleStep();
    EXPECT_EQ(WaitForSingleObject(app.cycleWorker, 10000), DWORD(WAIT_OBJECT_0)) << "the worker did not end";
    DWORD code = 0;
    GetExitCodeThread(app.cycleWorker, &code);
    EXPECT_EQ(code, 1u);
    CloseHandle(app.cycleWorker);
    app.cycleWorker = nullptr;
    MSG due;
    EXPECT_TRUE(PeekMessageA(&due, window, kCycleDueMessage, kCycleDueMessage, PM_REMOVE))
        << "the worker did not tell the window";
    EXPECT_FALSE(PeekMessageA(&due, window, kCycleDueMessage, kCycleDueMessage, PM_REMOVE)) << "told twice";
    EXPECT_TRUE(takeDueCycleStep()) << "the step was not due when the worker said so";
    DestroyWindow(window);
    app.mainWindow = nullptr;
}
