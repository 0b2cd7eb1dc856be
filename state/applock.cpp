// The application lock and the message boxes raised while it is held.
#include "state/applock.h"

#include "state/appstate.h"
#include "state/commands.h"

#include <cstdlib>
#include <cstring>

// A mutex rather than a critical section: the waiting thread can still take messages sent to its
// windows (a display change broadcast by the holder would otherwise never return).
static HANDLE applicationMutex = CreateMutexA(nullptr, FALSE, nullptr);

// No thread_local: MinGW's emulated thread storage would make the program import functions Windows XP
// does not have. The queues have no fixed bound, so every message raised is shown once it may be.
struct PendingMessage {
    PendingMessage *next;
    UINT icon;
    char text[1]; // allocated to the text's length
};
struct MessageQueue {
    PendingMessage *first;
    PendingMessage **last;
};

// Owned by the thread holding the lock, and touched only by it.
static volatile DWORD lockOwner;
static int lockDepth;
static MessageQueue pending = {nullptr, &pending.first};

// The window thread's boxes: those its own releases deferred and those the workers handed over. The
// guard is held only to splice the queue, never across a box; the message that announces a handed box
// carries nothing, so a forged one only shows what the program itself queued.
static CRITICAL_SECTION windowGuard;
static MessageQueue windowBoxes = {nullptr, &windowBoxes.first};
[[maybe_unused]] static const bool kGuardReady = (InitializeCriticalSection(&windowGuard), true);

// Takes of the window thread in progress (waiting, held, or run without the lock): its boxes wait
// until the outermost one ends, so no modal loop runs a queued command inside a waiting handler.
static int windowTakes;
// The window thread's run without the lock: the exit after its bound. Nested takes in it pass at once,
// and its boxes are dropped. Only that thread sets or reads these.
static DWORD unlockedRunner;
static int unlockedDepth;
// The level of windowTakes at which a take of the window thread ran out of time, 0 none: the takes
// nested in that command fail at once instead of waiting again.
static int failedAt;
// The depth of the exit's take, 0 none: its release closes the lock.
static int exitDepth;
// Set when the exit lets go: the machine has been handed back, nothing may change it any more.
static volatile LONG lockClosed;

static bool holdsLock() { return lockOwner == GetCurrentThreadId() && lockDepth > 0; }

// The thread of the main window, which must never wait without a bound; 0 before it exists.
static DWORD windowThread() { return app.mainWindow ? GetWindowThreadProcessId(app.mainWindow, nullptr) : 0; }

static void showNow(const char *text, UINT icon) { MessageBoxA(nullptr, text, app.caption, MB_TOPMOST | icon); }

// Empties `queue`, giving its messages to the caller.
static PendingMessage *takeAll(MessageQueue &queue) {
    PendingMessage *first = queue.first;
    queue.first = nullptr;
    queue.last = &queue.first;
    return first;
}

static void append(MessageQueue &to, MessageQueue &from) {
    if (!from.first)
        return;
    *to.last = from.first;
    to.last = from.last;
    takeAll(from);
}

static void showAll(PendingMessage *message) {
    while (message) {
        PendingMessage *next = message->next;
        showNow(message->text, message->icon);
        free(message);
        message = next;
    }
}

// Shows the window thread's boxes once no take of it is in progress any more.
static void showWindowBoxes() {
    if (windowTakes > 0)
        return;
    EnterCriticalSection(&windowGuard);
    PendingMessage *shown = takeAll(windowBoxes);
    LeaveCriticalSection(&windowGuard);
    showAll(shown);
}

static void toWindowBoxes(MessageQueue &queue) {
    EnterCriticalSection(&windowGuard);
    append(windowBoxes, queue);
    LeaveCriticalSection(&windowGuard);
}

// Messages raised under the lock wait for its release: nobody may block on a message box holding it.
static void showMessage(const char *text, UINT icon) {
    bool onWindowThread = GetCurrentThreadId() == windowThread();
    if (lockClosed || (onWindowThread && unlockedRunner))
        return; // inside or after the exit: the program is ending
    if (!holdsLock() && !(onWindowThread && windowTakes > 0)) {
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
    MessageQueue one = {message, &message->next};
    if (holdsLock())
        append(pending, one);
    else
        toWindowBoxes(one);
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

static bool takeLock(DWORD timeoutMs, bool forExit) {
    DWORD self = GetCurrentThreadId();
    bool onWindowThread = self == windowThread();
    if (onWindowThread)
        ++windowTakes;
    // Taken again by its holder: the mutex is ours already, only the depth counts (no wait, no call
    // into the system: nested takes are frequent).
    if (holdsLock()) {
        ++lockDepth;
        return !lockClosed || forExit;
    }
    if (unlockedRunner == self) {
        ++unlockedDepth;
        return true;
    }
    if (lockClosed || (onWindowThread && failedAt && !forExit))
        return false;
    DWORD rc = waitTakingSentMessages(applicationMutex, timeoutMs);
    if (rc == WAIT_OBJECT_0 || rc == WAIT_ABANDONED_0) {
        if (lockClosed && !forExit) {
            ReleaseMutex(applicationMutex);
            return false;
        }
        lockOwner = self;
        ++lockDepth;
        return true;
    }
    // A holder never waits on a message box, so only a machine call that hangs keeps the lock this
    // long. Only the exit goes on without it: the program must end.
    if (forExit) {
        unlockedRunner = self;
        unlockedDepth = 1;
        return true;
    }
    if (onWindowThread && !failedAt)
        failedAt = windowTakes;
    return false;
}

bool lockApplication() {
    bool isWindowThread = GetCurrentThreadId() == windowThread();
    return takeLock(isWindowThread ? kWindowThreadLockWaitMs : INFINITE, false);
}

void lockForExit(DWORD timeoutMs) {
    takeLock(timeoutMs, true);
    if (holdsLock())
        exitDepth = lockDepth;
}

void unlockApplication() {
    DWORD self = GetCurrentThreadId();
    bool onWindowThread = self == windowThread();
    if (onWindowThread && windowTakes > 0) {
        if (failedAt == windowTakes)
            failedAt = 0;
        --windowTakes;
    }
    if (unlockedRunner == self) {
        if (--unlockedDepth == 0) {
            unlockedRunner = 0;
            InterlockedExchange(&lockClosed, 1);
        }
        return;
    }
    // Closed before it is let go: a worker waiting for it, or the command the exit interrupted, finds
    // the machine handed back.
    if (holdsLock() && lockDepth == exitDepth) {
        InterlockedExchange(&lockClosed, 1);
        exitDepth = 0;
    }
    if (holdsLock() && --lockDepth == 0) {
        // Take the queue before letting go: the next holder owns it then.
        PendingMessage *shown = nullptr;
        if (onWindowThread)
            toWindowBoxes(pending);
        else
            shown = takeAll(pending);
        lockOwner = 0;
        ReleaseMutex(applicationMutex);
        if (!onWindowThread) {
            showAll(shown);
            return;
        }
    }
    if (onWindowThread)
        showWindowBoxes();
}

void handPendingMessagesTo(HWND window) {
    if (!holdsLock() || !window || !pending.first)
        return;
    toWindowBoxes(pending);
    // A window that is gone takes nothing: the program is ending, and a worker must not block.
    PostMessageA(window, kShowMessageMessage, 0, 0);
}

void showHandedMessages() { showWindowBoxes(); }
