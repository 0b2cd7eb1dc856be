// Step files: loading with the shipped default as fall-back, the messages, the atomic save, step names.
#include "harness/msgbox.h"
#include "harness/notebook.h"
#include "harness/platform.h"
#include "machine/machine.h"
#include "machine/powercfg_keys.h"
#include "state/appstate.h"
#include "store/stepfiles.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class StepFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        resetNotebook();
        resetAppState();
        app.iniPath[0] = '\0';
        snprintf(app.iniPath, sizeof app.iniPath, "%sLumora.ini", testFolder().c_str());
        UINT scheme;
        machine::GetActivePwrScheme(&scheme); // lays out the power-scheme store with its global policy
    }

    std::string path(const char *name) { return testFolder() + name; }

    std::vector<uint8_t> sampleFile(size_t size) {
        std::vector<uint8_t> bytes(size);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = uint8_t(i % 200 + 3);
        return bytes;
    }

    StepSettings slot{};
};

} // namespace

TEST_F(StepFiles, LoadsAWholeFileAndAdjustsThePolicy) {
    std::vector<uint8_t> bytes = sampleFile(156);
    writeFile(path("CFG3.BLC"), bytes);
    MessageBoxWatcher boxes;
    ASSERT_EQ(loadStepSettings(3, slot), 1);
    EXPECT_EQ(boxes.seen().size(), 0u);
    const uint8_t *p = (const uint8_t *)&slot.policy;
    EXPECT_EQ(p[0], bytes[0]);
    EXPECT_EQ(p[PolicyOffset::OptimizeForPowerAc], 0);
    EXPECT_EQ(p[PolicyOffset::ForcedThrottleAc], 100);
    // Not XP: the battery fields stay as stored.
    EXPECT_EQ(p[PolicyOffset::OptimizeForPowerDc], bytes[PolicyOffset::OptimizeForPowerDc]);
    EXPECT_EQ(p[PolicyOffset::ForcedThrottleDc], bytes[PolicyOffset::ForcedThrottleDc]);
    EXPECT_EQ(slot.panelLevel, uint32_t(bytes[144]) | bytes[145] << 8 | bytes[146] << 16 | uint32_t(bytes[147]) << 24);

    app.isXp = 1;
    ASSERT_EQ(loadStepSettings(3, slot), 1);
    EXPECT_EQ(p[PolicyOffset::OptimizeForPowerDc], 1);
    EXPECT_EQ(p[PolicyOffset::ForcedThrottleDc], 100);
}

TEST_F(StepFiles, LoadRefreshesTheGlobalPolicyFromTheRegistry) {
    GLOBAL_POWER_POLICY global = {};
    global.user.LidCloseDc.Action = PowerActionHibernate;
    HKEY key;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, kGlobalPolicyKey, &key), ERROR_SUCCESS);
    RegSetValueExA(key, "Policies", 0, REG_BINARY, (const BYTE *)&global, sizeof global);
    RegCloseKey(key);
    writeFile(path("CFG1.BLC"), sampleFile(156));
    ASSERT_EQ(loadStepSettings(1, slot), 1);
    EXPECT_EQ(app.globalPolicy.user.LidCloseDc.Action, PowerActionHibernate);
}

TEST_F(StepFiles, MissingFileIsCopiedFromTheShippedDefaultWithAWarning) {
    MessageBoxWatcher boxes;
    ASSERT_EQ(loadStepSettings(4, slot), 1);
    ASSERT_TRUE(boxes.waitFor(1));
    std::vector<SeenMessage> seen = boxes.seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, path("CFG4.BLC") + "\nOpen Power policy file error!\n\nLoad default setting!");
    EXPECT_STREQ(iconName(seen[0].icon), "warning");
    EXPECT_EQ(fileBytes(path("CFG4.BLC")), fileBytes(path("CFG4.DEF")));
    EXPECT_EQ(app.defaultCopyMark, 0u);
}

