// The tray program on Windows Vista and later: its own GUID scheme, duplicated from the user's and
// handed back at exit, and its files in the user's application-data folder.
#include "lumorafixture.h"
#include "core/stepfile.h"
#include "machine/powerguids.h"

#include <shlobj.h>

#include <cstring>

namespace {

constexpr const char *kSchemesKey = "Software\\KelvaneSim\\PowerSchemes";
const char kRestrictedUser[] = "A restricted user can not use this program.\n\nPlease make sure you are not a "
                               "restricted user.\nYou need restart this program.";

std::string text(const GUID &guid) {
    char out[kGuidTextSize];
    formatGuid(guid, out);
    return out;
}

std::string appDataFolder() {
    char path[MAX_PATH] = {};
    SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, path);
    return std::string(path) + "\\Kelvane\\";
}

std::string settingKey(const std::string &scheme, const GUID &subgroup, const GUID &setting) {
    return std::string(kSchemesKey) + "\\" + scheme + "\\" + text(subgroup) + "\\" + text(setting);
}

// A setting's value as the simulated notebook keeps it; -1 when missing.
long settingValue(const std::string &scheme, const GUID &subgroup, const GUID &setting, bool ac) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, settingKey(scheme, subgroup, setting).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return -1;
    DWORD value = 0, size = sizeof value, type = 0;
    LONG rc = RegQueryValueExA(key, ac ? "ACSettingIndex" : "DCSettingIndex", nullptr, &type, (BYTE *)&value, &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_DWORD ? long(value) : -1;
}

std::vector<std::string> schemeKeys() {
    std::vector<std::string> keys;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSchemesKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return keys;
    char name[64];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        keys.push_back(name);
    RegCloseKey(key);
    return keys;
}

std::vector<std::string> schemesNamed(const char *wanted) {
    std::vector<std::string> found;
    for (const std::string &scheme : schemeKeys())
        if (regText(HKEY_CURRENT_USER, (std::string(kSchemesKey) + "\\" + scheme).c_str(), "FriendlyName") == wanted)
            found.push_back(scheme);
    return found;
}

std::string activeScheme() { return regText(HKEY_CURRENT_USER, kSimKey, "ActivePowerScheme"); }

// Every value of every scheme but `except`, as text, to see that nothing of the user's was written.
std::string userSchemesDump(const std::string &except) {
    std::string dump;
    const GUID *settings[][2] = {{&kSleepSubgroup, &kStandbyTimeout},          {&kSleepSubgroup, &kHibernateTimeout},
                                 {&kVideoSubgroup, &kVideoPowerdownTimeout},   {&kDiskSubgroup, &kDiskPowerdownTimeout},
                                 {&kProcessorSubgroup, &kProcessorThrottleMaximum},
                                 {&kProcessorSubgroup, &kProcessorThrottleMinimum}};
    for (const std::string &scheme : schemeKeys()) {
        if (scheme == except)
            continue;
        dump += scheme;
        dump += ':';
        for (auto &s : settings) {
            dump += ' ';
            dump += std::to_string(settingValue(scheme, *s[0], *s[1], true));
            dump += '/';
            dump += std::to_string(settingValue(scheme, *s[0], *s[1], false));
        }
        dump += '\n';
    }
    return dump;
}

uint32_t policyDword(const std::vector<uint8_t> &file, size_t offset) {
    uint32_t value = 0;
    if (file.size() >= offset + 4)
        memcpy(&value, file.data() + offset, 4);
    return value;
}

// The program started under a name Wine reports as a later Windows.
class GuidSchemesTest : public LumoraTest {
  protected:
    void SetUp() override {
        LumoraTest::SetUp();
        clearAppData();
        for (const char *platform : {"win10", "win7"}) {
            std::string key = std::string("Software\\Wine\\AppDefaults\\Lumora_") + platform + ".exe";
            setRegTextTerminated(HKEY_CURRENT_USER, key.c_str(), "Version", platform);
        }
    }
    void TearDown() override {
        LumoraTest::TearDown();
        clearAppData();
    }

    static void clearAppData() {
        std::string dir = appDataFolder();
        for (unsigned step = 1; step <= 8; ++step)
            for (const char *ext : {".BLC", ".BL~"})
                DeleteFileA((dir + "CFG" + std::to_string(step) + ext).c_str());
        DeleteFileA((dir + "Lumora.ini").c_str());
        RemoveDirectoryA(dir.c_str());
    }

