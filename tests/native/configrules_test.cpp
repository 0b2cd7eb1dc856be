// The configuration dialog's rules: edited half, time-out texts, standby and hibernation, levels.
#include "core/configrules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

PolicyHalf half(uint32_t action, uint32_t idle, uint32_t doze) {
    PolicyHalf h = {};
    h.action = action;
    h.idleTimeout = idle;
    h.dozeS4Timeout = doze;
    return h;
}

std::string timeoutText(uint32_t seconds) {
    char text[32];
    formatTimeout(seconds, text, sizeof text);
    return text;
}

} // namespace

TEST(EditedHalf, StepsServeTheirSourcesAndSharedStepsFollowThePowerSource) {
    std::string mainsOnAc, mainsOnBattery;
    for (unsigned step = 1; step <= 8; ++step) {
        mainsOnAc += showsMainsHalf(step, 3, 2, true) ? 'A' : 'D';
        mainsOnBattery += showsMainsHalf(step, 3, 2, false) ? 'A' : 'D';
    }
    EXPECT_EQ(mainsOnAc, "AAADAADD");
    EXPECT_EQ(mainsOnBattery, "ADDDDDDD");
    EXPECT_EQ(stepSide(1, 3, 2), AcOnly);
    EXPECT_EQ(stepSide(5, 3, 2), AcAndDc);
    EXPECT_EQ(stepSide(7, 3, 2), DcOnly);
}

TEST(TimeoutText, CountsWholeUnitsAndDropsTheRemainder) {
    const struct {
        uint32_t seconds;
        const char *text;
    } cases[] = {{0, "Never"},      {1, "1 Second"},    {59, "59 Seconds"},   {60, "1 Minute"},
                 {119, "1 Minute"}, {120, "2 Minutes"}, {3599, "59 Minutes"}, {3600, "1 hour"},
                 {7199, "1 hour"},  {21600, "6 hours"}};
    for (const auto &c : cases)
        EXPECT_EQ(timeoutText(c.seconds), c.text) << c.seconds;
}

TEST(IdleTimes, ShownStandbyAndHibernationFollowTheIdleAction) {
    EXPECT_EQ(shownStandby(half(kActionSleep, 600, 1200)), 600u);
    EXPECT_EQ(shownHibernation(half(kActionSleep, 600, 1200)), 1800u);
    EXPECT_EQ(shownHibernation(half(kActionSleep, 600, 0)), 0u);
    EXPECT_EQ(shownStandby(half(kActionHibernate, 3600, 0)), 0u);
    EXPECT_EQ(shownHibernation(half(kActionHibernate, 3600, 0)), 3600u);
    EXPECT_EQ(shownStandby(half(kActionNone, 600, 0)), 0u);
    EXPECT_EQ(shownHibernation(half(kActionNone, 600, 600)), 0u);
}

TEST(IdleTimes, ChoicesKeepStandbyAndHibernationConsistent) {
    // standby/hibernation shown after the choice, in minutes (0 never)
    const struct {
        const char *what;
        PolicyHalf before;
        uint32_t kind;
        uint32_t seconds, next; // seconds 0: "Never"
        bool hibernateAllowed;
        ChoiceResult result;
        uint32_t standby, hibernation;
    } cases[] = {
        {"standby 10 -> 20 keeps hibernation at 30", half(kActionSleep, 600, 1200), KindStandby, 1200, 1500,
         true, ChoiceResult::Changed, 20, 30},
        {"standby 10 -> 45 moves hibernation to 60", half(kActionSleep, 600, 1200), KindStandby, 2700, 3600,
         true, ChoiceResult::Changed, 45, 60},
        {"standby 5 h before hibernation 1 h", half(kActionHibernate, 3600, 0), KindStandby, 18000, 21600,
         true, ChoiceResult::Changed, 300, 360},
        {"standby from none", half(kActionNone, 0, 0), KindStandby, 300, 600, true, ChoiceResult::Changed, 5,
         0},
        {"hibernation not after standby is refused", half(kActionSleep, 1200, 0), KindHibernation, 600, 900,
         true, ChoiceResult::Refused, 20, 0},
        {"hibernation after standby", half(kActionSleep, 1200, 0), KindHibernation, 3600, 7200, true,
         ChoiceResult::Changed, 20, 60},
        {"hibernation alone", half(kActionNone, 0, 0), KindHibernation, 1800, 2700, true,
         ChoiceResult::Changed, 0, 30},
        {"never standby keeps hibernation", half(kActionSleep, 1200, 2400), KindStandby, 0, 0, true,
         ChoiceResult::Changed, 0, 60},
        {"never standby without hibernation allowed", half(kActionSleep, 1200, 2400), KindStandby, 0, 0,
         false, ChoiceResult::Changed, 0, 0},
        {"never standby with hibernation alone", half(kActionHibernate, 3600, 0), KindStandby, 0, 0, true,
         ChoiceResult::Changed, 0, 60},
        {"never hibernation keeps standby", half(kActionSleep, 1200, 2400), KindHibernation, 0, 0, true,
         ChoiceResult::Changed, 20, 0},
        {"never hibernation alone turns idle off", half(kActionHibernate, 3600, 0), KindHibernation, 0, 0,
         true, ChoiceResult::Changed, 0, 0},
        {"a time-out does not fit the brightness", half(kActionSleep, 600, 0), KindBrightness, 1200, 1500,
         true, ChoiceResult::Ignored, 10, 0},
    };
    for (const auto &c : cases) {
        PolicyHalf h = c.before;
        ChoiceResult result =
            c.seconds ? setTimeout(c.kind, c.seconds, c.next, h) : setNever(c.kind, c.hibernateAllowed, h);
        EXPECT_EQ(result, c.result) << c.what;
        EXPECT_EQ(shownStandby(h), c.standby * 60) << c.what;
        EXPECT_EQ(shownHibernation(h), c.hibernation * 60) << c.what;
    }
    PolicyHalf off = half(kActionHibernate, 3600, 0);
    setNever(KindHibernation, true, off);
    EXPECT_EQ(off.action, kActionNone);
    EXPECT_EQ(timeoutItemNextSeconds(kTimeoutItemCount - 1), 21600u);
}

