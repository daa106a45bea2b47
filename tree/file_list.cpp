// The display list of the current pane.
#include "tree/file_list.h"

DisplayFileList* gFileList = nullptr;
DWORD gFMax = 0;
