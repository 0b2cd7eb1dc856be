// Putting a step into effect, capturing the live state of a step, and the tables behind the steps.
#include "engine/stepapply.h"

#include "core/decimal.h"
#include "core/steps.h"
#include "core/steptables.h"
#include "engine/firmware.h"
#include "machine/machine.h"
#include "screensaver/screensaver.h"
#include "state/operation.h"
#include "state/appstate.h"
#include "store/programfiles.h"
#include "store/regtext.h"
#include "store/schemes.h"
#include "store/stepfiles.h"
#include "tray/tray.h"

#include <cstdio>
#include <cstring>

// Once the machine is handed back (the session ended inside an application), no method follows.
static void sendMethod(DWORD method, DWORD argument) {
    DWORD out = 0;
    if (!machineClosed())
        firmware::One_Method(method, argument, &out);
}

void setProcessorThrottle(UINT scheme, BYTE acPolicy, BYTE dcPolicy) {
    MACHINE_PROCESSOR_POWER_POLICY policy;
    // Nothing read must not be written back over the scheme's processor policy.
    if (machineClosed() || !schemes::readProcessor(scheme, &policy))
        return;
    policy.ProcessorPolicyAc.DynamicThrottle = acPolicy;
    policy.ProcessorPolicyDc.DynamicThrottle = dcPolicy;
    schemes::writeProcessor(scheme, &policy);
}

void resetThrottleTable(unsigned mode) {
    throttleTable(mode, app.autoPerformance != 0, app.stepThrottleAc, app.stepThrottleDc);
}

void resetFeatureItems() {
    uint32_t shown[8];
    performanceItems(app.isXp != 0, app.autoPerformance != 0, shown);
    for (unsigned i = 0; i < 8; ++i)
        app.perfItemShown[i] = shown[i];
}

void probeClocks() {
    uint32_t mhz[3];
    for (DWORD index = 0; index < 3; ++index) {
        DWORD out = 0;
        mhz[index] = firmware::One_Method(firmware::GFRQ, index, &out) ? out : 0;
        app.clockMhz[index] = mhz[index];
    }
    ClockPlan plan = planClocks(mhz);
    app.clockLowIndex = plan.lowIndex;
    app.clockMidIndex = plan.midIndex;
    app.clockHighIndex = plan.highIndex;
    app.clockSupport = plan.support;
    for (unsigned i = 0; i < 8; ++i)
        app.stepClockIndex[i] = plan.stepIndex[i];
}

// Sends the step's clock index when it changes; a start-up application with a window sends it anyway.
static void applyClock(HWND window, unsigned step, DWORD previousStep) {
    DWORD &index = app.stepClockIndex[stepIndex(step)];
    if (index > 2 || app.clockMhz[index] == 0)
        index = app.clockMidIndex;
    if (isStep(previousStep)) {
        if (index != app.stepClockIndex[stepIndex(previousStep)])
            sendMethod(firmware::SFRQ, index);
    } else if (window) {
        sendMethod(firmware::SFRQ, index);
    }
}

// Switches to the first display mode of the chosen resolution at the saved colour depth.
static void changeToVidmoResolution() {
    if (machineClosed())
        return;
    Resolution size = vidmoResolutionSize(app.vidmoResolution);
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    for (DWORD number = 0; machine::EnumDisplaySettingsA(number, &mode); ++number) {
        if (mode.dmPelsWidth == size.width && mode.dmPelsHeight == size.height &&
            mode.dmBitsPerPel == app.savedDisplayMode.dmBitsPerPel) {
            machine::ChangeDisplaySettingsA(&mode, CDS_UPDATEREGISTRY);
            return;
        }
    }
}

// Started in its place in the step's order: CreateProcessA returns at once, so nothing waits for the
// tool, and the program's path is quoted, since in a folder with blanks ("C:\Program
// Files\...") Windows would otherwise try "C:\Program.exe" first.
static void startDisplayTool() {
    char tool[MAX_PATH];
    char command[MAX_PATH + 16];
    if (!machineClosed() && programFilePath("VidmoCFG.EXE", tool, sizeof tool) &&
        snprintf(command, sizeof command, "\"%s\" VIDMO", tool) < int(sizeof command))
        machine::StartProgram(command, SW_SHOWDEFAULT);
}

