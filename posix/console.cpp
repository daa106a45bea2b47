// The console session on the terminal: start-up (raw settings, colour depth,
// the terminal query, the set-up and restore sequences), signals through the
// self-pipe, the input thread, handing the terminal to child programs and
// back, control handlers, titles, the terminal clipboard, the standard
// handles and the restore at every way out of the process.
#include "internal/console.h"
#include "internal/console_child.h"
#include "internal/console_input.h"
#include "internal/handles.h"
#include "internal/sys.h"
#include "internal/terminput.h"
#include "internal/threads.h"
#include "internal/utf.h"
#include "errhandlingapi.h"
#include "qposix_path.h"
#include "stringapiset.h"
#include "winerror.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

CONSOLE_SESSION gConsole;
ConsoleMutex gConsoleStateLock;
ConsoleMutex gConsoleOutputLock;

namespace {

// Start once. Not a console lock: start-up runs before the threads exist.
pthread_mutex_t gStartupLock = PTHREAD_MUTEX_INITIALIZER;

const char* gTtyPath = "/dev/tty";
std::atomic<ConsoleFeedObserver> gFeedObserver{nullptr};

// The set-up sequence of raw mode, without the mouse part; built at start so
// that the continue handler only has to write it.
char gSetup[160];
size_t gSetupLength = 0;
constexpr char kMouseOn[] = "\x1b[?1000h\x1b[?1002h\x1b[?1006h";
// How long the start-up query waits for the terminal's answers; tests may
// lengthen it, so that a busy machine cannot make an answer look late.
std::atomic<int> gQueryMilliseconds{500};

// The one exit of the process (ConsoleBeginExit).
pthread_mutex_t gExitLock = PTHREAD_MUTEX_INITIALIZER;
bool gExitClaimed = false;
pthread_t gExitOwner;

uint64_t NowMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
}

void SleepMs(long ms) {
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void AppendText(char* buffer, size_t capacity, size_t* length, const char* text) {
    size_t n = std::strlen(text);
    if (*length + n > capacity) return;
    std::memcpy(buffer + *length, text, n);
    *length += n;
}

// Hands bytes read from the terminal to the decoder. State lock held, or
// during start-up before the threads exist.
void FeedDecoder(const unsigned char* bytes, size_t count) {
    if (ConsoleFeedObserver observer = gFeedObserver.load()) observer(bytes, count);
    TerminalInputFeed(bytes, count, NowMs());
}

// ---- raw mode -------------------------------------------------------------------------------

// Raw mode is being entered. A continue signal can reach two threads at
// once (the one that stopped and the one the signal is delivered to): only
// one of them sends the set-up sequence.
std::atomic<bool> gEnteringRaw{false};

// Applies the raw settings (when: TCSAFLUSH, or TCSANOW where type-ahead
// must be kept) and sends the set-up sequence; sets raw. Does nothing when
// raw mode is on or being entered. Async-signal-safe.
void ConsoleSetRawMode(int when) {
    if (gConsole.tty < 0 || gEnteringRaw.exchange(true)) return;
    if (!gConsole.raw.load()) {
        tcsetattr(gConsole.tty, when, &gConsole.rawSettings);
        ConsoleWriteTty(gSetup, gSetupLength);
        if (gConsole.mouseReporting.load()) ConsoleWriteTty(kMouseOn, sizeof kMouseOn - 1);
        gConsole.raw.store(true);
    }
    gEnteringRaw.store(false);
}

// The start-up query is waiting for the terminal's answers.
std::atomic<bool> gQuerying{false};

// Re-enters raw mode from a signal handler, unless the terminal belongs to
// a child program or raw mode is already on. During the start-up query the
// input is kept: the answers may be in it.
void EnterRawFromSignal() {
    if (gConsole.released.load()) return;
    if (gConsole.raw.load()) return;
    ConsoleSetRawMode(gQuerying.load() ? TCSANOW : TCSAFLUSH);
}

void QueryWindowSize() {
    struct winsize ws;
    if (ioctl(gConsole.tty, TIOCGWINSZ, &ws) != 0 || ws.ws_row == 0 || ws.ws_col == 0) return;
    int32_t rows = ws.ws_row > 9999 ? 9999 : ws.ws_row;
    int32_t columns = ws.ws_col > 9999 ? 9999 : ws.ws_col;
    ConsoleBoundTerminalSize(&rows, &columns);
    gConsole.rows.store(rows);
    gConsole.columns.store(columns);
}

// ---- writing to the terminal ------------------------------------------------------------------

int WriteDescriptor() { return gConsole.ttyWrite >= 0 ? gConsole.ttyWrite : gConsole.tty; }

// Writes bytes to the terminal. While the terminal takes nothing it waits:
// for ever (stallMs < 0) unless the process starts ending, or for at most
// stallMs without progress. Async-signal-safe.
bool WriteTty(const void* bytes, size_t length, int stallMs) {
    const int fd = WriteDescriptor();
    if (fd < 0) return false;
    const char* p = static_cast<const char*>(bytes);
    uint64_t stalledSince = 0;
    while (length > 0) {
        // Through the layer's wrapper, so that tests can make a write fail.
        ssize_t n = QSysWrite(fd, p, length);
        if (n > 0) {
            p += n;
            length -= static_cast<size_t>(n);
            stalledSince = 0;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || errno != EAGAIN) return false;
        // The terminal is not reading.
        int timeout = -1;
        if (stallMs >= 0) {
            uint64_t now = NowMs();
            if (stalledSince == 0) stalledSince = now;
            if (now - stalledSince >= uint64_t(stallMs)) return false;
            timeout = static_cast<int>(uint64_t(stallMs) - (now - stalledSince));
        }
        struct pollfd fds[2] = {{fd, POLLOUT, 0}, {gConsole.exitWake, POLLIN, 0}};
        const nfds_t count = stallMs < 0 && gConsole.exitWake >= 0 ? 2 : 1;
        int r = poll(fds, count, timeout);
        if (r < 0 && errno != EINTR) return false;
        if (count == 2 && (fds[1].revents & POLLIN)) return false; // the process is ending
    }
    return true;
}

// ---- signals -----------------------------------------------------------------------------------

void ConsoleSignalToPipe(int sig) {
    int saved = errno;
    unsigned char b = static_cast<unsigned char>(sig);
    if (::write(gConsole.pipeWrite, &b, 1) < 0) {
        // A full pipe already holds a wake-up for the input thread.
    }
    errno = saved;
}

void ConsoleOnContinue(int sig) {
    int saved = errno;
    EnterRawFromSignal();
    ConsoleSignalToPipe(sig);
    errno = saved;
}

void ConsoleOnStop(int sig);

void InstallStopHandler() {
    struct sigaction sa = {};
    sa.sa_handler = ConsoleOnStop;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTSTP, &sa, nullptr);
}

