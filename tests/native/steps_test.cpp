// Which steps mains and battery offer.
#include "core/steps.h"

#include <gtest/gtest.h>

TEST(StepRules, MainsOffersOrdinaryStepsOneToThreeAndTheSwitchSteps) {
    std::string offered;
    for (unsigned step = 0; step <= 9; ++step)
        if (acOffersStep(step, 1, 3))
            offered += char('0' + step);
    EXPECT_EQ(offered, "12356");
}

TEST(StepRules, BatteryOffersStepTwoUpwards) {
    std::string offered;
    for (unsigned step = 0; step <= 8; ++step)
        if (dcOffersStep(step, 2))
            offered += char('0' + step);
    EXPECT_EQ(offered, "2345678");
}

TEST(StepRules, OnlyOneToEightIndexTables) {
    EXPECT_FALSE(isStep(0));
    EXPECT_TRUE(isStep(1));
    EXPECT_TRUE(isStep(8));
    EXPECT_FALSE(isStep(9));
    EXPECT_FALSE(isStep(0xFFFFFFFFu));
}

TEST(StepCycle, MainsRunsOneTwoThreeFiveSix) {
    std::string seen;
    unsigned step = 3;
    for (int i = 0; i < 5; ++i)
        seen += char('0' + (step = nextCycleStep(step, true, 1, 3, 2)));
    EXPECT_EQ(seen, "56123");
    for (unsigned from : {4u, 7u, 8u, 0xFFFFFFFFu})
        EXPECT_EQ(nextCycleStep(from, true, 1, 3, 2), 5u) << from;
    EXPECT_EQ(nextCycleStep(0, true, 1, 3, 2), 1u);
}

TEST(StepCycle, BatteryRunsTwoToEight) {
    EXPECT_EQ(nextCycleStep(8, false, 1, 3, 2), 2u);
    EXPECT_EQ(nextCycleStep(1, false, 1, 3, 2), 2u);
    EXPECT_EQ(nextCycleStep(5, false, 1, 3, 2), 6u);
    EXPECT_EQ(nextCycleStep(9, false, 1, 3, 2), 2u);
}
