// A fresh simulated notebook and the program started in a program folder of its own, for each test.
#pragma once
#include "harness/msgbox.h"
#include "harness/notebook.h"
#include "program.h"
#include "sim/simstate.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// The log-on "Run" key, where start at log-on puts the value "Kelvane": the machine's, and from
// Windows Vista on the user's.
constexpr const char *kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

inline void deleteRunValue(HKEY root = HKEY_LOCAL_MACHINE) {
    HKEY key;
    if (RegOpenKeyExA(root, kRunKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "Kelvane");
        RegCloseKey(key);
    }
}

class LumoraTest : public ::testing::Test {
  protected:
    void SetUp() override { resetNotebook(); }

    void TearDown() override {
        program.kill();
        osd.stop();
    }

    // The steps the program remembers from an earlier run, as it stores them.
    static void rememberSteps(unsigned acStep, unsigned dcStep, unsigned current) {
        setRegText(HKEY_CURRENT_USER, "Software\\KELVANE", "AC_Current_Step", std::to_string(acStep));
        setRegText(HKEY_CURRENT_USER, "Software\\KELVANE", "DC_Current_Step", std::to_string(dcStep));
        setRegText(HKEY_CURRENT_USER, "Software\\KELVANE", "CurrentStep", std::to_string(current));
    }
    static void onBattery() { setSimValue("ACLineStatus", 0); }
    static void onMains() { setSimValue("ACLineStatus", 1); }

    // Lays out a program folder, starts the simulated-notebook program and waits until it runs.
    void startProgram(const char *arguments = "") {
        folder = std::make_unique<ProgramFolder>();
        folder->copyIn(simProgramDir() + "VidmoCFG.EXE", "VidmoCFG.EXE");
        ASSERT_TRUE(program.start(folder->exe(), arguments));
        ASSERT_TRUE(program.waitReady()) << "the program did not come up";
    }

    static std::string programValue(const char *value) {
        return regText(HKEY_CURRENT_USER, "Software\\KELVANE", value);
    }
    static std::string ownScheme() { return programValue("Power_Scheme_No"); }
    static std::string schemeKey(const std::string &index) {
        return "Control Panel\\PowerCfg\\PowerPolicies\\" + index;
    }

    // Posts a step-cycle command and waits until the step it names has been applied.
    void cycleAndWaitApplied(unsigned expected) {
        size_t from = logSize();
        program.command(kCmdStepCycle);
        EXPECT_TRUE(waitLineFrom(from, "SPGS " + std::to_string(expected)))
            << "step " << expected << " was not applied";
    }

    std::unique_ptr<ProgramFolder> folder;
    Program program;
    OsdStandIn osd;
};

// For tests that turn start at log-on on: no "Kelvane" Run value before or after them.
class LumoraTestWithoutRunValue : public LumoraTest {
  protected:
    void SetUp() override {
        LumoraTest::SetUp();
        deleteRunValue();
    }
    void TearDown() override {
        LumoraTest::TearDown();
        deleteRunValue();
    }
};
