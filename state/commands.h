// Command and message identifiers of the main window, the tray and the configuration dialog.
#pragma once
#include "core/control.h"

// Main window commands (WM_COMMAND low word); those other programs post come from core/control.h.
// Step cycle: notification code 0 cycles; 1 and 2 reset the throttle table.
constexpr unsigned kCmdStepCycle = kPostedStepCycle;
constexpr unsigned kCmdAbout = 104;
constexpr unsigned kCmdExit = kPostedExit;
constexpr unsigned kStepCommandBase = kPostedStepBase; // + step, 1-8; the whole wParam must match
constexpr unsigned kCmdStandByNow = 33071;
constexpr unsigned kCmdHibernateNow = 33072;
constexpr unsigned kCmdConfiguration = 33074;
constexpr unsigned kCmdShutDownNow = 33075;
constexpr unsigned kCmdAutoStartUp = 33076;
constexpr unsigned kCmdAutoPerformance = kPostedAutoPerformance;

constexpr unsigned StepCommand(unsigned step) { return kStepCommandBase + step; }

// Tray callback message (WM_APP + 100) and the mouse events it reports.
constexpr unsigned kTrayCallbackMessage = 0x8000 + 100;
constexpr unsigned kTrayDoubleClick = 515;   // WM_LBUTTONDBLCLK
constexpr unsigned kTrayRightButtonUp = 517; // WM_RBUTTONUP

// Sent to the on-screen display: WM_COMMAND with this low word and the step in the high word.
constexpr unsigned kOsdStepCommand = 108;

// Configuration dialog menu (menu 130).
constexpr unsigned kCmdRename = 32812;
constexpr unsigned kCmdSaveConfiguration = 32809;
constexpr unsigned kCmdLoadDefault = 32813;
constexpr unsigned kCmdConfigExit = 32810;
constexpr unsigned kCmdTimeout1Minute = 32793, kCmdTimeout2Minutes = 32794, kCmdTimeout3Minutes = 32795,
                   kCmdTimeout5Minutes = 32797, kCmdTimeout10Minutes = 32798, kCmdTimeout15Minutes = 32799,
                   kCmdTimeout20Minutes = 32800, kCmdTimeout25Minutes = 32801, kCmdTimeout30Minutes = 32802,
                   kCmdTimeout45Minutes = 32803, kCmdTimeout1Hour = 32804, kCmdTimeout2Hours = 32805,
                   kCmdTimeout3Hours = 32806, kCmdTimeout4Hours = 32807, kCmdTimeout5Hours = 32808,
                   kCmdTimeoutNever = 32811;
constexpr unsigned kCmdPanelLevelFirst = 32775; // "6%" (level 1) to 32789 "100%" (level 15)
constexpr unsigned kCmdPanelLevelLast = 32789;
constexpr unsigned kCmdScreenSaverOn = 33000, kCmdScreenSaverOff = 33001;
constexpr unsigned kCmdPerformance100 = 32771, kCmdPerformance75 = 32772, kCmdPerformance50 = 32773,
                   kCmdPerformance25 = 32774;
constexpr unsigned kCmdCpuClock = 32814;

// Configuration dialog controls (dialog 129).
constexpr unsigned kIdStepTree = 1003;     // "Tree1"
constexpr unsigned kIdSettingsTree = 1001; // "Tree2"
