// Putting a step into effect, capturing the live state of a step, and the tables behind the steps.
#pragma once
#include <windows.h>

// Applies the step behind stepRef: with a window to activeSettings and the window's tray menu, without
// one (the configuration dialog) to editSettings and trayMenu. previousStep is the step in force
// before, 0 when none. 1 on success; on a failed load 0, and with a window *stepRef falls back.
int applyStep(HWND window, DWORD *stepRef, DWORD previousStep);

// Writes what the user changed while `step` was in force back into its file.
void captureStepState(DWORD step, DWORD onAcNow);

// Sets the processor's dynamic throttle of `scheme` for mains and battery.
void setProcessorThrottle(UINT scheme, BYTE acPolicy, BYTE dcPolicy);

// Switches back to the display mode saved before step 6 changed it, when one is saved and differs.
void restoreSavedDisplayMode();

void resetThrottleTable(unsigned mode);
void resetFeatureItems();
void probeClocks();

// Panel brightness: set for the power source, preview the edited level, read back from the firmware
// (`which`: 1 mains, 2 battery, other: by the power source).
void applyPanelLevel();
void previewPanelLevel(int force);
void readPanelLevel(int which);
