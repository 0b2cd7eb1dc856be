// The real machine: thin calls into Windows and the maker's firmware library.

// The GUID power calls are declared for Vista and later only. Their declarations give the types the
// calls are looked up with; nothing here imports them, so the program still loads on XP.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include "machine/machine.h"
#include "machine/startprogram.h"
#include "machine/systemlibrary.h"

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

// NT refuses ExitWindowsEx and SetSuspendState without the shutdown privilege; the 9x family has no
// tokens.
static void enableShutdownPrivilege() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
}

BOOLEAN SetSuspendState(BOOLEAN hibernate, BOOLEAN force, BOOLEAN wakeupEventsDisabled) {
    enableShutdownPrivilege();
    return ::SetSuspendState(hibernate, force, wakeupEventsDisabled);
}

// The GUID calls of Windows Vista and later, looked up in powrprof.dll at first use so that the
// program still loads on Windows XP, which lacks them.
namespace {

// `name` from the system library `library`, loaded into `module` at first use; null when missing.
template <typename Call> Call libraryCall(HMODULE &module, const char *library, Call &slot, const char *name) {
    if (slot)
        return slot;
    if (!module)
        module = loadSystemLibrary(library); // a second thread at first use finds the same module
    if (module)
        slot = reinterpret_cast<Call>(reinterpret_cast<void *>(GetProcAddress(module, name)));
    return slot;
}

HMODULE powrprof, wtsapi;

template <typename Call> Call resolved(Call &slot, const char *name) {
    return libraryCall(powrprof, "powrprof.dll", slot, name);
}

template <typename Call> Call sessionResolved(Call &slot, const char *name) {
    return libraryCall(wtsapi, "wtsapi32.dll", slot, name);
}

} // namespace

