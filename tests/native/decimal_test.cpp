// Decimal text conversion of registry values.
#include "core/decimal.h"

#include <gtest/gtest.h>

TEST(ParseDecimal, ReadsSignAndLeadingDigitsOnly) {
    EXPECT_EQ(parseDecimal("5"), 5);
    EXPECT_EQ(parseDecimal("12"), 12);
    EXPECT_EQ(parseDecimal("-3"), -3);
    EXPECT_EQ(parseDecimal("+7"), 7);
    EXPECT_EQ(parseDecimal("42abc"), 42);
    EXPECT_EQ(parseDecimal("007"), 7);
}

TEST(ParseDecimal, TextWithoutDigitsIsZero) {
    EXPECT_EQ(parseDecimal(""), 0);
    EXPECT_EQ(parseDecimal("abc"), 0);
    EXPECT_EQ(parseDecimal("-"), 0);
    EXPECT_EQ(parseDecimal(" 5"), 0);
    EXPECT_EQ(parseDecimal(nullptr), 0);
}

TEST(ParseDecimal, OverflowWrapsAtThirtyTwoBits) {
    // A "LastID" of "-1" must not search any scheme index.
    EXPECT_EQ(unsigned(parseDecimal("-1")), 0xFFFFFFFFu);
    EXPECT_EQ(parseDecimal("2147483647"), 2147483647);
    EXPECT_EQ(unsigned(parseDecimal("2147483648")), 0x80000000u);
    EXPECT_EQ(parseDecimal("4294967297"), 1);
    EXPECT_EQ(parseDecimal("-4294967295"), 1);
}

TEST(FormatDecimal, BoundedAndTerminated) {
    char buf[4];
    EXPECT_EQ(formatDecimal(255, buf, sizeof buf), 3u);
    EXPECT_STREQ(buf, "255");
    EXPECT_EQ(formatDecimal(12345, buf, sizeof buf), 3u);
    EXPECT_STREQ(buf, "123");
    char one[1];
    EXPECT_EQ(formatDecimal(9, one, sizeof one), 0u);
    EXPECT_STREQ(one, "");
}
