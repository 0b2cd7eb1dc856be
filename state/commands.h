// Command and message identifiers of the main window and the tray (the dialog's are in configdialog/).
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

// Private messages of the main window. The step command a change of power source posts for itself,
// wParam the step: it alone skips the panel-level read and starts the scheme bounce.
constexpr unsigned kSourceStepMessage = 0x8000 + 101;
// The cycle worker's word that the quiet time has passed; it carries nothing, the window thread checks.
constexpr unsigned kCycleDueMessage = 0x8000 + 102;
// The timer that ends the scheme bounce.
constexpr unsigned kBounceTimer = 1;

// Sent to the on-screen display: WM_COMMAND with this low word and the step in the high word.
constexpr unsigned kOsdStepCommand = 108;
