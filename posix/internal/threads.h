// Suspension points of the layer's threads. A thread made by CreateThread is
// suspended only where it holds nothing that another thread may need: the
// console locks count their depth, and the thread parks when it leaves the
// last one, before it takes the first, and in the layer's own waits.
#pragma once

#include "wintypes.h"

// Parks the calling thread when a suspension is pending and it holds no
// console lock. Every wait of the layer calls it.
void ThreadCheckSuspend();

// The console state lock and the terminal output lock are taken and left
// through these, so that their holders are never parked.
void ConsoleLockDepthEnter();
void ConsoleLockDepthLeave();

template <class Mutex> void ConsoleLockEnter(Mutex& m) {
    ConsoleLockDepthEnter();
    m.lock();
}

template <class Mutex> void ConsoleLockLeave(Mutex& m) {
    m.unlock();
    ConsoleLockDepthLeave();
}

// Console locks the calling thread holds.
int ConsoleLockDepth();

// True while the thread is held by a suspension, at its start or parked;
// for tests and diagnostics.
bool ThreadIsParked(HANDLE thread);

// Test hook: the nth CreateThread from now fails with
// ERROR_NOT_ENOUGH_MEMORY, as it would when the system has no room for
// another thread; the creations after it succeed again. 0 disarms it.
void ThreadCreateFailForTest(DWORD nth);
