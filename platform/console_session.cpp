// The file manager's console session: platform start-up, the screen
// session's start and end, the screen geometry and layout, size changes, the
// alternate screen, cursor, title and palette, the control handler and the
// window tracking.
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "main/window_layout.h"
#include "menu/qaap.h"
#include "settings/colours.h"
#include "settings/folders.h"
#include "settings/settings.h"
#include "remote/remote_drives.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

WORD gScreenRows = 43;
WORD gScreenCols = 96;
WORD gScreenMaxRow = 42;
WORD gScreenMaxCol = 95;
DWORD gScreenCellBytes = 43 * 96 * 2;
WORD gMessageRow = 40;
WORD gHintRow = 41;
WORD gBottomRow = 42;
WORD gFrameLastRow = 39;
WORD gSmallWindowRow = 30;
WORD gSmallWindowRows = 8;
WORD gSmallWindowLastRow = 38;
WORD gSmallWindowDefaultRow = 30;
BYTE gTreeSizePercent = 0;
WORD gFirstScreenRows = 0;
WORD gFirstScreenCols = 0;
BOOL gClassicVideoMode = FALSE;
SHORT gMaxRowAdjust = 0;
SHORT gMaxColAdjust = 0;
WORD gLargestRows = 0;
WORD gLargestCols = 0;
HANDLE gConOut = nullptr;
HANDLE gStdOut = nullptr;
HWND gConsoleWindow = nullptr;
RECT gConsoleWindowRect = {};
BOOL gTerminalHost = FALSE;
DWORD gOsMajorVersion = 0;
std::atomic<BOOL> gTextCursor{FALSE};
SESSION_SWITCHES SessionSwitches = {TRUE, TRUE, TRUE, TRUE, TRUE};
std::atomic<BOOL> gResizePending{FALSE};
TITLE_LAYOUT gTitleLayout = {};
char gHLineText[1024];
SESSION_END_WORK gSessionEndWork = {};
LPVOID gTaskbarList = nullptr;

namespace {

// The tree window's height and the small file window's rows as last laid
// out, kept across size changes.
int gKeptTreeHeight = 0;
int gKeptSmallRows = 0;
constexpr int kDefaultTreePercent = 75;

// What the terminal had when the session started: its buffer information,
// its window's size and its contents in up to two pieces (rows 0-199 and
// 200 onward), each with its rectangle.
struct SavedPiece {
    int top, left, bottom, right;
    ScreenCell* cells;
};
struct SavedTerminal {
    BOOL taken;
    CONSOLE_SCREEN_BUFFER_INFO info;
    int windowRows;
    int windowCols;
    SavedPiece pieces[2];
};
SavedTerminal gSaved = {};

// The session has started (set by StartScreenSession) and ended.
BOOL gSessionStarted = FALSE;
BOOL gSessionEnded = FALSE;

// The alternate screen: whether it shows, and the handle that first used it.
BOOL gAltActive = FALSE;
HANDLE gAltHandle = nullptr;

// Ends the process the way every refusal at start does: standard streams
// flushed, the status given.
[[noreturn]] void ExitWithStreamsFlushed(int status) {
    fflush(stdout);
    fflush(stderr);
    std::exit(status);
}

// Exports a special folder's path under name; an unknown folder exports
// nothing.
void ExportSpecialFolder(const WCHAR* name, int id) {
    WCHAR path[MAX_PATH];
    if (SHGetSpecialFolderPathW(nullptr, path, id, FALSE)) SetEnvironmentVariableW(name, path);
}

// The command line without the program's name and the blanks after it; a
// quoted name is skipped to its closing quote.
const WCHAR* ArgumentsOf(const WCHAR* line) {
    if (!line) return u"";
    const WCHAR* p = line;
    if (*p == '"') {
        p++;
        while (*p && *p != '"') p++;
        if (*p == '"') p++;
    }
    while (*p && *p != ' ' && *p != '\t') p++;
    while (*p == ' ' || *p == '\t') p++;
    return p;
}

// Replaces a folder by its short-name form when that can be had and fits.
void ShortenFolder(WCHAR* folder, DWORD units) {
    if (!folder[0]) return;
    WCHAR shortForm[FOLDER_UNITS];
    DWORD n = RdGetShortPathNameW(folder, shortForm, FOLDER_UNITS);
    if (n > 0 && n < units && n < FOLDER_UNITS) wmemcpy(folder, shortForm, n + 1);
}

// Tries a console size call up to 500 times, 20 ms apart, while it fails for
// a passing reason; a refusal of the size itself (invalid parameter) is
// final at once.
template <typename Call> BOOL Retried(Call call) {
    for (int attempt = 0; attempt < 500; attempt++) {
        if (call()) return TRUE;
        if (GetLastError() == ERROR_INVALID_PARAMETER || GetLastError() == ERROR_INVALID_HANDLE)
            return FALSE;
        Sleep(20);
    }
    return FALSE;
}

// Sets the console buffer and its window to rows x columns, in the order
// the console allows: a buffer is never smaller than its window.
BOOL SetConsoleSize(int rows, int columns) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(gConOut, &info)) return FALSE;
    const SMALL_RECT window = {0, 0, SHORT(columns - 1), SHORT(rows - 1)};
    const int windowRows = info.srWindow.Bottom - info.srWindow.Top + 1;
    const int windowCols = info.srWindow.Right - info.srWindow.Left + 1;
    if (rows < windowRows || columns < windowCols) {
        // Shrink the window first, within what both sizes allow.
        const SMALL_RECT smaller = {0, 0, SHORT(std::min(columns, windowCols) - 1),
                                    SHORT(std::min(rows, windowRows) - 1)};
        Retried([&] { return SetConsoleWindowInfo(gConOut, TRUE, &smaller); });
    }
    BOOL ok = Retried([&] {
        return SetConsoleScreenBufferSize(gConOut, COORD{SHORT(columns), SHORT(rows)});
    });
    ok = Retried([&] { return SetConsoleWindowInfo(gConOut, TRUE, &window); }) && ok;
    return ok;
}

