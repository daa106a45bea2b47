// What a running log does with each directory it finds: the log mode that
// the directory readers and the logging commands share.
#pragma once

#include "windows.h"

// Log modes.
inline constexpr WORD LOG_ROOT_ONLY = 0;
inline constexpr WORD LOG_TREE_ONLY = 1;
inline constexpr WORD LOG_FULL_DISK = 2;
inline constexpr WORD LOG_BRANCH = 3;
inline constexpr WORD LOG_REFRESH_WALK = 4; // one level below a directory, a refresh walk
inline constexpr WORD LOG_STOPPED = 5;      // partial logging was chosen

// The mode of the running log; the logging commands set it for their call
// and put the caller's back.
extern WORD gLogMode;
