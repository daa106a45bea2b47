// The text compare's command lines: nothing to draw until the compare exists.
#include "compare/compare_menu.h"

void VurCommandMenu(WORD) {}
