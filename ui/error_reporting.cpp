// The error line.
#include "ui/error_reporting.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/progress.h"
#include "ui/ui_test_hook.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"

#include <algorithm>

int ShowError(DWORD kind, const char* text) {
    MacroStop();
    std::u16string shown(text, text + strlen(text));
    const int scripted = UiScriptedKey(UiQuestion{"ShowError", 0, 0, kind, shown});
    if (scripted >= 0) return scripted;
    if (gConIn == nullptr) {
        printf("Error: %s", text);
        return _getch();
    }
    const int length = int(strlen(text));
    ScrClearArea(gBottomRow, length + 7, gBottomRow, gScreenMaxCol, gMessageAttr);
    ScrPutStr(gBottomRow, 0, "Error: ", gMessageAttr);
    ScrPutStr(gBottomRow, 7, text, gMessageAttr);
    if (kind == 0) {
        HotText(gBottomRow, 73, 0, 3, KC_ENTER, u"\u25C4\u2500\u2518 OK");
        ScrBeep();
        return KbdGetKey(FALSE, FALSE);
    }
    const WORD next = HotText(gBottomRow, 60, 0, 3, KC_ENTER, u"\u25C4\u2500\u2518 OK");
    HotText(gBottomRow, next, 0, 3, KC_ESC, u"Esc Cancel");
    SetBusy(0);
    ScrBeep();
    const int key = KbdGetKey(FALSE, FALSE);
    SetBusy(1);
    return key;
}

int ShowErrorW(DWORD kind, const WCHAR* text) {
    char narrow[1026] = {};
    const int length = int(std::min<size_t>(wcslen(text), 1025));
    WideCharToMultiByte(CP_OEMCP, 0, text, length, narrow, 1025, "?", nullptr);
    return ShowError(kind, narrow);
}
