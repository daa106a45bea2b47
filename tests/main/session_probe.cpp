// A small program the pseudo-terminal tests run to see the file manager's
// console session end to end, as the start-up and shut-down of the real
// program use it: platform start-up, the settings, the screen session, the
// key reader; then a loop that reports every key with the screen's size and
// redraws after a size change, asks the quit question on 'q' and makes an
// allocation fail on 'f'; the clock thread runs meanwhile. 'b' starts a
// long operation that only polls for an interrupt, as a log does, and asks
// the log question when the clock thread reports Esc. 'l' logs drive F of
// the drives file whole, each directory entry read after the delay given
// (as on a slow disk, so that the log lasts until Esc stops it), and 'n'
// logs it at normal speed; both report the log's result and what it holds.
//
// Usage: session_probe REPORT_FILE [READDIR_DELAY_MICROSECONDS]
#include "internal/sys.h"
#include "main/drive_list.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "settings/clock.h"
#include "settings/colours.h"
#include "settings/quit.h"
#include "settings/settings.h"
#include "tree/filter.h"
#include "tree/log_state.h"
#include "tree/logging.h"
#include "tree/tree_records.h"
#include "ui/error_dialog.h"
#include "ui/progress.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

int gReport = -1;

void Report(const char* text) {
    if (::write(gReport, text, strlen(text)) < 0) std::_Exit(4);
}

// The screen: its size on row 0 and a mark on each command line.
void Draw() {
    ScrClearArea(0, 0, gScreenMaxRow, gScreenMaxCol, 0x07);
    char line[64];
    snprintf(line, sizeof line, "READY %ux%u", unsigned(gScreenRows), unsigned(gScreenCols));
    ScrPutStr(0, 0, line, 0x07);
    ScrPutStr(gMessageRow, 0, "MESSAGE-LINE", 0x07);
    ScrPutStr(gHintRow, 0, "HINT-LINE", 0x07);
    ScrPutStr(gBottomRow, 0, "BOTTOM-LINE", 0x07);
}

// Logs drive F whole with each directory entry read after delay
// microseconds, and reports "log RESULT disks=N dirs=N files=N".
void LogFixture(unsigned delay) {
    gLogMode = LOG_FULL_DISK;
    gIniWorking.logMethod = LOG_FULL_DISK;
    QSysSetCallDelay(QSYS_READDIR, delay);
    const int result = LogDrive('F', TRUE, FALSE, TRUE);
    QSysClearDelays();
    const DiskInfo* disk = FindVolume('F');
    char line[96];
    snprintf(line, sizeof line, "log %d disks=%u dirs=%u files=%u\n", result, unsigned(gDiskCount),
             disk ? unsigned(disk->dwDirEntries) : 0u, disk ? unsigned(disk->dwFiles) : 0u);
    Report(line);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    gReport = ::open(argv[1], O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (gReport < 0) return 2;
    if (argc > 2 && std::strcmp(argv[2], "search") == 0) {
        // The window search alone, with an hour between its tries: only a
        // search that gives up at once ends soon.
        PlatformStartup();
        Report(FindOwnConsoleWindow(3600000) ? "window\n" : "no window\n");
        return 0;
    }
    const unsigned readDelay = argc > 2 ? unsigned(std::strtoul(argv[2], nullptr, 10)) : 0;
    PlatformStartup();
    InstallFatalNewHandler();
    ReadIniSettings(1);
    ColoursFromSettings();
    StartScreenSession(SCREEN_SIZE_TERMINAL, SCREEN_SIZE_TERMINAL);
    KbdOpen(TRUE);
    InitFilterSlots();
    BuildDriveList(0);
    // The clock thread draws the time and follows the terminal's size.
    StatusThreadControl(1);
    Draw();
    for (;;) {
        DWORD flags = 0;
        const KeyCode key = KbdGetKeyEx(TRUE, &flags);
        if (key == 0) continue;
        char line[64];
        snprintf(line, sizeof line, "%d %u %u %u\n", key, unsigned(gScreenRows),
                 unsigned(gScreenCols), unsigned(gBottomRow));
        Report(line);
        if (key == KC_RESIZED) {
            Draw();
        } else if (key == 'q') {
            if (ConfirmQuit(1)) {
                EndScreenSession();
                return 0;
            }
            ScrPutStr(1, 0, "STILL RUNNING", 0x07);
        } else if (key == 'b') {
            // Busy without reading the keyboard: only the clock thread can
            // see Esc. A minute at most, so that a lost Esc ends the probe.
            SetBusy(1);
            for (int i = 0; i < 6000 && !gInterruptRequested; i++) Sleep(10);
            const bool interrupted = gInterruptRequested != 0;
            const int answer = interrupted ? PromptLogOption(FALSE) : 0;
            SetBusy(0);
            snprintf(line, sizeof line, "log-option %d %d\n", int(interrupted), answer);
            Report(line);
        } else if (key == 'l' || key == 'n') {
            LogFixture(key == 'l' ? readDelay : 0);
        } else if (key == 'f') {
            CheckedAllocFailAt(1);
            void* block = CHECKED_MALLOC(64, "Qprobe");
            ScrPutStr(1, 0, block ? "ALLOCATED" : "NO BLOCK", 0x07);
        }
    }
}
