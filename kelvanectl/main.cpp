// Control command: switches the running tray program's steps from scripts and hotkey tools.
#include "core/control.h"
#include "core/decimal.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

static const char kProgramKey[] = "Software\\KELVANE";
static const DWORD kConfirmMs = 10000;
static const DWORD kExitMs = 15000;

#ifdef KELVANECTL_WITHOUT_CONSOLE
// Without a console the text goes to a file in the user's temporary folder, rewritten by each run,
// where a hotkey tool's user can read why a command failed.
static FILE *textFile = nullptr;

static void openTextFile() {
    char path[MAX_PATH + 16] = "";
    DWORD length = GetTempPathA(MAX_PATH, path);
    if (length == 0 || length >= MAX_PATH)
        return;
    strcat(path, "kelvanectlw.txt");
    textFile = fopen(path, "w");
}
#endif

// What the command has to say; `stream` is stdout or stderr.
__attribute__((format(printf, 2, 3))) static void say(FILE *stream, const char *format, ...) {
#ifdef KELVANECTL_WITHOUT_CONSOLE
    stream = textFile;
    if (!stream)
        return;
#endif
    va_list arguments;
    va_start(arguments, format);
    vfprintf(stream, format, arguments);
    va_end(arguments);
    fflush(stream);
}

// Each twin names itself, so the line can be typed as it stands.
#ifdef KELVANECTL_WITHOUT_CONSOLE
static const char kUsage[] = "usage: kelvanectlw step N | cycle | autoperf | exit | status | --help\n";
#else
static const char kUsage[] = "usage: kelvanectl step N | cycle | autoperf | exit | status | --help\n";
#endif

static void printHelp() {
    say(stdout, "kelvanectl switches the running Kelvane tray program (Lumora.exe).\n\n"
           "  kelvanectl step N    put step N (1 to 8) into force, if the power source offers it\n"
           "  kelvanectl cycle     move on to the next step, as the step key does\n"
           "  kelvanectl autoperf  turn automatic performance on or off\n"
           "  kelvanectl exit      end the tray program\n"
           "  kelvanectl status    show the step in force and the steps kept for mains and battery,\n"
           "                       the Windows 11 power modes set and the settings a policy holds\n"
           "  kelvanectl --help    show this text\n\n"
           "Exit codes: 0 done, 1 the program is not running or did not answer, 2 bad arguments\n"
           "or a step the power source does not offer.\n");
}

// Opened before the close is posted: once the window has gone its process id cannot be read, and
// the process may still be handing the power scheme back.
static HANDLE openProgramProcess(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid ? OpenProcess(SYNCHRONIZE, FALSE, pid) : nullptr;
}

// Returns once the window thread has handled every message posted to it before the call: a sent
// message is taken before posted ones, so the first round trip only reaches the message loop with
// the command queued, and the second one is answered after the command has run.
static bool waitCommandTaken(HWND window) {
    for (int trip = 0; trip < 2; ++trip) {
        DWORD_PTR result;
        if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kConfirmMs, &result))
            return false;
    }
    return true;
}

// One of the program's decimal values, or 0 when it is missing or too long to be a step.
static unsigned readStepValue(HKEY key, const char *name) {
    char text[8] = {};
    DWORD size = sizeof text - 1;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(text), &size) != ERROR_SUCCESS)
        return 0;
    text[size < sizeof text ? size : sizeof text - 1] = '\0';
    return unsigned(parseDecimal(text));
}

static unsigned readStep(const char *name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kProgramKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    unsigned step = readStepValue(key, name);
    RegCloseKey(key);
    return step;
}

// Waits until the program records `step` as the step in force, woken by each change of its key.
static bool waitForStep(unsigned step) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kProgramKey, 0, KEY_QUERY_VALUE | KEY_NOTIFY, &key) != ERROR_SUCCESS)
        return false;
    HANDLE changed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD start = GetTickCount();
    bool done = false;
    while (changed) {
        // Armed before the read, so a change between the read and the wait still wakes the wait.
        RegNotifyChangeKeyValue(key, FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed, TRUE);
        if (readStepValue(key, "CurrentStep") == step) {
            done = true;
            break;
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= kConfirmMs)
            break;
        WaitForSingleObject(changed, kConfirmMs - elapsed);
    }
    if (changed)
        CloseHandle(changed);
    RegCloseKey(key);
    return done;
}

// A step the program's current source does not offer is refused: the program would apply it and
// remember it for that source, and its next start would clamp it.
static bool stepOffered(unsigned step) {
    SYSTEM_POWER_STATUS status = {};
    status.ACLineStatus = 255;
    GetSystemPowerStatus(&status);
    SourceSeen source = sourceForStepRequest(readStep("CurrentStep"), readStep("AC_Current_Step"),
                                             readStep("DC_Current_Step"), status.ACLineStatus);
    if (sourceOffersStep(source, step))
        return true;
    char offered[64];
    describeOfferedSteps(source, offered, sizeof offered);
    const char *name = source == SourceSeen::Mains ? "mains" : "battery";
    say(stderr, "kelvanectl: step %u is not offered on %s; %s offers steps %s\n", step, name, name, offered);
    return false;
}

