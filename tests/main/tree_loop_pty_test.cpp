// The tree window loop of the real program on a pseudo-terminal of 96 x 34,
// started with "/LF Q:" in a home of its own (Q: a generated tree: a.txt,
// big.bin, alpha/c.txt, alpha/beta/d.c, empty/, gamma/f01..f60.log, and
// here gamma/deep/one/two/three.txt): the
// cursor keys on the tree, the command menus, split screen and the pane
// switch, tagging, a click and a drag on the tree rows, the expand walk and
// the relog, keys whose commands are not there, and the quit.
#include "drive_home.h"
#include "fixture.h"
#include "terminal_harness.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr size_t npos = std::string::npos;
constexpr int kRows = 34;
constexpr int kColumns = 96;

using qtest::WaitUntil;

using qtest::Bells;

// An SGR mouse report of button at a cell (0-based), pressed or released.
std::string MouseAt(int button, int row, int column, bool press) {
    return "\x1b[<" + std::to_string(button) + ";" + std::to_string(column + 1) + ";" +
           std::to_string(row + 1) + (press ? "M" : "m");
}

class TreeLoopRun : public ::testing::Test {
  protected:
    qtest::DriveHome home;
    std::string program = home.CopyProgram(QUILB_PROGRAM);
    std::unique_ptr<qtest::PtyProcess> p;

    void SetUp() override {
        ASSERT_FALSE(program.empty());
        home.WriteOnQ("gamma/deep/one/two/three.txt", "3");
    }

    void Start(const std::vector<std::string>& arguments) {
        p = qtest::StartTerminalProgram(kRows, kColumns, home.Environment(), home.DriveQ(), program,
                                        arguments);
        ASSERT_TRUE(p);
        ASSERT_TRUE(WaitUntil([&] {
            const std::vector<std::string> rows = Rows();
            return rows[0].find(home.DriveQ()) != npos && RowOf("gamma") > 1;
        })) << Dump();
    }
    std::vector<std::string> Rows() const { return qtest::ScreenRowsOf(p->Output(), kRows, kColumns); }
    std::string Dump() const {
        std::string text;
        const std::vector<std::string> rows = Rows();
        for (size_t row = 0; row < rows.size(); row++)
            text += std::to_string(row) + "|" + rows[row] + "\n";
        return text;
    }
    // The first row that shows text, or -1.
    int RowOf(const std::string& text) const {
        const std::vector<std::string> rows = Rows();
        for (size_t row = 0; row < rows.size(); row++)
            if (rows[row].find(text) != npos) return int(row);
        return -1;
    }
    // The tree row whose name is name (the tree's rows only: 2 up to the
    // line above the small file window).
    int TreeRowOf(const std::string& name) const {
        const std::vector<std::string> rows = Rows();
        for (size_t row = 2; row < 22; row++) {
            const std::string tree = rows[row].substr(0, 40);
            const size_t at = tree.find(name);
            if (at != npos && (at + name.size() == tree.size() || tree[at + name.size()] == ' '))
                return int(row);
        }
        return -1;
    }
    std::unique_ptr<qtest::VtScreen> Screen() const {
        auto screen = std::make_unique<qtest::VtScreen>(kRows, kColumns);
        screen->Feed(p->Output());
        return screen;
    }
    // The row whose tree name carries the bar's colour and whose mark cell
    // shows the cursor mark '→'; -1 when none or more than one.
    int BarRow() const {
        const auto screen = Screen();
        int found = -1;
        for (int row = 2; row < 22; row++) {
            const std::string text = screen->RowText(row);
            if (text.find("\u2192") == npos) continue;
            if (found >= 0) return -1;
            found = row;
        }
        return found;
    }
    // The colours of the first cell of name on its tree row.
    qtest::VtCell NameCell(const std::string& name) const {
        const int row = TreeRowOf(name);
        const auto screen = Screen();
        const std::string text = screen->RowText(row);
        return screen->Cell(row, int(text.find(name)));
    }
    static bool SameColours(const qtest::VtCell& a, const qtest::VtCell& b) {
        return vterm_color_is_equal(&a.fg, &b.fg) && vterm_color_is_equal(&a.bg, &b.bg) &&
               a.reverse == b.reverse;
    }
    bool WaitBarOn(const std::string& name) const {
        return WaitUntil([&] { return BarRow() >= 0 && BarRow() == TreeRowOf(name); });
    }
    bool WaitPathEnds(const std::string& tail) const {
        return WaitUntil([&] {
            std::string row0 = Rows()[0];
            // The clock stands at the right end of the path line's row.
            const size_t end = row0.find("  ", row0.find(home.DriveQ()));
            if (end == npos) return false;
            row0.resize(end);
            return row0.size() >= tail.size() && row0.compare(row0.size() - tail.size(), npos, tail) == 0;
        });
    }
    void Quit() {
        p->Write("q");
        ASSERT_TRUE(WaitUntil([&] { return RowOf("Are you sure you wish to exit?") >= 0; })) << Dump();
        p->Write("y");
        const int status = p->WaitExit(20000);
        ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(qtest::TerminalLeftovers(*p), "");
    }
};

