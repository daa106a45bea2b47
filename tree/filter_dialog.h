// The "Filter:" prompt with which the user sets the current pane's filter,
// switches to regular expressions, or starts FIND & LOG.
#pragma once

#include "windows.h"

// The regular-expression switch of the prompt (F7), kept between prompts.
extern DWORD gFilterRegexMode;
// The caller offers FIND & LOG from the prompt: F9 then switches its scope.
extern DWORD gFindLogOffered;
// F9's scope: find the files anywhere on the drive and log their
// directories (the caller reads it when the prompt returns 1).
extern DWORD gFindLogDriveScope;

// The filter prompt of the current pane. The field starts with preset when
// given, else the display name of display-list entry listIndex (when it is
// 0 or more and listed), else in split screen the other pane's current
// entry, else "*.*", as a highlighted proposal. F7 switches regular
// expressions (only while the library is bound), F9 the FIND & LOG scope
// (only while offered), Alt-F7 switches and accepts, Enter accepts, Tab
// puts the current file's name, F4 the pane's filter and F8 (split screen)
// the other pane's current file into the field; any other ending key
// returns 0. A text that does not compile shows why ("Invalid filter",
// "Regex: ...", "Regex too long", "A regex filter needs the PCRE2 DLLs")
// and the prompt opens again with it. Accepted, the pane's slot is
// rebuilt; with callerHandles 1 is returned at once, otherwise a filter
// other than "*.*" joins the history (list 16, 46 for directories), the
// pane's title is redrawn and, without split screen, the other pane gets the
// same filter; then 1. The command lines are put back either way.
int FilterDialog(const WCHAR* preset, long listIndex, BOOL callerHandles);
