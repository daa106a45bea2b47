// The tree window's line list and its layout switches: the rows built from
// the current disk's directories (mark, branch lines, name and size column)
// and the path line on row 0 with the terminal title.
#include "main/tree_window.h"

#include "main/statistics.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "qposix_path.h"
#include "remote/remote_drives.h"
#include "settings/quit.h"
#include "settings/settings.h"
#include "tree/tree_records.h"
#include "ui/progress.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

WCHAR* gTreeLines[2] = {nullptr, nullptr};
DWORD gTreeLineRows[2] = {0, 0};
WORD gTreeIndent = 3;
WORD gTreeFirstLine = 0;
WCHAR gMarkLogged = u'\u00B7';
WCHAR gMarkUnlogged = u'+';

namespace {

constexpr WCHAR kCutMark = u'\u25BA';
constexpr WCHAR kPartialUnread = u'\u00F7';

// A directory whose files are to be read again counts as partly known.
bool IsPartial(const SubdirInfo* d) { return (d->bRefresh & 1) != 0; }

// The next directory in display order: the first child, else the row after
// the directory's branch.
SubdirInfo* NextInDisplayOrder(const SubdirInfo* d) { return d->psiChild ? d->psiChild : d->psiNext; }

// The sibling after d, or null when d is the last one of its parent.
const SubdirInfo* NextSibling(const SubdirInfo* d) {
    return d->psiNext && d->psiNext->wLevel == d->wLevel ? d->psiNext : nullptr;
}

// The mark column of a directory's row from its read state, whether its
// subdirectories are read, whether it is only partly known and, below the
// root, whether its children are hidden.
WCHAR TreeMark(const SubdirInfo* d, bool root) {
    const bool partial = IsPartial(d);
    if (root) {
        if (d->bLogged != 0) return partial ? u'-' : d->bExpanded ? u' ' : gMarkLogged;
        return partial ? kPartialUnread : gMarkUnlogged;
    }
    if (d->bLogged == 1) {
        if (!d->bExpanded) return gMarkLogged;
        return partial ? u'-' : u' ';
    }
    const SubdirInfo* next = NextInDisplayOrder(d);
    if (!d->bExpanded && next && !next->bVisible) return u':';
    return partial ? kPartialUnread : gMarkUnlogged;
}

// Cuts text to the tree width: a longer text ends in the cut mark in its
// last column.
void CutToWidth(std::u16string& text, size_t width) {
    if (text.size() <= width) return;
    text.resize(width);
    if (width > 0) text[width - 1] = kCutMark;
}

// Stores a row's text (with the size column when it is on) and its
// directory at list index line.
void StoreRow(int line, std::u16string text, const SubdirInfo* dir, bool sizeColumn) {
    const size_t width = gTreeWidth;
    CutToWidth(text, width);
    std::vector<WCHAR> row(width + 2, 0);
    std::copy(text.begin(), text.end(), row.begin());
    if (sizeColumn) FormatCountK(const_cast<SubdirInfo*>(dir), row.data(), WORD(width + 1));
    ScrPutLineBuf(line, 0, row.data(), dir);
}

// The display form of a drive path, of at most 500 units.
std::u16string DisplayForm(const WCHAR* path) {
    WCHAR shown[1025];
    const int n = PathMapDriveLetter(path, shown, 1025);
    return std::u16string(shown, size_t(std::clamp(n, 0, 500)));
}

std::u16string Limit500(const WCHAR* text) {
    std::u16string s(text ? text : u"");
    if (s.size() > 500) s.resize(500);
    return s;
}

// The root row's text after its mark.
std::u16string RootText(const DiskInfo* disk) {
    if (disk->cDrive == '$') return u"\\ " + DisplayForm(disk->wszDevice);
    const WCHAR root[] = {WCHAR(disk->cDrive), u':', u'\\', 0};
    std::u16string text = DisplayForm(root);
    if (!RdIsRemoteDrive(disk->cDrive)) text += u" " + Limit500(disk->wszDevice);
    return text;
}

bool AnyDirectoryRead(const DiskInfo* disk) {
    for (const SubdirInfo* d = disk->psiRoot; d; d = NextInDisplayOrder(d))
        if (d->bLogged == 1) return true;
    return false;
}

// The tree rows need at least this much room per level.
WORD Indent() { return gTreeIndent >= 2 ? gTreeIndent : WORD(3); }

// Fits a path to exactly width cells: its display form, padded with blanks,
// or its first 18 characters, "..." and its last width - 21 characters.
std::u16string FitPath(const WCHAR* path, size_t width) {
    width = std::min<size_t>(width, 1024);
    WCHAR shown[1026];
    const int n = PathMapDriveLetter(path, shown, 1026);
    std::u16string text(shown, size_t(std::max(n, 0)));
    if (text.size() <= width) {
        text.append(width - text.size(), u' ');
        return text;
    }
    if (width < 21) return text.substr(0, width);
    return text.substr(0, 18) + u"..." + text.substr(text.size() - (width - 21));
}

} // namespace

