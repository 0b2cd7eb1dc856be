// The six settings a step keeps in a GUID scheme (Vista and later).
#pragma once
#include <windows.h>
#include "machine/powrprof_once.h"

// Writes both halves of `policy` into `scheme`. A setting the scheme refuses, or one a policy holds,
// is left out: the others still follow the step.
void writeSettings(const GUID &scheme, const POWER_POLICY &policy);
// Reads the scheme's settings into `policy`; a setting that cannot be read, or that a policy holds,
// keeps what the policy has.
void readSettings(const GUID &scheme, POWER_POLICY &policy);
