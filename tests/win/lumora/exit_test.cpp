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

// Exit and WM_CLOSE sent while each start-up box is open wait for its answer; the program then ends
// through start-up's own path: the user's scheme 0 is never deleted, what start-up provisioned is
// handed back once, and the screen saver is left alone, for start-up never set it.
TEST_F(StartUpStops, ExitOrCloseDuringAStartUpBoxEndsAfterItChangingNothingOfTheUsers) {
    const struct {
        const char *box; // the start of its text
        const char *value;
        DWORD set;
        bool stepFiles;
        bool provisioned; // the program's scheme was written before the box
    } cases[] = {
        {"Current system do not support this utility.\nPorgram Stop !", "SfunFails", 1, true, false},
        {"Current system do not support this utility!", "FunctionMask", 0x200, true, true},
        {"A restricted user can not use this program.", "ActivationRefused", 1, true, true},
        {"", "SfunFails", 0, false, false}, // the notice that a step file was copied from its default
    };
    for (const auto &c : cases)
        for (UINT message : {UINT(WM_COMMAND), UINT(WM_CLOSE)}) {
            SCOPED_TRACE(std::string(c.value) + (message == WM_CLOSE ? " WM_CLOSE" : " Exit"));
            resetNotebook();
            setSimValue(c.value, c.set);
            folder = std::make_unique<ProgramFolder>(simProgramDir(), c.stepFiles);
            ASSERT_TRUE(program.start(folder->exe()));
            ASSERT_TRUE(waitUntil([&] { return findKelvaneBox(program.pid()) != nullptr; }));
            WPARAM wParam = message == WM_COMMAND ? kCmdExit : 0;
            EXPECT_TRUE(SendMessageTimeoutA(findProgramWindow(program.pid()), message, wParam, 0, SMTO_BLOCK,
                                            15000, nullptr));
            EXPECT_TRUE(program.running()) << "the program ended inside its box";
            MessageBoxWatcher boxes("Kelvane", IDOK, program.pid());
            DWORD code = 1;
            ASSERT_TRUE(program.waitExit(15000, &code));
            ASSERT_FALSE(boxes.seen().empty());
            EXPECT_EQ(boxes.seen()[0].text.rfind(c.box, 0), 0u) << boxes.seen()[0].text;
            EXPECT_EQ(countFrom(0, "DELETE 0"), 0u) << "the user's scheme 0 was deleted";
            EXPECT_EQ(countPrefixFrom(0, "SCREENSAVER "), 0u);
            EXPECT_EQ(countPrefixFrom(0, "SPGS "), 0u);
            const std::string own = ownScheme();
            if (c.provisioned) {
                EXPECT_EQ(activeSchemeText(), "0");
            }
            if (c.provisioned && own != "0" && own != "<missing>") {
                EXPECT_LE(countFrom(0, "ACTIVATE 0"), 1u) << "handed back more than once";
                EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, schemeKey(own).c_str()));
            } else if (!c.provisioned) {
                EXPECT_EQ(countPrefixFrom(0, "ACTIVATE "), 0u);
            }
            program.kill();
        }
}

// A step-cycle command sent during the notice of a copied step file waits for start-up, which then
// shows and applies the next step, with the cycle's event in place.
TEST_F(StartUpStops, StepCycleDuringAStartUpBoxIsAppliedOnceStartUpHasEnded) {
    folder = std::make_unique<ProgramFolder>(simProgramDir(), false);
    ASSERT_TRUE(osd.start());
    ASSERT_TRUE(program.start(folder->exe()));
    ASSERT_TRUE(waitUntil([&] { return findKelvaneBox(program.pid()) != nullptr; }));
    EXPECT_TRUE(SendMessageTimeoutA(findProgramWindow(program.pid()), WM_COMMAND, kCmdStepCycle, 0, SMTO_BLOCK,
                                    15000, nullptr));
    EXPECT_EQ(countPrefixFrom(0, "OSD "), 0u) << "the command ran inside the box";
    MessageBoxWatcher boxes("Kelvane", IDOK, program.pid());
    ASSERT_TRUE(program.waitReady());
    ASSERT_TRUE(waitLineFrom(0, "SPGS 3")) << "the cycle step was not applied";
    EXPECT_LT(findLine(0, "SPGS 2"), findLine(0, "SPGS 3"));
    EXPECT_LT(findLine(0, "OSD 2"), findLine(0, "OSD 3"));
    size_t from = logSize();
    cycleAndWaitApplied(5); // the next command goes on from step 3: mains skips step 4
    EXPECT_EQ(countPrefixFrom(from, "OSD "), 1u);
}

