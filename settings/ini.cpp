// Reading QBK.INI: the record and its upgrades from older versions, the
// seven length-prefixed command strings, the defaults of a missing or bad
// file, and the working values and colours taken from the record.
#include "settings/settings.h"

#include "menu/locator.h"
#include "platform/keyboard.h"
#include "settings/colours.h"
#include "settings/folders.h"
#include "settings/paths.h"
#include "settings/settings_files.h"
#include "ui/numbers_dates.h"
#include "windows.h"
#include "remote/remote_drives.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

Settings gSettings;
BYTE gUnshiftedKeys = 0;
char gEditorCmd[SETTINGS_COMMAND_BYTES];
char gAltEditorCmd[SETTINGS_COMMAND_BYTES];
char gViewerCmd[SETTINGS_COMMAND_BYTES];
char gAltViewerCmd[SETTINGS_COMMAND_BYTES];
char gCompareCmd[SETTINGS_COMMAND_BYTES];
char gAltCompareCmd[SETTINGS_COMMAND_BYTES];
BOOL gSingleInstanceEditor;
WCHAR gIniPath[SETTINGS_PATH_UNITS];
WCHAR gIniFileOption[SETTINGS_PATH_UNITS];
BOOL gStatsPanelsFromCommandLine;
DWORD gKiloUnit = 1024;
UINT gViewerCodePage = 0;
char gThousandsSep = ',';
WORD gIniStartupKey;

IniWorkingValues gIniWorking;

