// The error dialog, the error line of ReportError and the log-option
// question. Each can be answered by the test hook's script instead of the
// keyboard; the answer logic is the same either way.
#include "ui/error_dialog.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/progress.h"
#include "ui/ui_test_hook.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

DWORD gErrorAnswer = 0;
WCHAR gErrorPath[1026] = {};
WORD gErrorDrive = 0;
DWORD gTaggedOpActive = 0;
DWORD gSkipSameAction = 0;

namespace {

struct SkipSameSlot {
    DWORD code;
    DWORD answer;
};
SkipSameSlot gSkipSameMemory[5] = {};

struct CodeText {
    DWORD code;
    const char* text;
};

constexpr CodeText kDialogMessages[] = {
    {1, "Invalid Function"}, {2, "File Not Found"}, {3, "Path not found"},
    {5, "Access Denied"}, {6, "Invalid handle"},
    {8, "Not enough memory available to process command"}, {11, "Bad program file format"},
    {15, "Invalid drive"}, {17, "Not same device"}, {18, "No more files"},
    {19, "Write Protected"}, {20, "Bad unit"}, {21, "Device not ready"}, {22, "Device error"},
    {23, "CRC error"}, {25, "Seek error"}, {26, "Not a DOS disk"}, {27, "Sector not found"},
    {29, "Write Fault"}, {30, "Read Fault"}, {31, "General Failure"},
    {32, "Sharing Violation"}, {33, "File is locked"}, {51, "Remote computer not responding"},
    {53, "Network Path not found"}, {55, "Network Path not found"},
    {58, "Bad Network response"}, {59, "Network Error"}, {64, "Network name not available"},
    {66, "Bad network device type"}, {67, "Network Path not found"},
    {80, "File already exists"}, {87, "Invalid Parameter"}, {111, "Buffer Overflow"},
    {121, "The semaphore timeout period has expired"}, {123, "Invalid Name"},
    {145, "Directory not empty"}, {161, "Path not found"},
    {183, "File/Directory already exists"}, {206, "File/path name too long"},
    {267, "Invalid directory name"}, {433, "A device which does not exist was specified"},
    {999, "Error accessing the paging file"}, {1006, "The volume has been externally altered"},
    {1117, "I/O device error"}, {1235, "Request Aborted"},
    {1351, "Domain controller unavailable"}, {1392, "File/directory damaged and unreadable"},
    {1785, "Unrecognized media - formatted?"},
    {1920, "The file cannot be accessed by the system"}, {2404, "Device in use"},
    {4350, "File is offline"}, {6000, "File cannot be encrypted on the target"},
    {6969, "WTF error"}, {9990, "File too large for FAT file-system"},
    {9991, "Invalid path\\filename - too long"}, {0xC0000005, "Access Violation"},
    {0xC0000006, "In Page Error"}, {0xC0000008, "Invalid Handle"}, {0xC0000017, "No Memory"},
};

constexpr CodeText kLineTexts[] = {
    {0, "Insufficient Virtual Memory"}, {2, "File Not Found"}, {3, "Path Not Found"},
    {8, "Not enough storage is available for this command"}, {13, "Invalid data"},
    {16, "Directory in use"}, {80, "File already exists"},
    {82, "Cannot make file or directory"}, {87, "Invalid Parameter"}, {112, "Disk Full"},
    {123, "Invalid Name"},
    {131, "An attempt was made to move the file pointer before the beginning of the file"},
    {145, "Directory not empty"}, {161, "Bad Pathname"},
    {183, "File/Directory already exists"}, {206, "Bad Filename"},
    {267, "Invalid directory name"}, {1006, "The file has been externally altered"},
    {1235, "Function aborted"}, {1450, "No available system resources"},
    {9992, "DoD Sanitize verification failed"}, {9993, "(VUR) Out of memory"},
    {9994, "(VUR) File not found"}, {9995, "(VUR) Files are different"},
    {9996, "(VUR) Files are identical"}, {9997, "Insufficient disk space"},
    {9998, "File is read-only/system/hidden"}, {9999, "Internal error - Sorry, I screwed up!"},
};

const char* Lookup(const CodeText* table, size_t n, DWORD code) {
    for (size_t i = 0; i < n; i++)
        if (table[i].code == code) return table[i].text;
    return nullptr;
}

// Device, media and other codes that always open the dialog.
bool GoesToDialog(DWORD code) {
    static constexpr DWORD kCodes[] = {1,   5,   6,    11,   15,   25,   26,   27,   29,
                                       30,  31,  32,   33,   51,   53,   55,   58,   59,
                                       64,  66,  67,   111,  121,  433,  999,  1117, 1351,
                                       1392, 1785, 1920, 2404, 4350, 9990, 9991};
    if (code >= 17 && code <= 23) return true;
    if (code == 0xC0000005 || code == 0xC0000006 || code == 0xC0000008 || code == 0xC0000017)
        return true;
    for (DWORD c : kCodes)
        if (c == code) return true;
    return false;
}

char Upper(int key) { return key >= 'a' && key <= 'z' ? char(key - 32) : char(key); }

// One key for a question: the script's when one runs, else the keyboard's
// (upper-cased).
int AskKey(const UiQuestion& question) {
    const int scripted = UiScriptedKey(question);
    if (scripted >= 0) return Upper(scripted);
    return int(KbdGetKey(FALSE, TRUE));
}

void WideToOem(const WCHAR* text, char* out, int size) {
    int n = 0;
    for (; text[n] && n < size - 1; n++) out[n] = text[n] < 0x80 ? char(text[n]) : '?';
    out[n] = 0;
}

// Draws the dialog box and returns what must be restored.
ScreenCell* DrawDialog(WORD driveLetter, DWORD code, const char* message, DWORD allowSkip,
                       bool ignorable, int* bottom) {
    char path[1026];
    WideToOem(gErrorPath, path, sizeof path);
    const int length = int(strlen(path));
    const int pathLines = length == 0 ? 1 : (length + 37) / 38;
    char error[96];
    snprintf(error, sizeof error, code > 0xC0000004 ? "%s [%05x]" : "%s [%d]", message,
             unsigned(code));
    const int t = strlen(error) > 26 ? 2 : 1;
    const int b = pathLines + t;
    const int rows = b + (gTaggedOpActive ? 3 : 2);
    *bottom = rows + 10;
    ScreenCell* saved = ScrSaveRect(6, 17, *bottom, 62);
    ScrClearArea(6, 17, rows + 10, 62, gMessageAttr);
    ScrClearArea(7, 20, rows + 9, 59, gKeyLetterAttr);
    ScrHLine(7, 19, 42, 0x2588, 0x2580, 0x2588, gMessageAttr);
    for (int row = 8; row <= rows + 8; row++) {
        ScrPutChar(row, 19, 0x2588, gMessageAttr);
        ScrPutChar(row, 60, 0x2588, gMessageAttr);
    }
    ScrHLine(rows + 9, 19, 42, 0x2588, 0x2584, 0x2588, gMessageAttr);
    ScrPutStr(8, 22, "Device:", gKeyLetterAttr);
    char device[16];
    snprintf(device, sizeof device, "Disk %c:\\", driveLetter ? char(driveLetter) : 'C');
    ScrPutStr(8, 30, device, gKeyLetterAttr);
    ScrPutStr(10, 23, "Error:", gKeyLetterAttr);
    if (t == 2 && strlen(error) > 28) {
        ScrPutStrN(10, 30, error, 28, gKeyLetterAttr);
        ScrPutStr(11, 30, error + 28, gKeyLetterAttr);
    } else {
        ScrPutStr(10, 30, error, gKeyLetterAttr);
    }
    for (int line = 0; line < pathLines && line * 38 < length; line++)
        ScrPutStrN(10 + t + line, 21, path + line * 38, 38, gKeyLetterAttr);
    const int q = 10 + b;
    if (gTaggedOpActive) {
        ScrPutStr(q, 23, "Press: Cancel, Retry, Next file", gKeyLetterAttr);
        ScrPutStr(q + 1, 30, "Skip same error", gKeyLetterAttr);
    } else {
        ScrPutStr(q, 23, "Press: Cancel or Retry", gKeyLetterAttr);
        if (allowSkip)
            ScrPutStr(q, 46, "or Skip", gKeyLetterAttr);
        else if (ignorable)
            ScrPutStr(q, 46, "or Ignore", gKeyLetterAttr);
    }
    return saved;
}

} // namespace

