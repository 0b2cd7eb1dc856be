// Stand-in for the outside programs that drive the tray program: posts one command to its window.
#include "core/control.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

static HWND findProgramWindow() {
    return FindWindowA(kProgramWindowClass, kProgramWindowTitle);
}

static const unsigned kTrayCallbackMessage = 0x8000 + 100;

// A visible top-level window of the given class (and title, when one is given), or null.
struct WindowQuery {
    const char *className;
    const char *title;
    HWND found;
};

static BOOL CALLBACK matchWindow(HWND window, LPARAM param) {
    WindowQuery *query = reinterpret_cast<WindowQuery *>(param);
    char name[256] = {};
    if (!IsWindowVisible(window) || !GetClassNameA(window, name, sizeof name) ||
        strcmp(name, query->className) != 0)
        return TRUE;
    if (query->title) {
        char title[256] = {};
        GetWindowTextA(window, title, sizeof title);
        if (strcmp(title, query->title) != 0)
            return TRUE;
    }
    query->found = window;
    return FALSE;
}

static HWND visibleWindow(const char *className, const char *title) {
    WindowQuery query = {className, title, nullptr};
    EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&query));
    return query.found;
}

static HWND aboutBox() {
    return visibleWindow("#32770", "About Kelvane");
}
static HWND popupMenu() {
    return visibleWindow("#32768", nullptr);
}
static HWND configDialog() {
    return visibleWindow("#32770", "Configuration Kelvane");
}

// Controls of the configuration dialog: the settings tree and the step tree.
static const int kSettingsTree = 1001, kStepTree = 1003;

// Sends to a window of the program and waits for it, so the next poke sees the effect.
static LRESULT sendTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, 10000, &result);
    return LRESULT(result);
}

