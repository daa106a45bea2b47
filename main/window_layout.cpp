// The window area's columns and tree width from the screen width.
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"

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

void ComputeFileWinLayout(int direction) {
    (void)direction;
    const int sc = gScreenCols;
    if (gAutoview[gCurrentPane]) {
        gSplitColumn = WORD(sc / 2);
        gLeftLastColumn = WORD(sc / 2 - 1);
        gTreeWidth = WORD(sc < 120 ? sc / 2 - 2 : sc / 2 - 23);
    } else if (!gSplitScreen) {
        gTreeWidth = WORD(gScreenMaxCol - 22);
    } else {
        int layout = gSplitLayoutSetting;
        if (layout == 2 && sc < 122) layout = 1;
        if (layout == 1 && sc <= 100) layout = 0;
        gSplitLayout = WORD(layout);
        if (layout == 2) {
            gSplitColumn = WORD(sc / 2);
            gLeftLastColumn = WORD(sc / 2 - 1);
            gTreeWidth = WORD(sc / 2 - 23);
        } else if (layout == 1) {
            gSplitColumn = WORD(sc / 2 - 11);
            gLeftLastColumn = WORD(sc / 2 - 12);
            gTreeWidth = WORD(sc / 2 - 13);
        } else {
            gSplitColumn = WORD(sc / 2);
            gLeftLastColumn = WORD(sc / 2 - 1);
            gTreeWidth = WORD(sc / 2 - 2);
        }
    }
    gTreeLineStride = WORD(gTreeWidth + 4);
}
