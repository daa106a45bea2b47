// The window area's geometry from the screen size, split screen, autoview
// and display format; the frame pieces that move with it; and the keys and
// dialog that change the layout and the terminal size.
#include "main/window_layout.h"
#include "main/startup_options.h"
#include "main/statistics.h"
#include "main/tree_window.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "settings/settings.h"
#include "tree/file_list.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/help.h"
#include "ui/progress.h"

#include <algorithm>
#include <cstdlib>

WORD gSplitColumn = 48;
WORD gLeftLastColumn = 47;
WORD gTreeWidth = 73;
WORD gTreeLineStride = 77;
BYTE gSplitLayoutSetting = 0;
WORD gRowSizeList[SIZE_ROW_LIST_MAX];
WORD gRowSizeCount = 0;
WORD gRowSizePos = 0;
WORD gColSizeList[SIZE_COL_LIST_MAX];
WORD gColSizeCount = 0;
WORD gColSizePos = 0;
WORD gFileDisplayFormat = 0;
WORD gLongNameWidth = 24;
WORD gFileRows = 37;
BYTE gNameFieldWidth = 64;
BYTE gNameLengthLimit = 255;
DWORD gSplitPanels = 0;
BYTE gSmallWindowUserRow = 0;
BYTE gSmallWindowStored = 0;
WORD gTreeLastRowIndex = 0;
DWORD gScreenRepaintAll = 0;
WORD gSizeRequestRows = 0;
WORD gSizeRequestCols = 0;
BOOL gSizeWidthChanged = FALSE;
BOOL gSizeHeightChanged = FALSE;
WORD gSavedSizeRows = 0;
WORD gSavedSizeCols = 0;

namespace {

constexpr int kResizeKey = 4137;
constexpr int kHeightChangedKey = 4119;
constexpr int kRepaintKey = 4123;

// The halves and the tree width; true when the screen is wide enough in
// autoview that the several-column formats take their wide columns.
bool LayTreeAndHalves(int sc) {
    if (gAutoview[gCurrentPane]) {
        gSplitColumn = WORD(sc / 2);
        gLeftLastColumn = WORD(sc / 2 - 1);
        if (sc < 120) {
            gTreeWidth = WORD(sc / 2 - 2);
            return false;
        }
        gTreeWidth = WORD(sc / 2 - 23);
        return true;
    }
    if (!gSplitScreen) {
        gTreeWidth = WORD(gScreenMaxCol - 22);
        return false;
    }
    int layout = SplitLayoutFromSetting(gSplitLayoutSetting);
    if (layout == 2 && sc < 122) layout = 1;
    if (layout == 1 && sc <= 100) layout = 0;
    gSplitLayout = WORD(layout);
    gSplitPanels = layout != 0;
    if (layout == 1) {
        gSplitColumn = WORD(sc / 2 - 11);
        gLeftLastColumn = WORD(sc / 2 - 12);
        gTreeWidth = WORD(sc / 2 - 13);
    } else {
        gSplitColumn = WORD(sc / 2);
        gLeftLastColumn = WORD(sc / 2 - 1);
        gTreeWidth = WORD(layout == 2 ? sc / 2 - 23 : sc / 2 - 2);
    }
    return false;
}

// The name field width of a row of format mode with text width x.
int NameWidthFor(int mode, int x, int keep) {
    const int t = gTreeWidth;
    const int d = gIniWorking.dateExtraWidth;
    switch (mode) {
    case 0:
    case 3:
    case 4:
        return x - 1;
    case 1: {
        int w = x - d - 39;
        if (t > 56 && gSettings.bTime12Hour == 0) w = x - d - 36;
        if (gSplitScreen && t < 57) w = x - d - 24;
        return w;
    }
    case 2:
        return (gSplitScreen || gScreenCols > 80) && x - 16 >= 15 ? x - 19 : x - 16;
    default:
        return keep;
    }
}

int PaneFileAreaRow(const PaneState& p) {
    return p.SmallFileWindow ? gSmallWindowRow : 2;
}

} // namespace

BYTE SplitLayoutFromSetting(unsigned value) {
    return value <= 2 ? BYTE(value) : 0;
}

