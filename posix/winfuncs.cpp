// Window functions and message boxes on a terminal: a fixed world of pseudo
// windows (the console window, the desktop, one monitor) sized from the
// terminal, and message boxes asked as a prompt on the terminal itself with
// the program's screen handed back meanwhile.
#include "internal/console.h"
#include "errhandlingapi.h"
#include "qposix_path.h"
#include "stringapiset.h"
#include "winerror.h"
#include "winuser.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

const HWND kConsoleWindow = reinterpret_cast<HWND>(uintptr_t(0x10010));
const HWND kDesktopWindow = reinterpret_cast<HWND>(uintptr_t(0x10020));
const HMONITOR kMonitor = reinterpret_cast<HMONITOR>(uintptr_t(0x10030));

constexpr size_t kTextBytes = 4096;
constexpr size_t kCaptionBytes = 512;
constexpr int kLineBytes = 128;

bool IsPseudoWindow(HWND window) { return window == kConsoleWindow || window == kDesktopWindow; }

bool HasTerminal() { return ConsoleTtyFd() != -1; }

// The screen in pixels, from the terminal's size (the console started).
RECT ScreenRect() {
    ConsoleAvailable();
    int32_t rows = 0, columns = 0;
    ConsoleGetTerminalSize(&rows, &columns);
    return RECT{0, 0, columns * 8, rows * 16};
}

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

// The buttons of a message box type.
struct BoxRow {
    const char* prompt;
    const char* letters;
    int answers[3];
};
constexpr BoxRow kBoxRows[] = {
    {"Press Enter", "o", {IDOK}},
    {"[O]K or [C]ancel", "oc", {IDOK, IDCANCEL}},
    {"[A]bort, [R]etry or [I]gnore", "ari", {IDABORT, IDRETRY, IDIGNORE}},
    {"[Y]es, [N]o or [C]ancel", "ync", {IDYES, IDNO, IDCANCEL}},
    {"[Y]es or [N]o", "yn", {IDYES, IDNO}},
    {"[R]etry or [C]ancel", "rc", {IDRETRY, IDCANCEL}},
};

// Text for the terminal as UTF-8 in out (cap bytes with the terminator),
// cut at a character boundary. Control characters other than line feed,
// carriage return and tab, C1 controls and lone surrogates become U+FFFD: a
// file name in a message must not drive the terminal. The escaped bytes of
// names (U+DC00 + byte) show as the byte when it is printable ASCII.
void ShownText(LPCWSTR text, char* out, size_t cap) {
    out[0] = 0;
    if (!text) return;
    // Every unit takes at least one byte: cap units are more than enough.
    WCHAR shown[kTextBytes + 1];
    size_t n = 0;
    for (size_t i = 0; text[i] && n < cap && n < kTextBytes; i++) {
        WCHAR u = text[i];
        bool high = u >= 0xD800 && u <= 0xDBFF;
        bool low = u >= 0xDC00 && u <= 0xDFFF;
        if (high && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            if (n + 2 > kTextBytes) break;
            shown[n++] = u;
            shown[n++] = text[++i];
            continue;
        }
        if (low && u <= 0xDCFF && u - 0xDC00 >= 0x20 && u - 0xDC00 < 0x7F) {
            shown[n++] = static_cast<WCHAR>(u - 0xDC00);
            continue;
        }
        bool control = (u < 32 && u != '\n' && u != '\r' && u != '\t') || (u >= 127 && u <= 159);
        shown[n++] = control || high || low ? u'\uFFFD' : u;
    }
    // A text longer than fits is cut after the last whole character.
    Utf16ToUtf8(shown, static_cast<SSIZE_T>(n), out, cap);
}

// Reads a line of at most kLineBytes bytes; the rest of a longer line is
// read and dropped, so that it is not taken for further answers. False at
// the end of the input.
bool ReadAnswerLine(FILE* in, char* line) {
    if (!std::fgets(line, kLineBytes + 1, in)) return false;
    if (!std::strchr(line, '\n')) {
        int c;
        while ((c = std::getc(in)) != EOF && c != '\n') {
        }
    }
    return true;
}

} // namespace

