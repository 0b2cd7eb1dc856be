// The 156-byte step file: a POWER_POLICY, the battery panel level and two screen-saver flags.
#include "core/stepfile.h"

#include <cstring>

static uint32_t readLe32(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

static void writeLe32(uint8_t *p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// Copies what a short read would have delivered into the little-endian field, leaving the rest.
static void readPartialLe32(const uint8_t *p, size_t have, uint32_t &field) {
    uint8_t bytes[4];
    writeLe32(bytes, field);
    std::memcpy(bytes, p, have);
    field = readLe32(bytes);
}

StepFileStatus decodeStepFile(const uint8_t *data, size_t size, StepFileImage &out) {
    if (size < kPolicySize) {
        std::memcpy(out.policy, data, size);
        return StepFileStatus::ShortPolicy;
    }
    std::memcpy(out.policy, data, kPolicySize);
    size_t rest = size - kPolicySize;
    if (rest < 4) {
        readPartialLe32(data + kFilePanelLevelOffset, rest, out.panelLevel);
        return StepFileStatus::ShortPanelLevel;
    }
    out.panelLevel = readLe32(data + kFilePanelLevelOffset);
    rest -= 4;
    // The two flags are one 8-byte read: a short read fills what it has.
    if (rest < 8) {
        readPartialLe32(data + kFileScreenSaverAcOffset, rest < 4 ? rest : 4, out.screenSaverAc);
        if (rest > 4)
            readPartialLe32(data + kFileScreenSaverDcOffset, rest - 4, out.screenSaverDc);
        return StepFileStatus::ShortScreenSaver;
    }
    out.screenSaverAc = readLe32(data + kFileScreenSaverAcOffset);
    out.screenSaverDc = readLe32(data + kFileScreenSaverDcOffset);
    return StepFileStatus::Ok;
}

void encodeStepFile(const StepFileImage &image, uint8_t out[kStepFileSize]) {
    std::memcpy(out + kFilePolicyOffset, image.policy, kPolicySize);
    writeLe32(out + kFilePanelLevelOffset, image.panelLevel);
    writeLe32(out + kFileScreenSaverAcOffset, image.screenSaverAc);
    writeLe32(out + kFileScreenSaverDcOffset, image.screenSaverDc);
}

void adjustLoadedPolicy(uint8_t policy[kPolicySize], bool isXp) {
    policy[PolicyOffset::OptimizeForPowerAc] = 0;
    policy[PolicyOffset::ForcedThrottleAc] = 100;
    if (isXp) {
        policy[PolicyOffset::OptimizeForPowerDc] = 1;
        policy[PolicyOffset::ForcedThrottleDc] = 100;
    }
}

uint32_t policyDword(const uint8_t *policy, size_t offset) { return readLe32(policy + offset); }

void setPolicyDword(uint8_t *policy, size_t offset, uint32_t value) { writeLe32(policy + offset, value); }
