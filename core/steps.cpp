// Steps: the eight power modes, and which of them mains and battery offer.
#include "core/steps.h"

static bool isSwitchStep(unsigned step) { return step == kModeSwitchStep || step == kDisplaySwitchStep; }

bool acOffersStep(unsigned step, unsigned acFirstStep, unsigned acLastStep) {
    return isSwitchStep(step) || (acFirstStep <= step && step <= acLastStep);
}

bool dcOffersStep(unsigned step, unsigned dcFirstStep) { return isSwitchStep(step) || step >= dcFirstStep; }

unsigned nextCycleStep(unsigned step, bool onAc, unsigned acFirstStep, unsigned acLastStep, unsigned dcFirstStep) {
    if (onAc) {
        if (step == kModeSwitchStep)
            return kDisplaySwitchStep;
        if (step == kDisplaySwitchStep)
            return acFirstStep;
        return step < acLastStep ? step + 1 : kModeSwitchStep;
    }
    return step < kLastStep ? step + 1 : dcFirstStep;
}
