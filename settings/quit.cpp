// The quit question, the fatal exit for an exhausted heap with the checked
// allocations that lead to it, and the usage text of the command line.
#include "settings/quit.h"

#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "settings/colours.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/open_with.h"
#include "qprintf.h"
#include "windows.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

BOOL gNoQuitConfirm = FALSE;

// ---- the quit question ---------------------------------------------------------------

namespace {

struct QuitChoice {
    int column;
    KeyCode key;
    const WCHAR* label;
};

// The answers on the second command line; "[No]" is the default.
constexpr QuitChoice kQuitChoices[] = {
    {53, 'n', u"[No]"},
    {59, 'y', u"Yes/"},
    {63, 'q', u"Quit"},
    {69, KC_ESC, u"Esc Cancel"},
};

// Asks the question and reads one key; true for yes. Everything it changes
// on the screen, in the click regions and in the window mode is put back.
bool AskQuit() {
    const BYTE frames = gColourTable[COLOUR_FRAMES];
    const WORD mode = gWindowMode;
    ScreenCell* saved = ScrSaveRect(gMessageRow, 0, gHintRow, gScreenMaxCol);
    HotPush();
    gWindowMode = WM_QUIT_QUESTION;
    ScrClearArea(gMessageRow, 0, gHintRow, gScreenMaxCol, frames);
    ScrPutStr(gMessageRow, 0, "QUIT", frames);
    ScrPutStr(gHintRow, 0, "Are you sure you wish to exit?", frames);
    for (const QuitChoice& choice : kQuitChoices) {
        HotText(gHintRow, choice.column, 0, 0, DWORD(choice.key), choice.label);
        // Key hints take the dialogue layer's command-line colour; the
        // question is in the FRAMES colour throughout, key letters included.
        if (gMessageAttr != frames)
            ScrFillAttr(gHintRow, choice.column, frames, int(wcslen(choice.label)));
    }
    const KeyCode key = KbdGetKey(FALSE, TRUE);
    ScrRestoreRect(gMessageRow, 0, gHintRow, gScreenMaxCol, saved);
    HotPop();
    gWindowMode = mode;
    return key == 'Y' || key == 'Q';
}

} // namespace

namespace {
void SleepFor(DWORD milliseconds) { Sleep(milliseconds); }
void (*gQuitWait)(DWORD) = SleepFor;
} // namespace

void ConfirmQuitSetWaitForTest(void (*wait)(DWORD milliseconds)) {
    gQuitWait = wait ? wait : SleepFor;
}

int ConfirmQuit(int ask) {
    if (ask && !gNoQuitConfirm && !AskQuit()) return 0;
    // A desktop opener started just before the quit key must get the file
    // before the program (and maybe its session temporary directory) goes.
    gQuitWait(100);
    for (int step = 0; step < 5 && gOpenWithThreads.load() > 0; step++)
        gQuitWait(500);
    return 1;
}

// ---- the fatal exit --------------------------------------------------------------------

namespace {

constexpr char kSupportLine[] = "For support, see the README file that came with Quilbora.\n";
constexpr char kPressAnyKey[] = "\nPress Any Key...";

// Set while this thread runs the fatal exit: an allocation that fails on
// the way out must not start it again.
thread_local bool tFatalExitRunning = false;

// The end of the process once the message is out. Nothing more of the
// program may run: other threads are still going, so the clean-up of exit()
// (static destructors) could pull their data away under them, and the
// terminal has been given back already. Streams are flushed here instead.
[[noreturn]] void ExitAtOnceWith255() {
    fflush(nullptr);
    std::_Exit(255);
}

} // namespace

void FatalMemoryError(const char* module, int line, const char* function) {
    // Formatted on the stack: the heap is what ran out.
    char message[640];
    snprintf(message, sizeof message, "\nFatal Memory error in module: %s at line: %d : %s\n",
             module ? module : "?", line, function ? function : "?");
    FatalExitWithMessage(message);
}

void FatalExitWithMessage(const char* message) {
    if (tFatalExitRunning) {
        fputs(message, stdout);
        ExitAtOnceWith255();
    }
    tFatalExitRunning = true;
    // The first thread to get here ends the process; a later one (or a
    // console control handler already ending it) keeps this thread waiting.
    ConsoleBeginExit();
    EndScreenSession();
    const BOOL terminal = FreeConsole();
    fputs(message, stdout);
    fputs(kSupportLine, stdout);
    fflush(stdout);
    if (terminal) {
        ConsolePromptKey(kPressAnyKey);
    } else {
        // No terminal to wait on: the text is still complete on the output.
        fputs(kPressAnyKey, stdout);
        fputs("\n", stdout);
    }
    ExitAtOnceWith255();
}

