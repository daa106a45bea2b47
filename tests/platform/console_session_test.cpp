// The console session's pieces on the test process's own console: the
// layout rows for every screen height (a 24-row terminal included), the
// console title built from the title layout, the cursor shapes, the palette,
// the control handler's end-of-session work, the platform start-up's
// environment and the system facts.
#include "platform_fixture.h"
#include "main/window_layout.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "settings/folders.h"
#include "settings/settings.h"

#include "fixture.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using SessionTest = qtest::PlatformTest;

std::u16string Env(const char16_t* name) {
    WCHAR value[2048];
    SetLastError(0);
    DWORD n = GetEnvironmentVariableW(name, value, 2048);
    if (n >= 2048 || (n == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND))
        return u"(unset)";
    return n == 0 ? std::u16string() : std::u16string(value);
}

// ---- layout ----------------------------------------------------------------

TEST_F(SessionTest, LayoutRowsForEveryHeight) {
    // T = ((R - 7) x P + 50) / 100 + 3, at least 8 and below R - 4; the small
    // file window takes the rows from T to R - 5.
    const struct {
        const char* what;
        int rows, percent, tree;
    } kCases[] = {
        {"24 rows: every line on the terminal", 24, 0, 16},
        {"25 rows", 25, 0, 17},
        {"43 rows", 43, 0, 30},
        {"50 rows", 50, 0, 35},
        {"250 rows", 250, 0, 185},
        {"percent 10 gives at least 8", 25, 10, 8},
        {"percent 99 stays below R - 4", 25, 99, 20},
        {"percent above 99 means 75", 43, 120, 30},
        {"percent 50", 60, 50, 30},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        gTreeSizePercent = BYTE(c.percent);
        ScrSetupLayout(c.rows, 100, 1);
        EXPECT_EQ(gScreenRows, c.rows);
        EXPECT_EQ(gScreenMaxRow, c.rows - 1);
        EXPECT_EQ(gMessageRow, c.rows - 3);
        EXPECT_EQ(gHintRow, c.rows - 2);
        EXPECT_EQ(gBottomRow, c.rows - 1);
        EXPECT_EQ(gFrameLastRow, c.rows - 4);
        EXPECT_EQ(gSmallWindowRow, c.tree);
        EXPECT_EQ(gSmallWindowLastRow, c.rows - 5);
        EXPECT_EQ(gSmallWindowRows, c.rows - 4 - c.tree);
        EXPECT_EQ(gScreenCellBytes, DWORD(c.rows) * 100u * 2u);
    }
    gTreeSizePercent = 0;
}

TEST_F(SessionTest, TheTreeKeepsItsHeightAcrossSizeChangesInMode0) {
    ScrSetupLayout(50, 100, 1);
    ASSERT_EQ(gSmallWindowRow, 35);
    ScrSetupLayout(43, 100, 0); // 35 still fits below 39
    EXPECT_EQ(gSmallWindowRow, 35);
    ScrSetupLayout(30, 100, 0); // 35 does not: the percentage again
    EXPECT_EQ(gSmallWindowRow, 20);
    ScrSetupLayout(43, 100, 1); // mode 1 always takes the percentage
    EXPECT_EQ(gSmallWindowRow, 30);
}

TEST_F(SessionTest, TheSmallFileWindowKeepsItsRowsWhenTheSettingsSaySo) {
    const BYTE saved = gSettings.bWindowSizing;
    gSettings.bWindowSizing = 2;
    ScrSetupLayout(43, 100, 1);
    const int small = gSmallWindowRows;
    ScrSetupLayout(60, 100, 1);
    EXPECT_EQ(gSmallWindowRows, small);
    EXPECT_EQ(gSmallWindowRow, 60 - 4 - small);
    gSettings.bWindowSizing = saved;
    ScrSetupLayout(25, 80, 1);
}

TEST_F(SessionTest, ClassicModesAndSizeLimits) {
    ScrSetupLayout(43, 80, 1);
    EXPECT_TRUE(gClassicVideoMode);
    ScrSetupLayout(44, 80, 1);
    EXPECT_FALSE(gClassicVideoMode);
    ScrSetupLayout(1000, 5000, 1);
    EXPECT_EQ(gScreenRows, SCREEN_MAX_ROWS);
    EXPECT_EQ(gScreenCols, SCREEN_MAX_COLS);
    ScrSetupLayout(3, 3, 1);
    EXPECT_EQ(gScreenRows, SCREEN_TERMINAL_MIN_ROWS);
    EXPECT_EQ(gScreenCols, SCREEN_MIN_COLS);
    ScrSetupLayout(25, 80, 1);
}