void ComputeFileWinLayout(int direction) {
    // The tree window's rows run from row 2 to the frame line above the
    // small file window: the list movement and the drag on the tree rows
    // count from the last of them.
    gTreeLastRowIndex = WORD(gSmallWindowRow > 4 ? gSmallWindowRow - 4 : 0);
    const int sc = gScreenCols;
    const bool wide = LayTreeAndHalves(sc);
    const int t = gTreeWidth;
    PaneState& pane = gPanes[gCurrentPane];
    const int mode = gFileDisplayFormat;

    int columns = 1, columnWidth = 0, text = t, w = int(pane.NameWidth);
    if (mode == 2 || mode == 3) {
        if (mode == 2)
            columnWidth = sc > 80 || wide ? 33 : gSplitScreen ? 38 : 29;
        else
            columnWidth = sc > 83 || wide ? 20 : 19;
        const int f = (t + 1) / columnWidth;
        const int r = (t + 1) % columnWidth;
        columns = std::max(f, 1);
        if (f <= 1) {
            columnWidth = 0;
            text = t;
        } else {
            if (f < r) columnWidth += r / f;
            text = columnWidth - 1;
        }
    } else if (mode == 4) {
        text = gLongNameWidth + 14 + (sc > 80 ? sc / 10 - 8 : 0);
        columns = pane.FileColumns ? int(pane.FileColumns) : 1;
        columnWidth = int(pane.ColumnWidth);
    } else if (mode == 5) {
        if (direction == 1)
            gLongNameWidth = WORD(gLongNameWidth / 2);
        else if (direction == 0)
            gLongNameWidth = WORD(gLongNameWidth * 2);
        if (gLongNameWidth + 12 < t) {
            w = gLongNameWidth + 13;
        } else {
            w = 13;
            gLongNameWidth = 0;
        }
    }
    if (mode != 5) w = NameWidthFor(mode, text, w);
    const int limit = std::max(w - 9, 0);
    gNameFieldWidth =
        BYTE(std::min(gNameLengthLimit <= limit ? int(gNameLengthLimit) : limit, 255));

    pane.FileColumns = DWORD(columns);
    pane.ColumnWidth = DWORD(columnWidth);
    pane.EntryWidth = DWORD(text);
    pane.NameWidth = DWORD(std::max(w, 0));
    if (pane.SmallFileWindow) {
        pane.FileAreaRow = gSmallWindowRow;
        gFileRows = gSmallWindowRows;
    } else {
        pane.FileAreaRow = 2;
        gFileRows = WORD(gScreenRows - 6);
    }
    pane.PageSize = DWORD(gFileRows) * pane.FileColumns;

    const bool autoview = gAutoview[gCurrentPane] != 0;
    const DWORD sideColumn = gSplitScreen && gCurrentSide == 1 && !autoview ? gSplitColumn : 0;
    pane.PaneColumn = sideColumn;
    pane.FileAreaColumn = sideColumn + 1;
    if (gSplitScreen && !autoview) {
        PaneState& other = gPanes[1 - gCurrentPane];
        other.PaneColumn = gCurrentSide == 1 ? 0 : gSplitColumn;
        other.FileAreaColumn = other.PaneColumn + 1;
        other.FileColumns = pane.FileColumns;
        other.ColumnWidth = pane.ColumnWidth;
        other.EntryWidth = pane.EntryWidth;
        other.NameWidth = pane.NameWidth;
        other.FileAreaRow = DWORD(PaneFileAreaRow(other));
        other.PageSize = pane.PageSize;
    }
    gTreeLineStride = WORD(gTreeWidth + 4);
}

WORD FileDisplayFormatFromSetting(unsigned value) {
    return value <= 3 ? WORD(value) : WORD(2);
}

void SortIndicatorPosition(WORD pane, int* row, int* column) {
    const int p = pane & 1;
    const PaneState& state = gPanes[p];
    const WORD side = gSplitScreen && gPanesSwapped ? WORD(1 - p) : WORD(p);
    *row = state.FileWindowOpen && !state.SmallFileWindow ? 1 : int(gSmallWindowRow) - 1;
    int b;
    if (gAutoview[p])
        b = int(state.EntryWidth) - 3;
    else if (!gSplitScreen)
        b = int(gScreenMaxCol) - 25;
    else
        b = int(gTreeWidth) + 1 + side * int(gSplitColumn) - (side == 1 && gSplitLayout == 1 ? 3 : 4);
    *column = std::max(0, b - 10);
}

