// The colour table: one console attribute byte (foreground + 16 x
// background) per screen element, filled from the colour bytes of the
// settings record and then from the colour file QCOLORS.INI, with the
// file-colour rules and attribute colours that file adds, the colour of a
// file window row, and the black-on-white alternate set.
#pragma once

#include "platform/keyboard.h"
#include "settings/settings.h"
#include "wintypes.h"

// Slots of gColourTable.
enum ColourSlot : int {
    COLOUR_MENU = 0,         // the application menu
    COLOUR_VHITC = 1,        // the current search hit in the viewer
    COLOUR_VHITO = 2,        // the other search hits in the viewer
    COLOUR_DIRECTORY = 3,    // the directory window
    COLOUR_TAGG = 4,         // tags in the branch, showall and global displays
    COLOUR_TAGN = 5,         // tags
    COLOUR_NORMAL_COPY = 6,  // copy of NORMAL
    COLOUR_BROWSE = 7,       // the F2 browse window
    COLOUR_BAR = 8,          // the highlight bar
    COLOUR_DIMMED = 9,       // NORMAL's background with a grey (or black) foreground
    COLOUR_DMGLOBAL = 10,    // branch, showall and global window in directory mode
    COLOUR_GLOBAL = 11,      // branch, showall and global file window
    COLOUR_FRAMES = 12,      // frames and command-line text
    COLOUR_DMNORMAL = 13,    // the normal file window in directory mode
    COLOUR_NORMAL = 14,      // the normal file window
    COLOUR_FRAMES_COPY = 15, // copy of FRAMES
    COLOUR_KEYLETTER = 16,   // key letters; starts as a copy of NORMAL
    COLOUR_SLOTS = 17
};

extern BYTE gColourTable[COLOUR_SLOTS];

// The dimmed companion of a colour: its background with foreground 8 (dark
// grey), or foreground 0 when the background is itself 8.
BYTE DimmedColour(BYTE normal);

// Fills every slot of gColourTable from the colour bytes of gSettings: a
// zero TAGN or TAGG byte gives 0x1F, MENU 0x3E, VHITC 0x3F, DIRECTORY
// NORMAL's colour, BROWSE and VHITO BAR's.
void ColoursFromSettings();

// ---- the colour file ---------------------------------------------------------------------
//
// QCOLORS.INI overrides the table and adds the colours below. Colours are
// built part by part: a foreground part (low four bits) and a background
// part (high four bits), each COLOUR_PART_UNSET until something sets it.

struct FilespecItem;
struct FileEntry;
struct SubdirInfo;

inline constexpr BYTE COLOUR_PART_UNSET = 0xFF;
// A combined directory colour that no line of the file gave.
inline constexpr WORD COLOUR_COMBINED_UNSET = 0x100;

struct ColourParts {
    BYTE fore;
    BYTE back;
    bool operator==(const ColourParts&) const = default;
};

// The directory-name colours of the keys DATTR-H, -S, -R, -E and -J.
enum DirAttrColour : int { DATTR_H, DATTR_S, DATTR_R, DATTR_E, DATTR_J, DATTR_COUNT };
// The file colours of the keys ATTR-H, -S, -R, -A, -E and -J.
enum FileAttrColour : int { ATTR_H, ATTR_S, ATTR_R, ATTR_A, ATTR_E, ATTR_J, ATTR_COUNT };
// The compare colours JFRAME, JEQUAL, JLNUM, JMATCH and JDIFF.
enum CompareColour : int { JFRAME, JEQUAL, JLNUM, JMATCH, JDIFF, JCOLOUR_COUNT };

// What the colour file sets beside the table.
struct ExtraColours {
    ColourParts dirParts[DATTR_COUNT];
    WORD dirCombined[DATTR_COUNT]; // an attribute, or COLOUR_COMBINED_UNSET
    ColourParts fileParts[ATTR_COUNT];
    ColourParts tagN; // the parts of the TAGN and TAGG slots
    ColourParts tagG;
    BYTE currPath; // the current-path line
    BYTE tagStats; // the two statistics panels
    BYTE fsStats;
    BYTE compare[JCOLOUR_COUNT]; // 0: not set by the file
    bool operator==(const ExtraColours&) const = default;
};
extern ExtraColours gExtraColours;

