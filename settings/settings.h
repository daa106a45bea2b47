// The settings file QBK.INI: the 280-byte Settings record that every
// subsystem reads by field, the seven command strings that follow it, and
// the working values the reader copies out of the record.
#pragma once

#include "wintypes.h"

#include <cstddef>

// The record at the start of QBK.INI, laid out exactly as in the file: the
// 16-bit words are little-endian there and are decoded into these fields.
// "Switch" bytes are 0 for No and anything else for Yes. The configuration
// program writes it; the file manager only reads it.
struct Settings {
    WORD wSignature;           // 0: 0x4251, the bytes "QB"
    BYTE bVersion;             // 2: version character, '?' current
    BYTE bUnnamed3;            // 3
    WORD wScreenRows;          // 4: 25..32766 fixed, 0x7FFF AUTO, 0 terminal, else adjustment
    WORD wLogMethod;           // 6: 0 root only, 1 tree only, 2 full disk
    WORD wDateFormat;          // 8: 0 dd-mm-yy ... 5 yyyy-mm-dd
    BYTE bScrollBars;          // 10: 0xB3 line style, 0xB0 block style
    BYTE bPrintHeaders;        // 11: switch
    BYTE bTime12Hour;          // 12: nonzero 12-hour clock
    BYTE bNoLogFilesInRoot;    // 13: 0 log files in the disk root
    BYTE bFileInvokesView;     // 14: switch
    BYTE bSpaceInvertsTag;     // 15: switch
    BYTE bRecycleBin;          // 16: 0 none, 1 delete, 2 prune, 3 both
    BYTE bQuitConfirm;         // 17: switch
    BYTE bLeadingDotStar;      // 18: leading "." as "*."
    BYTE bColumnLines;         // 19: lines between file columns
    BYTE bFixedBar;            // 20: nonzero fixed highlight bar
    BYTE bPruneConfirm;        // 21: 0 "PRUNE", 1 directory name, 2 Y
    BYTE bDateSizeInclusive;   // 22: switch
    BYTE bSkipCopySort;        // 23: switch
    BYTE bBriefExecHeadings;   // 24: switch
    BYTE bHideDirs;            // 25: 0 none, 1 +SH, 2 +J, 3 +SHJ
    BYTE bAtOmitsHistory;      // 26: switch
    BYTE bOverrideAttributes;  // 27: 0 no, 1 +R, 2 +SH, 3 +RSH
    BYTE bRenameProtection;    // 28: 0 none, 1 confirm, 2 attributes, 3 both
    BYTE bHighlightDefaults;   // 29: switch
    BYTE bTrailingStarDot;     // 30: switch
    BYTE bNoEditReadOnly;      // 31: switch
    BYTE bColourNormal;        // 32
    BYTE bColourFrames;        // 33
    BYTE bColourBar;           // 34
    BYTE bThousandsSep;        // 35: ' ', '\'', ',' or '.'
    BYTE bColourGlobal;        // 36
    BYTE bColourSet;           // 37: the configuration program's colour set
    BYTE bColourTagN;          // 38: 0 reads as 0x1F
    BYTE bColourTagG;          // 39: 0 reads as 0x1F
    BYTE bTagColours;          // 40: tag colours in the file window
    BYTE bColourMenu;          // 41: 0 reads as 0x3E
    BYTE bColourHistory;       // 42: 0 reads as 0x3E
    BYTE bRenameKeepsArchive;  // 43: 0 set +A, 2 do not
    BYTE bOption44;            // 44: 0..3
    BYTE bHistoryWrap;         // 45: switch
    BYTE bHistoryOneChar;      // 46: switch
    BYTE bColourDirectory;     // 47: 0 reads as NORMAL
    BYTE bColourVHitO;         // 48: 0 reads as BAR
    BYTE bColourVHitC;         // 49: 0 reads as 0x3F
    BYTE bUnnamed50;           // 50
    BYTE bTabCaseNameOnly;     // 51: switch
    BYTE bNoModeDetection;     // 52: 0 no, 1 yes, 2 no, all character sets
    BYTE bCondensedTree;       // 53: switch (tree indent 2)
    BYTE bSearchSkip;          // 54: 0 page, else a count
    BYTE bRestorePosCtrlFn;    // 55: switch
    BYTE bKeepPosPerDir;       // 56: switch
    BYTE bKeepViewPerDrive;    // 57: switch
    BYTE bEmptyWindowAccess;   // 58: 0 no, 1 remain, 2 enter and remain
    BYTE bSpellSearch;         // 59: switch
    BYTE bSpellPlusMinus;      // 60: switch
    BYTE bSpellLessGreater;    // 61: switch
    BYTE bSpellBrackets;       // 62: switch
    BYTE bUnnamed63;           // 63
    BYTE bAutoRefresh;         // 64: 0 always, 1 no, 2 after a write
    BYTE bRestorePosAltSort;   // 65: switch
    BYTE bNoEmptyTargetPrompt; // 66: 0 ask
    BYTE bShowEditPrompt;      // 67: switch
    BYTE bSearchHitOffset;     // 68: percent; 101 and above read as 0
    BYTE bErrorLogDialog;      // 69: switch
    BYTE bLogRetries;          // 70: switch
    BYTE bWindowSizing;        // 71: 0 proportional, 1 tree fixed, 2 small file window fixed
    BYTE bCopyDonePrompt;      // 72: switch
    BYTE bColourBrowse;        // 73: 0 reads as BAR
    BYTE abReserved74[28];     // 74-101: written as zero
    BYTE bSplitTabRefresh;     // 102: 0 no, 1 current, 2 branch
    BYTE bSplitSortDifferent;  // 103: switch
    BYTE bEbcdic;              // 104: switch
    BYTE bTreespecTab;         // 105: switch
    BYTE bSwapTabCtrlTab;      // 106: switch
    BYTE bCmpIdentical;        // 107: 0 no, 1 date & size, 2 date, 3 size, 4 name
    BYTE bCmpUnique;           // 108: switch
    BYTE bCmpNewer;            // 109: switch
    BYTE bCmpOlder;            // 110: switch
    BYTE bCmpBinary;           // 111: 0 no, 1 same, 2 differ
    BYTE bCmpIgnoreCase;       // 112: 0 case sensitive
    BYTE bCmpRemember;         // 113: 0 compare .. 4 none
    BYTE bStatsPanels;         // 114: 0 none, 1 current, 2 both
    BYTE bHistoryBookmarks;    // 115: switch
    BYTE bErrorTimeout;        // 116: 0 none .. 8 30 minutes
    BYTE bErrorDefault;        // 117: 'C', 'R', 'N', 'S'; 0 reads as 'C'
    BYTE bSearchErrorDefault;  // 118: 'C' or 'R'; 0 reads as 'C'
    BYTE bCmpSize;             // 119: 0 no, 1 differ, 2 smaller, 3 larger
    BYTE bTreeSortNumber;      // 120: nonzero by number
    BYTE bTrailingQExact;      // 121: switch
    BYTE bRightClickTags;      // 122: switch
    BYTE bF5Refresh;           // 123: switch
    BYTE bStampTimezone;       // 124: switch
    BYTE bUnnamed125;          // 125
    WORD wSyntaxLimit;         // 126: megabytes, 0xFFFF none
    BYTE abReserved128[119];   // 128-246: zero; files below '2' hold Editor at 128, Viewer at 183
    BYTE bCtrlViewAtCurrent;   // 247: switch
    BYTE bMenuCloses;          // 248: switch
    BYTE bExecCloses;          // 249: switch
    BYTE bPartialUntag;        // 250: switch
    BYTE bFilePagingLikeDir;   // 251: switch
    BYTE bCopyAttrDefaults;    // 252: bits 0-3 A, 4-5 R, 6-7 E
    BYTE bCtrlAltArrowsTag;    // 253: switch
    BYTE bNoFileColours;       // 254: switch
    BYTE bBookmarksWrap;       // 255: switch
    WORD wScreenCols;          // 256: 80..32766 fixed, 0x7FFF AUTO, 0 terminal, else adjustment
    BYTE bSwapLogKeys;         // 258: switch
    BYTE bRestorePosF3;        // 259: switch
    BYTE bArchiveListFor;      // 260: bit 0 view, 1 alt-view, 2 autoview
    BYTE bNoMatchAccess;       // 261: 0 no, 1 remain, 2 enter and remain
    BYTE bKilo1000;            // 262: nonzero 1000, 0 1024
    BYTE bRefreshOnEnter;      // 263: 0 no, 1 current, 2 branch
    BYTE bIgnoreHour;          // 264: switch
    BYTE bIgnoreTwoSeconds;    // 265: switch
    BYTE bSortAnsi;            // 266: nonzero ANSI, 0 OEM
    BYTE bF2F11Anywhere;       // 267: switch
    BYTE bRefreshOnExit;       // 268: 0 no, 1 current, 2 branch
    BYTE bPathMode;            // 269: 0 full, 1 current, 2 relative
    BYTE bAltCopyRelative;     // 270: switch
    BYTE bUnnamed271;          // 271
    WORD wFileDisplayMode;     // 272: 0 long name .. 3 name
    WORD wSortMethod;          // 274: 0 name .. 12 full
    WORD wSortOrder;           // 276: nonzero descending
    BYTE bDirBypassesSmallFw;  // 278: switch
    BYTE bUnnamed279;          // 279
};
static_assert(sizeof(Settings) == 280);
static_assert(offsetof(Settings, bVersion) == 2 && offsetof(Settings, wScreenRows) == 4);
static_assert(offsetof(Settings, wDateFormat) == 8 && offsetof(Settings, bScrollBars) == 10);
static_assert(offsetof(Settings, bColourNormal) == 32 && offsetof(Settings, bThousandsSep) == 35);
static_assert(offsetof(Settings, bColourMenu) == 41 && offsetof(Settings, bColourVHitC) == 49);
static_assert(offsetof(Settings, bSearchHitOffset) == 68 &&
              offsetof(Settings, bColourBrowse) == 73);
