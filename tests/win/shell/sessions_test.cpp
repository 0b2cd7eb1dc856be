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
    char self[MAX_PATH] = {};
    if (GetModuleFileNameA(nullptr, self, sizeof self) && !strstr(self, "_win10.exe"))
        GTEST_SKIP() << "runs in the copy named for win10";
    DWORD own = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &own);
    HANDLE inFront = CreateMutexA(nullptr, FALSE, "Global\\KelvaneScheme.70");
    // In front: this session, session 70 with its program, session 71 with none.
    for (auto c : {std::pair{own, false}, {70ul, true}, {71ul, false}}) {
        resetNotebook();
        resetAppState();
        app.onAc = 1;
        setSimValue("ConsoleSession", c.first);
        EXPECT_EQ(heldInBackground(3), c.second) << c.first;
        EXPECT_EQ(regText(HKEY_CURRENT_USER, "Software\\KELVANE", "AC_Current_Step"), c.second ? "3" : "<missing>");
        EXPECT_TRUE(logLines().empty()) << "nothing reaches the machine";
    }
    CloseHandle(inFront);
}
