// File-system functions of the Windows API: drives and volumes, and the
// functions on open files.
#pragma once

#include "minwinbase.h"
#include "winerror.h"

// Drive types.
inline constexpr UINT DRIVE_UNKNOWN = 0;
inline constexpr UINT DRIVE_NO_ROOT_DIR = 1;
inline constexpr UINT DRIVE_REMOVABLE = 2;
inline constexpr UINT DRIVE_FIXED = 3;
inline constexpr UINT DRIVE_REMOTE = 4;
inline constexpr UINT DRIVE_CDROM = 5;
inline constexpr UINT DRIVE_RAMDISK = 6;

// File-system flags of GetVolumeInformation.
inline constexpr DWORD FILE_CASE_SENSITIVE_SEARCH = 0x1;
inline constexpr DWORD FILE_CASE_PRESERVED_NAMES = 0x2;
inline constexpr DWORD FILE_UNICODE_ON_DISK = 0x4;
inline constexpr DWORD FILE_PERSISTENT_ACLS = 0x8;

// Bit i set for each mapped letter (A = bit 0); rebuilds the drive map.
DWORD GetLogicalDrives();
UINT GetDriveTypeW(LPCWSTR root);
UINT GetDriveTypeA(LPCSTR root);
BOOL GetVolumeInformationW(LPCWSTR root, LPWSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maxComponentLength,
                           LPDWORD fileSystemFlags, LPWSTR fileSystemName,
                           DWORD fileSystemNameSize);
BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maxComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemName,
                           DWORD fileSystemNameSize);
BOOL GetVolumePathNameW(LPCWSTR path, LPWSTR out, DWORD size);
BOOL GetDiskFreeSpaceExW(LPCWSTR path, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree);
BOOL GetDiskFreeSpaceExA(LPCSTR path, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree);
BOOL GetDiskFreeSpaceW(LPCWSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD freeClusters, LPDWORD totalClusters);
BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD freeClusters, LPDWORD totalClusters);
DWORD QueryDosDeviceW(LPCWSTR device, LPWSTR out, DWORD size);
BOOL SetVolumeLabelA(LPCSTR root, LPCSTR label);

// ---- open files ------------------------------------------------------------

inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD GENERIC_EXECUTE = 0x20000000u;
inline constexpr DWORD GENERIC_ALL = 0x10000000u;
inline constexpr DWORD FILE_READ_DATA = 0x1;
inline constexpr DWORD FILE_WRITE_DATA = 0x2;
inline constexpr DWORD FILE_READ_ATTRIBUTES = 0x80;

inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD FILE_SHARE_DELETE = 0x4;

inline constexpr DWORD CREATE_NEW = 1;
inline constexpr DWORD CREATE_ALWAYS = 2;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD TRUNCATE_EXISTING = 5;

inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
inline constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
inline constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x4;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr DWORD FILE_ATTRIBUTE_DEVICE = 0x40;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;
inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

inline constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;
inline constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;
inline constexpr DWORD FILE_FLAG_DELETE_ON_CLOSE = 0x04000000;
inline constexpr DWORD FILE_FLAG_OPEN_REPARSE_POINT = 0x00200000;

inline constexpr DWORD FILE_BEGIN = 0;
inline constexpr DWORD FILE_CURRENT = 1;
inline constexpr DWORD FILE_END = 2;
inline constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;
inline constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFFu;

typedef struct _BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
} BY_HANDLE_FILE_INFORMATION, *LPBY_HANDLE_FILE_INFORMATION;
static_assert(sizeof(BY_HANDLE_FILE_INFORMATION) == 52);

// Opens or creates a file; -1 (INVALID_HANDLE_VALUE) on failure. On success
// the last error is 183 when CREATE_ALWAYS or OPEN_ALWAYS found the file
// already there, else 0. "CONIN$" and "CONOUT$" name the console, "NUL" the
// null device.
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD length, LPDWORD read, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD length, LPDWORD written,
               LPOVERLAPPED overlapped);
