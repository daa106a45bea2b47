// The position indicator in its least form: nothing drawn, no position
// asked for.
#include "main/file_position.h"

DWORD ShowFilePositionEx(int inputMode, int frameStyle, DWORD index, DWORD total) {
    (void)frameStyle;
    (void)total;
    return inputMode ? 0 : index;
}
