// Start-up and shut-down of the file manager. The services come up in a
// fixed order because each needs the ones before it: the settings before
// the no-log list and the session directory, the options before the colours
// and the screen, the screen before anything is logged.
#include "main/startup.h"

#include "archive/archiver_defs.h"
#include "compare/vur_colours.h"
#include "main/drive_list.h"
#include "main/log_dialogs.h"
#include "main/statistics.h"
#include "main/tree_window.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "menu/app_menu.h"
#include "menu/macros.h"
#include "menu/qaap.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "qposix_path.h"
#include "settings/clock.h"
#include "settings/colours.h"
#include "settings/nolog.h"
#include "settings/path_lists.h"
#include "settings/paths.h"
#include "settings/qlog.h"
#include "settings/quit.h"
#include "settings/session_dir.h"
#include "settings/settings.h"
#include "tree/branch_links.h"
#include "tree/filter.h"
#include "tree/filter_dialog.h"
#include "tree/log_state.h"
#include "tree/logging.h"
#include "tree/read_tree.h"
#include "tree/regex.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "ui/dest_prompts.h"
#include "ui/error_reporting.h"
#include "ui/line_editor.h"

#include <cstdlib>
#include <optional>
#include <cstring>

namespace {

// History lists start-up reads: the directory picker's typed paths (the
// tree-spec history of /QT) and the filter texts (/QF).
constexpr WORD kTreeSpecHistory = 4;
constexpr WORD kFilterHistory = 16;
// Internal keys: redraw the tree window; switch panes.
constexpr KeyCode kRedrawTree = KC_INTERNAL + 23;
constexpr KeyCode kSwitchPanes = KC_INTERNAL + 27;
// The quit keys that leave the calling shell in the current directory.
constexpr KeyCode kCtrlQ = KC_CTRL + 'Q';
constexpr KeyCode kAltQ = KC_ALT + 'Q';

bool gTrace = false;
ArchiverDef* gArchiverDefs = nullptr;

std::string Utf8(const std::u16string& text) {
    std::string out(text.size() * 3 + 1, '\0');
    const SSIZE_T n = Utf16ToUtf8(text.c_str(), SSIZE_T(text.size()), out.data(), out.size());
    out.resize(n > 0 ? size_t(n) : 0);
    return out;
}

void Print(const std::string& text) {
    printf("%s", text.c_str());
    fflush(stdout);
}

// A numbered trace line, written as a line of its own.
void TraceLine(const char* text) {
    if (gTrace) Print(std::string(text) + "\n");
}

void WaitKey() {
    fflush(stdout);
    _getch();
}

// name made a full path into out (SETTINGS_PATH_UNITS); as typed when it
// cannot be.
void FullPathInto(WCHAR* out, const std::u16string& name) {
    WCHAR full[FULL_PATH_UNITS];
    const WCHAR* source = MakeFullPath(full, name.c_str()) >= 0 && full[0] ? full : name.c_str();
    size_t n = 0;
    for (; source[n] && n + 1 < SETTINGS_PATH_UNITS; n++)
        out[n] = source[n];
    out[n] = 0;
}

bool Exists(const std::u16string& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsLetter(WCHAR c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

WCHAR Upper(WCHAR c) {
    return c >= u'a' && c <= u'z' ? WCHAR(c - 32) : c;
}

// The current pane's disk and tree position after a path was logged on it.
void KeepPathForPane(const std::u16string& path, DWORD top, WORD yBar) {
    if (!pdiCurrent) return;
    const WORD pane = gCurrentPane;
    pdiCurrent->dwTreeTop[pane] = top;
    pdiCurrent->yBar[pane] = yBar;
    WCHAR* saved = pdiCurrent->wszSavedPath[pane];
    const size_t room = sizeof pdiCurrent->wszSavedPath[pane] / sizeof(WCHAR);
    size_t n = 0;
    for (; n < path.size() && n + 1 < room; n++)
        saved[n] = path[n];
    saved[n] = 0;
}

// Makes the logged disk of letter current at its root; false when it is
// not logged.
bool TakeLoggedDisk(WCHAR letter) {
    DiskInfo* disk = FindVolume(letter);
    if (!disk) return false;
    pdiCurrent = disk;
    psiCurrent = disk->psiRoot;
    return true;
}

// Logs one command-line entry: its drive (taken when logged already), then
// the path when it is one. /L2 to /L9 log a drive whole, down to their
// depth.
void LogEntry(const std::u16string& entry, WCHAR currentDrive) {
    WCHAR letter = currentDrive;
    std::u16string path;
    if (!entry.empty() && entry[0] == u'\\') {
        path = std::u16string(1, currentDrive) + u":" + entry;
    } else if (entry.size() >= 2 && entry[1] == u':') {
        letter = Upper(entry[0]);
        if (entry.size() >= 3 && entry[2] == u'\\') path = entry;
    } else if (entry.size() == 1) {
        letter = Upper(entry[0]);
    }
    if (!TakeLoggedDisk(letter)) {
        const WORD mode = gLogMode;
        if (gLogDepthLimit != LOG_NO_DEPTH_LIMIT && path.empty()) gLogMode = LOG_FULL_DISK;
        LogDrive(letter, FALSE, FALSE, FALSE);
        gLogMode = mode;
        if (!TakeLoggedDisk(letter)) return;
    }
    if (!path.empty()) {
        DWORD top = 0;
        WORD yBar = 0;
        if (SubdirInfo* dir = LogPath(path.c_str(), &top, &yBar)) {
            psiCurrent = dir;
            KeepPathForPane(path, top, yBar);
        }
    }
    // A bare root whose files were never read gets them now.
    const bool bareRoot =
        path.size() == 3 || (entry.size() == 3 && entry[1] == u':' && entry[2] == u'\\');
    if (bareRoot && pdiCurrent && pdiCurrent->psiRoot && !pdiCurrent->psiRoot->bLogged)
        qReadDir(pdiCurrent, pdiCurrent->psiRoot);
}

// Item 4 after the screen start: the entries logged, the first one last;
// /QT's path (or the first entry) current; the log mode of the options
// ended.
void LogStartupEntries(const StartupOptions& options, bool restoreLastDir, WORD logModeBefore,
                       WCHAR currentDrive) {
    std::vector<std::u16string> entries;
    for (size_t i = 0; i < options.entries.size(); i++) {
        const bool onCurrent =
            i < options.entryNeedsCurrentDrive.size() && options.entryNeedsCurrentDrive[i];
        entries.push_back(onCurrent ? std::u16string(1, currentDrive) : options.entries[i]);
    }
    std::u16string treeSpecPath;
    if (options.treeSpecStart) {
        if (const WCHAR* newest = HistoryEntry(kTreeSpecHistory, 0)) {
            WCHAR full[FULL_PATH_UNITS];
            if (MakeFullPath(full, newest) >= 0 && full[0] && Exists(full)) {
                treeSpecPath = full;
                entries.push_back(treeSpecPath);
            } else {
                char text[80];
                snprintf(text, sizeof text, "Invalid drive specified on invocation (/QT) [%c:]",
                         newest[0] < 0x80 ? char(newest[0]) : '?');
                ShowError(0, text);
            }
        }
    }
    if (entries.empty()) {
        WCHAR current[FULL_PATH_UNITS];
        const DWORD n = GetCurrentDirectoryW(FULL_PATH_UNITS, current);
        if (n > 3 && n < FULL_PATH_UNITS) {
            entries.push_back(current);
            if (!options.logOptionGiven) gLogMode = LOG_ROOT_ONLY;
        } else {
            entries.push_back(std::u16string(1, n > 0 && n < FULL_PATH_UNITS && IsLetter(current[0])
                                                    ? Upper(current[0])
                                                    : currentDrive));
        }
    }
    entries = StartupLogOrder(std::move(entries));
    if (restoreLastDir && gLastPath[0]) {
        LogEntry(std::u16string(1, Upper(gLastPath[0])), currentDrive);
        LogEntry(gLastPath, currentDrive);
    } else {
        for (const std::u16string& entry : entries)
            LogEntry(entry, currentDrive);
    }
    if (!treeSpecPath.empty()) {
        if (TakeLoggedDisk(Upper(treeSpecPath[0]))) {
            DWORD top = 0;
            WORD yBar = 0;
            if (SubdirInfo* dir = LogPath(treeSpecPath.c_str(), &top, &yBar)) {
                psiCurrent = dir;
                KeepPathForPane(treeSpecPath, top, yBar);
            }
        }
    } else if (options.treeSpecStart && pdiCurrent) {
        psiCurrent = pdiCurrent->psiRoot;
    }
    if (pdiCurrent) {
        KbdStackKey(kRedrawTree);
        showtree();
    }
    if (!options.logOptionGiven) gLogMode = logModeBefore;
    if (gLogDepthLimit != LOG_NO_DEPTH_LIMIT) {
        gLogDepthLimit = LOG_NO_DEPTH_LIMIT;
        gLogMode = logModeBefore;
    }
    // Nothing could be logged: the log dialog, and when it logs nothing
    // either, the quit question.
    while (gDiskCount == 0) {
        LogDiskDialog(1, FALSE, 0);
        if (gDiskCount != 0) break;
        if (ConfirmQuit(1)) {
            EndScreenSession();
            std::exit(0);
        }
    }
}

} // namespace

std::string ArchiverDefsMessage(int status, const WCHAR* path) {
    if (status == ARCHIVER_DEFS_OK || status == ARCHIVER_DEFS_NO_FILE) return "";
    std::string text =
        "Error [" + std::to_string(status) +
        "] loading ARCHIVER.BB2 : its archivers will be disabled (7-Zip still works)\n";
    text += "[" + Utf8(path ? path : u"") + "] " +
            (status == ARCHIVER_DEFS_CANNOT_OPEN ? "cannot be opened"
                                                 : "is damaged or lists no archivers") +
            "\n";
    text += "Fix or delete it - please see README.TXT\n\n";
    text += "Press [Enter] to continue...\n\n";
    return text;
}

std::vector<std::u16string> StartupLogOrder(std::vector<std::u16string> entries) {
    if (entries.size() >= 2) {
        std::u16string first = std::move(entries.front());
        entries.erase(entries.begin());
        entries.push_back(std::move(first));
    }
    return entries;
}

KeyCode StartupSequence(int argc, WCHAR** argv, StartupOptions* optionsOut) {
    // 0. The pre-scan, before anything is set up.
    const StartupPrescan scan = PrescanArguments(argc, argv);
    if (scan.usage) {
        ShowUsage();
        fflush(stdout);
        std::exit(2);
    }
    for (const std::string& message : scan.deprecated) {
        Print(message);
        WaitKey();
    }
    gTrace = scan.trace;
    // The same switch makes a tree row without a directory stop with a dump.
    gDebugSwitch = scan.trace ? TRUE : FALSE;
    if (gTrace) Print("\n0. Command line args:" + Utf8(scan.argsText));

    // 1. The environment, with the current directory in its short form.
    WCHAR startDir[MAX_PATH];
    const DWORD startLength = GetCurrentDirectoryW(MAX_PATH, startDir);
    if (startLength > 0 && startLength < MAX_PATH) GetShortPathNameW(startDir, startDir, MAX_PATH);
    TraceLine("\n1. Initializing environment...");
    PlatformStartup();
    InstallFatalNewHandler();
    for (int pane = 0; pane < 2; pane++)
        gPaneOrder[pane] = &gFileOrder[pane];

    // 2. The settings.
    TraceLine("2. Loading configuration file...");
    if (!scan.iniFile.empty()) FullPathInto(gIniFileOption, scan.iniFile);
    if (!scan.colourFile.empty()) FullPathInto(gColourFileOption, scan.colourFile);
    ReadIniSettings(1);
    InitSortOrders();
    gFileDisplayFormat = FileDisplayFormatFromSetting(gIniWorking.fileDisplayMode[0]);

    // 3. The never-log list and regular expressions.
    TraceLine("3. Loading QNOLOG.INI...");
    LoadNoLogList();
    Pcre2Init();
    InitFilterSlots();

    // 4. The archiver definitions: without them start-up goes on.
    if (gTrace) Print("4. Loading ARCHIVER.BB2");
    int status = ARCHIVER_DEFS_OK;
    const WCHAR* defsPath = nullptr;
    gArchiverDefs = LoadArchiverDefs(&status, &defsPath);
    const std::string defsMessage = ArchiverDefsMessage(status, defsPath);
    if (!defsMessage.empty()) {
        Print(defsMessage);
        WaitKey();
    }

    // 5. The drive list, which also names the current drive.
    const int currentLetter = BuildDriveList(0);
    const WCHAR currentDrive = currentLetter ? WCHAR(currentLetter) : u'C';

    // 6. to 8. The session directory, the histories, the menu file.
    TraceLine("\n5. Setting QTMP...");
    SetupSessionTemp();
    TraceLine("6. Loading QBK.HST...");
    HistLoad(1);
    gSessionEndWork.saveHistories = [](const WCHAR* currentDirectory) {
        HistSave(1, currentDirectory, 0, 0, 0);
    };
    LoadVurColors();
    TraceLine("7. Locating QBK.QAM...");
    MenuGetFileName();

    // 9. The command line.
    TraceLine("8. Parsing command line...");
    const WORD logModeBefore = gLogMode;
    StartupEnvironment environment = ProcessStartupEnvironment();
    environment.newestFilter = []() -> std::optional<std::u16string> {
        if (const WCHAR* newest = HistoryEntry(kFilterHistory, 0)) return std::u16string(newest);
        return std::nullopt;
    };
    StartupOptions options = ParseStartupOptions(argc, argv, environment);
    for (const std::string& message : options.messages)
        Print(message);
    // Also hands the /K keys to the macro loader.
    ApplyStartupOptions(options);

    // 10. The colours.
    TraceLine("9. Loading QCOLORS.INI...");
    LoadColours();

    // 11. The screen.
    if (gTrace) {
        TraceLine("10. About to configure console...");
        TraceLine(ConsoleWindowsTerminal() ? "11. Windows terminal detected"
                                           : "11. Windows terminal NOT detected");
        TraceLine("Press any key");
        WaitKey();
    }
    // A size the command line chose; else the terminal's own.
    auto chosen = [](int size) { return size == STARTUP_SIZE_UNSET ? SCREEN_SIZE_TERMINAL : size; };
    StartScreenSession(chosen(gStartupRows), chosen(gStartupCols));
    ScrSetCursorShape(0);
    KbdOpen(TRUE);

    // 12. The panel, the clock, the key log, the companion, the filters.
    ShowStatsPanel(1);
    ScrSetColor(3, gColourTable[COLOUR_NORMAL]);
    StatusThreadControl(1);
    if (options.keyLog) KeyLogMacroRecord(KEYLOG_OPEN, 0, DWORD(options.keyLog), nullptr);
    if (gQaapOn) QaapStatus(1, '-', '@', '-', 0);
    InitFilterSlots();

    // 13. The window state.
    InitWindowState(gIniWorking.dirBypassesSmallWindow ? FALSE : TRUE);

    // 14. A logged-volume file named or found; with split screen on the
    // loop is made to switch panes once it runs.
    KeyCode startKey = 0;
    // A file named on the command line that does not exist loads nothing,
    // not even the default file.
    const bool named = gQlogCommandLineFile[0] != 0;
    if (named ? Exists(gQlogCommandLineFile)
              : Exists(u"TEMP.QLOG") || Exists(QlogSettingsFolderFile())) {
        QlogPaneSwitches switches = {};
        QlogLoad(&switches, nullptr, 1);
        if (gSplitScreen) {
            const int pushes = gCurrentPane == 1 ? 3 : 2;
            for (int i = 0; i < pushes; i++)
                KbdStackKey(kSwitchPanes);
        }
    }
    SetCurrentPane(0);

    // 15. The filter and the command-line drives and paths.
    if (options.filter != u"*.*") FilterDialog(options.filter.c_str(), -1, FALSE);
    SaveDefaultSortOrders();
    LogStartupEntries(options, scan.restoreLastDir, logModeBefore, currentDrive);

    // 16. The process stands in the current disk's root.
    if (pdiCurrent) {
        const WCHAR root[] = {WCHAR(pdiCurrent->cDrive), u':', u'\\', 0};
        SetCurrentDirectoryW(root);
    }
    if (optionsOut) *optionsOut = std::move(options);
    return startKey;
}

void ShutdownSequence(KeyCode quitKey) {
    StatusThreadControl(0);
    CleanupSessionTemp();
    FreeArchiverDefs(gArchiverDefs);
    gArchiverDefs = nullptr;
    if (gQaapOn) QaapStatus(2, '-', 'Q', '-', 0);
    std::u16string lastPath;
    if (pdiCurrent) {
        if (psiCurrent && psiCurrent->pszFullName) lastPath = psiCurrent->pszFullName;
        ReleaseDisk(pdiCurrent);
    }
    KeyLogMacroRecord(KEYLOG_CLOSE, 0, 0, nullptr);
    if (MacroRecordingActive()) KeyLogMacroRecord(KEYLOG_END_RECORDING, 0, 0, nullptr);
    HistSave(1, lastPath.empty() ? nullptr : lastPath.c_str(), quitKey == kCtrlQ, quitKey != kCtrlQ,
             quitKey == kAltQ);
    VolumePathMemo(2, nullptr, nullptr);
    VolumePathMemoAlt(2, nullptr, nullptr);
    HistFreeAll();
    EndScreenSession();
    std::exit(0);
}
