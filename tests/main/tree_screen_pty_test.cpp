// The tree window's first screen as a person sees it: the real program on a
// pseudo-terminal, in a home whose drives file maps Q: to a generated tree.
// The path line, the tree rows with their connectors, the cursor bar and
// mark on the root, the command lines with their key letters at two widths,
// clicks on the command lines, the Ctrl menu of the kitty keyboard, a
// resize, and names that are not plain text.
#include "drive_home.h"
#include "fixture.h"
#include "terminal_harness.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr size_t npos = std::string::npos;

using qtest::WaitUntil;

bool SameColour(const qtest::VtCell& a, const qtest::VtCell& b) {
    return vterm_color_is_equal(&a.fg, &b.fg) && vterm_color_is_equal(&a.bg, &b.bg);
}

// The columns of a row's text (UTF-8, one column per character, which holds
// for the command lines and the box characters).
std::vector<std::string> Cells(const std::string& row) {
    std::vector<std::string> cells;
    for (size_t i = 0; i < row.size();) {
        size_t n = 1;
        const unsigned char c = static_cast<unsigned char>(row[i]);
        if (c >= 0xF0) n = 4;
        else if (c >= 0xE0) n = 3;
        else if (c >= 0xC0) n = 2;
        cells.push_back(row.substr(i, n));
        i += n;
    }
    return cells;
}

class TreeScreen : public ::testing::Test {
  protected:
    qtest::DriveHome home;
    std::string program = home.CopyProgram(QUILB_PROGRAM);
    std::unique_ptr<qtest::PtyProcess> p;
    int rows = 34;
    int columns = 96;
    size_t from = 0; // where the screen being read starts in the output

    void Start(int r, int c, bool kitty = false) {
        ASSERT_FALSE(program.empty());
        rows = r;
        columns = c;
        p = qtest::StartTerminalProgram(rows, columns, home.Environment(), home.DriveQ(), program,
                                        {"/LF", "Q:"}, kitty);
        ASSERT_TRUE(p);
    }
    std::unique_ptr<qtest::VtScreen> Screen() const {
        auto screen = std::make_unique<qtest::VtScreen>(rows, columns);
        const std::string output = p->Output();
        screen->Feed(output.substr(std::min(from, output.size())));
        return screen;
    }
    std::vector<std::string> Rows() const {
        const std::string output = p->Output();
        return qtest::ScreenRowsOf(output.substr(std::min(from, output.size())), rows, columns);
    }
    bool WaitRow(int row, const std::string& text) const {
        return WaitUntil([&] { return Rows()[size_t(row)].find(text) != npos; });
    }
    // The first screen is whole once the last command line and the tree's
    // last row are drawn.
    bool WaitTree(const std::string& lastTreeRow) const {
        return WaitUntil([&] {
            const std::vector<std::string> r = Rows();
            return r[size_t(rows - 1)].find("Stats") != npos && r[6].find(lastTreeRow) != npos;
        });
    }
    void Click(int row, int column) {
        const std::string at = std::to_string(column + 1) + ";" + std::to_string(row + 1);
        p->Write("\x1b[<0;" + at + "M\x1b[<0;" + at + "m");
    }
    // Alt-Q asks as 'q' does; yes ends the program.
    void QuitWithAltQ(const char* what) {
        p->Write("\x1bq");
        ASSERT_TRUE(WaitRow(rows - 2, "Are you sure you wish to exit?")) << what;
        p->Write("y");
        ExpectEndsWithZero(what);
    }
    void ExpectEndsWithZero(const char* what) {
        const int status = p->WaitExit(20000);
        ASSERT_TRUE(WIFEXITED(status)) << what << " status " << status;
        EXPECT_EQ(WEXITSTATUS(status), 0) << what;
        EXPECT_EQ(qtest::TerminalLeftovers(*p), "") << what;
    }
    // Every cell of the three command lines: key letters (marked '^') in
    // one colour, everything else in another.
    void ExpectKeyLetters(const qtest::VtScreen& screen, const std::vector<std::string>& expected,
                          const std::vector<std::string>& marks) {
        const qtest::VtCell text = screen.Cell(rows - 3, 0); // the 'T' of TREE
        const qtest::VtCell key = screen.Cell(rows - 1, 0);  // the Enter sign
        EXPECT_FALSE(SameColour(text, key)) << "key letters stand out";
        for (int line = 0; line < 3; line++) {
            const int row = rows - 3 + line;
            const std::string& mark = marks[size_t(line)];
            const size_t width = Cells(expected[size_t(line)]).size();
            for (int col = 0; col < int(width); col++) {
                const bool isKey = size_t(col) < mark.size() && mark[size_t(col)] == '^';
                EXPECT_TRUE(SameColour(screen.Cell(row, col), isKey ? key : text))
                    << "row " << row << " column " << col << (isKey ? " is a key letter" : " is text");
            }
        }
    }
};

