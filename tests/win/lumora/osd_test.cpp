// Telling the on-screen display: neither, one or both of its window forms present.
#include "lumorafixture.h"

#include <memory>

namespace {

// Windows of the display's two forms, owned by a thread of this test, each with the child control 108
// and a record of the step messages it gets.
class DisplayWindows {
  public:
    struct Received {
        WPARAM wParam;
        LPARAM lParam;
    };

    DisplayWindows() {
        thread_ = std::thread([this] { run(); });
        WaitForSingleObject(ready_, 30000);
    }
    ~DisplayWindows() {
        PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
        thread_.join();
        CloseHandle(ready_);
    }
    // Opens a window of `cls` titled `title`; its index.
    size_t open(const char *cls, const char *title) {
        windows_.push_back(std::make_unique<Window>());
        windows_.back()->cls = cls;
        windows_.back()->title = title;
        ResetEvent(ready_);
        PostThreadMessageA(threadId_, kOpen, 0, reinterpret_cast<LPARAM>(windows_.back().get()));
        WaitForSingleObject(ready_, 30000);
        return windows_.size() - 1;
    }
    std::vector<Received> received(size_t index) {
        std::lock_guard<std::mutex> lock(mutex_);
        return windows_[index]->received;
    }
    HWND child(size_t index) const { return windows_[index]->child; }

  private:
    static constexpr UINT kOpen = WM_APP + 7;
    struct Window {
        std::string cls, title;
        HWND hwnd = nullptr, child = nullptr;
        std::vector<Received> received;
        DisplayWindows *owner = nullptr;
    };

    static LRESULT CALLBACK proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_COMMAND && LOWORD(wParam) == 108) {
            auto *w = reinterpret_cast<Window *>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
            if (w) {
                std::lock_guard<std::mutex> lock(w->owner->mutex_);
                w->received.push_back({wParam, lParam});
            }
            return 0;
        }
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }

    void run() {
        threadId_ = GetCurrentThreadId();
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); // the thread's queue exists from here
        SetEvent(ready_);
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            if (!msg.hwnd && msg.message == kOpen) {
                auto *w = reinterpret_cast<Window *>(msg.lParam);
                WNDCLASSA wc = {};
                wc.lpfnWndProc = proc;
                wc.hInstance = GetModuleHandleA(nullptr);
                wc.lpszClassName = w->cls.c_str();
                RegisterClassA(&wc);
                w->owner = this;
                w->hwnd = CreateWindowA(w->cls.c_str(), w->title.c_str(), WS_POPUP, 0, 0, 10, 10, nullptr,
                                        nullptr, wc.hInstance, nullptr);
                SetWindowLongPtrA(w->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w));
                w->child = CreateWindowA("STATIC", "", WS_CHILD, 0, 0, 1, 1, w->hwnd, (HMENU)108,
                                         wc.hInstance, nullptr);
                SetEvent(ready_);
                continue;
            }
            DispatchMessageA(&msg);
        }
        for (auto &w : windows_)
            DestroyWindow(w->hwnd);
    }

    HANDLE ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD threadId_ = 0;
    std::mutex mutex_;
    std::vector<std::unique_ptr<Window>> windows_;
    std::thread thread_;
};

} // namespace

using DisplayNotice = LumoraTest;

TEST_F(DisplayNotice, WithoutDisplayTheStepStillChanges) {
    startProgram();
    size_t from = logSize();
    program.command(stepCommand(3));
    EXPECT_TRUE(waitLineFrom(from, "SPGS 3"));
    EXPECT_TRUE(program.answers());
    EXPECT_TRUE(waitUntil([] { return programValue("CurrentStep") == "3"; }));
}

TEST_F(DisplayNotice, NewFormAloneGetsEveryStep) {
    DisplayWindows display;
    size_t newForm = display.open("CNewOsd", "VKTOSD2");
    startProgram();
    program.command(stepCommand(6));
    ASSERT_TRUE(waitUntil([&] { return display.received(newForm).size() >= 2; }));
    std::vector<DisplayWindows::Received> got = display.received(newForm);
    EXPECT_EQ(got[0].wParam, WPARAM((2 << 16) | 108)) << "the first step at start-up";
    EXPECT_EQ(got[1].wParam, WPARAM((6 << 16) | 108));
    EXPECT_EQ(got[1].lParam, LPARAM(display.child(newForm))) << "the child control 108 goes along";
}

TEST_F(DisplayNotice, OldFormAloneGetsEveryStep) {
    ASSERT_TRUE(osd.start(true));
    startProgram();
    EXPECT_TRUE(waitLineFrom(0, "OSD 2"));
    size_t from = logSize();
    program.command(stepCommand(5));
    EXPECT_TRUE(waitLineFrom(from, "OSD 5"));
}

TEST_F(DisplayNotice, WithBothFormsOnlyTheNewOneIsTold) {
    DisplayWindows display;
    size_t oldForm = display.open("VKTOSD", "VKTOSD");
    size_t newForm = display.open("CNewOsd", "VKTOSD2");
    startProgram();
    program.command(stepCommand(3));
    ASSERT_TRUE(waitUntil([&] { return display.received(newForm).size() >= 2; }));
    Sleep(2500);
    EXPECT_EQ(display.received(newForm).size(), 2u);
    EXPECT_EQ(display.received(oldForm).size(), 0u);
}
