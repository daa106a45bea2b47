// The command line of the file manager: the pre-scan that runs before
// anything is set up, the option parser that turns the argument vector into
// one record without touching any global, and the step that stores each
// switch of that record where the code that reads it looks for it. The
// start-up switches that belong to no other module live here as well.
#pragma once

#include "windows.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

// On at start; the option /NOAPI clears both. On, a file copy (and a move)
// goes through the layer's whole-file copy; off, through the copy engine's
// own buffered read and write loop.
extern DWORD gSystemCopy;
extern DWORD gSystemMove;

// The alternative key assignment (/AK): the key reader and the windows
// follow it.
extern DWORD gAltKeyMode;
// Alt-F7 does not maximise and the Alt menus show "F7 Zoom" without its
// click region (/NOMAX).
extern DWORD gNoMaximise;
// Key logging: 0 off, 1 every key into qkeys.log (/KBR), 2 the same with the
// second key-log switch (/KBRZ).
extern DWORD gKeyLogOption;
// The progress display shows no elapsed time and no data rate (/QP).
extern DWORD gProgressNoRate;
// The file window's delete command also accepts W, which washes the files
// (/QQ7).
extern DWORD gWashOnDelete;
// Default path mode of the Alt copy, move and mirror commands: 1 full,
// 2 current, 3 relative (/PMF, /PMC, /PMR).
extern BYTE gAltPathMode;
// The size the screen session is asked for at start: rows and columns,
// STARTUP_SIZE_UNSET when no option chose one (the settings' size then),
// 65535 rows for the largest size, 32767 for the terminal's own, 0 (a last
// item "MAX" of /ROWS: or /COLS: without a number) for the terminal's size.
inline constexpr int STARTUP_SIZE_UNSET = -1;
inline constexpr int STARTUP_SIZE_LARGEST = 65535;
extern int gStartupRows;
extern int gStartupCols;

// Room of the texts the options carry, terminators included.
inline constexpr size_t STARTUP_COMMAND_BYTES = 256; // /E, /V
inline constexpr size_t STARTUP_TITLE_UNITS = 128;   // each /T text
inline constexpr size_t STARTUP_TITLE_ITEMS = 8;
inline constexpr size_t STARTUP_TITLE_TEXTS = 2;
inline constexpr size_t STARTUP_MACRO_BYTES = 260; // /K and what follows it
inline constexpr size_t STARTUP_QLOG_UNITS = 261;  // /QV

// What the pre-scan finds, before anything else runs.
struct StartupPrescan {
    bool usage = false;          // print the usage text and exit with status 2
    bool trace = false;          // /DEB, exact case: the numbered start-up trace
    bool restoreLastDir = false; // /QD: start in the last run's current directory
    bool loadBookmarks = false;  // /QM: load the last run's bookmarks
    std::u16string iniFile;      // /QIfile as typed (empty: none)
    std::u16string colourFile;   // /QCfile as typed (empty: none)
    std::u16string argsText;     // every argument, each preceded by a blank
    // The messages of the deprecated options, in order, each printed without
    // a line feed and followed by a wait for one key.
    std::vector<std::string> deprecated;
};

// Scans argv[1..argc-1]. A first argument that begins with "?", "/?", "/H" or
// "/h" asks for the usage text. Pure: nothing outside the record changes.
StartupPrescan PrescanArguments(int argc, const WCHAR* const* argv);

// One sort order the options change: the key (0 to 12) and the descending
// switch, each only when an option gave it.
struct StartupSortChange {
    std::optional<BYTE> key;
    std::optional<bool> descending;
};

// The console title's layout as the /T options build it.
struct StartupTitle {
    std::string items;                 // item letters in order, at most 8
    DWORD flags = 0;                   // TITLE_FLAG_* of the console session
    std::vector<std::u16string> texts; // at most 2, each at most 127 units
};

struct StartupOptions {
    // Texts for standard output, in order, each with its own line feed
    // (invalid options, /API, /APIT).
    std::vector<std::string> messages;

    // Drives and paths in command-line order: trailing blanks cut, a leading
    // drive letter upper-cased, %NAME% references expanded. An entry that
    // stands for the current drive (one holding "." that does not begin with
    // a letter) is flagged; the caller puts the current drive's letter in
    // its place.
    std::vector<std::u16string> entries;
    std::vector<bool> entryNeedsCurrentDrive;
    // The initial file filter: "*.*" when none was given, else the filter
    // arguments joined with ","; one holding ",", " " or ";" is appended in
    // double quotes. With /QF and a non-empty filter history, the history's
    // newest text stands in for "*.*".
    std::u16string filter = u"*.*";

