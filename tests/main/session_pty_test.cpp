// The file manager's console session on a pseudo-terminal, through a small
// program that starts and ends it as the real program does: the refusal of
// a terminal that is too small, the terminal's own screen back after the
// end, a size change seen as the resize key with the command lines moved,
// the quit question, the fatal end when memory runs out, the clock thread
// keeping the time current, and Esc stopping a real log through it.
#include "fixture.h"
#include "terminal_harness.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr size_t npos = std::string::npos;

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// The screen the output so far draws, on a terminal of rows x columns (the
// sizes it had, in order, when it changed size).
std::vector<std::string> ScreenRows(const qtest::PtyProcess& p, int rows, int columns) {
    return qtest::ScreenRowsOf(p.Output(), rows, columns);
}

// The row showing text, or -1.
int RowOf(const std::vector<std::string>& screen, const std::string& text) {
    for (size_t row = 0; row < screen.size(); row++)
        if (screen[row].find(text) != npos) return int(row);
    return -1;
}

bool WaitRow(const qtest::PtyProcess& p, int rows, int columns, const std::string& text, int row,
             int timeoutMs = 10000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (RowOf(ScreenRows(p, rows, columns), text) != row) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(10);
    }
    return true;
}

using qtest::WaitUntil;

void ExpectRestored(const qtest::PtyProcess& p) {
    EXPECT_EQ(qtest::TerminalLeftovers(p), "");
}

// A probe on a terminal of rows x columns with its own home and report.
class SessionPty : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    std::string report = dir.Sub("report");
    std::unique_ptr<qtest::PtyProcess> p;

    bool Start(int rows, int columns, std::vector<std::string> argv = {}) {
        qtest::PtyOptions options;
        options.rows = rows;
        options.columns = columns;
        options.environment = {"HOME=" + dir.path(), "XDG_CONFIG_HOME=" + dir.Sub("config"),
                               "XDG_DATA_HOME=" + dir.Sub("data")};
        p = std::make_unique<qtest::PtyProcess>(options);
        p->Answer("\x1b[c", "\x1b[?62;22c");
        if (argv.empty()) argv = {QUILB_SESSION_PROBE, report};
        return p->Start(argv);
    }

    // Ends the probe through its quit question: status 0.
    void Quit() {
        p->Write("qy");
        const int status = p->WaitExit(20000);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }

    std::vector<std::string> ReportLines() { return qtest::ReadLines(report); }

    bool WaitReport(size_t count) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (ReportLines().size() < count) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            Sleep(5);
        }
        return true;
    }
};

TEST_F(SessionPty, ATerminalTooSmallIsRefused) {
    const struct {
        int rows, columns;
        const char* message;
    } kCases[] = {
        {30, 79, "Quilb needs a terminal of at least 80 x 24; this one is 79 x 30.\r\n"},
        {23, 120, "Quilb needs a terminal of at least 80 x 24; this one is 120 x 23.\r\n"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.message);
        ASSERT_TRUE(Start(c.rows, c.columns));
        const int status = p->WaitExit(20000);
        ASSERT_TRUE(WIFEXITED(status)) << qtest::Hex(p->Output());
        EXPECT_EQ(WEXITSTATUS(status), 1);
        const std::string out = p->Output();
        const size_t message = out.find(c.message);
        ASSERT_NE(message, npos) << qtest::Hex(out);
        // The terminal was given back before the message: it stands on the
        // terminal's own screen, on a line of its own.
        const size_t restore = out.rfind("\x1b[?1049l", message);
        EXPECT_NE(restore, npos);
        ExpectRestored(*p);
        EXPECT_EQ(RowOf(ScreenRows(*p, c.rows, c.columns), "Quilb needs a terminal"), 0);
    }
}

TEST_F(SessionPty, EightyByTwentyFourIsDrawnWhole) {
    ASSERT_TRUE(Start(24, 80));
    ASSERT_TRUE(WaitRow(*p, 24, 80, "READY 24x80", 0)) << qtest::Hex(p->Output());
    EXPECT_TRUE(WaitRow(*p, 24, 80, "MESSAGE-LINE", 21));
    EXPECT_TRUE(WaitRow(*p, 24, 80, "BOTTOM-LINE", 23)) << "the last command line is on screen";
    Quit();
}

