// The platform test fixture on the test process's own console.
#include "platform_fixture.h"
#include "internal/console.h"
#include "main/tree_window.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "menu/macros.h"
#include "menu/qaap.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/progress.h"

namespace qtest {

TestTerminal& PlatformTerminal() {
    // Never destroyed: the console keeps its terminal for the life of the
    // process.
    static TestTerminal* terminal = [] {
        auto* t = new TestTerminal(25, 80);
        ConsoleTestUseTerminal(t->SlavePath().c_str());
        if (!GetStdHandle(STD_OUTPUT_HANDLE)) std::abort();
        gConOut = GetStdHandle(STD_OUTPUT_HANDLE);
        InitBoxChars();
        KbdOpen(TRUE);
        KbdLayoutSync();
        return t;
    }();
    return *terminal;
}

void PlatformTest::SetUp() {
    PlatformTerminal();
    buffer_ = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        CONSOLE_TEXTMODE_BUFFER, nullptr);
    ASSERT_NE(buffer_, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetConsoleActiveScreenBuffer(buffer_));
    gConOut = buffer_;
    SessionSwitches = {TRUE, TRUE, FALSE, TRUE, TRUE};
    gWindowMode = WM_TREE;
    gSplitScreen = 0;
    gPanesSwapped = 0;
    gSplitLayout = 0;
    gSplitLayoutSetting = 0;
    for (int p = 0; p < 2; p++) {
        gDirMode[p] = 0;
        gAutoview[p] = 0;
        gTaggedOnly[p] = 0;
        gDisplayMode[p] = 1;
    }
    gPanes[0] = PaneState{};
    gPanes[1] = PaneState{};
    SetCurrentPane(0);
    gMenuModifier = 0;
    ShowCommandMenu(0, 1);
    gMenuRedrawPending = 0;
    gPickerActive = 0;
    gTreeDisplayMode = 0;
    gTreeIndent = 3;
    ScrSetupLayout(25, 80, 1);
    ScrClearArea(0, 0, 24, 79, 0x07);
    gNormalAttr = 0x07;
    gCursorRow = 0;
    gCursorCol = 0;
    gTextCursor = FALSE;
    gAltGrLayout = FALSE;
    gResizePending = FALSE;
    gMacroKeysWhileBusy = FALSE;
    gModifierMenusOff = FALSE;
    gQaapKeysOff = FALSE;
    gCtrlArrowsTag = FALSE;
    gQaapOn = 0;
    gMacroListFacts = nullptr;
    MacroStop();
    TypeAheadDrop();
    KeyPushStack.count = 0;
    HotClear(FALSE);
    FlushConsoleInputBuffer(gConIn);
}

void PlatformTest::TearDown() {
    EXPECT_EQ(gBusyFlag.load(), 0u) << "the test left the busy state on";
    if (MacroRecordingActive()) KeyLogMacroRecord(KEYLOG_END_RECORDING, 0, 0, nullptr);
    FlushConsoleInputBuffer(gConIn);
    SetConsoleActiveScreenBuffer(GetStdHandle(STD_OUTPUT_HANDLE));
    CloseHandle(buffer_);
    gConOut = GetStdHandle(STD_OUTPUT_HANDLE);
}

std::u16string ConsoleText(int row, int column, int count) {
    std::vector<CHAR_INFO> cells(size_t(count), CHAR_INFO{});
    SMALL_RECT region = {SHORT(column), SHORT(row), SHORT(column + count - 1), SHORT(row)};
    if (!ReadConsoleOutputW(gConOut, cells.data(), COORD{SHORT(count), 1}, COORD{0, 0}, &region))
        return u"<read failed>";
    std::u16string text;
    for (const CHAR_INFO& c : cells)
        text.push_back(c.Char.UnicodeChar);
    return text;
}

std::vector<WORD> ConsoleAttrs(int row, int column, int count) {
    std::vector<CHAR_INFO> cells(size_t(count), CHAR_INFO{});
    SMALL_RECT region = {SHORT(column), SHORT(row), SHORT(column + count - 1), SHORT(row)};
    ReadConsoleOutputW(gConOut, cells.data(), COORD{SHORT(count), 1}, COORD{0, 0}, &region);
    std::vector<WORD> attrs;
    for (const CHAR_INFO& c : cells)
        attrs.push_back(c.Attributes);
    return attrs;
}

std::u16string ShadowText(int row, int column, int count) {
    std::u16string text(size_t(count), u'\0');
    ScrGetWChars(row, column, text.data(), count);
    return text;
}

INPUT_RECORD Key(WORD vk, WORD scan, WCHAR ch, DWORD state, BOOL down) {
    INPUT_RECORD r = {};
    r.EventType = KEY_EVENT;
    r.Event.KeyEvent.bKeyDown = down;
    r.Event.KeyEvent.wRepeatCount = 1;
    r.Event.KeyEvent.wVirtualKeyCode = vk;
    r.Event.KeyEvent.wVirtualScanCode = scan;
    r.Event.KeyEvent.uChar.UnicodeChar = ch;
    r.Event.KeyEvent.dwControlKeyState = state;
    return r;
}

INPUT_RECORD Mouse(int column, int row, DWORD buttons, DWORD flags, DWORD state) {
    INPUT_RECORD r = {};
    r.EventType = MOUSE_EVENT;
    r.Event.MouseEvent.dwMousePosition = {SHORT(column), SHORT(row)};
    r.Event.MouseEvent.dwButtonState = buttons;
    r.Event.MouseEvent.dwEventFlags = flags;
    r.Event.MouseEvent.dwControlKeyState = state;
    return r;
}

INPUT_RECORD SizeRecord(int columns, int rows) {
    INPUT_RECORD r = {};
    r.EventType = WINDOW_BUFFER_SIZE_EVENT;
    r.Event.WindowBufferSizeEvent.dwSize = {SHORT(columns), SHORT(rows)};
    return r;
}

INPUT_RECORD MenuRecord(UINT id) {
    INPUT_RECORD r = {};
    r.EventType = MENU_EVENT;
    r.Event.MenuEvent.dwCommandId = id;
    return r;
}

std::vector<INPUT_RECORD> Tap(WORD vk, WORD scan, WCHAR ch, DWORD state) {
    return {Key(vk, scan, ch, state, TRUE), Key(vk, scan, ch, state, FALSE)};
}

std::vector<INPUT_RECORD> TypeText(const std::u16string& text) {
    std::vector<INPUT_RECORD> records;
    for (char16_t c : text) {
        WORD vk = 0;
        if (c >= 'a' && c <= 'z') vk = WORD(c - 32);
        else if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) vk = WORD(c);
        else if (c == ' ') vk = VK_SPACE;
        else if (c == '.') vk = VK_OEM_PERIOD;
        const DWORD shift = c >= 'A' && c <= 'Z' ? SHIFT_PRESSED : 0;
        const auto tap = Tap(vk, 0, WCHAR(c), shift);
        records.insert(records.end(), tap.begin(), tap.end());
    }
    return records;
}

void Put(const std::vector<INPUT_RECORD>& records) {
    DWORD written = 0;
    ASSERT_TRUE(WriteConsoleInputW(gConIn, records.data(), DWORD(records.size()), &written));
    ASSERT_EQ(written, records.size());
}

int Pending() {
    INPUT_RECORD records[64];
    DWORD n = 0;
    PeekConsoleInputA(gConIn, records, 64, &n);
    return int(n);
}

} // namespace qtest
