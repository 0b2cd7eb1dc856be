// Step application on the simulated notebook: firmware calls, scheme, display, registry, menu marks.
#include "harness/programfixture.h"

#include "engine/startup.h"
#include "sim/simstate.h"
#include "state/operation.h"
#include "store/regtext.h"

#include <thread>

namespace {

std::string programValue(const char *name) { return regText(HKEY_CURRENT_USER, "Software\\KELVANE", name); }
std::string toolStart() { return "EXEC \"" + testFolder() + "VidmoCFG.EXE\" VIDMO"; }
size_t logIndex(const std::vector<std::string> &log, const std::string &prefix) {
    for (size_t i = 0; i < log.size(); ++i)
        if (log[i].compare(0, prefix.size(), prefix) == 0)
            return i;
    return log.size();
}

class StepApplication : public StartedProgram {};

} // namespace

TEST_F(StepApplication, ChangingStepActivatesTheSchemeAndRecordsTheStep) {
    ASSERT_EQ(started, 1);
    ASSERT_EQ(applyFromCurrent(3), 1);
    std::vector<std::string> log = logLines();
    char activate[32];
    snprintf(activate, sizeof activate, "ACTIVATE %u", app.ownScheme);
    // On XP the throttle goes first, then the scheme, the screen saver, the step to the firmware.
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0].compare(0, 9, "THROTTLE "), 0) << log[0];
    EXPECT_EQ(log[1], activate);
    EXPECT_TRUE(logHas("SFRQ 1")) << "step 3 runs at the middle clock, step 2 at the high one";
    EXPECT_TRUE(logHas("SPGS 3"));
    EXPECT_EQ(programValue("CurrentStep"), "3");
    EXPECT_EQ(programValue("AC_Current_Step"), "3");
    EXPECT_EQ(programValue("DC_Current_Step"), "<missing>");
    EXPECT_EQ(app.acStep, 3u);
    EXPECT_EQ(app.cycleStep, 3u);
    EXPECT_TRUE(checked(3));
    EXPECT_FALSE(checked(2));
}

TEST_F(StepApplication, StepAlreadyInForceSendsOnlyTheStepAgain) {
    ASSERT_EQ(applyFromCurrent(6), 1);
    ASSERT_TRUE(waitForLogLine(toolStart()));
    clearLog();
    ASSERT_EQ(applyStep(window, &app.currentStep, 6), 1);
    EXPECT_EQ(logCount("SFRQ"), 0u);
    EXPECT_EQ(logCount("DISPLAY"), 0u);
    EXPECT_EQ(logCount("EXEC"), 0u);
    EXPECT_TRUE(logHas("SPGS 6"));
    EXPECT_TRUE(checked(6));
}

TEST_F(StepApplication, ClockIndexWithoutAClockMovesToTheMiddle) {
    ASSERT_EQ(applyFromCurrent(5), 1);
    app.clockMhz[2] = 0; // the high clock vanished since the probe
    clearLog();
    ASSERT_EQ(applyFromCurrent(1), 1);
    EXPECT_EQ(app.stepClockIndex[0], app.clockMidIndex);
    EXPECT_TRUE(logHas("SFRQ 1"));
}

TEST_F(StepApplication, OnlyTheStartUpApplicationWithAWindowSendsTheClockWithoutAPreviousStep) {
    ASSERT_EQ(applyStep(window, &app.currentStep, 0), 1);
    EXPECT_TRUE(logHas("SFRQ 2"));
    clearLog();
    app.trayMenu = trayMenu();
    ASSERT_EQ(applyStep(nullptr, &app.currentStep, 0), 1);
    EXPECT_EQ(logCount("SFRQ"), 0u);
    EXPECT_TRUE(logHas("SPGS 2"));
}

TEST_F(StepApplication, FailingClocksSwitchClockControlOff) {
    setSimValue("ClockMhz0", 0);
    setSimValue("ClockMhz2", 0);
    probeClocks();
    EXPECT_EQ(app.clockSupport, 2u);
    ASSERT_EQ(applyFromCurrent(5), 1);
    ASSERT_EQ(applyFromCurrent(1), 1);
    EXPECT_EQ(logCount("SFRQ"), 0u);
}

// The tool starts in its place in the step's order, before SDSP 3.
TEST_F(StepApplication, StepSixStartsTheDisplayToolBeforeTheDisplaySwitch) {
    ASSERT_EQ(applyFromCurrent(6), 1);
    std::vector<std::string> log = logLines();
    EXPECT_LT(logIndex(log, toolStart()), logIndex(log, "SDSP 3"));
    clearLog();
    ASSERT_EQ(applyFromCurrent(2), 1);
    EXPECT_TRUE(logHas("SDSP 1"));
    EXPECT_EQ(logCount("DISPLAY"), 0u) << "the mode never changed";
}