void DrawMainFrame(BOOL on) {
    const WCHAR track = gIniWorking.scrollTrack;
    const BYTE attr = gMessageAttr;
    const int sc = gScreenCols;
    const int lineRow = gSmallWindowRow - 1;
    for (int row = 2; row < gFrameLastRow; row++)
        ScrPutChar(row, 0, track, attr);
    const bool split = gSplitScreen && !gAutoview[gCurrentPane];
    const WCHAR rightEnd =
        lineRow == 7 ? (on ? u'\u253C' : u'\u251C') : (on ? u'\u2524' : u'\u2502');
    auto piece = [&](int column, int n) {
        if (on)
            ScrHLine(lineRow, column, n, u'\u251C', u'\u2500', rightEnd, attr);
        else
            ScrHLine(lineRow, column, n, u'\u2502', u' ', rightEnd, attr);
    };
    // A half gets its piece of the line only while its pane shows the tree
    // above a small file window or no file window at all.
    auto halfShowsLine = [](WORD side) {
        const WORD pane = gSplitScreen && gPanesSwapped ? WORD(1 - side) : side;
        const PaneState& p = gPanes[pane];
        return !p.FileWindowOpen || (p.SmallFileWindow && gDisplayMode[pane] == 1);
    };
    if (!split) {
        piece(0, sc - 21);
    } else {
        for (int row = 2; row < gFrameLastRow; row++)
            ScrPutChar(row, gSplitColumn, track, attr);
        if (halfShowsLine(0)) piece(0, gTreeWidth + 2);
        if (halfShowsLine(1))
            piece(gSplitColumn, gTreeWidth + 2 + (sc % 2) + (gSplitLayout == 1 ? 1 : 0));
    }
    if (on) SortIndicatorText(gCurrentPane);
}

void DrawFileWindowFrame(BOOL full) {
    const int sc = gScreenCols;
    const int text = sc > 80 ? gLongNameWidth + 6 + sc / 10 : gLongNameWidth + 14;
    gPanes[gCurrentPane].EntryWidth = DWORD(text);
    const BYTE attr = gMessageAttr;
    const int last = gScreenMaxCol;
    ScrHLine(1, 0, sc, u'\u250C', u'\u2500', u'\u2510', attr);
    ScrHLine(gFrameLastRow, 0, sc, u'\u2514', u'\u2500', u'\u2518', attr);
    ScrPutChar(1, text + 1, u'\u252C', attr);
    ScrPutChar(gFrameLastRow, text + 1, u'\u2534', attr);
    for (int row = 2; row < gFrameLastRow; row++) {
        ScrPutChar(row, 0, gIniWorking.scrollTrack, attr);
        ScrPutChar(row, text + 1, u'\u2502', attr);
        if (full || row == 3 || row == 7 || row == gSmallWindowRow - 1)
            ScrPutChar(row, last, u'\u2502', attr);
    }
    SortIndicatorText(gCurrentPane);
}

namespace {

// What autoview keeps aside while it is on.
struct AutoviewSaved {
    WORD displayFormat = 0;
    WORD windowMode = 0;
    WORD rows = 0, cols = 0;
    ScreenCell* panel = nullptr;
    ScreenCell* pathLine = nullptr;
};
AutoviewSaved gAutoviewSaved;

void FreeSavedRects(AutoviewSaved& s) {
    std::free(s.panel);
    std::free(s.pathLine);
    s.panel = s.pathLine = nullptr;
}

void DrawTrack(int column) {
    for (int row = 2; row < gFrameLastRow; row++)
        ScrPutChar(row, column, gIniWorking.scrollTrack, gMessageAttr);
}

} // namespace

