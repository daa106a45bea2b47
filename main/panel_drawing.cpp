// The figures of the statistics panel (disk, matching and tagged files and
// bytes), its heading lines, the running figures of a log, the current
// directory's name and figures, and the logo box.
#include "main/statistics.h"

#include "archive/archive_state.h"
#include "main/file_window.h"
#include "main/process_entry.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "qposix_path.h"
#include "settings/clock.h"
#include "settings/colours.h"
#include "settings/settings.h"
#include "tree/filter.h"
#include "tree/log_state.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "ui/command_menus.h"
#include "ui/numbers_dates.h"

#include <algorithm>
#include <cstring>
#include <string>

BOOL gLogoShown = FALSE;

namespace {

constexpr char kCountPicture[] = "###,###,###,###";
constexpr char kBytesPicture[] = "###,###,###,###,###";

// The left border column of the panel that shows the current pane's
// figures, or -1 when no panel shows them: split screen without panels,
// or the pane in autoview (unless the directory picker is open).
int PanelColumn() {
    const int pane = gCurrentPane & 1;
    if (gAutoview[pane] && !gPickerActive) return -1;
    if (!gSplitScreen) return gScreenMaxCol - 21;
    if (gSplitLayout == 0) return -1;
    if (gSplitLayout == 2 && gCurrentSide == 0) return gLeftLastColumn - 21;
    return gScreenMaxCol - 21;
}

// A count in its 15-cell picture with its first cell at column.
void PutCount(int row, int column, ULONGLONG value) {
    char text[32];
    FormatNumberPicture(text, LONGLONG(value), kCountPicture);
    ScrPutStr(row, column, text, gKeyLetterAttr);
}

// A byte figure whose 15-cell field starts at column v: the 19-cell picture
// from v - 4; when the number fits the 15 cells, the "Bytes" label stands
// in front of it at v - 5, else the digits take the label's place.
void PutBytes(int row, int v, ULONGLONG value, BYTE labelAttr = 0) {
    char text[32];
    FormatNumberPicture(text, LONGLONG(value), kBytesPicture);
    ScrPutStr(row, v - 4, text, gKeyLetterAttr);
    if (text[3] == ' ') ScrPutStr(row, v - 5, "Bytes", labelAttr ? labelAttr : gNormalAttr);
}

// The column rule of the current directory's name and figures: offset
// cells left of the right edge of the panel that belongs to the pane.
int CurrentDirColumn(int offset) {
    const int pane = gCurrentPane & 1;
    if (gAutoview[pane]) return gScreenMaxCol - offset;
    const int side = gPickerActive ? 1 - gCurrentSide : gCurrentSide;
    if (gSplitScreen && gSplitLayout == 2 && side == 0) return gLeftLastColumn - offset;
    return gScreenMaxCol - offset;
}

// The banner of the logo box: the program's name in block letters, each
// glyph row drawn twice with the upper-half block.
constexpr int kBannerLines = 14;
constexpr int kBannerWidth = 40;
// clang-format off
const char* const kGlyphRows[7] = {
    " ###   #   #   ###   #       ####   ",
    "#   #  #   #    #    #       #   #  ",
    "#   #  #   #    #    #       #   #  ",
    "#   #  #   #    #    #       ####   ",
    "# # #  #   #    #    #       #   #  ",
    "#  #   #   #    #    #       #   #  ",
    " ## #   ###    ###   #####   ####   ",
};
// clang-format on

std::u16string BannerLine(int line) {
    const char* glyphs = kGlyphRows[line / 2];
    std::u16string text(kBannerWidth, u' ');
    for (size_t i = 0; glyphs[i] && i < text.size(); i++)
        if (glyphs[i] == '#') text[i + 2] = u'\u2580';
    return text;
}

constexpr char kMakerLine[] = "(c) 2026 the Quilb developers";

void PutLogoText(int bannerRow, int versionRow, int makerRow, int bannerColumn, int c) {
    for (int i = 0; i < kBannerLines; i++) {
        const std::u16string line = BannerLine(i);
        ScrPutWStrN(bannerRow + i, bannerColumn, line.c_str(), int(line.size()), gNormalAttr);
    }
    ScrPutStr(versionRow, c + 16, "Version:", gNormalAttr);
    ScrPutStr(versionRow, c + 25, QB_VERSION_TEXT, gKeyLetterAttr);
    ScrPutStr(makerRow, c + 6, kMakerLine, gNormalAttr);
}

// The program line (the product name and version, right-aligned to c + 19)
// and the maker's notice under it, on screens of more than 30 rows, in the
// panel right of the middle when the screen is split.
void PutProgramLines(int c) {
    if (gScreenRows <= 30) return;
    if (gSplitScreen && (gSplitLayout == 0 || c <= gScreenCols / 2)) return;
    char program[48];
    snprintf(program, sizeof program, "%s v%s", QUILB_PRODUCT_NAME, QB_VERSION_TEXT);
    ScrPutStr(gScreenRows - 6, c + 20 - int(std::strlen(program)), program, gNormalAttr);
    ScrPutStr(gScreenRows - 5, c + 1, "(c) Quilb team", gNormalAttr);
}

// The file window lists files (not directories) in the current pane.
bool FileWindowListsFiles() {
    const bool fileWindow = gWindowMode == WM_FILE || gWindowMode == WM_ARCHIVE_FILE;
    return fileWindow && !gDirMode[gCurrentPane & 1];
}

// The heading of row 8 for the window that has the keyboard.
const char* PanelHeading() {
    const bool archive = gArchiveTreeActive && !gPickerActive;
    const bool fileWindow = gWindowMode == WM_FILE || gWindowMode == WM_ARCHIVE_FILE;
    if (!fileWindow || gPickerActive)
        return archive ? "ARCHIVE Statistics  " : "DISK Statistics     ";
    switch (gDisplayMode[gCurrentPane & 1]) {
    case 2:
        return "ARC Directory Stats ";
    case 3:
        return archive ? "ARC Branch Stats  " : "BRANCH Statistics   ";
    case 4:
        return archive ? "ARC Showall Stats " : "SHOWALL Statistics  ";
    case 5:
        return "GLOBAL Statistics   ";
    default:
        return "DIRECTORY Statistics";
    }
}

// The values of rows 2, 4 and 6: the pane's filespec (its filter text), the volume
// label and the free bytes of the current disk.
void PutSpecAndDisk(int c, bool withLabel) {
    const int pane = gCurrentPane & 1;
    const FilterSlot& slot = gFilterSlots[pane];
    std::u16string spec(slot.shortText);
    if (spec.size() > 15) spec.resize(15);
    spec.resize(15, u' ');
    ScrPutWStrN(2, c + 6, spec.c_str(), 15, gKeyLetterAttr);
    const DiskInfo* disk = pdiCurrent;
    if (!disk) return;
    const bool archiveList = gWindowMode == WM_ARCHIVE_DIR || gWindowMode == WM_ARCHIVE_FILE;
    if (withLabel && !archiveList) {
        char label[24];
        snprintf(label, sizeof label, "%-15.15s", disk->szLabel);
        ScrPutStr(4, c + 6, label, gKeyLetterAttr);
    }
    char freeText[32];
    FormatSizeOrUnknown(freeText, disk->qwFreeBytes, kBytesPicture);
    ScrPutStr(6, c + 2, freeText, gKeyLetterAttr);
}

// The "Tagged" block takes the tag colour while anything is tagged.
BYTE TaggedLabelAttr() {
    return gStatTagFiles != 0 ? gColourTable[COLOUR_TAGN] : gNormalAttr;
}

void PutTaggedLabels(int c) {
    const BYTE attr = TaggedLabelAttr();
    const bool dirs = gDirMode[gCurrentPane & 1] != 0;
    ScrPutStr(15, c + 8, "Tagged", attr);
    ScrPutStr(16, c + 1, dirs ? "Dirs " : "Files", attr);
}

} // namespace

