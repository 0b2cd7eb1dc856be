// The policy half <-> power settings mapping of Windows Vista and later.
#include "core/schememapping.h"

SchemeSettings settingsForHalf(const PolicyHalf &half, uint8_t throttlePolicy, uint32_t minThrottle) {
    SchemeSettings s = {};
    s.standby = shownStandby(half);
    s.hibernate = shownHibernation(half);
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
    if (s.standby != shownStandby(half) || s.hibernate != shownHibernation(half)) {
        if (s.standby == 0 && s.hibernate == 0) {
            half.action = kActionNone;
            half.idleTimeout = 0;
            half.dozeS4Timeout = 0;
        } else if (s.standby == 0) {
            half.action = kActionHibernate;
            half.idleTimeout = s.hibernate;
            half.dozeS4Timeout = 0;
        } else if (s.hibernate == 0 || s.standby < s.hibernate) {
            half.action = kActionSleep;
            half.idleTimeout = s.standby;
            half.dozeS4Timeout = s.hibernate ? s.hibernate - s.standby : 0;
        }
        // Hibernation at or before standby cannot be expressed: the stored values stay.
    }
    half.videoTimeout = s.video;
    half.spindownTimeout = s.disk;
    if (s.throttleMaximum <= 100)
        half.forcedThrottle = uint8_t(s.throttleMaximum);
}
