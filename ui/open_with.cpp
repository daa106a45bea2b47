// The open-with threads' shared state.
#include "ui/open_with.h"

std::atomic<WORD> gOpenWithThreads{0};
