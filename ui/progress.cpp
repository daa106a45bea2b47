// The nested busy state and its corner cells.
#include "ui/progress.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "ui/copy_prompts.h"
#include "ui/questions.h"
#include "ui/ui_test_hook.h"

#include <atomic>

std::atomic<DWORD> gBusyFlag{0};
std::atomic<DWORD> gBusyDrawing{0};
std::atomic<DWORD> gInterruptRequested{0};
std::atomic<DWORD> gInterruptOnAnyKey{0};

namespace {

WORD gBusyDepth = 0;

struct Corner {
    int row;
    int column;
    WCHAR character;
    BYTE attr;
};
Corner gCorners[4] = {};

} // namespace

void SetBusy(int on) {
    if (on) {
        if (++gBusyDepth == 1) {
            const int rows[2] = {1, gMessageRow - 1};
            const int columns[2] = {0, gScreenMaxCol};
            int k = 0;
            for (int row : rows)
                for (int column : columns) {
                    Corner& c = gCorners[k++];
                    c.row = row;
                    c.column = column;
                    ScrGetWChars(row, column, &c.character, 1);
                    c.attr = ScrGetAttr(row, column);
                }
            gInterruptRequested = 0;
        }
        gBusyFlag = 1;
        return;
    }
    if (gBusyDepth > 0 && --gBusyDepth > 0) return;
    // Sequentially consistent stores: the clock thread, which checks the
    // flag before it raises its drawing flag, either sees the flag down or is
    // seen drawing below.
    gBusyFlag = 0;
    gInterruptRequested = 0;
    for (int i = 0; i < 50 && gBusyDrawing; i++)
        Sleep(1);
    for (const Corner& c : gCorners)
        if (c.character != 0) ScrPutWStrN(c.row, c.column, &c.character, 1, c.attr);
}

namespace {

LONGLONG gProgressTotal = 0;
LONGLONG gProgressDone = 0;
LONGLONG gIntervalBytes = 0;

} // namespace

void ShowProgress(int mode, LONGLONG n) {
    UiProgressNote(mode, n);
    if (n == 0) n = 1;
    switch (mode) {
    case 0:
        gProgressTotal = n;
        gProgressDone = 0;
        gIntervalBytes = 0;
        ForgetEncryptionAnswers();
        ForgetEncryptionVolume();
        break;
    case 1:
        gProgressDone += n;
        gIntervalBytes += n;
        break;
    case 3:
        gProgressDone -= n;
        gIntervalBytes = gIntervalBytes > n ? gIntervalBytes - n : 0;
        break;
    case 4:
        gProgressTotal = 0;
        gProgressDone = 0;
        gIntervalBytes = 0;
        break;
    default:
        break;
    }
}

LONGLONG ProgressBytesDone() { return gProgressDone; }

void ThroughputMark() {
    UiProgressNote(-1, 0);
    gIntervalBytes = 0;
}
