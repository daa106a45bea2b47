// Bytes the console renderer writes per frame for typical screen changes on
// a 200 x 60 terminal, against the bytes of the changed cells' own text
// (their UTF-8), at each colour depth. A ratio near 1 means the frame is
// mostly the text itself; cursor moves, colours and brackets make the rest.
// A list scrolled by one line is measured against the text of the one row
// that scrolls in, since that row is all a terminal has to be told besides
// the scroll itself.
#include "internal/console_render.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 60;
constexpr int kColumns = 200;

uint32_t Cell(uint32_t unit, uint16_t attribute) { return unit | (uint32_t(attribute) << 16); }

void Put(std::vector<uint32_t>& frame, int columns, int row, int column, const std::u16string& text,
         uint16_t attribute) {
    for (size_t i = 0; i < text.size() && column + int(i) < columns; i++)
        frame[size_t(row) * columns + column + i] = Cell(text[i], attribute);
}

size_t Utf8Length(uint32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : 3; }

// A file-manager-like screen: a frame of box lines, a tree on the left and a
// file list on the right, a highlighted row and three command lines.
std::vector<uint32_t> Screen() {
    std::vector<uint32_t> frame(size_t(kRows) * kColumns, Cell(' ', 0x17));
    auto put = [&](int row, int column, const std::u16string& text, uint16_t attribute) {
        Put(frame, kColumns, row, column, text, attribute);
    };
    for (int c = 0; c < kColumns; c++) {
        put(0, c, u"\u2550", 0x1B);
        put(kRows - 4, c, u"\u2550", 0x1B);
    }
    for (int r = 1; r < kRows - 4; r++) {
        put(r, 0, u"\u2551", 0x1B);
        put(r, 60, u"\u2551", 0x1B);
        put(r, kColumns - 1, u"\u2551", 0x1B);
        put(r, 2, u"\u251c\u2500\u2500 directory " + std::u16string(1, char16_t(u'a' + r % 26)), 0x17);
        put(r, 62, u"file-" + std::u16string(1, char16_t(u'a' + r % 26)) + u".txt", 0x17);
        put(r, 120, u"12,345,678  2024-05-01  12:34", 0x17);
    }
    put(kRows - 3, 0, u"COMMANDS  Attributes Copy Delete Filespec Log Move Print Rename", 0x1F);
    put(kRows - 2, 0, u"Tag Untag View Wash eXecute", 0x1F);
    put(kRows - 1, 0, u"\u25c4\u2500\u2518 ok   F1 help   Esc cancel", 0x1F);
    return frame;
}

// A 120 x 40 file list: a title row, 38 rows of entries starting with entry
// first and a status row. A boxed list has box lines in their own colour at
// either side of each entry, as the file window has; a plain one is all in
// one colour, as the viewer's text and the key tester's lines are.
constexpr int kListRows = 40;
constexpr int kListColumns = 120;

// Entry n of the list: names, sizes and dates that differ from row to row
// the way a real directory's do.
std::u16string ListEntry(int n) {
    static const char16_t* const kWords[] = {u"budget", u"notes", u"photo", u"index", u"setup",
                                             u"thesis", u"backup", u"readme", u"invoice", u"map"};
    static const char16_t* const kKinds[] = {u".txt", u".pdf", u".jpg", u".tar.gz", u".c", u".md"};
    auto number = [](uint32_t v, size_t width) {
        std::u16string text;
        do {
            text.insert(0, 1, char16_t(u'0' + v % 10));
            v /= 10;
        } while (v != 0);
        while (text.size() < width) text.insert(0, 1, u' ');
        return text;
    };
    uint32_t h = uint32_t(n) * 2654435761u;
    std::u16string name = std::u16string(kWords[h % 10]) + u"-" + number(h % 997, 1) +
                          kKinds[(h >> 8) % 6];
    name.resize(28, u' ');
    return name + number(h % 9999991, 12) + u"  20" + number(10 + (h >> 4) % 15, 2) + u"-" +
           number(1 + (h >> 12) % 12, 2) + u"-" + number(10 + (h >> 16) % 18, 2) + u"  " +
           number(10 + (h >> 20) % 13, 2) + u":" + number(10 + (h >> 24) % 49, 2);
}

std::vector<uint32_t> ListScreen(int first, bool boxed) {
    std::vector<uint32_t> frame(size_t(kListRows) * kListColumns, Cell(' ', 0x17));
    Put(frame, kListColumns, 0, 0, u" /home/user/reports", 0x70);
    for (int r = 1; r <= 38; r++) {
        Put(frame, kListColumns, r, 2, ListEntry(first + r - 1), 0x17);
        if (boxed) {
            Put(frame, kListColumns, r, 0, u"\u2502", 0x1B);
            Put(frame, kListColumns, r, kListColumns - 1, u"\u2502", 0x1B);
        }
    }
    Put(frame, kListColumns, kListRows - 1, 0, u"F1 help  F3 view  F10 quit", 0x1F);
    return frame;
}

// The UTF-8 bytes of one row of a frame.
size_t RowTextBytes(const std::vector<uint32_t>& frame, int columns, int row) {
    size_t bytes = 0;
    for (int c = 0; c < columns; c++)
        bytes += Utf8Length(ConsoleDisplayChar(frame[size_t(row) * columns + c] & 0xFFFF));
    return bytes;
}

