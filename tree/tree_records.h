// The logged disks in memory: one DiskInfo per drive letter in a ring sorted
// by letter, one SubdirInfo per directory threaded in display pre-order, and
// per directory one array of FileEntry records. Lookups by letter, path and
// index, full and display names, and the insertions that keep the ring and
// the threading in order.
#pragma once

#include "platform/packed_dates.h"
#include "windows.h"

struct DiskInfo;
struct SubdirInfo;

// Flag bits of an entry's per-pane flag byte.
inline constexpr BYTE ENTRY_TAGGED = 1;
inline constexpr BYTE ENTRY_MATCHES = 2;
inline constexpr BYTE ENTRY_MARKED = 4;    // counts as tagged
inline constexpr BYTE ENTRY_INCLUDED = 8;  // included once in a tagged-only list

// A flag byte of an entry tagged in its pane (a marked entry counts too).
inline constexpr bool EntryTagged(BYTE flags) { return (flags & (ENTRY_TAGGED | ENTRY_MARKED)) != 0; }

// Longest full name the tree hands out, in units.
inline constexpr size_t TREE_MAX_FULL_NAME = 1024;

// The leading fields that FileEntry and SubdirInfo share, so that a display
// list may hold either and the row, sort and tag code reads both through
// this head. The index (or level) is 32 bits: a directory may hold more than
// 65,535 files, and each must keep an index of its own.
struct EntryHead {
    DWORD index;          // FileEntry::wIndex, SubdirInfo::wLevel
    WCHAR* name;          // pszLongName, pszName
    ULONGLONG size;       // qwSize, qwFileBytes
    WORD attributes;
    WORD mode;
    PackedDate dCreated;
    PackedTime tCreated;
    PackedDate dWritten;
    PackedTime tWritten;
    PackedDate dAccessed;
    PackedTime tAccessed;
    BYTE bFlags[2];
    SubdirInfo* owner;    // psiOwner, psiParent
};

// One file. A directory's files are one block of dwFiles records followed by
// an end record whose inline name is empty.
struct FileEntry {
    DWORD wIndex;         // position as read, from 1; kept through sorting
    WCHAR* pszLongName;   // owned; null when the inline name is the name
    ULONGLONG qwSize;
    WORD wAttributes;     // NORMAL stored as 0
    WORD wMode;           // above 16383 known (16384: lookup failed)
    PackedDate dCreated;
    PackedTime tCreated;
    PackedDate dWritten;
    PackedTime tWritten;
    PackedDate dAccessed;
    PackedTime tAccessed;
    BYTE bFlags[2];
    SubdirInfo* psiOwner;
    // "%-8s.%s" or "%-12s"; for a long name its padded short form; a drive
    // entry holds U+FFFF first and ':' as twelfth unit.
    WCHAR wszShortName[13];
};

// One directory.
struct SubdirInfo {
    DWORD wLevel;         // 0 for the root
    WCHAR* pszName;       // inside pszFullName (the whole root name at the root)
    ULONGLONG qwFileBytes;
    WORD wAttributes;
    WORD wMode;
    PackedDate dCreated;
    PackedTime tCreated;
    PackedDate dWritten;
    PackedTime tWritten;
    PackedDate dAccessed;
    PackedTime tAccessed;
    BYTE bFlags[2];
    SubdirInfo* psiParent; // the root's parent is the root
    WCHAR* pszFullName;    // owned; "X:\" at the root, no trailing backslash below
    WORD wNameWidth;       // name length + 1, at least 14
    DWORD dwChildren;
    DWORD dwFiles;
    DWORD dwMatchFiles[2];
    ULONGLONG qwMatchBytes[2];
    DWORD dwTagFiles[2];
    ULONGLONG qwTagBytes[2];
    BYTE bExpanded;
    BYTE bVisible;
    BYTE bLogged;          // 0 not logged, 1 logged, 5 access denied
    BYTE bRefresh;
    BYTE bChanged;
    DWORD dwPaneWord[2];
    DiskInfo* pdiDisk;
    SubdirInfo* psiNext;   // the row after this directory's whole branch
    SubdirInfo* psiChild;
    FileEntry* pFiles;
};

#define QTREE_SAME_HEAD(record, a, b)                                                             \
    static_assert(offsetof(record, a) == offsetof(EntryHead, b))