void restoreSavedDisplayMode() {
    if (app.savedDisplayMode.dmPelsHeight == 0)
        return;
    DEVMODEA current = {};
    current.dmSize = sizeof current;
    if (!machine::EnumDisplaySettingsA(ENUM_CURRENT_SETTINGS, &current) ||
        current.dmPelsWidth != app.savedDisplayMode.dmPelsWidth ||
        current.dmPelsHeight != app.savedDisplayMode.dmPelsHeight)
        machine::ChangeDisplaySettingsA(&app.savedDisplayMode, CDS_UPDATEREGISTRY);
}

static void readVidmoResolution() {
    char text[3];
    app.vidmoResolution = readProgramText("Vidmo_RES", text, sizeof text) ? DWORD(parseDecimal(text)) : 0;
}

static void applyDisplaySwitch(unsigned step, DWORD previousStep) {
    if (step == kDisplaySwitchStep) {
        readVidmoResolution();
        if (previousStep != kDisplaySwitchStep) {
            app.savedDisplayMode.dmSize = sizeof app.savedDisplayMode;
            if (!machine::EnumDisplaySettingsA(ENUM_CURRENT_SETTINGS, &app.savedDisplayMode))
                app.savedDisplayMode.dmPelsHeight = 0;
            if (app.vidmoResolution == 0)
                startDisplayTool();
            else
                changeToVidmoResolution();
        }
        sendMethod(firmware::SDSP, 3);
    } else if (previousStep == kDisplaySwitchStep) {
        sendMethod(firmware::SDSP, 1);
        restoreSavedDisplayMode();
    }
}

int applyStep(HWND window, DWORD *stepRef, DWORD previousStep) {
    if (machineClosed())
        return 0; // the machine is handed back: the program is ending
    DWORD step = *stepRef;
    StepSettings &record = window ? app.activeSettings : app.editSettings;
    HMENU menu = window ? GetSubMenu(GetMenu(window), 0) : app.trayMenu;

    // Loaded aside and copied only once whole: a short step file must not mix its bytes into the step
    // in force (whose panel level would be sent and whose file the next capture would write).
    StepSettings loaded = record;
    schemes::currentPolicies(&app.globalPolicy, &loaded.policy);
    // The load refuses steps outside 1-8, so every table below is indexed in range.
    if (!loadStepSettings(step, loaded)) {
        if (window)
            *stepRef = previousStep;
        return 0;
    }
    // The load's notice of a copied default is a message box, whose loop may have ended the session.
    if (machineClosed())
        return 0;
    record = loaded;
    unsigned index = stepIndex(step);

    if (app.isXp) {
        record.policy.user.ThrottlePolicyAc = app.stepThrottleAc[index];
        record.policy.user.ThrottlePolicyDc = app.stepThrottleDc[index];
        setProcessorThrottle(app.ownScheme, app.stepThrottleAc[index], app.stepThrottleDc[index]);
    }
    schemes::activate(app.ownScheme, &app.globalPolicy, &record.policy);

    if (app.clockSupport == 1 && step != previousStep)
        applyClock(window, step, previousStep);

    char name[kTextSize] = {};
    GetMenuStringA(menu, index, name, sizeof name, MF_BYPOSITION);
    SetTrayIcon(app.mainWindow, kStepIcons[index], name, NIM_MODIFY);
    // The shell's call takes sent messages: the end of the session may have handed the machine back.
    if (machineClosed())
        return 0;

    if (app.onAc)
        app.acStep = step;
    else
        app.dcStep = step;
    app.cycleStep = step;
    writeProgramNumber("CurrentStep", step);

    if (app.onAc) {
        applyScreenSaver(app.activeSettings.screenSaverAc, app.screenSaverPath);
        writeProgramNumber("AC_Current_Step", step);
    } else {
        applyScreenSaver(app.activeSettings.screenSaverDc, app.screenSaverPath);
        writeProgramNumber("DC_Current_Step", step);
    }

    // Re-applying the step in force (no previous step: a save, a default, a throttle reset) enters
    // neither step 5 nor step 6 again: the resolution saved on entry stays until the step is left.
    bool reapplied = previousStep == 0 && step == app.switchedStep;
    if (app.qmodSupported && !reapplied) {
        if (step == kModeSwitchStep && previousStep != kModeSwitchStep)
            sendMethod(firmware::QMOD, 1);
        else if (previousStep == kModeSwitchStep && step != kModeSwitchStep)
            sendMethod(firmware::QMOD, 2);
    }
    sendMethod(firmware::SPGS, step);
    if (!reapplied)
        applyDisplaySwitch(step, previousStep);
    app.switchedStep = step;

    if (isStep(previousStep))
        CheckMenuItem(menu, stepIndex(previousStep), MF_BYPOSITION | MF_UNCHECKED);
    CheckMenuItem(menu, index, MF_BYPOSITION | MF_CHECKED);
    return 1;
}

