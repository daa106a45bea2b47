// The remote-drive routing layer: the table of mounted remote drive letters
// and the Rd* wrappers through which every path-based file-system call of
// the file manager passes. A path on a mounted remote letter is served by
// the drive's session; every other path, and every console handle, goes to
// the Windows functions of the layer unchanged, with their result and last
// error. Until a drive kind can be mounted the table stays empty, so every
// wrapper passes straight through.
#pragma once

#include "windows.h"
#include "qio.h"
#include "qstdio.h"

struct RemoteDriveOps;

// One mounted remote letter; owned by the drive table.
struct RemoteDrive {
    const RemoteDriveOps* ops;
    void* session;
    WCHAR displayUrl[600]; // the site's URL without password
    WCHAR host[256];       // reported as the volume label
    WCHAR basePath[1024];  // server directory of the letter's root, with '/'
    DWORD serial;          // hash of the display URL
    void* listingCache;
};

// ---- path recognition -------------------------------------------------------

// The drive a path lies on: "X:..." or "\\?\X:..." / "\\.\X:..." with X a
// mounted letter (either case); null for every other path (UNC paths, empty
// text, unmounted letters, no drive mounted). With remotePath (2048 units)
// the server path is built: the base path, then the rest of the path with
// '/' for '\', without trailing '/'.
RemoteDrive* RdPathToDrive(LPCWSTR path, LPWSTR remotePath);
// Nonzero when the path lies on a mounted remote drive.
BOOL RdIsRemotePath(LPCWSTR path);
// Nonzero when drives are mounted and the upper-cased letter is one of them.
BOOL RdIsRemoteDrive(int letter);
// Test hook: RdIsRemoteDrive answers nonzero for letter (either case) as
// well, while its paths stay local, so that a test can see what the
// program does differently on a remote drive. 0 ends it.
void RdTreatAsRemoteForTest(int letter);
// The logical-drive mask of the platform with the mounted remote letters
// added.
DWORD RdGetLogicalDrives();
// The display URL of a mounted letter; an empty text for any other letter.
const WCHAR* RdDriveDisplayName(int letter);
// Unmounts a remote letter; nothing happens for a letter not mounted.
void RdUnmount(int letter);
// Free and total bytes of a remote drive: FALSE (no error set) for a path
// that is not remote or a drive kind that cannot tell.
BOOL RdGetDiskFree(LPCWSTR path, ULONGLONG* freeBytes, ULONGLONG* totalBytes);

// ---- wrappers: the arguments, results and last error of the function named ---

HANDLE RdFindFirstFileW(LPCWSTR path, LPWIN32_FIND_DATAW data);
HANDLE RdFindFirstFileExW(LPCWSTR path, FINDEX_INFO_LEVELS level, LPVOID data,
                          FINDEX_SEARCH_OPS op, LPVOID filter, DWORD flags);
// FALSE with last error 18 at the end of the listing.
BOOL RdFindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data);
BOOL RdFindClose(HANDLE find);

// Also opens "CONIN$" and "CONOUT$" for the key reader and the screen.
HANDLE RdCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                     DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL RdCloseHandle(HANDLE handle);
BOOL RdWriteFile(HANDLE file, LPCVOID buffer, DWORD length, LPDWORD written,
                 LPOVERLAPPED overlapped);
DWORD RdGetFileSize(HANDLE file, LPDWORD high);
BOOL RdSetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access,
                   const FILETIME* write);

DWORD RdGetFileAttributesW(LPCWSTR path);
BOOL RdSetFileAttributesW(LPCWSTR path, DWORD attributes);
BOOL RdDeleteFileW(LPCWSTR path);
BOOL RdRemoveDirectoryW(LPCWSTR path);
BOOL RdCreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security);
BOOL RdSetCurrentDirectoryW(LPCWSTR path);

BOOL RdCopyFileW(LPCWSTR from, LPCWSTR to, BOOL failIfExists);
BOOL RdCopyFileExW(LPCWSTR from, LPCWSTR to, LPPROGRESS_ROUTINE progress, LPVOID data,
                   LPBOOL cancel, DWORD flags);
BOOL RdMoveFileW(LPCWSTR from, LPCWSTR to);
BOOL RdMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);
BOOL RdMoveFileWithProgressW(LPCWSTR from, LPCWSTR to, LPPROGRESS_ROUTINE progress,
                             LPVOID data, DWORD flags);
BOOL RdCreateHardLinkW(LPCWSTR newName, LPCWSTR existingName, LPSECURITY_ATTRIBUTES security);
BOOLEAN RdCreateSymbolicLinkW(LPCWSTR linkName, LPCWSTR target, DWORD flags);
DWORD RdGetCompressedFileSizeW(LPCWSTR path, LPDWORD high);
// The shell's bulk operation (the trash among them) on the paths of op.
int RdSHFileOperationW(LPSHFILEOPSTRUCTW op);

// Remote paths come back unchanged.
DWORD RdGetShortPathNameW(LPCWSTR path, LPWSTR out, DWORD size);
DWORD RdGetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR out, LPWSTR* filePart);

// Volume information and drive type of a root "X:\".
BOOL RdGetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                             LPDWORD serialNumber, LPDWORD maxComponentLength,
                             LPDWORD fileSystemFlags, LPSTR fileSystemName,
                             DWORD fileSystemNameSize);
BOOL RdGetVolumeInformationW(LPCWSTR root, LPWSTR volumeName, DWORD volumeNameSize,
                             LPDWORD serialNumber, LPDWORD maxComponentLength,
                             LPDWORD fileSystemFlags, LPWSTR fileSystemName,
                             DWORD fileSystemNameSize);
UINT RdGetDriveTypeA(LPCSTR root);
UINT RdGetDriveTypeW(LPCWSTR root);
BOOL RdGetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                         LPDWORD freeClusters, LPDWORD totalClusters);
BOOL RdGetDiskFreeSpaceExA(LPCSTR path, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                           PULARGE_INTEGER totalFree);

// A stream or null (errno set).
FILE* Rd_wfopen(LPCWSTR path, LPCWSTR mode);
// 0 when the path exists, -1 with errno otherwise.
int Rd_wstat(LPCWSTR path, QSTAT* out);
int Rd_waccess(LPCWSTR path, int mode);