void ShowDiskStats() {
    const int pane = gCurrentPane & 1;
    if (gDisplayMode[pane] == 3)
        SumBranchStats(psiCurrent, TRUE);
    else
        SumDiskStats(FALSE);
    const int c = PanelColumn();
    if (c < 0) return;
    const int v = c + 6;
    PutSpecAndDisk(c, true);
    PutCount(10, v, gStatFiles);
    PutBytes(11, v, gStatBytes);
    PutCount(13, v, gStatMatchFiles);
    PutBytes(14, v, gStatMatchBytes);
    PutTaggedLabels(c);
    PutCount(16, v, gStatTagFiles);
    PutBytes(17, v, gStatTagBytes, TaggedLabelAttr());
}

void ShowStatsHeader() {
    const int c = PanelColumn();
    if (c < 0) return;
    const bool archive = gArchiveTreeActive && !gPickerActive;
    ScrPutStr(8, c + 1, archive ? "ARCHIVE Statistics  " : "DISK Statistics     ", gNormalAttr);
    ScrPutStr(18, c + 3, "Current Directory", gNormalAttr);
    // The joints where the panel meets the frame's top and bottom lines,
    // which a log's logo box and tree lines may have drawn over.
    ScrPutChar(1, c, u'\u252C', gMessageAttr);
    ScrPutChar(gFrameLastRow, c, u'\u2534', gMessageAttr);
    PutProgramLines(c);
}

