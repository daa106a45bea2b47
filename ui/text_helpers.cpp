// Fitting paths and names into columns, buffer and text helpers, typed-path
// expansion, the scroll bars and the remembered text cursor's moves.
#include "ui/text_helpers.h"

#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "qposix_path.h"
#include "settings/colours.h"
#include "settings/settings.h"
#include "tree/file_list.h"
#include "tree/tree_records.h"

#include <algorithm>
#include <cstring>

DWORD gFitMarkLength = 0;

namespace {

constexpr WCHAR kCutMark = 0x25BA;

size_t Length(const WCHAR* s) { return s ? wcslen(s) : 0; }

void CopyUnits(WCHAR* dst, const WCHAR* src, size_t n) {
    std::memmove(dst, src, n * sizeof(WCHAR));
    dst[n] = 0;
}

bool IsSeparator(WCHAR c) { return c == u'\\' || c == u'/'; }

// The display name of display-list entry index into name (room for
// TREE_MAX_FULL_NAME + 1 units); empty when the index is outside the list.
size_t ListEntryName(INT index, WCHAR* name) {
    name[0] = 0;
    if (index < 0 || !gFileList || DWORD(index) >= gFMax) return 0;
    const EntryHead* entry = ListEntries(gFileList)[index];
    if (!entry) return 0;
    if (gDirMode[gCurrentPane & 1]) {
        const auto* dir = reinterpret_cast<const SubdirInfo*>(entry);
        const size_t n = std::min(Length(dir->pszName), TREE_MAX_FULL_NAME);
        CopyUnits(name, dir->pszName ? dir->pszName : u"", n);
        return n;
    }
    const auto* file = reinterpret_cast<const FileEntry*>(entry);
    if (DisplayNameLength(file) > TREE_MAX_FULL_NAME) return 0;
    return GetFileDisplayName(name, file);
}

} // namespace

// ---- fitting paths and names ---------------------------------------------------------------

WORD FitPathToWidth(WCHAR* dst, const WCHAR* src, WORD width) {
    const size_t w = std::min<size_t>(width, TEXT_PATH_UNITS);
    WCHAR form[TEXT_PATH_UNITS + 2];
    const size_t length = size_t(std::max(0, PathMapDriveLetter(src, form, TEXT_PATH_UNITS + 2)));
    form[length] = 0;

    // The shown length of the marked leading part of src.
    size_t marked = 0;
    const size_t srcLength = Length(src);
    const size_t prefix = std::min<size_t>(gFitMarkLength, srcLength);
    if (prefix) {
        WCHAR part[TEXT_PATH_UNITS + 2];
        const size_t partUnits = std::min(prefix, TEXT_PATH_UNITS + 1);
        CopyUnits(part, src, partUnits);
        WCHAR shown[TEXT_PATH_UNITS + 2];
        marked = size_t(std::max(0, PathMapDriveLetter(part, shown, TEXT_PATH_UNITS + 2)));
        if (IsSeparator(part[partUnits - 1]) && marked < length && form[marked] == u'/') marked++;
    }

    if (length <= w) {
        CopyUnits(dst, form, length);
        std::fill(dst + length, dst + w, u' ');
        dst[w] = 0;
        return WORD(marked);
    }
    if (w >= 22) {
        // Head and tail of the path around "...", exactly w units.
        CopyUnits(dst, form, 18);
        std::copy_n(u"...", 3, dst + 18);
        CopyUnits(dst + 21, form + length - (w - 21), w - 21);
    } else {
        // Too narrow for the head: the end of the path, which names the
        // directory, and never more than the width.
        CopyUnits(dst, form + length - w, w);
    }
    const bool branchColour = gDisplayMode[gCurrentPane & 1] == 3 && gExtraColours.currPath != 0;
    if (!branchColour) return WORD(length);
    if (marked < 19) return WORD(marked);
    const LONGLONG kept = LONGLONG(marked) - LONGLONG(length - w);
    return WORD(kept > 17 ? kept : 18);
}

WORD TruncateWithMark(WCHAR* dst, const WCHAR* src, WORD n) {
    const size_t m = std::min<size_t>(n, 256);
    const size_t length = Length(src);
    if (length <= m) {
        CopyUnits(dst, src ? src : u"", length);
        return WORD(length);
    }
    if (m == 0) {
        dst[0] = 0;
        return 0;
    }
    CopyUnits(dst, src, m);
    dst[m - 1] = kCutMark;
    return WORD(m);
}

