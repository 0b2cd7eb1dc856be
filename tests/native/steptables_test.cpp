// Throttle, clock and panel-level tables of the steps.
#include "core/steptables.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
std::vector<int> row(const uint8_t *t) { return std::vector<int>(t, t + 8); }
std::vector<int> row(const uint32_t *t) { return std::vector<int>(t, t + 8); }
} // namespace

TEST(ThrottleTable, ThreeModes) {
    uint8_t ac[8], dc[8];
    throttleTable(1, true, ac, dc);
    EXPECT_EQ(row(ac), std::vector<int>(8, 2));
    EXPECT_EQ(row(dc), std::vector<int>(8, 2));
    throttleTable(0, true, ac, dc);
    EXPECT_EQ(row(ac), (std::vector<int>{0, 3, 3, 0, 2, 2, 2, 2}));
    EXPECT_EQ(row(dc), (std::vector<int>{0, 3, 3, 3, 2, 2, 2, 2}));
    throttleTable(2, true, ac, dc);
    EXPECT_EQ(row(dc), (std::vector<int>{0, 3, 3, 3, 2, 2, 2, 2}));
    throttleTable(2, false, ac, dc);
    EXPECT_EQ(row(ac), std::vector<int>(8, 0));
    EXPECT_EQ(row(dc), std::vector<int>(8, 0));
    throttleTable(1, false, ac, dc);
    EXPECT_EQ(row(ac), std::vector<int>(8, 2)) << "mode 1 ignores automatic performance";
}

TEST(PerformanceItems, OnlyXpWithAutomaticPerformanceHidesThem) {
    uint32_t shown[8];
    performanceItems(true, true, shown);
    EXPECT_EQ(row(shown), (std::vector<int>{0, 0, 0, 0, 0, 0, 1, 1}));
    performanceItems(true, false, shown);
    EXPECT_EQ(row(shown), std::vector<int>(8, 1));
    performanceItems(false, true, shown);
    EXPECT_EQ(row(shown), std::vector<int>(8, 1));
}

TEST(ClockPlan, AllThreeClocks) {
    uint32_t mhz[3] = {600, 1000, 1600};
    ClockPlan plan = planClocks(mhz);
    EXPECT_EQ(plan.support, 1u);
    EXPECT_EQ(row(plan.stepIndex), (std::vector<int>{2, 2, 1, 1, 0, 0, 0, 0}));
}

TEST(ClockPlan, MissingClocksMoveTheIndices) {
    uint32_t noHigh[3] = {600, 1000, 0};
    EXPECT_EQ(row(planClocks(noHigh).stepIndex), (std::vector<int>{1, 1, 1, 1, 0, 0, 0, 0}));
    uint32_t noLow[3] = {0, 1000, 1600};
    ClockPlan plan = planClocks(noLow);
    EXPECT_EQ(plan.support, 1u);
    EXPECT_EQ(row(plan.stepIndex), (std::vector<int>{2, 2, 1, 1, 1, 1, 1, 1}));
    uint32_t onlyMid[3] = {0, 1000, 0};
    plan = planClocks(onlyMid);
    EXPECT_EQ(plan.support, 2u) << "neither end exists";
    uint32_t none[3] = {0, 0, 0};
    EXPECT_EQ(planClocks(none).support, 2u);
}

TEST(PanelAndResolution, FirmwareLevelAndStepSixSizes) {
    EXPECT_EQ(panelLevelFromFirmware(0x1F), 15u);
    EXPECT_EQ(panelLevelFromFirmware(0x20), 0u);
    EXPECT_EQ(vidmoResolutionSize(2).width, 800u);
    EXPECT_EQ(vidmoResolutionSize(3).height, 768u);
    EXPECT_EQ(vidmoResolutionSize(4).width, 1280u);
    EXPECT_EQ(vidmoResolutionSize(1).width, 0u);
    EXPECT_EQ(vidmoResolutionSize(7).height, 0u);
}
