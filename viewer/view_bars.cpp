// The viewer's command lines: nothing to draw until the viewer exists.
#include "viewer/view_bars.h"

void DrawViewCommandBar() {}
void DrawViewCtrlBar() {}
void DrawViewAltBar() {}
void DrawViewShiftBar() {}
