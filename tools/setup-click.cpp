// Used by tools/demo --setup: presses a button of the setup's or the uninstaller's window (a wizard
// page or a message box), once a window with that caption shows the button enabled.
//   setup-click [--wait] CAPTION BUTTON-ID [TIMEOUT-MS]
// exit 0 when pressed (with --wait: when it shows), 1 when it did not show in time.
#include <windows.h>

#include <cstdlib>
#include <cstring>

struct Search {
    const char *caption;
    int id;
    HWND button;
};

static BOOL CALLBACK visit(HWND window, LPARAM parameter) {
    auto *search = reinterpret_cast<Search *>(parameter);
    char caption[128] = {};
    GetWindowTextA(window, caption, sizeof caption);
    HWND button = GetDlgItem(window, search->id);
    // NSIS puts a blank (or a page's name) after the caption on some pages.
    if (IsWindowVisible(window) && strncmp(caption, search->caption, strlen(search->caption)) == 0 && button &&
        IsWindowVisible(button) &&
        IsWindowEnabled(button))
        search->button = button;
    return !search->button;
}

int main(int argc, char **argv) {
    bool press = !(argc > 1 && lstrcmpA(argv[1], "--wait") == 0);
    if (!press)
        --argc, ++argv;
    if (argc < 3)
        return 2;
    Search search = {argv[1], atoi(argv[2]), nullptr};
    DWORD timeout = argc > 3 ? DWORD(atoi(argv[3])) : 30000, start = GetTickCount();
    while (EnumWindows(visit, reinterpret_cast<LPARAM>(&search)), !search.button) {
        if (GetTickCount() - start > timeout)
            return 1;
        Sleep(100); // polls another process's windows: there is nothing to wait on
    }
    if (press)
        PostMessageA(search.button, BM_CLICK, 0, 0);
    return 0;
}
