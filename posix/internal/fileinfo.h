// What the layer reports about a file system object: Windows attributes
// from POSIX file types and permissions, and the three file times.
#pragma once

#include "minwinbase.h"

#include <sys/stat.h>

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
