// Window closer: posts WM_CLOSE to each window listed in QUELLON.INI beside the program.
#include "core/quellonwalk.h"

#include <windows.h>

static const size_t kPathSize = 1024;

static void readKey(void *context, const char *section, const char *key, char *out, size_t size) {
    GetPrivateProfileStringA(section, key, kQuellonMissing, out, DWORD(size),
                             static_cast<const char *>(context));
}

// Posted, not sent: the closer neither waits for the windows nor checks that they went.
static void closeWindow(void *, const QuellonLookup &lookup) {
    HWND window = FindWindowA(lookup.windowClass, lookup.windowName);
    if (window)
        PostMessageA(window, WM_CLOSE, 0, 0);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char folder[kPathSize];
    DWORD length = GetModuleFileNameA(nullptr, folder, sizeof folder);
    if (length >= sizeof folder)
        length = sizeof folder - 1;
    folder[length] = '\0';
    // Cut after the last backslash, keeping it, so the folder joins file names directly.
    char *cut = folder;
    for (char *c = folder; *c; ++c)
        if (*c == '\\')
            cut = c + 1;
    *cut = '\0';
    SetCurrentDirectoryA(folder);

    char iniPath[kPathSize];
    wsprintfA(iniPath, "%s%s", folder, "QUELLON.INI");
    QuellonIo io{readKey, closeWindow, iniPath};
    walkQuellonIni(io);
    return 0;
}
