// The one-key questions. The key logic is shared between the screen and the
// test hook's script; only drawing and reading differ.
#include "ui/questions.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/error_dialog.h"
#include "ui/progress.h"
#include "ui/ui_test_hook.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"

namespace {

DWORD gAllUnencrypted = 0;
DWORD gAllDecrypted = 0;

int Upper(int key) {
    return key >= 'a' && key <= 'z' ? key - 32 : key;
}

// The script's key when one runs, else the keyboard's, upper-cased.
int AskKey(const UiQuestion& question) {
    const int scripted = UiScriptedKey(question);
    if (scripted >= 0) return Upper(scripted);
    return Upper(int(KbdGetKey(FALSE, TRUE)));
}

int EncryptionQuestion(DWORD& allMemory, const char* text, const char* kind) {
    if (allMemory && gTaggedOpActive) return 'Y';
    const bool drawn = !UiScriptRunning();
    ScreenCell* saved = nullptr;
    if (drawn) {
        saved = ScrSaveRect(gBottomRow, 0, gBottomRow, gScreenMaxCol);
        ScrClearArea(gBottomRow, 0, gBottomRow, gScreenMaxCol, gMessageAttr);
        ScrPutStr(gBottomRow, 0, text, gMessageAttr);
        ScrBeep();
    } else {
        UiNoteQuestion(UiQuestion{kind, 0, 0, gTaggedOpActive, {}});
    }
    int key = PromptYesNo(gBottomRow, gTaggedOpActive ? 1 : 0);
    if (drawn) ScrRestoreRect(gBottomRow, 0, gBottomRow, gScreenMaxCol, saved);
    if (key == 'A') {
        allMemory = 1;
        key = 'Y';
    }
    return key;
}

} // namespace

int PromptYesNo(int row, int allowAll) {
    const UiQuestion question{"PromptYesNo", WORD(row), 0, DWORD(allowAll), {}};
    BusyPause pause;
    const bool drawn = !UiScriptRunning();
    ScreenCell* saved = nullptr;
    if (drawn) {
        saved = ScrSaveRect(gBottomRow, 0, gBottomRow, gScreenMaxCol);
        HotPush();
        if (allowAll && gTaggedOpActive) HotText(row, 53, 0, 1, 'A', u"All");
        HotText(row, 58, 1, 1, 'N', u"[No]");
        HotText(row, 64, 0, 1, 'Y', u"Yes");
        HotText(row, 69, 0, 3, KC_ESC, u"Esc Cancel");
    }
    int key;
    for (;;) {
        key = AskKey(question);
        if (key == KC_ENTER) key = 'N';
        if (key == 'Y' || key == 'N' || key == 27 || (key == 'A' && allowAll)) break;
        if (!drawn) continue;
        ScrBeep();
    }
    if (drawn) {
        HotPop();
        ScrRestoreRect(gBottomRow, 0, gBottomRow, gScreenMaxCol, saved);
    }
    return key;
}

DWORD PromptCancelOrSkip() {
    if (!gInterruptRequested) return 0;
    gInterruptRequested = 0;
    const UiQuestion question{"PromptCancelOrSkip", 0, 0, gTaggedOpActive, {}};
    BusyPause pause;
    const bool drawn = !UiScriptRunning();
    ScreenCell* saved = nullptr;
    if (drawn) {
        saved = ScrSaveRect(gMessageRow, 0, gBottomRow, gScreenMaxCol);
        HotPush();
        HotClear(TRUE);
        ScrPutStr(gMessageRow, 0, "Cancel operation?", gMessageAttr);
        WORD column = WORD(gScreenCols - (gTaggedOpActive ? 41 : 22));
        column = HotText(gBottomRow, column, 1, 1, 'N', u"[No]");
        column = HotText(gBottomRow, column, 0, 1, 'Y', u"Yes");
        if (gTaggedOpActive) column = HotText(gBottomRow, column, 0, 1, 'S', u"Skip current file");
        HotText(gBottomRow, column, 0, 3, KC_ESC, u"Esc Cancel");
    }
    DWORD answer = 0;
    for (;;) {
        const int key = AskKey(question);
        if (key == 'Y') {
            answer = ERROR_CANCELLED;
            break;
        }
        if (key == 'S' && gTaggedOpActive) {
            answer = ErrChoiceSkip;
            break;
        }
        if (key == 'N' || key == 27 || key == KC_ENTER) break;
    }
    if (drawn) {
        HotPop();
        ScrRestoreRect(gMessageRow, 0, gBottomRow, gScreenMaxCol, saved);
    }
    return answer;
}

int PromptCopyUnencrypted() {
    return EncryptionQuestion(gAllUnencrypted, "Cannot encrypt on target - copy unencrypted?",
                              "PromptCopyUnencrypted");
}

int PromptCopyDecrypted() {
    return EncryptionQuestion(gAllDecrypted, "File is encrypted - copy it decrypted?",
                              "PromptCopyDecrypted");
}

void ForgetEncryptionAnswers() {
    gAllUnencrypted = 0;
    gAllDecrypted = 0;
}
