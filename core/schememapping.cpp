// The policy half <-> power settings mapping of Windows Vista and later.
#include "core/schememapping.h"

// Windows counts hibernation from the last input, as the Group Policy and winnt.h describe the
// setting; XP's DozeS4Timeout counts from the start of standby, so the two add up.
static uint32_t hibernateSetting(const PolicyHalf &half) {
    if (half.action == kActionSleep) {
        if (half.dozeS4Timeout == 0)
            return 0;
        uint64_t sum = uint64_t(half.idleTimeout) + half.dozeS4Timeout;
        return sum > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(sum);
    }
    return half.action == kActionHibernate ? half.idleTimeout : 0;
}

SchemeSettings settingsForHalf(const PolicyHalf &half, uint8_t throttlePolicy, uint32_t minThrottle) {
    SchemeSettings s = {};
    s.standby = shownStandby(half);
    s.hibernate = hibernateSetting(half);
    s.video = half.videoTimeout;
    s.disk = half.spindownTimeout;
    s.throttleMaximum = half.forcedThrottle;
    // Without throttling the processor keeps its top speed; any other policy may go down to what the
    // processor allows, never above the maximum.
    s.throttleMinimum = throttlePolicy == kThrottleNone ? s.throttleMaximum
                        : minThrottle < s.throttleMaximum ? minThrottle
                                                          : s.throttleMaximum;
    return s;
}

void readBackHalf(const SchemeSettings &s, PolicyHalf &half) {
    // An unchanged pair keeps the half as it is, including idle actions no setting can show. A
    // hibernation not later than standby comes first, so Windows hibernates without sleeping.
    if (s.standby != shownStandby(half) || s.hibernate != hibernateSetting(half)) {
        bool sleeps = s.standby != 0 && (s.hibernate == 0 || s.hibernate > s.standby);
        half.action = sleeps ? kActionSleep : s.hibernate ? kActionHibernate : kActionNone;
        half.idleTimeout = sleeps ? s.standby : s.hibernate;
        half.dozeS4Timeout = sleeps && s.hibernate ? s.hibernate - s.standby : 0;
    }
    half.videoTimeout = s.video;
    half.spindownTimeout = s.disk;
    if (s.throttleMaximum <= 100)
        half.forcedThrottle = uint8_t(s.throttleMaximum);
}

PowerMode powerModeFor(uint32_t throttleMaximum, uint32_t throttleMinimum) {
    if (throttleMaximum < 100)
        return PowerMode::BestEfficiency;
    return throttleMinimum >= 100 ? PowerMode::BestPerformance : PowerMode::Balanced;
}

uint32_t brightnessPercent(uint32_t panelLevel) { return (panelLevel > 15 ? 15 : panelLevel) * 100 / 15; }