const std::vector<std::string> kTree96 = {
    "TREE      Avail  Branch  Compare  Del  Edit  Filter  Global  sHortcut  Invert  Log  Make",
    "COMMANDS  New date  Oops!  Print  Rename  Showall  Tag  Untag  View  sWitch  eXecute  Quit",
    "◄─┘ File  F1 Help  F3 Refresh  F7 Autoview  F8 Split  F9 Menu  \\ Treespec  ? Stats"};
const std::vector<std::string> kTree96Keys = {
    "          ^      ^       ^        ^    ^     ^       ^        ^        ^       ^    ^",
    "          ^         ^      ^      ^       ^        ^    ^      ^      ^       ^       ^",
    "^^^       ^^       ^^          ^^           ^^        ^^       ^           ^"};

TEST_F(TreeScreen, TheFirstScreenAt96By34) {
    Start(34, 96);
    ASSERT_TRUE(WaitTree("gamma")) << qtest::Hex(p->Output());
    const std::vector<std::string> r = Rows();
    const std::string q = home.DriveQ();
    EXPECT_EQ(r[0].substr(0, 1 + q.size()), " " + q) << "the path line";
    EXPECT_EQ(r[2].substr(6, q.size()), q) << "the root row after the frame and the mark: " << r[2];
    // After the frame and the mark column.
    const char* tree[] = {"├──alpha", "│  └──beta", "├──empty", "└──gamma"};
    for (int i = 0; i < 4; i++) {
        const std::vector<std::string> cells = Cells(r[size_t(3 + i)]);
        std::string shown;
        for (size_t c = 2; c < cells.size(); c++)
            shown += cells[c];
        EXPECT_EQ(shown.substr(0, std::string(tree[i]).size()), tree[i]) << "row " << 3 + i;
        EXPECT_EQ(cells[1], " ") << "no mark on row " << 3 + i << ": its files are read";
    }
    for (int line = 0; line < 3; line++) {
        std::string row = r[size_t(rows - 3 + line)];
        row.erase(row.find_last_not_of(' ') + 1);
        EXPECT_EQ(row, kTree96[size_t(line)]);
    }

    const auto screen = Screen();
    // The cursor is on the root: the mark column shows the arrow and the
    // root's name stands in the bar colour, unlike the rows below it.
    const qtest::VtCell mark = screen->Cell(2, 1);
    EXPECT_EQ(mark.text, U"→");
    const qtest::VtCell rootName = screen->Cell(2, 2);
    EXPECT_TRUE(SameColour(rootName, mark)) << "the bar and the mark in one colour";
    EXPECT_TRUE(SameColour(screen->Cell(2, 1 + int(q.size())), mark)) << "the bar covers the name";
    EXPECT_FALSE(SameColour(screen->Cell(3, 5), mark)) << "alpha is not under the bar";
    ExpectKeyLetters(*screen, kTree96, kTree96Keys);
    QuitWithAltQ("Alt-Q");
}

