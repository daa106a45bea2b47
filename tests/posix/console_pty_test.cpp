// The console as a real program sees it, on a pseudo-terminal: start-up
// against terminals that answer and that do not, keys typed meanwhile, the
// colour depth chosen from the environment, and the terminal restored on
// every way out (normal exit, terminate, interrupt, hang-up, a lost
// terminal, fatal signals, stop and continue), handing the terminal to a
// child and back, and one clean-up only when the program and a terminating
// event end it at once.
#include "fixture.h"
#include "terminal_harness.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <sys/wait.h>
#include <termios.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

namespace {

constexpr size_t npos = std::string::npos;
constexpr const char* kRestoreTail = "\x1b[?1049l\x1b[23;0t";

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != npos; at = text.find(what, at + what.size())) n++;
    return n;
}

// The resident memory of a process, from /proc; -1 when it cannot be read.
long ResidentKiB(pid_t pid) {
    std::string status = qtest::ReadFile("/proc/" + std::to_string(pid) + "/status");
    size_t at = status.find("VmRSS:");
    return at == npos ? -1 : std::atol(status.c_str() + at + 6);
}

bool SameSettings(const struct termios& a, const struct termios& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The probe on a terminal that answers the device attributes request (and,
// when asked, the kitty keyboard query).
struct Probe {
    qtest::TempDir dir;
    std::string report = dir.Sub("report");
    qtest::PtyProcess p;

    explicit Probe(qtest::PtyOptions options = qtest::PtyOptions(), const char* answer = "\x1b[?62;22c")
        : p(options) {
        if (answer) p.Answer("\x1b[c", answer);
        EXPECT_TRUE(p.Start({QUILB_CONSOLE_PROBE, report}));
    }
    bool Ready() { return p.WaitFor("READY", 20000) != npos; }
    std::string Report() const { return qtest::ReadFile(report); }
    bool WaitReport(const std::string& what, int timeoutMs = 10000) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Report().find(what) == npos) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            Sleep(5);
        }
        return true;
    }
    struct termios Settings() const {
        struct termios t;
        p.CurrentSettings(&t);
        return t;
    }
};

// The terminal is as it was before the program: settings byte for byte,
// main screen, cursor shown, no mouse, focus or keyboard modes left.
void ExpectRestored(const Probe& probe, const char* what, bool settings = true) {
    std::string out = probe.p.Output();
    qtest::ModeTracker modes;
    modes.Feed(out);
    EXPECT_EQ(modes.Leftovers(), "") << what;
    qtest::VtScreen screen(24, 80);
    screen.Feed(out);
    EXPECT_FALSE(screen.AltScreen()) << what;
    EXPECT_TRUE(screen.CursorVisible()) << what;
    if (settings) {
        EXPECT_TRUE(SameSettings(probe.Settings(), probe.p.InitialSettings())) << what;
    }
}

TEST(ConsolePty, ExitPathsRestoreTheTerminal) {
    struct Case {
        const char* what;
        std::function<void(Probe&)> end;
        bool signaled; // else exited
        int value;     // exit status or signal
        bool settings; // the terminal is still there to read
    };
    const Case cases[] = {
        {"normal exit", [](Probe& p) { p.p.Write("q"); }, false, 0, true},
        {"SIGTERM", [](Probe& p) { p.p.Signal(SIGTERM); }, false, 143, true},
        {"SIGINT without a handler", [](Probe& p) { p.p.Signal(SIGINT); }, false, 130, true},
        {"SIGHUP", [](Probe& p) { p.p.Signal(SIGHUP); }, false, 129, true},
        {"fatal SIGSEGV", [](Probe& p) { p.p.Signal(SIGSEGV); }, true, SIGSEGV, true},
        {"fatal SIGBUS", [](Probe& p) { p.p.Signal(SIGBUS); }, true, SIGBUS, true},
        {"abort", [](Probe& p) { p.p.Write("a"); }, true, SIGABRT, true},
        // Every other signal whose default action ends the process.
        {"SIGQUIT", [](Probe& p) { p.p.Signal(SIGQUIT); }, true, SIGQUIT, true},
        {"SIGUSR1", [](Probe& p) { p.p.Signal(SIGUSR1); }, true, SIGUSR1, true},
        {"SIGUSR2", [](Probe& p) { p.p.Signal(SIGUSR2); }, true, SIGUSR2, true},
        {"SIGALRM", [](Probe& p) { p.p.Signal(SIGALRM); }, true, SIGALRM, true},
        {"SIGXCPU", [](Probe& p) { p.p.Signal(SIGXCPU); }, true, SIGXCPU, true},
        {"SIGXFSZ", [](Probe& p) { p.p.Signal(SIGXFSZ); }, true, SIGXFSZ, true},
        {"SIGVTALRM", [](Probe& p) { p.p.Signal(SIGVTALRM); }, true, SIGVTALRM, true},
        {"SIGPROF", [](Probe& p) { p.p.Signal(SIGPROF); }, true, SIGPROF, true},
        {"SIGPIPE", [](Probe& p) { p.p.Signal(SIGPIPE); }, true, SIGPIPE, true},
        {"a real-time signal", [](Probe& p) { p.p.Signal(SIGRTMAX); }, true, SIGRTMAX, true},
        {"loss of the terminal", [](Probe& p) { p.p.CloseMaster(); }, false, 129, false},
    };
    for (const Case& c : cases) {
        Probe probe;
        ASSERT_TRUE(probe.Ready()) << c.what;
        ASSERT_NE(probe.p.WaitFor("\x1b[?2026l", 10000), npos) << c.what;
        c.end(probe);
        int status = probe.p.WaitExit(20000);
        ASSERT_NE(status, -1) << c.what << ": still running";
        if (c.signaled) {
            ASSERT_TRUE(WIFSIGNALED(status)) << c.what << " status " << status;
            EXPECT_EQ(WTERMSIG(status), c.value) << c.what;
        } else {
            ASSERT_TRUE(WIFEXITED(status)) << c.what << " status " << status;
            EXPECT_EQ(WEXITSTATUS(status), c.value) << c.what;
        }
        if (c.settings) {
            ExpectRestored(probe, c.what);
        }
    }
}

