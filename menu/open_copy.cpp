// The remembered shared copy: its names and use count.
#include "menu/open_copy.h"

WCHAR gOpenCopySource[OPEN_COPY_PATH_UNITS] = {};
WCHAR gOpenCopyPath[OPEN_COPY_PATH_UNITS] = {};
DWORD gOpenCopyUses = 0;
