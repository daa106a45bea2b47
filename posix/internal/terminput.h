// The terminal input decoder as the console's input thread sees it: bytes
// read from the terminal go in, console input records come out through the
// sink the console installs at start-up. Called with the console state lock
// held, except during the start-up query, before the console's threads exist.
#pragma once

#include "internal/terminput_decoder.h"
