// Start-up of the built program: one copy per user, and the steps the tray menu offers for the power source.
#include "lumorafixture.h"

#include <cstdio>

namespace {

// The visible popup menu window ("#32768") of process `pid`, or null.
HWND findMenuWindow(DWORD pid) { return findProcessWindow(pid, "#32768"); }

// Opens the tray menu as a right click on the icon does, moves down to `position` (1-based) with the
// arrow key and presses Enter, or Escape when `position` is 0. A grayed item closes the menu without
// a command. True once the menu has opened and closed again.
bool chooseFromTrayMenu(const Program &program, unsigned position) {
    program.post(kTrayCallback, 0, WM_RBUTTONUP);
    HWND menu = nullptr;
    if (!waitUntil([&] { return (menu = findMenuWindow(program.pid())) != nullptr; }, 10000))
        return false;
    for (unsigned i = 0; i < position; ++i)
        PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0x00500001);
    if (position)
        PostMessageA(menu, WM_CHAR, '\r', 0x001C0001);
    else
        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    return waitUntil([&] { return findMenuWindow(program.pid()) == nullptr; }, 10000);
}

// Chooses each of the eight step items in turn and reports which of them the program carried out.
// A chosen item's command is queued before the next right click, so once the last menu has opened
// every earlier command has been handled.
std::vector<bool> stepsTheMenuOffers(const Program &program) {
    size_t from = logSize();
    for (unsigned step = 1; step <= 8; ++step)
        EXPECT_TRUE(chooseFromTrayMenu(program, step)) << "the tray menu did not open for step " << step;
    EXPECT_TRUE(chooseFromTrayMenu(program, 0));
    std::vector<bool> offered(9, false);
    for (unsigned step = 1; step <= 8; ++step)
        offered[step] = countFrom(from, "SPGS " + std::to_string(step)) > 0;
    return offered;
}

} // namespace

using Startup = LumoraTest;

TEST_F(Startup, SecondStartBySameUserEndsAtOnceWithoutMessage) {
    startProgram();
    size_t from = logSize();
    Program second;
    ASSERT_TRUE(second.start(folder->exe()));
    MessageBoxWatcher boxes("Kelvane", IDOK, second.pid());
    DWORD code = 1;
    ASSERT_TRUE(second.waitExit(10000, &code)) << "the second copy keeps running";
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(boxes.seen().empty()) << boxes.seen()[0].text;
    // It ended before touching anything, and the first copy runs on.
    EXPECT_EQ(logLinesFrom(from).size(), 0u);
    EXPECT_TRUE(program.running());
    EXPECT_TRUE(program.answers());
    EXPECT_EQ(findProgramWindow(second.pid()), nullptr);
}

TEST_F(Startup, SecondStartFromAnotherFolderAlsoEnds) {
    startProgram();
    ProgramFolder other;
    Program second;
    ASSERT_TRUE(second.start(other.exe()));
    DWORD code = 1;
    ASSERT_TRUE(second.waitExit(10000, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_TRUE(program.running());
}

// Another process's menu cannot be read here (its popup handle comes back empty), so graying is seen
// through the menu itself: a grayed item cannot be chosen.
TEST_F(Startup, OnMainsStepsFourSevenAndEightAreGrayed) {
    startProgram();
    std::vector<bool> offered = stepsTheMenuOffers(program);
    for (unsigned step = 1; step <= 8; ++step) {
        bool expected = !(step == 4 || step == 7 || step == 8);
        EXPECT_EQ(offered[step], expected) << "step " << step;
    }
}

TEST_F(Startup, OnBatteryOnlyStepOneIsGrayed) {
    onBattery();
    startProgram();
    std::vector<bool> offered = stepsTheMenuOffers(program);
    for (unsigned step = 1; step <= 8; ++step)
        EXPECT_EQ(offered[step], step != 1) << "step " << step;
}

TEST_F(Startup, AppliesTheRememberedStepOfTheSourceAndTellsTheDisplay) {
    rememberSteps(3, 7, 3);
    onBattery();
    ASSERT_TRUE(osd.start());
    startProgram();
    EXPECT_TRUE(waitLineFrom(0, "OSD 7"));
    EXPECT_GE(findLine(0, "SPGS 7"), 0);
    EXPECT_EQ(findLine(0, "SPGS 3"), -1);
    EXPECT_EQ(programValue("CurrentStep"), "7");
    EXPECT_EQ(activeSchemeText(), ownScheme());
}

// Exit deletes the program's scheme and its processor policy with it; the next start writes the scheme
// under its known index and must give it the policy again, or no step's throttle is ever applied.
TEST_F(Startup, ProgramsSchemeHasItsProcessorPolicyAgainAfterAnExit) {
    startProgram();
    const std::string own = ownScheme();
    ASSERT_NE(own, "0");
    program.command(kCmdExit);
    DWORD code;
    ASSERT_TRUE(program.waitExit(15000, &code));
    ASSERT_GE(findLine(0, "DELETE " + own), 0);

    size_t from = logSize();
    ASSERT_TRUE(program.start(folder->exe()));
    ASSERT_TRUE(program.waitReady());
    EXPECT_GE(findLine(from, "WRITE " + own), 0) << "written again under its index";
    EXPECT_GT(countPrefixFrom(size_t(findLine(from, "ACTIVATE " + own)), "THROTTLE " + own + " "), 0u)
        << "the step's own throttle, after the copy from scheme 3 and the activation";
}

TEST_F(Startup, ProcessorPolicyThatCannotBeReadIsNotWritten) {
    setSimValue("ReadProcessorFails", 1);
    startProgram();
    EXPECT_GE(findLine(0, "SPGS 2"), 0) << "the step was applied";
    EXPECT_EQ(countPrefixFrom(0, "THROTTLE "), 0u);
}