TEST_F(StepApplication, StepSixChangesResolutionAtTheSavedDepthAndPutsItBack) {
    setRegText(HKEY_CURRENT_USER, "Software\\KELVANE", "Vidmo_RES", "2");
    ASSERT_EQ(applyFromCurrent(6), 1);
    EXPECT_TRUE(logHas("DISPLAY 800x600x32"));
    EXPECT_EQ(app.vidmoResolution, 2u);
    clearLog();
    ASSERT_EQ(applyFromCurrent(3), 1);
    std::vector<std::string> log = logLines();
    auto sdsp = std::find(log.begin(), log.end(), "SDSP 1");
    auto back = std::find(log.begin(), log.end(), "DISPLAY 1024x768x32");
    ASSERT_NE(sdsp, log.end());
    ASSERT_NE(back, log.end());
    EXPECT_LT(sdsp, back);
}

TEST_F(StepApplication, StepSixWithoutTheModeAtTheSavedDepthKeepsTheMode) {
    setSimText("CurrentMode", "800x600x32");
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\KelvaneSim", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    const char modes[] = "800x600x32\0001024x768x16\0001280x1024x32\0";
    RegSetValueExA(key, "DisplayModes", 0, REG_MULTI_SZ, (const BYTE *)modes, sizeof modes);
    RegCloseKey(key);
    setRegText(HKEY_CURRENT_USER, "Software\\KELVANE", "Vidmo_RES", "3");
    ASSERT_EQ(applyFromCurrent(6), 1);
    EXPECT_EQ(logCount("DISPLAY"), 0u);
    EXPECT_TRUE(logHas("SDSP 3"));
}

TEST_F(StepApplication, LeavingStepSixWithNoSavedModeOnlySwitchesTheDisplayBack) {
    app.savedDisplayMode.dmPelsHeight = 0;
    setSimText("CurrentMode", "800x600x32");
    app.currentStep = 2;
    ASSERT_EQ(applyStep(window, &app.currentStep, 6), 1);
    EXPECT_TRUE(logHas("SDSP 1"));
    EXPECT_EQ(logCount("DISPLAY"), 0u);
}

TEST_F(StepApplication, StepFiveDrivesTheModeSwitch) {
    ASSERT_EQ(app.qmodSupported, 1u);
    ASSERT_EQ(applyFromCurrent(5), 1);
    EXPECT_TRUE(logHas("QMOD 1"));
    clearLog();
    ASSERT_EQ(applyFromCurrent(5), 1);
    EXPECT_EQ(logCount("QMOD"), 0u);
    ASSERT_EQ(applyFromCurrent(1), 1);
    EXPECT_TRUE(logHas("QMOD 2"));
}

// A save, a default or a throttle reset applies the step in force again without a previous step: the
// firmware switch and the display switch are not entered again, and leaving step 6 still puts the
// user's own resolution back.
TEST_F(StepApplication, ReapplyingTheStepInForceEntersNeitherStepFiveNorSixAgain) {
    app.trayMenu = trayMenu();
    setRegText(HKEY_CURRENT_USER, "Software\\KELVANE", "Vidmo_RES", "2");
    for (DWORD step : {5u, 6u}) {
        ASSERT_EQ(applyFromCurrent(step), 1);
        clearLog();
        ASSERT_EQ(applyStep(window, &app.currentStep, 0), 1);
        ASSERT_EQ(applyStep(nullptr, &app.currentStep, 0), 1);
        EXPECT_EQ(logCount("QMOD"), 0u) << step;
        EXPECT_EQ(logCount("SDSP"), 0u) << step;
        EXPECT_EQ(logCount("DISPLAY"), 0u) << step;
        EXPECT_EQ(logCount("SPGS"), 2u) << step;
    }
    clearLog();
    ASSERT_EQ(applyFromCurrent(3), 1);
    EXPECT_TRUE(logHas("DISPLAY 1024x768x32"));
}

// A step file too short to load leaves the record it was meant for as it was: nothing of it reaches the
// step in force (its panel level, its next capture) or the settings being edited.
TEST_F(StepApplication, AFailedLoadLeavesTheStepInForceAndTheEditedSettingsAsTheyWere) {
    ASSERT_EQ(applyFromCurrent(3), 1);
    app.trayMenu = trayMenu();
    std::vector<uint8_t> other(150, 0xAB); // a whole policy and panel level, no screen-saver flags
    writeFile(testFolder() + "CFG4.BLC", other);
    for (StepSettings *record : {&app.activeSettings, &app.editSettings}) {
        StepSettings before = *record;
        DWORD step = 4;
        MessageBoxWatcher boxes;
        EXPECT_EQ(applyStep(record == &app.activeSettings ? window : nullptr, &step, 3), 0);
        ASSERT_TRUE(boxes.waitFor(1));
        EXPECT_EQ(memcmp(record, &before, sizeof before), 0);
    }
}

