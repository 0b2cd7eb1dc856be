// Fast user switching from Vista on: every session's program shares the machine's one "Kelvane" scheme,
// so the session in front of the notebook puts its own step back into it.
#include "shell/sessions.h"

#include "core/steps.h"
#include "engine/stepapply.h"
#include "machine/machine.h"
#include "state/appstate.h"
#include "store/programfiles.h"
#include "store/regtext.h"
#include "store/sharedscheme.h"

namespace {

// Early at log-on the session manager may not answer yet (RPC_S_INVALID_BINDING): the registration is
// tried again each second for a minute, on a timer of the window thread.
constexpr UINT_PTR kRegisterTimer = 0x5E55;
constexpr UINT kRegisterRetryMs = 1000, kRegisterTries = 60;
UINT registerTries;
bool registered;
bool heldBack; // a step recorded in the background waits for the session to come to the front

bool registerOnce(HWND window) {
    registered = machine::WTSRegisterSessionNotification(window, 0); // NOTIFY_FOR_THIS_SESSION
    return registered || GetLastError() != RPC_S_INVALID_BINDING;
}

void CALLBACK retryRegister(HWND window, UINT, UINT_PTR, DWORD) {
    if (registerOnce(window) || ++registerTries >= kRegisterTries)
        KillTimer(window, kRegisterTimer);
}

} // namespace

void watchSessions(HWND window) {
    if (!ntSixOrLater())
        return;
    registerTries = 0;
    if (!registerOnce(window))
        SetTimer(window, kRegisterTimer, kRegisterRetryMs, retryRegister);
}

void unwatchSessions(HWND window) {
    KillTimer(window, kRegisterTimer);
    if (registered)
        machine::WTSUnRegisterSessionNotification(window);
    registered = false;
}

bool heldInBackground(DWORD step) {
    if (!isStep(step) || !inBackgroundSession())
        return false;
    // Recorded as the step in force, as an application records it; the machine is left as it is.
    if (app.onAc)
        app.acStep = step;
    else
        app.dcStep = step;
    app.currentStep = app.cycleStep = step;
    writeProgramNumber("CurrentStep", step);
    writeProgramNumber(app.onAc ? "AC_Current_Step" : "DC_Current_Step", step);
    heldBack = true;
    return true;
}

void sessionChanged(HWND window, WPARAM change, LPARAM session) {
    unsigned long own;
    if ((change != WTS_CONSOLE_CONNECT && change != WTS_SESSION_UNLOCK) || !currentSession(own) ||
        DWORD(session) != own || !isStep(app.currentStep) || (!heldBack && !otherSessionHoldsScheme()))
        return;
    heldBack = false;
    // The step in force again, with no previous step: no firmware mode or display switch, and the
    // on-screen display is not told.
    applyStep(window, &app.currentStep, 0);
}