// The time field of row 0 (columns 69 to 76 of 80) once it holds a time.
std::string TimeField(const qtest::PtyProcess& p) {
    const std::string row = ScreenRows(p, 24, 80)[0];
    const std::string field = row.size() >= 77 ? row.substr(69, 8) : std::string();
    static const std::regex time(R"([ 0-9][0-9]:[0-5][0-9]:[0-5][0-9])");
    return std::regex_match(field, time) ? field : std::string();
}

TEST_F(SessionPty, TheClockThreadKeepsTheTimeCurrent) {
    ASSERT_TRUE(Start(24, 80));
    ASSERT_TRUE(WaitRow(*p, 24, 80, "READY 24x80", 0)) << qtest::Hex(p->Output());
    std::string first, later;
    ASSERT_TRUE(WaitUntil([&] { return !(first = TimeField(*p)).empty(); }))
        << "no time on row 0: " << ScreenRows(*p, 24, 80)[0];
    EXPECT_TRUE(WaitUntil([&] {
        later = TimeField(*p);
        return !later.empty() && later != first;
    })) << "the time never moved on from "
        << first;
    EXPECT_EQ(RowOf(ScreenRows(*p, 24, 80), "READY 24x80"), 0) << "the window's text stays";
    Quit();
}

// The busy mark in the top left corner of the window area, or "".
std::string BusyMark(const qtest::PtyProcess& p) {
    const std::string row = ScreenRows(p, 24, 80)[1];
    for (const char* frame : {"\u2502", "\\", "-", "/"})
        if (row.compare(0, std::strlen(frame), frame) == 0) return frame;
    return "";
}

TEST_F(SessionPty, WhileBusyTheMarksTurnAndEscBringsTheLogQuestion) {
    ASSERT_TRUE(Start(24, 80));
    ASSERT_TRUE(WaitRow(*p, 24, 80, "READY 24x80", 0)) << qtest::Hex(p->Output());
    p->Write("b");
    std::string first, next;
    ASSERT_TRUE(WaitUntil([&] { return !(first = BusyMark(*p)).empty(); }))
        << "no busy mark: " << ScreenRows(*p, 24, 80)[1];
    EXPECT_TRUE(WaitUntil([&] {
        next = BusyMark(*p);
        return !next.empty() && next != first;
    })) << "the busy mark never turned";
    p->Write("\x1b");
    EXPECT_TRUE(WaitUntil([&] { return RowOf(ScreenRows(*p, 24, 80), "Select log option") >= 0; }))
        << "Esc while busy brings the log question";
    p->Write("c");
    std::string text;
    EXPECT_TRUE(WaitUntil([&] {
        text = qtest::ReadFile(report);
        return text.find("log-option") != npos;
    }));
    EXPECT_NE(text.find("log-option 1 67"), npos) << "interrupted, answered C: " << text;
    Quit();
}

