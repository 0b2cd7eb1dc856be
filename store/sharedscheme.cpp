// The sessions whose programs work in the machine's one "Kelvane" scheme, by a mutex per session.
#include "store/sharedscheme.h"

#include "machine/machine.h"
#include "store/programfiles.h"

#include <windows.h>

#include <cstdio>

namespace {

void mutexName(char (&name)[64], DWORD session) {
    snprintf(name, sizeof name, "Global\\KelvaneScheme.%lu", (unsigned long)session);
}

} // namespace

// The 9x family lacks the calls used here, so each is looked up at use.
bool currentSession(unsigned long &session) {
    using SessionOf = BOOL(WINAPI *)(DWORD, DWORD *);
    auto sessionOf = reinterpret_cast<SessionOf>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "ProcessIdToSessionId")));
    DWORD id = 0;
    if (!sessionOf || !sessionOf(GetCurrentProcessId(), &id))
        return false;
    session = id;
    return true;
}

void holdSharedScheme() {
    unsigned long session;
    if (!ntSixOrLater() || !currentSession(session))
        return;
    // Any interactive user may open it to see that it is there; only the system and administrators more.
    using FromSddl = BOOL(WINAPI *)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR *, PULONG);
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    auto fromSddl = reinterpret_cast<FromSddl>(reinterpret_cast<void *>(
        advapi ? GetProcAddress(advapi, "ConvertStringSecurityDescriptorToSecurityDescriptorA") : nullptr));
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
    if (fromSddl)
        fromSddl("D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;IU)", 1, &attributes.lpSecurityDescriptor, nullptr);
    char name[64];
    mutexName(name, session);
    // Held for the whole run; the system closes it with the process, a crash included.
    CreateMutexA(&attributes, FALSE, name);
    if (attributes.lpSecurityDescriptor)
        LocalFree(attributes.lpSecurityDescriptor);
}

static bool sessionHoldsScheme(DWORD session) {
    char name[64];
    mutexName(name, session);
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    // One that denies us is there all the same.
    if (mutex || GetLastError() == ERROR_ACCESS_DENIED) {
        if (mutex)
            CloseHandle(mutex);
        return true;
    }
    return false;
}

// The sessions there are, as Windows lists them: their numbers are not bounded by any count.
bool otherSessionHoldsScheme() {
    unsigned long session;
    WTS_SESSION_INFOA *sessions = nullptr;
    DWORD count = 0;
    if (!ntSixOrLater() || !currentSession(session) || !machine::WTSEnumerateSessionsA(&sessions, &count))
        return false;
    bool held = false;
    for (DWORD i = 0; i < count && !held; ++i)
        held = sessions[i].SessionId != session && sessionHoldsScheme(sessions[i].SessionId);
    machine::WTSFreeMemory(sessions);
    return held;
}

bool inBackgroundSession() {
    unsigned long session;
    if (!ntSixOrLater() || !currentSession(session))
        return false;
    DWORD console = machine::WTSGetActiveConsoleSessionId();
    return console != 0xFFFFFFFFu && console != session && sessionHoldsScheme(console);
}