static_assert(offsetof(Settings, bSplitTabRefresh) == 102 &&
              offsetof(Settings, bCmpIdentical) == 107);
static_assert(offsetof(Settings, bErrorTimeout) == 116 &&
              offsetof(Settings, bTreeSortNumber) == 120);
static_assert(offsetof(Settings, wSyntaxLimit) == 126 && offsetof(Settings, abReserved128) == 128);
static_assert(offsetof(Settings, bCtrlViewAtCurrent) == 247 &&
              offsetof(Settings, bCopyAttrDefaults) == 252);
static_assert(offsetof(Settings, wScreenCols) == 256 && offsetof(Settings, bArchiveListFor) == 260);
static_assert(offsetof(Settings, bKilo1000) == 262 && offsetof(Settings, bPathMode) == 269);
static_assert(offsetof(Settings, wFileDisplayMode) == 272 &&
              offsetof(Settings, wSortMethod) == 274);
static_assert(offsetof(Settings, wSortOrder) == 276 &&
              offsetof(Settings, bDirBypassesSmallFw) == 278);

inline constexpr WORD SETTINGS_SIGNATURE = 0x4251;
inline constexpr BYTE SETTINGS_VERSION = '?';
// Bytes of the record in the file; the strings follow it.
inline constexpr size_t SETTINGS_RECORD_BYTES = 280;
// Room of each 8-bit command global: a length byte allows at most 255.
inline constexpr size_t SETTINGS_COMMAND_BYTES = 256;
// Room of the tools folder and of the settings file's path, in units.
inline constexpr size_t SETTINGS_TOOLS_UNITS = 512;
inline constexpr size_t SETTINGS_PATH_UNITS = 1025;

