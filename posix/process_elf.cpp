// Whether a program is a graphical one: the libraries its ELF dynamic
// section asks for are compared with the names of the common toolkits. Such
// a program needs no terminal and runs beside the file manager when a
// display is available.
#include "qposix_path.h"
#include "qposix_process.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kGuiLibraries[] = {
    "libX11.",   "libxcb.",  "libwayland-client.",
    "libgtk-",   "libgdk-",  "libQt5Gui",
    "libQt6Gui", "libQtGui", "libSDL",
    "libglfw",   "libfltk",  "libwx_",
    "libGL.",    "libEGL.",
};

constexpr uint32_t kLoadSegment = 1;
constexpr uint32_t kDynamicSegment = 2;
constexpr uint64_t kTagEnd = 0;
constexpr uint64_t kTagNeeded = 1;
constexpr uint64_t kTagStringTable = 5;
constexpr size_t kMostDynamicEntries = 4096;

uint64_t Le(const unsigned char* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; i--)
        v = (v << 8) | p[i];
    return v;
}

// Reads exactly size bytes at offset; false on a short read or an error.
bool ReadAt(int fd, void* out, size_t size, uint64_t offset) {
    if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
    size_t done = 0;
    while (done < size) {
        ssize_t n = ::pread(fd, static_cast<char*>(out) + done, size - done,
                            static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

struct Segment {
    uint32_t type;
    uint64_t offset;
    uint64_t vaddr;
    uint64_t filesz;
};

// True when the ELF file needs one of the toolkit libraries.
bool NeedsToolkit(int fd) {
    unsigned char h[64];
    if (!ReadAt(fd, h, 52, 0)) return false;
    if (h[0] != 0x7F || h[1] != 'E' || h[2] != 'L' || h[3] != 'F') return false;
    if (h[5] != 1) return false; // little-endian only
    bool wide = h[4] == 2;
    if (!wide && h[4] != 1) return false;
    if (wide && !ReadAt(fd, h + 52, 12, 52)) return false;
    uint64_t phoff = wide ? Le(h + 0x20, 8) : Le(h + 0x1C, 4);
    size_t phentsize = static_cast<size_t>(wide ? Le(h + 0x36, 2) : Le(h + 0x2A, 2));
    size_t phnum = static_cast<size_t>(wide ? Le(h + 0x38, 2) : Le(h + 0x2C, 2));
    size_t minEntry = wide ? 56 : 32;
    if (phentsize < minEntry || phnum == 0) return false;

    std::vector<Segment> segments;
    std::vector<unsigned char> ph(phentsize);
    for (size_t i = 0; i < phnum; i++) {
        if (!ReadAt(fd, ph.data(), phentsize, phoff + static_cast<uint64_t>(i) * phentsize))
            return false;
        Segment s;
        s.type = static_cast<uint32_t>(Le(ph.data(), 4));
        if (wide) {
            s.offset = Le(ph.data() + 8, 8);
            s.vaddr = Le(ph.data() + 16, 8);
            s.filesz = Le(ph.data() + 32, 8);
        } else {
            s.offset = Le(ph.data() + 4, 4);
            s.vaddr = Le(ph.data() + 8, 4);
            s.filesz = Le(ph.data() + 16, 4);
        }
        segments.push_back(s);
    }
    const Segment* dynamic = nullptr;
    for (const Segment& s : segments)
        if (s.type == kDynamicSegment) dynamic = &s;
    if (!dynamic) return false;

    size_t entrySize = wide ? 16 : 8;
    size_t count = static_cast<size_t>(dynamic->filesz / entrySize);
    if (count > kMostDynamicEntries) count = kMostDynamicEntries;
    std::vector<unsigned char> dyn(count * entrySize);
    if (count == 0 || !ReadAt(fd, dyn.data(), dyn.size(), dynamic->offset)) return false;
    int half = wide ? 8 : 4;
    auto tag = [&](size_t i) { return Le(dyn.data() + i * entrySize, half); };
    auto value = [&](size_t i) { return Le(dyn.data() + i * entrySize + half, half); };

    bool haveTable = false;
    uint64_t tableAddress = 0;
    for (size_t i = 0; i < count && tag(i) != kTagEnd; i++)
        if (tag(i) == kTagStringTable) {
            tableAddress = value(i);
            haveTable = true;
        }
    if (!haveTable) return false;
    bool mapped = false;
    uint64_t tableOffset = 0;
    for (const Segment& s : segments)
        if (s.type == kLoadSegment && tableAddress >= s.vaddr &&
            tableAddress - s.vaddr < s.filesz) {
            tableOffset = tableAddress - s.vaddr + s.offset;
            mapped = true;
            break;
        }
    if (!mapped) return false;

    for (size_t i = 0; i < count && tag(i) != kTagEnd; i++) {
        if (tag(i) != kTagNeeded) continue;
        char name[64] = {};
        // A name near the end of the file may be shorter than 63 bytes.
        size_t got = 0;
        while (got < 63) {
            ssize_t n =
                ::pread(fd, name + got, 63 - got, static_cast<off_t>(tableOffset + value(i) + got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        name[got] = 0;
        for (const char* prefix : kGuiLibraries)
            if (std::strncmp(name, prefix, std::strlen(prefix)) == 0) return true;
    }
    return false;
}

bool DisplayAvailable() {
    const char* x = std::getenv("DISPLAY");
    if (x && *x) return true;
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return wayland && *wayland;
}

} // namespace

int ProgramIsGui(const WCHAR* path) {
    if (!path) return 0;
    std::string posix;
    try {
        posix = PathToPosix(path);
    } catch (...) {
        return 0;
    }
    if (!ProgramIsExecutable(posix.c_str())) return 0;
    int fd = ::open(posix.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return 0;
    bool toolkit = false;
    try {
        toolkit = NeedsToolkit(fd);
    } catch (...) {
        toolkit = false;
    }
    ::close(fd);
    return toolkit && DisplayAvailable() ? 1 : 0;
}
