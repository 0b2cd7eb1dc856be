// Where Windows XP keeps its power schemes in the registry (read directly by the program too).
#pragma once

// HKEY_LOCAL_MACHINE: "LastID", the highest scheme index in use, and the processor policies.
constexpr const char *kPowerCfgMachineKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Controls Folder\\PowerCfg";
constexpr const char *kProcessorPolicyKeyFormat =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Controls Folder\\PowerCfg\\ProcessorPolicies\\%u";

// HKEY_CURRENT_USER: the active scheme, the global policy and one key per scheme.
constexpr const char *kPowerCfgUserKey = "Control Panel\\PowerCfg";
constexpr const char *kGlobalPolicyKey = "Control Panel\\PowerCfg\\GlobalPowerPolicy";
constexpr const char *kSchemeListKey = "Control Panel\\PowerCfg\\PowerPolicies";
constexpr const char *kSchemeKeyFormat = "Control Panel\\PowerCfg\\PowerPolicies\\%d";
