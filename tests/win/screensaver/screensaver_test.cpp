// Screen saver control on the simulated notebook with the real registry and system.ini, on XP, on NT
// before XP and on the 9x family.
#include "harness/notebook.h"
#include "harness/platform.h"
#include "machine/machine.h"
#include "screensaver/screensaver.h"
#include "sim/simstate.h"
#include "state/appstate.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const char *const kDesktop = "Control Panel\\Desktop";
const char *const kDefaultDesktop = ".DEFAULT\\Control Panel\\Desktop";
const char *const kOwnKey = "Software\\KELVANE";
const char *const kValue = "SCRNSAVE.EXE";
const char *const kMissing = "<missing>";

enum class Family { Xp, NtBeforeXp, Nine };

Family runningFamily() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    machine::GetVersionExA(&info);
    if (info.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return Family::Nine;
    return info.dwMajorVersion == 5 && info.dwMinorVersion > 0 ? Family::Xp : Family::NtBeforeXp;
}

std::string systemDirectory() {
    char dir[MAX_PATH];
    UINT len = GetSystemDirectoryA(dir, sizeof dir);
    return std::string(dir, len);
}

std::string systemIni() {
    char dir[MAX_PATH];
    UINT len = GetWindowsDirectoryA(dir, sizeof dir);
    return std::string(dir, len) + "\\system.ini";
}

std::string iniText() {
    char text[1024];
    GetPrivateProfileStringA("boot", kValue, kMissing, text, sizeof text, systemIni().c_str());
    return text;
}

void setIniText(const char *text) {
    WritePrivateProfileStringA("boot", kValue, text, systemIni().c_str());
}

void deleteRegValue(HKEY root, const char *path) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, kValue);
    RegCloseKey(key);
}

// A name in the prefix that the tests change, put back as it was afterwards.
struct SavedName {
    HKEY root;
    const char *path;
    std::string text;

    void save() { text = regText(root, path, kValue); }
    void restore() const {
        deleteRegValue(root, path);
        if (text != kMissing)
            setRegText(root, path, kValue, text);
    }
};

class ScreenSaverControl : public ::testing::Test {
  protected:
    void SetUp() override {
        resetNotebook();
        resetAppState();
        family = runningFamily();
        setPlatformFlags();
        userDesktop.save();
        defaultDesktop.save();
        savedIni = iniText();
        clearPlaces();
    }
    void TearDown() override {
        clearPlaces();
        userDesktop.restore();
        defaultDesktop.restore();
        if (savedIni != kMissing)
            setIniText(savedIni.c_str());
        for (const std::string &file : files)
            DeleteFileA(file.c_str());
        resetNotebook();
    }

    // What the capability probe sets from the platform version before it captures the screen saver.
    void setPlatformFlags() const {
        app.isNt = family != Family::Nine;
        app.isXp = family == Family::Xp;
    }

    static void clearPlaces() {
        deleteRegValue(HKEY_CURRENT_USER, kDesktop);
        deleteRegValue(HKEY_USERS, kDefaultDesktop);
        setIniText(nullptr);
    }

    // The place where the running platform names the screen saver: the registry on NT, system.ini on 9x.
    std::string systemPlace() const {
        return app.isNt ? regText(HKEY_CURRENT_USER, kDesktop, kValue) : iniText();
    }
    void setSystemPlace(const std::string &text) const {
        if (app.isNt)
            setRegText(HKEY_CURRENT_USER, kDesktop, kValue, text);
        else
            setIniText(text.c_str());
    }

    static std::string ownValue() { return regText(HKEY_CURRENT_USER, kOwnKey, kValue); }
    static void createOwnKey() { setRegText(HKEY_CURRENT_USER, kOwnKey, "CurrentStep", "2"); }

    std::string createFile(const std::string &path) {
        writeFile(path, {'M', 'Z'});
        files.push_back(path);
        return path;
    }

    std::string fixedFallback() const {
        const char *nt = LOBYTE(GetVersion()) >= 6 ? "\\scrnsave.scr" : "\\logon.scr"; // Vista on: no logon.scr
        return systemDirectory() + (app.isNt ? nt : "\\3DTEXT~1.scr");
    }

    Family family = Family::Xp;
    SavedName userDesktop{HKEY_CURRENT_USER, kDesktop, {}};
    SavedName defaultDesktop{HKEY_USERS, kDefaultDesktop, {}};
    std::string savedIni;
    std::vector<std::string> files;
};

} // namespace