TEST(ConsolePty, NormalExitLeavesTheLastScreenInTheShell) {
    Probe probe;
    ASSERT_TRUE(probe.Ready());
    probe.p.Write("q");
    ASSERT_NE(probe.p.WaitExit(20000), -1);
    std::string out = probe.p.Output();
    size_t restored = out.rfind(kRestoreTail);
    ASSERT_NE(restored, npos);
    EXPECT_NE(out.find("\r\n  READY\r\n", restored), npos) << qtest::Hex(out.substr(restored));
    EXPECT_NE(out.find("  name\xe2\x86\x90]0;pwned\xe2\x86\x90\\\r\n", restored), npos)
        << "stored control characters are written as the screen showed them";
    EXPECT_EQ(out.find("\x1b]0;pwned"), npos) << "never as a sequence";
}

TEST(ConsolePty, InterruptWithAHandlerKeepsRunning) {
    Probe probe;
    ASSERT_TRUE(probe.Ready());
    probe.p.Write("h");
    ASSERT_TRUE(probe.WaitReport("handler installed"));
    probe.p.Signal(SIGINT);
    ASSERT_TRUE(probe.WaitReport("handler=0"));
    EXPECT_EQ(probe.p.WaitExit(300), -1) << "a handled interrupt does not end the program";
    probe.p.Write("q");
    int status = probe.p.WaitExit(20000);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ExpectRestored(probe, "after a handled interrupt");
}

TEST(ConsolePty, StopAndContinue) {
    qtest::PtyOptions options;
    options.jobControl = true;
    Probe probe(options);
    ASSERT_TRUE(probe.Ready());
    ASSERT_NE(probe.p.WaitFor("\x1b[?2026l", 10000), npos);
    struct termios raw = probe.Settings();
    EXPECT_FALSE(raw.c_lflag & ICANON);

    probe.p.Signal(SIGTSTP);
    ASSERT_TRUE(probe.p.WaitStopped(10000)) << "the program stops";
    ASSERT_NE(probe.p.WaitFor(kRestoreTail, 10000), npos);
    ExpectRestored(probe, "while stopped");

    size_t mark = probe.p.OutputSize();
    probe.p.Signal(SIGCONT);
    ASSERT_NE(probe.p.WaitFor("\x1b[?1049h", 10000, mark), npos) << "raw mode again";
    EXPECT_NE(probe.p.WaitFor("READY", 10000, mark), npos) << "and the screen repainted";
    EXPECT_TRUE(SameSettings(probe.Settings(), raw));

    probe.p.Write("q");
    int status = probe.p.WaitExit(20000);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ExpectRestored(probe, "after stop, continue and exit");
}