// The end of the session hands back as the exit does, on XP too, within the time Windows gives, and
// the program ends; a WM_ENDSESSION that is posted, or sent without the program's own query before
// it, changes nothing.
TEST_F(SessionEnding, OnlyTheSessionsOwnEndHandsBackAndEndsTheProgram) {
    const struct {
        bool query, sent;
        LPARAM reason;
        bool ends;
    } cases[] = {
        {true, true, 0, true},
        {true, true, LPARAM(ENDSESSION_CLOSEAPP), true},
        {true, false, 0, false},
        {false, true, 0, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "query " << c.query << " sent " << c.sent << " reason " << c.reason);
        resetNotebook();
        setSimValue("ScreenSaverActive", 0); // the user's; step 2 turns it on
        startProgram();
        const std::string own = ownScheme();
        ASSERT_TRUE(waitLogQuiet(300));
        size_t from = logSize();
        if (c.query) {
            ASSERT_TRUE(SendMessageTimeoutA(program.window(), WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 15000, nullptr));
        }
        DWORD start = GetTickCount();
        if (c.sent)
            ASSERT_TRUE(
                SendMessageTimeoutA(program.window(), WM_ENDSESSION, TRUE, c.reason, SMTO_BLOCK, 15000, nullptr));
        else
            program.post(WM_ENDSESSION, TRUE, c.reason);
        DWORD took = GetTickCount() - start;
        if (c.ends) {
            EXPECT_LT(took, 1000u) << "Windows waits 5 s at most, and for every program in turn";
            DWORD code = 1;
            EXPECT_TRUE(program.waitExit(15000, &code)) << "the program goes on without its scheme";
            EXPECT_EQ(activeSchemeText(), "0");
            EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, schemeKey(own).c_str()));
            EXPECT_EQ(simValue("ScreenSaverActive", 9), 0u) << "the next start would take the step's as the user's";
        } else {
            EXPECT_TRUE(program.answers());
            EXPECT_TRUE(program.running());
            EXPECT_EQ(activeSchemeText(), own);
            EXPECT_EQ(countPrefixFrom(from, "DELETE "), 0u);
            program.command(kCmdExit);
            EXPECT_TRUE(program.waitExit(15000, nullptr));
        }
    }
}

// The end of the session sent while a step applies (its step file's notice open): the hand-back comes
// at once, and once the box is answered the rest of the application changes nothing on the machine.
TEST_F(SessionEnding, EndSentInsideAnApplicationHandsBackAtOnceAndTheRestChangesNothing) {
    startProgram();
    const std::string own = ownScheme();
    ASSERT_TRUE(waitLogQuiet(300));
    ASSERT_TRUE(DeleteFileA((folder->path() + "CFG3.BLC").c_str()));
    size_t from = logSize();
    program.command(stepCommand(3)); // its default is copied, with a notice
    ASSERT_TRUE(waitUntil([&] { return findKelvaneBox(program.pid()) != nullptr; }));
    ASSERT_TRUE(SendMessageTimeoutA(program.window(), WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 15000, nullptr));
    ASSERT_TRUE(SendMessageTimeoutA(program.window(), WM_ENDSESSION, TRUE, 0, SMTO_BLOCK, 15000, nullptr));
    long deleted = findLine(from, "DELETE " + own);
    ASSERT_GE(deleted, 0) << "the end of the session waited for the application";
    EXPECT_EQ(activeSchemeText(), "0");
    MessageBoxWatcher boxes("Kelvane", IDOK, program.pid());
    EXPECT_TRUE(program.waitExit(15000, nullptr));
    for (const std::string &line : logLinesFrom(size_t(deleted) + 1))
        ADD_FAILURE() << "after the scheme was handed back: " << line;
}
