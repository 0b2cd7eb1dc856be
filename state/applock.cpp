// The application lock and the message boxes raised while it is held.
#include "state/applock.h"

#include "state/appstate.h"
#include "state/commands.h"

#include <cstdlib>
#include <cstring>

// A mutex rather than a critical section: the waiting thread can still take messages sent to its
// windows (a display change broadcast by the holder would otherwise never return).
static HANDLE applicationMutex = CreateMutexA(nullptr, FALSE, nullptr);

// Owned by the thread holding the lock, and touched only by it. (No thread_local: MinGW's emulated
// thread storage would make the program import functions Windows XP does not have.)
// The queue has no fixed bound, so every message raised under the lock is shown once it is released.
struct PendingMessage {
    PendingMessage *next;
    UINT icon;
    char text[1]; // allocated to the text's length
};
static volatile DWORD lockOwner;
static int lockDepth;
static PendingMessage *pendingFirst;
static PendingMessage **pendingLast = &pendingFirst;

static bool holdsLock() { return lockOwner == GetCurrentThreadId() && lockDepth > 0; }

static void showNow(const char *text, UINT icon) { MessageBoxA(nullptr, text, app.caption, MB_TOPMOST | icon); }

// Messages raised under the lock wait for its release: nobody may block on a message box holding it.
static void showMessage(const char *text, UINT icon) {
    if (!holdsLock()) {
        showNow(text, icon);
        return;
    }
    size_t len = strlen(text);
    auto *message = static_cast<PendingMessage *>(malloc(sizeof(PendingMessage) + len));
    if (!message)
        return; // out of memory: nothing sensible left to do with a message
    message->next = nullptr;
    message->icon = icon;
    memcpy(message->text, text, len + 1);
    *pendingLast = message;
    pendingLast = &message->next;
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

// The thread of the main window, which must never wait without a bound; 0 before it exists.
static DWORD windowThread() { return app.mainWindow ? GetWindowThreadProcessId(app.mainWindow, nullptr) : 0; }

// The window thread's run without the lock after its wait ran out: nested takes in it do not wait
// again. Only that thread ever sets or reads these.
static DWORD unlockedRunner;
static int unlockedDepth;

void lockApplication() {
    // Taken again by its holder: the mutex is ours already, only the depth counts (no wait, no call
    // into the system: nested takes are frequent).
    if (holdsLock()) {
        ++lockDepth;
        return;
    }
    DWORD self = GetCurrentThreadId();
    if (unlockedRunner == self) {
        ++unlockedDepth;
        return;
    }
    // A holder never waits on a message box, so only a machine call that hangs keeps the lock this
    // long; the window thread then goes on unlocked, so the tray and Exit still answer.
    bool isWindowThread = self == windowThread();
    DWORD rc = waitTakingSentMessages(applicationMutex, isWindowThread ? kWindowThreadLockWaitMs : INFINITE);
    if (rc != WAIT_OBJECT_0 && rc != WAIT_ABANDONED_0) {
        // Cannot wait, or waited the window thread's bound: run unlocked rather than hang.
        if (isWindowThread) {
            unlockedRunner = self;
            unlockedDepth = 1;
        }
        return;
    }
    lockOwner = self;
    ++lockDepth;
}

void unlockApplication() {
    if (unlockedRunner == GetCurrentThreadId()) {
        if (--unlockedDepth == 0)
            unlockedRunner = 0;
        return;
    }
    if (!holdsLock())
        return;
    if (--lockDepth > 0)
        return;
    // Take the queue before letting go: the next holder owns it then.
    PendingMessage *shown = pendingFirst;
    pendingFirst = nullptr;
    pendingLast = &pendingFirst;
    lockOwner = 0;
    ReleaseMutex(applicationMutex);
    while (shown) {
        PendingMessage *next = shown->next;
        showNow(shown->text, shown->icon);
        free(shown);
        shown = next;
    }
}

void handPendingMessagesTo(HWND window) {
    if (!holdsLock() || !window)
        return;
    PendingMessage *message = pendingFirst;
    pendingFirst = nullptr;
    pendingLast = &pendingFirst;
    while (message) {
        PendingMessage *next = message->next;
        // A window that is gone takes nothing: the program is ending, and a worker must not block.
        if (!PostMessageA(window, kShowMessageMessage, 0, LPARAM(message)))
            free(message);
        message = next;
    }
}

void showHandedMessage(LPARAM handed) {
    auto *message = reinterpret_cast<PendingMessage *>(handed);
    if (!message)
        return;
    showNow(message->text, message->icon);
    free(message);
}
