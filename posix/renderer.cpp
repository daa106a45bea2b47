// The frame builder: compares a frame with what the terminal shows and
// appends only the bytes that change it (cursor moves, SGR colours, UTF-8
// text, cursor shape and visibility, synchronized-output brackets), plus the
// colour and character-width tables it needs. No terminal, clock or global
// state is touched here.
#include "internal/console_render.h"
#include "qposix_cells.h"

#include <cstdlib>
#include <cstring>

namespace {

// ---- characters -------------------------------------------------------------------

// Code page 437 pictures of the units 0..31.
constexpr uint16_t kControlPictures[32] = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9,
    0x2642, 0x2640, 0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7,
    0x25AC, 0x21A8, 0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,
};

struct Range {
    uint32_t first;
    uint32_t last;
};

constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x05BF, 0x05BF}, {0x05C1, 0x05C2},
    {0x05C4, 0x05C5}, {0x05C7, 0x05C7}, {0x0610, 0x061A}, {0x064B, 0x065F}, {0x0670, 0x0670},
    {0x06D6, 0x06DC}, {0x06DF, 0x06E4}, {0x06E7, 0x06E8}, {0x06EA, 0x06ED}, {0x0E31, 0x0E31},
    {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1160, 0x11FF}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF},
    {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x2064}, {0x20D0, 0x20FF}, {0x302A, 0x302D},
    {0x3099, 0x309A}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF},
};

constexpr Range kWide[] = {
    {0x1100, 0x115F}, {0x231A, 0x231B}, {0x2329, 0x232A}, {0x23E9, 0x23EC}, {0x23F0, 0x23F0},
    {0x23F3, 0x23F3}, {0x25FD, 0x25FE}, {0x2614, 0x2615}, {0x2648, 0x2653}, {0x267F, 0x267F},
    {0x2693, 0x2693}, {0x26A1, 0x26A1}, {0x26AA, 0x26AB}, {0x26BD, 0x26BE}, {0x26C4, 0x26C5},
    {0x26CE, 0x26CE}, {0x26D4, 0x26D4}, {0x26EA, 0x26EA}, {0x26F2, 0x26F3}, {0x26F5, 0x26F5},
    {0x26FA, 0x26FA}, {0x26FD, 0x26FD}, {0x2705, 0x2705}, {0x270A, 0x270B}, {0x2728, 0x2728},
    {0x274C, 0x274C}, {0x274E, 0x274E}, {0x2753, 0x2755}, {0x2757, 0x2757}, {0x2795, 0x2797},
    {0x27B0, 0x27B0}, {0x27BF, 0x27BF}, {0x2B1B, 0x2B1C}, {0x2B50, 0x2B50}, {0x2B55, 0x2B55},
    {0x2E80, 0x303E}, {0x3041, 0x33FF}, {0x3400, 0x4DBF}, {0x4E00, 0x9FFF}, {0xA000, 0xA4CF},
    {0xA960, 0xA97F}, {0xAC00, 0xD7A3}, {0xF900, 0xFAFF}, {0xFE10, 0xFE19}, {0xFE30, 0xFE6F},
    {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6},
};

static_assert(sizeof kZeroWidth / sizeof kZeroWidth[0] == 29);
static_assert(sizeof kWide / sizeof kWide[0] == 47);

template <size_t N> constexpr bool Sorted(const Range (&table)[N]) {
    for (size_t i = 0; i < N; i++) {
        if (table[i].first > table[i].last) return false;
        if (i > 0 && table[i - 1].last >= table[i].first) return false;
    }
    return true;
}
static_assert(Sorted(kZeroWidth) && Sorted(kWide), "binary search needs sorted, disjoint ranges");

template <size_t N> bool InRanges(const Range (&table)[N], uint32_t c) {
    size_t lo = 0, hi = N;
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (c < table[mid].first)
            hi = mid;
        else if (c > table[mid].last)
            lo = mid + 1;
        else
            return true;
    }
    return false;
}

// ---- byte output ----------------------------------------------------------------------

void Append(OUTPUT_BUFFER* out, const char* text) { ConsoleOutAppend(out, text, std::strlen(text)); }

// Appends the decimal digits of value to p; returns the end.
char* PutDecimal(char* p, uint32_t value) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) *p++ = digits[--n];
    return p;
}

