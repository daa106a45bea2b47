// Differential test of the frame builder: thousands of random frames (wide
// characters, combining marks, controls, colour changes, cursor moves,
// resizes, regions of rows scrolled up or down, rows changed in every second
// or third cell) are turned into bytes and fed to libvterm, which must then
// show every frame cell for cell, in its colours, with the cursor where the
// frame puts it.
#include "internal/console_render.h"
#include "terminal_harness.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

uint32_t Cell(uint32_t unit, uint16_t attribute) { return unit | (uint32_t(attribute) << 16); }

uint32_t AnsiNumber(uint32_t i) { return (i & 1) * 4 + (i & 2) + ((i >> 2) & 1); }

// Units whose display form libvterm gives the same width as the renderer,
// and units the renderer replaces by U+FFFD (those never reach libvterm).
struct Pool {
    std::vector<uint16_t> narrow, wide, replaced;
};

const Pool& Units() {
    static const Pool pool = [] {
        Pool p;
        std::vector<uint32_t> candidates;
        for (uint32_t u = 0; u < 0x600; u++) candidates.push_back(u);
        for (uint32_t u = 0x2000; u < 0x2800; u++) candidates.push_back(u);
        for (uint32_t u = 0x2E80; u < 0x3100; u++) candidates.push_back(u);
        for (uint32_t u = 0x4E00; u < 0x4F00; u++) candidates.push_back(u);
        for (uint32_t u = 0xAC00; u < 0xAD00; u++) candidates.push_back(u);
        for (uint32_t u = 0xD7F0; u < 0xE010; u++) candidates.push_back(u);
        for (uint32_t u = 0xFE00; u < 0x10000; u++) candidates.push_back(u);
        for (uint32_t u : candidates) {
            uint32_t shown = ConsoleDisplayChar(u);
            int width = ConsoleCharWidth(shown);
            if (width == 0 || shown == 0xFFFD) {
                p.replaced.push_back(uint16_t(u));
                continue;
            }
            if (qtest::VtScreen::Width(shown) != width) continue;
            (width == 2 ? p.wide : p.narrow).push_back(uint16_t(u));
        }
        return p;
    }();
    return pool;
}

// What the terminal must show for a frame row: the character of each cell
// and its width (0 for the right half of a wide character).
struct Expected {
    uint32_t shown;
    int width;
    uint16_t attribute;
};

std::vector<Expected> ExpectRow(const uint32_t* row, int columns) {
    std::vector<Expected> out(columns);
    for (int c = 0; c < columns; c++) {
        uint32_t unit = row[c] & 0xFFFF;
        uint16_t attribute = uint16_t(row[c] >> 16);
        uint32_t shown = ConsoleDisplayChar(unit);
        int width = ConsoleCharWidth(shown);
        // The space after a wide character counts in the bits the terminal shows.
        uint16_t visible = attribute & RENDER_ATTRIBUTE_MASK;
        bool pair = width == 2 && c + 1 < columns && (row[c + 1] & 0xFFFF) == ' ' &&
                    ((row[c + 1] >> 16) & RENDER_ATTRIBUTE_MASK) == visible;
        if (width == 2 && !pair) width = 0;
        if (width == 0) {
            shown = 0xFFFD;
            width = 1;
        }
        out[c] = {shown, width, uint16_t(attribute & RENDER_ATTRIBUTE_MASK)};
        if (width == 2) out[++c] = {0, 0, uint16_t(attribute & RENDER_ATTRIBUTE_MASK)};
    }
    return out;
}

bool SameColour(const VTermColor& got, int depth, const COLORREF* palette, uint32_t index) {
    if (depth == 24) {
        COLORREF c = palette[index];
        return VTERM_COLOR_IS_RGB(&got) && got.rgb.red == (c & 0xFF) &&
               got.rgb.green == ((c >> 8) & 0xFF) && got.rgb.blue == ((c >> 16) & 0xFF);
    }
    if (!VTERM_COLOR_IS_INDEXED(&got)) return false;
    if (depth == 256) return got.indexed.idx == ConsoleRgbTo256(palette[index]);
    return got.indexed.idx == AnsiNumber(index & 7) + (index & 8);
}

