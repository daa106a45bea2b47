// The remembered text cursor's moves.
#include "ui/text_helpers.h"
#include "platform/screen.h"
#include "platform/console_session.h"

void CycleCursorRow(WORD direction) {
    int row = gCursorRow;
    int column = gCursorCol;
    auto up = [&] { row = row == 0 ? 250 : row - 1; };
    auto down = [&] { row = row >= 249 ? 0 : row + 1; };
    switch (direction) {
    case CURSOR_UP:
        up();
        break;
    case CURSOR_DOWN:
        down();
        break;
    case CURSOR_LEFT:
        if (column == 0) {
            column = 1023;
            up();
        } else {
            column--;
        }
        break;
    case CURSOR_RIGHT:
        if (column >= 1023) {
            column = 0;
            down();
        } else {
            column++;
        }
        break;
    default:
        return;
    }
    ScrSetCursorPos(row, column);
}