void StartAutoview(DWORD* listIndex, DWORD* row) {
    const WORD paneIndex = gCurrentPane;
    PaneState& pane = gPanes[paneIndex];
    AutoviewSaved& saved = gAutoviewSaved;
    const int sc = gScreenCols;
    if (gAutoview[paneIndex] != 1 && gFileDisplayFormat != 4) {
        gAutoview[paneIndex] = 1;
        saved.displayFormat = gFileDisplayFormat;
        saved.windowMode = gWindowMode;
        gWindowMode = WM_AUTOVIEW;
        gFileDisplayFormat = 4;
        gSplitPanels = 0;
        pane.FileColumns = 1;
        pane.ColumnWidth = 0;
        pane.PageSize = gFileRows;
        DrawTrack(int(pane.PaneColumn));
        if (!gSplitScreen) {
            FreeSavedRects(saved);
            saved.panel = ScrSaveRect(0, sc - 22, gScreenMaxRow, gScreenMaxCol);
            saved.pathLine = ScrSaveRect(0, 0, 0, sc - 22);
            saved.rows = gScreenRows;
            saved.cols = gScreenCols;
        }
        // The cursor entry stays on the page, on its last row when the
        // narrower page would leave it below.
        const DWORD rows = gFileRows ? gFileRows : 1;
        if (*listIndex >= pane.FirstShown + rows) {
            pane.FirstShown = *listIndex - rows + 1;
            *row = rows - 1;
        } else if (*listIndex >= pane.FirstShown) {
            *row = *listIndex - pane.FirstShown;
        }
        DrawFileWindowFrame(FALSE);
        ComputeFileWinLayout(-1);
    } else {
        gAutoview[paneIndex] = 0;
        gFileDisplayFormat = saved.displayFormat == 4 ? 0 : saved.displayFormat;
        ComputeFileWinLayout(-1);
        gWindowMode = saved.windowMode ? saved.windowMode : WM_FILE;
        ComputeFileWinLayout(-1);
        if (!gSplitScreen) {
            if (saved.panel && saved.rows == gScreenRows && saved.cols == gScreenCols) {
                ScrRestoreRect(0, sc - 22, gScreenMaxRow, gScreenMaxCol, saved.panel);
                ScrRestoreRect(0, 0, 0, sc - 22, saved.pathLine);
                saved.panel = saved.pathLine = nullptr;
            } else {
                FreeSavedRects(saved);
                ShowStatsPanel(0);
            }
            ScrClearArea(pane.FileAreaRow, 1, gFrameLastRow - 1, gTreeWidth, gNormalAttr);
            DrawTrack(0);
        } else {
            KbdStackKey(kRepaintKey);
            KbdStackKey(kRepaintKey);
        }
        if (*listIndex >= pane.FirstShown) *row = *listIndex - pane.FirstShown;
        ShowListStats();
        gSplitPanels = gSplitScreen ? gSplitLayout != 0 : 1;
    }
    if (!gBusyFlag.load() && !gPickerActive) {
        ShowCommandMenu(0, 1);
        gMenuModifier = 0;
    }
}

void RedrawPaneFrame() {
    const PaneState& pane = gPanes[gCurrentPane];
    const int sc = gScreenCols;
    if (!gSplitScreen) {
        ScrHLine(1, 0, sc - 22, u'\u250C', u'\u2500', u'\u2500', gMessageAttr);
        ScrHLine(gFrameLastRow, 0, sc - 22, u'\u2514', u'\u2500', u'\u2500', gMessageAttr);
    }
    const int first = pane.FileAreaRow ? int(pane.FileAreaRow) : 2;
    for (int row = first; row < gFrameLastRow; row++)
        ScrPutChar(row, int(pane.PaneColumn), gIniWorking.scrollTrack, gMessageAttr);
    if (pane.SmallFileWindow || !pane.FileWindowOpen) {
        showtree();
        ScrPaintTreeLines(int(pane.TreeTop));
    }
    ShowPathLine(pane.Path);
    if (gSplitScreen && gDisplayMode[gCurrentPane] != 2) {
        KbdStackKey(kRepaintKey);
        KbdStackKey(kRepaintKey);
    } else if (!gSplitScreen && gFileList) {
        ShowDiskStats();
    }
}

void CopySideState(BOOL noListHeader, WORD toSide) {
    const WORD to = toSide & 1, from = WORD(1 - to);
    DiskInfo* disk = pdiFirst;
    for (WORD n = 0; disk && n < gDiskCount; n++, disk = disk->pdiNext) {
        disk->dwMatchFiles[to] = disk->dwMatchFiles[from];
        disk->qwMatchBytes[to] = disk->qwMatchBytes[from];
        disk->dwTagFiles[to] = disk->dwTagFiles[from];
        disk->qwTagBytes[to] = disk->qwTagBytes[from];
        for (SubdirInfo* d = disk->psiRoot; d; d = d->psiChild ? d->psiChild : d->psiNext) {
            d->bFlags[to] = d->bFlags[from];
            d->dwMatchFiles[to] = d->dwMatchFiles[from];
            d->qwMatchBytes[to] = d->qwMatchBytes[from];
            d->dwTagFiles[to] = d->dwTagFiles[from];
            d->qwTagBytes[to] = d->qwTagBytes[from];
            if (!d->pFiles) continue;
            for (DWORD i = 0; i < d->dwFiles; i++)
                d->pFiles[i].bFlags[to] = d->pFiles[i].bFlags[from];
        }
    }
    if (!noListHeader && gFileList) {
        gFileList->taggedEntries[to] = gFileList->taggedEntries[from];
        gFileList->taggedFiles[to] = gFileList->taggedFiles[from];
        gFileList->taggedBytes[to] = gFileList->taggedBytes[from];
        gFileList->matchingBytes[to] = gFileList->matchingBytes[from];
    }
}

