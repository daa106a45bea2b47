// The file utilities through which the file commands and the tree upkeep
// reach the file system: long-path names, a length limit on targets, one
// file copied or moved with progress, cancel, attributes and times, the
// delete to the trash, links, and small questions about files and drives.
// Every call passes through the routing wrappers, which serve remote drive
// letters themselves. Unless stated, a function returns 0 or a Windows error
// code. Main thread only; the copy's progress routine runs on the copying
// thread.
#pragma once

#include "windows.h"
#include "platform/dir_reading.h"
#include "platform/packed_dates.h"

struct SubdirInfo;

// Longest target path accepted, in units; a longer one gives 161.
inline constexpr size_t QIO_MAX_TARGET = 1024;

// The copy and move commands' switches.
inline constexpr DWORD COPYATTR_CLEAR_ARCHIVE = 0x01;
inline constexpr DWORD COPYATTR_SET_ARCHIVE = 0x02;
inline constexpr DWORD COPYATTR_CLEAR_READONLY = 0x10;
inline constexpr DWORD COPYATTR_SET_READONLY = 0x20;
// Bits 6-7: what to do with an encrypted source (0 ask only when the target
// cannot hold encryption, 1 always copy decrypted, 2 also ask whether to
// copy decrypted where the target can hold encryption).
inline constexpr DWORD COPYATTR_ENCRYPT_SHIFT = 6;
typedef DWORD CopyAttrFlags;

inline constexpr DWORD FILE_ATTRIBUTE_ENCRYPTED_BIT = 0x4000;

// "\\?\" + path unless path begins with two backslashes, into out (units
// with the terminator); false when it does not fit.
bool qioLongPath(const WCHAR* path, WCHAR* out, size_t outUnits);

// Attributes of path, INVALID_FILE_ATTRIBUTES on failure; a path over 1024
// units gives INVALID_FILE_ATTRIBUTES with last error 161.
DWORD qioGetFileAttributes(const WCHAR* path);
// Nonzero on success, 0 on failure with the last error (161 over 1024).
BOOL qioSetFileAttributes(const WCHAR* path, DWORD attributes);

// Sets the attribute word of info (the record qioGetFileInfo fills) on path
// (no prefix).
DWORD qioSetAttributesPlain(const WCHAR* path, DWORD unused, const FileInfoRec* info);

DWORD qioCreateDirectory(const WCHAR* path);
// Renames; an existing target is never replaced (183).
DWORD qioMoveFile(const WCHAR* source, const WCHAR* target);
// qioMoveFile after the target's length check (161).
DWORD qioMoveFileChecked(const WCHAR* source, const WCHAR* target);
// Copies one file without progress; an existing target gives 80 unless
// overwrite. 161 when either path is over 1024 units.
DWORD qioCopyFile(const WCHAR* source, const WCHAR* target, BOOL overwrite);
// Sets time(s) of path: which 0 last write, 1 creation, 2 last access, 3 all
// three (any other value changes nothing); a directory is opened with backup
// semantics, a file with openFlags.
DWORD qioSetFileTime(int which, DWORD openFlags, const WCHAR* path, BOOL isDirectory,
                     const FILETIME* time);
// Deletes a file or (isDirectory) an empty directory. With toTrash on a
// fixed drive the item goes to the trash instead (a file must open for
// writing first); an aborted trash operation gives 9929.
DWORD qioDeleteFile(const WCHAR* path, BOOL toTrash, BOOL isDirectory);

// Copies source to target with progress (ShowProgress), cancel
// (PromptCancelOrSkip after Esc), times and attributes. index names the
// source's entry in the display list (or the current directory's files)
// whose attributes are carried. An existing target is replaced only with
// overwrite (else 80) and is kept whole until the new copy is complete; a
// directory of the target's name gives 183. A failed or cancelled copy
// leaves no partial target and no temporary file. On success *outAttributes
// holds the attributes set and *outTime the target's packed last-write date
// (low 32 bits) and time (high 32 bits) when the times could not be
// carried, else its day bits are clear. gErrorPath and gErrorDrive name the
// file that failed.
DWORD qioCopyWithProgress(const WCHAR* source, const WCHAR* target, DWORD index, BOOL overwrite,
                          BOOL openSourceForWriting, CopyAttrFlags flags, DWORD* outAttributes,
                          ULONGLONG* outTime);
