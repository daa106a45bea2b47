// The seeded tree generator and its manifest.
#include "tree_fixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace qtest {

namespace {

constexpr int64_t kBaseTime = 981173106; // 2001-02-03 04:05:06 UTC

class Maker {
  public:
    Maker(const std::string& root, uint32_t seed) : root_(root), random_(seed) {
        manifest_.root = root;
    }
    Manifest Take() { return std::move(manifest_); }
    uint32_t Next(uint32_t bound) { return bound ? random_() % bound : 0; }
    int64_t Time() { return kBaseTime + int64_t(Next(400000000)); }

    void Dir(const std::string& rel, mode_t mode = 0755) {
        const std::string full = Full(rel);
        if (::mkdir(full.c_str(), mode) != 0) Fail("mkdir", full);
        ::chmod(full.c_str(), mode);
        manifest_.entries.push_back({'d', 0, 0, mode, rel, ""});
        dirs_.push_back(manifest_.entries.size() - 1);
    }
    void File(const std::string& rel, uint64_t size, mode_t mode = 0644) {
        const std::string full = Full(rel);
        const int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_EXCL, mode);
        if (fd < 0) Fail("create", full);
        std::string data(size, '\0');
        for (uint64_t i = 0; i < size; i++) data[i] = char('a' + (i + rel.size()) % 26);
        if (size && ::write(fd, data.data(), size) != ssize_t(size)) Fail("write", full);
        ::close(fd);
        ::chmod(full.c_str(), mode);
        const int64_t t = Time();
        Stamp(full, t, false);
        manifest_.entries.push_back({'f', size, t, mode, rel, ""});
    }
    void Link(const std::string& rel, const std::string& target) {
        const std::string full = Full(rel);
        if (::symlink(target.c_str(), full.c_str()) != 0) Fail("symlink", full);
        const int64_t t = Time();
        Stamp(full, t, true);
        manifest_.entries.push_back({'l', 0, t, 0777, rel, target});
    }
    void Fifo(const std::string& rel) {
        const std::string full = Full(rel);
        if (::mkfifo(full.c_str(), 0640) != 0) Fail("mkfifo", full);
        ::chmod(full.c_str(), 0640);
        const int64_t t = Time();
        Stamp(full, t, false);
        manifest_.entries.push_back({'p', 0, t, 0640, rel, ""});
    }
    // Directory times last: making entries inside changes them.
    void StampDirectories() {
        for (size_t i : dirs_) {
            ManifestEntry& e = manifest_.entries[i];
            e.mtime = Time();
            Stamp(Full(e.path), e.mtime, false);
        }
    }

  private:
    std::string Full(const std::string& rel) const { return rel.empty() ? root_ : root_ + "/" + rel; }
    static void Stamp(const std::string& full, int64_t t, bool link) {
        struct timespec ts[2] = {{t, 0}, {t, 0}};
        ::utimensat(AT_FDCWD, full.c_str(), ts, link ? AT_SYMLINK_NOFOLLOW : 0);
    }
    [[noreturn]] static void Fail(const char* what, const std::string& path) {
        throw std::runtime_error(std::string(what) + " " + path + ": " + std::strerror(errno));
    }
    std::string root_;
    std::mt19937 random_;
    Manifest manifest_;
    std::vector<size_t> dirs_;
};

std::string Join(const std::string& dir, const std::string& name) {
    return dir.empty() ? name : dir + "/" + name;
}

void MakeAwkward(Maker& m) {
    const std::string a = "awkward";
    m.Dir(a);
    const char* names[] = {
        "\xFF\xFE" "bad",     // invalid UTF-8
        "a\\b",               // a backslash
        "st*r", "q?",         // wildcards
        "ends.", "ends ",     // a dot and a blank at the end
        "SHORT.TXT",          // 8.3
        "ABCDEFGH.TXT",       // 8.3 in 12 units
        "ABCDEFGHI.TXT",      // 13 units
        "ABCDEFGHIJK:",       // 12 units ending in ':'
        "Case.txt", "CASE.TXT", // differing only in case
        ".hidden",
    };
    for (const char* name : names) m.File(Join(a, name), m.Next(300));
    m.File(Join(a, std::string(251, 'n') + ".txt"), 10); // 255 bytes
    m.File(Join(a, "readonly.txt"), 5, 0444);
    m.Dir(Join(a, "empty"));
    m.Dir(Join(a, "sub"));
    m.File(Join(a, "sub/inner.txt"), 7);
    m.Link(Join(a, "link-file"), "SHORT.TXT");
    m.Link(Join(a, "link-dir"), "sub");
    m.Link(Join(a, "dangling"), "missing");
    m.Link(Join(a, "loop"), "loop");
    m.Link(Join(a, "up"), "..");
    m.Fifo(Join(a, "fifo"));
    // A chain whose Windows path passes 1024 units.
    std::string deep = Join(a, "deep");
    m.Dir(deep);
    for (int i = 0; i < 6; i++) {
        deep = Join(deep, std::string(180, char('p' + i)));
        m.Dir(deep);
    }
    m.File(Join(deep, "far.txt"), 3);
}

