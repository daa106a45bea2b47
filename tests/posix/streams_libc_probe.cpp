// libc's own stdio, called from a file that never includes qstdio.h (nor
// windows.h), so the stream tests can show that the layer's redirected names
// leave libc's fopen, fgets and fprintf as they are. It names wchar_t and
// L"..." on purpose: libc's %ls takes a 32-bit string.
#include <cstdio>
#include <cwchar>

FILE* LibcFopen(const char* path, const char* mode) {
    return std::fopen(path, mode);
}

int LibcFclose(FILE* stream) {
    return std::fclose(stream);
}

char* LibcFgets(char* buf, int n, FILE* stream) {
    return std::fgets(buf, n, stream);
}

// libc's conventions: %ls is a string of 32-bit wchar_t, %ld a 64-bit long.
int LibcFprintfWideAndLong(FILE* stream) {
    return std::fprintf(stream, "%ls|%ld", L"wide", 1099511627776L);
}