namespace {

void FatalNewHandler() {
    FatalMemoryError("new", 0, "operator new");
}

} // namespace

void InstallFatalNewHandler() {
    std::set_new_handler(FatalNewHandler);
}

// ---- checked allocations ----------------------------------------------------------------

namespace {

// Checked allocations left until the injected failure; 0 when none is due.
std::atomic<unsigned> gFailCountdown{0};

bool InjectedFailure() {
    unsigned left = gFailCountdown.load();
    while (left != 0)
        if (gFailCountdown.compare_exchange_weak(left, left - 1)) return left == 1;
    return false;
}

constexpr size_t kLargestBlock = size_t(PTRDIFF_MAX);

} // namespace

void CheckedAllocFailAt(unsigned n) {
    gFailCountdown.store(n);
}

void* CheckedMalloc(size_t bytes, const char* module, int line, const char* function) {
    const bool injected = InjectedFailure();
    if (injected || bytes > kLargestBlock) FatalMemoryError(module, line, function);
    // malloc(0) may answer null, which would read as a failure.
    void* block = malloc(bytes ? bytes : 1);
    if (!block) FatalMemoryError(module, line, function);
    return block;
}

void* CheckedCalloc(size_t count, size_t size, const char* module, int line, const char* function) {
    const bool injected = InjectedFailure();
    if (injected || (size != 0 && count > kLargestBlock / size))
        FatalMemoryError(module, line, function);
    void* block = calloc(count ? count : 1, size ? size : 1);
    if (!block) FatalMemoryError(module, line, function);
    return block;
}

void* CallocOrNull(size_t count, size_t size) {
    if (InjectedFailure() || (size != 0 && count > kLargestBlock / size)) return nullptr;
    return calloc(count ? count : 1, size ? size : 1);
}

void* CheckedRealloc(void* block, size_t bytes, const char* module, int line,
                     const char* function) {
    const bool injected = InjectedFailure();
    if (injected || bytes > kLargestBlock) FatalMemoryError(module, line, function);
    // realloc(block, 0) may free the block and answer null.
    void* moved = realloc(block, bytes ? bytes : 1);
    if (!moved) FatalMemoryError(module, line, function);
    return moved;
}

char* CheckedStrdup(const char* text, const char* module, int line, const char* function) {
    const size_t bytes = strlen(text) + 1;
    auto* copy = static_cast<char*>(CheckedMalloc(bytes, module, line, function));
    memcpy(copy, text, bytes);
    return copy;
}

WCHAR* CheckedWcsdup(const WCHAR* text, const char* module, int line, const char* function) {
    const size_t bytes = (wcslen(text) + 1) * sizeof(WCHAR);
    auto* copy = static_cast<WCHAR*>(CheckedMalloc(bytes, module, line, function));
    memcpy(copy, text, bytes);
    return copy;
}

void CheckedFree::operator()(void* block) const {
    free(block);
}

// ---- usage text ------------------------------------------------------------------------------

