// What happens when outside events land in the middle of a step application: the simulated firmware
// holds one method for a while, and the test acts while the program is inside it.
#include "boxes.h"
#include "lumorafixture.h"

namespace {

// The firmware takes `ms` over method `name` from now on.
void slowMethod(const char *name, DWORD ms) {
    setSimText("SlowMethod", name);
    setSimValue("SlowMethodMs", ms);
}

// The cycle worker holds the lock in a slowed GPLV while a step command waits for it, and an Exit
// is queued behind that command; returns the log size from before the cycle command.
size_t exitQueuedBehindAWaitingCommand(Program &program) {
    slowMethod("GPLV", 1500);
    size_t from = logSize();
    program.command(kCmdStepCycle); // 2 -> 3 on mains, the worker holds the lock in GPLV
    EXPECT_TRUE(waitLineFrom(from, "GPLV"));
    program.command(stepCommand(1)); // waits for the worker's lock
    Sleep(300);                      // lets the program take that command before the rest
    program.command(kCmdExit);
    return from;
}

} // namespace

using Races = LumoraTest;

// The cycle worker reads the panel level first; a change of source then must not turn the battery
// step it applies into the mains step.
TEST_F(Races, SourceChangeDuringACycleApplicationKeepsTheStepForItsOwnSource) {
    onBattery();
    rememberSteps(1, 2, 2);
    startProgram();
    ASSERT_TRUE(waitLogQuiet(300));
    slowMethod("GPLV", 1500);
    size_t from = logSize();
    program.command(kCmdStepCycle); // 2 -> 3 on battery
    ASSERT_TRUE(waitLineFrom(from, "GPLV"));
    onMains();
    program.powerEvent(PBT_APMPOWERSTATUSCHANGE);
    ASSERT_TRUE(waitLineFrom(from, "SPGS 3"));
    ASSERT_TRUE(waitLineFrom(size_t(findLine(from, "SPGS 3")), "SPGS 1")) << "the mains step did not follow";
    ASSERT_TRUE(waitLogQuiet(500));
    EXPECT_EQ(programValue("DC_Current_Step"), "3");
    EXPECT_EQ(programValue("AC_Current_Step"), "1");
    EXPECT_EQ(programValue("CurrentStep"), "1");
}

// A step-cycle command that had to wait for the lock while the source changed must not apply its
// step 1.5 s later over the new source's step.
TEST_F(Races, CycleCommandWaitingThroughASourceChangeAppliesNothingLater) {
    rememberSteps(2, 6, 2);
    startProgram();
    ASSERT_TRUE(waitLogQuiet(300));
    slowMethod("GPLV", 1500);
    size_t from = logSize();
    program.command(kCmdStepCycle); // 2 -> 3 on mains
    ASSERT_TRUE(waitLineFrom(from, "GPLV"));
    program.command(kCmdStepCycle); // waits for the worker's lock
    Sleep(300);                     // lets the program take that command before the broadcast
    onBattery();
    ASSERT_TRUE(program.sendPowerEvent(PBT_APMPOWERSTATUSCHANGE));
    ASSERT_TRUE(waitLineFrom(from, "SPGS 6"));
    size_t after = size_t(findLine(from, "SPGS 6"));
    Sleep(2500); // past the quiet time of the command that waited
    EXPECT_EQ(countPrefixFrom(after + 1, "SPGS "), 0u) << "a stale cycle applied over the battery step";
    EXPECT_EQ(programValue("CurrentStep"), "6");
}

// Exit while a worker is putting step 6 into effect: the resolution step 6 changes comes back.
TEST_F(Races, ExitWhileAWorkerAppliesStepSixRestoresTheResolution) {
    rememberSteps(5, 2, 5);
    setRegText(HKEY_CURRENT_USER, "Software\\KELVANE", "Vidmo_RES", "2");
    startProgram();
    ASSERT_TRUE(waitLogQuiet(300));
    slowMethod("GPLV", 1500);
    size_t from = logSize();
    program.command(kCmdStepCycle); // 5 -> 6
    ASSERT_TRUE(waitLineFrom(from, "GPLV"));
    program.command(kCmdExit);
    DWORD code = 1;
    ASSERT_TRUE(program.waitExit(15000, &code));
    ASSERT_GE(findLine(from, "DISPLAY 800x600x32"), 0) << "the worker did not finish step 6";
    char mode[64] = {};
    EXPECT_TRUE(simText("CurrentMode", mode, sizeof mode));
    EXPECT_STREQ(mode, "1024x768x32");
}

