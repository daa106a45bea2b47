// What the layer reports about a file system object: Windows attributes
// from POSIX file types and permissions, the POSIX mode word, and the three
// file times; and the name patterns of the find functions.
#pragma once

#include "minwinbase.h"
#include "qposix_modes.h"

#include <sys/stat.h>

#include <cstdint>
#include <string_view>

// Attributes from the lstat of an entry and its path: links (0x400, plus
// 0x10 when the target is a directory), directories, read-only without the
// owner write bit, hidden dot names, devices; NORMAL when nothing else.
DWORD FileAttributesOf(const struct stat& lst, const char* posixPath);

// Creation (the birth time when the file system reports one, else the last
// write), last access and last write time of a path (not following a final
// link when nofollow) or, with a null path, of descriptor fd. Null outputs
// are skipped. Returns false with errno set.
bool FileTimesOf(int fd, const char* path, bool nofollow, FILETIME* creation, FILETIME* access,
                 FILETIME* write);

// The attribute rule itself, on values alone: lmode is the entry's own
// st_mode (a link not followed), targetIsDirectory tells whether a link's
// target is a directory, name is the entry's name. The system and archive
// attributes are never reported.
DWORD FileAttributesFromMode(uint32_t lmode, bool targetIsDirectory, std::string_view name);

// The name of the last component of a POSIX path, trailing slashes ignored
// ("/a/.b/" gives ".b", "/" gives "").
std::string_view FileNamePart(const char* posixPath);

// The mode word of a st_mode.
inline constexpr FILE_MODE_WORD FileModeWordFromMode(uint32_t mode) {
    return static_cast<FILE_MODE_WORD>(FILE_MODE_KNOWN | (mode & 07777));
}

// The type-and-permission text of an object: its type letter from lmode
// ("d", "l", "c", "b", "p", "s", else "-"), the nine "rwxrwxrwx" letters of
// perm with "-" for unset bits, setuid as "s"/"S" in the owner execute place,
// setgid likewise in the group place, sticky as "t"/"T" in the others place,
// then " %04o" of the 12 bits of perm. out holds FILE_PERMISSION_TEXT_SIZE
// bytes.
void FilePermissionText(uint32_t lmode, uint32_t perm, char* out);

// Everything the find data and the attribute functions report of one object,
// read with one statx of the object itself (a final link not followed) and,
// for a link, one more of its target.
struct FILE_FACTS {
    uint32_t mode;       // st_mode of the object itself: type and permission bits
    uint32_t targetMode; // st_mode of a link's target; 0 when no link or no target
    uint64_t size;       // st_size of the object itself
    uint64_t blocks;     // 512-byte blocks allocated to it
    uint32_t uid;        // owner and group of the object itself
    uint32_t gid;
    FILETIME creation;   // birth time when known, else the last write
    FILETIME access;
    FILETIME write;
    bool mountRoot;      // another file system is mounted here (known only where the
                         // kernel reports the mount-root attribute)
};

// Reads the facts of path, taken relative to the directory descriptor dirfd
// (AT_FDCWD: the working directory, or an absolute path). Returns 0, or the
// errno of the failing statx of the object itself; a link whose target
// cannot be read is still described (targetMode 0). Through the syscall
// wrappers, so tests can make it fail.
int FileFactsAt(int dirfd, const char* path, FILE_FACTS* out);

// The attribute rule applied to facts and the entry's name.
DWORD FileFactsAttributes(const FILE_FACTS& facts, std::string_view name);
// The mode word of facts: a resolving link's target's bits, else the
// object's own.
FILE_MODE_WORD FileFactsModeWord(const FILE_FACTS& facts);
// The dwReserved0 tag of the find data of an entry named name:
// FIND_DATA_SYMLINK_TAG for a symbolic link; FIND_DATA_MOUNT_TAG for a
// directory on which another file system is mounted, unless the name is
// "." or ".." (the searched directory and its parent are not entries of
// it); else 0.
DWORD FileFactsFindTag(const FILE_FACTS& facts, std::string_view name);

// The name match of the find functions, on UTF-16 pattern and name (both
// null-terminated): "*." matches exactly the names without a "."; "*" any run
// of characters (also empty and across dots), "?" exactly one character (a
// surrogate pair counts as one), anything else itself without regard to case
// (both lower-cased in the case locale). No character classes, no escapes.
bool FindMatchName(const WCHAR* pattern, const WCHAR* name);
