// The shadow screen and its drawing primitives, read back through the
// console output API after each call: the code page 437 box map, lines with
// ends, runs cut at the screen's edges, saved rectangles (also beyond row
// 200 of a tall screen), colours, the clock and date texts on a fixed clock,
// and the tree window painters.
#include "platform_fixture.h"
#include "main/tree_window.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "ui/text_helpers.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using qtest::ConsoleAttrs;
using qtest::ConsoleText;
using qtest::ShadowText;

using ScreenTest = qtest::PlatformTest;

std::u16string Blanks(int n) {
    return std::u16string(size_t(n), u' ');
}
std::u16string Zeros(int n) {
    return std::u16string(size_t(n), u'\0');
}

// Writes cells straight to the console, past the shadow screen.
void ConsoleOnly(int row, int column, const std::u16string& text, WORD attr) {
    std::vector<CHAR_INFO> cells;
    for (char16_t c : text) {
        CHAR_INFO cell = {};
        cell.Char.UnicodeChar = c;
        cell.Attributes = attr;
        cells.push_back(cell);
    }
    SMALL_RECT region = {SHORT(column), SHORT(row), SHORT(column + int(text.size()) - 1),
                         SHORT(row)};
    WriteConsoleOutputW(gConOut, cells.data(), COORD{SHORT(text.size()), 1}, COORD{0, 0}, &region);
}

TEST_F(ScreenTest, BoxMapHoldsTheBoxAndBlockBytesAndNothingElse) {
    const struct {
        unsigned char byte;
        char16_t unit;
    } kBoxes[] = {
        {0x20, u' '},      {0xC4, u'\u2500'}, {0xB3, u'\u2502'}, {0xDA, u'\u250C'},
        {0xBF, u'\u2510'}, {0xC0, u'\u2514'}, {0xD9, u'\u2518'}, {0xC3, u'\u251C'},
        {0xB4, u'\u2524'}, {0xC2, u'\u252C'}, {0xC1, u'\u2534'}, {0xCD, u'\u2550'},
        {0xBA, u'\u2551'}, {0xC9, u'\u2554'}, {0xBB, u'\u2557'}, {0xC8, u'\u255A'},
        {0xBC, u'\u255D'}, {0xC5, u'\u253C'}, {0xDB, u'\u2588'}, {0xDC, u'\u2584'},
        {0xDF, u'\u2580'}, {0xFE, u'\u25A0'},
    };
    char16_t expected[256] = {};
    for (const auto& b : kBoxes)
        expected[b.byte] = b.unit;
    for (int byte = 0; byte < 256; byte++)
        EXPECT_EQ(gOemBoxMap[byte], expected[byte]) << "byte 0x" << std::hex << byte;

    // Each box byte written as text shows its character.
    std::string text;
    std::u16string shown;
    for (const auto& b : kBoxes) {
        text.push_back(char(b.byte));
        shown.push_back(b.unit);
    }
    ScrPutStr(3, 0, text.c_str(), 0x1F);
    EXPECT_EQ(ConsoleText(3, 0, int(shown.size())), shown);
    EXPECT_EQ(ShadowText(3, 0, int(shown.size())), shown);
    for (WORD attr : ConsoleAttrs(3, 0, int(shown.size())))
        EXPECT_EQ(attr, 0x1F);
}

TEST_F(ScreenTest, EightBitStringsConvertByteByByte) {
    const struct {
        const char* what;
        const char* text;
        std::u16string shown;
    } kCases[] = {
        {"ASCII is itself", "Az09", u"Az09"},
        {"0xC4 is a box line", "\xC4", u"\u2500"},
        {"0x80 stays U+0080", "\x80", u"\u0080"},
        {"0x81 is not in the map: code page 437", "\x81", u"\u00FC"},
        {"0xE1 through the code page", "\xE1", u"\u00DF"},
    };
    int row = 1;
    for (const auto& c : kCases) {
        ScrPutStr(row, 5, c.text, 0x07);
        EXPECT_EQ(ConsoleText(row, 5, int(c.shown.size())), c.shown) << c.what;
        EXPECT_EQ(ShadowText(row, 5, int(c.shown.size())), c.shown) << c.what;
        row++;
    }
    // The counted writer takes every byte through the code page.
    ScrPutStrN(row, 0, "a\xC4\x00z", 4, 0x07);
    EXPECT_EQ(ConsoleText(row, 0, 4), std::u16string(u"a\u2500\0z", 4));
}