char* PutText(char* p, const char* text) {
    while (*text) *p++ = *text++;
    return p;
}

// Puts "\x1b[" first ";" second final at p, leaving out a parameter of 0
// (second too when first is left out); returns the end.
char* PutCsi(char* p, int32_t first, int32_t second, char final) {
    p = PutText(p, "\x1b[");
    if (first > 0) p = PutDecimal(p, static_cast<uint32_t>(first));
    if (first > 0 && second > 0) {
        *p++ = ';';
        p = PutDecimal(p, static_cast<uint32_t>(second));
    }
    *p++ = final;
    return p;
}

void AppendCsi(OUTPUT_BUFFER* out, int32_t first, int32_t second, char final) {
    char text[32];
    ConsoleOutAppend(out, text, static_cast<size_t>(PutCsi(text, first, second, final) - text));
}

// Bytes of c (below U+10000) in UTF-8.
size_t Utf8Length(uint32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : 3; }

void AppendUtf8(OUTPUT_BUFFER* out, uint32_t c) {
    char bytes[3];
    const size_t n = Utf8Length(c);
    if (n == 1) {
        bytes[0] = static_cast<char>(c);
    } else if (n == 2) {
        bytes[0] = static_cast<char>(0xC0 | (c >> 6));
        bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        bytes[0] = static_cast<char>(0xE0 | (c >> 12));
        bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
    }
    ConsoleOutAppend(out, bytes, n);
}

uint32_t Red(COLORREF c) { return c & 0xFF; }
uint32_t Green(COLORREF c) { return (c >> 8) & 0xFF; }
uint32_t Blue(COLORREF c) { return (c >> 16) & 0xFF; }

// The ANSI colour number of a console colour index: the console counts blue
// as bit 0 and red as bit 2, ANSI the other way round.
uint32_t AnsiNumber(uint32_t index) { return (index & 1) * 4 + (index & 2) + ((index >> 2) & 1); }

uint32_t UnitOf(uint32_t cell) { return cell & 0xFFFF; }
uint16_t AttributeOf(uint32_t cell) { return static_cast<uint16_t>(cell >> 16); }
uint32_t Cell(uint32_t unit, uint16_t attribute) {
    return unit | (static_cast<uint32_t>(attribute) << 16);
}

bool Known(uint32_t shadowCell) { return AttributeOf(shadowCell) != RENDER_UNKNOWN_ATTRIBUTE; }

// A frame cell is unchanged when the terminal already shows its unit in its
// visible attribute bits. An unknown shadow cell never matches.
bool Unchanged(uint32_t frameCell, uint32_t shadowCell) {
    return UnitOf(frameCell) == UnitOf(shadowCell) &&
           (AttributeOf(frameCell) & RENDER_ATTRIBUTE_MASK) == AttributeOf(shadowCell);
}

void MakeUnknown(uint32_t* shadowCell) {
    *shadowCell = Cell(UnitOf(*shadowCell), RENDER_UNKNOWN_ATTRIBUTE);
}

bool ShadowCellWide(uint32_t shadowCell) {
    return Known(shadowCell) && ConsoleCharWidth(ConsoleDisplayChar(UnitOf(shadowCell))) == 2;
}

} // namespace

// ---- output buffer ------------------------------------------------------------------------

void ConsoleOutAppend(OUTPUT_BUFFER* out, const void* bytes, size_t count) {
    if (count == 0) return;
    // Once bytes were dropped the rest of the frame is dropped too, so that
    // what the buffer holds is always a clean prefix of the frame.
    if (out->dropped) return;
    if (out->capacity - out->length < count) {
        if (count > SIZE_MAX - out->length) {
            out->dropped = true;
            return;
        }
        size_t need = out->length + count;
        size_t capacity;
        if (out->capacity == 0) {
            capacity = need <= 4096 ? 4096 : 8192;
        } else {
            capacity = out->capacity;
        }
        while (capacity < need) {
            if (capacity > SIZE_MAX / 2) {
                out->dropped = true;
                return;
            }
            capacity *= 2;
        }
        if (out->limit != 0 && capacity > out->limit) {
            out->dropped = true;
            return;
        }
        char* data = static_cast<char*>(std::realloc(out->data, capacity));
        if (!data) {
            out->dropped = true;
            return;
        }
        out->data = data;
        out->capacity = capacity;
    }
    std::memcpy(out->data + out->length, bytes, count);
    out->length += count;
}

