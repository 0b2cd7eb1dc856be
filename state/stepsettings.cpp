// The halves of a step's power policy, read and written field by field.
#include "state/stepsettings.h"

PolicyHalf policyHalf(const POWER_POLICY &p, bool mains) {
    PolicyHalf half = {};
    half.action = mains ? p.user.IdleAc.Action : p.user.IdleDc.Action;
    half.idleTimeout = mains ? p.user.IdleTimeoutAc : p.user.IdleTimeoutDc;
    half.dozeS4Timeout = mains ? p.mach.DozeS4TimeoutAc : p.mach.DozeS4TimeoutDc;
    half.videoTimeout = mains ? p.user.VideoTimeoutAc : p.user.VideoTimeoutDc;
    half.spindownTimeout = mains ? p.user.SpindownTimeoutAc : p.user.SpindownTimeoutDc;
    half.forcedThrottle = mains ? p.user.ForcedThrottleAc : p.user.ForcedThrottleDc;
    half.optimizeForPower = mains ? p.user.OptimizeForPowerAc : p.user.OptimizeForPowerDc;
    return half;
}

void setPolicyHalf(POWER_POLICY &p, bool mains, const PolicyHalf &half) {
    (mains ? p.user.IdleAc : p.user.IdleDc).Action = POWER_ACTION(half.action);
    (mains ? p.user.IdleTimeoutAc : p.user.IdleTimeoutDc) = half.idleTimeout;
    (mains ? p.mach.DozeS4TimeoutAc : p.mach.DozeS4TimeoutDc) = half.dozeS4Timeout;
    (mains ? p.user.VideoTimeoutAc : p.user.VideoTimeoutDc) = half.videoTimeout;
    (mains ? p.user.SpindownTimeoutAc : p.user.SpindownTimeoutDc) = half.spindownTimeout;
    (mains ? p.user.ForcedThrottleAc : p.user.ForcedThrottleDc) = half.forcedThrottle;
    (mains ? p.user.OptimizeForPowerAc : p.user.OptimizeForPowerDc) = half.optimizeForPower;
}
