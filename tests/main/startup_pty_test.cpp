// The file manager's start-up and shut-down on pseudo-terminals, in a home of
// its own whose drives file maps C: (empty) and Q: (a generated tree): first
// through a probe that runs the real start-up and reports what it logged and
// made current, then the real program, copied into the home, as a person
// runs it: invalid options, the usage, the start-up trace, the quit question
// and the quit keys, the session directory, the terminal given back, and a
// key whose command is not there.
#include "drive_home.h"
#include "fixture.h"
#include "terminal_harness.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr size_t npos = std::string::npos;

using qtest::WaitUntil;

using qtest::Bells;
using qtest::StartIn;

qtest::PtyOptions Options(const qtest::DriveHome& home, int rows = 30, int columns = 100) {
    qtest::PtyOptions options;
    options.rows = rows;
    options.columns = columns;
    options.environment = home.Environment();
    return options;
}

std::vector<std::string> ScreenRows(const qtest::PtyProcess& p, int rows, int columns) {
    return qtest::ScreenRowsOf(p.Output(), rows, columns);
}

bool WaitRowShows(const qtest::PtyProcess& p, int rows, int columns, int row,
                  const std::string& text) {
    return WaitUntil([&] { return ScreenRows(p, rows, columns)[size_t(row)].find(text) != npos; });
}

void ExpectRestored(const qtest::PtyProcess& p, const char* what) {
    EXPECT_EQ(qtest::TerminalLeftovers(p), "") << what;
}

// The session directories (QTMP###) under dir that hold a QBK.PID, and all
// of them.
std::vector<std::string> SessionDirs(const std::string& dir, bool withPidOnly) {
    std::vector<std::string> found;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.rfind("QTMP", 0) != 0) continue;
            struct stat st;
            if (withPidOnly && ::stat((dir + "/" + name + "/QBK.PID").c_str(), &st) != 0) continue;
            found.push_back(name);
        }
        ::closedir(d);
    }
    return found;
}

// ---- the start-up through the probe ------------------------------------------------

// The probe's report as name -> rest of line, after it has said "done" and
// ended with status 0.
class StartupProbe : public ::testing::Test {
  protected:
    qtest::DriveHome home;
    std::string report = home.Root() + "/report";

    std::map<std::string, std::string> Run(const std::string& cwd,
                                           const std::vector<std::string>& arguments) {
        ::unlink(report.c_str());
        qtest::PtyProcess p(Options(home));
        p.Answer("\x1b[c", "\x1b[?62;22c");
        std::vector<std::string> argv = {report};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        EXPECT_TRUE(StartIn(p, cwd, QUILB_STARTUP_PROBE, argv));
        const int status = p.WaitExit(60000);
        EXPECT_TRUE(WIFEXITED(status)) << "status " << status << "\n" << qtest::Hex(p.Output());
        if (WIFEXITED(status)) {
            EXPECT_EQ(WEXITSTATUS(status), 0);
        }
        ExpectRestored(p, "after the probe's shut-down");
        std::map<std::string, std::string> out;
        for (const std::string& line : qtest::ReadLines(report)) {
            const size_t cut = line.find_first_of(" =");
            const std::string key = line.substr(0, cut);
            out[key == "disk" ? "disk " + line.substr(5, 1) : key] =
                cut == npos ? "" : line.substr(cut + 1);
        }
        EXPECT_EQ(out.count("done"), 1u);
        return out;
    }
};

