// The shadow screen, the drawing primitives over it, saved rectangles, the
// colours, the clock and date texts and the tree window painters.
#include "platform/screen.h"
#include "platform/console_session.h"
#include "tree/tree_records.h"
#include "main/tree_window.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "ui/error_reporting.h"
#include "ui/numbers_dates.h"
#include "ui/text_helpers.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <mutex>
#include <vector>

static_assert(std::endian::native == std::endian::little,
              "a ScreenCell is a CHAR_INFO in memory only on little-endian machines");
static_assert(sizeof(ScreenCell) == sizeof(CHAR_INFO));

WORD gCursorRow = 0;
WORD gCursorCol = 0;
BYTE gNormalAttr = 0x07;
WCHAR gOemBoxMap[256] = {};
TREE_COLOURS gTreeColours = {0x1E, 0x1E, 0x1E, 0x1E, 0x1E, 0x1E};
TreeDirFactsFn gTreeDirFacts = TreeDirFacts;

namespace {

// The shadow screen: row r, column c is cell r * SHADOW_COLS + c. The lock
// covers its cells only; no console call is made while it is held, so a
// thread parked by the layer's thread suspension (which happens only at
// console locks) never holds it.
ScreenCell gShadow[SHADOW_ROWS * SHADOW_COLS];
std::mutex gShadowLock;

ScreenCell& Shadow(int row, int column) {
    return gShadow[row * SHADOW_COLS + column];
}

int ScreenRowsLimit() {
    return std::min<int>(gScreenRows, SHADOW_ROWS);
}
int ScreenColsLimit() {
    return std::min<int>(gScreenCols, SHADOW_COLS);
}

bool InArray(int row, int column) {
    return row >= 0 && row < SHADOW_ROWS && column >= 0 && column < SHADOW_COLS;
}

// A run of one row cut to the screen: the first column drawn, the number of
// cells and how many cells of the caller's run lie left of the screen.
struct Run {
    int column;
    int count;
    int skipped;
};

bool ClipRun(int row, int column, int n, Run* run) {
    if (row < 0 || row >= ScreenRowsLimit() || n <= 0) return false;
    int skipped = 0;
    if (column < 0) {
        skipped = -column;
        column = 0;
    }
    if (skipped >= n || column >= ScreenColsLimit()) return false;
    *run = {column, std::min(n - skipped, ScreenColsLimit() - column), skipped};
    return true;
}

void ToCharInfo(const ScreenCell* cells, int n, CHAR_INFO* out) {
    std::memcpy(out, cells, size_t(n) * sizeof(CHAR_INFO));
}

// Writes count cells of one row to the console.
void FlushRow(int row, int column, const CHAR_INFO* cells, int count) {
    SMALL_RECT region = {SHORT(column), SHORT(row), SHORT(column + count - 1), SHORT(row)};
    WriteConsoleOutputW(gConOut, cells, COORD{SHORT(count), 1}, COORD{0, 0}, &region);
}

// Lets update change the cells of a clipped run in the shadow screen (index
// i of the caller's run), then shows the run.
template <typename Update> void DrawRun(int row, int column, int n, Update update) {
    Run run;
    if (!ClipRun(row, column, n, &run)) return;
    CHAR_INFO out[SHADOW_COLS];
    {
        std::lock_guard<std::mutex> guard(gShadowLock);
        ScreenCell* cells = &Shadow(row, run.column);
        for (int i = 0; i < run.count; i++)
            update(run.skipped + i, cells[i]);
        ToCharInfo(cells, run.count, out);
    }
    FlushRow(row, run.column, out, run.count);
}

// Shows columns first..last of a shadow row again.
void ReflushRow(int row, int first, int last) {
    Run run;
    if (!ClipRun(row, first, last - first + 1, &run)) return;
    CHAR_INFO out[SHADOW_COLS];
    {
        std::lock_guard<std::mutex> guard(gShadowLock);
        ToCharInfo(&Shadow(row, run.column), run.count, out);
    }
    FlushRow(row, run.column, out, run.count);
}

// A code page 437 byte as the unit it shows: bytes up to 0x80 are their own
// value, box bytes come from the map, the rest from the code page.
WCHAR OemByteToUnit(unsigned char byte) {
    if (byte <= 0x80) return byte;
    if (gOemBoxMap[byte] != 0) return gOemBoxMap[byte];
    WCHAR unit = 0;
    const char c = static_cast<char>(byte);
    if (MultiByteToWideChar(CP_OEMCP, 0, &c, 1, &unit, 1) != 1) return u'?';
    return unit;
}

bool ValidRect(int top, int left, int bottom, int right) {
    constexpr int kMax = 32767;
    return top >= 0 && left >= 0 && bottom >= top && right >= left && bottom <= kMax &&
           right <= kMax;
}

size_t RectCells(int top, int left, int bottom, int right) {
    return size_t(bottom - top + 1) * size_t(right - left + 1);
}

ScreenCell* AllocCells(size_t count) {
    auto* cells = static_cast<ScreenCell*>(std::calloc(count, sizeof(ScreenCell)));
    if (!cells) ShowError(0, "Fatal Error - out of memory");
    return cells;
}

} // namespace

