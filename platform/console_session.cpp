// The screen geometry, the command-line rows and the small file window's
// place, applied from the terminal's size; the cursor shape; the window
// tracking that tells the key reader about a resize.
#include "platform/console_session.h"
#include "platform/screen.h"
#include "main/window_layout.h"

#include <algorithm>

WORD gScreenRows = 43;
WORD gScreenCols = 96;
WORD gScreenMaxRow = 42;
WORD gScreenMaxCol = 95;
WORD gMessageRow = 40;
WORD gHintRow = 41;
WORD gBottomRow = 42;
WORD gFrameLastRow = 39;
WORD gSmallWindowRow = 30;
WORD gSmallWindowRows = 8;
WORD gSmallWindowLastRow = 38;
WORD gSmallWindowDefaultRow = 30;
HANDLE gConOut = nullptr;
std::atomic<BOOL> gTextCursor{FALSE};
SESSION_SWITCHES SessionSwitches = {TRUE, TRUE, TRUE, TRUE, TRUE};
std::atomic<BOOL> gResizePending{FALSE};

namespace {

// The tree window's height as last laid out, kept across size changes.
int gKeptTreeHeight = 0;
// The share of the rows between the frames that the tree window takes.
constexpr int kTreePercent = 75;

} // namespace

void ScrSetupLayout(int rows, int columns, int mode) {
    rows = std::clamp(rows, SCREEN_MIN_ROWS, SCREEN_MAX_ROWS);
    columns = std::clamp(columns, SCREEN_MIN_COLS, SCREEN_MAX_COLS);
    gScreenRows = WORD(rows);
    gScreenCols = WORD(columns);
    gScreenMaxRow = WORD(rows - 1);
    gScreenMaxCol = WORD(columns - 1);
    gMessageRow = WORD(rows - 3);
    gHintRow = WORD(rows - 2);
    gBottomRow = WORD(rows - 1);
    gFrameLastRow = WORD(rows - 4);

    int tree = gKeptTreeHeight;
    if (mode != 0 || tree < 8 || tree >= rows - 4) {
        tree = ((rows - 7) * kTreePercent + 50) / 100 + 3;
        if (tree < 8) tree = 8;
        if (tree >= rows - 4) tree = rows - 5;
    }
    gKeptTreeHeight = tree;
    gSmallWindowRow = WORD(tree);
    gSmallWindowDefaultRow = WORD(tree);
    gSmallWindowLastRow = WORD(rows - 5);
    gSmallWindowRows = WORD(gSmallWindowLastRow + 1 - gSmallWindowRow);
    ComputeFileWinLayout(-1);
}

int ConsoleResize(int rows, int columns, int redraw, int mode) {
    (void)redraw;
    const COORD terminal = GetLargestConsoleWindowSize(gConOut);
    if (terminal.X < SCREEN_MIN_COLS || terminal.Y < SCREEN_MIN_ROWS) return gScreenRows;
    if (rows == SCREEN_SIZE_TERMINAL || rows > terminal.Y) rows = terminal.Y;
    if (columns == SCREEN_SIZE_TERMINAL || columns > terminal.X) columns = terminal.X;
    ScrSetupLayout(rows, columns, mode);
    return gScreenRows;
}

void WriteConsoleSeq(const char* sequence) {
    DWORD mode = 0;
    const BOOL haveMode = GetConsoleMode(gConOut, &mode);
    SetConsoleMode(gConOut, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    DWORD written = 0;
    WriteConsoleA(gConOut, sequence, DWORD(strlen(sequence)), &written, nullptr);
    if (haveMode) SetConsoleMode(gConOut, mode);
}

int ScrSetCursorShape(int shape) {
    CONSOLE_CURSOR_INFO info = {};
    int previous = 0;
    if (GetConsoleCursorInfo(gConOut, &info) && info.bVisible) previous = info.dwSize < 30 ? 1 : 2;
    switch (shape) {
    case 0:
        SetConsoleCursorPosition(gConOut, COORD{SHORT(gScreenCols - 1), SHORT(gScreenRows - 3)});
        info = {100, FALSE};
        SetConsoleCursorInfo(gConOut, &info);
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

BOOL ConsoleSelecting() {
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

void EndScreenSession() {
    // Completed with the screen session's start: for now the cursor only.
    ScrSetCursorShape(1);
    WriteConsoleSeq("\x1b[0 q");
}
