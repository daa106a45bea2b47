// The per-pane match and tag counters of directories and disks: an entry's
// match bit follows its pane's filter, and a directory's and a disk's
// figures are the sums of their entries' bits and sizes.
#pragma once

#include "windows.h"

struct DiskInfo;
struct SubdirInfo;

// Recounts dir. For a pane that lists files (the current pane, and the
// other one too in split screen) each entry's match bit is set by that
// pane's filter; then both panes' match and tag figures of dir are counted
// again from the entries' bits (drive entries count nowhere), dwFiles
// becomes the number of entries counted, and the disk's figures (when disk
// is given) lose the old and gain the new figures, never going below 0.
// For a pane that lists directories, dir and every directory of its branch
// get their match bit by the pane's filter instead (names beginning "/"
// never match).
void ApplyDirCounts(DiskInfo* disk, SubdirInfo* dir);
// Clears disk's match and tag figures and recounts every directory of its
// tree: read directories through ApplyDirCounts, and while a pane lists
// directories the collapsed ones too.
void RecountDisk(DiskInfo* disk);
// RecountDisk on every logged disk with that disk current; pdiCurrent is
// put back.
void RecountAllDisks();