TEST_F(StepFiles, MissingFileAndDefaultGiveOneErrorAndNoSecondCopy) {
    std::vector<uint8_t> def = fileBytes(path("CFG5.DEF"));
    DeleteFileA(path("CFG5.DEF").c_str());
    MessageBoxWatcher boxes;
    int loaded = loadStepSettings(5, slot);
    writeFile(path("CFG5.DEF"), def);
    EXPECT_EQ(loaded, 0);
    ASSERT_TRUE(boxes.waitFor(1));
    Sleep(200); // a second box would have been shown by now: the load has returned
    std::vector<SeenMessage> seen = boxes.seen();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, path("CFG5.BLC") + "\nOpen Power policy file error!\n\nLoad default setting error!");
    EXPECT_STREQ(iconName(seen[0].icon), "error");
    EXPECT_FALSE(fileExists(path("CFG5.BLC")));
    EXPECT_EQ(app.defaultCopyMark, 0u);
}

TEST_F(StepFiles, ShortFilesFailWithTheMessageOfTheShortRead) {
    struct Case {
        size_t size;
        const char *what;
    } cases[] = {{0, "POWER_POLICY"},  {143, "POWER_POLICY"}, {146, "Panel_Level"},
                 {148, "Screen_Saver"}, {150, "Screen_Saver"}, {155, "Screen_Saver"}};
    for (const Case &c : cases) {
        writeFile(path("CFG2.BLC"), sampleFile(c.size));
        MessageBoxWatcher boxes;
        EXPECT_EQ(loadStepSettings(2, slot), 0) << c.size;
        ASSERT_TRUE(boxes.waitFor(1)) << c.size;
        std::vector<SeenMessage> seen = boxes.seen();
        EXPECT_EQ(seen[0].text, path("CFG2.BLC") + "\nRead Power policy file(" + c.what + ") error!") << c.size;
        EXPECT_STREQ(iconName(seen[0].icon), "error");
        // A failed load never touches the file.
        EXPECT_EQ(fileBytes(path("CFG2.BLC")).size(), c.size);
    }
}

TEST_F(StepFiles, LongerFileLoadsAndTheExtraBytesVanishAtTheNextSave) {
    std::vector<uint8_t> bytes = sampleFile(400);
    writeFile(path("CFG6.BLC"), bytes);
    ASSERT_EQ(loadStepSettings(6, slot), 1);
    ASSERT_EQ(saveStepSettings(6, slot), 1);
    std::vector<uint8_t> saved = fileBytes(path("CFG6.BLC"));
    ASSERT_EQ(saved.size(), 156u);
    EXPECT_TRUE(std::equal(saved.begin() + 80, saved.end(), bytes.begin() + 80)) << "all but the adjusted bytes";
    EXPECT_FALSE(fileExists(path("CFG6.BL~")));
}

TEST_F(StepFiles, UnreadableGlobalPolicyStopsEveryLoad) {
    writeFile(path("CFG1.BLC"), sampleFile(156));
    HKEY key;
    ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, kGlobalPolicyKey, &key), ERROR_SUCCESS);
    RegDeleteValueA(key, "Policies");
    RegCloseKey(key);
    {
        MessageBoxWatcher boxes;
        EXPECT_EQ(loadStepSettings(1, slot), 0);
        ASSERT_TRUE(boxes.waitFor(1));
        EXPECT_EQ(boxes.seen()[0].text, "Read Global power policy registry Error\n"
                                        "HKEY_CURRENT_USER\\Control Panel\\PowerCfg\\GlobalPowerPolicy\\Policies");
        EXPECT_STREQ(iconName(boxes.seen()[0].icon), "error");
    }
    deleteRegTree(HKEY_CURRENT_USER, kGlobalPolicyKey);
    MessageBoxWatcher boxes;
    EXPECT_EQ(loadStepSettings(1, slot), 0);
    ASSERT_TRUE(boxes.waitFor(1));
    EXPECT_EQ(boxes.seen()[0].text,
              "Open GlobalPowerPolicy Registry Error.\nHKEY_CURRENT_USER\\Control Panel\\PowerCfg\\GlobalPowerPolicy");
}