QTREE_SAME_HEAD(FileEntry, wIndex, index);
QTREE_SAME_HEAD(FileEntry, pszLongName, name);
QTREE_SAME_HEAD(FileEntry, qwSize, size);
QTREE_SAME_HEAD(FileEntry, wAttributes, attributes);
QTREE_SAME_HEAD(FileEntry, wMode, mode);
QTREE_SAME_HEAD(FileEntry, dCreated, dCreated);
QTREE_SAME_HEAD(FileEntry, tAccessed, tAccessed);
QTREE_SAME_HEAD(FileEntry, bFlags, bFlags);
QTREE_SAME_HEAD(FileEntry, psiOwner, owner);
QTREE_SAME_HEAD(SubdirInfo, wLevel, index);
QTREE_SAME_HEAD(SubdirInfo, pszName, name);
QTREE_SAME_HEAD(SubdirInfo, qwFileBytes, size);
QTREE_SAME_HEAD(SubdirInfo, wAttributes, attributes);
QTREE_SAME_HEAD(SubdirInfo, wMode, mode);
QTREE_SAME_HEAD(SubdirInfo, dCreated, dCreated);
QTREE_SAME_HEAD(SubdirInfo, tAccessed, tAccessed);
QTREE_SAME_HEAD(SubdirInfo, bFlags, bFlags);
QTREE_SAME_HEAD(SubdirInfo, psiParent, owner);
#undef QTREE_SAME_HEAD

// One logged disk.
struct DiskInfo {
    BYTE cDrive;           // upper case
    DWORD dwFsFlags;
    DWORD dwSerial;
    char szLabel[256];     // OEM code page
    char szFileSystem[13];
    WCHAR wszDevice[256];
    BYTE bDriveType;
    LONGLONG qwTotalBytes;
    LONGLONG qwFreeBytes;
    ULONGLONG qwUsedBytes;
    WORD wClusterBytes;
    WORD wSectorBytes;
    WORD wClusterSectors;
    LONGLONG qwSlackBytes;
    LONGLONG qwSavedBytes;
    DWORD dwTreeRows;
    DWORD dwFiles;
    ULONGLONG qwFileBytes;
    DWORD dwMatchFiles[2];
    ULONGLONG qwMatchBytes[2];
    DWORD dwTagFiles[2];
    ULONGLONG qwTagBytes[2];
    DWORD dwTreeTop[2];
    WORD yBar[2];
    WCHAR wszSavedPath[2][1025];
    BYTE bHasRefresh;
    DWORD dwListKey[2];
    DWORD dwListIndex[2];
    DWORD dwListTop[2];
    DWORD dwDirEntries;    // directories counting the root
    SubdirInfo* psiRoot;
    DiskInfo* pdiPrev;
    DiskInfo* pdiNext;
};

extern DiskInfo* pdiCurrent;
extern SubdirInfo* psiCurrent;
extern DiskInfo* pdiFirst;
extern DiskInfo* pdiLast;
extern WORD gDiskCount;
extern WCHAR gFullNameBuffer[TREE_MAX_FULL_NAME + 2];
extern WCHAR gFullNameScratch[TREE_MAX_FULL_NAME + 2];

// The shared head of a record.
inline EntryHead* HeadOf(FileEntry* e) { return reinterpret_cast<EntryHead*>(e); }
inline const EntryHead* HeadOf(const FileEntry* e) { return reinterpret_cast<const EntryHead*>(e); }
inline EntryHead* HeadOf(SubdirInfo* d) { return reinterpret_cast<EntryHead*>(d); }
inline const EntryHead* HeadOf(const SubdirInfo* d) { return reinterpret_cast<const EntryHead*>(d); }

// A drive entry of a file array: U+FFFF as first unit and ':' as twelfth.
// A real name of twelve units ending in ':' is no drive entry. Every reader
// that passes drive entries over asks this. name may be any null-terminated
// text (it is never read past its end).
bool IsDriveEntryName(const WCHAR* name);
inline bool IsDriveEntry(const FileEntry* e) { return IsDriveEntryName(e->wszShortName); }

// ---- zero-filled records (fatal on failure, module "Qtb") ---------------------

// A failure names the caller's line and function.
DiskInfo* AllocDiskRecordAt(int line, const char* function);
SubdirInfo* AllocSubdirRecordAt(int line, const char* function);
// count + 1 zero-filled entries; the last is the end record.
FileEntry* AllocFileArrayAt(DWORD count, int line, const char* function);
#define AllocDiskRecord() AllocDiskRecordAt(__LINE__, __func__)
#define AllocSubdirRecord() AllocSubdirRecordAt(__LINE__, __func__)
#define AllocFileArray(count) AllocFileArrayAt((count), __LINE__, __func__)

// ---- insertion ----------------------------------------------------------------

