// A small program the pseudo-terminal tests run to see the key reader end to
// end: it lays the screen out for its terminal, opens the key reader, shows
// READY and writes the code of every key the window loops' reader returns
// as one decimal line of a report file, until it reads 'q'.
//
// Usage: platform_key_probe REPORT_FILE
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const int report = ::open(argv[1], O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (report < 0) return 2;
    gConOut = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!gConOut) return 3;
    InitBoxChars();
    ConsoleResize(SCREEN_SIZE_TERMINAL, SCREEN_SIZE_TERMINAL, 1, 0);
    KbdOpen(TRUE);
    ScrClearArea(0, 0, gScreenMaxRow, gScreenMaxCol, 0x07);
    ScrPutStr(0, 0, "READY", 0x07);
    for (;;) {
        DWORD flags = 0;
        const KeyCode key = KbdGetKeyEx(TRUE, &flags);
        if (key == 0) continue;
        char line[32];
        const int n = snprintf(line, sizeof line, "%d\n", key);
        if (::write(report, line, size_t(n)) != n) return 4;
        if (key == 'q') return 0;
    }
}
