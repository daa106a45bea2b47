// Sort orders of the panes, the comparator of every file and directory
// order, the sorts of the display list and the file arrays, the sort dialog
// and indicator, and the name comparators of the tree order.
#include "tree/sort_order.h"

#include "archive/archive_state.h"
#include "commands/target_refresh.h"
#include "main/statistics.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "qwcrt.h"
#include "settings/settings.h"
#include "shlwapi.h"
#include "stringapiset.h"
#include "tree/file_list.h"
#include "tree/refresh.h"
#include "tree/tree_records.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/command_prompts.h"
#include "ui/help.h"
#include "ui/progress.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

SortSpec gFileOrder[2];
SortSpec gDirOrder[2];
SortSpec* gPaneOrder[2] = {&gFileOrder[0], &gFileOrder[1]};
BOOL gTreeNumberOrder = FALSE;

namespace {

constexpr DWORD kUserDefaultLocale = 0x400;
constexpr DWORD kIgnoreCaseAndNonSpace = 3;

WCHAR FoldAscii(WCHAR c) { return c >= u'a' && c <= u'z' ? WCHAR(c - 32) : c; }

const WCHAR* LongNameOf(const void* recordPointer) {
    const EntryHead* head = *static_cast<const EntryHead* const*>(recordPointer);
    return head->name ? head->name : u"";
}

} // namespace

int CompareNames(const WCHAR* a, const WCHAR* b) {
    if (!*a || !*b) return (*a ? 1 : 0) - (*b ? 1 : 0);
    const bool driveA = IsDriveEntryName(a), driveB = IsDriveEntryName(b);
    if (driveA || driveB) return int(driveA) - int(driveB);
    const SortSpec* order = gPaneOrder[gCurrentPane & 1];
    if (order && order->charset == SORT_CHARSET_ANSI)
        return CompareStringW(kUserDefaultLocale, kIgnoreCaseAndNonSpace, a, -1, b, -1) - 2;
    for (;; a++, b++) {
        const WCHAR x = FoldAscii(*a), y = FoldAscii(*b);
        if (x != y) return int(x) - int(y);
        if (!x) return 0;
    }
}

int CompareEntryNames(const void* a, const void* b) {
    const WCHAR* nameA = LongNameOf(a);
    const WCHAR* nameB = LongNameOf(b);
    const int order = gTreeNumberOrder ? StrCmpLogicalW(nameA, nameB) : CompareNames(nameA, nameB);
    return order ? order : wcscmp(nameA, nameB);
}

int FindEntryName(const void* name, const void* record) {
    const WCHAR* key = static_cast<const WCHAR*>(name);
    const WCHAR* other = LongNameOf(record);
    const int order = CompareNames(key, other);
    return order ? order : wcscmp(key, other);
}

int CompareLogical(const WCHAR* a, const WCHAR* b) { return StrCmpLogicalW(a, b); }

// ---- the orders -----------------------------------------------------------------------------

// clang-format off
const SortKeyInfo kSortKeys[SORT_KEY_COUNT] = {
    {'n', 'N', u"Name",     u"name)"},
    {'e', 'E', u"Ext",      u"extension)"},
    {'d', 'D', u"Date &",   u"date & time)"},
    {'s', 'S', u"Size",     u"size)"},
    {'u', 'U', u"Unsorted", u"unsorted)"},
    {'n', 0,   nullptr,     u"name)"},
    {'n', '6', nullptr,     u"name)"},
    {'l', 'L', u"Length",   u"length)"},
    {'t', 'T', u"Time",     u"time & date)"},
    {'m', 'M', u"nuMber",   u"number)"},
    {'v', 'V', u"Value",    u"value)"},
    {'a', 'A', u"Alpha",    u"alpha)"},
    {'f', 'F', u"Full",     u"full)"},
    {0,   0,   nullptr,     nullptr},
    {0,   0,   nullptr,     nullptr},
};
// clang-format on

BOOL gSplitSortDifferent = FALSE;
SortSpec gArrayOrder;
SortSpec gDefaultFileOrder;
SortSpec gDefaultDirOrder;
BYTE gSortExitFlag[2];
BOOL gSortResortNeeded = FALSE;

void InitSortOrders() {
    for (int p = 0; p < 2; p++) {
        SortSpec order{};
        const WORD method = gIniWorking.sortMethod[p];
        order.key = method < SORT_KEY_COUNT ? BYTE(method) : SORT_NAME;
        order.descending = gIniWorking.sortOrder[p] ? 1 : 0;
        order.charset = gIniWorking.sortAnsi[p] ? SORT_CHARSET_ANSI : SORT_CHARSET_OEM;
        gFileOrder[p] = gDirOrder[p] = order;
        gPaneOrder[p] = gDirMode[p] ? &gDirOrder[p] : &gFileOrder[p];
        gSortExitFlag[p] = 0;
    }
    gTreeNumberOrder = gIniWorking.treeSortNumber != 0;
    gSplitSortDifferent = gIniWorking.splitSortDifferent != 0;
    gArrayOrder = gFileOrder[0];
}