// A real log of a generated drive, every directory entry read 200 ms late:
// the whole log would take minutes, so it is still running whenever the
// test's Esc arrives, however slow the machine.
TEST_F(SessionPty, InASlowedLogTheMarksTurnAndEscBringsTheLogQuestion) {
    // The root holds one directory, so that the root's own listing is short
    // and the log's time goes into the busy part below it.
    constexpr int kDirs = 40, kFiles = 10;
    for (int d = 0; d < kDirs; d++)
        for (int f = 0; f < kFiles; f++)
            dir.Write("drive/top/d" + std::to_string(d) + "/f" + std::to_string(f) + ".dat", "x");
    dir.Write(".config/quilb/drives", "c: /\nf: " + dir.Sub("drive") + "\n");
    ASSERT_TRUE(Start(24, 80, {QUILB_SESSION_PROBE, report, "200000"}));
    ASSERT_TRUE(WaitRow(*p, 24, 80, "READY 24x80", 0)) << qtest::Hex(p->Output());

    auto marksTurn = [&] {
        std::string first, next;
        if (!WaitUntil([&] { return !(first = BusyMark(*p)).empty(); })) return false;
        return WaitUntil([&] {
            next = BusyMark(*p);
            return !next.empty() && next != first;
        });
    };
    auto question = [&] { return RowOf(ScreenRows(*p, 24, 80), "Select log option") >= 0; };
    auto logLine = [&](size_t n) {
        std::vector<std::string> logs;
        WaitUntil([&] {
            logs.clear();
            for (const std::string& line : ReportLines())
                if (line.rfind("log ", 0) == 0) logs.push_back(line);
            return logs.size() >= n;
        });
        return logs.size() >= n ? logs[n - 1] : std::string("(no report)");
    };

    struct Case {
        const char* what;
        std::vector<std::string> answers; // one per Esc
    };
    const Case cases[] = {
        {"Esc at the question stops the log", {"\x1b"}},
        {"Continue logs on, until the next Esc stops it", {"c", "\x1b"}},
    };
    size_t logs = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        p->Write("l");
        for (const std::string& answer : c.answers) {
            ASSERT_TRUE(marksTurn()) << "the busy mark never turned: " << ScreenRows(*p, 24, 80)[1];
            p->Write("\x1b");
            ASSERT_TRUE(WaitUntil(question)) << "Esc while logging brings the log question";
            p->Write(answer);
            ASSERT_TRUE(WaitUntil([&] { return !question(); })) << "the question goes";
        }
        // Stopped: the drive that was being logged is released again.
        EXPECT_EQ(logLine(++logs), "log 3 disks=0 dirs=0 files=0");
    }
    // The same log at full speed reads the whole drive: the slowed one was
    // stopped, not finished.
    p->Write("n");
    EXPECT_EQ(logLine(++logs), "log 0 disks=1 dirs=" + std::to_string(kDirs + 2) +
                                   " files=" + std::to_string(kDirs * kFiles));
    Quit();
}

TEST_F(SessionPty, ATallTerminalIsUsedWithAtMost250Rows) {
    const std::string script = "printf 'BEFORE-TEXT\\r\\n'; exec \"$0\" \"$1\"";
    ASSERT_TRUE(Start(300, 100, {"/bin/sh", "-c", script, QUILB_SESSION_PROBE, report}));
    ASSERT_TRUE(WaitRow(*p, 300, 100, "READY 250x100", 0)) << qtest::Hex(p->Output());
    EXPECT_TRUE(WaitRow(*p, 300, 100, "BOTTOM-LINE", 249));
    p->Write("qy");
    const int status = p->WaitExit(20000);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(RowOf(ScreenRows(*p, 300, 100), "BEFORE-TEXT"), 0);
    ExpectRestored(*p);
}

TEST_F(SessionPty, TheTerminalsOwnScreenIsBackAfterTheEnd) {
    const std::string script =
        "printf 'BEFORE-TEXT one\\r\\nBEFORE-TEXT two\\r\\n'; exec \"$0\" \"$1\"";
    ASSERT_TRUE(Start(30, 100, {"/bin/sh", "-c", script, QUILB_SESSION_PROBE, report}));
    ASSERT_TRUE(WaitRow(*p, 30, 100, "READY 30x100", 0)) << qtest::Hex(p->Output());
    EXPECT_EQ(RowOf(ScreenRows(*p, 30, 100), "BEFORE-TEXT"), -1) << "the program's own screen";
    EXPECT_NE(p->Output().find("\x1b]0;Quilbora"), npos) << "a title of its own while it runs";
    p->Write("q");
    ASSERT_TRUE(WaitRow(*p, 30, 100, "Are you sure you wish to exit?", 28));
    p->Write("y");
    const int status = p->WaitExit(20000);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const auto screen = ScreenRows(*p, 30, 100);
    EXPECT_EQ(RowOf(screen, "BEFORE-TEXT one"), 0);
    EXPECT_EQ(RowOf(screen, "BEFORE-TEXT two"), 1);
    EXPECT_EQ(RowOf(screen, "READY"), -1);
    EXPECT_EQ(RowOf(screen, "BOTTOM-LINE"), -1);
    ExpectRestored(*p);
}

