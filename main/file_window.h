// The small file window under the tree: the files of the current directory,
// or a message when its contents are not read.
#pragma once

#include "platform/keyboard.h"
#include "windows.h"

// Redraws the current directory's name and figures, the path line and the
// small file window.
void ShowFileWindow();
// The small file window of psiCurrent: its entries that pass the pane's
// filter down the window's first column (the tag mark in front of tagged
// ones), or "No files      ", "No directories", "Access Denied!" or the
// filter's message when there is none to show. full is accepted for the
// callers that ask to start at the remembered cursor entry.
void DrawDirFiles(int full);

// Per pane: the display list holds the result of the show-files-with
// command (the pane mark shows '#'); whatever rebuilds the list from the
// filter or leaves the file window clears it.
extern DWORD gFilesWithList[2];

// The file window's command loop over the current pane's display list:
// returns the key that ended it (1: call again). Until its commands are
// there it ends at once with Esc, leaving the screen as it was.
KeyCode FileWindowLoop(int first);