    bool logOptionGiven = false;         // /L1 to /L9, /LF, /LT
    int logMode = -1;                    // the log mode after the arguments; -1 unchanged
    int depthLimit = 65535;              // /L2 to /L9; 65535 none
    bool quietLog = false;               // /LQ
    bool singleThreadLog = false;        // /LS
    bool treeSpecStart = false;          // /QT
    bool firstFilterFromHistory = false; // /QF
    bool noLogListOff = false;           // /QN
    int keyLog = 0;                      // 0, 1 /KBR, 2 /KBRZ
    std::u16string qlogFile;             // /QV, at most 260 units
    bool qlogFileGiven = false;
    std::string macroKeys; // /K in code page 437, at most 259 bytes
    bool macroGiven = false;

    // Screen size: see gStartupRows; lists of Alt-F9 and Alt-F8.
    int startRows = STARTUP_SIZE_UNSET;
    int startCols = STARTUP_SIZE_UNSET;
    std::vector<WORD> rowList; // at most SIZE_ROW_LIST_MAX
    std::vector<WORD> colList; // at most SIZE_COL_LIST_MAX
    std::optional<SHORT> maxRowAdjust;
    std::optional<SHORT> maxColAdjust;
    bool noMaximise = false; // /NOMAX

    bool beepsOff = false;        // /B
    bool mouseOff = false;        // /M
    bool noRestoreScreen = false; // /Y
    bool noNewConsole = false;    // /Y, /NC

    std::optional<std::string> editorCmd; // /E in Windows-1252, at most 255 bytes
    std::optional<std::string> viewerCmd; // /V likewise
    StartupTitle title;

    bool noSystemCopy = false;           // /NOAPI
    BYTE pathMode = 0;                   // /PMF 1, /PMC 2, /PMR 3; 0 unchanged
    bool altKeyMode = false;             // /AK
    bool progressNoRate = false;         // /QP
    int qaap = 0;                        // 0 off, 1 /QB1, 2 /QB
    bool washOnDelete = false;           // /QQ7
    std::optional<DWORD> viewerCodePage; // /CP:

    StartupSortChange fileSort;           // /S.., /OD, /OA
    StartupSortChange dirSort;            // /SD.., /ODD, /ODA
    std::optional<bool> treeByNumber;     // /STM on, /STN off
    std::optional<bool> splitSortDiffers; // /SSD on, /SSS off
};

// What the parser asks of the world, so that it stays a pure function.
struct StartupEnvironment {
    // The value of an environment variable, nothing when it is not set
    // (a /T text that begins with "%").
    std::function<std::optional<std::u16string>(const std::u16string&)> lookup;
    // The text with its %NAME% references expanded (drive and path
    // arguments).
    std::function<std::u16string(const std::u16string&)> expand;
    // The newest entry of the filter history without its mark character,
    // nothing when the history is empty (/QF). May be empty.
    std::function<std::optional<std::u16string>()> newestFilter;
};

// The process's environment: EnvGetW and ExpandEnvVars; no filter history
// yet, so /QF keeps "*.*".
StartupEnvironment ProcessStartupEnvironment();

// Parses argv[1..argc-1] from left to right: options, filters, drives and
// paths; /K ends the list. Nothing outside the record changes.
StartupOptions ParseStartupOptions(int argc, const WCHAR* const* argv,
                                   const StartupEnvironment& environment);

// Stores the switches of the record where their owners read them: the
// console session's switches, title and maximised-size adjustments, the log
// mode and depth limit (the caller keeps gLogMode's earlier value to put it
// back after the start-up log), quiet and single-threaded logging, the
// default sort orders of both panes (call after InitSortOrders), the tree
// and split sort switches, the editor and viewer commands, the viewer's code
// page, the no-log list, the /QV file, the QAAP switches, the start-up size
// and the Alt-F9 and Alt-F8 lists, the switches above, and the /K keys
// (handed to LoadMacro). The entries, the filter, /QT and the pre-scan's
// switches are left to the caller.
void ApplyStartupOptions(const StartupOptions& options);