void ConsoleOutFree(OUTPUT_BUFFER* out) {
    std::free(out->data);
    out->data = nullptr;
    out->length = 0;
    out->capacity = 0;
    out->dropped = false;
}

// ---- shadow -------------------------------------------------------------------------------------

bool ConsoleShadowResize(RENDER_STATE* state, int32_t rows, int32_t columns) {
    if (rows < 1) rows = 1;
    if (columns < 1) columns = 1;
    size_t cells = static_cast<size_t>(rows) * static_cast<size_t>(columns);
    if (cells > CONSOLE_MAX_CELLS) return false;
    auto* shadow = static_cast<uint32_t*>(std::malloc(cells * sizeof(uint32_t)));
    if (!shadow) return false;
    std::free(state->shadow);
    state->shadow = shadow;
    state->rows = rows;
    state->columns = columns;
    ConsoleShadowInvalidate(state);
    return true;
}

void ConsoleShadowInvalidate(RENDER_STATE* state) {
    size_t cells = static_cast<size_t>(state->rows) * static_cast<size_t>(state->columns);
    if (state->shadow)
        for (size_t i = 0; i < cells; i++) state->shadow[i] = Cell(0x20, RENDER_UNKNOWN_ATTRIBUTE);
    state->cursorColumn = -1;
    state->cursorRow = -1;
    state->attribute = RENDER_UNKNOWN_ATTRIBUTE;
    state->cursorVisible = -1;
}

void ConsoleShadowFree(RENDER_STATE* state) {
    std::free(state->shadow);
    state->shadow = nullptr;
    state->rows = 0;
    state->columns = 0;
}

// ---- colours --------------------------------------------------------------------------------------

void ConsoleDefaultPalette(COLORREF palette[16]) {
    static constexpr uint8_t kRgb[16][3] = {
        {12, 12, 12},   {0, 55, 218},   {19, 161, 14},  {58, 150, 221},
        {197, 15, 31},  {136, 23, 152}, {193, 156, 0},  {204, 204, 204},
        {118, 118, 118}, {59, 120, 255}, {22, 198, 12},  {97, 214, 214},
        {231, 72, 86},  {180, 0, 158},  {249, 241, 165}, {242, 242, 242},
    };
    for (int i = 0; i < 16; i++)
        palette[i] = static_cast<COLORREF>(kRgb[i][0]) | (static_cast<COLORREF>(kRgb[i][1]) << 8) |
                     (static_cast<COLORREF>(kRgb[i][2]) << 16);
}

int ConsoleRgbTo256(COLORREF colour) {
    static constexpr int kLevels[6] = {0, 95, 135, 175, 215, 255};
    int channel[3] = {static_cast<int>(Red(colour)), static_cast<int>(Green(colour)),
                      static_cast<int>(Blue(colour))};
    int index[3];
    int cubeDistance = 0;
    for (int i = 0; i < 3; i++) {
        int v = channel[i];
        index[i] = v < 48 ? 0 : v < 115 ? 1 : (v - 35) / 40;
        int d = v - kLevels[index[i]];
        cubeDistance += d * d;
    }
    int cube = 16 + 36 * index[0] + 6 * index[1] + index[2];

    int sum = channel[0] + channel[1] + channel[2];
    int grey = sum <= 23 ? 0 : sum > 716 ? 23 : (sum / 3 - 8) / 10;
    int level = 8 + 10 * grey;
    int greyDistance = 0;
    for (int v : channel) greyDistance += (v - level) * (v - level);
    return greyDistance < cubeDistance ? 232 + grey : cube;
}