TEST_F(SessionTest, ResizeAdoptsTheTerminalAndLargestSizeAddsTheAdjustments) {
    // The test terminal is 25 x 80.
    ScrSetupLayout(43, 96, 1);
    EXPECT_EQ(ConsoleResize(SCREEN_SIZE_TERMINAL, SCREEN_SIZE_TERMINAL, 1, 0), 25);
    EXPECT_EQ(gScreenCols, 80);
    EXPECT_EQ(gBottomRow, 24);
    // An explicit size larger than the terminal is cut to it.
    EXPECT_EQ(ConsoleResize(50, 132, 1, 0), 25);
    EXPECT_EQ(gScreenCols, 80);

    gMaxRowAdjust = -2;
    gMaxColAdjust = 4;
    COORD largest = ConsoleLargestSize();
    EXPECT_EQ(largest.Y, 25) << "never below 25 rows";
    EXPECT_EQ(largest.X, 84);
    EXPECT_EQ(gLargestRows, 25);
    EXPECT_EQ(gLargestCols, 84);
    gMaxRowAdjust = gMaxColAdjust = 0;

    CONSOLE_SCREEN_BUFFER_INFO info;
    std::memset(&info, 0xAB, sizeof info);
    ConsoleGetSize(&info);
    EXPECT_EQ(info.dwSize.X, 80);
    EXPECT_EQ(info.dwSize.Y, 25);
    EXPECT_EQ(info.wAttributes, 0);
    EXPECT_EQ(info.srWindow.Right, 0);
}

// ---- title -----------------------------------------------------------------