// "Configuration ..." while a worker is applying the next step: the live state is stored once that
// step is in force, into its own file, never into the file of the step it left.
TEST_F(Races, ConfigurationDuringACycleApplicationNeverWritesTheNewStateIntoTheOldFile) {
    onBattery();
    rememberSteps(1, 3, 3);
    startProgram();
    ASSERT_TRUE(waitLogQuiet(300));
    slowMethod("SPGS", 2000);
    size_t from = logSize();
    program.command(kCmdStepCycle); // 3 -> 4 on battery
    ASSERT_TRUE(waitLineFrom(from, "SPGS 4"));
    std::vector<uint8_t> left = fileBytes(folder->path() + "CFG3.BLC"); // as the worker stored it
    program.command(33074);
    HWND dialog = nullptr;
    ASSERT_TRUE(waitUntil([&] {
        return (dialog = findProcessWindow(program.pid(), "#32770", "Configuration Kelvane")) != nullptr;
    }));
    EXPECT_EQ(fileBytes(folder->path() + "CFG3.BLC"), left);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

// When the active scheme cannot be read at exit, the program's may still be the one in force.
TEST_F(Races, ExitHandsTheUserSchemeBackWhenTheActiveSchemeIsUnreadable) {
    startProgram();
    const std::string own = ownScheme();
    ASSERT_TRUE(waitLogQuiet(300));
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\PowerCfg", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    RegDeleteValueA(key, "CurrentPowerPolicy");
    RegCloseKey(key);
    size_t from = logSize();
    program.command(kCmdExit);
    DWORD code = 1;
    ASSERT_TRUE(program.waitExit(15000, &code));
    long activated = findLine(from, "ACTIVATE 0");
    EXPECT_GE(activated, 0) << "the user's scheme was not handed back";
    EXPECT_GT(findLine(from, "DELETE " + own), activated);
}

// A resume handled while a step command waits for the lock bounces the scheme without taking posted
// messages: an Exit already queued runs after that step command, never inside it.
TEST_F(Races, ExitQueuedBehindAResumeInsideALockWaitRunsAfterTheWaitingCommand) {
    startProgram();
    const std::string own = ownScheme();
    ASSERT_TRUE(waitLogQuiet(300));
    ASSERT_TRUE(program.sendPowerEvent(PBT_APMSUSPEND));
    size_t from = exitQueuedBehindAWaitingCommand(program);
    ASSERT_TRUE(program.sendPowerEvent(PBT_APMRESUMESUSPEND)); // taken inside the wait
    DWORD code = 1;
    ASSERT_TRUE(program.waitExit(15000, &code));
    long deleted = findLine(from, "DELETE " + own);
    ASSERT_GE(deleted, 0);
    EXPECT_GE(findLine(from, "SPGS 1"), 0) << "the waiting command was lost";
    for (const std::string &line : logLinesFrom(size_t(deleted) + 1))
        ADD_FAILURE() << "after the scheme was handed back: " << line;
}

// The step command a change of source posts for itself skips the panel-level read and starts the
// bounce; a user's step command handled before it keeps its own read and starts none.
TEST_F(Races, StepCommandAheadOfTheSourcesOwnLeavesTheBounceToIt) {
    rememberSteps(2, 4, 2);
    startProgram();
    const std::string own = ownScheme();
    ASSERT_TRUE(waitLogQuiet(300));
    slowMethod("SPGS", 1000);
    size_t from = logSize();
    program.command(stepCommand(3)); // the window thread tells the firmware the step for a second
    ASSERT_TRUE(waitLineFrom(from, "SPGS 3"));
    setSimText("SlowMethod", "");
    onBattery();
    program.powerEvent(PBT_APMPOWERSTATUSCHANGE); // posts the battery step 4 behind ...
    program.command(stepCommand(5));              // ... this user's command
    ASSERT_TRUE(waitLineFrom(from, "SPGS 4"));
    long user = findLine(from, "SPGS 5"), source = findLine(from, "SPGS 4");
    ASSERT_GE(user, 0);
    ASSERT_LT(user, source);
    for (const std::string &line : logLinesFrom(size_t(user) + 1)) {
        if (line == "SPGS 4")
            break;
        EXPECT_NE(line, "GPLV") << "the source's own step read the panel level";
    }
    EXPECT_TRUE(waitLineFrom(size_t(source), "ACTIVATE 0")) << "no bounce after the source's step";
    EXPECT_TRUE(waitLineFrom(size_t(source), "ACTIVATE " + own));
    EXPECT_EQ(findLine(size_t(user), "ACTIVATE 0"), findLine(size_t(source), "ACTIVATE 0"))
        << "the bounce started from the user's command";
}

// A load error met by the cycle worker is shown by the window thread: the worker goes on with the
// next cycle step while the message is up.
TEST_F(Races, CycleWorkerLoadErrorIsShownByTheWindowThreadAndTheCycleGoesOn) {
    startProgram();
    ASSERT_TRUE(waitLogQuiet(300));
    std::string file = folder->path() + "CFG3.BLC";
    HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    size_t from = logSize();
    program.command(kCmdStepCycle); // 2 -> 3, whose file cannot be opened
    HWND box = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (box = findKelvaneBox(program.pid())) != nullptr; }));
    EXPECT_EQ(GetWindowThreadProcessId(box, nullptr), GetWindowThreadProcessId(program.window(), nullptr))
        << "the message box is up on the worker";
    CloseHandle(held);
    program.command(kCmdStepCycle); // 2 -> 3 again, now readable
    EXPECT_TRUE(waitLineFrom(from, "SPGS 3")) << "the cycle stopped while the message was up";
    EXPECT_NE(findKelvaneBox(program.pid()), nullptr);
    ShownBox shown;
    ASSERT_TRUE(answerKelvaneBox(program.pid(), &shown));
    EXPECT_EQ(shown.text, file + "\nOpen Power policy file error!\n\nLoad default setting error!");
}

