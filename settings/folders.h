// The folders the program records at start-up: where it was started, where
// its executable lies, where its own files live (the data folder), the
// system's program-files folder, and the tools folder ("#QBTools").
#pragma once

#include "wintypes.h"

inline constexpr size_t FOLDER_UNITS = 1025;

// The current directory at start, with a trailing backslash when it is
// longer than three units ("C:\" keeps its own).
extern WCHAR gStartDir[FOLDER_UNITS];
// The directory of the executable, with a trailing backslash.
extern WCHAR gProgramDir[FOLDER_UNITS];
// The program directory; or, when that lies inside the program-files folder
// and the application-data folder is known, that folder followed by
// "\Quilbora\". Ends with a backslash.
extern WCHAR gDataDir[FOLDER_UNITS];
// The system's program-files folder (special folder 38), no trailing
// backslash; empty when unknown.
extern WCHAR gProgramFilesDir[FOLDER_UNITS];
// The tools folder without a trailing backslash (512 units, the settings
// may replace it).
extern WCHAR gToolsDir[512];

// Records the folders above from the process (current directory, the
// executable's path, the special folders 26 and 38), creates the per-user
// data folder when it is the one chosen, and exports "#QBTools" as the data
// folder without its trailing backslash. Folders that cannot be had stay
// empty. Called by the platform start-up, before the settings are read.
void RecordStartupFolders();

// True when text contains part, ignoring ASCII case; an empty part is not
// contained in anything. The "lies inside the program-files folder" test.
bool ContainsNoCase(const WCHAR* text, const WCHAR* part);