// Which Windows this is and where the tray program keeps its step files and names there: from
// Windows Vista on each user's own folder, before that the program's folder (beside this command).
static void printPlaces() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    bool perUser = version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 6;
    char folder[MAX_PATH + 16] = "";
    if (perUser) {
        if (SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, folder) == S_OK)
            strcat(folder, "\\Kelvane\\");
    } else {
        DWORD length = GetModuleFileNameA(nullptr, folder, MAX_PATH);
        if (length >= MAX_PATH)
            length = 0;
        folder[length] = '\0';
        if (char *cut = strrchr(folder, '\\'))
            cut[1] = '\0';
    }
    // Windows 11 kept the version 10.0 and is told apart by its build number.
    char name[32];
    if (version.dwMajorVersion == 10)
        snprintf(name, sizeof name, "%s", version.dwBuildNumber >= 22000 ? "11" : "10");
    else
        snprintf(name, sizeof name, "%lu.%lu", (unsigned long)version.dwMajorVersion,
                 (unsigned long)version.dwMinorVersion);
    say(stdout, "Windows %s%s: step files and names in %s.\n", name,
        perUser ? ", the power scheme \"Kelvane\" by GUID" : ", numbered power schemes", folder);
}

// A text value the program records, or an empty text.
static void readProgramText(const char *name, char *text, DWORD size) {
    text[0] = '\0';
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kProgramKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    DWORD got = size - 1, type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(text), &got) != ERROR_SUCCESS ||
        type != REG_SZ)
        got = 0;
    text[got < size ? got : size - 1] = '\0';
    RegCloseKey(key);
}

// What Windows 11's power mode and an administrator's policy make of the step, as the program found them
// at its last activation.
static void printModeAndPolicy() {
    char ac[32], dc[32], held[160];
    readProgramText("PowerModeAc", ac, sizeof ac);
    readProgramText("PowerModeDc", dc, sizeof dc);
    readProgramText("HeldByPolicy", held, sizeof held);
    if (ac[0] || dc[0])
        say(stdout, "Power mode on mains: %s. On battery: %s.\n", ac[0] ? ac : "the user's",
            dc[0] ? dc : "the user's");
    if (held[0])
        say(stdout, "Held by policy, left as the policy sets them: %s.\n", held);
}

static int showStatus() {
    unsigned current = readStep("CurrentStep"), ac = readStep("AC_Current_Step"),
             dc = readStep("DC_Current_Step");
    if (current == 0) {
        say(stderr, "kelvanectl: Lumora has not recorded a step yet\n");
        return 1;
    }
    switch (sourceOfStep(current, ac, dc)) {
    case SourceSeen::Mains:
        say(stdout, "Step %u is in force, on mains.\n", current);
        break;
    case SourceSeen::Battery:
        say(stdout, "Step %u is in force, on battery.\n", current);
        break;
    case SourceSeen::Either:
        say(stdout, "Step %u is in force.\n", current);
        break;
    }
    // A source the program has not applied a step for yet has no value.
    char acText[16] = "none yet", dcText[16] = "none yet";
    if (ac)
        snprintf(acText, sizeof acText, "step %u", ac);
    if (dc)
        snprintf(dcText, sizeof dcText, "step %u", dc);
    say(stdout, "Kept for mains: %s. Kept for battery: %s.\n", acText, dcText);
    printModeAndPolicy();
    printPlaces();
    return 0;
}

int main(int argc, char **argv) {
#ifdef KELVANECTL_WITHOUT_CONSOLE
    openTextFile();
#endif
    ControlRequest request;
    switch (parseControlArguments(argc - 1, argv + 1, request)) {
    case ControlParse::Ok:
        break;
    case ControlParse::UnknownCommand:
        say(stderr, "kelvanectl: unknown command \"%s\"\n%s", argv[1], kUsage);
        return 2;
    case ControlParse::BadStep:
        say(stderr, "kelvanectl: \"%s\" is not a step; steps are 1 to 8\n%s", argv[2], kUsage);
        return 2;
    case ControlParse::Usage:
        say(stderr, "%s", kUsage);
        return 2;
    }
    if (request.action == ControlAction::Help) {
        printHelp();
        return 0;
    }

    HWND window = FindWindowA(kProgramWindowClass, kProgramWindowTitle);
    if (!window) {
        say(stderr, "kelvanectl: Lumora is not running\n");
        return 1;
    }
    if (request.action == ControlAction::Status)
        return showStatus();
    if (request.action == ControlAction::Step && !stepOffered(request.step))
        return 2;

    HANDLE process = nullptr;
    if (request.action == ControlAction::Exit && !(process = openProgramProcess(window))) {
        say(stderr, "kelvanectl: cannot wait for Lumora to end (error %lu)\n", GetLastError());
        return 1;
    }
    if (!PostMessageA(window, WM_COMMAND, controlCommand(request), 0)) {
        say(stderr, "kelvanectl: Lumora did not take the command\n");
        if (process)
            CloseHandle(process);
        return 1;
    }
    switch (request.action) {
    case ControlAction::Step:
        // The step may be in force already: only the program having run the command says it is so.
        if (!waitCommandTaken(window) || !waitForStep(request.step)) {
            say(stderr, "kelvanectl: Lumora did not put step %u into force\n", request.step);
            return 1;
        }
        say(stdout, "Step %u is in force.\n", request.step);
        break;
    case ControlAction::Cycle:
        say(stdout, "Lumora moves on to the next step.\n");
        break;
    case ControlAction::AutoPerformance:
        say(stdout, "Lumora turns automatic performance on or off.\n");
        break;
    case ControlAction::Exit: {
        bool ended = WaitForSingleObject(process, kExitMs) == WAIT_OBJECT_0;
        CloseHandle(process);
        if (!ended) {
            say(stderr, "kelvanectl: Lumora is still running after %lu s\n", kExitMs / 1000);
            return 1;
        }
        say(stdout, "Lumora has ended.\n");
        break;
    }
    default:
        break;
    }
    return 0;
}
