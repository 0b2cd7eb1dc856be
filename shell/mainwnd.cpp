// The hidden main window: commands of the tray menu and of outside programs, and power events.
#include "shell/mainwnd.h"

#include "configdialog/configdialog.h"
#include "configdialog/configdialog_ids.h"
#include "core/configrules.h"
#include "core/steps.h"
#include "engine/startup.h"
#include "engine/stepapply.h"
#include "machine/machine.h"
#include "resources/resource.h"
#include "screensaver/screensaver.h"
#include "shell/sessions.h"
#include "shell/workers.h"
#include "state/applock.h"
#include "state/appstate.h"
#include "state/commands.h"
#include "store/powerscheme.h"
#include "store/programfiles.h"
#include "store/regtext.h"
#include "store/schemes.h"
#include "tray/tray.h"

#include <cstdio>
#include <cstring>

// How long exit waits for the shell to take the icon away (a few milliseconds on Windows).
constexpr DWORD kTrayRemovalWaitMs = 100;
// How long the exit waits in all for a worker and the lock: the setup waits 10 s for the program to
// end, and the whole exit stays within 5 s.
constexpr DWORD kExitWaitMs = 3500;
// How soon a command that could not take the lock in time is tried again.
constexpr DWORD kRetryMs = 250;

static const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The notification area announces its restart with this message; the icon must be added again.
static const UINT taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
// Set once the icon is removed at exit: a restarting notification area must not bring it back.
static bool trayIconRemoved;

// Messages that apply a step or follow the power source. They are held until start-up has ended
// (its message boxes' modal loops must not apply a step before the scheme and the menu exist), and
// one that cannot take the lock in time is held and tried again: in their order, never unlocked.
struct HeldMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
constexpr unsigned kHeldMax = 32;
static HeldMessage held[kHeldMax];
static unsigned heldCount;
static bool startUpEnded, replaying;
// An exit asked for while the configuration dialog is open: it runs once the dialog has ended.
static bool exitPending;