class RendererDifferential : public ::testing::TestWithParam<int> {};

TEST_P(RendererDifferential, RandomFramesEndEqualCellForCell) {
    const int depth = GetParam();
    const Pool& pool = Units();
    ASSERT_GT(pool.narrow.size(), 500u);
    ASSERT_GT(pool.wide.size(), 100u);
    std::mt19937 rng(12345 + depth);
    auto pick = [&](const std::vector<uint16_t>& v) { return v[rng() % v.size()]; };
    auto chance = [&](int percent) { return int(rng() % 100) < percent; };

    int rows = 12, columns = 40;
    struct Owned {
        RENDER_STATE state;
        OUTPUT_BUFFER out;
        ~Owned() {
            ConsoleShadowFree(&state);
            ConsoleOutFree(&out);
        }
    } owned;
    RENDER_STATE& state = owned.state;
    OUTPUT_BUFFER& out = owned.out;
    state.depth = depth;
    ConsoleDefaultPalette(state.palette);
    ASSERT_TRUE(ConsoleShadowResize(&state, rows, columns));
    std::vector<uint32_t> frame(size_t(rows) * columns, Cell(' ', 7));
    qtest::VtScreen screen(rows, columns);
    screen.Feed("\x1b[?7l");
    int cursorColumn = 0, cursorRow = 0, shape = -1;
    bool shown = true;
    int resizes = 0, scrolls = 0, gapsWritten = 0;
    // A row last filled in one attribute, for changes with gaps between them.
    int uniformRow = -1;
    uint16_t uniformAttribute = 7;

    for (int iteration = 0; iteration < 2500; iteration++) {
        if (chance(2)) {
            rows = 3 + int(rng() % 20);
            columns = 2 + int(rng() % 60);
            ASSERT_TRUE(ConsoleShadowResize(&state, rows, columns));
            frame.assign(size_t(rows) * columns, Cell(' ', 7));
            screen.Resize(rows, columns);
            resizes++;
            uniformRow = -1;
        }
        if (chance(15)) {
            // Rows top..bottom move by shift lines; the lines that come in are
            // blank or text, in any colours.
            int top = int(rng() % (rows - 1));
            int bottom = top + 1 + int(rng() % (rows - 1 - top));
            int lines = 1 + int(rng() % (bottom - top));
            int shift = chance(50) ? lines : -lines;
            std::vector<uint32_t> before = frame;
            uint16_t fill = uint16_t(rng() & 0xFF);
            bool text = chance(50);
            for (int r = top; r <= bottom; r++) {
                int from = r + shift;
                for (int c = 0; c < columns; c++) {
                    uint32_t& cell = frame[size_t(r) * columns + c];
                    if (from >= top && from <= bottom)
                        cell = before[size_t(from) * columns + c];
                    else
                        cell = Cell(text && chance(70) ? pick(pool.narrow) : ' ', fill);
                }
            }
            uniformRow = -1;
        }
        uint16_t attribute = uint16_t(rng() & 0xFF);
        int changes = chance(10) ? rows * columns : int(rng() % 30);
        for (int i = 0; i < changes; i++) {
            if (chance(20)) attribute = uint16_t((rng() & 0xFF) | (chance(20) ? 0x8000 : 0) |
                                                 (chance(20) ? 0x4000 : 0) | (rng() & 0x0700));
            int r = int(rng() % rows), c = int(rng() % columns);
            uint32_t& cell = frame[size_t(r) * columns + c];
            int kind = int(rng() % 100);
            if (kind < 60) {
                cell = Cell(pick(pool.narrow), attribute);
            } else if (kind < 80) {
                cell = Cell(pick(pool.wide), attribute);
                if (c + 1 < columns && chance(80)) frame[size_t(r) * columns + c + 1] = Cell(' ', attribute);
            } else if (kind < 90) {
                cell = Cell(pick(pool.replaced), attribute);
            } else {
                cell = Cell(' ', attribute);
            }
        }
        // Every second or third cell of the uniform row changes, in the
        // row's attribute, so that the cells between are in the colours the
        // terminal has just been told.
        int gapRow = -1, gapStart = 0;
        if (uniformRow >= 0 && uniformRow < rows && chance(30)) {
            gapRow = uniformRow;
            gapStart = int(rng() % 3);
            int stride = 2 + int(rng() % 2);
            for (int c = gapStart; c < columns; c += stride)
                frame[size_t(gapRow) * columns + c] = Cell(u'a' + rng() % 26, uniformAttribute);
            uniformRow = -1;
        } else if (chance(10)) {
            uniformRow = int(rng() % rows);
            uniformAttribute = uint16_t(rng() & 0xFF);
            for (int c = 0; c < columns; c++)
                frame[size_t(uniformRow) * columns + c] = Cell(u'a' + rng() % 26, uniformAttribute);
        }
        if (chance(30)) {
            cursorColumn = int(rng() % (columns + 2)) - 1;
            cursorRow = int(rng() % (rows + 2)) - 1;
        }
        if (chance(10)) shown = !shown;
        if (chance(5)) shape = int(rng() % 8) - 1;

        out.length = 0;
        out.dropped = false;
        ConsoleEmitFrame(&state, frame.data(), cursorColumn, cursorRow, shown, shape, &out);
        ASSERT_FALSE(out.dropped);
        screen.Feed(out.data, out.length);
        std::string bytes(out.data, out.length);
        if (bytes.find("\x1b[r") != std::string::npos) scrolls++;
        if (gapRow >= 0 && gapStart + 2 < columns) {
            // The first changed cell, the unchanged one after it and the next
            // changed one, written in a row.
            const uint32_t* row = &frame[size_t(gapRow) * columns + gapStart];
            std::string run = {char(row[0]), char(row[1]), char(row[2])};
            if ((row[1] & 0xFFFF) >= 'a' && (row[1] & 0xFFFF) <= 'z' &&
                bytes.find(run) != std::string::npos)
                gapsWritten++;
        }

        for (int r = 0; r < rows; r++) {
            std::vector<Expected> expected = ExpectRow(&frame[size_t(r) * columns], columns);
            for (int c = 0; c < columns; c++) {
                qtest::VtCell got = screen.Cell(r, c);
                const Expected& e = expected[c];
                std::string where = "iteration " + std::to_string(iteration) + " row " +
                                    std::to_string(r) + " column " + std::to_string(c);
                if (e.width == 0) {
                    ASSERT_EQ(got.width, 0) << where;
                    continue;
                }
                ASSERT_EQ(got.width, e.width) << where;
                ASSERT_EQ(got.text, std::u32string(1, char32_t(e.shown == ' ' ? ' ' : e.shown)))
                    << where;
                ASSERT_TRUE(SameColour(got.fg, depth, state.palette, e.attribute & 15)) << where;
                ASSERT_TRUE(SameColour(got.bg, depth, state.palette, (e.attribute >> 4) & 15))
                    << where;
                ASSERT_EQ(got.underline, (e.attribute & COMMON_LVB_UNDERSCORE) != 0) << where;
                ASSERT_EQ(got.reverse, (e.attribute & COMMON_LVB_REVERSE_VIDEO) != 0) << where;
            }
        }
        bool inside = shown && cursorColumn >= 0 && cursorRow >= 0 && cursorColumn < columns &&
                      cursorRow < rows;
        ASSERT_EQ(screen.CursorVisible(), inside) << "iteration " << iteration;
        if (inside) {
            ASSERT_EQ(screen.CursorRow(), cursorRow) << "iteration " << iteration;
            ASSERT_EQ(screen.CursorColumn(), cursorColumn) << "iteration " << iteration;
        }
    }
    EXPECT_GT(resizes, 10);
    EXPECT_GT(scrolls, 50) << "frames sent as a scroll";
    EXPECT_GT(gapsWritten, 20) << "gaps written as text";
}

INSTANTIATE_TEST_SUITE_P(Depths, RendererDifferential, ::testing::Values(16, 256, 24));

} // namespace
