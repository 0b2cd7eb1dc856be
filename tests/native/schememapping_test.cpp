// A step's policy half onto the power settings of Windows Vista and later, and back.
#include "core/schememapping.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

PolicyHalf half(uint32_t action, uint32_t idle, uint32_t doze, uint8_t throttle = 100) {
    PolicyHalf h = {};
    h.action = action;
    h.idleTimeout = idle;
    h.dozeS4Timeout = doze;
    h.videoTimeout = 300;
    h.spindownTimeout = 600;
    h.forcedThrottle = throttle;
    return h;
}

} // namespace

TEST(SchemeMapping, IdleActionsGiveStandbyAndHibernateTimesCountedFromTheLastInput) {
    struct Case {
        PolicyHalf half;
        uint32_t standby, hibernate;
    } cases[] = {
        {half(kActionSleep, 600, 0), 600, 0},         // standby, never hibernate
        {half(kActionSleep, 600, 1200), 600, 1800},   // 20 min of standby after 10 idle: 30 idle
        {half(kActionSleep, 0xFFFFFFF0u, 1200), 0xFFFFFFF0u, 0xFFFFFFFFu}, // the sum stops at the top
        {half(kActionHibernate, 900, 0), 0, 900},     // hibernate at once
        {half(kActionNone, 900, 1200), 0, 0},         // never: stored times do not count
        {half(7, 900, 0), 0, 0},                      // an action no setting shows
    };
    for (const Case &c : cases) {
        SchemeSettings s = settingsForHalf(c.half, kThrottleAdaptive, 25);
        EXPECT_EQ(s.standby, c.standby) << c.half.action << " " << c.half.idleTimeout;
        EXPECT_EQ(s.hibernate, c.hibernate) << c.half.action << " " << c.half.idleTimeout;
        EXPECT_EQ(s.video, 300u);
        EXPECT_EQ(s.disk, 600u);
    }
}

TEST(SchemeMapping, ProcessorMinimumFollowsThePolicyAndNeverPassesTheMaximum) {
    struct Case {
        uint8_t policy, maximum;
        uint32_t minThrottle, minimum;
    } cases[] = {
        {kThrottleNone, 75, 25, 75},     // no throttling: held at the maximum
        {kThrottleConstant, 75, 25, 25}, // the processor's lowest
        {kThrottleDegrade, 100, 40, 40},
        {kThrottleAdaptive, 50, 75, 50}, // never above the maximum
        {9, 100, 25, 25},                // above adaptive counts as adaptive
    };
    for (const Case &c : cases) {
        SchemeSettings s = settingsForHalf(half(kActionNone, 0, 0, c.maximum), c.policy, c.minThrottle);
        EXPECT_EQ(s.throttleMaximum, c.maximum);
        EXPECT_EQ(s.throttleMinimum, c.minimum) << int(c.policy);
    }
}

TEST(SchemeMapping, ReadingBackGivesTheIdleActionOrKeepsWhatCannotBeExpressed) {
    struct Case {
        PolicyHalf stored;
        uint32_t standby, hibernate;
        uint32_t action, idle, doze;
    } cases[] = {
        {half(kActionNone, 0, 0), 600, 1800, kActionSleep, 600, 1200},
        {half(kActionNone, 0, 0), 600, 0, kActionSleep, 600, 0},
        {half(kActionSleep, 600, 0), 0, 900, kActionHibernate, 900, 0},
        {half(kActionSleep, 600, 1200), 0, 0, kActionNone, 0, 0},
        {half(kActionSleep, 600, 1200), 1800, 300, kActionHibernate, 300, 0}, // before standby: hibernates
        {half(kActionHibernate, 900, 0), 900, 900, kActionHibernate, 900, 0}, // at once: no standby first
        {half(kActionHibernate, 900, 0), 600, 601, kActionSleep, 600, 1},
        {half(7, 300, 0), 0, 0, 7, 300, 0},                                  // unchanged: kept as stored
    };
    for (const Case &c : cases) {
        PolicyHalf h = c.stored;
        readBackHalf({c.standby, c.hibernate, 120, 60, 50, 25}, h);
        EXPECT_EQ(h.action, c.action) << c.standby << "/" << c.hibernate;
        EXPECT_EQ(h.idleTimeout, c.idle) << c.standby << "/" << c.hibernate;
        EXPECT_EQ(h.dozeS4Timeout, c.doze) << c.standby << "/" << c.hibernate;
        EXPECT_EQ(h.videoTimeout, 120u);
        EXPECT_EQ(h.spindownTimeout, 60u);
        EXPECT_EQ(h.forcedThrottle, 50u);
    }
    PolicyHalf h = half(kActionNone, 0, 0, 75);
    readBackHalf({0, 0, 300, 600, 250, 5}, h);
    EXPECT_EQ(h.forcedThrottle, 75u) << "a maximum above 100 percent keeps the stored throttle";
}

TEST(SchemeMapping, AHalfReadBackFromItsOwnSettingsIsUnchanged) {
    for (PolicyHalf stored : {half(kActionSleep, 600, 1200, 75), half(kActionHibernate, 900, 0, 50),
                              half(kActionNone, 0, 0, 100), half(kActionSleep, 1200, 0, 25)}) {
        PolicyHalf h = stored;
        readBackHalf(settingsForHalf(stored, kThrottleAdaptive, 25), h);
        EXPECT_EQ(h.action, stored.action);
        EXPECT_EQ(h.idleTimeout, stored.idleTimeout);
        EXPECT_EQ(h.dozeS4Timeout, stored.dozeS4Timeout);
        EXPECT_EQ(h.forcedThrottle, stored.forcedThrottle);
    }
}

TEST(SchemeMapping, PowerModeAndBrightnessFollowTheHalf) {
    const std::tuple<uint32_t, uint32_t, PowerMode> modes[] = {
        {99, 5, PowerMode::BestEfficiency}, {50, 50, PowerMode::BestEfficiency}, {100, 5, PowerMode::Balanced},
        {100, 99, PowerMode::Balanced},     {100, 100, PowerMode::BestPerformance}};
    for (auto [maximum, minimum, mode] : modes)
        EXPECT_EQ(powerModeFor(maximum, minimum), mode) << maximum << "/" << minimum;
    const uint32_t percents[][2] = {{0, 0}, {1, 6}, {7, 46}, {14, 93}, {15, 100}, {16, 100}, {0xFFFFFFFFu, 100}};
    for (const auto &p : percents)
        EXPECT_EQ(brightnessPercent(p[0]), p[1]) << p[0];
}