// Copies of this program named for another platform must really run on that platform.
TEST_F(ScreenSaverControl, RunsOnThePlatformItsNameAsksFor) {
    char path[MAX_PATH];
    std::string self(path, GetModuleFileNameA(nullptr, path, sizeof path));
    Family expected = Family::Xp;
    if (self.find("_win98.exe") != std::string::npos)
        expected = Family::Nine;
    else if (self.find("_win2k.exe") != std::string::npos)
        expected = Family::NtBeforeXp;
    EXPECT_EQ(int(family), int(expected)) << self;
}

TEST_F(ScreenSaverControl, TurningOffEndsARunningScreenSaverWithOneShiftPressAndRelease) {
    setSimValue("ScreenSaverRunning", 1);
    applyScreenSaver(0, app.screenSaverPath);
    EXPECT_EQ(logLines(), (std::vector<std::string>{"SCREENSAVER 0", "KEY SHIFT DOWN", "KEY SHIFT UP"}));
    EXPECT_EQ(simValue("ScreenSaverActive", 1), 0u);

    clearLog();
    applyScreenSaver(0, app.screenSaverPath);
    EXPECT_EQ(logLines(), std::vector<std::string>{"SCREENSAVER 0"}) << "no key event when none runs";

    // Turning on never presses a key, even over a running screen saver.
    clearLog();
    setSimValue("ScreenSaverRunning", 1);
    applyScreenSaver(1, app.screenSaverPath);
    EXPECT_EQ(logLines(), std::vector<std::string>{"SCREENSAVER 1"});
    EXPECT_EQ(simValue("ScreenSaverActive", 0), 1u);
}

TEST_F(ScreenSaverControl, TurningOffDeletesTheSystemNameOnXpOnlyAndKeepsEveryOtherName) {
    createOwnKey();
    setRegText(HKEY_CURRENT_USER, kDesktop, kValue, "C:\\Savers\\user.scr");
    setIniText("C:\\Savers\\ini.scr");
    setRegText(HKEY_CURRENT_USER, kOwnKey, kValue, "C:\\Savers\\kept.scr");
    strcpy(app.screenSaverPath, "C:\\Savers\\kept.scr");

    applyScreenSaver(0, app.screenSaverPath);

    EXPECT_EQ(regText(HKEY_CURRENT_USER, kDesktop, kValue),
              family == Family::Xp ? kMissing : "C:\\Savers\\user.scr");
    EXPECT_EQ(iniText(), "C:\\Savers\\ini.scr");
    EXPECT_EQ(ownValue(), "C:\\Savers\\kept.scr");
    EXPECT_STREQ(app.screenSaverPath, "C:\\Savers\\kept.scr");
    EXPECT_EQ(simValue("ScreenSaverActive", 1), 0u);
}

TEST_F(ScreenSaverControl, TurningOnNamesThePathInTheSystemPlaceAndRemembersIt) {
    createOwnKey();
    setSystemPlace("C:\\Savers\\other.scr");
    strcpy(app.screenSaverPath, "C:\\Savers\\mine.scr");

    applyScreenSaver(1, app.screenSaverPath);

    EXPECT_EQ(logLines(), std::vector<std::string>{"SCREENSAVER 1"});
    EXPECT_EQ(systemPlace(), "C:\\Savers\\mine.scr") << "replaces what the system named";
    EXPECT_EQ(ownValue(), "C:\\Savers\\mine.scr");
    if (app.isNt) {
        EXPECT_EQ(iniText(), kMissing);
    } else {
        EXPECT_EQ(regText(HKEY_CURRENT_USER, kDesktop, kValue), kMissing);
    }
    // A name already in place is not written again: NT keeps the bytes after its end, which a rewrite drops.
    const std::string stored("C:\\Savers\\mine.scr\0kept\0", 24);
    for (const char *path : {kOwnKey, kDesktop}) {
        setRegBytes(HKEY_CURRENT_USER, path, kValue, REG_SZ, stored);
        applyScreenSaver(1, app.screenSaverPath);
        EXPECT_TRUE(!app.isNt || regBytes(HKEY_CURRENT_USER, path, kValue) == stored) << path;
    }
}

TEST_F(ScreenSaverControl, TurningOnWithoutTheProgramKeyNamesTheSystemPlaceButRemembersNothing) {
    strcpy(app.screenSaverPath, "C:\\Savers\\mine.scr");
    applyScreenSaver(1, app.screenSaverPath);
    EXPECT_EQ(systemPlace(), "C:\\Savers\\mine.scr");
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, kOwnKey)) << "the program's key is never created here";
}