// Puts disk into the ring in letter order, setting pdiFirst and pdiLast, and
// counts it in gDiskCount. A letter equal to the highest goes behind it.
void LinkDiskRecord(DiskInfo* disk);
// Threads dir (level, names and disk already set) in as a child of parent,
// among its siblings in CompareEntryNames order, keeping pre-order: the last
// descendants of the sibling before it now lead to dir. Counters are the
// caller's.
void LinkSubdirRecord(SubdirInfo* parent, SubdirInfo* dir);
// Re-threads the run of siblings that follows first through psiNext at its
// level: sorted by CompareEntryNames, chained, the last leading to follower;
// when recursive, each member's children likewise with the member's new
// successor as their follower. Returns the new first member.
SubdirInfo* CollectLevelRun(SubdirInfo* first, SubdirInfo* follower, BOOL recursive);

// ---- lookups (none changes the tree) ------------------------------------------

// The disk of a letter (compared as a byte), or null.
DiskInfo* FindVolume(int letter);
// Reads the volume facts of a logged letter again (ReadDiskInfo); 0 when the
// letter is not logged, else ReadDiskInfo's result.
DWORD RefreshDiskInfoByLetter(int letter);
// The directory of a full path in pdiCurrent's tree. A trailing backslash is
// ignored except in the root's name; a path on another letter gives null.
// When row is given it receives the tree row (the root is row 0, hidden
// directories passed count as no row). When nothing matches: with exactOnly
// null, else the deepest logged ancestor. While gArchiveTreeActive is set,
// whole full names are compared and no letter is asked for.
SubdirInfo* FindDirByPath(const WCHAR* path, DWORD* row, BOOL exactOnly);
// As FindDirByPath over the visible directories only.
SubdirInfo* FindDirByPathEx(const WCHAR* path, DWORD* row, BOOL exactOnly);
// As FindDirByPath on the disk of the path's letter; pdiCurrent is kept.
SubdirInfo* FindDirByPathAnyDisk(const WCHAR* path, DWORD* row, BOOL exactOnly);
// Path completion: a directory of pdiCurrent whose level is the number of
// backslashes in the first length units of path and whose full name begins
// with those units (compared without case). mode 0 gives the first such
// directory in tree order; otherwise the whole path is taken as the current
// completion and the one after the directory whose full name equals it is
// given, coming round to the first, so that repeated calls step through
// them. Null when none, or when the path's letter is not pdiCurrent's.
SubdirInfo* FindDirByWidePath(const WCHAR* path, size_t length, BOOL mode);
// The directory whose psiNext or psiChild leads to dir (the first in
// pre-order from the root), or null.
SubdirInfo* FindTreePredecessor(const SubdirInfo* dir);
// The position from 1 of the entry with index: in the display list when dir
// is null and a list exists; the index itself while the pane lists
// directories; else in dir's file array, counting every entry or, with
// visibleOnly, those that match the pane's filespec. 0 when not found.
DWORD FindDirIndex(DWORD index, const SubdirInfo* dir, BOOL visibleOnly);

// ---- names --------------------------------------------------------------------

// The entry's name as shown and compared into buffer (room for the name and
// its terminator); returns its length. A directory in
// a list (its pszName) reads the same way.
size_t GetFileDisplayName(WCHAR* buffer, const FileEntry* entry);
// The length of the display name.
size_t DisplayNameLength(const FileEntry* entry);
// Directory + "\" + display name (a root entry: its own name) into buffer of
// TREE_MAX_FULL_NAME + 1 units; 0 without writing when the name is longer
// than TREE_MAX_FULL_NAME units, else 1.
int GetFullFileName(WCHAR* buffer, const FileEntry* entry);
// The full name built in gFullNameBuffer (empty when too long). With a null
// buffer returns gFullNameBuffer; else copies the text to buffer (room for
// TREE_MAX_FULL_NAME + 1 units) and returns the name part inside
// gFullNameBuffer. Valid until the next call.
WCHAR* FullFileName(WCHAR* buffer, const FileEntry* entry);
// The POSIX mode word of a file, looked up by full name and kept when not
// yet known; 0 unless its top bit is set. A directory of an archive tree has
// no known mode.
WORD GetEntryModeWord(FileEntry* entry);
// The name order of the file sort: StrCmpLogicalW of the display names; in
// mode 10 of the names from their first digit, a name without digits first
// and two without equal.
int CompareListNames(const FileEntry* a, const FileEntry* b, int mode);

// Stores the creation, last-write and last-access times and the mode word
// (dwReserved1) of find data in a directory.
void SetNodeFileTimes(SubdirInfo* dir, const WIN32_FIND_DATAW* data);

// The tree window's facts of a directory row: level and attributes.
void TreeDirFacts(const SubdirInfo* dir, WORD* level, WORD* attributes);
