// The log disk dialog: asks which drive, path or group of drives to log.
// The dialog is not built yet.
#pragma once

#include "windows.h"

// Result of a dialog the user left without logging.
inline constexpr int LOG_DIALOG_CANCELLED = 27;

// The log dialog (kind and option for the drive prompt and LogDrive,
// replace for the drives the multi-drive passes skip): 27 when cancelled,
// 3 after a marked-drives pass that logged disks, else 0. Until the dialog
// is built it logs nothing and answers 27.
int LogDiskDialog(int kind, BOOL replace, int option);
