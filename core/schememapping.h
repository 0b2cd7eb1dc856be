// How one half (mains or battery) of a step's power policy maps onto the power settings of Windows
// Vista and later, and back.
#pragma once
#include "core/configrules.h"

#include <cstdint>

// The six settings the program manages in its own scheme, for one power source: seconds (0 for never)
// and processor percentages.
struct SchemeSettings {
    uint32_t standby;
    uint32_t hibernate; // idle time from the last input to hibernation
    uint32_t video;
    uint32_t disk;
    uint32_t throttleMaximum;
    uint32_t throttleMinimum;
};

// The throttle policies of a policy half; a value above adaptive counts as adaptive.
constexpr uint8_t kThrottleNone = 0, kThrottleConstant = 1, kThrottleDegrade = 2, kThrottleAdaptive = 3;

// The settings for a half: `minThrottle` is the lowest percentage the processor can be throttled to.
SchemeSettings settingsForHalf(const PolicyHalf &half, uint8_t throttlePolicy, uint32_t minThrottle);

// Reads settings back into a half (the capture): what the settings cannot express, and what they
// express exactly as the half already stands, keeps the half's stored values.
void readBackHalf(const SchemeSettings &settings, PolicyHalf &half);

// The Windows 11 power mode that matches a half's processor settings.
enum class PowerMode { BestEfficiency, Balanced, BestPerformance };
PowerMode powerModeFor(uint32_t throttleMaximum, uint32_t throttleMinimum);

// The display brightness percentage Windows keeps in a scheme for a panel level (0 to 15), as the
// configuration dialog shows it.
uint32_t brightnessPercent(uint32_t panelLevel);