void SaveDefaultSortOrders() {
    gDefaultFileOrder = gFileOrder[0];
    gDefaultDirOrder = gDirOrder[0];
}

// ---- name compares --------------------------------------------------------------------------

namespace {

// The part of a name the base compare reads: before the last dot (the
// whole name when it has none, or when its last dot is its first character,
// as in ".profile", which has no extension), trailing blanks removed.
size_t BaseLength(const WCHAR* name, size_t length) {
    size_t base = length;
    for (size_t i = length; i > 1; i--)
        if (name[i - 1] == u'.') {
            base = i - 1;
            break;
        }
    while (base && name[base - 1] == u' ') base--;
    return base;
}

// The extension: the text after the last dot; empty without a dot or when
// the last dot is the first character.
const WCHAR* ExtensionOf(const WCHAR* name) {
    const WCHAR* dot = nullptr;
    for (const WCHAR* p = name + 1; *name && *p; p++)
        if (*p == u'.') dot = p;
    return dot ? dot + 1 : u"";
}

} // namespace

int CompareBaseNames(const WCHAR* a, const WCHAR* b) {
    if (!*a || !*b) return (*a ? 1 : 0) - (*b ? 1 : 0);
    const bool driveA = IsDriveEntryName(a), driveB = IsDriveEntryName(b);
    if (driveA || driveB) return int(driveA) - int(driveB);
    const size_t lengthA = BaseLength(a, wcslen(a));
    const size_t lengthB = BaseLength(b, wcslen(b));
    const SortSpec* order = gPaneOrder[gCurrentPane & 1];
    if (order && order->charset == SORT_CHARSET_ANSI)
        return CompareStringW(kUserDefaultLocale, kIgnoreCaseAndNonSpace, a, int(lengthA), b,
                              int(lengthB)) -
               2;
    // Unit by unit with ASCII letters folded. A difference before any dot
    // between two units that are neither dot, blank nor end lies inside both
    // base names, so comparing the base names alone gives the same order.
    const size_t common = lengthA < lengthB ? lengthA : lengthB;
    for (size_t i = 0; i < common; i++) {
        const WCHAR x = FoldAscii(a[i]), y = FoldAscii(b[i]);
        if (x != y) return int(x) - int(y);
    }
    return lengthA < lengthB ? -1 : lengthA > lengthB ? 1 : 0;
}

// ---- the comparator -------------------------------------------------------------------------

