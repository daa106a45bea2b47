// Helpers of the file-system operation tests: Windows forms of test paths,
// file contents and identities, directory listings, and running a body in a
// child process that a hang cannot take down with the test program.
#pragma once

#include "../support/fixture.h"
#include "windows.h"
#include "internal/sys.h"
#include "qposix_path.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fsops {

// One injected failure: the nth call of a kind fails with err, and the
// operation is expected to report result.
struct InjectedFault {
    const char* what;
    QSysCall call;
    unsigned nth;
    int err;
    DWORD result;
};

// The Windows form of a POSIX path through the machine's drive map.
inline std::u16string Win(const std::string& posix) {
    WCHAR out[4200];
    EXPECT_GE(PathFromPosix(posix.c_str(), out, 4200), 0) << posix;
    return out;
}

inline std::string Narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s)
        out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

inline bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

inline struct stat Lstat(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

// The text of a symbolic link; empty when path is none.
inline std::string LinkText(const std::string& path) {
    char buf[4096];
    ssize_t n = ::readlink(path.c_str(), buf, sizeof buf);
    return n < 0 ? std::string() : std::string(buf, static_cast<size_t>(n));
}

// The names in a directory, sorted, without "." and "..".
inline std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (struct dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Bytes that differ at every offset of a copy step, so that a step copied
// twice, skipped or misplaced shows.
inline std::string Pattern(size_t size, unsigned seed) {
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; i++) {
        x = x * 1103515245u + 12345u;
        s[i] = static_cast<char>(x >> 24);
    }
    return s;
}

// A directory on another file system than the test directories (/dev/shm,
// a tmpfs), for real moves across file systems.
class OtherFileSystem {
  public:
    OtherFileSystem() {
        struct stat st;
        if (::stat("/dev/shm", &st) != 0 || !S_ISDIR(st.st_mode)) return;
        qtest::ScopedEnv tmp("TMPDIR", "/dev/shm");
        dir_ = std::make_unique<qtest::TempDir>();
    }
    bool available() const { return dir_ != nullptr; }
    const qtest::TempDir& dir() const { return *dir_; }

  private:
    std::unique_ptr<qtest::TempDir> dir_;
};

// Runs body in a child process that is killed after `seconds`: a call that
// blocks shows as a failure instead of hanging the test program. Returns
// body's result, or -1 when the child was killed or died.
inline int RunWithin(unsigned seconds, const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        ::alarm(seconds);
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// Collects the checks of a body that runs in a child process, where test
// assertions cannot report: the result is 0, or the number of the first
// check that failed.
class ChildChecks {
  public:
    void operator()(bool ok) {
        ++count_;
        if (!ok && !first_) first_ = count_;
    }
    int result() const { return first_; }

  private:
    int count_ = 0;
    int first_ = 0;
};

// A program in PATH, absolute elements only: an empty or relative element
// would name the working directory. Empty when there is none.
inline std::string FindTool(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string list = path ? path : "";
    size_t pos = 0;
    while (pos <= list.size()) {
        size_t end = list.find(':', pos);
        if (end == std::string::npos) end = list.size();
        std::string element = list.substr(pos, end - pos);
        pos = end + 1;
        if (element.empty() || element[0] != '/') continue;
        std::string candidate = element + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

// What trash-list prints (it reads the trash as the desktops do); *ran is
// false when it could not be run.
inline std::string RunTrashList(bool* ran) {
    std::string listed;
    *ran = false;
    std::string tool = FindTool("trash-list");
    if (tool.empty()) return listed;
    int fds[2];
    if (::pipe(fds) != 0) return listed;
    pid_t pid = ::fork();
    if (pid < 0) return listed;
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        ::close(fds[1]);
        ::execl(tool.c_str(), "trash-list", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(fds[1]);
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
        listed.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    *ran = ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return listed;
}

} // namespace fsops