// ---- cells ---------------------------------------------------------------------------

void InitBoxChars() {
    static const struct {
        unsigned char byte;
        WCHAR unit;
    } kBoxes[] = {
        {0x20, 0x0020}, {0xC4, 0x2500}, {0xB3, 0x2502}, {0xDA, 0x250C}, {0xBF, 0x2510},
        {0xC0, 0x2514}, {0xD9, 0x2518}, {0xC3, 0x251C}, {0xB4, 0x2524}, {0xC2, 0x252C},
        {0xC1, 0x2534}, {0xCD, 0x2550}, {0xBA, 0x2551}, {0xC9, 0x2554}, {0xBB, 0x2557},
        {0xC8, 0x255A}, {0xBC, 0x255D}, {0xC5, 0x253C}, {0xDB, 0x2588}, {0xDC, 0x2584},
        {0xDF, 0x2580}, {0xFE, 0x25A0},
    };
    static std::once_flag once;
    std::call_once(once, [] {
        for (const auto& box : kBoxes)
            gOemBoxMap[box.byte] = box.unit;
    });
}

void ScrSetCursorPos(int row, int column) {
    gCursorRow = WORD(row);
    gCursorCol = WORD(column);
    SetConsoleCursorPosition(gConOut, COORD{SHORT(column), SHORT(row)});
}

void ScrPutChar(int row, int column, WCHAR character, BYTE attr) {
    const ScreenCell cell = MakeCell(character, attr);
    DrawRun(row, column, 1, [&](int, ScreenCell& c) { c = cell; });
    CycleCursorRow(CURSOR_RIGHT);
}

void ScrPutCharAt(WCHAR character, BYTE attr) {
    ScrPutChar(gCursorRow, gCursorCol, character, attr);
}

void ScrPutWStrN(int row, int column, const WCHAR* text, int n, BYTE attr) {
    DrawRun(row, column, n, [&](int i, ScreenCell& c) { c = MakeCell(text[i], attr); });
}

void ScrPutWStr(int row, int column, const WCHAR* text, BYTE attr) {
    ScrPutWStrN(row, column, text, int(std::min<size_t>(wcslen(text), 0x7FFFFFFF)), attr);
}

void ScrPutStr(int row, int column, const char* text, BYTE attr) {
    // The conversion holds 1027 bytes and the terminator; a longer string is
    // cut there, beyond the widest screen.
    constexpr size_t kMaxBytes = 1027;
    WCHAR units[kMaxBytes + 1];
    size_t n = 0;
    while (n < kMaxBytes && text[n] != 0) {
        units[n] = OemByteToUnit(static_cast<unsigned char>(text[n]));
        n++;
    }
    units[n] = 0;
    ScrPutWStrN(row, column, units, int(n), attr);
}

