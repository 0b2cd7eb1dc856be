// The step store's operations on the step files and the step names.
#pragma once
#include <cstddef>

#include "state/stepsettings.h"

// Loads the step's ".BLC" (copying the shipped ".DEF" when it is missing) and refreshes
// globalPolicy; 1 on success, 0 after a message.
int loadStepSettings(unsigned step, StepSettings &slot);

// Replaces the step's ".BLC" with slot; 1 when the file was written, 0 otherwise (no message).
int saveStepSettings(unsigned step, const StepSettings &slot);

// Puts the shipped ".DEF" of the step in place of its ".BLC", replacing it whole as a save does;
// 0 after an error message.
int restoreStepDefault(unsigned step);

// Builds the name of a step's ".BLC" or ".DEF" file; false (after a message) when the program's
// folder is too long for it or the step has no file.
bool stepFilePath(unsigned step, const char *extension, char *out, size_t size);

// The display name of a step from "Lumora.ini" (default "Step %d"), into a 128-byte buffer.
void readStepName(unsigned step, char *name, size_t size);
// Stores a step's display name; nonzero on success.
int writeStepName(unsigned step, const char *name);
