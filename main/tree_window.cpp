// The tree window's line list and its layout switches: the rows built from
// the current disk's directories (mark, branch lines, name and size column)
// and the path line on row 0 with the terminal title.
#include "main/tree_window.h"

#include "main/statistics.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "qprintf.h"
#include "qstdio.h"
#include "qposix_path.h"
#include "remote/remote_drives.h"
#include "settings/quit.h"
#include "settings/settings.h"
#include "main/startup_options.h"
#include "tree/tree_records.h"
#include "settings/clock.h"
#include "settings/colours.h"
#include "settings/folders.h"
#include "ui/line_editor.h"
#include "ui/progress.h"
#include "ui/text_helpers.h"
#include "ui/shown_names.h"

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
BOOL gDebugSwitch = FALSE;

namespace {

constexpr char kModule[] = "Qtb";
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
        if (d->bLogged != 0) return partial ? u'-' : d->bExpanded ? u' ' : LoggedMark();
        return partial ? kPartialUnread : UnloggedMark();
    }
    if (d->bLogged == 1) {
        if (!d->bExpanded) return LoggedMark();
        return partial ? u'-' : u' ';
    }
    const SubdirInfo* next = NextInDisplayOrder(d);
    if (!d->bExpanded && next && !next->bVisible) return u':';
    return partial ? kPartialUnread : UnloggedMark();
}

// Stores a row's text (with the size column when it is on) and its
// directory at list index line.
void StoreRow(int line, std::u16string text, const SubdirInfo* dir, bool sizeColumn) {
    const size_t width = gTreeWidth;
    CutShownCells(text, width, kCutMark);
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

// The root row's cells after its mark: mount paths and device names are
// names too, shown as readably as the directories below them.
std::u16string RootText(const DiskInfo* disk) {
    std::u16string cells;
    if (disk->cDrive == '$') {
        cells = u"\\ ";
        AppendShownName(cells, DisplayForm(disk->wszDevice));
        return cells;
    }
    const WCHAR root[] = {WCHAR(disk->cDrive), u':', u'\\', 0};
    AppendShownName(cells, DisplayForm(root));
    if (!RdIsRemoteDrive(disk->cDrive)) {
        cells += u' ';
        AppendShownName(cells, Limit500(disk->wszDevice));
    }
    return cells;
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

// The display form of the open archive (the '$' disk's path), empty when
// none is open.
std::u16string ArchiveDisplayName() {
    for (const DiskInfo* d = pdiCurrent; d; d = nullptr)
        if (d->cDrive == '$') return DisplayForm(d->wszDevice);
    return std::u16string();
}

// Levels the tree rows draw connectors for (step of showtree's layout).
int DepthLimitQ(bool sizeColumn) {
    const int indent = Indent();
    return (sizeColumn ? int(gTreeWidth) - 10 : int(gTreeWidth)) / indent;
}

} // namespace

WCHAR LoggedMark() { return gAltKeyMode ? gMarkUnlogged : gMarkLogged; }
WCHAR UnloggedMark() { return gAltKeyMode ? gMarkLogged : gMarkUnlogged; }

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
    const int q = DepthLimitQ(sizeColumn);
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
        AppendShownName(text, d->pszName);
        StoreRow(line++, text, d, sizeColumn);
        disk->dwTreeRows++;
    }
    if (!wasBusy) SetBusy(0);
}

