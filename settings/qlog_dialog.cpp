// The logged-volumes dialog: its three command lines, its keys, the file
// name prompt, and the checks a save makes before the writer runs.
#include "settings/qlog_dialog.h"

#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/dir_reading.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "remote/remote_drives.h"
#include "settings/folders.h"
#include "settings/settings.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/command_prompts.h"
#include "ui/dest_prompts.h"
#include "ui/error_dialog.h"
#include "ui/help.h"
#include "ui/line_editor.h"
#include "qwcrt.h"

#include <string>

namespace {

constexpr WORD kHistoryList = 41;
constexpr int kDialogHelp = 64;
constexpr int kNameHelp = 65;

// The file the dialog showed last; empty before the first dialog.
std::u16string gShownName;

std::u16string FirstName() {
    if (gQlogCommandLineFile[0]) return gQlogCommandLineFile;
    return QlogSettingsFolderFile();
}

std::u16string Trimmed(const std::u16string& text) {
    const size_t first = text.find_first_not_of(u' ');
    if (first == std::u16string::npos) return {};
    return text.substr(first, text.find_last_not_of(u' ') - first + 1);
}

void DrawDialog(const std::u16string& name) {
    HotClear(TRUE);
    ScrPutStr(gMessageRow, 0, "QLOG VOLUMES:", gMessageAttr);
    ScrPutStr(gMessageRow, 15, "Save current info to file or load/merge saved file", gMessageAttr);
    FileInfoRec info{};
    const bool exists = !name.empty() && qioGetFileInfo(name.c_str(), 1, &info) == 0 &&
                        !(info.attributes & FILE_ATTRIBUTE_DIRECTORY);
    DrawFileFactsRow(gHintRow, 0, name.c_str(), exists ? &info : nullptr, FALSE);
    const int b = gBottomRow;
    HotText(b, 0, 0, 1, 'L', u"Load");
    HotText(b, 6, 0, 1, 'M', u"Merge");
    HotText(b, 13, 9, 1, 'Q', u"save and Quit");
    HotText(b, 28, 9, 1, 'R', u"save and Resume");
    ShowHelpCancelKeys();
}

// Asks for the file name under title; false on Esc or an empty answer.
bool AskName(const char* title, std::u16string* name) {
    HotClear(TRUE);
    ScrPutStr(gMessageRow, 0, title, gMessageAttr);
    ScrPutStr(gHintRow, 0, "File:", gMessageAttr);
    ShowLastCancelKeys();
    std::u16string field = *name;
    if (field.size() < QLOG_NAME_UNITS - 1) field.append(QLOG_NAME_UNITS - 1 - field.size(), u' ');
    bool proposal = true;
    for (;;) {
        const KeyCode key = InputLine(gHintRow, 6, field.data(), 0, kHistoryList, 2, FALSE,
                                      proposal ? TRUE : FALSE, 0, kNameHelp);
        proposal = false;
        if (key == KC_ESC) return false;
        if (key == KC_ENTER) break;
    }
    const std::u16string answer = Trimmed(std::u16string(field.c_str()));
    if (answer.empty()) return false;
    *name = answer;
    return true;
}

enum class Saved { Done, BackToDialog, Ended };

// The checks before the writer: an existing file confirmed
// with Y, a new file's directory checked (and made on request).
Saved Save(const WCHAR* full, const QlogPaneSwitches& switches, BOOL resort) {
    FileInfoRec info{};
    if (qioGetFileInfo(full, 1, &info) == 0) {
        if (info.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            wcsncpy(gErrorPath, full, 1025);
            ReportError(WORD(full[0]), ERROR_INVALID_NAME);
            return Saved::BackToDialog;
        }
        if (PromptFileExists(0, nullptr, full, 0, &info, 'H', FALSE) != 'Y') return Saved::BackToDialog;
    } else {
        WCHAR directory[DEST_PATH_UNITS];
        wcscpy(directory, full);
        WCHAR* bar = wcsrchr(directory, u'\\');
        if (bar) bar[bar - directory == 2 ? 1 : 0] = 0;
        if (PromptDestPath(directory, DEST_KIND_CHECK_ONLY, nullptr, nullptr, nullptr, 0, kNameHelp) == 27)
            return Saved::BackToDialog;
    }
    const DWORD result = SaveQlogFile(full, switches, resort);
    if (result == 0) return Saved::Done;
    return result == ErrChoiceNext ? Saved::BackToDialog : Saved::Ended;
}

} // namespace

void QlogDialogForget() { gShownName.clear(); }

int QlogDialog(QlogPaneSwitches* switches, WCHAR* path, BOOL resort) {
    QlogPaneSwitches none{};
    if (!switches) switches = &none;
    if (path && path[0]) gShownName = path;
    if (gShownName.empty()) gShownName = FirstName();

    // The dialog has no window mode of its own: it stays the window's, and
    // the line editor stores its own while a name is typed.
    const WORD oldMode = gWindowMode;
    ScreenCell* saved = ScrSaveRect(gMessageRow, 0, gBottomRow, gScreenMaxCol);
    HotPush();
    auto finish = [&](int result) {
        HotPop();
        ScrRestoreRect(gMessageRow, 0, gBottomRow, gScreenMaxCol, saved);
        gWindowMode = oldMode;
        if (path) {
            const size_t n = std::min(gShownName.size(), QLOG_NAME_UNITS - 1);
            gShownName.copy(reinterpret_cast<char16_t*>(path), n);
            path[n] = 0;
        }
        return result;
    };

    for (;;) {
        DrawDialog(gShownName);
        const KeyCode key = KbdGetKey(FALSE, TRUE);
        int letter = 0;
        bool askName = false;
        if (key == 'L' || key == 'M' || key == 'Q' || key == 'R') {
            letter = key;
            askName = true;
        } else if (key == KcAlt('L') || key == KcAlt('M') || key == KcAlt('Q') || key == KcAlt('R')) {
            letter = key - KC_ALT;
        } else if (key == QLOG_OPEN_LETTER || key == KcAlt(QLOG_OPEN_LETTER)) {
            letter = 'Q';
        } else if (key == KC_ESC) {
            return finish(0);
        } else if (key == KC_F1) {
            ShowHelp(kDialogHelp);
            continue;
        } else {
            ScrBeep();
            continue;
        }
        std::u16string name = gShownName;
        if (askName) {
            static const char* const kTitles[] = {
                "Load saved info from this file", "Merge current info with this file",
                "Save current info to file and quit", "Save current info to file"};
            const int title = letter == 'L' ? 0 : letter == 'M' ? 1 : letter == 'Q' ? 2 : 3;
            if (!AskName(kTitles[title], &name)) continue;
        }
        WCHAR full[DEST_PATH_UNITS];
        if (!FullPathOfTypedName(name.c_str(), full)) {
            ReportError(0, ERROR_FILENAME_EXCED_RANGE);
            continue;
        }
        // The name as it was used is the one shown next time.
        gShownName = full;
        if (letter == 'L' || letter == 'M') return finish(QlogLoad(switches, full, letter == 'L' ? 1 : 0));
        switch (Save(full, *switches, resort)) {
        case Saved::Done: return finish(letter);
        case Saved::BackToDialog: continue;
        case Saved::Ended: return finish(0);
        }
    }
}