namespace {

constexpr WORD kDirectoryAttribute = 0x10;

bool IsDirRecord(const EntryHead* r) { return (r->attributes & kDirectoryAttribute) != 0; }

template <typename T> int Order(T a, T b) { return a < b ? -1 : a > b ? 1 : 0; }

// The name of a record as the sort reads it: a long name or a directory's
// name as it stands, a file's inline name as displayed, and a drive entry's
// inline field whole (so that the name compares know it).
struct RecordName {
    WCHAR inline_[16];
    const WCHAR* text;
    explicit RecordName(const EntryHead* r) {
        if (r->name) {
            text = r->name;
            return;
        }
        const FileEntry* file = reinterpret_cast<const FileEntry*>(r);
        if (IsDriveEntry(file)) {
            std::copy(file->wszShortName, file->wszShortName + 12, inline_);
            inline_[12] = 0;
        } else {
            GetFileDisplayName(inline_, file);
        }
        text = inline_;
    }
};

const WCHAR* OwnerName(const EntryHead* r) {
    const SubdirInfo* owner = r->owner;
    if (!owner || !owner->pszFullName || owner->pszFullName[0] == u'\\') return u"";
    return owner->pszFullName;
}

// The owners' full names (path-first and unsorted orders).
int CompareOwnersFirst(const EntryHead* a, const EntryHead* b) {
    if (a->owner == b->owner) return 0;
    return gTreeNumberOrder ? StrCmpLogicalW(OwnerName(a), OwnerName(b))
                            : lstrcmpW(OwnerName(a), OwnerName(b));
}

int CompareOwners(const EntryHead* a, const EntryHead* b) {
    if (a->owner == b->owner) return 0;
    return lstrcmpW(OwnerName(a), OwnerName(b));
}

const WCHAR* WithoutDrive(const WCHAR* fullName) {
    return wcslen(fullName) >= 3 ? fullName + 3 : u"";
}

void StampOf(const EntryHead* r, BYTE stamp, PackedDate* date, PackedTime* time) {
    switch (stamp) {
    case SORT_STAMP_CREATED: *date = r->dCreated, *time = r->tCreated; break;
    case SORT_STAMP_ACCESSED: *date = r->dAccessed, *time = r->tAccessed; break;
    default: *date = r->dWritten, *time = r->tWritten; break;
    }
}

// Year, month, day, then hour, minute, second, millisecond: the packed
// fields stand in that order from the top bit down.
int CompareStamps(const EntryHead* a, const EntryHead* b, BYTE stamp) {
    PackedDate da, db;
    PackedTime ta, tb;
    StampOf(a, stamp, &da, &ta);
    StampOf(b, stamp, &db, &tb);
    const int byDate = Order(da, db);
    return byDate ? byDate : Order(ta, tb);
}

// Directories under the size key: the files not read before those read, no
// files before files, then the figure of the tree's size column
// (gTreeSizeMode): 0 and 1 the directory's own bytes, 2 the branch's bytes,
// 3 and 4 tagged bytes, 5 and 6 file count, 7 and 8 tagged file count (odd
// the directory alone, even its branch), each followed by the other
// quantity of the same scope (count after bytes, bytes after count).
struct DirSize {
    int read;
    int hasFiles;
    ULONGLONG figure;
    ULONGLONG second;
};

DirSize DirSizeOf(const EntryHead* head) {
    SubdirInfo* dir = const_cast<SubdirInfo*>(reinterpret_cast<const SubdirInfo*>(head));
    const int s = gCurrentPane & 1;
    DirSize size{dir->bLogged == 1, dir->pFiles && dir->dwFiles, 0, 0};
    switch (gTreeSizeMode) {
    case 2:
    case 4:
    case 6:
    case 8: {
        const BOOL tagged = gTreeSizeMode == 4 || gTreeSizeMode == 8;
        const BOOL bytes = gTreeSizeMode < 5;
        size.figure = BranchHasUnlogged(dir, nullptr, FALSE, tagged, bytes, FALSE);
        size.second = BranchHasUnlogged(dir, nullptr, FALSE, tagged, !bytes, FALSE);
        break;
    }
    case 3: size.figure = dir->qwTagBytes[s], size.second = dir->dwTagFiles[s]; break;
    case 5: size.figure = dir->dwFiles, size.second = dir->qwFileBytes; break;
    case 7: size.figure = dir->dwTagFiles[s], size.second = dir->qwTagBytes[s]; break;
    default: size.figure = FormatCountK(dir, nullptr, 0), size.second = dir->dwFiles; break;
    }
    return size;
}

int CompareDirSizes(const EntryHead* a, const EntryHead* b) {
    const DirSize x = DirSizeOf(a), y = DirSizeOf(b);
    if (int r = Order(x.read, y.read)) return r;
    if (int r = Order(x.hasFiles, y.hasFiles)) return r;
    if (int r = Order(x.figure, y.figure)) return r;
    return Order(x.second, y.second);
}

// The length of the full name of a record (path, separator, name); a root
// is its own name.
size_t FullNameLength(const EntryHead* r, const WCHAR* name) {
    const size_t nameLength = wcslen(name);
    const SubdirInfo* owner = r->owner;
    if (!owner || reinterpret_cast<const void*>(owner) == reinterpret_cast<const void*>(r) ||
        !owner->pszFullName)
        return nameLength;
    const size_t dirLength = wcslen(owner->pszFullName);
    const bool separator = !dirLength || owner->pszFullName[dirLength - 1] != u'\\';
    return dirLength + separator + nameLength;
}

// From the first letter before the last dot; the whole name when there is
// none.
const WCHAR* FromFirstLetter(const WCHAR* name) {
    const size_t length = wcslen(name);
    size_t limit = length;
    for (size_t i = length; i > 1; i--)
        if (name[i - 1] == u'.') {
            limit = i - 1;
            break;
        }
    for (size_t i = 0; i < limit; i++)
        if (iswalpha(name[i])) return name + i;
    return name;
}

// The name compare: roots of a directory list first whatever the
// direction, for the extension key the extensions first, then the base
// names, then the extensions.
int CompareNamesOf(const EntryHead* a, const WCHAR* x, const EntryHead* b, const WCHAR* y,
                   BYTE key, bool descending) {
    static const WCHAR kRootAscending[] = {0x0001, 0};
    static const WCHAR kRootDescending[] = {0xFFFF, 0};
    const WCHAR* root = descending ? kRootDescending : kRootAscending;
    if (IsDirRecord(a) && x[0] && x[1] == u':') x = root;
    if (IsDirRecord(b) && y[0] && y[1] == u':') y = root;
    const WCHAR* extensionX = ExtensionOf(x);
    const WCHAR* extensionY = ExtensionOf(y);
    if (key == SORT_EXTENSION)
        if (int r = CompareBaseNames(extensionX, extensionY)) return r;
    if (int r = CompareBaseNames(x, y)) return r;
    return CompareBaseNames(extensionX, extensionY);
}

// After equal names.
int CompareAfterNames(const EntryHead* a, const EntryHead* b, BYTE key) {
    switch (key) {
    case SORT_NAME_DATE_DIR:
        if (int r = CompareStamps(a, b, SORT_STAMP_WRITTEN)) return r;
        return lstrcmpW(OwnerName(a), OwnerName(b));
    case SORT_NAME_DIR_DATE:
        // Only the directory compare waits for different owners; the
        // written date decides between equal names whatever their owners,
        // so that two entries of one directory and a third of a directory
        // with the same path on another drive order alike from every side.
        if (a->owner != b->owner)
            if (int r = lstrcmpW(WithoutDrive(OwnerName(a)), WithoutDrive(OwnerName(b)))) return r;
        return CompareStamps(a, b, SORT_STAMP_WRITTEN);
    default: return CompareOwners(a, b);
    }
}

int CompareByName(const EntryHead* a, const EntryHead* b, BYTE key, bool descending) {
    const RecordName x(a), y(b);
    if (int r = CompareNamesOf(a, x.text, b, y.text, key, descending)) return r;
    return CompareAfterNames(a, b, key);
}

} // namespace