// At 80 columns the wide words are left out; Make and Quit are chained past
// the edge (their keys still work).
TEST_F(TreeScreen, TheCommandLinesAt80By24) {
    Start(24, 80);
    ASSERT_TRUE(WaitTree("gamma")) << qtest::Hex(p->Output());
    const std::vector<std::string> expected = {
        "TREE      Avail  Branch  Compare  Del  Filter  Global  sHortcut  Invert  Log",
        "COMMANDS  New date  Oops!  Print  Rename  Showall  Tag  Untag  View  eXecute",
        "◄─┘ File  F1 Help  F7 Autoview  F8 Split  F9 Menu  \\ Treespec  ? Stats"};
    const std::vector<std::string> keys = {
        "          ^      ^       ^        ^    ^       ^        ^        ^       ^",
        "          ^         ^      ^      ^       ^        ^    ^      ^      ^",
        "^^^       ^^       ^^           ^^        ^^       ^           ^"};
    const std::vector<std::string> r = Rows();
    for (int line = 0; line < 3; line++) {
        std::string row = r[size_t(rows - 3 + line)];
        row.erase(row.find_last_not_of(' ') + 1);
        EXPECT_EQ(row, expected[size_t(line)]);
    }
    ExpectKeyLetters(*Screen(), expected, keys);
    // 'q' still asks, though Quit is not shown.
    p->Write("q");
    ASSERT_TRUE(WaitRow(rows - 2, "Are you sure you wish to exit?"));
    p->Write("y");
    ExpectEndsWithZero("q, y at 80 columns");
}

// A click on "Quit" of the command lines asks to quit; a click on "Yes/"
// of the question answers it.
TEST_F(TreeScreen, ClicksOnQuitAndYes) {
    Start(34, 96);
    ASSERT_TRUE(WaitTree("gamma")) << qtest::Hex(p->Output());
    const size_t quit = Rows()[size_t(rows - 2)].find("Quit");
    ASSERT_NE(quit, npos);
    Click(rows - 2, int(Cells(Rows()[size_t(rows - 2)].substr(0, quit)).size()));
    ASSERT_TRUE(WaitRow(rows - 2, "Are you sure you wish to exit?")) << qtest::Hex(p->Output());
    const std::string hint = Rows()[size_t(rows - 2)];
    const size_t yes = hint.find("Yes/");
    ASSERT_NE(yes, npos) << hint;
    Click(rows - 2, int(Cells(hint.substr(0, yes)).size()));
    ExpectEndsWithZero("clicks on Quit and Yes/");
}

// With the kitty keyboard, Ctrl pressed alone shows the Ctrl menu, its
// release the plain one again.
TEST_F(TreeScreen, CtrlAloneShowsTheCtrlMenuWithKittyKeys) {
    Start(34, 96, true);
    ASSERT_TRUE(WaitTree("gamma")) << qtest::Hex(p->Output());
    // The answer to the query may come after the first screen.
    ASSERT_NE(p->WaitFor("\x1b[>31u", 20000), npos) << "the kitty flags are pushed";
    p->Write("\x1b[57442;5u"); // left Ctrl down
    ASSERT_TRUE(WaitRow(rows - 3, "CTRL TREE")) << qtest::Hex(p->Output());
    std::vector<std::string> r = Rows();
    auto trimmed = [](std::string row) {
        row.erase(row.find_last_not_of(' ') + 1);
        return row;
    };
    EXPECT_EQ(trimmed(r[size_t(rows - 3)]),
              "CTRL TREE Branch  Filter  Global  Invert  Log disk  Quit  Showall tagged files");
    EXPECT_EQ(trimmed(r[size_t(rows - 2)]), "COMMANDS  Tag  Untag  Volume  Qlist  ◄─┘ Show tagged files");
    p->Write("\x1b[57442;1:3u"); // and up
    ASSERT_TRUE(WaitUntil([&] { return Rows()[size_t(rows - 3)].rfind("TREE      Avail", 0) == 0; }));
    r = Rows();
    EXPECT_EQ(trimmed(r[size_t(rows - 2)]), kTree96[1]);
    p->Write("\x1b[113;3u"); // Alt-Q
    ASSERT_TRUE(WaitRow(rows - 2, "Are you sure you wish to exit?"));
    p->Write("\x1b[121u"); // y
    ExpectEndsWithZero("Alt-Q, y with kitty keys");
}