TEST_F(TreeLoopRun, CursorKeysMoveTheBarAndThePathLine) {
    Start({"/LF", "Q:"});
    ASSERT_TRUE(WaitUntil([&] { return BarRow() == 2; }))
        << Dump();
    const qtest::VtCell plainAlpha = NameCell("alpha");

    p->Write("\x1b[B"); // Down
    ASSERT_TRUE(WaitBarOn("alpha")) << Dump();
    ASSERT_TRUE(WaitPathEnds("/alpha")) << Dump();
    EXPECT_FALSE(SameColours(NameCell("alpha"), plainAlpha)) << "alpha in the bar's colour";

    p->Write("\x1b[B"); // Down to beta
    ASSERT_TRUE(WaitBarOn("beta")) << Dump();
    ASSERT_TRUE(WaitPathEnds("/alpha/beta"));
    EXPECT_TRUE(SameColours(NameCell("alpha"), plainAlpha)) << "the old bar is taken away";

    p->Write("\x1b[H"); // Home: the root
    ASSERT_TRUE(WaitUntil([&] { return BarRow() == 2; })) << Dump();
    p->Write("\x1b[F"); // End: the last line
    ASSERT_TRUE(WaitBarOn("two")) << Dump();

    // Backspace on beta goes to its parent; Left on alpha (a first level
    // directory) stays.
    p->Write("\x1b[H\x1b[B\x1b[B");
    ASSERT_TRUE(WaitBarOn("beta")) << Dump();
    p->Write("\x7f");
    ASSERT_TRUE(WaitBarOn("alpha")) << Dump();
    ASSERT_TRUE(WaitPathEnds("/alpha"));
    const size_t from = p->OutputSize();
    p->Write("\x1b[D"); // Left
    p->Write("\x1b[B"); // then Down, to see that Left was handled first
    ASSERT_TRUE(WaitBarOn("beta")) << Dump();
    EXPECT_EQ(Bells(p->Output(), from), 0u);
    Quit();
}

TEST_F(TreeLoopRun, F4CyclesTheCommandMenus) {
    Start({"/LF", "Q:"});
    const int message = kRows - 3;
    const int middle = kRows - 2;
    const std::vector<std::string> plain = Rows();
    ASSERT_EQ(plain[size_t(message)].rfind("TREE", 0), 0u) << Dump();
    for (const char* name : {"CTRL TREE", "ALT TREE", "TREE"}) {
        const size_t from = p->OutputSize();
        p->Write("\x1bOS"); // F4
        ASSERT_TRUE(WaitUntil([&] {
            return p->OutputSize() > from && Rows()[size_t(message)].rfind(name, 0) == 0 &&
                   (std::string(name) != "TREE" || Rows()[size_t(message)] == plain[size_t(message)]);
        })) << name << "\n"
            << Dump();
        const std::vector<std::string> rows = Rows();
        EXPECT_EQ(rows[size_t(middle)].rfind("COMMANDS", 0), 0u) << name;
        if (std::string(name) == "TREE") {
            // Back to the first menu, whole rows as they were.
            for (int row = message; row < kRows; row++)
                EXPECT_EQ(rows[size_t(row)], plain[size_t(row)]) << "row " << row;
        } else {
            EXPECT_NE(rows[size_t(middle)], plain[size_t(middle)]) << name << ": its own words";
        }
    }
    Quit();
}

