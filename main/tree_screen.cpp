// The tree window's screen drawn again from the tree model and the pane's
// position.
#include "main/tree_screen.h"

#include "main/statistics.h"
#include "main/tree_window.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "settings/colours.h"
#include "tree/pane_bookkeeping.h"
#include "tree/tree_records.h"
#include "ui/command_menus.h"

int TreeFirstColumn() {
    const int pane = gCurrentPane & 1;
    const int x0 = (gSplitScreen && gCurrentSide == 1) || gAutoview[pane] ? int(gSplitColumn) : 0;
    // Column x0 is the frame, x0 + 1 the mark column, x0 + 2 the connector
    // of the first level.
    return x0 + 2 - int(gTreeIndent);
}

void RedrawTreeWindow() {
    if (!pdiCurrent) return;
    const WORD pane = gCurrentPane & 1;
    if (!gTreeLines[pane]) showtree();
    DWORD top = pdiCurrent->dwTreeTop[pane];
    WORD row = pdiCurrent->yBar[pane];
    // The cursor stays on the list and the window shows it.
    SubdirInfo* dir = KeepTreeCursorVisible(&top, &row);
    ScrPaintTreeLines(int(top));
    if (dir) {
        psiCurrent = dir;
        FindPathFromPos(top + row, 1, 4119);
    }
    PaneState& state = gPanes[gCurrentPane];
    state.TreeTop = top;
    state.TreeRow = row;
    if (psiCurrent) {
        state.TreeColumn = DWORD(psiCurrent->wLevel) * gTreeIndent;
        DrawTreeCursorBar(int(row), TreeFirstColumn() + int(state.TreeColumn), gColourTable[COLOUR_BAR],
                          psiCurrent);
        DrawCursorMark(int(row) + 2);
        if (psiCurrent->pszFullName) ShowPathLine(psiCurrent->pszFullName);
    }
}

void RedrawTreeScreen() {
    ShowStatsPanel(1);
    DrawMainFrame(TRUE);
    ShowCommandMenu(gMenuModifier, 1);
    if (!pdiCurrent) return;
    showtree();
    RedrawTreeWindow();
}
