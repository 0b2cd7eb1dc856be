// The simulated notebook's power schemes by GUID, as Windows Vista and later keep them: one registry
// key per scheme under "Software\KelvaneSim\PowerSchemes", one key per setting below it.
#include "machine/machine.h"
#include "machine/powerguids.h"
#include "sim/simstate.h"

#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace {

constexpr const char *kSchemesKey = "Software\\KelvaneSim\\PowerSchemes";
constexpr size_t kPathSize = 256;

bool ntSix() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    return ::GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 6;
}

void schemePath(char (&out)[kPathSize], const GUID *scheme) {
    char text[kGuidTextSize];
    formatGuid(*scheme, text);
    snprintf(out, sizeof out, "%s\\%s", kSchemesKey, text);
}

void settingPath(char (&out)[kPathSize], const GUID *scheme, const GUID *subgroup, const GUID *setting) {
    char schemeText[kGuidTextSize], subgroupText[kGuidTextSize], settingText[kGuidTextSize];
    formatGuid(*scheme, schemeText);
    formatGuid(*subgroup, subgroupText);
    formatGuid(*setting, settingText);
    snprintf(out, sizeof out, "%s\\%s\\%s\\%s", kSchemesKey, schemeText, subgroupText, settingText);
}

bool keyExists(const char *path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool schemeExists(const GUID *scheme) {
    if (!scheme)
        return false;
    char path[kPathSize];
    schemePath(path, scheme);
    return keyExists(path);
}

void writeDword(const char *path, const char *name, DWORD value) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof value);
    RegCloseKey(key);
}

