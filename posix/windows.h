// The umbrella header that program code includes: every API family of the
// compatibility layer and its runtime replacements.
#pragma once

#include "wintypes.h"
#include "winerror.h"
#include "qwcrt.h"
#include "qprintf.h"
#include "errhandlingapi.h"
#include "fileapi.h"
#include "libloaderapi.h"
#include "processenv.h"
#include "processthreadsapi.h"
#include "stringapiset.h"
#include "handleapi.h"
#include "ioapiset.h"
#include "memoryapi.h"
#include "minwinbase.h"
#include "qio.h"
#include "timezoneapi.h"
#include "synchapi.h"