int SplitModeDialog() {
    const int sc = gScreenCols;
    const int atEntry = gSplitLayout;
    const BYTE text = gMessageAttr;
    int result = 0;
    HotPush();
    for (;;) {
        HotClear(TRUE);
        ScrPutWStr(gMessageRow, 0, u"Split Mode:", text);
        ScrPutWStr(gMessageRow, 12, u"Statistics", text);
        HotText(gMessageRow, 23, 0, 1, 'N', u"None");
        if (sc > 100) HotText(gMessageRow, 28, 0, 1, 'C', u"Current");
        if (sc > 121) HotText(gMessageRow, 36, 0, 1, 'B', u"Both");
        static const WCHAR* const kChoice[] = {u"(None   )", u"(Current)", u"(Both   )"};
        ScrPutWStr(gMessageRow, 41, kChoice[gSplitLayout <= 2 ? gSplitLayout : 0], text);
        if (gSplitScreen) {
            HotText(gHintRow, 12, 0, 1, 'S', u"Swap");
        } else {
            ScrPutWStr(gHintRow, 12, u"S", gKeyLetterAttr);
            ScrPutWStr(gHintRow, 13, u"wap", text);
        }
        const KeyCode key = KbdGetKey(FALSE, TRUE);
        if (key == KC_ESC || key == KC_STOP) break;
        if (key == KcF(1)) {
            ShowHelp(80);
            continue;
        }
        int chosen = -1;
        if (key == 'N') chosen = 0;
        if (key == 'C' && sc > 100) chosen = 1;
        if (key == 'B' && sc >= 122) chosen = 2;
        if (chosen >= 0) {
            if (chosen != gSplitLayout) {
                gSplitLayout = WORD(chosen);
                gSplitLayoutSetting = BYTE(chosen);
                ComputeFileWinLayout(-1);
                if (gSplitScreen) result = kResizeKey;
            }
            break;
        }
        if (key == 'S' && gSplitScreen) {
            gPanesSwapped = !gPanesSwapped;
            gCurrentSide = gPanesSwapped ? WORD(1 - gCurrentPane) : gCurrentPane;
            gScreenRepaintAll = TRUE;
            if (gSplitLayout != atEntry) ComputeFileWinLayout(-1);
            result = kResizeKey;
            break;
        }
    }
    HotPop();
    return result;
}

int WindowHeightKey(int key, BOOL noRedraw) {
    constexpr int kAltHome = KC_ALT + 0x24, kAltUp = KC_ALT + 0x26, kAltDown = KC_ALT + 0x28;
    int row = gSmallWindowRow;
    PaneState& pane = gPanes[gCurrentPane];
    if (key == kAltHome) {
        row = gSmallWindowDefaultRow;
    } else {
        if (gSmallWindowUserRow == 0) gSmallWindowUserRow = BYTE(gSmallWindowRow);
        if (key == kAltUp && row > 8) {
            row--;
            if (DWORD(row) == pane.TreeRow + 3 && pane.TreeRow > 0) {
                pane.TreeTop++;
                pane.TreeRow--;
            }
        } else if (key == kAltDown && row < gMessageRow - 2) {
            row++;
        }
    }
    if (row == gSmallWindowRow) return 0;
    if (key != kAltHome) gSmallWindowUserRow = BYTE(row);
    switch (gSettings.bWindowSizing) {
    case 1:
        gSmallWindowStored = BYTE(row);
        break;
    case 2:
        gSmallWindowStored = BYTE(gScreenRows - 4 - row);
        break;
    default:
        gSmallWindowStored = BYTE((row - 3) * 100 / std::max(gScreenRows - 7, 1));
        break;
    }
    DrawMainFrame(FALSE);
    gSmallWindowRow = WORD(row);
    gSmallWindowRows = WORD(gSmallWindowLastRow + 1 - row);
    gTreeLastRowIndex = WORD(row - 4);
    ComputeFileWinLayout(-1);
    DrawMainFrame(TRUE);
    if (gSplitScreen) {
        const PaneState& other = gPanes[1 - gCurrentPane];
        if (!other.FileWindowOpen || other.SmallFileWindow) {
            KbdStackKey(kRepaintKey);
            KbdStackKey(kRepaintKey);
        }
    }
    // The tree keeps its rows; only the window that shows them changed.
    ScrPaintTreeLines(int(pane.TreeTop));
    if (!noRedraw) {
        // The repaint took the cursor's mark and the scroll mark with it.
        const WORD mode = gWindowMode;
        gWindowMode = WM_TREE;
        DrawCursorMark(int(pane.TreeRow) + 2);
        FindPathFromPos(pane.TreeTop + pane.TreeRow, 1, 2086);
        gWindowMode = mode;
    }
    return kHeightChangedKey;
}

