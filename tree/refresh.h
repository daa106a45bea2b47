// Keeping the tree current after the program changed the file system:
// directories marked for a later refresh or refreshed at once, the marked
// directories of a branch refreshed, directories added by path and removed,
// paths rewritten below a renamed directory, a branch's files taken out of
// the counters, and a branch scanned before a delete, prune or move.
#pragma once

#include "windows.h"

struct SubdirInfo;

// Marks of a directory's bRefresh.
inline constexpr BYTE REFRESH_FILES = 1;   // files to be read again
inline constexpr BYTE REFRESH_ADDED = 2;   // added by the program
inline constexpr BYTE REFRESH_RESORT = 4;  // files to be sorted again

// Some directory of the current disk is marked for a later refresh.
extern DWORD gRefreshPending;

void MarkDirForRefresh(const WCHAR* origin, const WCHAR* path, BOOL immediate);
void MarkParentForRefresh(const WCHAR* path);
// 1 on success or when the disk check was cancelled or skipped, 0 when the
// read failed.
int RefreshDirFiles(SubdirInfo* dir, BOOL restore, BOOL keepTags);
// 0 when a refresh failed, else 1.
int LogBranchWorker(SubdirInfo* dir, BOOL restore, BOOL keepTags, BOOL stopOnKey);
// 0 created, -1 nothing needed creating, else an error code.
int AddDirByPath(const WCHAR* path, const WCHAR* name, BOOL markNew);
SubdirInfo* NewSubdirRecord(SubdirInfo* parent, const WCHAR* fullPath);
int RemoveDirRecord(SubdirInfo* dir, SubdirInfo* predecessor, BOOL markParent);
void FixDescendantPaths(const WCHAR* oldPath, const WCHAR* newPath, SubdirInfo* dir);
void UncountBranch(SubdirInfo* dir, BOOL wholeBranch);
// Result bits of ScanBranchFlags.
inline constexpr DWORD SCAN_SYSTEM_VOLUME_INFO = 1;
inline constexpr DWORD SCAN_UNLOGGED = 2;
inline constexpr DWORD SCAN_READ_ONLY = 4;
inline constexpr DWORD SCAN_HIDDEN_SYSTEM = 8;
DWORD ScanBranchFlags(BOOL checkJunctions, SubdirInfo* dir, int mode);
