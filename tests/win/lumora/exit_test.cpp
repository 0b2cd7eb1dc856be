// The end of the program: Exit and WM_CLOSE from outside clean up; start-up that stops shows its message.
#include "boxes.h"
#include "lumorafixture.h"

#include <shellapi.h>

namespace {

// Whether the notification area still holds the program's icon: changing nothing about an icon
// succeeds only while it is there.
bool iconPresent(HWND window) {
    NOTIFYICONDATAA record = {};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = window;
    record.uID = 0;
    return Shell_NotifyIconA(NIM_MODIFY, &record) != FALSE;
}

// Icons shown in the notification area of the X display: without a system tray on the display,
// Wine keeps them in a stand-alone tray window, one child window per icon.
int trayIconWindows() {
    int count = 0;
    HWND tray = nullptr;
    while ((tray = FindWindowExA(nullptr, tray, "__winex11_standalone_tray", nullptr))) {
        HWND icon = nullptr;
        while ((icon = FindWindowExA(tray, icon, "__winex11_tray_icon", nullptr)))
            ++count;
    }
    return count;
}

} // namespace

class Ending : public LumoraTest, public ::testing::WithParamInterface<bool> {
  protected:
    // Ends the running program by Exit (105) or by WM_CLOSE from outside.
    void end(bool byExit) {
        if (byExit)
            program.command(kCmdExit);
        else
            program.post(WM_CLOSE, 0, 0);
    }
};

TEST_P(Ending, RemovesIconRestoresScreenSaverAndHandsBackScheme) {
    setSimValue("ScreenSaverActive", 0); // off when the program starts; step 2 turns it on
    startProgram();
    const std::string own = ownScheme();
    ASSERT_NE(own, "0");
    ASSERT_TRUE(regKeyExists(HKEY_CURRENT_USER, schemeKey(own).c_str()));
    ASSERT_EQ(activeSchemeText(), own);
    ASSERT_EQ(simValue("ScreenSaverActive", 9), 1u);
    ASSERT_TRUE(iconPresent(program.window())) << "the icon can be seen from outside while the program runs";
    ASSERT_TRUE(waitLogQuiet(300));
    int iconsBefore = trayIconWindows();

    size_t from = logSize();
    HWND window = program.window();
    end(GetParam());
    // The system also drops the icons of a destroyed window, so the program's own removal shows in
    // the order: its icon goes while its window still exists.
    if (iconsBefore > 0) {
        bool windowAliveWhenIconWent = false;
        ASSERT_TRUE(waitUntil(
            [&] {
                if (trayIconWindows() >= iconsBefore)
                    return false;
                windowAliveWhenIconWent = IsWindow(window) != FALSE; // looked at after the icon
                return true;
            },
            15000));
        EXPECT_TRUE(windowAliveWhenIconWent) << "the icon was only dropped with the window";
    } else {
        printf("[ info ] no stand-alone tray on this display: the order of icon and window is not checked\n");
    }
    DWORD code = 1;
    ASSERT_TRUE(program.waitExit(15000, &code)) << "the program did not end";
    EXPECT_EQ(code, 0u);

    EXPECT_FALSE(iconPresent(window)) << "the icon was left behind";
    EXPECT_GE(findLine(from, "SCREENSAVER 0"), 0);
    EXPECT_EQ(simValue("ScreenSaverActive", 9), 0u);
    long handedBack = findLine(from, "ACTIVATE 0"), deleted = findLine(from, "DELETE " + own);
    EXPECT_GE(handedBack, 0);
    EXPECT_GT(deleted, handedBack) << "the scheme is deleted after the user's is active again";
    EXPECT_EQ(activeSchemeText(), "0");
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, schemeKey(own).c_str()));
    EXPECT_EQ(countPrefixFrom(from, "SPGS "), 0u);
}

INSTANTIATE_TEST_SUITE_P(ExitOrClose, Ending, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return std::string(info.param ? "ExitCommand" : "CloseFromOutside");
                         });

// Every way out, Exit and the setup's WM_CLOSE alike, puts back the resolution step 6 changed.
class EndingInStepSix : public Ending {};

TEST_P(EndingInStepSix, RestoresTheSavedResolution) {
    rememberSteps(6, 2, 6);
    setRegText(HKEY_CURRENT_USER, "Software\\KELVANE", "Vidmo_RES", "2");
    startProgram();
    ASSERT_GE(findLine(0, "DISPLAY 800x600x32"), 0) << "step 6 did not change the resolution";
    ASSERT_TRUE(waitLogQuiet(300));
    size_t from = logSize();
    end(GetParam());
    DWORD code = 1;
    ASSERT_TRUE(program.waitExit(15000, &code));
    EXPECT_EQ(code, 0u);
    long restored = findLine(from, "DISPLAY 1024x768x32");
    EXPECT_GE(restored, 0);
    EXPECT_LT(restored, findLine(from, "DELETE " + ownScheme()))
        << "the mode comes back before the window goes";
    char mode[64] = {};
    EXPECT_TRUE(simText("CurrentMode", mode, sizeof mode));
    EXPECT_STREQ(mode, "1024x768x32");
}

INSTANTIATE_TEST_SUITE_P(ExitOrClose, EndingInStepSix, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return std::string(info.param ? "ExitCommand" : "CloseFromOutside");
                         });

using SessionEnding = LumoraTest;

