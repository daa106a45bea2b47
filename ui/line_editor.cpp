// The line editor's key loop and the in-memory command histories.
#include "ui/line_editor.h"

#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "settings/settings.h"
#include "ui/command_menus.h"
#include "ui/help.h"

#include <algorithm>
#include <string>
#include <vector>

DWORD gInsertMode = 1;

namespace {

// ---- histories -------------------------------------------------------------------

constexpr WORD kLastList = 47;
constexpr size_t kMaxUnmarked = 64;
constexpr WCHAR kMarked = 0x25A0;

// Entry texts with their mark first; index 0 the newest.
std::vector<std::u16string> gHistory[kLastList + 1];

bool HasList(WORD list) {
    if (list == 0 || list > kLastList) return false;
    return list != 20 && list != 21 && list != 36 && list != 44 && list != 26 && list != 31 &&
           list != 43;
}

bool CaseSensitiveList(WORD list) { return list == 24 || list == 29 || list == 30 || list == 32; }

bool SameEntry(WORD list, const std::u16string& entry, const WCHAR* text) {
    const WCHAR* stored = entry.c_str() + (entry.empty() ? 0 : 1);
    return CaseSensitiveList(list) ? wcscmp(stored, text) == 0 : _wcsicmp(stored, text) == 0;
}

// ---- the edit --------------------------------------------------------------------

bool AlwaysProposal(WORD list) {
    switch (list) {
    case 2: case 6: case 11: case 15: case 16: case 29: case 35: case 46: return true;
    default: return false;
    }
}

bool KeepsNoHistory(WORD list) {
    switch (list) {
    case 4: case 14: case 16: case 21: case 25: case 37: case 40: case 42: case 46: return true;
    default: return false;
    }
}

struct Edit {
    WORD row;
    WORD column;
    std::u16string text; // the field: always fieldSize units
    size_t cursor = 0;
    size_t scroll = 0;
    size_t visible = 1;
    char echo = 0;
    bool highlighted = false; // a proposal stands untouched

    size_t Size() const { return text.size(); }
    // The index after the last non-blank unit.
    size_t End() const {
        size_t n = text.size();
        while (n > 0 && text[n - 1] == u' ') --n;
        return n;
    }
    void Follow() {
        if (cursor < scroll) scroll = cursor;
        if (cursor >= scroll + visible) scroll = cursor - visible + 1;
    }
    void Draw() const {
        const BYTE attr = highlighted ? gKeyLetterAttr : gMessageAttr;
        for (size_t i = 0; i < visible; i++) {
            const size_t at = scroll + i;
            WCHAR c = at < text.size() ? text[at] : u' ';
            if (echo == '*' && c != u' ') c = u'*';
            ScrPutChar(row, int(column + i), c, attr);
        }
        ScrSetCursorPos(row, int(column + (cursor - scroll)));
        ScrSetCursorShape(int(gInsertMode ? 2 : 1));
    }
    void Put(WCHAR c) {
        if (highlighted) {
            text.assign(text.size(), u' ');
            cursor = 0;
            highlighted = false;
        }
        if (cursor >= Size()) {
            ScrBeep();
            return;
        }
        if (gInsertMode) {
            text.insert(text.begin() + std::ptrdiff_t(cursor), c);
            text.pop_back(); // the last unit of the field is lost
        } else {
            text[cursor] = c;
        }
        cursor++;
    }
};

bool IsFunctionKey(KeyCode key) {
    const KeyCode base = key & 0xFF;
    return (key & KC_SPECIAL) && base >= 0x70 && base <= 0x7B;
}

} // namespace

DWORD PassKeyBit(KeyCode key) {
    if (key < KcF(1) || key > KcF(12) || key == KcF(10)) return 0;
    const int n = key - KcF(1); // 0 for F1
    return n < 9 ? 1u << n : 1u << (n - 1);
}