// Reads the console's cells of rows x columns (row-major); empty on failure.
std::vector<CHAR_INFO> ReadContents(int rows, int columns) {
    std::vector<CHAR_INFO> cells(size_t(rows) * size_t(columns));
    SMALL_RECT region = {0, 0, SHORT(columns - 1), SHORT(rows - 1)};
    if (!ReadConsoleOutputW(gConOut, cells.data(), COORD{SHORT(columns), SHORT(rows)},
                            COORD{0, 0}, &region))
        cells.clear();
    return cells;
}

// Writes old contents (oldRows x oldCols) into a console of rows x columns:
// clipped to the new size, and cells beyond the old contents blank in the
// attribute of the old contents' last cell.
void WriteContentsResized(const std::vector<CHAR_INFO>& old, int oldRows, int oldCols, int rows,
                          int columns) {
    if (old.empty()) return;
    CHAR_INFO blank = {};
    blank.Char.UnicodeChar = u' ';
    blank.Attributes = old.back().Attributes;
    std::vector<CHAR_INFO> cells(size_t(rows) * size_t(columns), blank);
    for (int r = 0; r < std::min(rows, oldRows); r++)
        for (int c = 0; c < std::min(columns, oldCols); c++)
            cells[size_t(r) * size_t(columns) + size_t(c)] =
                old[size_t(r) * size_t(oldCols) + size_t(c)];
    SMALL_RECT region = {0, 0, SHORT(columns - 1), SHORT(rows - 1)};
    WriteConsoleOutputW(gConOut, cells.data(), COORD{SHORT(columns), SHORT(rows)}, COORD{0, 0},
                        &region);
}

void FillScreen(BYTE attr, const CONSOLE_SCREEN_BUFFER_INFO& info) {
    DWORD written = 0;
    const DWORD cells = DWORD(info.dwSize.X) * DWORD(info.dwSize.Y);
    FillConsoleOutputCharacterW(gConOut, u' ', cells, COORD{0, 0}, &written);
    FillConsoleOutputAttribute(gConOut, attr, cells, COORD{0, 0}, &written);
}

// Saves the console's contents in the pieces of gSaved.
void SaveTerminalContents(const CONSOLE_SCREEN_BUFFER_INFO& info) {
    const int lastRow = info.dwSize.Y - 1;
    const int lastCol = std::min<int>(info.dwSize.X, SHADOW_COLS) - 1;
    if (lastRow < 0 || lastCol < 0) return;
    gSaved.pieces[0] = {0, 0, std::min(199, lastRow), lastCol, nullptr};
    gSaved.pieces[0].cells = ScrSaveRectConsole(0, 0, gSaved.pieces[0].bottom, lastCol);
    if (lastRow >= 200) {
        gSaved.pieces[1] = {200, 0, lastRow, lastCol, nullptr};
        gSaved.pieces[1].cells = ScrSaveRectConsole(200, 0, lastRow, lastCol);
    }
}

BOOL MatchWindowTitle(HWND window, LPARAM value) {
    auto* search = reinterpret_cast<std::pair<const WCHAR*, HWND>*>(value);
    WCHAR text[1025];
    if (GetWindowTextW(window, text, 1025) > 0 && wcscmp(text, search->first) == 0) {
        search->second = window;
        return FALSE;
    }
    return TRUE;
}

