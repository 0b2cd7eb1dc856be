// Arranging the simulated notebook, the registry and the program folder for a test, and reading back
// the event log, the registry and the files.
#include "harness/notebook.h"

#include "machine/powercfg_keys.h"
#include "machine/powerguids.h"
#include "sim/simstate.h"

#include <shlwapi.h>

#include <cstdio>
#include <cstring>

std::string testFolder() {
    char path[MAX_PATH * 4];
    DWORD len = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string p(path, len);
    return p.substr(0, p.rfind('\\') + 1);
}

static std::string logPath() { return testFolder() + "events.log"; }

void deleteRegTree(HKEY root, const char *key) { SHDeleteKeyA(root, key); }

bool regKeyExists(HKEY root, const char *path) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void resetNotebook() {
    deleteRegTree(HKEY_CURRENT_USER, kSimKey);
    deleteRegTree(HKEY_CURRENT_USER, "Software\\KELVANE");
    deleteRegTree(HKEY_CURRENT_USER, kPowerCfgUserKey);
    deleteRegTree(HKEY_LOCAL_MACHINE, kPowerCfgMachineKey);
    deleteRegTree(HKEY_LOCAL_MACHINE, "Software\\VKT0100");
    std::string folder = testFolder();
    for (unsigned step = 0; step <= 15; ++step)
        for (const char *ext : {"BLC", "BL~"}) {
            char name[32];
            snprintf(name, sizeof name, "CFG%x.%s", step, ext);
            DeleteFileA((folder + name).c_str());
        }
    DeleteFileA((folder + "Lumora.ini").c_str());
    clearLog();
    setSimText("Log", logPath().c_str());
}

std::vector<std::string> logLines() {
    std::vector<std::string> lines;
    std::vector<uint8_t> bytes = fileBytes(logPath());
    std::string current;
    for (uint8_t b : bytes) {
        if (b == '\n') {
            lines.push_back(current);
            current.clear();
        } else if (b != '\r') {
            current += char(b);
        }
    }
    return lines;
}

void clearLog() { DeleteFileA(logPath().c_str()); }

bool logContains(const std::string &line) {
    for (const std::string &l : logLines())
        if (l == line)
            return true;
    return false;
}

bool waitForLogLine(const std::string &line, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    do {
        if (logContains(line))
            return true;
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

std::string regText(HKEY root, const char *path, const char *value) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "<missing>";
    char buf[1024] = {};
    DWORD size = sizeof buf - 1;
    LONG rc = RegQueryValueExA(key, value, nullptr, nullptr, (BYTE *)buf, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return "<missing>";
    return std::string(buf, strnlen(buf, size));
}

long inForce(const GUID &subgroup, const GUID &setting, bool ac) {
    char group[kGuidTextSize], name[kGuidTextSize], key[160];
    formatGuid(subgroup, group), formatGuid(setting, name);
    snprintf(key, sizeof key, "%s\\InForce\\%s\\%s", kSimKey, group, name);
    std::string bytes = regBytes(HKEY_CURRENT_USER, key, ac ? "ACSettingIndex" : "DCSettingIndex");
    return bytes.size() == sizeof(DWORD) ? long(*reinterpret_cast<const DWORD *>(bytes.data())) : -1;
}

std::string regBytes(HKEY root, const char *path, const char *value) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "<missing>";
    char buf[1024];
    DWORD size = sizeof buf;
    LONG rc = RegQueryValueExA(key, value, nullptr, nullptr, (BYTE *)buf, &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? std::string(buf, size) : "<missing>";
}

void setRegBytes(HKEY root, const char *path, const char *value, DWORD type, const std::string &bytes) {
    HKEY key;
    if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    // NT counts a zero that follows a text value's data into it: a byte that is not zero after the
    // data keeps the length as given. The 9x family stores text up to its first zero, terminated.
    bool nineFamily = (GetVersion() & 0x80000000) != 0;
    std::string data = bytes + (nineFamily ? '\0' : 'X');
    RegSetValueExA(key, value, 0, type, (const BYTE *)data.data(), DWORD(bytes.size()));
    RegCloseKey(key);
}

void setRegText(HKEY root, const char *path, const char *value, const std::string &text) {
    setRegBytes(root, path, value, REG_SZ, text);
}

void setRegTextTerminated(HKEY root, const char *path, const char *value, const std::string &text) {
    setRegBytes(root, path, value, REG_SZ, std::string(text.data(), text.size() + 1));
}

void setRegDword(HKEY root, const char *path, const char *value, DWORD data) {
    HKEY key;
    if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, value, 0, REG_DWORD, (const BYTE *)&data, sizeof data);
    RegCloseKey(key);
}

std::vector<uint8_t> fileBytes(const std::string &path) {
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    uint8_t chunk[4096];
    DWORD got;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got)
        bytes.insert(bytes.end(), chunk, chunk + got);
    CloseHandle(file);
    return bytes;
}

bool fileExists(const std::string &path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void writeFile(const std::string &path, const std::vector<uint8_t> &bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
}