void ShowLogProgress(DiskInfo* disk) {
    if (!disk) return;
    const int pane = gCurrentPane & 1;
    // Split screen without panels has no place for the figures.
    if (gSplitScreen && gSplitLayout == 0) return;
    int x = gTreeWidth + 7;
    if (gSplitScreen && gSplitLayout == 1) x += gSplitColumn + 1;
    if (gSplitScreen && gSplitLayout == 2 && gCurrentSide == 1) x += gSplitColumn;
    // The directories read so far (the count a directory listing shows),
    // and the files of the pane's filter.
    if (!(gDirMode[pane] && gPanes[pane].FileWindowOpen)) {
        PutCount(10, x, disk->dwDirEntries);
        PutCount(13, x, disk->dwMatchFiles[pane]);
    }
    PutBytes(11, x, disk->qwFileBytes);
    PutBytes(14, x, disk->qwMatchBytes[pane]);
}

void ShowCurrentDirName() {
    if (gSplitScreen && gSplitLayout == 0) return;
    const SubdirInfo* dir = psiCurrent;
    if (!dir) return;
    std::u16string name;
    if (dir->wLevel == 0) {
        WCHAR shown[1025];
        const int n = PathMapDriveLetter(dir->pszFullName ? dir->pszFullName : u"", shown, 1025);
        name.assign(shown, size_t(std::max(n, 0)));
    } else if (dir->pszName) {
        name = dir->pszName;
    }
    if (name.size() > 20) {
        name.resize(20);
        name[19] = u'\u25BA';
    }
    name.resize(20, u' ');
    ScrPutWStrN(19, CurrentDirColumn(20), name.c_str(), 20, gKeyLetterAttr);
}

void ShowCurrentDirStats() {
    if (gSplitScreen && gSplitLayout == 0) return;
    const SubdirInfo* dir = psiCurrent;
    if (!dir) return;
    const int column = CurrentDirColumn(15);
    const bool dirs = gDirMode[gCurrentPane & 1] != 0;
    const bool twoRows = gScreenRows >= 26;
    if (dir->bLogged != 0) {
        if (!twoRows) {
            PutCount(20, column, dir->qwFileBytes);
            return;
        }
        PutCount(20, column, dirs ? dir->dwChildren : dir->dwFiles);
        PutCount(21, column, dir->qwFileBytes);
        return;
    }
    const char blanks[] = "               ";
    if (dirs) {
        PutCount(20, column, dir->dwChildren);
    } else {
        ScrPutStr(20, column, blanks, gKeyLetterAttr);
    }
    if (twoRows) ScrPutStr(21, column, blanks, gKeyLetterAttr);
}

void ShowLogoBox(int centred) {
    if (centred) {
        const int r = (gScreenRows - 23) / 2;
        const int c = (gScreenMaxCol - 44) / 2;
        ScrHLine(r, c - 4, 53, u'\u2554', u'\u2550', u'\u2557', gMessageAttr);
        for (int row = r + 1; row <= r + 19; row++)
            ScrHLine(row, c - 4, 53, u'\u2551', u' ', u'\u2551', gMessageAttr);
        ScrHLine(r + 20, c - 4, 53, u'\u255A', u'\u2550', u'\u255D', gMessageAttr);
        PutLogoText(r + 2, r + 18, r + 19, c + 2, c);
    } else {
        const int c = (gTreeWidth - 40) / 2;
        ScrClearArea(2, 1, gSmallWindowLastRow, gTreeWidth, gNormalAttr);
        ScrPutChar(gSmallWindowRow - 1, 0, gIniWorking.scrollTrack, gMessageAttr);
        ScrPutChar(gSmallWindowRow - 1, gScreenMaxCol - 21, u'\u2502', gMessageAttr);
        ScrHLine(1, 0, gTreeWidth + 1, u'\u250C', u'\u2500', u'\u2500', gMessageAttr);
        ScrHLine(gFrameLastRow, 0, gTreeWidth + 1, u'\u2514', u'\u2500', u'\u2500', gMessageAttr);
        if (gScreenRows < 29)
            PutLogoText(3, 19, 20, c, c);
        else if (gScreenRows < 44)
            PutLogoText(6, 22, 23, c, c);
        else
            PutLogoText(10, 26, 27, c, c);
    }
    gLogoShown = TRUE;
}

