// The tables behind a step: processor throttle policy, processor clock indices, panel levels.
#pragma once
#include <cstdint>

// Throttle policy of every step on mains and battery (0 none, 2 degrade, 3 adaptive), by step - 1.
// Mode 1 degrades everywhere; other modes follow automatic performance, or throttle nothing without it.
void throttleTable(unsigned mode, bool autoPerformance, uint8_t ac[8], uint8_t dc[8]);

// Whether the configuration dialog shows the processor performance item of each step, by step - 1:
// with automatic performance on XP only the two longest-battery steps keep it.
void performanceItems(bool isXp, bool autoPerformance, uint32_t shown[8]);

// What the firmware's clock indices give: which index the fast, middle and slow steps use and
// whether clock control can be offered at all.
struct ClockPlan {
    uint32_t lowIndex, midIndex, highIndex;
    uint32_t support; // 1 available, 2 offered but no usable clock
    uint32_t stepIndex[8];
};
// `mhz` holds the clock of index 0, 1, 2, 0 when the index does not exist.
ClockPlan planClocks(const uint32_t mhz[3]);

// The panel level in the low four bits of the firmware's answer.
inline uint32_t panelLevelFromFirmware(uint32_t value) { return value & 0x0F; }

// Step 6's fixed resolution for a "Vidmo_RES" choice (0 x 0 matches no display mode).
struct Resolution {
    uint32_t width, height;
};
Resolution vidmoResolutionSize(uint32_t choice);
