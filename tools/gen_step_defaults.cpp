// Writes the shipped step defaults CFG1.DEF to CFG8.DEF from the table below (build-time tool).
#include "core/stepfile.h"

#include <cstdio>
#include <cstring>

namespace {

// Time-outs are in seconds, 0 meaning never. Throttle policies: 0 none, 2 degrade, 3 adaptive.
struct StepDefault {
    unsigned standbyAc, standbyDc;     // idle time-out before standby
    unsigned monitorAc, monitorDc;     // video time-out
    unsigned diskAc, diskDc;           // hard-disk spin-down
    unsigned hibernateAc, hibernateDc; // time in standby before hibernating
    unsigned throttleAc, throttleDc;
    unsigned forcedThrottleDc;         // processor performance on battery, percent
    unsigned panelLevel;               // battery brightness 0-15
    unsigned screenSaverAc, screenSaverDc;
};

// Step 1 gives full performance; every later step trades more of it for battery life.
const StepDefault kDefaults[8] = {
    //  standby     monitor     disk        hibernate  throttle  cpu%  panel  saver
    {0, 1800, 0, 900, 0, 1800, 0, 0, 0, 0, 100, 15, 1, 1},
    {0, 1200, 1200, 600, 0, 1200, 0, 0, 3, 3, 100, 13, 1, 1},
    {1800, 900, 900, 300, 1800, 600, 0, 3600, 3, 3, 100, 11, 1, 1},
    {1200, 600, 600, 180, 1200, 300, 0, 2700, 0, 3, 75, 9, 1, 0},
    {900, 600, 600, 180, 900, 300, 0, 1800, 2, 2, 75, 8, 1, 0},
    {900, 600, 600, 180, 900, 300, 0, 1800, 2, 2, 75, 8, 1, 0},
    {600, 300, 300, 120, 600, 180, 0, 1200, 2, 2, 50, 5, 0, 0},
    {300, 180, 120, 60, 300, 120, 0, 600, 2, 2, 25, 3, 0, 0},
};

// POWER_POLICY constants this table needs.
constexpr unsigned kPowerActionNone = 0, kPowerActionSleep = 2;
constexpr unsigned kSleeping1 = 2, kSleeping3 = 4;
constexpr size_t kUserRevision = 0, kMaxSleepAc = 40, kMaxSleepDc = 44;
constexpr size_t kIdleSensitivityAc = 36, kIdleSensitivityDc = 37;
constexpr size_t kMachineRevision = 80, kMinSleepAc = 84, kMinSleepDc = 88;
constexpr size_t kReducedLatencySleepAc = 92, kReducedLatencySleepDc = 96;

void fill(const StepDefault &d, StepFileImage &image) {
    namespace P = PolicyOffset;
    std::memset(&image, 0, sizeof image);
    uint8_t *p = image.policy;
    setPolicyDword(p, kUserRevision, 1);
    setPolicyDword(p, P::IdleActionAc, d.standbyAc ? kPowerActionSleep : kPowerActionNone);
    setPolicyDword(p, P::IdleActionDc, d.standbyDc ? kPowerActionSleep : kPowerActionNone);
    setPolicyDword(p, P::IdleTimeoutAc, d.standbyAc);
    setPolicyDword(p, P::IdleTimeoutDc, d.standbyDc);
    p[kIdleSensitivityAc] = p[kIdleSensitivityDc] = 50;
    p[P::ThrottlePolicyAc] = uint8_t(d.throttleAc);
    p[P::ThrottlePolicyDc] = uint8_t(d.throttleDc);
    setPolicyDword(p, kMaxSleepAc, kSleeping3);
    setPolicyDword(p, kMaxSleepDc, kSleeping3);
    setPolicyDword(p, P::VideoTimeoutAc, d.monitorAc);
    setPolicyDword(p, P::VideoTimeoutDc, d.monitorDc);
    setPolicyDword(p, P::SpindownTimeoutAc, d.diskAc);
    setPolicyDword(p, P::SpindownTimeoutDc, d.diskDc);
    p[P::OptimizeForPowerAc] = 0;
    p[P::OptimizeForPowerDc] = 1;
    p[P::ForcedThrottleAc] = 100;
    p[P::ForcedThrottleDc] = uint8_t(d.forcedThrottleDc);
    setPolicyDword(p, kMachineRevision, 1);
    setPolicyDword(p, kMinSleepAc, kSleeping1);
    setPolicyDword(p, kMinSleepDc, kSleeping1);
    setPolicyDword(p, kReducedLatencySleepAc, kSleeping1);
    setPolicyDword(p, kReducedLatencySleepDc, kSleeping1);
    setPolicyDword(p, P::DozeS4TimeoutAc, d.hibernateAc);
    setPolicyDword(p, P::DozeS4TimeoutDc, d.hibernateDc);
    image.panelLevel = d.panelLevel;
    image.screenSaverAc = d.screenSaverAc;
    image.screenSaverDc = d.screenSaverDc;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    for (unsigned step = 1; step <= 8; ++step) {
        StepFileImage image;
        fill(kDefaults[step - 1], image);
        uint8_t bytes[kStepFileSize];
        encodeStepFile(image, bytes);
        char name[4096];
        std::snprintf(name, sizeof name, "%s/CFG%x.DEF", argv[1], step);
        FILE *f = std::fopen(name, "wb");
        if (!f || std::fwrite(bytes, 1, sizeof bytes, f) != sizeof bytes || std::fclose(f) != 0) {
            std::fprintf(stderr, "cannot write %s\n", name);
            return 1;
        }
    }
    return 0;
}
