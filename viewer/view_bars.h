// The viewer's command lines as the command menus draw them for the viewer,
// the help and the autoview windows. The viewer itself is not built yet:
// the bars draw nothing, and the menus that call them stay correct.
#pragma once

// The two plain command lines (VIEW COMMANDS).
void DrawViewCommandBar();
// The CTRL VIEW line.
void DrawViewCtrlBar();
// The ALT VIEW line.
void DrawViewAltBar();
// The SHIFT line of automatic scrolling.
void DrawViewShiftBar();