TEST_F(ScreenTest, ReadingBackRawUnitsAndConsoleText) {
    ScrPutWStr(4, 0, u"\u2500A\u4E2D", 0x07);
    char raw[3] = {'?', '?', '?'};
    ScrGetChars(4, 0, raw, 3);
    EXPECT_EQ(raw[0], '\0') << "the low byte of U+2500";
    EXPECT_EQ(raw[1], 'A');
    char text[3] = {'?', '?', '?'};
    ScrReadText(4, 0, text, 3);
    EXPECT_EQ(static_cast<unsigned char>(text[0]), 0xC4) << "the console cell as code page 437";
    EXPECT_EQ(text[1], 'A');
    EXPECT_EQ(static_cast<unsigned char>(text[2]), 0xFA) << "no code page 437 byte";
    EXPECT_EQ(ScrGetAttr(4, 1), 0x07);
}

TEST_F(ScreenTest, LinesWithEnds) {
    const struct {
        const char* what;
        int n;
        char16_t first, middle, last;
        std::u16string row; // columns 10-15 after the call over "abcdef"
    } kCases[] = {
        {"a full line", 6, u'<', u'-', u'>', u"<---->"},
        {"n = 1 draws only the first character", 1, u'<', u'-', u'>', u"<bcdef"},
        {"n = 2 is first and last", 2, u'<', u'-', u'>', u"<>cdef"},
        {"middle 0 keeps the middle cells", 6, u'<', 0, u'>', u"<bcde>"},
        {"last 0 keeps the last cell", 6, u'<', u'-', 0, u"<----f"},
        {"n = 0 draws nothing", 0, u'<', u'-', u'>', u"abcdef"},
    };
    for (const auto& c : kCases) {
        ScrPutWStr(6, 10, u"abcdef", 0x07);
        ScrHLine(6, 10, c.n, c.first, c.middle, c.last, 0x4E);
        EXPECT_EQ(ConsoleText(6, 10, 6), c.row) << c.what;
        EXPECT_EQ(ShadowText(6, 10, 6), c.row) << c.what;
        const std::vector<WORD> attrs = ConsoleAttrs(6, 10, 6);
        for (int i = 0; i < 6; i++)
            EXPECT_EQ(attrs[size_t(i)], i < c.n ? 0x4E : 0x07) << c.what << ", cell " << i;
    }
    ScrHLineOem(7, 0, 4, 0xDA, 0xC4, 0xBF, 0x07);
    EXPECT_EQ(ConsoleText(7, 0, 4), u"\u250C\u2500\u2500\u2510");
    ScrHLineOem(8, 0, 4, 0xBA, ' ', 0xBA, 0x07);
    EXPECT_EQ(ConsoleText(8, 0, 4), u"\u2551  \u2551") << "the blank of double frames";
}

