// The window state of the two panes and the window that owns the keyboard.
#include "main/window_state.h"

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
