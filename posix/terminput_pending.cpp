// Stand-ins for the terminal input decoder until it is merged: they accept
// bytes and decode nothing. Removed when the decoder lands.
#include "internal/terminput.h"

void TerminalInputReset(bool) {}

void TerminalInputFeed(const unsigned char*, size_t, uint64_t) {}

void TerminalInputFlushPending(uint64_t) {}

int TerminalInputTimeoutMs() { return -1; }