TEST(ConsolePty, ContinueWhileAChildHasTheTerminalLeavesItToTheChild) {
    Probe probe;
    ASSERT_TRUE(probe.Ready());
    probe.p.Write("r");
    ASSERT_NE(probe.p.WaitFor("RELEASED\r\n", 10000), npos) << "printed straight to the terminal";
    EXPECT_TRUE(SameSettings(probe.Settings(), probe.p.InitialSettings()));
    ExpectRestored(probe, "handed to the child");

    size_t mark = probe.p.OutputSize();
    probe.p.Signal(SIGCONT);
    Sleep(300);
    EXPECT_EQ(probe.p.Output().find("\x1b[?1049h", mark), npos) << "no raw mode under the child";
    EXPECT_TRUE(SameSettings(probe.Settings(), probe.p.InitialSettings()));

    probe.p.Write("line for the child\n");
    ASSERT_TRUE(probe.WaitReport("child read 19"));
    ASSERT_NE(probe.p.WaitFor("BACK", 10000, mark), npos);
    EXPECT_NE(probe.p.Output().find("READY", mark), npos) << "taken back with a full repaint";
    EXPECT_FALSE(probe.Settings().c_lflag & ICANON);
    probe.p.Write("q");
    ASSERT_NE(probe.p.WaitExit(20000), -1);
    ExpectRestored(probe, "after the child");
}

TEST(ConsolePty, PromptForAKeyWhileReleased) {
    Probe probe;
    ASSERT_TRUE(probe.Ready());
    probe.p.Write("p");
    size_t prompt = probe.p.WaitFor("Press a key", 10000);
    ASSERT_NE(prompt, npos);
    // The prompt is written, then the terminal set for one key.
    struct termios t = probe.Settings();
    for (auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
         (t.c_lflag & (ICANON | ECHO)) && std::chrono::steady_clock::now() < deadline;
         t = probe.Settings())
        Sleep(5);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO)) << "one key, not a line, and no echo";
    EXPECT_TRUE(t.c_oflag & OPOST) << "otherwise the terminal's own settings";
    probe.p.Write("k");
    ASSERT_NE(probe.p.WaitFor("PROMPTED", 10000, prompt), npos);
    std::string out = probe.p.Output();
    size_t newline = out.find('\n', prompt);
    EXPECT_LT(newline, out.find("\x1b[?1049h", prompt)) << "a new line after the key";
    probe.p.Write("q");
    ASSERT_NE(probe.p.WaitExit(20000), -1);
    ExpectRestored(probe, "after the prompt");
}

// A signal while the start-up query waits for a silent terminal: the raw
// settings are in place already, and must come back all the same. The
// query's limit is longer than any test waits, so the signal always comes
// during it.
TEST(ConsolePty, SignalsDuringTheStartUpQueryRestoreTheTerminal) {
    struct Case {
        const char* what;
        int sig;
        int status; // exit status; -1: the program stops
    };
    const Case cases[] = {
        {"SIGTERM", SIGTERM, 143},
        {"SIGINT", SIGINT, 130},
        {"SIGHUP", SIGHUP, 129},
        {"SIGTSTP", SIGTSTP, -1},
    };
    for (const Case& c : cases) {
        qtest::PtyOptions options;
        options.environment.push_back("QPROBE_QUERY_MS=60000");
        options.jobControl = c.status < 0;
        Probe probe(options, nullptr);
        ASSERT_NE(probe.p.WaitFor("\x1b[?u\x1b[c", 20000), npos) << c.what;
        EXPECT_FALSE(probe.Settings().c_lflag & ICANON) << c.what << ": raw during the query";
        probe.p.Signal(c.sig);
        if (c.status >= 0) {
            // Well before the query's own limit: the signal ends the wait.
            int status = probe.p.WaitExit(30000);
            ASSERT_NE(status, -1) << c.what << ": still waiting for the terminal";
            ASSERT_TRUE(WIFEXITED(status)) << c.what << " status " << status;
            EXPECT_EQ(WEXITSTATUS(status), c.status) << c.what;
            ExpectRestored(probe, c.what);
            continue;
        }
        ASSERT_TRUE(probe.p.WaitStopped(20000)) << c.what;
        EXPECT_TRUE(SameSettings(probe.Settings(), probe.p.InitialSettings()))
            << c.what << ": the terminal's own settings while stopped";
        probe.p.Signal(SIGCONT);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while ((probe.Settings().c_lflag & ICANON) && std::chrono::steady_clock::now() < deadline)
            Sleep(5);
        EXPECT_FALSE(probe.Settings().c_lflag & ICANON) << c.what << ": raw again, still asking";
        probe.p.Write("\x1b[?62;22c"); // the terminal answers at last
        ASSERT_TRUE(probe.Ready()) << c.what << ": the answer ends the query";
        probe.p.Write("q");
        int status = probe.p.WaitExit(20000);
        ASSERT_TRUE(WIFEXITED(status)) << c.what << " status " << status;
        EXPECT_EQ(WEXITSTATUS(status), 0) << c.what;
        ExpectRestored(probe, c.what);
    }
}

