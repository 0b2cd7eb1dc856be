// Start-up settings: the first start, the clamps of the saved steps, the capabilities probed.
#include "harness/programfixture.h"

#include "engine/startup.h"
#include "sim/simstate.h"

namespace {

const char *kProgramKey = "Software\\KELVANE";
std::string programValue(const char *name) { return regText(HKEY_CURRENT_USER, kProgramKey, name); }

class FirstStart : public StartedProgram {
  protected:
    bool usedBefore() override { return false; }
};

TEST_F(FirstStart, EmptyRegistryGivesTheDefaults) {
    ASSERT_EQ(started, 1);
    EXPECT_EQ(app.currentStep, 2u);
    EXPECT_EQ(app.cycleStep, 2u);
    EXPECT_EQ(programValue("CurrentStep"), "2");
    EXPECT_EQ(app.acStep, 2u);
    EXPECT_EQ(app.dcStep, 5u);
    EXPECT_EQ(app.vidmoResolution, 0u);
    EXPECT_EQ(app.autoPerformance, 1u);
    EXPECT_EQ(app.ownScheme, 6u) << "a new scheme after the six of Windows";
    EXPECT_EQ(app.userScheme, 0u);
    EXPECT_EQ(std::string(app.iniPath), testFolder() + "Lumora.ini");
    // Capabilities of the simulated notebook on XP.
    EXPECT_EQ(app.isNt, 1u);
    EXPECT_EQ(app.isXp, 1u);
    EXPECT_EQ(app.qmodSupported, 1u);
    EXPECT_EQ(app.standbyAllowed, 1u);
    EXPECT_EQ(app.hibernateAllowed, 1u);
    EXPECT_EQ(app.throttleSupported, 0u) << "XP clears it";
    EXPECT_EQ(app.acPanelLevel, 15u);
    EXPECT_EQ(app.savedDisplayMode.dmPelsWidth, 1024u);
    EXPECT_EQ(app.clockMhz[2], 1600u);
    // The step in force was loaded from its shipped default, with the notice.
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, testFolder() + "CFG2.BLC\nOpen Power policy file error!\n\nLoad default setting!");
}

struct SavedSteps {
    const char *current, *ac, *dc;
    DWORD currentStep, acStep, dcStep;
    const char *storedCurrent, *storedAc, *storedDc;
};

class SavedStepClamps : public StartedProgram, public ::testing::WithParamInterface<SavedSteps> {
  protected:
    void arrange() override {
        setRegText(HKEY_CURRENT_USER, kProgramKey, "CurrentStep", GetParam().current);
        setRegText(HKEY_CURRENT_USER, kProgramKey, "AC_Current_Step", GetParam().ac);
        setRegText(HKEY_CURRENT_USER, kProgramKey, "DC_Current_Step", GetParam().dc);
    }
};

TEST_P(SavedStepClamps, ReadAndWrittenBack) {
    const SavedSteps &p = GetParam();
    EXPECT_EQ(app.currentStep, p.currentStep);
    EXPECT_EQ(app.acStep, p.acStep);
    EXPECT_EQ(app.dcStep, p.dcStep);
    EXPECT_EQ(programValue("CurrentStep"), p.storedCurrent);
    EXPECT_EQ(programValue("AC_Current_Step"), p.storedAc);
    EXPECT_EQ(programValue("DC_Current_Step"), p.storedDc);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SavedStepClamps,
    ::testing::Values(SavedSteps{"12", "4", "0", 2, 3, 5, "2", "3", "0"},
                      SavedSteps{"3", "7", "1", 3, 3, 2, "3", "3", "2"},
                      SavedSteps{"0", "8", "9", 2, 3, 5, "2", "3", "9"},
                      SavedSteps{"7", "5", "8", 7, 5, 8, "7", "5", "8"},
                      SavedSteps{"x", "6", "2", 2, 6, 2, "2", "6", "2"},
                      SavedSteps{"1", "0", "5", 1, 2, 5, "1", "0", "5"},
                      SavedSteps{"2", "9", "1", 2, 2, 2, "2", "9", "2"},
                      SavedSteps{"9", "2", "4", 2, 2, 4, "2", "2", "4"}));

class AmbientLight : public StartedProgram {
  protected:
    void arrange() override { setRegDword(HKEY_LOCAL_MACHINE, "Software\\VKT0100", "ALSC_CONTROL", 2); }
};

TEST_F(AmbientLight, SilencesThePanelLevelFromTheStart) {
    EXPECT_EQ(app.panelControl, 0u);
    resetAppState();
    clearLog();
    setRegDword(HKEY_LOCAL_MACHINE, "Software\\VKT0100", "ALSC_CONTROL", 0);
    app.panelControl = 0;
    readPanelControl();
    EXPECT_EQ(app.panelControl, 1u);
    deleteRegTree(HKEY_LOCAL_MACHINE, "Software\\VKT0100");
    app.panelControl = 0;
    readPanelControl();
    EXPECT_EQ(app.panelControl, 0u) << "absent: unchanged";
}

class OnBattery : public StartedProgram {
  protected:
    void arrange() override {
        setSimValue("ACLineStatus", 0);
        setSimValue("PanelLevel", 6);
        setSimValue("StandbyAllowed", 0);
        setRegText(HKEY_CURRENT_USER, kProgramKey, "Vidmo_RES", "3");
    }
};

TEST_F(OnBattery, ProbeReadsSourcePanelAndCapabilities) {
    EXPECT_EQ(app.onAc, 0u);
    EXPECT_EQ(app.onBattery, 1u);
    EXPECT_EQ(app.acPanelLevel, 15u) << "the firmware's level belongs to the battery";
    EXPECT_EQ(app.standbyAllowed, 0u);
    EXPECT_EQ(app.vidmoResolution, 3u);
}

} // namespace

// On platforms before XP the throttle argument and the processor capability count.
TEST(StartupPlatforms, ThrottleArgumentAndVersionFlags) {
    OSVERSIONINFOA v = {};
    v.dwOSVersionInfoSize = sizeof v;
    GetVersionExA(&v);
    if (v.dwPlatformId == VER_PLATFORM_WIN32_NT && v.dwMinorVersion != 0) {
        EXPECT_EQ(runOnPlatform("win2k", "StartupPlatforms.*"), 0);
        EXPECT_EQ(runOnPlatform("win98", "StartupPlatforms.*"), 0);
        return;
    }
    for (int force : {0, 1}) {
        resetNotebook();
        resetAppState();
        setSimValue("ProcessorThrottle", 0);
        MessageBoxWatcher boxes;
        ASSERT_EQ(probeCapabilities(force, 0), 1);
        EXPECT_EQ(app.isXp, 0u);
        EXPECT_EQ(app.isNt, v.dwPlatformId == VER_PLATFORM_WIN32_NT ? 1u : 0u);
        EXPECT_EQ(app.throttleSupported, DWORD(force));
    }
}