void offerSteps(HMENU menu, bool onAcRule) {
    for (unsigned step = kFirstStep; step <= kLastStep; ++step) {
        bool offered = onAcRule ? acOffersStep(step, app.acFirstStep, app.acLastStep)
                                : dcOffersStep(step, app.dcFirstStep);
        EnableMenuItem(menu, StepCommand(step), MF_BYCOMMAND | (offered ? MF_ENABLED : MF_GRAYED));
    }
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

// `sourceChanged`: the step command a change of power source posted for itself. Its own flag travels
// with it, so another step command handled first neither skips its panel-level read nor takes the
// bounce away from it.
static bool switchStep(HWND window, DWORD step, bool sourceChanged) {
    // The whole switch under the lock: a worker finishing meanwhile must not move currentStep between
    // the capture of the step left and the application of the new one.
    ApplicationLock lock;
    if (!lock.held)
        return false;
    DWORD previous = app.currentStep;
    app.currentStep = step;
    if (!app.configOpen && !sourceChanged)
        readPanelLevel(0);
    captureStepState(previous, app.onAc);
    applyStep(window, &app.currentStep, previous);
    readPanelControl();
    applyPanelLevel();
    NotifyOsd(app.currentStep);
    // The bounce starts once the new source's step is in force, so the user's scheme really is
    // active for its second instead of racing the application.
    if (sourceChanged) {
        HANDLE bounce = CreateThread(nullptr, 0, SchemeBounceWorker, (void *)(ULONG_PTR)step, 0, nullptr);
        if (bounce)
            CloseHandle(bounce);
    }
    return true;
}

static bool cycleStep() {
    // Waiting for the lock takes sent messages: a change of power source handled meanwhile stops the
    // cycle, and the new source's step must then win over this command.
    LONG generation = cycleGenerationNow();
    ApplicationLock lock;
    if (!lock.held)
        return false;
    if (generation != cycleGenerationNow())
        return true;
    app.cycleStep = nextCycleStep(app.cycleStep, app.onAc != 0, app.acFirstStep, app.acLastStep, app.dcFirstStep);
    NotifyOsd(app.cycleStep);
    scheduleCycleStep();
    return true;
}

static bool powerSourceChanged(HWND window) {
    // A cycle worker may be in the middle of an application, which reads onAc to know whose step it
    // applies: the flags change only between applications.
    ApplicationLock lock;
    if (!lock.held)
        return false;
    SYSTEM_POWER_STATUS status;
    if (!machine::GetSystemPowerStatus(&status))
        return true;
    DWORD newStep;
    if (status.ACLineStatus == 0) {
        if (!app.onAc && app.onBattery)
            return true;
        app.onBattery = 1;
        app.onAc = 0;
        stopCycleWorkers();
        if (!app.configOpen)
            readPanelLevel(1);
        offerSteps(app.trayMenu, false);
        newStep = app.dcStep;
    } else if (status.ACLineStatus == 1) {
        if (!app.onBattery && app.onAc)
            return true;
        app.onAc = 1;
        app.onBattery = 0;
        stopCycleWorkers();
        if (!app.configOpen)
            readPanelLevel(2);
        offerSteps(app.trayMenu, true);
        newStep = app.acStep;
    } else {
        return true;
    }
    PostMessageA(window, kSourceStepMessage, newStep, 0);
    // An open dialog shows the half of a shared step that belongs to the new source; the scheme
    // bounce follows the step switch just posted.
    if (app.configOpen) {
        previewPanelLevel(0);
        if (stepSide(app.editStep, app.acLastStep, app.dcFirstStep) == AcAndDc)
            FillSettingsTree(app.configDialog, app.editStep, 0);
    }
    return true;
}

static bool suspended() {
    ApplicationLock lock;
    if (!lock.held)
        return false;
    SYSTEM_POWER_STATUS status = {};
    status.ACLineStatus = 1; // an unreadable status counts as mains, like any value but 0
    machine::GetSystemPowerStatus(&status);
    if (status.ACLineStatus == 0) {
        app.onBattery = 1;
        app.batteryAtSuspend = 1;
        app.onAc = 0;
    } else {
        app.onAc = 1;
        app.onBattery = 0;
        app.batteryAtSuspend = 0;
    }
    return true;
}

static bool resumed(HWND window) {
    {
        ApplicationLock lock;
        if (!lock.held)
            return false;
        if (app.clockSupport)
            probeClocks();
    }
    SYSTEM_POWER_STATUS status;
    if (!machine::GetSystemPowerStatus(&status) || status.ACLineStatus != (app.batteryAtSuspend ? 0 : 1))
        return true;
    // The user's second runs on a timer, not in a pump of its own: this handler may itself run inside
    // a wait for the lock, where no posted command (Exit among them) may be dispatched. The display
    // shows the step once the program's scheme is back; an unreadable user's scheme ends it all.
    UserSchemeResult user = activateUserScheme();
    if (user == UserSchemeActive && SetTimer(window, kBounceTimer, 1000, nullptr))
        return true;
    if (user == UserSchemeActive)
        activateOwnScheme(); // no timer to end the second: the program's scheme at once
    if (user != UserSchemeUnread)
        NotifyOsd(app.currentStep);
    return true;
}

static void showAbout(HWND window) {
    if (app.aboutOpen)
        return;
    app.aboutOpen = 1;
    DialogBoxParamA(app.instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), window, AboutDlgProc, 0);
    // Closed, or never created: either way the next request may open it.
    app.aboutOpen = 0;
}

// Runs the configuration dialog modally after storing the live state of the step in force, so the
// dialog starts from what is on the machine. The dialog enables the tray item again when it goes.
static void showConfiguration(HWND window) {
    // The tray item is grayed meanwhile, but an outside program may still post the command.
    if (app.configOpen)
        return;
    {
        // The step and the source are read under the lock, as a step command does: a cycle worker
        // applying meanwhile must not have its new step's state written into the old step's file.
        ApplicationLock lock;
        if (!lock.held)
            return; // a hung machine call: the dialog would wait on it at every step
        captureStepState(app.currentStep, app.onAc);
    }
    EnableMenuItem(app.trayMenu, kCmdConfiguration, MF_BYCOMMAND | MF_GRAYED);
    DialogBoxParamA(app.instance, MAKEINTRESOURCEA(IDD_CONFIGURATION), window, ConfigDialogProc, 0);
    // The dialog enables it when it goes; one that could not be created must not leave it grayed.
    if (!app.configOpen)
        EnableMenuItem(app.trayMenu, kCmdConfiguration, MF_BYCOMMAND | MF_ENABLED);
    if (exitPending && !app.configOpen)
        DestroyWindow(window);
}

// Puts the display mode back when step 6 changed it.
static void guardDisplayMode() {
    if (app.currentStep == kDisplaySwitchStep)
        restoreSavedDisplayMode();
}

// Before the session or the program ends: no pending cycle step may come in afterwards (and change the
// resolution or write step files), and step 6's resolution goes back.
static void stopCycleAndGuardDisplay() {
    ApplicationLock lock;
    stopCycleWorkers();
    guardDisplayMode();
}

