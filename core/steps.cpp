// Steps: the eight power modes, and which of them mains and battery offer.
#include "core/steps.h"

static bool isSwitchStep(unsigned step) { return step == kModeSwitchStep || step == kDisplaySwitchStep; }

bool acOffersStep(unsigned step, unsigned acFirstStep, unsigned acLastStep) {
    return isSwitchStep(step) || (acFirstStep <= step && step <= acLastStep);
}

bool dcOffersStep(unsigned step, unsigned dcFirstStep) { return isSwitchStep(step) || step >= dcFirstStep; }
