// Running part of a test program again on another Windows platform, or from another folder.
#include "harness/platform.h"

#include "harness/notebook.h"

#include <cstring>
#include <vector>

int runProgram(const std::string &commandLine, DWORD timeoutMs) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return -1;
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        TerminateProcess(pi.hProcess, DWORD(-1));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return int(code);
}

static std::string ownPath() {
    char path[MAX_PATH * 4];
    DWORD len = GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, len);
}

int runCopyAt(const std::string &exePath, const char *filter) {
    if (!CopyFileA(ownPath().c_str(), exePath.c_str(), FALSE))
        return -1;
    int code = runProgram("\"" + exePath + "\" --gtest_filter=" + filter);
    DeleteFileA(exePath.c_str());
    return code;
}

int runOnPlatform(const char *platform, const char *filter) {
    std::string self = ownPath();
    std::string base = self.substr(self.rfind('\\') + 1);
    base = base.substr(0, base.rfind('.'));
    std::string name = base + "_" + platform + ".exe";
    // Wine reports the platform version configured for a program's name.
    HKEY key;
    std::string path = "Software\\Wine\\AppDefaults\\" + name;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        RegSetValueExA(key, "Version", 0, REG_SZ, (const BYTE *)platform, DWORD(strlen(platform) + 1));
        RegCloseKey(key);
    }
    return runCopyAt(testFolder() + name, filter);
}
