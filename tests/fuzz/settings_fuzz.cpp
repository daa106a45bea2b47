// libFuzzer target for the settings reader: arbitrary bytes are decoded as a
// settings file at start-up, again as after the configuration program, and
// as a missing file, and every value the reader hands to the rest of the
// program must lie within its documented range.
//
// Input: the bytes of the file, nothing else, so that any QBK.INI is a seed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "settings/colours.h"
#include "settings/folders.h"
#include "settings/settings.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    fprintf(stderr, "settings_fuzz: %s\n", what);
    abort();
}

void Require(bool holds, const char* what) {
    if (!holds) Fail(what);
}

// The command globals and the tools folder start filled with a pattern, so
// that a string written without its terminator is seen.
void FillBeyondTheStart(char* text, size_t room) {
    memset(text, 0xA5, room);
    text[0] = 0;
}

void StartState() {
    gSettings = Settings{};
    gIniWorking = IniWorkingValues{};
    for (char* cmd :
         {gEditorCmd, gAltEditorCmd, gViewerCmd, gAltViewerCmd, gCompareCmd, gAltCompareCmd})
        FillBeyondTheStart(cmd, SETTINGS_COMMAND_BYTES);
    for (size_t i = 0; i < SETTINGS_TOOLS_UNITS; i++)
        gToolsDir[i] = 0xA5A5;
    gToolsDir[0] = 0;
    gSingleInstanceEditor = FALSE;
    gStatsPanelsFromCommandLine = FALSE;
    gKiloUnit = 1024;
    gThousandsSep = ',';
    gIniStartupKey = 0;
}

bool Terminated(const char* text, size_t room) {
    return memchr(text, 0, room) != nullptr;
}

bool TerminatedWide(const WCHAR* text, size_t room) {
    for (size_t i = 0; i < room; i++)
        if (!text[i]) return true;
    return false;
}

bool IsSortMethod(unsigned method) {
    return method <= 12 && method != 5 && method != 6;
}

// The fields with a fixed set of values, from the field table of the file.
struct Highest {
    BYTE Settings::*field;
    BYTE highest;
    const char* what;
};
constexpr Highest kHighest[] = {
    {&Settings::bRecycleBin, 3, "byte 16 out of range"},
    {&Settings::bPruneConfirm, 2, "byte 21 out of range"},
    {&Settings::bHideDirs, 3, "byte 25 out of range"},
    {&Settings::bOverrideAttributes, 3, "byte 27 out of range"},
    {&Settings::bRenameProtection, 3, "byte 28 out of range"},
    {&Settings::bRenameKeepsArchive, 2, "byte 43 out of range"},
    {&Settings::bOption44, 3, "byte 44 out of range"},
    {&Settings::bNoModeDetection, 2, "byte 52 out of range"},
    {&Settings::bEmptyWindowAccess, 2, "byte 58 out of range"},
    {&Settings::bAutoRefresh, 2, "byte 64 out of range"},
    {&Settings::bSearchHitOffset, 100, "byte 68 out of range"},
    {&Settings::bErrorLogDialog, 2, "byte 69 out of range"},
    {&Settings::bLogRetries, 1, "byte 70 out of range"},
    {&Settings::bWindowSizing, 2, "byte 71 out of range"},
    {&Settings::bSplitTabRefresh, 2, "byte 102 out of range"},
    {&Settings::bCmpIdentical, 4, "byte 107 out of range"},
    {&Settings::bCmpBinary, 2, "byte 111 out of range"},
    {&Settings::bCmpRemember, 4, "byte 113 out of range"},
    {&Settings::bStatsPanels, 2, "byte 114 out of range"},
    {&Settings::bErrorTimeout, 8, "byte 116 out of range"},
    {&Settings::bCmpSize, 3, "byte 119 out of range"},
    {&Settings::bNoMatchAccess, 2, "byte 261 out of range"},
    {&Settings::bRefreshOnEnter, 2, "byte 263 out of range"},
    {&Settings::bRefreshOnExit, 2, "byte 268 out of range"},
    {&Settings::bPathMode, 2, "byte 269 out of range"},
};

