// Calls libc's snprintf for the formatter's floating conversions. This file
// includes <cstdio> and never qprintf.h, so the name reaches libc itself.
#include "internal/libc_format.h"

#include <cstdio>

namespace qposix {

int LibcFormatDouble(char* buf, size_t size, const char* format, double value) {
    // The format is built by the formatter from its own parsed request and
    // holds exactly one conversion of a double.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    return std::snprintf(buf, size, format, value);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

} // namespace qposix