// Log-off asks first and destroys nothing: the resolution goes back, the live state is stored, and a
// cycle step still pending is dropped instead of coming in during the log-off. A cancelled log-off
// cycles on from the step in force.
TEST_F(SessionEnding, QueryRestoresTheResolutionStoresTheStateAndDropsThePendingCycle) {
    rememberSteps(6, 2, 6);
    ASSERT_TRUE(osd.start());
    setRegText(HKEY_CURRENT_USER, "Software\\KELVANE", "Vidmo_RES", "2");
    startProgram();
    ASSERT_GE(findLine(0, "DISPLAY 800x600x32"), 0) << "step 6 did not change the resolution";
    ASSERT_TRUE(waitLogQuiet(300));
    size_t from = logSize();
    program.command(kCmdStepCycle); // 6 -> 1 on mains, due in 1.5 s
    ASSERT_TRUE(waitLineFrom(from, "OSD 1")) << "the cycle command was not taken";
    const std::string file = folder->path() + "CFG6.BLC";
    const std::vector<uint8_t> stored = fileBytes(file);
    setSimValue("ScreenSaverActive", !simValue("ScreenSaverActive", 0)); // changed by the user
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutA(program.window(), WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 15000, &answer));
    EXPECT_EQ(answer, DWORD_PTR(TRUE));
    EXPECT_GE(findLine(from, "DISPLAY 1024x768x32"), 0) << "the resolution was not restored";
    EXPECT_GE(findLine(from, "GPLV"), 0) << "the panel level in force was not read";
    EXPECT_NE(fileBytes(file), stored) << "the live state was not stored into the step's file";
    Sleep(2500); // past the cycle step's quiet time
    EXPECT_EQ(countPrefixFrom(from, "SPGS "), 0u) << "the pending cycle step came in during the log-off";
    EXPECT_EQ(programValue("CurrentStep"), "6");
    EXPECT_TRUE(program.running()) << "the query destroys nothing";
    size_t next = logSize();
    program.command(kCmdStepCycle);
    ASSERT_TRUE(waitUntil([&] { return countPrefixFrom(next, "OSD ") > 0; }))
        << "the cycle command was not taken";
    EXPECT_EQ(logLinesFrom(next)[0], "OSD 1") << "the dropped step was skipped";
}

using StartUpStops = LumoraTest;

TEST_F(StartUpStops, FailingFunctionQueryShowsErrorAndEnds) {
    setSimValue("SfunFails", 1);
    folder = std::make_unique<ProgramFolder>();
    ASSERT_TRUE(program.start(folder->exe()));
    ShownBox box;
    ASSERT_TRUE(answerKelvaneBox(program.pid(), &box));
    EXPECT_EQ(box.text, "Current system do not support this utility.\nPorgram Stop !");
    EXPECT_STREQ(iconName(box.icon), "error");
    DWORD code = 1;
    ASSERT_TRUE(program.waitExit(15000, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(findKelvaneBox(program.pid()), nullptr) << "a second message";
    // Nothing was provisioned.
    EXPECT_EQ(countPrefixFrom(0, "WRITE "), 0u);
    EXPECT_EQ(countPrefixFrom(0, "ACTIVATE "), 0u);
    EXPECT_EQ(programValue("Power_Scheme_No"), "<missing>");
}

TEST_F(StartUpStops, MissingFunctionBitWarnsAfterProvisioningAndHandsSchemeBack) {
    setSimValue("FunctionMask", 0x200);
    folder = std::make_unique<ProgramFolder>();
    ASSERT_TRUE(program.start(folder->exe()));
    ASSERT_TRUE(waitUntil([&] { return findKelvaneBox(program.pid()) != nullptr; }));
    // While the warning is up, the program's scheme is already written and active.
    const std::string own = ownScheme();
    ASSERT_NE(own, "<missing>");
    EXPECT_GE(findLine(0, "WRITE " + own), 0);
    EXPECT_GE(findLine(0, "ACTIVATE " + own), 0);
    EXPECT_EQ(activeSchemeText(), own);
    // The warning's modal loop holds a step command and a change of source: start-up has not ended.
    for (auto [message, wParam] :
         {std::pair<UINT, WPARAM>{WM_COMMAND, stepCommand(3)}, {WM_POWERBROADCAST, 10}})
        EXPECT_TRUE(SendMessageTimeoutA(findProgramWindow(program.pid()), message, wParam, 0, SMTO_BLOCK,
                                        15000, nullptr));

    ShownBox box;
    ASSERT_TRUE(answerKelvaneBox(program.pid(), &box));
    EXPECT_EQ(box.text, "Current system do not support this utility!");
    EXPECT_STREQ(iconName(box.icon), "warning");
    DWORD code = 1;
    ASSERT_TRUE(program.waitExit(15000, &code));
    EXPECT_EQ(code, 0u);
    // The user's scheme is active again and the program's is gone; no step was applied.
    EXPECT_EQ(activeSchemeText(), "0");
    EXPECT_GT(findLine(0, "ACTIVATE 0"), findLine(0, "ACTIVATE " + own));
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, schemeKey(own).c_str()));
    EXPECT_EQ(countPrefixFrom(0, "SPGS "), 0u);
}

// When the notification area starts again it has forgotten every icon; the program adds its own back.
TEST_F(Ending, IconComesBackWhenTheNotificationAreaRestarts) {
    startProgram();
    HWND window = program.window();
    ASSERT_TRUE(iconPresent(window));
    NOTIFYICONDATAA record = {};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = window;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_DELETE, &record));
    ASSERT_FALSE(iconPresent(window));
    program.post(RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(waitUntil([&] { return iconPresent(window); }));
}
