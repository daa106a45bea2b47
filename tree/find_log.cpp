// FIND & LOG. The search reads the disk with up to four worker threads; the
// main thread takes what they read, tests the files against the pane's
// filespec and keeps the paths of the directories that hold matches. Then
// it logs those directories alone, component by component, so that the tree
// shows just what was found.
#include "tree/find_log.h"

#include "main/statistics.h"
#include "main/tree_window.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/dir_reading.h"
#include "platform/keyboard.h"
#include "platform/packed_dates.h"
#include "platform/read_ahead.h"
#include "platform/screen.h"
#include "qwcrt.h"
#include "remote/remote_drives.h"
#include "settings/nolog.h"
#include "settings/quit.h"
#include "settings/settings.h"
#include "tree/branch_links.h"
#include "tree/dir_counts.h"
#include "tree/filter.h"
#include "tree/log_state.h"
#include "tree/logging.h"
#include "tree/read_tree.h"
#include "tree/tree_records.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/error_dialog.h"
#include "ui/error_reporting.h"
#include "ui/progress.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

CRITICAL_SECTION gFindLogLock;
FindLogNode* gFindLogStack = nullptr;
FindLogNode* gFindLogDone = nullptr;
DWORD gFindLogPending = 0;
std::atomic<LONG> gFindLogThreads{0};
std::atomic<DWORD> gFindLogAbort{0};
std::atomic<DWORD> gFindLogActive{0};
FindLogFigures gFindLogFigures{};