// Which of the command-line entries is logged last and stays current, and
// what the log mode is once start-up is over.
TEST_F(StartupProbe, EntriesAreLoggedWithTheFirstOneLastAndCurrent) {
    home.WriteOnQ("l1/l2/l3/l4/l5/deep.txt", "deep\n");
    const std::string q = home.DriveQ();
    const struct Case {
        const char* what;
        std::string cwd;
        std::vector<std::string> arguments;
        const char* disks;
        const char* current;
        const char* logmode; // after start-up
    } cases[] = {
        {"Q: C: logs C: first, Q: last and current", q, {"Q:", "C:"}, "CQ", "Q:\\", "0"},
        {"C: Q: leaves C: current", q, {"C:", "Q:"}, "CQ", "C:\\", "0"},
        {"a path: its drive, then the path", q, {"Q:\\alpha\\beta"}, "Q", "Q:\\alpha\\beta", "0"},
        {"no entry: the current directory", q + "/alpha", {}, "Q", "Q:\\alpha", "0"},
        // The layer's current drive is C:.
        {"'.': the current drive's root", q + "/alpha", {"."}, "C", "C:\\", "0"},
        {"/LT stays in force", q, {"/LT", "Q:"}, "Q", "Q:\\", "1"},
        {"/L3 shapes the start-up log only", q, {"/L3", "Q:"}, "Q", "Q:\\", "0"},
        // The newest tree-spec path is current, not the first entry.
        {"/QT", q, {"--tree-spec=Q:\\alpha\\beta", "/QT", "C:"}, "CQ", "Q:\\alpha\\beta", "0"},
        // The last path of the previous run is logged alone.
        {"/QD", q, {"--last-path=Q:\\alpha\\beta", "/QD", "C:"}, "Q", "Q:\\alpha\\beta", "0"},
        {"no /QD: no last path", q, {"--last-path=Q:\\alpha\\beta", "C:"}, "C", "C:\\", "0"},
        // A volumes file that does not exist: start-up goes on with the entries.
        {"/QV naming no file", q, {"/QVQ:\\none.qlog", "Q:"}, "Q", "Q:\\", "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = Run(c.cwd, c.arguments);
        EXPECT_EQ(r["disks"], c.disks);
        EXPECT_EQ(r["current"], c.current);
        EXPECT_EQ(r["logmode"].substr(0, r["logmode"].find(' ')), c.logmode) << r["logmode"];
        EXPECT_NE(r["logmode"].find(" depth=-1"), npos)
            << "no depth limit after start-up: " << r["logmode"];
    }
}

// /L3 logs the drive with its files down to the third level; without a log
// option the configured mode (root only) reads the root's files alone.
TEST_F(StartupProbe, ADepthOptionLogsTheDriveWholeDownToItsDepth) {
    home.WriteOnQ("l1/l2/l3/l4/l5/deep.txt", "deep\n");
    const std::string q = home.DriveQ();
    auto deep = Run(q, {"/L3", "Q:"});
    auto plain = Run(q, {"Q:"});
    auto full = Run(q, {"/LF", "Q:"});
    // Q: has 10 directories (the root, alpha, alpha/beta, empty, gamma and
    // l1 to l5 below one another) and 65 files, deep.txt in l5 among them.
    EXPECT_NE(full["disk Q"].find("dirs=10 read=10 files=65"), npos) << full["disk Q"];
    EXPECT_NE(plain["disk Q"].find("read=1 "), npos) << "the root alone: " << plain["disk Q"];
    // Three levels below the root, with their files: l4 and l5 are not in
    // the tree, deep.txt is not counted.
    EXPECT_NE(deep["disk Q"].find("dirs=8 "), npos) << deep["disk Q"];
    EXPECT_NE(deep["disk Q"].find(" files=64"), npos) << deep["disk Q"];
}

// ---- the real program ----------------------------------------------------------

class QuilbRun : public ::testing::Test {
  protected:
    static constexpr int kRows = 30;
    static constexpr int kColumns = 100;
    qtest::DriveHome home;
    std::string program = home.CopyProgram(QUILB_PROGRAM);
    std::unique_ptr<qtest::PtyProcess> p;

    void Start(const std::vector<std::string>& arguments) {
        ASSERT_FALSE(program.empty());
        p = std::make_unique<qtest::PtyProcess>(Options(home, kRows, kColumns));
        p->Answer("\x1b[c", "\x1b[?62;22c");
        ASSERT_TRUE(StartIn(*p, home.DriveQ(), program, arguments));
    }
    std::vector<std::string> Rows() const { return ScreenRows(*p, kRows, kColumns); }
    // The row that shows text on the screen drawn so far, or -1.
    int RowOf(const std::string& text) const {
        const std::vector<std::string> rows = Rows();
        for (size_t row = 0; row < rows.size(); row++)
            if (rows[row].find(text) != npos) return int(row);
        return -1;
    }
    bool WaitShown(const std::string& text) const {
        return WaitUntil([&] { return RowOf(text) >= 0; });
    }
    // Waits until the tree window shows Q:'s root on its path line and its
    // first subdirectory below: the redraw that start-up asks for is done
    // and the loop waits for a key.
    bool WaitStarted() const {
        return WaitUntil([&] {
            const std::vector<std::string> rows = Rows();
            return rows[0].find(home.DriveQ()) != npos && RowOf("alpha") > 1;
        });
    }
    void ExpectEnded(const char* what) {
        const int status = p->WaitExit(20000);
        ASSERT_TRUE(WIFEXITED(status)) << what << " status " << status;
        EXPECT_EQ(WEXITSTATUS(status), 0) << what;
        ExpectRestored(*p, what);
        EXPECT_TRUE(SessionDirs(home.Temp(), false).empty())
            << what << ": the session directory is removed";
    }
};

// With the trace the message stays on the screen until a key is pressed;
// without it the tree window is drawn over it at once.
TEST_F(QuilbRun, AnInvalidOptionIsReportedAndTheProgramStarts) {
    Start({"/DEB", "/FOO", "Q:"});
    ASSERT_TRUE(WaitShown("Press any key"));
    const int message = RowOf("/FOO - Invalid option, ignored.  (Use /? for a list)");
    EXPECT_GT(message, RowOf("8. Parsing command line...")) << "printed while the options are read";
    EXPECT_LT(message, RowOf("9. Loading QCOLORS.INI..."));
    p->Write("x");
    ASSERT_TRUE(WaitStarted()) << qtest::Hex(p->Output());
    p->Write("\x11"); // Ctrl-Q: quits as 'q' does, after the question
    ASSERT_TRUE(WaitRowShows(*p, kRows, kColumns, kRows - 2, "Are you sure you wish to exit?"));
    p->Write("y");
    ExpectEnded("Ctrl-Q");
}

// Without the trace the program starts at once: the message stays in the
// console's own buffer, which the terminal shows again once the program's
// screen is gone.
TEST_F(QuilbRun, AnInvalidOptionWithoutTheTraceIsPrintedAndTheProgramStarts) {
    Start({"/FOO", "Q:"});
    ASSERT_TRUE(WaitStarted()) << qtest::Hex(p->Output());
    p->Write("\x1bq"); // Alt-Q: quits as 'q' does, after the question
    ASSERT_TRUE(WaitRowShows(*p, kRows, kColumns, kRows - 2, "Are you sure you wish to exit?"));
    p->Write("y");
    ExpectEnded("Alt-Q");
    const std::string output = p->Output();
    // The console may show its buffer for a moment before the program's
    // screen takes over (a busy machine draws that frame); what counts is
    // that the message is there once the screen is gone.
    const size_t message =
        output.rfind("/FOO - Invalid option, ignored.  (Use /? for a list)");
    ASSERT_NE(message, npos) << qtest::Hex(output);
    EXPECT_GT(message, output.rfind("\x1b[?1049l")) << qtest::Hex(output);
}

// No disk logged: the log dialog, and as it logs nothing, the quit
// question, whose yes ends the program at once.
TEST_F(QuilbRun, WithoutAnyDiskTheQuitQuestionFollows) {
    Start({"X:"});
    ASSERT_TRUE(WaitShown("Invalid drive specified [X:]")) << qtest::Hex(p->Output());
    p->Write("\r");
    ASSERT_TRUE(WaitRowShows(*p, kRows, kColumns, kRows - 2, "Are you sure you wish to exit?"));
    p->Write("y");
    const int status = p->WaitExit(20000);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ExpectRestored(*p, "after the quit question without a disk");
}

TEST_F(QuilbRun, TheUsageEndsWithStatusTwo) {
    // A terminal tall enough for the whole text.
    ASSERT_FALSE(program.empty());
    p = std::make_unique<qtest::PtyProcess>(Options(home, 150, kColumns));
    p->Answer("\x1b[c", "\x1b[?62;22c");
    ASSERT_TRUE(StartIn(*p, home.DriveQ(), program, {"/?"}));
    const int status = p->WaitExit(20000);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 2);
    const std::vector<std::string> rows = ScreenRows(*p, 150, kColumns);
    std::string shown;
    for (const std::string& row : rows)
        shown += row + "\n";
    EXPECT_NE(shown.find("Quilbora 2.9.11 - keyboard-driven file manager"), npos) << shown;
    EXPECT_NE(shown.find(" Usage: QBK [/video mode]"), npos);
    ExpectRestored(*p, "after the usage");
    EXPECT_TRUE(SessionDirs(home.Temp(), false).empty()) << "nothing was set up";
}