void ConsoleOnStop(int) {
    int saved = errno;
    ConsoleForceRestore();
    struct sigaction sa = {};
    sa.sa_handler = SIG_DFL;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTSTP, &sa, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTSTP);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(SIGTSTP);
    // Continued, or never stopped: a process group without a parent in its
    // session discards the stop. Either way the program runs on and needs
    // its screen back, unless a child program owns the terminal.
    if (!gConsole.released.load() && !gConsole.raw.load()) {
        EnterRawFromSignal();
        ConsoleSignalToPipe(SIGCONT);
    }
    InstallStopHandler();
    errno = saved;
}

void ConsoleOnFatalSignal(int sig) {
    ConsoleForceRestore();
    signal(sig, SIG_DFL);
    raise(sig);
}

// Signals whose default action ends the process, beyond the fatal ones the
// console always takes: each would otherwise leave the terminal raw, on
// the alternate screen and reporting the mouse. Taken only while nobody
// else has claimed them.
constexpr int kOtherEndingSignals[] = {SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU,  SIGXFSZ,
                                       SIGVTALRM, SIGPROF, SIGTRAP, SIGSYS,  SIGPIPE, SIGIO,
                                       SIGPWR,  SIGSTKFLT};

void InstallFatalHandler(int sig, bool onlyDefault) {
    if (onlyDefault) {
        struct sigaction current;
        if (sigaction(sig, nullptr, &current) != 0) return;
        if ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL) return;
    }
    struct sigaction sa = {};
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND | SA_NODEFER;
    sa.sa_handler = ConsoleOnFatalSignal;
    sigaction(sig, &sa, nullptr);
}

void InstallSignalHandlers() {
    struct sigaction sa = {};
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sa.sa_handler = ConsoleSignalToPipe;
    for (int sig : {SIGWINCH, SIGHUP, SIGTERM, SIGINT}) sigaction(sig, &sa, nullptr);
    sa.sa_handler = ConsoleOnContinue;
    sigaction(SIGCONT, &sa, nullptr);
    InstallStopHandler();
    for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) InstallFatalHandler(sig, false);
    for (int sig : kOtherEndingSignals) InstallFatalHandler(sig, true);
    // The real-time signals end the process too; the layer's own (thread
    // suspension) install their handlers over these when first used.
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; sig++) InstallFatalHandler(sig, true);
}

// ---- ending the process ---------------------------------------------------------------------------

// A terminating event: claims the exit (or waits for the thread that owns
// it to end the process), lets the handlers run, restores and ends.
[[noreturn]] void EndAfterTerminatingEvent(bool dispatch, DWORD event, int status) {
    ConsoleBeginExit();
    if (dispatch) ConsoleDispatchCtrlEvent(event);
    ConsoleExitRestore(nullptr, 0);
    _exit(status);
}

void TakeCtrlC() {
    bool pending;
    {
        ConsoleStateGuard state;
        pending = gConsole.ctrlCPending;
        gConsole.ctrlCPending = false;
    }
    if (pending) ConsoleDispatchCtrlEvent(CTRL_C_EVENT);
}

void HandleSignal(int sig) {
    switch (sig) {
    case SIGWINCH:
    case SIGCONT: {
        ConsoleStateGuard state;
        ConsoleResizeStep(sig == SIGCONT);
        break;
    }
    case SIGINT:
        if (!ConsoleDispatchCtrlEvent(CTRL_C_EVENT)) EndAfterTerminatingEvent(false, 0, 130);
        break;
    case SIGTERM: EndAfterTerminatingEvent(true, CTRL_SHUTDOWN_EVENT, 143);
    case SIGHUP: EndAfterTerminatingEvent(true, CTRL_CLOSE_EVENT, 129);
    default: break;
    }
}

