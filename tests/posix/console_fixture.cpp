// The test process's console on its own pseudo-terminal.
#include "console_fixture.h"
#include "internal/console.h"
#include "fileapi.h"
#include "handleapi.h"

#include <gtest/gtest.h>

#include <vector>

namespace qtest {

TestTerminal& ConsoleTerminal() {
    // Never destroyed: the console keeps its terminal for the life of the
    // process, as it keeps /dev/tty.
    static TestTerminal* terminal = [] {
        auto* t = new TestTerminal(25, 80);
        ConsoleTestUseTerminal(t->SlavePath().c_str());
        if (!GetStdHandle(STD_OUTPUT_HANDLE)) std::abort();
        return t;
    }();
    return *terminal;
}

HANDLE ConsoleOut() {
    ConsoleTerminal();
    return GetStdHandle(STD_OUTPUT_HANDLE);
}

HANDLE ConsoleIn() {
    ConsoleTerminal();
    return GetStdHandle(STD_INPUT_HANDLE);
}

ScratchBuffer::ScratchBuffer() {
    ConsoleTerminal();
    handle_ = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        CONSOLE_TEXTMODE_BUFFER, nullptr);
    EXPECT_NE(handle_, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetConsoleActiveScreenBuffer(handle_));
}

ScratchBuffer::~ScratchBuffer() {
    SetConsoleActiveScreenBuffer(ConsoleOut());
    CloseHandle(handle_);
}

std::u16string ReadRow(HANDLE buffer, int row, int from, int count) {
    std::vector<CHAR_INFO> cells(static_cast<size_t>(count));
    SMALL_RECT region = {SHORT(from), SHORT(row), SHORT(from + count - 1), SHORT(row)};
    if (!ReadConsoleOutputW(buffer, cells.data(), COORD{SHORT(count), 1}, COORD{0, 0}, &region))
        return u"<read failed>";
    std::u16string out;
    for (const CHAR_INFO& c : cells) out.push_back(c.Char.UnicodeChar);
    return out;
}

WORD ReadAttribute(HANDLE buffer, int column, int row) {
    CHAR_INFO cell = {};
    SMALL_RECT region = {SHORT(column), SHORT(row), SHORT(column), SHORT(row)};
    ReadConsoleOutputW(buffer, &cell, COORD{1, 1}, COORD{0, 0}, &region);
    return cell.Attributes;
}

COORD CursorOf(HANDLE buffer) {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(buffer, &info);
    return info.dwCursorPosition;
}

void Write(HANDLE buffer, const std::u16string& text) {
    DWORD written = 0;
    EXPECT_TRUE(WriteConsoleW(buffer, text.data(), DWORD(text.size()), &written, nullptr));
    EXPECT_EQ(written, text.size());
}

bool WaitShown(int row, int column, const std::string& text, int timeoutMs) {
    return ConsoleTerminal().WaitScreen(
        [&](const VtScreen& s) {
            return row < s.Rows() && s.RowText(row).compare(size_t(column), text.size(), text) == 0;
        },
        timeoutMs);
}

} // namespace qtest