TEST_F(QuilbRun, TheTraceNumbersTheStepsAndWaitsForAKey) {
    Start({"/DEB", "Q:"});
    const char* lines[] = {"0. Command line args: /DEB Q:",
                           "1. Initializing environment...",
                           "2. Loading configuration file...",
                           "3. Loading QNOLOG.INI...",
                           "4. Loading ARCHIVER.BB2",
                           "5. Setting QTMP...",
                           "6. Loading QBK.HST...",
                           "7. Locating QBK.QAM...",
                           "8. Parsing command line...",
                           "9. Loading QCOLORS.INI...",
                           "10. About to configure console...",
                           "11. Windows terminal NOT detected",
                           "Press any key"};
    ASSERT_TRUE(WaitShown("Press any key")) << qtest::Hex(p->Output());
    int previous = -1;
    for (const char* line : lines) {
        const int row = RowOf(line);
        EXPECT_GT(row, previous) << "a line of its own, in order: " << line;
        previous = row;
    }
    EXPECT_EQ(RowOf("4. Loading ARCHIVER.BB2"), RowOf("3. Loading QNOLOG.INI...") + 1);
    EXPECT_EQ(RowOf("5. Setting QTMP..."), RowOf("4. Loading ARCHIVER.BB2") + 1)
        << "step 4 has no line feed; step 5's own line feed ends it";
    EXPECT_EQ(p->WaitExit(200), -1) << "waiting for the key";
    EXPECT_TRUE(SessionDirs(home.Temp(), true).size() == 1u)
        << "the session directory is set up before the wait";
    p->Write("x");
    ASSERT_TRUE(WaitStarted());
    EXPECT_LT(RowOf("Press any key"), 0) << "the tree window is drawn";
    p->Write("\x1bq"); // Alt-Q: quits as 'q' does, after the question
    ASSERT_TRUE(WaitRowShows(*p, kRows, kColumns, kRows - 2, "Are you sure you wish to exit?"));
    p->Write("y");
    ExpectEnded("Alt-Q");
}

