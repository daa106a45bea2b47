// Threads: creation, suspension only at safe points, waits, priorities and
// critical sections. Every test runs under a watchdog, so a deadlock fails
// the test instead of hanging the suite.
#include "../support/watchdog.h"
#include "windows.h"
#include "internal/threads.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace {

using qtest::Watchdog;

void WaitUntil(const std::function<bool()>& condition) {
    while (!condition()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

DWORD Count(LPVOID p) {
    auto* counter = static_cast<std::atomic<int>*>(p);
    counter->fetch_add(1);
    return 7;
}

TEST(ThreadsConcurrency, CreateSuspendedRunsOnlyAfterResume) {
    Watchdog dog(30);
    std::atomic<int> ran{0};
    DWORD id = 0;
    HANDLE h = CreateThread(nullptr, 0, Count, &ran, CREATE_SUSPENDED, &id);
    ASSERT_NE(h, nullptr);
    EXPECT_GE(id, 4100u);
    EXPECT_EQ(id % 4, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ran.load(), 0);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_TIMEOUT);
    EXPECT_EQ(ResumeThread(h), 1u);
    EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(ran.load(), 1);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0); // finished: at once
    EXPECT_EQ(ResumeThread(h), 0u);                      // never suspended now
    EXPECT_TRUE(CloseHandle(h));
}

struct Worker {
    std::atomic<bool> stop{false};
    std::atomic<long> steps{0};
    std::mutex consoleLock; // stands for a console lock
};

// A worker that allocates and formats all the time and passes a console
// lock, the way the clock thread draws.
DWORD Busy(LPVOID p) {
    auto* w = static_cast<Worker*>(p);
    while (!w->stop.load()) {
        std::string s(64 + w->steps.load() % 64, 'x');
        char buf[64];
        if (snprintf(buf, sizeof buf, "%ld %s", static_cast<LONG>(w->steps.load()), s.c_str() + 60) < 0)
            std::abort();
        ConsoleLockEnter(w->consoleLock);
        w->steps.fetch_add(1);
        ConsoleLockLeave(w->consoleLock);
    }
    return 0;
}

TEST(ThreadsConcurrency, SuspendTwiceNeedsTwoResumes) {
    Watchdog dog(30);
    Worker w;
    HANDLE h = CreateThread(nullptr, 0, Busy, &w, 0, nullptr);
    ASSERT_NE(h, nullptr);
    WaitUntil([&] { return w.steps.load() > 10; });
    EXPECT_EQ(SuspendThread(h), 0u);
    EXPECT_EQ(SuspendThread(h), 1u);
    WaitUntil([&] { return ThreadIsParked(h); });
    long at = w.steps.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(w.steps.load(), at);
    EXPECT_EQ(ResumeThread(h), 2u);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(w.steps.load(), at); // still parked
    EXPECT_EQ(ResumeThread(h), 1u);
    WaitUntil([&] { return w.steps.load() > at + 10; });
    w.stop = true;
    EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
    CloseHandle(h);
}

struct LockHolder {
    std::mutex consoleLock;
    std::atomic<int> phase{0};
    std::atomic<bool> releasedWhileSuspended{false};
};

DWORD HoldConsoleLock(LPVOID p) {
    auto* s = static_cast<LockHolder*>(p);
    ConsoleLockEnter(s->consoleLock);
    s->phase = 1;
    while (s->phase.load() != 2) std::this_thread::yield();
    // Suspended meanwhile: the console operation still finishes.
    s->releasedWhileSuspended = true;
    ConsoleLockLeave(s->consoleLock); // parks here
    s->phase = 3;
    return 0;
}