BOOL FlushFileBuffers(HANDLE file);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
BOOL SetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                      DWORD method);
BOOL GetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
DWORD GetFileSize(HANDLE file, LPDWORD high);
BOOL SetEndOfFile(HANDLE file);
BOOL GetFileTime(HANDLE file, LPFILETIME creation, LPFILETIME access, LPFILETIME write);
BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access,
                 const FILETIME* write);
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info);

// Byte-range locks. They are advisory, as every lock on Linux: they keep
// other lockers out (in this process through another handle, or in any other
// process), never a plain read, write or delete. A lock belongs to the
// handle that took it: it ends with UnlockFileEx or when the handle is
// closed, and closing another handle to the same file leaves it alone.
inline constexpr DWORD LOCKFILE_FAIL_IMMEDIATELY = 0x1;
inline constexpr DWORD LOCKFILE_EXCLUSIVE_LOCK = 0x2;
// Locks length bytes (low, high) from the 64-bit offset in overlapped
// (required); a range reaching past the largest offset locks everything from
// the offset on. Shared unless LOCKFILE_EXCLUSIVE_LOCK; an exclusive lock
// needs a handle opened for writing, a shared one a handle opened for
// reading (else 5). Waits for a conflicting lock
// to go unless LOCKFILE_FAIL_IMMEDIATELY, which fails with 33 instead.
// Errors: 6 (not a file handle, or one without a descriptor), 87 (no
// overlapped, length 0, reserved nonzero), 33, 5, mapped errno.
BOOL LockFileEx(HANDLE file, DWORD flags, DWORD reserved, DWORD lengthLow, DWORD lengthHigh,
                LPOVERLAPPED overlapped);
// Gives up the handle's lock on the range; a range that was not locked is
// not an error here. Errors as LockFileEx.
BOOL UnlockFileEx(HANDLE file, DWORD reserved, DWORD lengthLow, DWORD lengthHigh,
                  LPOVERLAPPED overlapped);

// ---- find, attributes and modes ---------------------------------------------

// The find data of one directory entry. Laid out as the Windows record:
// 592 bytes, the name at 44, the short name at 564.
typedef struct _WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime; // the entry itself, a link not followed
    DWORD nFileSizeHigh;      // regular files only; 0 for anything else
    DWORD nFileSizeLow;
    DWORD dwReserved0;        // FIND_DATA_SYMLINK_TAG for a symbolic link, FIND_DATA_MOUNT_TAG
                              // for a directory another file system is mounted on, else 0
    DWORD dwReserved1;        // the FILE_MODE_WORD (qposix_modes.h)
    WCHAR cFileName[MAX_PATH]; // the name with the byte and name escapes (qposix_path.h)
    WCHAR cAlternateFileName[14]; // always empty
} WIN32_FIND_DATAW, *PWIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;
static_assert(sizeof(WIN32_FIND_DATAW) == 592);
static_assert(offsetof(WIN32_FIND_DATAW, ftLastWriteTime) == 20);
static_assert(offsetof(WIN32_FIND_DATAW, nFileSizeHigh) == 28);
static_assert(offsetof(WIN32_FIND_DATAW, dwReserved0) == 36);
static_assert(offsetof(WIN32_FIND_DATAW, dwReserved1) == 40);
static_assert(offsetof(WIN32_FIND_DATAW, cFileName) == 44);
static_assert(offsetof(WIN32_FIND_DATAW, cAlternateFileName) == 564);

// The tag the find data gives a symbolic link in dwReserved0.
inline constexpr DWORD FIND_DATA_SYMLINK_TAG = 0xA000000Cu;
// The tag of a directory on which another file system is mounted: the tree
// shows it but does not enter it, so that a log of one file system never
// wanders into /proc, /sys or a network mount below it.
inline constexpr DWORD FIND_DATA_MOUNT_TAG = 0xA0000003u;

typedef enum _FINDEX_INFO_LEVELS {
    FindExInfoStandard = 0,
    FindExInfoBasic = 1,
    FindExInfoMaxInfoLevel = 2
} FINDEX_INFO_LEVELS;

typedef enum _FINDEX_SEARCH_OPS {
    FindExSearchNameMatch = 0,
    FindExSearchLimitToDirectories = 1,
    FindExSearchLimitToDevices = 2,
    FindExSearchMaxSearchOp = 3
} FINDEX_SEARCH_OPS;

