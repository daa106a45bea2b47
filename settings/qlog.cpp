// Logged-volume files: the writer of format 'F' and the validating loader of
// every letter from '7' on, one parser driven by each letter's layouts.
// Every record is written and read field by field at the offsets below, so
// the file's layout never depends on how the compiler lays out a record.
#include "settings/qlog.h"

#include "platform/packed_dates.h"

#include "main/window_state.h"
#include "remote/remote_drives.h"
#include "main/tree_window.h"
#include "settings/folders.h"
#include "settings/path_lists.h"
#include "settings/settings.h"
#include "settings/quit.h"
#include "tree/branch_links.h"
#include "tree/dir_counts.h"
#include "tree/filter.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "ui/error_dialog.h"
#include "ui/error_reporting.h"
#include "ui/progress.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

WCHAR gQlogCommandLineFile[MAX_PATH + 1];
void (*gQlogTreeWritten)() = nullptr;
void (*gQlogDirectoryRead)() = nullptr;

namespace {

constexpr char kModule[] = "Qlg";
constexpr WCHAR kEscape = 0x0001;

// ---- little-endian items ----------------------------------------------------------

void Put(std::string* out, ULONGLONG value, int bytes) {
    for (int i = 0; i < bytes; i++) out->push_back(char((value >> (8 * i)) & 0xFF));
}
void PutAt(char* at, ULONGLONG value, int bytes) {
    for (int i = 0; i < bytes; i++) at[i] = char((value >> (8 * i)) & 0xFF);
}
ULONGLONG GetAt(const char* at, int bytes) {
    ULONGLONG value = 0;
    for (int i = 0; i < bytes; i++) value |= ULONGLONG(BYTE(at[i])) << (8 * i);
    return value;
}
void PutUnitsAt(char* at, const WCHAR* units, size_t count) {
    for (size_t i = 0; i < count; i++) PutAt(at + 2 * i, units[i], 2);
}
void GetUnitsAt(const char* at, WCHAR* units, size_t count) {
    for (size_t i = 0; i < count; i++) units[i] = WCHAR(GetAt(at + 2 * i, 2));
}

// ---- the disk record (7124 bytes): offsets of its fields ------------------------

namespace disk {
constexpr size_t Drive = 0, FsFlags = 4, Serial = 8, Label = 12, FileSystem = 268, Device = 282,
                 DriveType = 794, TotalBytes = 800, FreeBytes = 808, UsedBytes = 816,
                 ClusterBytes = 824, SectorBytes = 826, ClusterSectors = 828, SlackBytes = 832,
                 SavedBytes = 840, TreeRows = 848, Files = 852, FileBytes = 856,
                 MatchFiles = 864, MatchBytes = 872, TagFiles = 888, TagBytes = 896,
                 TreeTop = 912, YBar = 920, SavedPath = 924, HasRefresh = 5024, ListKey = 5028,
                 ListIndex = 5036, ListTop = 5044, DirEntries = 5052, End = 5056;
static_assert(Device + 2 * 256 <= DriveType);
static_assert(SavedPath + 2 * 2 * 1025 == HasRefresh);
static_assert(End <= QLOG_DISK_RECORD_BYTES);
} // namespace disk

void WriteDiskRecord(const DiskInfo* d, char* r) {
    using namespace disk;
    std::memset(r, 0, QLOG_DISK_RECORD_BYTES);
    PutAt(r + Drive, d->cDrive, 1);
    PutAt(r + FsFlags, d->dwFsFlags, 4);
    PutAt(r + Serial, d->dwSerial, 4);
    std::memcpy(r + Label, d->szLabel, sizeof d->szLabel);
    std::memcpy(r + FileSystem, d->szFileSystem, sizeof d->szFileSystem);
    PutUnitsAt(r + Device, d->wszDevice, 256);
    PutAt(r + DriveType, d->bDriveType, 1);
    PutAt(r + TotalBytes, ULONGLONG(d->qwTotalBytes), 8);
    PutAt(r + FreeBytes, ULONGLONG(d->qwFreeBytes), 8);
    PutAt(r + UsedBytes, d->qwUsedBytes, 8);
    PutAt(r + ClusterBytes, d->wClusterBytes, 2);
    PutAt(r + SectorBytes, d->wSectorBytes, 2);
    PutAt(r + ClusterSectors, d->wClusterSectors, 2);
    PutAt(r + SlackBytes, ULONGLONG(d->qwSlackBytes), 8);
    PutAt(r + SavedBytes, ULONGLONG(d->qwSavedBytes), 8);
    PutAt(r + TreeRows, d->dwTreeRows, 4);
    PutAt(r + Files, d->dwFiles, 4);
    PutAt(r + FileBytes, d->qwFileBytes, 8);
    for (int p = 0; p < 2; p++) {
        PutAt(r + MatchFiles + 4 * p, d->dwMatchFiles[p], 4);
        PutAt(r + MatchBytes + 8 * p, d->qwMatchBytes[p], 8);
        PutAt(r + TagFiles + 4 * p, d->dwTagFiles[p], 4);
        PutAt(r + TagBytes + 8 * p, d->qwTagBytes[p], 8);
        PutAt(r + TreeTop + 4 * p, d->dwTreeTop[p], 4);
        PutAt(r + YBar + 2 * p, d->yBar[p], 2);
        PutUnitsAt(r + SavedPath + 2 * 1025 * p, d->wszSavedPath[p], 1025);
        PutAt(r + ListKey + 4 * p, d->dwListKey[p], 4);
        PutAt(r + ListIndex + 4 * p, d->dwListIndex[p], 4);
        PutAt(r + ListTop + 4 * p, d->dwListTop[p], 4);
    }
    PutAt(r + HasRefresh, d->bHasRefresh, 1);
    PutAt(r + DirEntries, d->dwDirEntries, 4);
}

// Where a disk record keeps the fields a loader takes from it. The file and
// tag figures are never taken: they are counted again from the records
// loaded. Absent marks a field the record does not hold (it reads as 0).
constexpr size_t Absent = size_t(-1);

struct DiskLayout {
    size_t bytes;
    size_t drive, fsFlags, serial;
    size_t label, labelBytes, fileSystem, fileSystemBytes;
    size_t device; // 256 UTF-16 units
    size_t driveType, totalBytes, freeBytes, usedBytes;
    size_t clusterBytes, sectorBytes, clusterSectors, slackBytes, savedBytes, treeRows;
    size_t treeTop, yBar;   // two u32, two u16
    size_t savedPath;       // two paths of savedPathUnits each
    size_t savedPathUnits;
    bool savedPathWide;     // UTF-16 units, else 8-bit OEM characters
    size_t hasRefresh;
};

// The current record.
constexpr DiskLayout kDiskF = {
    QLOG_DISK_RECORD_BYTES, disk::Drive, disk::FsFlags, disk::Serial, disk::Label, 256,
    disk::FileSystem, 14, disk::Device, disk::DriveType, disk::TotalBytes, disk::FreeBytes,
    disk::UsedBytes, disk::ClusterBytes, disk::SectorBytes, disk::ClusterSectors, disk::SlackBytes,
    disk::SavedBytes, disk::TreeRows, disk::TreeTop, disk::YBar, disk::SavedPath, 1025, true,
    disk::HasRefresh};

// Letters 'B' to 'E': the same fields up to the saved paths, which held 261
// units each; the rest of the 3380 bytes is unused.
namespace olddisk {
constexpr size_t SavedPath = disk::SavedPath, SavedPathUnits = 261,
                 HasRefresh = SavedPath + 2 * 2 * SavedPathUnits, End = HasRefresh + 32;
static_assert(HasRefresh == 1968);
static_assert(End <= QLOG_OLD_DISK_RECORD_BYTES);
} // namespace olddisk
constexpr DiskLayout kDiskOld = {
    QLOG_OLD_DISK_RECORD_BYTES, disk::Drive, disk::FsFlags, disk::Serial, disk::Label, 256,
    disk::FileSystem, 14, disk::Device, disk::DriveType, disk::TotalBytes, disk::FreeBytes,
    disk::UsedBytes, disk::ClusterBytes, disk::SectorBytes, disk::ClusterSectors, disk::SlackBytes,
    disk::SavedBytes, disk::TreeRows, disk::TreeTop, disk::YBar, olddisk::SavedPath,
    olddisk::SavedPathUnits, true, olddisk::HasRefresh};

// Letters up to 'A' (1500 bytes): an 8-bit label of 64 bytes, no device
// name, and the saved paths as 8-bit text of 261 bytes each.
namespace v1disk {
constexpr size_t Drive = 0, FsFlags = 4, Serial = 8, Label = 12, FileSystem = 76, DriveType = 90,
                 TotalBytes = 96, FreeBytes = 104, UsedBytes = 112, ClusterBytes = 120,
                 SectorBytes = 122, ClusterSectors = 124, SlackBytes = 128, SavedBytes = 136,
                 TreeRows = 144, TreeTop = 148, YBar = 156, SavedPath = 160, SavedPathUnits = 261,
                 HasRefresh = SavedPath + 2 * SavedPathUnits, End = HasRefresh + 4;
static_assert(HasRefresh == 682);
static_assert(End <= QLOG_V1_DISK_RECORD_BYTES);
} // namespace v1disk
constexpr DiskLayout kDiskV1 = {
    QLOG_V1_DISK_RECORD_BYTES, v1disk::Drive, v1disk::FsFlags, v1disk::Serial, v1disk::Label, 64,
    v1disk::FileSystem, 14, Absent, v1disk::DriveType, v1disk::TotalBytes, v1disk::FreeBytes,
    v1disk::UsedBytes, v1disk::ClusterBytes, v1disk::SectorBytes, v1disk::ClusterSectors,
    v1disk::SlackBytes, v1disk::SavedBytes, v1disk::TreeRows, v1disk::TreeTop, v1disk::YBar,
    v1disk::SavedPath, v1disk::SavedPathUnits, false, v1disk::HasRefresh};

// One 8-bit character of an old record in the OEM code page.
WCHAR OemUnit(char c) {
    if (BYTE(c) < 0x80) return WCHAR(BYTE(c));
    WCHAR unit = u'?';
    return MultiByteToWideChar(CP_OEMCP, 0, &c, 1, &unit, 1) == 1 ? unit : WCHAR(u'?');
}

// A text field of count units (wide) or characters (8-bit) into out, which
// holds at least count + 1 units; always ended by a zero.
void GetTextAt(const char* at, size_t count, bool wide, WCHAR* out) {
    for (size_t i = 0; i < count; i++) out[i] = wide ? WCHAR(GetAt(at + 2 * i, 2)) : OemUnit(at[i]);
    out[count] = 0;
}

void ReadDiskRecord(const char* r, const DiskLayout& l, DiskInfo* d) {
    auto field = [&](size_t at, int width) -> ULONGLONG { return at == Absent ? 0 : GetAt(r + at, width); };
    d->cDrive = BYTE(field(l.drive, 1));
    d->dwFsFlags = DWORD(field(l.fsFlags, 4));
    d->dwSerial = DWORD(field(l.serial, 4));
    std::memcpy(d->szLabel, r + l.label, std::min(l.labelBytes, sizeof d->szLabel));
    d->szLabel[std::min(l.labelBytes, sizeof d->szLabel - 1)] = 0;
    d->szLabel[sizeof d->szLabel - 1] = 0;
    std::memcpy(d->szFileSystem, r + l.fileSystem, std::min(l.fileSystemBytes, sizeof d->szFileSystem));
    d->szFileSystem[sizeof d->szFileSystem - 1] = 0;
    if (l.device != Absent) GetUnitsAt(r + l.device, d->wszDevice, 256);
    d->wszDevice[255] = 0;
    d->bDriveType = BYTE(field(l.driveType, 1));
    d->qwTotalBytes = LONGLONG(field(l.totalBytes, 8));
    d->qwFreeBytes = LONGLONG(field(l.freeBytes, 8));
    d->qwUsedBytes = field(l.usedBytes, 8);
    d->wClusterBytes = WORD(field(l.clusterBytes, 2));
    d->wSectorBytes = WORD(field(l.sectorBytes, 2));
    d->wClusterSectors = WORD(field(l.clusterSectors, 2));
    d->qwSlackBytes = LONGLONG(field(l.slackBytes, 8));
    d->qwSavedBytes = LONGLONG(field(l.savedBytes, 8));
    d->dwTreeRows = DWORD(field(l.treeRows, 4));
    const size_t pathBytes = l.savedPathUnits * (l.savedPathWide ? 2 : 1);
    for (int p = 0; p < 2; p++) {
        d->dwTreeTop[p] = DWORD(field(l.treeTop + 4 * p, 4));
        d->yBar[p] = WORD(field(l.yBar + 2 * p, 2));
        GetTextAt(r + l.savedPath + pathBytes * p, std::min<size_t>(l.savedPathUnits, 1024),
                  l.savedPathWide, d->wszSavedPath[p]);
        // The list state belongs to the session that wrote the file.
        d->dwListKey[p] = d->dwListIndex[p] = d->dwListTop[p] = 0;
    }
    d->bHasRefresh = BYTE(field(l.hasRefresh, 1));
}

// ---- directory and file records (72 bytes each) -------------------------------

namespace dirrec {
constexpr size_t Level = 0, NameWidth = 2, FileCount = 4, FileBytes = 8, Expanded = 16,
                 Visible = 17, Logged = 18, Refresh = 19, Attributes = 20, PaneWords = 24,
                 Changed = 40, Flags = 44, Dates = 48;
}
namespace filerec {
constexpr size_t Index = 0, ShortName = 2, Size = 32, Attributes = 40, Written = 44,
                 Flags = 52, Created = 56, Accessed = 64;
}

void WriteDirRecord(const SubdirInfo* d, DWORD files, std::string* out) {
    using namespace dirrec;
    char r[QLOG_DIR_RECORD_BYTES] = {};
    PutAt(r + Level, d->wLevel, 2);
    PutAt(r + NameWidth, d->wNameWidth, 2);
    PutAt(r + FileCount, files, 4);
    PutAt(r + FileBytes, d->qwFileBytes, 8);
    PutAt(r + Expanded, d->bExpanded, 1);
    PutAt(r + Visible, d->bVisible, 1);
    PutAt(r + Logged, d->bLogged, 1);
    PutAt(r + Refresh, d->bRefresh, 1);
    // The mode word rides in the attribute field's high half.
    PutAt(r + Attributes, d->wAttributes | (DWORD(d->wMode) << 16), 4);
    PutAt(r + PaneWords, d->dwPaneWord[0], 4);
    PutAt(r + PaneWords + 4, d->dwPaneWord[1], 4);
    PutAt(r + Changed, d->bChanged, 4);
    PutAt(r + Flags, d->bFlags[0], 1);
    PutAt(r + Flags + 1, d->bFlags[1], 1);
    const DWORD dates[6] = {d->dCreated, d->tCreated, d->dWritten, d->tWritten, d->dAccessed, d->tAccessed};
    for (int i = 0; i < 6; i++) PutAt(r + Dates + 4 * i, dates[i], 4);
    out->append(r, sizeof r);
}

// How a record keeps a date and time pair: two u32 packed values (date
// first), or DOS-style u16 date and u16 time (date first), converted.
enum class DateForm { Packed, Dos };

// Where a directory record keeps its fields (Absent: not held, read as 0).
struct DirLayout {
    size_t bytes;
    size_t level, nameWidth, fileCount, fileBytes;
    size_t states;         // bExpanded, bVisible, bLogged, bRefresh
    size_t attributes;
    int attributeWidth;    // 4: the mode word rides in the high half
    size_t paneWords, changed, flags;
    size_t created, written, accessed;
    DateForm dates;
};

constexpr DirLayout kDirF = {QLOG_DIR_RECORD_BYTES, dirrec::Level, dirrec::NameWidth,
                             dirrec::FileCount, dirrec::FileBytes, dirrec::Expanded,
                             dirrec::Attributes, 4, dirrec::PaneWords, dirrec::Changed,
                             dirrec::Flags, dirrec::Dates, dirrec::Dates + 8, dirrec::Dates + 16,
                             DateForm::Packed};

// Letter 'B' (48 bytes): the fields of the current record up to the pane
// words, then the written pair alone.
namespace bdirrec {
constexpr size_t Written = 40;
}
constexpr DirLayout kDirB = {QLOG_B_DIR_RECORD_BYTES, dirrec::Level, dirrec::NameWidth,
                             dirrec::FileCount, dirrec::FileBytes, dirrec::Expanded,
                             dirrec::Attributes, 4, dirrec::PaneWords, Absent, Absent, Absent,
                             bdirrec::Written, Absent, DateForm::Packed};

// Letters up to 'A' (48 bytes): a 16-bit attribute word, the panes' flag
// bytes beside it, and DOS-style written and created pairs.
namespace v1dirrec {
constexpr size_t Level = 0, NameWidth = 2, FileCount = 4, FileBytes = 8, States = 16,
                 Attributes = 20, Flags = 22, PaneWords = 24, Written = 40, Created = 44;
}
constexpr DirLayout kDirV1 = {QLOG_V1_DIR_RECORD_BYTES, v1dirrec::Level, v1dirrec::NameWidth,
                              v1dirrec::FileCount, v1dirrec::FileBytes, v1dirrec::States,
                              v1dirrec::Attributes, 2, v1dirrec::PaneWords, Absent, v1dirrec::Flags,
                              v1dirrec::Created, v1dirrec::Written, Absent, DateForm::Dos};

// A DOS date (day 0-4, month 5-8, years since 1980 from 9) and time (two
// seconds 0-4, minute 5-10, hour 11-15) as packed values; a zero date is
// no date.
void DosToPacked(WORD date, WORD time, PackedDate* packedDate, PackedTime* packedTime) {
    if (!date) {
        *packedDate = 0;
        *packedTime = 0;
        return;
    }
    *packedDate = PackDate(1980u + (date >> 9), (date >> 5) & 0xFu, date & 0x1Fu);
    *packedTime = PackTime(time >> 11, (time >> 5) & 0x3Fu, (time & 0x1Fu) * 2u, 0);
}

void GetDatePair(const char* r, size_t at, DateForm form, PackedDate* date, PackedTime* time) {
    if (at == Absent) {
        *date = 0;
        *time = 0;
    } else if (form == DateForm::Dos) {
        DosToPacked(WORD(GetAt(r + at, 2)), WORD(GetAt(r + at + 2, 2)), date, time);
    } else {
        *date = PackedDate(GetAt(r + at, 4));
        *time = PackedTime(GetAt(r + at + 4, 4));
    }
}

void ReadDirRecord(const char* r, const DirLayout& l, SubdirInfo* d) {
    auto field = [&](size_t at, int width) -> ULONGLONG { return at == Absent ? 0 : GetAt(r + at, width); };
    d->wLevel = DWORD(field(l.level, 2));
    d->wNameWidth = WORD(field(l.nameWidth, 2));
    d->qwFileBytes = field(l.fileBytes, 8);
    d->bExpanded = BYTE(field(l.states, 1));
    d->bVisible = BYTE(field(l.states + 1, 1));
    d->bLogged = BYTE(field(l.states + 2, 1));
    d->bRefresh = BYTE(field(l.states + 3, 1));
    const DWORD attributes = DWORD(field(l.attributes, l.attributeWidth));
    d->wAttributes = WORD(attributes);
    d->wMode = WORD(attributes >> 16);
    d->dwPaneWord[0] = DWORD(field(l.paneWords, 4));
    d->dwPaneWord[1] = DWORD(field(l.paneWords == Absent ? Absent : l.paneWords + 4, 4));
    d->bChanged = BYTE(field(l.changed, 4));
    d->bFlags[0] = BYTE(field(l.flags, 1));
    d->bFlags[1] = BYTE(field(l.flags == Absent ? Absent : l.flags + 1, 1));
    GetDatePair(r, l.created, l.dates, &d->dCreated, &d->tCreated);
    GetDatePair(r, l.written, l.dates, &d->dWritten, &d->tWritten);
    GetDatePair(r, l.accessed, l.dates, &d->dAccessed, &d->tAccessed);
}

void WriteFileRecord(const FileEntry* e, std::string* out) {
    using namespace filerec;
    char r[QLOG_FILE_RECORD_BYTES] = {};
    PutAt(r + Index, e->wIndex, 2);
    PutUnitsAt(r + ShortName, e->wszShortName, 13);
    PutAt(r + Size, e->qwSize, 8);
    PutAt(r + Attributes, e->wAttributes, 2);
    PutAt(r + Written, e->dWritten, 4);
    PutAt(r + Written + 4, e->tWritten, 4);
    PutAt(r + Flags, e->bFlags[0], 1);
    PutAt(r + Flags + 1, e->bFlags[1], 1);
    PutAt(r + Created, e->dCreated, 4);
    PutAt(r + Created + 4, e->tCreated, 4);
    PutAt(r + Accessed, e->dAccessed, 4);
    PutAt(r + Accessed + 4, e->tAccessed, 4);
    out->append(r, sizeof r);
}

// Where a file record keeps its fields (Absent: not held, read as 0).
struct FileLayout {
    size_t bytes;
    size_t index, shortName;
    bool wideName; // 13 UTF-16 units, else 13 8-bit OEM characters
    size_t size, attributes, flags;
    size_t created, written, accessed;
    DateForm dates;
};

constexpr FileLayout kFileF = {QLOG_FILE_RECORD_BYTES, filerec::Index, filerec::ShortName, true,
                               filerec::Size, filerec::Attributes, filerec::Flags, filerec::Created,
                               filerec::Written, filerec::Accessed, DateForm::Packed};
// Letter 'B' (56 bytes): the current record without its created and
// accessed pairs.
constexpr FileLayout kFileB = {QLOG_B_FILE_RECORD_BYTES, filerec::Index, filerec::ShortName, true,
                               filerec::Size, filerec::Attributes, filerec::Flags, Absent,
                               filerec::Written, Absent, DateForm::Packed};
// Letters up to 'A' (40 bytes): an 8-bit 8.3 name and DOS-style pairs.
namespace v1filerec {
constexpr size_t Index = 0, ShortName = 2, Size = 16, Attributes = 24, Flags = 26, Written = 28,
                 Created = 32, Accessed = 36;
}
constexpr FileLayout kFileV1 = {QLOG_V1_FILE_RECORD_BYTES, v1filerec::Index, v1filerec::ShortName,
                                false, v1filerec::Size, v1filerec::Attributes, v1filerec::Flags,
                                v1filerec::Created, v1filerec::Written, v1filerec::Accessed,
                                DateForm::Dos};

void ReadFileRecord(const char* r, const FileLayout& l, FileEntry* e) {
    auto field = [&](size_t at, int width) -> ULONGLONG { return at == Absent ? 0 : GetAt(r + at, width); };
    e->wIndex = DWORD(field(l.index, 2));
    GetTextAt(r + l.shortName, 12, l.wideName, e->wszShortName);
    e->qwSize = field(l.size, 8);
    e->wAttributes = WORD(field(l.attributes, 2));
    e->bFlags[0] = BYTE(field(l.flags, 1));
    e->bFlags[1] = BYTE(field(l.flags + 1, 1));
    GetDatePair(r, l.created, l.dates, &e->dCreated, &e->tCreated);
    GetDatePair(r, l.written, l.dates, &e->dWritten, &e->tWritten);
    GetDatePair(r, l.accessed, l.dates, &e->dAccessed, &e->tAccessed);
}

// ---- the pane header (70 bytes) -----------------------------------------------

// Each pane keeps five sort levels: level 1 is its file order, level 2 its
// directory order, levels 3 to 5 are unused here and written as zero.
void SortLevels(int pane, SortSpec levels[5]) {
    std::memset(levels, 0, 5 * sizeof(SortSpec));
    levels[0] = gFileOrder[pane];
    levels[1] = gDirOrder[pane];
}
void PutKey(char* at, const SortSpec& s) {
    at[0] = char(s.key), at[1] = char(s.pathFirst), at[2] = char(s.descending), at[3] = char(s.charset);
}
SortSpec GetSpec(const char* key, char fifth) {
    SortSpec s{};
    s.key = BYTE(key[0]), s.pathFirst = BYTE(key[1]), s.descending = BYTE(key[2]), s.charset = BYTE(key[3]);
    s.timestamp = BYTE(fifth);
    if (s.key >= SORT_KEY_COUNT) s.key = SORT_NAME;
    return s;
}

void WritePaneHeader(char h[QLOG_PANE_HEADER_BYTES]) {
    std::memset(h, 0, QLOG_PANE_HEADER_BYTES);
    SortSpec second[5], first[5];
    SortLevels(1, second);
    SortLevels(0, first);
    PutKey(h + 0, second[0]);
    h[4] = char(gDisplayMode[0]);
    h[5] = char(gDisplayMode[1]);
    for (int i = 1; i < 5; i++) PutKey(h + 6 + 4 * (i - 1), second[i]);
    h[22] = char(gSplitSortDifferent ? 1 : 0);
    h[23] = 0; // pane linking is not kept by this program
    h[24] = char(gDirMode[0] ? 1 : 0);
    h[25] = char(gDirMode[1] ? 1 : 0);
    for (int i = 0; i < 5; i++) PutKey(h + 26 + 4 * i, first[i]);
    for (int i = 0; i < 5; i++) h[46 + i] = char(second[i].timestamp);
    for (int i = 0; i < 5; i++) h[51 + i] = char(first[i].timestamp);
}

void ApplyPaneHeader(const char* h) {
    gDisplayMode[0] = BYTE(h[4]);
    gDisplayMode[1] = BYTE(h[5]);
    gFileOrder[1] = GetSpec(h + 0, h[46]);
    gDirOrder[1] = GetSpec(h + 6, h[47]);
    gFileOrder[0] = GetSpec(h + 26, h[51]);
    gDirOrder[0] = GetSpec(h + 30, h[52]);
    gSplitSortDifferent = h[22] != 0;
    gDirMode[0] = h[24] != 0;
    gDirMode[1] = h[25] != 0;
}

// How much of the pane header a file of a letter holds: up to '8' only the
// first 6 bytes; up to 'C' neither the first pane's levels nor the fifth
// bytes of the levels; 'D' no fifth bytes; the later letters all 70. The
// zero tail is there in each but the shortest.
size_t PaneHeaderBytes(char letter) {
    if (letter <= '8') return 6;
    if (letter <= 'C') return QLOG_PANE_HEADER_BYTES - 20 - 10;
    if (letter == 'D') return QLOG_PANE_HEADER_BYTES - 10;
    return QLOG_PANE_HEADER_BYTES;
}

// The header bytes an older file holds, laid over the header of the panes
// as they are now, so that what the file lacks keeps the session's values.
void ExpandPaneHeader(char letter, const char* in, char out[QLOG_PANE_HEADER_BYTES]) {
    WritePaneHeader(out);
    const size_t held = PaneHeaderBytes(letter);
    // Bytes 0-25 (the second pane's keys, the display modes and the four
    // switches) lead in every form; the first pane's levels follow from 'D'
    // on, the fifth bytes from 'E' on.
    std::memcpy(out, in, std::min<size_t>(held, 26));
    if (letter >= 'D') std::memcpy(out + 26, in + 26, 20);
    if (letter >= 'E') std::memcpy(out + 46, in + 46, 10);
}

// ---- the switch line --------------------------------------------------------------

enum class SwitchForm { OnOff, Number, At, Char, SplitSize, Complement };

SwitchForm FormOf(size_t position) {
    switch (position) {
    case 1: case 3: case 4: case 5: case 6: case 9: case 10: case 24: case 25: case 26: case 28:
        return SwitchForm::OnOff;
    case 15: return SwitchForm::At;
    case 18: return SwitchForm::Char;
    case 20: return SwitchForm::SplitSize;
    case 22: return SwitchForm::Complement;
    default: return SwitchForm::Number;
    }
}

// How a format letter lays out its records; every letter is read by the
// one parser below, which checks all of them alike.
struct QlogFormat {
    const DiskLayout* disk;
    const DirLayout* dir;
    const FileLayout* file;
    bool wideSwitches;  // 32 UTF-16 units, else 64 8-bit characters
    bool bookmarkLine;  // the bookmarks end at the last bar of one line
};
constexpr QlogFormat kFormatF = {&kDiskF, &kDirF, &kFileF, true, false};
constexpr QlogFormat kFormatCToE = {&kDiskOld, &kDirF, &kFileF, true, false};
constexpr QlogFormat kFormatB = {&kDiskOld, &kDirB, &kFileB, true, false};
constexpr QlogFormat kFormatV1 = {&kDiskV1, &kDirV1, &kFileV1, false, true};

// ---- reading ----------------------------------------------------------------------

struct Reader {
    std::string_view bytes;
    size_t at = 0;
    size_t Left() const { return bytes.size() - at; }
    bool Take(size_t n, const char** where) {
        if (Left() < n) return false;
        *where = bytes.data() + at;
        at += n;
        return true;
    }
    bool Number(int width, ULONGLONG* value) {
        const char* p;
        if (!Take(size_t(width), &p)) return false;
        *value = GetAt(p, width);
        return true;
    }
    bool Line(std::u16string* text) {
        const size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos) return false;
        const std::string_view body = bytes.substr(at, end - at);
        at = end + 1;
        return DecodeQlogLine(body, text);
    }
};