// ---- the input thread ---------------------------------------------------------------------------

void* ConsoleInputThread(void*) {
    unsigned char buffer[4096];
    TakeCtrlC(); // a Ctrl+C typed during the start-up query
    for (;;) {
        int timeout;
        {
            ConsoleStateGuard state;
            timeout = TerminalInputTimeoutMs();
        }
        struct pollfd fds[2] = {{gConsole.tty, POLLIN, 0}, {gConsole.pipeRead, POLLIN, 0}};
        int r = poll(fds, 2, timeout < 0 ? -1 : timeout);
        if (r < 0) {
            if (errno != EINTR) SleepMs(10); // never spin on a failing poll
            continue;
        }
        if (r == 0) {
            {
                ConsoleStateGuard state;
                TerminalInputFlushPending(NowMs());
            }
            TakeCtrlC();
            continue;
        }
        if (fds[1].revents & POLLIN) {
            unsigned char signals[16];
            ssize_t n = ::read(gConsole.pipeRead, signals, sizeof signals);
            for (ssize_t i = 0; i < n; i++) HandleSignal(signals[i]);
        }
        if (fds[0].revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL)) {
            {
                ConsoleStateGuard state;
                while (gConsole.released.load()) ConsoleStateWait(&gConsole.releasedCleared);
            }
            struct pollfd once = {gConsole.tty, POLLIN, 0};
            if (poll(&once, 1, 0) <= 0) continue; // a child program took the bytes
            ssize_t n = ::read(gConsole.tty, buffer, sizeof buffer);
            if (n > 0) {
                {
                    ConsoleStateGuard state;
                    FeedDecoder(buffer, static_cast<size_t>(n));
                }
                TakeCtrlC();
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                EndAfterTerminatingEvent(true, CTRL_CLOSE_EVENT, 129);
            }
        }
    }
    return nullptr;
}

// ---- start-up ---------------------------------------------------------------------------------------

void BuildSequences() {
    gConsole.restoreLength = 0;
    AppendText(gConsole.restore, sizeof gConsole.restore, &gConsole.restoreLength,
               "\x1b[?1006l\x1b[?1002l\x1b[?1000l\x1b[?1004l");
    AppendText(gConsole.restore, sizeof gConsole.restore, &gConsole.restoreLength,
               gConsole.kittyKeyboard ? "\x1b[<u" : "\x1b[>4m\x1b[?9001l");
    AppendText(gConsole.restore, sizeof gConsole.restore, &gConsole.restoreLength,
               "\x1b[?1036r\x1b[0m\x1b[?25h\x1b[0 q\x1b[?7h\x1b[?1049l\x1b[23;0t");
    gSetupLength = 0;
    AppendText(gSetup, sizeof gSetup, &gSetupLength,
               "\x1b[?1049h\x1b[?7l\x1b[?1004h\x1b[22;0t\x1b[?1036s\x1b[?1036h");
    AppendText(gSetup, sizeof gSetup, &gSetupLength,
               gConsole.kittyKeyboard ? "\x1b[>31u" : "\x1b[>4;2m\x1b[?9001h");
}

// Decoded records go to the console's record sink one by one.
void DecodedRecords(const INPUT_RECORD* records, size_t count) {
    for (size_t i = 0; i < count; i++) ConsoleInputSink(nullptr, &records[i]);
}

// The decoder puts mouse positions into the active page's window itself, and
// makes no mouse record while reporting is off. Called under the state lock.
void DecoderContext(TERMINAL_INPUT_CONTEXT* context) {
    context->mouseReporting = gConsole.mouseReporting.load() ? TRUE : FALSE;
    context->window = SMALL_RECT{0, 0, static_cast<SHORT>(gConsole.columns.load() - 1),
                                 static_cast<SHORT>(gConsole.rows.load() - 1)};
    if (CONSOLE_SCREEN_BUFFER* buffer = gConsole.activeBuffer) {
        const SCREEN_PAGE* page = ConsoleCurrentPage(buffer);
        context->window = SMALL_RECT{static_cast<SHORT>(page->Left), static_cast<SHORT>(page->Top),
                                     static_cast<SHORT>(page->Right),
                                     static_cast<SHORT>(page->Bottom)};
    }
}