namespace {

// The most the file can usefully hold: the record and seven full strings.
constexpr size_t kIniMaxBytes = SETTINGS_RECORD_BYTES + 7 * SETTINGS_COMMAND_BYTES;

// Whether a command global was given on the command line before the first
// read: such a command wins over the file's on every read. The others are
// taken from the file again on each read.
bool gEditorFromCommandLine;
bool gViewerFromCommandLine;

WORD Le16(const BYTE* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

// Copies the record's bytes from the file image, then decodes the 16-bit
// words from their little-endian bytes.
void RecordFromBytes(const BYTE* bytes) {
    std::memcpy(&gSettings, bytes, SETTINGS_RECORD_BYTES);
    gSettings.wSignature = Le16(bytes + 0);
    gSettings.wScreenRows = Le16(bytes + 4);
    gSettings.wLogMethod = Le16(bytes + 6);
    gSettings.wDateFormat = Le16(bytes + 8);
    gSettings.wSyntaxLimit = Le16(bytes + 126);
    gSettings.wScreenCols = Le16(bytes + 256);
    gSettings.wFileDisplayMode = Le16(bytes + 272);
    gSettings.wSortMethod = Le16(bytes + 274);
    gSettings.wSortOrder = Le16(bytes + 276);
}

// The file's bytes after the record, read one string at a time. Once a
// string is not held whole by the file, it and every later one read as
// empty: nothing is taken from past the end.
struct StringReader {
    const BYTE* data;
    size_t size;
    size_t pos;
    bool damaged;

    // out has SETTINGS_COMMAND_BYTES bytes; a length byte allows at most 255.
    void Next(char* out) {
        out[0] = 0;
        if (damaged || pos >= size) {
            damaged = true;
            return;
        }
        size_t n = data[pos];
        if (n > size - pos - 1) {
            damaged = true;
            return;
        }
        std::memcpy(out, data + pos + 1, n);
        out[n] = 0;
        pos += 1 + n;
    }
};

// A zero-terminated string of the old record layout, bounded by its room,
// taken from the file's bytes: the fields these bytes overlap in the current
// layout are brought into range in the record itself.
void OldRecordString(const BYTE* record, size_t offset, size_t room, char* out) {
    const BYTE* p = record + offset;
    size_t n = 0;
    while (n < room && n < SETTINGS_COMMAND_BYTES - 1 && p[n])
        n++;
    std::memcpy(out, p, n);
    out[n] = 0;
}

// The user's editor (VISUAL, EDITOR, "editor", "nano", "vi") as code page
// 437 text; left empty when it does not fit the command's room or holds a
// character the code page lacks: a cut or altered command would start
// something else.
void SetDefaultEditor(char* out) {
    out[0] = 0;
    const char* editor = DefaultEditor();
    if (!editor) return;
    WCHAR wide[SETTINGS_COMMAND_BYTES];
    if (MultiByteToWideChar(CP_UTF8, 0, editor, -1, wide, SETTINGS_COMMAND_BYTES) <= 0) return;
    BOOL lossy = FALSE;
    char oem[SETTINGS_COMMAND_BYTES];
    if (WideCharToMultiByte(CP_OEMCP, 0, wide, -1, oem, SETTINGS_COMMAND_BYTES, nullptr, &lossy) <=
            0 ||
        lossy)
        return;
    std::strcpy(out, oem);
}

void LocateIniFile() { LocateSettingsFile(gIniFileOption, u"QBK.INI", u"#QBIniPath", gIniPath); }

// Reads at most kIniMaxBytes of the file into data; false when it cannot be
// opened or is not a regular file. A fifo, a device or a directory at the
// settings path counts as no file: reading one could wait for ever or never
// end.
bool ReadIniFile(BYTE* data, size_t* size) {
    *size = 0;
    if (!gIniPath[0]) return false;
    // Opening for reading waits on nothing: a fifo or device is only looked at.
    HANDLE h = RdCreateFileW(gIniPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool regular = GetFileInformationByHandle(h, &info) &&
                   !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
    while (regular && *size < kIniMaxBytes) {
        DWORD got = 0;
        if (!ReadFile(h, data + *size, static_cast<DWORD>(kIniMaxBytes - *size), &got, nullptr) ||
            got == 0)
            break;
        *size += got;
    }
    CloseHandle(h);
    return regular;
}

// The fields a file with a wrong signature must not keep.
void ResetBadFileFields() {
    Settings& s = gSettings;
    s.bThousandsSep = ',';
    s.bHistoryWrap = s.bTabCaseNameOnly = s.bKeepViewPerDrive = 0;
    s.bArchiveListFor = 1;
    s.bRecycleBin = 3;
    s.bQuitConfirm = 1;
    s.bHighlightDefaults = 1;
    s.wSyntaxLimit = 0;
    s.bRenameKeepsArchive = s.bOption44 = 0;
    s.bRestorePosCtrlFn = s.bKeepPosPerDir = 0;
    s.bOverrideAttributes = 0;
    s.bRenameProtection = 1;
}

// Empties the commands a file gives, with the single-instance flag and the
// kilobyte unit they come with; an editor or viewer from the command line
// stays.
void ClearFileCommands() {
    if (!gEditorFromCommandLine) {
        gEditorCmd[0] = 0;
        gSingleInstanceEditor = FALSE;
    }
    if (!gViewerFromCommandLine) gViewerCmd[0] = 0;
    gAltEditorCmd[0] = gAltViewerCmd[0] = 0;
    gCompareCmd[0] = gAltCompareCmd[0] = 0;
    gKiloUnit = 1024;
}

// The defaults apply whole: nothing of a file read before stays.
void ApplyDefaults() {
    ClearFileCommands();
    Settings& s = gSettings;
    IniWorkingValues& w = gIniWorking;
    // A size that followed the terminal's becomes a fixed one, without the
    // adjustment an earlier file gave it.
    if (w.screenRows == 0) {
        w.screenRows = 43;
        w.rowAdjust = 0;
    }
    if (w.screenCols == 0) {
        w.screenCols = 96;
        w.colAdjust = 0;
    }
    s.wScreenRows = 43;
    s.wScreenCols = 96;
    s.bColourFrames = 0x1B;
    s.bColourNormal = s.bColourDirectory = 0x1E;
    s.bColourGlobal = 0x1A;
    s.bColourBar = s.bColourBrowse = s.bColourVHitO = 0x70;
    s.bColourTagN = s.bColourTagG = 0x1F;
    s.bColourVHitC = 0x3F;
    s.bColourMenu = s.bColourHistory = 0x3E;
    s.bRenameKeepsArchive = s.bOption44 = 0;
    s.bArchiveListFor = 1;
    s.bRecycleBin = 3;
    s.bQuitConfirm = 1;
    s.bRenameProtection = 1;
    s.bHighlightDefaults = 1;
    s.bHideDirs = 2;
    s.bThousandsSep = ',';
    gThousandsSep = ',';
    s.bCopyAttrDefaults = 2;
    s.bCmpRemember = 0;
    s.bTreespecTab = s.bSwapTabCtrlTab = s.bCmpIdentical = 0;
    s.bCmpUnique = s.bCmpNewer = 1;
    s.bCmpOlder = s.bCmpBinary = 0;
    s.bCmpIgnoreCase = 1;
    s.bErrorTimeout = s.bErrorDefault = s.bSearchErrorDefault = s.bCmpSize = 0;
    s.bSearchHitOffset = 0;
    ColoursFromSettings();
    if (!gEditorCmd[0]) SetDefaultEditor(gEditorCmd);
    std::strcpy(gAltEditorCmd, gEditorCmd);
}

// Screen size words: a fixed size, AUTO (0x7FFF), or anything else a signed
// adjustment of the terminal's size with the size itself 0.
void TakeScreenSize(WORD value, WORD low, WORD* size, SHORT* adjust) {
    if (value >= low && value <= 0x7FFF) {
        *size = value;
        *adjust = 0;
    } else {
        *size = 0;
        *adjust = static_cast<SHORT>(value);
    }
}

void TakeWorkingValues(int firstLoad) {
    const Settings& s = gSettings;
    IniWorkingValues& w = gIniWorking;
    TakeScreenSize(s.wScreenRows, 25, &w.screenRows, &w.rowAdjust);
    TakeScreenSize(s.wScreenCols, 80, &w.screenCols, &w.colAdjust);
    if (w.screenCols != 0 && w.screenCols < 96) w.screenCols = 96;
    w.logMethod = s.wLogMethod;
    w.dateFormat = s.wDateFormat;
    w.dateExtraWidth = s.wDateFormat >= 3 && s.wDateFormat <= 5 ? 2 : 0;
    w.time12Hour = s.bTime12Hour;
    // The date and clock texts everywhere follow the file.
    gDateFormat = w.dateFormat;
    gTwelveHourClock = w.time12Hour;
    if (s.bScrollBars == 0xB0) {
        w.scrollTrack = 0x2591;
        w.scrollThumb = w.scrollDown = w.scrollUp = 0x2593;
    } else {
        w.scrollTrack = 0x2502;
        w.scrollThumb = 0x2195;
        w.scrollDown = 0x2193;
        w.scrollUp = 0x2191;
    }
    w.printHeaders = s.bPrintHeaders;
    w.barMode = s.bFixedBar ? 3 : 0;
    w.pruneConfirm = s.bPruneConfirm;
    w.briefExecHeadings = s.bBriefExecHeadings;
    w.treeIndent = s.bCondensedTree ? 2 : 3;
    w.sortAnsi[0] = w.sortAnsi[1] = s.bSortAnsi;
    w.treeSortNumber = s.bTreeSortNumber;
    w.pathMode = static_cast<BYTE>(s.bPathMode + 1);
    w.searchSkip = s.bSearchSkip;
    w.dirBypassesSmallWindow = s.bDirBypassesSmallFw;
    w.tagColours = s.bTagColours;
    BYTE sep = s.bThousandsSep;
    if (sep != ' ' && sep != '\'' && sep != ',' && sep != '.') sep = ',';
    gSettings.bThousandsSep = sep;
    gThousandsSep = static_cast<char>(sep);
    if (firstLoad) {
        w.fileDisplayMode[0] = w.fileDisplayMode[1] = s.wFileDisplayMode;
        w.sortMethod[0] = w.sortMethod[1] = s.wSortMethod;
        w.sortOrder[0] = w.sortOrder[1] = s.wSortOrder;
        w.noFileColours = s.bNoFileColours;
    }
}

// The tools folder from the record's string: expanded when it holds '%', the
// data folder when empty; exported as "#QBTools" without a trailing
// backslash (a root keeps its own).
void TakeToolsPath(const char* text) {
    WCHAR path[FULL_PATH_UNITS];
    path[0] = 0;
    if (text[0]) {
        WCHAR wide[FULL_PATH_UNITS];
        if (MultiByteToWideChar(CP_OEMCP, 0, text, -1, wide, FULL_PATH_UNITS) > 0) {
            if (!wcschr(wide, '%'))
                wcscpy(path, wide);
            else if (MakeFullPath(path, wide) < 0)
                path[0] = 0;
        }
    }
    if (!path[0]) {
        if (wcslen(gDataDir) + 1 > FULL_PATH_UNITS) return;
        wcscpy(path, gDataDir);
    }
    size_t n = wcslen(path);
    bool root = n <= 1 || (n == 3 && path[1] == ':');
    if (!root && path[n - 1] == '\\') path[n - 1] = 0;
    if (!path[0]) return;
    SetEnvironmentVariableW(u"#QBTools", path);
    // The short form of a path is the path itself here; one that does not
    // fit the folder's room is not kept cut.
    DWORD shortLength = RdGetShortPathNameW(path, gToolsDir, SETTINGS_TOOLS_UNITS);
    if (shortLength == 0 || shortLength >= SETTINGS_TOOLS_UNITS) {
        if (wcslen(path) < SETTINGS_TOOLS_UNITS) wcscpy(gToolsDir, path);
    }
}

// Cuts "[SINGLE]" (and the unit before it) off the editor command; true
// when it was there.
bool CutSingleInstance(char* cmd) {
    char* at = std::strstr(cmd, "[SINGLE]");
    if (!at) return false;
    *(at > cmd ? at - 1 : at) = 0;
    return true;
}

// A compare command is given the two files as parameters when it names
// neither "%2" nor "%4": in place of "[SFN]" and what follows it, else at
// its end.
void AddCompareParameters(char* cmd) {
    if (!cmd[0] || std::strstr(cmd, "%2") || std::strstr(cmd, "%4")) return;
    char* sfn = std::strstr(cmd, "[SFN]");
    size_t room = SETTINGS_COMMAND_BYTES;
    if (sfn) {
        size_t at = static_cast<size_t>(sfn - cmd);
        if (at + 6 <= room) std::strcpy(sfn, "%2 %3");
        return;
    }
    size_t n = std::strlen(cmd);
    if (n + 7 <= room) std::strcpy(cmd + n, " %4 %5");
}

// Fields whose value picks one of a few meanings. A hand-edited or damaged
// file may hold anything there, and their readers index tables with them, so
// a value past the last meaning reads as the first, as the configuration
// program reads the fields it checks.
struct ByteRange {
    BYTE Settings::*field;
    BYTE highest;
};
constexpr ByteRange kByteRanges[] = {
    {&Settings::bRecycleBin, 3},         // 16
    {&Settings::bPruneConfirm, 2},       // 21
    {&Settings::bHideDirs, 3},           // 25
    {&Settings::bOverrideAttributes, 3}, // 27
    {&Settings::bRenameProtection, 3},   // 28
    {&Settings::bRenameKeepsArchive, 2}, // 43
    {&Settings::bOption44, 3},           // 44
    {&Settings::bNoModeDetection, 2},    // 52
    {&Settings::bEmptyWindowAccess, 2},  // 58
    {&Settings::bSearchHitOffset, 100},  // 68: a percentage
    {&Settings::bErrorLogDialog, 2},     // 69
    {&Settings::bLogRetries, 1},         // 70
    {&Settings::bWindowSizing, 2},       // 71
    {&Settings::bSplitTabRefresh, 2},    // 102
    {&Settings::bCmpIdentical, 4},       // 107
    {&Settings::bCmpBinary, 2},          // 111
    {&Settings::bCmpRemember, 4},        // 113
    {&Settings::bStatsPanels, 2},        // 114
    {&Settings::bErrorTimeout, 8},       // 116
    {&Settings::bCmpSize, 3},            // 119
    {&Settings::bNoMatchAccess, 2},      // 261
    {&Settings::bRefreshOnEnter, 2},     // 263
    {&Settings::bRefreshOnExit, 2},      // 268
    {&Settings::bPathMode, 2},           // 269
};

// Sort methods 5 and 6 are unused and read as by name, like the values past 12.
bool IsSortMethod(WORD method) {
    return method <= 12 && method != 5 && method != 6;
}

// Brings every field with a fixed set of values into that set; a record the
// configuration program wrote is unchanged by it.
void KeepFieldsInRange() {
    Settings& s = gSettings;
    for (const ByteRange& r : kByteRanges)
        if (s.*r.field > r.highest) s.*r.field = 0;
    if (s.wLogMethod > 2) s.wLogMethod = 0;
    if (s.wDateFormat > 5) s.wDateFormat = 0;
    if (s.wFileDisplayMode > 3) s.wFileDisplayMode = 0;
    if (!IsSortMethod(s.wSortMethod)) s.wSortMethod = 0;
    // Automatic refresh past its last value keeps to "after a write".
    if (s.bAutoRefresh > 2) s.bAutoRefresh = 2;
    // Empty file windows are never more accessible than windows without
    // matches.
    if (s.bEmptyWindowAccess > s.bNoMatchAccess) s.bEmptyWindowAccess = s.bNoMatchAccess;
    // The three copy attribute defaults: "A" in bits 0-3 and "R" in bits 4-5
    // take 0 to 2, the encryption default in bits 6-7 too.
    BYTE a = s.bCopyAttrDefaults & 0x0F;
    BYTE r = (s.bCopyAttrDefaults >> 4) & 0x03;
    BYTE e = s.bCopyAttrDefaults >> 6;
    if (a > 2) a = 0;
    if (r > 2) r = 0;
    if (e > 2) e = 0;
    s.bCopyAttrDefaults = static_cast<BYTE>(e << 6 | r << 4 | a);
    // An error dialog answer of 0 is Cancel.
    if (!s.bErrorDefault) s.bErrorDefault = 'C';
    if (!s.bSearchErrorDefault) s.bSearchErrorDefault = 'C';
}

// The first key the program reads opens the new settings.
void PushStartupKey(WORD key) {
    gIniStartupKey = key;
    KbdStackKey(key);
}

} // namespace

namespace {

void TakeCommandLineCommand(char* target, bool* fromCommandLine, const char* command) {
    const char* text = command ? command : "";
    const size_t length = std::min(std::strlen(text), SETTINGS_COMMAND_BYTES - 1);
    std::memcpy(target, text, length);
    target[length] = 0;
    *fromCommandLine = length != 0;
}

} // namespace

void SetCommandLineEditor(const char* command) {
    TakeCommandLineCommand(gEditorCmd, &gEditorFromCommandLine, command);
}

void SetCommandLineViewer(const char* command) {
    TakeCommandLineCommand(gViewerCmd, &gViewerFromCommandLine, command);
}

void DecodeIniSettings(const BYTE* data, size_t size, int firstLoad) {
    if (firstLoad) {
        gEditorFromCommandLine = gEditorCmd[0] != 0;
        gViewerFromCommandLine = gViewerCmd[0] != 0;
        gIniStartupKey = 0;
    }
    if (!data) {
        ApplyDefaults();
        KeepFieldsInRange();
        return;
    }
    // A record the file does not hold whole is a damaged file: what it does
    // hold stays, the rest is zero, and it is treated as a bad one.
    BYTE record[SETTINGS_RECORD_BYTES] = {};
    std::memcpy(record, data, size < SETTINGS_RECORD_BYTES ? size : SETTINGS_RECORD_BYTES);
    RecordFromBytes(record);
    if (size < SETTINGS_RECORD_BYTES || gSettings.wSignature != SETTINGS_SIGNATURE) {
        ResetBadFileFields();
        ApplyDefaults();
        // The bytes a bad file keeps may be anything.
        KeepFieldsInRange();
        return;
    }

    Settings& s = gSettings;
    const BYTE v = s.bVersion;
    // Before the working values are taken from them.
    KeepFieldsInRange();
    TakeWorkingValues(firstLoad);

    // A command from the command line wins; otherwise each read takes the
    // file's command again, so that a change made in the configuration
    // program is seen.
    ClearFileCommands();

    char scratch[SETTINGS_COMMAND_BYTES];
    if (v <= '1') {
        OldRecordString(record, 128, 183 - 128, scratch);
        if (!gEditorCmd[0]) std::strcpy(gEditorCmd, scratch);
        OldRecordString(record, 183, SETTINGS_RECORD_BYTES - 183, scratch);
        if (!gViewerCmd[0]) std::strcpy(gViewerCmd, scratch);
    } else {
        StringReader strings{data + SETTINGS_RECORD_BYTES, size - SETTINGS_RECORD_BYTES, 0, false};
        strings.Next(scratch);
        if (!gEditorCmd[0]) std::strcpy(gEditorCmd, scratch);
        strings.Next(gAltEditorCmd);
        strings.Next(scratch);
        if (!gViewerCmd[0]) std::strcpy(gViewerCmd, scratch);
        strings.Next(gAltViewerCmd);
        if (v > '4') {
            strings.Next(gCompareCmd);
            strings.Next(gAltCompareCmd);
            gKiloUnit = s.bKilo1000 ? 1000 : 1024;
        }
        if (v > '9') {
            strings.Next(scratch);
            TakeToolsPath(scratch);
        }
    }

    if (v > ':' && !gStatsPanelsFromCommandLine) gIniWorking.statsPanels = s.bStatsPanels;
    if (v > '<') gIniWorking.splitSortDifferent = s.bSplitSortDifferent;

    // "[SINGLE]" asks for one editor for all tagged files; an editor that is
    // nothing but the marker falls back to the user's editor.
    if (CutSingleInstance(gEditorCmd)) gSingleInstanceEditor = TRUE;
    if (!gEditorCmd[0]) SetDefaultEditor(gEditorCmd);
    if (gViewerCmd[0]) ResolveProgramCmd(gViewerCmd, SETTINGS_COMMAND_BYTES);
    if (gAltViewerCmd[0]) ResolveProgramCmd(gAltViewerCmd, SETTINGS_COMMAND_BYTES);
    if (gEditorCmd[0]) ResolveProgramCmd(gEditorCmd, SETTINGS_COMMAND_BYTES);
    if (!gAltEditorCmd[0]) {
        std::strcpy(gAltEditorCmd, gEditorCmd);
        if (gAltEditorCmd[0]) ResolveProgramCmd(gAltEditorCmd, SETTINGS_COMMAND_BYTES);
    }

    // Fields an older version did not have get the values the current one
    // starts with.
    if (v <= '2') {
        s.bColourDirectory = s.bColourNormal;
        s.bColourBrowse = s.bColourVHitO = s.bColourBar;
        s.bColourVHitC = 0x3F;
    }
    if (v < '4') s.bCopyAttrDefaults = 2;
    if (v < '9') s.bErrorTimeout = s.bErrorDefault = s.bSearchErrorDefault = 0;
    if (v <= ';') {
        s.bTreespecTab = s.bSwapTabCtrlTab = s.bCmpIdentical = 0;
        s.bCmpUnique = s.bCmpNewer = 1;
        s.bCmpOlder = s.bCmpBinary = 0;
        s.bCmpIgnoreCase = 1;
        s.bCmpRemember = s.bCmpSize = 0;
        s.bSearchHitOffset = 0;
    }
    if (v < '>') s.bSearchHitOffset = 0;
    if (v < '?') s.wSyntaxLimit = 0;
    if (!s.bColourMenu) s.bColourMenu = 0x3E;
    if (!s.bColourHistory) s.bColourHistory = 0x3E;
    // The upgrades leave the error-dialog answers at 0.
    KeepFieldsInRange();
    ColoursFromSettings();

    // The compare gets the two files as parameters before its program is
    // resolved, so that options after "[SFN]" give way to them.
    for (char* cmd : {gCompareCmd, gAltCompareCmd}) {
        if (!cmd[0]) continue;
        AddCompareParameters(cmd);
        ResolveProgramCmd(cmd, SETTINGS_COMMAND_BYTES);
    }

    if (firstLoad && v < '5') PushStartupKey(INI_STARTUP_KEY_OLD_FILE);
}

void ReadIniSettings(int firstLoad) {
    if (!gIniPath[0]) LocateIniFile();
    BYTE data[kIniMaxBytes];
    size_t size = 0;
    if (!ReadIniFile(data, &size)) {
        DecodeIniSettings(nullptr, 0, firstLoad);
        return;
    }
    DecodeIniSettings(data, size, firstLoad);
}