TEST_F(QuilbRun, QuitAsksFirstAndTheSessionDirectoryLastsAsLongAsTheProgram) {
    Start({"Q:"});
    ASSERT_TRUE(WaitStarted()) << qtest::Hex(p->Output());
    EXPECT_EQ(SessionDirs(home.Temp(), true).size(), 1u)
        << "a QTMP### with its QBK.PID while it runs";

    // A key whose command is not there: one beep, nothing drawn. Row 0's
    // clock may move meanwhile; the rest of the screen may not.
    auto withoutClock = [&] {
        std::vector<std::string> rows = Rows();
        rows[0] = rows[0].substr(0, 60);
        return rows;
    };
    const std::vector<std::string> before = withoutClock();
    const size_t from = p->OutputSize();
    p->Write("x");
    ASSERT_NE(p->WaitFor("\a", 20000, from), npos) << "a beep";
    EXPECT_EQ(withoutClock(), before);

    // 'q': the question on the message and middle rows, all in the
    // command-line colour, the key letters included.
    p->Write("q");
    ASSERT_TRUE(WaitRowShows(*p, kRows, kColumns, kRows - 3, "QUIT"));
    ASSERT_TRUE(WaitRowShows(*p, kRows, kColumns, kRows - 2, "Are you sure you wish to exit?"));
    const std::string output = p->Output();
    const size_t bells = Bells(p->Output(), from);
    EXPECT_EQ(bells, 1u) << "the unknown key beeps once";
    {
        qtest::VtScreen screen(kRows, kColumns);
        screen.Feed(p->Output());
        const std::string hint = screen.RowText(kRows - 2);
        const qtest::VtCell quit = screen.Cell(kRows - 3, 0);
        for (const char* letter : {"[No]", "Yes/", "Quit"}) {
            const size_t column = hint.find(letter);
            ASSERT_NE(column, npos) << letter;
            const int keyColumn = int(column) + (letter[0] == '[' ? 1 : 0);
            const qtest::VtCell key = screen.Cell(kRows - 2, keyColumn);
            EXPECT_TRUE(vterm_color_is_equal(&key.fg, &quit.fg) &&
                        vterm_color_is_equal(&key.bg, &quit.bg))
                << letter << ": the key letter in the colour of the question";
        }
    }
    // Enter is No: the program goes on, the question is gone.
    p->Write("\r");
    ASSERT_TRUE(WaitUntil([&] { return Rows()[size_t(kRows - 2)].find("Are you sure") == npos; }));
    EXPECT_EQ(p->WaitExit(200), -1) << "still running";
    EXPECT_EQ(SessionDirs(home.Temp(), true).size(), 1u);
    p->Write("q");
    ASSERT_TRUE(WaitRowShows(*p, kRows, kColumns, kRows - 2, "Are you sure you wish to exit?"));
    p->Write("y");
    ExpectEnded("q, y");
}

} // namespace