TEST_F(ScreenTest, RunsAreCutAtTheScreenEdges) {
    // The shadow holds 1024 columns and 250 rows; a 25 x 80 screen must
    // leave everything beyond it untouched.
    const struct {
        const char* what;
        void (*draw)();
        int row, column;
        std::u16string shown;
    } kCases[] = {
        {"a string past the right edge", [] { ScrPutWStr(2, 77, u"abcdef", 0x07); }, 2, 77, u"abc"},
        {"a string starting left of the screen", [] { ScrPutWStr(3, -2, u"abcdef", 0x07); }, 3, 0,
         u"cdef"},
        {"an 8-bit string past the edge", [] { ScrPutStr(4, 79, "xyz", 0x07); }, 4, 79, u"x"},
        {"a line longer than the row", [] { ScrHLine(5, 70, 5000, u'<', u'-', u'>', 0x07); }, 5, 77,
         u"---"},
        {"a counted string far too long",
         [] { ScrPutStrN(6, 78, std::string(5000, 'q').c_str(), 5000, 0x07); }, 6, 78, u"qq"},
    };
    for (const auto& c : kCases) {
        c.draw();
        EXPECT_EQ(ConsoleText(c.row, c.column, int(c.shown.size())), c.shown) << c.what;
        EXPECT_EQ(ShadowText(c.row, 80, 8), Zeros(8)) << c.what << ": nothing beyond the screen";
    }
    // Rows below the screen and far outside the array draw nothing.
    ScrPutWStr(25, 0, u"below", 0x07);
    ScrPutWStr(400, 0, u"far below", 0x07);
    ScrPutWStr(-1, 0, u"above", 0x07);
    ScrHLine(30000, 0, 10, u'<', u'-', u'>', 0x07);
    ScrFillAttr(2, 75, 0x70, 100000);
    ScrClearArea(20, 70, 400, 2000, 0x17);
    EXPECT_EQ(ShadowText(25, 0, 8), Zeros(8));
    EXPECT_EQ(ShadowText(249, 0, 8), Zeros(8));
    EXPECT_EQ(ShadowText(20, 80, 8), Zeros(8));
    EXPECT_EQ(ConsoleAttrs(24, 79, 1)[0], 0x17) << "the clear reached the last row";
    EXPECT_EQ(ConsoleAttrs(2, 79, 1)[0], 0x70);

    // A cursor wrapped below the last row of the array writes nowhere.
    ScrSetCursorPos(0, 5);
    CycleCursorRow(CURSOR_UP);
    EXPECT_EQ(gCursorRow, 250);
    ScrPutCharAt(u'!', 0x07);
    EXPECT_EQ(gCursorCol, 6) << "the cursor still moves on";
}

TEST_F(ScreenTest, LongEightBitStringsAreCutWithoutOverflow) {
    std::string text(3000, 'x');
    text[0] = 'a';
    ScrPutStr(9, 0, text.c_str(), 0x07);
    EXPECT_EQ(ConsoleText(9, 0, 3), u"axx");
    EXPECT_EQ(ConsoleText(9, 79, 1), u"x");
    EXPECT_EQ(ShadowText(9, 80, 4), Zeros(4));
}

TEST_F(ScreenTest, CharactersAtTheCursorMoveIt) {
    ScrSetCursorPos(3, 78);
    ScrPutCharAt(u'a', 0x07);
    ScrPutCharAt(u'b', 0x07);
    EXPECT_EQ(ConsoleText(3, 78, 2), u"ab");
    EXPECT_EQ(gCursorRow, 3);
    EXPECT_EQ(gCursorCol, 80);
    ScrSetCursorPos(3, 1023);
    CycleCursorRow(CURSOR_RIGHT);
    EXPECT_EQ(gCursorRow, 4);
    EXPECT_EQ(gCursorCol, 0) << "after column 1023 the next row";
    CycleCursorRow(CURSOR_LEFT);
    EXPECT_EQ(gCursorRow, 3);
    EXPECT_EQ(gCursorCol, 1023);
    ScrSetCursorPos(249, 4);
    CycleCursorRow(CURSOR_DOWN);
    EXPECT_EQ(gCursorRow, 0);
    ScrSetCursorPos(5, 6);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(gConOut, &info);
    EXPECT_EQ(info.dwCursorPosition.X, 6);
    EXPECT_EQ(info.dwCursorPosition.Y, 5);
}

