// The choice of command menu.
#include "ui/command_menus.h"
#include "ui/progress.h"
#include "main/window_state.h"

BYTE gMessageAttr = 0x1B;
BYTE gKeyLetterAttr = 0x1E;

namespace {
DWORD gLastMode = 0xFFFFFFFF;
DWORD gLastModifier = 0xFFFFFFFF;
} // namespace

void ShowCommandMenu(WORD modifier, int force) {
    if (gWindowMode == gLastMode && modifier == gLastModifier && !force) return;
    if (gBusyFlag || gPickerActive) return;
    gLastMode = gWindowMode;
    gLastModifier = modifier;
    gMenuModifier = modifier;
}