// One file-colour rule: a compiled filespec list and the parts it gives.
struct FileColourRule {
    FilespecItem* items; // owned, count items
    WORD count;
    BYTE fore; // COLOUR_PART_UNSET when the rule does not set it
    BYTE back;
};
struct FileColourRules {
    FileColourRule* rules; // owned, in file order
    DWORD count;
    DWORD capacity;
};
extern FileColourRules gFileColourRules;

// The colour file named on the command line (/QC), empty for none, and the
// path of the file in use: empty until it is located, cleared when it
// cannot be opened, so that the next load looks for it again.
extern WCHAR gColourFileOption[SETTINGS_PATH_UNITS];
extern WCHAR gColourFilePath[SETTINGS_PATH_UNITS];

// Longest line of the colour file that is read, in bytes without its line
// end; the rest of a longer line is skipped.
inline constexpr size_t COLOUR_LINE_BYTES = 255;

// Frees every rule; the count becomes 0.
void FreeFileColourRules(FileColourRules* rules);

// The whole reading of one colour file image, without the file system:
// extras and rules start afresh (rules freed; DATTR, ATTR and the
// statistics and compare colours not set; the TAGN and TAGG parts those of
// table), every line is applied to table (COLOUR_SLOTS bytes), *history
// (record byte 42), extras and rules, and then the copies of NORMAL and
// FRAMES are refreshed, the directory colours still unset become DIRECTORY,
// the statistics colours take what they lack from FRAMES and slot 9 is
// recomputed. data may be null when size is 0 (no file: only the fresh
// start and the closing steps).
void ApplyColourFile(const BYTE* data, size_t size, BYTE* table, BYTE* history,
                     ExtraColours* extras, FileColourRules* rules);

// Locates the colour file (when no path is remembered: the /QC name, else
// "QCOLORS.INI", along the program search; "#QBQColorsPath" is set to it)
// and applies it to gColourTable, gSettings.bColourHistory, gExtraColours
// and gFileColourRules. The previous rules are discarded in every case.
// Returns 1 when a file was read, 0 when none was found or it could not be
// opened (the remembered path is then cleared); the record's colours stay.
// The alternate colour set ends, and the colours the other layers keep
// (RefreshColourSeams) follow.
int LoadColours();

// Copies the table and the directory colours into the colours the screen
// and dialogue layers keep: gTreeColours (DIRECTORY and the five DATTR
// colours, an unset one as DIRECTORY), gMessageAttr (FRAMES) and
// gKeyLetterAttr (slot 16).
void RefreshColourSeams();

// The attribute of one row of the file window. entry is a file entry of the
// current display list, or null to take the list's row at index: a row of
// a directory list is coloured by the directory rules, a row beyond the
// list (or with no list) is DIRECTORY. Tag colours count when record byte
// 40 is on (the working value), file colorization is off when byte 254 is
// (the working value).
BYTE FileColour(const FileEntry* entry, DWORD index);
// The colour of a directory row of the directory list.
BYTE DirRowColour(const SubdirInfo* dir);

// Switches between the colours in use and a black-on-white set (DIRECTORY,
// NORMAL and its copies, FRAMES and its copy, DMNORMAL, GLOBAL, DMGLOBAL,
// MENU, HISTORY, CURRPATH, TAGN and TAGG become 0xF0, BAR 0x0F, the tag
// foreground parts 0); the next call restores what the first one saved.
// Returns KC_RESIZED (4137), which the caller queues to redraw the screen.
KeyCode ToggleAltColours();
// TRUE while the black-on-white set is in use.
extern BOOL gAltColoursOn;

// Calls visit for the compiled filespec list of every file-colour rule, in
// file order, with context: the clock's midnight step moves the dates that
// are relative to today through it, as it does for the panes' filters.
void ForEachColourRuleFilespec(void (*visit)(FilespecItem* items, DWORD count, void* context),
                               void* context);