TEST_F(ScreenTest, AttributesAndClearedAreas) {
    ScrPutWStr(10, 0, u"keep these", 0x07);
    ScrFillAttr(10, 5, 0x5A, 3);
    EXPECT_EQ(ConsoleText(10, 0, 10), u"keep these");
    EXPECT_EQ(ConsoleAttrs(10, 4, 5), (std::vector<WORD>{0x07, 0x5A, 0x5A, 0x5A, 0x07}));
    EXPECT_EQ(ScrGetAttr(10, 6), 0x5A);
    const BYTE attr = 0x3C;
    ScrFillAttrRun(&attr, 2, 10, 0);
    EXPECT_EQ(ConsoleAttrs(10, 0, 3), (std::vector<WORD>{0x3C, 0x3C, 0x07}));

    ScrPutWStr(11, 0, u"xxxxxxxx", 0x07);
    ScrPutWStr(12, 0, u"xxxxxxxx", 0x07);
    ScrClearArea(11, 2, 12, 4, 0x21);
    for (int row : {11, 12}) {
        EXPECT_EQ(ConsoleText(row, 0, 6), u"xx   x");
        EXPECT_EQ(ShadowText(row, 0, 6), u"xx   x");
        EXPECT_EQ(ConsoleAttrs(row, 2, 4), (std::vector<WORD>{0x21, 0x21, 0x21, 0x07}));
    }
    ScrClearArea(12, 0, 11, 7, 0x21);
    EXPECT_EQ(ConsoleText(11, 0, 2), u"xx") << "bottom above top clears nothing";

    ScrClearScreen(TRUE, 0x1E);
    EXPECT_EQ(ConsoleText(11, 0, 2), u"  ");
    EXPECT_EQ(ConsoleAttrs(24, 79, 1)[0], 0x1E);
    EXPECT_EQ(ShadowText(11, 0, 2), u"xx") << "the shadow screen is not cleared";
}

TEST_F(ScreenTest, SavedRectanglesComeBack) {
    const struct {
        const char* what;
        int left, right;
        bool rowFlushedAgain;
    } kCases[] = {
        {"full width", 0, 79, false},
        {"narrow", 10, 19, true},
    };
    for (const auto& c : kCases) {
        ScrClearArea(0, 0, 24, 79, 0x07);
        for (int row = 5; row <= 6; row++)
            ScrPutStr(row, 0, std::string(80, 'o').c_str(), 0x1F);
        ScreenCell* saved = ScrSaveRect(5, c.left, 6, c.right);
        ASSERT_NE(saved, nullptr);
        for (int row = 5; row <= 6; row++)
            ScrPutStr(row, 0, std::string(80, 'n').c_str(), 0x2F);
        // The console differs from the shadow screen left of the rectangle.
        ConsoleOnly(5, 0, u"??", 0x07);
        ScrRestoreRect(5, c.left, 6, c.right, saved);
        const int width = c.right - c.left + 1;
        for (int row = 5; row <= 6; row++) {
            EXPECT_EQ(ConsoleText(row, c.left, width), std::u16string(size_t(width), u'o'))
                << c.what;
            EXPECT_EQ(ShadowText(row, c.left, width), std::u16string(size_t(width), u'o'))
                << c.what;
            EXPECT_EQ(ConsoleAttrs(row, c.left, 1)[0], 0x1F) << c.what;
        }
        // A narrow rectangle's rows are written again from the shadow screen
        // across the whole width.
        if (c.rowFlushedAgain) {
            EXPECT_EQ(ConsoleText(5, 0, 2), u"nn") << c.what;
        }
    }
    ScrRestoreRect(0, 0, 1, 1, nullptr);
    EXPECT_EQ(ScrSaveRect(5, 10, 4, 10), nullptr) << "an empty rectangle";
}

TEST_F(ScreenTest, RestoringBeyondRow200OfATallScreenKeepsTheShadowCurrent) {
    ASSERT_TRUE(SetConsoleScreenBufferSize(gConOut, COORD{80, 250}));
    ScrSetupLayout(250, 80, 1);
    for (int top : {199, 200, 230}) {
        ScrPutWStr(top, 0, u"OLD", 0x07);
        ScreenCell* narrow = ScrSaveRect(top, 0, top, 2);
        ASSERT_NE(narrow, nullptr);
        ScrPutWStr(top, 0, u"NEW", 0x07);
        ScrRestoreRect(top, 0, top, 2, narrow);
        EXPECT_EQ(ConsoleText(top, 0, 3), u"OLD") << "row " << top;
        EXPECT_EQ(ShadowText(top, 0, 3), u"OLD") << "row " << top;
    }
    ScrPutStr(240, 0, std::string(80, 'a').c_str(), 0x07);
    ScreenCell* full = ScrSaveRect(240, 0, 241, 79);
    ScrPutStr(240, 0, std::string(80, 'b').c_str(), 0x07);
    ScrRestoreRect(240, 0, 241, 79, full);
    EXPECT_EQ(ShadowText(240, 0, 3), u"aaa");
    EXPECT_EQ(ConsoleText(240, 0, 3), u"aaa");
}

