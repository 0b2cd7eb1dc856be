// The program-wide application lock, the message boxes it defers, and waits that still take sent
// messages.
#pragma once
#include <windows.h>

// Message boxes without owner, titled with the caption: errors and warnings.
// One raised while the application lock is held waits until the lock is released; on the window
// thread, until its outermost take ends.
void showError(const char *text);
void showWarning(const char *text);

// Called by a worker holding the lock: the messages raised under it go to the window thread, which
// is told by kShowMessageMessage (without parameters), instead of being shown on the worker, which
// must never wait on a box.
void handPendingMessagesTo(HWND window);
// Shows the messages handed to the window thread (at kShowMessageMessage).
void showHandedMessages();

// How long the main window's thread waits for the lock before its command gives up.
constexpr DWORD kWindowThreadLockWaitMs = 5000;

// The one program-wide lock of step applications, captures and panel-level operations, so the
// user-interface thread and a step-cycle worker never interleave on the settings, files or registry.
// It may be taken again by the thread that holds it. Workers wait for it without bound; the window
// thread waits kWindowThreadLockWaitMs. False when it was not taken: the caller must not go on, and
// still calls unlockApplication. After the exit every take fails.
bool lockApplication();
// The exit's take: waits at most `timeoutMs`, then goes on without the lock (the program must end),
// its nested takes passing at once and its message boxes dropped. Its release closes the lock for good.
void lockForExit(DWORD timeoutMs);
// Releases the lock; the outermost release then shows the messages raised while it was held.
void unlockApplication();

// Waits for `object` up to `timeoutMs` while still taking messages sent to this thread's windows;
// the result of the wait (WAIT_OBJECT_0, WAIT_TIMEOUT ...).
DWORD waitTakingSentMessages(HANDLE object, DWORD timeoutMs);

struct ApplicationLock {
    ApplicationLock() : held(lockApplication()) {}
    ~ApplicationLock() { unlockApplication(); }
    ApplicationLock(const ApplicationLock &) = delete;
    ApplicationLock &operator=(const ApplicationLock &) = delete;
    const bool held;
};
