// The tree window loop until the tree commands are built: the quit keys,
// the redraw requests and a beep for the rest.
#include "main/tree_loop_pending.h"

#include "main/tree_screen.h"
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

} // namespace

KeyCode TreeWindowLoop(KeyCode key) {
    gWindowMode = WM_TREE;
    RedrawTreeScreen();
    for (;;) {
        gWindowMode = WM_TREE;
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
            RedrawTreeWindow();
            break;
        case KC_RESIZED: // 4137, also the request to draw everything again
            RedrawTreeScreen();
            break;
        default:
            ScrBeep();
            break;
        }
        key = 0;
    }
}
