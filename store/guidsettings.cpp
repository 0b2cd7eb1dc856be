// The six settings a step keeps in a GUID scheme, read and written by the rules of the scheme mapping.
#include "store/guidsettings.h"

#include "core/schememapping.h"
#include "machine/machine.h"
#include "machine/powerguids.h"
#include "state/stepsettings.h"
#include "store/heldsettings.h"

namespace {

struct Setting {
    const GUID *subgroup;
    const GUID *setting;
    uint32_t SchemeSettings::*value;
};
const Setting kSettings[] = {
    {&kSleepSubgroup, &kStandbyTimeout, &SchemeSettings::standby},
    {&kSleepSubgroup, &kHibernateTimeout, &SchemeSettings::hibernate},
    {&kVideoSubgroup, &kVideoPowerdownTimeout, &SchemeSettings::video},
    {&kDiskSubgroup, &kDiskPowerdownTimeout, &SchemeSettings::disk},
    {&kProcessorSubgroup, &kProcessorThrottleMaximum, &SchemeSettings::throttleMaximum},
    {&kProcessorSubgroup, &kProcessorThrottleMinimum, &SchemeSettings::throttleMinimum},
};

uint32_t lowestThrottle() {
    SYSTEM_POWER_CAPABILITIES capabilities = {};
    return machine::GetPwrCapabilities(&capabilities) ? capabilities.ProcessorMinThrottle : 100;
}

} // namespace

// Writes both halves of `policy` into the program's scheme. A setting the scheme refuses, or one a
// policy holds, is left out: the others still follow the step.
void writeSettings(const GUID &scheme, const POWER_POLICY &policy) {
    uint32_t lowest = lowestThrottle();
    SchemeSettings ac = settingsForHalf(policyHalf(policy, true), policy.user.ThrottlePolicyAc, lowest);
    SchemeSettings dc = settingsForHalf(policyHalf(policy, false), policy.user.ThrottlePolicyDc, lowest);
    for (const Setting &s : kSettings) {
        if (heldByPolicy(*s.setting))
            continue;
        machine::PowerWriteACValueIndex(nullptr, &scheme, s.subgroup, s.setting, ac.*s.value);
        machine::PowerWriteDCValueIndex(nullptr, &scheme, s.subgroup, s.setting, dc.*s.value);
    }
}

// Reads the scheme's settings into `policy`; a setting that cannot be read, or that a policy holds (the
// scheme's value is not what is in force), keeps what the policy has.
void readSettings(const GUID &scheme, POWER_POLICY &policy) {
    uint32_t lowest = lowestThrottle();
    for (int side = 0; side < 2; ++side) {
        bool isAc = side == 0;
        PolicyHalf half = policyHalf(policy, isAc);
        SchemeSettings values =
            settingsForHalf(half, isAc ? policy.user.ThrottlePolicyAc : policy.user.ThrottlePolicyDc, lowest);
        for (const Setting &s : kSettings) {
            DWORD value;
            if (heldByPolicy(*s.setting))
                continue;
            DWORD rc = isAc ? machine::PowerReadACValueIndex(nullptr, &scheme, s.subgroup, s.setting, &value)
                            : machine::PowerReadDCValueIndex(nullptr, &scheme, s.subgroup, s.setting, &value);
            if (rc == ERROR_SUCCESS)
                values.*s.value = value;
        }
        readBackHalf(values, half);
        setPolicyHalf(policy, isAc, half);
    }
}