void ShowListStats() {
    const int pane = gCurrentPane & 1;
    if (gDisplayMode[pane] > 2) {
        ShowDiskStats();
        return;
    }
    SubdirInfo* dir = psiCurrent;
    const bool dirs = gDirMode[pane] != 0;
    if (dirs) {
        SumDirStats(dir);
    } else if (dir) {
        gStatFiles = dir->dwFiles;
        gStatBytes = dir->qwFileBytes;
        gStatMatchFiles = dir->dwMatchFiles[pane];
        gStatMatchBytes = dir->qwMatchBytes[pane];
        gStatTagFiles = dir->dwTagFiles[pane];
        gStatTagBytes = dir->qwTagBytes[pane];
    }
    const int c = PanelColumn();
    if (c < 0 || !dir) return;
    const int v = c + 6;
    PutSpecAndDisk(c, gDisplayMode[pane] == 1);
    char text[32];
    FormatNumberPicture(text, LONGLONG(dirs ? dir->dwChildren : dir->dwFiles), "###,###,###");
    ScrPutStr(10, c + 10, text, gKeyLetterAttr);
    PutBytes(11, v, gStatBytes);
    FormatNumberPicture(text, LONGLONG(gStatMatchFiles), "###,###,###");
    ScrPutStr(13, c + 10, text, gKeyLetterAttr);
    PutBytes(14, v, gStatMatchBytes);
    // The tagged figures are the directory's own, whatever the list shows.
    gStatTagFiles = dir->dwTagFiles[pane];
    gStatTagBytes = dir->qwTagBytes[pane];
    PutTaggedLabels(c);
    PutCount(16, v, gStatTagFiles);
    PutBytes(17, v, gStatTagBytes, TaggedLabelAttr());
}

void ShowStatistics(int c, BOOL withClock) {
    const BYTE frame = gMessageAttr;
    const BYTE label = gNormalAttr;
    const BYTE value = gKeyLetterAttr;
    const int pane = gCurrentPane & 1;
    const bool dirs = gDirMode[pane] != 0;
    const int bottom = gFrameLastRow;
    ScrHLine(1, c, 22, u'\u252C', u'\u2500', u'\u2510', frame);
    for (int row = 2; row < bottom; row++) {
        if (row == 3 || row == 7) {
            ScrHLine(row, c, 22, u'\u251C', u'\u2500', u'\u2524', frame);
            continue;
        }
        ScrPutChar(row, c, u'\u2502', frame);
        ScrClearArea(row, c + 1, row, c + 20, label);
        ScrPutChar(row, c + 21, u'\u2502', frame);
    }
    ScrHLine(bottom, c, 22, u'\u2534', u'\u2500', u'\u2518', frame);

    // The value fields carry the highlight before anything is written in
    // them.
    for (int row : {2, 6, 10, 11, 13, 14, 16, 17, 20})
        if (row < bottom) ScrClearArea(row, c + 6, row, c + 20, value);
    if (19 < bottom) ScrClearArea(19, c + 1, 19, c + 20, value);

    const bool archive = gArchiveTreeActive && !gPickerActive;
    const char* files = dirs ? "Dirs " : "Files";
    ScrPutStr(2, c + 1, dirs ? "DIR" : "FILE", label);
    ScrPutStr(4, c + 1, archive ? "ARCHIVE" : "DISK", label);
    ScrPutStr(5, c + 4, "Available", label);
    ScrPutStr(8, c + 1, PanelHeading(), label);
    ScrPutStr(9, c + 8, "Logged", label);
    ScrPutStr(12, c + 7, "Matching", label);
    ScrPutStr(15, c + 8, "Tagged", label);
    for (int row : {10, 13, 16}) {
        ScrPutStr(row, c + 1, files, label);
        ScrPutStr(row + 1, c + 1, "Bytes", label);
    }
    const int rows = gScreenRows;
    auto below = [&](int row, int column, const char* text) {
        if (row < bottom) ScrPutStr(row, column, text, label);
    };
    if (FileWindowListsFiles()) {
        below(18, c + 6, "Current File");
        below(20, c + 1, "Bytes");
        if (rows > 25) below(21, c + 3, "Attributes");
        if (rows > 26) below(22, c + 1, "Date");
        if (rows > 27) below(23, c + 1, "Time");
    } else {
        below(18, c + 3, "Current Directory");
        if (rows < 26) {
            below(20, c + 1, "Bytes");
        } else {
            below(20, c + 1, files);
            below(21, c + 1, "Bytes");
            if (rows > 26) below(22, c + 3, "Attributes");
        }
    }
    PutProgramLines(c);
    if (withClock) DrawClockNow();
}