namespace {

constexpr const char* kModule = "Qtb";
// Progress is redrawn, and Esc looked for, when more than this many
// milliseconds passed.
constexpr DWORD kStatusEvery = 74;
DWORD gStatusEvery = kStatusEvery;
// Whether progress is due again after the tick since.
bool Due(DWORD since) { return gStatusEvery == 0 || GetTickCount() - since > gStatusEvery; }
// Longest path component the logging walk follows.
constexpr size_t kMaxComponent = 259;

// gFindLogLock as a lock the condition variables can release while they
// wait. Every change a waiter looks for is made under the lock and announced
// after it, so no wake-up is lost.
struct SectionLock {
    void lock() { EnterCriticalSection(&gFindLogLock); }
    void unlock() { LeaveCriticalSection(&gFindLogLock); }
};
SectionLock gSection;
// Workers: a node was pushed, the done list shrank, or the search ends.
std::condition_variable_any gWorkReady;
// The main thread: a worker put a node on the done list.
std::condition_variable_any gDoneReady;

// Under the lock: bytes of the nodes on the done list, and workers reading.
ULONGLONG gDoneBytes = 0;
DWORD gWorkersReading = 0;

std::atomic<ULONGLONG> gCap{FINDLOG_DONE_CAP};
std::atomic<bool> gHoldMain{false};
DWORD gInterruptSearched = 0;
DWORD gInterruptLogged = 0;

// The text FindLogStatus showed last.
std::u16string gLastStatus;

ULONGLONG NodeBytes(const FindLogNode* node) {
    return sizeof(FindLogNode) + wcslen(node->wszPath) * sizeof(WCHAR) + node->cbAlloc;
}

void FreeNode(FindLogNode* node) {
    std::free(node->pEntries);
    std::free(node);
}

void FreeChain(FindLogNode* node) {
    while (node) {
        FindLogNode* next = node->pNext;
        FreeNode(node);
        node = next;
    }
}

bool IsDotName(const WCHAR* name) {
    return name[0] == u'.' && (!name[1] || (name[1] == u'.' && !name[2]));
}

// Appends one record to node's buffer, growing it by doubling (or to what
// is needed).
void KeepEntry(FindLogNode* node, const WIN32_FIND_DATAW& data) {
    const size_t nameUnits = wcslen(data.cFileName);
    const size_t length = FindLogRecordLength(nameUnits);
    if (node->cbUsed + length > node->cbAlloc) {
        ULONGLONG grown = node->cbAlloc ? node->cbAlloc * 2 : FINDLOG_FIRST_BUFFER;
        grown = std::max<ULONGLONG>(grown, node->cbUsed + length);
        node->pEntries = static_cast<BYTE*>(
            CheckedRealloc(node->pEntries, size_t(grown), kModule, 7758, "FindLogKeep"));
        node->cbAlloc = grown;
    }
    BYTE* record = node->pEntries + node->cbUsed;
    std::memset(record, 0, length);
    const DWORD attributes = data.dwFileAttributes;
    const WORD recordLength = WORD(length);
    std::memcpy(record + FINDLOG_OFF_ATTRIBUTES, &attributes, 4);
    std::memcpy(record + FINDLOG_OFF_SIZE_HIGH, &data.nFileSizeHigh, 4);
    std::memcpy(record + FINDLOG_OFF_SIZE_LOW, &data.nFileSizeLow, 4);
    std::memcpy(record + FINDLOG_OFF_CREATED, &data.ftCreationTime, 8);
    std::memcpy(record + FINDLOG_OFF_ACCESSED, &data.ftLastAccessTime, 8);
    std::memcpy(record + FINDLOG_OFF_WRITTEN, &data.ftLastWriteTime, 8);
    std::memcpy(record + FINDLOG_OFF_LENGTH, &recordLength, 2);
    std::memcpy(record + FINDLOG_OFF_NAME, data.cFileName, (nameUnits + 1) * sizeof(WCHAR));
    node->cbUsed += length;
}

// A directory the search enters: not hidden or system while the setting
// hides those, no link, no junction, and no directory another file system
// is mounted on (the search stays on the disk it was asked for).
bool KeepDirectory(const WIN32_FIND_DATAW& data) {
    const DWORD a = data.dwFileAttributes;
    if (IsDotName(data.cFileName)) return false;
    if ((gSettings.bHideDirs & 1) && (a & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
        return false;
    if (a & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    return data.dwReserved0 != FIND_DATA_MOUNT_TAG;
}

// The number of nodes in a chain and its last node.
FindLogNode* ChainEnd(FindLogNode* chain, DWORD* count) {
    *count = 1;
    while (chain->pNext) {
        chain = chain->pNext;
        ++*count;
    }
    return chain;
}

// ---- the search ------------------------------------------------------------------

// The main thread's view of the pane's filespec.
struct FileTest {
    const FilterSlot* slot;
    bool dates; // the filespec compares dates: each file's are converted
};

// Tests the files of node's buffer; returns the number that match.
DWORD CountMatches(const FindLogNode* node, const FileTest& test) {
    WCHAR treePath[TREE_MAX_FULL_NAME + 8];
    SubdirInfo owner{};
    owner.pszFullName = const_cast<WCHAR*>(FindLogTreePath(node->wszPath, treePath, std::size(treePath)));
    DWORD matches = 0;
    FindLogEntry record;
    for (size_t offset = 0; offset < node->cbUsed;) {
        offset = FindLogEntryAt(node, offset, &record);
        if (record.attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (test.slot->count == 0) {
            matches++;
            continue;
        }
        FileEntry entry{};
        entry.pszLongName = const_cast<WCHAR*>(record.name); // read only, never freed
        entry.qwSize = record.size;
        entry.wAttributes =
            record.attributes == FILE_ATTRIBUTE_NORMAL ? 0 : WORD(record.attributes);
        entry.psiOwner = &owner;
        if (test.dates) {
            FileTimeToPacked(&record.created, &entry.dCreated, &entry.tCreated);
            FileTimeToPacked(&record.written, &entry.dWritten, &entry.tWritten);
            FileTimeToPacked(&record.accessed, &entry.dAccessed, &entry.tAccessed);
        }
        if (FileMatchesFilespec(test.slot->items, test.slot->count, &entry, FALSE)) matches++;
    }
    return matches;
}

// Lowers gFindLogPending for a node the main thread finished.
void FinishNode(bool locked) {
    if (locked) {
        EnterCriticalSection(&gFindLogLock);
        gFindLogPending--;
        LeaveCriticalSection(&gFindLogLock);
    } else {
        gFindLogPending--;
    }
}

DWORD PendingNow(bool locked) {
    if (!locked) return gFindLogPending;
    EnterCriticalSection(&gFindLogLock);
    const DWORD pending = gFindLogPending;
    LeaveCriticalSection(&gFindLogLock);
    return pending;
}

// Under the lock: the test may hold the main thread back until no worker
// is reading and the done list holds the cap, or nothing more will come
// without the main thread.
bool MainMayTake() {
    if (!gHoldMain.load()) return true;
    return gFindLogAbort.load() ||
           (gWorkersReading == 0 && (gDoneBytes >= gCap.load() || !gFindLogStack));
}

// Takes the whole done list, waiting at most waitMs for one to come.
FindLogNode* TakeDone(DWORD waitMs) {
    std::unique_lock<SectionLock> hold(gSection);
    gDoneReady.wait_for(hold, std::chrono::milliseconds(waitMs),
                        [] { return gFindLogDone && MainMayTake(); });
    if (!MainMayTake()) return nullptr;
    FindLogNode* batch = gFindLogDone;
    gFindLogDone = nullptr;
    gDoneBytes = 0;
    hold.unlock();
    if (batch) gWorkReady.notify_all();
    return batch;
}

// Esc waiting in the keyboard queue counts as an interrupt request, also
// behind other records (a size change, a mouse move, a key typed ahead,
// which is kept).
void PollEsc() {
    if (!gConIn) return;
    for (int records = 0; records < 64; records++) {
        INPUT_RECORD next;
        DWORD waiting = 0;
        if (!PeekConsoleInputA(gConIn, &next, 1, &waiting) || waiting == 0) return;
        if (KbdFlush(FALSE) == KC_ESC) {
            gInterruptRequested = 1;
            return;
        }
    }
}

void ShowNodePath(const FindLogNode* node) {
    WCHAR path[TREE_MAX_FULL_NAME + 8];
    ShowPathLine(FindLogTreePath(node->wszPath, path, std::size(path)));
}

// The found directories' paths, grown by doubling.
struct FoundList {
    WCHAR** paths = nullptr;
    size_t count = 0;
    size_t capacity = 0;

    void Add(const WCHAR* path) {
        if (count == capacity) {
            const size_t grown = capacity ? capacity * 2 : 256;
            paths = static_cast<WCHAR**>(
                CheckedRealloc(paths, grown * sizeof(WCHAR*), kModule, 8163, "FindAndLog"));
            capacity = grown;
        }
        const size_t units = wcslen(path) + 1;
        auto* copy = static_cast<WCHAR*>(
            CheckedMalloc(units * sizeof(WCHAR), kModule, 8163, "FindAndLog"));
        std::memcpy(copy, path, units * sizeof(WCHAR));
        paths[count++] = copy;
    }
    ~FoundList() {
        for (size_t i = 0; i < count; i++) std::free(paths[i]);
        std::free(paths);
    }
};

// Starts up to FINDLOG_WORKERS workers; the handles of those that run.
std::vector<HANDLE> StartWorkers() {
    std::vector<HANDLE> workers;
    InitializeCriticalSection(&gFindLogLock);
    gFindLogThreads = FINDLOG_WORKERS; // read by the workers as they start
    for (int i = 0; i < FINDLOG_WORKERS; i++) {
        HANDLE thread = CreateThread(nullptr, 0, FindLogWorker, nullptr, 0, nullptr);
        if (!thread) break;
        workers.push_back(thread);
    }
    if (workers.empty()) {
        DeleteCriticalSection(&gFindLogLock);
        gFindLogThreads = 0;
    } else {
        gFindLogThreads = LONG(workers.size());
    }
    return workers;
}

void StopWorkers(std::vector<HANDLE>& workers) {
    if (workers.empty()) return;
    EnterCriticalSection(&gFindLogLock);
    gFindLogAbort = 1;
    LeaveCriticalSection(&gFindLogLock);
    gWorkReady.notify_all();
    for (HANDLE thread : workers) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    workers.clear();
    DeleteCriticalSection(&gFindLogLock);
}

// ---- the logging walk -----------------------------------------------------------

// The child of parent named exactly as the component, else one whose name
// differs only in case; the search starts at hint (a child of parent) and
// goes round.
SubdirInfo* FindChild(SubdirInfo* parent, const WCHAR* component, size_t units, SubdirInfo* hint) {
    SubdirInfo* first = parent->psiChild;
    if (!first || first->wLevel <= parent->wLevel) return nullptr;
    const DWORD level = parent->wLevel + 1;
    auto inRun = [parent](const SubdirInfo* d) { return d && d->wLevel > parent->wLevel; };
    SubdirInfo* start = hint && hint->psiParent == parent ? hint : first;
    SubdirInfo* folded = nullptr;
    auto visit = [&](SubdirInfo* child) -> bool {
        if (child->wLevel != level) return false;
        const WCHAR* name = child->pszName;
        if (wcslen(name) != units) return false;
        if (!wcsncmp(name, component, units)) return true;
        if (!folded && !_wcsnicmp(name, component, units)) folded = child;
        return false;
    };
    for (SubdirInfo* child = start; inRun(child); child = child->psiNext)
        if (visit(child)) return child;
    for (SubdirInfo* child = first; child != start && inRun(child); child = child->psiNext)
        if (visit(child)) return child;
    return folded;
}

// Gives dir's children a place in the tree: false when that failed.
bool BringChildren(SubdirInfo* dir) {
    const bool root = !dir->psiParent || dir->psiParent == dir;
    if ((!dir->bExpanded && !dir->psiChild) || dir->bLogged == 5) {
        if (root && dir->psiChild) return true;
        const DWORD skipSame = gSkipSameAction;
        if (gLogSkipErrors) gSkipSameAction = ErrChoiceSkip;
        const int logged = LogBranch(LOG_REFRESH_WALK, dir, 0);
        gSkipSameAction = skipSame;
        return logged != 0;
    }
    if (!dir->bExpanded) {
        SubdirInfo* const saved = psiCurrent;
        psiCurrent = dir;
        TreeExpandWalk(TRUE);
        psiCurrent = saved;
    }
    return true;
}

// Per level, the parent walked last and the child found under it.
struct WalkHints {
    std::vector<SubdirInfo*> parent;
    std::vector<SubdirInfo*> child;
    SubdirInfo* At(DWORD level, SubdirInfo* under) {
        if (level >= parent.size()) return nullptr;
        return parent[level] == under ? child[level] : nullptr;
    }
    void Set(DWORD level, SubdirInfo* under, SubdirInfo* found) {
        if (level >= parent.size()) {
            parent.resize(level + 1, nullptr);
            child.resize(level + 1, nullptr);
        }
        parent[level] = under;
        child[level] = found;
    }
};

// Walks one found path from the root and logs the directory it names;
// returns that directory, or null when the walk ended early.
SubdirInfo* LogFoundPath(DiskInfo* disk, const WCHAR* path, WalkHints& hints) {
    SubdirInfo* at = disk->psiRoot;
    // "X:\" then, below the root, the doubled backslash.
    const WCHAR* component = path + 3;
    if (*component == u'\\') component++;
    DWORD level = 0;
    while (*component) {
        const WCHAR* end = component;
        while (*end && *end != u'\\') end++;
        const size_t units = size_t(end - component);
        if (units > kMaxComponent) return nullptr;
        if (units) {
            if (!BringChildren(at)) return nullptr;
            SubdirInfo* child = FindChild(at, component, units, hints.At(level, at));
            if (!child) return nullptr;
            hints.Set(level, at, child);
            at = child;
            level++;
        }
        if (!*end) break;
        component = end + 1;
    }
    if (at->bLogged != 1) {
        const bool collapsedLeaf = !at->psiChild && !at->bExpanded;
        qReadDir(disk, at);
        if (at != disk->psiRoot && collapsedLeaf) {
            const DWORD skipSame = gSkipSameAction;
            if (gLogSkipErrors) gSkipSameAction = ErrChoiceSkip;
            LogBranch(LOG_REFRESH_WALK, at, 0);
            gSkipSameAction = skipSame;
        }
    }
    return at;
}

// The walk lists every directory on the found paths below the root once,
// each path's directories before the path's own, in the order of the sorted
// paths: the read-ahead reads them in that order while the main thread
// walks, as a log of a branch does. Not on a remote drive, nor when
// read-ahead is switched off.
bool StartReadAhead(DiskInfo* disk, const FoundList& found) {
    if (!gPrefetchEnabled || RdIsRemoteDrive(disk->cDrive)) return false;
    std::vector<std::u16string> paths;
    std::u16string last;
    WCHAR treePath[TREE_MAX_FULL_NAME + 8];
    for (size_t i = 0; i < found.count; i++) {
        const std::u16string path = FindLogTreePath(found.paths[i], treePath, std::size(treePath));
        // Each directory below the root on the way to path, by its prefix;
        // those the previous path shares were listed for it.
        for (size_t at = 3; at < path.size(); at++) {
            at = std::min(path.find(u'\\', at), path.size());
            const std::u16string prefix = path.substr(0, at);
            const bool shared = last.size() >= prefix.size() && !last.compare(0, prefix.size(), prefix) &&
                                (last.size() == prefix.size() || last[prefix.size()] == u'\\');
            if (!shared) paths.push_back(prefix);
        }
        last = path;
    }
    if (paths.empty()) return false;
    std::vector<const WCHAR*> list;
    list.reserve(paths.size());
    for (const std::u16string& p : paths) list.push_back(p.c_str());
    return qioPrefetchList(list.data(), DWORD(list.size())) != 0;
}

void FormatStatus(WCHAR* out, size_t units, const char* format, DWORD a, DWORD b, DWORD c = 0) {
    char text[160];
    snprintf(text, sizeof text, format, a, b, c);
    size_t i = 0;
    for (; text[i] && i + 1 < units; i++) out[i] = WCHAR(static_cast<unsigned char>(text[i]));
    out[i] = 0;
}

} // namespace

// ---- the parts ---------------------------------------------------------------------

size_t FindLogEntryAt(const FindLogNode* node, size_t offset, FindLogEntry* entry) {
    const BYTE* record = node->pEntries + offset;
    DWORD high = 0;
    DWORD low = 0;
    WORD length = 0;
    std::memcpy(&entry->attributes, record + FINDLOG_OFF_ATTRIBUTES, 4);
    std::memcpy(&high, record + FINDLOG_OFF_SIZE_HIGH, 4);
    std::memcpy(&low, record + FINDLOG_OFF_SIZE_LOW, 4);
    std::memcpy(&entry->created, record + FINDLOG_OFF_CREATED, 8);
    std::memcpy(&entry->accessed, record + FINDLOG_OFF_ACCESSED, 8);
    std::memcpy(&entry->written, record + FINDLOG_OFF_WRITTEN, 8);
    std::memcpy(&length, record + FINDLOG_OFF_LENGTH, 2);
    entry->size = (ULONGLONG(high) << 32) | low;
    entry->name = reinterpret_cast<const WCHAR*>(record + FINDLOG_OFF_NAME);
    return offset + length;
}

const WCHAR* FindLogTreePath(const WCHAR* nodePath, WCHAR* buffer, size_t units) {
    size_t skip = 0;
    if (nodePath[0] && nodePath[1] == u':' && nodePath[2] == u'\\' && nodePath[3] == u'\\')
        skip = 1;
    size_t out = 0;
    for (size_t i = 0; nodePath[i] && out + 1 < units; i++) {
        if (skip && i == 3) continue;
        buffer[out++] = nodePath[i];
    }
    buffer[out] = 0;
    return buffer;
}

FindLogNode* FindLogNewDir(const WCHAR* parentPath, const WCHAR* name, DWORD level) {
    const size_t parentUnits = wcslen(parentPath);
    const size_t nameUnits = wcslen(name);
    const size_t pathUnits = parentUnits + 1 + nameUnits;
    auto* node = static_cast<FindLogNode*>(CheckedCalloc(
        1, sizeof(FindLogNode) + pathUnits * sizeof(WCHAR), kModule, 7739, "FindLogNewDir"));
    std::memcpy(node->wszPath, parentPath, parentUnits * sizeof(WCHAR));
    node->wszPath[parentUnits] = u'\\';
    std::memcpy(node->wszPath + parentUnits + 1, name, (nameUnits + 1) * sizeof(WCHAR));
    node->dwLevel = level;
    return node;
}

void FindLogRead(FindLogNode* node) {
    WCHAR treePath[TREE_MAX_FULL_NAME + 8];
    FindLogTreePath(node->wszPath, treePath, std::size(treePath));
    size_t units = wcslen(treePath);
    // "X:\" lists as "X:\*.*".
    if (units && treePath[units - 1] == u'\\') units--;
    auto* pattern = static_cast<WCHAR*>(
        CheckedMalloc((units + 8) * sizeof(WCHAR), kModule, 7781, "FindLogRead"));
    std::memcpy(pattern, treePath, units * sizeof(WCHAR));
    std::memcpy(pattern + units, u"\\*.*", 5 * sizeof(WCHAR));
    WIN32_FIND_DATAW data;
    HANDLE find = qioPrefetchFindFirst(pattern, &data);
    std::free(pattern);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (gFindLogAbort.load(std::memory_order_relaxed)) break;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || KeepDirectory(data))
            KeepEntry(node, data);
    } while (qioFindNextFile(find, &data));
    qioFindClose(find);
}

void FindLogPushSubdirs(FindLogNode* node, BOOL testNoLog) {
    FindLogNode* chain = nullptr;
    DWORD made = 0;
    WCHAR treePath[TREE_MAX_FULL_NAME + 8];
    FindLogEntry record;
    for (size_t offset = 0; offset < node->cbUsed;) {
        offset = FindLogEntryAt(node, offset, &record);
        if (!(record.attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        FindLogNode* child = FindLogNewDir(node->wszPath, record.name, node->dwLevel + 1);
        // The list names directories as the tree does: the doubled
        // backslash of a node's path would keep every path entry from
        // matching.
        if (testNoLog &&
            IsNoLogPath(child->dwLevel, FindLogTreePath(child->wszPath, treePath, std::size(treePath)))) {
            FreeNode(child);
            continue;
        }
        child->pNext = chain;
        chain = child;
        made++;
    }
    node->bPushed = 1;
    if (!chain) return;
    DWORD count = 0;
    FindLogNode* last = ChainEnd(chain, &count);
    const bool locked = gFindLogThreads != 0;
    if (locked) EnterCriticalSection(&gFindLogLock);
    last->pNext = gFindLogStack;
    gFindLogStack = chain;
    gFindLogPending += count;
    if (locked) {
        LeaveCriticalSection(&gFindLogLock);
        gWorkReady.notify_all();
    }
}

DWORD FindLogWorker(LPVOID) {
    if (gFindLogAbort.load()) return 0;
    // Under the lock: a node may wait for the done list only while it holds
    // no more than the cap, so the list never exceeds it by more than one
    // node and a disk read faster than it is matched stays bounded.
    auto mayAdd = [] { return gFindLogAbort.load() || gDoneBytes <= gCap.load(); };
    std::unique_lock<SectionLock> hold(gSection);
    for (;;) {
        if (gFindLogStack && !mayAdd()) gFindLogFigures.capWaits++;
        gWorkReady.wait(hold, [&] { return gFindLogAbort.load() || (gFindLogStack && mayAdd()); });
        if (gFindLogAbort.load()) break;
        FindLogNode* node = gFindLogStack;
        gFindLogStack = node->pNext;
        node->pNext = nullptr;
        gWorkersReading++;
        hold.unlock();

        FindLogRead(node);
        // The never-log list is read on the main thread only: with one in
        // force, the main thread pushes the subdirectories.
        if (gNoLogList.count == 0) FindLogPushSubdirs(node, FALSE);

        hold.lock();
        gWorkersReading--;
        if (!mayAdd()) {
            gFindLogFigures.capWaits++;
            gDoneReady.notify_one();
            gWorkReady.wait(hold, mayAdd);
        }
        const ULONGLONG bytes = NodeBytes(node);
        node->pNext = gFindLogDone;
        gFindLogDone = node;
        gDoneBytes += bytes;
        gFindLogFigures.donePeakBytes = std::max(gFindLogFigures.donePeakBytes, gDoneBytes);
        gFindLogFigures.largestNodeBytes = std::max(gFindLogFigures.largestNodeBytes, bytes);
        gDoneReady.notify_one();
    }
    return 0;
}

void FindLogStatus(const WCHAR* text) {
    if (!text) {
        gLastStatus.clear();
        return;
    }
    if (gLastStatus == text) return;
    gLastStatus = text;
    ScrClearArea(gHintRow, 0, gHintRow, gScreenMaxCol, gMessageAttr);
    ScrPutWStr(gHintRow, 0, text, gMessageAttr);
}

int FindLogPathCompare(const WCHAR* a, const WCHAR* b) {
    const int folded = _wcsicmp(a, b);
    return folded ? folded : wcscmp(a, b);
}

int FindAndLog() {
    DiskInfo* const disk = pdiCurrent;
    if (!disk || !disk->psiRoot) return 0;
    gFindLogFigures = FindLogFigures{};
    const WORD pane = gCurrentPane & 1;
    const FilterSlot& slot = gFilterSlots[pane];
    FileTest test{&slot, false};
    for (WORD i = 0; i < slot.count; i++) test.dates |= slot.items[i].kind == FS_DATE;

    // 1. The prompt line and the busy state.
    HotClear(TRUE);
    ScrClearArea(gMessageRow, 0, gMessageRow, gScreenMaxCol, gMessageAttr);
    ScrPutStr(gMessageRow, 0, "FIND & LOG:", gMessageAttr);
    const int room = gScreenMaxCol >= 12 ? int(gScreenMaxCol) - 11 : 0;
    ScrPutWStrN(gMessageRow, 12, slot.fullText,
                std::min(room, int(wcslen(slot.fullText))), gKeyLetterAttr);
    HotText(gBottomRow, 69, 0, 3, KC_ESC, u"Esc Stop");
    FindLogStatus(nullptr);
    SetBusy(1);

    // 2. The root, and the workers unless the drive is remote.
    WCHAR drive[3] = {WCHAR(disk->cDrive), u':', 0};
    gFindLogStack = FindLogNewDir(drive, u"", 0);
    gFindLogDone = nullptr;
    gFindLogPending = 1;
    gFindLogAbort = 0;
    gDoneBytes = 0;
    gWorkersReading = 0;
    gFindLogThreads = 0;
    std::vector<HANDLE> workers;
    if (!RdIsRemoteDrive(disk->cDrive)) workers = StartWorkers();
    gFindLogFigures.workers = LONG(workers.size());
    const bool locked = !workers.empty();

    // 3. Take what was read, test it, and keep the directories with matches.
    FoundList found;
    DWORD searched = 0;
    DWORD filesFound = 0;
    bool stopped = false;
    DWORD lastStatus = GetTickCount();
    const BOOL testNoLog = gNoLogList.count > 0;
    while (PendingNow(locked) != 0) {
        FindLogNode* batch;
        if (locked) {
            const DWORD waited = GetTickCount() - lastStatus;
            batch = TakeDone(waited > gStatusEvery ? 0 : gStatusEvery + 1 - waited);
        } else {
            batch = gFindLogStack;
            gFindLogStack = batch->pNext;
            batch->pNext = nullptr;
            FindLogRead(batch);
        }
        if (batch && Due(lastStatus)) ShowNodePath(batch);
        while (batch) {
            FindLogNode* node = batch;
            batch = node->pNext;
            if (!node->bPushed) FindLogPushSubdirs(node, testNoLog);
            const DWORD matches = CountMatches(node, test);
            if (matches) {
                filesFound += matches;
                found.Add(node->wszPath);
            }
            searched++;
            FinishNode(locked);
            FreeNode(node);
            if (gInterruptSearched && searched == gInterruptSearched) gInterruptRequested = 1;
        }
        if (Due(lastStatus)) {
            WCHAR text[120];
            FormatStatus(text, std::size(text), "%u files found in %u directories - %u searched",
                         filesFound, DWORD(found.count), searched);
            FindLogStatus(text);
            PollEsc();
            lastStatus = GetTickCount();
        }
        if (gInterruptRequested) {
            stopped = true;
            break;
        }
    }

    // 4. The workers end; what they left is freed.
    StopWorkers(workers);
    gFindLogThreads = 0;
    FreeChain(gFindLogStack);
    FreeChain(gFindLogDone);
    gFindLogStack = nullptr;
    gFindLogDone = nullptr;
    gDoneBytes = 0;

    // 5. Log the directories found, in order of their paths.
    DWORD logged = 0;
    bool stoppedLogging = false;
    SubdirInfo* lastLogged = nullptr;
    if (found.count) {
        std::sort(found.paths, found.paths + found.count, [](const WCHAR* a, const WCHAR* b) {
            return FindLogPathCompare(a, b) < 0;
        });
        WCHAR text[120];
        FormatStatus(text, std::size(text), "Logging %u directories", DWORD(found.count), 0);
        FindLogStatus(text);
        const DWORD passWasRunning = gReadAheadActive;
        const bool readAhead = StartReadAhead(disk, found);
        gFindLogActive = 1;
        gInterruptRequested = 0;
        gReadAheadActive = 1;
        gDeferRecount = 1;
        WalkHints hints;
        DWORD lastShown = GetTickCount();
        for (size_t i = 0; i < found.count; i++) {
            if (Due(lastShown)) {
                FormatStatus(text, std::size(text), "Logging %u directories - %u done",
                             DWORD(found.count), logged);
                FindLogStatus(text);
                PollEsc();
                lastShown = GetTickCount();
            }
            if (gInterruptRequested) {
                stoppedLogging = true;
                break;
            }
            if (SubdirInfo* dir = LogFoundPath(disk, found.paths[i], hints)) {
                lastLogged = dir;
                logged++;
                if (gInterruptLogged && logged == gInterruptLogged) gInterruptRequested = 1;
            }
        }
        if (readAhead) qioPrefetchEnd();
        gDeferRecount = 0;
        gFindLogActive = 0;
        gInterruptRequested = 0;
        if (disk->psiRoot) FixSiblingLinks(disk->psiRoot->psiChild);
        if (!passWasRunning) EndLogPass(disk);
    }

    // 6. The counters, the busy state and where the tree stands.
    RecountAllDisks();
    SetBusy(0);
    if (lastLogged) {
        pdiCurrent = disk;
        psiCurrent = lastLogged;
        wcsncpy_s(disk->wszSavedPath[pane], std::size(disk->wszSavedPath[pane]),
                  lastLogged->pszFullName, TREE_MAX_FULL_NAME);
    }
    ShowDiskStats();
    FindLogStatus(nullptr);

    gFindLogFigures.searched = searched;
    gFindLogFigures.foundDirs = DWORD(found.count);
    gFindLogFigures.foundFiles = filesFound;
    gFindLogFigures.logged = logged;
    gFindLogFigures.stoppedSearching = stopped;
    gFindLogFigures.stoppedLogging = stoppedLogging;

    // 7. The report.
    char message[120];
    message[0] = 0;
    if (stoppedLogging)
        snprintf(message, sizeof message, "Stopped - %u of the %u directories found logged", logged,
                 unsigned(found.count));
    else if (stopped && found.count)
        snprintf(message, sizeof message, "Stopped - %u files found in %u directories so far",
                 filesFound, unsigned(found.count));
    else if (!found.count)
        snprintf(message, sizeof message,
                 stopped ? "Stopped - no matching files in %u directories searched"
                         : "No matching files in %u directories searched",
                 searched);
    if (message[0]) ShowMessageWait(message);
    return found.count ? 1 : 0;
}

// ---- test hooks --------------------------------------------------------------------

void FindLogSetCapForTest(ULONGLONG bytes) { gCap = bytes ? bytes : FINDLOG_DONE_CAP; }

void FindLogHoldMainForTest(BOOL hold) { gHoldMain = hold != FALSE; }

void FindLogStatusEveryForTest(DWORD milliseconds) {
    gStatusEvery = milliseconds == FINDLOG_STATUS_DEFAULT ? kStatusEvery : milliseconds;
}

void FindLogInterruptAfterForTest(DWORD searchedCount, DWORD loggedCount) {
    gInterruptSearched = searchedCount;
    gInterruptLogged = loggedCount;
}