void ConsoleOutSgr(const RENDER_STATE* state, uint16_t attribute, OUTPUT_BUFFER* out) {
    uint32_t fg = attribute & 15;
    uint32_t bg = (attribute >> 4) & 15;
    char text[64];
    char* p = PutText(text, "\x1b[0;");
    if (state->depth == 24) {
        COLORREF f = state->palette[fg], b = state->palette[bg];
        p = PutText(p, "38;2;");
        p = PutDecimal(p, Red(f));
        *p++ = ';';
        p = PutDecimal(p, Green(f));
        *p++ = ';';
        p = PutDecimal(p, Blue(f));
        p = PutText(p, ";48;2;");
        p = PutDecimal(p, Red(b));
        *p++ = ';';
        p = PutDecimal(p, Green(b));
        *p++ = ';';
        p = PutDecimal(p, Blue(b));
    } else if (state->depth == 256) {
        p = PutText(p, "38;5;");
        p = PutDecimal(p, static_cast<uint32_t>(ConsoleRgbTo256(state->palette[fg])));
        p = PutText(p, ";48;5;");
        p = PutDecimal(p, static_cast<uint32_t>(ConsoleRgbTo256(state->palette[bg])));
    } else {
        p = PutDecimal(p, ((fg & 8) ? 90 : 30) + AnsiNumber(fg & 7));
        *p++ = ';';
        p = PutDecimal(p, ((bg & 8) ? 100 : 40) + AnsiNumber(bg & 7));
    }
    if (attribute & COMMON_LVB_UNDERSCORE) p = PutText(p, ";4");
    if (attribute & COMMON_LVB_REVERSE_VIDEO) p = PutText(p, ";7");
    *p++ = 'm';
    ConsoleOutAppend(out, text, static_cast<size_t>(p - text));
}

void ConsoleOutMoveCursor(RENDER_STATE* state, int32_t column, int32_t row, OUTPUT_BUFFER* out) {
    if (state->cursorColumn == column && state->cursorRow == row) return;
    AppendCsi(out, row + 1, column + 1, 'H');
    state->cursorColumn = column;
    state->cursorRow = row;
}

// ---- characters ------------------------------------------------------------------------------------

uint32_t ConsoleDisplayChar(uint32_t unit) {
    if (unit < 32) return kControlPictures[unit];
    if (unit == 127) return 0x2302;
    if ((unit >= 0x80 && unit <= 0x9F) || (unit >= 0xD800 && unit <= 0xDFFF)) return 0xFFFD;
    return unit;
}

int ConsoleCharWidth(uint32_t c) {
    if (InRanges(kZeroWidth, c)) return 0;
    if (c < 0x1100) return 1;
    return InRanges(kWide, c) ? 2 : 1;
}

// ---- frames ------------------------------------------------------------------------------------------