TEST_F(SessionPty, AResizeIsTheResizeKeyWithTheCommandLinesMoved) {
    ASSERT_TRUE(Start(30, 100));
    ASSERT_TRUE(WaitRow(*p, 30, 100, "BOTTOM-LINE", 29)) << qtest::Hex(p->Output());
    p->Resize(40, 120);
    ASSERT_TRUE(WaitReport(1)) << qtest::Hex(p->Output());
    EXPECT_EQ(ReportLines()[0], "4137 40 120 39") << "0x1029 with the new size applied";
    EXPECT_TRUE(WaitRow(*p, 40, 120, "READY 40x120", 0));
    EXPECT_TRUE(WaitRow(*p, 40, 120, "BOTTOM-LINE", 39));
    EXPECT_TRUE(WaitRow(*p, 40, 120, "MESSAGE-LINE", 37));
    // Smaller again, down to the smallest terminal.
    p->Resize(24, 80);
    ASSERT_TRUE(WaitReport(2));
    EXPECT_EQ(ReportLines()[1], "4137 24 80 23");
    EXPECT_TRUE(WaitRow(*p, 24, 80, "BOTTOM-LINE", 23));
    p->Write("x");
    ASSERT_TRUE(WaitReport(3));
    EXPECT_EQ(ReportLines()[2], "120 24 80 23") << "keys read on as before";
    p->Write("qy");
    EXPECT_EQ(p->WaitExit(20000), 0);
}

// The terminal as it went through sizes: each size from the byte offset at
// which the terminal took it.
struct SizedScreen {
    struct Step {
        size_t from;
        int rows, columns;
    };
    std::vector<Step> steps;
    std::vector<std::string> Rows(const std::string& out) const {
        qtest::VtScreen screen(steps[0].rows, steps[0].columns);
        for (size_t i = 0; i < steps.size(); i++) {
            screen.Resize(steps[i].rows, steps[i].columns);
            size_t end = i + 1 < steps.size() ? steps[i + 1].from : out.size();
            screen.Feed(out.substr(steps[i].from, end - steps[i].from));
        }
        std::vector<std::string> rows;
        for (int row = 0; row < screen.Rows(); row++)
            rows.push_back(screen.RowText(row));
        return rows;
    }
};

// Below the smallest screen the program keeps its size: the terminal then
// shows that screen from its top left corner, and blank rows below it,
// never a view moved after a parked cursor or the rows of an earlier size.
TEST_F(SessionPty, ATerminalBelowTheSmallestScreenShowsTheKeptScreenFromTheCorner) {
    ASSERT_TRUE(Start(40, 120));
    ASSERT_TRUE(WaitRow(*p, 40, 120, "BOTTOM-LINE", 39)) << qtest::Hex(p->Output());
    SizedScreen sized{{{0, 40, 120}}};
    auto resize = [&](int rows, int columns, size_t reports) {
        sized.steps.push_back({p->OutputSize(), rows, columns});
        p->Resize(rows, columns);
        return WaitReport(reports);
    };
    ASSERT_TRUE(resize(30, 100, 1));
    EXPECT_EQ(ReportLines()[0], "4137 30 100 29");
    ASSERT_TRUE(resize(30, 79, 2));
    EXPECT_EQ(ReportLines()[1], "4137 30 100 29") << "the screen keeps its size";
    ASSERT_TRUE(resize(45, 79, 3));
    EXPECT_EQ(ReportLines()[2], "4137 30 100 29");
    // The key's report comes after every resize before it was handled.
    p->Write("x");
    ASSERT_TRUE(WaitReport(4));
    ASSERT_NE(p->WaitFor("\x1b[?2026l", 10000, sized.steps.back().from), npos);
    std::vector<std::string> expected(45, std::string(79, ' '));
    auto put = [&](int row, const std::string& text) {
        expected[row].replace(0, text.size(), text);
    };
    put(0, "READY 30x100");
    put(27, "MESSAGE-LINE");
    put(28, "HINT-LINE");
    put(29, "BOTTOM-LINE");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::vector<std::string> shown = sized.Rows(p->Output());
    while (shown != expected && std::chrono::steady_clock::now() < deadline) {
        Sleep(10);
        shown = sized.Rows(p->Output());
    }
    for (int row = 0; row < 45; row++)
        EXPECT_EQ(shown[row], expected[row]) << "row " << row;
    p->Write("qy");
    EXPECT_EQ(p->WaitExit(20000), 0);
}