// Moves (renames on one drive, else copies and deletes the source). The
// out arguments may be null.
DWORD qioMoveWithProgress(const WCHAR* source, const WCHAR* target, DWORD index, BOOL overwrite,
                          CopyAttrFlags flags, DWORD* outAttributes, ULONGLONG* outTime);
// A rename that changes only the letter case of a name, in two steps
// through the target's name with "$" appended; when the second step fails
// the first is undone. 161 when that name is over 1024 units.
DWORD qioRenameCase(const WCHAR* source, const WCHAR* target);
// The progress routine of the layer's copy: PROGRESS_CANCEL after a cancel
// or skip answer (left in gErrorAnswer), else PROGRESS_CONTINUE.
DWORD CopyProgressCallback(LARGE_INTEGER totalFileSize, LARGE_INTEGER totalBytesTransferred,
                           LARGE_INTEGER streamSize, LARGE_INTEGER streamBytesTransferred,
                           DWORD streamNumber, DWORD callbackReason, HANDLE sourceFile,
                           HANDLE destinationFile, LPVOID data);
// The bytes of the current file copied so far.
extern ULONGLONG gCopiedBytes;
// The own loop's buffer for a file of size bytes: below 1 MiB the size
// rounded up to the next multiple of 4096 (a multiple gets 4096 more), else
// 1 MiB. gCopyBufferSize is the one the last own-loop copy used.
DWORD qioOwnLoopBufferSize(ULONGLONG size);
extern DWORD gCopyBufferSize;

// kind 1 (symbolic link) and 2 (junction) make a symbolic link, 3 a hard
// link; another kind 87.
DWORD qioCreateLink(int kind, const WCHAR* target, const WCHAR* linkName, BOOL isDirectory);
// The elevated route to a link, which this platform has not: always 50.
DWORD qioLinkUnsupported(const WCHAR* linkName, const WCHAR* target, DWORD flag);
// Replaces path (a buffer of at least 1025 units) by the target of the link
// it names: a relative target is completed against the link's directory.
// Any failure leaves the path as it was. Returns path.
WCHAR* qioGetReparseTarget(WCHAR* path);
// 1 when a leading part of path is a link whose target is on another drive
// than letter.
int qioPathCrossesDrive(int letter, const WCHAR* path);
// 1 when path starts with another drive letter than *letter, else
// qioPathCrossesDrive.
int qioIsOtherDrive(const WCHAR* letter, const WCHAR* path);
// Bit 0 the directory has a subdirectory, bit 1 a file; 0 when it cannot be
// read.
int qioDirHasContents(const WCHAR* directory);
// 1 when the directory's branch on disk holds a hidden or system directory;
// 0 otherwise or when interrupted. Links to directories are never entered.
int qioWalkTree(const WCHAR* directory);
// 1 when the tree directory or one of its branch, read, is a reparse point.
int qioScanTreeFlags(const SubdirInfo* directory);
// A program's type: *type and 0 for a program, 2 for a file that is none.
DWORD GetExeType(const WCHAR* path, DWORD* type);
DWORD qioGetFileSize(HANDLE file, ULONGLONG* size);
DWORD qioGetFileSizeByName(const WCHAR* path, ULONGLONG* size);
// The bytes path takes on disk (low 32 bits; the high ones into *high); 0
// when the system has no such query.
DWORD qioGetCompressedSize(const WCHAR* path, DWORD* high);
// Moves the file pointer (origin 2: distance back from the end); the new
// position, or all ones on failure.
ULONGLONG qioSeek(HANDLE file, LONGLONG distance, DWORD origin);

struct DiskGeometry {
    DWORD sectorsPerCluster;
    ULONGLONG totalClusters;
    ULONGLONG freeClusters;
    DWORD bytesPerSector;
};
// Free bytes available to the caller of the drive of path into *freeBytes
// and its geometry. A failure other than 5 goes to the error dialog (retried
// on Retry, else its answer returned); 5 gives 0.
DWORD qioGetDiskSpace(const char* path, DiskGeometry* geometry, ULONGLONG* freeBytes);
