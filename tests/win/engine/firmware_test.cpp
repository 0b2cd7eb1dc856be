// The firmware's methods: packed names, and both calls reaching the (simulated) method library.
#include "engine/firmware.h"

#include "harness/notebook.h"
#include "sim/simstate.h"

#include <gtest/gtest.h>

#include <string>

using namespace firmware;

namespace {

std::string unpack(DWORD method) {
    std::string name;
    for (int i = 0; i < 4; ++i)
        name += char((method >> (8 * i)) & 0xFF);
    return name;
}

class Firmware : public ::testing::Test {
  protected:
    void SetUp() override { resetNotebook(); }
};

} // namespace

TEST(FirmwareNames, FirstLetterInTheLowByte) {
    EXPECT_EQ(SFUN, 0x4E554653u);
    EXPECT_EQ(GPLV, 0x564C5047u);
    const std::pair<DWORD, const char *> names[] = {{SFUN, "SFUN"}, {QMOD, "QMOD"}, {SPGS, "SPGS"},
                                                    {SDSP, "SDSP"}, {GFRQ, "GFRQ"}, {SFRQ, "SFRQ"},
                                                    {SPLV, "SPLV"}, {GPLV, "GPLV"}};
    for (const auto &[method, name] : names)
        EXPECT_EQ(unpack(method), name);
}

TEST_F(Firmware, MethodsWithoutArgumentReportTheirResult) {
    DWORD mask = 0;
    ASSERT_EQ(None_Method(SFUN, &mask), 1);
    EXPECT_EQ(mask & kFunctionSupported, kFunctionSupported);
    EXPECT_EQ(mask & kFunctionClockControl, kFunctionClockControl);
    setSimValue("PanelLevel", 9);
    DWORD level = 0;
    ASSERT_EQ(None_Method(GPLV, &level), 1);
    EXPECT_EQ(level & 0xF, 9u);

    setSimValue("SfunFails", 1);
    EXPECT_EQ(None_Method(SFUN, &mask), 0);
    EXPECT_EQ(logLines(), (std::vector<std::string>{"SFUN", "GPLV", "SFUN"}));
}

TEST_F(Firmware, MethodsWithOneArgumentPassItOn) {
    DWORD out = 0;
    ASSERT_EQ(One_Method(QMOD, 0, &out), 1);
    EXPECT_EQ(out, 1u);
    ASSERT_EQ(One_Method(GFRQ, 2, &out), 1);
    EXPECT_EQ(out, 1600u);
    setSimValue("ClockMhz1", 0);
    EXPECT_EQ(One_Method(GFRQ, 1, &out), 0) << "a missing clock index fails";
    EXPECT_EQ(One_Method(SPGS, 4, &out), 1);
    EXPECT_EQ(One_Method(SPLV, 7, &out), 1);
    EXPECT_EQ(simValue("PanelLevel", 15), 7u);
    EXPECT_EQ(logLines(), (std::vector<std::string>{"QMOD 0", "GFRQ 2", "GFRQ 1", "SPGS 4", "SPLV 7"}));
}
