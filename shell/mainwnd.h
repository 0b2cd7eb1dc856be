// The hidden main window and the parts of the shell behind it. Everything here runs on the window
// thread, the only one that touches the machine.
#pragma once
#include <windows.h>

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Runs what waited for the operation that has just ended (set as the waiting runner at start-up).
void RunWaitingMessages();
// Start-up has ended well: what waited for it may run once its operation ends.
void StartUpEnded();

// Step commands (stepcommands.cpp).
// Grays or enables the step items by the rule of the power source (`onAcRule` 1: mains).
void offerSteps(HMENU menu, bool onAcRule);
// Posts the step to the maker's on-screen display, when one runs.
void NotifyOsd(DWORD step);
// Puts `step` into force; `sourceChanged`: the step a change of power source posted for itself, which
// skips the panel-level read and starts the scheme bounce.
void switchStep(HWND window, DWORD step, bool sourceChanged);
// The step-cycle command: shows the next step and applies it once the commands stop for 1500 ms.
void cycleCommand();
// The cycle worker's message: the quiet time has passed, the pending cycle step is applied.
void cycleStepDue(HWND window);
void toggleAutoPerformance(HWND window);
// Notification codes 1 and 2 of the step-cycle command: the throttle table reset, the step applied again.
void resetThrottle(HWND window, unsigned code);

// The step cycle's timing (cycle.cpp): a worker waits out the quiet time and posts kCycleDueMessage.
void scheduleCycleStep();
// Whether the pending cycle step's quiet time has passed; false when none is pending. A step that is
// pending but not yet due has the worker wait for it again.
bool takeDueCycleStep();
// Drops a pending cycle step: the cycle goes on from the step applied.
void stopCycle();
// Drops a pending cycle step and ends the worker for good (exit).
void endCycleWorker();

// Power events (powerevents.cpp).
void powerSourceChanged(HWND window);
void suspended();
void resumed(HWND window);
// The user's scheme for a second, then the program's again; one bounce at a time. `tellOsd`: the
// display shows the step at the end (resume).
void startSchemeBounce(HWND window, bool tellOsd);
void endSchemeBounce(HWND window);

// The way out (exit.cpp).
// Exit and WM_CLOSE: an open configuration dialog ends first; during an operation the exit waits.
void requestExit(HWND window);
// WM_DESTROY: the machine is handed back, and nothing reaches it afterwards.
void exitDestroyed(HWND window);
LRESULT queryEndSession();
void endSession(HWND window, WPARAM ending, LPARAM reason);
// Whether the exit has begun: nothing that waited runs any more.
bool exiting();

// Menu commands that change no step (menucommands.cpp): About, Configuration, start at log-on,
// standby, hibernation and shut-down.
bool menuCommand(HWND window, unsigned id);
void showAbout(HWND window);