void ScrPutStrDefault(int row, int column, const char* text) {
    ScrPutStr(row, column, text, gNormalAttr);
}

void ScrPutStrN(int row, int column, const char* text, int n, BYTE attr) {
    constexpr int kMaxBytes = 1025;
    if (n <= 0) return;
    n = std::min(n, kMaxBytes);
    WCHAR units[kMaxBytes];
    const int converted = MultiByteToWideChar(CP_OEMCP, 0, text, n, units, kMaxBytes);
    if (converted <= 0) return;
    ScrPutWStrN(row, column, units, converted, attr);
}

void ScrPutWStrAttrPtr(const char* text, int n, int row, int column, const BYTE* attr) {
    ScrPutStrN(row, column, text, n, *attr);
}

void ScrHLine(int row, int column, int n, WCHAR first, WCHAR middle, WCHAR last, BYTE attr) {
    if (n <= 0) return;
    DrawRun(row, column, n, [&](int i, ScreenCell& c) {
        WCHAR unit = CellChar(c);
        if (i == 0)
            unit = first;
        else if (i == n - 1) {
            if (last != 0) unit = last;
        } else if (middle != 0)
            unit = middle;
        c = MakeCell(unit, attr);
    });
}

void ScrHLineOem(int row, int column, int n, BYTE first, BYTE middle, BYTE last, BYTE attr) {
    auto unit = [](BYTE b) -> WCHAR { return b == 0 ? WCHAR(0) : OemByteToUnit(b); };
    ScrHLine(row, column, n, unit(first), unit(middle), unit(last), attr);
}

void ScrFillAttr(int row, int column, BYTE attr, int n) {
    Run run;
    if (!ClipRun(row, column, n, &run)) return;
    {
        std::lock_guard<std::mutex> guard(gShadowLock);
        for (int i = 0; i < run.count; i++) {
            ScreenCell& c = Shadow(row, run.column + i);
            c = MakeCell(CellChar(c), attr);
        }
    }
    DWORD written = 0;
    FillConsoleOutputAttribute(gConOut, attr, DWORD(run.count),
                               COORD{SHORT(run.column), SHORT(row)}, &written);
}

void ScrFillAttrRun(const BYTE* attr, int n, int row, int column) {
    ScrFillAttr(row, column, *attr, n);
}

void ScrClearArea(int top, int left, int bottom, int right, BYTE attr) {
    if (bottom < top) return;
    for (int row = std::max(top, 0); row <= bottom && row < ScreenRowsLimit(); row++) {
        Run run;
        if (!ClipRun(row, left, right - left + 1, &run)) continue;
        const COORD origin = {SHORT(run.column), SHORT(row)};
        DWORD filled = 0;
        FillConsoleOutputCharacterW(gConOut, u' ', DWORD(run.count), origin, &filled);
        DWORD written = 0;
        FillConsoleOutputAttribute(gConOut, attr, filled, origin, &written);
        std::lock_guard<std::mutex> guard(gShadowLock);
        for (int i = 0; i < run.count; i++)
            Shadow(row, run.column + i) = MakeCell(u' ', attr);
    }
}

void ScrClearScreen(BOOL withAttr, BYTE attr) {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (!GetConsoleScreenBufferInfo(gConOut, &info)) return;
    const DWORD cells = DWORD(info.dwSize.X) * DWORD(info.dwSize.Y);
    DWORD written = 0;
    FillConsoleOutputCharacterW(gConOut, u' ', cells, COORD{0, 0}, &written);
    if (withAttr) FillConsoleOutputAttribute(gConOut, attr, cells, COORD{0, 0}, &written);
}

// ---- reading back ----------------------------------------------------------------------

BYTE ScrGetAttr(int row, int column) {
    if (!InArray(row, column)) return 0;
    std::lock_guard<std::mutex> guard(gShadowLock);
    return CellAttr(Shadow(row, column));
}

