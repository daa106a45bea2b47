// The sort dialog on the test process's own console: keys written to the
// console input, the menu read back from the console's cells, and what each
// key does to the pane's order, the shared switches and the tree.
#include "platform_fixture.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "settings/settings.h"
#include "tree/file_list.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "tree_builder.h"
#include "ui/command_prompts.h"
#include "ui/help.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using qtest::ConsoleText;
using qtest::Key;
using qtest::Put;
using qtest::Tap;

constexpr DWORD kAlt = LEFT_ALT_PRESSED;

// A typed key as the console reports it.
std::vector<INPUT_RECORD> Letter(char c, DWORD state = 0) {
    const WORD vk = WORD(c >= 'a' && c <= 'z' ? c - 32 : c);
    return Tap(vk, 0, state & kAlt ? WCHAR(0) : WCHAR(c), state);
}
std::vector<INPUT_RECORD> Special(WORD vk, DWORD state = 0) {
    return Tap(vk, 0, 0, state | ENHANCED_KEY);
}
std::vector<INPUT_RECORD> FKey(int n) { return Tap(WORD(VK_F1 + n - 1), WORD(0x3B + n - 1), 0); }
std::vector<INPUT_RECORD> Enter() { return Tap(VK_RETURN, 0x1C, 13); }
std::vector<INPUT_RECORD> Esc() { return Tap(VK_ESCAPE, 0x01, 27); }

class SortDialogTest : public qtest::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        Reset();
    }
    void TearDown() override {
        Reset();
        PlatformTest::TearDown();
    }
    static void Reset() {
        qtest::ResetTreeState();
        gIniWorking.treeSortNumber = 0;
        gIniWorking.splitSortDifferent = 0;
        gDefaultFileOrder = gDefaultDirOrder = SortSpec{};
    }
    static void Keys(const std::vector<std::vector<INPUT_RECORD>>& keys) {
        for (const auto& k : keys) Put(k);
    }
    static bool Same(const SortSpec& a, const SortSpec& b) { return !std::memcmp(&a, &b, sizeof a); }
};

TEST_F(SortDialogTest, EveryKeyLetterSetsItsKeyAndEnds) {
    const struct {
        char letter;
        BYTE key;
    } rows[] = {{'n', SORT_NAME},  {'e', SORT_EXTENSION}, {'d', SORT_DATE},  {'s', SORT_SIZE},
                {'u', SORT_UNSORTED}, {'l', SORT_LENGTH}, {'t', SORT_TIME},  {'m', SORT_NUMBER},
                {'v', SORT_VALUE}, {'a', SORT_ALPHA},   {'f', SORT_FULL},  {'6', SORT_NAME_DIR_DATE}};
    for (const auto& row : rows) {
        for (DWORD state : {DWORD(0), kAlt}) {
            gFileOrder[0] = SortSpec{row.key == SORT_SIZE ? SORT_NAME : SORT_SIZE, 0, 0, 0, 0};
            Put(Letter(row.letter, state));
            EXPECT_EQ(SortOrderDialog(FALSE), 1) << row.letter << " alt " << state;
            EXPECT_EQ(gFileOrder[0].key, row.key) << row.letter << " alt " << state;
        }
    }
    EXPECT_EQ(gWindowMode, WM_TREE);
}

