// The display list of the current pane.
#include "tree/file_list.h"

DisplayFileList* gFileList = nullptr;
DWORD gFMax = 0;
DWORD gFTagged = 0;
DWORD gFMatching = 0;
DWORD gFTotal = 0;