// A larger terminal: the tree and the command lines are laid out anew, the
// command lines on its last three rows.
TEST_F(TreeScreen, AResizeLaysTheScreenOutAnew) {
    Start(34, 96);
    ASSERT_TRUE(WaitTree("gamma")) << qtest::Hex(p->Output());
    from = p->OutputSize();
    rows = 40;
    columns = 120;
    p->Resize(40, 120);
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<std::string> r = Rows();
        return r[39].find("Stats") != npos && r[37].find("TREE") == 0 && r[6].find("gamma") != npos;
    })) << qtest::Hex(p->Output().substr(from));
    const std::vector<std::string> r = Rows();
    EXPECT_EQ(r[37].substr(0, kTree96[0].size()), kTree96[0]);
    EXPECT_EQ(r[38].substr(0, kTree96[1].size()), kTree96[1]);
    EXPECT_NE(r[39].find("? Stats"), npos);
    EXPECT_NE(r[3].find("├──alpha"), npos);
    EXPECT_NE(r[0].find(home.DriveQ()), npos) << "the path line";
    const auto screen = Screen();
    EXPECT_EQ(screen->Cell(2, 1).text, U"→") << "the cursor mark on the root";
    QuitWithAltQ("Alt-Q after the resize");
}

// Names that are not plain text are drawn readably: a wide character takes
// two cells, a byte that is not UTF-8 shows as U+FFFD and a backslash as
// itself; the connectors stay in their columns.
TEST_F(TreeScreen, NamesAreDrawnReadablyAndTheConnectorsStayAligned) {
    const std::string q = home.DriveQ();
    for (const char* name : {"日本語", "bad\xff" "byte", "back\\slash"})
        ASSERT_EQ(::mkdir((q + "/alpha/beta/" + name).c_str(), 0755), 0) << name;
    ASSERT_EQ(::mkdir((q + "/alpha/beta/日本語/x").c_str(), 0755), 0);
    Start(34, 96);
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<std::string> r = Rows();
        return r[size_t(rows - 1)].find("Stats") != npos && r[10].find("gamma") != npos;
    })) << qtest::Hex(p->Output());
    const std::vector<std::string> r = Rows();
    // Below beta in name order: back\slash, bad?byte, 日本語 with x.
    struct Row {
        int row;
        const char* text; // from column 2, after the frame and the mark
    } expected[] = {
        {5, "│     ├──back\\slash"},
        {6, "│     ├──bad\xef\xbf\xbd" "byte"},
        {7, "│     └──日本語"},
        {8, "│        └──x"},
        {9, "├──empty"},
        {10, "└──gamma"},
    };
    for (const Row& e : expected) {
        const std::string& row = r[size_t(e.row)];
        const std::vector<std::string> cells = Cells(row);
        std::string shown;
        for (size_t c = 2; c < cells.size(); c++)
            shown += cells[c];
        EXPECT_EQ(shown.substr(0, std::string(e.text).size()), e.text) << "row " << e.row;
    }
    // The wide name takes six cells: x's connector stands three columns
    // right of 日本語's, and the frame's right side of the tree is where
    // it is on every other row.
    const auto screen = Screen();
    EXPECT_EQ(screen->Cell(7, 8).text, U"└");
    EXPECT_EQ(screen->Cell(7, 11).text, U"日");
    EXPECT_EQ(screen->Cell(7, 11).width, 2);
    EXPECT_EQ(screen->Cell(7, 13).text, U"本");
    EXPECT_EQ(screen->Cell(7, 15).text, U"語");
    EXPECT_EQ(screen->Cell(8, 11).text, U"└");
    EXPECT_EQ(screen->Cell(7, 0).text, screen->Cell(9, 0).text) << "the left frame";
    QuitWithAltQ("Alt-Q");
}

} // namespace
