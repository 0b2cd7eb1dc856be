// Commands that change the program's own settings: start at log-on and automatic performance.
#include "lumorafixture.h"

namespace {

std::string runValue() {
    return regText(HKEY_LOCAL_MACHINE, kRunKey, "Kelvane");
}

} // namespace

using Commands = LumoraTestWithoutRunValue;

TEST_F(Commands, AutoStartUpOnWritesRunEntryAndOffLeavesIt) {
    startProgram();
    ASSERT_EQ(programValue("AUTOSTARTUP"), "<missing>");
    // Quoted, so a folder with blanks never runs "C:\\Program.exe"; the program reads the tail "1".
    const std::string command = "\"" + folder->path() + "Lumora.exe\" 1";

    program.command(kCmdAutoStartUp);
    EXPECT_TRUE(waitUntil([] { return programValue("AUTOSTARTUP") == "1"; })) << programValue("AUTOSTARTUP");
    EXPECT_EQ(runValue(), command);

    program.command(kCmdAutoStartUp);
    EXPECT_TRUE(waitUntil([] { return programValue("AUTOSTARTUP") == "0"; })) << programValue("AUTOSTARTUP");
    EXPECT_EQ(runValue(), command) << "turning it off leaves the Run entry";

    // On again rewrites the entry.
    setRegText(HKEY_LOCAL_MACHINE, kRunKey, "Kelvane", "stale");
    program.command(kCmdAutoStartUp);
    EXPECT_TRUE(waitUntil([] { return programValue("AUTOSTARTUP") == "1"; }));
    EXPECT_EQ(runValue(), command);

    // The entry as log-on runs it: with start at log-on off again, that start ends by itself.
    program.command(kCmdAutoStartUp);
    ASSERT_TRUE(waitUntil([] { return programValue("AUTOSTARTUP") == "0"; }));
    program.command(kCmdExit);
    DWORD code = 1;
    ASSERT_TRUE(program.waitExit(15000, &code));
    std::string line = runValue();
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder->path().c_str(),
                               &si, &pi));
    CloseHandle(pi.hThread);
    DWORD ended = WaitForSingleObject(pi.hProcess, 15000);
    if (ended != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(ended, DWORD(WAIT_OBJECT_0)) << "the start from the Run entry did not see its tail \"1\"";
}

TEST_F(Commands, AutoPerformanceTogglesAndReappliesTheStep) {
    startProgram();
    const std::string first = programValue("AUTOPERFORMANCE");
    ASSERT_TRUE(first == "1" || first == "0" || first == "<missing>") << first;
    // The program starts with automatic performance on unless it stored "0".
    const std::string other = first == "0" ? "1" : "0";

    size_t from = logSize();
    program.command(kCmdAutoPerformance);
    EXPECT_TRUE(waitUntil([&] { return programValue("AUTOPERFORMANCE") == other; }))
        << programValue("AUTOPERFORMANCE");
    EXPECT_TRUE(waitLineFrom(from, "SPGS 2")) << "the step in force is applied again";

    from = logSize();
    program.command(kCmdAutoPerformance);
    const std::string back = other == "1" ? "0" : "1";
    EXPECT_TRUE(waitUntil([&] { return programValue("AUTOPERFORMANCE") == back; }));
    EXPECT_TRUE(waitLineFrom(from, "SPGS 2"));
}

TEST_F(Commands, StepCommandFromOutsideSwitchesAndStoresTheStep) {
    ASSERT_TRUE(osd.start());
    startProgram();
    size_t from = logSize();
    program.command(stepCommand(1));
    EXPECT_TRUE(waitLineFrom(from, "SPGS 1"));
    EXPECT_TRUE(waitLineFrom(from, "OSD 1"));
    EXPECT_TRUE(waitUntil([] { return programValue("AC_Current_Step") == "1"; }));
}

TEST_F(Commands, PowerCommandsReachTheMachine) {
    startProgram();
    size_t from = logSize();
    program.command(kCmdStandByNow);
    EXPECT_TRUE(waitLineFrom(from, "SUSPEND 0"));
    program.command(kCmdHibernateNow);
    EXPECT_TRUE(waitLineFrom(from, "SUSPEND 1"));
    program.command(kCmdShutDownNow);
    EXPECT_TRUE(waitLineFrom(from, "SHUTDOWN 8")) << "EWX_POWEROFF on NT";
}

TEST_F(Commands, ThrottleResetCodesRebuildTheTableAndReapplyTheStep) {
    startProgram();
    const std::string own = ownScheme();
    size_t from = logSize();
    program.post(WM_COMMAND, MAKEWPARAM(kCmdStepCycle, 1), 0);
    EXPECT_TRUE(waitLineFrom(from, "THROTTLE " + own + " 2 2")) << "code 1 degrades every step";
    from = logSize();
    program.post(WM_COMMAND, MAKEWPARAM(kCmdStepCycle, 2), 0);
    EXPECT_TRUE(waitLineFrom(from, "THROTTLE " + own + " 3 3")) << "code 2 gives step 2 its adaptive policy";
    from = logSize();
    program.post(WM_COMMAND, MAKEWPARAM(kCmdStepCycle, 3), 0);
    program.command(kCmdStandByNow); // a marker behind the ignored command
    ASSERT_TRUE(waitLineFrom(from, "SUSPEND 0"));
    EXPECT_EQ(countPrefixFrom(from, "THROTTLE "), 0u) << "other codes are ignored";
}

TEST_F(Commands, ConfigurationOpensTheDialogOnceAndAgainAfterItCloses) {
    startProgram();
    auto dialog = [this] { return findProcessWindow(program.pid(), "#32770", "Configuration Kelvane"); };
    for (int opening = 0; opening < 2; ++opening) {
        program.command(33074);
        ASSERT_TRUE(waitUntil([&] { return dialog() != nullptr; })) << opening;
        HWND first = dialog();
        program.command(33074); // posted from outside while open: no second dialog
        ASSERT_TRUE(program.answers());
        EXPECT_EQ(dialog(), first);
        PostMessageA(first, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(waitUntil([&] { return !IsWindow(first); })) << opening;
    }
}