// What a file holds, parsed into records that nothing else can see yet.
struct Staged {
    std::vector<DiskInfo*> disks; // in the file's order; the first is current
    std::vector<bool> treeRead;
    DiskInfo* lastTree = nullptr;
    char split = 0;
    char header[QLOG_PANE_HEADER_BYTES] = {};
    WCHAR switchLine[32] = {};
    BYTE paneBytes[4] = {};
    std::u16string filespec[2], path[2], extraSpec[2];
    std::vector<std::u16string> bookmarks;
    std::vector<MemoNode> memo[2];

    Staged() = default;
    Staged(const Staged&) = delete;
    Staged& operator=(const Staged&) = delete;
    ~Staged() {
        for (DiskInfo* d : disks) FreeStagedDisk(d);
    }
    // Before threading, psiNext leads to the next sibling only.
    static void FreeStagedDisk(DiskInfo* disk) {
        std::vector<SubdirInfo*> pending;
        if (disk->psiRoot) pending.push_back(disk->psiRoot);
        while (!pending.empty()) {
            SubdirInfo* d = pending.back();
            pending.pop_back();
            if (d->psiNext) pending.push_back(d->psiNext);
            if (d->psiChild) pending.push_back(d->psiChild);
            if (d->pFiles) {
                for (FileEntry* e = d->pFiles; e->wszShortName[0]; e++) std::free(e->pszLongName);
                std::free(d->pFiles);
            }
            std::free(d->pszFullName);
            std::free(d);
        }
        std::free(disk);
    }
};