TEST_F(TreeLoopRun, F8SplitsTabMovesAcrossF8Unsplits) {
    Start({"/LF", "Q:"});
    p->Write("\x1b[19~"); // F8
    const int half = kColumns / 2;
    ASSERT_TRUE(WaitUntil([&] {
        const std::string row1 = Rows()[1];
        const size_t left = row1.find("<tree: *.*>");
        return left != npos && left < size_t(half) && row1.find("<tree: *.*>", size_t(half)) != npos;
    })) << Dump();
    // Both halves show the tree; the bar is on the left one's root.
    const auto rightHalfShows = [&](const std::string& name) {
        const int row = TreeRowOf(name);
        return row > 0 && Rows()[size_t(row)].find(name, size_t(half)) != npos;
    };
    ASSERT_TRUE(WaitUntil([&] { return rightHalfShows("gamma"); })) << Dump();

    p->Write("\t");
    p->Write("\x1b[B"); // Down in the right half
    ASSERT_TRUE(WaitUntil([&] {
        const auto screen = Screen();
        const int row = TreeRowOf("alpha");
        const std::string text = screen->RowText(row);
        const size_t mark = text.find("\u2192", size_t(half) - 2);
        return mark != npos;
    })) << Dump();

    p->Write("\x1b[19~"); // F8 again
    ASSERT_TRUE(WaitUntil([&] { return Rows()[1].find("<tree:") == npos; })) << Dump();
    Quit();
}

TEST_F(TreeLoopRun, TTagsTheRootsFilesAndMovesDown) {
    Start({"/LF", "Q:"});
    p->Write("t");
    ASSERT_TRUE(WaitBarOn("alpha")) << Dump();
    p->Write("\x1b[H"); // Home: the root's files in the small window, tagged
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<std::string> rows = Rows();
        int tagged = 0;
        for (size_t row = 20; row < size_t(kRows - 3); row++)
            if (rows[row].find("\u2666") != npos &&
                (rows[row].find("a.txt") != npos || rows[row].find("big.bin") != npos))
                tagged++;
        return tagged == 2;
    })) << Dump();
    // 'u' takes the tags away again.
    p->Write("\x1b[H");
    p->Write("u");
    ASSERT_TRUE(WaitBarOn("alpha")) << Dump();
    p->Write("\x1b[H");
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<std::string> rows = Rows();
        for (size_t row = 20; row < size_t(kRows - 3); row++)
            if (rows[row].find("a.txt") != npos) return rows[row].find("\u2666") == npos;
        return false;
    })) << Dump();
    Quit();
}

TEST_F(TreeLoopRun, AClickAndADragOnTheTreeRowsMoveTheCursor) {
    Start({"/LF", "Q:"});
    ASSERT_NE(p->Output().find("\x1b[?1000h"), npos) << "mouse reporting";
    const int gamma = TreeRowOf("gamma");
    ASSERT_GT(gamma, 2);
    p->Write(MouseAt(0, gamma, 0, true) + MouseAt(0, gamma, 0, false));
    ASSERT_TRUE(WaitBarOn("gamma")) << Dump();
    ASSERT_TRUE(WaitPathEnds("/gamma"));
    // A drag from the root's row down to beta's.
    const int beta = TreeRowOf("beta");
    p->Write(MouseAt(0, 2, 0, true) + MouseAt(32, 3, 0, true) + MouseAt(32, beta, 0, true) +
             MouseAt(0, beta, 0, false));
    ASSERT_TRUE(WaitBarOn("beta")) << Dump();
    ASSERT_TRUE(WaitPathEnds("/alpha/beta"));
    Quit();
}

