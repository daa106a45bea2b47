// Directory reading for the logged-disk tree: find calls that handle long
// paths and are served from the read-ahead cache when it holds the
// directory, the reading of one directory into lists of file and
// subdirectory records, the rebuilding of a path with the names the file
// system reports, and the times, size and attributes of one file. Every
// path-based call goes through the routing wrappers. Main thread, except
// where read-ahead says otherwise.
#pragma once

#include "platform/packed_dates.h"
#include "windows.h"

// One file of a listing; zero-filled when made, owned by the caller of
// qioReadDirEx, freed with qioFreeFileList.
struct DirFileRec {
    PackedDate createdDate;
    PackedTime createdTime;
    PackedDate accessedDate;
    PackedTime accessedTime;
    PackedDate writtenDate;
    PackedTime writtenTime;
    ULONGLONG size;
    WORD attributes; // FILE_ATTRIBUTE_NORMAL alone is stored as 0
    WCHAR name[260];
    WCHAR shortName[14]; // left empty
    WORD mode;           // the mode word of the find data
    DirFileRec* next;
};

// One subdirectory of a listing: its find data as the search gave it.
struct DirSubdirRec {
    WIN32_FIND_DATAW data;
    DirSubdirRec* next;
};

// What qioGetFileInfo reports of one file.
struct FileInfoRec {
    PackedDate createdDate;
    PackedTime createdTime;
    PackedDate accessedDate;
    PackedTime accessedTime;
    PackedDate writtenDate;
    PackedTime writtenTime;
    ULONGLONG size;
    DWORD attributes;
};

// Results of qioReadDirEx besides a file count.
inline constexpr int QIO_READ_CANCELLED = -1;   // cancel, next, or Esc at the log question
inline constexpr int QIO_READ_SKIPPED = -2;     // skipped after an error
inline constexpr int QIO_READ_PARTIAL = -3;     // "Partial Logging" chosen
inline constexpr int QIO_READ_SKIPPED_DENIED = -5; // skipped after access denied

// A search of path with "\\?\" put in front unless the path begins with
// "\\"; the handle, or INVALID_HANDLE_VALUE with the last error.
HANDLE qioFindFirstFile(const WCHAR* path, WIN32_FIND_DATAW* data);
// A search of a pattern, served from the read-ahead cache when read-ahead
// is running, the calling thread started it and the pattern lists a whole
// directory ("\*.*" or "\*"); otherwise an ordinary search. An empty
// directory fails with 18 as an ordinary search does; a directory whose
// reading failed fails with that error.
HANDLE qioPrefetchFindFirst(const WCHAR* pattern, WIN32_FIND_DATAW* data);
// The next entry: TRUE, or FALSE with last error 18 at the end.
BOOL qioFindNextFile(HANDLE find, WIN32_FIND_DATAW* data);
// Closes a cached or an ordinary search.
BOOL qioFindClose(HANDLE find);

// Reads one directory: pattern has the "\\?\" prefix and ends in "\*.*".
// Files go to *files (null when there are none) in the order listed;
// directories other than "." and ".." go to *subdirs when it is given, and
// are passed over otherwise. Returns the number of files with *endFlag set;
// 0 with *endFlag set for a missing directory (2) or no match (18); 0
// without it for access denied on "\System Volume Information\*.*".
// Another failure to open, or a listing cut short by a read error, asks
// ErrorDialog (drive = the pattern's fifth character, Skip offered; the
// answer goes to gErrorAnswer, the path to gErrorPath): retry starts over,
// skip gives -5 after access denied and -2 otherwise, any other answer -1.
// An interrupt request (unless the information screen refreshes itself)
// stops a refresh walk (log mode 4) with -1 and otherwise asks the log
// option: C goes on, Esc gives -1, P gives -3. Whenever the result is
// negative nothing read is kept and the heads are null. Records that cannot
// be allocated end the program (FatalMemoryError).
int qioReadDirEx(const WCHAR* pattern, DirFileRec** files, DirSubdirRec** subdirs,
                 DWORD* endFlag);
// qioReadDirEx without the subdirectory list and end flag.
int qioReadDir(const WCHAR* pattern, DirFileRec** files);
// Merges the subdirectories found on disk into dir's children (its files
// are not touched): 1 read (the tree may have changed), 0 gone or
// unreadable, 2 skipped by "Skip same error", -1 cancelled. batch: one of
// a read-ahead batch of qioReadNewDir (attributes are not read again).
struct SubdirInfo;
int qioRereadDir(SubdirInfo* dir, BOOL batch);
// qioRereadDir on dir and, with branch, every logged directory of its
// branch (read ahead without recursion from 16 directories); relink
// rebuilds dir's child run. 1 done, 0 cancelled.
int qioReadNewDir(SubdirInfo* dir, BOOL branch, BOOL relink);
// Free every record of a list; a null head does nothing.
void qioFreeDirList(DirSubdirRec* head);
void qioFreeFileList(DirFileRec* head);

// Rebuilds path ("X:\..." or "\\?\X:\...") into out with each component as
// the file system names it (short names where asked and reported). One
// trailing backslash beyond the root is dropped. out holds at least as many
// units as path. Returns the length written, or 0 when a component cannot
// be found.
int qioGetPathName(const WCHAR* path, WCHAR* out, BOOL longNames);
int qioGetLongPathName(const WCHAR* path, WCHAR* out);
int qioGetShortPathName(WCHAR* out, const WCHAR* path);

// Finds path and fills *info: with timesFlag 1 the packed times, size and
// attributes, with any other flag only the size. 0 or the find's error.
DWORD qioGetFileInfo(const WCHAR* path, int timesFlag, FileInfoRec* info);
// The last-write, creation and last-access times of path, unconverted, into
// times[0..2]. 1 (also for a null path), or 0 after ReportError (drive = the
// path's first character) with the path in gErrorPath.
int qioGetFileInfoFind(const WCHAR* path, FILETIME times[3]);

// path with "\\?\" in front unless it begins with two backslashes.
#include <string>
std::u16string QioLongPath(const WCHAR* path);