// Appends text to the title being built (at most room - 1 units kept).
void TitleAppend(WCHAR* title, size_t room, const WCHAR* text) {
    size_t n = wcslen(title);
    while (*text && n + 1 < room) title[n++] = *text++;
    title[n] = 0;
}

DWORD SwapRedBlue(DWORD colour) {
    return ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

} // namespace

// ---- start-up ---------------------------------------------------------------------------

void PlatformStartup() {
    WCHAR compat[256];
    DWORD n = GetEnvironmentVariableW(u"__COMPAT_LAYER", compat, 256);
    if (n > 0 && n < 256 && wcsstr(compat, u"Installer"))
        SetEnvironmentVariableW(u"__COMPAT_LAYER", wcsstr(compat, u"RunAsAdmin") ? u"RunAsAdmin" : u"");

    SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);
    SetErrorMode(1);
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (GetVersionExW(&version)) gOsMajorVersion = version.dwMajorVersion;

    // The start-up, program, data and tools folders; "#QBTools" too.
    RecordStartupFolders();

    WCHAR exe[FOLDER_UNITS];
    n = GetModuleFileNameW(nullptr, exe, FOLDER_UNITS);
    if (n > 0 && n < FOLDER_UNITS) SetEnvironmentVariableW(u"#QBExe", exe);
    SetEnvironmentVariableW(u"#QBVersion", u"2.9.11");
    if (gProgramDir[0]) {
        SetEnvironmentVariableW(u"#QBHome", gProgramDir);
        const WCHAR drive[2] = {gProgramDir[0], 0};
        SetEnvironmentVariableW(u"#QBDrive", drive);
    }
    ShortenFolder(gToolsDir, 512);
    ShortenFolder(gDataDir, FOLDER_UNITS);
    ShortenFolder(gProgramDir, FOLDER_UNITS);

    SetEnvironmentVariableW(u"#QBArgs", ArgumentsOf(GetCommandLineW()));
    ExportSpecialFolder(u"#QBMyDocuments", CSIDL_PERSONAL);
    ExportSpecialFolder(u"#QBDesktop", CSIDL_DESKTOPDIRECTORY);
    ExportSpecialFolder(u"#QBFavorites", CSIDL_FAVORITES);
    ExportSpecialFolder(u"#QBStartMenu", CSIDL_STARTMENU);
    SetEnvironmentVariableW(u"#QBLine", u"0");

    InitBoxChars();
    gTerminalHost = TRUE;
}

HWND FindOwnConsoleWindow(DWORD pauseMs) {
    WCHAR title[64];
    swprintf(title, 64, u"Quilbora %d:%d", int(GetCurrentProcessId()), int(GetTickCount()));
    SetConsoleTitleW(title);
    std::pair<const WCHAR*, HWND> search{title, nullptr};
    for (int attempt = 0; attempt < 50; attempt++) {
        EnumWindows(MatchWindowTitle, reinterpret_cast<LPARAM>(&search));
        // Without a console window nothing will ever answer: no waiting.
        if (search.second || !GetConsoleWindow()) break;
        Sleep(pauseMs);
    }
    SetConsoleTitleW(u"");
    return search.second;
}

