// The window state of the two panes and the window that owns the keyboard,
// and the moves between panes: saving and restoring a pane, split screen on
// and off.
#include "main/window_state.h"
#include "main/tree_window.h"
#include "platform/screen.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"

#include <cstring>
#include <utility>

WORD gWindowMode = WM_TREE;
WORD gCurrentPane = 0;
WORD gCurrentSide = 0;
DWORD gSplitScreen = 0;
DWORD gAutoRefresh = 0;
DWORD gPanesSwapped = 0;
WORD gSplitLayout = 0;
WORD gDisplayMode[2] = {1, 1};
DWORD gTaggedOnly[2] = {0, 0};
DWORD gDirMode[2] = {0, 0};
DWORD gAutoview[2] = {0, 0};
WORD gMenuModifier = 0;
DWORD gMenuRedrawPending = 0;
DWORD gPickerActive = 0;
WORD gTreeDisplayMode = 0;
PaneState gPanes[4] = {};
FileEntry* gPaneCurrentEntry[2] = {nullptr, nullptr};

void SetCurrentPane(WORD pane) {
    gCurrentPane = pane > 1 ? 1 : pane;
    gCurrentSide = (gSplitScreen && gPanesSwapped) ? WORD(1 - gCurrentPane) : gCurrentPane;
}

void InitWindowState(BOOL smallFileWindow) {
    for (WORD pane = 0; pane < 2; pane++) {
        PaneState& p = gPanes[pane];
        p.CurrentIndex = 0;
        p.FirstShown = 0;
        p.SmallFileWindow = smallFileWindow ? 1 : 0;
        p.FileWindowOpen = 0;
        p.TreeSearchText[0] = 0;
        p.FileSearchText[0] = 0;
        gDisplayMode[pane] = 1;
        gTaggedOnly[pane] = 0;
    }
    gPanes[0].PaneColumn = 0;
    gPanes[0].Colour = gNormalAttr;
}

void SavePane(WORD pane) {
    PaneState& p = gPanes[pane];
    p.Disk = pdiCurrent;
    p.Directory = psiCurrent;
    p.Path[0] = 0;
    if (psiCurrent && psiCurrent->pszFullName) {
        const size_t room = sizeof p.Path / sizeof p.Path[0];
        size_t n = 0;
        for (const WCHAR* s = psiCurrent->pszFullName; *s && n + 1 < room; s++)
            p.Path[n++] = *s;
        p.Path[n] = 0;
    }
    p.Colour = gNormalAttr;
    p.TreeColumn = psiCurrent ? psiCurrent->wLevel * gTreeIndent : 0;
}

void RestorePane(WORD pane) {
    const PaneState& p = gPanes[pane];
    pdiCurrent = p.Disk;
    psiCurrent = p.Directory;
    if (pdiCurrent) {
        pdiCurrent->dwTreeTop[pane] = p.TreeTop;
        pdiCurrent->yBar[pane] = WORD(p.TreeRow);
    }
}

void SplitScreenOn() {
    SavePane(0);
    gPanesSwapped = 0;
    gPanes[1] = gPanes[0];
    gSplitScreen = 1;
    SetCurrentPane(gCurrentPane);
}

namespace {

// Exchanges the panes' orders: each pane's working order points at the
// same kind of order (file or directory) as before, now its own.
void ExchangeSortOrders() {
    const bool dirs0 = gPaneOrder[0] == &gDirOrder[0];
    const bool dirs1 = gPaneOrder[1] == &gDirOrder[1];
    std::swap(gFileOrder[0], gFileOrder[1]);
    std::swap(gDirOrder[0], gDirOrder[1]);
    gPaneOrder[0] = dirs1 ? &gDirOrder[0] : &gFileOrder[0];
    gPaneOrder[1] = dirs0 ? &gDirOrder[1] : &gFileOrder[1];
}

} // namespace

void SplitScreenOff() {
    for (WORD pane = 0; pane < 2; pane++) {
        gPanes[pane].CurrentIndex = 0;
        gPanes[pane].FirstShown = 0;
    }
    gTaggedOnly[0] = 0;
    if (gCurrentPane == 1) {
        std::swap(gPanes[0], gPanes[1]);
        ExchangeSortOrders();
    }
    gSplitScreen = 0;
    SetCurrentPane(0);
}
