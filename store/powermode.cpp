// The Windows 11 power mode, laid by Windows over the active scheme's processor settings: set from the
// step's two processor settings of each source, and the user's own handed back at the end.
#include "store/powermode.h"

#include "core/schememapping.h"
#include "machine/machine.h"
#include "machine/powerguids.h"
#include "store/regtext.h"

namespace {

const GUID &modeGuid(PowerMode mode) {
    switch (mode) {
    case PowerMode::BestEfficiency:
        return kPowerModeBestEfficiency;
    case PowerMode::BestPerformance:
        return kPowerModeBestPerformance;
    default:
        return kPowerModeBalanced;
    }
}

const char *modeName(const GUID &mode) {
    if (IsEqualGUID(mode, kPowerModeBestEfficiency))
        return "best power efficiency";
    if (IsEqualGUID(mode, kPowerModeBestPerformance))
        return "best performance";
    return "balanced";
}

struct Source {
    DWORD (*read)(HKEY, const GUID *, const GUID *, const GUID *, DWORD *);
    DWORD (*get)(GUID *);
    DWORD (*set)(const GUID *);
    const char *handBack; // the user's mode, recorded at start
    const char *inForce;  // the mode the program set, for kelvanectl's status
};

const Source kSources[2] = {
    {machine::PowerReadACValueIndex, machine::PowerGetUserConfiguredACPowerMode,
     machine::PowerSetUserConfiguredACPowerMode, "HandBackPowerModeAc", "PowerModeAc"},
    {machine::PowerReadDCValueIndex, machine::PowerGetUserConfiguredDCPowerMode,
     machine::PowerSetUserConfiguredDCPowerMode, "HandBackPowerModeDc", "PowerModeDc"},
};

} // namespace

void powerModeFollowsScheme(const GUID &scheme) {
    for (const Source &source : kSources) {
        DWORD maximum, minimum;
        if (source.read(nullptr, &scheme, &kProcessorSubgroup, &kProcessorThrottleMaximum, &maximum) != ERROR_SUCCESS ||
            source.read(nullptr, &scheme, &kProcessorSubgroup, &kProcessorThrottleMinimum, &minimum) != ERROR_SUCCESS)
            continue;
        const GUID &mode = modeGuid(powerModeFor(maximum, minimum));
        // A failed set leaves the user's mode in force, and status names none.
        DWORD rc = source.set(&mode);
        if (rc != ERROR_CALL_NOT_IMPLEMENTED)
            writeProgramText(source.inForce, rc == ERROR_SUCCESS ? modeName(mode) : "");
    }
}

void recordUserPowerModes() {
    for (const Source &source : kSources) {
        GUID mode;
        char text[kGuidTextSize] = "";
        DWORD rc = source.get(&mode);
        if (rc == ERROR_CALL_NOT_IMPLEMENTED)
            continue;
        // Unread, it hands back balanced, as any value that is none of the three.
        if (rc == ERROR_SUCCESS)
            formatGuid(mode, text);
        writeProgramText(source.handBack, text);
    }
}

void handBackPowerModes() {
    for (const Source &source : kSources) {
        char text[kGuidTextSize + 1];
        GUID mode = kPowerModeBalanced;
        if (!readProgramText(source.handBack, text, sizeof text) || !parseGuid(text, &mode) ||
            !(IsEqualGUID(mode, kPowerModeBestEfficiency) || IsEqualGUID(mode, kPowerModeBestPerformance)))
            mode = kPowerModeBalanced;
        if (source.set(&mode) == ERROR_SUCCESS)
            writeProgramText(source.inForce, "");
    }
}