WORD StrCopyTrunc(char* dst, const char* src, WORD width) {
    if (width == 0) return 0;
    const size_t m = std::min<size_t>(width, 256);
    size_t length = src ? strnlen(src, m + 1) : 0;
    if (length > m) length = m - 1;
    std::memmove(dst, src ? src : "", length);
    dst[length] = 0;
    return WORD(length);
}

WORD FitFileDisplayName(WCHAR* dst, WCHAR* nameBuf, INT listIndex, WORD width) {
    if (!nameBuf[0] && listIndex != -1) ListEntryName(listIndex, nameBuf);
    if (width == 0 || !nameBuf[0]) {
        dst[0] = 0;
        return 0;
    }
    return TruncateWithMark(dst, nameBuf, width);
}

WORD FitTwoNamesToWidth(WCHAR* dstA, WCHAR* dstB, WCHAR* nameA, WCHAR* nameB, INT listIndex,
                        WORD width) {
    if (!nameA[0] && listIndex != -1) ListEntryName(listIndex, nameA);
    if (width == 0) {
        dstA[0] = dstB[0] = 0;
        return 0;
    }
    const DWORD lengthA = DWORD(std::min<size_t>(Length(nameA), width));
    const DWORD lengthB = DWORD(std::min<size_t>(Length(nameB), width));
    const DWORD total = lengthA + lengthB;
    if (total < width) {
        CopyUnits(dstA, nameA, lengthA);
        CopyUnits(dstB, nameB, lengthB);
        return WORD(lengthA);
    }
    // A's share in proportion to its length, in whole percent steps.
    const DWORD shareA = lengthA * 100 / (total * 100 / width);
    const WORD a = TruncateWithMark(dstA, nameA, WORD(std::min<DWORD>(shareA, width)));
    TruncateWithMark(dstB, nameB, WORD(width - std::min<DWORD>(shareA, width)));
    return a;
}

void FormatNameColumn(WCHAR* dst, INT listIndex) {
    constexpr size_t kColumn = 20;
    WCHAR name[TREE_MAX_FULL_NAME + 2];
    const size_t length = ListEntryName(listIndex, name);
    size_t out = 0;
    auto put = [&](const WCHAR* from, size_t n) {
        std::copy_n(from, n, dst + out);
        out += n;
    };
    if (length <= kColumn) {
        put(name, length);
    } else {
        const WCHAR* dot = nullptr;
        for (size_t i = length; i-- > 14;)
            if (name[i] == u'.') {
                dot = name + i;
                break;
            }
        const size_t extension = dot ? size_t(name + length - dot - 1) : 0;
        if (dot && extension >= 1 && extension <= 3) {
            put(name, 18 - extension);
            put(&kCutMark, 1);
            put(dot, extension + 1);
        } else if (dot && extension > 3) {
            put(name, 14);
            put(&kCutMark, 1);
            const size_t room = kColumn - out; // the dot and what fits of the extension
            if (extension + 1 <= room) {
                put(dot, extension + 1);
            } else {
                put(dot, room - 1);
                put(&kCutMark, 1);
            }
        } else {
            put(name, 19);
            put(&kCutMark, 1);
        }
    }
    std::fill(dst + out, dst + kColumn, u' ');
    dst[kColumn] = 0;
}

void ShortenPath(WCHAR* dst, const WCHAR* src) {
    size_t length = Length(src);
    if (length > TEXT_PATH_UNITS) {
        size_t cut = TEXT_PATH_UNITS;
        for (size_t i = TEXT_PATH_UNITS + 1; i-- > 0;)
            if (src[i] == u'\\') {
                cut = i;
                break;
            }
        length = cut;
    }
    CopyUnits(dst, src ? src : u"", length);
}

const WCHAR* SkipLabelPrefix(const WCHAR* s) {
    if (!s || s[0] == u'/') return s;
    const WCHAR* colon = wcschr(s, u':');
    if (!colon) return s;
    const WCHAR* p = colon + 1;
    while (*p == u' ') p++;
    return p;
}

WCHAR* SkipLabelPrefix(WCHAR* s) {
    return const_cast<WCHAR*>(SkipLabelPrefix(static_cast<const WCHAR*>(s)));
}

