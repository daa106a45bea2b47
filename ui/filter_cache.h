// The regular-expression side of the filters: a name matched against a
// regular-expression filter item, with the last four compiled expressions
// kept, keyed by their text, so that the entry test compiles an expression
// once per filter rather than once per entry.
#pragma once

#include "windows.h"

struct FilespecItem;

// Nonzero when name (converted to UTF-8, at most 1040 bytes) holds a match of
// the expression filespec, compared without case. Four compiled expressions are
// kept, keyed by their whole text; a text not among them replaces the slot
// after the one replaced last (0, 1, 2, 3, 0, ...). An expression that does
// not compile, a name that does not convert, or missing regex support gives
// 0. Safe to call from several threads.
BOOL FilespecCacheLookup(const WCHAR* filespec, const WCHAR* name);
// The same for a regular-expression filter item (its pattern field).
int FilespecCacheLookup(const FilespecItem* item, const WCHAR* name);
// Frees the kept expressions; call before the regex libraries are unbound.
// The next replacement starts again at slot 0.
void FilespecCacheClear();
// Test hook: how many expressions the cache has compiled so far.
ULONGLONG FilespecCacheCompileCount();