// Each call is looked up with the type of the SDK's own declaration, so the compiler checks every
// parameter and the calling convention against it.
#define KELVANE_POWER_CALL(name, ...)                                                                                  \
    static decltype(&::name) name##Call;                                                                               \
    decltype(&::name) call = resolved(name##Call, #name);                                                              \
    return call ? call(__VA_ARGS__) : ERROR_CALL_NOT_IMPLEMENTED

DWORD PowerGetActiveScheme(HKEY root, GUID **active) { KELVANE_POWER_CALL(PowerGetActiveScheme, root, active); }
DWORD PowerSetActiveScheme(HKEY root, const GUID *scheme) { KELVANE_POWER_CALL(PowerSetActiveScheme, root, scheme); }
DWORD PowerDuplicateScheme(HKEY root, const GUID *source, GUID **duplicate) {
    KELVANE_POWER_CALL(PowerDuplicateScheme, root, source, duplicate);
}
DWORD PowerDeleteScheme(HKEY root, const GUID *scheme) { KELVANE_POWER_CALL(PowerDeleteScheme, root, scheme); }
DWORD PowerEnumerate(HKEY root, const GUID *scheme, const GUID *subgroup, ULONG access, ULONG index, UCHAR *buffer,
                     DWORD *bufferSize) {
    KELVANE_POWER_CALL(PowerEnumerate, root, scheme, subgroup, POWER_DATA_ACCESSOR(access), index, buffer,
                       bufferSize);
}
DWORD PowerReadFriendlyName(HKEY root, const GUID *scheme, const GUID *subgroup, const GUID *setting, UCHAR *buffer,
                            DWORD *bufferSize) {
    KELVANE_POWER_CALL(PowerReadFriendlyName, root, scheme, subgroup, setting, buffer, bufferSize);
}
DWORD PowerWriteFriendlyName(HKEY root, const GUID *scheme, const GUID *subgroup, const GUID *setting, UCHAR *buffer,
                             DWORD bufferSize) {
    KELVANE_POWER_CALL(PowerWriteFriendlyName, root, scheme, subgroup, setting, buffer, bufferSize);
}
DWORD PowerWriteDescription(HKEY root, const GUID *scheme, const GUID *subgroup, const GUID *setting, UCHAR *buffer,
                            DWORD bufferSize) {
    KELVANE_POWER_CALL(PowerWriteDescription, root, scheme, subgroup, setting, buffer, bufferSize);
}
DWORD PowerReadACValueIndex(HKEY root, const GUID *scheme, const GUID *subgroup, const GUID *setting, DWORD *value) {
    KELVANE_POWER_CALL(PowerReadACValueIndex, root, scheme, subgroup, setting, value);
}
DWORD PowerReadDCValueIndex(HKEY root, const GUID *scheme, const GUID *subgroup, const GUID *setting, DWORD *value) {
    KELVANE_POWER_CALL(PowerReadDCValueIndex, root, scheme, subgroup, setting, value);
}
DWORD PowerWriteACValueIndex(HKEY root, const GUID *scheme, const GUID *subgroup, const GUID *setting, DWORD value) {
    KELVANE_POWER_CALL(PowerWriteACValueIndex, root, scheme, subgroup, setting, value);
}
DWORD PowerWriteDCValueIndex(HKEY root, const GUID *scheme, const GUID *subgroup, const GUID *setting, DWORD value) {
    KELVANE_POWER_CALL(PowerWriteDCValueIndex, root, scheme, subgroup, setting, value);
}

DWORD PowerSettingAccessCheck(ULONG access, const GUID *setting) {
    KELVANE_POWER_CALL(PowerSettingAccessCheck, POWER_DATA_ACCESSOR(access), setting);
}

#undef KELVANE_POWER_CALL

// Windows 11's power-mode calls; the SDK of this compiler declares none of them.
using GetPowerMode = DWORD(WINAPI *)(GUID *);
using SetPowerMode = DWORD(WINAPI *)(const GUID *);
#define KELVANE_MODE_CALL(type, name, argument)                                                                        \
    static type slot;                                                                                                  \
    type call = resolved(slot, #name);                                                                                 \
    return call ? call(argument) : ERROR_CALL_NOT_IMPLEMENTED

DWORD PowerGetUserConfiguredACPowerMode(GUID *mode) {
    KELVANE_MODE_CALL(GetPowerMode, PowerGetUserConfiguredACPowerMode, mode);
}
DWORD PowerGetUserConfiguredDCPowerMode(GUID *mode) {
    KELVANE_MODE_CALL(GetPowerMode, PowerGetUserConfiguredDCPowerMode, mode);
}
DWORD PowerSetUserConfiguredACPowerMode(const GUID *mode) {
    KELVANE_MODE_CALL(SetPowerMode, PowerSetUserConfiguredACPowerMode, mode);
}
DWORD PowerSetUserConfiguredDCPowerMode(const GUID *mode) {
    KELVANE_MODE_CALL(SetPowerMode, PowerSetUserConfiguredDCPowerMode, mode);
}

#undef KELVANE_MODE_CALL

// The session calls: Windows 2000 and the 9x family lack them, so each is looked up at first use.

DWORD WTSGetActiveConsoleSessionId() {
    using Call = DWORD(WINAPI *)();
    auto call = reinterpret_cast<Call>(reinterpret_cast<void *>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "WTSGetActiveConsoleSessionId")));
    return call ? call() : 0xFFFFFFFFu;
}

BOOL WTSEnumerateSessionsA(WTS_SESSION_INFOA **sessions, DWORD *count) {
    static decltype(&::WTSEnumerateSessionsA) slot;
    auto call = sessionResolved(slot, "WTSEnumerateSessionsA");
    return call && call(WTS_CURRENT_SERVER_HANDLE, 0, 1, sessions, count);
}

void WTSFreeMemory(void *memory) {
    static decltype(&::WTSFreeMemory) slot;
    if (auto call = sessionResolved(slot, "WTSFreeMemory"))
        call(memory);
}

BOOL WTSRegisterSessionNotification(HWND window, DWORD flags) {
    static decltype(&::WTSRegisterSessionNotification) slot;
    auto call = sessionResolved(slot, "WTSRegisterSessionNotification");
    if (!call)
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return call && call(window, flags);
}

BOOL WTSUnRegisterSessionNotification(HWND window) {
    static decltype(&::WTSUnRegisterSessionNotification) slot;
    auto call = sessionResolved(slot, "WTSUnRegisterSessionNotification");
    return call && call(window);
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
    enableShutdownPrivilege();
    return ::ExitWindowsEx(flags, 0);
}

BOOL StartProgram(const char *commandLine, WORD show) { return startDetached(commandLine, show); }

BOOL GetVersionExA(OSVERSIONINFOA *info) { return ::GetVersionExA(info); }

} // namespace machine
