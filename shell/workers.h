// Step-change notifications to the on-screen display, the message pump, and the worker threads.
#pragma once
#include <windows.h>

// Posts the step to the maker's on-screen display, when one runs.
void NotifyOsd(DWORD step);

// Dispatches the thread's messages as they come until `milliseconds` have passed. A WM_QUIT taken
// from the queue is posted again and ends the pump, so the message loop still sees it.
void PumpMessagesFor(DWORD milliseconds);

// Applies cycleStep once no further step-cycle command has come for 1500 ms, using cycleBusy.
// `parameter` is the generation the worker was started in; 0 when it applied, 1 when it was
// cancelled or stopped first.
DWORD WINAPI CycleWorker(void *parameter);

// Activates the user's scheme for a second, then the program's scheme again.
DWORD WINAPI SchemeBounceWorker(void *parameter);

// Starts a cycle worker for the current generation; the thread handle, or null.
HANDLE startCycleWorker();

// Stops every cycle worker: one still waiting ends without applying, one applying finishes under the
// application lock before any later application, and whatever it did is overridden by that.
void stopCycleWorkers();

// Cancels the worker in `slot` and gives it 500 ms to end. One still applying then is marked stale
// (it finishes under the application lock, and nothing it did outlives the next application) and
// its slot is emptied.
void retireCycleWorker(HANDLE *slot);

// The scheme bounce as the user-interface thread runs it at resume.
void bounceScheme();