    // The step files as an earlier run leaves them, so no first-run notice comes up.
    static void earlierRunFiles() {
        std::string dir = appDataFolder();
        CreateDirectoryA(dir.c_str(), nullptr);
        for (unsigned step = 1; step <= 8; ++step) {
            std::string def = "CFG" + std::to_string(step) + ".DEF";
            CopyFileA((simProgramDir() + def).c_str(), (dir + "CFG" + std::to_string(step) + ".BLC").c_str(), FALSE);
        }
    }

    bool launch(const char *platform) {
        folder = std::make_unique<ProgramFolder>(simProgramDir(), false);
        exeName = std::string("Lumora_") + platform + ".exe";
        folder->copyIn(simProgramDir() + "Lumora.exe", exeName.c_str());
        return program.start(folder->path() + exeName);
    }
    void startOn(const char *platform) {
        ASSERT_TRUE(launch(platform));
        ASSERT_TRUE(program.waitReady()) << "the program did not come up";
    }
    void exitProgram() {
        program.command(kCmdExit);
        DWORD code = 1;
        ASSERT_TRUE(program.waitExit(15000, &code)) << "the program did not end";
    }
    // The single scheme named "Kelvane".
    static std::string ownGuidScheme() {
        std::vector<std::string> own = schemesNamed("Kelvane");
        EXPECT_EQ(own.size(), 1u);
        return own.empty() ? std::string() : own[0];
    }

    std::string exeName;
};

} // namespace

TEST_F(GuidSchemesTest, FirstStartDuplicatesTheActiveSchemeAndMakesTheFilesPerUser) {
    MessageBoxWatcher boxes("Kelvane", IDOK);
    startOn("win10");
    std::string own = ownGuidScheme();
    std::string balanced = text(kSchemeBalanced);
    EXPECT_TRUE(logContains("GUID DUPLICATE " + balanced + " " + own));
    EXPECT_EQ(regText(HKEY_CURRENT_USER, (std::string(kSchemesKey) + "\\" + own).c_str(), "Description"),
              "Kelvane PowerScheme");
    EXPECT_EQ(activeScheme(), own);
    EXPECT_EQ(ownScheme(), "1");
    // On mains in step 2: its display and disk times, for both sources.
    EXPECT_EQ(settingValue(own, kVideoSubgroup, kVideoPowerdownTimeout, true), 1200);
    EXPECT_EQ(settingValue(own, kVideoSubgroup, kVideoPowerdownTimeout, false), 600);
    EXPECT_EQ(settingValue(own, kDiskSubgroup, kDiskPowerdownTimeout, false), 1200);
    // No index-based call got through, and the user's scheme kept its values.
    EXPECT_EQ(countPrefixFrom(0, "WRITE "), 0u);
    EXPECT_EQ(countPrefixFrom(0, "ACTIVATE "), 0u);
    EXPECT_EQ(settingValue(balanced, kVideoSubgroup, kVideoPowerdownTimeout, true), 600);

    // The step files came from the defaults into the user's folder; nothing was written beside the program.
    std::string dir = appDataFolder();
    EXPECT_EQ(fileBytes(dir + "CFG2.BLC"), fileBytes(simProgramDir() + "CFG2.DEF"));
    ASSERT_FALSE(boxes.seen().empty());
    EXPECT_EQ(boxes.seen()[0].text, dir + "CFG2.BLC\nOpen Power policy file error!\n\nLoad default setting!");
    EXPECT_FALSE(fileExists(folder->path() + "CFG2.BLC"));
}

