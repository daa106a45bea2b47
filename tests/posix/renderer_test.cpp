// The frame builder without a terminal: the exact bytes of a frame, colour
// sequences at the three depths, the 256-colour mapping, the display form
// and width of characters, wide characters, the cursor, scrolled regions,
// short gaps written as text, and the output buffer's growth and failure.
#include "internal/console_render.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

uint32_t Cell(uint32_t unit, uint16_t attribute) { return unit | (uint32_t(attribute) << 16); }

// A renderer's state and frame of rows x columns with a blank frame (attribute
// 7) already drawn and the cursor hidden: every cell and the terminal's
// attribute are known.
struct Renderer {
    RENDER_STATE state;
    OUTPUT_BUFFER out;
    std::vector<uint32_t> frame;

    Renderer(int rows, int columns, int depth = 16) {
        state.depth = depth;
        ConsoleDefaultPalette(state.palette);
        EXPECT_TRUE(ConsoleShadowResize(&state, rows, columns));
        frame.assign(size_t(rows) * columns, Cell(' ', 7));
        Emit();
    }
    ~Renderer() {
        ConsoleShadowFree(&state);
        ConsoleOutFree(&out);
    }
    uint32_t& At(int row, int column) { return frame[size_t(row) * state.columns + column]; }
    void Put(int row, int column, const std::u16string& text, uint16_t attribute) {
        for (size_t i = 0; i < text.size(); i++) At(row, column + int(i)) = Cell(text[i], attribute);
    }
    std::string Emit(int cursorColumn = -1, int cursorRow = -1, bool shown = false, int shape = -1) {
        out.length = 0;
        out.dropped = false;
        ConsoleEmitFrame(&state, frame.data(), cursorColumn, cursorRow, shown, shape, &out);
        return std::string(out.data ? out.data : "", out.length);
    }
};

std::string Sgr(int depth, uint16_t attribute) {
    RENDER_STATE state;
    state.depth = depth;
    ConsoleDefaultPalette(state.palette);
    OUTPUT_BUFFER out;
    ConsoleOutSgr(&state, attribute, &out);
    std::string s(out.data, out.length);
    ConsoleOutFree(&out);
    return s;
}

TEST(Renderer, OneChangedCellGivesExactlyItsBytes) {
    Renderer r(25, 80);
    r.Put(2, 5, u"X", 0x1E);
    EXPECT_EQ(r.Emit(), "\x1b[?2026h\x1b[3;6H\x1b[0;93;44mX\x1b[?2026l");
    EXPECT_EQ(r.Emit(), "") << "the same frame again writes nothing, not even the brackets";
}

TEST(Renderer, SgrSequences) {
    struct Case {
        const char* what;
        int depth;
        uint16_t attribute;
        const char* expected;
    };
    const Case cases[] = {
        {"yellow on blue", 16, 0x1E, "\x1b[0;93;44m"},
        {"reverse video appends 7", 16, 0x1E | COMMON_LVB_REVERSE_VIDEO, "\x1b[0;93;44;7m"},
        {"underscore before reverse", 16, 0x0F | 0xC000, "\x1b[0;97;40;4;7m"},
        {"light grey on black", 16, 0x07, "\x1b[0;37;40m"},
        {"red and blue bits swap: console red 4 is ANSI 1", 16, 0x0C, "\x1b[0;91;40m"},
        {"bright background", 16, 0x90, "\x1b[0;30;104m"},
        {"256 colours through the palette", 256, 0x1E, "\x1b[0;38;5;229;48;5;26m"},
        {"24-bit colours of the palette", 24, 0x1E,
         "\x1b[0;38;2;249;241;165;48;2;0;55;218m"},
        {"24-bit with underscore", 24, 0x8007,
         "\x1b[0;38;2;204;204;204;48;2;12;12;12;4m"},
    };
    for (const Case& c : cases) EXPECT_EQ(Sgr(c.depth, c.attribute), c.expected) << c.what;
}