// Texts are kept as UTF-16, as the calls hand them over; as on Windows, the terminator must lie within
// `size` bytes, or the call is refused.
DWORD writeWideText(const GUID *scheme, const wchar_t *name, const UCHAR *bytes, DWORD size) {
    if (!scheme || !bytes)
        return ERROR_INVALID_PARAMETER;
    if (!schemeExists(scheme))
        return ERROR_FILE_NOT_FOUND;
    wchar_t text[128];
    size_t chars = size / sizeof(wchar_t), length = 0;
    memcpy(text, bytes, (chars < 128 ? chars : 128) * sizeof(wchar_t));
    while (length < chars && length < 128 && text[length])
        ++length;
    if (length == chars || length == 128)
        return ERROR_INVALID_PARAMETER;
    char path[kPathSize];
    schemePath(path, scheme);
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return ERROR_FILE_NOT_FOUND;
    LONG rc = RegSetValueExW(key, name, 0, REG_SZ, (const BYTE *)text, DWORD((length + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return DWORD(rc);
}

struct SeedScheme {
    const GUID *scheme;
    const wchar_t *name;
    const wchar_t *description;
    DWORD values[7][2]; // AC, DC of each setting in kSeedSettings' order
};

struct SeedSetting {
    const GUID *subgroup, *setting;
};

constexpr int kSettingCount = 7, kBrightness = 6;
const SeedSetting kSeedSettings[kSettingCount] = {
    {&kSleepSubgroup, &kStandbyTimeout},           {&kSleepSubgroup, &kHibernateTimeout},
    {&kVideoSubgroup, &kVideoPowerdownTimeout},    {&kDiskSubgroup, &kDiskPowerdownTimeout},
    {&kProcessorSubgroup, &kProcessorThrottleMaximum}, {&kProcessorSubgroup, &kProcessorThrottleMinimum},
    {&kVideoSubgroup, &kVideoBrightness},
};

// The three schemes a fresh Windows has, with the six settings the program manages and the display
// brightness.
const SeedScheme kSeedSchemes[3] = {
    {&kSchemeBalanced,
     L"Balanced",
     L"Automatically balances performance with energy consumption on capable hardware.",
     {{1800, 900}, {0, 10800}, {600, 300}, {1200, 600}, {100, 100}, {5, 5}, {100, 50}}},
    {&kSchemePowerSaver,
     L"Power saver",
     L"Saves energy by reducing your computer's performance where possible.",
     {{900, 600}, {0, 3600}, {300, 120}, {600, 300}, {100, 70}, {5, 5}, {70, 30}}},
    {&kSchemeHighPerformance,
     L"High performance",
     L"Favors performance, but may use more energy.",
     {{0, 1800}, {0, 0}, {900, 600}, {1200, 1200}, {100, 100}, {100, 100}, {100, 100}}},
};

// The place of a setting the system defines in kSeedSettings, or -1.
int definedSetting(const GUID *subgroup, const GUID *setting) {
    for (int i = 0; i < kSettingCount; ++i)
        if (IsEqualGUID(*subgroup, *kSeedSettings[i].subgroup) && IsEqualGUID(*setting, *kSeedSettings[i].setting))
            return i;
    return -1;
}

bool readDword(const char *path, const char *name, DWORD *value) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD data = 0, size = sizeof data, type = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, (BYTE *)&data, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data)
        return false;
    *value = data;
    return true;
}

// A scheme's own value of a defined setting, or, as on Windows, the system's default (Balanced's seed).
DWORD schemeValue(const GUID *scheme, int defined, const char *name) {
    char path[kPathSize];
    settingPath(path, scheme, kSeedSettings[defined].subgroup, kSeedSettings[defined].setting);
    DWORD value;
    if (readDword(path, name, &value))
        return value;
    return kSeedSchemes[0].values[defined][name[0] == 'A' ? 0 : 1];
}

// A setting an administrator's policy holds: Windows keeps the policy's value whatever a scheme says.
bool heldByPolicy(const GUID &setting) {
    char text[kGuidTextSize];
    formatGuid(setting, text);
    return simListHolds("PolicyHeld", text);
}

// The values in force: those of the scheme last activated, copied at its activation, or the policy's.
// The brightness in force for the current source then drives the panel, as Windows applies it.
void putInForce(const GUID *scheme, bool applyBrightness) {
    DWORD percent = 100;
    bool onBattery = simValue("ACLineStatus", 1) == 0;
    for (int i = 0; i < kSettingCount; ++i) {
        char subgroup[kGuidTextSize], setting[kGuidTextSize], path[kPathSize], policy[kPathSize];
        formatGuid(*kSeedSettings[i].subgroup, subgroup);
        formatGuid(*kSeedSettings[i].setting, setting);
        snprintf(path, sizeof path, "%s\\InForce\\%s\\%s", kSimKey, subgroup, setting);
        snprintf(policy, sizeof policy, "%s\\Policy\\%s", kSimKey, setting);
        bool held = heldByPolicy(*kSeedSettings[i].setting);
        for (const char *name : {"ACSettingIndex", "DCSettingIndex"}) {
            DWORD value = schemeValue(scheme, i, name);
            if (held && !readDword(policy, name, &value))
                value = kSeedSchemes[0].values[i][name[0] == 'A' ? 0 : 1];
            writeDword(path, name, value);
            if (i == kBrightness && (name[0] == 'D') == onBattery)
                percent = value;
        }
    }
    if (applyBrightness) {
        DWORD capped = percent > 100 ? 100 : percent;
        setSimValue("PanelLevel", (capped * 15 + 50) / 100); // percent * 15 / 100, rounded
    }
}

// Lays out the three schemes, Balanced active, whenever the scheme store is missing.
void seedSchemes() {
    if (keyExists(kSchemesKey))
        return;
    for (const SeedScheme &seed : kSeedSchemes) {
        char path[kPathSize];
        schemePath(path, seed.scheme);
        HKEY key;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            continue;
        RegSetValueExW(key, L"FriendlyName", 0, REG_SZ, (const BYTE *)seed.name,
                       DWORD((wcslen(seed.name) + 1) * sizeof(wchar_t)));
        RegSetValueExW(key, L"Description", 0, REG_SZ, (const BYTE *)seed.description,
                       DWORD((wcslen(seed.description) + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        for (int i = 0; i < kSettingCount; ++i) {
            settingPath(path, seed.scheme, kSeedSettings[i].subgroup, kSeedSettings[i].setting);
            writeDword(path, "ACSettingIndex", seed.values[i][0]);
            writeDword(path, "DCSettingIndex", seed.values[i][1]);
        }
    }
    char active[kGuidTextSize];
    formatGuid(kSchemeBalanced, active);
    setSimText("ActivePowerScheme", active);
    putInForce(&kSchemeBalanced, false); // a fresh store leaves the panel as the test laid it
}

// Every call: only on NT 6 and later, and on a seeded store.
bool available() {
    if (!ntSix())
        return false;
    seedSchemes();
    return true;
}

bool readActive(GUID *active) {
    char text[kGuidTextSize + 1];
    return simText("ActivePowerScheme", text, sizeof text) && parseGuid(text, active);
}

// Copies a key's values and subkeys (the registry of Windows XP has no call for it).
void copyTree(HKEY from, HKEY to) {
    for (DWORD i = 0;; ++i) {
        char name[256];
        BYTE data[512];
        DWORD nameSize = sizeof name, dataSize = sizeof data, type = 0;
        if (RegEnumValueA(from, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        RegSetValueExA(to, name, 0, type, data, dataSize);
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        if (RegEnumKeyA(from, i, name, sizeof name) != ERROR_SUCCESS)
            break;
        HKEY fromChild, toChild;
        if (RegOpenKeyExA(from, name, 0, KEY_READ, &fromChild) != ERROR_SUCCESS)
            continue;
        if (RegCreateKeyExA(to, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &toChild, nullptr) == ERROR_SUCCESS) {
            copyTree(fromChild, toChild);
            RegCloseKey(toChild);
        }
        RegCloseKey(fromChild);
    }
}

void deleteTree(HKEY parent, const char *name) {
    HKEY key;
    if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    char child[256];
    while (RegEnumKeyA(key, 0, child, sizeof child) == ERROR_SUCCESS)
        deleteTree(key, child);
    RegCloseKey(key);
    RegDeleteKeyA(parent, name);
}

DWORD readIndex(const GUID *scheme, const GUID *subgroup, const GUID *setting, const char *name, DWORD *value) {
    if (!available())
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (!scheme || !subgroup || !setting || !value)
        return ERROR_INVALID_PARAMETER;
    int defined = definedSetting(subgroup, setting);
    if (!schemeExists(scheme) || defined < 0)
        return ERROR_FILE_NOT_FOUND;
    *value = schemeValue(scheme, defined, name);
    return ERROR_SUCCESS;
}

// Writing a defined setting the scheme lacks gives the scheme its own value.
DWORD writeIndex(const GUID *scheme, const GUID *subgroup, const GUID *setting, const char *name, DWORD value) {
    if (!available())
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (!scheme || !subgroup || !setting)
        return ERROR_INVALID_PARAMETER;
    if (!schemeExists(scheme) || definedSetting(subgroup, setting) < 0)
        return ERROR_FILE_NOT_FOUND;
    if (simValue("WriteSchemeFails", 0))
        return ERROR_ACCESS_DENIED;
    char path[kPathSize];
    settingPath(path, scheme, subgroup, setting);
    writeDword(path, name, value);
    char schemeText[kGuidTextSize], settingText[kGuidTextSize];
    formatGuid(*scheme, schemeText);
    formatGuid(*setting, settingText);
    simLog("GUID WRITE %s %s %s %lu", schemeText, settingText, name[0] == 'A' ? "AC" : "DC", (unsigned long)value);
    return ERROR_SUCCESS;
}

GUID *localGuid(const GUID &value) {
    GUID *copy = static_cast<GUID *>(LocalAlloc(LMEM_FIXED, sizeof(GUID)));
    if (copy)
        *copy = value;
    return copy;
}

} // namespace

namespace machine {

DWORD PowerGetActiveScheme(HKEY, GUID **active) {
    if (!available())
        return ERROR_CALL_NOT_IMPLEMENTED;
    GUID scheme;
    if (!active)
        return ERROR_INVALID_PARAMETER;
    if (!readActive(&scheme))
        return ERROR_FILE_NOT_FOUND;
    *active = localGuid(scheme);
    return *active ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
}

DWORD PowerSetActiveScheme(HKEY, const GUID *scheme) {
    if (!available())
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (!schemeExists(scheme))
        return ERROR_FILE_NOT_FOUND;
    if (simValue("ActivationRefused", 0))
        return ERROR_ACCESS_DENIED;
    char text[kGuidTextSize];
    formatGuid(*scheme, text);
    setSimText("ActivePowerScheme", text);
    putInForce(scheme, true);
    simLog("GUID ACTIVATE %s", text);
    return ERROR_SUCCESS;
}

DWORD PowerDuplicateScheme(HKEY, const GUID *source, GUID **duplicate) {
    if (!available())
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (!duplicate)
        return ERROR_INVALID_PARAMETER;
    if (!schemeExists(source))
        return ERROR_FILE_NOT_FOUND;
    if (simValue("DuplicateFails", 0))
        return ERROR_ACCESS_DENIED;
    GUID fresh;
    if (CoCreateGuid(&fresh) != S_OK)
        return ERROR_NOT_ENOUGH_MEMORY;
    char from[kPathSize], to[kPathSize];
    schemePath(from, source);
    schemePath(to, &fresh);
    HKEY fromKey, toKey;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, from, 0, KEY_READ, &fromKey) != ERROR_SUCCESS)
        return ERROR_FILE_NOT_FOUND;
    LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, to, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &toKey, nullptr);
    if (rc == ERROR_SUCCESS) {
        copyTree(fromKey, toKey);
        RegCloseKey(toKey);
    }
    RegCloseKey(fromKey);
    if (rc != ERROR_SUCCESS)
        return DWORD(rc);
    if (*duplicate)
        **duplicate = fresh;
    else if (!(*duplicate = localGuid(fresh)))
        return ERROR_NOT_ENOUGH_MEMORY;
    char fromText[kGuidTextSize], toText[kGuidTextSize];
    formatGuid(*source, fromText);
    formatGuid(fresh, toText);
    simLog("GUID DUPLICATE %s %s", fromText, toText);
    return ERROR_SUCCESS;
}

DWORD PowerDeleteScheme(HKEY, const GUID *scheme) {
    if (!available())
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (!schemeExists(scheme))
        return ERROR_FILE_NOT_FOUND;
    GUID active;
    if ((readActive(&active) && IsEqualGUID(active, *scheme)) || simValue("DeleteFails", 0))
        return ERROR_ACCESS_DENIED;
    char text[kGuidTextSize];
    formatGuid(*scheme, text);
    HKEY schemes;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSchemesKey, 0, KEY_ALL_ACCESS, &schemes) != ERROR_SUCCESS)
        return ERROR_FILE_NOT_FOUND;
    deleteTree(schemes, text);
    RegCloseKey(schemes);
    simLog("GUID DELETE %s", text);
    return ERROR_SUCCESS;
}

DWORD PowerEnumerate(HKEY, const GUID *, const GUID *, ULONG access, ULONG index, UCHAR *buffer, DWORD *bufferSize) {
    if (!available())
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (access != kAccessScheme || !bufferSize)
        return ERROR_INVALID_PARAMETER;
    HKEY schemes;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSchemesKey, 0, KEY_READ, &schemes) != ERROR_SUCCESS)
        return ERROR_NO_MORE_ITEMS;
    // Keys that are no GUID are passed over, so every index names a scheme.
    GUID scheme;
    DWORD rc = ERROR_NO_MORE_ITEMS;
    for (DWORD i = 0, found = 0;; ++i) {
        char name[64];
        if (RegEnumKeyA(schemes, i, name, sizeof name) != ERROR_SUCCESS)
            break;
        if (parseGuid(name, &scheme) && found++ == index) {
            rc = ERROR_SUCCESS;
            break;
        }
    }
    RegCloseKey(schemes);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (!buffer) {
        *bufferSize = sizeof(GUID);
        return ERROR_SUCCESS;
    }
    if (*bufferSize < sizeof(GUID)) {
        *bufferSize = sizeof(GUID);
        return ERROR_MORE_DATA;
    }
    memcpy(buffer, &scheme, sizeof scheme);
    *bufferSize = sizeof(GUID);
    return ERROR_SUCCESS;
}