// Also a Modern Standby notebook (no S3) whose user's scheme has no settings of its own.
TEST_F(GuidSchemesTest, StepSwitchWritesBothSourcesOfTheOwnSchemeOnly) {
    earlierRunFiles();
    setSimValue("AoAc", 1);
    setSimValue("StandbyAllowed", 0);
    setRegTextTerminated(HKEY_CURRENT_USER, (std::string(kSchemesKey) + "\\" + text(kSchemeBalanced)).c_str(),
                         "FriendlyName", "Balanced");
    setRegTextTerminated(HKEY_CURRENT_USER, kSimKey, "ActivePowerScheme", text(kSchemeBalanced));
    startOn("win10");
    std::string own = ownGuidScheme();
    std::string before = userSchemesDump(own);
    size_t from = logSize();
    program.command(stepCommand(3));
    ASSERT_TRUE(waitLineFrom(from, "SPGS 3"));
    // All six settings and the brightness, for mains and battery.
    EXPECT_EQ(countPrefixFrom(from, "GUID WRITE " + own + " "), 14u);
    EXPECT_EQ(settingValue(own, kSleepSubgroup, kStandbyTimeout, true), 1800);
    EXPECT_EQ(settingValue(own, kSleepSubgroup, kStandbyTimeout, false), 900);
    EXPECT_EQ(settingValue(own, kSleepSubgroup, kHibernateTimeout, false), 4500) << "an hour after standby began";
    EXPECT_EQ(settingValue(own, kVideoSubgroup, kVideoPowerdownTimeout, true), 900);
    EXPECT_EQ(settingValue(own, kVideoSubgroup, kVideoPowerdownTimeout, false), 300);
    EXPECT_EQ(settingValue(own, kDiskSubgroup, kDiskPowerdownTimeout, true), 1800);
    EXPECT_EQ(settingValue(own, kDiskSubgroup, kDiskPowerdownTimeout, false), 600);
    EXPECT_EQ(inForce(kVideoSubgroup, kVideoPowerdownTimeout, true), 900) << "activated after the writes";
    EXPECT_EQ(inForce(kDiskSubgroup, kDiskPowerdownTimeout, false), 600);
    EXPECT_EQ(userSchemesDump(own), before);
}

// A setting changed in the own scheme from outside is kept in the step's file; one missing from the
// scheme reads, as on Windows, the system's default, and that is what is in force.
TEST_F(GuidSchemesTest, CaptureKeepsOutsideChangesAndTheFileForMissingSettings) {
    earlierRunFiles();
    startOn("win10");
    std::string own = ownGuidScheme();
    setRegDword(HKEY_CURRENT_USER, settingKey(own, kVideoSubgroup, kVideoPowerdownTimeout).c_str(), "ACSettingIndex",
                1234);
    deleteRegTree(HKEY_CURRENT_USER, settingKey(own, kDiskSubgroup, kDiskPowerdownTimeout).c_str());
    size_t from = logSize();
    program.command(stepCommand(3));
    ASSERT_TRUE(waitLineFrom(from, "SPGS 3"));
    std::vector<uint8_t> step2 = fileBytes(appDataFolder() + "CFG2.BLC");
    EXPECT_EQ(policyDword(step2, PolicyOffset::VideoTimeoutAc), 1234u);
    EXPECT_EQ(policyDword(step2, PolicyOffset::VideoTimeoutDc), 600u);
    EXPECT_EQ(policyDword(step2, PolicyOffset::SpindownTimeoutAc), 1200u);
    EXPECT_EQ(policyDword(step2, PolicyOffset::SpindownTimeoutDc), 600u);
}

// Windows 7: a scheme left active by a crash is taken again whatever the program's value says; exit hands
// back the recorded scheme (Power saver), else Balanced: for one not a GUID, of no scheme, or the own.
class HandBackRecord : public GuidSchemesTest, public ::testing::WithParamInterface<const char *> {};
const char kLeft[] = "{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}", kSaver[] = "{A1841308-3541-4FAB-BC81-F71556F20B4A}";
INSTANTIATE_TEST_SUITE_P(Each, HandBackRecord,
                         testing::Values(kSaver, "x", "{12345678-1234-1234-0102-030405060708}", kLeft));
