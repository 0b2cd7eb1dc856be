// Step commands: a step chosen, the step cycle, automatic performance and the throttle resets.
#include "shell/mainwnd.h"

#include "configdialog/configdialog.h"
#include "core/steps.h"
#include "engine/startup.h"
#include "engine/stepapply.h"
#include "shell/sessions.h"
#include "state/appstate.h"
#include "state/commands.h"
#include "state/operation.h"
#include "store/regtext.h"
#include "tray/tray.h"

void offerSteps(HMENU menu, bool onAcRule) {
    for (unsigned step = kFirstStep; step <= kLastStep; ++step) {
        bool offered = onAcRule ? acOffersStep(step, app.acFirstStep, app.acLastStep)
                                : dcOffersStep(step, app.dcFirstStep);
        EnableMenuItem(menu, StepCommand(step), MF_BYCOMMAND | (offered ? MF_ENABLED : MF_GRAYED));
    }
}

void NotifyOsd(DWORD step) {
    app.osdWindow = FindWindowA("CNewOsd", "VKTOSD2");
    if (!app.osdWindow)
        app.osdWindow = FindWindowA("VKTOSD", "VKTOSD");
    if (!app.osdWindow)
        return;
    WPARAM wParam = (WPARAM(step & 0xFFFF) << 16) | kOsdStepCommand;
    PostMessageA(app.osdWindow, WM_COMMAND, wParam, (LPARAM)GetDlgItem(app.osdWindow, kOsdStepCommand));
}

void switchStep(HWND window, DWORD step, bool sourceChanged) {
    // In a session in the background the step is recorded only: the notebook is the other user's.
    if (heldInBackground(step))
        return;
    MachineOperation operation;
    DWORD previous = app.currentStep;
    app.currentStep = step;
    if (!app.configOpen && !sourceChanged)
        readPanelLevel(0);
    captureStepState(previous, app.onAc);
    applyStep(window, &app.currentStep, previous);
    readPanelControl();
    applyPanelLevel();
    NotifyOsd(app.currentStep);
    // The bounce starts once the new source's step is in force, so the user's scheme really is
    // active for its second.
    if (sourceChanged)
        startSchemeBounce(window, false);
}

void cycleCommand() {
    app.cycleStep = nextCycleStep(app.cycleStep, app.onAc != 0, app.acFirstStep, app.acLastStep, app.dcFirstStep);
    NotifyOsd(app.cycleStep);
    scheduleCycleStep();
}

void cycleStepDue(HWND window) {
    if (!takeDueCycleStep() || heldInBackground(app.cycleStep))
        return;
    MachineOperation operation;
    if (!app.configOpen)
        readPanelLevel(app.onAc ? 1 : 2);
    captureStepState(app.currentStep, app.onAc);
    applyStep(window, &app.cycleStep, app.currentStep);
    applyPanelLevel();
    app.currentStep = app.cycleStep;
}

void toggleAutoPerformance(HWND window) {
    MachineOperation operation;
    if (writeProgramText("AUTOPERFORMANCE", app.autoPerformance ? "0" : "1"))
        app.autoPerformance = !app.autoPerformance;
    resetFeatureItems();
    if (app.isXp)
        resetThrottleTable(0);
    if (app.configOpen)
        FillSettingsTree(app.configDialog, app.editStep, 0);
    else
        readPanelLevel(0);
    captureStepState(app.currentStep, app.onAc);
    readPanelControl();
    applyStep(window, &app.currentStep, 0);
    applyPanelLevel();
}

void resetThrottle(HWND window, unsigned code) {
    MachineOperation operation;
    resetThrottleTable(code);
    applyStep(window, &app.currentStep, 0);
}