TEST_F(SessionTest, TitleFromTheLayout) {
    const TITLE_LAYOUT saved = gTitleLayout;
    const DWORD all =
        TITLE_FLAG_OBJECT | TITLE_FLAG_OBJECT_LINE | TITLE_FLAG_PRODUCT | TITLE_FLAG_VERSION;
    const struct {
        const char* what;
        const char* items;
        DWORD flags;
        std::vector<std::u16string> texts;
        const char16_t* path;
        std::u16string title;
    } kCases[] = {
        {"the default: product, version, object", "QVO", all, {}, u"C:\\work",
         u"Quilbora v2.9.11 - C:\\work"},
        {"object first, then more", "OQV", all, {}, u"C:\\work", u"C:\\work - Quilbora v2.9.11"},
        {"no path: no object", "QVO", all, {}, u"", u"Quilbora v2.9.11"},
        {"flags switch product and version off", "QVO", TITLE_FLAG_OBJECT, {}, u"x", u"x"},
        {"a text of its own", "TQ", TITLE_FLAG_PRODUCT, {u"my shell"}, u"", u"my shell Quilbora"},
        {"two texts in turn", "TOT", 0, {u"one", u"two"}, u"p", u"one - p - two"},
        {"a text beginning with W counts as empty", "QT", TITLE_FLAG_PRODUCT, {u"Wide"}, u"",
         u"Quilbora "},
        {"no dash after the fourth item", "QVTOT", all, {u"a", u"b"}, u"p",
         u"Quilbora v2.9.11 a - p b"},
        {"unknown letters add nothing", "XQ", TITLE_FLAG_PRODUCT, {}, u"", u"Quilbora"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        gTitleLayout = {};
        gTitleLayout.itemCount = int(std::strlen(c.items));
        std::memcpy(gTitleLayout.items, c.items, size_t(gTitleLayout.itemCount));
        gTitleLayout.flags = c.flags;
        for (size_t i = 0; i < c.texts.size(); i++)
            std::copy(c.texts[i].begin(), c.texts[i].end() + 1, gTitleLayout.texts[i]);
        gTitleLayout.textCount = int(c.texts.size());
        WCHAR built[1024];
        SetConsoleTitleText(0, c.path, built);
        EXPECT_EQ(std::u16string(built), c.title);
        WCHAR shown[1024];
        GetConsoleTitleW(shown, 1024);
        EXPECT_EQ(std::u16string(shown), c.title) << "the console's title is set";
    }
    gTitleLayout = saved;
}

TEST_F(SessionTest, ALongTitleIsCutWithAnArrow) {
    const TITLE_LAYOUT saved = gTitleLayout;
    gTitleLayout = {};
    gTitleLayout.items[0] = 'O';
    gTitleLayout.itemCount = 1;
    for (size_t length : {size_t(253), size_t(254), size_t(300)}) {
        const std::u16string path(length, u'p');
        WCHAR built[1024];
        SetConsoleTitleText(0, path.c_str(), built);
        if (length < 254) {
            EXPECT_EQ(std::u16string(built), path);
        } else {
            EXPECT_EQ(std::u16string(built), std::u16string(253, u'p') + u"\u25BA") << length;
        }
    }
    gTitleLayout = saved;
}

// ---- cursor ----------------------------------------------------------------

TEST_F(SessionTest, CursorShapes) {
    ScrSetupLayout(25, 80, 1);
    ScrSetCursorPos(5, 7);
    ScrSetCursorShape(2);
    CONSOLE_CURSOR_INFO cursor;
    ASSERT_TRUE(GetConsoleCursorInfo(gConOut, &cursor));
    EXPECT_EQ(cursor.dwSize, 100u);
    EXPECT_TRUE(cursor.bVisible);
    EXPECT_TRUE(gTextCursor.load());

    EXPECT_EQ(ScrSetCursorShape(0), 2) << "the block was shown";
    ASSERT_TRUE(GetConsoleCursorInfo(gConOut, &cursor));
    EXPECT_FALSE(cursor.bVisible);
    EXPECT_FALSE(gTextCursor.load());
    CONSOLE_SCREEN_BUFFER_INFO info;
    ASSERT_TRUE(GetConsoleScreenBufferInfo(gConOut, &info));
    EXPECT_EQ(info.dwCursorPosition.X, 79) << "the last column";
    EXPECT_EQ(info.dwCursorPosition.Y, 22) << "three rows above the bottom";

    EXPECT_EQ(ScrSetCursorShape(1), 0) << "it was hidden";
    ASSERT_TRUE(GetConsoleCursorInfo(gConOut, &cursor));
    EXPECT_EQ(cursor.dwSize, 15u);
    ASSERT_TRUE(GetConsoleScreenBufferInfo(gConOut, &info));
    EXPECT_EQ(info.dwCursorPosition.X, 7) << "back at the remembered position";
    EXPECT_EQ(info.dwCursorPosition.Y, 5);
    EXPECT_EQ(ScrSetCursorShape(7), 1) << "thin";
    EXPECT_TRUE(gTextCursor.load());
    ScrSetCursorShape(0);
}

// ---- palette ---------------------------------------------------------------

TEST_F(SessionTest, PaletteEntriesInRedGreenBlue) {
    CONSOLE_SCREEN_BUFFER_INFOEX before = {};
    before.cbSize = sizeof before;
    ASSERT_TRUE(GetConsoleScreenBufferInfoEx(gConOut, &before));
    DWORD old = 0xDEADBEEF;
    ASSERT_TRUE(ConsoleSetPalette(3, 0x123456, &old));
    EXPECT_EQ(old, ((before.ColorTable[3] & 0xFF) << 16) | (before.ColorTable[3] & 0xFF00) |
                       ((before.ColorTable[3] >> 16) & 0xFF));
    CONSOLE_SCREEN_BUFFER_INFOEX after = {};
    after.cbSize = sizeof after;
    ASSERT_TRUE(GetConsoleScreenBufferInfoEx(gConOut, &after));
    EXPECT_EQ(after.ColorTable[3], 0x563412u) << "stored as blue, green, red";
    EXPECT_EQ(after.ColorTable[4], before.ColorTable[4]);
    DWORD again = 0;
    ASSERT_TRUE(ConsoleSetPalette(3, old, &again));
    EXPECT_EQ(again, 0x123456u);

    for (int index : {-1, 16, 255}) {
        DWORD untouched = 7;
        EXPECT_FALSE(ConsoleSetPalette(index, 0, &untouched)) << index;
        EXPECT_EQ(untouched, 7u);
    }
}

// ---- control handler -------------------------------------------------------

std::vector<std::string> gEndCalls;

TEST_F(SessionTest, ControlHandlerDoesTheEndOfSessionWork) {
    const SESSION_END_WORK saved = gSessionEndWork;
    gSessionEndWork.currentDirectory = [](WCHAR* out, DWORD units) -> BOOL {
        gEndCalls.push_back("current");
        const std::u16string dir = u"C:\\work\\";
        if (units <= dir.size()) return FALSE;
        std::copy(dir.begin(), dir.end() + 1, out);
        return TRUE;
    };
    gSessionEndWork.saveHistories = [](const WCHAR* dir) {
        gEndCalls.push_back("histories " + std::string(dir, dir + wcslen(dir)));
    };
    gSessionEndWork.removeSessionDirectory = [] { gEndCalls.push_back("session directory"); };

    for (DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT}) {
        gEndCalls.clear();
        EXPECT_TRUE(ConsoleCtrlHandler(event)) << "handled and ignored";
        EXPECT_TRUE(gEndCalls.empty());
    }
    for (DWORD event : {CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT}) {
        gEndCalls.clear();
        EXPECT_FALSE(ConsoleCtrlHandler(event)) << "not handled: the process ends";
        EXPECT_EQ(gEndCalls, (std::vector<std::string>{"current", "histories C:\\work\\",
                                                        "session directory"}));
    }
    // Without a current directory only the session directory goes.
    gSessionEndWork.currentDirectory = [](WCHAR*, DWORD) -> BOOL { return FALSE; };
    gEndCalls.clear();
    EXPECT_FALSE(ConsoleCtrlHandler(CTRL_CLOSE_EVENT));
    EXPECT_EQ(gEndCalls, std::vector<std::string>{"session directory"});
    gSessionEndWork = saved;
}

