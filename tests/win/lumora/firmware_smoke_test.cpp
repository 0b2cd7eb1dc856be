// The real build next to a firmware library whose every method fails: it loads it and stops politely.
#include "boxes.h"
#include "lumorafixture.h"

using RealBuild = LumoraTest;

TEST_F(RealBuild, WithFailingFirmwareLibraryShowsErrorAndEnds) {
    ProgramFolder real(realProgramDir());
    ASSERT_TRUE(real.copyIn(failingFirmwareDir() + "VKTMETHOD.dll", "VKTMETHOD.dll"));
    ASSERT_TRUE(program.start(real.exe()));
    ShownBox box;
    ASSERT_TRUE(answerKelvaneBox(program.pid(), &box, 30000))
        << "no message: the import did not resolve, or the call did not fail";
    EXPECT_EQ(box.text, "Current system do not support this utility.\nPorgram Stop !");
    EXPECT_STREQ(iconName(box.icon), "error");
    DWORD code = 1;
    ASSERT_TRUE(program.waitExit(15000, &code));
    EXPECT_EQ(code, 0u);
}

TEST_F(RealBuild, WithoutFirmwareLibraryDoesNotRun) {
    ProgramFolder real(realProgramDir());
    ASSERT_TRUE(program.start(real.exe()));
    MessageBoxWatcher boxes("Kelvane", IDOK, program.pid());
    DWORD code = 0;
    // The loader refuses the program before any of its code runs.
    ASSERT_TRUE(program.waitExit(30000, &code));
    EXPECT_NE(code, 0u);
    EXPECT_TRUE(boxes.seen().empty());
}