DWORD PowerReadFriendlyName(HKEY, const GUID *scheme, const GUID *subgroup, const GUID *setting, UCHAR *buffer,
                            DWORD *bufferSize) {
    if (!available())
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (subgroup || setting || !bufferSize)
        return ERROR_INVALID_PARAMETER; // only the schemes' own names are kept
    if (!schemeExists(scheme))
        return ERROR_FILE_NOT_FOUND;
    char path[kPathSize];
    schemePath(path, scheme);
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return ERROR_FILE_NOT_FOUND;
    wchar_t text[128] = {};
    DWORD size = sizeof text - sizeof(wchar_t), type = 0;
    LONG rc = RegQueryValueExW(key, L"FriendlyName", nullptr, &type, (BYTE *)text, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS || type != REG_SZ)
        return ERROR_FILE_NOT_FOUND;
    DWORD needed = DWORD((wcslen(text) + 1) * sizeof(wchar_t));
    if (!buffer) {
        *bufferSize = needed;
        return ERROR_SUCCESS;
    }
    if (*bufferSize < needed) {
        *bufferSize = needed;
        return ERROR_MORE_DATA;
    }
    memcpy(buffer, text, needed);
    *bufferSize = needed;
    return ERROR_SUCCESS;
}

DWORD PowerWriteFriendlyName(HKEY, const GUID *scheme, const GUID *subgroup, const GUID *setting, UCHAR *buffer,
                             DWORD bufferSize) {
    if (!available())
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (subgroup || setting)
        return ERROR_INVALID_PARAMETER;
    return writeWideText(scheme, L"FriendlyName", buffer, bufferSize);
}