WCHAR* DupUnits(std::u16string_view text) {
    auto* copy = static_cast<WCHAR*>(CHECKED_MALLOC((text.size() + 1) * sizeof(WCHAR), kModule));
    std::memcpy(copy, text.data(), text.size() * sizeof(WCHAR));
    copy[text.size()] = 0;
    return copy;
}

WORD NameWidthFor(WORD stored, size_t length) {
    const size_t least = length + 1;
    if (stored >= least) return stored;
    return WORD(std::max<size_t>(std::min<size_t>(least, 0xFFFF), 14));
}

bool Interrupted(const char* question) {
    if (!gInterruptRequested.load()) return false;
    gInterruptRequested = 0;
    return ShowError(1, question) == 27;
}

// The trees of the file: every directory in pre-order, each tied to its
// parent by its level, threaded once all are read.
QlogResult ParseTrees(Reader* in, const QlogFormat& format, Staged* s) {
    struct Open {
        SubdirInfo* dir;
        SubdirInfo* lastChild;
    };
    std::vector<Open> stack; // stack[level]
    for (;;) {
        if (in->Left() >= 2 && in->bytes.substr(in->at, 2) == "QV") {
            in->at += 2;
            return QLOG_OK;
        }
        const char* r;
        if (!in->Take(format.dir->bytes, &r)) return QLOG_MALFORMED;
        const DWORD level = DWORD(GetAt(r + format.dir->level, 2));
        const DWORD files = DWORD(GetAt(r + format.dir->fileCount, 4));
        std::u16string name;
        if (!in->Line(&name) || name.empty() || name.find(u'\0') != std::u16string::npos) return QLOG_MALFORMED;
        SubdirInfo* dir = nullptr;
        if (level == 0) {
            WCHAR letter = name[0];
            if (letter >= u'a' && letter <= u'z') letter = WCHAR(letter - 32);
            size_t which = s->disks.size();
            for (size_t i = 0; i < s->disks.size(); i++)
                if (s->disks[i]->cDrive == letter) which = i;
            if (which == s->disks.size() || s->treeRead[which]) return QLOG_MALFORMED;
            if (name.size() > TREE_MAX_FULL_NAME) return QLOG_MALFORMED;
            s->treeRead[which] = true;
            DiskInfo* disk = s->disks[which];
            dir = disk->psiRoot;
            std::free(dir->pszFullName);
            dir->pszFullName = DupUnits(name);
            dir->pszName = dir->pszFullName;
            ReadDirRecord(r, *format.dir, dir);
            dir->wLevel = 0;
            // A root's column is as wide as the logging makes it: room for
            // the device name, at least 14.
            size_t device = 0;
            while (device < 255 && disk->wszDevice[device]) device++;
            dir->wNameWidth = WORD(std::max<size_t>(device + 5, 14));
            stack.assign(1, {dir, nullptr});
            s->lastTree = disk;
        } else {
            // A level may only step one below the directory read before it.
            if (stack.empty() || level > stack.size()) return QLOG_MALFORMED;
            if (name.find(u'\\') != std::u16string::npos || name.find(u'/') != std::u16string::npos)
                return QLOG_MALFORMED;
            stack.resize(level);
            Open& parent = stack[level - 1];
            const std::u16string_view parentName(parent.dir->pszFullName);
            const bool joinBar = parentName.empty() || parentName.back() != u'\\';
            const size_t length = parentName.size() + (joinBar ? 1 : 0) + name.size();
            if (length > TREE_MAX_FULL_NAME) return QLOG_MALFORMED;
            std::u16string full(parentName);
            if (joinBar) full.push_back(u'\\');
            full += name;
            dir = AllocSubdirRecord();
            ReadDirRecord(r, *format.dir, dir);
            dir->wLevel = level;
            dir->pszFullName = DupUnits(full);
            dir->pszName = dir->pszFullName + (full.size() - name.size());
            dir->wNameWidth = NameWidthFor(dir->wNameWidth, name.size());
            dir->psiParent = parent.dir;
            dir->pdiDisk = parent.dir->pdiDisk;
            // Linked at once (psiNext to the next sibling for now), so that a
            // refusal later frees it with its disk.
            if (parent.lastChild) {
                parent.lastChild->psiNext = dir;
            } else {
                parent.dir->psiChild = dir;
            }
            parent.dir->dwChildren++;
            parent.lastChild = dir;
            stack.push_back({dir, nullptr});
        }
        if (level == 0 && dir->pFiles) return QLOG_MALFORMED;
        // Each file needs its record and at least its line feed.
        if (files > in->Left() / (format.file->bytes + 1)) return QLOG_MALFORMED;
        dir->pFiles = AllocFileArray(files);
        dir->dwFiles = files;
        bool indicesFit = files <= 0xFFFF;
        std::vector<bool> seen(indicesFit ? files + 1 : 0);
        for (DWORD i = 0; i < files; i++) {
            FileEntry* e = dir->pFiles + i;
            const char* fr;
            if (!in->Take(format.file->bytes, &fr)) return QLOG_MALFORMED;
            ReadFileRecord(fr, *format.file, e);
            e->psiOwner = dir;
            std::u16string longName;
            if (!e->wszShortName[0] || !in->Line(&longName)) {
                e->wszShortName[0] = e->wszShortName[0] ? e->wszShortName[0] : u'?';
                return QLOG_MALFORMED;
            }
            // A name is one path component: no separator, no zero inside.
            const std::u16string_view shortName(e->wszShortName);
            if (shortName.find_first_of(u"\\/") != std::u16string_view::npos ||
                longName.find_first_of(u"\\/") != std::u16string::npos ||
                longName.find(u'\0') != std::u16string::npos)
                return QLOG_MALFORMED;
            if (!longName.empty()) e->pszLongName = DupUnits(longName);
            if (indicesFit) {
                if (e->wIndex == 0 || e->wIndex > files || seen[e->wIndex]) indicesFit = false;
                else seen[e->wIndex] = true;
            }
        }
        // The file keeps 16 bits of each index: when they do not make a set
        // of distinct indices, every file gets a fresh one by its place.
        if (!indicesFit)
            for (DWORD i = 0; i < files; i++) dir->pFiles[i].wIndex = i + 1;
        // The directory's bytes are its files' sizes, whatever the record says.
        dir->qwFileBytes = 0;
        for (DWORD i = 0; i < files; i++) dir->qwFileBytes += dir->pFiles[i].qwSize;
        if (gQlogDirectoryRead) gQlogDirectoryRead();
        if (Interrupted("QLOG loading interrupted!  Continue?")) return QLOG_ABANDONED;
    }
}