TEST_F(ScreenTest, RectanglesSavedFromTheConsole) {
    ConsoleOnly(2, 3, u"from the console", 0x4F);
    ScreenCell* saved = ScrSaveRectConsole(2, 3, 2, 18);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(CellChar(saved[0]), u'f');
    EXPECT_EQ(CellAttr(saved[0]), 0x4F);
    ScrClearArea(2, 0, 2, 79, 0x07);
    ScrRestoreRect(2, 3, 2, 18, saved);
    EXPECT_EQ(ConsoleText(2, 3, 16), u"from the console");
    EXPECT_EQ(ShadowText(2, 3, 16), u"from the console");
}

TEST_F(ScreenTest, NormalColourAndConsoleAttribute) {
    EXPECT_EQ(ScrSetColor(3, 0x1E), 0x07);
    EXPECT_EQ(gNormalAttr, 0x1E);
    ScrPutStrDefault(1, 0, "n");
    EXPECT_EQ(ConsoleAttrs(1, 0, 1)[0], 0x1E);
    EXPECT_EQ(ScrSetColor(1, 0x4F), 0) << "only slot 3 is a colour of the program";
    EXPECT_EQ(gNormalAttr, 0x1E);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(gConOut, &info);
    EXPECT_EQ(info.wAttributes, 0x4F) << "the console's attribute follows every call";
    EXPECT_EQ(ScrSetColor(3, 0x07), 0x1E);
}

TEST(ScreenTexts, ClockOnAFixedTime) {
    const struct {
        WORD hour, minute, second;
        BOOL twelveHour, fourDigitYear;
        const char* text;
    } kCases[] = {
        {0, 5, 9, TRUE, FALSE, "12:05:09 am"},   {13, 0, 0, TRUE, FALSE, " 1:00:00 pm"},
        {12, 30, 5, TRUE, FALSE, "12:30:05 pm"}, {11, 59, 59, TRUE, FALSE, "11:59:59 am"},
        {23, 1, 2, TRUE, TRUE, "11:01:02pm"},    {0, 0, 0, TRUE, TRUE, "12:00:00am"},
        {0, 5, 9, FALSE, FALSE, " 0:05:09"},     {23, 59, 0, FALSE, TRUE, "23:59:00"},
    };
    for (const auto& c : kCases) {
        SYSTEMTIME t = {};
        t.wYear = 2031;
        t.wMonth = 3;
        t.wDay = 7;
        t.wHour = c.hour;
        t.wMinute = c.minute;
        t.wSecond = c.second;
        char out[16];
        FormatClockText(t, c.twelveHour, c.fourDigitYear, out);
        EXPECT_STREQ(out, c.text);
    }
}

TEST(ScreenTexts, DateOnAFixedDay) {
    const struct {
        WORD year, month, day;
        int order;
        BOOL fourDigitYear;
        const char* text;
    } kCases[] = {
        {2031, 3, 7, 1, FALSE, " 3-07-31"},   {2031, 3, 7, 4, TRUE, " 3-07-2031"},
        {2031, 3, 7, 0, FALSE, " 7-03-31"},   {2031, 3, 7, 3, TRUE, " 7-03-2031"},
        {2031, 3, 7, 2, FALSE, "31-03-07"},   {2031, 3, 7, 5, TRUE, "2031-03-07"},
        {1999, 12, 31, 0, FALSE, "31-12-99"}, {2000, 1, 2, 2, FALSE, " 0-01-02"},
        {2031, 3, 7, 6, FALSE, " 0-00-00"},
    };
    for (const auto& c : kCases) {
        SYSTEMTIME t = {};
        t.wYear = c.year;
        t.wMonth = c.month;
        t.wDay = c.day;
        char out[16];
        FormatDateText(t, c.order, c.fourDigitYear, out);
        EXPECT_STREQ(out, c.text) << c.year << "-" << c.month << "-" << c.day << " order "
                                  << c.order;
    }
}

