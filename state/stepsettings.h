// The settings of one step, laid out exactly as its 156-byte file.
#pragma once
#include <windows.h>
#include "machine/powrprof_once.h"

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
