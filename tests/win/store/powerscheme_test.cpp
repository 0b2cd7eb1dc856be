// The program's own power scheme: found, written, activated and given back.
#include "harness/programfixture.h"

#include "engine/startup.h"
#include "machine/powercfg_keys.h"
#include "sim/simstate.h"
#include "store/powerscheme.h"

namespace {

const char *kProgramKey = "Software\\KELVANE";
std::string programValue(const char *name) { return regText(HKEY_CURRENT_USER, kProgramKey, name); }
std::string schemeName(int index) {
    char path[64];
    snprintf(path, sizeof path, kSchemeKeyFormat, index);
    return regText(HKEY_CURRENT_USER, path, "Name");
}
void nameScheme(int index, const char *name) {
    char path[64];
    snprintf(path, sizeof path, kSchemeKeyFormat, index);
    setRegText(HKEY_CURRENT_USER, path, "Name", name);
}

// Runs the start-up with the notebook as arranged, answering its messages; returns its result.
class Provisioning : public ::testing::Test {
  protected:
    void SetUp() override {
        resetNotebook();
        resetAppState();
        UINT active;
        machine::GetActivePwrScheme(&active); // the Windows schemes exist before the program starts
        machine::SetActivePwrScheme(2, nullptr, nullptr);
        copyStepDefaults();
    }
  public:
    int start(int startedByRunEntry = 0) {
        resetAppState();
        clearLog();
        MessageBoxWatcher boxes;
        int result = probeCapabilities(0, startedByRunEntry);
        seen = boxes.seen();
        return result;
    }
    std::vector<SeenMessage> seen;
};

TEST_F(Provisioning, NewSchemeIsCreatedAndItsIndexKept) {
    ASSERT_EQ(start(), 1);
    EXPECT_EQ(app.ownScheme, 6u);
    EXPECT_EQ(schemeName(6), "Kelvane");
    EXPECT_EQ(regText(HKEY_CURRENT_USER, "Control Panel\\PowerCfg\\PowerPolicies\\6", "Description"),
              "Kelvane PowerScheme");
    EXPECT_EQ(programValue("Power_Scheme_No"), "6");
    EXPECT_TRUE(logContains("WRITE 6"));
    EXPECT_TRUE(logContains("ACTIVATE 6"));
    // On XP the new scheme takes Windows scheme 3's processor policy and automatic performance is on.
    EXPECT_EQ(programValue("AUTOPERFORMANCE"), "1");
    MACHINE_PROCESSOR_POWER_POLICY own, three;
    ASSERT_TRUE(machine::ReadProcessorPwrScheme(6, &own));
    ASSERT_TRUE(machine::ReadProcessorPwrScheme(3, &three));
    EXPECT_EQ(memcmp(&own, &three, sizeof own), 0);
    EXPECT_EQ(app.userScheme, 2u);
}

TEST_F(Provisioning, KnownIndexIsWrittenAgainWithoutSearch) {
    setRegText(HKEY_CURRENT_USER, kProgramKey, "Power_Scheme_No", "9");
    nameScheme(4, "Kelvane"); // would be found by a search
    ASSERT_EQ(start(), 1);
    EXPECT_EQ(app.ownScheme, 9u);
    EXPECT_EQ(schemeName(9), "Kelvane");
    EXPECT_TRUE(logContains("WRITE 9"));
    EXPECT_TRUE(logContains("ACTIVATE 9"));
    EXPECT_EQ(programValue("Power_Scheme_No"), "9");
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kPowerCfgMachineKey, "LastID"), "5");
}

// Windows keeps "LastID" with its terminator; four digits and the index read back must both fit.
TEST_F(Provisioning, FourDigitIndicesReadBackAcrossStarts) {
    setRegTextTerminated(HKEY_LOCAL_MACHINE, kPowerCfgMachineKey, "LastID", "1000");
    ASSERT_EQ(start(), 1) << (seen.empty() ? "" : seen[0].text);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(app.ownScheme, 1001u);
    EXPECT_EQ(programValue("Power_Scheme_No"), "1001");
    restoreUserScheme(); // Exit's hand-back deletes the scheme

    ASSERT_EQ(start(), 1);
    EXPECT_EQ(app.ownScheme, 1001u) << "the known index, not a new scheme";
    EXPECT_TRUE(logContains("WRITE 1001"));
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kPowerCfgMachineKey, "LastID"), "1001");
}

// The registry keeps an identical rewrite without a trace, so the stored index carries a second zero
// after its terminator: a rewrite would drop it.
TEST_F(Provisioning, StoredIndexWithTheSameTextIsNotRewritten) {
    const std::string held("9\0\0", 3);
    setRegBytes(HKEY_CURRENT_USER, kProgramKey, "Power_Scheme_No", REG_SZ, held);
    ASSERT_EQ(start(), 1);
    EXPECT_TRUE(logContains("WRITE 9"));
    EXPECT_EQ(regBytes(HKEY_CURRENT_USER, kProgramKey, "Power_Scheme_No"), held);
}

TEST_F(Provisioning, SchemeFoundByNameIsActivatedAsItIs) {
    nameScheme(4, "Kelvane");
    ASSERT_EQ(start(), 1);
    EXPECT_EQ(app.ownScheme, 4u);
    EXPECT_EQ(programValue("Power_Scheme_No"), "4");
    EXPECT_FALSE(logContains("WRITE 4"));
    EXPECT_TRUE(logContains("ACTIVATE 4"));
}

