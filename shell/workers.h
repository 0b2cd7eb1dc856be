// Step-change notifications to the on-screen display and the worker threads.
#pragma once
#include <windows.h>

// Posts the step to the maker's on-screen display, when one runs.
void NotifyOsd(DWORD step);

// The long-lived step-cycle worker: applies cycleStep once no further step-cycle command has come for
// 1500 ms. Returns when the program ends (or, with 1, when its event cannot be waited on).
DWORD WINAPI CycleWorker(void *parameter);

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

// Drops a pending cycle step and ends the worker for good (exit), waiting at most `timeoutMs` for it.
void endCycleWorker(DWORD timeoutMs);

// The two halves of the scheme bounce: the user's scheme, then the program's again.
enum UserSchemeResult { UserSchemeUnread, UserSchemeRefused, UserSchemeActive };
UserSchemeResult activateUserScheme();
void activateOwnScheme();