namespace {

// Option lines: four blanks, the option padded with blanks to five
// characters, "- " and what it does (a longer option is followed by " - ");
// continuation lines start under the text of a short option.
constexpr const char* kUsageLines[] = {
    "Quilbora 2.9.11 - keyboard-driven file manager for the Linux terminal",
    "",
    " Usage: QBK [/video mode] [/progs] [/options] [A..Z|path|filter] [/K[macro]]",
    "   The /K options must come last; all other options may come in any order.",
    "",
    " [/video mode]: /2|/3|/4|/5|/6|/8",
    "    /2   - 25 line mode (96 columns).",
    "    /3   - 34 line mode (96 columns).",
    "    /4   - 43 line mode (96 columns).",
    "    /5   - 50 line mode (96 columns).",
    "    /6   - 60 line mode (96 columns).",
    "    /8   - 28 line mode (96 columns).",
    "           If a mode causes problems, try 25, 43 or 50 lines.",
    "",
    " [/progs]: /Eeditor.EXE | /Vviewer.EXE",
    "    /Eeditor.EXE - External editor to use instead of the configured one.",
    "    /Vviewer.EXE - External viewer to use instead of the configured one.",
    "",
    " [/options]:",
    "    /?   - Show this usage text.",
    "    /B   - Disable beeps in Quilbora.",
    "    /CP:nnn - Code page nnn for OEM text in the viewer (default: the OEM one).",
    "    /DEB - Trace the start-up; show all output of archivers and commands.",
    "    /KBR - Log keys to QKEYS.LOG in the QTMP### directory; at the end of the",
    "           session it is appended to the QKEYS.LOG of the program directory.",
    "    /L1  - Log the root directory only.",
    "    /L2-9 - Log the start-up drives in full, 2 to 9 directory levels deep.",
    "    /LF  - Log full disks: all directories and their files.",
    "    /LQ  - Log quietly: no error messages while logging.",
    "    /LS  - Log single-threaded: no read-ahead threads.",
    "    /LT  - Log the directory tree only.",
    "    /M   - Disable the mouse.",
    "    /NC  - No new console: the screen session makes no console of its own.",
    "    /PMF - Path mode of Alt copy, move and mirror: full paths (the default).",
    "    /PMC - Path mode of Alt copy, move and mirror: current directory.",
    "    /PMR - Path mode of Alt copy, move and mirror: relative paths.",
    "    /OA  - Sort files in ascending order.",
    "    /OD  - Sort files in descending order.",
    "    /ODA - Sort directories in ascending order.",
    "    /ODD - Sort directories in descending order.",
    "    /SA  - Sort files by alphabetic value.",
    "    /SD  - Sort files by date.",
    "    /SE  - Sort files by extension.",
    "    /SF  - Sort files by the length of the full path.",
    "    /SL  - Sort files by the length of the name.",
    "    /SM  - Sort files by number.",
    "    /SN  - Sort files by name.",
    "    /SS  - Sort files by size.",
    "    /ST  - Sort files by time.",
    "    /SU  - Leave files unsorted.",
    "    /SV  - Sort files by value.",
    "    /SDA - Sort directories by alphabetic value.",
    "    /SDD - Sort directories by date.",
    "    /SDE - Sort directories by extension.",
    "    /SDF - Sort directories by the length of the full path.",
    "    /SDL - Sort directories by the length of the name.",
    "    /SDM - Sort directories by number.",
    "    /SDN - Sort directories by name.",
    "    /SDS - Sort directories by size.",
    "    /SDT - Sort directories by time.",
    "    /SDU - Leave directories unsorted.",
    "    /SDV - Sort directories by value.",
    "    /SSD - Split screen: each side sorted on its own.",
    "    /SSS - Split screen: both sides sorted the same way.",
    "    /STM - Sort the directory tree by number.",
    "    /STN - Sort the directory tree by name.",
    "    /Ttext - Console title text (a text starting with % may name a variable).",
    "    /TO  - Title shows the current directory or file name.",
    "    /TP  - Title shows the current path name (also shown on line one).",
    "    /TV  - Title shows the program version.",
    "    /TQ  - Title shows the product name.",
    "           The letters O, P, Q and V may be combined, as in /TQV.",
    "    /AK  - Alternative keyboard assignment.",
    "    /Y   - Do not restore the screen on exit, and no new console.",
    "    /QB  - QAAP program interface on.",
    "    /QB1 - QAAP program interface on, in its first-version form.",
    "    /QCfile - Alternate colour file, loaded instead of QCOLORS.INI.",
    "    /QD  - Start in the directory that was current at the end of the last run.",
    "    /QF  - Start with the newest filter of the filter history.",
    "    /QIfile - Alternate settings file, loaded instead of QBK.INI.",
    "    /QM  - Load all bookmarks of the last run.",
    "    /QN  - Disable the loading of QNOLOG.INI.",
    "    /QP  - Show progress without elapsed time and data rate.",
    "    /QT  - Start in the newest directory of the tree-spec history.",
    "    /QVfile - Logged volume file to load, which is not deleted; a name that",
    "           does not exist prevents loading the default one.",
    "",
    " [/options - Video]:",
    "    /AUTO - Use the terminal's own size.",
    "    /MAX[:+/-r:+/-c] - Start maximised; r rows and c columns added to the",
    "           largest size (e.g. /MAX:-2:+4).",
    "    /MAX=+/-r[:+/-c] - Only set the rows and columns added when maximised.",
    "    /NOMAX - Alt-F7 does not maximise.",
    "    /COLS:nn[:nn:nn] - Widths that Alt-F8 steps through; start with the first.",
    "    /ROWS:nn[:nn:nn] - Heights that Alt-F9 steps through; start with the first.",
    "",
    " [A..Z|path|filter]:",
    "    A..Z - Drives to log.",
    "    path - A directory to start in.",
    "    filter - An initial file filter, such as *.c or *.c,*.h.",
    "           Several drives and paths are logged in command-line order and the",
    "           first is made active.",
    "",
    " [/K[macro]]:  /K[keys|@file.qbm]",
    "    /Kkeys - Start with a macro: the keys, separated by commas.",
    "    /K@file.qbm - Start with the macro of a macro file.",
    "           /K must be last: every argument after it belongs to the macro.",
};

} // namespace

void ShowUsage() {
    for (const char* line : kUsageLines) {
        fputs(line, stdout);
        fputs("\n", stdout);
    }
    fflush(stdout);
}
