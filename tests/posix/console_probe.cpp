// A small program the pseudo-terminal tests run: it starts the console,
// draws, notes what it sees in a report file, and then does what the bytes
// typed at it ask, ending the process in each of the ways a program can.
//
// Usage: console_probe REPORT_FILE
// Typed commands: q exit; c exit through a slow clean-up; C the same after
// 200 ms; h install a control handler; a abort; r hand the terminal to a
// "child" that reads one line; p prompt for a key while released; u print
// one UTF-8 character in two writes; anything else is only reported.
#include "internal/console.h"
#include "windows.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

int gReport = -1;
int gCommands[2] = {-1, -1};
// Bytes typed during start-up (and the terminal's answers) are only
// reported; commands count from when the console is up.
std::atomic<bool> gStarted{false};

void Report(const char* text) {
    char line[512];
    size_t n = std::strlen(text);
    if (n > sizeof line - 1) n = sizeof line - 1;
    std::memcpy(line, text, n);
    line[n] = '\n';
    if (::write(gReport, line, n + 1) < 0) _exit(4);
}

long NowMs() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

void SleepMs(long ms) {
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Every read of input the console hands to its decoder.
void Observe(const unsigned char* bytes, size_t count) {
    static const char digits[] = "0123456789abcdef";
    char line[8 + 2 * 64];
    size_t n = 0;
    std::memcpy(line, "fed=", 4);
    n = 4;
    for (size_t i = 0; i < count && i < 64; i++) {
        line[n++] = digits[bytes[i] >> 4];
        line[n++] = digits[bytes[i] & 15];
    }
    line[n] = 0;
    Report(line);
    if (gStarted.load() && ::write(gCommands[1], bytes, count) < 0) _exit(4);
}

void CleanUp() {
    Report("cleanup-start");
    SleepMs(400);
    Report("cleanup-end");
}

BOOL Handler(DWORD event) {
    char line[32];
    snprintf(line, sizeof line, "handler=%u", event);
    Report(line);
    if (event == CTRL_C_EVENT) return TRUE;
    CleanUp();
    return FALSE;
}

void Draw(HANDLE out, SHORT row, const char16_t* text) {
    SetConsoleCursorPosition(out, {2, row});
    DWORD written;
    WriteConsoleW(out, text, DWORD(wcslen(text)), &written, nullptr);
}

[[noreturn]] void ExitCleanly() {
    ConsoleBeginExit();
    CleanUp();
    exit(0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    gReport = ::open(argv[1], O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (gReport < 0 || pipe2(gCommands, O_CLOEXEC) != 0) return 2;
    ConsoleTestSetFeedObserver(Observe);
    if (const char* limit = getenv("QPROBE_QUERY_MS")) ConsoleTestSetQueryLimit(atoi(limit));

    long start = NowMs();
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    long took = NowMs() - start;
    char line[64];
    if (!out) {
        // No terminal: every console function fails without touching one.
        Report("no console");
        HANDLE any = reinterpret_cast<HANDLE>(uintptr_t(0x10000));
        CONSOLE_SCREEN_BUFFER_INFO info;
        SetLastError(0);
        BOOL got = GetConsoleScreenBufferInfo(any, &info);
        snprintf(line, sizeof line, "info=%d error=%u", got, GetLastError());
        Report(line);
        SetLastError(0);
        HANDLE buffer = CreateConsoleScreenBuffer(GENERIC_READ, 0, nullptr, 1, nullptr);
        snprintf(line, sizeof line, "create=%d error=%u", buffer != INVALID_HANDLE_VALUE,
                 GetLastError());
        Report(line);
        SetLastError(0);
        HANDLE conout = CreateFileW(u"CONOUT$", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        snprintf(line, sizeof line, "conout=%d error=%u", conout != INVALID_HANDLE_VALUE,
                 GetLastError());
        Report(line);
        WCHAR title[8];
        snprintf(line, sizeof line, "title=%d get=%u beep=%d handler=%d", SetConsoleTitleW(u"t"),
                 GetConsoleTitleW(title, 8), MessageBeep(0), SetConsoleCtrlHandler(Handler, TRUE));
        Report(line);
        return 3;
    }
    snprintf(line, sizeof line, "startup_ms=%d", int(took));
    Report(line);
    snprintf(line, sizeof line, "kitty=%d", ConsoleKittyKeyboardActive() ? 1 : 0);
    Report(line);
    // Text with an escape character, as a file name may hold one; without
    // virtual-terminal processing it is a character, not a sequence.
    Draw(out, 2, u"name\x1b]0;pwned\x1b\\");
    SetConsoleTextAttribute(out, 0x1E);
    Draw(out, 1, u"READY");
    SetConsoleTextAttribute(out, 0x07);
    gStarted = true;

    for (;;) {
        unsigned char command;
        ssize_t n = ::read(gCommands[0], &command, 1);
        if (n <= 0) continue;
        switch (command) {
        case 'q':
            ConsoleBeginExit();
            exit(0);
        case 'c': ExitCleanly();
        case 'C':
            SleepMs(200);
            ExitCleanly();
        case 'h':
            SetConsoleCtrlHandler(Handler, TRUE);
            Report("handler installed");
            break;
        case 'a': abort();
        case 'r': {
            ConsoleRelease();
            // Standard output while the terminal is handed away goes to it
            // directly.
            printf("RELEASED\n");
            fflush(stdout);
            int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
            char buffer[64];
            ssize_t got = tty >= 0 ? ::read(tty, buffer, sizeof buffer) : -1;
            if (tty >= 0) ::close(tty);
            snprintf(line, sizeof line, "child read %d", int(got));
            Report(line);
            ConsoleReacquire();
            Draw(out, 3, u"BACK");
            break;
        }
        case 'p':
            ConsoleRelease();
            ConsolePromptKey("Press a key");
            ConsoleReacquire();
            Draw(out, 4, u"PROMPTED");
            break;
        case 'u':
            // One character in two writes of the unbuffered standard output.
            fwrite("\xc3", 1, 1, stdout);
            fwrite("\xa9", 1, 1, stdout);
            Report("printed");
            break;
        default: break;
        }
    }
}