BOOL IsSlashEnclosed(const WCHAR* s) {
    const size_t n = Length(s);
    return n >= 3 && s[0] == u'/' && s[n - 1] == u'/';
}

DWORD ExpandTypedPath(const WCHAR* src, DWORD n, WCHAR* dst, DWORD toSlash) {
    WCHAR typed[TEXT_PATH_UNITS + 2];
    const size_t units = std::min({size_t(n), Length(src), TEXT_PATH_UNITS + 1});
    CopyUnits(typed, src ? src : u"", units);
    const int written = toSlash ? PathMapDriveLetter(typed, dst, TEXT_PATH_UNITS + 2)
                                : PathFindDriveLetter(typed, dst, TEXT_PATH_UNITS + 2);
    size_t length = std::min<size_t>(size_t(std::max(0, written)), TEXT_PATH_UNITS + 1);
    dst[length] = 0;
    const WCHAR separator = toSlash ? u'/' : u'\\';
    const WCHAR other = toSlash ? u'\\' : u'/';
    std::replace(dst, dst + length, other, separator);
    if (units && IsSeparator(typed[units - 1]) && length < TEXT_PATH_UNITS &&
        (length == 0 || dst[length - 1] != separator)) {
        dst[length++] = separator;
        dst[length] = 0;
    }
    return DWORD(length);
}

void ExpandInputPath(WCHAR* text, DWORD toSlash, ULONGLONG size) {
    const size_t length = Length(text);
    const WCHAR* separator = wcschr(text, 0x0001);
    size_t pathUnits = separator ? size_t(separator - text) : length;
    if (!separator)
        while (pathUnits && text[pathUnits - 1] == u' ') pathUnits--;
    if (pathUnits > TEXT_PATH_UNITS) return;
    WCHAR expanded[TEXT_PATH_UNITS + 2];
    const size_t expandedUnits = ExpandTypedPath(text, DWORD(pathUnits), expanded, toSlash);
    const size_t restUnits = separator ? length - pathUnits : 0;
    const size_t total = std::max(expandedUnits + restUnits, length);
    if (total + 1 > size) return;
    std::memmove(text + expandedUnits, text + pathUnits, restUnits * sizeof(WCHAR));
    std::copy_n(expanded, expandedUnits, text);
    std::fill(text + expandedUnits + restUnits, text + total, u' ');
    text[total] = 0;
}

namespace {
constexpr WCHAR kFlagsMark = 0xFFFE;

// The units after the mode prefix, and the flag run [*flagsBegin, *flagsEnd)
// (empty when there is none).
const WCHAR* AfterModePrefix(const WCHAR* s, const WCHAR** flagsBegin, const WCHAR** flagsEnd) {
    if (s[0] >= 0xFDD0 && s[0] <= 0xFDEF) s++;
    *flagsBegin = *flagsEnd = s;
    if (s[0] != kFlagsMark) return s;
    const WCHAR* second = wcschr(s + 1, kFlagsMark);
    if (!second) return s + 1;
    *flagsBegin = s + 1;
    *flagsEnd = second;
    return second + 1;
}
} // namespace

const WCHAR* MarkerText(const WCHAR* s) {
    if (!s) return nullptr;
    const WCHAR *begin, *end;
    return AfterModePrefix(s, &begin, &end);
}

void MarkerFlags(const WCHAR* s, WCHAR* flags, ULONGLONG n) {
    if (n == 0) return;
    flags[0] = 0;
    if (!s) return;
    const WCHAR *begin, *end;
    AfterModePrefix(s, &begin, &end);
    const size_t units = std::min<ULONGLONG>(ULONGLONG(end - begin), n - 1);
    CopyUnits(flags, begin, units);
}

// ---- buffers and text ----------------------------------------------------------------------

void FillBlanksA(char* buf, WORD n) {
    if (n == 0) return;
    std::memset(buf, ' ', n - 1u);
    buf[n - 1] = 0;
}

void FillBlanks(WCHAR* buf, WORD n) {
    if (n == 0) return;
    std::fill(buf, buf + (n - 1), u' ');
    buf[n - 1] = 0;
}

void FillChars(WCHAR* buf, WCHAR c, WORD n) { std::fill(buf, buf + n, c); }

char* TrimRightA(char* s) {
    size_t n = std::strlen(s);
    while (n && s[n - 1] == ' ') n--;
    s[n] = 0;
    return s;
}

