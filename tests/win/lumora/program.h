// The built tray program as other programs see it: started in a folder of its own, driven by messages.
#pragma once
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Messages and commands the program takes from outside.
constexpr UINT kTrayCallback = 32868;
constexpr WPARAM kCmdStepCycle = 92, kCmdExit = 105, kCmdAutoStartUp = 33076, kCmdAutoPerformance = 33077;
constexpr WPARAM kCmdStandByNow = 33071, kCmdHibernateNow = 33072, kCmdShutDownNow = 33075,
                 kCmdConfiguration = 33074;
constexpr WPARAM stepCommand(unsigned step) {
    return 32968 + step;
}

// Folders of the built programs (with a trailing backslash).
std::string simProgramDir();
std::string realProgramDir();
std::string failingFirmwareDir();

// A fresh folder in the temporary folder holding a copy of a built Lumora.exe and the shipped defaults;
// removed again with everything in it.
class ProgramFolder {
  public:
    // `withStepFiles` also lays out CFGn.BLC as an earlier run leaves them, so no first-run notice comes up.
    explicit ProgramFolder(const std::string &from = simProgramDir(), bool withStepFiles = true);
    ~ProgramFolder();
    ProgramFolder(const ProgramFolder &) = delete;
    ProgramFolder &operator=(const ProgramFolder &) = delete;

    const std::string &path() const { return path_; }
    std::string exe() const { return path_ + "Lumora.exe"; }
    // Copies `source` into the folder under `name`.
    bool copyIn(const std::string &source, const char *name);

  private:
    std::string path_;
};

// One started copy of the program; a copy still running when this goes is closed, or terminated.
class Program {
  public:
    Program() = default;
    ~Program() { kill(); }
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    // Starts `exe` with the argument tail `arguments`, its folder as the working folder.
    bool start(const std::string &exe, const char *arguments = "");
    // Waits until the program has finished starting: its window exists, the step-cycle cancel event
    // (made just before the message loop) exists, and the window answers a sent message.
    bool waitReady(DWORD timeoutMs = 20000);
    // Waits only for the window (start-up may still be under way, a box of it open).
    bool waitWindow(DWORD timeoutMs = 20000);
    // Waits for the process to end; its exit code in `code`.
    bool waitExit(DWORD timeoutMs, DWORD *code);
    bool running() const;
    void kill();

    HWND window() const { return window_; }
    DWORD pid() const { return pid_; }
    HANDLE process() const { return process_; }

    void post(UINT message, WPARAM wParam, LPARAM lParam = 0) const;
    void command(WPARAM wParam) const { post(WM_COMMAND, wParam, 0); }
    void powerEvent(WPARAM event) const { post(WM_POWERBROADCAST, event, 0); }
    // Sends a power broadcast as the system does and waits until the program has handled it.
    bool sendPowerEvent(WPARAM event) const;
    // The window answers WM_NULL within the time.
    bool answers(DWORD timeoutMs = 5000) const;

  private:
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    HWND window_ = nullptr;
};

// The stand-in for the maker's on-screen display, started from the simulated notebook's folder.
class OsdStandIn {
  public:
    ~OsdStandIn() { stop(); }
    // `old` gives the older window form (class and title "VKTOSD"); true once its window is up.
    bool start(bool old = false);
    void stop();

  private:
    PROCESS_INFORMATION pi_ = {};
    bool old_ = false;
};

// The window of the program process `pid` found by class "LUMORA" and title "Lumora", or null.
HWND findProgramWindow(DWORD pid);

// Event log helpers, all relative to a position (a count of lines) taken earlier.
size_t logSize();
std::vector<std::string> logLinesFrom(size_t from);
size_t countFrom(size_t from, const std::string &line);
size_t countPrefixFrom(size_t from, const std::string &prefix);

// The first visible top-level window of process `pid` with class `windowClass` (and title `title`,
// when given), or null.
HWND findProcessWindow(DWORD pid, const char *windowClass, const char *title = nullptr);
// Index of the first line equal to `line` at or after `from`, or -1.
long findLine(size_t from, const std::string &line);
// Waits until a line equal to `line` appears at or after `from`.
bool waitLineFrom(size_t from, const std::string &line, DWORD timeoutMs = 15000);
// Waits until no new line has come for `quietMs`; false when the log is still moving after `timeoutMs`.
bool waitLogQuiet(DWORD quietMs, DWORD timeoutMs = 30000);

// Watches the event log from a thread and notes when each line first showed up (GetTickCount).
class LogClock {
  public:
    LogClock();
    ~LogClock();
    struct Entry {
        std::string line;
        DWORD tick;
    };
    std::vector<Entry> entries();
    // Tick of the first line equal to `line` at or after entry `from`; false when none yet.
    bool tickOf(const std::string &line, DWORD *tick, size_t from = 0);

  private:
    void run();
    std::mutex mutex_;
    std::vector<Entry> entries_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Polls `condition` every 20 ms until it holds or the time is up.
template <typename F> bool waitUntil(F condition, DWORD timeoutMs = 15000) {
    DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
}

// The program's scheme and the user's scheme as the registry shows them.
std::string activeSchemeText();
