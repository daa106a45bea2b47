// Threads made by CreateThread, their suspension with two real-time signals,
// waits, priorities and critical sections. A thread is parked only at the
// layer's own suspension points, never inside libc or a lock of the layer,
// so a suspended thread can never hold the allocator or stdio locks that
// the thread which suspended it needs next.
#include "processthreadsapi.h"
#include "errhandlingapi.h"
#include "handleapi.h"
#include "internal/handles.h"
#include "internal/process.h"
#include "internal/threads.h"
#include "synchapi.h"
#include "winerror.h"

#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <new>

namespace {

struct THREAD_OBJECT {
    pthread_t thread;
    LPTHREAD_START_ROUTINE routine;
    void* parameter;
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t condition = PTHREAD_COND_INITIALIZER;
    bool started = false;
    std::atomic<int32_t> suspendCount{0};
    std::atomic<bool> suspendPending{false};
    std::atomic<bool> parked{false};
    bool finished = false;
    DWORD exitCode = 0;
    std::atomic<int> references{2};
    int32_t priority = THREAD_PRIORITY_NORMAL;
};

thread_local THREAD_OBJECT* tCurrent = nullptr;
thread_local int tConsoleLockDepth = 0;

std::atomic<DWORD> gNextThreadId{4096};
std::atomic<int32_t> gMainPriority{THREAD_PRIORITY_NORMAL};
std::atomic<DWORD> gPriorityClass{NORMAL_PRIORITY_CLASS};

int SuspendSignal() { return SIGRTMIN + 2; }
int WakeSignal() { return SIGRTMIN + 3; }

void Release(THREAD_OBJECT* t) {
    if (t->references.fetch_sub(1) == 1) {
        pthread_mutex_destroy(&t->mutex);
        pthread_cond_destroy(&t->condition);
        delete t;
    }
}

// The suspend signal only marks the request and breaks the thread out of a
// blocking call; the thread parks at its next suspension point.
void OnSuspendSignal(int) {
    int saved = errno;
    if (tCurrent) tCurrent->suspendPending.store(true);
    errno = saved;
}

void OnWakeSignal(int) {}

void InstallSignals() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction sa = {};
        sa.sa_flags = SA_RESTART;
        sigemptyset(&sa.sa_mask);
        sa.sa_handler = OnSuspendSignal;
        ::sigaction(SuspendSignal(), &sa, nullptr);
        sa.sa_handler = OnWakeSignal;
        ::sigaction(WakeSignal(), &sa, nullptr);
    });
}

// Waits in sigsuspend, with only the wake signal let through, for as long as
// the thread is suspended. Outside this wait the wake signal stays blocked,
// so a wake that comes early is kept for it and never lost.
void Park(THREAD_OBJECT* t) {
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    sigdelset(&mask, WakeSignal());
    t->parked.store(true);
    while (t->suspendCount.load() > 0) sigsuspend(&mask);
    t->parked.store(false);
}

void* ThreadStartRoutine(void* object) {
    auto* t = static_cast<THREAD_OBJECT*>(object);
    tCurrent = t;
    sigset_t wake;
    sigemptyset(&wake);
    sigaddset(&wake, WakeSignal());
    pthread_sigmask(SIG_BLOCK, &wake, nullptr);

    pthread_mutex_lock(&t->mutex);
    while (t->suspendCount.load() > 0) {
        t->parked.store(true);
        pthread_cond_wait(&t->condition, &t->mutex);
    }
    t->parked.store(false);
    t->started = true;
    pthread_mutex_unlock(&t->mutex);

    DWORD code = t->routine(t->parameter);

    pthread_mutex_lock(&t->mutex);
    t->exitCode = code;
    t->finished = true;
    pthread_cond_broadcast(&t->condition);
    pthread_mutex_unlock(&t->mutex);
    tCurrent = nullptr;
    Release(t);
    return nullptr;
}

void CloseThreadObject(void* object) { Release(static_cast<THREAD_OBJECT*>(object)); }

void RegisterThreadType() {
    static std::once_flag once;
    std::call_once(once, [] { HandleRegisterType(HANDLE_TYPE_THREAD, CloseThreadObject); });
}

THREAD_OBJECT* LookupThread(HANDLE handle) {
    return static_cast<THREAD_OBJECT*>(HandleLookup(handle, HANDLE_TYPE_THREAD));
}

bool IsCurrentThreadPseudo(HANDLE handle) { return reinterpret_cast<intptr_t>(handle) == -2; }

} // namespace

void ThreadCheckSuspend() {
    THREAD_OBJECT* t = tCurrent;
    if (!t || tConsoleLockDepth != 0 || !t->suspendPending.load()) return;
    t->suspendPending.store(false);
    Park(t);
}

void ConsoleLockDepthEnter() {
    // About to take the first console lock: a pending suspension takes
    // effect now, while the thread holds nothing.
    if (tConsoleLockDepth == 0) ThreadCheckSuspend();
    tConsoleLockDepth++;
}

void ConsoleLockDepthLeave() {
    if (--tConsoleLockDepth == 0) ThreadCheckSuspend();
}

int ConsoleLockDepth() { return tConsoleLockDepth; }

namespace {
// Creations left before the one that fails; 0 when none is armed.
std::atomic<DWORD> gFailCreationIn{0};
} // namespace

