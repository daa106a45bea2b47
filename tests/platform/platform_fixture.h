// The platform services on the test process's own console: a 25 x 80
// pseudo-terminal started once, a fresh screen buffer per test that the
// drawing primitives write to, the key reader's input emptied, and the
// window state, macros and switches put back to their start values. Helpers
// read cells back through the console output API and build input records.
#pragma once

#include "windows.h"
#include "terminal_harness.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qtest {

// The terminal the console runs on; the first call starts the console and
// opens the key reader's input.
TestTerminal& PlatformTerminal();

// A test on a screen of its own: a new screen buffer (gConOut) laid out as
// 25 x 80, the shadow screen blanked, the input empty and the reader's
// state as at start.
class PlatformTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    HANDLE buffer_ = nullptr;
};

// count cells of a row of gConOut from column: characters, and attributes.
std::u16string ConsoleText(int row, int column, int count);
std::vector<WORD> ConsoleAttrs(int row, int column, int count);
// count shadow characters.
std::u16string ShadowText(int row, int column, int count);

// Input records.
INPUT_RECORD Key(WORD vk, WORD scan, WCHAR ch, DWORD state, BOOL down = TRUE);
INPUT_RECORD Mouse(int column, int row, DWORD buttons, DWORD flags, DWORD state = 0);
INPUT_RECORD SizeRecord(int columns, int rows);
INPUT_RECORD MenuRecord(UINT id);
// A key press followed by its release.
std::vector<INPUT_RECORD> Tap(WORD vk, WORD scan, WCHAR ch, DWORD state = 0);
// The key presses that type text (letters, digits, blank and '.' with
// their keys, any other character by itself).
std::vector<INPUT_RECORD> TypeText(const std::u16string& text);
// Appends records to the console input.
void Put(const std::vector<INPUT_RECORD>& records);
// Records waiting in the console input.
int Pending();

} // namespace qtest
