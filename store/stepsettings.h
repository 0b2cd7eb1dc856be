// The settings of one step and the step store's operations on its files and names.
#pragma once
#include <windows.h>
#include "machine/powrprof_once.h"

#include "core/stepfile.h"

// One step's settings, laid out exactly as its 156-byte file.
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

// Loads the step's ".BLC" (copying the shipped ".DEF" when it is missing) and refreshes
// globalPolicy; 1 on success, 0 after a message.
int loadStepSettings(unsigned step, StepSettings &slot);

// Replaces the step's ".BLC" with slot; 1 when the file was written, 0 otherwise (no message).
int saveStepSettings(unsigned step, const StepSettings &slot);

// Builds the name of a step's ".BLC" or ".DEF" file; false (after a message) when the program's
// folder is too long for it or the step has no file.
bool stepFilePath(unsigned step, const char *extension, char *out, size_t size);

// The display name of a step from "Lumora.ini" (default "Step %d"), into a 128-byte buffer.
void readStepName(unsigned step, char *name, size_t size);
// Stores a step's display name; nonzero on success.
int writeStepName(unsigned step, const char *name);