TEST_P(HandBackRecord, CrashLeftSchemeIsReusedAndExitHandsBackTheRecordedScheme) {
    earlierRunFiles();
    const std::string left = kLeft;
    std::string leftKey = std::string(kSchemesKey) + "\\" + left;
    // Seeds the notebook's schemes first, then adds the one left behind, with its display setting only.
    setRegTextTerminated(HKEY_CURRENT_USER, (std::string(kSchemesKey) + "\\" + text(kSchemeBalanced)).c_str(),
                         "FriendlyName", "Balanced");
    setRegTextTerminated(HKEY_CURRENT_USER, (std::string(kSchemesKey) + "\\" + kSaver).c_str(), "FriendlyName", "P");
    setRegTextTerminated(HKEY_CURRENT_USER, leftKey.c_str(), "FriendlyName", "Kelvane");
    setRegDword(HKEY_CURRENT_USER, settingKey(left, kVideoSubgroup, kVideoPowerdownTimeout).c_str(), "ACSettingIndex",
                60);
    setRegTextTerminated(HKEY_CURRENT_USER, kSimKey, "ActivePowerScheme", left);
    setRegText(HKEY_CURRENT_USER, "Software\\KELVANE", "Power_Scheme_No", "7");
    setRegTextTerminated(HKEY_CURRENT_USER, "Software\\KELVANE", "HandBackScheme", GetParam());
    const std::string handedBack = GetParam() == kSaver ? kSaver : text(kSchemeBalanced);
    startOn("win7");
    EXPECT_EQ(countPrefixFrom(0, "GUID DUPLICATE "), 0u);
    EXPECT_EQ(ownGuidScheme(), left);
    EXPECT_EQ(activeScheme(), left);
    EXPECT_EQ(settingValue(left, kVideoSubgroup, kVideoPowerdownTimeout, true), 1200);
    EXPECT_EQ(settingValue(left, kDiskSubgroup, kDiskPowerdownTimeout, false), 1200) << "a setting it lacked";

    size_t from = logSize();
    exitProgram();
    long activated = findLine(from, "GUID ACTIVATE " + handedBack);
    long deleted = findLine(from, "GUID DELETE " + left);
    EXPECT_GE(activated, 0);
    EXPECT_GT(deleted, activated);
    EXPECT_EQ(activeScheme(), handedBack);
    EXPECT_TRUE(schemesNamed("Kelvane").empty());
}

TEST_F(GuidSchemesTest, ExitHandsBackTheSchemeActiveAtStart) {
    earlierRunFiles();
    // The user's own choice, found active at start.
    setRegTextTerminated(HKEY_CURRENT_USER, (std::string(kSchemesKey) + "\\" + text(kSchemeBalanced)).c_str(),
                         "FriendlyName", "Balanced");
    setRegTextTerminated(HKEY_CURRENT_USER, (std::string(kSchemesKey) + "\\" + text(kSchemePowerSaver)).c_str(),
                         "FriendlyName", "Power saver");
    setRegTextTerminated(HKEY_CURRENT_USER, kSimKey, "ActivePowerScheme", text(kSchemePowerSaver));
    startOn("win10");
    std::string own = ownGuidScheme();
    EXPECT_TRUE(logContains("GUID DUPLICATE " + text(kSchemePowerSaver) + " " + own));
    EXPECT_EQ(programValue("HandBackScheme"), text(kSchemePowerSaver)) << "recorded for a start after a crash";
    size_t from = logSize();
    exitProgram();
    long activated = findLine(from, "GUID ACTIVATE " + text(kSchemePowerSaver));
    EXPECT_GE(activated, 0);
    EXPECT_GT(findLine(from, "GUID DELETE " + own), activated);
    EXPECT_EQ(activeScheme(), text(kSchemePowerSaver));
    EXPECT_TRUE(schemesNamed("Kelvane").empty());
}

// Schemes outlive the session from Vista on: its end hands back as Exit does; a cancelled one changes nothing.
TEST_F(GuidSchemesTest, EndOfTheSessionHandsBackAndACancelledOneChangesNothing) {
    earlierRunFiles();
    for (auto [platform, ends] : {std::pair{"win10", TRUE}, {"win7", TRUE}, {"win10", FALSE}}) {
        startOn(platform);
        DWORD_PTR answer = 0;
        SendMessageTimeoutA(program.window(), WM_QUERYENDSESSION, 0, 0, SMTO_BLOCK, 15000, &answer);
        ASSERT_TRUE(SendMessageTimeoutA(program.window(), WM_ENDSESSION, ends, 0, SMTO_BLOCK, 15000, &answer));
        EXPECT_EQ(activeScheme() == text(kSchemeBalanced), bool(ends)) << ends;
        EXPECT_EQ(schemesNamed("Kelvane").size(), ends ? 0u : 1u) << ends;
        exitProgram();
    }
}

