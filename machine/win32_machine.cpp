// The real machine: thin calls into Windows and the maker's firmware library.
#include "machine/machine.h"

// The maker's library, imported from VKTMETHOD.dll with the standard calling convention.
extern "C" {
__declspec(dllimport) int __stdcall None_Method(DWORD method, DWORD *out);
__declspec(dllimport) int __stdcall One_Method(DWORD method, DWORD argument, DWORD *out);
}

namespace machine {

BOOL GetSystemPowerStatus(SYSTEM_POWER_STATUS *status) { return ::GetSystemPowerStatus(status); }

BOOLEAN GetActivePwrScheme(UINT *scheme) { return ::GetActivePwrScheme(scheme); }

BOOLEAN SetActivePwrScheme(UINT scheme, GLOBAL_POWER_POLICY *global, POWER_POLICY *policy) {
    return ::SetActivePwrScheme(scheme, global, policy);
}

BOOLEAN ReadPwrScheme(UINT scheme, POWER_POLICY *policy) { return ::ReadPwrScheme(scheme, policy); }

BOOLEAN WritePwrScheme(UINT *scheme, const void *name, const void *description, POWER_POLICY *policy) {
    // MinGW declares the texts as LPTSTR; the platform reads whichever form it expects.
    return ::WritePwrScheme(scheme, (LPTSTR)name, (LPTSTR)description, policy);
}

BOOLEAN DeletePwrScheme(UINT scheme) { return ::DeletePwrScheme(scheme); }

BOOLEAN GetCurrentPowerPolicies(GLOBAL_POWER_POLICY *global, POWER_POLICY *policy) {
    return ::GetCurrentPowerPolicies(global, policy);
}

BOOLEAN ReadProcessorPwrScheme(UINT scheme, MACHINE_PROCESSOR_POWER_POLICY *policy) {
    return ::ReadProcessorPwrScheme(scheme, policy);
}

BOOLEAN WriteProcessorPwrScheme(UINT scheme, MACHINE_PROCESSOR_POWER_POLICY *policy) {
    return ::WriteProcessorPwrScheme(scheme, policy);
}

BOOLEAN GetPwrCapabilities(SYSTEM_POWER_CAPABILITIES *capabilities) { return ::GetPwrCapabilities(capabilities); }
BOOLEAN IsPwrSuspendAllowed() { return ::IsPwrSuspendAllowed(); }
BOOLEAN IsPwrHibernateAllowed() { return ::IsPwrHibernateAllowed(); }

BOOLEAN SetSuspendState(BOOLEAN hibernate, BOOLEAN force, BOOLEAN wakeupEventsDisabled) {
    return ::SetSuspendState(hibernate, force, wakeupEventsDisabled);
}

int None_Method(DWORD method, DWORD *out) { return ::None_Method(method, out); }
int One_Method(DWORD method, DWORD argument, DWORD *out) { return ::One_Method(method, argument, out); }

BOOL EnumDisplaySettingsA(DWORD modeNumber, DEVMODEA *mode) { return ::EnumDisplaySettingsA(nullptr, modeNumber, mode); }
LONG ChangeDisplaySettingsA(DEVMODEA *mode, DWORD flags) { return ::ChangeDisplaySettingsA(mode, flags); }

BOOL SystemParametersInfoA(UINT action, UINT uiParam, void *pvParam, UINT winIni) {
    return ::SystemParametersInfoA(action, uiParam, pvParam, winIni);
}

void keybd_event(BYTE virtualKey, BYTE scanCode, DWORD flags, ULONG_PTR extraInfo) {
    ::keybd_event(virtualKey, scanCode, flags, extraInfo);
}

BOOL ShutDown(UINT flags) {
    // NT refuses ExitWindowsEx without the shutdown privilege; the 9x family has no tokens.
    HANDLE token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
            AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        CloseHandle(token);
    }
    return ::ExitWindowsEx(flags, 0);
}

UINT WinExec(const char *commandLine, UINT show) { return ::WinExec(commandLine, show); }

BOOL GetVersionExA(OSVERSIONINFOA *info) { return ::GetVersionExA(info); }

} // namespace machine
