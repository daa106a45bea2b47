// The regular-expression side of the filters: a name matched against a
// regular-expression filter item, with the last four compiled expressions
// kept, keyed by their text, so that the entry test compiles an expression
// once per filter rather than once per entry.
#pragma once

#include "windows.h"

struct FilespecItem;

// Nonzero when name (converted to UTF-8) holds a match of the item's
// expression (its pattern field, at most 255 units), compared without case.
// An expression that does not compile, or missing regex support, gives 0.
// Compiled expressions are kept per text; the oldest of four is replaced
// first. Safe to call from several threads.
int FilespecCacheLookup(const FilespecItem* item, const WCHAR* name);
// Frees the kept expressions; call before the regex libraries are unbound.
void FilespecCacheClear();