static void toggleAutoStartUp(HWND window) {
    HMENU bar = GetMenu(window);
    if (app.autoStartUp) {
        // The "Run" entry stays; a start from it ends quietly while this is "0".
        if (writeProgramText("AUTOSTARTUP", "0")) {
            app.autoStartUp = 0;
            CheckMenuItem(bar, kCmdAutoStartUp, MF_BYCOMMAND | MF_UNCHECKED);
        }
        return;
    }
    // Quoted: in a folder with blanks ("C:\Program Files\...") Windows would first try "C:\Program.exe".
    char program[MAX_PATH], command[MAX_PATH + 8];
    if (!programFilePath("Lumora.exe", program, sizeof program) ||
        snprintf(command, sizeof command, "\"%s\" 1", program) >= int(sizeof command))
        return;
    // From Windows Vista on a standard user cannot write the machine's key: the entry is the user's own.
    HKEY runRoot = ntSixOrLater() ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    if (writeRegText(runRoot, kRunKey, "Kelvane", command) && writeProgramText("AUTOSTARTUP", "1")) {
        app.autoStartUp = 1;
        CheckMenuItem(bar, kCmdAutoStartUp, MF_BYCOMMAND | MF_CHECKED);
    }
}

static bool toggleAutoPerformance(HWND window) {
    ApplicationLock lock;
    if (!lock.held)
        return false;
    if (writeProgramText("AUTOPERFORMANCE", app.autoPerformance ? "0" : "1"))
        app.autoPerformance = !app.autoPerformance;
    resetFeatureItems();
    if (app.isXp)
        resetThrottleTable(0);
    if (app.configOpen)
        FillSettingsTree(app.configDialog, app.editStep, 0);
    else
        readPanelLevel(0);
    captureStepState(app.currentStep, app.onAc);
    readPanelControl();
    applyStep(window, &app.currentStep, 0);
    applyPanelLevel();
    return true;
}

void ShutDownNow() { machine::ShutDown(app.isNt ? EWX_POWEROFF : EWX_SHUTDOWN); }

// Every way out (Exit, WM_CLOSE from the setup, Quellon or kelvanectl) comes here. An open
// configuration dialog is ended first, with its own prompt for unsaved edits, and the exit runs once
// its modal loop has returned: destroying it under its own handlers would let them reach the machine
// after the hand-back.
static void requestExit(HWND window) {
    if (app.configOpen) {
        exitPending = true;
        EndConfigDialog();
        return;
    }
    DestroyWindow(window);
}

// The exit (WM_DESTROY): the machine is handed back, and nothing reaches it afterwards.
static void destroyed(HWND window) {
    // No worker may change the machine once it has been put back: end the cycle worker (one that is
    // applying finishes first) before the resolution, the screen saver and the scheme are restored.
    // The worker and the lock share one bound, so the whole exit ends within 5 s.
    DWORD start = GetTickCount();
    endCycleWorker(kExitWaitMs);
    KillTimer(window, kBounceTimer);
    KillTimer(window, kRetryTimer);
    heldCount = 0;
    trayIconRemoved = true;
    DWORD spent = GetTickCount() - start;
    // One take for the whole hand-back; its release closes the lock, so a worker or a command taken in
    // a message box afterwards changes nothing.
    lockForExit(spent < kExitWaitMs ? kExitWaitMs - spent : 0);
    {
        stopCycleAndGuardDisplay();
        RemoveTrayIconWithin(app.mainWindow, kTrayRemovalWaitMs);
        applyScreenSaver(app.screenSaverActiveAtStart, app.screenSaverPath);
        handBackAtExit();
    }
    unlockApplication();
    if (app.treeImageList) {
        ImageList_Destroy(app.treeImageList);
        app.treeImageList = nullptr;
    }
    PostQuitMessage(0);
}

static bool isHeldKind(UINT message, WPARAM wParam) {
    if (message == WM_COMMAND)
        return (wParam >= StepCommand(kFirstStep) && wParam <= StepCommand(kLastStep)) ||
               LOWORD(wParam) == kCmdStepCycle || LOWORD(wParam) == kCmdAutoPerformance;
    return message == kSourceStepMessage || message == WM_POWERBROADCAST;
}

// Runs a message of the held kinds; false when it could not take the lock in time (nothing was done).
static bool runHeldKind(HWND window, const HeldMessage &m) {
    if (m.message == kSourceStepMessage)
        return !isStep(DWORD(m.wParam)) || switchStep(window, DWORD(m.wParam), true);
    if (m.message == WM_POWERBROADCAST) {
        if (m.wParam == PBT_APMPOWERSTATUSCHANGE)
            return powerSourceChanged(window);
        if (m.wParam == PBT_APMSUSPEND)
            return suspended();
        if (m.wParam == PBT_APMRESUMECRITICAL || m.wParam == PBT_APMRESUMESUSPEND)
            return resumed(window);
        return true;
    }
    unsigned code = HIWORD(m.wParam);
    if (LOWORD(m.wParam) == kCmdAutoPerformance)
        return toggleAutoPerformance(window);
    if (LOWORD(m.wParam) != kCmdStepCycle)
        return switchStep(window, DWORD(m.wParam - kStepCommandBase), false);
    if (code == 0)
        return cycleStep();
    if (code == 1 || code == 2) {
        ApplicationLock lock;
        if (!lock.held)
            return false;
        resetThrottleTable(code);
        applyStep(window, &app.currentStep, 0);
    }
    return true;
}

