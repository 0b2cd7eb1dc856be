// What happens when outside events land in the middle of a step application: the simulated firmware
// holds one method for a while, and the test acts while the program is inside it.
#include "boxes.h"
#include "lumorafixture.h"

#include <commctrl.h>

namespace {

// The firmware takes `ms` over method `name` from now on.
void slowMethod(const char *name, DWORD ms) {
    setSimText("SlowMethod", name);
    setSimValue("SlowMethodMs", ms);
}

// The window thread applies a cycle step in a slowed GPLV while a step command and an Exit queue
// behind it; returns the log size from before the cycle command.
size_t exitQueuedBehindAWaitingCommand(Program &program) {
    slowMethod("GPLV", 1500);
    size_t from = logSize();
    program.command(kCmdStepCycle); // 2 -> 3 on mains, applied in a slow GPLV
    EXPECT_TRUE(waitLineFrom(from, "GPLV"));
    program.command(stepCommand(1)); // waits for the application
    Sleep(300);                      // lets the program take that command before the rest
    program.command(kCmdExit);
    return from;
}

} // namespace

using Races = LumoraTest;

// A cycle application reads the panel level first; a change of source then must not turn the battery
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

// Exit while a cycle application puts step 6 into effect waits for it; the resolution step 6 changed
// comes back.
TEST_F(Races, ExitDuringACycleApplicationOfStepSixRestoresTheResolution) {
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
    ASSERT_GE(findLine(from, "DISPLAY 800x600x32"), 0) << "the application did not finish step 6";
    char mode[64] = {};
    EXPECT_TRUE(simText("CurrentMode", mode, sizeof mode));
    EXPECT_STREQ(mode, "1024x768x32");
}

// "Configuration ..." while a cycle application is under way: the live state is stored once the next
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
    std::vector<uint8_t> left = fileBytes(folder->path() + "CFG3.BLC"); // as the application stored it
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