TEST_F(StepApplication, StepsOutsideOneToEightNeverApplyAndTheOldStepStays) {
    for (DWORD bad : {9u, 0u}) {
        for (DWORD onAc : {1u, 0u}) {
            app.onAc = onAc;
            DWORD step = bad;
            MessageBoxWatcher boxes;
            EXPECT_EQ(applyStep(window, &step, 2), 0);
            EXPECT_EQ(step, 2u) << "falls back to the previous step";
            ASSERT_TRUE(boxes.waitFor(1));
            EXPECT_NE(boxes.seen()[0].text.find("Load default setting error!"), std::string::npos);
        }
    }
    EXPECT_EQ(logCount("SPGS"), 0u);
    EXPECT_EQ(logCount("ACTIVATE"), 0u);
    EXPECT_EQ(programValue("CurrentStep"), "2");
}

TEST_F(StepApplication, BrightnessFollowsTheSourceAndTheAmbientLightSetting) {
    app.acPanelLevel = 13;
    app.activeSettings.panelLevel = 4;
    applyPanelLevel();
    setSimValue("ACLineStatus", 0);
    applyPanelLevel();
    EXPECT_EQ(app.onAc, 0u);
    EXPECT_EQ(logLines(), (std::vector<std::string>{"SPLV 13", "SPLV 4"}));

    setSimValue("PanelLevel", 0x17);
    readPanelLevel(0);
    EXPECT_EQ(app.activeSettings.panelLevel, 7u);
    readPanelLevel(1);
    EXPECT_EQ(app.acPanelLevel, 7u);
    // A failed read keeps the level the program had.
    setSimValue("GplvFails", 1);
    setSimValue("PanelLevel", 0x12);
    for (int which : {0, 1, 2})
        readPanelLevel(which);
    EXPECT_EQ(app.activeSettings.panelLevel, 7u);
    EXPECT_EQ(app.acPanelLevel, 7u);
    setSimValue("GplvFails", 0);

    clearLog();
    setRegDword(HKEY_LOCAL_MACHINE, "Software\\VKT0100", "ALSC_CONTROL", 1);
    readPanelControl();
    EXPECT_EQ(app.panelControl, 0u);
    applyPanelLevel();
    readPanelLevel(0);
    previewPanelLevel(1);
    EXPECT_EQ(logLines().size(), 0u);
}

TEST_F(StepApplication, CaptureWritesTheUsersSchemeChangesButKeepsTheProgramsThrottle) {
    ASSERT_EQ(applyFromCurrent(3), 1);
    // The user edits the program's scheme in the Windows power options.
    POWER_POLICY live;
    ASSERT_TRUE(machine::ReadPwrScheme(app.ownScheme, &live));
    live.user.VideoTimeoutAc = 4321;
    live.user.ForcedThrottleDc = 33;
    ASSERT_TRUE(machine::WritePwrScheme(&app.ownScheme, L"Kelvane", L"Kelvane PowerScheme", &live));
    setSimValue("ScreenSaverActive", 0);
    captureStepState(3, 1);
    std::vector<uint8_t> file = fileBytes(testFolder() + "CFG3.BLC");
    ASSERT_EQ(file.size(), 156u);
    StepSettings saved;
    memcpy(&saved, file.data(), sizeof saved);
    EXPECT_EQ(saved.policy.user.VideoTimeoutAc, 4321u);
    EXPECT_EQ(saved.policy.user.ForcedThrottleDc, 100) << "taken from the file, adjusted on XP";
    EXPECT_EQ(saved.screenSaverAc, 0u);
}

TEST_F(StepApplication, CaptureWithAnUnloadableFileStillSavesTheLiveState) {
    ASSERT_EQ(applyFromCurrent(3), 1);
    app.activeSettings.panelLevel = 9;
    DeleteFileA((testFolder() + "CFG3.BLC").c_str());
    std::vector<uint8_t> def = fileBytes(testFolder() + "CFG3.DEF");
    DeleteFileA((testFolder() + "CFG3.DEF").c_str());
    MessageBoxWatcher boxes;
    captureStepState(3, 1);
    writeFile(testFolder() + "CFG3.DEF", def);
    EXPECT_TRUE(boxes.waitFor(1));
    std::vector<uint8_t> file = fileBytes(testFolder() + "CFG3.BLC");
    ASSERT_EQ(file.size(), 156u);
    EXPECT_EQ(file[144], 9);
}

TEST_F(StepApplication, CaptureLeavesFilesAloneWhileAnotherSchemeIsActive) {
    ASSERT_EQ(applyFromCurrent(3), 1);
    std::vector<uint8_t> before = fileBytes(testFolder() + "CFG3.BLC");
    machine::SetActivePwrScheme(1, nullptr, nullptr);
    app.activeSettings.panelLevel = 1;
    captureStepState(3, 1);
    EXPECT_EQ(fileBytes(testFolder() + "CFG3.BLC"), before);
}

// With no step in force (its first application failed, with its message) there is nothing to capture.
TEST_F(StepApplication, CapturingNoStepShowsNoSecondMessage) {
    MessageBoxWatcher boxes;
    captureStepState(0, 1);
    captureStepState(9, 0);
    // Boxes come in the order shown: a box of the captures would be answered before this one.
    MessageBoxA(nullptr, "after the captures", "Kelvane", MB_OK);
    EXPECT_TRUE(boxes.waitFor(1) && boxes.seen()[0].text == "after the captures");
}