void CheckRecord() {
    const Settings& s = gSettings;
    for (const Highest& h : kHighest)
        Require(s.*h.field <= h.highest, h.what);
    Require(s.wLogMethod <= 2, "logging method out of range");
    Require(s.wDateFormat <= 5, "date format out of range");
    Require(s.wFileDisplayMode <= 3, "display mode out of range");
    Require(IsSortMethod(s.wSortMethod), "sort method out of range");
    Require(s.bEmptyWindowAccess <= s.bNoMatchAccess, "byte 58 above byte 261");
    Require((s.bCopyAttrDefaults & 0x0F) <= 2, "A attribute default out of range");
    Require(((s.bCopyAttrDefaults >> 4) & 3) <= 2, "R attribute default out of range");
    Require((s.bCopyAttrDefaults >> 6) <= 2, "encryption default out of range");
    Require(s.bErrorDefault != 0 && s.bSearchErrorDefault != 0, "an error dialog answer of 0");
    Require(s.bColourMenu != 0 && s.bColourHistory != 0, "a MENU or HISTORY colour of 0");
    const BYTE sep = s.bThousandsSep;
    Require(sep == ' ' || sep == '\'' || sep == ',' || sep == '.', "thousands separator");
}

// Each slot holds the record byte it is taken from, or that byte's default.
void CheckColours() {
    const Settings& s = gSettings;
    const BYTE* t = gColourTable;
    const BYTE normal = s.bColourNormal, bar = s.bColourBar, frames = s.bColourFrames;
    auto orDefault = [](BYTE value, BYTE fallback) { return value ? value : fallback; };
    Require(t[COLOUR_NORMAL] == normal && t[COLOUR_DMNORMAL] == normal &&
                t[COLOUR_NORMAL_COPY] == normal && t[COLOUR_KEYLETTER] == normal,
            "NORMAL slots");
    Require(t[COLOUR_FRAMES] == frames && t[COLOUR_FRAMES_COPY] == frames, "FRAMES slots");
    Require(t[COLOUR_BAR] == bar, "BAR slot");
    Require(t[COLOUR_GLOBAL] == s.bColourGlobal && t[COLOUR_DMGLOBAL] == s.bColourGlobal,
            "GLOBAL slots");
    Require(t[COLOUR_TAGN] == orDefault(s.bColourTagN, 0x1F), "TAGN slot");
    Require(t[COLOUR_TAGG] == orDefault(s.bColourTagG, 0x1F), "TAGG slot");
    Require(t[COLOUR_MENU] == s.bColourMenu, "MENU slot");
    Require(t[COLOUR_DIRECTORY] == orDefault(s.bColourDirectory, normal), "DIRECTORY slot");
    Require(t[COLOUR_BROWSE] == orDefault(s.bColourBrowse, bar), "BROWSE slot");
    Require(t[COLOUR_VHITO] == orDefault(s.bColourVHitO, bar), "VHITO slot");
    Require(t[COLOUR_VHITC] == orDefault(s.bColourVHitC, 0x3F), "VHITC slot");
    const BYTE background = normal & 0xF0;
    Require(t[COLOUR_DIMMED] == (background | (background == 0x80 ? 0 : 8)), "dimmed slot");
}