int SortFileList(const EntryHead* a, const EntryHead* b) {
    const int pane = gCurrentPane & 1;
    const SortSpec& order = IsDirRecord(a) ? gDirOrder[pane] : gFileOrder[pane];
    const BYTE key = order.key < SORT_KEY_COUNT ? order.key : SORT_NAME;
    // Descending swaps the records for every step, ties included; the
    // unsorted order keeps the order of reading either way.
    const bool descending = order.descending && key != SORT_UNSORTED;
    if (descending) std::swap(a, b);
    if (order.pathFirst || key == SORT_UNSORTED)
        if (int r = CompareOwnersFirst(a, b)) return r;
    switch (key) {
    case SORT_UNSORTED:
        if (IsDirRecord(a)) return CompareByName(a, b, SORT_NAME, descending);
        return Order(a->index, b->index);
    case SORT_ALPHA: {
        const RecordName x(a), y(b);
        if (int r = CompareNamesOf(a, FromFirstLetter(x.text), b, FromFirstLetter(y.text), key,
                                   descending))
            return r;
        if (int r = CompareOwners(a, b)) return r;
        return CompareNamesOf(a, x.text, b, y.text, SORT_NAME, descending);
    }
    case SORT_DATE:
        if (int r = CompareStamps(a, b, order.timestamp)) return r;
        break;
    case SORT_TIME:
        if (int r = Order(a->tWritten, b->tWritten)) return r;
        if (int r = CompareStamps(a, b, order.timestamp)) return r;
        break;
    case SORT_SIZE:
        if (int r = IsDirRecord(a) ? CompareDirSizes(a, b) : Order(a->size, b->size)) return r;
        break;
    case SORT_FULL:
    case SORT_LENGTH: {
        const RecordName x(a), y(b);
        if (key == SORT_FULL)
            if (int r = Order(FullNameLength(a, x.text), FullNameLength(b, y.text))) return r;
        if (int r = Order(wcslen(x.text), wcslen(y.text))) return r;
        break;
    }
    case SORT_NUMBER:
    case SORT_VALUE:
        if (int r = CompareListNames(reinterpret_cast<const FileEntry*>(a),
                                     reinterpret_cast<const FileEntry*>(b), key))
            return r;
        return CompareByName(a, b, SORT_NAME, descending);
    case SORT_LEVEL:
        if (int r = Order(a->index, b->index)) return r;
        break;
    case SORT_CREATED:
        if (int r = CompareStamps(a, b, SORT_STAMP_CREATED)) return r;
        break;
    default: break;
    }
    return CompareByName(a, b, key, descending);
}

int FileListCompare(const void* a, const void* b) {
    return SortFileList(*static_cast<const EntryHead* const*>(a),
                        *static_cast<const EntryHead* const*>(b));
}

// ---- sorting lists --------------------------------------------------------------------------

