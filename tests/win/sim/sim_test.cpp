// The simulated notebook keeps its contract: state in the registry, the XP scheme store, the event log.
#include "harness/notebook.h"
#include "machine/machine.h"
#include "machine/powercfg_keys.h"
#include "sim/simstate.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class SimulatedNotebook : public ::testing::Test {
  protected:
    void SetUp() override { resetNotebook(); }
};

std::wstring wide(const char *text) {
    std::wstring w;
    while (*text)
        w += wchar_t(*text++);
    return w;
}

} // namespace

TEST_F(SimulatedNotebook, SeedsTheXpSchemeStoreOnFirstUse) {
    UINT active = 99;
    ASSERT_TRUE(machine::GetActivePwrScheme(&active));
    EXPECT_EQ(active, 0u);
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kPowerCfgMachineKey, "LastID"), "5");
    EXPECT_EQ(regText(HKEY_CURRENT_USER, "Control Panel\\PowerCfg\\PowerPolicies\\3", "Name"), "Always On");
    GLOBAL_POWER_POLICY global;
    POWER_POLICY policy;
    EXPECT_TRUE(machine::GetCurrentPowerPolicies(&global, &policy));
    EXPECT_EQ(policy.user.Revision, 1u);
    MACHINE_PROCESSOR_POWER_POLICY processor;
    EXPECT_TRUE(machine::ReadProcessorPwrScheme(5, &processor));
    EXPECT_FALSE(machine::ReadProcessorPwrScheme(6, &processor));
}

TEST_F(SimulatedNotebook, NewSchemeRaisesLastIdAndIsFoundByName) {
    POWER_POLICY policy = {};
    policy.user.VideoTimeoutAc = 321;
    std::wstring name = wide("Kelvane"), description = wide("Kelvane PowerScheme");
    UINT scheme = 0xFFFFFFFF;
    ASSERT_TRUE(machine::WritePwrScheme(&scheme, name.c_str(), description.c_str(), &policy));
    EXPECT_EQ(scheme, 6u);
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kPowerCfgMachineKey, "LastID"), "6");
    EXPECT_EQ(regText(HKEY_CURRENT_USER, "Control Panel\\PowerCfg\\PowerPolicies\\6", "Name"), "Kelvane");
    EXPECT_EQ(regText(HKEY_CURRENT_USER, "Control Panel\\PowerCfg\\PowerPolicies\\6", "Description"),
              "Kelvane PowerScheme");

    // Writing an existing index replaces it; LastID stays.
    policy.user.VideoTimeoutAc = 654;
    ASSERT_TRUE(machine::WritePwrScheme(&scheme, name.c_str(), description.c_str(), &policy));
    EXPECT_EQ(scheme, 6u);
    EXPECT_EQ(regText(HKEY_LOCAL_MACHINE, kPowerCfgMachineKey, "LastID"), "6");
    POWER_POLICY back = {};
    ASSERT_TRUE(machine::ReadPwrScheme(6, &back));
    EXPECT_EQ(back.user.VideoTimeoutAc, 654u);

    EXPECT_EQ(logLines(), (std::vector<std::string>{"WRITE 6", "WRITE 6"}));
}

TEST_F(SimulatedNotebook, ActivationMergesPolicyAndCanBeRefused) {
    POWER_POLICY policy = {};
    policy.user.IdleTimeoutDc = 777;
    ASSERT_TRUE(machine::SetActivePwrScheme(2, nullptr, &policy));
    UINT active = 0;
    machine::GetActivePwrScheme(&active);
    EXPECT_EQ(active, 2u);
    POWER_POLICY current = {};
    machine::GetCurrentPowerPolicies(nullptr, &current);
    EXPECT_EQ(current.user.IdleTimeoutDc, 777u);

    EXPECT_FALSE(machine::SetActivePwrScheme(42, nullptr, nullptr)) << "no such scheme";
    setSimValue("ActivationRefused", 1);
    EXPECT_FALSE(machine::SetActivePwrScheme(1, nullptr, nullptr));
    machine::GetActivePwrScheme(&active);
    EXPECT_EQ(active, 2u);
    EXPECT_EQ(logLines(), (std::vector<std::string>{"ACTIVATE 2"}));
}

TEST_F(SimulatedNotebook, DeleteRemovesTheSchemeKeys) {
    ASSERT_TRUE(machine::DeletePwrScheme(4));
    EXPECT_FALSE(regKeyExists(HKEY_CURRENT_USER, "Control Panel\\PowerCfg\\PowerPolicies\\4"));
    POWER_POLICY policy;
    EXPECT_FALSE(machine::ReadPwrScheme(4, &policy));
    EXPECT_FALSE(machine::DeletePwrScheme(4));
    setSimValue("WriteSchemeFails", 1);
    UINT scheme = 4;
    EXPECT_FALSE(machine::WritePwrScheme(&scheme, L"x", L"y", &policy));
    EXPECT_EQ(logLines(), (std::vector<std::string>{"DELETE 4"}));
}

