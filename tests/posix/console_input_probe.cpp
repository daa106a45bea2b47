// A small program the pseudo-terminal tests run to see the console input
// end to end: it starts the console, sets the input mode it is given, shows
// READY and then writes every record that ReadConsoleInputW returns as one
// line of a report file, until it is ended by a signal.
//
// Usage: console_input_probe REPORT_FILE [INPUT_MODE_HEX]
// Report lines: "kitty=0|1", then per record
//   key d|u vk=%02X sc=%02X ch=%04X st=%04X
//   mouse X,Y b=%08X st=%04X f=%X
//   size WxH
//   focus 0|1
#include "internal/console.h"
#include "windows.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

int gReport = -1;

void Report(const char* text) {
    char line[256];
    size_t n = std::strlen(text);
    if (n > sizeof line - 1) n = sizeof line - 1;
    std::memcpy(line, text, n);
    line[n] = '\n';
    if (::write(gReport, line, n + 1) < 0) _exit(4);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    gReport = ::open(argv[1], O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (gReport < 0) return 2;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!in || !out) {
        Report("no console");
        return 3;
    }
    if (argc > 2) SetConsoleMode(in, static_cast<DWORD>(std::strtoul(argv[2], nullptr, 16)));
    char line[128];
    snprintf(line, sizeof line, "kitty=%d", ConsoleKittyKeyboardActive() ? 1 : 0);
    Report(line);
    DWORD written;
    WriteConsoleW(out, u"READY", 5, &written, nullptr);

    for (;;) {
        INPUT_RECORD r;
        DWORD n = 0;
        if (!ReadConsoleInputW(in, &r, 1, &n) || n != 1) {
            Report("read failed");
            return 5;
        }
        switch (r.EventType) {
        case KEY_EVENT: {
            const KEY_EVENT_RECORD& k = r.Event.KeyEvent;
            snprintf(line, sizeof line, "key %c vk=%02X sc=%02X ch=%04X st=%04X",
                     k.bKeyDown ? 'd' : 'u', unsigned(k.wVirtualKeyCode),
                     unsigned(k.wVirtualScanCode), unsigned(k.uChar.UnicodeChar),
                     unsigned(k.dwControlKeyState));
            break;
        }
        case MOUSE_EVENT: {
            const MOUSE_EVENT_RECORD& m = r.Event.MouseEvent;
            snprintf(line, sizeof line, "mouse %d,%d b=%08X st=%04X f=%X", m.dwMousePosition.X,
                     m.dwMousePosition.Y, unsigned(m.dwButtonState), unsigned(m.dwControlKeyState),
                     unsigned(m.dwEventFlags));
            break;
        }
        case WINDOW_BUFFER_SIZE_EVENT:
            snprintf(line, sizeof line, "size %dx%d", r.Event.WindowBufferSizeEvent.dwSize.X,
                     r.Event.WindowBufferSizeEvent.dwSize.Y);
            break;
        case FOCUS_EVENT:
            snprintf(line, sizeof line, "focus %d", r.Event.FocusEvent.bSetFocus ? 1 : 0);
            break;
        default: snprintf(line, sizeof line, "event %u", unsigned(r.EventType)); break;
        }
        Report(line);
    }
}
