// The tray icon, the tray menu in the hidden window's menu bar, and the About box.
#include "tray/tray.h"

#include "state/appstate.h"
#include "state/commands.h"
#include "store/stepfiles.h"

static_assert(IDM_ABOUT == kCmdAbout && IDM_EXIT == kCmdExit, "menu 109 and the main window agree");

// The first-version record (88 bytes on 32-bit Windows) is understood by every shell the program
// runs on, 9x included; its tooltip holds 63 characters and the terminating zero.
void FillTrayRecord(NOTIFYICONDATAA &record, HWND window, UINT identifier, HICON icon, const char *tooltip) {
    record = {};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = window;
    record.uID = identifier;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = kTrayCallbackMessage;
    record.hIcon = icon;
    lstrcpynA(record.szTip, tooltip ? tooltip : "", 64);
}

BOOL NotifyTray(HWND window, DWORD message, UINT identifier, HICON icon, const char *tooltip) {
    NOTIFYICONDATAA record;
    FillTrayRecord(record, window, identifier, icon, tooltip);
    BOOL result = Shell_NotifyIconA(message, &record);
    // The notification area keeps its own copy of the picture.
    if (icon)
        DestroyIcon(icon);
    return result;
}

BOOL SetTrayIcon(HWND window, unsigned iconNumber, const char *tooltip, DWORD message) {
    // The notification area shows the small-icon size, which grows with the display's scaling.
    HICON icon =
        HICON(LoadImageA(app.instance, MAKEINTRESOURCEA(iconNumber), IMAGE_ICON,
                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    return NotifyTray(window, message, 0, icon, tooltip);
}

BOOL RemoveTrayIcon(HWND window) {
    return NotifyTray(window, NIM_DELETE, 0, nullptr, nullptr);
}

// Waits for `object` up to `timeoutMs` while still taking messages sent to this thread's windows (the
// shell may send to the icon's window while it removes the icon).
static void waitTakingSentMessages(HANDLE object, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD rc = MsgWaitForMultipleObjects(1, &object, FALSE, elapsed >= timeoutMs ? 0 : timeoutMs - elapsed,
                                             QS_SENDMESSAGE);
        if (rc != WAIT_OBJECT_0 + 1)
            return;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE); // delivers sent messages
    }
}

static DWORD WINAPI removeTrayIconThread(void *window) {
    RemoveTrayIcon(HWND(window));
    return 0;
}

// Shell_NotifyIconA returns only when the shell has handled the request. Wine's notification area,
// when its last icon goes, hides its own window and waits about 2 s for a window manager that an
// X display without one never sends: the setup and `kelvanectl exit` would wait for it on every close.
// The request is handed to the shell from a thread of its own; once the shell has it, the removal no
// longer depends on this process, and a live shell answers well within the bound.
void RemoveTrayIconWithin(HWND window, DWORD timeoutMs) {
    HANDLE remover = CreateThread(nullptr, 0, removeTrayIconThread, window, 0, nullptr);
    if (!remover) {
        RemoveTrayIcon(window);
        return;
    }
    waitTakingSentMessages(remover, timeoutMs);
    CloseHandle(remover);
}

int BuildTrayMenu(HWND window) {
    HMENU menu = CreateMenu();
    for (unsigned step = 1; step <= 8; ++step) {
        char name[kTextSize];
        readStepName(step, name, sizeof name);
        AppendMenuA(menu, MF_STRING, StepCommand(step), name);
    }
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    if (app.standbyAllowed)
        AppendMenuA(menu, MF_STRING, kCmdStandByNow, "StandBy Now");
    if (app.hibernateAllowed)
        AppendMenuA(menu, MF_STRING, kCmdHibernateNow, "Hibernate Now");
    AppendMenuA(menu, MF_STRING, kCmdShutDownNow, "ShutDown Now");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, kCmdAutoStartUp, "Auto StartUp");
    if (app.autoStartUp)
        CheckMenuItem(menu, kCmdAutoStartUp, MF_BYCOMMAND | MF_CHECKED);
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, kCmdConfiguration, "Configuration ...");
    AppendMenuA(menu, MF_STRING, kCmdAbout, "About ...");
    AppendMenuA(menu, MF_STRING, kCmdExit, "Exit");
    // A window without a menu bar cannot carry the popup; it would only leak.
    if (!InsertMenuA(GetMenu(window), 0, MF_BYPOSITION | MF_POPUP, UINT_PTR(menu), "Menu")) {
        DestroyMenu(menu);
        return 0;
    }
    return 1;
}

void ShowTrayMenu(HWND window, int x, int y, int popupIndex) {
    HMENU bar = GetMenu(window);
    if (!bar)
        return;
    HMENU popup = GetSubMenu(bar, popupIndex);
    if (!popup)
        return;
    // Without the foreground the menu would not close when the user clicks elsewhere.
    SetForegroundWindow(window);
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, x, y, 0, window, nullptr);
    // A message after the menu makes the next click on the tray icon open it again at once.
    PostMessageA(window, WM_USER, 0, 0);
}

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            app.aboutOpen = 0;
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
