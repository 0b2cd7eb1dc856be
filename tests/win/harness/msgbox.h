// Answers message boxes as a person would: finds each box by its caption, records its text and icon,
// and presses the chosen button.
#pragma once
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SeenMessage {
    std::string text;
    UINT icon;    // MB_ICONERROR, MB_ICONWARNING, MB_ICONQUESTION, MB_ICONINFORMATION, or 0
    bool topmost; // the box stays above other windows (Wine 8 does not show MB_TOPMOST this way)
};

class MessageBoxWatcher {
  public:
    // Watches for boxes titled `caption` (of process `processId`, or of any process when 0) and
    // answers each with `button` (IDOK, IDYES, IDNO ...) until destroyed.
    explicit MessageBoxWatcher(const char *caption = "Kelvane", int button = IDOK, DWORD processId = 0);
    ~MessageBoxWatcher();

    std::vector<SeenMessage> seen();
    // Waits until `count` boxes have been answered; false on time-out.
    bool waitFor(size_t count, DWORD timeoutMs = 15000);
    void setButton(int button) { button_ = button; }

  private:
    void run();
    bool answer(HWND box);

    std::string caption_;
    std::atomic<int> button_;
    DWORD processId_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<SeenMessage> seen_;
    std::vector<HWND> answered_;
    std::thread thread_;
};

// The system's message-box icons and the flags that choose them.
struct StandardIcon {
    LPCSTR resource;
    UINT flag;
};
extern const StandardIcon kStandardIcons[4];

// "error", "warning", "question", "information" or "none", for readable assertions.
const char *iconName(UINT icon);
