// The Windows 11 power mode follows the step in force in the program's scheme, and goes back to the
// user's at every way out. Nothing happens where Windows lacks the power-mode calls.
#pragma once
#include <windows.h>

// Sets each source's mode from the processor settings of `scheme`, the program's scheme just made active.
void powerModeFollowsScheme(const GUID &scheme);

// Records the user's two modes beside the scheme to hand back ("HandBackPowerModeAc", "...Dc").
void recordUserPowerModes();

// Sets the recorded modes again; one that is none of Windows' three hands back balanced.
void handBackPowerModes();
