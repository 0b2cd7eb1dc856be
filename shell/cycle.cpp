// The step cycle's timing: one worker waits out the quiet time after the last step-cycle command and
// posts; the window thread applies the step.
#include "shell/mainwnd.h"

#include "core/steps.h"
#include "state/appstate.h"
#include "state/commands.h"

// Written by the window thread; the worker only reads the deadline and marks that it has posted. A
// post the window thread finds early (a command moved the deadline meanwhile) clears the mark and
// wakes the worker again.
static volatile LONG cyclePending;
static volatile LONG cyclePosted;
static volatile DWORD cycleDue;
static volatile LONG cycleQuit;
constexpr DWORD kCycleQuietMs = 1500;
// How long the exit waits for the worker, which only ever waits on its event.
constexpr DWORD kWorkerEndWaitMs = 1000;

static DWORD cycleWait() {
    if (!cyclePending || cyclePosted)
        return INFINITE;
    LONG left = LONG(cycleDue - GetTickCount());
    return left > 0 ? DWORD(left) : 0;
}

static void postWhenDue() {
    if (cycleQuit || !cyclePending || cyclePosted || LONG(cycleDue - GetTickCount()) > 0)
        return;
    InterlockedExchange(&cyclePosted, 1);
    PostMessageA(app.mainWindow, kCycleDueMessage, 0, 0);
}

static DWORD WINAPI CycleWorker(void *) {
    for (;;) {
        if (cycleQuit)
            return 0;
        DWORD rc = WaitForSingleObject(app.cycleWakeEvent, cycleWait());
        if (rc == WAIT_OBJECT_0) {
            ResetEvent(app.cycleWakeEvent);
            continue;
        }
        if (rc == WAIT_FAILED) {
            // The event cannot be waited on: every further wait would fail at once. The worker sleeps
            // out the pending step instead, then ends; the next command starts a new one.
            for (DWORD wait; !cycleQuit && (wait = cycleWait()) != INFINITE;) {
                Sleep(wait);
                postWhenDue();
            }
            return 1;
        }
        postWhenDue();
    }
}

void scheduleCycleStep() {
    if (!app.cycleWakeEvent)
        return; // nothing could wake a worker: the step is shown but not applied
    bool sleeping = !cyclePending || cyclePosted;
    cycleDue = GetTickCount() + kCycleQuietMs;
    InterlockedExchange(&cyclePosted, 0);
    InterlockedExchange(&cyclePending, 1);
    // A worker that ended on a failing wait is replaced.
    if (app.cycleWorker && WaitForSingleObject(app.cycleWorker, 0) == WAIT_OBJECT_0) {
        CloseHandle(app.cycleWorker);
        app.cycleWorker = nullptr;
    }
    if (!app.cycleWorker)
        app.cycleWorker = CreateThread(nullptr, 0, CycleWorker, nullptr, 0, nullptr);
    // A worker sleeping toward an earlier deadline wakes then and sleeps on to this one; only one
    // waiting without a deadline needs waking, so a burst of commands costs no call into the system each.
    if (sleeping)
        SetEvent(app.cycleWakeEvent);
}

bool takeDueCycleStep() {
    if (!cyclePending)
        return false;
    if (LONG(cycleDue - GetTickCount()) > 0) {
        InterlockedExchange(&cyclePosted, 0);
        if (app.cycleWakeEvent)
            SetEvent(app.cycleWakeEvent);
        return false;
    }
    InterlockedExchange(&cyclePending, 0);
    return true;
}

void stopCycle() {
    // The display showed the dropped step, which never came in: the cycle goes on from the step applied.
    if (cyclePending && isStep(app.currentStep))
        app.cycleStep = app.currentStep;
    InterlockedExchange(&cyclePending, 0);
}

void endCycleWorker() {
    InterlockedExchange(&cycleQuit, 1);
    InterlockedExchange(&cyclePending, 0);
    if (!app.cycleWorker)
        return;
    if (app.cycleWakeEvent)
        SetEvent(app.cycleWakeEvent);
    WaitForSingleObject(app.cycleWorker, kWorkerEndWaitMs);
    CloseHandle(app.cycleWorker);
    app.cycleWorker = nullptr;
}