void StartScreenSession(int rows, int columns) {
    (void)rows;
    (void)columns;
    // Without a code page from the command line the viewer shows OEM text
    // in the OEM code page.
    if (gViewerCodePage == 0) gViewerCodePage = CP_OEMCP;
    gConsoleWindow = FindOwnConsoleWindow();
    if (!gConsoleWindow) {
        MessageBoxW(nullptr, u"Could not get window handle", u"Error", MB_OK);
        ExitWithStreamsFlushed(-1);
    }
    GetWindowRect(gConsoleWindow, &gConsoleWindowRect);
    SetConsoleTitleText(0, u"");
    gStdOut = GetStdHandle(STD_OUTPUT_HANDLE);
    gConOut = gStdOut;
    CONSOLE_SCREEN_BUFFER_INFO& info = gSaved.info;
    if (!GetConsoleScreenBufferInfo(gConOut, &info)) info = {};
    gSaved.taken = TRUE;
    gSaved.windowRows = info.srWindow.Bottom - info.srWindow.Top + 1;
    gSaved.windowCols = info.srWindow.Right - info.srWindow.Left + 1;
    const int windowRows = gSaved.windowRows;
    const int windowCols = gSaved.windowCols;

    if (windowRows < SCREEN_TERMINAL_MIN_ROWS || windowCols < SCREEN_MIN_COLS) {
        FreeConsole();
        fprintf(stderr, "Quilb needs a terminal of at least %u x 24; this one is %u x %u.\n", 80u,
                unsigned(windowCols), unsigned(windowRows));
        ExitWithStreamsFlushed(1);
    }
    gScreenRows = WORD(std::min(windowRows, SCREEN_MAX_ROWS));
    gScreenCols = WORD(std::min(windowCols, SCREEN_MAX_COLS));

    if (SessionSwitches.restoreScreen) SaveTerminalContents(info);

    ConsoleResize(SCREEN_SIZE_TERMINAL, SCREEN_SIZE_TERMINAL, 1, 0);
    SetConsoleMode(gConOut, 0);
    ConsoleAltScreen(TRUE);
    KbdLayoutSync();
    if (gTreeWidth == 0) ComputeFileWinLayout(-1);
    std::memset(gHLineText, 0xC4, sizeof gHLineText - 1);
    gHLineText[sizeof gHLineText - 1] = 0;
    // The taskbar's progress display exists only on desktops that offer the
    // component; without it (as here) progress is shown on the screen alone.
    if (gOsMajorVersion > 5 && SUCCEEDED(CoInitialize(nullptr))) {
        static const CLSID kTaskbarList = {
            0x56FDF344, 0xFD6D, 0x11D0, {0x95, 0x8A, 0x00, 0x60, 0x97, 0xC9, 0xA0, 0x90}};
        static const IID kTaskbarList3 = {
            0xEA1AFB91, 0x9E28, 0x4B86, {0x90, 0xE9, 0x9E, 0x9F, 0x8A, 0x5E, 0xEF, 0xAF}};
        if (FAILED(CoCreateInstance(kTaskbarList, nullptr, CLSCTX_INPROC_SERVER, kTaskbarList3,
                                    &gTaskbarList)))
            gTaskbarList = nullptr;
    }
    gSessionStarted = TRUE;
}

void EndScreenSession() {
    if (!gSessionStarted || gSessionEnded) return;
    gSessionEnded = TRUE;
    ConsoleAltScreen(FALSE);
    ClipCursor(nullptr);
    const BYTE attr = BYTE(gSaved.info.wAttributes);
    if (SessionSwitches.restoreScreen) {
        CONSOLE_SCREEN_BUFFER_INFO now;
        if (GetConsoleScreenBufferInfo(gConOut, &now)) FillScreen(attr, now);
        if (gSaved.windowRows > 0 && gSaved.windowCols > 0 &&
            (now.dwSize.Y != gSaved.info.dwSize.Y || now.dwSize.X != gSaved.info.dwSize.X))
            SetConsoleSize(gSaved.info.dwSize.Y, gSaved.info.dwSize.X);
        SetConsoleTextAttribute(gConOut, attr);
        for (SavedPiece& piece : gSaved.pieces) {
            if (!piece.cells) continue;
            ScrRestoreRect(piece.top, piece.left, piece.bottom, piece.right, piece.cells);
            piece.cells = nullptr;
        }
        SetConsoleCursorPosition(gConOut, gSaved.info.dwCursorPosition);
    } else {
        gConOut = gStdOut;
        SetConsoleActiveScreenBuffer(gStdOut);
        SetConsoleTextAttribute(gConOut, attr);
        CONSOLE_SCREEN_BUFFER_INFO now;
        if (GetConsoleScreenBufferInfo(gConOut, &now)) FillScreen(attr, now);
        SetConsoleCursorPosition(gConOut, COORD{0, 0});
    }
    ScrSetCursorShape(1);
    ConsoleCursorDefault();
    if (gConIn) {
        SetConsoleMode(gConIn, ENABLE_PROCESSED_INPUT);
        CloseHandle(gConIn);
        gConIn = nullptr;
    }
}

// ---- size and layout ---------------------------------------------------------------------

