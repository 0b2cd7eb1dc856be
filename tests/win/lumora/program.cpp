// Starting the built tray program in a folder of its own, finding its window and reading the event log.
#include "program.h"

#include "harness/notebook.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

namespace {

std::string windowsPath(const char *path) {
    std::string p(path);
    for (char &c : p)
        if (c == '/')
            c = '\\';
    return p;
}

// Each folder of one test run gets its own number.
std::atomic<unsigned> folderCounter{0};

void removeFolder(const std::string &folder) {
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string full = folder + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeFolder(full + "\\");
            } else {
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(full.c_str());
            }
        } while (FindNextFileA(find, &data));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

} // namespace

std::string simProgramDir() {
    return windowsPath(KELVANE_SIM_PROGRAM_DIR);
}
std::string realProgramDir() {
    return windowsPath(KELVANE_REAL_PROGRAM_DIR);
}
std::string failingFirmwareDir() {
    return windowsPath(KELVANE_FAILING_FIRMWARE_DIR);
}

ProgramFolder::ProgramFolder(const std::string &from, bool withStepFiles) {
    char temp[MAX_PATH] = {}, longTemp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    // The program builds its paths from its own long path; so do the tests.
    if (!GetLongPathNameA(temp, longTemp, sizeof longTemp))
        lstrcpynA(longTemp, temp, sizeof longTemp);
    char name[64];
    snprintf(name, sizeof name, "kelvane-e2e-%lu-%u\\", GetCurrentProcessId(), ++folderCounter);
    path_ = std::string(longTemp) + name;
    removeFolder(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
    copyIn(from + "Lumora.exe", "Lumora.exe");
    for (unsigned step = 1; step <= 8; ++step) {
        std::string def = "CFG" + std::to_string(step) + ".DEF";
        copyIn(from + def, def.c_str());
        if (withStepFiles) {
            std::string blc = "CFG" + std::to_string(step) + ".BLC";
            copyIn(from + def, blc.c_str());
        }
    }
}

// The display-mode tool's stand-in, started by a program that was killed at that moment, can hang in
// Wine's process start-up; left running it would keep the test run (and the folder) from ending.
static void endDisplayToolStandIns() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, "VidmoCFG.EXE") != 0)
            continue;
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
        if (process) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
    CloseHandle(snapshot);
}

ProgramFolder::~ProgramFolder() {
    endDisplayToolStandIns();
    removeFolder(path_);
}

bool ProgramFolder::copyIn(const std::string &source, const char *name) {
    return CopyFileA(source.c_str(), (path_ + name).c_str(), FALSE) != 0;
}

HWND findProgramWindow(DWORD pid) {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, "LUMORA", "Lumora"))) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == pid)
            return window;
    }
    return nullptr;
}

bool Program::start(const std::string &exe, const char *arguments) {
    kill();
    std::string cmd = "\"" + exe + "\"";
    if (arguments && *arguments)
        cmd += std::string(" ") + arguments;
    std::string folder = exe.substr(0, exe.rfind('\\') + 1);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                        &pi))
        return false;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    return true;
}

bool Program::waitReady(DWORD timeoutMs) {
    return waitUntil(
               [&] {
                   if (!running())
                       return true; // ends the wait; the checks below fail
                   if (!window_)
                       window_ = findProgramWindow(pid_);
                   if (!window_)
                       return false;
                   HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, "VOSK_KLVXP_MUTEX");
                   if (!event)
                       return false;
                   CloseHandle(event);
                   return answers(1000);
               },
               timeoutMs) &&
           running() && window_;
}

bool Program::waitWindow(DWORD timeoutMs) {
    return waitUntil([&] { return (window_ = findProgramWindow(pid_)) != nullptr || !running(); }, timeoutMs) &&
           window_;
}

bool Program::waitExit(DWORD timeoutMs, DWORD *code) {
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0)
        return false;
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(process_, &exitCode);
    if (code)
        *code = exitCode;
    return true;
}

bool Program::running() const {
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

void Program::kill() {
    if (!process_)
        return;
    // A program still running is asked to end as Exit would end it (so it leaves no icon and no scheme
    // behind for the next test), and terminated when it does not.
    if (running() && window_) {
        PostMessageA(window_, WM_CLOSE, 0, 0);
        WaitForSingleObject(process_, 5000);
    }
    if (running()) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 10000);
    }
    CloseHandle(process_);
    process_ = nullptr;
    pid_ = 0;
    window_ = nullptr;
}

void Program::post(UINT message, WPARAM wParam, LPARAM lParam) const {
    PostMessageA(window_, message, wParam, lParam);
}