void ScrGetChars(int row, int column, char* out, int n) {
    std::lock_guard<std::mutex> guard(gShadowLock);
    for (int i = 0; i < n; i++)
        out[i] = InArray(row, column + i) ? char(CellChar(Shadow(row, column + i)) & 0xFF) : 0;
}

void ScrGetWChars(int row, int column, WCHAR* out, int n) {
    std::lock_guard<std::mutex> guard(gShadowLock);
    for (int i = 0; i < n; i++)
        out[i] = InArray(row, column + i) ? CellChar(Shadow(row, column + i)) : WCHAR(0);
}

BOOL ScrReadRect(int top, int left, int bottom, int right, CHAR_INFO* cells) {
    if (!ValidRect(top, left, bottom, right)) return FALSE;
    SMALL_RECT region = {SHORT(left), SHORT(top), SHORT(right), SHORT(bottom)};
    return ReadConsoleOutputW(gConOut, cells,
                              COORD{SHORT(right - left + 1), SHORT(bottom - top + 1)}, COORD{0, 0},
                              &region);
}

void ScrReadText(int row, int column, char* out, int n) {
    if (n <= 0) return;
    std::vector<CHAR_INFO> cells;
    std::vector<WCHAR> units;
    try {
        cells.assign(size_t(n), CHAR_INFO{});
        units.assign(size_t(n), 0);
    } catch (const std::bad_alloc&) {
        ShowError(0, "Fatal Error - out of memory");
        return;
    }
    if (!ScrReadRect(row, column, row, column + n - 1, cells.data())) return;
    for (int i = 0; i < n; i++)
        units[size_t(i)] = cells[size_t(i)].Char.UnicodeChar;
    WideCharToMultiByte(CP_OEMCP, 0, units.data(), n, out, n, "\xFA", nullptr);
}

void ScrFlushRect(int top, int left, int bottom, int right, const ScreenCell* cells) {
    if (!ValidRect(top, left, bottom, right)) return;
    std::vector<CHAR_INFO> out(RectCells(top, left, bottom, right));
    ToCharInfo(cells, int(out.size()), out.data());
    SMALL_RECT region = {SHORT(left), SHORT(top), SHORT(right), SHORT(bottom)};
    WriteConsoleOutputW(gConOut, out.data(),
                        COORD{SHORT(right - left + 1), SHORT(bottom - top + 1)}, COORD{0, 0},
                        &region);
}

// ---- saved rectangles ----------------------------------------------------------------------

ScreenCell* ScrSaveRect(int top, int left, int bottom, int right) {
    if (!ValidRect(top, left, bottom, right)) return nullptr;
    ScreenCell* saved = AllocCells(RectCells(top, left, bottom, right));
    if (!saved) return nullptr;
    const int width = right - left + 1;
    std::lock_guard<std::mutex> guard(gShadowLock);
    for (int row = top; row <= bottom && row < SHADOW_ROWS; row++)
        for (int column = left; column <= right && column < SHADOW_COLS; column++)
            saved[size_t(row - top) * size_t(width) + size_t(column - left)] = Shadow(row, column);
    return saved;
}

ScreenCell* ScrSaveRectConsole(int top, int left, int bottom, int right) {
    if (!ValidRect(top, left, bottom, right)) return nullptr;
    ScreenCell* saved = AllocCells(RectCells(top, left, bottom, right));
    if (!saved) return nullptr;
    const int width = right - left + 1;
    std::vector<CHAR_INFO> line(size_t(width), CHAR_INFO{});
    for (int row = top; row <= bottom; row++) {
        std::fill(line.begin(), line.end(), CHAR_INFO{});
        if (ScrReadRect(row, left, row, right, line.data()))
            std::memcpy(saved + size_t(row - top) * size_t(width), line.data(),
                        size_t(width) * sizeof(ScreenCell));
    }
    return saved;
}

