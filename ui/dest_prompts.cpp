// The destination path prompt and the file-exists question.
#include "ui/dest_prompts.h"

#include "main/drive_list.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/dir_reading.h"
#include "platform/keyboard.h"
#include "platform/packed_dates.h"
#include "platform/screen.h"
#include "remote/remote_drives.h"
#include "settings/paths.h"
#include "settings/settings.h"
#include "tree/refresh.h"
#include "tree/tree_records.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/command_prompts.h"
#include "ui/error_dialog.h"
#include "ui/help.h"
#include "ui/line_editor.h"
#include "ui/numbers_dates.h"
#include "ui/progress.h"
#include "ui/questions.h"
#include "ui/ui_test_hook.h"
#include "qwcrt.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

WCHAR gLastDestination[DEST_PATH_UNITS];
WCHAR gLastPath[DEST_PATH_UNITS];
BYTE gDestSwitches;

namespace {

constexpr int kPromptRenamed = 9931;

int Upper(int key) { return key >= 'a' && key <= 'z' ? key - 32 : key; }

WCHAR UpperUnit(WCHAR c) { return c >= u'a' && c <= u'z' ? WCHAR(c - 32) : c; }

// The three command lines, their click regions and the window mode, put
// back when the prompt ends.
struct CommandLinesKept {
    ScreenCell* saved;
    WORD mode = gWindowMode;
    bool drawn;
    explicit CommandLinesKept(bool draw) : drawn(draw) {
        saved = drawn ? ScrSaveRect(gMessageRow, 0, gBottomRow, gScreenMaxCol) : nullptr;
        if (drawn) HotPush();
    }
    ~CommandLinesKept() {
        if (drawn) {
            HotPop();
            ScrRestoreRect(gMessageRow, 0, gBottomRow, gScreenMaxCol, saved);
        }
        gWindowMode = mode;
    }
    CommandLinesKept(const CommandLinesKept&) = delete;
    CommandLinesKept& operator=(const CommandLinesKept&) = delete;
};

std::u16string Trimmed(const WCHAR* text) {
    std::u16string s(text);
    const size_t first = s.find_first_not_of(u' ');
    if (first == std::u16string::npos) return {};
    const size_t last = s.find_last_not_of(u' ');
    return s.substr(first, last - first + 1);
}

void CopyOut(WCHAR* out, const std::u16string& text) {
    const size_t n = std::min(text.size(), DEST_PATH_UNITS - 1);
    for (size_t i = 0; i < n; i++) out[i] = text[i];
    out[n] = 0;
}

// The proposal shown when the prompt opens: kind 4 the caller's path, else
// the other pane's directory in split screen, else the last destination
// typed.
std::u16string Proposal(const WCHAR* path, int kind) {
    if (kind == DEST_KIND_CALLER_PATH && path[0]) return path;
    if (gSplitScreen) {
        const SubdirInfo* other = gPanes[(gCurrentPane & 1) ^ 1].Directory;
        if (other && other->pszFullName) return other->pszFullName;
    }
    if (gLastDestination[0] && gLastDestination[0] != u' ') return gLastDestination;
    return {};
}

int InputColumn(int kind) {
    if (kind == DEST_KIND_GRAFT || gWindowMode == WM_ARCHIVE_DIR || gWindowMode == WM_ARCHIVE_FILE)
        return 14;
    if (kind == DEST_KIND_MAY_BE_MISSING) return 16;
    if (kind == DEST_KIND_MAY_BE_MISSING_WIDE) return 22;
    return 11;
}

// Reads the answer; false on Esc.
bool EditAnswer(std::u16string* text, int kind, int column, bool proposal, int helpTopic) {
    HotClear(TRUE);
    ScrPutStr(gBottomRow, 0, "Enter path         ", gMessageAttr);
    ShowLastCancelKeys();
    std::u16string field = *text;
    if (field.size() < DEST_PATH_UNITS - 1) field.append(DEST_PATH_UNITS - 1 - field.size(), u' ');
    const WORD list = kind == DEST_KIND_CALLER_PATH ? 13 : 12;
    for (;;) {
        const KeyCode key = InputLine(gHintRow, WORD(column), field.data(), 'x', list, 2, FALSE,
                                      proposal ? TRUE : FALSE, 0, helpTopic);
        proposal = false;
        if (key == KC_ESC) return false;
        if (key == KC_ENTER) {
            *text = Trimmed(field.c_str());
            return true;
        }
    }
}

// The drive of a full path is listed and its root can be read; false when
// the user gave up (Esc at the report, or any answer but Retry).
bool DriveUsable(const std::u16string& full) {
    const WCHAR letter = UpperUnit(full[0]);
    for (;;) {
        DWORD error = 0;
        if (!BuildDriveList(letter)) {
            error = ERROR_INVALID_DRIVE;
        } else {
            const WCHAR root[4] = {letter, u':', u'\\', 0};
            if (RdGetFileAttributesW(root) == INVALID_FILE_ATTRIBUTES) {
                error = GetLastError();
                if (!error) error = ERROR_PATH_NOT_FOUND;
            }
        }
        if (!error) return true;
        if (ReportError(WORD(letter), error) != ErrChoiceRetry) return false;
    }
}

enum class Check { Accepted, Made, Cancelled, AskAgain };

Check CheckAnswer(std::u16string answer, int kind, WCHAR* path, int column) {
    if (answer.empty()) return Check::Cancelled;
    std::u16string full;
    if (answer.size() == 1 && ((answer[0] >= u'a' && answer[0] <= u'z') ||
                               (answer[0] >= u'A' && answer[0] <= u'Z'))) {
        full = {UpperUnit(answer[0]), u':', u'\\'};
    } else {
        std::u16string typed = answer;
        if (typed.back() != u'\\') typed.push_back(u'\\');
        CopyOut(gLastDestination, typed);
        WCHAR made[DEST_PATH_UNITS];
        if (!FullPathOfTypedName(answer.c_str(), made)) {
            ReportError(0, ERROR_FILENAME_EXCED_RANGE);
            return Check::Cancelled;
        }
        full = made;
        const bool bare = kind == DEST_KIND_MAY_BE_MISSING || kind == DEST_KIND_MAY_BE_MISSING_WIDE;
        if (bare) {
            while (full.size() > 3 && full.back() == u'\\') full.pop_back();
        } else if (full.back() != u'\\') {
            full.push_back(u'\\');
        }
    }
    const bool unc = full.size() >= 2 && full[0] == u'\\' && full[1] == u'\\';
    if (!unc) {
        if (full.size() < 3 || full[1] != u':') {
            ReportError(0, ERROR_INVALID_NAME);
            return Check::Cancelled;
        }
        if (kind != DEST_KIND_CHECK_ONLY) {
            ScrClearArea(gHintRow, column, gHintRow, gScreenMaxCol, gMessageAttr);
            ScrPutWStrN(gHintRow, column, full.c_str(),
                        std::min(int(full.size()), int(gScreenCols) - column), gMessageAttr);
        }
        const bool skipDrive = (kind == DEST_KIND_MAY_BE_MISSING ||
                                kind == DEST_KIND_MAY_BE_MISSING_WIDE) &&
                               FindVolume(UpperUnit(full[0]));
        if (!skipDrive && !DriveUsable(full)) return Check::Cancelled;
    }
    CopyOut(gLastPath, full);
    CopyOut(path, full);
    if (full.size() == 3 || full.find(u'|') != std::u16string::npos) return Check::Accepted;
    if (full.back() == u'\\') full.pop_back();
    CopyOut(path, full);

    const DWORD attributes = RdGetFileAttributesW(full.c_str());
    if (kind == DEST_KIND_MAY_BE_MISSING || kind == DEST_KIND_MAY_BE_MISSING_WIDE) {
        if (FindDirByPathAnyDisk(full.c_str(), nullptr, TRUE)) return Check::Accepted;
        if (attributes == INVALID_FILE_ATTRIBUTES) return Check::Made;
    } else if (attributes == INVALID_FILE_ATTRIBUTES) {
        const bool drawn = !UiScriptRunning();
        ScreenCell* saved = nullptr;
        if (drawn) {
            ScrBeep();
            saved = ScrSaveRect(gBottomRow, 0, gBottomRow, gScreenMaxCol);
            ScrClearArea(gBottomRow, 0, gBottomRow, gScreenMaxCol, gMessageAttr);
            ScrPutStr(gBottomRow, 0, "Directory does not exist.  Make new path?", gMessageAttr);
        }
        const int answer = PromptYesNo(gBottomRow, 0);
        if (drawn) ScrRestoreRect(gBottomRow, 0, gBottomRow, gScreenMaxCol, saved);
        if (answer != 'Y') return Check::Cancelled;
        const int made = AddDirByPath(full.c_str(), nullptr, TRUE);
        if (made < 1) return Check::Made;
        if (made == int(ERROR_CANCELLED)) return Check::Cancelled;
        return Check::AskAgain;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ReportError(WORD(unc ? 0 : full[0]), ERROR_INVALID_NAME);
        return Check::Cancelled;
    }
    WCHAR longName[DEST_PATH_UNITS * 2];
    if (!unc && qioGetLongPathName(full.c_str(), longName) > 0) CopyOut(path, longName);
    return Check::Accepted;
}

} // namespace

