// Paths of the program's own files, built from the folder of its executable.
#include "store/programfiles.h"

#include "machine/machine.h"
#include "state/operation.h"
#include "state/appstate.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>

bool programDirectory(char *dir, size_t size) {
    // A larger buffer than any path we build, so that a long folder is seen, not silently cut.
    char path[4 * MAX_PATH];
    DWORD len = GetModuleFileNameA(nullptr, path, sizeof path);
    if (len == 0 || len >= sizeof path)
        return false;
    char *slash = strrchr(path, '\\');
    size_t dirLen = slash ? size_t(slash - path) + 1 : 0;
    if (dirLen + 1 > size)
        return false;
    memcpy(dir, path, dirLen);
    dir[dirLen] = '\0';
    return true;
}

// `dir` (when `dirOk`) followed by `name`; otherwise, or when it would not fit, `tooLong` (naming the
// file by %s) is shown and `out` left empty: a cut path would name another file.
static bool joinFilePath(bool dirOk, const char *dir, const char *name, char *out, size_t size,
                         const char *tooLong) {
    bool ok = dirOk;
    if (ok) {
        int n = snprintf(out, size, "%s%s", dir, name);
        ok = n >= 0 && size_t(n) < size;
    }
    if (!ok) {
        char text[512];
        snprintf(text, sizeof text, tooLong, name);
        showError(text);
        if (size)
            out[0] = '\0';
    }
    return ok;
}

bool programFilePath(const char *name, char *out, size_t size) {
    char dir[4 * MAX_PATH];
    bool ok = programDirectory(dir, sizeof dir);
    return joinFilePath(ok, dir, name, out, size,
                        "The program's folder is too long for its file %s.\n\nPlease install the program in a "
                        "folder with a shorter path.");
}

bool ntSixOrLater() {
    static int known = -1;
    if (known < 0) {
        OSVERSIONINFOA version = {};
        version.dwOSVersionInfoSize = sizeof version;
        known = machine::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
                version.dwMajorVersion >= 6;
    }
    return known != 0;
}

// The user's application-data folder, made when missing; the shell's answer when it cannot give it.
// Looked up at use, as the 9x family's shell lacks the call.
static HRESULT appDataFolder(char (&path)[MAX_PATH]) {
    using GetFolderPath = HRESULT(WINAPI *)(HWND, int, HANDLE, DWORD, LPSTR);
    HMODULE shell = GetModuleHandleA("shell32.dll");
    if (!shell)
        shell = LoadLibraryA("shell32.dll");
    auto getFolderPath = shell ? reinterpret_cast<GetFolderPath>(
                                     reinterpret_cast<void *>(GetProcAddress(shell, "SHGetFolderPathA")))
                               : nullptr;
    path[0] = '\0';
    HRESULT rc = getFolderPath ? getFolderPath(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, 0, path)
                               : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    path[MAX_PATH - 1] = '\0';
    return rc == S_OK && !path[0] ? E_FAIL : rc;
}

bool userFilePath(const char *name, char *out, size_t size) {
    if (!ntSixOrLater())
        return programFilePath(name, out, size);
    char appData[MAX_PATH];
    HRESULT rc = appDataFolder(appData);
    if (rc != S_OK) {
        char text[512];
        snprintf(text, sizeof text,
                 "Windows cannot give the application data folder for your file %s (error 0x%08lX).", name,
                 (unsigned long)rc);
        showError(text);
        if (size)
            out[0] = '\0';
        return false;
    }
    char dir[MAX_PATH];
    int n = snprintf(dir, sizeof dir, "%s\\Kelvane\\", appData);
    bool ok = n >= 0 && size_t(n) < sizeof dir;
    // A folder that cannot be made shows in the message of the first file that needs it.
    if (ok)
        CreateDirectoryA(dir, nullptr);
    return joinFilePath(ok, dir, name, out, size, "The folder for your settings is too long for its file %s.");
}
