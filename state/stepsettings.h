// The settings of one step, laid out exactly as its 156-byte file.
#pragma once
#include <windows.h>
#include "machine/powrprof_once.h"

#include "core/configrules.h"
#include "core/stepfile.h"

#include <cstddef>

struct StepSettings {
    POWER_POLICY policy;
    DWORD panelLevel;    // battery brightness 0-15
    DWORD screenSaverAc; // 0 off, other values on
    DWORD screenSaverDc;
};
static_assert(sizeof(StepSettings) == kStepFileSize, "StepSettings must match the step file");
static_assert(sizeof(POWER_POLICY) == kPolicySize, "POWER_POLICY layout");
static_assert(sizeof(GLOBAL_POWER_POLICY) == kGlobalPolicySize, "GLOBAL_POWER_POLICY layout");
static_assert(offsetof(POWER_POLICY, user.ThrottlePolicyAc) == PolicyOffset::ThrottlePolicyAc);
static_assert(offsetof(POWER_POLICY, user.ForcedThrottleDc) == PolicyOffset::ForcedThrottleDc);
static_assert(offsetof(POWER_POLICY, mach.DozeS4TimeoutDc) == PolicyOffset::DozeS4TimeoutDc);

// One half (mains or battery) of a policy as the dialog and the scheme mapping see it; the screen
// saver, which is no part of the policy, stays 0 and is not written.
PolicyHalf policyHalf(const POWER_POLICY &policy, bool mains);
void setPolicyHalf(POWER_POLICY &policy, bool mains, const PolicyHalf &half);
