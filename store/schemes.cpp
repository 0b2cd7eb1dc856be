// The power-scheme operations by index: passed straight on up to Windows XP, over GUID schemes from
// Windows Vista on, where the index-based calls and the "PowerCfg" keys are gone.
#include "store/schemes.h"

#include "core/decimal.h"
#include "core/schememapping.h"
#include "machine/machine.h"
#include "machine/powercfg_keys.h"
#include "machine/powerguids.h"
#include "state/operation.h"
#include "state/appstate.h"
#include "store/brightness.h"
#include "store/guidsettings.h"
#include "store/heldsettings.h"
#include "store/powermode.h"
#include "store/programfiles.h"
#include "store/regtext.h"

#include <cstdio>
#include <cstring>

namespace {

// From Windows Vista on, index 0 stands for the scheme handed back at exit (the one active at start,
// or Balanced when that was the program's own), index 1 for the program's own scheme, and index 2 for
// any other scheme found active; indices 0 and 1 keep these meanings across starts.
constexpr UINT kHandBackIndex = 0, kOwnIndex = 1, kOtherIndex = 2;

struct GuidSchemes {
    bool startRead;  // the active scheme was looked at once
    bool startKnown; // ... and could be read
    GUID handBack;
    bool ownKnown;
    GUID own;
    bool ownRefused; // the own scheme could not be duplicated or named
};
GuidSchemes guids;

bool sameGuid(const GUID &a, const GUID &b) { return memcmp(&a, &b, sizeof a) == 0; }

bool schemeNamed(const GUID &scheme, const char *name) {
    wchar_t wanted[64];
    if (!MultiByteToWideChar(CP_ACP, 0, name, -1, wanted, 64))
        return false;
    wchar_t held[64] = {};
    DWORD size = sizeof held - sizeof(wchar_t); // the last character stays the terminator
    if (machine::PowerReadFriendlyName(nullptr, &scheme, nullptr, nullptr, (UCHAR *)held, &size) != ERROR_SUCCESS)
        return false;
    return wcscmp(held, wanted) == 0;
}

bool activeGuid(GUID &active) {
    GUID *got = nullptr;
    if (machine::PowerGetActiveScheme(nullptr, &got) != ERROR_SUCCESS || !got)
        return false;
    active = *got;
    LocalFree(got);
    return true;
}

bool schemeExists(const GUID &scheme) {
    DWORD size = 0;
    return machine::PowerReadFriendlyName(nullptr, &scheme, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
}

// The scheme recorded by an earlier start, when it is a scheme there and not the program's own.
bool recordedHandBack(const GUID &own, GUID &recorded) {
    char text[kGuidTextSize + 1];
    return readProgramText("HandBackScheme", text, sizeof text) && parseGuid(text, &recorded) &&
           !sameGuid(recorded, own) && schemeExists(recorded) && !schemeNamed(recorded, "Kelvane");
}

// The first look at the active scheme fixes what exit hands back, and records it: power schemes belong
// to the machine and outlive a log-off or a restart, so a start that finds the program's own scheme
// active (left by a crash, or by another session) hands back the recorded scheme, or else Balanced.
void readStartScheme() {
    if (guids.startRead)
        return;
    guids.startRead = true;
    GUID active;
    if (!activeGuid(active))
        return;
    guids.startKnown = true;
    if (schemeNamed(active, "Kelvane")) {
        guids.own = active;
        guids.ownKnown = true;
        if (!recordedHandBack(active, guids.handBack))
            guids.handBack = kSchemeBalanced;
    } else {
        guids.handBack = active;
        char text[kGuidTextSize];
        formatGuid(active, text);
        writeProgramText("HandBackScheme", text);
        recordUserPowerModes();
    }
}

// Nothing may be changed when the scheme active at start is unknown: exit could not hand it back.
bool startSchemeKnown() {
    readStartScheme();
    if (!guids.startKnown)
        showError("Read active power scheme Error.\n\nThe power schemes are left as they are.");
    return guids.startKnown;
}

bool guidFor(UINT scheme, GUID &guid) {
    readStartScheme();
    if (scheme == kHandBackIndex && guids.startKnown) {
        guid = guids.handBack;
        return true;
    }
    if (scheme == kOwnIndex && guids.ownKnown) {
        guid = guids.own;
        return true;
    }
    return false;
}

int searchGuidSchemes(const char *name, GUID &found) {
    for (ULONG i = 0;; ++i) {
        GUID scheme;
        DWORD size = sizeof scheme;
        DWORD rc = machine::PowerEnumerate(nullptr, nullptr, nullptr, kAccessScheme, i, (UCHAR *)&scheme, &size);
        if (rc == ERROR_NO_MORE_ITEMS)
            return 0;
        if (rc != ERROR_SUCCESS) {
            showError("Enumerate power schemes Error");
            return -1;
        }
        if (schemeNamed(scheme, name)) {
            found = scheme;
            return 1;
        }
    }
}

bool writeWideText(DWORD (*call)(HKEY, const GUID *, const GUID *, const GUID *, UCHAR *, DWORD),
                   const GUID &scheme, const char *text) {
    wchar_t wide[64];
    int chars = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 64);
    return chars > 0 && call(nullptr, &scheme, nullptr, nullptr, (UCHAR *)wide, DWORD(chars * sizeof(wchar_t))) ==
                            ERROR_SUCCESS;
}

// The program's scheme: the one it knows, one named as its own (left by a crash), or a new duplicate
// of the scheme active at start, so every setting the program does not manage stays the user's.
bool ownGuidScheme(const char *name, const char *description, GUID &scheme) {
    if (guids.ownKnown) {
        scheme = guids.own;
        return true;
    }
    if (searchGuidSchemes(name, scheme) == 1) {
        guids.own = scheme;
        guids.ownKnown = true;
        return true;
    }
    GUID *copy = nullptr;
    guids.ownRefused = true;
    if (machine::PowerDuplicateScheme(nullptr, &guids.handBack, &copy) != ERROR_SUCCESS || !copy)
        return false;
    scheme = *copy;
    LocalFree(copy);
    if (!writeWideText(machine::PowerWriteFriendlyName, scheme, name) ||
        !writeWideText(machine::PowerWriteDescription, scheme, description)) {
        machine::PowerDeleteScheme(nullptr, &scheme);
        return false;
    }
    guids.ownRefused = false;
    guids.own = scheme;
    guids.ownKnown = true;
    return true;
}

// Looks for a scheme named `name` among indices 0 to "LastID"; -1 when the search cannot run.
int searchIndexSchemes(const char *name, UINT &found) {
    HKEY key;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kPowerCfgMachineKey, &key) != ERROR_SUCCESS) {
        showError("Open PowerPolicy last ID Registry Error");
        return -1;
    }
    // Room for any index (ten digits or a sign) and the terminator Windows stores with it: a smaller
    // buffer fails the read once "LastID" reaches four digits, and then every start.
    char text[16] = {};
    DWORD size = sizeof text - 1;
    LONG rc = RegQueryValueExA(key, "LastID", nullptr, nullptr, (BYTE *)text, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
        showError("Read PowerPolicy last ID registry Error");
        return -1;
    }
    text[size < sizeof text ? size : sizeof text - 1] = '\0';
    int lastId = parseDecimal(text);
    // Only the schemes that are there are looked at, not every index up to "LastID": a corrupt one (any
    // number up to INT_MAX) would otherwise hold start-up for hours. The lowest index wins, as in a
    // search from 0 up.
    if (RegOpenKeyA(HKEY_CURRENT_USER, kSchemeListKey, &key) != ERROR_SUCCESS)
        return 0;
    bool any = false;
    char child[256]; // any key name fits, so a foreign one never ends the listing
    for (DWORD i = 0; RegEnumKeyA(key, i, child, sizeof child) == ERROR_SUCCESS; ++i) {
        int index = parseDecimal(child);
        char canonical[16], path[64], held[256];
        snprintf(canonical, sizeof canonical, "%d", index);
        if (index < 0 || index > lastId || strcmp(canonical, child) != 0 || (any && UINT(index) >= found))
            continue;
        snprintf(path, sizeof path, kSchemeKeyFormat, index);
        if (readRegText(HKEY_CURRENT_USER, path, "Name", held, sizeof held) && strcmp(held, name) == 0) {
            found = UINT(index);
            any = true;
        }
    }
    RegCloseKey(key);
    return any ? 1 : 0;
}

} // namespace

