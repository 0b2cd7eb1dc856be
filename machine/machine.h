// The seam to the notebook itself: every call that reads or changes the machine goes through here.
// machine/win32_machine.cpp makes the real calls; sim/ implements the simulated notebook.
#pragma once
#include <windows.h>
#include <wtsapi32.h>
#include "machine/powrprof_once.h"

namespace machine {

// Power source.
BOOL GetSystemPowerStatus(SYSTEM_POWER_STATUS *status);

// The power profile interface.
BOOLEAN GetActivePwrScheme(UINT *scheme);
BOOLEAN SetActivePwrScheme(UINT scheme, GLOBAL_POWER_POLICY *global, POWER_POLICY *policy);
BOOLEAN ReadPwrScheme(UINT scheme, POWER_POLICY *policy);
// name and description are ANSI text on the 9x family and UTF-16 text on NT, as the platform expects.
BOOLEAN WritePwrScheme(UINT *scheme, const void *name, const void *description, POWER_POLICY *policy);
BOOLEAN DeletePwrScheme(UINT scheme);
BOOLEAN GetCurrentPowerPolicies(GLOBAL_POWER_POLICY *global, POWER_POLICY *policy);
BOOLEAN ReadProcessorPwrScheme(UINT scheme, MACHINE_PROCESSOR_POWER_POLICY *policy);
BOOLEAN WriteProcessorPwrScheme(UINT scheme, MACHINE_PROCESSOR_POWER_POLICY *policy);
BOOLEAN GetPwrCapabilities(SYSTEM_POWER_CAPABILITIES *capabilities);
// Modern Standby: the SDK's AoAc, the third byte after FastSystemS4 (after Hiberboot and
// WakeAlarmPresent), which this compiler's headers still call spare2.
inline BYTE &aoAc(SYSTEM_POWER_CAPABILITIES &capabilities) { return capabilities.spare2[2]; }
BOOLEAN IsPwrSuspendAllowed();
BOOLEAN IsPwrHibernateAllowed();
// Takes the shutdown privilege first, as SetSuspendState documents it needs.
BOOLEAN SetSuspendState(BOOLEAN hibernate, BOOLEAN force, BOOLEAN wakeupEventsDisabled);

// The power profile interface of Windows Vista and later: schemes by GUID, in the shapes powrprof
// publishes (ERROR_SUCCESS or an error code). Earlier Windows lack them: ERROR_CALL_NOT_IMPLEMENTED.
// A GUID handed out by PowerGetActiveScheme or PowerDuplicateScheme (into a null pointer) is freed
// with LocalFree. `root` is null for the user's own schemes.
DWORD PowerGetActiveScheme(HKEY root, GUID **active);
DWORD PowerSetActiveScheme(HKEY root, const GUID *scheme);
DWORD PowerDuplicateScheme(HKEY root, const GUID *source, GUID **duplicate);
DWORD PowerDeleteScheme(HKEY root, const GUID *scheme);
// Schemes only (access kAccessScheme): the GUID at `index` into `buffer`; ERROR_NO_MORE_ITEMS past the last.
DWORD PowerEnumerate(HKEY root, const GUID *scheme, const GUID *subgroup, ULONG access, ULONG index, UCHAR *buffer,
                     DWORD *bufferSize);
// Names and descriptions are UTF-16 text with its terminator; sizes in bytes.
DWORD PowerReadFriendlyName(HKEY root, const GUID *scheme, const GUID *subgroup, const GUID *setting, UCHAR *buffer,
                            DWORD *bufferSize);
DWORD PowerWriteFriendlyName(HKEY root, const GUID *scheme, const GUID *subgroup, const GUID *setting,
                             UCHAR *buffer, DWORD bufferSize);
DWORD PowerWriteDescription(HKEY root, const GUID *scheme, const GUID *subgroup, const GUID *setting, UCHAR *buffer,
                            DWORD bufferSize);
DWORD PowerReadACValueIndex(HKEY root, const GUID *scheme, const GUID *subgroup, const GUID *setting, DWORD *value);
DWORD PowerReadDCValueIndex(HKEY root, const GUID *scheme, const GUID *subgroup, const GUID *setting, DWORD *value);
DWORD PowerWriteACValueIndex(HKEY root, const GUID *scheme, const GUID *subgroup, const GUID *setting, DWORD value);
DWORD PowerWriteDCValueIndex(HKEY root, const GUID *scheme, const GUID *subgroup, const GUID *setting, DWORD value);
// ERROR_ACCESS_DISABLED_BY_POLICY for a setting an administrator's policy holds.
DWORD PowerSettingAccessCheck(ULONG access, const GUID *setting);

// The power mode the user chose for each source on Windows 11 (best power efficiency, balanced, best
// performance); ERROR_CALL_NOT_IMPLEMENTED where the calls are missing (Windows 10 and earlier).
DWORD PowerGetUserConfiguredACPowerMode(GUID *mode);
DWORD PowerGetUserConfiguredDCPowerMode(GUID *mode);
DWORD PowerSetUserConfiguredACPowerMode(const GUID *mode);
DWORD PowerSetUserConfiguredDCPowerMode(const GUID *mode);

// Sessions: the one in front of the notebook (0xFFFFFFFF when none, or before Windows XP) and all of
// them (freed with WTSFreeMemory); the session notification of WM_WTSSESSION_CHANGE.
DWORD WTSGetActiveConsoleSessionId();
BOOL WTSEnumerateSessionsA(WTS_SESSION_INFOA **sessions, DWORD *count);
void WTSFreeMemory(void *memory);
BOOL WTSRegisterSessionNotification(HWND window, DWORD flags);
BOOL WTSUnRegisterSessionNotification(HWND window);

// The maker's ACPI method library; nonzero when the method ran.
int None_Method(DWORD method, DWORD *out);
int One_Method(DWORD method, DWORD argument, DWORD *out);

// Display modes.
BOOL EnumDisplaySettingsA(DWORD modeNumber, DEVMODEA *mode);
LONG ChangeDisplaySettingsA(DEVMODEA *mode, DWORD flags);

// Screen saver system parameters (SPI_GET/SETSCREENSAVEACTIVE, SPI_GETSCREENSAVERRUNNING) and key events.
BOOL SystemParametersInfoA(UINT action, UINT uiParam, void *pvParam, UINT winIni);
void keybd_event(BYTE virtualKey, BYTE scanCode, DWORD flags, ULONG_PTR extraInfo);

// Shut down: takes the shutdown privilege, then ExitWindowsEx.
BOOL ShutDown(UINT flags);

// Starts the display-mode tool (CreateProcessA, shown as `show` asks) and returns at once, without
// waiting for it; FALSE when it could not be started.
BOOL StartProgram(const char *commandLine, WORD show);

// The platform version.
BOOL GetVersionExA(OSVERSIONINFOA *info);

} // namespace machine
