// What the shell functions share inside the layer: the special folders as
// POSIX paths, the tree copy and removal behind SHFileOperationW, and the
// freedesktop trash. Paths here are POSIX paths; results are Windows error
// codes, and the last error is left alone.
#pragma once

#include "wintypes.h"

#include <sys/types.h>

#include <string>

// ---- helpers -----------------------------------------------------------------


// Makes dir and its missing parents with mode 0700; failures are left for
// the caller's next step to find.
void ShellMakeDirs(const std::string& dir);

// ---- folders ---------------------------------------------------------------

// The HOME variable when it holds an absolute path, else empty.
std::string ShellHomeDir();

// An XDG base directory: the variable's value when it holds an absolute
// path (a relative one is not used, as the base directory rules say), else
// HOME joined with underHome ("/" standing for an unset HOME).
std::string XdgBaseDir(const char* variable, const char* underHome);

// The folder of a special folder id (its low byte; the table of
// SHGetSpecialFolderPathW) into *out. Returns 0, or -1 for an id without a
// folder (*out is then left alone).
int SpecialFolderPath(int id, std::string* out);

// A user directory from user-dirs.dirs ($XDG_CONFIG_HOME, else
// $HOME/.config): the value of the last line "KEY=..." whose value,
// unquoted ("..." with backslash escapes) or up to the line's end, is
// "$HOME..." (HOME put in its place) or an absolute path. Other values are
// ignored. Without such a line, HOME + "/" + defaultName (HOME empty when
// unset). Always fills *out.
void XdgUserDirsRead(const char* key, const char* defaultName, std::string* out);

// ---- trees -------------------------------------------------------------------

// Copies source to target by lstat of the source:
// - a symbolic link is made again with the same text (never followed);
// - a directory: target is made with the source's permission bits (an
//   existing directory is copied into; another object there gives 80), then
//   every entry is copied in turn, the first failure ending the copy with
//   its code. A target that is the source or lies below it gives 87 and
//   nothing is made. A directory read error ends the copy with its code; it
//   is never taken for the end of the listing;
// - a fifo is made again as a fifo; a device or socket gives 5 (never opened,
//   so nothing blocks and nothing is read without end);
// - a regular file is copied by FileCopyData, replacing a file at target
//   once the new copy is complete.
// forMove: the copy stands in for a rename (FileCopyData's forMove): a name
// at the target is replaced as a name, never written through, and each file
// is on the disk before the call returns.
// Paths longer than 4095 bytes give 206.
DWORD TreeCopy(const char* source, const char* target, bool forMove = false);

// Removes path by lstat: a directory (a link to one is removed itself, never
// followed) has its entries removed first, stopping at the first failure.
// 0, the path error when path cannot be examined, else the errno table.
DWORD TreeRemove(const char* path);

// ---- trash ---------------------------------------------------------------------

// The Path= value of a .trashinfo file: ASCII letters, digits and "/-._~"
// as they are, every other byte as "%XX" (upper-case hexadecimal), stopping
// once 12284 bytes are written.
std::string TrashPercentEncode(const std::string& path);

// The trash directory of the file system whose top directory is top, for
// user uid, into *out, made when missing (mode 0700):
// - top/.Trash/UID when top/.Trash is a directory (not a link) with the
//   sticky bit, and UID there is (or becomes) a directory of uid's, no link;
// - else top/.Trash-UID ("/.Trash-UID" for the root), which must be (or
//   become) a directory of uid's that is not a link.
// Returns 0, or 5 when neither can be used.
DWORD VolumeTrashDir(const std::string& top, uid_t uid, std::string* out);

// Moves path (absolute or relative to the working directory) into the
// trash: makes its .trashinfo file and renames the item into files/ under a
// free name, never over an item already there. Any failure leaves the item
// where it was and no info file behind. 0, 5 (no trash for it, no HOME, a
// mount point, an item that cannot be examined), 80 (no free name), else
// the errno table of the failing call.
DWORD TrashItem(const char* path);