void ScrSetupLayout(int rows, int columns, int mode) {
    rows = std::clamp(rows, SCREEN_TERMINAL_MIN_ROWS, SCREEN_MAX_ROWS);
    columns = std::clamp(columns, SCREEN_MIN_COLS, SCREEN_MAX_COLS);
    gScreenRows = WORD(rows);
    gScreenCols = WORD(columns);
    gScreenMaxRow = WORD(rows - 1);
    gScreenMaxCol = WORD(columns - 1);
    gScreenCellBytes = DWORD(rows) * DWORD(columns) * 2;
    gMessageRow = WORD(rows - 3);
    gHintRow = WORD(rows - 2);
    gBottomRow = WORD(rows - 1);
    gFrameLastRow = WORD(rows - 4);

    int tree = gKeptTreeHeight;
    const BYTE sizing = gSettings.bWindowSizing;
    if (sizing == 2 && gKeptSmallRows > 0) {
        // The small file window keeps its rows; the tree takes the rest.
        tree = rows - 4 - gKeptSmallRows;
    } else if ((mode != 0 && sizing != 1) || tree < 8 || tree >= rows - 4) {
        const int percent =
            gTreeSizePercent == 0 || gTreeSizePercent > 99 ? kDefaultTreePercent : gTreeSizePercent;
        tree = ((rows - 7) * percent + 50) / 100 + 3;
    }
    if (tree < 8) tree = 8;
    if (tree >= rows - 4) tree = rows - 5;
    gKeptTreeHeight = tree;
    gKeptSmallRows = rows - 4 - tree;
    gSmallWindowRow = WORD(tree);
    gSmallWindowDefaultRow = WORD(tree);
    gSmallWindowLastRow = WORD(rows - 5);
    gSmallWindowRows = WORD(gSmallWindowLastRow + 1 - gSmallWindowRow);
    if (gFirstScreenRows == 0) {
        gFirstScreenRows = WORD(rows);
        gFirstScreenCols = WORD(columns);
    }
    gClassicVideoMode = columns == 80 && (rows == 25 || rows == 43 || rows == 50);
    ComputeFileWinLayout(-1);
}

// The terminal has become too small for any screen: the screen keeps its
// size and shows from its top left corner, with blanks wherever the
// terminal reaches beyond it (cells an earlier, larger size left there).
void ShowKeptScreen(COORD terminal) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(gConOut, &info)) return;
    DWORD written = 0;
    for (int row = 0; row < info.dwSize.Y; row++) {
        const int from = row < gScreenRows ? gScreenCols : 0;
        if (from >= info.dwSize.X) continue;
        const DWORD cells = DWORD(info.dwSize.X - from);
        FillConsoleOutputCharacterW(gConOut, u' ', cells, COORD{SHORT(from), SHORT(row)}, &written);
        FillConsoleOutputAttribute(gConOut, info.wAttributes, cells, COORD{SHORT(from), SHORT(row)},
                                   &written);
    }
    const SMALL_RECT window = {0, 0, SHORT(std::min<int>(info.dwSize.X, terminal.X) - 1),
                               SHORT(std::min<int>(info.dwSize.Y, terminal.Y) - 1)};
    SetConsoleWindowInfo(gConOut, TRUE, &window);
}

int ConsoleResize(int rows, int columns, int redraw, int mode) {
    (void)redraw;
    const COORD terminal = GetLargestConsoleWindowSize(gConOut);
    if (terminal.X < SCREEN_MIN_COLS || terminal.Y < SCREEN_TERMINAL_MIN_ROWS) {
        ShowKeptScreen(terminal);
        return gScreenRows;
    }
    const bool terminalSize = rows == SCREEN_SIZE_TERMINAL && columns == SCREEN_SIZE_TERMINAL;
    if (gAltActive && terminalSize && terminal.Y <= SCREEN_MAX_ROWS &&
        terminal.X <= SCREEN_MAX_COLS) {
        ScrSetupLayout(terminal.Y, terminal.X, mode);
        return gScreenRows;
    }

    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(gConOut, &info)) return gScreenRows;
    if (rows == SCREEN_SIZE_TERMINAL) rows = info.srWindow.Bottom - info.srWindow.Top + 1;
    if (columns == SCREEN_SIZE_TERMINAL) columns = info.srWindow.Right - info.srWindow.Left + 1;
    // The terminal decides its own size: the screen never outgrows it, and
    // a request of the terminal's own size may keep a 24-row terminal.
    rows = std::clamp(rows, terminalSize ? SCREEN_TERMINAL_MIN_ROWS : SCREEN_MIN_ROWS,
                      std::min<int>(SCREEN_MAX_ROWS, terminal.Y));
    columns = std::clamp(columns, SCREEN_MIN_COLS, std::min<int>(SCREEN_MAX_COLS, terminal.X));

    if (rows != info.dwSize.Y || columns != info.dwSize.X) {
        const int oldRows = info.dwSize.Y;
        const int oldCols = info.dwSize.X;
        std::vector<CHAR_INFO> old;
        if (gAltActive) old = ReadContents(oldRows, oldCols);
        else if (SessionSwitches.restoreScreen) FillScreen(gColourTable[COLOUR_FRAMES], info);
        SetConsoleSize(rows, columns);
        if (gAltActive) WriteContentsResized(old, oldRows, oldCols, rows, columns);
    }
    ScrSetupLayout(rows, columns, mode);
    return gScreenRows;
}

