// The archive windows' flags read and set by the tree model.
#include "archive_state.h"

BOOL gArchiveTreeActive = FALSE;
BOOL gArchiveRefreshPending = FALSE;