WCHAR* TrimRight(WCHAR* s) {
    size_t n = wcslen(s);
    while (n && s[n - 1] == u' ') n--;
    s[n] = 0;
    return s;
}

void MakeRuleLine(WORD row, WORD extra, const char* tmpl, BYTE colour) {
    const size_t length = std::strlen(tmpl);
    if (extra > 0 && length >= 3 && length + extra < 1024) {
        char line[1024];
        const size_t middle = length + extra - 2;
        line[0] = tmpl[0];
        std::memset(line + 1, tmpl[1], middle);
        line[middle + 1] = tmpl[length - 1];
        line[middle + 2] = 0;
        ScrPutStr(row, 19, line, colour);
        return;
    }
    ScrPutStr(row, 19, tmpl, colour);
}

const char* StrStrNoCaseA(const char* hay, const char* needle) {
    if (!hay || !*hay || !needle) return nullptr;
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
    for (const char* h = hay; *h; h++) {
        size_t i = 0;
        while (needle[i] && h[i] && upper(h[i]) == upper(needle[i])) i++;
        if (!needle[i]) return h;
    }
    return nullptr;
}

const WCHAR* StrStrNoCase(const WCHAR* hay, const WCHAR* needle) {
    if (!hay || !needle) return nullptr;
    const size_t hayUnits = wcslen(hay), needleUnits = wcslen(needle);
    if (needleUnits > hayUnits) return nullptr;
    constexpr DWORD kIgnoreCaseAndMarks = 3;
    for (size_t i = 0; i + needleUnits <= hayUnits; i++)
        if (CompareStringW(1024, kIgnoreCaseAndMarks, hay + i, int(needleUnits), needle,
                           int(needleUnits)) == 2)
            return hay + i;
    return nullptr;
}

BOOL MemEqualFolded(const BYTE* a, const BYTE* b, DWORD n, const BYTE* fold) {
    if (!fold) return std::memcmp(a, b, n) == 0;
    for (DWORD i = 0; i < n; i++)
        if (fold[a[i]] != fold[b[i]]) return FALSE;
    return TRUE;
}

DWORD FindWrapBreak(const WCHAR* text, DWORD width, const WCHAR** next) {
    const size_t length = wcslen(text);
    if (length <= width) {
        *next = text + length;
        return DWORD(length);
    }
    for (DWORD i = width; i >= 1; i--)
        if (text[i] == u' ') {
            const WCHAR* after = text + i;
            while (*after == u' ') after++;
            *next = after;
            return i;
        }
    *next = text + width;
    return width;
}

void StripStartCommand(WCHAR* cmd) {
    auto upper = [](WCHAR c) { return c >= u'a' && c <= u'z' ? WCHAR(c - u'a' + u'A') : c; };
    const WCHAR* word = u"START ";
    for (int i = 0; i < 6; i++)
        if (upper(cmd[i]) != word[i]) return;
    const WCHAR* p = cmd + 6;
    auto blanks = [&] {
        while (*p == u' ') p++;
    };
    blanks();
    if (p[0] == u'"' && p[1] == u'"' && p[2] == u' ') {
        p += 3;
        blanks();
    }
    while (*p == u'/') {
        while (*p && *p != u' ') p++;
        blanks();
    }
    std::memmove(cmd, p, (wcslen(p) + 1) * sizeof(WCHAR));
}

WORD SwapBytes16(DWORD v) { return WORD((v & 0xFF) << 8 | (v >> 8 & 0xFF)); }

void SwapBytes16(WCHAR* s) {
    for (; *s; s++) *s = WCHAR(SwapBytes16(*s));
}

// ---- scroll bars ----------------------------------------------------------------------------

namespace {
// The last mark row drawn per pane (-1 none) by the tree and file windows.
int gThumbRow[2] = {-1, -1};
} // namespace

int ScrollMarkRow(DWORD p, DWORD total, DWORD rows, int top) {
    const int last = top + int(rows) - 1;
    if (p == 0) return top;
    if (p >= total) return last;
    const ULONGLONG step = ULONGLONG(total) * 100 / p;
    int row = top + int(ULONGLONG(rows) * 100 / step);
    if (row > top) row--;
    return std::min(row, last);
}