// Threads every staged tree: a directory's psiNext is its next sibling,
// else its parent's psiNext, so the row after a whole branch.
void ThreadTree(DiskInfo* disk) {
    SubdirInfo* root = disk->psiRoot;
    root->psiNext = nullptr;
    DWORD dirs = 0;
    // The parse left psiNext holding the next sibling (or null). Walk in
    // pre-order; a directory without a next sibling takes its parent's.
    std::vector<SubdirInfo*> order;
    for (SubdirInfo* d = root; d;) {
        order.push_back(d);
        dirs++;
        if (d->psiChild) {
            d = d->psiChild;
            continue;
        }
        // Climb to the first ancestor (or d) with a next sibling.
        SubdirInfo* up = d;
        while (up != root && !up->psiNext) up = up->psiParent;
        d = up == root ? nullptr : up->psiNext;
    }
    for (SubdirInfo* d : order)
        if (d != root && !d->psiNext) d->psiNext = d->psiParent->psiNext;
    disk->dwDirEntries = dirs;
}

// The bookmarks of letters 'B' on: each entry escaped and followed by a
// bar, up to the marker "QV" and a line feed (a line feed inside an entry
// is always escaped, so the marker cannot occur in one).
bool ParseBookmarks(Reader* in, Staged* s) {
    const size_t marker = in->bytes.find("QV\n", in->at);
    if (marker == std::string_view::npos) return false;
    const std::string_view text = in->bytes.substr(in->at, marker - in->at);
    for (size_t start = 0; start < text.size();) {
        const size_t bar = text.find('|', start);
        if (bar == std::string_view::npos) return false;
        std::u16string entry;
        if (!DecodeQlogLine(text.substr(start, bar - start), &entry)) return false;
        s->bookmarks.push_back(std::move(entry)); // an escaped bar stays inside its entry
        start = bar + 1;
    }
    in->at = marker + 3;
    return true;
}

