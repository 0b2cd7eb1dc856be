// The program's own Windows power scheme "Kelvane": found or written at start-up, given back at the end.
#include "store/powerscheme.h"

#include "core/decimal.h"
#include "machine/machine.h"
#include "machine/powercfg_keys.h"
#include "state/applock.h"
#include "state/appstate.h"
#include "store/regtext.h"

#include <cstdio>
#include <cstring>

static const char kSchemeName[] = "Kelvane";
static const char kSchemeDescription[] = "Kelvane PowerScheme";

// Looks for a scheme named "Kelvane" among indices 0 to "LastID"; -1 when the search cannot run.
static int searchSchemeByName(UINT &found) {
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
    for (int i = 0; i <= lastId; ++i) {
        char path[64], name[256];
        snprintf(path, sizeof path, kSchemeKeyFormat, i);
        if (!readRegText(HKEY_CURRENT_USER, path, "Name", name, sizeof name))
            continue;
        if (strcmp(name, kSchemeName) == 0) {
            found = UINT(i);
            return 1;
        }
    }
    return 0;
}

// Sets autoStartUp when the start-at-logon value could be stored.
static void storeAutoStartUp() {
    if (writeProgramText("AUTOSTARTUP", "1"))
        app.autoStartUp = 1;
}

// On XP the program's scheme takes the processor policy of Windows scheme 3.
static void copyProcessorPolicy() {
    MACHINE_PROCESSOR_POWER_POLICY policy;
    if (machine::ReadProcessorPwrScheme(3, &policy))
        machine::WriteProcessorPwrScheme(app.ownScheme, &policy);
}

// A scheme new to the program also turns automatic performance on.
static void adoptXpScheme() {
    writeProgramText("AUTOPERFORMANCE", "1");
    copyProcessorPolicy();
}

static BOOLEAN writeScheme() {
    if (!app.isNt)
        return machine::WritePwrScheme(&app.ownScheme, kSchemeName, kSchemeDescription, &app.activeSettings.policy);
    wchar_t name[32], description[32];
    MultiByteToWideChar(CP_ACP, 0, kSchemeName, -1, name, 32);
    MultiByteToWideChar(CP_ACP, 0, kSchemeDescription, -1, description, 32);
    return machine::WritePwrScheme(&app.ownScheme, name, description, &app.activeSettings.policy);
}

// Writes the program's scheme under its known index, or as a new scheme when none is known.
static bool writeOwnScheme(int startedByRunEntry) {
    bool created = app.ownScheme == 0;
    if (created)
        app.ownScheme = 0xFFFFFFFFu;
    if (!writeScheme())
        return false;
    // Exit deleted the scheme with its processor policy, so a known index needs the copy again; the
    // user's automatic-performance choice stays.
    if (app.isXp) {
        if (created)
            adoptXpScheme();
        else
            copyProcessorPolicy();
    }
    if (created && startedByRunEntry)
        storeAutoStartUp();
    writeProgramNumber("Power_Scheme_No", app.ownScheme);
    return true;
}

static int activateOwnScheme(int startedByRunEntry) {
    if (!machine::SetActivePwrScheme(app.ownScheme, nullptr, nullptr)) {
        showError("A restricted user can not use this program.\n\nPlease make sure you are not a restricted "
                  "user.\nYou need restart this program.");
        writeProgramText("Power_Scheme_No", "0");
        char path[64];
        snprintf(path, sizeof path, kSchemeKeyFormat, int(app.ownScheme));
        RegDeleteKeyA(HKEY_CURRENT_USER, path);
        restoreUserScheme();
        return 0;
    }
    if (!app.autoStartUp) {
        char text[2];
        if (readProgramText("AUTOSTARTUP", text, sizeof text) && strcmp(text, "1") == 0)
            app.autoStartUp = 1;
    }
    // Started at log-on while start at log-on is off: end quietly.
    if (startedByRunEntry && !app.autoStartUp) {
        restoreUserScheme();
        return 0;
    }
    return 1;
}

int provisionPowerScheme(int startedByRunEntry) {
    bool found = false;
    if (app.ownScheme == 0) {
        UINT index = 0;
        int searched = searchSchemeByName(index);
        if (searched < 0)
            return 0;
        if (searched > 0) {
            found = true;
            app.ownScheme = index;
            writeProgramNumber("Power_Scheme_No", index);
            if (startedByRunEntry)
                storeAutoStartUp();
        }
        // A scheme found at index 0 keeps ownScheme 0, so the next start searches again.
        if (app.isXp && app.ownScheme != 0)
            adoptXpScheme();
    }
    if (!found && !writeOwnScheme(startedByRunEntry))
        return 0;
    return activateOwnScheme(startedByRunEntry);
}

void restoreUserScheme() {
    UINT scheme = app.ownScheme == app.userScheme ? 0 : app.userScheme;
    if (machine::ReadPwrScheme(scheme, &app.activeSettings.policy) &&
        machine::SetActivePwrScheme(scheme, nullptr, &app.activeSettings.policy))
        machine::DeletePwrScheme(app.ownScheme);
}