bool FullPathOfTypedName(const WCHAR* name, WCHAR* out) {
    out[0] = 0;
    const std::u16string text(name);
    const bool hasDrive = text.size() >= 2 && text[1] == u':';
    if (!hasDrive && text.find_first_of(u"\\/") == std::u16string::npos) {
        PathContext context;
        GetPathContext(&context);
        std::u16string full = context.currentDir;
        if (full.empty()) return false;
        if (full.back() != u'\\') full.push_back(u'\\');
        full += text;
        if (full.size() >= DEST_PATH_UNITS) return false;
        CopyOut(out, full);
        return true;
    }
    return MakeFullPath(out, name) >= 0 && out[0];
}

int PromptDestPath(WCHAR* path, int kind, BYTE* switches, BYTE* replaceMode, BYTE* syncDirection,
                   DWORD where, int helpTopic) {
    (void)replaceMode, (void)syncDirection, (void)where;
    std::u16string text;
    bool proposal = false;
    if (kind == DEST_KIND_CHECK_ONLY) {
        if (switches) *switches = 0;
        switch (CheckAnswer(Trimmed(path), kind, path, 0)) {
        case Check::Accepted: return 0;
        case Check::Made: return 1;
        case Check::Cancelled: return 27;
        case Check::AskAgain: text = path; break; // shown, so that Enter now accepts it
        }
    } else {
        text = Proposal(path, kind);
        proposal = !text.empty();
    }
    CommandLinesKept kept(true);
    const int column = InputColumn(kind);
    if (switches) gDestSwitches = *switches;
    for (;;) {
        if (!EditAnswer(&text, kind, column, proposal, helpTopic)) return 27;
        proposal = false;
        switch (CheckAnswer(text, kind, path, column)) {
        case Check::Accepted: return 0;
        case Check::Made: return 1;
        case Check::Cancelled: return 27;
        case Check::AskAgain: text = path; break;
        }
    }
}

