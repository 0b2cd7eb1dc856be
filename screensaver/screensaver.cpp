// Screen saver control: the active flag, the executable named in the registry or system.ini, and the
// name the program keeps to put back when it turns the screen saver on again.
#include "screensaver/screensaver.h"

#include "machine/machine.h"
#include "state/appstate.h"
#include "state/operation.h"
#include "store/programfiles.h"
#include "store/regtext.h"

#include <cstdio>
#include <cstring>

static_assert(sizeof(AppState::screenSaverPath) == kScreenSaverPathSize, "screenSaverPath is a path buffer");

namespace {

const char *const kDesktopKey = "Control Panel\\Desktop";                  // HKEY_CURRENT_USER, NT family
const char *const kDefaultDesktopKey = ".DEFAULT\\Control Panel\\Desktop"; // HKEY_USERS
const char *const kSaverValue = "SCRNSAVE.EXE";                            // registry value and INI key
const char *const kBootSection = "boot";                                   // of system.ini, 9x family

// Room given to the directory calls; a longer directory counts as not obtained.
const UINT kDirectorySize = kScreenSaverPathSize - 1;

void copyPath(char *dest, const char *src) {
    size_t len = strnlen(src, kScreenSaverPathSize - 1);
    memcpy(dest, src, len);
    dest[len] = '\0';
}

// Formats "dir\name" into dest; false (dest unchanged) when that does not fit a path buffer.
bool joinPath(char *dest, const char *dir, const char *name) {
    char joined[kScreenSaverPathSize];
    int len = snprintf(joined, sizeof joined, "%s\\%s", dir, name);
    if (len < 0 || size_t(len) >= sizeof joined)
        return false;
    memcpy(dest, joined, size_t(len) + 1);
    return true;
}

bool systemDirectory(char *dir) {
    UINT len = GetSystemDirectoryA(dir, kDirectorySize);
    return len != 0 && len < kDirectorySize;
}

bool systemIniPath(char *ini) {
    char dir[kScreenSaverPathSize];
    UINT len = GetWindowsDirectoryA(dir, kDirectorySize);
    if (len == 0 || len >= kDirectorySize)
        return false;
    return snprintf(ini, MAX_PATH, "%s\\system.ini", dir) < MAX_PATH;
}

// Like every value the program writes; an application of each step would otherwise rewrite it.
void setSaverValue(HKEY key, const char *path) {
    char name[kScreenSaverPathSize];
    copyPath(name, path);
    setKeyText(key, kSaverValue, name);
}

// Last resort at start-up: a screen saver every installation of the platform family ships. Windows
// Vista and later no longer have logon.scr; they ship scrnsave.scr (a blank screen).
void fixedScreenSaver(char *path) {
    char dir[kScreenSaverPathSize];
    const char *file = !app.isNt ? "3DTEXT~1.scr" : ntSixOrLater() ? "scrnsave.scr" : "logon.scr";
    if (systemDirectory(dir) && joinPath(path, dir, file))
        return;
    if (!app.isNt)
        copyPath(path, "C:\\windows\\system\\3DTEXT~1.scr");
    else
        joinPath(path, "c:\\windows\\system32", file);
}

} // namespace

void applyScreenSaver(DWORD active, const char *path) {
    if (machineClosed())
        return; // the exit put the user's own back
    machine::SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, active, nullptr,
                                   SPIF_UPDATEINIFILE | SPIF_SENDCHANGE);
    if (!active) {
        // Clearing the flag does not stop a screen saver already on the screen; a key press does.
        BOOL running = FALSE;
        if (machine::SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0) && running) {
            machine::keybd_event(VK_SHIFT, 0, KEYEVENTF_EXTENDEDKEY, 0);
            machine::keybd_event(VK_SHIFT, 0, KEYEVENTF_EXTENDEDKEY | KEYEVENTF_KEYUP, 0);
        }
        // XP counts a screen saver as chosen while this value names one. The name lives on in
        // screenSaverPath and under the program's own key, which is where the next start finds it.
        if (app.isXp) {
            HKEY key;
            if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
                RegDeleteValueA(key, kSaverValue);
                RegCloseKey(key);
            }
        }
        return;
    }

    if (app.isNt) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            setSaverValue(key, path);
            RegCloseKey(key);
        }
    } else {
        char ini[MAX_PATH];
        if (systemIniPath(ini))
            WritePrivateProfileStringA(kBootSection, kSaverValue, path, ini);
    }
    rememberScreenSaver(path);
}

