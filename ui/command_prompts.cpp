// Command prompts and the shared key-hint lines of the command lines.
#include "ui/command_prompts.h"

#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"

#include <cstdio>

namespace {

// A hint with its state: the state is written at stateColumn only when the
// hint itself fitted. Returns the column after the hint.
WORD HintWithState(int row, int column, int hiOffset, int hiLength, DWORD key,
                   const WCHAR* label, int stateColumn, const WCHAR* state) {
    const WORD next = HotText(row, column, hiOffset, hiLength, key, label);
    if (next != column && state) ScrPutWStr(row, stateColumn, state, gKeyLetterAttr);
    return next;
}

} // namespace

void ShowOkHelpCancelKeys() {
    HotText(gBottomRow, 52, 0, 3, KC_ENTER, u"\u25C4\u2500\u2518 OK");
    HotText(gBottomRow, 60, 0, 2, KC_F1, u"F1 Help");
    HotText(gBottomRow, 69, 0, 3, KC_ESC, u"Esc Cancel");
}

void PromptSort(const SortMenuState& state) {
    const SortSpec& order = state.order;
    HotClear(TRUE);
    ScrPutStr(gMessageRow, 0, state.dirs ? "SORT DIRS BY: " : "SORT FILES BY:", gMessageAttr);

    // The key words: each word's key is its highlighted letter.
    const int m = gMessageRow;
    WORD column = 15;
    column = HotText(m, column, 0, 1, 'N', u"Name");
    column = HotText(m, column, 0, 1, 'E', u"Ext");
    const WORD date = column;
    column = HotText(m, column, 0, 1, 'D', u"Date &");
    if (column != date) column = HotText(m, date + 7, 0, 1, 'T', u"Time");
    column = HotText(m, column, 0, 1, 'F', u"Full");
    column = HotText(m, column, 0, 1, 'L', u"Length");
    column = HotText(m, column, 0, 1, 'A', u"Alpha");
    column = HotText(m, column, 2, 1, 'M', u"nuMber");
    column = HotText(m, column, 0, 1, 'S', u"Size");
    column = HotText(m, column, 0, 1, 'U', u"Unsorted");
    HotText(m, column, 0, 1, 'V', u"Value");

    // The key in force and the switches of the order.
    const int h = gHintRow;
    const WCHAR* word = order.key < SORT_KEY_COUNT ? kSortKeys[order.key].stateWord : nullptr;
    if (word) {
        ScrPutStr(h, 1, "(", gMessageAttr);
        ScrPutWStr(h, 2, word, gKeyLetterAttr);
    }
    static constexpr const WCHAR* kStamps[] = {u"written", u"created", u"accessed"};
    HintWithState(h, 15, 0, 2, KcF(4), u"F4 Timestamp (        )", 29,
                  kStamps[order.timestamp < 3 ? order.timestamp : 0]);
    HintWithState(h, 40, 0, 2, KcF(8), u"F8 (    )", 44, state.splitDifferent ? u"diff" : u"same");
    HintWithState(h, 51, 0, 1, 'C', u"Charset (    )", 60,
                  order.charset == SORT_CHARSET_ANSI ? u"ANSI" : u"OEM ");
    HintWithState(h, 67, 0, 1, 'O', u"Order (       )", 74,
                  order.descending ? u"descend" : u"ascend ");
    HintWithState(h, 84, 0, 1, 'P', u"Path (   )", 90, order.pathFirst ? u"on " : u"off");

    // The shared tree order, the exit flag and the answers.
    const int b = gBottomRow;
    ScrPutStr(b, 0, "Enter option", gMessageAttr);
    HintWithState(b, 15, 0, 2, KcF(9), u"F9 Tree (      )", 24,
                  state.treeNumber ? u"nuMber" : u"Name  ");
    if (state.listExists)
        HintWithState(b, 33, 3, 1, 'X', u"on eXit (    )", 42, state.exitLose ? u"lose" : u"keep");
    ShowOkHelpCancelKeys();
    if (gScreenCols > 90) HotText(b, 81, 0, 3, KcF(12), u"F12 Reset");
}

void ShowHelpCancelKeys() {
    HotText(gBottomRow, 60, 0, 2, KC_F1, u"F1 Help");
    HotText(gBottomRow, 69, 0, 3, KC_ESC, u"Esc Cancel");
}

void ShowLastCancelKeys() {
    HotText(gBottomRow, 41, 0, 2, KcF(3), u"F3 Last");
    HotText(gBottomRow, 50, 0, 1, KC_UP, u"\u2191 History");
    HotText(gBottomRow, 61, 0, 3, KC_ENTER, u"\u25C4\u2500\u2518 OK");
    HotText(gBottomRow, 69, 0, 3, KC_ESC, u"Esc Cancel");
}

void PromptInvert(BOOL plural) {
    HotClear(TRUE);
    ScrPutStr(gMessageRow, 0, "INVERT", gMessageAttr);
    HotText(gMessageRow, 10, 0, 1, 'F', u"File specification");
    const WORD next = HotText(gMessageRow, 30, 0, 1, 'T', u"Tag");
    if (plural && next != 30) ScrPutStr(gMessageRow, 33, "s", gMessageAttr);
    ShowHelpCancelKeys();
}

void PromptTagBy(BOOL noBranch, BOOL untag) {
    HotClear(TRUE);
    const int m = gMessageRow;
    ScrPutStr(m, 0, untag ? "UNTAG by:" : "TAG by:", gMessageAttr);
    WORD base = untag ? 10 : 8;
    WORD column = HotText(m, base, 0, 1, 'A', u"Attributes");
    // Branch and Current dir follow one blank apart, so that the options
    // after them still fit 80 columns.
    if (!noBranch && column != base) {
        base = WORD(column - 1);
        column = HotText(m, base, 0, 1, 'B', u"Branch");
        if (column != base) {
            base = WORD(column - 1);
            HotText(m, base, 0, 1, 'C', u"Current dir");
        }
    }
    // The rest keep their distances from the last option's start.
    HotText(m, base + 20, 0, 1, 'U', u"Up");
    HotText(m, base + 24, 0, 1, 'D', u"Down");
    HotText(m, base + 30, 0, 1, 'N', u"Name");
    HotText(m, base + 36, 0, 1, 'E', u"Extension");
    HotText(m, base + 47, 0, 1, 'F', u"Filter");
    ShowHelpCancelKeys();
}

void PromptTagByAttributes(BOOL untag, BOOL dirs) {
    HotClear(TRUE);
    char header[64];
    snprintf(header, sizeof header, "%sTAG ALL MATCHING %sS BY ATTRIBUTES", untag ? "UN" : "",
             dirs ? "DIRECTORIE" : "FILE");
    ScrPutStr(gMessageRow, 0, header, gMessageAttr);
    ScrPutStr(gHintRow, 19, ":", gMessageAttr);
    ScrPutStr(gBottomRow, 0, "Enter a mode test (u+x, 644; +/-RHJ)", gMessageAttr);
    ShowLastCancelKeys();
}
