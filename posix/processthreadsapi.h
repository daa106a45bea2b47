// Processes and threads: identity of the current process and thread.
#pragma once

#include "minwinbase.h"

// Pseudo handles of the current process (-1) and thread (-2).
HANDLE GetCurrentProcess();
HANDLE GetCurrentThread();
DWORD GetCurrentProcessId();

typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID parameter);

inline constexpr DWORD CREATE_SUSPENDED = 0x4;
inline constexpr int THREAD_PRIORITY_NORMAL = 0;
inline constexpr int THREAD_PRIORITY_ERROR_RETURN = 0x7FFFFFFF;
inline constexpr DWORD NORMAL_PRIORITY_CLASS = 0x20;

// Starts routine(parameter) on a new thread; suspended until ResumeThread
// when flags has CREATE_SUSPENDED. A stack size above 65535 is applied.
// Null with error 8 when the thread cannot be made.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE routine, LPVOID parameter, DWORD flags,
                    LPDWORD threadId);
// Suspension takes effect only where the thread holds nothing of the
// system's: at its start, when it leaves its last console lock or is about
// to take its first, and in the layer's own waits. Returns the previous
// suspend count, or 0xFFFFFFFF with error 6.
DWORD SuspendThread(HANDLE thread);
DWORD ResumeThread(HANDLE thread);
int GetThreadPriority(HANDLE thread);
BOOL SetThreadPriority(HANDLE thread, int priority);
DWORD GetPriorityClass(HANDLE process);
BOOL SetPriorityClass(HANDLE process, DWORD priorityClass);
