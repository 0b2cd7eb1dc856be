// The 156-byte step file: a POWER_POLICY, the battery panel level and two screen-saver flags.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr size_t kPolicySize = 144;       // POWER_POLICY: USER_POWER_POLICY (80) + MACHINE_POWER_POLICY (64)
constexpr size_t kGlobalPolicySize = 192; // GLOBAL_POWER_POLICY
constexpr size_t kStepFileSize = 156;

// File layout, little-endian, no header.
constexpr size_t kFilePolicyOffset = 0;
constexpr size_t kFilePanelLevelOffset = 144;
constexpr size_t kFileScreenSaverAcOffset = 148;
constexpr size_t kFileScreenSaverDcOffset = 152;

// Offsets of the POWER_POLICY fields the program reads or changes.
namespace PolicyOffset {
constexpr size_t IdleActionAc = 4, IdleActionDc = 16;
constexpr size_t IdleTimeoutAc = 28, IdleTimeoutDc = 32;
constexpr size_t ThrottlePolicyAc = 38, ThrottlePolicyDc = 39;
constexpr size_t VideoTimeoutAc = 56, VideoTimeoutDc = 60;
constexpr size_t SpindownTimeoutAc = 64, SpindownTimeoutDc = 68;
constexpr size_t OptimizeForPowerAc = 72, OptimizeForPowerDc = 73;
constexpr size_t ForcedThrottleAc = 76, ForcedThrottleDc = 77;
constexpr size_t DozeS4TimeoutAc = 108, DozeS4TimeoutDc = 112;
} // namespace PolicyOffset

// A step file's content as plain bytes and numbers (the Windows build overlays it on StepSettings).
struct StepFileImage {
    uint8_t policy[kPolicySize];
    uint32_t panelLevel;
    uint32_t screenSaverAc;
    uint32_t screenSaverDc;
};
static_assert(sizeof(StepFileImage) == kStepFileSize, "step file image must be 156 bytes");

// Which part of the file came up short, in reading order.
enum class StepFileStatus { Ok, ShortPolicy, ShortPanelLevel, ShortScreenSaver };

// Decodes the leading bytes of a file of `size` bytes the way three sequential reads of 144, 4 and 8
// bytes would: each part that is whole is taken; the first short part stops with its status and
// leaves whatever of it was present. Bytes after 156 are ignored.
StepFileStatus decodeStepFile(const uint8_t *data, size_t size, StepFileImage &out);

// Encodes the image into exactly kStepFileSize bytes.
void encodeStepFile(const StepFileImage &image, uint8_t out[kStepFileSize]);

// The adjustment made on every load: mains never optimises for power nor forces a throttle;
// on XP battery also optimises for power and leaves the processor unforced.
void adjustLoadedPolicy(uint8_t policy[kPolicySize], bool isXp);

// Little-endian field access inside a policy.
uint32_t policyDword(const uint8_t *policy, size_t offset);
void setPolicyDword(uint8_t *policy, size_t offset, uint32_t value);
