// FIND & LOG: searches a whole disk for the files that match the current
// pane's filespec without building its tree first, then logs only the
// directories that hold matches. Worker threads read directories into
// packed buffers; the main thread alone tests the files, changes the tree
// and draws.
#pragma once

#include "windows.h"

#include <atomic>
#include <cstddef>

// One directory to search, allocated together with its path.
struct FindLogNode {
    FindLogNode* pNext; // link in the stack, the done list or a local chain
    DWORD dwLevel;      // depth below the root (root 0)
    DWORD bPushed;      // its subdirectories have been made into nodes
    BYTE* pEntries;     // packed entry buffer (FindLogRecord records)
    ULONGLONG cbUsed;
    ULONGLONG cbAlloc;
    // The parent's path, "\" and the name. The root's is "X:\", so below
    // the root the drive is followed by a doubled backslash.
    WCHAR wszPath[1];
};

// The fixed part of a packed entry. Records start on 8-byte boundaries
// but the FILETIMEs inside lie at offset 12, so they are read and written
// with memcpy only.
inline constexpr size_t FINDLOG_OFF_ATTRIBUTES = 0;
inline constexpr size_t FINDLOG_OFF_SIZE_HIGH = 4;
inline constexpr size_t FINDLOG_OFF_SIZE_LOW = 8;
inline constexpr size_t FINDLOG_OFF_CREATED = 12;
inline constexpr size_t FINDLOG_OFF_ACCESSED = 20;
inline constexpr size_t FINDLOG_OFF_WRITTEN = 28;
inline constexpr size_t FINDLOG_OFF_LENGTH = 36;
inline constexpr size_t FINDLOG_OFF_NAME = 38;
// The first buffer of a node; it doubles (or grows to what is needed).
inline constexpr ULONGLONG FINDLOG_FIRST_BUFFER = 4096;
// The distance to the next record for a name of nameUnits units.
constexpr size_t FindLogRecordLength(size_t nameUnits) {
    return (FINDLOG_OFF_NAME + 2 * (nameUnits + 1) + 7) & ~size_t(7);
}
// Workers ask for this many threads, whatever the processors.
inline constexpr int FINDLOG_WORKERS = 4;
// The workers wait while the done list holds more than this many bytes of
// nodes and buffers: on a disk read faster than it is matched, the search
// keeps a bounded part of it in memory.
inline constexpr ULONGLONG FINDLOG_DONE_CAP = 128ull << 20;

// A packed record read back.
struct FindLogEntry {
    DWORD attributes;
    ULONGLONG size;
    FILETIME created;
    FILETIME accessed;
    FILETIME written;
    const WCHAR* name; // inside the buffer
};
// The record at offset of node's buffer; returns the offset of the next.
size_t FindLogEntryAt(const FindLogNode* node, size_t offset, FindLogEntry* entry);

// ---- shared state (guarded by gFindLogLock while workers run) -------------------

extern CRITICAL_SECTION gFindLogLock;
extern FindLogNode* gFindLogStack;  // pending nodes, last in first out
extern FindLogNode* gFindLogDone;   // read, waiting for the main thread
extern DWORD gFindLogPending;       // pushed and not yet finished by the main thread
// Workers running; 0: the main thread works alone and takes no lock.
extern std::atomic<LONG> gFindLogThreads;
extern std::atomic<DWORD> gFindLogAbort; // ends the workers; read without the lock
// Set while FIND & LOG logs what it found: the clock thread then leaves the
// keyboard alone and FIND & LOG polls Esc itself.
extern std::atomic<DWORD> gFindLogActive;

// ---- the command and its parts ------------------------------------------------------

// The command on pdiCurrent: 1 when matching files were found, else 0
// (also 0 when no disk or no root is logged).
int FindAndLog();
// A zeroed node with the path "%s\%s" and level.
FindLogNode* FindLogNewDir(const WCHAR* parentPath, const WCHAR* name, DWORD level);
// Reads node's directory into its packed buffer: every file, and every
// directory the search may enter.
void FindLogRead(FindLogNode* node);
// Makes node's kept directories into nodes and pushes them; with testNoLog
// those the never-log list names are dropped (main thread only).
void FindLogPushSubdirs(FindLogNode* node, BOOL testNoLog);
// The worker thread procedure.
DWORD FindLogWorker(LPVOID parameter);
// Shows a progress text on the command lines; null forgets the last one.
void FindLogStatus(const WCHAR* text);
// Orders two paths case-insensitively, then exactly.
int FindLogPathCompare(const WCHAR* a, const WCHAR* b);
// The path of a node as the tree names it: "X:\a\b" for "X:\\a\b".
const WCHAR* FindLogTreePath(const WCHAR* nodePath, WCHAR* buffer, size_t units);

// ---- what the last run did, and test hooks ---------------------------------------------

struct FindLogFigures {
    DWORD searched;       // directories searched
    DWORD foundDirs;      // directories holding matches
    DWORD foundFiles;     // matching files
    DWORD logged;         // found directories logged
    LONG workers;         // workers that ran
    BOOL stoppedSearching;
    BOOL stoppedLogging;
    ULONGLONG donePeakBytes;  // most bytes the done list held
    ULONGLONG largestNodeBytes; // the largest node with its buffer
    ULONGLONG capWaits;       // times a worker waited for the done list to shrink
};
extern FindLogFigures gFindLogFigures;

// Overrides the done list's cap (0 puts FINDLOG_DONE_CAP back).
void FindLogSetCapForTest(ULONGLONG bytes);
// With hold, the main thread leaves the done list alone until it holds at
// least the cap or no worker has anything left to read, so that a test can
// see the cap bind.
void FindLogHoldMainForTest(BOOL hold);
// Progress is drawn and Esc looked for when more than milliseconds passed
// since the last time (FINDLOG_STATUS_DEFAULT: 74); with 0, after every
// batch.
inline constexpr DWORD FINDLOG_STATUS_DEFAULT = 0xFFFFFFFF;
void FindLogStatusEveryForTest(DWORD milliseconds);
// Raises gInterruptRequested once searchedCount directories were searched
// (0: never), and once loggedCount found directories were logged (0: never),
// as Esc pressed at that moment would.
void FindLogInterruptAfterForTest(DWORD searchedCount, DWORD loggedCount);
