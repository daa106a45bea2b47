// The console session shared by the console's parts: the terminal and its
// settings, the two console locks, screen buffers and their pages, the
// renderer's state and the internal operations the rest of the layer calls
// (release around child programs, the terminal clipboard, titles, ...).
#pragma once

#include "consoleapi.h"
#include "internal/console_render.h"

#include <pthread.h>
#include <termios.h>
#include <time.h>

#include <atomic>
#include <cstdint>
#include <cstdio>

// ---- screen buffers --------------------------------------------------------------------

// One page of cells. Coordinates are kept in 32 bits and checked before they
// are stored, so they always fit the 16-bit fields of the API records.
struct SCREEN_PAGE {
    uint32_t* cells = nullptr; // width x height, row-major: unit low, attribute high
    int32_t width = 0;
    int32_t height = 0;
    int32_t Left = 0, Top = 0, Right = -1, Bottom = -1; // the window, inclusive
    int32_t cursorX = 0;
    int32_t cursorY = 0;
};

struct CONSOLE_SCREEN_BUFFER {
    SCREEN_PAGE pages[2];     // main page; alternate page while it is current
    uint32_t currentPage = 0; // 0 main, 1 alternate
    uint16_t attribute = 7;
    uint32_t cursorSize = 25;
    BOOL cursorVisible = TRUE;
    uint32_t outputMode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;
    int32_t cursorShape = -1;
    int32_t referenceCount = 0;
    CONSOLE_SCREEN_BUFFER* next = nullptr;
};

inline SCREEN_PAGE* ConsoleCurrentPage(CONSOLE_SCREEN_BUFFER* buffer) {
    return &buffer->pages[buffer->currentPage];
}

// ---- session --------------------------------------------------------------------------------

// A mutex that takes part in the thread-suspension protocol: its holder is
// never parked (see internal/threads.h).
struct ConsoleMutex {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    void lock() { pthread_mutex_lock(&mutex); }
    void unlock() { pthread_mutex_unlock(&mutex); }
    // Waits at most milliseconds for the mutex; true when it was taken.
    bool lockFor(int milliseconds) {
        struct timespec until;
        clock_gettime(CLOCK_MONOTONIC, &until);
        until.tv_sec += milliseconds / 1000;
        until.tv_nsec += (milliseconds % 1000) * 1000000L;
        if (until.tv_nsec >= 1000000000L) {
            until.tv_sec++;
            until.tv_nsec -= 1000000000L;
        }
        return pthread_mutex_clocklock(&mutex, CLOCK_MONOTONIC, &until) == 0;
    }
};

inline constexpr int CONSOLE_MAX_HANDLERS = 16;
inline constexpr size_t CONSOLE_TITLE_UNITS = 1023;

struct CONSOLE_SESSION {
    int32_t tty = -1;
    // A second, non-blocking description of the terminal for every write,
    // so that no thread ever sleeps inside the kernel's write: a terminal
    // that stops reading must not keep the exit paths from the terminal.
    // -1 when it could not be opened (writes then go through tty).
    int32_t ttyWrite = -1;
    int32_t pipeRead = -1;
    int32_t pipeWrite = -1;
    // Readable once the process is ending: writers waiting for the terminal
    // give up (an eventfd, never read).
    int32_t exitWake = -1;
    struct termios saved = {};
    struct termios rawSettings = {};
    // Read by signal handlers, which take no lock.
    std::atomic<bool> raw{false};
    std::atomic<bool> released{false};
    // Given back for good by FreeConsole: nothing is drawn or dumped any more.
    std::atomic<bool> freed{false};
    std::atomic<bool> started{false};
    std::atomic<bool> failed{false};
    std::atomic<int32_t> columns{80};
    std::atomic<int32_t> rows{25};
    int32_t colourDepth = 16;
    bool linuxConsole = false;
    bool kittyKeyboard = false;
    std::atomic<bool> mouseReporting{false}; // read by the continue handler
    bool dirty = false;
    DWORD inputMode = 0x1F7;
    PHANDLER_ROUTINE handlers[CONSOLE_MAX_HANDLERS] = {};
    int32_t handlerCount = 0;
    BOOL ignoreCtrlC = FALSE;
    bool ctrlCPending = false;
    char restore[256] = {};
    size_t restoreLength = 0;
    WCHAR title[CONSOLE_TITLE_UNITS + 1] = {};
    size_t titleLength = 0;
    DWORD lastKey = 0;
    DWORD lastControlKeyState = 0;
    DWORD lastPacketChar = 0;
    CONSOLE_SCREEN_BUFFER* buffers = nullptr;
    CONSOLE_SCREEN_BUFFER* defaultBuffer = nullptr;
    CONSOLE_SCREEN_BUFFER* activeBuffer = nullptr;
    HANDLE stdInput = nullptr;
    HANDLE stdOutput = nullptr;
    RENDER_STATE render;
    // Conditions on the state lock.
    pthread_cond_t renderWake = PTHREAD_COND_INITIALIZER;
    pthread_cond_t inputAvailable = PTHREAD_COND_INITIALIZER;
    pthread_cond_t releasedCleared = PTHREAD_COND_INITIALIZER;
};