namespace {

// The directory pointer of list row row of the current pane, null for a
// row outside the list or without a directory.
SubdirInfo* RowDirectory(DWORD row) {
    const int pane = gCurrentPane & 1;
    const WCHAR* lines = gTreeLines[pane];
    if (!lines || row >= gTreeLineRows[pane] || gTreeLineStride < gTreeWidth + 4) return nullptr;
    // The pointer follows the row's text, stored unaligned.
    SubdirInfo* dir = nullptr;
    std::memcpy(&dir, lines + size_t(row) * gTreeLineStride + gTreeWidth, sizeof dir);
    return dir;
}

std::string Utf8(const WCHAR* text, size_t maxUnits = 1024) {
    std::u16string s(text ? text : u"");
    if (s.size() > maxUnits) s.resize(maxUnits);
    std::string out(s.size() * 3 + 1, '\0');
    const SSIZE_T n = Utf16ToUtf8(s.c_str(), SSIZE_T(s.size()), out.data(), out.size());
    out.resize(n < 0 ? std::strlen(out.c_str()) : size_t(n));
    return out;
}

// The dump a row without a directory gives under the debug switch: the
// tree's state on standard output and in QBK.LOG of the data folder.
void WriteTreeDump(FILE* log, DWORD row, int caller) {
    const int pane = gCurrentPane & 1;
    const DiskInfo* disk = pdiCurrent;
    const DWORD count = disk ? disk->dwTreeRows : 0;
    fprintf(log, "\nException in module: %s Called From: %d - FindPathFromPos()\nrow [%d] Max [%d] Split[%s]\n",
            kModule, caller, int(row) - int(gTreeFirstLine), int(count), gSplitScreen ? "Yes" : "No");
    if (!disk) {
        fprintf(log, "pdiCurrent is invalid\n");
    } else {
        fprintf(log, "Saved Pathname = %s\n", Utf8(disk->wszSavedPath[pane]).c_str());
        fprintf(log, "        Offset = [%3d]\n", int(disk->dwTreeTop[pane]) - int(gTreeFirstLine));
        fprintf(log, "          yBar = [%3d]\n\n", int(disk->yBar[pane]));
    }
    if (psiCurrent && psiCurrent->pszFullName)
        fprintf(log, "psiCurrent->pszFullName = %s\n\n", Utf8(psiCurrent->pszFullName).c_str());
    else
        fprintf(log, "psiCurrent is invalid\n\n");
    const WCHAR* lines = gTreeLines[pane];
    for (DWORD r = gTreeFirstLine; lines && r < gTreeLineRows[pane]; r++) {
        std::u16string text(lines + size_t(r) * gTreeLineStride, std::min<size_t>(gTreeWidth, 259));
        fprintf(log, "%s\n", Utf8(text.c_str()).c_str());
        if (!RowDirectory(r)) break;
    }
}

[[noreturn]] void StopWithTreeDump(DWORD row, int caller) {
    SetBusy(0);
    StatusThreadControl(0);
    EndScreenSession();
    const BOOL terminal = FreeConsole();
    HistSave(0, nullptr, 0, 0, 0);
    const DiskInfo* disk = pdiCurrent;
    printf("\nException in module: %s - FindPathFromPos()\n", kModule);
    printf("\nCalled From: %d - row [%d] Max [%d]\n", caller, int(row) - int(gTreeFirstLine),
           int(disk ? disk->dwTreeRows : 0));
    // The data folder ends in a backslash already.
    std::u16string folder(gDataDir);
    if (!folder.empty() && folder.back() == u'\\') folder.pop_back();
    WCHAR path[FOLDER_UNITS + 16];
    swprintf(path, FOLDER_UNITS + 16, u"%s\\%hs.LOG", folder.c_str(), "QBK");
    if (FILE* log = _wfopen(path, u"w")) {
        printf("\nSee %s.LOG for debug information\n", "QBK");
        WriteTreeDump(log, row, caller);
        fclose(log);
    }
    fflush(stdout);
    if (terminal) {
        ConsolePromptKey("\nPress Any Key...");
    } else {
        printf("\nPress Any Key...\n");
    }
    // Other threads may still run: no clean-up of exit() behind their back.
    fflush(nullptr);
    std::_Exit(-1);
}

} // namespace

