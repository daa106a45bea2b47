// Tagging: the per-pane tag bits of files (or, while a pane lists
// directories, of directories) and the tag counters of their directory, disk
// and display list kept in step, one entry at a time or in bulk over a
// directory, a branch, a disk, a range or the list; the INVERT prompt,
// tagging by attributes and mode, and the "TAG by:" prompt.
#pragma once

#include "windows.h"

struct SubdirInfo;

// The attribute and mode test of "tag by attributes": twelve places, in
// order read-only, archive, system, hidden, compressed, encrypted, not
// indexed, reparse point, offline, sparse, temporary and a twelfth; each 0
// (not tested), the upper-case letter R A S H C E I J O P T (attribute set)
// or the lower-case letter (attribute clear); and a mode text.
struct AttrTest {
    WCHAR places[12];
    WCHAR modeText[23];
};

// Index of the directory itself in TagEntry and UntagEntry.
inline constexpr LONG TAG_DIRECTORY_ITSELF = -1;
// The operation codes of TagBranchAll.
inline constexpr WORD TAG_BRANCH_TAG = 374;
inline constexpr WORD TAG_BRANCH_UNTAG = 375;
inline constexpr WORD TAG_BRANCH_INVERT = 376;

// Tags one entry of the current pane without testing it first (every caller
// tests): with dir, entry index of dir's file array, or the directory itself
// for TAG_DIRECTORY_ITSELF; without dir, index into the display list (the
// list header and gFTagged count it too).
void TagEntry(SubdirInfo* dir, LONG index);
// The mirror of TagEntry.
void UntagEntry(SubdirInfo* dir, LONG index);
// Every matching untagged entry of dir (or of the display list when null).
void TagAllInDir(SubdirInfo* dir);
void UntagAllInDir(SubdirInfo* dir);
void InvertTagsInDir(SubdirInfo* dir);
// Over every directory of pdiCurrent: 'T' tag, 'U' untag, anything else
// invert.
void TagDiskAll(int letter);
// Over dir and its branch, by operation code.
void TagBranchAll(WORD op, SubdirInfo* dir);
// The list entries [0, index] (or [index, gFMax) with toEnd) tagged or
// untagged.
void TagRange(DWORD index, BOOL tag, BOOL toEnd);
// Untags every listed entry that is tagged but no longer marked.
void UntagUnmarked();
// The INVERT prompt: 0, 1, 105 or 4127.
int InvertCommand(BOOL listMode, SubdirInfo* dir, BOOL diskMode);
// 0 when a letter given fails; else 1 (tag) or -1 (untag).
int FilterMatchAttr(const AttrTest* test, DWORD attributes, BOOL tag);
// FilterMatchAttr combined with the mode test of the mode text.
int FilterMatchDate(const AttrTest* test, DWORD attributes, WORD mode, BOOL tag);
// The attributes prompt and its tagging over the list (disk 0) or the disk.
void TagByAttributes(BOOL disk, BOOL tag);
// The "TAG by:" / "UNTAG by:" prompt: 0 or a queued key code.
int TagByFilespecDialog(BOOL disk, BOOL tag);
