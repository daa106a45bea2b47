// The error dialog and the error report of a failed file step, the
// log-option question asked when a log is interrupted, and the state a
// running command keeps about its last error.
#pragma once

#include "windows.h"

// Answers of the error dialog, the error report and the cancel questions.
inline constexpr DWORD ErrChoiceRetry = 9926;
inline constexpr DWORD ErrChoiceNext = 9928;
inline constexpr DWORD ErrChoiceSkip = 9929;
inline constexpr DWORD ErrChoiceIgnore = 9930;
// The program's own error codes that the readers report.
inline constexpr DWORD ErrFatTooLarge = 9990;
inline constexpr DWORD ErrPathTooLong = 9991;
inline constexpr DWORD ErrDiskSpace = 9997;

// The last answer of the running command.
extern DWORD gErrorAnswer;
// The entry that failed (up to 1025 units), written by the command before it
// reports.
extern WCHAR gErrorPath[1026];
// The drive letter the error messages name (0 = the current drive).
extern WORD gErrorDrive;
// An operation over tagged files runs: the dialog offers the next-file
// choices and remembers "Skip same error" answers per code.
extern DWORD gTaggedOpActive;
// The answer chosen with "Skip same error", 0 when none; the end of an
// operation clears it.
extern DWORD gSkipSameAction;

// The error dialog: a box with the device, the message of code and the
// path in gErrorPath, and the choices Cancel and Retry ("or Skip" with
// allowSkip). Returns 9926 retry (R), 1223 cancel (Esc, C), 9929 skip (S,
// "Skip same error": until gSkipSameAction is cleared, further errors are
// answered 9929 at once, outside a tagged operation whatever their code),
// 9930 ignore (I, offered for "CRC error" only). Window mode 22 while it
// waits; the screen, window mode and key hints are put back.
DWORD ErrorDialog(WORD driveLetter, DWORD code, DWORD allowSkip);

// Reports a failed step: device, media and other serious codes go to
// ErrorDialog (without Skip) and its answer is returned; every other code is
// shown on the bottom row as "Error: [NN] text" and answered 1223 for Esc
// and 9928 for Enter; for 112 and 9997 (no space) any key but Esc is 9928,
// and during a tagged operation a second choice offers R (9926) and S
// (9929).
DWORD ReportError(WORD driveLetter, DWORD code);

// The question asked when a log is interrupted: "Continue Logging",
// "Partial Logging" and "Quit" as key hints and "Select log option" on the
// command lines (with "Drive " when showDrive is set), in window mode 24.
// Returns 'C', 'P' or 27 (Esc); Q ends the program with status 0 after
// giving the terminal back; F1 and other keys are passed over. The window
// mode and the command lines are put back.
int PromptLogOption(int showDrive);

// The message of an error code as the dialog shows it ("Undetermined error"
// for codes it does not know).
const char* ErrorDialogMessage(DWORD code);