void CheckWorkingValues() {
    const IniWorkingValues& w = gIniWorking;
    Require(w.screenRows == 0 || (w.screenRows >= 25 && w.screenRows <= 0x7FFF), "rows");
    Require(w.screenRows == 0 || w.rowAdjust == 0, "a row adjustment beside fixed rows");
    Require(w.screenCols == 0 || (w.screenCols >= 96 && w.screenCols <= 0x7FFF), "columns");
    Require(w.screenCols == 0 || w.colAdjust == 0, "a column adjustment beside fixed columns");
    Require(w.logMethod <= 2, "working logging method");
    Require(w.dateFormat <= 5, "working date format");
    Require(w.dateExtraWidth == (w.dateFormat >= 3 ? 2 : 0), "date width");
    const bool block = w.scrollTrack == 0x2591 && w.scrollThumb == 0x2593 &&
                       w.scrollDown == 0x2593 && w.scrollUp == 0x2593;
    const bool line = w.scrollTrack == 0x2502 && w.scrollThumb == 0x2195 &&
                      w.scrollDown == 0x2193 && w.scrollUp == 0x2191;
    Require(block || line, "scroll-bar characters");
    Require(w.barMode == 0 || w.barMode == 3, "bar mode");
    Require(w.pruneConfirm <= 2, "working prune confirmation");
    Require(w.treeIndent == 2 || w.treeIndent == 3, "tree indent");
    Require(w.pathMode >= 1 && w.pathMode <= 3, "path mode");
    Require(w.statsPanels <= 2, "statistics panels");
    for (int pane = 0; pane < 2; pane++) {
        Require(w.fileDisplayMode[pane] <= 3, "working display mode");
        Require(IsSortMethod(w.sortMethod[pane]), "working sort method");
    }
    Require(gKiloUnit == 1000 || gKiloUnit == 1024, "kilobyte unit");
    Require(static_cast<BYTE>(gThousandsSep) == gSettings.bThousandsSep,
            "thousands separator differs from the record's");
    Require(gIniStartupKey == 0 || gIniStartupKey == INI_STARTUP_KEY_OLD_FILE, "start-up key");
}

void CheckStrings() {
    for (const char* cmd :
         {gEditorCmd, gAltEditorCmd, gViewerCmd, gAltViewerCmd, gCompareCmd, gAltCompareCmd})
        Require(Terminated(cmd, SETTINGS_COMMAND_BYTES), "a command without its terminator");
    Require(TerminatedWide(gToolsDir, SETTINGS_TOOLS_UNITS), "the tools folder unterminated");
}

// What a valid file of an older version must have been upgraded to.
void CheckUpgrades(BYTE version) {
    const Settings& s = gSettings;
    if (version <= '1') Require(!gAltViewerCmd[0], "an Alt-Viewer from a file below version 2");
    if (version <= '2')
        Require(s.bColourDirectory == s.bColourNormal && s.bColourBrowse == s.bColourBar &&
                    s.bColourVHitO == s.bColourBar && s.bColourVHitC == 0x3F,
                "colours of a file below version 3");
    if (version < '4') Require(s.bCopyAttrDefaults == 2, "byte 252 of a file below version 4");
    if (version <= '4')
        Require(!gCompareCmd[0] && !gAltCompareCmd[0] && gKiloUnit == 1024,
                "compare commands or kilobyte unit of a file below version 5");
    if (version < '9')
        Require(s.bErrorTimeout == 0 && s.bErrorDefault == 'C' && s.bSearchErrorDefault == 'C',
                "error dialog of a file below version 9");
    if (version <= ';') {
        const BYTE compare[] = {0, 0, 0, 1, 1, 0, 0, 1, 0};
        const BYTE* record = reinterpret_cast<const BYTE*>(&s);
        Require(memcmp(record + 105, compare, sizeof compare) == 0 && s.bCmpSize == 0,
                "compare defaults of a file up to version ;");
    }
    if (version < '>') Require(s.bSearchHitOffset == 0, "search hit of a file below version >");
    if (version < '?') Require(s.wSyntaxLimit == 0, "syntax limit of a file below version ?");
}

