// The directory bookmark list and the two per-volume remembered string
// lists that the windows keep and that logged-volume files carry.
#pragma once

#include "windows.h"

#include <string>

// Bookmarks: at most this many entries of at most this many units.
inline constexpr size_t BOOKMARK_COUNT = 10;
inline constexpr size_t BOOKMARK_UNITS = 1025;

// The bookmark list. Operation 11 replaces the whole list by the entries of
// path, a "|"-separated text (an empty entry is skipped; entries past the
// tenth and entries longer than BOOKMARK_UNITS are dropped) and returns the
// new count. Operation 1 steps from path's entry (from the entry of the
// last step when the list does not hold path; from past the list's end
// after a replacement) to the previous (step < 0) or next entry, wrapping
// past either end only with the settings' bookmark wrap switch, drops on
// the way every entry whose directory no longer exists, and returns the
// entry's text (owned by the list, valid until it changes), or 0 when no
// entry lies that way. Operation 4 returns the count; operation 7 (the list
// to pick from) chooses nothing yet and gives 0. A path longer than
// BOOKMARK_UNITS for any other operation, or an operation above 15, gives
// 0; operations not built here give 0.
INT_PTR LoggedPathList(int operation, int step, const WCHAR* path);
// Replaces the bookmark list by entries (count of them) under the rules of
// operation 11; an entry may hold a bar here.
void SetLoggedPaths(const std::u16string* entries, size_t count);
// The number of bookmarks and one of them (null past the end), for the
// writer of logged-volume files.
size_t LoggedPathCount();
const WCHAR* LoggedPathAt(size_t index);

// Display kinds under which remembered values are filed.
inline constexpr WORD MEMO_KIND_BRANCH = 3;
inline constexpr WORD MEMO_KIND_SHOWALL = 4;
inline constexpr WORD MEMO_KIND_GLOBAL = 5;

// The two per-volume lists: operation 0 sets value for key under the
// current pane's display kind (gDisplayMode), replacing a matching node's
// value or appending a node, and returns the stored value; 1 returns the
// matching node's value or null; 2 frees every node; 3 returns a new
// buffer (free with std::free) of WORD units: the count, then per node its
// kind, its key's length and its value ended by a zero. A node matches when
// its kind is the current one and, for the branch kind, its key equals key,
// for showall, its first two units equal key's, for global, always. Other
// display kinds match nothing and set nothing.
WCHAR* VolumePathMemo(int operation, const WCHAR* key, const WCHAR* value);
WCHAR* VolumePathMemoAlt(int operation, const WCHAR* key, const WCHAR* value);

// One node of a remembered list, as the logged-volume files carry it.
struct MemoNode {
    WORD kind;
    std::u16string key;
    std::u16string value;
};
// Which list: 0 VolumePathMemo, 1 VolumePathMemoAlt.
size_t MemoCount(int list);
const MemoNode* MemoAt(int list, size_t index);
// Appends a node under an explicit kind (loading a file).
void MemoAppend(int list, WORD kind, std::u16string_view key, std::u16string_view value);
