// The prompts that commands share before they write somewhere: the
// destination path prompt, which reads and checks a target directory (and
// makes a missing one on request), and the question asked when a target
// file already exists. Both put back the command lines, the click regions
// and the busy state they found. Main thread.
#pragma once

#include "windows.h"

struct FileInfoRec;

// Room of a destination path, in units with its terminator.
inline constexpr size_t DEST_PATH_UNITS = 1026;

// The last destination typed (a final '\' added), offered again as a
// proposal; and the last destination accepted.
extern WCHAR gLastDestination[DEST_PATH_UNITS];
extern WCHAR gLastPath[DEST_PATH_UNITS];
// The option switches of the last prompt that had them.
extern BYTE gDestSwitches;

// Kinds of PromptDestPath.
inline constexpr int DEST_KIND_GRAFT = 1;
inline constexpr int DEST_KIND_MAY_BE_MISSING = 2;  // column 16
inline constexpr int DEST_KIND_MAY_BE_MISSING_WIDE = 3;  // column 22
inline constexpr int DEST_KIND_CALLER_PATH = 4;
inline constexpr int DEST_KIND_CHECK_ONLY = 6;

// Reads a destination directory into path (DEST_PATH_UNITS units: the
// proposal in, the answer out) on the middle command line, in history list
// 12 (kind 4: 13), and checks it. Kind 6 asks nothing: path is checked as
// if it had been typed. An empty answer cancels; a single letter is that
// drive's root; anything else is made a full path (a name without a drive
// or a path separator lies in the current directory). The drive must be
// listed and its root readable (ReportError: Retry checks again, Esc
// cancels). A drive root or a path holding '|' is taken at once. Kinds 2
// and 3: 0 for a directory the tree knows, 1 for a path that does not
// exist. Other kinds: a file is refused with code 123 (27 returned), an
// existing directory gives 0 with its long-name form in path; a missing
// one asks "Directory does not exist.  Make new path?": any answer but Y
// gives 27, Y makes it with its ancestors and adds them to the tree
// (AddDirByPath) and gives 1, or asks again when that failed.
// switches, replaceMode and syncDirection may be null; the option keys and
// the proposals of the full prompt are not offered here.
int PromptDestPath(WCHAR* path, int kind, BYTE* switches, BYTE* replaceMode,
                   BYTE* syncDirection, DWORD where, int helpTopic);

// The attribute question of a target that exists: "File exists, replace?",
// "Read-only file exists, replace?", "RO/Sys/Hid file exists, replace?",
// ... by the read-only, system and hidden bits of attributes.
const char* FileExistsQuestion(DWORD attributes);

// Asks whether target may be replaced. With a column (non-zero) the two
// names and the target's size and date are shown on the message and
// middle lines from that column. Returns 'Y' replace, 'N' keep (also
// Enter), 27 cancel, 'A' append (with appendAllowed) or All, 'O' and 'V'
// during an operation over tagged files, and 9931 for 'S' with a source
// outside such an operation (the caller renames). F1 shows help topic 24
// and asks on; other keys beep. mode 'H' turns the compare key off.
// Answered by the test hook's script as "PromptFileExists" when one runs.
int PromptFileExists(int column, const WCHAR* source, const WCHAR* target, DWORD entryIndex,
                     const FileInfoRec* targetInfo, int mode, BOOL appendAllowed);

// A file's name from column of row (in the key-letter colour when lit), cut
// with a final "►" so that its size, written date and time fit at the
// right end of the row; without info the name alone.
void DrawFileFactsRow(int row, int column, const WCHAR* name, const FileInfoRec* info, BOOL lit);

// The full path of a name typed at a prompt: a name holding no drive, '\'
// or '/' is joined to the current directory (the tree cursor's, else the
// process's); any other form goes through MakeFullPath. out holds
// DEST_PATH_UNITS units; false (out empty) when the result does not fit.
bool FullPathOfTypedName(const WCHAR* name, WCHAR* out);
