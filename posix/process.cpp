// Process handles: the object behind handle type 7, its polls and waits,
// CreateProcessW and GetExitCodeProcess, and the split of a Windows command
// line into an argument vector.
#include "processthreadsapi.h"
#include "errhandlingapi.h"
#include "handleapi.h"
#include "internal/console_child.h"
#include "internal/handles.h"
#include "internal/process.h"
#include "internal/spawn.h"
#include "internal/threads.h"
#include "qposix_path.h"
#include "qposix_process.h"
#include "qwcrt.h"
#include "synchapi.h"
#include "winerror.h"

#include <pthread.h>
#include <sys/wait.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

namespace {

struct PROCESS_OBJECT {
    pid_t pid;
    bool exited = false;
    DWORD exitCode = 0;
    bool consoleHeld = false; // the child owns the terminal until it is seen to end
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER; // serialises polls
};

// Polls the child, blocking when block is set. True once it has ended. The
// first poll to see the end of a child that holds the terminal takes the
// terminal back (outside the object's mutex, which is a leaf lock).
bool ProcessPoll(PROCESS_OBJECT* p, bool block) {
    bool reacquire = false;
    bool exited;
    pthread_mutex_lock(&p->mutex);
    if (!p->exited) {
        int status = 0;
        pid_t r = WaitChild(p->pid, &status, block ? 0 : WNOHANG);
        if (r == p->pid) {
            p->exited = true;
            p->exitCode = static_cast<DWORD>(ExitCodeFromStatus(status));
        } else if (r < 0) {
            // The child is gone (reaped elsewhere): nothing more to learn.
            p->exited = true;
            p->exitCode = 0;
        }
    }
    if (p->exited && p->consoleHeld) {
        p->consoleHeld = false;
        reacquire = true;
    }
    exited = p->exited;
    pthread_mutex_unlock(&p->mutex);
    if (reacquire) {
        // A poll inside a successful wait leaves the caller's last error.
        LastErrorSaver keep;
        ConsoleReacquire();
    }
    return exited;
}

void ProcessObjectClose(void* object) {
    auto* p = static_cast<PROCESS_OBJECT*>(object);
    if (!ProcessPoll(p, false)) {
        bool holds;
        pthread_mutex_lock(&p->mutex);
        holds = p->consoleHeld;
        pthread_mutex_unlock(&p->mutex);
        // A child with the terminal is waited for here, so that the terminal
        // is taken back when it ends; any other is reaped in the background.
        if (holds)
            ProcessPoll(p, true);
        else
            ReapDetached(p->pid);
    }
    pthread_mutex_destroy(&p->mutex);
    delete p;
}

PROCESS_OBJECT* LookupProcess(HANDLE handle) {
    return static_cast<PROCESS_OBJECT*>(HandleLookup(handle, HANDLE_TYPE_PROCESS));
}

bool IsCurrentProcessPseudo(HANDLE handle) {
    return reinterpret_cast<intptr_t>(handle) == -1;
}

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

} // namespace

HANDLE ProcessObjectCreate(pid_t pid, bool consoleHeld) {
    static std::once_flag once;
    std::call_once(once, [] { HandleRegisterType(HANDLE_TYPE_PROCESS, ProcessObjectClose); });
    auto* p = new (std::nothrow) PROCESS_OBJECT;
    if (!p) return nullptr;
    p->pid = pid;
    p->consoleHeld = consoleHeld;
    HANDLE h = HandleAllocate(HANDLE_TYPE_PROCESS, p);
    if (!h) {
        pthread_mutex_destroy(&p->mutex);
        delete p;
    }
    return h;
}