// The defaults that a file that is not used leaves.
void CheckDefaults() {
    const Settings& s = gSettings;
    Require(s.wScreenRows == 43 && s.wScreenCols == 96, "default screen size");
    Require(s.bRecycleBin == 3 && s.bQuitConfirm == 1 && s.bRenameProtection == 1 &&
                s.bHighlightDefaults == 1 && s.bHideDirs == 2 && s.bArchiveListFor == 1 &&
                s.bCopyAttrDefaults == 2 && s.bThousandsSep == ',',
            "default switches");
    Require(s.bColourNormal == 0x1E && s.bColourFrames == 0x1B && s.bColourBar == 0x70 &&
                s.bColourMenu == 0x3E,
            "default colours");
}

void CheckAll() {
    CheckRecord();
    CheckColours();
    CheckWorkingValues();
    CheckStrings();
}

// A search path holding one program, "qview" (the viewer of the seed files),
// so that commands naming it take the branch that finds a program, and a
// folder that is removed when the fuzzer ends.
char gProgramFolder[] = "/tmp/quilb-settings-fuzz-XXXXXX";

void RemoveProgramFolder() {
    std::string program = std::string(gProgramFolder) + "/qview";
    unlink(program.c_str());
    rmdir(gProgramFolder);
}

void PutProgramOnPath() {
    if (!mkdtemp(gProgramFolder)) Fail("no folder for the program on PATH");
    atexit(RemoveProgramFolder);
    std::string program = std::string(gProgramFolder) + "/qview";
    int fd = open(program.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0755);
    if (fd < 0) Fail("cannot make the program on PATH");
    const char script[] = "#!/bin/sh\n";
    if (write(fd, script, sizeof script - 1) != static_cast<ssize_t>(sizeof script - 1))
        Fail("cannot write the program on PATH");
    close(fd);
    setenv("PATH", gProgramFolder, 1);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Commands are looked up along a search path with one program on it, and
    // an empty tools path takes a data folder that is not there.
    PutProgramOnPath();
    setenv("VISUAL", "fuzz-editor", 1);
    const char16_t data[] = u"C:\\quilb-fuzz-data\\";
    memcpy(gDataDir, data, sizeof data);
    // The program on PATH is found: a viewer naming it becomes its full path.
    BYTE image[SETTINGS_RECORD_BYTES + 16] = {0x51, 0x42, '?'};
    const char strings[] = "\0\0\5qview\0\0\0\0";
    memcpy(image + SETTINGS_RECORD_BYTES, strings, sizeof strings - 1);
    StartState();
    DecodeIniSettings(image, SETTINGS_RECORD_BYTES + sizeof strings - 1, 1);
    const size_t n = strlen(gViewerCmd);
    Require(n > 5 && strcmp(gViewerCmd + n - 5, "qview") == 0 && gViewerCmd[n - 6] == '\\',
            "the program on PATH is not found");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    StartState();
    const bool valid = size >= SETTINGS_RECORD_BYTES && data[0] == 0x51 && data[1] == 0x42;
    const BYTE version = size > 2 ? data[2] : 0;

    DecodeIniSettings(data, size, 1);
    CheckAll();
    if (valid)
        CheckUpgrades(version);
    else
        CheckDefaults();
    Require(gIniStartupKey == (valid && version < '5' ? INI_STARTUP_KEY_OLD_FILE : 0),
            "start-up key of the first read");
    const IniWorkingValues first = gIniWorking;

    // Read again, as after the configuration program: the panes stay.
    DecodeIniSettings(data, size, 0);
    CheckAll();
    for (int pane = 0; pane < 2; pane++)
        Require(gIniWorking.fileDisplayMode[pane] == first.fileDisplayMode[pane] &&
                    gIniWorking.sortMethod[pane] == first.sortMethod[pane] &&
                    gIniWorking.sortOrder[pane] == first.sortOrder[pane],
                "a re-read changed the panes");
    Require(gIniWorking.noFileColours == first.noFileColours, "a re-read changed colorization");

    // The file is gone at the next read: the record keeps its bytes, in range.
    DecodeIniSettings(nullptr, 0, 0);
    CheckAll();
    CheckDefaults();
    return 0;
}
