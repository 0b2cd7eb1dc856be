// Power events: the power source changes, the notebook sleeps and wakes, and the scheme bounce that
// makes Windows take the program's scheme up again.
#include "shell/mainwnd.h"

#include "configdialog/configdialog.h"
#include "core/configrules.h"
#include "engine/stepapply.h"
#include "machine/machine.h"
#include "state/appstate.h"
#include "state/commands.h"
#include "state/operation.h"
#include "store/schemes.h"
#include "store/sharedscheme.h"

// A bounce is under way (the user's scheme is in force for its second); `bounceTellsOsd`: its end
// shows the step on the display.
static bool bounceRunning, bounceTellsOsd;

void powerSourceChanged(HWND window) {
    MachineOperation operation;
    SYSTEM_POWER_STATUS status;
    if (!machine::GetSystemPowerStatus(&status))
        return;
    DWORD newStep;
    if (status.ACLineStatus == 0) {
        if (!app.onAc && app.onBattery)
            return;
        app.onBattery = 1;
        app.onAc = 0;
        stopCycle();
        if (!app.configOpen)
            readPanelLevel(1);
        offerSteps(app.trayMenu, false);
        newStep = app.dcStep;
    } else if (status.ACLineStatus == 1) {
        if (!app.onBattery && app.onAc)
            return;
        app.onAc = 1;
        app.onBattery = 0;
        stopCycle();
        if (!app.configOpen)
            readPanelLevel(2);
        offerSteps(app.trayMenu, true);
        newStep = app.acStep;
    } else {
        return;
    }
    PostMessageA(window, kSourceStepMessage, newStep, 0);
    // An open dialog shows the half of a shared step that belongs to the new source; the scheme
    // bounce follows the step switch just posted.
    if (app.configOpen) {
        previewPanelLevel(0);
        if (stepSide(app.editStep, app.acLastStep, app.dcFirstStep) == AcAndDc)
            FillSettingsTree(app.configDialog, app.editStep, 0);
    }
}

void suspended() {
    SYSTEM_POWER_STATUS status = {};
    status.ACLineStatus = 1; // an unreadable status counts as mains, like any value but 0
    machine::GetSystemPowerStatus(&status);
    if (status.ACLineStatus == 0) {
        app.onBattery = 1;
        app.batteryAtSuspend = 1;
        app.onAc = 0;
    } else {
        app.onAc = 1;
        app.onBattery = 0;
        app.batteryAtSuspend = 0;
    }
}

void resumed(HWND window) {
    MachineOperation operation;
    if (app.clockSupport)
        probeClocks();
    SYSTEM_POWER_STATUS status;
    if (!machine::GetSystemPowerStatus(&status) || status.ACLineStatus != (app.batteryAtSuspend ? 0 : 1))
        return;
    startSchemeBounce(window, true);
}

static bool activateScheme(UINT scheme) {
    POWER_POLICY policy;
    return !machineClosed() && schemes::read(scheme, &policy) && schemes::activate(scheme, nullptr, &policy);
}

void startSchemeBounce(HWND window, bool tellOsd) {
    if (inBackgroundSession())
        return; // the scheme in force is the other session's user's
    if (bounceRunning) { // its end comes soon and brings the program's scheme back
        bounceTellsOsd = bounceTellsOsd || tellOsd;
        return;
    }
    POWER_POLICY user;
    if (machineClosed() || !schemes::read(app.userScheme, &user))
        return; // an unreadable user's scheme ends it all, the display untold
    bool active = schemes::activate(app.userScheme, nullptr, &user);
    if (active && SetTimer(window, kBounceTimer, 1000, nullptr)) {
        bounceRunning = true;
        bounceTellsOsd = tellOsd;
        return;
    }
    if (active)
        activateScheme(app.ownScheme); // no timer to end the second: the program's scheme at once
    if (tellOsd)
        NotifyOsd(app.currentStep);
}

void endSchemeBounce(HWND window) {
    KillTimer(window, kBounceTimer);
    if (!bounceRunning)
        return;
    MachineOperation operation;
    bounceRunning = false;
    activateScheme(app.ownScheme);
    if (bounceTellsOsd)
        NotifyOsd(app.currentStep); // the display shows the step once the program's scheme is back
}
