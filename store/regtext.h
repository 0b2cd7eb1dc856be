// Registry text values: the program's own decimal values and bounded, terminated reads.
#pragma once
#include <windows.h>

// HKEY_CURRENT_USER key of the program's own values.
constexpr const char *kProgramKey = "Software\\KELVANE";

// Reads a text value into buf of `size` bytes, always terminated inside it. Values are stored without
// a terminating zero, so a value that leaves no room for one does not fit and counts as missing.
bool readRegText(HKEY root, const char *keyPath, const char *value, char *buf, DWORD size);

// Writes text as REG_SZ with its length and no terminator into an open key (KEY_QUERY_VALUE and
// KEY_SET_VALUE), unless the value holds that text already; false on failure.
bool setKeyText(HKEY key, const char *value, const char *text);

// The same, creating the key; false on failure.
bool writeRegText(HKEY root, const char *keyPath, const char *value, const char *text);

// The program's own values under "Software\KELVANE".
bool readProgramText(const char *value, char *buf, DWORD size);
bool writeProgramText(const char *value, const char *text);
bool writeProgramNumber(const char *value, unsigned number);