TEST_F(SessionPty, TheQuitQuestion) {
    ASSERT_TRUE(Start(25, 80));
    ASSERT_TRUE(WaitRow(*p, 25, 80, "READY 25x80", 0)) << qtest::Hex(p->Output());
    // Enter keeps the program running, and so does n.
    for (const char* answer : {"\r", "n"}) {
        SCOPED_TRACE(answer[0] == '\r' ? "Enter" : answer);
        p->Write("q");
        ASSERT_TRUE(WaitRow(*p, 25, 80, "Are you sure you wish to exit?", 23));
        const auto screen = ScreenRows(*p, 25, 80);
        EXPECT_EQ(screen[22].substr(0, 4), "QUIT");
        EXPECT_EQ(screen[23].substr(53, 26), "[No]  Yes/Quit  Esc Cancel");
        p->Write(answer);
        ASSERT_TRUE(WaitRow(*p, 25, 80, "STILL RUNNING", 1));
        EXPECT_TRUE(WaitRow(*p, 25, 80, "MESSAGE-LINE", 22)) << "the command lines come back";
        EXPECT_TRUE(WaitRow(*p, 25, 80, "HINT-LINE", 23));
        EXPECT_EQ(p->WaitExit(200), -1) << "still running";
    }
    p->Write("q");
    ASSERT_TRUE(WaitRow(*p, 25, 80, "Are you sure you wish to exit?", 23));
    p->Write("Y");
    const int status = p->WaitExit(20000);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ExpectRestored(*p);
}

TEST_F(SessionPty, AFailedAllocationEndsWithTheFatalMessage) {
    ASSERT_TRUE(Start(25, 80));
    ASSERT_TRUE(WaitRow(*p, 25, 80, "READY 25x80", 0)) << qtest::Hex(p->Output());
    p->Write("f");
    ASSERT_NE(p->WaitFor("Press Any Key...", 10000), npos) << qtest::Hex(p->Output());
    const std::string out = p->Output();
    const size_t message = out.find("Fatal Memory error in module: Qprobe at line: ");
    ASSERT_NE(message, npos) << qtest::Hex(out);
    EXPECT_NE(out.find(" : main", message), npos) << "the function's name";
    EXPECT_EQ(p->WaitExit(300), -1) << "it waits for a key";
    p->Write("k");
    const int status = p->WaitExit(20000);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
    ExpectRestored(*p);
    EXPECT_NE(RowOf(ScreenRows(*p, 25, 80), "Fatal Memory error in module: Qprobe"), -1)
        << "the message stays on the terminal's own screen";
}

// Runs the probe with args in a new session without a controlling
// terminal; its standard output and error go to the file err. The exit
// status, or -1 when it did not end within two minutes (it is killed then).
int RunWithoutTerminal(const qtest::TempDir& dir, const std::string& err,
                       std::vector<std::string> args) {
    const pid_t pid = fork();
    if (pid < 0) return -2;
    if (pid == 0) {
        setsid();
        const int in = open("/dev/null", O_RDONLY);
        const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(errFd, 1);
        dup2(errFd, 2);
        setenv("HOME", dir.path().c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(QUILB_SESSION_PROBE)};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(QUILB_SESSION_PROBE, argv.data());
        _exit(127);
    }
    int status = 0;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > limit) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        usleep(20000);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -3;
}

TEST(SessionWithoutTerminal, NoConsoleWindowEndsAtOnceWithTheMessage) {
    // A process with no controlling terminal has no console window: the
    // program ends with its message.
    qtest::TempDir dir;
    const std::string err = dir.Sub("stderr");
    EXPECT_EQ(RunWithoutTerminal(dir, err, {dir.Sub("report")}), 255);
    EXPECT_NE(qtest::ReadFile(err).find("Could not get window handle"), npos)
        << qtest::ReadFile(err);
    // The search gives up at once instead of trying again: with an hour
    // between its tries, a second try would never end in time.
    EXPECT_EQ(RunWithoutTerminal(dir, err, {dir.Sub("search"), "search"}), 0);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("search")), "no window\n");
}

} // namespace