TEST(PerformanceLevels, StoredThrottleRoundsUpOntoAnOfferedLevel) {
    const uint8_t standard[4] = {100, 75, 50, 25}, minimum37[4] = {100, 68, 37, 0};
    const struct {
        const uint8_t *levels;
        uint8_t stored, shown;
    } cases[] = {{standard, 60, 75},  {standard, 10, 25},   {standard, 50, 50},
                 {standard, 76, 100}, {standard, 100, 100}, {minimum37, 60, 68},
                 {minimum37, 0, 0},   {minimum37, 20, 37},  {minimum37, 69, 100}};
    for (const auto &c : cases)
        EXPECT_EQ(roundToOfferedLevel(c.stored, c.levels), c.shown)
            << int(c.stored) << " on " << int(c.levels[3]);
}

TEST(PerformanceLevels, TheProcessorsMinimumChoosesTheOfferedLevels) {
    const struct {
        uint32_t minimum;
        PerformanceMenu menu;
        uint8_t l1, l2, l3;
    } cases[] = {
        {0, PerformanceMenu::Unchanged, 75, 50, 25}, {25, PerformanceMenu::Unchanged, 75, 50, 25},
        {26, PerformanceMenu::TwoLower, 63, 26, 0},  {37, PerformanceMenu::TwoLower, 68, 37, 0},
        {50, PerformanceMenu::TwoLower, 75, 50, 0},  {51, PerformanceMenu::OneLower, 51, 0, 0},
        {99, PerformanceMenu::OneLower, 99, 0, 0},   {100, PerformanceMenu::Removed, 75, 50, 25},
        {101, PerformanceMenu::OneLower, 101, 0, 0},
    };
    for (const auto &c : cases) {
        // L0 is 100 after every adaptation, whatever it held before.
        uint8_t levels[4] = {0, 75, 50, 25};
        EXPECT_EQ(adaptPerformanceLevels(c.minimum, levels), c.menu) << c.minimum;
        EXPECT_EQ(levels[0], 100) << c.minimum;
        EXPECT_EQ(levels[1], c.l1) << c.minimum;
        EXPECT_EQ(levels[2], c.l2) << c.minimum;
        EXPECT_EQ(levels[3], c.l3) << c.minimum;
    }
}

// The dialog's menu for its selection: which popup of positions 1-5 is enabled, whether "Rename" and
// "Load Default setting" are, and what happens to "1 Minute" and "2 Minutes".
TEST(ConfigMenu, TheSelectionChoosesTheEnabledPopupAndItems) {
    using S = ShortTimeouts;
    const struct {
        bool stepTree;
        uint32_t selected;
        int popup;
        bool stepItems;
        ShortTimeouts shortItems;
    } cases[] = {
        {true, KindVideo, 0, true, S::Unchanged},          {false, KindStandby, 1, false, S::Enabled},
        {false, KindHibernation, 1, false, S::Enabled},    {false, KindVideo, 1, false, S::Enabled},
        {false, KindHardDrive, 1, false, S::Grayed},       {false, KindBrightness, 2, false, S::Unchanged},
        {false, KindScreenSaver, 3, false, S::Unchanged},  {false, KindPerformance, 4, false, S::Unchanged},
        {false, 0, 0, false, S::Unchanged},                {false, 33176, 0, false, S::Unchanged},
    };
    for (const auto &c : cases) {
        ConfigMenuState state = configMenuState(c.stepTree, c.selected);
        EXPECT_EQ(state.enabledPopup, c.popup) << c.selected;
        EXPECT_EQ(state.stepItemsEnabled, c.stepItems) << c.selected;
        EXPECT_EQ(state.shortTimeouts, c.shortItems) << c.selected;
        // A double click opens the popup that the selection enables.
        if (!c.stepTree) {
            EXPECT_EQ(popupForKind(c.selected), c.popup) << c.selected;
        }
    }
}
