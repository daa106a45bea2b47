// The shared log mode and the switches of a logging pass.
#include "tree/log_state.h"

WORD gLogMode = LOG_ROOT_ONLY;
SHORT gLogDepthLimit = LOG_NO_DEPTH_LIMIT;
DWORD gReadAheadActive = 0;
DirSubdirRec* gCachedSubdirs = nullptr;
SubdirInfo* gCachedSubdirsOwner = nullptr;
DWORD gSuppressLogPrompt = 0;
DWORD gPrefetchEnabled = 1;
DWORD gLogSkipErrors = 0;
DWORD gDeferRecount = 0;