const char* ErrorDialogMessage(DWORD code) {
    const char* text = Lookup(kDialogMessages, std::size(kDialogMessages), code);
    return text ? text : "Undetermined error";
}

DWORD ErrorDialog(WORD driveLetter, DWORD code, DWORD allowSkip) {
    MacroStop();
    if (gSkipSameAction == 0) {
        for (SkipSameSlot& slot : gSkipSameMemory) slot = {};
    } else if (!gTaggedOpActive) {
        gErrorPath[0] = 0;
        return ErrChoiceSkip;
    } else {
        for (const SkipSameSlot& slot : gSkipSameMemory)
            if (slot.code == code && slot.code != 0) return gSkipSameAction;
    }
    const char* message = ErrorDialogMessage(code);
    const bool ignorable = code == 23;
    const bool skipOffered = allowSkip || gTaggedOpActive;
    const UiQuestion question{"ErrorDialog", driveLetter, code, allowSkip, gErrorPath};

    const WORD oldMode = gWindowMode;
    ScreenCell* saved = nullptr;
    int bottom = 0;
    const bool drawn = !UiScriptRunning();
    if (drawn) {
        saved = DrawDialog(driveLetter, code, message, allowSkip, ignorable, &bottom);
        gWindowMode = WM_ERROR_DIALOG;
    }
    int key;
    for (;;) {
        if (drawn) ScrBeep();
        key = AskKey(question);
        if (key == 27 || key == 'C' || key == 'R') break;
        if (key == 'I' && ignorable) break;
        if (key == 'N' && gTaggedOpActive) break;
        if (key == 'S' && skipOffered) break;
    }
    if (drawn) {
        ScrRestoreRect(6, 17, bottom, 62, saved);
        gWindowMode = oldMode;
    }
    switch (key) {
    case 'R':
        // Retries are not kept in the error log, so the path is let go.
        gErrorPath[0] = 0;
        return ErrChoiceRetry;
    case 'I': return ErrChoiceIgnore;
    case 'N': return ErrChoiceNext;
    case 'S': {
        SkipSameSlot* slot = &gSkipSameMemory[0];
        if (gSkipSameAction != 0) {
            slot = &gSkipSameMemory[4];
            for (int i = 1; i < 4; i++)
                if (gSkipSameMemory[i].code == 0) {
                    slot = &gSkipSameMemory[i];
                    break;
                }
        }
        *slot = {code, ErrChoiceSkip};
        gSkipSameAction = ErrChoiceSkip;
        return ErrChoiceSkip;
    }
    default: return ERROR_CANCELLED;
    }
}