// The bookmarks of letters up to 'A': one line whose entries end at its
// last bar; what follows that bar is the marker "QV".
bool ParseBookmarkLine(Reader* in, Staged* s) {
    const size_t end = in->bytes.find('\n', in->at);
    if (end == std::string_view::npos) return false;
    const std::string_view line = in->bytes.substr(in->at, end - in->at);
    const size_t last = line.rfind('|');
    const size_t tail = last == std::string_view::npos ? 0 : last + 1;
    if (line.substr(tail) != "QV") return false;
    for (size_t start = 0; start < tail;) {
        const size_t bar = line.find('|', start);
        std::u16string entry;
        if (!DecodeQlogLine(line.substr(start, bar - start), &entry)) return false;
        s->bookmarks.push_back(std::move(entry));
        start = bar + 1;
    }
    in->at = end + 1;
    return true;
}

// Parses a whole image into s; nothing outside s is touched. The caller has
// checked the magic, the letter and the tail.
QlogResult ParseImage(std::string_view image, const QlogFormat& format, Staged* s) {
    Reader in{image.substr(0, image.size() - 2), 0};
    const char* p = nullptr;
    if (!in.Take(4, &p)) return QLOG_MALFORMED;
    const char letter = p[2];
    s->split = p[3];
    if (!in.Take(PaneHeaderBytes(letter), &p)) return QLOG_MALFORMED;
    ExpandPaneHeader(letter, p, s->header);
    if (!in.Take(64, &p)) return QLOG_MALFORMED;
    if (format.wideSwitches) {
        GetUnitsAt(p, s->switchLine, 32);
    } else {
        for (size_t i = 0; i < 32; i++) s->switchLine[i] = WCHAR(BYTE(p[i]));
    }
    if (!in.Line(&s->filespec[0]) || !in.Line(&s->filespec[1])) return QLOG_MALFORMED;
    if (!in.Take(4, &p)) return QLOG_MALFORMED;
    std::memcpy(s->paneBytes, p, 4);
    for (int i = 0; i < 2; i++)
        if (!in.Line(&s->path[i]) || s->path[i].empty()) return QLOG_MALFORMED;
    ULONGLONG count;
    if (!in.Number(1, &count)) return QLOG_MALFORMED;
    for (ULONGLONG i = 0; i < count; i++) {
        const char* r;
        if (!in.Take(format.disk->bytes, &r)) return QLOG_MALFORMED;
        DiskInfo* disk = AllocDiskRecord();
        ReadDiskRecord(r, *format.disk, disk);
        s->disks.push_back(disk);
        s->treeRead.push_back(false);
        SubdirInfo* root = AllocSubdirRecord();
        disk->psiRoot = root;
        const WCHAR rootName[4] = {WCHAR(disk->cDrive), u':', u'\\', 0};
        root->pszFullName = DupUnits(rootName);
        root->pszName = root->pszFullName;
        root->wNameWidth = 14;
        root->bVisible = 1;
        root->psiParent = root;
        root->pdiDisk = disk;
        root->pFiles = nullptr;
        const BYTE c = disk->cDrive;
        if (c < 'A' || c > 'Z') return QLOG_MALFORMED;
        for (size_t j = 0; j + 1 < s->disks.size(); j++)
            if (s->disks[j]->cDrive == c) return QLOG_MALFORMED;
    }
    const QlogResult trees = ParseTrees(&in, format, s);
    if (trees != QLOG_OK) return trees;
    if (!(format.bookmarkLine ? ParseBookmarkLine(&in, s) : ParseBookmarks(&in, s))) return QLOG_MALFORMED;
    if (!in.Line(&s->extraSpec[0]) || !in.Line(&s->extraSpec[1])) return QLOG_MALFORMED;
    for (int list : {1, 0}) {
        ULONGLONG items;
        if (!in.Number(2, &items)) return QLOG_MALFORMED;
        if (items > in.Left() / 5) return QLOG_MALFORMED;
        for (ULONGLONG i = 0; i < items; i++) {
            ULONGLONG kind, keyLength;
            std::u16string line;
            if (!in.Number(2, &kind) || !in.Number(2, &keyLength) || !in.Line(&line)) return QLOG_MALFORMED;
            if (keyLength > line.size()) return QLOG_MALFORMED;
            s->memo[list].push_back({WORD(kind), line.substr(0, keyLength), line.substr(keyLength)});
        }
    }
    if (in.Left() != 0) return QLOG_MALFORMED;
    for (DiskInfo* d : s->disks) ThreadTree(d);
    return QLOG_OK;
}