DWORD PowerWriteDescription(HKEY, const GUID *scheme, const GUID *subgroup, const GUID *setting, UCHAR *buffer,
                            DWORD bufferSize) {
    if (!available())
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (subgroup || setting)
        return ERROR_INVALID_PARAMETER;
    return writeWideText(scheme, L"Description", buffer, bufferSize);
}

DWORD PowerReadACValueIndex(HKEY, const GUID *scheme, const GUID *subgroup, const GUID *setting, DWORD *value) {
    return readIndex(scheme, subgroup, setting, "ACSettingIndex", value);
}
DWORD PowerReadDCValueIndex(HKEY, const GUID *scheme, const GUID *subgroup, const GUID *setting, DWORD *value) {
    return readIndex(scheme, subgroup, setting, "DCSettingIndex", value);
}
DWORD PowerWriteACValueIndex(HKEY, const GUID *scheme, const GUID *subgroup, const GUID *setting, DWORD value) {
    return writeIndex(scheme, subgroup, setting, "ACSettingIndex", value);
}
DWORD PowerWriteDCValueIndex(HKEY, const GUID *scheme, const GUID *subgroup, const GUID *setting, DWORD value) {
    return writeIndex(scheme, subgroup, setting, "DCSettingIndex", value);
}

} // namespace machine
