// In-memory trees for the tree tests and benchmarks: disks, directories and
// file arrays made straight in the tree's records (from a short description
// or from a generated fixture's manifest), and a checker of the records'
// invariants.
#pragma once

#include "tree/tree_records.h"
#include "tree_fixture.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qtest {

// One file of a built array.
struct BuiltFile {
    std::u16string name;
    ULONGLONG size = 0;
    BYTE flags[2] = {ENTRY_MATCHES, ENTRY_MATCHES};
    int64_t written = 0; // seconds since 1970 (UTC) as all three dates; 0: none
};

// A new disk in the ring, with its root (rootName, default "X:\") logged,
// expanded and visible, and its counters zero.
DiskInfo* BuildDisk(char letter, std::u16string_view rootName = u"");
// The directory of a path below the disk's root ("a\b"), made with its
// missing ancestors (logged, visible, expanded) and threaded in order.
SubdirInfo* BuildDir(DiskInfo* disk, std::u16string_view path);
// The directory's file array, replacing any old one, with indices from 1 in
// the order given; names are stored inline or long as the directory reader
// stores them. The counters are recounted.
void BuildFiles(SubdirInfo* dir, const std::vector<BuiltFile>& files);
// Stores a name in an entry as the directory reader does (SetEntryName);
// a drive entry's marks (U+FFFF first) go into the inline field alone.
void StoreEntryName(FileEntry* entry, std::u16string_view name);
// A disk from a description: items separated by blanks; "a\b\" is a
// directory, "a\f.txt=120" a file of 120 bytes in a (made when missing),
// "f" a file in the root; "#n" after a file gives both panes' flag bytes
// (default 2: matches). The counters are recounted.
DiskInfo* BuildTree(char letter, std::u16string_view description);
// A disk from a generated fixture: every directory and every other entry
// (as a file, with its size and modification time) of the manifest, names
// converted as the layer converts them. Linear in the manifest's size, so
// that trees of a million files can be built.
DiskInfo* BuildTreeFromManifest(char letter, const Manifest& manifest);
// Sets every counter of every disk and directory to a recount of the records
// (drive entries counted nowhere).
void RecountTrees();
// Frees every disk and clears the tree's globals.
void FreeTrees();
// FreeTrees, and every global the tree's code keeps beside the records put
// back as a fresh process has it: no display list, no archive tree, pane 0
// current without split screen, both panes in display mode 1 listing files
// without tags or current entry, every sort order zero (name, ascending,
// OEM) and the panes working with their file orders, the sort switches off.
void ResetTreeState();
// Hands the records built so far to the tree's own code, which frees them
// from now on: FreeTrees then frees only what the ring still reaches, never
// a record the code under test has freed.
void DisownRecords();

// The violations of the tree's invariants, one text each; empty when sound:
// ring order and count; pre-order threading, last descendants sharing their
// ancestor's psiNext, siblings in CompareEntryNames order; levels, parents,
// names and disks; file arrays, end records and owners; counters equal to a
// recount; psiCurrent in pdiCurrent's tree; dwDirEntries.
std::vector<std::string> CheckTree();
// CheckTree's faults as one text, a line each; empty when sound.
std::string CheckTreeText();
// The directories of a disk in pre-order, the root first.
std::vector<SubdirInfo*> DirsInOrder(const DiskInfo* disk);
// A wide text for test messages: ASCII as it is, '?' for the rest.
std::string NarrowText(std::u16string_view text);

} // namespace qtest