TEST_F(StepFiles, StepOutsideOneToEightNeverLoads) {
    for (unsigned step : {0u, 9u}) {
        MessageBoxWatcher boxes;
        EXPECT_EQ(loadStepSettings(step, slot), 0);
        ASSERT_TRUE(boxes.waitFor(1));
        char name[16];
        snprintf(name, sizeof name, "CFG%x.BLC", step);
        EXPECT_EQ(boxes.seen()[0].text, path(name) + "\nOpen Power policy file error!\n\nLoad default setting error!");
        EXPECT_EQ(saveStepSettings(step, slot), 0);
        EXPECT_FALSE(fileExists(path(name)));
    }
}

TEST_F(StepFiles, SaveWritesTheLayoutAndReplacesTheOldFileWhole) {
    writeFile(path("CFG7.BLC"), sampleFile(156));
    memset(&slot, 0, sizeof slot);
    slot.policy.user.VideoTimeoutDc = 0x0E10;
    slot.panelLevel = 7;
    slot.screenSaverAc = 1;
    slot.screenSaverDc = 0;
    ASSERT_EQ(saveStepSettings(7, slot), 1);
    std::vector<uint8_t> saved = fileBytes(path("CFG7.BLC"));
    ASSERT_EQ(saved.size(), 156u);
    EXPECT_EQ(saved[60], 0x10);
    EXPECT_EQ(saved[61], 0x0E);
    EXPECT_EQ(saved[144], 7);
    EXPECT_EQ(saved[148], 1);
    EXPECT_EQ(saved[152], 0);
    EXPECT_FALSE(fileExists(path("CFG7.BL~")));

    // A file that cannot be replaced stays as it was, and the save says so.
    HANDLE held = CreateFileA(path("CFG7.BLC").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    slot.panelLevel = 12;
    EXPECT_EQ(saveStepSettings(7, slot), 0);
    CloseHandle(held);
    EXPECT_EQ(fileBytes(path("CFG7.BLC")), saved);
    EXPECT_FALSE(fileExists(path("CFG7.BL~")));
}

TEST_F(StepFiles, StepNamesComeFromTheIniWithTheKeyAsDefault) {
    char name[kTextSize];
    readStepName(3, name, sizeof name);
    EXPECT_STREQ(name, "Step 3");
    ASSERT_TRUE(writeStepName(3, "Quiet office"));
    readStepName(3, name, sizeof name);
    EXPECT_STREQ(name, "Quiet office");
    HKEY key; // names live in the ini file only: no value of the program's key holds one
    char value[256], data[256];
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\KELVANE", &key), ERROR_SUCCESS);
    for (DWORD i = 0, n = 256, size = 256;
         !RegEnumValueA(key, i, value, &n, nullptr, nullptr, (BYTE *)data, &size); ++i, n = size = 256)
        EXPECT_EQ(std::string(data, strnlen(data, size)).find("Quiet"), std::string::npos) << value;
    RegCloseKey(key);

    std::string longName(200, 'n');
    WritePrivateProfileStringA("Common", "Step 8", longName.c_str(), app.iniPath);
    memset(name, 'x', sizeof name);
    readStepName(8, name, sizeof name);
    EXPECT_EQ(strlen(name), kTextSize - 1) << "cut inside the buffer and terminated";
}

// Runs inside a copy of this program placed in a folder with a very long path.
TEST_F(StepFiles, LongFolderChild) {
    std::string folder = testFolder();
    if (folder.size() < 240)
        GTEST_SKIP() << "only meaningful in a long folder";
    MessageBoxWatcher boxes;
    int loaded = loadStepSettings(1, slot);
    if (folder.size() + strlen("CFG1.BLC") < MAX_PATH) {
        EXPECT_EQ(loaded, 1) << "the step files still fit";
        ASSERT_TRUE(boxes.waitFor(1));
        EXPECT_EQ(boxes.seen()[0].text, path("CFG1.BLC") + "\nOpen Power policy file error!\n\nLoad default setting!");
        EXPECT_EQ(saveStepSettings(1, slot), 1);
    } else {
        EXPECT_EQ(loaded, 0);
        ASSERT_TRUE(boxes.waitFor(1));
        EXPECT_NE(boxes.seen()[0].text.find("folder is too long"), std::string::npos) << boxes.seen()[0].text;
        EXPECT_EQ(saveStepSettings(1, slot), 0);
        EXPECT_FALSE(fileExists(path("CFG1.BLC")));
    }
}

TEST_F(StepFiles, ProgramFolderTooLongForItsFilesFailsCleanly) {
    for (size_t length : {250u, 253u}) {
        std::string folder = testFolder();
        std::string deep = folder + std::string(length - folder.size() - 1, 'd') + "\\";
        ASSERT_EQ(deep.size(), length);
        CreateDirectoryA(deep.c_str(), nullptr);
        for (int step = 1; step <= 8; ++step) {
            char name[16];
            snprintf(name, sizeof name, "CFG%d.DEF", step);
            CopyFileA(path(name).c_str(), (deep + name).c_str(), FALSE);
        }
        EXPECT_EQ(runCopyAt(deep + "t.exe", "StepFiles.LongFolderChild"), 0) << length;
        for (const char *name : {"CFG1.BLC", "CFG1.BL~"})
            DeleteFileA((deep + name).c_str());
    }
}

// A step file another program holds is not missing: the load fails with its message and the file,
// the user's settings, stays as it was instead of being replaced by the shipped default.
TEST_F(StepFiles, FileHeldByAnotherProgramIsALoadErrorAndStaysAsItWas) {
    std::vector<uint8_t> mine = sampleFile(156);
    writeFile(path("CFG3.BLC"), mine);
    // Held the way an editor or a backup tool may hold it: others may write, nobody may read.
    HANDLE held = CreateFileA(path("CFG3.BLC").c_str(), GENERIC_WRITE, FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    MessageBoxWatcher boxes;
    EXPECT_EQ(loadStepSettings(3, slot), 0);
    CloseHandle(held);
    ASSERT_TRUE(boxes.waitFor(1));
    EXPECT_EQ(boxes.seen()[0].text, path("CFG3.BLC") + "\nOpen Power policy file error!\n\nLoad default setting error!");
    EXPECT_EQ(fileBytes(path("CFG3.BLC")), mine);
}

// Saving what the file already holds leaves the file alone (a step switch saves the step it leaves).
TEST_F(StepFiles, SavingUnchangedSettingsDoesNotRewriteTheFile) {
    writeFile(path("CFG2.BLC"), sampleFile(156));
    ASSERT_EQ(loadStepSettings(2, slot), 1);
    ASSERT_EQ(saveStepSettings(2, slot), 1); // the load's adjustment changes a few bytes: written once
    HANDLE file = CreateFileA(path("CFG2.BLC").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME old = {0x256D4000, 0x01BF53EB}; // 2000-01-01
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &old));
    CloseHandle(file);
    WIN32_FILE_ATTRIBUTE_DATA set;
    ASSERT_TRUE(GetFileAttributesExA(path("CFG2.BLC").c_str(), GetFileExInfoStandard, &set));
    ASSERT_EQ(CompareFileTime(&set.ftLastWriteTime, &old), 0) << "the test could not date the file";
    ASSERT_EQ(saveStepSettings(2, slot), 1);
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(path("CFG2.BLC").c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(CompareFileTime(&data.ftLastWriteTime, &old), 0) << "the unchanged file was written again";
    slot.panelLevel ^= 1;
    ASSERT_EQ(saveStepSettings(2, slot), 1);
    EXPECT_EQ(fileBytes(path("CFG2.BLC"))[144], uint8_t(slot.panelLevel));
}