// Another session's program shares "Kelvane": exit leaves it, an unlock re-applies; once it is gone, exit hands back.
TEST_F(GuidSchemesTest, AnotherSessionsProgramKeepsTheSchemeUntilItIsGone) {
    earlierRunFiles();
    DWORD session = 0;
    ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
    // A session numbered past 63: sessions are listed, not counted.
    const std::string sessions = std::to_string(session) + '\0' + "70" + '\0' + '\0';
    setRegBytes(HKEY_CURRENT_USER, kSimKey, "Sessions", REG_MULTI_SZ, sessions);
    HANDLE held = CreateMutexA(nullptr, FALSE, "Global\\KelvaneScheme.70");
    startOn("win10");
    size_t from = logSize();
    program.post(WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, LPARAM(session));
    EXPECT_TRUE(waitLineFrom(from, "SPGS 2")) << "the step in force again";
    exitProgram();
    EXPECT_EQ(activeScheme(), ownGuidScheme());
    CloseHandle(held); // that program ends
    startOn("win7");
    exitProgram();
    EXPECT_EQ(activeScheme(), text(kSchemeBalanced));
    EXPECT_TRUE(schemesNamed("Kelvane").empty());
}

// Windows applies the scheme's brightness at every activation: the program's scheme carries the levels
// it sends, so the resume bounce leaves the panel at the step's level, a battery level of 0 or 15 too.
TEST_F(GuidSchemesTest, BrightnessInTheOwnSchemeKeepsThePanelThroughTheBounce) {
    for (uint8_t level : {0, 15, 7}) {
        resetNotebook();
        earlierRunFiles();
        std::vector<uint8_t> file = fileBytes(appDataFolder() + "CFG2.BLC");
        ASSERT_GE(file.size(), kFilePanelLevelOffset + 4);
        file[kFilePanelLevelOffset] = level;
        writeFile(appDataFolder() + "CFG2.BLC", file);
        onBattery();
        rememberSteps(2, 2, 2);
        startOn("win10");
        std::string own = ownGuidScheme();
        EXPECT_EQ(settingValue(own, kVideoSubgroup, kVideoBrightness, false), long(level * 100 / 15));
        EXPECT_EQ(settingValue(own, kVideoSubgroup, kVideoBrightness, true), 100) << "mains: acPanelLevel 15";
        size_t from = logSize();
        program.post(WM_POWERBROADCAST, 4, 0); // PBT_APMSUSPEND, on battery
        program.post(WM_POWERBROADCAST, 7, 0); // PBT_APMRESUMESUSPEND, on battery still
        ASSERT_TRUE(waitLineFrom(from, "GUID ACTIVATE " + text(kSchemeBalanced)));
        ASSERT_TRUE(waitUntil([&] { return findLine(from, "GUID ACTIVATE " + own) >= 0; }));
        EXPECT_EQ(simValue("PanelLevel", 99), level);
        exitProgram();
        EXPECT_EQ(simValue("PanelLevel", 99), 8u) << "the user's scheme brings the user's brightness back";
    }
}

// Windows 11: each source's power mode follows the step's processor settings (step 2: balanced on
// mains) and the user's goes back at exit; a recorded mode that is none of the three hands back
// balanced; failing calls change nothing; missing calls (Windows 10) are not called.
TEST_F(GuidSchemesTest, PowerModeFollowsTheStepAndTheUsersIsHandedBack) {
    const std::string best = "{DED574B5-45A0-4F42-8737-46345C09C238}", other = "{12345678-1234-1234-0102-030405060708}",
                      balanced = "{00000000-0000-0000-0000-000000000000}";
    struct Case {
        DWORD calls, fails;
        std::string user, recorded, handedBack;
    } cases[] = {{1, 0, best, best, best}, {1, 0, other, other, balanced}, {1, 1, best, "", ""}, {0, 0, best, "<missing>", ""}};
    for (const Case &c : cases) {
        resetNotebook();
        earlierRunFiles();
        setSimValue("PowerModeCalls", c.calls);
        setSimValue("PowerModeFails", c.fails);
        setRegTextTerminated(HKEY_CURRENT_USER, kSimKey, "UserPowerModeDc", c.user);
        startOn("win10");
        EXPECT_EQ(programValue("HandBackPowerModeDc"), c.recorded);
        EXPECT_EQ(logContains("POWERMODE AC " + balanced), c.calls && !c.fails) << c.calls << c.fails;
        EXPECT_EQ(programValue("PowerModeAc"), c.calls && !c.fails ? "balanced" : c.calls ? "" : "<missing>");
        size_t from = logSize();
        exitProgram();
        EXPECT_EQ(countPrefixFrom(from, "POWERMODE "), c.handedBack.empty() ? 0u : 2u);
        if (!c.handedBack.empty()) {
            EXPECT_GT(findLine(from, "POWERMODE DC " + c.handedBack),
                      findLine(from, "GUID ACTIVATE " + text(kSchemeBalanced)));
        }
    }
}

