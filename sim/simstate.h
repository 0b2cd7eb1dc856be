// State and event log of the simulated notebook, kept in the registry so every process shares it.
#pragma once
#include <windows.h>

// HKEY_CURRENT_USER key holding the simulated notebook's state.
constexpr const char *kSimKey = "Software\\KelvaneSim";

// A REG_DWORD state value, or `fallback` when it is missing.
DWORD simValue(const char *name, DWORD fallback);
void setSimValue(const char *name, DWORD value);

// A REG_SZ state value into buf (always terminated); false when missing or too long.
bool simText(const char *name, char *buf, DWORD size);
void setSimText(const char *name, const char *text);

// A REG_MULTI_SZ state value into buf as terminated texts ending in an empty one (an empty list when
// missing, of another type, or too long).
void simList(const char *name, char *buf, DWORD size);
// Whether the list `name` holds `item` (compared without case).
bool simListHolds(const char *name, const char *item);

// Appends one line to the event log named by "Log" (nothing when no log is set), in the file
// for every reader when the call returns.
void simLog(const char *format, ...);

// Lays out the Windows XP power-scheme store when the user's "Control Panel\PowerCfg" key is missing.
void simSeedPowerStore();
