// What a running log does with each directory it finds: the log mode that
// the directory readers and the logging commands share.
#pragma once

#include "windows.h"

// Log modes.
inline constexpr WORD LOG_ROOT_ONLY = 0;
inline constexpr WORD LOG_TREE_ONLY = 1;
inline constexpr WORD LOG_FULL_DISK = 2;
inline constexpr WORD LOG_BRANCH = 3;
inline constexpr WORD LOG_REFRESH_WALK = 4; // one level below a directory, a refresh walk
inline constexpr WORD LOG_STOPPED = 5;      // partial logging was chosen

// The mode of the running log; the logging commands set it for their call
// and put the caller's back.
extern WORD gLogMode;

// Levels below psiCurrent's that a log may reach; LOG_NO_DEPTH_LIMIT (the
// bits of 65535) for none. A start-up option sets 2 to 9; the relog-with-
// depth commands set 1 to 9 for one call and put the no-limit value back.
inline constexpr SHORT LOG_NO_DEPTH_LIMIT = -1;
extern SHORT gLogDepthLimit;
// Set for the duration of a logging pass: qReadDir then takes the
// subdirectory listing along with the files, and progress redraws are
// limited in rate.
extern DWORD gReadAheadActive;
// The subdirectory listing that the last qReadDir of the pass received, and
// the directory it belongs to: readtreeRec takes it over instead of listing
// the directory a second time.
struct DirSubdirRec;
struct SubdirInfo;
extern DirSubdirRec* gCachedSubdirs;
extern SubdirInfo* gCachedSubdirsOwner;
// Set by the automatic refresh of the windows: a key pressed during its
// logging does not ask for the log option.
extern DWORD gSuppressLogPrompt;

// Use the read-ahead threads for whole-branch logs (on unless a start-up
// option turns it off).
extern DWORD gPrefetchEnabled;
// A start-up option: before each logging pass the "skip same error" state
// of the error dialog is armed, so errors are skipped without asking.
extern DWORD gLogSkipErrors;
// Set by FIND & LOG while it logs many branches: LogBranch then neither
// recounts the disk nor re-threads the whole tree.
extern DWORD gDeferRecount;