// Asks for the kitty keyboard flags and the device attributes and reads
// the answers for at most 500 ms, handing everything read, keys typed
// meanwhile included, to the decoder. A terminating signal ends the wait
// at once; the signals that came are left in the pipe for the input thread.
void RunTerminalQuery() {
    static const char kQuery[] = "\x1b[?u\x1b[c";
    ConsoleWriteTty(kQuery, sizeof kQuery - 1);
    CONSOLE_QUERY_SCAN scan;
    uint64_t deadline = NowMs() + uint64_t(gQueryMilliseconds.load());
    unsigned char buffer[512];
    unsigned char signals[64];
    size_t signalCount = 0;
    bool ending = false;
    while (!scan.attributesAnswer && !ending) {
        uint64_t now = NowMs();
        if (now >= deadline) break;
        struct pollfd fds[2] = {{gConsole.tty, POLLIN, 0}, {gConsole.pipeRead, POLLIN, 0}};
        int r = poll(fds, 2, static_cast<int>(deadline - now));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        if (fds[1].revents & POLLIN) {
            ssize_t n = ::read(gConsole.pipeRead, signals + signalCount, sizeof signals - signalCount);
            for (ssize_t i = 0; i < n; i++) {
                int sig = signals[signalCount + static_cast<size_t>(i)];
                if (sig == SIGTERM || sig == SIGINT || sig == SIGHUP) ending = true;
            }
            if (n > 0) signalCount += static_cast<size_t>(n);
            if (signalCount == sizeof signals) ending = true;
            continue;
        }
        ssize_t n = ::read(gConsole.tty, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;
        ConsoleQueryScan(&scan, buffer, static_cast<size_t>(n));
        ConsoleStateGuard state;
        FeedDecoder(buffer, static_cast<size_t>(n));
    }
    if (signalCount > 0 && ::write(gConsole.pipeWrite, signals, signalCount) < 0) {
        // The pipe holds wake-ups already; the input thread sees those.
    }
    gConsole.kittyKeyboard = scan.kittyAnswer;
    TerminalInputSetKittyActive(gConsole.kittyKeyboard);
}

void CloseStartupDescriptors() {
    for (int32_t* fd : {&gConsole.tty, &gConsole.ttyWrite, &gConsole.pipeRead, &gConsole.pipeWrite,
                        &gConsole.exitWake}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

void CloseConsoleInput(void*) {}

void ConsoleShutdown();
void RedirectStdStreams();

bool ConsoleStartup() {
    const char* term = ::getenv("TERM");
    gConsole.tty = ::open(gTtyPath, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (gConsole.tty < 0 || tcgetattr(gConsole.tty, &gConsole.saved) != 0) {
        CloseStartupDescriptors();
        return false;
    }
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        CloseStartupDescriptors();
        return false;
    }
    gConsole.pipeRead = fds[0];
    gConsole.pipeWrite = fds[1];
    fcntl(gConsole.pipeWrite, F_SETFL, fcntl(gConsole.pipeWrite, F_GETFL) | O_NONBLOCK);
    // Without these two the console still works; only a terminal that stops
    // reading can then hold up the way out.
    gConsole.ttyWrite = ::open(gTtyPath, O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    gConsole.exitWake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);

    struct termios& raw = gConsole.rawSettings;
    raw = gConsole.saved;
    raw.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON);
    raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    raw.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
    raw.c_cflag |= CS8;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;

    gConsole.linuxConsole = term && std::strcmp(term, "linux") == 0;
    TerminalInputSetSink(DecodedRecords);
    TerminalInputSetContextSource(DecoderContext);
    TerminalInputReset(gConsole.linuxConsole);
    QueryWindowSize();

    gConsole.colourDepth = ConsoleColourDepth(::getenv("QUILB_COLORS"), ::getenv("COLORTERM"), term);
    {
        ConsoleStateGuard state;
        ConsoleDefaultPalette(gConsole.render.palette);
        gConsole.render.depth = gConsole.colourDepth;
        CONSOLE_SCREEN_BUFFER* buffer = nullptr;
        if (ConsoleShadowResize(&gConsole.render, gConsole.rows.load(), gConsole.columns.load()))
            buffer = ConsoleNewScreenBuffer(gConsole.columns.load(), gConsole.rows.load());
        if (!buffer) {
            ConsoleShadowFree(&gConsole.render);
            CloseStartupDescriptors();
            return false;
        }
        buffer->referenceCount = 1;
        gConsole.defaultBuffer = buffer;
        gConsole.activeBuffer = buffer;
    }

    // The handlers come before the raw settings: a signal during the query
    // finds a terminal it can restore. Until the query is over nothing has
    // been sent, so the restore sequence is empty and only the settings
    // come back.
    gConsole.restoreLength = 0;
    InstallSignalHandlers();
    tcsetattr(gConsole.tty, TCSAFLUSH, &gConsole.rawSettings);
    gConsole.raw.store(true);
    gQuerying.store(true);
    RunTerminalQuery();
    gQuerying.store(false);
    {
        // The sequences change under the handlers' eyes: none may run here.
        sigset_t all, old;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &old);
        BuildSequences();
        // The raw settings are already in place (or back after a stop):
        // applying them again must not discard the keys typed since.
        gConsole.raw.store(false);
        ConsoleSetRawMode(TCSANOW);
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
    }
    atexit(ConsoleShutdown);
    HandleRegisterType(HANDLE_TYPE_SCREEN_BUFFER, ConsoleCloseScreenBuffer);
    HandleRegisterType(HANDLE_TYPE_CONSOLE_INPUT, CloseConsoleInput);

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    pthread_create(&thread, &attr, ConsoleInputThread, nullptr);
    pthread_create(&thread, &attr, ConsoleRendererThread, nullptr);
    pthread_attr_destroy(&attr);
    {
        ConsoleStateGuard state;
        ConsoleRepaint();
    }
    RedirectStdStreams();
    return true;
}

// ---- shut-down --------------------------------------------------------------------------------------

// Restores the terminal at a normal exit and leaves what the program last
// wrote to its default buffer visible in the shell.
void ConsoleShutdown() {
    if (!gConsole.started.load() || gConsole.failed.load() || gConsole.freed.load()) return;
    ConsoleBeginExit();
    char* text = nullptr;
    size_t length = 0;
    {
        ConsoleStateGuard state;
        const SCREEN_PAGE& page = gConsole.defaultBuffer->pages[0];
        int32_t last = -1;
        for (int32_t y = 0; y < page.height; y++)
            for (int32_t x = 0; x < page.width; x++)
                if ((page.cells[static_cast<size_t>(y) * page.width + x] & 0xFFFF) > 32) last = y;
        if (last >= 0) {
            size_t capacity = static_cast<size_t>(last + 1) * (static_cast<size_t>(page.width) * 3 + 1);
            text = static_cast<char*>(std::malloc(capacity));
            for (int32_t y = 0; text && y <= last; y++) {
                const uint32_t* row = page.cells + static_cast<size_t>(y) * page.width;
                int32_t end = page.width;
                while (end > 0 && (row[end - 1] & 0xFFFF) <= 32) end--;
                // Each cell as the screen showed it: a control character the
                // program stored (an ESC from a file name, say) must not
                // reach the shell's terminal as a sequence.
                WCHAR units[256];
                for (int32_t x = 0; x < end;) {
                    int32_t n = end - x < 256 ? end - x : 256;
                    for (int32_t i = 0; i < n; i++)
                        units[i] = static_cast<WCHAR>(ConsoleDisplayChar(row[x + i] & 0xFFFF));
                    size_t stored = 0;
                    Utf16Encode(units, static_cast<size_t>(n), text + length, capacity - length, &stored);
                    length += stored;
                    x += n;
                }
                text[length++] = '\n';
            }
        }
    }
    ConsoleExitRestore(text, length);
    std::free(text);
}

} // namespace