DWORD queryScreenSaver(char *path) {
    BOOL active = FALSE;
    if (!machine::SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0))
        return 0;
    // When the system names nothing, path keeps the executable last seen.
    if (active)
        readSystemScreenSaver(path);
    return DWORD(active);
}

DWORD captureScreenSaverAtStart(char *path) {
    BOOL active = FALSE;
    if (!machine::SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0))
        active = FALSE; // a failed query says inactive, and the exit restore turns it off
    if (active && readSystemScreenSaver(path)) {
        rememberScreenSaver(path);
        return DWORD(active);
    }

    // The system names nothing we can use (on XP turning off removes the name): take the executable
    // remembered by an earlier run, then the default user's, then the platform's own.
    char name[kScreenSaverPathSize];
    if (readRegText(HKEY_CURRENT_USER, kProgramKey, kSaverValue, name, sizeof name)) {
        copyPath(path, name);
        return DWORD(active);
    }
    if (readRegText(HKEY_USERS, kDefaultDesktopKey, kSaverValue, name, sizeof name)) {
        copyPath(path, name);
        if (findScreenSaverFile(path))
            return DWORD(active);
    }
    fixedScreenSaver(path);
    return DWORD(active);
}

int readSystemScreenSaver(char *path) {
    char name[kScreenSaverPathSize];
    if (app.isNt) {
        if (!readRegText(HKEY_CURRENT_USER, kDesktopKey, kSaverValue, name, sizeof name))
            return 0;
    } else {
        char ini[MAX_PATH];
        if (!systemIniPath(ini))
            return 0;
        // One byte more than a path buffer tells a name that fits from one the read would cut short;
        // a cut name would point at the wrong file, so it counts as missing like an overlong value.
        char text[kScreenSaverPathSize + 1];
        DWORD len = GetPrivateProfileStringA(kBootSection, kSaverValue, "", text, sizeof text, ini);
        if (len == 0 || len >= kScreenSaverPathSize)
            return 0;
        memcpy(name, text, len + 1);
    }
    copyPath(path, name);
    return 1;
}

void rememberScreenSaver(const char *path) {
    // Opened, never created: the program's key comes into being with its other values.
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kProgramKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    setSaverValue(key, path);
    RegCloseKey(key);
}

int findScreenSaverFile(char *name) {
    // A bare file name is where the platform keeps its screen savers: the system directory. A joined
    // name too long for a path buffer cannot be kept, so it counts as not found.
    // An empty name would join to the directory itself, which SearchPathA can report as present.
    size_t len = strnlen(name, kScreenSaverPathSize);
    if (len == 0 || len == kScreenSaverPathSize)
        return 0;
    char work[kScreenSaverPathSize];
    if (!memchr(name, '\\', len)) {
        char dir[kScreenSaverPathSize];
        bool joined = systemDirectory(dir) ? joinPath(work, dir, name) : joinPath(work, "", name);
        if (!joined)
            return 0;
    } else {
        copyPath(work, name);
    }

    char dir[kScreenSaverPathSize];
    copyPath(dir, work);
    *strrchr(dir, '\\') = '\0';
    char found[kScreenSaverPathSize];
    char *filePart = nullptr;
    if (SearchPathA(dir, work, nullptr, sizeof found, found, &filePart) == 0)
        return 0;
    // The joined text, not SearchPathA's spelling of it, so the name stays as the user wrote it.
    copyPath(name, work);
    return 1;
}
