// The policy half <-> power settings mapping of Windows Vista and later.
#include "core/schememapping.h"

// Windows counts hibernation from the start of sleep, as DozeS4Timeout does, not from the last input.
static uint32_t hibernateSetting(const PolicyHalf &half) {
    if (half.action == kActionSleep)
        return half.dozeS4Timeout;
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
    // An unchanged pair keeps the half as it is, including idle actions no setting can show.
    if (s.standby != shownStandby(half) || s.hibernate != hibernateSetting(half)) {
        half.action = s.standby ? kActionSleep : s.hibernate ? kActionHibernate : kActionNone;
        half.idleTimeout = s.standby ? s.standby : s.hibernate;
        half.dozeS4Timeout = s.standby ? s.hibernate : 0;
    }
    half.videoTimeout = s.video;
    half.spindownTimeout = s.disk;
    if (s.throttleMaximum <= 100)
        half.forcedThrottle = uint8_t(s.throttleMaximum);
}
