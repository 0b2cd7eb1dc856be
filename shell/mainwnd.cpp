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

static const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The notification area announces its restart with this message; the icon must be added again.
static const UINT taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
// Set once the icon is removed at exit: a restarting notification area must not bring it back.
static bool trayIconRemoved;

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
static void switchStep(HWND window, DWORD step, bool sourceChanged) {
    // The whole switch under the lock: a worker finishing meanwhile must not move currentStep between
    // the capture of the step left and the application of the new one.
    ApplicationLock lock;
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
}

static void cycleStep() {
    // Waiting for the lock takes sent messages: a change of power source handled meanwhile stops the
    // cycle, and the new source's step must then win over this command.
    LONG generation = cycleGenerationNow();
    ApplicationLock lock;
    if (generation != cycleGenerationNow())
        return;
    app.cycleStep = nextCycleStep(app.cycleStep, app.onAc != 0, app.acFirstStep, app.acLastStep, app.dcFirstStep);
    NotifyOsd(app.cycleStep);
    scheduleCycleStep();
}

static void powerSourceChanged(HWND window) {
    // A cycle worker may be in the middle of an application, which reads onAc to know whose step it
    // applies: the flags change only between applications.
    ApplicationLock lock;
    SYSTEM_POWER_STATUS status;
    if (!machine::GetSystemPowerStatus(&status))
        return;
    DWORD newStep;
    if (status.ACLineStatus == 0) {
        if (!app.onAc && app.onBattery)
            return;
        app.onBattery = 1;
        app.onAc = 0;
        stopCycleWorkers();
        if (!app.configOpen)
            readPanelLevel(1);
        offerSteps(app.trayMenu, false);
        newStep = app.dcStep;
    } else if (status.ACLineStatus == 1) {
        if (!app.onBattery && app.onAc)
            return;
        app.onAc = 1;
        app.onBattery = 0;
        stopCycleWorkers();
        if (!app.configOpen)
            readPanelLevel(2);
        offerSteps(app.trayMenu, true);
        newStep = app.acStep;
    } else {
        return;
    }
    PostMessageA(window, kSourceStepMessage, newStep, 0);
    // An open dialog shows the half of a shared step that belongs to the new source; the scheme
    // bounce follows the step switch just posted.
    if (app.configOpen) {
        previewPanelLevel(0);
        if (stepSide(app.editStep, app.acLastStep, app.dcFirstStep) == AcAndDc)
            FillSettingsTree(app.configDialog, app.editStep, 0);
    }
}

static void suspended() {
    ApplicationLock lock;
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
}

static void resumed(HWND window) {
    if (app.clockSupport) {
        ApplicationLock lock;
        probeClocks();
    }
    SYSTEM_POWER_STATUS status;
    if (!machine::GetSystemPowerStatus(&status) || status.ACLineStatus != (app.batteryAtSuspend ? 0 : 1))
        return;
    // The user's second runs on a timer, not in a pump of its own: this handler may itself run inside
    // a wait for the lock, where no posted command (Exit among them) may be dispatched.
    if (activateUserScheme() && !SetTimer(window, kBounceTimer, 1000, nullptr))
        activateOwnScheme(); // no timer to end the second: the program's scheme at once
    NotifyOsd(app.currentStep);
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
        captureStepState(app.currentStep, app.onAc);
    }
    EnableMenuItem(app.trayMenu, kCmdConfiguration, MF_BYCOMMAND | MF_GRAYED);
    DialogBoxParamA(app.instance, MAKEINTRESOURCEA(IDD_CONFIGURATION), window, ConfigDialogProc, 0);
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

static void toggleAutoPerformance(HWND window) {
    ApplicationLock lock;
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
}

void ShutDownNow() { machine::ShutDown(app.isNt ? EWX_POWEROFF : EWX_SHUTDOWN); }

static void destroyed(HWND window) {
    // No worker may change the machine once it has been put back: end the cycle worker (one that is
    // applying finishes first) before the resolution, the screen saver and the scheme are restored.
    // Every way out comes here (Exit, WM_CLOSE from the setup), so each restores step 6's resolution.
    endCycleWorker();
    KillTimer(window, kBounceTimer);
    trayIconRemoved = true;
    {
        // One take for the whole hand-back: the window thread waits for the lock once, bounded.
        ApplicationLock lock;
        stopCycleAndGuardDisplay();
        RemoveTrayIconWithin(app.mainWindow, kTrayRemovalWaitMs);
        applyScreenSaver(app.screenSaverActiveAtStart, app.screenSaverPath);
        // When the active scheme cannot be read, ours may well be it: hand the user's back first.
        UINT active = 0;
        if (!schemes::getActive(&active) || active == app.ownScheme)
            restoreUserScheme();
        else
            schemes::remove(app.ownScheme);
    }
    if (app.treeImageList) {
        ImageList_Destroy(app.treeImageList);
        app.treeImageList = nullptr;
    }
    PostQuitMessage(0);
}

static LRESULT command(HWND window, WPARAM wParam, LPARAM lParam) {
    unsigned id = LOWORD(wParam), code = HIWORD(wParam);
    if (wParam >= StepCommand(kFirstStep) && wParam <= StepCommand(kLastStep)) {
        switchStep(window, DWORD(wParam - kStepCommandBase), false);
        return 0;
    }
    switch (id) {
    case kCmdStepCycle:
        if (code == 0) {
            cycleStep();
        } else if (code == 1 || code == 2) {
            ApplicationLock lock;
            resetThrottleTable(code);
            applyStep(window, &app.currentStep, 0);
        }
        return 0;
    case kCmdAbout:
        showAbout(window);
        return 0;
    case kCmdExit:
        DestroyWindow(window); // the clean-up, display-mode guard included, runs in WM_DESTROY
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
    case kCmdAutoPerformance:
        toggleAutoPerformance(window);
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
    switch (message) {
    case WM_COMMAND:
        return command(window, wParam, lParam);
    case WM_POWERBROADCAST:
        if (wParam == PBT_APMPOWERSTATUSCHANGE)
            powerSourceChanged(window);
        else if (wParam == PBT_APMSUSPEND)
            suspended();
        else if (wParam == PBT_APMRESUMECRITICAL || wParam == PBT_APMRESUMESUSPEND)
            resumed(window);
        return 0;
    case kSourceStepMessage:
        if (isStep(DWORD(wParam)))
            switchStep(window, DWORD(wParam), true);
        return 0;
    case kShowMessageMessage:
        showHandedMessage(lParam);
        return 0;
    case WM_TIMER:
        if (wParam != kBounceTimer)
            return DefWindowProcA(window, message, wParam, lParam);
        KillTimer(window, kBounceTimer);
        activateOwnScheme();
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
        stopCycleAndGuardDisplay();
        readPanelLevel(0);
        captureStepState(app.currentStep, app.onAc);
        return TRUE;
    }
    case WM_ENDSESSION:
        // A step applied since the query (the session may end long after it) must not outlive it.
        if (wParam)
            stopCycleAndGuardDisplay();
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        RECT client;
        GetClientRect(window, &client);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        destroyed(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
