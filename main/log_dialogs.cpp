// The log disk dialog: until it is built, it is left at once, as by Esc.
#include "main/log_dialogs.h"

int LogDiskDialog(int, BOOL, int) {
    return LOG_DIALOG_CANCELLED;
}
