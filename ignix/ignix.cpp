// Installer hook library: starts the tray program from its registered path and asks it to close.
#include <windows.h>
#include <shellapi.h>

extern "C" {
int RunLumora(void);
int StopLumora(void);
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
}

static const char kKeyPath[] = "SOFTWARE\\Vosk\\Kelvane";

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}

// 0 once the executable is handed to the shell, whatever the shell makes of it; 1 when the key or
// its "Path" value cannot be read.
int RunLumora(void) {
    char keyPath[64];
    lstrcpynA(keyPath, kKeyPath, sizeof keyPath);
    OutputDebugStringA(keyPath);

    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 1;
    char path[MAX_PATH];
    DWORD size = sizeof path;
    LONG result = RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<BYTE *>(path), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return 1;
    // The type is not checked, so the data may lack its terminator: add one inside the buffer, and
    // treat a value that leaves no room for it as too long.
    if (size == 0 || path[size - 1] != '\0') {
        if (size >= sizeof path)
            return 1;
        path[size] = '\0';
    }

    ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
    return 0;
}

// Posts rather than sends, so the setup program never waits for the tray program's exit work.
int StopLumora(void) {
    HWND window = FindWindowA("LUMORA", "Lumora");
    if (window)
        PostMessageA(window, WM_CLOSE, 0, 0);
    return 0;
}