namespace {

constexpr WORD kRowSteps[] = {25, 28, 34, 43, 50, 60};

// The next (forward) or previous entry of a size list; pos equal to the
// count stands past the last entry.
WORD StepList(const WORD* list, WORD count, WORD* pos, bool forward) {
    if (forward)
        *pos = WORD(*pos + 1 >= count ? 0 : *pos + 1);
    else
        *pos = WORD(*pos == 0 || *pos >= count ? count - 1 : *pos - 1);
    return list[*pos];
}

WORD NextRows(int rows, int largest, bool forward) {
    const WORD* step = std::find(std::begin(kRowSteps), std::end(kRowSteps), rows);
    const bool inSteps = step != std::end(kRowSteps);
    if (forward) {
        if (rows == 999 || rows == largest) return 25;
        if (inSteps && step + 1 != std::end(kRowSteps))
            return std::min<WORD>(step[1], WORD(largest));
        return WORD(std::min(rows + 10, largest));
    }
    if (rows == 999) return WORD(largest);
    if (inSteps) return step == std::begin(kRowSteps) ? WORD(largest) : step[-1];
    if (rows > 34) return WORD(rows - 10);
    return WORD(largest);
}

} // namespace

int ConsoleSizeKey(int key) {
    const COORD largest = ConsoleLargestSize();
    const int maxRows = largest.Y, maxCols = largest.X;
    const int rows = gScreenRows, cols = gScreenCols;
    int newRows = rows, newCols = cols;
    const bool maximised = rows == maxRows && cols == maxCols;
    if (key == KcAltF(7)) {
        if (gNoMaximise) return 1;
        if (maximised) {
            newRows = gSavedSizeRows ? gSavedSizeRows : gFirstScreenRows;
            newCols = gSavedSizeCols ? gSavedSizeCols : gFirstScreenCols;
            if (newRows == rows && newCols == cols) {
                newRows = 43;
                newCols = 96;
            }
            gSavedSizeRows = gSavedSizeCols = 0;
        } else {
            gSavedSizeRows = WORD(rows);
            gSavedSizeCols = WORD(cols);
            newRows = 65535;
        }
    } else if (key == KcAltF(8) || key == KC_ALT_SHIFT + 0x6F + 8) {
        const bool forward = key == KcAltF(8);
        if (gColSizeCount)
            newCols = StepList(gColSizeList, gColSizeCount, &gColSizePos, forward);
        else if (forward)
            newCols = cols >= maxCols ? 96 : std::min(cols + 16, maxCols);
        else
            newCols = cols <= 96 ? maxCols : std::max(cols - 16, 96);
    } else if (key == KcAltF(9) || key == KC_ALT_SHIFT + 0x6F + 9) {
        const bool forward = key == KcAltF(9);
        if (gRowSizeCount)
            newRows = StepList(gRowSizeList, gRowSizeCount, &gRowSizePos, forward);
        else
            newRows = NextRows(rows, maxRows, forward);
    }
    gSizeRequestRows = WORD(newRows);
    gSizeRequestCols = WORD(newCols);
    if (newRows != rows) gSizeHeightChanged = TRUE;
    if (newCols != cols) gSizeWidthChanged = TRUE;
    return 1;
}