namespace {

bool Before(const EntryHead* x, const EntryHead* y) { return SortFileList(x, y) < 0; }

// The shortest run the merge sort builds by insertion: n below 64, else n
// halved until below 64, plus 1 when a bit shifted out was 1.
DWORD MinRunLength(DWORD n) {
    DWORD lost = 0;
    while (n >= 64) {
        lost |= n & 1;
        n >>= 1;
    }
    return n + lost;
}

// Extends the sorted run list[0, sorted) to list[0, length) by insertion.
void InsertionSort(EntryHead** list, DWORD sorted, DWORD length) {
    for (DWORD k = sorted; k < length; k++) {
        EntryHead* item = list[k];
        DWORD j = k;
        for (; j > 0 && Before(item, list[j - 1]); j--) list[j] = list[j - 1];
        list[j] = item;
    }
}

struct Run {
    DWORD start;
    DWORD length;
};

// Merges run i of the stack with run i + 1, which follows it, through
// scratch; an equal record of the left run stays first.
void MergeAt(EntryHead** list, EntryHead** scratch, Run* stack, int* depth, int i) {
    Run& left = stack[i];
    const Run& right = stack[i + 1];
    std::copy(list + left.start, list + left.start + left.length, scratch);
    EntryHead** l = scratch;
    EntryHead** lEnd = scratch + left.length;
    EntryHead** r = list + right.start;
    EntryHead** rEnd = r + right.length;
    EntryHead** out = list + left.start;
    while (l < lEnd && r < rEnd) *out++ = Before(*r, *l) ? *r++ : *l++;
    while (l < lEnd) *out++ = *l++;
    left.length += right.length;
    for (int k = i + 1; k + 1 < *depth; k++) stack[k] = stack[k + 1];
    --*depth;
}

// Keeps the pending runs' lengths growing faster than the Fibonacci
// numbers from the top down, so that the stack stays shallow and merges stay
// balanced; with force everything is merged.
void CollapseRuns(EntryHead** list, EntryHead** scratch, Run* stack, int* depth, bool force) {
    while (*depth > 1) {
        int n = *depth - 2;
        if (force) {
            if (n > 0 && stack[n - 1].length < stack[n + 1].length) n--;
        } else if ((n > 0 && stack[n - 1].length <= stack[n].length + stack[n + 1].length) ||
                   (n > 1 && stack[n - 2].length <= stack[n - 1].length + stack[n].length)) {
            if (stack[n - 1].length < stack[n + 1].length) n--;
        } else if (stack[n].length > stack[n + 1].length) {
            return;
        }
        MergeAt(list, scratch, stack, depth, n);
    }
}

} // namespace

void FileListMergeSort(EntryHead** list, DWORD count, EntryHead** scratch) {
    if (count < 2) return;
    const DWORD minRun = MinRunLength(count);
    Run stack[96];
    int depth = 0;
    for (DWORD start = 0; start < count;) {
        // The natural run at start: ascending as it is, strictly descending
        // reversed (strictly, so that equal records keep their order).
        DWORD end = start + 1;
        if (end < count) {
            if (Before(list[end], list[start])) {
                while (end + 1 < count && Before(list[end + 1], list[end])) end++;
                std::reverse(list + start, list + end + 1);
            } else {
                while (end + 1 < count && !Before(list[end + 1], list[end])) end++;
            }
            end++;
        }
        DWORD length = end - start;
        if (length < minRun) {
            const DWORD forced = std::min(minRun, count - start);
            InsertionSort(list + start, length, forced);
            length = forced;
        }
        stack[depth++] = Run{start, length};
        CollapseRuns(list, scratch, stack, &depth, false);
        start += length;
    }
    CollapseRuns(list, scratch, stack, &depth, true);
}

void SortFileListEntries(EntryHead** list, DWORD count, EntryHead** scratch) {
    if (count < 2) return;
    if (scratch) FileListMergeSort(list, count, scratch);
    else std::qsort(list, count, sizeof *list, FileListCompare);
}

void SortGlobalFileList(DWORD count) {
    if (!gFileList) return;
    SetBusy(1);
    EntryHead** scratch =
        count > 1 ? static_cast<EntryHead**>(std::malloc(sizeof(EntryHead*) * count)) : nullptr;
    SortFileListEntries(ListEntries(gFileList), count, scratch);
    std::free(scratch);
    SetBusy(0);
}

void SortGlobalFileListByKey(DWORD count) {
    SortSpec* order = gPaneOrder[gCurrentPane & 1];
    if (!gFileList || !order) return;
    SetBusy(1);
    const BYTE key = order->key;
    order->key = SORT_LEVEL;
    SortFileListEntries(ListEntries(gFileList), count, nullptr);
    order->key = key;
    SetBusy(0);
}

// ---- sorting the file arrays ------------------------------------------------------------------

