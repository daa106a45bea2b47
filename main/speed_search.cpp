// The least of the speed-search line: nothing is drawn yet.
#include "main/speed_search.h"

void SpeedSearch(int tree, const WCHAR* text, int markCursor, int state) {
    (void)tree;
    (void)text;
    (void)markCursor;
    (void)state;
}