DWORD ReportError(WORD driveLetter, DWORD code) {
    MacroStop();
    if ((gTaggedOpActive && (code == 2 || code == 3 || code == 87 || code == 123 || code == 183)) ||
        GoesToDialog(code))
        return ErrorDialog(driveLetter, code, 0);

    char line[160];
    const char* text = Lookup(kLineTexts, std::size(kLineTexts), code);
    if (code >= 9992 && code <= 9999)
        snprintf(line, sizeof line, "%s", text);
    else if (text)
        snprintf(line, sizeof line, "[%02d] %s", unsigned(code), text);
    else if (code < 9000)
        snprintf(line, sizeof line, "[%02d] ", unsigned(code));
    else
        line[0] = 0;
    const bool noSpace = code == 112 || code == ErrDiskSpace;
    const UiQuestion question{"ReportError", driveLetter, code, 0, gErrorPath};

    const bool drawn = !UiScriptRunning();
    const WORD oldMode = gWindowMode;
    const DWORD busy = gBusyFlag;
    ScreenCell* saved = nullptr;
    if (drawn) {
        saved = ScrSaveRect(gBottomRow, 0, gBottomRow, gScreenMaxCol);
        ScrClearArea(gBottomRow, 0, gBottomRow, gScreenMaxCol, gMessageAttr);
        ScrPutStr(gBottomRow, 0, "Error: ", gMessageAttr);
        ScrPutStr(gBottomRow, 7, line, gMessageAttr);
        HotText(gBottomRow, 61, 0, 3, KC_ENTER, u"\u25C4\u2500\u2518 OK");
        if (!noSpace) HotText(gBottomRow, 69, 0, 3, KC_ESC, u"Esc Cancel");
        ScrBeep();
        gWindowMode = WM_ERROR_LINE;
        gBusyFlag = 0;
    }
    DWORD answer;
    if (noSpace) {
        const int key = AskKey(question);
        if (key == 27) {
            answer = ERROR_CANCELLED;
        } else if (oldMode != WM_ARCHIVE_FILE && gTaggedOpActive) {
            if (drawn) {
                ScrClearArea(gBottomRow, 0, gBottomRow, 68, gMessageAttr);
                ScrPutStr(gBottomRow, 0, "OPTIONS:", gMessageAttr);
                HotText(gBottomRow, 23, 0, 1, 'R', u"Retry file");
                HotText(gBottomRow, 36, 0, 1, 'S', u"Skip file");
                HotText(gBottomRow, 48, 0, 3, KC_ENTER,
                        oldMode == WM_TREE ? u"\u25C4\u2500\u2518 next media"
                                           : u"\u25C4\u2500\u2518 new destination");
            }
            const int second = AskKey(question);
            answer = second == 'R'  ? ErrChoiceRetry
                     : second == 'S' ? ErrChoiceSkip
                     : second == 27  ? ERROR_CANCELLED
                                     : ErrChoiceNext;
        } else {
            answer = ErrChoiceNext;
        }
    } else {
        int key;
        do key = AskKey(question);
        while (key != 27 && key != KC_ENTER);
        answer = key == 27 ? ERROR_CANCELLED : ErrChoiceNext;
    }
    if (drawn) {
        HotClearRow(gBottomRow);
        ScrRestoreRect(gBottomRow, 0, gBottomRow, gScreenMaxCol, saved);
        gWindowMode = oldMode;
        gBusyFlag = busy;
    }
    return answer;
}

