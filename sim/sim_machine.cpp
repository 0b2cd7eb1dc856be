// The simulated notebook: the machine seam answered from the registry, with every effect logged.
#include "machine/machine.h"
#include "machine/powercfg_keys.h"
#include "machine/startprogram.h"
#include "sim/simstate.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

bool readBinary(HKEY root, const char *path, const char *name, void *data, DWORD size) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    DWORD got = size, type = 0;
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, (BYTE *)data, &got);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && got == size;
}

bool writeValue(HKEY root, const char *path, const char *name, DWORD type, const void *data, DWORD size) {
    HKEY key;
    if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExA(key, name, 0, type, (const BYTE *)data, size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool writeText(HKEY root, const char *path, const char *name, const char *text) {
    return writeValue(root, path, name, REG_SZ, text, DWORD(strlen(text) + 1));
}

// A decimal REG_SZ value, or `fallback`.
long readNumber(HKEY root, const char *path, const char *name, long fallback) {
    char text[32] = {};
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return fallback;
    DWORD size = sizeof text - 1;
    LONG rc = RegQueryValueExA(key, name, nullptr, nullptr, (BYTE *)text, &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? strtol(text, nullptr, 10) : fallback;
}

void writeNumber(HKEY root, const char *path, const char *name, long value) {
    char text[32];
    snprintf(text, sizeof text, "%ld", value);
    writeText(root, path, name, text);
}

void schemeKey(char *out, size_t size, UINT scheme) { snprintf(out, size, kSchemeKeyFormat, int(scheme)); }
void processorKey(char *out, size_t size, UINT scheme) { snprintf(out, size, kProcessorPolicyKeyFormat, scheme); }

bool keyExists(HKEY root, const char *path) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Windows Vista and later have no index-based schemes and no "PowerCfg" keys.
bool ntSixPlatform() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    return ::GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 6;
}

bool isNtPlatform() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    return ::GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void deleteTree(HKEY root, const char *path) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    char sub[256];
    while (RegEnumKeyA(key, 0, sub, sizeof sub) == ERROR_SUCCESS) {
        char child[512];
        snprintf(child, sizeof child, "%s\\%s", path, sub);
        deleteTree(root, child);
    }
    RegCloseKey(key);
    RegDeleteKeyA(root, path);
}

struct SeedScheme {
    const char *name;
    unsigned monitorAc, monitorDc, standbyAc, standbyDc;
    BYTE throttleAc, throttleDc;
};

// The six schemes a fresh Windows XP installation has.
const SeedScheme kSeedSchemes[6] = {
    {"Home/Office Desk", 1200, 300, 0, 1200, 0, 3},
    {"Portable/Laptop", 900, 300, 1200, 300, 3, 3},
    {"Presentation", 0, 0, 0, 900, 3, 2},
    {"Always On", 1200, 1200, 0, 0, 0, 0},
    {"Minimal Power Management", 900, 300, 0, 900, 3, 3},
    {"Max Battery", 900, 60, 1200, 120, 3, 2},
};

void fillSeedPolicy(const SeedScheme &s, POWER_POLICY &p) {
    memset(&p, 0, sizeof p);
    p.user.Revision = 1;
    p.user.IdleAc.Action = s.standbyAc ? PowerActionSleep : PowerActionNone;
    p.user.IdleDc.Action = s.standbyDc ? PowerActionSleep : PowerActionNone;
    p.user.IdleTimeoutAc = s.standbyAc;
    p.user.IdleTimeoutDc = s.standbyDc;
    p.user.IdleSensitivityAc = p.user.IdleSensitivityDc = 50;
    p.user.ThrottlePolicyAc = s.throttleAc;
    p.user.ThrottlePolicyDc = s.throttleDc;
    p.user.MaxSleepAc = p.user.MaxSleepDc = PowerSystemSleeping3;
    p.user.VideoTimeoutAc = s.monitorAc;
    p.user.VideoTimeoutDc = s.monitorDc;
    p.user.ForcedThrottleAc = p.user.ForcedThrottleDc = 100;
    p.mach.Revision = 1;
    p.mach.MinSleepAc = p.mach.MinSleepDc = PowerSystemSleeping1;
    p.mach.ReducedLatencySleepAc = p.mach.ReducedLatencySleepDc = PowerSystemSleeping1;
}

void fillSeedProcessorPolicy(const SeedScheme &s, MACHINE_PROCESSOR_POWER_POLICY &p) {
    memset(&p, 0, sizeof p);
    p.Revision = 1;
    p.ProcessorPolicyAc.Revision = p.ProcessorPolicyDc.Revision = 1;
    p.ProcessorPolicyAc.DynamicThrottle = s.throttleAc;
    p.ProcessorPolicyDc.DynamicThrottle = s.throttleDc;
}

void fillSeedGlobalPolicy(GLOBAL_POWER_POLICY &g) {
    memset(&g, 0, sizeof g);
    g.user.Revision = 1;
    g.user.PowerButtonAc.Action = g.user.PowerButtonDc.Action = PowerActionShutdownOff;
    g.user.SleepButtonAc.Action = g.user.SleepButtonDc.Action = PowerActionSleep;
    g.user.LidCloseAc.Action = PowerActionNone;
    g.user.LidCloseDc.Action = PowerActionSleep;
    g.user.GlobalFlags = EnablePasswordLogon | EnableVideoDimDisplay;
    g.mach.Revision = 1;
    g.mach.LidOpenWakeAc = g.mach.LidOpenWakeDc = PowerSystemWorking;
    g.mach.BroadcastCapacityResolution = 25;
}

// Writes the scheme's name and description the way the platform stores them.
void writeSchemeTexts(const char *path, const void *name, const void *description) {
    if (!isNtPlatform()) {
        writeText(HKEY_CURRENT_USER, path, "Name", (const char *)name);
        writeText(HKEY_CURRENT_USER, path, "Description", (const char *)description);
        return;
    }
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    const void *texts[2] = {name, description};
    const wchar_t *names[2] = {L"Name", L"Description"};
    for (int i = 0; i < 2; ++i) {
        const wchar_t *text = (const wchar_t *)texts[i];
        size_t len = wcsnlen(text, 32);
        wchar_t copy[33];
        wmemcpy(copy, text, len);
        copy[len] = L'\0';
        RegSetValueExW(key, names[i], 0, REG_SZ, (const BYTE *)copy, DWORD((len + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(key);
}

// Display modes are kept as "WIDTHxHEIGHTxBITS" texts.
bool parseMode(const char *text, DEVMODEA *mode) {
    unsigned w, h, bits;
    if (sscanf(text, "%ux%ux%u", &w, &h, &bits) != 3)
        return false;
    memset(mode, 0, sizeof *mode);
    mode->dmSize = sizeof *mode;
    mode->dmPelsWidth = w;
    mode->dmPelsHeight = h;
    mode->dmBitsPerPel = bits;
    mode->dmDisplayFrequency = 60;
    mode->dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL | DM_DISPLAYFREQUENCY;
    return true;
}

const char kDefaultModes[] = "1024x768x32\0"
                             "800x600x32\0"
                             "1280x1024x32\0"
                             "1024x768x16\0";

// The mode list as consecutive terminated texts ending in an empty one.
void displayModes(char *buf, DWORD size) {
    HKEY key;
    bool found = false;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSimKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        DWORD got = size - 2, type = 0;
        found = RegQueryValueExA(key, "DisplayModes", nullptr, &type, (BYTE *)buf, &got) == ERROR_SUCCESS &&
                type == REG_MULTI_SZ;
        if (found) {
            buf[got] = buf[got + 1] = '\0';
        }
        RegCloseKey(key);
    }
    if (!found)
        memcpy(buf, kDefaultModes, sizeof kDefaultModes);
}

const char *methodName(DWORD method, char out[5]) {
    for (int i = 0; i < 4; ++i)
        out[i] = char((method >> (8 * i)) & 0xFF);
    out[4] = '\0';
    return out;
}

constexpr DWORD kSFUN = 0x4E554653, kQMOD = 0x444F4D51, kGFRQ = 0x51524647, kSPLV = 0x564C5053,
                kGPLV = 0x564C5047, kSFRQ = 0x51524653, kSPGS = 0x53475053, kSDSP = 0x50534453;

} // namespace

void simSeedPowerStore() {
    if (ntSixPlatform() || keyExists(HKEY_CURRENT_USER, kPowerCfgUserKey))
        return;
    char path[256];
    for (UINT i = 0; i < 6; ++i) {
        const SeedScheme &s = kSeedSchemes[i];
        schemeKey(path, sizeof path, i);
        writeText(HKEY_CURRENT_USER, path, "Name", s.name);
        writeText(HKEY_CURRENT_USER, path, "Description", "");
        POWER_POLICY policy;
        fillSeedPolicy(s, policy);
        writeValue(HKEY_CURRENT_USER, path, "Policies", REG_BINARY, &policy, sizeof policy);
        processorKey(path, sizeof path, i);
        MACHINE_PROCESSOR_POWER_POLICY processor;
        fillSeedProcessorPolicy(s, processor);
        writeValue(HKEY_LOCAL_MACHINE, path, "Policies", REG_BINARY, &processor, sizeof processor);
    }
    GLOBAL_POWER_POLICY global;
    fillSeedGlobalPolicy(global);
    writeValue(HKEY_CURRENT_USER, kGlobalPolicyKey, "Policies", REG_BINARY, &global, sizeof global);
    writeText(HKEY_LOCAL_MACHINE, kPowerCfgMachineKey, "LastID", "5");
    writeText(HKEY_CURRENT_USER, kPowerCfgUserKey, "CurrentPowerPolicy", "0");
}

namespace machine {

BOOL GetSystemPowerStatus(SYSTEM_POWER_STATUS *status) {
    memset(status, 0, sizeof *status);
    status->ACLineStatus = BYTE(simValue("ACLineStatus", 1));
    status->BatteryFlag = status->ACLineStatus == 1 ? 8 : 1; // charging, or high
    status->BatteryLifePercent = 80;
    status->BatteryLifeTime = status->ACLineStatus == 1 ? DWORD(-1) : 7200;
    status->BatteryFullLifeTime = DWORD(-1);
    return TRUE;
}

BOOLEAN GetActivePwrScheme(UINT *scheme) {
    if (ntSixPlatform())
        return FALSE;
    simSeedPowerStore();
    long id = readNumber(HKEY_CURRENT_USER, kPowerCfgUserKey, "CurrentPowerPolicy", -1);
    if (id < 0)
        return FALSE;
    *scheme = UINT(id);
    return TRUE;
}

BOOLEAN SetActivePwrScheme(UINT scheme, GLOBAL_POWER_POLICY *global, POWER_POLICY *policy) {
    if (ntSixPlatform())
        return FALSE;
    simSeedPowerStore();
    char path[256];
    schemeKey(path, sizeof path, scheme);
    if (simValue("ActivationRefused", 0) || !keyExists(HKEY_CURRENT_USER, path))
        return FALSE;
    // The policies passed are merged into the scheme as it becomes active.
    if (policy)
        writeValue(HKEY_CURRENT_USER, path, "Policies", REG_BINARY, policy, sizeof *policy);
    if (global)
        writeValue(HKEY_CURRENT_USER, kGlobalPolicyKey, "Policies", REG_BINARY, global, sizeof *global);
    writeNumber(HKEY_CURRENT_USER, kPowerCfgUserKey, "CurrentPowerPolicy", long(scheme));
    simLog("ACTIVATE %u", scheme);
    return TRUE;
}

BOOLEAN ReadPwrScheme(UINT scheme, POWER_POLICY *policy) {
    if (ntSixPlatform())
        return FALSE;
    simSeedPowerStore();
    char path[256];
    schemeKey(path, sizeof path, scheme);
    return readBinary(HKEY_CURRENT_USER, path, "Policies", policy, sizeof *policy);
}

BOOLEAN WritePwrScheme(UINT *scheme, const void *name, const void *description, POWER_POLICY *policy) {
    if (ntSixPlatform())
        return FALSE;
    simSeedPowerStore();
    if (simValue("WriteSchemeFails", 0))
        return FALSE;
    if (*scheme == 0xFFFFFFFFu) {
        long last = readNumber(HKEY_LOCAL_MACHINE, kPowerCfgMachineKey, "LastID", -1);
        *scheme = UINT(last + 1);
        writeNumber(HKEY_LOCAL_MACHINE, kPowerCfgMachineKey, "LastID", long(*scheme));
    }
    char path[256];
    schemeKey(path, sizeof path, *scheme);
    writeSchemeTexts(path, name, description);
    writeValue(HKEY_CURRENT_USER, path, "Policies", REG_BINARY, policy, sizeof *policy);
    simLog("WRITE %u", *scheme);
    return TRUE;
}

BOOLEAN DeletePwrScheme(UINT scheme) {
    if (ntSixPlatform())
        return FALSE;
    simSeedPowerStore();
    char path[256];
    schemeKey(path, sizeof path, scheme);
    if (!keyExists(HKEY_CURRENT_USER, path))
        return FALSE;
    deleteTree(HKEY_CURRENT_USER, path);
    processorKey(path, sizeof path, scheme);
    deleteTree(HKEY_LOCAL_MACHINE, path);
    simLog("DELETE %u", scheme);
    return TRUE;
}

BOOLEAN GetCurrentPowerPolicies(GLOBAL_POWER_POLICY *global, POWER_POLICY *policy) {
    if (ntSixPlatform())
        return FALSE;
    UINT scheme;
    if (!machine::GetActivePwrScheme(&scheme))
        return FALSE;
    if (global && !readBinary(HKEY_CURRENT_USER, kGlobalPolicyKey, "Policies", global, sizeof *global))
        return FALSE;
    return !policy || machine::ReadPwrScheme(scheme, policy);
}

BOOLEAN ReadProcessorPwrScheme(UINT scheme, MACHINE_PROCESSOR_POWER_POLICY *policy) {
    if (ntSixPlatform())
        return FALSE;
    simSeedPowerStore();
    if (simValue("ReadProcessorFails", 0))
        return FALSE;
    char path[256];
    processorKey(path, sizeof path, scheme);
    return readBinary(HKEY_LOCAL_MACHINE, path, "Policies", policy, sizeof *policy);
}

BOOLEAN WriteProcessorPwrScheme(UINT scheme, MACHINE_PROCESSOR_POWER_POLICY *policy) {
    if (ntSixPlatform())
        return FALSE;
    simSeedPowerStore();
    char path[256];
    processorKey(path, sizeof path, scheme);
    if (!writeValue(HKEY_LOCAL_MACHINE, path, "Policies", REG_BINARY, policy, sizeof *policy))
        return FALSE;
    simLog("THROTTLE %u %u %u", scheme, policy->ProcessorPolicyAc.DynamicThrottle,
           policy->ProcessorPolicyDc.DynamicThrottle);
    return TRUE;
}

BOOLEAN GetPwrCapabilities(SYSTEM_POWER_CAPABILITIES *capabilities) {
    memset(capabilities, 0, sizeof *capabilities);
    capabilities->PowerButtonPresent = TRUE;
    capabilities->LidPresent = TRUE;
    capabilities->SystemS3 = simValue("StandbyAllowed", 1) != 0;
    capabilities->SystemS4 = capabilities->HiberFilePresent = simValue("HibernateAllowed", 1) != 0;
    capabilities->SystemS5 = TRUE;
    capabilities->ProcessorThrottle = simValue("ProcessorThrottle", 1) != 0;
    capabilities->ProcessorMinThrottle = BYTE(simValue("ProcessorMinThrottle", 25));
    capabilities->SystemBatteriesPresent = TRUE;
    aoAc(*capabilities) = simValue("AoAc", 0) != 0;
    return TRUE;
}

BOOLEAN IsPwrSuspendAllowed() { return simValue("StandbyAllowed", 1) != 0; }
BOOLEAN IsPwrHibernateAllowed() { return simValue("HibernateAllowed", 1) != 0; }

BOOLEAN SetSuspendState(BOOLEAN hibernate, BOOLEAN, BOOLEAN) {
    simLog("SUSPEND %d", hibernate ? 1 : 0);
    return TRUE;
}

// "SlowMethod" names one method that takes "SlowMethodMs" after it was logged, so a test can act
// while a step application is in the middle of it.
static void slowDown(const char *name) {
    char slow[8];
    if (simText("SlowMethod", slow, sizeof slow) && strcmp(slow, name) == 0)
        Sleep(simValue("SlowMethodMs", 1000));
}

int None_Method(DWORD method, DWORD *out) {
    char name[5];
    simLog("%s", methodName(method, name));
    slowDown(name);
    switch (method) {
    case kSFUN:
        if (simValue("SfunFails", 0))
            return 0;
        *out = simValue("FunctionMask", 0x240);
        return 1;
    case kGPLV:
        if (simValue("GplvFails", 0))
            return 0;
        *out = simValue("PanelLevel", 15);
        return 1;
    default:
        return 0;
    }
}

int One_Method(DWORD method, DWORD argument, DWORD *out) {
    char name[5];
    simLog("%s %u", methodName(method, name), argument);
    slowDown(name);
    switch (method) {
    case kQMOD:
        if (argument == 0)
            *out = simValue("QmodPresent", 1) ? 1 : 0;
        return 1;
    case kGFRQ: {
        static const char *const names[3] = {"ClockMhz0", "ClockMhz1", "ClockMhz2"};
        static const DWORD defaults[3] = {600, 1000, 1600};
        DWORD mhz = argument < 3 ? simValue(names[argument], defaults[argument]) : 0;
        if (!mhz)
            return 0;
        *out = mhz;
        return 1;
    }
    case kSPLV:
        setSimValue("PanelLevel", argument);
        return 1;
    case kSFRQ:
    case kSPGS:
    case kSDSP:
        return 1;
    default:
        return 0;
    }
}

BOOL EnumDisplaySettingsA(DWORD modeNumber, DEVMODEA *mode) {
    char text[64];
    if (modeNumber == ENUM_CURRENT_SETTINGS) {
        if (!simText("CurrentMode", text, sizeof text))
            strcpy(text, "1024x768x32");
        return parseMode(text, mode);
    }
    char modes[2048];
    displayModes(modes, sizeof modes);
    const char *p = modes;
    for (DWORD i = 0; *p; ++i, p += strlen(p) + 1)
        if (i == modeNumber)
            return parseMode(p, mode);
    return FALSE;
}

LONG ChangeDisplaySettingsA(DEVMODEA *mode, DWORD) {
    if (!mode)
        return DISP_CHANGE_SUCCESSFUL;
    char modes[2048];
    displayModes(modes, sizeof modes);
    for (const char *p = modes; *p; p += strlen(p) + 1) {
        DEVMODEA known;
        if (parseMode(p, &known) && known.dmPelsWidth == mode->dmPelsWidth &&
            known.dmPelsHeight == mode->dmPelsHeight && known.dmBitsPerPel == mode->dmBitsPerPel) {
            setSimText("CurrentMode", p);
            simLog("DISPLAY %s", p);
            return DISP_CHANGE_SUCCESSFUL;
        }
    }
    // Logged too, so a change to a mode the notebook lacks (a zeroed one, say) is seen.
    simLog("DISPLAY REFUSED %lux%lux%lu", mode->dmPelsWidth, mode->dmPelsHeight, mode->dmBitsPerPel);
    return DISP_CHANGE_BADMODE;
}

BOOL SystemParametersInfoA(UINT action, UINT uiParam, void *pvParam, UINT winIni) {
    switch (action) {
    case SPI_GETSCREENSAVEACTIVE:
        *(BOOL *)pvParam = simValue("ScreenSaverActive", 1) != 0;
        return TRUE;
    case SPI_SETSCREENSAVEACTIVE:
        setSimValue("ScreenSaverActive", uiParam);
        simLog("SCREENSAVER %u", uiParam);
        return TRUE;
    case SPI_GETSCREENSAVERRUNNING:
        *(BOOL *)pvParam = simValue("ScreenSaverRunning", 0) != 0;
        return TRUE;
    default:
        return ::SystemParametersInfoA(action, uiParam, pvParam, winIni);
    }
}

void keybd_event(BYTE virtualKey, BYTE, DWORD flags, ULONG_PTR) {
    const char *direction = (flags & KEYEVENTF_KEYUP) ? "UP" : "DOWN";
    if (virtualKey == VK_SHIFT)
        simLog("KEY SHIFT %s", direction);
    else
        simLog("KEY %u %s", virtualKey, direction);
    // Any key press ends a running screen saver.
    if (!(flags & KEYEVENTF_KEYUP))
        setSimValue("ScreenSaverRunning", 0);
}

BOOL ShutDown(UINT flags) {
    simLog("SHUTDOWN %u", flags);
    return TRUE;
}

BOOL StartProgram(const char *commandLine, WORD show) {
    simLog("EXEC %s", commandLine);
    // The stand-in is started as the real seam starts the tool: no handle kept, no wait.
    return startDetached(commandLine, show);
}

BOOL GetVersionExA(OSVERSIONINFOA *info) { return ::GetVersionExA(info); }

} // namespace machine