const char* FileExistsQuestion(DWORD attributes) {
    const bool ro = attributes & FILE_ATTRIBUTE_READONLY;
    const bool sys = attributes & FILE_ATTRIBUTE_SYSTEM;
    const bool hid = attributes & FILE_ATTRIBUTE_HIDDEN;
    if (ro && sys && hid) return "RO/Sys/Hid file exists, replace?";
    if (ro && sys) return "RO/Sys file exists, replace?";
    if (ro && hid) return "RO/Hid file exists, replace?";
    if (sys && hid) return "Sys/Hid file exists, replace?";
    if (ro) return "Read-only file exists, replace?";
    if (sys) return "System file exists, replace?";
    if (hid) return "Hidden file exists, replace?";
    return "File exists, replace?";
}

void DrawFileFactsRow(int row, int column, const WCHAR* name, const FileInfoRec* info, BOOL lit) {
    char facts[64] = "";
    if (info) {
        char size[24];
        FormatNumberPicture(size, int64_t(info->size), "###,###,###,###");
        const PackedDate d = info->writtenDate;
        const PackedTime t = info->writtenTime;
        snprintf(facts, sizeof facts, "%s  %02u-%02u-%04u %2u:%02u", size, unsigned(d & 0x1F),
                 unsigned((d >> 5) & 0xF), unsigned(d >> 9), unsigned(t >> 27),
                 unsigned((t >> 21) & 0x3F));
    }
    const int factsWidth = int(strlen(facts));
    const int room = int(gScreenCols) - column - factsWidth - 2;
    const std::u16string text = name ? name : u"";
    if (room > 1) {
        if (int(text.size()) > room) {
            ScrPutWStrN(row, column, text.c_str(), room - 1, lit ? gKeyLetterAttr : gMessageAttr);
            ScrPutChar(row, column + room - 1, u'\u25BA', gMessageAttr);
        } else {
            ScrPutWStr(row, column, text.c_str(), lit ? gKeyLetterAttr : gMessageAttr);
        }
    }
    if (factsWidth) ScrPutStr(row, int(gScreenCols) - factsWidth - 1, facts, gMessageAttr);
}

