// Step-change notifications to the on-screen display, the message pump, and the worker threads.
#include "shell/workers.h"

#include "engine/stepapply.h"
#include "machine/machine.h"
#include "state/applock.h"
#include "state/appstate.h"
#include "state/commands.h"

#include <initializer_list>

// Workers started before the last stop belong to an older generation and must not apply.
static volatile LONG cycleGeneration;

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
        // Sleeps until a message arrives or the time is up: no spinning.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
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

DWORD WINAPI CycleWorker(void *parameter) {
    LONG generation = LONG(ULONG_PTR(parameter));
    volatile LONG *busyFlag = &app.cycleBusy;
    if (WaitForSingleObject(app.cycleCancelEvent, 1500) == WAIT_OBJECT_0)
        return 1;

    ApplicationLock lock;
    // Stopped while waiting for the lock: a newer step is (or will be) in force.
    if (generation != cycleGeneration)
        return 1;
    LONG wasBusy = InterlockedExchange(busyFlag, 1);
    if (!app.configOpen)
        readPanelLevel(app.onAc ? 1 : 2);
    if (!wasBusy)
        captureStepState(app.currentStep, app.onAc);
    applyStep(app.mainWindow, &app.cycleStep, app.currentStep);
    applyPanelLevel();
    InterlockedExchange(busyFlag, 0);
    app.currentStep = app.cycleStep;
    return 0;
}

HANDLE startCycleWorker() {
    return CreateThread(nullptr, 0, CycleWorker, (void *)(ULONG_PTR)cycleGeneration, 0, nullptr);
}

void stopCycleWorkers() {
    InterlockedIncrement(&cycleGeneration);
    if (app.cycleCancelEvent)
        SetEvent(app.cycleCancelEvent);
    for (HANDLE *slot : {&app.cycleThreadA, &app.cycleThreadB}) {
        if (*slot) {
            CloseHandle(*slot);
            *slot = nullptr;
        }
    }
}

void retireCycleWorker(HANDLE *slot) {
    SetEvent(app.cycleCancelEvent);
    if (waitTakingSentMessages(*slot, 500) != WAIT_TIMEOUT)
        return;
    InterlockedIncrement(&cycleGeneration);
    CloseHandle(*slot);
    *slot = nullptr;
}

// Switches to the user's scheme and back; `wait` keeps the user's scheme for a second.
// Each activation takes the application lock, so it never lands inside a step application.
static void bounce(void (*wait)(DWORD)) {
    {
        ApplicationLock lock;
        POWER_POLICY userPolicy;
        if (!machine::ReadPwrScheme(app.userScheme, &userPolicy) ||
            !machine::SetActivePwrScheme(app.userScheme, nullptr, &userPolicy))
            return;
    }
    wait(1000);
    ApplicationLock lock;
    POWER_POLICY ownPolicy;
    if (machine::ReadPwrScheme(app.ownScheme, &ownPolicy))
        machine::SetActivePwrScheme(app.ownScheme, nullptr, &ownPolicy);
}

DWORD WINAPI SchemeBounceWorker(void *) {
    // The worker has no windows: a plain wait.
    bounce([](DWORD ms) { Sleep(ms); });
    return 0;
}

void bounceScheme() { bounce(PumpMessagesFor); }