void ThreadCreateFailForTest(DWORD nth) { gFailCreationIn.store(nth); }

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stackSize, LPTHREAD_START_ROUTINE routine,
                    LPVOID parameter, DWORD flags, LPDWORD threadId) {
    for (DWORD left = gFailCreationIn.load(); left != 0;) {
        if (gFailCreationIn.compare_exchange_weak(left, left - 1)) {
            if (left == 1) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
            break;
        }
    }
    InstallSignals();
    RegisterThreadType();
    auto* t = new (std::nothrow) THREAD_OBJECT();
    if (!t) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    t->routine = routine;
    t->parameter = parameter;
    if (flags & CREATE_SUSPENDED) t->suspendCount.store(1);
    HANDLE h = HandleAllocate(HANDLE_TYPE_THREAD, t);
    if (!h) {
        delete t;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stackSize > 65535) pthread_attr_setstacksize(&attr, stackSize);
    int r = pthread_create(&t->thread, &attr, ThreadStartRoutine, t);
    pthread_attr_destroy(&attr);
    if (r != 0) {
        // The handle goes, and with it the only reference the thread would
        // have dropped: nothing is left behind.
        t->references.store(1);
        CloseHandle(h);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    DWORD id = gNextThreadId.fetch_add(4) + 4;
    if (threadId) *threadId = id;
    return h;
}

DWORD SuspendThread(HANDLE thread) {
    THREAD_OBJECT* t = LookupThread(thread);
    if (!t) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFFu;
    }
    pthread_mutex_lock(&t->mutex);
    int32_t previous = t->suspendCount.fetch_add(1);
    bool self = t == tCurrent;
    bool signal = previous == 0 && t->started && !t->finished && !self;
    if (previous == 0 && !self && t->started && !t->finished) t->suspendPending.store(true);
    pthread_mutex_unlock(&t->mutex);
    if (signal) pthread_kill(t->thread, SuspendSignal());
    if (previous == 0 && self) {
        t->suspendPending.store(true);
        ThreadCheckSuspend(); // parks now unless a console lock is held
    }
    return static_cast<DWORD>(previous);
}

DWORD ResumeThread(HANDLE thread) {
    THREAD_OBJECT* t = LookupThread(thread);
    if (!t) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFFu;
    }
    pthread_mutex_lock(&t->mutex);
    int32_t previous = t->suspendCount.load();
    bool wake = false;
    if (previous > 0 && t->suspendCount.fetch_sub(1) == 1) {
        if (!t->started)
            pthread_cond_broadcast(&t->condition);
        else if (!t->finished)
            wake = true;
    }
    // Signalled under the mutex: the thread cannot finish and go away
    // between the check and the signal.
    if (wake) pthread_kill(t->thread, WakeSignal());
    pthread_mutex_unlock(&t->mutex);
    return static_cast<DWORD>(previous > 0 ? previous : 0);
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    THREAD_OBJECT* t = LookupThread(handle);
    // Anything but a thread is a process handle or an error (6).
    if (!t) return ProcessWait(handle, milliseconds);
    ThreadCheckSuspend();
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += milliseconds / 1000;
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec++;
        deadline.tv_nsec -= 1000000000L;
    }
    DWORD result = WAIT_OBJECT_0;
    pthread_mutex_lock(&t->mutex);
    while (!t->finished) {
        if (milliseconds == INFINITE) {
            pthread_cond_wait(&t->condition, &t->mutex);
        } else if (milliseconds == 0 ||
                   pthread_cond_timedwait(&t->condition, &t->mutex, &deadline) == ETIMEDOUT) {
            if (!t->finished) result = WAIT_TIMEOUT;
            break;
        }
    }
    pthread_mutex_unlock(&t->mutex);
    return result;
}

int GetThreadPriority(HANDLE thread) {
    if (IsCurrentThreadPseudo(thread)) return tCurrent ? tCurrent->priority : gMainPriority.load();
    THREAD_OBJECT* t = LookupThread(thread);
    return t ? t->priority : THREAD_PRIORITY_ERROR_RETURN;
}

BOOL SetThreadPriority(HANDLE thread, int priority) {
    if (IsCurrentThreadPseudo(thread)) {
        if (tCurrent)
            tCurrent->priority = priority;
        else
            gMainPriority.store(priority);
        return TRUE;
    }
    THREAD_OBJECT* t = LookupThread(thread);
    if (!t) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    t->priority = priority;
    return TRUE;
}

DWORD GetPriorityClass(HANDLE) { return gPriorityClass.load(); }

BOOL SetPriorityClass(HANDLE, DWORD priorityClass) {
    gPriorityClass.store(priorityClass);
    return TRUE;
}

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    section->DebugInfo = nullptr;
    auto* m = static_cast<pthread_mutex_t*>(std::malloc(sizeof(pthread_mutex_t)));
    if (!m) return;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(m, &attr);
    pthread_mutexattr_destroy(&attr);
    section->DebugInfo = m;
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    if (section->DebugInfo) pthread_mutex_lock(static_cast<pthread_mutex_t*>(section->DebugInfo));
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    if (section->DebugInfo)
        pthread_mutex_unlock(static_cast<pthread_mutex_t*>(section->DebugInfo));
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    auto* m = static_cast<pthread_mutex_t*>(section->DebugInfo);
    if (!m) return;
    pthread_mutex_destroy(m);
    std::free(m);
    section->DebugInfo = nullptr;
}

bool ThreadIsParked(HANDLE thread) {
    THREAD_OBJECT* t = LookupThread(thread);
    return t && t->parked.load();
}
