// A small program the pseudo-terminal tests run to see the logged-volumes
// dialog end to end: the console session as the real start-up opens it, a
// drive of the drive-letter file logged, then a loop in which 'd' opens
// the dialog with a given file and reports what it returned and what is
// logged afterwards, and 'x' ends the program.
//
// Usage: qlog_probe REPORT_FILE DRIVE_LETTER QLOG_FILE (a POSIX path)
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "qposix_path.h"
#include "settings/colours.h"
#include "settings/qlog_dialog.h"
#include "settings/quit.h"
#include "settings/settings.h"
#include "tree/logging.h"
#include "tree/name_mask.h"
#include "tree/tree_records.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

int gReport = -1;

void Report(const char* text) {
    if (::write(gReport, text, strlen(text)) < 0) std::_Exit(4);
}

void Draw() {
    ScrClearArea(0, 0, gScreenMaxRow, gScreenMaxCol, 0x07);
    char line[64];
    snprintf(line, sizeof line, "READY %d disk(s)", int(gDiskCount));
    ScrPutStr(0, 0, line, 0x07);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    gReport = ::open(argv[1], O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (gReport < 0) return 2;
    WCHAR file[QLOG_NAME_UNITS];
    if (PathFromPosix(argv[3], file, QLOG_NAME_UNITS) < 0) return 2;
    PlatformStartup();
    InstallFatalNewHandler();
    ReadIniSettings(1);
    ColoursFromSettings();
    InstallTreePathSeam();
    StartScreenSession(SCREEN_SIZE_TERMINAL, SCREEN_SIZE_TERMINAL);
    KbdOpen(TRUE);
    const int logged = LogDrive(argv[2][0], FALSE, FALSE, TRUE);
    char line[160];
    snprintf(line, sizeof line, "logged %d files %u\n", logged, unsigned(pdiFirst ? pdiFirst->dwFiles : 0));
    Report(line);
    QlogPaneSwitches switches{};
    Draw();
    for (;;) {
        const KeyCode key = KbdGetKey(FALSE, FALSE);
        if (key == 'x') {
            EndScreenSession();
            return 0;
        }
        if (key != 'd') continue;
        const int result = QlogDialog(&switches, file, FALSE);
        DWORD files = 0;
        DiskInfo* d = pdiFirst;
        for (WORD n = 0; n < gDiskCount && d; n++, d = d->pdiNext) files += d->dwFiles;
        snprintf(line, sizeof line, "dialog %d disks %d files %u\n", result, int(gDiskCount), unsigned(files));
        Report(line);
        Draw();
    }
}