std::string Hex(const std::string& s) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out.empty() ? "-" : out;
}

std::string Unhex(const std::string& s) {
    if (s == "-") return "";
    std::string out;
    for (size_t i = 0; i + 1 < s.size(); i += 2) out += char(std::stoi(s.substr(i, 2), nullptr, 16));
    return out;
}

} // namespace

std::vector<const ManifestEntry*> Manifest::Children(const std::string& dir) const {
    std::vector<const ManifestEntry*> out;
    for (const ManifestEntry& e : entries) {
        const size_t slash = e.path.rfind('/');
        const std::string parent = slash == std::string::npos ? "" : e.path.substr(0, slash);
        if (parent == dir && !e.path.empty()) out.push_back(&e);
    }
    return out;
}

std::vector<std::string> Manifest::Directories() const {
    std::vector<std::string> out{""};
    for (const ManifestEntry& e : entries)
        if (e.type == 'd') out.push_back(e.path);
    return out;
}

Manifest GenerateTree(const std::string& root, const TreeSpec& spec) {
    Maker m(root, spec.seed);
    std::vector<std::pair<std::string, int>> dirs{{"", 0}}; // path, depth
    const int maxDepth = spec.maxDepth < 1 ? 1 : spec.maxDepth;
    for (int i = 0; i < spec.directories; i++) {
        std::pair<std::string, int> parent;
        do parent = dirs[m.Next(uint32_t(dirs.size()))];
        while (parent.second >= maxDepth);
        char name[16];
        snprintf(name, sizeof name, "d%05d", i);
        const std::string path = Join(parent.first, name);
        m.Dir(path);
        dirs.push_back({path, parent.second + 1});
    }
    for (int i = 0; i < spec.files; i++) {
        char name[20];
        snprintf(name, sizeof name, "f%06d.dat", i);
        m.File(Join(dirs[m.Next(uint32_t(dirs.size()))].first, name),
               m.Next(uint32_t(spec.maxFileSize) + 1));
    }
    if (spec.awkward) MakeAwkward(m);
    if (spec.bigDirectory > 0) {
        m.Dir("big");
        for (int i = 0; i < spec.bigDirectory; i++) {
            char name[20];
            snprintf(name, sizeof name, "b%06d", i);
            m.File(Join("big", name), 0);
        }
    }
    m.StampDirectories();
    Manifest manifest = m.Take();
    WriteManifest(manifest, root + ".manifest");
    return manifest;
}

void WriteManifest(const Manifest& manifest, const std::string& file) {
    std::ofstream out(file, std::ios::trunc);
    out << "root " << Hex(manifest.root) << "\n";
    for (const ManifestEntry& e : manifest.entries)
        out << e.type << ' ' << e.size << ' ' << e.mtime << ' ' << std::oct << e.mode << std::dec
            << ' ' << Hex(e.path) << ' ' << Hex(e.target) << "\n";
}

Manifest ReadManifest(const std::string& file) {
    Manifest manifest;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        if (line.rfind("root ", 0) == 0) {
            std::string root, hex;
            fields >> root >> hex;
            manifest.root = Unhex(hex);
            continue;
        }
        ManifestEntry e{};
        std::string path, target;
        fields >> e.type >> e.size >> e.mtime >> std::oct >> e.mode >> std::dec >> path >> target;
        e.path = Unhex(path);
        e.target = Unhex(target);
        manifest.entries.push_back(e);
    }
    return manifest;
}

void WriteFixtureDrives(const std::string& home, char fixtureLetter,
                        const std::string& fixtureRoot, char shmLetter,
                        const std::string& shmRoot) {
    ::mkdir((home + "/.config").c_str(), 0755);
    ::mkdir((home + "/.config/quilb").c_str(), 0755);
    std::ofstream out(home + "/.config/quilb/drives", std::ios::trunc);
    out << "c: /\n" << char(fixtureLetter | 0x20) << ": " << fixtureRoot << "\n";
    if (shmLetter && !shmRoot.empty()) out << char(shmLetter | 0x20) << ": " << shmRoot << "\n";
}

} // namespace qtest
