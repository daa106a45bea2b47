// Logging disks, branches and single directories into the tree: the volume
// facts of a drive, the disk records, and the log commands that the windows
// call at start-up and on every log key.
#pragma once

#include "windows.h"

struct DiskInfo;
struct SubdirInfo;

// Results of ReadDiskInfo besides the error dialog's answers (1223, 9928,
// 9929).
inline constexpr DWORD DISKINFO_OK = 0;
inline constexpr DWORD DISKINFO_MEDIA_CHANGED = 1; // removable or CD-ROM only
inline constexpr DWORD DISKINFO_NO_SPACE_INFO = 2;

// Results of LogDrive besides NewDiskRecord's codes.
inline constexpr int LOGDRIVE_OK = 0;
inline constexpr int LOGDRIVE_INVALID = 1;
inline constexpr int LOGDRIVE_RELOG_STOPPED = 2;
inline constexpr int LOGDRIVE_STOPPED = 3;

// Fills the volume fields of disk (label, serial, file system, device,
// type, geometry and space) for its letter.
DWORD ReadDiskInfo(DiskInfo* disk);

// Makes (create) or re-initialises (*disk given) the record of letter; with
// readInfo its volume facts are read and it becomes pdiCurrent with its
// counters reset. Returns 0, or a code of ReadDiskInfo above 1 (a record
// made here is then freed and *disk left alone).
DWORD NewDiskRecord(int letter, BOOL create, DiskInfo** disk, BOOL readInfo);

// Logs a drive by letter (either case). relog reads a logged letter again;
// releaseOthers releases every other disk after success; quiet keeps the
// logo away.
int LogDrive(int letter, BOOL relog, BOOL releaseOthers, BOOL quiet);
// (Re)logs pdiCurrent from its root; 1 when done, 0 when stopped.
int LogDiskRoot(BOOL show);
// Logs the branch below dir in mode (1 logged; 0 stopped, failed or access
// denied).
int LogBranch(WORD mode, SubdirInfo* dir, BOOL showPath);
// Logs the directories along path (null: the process's current directory)
// and returns the last one found; *top and *yBar receive the tree window
// position that shows it.
SubdirInfo* LogPath(const WCHAR* path, DWORD* top, WORD* yBar);
// Logs the directories below psiCurrent that are not logged yet. Returns 1.
int LogUnloggedSubdirs();
// Reads dir's files and its branch again in mode.
int RelogDir(SubdirInfo* dir, WORD mode);
// Reads psiCurrent again (the whole disk when it is the root).
int RelogCurrentDir();
