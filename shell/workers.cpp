// Step-change notifications to the on-screen display, the message pump, and the worker threads.
#include "shell/workers.h"

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

void PumpMessagesFor(DWORD milliseconds) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds)
            return;
        // Sleeps until a message arrives or the time is up: no spinning. Messages already waiting in
        // the queue count too, not only those that came since the queue was last looked at.
        MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds - elapsed, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(int(msg.wParam));
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

// Applies the pending step when its deadline has passed and nothing stopped it meanwhile.
static void applyDueCycleStep() {
    ApplicationLock lock;
    if (cycleQuit || !cyclePending || LONG(cycleDue - GetTickCount()) > 0)
        return;
    cyclePending = 0;
    volatile LONG *busyFlag = &app.cycleBusy;
    LONG wasBusy = InterlockedExchange(busyFlag, 1);
    if (!app.configOpen)
        readPanelLevel(app.onAc ? 1 : 2);
    if (!wasBusy)
        captureStepState(app.currentStep, app.onAc);
    applyStep(app.mainWindow, &app.cycleStep, app.currentStep);
    applyPanelLevel();
    InterlockedExchange(busyFlag, 0);
    app.currentStep = app.cycleStep;
}

DWORD WINAPI CycleWorker(void *) {
    for (;;) {
        if (cycleQuit)
            return 0;
        DWORD wait = INFINITE;
        if (cyclePending) {
            LONG left = LONG(cycleDue - GetTickCount());
            wait = left > 0 ? DWORD(left) : 0;
        }
        // Woken early when a command moves the deadline, a stop clears it, or the program ends.
        if (WaitForSingleObject(app.cycleCancelEvent, wait) == WAIT_OBJECT_0) {
            ResetEvent(app.cycleCancelEvent);
            continue;
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
    if (!app.cycleThreadA)
        app.cycleThreadA = CreateThread(nullptr, 0, CycleWorker, (void *)&app.cycleBusy, 0, nullptr);
    // A worker sleeping toward an earlier deadline wakes then and sleeps on to this one; only an idle
    // worker needs waking, so a burst of commands costs no call into the system each.
    if (idle)
        SetEvent(app.cycleCancelEvent);
}

void stopCycleWorkers() {
    ApplicationLock lock;
    InterlockedIncrement(&cycleGeneration);
    cyclePending = 0;
    if (app.cycleCancelEvent)
        SetEvent(app.cycleCancelEvent);
}

void endCycleWorker() {
    stopCycleWorkers();
    if (!app.cycleThreadA)
        return;
    cycleQuit = 1;
    SetEvent(app.cycleCancelEvent);
    waitTakingSentMessages(app.cycleThreadA, 5000);
    CloseHandle(app.cycleThreadA);
    app.cycleThreadA = nullptr;
}

// Switches to the user's scheme and back; `wait` keeps the user's scheme for a second.
// Each activation takes the application lock, so it never lands inside a step application.
static void bounce(void (*wait)(DWORD)) {
    {
        ApplicationLock lock;
        POWER_POLICY userPolicy;
        if (!schemes::read(app.userScheme, &userPolicy) ||
            !schemes::activate(app.userScheme, nullptr, &userPolicy))
            return;
    }
    wait(1000);
    ApplicationLock lock;
    POWER_POLICY ownPolicy;
    if (schemes::read(app.ownScheme, &ownPolicy))
        schemes::activate(app.ownScheme, nullptr, &ownPolicy);
}

DWORD WINAPI SchemeBounceWorker(void *) {
    // The worker has no windows: a plain wait.
    bounce([](DWORD ms) { Sleep(ms); });
    return 0;
}

void bounceScheme() { bounce(PumpMessagesFor); }