void showtree() {
    const bool wasBusy = gBusyFlag.load() != 0;
    if (!wasBusy) SetBusy(1);
    const int pane = gCurrentPane & 1;
    gTreeFirstLine = gSettings.bFixedBar ? 3 : 0;

    std::free(gTreeLines[pane]);
    gTreeLines[pane] = nullptr;
    gTreeLineRows[pane] = 0;
    DiskInfo* const disk = pdiCurrent;
    DWORD dirs = 0;
    if (disk)
        for (const SubdirInfo* d = disk->psiRoot; d; d = NextInDisplayOrder(d)) dirs++;
    const size_t rows = size_t(gScreenRows) + dirs + 1;
    const size_t stride = gTreeLineStride;
    WCHAR* lines = static_cast<WCHAR*>(CallocOrNull(rows, stride * sizeof(WCHAR)));
    if (!lines) {
        // The request's size goes out with the fatal message.
        static char request[96];
        snprintf(request, sizeof request, "showtree() \nRequested %d KB (%d x %d)",
                 int(rows * stride * sizeof(WCHAR) / 1024), int(rows), int(stride * sizeof(WCHAR)));
        FatalMemoryError("Qtb", __LINE__, request);
    }
    // Every row: blanks, and no directory.
    for (size_t r = 0; r < rows; r++)
        std::fill(lines + r * stride, lines + r * stride + std::min<size_t>(gTreeWidth, stride), u' ');
    gTreeLines[pane] = lines;
    gTreeLineRows[pane] = DWORD(rows);

    if ((gPickerActive || gWindowMode == WM_TREE || gWindowMode == WM_ARCHIVE_DIR) &&
        !(gAutoview[pane] && gScreenCols < 120))
        ShowDiskStats();

    if (!disk || !disk->psiRoot) {
        if (!wasBusy) SetBusy(0);
        return;
    }
    SubdirInfo* const root = disk->psiRoot;
    const bool sizeColumn = gTreeSizeMode != 0 && !gPickerActive;
    std::u16string text(1, TreeMark(root, true));
    text += RootText(disk);
    StoreRow(gTreeFirstLine, text, root, sizeColumn && AnyDirectoryRead(disk));
    disk->dwTreeRows = 0;
    if (!root->bExpanded) {
        if (!wasBusy) SetBusy(0);
        return;
    }

    const int indent = Indent();
    const int q = (sizeColumn ? int(gTreeWidth) - 10 : int(gTreeWidth)) / indent;
    const int limit = std::min(q - 4, std::min(1024 / indent - 1, 511));
    // The last directory drawn at each level, for the branch lines of the
    // rows below it.
    std::vector<const SubdirInfo*> last(size_t(std::max(limit, 0)) + 1, nullptr);
    int line = gTreeFirstLine + 1;
    for (SubdirInfo* d = NextInDisplayOrder(root); d; d = NextInDisplayOrder(d)) {
        if (!d->pszName || !d->pszName[0] || !d->bVisible) continue;
        const int v = int(d->wLevel);
        text.assign(1, TreeMark(d, false));
        for (int k = 1; k <= std::min(limit, v) - 1; k++) {
            const SubdirInfo* above = last[size_t(k)];
            text += !above || NextSibling(above) ? u'\u2502' : u' ';
            text.append(size_t(indent - 1), u' ');
        }
        if (v > limit) {
            text += u"...";
        } else {
            text += NextSibling(d) ? u'\u251C' : u'\u2514';
            text.append(size_t(indent - 1), u'\u2500');
            if (v < limit) last[size_t(v)] = d;
        }
        text += d->pszName;
        StoreRow(line++, text, d, sizeColumn);
        disk->dwTreeRows++;
    }
    if (!wasBusy) SetBusy(0);
}