int PromptFileExists(int column, const WCHAR* source, const WCHAR* target, DWORD entryIndex,
                     const FileInfoRec* targetInfo, int mode, BOOL appendAllowed) {
    (void)entryIndex, (void)mode;
    const UiQuestion question{"PromptFileExists", 0, targetInfo ? targetInfo->attributes : 0,
                              DWORD(appendAllowed), target ? target : u""};
    BusyPause pause;
    const bool drawn = !UiScriptRunning();
    CommandLinesKept kept(drawn);
    const DWORD attributes = targetInfo ? targetInfo->attributes : 0;
    if (drawn) {
        HotClear(TRUE);
        if (column > 0) {
            if (source) DrawFileFactsRow(gMessageRow, column, source, nullptr, FALSE);
            const bool differ = source && target && wcscmp(source, target) != 0;
            DrawFileFactsRow(gHintRow, column, target, targetInfo, differ ? TRUE : FALSE);
        }
        HotText(gBottomRow, 58, 1, 1, 'N', u"[No]");
        HotText(gBottomRow, 64, 0, 1, 'Y', u"Yes");
        HotText(gBottomRow, 69, 0, 3, KC_ESC, u"Esc Cancel");
        if (appendAllowed && !source) HotText(gBottomRow, 50, 0, 1, 'A', u"Append");
        ScrPutStr(gBottomRow, 0, FileExistsQuestion(attributes), gMessageAttr);
        ScrBeep();
    }
    for (;;) {
        const int scripted = UiScriptedKey(question);
        const int key = Upper(scripted >= 0 ? scripted : int(KbdGetKey(FALSE, TRUE)));
        if (key == KC_ENTER || key == 'N') return 'N';
        if (key == 'Y' || key == KC_ESC) return key;
        if (key == KC_F1) {
            ShowHelp(24);
            continue;
        }
        if (key == 'A' && (appendAllowed || gTaggedOpActive)) return 'A';
        if ((key == 'O' || key == 'V') && gTaggedOpActive) return key;
        if (key == 'S' && source && !gTaggedOpActive) return kPromptRenamed;
        if (scripted >= 0 && !drawn) continue;
        ScrBeep();
    }
}
