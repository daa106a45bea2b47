// Bringing the in-memory tree up to date after a command wrote a file into a
// directory: the new file is entered into its directory's file array (or the
// entry of the same name updated) without reading the directory again, with
// every counter of the directory, the disk and the display list kept right.
#pragma once

#include "platform/packed_dates.h"
#include "windows.h"

struct DiskInfo;
struct FileEntry;
struct SubdirInfo;

// The written date and time of a new file as the command reported them; a
// date whose day field is 0 counts as not reported.
struct TargetFileTimes {
    PackedDate dWritten;
    PackedTime tWritten;
};

// Raised when a command changed files the tree holds, so that the windows
// sort and show them again; whoever re-sorts clears it.
extern DWORD gFilesChanged;
// Directories the commands left to be refreshed later; cleared once the
// marked disks have been logged again.
extern DWORD gPendingRefreshCount;

// The target cache of one command: the target disk (null when its letter is
// not logged), the directory found last, and whether that directory was
// searched for a free slot and had none.
extern DiskInfo* gRefreshVolume;
extern SubdirInfo* gRefreshDir;
extern BOOL gRefreshNoFreeSlot;

// Results of the refresh form.
inline constexpr int TARGET_NOT_IN_TREE = -1; // nothing changed
inline constexpr int TARGET_UPDATED = 0;      // the display list is not concerned
inline constexpr int TARGET_SLOT_MOVED = 1;   // the caller's slot stands for the file
inline constexpr int TARGET_REBUILD_LIST = 2; // the display list must be rebuilt

// Reset form (targetPath null): forgets the cached directory, looks up the
// disk of targetDir's drive letter and clears the free-slot flag; 0. Every
// command calls it once before its first file.
// Refresh form: targetDir is the directory the file was written into (a
// trailing backslash or not), move whether it was moved, *entry the caller's
// source entry (its size and, when times reports none, its written date and
// time are taken; a moved-within-one-directory file is recognised by its
// owner), targetPath the new file's full path, attributes its attributes.
// -1 when the directory is not a logged, read directory of the tree or is
// marked for a re-read; 0 when the array was updated and the display list is
// not concerned; 1 for a move within one directory (the caller renames its
// entry); 2 when the display list must be rebuilt. Growing the array when
// memory runs out ends the program. The array may move: the display list's
// slots, *entry and the panes' current entries are carried along.
int RefreshTargetDir(const WCHAR* targetDir, BOOL move, FileEntry** entry, const WCHAR* targetPath,
                     DWORD attributes, const TargetFileTimes* times);
