// Step-change notifications to the on-screen display and the worker threads.
#include "shell/workers.h"

#include "core/steps.h"
#include "engine/stepapply.h"
#include "machine/machine.h"
#include "state/applock.h"
#include "state/appstate.h"
#include "state/commands.h"
#include "store/schemes.h"

// The step-cycle timer. One long-lived worker applies cycleStep once no further command has come for
// 1500 ms: each command moves the deadline and wakes it through the cancel event; a stop clears the
// pending step and raises the generation. Changed under the application lock; the worker reads them
// unlocked only to choose how long to sleep, and checks them again under the lock before applying.
static volatile LONG cycleGeneration;
static volatile LONG cyclePending;
static volatile DWORD cycleDue;
static volatile LONG cycleQuit;
constexpr DWORD kCycleQuietMs = 1500;

void NotifyOsd(DWORD step) {
    app.osdWindow = FindWindowA("CNewOsd", "VKTOSD2");
    if (!app.osdWindow)
        app.osdWindow = FindWindowA("VKTOSD", "VKTOSD");
    if (!app.osdWindow)
        return;
    WPARAM wParam = (WPARAM(step & 0xFFFF) << 16) | kOsdStepCommand;
    PostMessageA(app.osdWindow, WM_COMMAND, wParam, (LPARAM)GetDlgItem(app.osdWindow, kOsdStepCommand));
}

// Applies the pending step when its deadline has passed and nothing stopped it meanwhile.
static void applyDueCycleStep() {
    ApplicationLock lock;
    if (!lock.held || cycleQuit || !cyclePending || LONG(cycleDue - GetTickCount()) > 0)
        return;
    cyclePending = 0;
    if (!app.configOpen)
        readPanelLevel(app.onAc ? 1 : 2);
    captureStepState(app.currentStep, app.onAc);
    applyStep(app.mainWindow, &app.cycleStep, app.currentStep);
    applyPanelLevel();
    app.currentStep = app.cycleStep;
    // A load error must not hold the worker in a message box: the window thread shows it.
    handPendingMessagesTo(app.mainWindow);
}

static DWORD cycleWait() {
    if (!cyclePending)
        return INFINITE;
    LONG left = LONG(cycleDue - GetTickCount());
    return left > 0 ? DWORD(left) : 0;
}

DWORD WINAPI CycleWorker(void *) {
    for (;;) {
        if (cycleQuit)
            return 0;
        // Woken early when a command moves the deadline, a stop clears it, or the program ends.
        DWORD rc = WaitForSingleObject(app.cycleCancelEvent, cycleWait());
        if (rc == WAIT_OBJECT_0) {
            ResetEvent(app.cycleCancelEvent);
            continue;
        }
        if (rc == WAIT_FAILED) {
            // The event cannot be waited on: every further wait would fail at once. The pending step
            // counts as timed out, also when a command moved its deadline during the sleep; the worker
            // then ends, and the next command starts a new one.
            for (DWORD wait; !cycleQuit && (wait = cycleWait()) != INFINITE;) {
                Sleep(wait);
                applyDueCycleStep();
            }
            return 1;
        }
        applyDueCycleStep();
    }
}

LONG cycleGenerationNow() { return cycleGeneration; }

void scheduleCycleStep() {
    ApplicationLock lock;
    if (!app.cycleCancelEvent)
        return; // nothing could wake a worker: the step is shown but not applied
    bool idle = !cyclePending;
    cycleDue = GetTickCount() + kCycleQuietMs;
    cyclePending = 1;
    // A worker that ended on a failing wait is replaced.
    if (app.cycleThreadA && WaitForSingleObject(app.cycleThreadA, 0) == WAIT_OBJECT_0) {
        CloseHandle(app.cycleThreadA);
        app.cycleThreadA = nullptr;
    }
    if (!app.cycleThreadA)
        app.cycleThreadA = CreateThread(nullptr, 0, CycleWorker, nullptr, 0, nullptr);
    // A worker sleeping toward an earlier deadline wakes then and sleeps on to this one; only an idle
    // worker needs waking, so a burst of commands costs no call into the system each.
    if (idle)
        SetEvent(app.cycleCancelEvent);
}

void stopCycleWorkers() {
    ApplicationLock lock;
    InterlockedIncrement(&cycleGeneration);
    // The display showed the dropped step, which never came in: the cycle goes on from the step applied.
    if (cyclePending && isStep(app.currentStep))
        app.cycleStep = app.currentStep;
    cyclePending = 0;
    if (app.cycleCancelEvent)
        SetEvent(app.cycleCancelEvent);
}

void endCycleWorker(DWORD timeoutMs) {
    // No lock needed: the worker looks at the quit flag under the lock before it applies anything,
    // so the only wait here is the bounded one for the worker.
    cycleQuit = 1;
    cyclePending = 0;
    if (!app.cycleThreadA)
        return;
    if (app.cycleCancelEvent)
        SetEvent(app.cycleCancelEvent);
    waitTakingSentMessages(app.cycleThreadA, timeoutMs);
    CloseHandle(app.cycleThreadA);
    app.cycleThreadA = nullptr;
}

// Each activation takes the application lock, so it never lands inside a step application.
UserSchemeResult activateUserScheme() {
    ApplicationLock lock;
    POWER_POLICY userPolicy;
    if (!lock.held || !schemes::read(app.userScheme, &userPolicy))
        return UserSchemeUnread;
    return schemes::activate(app.userScheme, nullptr, &userPolicy) ? UserSchemeActive : UserSchemeRefused;
}

void activateOwnScheme() {
    ApplicationLock lock;
    POWER_POLICY ownPolicy;
    if (lock.held && schemes::read(app.ownScheme, &ownPolicy))
        schemes::activate(app.ownScheme, nullptr, &ownPolicy);
}

DWORD WINAPI SchemeBounceWorker(void *) {
    // The worker has no windows: a plain wait.
    if (activateUserScheme() == UserSchemeActive) {
        Sleep(1000);
        activateOwnScheme();
    }
    return 0;
}
