// A pre-order walk of a directory tree through qioReadDirEx, with the
// read-ahead engine on or off: what the log of a branch does with each
// directory, without the tree model.
#pragma once

#include "platform/dir_reading.h"

#include <cstdint>
#include <functional>
#include <string>

struct QioWalkTotals {
    uint64_t directories = 0;
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t failed = 0; // directories whose read failed or was skipped
};

// Walks root ("X:\" or "X:\dir") depth first, each directory before its
// subdirectories (links to directories and directories other file systems
// are mounted on are not entered), calling visit
// (when given) with the directory and its file list. Read errors are
// skipped through the dialogue layer's script, so the walk never waits for
// a key.
QioWalkTotals QioWalkTree(const std::u16string& root, bool readAhead,
                          const std::function<void(const std::u16string&, const DirFileRec*)>& visit);
