// Quellon run as a program against real windows: which of them receive WM_CLOSE.
#include "harness/notebook.h"
#include "harness/platform.h"
#include "harness/testwindows.h"

#include <gtest/gtest.h>

namespace {

class Quellon : public ::testing::Test {
  protected:
    static std::string programFolder() { return testFolder() + "program\\"; }

    // Writes the program's QUELLON.INI, runs it from the test's folder and waits until every
    // message it posted has reached the windows.
    void run(const std::string &ini) {
        writeText(programFolder() + "QUELLON.INI", ini);
        runWithoutWriting();
    }
    void runWithoutWriting() {
        ASSERT_TRUE(SetCurrentDirectoryA(testFolder().c_str()));
        std::string command = programFolder() + "Quellon.exe";
        EXPECT_EQ(runProgram(command.insert(0, 1, '"') + "\" ignored arguments"), 0);
        ASSERT_TRUE(windows.sync());
    }
    static void writeText(const std::string &path, const std::string &text) {
        writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
    }

    TestWindows windows;
};

} // namespace

TEST_F(Quellon, ListEndsAtTheFirstNumberedSectionWithNeitherKey) {
    size_t one = windows.open("QuellonOne", "One");
    size_t three = windows.open("QuellonThree", "Three");
    run("[EXECUTE_MODULE1]\r\nWINDOWCLASS=QuellonOne\r\n"
        "[EXECUTE_MODULE3]\r\nWINDOWCLASS=QuellonThree\r\n");
    EXPECT_EQ(windows.closes(one), 1);
    EXPECT_EQ(windows.closes(three), 0);
}

TEST_F(Quellon, EachKeyDecidesItsLookup) {
    size_t unnumbered = windows.open("QuellonZero", "Zero");
    size_t byClass = windows.open("QuellonBoth", "Any title");
    size_t titleOfBoth = windows.open("QuellonDecoy", "Both title");
    size_t byTitle = windows.open("QuellonByTitle", "Error class");
    size_t last = windows.open("QuellonLast", "Last");
    run("[EXECUTE_MODULE]\r\nWINDOWNAME=Zero\r\n"
        "[EXECUTE_MODULE1]\r\nWINDOWCLASS=QuellonNotRunning\r\n"
        "[EXECUTE_MODULE2]\r\nWINDOWCLASS=QuellonBoth\r\nWINDOWNAME=Both title\r\n"
        "[EXECUTE_MODULE3]\r\nWINDOWCLASS=ERROR\r\nWINDOWNAME=Error class\r\n"
        "[EXECUTE_MODULE4]\r\nWINDOWCLASS=\r\n"
        "[EXECUTE_MODULE5]\r\nWINDOWCLASS=QuellonLast\r\n");
    EXPECT_EQ(windows.closes(unnumbered), 1);
    EXPECT_EQ(windows.closes(byClass), 1) << "the class wins over the title";
    EXPECT_EQ(windows.closes(titleOfBoth), 0);
    EXPECT_EQ(windows.closes(byTitle), 1) << "\"ERROR\" counts as missing";
    EXPECT_EQ(windows.closes(last), 1) << "neither a missing window nor an empty value ends the list";
}

TEST_F(Quellon, OneWindowPerEntry) {
    size_t first = windows.open("QuellonTwin", "Twin");
    size_t second = windows.open("QuellonTwin", "Twin");
    run("[EXECUTE_MODULE]\r\nWINDOWNAME=Twin\r\n");
    EXPECT_EQ(windows.closes(first) + windows.closes(second), 1);
}

TEST_F(Quellon, ReadsTheListBesideTheProgramWhateverTheCurrentFolder) {
    size_t listed = windows.open("QuellonListed", "Listed");
    size_t decoy = windows.open("QuellonDecoy", "Decoy");
    writeText(testFolder() + "QUELLON.INI", "[EXECUTE_MODULE1]\r\nWINDOWCLASS=QuellonDecoy\r\n");
    run("[EXECUTE_MODULE1]\r\nWINDOWCLASS=QuellonListed\r\n");
    DeleteFileA((testFolder() + "QUELLON.INI").c_str());
    EXPECT_EQ(windows.closes(listed), 1);
    EXPECT_EQ(windows.closes(decoy), 0);
}

TEST_F(Quellon, MissingListClosesNothingAndEndsWithZero) {
    // The profile reader's default "ERROR" must not be taken for a class or a title.
    size_t named = windows.open("ERROR", "ERROR");
    DeleteFileA((programFolder() + "QUELLON.INI").c_str());
    runWithoutWriting();
    EXPECT_EQ(windows.closes(named), 0);
}
