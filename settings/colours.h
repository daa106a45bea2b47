// The colour table: one console attribute byte (foreground + 16 x
// background) per screen element, filled from the colour bytes of the
// settings record; the colour file may override it afterwards.
#pragma once

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
