// The hand-over of the terminal to a child program and its return.
#include "menu/run_child.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "remote/remote_drives.h"
#include "settings/clock.h"

#include <algorithm>
#include <cstdlib>

int RunChild(DWORD showScreen, DWORD clearScreen, DWORD holdClock, DWORD pause, WCHAR* commandLine,
             const WCHAR* directory) {
    (void)holdClock;
    // The clock thread draws and reads keys: it rests while the child has
    // the terminal.
    const bool clockRan = StatusThreadRunning() != FALSE;
    if (clockRan) StatusThreadControl(0);
    const int rows = gScreenRows;
    const int columns = gScreenCols;
    WCHAR oldDirectory[1026] = {};
    bool changed = false;
    if (directory && directory[0] && GetCurrentDirectoryW(1025, oldDirectory))
        changed = RdSetCurrentDirectoryW(directory) != FALSE;

    // Only a running screen session has a screen to hand over.
    const bool session = gConIn != nullptr;
    ScreenCell* saved = nullptr;
    WCHAR oldTitle[1026] = {};
    if (session) {
        saved = ScrSaveRect(0, 0, gScreenMaxRow, gScreenMaxCol);
        ConsoleSetWindowPos(1);
        ConsoleAltScreen(FALSE);
        if (clearScreen) WriteConsoleSeq("\x1b[H\x1b[2J");
        if (showScreen) ConsoleCursorVisible(TRUE);
        GetConsoleTitleW(oldTitle, 1025);
        WCHAR title[1025];
        const size_t n = std::min<size_t>(wcslen(commandLine), 1024);
        std::copy(commandLine, commandLine + n, title);
        title[n] = 0;
        SetConsoleTitleW(title);
    }

    const int result = ShellRunCommand(commandLine, pause ? TRUE : FALSE);

    if (session) {
        SetConsoleTitleW(oldTitle);
        ConsoleSetWindowPos(0);
        ConsoleAltScreen(TRUE);
        ConsoleResize(rows, columns, 0, 0);
        if (saved) {
            if (gScreenRows == rows && gScreenCols == columns)
                ScrRestoreRect(0, 0, gScreenMaxRow, gScreenMaxCol, saved);
            else
                std::free(saved);
        }
        ScrSetCursorShape(0);
        KbdSetInputMode();
    }
    if (changed) RdSetCurrentDirectoryW(oldDirectory);
    if (clockRan) StatusThreadControl(1);
    return result;
}
