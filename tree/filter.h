// Filespecs: the text with which the user narrows a file window, tags by
// pattern or colours files. A list of name patterns, date, size and length
// comparisons and exclusions, or one regular expression between slashes,
// compiled into items and kept per pane in the filter slots; the entry test
// that every counter and list builder asks.
#pragma once

#include "platform/packed_dates.h"
#include "tree/wildcard.h"
#include "windows.h"

struct FileEntry;
struct SubdirInfo;

// Kinds of a compiled item.
inline constexpr DWORD FS_NAME = 0;      // name pattern without '*'
inline constexpr DWORD FS_WILDCARD = 1;  // name pattern with '*'
inline constexpr DWORD FS_DATE = 2;
inline constexpr DWORD FS_SIZE = 3;
inline constexpr DWORD FS_FULL_LENGTH = 'F';
inline constexpr DWORD FS_NAME_LENGTH = 'L';
inline constexpr DWORD FS_RELATIVE_LENGTH = 'R';
inline constexpr DWORD FS_REGEX = 'X';

// Operators of comparison items.
inline constexpr WORD FS_EQ = 0;
inline constexpr WORD FS_LT = 1;
inline constexpr WORD FS_LE = 2;
inline constexpr WORD FS_GT = 3;
inline constexpr WORD FS_GE = 4;

// Units of the pattern field, terminator included.
inline constexpr size_t FILESPEC_PATTERN_UNITS = FNMATCH_PATTERN_UNITS;
// Longest full filter text kept for a pane (the whole text is longer than
// this only when the canonical texts did not fit).
inline constexpr size_t FILTER_FULL_TEXT_UNITS = 2050;
inline constexpr size_t FILTER_SHORT_TEXT_UNITS = 42;
inline constexpr size_t FILTER_SLOT_COUNT = 5;

// One compiled item. The pattern and extension of a name item are laid out
// as the wildcard matcher's pattern record, so that the matcher reads them
// in place; the extension field is as long as the pattern, so that no
// extension is cut short.
struct FilespecItem {
    // Name items: the name part of the pattern; comparison items: the
    // canonical text; regular expressions: the expression.
    WCHAR pattern[FILESPEC_PATTERN_UNITS];
    WCHAR extension[FILESPEC_PATTERN_UNITS]; // name items: the extension part
    WORD op;                                 // comparisons: FS_EQ .. FS_GE
    DWORD kind;                              // FS_NAME .. FS_REGEX
    DWORD exclude;                           // the item removes what it matches
    PackedDate date;                         // date items
    LONGLONG value;                          // size and length items; -1 for "?"
};
static_assert(offsetof(FilespecItem, pattern) == offsetof(FnMatchPattern, name));
static_assert(offsetof(FilespecItem, extension) == offsetof(FnMatchPattern, extension));

// The wildcard matcher's view of a name item.
inline const FnMatchPattern* ItemMask(const FilespecItem* item) {
    return reinterpret_cast<const FnMatchPattern*>(item);
}

// One filter slot: 0 and 1 are the panes' filters, 2 to 4 belong to the
// dialogs that keep a filespec of their own. A slot with count 0 passes
// every entry.
struct FilterSlot {
    FilespecItem* items;  // owned; at least one item
    WORD count;
    DWORD active;         // the filter is other than "*.*"
    WCHAR shortText[FILTER_SHORT_TEXT_UNITS + 1];
    WCHAR fullText[FILTER_FULL_TEXT_UNITS + 1];
    DWORD modeWord;       // per-pane filter mode, kept for the windows
};

extern FilterSlot gFilterSlots[FILTER_SLOT_COUNT];

// The canonical text of the item CompileFilespec compiled last.
extern WCHAR gFilespecCanonical[FILESPEC_PATTERN_UNITS + 8];

// Every slot one zeroed item with the pattern "*.*", count 0, flag 0, short
// and full text "*.*". Frees what the slots held before.
void InitFilterSlots();
// Copies items, count, flag, full and short text and mode word of source
// into target (the target gets items of its own).
void CopyFilterSlot(FilterSlot* target, const FilterSlot* source);

// ---- the text ------------------------------------------------------------------

// The dialog's splitting of a filter text, in place: the text before the
// first ':' and the blanks after it (a label) are dropped; outside double
// quotes a blank becomes the separator ',' unless it follows ',' or ';' (or
// another separator), ';' becomes ','; an unbalanced double quote gets a
// closing one. Trailing blanks are dropped first. Returns the item count
// (separators + 1). text holds at least its length + 2 units.
int SplitFilespecText(WCHAR* text);

// Checks one item's text (up to its end or the ',' that ends it).
// *comparison is set for a comparison item. 1 valid, 0 invalid.
int FilespecToken(const WCHAR* item, DWORD* comparison);
// Checks every item of a split text; count is the item count. *anyComparison
// is set when an item is a comparison. 1 when every item is valid.
int ParseFilespecList(const WCHAR* text, int count, DWORD* anyComparison);
// Compiles one valid item's text (up to its end or ',') into item; the
// canonical text is left in gFilespecCanonical. *notAll is set when the item
// is other than "*.*". Returns 1, or 0 when the item is invalid.
int CompileFilespec(const WCHAR* text, FilespecItem* item, DWORD* notAll);

// What CompileFilterText found.
enum FilterTextResult : int {
    FILTER_OK = 1,
    FILTER_INVALID = 0,         // "Invalid filter"
    FILTER_REGEX_BAD = -1,      // "Regex: %s"
    FILTER_REGEX_TOO_LONG = -2, // "Regex too long"
    FILTER_REGEX_NO_LIBRARY = -3,
};

// Compiles a whole filter text (a list, or a regular expression between
// slashes) into slot: items, count, flag, full text (the canonical texts
// joined with ",", while they stay under 1024 units; *truncated set when
// one did not fit) and short text (cut after 14 units with U+25BA when
// longer than 15). On failure the slot is untouched and message (when
// given, messageSize bytes) receives the text the dialog shows.
int CompileFilterText(const WCHAR* text, FilterSlot* slot, char* message, size_t messageSize,
                      BOOL* truncated);

// ---- the entry test ------------------------------------------------------------

// 1 when the entry passes the compiled items, 0 when not; invert turns the
// answer over. No items: every entry passes (none inverted). Directories:
// their size is -1 when they are not logged, else the statistics' figure;
// their name is pszName.
int FileMatchesFilespec(const FilespecItem* items, DWORD count, const FileEntry* entry,
                        BOOL invert);
int FileMatchesFilespec(const FilespecItem* items, DWORD count, const SubdirInfo* dir, BOOL invert);
// The entry against a filter slot.
inline int SlotPasses(const FilterSlot& slot, const FileEntry* entry) {
    return FileMatchesFilespec(slot.items, slot.count, entry, FALSE);
}
inline int SlotPasses(const FilterSlot& slot, const SubdirInfo* dir) {
    return FileMatchesFilespec(slot.items, slot.count, dir, FALSE);
}

// 1 when a copy, move or rename target is a mask rather than a plain name.
int IsComplexMask(const WCHAR* text);
