// The one local copy of a file that the viewer, help and the open command
// share: the source it stands for, the copy's path and how many users hold
// it. A use count of 0 means no copy is remembered.
#pragma once

#include "windows.h"

inline constexpr size_t OPEN_COPY_PATH_UNITS = 1025;

extern WCHAR gOpenCopySource[OPEN_COPY_PATH_UNITS];
extern WCHAR gOpenCopyPath[OPEN_COPY_PATH_UNITS];
extern DWORD gOpenCopyUses;