void captureStepState(DWORD step, DWORD onAcNow) {
    // No step in force (the first application failed): nothing to capture, and its load error was
    // shown already.
    if (!isStep(step) || machineClosed())
        return;
    DWORD active = queryScreenSaver(app.screenSaverPath);
    if (onAcNow)
        app.activeSettings.screenSaverAc = active;
    else
        app.activeSettings.screenSaverDc = active;

    UINT scheme = 0;
    if (!schemes::getActive(&scheme) || scheme != app.ownScheme || app.configOpen)
        return;
    // Changes made through the Windows power options go into the step's file.
    GLOBAL_POWER_POLICY global;
    schemes::currentPolicies(&global, &app.activeSettings.policy);

    // The throttle fields are the program's own, not the user's: take them from the file. When the
    // file cannot be loaded, the live values are kept and still saved, so the state in force survives.
    StepSettings fromFile;
    if (loadStepSettings(step, fromFile)) {
        USER_POWER_POLICY &live = app.activeSettings.policy.user;
        live.ThrottlePolicyAc = fromFile.policy.user.ThrottlePolicyAc;
        live.ThrottlePolicyDc = fromFile.policy.user.ThrottlePolicyDc;
        live.ForcedThrottleAc = fromFile.policy.user.ForcedThrottleAc;
        live.ForcedThrottleDc = fromFile.policy.user.ForcedThrottleDc;
    }
    saveStepSettings(step, app.activeSettings);
}

// Sends the level for the power source; `batteryLevel` is the level used on battery.
static void sendPanelLevelForSource(DWORD batteryLevel) {
    SYSTEM_POWER_STATUS status;
    if (!machine::GetSystemPowerStatus(&status))
        return;
    if (status.ACLineStatus == 0) {
        app.onAc = 0;
        sendMethod(firmware::SPLV, batteryLevel);
    } else if (status.ACLineStatus == 1) {
        app.onAc = 1;
        sendMethod(firmware::SPLV, app.acPanelLevel);
    }
}

void applyPanelLevel() {
    if (app.panelControl)
        sendPanelLevelForSource(app.activeSettings.panelLevel);
}

void previewPanelLevel(int force) {
    if (!app.panelControl)
        return;
    if (force == 1)
        sendMethod(firmware::SPLV, app.editSettings.panelLevel);
    else
        sendPanelLevelForSource(app.editSettings.panelLevel);
}

void readPanelLevel(int which) {
    if (!app.panelControl)
        return;
    DWORD out = 0;
    // A failed read keeps the level the program had.
    if (!firmware::None_Method(firmware::GPLV, &out))
        return;
    DWORD level = panelLevelFromFirmware(out);
    if (which == 1) {
        app.acPanelLevel = level;
    } else if (which == 2) {
        app.activeSettings.panelLevel = level;
    } else {
        SYSTEM_POWER_STATUS status;
        if (!machine::GetSystemPowerStatus(&status))
            return;
        if (status.ACLineStatus == 0) {
            app.onAc = 0;
            app.activeSettings.panelLevel = level;
        } else if (status.ACLineStatus == 1) {
            app.onAc = 1;
            app.acPanelLevel = level;
        }
    }
}
