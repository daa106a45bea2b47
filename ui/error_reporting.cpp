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

namespace {

// The error line and the message line share their drawing and their wait:
// prefix goes before the text, kind as ShowError takes it.
int ShowLineAndWait(const char* hookKind, const char* prefix, DWORD kind, const char* text) {
    MacroStop();
    std::u16string shown(text, text + strlen(text));
    const int scripted = UiScriptedKey(UiQuestion{hookKind, 0, 0, kind, shown});
    if (scripted >= 0) return scripted;
    if (gConIn == nullptr) {
        printf("%s%s", prefix, text);
        return _getch();
    }
    const int start = int(strlen(prefix));
    const int length = int(strlen(text));
    ScrClearArea(gBottomRow, length + start, gBottomRow, gScreenMaxCol, gMessageAttr);
    if (start) ScrPutStr(gBottomRow, 0, prefix, gMessageAttr);
    ScrPutStr(gBottomRow, start, text, gMessageAttr);
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

} // namespace

int ShowError(DWORD kind, const char* text) {
    return ShowLineAndWait("ShowError", "Error: ", kind, text);
}

int ShowMessageWait(const char* text) { return ShowLineAndWait("ShowMessage", "", 0, text); }

int ShowErrorW(DWORD kind, const WCHAR* text) {
    char narrow[1026] = {};
    const int length = int(std::min<size_t>(wcslen(text), 1025));
    WideCharToMultiByte(CP_OEMCP, 0, text, length, narrow, 1025, "?", nullptr);
    return ShowError(kind, narrow);
}
