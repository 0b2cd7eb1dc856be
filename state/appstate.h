// The program-wide state record of the tray program: exactly one exists for the life of the process.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include "machine/powrprof_once.h"

#include "state/stepsettings.h"

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

    // The step-cycle worker (one, long-lived): it only keeps time.
    HANDLE cycleWorker;
    HANDLE cycleWakeEvent; // manual-reset event "VOSK_KLVXP_MUTEX": a command moved the deadline, or the end

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
    DWORD switchedStep; // the step whose mode and display switches were last put in force, 0 none
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