int PromptLogOption(int showDrive) {
    const UiQuestion question{"PromptLogOption", WORD(showDrive ? 1 : 0), 0, 0, {}};
    const bool drawn = !UiScriptRunning();
    const WORD oldMode = gWindowMode;
    ScreenCell* saved = nullptr;
    if (drawn) {
        saved = ScrSaveRect(gMessageRow, 0, gBottomRow, gScreenMaxCol);
        HotPush();
        HotClear(TRUE);
        int column = 0;
        if (showDrive) {
            const bool wide = gScreenMaxCol + 1 > 84;
            ScrPutStr(gMessageRow, 0, wide ? "Select drive" : "Drive ", gMessageAttr);
            column = wide ? 14 : 6;
        }
        ScrPutStr(gMessageRow, column, "Select log option", gMessageAttr);
        WORD next = HotText(gBottomRow, 0, 0, 1, 'C', u"Continue Logging");
        next = HotText(gBottomRow, next + 1, 0, 1, 'P', u"Partial Logging");
        HotText(gBottomRow, next + 1, 0, 1, 'Q', u"Quit Quilbora");
        gWindowMode = WM_LOG_OPTION;
    }
    int key;
    for (;;) {
        key = AskKey(question);
        if (key == 'C' || key == 'P' || key == 27) break;
        if (key == 'Q') {
            EndScreenSession();
            std::exit(0);
        }
        // F1 would show the logging help; every other key is passed over.
    }
    if (drawn) {
        HotPop();
        ScrRestoreRect(gMessageRow, 0, gBottomRow, gScreenMaxCol, saved);
        gWindowMode = oldMode;
    }
    return key;
}