int ScrollMarkRowArc(DWORD p, DWORD total, DWORD rows) {
    if (p == 0 || total == 0) return 3;
    const ULONGLONG step = ULONGLONG(total) * 100 / p;
    const LONGLONG span = LONGLONG(rows) - 2;
    const LONGLONG row = step ? span * 100 / LONGLONG(step) + 1 : LONGLONG(rows);
    return int(std::clamp<LONGLONG>(row, 3, std::max<LONGLONG>(rows, 3)));
}

int ScrollMarkRowList(DWORD p, DWORD total, DWORD rows, int firstRow) {
    const int last = firstRow + int(rows) - 1;
    if (p == 0) return firstRow;
    if (p >= total || ULONGLONG(total) * 100 < p) return last;
    const ULONGLONG step = ULONGLONG(total) * 100 / p;
    int row = firstRow + int(ULONGLONG(rows) * 100 / step);
    if (row > firstRow) row--;
    return std::min(row, last);
}

namespace {
// The mark of a scroll bar as the settings draw it: one character on the
// first row of the bar, one on its last row and one between (all the
// block in the block style).
WCHAR MarkChar(int row, int first, int last) {
    if (row <= first) return gIniWorking.scrollUp;
    if (row >= last) return gIniWorking.scrollDown;
    return gIniWorking.scrollThumb;
}
} // namespace

void DrawScrollTrack(WORD top, WORD col, WORD bottom, BYTE colour) {
    for (int row = top; row < bottom; row++) ScrPutChar(row, col, gIniWorking.scrollTrack, colour);
}

void DrawScrollThumb(DWORD p, DWORD total, DWORD rows, BOOL eraseOld) {
    const WORD pane = gCurrentPane & 1;
    const BYTE colour = gColourTable[COLOUR_FRAMES];
    const int column =
        gSplitScreen && gCurrentSide == 1 && gWindowMode != WM_ARCHIVE_FILE ? gSplitColumn : 0;
    const int top = gPanes[pane].FileWindowOpen ? int(gPanes[pane].FileAreaRow) : 2;
    if (eraseOld && gThumbRow[pane] >= 0)
        ScrPutChar(gThumbRow[pane], column, gIniWorking.scrollTrack, colour);
    const int row = ScrollMarkRow(p, total, rows, top);
    ScrPutChar(row, column, MarkChar(row, top, top + int(rows) - 1), colour);
    gThumbRow[pane] = row;
}

void DrawScrollThumbArc(DWORD p, DWORD total, DWORD rows) {
    static int lastRow[2] = {-1, -1};
    const WORD pane = gCurrentPane & 1;
    const BYTE colour = gColourTable[COLOUR_FRAMES];
    int column = 1;
    if (gAutoview[pane])
        column = gLeftLastColumn + 3; // the autoview pane's width + 2
    else if (gSplitScreen && gCurrentSide == 1)
        column = gSplitColumn + 1;
    if (lastRow[pane] >= 0) ScrPutChar(lastRow[pane], column, gIniWorking.scrollTrack, colour);
    const int row = ScrollMarkRowArc(p, total, rows);
    ScrPutChar(row, column, MarkChar(row, 3, int(rows)), colour);
    lastRow[pane] = row;
}

void DrawScrollThumbList(WORD top, DWORD rows, DWORD p, DWORD total) {
    const BYTE colour = gColourTable[COLOUR_FRAMES];
    const PaneState& state = gPanes[gCurrentPane & 1];
    const int column = int(state.PaneColumn);
    DrawScrollTrack(top, WORD(column), WORD(top + rows), colour);
    const int firstRow = int(state.FileAreaRow);
    const int row = ScrollMarkRowList(p, total, rows, firstRow);
    ScrPutChar(row, column, MarkChar(row, firstRow, firstRow + int(rows) - 1), colour);
}

// ---- the text cursor ------------------------------------------------------------------------

void CycleCursorRow(WORD direction) {
    int row = gCursorRow;
    int column = gCursorCol;
    auto up = [&] { row = row == 0 ? 250 : row - 1; };
    auto down = [&] { row = row >= 249 ? 0 : row + 1; };
    switch (direction) {
    case CURSOR_UP:
        up();
        break;
    case CURSOR_DOWN:
        down();
        break;
    case CURSOR_LEFT:
        if (column == 0) {
            column = 1023;
            up();
        } else {
            column--;
        }
        break;
    case CURSOR_RIGHT:
        if (column >= 1023) {
            column = 0;
            down();
        } else {
            column++;
        }
        break;
    default:
        return;
    }
    ScrSetCursorPos(row, column);
}
