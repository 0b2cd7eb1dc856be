// The simulated notebook's GUID power schemes: present from Windows Vista on, absent before.
#include "harness/notebook.h"
#include "harness/platform.h"
#include "machine/machine.h"
#include "machine/powerguids.h"
#include "sim/simstate.h"

#include <gtest/gtest.h>

namespace {

bool reportsNtSix() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 6;
}

std::string text(const GUID &guid) {
    char out[kGuidTextSize];
    formatGuid(guid, out);
    return out;
}

DWORD ac(const GUID &scheme, const GUID &subgroup, const GUID &setting) {
    DWORD value = 0xDEAD;
    EXPECT_EQ(machine::PowerReadACValueIndex(nullptr, &scheme, &subgroup, &setting, &value), DWORD(ERROR_SUCCESS));
    return value;
}

std::wstring friendlyName(const GUID &scheme) {
    DWORD size = 0;
    if (machine::PowerReadFriendlyName(nullptr, &scheme, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        return L"<unreadable>";
    std::wstring name(size / sizeof(wchar_t), L'\0');
    if (machine::PowerReadFriendlyName(nullptr, &scheme, nullptr, nullptr, (UCHAR *)name.data(), &size) !=
        ERROR_SUCCESS)
        return L"<unreadable>";
    name.resize(wcslen(name.c_str()));
    return name;
}

// Runs in the copy of this program that reports Windows 10 (GuidSchemePlatforms below).
class GuidSchemes : public ::testing::Test {
  protected:
    void SetUp() override {
        char path[MAX_PATH];
        std::string self(path, GetModuleFileNameA(nullptr, path, sizeof path));
        if (self.find("_win10.exe") == std::string::npos)
            GTEST_SKIP() << "runs in the copy named for win10";
        ASSERT_TRUE(reportsNtSix()) << self;
        resetNotebook();
    }
};

} // namespace

TEST(GuidSchemePlatforms, AbsentOnXpAndTheXpStoreIsLeftAlone) {
    resetNotebook();
    GUID *active = nullptr;
    EXPECT_EQ(machine::PowerGetActiveScheme(nullptr, &active), DWORD(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, "Software\\KelvaneSim\\PowerSchemes"));
    UINT index = 99;
    EXPECT_TRUE(machine::GetActivePwrScheme(&index));
}

TEST(GuidSchemePlatforms, PresentOnWindows10) { EXPECT_EQ(runOnPlatform("win10", "GuidSchemes.*"), 0); }

TEST_F(GuidSchemes, SeedsThreeSchemesWithBalancedActive) {
    GUID *active = nullptr;
    ASSERT_EQ(machine::PowerGetActiveScheme(nullptr, &active), DWORD(ERROR_SUCCESS));
    EXPECT_TRUE(IsEqualGUID(*active, kSchemeBalanced));
    LocalFree(active);
    EXPECT_EQ(regText(HKEY_CURRENT_USER, "Software\\KelvaneSim", "ActivePowerScheme"),
              "{381B4222-F694-41F0-9685-FF5BB260DF2E}");
    std::vector<std::string> listed;
    GUID scheme;
    DWORD size = sizeof scheme;
    for (ULONG i = 0; machine::PowerEnumerate(nullptr, nullptr, nullptr, kAccessScheme, i, (UCHAR *)&scheme, &size) ==
                      ERROR_SUCCESS;
         ++i, size = sizeof scheme)
        listed.push_back(text(scheme));
    EXPECT_EQ(listed.size(), 3u);
    EXPECT_EQ(friendlyName(kSchemePowerSaver), L"Power saver");
    EXPECT_EQ(ac(kSchemeBalanced, kSleepSubgroup, kStandbyTimeout), 1800u);
    DWORD dc = 0;
    EXPECT_EQ(machine::PowerReadDCValueIndex(nullptr, &kSchemePowerSaver, &kProcessorSubgroup,
                                             &kProcessorThrottleMaximum, &dc),
              DWORD(ERROR_SUCCESS));
    EXPECT_EQ(dc, 70u);
    EXPECT_TRUE(logLines().empty()) << "reading changes nothing";
}

// The life of the program's own scheme: duplicated, named, written, activated, handed back, deleted.
TEST_F(GuidSchemes, DuplicateNameWriteActivateDelete) {
    GUID *own = nullptr;
    ASSERT_EQ(machine::PowerDuplicateScheme(nullptr, &kSchemePowerSaver, &own), DWORD(ERROR_SUCCESS));
    std::string ownText = text(*own);
    EXPECT_EQ(ac(*own, kVideoSubgroup, kVideoPowerdownTimeout), 300u) << "settings copied";
    const wchar_t name[] = L"Kelvane";
    EXPECT_EQ(machine::PowerWriteFriendlyName(nullptr, own, nullptr, nullptr, (UCHAR *)name, sizeof name),
              DWORD(ERROR_SUCCESS));
    EXPECT_EQ(friendlyName(*own), L"Kelvane");
    EXPECT_EQ(friendlyName(kSchemePowerSaver), L"Power saver") << "the user's scheme keeps its name";
    EXPECT_EQ(machine::PowerWriteACValueIndex(nullptr, own, &kVideoSubgroup, &kVideoPowerdownTimeout, 60),
              DWORD(ERROR_SUCCESS));
    EXPECT_EQ(ac(*own, kVideoSubgroup, kVideoPowerdownTimeout), 60u);
    EXPECT_EQ(ac(kSchemePowerSaver, kVideoSubgroup, kVideoPowerdownTimeout), 300u);
    EXPECT_EQ(machine::PowerSetActiveScheme(nullptr, own), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(machine::PowerWriteACValueIndex(nullptr, own, &kVideoSubgroup, &kVideoPowerdownTimeout, 120),
              DWORD(ERROR_SUCCESS));
    EXPECT_EQ(inForce(kVideoSubgroup, kVideoPowerdownTimeout, true), 60) << "in force only at the next activation";
    EXPECT_EQ(machine::PowerDeleteScheme(nullptr, own), DWORD(ERROR_ACCESS_DENIED)) << "the active scheme stays";
    EXPECT_EQ(machine::PowerSetActiveScheme(nullptr, &kSchemePowerSaver), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(machine::PowerDeleteScheme(nullptr, own), DWORD(ERROR_SUCCESS));
    DWORD value = 0;
    EXPECT_EQ(machine::PowerReadACValueIndex(nullptr, own, &kVideoSubgroup, &kVideoPowerdownTimeout, &value),
              DWORD(ERROR_FILE_NOT_FOUND));
    const std::string saver = "{A1841308-3541-4FAB-BC81-F71556F20B4A}";
    EXPECT_EQ(logLines(), (std::vector<std::string>{
                              "GUID DUPLICATE " + saver + " " + ownText,
                              "GUID WRITE " + ownText + " {3C0BC021-C8A8-4E07-A973-6B14CBCB2B7E} AC 60",
                              "GUID ACTIVATE " + ownText,
                              "GUID WRITE " + ownText + " {3C0BC021-C8A8-4E07-A973-6B14CBCB2B7E} AC 120",
                              "GUID ACTIVATE " + saver,
                              "GUID DELETE " + ownText,
                          }));
    LocalFree(own);
}

TEST_F(GuidSchemes, RefusedAndMissingCallsFailWithoutALogLine) {
    setSimValue("ActivationRefused", 1);
    EXPECT_EQ(machine::PowerSetActiveScheme(nullptr, &kSchemePowerSaver), DWORD(ERROR_ACCESS_DENIED));
    const GUID missing = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    setSimValue("ActivationRefused", 0);
    EXPECT_EQ(machine::PowerSetActiveScheme(nullptr, &missing), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(machine::PowerWriteDCValueIndex(nullptr, &missing, &kDiskSubgroup, &kDiskPowerdownTimeout, 5),
              DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(machine::PowerWriteDCValueIndex(nullptr, &kSchemeBalanced, &kDiskSubgroup, &missing, 5),
              DWORD(ERROR_FILE_NOT_FOUND)) << "a setting the system does not define";
    setSimValue("WriteSchemeFails", 1);
    EXPECT_EQ(machine::PowerWriteDCValueIndex(nullptr, &kSchemeBalanced, &kDiskSubgroup, &kDiskPowerdownTimeout, 5),
              DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(machine::PowerDeleteScheme(nullptr, &missing), DWORD(ERROR_FILE_NOT_FOUND));
    GUID *copy = nullptr;
    setSimValue("DuplicateFails", 1);
    EXPECT_EQ(machine::PowerDuplicateScheme(nullptr, &kSchemePowerSaver, &copy), DWORD(ERROR_ACCESS_DENIED));
    setSimValue("DeleteFails", 1);
    EXPECT_EQ(machine::PowerDeleteScheme(nullptr, &kSchemePowerSaver), DWORD(ERROR_ACCESS_DENIED));
    const wchar_t name[] = L"Kelvane"; // its terminator left out of the size
    EXPECT_EQ(machine::PowerWriteFriendlyName(nullptr, &kSchemePowerSaver, nullptr, nullptr, (UCHAR *)name, 14),
              DWORD(ERROR_INVALID_PARAMETER));
    setSimText("ActivePowerScheme", "not a scheme");
    GUID *active = nullptr;
    EXPECT_EQ(machine::PowerGetActiveScheme(nullptr, &active), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(logLines().empty());
}

// Windows applies a scheme's brightness for the current source at every activation; a scheme without
// its own value has Balanced's, and a setting held by policy has the policy's.
TEST_F(GuidSchemes, ActivationSetsThePanelFromTheBrightnessInForce) {
    const std::string brightness = std::string("Software\\KelvaneSim\\PowerSchemes\\") + text(kSchemePowerSaver) +
                                   "\\" + text(kVideoSubgroup) + "\\" + text(kVideoBrightness);
    struct {
        DWORD source;
        bool missing, held;
        DWORD level;
    } cases[] = {{1, false, false, 11}, {0, false, false, 5}, // Power saver's 70 and 30 percent, rounded
                 {1, true, false, 15},  {0, true, false, 8},  // missing: Balanced's 100 and 50
                 {0, false, true, 3}};                        // the policy's 20 percent
    for (const auto &c : cases) {
        resetNotebook();
        setSimValue("ACLineStatus", c.source);
        EXPECT_EQ(ac(kSchemePowerSaver, kVideoSubgroup, kVideoBrightness), 70u);
        if (c.missing)
            deleteRegTree(HKEY_CURRENT_USER, brightness.c_str());
        if (c.held) {
            const char held[] = "{ADED5E82-B909-4619-9949-F5D71DAC0BCB}\0";
            setRegBytes(HKEY_CURRENT_USER, kSimKey, "PolicyHeld", REG_MULTI_SZ, std::string(held, sizeof held));
            setRegDword(HKEY_CURRENT_USER, "Software\\KelvaneSim\\Policy\\{ADED5E82-B909-4619-9949-F5D71DAC0BCB}",
                        "DCSettingIndex", 20);
        }
        EXPECT_EQ(machine::PowerSettingAccessCheck(kAccessAcValue, &kVideoBrightness),
                  DWORD(c.held ? ERROR_ACCESS_DISABLED_BY_POLICY : ERROR_SUCCESS));
        EXPECT_EQ(simValue("PanelLevel", 99), 99u) << "reading the store changes no panel";
        ASSERT_EQ(machine::PowerSetActiveScheme(nullptr, &kSchemePowerSaver), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(simValue("PanelLevel", 99), c.level) << c.source << c.missing << c.held;
    }
}

TEST_F(GuidSchemes, PowerModeCallsOnlyOnWindows11AndOnlyTheThreeModes) {
    GUID mode = kPowerModeBestPerformance;
    EXPECT_EQ(machine::PowerSetUserConfiguredACPowerMode(&mode), DWORD(ERROR_CALL_NOT_IMPLEMENTED));
    EXPECT_EQ(machine::PowerGetUserConfiguredDCPowerMode(&mode), DWORD(ERROR_CALL_NOT_IMPLEMENTED));
    setSimValue("PowerModeCalls", 1);
    ASSERT_EQ(machine::PowerGetUserConfiguredDCPowerMode(&mode), DWORD(ERROR_SUCCESS));
    EXPECT_TRUE(IsEqualGUID(mode, kPowerModeBalanced)) << "balanced when the user never chose";
    EXPECT_EQ(machine::PowerSetUserConfiguredDCPowerMode(&kPowerModeBestEfficiency), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(machine::PowerSetUserConfiguredACPowerMode(&kSchemeBalanced), DWORD(ERROR_INVALID_PARAMETER));
    setSimValue("PowerModeFails", 1);
    EXPECT_EQ(machine::PowerSetUserConfiguredACPowerMode(&kPowerModeBalanced), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(regText(HKEY_CURRENT_USER, kSimKey, "UserPowerModeDc"), "{961CC777-2547-4F9D-8174-7D86181B8A7A}");
    EXPECT_EQ(logLines(), std::vector<std::string>{"POWERMODE DC {961CC777-2547-4F9D-8174-7D86181B8A7A}"});
}

TEST_F(GuidSchemes, SessionsAsListedAndTheNotificationRefusedEarly) {
    const char sessions[] = "0\0" "70\0";
    setRegBytes(HKEY_CURRENT_USER, kSimKey, "Sessions", REG_MULTI_SZ, std::string(sessions, sizeof sessions));
    setSimValue("ConsoleSession", 70);
    WTS_SESSION_INFOA *info = nullptr;
    DWORD count = 0;
    ASSERT_TRUE(machine::WTSEnumerateSessionsA(&info, &count) && count == 2);
    EXPECT_TRUE(info[1].SessionId == 70 && info[1].State == WTSActive && info[0].State == WTSDisconnected);
    machine::WTSFreeMemory(info);
    setSimValue("SessionNotifyFailures", 1);
    EXPECT_FALSE(machine::WTSRegisterSessionNotification(nullptr, 0));
    EXPECT_EQ(GetLastError(), DWORD(RPC_S_INVALID_BINDING));
    EXPECT_TRUE(machine::WTSRegisterSessionNotification(nullptr, 0));
}

// As on Windows Vista and later: the index-based scheme calls fail and no XP store appears.
TEST_F(GuidSchemes, IndexSchemesAreGone) {
    UINT scheme = 0;
    POWER_POLICY policy = {};
    GLOBAL_POWER_POLICY global = {};
    MACHINE_PROCESSOR_POWER_POLICY processor = {};
    EXPECT_FALSE(machine::GetActivePwrScheme(&scheme));
    EXPECT_FALSE(machine::SetActivePwrScheme(0, nullptr, nullptr));
    EXPECT_FALSE(machine::ReadPwrScheme(0, &policy));
    scheme = 0xFFFFFFFFu;
    EXPECT_FALSE(machine::WritePwrScheme(&scheme, L"x", L"x", &policy));
    EXPECT_FALSE(machine::DeletePwrScheme(0));
    EXPECT_FALSE(machine::GetCurrentPowerPolicies(&global, &policy));
    EXPECT_FALSE(machine::ReadProcessorPwrScheme(0, &processor));
    EXPECT_FALSE(machine::WriteProcessorPwrScheme(0, &processor));
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, "Control Panel\\PowerCfg"));
    EXPECT_TRUE(logLines().empty());
}

TEST(GuidText, OursAreTheSdksAndFormatUpperCaseWithBracesAndParseEitherCase) {
    for (auto [ours, sdk] : {std::pair{&kSchemeBalanced, &GUID_TYPICAL_POWER_SAVINGS},
             {&kSchemePowerSaver, &GUID_MAX_POWER_SAVINGS}, {&kSchemeHighPerformance, &GUID_MIN_POWER_SAVINGS},
             {&kSleepSubgroup, &GUID_SLEEP_SUBGROUP}, {&kStandbyTimeout, &GUID_STANDBY_TIMEOUT},
             {&kHibernateTimeout, &GUID_HIBERNATE_TIMEOUT}, {&kVideoSubgroup, &GUID_VIDEO_SUBGROUP},
             {&kVideoPowerdownTimeout, &GUID_VIDEO_POWERDOWN_TIMEOUT}, {&kDiskSubgroup, &GUID_DISK_SUBGROUP},
             {&kDiskPowerdownTimeout, &GUID_DISK_POWERDOWN_TIMEOUT},
             {&kProcessorSubgroup, &GUID_PROCESSOR_SETTINGS_SUBGROUP},
             {&kProcessorThrottleMaximum, &GUID_PROCESSOR_THROTTLE_MAXIMUM},
             {&kProcessorThrottleMinimum, &GUID_PROCESSOR_THROTTLE_MINIMUM},
             {&kVideoBrightness, &GUID_DEVICE_POWER_POLICY_VIDEO_BRIGHTNESS}})
        EXPECT_EQ(text(*ours), text(*sdk));

    EXPECT_EQ(text(kProcessorThrottleMinimum), "{893DEE8E-2BEF-41E0-89C6-B55D0929964C}");
    GUID parsed;
    ASSERT_TRUE(parseGuid("{893dee8e-2bef-41e0-89c6-b55d0929964c}", &parsed));
    EXPECT_TRUE(IsEqualGUID(parsed, kProcessorThrottleMinimum));
    for (const char *bad : {"", "{893DEE8E-2BEF-41E0-89C6-B55D0929964C", "{893DEE8E-2BEF-41E0-89C6-B55D0929964C}x",
                            "{893DEE8E+2BEF-41E0-89C6-B55D0929964C}", "{893DEE8G-2BEF-41E0-89C6-B55D0929964C}"})
        EXPECT_FALSE(parseGuid(bad, &parsed)) << bad;
}