TEST_F(SortDialogTest, SwitchesToggleUntilAKeyEndsTheDialog) {
    const SortSpec start{SORT_NAME, 0, 0, SORT_CHARSET_OEM, 0};
    const struct {
        const char* what;
        std::vector<std::vector<INPUT_RECORD>> keys;
        SortSpec order;
    } rows[] = {
        {"O toggles descending", {Letter('o'), Enter()}, {SORT_NAME, 0, 1, 0, 0}},
        {"O twice is ascending again", {Letter('o'), Letter('O'), Enter()}, start},
        {"Alt-O", {Letter('o', kAlt), Enter()}, {SORT_NAME, 0, 1, 0, 0}},
        {"P path first", {Letter('p'), Enter()}, {SORT_NAME, 1, 0, 0, 0}},
        {"Alt-P", {Letter('p', kAlt), Enter()}, {SORT_NAME, 1, 0, 0, 0}},
        {"C character set", {Letter('c'), Enter()}, {SORT_NAME, 0, 0, SORT_CHARSET_ANSI, 0}},
        {"Alt-C", {Letter('c', kAlt), Enter()}, {SORT_NAME, 0, 0, SORT_CHARSET_ANSI, 0}},
        {"F4 created", {FKey(4), Enter()}, {SORT_NAME, 0, 0, 0, SORT_STAMP_CREATED}},
        {"F4 twice accessed", {FKey(4), FKey(4), Enter()}, {SORT_NAME, 0, 0, 0, SORT_STAMP_ACCESSED}},
        {"F4 three times written", {FKey(4), FKey(4), FKey(4), Enter()}, start},
        {"comma descends", {Letter(','), Enter()}, {SORT_NAME, 0, 1, 0, 0}},
        {"< descends", {Tap(VK_OEM_COMMA, 0x33, u'<', SHIFT_PRESSED), Enter()}, {SORT_NAME, 0, 1, 0, 0}},
        {"Down descends", {Special(VK_DOWN), Enter()}, {SORT_NAME, 0, 1, 0, 0}},
        {"Alt-Down descends", {Special(VK_DOWN, kAlt), Enter()}, {SORT_NAME, 0, 1, 0, 0}},
        {"period ascends", {Letter('o'), Letter('.'), Enter()}, start},
        {"> ascends", {Letter('o'), Tap(VK_OEM_PERIOD, 0x34, u'>', SHIFT_PRESSED), Enter()}, start},
        {"Up ascends", {Letter('o'), Special(VK_UP), Enter()}, start},
        {"Alt-Up ascends", {Letter('o'), Special(VK_UP, kAlt), Enter()}, start},
        {"a key letter ends with the switches set", {Letter('o'), Letter('p'), Letter('s')},
         {SORT_SIZE, 1, 1, 0, 0}},
        {"an unknown key beeps and is passed over", {Letter('z'), Letter('o'), Enter()},
         {SORT_NAME, 0, 1, 0, 0}},
    };
    for (const auto& row : rows) {
        gFileOrder[0] = start;
        Keys(row.keys);
        EXPECT_EQ(SortOrderDialog(FALSE), 1) << row.what;
        EXPECT_TRUE(Same(gFileOrder[0], row.order))
            << row.what << ": key " << int(gFileOrder[0].key) << " path " << int(gFileOrder[0].pathFirst)
            << " desc " << int(gFileOrder[0].descending) << " charset " << int(gFileOrder[0].charset)
            << " stamp " << int(gFileOrder[0].timestamp);
    }
}

TEST_F(SortDialogTest, QueuedOrderCodesSetTheDirection) {
    gFileOrder[0] = SortSpec{};
    KbdStackKey(KC_DESCEND);
    Put(Enter());
    EXPECT_EQ(SortOrderDialog(FALSE), 1);
    EXPECT_EQ(gFileOrder[0].descending, 1);
    KbdStackKey(KC_ASCEND);
    Put(Enter());
    EXPECT_EQ(SortOrderDialog(FALSE), 1);
    EXPECT_EQ(gFileOrder[0].descending, 0);
}

TEST_F(SortDialogTest, EscRestoresTheOrderButKeepsTheSharedSwitches) {
    const SortSpec start{SORT_SIZE, 0, 1, SORT_CHARSET_OEM, 2};
    gFileOrder[0] = start;
    Keys({Letter('o'), Letter('p'), FKey(4), FKey(8), Esc()});
    EXPECT_EQ(SortOrderDialog(FALSE), 0);
    EXPECT_TRUE(Same(gFileOrder[0], start));
    EXPECT_TRUE(gSplitSortDifferent) << "F8 keeps its new value";
}

TEST_F(SortDialogTest, AnUnchangedKeyReturnsZeroUnlessAResortIsPending) {
    gFileOrder[0] = SortSpec{SORT_DATE, 0, 1, 0, 1};
    const SortSpec start = gFileOrder[0];
    Put(Letter('d'));
    EXPECT_EQ(SortOrderDialog(FALSE), 0);
    EXPECT_TRUE(Same(gFileOrder[0], start));
    // Toggled and toggled back is unchanged too.
    Keys({Letter('o'), Letter('o'), Letter('d')});
    EXPECT_EQ(SortOrderDialog(FALSE), 0);

    gSortResortNeeded = TRUE;
    Put(Letter('d'));
    EXPECT_EQ(SortOrderDialog(FALSE), 1);
    EXPECT_FALSE(gSortResortNeeded) << "an accepted change clears the flag";
    // Enter accepts as changed.
    Put(Enter());
    EXPECT_EQ(SortOrderDialog(FALSE), 1);
}