void ScrRestoreRect(int top, int left, int bottom, int right, ScreenCell* saved) {
    if (!saved) return;
    if (!ValidRect(top, left, bottom, right)) {
        std::free(saved);
        return;
    }
    const int width = right - left + 1;
    std::vector<CHAR_INFO> line(static_cast<size_t>(width), CHAR_INFO{});
    for (int row = top; row <= bottom; row++) {
        const ScreenCell* cells = saved + size_t(row - top) * size_t(width);
        ToCharInfo(cells, width, line.data());
        SMALL_RECT region = {SHORT(left), SHORT(row), SHORT(right), SHORT(row)};
        WriteConsoleOutputW(gConOut, line.data(), COORD{SHORT(width), 1}, COORD{0, 0}, &region);
        // Every row the array holds is copied, also those from row 200 on, so
        // that the shadow screen stays what the console shows.
        if (row >= SHADOW_ROWS) continue;
        std::lock_guard<std::mutex> guard(gShadowLock);
        for (int column = left; column <= right && column < SHADOW_COLS; column++)
            Shadow(row, column) = cells[column - left];
    }
    if (bottom < SHADOW_ROWS && (left != 0 || right < gScreenMaxCol))
        for (int row = top; row <= bottom; row++)
            ReflushRow(row, 0, gScreenMaxCol);
    std::free(saved);
}

// ---- colours, sound, clock -------------------------------------------------------------------

BYTE ScrSetColor(int slot, BYTE attr) {
    BYTE previous = 0;
    if (slot == 3) {
        previous = gNormalAttr;
        gNormalAttr = attr;
    }
    SetConsoleTextAttribute(gConOut, attr);
    return previous;
}

void ScrBeep() {
    if (SessionSwitches.beeps) MessageBeep(0);
}

void FormatClockText(const SYSTEMTIME& time, BOOL twelveHour, BOOL fourDigitYear, char* out) {
    int hour = time.wHour;
    const char* suffix = "";
    if (twelveHour) {
        const bool pm = hour >= 12;
        if (hour == 0)
            hour = 12;
        else if (hour > 12)
            hour -= 12;
        suffix = pm ? " pm" : " am";
        if (fourDigitYear) suffix++;
    }
    snprintf(out, 16, "%2d:%02d:%02d%s", hour, int(time.wMinute), int(time.wSecond), suffix);
}

void FormatDateText(const SYSTEMTIME& time, int dateOrder, BOOL fourDigitYear, char* out) {
    int year = time.wYear;
    if (!fourDigitYear) year -= year < 2000 ? 1900 : 2000;
    const int day = time.wDay;
    const int month = time.wMonth;
    int a = 0, b = 0, c = 0;
    switch (dateOrder) {
    case 0:
    case 3:
        a = day, b = month, c = year;
        break;
    case 1:
    case 4:
        a = month, b = day, c = year;
        break;
    case 2:
    case 5:
        a = year, b = month, c = day;
        break;
    default:
        break;
    }
    snprintf(out, 16, "%2d-%02d-%02d", a, b, c);
}

void ScrClockText(char* out) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    FormatClockText(now, gTwelveHourClock != 0, gDateFormat >= 3 && gDateFormat <= 5, out);
}

void ScrDateText(char* out) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    FormatDateText(now, gDateFormat, gDateFormat >= 3 && gDateFormat <= 5, out);
}

// ---- the tree window
// -----------------------------------------------------------------------------

