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

// ---- processes ----------------------------------------------------------------

// The exit code GetExitCodeProcess gives while the process runs.
inline constexpr DWORD STILL_ACTIVE = 259;

// Creation flags that start the child without the console: it runs
// detached, in a session of its own, with the null device as its standard
// handles.
inline constexpr DWORD DETACHED_PROCESS = 0x00000008;
inline constexpr DWORD CREATE_NEW_CONSOLE = 0x00000010;
inline constexpr DWORD CREATE_NO_WINDOW = 0x08000000;

// What CreateProcessW fills: the process handle, no thread handle (0), and
// the child's pid as both the process and the thread id.
typedef struct _PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
} PROCESS_INFORMATION, *PPROCESS_INFORMATION, *LPPROCESS_INFORMATION;
static_assert(sizeof(PROCESS_INFORMATION) == 24 && offsetof(PROCESS_INFORMATION, dwProcessId) == 16);

// Accepted by CreateProcessW and not read: the child's window and standard
// handles are decided by the creation flags.
typedef struct _STARTUPINFOW {
    DWORD cb;
    LPWSTR lpReserved;
    LPWSTR lpDesktop;
    LPWSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
} STARTUPINFOW, *LPSTARTUPINFOW;
static_assert(sizeof(STARTUPINFOW) == 104 && offsetof(STARTUPINFOW, wShowWindow) == 64 &&
              offsetof(STARTUPINFOW, hStdInput) == 80);

// Starts a program from a Windows command line. The line (or, when it is
// null or empty, the application name) is split as Windows splits it
// (CommandLineSplit in qposix_process.h); the program is the application
// name when given, else the first argument, and a name without a '/' is
// looked up on the absolute elements of PATH. Paths in the arguments and
// the directory are mapped through PathToPosix. With DETACHED_PROCESS,
// CREATE_NEW_CONSOLE or CREATE_NO_WINDOW the child runs detached; otherwise
// the terminal is handed to it and taken back when it is seen to end (by a
// wait, GetExitCodeProcess or CloseHandle). Security attributes,
// inheritance, the environment block and the startup information are not
// used. TRUE with a process handle in *info (hThread 0, both ids the pid);
// without info the handle is closed at once, which waits for a child that
// holds the terminal. FALSE with last error 87 (no line to split), 2 (no
// such program), 5 (it may not be run), 8 (no handle could be made; the
// child is still reaped), else the errno table; the terminal is then taken
// back and no child is left behind.
BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine,
                    LPSECURITY_ATTRIBUTES processAttributes,
                    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles,
                    DWORD creationFlags, LPVOID environment, LPCWSTR currentDirectory,
                    LPSTARTUPINFOW startupInfo, LPPROCESS_INFORMATION info);

// The exit code of a process without waiting: STILL_ACTIVE (259) while it
// runs, else its exit status, or 128 plus the signal that ended it. FALSE
// with last error 6 for a handle that is not a process, 87 without code.
// The current-process pseudo handle answers STILL_ACTIVE.
BOOL GetExitCodeProcess(HANDLE process, LPDWORD code);
