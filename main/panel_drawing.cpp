// The figures of the statistics panel (disk, matching and tagged files and
// bytes), its heading lines, the running figures of a log, the current
// directory's name and figures, and the logo box.
#include "main/statistics.h"

#include "archive/archive_state.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "qposix_path.h"
#include "settings/settings.h"
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
void PutBytes(int row, int v, ULONGLONG value) {
    char text[32];
    FormatNumberPicture(text, LONGLONG(value), kBytesPicture);
    ScrPutStr(row, v - 4, text, gKeyLetterAttr);
    if (text[3] == ' ') ScrPutStr(row, v - 5, "Bytes", gNormalAttr);
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
const char* const kGlyphRows[7] = {
    " ###   #   #   ###   #       ####   ",
    "#   #  #   #    #    #       #   #  ",
    "#   #  #   #    #    #       #   #  ",
    "#   #  #   #    #    #       ####   ",
    "# # #  #   #    #    #       #   #  ",
    "#  #   #   #    #    #       #   #  ",
    " ## #   ###    ###   #####   ####   ",
};

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
    PutCount(10, v, gStatFiles);
    PutBytes(11, v, gStatBytes);
    PutCount(13, v, gStatMatchFiles);
    PutBytes(14, v, gStatMatchBytes);
    PutCount(16, v, gStatTagFiles);
    PutBytes(17, v, gStatTagBytes);
}

void ShowStatsHeader() {
    const int c = PanelColumn();
    if (c < 0) return;
    const bool archive = gArchiveTreeActive && !gPickerActive;
    ScrPutStr(8, c + 1, archive ? "ARCHIVE Statistics  " : "DISK Statistics     ", gNormalAttr);
    ScrPutStr(18, c + 3, "Current Directory", gNormalAttr);
    if (gScreenRows > 30 && (!gSplitScreen || c > gScreenCols / 2)) {
        char program[32];
        snprintf(program, sizeof program, "Quilbane v%s", QB_VERSION_TEXT);
        ScrPutStr(gScreenRows - 6, c + 20 - int(std::strlen(program)), program, gNormalAttr);
        ScrPutStr(gScreenRows - 5, c + 1, "(c) Quilb team", gNormalAttr);
    }
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

void ShowStatsPanel(int) { ScrClearArea(0, 0, gScreenMaxRow, gScreenMaxCol, gNormalAttr); }