// The loader of letters 'B' to 'F'.
QlogResult QlogLoadRecords(std::string_view image, Staged* s) {
    switch (image[2]) {
    case 'F': return ParseImage(image, kFormatF, s);
    case 'C': case 'D': case 'E': return ParseImage(image, kFormatCToE, s);
    case 'B': return ParseImage(image, kFormatB, s);
    default: return QLOG_MALFORMED; // a letter newer than this program
    }
}

// The loader of the oldest letters, '7' to 'A'.
QlogResult QlogLoadV1(std::string_view image, Staged* s) { return ParseImage(image, kFormatV1, s); }

void WriteTree(const DiskInfo* disk, std::string* out) {
    for (const SubdirInfo* d = disk->psiRoot; d; d = d->psiChild ? d->psiChild : d->psiNext) {
        DWORD files = 0;
        if (d->pFiles)
            while (d->pFiles[files].wszShortName[0]) files++;
        WriteDirRecord(d, files, out);
        *out += EncodeQlogLine(d->pszName ? d->pszName : u"");
        out->push_back('\n');
        for (DWORD i = 0; i < files; i++) {
            const FileEntry* e = d->pFiles + i;
            WriteFileRecord(e, out);
            if (e->pszLongName) *out += EncodeQlogLine(e->pszLongName);
            out->push_back('\n');
        }
    }
}

const SubdirInfo* PaneDirectory(int pane) {
    if (pane == (gCurrentPane & 1) && psiCurrent) return psiCurrent;
    return gPanes[pane].Directory;
}

void PutLine(std::string* out, std::u16string_view text) {
    *out += EncodeQlogLine(text);
    out->push_back('\n');
}

std::u16string SlotText(int slot) { return std::u16string(gFilterSlots[slot].fullText); }

void ApplySlot(int slot, const std::u16string& text) {
    if (text.empty()) return;
    char message[128];
    BOOL truncated = FALSE;
    CompileFilterText(text.c_str(), &gFilterSlots[slot], message, sizeof message, &truncated);
}

} // namespace

// ---- public -------------------------------------------------------------------------