SubdirInfo* FindPathFromPos(DWORD row, int mode, int caller) {
    SubdirInfo* dir = RowDirectory(row);
    if (!dir) {
        if (mode != 0 && gDebugSwitch) StopWithTreeDump(row, caller);
        return nullptr;
    }
    const DWORD count = pdiCurrent ? pdiCurrent->dwTreeRows : 0;
    const DWORD index = row >= gTreeFirstLine ? row - gTreeFirstLine : 0;
    if (mode == 1)
        DrawScrollThumb(index, count, gSmallWindowRow >= 3 ? DWORD(gSmallWindowRow - 3) : 0, TRUE);
    else if (mode == 2)
        DrawScrollThumbArc(index, count, gScreenRows >= 6 ? DWORD(gScreenRows - 6) : 0);
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
    // A path inside an archive: the archive's name and the last component.
    const WCHAR* name = path;
    for (const WCHAR* p = path; *p; p++)
        if (*p == u'\\' && p[1]) name = p + 1;
    std::u16string title = ArchiveDisplayName();
    title += u" : ";
    title += name;
    title += u'\\';
    SetConsoleTitleText(0, title.c_str());
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

void DrawTreeCursorBar(int row, int column, BYTE attr, const SubdirInfo* dir) {
    if (!dir) return;
    const int pane = gCurrentPane & 1;
    const bool picker = gPickerActive != 0;
    const int screenRow = row + (picker ? 3 : 2);
    const int t = gTreeWidth;
    const int x0 = (gSplitScreen && gCurrentSide == 1) || gAutoview[pane] ? int(gSplitColumn) : 0;
    const int right = x0 + t; // the tree's right edge (last column)
    // The root has no connector: its bar starts on the mark cell, never on
    // the frame left of it.
    if (column < x0 + 1) column = x0 + 1;
    const int c = column - x0;
    const bool sizeColumn = gTreeSizeMode != 0 && !picker;
    int start = column;
    int run = 0;
    if (sizeColumn) {
        if (c <= t - 17) {
            run = t;
        } else {
            start = x0 + t - 17;
        }
    } else {
        // The root's row shows its mount path and device, which its name
        // width does not know of.
        const size_t width = dir->wLevel == 0 && dir->pdiDisk ? RootText(dir->pdiDisk).size() : dir->wNameWidth;
        run = std::max<int>(int(width), 14);
        if (c > t - 7) start = x0 + t - 7;
    }
    // Beyond the depth limit the row has no connector: its "..." stands
    // one column further left.
    if (int(dir->wLevel) > DepthLimitQ(sizeColumn) - 4) start--;
    const int runStart = start + 1;
    if (run == 0 || runStart + run - 1 > right) run = right - runStart + 1;
    if (picker) run--;
    ScrFillAttr(screenRow, start, attr, 1);
    if (run <= 0) return;
    BYTE runAttr = attr;
    // Taking the bar away gives a name its attribute colour back, as the
    // row painter gives it (none in plain colours).
    if (attr == gNormalAttr && !picker && dir->wLevel != 0) {
        const BYTE own = TreeDirRowColour(dir);
        if (own != gTreeColours.directory) runAttr = own;
    }
    ScrFillAttr(screenRow, runStart, runAttr, run);
}

void DrawCursorMark(int row) {
    const int column = gCurrentSide * gSplitColumn + 1;
    ScrSetCursorPos(row, column);
    WCHAR c = u' ';
    ScrGetWChars(row, column, &c, 1);
    ScrPutChar(row, column, c == u' ' ? u'\u2192' : c, gColourTable[COLOUR_BAR]);
}

void DrawPathLine(const WCHAR* path) {
    if (!path) path = u"";
    const int column = gCurrentSide == 1 ? gSplitColumn + 1 : 1;
    int width = gScreenMaxCol - 22;
    if (gSplitScreen) {
        width = gLeftLastColumn;
        if (gCurrentSide == 1 && gSplitLayout != 0) width = gTreeWidth + (gSplitLayout == 1 ? 1 : 0);
    }
    width = std::clamp(width, 0, 260);
    WCHAR fitted[1025];
    FitPathToWidth(fitted, path, WORD(width));
    BYTE attr = gNormalAttr;
    if (gDisplayMode[gCurrentPane & 1] == 3 && gExtraColours.currPath != 0) attr = gExtraColours.currPath;
    ScrPutWStrN(0, column, fitted, width, attr);
}

void DrawPathLineIfTree(const WCHAR* path) {
    const int pane = gCurrentPane & 1;
    const int mode = gDisplayMode[pane];
    if ((mode == 3 || mode == 4 || mode == 5) && !gAutoview[pane]) DrawPathLine(path);
}

void FormatPathLine(const WCHAR* entryPath) {
    if (!(gTitleLayout.flags & TITLE_FLAG_OBJECT_LINE)) return;
    if (!entryPath) entryPath = u"";
    const SubdirInfo* dir = psiCurrent;
    const std::u16string archive = ArchiveDisplayName();
    if (gTitleLayout.flags & TITLE_FLAG_PATH_SPLIT) {
        std::u16string full = dir && dir->pszFullName ? dir->pszFullName : u"";
        if (!full.empty() && full.back() != u'\\') full += u'\\';
        full += entryPath;
        ShowPathLine(full.c_str());
        return;
    }
    std::u16string title;
    if (!archive.empty()) {
        title = archive + u" : " + entryPath;
    } else {
        const WCHAR drive = pdiCurrent ? WCHAR(pdiCurrent->cDrive) : u'?';
        title = {drive, u':', dir && dir->wLevel == 0 ? u'\\' : u' '};
        title += entryPath;
    }
    SetConsoleTitleText(0, title.c_str());
}