COORD ConsoleLargestSize() {
    COORD size = GetLargestConsoleWindowSize(gConOut);
    int columns = std::max<int>(size.X, SCREEN_MIN_COLS) + gMaxColAdjust;
    int rows = std::max<int>(size.Y, SCREEN_MIN_ROWS) + gMaxRowAdjust;
    columns = std::clamp(columns, SCREEN_MIN_COLS, SCREEN_MAX_COLS);
    rows = std::clamp(rows, SCREEN_MIN_ROWS, SCREEN_MAX_ROWS);
    gLargestRows = WORD(rows);
    gLargestCols = WORD(columns);
    return COORD{SHORT(columns), SHORT(rows)};
}

void ConsoleGetSize(CONSOLE_SCREEN_BUFFER_INFO* info) {
    *info = {};
    info->dwSize = COORD{SHORT(gScreenCols), SHORT(gScreenRows)};
}

BOOL ConsoleReady() { return !gTerminalHost; }

// ---- screen, cursor, title ---------------------------------------------------------------

void ConsoleAltScreen(BOOL on) {
    if (!gAltHandle) gAltHandle = gConOut;
    if (gAltHandle != gConOut || bool(gAltActive) == bool(on)) return;
    DWORD mode = 0;
    const BOOL haveMode = GetConsoleMode(gConOut, &mode);
    CONSOLE_SCREEN_BUFFER_INFO info;
    const BOOL haveInfo = GetConsoleScreenBufferInfo(gConOut, &info);
    CONSOLE_CURSOR_INFO cursor;
    const BOOL haveCursor = GetConsoleCursorInfo(gConOut, &cursor);
    WriteConsoleSeq(on ? "\x1b[?1049h" : "\x1b[?1049l");
    gAltActive = on;
    if (haveMode) SetConsoleMode(gConOut, mode);
    if (haveInfo) {
        SetConsoleTextAttribute(gConOut, info.wAttributes);
        SetConsoleCursorPosition(gConOut, info.dwCursorPosition);
    }
    if (haveCursor) SetConsoleCursorInfo(gConOut, &cursor);
    ConsoleCursorVisible(haveCursor ? cursor.bVisible : TRUE);
}

void ConsoleCursorVisible(BOOL visible) {
    if (gAltActive && gAltHandle == gConOut) WriteConsoleSeq(visible ? "\x1b[?25h" : "\x1b[?25l");
}

void WriteConsoleSeq(const char* sequence) {
    DWORD mode = 0;
    const BOOL haveMode = GetConsoleMode(gConOut, &mode);
    SetConsoleMode(gConOut, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    DWORD written = 0;
    WriteConsoleA(gConOut, sequence, DWORD(strlen(sequence)), &written, nullptr);
    if (haveMode) SetConsoleMode(gConOut, mode);
}

void ConsoleCursorDefault() { WriteConsoleSeq("\x1b[0 q"); }

int ScrSetCursorShape(int shape) {
    CONSOLE_CURSOR_INFO info = {};
    int previous = 0;
    if (GetConsoleCursorInfo(gConOut, &info) && info.bVisible) previous = info.dwSize < 30 ? 1 : 2;
    switch (shape) {
    case 0:
        // Hidden first: parking a hidden cursor never moves what the
        // terminal shows (on a terminal narrower than the screen it would).
        info = {100, FALSE};
        SetConsoleCursorInfo(gConOut, &info);
        SetConsoleCursorPosition(gConOut, COORD{SHORT(gScreenCols - 1), SHORT(gScreenRows - 3)});
        gTextCursor = FALSE;
        WriteConsoleSeq("\x1b[0 q");
        break;
    case 1:
    case 2:
        SetConsoleCursorPosition(gConOut, COORD{SHORT(gCursorCol), SHORT(gCursorRow)});
        info = {shape == 1 ? 15u : 100u, TRUE};
        SetConsoleCursorInfo(gConOut, &info);
        gTextCursor = TRUE;
        WriteConsoleSeq(shape == 1 ? "\x1b[3 q" : "\x1b[1 q");
        break;
    default:
        gTextCursor = TRUE;
        WriteConsoleSeq("\x1b[0 q");
        break;
    }
    return previous;
}

void SetConsoleTitleText(int mode, const WCHAR* path, WCHAR* out) {
    (void)mode;
    // Room for far more than the longest title kept, so that the cut below
    // sees every title that is too long.
    WCHAR title[1024] = {};
    const size_t room = sizeof title / sizeof title[0];
    const bool havePath = path && path[0];
    int nextText = 0;
    const int count = std::clamp(gTitleLayout.itemCount, 0, 8);
    for (int i = 0; i < count; i++) {
        switch (gTitleLayout.items[i]) {
        case 'V':
            if (gTitleLayout.flags & TITLE_FLAG_VERSION) {
                TitleAppend(title, room, u" v");
                TitleAppend(title, room, u"2.9.11");
            }
            break;
        case 'Q':
            if (gTitleLayout.flags & TITLE_FLAG_PRODUCT) {
                if (title[0]) TitleAppend(title, room, u" ");
                TitleAppend(title, room, u"Quilbora");
            }
            break;
        case 'O':
        case 'P':
            if (havePath) {
                if (title[0]) TitleAppend(title, room, u" - ");
                TitleAppend(title, room, path);
                if (i + 1 < count && i != 3) TitleAppend(title, room, u" -");
            }
            break;
        case 'T':
            if (title[0]) TitleAppend(title, room, u" ");
            if (nextText < std::clamp(gTitleLayout.textCount, 0, 2)) {
                const WCHAR* text = gTitleLayout.texts[nextText++];
                // A text taken for a window-title switch counts as empty.
                if (text[0] != 'W') TitleAppend(title, room, text);
            }
            break;
        default:
            break;
        }
    }
    if (wcslen(title) >= 254) {
        title[253] = 0x25BA;
        title[254] = 0;
    }
    SetConsoleTitleW(title);
    if (out) wcscpy(out, title);
}

BOOL ConsoleSetPalette(int index, DWORD colour, DWORD* old) {
    typedef BOOL (*BufferInfoEx)(HANDLE, PCONSOLE_SCREEN_BUFFER_INFOEX);
    static BufferInfoEx getInfo = nullptr;
    static BufferInfoEx setInfo = nullptr;
    static std::once_flag lookedUp;
    std::call_once(lookedUp, [] {
        HMODULE kernel = GetModuleHandleW(u"kernel32.dll");
        if (!kernel) return;
        getInfo = reinterpret_cast<BufferInfoEx>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "GetConsoleScreenBufferInfoEx")));
        setInfo = reinterpret_cast<BufferInfoEx>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetConsoleScreenBufferInfoEx")));
    });
    if (!getInfo || !setInfo || index < 0 || index > 15) return FALSE;
    CONSOLE_SCREEN_BUFFER_INFOEX info = {};
    info.cbSize = sizeof info;
    if (!getInfo(gConOut, &info)) return FALSE;
    if (old) *old = SwapRedBlue(info.ColorTable[index]);
    info.ColorTable[index] = SwapRedBlue(colour);
    // The set call takes the window one cell smaller than the get call gives it.
    info.srWindow.Right++;
    info.srWindow.Bottom++;
    return setInfo(gConOut, &info);
}