TEST_F(SimulatedNotebook, FirmwareAnswersFromItsStateAndLogsEveryCall) {
    DWORD out = 0;
    EXPECT_TRUE(machine::None_Method(0x4E554653, &out)); // SFUN
    EXPECT_EQ(out, 0x240u);
    EXPECT_TRUE(machine::One_Method(0x444F4D51, 0, &out)); // QMOD query
    EXPECT_EQ(out, 1u);
    EXPECT_TRUE(machine::One_Method(0x51524647, 2, &out)); // GFRQ 2
    EXPECT_EQ(out, 1600u);
    setSimValue("ClockMhz0", 0);
    EXPECT_FALSE(machine::One_Method(0x51524647, 0, &out));
    EXPECT_TRUE(machine::One_Method(0x564C5053, 9, &out)); // SPLV 9
    EXPECT_TRUE(machine::None_Method(0x564C5047, &out));   // GPLV
    EXPECT_EQ(out, 9u);
    setSimValue("SfunFails", 1);
    EXPECT_FALSE(machine::None_Method(0x4E554653, &out));
    EXPECT_EQ(logLines(), (std::vector<std::string>{"SFUN", "QMOD 0", "GFRQ 2", "GFRQ 0", "SPLV 9", "GPLV", "SFUN"}));
}

TEST_F(SimulatedNotebook, DisplayModesScreenSaverKeysAndShutdown) {
    DEVMODEA mode = {};
    ASSERT_TRUE(machine::EnumDisplaySettingsA(ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_EQ(mode.dmPelsWidth, 1024u);
    ASSERT_TRUE(machine::EnumDisplaySettingsA(3, &mode));
    EXPECT_EQ(mode.dmBitsPerPel, 16u);
    EXPECT_FALSE(machine::EnumDisplaySettingsA(4, &mode));
    ASSERT_TRUE(machine::EnumDisplaySettingsA(1, &mode));
    EXPECT_EQ(machine::ChangeDisplaySettingsA(&mode, CDS_UPDATEREGISTRY), DISP_CHANGE_SUCCESSFUL);
    ASSERT_TRUE(machine::EnumDisplaySettingsA(ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_EQ(mode.dmPelsWidth, 800u);
    mode.dmPelsWidth = 640;
    EXPECT_EQ(machine::ChangeDisplaySettingsA(&mode, CDS_UPDATEREGISTRY), DISP_CHANGE_BADMODE);

    BOOL flag = FALSE;
    machine::SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &flag, 0);
    EXPECT_TRUE(flag);
    machine::SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, 0, nullptr, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
    machine::SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &flag, 0);
    EXPECT_FALSE(flag);
    setSimValue("ScreenSaverRunning", 1);
    machine::keybd_event(VK_SHIFT, 0, KEYEVENTF_EXTENDEDKEY, 0);
    machine::keybd_event(VK_SHIFT, 0, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
    EXPECT_EQ(simValue("ScreenSaverRunning", 1), 0u);
    machine::ShutDown(EWX_POWEROFF);
    machine::SetSuspendState(TRUE, FALSE, FALSE);
    EXPECT_EQ(logLines(), (std::vector<std::string>{"DISPLAY 800x600x32", "DISPLAY REFUSED 640x600x32",
                                                    "SCREENSAVER 0", "KEY SHIFT DOWN", "KEY SHIFT UP", "SHUTDOWN 8",
                                                    "SUSPEND 1"}));
}

TEST_F(SimulatedNotebook, PowerSourceAndCapabilitiesFollowTheState) {
    SYSTEM_POWER_STATUS status;
    machine::GetSystemPowerStatus(&status);
    EXPECT_EQ(status.ACLineStatus, 1);
    setSimValue("ACLineStatus", 0);
    setSimValue("HibernateAllowed", 0);
    setSimValue("ProcessorThrottle", 0);
    machine::GetSystemPowerStatus(&status);
    EXPECT_EQ(status.ACLineStatus, 0);
    EXPECT_TRUE(machine::IsPwrSuspendAllowed());
    EXPECT_FALSE(machine::IsPwrHibernateAllowed());
    SYSTEM_POWER_CAPABILITIES caps;
    machine::GetPwrCapabilities(&caps);
    EXPECT_FALSE(caps.ProcessorThrottle);
    setSimValue("AoAc", 1);
    machine::GetPwrCapabilities(&caps);
    EXPECT_TRUE(machine::aoAc(caps));
}

TEST_F(SimulatedNotebook, ProcessorPolicyWriteIsLogged) {
    MACHINE_PROCESSOR_POWER_POLICY processor;
    ASSERT_TRUE(machine::ReadProcessorPwrScheme(3, &processor));
    processor.ProcessorPolicyAc.DynamicThrottle = 2;
    processor.ProcessorPolicyDc.DynamicThrottle = 3;
    ASSERT_TRUE(machine::WriteProcessorPwrScheme(7, &processor));
    MACHINE_PROCESSOR_POWER_POLICY back;
    ASSERT_TRUE(machine::ReadProcessorPwrScheme(7, &back));
    EXPECT_EQ(back.ProcessorPolicyDc.DynamicThrottle, 3);
    EXPECT_EQ(logLines(), (std::vector<std::string>{"THROTTLE 7 2 3"}));
    setSimValue("ReadProcessorFails", 1);
    EXPECT_FALSE(machine::ReadProcessorPwrScheme(7, &back));
}

// The harness's text helpers store what they promise: the system counts a zero that follows the data
// into a text value, so a helper that means no terminator must not leave one there.
TEST(RegistryHelpers, StoreTextWithAndWithoutItsTerminator) {
    const char *key = "Software\\KelvaneSim\\Helpers";
    setRegText(HKEY_CURRENT_USER, key, "Bare", "100");
    EXPECT_EQ(regBytes(HKEY_CURRENT_USER, key, "Bare"), "100");
    setRegTextTerminated(HKEY_CURRENT_USER, key, "Terminated", "1000");
    EXPECT_EQ(regBytes(HKEY_CURRENT_USER, key, "Terminated"), std::string("1000\0", 5));
    deleteRegTree(HKEY_CURRENT_USER, key);
}
