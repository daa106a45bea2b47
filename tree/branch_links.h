// Keeping the tree's threading sound while directories and disks leave it:
// redirecting the links that lead to a directory or into its branch,
// filling missing psiNext links after a bulk change (within a step budget),
// removing many directories in one walk, expanding or collapsing a branch,
// and freeing a directory's branch, a disk's tree or a whole disk.
//
// Every operation that frees directory records keeps the books: the disk's
// dwDirEntries counts the directories that remain, dwTreeRows loses the
// visible ones, the disk's file, byte, match and tag figures lose those of
// the freed records, a surviving parent's dwChildren loses its freed
// children, and qwSlackBytes becomes 0. No pointer into a freed record
// stays behind: psiCurrent, the panes' directories and current entries,
// and (while the pane lists directories) the display list's entries move
// to a surviving directory or are cleared.
#pragma once

#include "tree/tree_records.h"

// The most steps FixSiblingLinks takes: a damaged link cannot hang it.
inline constexpr DWORD FIX_SIBLING_LINKS_STEPS = 50000000;

// Redirects the links that lead to dir. Walks the rows from start while
// their level is not below start's and sets every psiNext that leads to dir
// to replacement. As a top call (top nonzero) then fixes start itself: a
// psiChild of start that is dir becomes dir's psiNext when that is a
// sibling of dir (same level), else null; a psiNext of start that is dir
// becomes dir's psiNext. With freeRecord, every remaining link of the disk
// to dir is replaced (ReplaceTreeLinks) and dir is freed with its files and
// with whatever subdirectories it still has.
void RelinkBranch(BOOL top, SubdirInfo* start, SubdirInfo* dir, SubdirInfo* replacement,
                  BOOL freeRecord);
// RelinkBranch with the record freed: how a directory without
// subdirectories leaves the tree (start its parent, replacement its psiNext).
void RelinkBranchKeep(BOOL top, SubdirInfo* start, SubdirInfo* dir, SubdirInfo* replacement);
// RelinkBranch as a top call without freeing: the record lives on elsewhere.
void RelinkBranchMove(SubdirInfo* start, SubdirInfo* dir, SubdirInfo* replacement);
// Takes dir's branch (dir and everything below it) out of its disk's
// threading: every row outside the branch whose psiNext leads into it gets
// dir's psiNext, and a psiChild that leads into it gets dir's next sibling
// or null. The branch's own links and every counter stay as they are.
void UnlinkBranch(SubdirInfo* dir);
// Every psiNext of dir's disk that leads to dir leads to replacement, and
// every psiChild that leads to dir to replacement when that is a sibling of
// dir, else to null (a child link never leads to another level).
void ReplaceTreeLinks(SubdirInfo* dir, SubdirInfo* replacement);

// Frees every subdirectory record below dir (dir stays in the tree, its
// psiChild null), and with withFiles also dir's own files: its figures
// leave the disk's, and its counters, bExpanded, bLogged and bChanged are
// cleared. Gives memory back to the system.
void FreeDirFiles(SubdirInfo* dir, BOOL withFiles);
// Frees every directory and file of disk (inside the busy state): psiRoot
// becomes null and the disk's figures, dwDirEntries and dwTreeRows 0. The
// disk record stays.
void FreeDiskTree(DiskInfo* disk);
// Takes disk out of the ring and frees it with its tree; unmounts a remote
// drive of its letter and drops a share mapping of it. pdiCurrent becomes
// null when no disk is left, the next disk when disk was current (psiCurrent
// then the directory of that disk's saved path for the current pane, else
// its root), and stays otherwise. A pane that showed disk (in split screen
// the other pane, and any pane whose saved state names it) gets the new
// pdiCurrent and, as its directory, the logged directory of its saved path
// there (exactly, else the root); outside global display mode its list
// position is reset. Returns the new pdiCurrent.
DiskInfo* ReleaseDisk(DiskInfo* disk);

// Fills missing psiNext links from dir onwards, within dir's level: a row
// with a child but no psiNext takes its parent's psiNext (when the parent
// is not above dir's level); a row with neither takes the psiNext of the
// nearest ancestor, not above dir's level, that has one, and the walk goes
// on from there. Ends at the end of the tree or after maxSteps steps;
// returns the steps taken.
DWORD FixSiblingLinksLimited(SubdirInfo* dir, DWORD maxSteps);
// FixSiblingLinksLimited with FIX_SIBLING_LINKS_STEPS.
DWORD FixSiblingLinks(SubdirInfo* dir);
// Removes the count directory records of removed from disk's tree in one
// walk and frees them with their files: removed is sorted by address, and
// every psiChild or psiNext that leads to one of them is redirected past
// them (a child link to the first following sibling that stays, or null);
// then FixSiblingLinks from the root's child. A directory's subdirectories
// go with it, named in removed or not, and a record named twice is freed
// once. With count 0 only the links are fixed. removed stays the caller's.
void FixBranchLinks(DiskInfo* disk, SubdirInfo** removed, size_t count);
// Expands or collapses the whole branch of psiCurrent (nothing when it has
// no child). With toggle the new state is the opposite of psiCurrent's
// bExpanded; without, expanded when psiCurrent is collapsed or a visible
// child with subdirectories is collapsed, else collapsed. The direct
// children's bVisible, and the deeper directories' where their parents are
// logged, become the state; logged directories of the branch and
// psiCurrent itself get it as bExpanded. dwTreeRows follows the rows shown.
void TreeExpandWalk(BOOL toggle);