HWND GetConsoleWindow() { return HasTerminal() ? kConsoleWindow : nullptr; }

HWND GetDesktopWindow() { return kDesktopWindow; }

BOOL EnumWindows(WNDENUMPROC callback, LPARAM value) {
    if (callback && HasTerminal()) callback(kConsoleWindow, value);
    return TRUE;
}

BOOL IsWindow(HWND window) { return IsPseudoWindow(window) ? TRUE : FALSE; }

BOOL IsIconic(HWND) { return FALSE; }

BOOL IsZoomed(HWND) { return FALSE; }

HMONITOR MonitorFromWindow(HWND, DWORD) { return kMonitor; }

int GetWindowTextW(HWND window, LPWSTR buffer, int size) {
    if (!buffer || size < 1) return 0;
    size_t n = 0;
    if (window == kConsoleWindow) {
        ConsoleStateGuard state;
        n = gConsole.titleLength < static_cast<size_t>(size - 1) ? gConsole.titleLength
                                                                 : static_cast<size_t>(size - 1);
        std::memcpy(buffer, gConsole.title, n * sizeof(WCHAR));
    }
    buffer[n] = 0;
    return static_cast<int>(n);
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
    if (!IsPseudoWindow(window)) return Fail(ERROR_INVALID_HANDLE);
    if (!rect) return Fail(ERROR_INVALID_PARAMETER);
    *rect = ScreenRect();
    return TRUE;
}

BOOL GetClientRect(HWND window, LPRECT rect) { return GetWindowRect(window, rect); }

LONG GetWindowLongW(HWND window, int index) {
    return IsPseudoWindow(window) && index == GWL_STYLE ? WS_VISIBLE | WS_MAXIMIZE | WS_CAPTION : 0;
}

DWORD GetWindowThreadProcessId(HWND window, LPDWORD process) {
    bool known = IsPseudoWindow(window);
    if (process) *process = known ? static_cast<DWORD>(getpid()) : 0;
    return known ? 1 : 0;
}

BOOL GetGUIThreadInfo(DWORD, PGUITHREADINFO info) {
    if (!info || info->cbSize != sizeof(GUITHREADINFO)) return Fail(ERROR_INVALID_PARAMETER);
    std::memset(info, 0, sizeof *info);
    info->cbSize = sizeof(GUITHREADINFO);
    info->hwndActive = GetConsoleWindow();
    info->hwndFocus = info->hwndActive;
    return TRUE;
}

BOOL ShowWindow(HWND window, int) { return IsWindow(window); }

BOOL SetForegroundWindow(HWND window) { return IsWindow(window); }

BOOL RedrawWindow(HWND window, const RECT*, HRGN, UINT) { return IsWindow(window); }

BOOL SetWindowPos(HWND window, HWND, int, int, int, int, UINT) { return IsWindow(window); }

HWND SetActiveWindow(HWND) { return kConsoleWindow; }

LRESULT SendMessageW(HWND, UINT, WPARAM, LPARAM) { return 0; }

LRESULT DispatchMessageW(const MSG*) { return 0; }

BOOL GetMessageW(LPMSG message, HWND, UINT, UINT) {
    if (message) std::memset(message, 0, sizeof *message);
    return 0;
}

HWINEVENTHOOK SetWinEventHook(DWORD, DWORD, HMODULE, WINEVENTPROC, DWORD, DWORD, DWORD) {
    return nullptr;
}

int GetSystemMetrics(int index) {
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN: return ScreenRect().right;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN: return ScreenRect().bottom;
    default: return 0;
    }
}

BOOL SystemParametersInfoW(UINT action, UINT, PVOID data, UINT) {
    switch (action) {
    case SPI_GETWORKAREA:
        if (!data) return Fail(ERROR_INVALID_PARAMETER);
        *static_cast<RECT*>(data) = ScreenRect();
        return TRUE;
    case SPI_GETSCREENSAVEACTIVE:
        if (!data) return Fail(ERROR_INVALID_PARAMETER);
        *static_cast<BOOL*>(data) = FALSE;
        return TRUE;
    case SPI_SETSCREENSAVEACTIVE: return TRUE;
    default: return FALSE;
    }
}