namespace {

// Frames with at least this many changed rows are searched for a scrolled
// region. With fewer a scroll keeps at most one row, which seldom pays for
// the scroll, and ordinary frames are spared the search.
constexpr int32_t kScrollMinChangedRows = 3;
// Farthest shift searched, so that the search stays cheap on huge terminals.
constexpr int32_t kScrollMaxShift = 128;
// About what a scroll costs in bytes: setting and resetting the scroll
// region, a cursor move and the line feeds or reverse indexes.
constexpr int64_t kScrollOverhead = 18;
// About what moving the cursor to the start of a row's changes costs.
constexpr int64_t kRowMoveCost = 6;

void BeginChanges(RENDER_STATE* state, bool* changed, OUTPUT_BUFFER* out) {
    if (*changed) return;
    *changed = true;
    Append(out, "\x1b[?2026h");
    if (state->cursorVisible != 0) Append(out, "\x1b[?25l");
    state->cursorVisible = 0;
}

// The first column from start on where the frame row differs from the
// shadow row; columns when none does.
int32_t FirstChange(const uint32_t* f, const uint32_t* s, int32_t start, int32_t columns) {
    int32_t c = start;
    while (c < columns && Unchanged(f[c], s[c])) c++;
    return c;
}

// Rows where the frame differs from the shadow, counted up to limit.
int32_t CountChangedRows(const RENDER_STATE* state, const uint32_t* frame, int32_t limit) {
    const size_t columns = static_cast<size_t>(state->columns);
    int32_t count = 0;
    for (int32_t r = 0; r < state->rows && count < limit; r++)
        if (FirstChange(frame + r * columns, state->shadow + r * columns, 0, state->columns) <
            state->columns)
            count++;
    return count;
}

uint64_t HashStep(uint64_t hash, uint32_t value) { return (hash ^ value) * 0x100000001B3ull; }

// A run of full-width rows that the terminal can shift instead of having
// them drawn again: rows top..bottom move up by shift lines (down when shift
// is negative), and the lines that come in are drawn afresh.
struct Scroll {
    int32_t top = 0;
    int32_t bottom = 0;
    int32_t shift = 0;
};

struct ScrollRow {
    uint64_t frameHash;  // of the frame row, in the attribute bits the terminal shows
    uint64_t shadowHash; // of the shadow row
    bool shadowKnown;    // every cell of the shadow row is known
    int64_t drawBefore;   // bytes the rows above take to draw as things are, about
    int64_t redrawBefore; // bytes the rows above would add if drawn whole, about
};

// Looks for the scroll that saves the most bytes over drawing the frame cell
// by cell. Rows are compared by hash: a collision costs bytes, never a wrong
// screen, since every cell that then differs is drawn. False when no scroll
// is worth it.
bool FindScroll(const RENDER_STATE* state, const uint32_t* frame, Scroll* found) {
    const int32_t rows = state->rows, columns = state->columns;
    const size_t count = static_cast<size_t>(rows) + 1;
    auto* info = static_cast<ScrollRow*>(std::malloc(count * sizeof(ScrollRow)));
    if (!info) return false;
    // The shadow first: a row with an unknown cell is never shown moved, and
    // a screen with no known row (a repaint) needs no further look.
    int32_t knownRows = 0;
    for (int32_t r = 0; r < rows; r++) {
        const uint32_t* s = state->shadow + static_cast<size_t>(r) * columns;
        uint64_t hash = 0xCBF29CE484222325ull;
        bool known = true;
        for (int32_t c = 0; c < columns && known; c++) {
            known = Known(s[c]);
            hash = HashStep(hash, s[c]);
        }
        info[r].shadowHash = hash;
        info[r].shadowKnown = known;
        if (known) knownRows++;
    }
    if (knownRows == 0) {
        std::free(info);
        return false;
    }
    int64_t draw = 0, redraw = 0;
    for (int32_t r = 0; r < rows; r++) {
        const uint32_t* f = frame + static_cast<size_t>(r) * columns;
        const uint32_t* s = state->shadow + static_cast<size_t>(r) * columns;
        uint64_t hash = 0xCBF29CE484222325ull;
        int32_t first = -1, last = -1;
        for (int32_t c = 0; c < columns; c++) {
            hash = HashStep(hash, Cell(UnitOf(f[c]), AttributeOf(f[c]) & RENDER_ATTRIBUTE_MASK));
            if (!Unchanged(f[c], s[c])) {
                if (first < 0) first = c;
                last = c;
            }
        }
        int64_t cost = first < 0 ? 0 : last - first + 1 + kRowMoveCost;
        info[r].frameHash = hash;
        info[r].drawBefore = draw;
        info[r].redrawBefore = redraw;
        draw += cost;
        redraw += columns + kRowMoveCost - cost;
    }
    info[rows] = {0, 0, false, draw, redraw};

    // Bytes saved by keeping rows a..b, less the lines from..to that come in
    // and are drawn whole, less the scroll itself.
    auto benefit = [&](int32_t a, int32_t b, int32_t from, int32_t to) {
        return (info[b + 1].drawBefore - info[a].drawBefore) -
               (info[to + 1].redrawBefore - info[from].redrawBefore) - kScrollOverhead;
    };
    int64_t best = 0;
    const int32_t maxShift = rows - 1 < kScrollMaxShift ? rows - 1 : kScrollMaxShift;
    for (int32_t k = 1; k <= maxShift; k++) {
        // Up: frame row i shows shadow row i + k. A run a..b keeps its
        // rows, and lines b + 1..b + k come in at the bottom of the region.
        for (int32_t i = 0, a = -1; i + k < rows; i++) {
            bool match = info[i + k].shadowKnown && info[i].frameHash == info[i + k].shadowHash;
            if (!match) {
                a = -1;
                continue;
            }
            if (a < 0) a = i;
            int64_t gain = benefit(a, i, i + 1, i + k);
            if (gain > best) {
                best = gain;
                *found = {a, i + k, k};
            }
        }
        // Down: frame row i shows shadow row i - k; lines a - k..a - 1 come
        // in at the top of the region.
        for (int32_t i = rows - 1, b = -1; i - k >= 0; i--) {
            bool match = info[i - k].shadowKnown && info[i].frameHash == info[i - k].shadowHash;
            if (!match) {
                b = -1;
                continue;
            }
            if (b < 0) b = i;
            int64_t gain = benefit(i, b, i - k, i - 1);
            if (gain > best) {
                best = gain;
                *found = {i - k, b, -k};
            }
        }
    }
    std::free(info);
    return best > 0;
}

// Bytes a cursor move to (column, row) takes.
size_t MoveLength(int32_t column, int32_t row) {
    char text[32];
    return static_cast<size_t>(PutCsi(text, row + 1, column + 1, 'H') - text);
}

// The cursor stands in row before a run of unchanged cells that ends at
// column to. When those cells are narrow and shown in the current colours,
// writing them again moves the cursor as well; that is done when it takes
// fewer bytes than the cursor move.
void WriteGap(RENDER_STATE* state, const uint32_t* s, int32_t row, int32_t to, OUTPUT_BUFFER* out) {
    const int32_t from = state->cursorColumn;
    if (state->attribute == RENDER_UNKNOWN_ATTRIBUTE) return;
    size_t bytes = 0;
    for (int32_t c = from; c < to; c++) {
        if (AttributeOf(s[c]) != state->attribute) return;
        uint32_t shown = ConsoleDisplayChar(UnitOf(s[c]));
        if (ConsoleCharWidth(shown) != 1) return;
        bytes += Utf8Length(shown);
    }
    if (bytes >= MoveLength(to, row)) return;
    for (int32_t c = from; c < to; c++) AppendUtf8(out, ConsoleDisplayChar(UnitOf(s[c])));
    state->cursorColumn = to;
}

// Draws the cells of row r that differ from the shadow.
void DrawRow(RENDER_STATE* state, const uint32_t* frame, int32_t r, bool* changed,
             OUTPUT_BUFFER* out) {
    const int32_t columns = state->columns;
    const uint32_t* f = frame + static_cast<size_t>(r) * columns;
    uint32_t* s = state->shadow + static_cast<size_t>(r) * columns;
    int32_t first = FirstChange(f, s, 0, columns);
    if (first == columns) return;
    // A wide character whose right half is about to change is drawn
    // again, so that the terminal never keeps half of it.
    if (first > 0) first--;
    for (int32_t c = first; c + 1 < columns; c++)
        if (!Unchanged(f[c + 1], s[c + 1]) && ShadowCellWide(s[c])) MakeUnknown(&s[c]);

    for (int32_t c = first; c < columns; c++) {
        if (Unchanged(f[c], s[c])) continue;
        BeginChanges(state, changed, out);
        uint32_t unit = UnitOf(f[c]);
        uint16_t attribute = AttributeOf(f[c]);
        uint16_t masked = attribute & RENDER_ATTRIBUTE_MASK;
        uint32_t shown = ConsoleDisplayChar(unit);
        int width = ConsoleCharWidth(shown);
        // The space that completes a wide character is compared in the
        // attribute bits the terminal shows, like every other cell: bits it
        // does not show must not turn a wide character the terminal
        // already shows into U+FFFD without the cell counting as changed.
        if (width == 2 && !(c + 1 < columns && Unchanged(f[c + 1], Cell(0x20, masked))))
            width = 0;
        if (width == 0) {
            shown = 0xFFFD;
            width = 1;
        }
        // Writing over the left half of a wide character blanks its right
        // half on the terminal: that cell must be drawn again. A wide
        // character's own right half may land on such a left half too.
        int32_t last = c + width - 1;
        if (last + 1 < columns && ShadowCellWide(s[last])) MakeUnknown(&s[last + 1]);

        if (state->cursorColumn < c && state->cursorColumn >= 0 && state->cursorRow == r)
            WriteGap(state, s, r, c, out);
        ConsoleOutMoveCursor(state, c, r, out);
        if (masked != state->attribute) {
            ConsoleOutSgr(state, masked, out);
            state->attribute = masked;
        }
        AppendUtf8(out, shown);
        s[c] = Cell(unit, masked);
        if (width == 2) {
            s[c + 1] = Cell(0x20, masked);
            state->cursorColumn = -1;
            state->cursorRow = -1;
            c++;
        } else if (c + 1 < columns) {
            state->cursorColumn = c + 1;
        } else {
            // With auto-wrap off the terminal keeps the cursor on the last
            // column or marks it pending: either way it is not known.
            state->cursorColumn = -1;
            state->cursorRow = -1;
        }
    }
}

// Has the terminal shift the rows of scroll, shifts the shadow the same way
// and draws the lines that come in. Inside a scroll region a line feed on
// its bottom line moves the region up and a reverse index on its top line
// moves it down (VT100 functions that every terminal in use has, unlike the
// scroll-up and scroll-down sequences), leaving the cursor at the start of a
// line that comes in. Those lines are blank in whatever colours the terminal
// chooses (most use the current background), so their shadow cells become
// unknown and are drawn whole. Setting and resetting the region homes the
// cursor.
void EmitScroll(RENDER_STATE* state, const Scroll& scroll, const uint32_t* frame, bool* changed,
                OUTPUT_BUFFER* out) {
    const size_t columns = static_cast<size_t>(state->columns);
    const bool up = scroll.shift > 0;
    const int32_t lines = up ? scroll.shift : -scroll.shift;
    AppendCsi(out, scroll.top + 1, scroll.bottom + 1, 'r');
    state->cursorColumn = 0;
    state->cursorRow = 0;
    ConsoleOutMoveCursor(state, 0, up ? scroll.bottom : scroll.top, out);
    for (int32_t i = 0; i < lines; i++) Append(out, up ? "\n" : "\x1bM");

    const size_t kept = static_cast<size_t>(scroll.bottom - scroll.top + 1 - lines) * columns;
    uint32_t* top = state->shadow + static_cast<size_t>(scroll.top) * columns;
    uint32_t* blank;
    if (up) {
        std::memmove(top, top + static_cast<size_t>(lines) * columns, kept * sizeof(uint32_t));
        blank = top + kept;
    } else {
        std::memmove(top + static_cast<size_t>(lines) * columns, top, kept * sizeof(uint32_t));
        blank = top;
    }
    for (size_t i = 0; i < static_cast<size_t>(lines) * columns; i++)
        blank[i] = Cell(0x20, RENDER_UNKNOWN_ATTRIBUTE);

    const int32_t first = up ? scroll.bottom - lines + 1 : scroll.top;
    for (int32_t r = first; r < first + lines; r++) DrawRow(state, frame, r, changed, out);
    Append(out, "\x1b[r");
    state->cursorColumn = 0;
    state->cursorRow = 0;
}

} // namespace