TEST_F(ScreenSaverControl, QueryReadsTheSystemNameOnlyWhileActive) {
    createOwnKey();
    setSystemPlace("C:\\Savers\\new.scr");
    strcpy(app.screenSaverPath, "C:\\Savers\\old.scr");

    setSimValue("ScreenSaverActive", 0);
    EXPECT_EQ(queryScreenSaver(app.screenSaverPath), 0u);
    EXPECT_STREQ(app.screenSaverPath, "C:\\Savers\\old.scr");

    setSimValue("ScreenSaverActive", 1);
    EXPECT_NE(queryScreenSaver(app.screenSaverPath), 0u);
    EXPECT_STREQ(app.screenSaverPath, "C:\\Savers\\new.scr");
    EXPECT_EQ(ownValue(), kMissing) << "a query remembers nothing";
    EXPECT_TRUE(logLines().empty()) << "a query changes nothing";
}

// On 9x this is a system.ini whose section "boot" has no "SCRNSAVE.EXE".
TEST_F(ScreenSaverControl, QueryWhileActiveKeepsThePathWhenTheSystemNamesNothing) {
    strcpy(app.screenSaverPath, "C:\\Savers\\old.scr");
    EXPECT_EQ(readSystemScreenSaver(app.screenSaverPath), 0);
    EXPECT_NE(queryScreenSaver(app.screenSaverPath), 0u);
    EXPECT_STREQ(app.screenSaverPath, "C:\\Savers\\old.scr");

    if (!app.isNt) {
        setIniText("");
        EXPECT_EQ(readSystemScreenSaver(app.screenSaverPath), 0) << "an empty key names nothing";
        EXPECT_STREQ(app.screenSaverPath, "C:\\Savers\\old.scr");
    }
}

TEST_F(ScreenSaverControl, StartWithTheScreenSaverActiveTakesAndRemembersTheSystemName) {
    setSystemPlace("C:\\Savers\\current.scr");
    setRegText(HKEY_USERS, kDefaultDesktop, kValue, createFile(testFolder() + "default.scr"));

    EXPECT_NE(captureScreenSaverAtStart(app.screenSaverPath), 0u);
    EXPECT_STREQ(app.screenSaverPath, "C:\\Savers\\current.scr");
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, kOwnKey)) << "no key yet: nothing remembered";

    createOwnKey();
    app.screenSaverPath[0] = '\0';
    EXPECT_NE(captureScreenSaverAtStart(app.screenSaverPath), 0u);
    EXPECT_STREQ(app.screenSaverPath, "C:\\Savers\\current.scr");
    EXPECT_EQ(ownValue(), "C:\\Savers\\current.scr");
    EXPECT_TRUE(logLines().empty()) << "capturing changes no system parameter";
}

TEST_F(ScreenSaverControl, StartWithTheScreenSaverInactiveTakesTheRememberedNameUnchecked) {
    setSimValue("ScreenSaverActive", 0);
    setSystemPlace("C:\\Savers\\current.scr");
    setRegText(HKEY_CURRENT_USER, kOwnKey, kValue, "Q:\\nowhere\\remembered.scr");
    setRegText(HKEY_USERS, kDefaultDesktop, kValue, createFile(testFolder() + "default.scr"));

    EXPECT_EQ(captureScreenSaverAtStart(app.screenSaverPath), 0u);
    EXPECT_STREQ(app.screenSaverPath, "Q:\\nowhere\\remembered.scr");
    EXPECT_EQ(systemPlace(), "C:\\Savers\\current.scr");
}

// Active, but the system names nothing (XP removed the name when a step turned it off).
TEST_F(ScreenSaverControl, StartActiveWithoutASystemNameFallsBackAndStillSaysActive) {
    setRegText(HKEY_CURRENT_USER, kOwnKey, kValue, "C:\\Savers\\remembered.scr");
    EXPECT_NE(captureScreenSaverAtStart(app.screenSaverPath), 0u);
    EXPECT_STREQ(app.screenSaverPath, "C:\\Savers\\remembered.scr");

    deleteRegTree(HKEY_CURRENT_USER, kOwnKey);
    EXPECT_NE(captureScreenSaverAtStart(app.screenSaverPath), 0u);
    EXPECT_EQ(std::string(app.screenSaverPath), fixedFallback());
}

TEST_F(ScreenSaverControl, DefaultUserBareNameIsFoundInTheSystemDirectoryAndStoredJoined) {
    setSimValue("ScreenSaverActive", 0);
    std::string joined = createFile(systemDirectory() + "\\kelvane test.scr");
    setRegText(HKEY_USERS, kDefaultDesktop, kValue, "kelvane test.scr");

    EXPECT_EQ(captureScreenSaverAtStart(app.screenSaverPath), 0u);
    EXPECT_EQ(std::string(app.screenSaverPath), joined);
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, kOwnKey));
}

