// Steps: the eight power modes, and which of them mains and battery offer.
#pragma once

constexpr unsigned kStepCount = 8;
constexpr unsigned kFirstStep = 1;
constexpr unsigned kLastStep = 8;

// Steps 5 and 6 drive firmware switches and are offered on both power sources.
constexpr unsigned kModeSwitchStep = 5;
constexpr unsigned kDisplaySwitchStep = 6;

// A step that can index the per-step tables (1 to 8); 0 means none.
inline bool isStep(unsigned step) { return step >= kFirstStep && step <= kLastStep; }

// Index of a step into a per-step table; only for steps that pass isStep.
inline unsigned stepIndex(unsigned step) { return step - 1; }

// The limits the program runs with: mains offers steps 1 to 3, battery 2 upwards (5 and 6 on both).
constexpr unsigned kAcFirstStep = 1, kAcLastStep = 3, kDcFirstStep = 2;

// Which step items the tray menu offers on mains and on battery.
bool acOffersStep(unsigned step, unsigned acFirstStep, unsigned acLastStep);
bool dcOffersStep(unsigned step, unsigned dcFirstStep);

// The step after `step` in the step cycle: on mains 1, 2, 3, 5, 6, 1 (with the limits 1 and 3),
// anything else going to 5; on battery 2 to 8 and round again. Comparisons are unsigned.
unsigned nextCycleStep(unsigned step, bool onAc, unsigned acFirstStep, unsigned acLastStep, unsigned dcFirstStep);