// The UTF-8 bytes of the cells that differ between two frames.
size_t TextBytes(const std::vector<uint32_t>& before, const std::vector<uint32_t>& after) {
    size_t bytes = 0;
    for (size_t i = 0; i < after.size(); i++)
        if (before.empty() || before[i] != after[i])
            bytes += Utf8Length(ConsoleDisplayChar(after[i] & 0xFFFF));
    return bytes;
}

struct Result {
    size_t frameBytes;
    double microseconds;
};

// Draws before, then measures the frame that turns it into after.
// Frames timed per case; --quick times one, to show the benchmark still runs.
int gRepeats = 200;

Result Measure(int depth, int rows, int columns, const std::vector<uint32_t>& before,
               const std::vector<uint32_t>& after) {
    RENDER_STATE state;
    state.depth = depth;
    ConsoleDefaultPalette(state.palette);
    ConsoleShadowResize(&state, rows, columns);
    OUTPUT_BUFFER out;
    const int repeats = gRepeats;
    size_t bytes = 0;
    std::chrono::steady_clock::duration elapsed{};
    for (int i = 0; i < repeats; i++) {
        // Each round starts from the same terminal state: before, painted on
        // a screen nothing was known of.
        ConsoleShadowInvalidate(&state);
        if (!before.empty()) {
            out.length = 0;
            ConsoleEmitFrame(&state, before.data(), -1, -1, false, -1, &out);
        }
        out.length = 0;
        auto start = std::chrono::steady_clock::now();
        ConsoleEmitFrame(&state, after.data(), -1, -1, false, -1, &out);
        elapsed += std::chrono::steady_clock::now() - start;
        bytes = out.length;
    }
    ConsoleShadowFree(&state);
    ConsoleOutFree(&out);
    double us = std::chrono::duration<double, std::micro>(elapsed).count() / repeats;
    return {bytes, us};
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        if (std::string(argv[i]) == "--quick") {
            gRepeats = 1;
        } else {
            std::fprintf(stderr, "usage: frame_bytes_bench [--quick]\n");
            return 2;
        }
    }
    const std::vector<uint32_t> screen = Screen();
    struct Case {
        const char* name;
        std::function<std::vector<uint32_t>()> after;
        bool fromScratch; // a full repaint: nothing is on the terminal yet
    };
    const Case cases[] = {
        {"one cell", [&] {
             auto f = screen;
             f[size_t(10) * kColumns + 70] = Cell('X', 0x1E);
             return f;
         }, false},
        {"one word recoloured", [&] {
             auto f = screen;
             for (int c = 62; c < 72; c++) f[size_t(12) * kColumns + c] = (f[size_t(12) * kColumns + c] & 0xFFFF) | (0x70u << 16);
             return f;
         }, false},
        {"one line of text", [&] {
             auto f = screen;
             for (int c = 1; c < kColumns - 1; c++)
                 f[size_t(20) * kColumns + c] = Cell(u'a' + (c % 26), 0x17);
             return f;
         }, false},
        {"line with one-cell gaps", [&] {
             // Every second cell changes; the cells between keep their text
             // and the colours the changed ones are drawn in.
             auto f = screen;
             for (int c = 1; c < kColumns - 1; c += 2)
                 f[size_t(20) * kColumns + c] = Cell(u'a' + (c % 26), 0x17);
             return f;
         }, false},
        {"selection moves one row", [&] {
             auto f = screen;
             for (int c = 61; c < kColumns - 1; c++) {
                 f[size_t(5) * kColumns + c] = (f[size_t(5) * kColumns + c] & 0xFFFF) | (0x17u << 16);
                 f[size_t(6) * kColumns + c] = (f[size_t(6) * kColumns + c] & 0xFFFF) | (0x70u << 16);
             }
             return f;
         }, false},
        {"full repaint 200 x 60", [&] { return screen; }, true},
    };
    std::printf("%-26s %6s %12s %12s %8s %12s\n", "change", "depth", "frame bytes", "text bytes",
                "ratio", "us/frame");
    for (const Case& c : cases) {
        std::vector<uint32_t> after = c.after();
        std::vector<uint32_t> before = c.fromScratch ? std::vector<uint32_t>() : screen;
        size_t text = TextBytes(before, after);
        for (int depth : {16, 256, 24}) {
            Result r = Measure(depth, kRows, kColumns, before, after);
            std::printf("%-26s %6d %12zu %12zu %8.2f %12.1f\n", c.name, depth, r.frameBytes, text,
                        text ? double(r.frameBytes) / double(text) : 0.0, r.microseconds);
        }
    }

    // The list scrolls by one line: the text column is the row that comes in.
    std::printf("\n%-26s %6s %12s %12s %8s %12s  %s\n", "120 x 40 list", "depth", "frame bytes",
                "row bytes", "ratio", "us/frame", "goal: at most 2 rows");
    for (bool boxed : {false, true}) {
        const std::vector<uint32_t> list = ListScreen(1, boxed), scrolled = ListScreen(2, boxed);
        const size_t row = RowTextBytes(scrolled, kListColumns, 38);
        for (int depth : {16, 256, 24}) {
            Result r = Measure(depth, kListRows, kListColumns, list, scrolled);
            double ratio = double(r.frameBytes) / double(row);
            std::printf("%-26s %6d %12zu %12zu %8.2f %12.1f  %s\n",
                        boxed ? "boxed, scrolled one line" : "plain, scrolled one line", depth,
                        r.frameBytes, row, ratio, r.microseconds, ratio <= 2.0 ? "met" : "not met");
        }
    }
    return 0;
}