extern CONSOLE_SESSION gConsole;
// Screen buffers, pages, the input queue, modes, handlers, released, dirty,
// the title and the renderer's shadow.
extern ConsoleMutex gConsoleStateLock;
// Every write to the terminal after start-up. Taken after the state lock,
// never before it.
extern ConsoleMutex gConsoleOutputLock;

void ConsoleStateLock();
void ConsoleStateUnlock();
void ConsoleOutputLock();
void ConsoleOutputUnlock();

struct ConsoleStateGuard {
    ConsoleStateGuard() { ConsoleStateLock(); }
    ~ConsoleStateGuard() { ConsoleStateUnlock(); }
    ConsoleStateGuard(const ConsoleStateGuard&) = delete;
    ConsoleStateGuard& operator=(const ConsoleStateGuard&) = delete;
};

struct ConsoleOutputGuard {
    ConsoleOutputGuard() { ConsoleOutputLock(); }
    ~ConsoleOutputGuard() { ConsoleOutputUnlock(); }
    ConsoleOutputGuard(const ConsoleOutputGuard&) = delete;
    ConsoleOutputGuard& operator=(const ConsoleOutputGuard&) = delete;
};

// Waits on a condition of the state lock, which the caller holds.
void ConsoleStateWait(pthread_cond_t* condition);

// ---- session operations -----------------------------------------------------------------------

// Starts the console on the first call and says whether it is usable. Every
// console function calls it first.
BOOL ConsoleAvailable();
// The tty descriptor (starting the console if needed), or -1.
int ConsoleTtyFd();
// Starts the console if needed; TRUE when the kitty keyboard protocol is on.
BOOL ConsoleKittyKeyboardActive();
// The terminal's size as last read (80 x 25 before); takes no lock and
// starts nothing.
void ConsoleGetTerminalSize(int32_t* rows, int32_t* columns);
// The stored title, for the window functions.
const WCHAR* ConsoleTitleBuffer();
// The control-key state of the last key record read and the key held down.
void ConsoleLastKeyState(DWORD* controlKeyState, DWORD* virtualKey);

// Hands the terminal to a child program: its own settings and screen come
// back, and until ConsoleReacquire the console reads no input and draws
// nothing.
void ConsoleRelease();
// Takes the terminal back after a child program and repaints everything.
void ConsoleReacquire();
// While the terminal is handed back: shows text and waits for one key.
void ConsolePromptKey(const char* text);
// Sends bytes to the terminal's clipboard (Base64 in an OSC 52 sequence).
// FALSE on the Linux console, without a tty, above 700000 bytes or when
// memory is short.
BOOL ConsoleSetTerminalClipboard(const void* bytes, size_t length);

// Writes all bytes to the tty, retrying after EINTR and partial writes and
// waiting while the terminal takes nothing; stops at an error, a zero write
// or once the process is ending (ConsoleExitRestore). True when every byte
// was written; false also when there is no tty.
bool ConsoleWriteTty(const void* bytes, size_t length);
// Under the terminal output lock, writes the bytes when the terminal is in
// raw mode (the program's screen is showing).
void ConsoleWriteTtyLocked(const char* text);
// Calls the control handlers, newest first, until one returns TRUE; TRUE
// when one did. Called without the state lock.
BOOL ConsoleDispatchCtrlEvent(DWORD event);
// Puts the terminal back as it was found, when it is in raw mode.
void ConsoleRestoreTerminal();
// The restore of a process that is ending, from any thread: wakes every
// writer waiting for the terminal, takes the output lock for at most
// CONSOLE_EXIT_LOCK_MS, restores the terminal (ConsoleForceRestore) and
// writes tail (may be null) after it. Holds the output lock, when it got
// it, until the process ends.
void ConsoleExitRestore(const char* tail, size_t tailLength);
// Restores the terminal without any lock, as signal handlers and the exit
// paths must: first a CAN, the end of a synchronized update and of a scroll
// region (a frame may have been cut short), then the restore sequence, with
// writes that wait at most CONSOLE_EXIT_WRITE_MS for a terminal that takes
// nothing; past that, what the terminal has not read yet is discarded and
// both are sent once more. Async-signal-safe.
void ConsoleForceRestore();
inline constexpr int CONSOLE_EXIT_LOCK_MS = 1000;
inline constexpr int CONSOLE_EXIT_WRITE_MS = 500;
// The most cells the terminal's size may give a page, the shadow and the
// frame (8 MiB each): a larger window report is used as its full width and
// as many rows as fit.
inline constexpr int64_t CONSOLE_MAX_TERMINAL_CELLS = int64_t(1) << 21;
// The size the console uses for a terminal of rows x columns (each already
// at most 9999): columns kept, rows cut to CONSOLE_MAX_TERMINAL_CELLS.
void ConsoleBoundTerminalSize(int32_t* rows, int32_t* columns);

