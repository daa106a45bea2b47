// The filter prompt: its texts and key hints, the regular-expression and
// FIND & LOG switches, and the rebuilding of the pane's filter slot.
#include "tree/filter_dialog.h"

#include "main/statistics.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "tree/file_list.h"
#include "tree/filter.h"
#include "tree/regex.h"
#include "tree/tree_records.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/line_editor.h"

#include <cstdio>
#include <string>

DWORD gFilterRegexMode = 0;
DWORD gFindLogOffered = 0;
DWORD gFindLogDriveScope = 0;

namespace {

constexpr size_t kFieldUnits = 120;
constexpr WORD kFieldColumn = 8;

std::u16string Trimmed(std::u16string text) {
    while (!text.empty() && text.back() == u' ') text.pop_back();
    return text;
}

std::u16string EntryName(const EntryHead* entry, bool directory) {
    if (!entry) return {};
    if (directory) {
        const auto* dir = reinterpret_cast<const SubdirInfo*>(entry);
        return dir->pszName ? std::u16string(dir->pszName) : std::u16string();
    }
    WCHAR name[TREE_MAX_FULL_NAME + 2];
    GetFileDisplayName(name, reinterpret_cast<const FileEntry*>(entry));
    return name;
}

// The current file of the list, or in split screen of the other pane.
std::u16string CurrentName(long listIndex, bool directory) {
    if (listIndex >= 0 && gFileList && DWORD(listIndex) < gFMax)
        return Trimmed(EntryName(ListEntries(gFileList)[listIndex], directory));
    return {};
}

std::u16string OtherPaneName() {
    if (!gSplitScreen) return {};
    const FileEntry* other = gPaneCurrentEntry[1 - (gCurrentPane & 1)];
    return other ? Trimmed(EntryName(HeadOf(other), gDirMode[1 - (gCurrentPane & 1)] != 0))
                 : std::u16string();
}

void DrawPrompt(bool directory, const char* message) {
    ScrClearArea(gMessageRow, 0, gBottomRow, gScreenMaxCol, gMessageAttr);
    HotClear(FALSE);
    ScrPutStr(gMessageRow, 0, "Filter:", gMessageAttr);
    const char* what = directory ? "dirs" : "files";
    const bool regex = gFilterRegexMode && gRegexSupport;
    char line[120];
    if (gFindLogDriveScope && gFindLogOffered)
        snprintf(line, sizeof line, "%s",
                      regex ? "Find files by regex anywhere on the drive & log their directories"
                            : "Find files anywhere on the drive & log their directories");
    else if (regex)
        snprintf(line, sizeof line, "Specify %s to show by matching regular expression", what);
    else if (gScreenCols <= 95)
        snprintf(line, sizeof line,
                      "Specify %s to display by using wildcards, file dates and sizes", what);
    else
        snprintf(line, sizeof line, "Specify %s to show by wildcards, dates & sizes", what);
    if (message) {
        ScrPutStr(gHintRow, 0, message, gMessageAttr);
        ScrBeep();
    } else {
        ScrPutStr(gHintRow, 0, line, gMessageAttr);
    }
    // The hints most prompts need come first, so that a narrow screen
    // drops the rarer ones.
    const int row = gBottomRow;
    WORD col = HotText(row, 0, 0, 2, KcF(1), u"F1 Help");
    col = HotText(row, col, 0, 2, KcF(3), u"F3 Last");
    if (gRegexSupport)
        col = HotText(row, col, 0, 2, KcF(7), gFilterRegexMode ? u"F7 Regex (on )" : u"F7 Regex (off)");
    if (gFindLogOffered)
        col = HotText(row, col, 0, 2, KcF(9), gFindLogDriveScope ? u"F9 (drive)" : u"F9 (     )");
    col = HotText(row, col, 0, 3, KC_ENTER, u"\u25C4\u2500\u2518");
    col = HotText(row, col, 0, 3, KC_ESC, u"Esc Cancel");
    col = HotText(row, col, 0, 2, KcF(4), u"F4 Current filter");
    if (!gFilterRegexMode) {
        col = HotText(row, col, 0, 2, KcF(5), u"F5 Fuzzy");
        col = HotText(row, col, 0, 2, KcF(6), u"F6 Spell");
    }
    if (gSplitScreen) col = HotText(row, col, 0, 2, KcF(8), u"F8 Other file");
    HotText(row, col, 0, 3, KC_TAB, u"Tab Current file");
}

} // namespace

