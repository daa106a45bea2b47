// The UTF-8 and UTF-16 conversion cores shared by the path converters and
// the code-page functions: they count what the whole text needs and store
// whole characters up to a capacity, without adding a terminator.
#pragma once

#include "wintypes.h"

// Decodes n bytes; stores at most cap units (whole characters) into out when
// out is non-null; *stored receives the units stored. Returns the units the
// whole text needs. A byte that starts no sequence becomes 0xDC00 + byte with
// escape, else the unit of its value. A well-shaped sequence that no encoder
// writes (an overlong form, an encoded surrogate, a value above U+10FFFF)
// never gives its value: with escape each of its bytes is escaped, without
// it the sequence is one U+FFFD. *invalid (when given) tells whether either
// was met. keepForms (without escape only) is for text streams, which give
// back every unit written to them: an overlong form or an encoded surrogate
// then decodes to its value, and a value above U+10FFFF gives each byte as
// a unit.
size_t Utf8Decode(const char* text, size_t n, WCHAR* out, size_t cap, bool escape, size_t* stored,
                  bool* invalid = nullptr, bool keepForms = false);

// Encodes n units; stores at most cap bytes (whole characters) into out when
// out is non-null; *stored receives the bytes stored. Returns the bytes the
// whole text needs.
size_t Utf16Encode(const WCHAR* text, size_t n, char* out, size_t cap, size_t* stored);