DWORD ProcessWait(HANDLE handle, DWORD milliseconds) {
    PROCESS_OBJECT* p = LookupProcess(handle);
    if (!p) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    ThreadCheckSuspend();
    if (milliseconds == INFINITE) {
        // Waits without reaping and without the object's mutex, so that
        // GetExitCodeProcess on another thread still answers at once; the
        // poll below then collects the status.
        bool done;
        pthread_mutex_lock(&p->mutex);
        done = p->exited;
        pthread_mutex_unlock(&p->mutex);
        if (!done) {
            siginfo_t info;
            int r;
            do
                r = ::waitid(P_PID, static_cast<id_t>(p->pid), &info, WEXITED | WNOWAIT);
            while (r < 0 && errno == EINTR);
        }
        ProcessPoll(p, false);
        return WAIT_OBJECT_0;
    }
    long long deadline = MonotonicMs() + milliseconds;
    for (;;) {
        if (ProcessPoll(p, false)) return WAIT_OBJECT_0;
        long long left = deadline - MonotonicMs();
        if (milliseconds == 0 || left <= 0) return WAIT_TIMEOUT;
        struct timespec tick = {0, static_cast<long>(left < 10 ? left : 10) * 1000000L};
        ::nanosleep(&tick, nullptr);
        ThreadCheckSuspend();
    }
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD code) {
    if (IsCurrentProcessPseudo(process)) {
        if (!code) return Fail(ERROR_INVALID_PARAMETER);
        *code = STILL_ACTIVE;
        return TRUE;
    }
    PROCESS_OBJECT* p = LookupProcess(process);
    if (!p) return Fail(ERROR_INVALID_HANDLE);
    if (!code) return Fail(ERROR_INVALID_PARAMETER);
    bool exited = ProcessPoll(p, false);
    pthread_mutex_lock(&p->mutex);
    *code = exited ? p->exitCode : STILL_ACTIVE;
    pthread_mutex_unlock(&p->mutex);
    return TRUE;
}

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES,
                    LPSECURITY_ATTRIBUTES, BOOL, DWORD creationFlags, LPVOID,
                    LPCWSTR currentDirectory, LPSTARTUPINFOW, LPPROCESS_INFORMATION info) {
    const WCHAR* line = commandLine && commandLine[0] ? commandLine : applicationName;
    if (!line) return Fail(ERROR_INVALID_PARAMETER);
    char** argv = CommandLineSplit(line);
    if (!argv) return Fail(ERROR_INVALID_PARAMETER);
    std::string program, directory;
    try {
        program = applicationName ? PathToPosix(applicationName) : argv[0];
        if (currentDirectory) directory = PathToPosix(currentDirectory);
    } catch (const std::bad_alloc&) {
        CommandLineFree(argv);
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    bool detach = (creationFlags & (CREATE_NO_WINDOW | CREATE_NEW_CONSOLE | DETACHED_PROCESS)) != 0;
    if (!detach) ConsoleRelease();
    pid_t pid =
        ProcessSpawn(argv, program.c_str(), currentDirectory ? directory.c_str() : nullptr, detach);
    int err = errno;
    CommandLineFree(argv);
    if (pid < 0) {
        // Nothing runs: the terminal comes back at once.
        if (!detach) ConsoleReacquire();
        return Fail(err == ENOENT   ? ERROR_FILE_NOT_FOUND
                    : err == EACCES ? ERROR_ACCESS_DENIED
                                    : ErrnoToWin32Error(err));
    }
    HANDLE h = ProcessObjectCreate(pid, !detach);
    if (!h) {
        if (detach) {
            ReapDetached(pid);
        } else {
            // The child has the terminal: wait for it here and take the
            // terminal back, rather than leave the screen handed over.
            int status;
            WaitChild(pid, &status, 0);
            ConsoleReacquire();
        }
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (!info) {
        CloseHandle(h);
        return TRUE;
    }
    info->hProcess = h;
    info->hThread = nullptr;
    info->dwProcessId = static_cast<DWORD>(pid);
    info->dwThreadId = static_cast<DWORD>(pid);
    return TRUE;
}

// ---- command lines ------------------------------------------------------------

namespace {

struct ArgVector {
    char** v = nullptr;
    size_t n = 0;
    size_t cap = 0;
};

bool Push(ArgVector& a, char* s) {
    if (!s) return false;
    if (a.n + 1 >= a.cap) {
        size_t cap = a.cap ? a.cap * 2 : 8;
        auto* grown = static_cast<char**>(std::realloc(a.v, cap * sizeof(char*)));
        if (!grown) {
            std::free(s);
            return false;
        }
        a.v = grown;
        a.cap = cap;
    }
    a.v[a.n++] = s;
    a.v[a.n] = nullptr;
    return true;
}

char* ConvertArgument(const std::u16string& arg, bool first) {
    bool path = PathHasDriveRoot(arg.c_str());
    if (first)
        path =
            path || (arg.size() >= 2 && arg[1] == ':') || arg.find(u'\\') != std::u16string::npos;
    if (path) return strdup(PathToPosix(arg.c_str()));
    size_t bytes = arg.size() * 3 + 1;
    char* out = static_cast<char*>(std::malloc(bytes));
    if (!out) return nullptr;
    if (Utf16ToUtf8(arg.c_str(), static_cast<SSIZE_T>(arg.size()), out, bytes) < 0) {
        std::free(out);
        return nullptr;
    }
    return out;
}

bool IsBlank(WCHAR c) {
    return c == ' ' || c == '\t';
}

} // namespace

char** CommandLineSplit(const WCHAR* line) {
    if (!line) return nullptr;
    ArgVector a;
    try {
        size_t i = 0;
        while (IsBlank(line[i]))
            i++;
        if (!line[i]) return nullptr;
        std::u16string cur;
        // The program name: no escapes, as the loader reads it.
        if (line[i] == '"') {
            i++;
            while (line[i] && line[i] != '"')
                cur += line[i++];
            if (line[i] == '"') i++;
        } else {
            while (line[i] && !IsBlank(line[i]))
                cur += line[i++];
        }
        if (!Push(a, ConvertArgument(cur, true))) throw std::bad_alloc();
        for (;;) {
            while (IsBlank(line[i]))
                i++;
            if (!line[i]) break;
            cur.clear();
            bool quoted = false;
            while (line[i]) {
                WCHAR c = line[i];
                if (!quoted && IsBlank(c)) break;
                if (c == '\\') {
                    size_t n = 0;
                    while (line[i] == '\\') {
                        n++;
                        i++;
                    }
                    if (line[i] == '"') {
                        cur.append(n / 2, u'\\');
                        if (n % 2) {
                            cur += u'"';
                            i++;
                        }
                    } else {
                        cur.append(n, u'\\');
                    }
                    continue;
                }
                if (c == '"') {
                    if (quoted && line[i + 1] == '"') {
                        cur += u'"';
                        i += 2;
                        continue;
                    }
                    quoted = !quoted;
                    i++;
                    continue;
                }
                cur += c;
                i++;
            }
            if (!Push(a, ConvertArgument(cur, false))) throw std::bad_alloc();
        }
    } catch (const std::bad_alloc&) {
        CommandLineFree(a.v);
        return nullptr;
    }
    return a.v;
}

void CommandLineFree(char** argv) {
    if (!argv) return;
    for (char** p = argv; *p; p++)
        std::free(*p);
    std::free(argv);
}
