// The UTF-8 and UTF-16 conversion cores shared by the path converters and
// the code-page functions: they count what the whole text needs and store
// whole characters up to a capacity, without adding a terminator.
#pragma once

#include "wintypes.h"

// Decodes n bytes; stores at most cap units (whole characters) into out when
// out is non-null; *stored receives the units stored. Returns the units the
// whole text needs.
size_t Utf8Decode(const char* text, size_t n, WCHAR* out, size_t cap, bool escape, size_t* stored);

// Encodes n units; stores at most cap bytes (whole characters) into out when
// out is non-null; *stored receives the bytes stored. Returns the bytes the
// whole text needs.
size_t Utf16Encode(const WCHAR* text, size_t n, char* out, size_t cap, size_t* stored);