// The tree item reached by a path of child positions such as "0.1.0" (item handles cross processes;
// item texts would not), or null.
static HTREEITEM treeItem(HWND tree, const char *path) {
    HTREEITEM item = HTREEITEM(sendTo(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    for (const char *p = path; item && *p;) {
        long skip = strtol(p, const_cast<char **>(&p), 10);
        while (item && skip-- > 0)
            item = HTREEITEM(sendTo(tree, TVM_GETNEXTITEM, TVGN_NEXT, LPARAM(item)));
        if (*p == '.') {
            ++p;
            if (item)
                item = HTREEITEM(sendTo(tree, TVM_GETNEXTITEM, TVGN_CHILD, LPARAM(item)));
        }
    }
    return item;
}

static bool selectTreeItem(int control, const char *path) {
    HWND tree = GetDlgItem(configDialog(), control);
    HTREEITEM item = tree ? treeItem(tree, path) : nullptr;
    return item && sendTo(tree, TVM_SELECTITEM, TVGN_CARET, LPARAM(item));
}

// Selects a step and gives it a new name through the step tree's own name editor.
static int renameStep(int step, const char *name) {
    char path[16];
    snprintf(path, sizeof path, "%d", step - 1);
    if (!selectTreeItem(kStepTree, path)) {
        printf("no step %d in the dialog\n", step);
        return 1;
    }
    HWND dialog = configDialog();
    HWND tree = GetDlgItem(dialog, kStepTree);
    sendTo(dialog, WM_COMMAND, 32812, 0); // "Rename"
    HWND editor = HWND(sendTo(tree, TVM_GETEDITCONTROL, 0, 0));
    if (!editor) {
        printf("the name editor did not open\n");
        return 1;
    }
    sendTo(editor, WM_SETTEXT, 0, LPARAM(name));
    sendTo(tree, TVM_ENDEDITLABELNOW, FALSE, 0);
    printf("step %d renamed \"%s\"\n", step, name);
    return 0;
}

// Polls until `wanted` holds or `ms` milliseconds have passed.
template <typename Check> static bool waitUntil(DWORD ms, Check wanted) {
    DWORD start = GetTickCount();
    for (;;) {
        if (wanted())
            return true;
        if (GetTickCount() - start >= ms)
            return false;
        Sleep(50);
    }
}

static unsigned long number(const char *text) {
    return strtoul(text, nullptr, 0);
}

static int post(UINT message, WPARAM wParam, LPARAM lParam, const char *what) {
    HWND window = findProgramWindow();
    if (!window) {
        printf("no Lumora window\n");
        return 1;
    }
    if (!PostMessageA(window, message, wParam, lParam)) {
        printf("could not post %s\n", what);
        return 1;
    }
    printf("posted %s\n", what);
    return 0;
}

static int usage() {
    fprintf(stderr, "usage: Poke command <id> | power <wParam> | tray <lParam> | close |\n"
                    "       wait-window <ms> | wait-osd <ms> | wait-exit <ms> | wait-menu <ms> | close-menu <ms> |\n"
                    "       wait-about <ms> | close-about <ms> | wait-config <ms> |\n"
                    "       config-rename <step> <name> | config-select <path> | config-command <id>\n");
    return 2;
}

int main(int argc, char **argv) {
    if (argc < 2)
        return usage();
    const char *verb = argv[1];
    if (argc < 3 && strcmp(verb, "close") != 0)
        return usage();
    char what[96];
    if (strcmp(verb, "command") == 0) {
        unsigned long id = number(argv[2]);
        snprintf(what, sizeof what, "WM_COMMAND %lu", id);
        return post(WM_COMMAND, id, 0, what);
    }
    if (strcmp(verb, "power") == 0) {
        unsigned long event = number(argv[2]);
        snprintf(what, sizeof what, "WM_POWERBROADCAST %lu", event);
        return post(WM_POWERBROADCAST, event, 0, what);
    }
    if (strcmp(verb, "tray") == 0) {
        unsigned long mouse = number(argv[2]);
        snprintf(what, sizeof what, "tray callback %lu", mouse);
        return post(kTrayCallbackMessage, 0, mouse, what);
    }
    if (strcmp(verb, "close") == 0)
        return post(WM_CLOSE, 0, 0, "WM_CLOSE");

    if (strcmp(verb, "config-rename") == 0 && argc >= 4)
        return renameStep(int(number(argv[2])), argv[3]);
    if (strcmp(verb, "config-select") == 0) {
        bool ok = selectTreeItem(kSettingsTree, argv[2]);
        printf(ok ? "setting %s selected\n" : "no setting %s\n", argv[2]);
        return ok ? 0 : 1;
    }
    if (strcmp(verb, "config-command") == 0) {
        HWND dialog = configDialog();
        if (!dialog) {
            printf("no configuration dialog\n");
            return 1;
        }
        sendTo(dialog, WM_COMMAND, number(argv[2]), 0);
        printf("dialog command %lu done\n", number(argv[2]));
        return 0;
    }

    DWORD ms = number(argv[2]);
    if (strcmp(verb, "wait-config") == 0) {
        bool ok = waitUntil(ms, [] { return configDialog() != nullptr; });
        printf(ok ? "configuration dialog is open\n" : "no configuration dialog after %lu ms\n", ms);
        return ok ? 0 : 1;
    }
    if (strcmp(verb, "wait-window") == 0) {
        bool ok = waitUntil(ms, [] { return findProgramWindow() != nullptr; });
        printf(ok ? "Lumora window is there\n" : "no Lumora window after %lu ms\n", ms);
        return ok ? 0 : 1;
    }
    if (strcmp(verb, "wait-osd") == 0) {
        bool ok = waitUntil(ms, [] { return FindWindowA("CNewOsd", "VKTOSD2") || FindWindowA("VKTOSD", "VKTOSD"); });
        printf(ok ? "on-screen display is there\n" : "no on-screen display after %lu ms\n", ms);
        return ok ? 0 : 1;
    }
    if (strcmp(verb, "wait-exit") == 0) {
        bool ok = waitUntil(ms, [] { return findProgramWindow() == nullptr; });
        printf(ok ? "Lumora window is gone\n" : "Lumora window still there after %lu ms\n", ms);
        return ok ? 0 : 1;
    }
    if (strcmp(verb, "wait-menu") == 0) {
        bool ok = waitUntil(ms, [] { return popupMenu() != nullptr; });
        printf(ok ? "menu is open\n" : "no menu after %lu ms\n", ms);
        return ok ? 0 : 1;
    }
    if (strcmp(verb, "close-menu") == 0) {
        HWND menu = popupMenu();
        if (!menu) {
            printf("no menu open\n");
            return 1;
        }
        // The menu's own loop reads the key, as it would from the keyboard.
        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 1);
        PostMessageA(menu, WM_KEYUP, VK_ESCAPE, 0xC0000001);
        bool ok = waitUntil(ms, [] { return popupMenu() == nullptr; });
        printf(ok ? "menu closed\n" : "menu still open after %lu ms\n", ms);
        return ok ? 0 : 1;
    }
    if (strcmp(verb, "wait-about") == 0) {
        bool ok = waitUntil(ms, [] { return aboutBox() != nullptr; });
        printf(ok ? "About box is open\n" : "no About box after %lu ms\n", ms);
        return ok ? 0 : 1;
    }
    if (strcmp(verb, "close-about") == 0) {
        HWND about = aboutBox();
        if (!about) {
            printf("no About box open\n");
            return 1;
        }
        PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        bool ok = waitUntil(ms, [] { return aboutBox() == nullptr; });
        printf(ok ? "About box closed\n" : "About box still open after %lu ms\n", ms);
        return ok ? 0 : 1;
    }
    return usage();
}
