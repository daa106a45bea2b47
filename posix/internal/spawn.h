// The one way the layer starts a program: the child side between fork and
// exec (signals back to their defaults, nothing blocked, a new session when
// asked, the standard handles, the working directory) and the pipe that
// carries a failed exec back to the parent. Programs named without a '/' are
// looked up on PATH, skipping empty and relative elements, so that a program
// planted in the directory the user browses never runs in its stead.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

// What the child is given. The three descriptors, when not -1, become its
// standard input, output and error; with nullStdio the ones left at -1 are
// the null device instead of the parent's.
struct SpawnRequest {
    const char* program = nullptr;   // a path (with '/'), or a name searched on PATH
    char* const* argv = nullptr;     // ends with a null entry
    char* const* envp = nullptr;     // null: the current environment
    const char* directory = nullptr; // null: the parent's current directory
    bool newSession = false;         // setsid, so that the child has no terminal
    bool nullStdio = false;
    int stdinFd = -1;
    int stdoutFd = -1;
    int stderrFd = -1;
};

// Forks and execs. Between fork and exec the child makes only
// async-signal-safe calls: every memory and path it needs is prepared
// before the fork. Returns the child's pid once the exec succeeded, or -1
// with errno: ENOENT when the program is not found, EACCES when it may not
// be run, else the error of fork, the directory change or the exec (the
// failed child is reaped before returning).
pid_t SpawnProgram(const SpawnRequest& request);

// How an empty PATH is read: as "/usr/bin:/bin" (like an unset one), or as
// a list without elements.
enum class EmptyPath { Default, Nothing };

// Looks for an executable regular file called name in the absolute elements
// of PATH ("/usr/bin:/bin" when PATH is unset); candidates of 4096 bytes or
// more are skipped. True with the full path in *found. False with *error
// ENOENT, or EACCES when only files that may not be run were found.
bool FindProgramOnPath(const char* name, EmptyPath empty, std::string* found, int* error);

// A pipe whose two ends are close-on-exec and never one of the standard
// descriptors 0-2 (so that a child's dup2 onto them cannot clobber it).
// 0, or -1 with errno.
int MakePipe(int fds[2]);

// The exit code of a wait status: the exit status, or 128 plus the signal.
int ExitCodeFromStatus(int status);

// waitpid for one child, repeated after EINTR. The pid, or -1 with errno.
pid_t WaitChild(pid_t pid, int* status, int options);

// Hands a child to a detached thread that waits for it, so that it never
// stays a zombie. When no thread can be started the child is kept on a list
// that the next spawn sweeps.
void ReapDetached(pid_t pid);

// Runs a helper tool with input on its standard input and, when output is
// given, its standard output collected (else the null device); standard
// error goes to the null device. The child runs in a new session. The whole
// run, writing included, is limited to timeLimitMs: a tool still running
// then is killed with its process group and the run fails. Returns the exit
// status (0-255); -1 when the tool is not on PATH, cannot be started, is
// ended by a signal or runs out of time. *output receives what was read
// (possibly empty) whenever the status is returned.
int RunHelperPiped(const char* program, char* const* argv, const void* input, size_t length,
                   std::string* output, unsigned timeLimitMs);

// Milliseconds of a monotonic clock.
long long MonotonicMs();

// The common case of SpawnProgram: argv run as program in directory (null:
// stay). Detached: a new session with the null device as standard input,
// output and error; otherwise the child shares the terminal. The pid, or -1
// with errno as SpawnProgram.
pid_t ProcessSpawn(char* const* argv, const char* program, const char* directory, bool detach);