// Exit while a worker's machine call hangs: the window thread waits for the worker and the lock
// within one bound, then hands the scheme back and ends, all within the 5 s the setup allows for it.
TEST_F(Races, ExitWhileAWorkerHangsEndsWithinItsBounds) {
    startProgram();
    const std::string own = ownScheme();
    ASSERT_TRUE(waitLogQuiet(300));
    slowMethod("GPLV", 30000);
    size_t from = logSize();
    program.command(kCmdStepCycle); // the worker holds the lock in GPLV for 30 s
    ASSERT_TRUE(waitLineFrom(from, "GPLV"));
    DWORD asked = GetTickCount(), code = 1;
    program.command(kCmdExit);
    ASSERT_TRUE(program.waitExit(20000, &code)) << "Exit waited for the hung worker";
    EXPECT_LT(GetTickCount() - asked, 5000u);
    EXPECT_EQ(code, 0u);
    EXPECT_GE(findLine(from, "DELETE " + own), 0) << "the scheme was not handed back";
}

// A step command that cannot take the lock within its bound is tried again later, never run beside
// the worker that holds it.
TEST_F(Races, StepCommandPastTheLockBoundWaitsForTheWorker) {
    startProgram();
    ASSERT_TRUE(waitLogQuiet(300));
    slowMethod("GPLV", 7000);
    size_t from = logSize();
    program.command(kCmdStepCycle); // 2 -> 3: the worker holds the lock in GPLV for 7 s
    ASSERT_TRUE(waitLineFrom(from, "GPLV"));
    setSimText("SlowMethod", ""); // the command's own calls are quick
    program.command(stepCommand(1));
    ASSERT_TRUE(waitLineFrom(from, "SPGS 1", 30000));
    EXPECT_LT(findLine(from, "SPGS 3"), findLine(from, "SPGS 1")) << "the command ran beside the worker";
    EXPECT_GE(findLine(from, "SPGS 3"), 0);
}

// A log-off query taken while a step command waits for the lock keeps its message boxes for the
// window thread's outermost release: their modal loop must not run a queued Exit inside the waiting
// command. (The held files make the captures fail with a box, and the worker apply nothing.)
TEST_F(Races, BoxesOfAQueryInsideALockWaitWaitForTheWaitingCommand) {
    startProgram();
    const std::string own = ownScheme();
    ASSERT_TRUE(waitLogQuiet(300));
    HANDLE held[2];
    for (int i = 0; i < 2; ++i)
        held[i] = CreateFileA((folder->path() + "CFG" + char('2' + i) + ".BLC").c_str(), GENERIC_READ, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    size_t from = exitQueuedBehindAWaitingCommand(program);
    MessageBoxWatcher boxes("Kelvane", IDOK, program.pid());
    EXPECT_TRUE(SendMessageTimeoutA(program.window(), WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 15000, nullptr));
    DWORD code = 1;
    ASSERT_TRUE(program.waitExit(15000, &code));
    for (HANDLE file : held)
        CloseHandle(file);
    long deleted = findLine(from, "DELETE " + own);
    ASSERT_GE(deleted, 0);
    EXPECT_GE(findLine(from, "SPGS 1"), 0) << "the waiting command was lost";
    for (const std::string &line : logLinesFrom(size_t(deleted) + 1))
        ADD_FAILURE() << "after the scheme was handed back: " << line;
    EXPECT_FALSE(boxes.seen().empty()) << "no capture failed";
}
