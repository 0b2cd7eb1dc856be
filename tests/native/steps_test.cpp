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