// ---- the console window ------------------------------------------------------

TEST_F(SessionTest, TheOwnConsoleWindowIsFoundAtOnce) {
    SetConsoleTitleW(u"before");
    const DWORD start = GetTickCount();
    const HWND window = FindOwnConsoleWindow();
    EXPECT_EQ(window, GetConsoleWindow());
    EXPECT_NE(window, nullptr);
    // The search tries again every 100 ms up to 50 times; here the first
    // try answers, far sooner than all fifty.
    EXPECT_LT(GetTickCount() - start, 4000u);
    WCHAR title[64];
    GetConsoleTitleW(title, 64);
    EXPECT_EQ(std::u16string(title), u"") << "the search title is taken down";
}

// ---- start-up and system facts ---------------------------------------------

TEST_F(SessionTest, PlatformStartupExportsTheQBVariables) {
    qtest::ScopedEnv compat{"__COMPAT_LAYER", "Installer RunAsAdmin"};
    SetCommandLineW(u"\"/opt/my quilb/quilb\"   /B  C:\\work");
    PlatformStartup();
    EXPECT_EQ(Env(u"__COMPAT_LAYER"), u"RunAsAdmin");
    EXPECT_EQ(Env(u"#QBVersion"), u"2.9.11");
    EXPECT_EQ(Env(u"#QBArgs"), u"/B  C:\\work");
    EXPECT_EQ(Env(u"#QBLine"), u"0");
    const std::u16string home = Env(u"#QBHome");
    ASSERT_GT(home.size(), 2u);
    EXPECT_EQ(home.back(), u'\\');
    EXPECT_EQ(Env(u"#QBDrive"), home.substr(0, 1));
    const std::u16string exe = Env(u"#QBExe");
    EXPECT_EQ(exe.substr(0, home.size()), home) << "the program lies in its home";
    EXPECT_NE(Env(u"#QBTools"), u"(unset)");
    EXPECT_NE(Env(u"#QBDesktop"), u"(unset)");
    EXPECT_TRUE(gTerminalHost);
    EXPECT_FALSE(ConsoleReady());
    EXPECT_EQ(gOemBoxMap[0xC4], u'\u2500') << "the box map is filled";

    qtest::ScopedEnv plain{"__COMPAT_LAYER", "Installer"};
    PlatformStartup();
    EXPECT_EQ(Env(u"__COMPAT_LAYER"), u"");
}

TEST_F(SessionTest, SystemFacts) {
    MEMORYSTATUSEX status;
    std::memset(&status, 0xAB, sizeof status);
    ASSERT_TRUE(SysMemoryStatus(&status));
    MEMORYSTATUS small = {};
    GlobalMemoryStatus(&small);
    EXPECT_EQ(status.dwLength, sizeof status);
    EXPECT_EQ(status.ullTotalPhys, small.dwTotalPhys);
    EXPECT_GT(status.ullTotalPhys, 0u);
    EXPECT_EQ(status.ullAvailExtendedVirtual, 0u);

    DWORD count = 99;
    EXPECT_EQ(SysPerformanceInfo(&count), 0u);
    EXPECT_EQ(count, 0u);

    RECT work = {};
    ASSERT_TRUE(ConsoleMonitorInfo(&work, TRUE));
    EXPECT_EQ(work.right, 80 * 8) << "the terminal's cells of 8 x 16 pixels";
    EXPECT_EQ(work.bottom, 25 * 16);

    WCHAR target[64] = u"old";
    EXPECT_EQ(ShellObjectHelper(u"C:\\x.lnk", target, 64), 0);
    EXPECT_EQ(target[0], 0) << "emptied when nothing resolves";
    EXPECT_EQ(ConsoleCheckStub(5), 0);
    EXPECT_EQ(ConsoleModeStub(), 0);
}

} // namespace