SubdirInfo* FindPathFromPos(DWORD row, int mode, int caller) {
    (void)mode;
    (void)caller;
    const int pane = gCurrentPane & 1;
    const WCHAR* lines = gTreeLines[pane];
    if (!lines || row >= gTreeLineRows[pane] || gTreeLineStride < gTreeWidth + 4) return nullptr;
    // The pointer follows the row's text, stored unaligned.
    SubdirInfo* dir = nullptr;
    std::memcpy(&dir, lines + size_t(row) * gTreeLineStride + gTreeWidth, sizeof dir);
    return dir;
}

void SetPathTitle(int shortForm, const WCHAR* path) {
    if (!path) return;
    const bool drive = path[0] && path[1] == u':';
    if (drive) {
        const WCHAR* lastSep = nullptr;
        int separators = 0;
        for (const WCHAR* p = path; *p; p++)
            if (*p == u'\\') {
                separators++;
                lastSep = p;
            }
        if (separators > 1 && shortForm && !(gTitleLayout.flags & TITLE_FLAG_PATH_SPLIT)) {
            SetConsoleTitleText(0, lastSep + 1);
            return;
        }
        WCHAR shown[1025];
        PathMapDriveLetter(path, shown, 1025);
        SetConsoleTitleText(0, shown);
        return;
    }
    // A path inside an archive: its last component.
    const WCHAR* name = path;
    for (const WCHAR* p = path; *p; p++)
        if (*p == u'\\' && p[1]) name = p + 1;
    SetConsoleTitleText(0, name);
}

void ShowPathLine(const WCHAR* path) {
    if (!path) path = u"";
    const int pane = gCurrentPane & 1;
    int column = 1;
    int width = gScreenMaxCol - 22;
    if (gSplitScreen) {
        const bool side1 = gCurrentSide == 1;
        const bool picker = gPickerActive != 0;
        column = gAutoview[pane] || (side1 != picker) ? gSplitColumn + 1 : 1;
        if (gAutoview[pane])
            width = gScreenMaxCol;
        else if (side1 && gSplitLayout != 0)
            width = gTreeWidth + (gSplitLayout == 1 ? 1 : 0);
        else
            width = gLeftLastColumn;
    }
    width = std::clamp(width, 0, 1024);
    if (!(gTitleLayout.flags & TITLE_FLAG_PATH_SPLIT)) {
        const std::u16string fitted = FitPath(path, size_t(width));
        ScrPutWStrN(0, column, fitted.c_str(), int(fitted.size()), gNormalAttr);
        if (!gPickerActive && (gTitleLayout.flags & TITLE_FLAG_OBJECT)) SetPathTitle(1, path);
        return;
    }
    // The volume-and-path form: the path line shows what follows the first
    // backslash, the title the part up to it.
    std::u16string text(path);
    if (text.size() > 1024) text.resize(1024);
    const size_t sep = text.find(u'\\');
    const std::u16string rest = sep == std::u16string::npos ? std::u16string() : text.substr(sep + 1);
    const std::u16string fitted = FitPath(rest.c_str(), size_t(width));
    ScrPutWStrN(0, column, fitted.c_str(), int(fitted.size()), gNormalAttr);
    if (sep != std::u16string::npos) text.resize(sep + 1);
    if (!gPickerActive) SetPathTitle(0, text.c_str());
}
