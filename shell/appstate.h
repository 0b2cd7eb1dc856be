// The program-wide state record of the tray program: exactly one exists for the life of the process.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "machine/powrprof_once.h"

#include "store/stepsettings.h"

constexpr size_t kTextSize = 128; // names, paths and menu texts

struct AppState {
    // Identity, windows and menus.
    HINSTANCE instance;
    char windowName[kTextSize]; // "Lumora"
    char className[kTextSize];  // "LUMORA"
    char caption[kTextSize];    // "Kelvane", the title of every message box
    HWND mainWindow;
    HMENU trayMenu;
    HIMAGELIST treeImageList;
    HWND osdWindow;
    DWORD aboutOpen;

    // Steps and power source.
    DWORD currentStep;
    DWORD cycleStep;
    DWORD acStep;
    DWORD dcStep;
    DWORD acFirstStep;
    DWORD acLastStep;
    DWORD dcFirstStep;
    DWORD onAc;
    DWORD onBattery;
    DWORD batteryAtSuspend;
    DWORD sourceSwitched;

    // Step-cycle workers.
    HANDLE cycleThreadA;
    HANDLE cycleThreadB;
    HANDLE cycleCancelEvent; // manual-reset event "VOSK_KLVXP_MUTEX"
    volatile LONG cycleBusy;

    // Power schemes, step settings and options.
    UINT ownScheme;
    UINT userScheme;
    StepSettings activeSettings;
    StepSettings editSettings;
    GLOBAL_POWER_POLICY globalPolicy;
    DWORD defaultCopyMark;
    char iniPath[MAX_PATH];
    DWORD autoStartUp;
    DWORD autoPerformance;

    // Platform and firmware capabilities.
    DWORD isNt;
    DWORD isXp;
    DWORD standbyAllowed;
    DWORD hibernateAllowed;
    DWORD throttleSupported;
    DWORD clockSupport; // 0 not offered, 1 available, 2 offered but no usable clock
    DWORD qmodSupported;
    DWORD panelControl;

    // Panel level, processor clock and throttle tables (by step, index step - 1).
    DWORD acPanelLevel;
    DWORD clockMhz[3];
    DWORD clockLowIndex;
    DWORD clockMidIndex;
    DWORD clockHighIndex;
    DWORD stepClockIndex[8];
    BYTE stepThrottleAc[8];
    BYTE stepThrottleDc[8];
    DWORD perfItemShown[8];

    // Display and screen saver.
    DEVMODEA savedDisplayMode;
    DWORD vidmoResolution;
    DWORD screenSaverActiveAtStart;
    char screenSaverPath[kTextSize];

    // Configuration dialog.
    DWORD configOpen;
    HWND configDialog;
    DWORD editStep;
    HWND stepTree;
    HWND labelEdit;
    WNDPROC labelEditProc;
    DWORD labelEditing;
    HMENU configMenu;
    DWORD selectedSetting;
    DWORD stepTreeActive;
    DWORD configModified;
    BYTE performanceLevels[4];
};

extern AppState app;

// Puts every field back to its initial value (start of the process; tests).
void resetAppState();

// Message boxes without owner, titled with the caption: errors, warnings and yes/no questions.
// An error or warning raised while the application lock is held waits until the lock is released.
void showError(const char *text);
void showWarning(const char *text);
int askQuestion(const char *text);

// The one program-wide lock of step applications, captures and panel-level operations, so the
// user-interface thread and a step-cycle worker never interleave on the settings, files or registry.
// It may be taken again by the thread that holds it.
void lockApplication();
// Releases the lock; the outermost release then shows the messages raised while it was held.
void unlockApplication();

// Waits for `object` up to `timeoutMs` while still taking messages sent to this thread's windows;
// the result of the wait (WAIT_OBJECT_0, WAIT_TIMEOUT ...).
DWORD waitTakingSentMessages(HANDLE object, DWORD timeoutMs);

struct ApplicationLock {
    ApplicationLock() { lockApplication(); }
    ~ApplicationLock() { unlockApplication(); }
    ApplicationLock(const ApplicationLock &) = delete;
    ApplicationLock &operator=(const ApplicationLock &) = delete;
};
