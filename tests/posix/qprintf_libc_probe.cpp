// glibc's own snprintf, for the formatter's differential tests. This file
// includes <cstdio> and never windows.h, so the calls reach libc itself and
// not the layer's redirected names.
#include <cstddef>
#include <cstdio>

int LibcProbeInt32(char* buf, size_t size, const char* fmt, int value) {
    return std::snprintf(buf, size, fmt, value);
}

int LibcProbeInt64(char* buf, size_t size, const char* fmt, long long value) {
    return std::snprintf(buf, size, fmt, value);
}

int LibcProbeDouble(char* buf, size_t size, const char* fmt, double value) {
    return std::snprintf(buf, size, fmt, value);
}