BOOL GetCursorPos(LPPOINT point) {
    if (!point) return Fail(ERROR_INVALID_PARAMETER);
    *point = POINT{0, 0};
    return TRUE;
}

BOOL SetCursorPos(int, int) { return TRUE; }

BOOL ClipCursor(const RECT*) { return TRUE; }

// ---- message boxes --------------------------------------------------------------------------

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
    char body[kTextBytes + 1];
    char title[kCaptionBytes + 1];
    ShownText(text, body, sizeof body);
    ShownText(caption, title, sizeof title);
    const BoxRow& row = kBoxRows[(type & 15) < std::size(kBoxRows) ? type & 15 : 0];
    size_t letters = std::strlen(row.letters);
    size_t preferred = (type >> 8) & 15;
    int answer = row.answers[preferred < letters ? preferred : 0];

    // One box at a time: the terminal can show only one question.
    static pthread_mutex_t boxLock = PTHREAD_MUTEX_INITIALIZER;
    pthread_mutex_lock(&boxLock);
    ConsoleRelease();
    FILE* in = stdin;
    FILE* out = stderr;
    FILE* ttyIn = nullptr;
    FILE* ttyOut = nullptr;
    int tty = ConsoleTtyFd();
    if (tty >= 0) {
        // Two streams on copies of the terminal: one to read, one to write,
        // so that reading and writing never share a stdio buffer.
        int readFd = fcntl(tty, F_DUPFD_CLOEXEC, 3);
        int writeFd = fcntl(tty, F_DUPFD_CLOEXEC, 3);
        if (readFd >= 0) ttyIn = fdopen(readFd, "r");
        if (writeFd >= 0) ttyOut = fdopen(writeFd, "w");
        if (!ttyIn && readFd >= 0) ::close(readFd);
        if (!ttyOut && writeFd >= 0) ::close(writeFd);
        if (ttyIn && ttyOut) {
            // Unbuffered reads take one line from the terminal and leave
            // whatever was typed after it to the console.
            setvbuf(ttyIn, nullptr, _IONBF, 0);
            in = ttyIn;
            out = ttyOut;
        }
    }
    std::fprintf(out, "\n%s%s%s\n%s ", title, title[0] ? ": " : "", body, row.prompt);
    std::fflush(out);
    char line[kLineBytes + 2];
    while (ReadAnswerLine(in, line)) {
        if (line[0] == '\n' || line[0] == '\r') break;
        char c = line[0] >= 'A' && line[0] <= 'Z' ? static_cast<char>(line[0] + 32) : line[0];
        const char* found = c ? std::strchr(row.letters, c) : nullptr;
        if (found) {
            answer = row.answers[found - row.letters];
            break;
        }
        std::fprintf(out, "%s ", row.prompt);
        std::fflush(out);
    }
    if (ttyIn) std::fclose(ttyIn);
    if (ttyOut) std::fclose(ttyOut);
    ConsoleReacquire();
    pthread_mutex_unlock(&boxLock);
    return answer;
}

int MessageBoxA(HWND window, LPCSTR text, LPCSTR caption, UINT type) {
    WCHAR wideText[kTextBytes + 1];
    WCHAR wideCaption[kCaptionBytes + 1];
    auto convert = [](LPCSTR from, WCHAR* to, size_t units) {
        to[0] = 0;
        if (!from) return;
        size_t n = std::strlen(from);
        if (n > units) n = units;
        LastErrorSaver keep;
        int got = n ? MultiByteToWideChar(CP_ACP, 0, from, static_cast<int>(n), to,
                                          static_cast<int>(units))
                    : 0;
        to[got > 0 ? got : 0] = 0;
    };
    convert(text, wideText, kTextBytes);
    convert(caption, wideCaption, kCaptionBytes);
    return MessageBoxW(window, wideText, wideCaption, type);
}
