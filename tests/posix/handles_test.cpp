// The handle table: handle values, slot reuse, typed lookups, close
// operations that run once, and concurrent use.
#include "windows.h"
#include "internal/handles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

namespace {

std::atomic<int> gClosed{0};
void CountClose(void*) { gClosed++; }

HANDLE H(uintptr_t v) { return reinterpret_cast<HANDLE>(v); }

// CTest runs each test in a process of its own, so the table starts empty.
TEST(HandleTable, ValuesAndLowestFirstReuse) {
    HandleRegisterType(HANDLE_TYPE_THREAD, CountClose);
    int object;
    HANDLE a = HandleAllocate(HANDLE_TYPE_THREAD, &object);
    HANDLE b = HandleAllocate(HANDLE_TYPE_THREAD, &object);
    EXPECT_EQ(a, H(0x10000));
    EXPECT_EQ(b, H(0x10004));
    EXPECT_EQ(HandleLookup(a, HANDLE_TYPE_THREAD), &object);
    EXPECT_EQ(HandleLookup(a, HANDLE_TYPE_FILE), nullptr); // another type names nothing
    gClosed = 0;
    EXPECT_TRUE(CloseHandle(a));
    EXPECT_EQ(gClosed.load(), 1);
    EXPECT_EQ(HandleLookup(a, HANDLE_TYPE_THREAD), nullptr);
    EXPECT_EQ(HandleAllocate(HANDLE_TYPE_THREAD, &object), H(0x10000));
    // Closing twice runs the close operation once and then fails.
    EXPECT_TRUE(CloseHandle(b));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(b));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(gClosed.load(), 2);
    CloseHandle(H(0x10000));
}

TEST(HandleTable, ValuesThatNameNothing) {
    struct Row {
        uintptr_t value;
        BOOL result;
    } rows[] = {
        {0x10002, FALSE},                      // not a multiple of 4
        {0xFFFC, FALSE},                       // below the first handle
        {0x10000 + 4 * 100000, FALSE},         // beyond the slots
        {0, FALSE},
        {static_cast<uintptr_t>(-1), TRUE},    // the current process
        {static_cast<uintptr_t>(-2), TRUE},    // the current thread
    };
    for (const Row& r : rows) {
        SetLastError(0);
        EXPECT_EQ(CloseHandle(H(r.value)), r.result) << std::hex << r.value;
        if (!r.result) {
            EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE) << std::hex << r.value;
        }
    }
}

TEST(HandleTable, GrowsPastItsFirst64Slots) {
    HandleRegisterType(HANDLE_TYPE_PROCESS, nullptr);
    int object;
    std::vector<HANDLE> handles;
    for (int i = 0; i < 200; i++) handles.push_back(HandleAllocate(HANDLE_TYPE_PROCESS, &object));
    std::set<HANDLE> distinct(handles.begin(), handles.end());
    EXPECT_EQ(distinct.size(), 200u);
    EXPECT_EQ(HandleLookup(handles[199], HANDLE_TYPE_PROCESS), &object);
    for (HANDLE h : handles) EXPECT_TRUE(CloseHandle(h));
}

// Run under ThreadSanitizer in CI: allocation, lookup and close from many
// threads at once.
TEST(HandleTableConcurrency, AllocateAndCloseFromManyThreads) {
    HandleRegisterType(HANDLE_TYPE_FIND, CountClose);
    gClosed = 0;
    constexpr int kThreads = 8, kRounds = 2000;
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([&, t] {
            int mine = t;
            for (int i = 0; i < kRounds; i++) {
                HANDLE h = HandleAllocate(HANDLE_TYPE_FIND, &mine);
                if (HandleLookup(h, HANDLE_TYPE_FIND) != &mine) mismatches++;
                if (!CloseHandle(h)) mismatches++;
            }
        });
    }
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(gClosed.load(), kThreads * kRounds);
}

} // namespace