// A tree longer than the window: a drag down the left frame column to the
// tree's last row shows the last page, back up to the top row the root.
TEST_F(TreeLoopRun, DraggingOnTheScrollTrackPagesTheTree) {
    for (int i = 0; i < 40; i++) {
        const std::string name = std::string("many/d") + char('0' + i / 10) + char('0' + i % 10);
        home.WriteOnQ(name + "/x.txt", "x");
    }
    Start({"/LF", "Q:"});
    // The tree's rows end above the frame line over the small file window.
    // The first screen may still be coming in pieces: wait for that line.
    int lastRow = -1;
    WaitUntil([&] {
        const std::vector<std::string> rows = Rows();
        for (size_t row = 3; row < rows.size(); row++)
            if (rows[row].rfind("\u251C\u2500", 0) == 0) {
                lastRow = int(row) - 1;
                return true;
            }
        return false;
    });
    ASSERT_GT(lastRow, 10) << Dump();
    ASSERT_EQ(TreeRowOf("d39"), -1) << "the end of the tree is not shown yet";

    p->Write(MouseAt(0, 3, 0, true) + MouseAt(32, 5, 0, true) + MouseAt(32, lastRow, 0, true));
    ASSERT_TRUE(WaitUntil([&] { return TreeRowOf("d39") == lastRow; })) << Dump();
    ASSERT_TRUE(WaitBarOn("d39")) << Dump();
    EXPECT_EQ(Rows()[2].find(home.DriveQ()), npos) << "the root has scrolled away";

    p->Write(MouseAt(32, 2, 0, true) + MouseAt(0, 2, 0, false));
    ASSERT_TRUE(WaitUntil([&] { return BarRow() == 2 && Rows()[2].find(home.DriveQ()) != npos; }))
        << Dump();
    Quit();
}

// F5 walks the branch's expanded state: alpha's subdirectory goes and comes
// back. '*' on the root reads the disk again: a directory made meanwhile
// shows up.
TEST_F(TreeLoopRun, F5CollapsesAndExpandsAndStarRelogs) {
    Start({"/LF", "Q:"});
    p->Write("\x1b[B"); // Down to alpha
    ASSERT_TRUE(WaitBarOn("alpha")) << Dump();
    ASSERT_GT(TreeRowOf("beta"), 0);
    p->Write("\x1b[15~"); // F5
    ASSERT_TRUE(WaitUntil([&] { return TreeRowOf("beta") < 0; })) << Dump();
    EXPECT_EQ(TreeRowOf("empty"), TreeRowOf("alpha") + 1);
    // The cursor stays on alpha, whose mark now says its branch is hidden.
    EXPECT_FALSE(SameColours(NameCell("alpha"), NameCell("empty"))) << Dump();
    p->Write("\x1b[15~");
    ASSERT_TRUE(WaitUntil([&] { return TreeRowOf("beta") == TreeRowOf("alpha") + 1; })) << Dump();

    home.WriteOnQ("fresh/new.txt", "new");
    p->Write("\x1b[H*");
    ASSERT_TRUE(WaitUntil([&] { return TreeRowOf("fresh") > 0; })) << Dump();
    EXPECT_TRUE(WaitUntil([&] { return BarRow() == 2; })) << Dump();
    Quit();
}

