// Rules of the configuration dialog: which half of a step it edits, time-out texts, the standby and
// hibernation rules, the offered processor levels and which menu entries each selection enables.
#include "core/configrules.h"

#include "core/steps.h"

#include <cstdio>

StepSide stepSide(unsigned step, unsigned acLastStep, unsigned dcFirstStep) {
    bool switchStep = step == kModeSwitchStep || step == kDisplaySwitchStep;
    if (!switchStep && step > acLastStep)
        return DcOnly;
    if (!switchStep && step < dcFirstStep)
        return AcOnly;
    return AcAndDc;
}

bool showsMainsHalf(unsigned step, unsigned acLastStep, unsigned dcFirstStep, bool onAc) {
    StepSide side = stepSide(step, acLastStep, dcFirstStep);
    return side == AcOnly || (side == AcAndDc && onAc);
}

uint32_t shownStandby(const PolicyHalf &half) {
    return half.action == kActionSleep ? half.idleTimeout : 0;
}

uint32_t shownHibernation(const PolicyHalf &half) {
    if (half.action == kActionSleep)
        return half.dozeS4Timeout ? half.idleTimeout + half.dozeS4Timeout : 0;
    return half.action == kActionHibernate ? half.idleTimeout : 0;
}

void formatTimeout(uint32_t seconds, char *text, size_t size) {
    // The remainder is dropped: 90 seconds read "1 Minute".
    if (seconds == 0)
        snprintf(text, size, "Never");
    else if (seconds < 60)
        snprintf(text, size, seconds == 1 ? "%d Second" : "%d Seconds", int(seconds));
    else if (seconds < 3600)
        snprintf(text, size, seconds / 60 == 1 ? "%d Minute" : "%d Minutes", int(seconds / 60));
    else
        snprintf(text, size, seconds / 3600 == 1 ? "%d hour" : "%d hours", int(seconds / 3600));
}

// Hibernation keeps its time from the start of idleness while it still lies after the new standby
// time `s`; otherwise it moves to the next longer menu value `next`.
static uint32_t dozeAfterStandby(uint32_t hibernation, uint32_t s, uint32_t next) {
    return hibernation > s ? hibernation - s : next - s;
}

ChoiceResult setTimeout(uint32_t kind, uint32_t seconds, uint32_t nextSeconds, PolicyHalf &half) {
    switch (kind) {
    case KindStandby:
        if (half.action == kActionHibernate) {
            half.dozeS4Timeout = dozeAfterStandby(half.idleTimeout, seconds, nextSeconds);
            half.action = kActionSleep;
        } else if (half.action == kActionSleep && half.dozeS4Timeout != 0) {
            half.dozeS4Timeout =
                dozeAfterStandby(half.idleTimeout + half.dozeS4Timeout, seconds, nextSeconds);
        } else if (half.action != kActionSleep) {
            half.dozeS4Timeout = 0;
            half.action = kActionSleep;
        }
        half.idleTimeout = seconds;
        return ChoiceResult::Changed;
    case KindHibernation:
        if (half.action == kActionSleep) {
            if (half.idleTimeout >= seconds)
                return ChoiceResult::Refused;
            half.dozeS4Timeout = seconds - half.idleTimeout;
        } else {
            half.dozeS4Timeout = 0;
            half.idleTimeout = seconds;
            half.action = kActionHibernate;
        }
        return ChoiceResult::Changed;
    case KindVideo:
        half.videoTimeout = seconds;
        return ChoiceResult::Changed;
    case KindHardDrive:
        half.spindownTimeout = seconds;
        return ChoiceResult::Changed;
    default:
        return ChoiceResult::Ignored;
    }
}

ChoiceResult setNever(uint32_t kind, bool hibernateAllowed, PolicyHalf &half) {
    switch (kind) {
    case KindStandby:
        if (half.action == kActionSleep && half.dozeS4Timeout != 0 && hibernateAllowed) {
            // Hibernation stays at its time and standby goes.
            half.idleTimeout += half.dozeS4Timeout;
            half.dozeS4Timeout = 0;
            half.action = kActionHibernate;
        } else if (half.action == kActionSleep) {
            half.idleTimeout = 0;
            half.dozeS4Timeout = 0;
            half.action = kActionNone;
        } else if (half.action != kActionHibernate) {
            half.idleTimeout = 0;
            half.dozeS4Timeout = 0;
        }
        return ChoiceResult::Changed;
    case KindHibernation:
        if (half.action == kActionSleep) {
            half.dozeS4Timeout = 0;
        } else {
            half.idleTimeout = 0;
            half.dozeS4Timeout = 0;
            half.action = kActionNone;
        }
        return ChoiceResult::Changed;
    case KindVideo:
        half.videoTimeout = 0;
        return ChoiceResult::Changed;
    case KindHardDrive:
        half.spindownTimeout = 0;
        return ChoiceResult::Changed;
    default:
        return ChoiceResult::Ignored;
    }
}

static const uint32_t kTimeoutSeconds[kTimeoutItemCount] = {60,   120,  180,  300,  600,   900,   1200, 1500,
                                                            1800, 2700, 3600, 7200, 10800, 14400, 18000};

uint32_t timeoutItemSeconds(size_t position) {
    return position < kTimeoutItemCount ? kTimeoutSeconds[position] : 0;
}

uint32_t timeoutItemNextSeconds(size_t position) {
    // Six hours follow the last item.
    return position + 1 < kTimeoutItemCount ? kTimeoutSeconds[position + 1] : 21600;
}

uint8_t roundToOfferedLevel(uint8_t value, const uint8_t levels[4]) {
    for (int i = 0; i < 4; ++i)
        if (value == levels[i])
            return value;
    // Up to the next offered level; anything above L1 becomes L0.
    for (int i = 3; i >= 1; --i)
        if (levels[i] != 0 && value < levels[i])
            return levels[i];
    return levels[0];
}

PerformanceMenu adaptPerformanceLevels(uint32_t minThrottle, uint8_t levels[4]) {
    levels[0] = 100; // full performance is always offered
    if (minThrottle <= 25)
        return PerformanceMenu::Unchanged;
    if (minThrottle == 100)
        return PerformanceMenu::Removed;
    if (minThrottle <= 50) {
        levels[2] = uint8_t(minThrottle);
        levels[1] = uint8_t(minThrottle + (100 - minThrottle) / 2);
        levels[3] = 0;
        return PerformanceMenu::TwoLower;
    }
    // Above 100 cannot be a percentage of the processor; it is taken as one level as the others.
    levels[1] = uint8_t(minThrottle);
    levels[2] = 0;
    levels[3] = 0;
    return PerformanceMenu::OneLower;
}

int popupForKind(uint32_t kind) {
    switch (kind) {
    case KindStandby:
    case KindHibernation:
    case KindVideo:
    case KindHardDrive:
        return 1;
    case KindBrightness:
        return 2;
    case KindScreenSaver:
        return 3;
    case KindPerformance:
        return 4;
    default:
        return 0;
    }
}

ConfigMenuState configMenuState(bool stepTreeActive, uint32_t selectedSetting) {
    if (stepTreeActive)
        return {0, true, ShortTimeouts::Unchanged};
    ShortTimeouts shortTimeouts = ShortTimeouts::Unchanged;
    if (selectedSetting == KindStandby || selectedSetting == KindHibernation || selectedSetting == KindVideo)
        shortTimeouts = ShortTimeouts::Enabled;
    else if (selectedSetting == KindHardDrive)
        shortTimeouts = ShortTimeouts::Grayed; // a disk cannot stop after one or two minutes
    return {popupForKind(selectedSetting), false, shortTimeouts};
}
