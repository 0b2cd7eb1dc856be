// The simulated notebook of today: Windows 11's power modes, settings held by policy, and the sessions
// of fast user switching, answered from "Software\KelvaneSim" as the other calls are.
#include "machine/machine.h"
#include "machine/powerguids.h"
#include "sim/simstate.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool ntSix() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    return ::GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 6;
}

// As on Windows 10 and Wine, the power-mode calls are missing unless the notebook runs Windows 11.
DWORD modeCallsMissing() {
    if (!ntSix() || !simValue("PowerModeCalls", 0))
        return ERROR_CALL_NOT_IMPLEMENTED;
    return simValue("PowerModeFails", 0) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
}

DWORD getMode(const char *name, GUID *mode) {
    if (DWORD rc = modeCallsMissing())
        return rc;
    if (!mode)
        return ERROR_INVALID_PARAMETER;
    char text[kGuidTextSize + 1];
    if (!simText(name, text, sizeof text) || !parseGuid(text, mode))
        *mode = kPowerModeBalanced;
    return ERROR_SUCCESS;
}

// Windows takes only its three modes.
DWORD setMode(const char *name, const char *source, const GUID *mode) {
    if (DWORD rc = modeCallsMissing())
        return rc;
    if (!mode || !(IsEqualGUID(*mode, kPowerModeBestEfficiency) || IsEqualGUID(*mode, kPowerModeBalanced) ||
                   IsEqualGUID(*mode, kPowerModeBestPerformance)))
        return ERROR_INVALID_PARAMETER;
    char text[kGuidTextSize];
    formatGuid(*mode, text);
    setSimText(name, text);
    simLog("POWERMODE %s %s", source, text);
    return ERROR_SUCCESS;
}

DWORD ownSession() {
    using SessionOf = BOOL(WINAPI *)(DWORD, DWORD *);
    auto sessionOf = reinterpret_cast<SessionOf>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "ProcessIdToSessionId")));
    DWORD id = 0;
    return sessionOf && sessionOf(GetCurrentProcessId(), &id) ? id : 0;
}

} // namespace

namespace machine {

DWORD PowerSettingAccessCheck(ULONG, const GUID *setting) {
    if (!ntSix())
        return ERROR_CALL_NOT_IMPLEMENTED;
    if (!setting)
        return ERROR_INVALID_PARAMETER;
    char text[kGuidTextSize];
    formatGuid(*setting, text);
    return simListHolds("PolicyHeld", text) ? ERROR_ACCESS_DISABLED_BY_POLICY : ERROR_SUCCESS;
}

DWORD PowerGetUserConfiguredACPowerMode(GUID *mode) { return getMode("UserPowerModeAc", mode); }
DWORD PowerGetUserConfiguredDCPowerMode(GUID *mode) { return getMode("UserPowerModeDc", mode); }
DWORD PowerSetUserConfiguredACPowerMode(const GUID *mode) { return setMode("UserPowerModeAc", "AC", mode); }
DWORD PowerSetUserConfiguredDCPowerMode(const GUID *mode) { return setMode("UserPowerModeDc", "DC", mode); }

DWORD WTSGetActiveConsoleSessionId() { return simValue("ConsoleSession", ownSession()); }

BOOL WTSEnumerateSessionsA(WTS_SESSION_INFOA **sessions, DWORD *count) {
    char list[512];
    simList("Sessions", list, sizeof list);
    if (!list[0]) {
        int length = snprintf(list, 16, "%lu", (unsigned long)ownSession());
        list[length + 1] = '\0';
    }
    DWORD n = 0;
    for (const char *p = list; *p; p += strlen(p) + 1)
        ++n;
    // One block, as Windows hands it out: the records, then their station names.
    auto *info =
        static_cast<WTS_SESSION_INFOA *>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, n * (sizeof(WTS_SESSION_INFOA) + 8)));
    if (!info)
        return FALSE;
    char *names = reinterpret_cast<char *>(info + n);
    DWORD console = WTSGetActiveConsoleSessionId(), i = 0;
    for (const char *p = list; *p; p += strlen(p) + 1, ++i) {
        info[i].SessionId = DWORD(strtoul(p, nullptr, 10));
        info[i].State = info[i].SessionId == console ? WTSActive : WTSDisconnected;
        info[i].pWinStationName = names + 8 * i;
        snprintf(info[i].pWinStationName, 8, "%s", info[i].SessionId == console ? "Console" : "");
    }
    *sessions = info;
    *count = n;
    return TRUE;
}

void WTSFreeMemory(void *memory) { LocalFree(memory); }

// "SessionNotifyFailures" counts the registrations refused as early at log-on, before the session
// manager is ready; "SessionNotification" tells tests whether the window is registered.
BOOL WTSRegisterSessionNotification(HWND, DWORD) {
    if (DWORD failures = simValue("SessionNotifyFailures", 0)) {
        setSimValue("SessionNotifyFailures", failures - 1);
        SetLastError(RPC_S_INVALID_BINDING);
        return FALSE;
    }
    setSimValue("SessionNotification", 1);
    return TRUE;
}

BOOL WTSUnRegisterSessionNotification(HWND) {
    setSimValue("SessionNotification", 0);
    return TRUE;
}

} // namespace machine