// The memory a window size costs is bounded: 9999 x 9999 is taken as the
// full width and as many rows as the bound allows, and drawn.
TEST(ConsolePty, AHugeWindowReportCostsBoundedMemory) {
    Probe probe;
    ASSERT_TRUE(probe.Ready());
    ASSERT_NE(probe.p.WaitFor("\x1b[?2026l", 10000), npos);
    long before = ResidentKiB(probe.p.Pid());
    ASSERT_GT(before, 0);
    size_t mark = probe.p.OutputSize();
    probe.p.Resize(9999, 9999);
    ASSERT_NE(probe.p.WaitFor("READY", 20000, mark), npos) << "the screen is drawn again";
    ASSERT_NE(probe.p.WaitFor("\x1b[?2026l", 20000, mark), npos);
    long after = ResidentKiB(probe.p.Pid());
    EXPECT_LE(after - before, 64L * 1024) << "KiB resident before " << before << ", after " << after;
    // 2^21 cells: 209 rows of 9999 columns.
    std::string out = probe.p.Output();
    EXPECT_NE(out.find("\x1b[209;1H", mark), npos) << "drawn down to the last row that fits";
    EXPECT_EQ(out.find("\x1b[210;1H", mark), npos) << "and no further";
    probe.p.Write("q");
    int status = probe.p.WaitExit(20000);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ConsolePty, StartUpAgainstASilentTerminalKeepsTheKeysTyped) {
    Probe probe(qtest::PtyOptions(), nullptr);
    ASSERT_NE(probe.p.WaitFor("\x1b[?u\x1b[c", 20000), npos);
    probe.p.Write("xyz");
    ASSERT_TRUE(probe.Ready());
    ASSERT_TRUE(probe.WaitReport("kitty="));
    std::string report = probe.Report();
    int ms = std::atoi(report.substr(report.find("startup_ms=") + 11).c_str());
    EXPECT_LE(ms, 5000) << "the query waits 500 ms at most";
    EXPECT_GE(ms, 400) << "and does wait for an answer";
    EXPECT_NE(report.find("kitty=0"), npos);
    EXPECT_NE(report.find("fed=78797a"), npos) << "the keys typed during the query\n" << report;
    probe.p.Write("q");
    ASSERT_NE(probe.p.WaitExit(20000), -1);
    ExpectRestored(probe, "after a silent start");
}

TEST(ConsolePty, KittyKeyboardWhenTheTerminalAnswers) {
    // A query limit no busy machine reaches: only the answer can end the
    // wait early.
    qtest::PtyOptions options;
    options.environment.push_back("QPROBE_QUERY_MS=20000");
    Probe probe(options, "\x1b[?1u\x1b[?62;22c");
    ASSERT_TRUE(probe.Ready());
    ASSERT_TRUE(probe.WaitReport("kitty="));
    EXPECT_NE(probe.Report().find("kitty=1"), npos);
    std::string report = probe.Report();
    EXPECT_LT(std::atoi(report.substr(report.find("startup_ms=") + 11).c_str()), 10000)
        << "an answer ends the wait";
    EXPECT_NE(probe.p.Output().find("\x1b[?1036h\x1b[>31u"), npos);
    probe.p.Write("q");
    ASSERT_NE(probe.p.WaitExit(20000), -1);
    EXPECT_NE(probe.p.Output().find("\x1b[?1004l\x1b[<u\x1b[?1036r"), npos);
    ExpectRestored(probe, "kitty keyboard popped");
}

TEST(ConsolePty, ColourDepthFromTheEnvironment) {
    struct Case {
        const char* what;
        std::vector<std::string> environment;
        const char* drawn;
    };
    const Case cases[] = {
        {"QUILB_COLORS 24", {"QUILB_COLORS=24"}, "\x1b[0;38;2;249;241;165;48;2;0;55;218mREADY"},
        {"COLORTERM truecolor", {"COLORTERM=truecolor", "TERM=xterm"},
         "\x1b[0;38;2;249;241;165;48;2;0;55;218mREADY"},
        {"TERM with 256color", {"TERM=xterm-256color"}, "\x1b[0;38;5;229;48;5;26mREADY"},
        {"QUILB_COLORS 256 over COLORTERM", {"QUILB_COLORS=256", "COLORTERM=truecolor"},
         "\x1b[0;38;5;229;48;5;26mREADY"},
        {"plain xterm", {"TERM=xterm"}, "\x1b[0;93;44mREADY"},
    };
    for (const Case& c : cases) {
        qtest::PtyOptions options;
        options.environment = c.environment;
        Probe probe(options);
        EXPECT_NE(probe.p.WaitFor(c.drawn, 20000), npos) << c.what;
        probe.p.Write("q");
        EXPECT_NE(probe.p.WaitExit(20000), -1) << c.what;
    }
}

