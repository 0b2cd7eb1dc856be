// The power-scheme operations of the program, by scheme index, on every Windows it runs on: the
// index-based calls up to Windows XP, GUID schemes from Windows Vista on.
#pragma once
#include <windows.h>
#include "machine/powrprof_once.h"

namespace schemes {

BOOLEAN getActive(UINT *scheme);
// Makes `scheme` active, with `policy` (and `global`, where the system has one) merged in when given.
BOOLEAN activate(UINT scheme, GLOBAL_POWER_POLICY *global, POWER_POLICY *policy);
BOOLEAN read(UINT scheme, POWER_POLICY *policy);
// Writes the scheme `*scheme` (0xFFFFFFFF: a new one) with an ANSI name and description.
BOOLEAN write(UINT *scheme, const char *name, const char *description, POWER_POLICY *policy);
// From Windows Vista on: the last write failed because the own scheme could not be duplicated or
// named, as for a restricted user.
bool ownRefused();
BOOLEAN remove(UINT scheme);
// Removes a scheme that never became active, keys and all.
void discard(UINT scheme);
BOOLEAN currentPolicies(GLOBAL_POWER_POLICY *global, POWER_POLICY *policy);
BOOLEAN readProcessor(UINT scheme, MACHINE_PROCESSOR_POWER_POLICY *policy);
BOOLEAN writeProcessor(UINT scheme, MACHINE_PROCESSOR_POWER_POLICY *policy);

// Looks for the scheme named `name`: 1 found (its index in `found`), 0 not there, -1 when the search
// cannot run (after a message).
int findByName(const char *name, UINT &found);

// Reads the global policy into app.globalPolicy where the system keeps one; false after a message.
bool readGlobalPolicy();

} // namespace schemes
