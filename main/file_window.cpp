// The small file window under the tree: the current directory's entries, or
// a message when there is nothing to show, with the directory's name and
// figures in the statistics panel and its path on the path line.
#include "main/file_window.h"

#include "main/statistics.h"
#include "main/tree_window.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "settings/colours.h"
#include "settings/settings.h"
#include "tree/tree_records.h"
#include "ui/command_menus.h"

#include <string>
#include <vector>

DWORD gFilesWithList[2];

namespace {

// The first column of the current pane's half.
int PaneColumn() { return gSplitScreen && gCurrentSide == 1 ? gSplitColumn : 0; }

// The colour of the empty window's area and texts: one for directory
// listings, one for file listings.
BYTE EmptyWindowColour(bool dirs) {
    return gColourTable[dirs ? COLOUR_DMNORMAL : COLOUR_NORMAL];
}

// Blanks the small window's area of the pane in colour and draws its scroll
// track in the frame column.
void ClearSmallWindow(BYTE colour) {
    const int pc = PaneColumn();
    int right = pc + gTreeWidth;
    if (gSplitScreen && gCurrentSide == 1 && gSplitLayout == 1) right++;
    ScrClearArea(gSmallWindowRow, pc + 1, gSmallWindowLastRow, right, colour);
    for (int row = gSmallWindowRow; row < gFrameLastRow; row++)
        ScrPutChar(row, pc, gIniWorking.scrollTrack, gMessageAttr);
}

// Shows text on the small window's first row, unless it already stands
// there (its first 14 characters compared); the area is cleared first.
void ShowWindowMessage(const char16_t* text, bool dirs) {
    const int pc = PaneColumn();
    const int column = dirs ? pc + 4 : pc + 2;
    const std::u16string wanted(text);
    const size_t compared = std::min<size_t>(14, wanted.size());
    std::u16string shown(compared, u'\0');
    ScrGetWChars(gSmallWindowRow, column, shown.data(), int(compared));
    if (shown == wanted.substr(0, compared)) return;
    const BYTE colour = EmptyWindowColour(dirs);
    ClearSmallWindow(colour);
    if (dirs) ScrPutChar(gSmallWindowRow, pc + 2, u'\u2502', colour);
    ScrPutWStr(gSmallWindowRow, column, text, colour);
}

bool Tagged(BYTE flags) { return (flags & (ENTRY_TAGGED | ENTRY_MARKED)) != 0; }

// One entry in a row of the window's first column: the mark cell (the tag
// mark in the tag colour when tagged) and the name.
void PutEntry(int row, const WCHAR* name, BYTE flags, bool dirs) {
    const int pc = PaneColumn();
    const BYTE colour = EmptyWindowColour(dirs);
    ScrPutChar(row, pc + 1, Tagged(flags) ? u'\u2666' : u' ',
               Tagged(flags) ? gColourTable[COLOUR_TAGN] : colour);
    const int room = gTreeWidth - 2;
    std::u16string text(name);
    if (int(text.size()) > room && room > 0) text.resize(size_t(room));
    ScrPutWStrN(row, pc + 2, text.c_str(), int(text.size()), colour);
}

} // namespace

void DrawDirFiles(int full) {
    (void)full; // the window always starts at the first entry
    const SubdirInfo* dir = psiCurrent;
    if (!dir) return;
    const int pane = gCurrentPane & 1;
    const bool dirs = gDirMode[pane] != 0;
    if (dirs ? dir->psiChild == nullptr : (dir->dwFiles == 0 || !dir->pFiles)) {
        ShowWindowMessage(dir->bLogged == 5 ? u"Access Denied!"
                          : dirs            ? u"No directories"
                                            : u"No files      ",
                          dirs);
        return;
    }
    // The entries that pass the pane's filter, in array order.
    std::vector<std::pair<std::u16string, BYTE>> shown;
    if (dirs) {
        for (const SubdirInfo* d = dir->psiChild; d && d->wLevel == dir->wLevel + 1; d = d->psiNext)
            if (d->bFlags[pane] & ENTRY_MATCHES) shown.emplace_back(d->pszName, d->bFlags[pane]);
    } else {
        WCHAR name[TREE_MAX_FULL_NAME + 1];
        for (const FileEntry* f = dir->pFiles; f < dir->pFiles + dir->dwFiles; f++) {
            if (IsDriveEntry(f) || !(f->bFlags[pane] & ENTRY_MATCHES)) continue;
            GetFileDisplayName(name, f);
            shown.emplace_back(name, f->bFlags[pane]);
        }
    }
    if (shown.empty()) {
        ShowWindowMessage(dirs ? u"No directories match the filter" : u"No files match the filter",
                          dirs);
        return;
    }
    ClearSmallWindow(EmptyWindowColour(dirs));
    for (size_t i = 0; i < shown.size() && i < gSmallWindowRows; i++)
        PutEntry(gSmallWindowRow + int(i), shown[i].first.c_str(), shown[i].second, dirs);
}

void ShowFileWindow() {
    const SubdirInfo* dir = psiCurrent;
    ShowCurrentDirName();
    ShowCurrentDirStats();
    if (!dir) return;
    if (dir->pszFullName) ShowPathLine(dir->pszFullName);
    const bool dirs = gDirMode[gCurrentPane & 1] != 0;
    if (dir->bLogged != 0 || (dirs && dir->bExpanded)) {
        DrawDirFiles(1);
        return;
    }
    ShowWindowMessage(u"Directory contents not logged", dirs);
}

KeyCode FileWindowLoop(int first) {
    (void)first;
    return KC_ESC;
}