namespace {

// Row line of the current pane's list, or null when the list has no such row.
WCHAR* TreeRow(int line) {
    WCHAR* rows = gTreeLines[gCurrentPane];
    if (!rows || line < 0 || DWORD(line) >= gTreeLineRows[gCurrentPane]) return nullptr;
    return rows + size_t(line) * gTreeLineStride;
}

// The directory pointer of a row; null when the rows have no room for it.
const SubdirInfo* TreeRowDir(const WCHAR* row) {
    if (gTreeLineStride < gTreeWidth + 4) return nullptr;
    const SubdirInfo* dir = nullptr;
    std::memcpy(&dir, row + gTreeWidth, sizeof dir);
    return dir;
}

// The colour of a tree row's name part.
BYTE TreeDirColour(WORD level, WORD attributes) {
    const TREE_COLOURS& c = gTreeColours;
    if (level == 0 || gTreeDisplayMode != 0) return c.directory;
    const struct {
        WORD attribute;
        BYTE colour;
    } kOrder[] = {
        {0x0400, c.junction}, // a junction or other reparse point
        {0x4000, c.encrypted},
        {0x0002, c.hidden},
        {0x0004, c.system},
    };
    for (const auto& o : kOrder)
        if ((attributes & o.attribute) && o.colour != c.directory) return o.colour;
    if (attributes & 0x0001) return c.readOnly; // read-only
    return c.directory;
}

} // namespace

void ScrPutLineBuf(int line, int column, const WCHAR* text, const SubdirInfo* dir) {
    WCHAR* row = TreeRow(line);
    if (!row || column < 0) return;
    const size_t room = column < gTreeWidth ? size_t(gTreeWidth - column) : 0;
    std::memcpy(row + column, text, std::min(wcslen(text), room) * sizeof(WCHAR));
    if (dir && gTreeLineStride >= gTreeWidth + 4) std::memcpy(row + gTreeWidth, &dir, sizeof dir);
}

BYTE TreeDirRowColour(const SubdirInfo* dir) {
    if (!dir || !gTreeDirFacts) return gTreeColours.directory;
    WORD level = 0, attributes = 0;
    gTreeDirFacts(dir, &level, &attributes);
    return TreeDirColour(level, attributes);
}

void ScrPaintTreeLines(int first) {
    const int height = gSmallWindowRow;
    if (height < 4) return;
    const bool split = gSplitScreen != 0;
    const int indent = gTreeIndent;
    const int cap = split ? (indent == 3 ? 12 : 15) : (indent == 3 ? 18 : 25);
    const bool right = split && gCurrentSide == 1;
    const int column = right ? gSplitColumn + 1 : 1;
    const int width = std::min<int>(gTreeWidth, SHADOW_COLS);
    const BYTE directory = gTreeColours.directory;
    for (int i = 0; i < height - 3; i++) {
        const WCHAR* row = TreeRow(first + i);
        if (!row) break;
        BYTE colour = directory;
        int level = 0;
        if (const SubdirInfo* dir = TreeRowDir(row); dir && gTreeDirFacts) {
            WORD dirLevel = 0, attributes = 0;
            gTreeDirFacts(dir, &dirLevel, &attributes);
            level = dirLevel;
            colour = TreeDirColour(dirLevel, attributes);
        }
        const int lines = std::min(level, cap) * indent;
        DrawRun(2 + i, column, width, [&](int k, ScreenCell& c) {
            c = MakeCell(row[k], k > lines ? colour : directory);
        });
        if (right && gSplitLayout == 1) ScrPutWStrN(2 + i, gSplitColumn, u" ", 1, directory);
    }
}

void ScrPaintTreeLine(int first) {
    int column = 2;
    const PaneState& pane = gPanes[gCurrentPane];
    // In autoview the picker stands right of the pane's narrow file column.
    if (gAutoview[gCurrentPane])
        column = int(pane.FileAreaColumn + pane.EntryWidth) + 3;
    else if (gSplitScreen && gCurrentSide == 0)
        column = gSplitColumn + 2;
    const int width = std::min<int>(gTreeWidth, SHADOW_COLS) - 2;
    for (int screenRow = 3, line = first; screenRow <= gScreenRows - 6; screenRow++, line++) {
        const WCHAR* row = TreeRow(line);
        if (!row) break;
        ScrPutWStrN(screenRow, column, row, width, gNormalAttr);
    }
}
