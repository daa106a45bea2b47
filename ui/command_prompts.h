// Command prompts: what a command draws on the three command lines before it
// reads its input, with the shared key-hint lines. Every hint is a click
// region standing for its key. The builders only draw.
#pragma once

#include "tree/sort_order.h"
#include "windows.h"

// "◄─┘ OK" at 52, "F1 Help" at 60 and "Esc Cancel" at 69 of the bottom row.
void ShowOkHelpCancelKeys();

// What the sort menu shows: the order being edited, whether the pane lists
// directories, the two switches shared by the panes, and, while a display
// list exists, the pane's exit flag.
struct SortMenuState {
    SortSpec order;
    BOOL dirs;
    BOOL treeNumber;
    BOOL splitDifferent;
    BOOL listExists;
    BYTE exitLose;
};

// The sort menu: "SORT FILES BY:" (or "SORT DIRS BY: ") and the key words on
// the message row; the key in force and the states of the timestamp, split
// order, character set, order and path switches on the middle row; "Enter
// option", the tree order, the exit flag (only while a display list exists)
// and the OK, help and cancel hints on the bottom row ("F12 Reset" on
// screens wider than 90 columns). A hint that does not fit the screen is
// left out with its state.
void PromptSort(const SortMenuState& state);

// "F1 Help" at 60 and "Esc Cancel" at 69 of the bottom row.
void ShowHelpCancelKeys();
// "F3 Last" at 41, "↑ History" at 50, "◄─┘ OK" at 61 and "Esc Cancel" at 69
// of the bottom row.
void ShowLastCancelKeys();

// The INVERT prompt: its filter choice (key F) and "Tag" (key T), "Tags"
// when plural.
void PromptInvert(BOOL plural);
// "TAG by:" or "UNTAG by:" and its options; "Branch" and "Current dir" are
// left out with noBranch.
void PromptTagBy(BOOL noBranch, BOOL untag);
// The header of tagging by attributes and mode, for files or directories,
// with its ":" at 19 of the middle row and the hint of the bottom row.
void PromptTagByAttributes(BOOL untag, BOOL dirs);