inline constexpr DWORD FIND_FIRST_EX_CASE_SENSITIVE = 0x1;
inline constexpr DWORD FIND_FIRST_EX_LARGE_FETCH = 0x2;

// Opens a search of path: a directory, then a name pattern after the last
// "\" or "/" (or after a leading "X:"). With "*" or "?" in the pattern the
// directory's entries are listed in the system's order, each name matched
// without regard to case ("*" and "*.*" list everything, "*." the names
// without a dot), led by "." and ".." except at a drive's mount path;
// without them the pattern names one entry, described alone. The first
// entry goes into *findData (a WIN32_FIND_DATAW); returns a find handle,
// closed with FindClose, and last error 0. The level, search op, filter and
// flags are not used. On failure returns INVALID_HANDLE_VALUE with last
// error 2 (no entry; an empty pattern), 3 (no such directory), 206 (a path
// or pattern too long), 87 (no findData), 8, or the error of opening or
// reading the directory; nothing stays open.
HANDLE FindFirstFileExW(LPCWSTR path, FINDEX_INFO_LEVELS level, LPVOID findData,
                        FINDEX_SEARCH_OPS searchOp, LPVOID filter, DWORD flags);
HANDLE FindFirstFileW(LPCWSTR path, LPWIN32_FIND_DATAW findData);
// The next entry into *findData. FALSE with last error 18 after the last
// one, 6 for a handle that is not a find handle, 87 for no findData, or the
// error of reading the directory (never taken for the end of the listing).
BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW findData);
// Closes a find handle; FALSE with last error 6 for any other handle.
BOOL FindClose(HANDLE find);

typedef struct _WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
} WIN32_FILE_ATTRIBUTE_DATA, *LPWIN32_FILE_ATTRIBUTE_DATA;
static_assert(sizeof(WIN32_FILE_ATTRIBUTE_DATA) == 36);
static_assert(offsetof(WIN32_FILE_ATTRIBUTE_DATA, nFileSizeHigh) == 28);

typedef enum _GET_FILEEX_INFO_LEVELS {
    GetFileExInfoStandard = 0,
    GetFileExMaxInfoLevel = 1
} GET_FILEEX_INFO_LEVELS;

// The attributes of path, a final link not followed: REPARSE_POINT for a
// link (plus DIRECTORY when its target is one), DIRECTORY, READONLY without
// the owner write bit, HIDDEN for a name beginning with "." (not "." or
// ".."), DEVICE for devices, fifos and sockets, else NORMAL. Returns
// INVALID_FILE_ATTRIBUTES with last error 2 (missing file; also a null or
// empty path), 3 (missing directory on the way) or the mapped errno.
DWORD GetFileAttributesW(LPCWSTR path);
// The attributes, three times (a link not followed) and size (0 for a
// directory) of path into *info (a WIN32_FILE_ATTRIBUTE_DATA). FALSE with
// last error 87 for a level other than GetFileExInfoStandard or no info,
// else as GetFileAttributesW.
BOOL GetFileAttributesExW(LPCWSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID info);
// With FILE_ATTRIBUTE_READONLY clears every write bit of path (a final link
// followed); without it sets the owner write bit. Other attributes are
// ignored; the mode is changed only when it differs. FALSE with last error
// 2 or 3 (also for a null or empty path) or the mapped errno of stat or
// chmod; a failed change leaves the mode as it was.
BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes);
// The bytes path (a final link followed) takes on disk: the smaller of its
// size and its allocated blocks; the high half into *high when given; last
// error 0. INVALID_FILE_SIZE with last error 2 or 3 or the mapped errno on
// failure.
DWORD GetCompressedFileSizeW(LPCWSTR path, LPDWORD high);

// ---- file-system operations --------------------------------------------------

// CopyFileExW flags. Only COPY_FILE_FAIL_IF_EXISTS has an effect; the
// decrypted-destination flag is accepted, as no file here is encrypted.
inline constexpr DWORD COPY_FILE_FAIL_IF_EXISTS = 0x1;
inline constexpr DWORD COPY_FILE_ALLOW_DECRYPTED_DESTINATION = 0x8;