TEST_F(SortDialogTest, F12RestoresTheDefaultsAndTheSwitchesFromTheSettings) {
    gDefaultFileOrder = SortSpec{SORT_EXTENSION, 0, 1, SORT_CHARSET_ANSI, 0};
    gDefaultDirOrder = SortSpec{SORT_SIZE, 1, 0, 0, 0};
    gIniWorking.treeSortNumber = 1;
    gIniWorking.splitSortDifferent = 0;
    gSplitSortDifferent = TRUE;
    gFileOrder[0] = SortSpec{SORT_TIME, 1, 0, 0, 2};
    Keys({FKey(12), Enter()});
    EXPECT_EQ(SortOrderDialog(FALSE), 1);
    EXPECT_TRUE(Same(gFileOrder[0], gDefaultFileOrder));
    EXPECT_TRUE(gTreeNumberOrder);
    EXPECT_FALSE(gSplitSortDifferent);

    // Listing directories the directory default is taken.
    gDirMode[0] = 1;
    gPaneOrder[0] = &gDirOrder[0];
    Keys({FKey(12), Enter()});
    EXPECT_EQ(SortOrderDialog(FALSE), 1);
    EXPECT_TRUE(Same(gDirOrder[0], gDefaultDirOrder));
}

TEST_F(SortDialogTest, F1AsksForTheSortHelpAndTheDialogGoesOn) {
    ShowHelp(1);
    Keys({FKey(1), Letter('s')});
    EXPECT_EQ(SortOrderDialog(FALSE), 1);
    EXPECT_EQ(HelpLastTopic(), 58);
    EXPECT_EQ(gFileOrder[0].key, SORT_SIZE);
}

TEST_F(SortDialogTest, ExitFlagTogglesOnlyWhileAListExists) {
    Keys({Letter('x'), Esc()});
    SortOrderDialog(FALSE);
    EXPECT_EQ(gSortExitFlag[0], 0) << "no display list";
    gFMax = 1;
    gFileList = static_cast<DisplayFileList*>(std::calloc(1, sizeof(DisplayFileList) + 2 * sizeof(void*)));
    Keys({Letter('x'), Esc()});
    SortOrderDialog(FALSE);
    EXPECT_EQ(gSortExitFlag[0], 1);
    Keys({Esc()});
    SortOrderDialog(FALSE);
    EXPECT_EQ(gSortExitFlag[0], 0) << "cleared each time the dialog opens";
}

TEST_F(SortDialogTest, PanesSortingAlikeShareAnAcceptedOrder) {
    gFileOrder[1] = SortSpec{SORT_DATE, 0, 0, 0, 0};
    Put(Letter('s'));
    EXPECT_EQ(SortOrderDialog(FALSE), 1);
    EXPECT_TRUE(Same(gFileOrder[1], gFileOrder[0]));
    gSplitSortDifferent = TRUE;
    Put(Letter('l'));
    EXPECT_EQ(SortOrderDialog(FALSE), 1);
    EXPECT_EQ(gFileOrder[1].key, SORT_SIZE) << "differently: pane 1 keeps its own";
}

TEST_F(SortDialogTest, TheTreeStaysInDirectoryOrderWhenTheTreeSwitchChanges) {
    DiskInfo* disk = qtest::BuildDisk('X');
    for (const char16_t* name : {u"x10", u"x9", u"x1"}) qtest::BuildDir(disk, name);
    auto first = [&] { return std::u16string(disk->psiRoot->psiChild->pszName); };
    EXPECT_EQ(first(), u"x1");
    const std::u16string second0 = disk->psiRoot->psiChild->psiNext->pszName;
    EXPECT_EQ(second0, u"x10") << "plain order";

    // Accepted with the tree flag: the chains follow the number order.
    Keys({FKey(9), Enter()});
    EXPECT_EQ(SortOrderDialog(TRUE), 1);
    EXPECT_EQ(std::u16string(disk->psiRoot->psiChild->psiNext->pszName), u"x9");
    EXPECT_TRUE(qtest::CheckTree().empty());

    // Cancelled, the switch keeps its new value and the tree follows it.
    Keys({FKey(9), Esc()});
    EXPECT_EQ(SortOrderDialog(FALSE), 0);
    EXPECT_FALSE(gTreeNumberOrder);
    EXPECT_EQ(std::u16string(disk->psiRoot->psiChild->psiNext->pszName), u"x10");
    EXPECT_TRUE(qtest::CheckTree().empty());
}

// The menu as the console shows it while the dialog waits for a key: the
// dialog runs on a thread of its own and the test reads the console.
class SortDialogConcurrency : public SortDialogTest {
  protected:
    // Waits (up to 20 s) until row shows text at column; the row's text.
    static std::u16string WaitFor(int row, int column, const std::u16string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        std::u16string seen;
        while (std::chrono::steady_clock::now() < deadline) {
            seen = ConsoleText(row, 0, gScreenCols);
            if (seen.compare(size_t(column), text.size(), text) == 0) return seen;
            std::this_thread::yield();
        }
        ADD_FAILURE() << "row " << row << " never showed the text at " << column;
        return seen;
    }
};

