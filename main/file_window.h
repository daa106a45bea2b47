// The small file window under the tree: the files of the current directory,
// or a message when its contents are not read.
#pragma once

#include "windows.h"

// Redraws the current directory's name and figures, the path line and the
// small file window.
void ShowFileWindow();
