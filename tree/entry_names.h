// Names and modes of single tree records: storing a name into a file entry
// (the inline 8.3 field or a heap copy) or into a directory listed in the
// file window, and the POSIX mode word of a file or directory, looked up on
// first use and kept.
#pragma once

#include "tree/tree_records.h"

// Stores name in record. When the pane lists directories and record is one
// of its owner's subdirectories (a SubdirInfo read through the shared
// head), the directory's full name gets name as its last component and
// pszName follows it; result 1. Otherwise record is a file entry: a name the
// inline field holds and gives back unchanged is stored there ("%-12s" for
// up to 8 units without a dot after the first unit and without a blank,
// "%-8s.%s" for an 8.3 name without a blank before the dot), any long name
// freed, result 0; every other name is kept as a heap copy in pszLongName
// (the old one freed) with the inline field "%-12s", or for 13 units and
// more the first 11 units and U+25BA; result 1. Whatever the result,
// GetFileDisplayName gives name back exactly. Allocation failure is fatal.
int SetEntryName(const WCHAR* name, FileEntry* record);

// The mode word of a file when it is usable (top bit set), else 0. While an
// archive runs as a tree only the stored word is read; otherwise the word is
// looked up by full name the first time and kept (16384 when the lookup
// failed, which is never asked again).
WORD GetEntryMode(FileEntry* entry);
// The same for a directory, looked up by pszFullName on first use; 0 while
// an archive runs as a tree.
WORD GetDirMode(SubdirInfo* dir);
// GetDirMode without the archive test.
WORD GetNodeMode(SubdirInfo* dir);

// Enters a file the program created (full path) into its logged directory
// through the target-directory refresh of the file commands: 0 when done, 2
// when the file cannot be read.
int AddCreatedFileEntry(const WCHAR* path);
