// Small helpers several families of the layer share: writing a whole buffer
// to a descriptor, the parent of a POSIX path, percent-encoding of path
// bytes, and UTF-16 text as a UTF-8 string.
#pragma once

#include "wintypes.h"

#include <cstddef>
#include <string>
#include <string_view>

// Writes all n bytes, retrying interrupted and partial writes (through the
// layer's write wrapper, so that tests can inject faults). Returns 0, or the
// errno of the failing write; a write that takes nothing gives EIO.
int WriteWhole(int fd, const void* bytes, size_t n);

// The directory part of a POSIX path: "." for a bare name, "/" for a name
// directly under the root.
std::string PosixParent(const std::string& path);

// Appends the bytes to out, each byte other than the unreserved characters
// of a URI (letters, digits, "-", ".", "_", "~") and "/" as "%XX" with
// upper-case hexadecimal digits. Stops before the byte that would start at
// or past limit bytes of out.
void AppendPercentEncoded(std::string_view bytes, std::string* out,
                          size_t limit = std::string::npos);

// UTF-16 text (a count of units, or up to the terminator) as UTF-8 by
// Utf16ToUtf8, so the byte escape gives back its bytes. May throw
// std::bad_alloc.
std::string Utf8String(const WCHAR* text, size_t units);
std::string Utf8String(const WCHAR* text);
