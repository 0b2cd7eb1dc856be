// State and event log of the simulated notebook, kept in the registry so every process shares it.
#include "sim/simstate.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

// The state key stays open for the process: each value is still read afresh at every call, and
// that saves two server round trips of the three a read costs (a step switch makes about thirty).
// A key deleted from outside (a test laying the notebook anew) is opened again; the old handle is
// kept, never closed, so a thread still reading through it cannot meet a reused handle.
static HKEY stateKey;

static LONG readState(const char *name, DWORD *type, BYTE *data, DWORD *size) {
    DWORD capacity = *size;
    for (int attempt = 0; attempt < 2; ++attempt) {
        HKEY key = HKEY(InterlockedCompareExchangePointer((void **)&stateKey, nullptr, nullptr));
        if (!key) {
            if (RegOpenKeyExA(HKEY_CURRENT_USER, kSimKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
                return ERROR_FILE_NOT_FOUND;
            HKEY prior = HKEY(InterlockedCompareExchangePointer((void **)&stateKey, key, nullptr));
            if (prior) {
                RegCloseKey(key);
                key = prior;
            }
        }
        *size = capacity;
        LONG rc = RegQueryValueExA(key, name, nullptr, type, data, size);
        if (rc != ERROR_KEY_DELETED)
            return rc;
        InterlockedCompareExchangePointer((void **)&stateKey, nullptr, key);
    }
    return ERROR_KEY_DELETED;
}

DWORD simValue(const char *name, DWORD fallback) {
    DWORD value = 0, size = sizeof value, type = 0;
    LONG rc = readState(name, &type, (BYTE *)&value, &size);
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
    DWORD type = 0, got = size;
    LONG rc = readState(name, &type, (BYTE *)buf, &got);
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

void simList(const char *name, char *buf, DWORD size) {
    DWORD type = 0, got = size - 2;
    if (readState(name, &type, (BYTE *)buf, &got) != ERROR_SUCCESS || type != REG_MULTI_SZ || got > size - 2)
        got = 0;
    buf[got] = buf[got + 1] = '\0';
}

bool simListHolds(const char *name, const char *item) {
    char list[1024];
    simList(name, list, sizeof list);
    for (const char *p = list; *p; p += strlen(p) + 1)
        if (lstrcmpiA(p, item) == 0)
            return true;
    return false;
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
    // Other processes (the on-screen display, the display tool) append to the same log. The line is in
    // the file for every reader once WriteFile returns; it is not forced to the disk as well, which cost
    // half a millisecond per line under Wine and would weigh on every measured step switch.
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written;
    WriteFile(file, line, DWORD(len), &written, nullptr);
    CloseHandle(file);
}