void AddToHistory(WORD list, const WCHAR* text) {
    if (!text || !text[0] || !HasList(list)) return;
    std::vector<std::u16string>& entries = gHistory[list];
    for (size_t i = 0; i < entries.size(); i++) {
        if (!SameEntry(list, entries[i], text)) continue;
        std::u16string entry = entries[i].substr(0, 1) + text;
        entries.erase(entries.begin() + std::ptrdiff_t(i));
        entries.insert(entries.begin(), entry);
        return;
    }
    const size_t unmarked = size_t(std::count_if(entries.begin(), entries.end(), [](const auto& e) {
        return e.empty() || e[0] != kMarked;
    }));
    if (unmarked >= kMaxUnmarked) {
        for (size_t i = entries.size(); i-- > 0;)
            if (entries[i].empty() || entries[i][0] != kMarked) {
                entries.erase(entries.begin() + std::ptrdiff_t(i));
                break;
            }
    }
    entries.insert(entries.begin(), u" " + std::u16string(text));
}

DWORD HistoryCount(WORD list) { return list <= kLastList ? DWORD(gHistory[list].size()) : 0; }

const WCHAR* HistoryEntry(WORD list, DWORD index) {
    if (list > kLastList || index >= gHistory[list].size()) return nullptr;
    return gHistory[list][index].c_str() + 1;
}

void HistFreeAll() {
    for (auto& entries : gHistory) entries.clear();
}

void HistLoad(int) {}

void HistSave(int, const WCHAR*, int, int, int) {}

