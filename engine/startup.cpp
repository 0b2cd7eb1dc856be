// Start-up: the capability probe and the program's saved values.
#include "engine/startup.h"

#include "core/decimal.h"
#include "core/steps.h"
#include "engine/firmware.h"
#include "engine/stepapply.h"
#include "machine/machine.h"
#include "screensaver/screensaver.h"
#include "state/appstate.h"
#include "state/operation.h"
#include "store/powerscheme.h"
#include "store/programfiles.h"
#include "store/regtext.h"
#include "store/schemes.h"
#include "store/stepfiles.h"

#include <cstring>

// Reads one of the program's decimal values into a buffer of `size` bytes; false when missing.
static bool readProgramNumber(const char *value, DWORD size, DWORD &number) {
    char text[16];
    if (size > sizeof text || !readProgramText(value, text, size))
        return false;
    number = DWORD(parseDecimal(text));
    return true;
}

void readPanelControl() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\VKT0100", 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    DWORD value = 0, type = REG_DWORD, size = sizeof value;
    if (RegQueryValueExA(key, "ALSC_CONTROL", nullptr, &type, (BYTE *)&value, &size) == ERROR_SUCCESS)
        app.panelControl = value == 0 ? 1 : 0;
    RegCloseKey(key);
}

int loadStartupSettings() {
    schemes::getActive(&app.userScheme);

    char dir[MAX_PATH];
    // The file path first: it says so when the folder is too long, where the folder alone would not.
    if (!userFilePath("Lumora.ini", app.iniPath, sizeof app.iniPath) || !programDirectory(dir, sizeof dir))
        return 0;
    SetCurrentDirectoryA(dir);

    DWORD number;
    // Any index reads back (ten digits, or a sign): one that did not would make a new scheme at every
    // start, until "LastID" outgrew its own read.
    app.ownScheme = readProgramNumber("Power_Scheme_No", 12, number) ? number : 0;

    // A step outside 1-8 counts as missing: it has no file, and would stop every start until the value
    // was mended by hand.
    app.currentStep = readProgramNumber("CurrentStep", 2, number) && isStep(number) ? number : 0;
    if (app.currentStep == 0) {
        app.currentStep = 2;
        writeProgramText("CurrentStep", "2");
    }
    app.cycleStep = app.currentStep;

    // Remembered steps outside 1-8 count as missing too; the source's own limits are clamped after.
    app.acStep = readProgramNumber("AC_Current_Step", 2, number) && isStep(number) ? number : 2;
    if (app.acStep > app.acLastStep && app.acStep != kModeSwitchStep && app.acStep != kDisplaySwitchStep) {
        app.acStep = app.acLastStep;
        writeProgramNumber("AC_Current_Step", app.acStep);
    }

    app.dcStep = readProgramNumber("DC_Current_Step", 2, number) && isStep(number) ? number : 5;
    if (app.dcStep < app.dcFirstStep) {
        app.dcStep = app.dcFirstStep;
        writeProgramNumber("DC_Current_Step", app.dcStep);
    }

    app.vidmoResolution = readProgramNumber("Vidmo_RES", 3, number) ? number : 0;

    if (app.isXp) {
        char text[2];
        if (readProgramText("AUTOPERFORMANCE", text, sizeof text))
            app.autoPerformance = strcmp(text, "1") == 0 ? 1 : 0;
    }

    app.acFirstStep = kAcFirstStep;
    if (app.clockSupport == 1)
        probeClocks();
    if (app.isXp)
        resetThrottleTable(0);
    resetFeatureItems();
    return loadStepSettings(app.currentStep, app.activeSettings);
}

int probeCapabilities(int forceThrottle, int startedByRunEntry) {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    machine::GetVersionExA(&version);
    app.isNt = version.dwPlatformId == VER_PLATFORM_WIN32_NT ? 1 : 0;
    if (app.isNt && version.dwMajorVersion == 5 && version.dwMinorVersion != 0)
        app.isXp = 1;

    DWORD result = 0;
    if (firmware::One_Method(firmware::QMOD, 0, &result) && result == 1)
        app.qmodSupported = 1;

    app.screenSaverActiveAtStart = captureScreenSaverAtStart(app.screenSaverPath);

    SYSTEM_POWER_STATUS status;
    if (machine::GetSystemPowerStatus(&status)) {
        if (status.ACLineStatus == 0) {
            app.onAc = 0;
            app.onBattery = 1;
        } else if (status.ACLineStatus == 1) {
            app.onAc = 1;
            app.onBattery = 0;
        }
    }
    char systemDir[kTextSize];
    UINT length = GetSystemDirectoryA(systemDir, sizeof systemDir);
    if (length == 0 || length >= sizeof systemDir)
        return 0;

    app.savedDisplayMode.dmSize = sizeof app.savedDisplayMode;
    if (!machine::EnumDisplaySettingsA(ENUM_CURRENT_SETTINGS, &app.savedDisplayMode))
        app.savedDisplayMode.dmPelsHeight = 0;

    app.standbyAllowed = machine::IsPwrSuspendAllowed() & 0xFF;
    app.hibernateAllowed = machine::IsPwrHibernateAllowed() & 0xFF;
    SYSTEM_POWER_CAPABILITIES capabilities = {};
    if (machine::GetPwrCapabilities(&capabilities))
        app.throttleSupported = capabilities.ProcessorThrottle ? 1 : 0;
    readPanelControl();
    if (forceThrottle)
        app.throttleSupported = 1;
    app.acPanelLevel = 15;
    readPanelLevel(0);
    if (app.isXp)
        app.throttleSupported = 0;

    // An Exit that came during the boxes of the load (a step file copied from its default) ends the
    // start here, before anything of the user's has been changed.
    if (!loadStartupSettings() || exitRemembered())
        return 0;
    return provisionPowerScheme(startedByRunEntry);
}