// A resume sent while an application is under way: an Exit already queued runs after the step
// command ahead of it, never inside it.
TEST_F(Races, ExitQueuedBehindAResumeRunsAfterTheCommandAheadOfIt) {
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

// A cycle step whose file cannot be loaded shows its error on the window thread; a cycle command
// meanwhile waits for the box and then applies its step.
TEST_F(Races, CycleCommandDuringALoadErrorWaitsForTheBox) {
    startProgram();
    ASSERT_TRUE(waitLogQuiet(300));
    std::string file = folder->path() + "CFG3.BLC";
    HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    size_t from = logSize();
    program.command(kCmdStepCycle); // 2 -> 3, whose file cannot be opened
    HWND box = nullptr;
    ASSERT_TRUE(waitUntil([&] { return (box = findKelvaneBox(program.pid())) != nullptr; }));
    EXPECT_EQ(GetWindowThreadProcessId(box, nullptr), GetWindowThreadProcessId(program.window(), nullptr));
    CloseHandle(held);
    EXPECT_TRUE(SendMessageTimeoutA(program.window(), WM_COMMAND, kCmdStepCycle, 0, SMTO_BLOCK, 15000, nullptr));
    Sleep(2500); // past the quiet time: nothing may come in while the box is up
    EXPECT_EQ(countPrefixFrom(from, "SPGS "), 0u) << "a step was applied inside the box";
    ShownBox shown;
    ASSERT_TRUE(answerKelvaneBox(program.pid(), &shown));
    EXPECT_EQ(shown.text, file + "\nOpen Power policy file error!\n\nLoad default setting error!");
    EXPECT_TRUE(waitLineFrom(from, "SPGS 3")) << "the waiting command was lost";
}

// During the box of an operation (a step file's notice inside an application of step 3; a failed save
// of the open dialog) 100 step commands collapse to the latest and a change of source sent after them
// runs last, each after the box. The latest command finds the notebook on battery already, as the
// panel-level read tells it outside the dialog; the mains step stays the one applied before.
TEST_F(Races, CommandsAndASourceChangeDuringABoxRunAfterItInTheirOrder) {
    const struct {
        bool failedSave;
        std::vector<std::string> steps;
        const char *acStep, *dcStep;
    } cases[] = {
        {false, {"SPGS 3", "SPGS 5", "SPGS 5"}, "3", "5"},
        {true, {"SPGS 5", "SPGS 7"}, "5", "7"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.failedSave ? "failed save" : "notice");
        resetNotebook();
        rememberSteps(2, 7, 2);
        startProgram();
        const std::string own = ownScheme();
        ASSERT_TRUE(waitLogQuiet(300));
        HWND dialog = nullptr;
        std::string blocker = folder->path() + "CFG2.BL~";
        if (c.failedSave) {
            program.command(kCmdConfiguration);
            ASSERT_TRUE(waitUntil([&] {
                return (dialog = findProcessWindow(program.pid(), "#32770", "Configuration Kelvane")) != nullptr;
            }));
            // An edit ("1 hour" for whichever time-out takes it), and a temporary file that cannot be made.
            // The tree is built again after each choice, so each item is found afresh from its top.
            HWND settings = GetDlgItem(dialog, 1001);
            for (int n = 0; n < 16; ++n) {
                auto item = HTREEITEM(SendMessageA(settings, TVM_GETNEXTITEM, TVGN_ROOT, 0));
                for (int i = 0; item && i < n; ++i)
                    item = HTREEITEM(SendMessageA(settings, TVM_GETNEXTITEM, TVGN_NEXTVISIBLE, LPARAM(item)));
                if (!item)
                    break;
                SendMessageTimeoutA(settings, TVM_SELECTITEM, TVGN_CARET, LPARAM(item), SMTO_BLOCK, 3000, nullptr);
                SendMessageTimeoutA(dialog, WM_COMMAND, 32804, 0, SMTO_BLOCK, 3000, nullptr);
                ShownBox refused; // a choice the dialog turns down, with a warning
                if (findKelvaneBox(program.pid()) && answerKelvaneBox(program.pid(), &refused, 3000))
                    waitUntil([&] { return findKelvaneBox(program.pid()) == nullptr; }, 3000);
            }
            CreateDirectoryA(blocker.c_str(), nullptr);
            PostMessageA(dialog, WM_COMMAND, 32809, 0); // "Save Configuration"
        } else {
            ASSERT_TRUE(DeleteFileA((folder->path() + "CFG3.BLC").c_str()));
            program.command(stepCommand(3)); // its default is copied, with a notice
        }
        size_t from = logSize();
        ASSERT_TRUE(waitUntil([&] { return findKelvaneBox(program.pid()) != nullptr; }));
        for (unsigned i = 0; i < 100; ++i)
            ASSERT_TRUE(SendMessageTimeoutA(program.window(), WM_COMMAND, stepCommand(i % 2 ? 5 : 1), 0,
                                            SMTO_BLOCK, 15000, nullptr));
        onBattery();
        ASSERT_TRUE(program.sendPowerEvent(PBT_APMPOWERSTATUSCHANGE));
        EXPECT_EQ(countPrefixFrom(from, "SPGS "), 0u) << "something ran inside the box";
        ShownBox shown;
        ASSERT_TRUE(answerKelvaneBox(program.pid(), &shown));
        EXPECT_NE(shown.text.find(c.failedSave ? "Write Power policy file error!" : "Load default setting!"),
                  std::string::npos)
            << shown.text;
        ASSERT_TRUE(waitLineFrom(from, "ACTIVATE 0")) << "the source change did not bounce the scheme";
        ASSERT_TRUE(waitLineFrom(size_t(findLine(from, "ACTIVATE 0")), "ACTIVATE " + own));
        ASSERT_TRUE(waitLogQuiet(500));
        std::vector<std::string> steps;
        for (const std::string &line : logLinesFrom(from))
            if (line.rfind("SPGS ", 0) == 0)
                steps.push_back(line);
        EXPECT_EQ(steps, c.steps);
        EXPECT_EQ(programValue("AC_Current_Step"), c.acStep);
        EXPECT_EQ(programValue("DC_Current_Step"), c.dcStep);
        if (dialog)
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        program.kill();
        RemoveDirectoryA(blocker.c_str());
    }
}

// A log-off query taken while an application is under way shows its boxes after it: their modal loop
// must not run a waiting Exit before the step command that came ahead of it. (The held files make the
// captures fail with a box.)
TEST_F(Races, BoxesOfAQueryLetAWaitingExitRunOnlyAfterTheCommandAheadOfIt) {
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
