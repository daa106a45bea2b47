// The QAAP switch and status call.
#include "menu/qaap.h"

DWORD gQaapOn = 0;
DWORD gQaapCurrentForm = 0;

int QaapStatus(int operation, int status, int state, int argument, int index) {
    (void)operation;
    (void)status;
    (void)state;
    (void)argument;
    (void)index;
    return 0;
}

BOOL ReadQbrFlag() {
    return FALSE;
}
