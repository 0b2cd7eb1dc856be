// GUIDs in registry form, as the power settings of Windows Vista and later name them.
#include "machine/powerguids.h"

#include <cstdio>

void formatGuid(const GUID &g, char (&out)[kGuidTextSize]) {
    snprintf(out, sizeof out, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", (unsigned long)g.Data1,
             unsigned(g.Data2), unsigned(g.Data3), g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
             g.Data4[5], g.Data4[6], g.Data4[7]);
}

static int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool parseGuid(const char *text, GUID *guid) {
    // Hex digits of the 16 bytes in text order; dashes at fixed places, braces around.
    static const char kShape[] = "{........-....-....-....-............}";
    unsigned char bytes[16];
    int nibbles = 0;
    for (int i = 0; kShape[i]; ++i) {
        char c = text[i];
        if (kShape[i] != '.') {
            if (c != kShape[i])
                return false;
            continue;
        }
        int d = hexDigit(c);
        if (d < 0)
            return false;
        if (nibbles % 2 == 0)
            bytes[nibbles / 2] = (unsigned char)(d << 4);
        else
            bytes[nibbles / 2] = (unsigned char)(bytes[nibbles / 2] | d);
        ++nibbles;
    }
    if (text[sizeof kShape - 1] != '\0')
        return false;
    guid->Data1 = (DWORD(bytes[0]) << 24) | (DWORD(bytes[1]) << 16) | (DWORD(bytes[2]) << 8) | bytes[3];
    guid->Data2 = WORD((bytes[4] << 8) | bytes[5]);
    guid->Data3 = WORD((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i)
        guid->Data4[i] = bytes[8 + i];
    return true;
}
