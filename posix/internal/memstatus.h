// The arithmetic of GlobalMemoryStatus on the kernel's counters, apart from
// the system call, so that every case of the counters can be tested.
#pragma once

#include "winsysinfo.h"

struct sysinfo;

// Fills *status as GlobalMemoryStatus does from the counters of info; a null
// info stands for a failed sysinfo (only the length is set).
void MemoryStatusFromSysinfo(const struct sysinfo* info, MEMORYSTATUS* status);