// ---- locks --------------------------------------------------------------------------------------------

void ConsoleStateLock() { ConsoleLockEnter(gConsoleStateLock); }
void ConsoleStateUnlock() { ConsoleLockLeave(gConsoleStateLock); }
void ConsoleOutputLock() { ConsoleLockEnter(gConsoleOutputLock); }
void ConsoleOutputUnlock() { ConsoleLockLeave(gConsoleOutputLock); }

void ConsoleStateWait(pthread_cond_t* condition) {
    pthread_cond_wait(condition, &gConsoleStateLock.mutex);
}

// ---- session operations ----------------------------------------------------------------------------

BOOL ConsoleAvailable() {
    if (!gConsole.started.load(std::memory_order_acquire)) {
        pthread_mutex_lock(&gStartupLock);
        if (!gConsole.started.load()) {
            bool ok = ConsoleStartup();
            gConsole.failed.store(!ok);
            gConsole.started.store(true, std::memory_order_release);
        }
        pthread_mutex_unlock(&gStartupLock);
    }
    return gConsole.failed.load() ? FALSE : TRUE;
}

int ConsoleTtyFd() { return ConsoleAvailable() ? gConsole.tty : -1; }

BOOL ConsoleKittyKeyboardActive() {
    return ConsoleAvailable() && gConsole.kittyKeyboard ? TRUE : FALSE;
}

void ConsoleGetTerminalSize(int32_t* rows, int32_t* columns) {
    if (rows) *rows = gConsole.rows.load();
    if (columns) *columns = gConsole.columns.load();
}

const WCHAR* ConsoleTitleBuffer() { return gConsole.title; }

void ConsoleLastKeyState(DWORD* controlKeyState, DWORD* virtualKey) {
    ConsoleStateGuard state;
    if (controlKeyState) *controlKeyState = gConsole.lastControlKeyState;
    if (virtualKey) *virtualKey = gConsole.lastKey;
}

bool ConsoleWriteTty(const void* bytes, size_t length) { return WriteTty(bytes, length, -1); }

namespace {

// Ends whatever a frame cut short left open: CAN ends a sequence it was cut
// in, a synchronized update it began would keep the terminal from showing
// anything, and a scroll region it set would stay with the shell.
constexpr char kEndCutFrame[] = "\x18\x1b[?2026l\x1b[r";

} // namespace

void ConsoleForceRestore() {
    if (gConsole.tty < 0 || !gConsole.raw.exchange(false)) return;
    if (!WriteTty(kEndCutFrame, sizeof kEndCutFrame - 1, CONSOLE_EXIT_WRITE_MS) ||
        !WriteTty(gConsole.restore, gConsole.restoreLength, CONSOLE_EXIT_WRITE_MS)) {
        // The terminal reads nothing: what it has not read yet is given up,
        // so that the restore reaches it.
        tcflush(WriteDescriptor(), TCOFLUSH);
        if (WriteTty(kEndCutFrame, sizeof kEndCutFrame - 1, CONSOLE_EXIT_WRITE_MS))
            WriteTty(gConsole.restore, gConsole.restoreLength, CONSOLE_EXIT_WRITE_MS);
    }
    // As TCSAFLUSH, but without waiting for output a stuck terminal never
    // takes.
    tcflush(gConsole.tty, TCIFLUSH);
    tcsetattr(gConsole.tty, TCSANOW, &gConsole.saved);
}

