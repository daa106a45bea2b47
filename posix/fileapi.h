// File-system functions of the Windows API: drives and volumes, and the
// functions on open files.
#pragma once

#include "minwinbase.h"

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
    DWORD dwReserved0;        // FIND_DATA_SYMLINK_TAG for a symbolic link, else 0
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
