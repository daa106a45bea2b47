// What the process, clipboard and share tests share: the children of the
// test process (none may be left, running or a zombie, after a test), a
// directory of stand-in tools on PATH with their recorded calls, a drive
// letter mapped onto a temporary directory, and text conversions.
#pragma once

#include "../support/fixture.h"
#include "internal/console.h"
#include "internal/console_child.h"
#include "qposix_drives.h"
#include "qposix_path.h"
#include "windows.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace qproc {

// The decimal number at the start of text (atol is the layer's own here).
inline long LeadingNumber(const char* text) {
    long v = 0;
    while (*text >= '0' && *text <= '9')
        v = v * 10 + (*text++ - '0');
    return v;
}

// The pids and states (R, S, Z, ...) of this process's children, read from
// /proc, so that children a reaper thread still waits for are seen as well.
inline std::vector<std::pair<pid_t, char>> Children() {
    std::vector<std::pair<pid_t, char>> out;
    pid_t self = ::getpid();
    DIR* d = ::opendir("/proc");
    if (!d) return out;
    while (struct dirent* e = ::readdir(d)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        // Plain reads: a process may end while its file is read.
        std::string text;
        int fd =
            ::open((std::string("/proc/") + e->d_name + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        char buf[1024];
        ssize_t n = ::read(fd, buf, sizeof buf);
        ::close(fd);
        if (n <= 0) continue;
        text.assign(buf, static_cast<size_t>(n));
        size_t close = text.rfind(')');
        if (close == std::string::npos || close + 4 >= text.size()) continue;
        char state = text[close + 2];
        pid_t ppid = static_cast<pid_t>(LeadingNumber(text.c_str() + close + 4));
        if (ppid == self) out.emplace_back(static_cast<pid_t>(LeadingNumber(e->d_name)), state);
    }
    ::closedir(d);
    return out;
}

// Success when, within waitMs, this process has no child left: none
// running and none a zombie; waitpid then finds nothing to reap.
inline ::testing::AssertionResult NoChildrenLeft(int waitMs = 5000) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    std::vector<std::pair<pid_t, char>> left;
    for (;;) {
        left = Children();
        if (left.empty()) break;
        if (std::chrono::steady_clock::now() > until) {
            std::ostringstream text;
            for (auto& c : left)
                text << " " << c.first << "(" << c.second << ")";
            return ::testing::AssertionFailure() << "children left:" << text.str();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    int status;
    errno = 0;
    if (::waitpid(-1, &status, WNOHANG) != -1 || errno != ECHILD)
        return ::testing::AssertionFailure() << "waitpid still finds a child";
    return ::testing::AssertionSuccess();
}

inline std::u16string U(const std::string& utf8) {
    std::vector<WCHAR> out(utf8.size() + 1);
    SSIZE_T n =
        Utf8ToUtf16(utf8.data(), static_cast<SSIZE_T>(utf8.size()), out.data(), out.size(), true);
    return std::u16string(out.data(), n < 0 ? 0 : static_cast<size_t>(n));
}

inline std::string N(const std::u16string& wide) {
    std::vector<char> out(wide.size() * 3 + 1);
    SSIZE_T n =
        Utf16ToUtf8(wide.c_str(), static_cast<SSIZE_T>(wide.size()), out.data(), out.size());
    return std::string(out.data(), n < 0 ? 0 : static_cast<size_t>(n));
}

// A Linux file name as it appears in a Windows path (name escapes).
inline std::u16string WindowsName(const std::string& name) {
    std::vector<WCHAR> out(name.size() * 2 + 2);
    SSIZE_T n =
        NameFromPosix(name.c_str(), static_cast<SSIZE_T>(name.size()), out.data(), out.size());
    return std::u16string(out.data(), n < 0 ? 0 : static_cast<size_t>(n));
}

inline bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// Polls for a file a detached child writes; true once it exists.
inline bool WaitForFile(const std::string& path, int waitMs = 5000) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (!Exists(path)) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// The recorded calls of the stand-in tools: one argument vector per call of
// tool, in call order, and the standard input each call read.
struct StubCall {
    std::vector<std::string> args;
    std::string input;
    bool hasInput = false;
};

inline std::vector<StubCall> Calls(const std::string& log, const std::string& tool) {
    std::vector<std::pair<long, std::string>> files;
    DIR* d = ::opendir(log.c_str());
    if (!d) return {};
    std::string suffix = "." + tool + ".args";
    while (struct dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            files.emplace_back(LeadingNumber(name.c_str()), name.substr(0, name.size() - 5));
    }
    ::closedir(d);
    std::sort(files.begin(), files.end());
    std::vector<StubCall> calls;
    for (auto& f : files) {
        StubCall call;
        std::string raw = qtest::ReadFile(log + "/" + f.second + ".args");
        size_t at = 0;
        while (at < raw.size()) {
            size_t end = raw.find('\0', at);
            if (end == std::string::npos) end = raw.size();
            call.args.push_back(raw.substr(at, end - at));
            at = end + 1;
        }
        std::string in = log + "/" + f.second + ".in";
        call.hasInput = Exists(in);
        if (call.hasInput) call.input = qtest::ReadFile(in);
        calls.push_back(call);
    }
    return calls;
}

// A directory of stand-in tools that becomes the whole of PATH (the stand-ins
// set their own PATH inside), with a log and a state directory for them.
class StubTools {
  public:
    StubTools()
        : log_(dir_.MakeDir("log")), state_(dir_.MakeDir("state")), bin_(dir_.MakeDir("bin")) {}
    // Puts the stand-in script as name on PATH.
    void Add(const std::string& script, const std::string& name) {
        std::string target = std::string(QUILB_STUB_DIR) + "/" + script;
        EXPECT_EQ(::symlink(target.c_str(), (bin_ + "/" + name).c_str()), 0) << name;
    }
    void AddClipboardTools(std::initializer_list<const char*> names) {
        for (const char* n : names)
            Add("clipboard-tool", n);
    }
    const std::string& bin() const { return bin_; }
    const std::string& log() const { return log_; }
    const std::string& state() const { return state_; }
    std::vector<StubCall> Calls(const std::string& tool) const { return qproc::Calls(log_, tool); }

  private:
    qtest::TempDir dir_;
    std::string log_, state_, bin_;
    qtest::ScopedEnv logEnv_{"QSTUB_LOG", log_.c_str()};
    qtest::ScopedEnv stateEnv_{"QSTUB_STATE", state_.c_str()};
};

// The calls the console received from the process and clipboard code, as
// its test observer reports them.
struct ConsoleChildCalls {
    int release = 0;
    int reacquire = 0;
    int promptKey = 0;
    int terminalClipboard = 0;
    std::string lastPrompt;
    std::string lastClipboard;
};

inline std::mutex& ConsoleCallsLock() {
    static std::mutex lock;
    return lock;
}

inline ConsoleChildCalls& RecordedConsoleCalls() {
    static ConsoleChildCalls calls;
    return calls;
}

inline void RecordConsoleCall(ConsoleChildCall call, const void* bytes, size_t length) {
    std::lock_guard<std::mutex> guard(ConsoleCallsLock());
    ConsoleChildCalls& calls = RecordedConsoleCalls();
    std::string text = bytes ? std::string(static_cast<const char*>(bytes), length) : std::string();
    switch (call) {
    case ConsoleChildCall::Release: calls.release++; break;
    case ConsoleChildCall::Reacquire: calls.reacquire++; break;
    case ConsoleChildCall::PromptKey:
        calls.promptKey++;
        calls.lastPrompt = text;
        break;
    case ConsoleChildCall::TerminalClipboard:
        calls.terminalClipboard++;
        calls.lastClipboard = text;
        break;
    }
}

// Starts recording afresh.
inline void ResetConsoleCalls() {
    ConsoleTestSetChildCallObserver(RecordConsoleCall);
    std::lock_guard<std::mutex> guard(ConsoleCallsLock());
    RecordedConsoleCalls() = ConsoleChildCalls();
}

inline ConsoleChildCalls ConsoleCalls() {
    std::lock_guard<std::mutex> guard(ConsoleCallsLock());
    return RecordedConsoleCalls();
}

// A test that starts children: a temporary directory mapped as drive Q:,
// the console record reset, and no child left afterwards.
class ChildTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The console never takes the terminal the tests run in: it would
        // open this path, which no terminal lies behind.
        ConsoleTestUseTerminal("/dev/null/no-terminal");
        ResetConsoleCalls();
        ASSERT_TRUE(DriveMapSet('Q', dir.path().c_str(), nullptr));
    }
    void TearDown() override {
        DriveMapClear('Q');
        EXPECT_TRUE(NoChildrenLeft());
    }
    // The Windows path of a file in the temporary directory.
    std::u16string Q(const std::string& relative) const {
        std::u16string out = u"Q:";
        size_t at = 0;
        while (at <= relative.size()) {
            size_t slash = relative.find('/', at);
            if (slash == std::string::npos) slash = relative.size();
            out += u'\\';
            out += WindowsName(relative.substr(at, slash - at));
            at = slash + 1;
        }
        return out;
    }
    std::string Script(const std::string& name, const std::string& body) {
        std::string path = dir.Write(name, "#!/bin/sh\n" + body);
        ::chmod(path.c_str(), 0755);
        return path;
    }
    qtest::TempDir dir;
};

} // namespace qproc