void ShowStatisticsAgain(BOOL withClock) {
    ShowStatistics(gScreenMaxCol - 21, withClock);
    if (gSplitScreen && gSplitLayout == 2) ShowStatistics(gLeftLastColumn - 21, FALSE);
}

void DrawPaneMark(WORD pane) {
    const int p = pane & 1;
    const int side = gSplitScreen && gPanesSwapped ? 1 - p : p;
    const int column = side && gSplitScreen ? int(gSplitColumn) : 0;
    // One cell: the strongest of what narrows the pane's list.
    WCHAR mark = u' ';
    BYTE attr = gMessageAttr;
    if (gFilterSlots[p].active) {
        mark = u'-';
        attr = gKeyLetterAttr;
    }
    if (gFilesWithList[p]) {
        mark = u'#';
        attr = gMessageAttr;
    } else if (gTaggedOnly[p]) {
        mark = u'\u2666';
        attr = gMessageAttr;
    }
    ScrPutChar(0, column, mark, attr);
}

void ShowStatsPanel(int withCommandLines) {
    const int pane = gCurrentPane & 1;
    const BYTE frame = gMessageAttr;
    const int sc = gScreenCols;
    const int half = sc / 2;
    ScrClearArea(0, 0, withCommandLines ? gScreenMaxRow : gMessageRow - 1, gScreenMaxCol,
                 gNormalAttr);
    ScrPutChar(gMessageRow, 2, u' ', gNormalAttr);
    ScrPutChar(gMessageRow, half + 2, u' ', gNormalAttr);
    ScrHLine(1, 0, sc, u'\u250C', u'\u2500', u'\u2510', frame);
    ScrHLine(gFrameLastRow, 0, sc, u'\u2514', u'\u2500', u'\u2518', frame);
    // The titles go first: in split screen a title's line runs under the
    // panel, whose top line is drawn over it.
    FormatTreeTitle(WORD(pane));
    DrawPaneMark(WORD(pane));
    if (gSplitScreen) {
        FormatTreeTitle(WORD(1 - pane));
        DrawPaneMark(WORD(1 - pane));
    }
    const bool panels = !gSplitScreen || gSplitLayout != 0;
    if (panels && (!gAutoview[pane] || gPickerActive))
        ShowStatisticsAgain(TRUE);
    else
        DrawClockNow();
    if (gSplitScreen) {
        const int left = int(gSplitColumn) - 1;
        ScrPutChar(1, left, u'\u2510', frame);
        ScrPutChar(1, left + 1, u'\u250C', frame);
        const int last = gScreenRows > 27 ? gScreenRows - 5 : 20;
        for (int row = 2; row <= last && row < gFrameLastRow; row++)
            ScrPutChar(row, left, u'\u2502', frame);
        ScrPutChar(gFrameLastRow, left, u'\u2518', frame);
        ScrPutChar(gFrameLastRow, left + 1, u'\u2514', frame);
    }
    if (gWindowMode != WM_TREE && !gSplitScreen && !gPanes[gCurrentPane].SmallFileWindow) {
        // The file window fills the rows under the frame line: its left
        // frame and blanks up to the panel.
        for (int row = 2; row < gFrameLastRow; row++)
            ScrHLine(row, 0, sc - 21, gIniWorking.scrollTrack, u' ', u' ', frame);
        SortIndicatorText(WORD(pane));
        return;
    }
    DrawMainFrame(TRUE);
    if (withCommandLines && !gSplitScreen &&
        (gLogMode == LOG_TREE_ONLY || gLogMode == LOG_FULL_DISK))
        ShowLogoBox(0);
    if (withCommandLines) RedrawTreeCommands(1);
}
