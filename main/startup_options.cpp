// Start-up switches set by the command line.
#include "main/startup_options.h"

DWORD gSystemCopy = 1;
DWORD gSystemMove = 1;
