// The "QLOG VOLUMES:" dialog: saves everything logged to a logged-volume
// file (then quits or resumes), or loads or merges one, on the three
// command lines. Main thread.
#pragma once

#include "settings/qlog.h"
#include "windows.h"

// The letter of the key that opens the dialog (Alt+Z): pressed in it, with
// or without Alt, it saves to the file shown and quits.
inline constexpr int QLOG_OPEN_LETTER = 'Z';
// Room of the dialog's file name, in units with the terminator.
inline constexpr size_t QLOG_NAME_UNITS = 1026;

// Shows the dialog with the file named by path (null or empty: the file
// shown last time; at first the file named on the command line, else
// TEMP.QLOG in the settings folder), its size and date. Keys: L, M, Q and
// R ask for the file name (history list 41) and load, merge, save and
// quit, or save and resume; Alt+L, Alt+M, Alt+Q and Alt+R do the same with
// the file shown; the opening letter saves and quits; F1 help; Esc
// cancels. A save refuses to replace an existing file unless confirmed
// with Y, checks a new file's directory (offering to make it), re-sorts
// the logged directories first when resort is set, and keeps the old file
// whole when it fails. Returns 0 (cancelled, or a save that failed or was
// abandoned), 'Q' or 'R' after a save, or QlogLoad's result. When path is
// given it receives the file last shown (QLOG_NAME_UNITS units).
int QlogDialog(QlogPaneSwitches* switches, WCHAR* path, BOOL resort);

// Forgets the file the dialog showed last (tests).
void QlogDialogForget();
