// Step-change notifications to the on-screen display, the message pump, and the worker threads.
#pragma once
#include <windows.h>

// Posts the step to the maker's on-screen display, when one runs.
void NotifyOsd(DWORD step);

// Dispatches the thread's messages as they come until `milliseconds` have passed. A WM_QUIT taken
// from the queue is posted again and ends the pump, so the message loop still sees it.
void PumpMessagesFor(DWORD milliseconds);

// The long-lived step-cycle worker: applies cycleStep once no further step-cycle command has come for
// 1500 ms, using cycleBusy. Returns when the program ends.
DWORD WINAPI CycleWorker(void *busyFlag);

// Activates the user's scheme for a second, then the program's scheme again.
DWORD WINAPI SchemeBounceWorker(void *parameter);

// The generation of the step cycle; every stop raises it.
LONG cycleGenerationNow();

// Puts cycleStep into effect 1500 ms from now, moving an earlier deadline; starts the worker when none
// runs yet.
void scheduleCycleStep();

// Stops the step cycle: a pending step is dropped, and a worker applying one finishes under the
// application lock before any later application, which overrides what it did.
void stopCycleWorkers();

// Stops the step cycle and ends its worker (exit).
void endCycleWorker();

// The scheme bounce as the user-interface thread runs it at resume.
void bounceScheme();