BOOL ConsoleSelecting() { return FALSE; }

BOOL ConsoleCtrlHandler(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
    WCHAR current[FOLDER_UNITS];
    if (gConIn && gSessionEndWork.currentDirectory &&
        gSessionEndWork.currentDirectory(current, FOLDER_UNITS) && gSessionEndWork.saveHistories)
        gSessionEndWork.saveHistories(current);
    if (gSessionEndWork.removeSessionDirectory) gSessionEndWork.removeSessionDirectory();
    if (gQaapOn) QaapStatus(2, '-', 'Q', '-', 0);
    return FALSE;
}

int ConsoleTrackWindow() {
    static LONG lastWidth = -1;
    static LONG lastHeight = -1;
    RECT rect = {};
    if (!GetWindowRect(GetConsoleWindow(), &rect)) return 0;
    const LONG width = rect.right - rect.left;
    const LONG height = rect.bottom - rect.top;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    INPUT_RECORD peeked;
    DWORD pending = 0;
    PeekConsoleInputA(input, &peeked, 1, &pending);
    if (lastWidth < 0 && gConsoleWindow) {
        // The rectangle the session started with is the one seen last: a
        // change before the first tick is a change all the same.
        lastWidth = gConsoleWindowRect.right - gConsoleWindowRect.left;
        lastHeight = gConsoleWindowRect.bottom - gConsoleWindowRect.top;
    }
    if (lastWidth < 0) {
        lastWidth = width;
        lastHeight = height;
        return pending != 0;
    }
    if (pending != 0) return 1;
    if (width == lastWidth && height == lastHeight) return 0;
    lastWidth = width;
    lastHeight = height;
    gResizePending = TRUE;
    INPUT_RECORD wake = {};
    wake.EventType = MENU_EVENT;
    wake.Event.MenuEvent.dwCommandId = CONSOLE_WAKEUP_MARKER;
    DWORD written = 0;
    WriteConsoleInputW(input, &wake, 1, &written);
    return 1;
}

void ConsoleSetWindowPos(int flag) {
    if (!gConsoleWindow) return;
    if (flag == 0)
        SetWindowPos(gConsoleWindow, nullptr, gConsoleWindowRect.left, gConsoleWindowRect.top,
                     gConsoleWindowRect.right - gConsoleWindowRect.left,
                     gConsoleWindowRect.bottom - gConsoleWindowRect.top, 0);
    else
        GetWindowRect(gConsoleWindow, &gConsoleWindowRect);
}