TEST(ConsolePty, WindowChangeRepaintsAtTheNewSize) {
    Probe probe;
    ASSERT_TRUE(probe.Ready());
    ASSERT_NE(probe.p.WaitFor("\x1b[?2026l", 10000), npos);
    size_t mark = probe.p.OutputSize();
    probe.p.Resize(30, 100);
    ASSERT_NE(probe.p.WaitFor("READY", 20000, mark), npos) << "everything is sent again";
    // The repaint may still be on its way after the first row's text.
    EXPECT_NE(probe.p.WaitFor("\x1b[30;1H", 20000, mark), npos) << "down to the new last row";
    probe.p.Write("q");
    ASSERT_NE(probe.p.WaitExit(20000), -1);
}

TEST(ConsolePty, SplitUtf8OnStandardOutputIsOneCharacter) {
    Probe probe;
    ASSERT_TRUE(probe.Ready());
    probe.p.Write("u");
    ASSERT_TRUE(probe.WaitReport("printed"));
    auto shown = [&] {
        qtest::VtScreen screen(24, 80);
        screen.Feed(probe.p.Output());
        return screen.RowText(1);
    };
    // Generous: the rows arrive whenever the renderer gets the processor.
    for (int i = 0; i < 2000 && shown().find("READY\xc3\xa9") == npos; i++) Sleep(10);
    EXPECT_NE(shown().find("READY\xc3\xa9"), npos) << shown();
    probe.p.Write("q");
    ASSERT_NE(probe.p.WaitExit(20000), -1);
}

TEST(ConsolePty, OneCleanUpWhenExitAndTerminateMeet) {
    {
        // The program is already cleaning up when the terminate signal comes:
        // the handler's clean-up never runs, the program ends normally.
        Probe probe;
        ASSERT_TRUE(probe.Ready());
        probe.p.Write("h");
        ASSERT_TRUE(probe.WaitReport("handler installed"));
        probe.p.Write("c");
        ASSERT_TRUE(probe.WaitReport("cleanup-start"));
        probe.p.Signal(SIGTERM);
        int status = probe.p.WaitExit(20000);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        std::string report = probe.Report();
        EXPECT_EQ(Count(report, "cleanup-start"), 1) << report;
        EXPECT_EQ(Count(report, "cleanup-end"), 1) << report;
        EXPECT_EQ(Count(report, "handler=6"), 0) << report;
        ExpectRestored(probe, "normal exit first");
    }
    {
        // The terminate signal comes first: the program's own way out waits
        // and the process ends with 143 after one clean-up.
        Probe probe;
        ASSERT_TRUE(probe.Ready());
        probe.p.Write("h");
        ASSERT_TRUE(probe.WaitReport("handler installed"));
        probe.p.Write("C");
        ASSERT_TRUE(probe.WaitReport("fed=43")) << "the program has its command";
        probe.p.Signal(SIGTERM);
        int status = probe.p.WaitExit(20000);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 143);
        std::string report = probe.Report();
        EXPECT_EQ(Count(report, "handler=6"), 1) << report;
        EXPECT_EQ(Count(report, "cleanup-start"), 1) << report;
        EXPECT_EQ(Count(report, "cleanup-end"), 1) << report;
        ExpectRestored(probe, "terminate first");
    }
}

TEST(ConsolePty, WithoutATerminalTheConsoleIsUnavailable) {
    qtest::TempDir dir;
    std::string report = dir.Sub("report");
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // A new session has no controlling terminal: /dev/tty cannot be opened.
        setsid();
        int null = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3; fd++) dup2(null, fd);
        execl(QUILB_CONSOLE_PROBE, QUILB_CONSOLE_PROBE, report.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
    std::string text = qtest::ReadFile(report);
    const char* expected[] = {
        "no console",
        "info=0 error=6",
        "create=0 error=87",
        "conout=0 error=2",
        "title=0 get=0 beep=1 handler=1",
    };
    for (const char* line : expected) EXPECT_NE(text.find(line), npos) << line << "\n" << text;
}

} // namespace
