// The copy engine behind CopyFileExW and the moves across file systems,
// shared by the file-system operations of the layer. Paths here are POSIX
// paths; results are Windows error codes, and the last error is left alone.
#pragma once

#include "fileapi.h"

#include <sys/stat.h>

// Copies the data of the regular file source to destination in steps of at
// most 1 MiB (copy_file_range, else read and write), then gives it the
// source's permission bits, owner and group when allowed (setuid and setgid
// only with them) and its access and modification times.
// - A source that is not a regular file gives 5; a device, fifo or socket is
//   never opened, so nothing blocks and nothing reads without end.
// - An existing destination: failIfExists gives 80; a directory or a regular
//   file without owner write permission gives 5; the source itself gives 32.
//   A regular file (or the target of a link to one, or a dangling link) is
//   kept until the new copy is complete: the data goes to a temporary name in
//   the same directory, is flushed to the disk and renamed over it. A
//   device or fifo is written in place and never truncated, changed or
//   removed.
// - A new destination is created exclusively; a failure removes it (unless
//   the progress routine answered PROGRESS_STOP), and removes nothing else.
// - forMove: the copy stands in for a rename. The destination is replaced as
//   a name, the way rename replaces it: a link, device or fifo there is
//   replaced (never written through, so no data can vanish into a device),
//   and the identity check looks at the name itself. The new copy and its
//   name are on the disk before the call returns, so that the caller may
//   remove the source; when the name cannot be flushed the complete copy
//   stays and the error is returned.
// Returns 0 or a Windows error code: 112 disk full, 1235 cancelled, 8 no
// memory, path errors of either name, the errno table.
DWORD FileCopyData(const char* source, const char* destination, bool failIfExists,
                   LPPROGRESS_ROUTINE progress, LPVOID data, const BOOL* cancel,
                   bool forMove = false);

// Makes the symbolic link source again at destination (same target text,
// owner when allowed, times), replacing an existing non-directory
// destination in one step when replace is set. Returns 0 or a Windows error
// code (80 when the name is taken and replace is not set). The new name is
// flushed to the disk, as FileCopyData does for a move. The source link is
// left alone.
DWORD FileCopyLink(const char* source, const char* destination, bool replace,
                   const struct stat& sourceLstat);