TEST_F(ScreenSaverControl, DefaultUserNameWithADirectoryIsLookedForThereAndStoredUnchanged) {
    setSimValue("ScreenSaverActive", 0);
    std::string there = createFile(testFolder() + "kelvane saver.scr");
    setRegText(HKEY_USERS, kDefaultDesktop, kValue, there);
    EXPECT_EQ(captureScreenSaverAtStart(app.screenSaverPath), 0u);
    EXPECT_EQ(std::string(app.screenSaverPath), there);

    // The same file name is not looked for in the system directory once a directory is given.
    createFile(systemDirectory() + "\\kelvane saver.scr");
    setRegText(HKEY_USERS, kDefaultDesktop, kValue, testFolder() + "missing\\kelvane saver.scr");
    EXPECT_EQ(captureScreenSaverAtStart(app.screenSaverPath), 0u);
    EXPECT_EQ(std::string(app.screenSaverPath), fixedFallback());
}

TEST_F(ScreenSaverControl, DefaultUserNameOfAMissingFileFallsToTheFixedName) {
    setSimValue("ScreenSaverActive", 0);
    setRegText(HKEY_USERS, kDefaultDesktop, kValue, "kelvane missing.scr");
    EXPECT_EQ(captureScreenSaverAtStart(app.screenSaverPath), 0u);
    EXPECT_EQ(std::string(app.screenSaverPath), fixedFallback());

    setRegText(HKEY_USERS, kDefaultDesktop, kValue, "");
    EXPECT_EQ(captureScreenSaverAtStart(app.screenSaverPath), 0u);
    EXPECT_EQ(std::string(app.screenSaverPath), fixedFallback()) << "an empty name names no file";

    deleteRegValue(HKEY_USERS, kDefaultDesktop);
    strcpy(app.screenSaverPath, "C:\\Savers\\old.scr");
    EXPECT_EQ(captureScreenSaverAtStart(app.screenSaverPath), 0u);
    EXPECT_EQ(std::string(app.screenSaverPath), fixedFallback()) << "nothing named anywhere";
}

// Values are read into 128 bytes and must end inside them.
TEST_F(ScreenSaverControl, ValuesLongerThanTheBufferCountAsAbsent) {
    std::string fits(127, 'r');
    std::string full(128, 'r');
    std::string longer(200, 'r');
    createOwnKey();
    std::string defaultFile = createFile(testFolder() + "default.scr");
    setRegText(HKEY_USERS, kDefaultDesktop, kValue, defaultFile);

    setSystemPlace(longer);
    strcpy(app.screenSaverPath, "C:\\Savers\\old.scr");
    EXPECT_EQ(readSystemScreenSaver(app.screenSaverPath), 0);
    EXPECT_STREQ(app.screenSaverPath, "C:\\Savers\\old.scr");

    // Active with an overlong system name: the chain runs; an overlong remembered name is skipped too.
    setRegText(HKEY_CURRENT_USER, kOwnKey, kValue, longer);
    EXPECT_NE(captureScreenSaverAtStart(app.screenSaverPath), 0u);
    EXPECT_EQ(std::string(app.screenSaverPath), defaultFile);

    setRegText(HKEY_CURRENT_USER, kOwnKey, kValue, full);
    EXPECT_NE(captureScreenSaverAtStart(app.screenSaverPath), 0u);
    EXPECT_EQ(std::string(app.screenSaverPath), defaultFile) << "128 bytes leave no room for the end";

    setRegText(HKEY_CURRENT_USER, kOwnKey, kValue, fits);
    EXPECT_NE(captureScreenSaverAtStart(app.screenSaverPath), 0u);
    EXPECT_EQ(std::string(app.screenSaverPath), fits);

    deleteRegValue(HKEY_CURRENT_USER, kOwnKey);
    setRegText(HKEY_USERS, kDefaultDesktop, kValue, longer);
    EXPECT_NE(captureScreenSaverAtStart(app.screenSaverPath), 0u);
    EXPECT_EQ(std::string(app.screenSaverPath), fixedFallback());

    setSystemPlace(fits);
    EXPECT_EQ(readSystemScreenSaver(app.screenSaverPath), 1);
    EXPECT_EQ(std::string(app.screenSaverPath), fits);
}

