// The shell's bulk file operations: copy, move, rename and delete of lists
// of files and whole directory trees, where a delete that may be undone moves
// the items into the freedesktop trash; and the file information record.
#pragma once

#include "wintypes.h"

// SHFILEOPSTRUCTW operations.
inline constexpr UINT FO_MOVE = 1;
inline constexpr UINT FO_COPY = 2;
inline constexpr UINT FO_DELETE = 3;
inline constexpr UINT FO_RENAME = 4;

// SHFILEOPSTRUCTW flags. Only FOF_ALLOWUNDO changes anything here; the
// others ask for questions and progress windows, which the operation never
// shows.
typedef WORD FILEOP_FLAGS;
inline constexpr FILEOP_FLAGS FOF_SILENT = 0x0004;
inline constexpr FILEOP_FLAGS FOF_NOCONFIRMATION = 0x0010;
inline constexpr FILEOP_FLAGS FOF_ALLOWUNDO = 0x0040;
inline constexpr FILEOP_FLAGS FOF_SIMPLEPROGRESS = 0x0100;
inline constexpr FILEOP_FLAGS FOF_NOCONFIRMMKDIR = 0x0200;
inline constexpr FILEOP_FLAGS FOF_NOERRORUI = 0x0400;
inline constexpr FILEOP_FLAGS FOF_NO_CONNECTED_ELEMENTS = 0x2000;
inline constexpr FILEOP_FLAGS FOF_WANTNUKEWARNING = 0x4000;

typedef struct _SHFILEOPSTRUCTW {
    HWND hwnd;                  // not used
    UINT wFunc;                 // FO_MOVE, FO_COPY, FO_DELETE or FO_RENAME
    LPCWSTR pFrom;              // paths one after another, ended by an empty one
    LPCWSTR pTo;                // one path, or null
    FILEOP_FLAGS fFlags;        // FOF_*
    BOOL fAnyOperationsAborted; // set to FALSE: nothing here is ever cancelled
    LPVOID hNameMappings;       // not used
    LPCWSTR lpszProgressTitle;  // not used
} SHFILEOPSTRUCTW, *LPSHFILEOPSTRUCTW;
static_assert(sizeof(SHFILEOPSTRUCTW) == 56);
static_assert(offsetof(SHFILEOPSTRUCTW, wFunc) == 8 && offsetof(SHFILEOPSTRUCTW, pFrom) == 16 &&
              offsetof(SHFILEOPSTRUCTW, pTo) == 24 && offsetof(SHFILEOPSTRUCTW, fFlags) == 32 &&
              offsetof(SHFILEOPSTRUCTW, fAnyOperationsAborted) == 36 &&
              offsetof(SHFILEOPSTRUCTW, hNameMappings) == 40 &&
              offsetof(SHFILEOPSTRUCTW, lpszProgressTitle) == 48);

// Runs op->wFunc on each path of op->pFrom in turn, stopping at the first
// that fails, and returns 0 or the Windows error code of that item (also set
// as the last error). No question is asked and nothing is shown, whatever
// the flags say. op->fAnyOperationsAborted is set to FALSE.
// - FO_COPY: the item, a whole tree for a directory, is copied to pTo\name
//   when pTo is an existing directory, else to pTo itself. Existing files
//   there are replaced once their new copies are complete; an existing
//   directory is copied into. Symbolic links are made again as links, fifos
//   are made again; devices and sockets are refused (5). A directory is never
//   copied into itself or below itself (87).
// - FO_MOVE: the same target, reached by a rename (which replaces a file
//   there). Across file systems the tree is copied, flushed to the disk, and
//   only then is the source removed; a copy that fails leaves the source
//   whole.
// - FO_RENAME: the item takes the name pTo. An existing pTo that is another
//   file gives 183 and stays; there is no copy across file systems (17).
// - FO_DELETE: the item and everything below it is removed. With
//   FOF_ALLOWUNDO it is moved into the freedesktop trash instead: the home
//   trash when it lies on the item's file system, else the trash at the top
//   of the item's file system. An item that cannot be moved there stays
//   where it was: 5 when there is no trash for it (also for a mount point, or
//   a missing item), 80 when 9999 items of its name are in the trash.
// Errors: 87 for a null op, an empty pFrom, a copy, move or rename without
// pTo, or an unknown wFunc; otherwise the first failing item's error (2, 3,
// 5, 17, 80, 145, 183, 206, the copy errors of CopyFileW, the errno table).
int SHFileOperationW(LPSHFILEOPSTRUCTW op);

// The file information record. 696 bytes.
typedef HANDLE HICON;
typedef struct _SHFILEINFOW {
    HICON hIcon;
    int iIcon;
    DWORD dwAttributes;
    WCHAR szDisplayName[MAX_PATH];
    WCHAR szTypeName[80];
} SHFILEINFOW;
static_assert(sizeof(SHFILEINFOW) == 696);
static_assert(offsetof(SHFILEINFOW, szDisplayName) == 16 &&
              offsetof(SHFILEINFOW, szTypeName) == 536);

// SHGetFileInfoW flag asking whether a file is a program, and of which kind.
inline constexpr UINT SHGFI_EXETYPE = 0x2000;

// Knows nothing of icons, types or program kinds: clears *info when
// infoSize is at least the record's 696 bytes, and returns 0 (for
// SHGFI_EXETYPE: not a program) for every path and flag.
DWORD_PTR SHGetFileInfoW(LPCWSTR path, DWORD fileAttributes, SHFILEINFOW* info, UINT infoSize,
                         UINT flags);