KeyCode InputLine(WORD row, WORD column, WCHAR* text, char echo, WORD listId, BYTE finish,
                  BOOL singleKey, BOOL proposal, DWORD passKeys, int helpTopic) {
    Edit edit;
    edit.row = row;
    edit.column = column;
    edit.echo = echo;
    edit.text = text;
    if (edit.text.empty()) edit.text = u" ";
    const size_t mark = edit.text.find(u'\x01');
    if (mark != std::u16string::npos) {
        edit.text[mark] = u' ';
        edit.cursor = mark;
    } else {
        edit.cursor = edit.End();
    }
    const bool isProposal =
        proposal && (AlwaysProposal(listId) || gSettings.bHighlightDefaults) &&
        edit.End() > 0;
    if (isProposal) {
        // The caller's buffer holds blanks until the edit writes back.
        for (WCHAR* p = text; *p; ++p) *p = u' ';
        edit.highlighted = true;
        edit.cursor = 0;
    }
    const int right = int(gScreenCols) - int(column);
    edit.visible = size_t(std::max(1, std::min(int(edit.Size()) + 1, right)));
    edit.Follow();

    const WORD oldMode = gWindowMode;
    gWindowMode = WM_LINE_EDITOR;
    long historyAt = -1; // the history entry shown, -1 the typed text
    KeyCode key = 0;
    for (;;) {
        edit.Follow();
        edit.Draw();
        key = KbdGetKey(TRUE, FALSE);
        if (key == 0) continue;
        if (key == KC_ESC) break;
        if (key == KC_ENTER || key == KC_SH_ENTER || key == KC_CTRL_ENTER || key == KC_SH_ESC ||
            key == 10)
            break;
        if (const DWORD bit = PassKeyBit(key); bit && (passKeys & bit)) break;
        bool handled = true;
        const size_t end = edit.End();
        switch (key) {
        case KC_F1: {
            int topic = helpTopic;
            if (topic == 0) topic = oldMode == WM_TREE ? 1 : oldMode == WM_FILE ? 2 : 0;
            if (topic) ShowHelp(topic);
            break;
        }
        case KC_LEFT:
            edit.highlighted = false;
            if (edit.cursor == 0) ScrBeep();
            else edit.cursor--;
            break;
        case KC_RIGHT:
            edit.highlighted = false;
            if (edit.cursor >= end || edit.cursor + 1 > edit.Size()) ScrBeep();
            else edit.cursor++;
            break;
        case KC_HOME:
            edit.highlighted = false;
            if (edit.cursor == 0) ScrBeep();
            edit.cursor = 0;
            edit.scroll = 0;
            break;
        case KC_END:
            edit.highlighted = false;
            if (edit.cursor == end) ScrBeep();
            edit.cursor = std::min(end, edit.Size());
            break;
        case KC_BKSP:
            edit.highlighted = false;
            if (edit.cursor == 0) {
                ScrBeep();
                break;
            }
            edit.cursor--;
            edit.text.erase(edit.cursor, 1);
            edit.text.push_back(u' ');
            break;
        case KC_DEL:
            edit.highlighted = false;
            if (edit.cursor < edit.Size()) {
                edit.text.erase(edit.cursor, 1);
                edit.text.push_back(u' ');
            }
            break;
        case KC_CTRL_HOME:
            edit.highlighted = false;
            edit.text.erase(0, edit.cursor);
            edit.text.append(edit.cursor, u' ');
            edit.cursor = 0;
            break;
        case KC_CTRL_END:
        case KC_CTRL_DEL:
            edit.highlighted = false;
            for (size_t i = edit.cursor; i < edit.Size(); i++) edit.text[i] = u' ';
            break;
        case KC_CTRL_BKSP:
            edit.highlighted = false;
            edit.text.assign(edit.Size(), u' ');
            edit.cursor = 0;
            break;
        case KC_INS: gInsertMode = gInsertMode ? 0 : 1; break;
        case KC_ALT_PERIOD:
            for (WCHAR c : u"*.*")
                if (c) edit.Put(c);
            break;
        case KC_UP:
        case KC_DOWN:
        case KcF(3): {
            const long count = long(HistoryCount(listId));
            if (listId == 0 || count == 0) {
                ScrBeep();
                break;
            }
            if (key == KcF(3)) historyAt = 0;
            else if (key == KC_UP) historyAt = std::min(historyAt + 1, count - 1);
            else historyAt = std::max(historyAt - 1, 0L);
            std::u16string recalled = HistoryEntry(listId, DWORD(historyAt));
            if (recalled.size() > edit.Size()) recalled.resize(edit.Size());
            recalled.append(edit.Size() - recalled.size(), u' ');
            edit.text = recalled;
            edit.highlighted = false;
            edit.cursor = std::min(edit.End(), edit.Size());
            break;
        }
        default: {
            const bool character =
                (key >= 32 && key < KC_SPECIAL) ||
                (key == gLastChar.load() && key >= 32 && key <= 0xFFFF && !IsFunctionKey(key) &&
                 !(key >= 1057 && key <= 2088) && key != KC_SH_BKSP);
            if (!character) {
                handled = false;
                break;
            }
            WCHAR c = WCHAR(key);
            if ((echo == 'A' || echo == 'X') && c >= 'a' && c <= 'z') c = WCHAR(c - 32);
            edit.Put(c);
            break;
        }
        }
        if (!handled || singleKey) break;
    }

    if (key != KC_ESC) {
        std::u16string result = edit.text;
        switch (finish) {
        case 1: result.resize(std::min(edit.cursor, result.size())); break;
        case 2:
        case 4: result.resize(edit.End()); break;
        case 3:
            if (edit.End() <= edit.cursor) result.resize(std::min(edit.cursor, result.size()));
            break;
        case 5:
            result.resize(edit.End());
            if (result.size() < edit.Size()) result.push_back(u'\x01');
            break;
        default: break;
        }
        std::copy(result.begin(), result.end(), text);
        text[result.size()] = 0;
        std::u16string accepted = edit.text.substr(0, edit.End());
        const bool historyKey = key == KC_ENTER || key == KC_SH_ENTER || key == KC_CTRL_ENTER ||
                                key == KC_SH_ESC || key == 10;
        if (historyKey && !KeepsNoHistory(listId) && accepted != u"*.*" &&
            (accepted.size() > 1 || gSettings.bHistoryOneChar || listId == 3))
            AddToHistory(listId, accepted.c_str());
    }
    ScrSetCursorShape(0);
    gWindowMode = oldMode;
    return key;
}