// ---- the tree window ------------------------------------------------------------------------

struct FakeDir {
    WORD level;
    WORD attributes;
};

void FakeDirFacts(const SubdirInfo* dir, WORD* level, WORD* attributes) {
    const auto* fake = reinterpret_cast<const FakeDir*>(dir);
    *level = fake->level;
    *attributes = fake->attributes;
}

class TreeTest : public qtest::PlatformTest {
  protected:
    void SetUp() override {
        qtest::PlatformTest::SetUp();
        BuildRows();
        gTreeColours = {0x1E, 0x1A, 0x1B, 0x1C, 0x1D, 0x19};
        savedFacts_ = gTreeDirFacts;
        gTreeDirFacts = FakeDirFacts;
    }
    // A list of kRows rows for the current layout ("lineA", "lineB", ...,
    // no directories), and one more row of sentinels after it.
    void BuildRows() {
        ComputeFileWinLayout(-1);
        rows_.assign(size_t(kRows + 1) * gTreeLineStride, u'.');
        gTreeLines[0] = rows_.data();
        gTreeLineRows[0] = kRows;
        for (int line = 0; line < kRows; line++) {
            std::u16string text(gTreeWidth, u' ');
            const std::u16string label = u"line" + std::u16string(1, char16_t(u'A' + line));
            text.replace(0, label.size(), label);
            ScrPutLineBuf(line, 0, text.c_str(), nullptr);
            const SubdirInfo* none = nullptr;
            std::memcpy(rows_.data() + size_t(line) * gTreeLineStride + gTreeWidth, &none,
                        sizeof none);
        }
    }
    void TearDown() override {
        gTreeLines[0] = nullptr;
        gTreeLineRows[0] = 0;
        gTreeDirFacts = savedFacts_;
        qtest::PlatformTest::TearDown();
    }
    const SubdirInfo* Dir(FakeDir* d) { return reinterpret_cast<const SubdirInfo*>(d); }
    static constexpr int kRows = 40;
    std::u16string rows_;
    TreeDirFactsFn savedFacts_ = nullptr;
};

TEST_F(TreeTest, RowsAreColouredByTheirDirectory) {
    FakeDir root = {0, 0}, hidden = {2, 0x0002}, plain = {1, 0}, readOnly = {1, 0x0001},
            junctionAndHidden = {1, 0x0402}, deep = {20, 0x0004};
    ScrPutLineBuf(0, 0, u"C:\\", Dir(&root));
    ScrPutLineBuf(1, 0, u"hid", Dir(&hidden));
    ScrPutLineBuf(2, 0, u"pla", Dir(&plain));
    ScrPutLineBuf(3, 0, u"rdo", Dir(&readOnly));
    ScrPutLineBuf(4, 0, u"jun", Dir(&junctionAndHidden));
    ScrPutLineBuf(5, 0, u"dee", Dir(&deep));
    ScrPaintTreeLines(0);

    const int w = gTreeWidth;
    auto colourAt = [](int row, int index) { return ConsoleAttrs(2 + row, 1 + index, 1)[0]; };
    EXPECT_EQ(ConsoleText(2, 1, 4), u"C:\\e") << "text from column 1 without split screen";
    EXPECT_EQ(ConsoleText(2, 0, 1), u" ");
    for (int i : {0, 3, w - 1})
        EXPECT_EQ(colourAt(0, i), 0x1E) << "a root row: cell " << i;
    // Level 2 with indent 3: the cells up to index 6 are tree lines.
    EXPECT_EQ(colourAt(1, 6), 0x1E);
    EXPECT_EQ(colourAt(1, 7), 0x1C) << "hidden";
    EXPECT_EQ(colourAt(2, 4), 0x1E) << "no flags: the directory colour";
    EXPECT_EQ(colourAt(3, 4), 0x19) << "read-only";
    EXPECT_EQ(colourAt(4, 4), 0x1A) << "a junction wins over hidden";
    EXPECT_EQ(colourAt(5, 54), 0x1E) << "levels beyond 18 are capped: lines up to 54";
    EXPECT_EQ(colourAt(5, 55), 0x1D) << "system";
    EXPECT_EQ(colourAt(6, 2), 0x1E) << "a row without a directory";

    // Rows 2 to the tree height - 2: 14 rows on 25 rows.
    EXPECT_EQ(ConsoleText(15, 1, 5), u"lineN");
    EXPECT_EQ(ConsoleText(16, 1, 5), Blanks(5)) << "the frame row above the small window";

    // A hidden colour equal to the directory colour passes to the next flag.
    gTreeColours.junction = gTreeColours.directory;
    ScrPaintTreeLines(0);
    EXPECT_EQ(colourAt(4, 4), 0x1C);

    // Tree display modes 1 and 2 keep the directory colour.
    gTreeDisplayMode = 1;
    ScrPaintTreeLines(0);
    EXPECT_EQ(colourAt(1, 7), 0x1E);
}

