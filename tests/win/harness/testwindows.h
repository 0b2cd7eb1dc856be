// Real top-level windows for tests that close them: owned by a thread with its own message loop,
// each counting the WM_CLOSE messages it receives.
#pragma once
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class TestWindows {
  public:
    TestWindows() {
        thread_ = std::thread([this] { run(); });
        WaitForSingleObject(ready_, 30000);
    }
    ~TestWindows() {
        PostMessageA(control_, WM_QUIT, 0, 0);
        thread_.join();
        CloseHandle(ready_);
        CloseHandle(synced_);
    }

    // A top-level window of `windowClass` titled `title`, left hidden (lookups find hidden windows
    // too, and mapping windows on X is slow); returns its index. With `refuseClose` the window
    // counts WM_CLOSE and stays, like a program that will not end.
    size_t open(const char *windowClass, const char *title, bool refuseClose = false) {
        windows_.push_back(std::make_unique<Window>());
        Window &w = *windows_.back();
        w.windowClass = windowClass;
        w.title = title;
        w.refuseClose = refuseClose;
        SendMessageA(control_, kOpen, 0, reinterpret_cast<LPARAM>(&w));
        return windows_.size() - 1;
    }

    // Returns once the thread has handled every message posted to it before the call, so the
    // counts then hold whatever an earlier post delivered.
    bool sync() {
        ResetEvent(synced_);
        PostMessageA(control_, kSync, 0, 0);
        return WaitForSingleObject(synced_, 30000) == WAIT_OBJECT_0;
    }

    int closes(size_t index) const { return windows_[index]->closes; }
    HWND handle(size_t index) const { return windows_[index]->hwnd; }

  private:
    struct Window {
        std::string windowClass, title;
        HWND hwnd = nullptr;
        bool refuseClose = false;
        std::atomic<int> closes{0};
    };
    static constexpr UINT kOpen = WM_APP + 1, kSync = WM_APP + 2;

    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_CLOSE) {
            Window *w = reinterpret_cast<Window *>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
            ++w->closes;
            if (w->refuseClose)
                return 0;
        }
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }

    static LRESULT CALLBACK controlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto *self = reinterpret_cast<TestWindows *>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (message == kOpen) {
            auto *w = reinterpret_cast<Window *>(lParam);
            WNDCLASSA wc = {};
            wc.lpfnWndProc = windowProc;
            wc.hInstance = GetModuleHandleA(nullptr);
            wc.lpszClassName = w->windowClass.c_str();
            RegisterClassA(&wc); // fails harmlessly when the class is already registered
            w->hwnd = CreateWindowExA(0, w->windowClass.c_str(), w->title.c_str(), WS_OVERLAPPEDWINDOW, 0, 0,
                                      200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
            SetWindowLongPtrA(w->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(w));
            return 0;
        }
        if (message == kSync) {
            SetEvent(self->synced_);
            return 0;
        }
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }

    void run() {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = controlProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "KelvaneTestControl";
        RegisterClassA(&wc);
        // Message-only, so that no lookup of top-level windows ever finds it.
        control_ = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   wc.hInstance, nullptr);
        SetWindowLongPtrA(control_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetEvent(ready_);
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0)
            DispatchMessageA(&msg);
        for (auto &w : windows_)
            if (IsWindow(w->hwnd))
                DestroyWindow(w->hwnd);
    }

    HANDLE ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE synced_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HWND control_ = nullptr;
    std::vector<std::unique_ptr<Window>> windows_;
    std::thread thread_;
};