namespace {

bool InArray(const FileEntry* entry, const FileEntry* files, DWORD count) {
    return entry && entry >= files && entry < files + count;
}

// The row after dir in the tree's pre-order.
SubdirInfo* NextRow(SubdirInfo* dir) { return dir->psiChild ? dir->psiChild : dir->psiNext; }

} // namespace

void SortDirFiles(SubdirInfo* dir) {
    if (!dir || !dir->pFiles) return;
    FileEntry* files = dir->pFiles;
    DWORD count = 0;
    while (files[count].wszShortName[0]) count++;
    // The panes' current entries in the array, by index.
    DWORD current[2] = {0, 0};
    for (int p = 0; p < 2; p++)
        if (InArray(gPaneCurrentEntry[p], files, count)) current[p] = gPaneCurrentEntry[p]->wIndex;

    // Drive entries stay behind the ordinary entries in either direction,
    // in the order they had.
    FileEntry* const firstDrive = std::stable_partition(
        files, files + count, [](const FileEntry& e) { return !IsDriveEntry(&e); });
    const DWORD ordinary = DWORD(firstDrive - files);

    if (ordinary > 1) {
        const WORD pane = gCurrentPane;
        const WORD other = WORD(1 - (pane & 1));
        bool switched = false;
        if (gSplitScreen && gSplitSortDifferent && gPanes[pane & 1].FileWindowOpen &&
            !gPanes[other].FileWindowOpen) {
            SetCurrentPane(other);
            switched = true;
        }
        const int p = gCurrentPane & 1;
        // While the pane shows a list, the arrays keep the key they are
        // kept in; the list is sorted on its own when next built.
        const BYTE fileKey = gFileOrder[p].key, dirKey = gDirOrder[p].key;
        if (!switched && gFileList && fileKey != gArrayOrder.key) {
            gFileOrder[p].key = gDirOrder[p].key = gArrayOrder.key;
            gPanes[p].ResortPending = 1;
        }
        std::stable_sort(files, firstDrive, [](const FileEntry& x, const FileEntry& y) {
            return SortFileList(HeadOf(&x), HeadOf(&y)) < 0;
        });
        gFileOrder[p].key = fileKey;
        gDirOrder[p].key = dirKey;
        if (switched) SetCurrentPane(pane);
    }

    for (int p = 0; p < 2; p++) {
        if (!current[p]) continue;
        DWORD listed = 0;
        for (DWORD i = 0; i < count; i++) {
            if (files[i].wIndex == current[p]) {
                gPaneCurrentEntry[p] = &files[i];
                // A one-directory list shows the matching entries in array
                // order: the cursor follows the entry there.
                if (gDisplayMode[p] <= 2 && (files[i].bFlags[p] & ENTRY_MATCHES))
                    gPanes[p].CurrentIndex = listed;
                break;
            }
            if (files[i].bFlags[p] & ENTRY_MATCHES) listed++;
        }
    }
    dir->dwFiles = ordinary;
    dir->bRefresh &= BYTE(~16);
}

void ResortLoggedDirs(BOOL all) {
    gArrayOrder = gFileOrder[gCurrentPane & 1];
    SetBusy(1);
    DiskInfo* disk = gArchiveTreeActive ? pdiCurrent : pdiFirst;
    const WORD disks = gArchiveTreeActive ? WORD(pdiCurrent ? 1 : 0) : gDiskCount;
    for (WORD n = 0; n < disks && disk; n++, disk = disk->pdiNext)
        for (SubdirInfo* d = disk->psiRoot; d; d = NextRow(d))
            if (d->pFiles && d->bLogged && (all || (d->bRefresh & (16 | 4)))) {
                SortDirFiles(d);
                d->bRefresh &= BYTE(~(16 | 4));
            }
    SetBusy(0);
}

void ResortBranch(SubdirInfo* dir, BOOL all) {
    if (!dir) return;
    SetBusy(1);
    for (SubdirInfo* d = dir; d && d->wLevel >= dir->wLevel; d = NextRow(d))
        if (d->pFiles && d->bLogged && (all || (d->bRefresh & 16))) {
            SortDirFiles(d);
            d->bRefresh &= BYTE(~16);
        }
    SetBusy(0);
}

void RefreshFlaggedDisks(BOOL flag) {
    // The other pane's order is the one the refreshed arrays are sorted in
    // when the current pane's no longer matches the arrays.
    const WORD pane = gCurrentPane;
    const bool otherPane = flag && std::memcmp(&gFileOrder[pane & 1], &gArrayOrder, sizeof(SortSpec)) != 0;
    if (otherPane) SetCurrentPane(WORD(1 - (pane & 1)));
    DiskInfo* disk = pdiFirst;
    for (WORD n = 0; n < gDiskCount && disk; n++, disk = disk->pdiNext) {
        if (!disk->bHasRefresh) continue;
        if (disk->psiRoot) LogBranchWorker(disk->psiRoot, gFileList != nullptr, disk == pdiCurrent, FALSE);
        disk->bHasRefresh = 0;
    }
    if (otherPane) SetCurrentPane(pane);
    gPendingRefreshCount = 0;
}

