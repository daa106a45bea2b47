// The process entry of quilb: answers --version and --keys itself, and
// otherwise turns the POSIX argument vector into wide strings (existing
// paths made absolute drive-letter paths) and one command-line text before
// it starts the console and hands over to wmain.
#include "process_entry.h"
#include "qposix_path.h"
#include "windows.h"

#include <limits.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kPathUnits = 4096;

// The drive-letter form of posixPath, allocated; null when it cannot be had.
WCHAR* DriveLetterPath(const char* posixPath) {
    WCHAR path[kPathUnits];
    if (PathFromPosix(posixPath, path, kPathUnits) <= 0) return nullptr;
    return _wcsdup(path);
}

// The drive-letter path an argument names, or null when it names no
// existing file or directory (or its path cannot be had).
WCHAR* PathArgument(const char* argument) {
    struct stat st;
    if (argument[0] == '/') return stat(argument, &st) == 0 ? DriveLetterPath(argument) : nullptr;
    bool pathLike = std::strchr(argument, '/') || std::strcmp(argument, ".") == 0 ||
                    std::strcmp(argument, "..") == 0;
    if (!pathLike || stat(argument, &st) != 0) return nullptr;
    char resolved[PATH_MAX];
    if (!realpath(argument, resolved)) return nullptr;
    return DriveLetterPath(resolved);
}

// The argument as typed, from UTF-8; (byte length + 1) units suffice, as
// no byte gives more than one unit.
WCHAR* PlainArgument(const char* argument) {
    size_t units = std::strlen(argument) + 1;
    auto* wide = static_cast<WCHAR*>(std::malloc(units * sizeof(WCHAR)));
    if (wide) Utf8ToUtf16(argument, -1, wide, units, true);
    return wide;
}

bool NeedsQuotes(const WCHAR* argument) { return !argument[0] || wcspbrk(argument, u" \t\""); }

} // namespace

WCHAR** QuilbWideArguments(int argc, char** argv, bool* failedEntry) {
    *failedEntry = false;
    auto** table = static_cast<WCHAR**>(std::calloc(static_cast<size_t>(argc) + 1, sizeof(WCHAR*)));
    if (!table) return nullptr;
    for (int i = 0; i < argc; i++) {
        WCHAR* wide = i > 0 ? PathArgument(argv[i]) : nullptr;
        if (!wide) wide = PlainArgument(argv[i]);
        if (!wide) {
            *failedEntry = true;
            QuilbFreeArguments(argc, table);
            return nullptr;
        }
        table[i] = wide;
    }
    return table;
}

void QuilbFreeArguments(int argc, WCHAR** arguments) {
    if (!arguments) return;
    for (int i = 0; i < argc; i++) std::free(arguments[i]);
    std::free(arguments);
}

WCHAR* QuilbCommandLine(int argc, WCHAR* const* arguments) {
    // Room for a separating blank, two quotes and a backslash before every
    // unit of every argument.
    size_t length = 1;
    for (int i = 0; i < argc; i++) length += 2 * wcslen(arguments[i]) + 3;
    auto* text = static_cast<WCHAR*>(std::malloc(length * sizeof(WCHAR)));
    if (!text) return nullptr;
    WCHAR* p = text;
    for (int i = 0; i < argc; i++) {
        const WCHAR* argument = arguments[i];
        if (i > 0) *p++ = u' ';
        if (!NeedsQuotes(argument)) {
            for (const WCHAR* s = argument; *s; s++) *p++ = *s;
            continue;
        }
        *p++ = u'"';
        for (const WCHAR* s = argument; *s; s++) {
            if (*s == u'"') *p++ = u'\\';
            *p++ = *s;
        }
        *p++ = u'"';
    }
    *p = 0;
    return text;
}

int QuilbMain(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        // A version line that could not be written (a full disk, a closed
        // pipe) is a failure, said on the error stream.
        if (printf("%s %s (qposix, %d-bit)\n", QUILB_PRODUCT_NAME, QUILB_PRODUCT_VERSION,
                   static_cast<int>(sizeof(void*) * 8)) < 0 ||
            fflush(stdout) != 0) {
            const int error = errno;
            fprintf(stderr, "quilb: cannot write the version: %s\n", strerror(error));
            return 1;
        }
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--keys") == 0) return ConsoleKeyTest();

    bool failedEntry = false;
    WCHAR** arguments = QuilbWideArguments(argc, argv, &failedEntry);
    if (!arguments) {
        if (failedEntry) {
            fputs("quilb: out of memory\n", stderr);
            exit(1);
        }
        return 1;
    }
    // Without memory for the text the program goes on with the table alone.
    if (WCHAR* text = QuilbCommandLine(argc, arguments)) {
        SetCommandLineW(text);
        std::free(text);
    }
    ConsoleTtyFd();
    wmain(argc, arguments);
}
