// The program-wide state record and its initial values.
#include "state/appstate.h"

#include "core/steps.h"

#include <cstring>

AppState app;

static const BYTE kInitialThrottleAc[8] = {0, 3, 3, 0, 2, 2, 0, 0};
static const BYTE kInitialThrottleDc[8] = {0, 3, 3, 3, 2, 2, 0, 0};
static const BYTE kInitialPerformanceLevels[4] = {100, 75, 50, 25};

void resetAppState() {
    memset(&app, 0, sizeof app);
    strcpy(app.caption, "Kelvane"); // replaced by string 110 at start-up
    app.acStep = 2;
    app.dcStep = 2;
    app.acFirstStep = kAcFirstStep;
    app.acLastStep = kAcLastStep;
    app.dcFirstStep = kDcFirstStep;
    app.onAc = 1;
    app.autoPerformance = 1;
    app.panelControl = 1;
    app.clockMidIndex = 1;
    app.clockHighIndex = 2;
    memcpy(app.stepThrottleAc, kInitialThrottleAc, sizeof kInitialThrottleAc);
    memcpy(app.stepThrottleDc, kInitialThrottleDc, sizeof kInitialThrottleDc);
    app.stepTreeActive = 1;
    memcpy(app.performanceLevels, kInitialPerformanceLevels, sizeof kInitialPerformanceLevels);
}

// The record starts with its initial values before any code of the program runs.
[[maybe_unused]] static const bool kInitialised = (resetAppState(), true);