void ConsoleExitRestore(const char* tail, size_t tailLength) {
    if (gConsole.exitWake >= 0) {
        uint64_t one = 1;
        if (::write(gConsole.exitWake, &one, sizeof one) < 0) {
            // Already signalled.
        }
    }
    // Held, when had, until the process ends: nothing is drawn after the
    // restore. Not had: its holder is stuck, and the restore goes out
    // without it. Either way a frame may have been given up half written.
    ConsoleLockDepthEnter();
    if (!gConsoleOutputLock.lockFor(CONSOLE_EXIT_LOCK_MS)) ConsoleLockDepthLeave();
    ConsoleForceRestore();
    if (tail && tailLength) WriteTty(tail, tailLength, CONSOLE_EXIT_WRITE_MS);
}

void ConsoleBoundTerminalSize(int32_t* rows, int32_t* columns) {
    if (*columns < 1) *columns = 1;
    if (*rows < 1) *rows = 1;
    int64_t most = CONSOLE_MAX_TERMINAL_CELLS / *columns;
    if (*rows > most) *rows = static_cast<int32_t>(most);
}

void ConsoleWriteTtyLocked(const char* text) {
    ConsoleOutputGuard out;
    if (gConsole.raw.load()) ConsoleWriteTty(text, std::strlen(text));
}

void ConsoleRestoreTerminal() {
    if (gConsole.tty < 0) return;
    if (!gConsole.raw.exchange(false)) return;
    ConsoleWriteTty(gConsole.restore, gConsole.restoreLength);
    tcsetattr(gConsole.tty, TCSAFLUSH, &gConsole.saved);
}

BOOL ConsoleDispatchCtrlEvent(DWORD event) {
    PHANDLER_ROUTINE handlers[CONSOLE_MAX_HANDLERS];
    int32_t count;
    {
        ConsoleStateGuard state;
        count = gConsole.handlerCount;
        std::memcpy(handlers, gConsole.handlers, sizeof handlers);
    }
    for (int32_t i = count - 1; i >= 0; i--)
        if (handlers[i](event)) return TRUE;
    return FALSE;
}

void ConsoleRepaint() {
    gConsole.dirty = true;
    pthread_cond_signal(&gConsole.renderWake);
}

namespace {

std::atomic<ConsoleChildCallObserver> gChildCallObserver{nullptr};

void TellChildCall(ConsoleChildCall call, const void* bytes = nullptr, size_t length = 0) {
    if (ConsoleChildCallObserver observer = gChildCallObserver.load()) observer(call, bytes, length);
}

} // namespace

void ConsoleTestSetChildCallObserver(ConsoleChildCallObserver observer) {
    gChildCallObserver.store(observer);
}

void ConsoleRelease() {
    TellChildCall(ConsoleChildCall::Release);
    if (!ConsoleAvailable()) return;
    {
        ConsoleStateGuard state;
        gConsole.released.store(true);
    }
    ConsoleOutputGuard out;
    ConsoleRestoreTerminal();
}

void ConsoleReacquire() {
    TellChildCall(ConsoleChildCall::Reacquire);
    if (!gConsole.started.load() || gConsole.failed.load() || gConsole.freed.load()) return;
    {
        ConsoleOutputGuard out;
        if (!gConsole.raw.load()) ConsoleSetRawMode(TCSAFLUSH);
    }
    ConsoleStateGuard state;
    gConsole.released.store(false);
    pthread_cond_broadcast(&gConsole.releasedCleared);
    ConsoleShadowInvalidate(&gConsole.render);
    // The restore sequence put the terminal's own cursor shape back.
    gConsole.render.shapeSent = -1;
    ConsoleRepaint();
}

void ConsolePromptKey(const char* text) {
    TellChildCall(ConsoleChildCall::PromptKey, text, text ? std::strlen(text) : 0);
    if (!gConsole.started.load() || gConsole.failed.load() || gConsole.raw.load() ||
        gConsole.tty < 0)
        return;
    if (text) ConsoleWriteTty(text, std::strlen(text));
    struct termios t = gConsole.saved;
    t.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    tcsetattr(gConsole.tty, TCSANOW, &t);
    unsigned char key;
    while (::read(gConsole.tty, &key, 1) < 0 && errno == EINTR) {
    }
    SleepMs(30);
    tcsetattr(gConsole.tty, TCSANOW, &gConsole.saved);
    ConsoleWriteTty("\r\n", 2);
}

BOOL ConsoleSetTerminalClipboard(const void* bytes, size_t length) {
    TellChildCall(ConsoleChildCall::TerminalClipboard, bytes, length);
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (gConsole.linuxConsole || gConsole.tty < 0 || length > 700000) return FALSE;
    static const char kHead[] = "\x1b]52;c;";
    size_t encoded = (length + 2) / 3 * 4;
    char* text = static_cast<char*>(std::malloc(sizeof kHead - 1 + encoded + 2));
    if (!text) return FALSE;
    std::memcpy(text, kHead, sizeof kHead - 1);
    char* p = text + sizeof kHead - 1;
    const auto* in = static_cast<const unsigned char*>(bytes);
    for (size_t i = 0; i < length; i += 3) {
        uint32_t v = static_cast<uint32_t>(in[i]) << 16;
        if (i + 1 < length) v |= static_cast<uint32_t>(in[i + 1]) << 8;
        if (i + 2 < length) v |= in[i + 2];
        *p++ = kAlphabet[(v >> 18) & 63];
        *p++ = kAlphabet[(v >> 12) & 63];
        *p++ = i + 1 < length ? kAlphabet[(v >> 6) & 63] : '=';
        *p++ = i + 2 < length ? kAlphabet[v & 63] : '=';
    }
    *p++ = '\a';
    *p = '\0';
    ConsoleWriteTtyLocked(text);
    std::free(text);
    return TRUE;
}