bool Program::answers(DWORD timeoutMs) const {
    DWORD_PTR result = 0;
    return window_ &&
           SendMessageTimeoutA(window_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, timeoutMs, &result);
}

bool Program::sendPowerEvent(WPARAM event) const {
    DWORD_PTR result = 0;
    return window_ && SendMessageTimeoutA(window_, WM_POWERBROADCAST, event, 0, SMTO_BLOCK, 15000, &result);
}

bool OsdStandIn::start(bool old) {
    stop();
    old_ = old;
    std::string exe = simProgramDir() + "OsdStandIn.exe";
    std::string cmd = "\"" + exe + "\"" + (old ? " old" : "");
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (!CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_))
        return false;
    CloseHandle(pi_.hThread);
    pi_.hThread = nullptr;
    const char *name = old ? "VKTOSD" : "CNewOsd";
    const char *title = old ? "VKTOSD" : "VKTOSD2";
    return waitUntil([&] { return FindWindowA(name, title) != nullptr; }, 20000);
}

void OsdStandIn::stop() {
    if (!pi_.hProcess)
        return;
    TerminateProcess(pi_.hProcess, 0);
    WaitForSingleObject(pi_.hProcess, 10000);
    CloseHandle(pi_.hProcess);
    pi_ = {};
    // The window must be gone before the next lookup by the program.
    const char *name = old_ ? "VKTOSD" : "CNewOsd";
    waitUntil([&] { return FindWindowA(name, nullptr) == nullptr; }, 10000);
}

size_t logSize() {
    return logLines().size();
}

std::vector<std::string> logLinesFrom(size_t from) {
    std::vector<std::string> lines = logLines();
    if (from >= lines.size())
        return {};
    return std::vector<std::string>(lines.begin() + long(from), lines.end());
}

size_t countFrom(size_t from, const std::string &line) {
    size_t n = 0;
    for (const std::string &l : logLinesFrom(from))
        n += l == line;
    return n;
}

size_t countPrefixFrom(size_t from, const std::string &prefix) {
    size_t n = 0;
    for (const std::string &l : logLinesFrom(from))
        n += l.compare(0, prefix.size(), prefix) == 0;
    return n;
}

long findLine(size_t from, const std::string &line) {
    std::vector<std::string> lines = logLines();
    for (size_t i = from; i < lines.size(); ++i)
        if (lines[i] == line)
            return long(i);
    return -1;
}

bool waitLineFrom(size_t from, const std::string &line, DWORD timeoutMs) {
    return waitUntil([&] { return findLine(from, line) >= 0; }, timeoutMs);
}

bool waitLogQuiet(DWORD quietMs, DWORD timeoutMs) {
    size_t size = logSize();
    DWORD since = GetTickCount(), start = since;
    for (;;) {
        Sleep(20);
        size_t now = logSize();
        if (now != size) {
            size = now;
            since = GetTickCount();
        } else if (GetTickCount() - since >= quietMs) {
            return true;
        }
        if (GetTickCount() - start >= timeoutMs)
            return false;
    }
}

LogClock::LogClock() : thread_([this] { run(); }) {}

LogClock::~LogClock() {
    stop_ = true;
    thread_.join();
}

void LogClock::run() {
    while (!stop_) {
        std::vector<std::string> lines = logLines();
        DWORD now = GetTickCount();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (size_t i = entries_.size(); i < lines.size(); ++i)
                entries_.push_back({lines[i], now});
        }
        Sleep(5);
    }
}

std::vector<LogClock::Entry> LogClock::entries() {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
}

bool LogClock::tickOf(const std::string &line, DWORD *tick, size_t from) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (size_t i = from; i < entries_.size(); ++i)
        if (entries_[i].line == line) {
            *tick = entries_[i].tick;
            return true;
        }
    return false;
}

std::string activeSchemeText() {
    return regText(HKEY_CURRENT_USER, "Control Panel\\PowerCfg", "CurrentPowerPolicy");
}

HWND findProcessWindow(DWORD pid, const char *windowClass, const char *title) {
    struct Search {
        DWORD pid;
        const char *windowClass, *title;
        HWND found;
    } search{pid, windowClass, title, nullptr};
    EnumWindows(
        [](HWND window, LPARAM param) CALLBACK -> BOOL {
            auto *s = reinterpret_cast<Search *>(param);
            char cls[64] = {}, text[256] = {};
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->pid && IsWindowVisible(window) && GetClassNameA(window, cls, sizeof cls) &&
                strcmp(cls, s->windowClass) == 0 &&
                (!s->title || (GetWindowTextA(window, text, sizeof text) && strcmp(text, s->title) == 0))) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}
