// The one door from the formatter to libc's own snprintf. It lives apart
// because qprintf.h redirects the name snprintf to the layer's version; this
// header declares nothing under a libc name, so it may be included anywhere.
#pragma once

#include <cstddef>

namespace qposix {

// Formats one double with libc's snprintf and the given single-conversion
// format (such as "%-+12.4e") into buf of size bytes, in the POSIX locale the
// process never leaves. Returns libc's result: the length the whole text
// needs, or a negative value on failure. buf holds at most size - 1
// characters and a terminator when size > 0.
int LibcFormatDouble(char* buf, size_t size, const char* format, double value);

} // namespace qposix