// MoveFileExW and MoveFileWithProgressW flags.
inline constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
inline constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x2;

// CreateSymbolicLinkW flag; accepted and not needed here.
inline constexpr DWORD SYMBOLIC_LINK_FLAG_DIRECTORY = 0x1;

// Why a progress routine is called, and what it may answer.
inline constexpr DWORD CALLBACK_CHUNK_FINISHED = 0;
inline constexpr DWORD CALLBACK_STREAM_SWITCH = 1;
inline constexpr DWORD PROGRESS_CONTINUE = 0;
inline constexpr DWORD PROGRESS_CANCEL = 1; // stop; the new copy is removed
inline constexpr DWORD PROGRESS_STOP = 2;   // stop; a new destination keeps what was copied
inline constexpr DWORD PROGRESS_QUIET = 3;  // go on without further calls

// Called once before the data with reason CALLBACK_STREAM_SWITCH and after
// every step of at most 1 MiB with CALLBACK_CHUNK_FINISHED. The two handles
// are file handles onto the open source and the file being written; they are
// closed by the copy.
typedef DWORD (*LPPROGRESS_ROUTINE)(LARGE_INTEGER totalFileSize,
                                    LARGE_INTEGER totalBytesTransferred,
                                    LARGE_INTEGER streamSize,
                                    LARGE_INTEGER streamBytesTransferred, DWORD streamNumber,
                                    DWORD callbackReason, HANDLE sourceFile,
                                    HANDLE destinationFile, LPVOID data);

// Every function below takes Windows paths (mapped through PathToPosix) and
// reports failure by its result with the Windows code in the last error. A
// null path gives 87 and an empty one 3, unless stated otherwise. "Path
// error" is the code of a failed call on that path: 2 when the name is
// missing in an existing directory, 3 when the directory is missing, 5 for a
// directory where a file was expected, else the errno table.

// Copies the data of a regular file, with its permission bits, owner and
// group (when allowed), access and modification times. A directory, device,
// fifo or socket as source gives 5 without being opened for data. An existing
// destination is kept until the new copy is complete: the data goes to a
// temporary name beside it that replaces it at the end, so a failure leaves
// the old file as it was; a destination that is a link to a file has its
// target replaced. A device or fifo as destination is written in place and
// never removed or changed otherwise. A failed or cancelled copy removes only
// what it made. Setuid and setgid bits are kept only with the owner and group
// they belong to. Errors: 80 (fail-if-exists and the name is taken), 5 (the
// destination is a directory or a read-only file, the user may not write it,
// or no new name can be made beside it to replace it safely), 32 (the
// destination is the source itself), 112 disk full, 1235 cancelled by
// the flag or the progress routine, path errors, the errno table.
BOOL CopyFileExW(LPCWSTR existingName, LPCWSTR newName, LPPROGRESS_ROUTINE progress, LPVOID data,
                 LPBOOL cancel, DWORD flags);
BOOL CopyFileW(LPCWSTR existingName, LPCWSTR newName, BOOL failIfExists);

// Renames a file or directory. An existing destination that is not the
// source itself gives 183, unless MOVEFILE_REPLACE_EXISTING is given and
// neither side is a directory; without it an existing destination is never
// replaced, not even one that appears during the call. Across file systems
// (with MOVEFILE_COPY_ALLOWED) a file is copied as CopyFileExW does, made
// durable and only then is the source removed; a symbolic link is made again
// as a link with the same target. A destination that is replaced is replaced
// as a name, as rename does: a link, device or fifo there gives way to the
// file, and no data is ever written through it. A directory cannot move
// across file systems (17). When the source cannot be removed after a good
// copy, the error is reported and both files remain.
BOOL MoveFileWithProgressW(LPCWSTR existingName, LPCWSTR newName, LPPROGRESS_ROUTINE progress,
                           LPVOID data, DWORD flags);
BOOL MoveFileExW(LPCWSTR existingName, LPCWSTR newName, DWORD flags);
// MoveFileExW with MOVEFILE_COPY_ALLOWED.
BOOL MoveFileW(LPCWSTR existingName, LPCWSTR newName);