// The one record of the program, read by field.
extern Settings gSettings;

// The commands of QBK.INI as 8-bit text in code page 437, empty when none.
// The command line may fill gEditorCmd and gViewerCmd before the first read;
// such a command wins over the file's for the whole session.
extern char gEditorCmd[SETTINGS_COMMAND_BYTES];
extern char gAltEditorCmd[SETTINGS_COMMAND_BYTES];
extern char gViewerCmd[SETTINGS_COMMAND_BYTES];
extern char gAltViewerCmd[SETTINGS_COMMAND_BYTES];
extern char gCompareCmd[SETTINGS_COMMAND_BYTES];
extern char gAltCompareCmd[SETTINGS_COMMAND_BYTES];
// Set when the editor command asked for one editor for all tagged files.
extern BOOL gSingleInstanceEditor;

// The unshifted-keys switch: '/', ',' and '.' stand for '?', '<' and '>'
// in the hints and keys that name them. Not held in the part of the record
// read so far: 0 until the settings reader sets it.
extern BYTE gUnshiftedKeys;

// The path of the settings file in use; empty until it is located, and
// cleared by whoever wants the next read to locate it again.
extern WCHAR gIniPath[SETTINGS_PATH_UNITS];
// The settings file named on the command line (/QI), empty for none.
extern WCHAR gIniFileOption[SETTINGS_PATH_UNITS];
// Set by the command line when it chose the statistics panels itself, so
// that the settings do not override the choice.
extern BOOL gStatsPanelsFromCommandLine;