TEST_F(SortDialogConcurrency, TheMenuShowsEveryStateAndThePromptLinesComeBack) {
    ASSERT_TRUE(SetConsoleScreenBufferSize(gConOut, COORD{100, 25}));
    ScrSetupLayout(25, 100, 1);
    ScrPutStr(gMessageRow, 0, "the menu under the dialog", 0x07);
    const std::u16string before = ConsoleText(gMessageRow, 0, 30);
    gFileOrder[0] = SortSpec{SORT_TIME, 1, 0, SORT_CHARSET_ANSI, SORT_STAMP_ACCESSED};
    gTreeNumberOrder = TRUE;
    gFMax = 1;
    gFileList = static_cast<DisplayFileList*>(std::calloc(1, sizeof(DisplayFileList) + 2 * sizeof(void*)));

    int result = -1;
    std::thread dialog([&] { result = SortOrderDialog(FALSE); });
    // The bottom row's last hint is drawn last.
    WaitFor(gBottomRow, 81, u"F12 Reset");
    const std::u16string message = ConsoleText(gMessageRow, 0, 100);
    EXPECT_EQ(message.substr(0, 14), u"SORT FILES BY:");
    const std::u16string words = u"Name  Ext  Date & Time  Full  Length  Alpha  nuMber  Size  Unsorted  Value";
    EXPECT_EQ(message.substr(15, words.size() + 2), words + u"  ");
    const std::u16string middle = ConsoleText(gHintRow, 0, 100);
    EXPECT_EQ(middle.substr(1, 13), u"(time & date)");
    EXPECT_EQ(middle.substr(15, 23), u"F4 Timestamp (accessed)");
    EXPECT_EQ(middle.substr(40, 9), u"F8 (same)");
    EXPECT_EQ(middle.substr(51, 14), u"Charset (ANSI)");
    EXPECT_EQ(middle.substr(67, 15), u"Order (ascend )");
    EXPECT_EQ(middle.substr(84, 10), u"Path (on )");
    const std::u16string bottom = ConsoleText(gBottomRow, 0, 100);
    EXPECT_EQ(bottom.substr(0, 12), u"Enter option");
    EXPECT_EQ(bottom.substr(15, 16), u"F9 Tree (nuMber)");
    EXPECT_EQ(bottom.substr(33, 14), u"on eXit (keep)");
    EXPECT_EQ(bottom.substr(52, 6), u"\u25C4\u2500\u2518 OK");
    EXPECT_EQ(bottom.substr(60, 7), u"F1 Help");
    EXPECT_EQ(bottom.substr(69, 10), u"Esc Cancel");
    EXPECT_EQ(bottom.substr(81, 9), u"F12 Reset");

    // Each switch shows its new state.
    Keys({Letter('o'), Letter('p'), Letter('c'), FKey(4), FKey(8), FKey(9), Letter('x')});
    WaitFor(gHintRow, 67, u"Order (descend)");
    WaitFor(gHintRow, 84, u"Path (off)");
    WaitFor(gHintRow, 51, u"Charset (OEM )");
    WaitFor(gHintRow, 15, u"F4 Timestamp (written )");
    WaitFor(gHintRow, 40, u"F8 (diff)");
    WaitFor(gBottomRow, 15, u"F9 Tree (Name  )");
    WaitFor(gBottomRow, 33, u"on eXit (lose)");
    Put(Letter('v'));
    dialog.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(gFileOrder[0].key, SORT_VALUE);
    EXPECT_EQ(ConsoleText(gMessageRow, 0, 30), before) << "the command lines are put back";
    // The indicator of the accepted order on the line above the small file
    // window, ten columns left of the panel's reference column (99 - 25).
    EXPECT_EQ(ConsoleText(gSmallWindowRow - 1, 99 - 25 - 10, 14), u"─────────┤V W├");
}

TEST_F(SortDialogTest, DirectoryModeHeader) {
    gDirMode[0] = 1;
    SortMenuState state{SortSpec{SORT_SIZE, 0, 0, 0, 0}, TRUE, FALSE, TRUE, FALSE, 0};
    PromptSort(state);
    EXPECT_EQ(ConsoleText(gMessageRow, 0, 14), u"SORT DIRS BY: ");
    EXPECT_EQ(ConsoleText(gHintRow, 0, 7), u" (size)");
    EXPECT_EQ(ConsoleText(gBottomRow, 33, 14), u"              ") << "no exit flag without a list";
    // On 80 columns the order and path switches do not fit and are left out
    // with their states.
    EXPECT_EQ(ConsoleText(gHintRow, 67, 13), u"             ");
}

} // namespace
