// Entry of the tray program: single instance per user, start-up, and the message loop.
#include "configdialog/configdialog.h"
#include "engine/firmware.h"
#include "engine/startup.h"
#include "engine/stepapply.h"
#include "machine/machine.h"
#include "resources/resource.h"
#include "shell/mainwnd.h"
#include "shell/sessions.h"
#include "state/appstate.h"
#include "state/operation.h"
#include "store/powerscheme.h"
#include "store/sharedscheme.h"
#include "tray/tray.h"

#include <cstdio>
#include <cstring>

static void RegisterMainClass(HINSTANCE instance) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_STEP1));
    wc.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_STEP1));
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDC_LUMORA);
    wc.lpszClassName = app.className;
    RegisterClassExA(&wc);
}

// The prefix of the program's named objects: the session's own namespace, where a user of another
// session cannot create them first (on XP the console's unprefixed names are the machine's). Windows
// 2000 and later know it; NT 4 and the 9x family have one namespace and refuse the backslash.
static const char *sessionNamespace() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    bool known = machine::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
                 version.dwMajorVersion >= 5;
    return known ? "Local\\" : "";
}

// One copy per user: the mutex is named by the window title and the user name.
static bool claimInstance() {
    char user[kTextSize] = {};
    DWORD size = sizeof user;
    if (!GetUserNameA(user, &size))
        user[0] = '\0';
    char name[2 * kTextSize + 8];
    snprintf(name, sizeof name, "%s%s%s", sessionNamespace(), app.windowName, user);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
    return mutex && GetLastError() != ERROR_ALREADY_EXISTS;
}

static int InitInstance(HINSTANCE instance, int forceThrottle, int startedByRunEntry) {
    if (!claimInstance())
        return 0;
    // Marked before the scheme is provisioned, so no other session's program ending meanwhile hands
    // it back under this one.
    holdSharedScheme();
    app.instance = instance;
    app.mainWindow = CreateWindowExA(0, app.className, app.windowName, WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                                     nullptr, instance, nullptr);
    if (!app.mainWindow)
        return 0;
    app.treeImageList = LoadStepImages(instance, GetSystemMetrics(SM_CXSMICON));

    DWORD mask = 0;
    if (!firmware::None_Method(firmware::SFUN, &mask)) {
        MessageBoxA(app.mainWindow, "Current system do not support this utility.\nPorgram Stop !", app.caption,
                    MB_TOPMOST | MB_ICONERROR);
        return 0;
    }
    if (mask & firmware::kFunctionClockControl)
        app.clockSupport = 1;
    if (!probeCapabilities(forceThrottle, startedByRunEntry))
        return 0;
    if (!(mask & firmware::kFunctionSupported)) {
        MessageBoxA(app.mainWindow, "Current system do not support this utility!", app.caption,
                    MB_TOPMOST | MB_ICONWARNING);
        // The scheme is already active: give the user's back before the program ends.
        restoreUserScheme();
        return 0;
    }

    SetTrayIcon(app.mainWindow, IDI_STEP1, "Kelvane", NIM_ADD);
    BuildTrayMenu(app.mainWindow);
    app.trayMenu = GetSubMenu(GetMenu(app.mainWindow), 0);
    app.currentStep = app.onAc ? app.acStep : app.dcStep;
    offerSteps(app.trayMenu, app.onAc != 0);
    applyStep(app.mainWindow, &app.currentStep, 0);
    applyPanelLevel();
    NotifyOsd(app.currentStep);
    return 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    // The manifest asks for version 6 of the common controls, which registers its classes only when
    // asked: without this the dialog's tree views are not created on XP.
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_TREEVIEW_CLASSES;
    InitCommonControlsEx(&controls);
    LoadStringA(instance, IDS_APP_TITLE, app.windowName, kTextSize);
    LoadStringA(instance, IDS_CAPTION, app.caption, kTextSize);
    LoadStringA(instance, IDS_CLASS_NAME, app.className, kTextSize);
    RegisterMainClass(instance);

    const char *tail = commandLine ? commandLine : "";
    int forceThrottle = strcmp(tail, "Throttle") == 0;
    int startedByRunEntry = strcmp(tail, "1") == 0;
    setWaitingRunner(RunWaitingMessages);
    {
        // Start-up is one operation: what arrives during its message boxes waits for its end, and runs
        // only when it ended well, the cycle's event in place. An Exit meanwhile ends the program then;
        // a start-up that fails has handed back what it changed on its own path.
        MachineOperation startUp;
        if (!InitInstance(instance, forceThrottle, startedByRunEntry))
            return 0;
        watchSessions(app.mainWindow);
        char eventName[32];
        snprintf(eventName, sizeof eventName, "%sVOSK_KLVXP_MUTEX", sessionNamespace());
        app.cycleWakeEvent = CreateEventA(nullptr, TRUE, FALSE, eventName);
        StartUpEnded();
    }
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDC_LUMORA));
    MSG msg = {};
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        if (!TranslateAcceleratorA(msg.hwnd, accelerators, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    // WM_QUIT carries the exit code; a failing GetMessageA ends the program with 1.
    return got == 0 ? int(msg.wParam) : 1;
}
