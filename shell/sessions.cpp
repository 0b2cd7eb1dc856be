// Fast user switching from Vista on: every session's program shares the machine's one "Kelvane" scheme,
// so the session in front of the notebook puts its own step back into it.
#include "shell/sessions.h"

#include "core/steps.h"
#include "engine/stepapply.h"
#include "state/appstate.h"
#include "store/programfiles.h"
#include "store/sharedscheme.h"

void watchSessions(HWND window) {
    if (!ntSixOrLater())
        return;
    // wtsapi32 is not on every Windows the program runs on, so it is looked up.
    using Register = BOOL(WINAPI *)(HWND, DWORD);
    HMODULE wts = LoadLibraryA("wtsapi32.dll");
    auto registerFor = reinterpret_cast<Register>(
        reinterpret_cast<void *>(wts ? GetProcAddress(wts, "WTSRegisterSessionNotification") : nullptr));
    if (registerFor)
        registerFor(window, 0); // NOTIFY_FOR_THIS_SESSION
}

void sessionChanged(HWND window, WPARAM change, LPARAM session) {
    unsigned long own;
    if ((change != WTS_CONSOLE_CONNECT && change != WTS_SESSION_UNLOCK) || !currentSession(own) ||
        DWORD(session) != own || !isStep(app.currentStep) || !otherSessionHoldsScheme())
        return;
    // The step in force again, with no previous step: no firmware mode or display switch, and the
    // on-screen display is not told.
    applyStep(window, &app.currentStep, 0);
}