TEST(Renderer, RgbTo256) {
    struct Case {
        const char* what;
        int r, g, b;
        int expected;
    };
    const Case cases[] = {
        {"mid grey is on the grey ramp", 128, 128, 128, 244},
        {"pure red is in the cube", 255, 0, 0, 196},
        {"black is cube 16", 0, 0, 0, 16},
        {"white is cube 231", 255, 255, 255, 231},
        {"near black goes to the ramp's first grey", 8, 8, 8, 232},
        {"a tie goes to the cube", 1, 56, 65, 23},
        {"channel 47 is level 0, 48 level 1", 47, 48, 255, 16 + 0 + 6 + 5},
        {"channel 114 is level 1", 0, 114, 255, 16 + 6 + 5},
        {"channel 115 is level 2", 0, 115, 255, 16 + 12 + 5},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ConsoleRgbTo256(COLORREF(c.r | (c.g << 8) | (c.b << 16))), c.expected) << c.what;
}

TEST(Renderer, DisplayFormOfUnits) {
    struct Case {
        uint32_t unit;
        uint32_t shown;
    };
    const Case cases[] = {
        {0x00, 0x20},   {0x01, 0x263A}, {0x0A, 0x25D9}, {0x1B, 0x2190}, {0x1F, 0x25BC},
        {0x20, 0x20},   {'A', 'A'},     {0x7F, 0x2302}, {0x80, 0xFFFD}, {0x9F, 0xFFFD},
        {0xA0, 0xA0},   {0xD800, 0xFFFD}, {0xDFFF, 0xFFFD}, {0xE000, 0xE000}, {0x4E00, 0x4E00},
    };
    for (const Case& c : cases) EXPECT_EQ(ConsoleDisplayChar(c.unit), c.shown) << std::hex << c.unit;
}