// Every one of the six settings held by policy: none is written, none read back into the step's file,
// and the program records them for kelvanectl's status.
TEST_F(GuidSchemesTest, SettingsHeldByPolicyAreNeitherWrittenNorReadBack) {
    earlierRunFiles();
    std::string held;
    for (const GUID *setting : {&kStandbyTimeout, &kHibernateTimeout, &kVideoPowerdownTimeout, &kDiskPowerdownTimeout,
                                &kProcessorThrottleMaximum, &kProcessorThrottleMinimum})
        held += text(*setting) + '\0';
    setRegBytes(HKEY_CURRENT_USER, kSimKey, "PolicyHeld", REG_MULTI_SZ, held + '\0');
    std::vector<uint8_t> before = fileBytes(appDataFolder() + "CFG2.BLC");
    startOn("win10");
    std::string own = ownGuidScheme();
    setRegDword(HKEY_CURRENT_USER, settingKey(own, kVideoSubgroup, kVideoPowerdownTimeout).c_str(), "ACSettingIndex",
                1234);
    size_t from = logSize();
    program.command(stepCommand(3));
    ASSERT_TRUE(waitLineFrom(from, "SPGS 3"));
    EXPECT_EQ(countPrefixFrom(0, "GUID WRITE " + own + " "),
              countPrefixFrom(0, "GUID WRITE " + own + " " + text(kVideoBrightness)))
        << "the brightness only, at each activation";
    std::vector<uint8_t> after = fileBytes(appDataFolder() + "CFG2.BLC");
    EXPECT_EQ(policyDword(after, PolicyOffset::VideoTimeoutAc), policyDword(before, PolicyOffset::VideoTimeoutAc));
    EXPECT_EQ(programValue("HeldByPolicy"), "standby time-out, hibernate time-out, display time-out, disk time-out, "
                                            "processor maximum, processor minimum");
}

// Early at log-on the session manager refuses the notification; the program asks again until it takes.
TEST_F(GuidSchemesTest, SessionNotificationRefusedAtFirstIsRegisteredLater) {
    earlierRunFiles();
    setSimValue("SessionNotifyFailures", 2);
    startOn("win10");
    EXPECT_TRUE(waitUntil([] { return simValue("SessionNotification", 0) == 1; }, 10000));
    EXPECT_EQ(simValue("SessionNotifyFailures", 9), 0u);
}

class RefusedStart : public GuidSchemesTest, public ::testing::WithParamInterface<const char *> {};
INSTANTIATE_TEST_SUITE_P(Each, RefusedStart, ::testing::Values("ActivationRefused", "DuplicateFails"));
TEST_P(RefusedStart, EndsStartUpWithTheUsersSchemeActive) {
    earlierRunFiles();
    setSimValue(GetParam(), 1);
    MessageBoxWatcher boxes("Kelvane", IDOK);
    ASSERT_TRUE(launch("win10"));
    DWORD code = 1;
    ASSERT_TRUE(program.waitExit(20000, &code)) << "start-up went on";
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].text, kRestrictedUser);
    EXPECT_EQ(activeScheme(), text(kSchemeBalanced));
    EXPECT_TRUE(schemesNamed("Kelvane").empty());
    EXPECT_EQ(ownScheme(), "0");
}

