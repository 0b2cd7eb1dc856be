// Fuzz target: a step file of any length decoded, adjusted, encoded and decoded again.
#include "core/stepfile.h"
#include "require.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // A short read leaves the rest of the slot as it was: start from a known filling.
    StepFileImage image;
    std::memset(&image, 0xA5, sizeof image);
    StepFileStatus status = decodeStepFile(data, size, image);

    uint8_t encoded[kStepFileSize];
    encodeStepFile(image, encoded);
    size_t taken = size < kStepFileSize ? size : kStepFileSize;
    // What was read is kept byte for byte; what was not is untouched.
    REQUIRE(std::memcmp(encoded, data, taken) == 0);
    for (size_t i = taken; i < kStepFileSize; ++i)
        REQUIRE(encoded[i] == 0xA5);
    REQUIRE((status == StepFileStatus::Ok) == (size >= kStepFileSize));
    if (status == StepFileStatus::ShortPolicy)
        REQUIRE(size < kFilePanelLevelOffset);
    if (status == StepFileStatus::ShortPanelLevel)
        REQUIRE(size >= kFilePanelLevelOffset && size < kFileScreenSaverAcOffset);
    if (status == StepFileStatus::ShortScreenSaver)
        REQUIRE(size >= kFileScreenSaverAcOffset && size < kStepFileSize);

    // The load's adjustment touches only its four bytes, and survives a save and a load.
    bool isXp = size > 0 && (data[0] & 1);
    StepFileImage adjusted = image;
    adjustLoadedPolicy(adjusted.policy, isXp);
    encodeStepFile(adjusted, encoded);
    StepFileImage again;
    std::memset(&again, 0x5A, sizeof again);
    REQUIRE(decodeStepFile(encoded, sizeof encoded, again) == StepFileStatus::Ok);
    REQUIRE(std::memcmp(&again, &adjusted, sizeof again) == 0);
    for (size_t i = 0; i < kPolicySize; ++i) {
        bool adjustedByte =
            i == PolicyOffset::OptimizeForPowerAc || i == PolicyOffset::ForcedThrottleAc ||
            (isXp && (i == PolicyOffset::OptimizeForPowerDc || i == PolicyOffset::ForcedThrottleDc));
        if (!adjustedByte)
            REQUIRE(again.policy[i] == image.policy[i]);
    }
    REQUIRE(again.policy[PolicyOffset::OptimizeForPowerAc] == 0 &&
            again.policy[PolicyOffset::ForcedThrottleAc] == 100);
    return 0;
}
