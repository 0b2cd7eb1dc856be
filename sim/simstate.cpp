// State and event log of the simulated notebook, kept in the registry so every process shares it.
#include "sim/simstate.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

DWORD simValue(const char *name, DWORD fallback) {
    DWORD value = 0, size = sizeof value, type = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSimKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return fallback;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, (BYTE *)&value, &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value ? value : fallback;
}

void setSimValue(const char *name, DWORD value) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSimKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof value);
    RegCloseKey(key);
}

bool simText(const char *name, char *buf, DWORD size) {
    buf[0] = '\0';
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSimKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD type = 0, got = size;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, (BYTE *)buf, &got);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_MULTI_SZ) || got > size) {
        buf[0] = '\0';
        return false;
    }
    if (got == size && (got == 0 || buf[got - 1] != '\0')) {
        buf[0] = '\0';
        return false;
    }
    buf[got < size ? got : size - 1] = '\0';
    return true;
}

void setSimText(const char *name, const char *text) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSimKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, DWORD(strlen(text) + 1));
    RegCloseKey(key);
}

void simLog(const char *format, ...) {
    char path[MAX_PATH];
    if (!simText("Log", path, sizeof path) || !path[0])
        return;
    char line[512];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (n < 0)
        return;
    size_t len = size_t(n) < sizeof line - 1 ? size_t(n) : sizeof line - 2;
    line[len++] = '\n';
    // Other processes (the on-screen display, the display tool) append to the same log.
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, line, DWORD(len), &written, nullptr);
    FlushFileBuffers(file);
    CloseHandle(file);
}