int FilterDialog(const WCHAR* preset, long listIndex, BOOL callerHandles) {
    const int pane = gCurrentPane & 1;
    const bool directory = gDirMode[pane] != 0;
    const WORD list = directory ? 46 : 16;
    const std::u16string current = CurrentName(listIndex, directory);
    std::u16string text;
    if (preset) text = Trimmed(preset);
    else if (!current.empty()) text = current;
    else if (!OtherPaneName().empty()) text = OtherPaneName();
    else text = u"*.*";

    ScreenCell* saved = ScrSaveRect(gMessageRow, 0, gBottomRow, gScreenMaxCol);
    HotPush();
    const WORD oldMode = gWindowMode;
    auto finish = [&](int result) {
        HotPop();
        ScrRestoreRect(gMessageRow, 0, gBottomRow, gScreenMaxCol, saved);
        gWindowMode = oldMode;
        return result;
    };

    bool proposal = true;
    char message[300] = {};
    for (;;) {
        DrawPrompt(directory, message[0] ? message : nullptr);
        message[0] = 0;
        std::u16string field = text;
        if (field.size() < kFieldUnits) field.append(kFieldUnits - field.size(), u' ');
        const DWORD pass = PASS_F7 | PASS_F9 | PassKeyBit(KcF(4)) | PassKeyBit(KcF(5)) |
                           PassKeyBit(KcF(6)) | PassKeyBit(KcF(8));
        const KeyCode key = InputLine(gMessageRow, kFieldColumn, field.data(), 0, list, 2, FALSE,
                                      proposal ? TRUE : FALSE, pass, 0);
        if (key == KC_ESC) return finish(0);
        text = Trimmed(std::u16string(field.c_str()));
        proposal = false;
        bool accept = false;
        if (key == KcF(7)) {
            if (gRegexSupport) gFilterRegexMode = !gFilterRegexMode;
            continue;
        }
        if (key == KcF(9)) {
            if (gFindLogOffered) gFindLogDriveScope = !gFindLogDriveScope;
            continue;
        }
        if (key == KcF(4)) {
            text = gFilterSlots[pane].fullText;
            continue;
        }
        if (key == KC_TAB) {
            if (!current.empty()) text = current;
            continue;
        }
        if (key == KcF(8)) {
            if (gSplitScreen && !OtherPaneName().empty()) text = OtherPaneName();
            continue;
        }
        if (key == KcF(5) || key == KcF(6)) continue;
        if (key == KcAltF(7)) {
            gFilterRegexMode = !gFilterRegexMode;
            accept = true;
        } else if (key == KC_ENTER) {
            accept = true;
        }
        if (!accept) return finish(0);

        // The switch wraps the text in slashes for the check; the prompt
        // keeps the plain text.
        std::u16string checked = text;
        if (gFilterRegexMode) checked = u"/" + text + u"/";
        BOOL truncated = FALSE;
        FilterSlot& slot = gFilterSlots[pane];
        const int result =
            CompileFilterText(checked.c_str(), &slot, message, sizeof message, &truncated);
        // Without the library the prompt comes back in its plain mode.
        if (result == FILTER_REGEX_NO_LIBRARY) gFilterRegexMode = 0;
        if (result != FILTER_OK) continue;
        if (truncated) ScrBeep();
        if (callerHandles) return finish(1);
        if (slot.active) AddToHistory(list, checked.c_str());
        finish(1);
        FormatTreeTitle(WORD(pane));
        if (!gSplitScreen) CopyFilterSlot(&gFilterSlots[1 - pane], &slot);
        return 1;
    }
}
