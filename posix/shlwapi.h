// The light-weight shell functions: the natural order of names (numbers by
// their value), the relative-path test, and the stream on a file, which this
// platform does not offer.
#pragma once

#include "wintypes.h"

// Compares a and b unit by unit, runs of ASCII digits by the numbers they
// stand for: "file2" < "file10". Other units compare lower-cased in the
// case locale, so "FILE1" equals "file1". Of two runs that stand for the same
// number, the longer one (more leading zeros) sorts first: "file01" <
// "file1". A null string counts as empty. Returns -1, 0 or 1.
int StrCmpLogicalW(LPCWSTR a, LPCWSTR b);

// FALSE when path begins with "/" or "\" or its second unit is ":" ("C:foo"
// included); TRUE for anything else, also for a null or empty path.
BOOL PathIsRelativeW(LPCWSTR path);

// A stream object; there is none on this platform.
struct IStream;

// Stores null in *stream (when given) and returns E_NOTIMPL.
HRESULT SHCreateStreamOnFileW(LPCWSTR path, DWORD mode, IStream** stream);