// The editor and viewer commands given on the command line (/E, /V): each
// replaces the file's command now and on every later read of the settings.
// The text is 8-bit, cut to the room of the command globals.
void SetCommandLineEditor(const char* command);
void SetCommandLineViewer(const char* command);

// The code page in which the viewer shows OEM text, from the command line
// (/CP:); 0 when none was given, which the screen start makes 1 (OEM).
extern UINT gViewerCodePage;

// 1000 or 1024: "Kilobytes displayed as multiples of".
extern DWORD gKiloUnit;
// The accepted thousands separator: blank, apostrophe, comma or period.
extern char gThousandsSep;

// What the reader copies out of the record for the subsystems that work
// with it (the console session, the windows, the formatting of dates and
// numbers). The pane values, and the file colorization switch, are taken
// only on the first read, so that a later read does not reset the panes.
// Until a file is read they hold what a zero record with the defaults gives.
struct IniWorkingValues {
    WORD screenRows = 43; // fixed rows, 0x7FFF AUTO, 0 the terminal's
    SHORT rowAdjust = 0;  // with screenRows 0: added to the terminal's rows
    WORD screenCols = 96; // fixed columns (96 or more), 0x7FFF AUTO, 0 the terminal's
    SHORT colAdjust = 0;  // with screenCols 0: added to the terminal's columns
    WORD logMethod = 0;
    WORD dateFormat = 0;
    WORD dateExtraWidth = 0; // 2 for the four-digit-year formats 3 to 5, else 0
    BYTE time12Hour = 0;
    BYTE printHeaders = 0;
    WCHAR scrollTrack = 0x2502; // scroll-bar track, thumb and arrows
    WCHAR scrollThumb = 0x2195;
    WCHAR scrollDown = 0x2193;
    WCHAR scrollUp = 0x2191;
    BYTE barMode = 0; // 3 fixed bar, 0 scrolling
    BYTE pruneConfirm = 0;
    BYTE briefExecHeadings = 0;
    BYTE treeSortNumber = 0;
    WORD treeIndent = 3; // 2 condensed, 3 normal
    BYTE sortAnsi[2]{};  // per pane
    BYTE pathMode = 1;   // 1 full, 2 current, 3 relative
    BYTE searchSkip = 0;
    BYTE dirBypassesSmallWindow = 0;
    BYTE tagColours = 0;
    BYTE statsPanels = 0; // 0 none, 1 current, 2 both
    BYTE splitSortDifferent = 0;
    WORD fileDisplayMode[2]{}; // first read only, per pane
    WORD sortMethod[2]{};
    WORD sortOrder[2]{};
    BYTE noFileColours = 0; // first read only
};
extern IniWorkingValues gIniWorking;

// The key the program reads first, 0 for none: set by the first read of a
// file older than version '5' (the key that opens the new settings), which
// also pushes it on the key push-back stack.
extern WORD gIniStartupKey;
inline constexpr WORD INI_STARTUP_KEY_OLD_FILE = 2169;

// Decodes the bytes of a settings file into gSettings and the globals above:
// the record and its upgrades, the strings, the working values and the
// colour table. data holds size bytes (any number; what follows the record
// and its seven strings is ignored), or is null when the file could not be
// opened. firstLoad is nonzero at start-up and 0 when the settings are read
// again after the configuration program. A null, short or unsigned file
// gives the defaults. Every field with a fixed set of values is brought
// into that set, so that a hand-edited or damaged file cannot make a reader
// index outside a table. Strings the bytes do not hold whole are empty, and
// so are those after them; nothing is read past data + size. The commands
// are resolved along the program search, and "#QBTools" is set from the
// tools path of a file of version ':' or later.
void DecodeIniSettings(const BYTE* data, size_t size, int firstLoad);

// Reads the settings file and decodes it with DecodeIniSettings. When
// gIniPath is empty the file is located first (the /QI name through
// LocateFile, else "QBK.INI" through FindProgram) and "#QBIniPath" is set to
// it. A missing, unreadable, short or unsigned file is silent: the defaults
// apply and the program runs.
void ReadIniSettings(int firstLoad);
