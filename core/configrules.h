// Rules of the configuration dialog: which half of a step it edits, time-out texts, the standby and
// hibernation rules, the offered processor levels and which menu entries each selection enables.
#pragma once
#include <cstddef>
#include <cstdint>

// Item data of the settings tree's value items; headings and the top item carry 0.
enum SettingKind : uint32_t {
    KindStandby = 33168,
    KindHibernation = 33169,
    KindPerformance = 33170,
    KindBrightness = 33171,
    KindVideo = 33172,
    KindHardDrive = 33173,
    KindScreenSaver = 33175,
};

// The power sources a step serves.
enum StepSide : uint32_t { DcOnly = 0, AcOnly = 1, AcAndDc = 2 };
StepSide stepSide(unsigned step, unsigned acLastStep, unsigned dcFirstStep);
// Whether the dialog shows and edits the mains half of `step` (else the battery half).
bool showsMainsHalf(unsigned step, unsigned acLastStep, unsigned dcFirstStep, bool onAc);

// Power actions of an idle policy.
constexpr uint32_t kActionNone = 0, kActionSleep = 2, kActionHibernate = 3;

// One half (mains or battery) of a step's settings, as the dialog sees it.
struct PolicyHalf {
    uint32_t action;        // idle action
    uint32_t idleTimeout;   // seconds
    uint32_t dozeS4Timeout; // seconds from standby to hibernation
    uint32_t videoTimeout;
    uint32_t spindownTimeout;
    uint8_t forcedThrottle; // percent
    uint8_t optimizeForPower;
    uint32_t screenSaver;
};

// The standby and hibernation times a half shows, 0 for never.
uint32_t shownStandby(const PolicyHalf &half);
uint32_t shownHibernation(const PolicyHalf &half);

// The text of a time-out ("Never", "%d Minutes" ...) into `text`.
void formatTimeout(uint32_t seconds, char *text, size_t size);

// What a menu choice did to the half.
enum class ChoiceResult {
    Ignored, // the choice does not fit the kind: nothing changed, not modified
    Changed, // applied: the dialog counts as modified
    Refused, // a hibernation time not after standby: nothing changed, a warning, still modified
};
// A time-out item of `seconds`, `nextSeconds` being the next longer item's value (21600 after the last).
ChoiceResult setTimeout(uint32_t kind, uint32_t seconds, uint32_t nextSeconds, PolicyHalf &half);
// The "Never" item; `hibernateAllowed` keeps hibernation when standby goes.
ChoiceResult setNever(uint32_t kind, bool hibernateAllowed, PolicyHalf &half);

// The Time out popup's items in menu order: their seconds; the next longer value follows each.
constexpr size_t kTimeoutItemCount = 15;
uint32_t timeoutItemSeconds(size_t position);
uint32_t timeoutItemNextSeconds(size_t position);

// A stored ForcedThrottle brought up onto one of the offered levels L0-L3 (a level of 0 is not offered
// unless the value is 0 itself).
uint8_t roundToOfferedLevel(uint8_t value, const uint8_t levels[4]);

// How the CPU Performance popup fits a processor whose lowest throttle is `minThrottle` percent.
enum class PerformanceMenu {
    Unchanged, // 100, 75, 50, 25
    TwoLower,  // 100, L1, m: item 32773 reads m, item 32772 reads L1, item 32774 goes
    OneLower,  // 100, m: item 32772 reads m, items 32773 and 32774 go
    Removed,   // no throttling at all: the popup goes and throttling is off for the run
};
// The popup's form; `levels` is updated to the percentages behind the items.
PerformanceMenu adaptPerformanceLevels(uint32_t minThrottle, uint8_t levels[4]);

// The menu entries that the dialog's selection enables.
enum class ShortTimeouts { Unchanged, Enabled, Grayed };
struct ConfigMenuState {
    int enabledPopup;            // menu bar position 1-4 enabled, the others of 1-5 grayed; 0 all grayed
    bool stepItemsEnabled;       // "Rename" and "Load Default setting"
    ShortTimeouts shortTimeouts; // "1 Minute" and "2 Minutes"
};
ConfigMenuState configMenuState(bool stepTreeActive, uint32_t selectedSetting);
// The menu bar position of the popup that edits `kind`, 0 for none.
int popupForKind(uint32_t kind);