TEST_F(TreeTest, SplitScreenRightSideAndPicker) {
    gSplitScreen = 1;
    gSplitLayoutSetting = 0;
    gPanesSwapped = 1;
    SetCurrentPane(0);
    ASSERT_EQ(gCurrentSide, 1);
    BuildRows();
    ScrPaintTreeLines(1);
    EXPECT_EQ(ConsoleText(2, gSplitColumn + 1, 5), u"lineB") << "from the right half";

    ScrPutWStr(3, gSplitColumn, u"|", 0x07);
    gSplitLayout = 1;
    ScrPaintTreeLines(1);
    EXPECT_EQ(ConsoleText(3, gSplitColumn, 1), u" ") << "layout 1 blanks the split column";
    EXPECT_EQ(ConsoleAttrs(3, gSplitColumn, 1)[0], gTreeColours.directory);

    // The picker draws from row 3 to rows - 6 in the normal colour; on the
    // left side of a split screen it uses the right half.
    gPanesSwapped = 0;
    SetCurrentPane(0);
    gNormalAttr = 0x2F;
    ScrPaintTreeLine(0);
    EXPECT_EQ(ConsoleText(3, gSplitColumn + 2, 5), u"lineA");
    EXPECT_EQ(ConsoleText(19, gSplitColumn + 2, 5), u"lineQ");
    EXPECT_EQ(ConsoleText(20, gSplitColumn + 2, 5), Blanks(5));
    EXPECT_EQ(ConsoleAttrs(3, gSplitColumn + 2, 1)[0], 0x2F);
    gSplitScreen = 0;
    ScrClearArea(0, 0, 24, 79, 0x07);
    ScrPaintTreeLine(2);
    EXPECT_EQ(ConsoleText(3, 2, 5), u"lineC");
}

TEST_F(TreeTest, LineBufferNeverOverwritesTheDirectoryPointer) {
    FakeDir dir = {1, 0x0002};
    ScrPutLineBuf(0, 0, u"x", Dir(&dir));
    const std::u16string tooLong(size_t(gTreeWidth) + 40, u'#');
    ScrPutLineBuf(0, 5, tooLong.c_str(), nullptr);
    const SubdirInfo* stored = nullptr;
    std::memcpy(&stored, rows_.data() + gTreeWidth, sizeof stored);
    EXPECT_EQ(stored, Dir(&dir)) << "the text stops at the row's width";
    EXPECT_EQ(rows_[size_t(gTreeWidth - 1)], u'#');
    ScrPutLineBuf(kRows, 0, u"beyond the list", nullptr);
    ScrPutLineBuf(-1, 0, u"before the list", nullptr);
    EXPECT_EQ(rows_[size_t(kRows) * gTreeLineStride], u'.')
        << "rows outside the list are left alone";
}

} // namespace
