// The program's own Windows power scheme "Kelvane": found or written at start-up, given back at the end.
#include "store/powerscheme.h"

#include "state/operation.h"
#include "state/appstate.h"
#include "store/powermode.h"
#include "store/programfiles.h"
#include "store/regtext.h"
#include "store/schemes.h"
#include "store/sharedscheme.h"

#include <cstdio>
#include <cstring>

static const char kSchemeName[] = "Kelvane";
static const char kSchemeDescription[] = "Kelvane PowerScheme";

// Sets autoStartUp when the start-at-logon value could be stored.
static void storeAutoStartUp() {
    if (writeProgramText("AUTOSTARTUP", "1"))
        app.autoStartUp = 1;
}

// On XP the program's scheme takes the processor policy of Windows scheme 3.
static void copyProcessorPolicy() {
    MACHINE_PROCESSOR_POWER_POLICY policy;
    if (schemes::readProcessor(3, &policy))
        schemes::writeProcessor(app.ownScheme, &policy);
}

// A scheme new to the program also turns automatic performance on.
static void adoptXpScheme() {
    writeProgramText("AUTOPERFORMANCE", "1");
    copyProcessorPolicy();
}

static void restrictedUser() {
    showError("A restricted user can not use this program.\n\nPlease make sure you are not a restricted "
              "user.\nYou need restart this program.");
    writeProgramText("Power_Scheme_No", "0");
}

// Writes the program's scheme under its known index, or as a new scheme when none is known.
static bool writeOwnScheme(int startedByRunEntry) {
    bool created = app.ownScheme == 0;
    if (created)
        app.ownScheme = 0xFFFFFFFFu;
    if (!schemes::write(&app.ownScheme, kSchemeName, kSchemeDescription, &app.activeSettings.policy)) {
        // From Vista on a refused copy of the user's scheme is a restricted user, as a refused
        // activation is; nothing was made, so nothing is undone.
        if (schemes::ownRefused())
            restrictedUser();
        return false;
    }
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
    if (!schemes::activate(app.ownScheme, nullptr, nullptr)) {
        restrictedUser();
        if (!otherSessionHoldsScheme())
            schemes::discard(app.ownScheme);
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
        int searched = schemes::findByName(kSchemeName, index);
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
    // Another session's program still works in the machine's one scheme: it stays as it is.
    if (otherSessionHoldsScheme())
        return;
    // The user's policy is read into a record of its own: the step in force keeps its settings.
    UINT scheme = app.ownScheme == app.userScheme ? 0 : app.userScheme;
    POWER_POLICY user;
    if (schemes::read(scheme, &user) && schemes::activate(scheme, nullptr, &user)) {
        schemes::remove(app.ownScheme);
        if (ntSixOrLater())
            handBackPowerModes();
    }
}

void handBackAtExit() {
    if (otherSessionHoldsScheme())
        return;
    // When the active scheme cannot be read, ours may well be it: hand the user's back first.
    UINT active = 0;
    if (!schemes::getActive(&active) || active == app.ownScheme) {
        restoreUserScheme();
    } else {
        schemes::remove(app.ownScheme);
        if (ntSixOrLater())
            handBackPowerModes();
    }
}
