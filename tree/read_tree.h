// The primitives of every log: the files of one directory into its entry
// array, and the subdirectories below a directory, as deep as the log mode
// asks, into new directory records. They read the file system only through
// the directory reader and its read-ahead.
#pragma once

#include "windows.h"

struct DiskInfo;
struct SubdirInfo;

// Results of readtreeRec besides a count.
inline constexpr int READTREE_STOPPED = -1; // Esc, cancel or next
inline constexpr int READTREE_SKIPPED = -2; // skip answered, or the depth limit reached
inline constexpr int READTREE_PARTIAL = -3; // "Partial Logging" chosen
inline constexpr int READTREE_DENIED = -5;  // access denied

// Reads dir's files into a new entry array, replacing the old one (whose
// figures are taken off disk first). disk null: no disk figure is touched
// and dir's pdiDisk becomes null. Returns the number of files (counted
// whole, however many), the directory reader's negative result, or for a
// full name longer than 1024 units -2 when the error dialog is answered
// with skip and -3 otherwise. Enters the busy state unless already in it.
int qReadDir(DiskInfo* disk, SubdirInfo* dir);

// Reads the subdirectories of path (a directory's full name, or "X:" for a
// root) into a chain of directory records: each new directory is filled
// into *spare, and a fresh spare is hung behind it; the chain is in read
// order. parent is the directory they belong to (null: the disk's root).
// Descends as gLogMode asks. In modes 1 to 3 and 5 *spare is the spare
// behind the last directory on return; in the other modes it is the last
// directory (the spare is freed). Returns the number of directories made,
// or READTREE_STOPPED, READTREE_SKIPPED, READTREE_PARTIAL or READTREE_DENIED.
int readtreeRec(const WCHAR* path, SubdirInfo** spare, DiskInfo* disk, SubdirInfo* parent,
                BOOL showPath);

// Ends a logging pass: clears gReadAheadActive, releases the cached
// subdirectory listing and, in log mode 2, redraws the disk's counters.
void EndLogPass(DiskInfo* disk);

// ---- test hook ------------------------------------------------------------------

// Raises gInterruptRequested when readtreeRec has made its count-th
// directory from now on, as a key pressed during the log would (0: never).
void ReadTreeInterruptAfterForTest(DWORD count);