void ConsoleResizeStep(bool forgetScreen) {
    if (forgetScreen) {
        ConsoleShadowInvalidate(&gConsole.render);
        gConsole.render.shapeSent = -1;
    }
    int32_t oldRows = gConsole.rows.load(), oldColumns = gConsole.columns.load();
    QueryWindowSize();
    int32_t rows = gConsole.rows.load(), columns = gConsole.columns.load();
    if (rows == oldRows && columns == oldColumns) {
        // Set dirty too: after a continue the forgotten screen must be drawn
        // even when nothing else changes.
        ConsoleRepaint();
        return;
    }
    for (CONSOLE_SCREEN_BUFFER* b = gConsole.buffers; b; b = b->next) {
        for (uint32_t i = 0; i <= b->currentPage; i++) {
            SCREEN_PAGE* page = &b->pages[i];
            int32_t width = page->width > columns ? page->width : columns;
            int32_t height = page->height > rows ? page->height : rows;
            if (width != page->width || height != page->height)
                ConsolePageResize(page, width, height, b->attribute);
            page->Right = page->Left + columns - 1;
            page->Bottom = page->Top + rows - 1;
            ConsoleClampWindow(page);
        }
    }
    ConsoleShadowResize(&gConsole.render, rows, columns);
    if (gConsole.inputMode & ENABLE_WINDOW_INPUT) {
        INPUT_RECORD record = {};
        record.EventType = WINDOW_BUFFER_SIZE_EVENT;
        record.Event.WindowBufferSizeEvent.dwSize.X = static_cast<SHORT>(columns);
        record.Event.WindowBufferSizeEvent.dwSize.Y = static_cast<SHORT>(rows);
        ConsoleQueueInput(&record);
    }
    ConsoleRepaint();
}

int32_t ConsoleColourDepth(const char* quilbColors, const char* colorTerm, const char* term) {
    auto isNumber = [](const char* s, unsigned value) {
        if (!*s) return false;
        unsigned long v = 0;
        for (; *s; s++) {
            if (*s < '0' || *s > '9') return false;
            v = v * 10 + static_cast<unsigned>(*s - '0');
            if (v > 100000) return false;
        }
        return v == value;
    };
    if (quilbColors && *quilbColors) {
        if (isNumber(quilbColors, 24) || std::strcmp(quilbColors, "24bit") == 0 ||
            std::strcmp(quilbColors, "truecolor") == 0)
            return 24;
        return isNumber(quilbColors, 256) ? 256 : 16;
    }
    if (colorTerm && (std::strcmp(colorTerm, "truecolor") == 0 || std::strcmp(colorTerm, "24bit") == 0))
        return 24;
    if (term && std::strstr(term, "256color")) return 256;
    return 16;
}

void ConsoleQueryScan(CONSOLE_QUERY_SCAN* scan, const unsigned char* bytes, size_t count) {
    // 0 idle, 1 after ESC, 2 after CSI, 3 inside "CSI ?" parameters.
    for (size_t i = 0; i < count; i++) {
        unsigned char b = bytes[i];
        switch (scan->state) {
        case 1: scan->state = b == '[' ? 2 : b == 0x1b ? 1 : 0; break;
        case 2: scan->state = b == '?' ? 3 : b == 0x1b ? 1 : 0; break;
        case 3:
            if ((b >= '0' && b <= '9') || b == ';' || b == ':') break;
            if (b == 'u') scan->kittyAnswer = true;
            if (b == 'c') scan->attributesAnswer = true;
            scan->state = b == 0x1b ? 1 : 0;
            break;
        default: scan->state = b == 0x1b ? 1 : 0; break;
        }
    }
}

void ConsoleTestSetQueryLimit(int milliseconds) {
    gQueryMilliseconds.store(milliseconds > 0 ? milliseconds : 500);
}

void ConsoleTestUseTerminal(const char* path) { gTtyPath = path; }

void ConsoleTestSetFeedObserver(ConsoleFeedObserver observer) { gFeedObserver.store(observer); }

// ---- the standard streams ----------------------------------------------------------------------------

namespace {

// Replaces stdout and stderr by console streams when they write to the
// console's own terminal: the controlling terminal of the process's
// session, which /dev/tty names.
void RedirectStdStreams() {
    pid_t session = getsid(0);
    // With a terminal chosen for tests the console's terminal may be another
    // one, and the standard streams then stay as they are.
    if (tcgetsid(gConsole.tty) != session) return;
    struct Target {
        int fd;
        FILE** stream;
        DWORD number;
    };
    const Target targets[] = {{1, &stdout, STD_OUTPUT_HANDLE}, {2, &stderr, STD_ERROR_HANDLE}};
    for (const Target& t : targets) {
        if (!isatty(t.fd) || tcgetsid(t.fd) != session) continue;
        FILE* replacement = ConsoleStdStreamOpen(t.fd, t.number);
        if (!replacement) continue;
        fflush(*t.stream);
        *t.stream = replacement;
    }
}

} // namespace

