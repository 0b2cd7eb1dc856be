// The hidden main window: its procedure, and the dispatch of what touches the machine. One operation
// on the machine runs at a time; what arrives meanwhile waits for its end.
#include "shell/mainwnd.h"

#include "core/steps.h"
#include "shell/sessions.h"
#include "state/appstate.h"
#include "state/commands.h"
#include "state/operation.h"
#include "tray/tray.h"

// The notification area announces its restart with this message; the icon must be added again.
static const UINT taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
// Start-up has ended well: until then nothing that waits may run.
static bool startedUp;

void StartUpEnded() {
    startedUp = true;
    // An Exit during start-up's boxes ends the program before anything that waited with it runs.
    if (exitRemembered())
        dropWaiting();
}

// Shows the step in force in the notification area, as a step application does.
static void addTrayIconForCurrentStep(HWND window) {
    if (!isStep(app.currentStep)) {
        SetTrayIcon(window, IDI_STEP1, "Kelvane", NIM_ADD);
        return;
    }
    char name[kTextSize] = {};
    GetMenuStringA(app.trayMenu, stepIndex(app.currentStep), name, sizeof name, MF_BYPOSITION);
    SetTrayIcon(window, kStepIcons[stepIndex(app.currentStep)], name, NIM_ADD);
}

static bool isStepCommand(WPARAM wParam) {
    return wParam >= StepCommand(kFirstStep) && wParam <= StepCommand(kLastStep);
}

// The messages that touch the machine: they run only outside every operation.
static bool touchesMachine(UINT message, WPARAM wParam) {
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kCmdStepCycle:
        case kCmdAutoPerformance:
        case kCmdStandByNow:
        case kCmdHibernateNow:
        case kCmdShutDownNow:
            return true;
        default:
            return isStepCommand(wParam);
        }
    case WM_TIMER:
        return wParam == kBounceTimer;
    case kSourceStepMessage:
    case kCycleDueMessage:
    case WM_POWERBROADCAST:
    case WM_WTSSESSION_CHANGE:
        return true;
    default:
        return false;
    }
}

// Of a step or cycle command only the latest waits; the cycle's resets and every power event keep
// their order.
static bool latestOnly(UINT message, WPARAM wParam) {
    return message == WM_COMMAND && (isStepCommand(wParam) || wParam == kCmdStepCycle);
}

static void runMachineMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kSourceStepMessage:
        if (isStep(DWORD(wParam)))
            switchStep(window, DWORD(wParam), true);
        return;
    case kCycleDueMessage:
        cycleStepDue(window);
        return;
    case WM_TIMER:
        endSchemeBounce(window);
        return;
    case WM_WTSSESSION_CHANGE: {
        MachineOperation operation;
        sessionChanged(window, wParam, lParam);
        return;
    }
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMPOWERSTATUSCHANGE)
            powerSourceChanged(window);
        else if (wParam == PBT_APMSUSPEND)
            suspended();
        else if (wParam == PBT_APMRESUMECRITICAL || wParam == PBT_APMRESUMESUSPEND)
            resumed(window);
        return;
    default:
        break;
    }
    unsigned id = LOWORD(wParam), code = HIWORD(wParam);
    if (id == kCmdAutoPerformance)
        toggleAutoPerformance(window);
    else if (id == kCmdStepCycle && code == 0)
        cycleCommand();
    else if (id == kCmdStepCycle && (code == 1 || code == 2))
        resetThrottle(window, code);
    else if (isStepCommand(wParam))
        switchStep(window, DWORD(wParam - kStepCommandBase), false);
    else
        menuCommand(window, id);
}

void RunWaitingMessages() {
    if (!startedUp || exiting()) {
        dropWaiting(); // a start-up that failed ends through its own path
        return;
    }
    MSG waiting;
    while (takeWaiting(waiting) && waiting.message != WM_CLOSE)
        runMachineMessage(app.mainWindow, waiting.message, waiting.wParam, waiting.lParam);
    if (exitRemembered()) {
        dropWaiting();
        requestExit(app.mainWindow);
    }
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    app.trayMenu = GetSubMenu(GetMenu(window), 0);
    if (message == taskbarCreatedMessage && message != 0) {
        if (!exiting())
            addTrayIconForCurrentStep(window);
        return 0;
    }
    if (touchesMachine(message, wParam)) {
        if (operationRunning())
            letWait(message, wParam, lParam, latestOnly(message, wParam));
        else if (!exiting() && !exitRemembered())
            runMachineMessage(window, message, wParam, lParam);
        return 0;
    }
    switch (message) {
    case WM_COMMAND:
        return menuCommand(window, LOWORD(wParam)) ? 0 : DefWindowProcA(window, message, wParam, lParam);
    case kTrayCallbackMessage:
        if (lParam == kTrayDoubleClick) {
            showAbout(window);
            return 0;
        }
        if (lParam == kTrayRightButtonUp) {
            POINT cursor;
            GetCursorPos(&cursor);
            ShowTrayMenu(window, cursor.x, cursor.y, 0);
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_QUERYENDSESSION:
        return queryEndSession();
    case WM_ENDSESSION:
        endSession(window, wParam, lParam);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE:
        requestExit(window);
        return 0;
    case WM_DESTROY:
        exitDestroyed(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