TEST(ThreadsConcurrency, HolderOfAConsoleLockParksWhenItLeavesTheLock) {
    Watchdog dog(30);
    LockHolder s;
    HANDLE h = CreateThread(nullptr, 0, HoldConsoleLock, &s, 0, nullptr);
    WaitUntil([&] { return s.phase.load() == 1; });
    EXPECT_EQ(SuspendThread(h), 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(ThreadIsParked(h)); // holds the lock: not parked
    s.phase = 2;
    WaitUntil([&] { return ThreadIsParked(h); });
    EXPECT_TRUE(s.releasedWhileSuspended.load());
    EXPECT_TRUE(s.consoleLock.try_lock()); // the lock is free while it is parked
    s.consoleLock.unlock();
    EXPECT_EQ(s.phase.load(), 2);
    EXPECT_EQ(ResumeThread(h), 1u);
    EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(s.phase.load(), 3);
    CloseHandle(h);
}

// Suspending a thread while it allocates and formats must never leave it
// parked inside the allocator: the suspending thread allocates and formats
// right after every suspension.
TEST(ThreadsConcurrency, ThousandsOfSuspensionsOfAnAllocatingWorkerNeverDeadlock) {
    Watchdog dog(120);
    Worker w;
    HANDLE h = CreateThread(nullptr, 0, Busy, &w, 0, nullptr);
    ASSERT_NE(h, nullptr);
    WaitUntil([&] { return w.steps.load() > 0; }); // running, inside its loop
    for (int i = 0; i < 3000; i++) {
        ASSERT_EQ(SuspendThread(h), 0u);
        // Parked for real before the next allocation: were it parked inside
        // malloc, this thread would now block on the allocator's lock.
        while (!ThreadIsParked(h)) std::this_thread::yield();
        std::string s(100 + i % 50, 'y');
        char buf[128];
        ASSERT_GT(snprintf(buf, sizeof buf, "%d %s", i, s.c_str() + 90), 0);
        void* p = std::malloc(1000 + i);
        std::free(p);
        ASSERT_EQ(ResumeThread(h), 1u);
    }
    // After all the cycles the worker runs on.
    long at = w.steps.load();
    WaitUntil([&] { return w.steps.load() > at + 10; });
    w.stop = true;
    EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
    CloseHandle(h);
}

DWORD CheckWakeBlocked(LPVOID p) {
    sigset_t mask;
    pthread_sigmask(SIG_SETMASK, nullptr, &mask);
    *static_cast<int*>(p) = sigismember(&mask, SIGRTMIN + 3);
    return 0;
}

TEST(ThreadsConcurrency, WakeSignalIsBlockedOutsideTheParkedWait) {
    Watchdog dog(30);
    int blocked = -1;
    HANDLE h = CreateThread(nullptr, 0, CheckWakeBlocked, &blocked, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(blocked, 1);
    CloseHandle(h);
}

TEST(Threads, WaitTimesOutOnARunningThread) {
    Watchdog dog(30);
    Worker w;
    HANDLE h = CreateThread(nullptr, 0, Busy, &w, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_TIMEOUT);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForSingleObject(h, 50), WAIT_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(45));
    w.stop = true;
    EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    CloseHandle(h);
}

TEST(Threads, UnknownHandlesAndPriorities) {
    HANDLE bogus = reinterpret_cast<HANDLE>(0x10000 + 4 * 999);
    struct Row {
        const char* what;
        DWORD result;
        DWORD expected;
    } rows[] = {
        {"suspend", SuspendThread(bogus), 0xFFFFFFFFu},
        {"resume", ResumeThread(bogus), 0xFFFFFFFFu},
        {"wait", WaitForSingleObject(bogus, 0), WAIT_FAILED},
    };
    for (const Row& r : rows) EXPECT_EQ(r.result, r.expected) << r.what;
    SetLastError(0);
    EXPECT_EQ(SuspendThread(bogus), 0xFFFFFFFFu);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetThreadPriority(bogus), THREAD_PRIORITY_ERROR_RETURN);
    EXPECT_FALSE(SetThreadPriority(bogus, 1));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(SetThreadPriority(GetCurrentThread(), 2));
    EXPECT_EQ(GetThreadPriority(GetCurrentThread()), 2);
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), 32u);
    EXPECT_TRUE(SetPriorityClass(GetCurrentProcess(), 0x80));
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), 0x80u);

    std::atomic<int> ran{0};
    HANDLE h = CreateThread(nullptr, 0, Count, &ran, CREATE_SUSPENDED, nullptr);
    EXPECT_TRUE(SetThreadPriority(h, -1));
    EXPECT_EQ(GetThreadPriority(h), -1);
    ResumeThread(h);
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
}

struct Shared {
    CRITICAL_SECTION cs;
    long value = 0;
};

DWORD AddMany(LPVOID p) {
    auto* s = static_cast<Shared*>(p);
    for (int i = 0; i < 10000; i++) {
        EnterCriticalSection(&s->cs);
        EnterCriticalSection(&s->cs); // recursive
        s->value++;
        LeaveCriticalSection(&s->cs);
        LeaveCriticalSection(&s->cs);
    }
    return 0;
}

TEST(ThreadsConcurrency, CriticalSectionsAreRecursiveAndExclusive) {
    Watchdog dog(60);
    Shared s;
    InitializeCriticalSection(&s.cs);
    ASSERT_NE(s.cs.DebugInfo, nullptr);
    HANDLE a = CreateThread(nullptr, 0, AddMany, &s, 0, nullptr);
    HANDLE b = CreateThread(nullptr, 0, AddMany, &s, 0, nullptr);
    WaitForSingleObject(a, INFINITE);
    WaitForSingleObject(b, INFINITE);
    EXPECT_EQ(s.value, 20000);
    DeleteCriticalSection(&s.cs);
    EXPECT_EQ(s.cs.DebugInfo, nullptr);
    EnterCriticalSection(&s.cs); // an emptied record does nothing
    LeaveCriticalSection(&s.cs);
    CloseHandle(a);
    CloseHandle(b);
}

} // namespace

namespace {

struct Sleeper {
    std::atomic<long> rounds{0};
    std::atomic<bool> stop{false};
};

// A thread that only sleeps, as the clock thread does between its updates:
// a short first round, so that tests know it runs, then long ones, so that
// a suspension that waited a sleep out would show however busy the machine.
constexpr DWORD kLongSleepMs = 5000;
DWORD SleepLoop(LPVOID p) {
    auto* s = static_cast<Sleeper*>(p);
    while (!s->stop.load()) {
        Sleep(s->rounds.load() == 0 ? 1 : kLongSleepMs);
        s->rounds.fetch_add(1);
    }
    return 0;
}

TEST(ThreadsConcurrency, SleepingThreadParksWithoutWaitingOutItsSleep) {
    Watchdog dog(30);
    Sleeper s;
    HANDLE h = CreateThread(nullptr, 0, SleepLoop, &s, 0, nullptr);
    WaitUntil([&] { return s.rounds.load() >= 1; });
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SuspendThread(h), 0u);
    WaitUntil([&] { return ThreadIsParked(h); });
    // The suspend signal broke the sleep: parked well before it would end.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(kLongSleepMs / 2));
    long at = s.rounds.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    EXPECT_EQ(s.rounds.load(), at);
    s.stop = true;
    EXPECT_EQ(ResumeThread(h), 1u);
    // It sleeps out the rest of its round before it sees the stop.
    EXPECT_EQ(WaitForSingleObject(h, 30000), WAIT_OBJECT_0);
    CloseHandle(h);
}

} // namespace