// ---- system facts ------------------------------------------------------------------------

BOOL SysMemoryStatus(MEMORYSTATUSEX* status) {
    typedef BOOL (*MemoryStatusEx)(MEMORYSTATUSEX*);
    static MemoryStatusEx extended = nullptr;
    static std::once_flag lookedUp;
    std::call_once(lookedUp, [] {
        if (HMODULE kernel = GetModuleHandleW(u"kernel32.dll"))
            extended = reinterpret_cast<MemoryStatusEx>(
                reinterpret_cast<void*>(GetProcAddress(kernel, "GlobalMemoryStatusEx")));
    });
    *status = {};
    status->dwLength = sizeof *status;
    if (extended) return extended(status);
    MEMORYSTATUS small = {};
    small.dwLength = sizeof small;
    GlobalMemoryStatus(&small);
    status->dwMemoryLoad = small.dwMemoryLoad;
    status->ullTotalPhys = small.dwTotalPhys;
    status->ullAvailPhys = small.dwAvailPhys;
    status->ullTotalPageFile = small.dwTotalPageFile;
    status->ullAvailPageFile = small.dwAvailPageFile;
    status->ullTotalVirtual = small.dwTotalVirtual;
    status->ullAvailVirtual = small.dwAvailVirtual;
    return TRUE;
}

DWORD SysPerformanceInfo(DWORD* count) {
    // The counts come from the system's performance libraries, which this
    // platform does not have: nothing is known.
    if (count) *count = 0;
    return 0;
}

BOOL ScreenSaverActive(BOOL set, BOOL value) {
    if (set) {
        SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, UINT(value), nullptr, 0);
        return value;
    }
    BOOL active = FALSE;
    SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0);
    return active;
}

BOOL ConsoleMonitorInfo(RECT* rect, BOOL wholeMonitor) {
    // The monitor's own rectangles come from two window-library calls looked
    // up by name; where the platform lacks either, the work area stands for
    // the monitor.
    struct MonitorInfo {
        DWORD cbSize;
        RECT rcMonitor;
        RECT rcWork;
        DWORD dwFlags;
    };
    typedef HMONITOR (*MonitorFromWindowFn)(HWND, DWORD);
    typedef BOOL (*GetMonitorInfoFn)(HMONITOR, MonitorInfo*);
    static MonitorFromWindowFn monitorFromWindow = nullptr;
    static GetMonitorInfoFn getMonitorInfo = nullptr;
    static std::once_flag lookedUp;
    std::call_once(lookedUp, [] {
        if (HMODULE user = GetModuleHandleW(u"USER32.DLL")) {
            monitorFromWindow = reinterpret_cast<MonitorFromWindowFn>(
                reinterpret_cast<void*>(GetProcAddress(user, "MonitorFromWindow")));
            getMonitorInfo = reinterpret_cast<GetMonitorInfoFn>(
                reinterpret_cast<void*>(GetProcAddress(user, "GetMonitorInfoA")));
        }
    });
    if (monitorFromWindow && getMonitorInfo) {
        MonitorInfo info = {};
        info.cbSize = sizeof info;
        if (getMonitorInfo(monitorFromWindow(gConsoleWindow, MONITOR_DEFAULTTONEAREST), &info)) {
            const RECT& chosen = wholeMonitor ? info.rcMonitor : info.rcWork;
            rect->left = chosen.left;
            rect->right = chosen.right;
            rect->bottom = chosen.bottom;
            return TRUE;
        }
    }
    return SystemParametersInfoW(SPI_GETWORKAREA, 0, rect, 0);
}

int ShellObjectHelper(const WCHAR* shortcut, WCHAR* target, DWORD units) {
    (void)shortcut;
    static const CLSID kShellLink = {
        0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    static const IID kShellLinkW = {
        0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    if (target && units > 0) target[0] = 0;
    // Shortcut files are resolved by the shell's link component. The layer
    // registers no component, so the request fails and nothing is resolved.
    LPVOID link = nullptr;
    CoCreateInstance(kShellLink, nullptr, CLSCTX_INPROC_SERVER, kShellLinkW, &link);
    return 0;
}

int ConsoleCheckStub(int value) {
    (void)value;
    return 0;
}

int ConsoleModeStub() { return 0; }

BOOL ConsoleWindowsTerminal() {
    WCHAR value[8];
    return GetEnvironmentVariableW(u"WT_SESSION", value, 8) > 0 ? TRUE : FALSE;
}
