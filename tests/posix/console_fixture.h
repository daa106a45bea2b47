// The console of the test process, started once on a pseudo-terminal of its
// own (80 x 25) that lives as long as the process, and small helpers to read
// buffers and wait for the renderer.
#pragma once

#include "consoleapi.h"
#include "terminal_harness.h"

#include <string>

namespace qtest {

// The terminal the console runs on; the first call starts the console.
TestTerminal& ConsoleTerminal();
HANDLE ConsoleOut();
HANDLE ConsoleIn();

// A new screen buffer, active while the object lives; the default buffer is
// active again afterwards.
class ScratchBuffer {
  public:
    ScratchBuffer();
    ~ScratchBuffer();
    ScratchBuffer(const ScratchBuffer&) = delete;
    ScratchBuffer& operator=(const ScratchBuffer&) = delete;
    HANDLE handle() const { return handle_; }

  private:
    HANDLE handle_;
};

// count units of a row of a buffer's current page from column from.
std::u16string ReadRow(HANDLE buffer, int row, int from, int count);
WORD ReadAttribute(HANDLE buffer, int column, int row);
COORD CursorOf(HANDLE buffer);
void Write(HANDLE buffer, const std::u16string& text);
// Waits until the terminal shows text at row, column.
bool WaitShown(int row, int column, const std::string& text, int timeoutMs = 10000);

} // namespace qtest