// mkdir with mode 0777 less the umask. 183 when the name exists.
BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES security);
// Removes an empty directory; a symbolic link (to a directory or not) is
// removed itself, never what it points to. 145 not empty, 267 not a
// directory.
BOOL RemoveDirectoryW(LPCWSTR name);
// Removes a file or a symbolic link. A directory, or a file without the
// owner write permission (read-only), gives 5 and stays.
BOOL DeleteFileW(LPCWSTR name);
// No file is encrypted here: always FALSE with 50.
BOOL DecryptFileW(LPCWSTR name, DWORD reserved);
// newName becomes another name of existingName. 183 when newName exists;
// otherwise the path error of newName.
BOOL CreateHardLinkW(LPCWSTR newName, LPCWSTR existingName, LPSECURITY_ATTRIBUTES security);
// A symbolic link to target: a relative target stays relative, a drive path
// becomes an absolute POSIX path. An empty target gives 87; 183 when the
// link name exists.
BOOLEAN CreateSymbolicLinkW(LPCWSTR linkName, LPCWSTR target, DWORD flags);

// The absolute, normalised form of name: "X:..." on its drive (a drive-
// relative "X:dir" is taken from the root), "\\..." below the root "\\" (and
// "\\?\X:\..." below "\\?\X:\"), "\..." on the drive of the current
// directory, anything else below the current directory.
// "/" becomes "\", empty and "." parts are dropped, ".." removes a part but
// never the root, a trailing separator is kept. When the current directory is
// under no drive letter its form is "\dir...", and names are completed below
// that root, never on an invented drive. Returns the length written without
// the terminator, or the size needed with it when out (size units) is too
// small, writing nothing then. *filePart (optional) points after the last
// backslash, null when the result ends in one. Errors, result 0: 123 for a
// null or empty name; a relative name when the current directory cannot be
// read gives 3 (it was removed) or the errno table.
DWORD GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR out, LPWSTR* filePart);

// The long name is the short name: when longPath exists it is copied to out
// (overlapping allowed) and its length returned; when out is null or too
// small, the size needed with the terminator. Path error, result 0.
DWORD GetShortPathNameW(LPCWSTR longPath, LPWSTR out, DWORD size);
DWORD GetShortPathNameA(LPCSTR longPath, LPSTR out, DWORD size);

// directory + "\" (unless empty or ending in a separator) + at most three
// units of prefix + a 16-bit number in upper-case hexadecimal + ".tmp" into
// out, which holds MAX_PATH (260) units. unique != 0: the name with unique's
// low 16 bits, nothing created, unique returned. unique == 0: the first free
// number from a start taken from the process id and the clock is created
// exclusively as an empty file (so two processes never get the same name)
// and returned; never 0. Errors, result 0: 87 for a null directory or
// output, 206 when the name would not fit out (nothing is written past it),
// 80 when all 65535 names are taken, else the path error.
UINT GetTempFileNameW(LPCWSTR directory, LPCWSTR prefix, UINT unique, LPWSTR out);

// Looks for a file. fileName (with extension appended when given and the
// name holds no ".") is not searched when it begins with a separator or
// "X:": it is found when it exists. Otherwise each element of pathList
// (";"-separated; elements of 1 to 259 units) is tried in turn, the first
// existing non-directory found. Without a pathList the list is the program's
// own directory, the current directory ("."), then each absolute element of
// PATH. The result is written as GetFullPathNameW does (size, out, filePart)
// and its result returned. Not found: 0 with 2; a null or empty fileName:
// 0 with 87. Not for finding a program to run: use SearchProgramPathW.
DWORD SearchPathW(LPCWSTR pathList, LPCWSTR fileName, LPCWSTR extension, DWORD size, LPWSTR out,
                  LPWSTR* filePart);
// SearchPathW for a program to run. The current directory is never searched
// on its own: the default list is the program's own directory and the
// absolute elements of PATH, and relative or empty elements of a given list
// are skipped. A name with a separator is not searched at all but taken
// relative to the current directory, as the user named it. Only a regular
// file the caller may execute is found.
DWORD SearchProgramPathW(LPCWSTR pathList, LPCWSTR fileName, LPCWSTR extension, DWORD size,
                         LPWSTR out, LPWSTR* filePart);