// ---- the sort dialog --------------------------------------------------------------------------

namespace {

// Every logged disk's directory chains in tree order again, after the
// directory comparator changed.
void ResortTreeChains() {
    DiskInfo* disk = pdiFirst;
    for (WORD n = 0; n < gDiskCount && disk; n++, disk = disk->pdiNext) {
        SubdirInfo* root = disk->psiRoot;
        if (root && root->psiChild)
            root->psiChild = CollectLevelRun(root->psiChild, root->psiNext, TRUE);
    }
}

// The sort key a dialog key letter selects, or -1.
int KeyOfLetter(KeyCode code) {
    if (code >= KC_ALT && code < KC_ALT + 0x100) code -= KC_ALT;
    if (code <= 0 || code >= 0x80) return -1;
    for (int key = 0; key < SORT_KEY_COUNT; key++)
        if (kSortKeys[key].dialogKey && kSortKeys[key].dialogKey == code) return key;
    return -1;
}

bool IsLetterKey(KeyCode code, char letter) { return code == letter || code == KcAlt(letter); }

} // namespace

int SortOrderDialog(BOOL tree) {
    const int pane = gCurrentPane & 1;
    SortSpec* order = gPaneOrder[pane] ? gPaneOrder[pane] : &gFileOrder[pane];
    const SortSpec saved = *order;
    const BOOL savedTreeNumber = gTreeNumberOrder;
    gSortExitFlag[pane] = 0;
    HotPush();
    ScreenCell* lines = ScrSaveRect(gMessageRow, 0, gBottomRow, gScreenMaxCol);

    int result = -1;
    bool accepted = false;
    while (result < 0) {
        SortMenuState state{*order, gDirMode[pane] != 0, gTreeNumberOrder, gSplitSortDifferent,
                            gFileList != nullptr, gSortExitFlag[pane]};
        PromptSort(state);
        const KeyCode code = KbdGetKey(FALSE, TRUE);
        const int key = KeyOfLetter(code);
        if (key >= 0) {
            order->key = BYTE(key);
            if (!std::memcmp(order, &saved, sizeof saved) && !gSortResortNeeded) {
                result = 0;
            } else {
                accepted = true;
                result = 1;
            }
        } else if (IsLetterKey(code, 'O')) {
            order->descending ^= 1;
        } else if (IsLetterKey(code, 'P')) {
            order->pathFirst ^= 1;
        } else if (IsLetterKey(code, 'C')) {
            order->charset =
                order->charset == SORT_CHARSET_ANSI ? SORT_CHARSET_OEM : SORT_CHARSET_ANSI;
        } else if (IsLetterKey(code, 'X') && gFileList) {
            gSortExitFlag[pane] ^= 1;
        } else if (code == KcF(4)) {
            order->timestamp =
                BYTE(order->timestamp >= SORT_STAMP_ACCESSED ? 0 : order->timestamp + 1);
        } else if (code == KcF(8)) {
            gSplitSortDifferent = !gSplitSortDifferent;
        } else if (code == KcF(9)) {
            gTreeNumberOrder = !gTreeNumberOrder;
        } else if (code == ',' || code == '<' || code == KC_DOWN || code == KC_ALT_DOWN ||
                   code == KC_ALT_LBRACKET || code == KC_DESCEND) {
            // The reader gives Alt+Down to prompts as Alt+[.
            order->descending = 1;
        } else if (code == '.' || code == '>' || code == KC_UP || code == KC_ALT_UP ||
                   code == KC_ASCEND) {
            order->descending = 0;
        } else if (code == KC_F12) {
            *order = gDirMode[pane] ? gDefaultDirOrder : gDefaultFileOrder;
            gTreeNumberOrder = gIniWorking.treeSortNumber != 0;
            gSplitSortDifferent = gIniWorking.splitSortDifferent != 0;
        } else if (code == KC_F1) {
            ShowHelp(58);
        } else if (code == KC_ENTER) {
            accepted = true;
            result = 1;
        } else if (code == KC_ESC) {
            *order = saved;
            result = 0;
        } else if (code != 0) {
            ScrBeep();
        }
    }

    ScrRestoreRect(gMessageRow, 0, gBottomRow, gScreenMaxCol, lines);
    HotPop();
    if (accepted) {
        gSortResortNeeded = FALSE;
        // While the panes sort alike, the other pane takes the new order too.
        if (!gSplitSortDifferent) {
            const int other = 1 - pane;
            if (order == &gDirOrder[pane]) gDirOrder[other] = *order;
            else if (order == &gFileOrder[pane]) gFileOrder[other] = *order;
        }
    }
    // The tree's sibling chains must stay in the order of the directory
    // comparator, which follows the tree number switch and the character
    // set: when either changed, the chains are put in order again whatever
    // the answer, so that a cancelled dialog leaves no tree out of order.
    const bool treeOrderChanged =
        gTreeNumberOrder != savedTreeNumber || order->charset != saved.charset;
    if ((accepted && tree) || treeOrderChanged) ResortTreeChains();
    if (accepted) SortIndicatorText(WORD(pane));
    return result;
}

