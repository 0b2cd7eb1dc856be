// The program-wide state record and its initial values.
#include "shell/appstate.h"

#include <cstring>

AppState app;

static const BYTE kInitialThrottleAc[8] = {0, 3, 3, 0, 2, 2, 0, 0};
static const BYTE kInitialThrottleDc[8] = {0, 3, 3, 3, 2, 2, 0, 0};
static const BYTE kInitialPerformanceLevels[4] = {100, 75, 50, 25};

void resetAppState() {
    memset(&app, 0, sizeof app);
    strcpy(app.caption, "Kelvane"); // replaced by string 110 at start-up
    app.acStep = 2;
    app.dcStep = 2;
    app.acFirstStep = 1;
    app.acLastStep = 3;
    app.dcFirstStep = 2;
    app.onAc = 1;
    app.autoPerformance = 1;
    app.panelControl = 1;
    app.clockMidIndex = 1;
    app.clockHighIndex = 2;
    memcpy(app.stepThrottleAc, kInitialThrottleAc, sizeof kInitialThrottleAc);
    memcpy(app.stepThrottleDc, kInitialThrottleDc, sizeof kInitialThrottleDc);
    app.stepTreeActive = 1;
    memcpy(app.performanceLevels, kInitialPerformanceLevels, sizeof kInitialPerformanceLevels);
}

// The record starts with its initial values before any code of the program runs.
[[maybe_unused]] static const bool kInitialised = (resetAppState(), true);

// A mutex rather than a critical section: the waiting thread can still take messages sent to its
// windows (a display change broadcast by the holder would otherwise never return).
static HANDLE applicationMutex = CreateMutexA(nullptr, FALSE, nullptr);

// Owned by the thread holding the lock, and touched only by it. (No thread_local: MinGW's emulated
// thread storage would make the program import functions Windows XP does not have.)
struct PendingMessage {
    char text[MAX_PATH + 256];
    UINT icon;
};
constexpr int kMaxPending = 4;
static volatile DWORD lockOwner;
static int lockDepth;
static int pendingCount;
static PendingMessage pending[kMaxPending];

static bool holdsLock() { return lockOwner == GetCurrentThreadId() && lockDepth > 0; }

// Messages raised under the lock wait for its release: nobody may block on a message box holding it.
static void showMessage(const char *text, UINT icon) {
    if (holdsLock()) {
        if (pendingCount < kMaxPending) {
            lstrcpynA(pending[pendingCount].text, text, sizeof pending[pendingCount].text);
            pending[pendingCount++].icon = icon;
        }
        return;
    }
    MessageBoxA(nullptr, text, app.caption, MB_TOPMOST | icon);
}

void showError(const char *text) { showMessage(text, MB_ICONERROR); }
void showWarning(const char *text) { showMessage(text, MB_ICONWARNING); }

DWORD waitTakingSentMessages(HANDLE object, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        DWORD left = timeoutMs == INFINITE ? INFINITE : (elapsed >= timeoutMs ? 0 : timeoutMs - elapsed);
        DWORD rc = MsgWaitForMultipleObjects(1, &object, FALSE, left, QS_SENDMESSAGE);
        if (rc != WAIT_OBJECT_0 + 1)
            return rc;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE); // delivers sent messages
    }
}

void lockApplication() {
    DWORD rc = waitTakingSentMessages(applicationMutex, INFINITE);
    if (rc != WAIT_OBJECT_0 && rc != WAIT_ABANDONED_0)
        return; // cannot wait: run unlocked rather than hang
    lockOwner = GetCurrentThreadId();
    ++lockDepth;
}

void unlockApplication() {
    if (!holdsLock())
        return;
    if (--lockDepth > 0) {
        ReleaseMutex(applicationMutex);
        return;
    }
    // Take the queue before letting go: the next holder owns it then.
    PendingMessage shown[kMaxPending];
    int count = pendingCount;
    memcpy(shown, pending, sizeof(PendingMessage) * size_t(count));
    pendingCount = 0;
    lockOwner = 0;
    ReleaseMutex(applicationMutex);
    for (int i = 0; i < count; ++i)
        MessageBoxA(nullptr, shown[i].text, app.caption, MB_TOPMOST | shown[i].icon);
}

int askQuestion(const char *text) {
    return MessageBoxA(nullptr, text, app.caption, MB_YESNO | MB_ICONQUESTION | MB_TOPMOST);
}