void ConsoleEmitFrame(RENDER_STATE* state, const uint32_t* frame, int32_t cursorColumn,
                      int32_t cursorRow, bool cursorShown, int32_t cursorShape,
                      OUTPUT_BUFFER* out) {
    const int32_t columns = state->columns;
    bool changed = false;
    Scroll scroll;
    if (CountChangedRows(state, frame, kScrollMinChangedRows) >= kScrollMinChangedRows &&
        FindScroll(state, frame, &scroll)) {
        BeginChanges(state, &changed, out);
        EmitScroll(state, scroll, frame, &changed, out);
    }
    for (int32_t r = 0; r < state->rows; r++) DrawRow(state, frame, r, &changed, out);

    if (cursorShape >= 0 && cursorShape != state->shapeSent) {
        char text[32];
        char* p = PutText(text, "\x1b[");
        p = PutDecimal(p, static_cast<uint32_t>(cursorShape));
        p = PutText(p, " q");
        ConsoleOutAppend(out, text, static_cast<size_t>(p - text));
        state->shapeSent = cursorShape;
    } else if (cursorShape < 0 && state->shapeSent >= 0) {
        // Back to the terminal's own shape: it has to be told so.
        Append(out, "\x1b[0 q");
        state->shapeSent = -1;
    }

    if (cursorShown && cursorColumn >= 0 && cursorRow >= 0 && cursorColumn < columns &&
        cursorRow < state->rows) {
        ConsoleOutMoveCursor(state, cursorColumn, cursorRow, out);
        if (state->cursorVisible != 1) Append(out, "\x1b[?25h");
        state->cursorVisible = 1;
    } else {
        if (state->cursorVisible != 0) Append(out, "\x1b[?25l");
        state->cursorVisible = 0;
    }
    if (changed) Append(out, "\x1b[?2026l");
}

int ConsoleUnitCells(WCHAR unit) { return ConsoleCharWidth(ConsoleDisplayChar(unit)) == 2 ? 2 : 1; }
