// Starting programs: the child side between fork and exec, the exec-error
// pipe, the PATH search, reaping children nobody waits for, and running a
// helper tool with piped input and output under a time limit.
#include "internal/spawn.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

extern char** environ;

namespace {

// Signals the child always gets back with their default action, handled or
// ignored by the parent.
constexpr int kResetSignals[] = {SIGINT, SIGQUIT, SIGTSTP, SIGCONT, SIGWINCH,
                                 SIGHUP, SIGTERM, SIGPIPE, SIGCHLD};

// Children whose reaper thread could not be started; swept at each spawn.
std::mutex gOrphanLock;
std::vector<pid_t>* gOrphans = nullptr;

void SweepOrphans() {
    std::lock_guard<std::mutex> guard(gOrphanLock);
    if (!gOrphans) return;
    for (size_t i = 0; i < gOrphans->size();) {
        int status;
        pid_t r = ::waitpid((*gOrphans)[i], &status, WNOHANG);
        if (r == 0) {
            i++;
            continue;
        }
        (*gOrphans)[i] = gOrphans->back();
        gOrphans->pop_back();
    }
}

// Moves fd above the standard descriptors, close-on-exec; the original is
// closed. -1 with errno on failure (fd is closed then too).
int LiftDescriptor(int fd) {
    if (fd > 2) return fd;
    int lifted = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    int saved = errno;
    ::close(fd);
    errno = saved;
    return lifted;
}

// The child side. Only async-signal-safe calls: sigaction, sigprocmask,
// setsid, fcntl, dup2, chdir, execve, write, _exit.
[[noreturn]] void ChildSide(const SpawnRequest& r, const char* path, int nullFd, int errorFd) {
    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    for (int s = 1; s < NSIG; s++) {
        if (s == SIGKILL || s == SIGSTOP) continue;
        bool listed = false;
        for (int l : kResetSignals)
            listed = listed || l == s;
        struct sigaction cur;
        if (::sigaction(s, nullptr, &cur) != 0) continue;
        // A handler of the parent must never run in the child before the
        // exec: it would write into the parent's pipes.
        bool handled = (cur.sa_flags & SA_SIGINFO) != 0 ||
                       (cur.sa_handler != SIG_DFL && cur.sa_handler != SIG_IGN);
        if (listed || handled) ::sigaction(s, &dfl, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    if (r.newSession) ::setsid();

    // Each source is first lifted above 2, so that no dup2 overwrites a
    // source another still needs; dup2 clears close-on-exec on the target.
    int sources[3] = {r.stdinFd, r.stdoutFd, r.stderrFd};
    int lifted[3] = {-1, -1, -1};
    for (int i = 0; i < 3; i++) {
        int src = sources[i] >= 0 ? sources[i] : (r.nullStdio ? nullFd : -1);
        if (src < 0) continue;
        lifted[i] = ::fcntl(src, F_DUPFD_CLOEXEC, 3);
        if (lifted[i] < 0) goto failed;
    }
    for (int i = 0; i < 3; i++)
        if (lifted[i] >= 0 && ::dup2(lifted[i], i) < 0) goto failed;

    if (r.directory && ::chdir(r.directory) != 0) goto failed;
    ::execve(path, r.argv, r.envp ? r.envp : environ);
failed : {
    int err = errno;
    ssize_t ignored = ::write(errorFd, &err, sizeof err);
    (void)ignored;
    ::_exit(127);
}
}

void* ReaperThread(void* arg) {
    pid_t pid = static_cast<pid_t>(reinterpret_cast<intptr_t>(arg));
    int status;
    WaitChild(pid, &status, 0);
    return nullptr;
}

} // namespace

long long MonotonicMs() {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

int MakePipe(int fds[2]) {
    int raw[2];
    if (::pipe2(raw, O_CLOEXEC) != 0) return -1;
    int a = LiftDescriptor(raw[0]);
    if (a < 0) {
        int saved = errno;
        ::close(raw[1]);
        errno = saved;
        return -1;
    }
    int b = LiftDescriptor(raw[1]);
    if (b < 0) {
        int saved = errno;
        ::close(a);
        errno = saved;
        return -1;
    }
    fds[0] = a;
    fds[1] = b;
    return 0;
}

int ExitCodeFromStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 0;
}

pid_t WaitChild(pid_t pid, int* status, int options) {
    pid_t r;
    do
        r = ::waitpid(pid, status, options);
    while (r < 0 && errno == EINTR);
    return r;
}

void ReapDetached(pid_t pid) {
    if (pid <= 0) return;
    pthread_attr_t attr;
    bool started = false;
    if (pthread_attr_init(&attr) == 0) {
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        pthread_attr_setstacksize(&attr, 64 * 1024);
        pthread_t thread;
        started = pthread_create(&thread, &attr, ReaperThread,
                                 reinterpret_cast<void*>(static_cast<intptr_t>(pid))) == 0;
        pthread_attr_destroy(&attr);
    }
    if (started) return;
    std::lock_guard<std::mutex> guard(gOrphanLock);
    try {
        if (!gOrphans) gOrphans = new std::vector<pid_t>();
        gOrphans->push_back(pid);
    } catch (...) {
        // Nothing left to keep it with; it is reaped by whoever inherits it
        // when this process ends.
    }
}

bool FindProgramOnPath(const char* name, EmptyPath empty, std::string* found, int* error) {
    *error = ENOENT;
    if (!name || !*name || std::strchr(name, '/')) return false;
    const char* path = std::getenv("PATH");
    if (!path) path = "/usr/bin:/bin";
    if (!*path && empty == EmptyPath::Default) path = "/usr/bin:/bin";
    size_t nameLen = std::strlen(name);
    while (*path) {
        const char* end = std::strchr(path, ':');
        size_t len = end ? static_cast<size_t>(end - path) : std::strlen(path);
        const char* element = path;
        path = end ? end + 1 : path + len;
        // Empty and relative elements stand for the current directory, where
        // the user browses: a program planted there must never run.
        if (len == 0 || element[0] != '/') continue;
        if (len + 1 + nameLen >= 4096) continue;
        std::string candidate(element, len);
        if (candidate.back() != '/') candidate += '/';
        candidate += name;
        struct stat st;
        if (::stat(candidate.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (::faccessat(AT_FDCWD, candidate.c_str(), X_OK, AT_EACCESS) != 0) {
            *error = EACCES;
            continue;
        }
        *found = candidate;
        return true;
    }
    return false;
}

pid_t SpawnProgram(const SpawnRequest& r) {
    SweepOrphans();
    if (!r.program || !r.argv || !r.argv[0]) {
        errno = EINVAL;
        return -1;
    }
    std::string resolved;
    const char* path = r.program;
    if (!std::strchr(r.program, '/')) {
        int err;
        try {
            if (!FindProgramOnPath(r.program, EmptyPath::Default, &resolved, &err)) {
                errno = err;
                return -1;
            }
        } catch (const std::bad_alloc&) {
            errno = ENOMEM;
            return -1;
        }
        path = resolved.c_str();
    }

    int nullFd = -1;
    if (r.nullStdio) {
        nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        if (nullFd < 0) return -1;
    }
    int errorPipe[2];
    if (MakePipe(errorPipe) != 0) {
        int saved = errno;
        if (nullFd >= 0) ::close(nullFd);
        errno = saved;
        return -1;
    }

    // Every signal stays blocked from the fork until the child has reset
    // the dispositions, so that no handler of the parent runs in the child.
    sigset_t all, old;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &old);
    pid_t pid = ::fork();
    if (pid == 0) ChildSide(r, path, nullFd, errorPipe[1]);
    int forkErr = errno;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);

    ::close(errorPipe[1]);
    if (nullFd >= 0) ::close(nullFd);
    if (pid < 0) {
        ::close(errorPipe[0]);
        errno = forkErr;
        return -1;
    }
    int childErr = 0;
    ssize_t n;
    do
        n = ::read(errorPipe[0], &childErr, sizeof childErr);
    while (n < 0 && errno == EINTR);
    ::close(errorPipe[0]);
    if (n <= 0) return pid; // closed by the exec: the program runs
    int status;
    WaitChild(pid, &status, 0);
    errno = n == static_cast<ssize_t>(sizeof childErr) && childErr != 0 ? childErr : ECHILD;
    return -1;
}

int RunHelperPiped(const char* program, char* const* argv, const void* input, size_t length,
                   std::string* output, unsigned timeLimitMs) {
    long long start = MonotonicMs();
    auto timeLeft = [&]() -> long long { return start + timeLimitMs - MonotonicMs(); };

    std::string path;
    int err;
    if (!FindProgramOnPath(program, EmptyPath::Default, &path, &err)) return -1;

    int in[2] = {-1, -1}, out[2] = {-1, -1};
    if (MakePipe(in) != 0) return -1;
    if (output && MakePipe(out) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return -1;
    }
    int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    SpawnRequest request;
    request.program = path.c_str();
    request.argv = argv;
    request.newSession = true;
    request.stdinFd = in[0];
    request.stdoutFd = output ? out[1] : nullFd;
    request.stderrFd = nullFd;
    pid_t pid = nullFd >= 0 ? SpawnProgram(request) : -1;
    ::close(in[0]);
    if (output) ::close(out[1]);
    if (nullFd >= 0) ::close(nullFd);
    if (pid < 0) {
        ::close(in[1]);
        if (output) ::close(out[0]);
        return -1;
    }

    // The input. SIGPIPE is blocked in this thread only, so that a tool
    // that quits early gives EPIPE here and no other thread's signal
    // handling changes; a SIGPIPE left pending is taken before unblocking.
    bool timedOut = false;
    {
        sigset_t pipeSet, oldMask;
        sigemptyset(&pipeSet);
        sigaddset(&pipeSet, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSet, &oldMask);
        ::fcntl(in[1], F_SETFL, O_NONBLOCK);
        const char* p = static_cast<const char*>(input);
        size_t left = input ? length : 0;
        bool broken = false;
        while (left > 0) {
            ssize_t w = ::write(in[1], p, left);
            if (w > 0) {
                p += w;
                left -= static_cast<size_t>(w);
                continue;
            }
            if (w < 0 && errno == EINTR) continue;
            if (w < 0 && errno == EAGAIN) {
                // A tool that never reads must not hold the caller forever.
                long long wait = timeLeft();
                if (wait < 0) {
                    timedOut = true;
                    break;
                }
                struct pollfd pfd = {in[1], POLLOUT, 0};
                ::poll(&pfd, 1, static_cast<int>(wait > 200 ? 200 : wait));
                continue;
            }
            broken = true;
            break;
        }
        ::close(in[1]);
        if (broken && !sigismember(&oldMask, SIGPIPE)) {
            struct timespec zero = {0, 0};
            while (sigtimedwait(&pipeSet, nullptr, &zero) == SIGPIPE) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    }

    std::string collected;
    if (output && !timedOut) {
        std::vector<char> buffer(8192);
        size_t used = 0;
        for (;;) {
            long long wait = timeLeft();
            if (wait < 0) break;
            struct pollfd pfd = {out[0], POLLIN, 0};
            int pr = ::poll(&pfd, 1, static_cast<int>(wait > 200 ? 200 : wait));
            if (pr < 0 && errno != EINTR) break;
            if (pr <= 0) continue;
            if (buffer.size() - used < 4096) buffer.resize(buffer.size() * 2 + 8192);
            ssize_t n = ::read(out[0], buffer.data() + used, buffer.size() - used);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n <= 0) break;
            used += static_cast<size_t>(n);
        }
        collected.assign(buffer.data(), used);
    }
    if (output) ::close(out[0]);

    int status = 0;
    bool ended = false;
    for (;;) {
        pid_t r = WaitChild(pid, &status, WNOHANG);
        if (r == pid || r < 0) {
            ended = r == pid;
            break;
        }
        if (timedOut || timeLeft() < 0) {
            // The group as well: a tool's own helpers must not run on.
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
            WaitChild(pid, &status, 0);
            return -1;
        }
        struct timespec tick = {0, 10 * 1000 * 1000};
        ::nanosleep(&tick, nullptr);
    }
    if (!ended || !WIFEXITED(status)) return -1;
    if (output) *output = std::move(collected);
    return WEXITSTATUS(status);
}

pid_t ProcessSpawn(char* const* argv, const char* program, const char* directory, bool detach) {
    SpawnRequest request;
    request.program = program;
    request.argv = argv;
    request.directory = directory;
    request.newSession = detach;
    request.nullStdio = detach;
    return SpawnProgram(request);
}
