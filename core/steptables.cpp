// The tables behind a step: processor throttle policy, processor clock indices, panel levels.
#include "core/steptables.h"

void throttleTable(unsigned mode, bool autoPerformance, uint8_t ac[8], uint8_t dc[8]) {
    static const uint8_t autoAc[8] = {0, 3, 3, 0, 2, 2, 2, 2};
    static const uint8_t autoDc[8] = {0, 3, 3, 3, 2, 2, 2, 2};
    for (unsigned i = 0; i < 8; ++i) {
        if (mode == 1) {
            ac[i] = dc[i] = 2;
        } else if (autoPerformance) {
            ac[i] = autoAc[i];
            dc[i] = autoDc[i];
        } else {
            ac[i] = dc[i] = 0;
        }
    }
}

void performanceItems(bool isXp, bool autoPerformance, uint32_t shown[8]) {
    for (unsigned i = 0; i < 8; ++i)
        shown[i] = (isXp && autoPerformance) ? (i >= 6 ? 1 : 0) : 1;
}

ClockPlan planClocks(const uint32_t mhz[3]) {
    ClockPlan plan = {0, 1, 2, 1, {}};
    if (mhz[0] != 0) {
        if (mhz[2] == 0)
            plan.highIndex = 1;
    } else if (mhz[2] != 0) {
        plan.lowIndex = 1;
    } else {
        plan.support = 2;
    }
    for (unsigned i = 0; i < 8; ++i)
        plan.stepIndex[i] = i < 2 ? plan.highIndex : i < 4 ? plan.midIndex : plan.lowIndex;
    return plan;
}

Resolution vidmoResolutionSize(uint32_t choice) {
    switch (choice) {
    case 2:
        return {800, 600};
    case 3:
        return {1024, 768};
    case 4:
        return {1280, 1024};
    default:
        return {0, 0};
    }
}