// ---- the indicator --------------------------------------------------------------------------

BOOL SortIndicatorString(const SortSpec& order, WCHAR* text) {
    if (order.key >= SORT_LEVEL) return FALSE;
    static constexpr WCHAR kLine = 0x2500, kRightTee = 0x2524, kLeftTee = 0x251C;
    for (int i = 0; i < 9; i++) text[i] = kLine;
    text[9] = kRightTee;
    static constexpr char kLetters[] = "nedsunnltmvaf";
    static constexpr char kStamps[] = "WCA";
    if (order.key == SORT_UNSORTED) {
        text[10] = u'u';
        text[11] = text[12] = u' ';
    } else {
        const char letter = kLetters[order.key];
        text[10] = WCHAR(order.descending ? letter - 32 : letter);
        text[11] = order.pathFirst ? u'p' : u' ';
        text[12] = WCHAR(kStamps[order.timestamp < 3 ? order.timestamp : 0]);
    }
    text[13] = kLeftTee;
    text[14] = 0;
    return TRUE;
}

void SortIndicatorText(WORD pane) {
    const int p = pane & 1;
    const SortSpec* order = gPaneOrder[p] ? gPaneOrder[p] : &gFileOrder[p];
    WCHAR text[16];
    if (!SortIndicatorString(*order, text)) return;
    // The window layout says where the pane's frame has room for it.
    int row = 0, column = 0;
    SortIndicatorPosition(pane, &row, &column);
    ScrPutWStr(row, column, text, gMessageAttr);
}

int SortIsReversed(int v) {
    const SortSpec* order = gPaneOrder[gCurrentPane & 1];
    switch (order ? order->key : SORT_NAME) {
    case SORT_NAME:
    case SORT_EXTENSION:
    case SORT_NAME_DATE_DIR:
    case SORT_NAME_DIR_DATE:
    case SORT_LENGTH:
    case SORT_NUMBER:
    case SORT_VALUE:
    case SORT_ALPHA: return v;
    case SORT_DATE:
    case SORT_TIME: return !v;
    default: return 0;
    }
}

// ---- the duplicate-name order -----------------------------------------------------------------

namespace {

// A full name after its drive letter and colon.
const WCHAR* WithoutLetter(const WCHAR* fullName) {
    return fullName && wcslen(fullName) >= 2 ? fullName + 2 : u"";
}

} // namespace

int CompareGlobalListEntries(DWORD i, DWORD j, int mode) {
    if (!gFileList || i >= gFMax || j >= gFMax) return 0;
    EntryHead** entries = ListEntries(gFileList);
    const FileEntry* a = reinterpret_cast<const FileEntry*>(entries[i]);
    const FileEntry* b = reinterpret_cast<const FileEntry*>(entries[j]);
    if (!a || !b) return 0;
    if (a->pszLongName && !b->pszLongName) return -1;
    if (!a->pszLongName && b->pszLongName) return 1;
    const WCHAR* x = a->pszLongName ? a->pszLongName : a->wszShortName;
    const WCHAR* y = b->pszLongName ? b->pszLongName : b->wszShortName;
    int r = _wcsicmp(x, y);
    if (!r) r = wcscmp(x, y);
    if (r || (mode != 2 && mode != 3)) return r;
    const SubdirInfo* ownerA = a->psiOwner;
    const SubdirInfo* ownerB = b->psiOwner;
    if (!ownerA || !ownerB) return 0;
    if (ownerA->pdiDisk == ownerB->pdiDisk) return -1;
    if (mode != 3) return 0;
    const WCHAR* pathA = WithoutLetter(ownerA->pszFullName);
    const WCHAR* pathB = WithoutLetter(ownerB->pszFullName);
    r = _wcsicmp(pathA, pathB);
    return r ? r : wcscmp(pathA, pathB);
}
