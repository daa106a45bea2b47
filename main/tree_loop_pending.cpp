// The tree window loop until the tree commands are built: the quit keys,
// the redraw requests and a beep for the rest.
#include "main/tree_loop_pending.h"

#include "main/statistics.h"
#include "main/tree_window.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "settings/quit.h"
#include "settings/settings.h"
#include "tree/tree_records.h"

namespace {

constexpr KeyCode kRedrawTree = KC_INTERNAL + 23;
constexpr KeyCode kCtrlQ = KC_CTRL + 'Q';
constexpr KeyCode kAltQ = KC_ALT + 'Q';

// The screen as far as it is built: the panel, the path line and the
// current pane's tree lines.
void Redraw() {
    ShowStatsPanel(1);
    if (!pdiCurrent) return;
    showtree();
    if (psiCurrent && psiCurrent->pszFullName) ShowPathLine(psiCurrent->pszFullName);
    const WORD pane = gCurrentPane;
    const int lastRow = int(gSmallWindowRow) - 2;
    for (DWORD line = 0; line < gTreeLineRows[pane] && int(line) + 2 <= lastRow; line++) {
        const WCHAR* text = gTreeLines[pane] + size_t(line) * gTreeLineStride;
        ScrPutWStrN(int(line) + 2, 0, text, int(gTreeWidth), gNormalAttr);
    }
}

} // namespace

KeyCode TreeWindowLoop(KeyCode key) {
    for (;;) {
        gWindowMode = WM_TREE;
        gMenuModifier = 0;
        if (key == 0) key = KbdGetKeyEx(TRUE, nullptr);
        switch (key) {
        case 0:
            break;
        case 'q':
            if (ConfirmQuit(gSettings.bQuitConfirm)) return key;
            break;
        case kCtrlQ:
        case kAltQ:
            return key;
        case kRedrawTree:
        case KC_RESIZED: // 4137, also the request to draw everything again
            Redraw();
            break;
        default:
            ScrBeep();
            break;
        }
        key = 0;
    }
}