// ---- API ------------------------------------------------------------------------------------------------

BOOL ConsoleBeginExit() {
    pthread_t self = pthread_self();
    pthread_mutex_lock(&gExitLock);
    if (!gExitClaimed || pthread_equal(gExitOwner, self)) {
        gExitClaimed = true;
        gExitOwner = self;
        pthread_mutex_unlock(&gExitLock);
        return TRUE;
    }
    pthread_mutex_unlock(&gExitLock);
    for (;;) pause(); // the owner is ending the process
}

BOOL FreeConsole() {
    if (!ConsoleAvailable()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    gConsole.freed.store(true);
    ConsoleRelease();
    return TRUE;
}

HANDLE GetStdHandle(DWORD which) {
    if (which != STD_INPUT_HANDLE && which != STD_OUTPUT_HANDLE && which != STD_ERROR_HANDLE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    if (!ConsoleAvailable()) return nullptr;
    ConsoleStateGuard state;
    if (!gConsole.stdOutput) {
        gConsole.stdInput = HandleAllocate(HANDLE_TYPE_CONSOLE_INPUT, &gConsoleInput);
        gConsole.stdOutput = HandleAllocate(HANDLE_TYPE_SCREEN_BUFFER, gConsole.defaultBuffer);
    }
    return which == STD_INPUT_HANDLE ? gConsole.stdInput : gConsole.stdOutput;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
    ConsoleAvailable();
    ConsoleStateGuard state;
    if (!handler) {
        gConsole.ignoreCtrlC = add ? TRUE : FALSE;
        return TRUE;
    }
    if (add) {
        if (gConsole.handlerCount == CONSOLE_MAX_HANDLERS) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        gConsole.handlers[gConsole.handlerCount++] = handler;
        return TRUE;
    }
    for (int32_t i = gConsole.handlerCount - 1; i >= 0; i--) {
        if (gConsole.handlers[i] != handler) continue;
        for (int32_t j = i; j + 1 < gConsole.handlerCount; j++)
            gConsole.handlers[j] = gConsole.handlers[j + 1];
        gConsole.handlers[--gConsole.handlerCount] = nullptr;
        return TRUE;
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
}

BOOL SetConsoleTitleW(LPCWSTR title) {
    if (!ConsoleAvailable()) return FALSE;
    if (!title) title = u"";
    WCHAR shown[CONSOLE_TITLE_UNITS];
    size_t shownLength = 0;
    {
        ConsoleStateGuard state;
        size_t n = 0;
        while (n < CONSOLE_TITLE_UNITS && title[n]) n++;
        std::memcpy(gConsole.title, title, n * sizeof(WCHAR));
        gConsole.title[n] = 0;
        gConsole.titleLength = n;
        // Control and C1 characters never reach the terminal: they could end
        // the sequence and smuggle in others.
        for (size_t i = 0; i < n; i++) {
            WCHAR u = title[i];
            if (u < 32 || (u >= 127 && u <= 159)) continue;
            // Surrogates stand for bytes of names that were not UTF-8 (or
            // are broken pairs): sent as they are they would be raw bytes
            // 0x80..0xFF, which some terminals read as C1 controls.
            shown[shownLength++] = u >= 0xD800 && u <= 0xDFFF ? u'\uFFFD' : u;
        }
    }
    char text[8 + 3080 + 4];
    std::memcpy(text, "\x1b]0;", 4);
    SSIZE_T n = Utf16ToUtf8(shown, static_cast<SSIZE_T>(shownLength), text + 4, 3081);
    size_t length = 4 + (n >= 0 ? static_cast<size_t>(n) : std::strlen(text + 4));
    std::memcpy(text + length, "\x1b\\", 3);
    ConsoleWriteTtyLocked(text);
    return TRUE;
}

BOOL SetConsoleTitleA(LPCSTR title) {
    WCHAR units[CONSOLE_TITLE_UNITS + 1];
    units[0] = 0;
    if (title) {
        size_t length = std::strlen(title);
        if (length > CONSOLE_TITLE_UNITS) length = CONSOLE_TITLE_UNITS;
        int n = length ? MultiByteToWideChar(CP_OEMCP, 0, title, static_cast<int>(length), units,
                                             static_cast<int>(CONSOLE_TITLE_UNITS))
                       : 0;
        units[n > 0 ? n : 0] = 0;
    }
    SetConsoleTitleW(units);
    return ConsoleAvailable();
}

DWORD GetConsoleTitleW(LPWSTR buffer, DWORD size) {
    if (size == 0 || !buffer || !ConsoleAvailable()) return 0;
    ConsoleStateGuard state;
    size_t n = gConsole.titleLength < size - 1 ? gConsole.titleLength : size - 1;
    std::memcpy(buffer, gConsole.title, n * sizeof(WCHAR));
    buffer[n] = 0;
    return static_cast<DWORD>(gConsole.titleLength);
}

BOOL MessageBeep(UINT) {
    if (ConsoleAvailable()) ConsoleWriteTtyLocked("\a");
    return TRUE;
}
