// Generated directory trees for the directory-reading tests and benchmarks:
// seeded and deterministic, with a manifest of every entry written beside
// them, and a drives file that gives the tree (and a tree on the
// shared-memory file system) drive letters.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qtest {

struct TreeSpec {
    uint32_t seed = 1;
    int directories = 40;   // ordinary directories, spread below the root
    int files = 200;        // ordinary files, spread over the directories
    int maxDepth = 5;       // levels of ordinary directories
    int maxFileSize = 600;  // bytes of an ordinary file, at most
    bool awkward = true;    // the directory "awkward" with the names and kinds below
    int bigDirectory = 0;   // files of the directory "big" (0: none)
};

// One entry, with its path relative to the root in bytes as on disk.
struct ManifestEntry {
    char type;          // 'f' file, 'd' directory, 'l' symbolic link, 'p' fifo
    uint64_t size;      // files only
    int64_t mtime;      // seconds since 1970 (files, directories and fifos)
    mode_t mode;        // permission bits
    std::string path;
    std::string target; // links only
};

struct Manifest {
    std::string root;
    std::vector<ManifestEntry> entries;
    // The entries directly inside a directory (relative path, "" for the
    // root), in the order they were made.
    std::vector<const ManifestEntry*> Children(const std::string& dir) const;
    // Directories, root first, in the order they were made.
    std::vector<std::string> Directories() const;
};

// Makes the tree below root (which must exist and be empty) and returns its
// manifest, which it also writes to root + ".manifest". The awkward
// directory holds: a name of invalid UTF-8; names with "\", "*" and "?";
// names ending in "." and in a blank; names of 8.3 form, of 12 and of 13
// units; 12 units ending in ":"; a pair differing only in case; a name of
// 255 bytes; a chain of directories whose path passes 1024 units; links to a
// file, to a directory and to nothing; a link loop and a link to the parent;
// an empty directory; a fifo. Every entry has a known modification time.
Manifest GenerateTree(const std::string& root, const TreeSpec& spec);

// The manifest as text (one line per entry, paths hex-encoded) and back.
void WriteManifest(const Manifest& manifest, const std::string& file);
Manifest ReadManifest(const std::string& file);

// Writes home/.config/quilb/drives with "c: /", letter fixtureLetter on
// fixtureRoot and, when shmRoot is not empty, letter shmLetter on it.
void WriteFixtureDrives(const std::string& home, char fixtureLetter,
                        const std::string& fixtureRoot, char shmLetter = 0,
                        const std::string& shmRoot = "");

} // namespace qtest