// Sets dirty and wakes the renderer. State lock held.
void ConsoleRepaint();
// The renderer thread's body (renderer_thread.cpp).
void* ConsoleRendererThread(void*);

// The resize step of the input thread: adopts the terminal's size, grows
// every page to it and moves the windows; forgetScreen first forgets what
// the terminal shows (after the process was continued). State lock held.
void ConsoleResizeStep(bool forgetScreen);

// Colour depth from QUILB_COLORS, COLORTERM and TERM (null for unset).
int32_t ConsoleColourDepth(const char* quilbColors, const char* colorTerm, const char* term);

// Watches the start-up query's answers in the bytes the terminal sends: a
// kitty keyboard flags answer (CSI ? flags u) and the primary device
// attributes answer (CSI ? ... c). Bytes may come split anywhere.
struct CONSOLE_QUERY_SCAN {
    int state = 0;
    bool kittyAnswer = false;
    bool attributesAnswer = false;
};
void ConsoleQueryScan(CONSOLE_QUERY_SCAN* scan, const unsigned char* bytes, size_t count);

// ---- screen buffers (console_buffer.cpp) -------------------------------------------------------

// A buffer whose main page is width x height blanks in attribute 7, linked
// at the head of the session's list. Null when memory runs out. State lock
// held.
CONSOLE_SCREEN_BUFFER* ConsoleNewScreenBuffer(int32_t width, int32_t height);
// Blank cells, the window at the top left as large as the page and the
// terminal allow, the cursor at 0,0. False when memory runs out or the page
// would be larger than CONSOLE_MAX_CELLS.
bool ConsolePageInit(SCREEN_PAGE* page, int32_t width, int32_t height, uint16_t attribute);
// Keeps the overlapping cells, blanks elsewhere, moves a cursor outside in;
// the window is not touched. False (old page kept) when memory runs out.
bool ConsolePageResize(SCREEN_PAGE* page, int32_t width, int32_t height, uint16_t attribute);
void ConsoleClampWindow(SCREEN_PAGE* page);
void ConsoleScrollToCursor(SCREEN_PAGE* page);
// Moves the window of the current page to show the cursor, when the cursor
// can be seen: a hidden cursor parked outside a terminal smaller than the
// buffer leaves the view where it is.
void ConsoleFollowCursor(CONSOLE_SCREEN_BUFFER* buffer);
void ConsoleLineFeed(CONSOLE_SCREEN_BUFFER* buffer, SCREEN_PAGE* page);
void ConsolePutChar(CONSOLE_SCREEN_BUFFER* buffer, SCREEN_PAGE* page, WCHAR unit);
// Writes units onto the buffer's current page as WriteConsoleW does. State
// lock held.
void ConsoleWriteUnits(CONSOLE_SCREEN_BUFFER* buffer, const WCHAR* text, DWORD count);
// Looks the handle up, takes the state lock and writes; FALSE with error 6
// for a handle that is not a screen buffer.
BOOL ConsoleWriteText(HANDLE handle, const WCHAR* text, DWORD count, DWORD* written);
// Close operation of the screen-buffer handles.
void ConsoleCloseScreenBuffer(void* buffer);
// Frees a buffer's pages and the record. Unlinks it first.
void ConsoleFreeScreenBuffer(CONSOLE_SCREEN_BUFFER* buffer);
// The screen buffer of a handle, or null. State lock held.
CONSOLE_SCREEN_BUFFER* ConsoleLookupBuffer(HANDLE handle);

// ---- standard streams ---------------------------------------------------------------------------

// An unbuffered write-only stream whose bytes go into the console while the
// terminal shows it (through GetStdHandle(stdNumber)) and straight to fd
// otherwise. Streams on descriptors 1 and 2 keep their state in the
// session for the life of the process. Null when the stream cannot be made.
FILE* ConsoleStdStreamOpen(int fd, DWORD stdNumber);

// ---- test hooks ----------------------------------------------------------------------------------

// Opens path instead of /dev/tty when the console starts; call before the
// first console function. Lets tests run the console on a pseudo-terminal
// of their own.
void ConsoleTestUseTerminal(const char* path);
// How long the start-up query waits for answers (0: the usual 500 ms);
// call before the first console function.
void ConsoleTestSetQueryLimit(int milliseconds);
// Limits the renderer's output buffer to bytes (0: no limit), standing in
// for memory that runs out.
void ConsoleTestSetOutputLimit(size_t bytes);
// Sees every read of terminal input handed to the decoder (with the state
// lock held), during the start-up query and after it.
typedef void (*ConsoleFeedObserver)(const unsigned char* bytes, size_t count);
void ConsoleTestSetFeedObserver(ConsoleFeedObserver observer);