TEST(Renderer, CharacterWidths) {
    struct Case {
        uint32_t c;
        int width;
    };
    const Case cases[] = {
        {'a', 1},     {0x02FF, 1}, {0x0300, 0}, {0x036F, 0}, {0x0370, 1},  {0x05BF, 0},
        {0x05C0, 1},  {0x10FF, 1}, {0x1100, 2}, {0x115F, 2}, {0x1160, 0},  {0x11FF, 0},
        {0x1200, 1},  {0x200B, 0}, {0x2614, 2}, {0x2616, 1}, {0x2E80, 2},  {0x3029, 2},
        {0x302A, 0},  {0x302D, 0}, {0x302E, 2}, {0x303E, 2}, {0x303F, 1},  {0x3099, 0},
        {0x4E00, 2},  {0xAC00, 2}, {0xD7A3, 2}, {0xD7A4, 1}, {0xFE0F, 0},  {0xFE10, 2},
        {0xFEFF, 0},  {0xFF00, 2}, {0xFF60, 2}, {0xFF61, 1}, {0xFFE6, 2},  {0xFFE7, 1},
        {0xFFFD, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(ConsoleCharWidth(c.c), c.width) << std::hex << c.c;
}

TEST(Renderer, CellsAreDrawnInTheirDisplayForm) {
    struct Case {
        const char* what;
        std::u16string text;
        const char* bytes; // what the frame sends for the text at row 0, column 0
    };
    const Case cases[] = {
        {"a control unit is its code page 437 picture", u"\x01", "\xe2\x98\xba"},
        {"a combining mark alone is U+FFFD", u"\u0301", "\xef\xbf\xbd"},
        {"a wide character and a space of its attribute: once over two columns", u"\u4e2d ",
         "\xe4\xb8\xad"},
        {"a wide character followed by anything else: U+FFFD, then the next cell", u"\u4e2dA",
         "\xef\xbf\xbd" "A"},
    };
    for (const Case& c : cases) {
        Renderer r(2, 10);
        r.Put(0, 0, c.text, 0x07);
        std::string expected = std::string("\x1b[?2026h\x1b[1;1H") + c.bytes + "\x1b[?2026l";
        EXPECT_EQ(r.Emit(), expected) << c.what;
    }
}

TEST(Renderer, WideCharacterAtTheLastColumnIsReplaced) {
    Renderer r(1, 4);
    r.Put(0, 3, u"\u4e2d", 0x07);
    EXPECT_EQ(r.Emit(), "\x1b[?2026h\x1b[1;4H\xef\xbf\xbd\x1b[?2026l");
}

TEST(Renderer, HalvesOfWideCharactersAreRedrawn) {
    // The right half changes: the wide character is drawn again (now without
    // its space, as U+FFFD) before the new right cell.
    Renderer r(1, 6);
    r.Put(0, 1, u"\u4e2d ", 0x07);
    r.Emit();
    r.Put(0, 2, u"B", 0x07);
    EXPECT_EQ(r.Emit(), "\x1b[?2026h\x1b[1;2H\xef\xbf\xbd" "B\x1b[?2026l");

    // The left half is overwritten by a narrow character: the terminal blanks
    // the right half, so that cell is sent again.
    Renderer s(1, 6);
    s.Put(0, 1, u"\u4e2d ", 0x07);
    s.Emit();
    s.Put(0, 1, u"A", 0x07);
    EXPECT_EQ(s.Emit(), "\x1b[?2026h\x1b[1;2HA \x1b[?2026l");
}

TEST(Renderer, OnlyTheVisibleAttributeBitsCount) {
    Renderer r(1, 4);
    r.Put(0, 0, u" ", 0x07 | COMMON_LVB_LEADING_BYTE | COMMON_LVB_GRID_HORIZONTAL);
    EXPECT_EQ(r.Emit(), "");

    // A wide character and a space that differ only in bits the terminal
    // does not show are one wide character, as they are when the bits are
    // the same: the bits cannot change what the terminal must show.
    Renderer wide(1, 4);
    wide.Put(0, 1, u"\u4e2d", 0x07 | COMMON_LVB_LEADING_BYTE);
    wide.Put(0, 2, u" ", 0x07);
    EXPECT_EQ(wide.Emit(), "\x1b[?2026h\x1b[1;2H\xe4\xb8\xad\x1b[?2026l");
    wide.Put(0, 1, u"\u4e2d", 0x07);
    wide.Put(0, 2, u" ", 0x07 | COMMON_LVB_TRAILING_BYTE);
    EXPECT_EQ(wide.Emit(), "");
}

TEST(Renderer, RunsOfCellsNeedOneMoveAndOneSgr) {
    Renderer r(3, 20);
    r.Put(1, 2, u"abc", 0x1E);
    r.Put(1, 6, u"d", 0x1E);
    EXPECT_EQ(r.Emit(), "\x1b[?2026h\x1b[2;3H\x1b[0;93;44mabc\x1b[2;7Hd\x1b[?2026l");
}

// Rows 1..4 of a 6 x 10 screen hold "bbbbbbbbbb" to "eeeeeeeeee" (row r the
// letter 'a' + r); the frame shows them moved by shift lines inside the region
// top..bottom, with lines of 'z' coming in.
struct ScrollCase {
    const char* what;
    int top, bottom, shift;
    const char* expected;
};

std::string ScrollBytes(const ScrollCase& c) {
    Renderer r(6, 10);
    for (int row = 0; row < 6; row++) r.Put(row, 0, std::u16string(10, char16_t(u'a' + row)), 0x07);
    r.Emit();
    std::vector<uint32_t> before = r.frame;
    for (int row = c.top; row <= c.bottom; row++) {
        int from = row + c.shift;
        bool incoming = from < c.top || from > c.bottom;
        for (int column = 0; column < 10; column++)
            r.At(row, column) = incoming ? Cell('z', 0x07) : before[size_t(from) * 10 + column];
    }
    return r.Emit();
}

TEST(RendererScroll, ShiftedRowsAreSentAsAScrollOfTheirRegion) {
    const ScrollCase cases[] = {
        {"up one line: region set, a line feed on its bottom line, the new line, region reset",
         1, 4, 1, "\x1b[?2026h\x1b[2;5r\x1b[5;1H\nzzzzzzzzzz\x1b[r\x1b[?2026l"},
        {"down one line: a reverse index on the region's top line", 1, 4, -1,
         "\x1b[?2026h\x1b[2;5r\x1b[2;1H\x1bMzzzzzzzzzz\x1b[r\x1b[?2026l"},
        {"up two lines from the top of the screen: both new lines drawn", 0, 5, 2,
         "\x1b[?2026h\x1b[1;6r\x1b[6;1H\n\n\x1b[5;1Hzzzzzzzzzz\x1b[6;1Hzzzzzzzzzz\x1b[r"
         "\x1b[?2026l"},
        {"down two lines at the bottom of the screen", 2, 5, -2,
         "\x1b[?2026h\x1b[3;6r\x1b[3;1H\x1bM\x1bMzzzzzzzzzz\x1b[4;1Hzzzzzzzzzz\x1b[r\x1b[?2026l"},
        {"down one line from the top: setting the region leaves the cursor there", 0, 3, -1,
         "\x1b[?2026h\x1b[1;4r\x1bMzzzzzzzzzz\x1b[r\x1b[?2026l"},
    };
    for (const ScrollCase& c : cases) EXPECT_EQ(ScrollBytes(c), c.expected) << c.what;
}

TEST(RendererScroll, ShadowFollowsTheScroll) {
    // After the scroll the frame is on the terminal: the same frame again
    // sends nothing, and a change on a moved row is drawn at its new place.
    Renderer r(6, 10);
    for (int row = 0; row < 6; row++) r.Put(row, 0, std::u16string(10, char16_t(u'a' + row)), 0x07);
    r.Emit();
    for (int row = 1; row <= 3; row++)
        r.Put(row, 0, std::u16string(10, char16_t(u'a' + row + 1)), 0x07);
    r.Put(4, 0, u"zzzzzzzzzz", 0x07);
    ASSERT_NE(r.Emit().find("\x1b[2;5r"), std::string::npos);
    EXPECT_EQ(r.Emit(), "");
    r.Put(2, 4, u"X", 0x07);
    EXPECT_EQ(r.Emit(), "\x1b[?2026h\x1b[3;5HX\x1b[?2026l");
}

TEST(RendererScroll, ScrolledInLinesAreDrawnWholeInTheirColours) {
    // The terminal fills the new line with blanks in a colour of its own
    // choosing, so even blanks that match what the row showed before are sent.
    Renderer r(6, 10);
    for (int row = 0; row < 5; row++) r.Put(row, 0, std::u16string(10, char16_t(u'a' + row)), 0x1E);
    r.Emit();
    for (int row = 0; row < 4; row++) r.Put(row, 0, std::u16string(10, char16_t(u'b' + row)), 0x1E);
    r.Put(4, 0, u"          ", 0x07);
    EXPECT_EQ(r.Emit(), "\x1b[?2026h\x1b[1;5r\x1b[5;1H\n\x1b[0;37;40m          \x1b[r\x1b[?2026l");
}

TEST(RendererScroll, NoScrollWhenItSavesNothing) {
    // Rows 0..2 show what rows 1..3 showed, but each differs from its own
    // old text in one cell only: three cells cost less than a scroll and a
    // whole new row.
    Renderer r(6, 10);
    for (int row = 0; row < 6; row++)
        r.Put(row, 0, u"aaaaaaaaa" + std::u16string(1, char16_t(u'a' + row)), 0x07);
    r.Emit();
    for (int row = 0; row < 3; row++) r.Put(row, 9, std::u16string(1, char16_t(u'b' + row)), 0x07);
    EXPECT_EQ(r.Emit(), "\x1b[?2026h\x1b[1;10Hb\x1b[2;10Hc\x1b[3;10Hd\x1b[?2026l");

    // Rows the terminal is not known to show are never the source of a
    // scroll: everything is drawn.
    Renderer s(6, 10);
    for (int row = 0; row < 6; row++) s.Put(row, 0, std::u16string(10, char16_t(u'a' + row)), 0x07);
    s.Emit();
    ConsoleShadowInvalidate(&s.state);
    for (int row = 0; row < 5; row++) s.Put(row, 0, std::u16string(10, char16_t(u'b' + row)), 0x07);
    std::string bytes = s.Emit();
    EXPECT_EQ(bytes.find("r\x1b"), std::string::npos) << bytes;
    EXPECT_EQ(s.Emit(), "");
}

TEST(Renderer, ShortGapsInTheCurrentColoursAreWrittenAsText) {
    struct Placed {
        int column;
        std::u16string text;
        uint16_t attribute;
    };
    struct Case {
        const char* what;
        std::vector<Placed> before, after; // row 0 of a 1 x 20 screen
        const char* expected;
    };
    const Case cases[] = {
        {"a one-cell gap is one byte instead of a move", {}, {{2, u"a", 7}, {4, u"b", 7}},
         "\x1b[1;3Ha b"},
        {"six cells are shorter than the seven bytes of the move", {},
         {{2, u"a", 7}, {9, u"b", 7}}, "\x1b[1;3Ha      b"},
        {"eight cells are as long as the move: moved", {}, {{2, u"a", 7}, {11, u"b", 7}},
         "\x1b[1;3Ha\x1b[1;12Hb"},
        {"a gap in other colours needs its own SGR: moved", {{3, u"x", 0x1E}},
         {{2, u"a", 7}, {4, u"b", 7}}, "\x1b[1;3H\x1b[0;37;40ma\x1b[1;5Hb"},
        {"the current colours need not be the frame's default", {{3, u"x", 0x1E}},
         {{2, u"a", 0x1E}, {4, u"b", 0x1E}}, "\x1b[1;3Haxb"},
        {"a gap is written in its display form", {{3, u"\u2502", 7}},
         {{2, u"a", 7}, {4, u"b", 7}}, "\x1b[1;3Ha\xe2\x94\x82" "b"},
        {"two three-byte cells are as long as the move", {{3, u"\u2502\u2502", 7}},
         {{2, u"a", 7}, {5, u"b", 7}}, "\x1b[1;3Ha\x1b[1;6Hb"},
        {"a wide character in the gap is never half written", {{3, u"\u4e2d ", 7}},
         {{2, u"a", 7}, {5, u"b", 7}}, "\x1b[1;3Ha\x1b[1;6Hb"},
    };
    for (const Case& c : cases) {
        Renderer r(1, 20);
        for (const Placed& p : c.before) r.Put(0, p.column, p.text, p.attribute);
        r.Emit();
        for (const Placed& p : c.after) r.Put(0, p.column, p.text, p.attribute);
        EXPECT_EQ(r.Emit(), std::string("\x1b[?2026h") + c.expected + "\x1b[?2026l") << c.what;
        EXPECT_EQ(r.Emit(), "") << c.what;
    }
}

TEST(Renderer, Cursor) {
    Renderer r(5, 10);
    EXPECT_EQ(r.Emit(3, 2, true), "\x1b[3;4H\x1b[?25h") << "no cells changed: no brackets";
    EXPECT_EQ(r.Emit(3, 2, true), "");
    r.Put(0, 0, u"x", 0x07);
    EXPECT_EQ(r.Emit(3, 2, true), "\x1b[?2026h\x1b[?25l\x1b[1;1Hx\x1b[3;4H\x1b[?25h\x1b[?2026l")
        << "hidden while cells change, shown again at its place";
    EXPECT_EQ(r.Emit(3, 2, false), "\x1b[?25l");
    EXPECT_EQ(r.Emit(10, 2, true), "") << "outside the screen the cursor stays hidden";
}

TEST(Renderer, CursorShapes) {
    Renderer r(2, 4);
    EXPECT_EQ(r.Emit(-1, -1, false, 5), "\x1b[5 q");
    EXPECT_EQ(r.Emit(-1, -1, false, 5), "");
    EXPECT_EQ(r.Emit(-1, -1, false, -1), "\x1b[0 q") << "back to the terminal's own shape";
    EXPECT_EQ(r.Emit(-1, -1, false, -1), "");
    ConsoleShadowInvalidate(&r.state);
    EXPECT_EQ(r.state.shapeSent, -1);
    r.Emit(-1, -1, false, 2);
    ConsoleShadowInvalidate(&r.state);
    EXPECT_EQ(r.state.shapeSent, 2) << "forgetting the screen keeps the shape sent";
}

TEST(Renderer, ResizeRepaintsEverything) {
    Renderer r(2, 3);
    ASSERT_TRUE(ConsoleShadowResize(&r.state, 2, 4));
    r.frame.assign(8, Cell(' ', 7));
    std::string bytes = r.Emit();
    EXPECT_EQ(bytes, "\x1b[?2026h\x1b[?25l\x1b[1;1H\x1b[0;37;40m    \x1b[2;1H    \x1b[?2026l");
}

TEST(Renderer, AbsurdShadowSizeFailsAndKeepsTheOldShadow) {
    Renderer r(2, 3);
    uint32_t* old = r.state.shadow;
    EXPECT_FALSE(ConsoleShadowResize(&r.state, 9999, 100000));
    EXPECT_EQ(r.state.shadow, old);
    EXPECT_EQ(r.state.rows, 2);
    EXPECT_EQ(r.state.columns, 3);
}

TEST(RendererOutput, GrowthSteps) {
    struct Case {
        const char* what;
        size_t first, second;
        size_t capacity;
    };
    const Case cases[] = {
        {"a small first append gets 4096", 10, 0, 4096},
        {"a first append above 4096 gets 8192", 5000, 0, 8192},
        {"above 8192: 8192 doubled until it fits", 20000, 0, 32768},
        {"a used buffer doubles", 4000, 200, 8192},
        {"a used buffer doubles until it fits", 4000, 30000, 65536},
    };
    for (const Case& c : cases) {
        OUTPUT_BUFFER out;
        std::string a(c.first, 'a'), b(c.second, 'b');
        ConsoleOutAppend(&out, a.data(), a.size());
        ConsoleOutAppend(&out, b.data(), b.size());
        EXPECT_EQ(out.capacity, c.capacity) << c.what;
        EXPECT_EQ(out.length, c.first + c.second) << c.what;
        EXPECT_FALSE(out.dropped);
        ConsoleOutFree(&out);
    }
}

TEST(RendererOutput, WhatDoesNotFitIsDroppedWithAllThatFollows) {
    OUTPUT_BUFFER out;
    out.limit = 4096;
    std::string a(4000, 'a'), b(200, 'b');
    ConsoleOutAppend(&out, a.data(), a.size());
    ConsoleOutAppend(&out, b.data(), b.size());
    EXPECT_TRUE(out.dropped);
    ConsoleOutAppend(&out, "c", 1);
    EXPECT_EQ(out.length, 4000u) << "the buffer keeps a clean prefix of the frame";
    ConsoleOutFree(&out);

    Renderer r(60, 200);
    ConsoleOutFree(&r.out);
    r.out.limit = 4096;
    for (int row = 0; row < 60; row++)
        for (int column = 0; column < 200; column++) r.At(row, column) = Cell('#', 0x1E);
    r.Emit();
    EXPECT_TRUE(r.out.dropped) << "a full repaint of 200 x 60 does not fit in 4096 bytes";
}

} // namespace