TEST_F(ScreenSaverControl, FindingAFileJoinsABareNameOnlyWhenTheJoinedPathFits) {
    std::string dir = systemDirectory();
    // dir + "\" + name of 127 characters fits a path buffer with its terminator; 128 do not.
    std::string fitting(127 - dir.size() - 1, 'k');
    std::string tooLong(128 - dir.size() - 1, 'k');
    createFile(dir + "\\" + fitting);
    createFile(dir + "\\" + tooLong);

    char name[kScreenSaverPathSize];
    strcpy(name, fitting.c_str());
    EXPECT_EQ(findScreenSaverFile(name), 1);
    EXPECT_EQ(std::string(name), dir + "\\" + fitting);

    strcpy(name, tooLong.c_str());
    EXPECT_EQ(findScreenSaverFile(name), 0);
    EXPECT_EQ(std::string(name), tooLong) << "left unchanged";

    strcpy(name, "kelvane missing.scr");
    EXPECT_EQ(findScreenSaverFile(name), 0);
    EXPECT_STREQ(name, "kelvane missing.scr");

    // At start-up such a default-user name falls through to the fixed name.
    setSimValue("ScreenSaverActive", 0);
    setRegText(HKEY_USERS, kDefaultDesktop, kValue, tooLong);
    EXPECT_EQ(captureScreenSaverAtStart(app.screenSaverPath), 0u);
    EXPECT_EQ(std::string(app.screenSaverPath), fixedFallback());
}

// Start active, steps turn it off, the user picks another executable while it is on, then exit.
TEST_F(ScreenSaverControl, ExitRestoresTheStartFlagWithTheExecutableLastCaptured) {
    createOwnKey();
    setSystemPlace("C:\\Savers\\first.scr");
    app.screenSaverActiveAtStart = captureScreenSaverAtStart(app.screenSaverPath);
    ASSERT_NE(app.screenSaverActiveAtStart, 0u);

    applyScreenSaver(1, app.screenSaverPath);
    setSystemPlace("C:\\Savers\\chosen.scr");
    EXPECT_NE(queryScreenSaver(app.screenSaverPath), 0u);
    applyScreenSaver(0, app.screenSaverPath);
    EXPECT_EQ(queryScreenSaver(app.screenSaverPath), 0u);
    applyScreenSaver(0, app.screenSaverPath);

    clearLog();
    applyScreenSaver(app.screenSaverActiveAtStart, app.screenSaverPath);
    EXPECT_EQ(logLines(), std::vector<std::string>{"SCREENSAVER 1"});
    EXPECT_EQ(systemPlace(), "C:\\Savers\\chosen.scr");
    EXPECT_EQ(ownValue(), "C:\\Savers\\chosen.scr");
}

TEST_F(ScreenSaverControl, ExitAfterAnInactiveStartTurnsItOffAndOnXpDeletesTheName) {
    createOwnKey();
    setSimValue("ScreenSaverActive", 0);
    setRegText(HKEY_CURRENT_USER, kOwnKey, kValue, "C:\\Savers\\remembered.scr");
    app.screenSaverActiveAtStart = captureScreenSaverAtStart(app.screenSaverPath);
    ASSERT_EQ(app.screenSaverActiveAtStart, 0u);

    applyScreenSaver(1, app.screenSaverPath); // a step with the screen saver on
    EXPECT_EQ(systemPlace(), "C:\\Savers\\remembered.scr");

    clearLog();
    applyScreenSaver(app.screenSaverActiveAtStart, app.screenSaverPath);
    EXPECT_EQ(logLines(), std::vector<std::string>{"SCREENSAVER 0"});
    EXPECT_EQ(simValue("ScreenSaverActive", 1), 0u);
    EXPECT_EQ(systemPlace(), family == Family::Xp ? kMissing : "C:\\Savers\\remembered.scr");
    EXPECT_EQ(ownValue(), "C:\\Savers\\remembered.scr");

    // The next start, inactive, finds the name under the program's key.
    resetAppState();
    setPlatformFlags();
    EXPECT_EQ(captureScreenSaverAtStart(app.screenSaverPath), 0u);
    EXPECT_STREQ(app.screenSaverPath, "C:\\Savers\\remembered.scr");
}

// The tests above, on the two other platform families.
TEST(ScreenSaverPlatforms, NtBeforeXp) {
    EXPECT_EQ(runOnPlatform("win2k", "ScreenSaverControl.*"), 0);
}

TEST(ScreenSaverPlatforms, NineFamily) {
    EXPECT_EQ(runOnPlatform("win98", "ScreenSaverControl.*"), 0);
}

TEST(ScreenSaverPlatforms, WindowsTenFallsBackToItsOwnSaver) {
    EXPECT_EQ(runOnPlatform("win10", "ScreenSaverControl.*Fall*"), 0);
}