namespace schemes {

BOOLEAN getActive(UINT *scheme) {
    if (!ntSixOrLater())
        return machine::GetActivePwrScheme(scheme);
    readStartScheme();
    GUID active;
    if (!activeGuid(active))
        return FALSE;
    if (guids.ownKnown && sameGuid(active, guids.own))
        *scheme = kOwnIndex;
    else if (guids.startKnown && sameGuid(active, guids.handBack))
        *scheme = kHandBackIndex;
    else
        *scheme = kOtherIndex;
    return TRUE;
}

BOOLEAN activate(UINT scheme, GLOBAL_POWER_POLICY *global, POWER_POLICY *policy) {
    if (!ntSixOrLater())
        return machine::SetActivePwrScheme(scheme, global, policy);
    GUID guid;
    if (!guidFor(scheme, guid))
        return FALSE;
    // The user's schemes are only made active, never written.
    if (scheme != kOwnIndex)
        return machine::PowerSetActiveScheme(nullptr, &guid) == ERROR_SUCCESS;
    if (policy)
        writeSettings(guid, *policy);
    writeBrightness(guid);
    if (machine::PowerSetActiveScheme(nullptr, &guid) != ERROR_SUCCESS)
        return FALSE;
    powerModeFollowsScheme(guid);
    recordHeldSettings();
    return TRUE;
}

BOOLEAN read(UINT scheme, POWER_POLICY *policy) {
    if (!ntSixOrLater())
        return machine::ReadPwrScheme(scheme, policy);
    GUID guid;
    if (!guidFor(scheme, guid))
        return FALSE;
    // What the settings cannot express comes from the step in force.
    *policy = app.activeSettings.policy;
    readSettings(guid, *policy);
    return TRUE;
}

BOOLEAN write(UINT *scheme, const char *name, const char *description, POWER_POLICY *policy) {
    if (!ntSixOrLater()) {
        if (!app.isNt)
            return machine::WritePwrScheme(scheme, name, description, policy);
        wchar_t wideName[32], wideDescription[32];
        MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, 32);
        MultiByteToWideChar(CP_ACP, 0, description, -1, wideDescription, 32);
        return machine::WritePwrScheme(scheme, wideName, wideDescription, policy);
    }
    // Only the program's own scheme is ever written, whatever index it was last stored under.
    GUID guid;
    if (*scheme == kHandBackIndex || !startSchemeKnown() || !ownGuidScheme(name, description, guid))
        return FALSE;
    writeSettings(guid, *policy);
    *scheme = kOwnIndex;
    return TRUE;
}