TEST_F(GuidSchemesTest, ApplicationDataFolderWindowsCannotGiveEndsStartUpNamingTheCause) {
    const char *folders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    std::string kept = regBytes(HKEY_CURRENT_USER, folders, "AppData");
    setRegTextTerminated(HKEY_CURRENT_USER, folders, "AppData", "Z:\\sys\\kernel\\no\\such");
    MessageBoxWatcher boxes("Kelvane", IDOK);
    DWORD code = 1;
    bool ended = launch("win10") && program.waitExit(20000, &code);
    setRegBytes(HKEY_CURRENT_USER, folders, "AppData", REG_EXPAND_SZ, kept);
    ASSERT_TRUE(ended && boxes.seen().size() == 1u);
    EXPECT_EQ(boxes.seen()[0].text.substr(0, 82),
              "Windows cannot give the application data folder for your file Lumora.ini (error 0x");
}

TEST_F(GuidSchemesTest, UnreadableActiveSchemeEndsStartUpChangingNothing) {
    earlierRunFiles();
    setRegTextTerminated(HKEY_CURRENT_USER, (std::string(kSchemesKey) + "\\" + text(kSchemeBalanced)).c_str(),
                         "FriendlyName", "Balanced");
    setRegTextTerminated(HKEY_CURRENT_USER, kSimKey, "ActivePowerScheme", "not a scheme");
    MessageBoxWatcher boxes("Kelvane", IDOK);
    ASSERT_TRUE(launch("win10"));
    DWORD code = 1;
    ASSERT_TRUE(program.waitExit(20000, &code)) << "start-up went on";
    ASSERT_EQ(boxes.seen().size(), 1u);
    EXPECT_EQ(boxes.seen()[0].text, "Read active power scheme Error.\n\nThe power schemes are left as they are.");
    EXPECT_EQ(countPrefixFrom(0, "GUID "), 0u);
    EXPECT_EQ(schemeKeys().size(), 1u);
}

// What Windows reads before the program runs: no elevation or virtualization, and every system from
// Vista to 11 named, so each reports its own version.
TEST(LumoraManifest, RunsAsInvokerAndNamesVistaToEleven) {
    HMODULE exe = LoadLibraryExA((realProgramDir() + "Lumora.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    HRSRC found = FindResourceA(exe, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)); // RT_MANIFEST
    ASSERT_NE(found, nullptr);
    std::string manifest(static_cast<const char *>(LockResource(LoadResource(exe, found))),
                         SizeofResource(exe, found));
    FreeLibrary(exe);
    for (const char *wanted : {"level=\"asInvoker\"", "Microsoft.Windows.Common-Controls",
                               "{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                               "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                               "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"})
        EXPECT_NE(manifest.find(wanted), std::string::npos) << wanted;
}

TEST_F(GuidSchemesTest, StartAtLogOnIsTheUsersOwnEntry) {
    deleteRunValue(HKEY_CURRENT_USER);
    deleteRunValue();
    earlierRunFiles();
    startOn("win10");
    program.command(kCmdAutoStartUp);
    EXPECT_TRUE(waitUntil([] { return programValue("AUTOSTARTUP") == "1"; }));
    // The installed program's name, whatever this copy is called.
    EXPECT_EQ(regText(HKEY_CURRENT_USER, kRunKey, "Kelvane"), "\"" + folder->path() + "Lumora.exe\" 1");
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kRunKey, "Kelvane"), "<missing>") << "a standard user cannot write it";
    deleteRunValue(HKEY_CURRENT_USER);
}

TEST_F(GuidSchemesTest, SettingsFolderThatCannotBeMadeEndsStartUpNamingTheFullPath) {
    // A file where the folder should be: the folder cannot be made, whoever the user is.
    std::string dir = appDataFolder();
    std::string blocker = dir.substr(0, dir.size() - 1);
    writeFile(blocker, {'x'});
    MessageBoxWatcher boxes("Kelvane", IDOK);
    ASSERT_TRUE(launch("win10"));
    DWORD code = 1;
    bool ended = program.waitExit(20000, &code);
    DeleteFileA(blocker.c_str());
    ASSERT_TRUE(ended) << "start-up went on";
    ASSERT_FALSE(boxes.seen().empty());
    EXPECT_EQ(boxes.seen()[0].text, dir + "CFG2.BLC\nOpen Power policy file error!\n\nLoad default setting error!");
    EXPECT_FALSE(fileExists(folder->path() + "CFG2.BLC")) << "nothing is written beside the program instead";
}
