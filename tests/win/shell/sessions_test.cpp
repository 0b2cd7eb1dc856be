// A program in a background session: its step commands are recorded, not applied, while the program
// of the session in front of the notebook runs.
#include "harness/notebook.h"
#include "harness/platform.h"
#include "shell/sessions.h"
#include "sim/simstate.h"
#include "state/appstate.h"

#include <gtest/gtest.h>

TEST(BackgroundSessionPlatforms, OnWindows10) { EXPECT_EQ(runOnPlatform("win10", "BackgroundSession.*"), 0); }

TEST(BackgroundSession, RecordsTheStepOnlyWhileTheProgramInFrontRuns) {
    char self[MAX_PATH];
    if (!strstr(std::string(self, GetModuleFileNameA(nullptr, self, sizeof self)).c_str(), "_win10.exe"))
        GTEST_SKIP() << "runs in the copy named for win10";
    DWORD own = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &own);
    HANDLE inFront = CreateMutexA(nullptr, FALSE, "Global\\KelvaneScheme.70");
    struct Case {
        DWORD console;
        bool held;
    } cases[] = {{own, false}, {70, true}, {71, false}}; // 71 in front, with no program
    for (const Case &c : cases) {
        resetNotebook();
        resetAppState();
        app.onAc = 1;
        setSimValue("ConsoleSession", c.console);
        EXPECT_EQ(heldInBackground(3), c.held) << c.console;
        EXPECT_EQ(regText(HKEY_CURRENT_USER, "Software\\KELVANE", "AC_Current_Step"), c.held ? "3" : "<missing>");
        EXPECT_TRUE(logLines().empty()) << "nothing reaches the machine";
    }
    CloseHandle(inFront);
}