bool ownRefused() { return guids.ownRefused; }

BOOLEAN remove(UINT scheme) {
    if (!ntSixOrLater())
        return machine::DeletePwrScheme(scheme);
    GUID guid;
    if (scheme != kOwnIndex || !guidFor(scheme, guid))
        return FALSE;
    if (machine::PowerDeleteScheme(nullptr, &guid) != ERROR_SUCCESS)
        return FALSE;
    guids.ownKnown = false;
    return TRUE;
}

void discard(UINT scheme) {
    if (ntSixOrLater()) {
        remove(scheme);
        return;
    }
    char path[64];
    snprintf(path, sizeof path, kSchemeKeyFormat, int(scheme));
    RegDeleteKeyA(HKEY_CURRENT_USER, path);
}

BOOLEAN currentPolicies(GLOBAL_POWER_POLICY *global, POWER_POLICY *policy) {
    if (!ntSixOrLater())
        return machine::GetCurrentPowerPolicies(global, policy);
    // No global policy here: lid and button actions stay as the user keeps them.
    GUID active;
    if (!activeGuid(active))
        return FALSE;
    if (policy)
        readSettings(active, *policy);
    return TRUE;
}

BOOLEAN readProcessor(UINT scheme, MACHINE_PROCESSOR_POWER_POLICY *policy) {
    // The processor's limits travel with the scheme's settings from Windows Vista on.
    return !ntSixOrLater() && machine::ReadProcessorPwrScheme(scheme, policy);
}

BOOLEAN writeProcessor(UINT scheme, MACHINE_PROCESSOR_POWER_POLICY *policy) {
    return !ntSixOrLater() && machine::WriteProcessorPwrScheme(scheme, policy);
}

int findByName(const char *name, UINT &found) {
    if (!ntSixOrLater())
        return searchIndexSchemes(name, found);
    if (!startSchemeKnown())
        return -1;
    if (guids.ownKnown) {
        found = kOwnIndex;
        return 1;
    }
    GUID scheme;
    int searched = searchGuidSchemes(name, scheme);
    if (searched == 1) {
        guids.own = scheme;
        guids.ownKnown = true;
        found = kOwnIndex;
    }
    return searched;
}

bool readGlobalPolicy() {
    // Windows Vista and later keep no global policy, and a step file does not need one.
    if (ntSixOrLater())
        return true;
    HKEY key;
    if (RegOpenKeyA(HKEY_CURRENT_USER, kGlobalPolicyKey, &key) != ERROR_SUCCESS) {
        showError("Open GlobalPowerPolicy Registry Error.\n"
                  "HKEY_CURRENT_USER\\Control Panel\\PowerCfg\\GlobalPowerPolicy");
        return false;
    }
    DWORD size = sizeof app.globalPolicy;
    LONG rc = RegQueryValueExA(key, "Policies", nullptr, nullptr, (BYTE *)&app.globalPolicy, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS) {
        showError("Read Global power policy registry Error\n"
                  "HKEY_CURRENT_USER\\Control Panel\\PowerCfg\\GlobalPowerPolicy\\Policies");
        return false;
    }
    return true;
}

} // namespace schemes