// '-' gives back what was read below the cursor's directory: alpha's
// subdirectory goes and alpha shows the mark of a directory not read.
// Under the alternative keys (/AK) Del does it and '-' selects the previous
// disk instead.
TEST_F(TreeLoopRun, MinusReleasesTheDirectoryAndDelDoesUnderTheAlternativeKeys) {
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        const char* release;
        const char* other;
    };
    const Case cases[] = {
        {"plain keys", {"/LF", "Q:"}, "-", "\x1b[3~"},
        {"alternative keys", {"/AK", "/LF", "Q:"}, "\x1b[3~", "-"},
    };
    for (const Case& c : cases) {
        Start(c.arguments);
        p->Write("\x1b[B");
        ASSERT_TRUE(WaitBarOn("alpha")) << c.what << "\n" << Dump();
        // The other key does not release (it beeps or selects a disk that
        // is not there).
        const int alpha = TreeRowOf("alpha");
        p->Write(c.other);
        p->Write("\x1b[B"); // Down, handled after it: still onto beta
        ASSERT_TRUE(WaitUntil([&] { return BarRow() > alpha; })) << c.what << "\n" << Dump();
        EXPECT_EQ(BarRow(), TreeRowOf("beta")) << c.what << "\n" << Dump();
        p->Write("\x1b[A");
        ASSERT_TRUE(WaitBarOn("alpha")) << c.what;
        p->Write(c.release);
        ASSERT_TRUE(WaitUntil([&] { return TreeRowOf("beta") < 0; })) << c.what << "\n" << Dump();
        EXPECT_EQ(TreeRowOf("empty"), TreeRowOf("alpha") + 1) << c.what;
        Quit();
    }
}

// With two disks logged, '.' goes to the next one and ',' back, onto the
// directory the pane stood on there.
TEST_F(TreeLoopRun, CommaAndPeriodGoRoundTheLoggedDisks) {
    Start({"/LF", "Q:", "C:"});
    p->Write("\x1b[B");
    ASSERT_TRUE(WaitBarOn("alpha")) << Dump();
    p->Write(".");
    ASSERT_TRUE(WaitUntil([&] { return Rows()[0].find(home.DriveC()) != npos; })) << Dump();
    EXPECT_EQ(TreeRowOf("alpha"), -1) << "C: is empty";
    p->Write(",");
    ASSERT_TRUE(WaitPathEnds("/alpha")) << Dump();
    ASSERT_TRUE(WaitBarOn("alpha")) << Dump();
    Quit();
}

// F3 reads the whole disk again, wherever the cursor stands.
TEST_F(TreeLoopRun, F3RelogsTheDisk) {
    Start({"/LF", "Q:"});
    p->Write("\x1b[B\x1b[B");
    ASSERT_TRUE(WaitBarOn("beta")) << Dump();
    home.WriteOnQ("empty/inner/x.txt", "x");
    home.WriteOnQ("zeta/y.txt", "y");
    p->Write("\x1bOR"); // F3
    ASSERT_TRUE(WaitUntil([&] { return TreeRowOf("zeta") > 0 && TreeRowOf("inner") > 0; }))
        << Dump();
    EXPECT_EQ(TreeRowOf("inner"), TreeRowOf("empty") + 1);
    Quit();
}

// Keys whose commands are not there yet: one beep each, and nothing on the
// screen changes (row 0's clock aside).
TEST_F(TreeLoopRun, KeysOfCommandsNotThereBeepAndChangeNothing) {
    Start({"/LF", "Q:"});
    auto withoutClock = [&] {
        std::vector<std::string> rows = Rows();
        rows[0] = rows[0].substr(0, 60);
        return rows;
    };
    const std::vector<std::string> before = withoutClock();
    const struct {
        const char* what;
        const char* bytes;
    } keys[] = {
        {"x (execute)", "x"},
        {"a (available space)", "a"},
        {"Alt-L (the log prompt)", "\x1bl"},
        {"F9 (the application menu)", "\x1b[20~"},
        {"Ctrl-B (tagged branch list)", "\x02"},
    };
    for (const auto& key : keys) {
        const size_t from = p->OutputSize();
        p->Write(key.bytes);
        ASSERT_TRUE(WaitUntil([&] { return Bells(p->Output(), from) >= 1; })) << key.what;
        EXPECT_EQ(Bells(p->Output(), from), 1u) << key.what;
        EXPECT_EQ(withoutClock(), before) << key.what;
    }
    Quit();
}

} // namespace
