// Registry text values: the program's own decimal values and bounded, terminated reads.
#include "store/regtext.h"

#include "core/decimal.h"

#include <cstring>

bool readRegText(HKEY root, const char *keyPath, const char *value, char *buf, DWORD size) {
    if (size == 0)
        return false;
    buf[0] = '\0';
    HKEY key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD got = size;
    LONG rc = RegQueryValueExA(key, value, nullptr, nullptr, (BYTE *)buf, &got);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || got > size) {
        buf[0] = '\0';
        return false;
    }
    // The text ends at its first zero or at the end of the data; it needs room for the terminator.
    size_t len = strnlen(buf, got);
    if (len >= size) {
        buf[0] = '\0';
        return false;
    }
    buf[len] = '\0';
    return true;
}

bool readProgramText(const char *value, char *buf, DWORD size) {
    return readRegText(HKEY_CURRENT_USER, kProgramKey, value, buf, size);
}

bool setKeyText(HKEY key, const char *value, const char *text) {
    // A value that already holds the text is left alone: a step switch would otherwise rewrite
    // unchanged values. The text is compared, not the stored length: NT stores a terminator after it.
    DWORD len = DWORD(strlen(text)), type = 0;
    char held[MAX_PATH];
    DWORD got = sizeof held;
    if (len < sizeof held && RegQueryValueExA(key, value, nullptr, &type, (BYTE *)held, &got) == ERROR_SUCCESS &&
        type == REG_SZ && got <= sizeof held && strnlen(held, got) == len && memcmp(held, text, len) == 0)
        return true;
    return RegSetValueExA(key, value, 0, REG_SZ, (const BYTE *)text, len) == ERROR_SUCCESS;
}

bool writeRegText(HKEY root, const char *keyPath, const char *value, const char *text) {
    HKEY key;
    if (RegCreateKeyExA(root, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    bool written = setKeyText(key, value, text);
    RegCloseKey(key);
    return written;
}

bool writeProgramText(const char *value, const char *text) {
    return writeRegText(HKEY_CURRENT_USER, kProgramKey, value, text);
}

bool writeProgramNumber(const char *value, unsigned number) {
    char text[16];
    formatDecimal(number, text, sizeof text);
    return writeProgramText(value, text);
}