TEST_F(Provisioning, SchemeFoundAtIndexZeroIsSearchedAgainNextTime) {
    nameScheme(0, "Kelvane");
    ASSERT_EQ(start(), 1);
    EXPECT_EQ(app.ownScheme, 0u);
    EXPECT_EQ(programValue("Power_Scheme_No"), "0");
    for (const std::string &line : logLines())
        EXPECT_TRUE(line.compare(0, 5, "WRITE") != 0 && line.compare(0, 8, "THROTTLE") != 0) << line;
    EXPECT_TRUE(logContains("ACTIVATE 0"));
}

TEST_F(Provisioning, NameDifferingInCaseDoesNotMatch) {
    nameScheme(3, "kelvane");
    ASSERT_EQ(start(), 1);
    EXPECT_EQ(app.ownScheme, 6u);
    EXPECT_EQ(schemeName(3), "kelvane");
}

TEST_F(Provisioning, NegativeLastIdSearchesNothing) {
    setRegText(HKEY_LOCAL_MACHINE, kPowerCfgMachineKey, "LastID", "-1");
    nameScheme(1, "Kelvane");
    ASSERT_EQ(start(), 1) << (seen.empty() ? "" : seen.back().text);
    EXPECT_NE(app.ownScheme, 1u);
    EXPECT_TRUE(logContains("WRITE " + std::to_string(app.ownScheme)));
}

TEST_F(Provisioning, CorruptLastIdCostsALookAtEachSchemeThereNotOnePerIndexUpToIt) {
    setRegText(HKEY_LOCAL_MACHINE, kPowerCfgMachineKey, "LastID", "2147483647");
    std::string p = regBytes(HKEY_CURRENT_USER, "Control Panel\\PowerCfg\\PowerPolicies\\2", "Policies");
    setRegBytes(HKEY_CURRENT_USER, "Control Panel\\PowerCfg\\PowerPolicies\\2000000000", "Policies", REG_BINARY, p);
    nameScheme(2000000000, "Kelvane");
    auto run = [](void *self) WINAPI -> DWORD { return static_cast<Provisioning *>(self)->start(); };
    HANDLE search = CreateThread(nullptr, 0, run, this, 0, nullptr);
    if (WaitForSingleObject(search, 60000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "the search still runs after a minute";
        TerminateProcess(GetCurrentProcess(), 1);
    }
    CloseHandle(search);
    EXPECT_EQ(app.ownScheme, 2000000000u);
}

TEST_F(Provisioning, MissingLastIdEndsStartUpWithItsMessage) {
    deleteRegTree(HKEY_LOCAL_MACHINE, kPowerCfgMachineKey);
    EXPECT_EQ(start(), 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "Open PowerPolicy last ID Registry Error");
    setRegText(HKEY_LOCAL_MACHINE, kPowerCfgMachineKey, "Other", "1");
    EXPECT_EQ(start(), 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "Read PowerPolicy last ID registry Error");
    EXPECT_STREQ(iconName(seen[0].icon), "error");
}

TEST_F(Provisioning, RestrictedUserIsToldAndTheSchemeCleanedUp) {
    setSimValue("ActivationRefused", 1);
    EXPECT_EQ(start(), 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, "A restricted user can not use this program.\n\nPlease make sure you are not a "
                            "restricted user.\nYou need restart this program.");
    EXPECT_STREQ(iconName(seen[0].icon), "error");
    EXPECT_EQ(programValue("Power_Scheme_No"), "0");
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, "Control Panel\\PowerCfg\\PowerPolicies\\6"));
    UINT active;
    machine::GetActivePwrScheme(&active);
    EXPECT_EQ(active, 2u) << "the user's scheme stays";
}

TEST_F(Provisioning, LogOnStartFollowsTheAutoStartUpSetting) {
    ASSERT_EQ(start(1), 1);
    EXPECT_EQ(programValue("AUTOSTARTUP"), "1");
    EXPECT_EQ(app.autoStartUp, 1u);

    setRegText(HKEY_CURRENT_USER, kProgramKey, "AUTOSTARTUP", "0");
    machine::SetActivePwrScheme(2, nullptr, nullptr); // the user's choice since the last run
    EXPECT_EQ(start(1), 0);
    EXPECT_TRUE(seen.empty());
    EXPECT_TRUE(logContains("ACTIVATE 6"));
    EXPECT_TRUE(logContains("ACTIVATE 2")) << "the user's scheme back";
    EXPECT_TRUE(logContains("DELETE 6"));

    // An ordinary start runs whatever the setting.
    EXPECT_EQ(start(0), 1);
}

TEST_F(Provisioning, FailedSchemeWriteEndsSilently) {
    setSimValue("WriteSchemeFails", 1);
    EXPECT_EQ(start(), 0);
    EXPECT_TRUE(seen.empty()) << "ends silently";
    EXPECT_FALSE(logContains("ACTIVATE 6"));
}

TEST_F(Provisioning, GivingTheSchemeBackPicksSchemeZeroWhenTheUsersWasTheProgramsOwn) {
    ASSERT_EQ(start(), 1);
    clearLog();
    app.userScheme = app.ownScheme;
    restoreUserScheme();
    EXPECT_EQ(logLines(), (std::vector<std::string>{"ACTIVATE 0", "DELETE 6"}));
}

} // namespace
