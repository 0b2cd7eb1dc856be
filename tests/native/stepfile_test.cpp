// The 156-byte step file codec and the load-time policy adjustment.
#include "core/stepfile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint8_t> sampleFile(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = uint8_t(i * 7 + 1);
    return bytes;
}

StepFileImage filledImage(uint8_t fill) {
    StepFileImage image;
    std::memset(&image, fill, sizeof image);
    return image;
}

} // namespace

TEST(StepFileCodec, RoundTripKeepsLayout) {
    StepFileImage image = filledImage(0);
    for (size_t i = 0; i < kPolicySize; ++i)
        image.policy[i] = uint8_t(i);
    image.panelLevel = 9;
    image.screenSaverAc = 1;
    image.screenSaverDc = 0x01020304;
    uint8_t bytes[kStepFileSize];
    encodeStepFile(image, bytes);
    EXPECT_EQ(bytes[143], 143);
    EXPECT_EQ(bytes[144], 9);
    EXPECT_EQ(bytes[148], 1);
    EXPECT_EQ(bytes[152], 4); // little-endian
    EXPECT_EQ(bytes[155], 1);

    StepFileImage back = filledImage(0xAA);
    ASSERT_EQ(decodeStepFile(bytes, sizeof bytes, back), StepFileStatus::Ok);
    EXPECT_EQ(std::memcmp(&back, &image, sizeof image), 0);
}

TEST(StepFileCodec, ShortFilesStopAtTheFirstShortRead) {
    struct Case {
        size_t size;
        StepFileStatus status;
    } cases[] = {
        {0, StepFileStatus::ShortPolicy},        {143, StepFileStatus::ShortPolicy},
        {144, StepFileStatus::ShortPanelLevel},  {147, StepFileStatus::ShortPanelLevel},
        {148, StepFileStatus::ShortScreenSaver}, {150, StepFileStatus::ShortScreenSaver},
        {155, StepFileStatus::ShortScreenSaver}, {156, StepFileStatus::Ok},
        {157, StepFileStatus::Ok},               {400, StepFileStatus::Ok},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> bytes = sampleFile(c.size);
        StepFileImage image = filledImage(0xEE);
        EXPECT_EQ(decodeStepFile(bytes.data(), bytes.size(), image), c.status) << c.size << " bytes";
    }
}

TEST(StepFileCodec, ShortReadLeavesWhatCameBefore) {
    std::vector<uint8_t> bytes = sampleFile(150);
    StepFileImage image = filledImage(0xEE);
    ASSERT_EQ(decodeStepFile(bytes.data(), bytes.size(), image), StepFileStatus::ShortScreenSaver);
    EXPECT_EQ(std::memcmp(image.policy, bytes.data(), kPolicySize), 0);
    EXPECT_EQ(image.panelLevel, uint32_t(bytes[144]) | uint32_t(bytes[145]) << 8 | uint32_t(bytes[146]) << 16 |
                                    uint32_t(bytes[147]) << 24);
    // Two bytes of the flags arrived; the rest of the record is untouched.
    EXPECT_EQ(image.screenSaverAc & 0xFFFF, uint32_t(bytes[148]) | uint32_t(bytes[149]) << 8);
    EXPECT_EQ(image.screenSaverAc >> 16, 0xEEEEu);
    EXPECT_EQ(image.screenSaverDc, 0xEEEEEEEEu);
}

TEST(StepFileCodec, ExtraBytesAreIgnored) {
    std::vector<uint8_t> longer = sampleFile(200);
    std::vector<uint8_t> exact(longer.begin(), longer.begin() + kStepFileSize);
    StepFileImage a = filledImage(0), b = filledImage(0);
    decodeStepFile(longer.data(), longer.size(), a);
    decodeStepFile(exact.data(), exact.size(), b);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
}

TEST(LoadAdjustment, MainsAlwaysAndBatteryOnlyOnXp) {
    uint8_t policy[kPolicySize];
    std::memset(policy, 55, sizeof policy);
    adjustLoadedPolicy(policy, false);
    EXPECT_EQ(policy[PolicyOffset::OptimizeForPowerAc], 0);
    EXPECT_EQ(policy[PolicyOffset::ForcedThrottleAc], 100);
    EXPECT_EQ(policy[PolicyOffset::OptimizeForPowerDc], 55);
    EXPECT_EQ(policy[PolicyOffset::ForcedThrottleDc], 55);
    EXPECT_EQ(policy[PolicyOffset::ThrottlePolicyAc], 55);

    adjustLoadedPolicy(policy, true);
    EXPECT_EQ(policy[PolicyOffset::OptimizeForPowerDc], 1);
    EXPECT_EQ(policy[PolicyOffset::ForcedThrottleDc], 100);
}

TEST(PolicyFields, DwordsAreLittleEndianAtTheirOffsets) {
    uint8_t policy[kPolicySize] = {};
    setPolicyDword(policy, PolicyOffset::VideoTimeoutDc, 0x00000E10);
    EXPECT_EQ(policy[60], 0x10);
    EXPECT_EQ(policy[61], 0x0E);
    EXPECT_EQ(policyDword(policy, PolicyOffset::VideoTimeoutDc), 0xE10u);
}