std::string EncodeQlogLine(std::u16string_view text, bool bookmark) {
    std::string out;
    out.reserve(text.size());
    auto escape = [&](WCHAR unit) {
        static const char hex[] = "0123456789ABCDEF";
        out.push_back(char(kEscape));
        for (int shift = 12; shift >= 0; shift -= 4) out.push_back(hex[(unit >> shift) & 0xF]);
    };
    for (size_t i = 0; i < text.size(); i++) {
        const char32_t u = text[i];
        if (u < 0x20 || u == 0x7F || (bookmark && u == u'|')) {
            escape(WCHAR(u));
        } else if (u < 0x80) {
            out.push_back(char(u));
        } else if (u < 0x800) {
            out.push_back(char(0xC0 | (u >> 6)));
            out.push_back(char(0x80 | (u & 0x3F)));
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                   text[i + 1] <= 0xDFFF) {
            const char32_t c = 0x10000 + ((u - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            i++;
            out.push_back(char(0xF0 | (c >> 18)));
            out.push_back(char(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            escape(WCHAR(u)); // a lone surrogate, such as an escaped file-name byte
        } else {
            out.push_back(char(0xE0 | (u >> 12)));
            out.push_back(char(0x80 | ((u >> 6) & 0x3F)));
            out.push_back(char(0x80 | (u & 0x3F)));
        }
    }
    return out;
}

bool DecodeQlogLine(std::string_view line, std::u16string* text) {
    text->clear();
    size_t i = 0;
    auto cont = [&](size_t k) { return k < line.size() && (BYTE(line[k]) & 0xC0) == 0x80; };
    while (i < line.size()) {
        const BYTE b = BYTE(line[i]);
        if (b == kEscape) {
            if (i + 5 > line.size()) return false;
            unsigned v = 0;
            for (size_t k = 1; k <= 4; k++) {
                const char c = line[i + k];
                unsigned d;
                if (c >= '0' && c <= '9') d = unsigned(c - '0');
                else if (c >= 'A' && c <= 'F') d = unsigned(c - 'A' + 10);
                else return false;
                v = v * 16 + d;
            }
            text->push_back(WCHAR(v));
            i += 5;
        } else if (b < 0x80) {
            if (b == '\n') return false;
            text->push_back(WCHAR(b));
            i++;
        } else if ((b & 0xE0) == 0xC0 && cont(i + 1)) {
            const char32_t c = char32_t(b & 0x1F) << 6 | (BYTE(line[i + 1]) & 0x3F);
            if (c < 0x80) return false;
            text->push_back(WCHAR(c));
            i += 2;
        } else if ((b & 0xF0) == 0xE0 && cont(i + 1) && cont(i + 2)) {
            const char32_t c = char32_t(b & 0x0F) << 12 | char32_t(BYTE(line[i + 1]) & 0x3F) << 6 |
                               (BYTE(line[i + 2]) & 0x3F);
            if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF)) return false;
            text->push_back(WCHAR(c));
            i += 3;
        } else if ((b & 0xF8) == 0xF0 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            const char32_t c = char32_t(b & 0x07) << 18 | char32_t(BYTE(line[i + 1]) & 0x3F) << 12 |
                               char32_t(BYTE(line[i + 2]) & 0x3F) << 6 | (BYTE(line[i + 3]) & 0x3F);
            if (c < 0x10000 || c > 0x10FFFF) return false;
            text->push_back(WCHAR(0xD800 + ((c - 0x10000) >> 10)));
            text->push_back(WCHAR(0xDC00 + ((c - 0x10000) & 0x3FF)));
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

void EncodeSwitchLine(const QlogPaneSwitches& switches, WCHAR out[32]) {
    for (size_t i = 0; i < 32; i++) out[i] = 0;
    for (size_t pos = 1; pos <= QLOG_SWITCH_COUNT; pos++) {
        const BYTE v = switches.window[pos - 1];
        WCHAR unit = 0;
        switch (FormOf(pos)) {
        case SwitchForm::OnOff: unit = v ? u'1' : u'0'; break;
        case SwitchForm::Number: unit = WCHAR(u'0' + v); break;
        case SwitchForm::At: unit = WCHAR(u'@' + v); break;
        case SwitchForm::Char: unit = v ? WCHAR(v) : u'0'; break;
        case SwitchForm::SplitSize: unit = v ? WCHAR(v + 15) : WCHAR(255); break;
        case SwitchForm::Complement: unit = WCHAR(255 - v); break;
        }
        out[pos - 1] = unit;
    }
}

void DecodeSwitchLine(const WCHAR in[32], QlogPaneSwitches* switches) {
    for (size_t pos = 1; pos <= QLOG_SWITCH_COUNT; pos++) {
        const WCHAR u = in[pos - 1];
        int v = 0;
        switch (FormOf(pos)) {
        case SwitchForm::OnOff: v = u == u'1'; break;
        case SwitchForm::Number: v = u >= u'0' ? u - u'0' : 0; break;
        case SwitchForm::At: v = u >= u'@' ? u - u'@' : 0; break;
        case SwitchForm::Char: v = u == u'0' ? 0 : u; break;
        case SwitchForm::SplitSize: v = u == 255 || u < 15 ? 0 : u - 15; break;
        case SwitchForm::Complement: v = u <= 255 ? 255 - u : 0; break;
        }
        if (v < 0 || v > 255) v = 0;
        if (pos == 2 && (v < 1 || v > 4)) v = 0;
        if (pos == 7 && (v < 1 || v > 3)) v = 0;
        switches->window[pos - 1] = BYTE(v);
    }
}

bool BuildQlogImage(const QlogPaneSwitches& switches, std::string* out) {
    out->clear();
    *out += "QV";
    out->push_back(QLOG_FORMAT);
    out->push_back(char(gSplitScreen ? (gCurrentPane & 1) + 1 : 0));
    char header[QLOG_PANE_HEADER_BYTES];
    WritePaneHeader(header);
    out->append(header, sizeof header);
    WCHAR line[32];
    EncodeSwitchLine(switches, line);
    for (WCHAR u : line) Put(out, u, 2);
    PutLine(out, SlotText(0));
    PutLine(out, gSplitScreen ? SlotText(1) : u"");
    out->append(reinterpret_cast<const char*>(switches.pane), 4);
    for (int p = 0; p < 2; p++) {
        const SubdirInfo* dir = PaneDirectory(p);
        std::u16string text = dir && dir->bExpanded ? u" " : u"+";
        if (dir) text += dir->pszFullName;
        PutLine(out, text);
    }
    std::vector<const DiskInfo*> ring;
    if (pdiCurrent) {
        const DiskInfo* d = pdiCurrent;
        do {
            ring.push_back(d);
            d = d->pdiNext ? d->pdiNext : pdiFirst;
        } while (d && d != pdiCurrent && ring.size() < 256);
    }
    Put(out, ring.size(), 1);
    for (const DiskInfo* d : ring) {
        char record[QLOG_DISK_RECORD_BYTES];
        WriteDiskRecord(d, record);
        out->append(record, sizeof record);
    }
    // The trees begin with the disk after the current one, so that the
    // current disk's tree comes last and is current again after loading.
    for (size_t i = 0; i < ring.size(); i++) {
        WriteTree(ring[(i + 1) % ring.size()], out);
        if (gQlogTreeWritten) gQlogTreeWritten();
        if (Interrupted("QLOG saving interrupted!  Continue?")) return false;
    }
    *out += "QV";
    for (size_t i = 0; i < LoggedPathCount(); i++) {
        *out += EncodeQlogLine(LoggedPathAt(i), true);
        out->push_back('|');
    }
    *out += "QV\n";
    PutLine(out, SlotText(3));
    PutLine(out, gSplitScreen ? SlotText(4) : u"");
    for (int list : {1, 0}) {
        Put(out, MemoCount(list), 2);
        for (size_t i = 0; i < MemoCount(list); i++) {
            const MemoNode* node = MemoAt(list, i);
            Put(out, node->kind, 2);
            Put(out, node->key.size(), 2);
            // The key leads the line, so that loading gets it back whole.
            PutLine(out, node->key + node->value);
        }
    }
    *out += "QV";
    return true;
}

QlogResult ApplyQlogImage(std::string_view image, int mode, QlogPaneSwitches* switches) {
    Staged s;
    if (image.size() < QLOG_MIN_BYTES || image.substr(0, 2) != "QV" || image[2] < '7' ||
        image.substr(image.size() - 2) != "QV")
        return QLOG_INVALID;
    const QlogResult parsed = image[2] <= 'A' ? QlogLoadV1(image, &s) : QlogLoadRecords(image, &s);
    if (parsed != QLOG_OK) return parsed;
    // Everything is read and sound: only now is anything logged released.
    if (mode == 1) {
        while (pdiFirst) ReleaseDisk(pdiFirst);
        gSplitScreen = s.split ? 1 : 0;
        SetCurrentPane(s.split ? WORD((BYTE(s.split) - 1) & 1) : WORD(0));
        ApplyPaneHeader(s.header);
        if (switches) {
            DecodeSwitchLine(s.switchLine, switches);
            std::memcpy(switches->pane, s.paneBytes, 4);
        }
    } else {
        for (DiskInfo* d : s.disks)
            if (DiskInfo* old = FindVolume(d->cDrive)) ReleaseDisk(old);
    }
    DiskInfo* current = s.disks.empty() ? nullptr : s.disks.front();
    for (DiskInfo* d : s.disks) LinkDiskRecord(d);
    std::vector<DiskInfo*> linked = std::move(s.disks);
    s.disks.clear();
    if (current) {
        pdiCurrent = current;
        psiCurrent = current->psiRoot;
    }
    if (mode == 1) {
        ApplySlot(0, s.filespec[0]);
        ApplySlot(1, s.filespec[1]);
        ApplySlot(3, s.extraSpec[0]);
        ApplySlot(4, s.extraSpec[1]);
        SetLoggedPaths(s.bookmarks.data(), s.bookmarks.size());
        VolumePathMemo(2, nullptr, nullptr);
        VolumePathMemoAlt(2, nullptr, nullptr);
        for (int list = 0; list < 2; list++)
            for (const MemoNode& n : s.memo[list]) MemoAppend(list, n.kind, n.key, n.value);
        for (int p = 0; p < 2; p++) {
            const std::u16string path = s.path[p].substr(1);
            SubdirInfo* dir = path.empty() ? nullptr : FindDirByPathAnyDisk(path.c_str(), nullptr, TRUE);
            gPanes[p].Directory = dir;
            gPanes[p].Disk = dir ? dir->pdiDisk : nullptr;
            if (dir && p == (gCurrentPane & 1)) {
                pdiCurrent = dir->pdiDisk;
                psiCurrent = dir;
            }
        }
    }
    // The figures are counted from the records loaded, never taken from
    // the file, so that they always agree with the tree.
    for (DiskInfo* d : linked) {
        DiskInfo* keep = pdiCurrent;
        pdiCurrent = d;
        RecountDisk(d);
        pdiCurrent = keep;
        d->dwFiles = 0;
        d->qwFileBytes = 0;
        for (SubdirInfo* dir = d->psiRoot; dir; dir = dir->psiChild ? dir->psiChild : dir->psiNext) {
            d->dwFiles += dir->dwFiles;
            d->qwFileBytes += dir->qwFileBytes;
        }
    }
    return QLOG_OK;
}

namespace {

// The temporary file beside path: the same name with ".$$$" added.
std::u16string TemporaryBeside(const WCHAR* path) { return std::u16string(path) + u".$$$"; }

DWORD WriteAll(HANDLE file, const std::string& image) {
    constexpr size_t kChunk = 1 << 16;
    for (size_t at = 0; at < image.size(); at += kChunk) {
        const DWORD length = DWORD(std::min(kChunk, image.size() - at));
        DWORD written = 0;
        if (!RdWriteFile(file, image.data() + at, length, &written, nullptr)) return GetLastError();
        if (written != length) return ERROR_DISK_FULL;
    }
    return FlushFileBuffers(file) ? 0 : GetLastError();
}

bool ReadWhole(const WCHAR* path, std::string* bytes) {
    HANDLE file = RdCreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    // Read straight into room sized for the whole file: growing the string
    // 64 KiB at a time copied a large file over and over.
    DWORD high = 0;
    const DWORD low = RdGetFileSize(file, &high);
    const ULONGLONG expected = low == INVALID_FILE_SIZE ? 0 : (ULONGLONG(high) << 32 | low);
    constexpr size_t kChunk = 1 << 16;
    bytes->clear();
    bytes->resize(size_t(std::min<ULONGLONG>(expected, SIZE_MAX / 2)) + kChunk);
    size_t have = 0;
    bool ok = true;
    for (;;) {
        if (bytes->size() - have < kChunk) bytes->resize(bytes->size() * 2);
        DWORD got = 0;
        if (!ReadFile(file, bytes->data() + have, DWORD(kChunk), &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0) break;
        have += got;
    }
    bytes->resize(have);
    RdCloseHandle(file);
    return ok;
}

} // namespace

DWORD SaveQlogFile(const WCHAR* path, const QlogPaneSwitches& switches, BOOL resort) {
    const std::u16string temporary = TemporaryBeside(path);
    const WORD drive = path[0] && path[1] == u':' ? WORD(path[0]) : 0;
    auto report = [&](DWORD code) {
        const size_t n = std::min<size_t>(wcslen(path), std::size(gErrorPath) - 1);
        std::copy(path, path + n, gErrorPath);
        gErrorPath[n] = 0;
        return ReportError(drive, code);
    };
    HANDLE file;
    for (;;) {
        file = RdCreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) break;
        const DWORD answer = report(GetLastError());
        if (answer == ErrChoiceRetry) continue;
        return answer == ErrChoiceNext ? ErrChoiceNext : DWORD(ERROR_CANCELLED);
    }
    SetBusy(1);
    if (resort) ResortLoggedDirs(TRUE);
    std::string image;
    DWORD error = BuildQlogImage(switches, &image) ? WriteAll(file, image) : DWORD(ERROR_CANCELLED);
    SetBusy(0);
    if (!RdCloseHandle(file) && !error) error = GetLastError();
    // The old file stays in place until the new one is whole on disk.
    if (!error && !RdMoveFileExW(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING)) error = GetLastError();
    if (!error) return 0;
    RdDeleteFileW(temporary.c_str());
    if (error == ERROR_CANCELLED) return error;
    if (error == ERROR_DISK_FULL || error == ErrDiskSpace) {
        ShowError(1, "Disk Full");
        return ErrDiskSpace;
    }
    report(error);
    return error;
}

std::u16string QlogSettingsFolderFile() {
    std::u16string folder(gIniPath);
    const size_t slash = folder.find_last_of(u"\\/");
    if (gIniPath[0] && slash != std::u16string::npos) folder.resize(slash + 1);
    else folder = gDataDir;
    if (!folder.empty() && folder.back() != u'\\' && folder.back() != u'/') folder.push_back(u'\\');
    return folder + u"TEMP.QLOG";
}

namespace {

// What showed the records a load released: the tree lines of both panes
// and the display list hold pointers into them. The current pane's tree is
// built again for the disk now current; the other pane's lines are dropped
// (they are built when it next has the keyboard), and both panes' file
// lists are built afresh.
void RebuildWindowsAfterLoad() {
    for (int p = 0; p < 2; p++) {
        std::free(gTreeLines[p]);
        gTreeLines[p] = nullptr;
        gTreeLineRows[p] = 0;
        gPanes[p].ListRebuilt = 0;
        gPaneCurrentEntry[p] = nullptr;
    }
    gMenuRedrawPending = 1;
    showtree();
}

} // namespace

int QlogLoad(QlogPaneSwitches* switches, const WCHAR* path, int mode) {
    std::u16string name;
    if (path && path[0]) {
        name = path;
    } else if (gQlogCommandLineFile[0]) {
        name = gQlogCommandLineFile;
        gQlogCommandLineFile[0] = 0;
    } else if (RdGetFileAttributesW(u"TEMP.QLOG") != INVALID_FILE_ATTRIBUTES) {
        name = u"TEMP.QLOG"; // in the current directory
    } else {
        name = QlogSettingsFolderFile();
    }
    std::string image;
    if (!ReadWhole(name.c_str(), &image)) {
        if (pdiFirst) ShowError(1, "Cannot load volumes file");
        return 0;
    }
    SetBusy(1);
    const QlogResult result = ApplyQlogImage(image, mode, switches);
    SetBusy(0);
    if (result == QLOG_ABANDONED) return 0; // the user's own answer: nothing to report
    if (result != QLOG_OK) {
        ShowError(1, "Invalid volumes file - cannot load");
        return 0;
    }
    RebuildWindowsAfterLoad();
    return 1;
}