static void hold(HWND window, const HeldMessage &m, bool retry) {
    if (heldCount == kHeldMax) { // the oldest goes: a later step overrides it anyway
        memmove(held, held + 1, (kHeldMax - 1) * sizeof held[0]);
        --heldCount;
    }
    held[heldCount++] = m;
    if (retry)
        SetTimer(window, kRetryTimer, kRetryMs, nullptr);
}

// Runs the held messages in their order, until one cannot take the lock (it is tried again later).
static void runHeld(HWND window) {
    if (replaying || !startUpEnded)
        return;
    replaying = true;
    while (heldCount > 0) {
        HeldMessage m = held[0];
        memmove(held, held + 1, (heldCount - 1) * sizeof held[0]);
        --heldCount;
        if (!runHeldKind(window, m)) {
            // Back to the front, unless messages held during its wait filled the queue: then it, the
            // oldest, goes, as in hold().
            if (heldCount < kHeldMax) {
                memmove(held + 1, held, heldCount * sizeof held[0]);
                held[0] = m;
                ++heldCount;
            }
            SetTimer(window, kRetryTimer, kRetryMs, nullptr);
            break;
        }
    }
    replaying = false;
}

void StartUpEnded(HWND window) {
    startUpEnded = true;
    runHeld(window);
}

static LRESULT command(HWND window, WPARAM wParam, LPARAM lParam) {
    unsigned id = LOWORD(wParam);
    switch (id) {
    case kCmdAbout:
        showAbout(window);
        return 0;
    case kCmdExit:
        requestExit(window); // the clean-up, display-mode guard included, runs in WM_DESTROY
        return 0;
    case kCmdStandByNow:
        machine::SetSuspendState(FALSE, FALSE, FALSE);
        return 0;
    case kCmdHibernateNow:
        machine::SetSuspendState(TRUE, FALSE, FALSE);
        return 0;
    case kCmdShutDownNow:
        ShutDownNow();
        return 0;
    case kCmdAutoStartUp:
        toggleAutoStartUp(window);
        return 0;
    case kCmdConfiguration:
        showConfiguration(window);
        return 0;
    default:
        return DefWindowProcA(window, WM_COMMAND, wParam, lParam);
    }
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    app.trayMenu = GetSubMenu(GetMenu(window), 0);
    if (message == taskbarCreatedMessage && message != 0) {
        if (!trayIconRemoved)
            addTrayIconForCurrentStep(window);
        return 0;
    }
    if (isHeldKind(message, wParam)) {
        HeldMessage m = {message, wParam, lParam};
        if (!startUpEnded || heldCount > 0 || replaying)
            hold(window, m, startUpEnded && !replaying);
        else if (!runHeldKind(window, m))
            hold(window, m, true);
        return 0;
    }
    switch (message) {
    case WM_COMMAND:
        return command(window, wParam, lParam);
    case kShowMessageMessage:
        showHandedMessages(); // carries nothing: the texts stay in the process
        return 0;
    case WM_TIMER:
        if (wParam == kRetryTimer) {
            KillTimer(window, kRetryTimer);
            runHeld(window);
            return 0;
        }
        if (wParam != kBounceTimer)
            return DefWindowProcA(window, message, wParam, lParam);
        KillTimer(window, kBounceTimer);
        activateOwnScheme();
        NotifyOsd(app.currentStep); // the end of the resume bounce
        return 0;
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
    case WM_QUERYENDSESSION: {
        ApplicationLock lock;
        if (!lock.held)
            return TRUE;
        stopCycleAndGuardDisplay();
        readPanelLevel(0);
        captureStepState(app.currentStep, app.onAc);
        return TRUE;
    }
    case WM_ENDSESSION:
        // A step applied since the query (the session may end long after it) must not outlive it.
        if (wParam) {
            stopCycleAndGuardDisplay();
            handBackAtSessionEnd(kExitWaitMs);
        }
        return 0;
    case WM_WTSSESSION_CHANGE:
        sessionChanged(window, wParam, lParam);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        RECT client;
        GetClientRect(window, &client);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE:
        requestExit(window);
        return 0;
    case WM_DESTROY:
        destroyed(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
