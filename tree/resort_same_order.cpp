// The arrays' re-sort after a file window, for a pane in the arrays' order.
#include "tree/resort_same_order.h"

#include "main/window_state.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"

#include <cstring>

void ResortIfSameOrder(BOOL switchingPanes) {
    if (!pdiFirst || gDiskCount == 0) return;
    const WORD current = WORD(gCurrentPane & 1);
    const WORD pane = switchingPanes ? WORD(1 - current) : current;
    // The first four bytes decide the order; the timestamp byte matters only
    // to the date keys and is taken over by the re-sort.
    if (std::memcmp(&gFileOrder[pane], &gArrayOrder, 4) != 0) return;
    if (pane != current) SetCurrentPane(pane);
    ResortLoggedDirs(FALSE);
    if (pane != current) SetCurrentPane(current);
}
