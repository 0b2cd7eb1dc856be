// Settings an administrator's Group Policy holds: Windows keeps the policy's value whatever the scheme
// says, so the program neither writes them nor reads them back into a step.
#pragma once
#include <windows.h>

bool heldByPolicy(const GUID &setting);

// Records the names of the held settings among the program's ("HeldByPolicy"), for kelvanectl's status.
void recordHeldSettings();
