// The shared log mode.
#include "tree/log_state.h"

WORD gLogMode = LOG_ROOT_ONLY;
