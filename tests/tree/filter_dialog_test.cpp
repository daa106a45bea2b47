// The filter prompt on the test process's own console: keys written with
// WriteConsoleInputW, the prompt's lines read back with ReadConsoleOutputW
// while it waits, and the pane slots, history and switches it leaves. The
// line editor under it is exercised through it and on its own.
#include "platform_fixture.h"
#include "main/statistics.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "settings/settings.h"
#include "tree/file_list.h"
#include "tree/filter.h"
#include "tree/filter_dialog.h"
#include "tree/regex.h"
#include "tree/tree_records.h"
#include "regex_filters.h"
#include "tree_builder.h"
#include "ui/filter_cache.h"
#include "ui/help.h"
#include "ui/line_editor.h"

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using qtest::ConsoleText;
using qtest::Put;
using qtest::ShadowText;
using qtest::Tap;

constexpr DWORD kAlt = 0x0002; // left Alt held

// The key presses that type text.
std::vector<INPUT_RECORD> Type(const std::u16string& text) { return qtest::TypeText(text); }

// A grey cursor or editing key.
std::vector<INPUT_RECORD> Grey(WORD vk, WORD scan, DWORD state = 0) {
    return Tap(vk, scan, 0, state | ENHANCED_KEY);
}

std::vector<INPUT_RECORD> KeyF(int n, DWORD state = 0) {
    return Tap(WORD(VK_F1 + n - 1), WORD(0x3B + n - 1), 0, state);
}
std::vector<INPUT_RECORD> Enter() {
    return Tap(VK_RETURN, 0x1C, 13);
}
std::vector<INPUT_RECORD> Esc() {
    return Tap(VK_ESCAPE, 0x01, 27);
}

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text)
        out += c < 0x80 ? char(c) : '?';
    return out;
}

// The whole of a console row, trailing blanks dropped.
std::u16string Row(int row) {
    std::u16string text = ConsoleText(row, 0, 80);
    while (!text.empty() && text.back() == u' ')
        text.pop_back();
    return text;
}

class FilterPrompt : public qtest::PlatformTest {
  protected:
    static void SetUpTestSuite() { qtest::BindRegexFilters(); }
    static void TearDownTestSuite() { qtest::UnbindRegexFilters(); }
    void SetUp() override {
        PlatformTest::SetUp();
        if (!gRegexSupport) {
            ASSERT_TRUE(Pcre2Init());
        }
        qtest::FreeTrees();
        InitFilterSlots();
        HistFreeAll();
        gFilterRegexMode = 0;
        gFindLogOffered = 0;
        gFindLogDriveScope = 0;
        gSettings.bHighlightDefaults = 1;
        gInsertMode = 1;
        gTreeWidth = 30;
        gPaneCurrentEntry[0] = gPaneCurrentEntry[1] = nullptr;
    }
    void TearDown() override {
        qtest::FreeTrees();
        gPaneCurrentEntry[0] = gPaneCurrentEntry[1] = nullptr;
        gSettings.bHighlightDefaults = 0;
        PlatformTest::TearDown();
    }
    static std::u16string Full(int pane) { return gFilterSlots[pane].fullText; }
};

TEST_F(FilterPrompt, TypedTextBecomesBothPanesFilterAndJoinsTheHistory) {
    ScrPutStr(gMessageRow, 0, "command line under the prompt", gNormalAttr);
    const std::u16string before = ShadowText(gMessageRow, 0, 80);
    const WORD mode = gWindowMode;
    Put(Type(u"*.c -old*"));
    Put(Enter());
    EXPECT_EQ(FilterDialog(nullptr, -1, FALSE), 1);
    EXPECT_EQ(Full(0), u"*.c,-old*.");
    EXPECT_EQ(Full(1), u"*.c,-old*.") << "without split screen the other pane follows";
    EXPECT_EQ(gFilterSlots[1].count, 2);
    ASSERT_EQ(HistoryCount(16), 1u);
    EXPECT_EQ(std::u16string(HistoryEntry(16, 0)), u"*.c -old*");
    EXPECT_EQ(gWindowMode, mode);
    EXPECT_EQ(ShadowText(gMessageRow, 0, 80), before) << "the command lines are put back";
}

TEST_F(FilterPrompt, TheProposalIsAcceptedOrReplacedByTheFirstCharacter) {
    Put(Enter());
    EXPECT_EQ(FilterDialog(u"report.txt  ", -1, FALSE), 1);
    EXPECT_EQ(Full(0), u"report.txt");
    Put(Type(u"x*"));
    Put(Enter());
    EXPECT_EQ(FilterDialog(u"report.txt", -1, FALSE), 1);
    EXPECT_EQ(Full(0), u"x*.") << "typing replaced the proposal";
    // A cursor key keeps it as text to edit.
    Put(Grey(VK_END, 0x4F));
    Put(Type(u"x"));
    Put(Enter());
    EXPECT_EQ(FilterDialog(u"a.tx", -1, FALSE), 1);
    EXPECT_EQ(Full(0), u"a.txx");
    // "*.*" is the start without a current file, and is no history entry.
    HistFreeAll();
    Put(Enter());
    EXPECT_EQ(FilterDialog(nullptr, -1, FALSE), 1);
    EXPECT_EQ(Full(0), u"*.*");
    EXPECT_EQ(HistoryCount(16), 0u);
}

TEST_F(FilterPrompt, TheCurrentListEntryIsTheProposal) {
    DiskInfo* disk = qtest::BuildTree('X', u"d\\first.c=1 d\\second.h=2");
    SubdirInfo* d = disk->psiRoot->psiChild;
    gFileList = static_cast<DisplayFileList*>(
        std::calloc(1, sizeof(DisplayFileList) + 3 * sizeof(EntryHead*)));
    ListEntries(gFileList)[0] = HeadOf(&d->pFiles[0]);
    ListEntries(gFileList)[1] = HeadOf(&d->pFiles[1]);
    gFMax = 2;
    Put(Enter());
    EXPECT_EQ(FilterDialog(nullptr, 1, FALSE), 1);
    EXPECT_EQ(Full(0), u"second.h");
    // Tab puts it back after the field was changed.
    Put(Type(u"zzz"));
    Put(Tap(VK_TAB, 0x0F, 9));
    Put(Enter());
    EXPECT_EQ(FilterDialog(nullptr, 0, FALSE), 1);
    EXPECT_EQ(Full(0), u"first.c");
    std::free(gFileList);
    gFileList = nullptr;
    gFMax = 0;
}

TEST_F(FilterPrompt, EscAndUnknownKeysCancelAndKeepTheFilter) {
    ASSERT_EQ(CompileFilterText(u"*.keep", &gFilterSlots[0], nullptr, 0, nullptr), FILTER_OK);
    Put(Type(u"*.new"));
    Put(Esc());
    EXPECT_EQ(FilterDialog(nullptr, -1, FALSE), 0);
    EXPECT_EQ(Full(0), u"*.keep");
    Put(Type(u"*.new"));
    Put(KeyF(10));
    EXPECT_EQ(FilterDialog(nullptr, -1, FALSE), 0);
    EXPECT_EQ(Full(0), u"*.keep");
    EXPECT_EQ(HistoryCount(16), 0u);
}

TEST_F(FilterPrompt, F7SwitchesRegexAndAltF7SwitchesAndAccepts) {
    Put(Type(u"^ab"));
    Put(KeyF(7));
    Put(Enter());
    EXPECT_EQ(FilterDialog(nullptr, -1, FALSE), 1);
    EXPECT_EQ(gFilterRegexMode, 1u);
    EXPECT_EQ(Full(0), u"/^ab/");
    EXPECT_EQ(gFilterSlots[0].items[0].kind, FS_REGEX);
    EXPECT_EQ(std::u16string(gFilterSlots[0].items[0].pattern), u"^ab");
    // Alt-F7 switches back and accepts at once: a plain filespec.
    Put(Type(u"*.md"));
    Put(KeyF(7, kAlt));
    EXPECT_EQ(FilterDialog(nullptr, -1, FALSE), 1);
    EXPECT_EQ(gFilterRegexMode, 0u);
    EXPECT_EQ(Full(0), u"*.md");
    // F9 is passed over where FIND & LOG is not offered, switches its
    // scope where it is.
    Put(KeyF(9));
    Put(Enter());
    EXPECT_EQ(FilterDialog(u"*.x", -1, FALSE), 1);
    EXPECT_EQ(gFindLogDriveScope, 0u);
    gFindLogOffered = 1;
    Put(KeyF(9));
    Put(Enter());
    EXPECT_EQ(FilterDialog(u"*.x", -1, FALSE), 1);
    EXPECT_EQ(gFindLogDriveScope, 1u);
}

TEST_F(FilterPrompt, ABadTextReopensThePromptWithTheText) {
    Put(Type(u"<<S1"));
    Put(Enter());
    // The prompt opens again with "<<S1": Home and Del mend it.
    Put(Grey(VK_HOME, 0x47));
    Put(Grey(VK_DELETE, 0x53));
    Put(Enter());
    EXPECT_EQ(FilterDialog(nullptr, -1, FALSE), 1);
    EXPECT_EQ(Full(0), u"<S1");
}

TEST_F(FilterPrompt, CallerHandlesGetsTheSlotOnly) {
    Put(Type(u"*.h"));
    Put(Enter());
    EXPECT_EQ(FilterDialog(nullptr, -1, TRUE), 1);
    EXPECT_EQ(Full(0), u"*.h");
    EXPECT_EQ(Full(1), u"*.*") << "the other pane is the caller's business";
    EXPECT_EQ(HistoryCount(16), 0u);
}

TEST_F(FilterPrompt, SplitScreenKeepsTheOtherPaneAndRedrawsTheTitle) {
    DiskInfo* disk = qtest::BuildTree('X', u"other.rs=1");
    gSplitScreen = 1;
    gPaneCurrentEntry[1] = &disk->psiRoot->pFiles[0];
    gDirMode[0] = 1;
    Put(Enter());
    EXPECT_EQ(FilterDialog(nullptr, -1, FALSE), 1);
    EXPECT_EQ(Full(0), u"other.rs") << "the other pane's current entry is the proposal";
    EXPECT_EQ(Full(1), u"*.*");
    EXPECT_EQ(HistoryCount(46), 1u) << "directory filters have a list of their own";
    EXPECT_EQ(Row(1).substr(0, 18), u" <tree: other.rs>\u2500");
    gSplitScreen = 0;
}

// ---- the prompt's lines while it waits --------------------------------------------------

// Runs the prompt on a thread of its own, so that the test can read the
// screen while the prompt waits for keys.
class PromptThread {
  public:
    explicit PromptThread(const WCHAR* preset)
        : thread_([this, preset] { result_ = FilterDialog(preset, -1, FALSE); }) {}
    ~PromptThread() {
        if (thread_.joinable()) thread_.join();
    }
    int Join() {
        thread_.join();
        return result_;
    }

  private:
    int result_ = -1;
    std::thread thread_;
};

// Waits (20 s at most) until the condition holds on the console.
bool WaitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

bool RowHas(int row, const std::u16string& text) {
    return Row(row).find(text) != std::u16string::npos;
}
bool WaitRowIs(int row, const std::u16string& text) {
    return WaitFor([&] { return Row(row) == text; });
}
bool WaitRowHas(int row, const std::u16string& text) {
    return WaitFor([&] { return RowHas(row, text); });
}

// The prompt's rows are drawn one after another on the dialog's thread:
// every check waits for its row.
TEST_F(FilterPrompt, ConcurrencyTextsHintsAndMessagesOnScreen) {
    gFindLogOffered = 1;
    PromptThread prompt(u"start.txt");
    ASSERT_TRUE(WaitRowHas(gMessageRow, u"Filter: start.txt")) << Narrow(Row(gMessageRow));
    EXPECT_TRUE(
        WaitRowIs(gHintRow, u"Specify files to display by using wildcards, file dates and sizes"))
        << Narrow(Row(gHintRow));
    for (const char16_t* hint :
         {u"F1 Help", u"F3 Last", u"F7 Regex (off)", u"F9 (     )", u"Esc Cancel"})
        EXPECT_TRUE(WaitRowHas(gBottomRow, hint))
            << Narrow(hint) << " in " << Narrow(Row(gBottomRow));

    Put(KeyF(7));
    ASSERT_TRUE(WaitRowHas(gBottomRow, u"F7 Regex (on )")) << Narrow(Row(gBottomRow));
    EXPECT_TRUE(WaitRowIs(gHintRow, u"Specify files to show by matching regular expression"))
        << Narrow(Row(gHintRow));
    EXPECT_TRUE(WaitRowHas(gMessageRow, u"start.txt")) << "the text stays through the switch";

    Put(KeyF(9));
    ASSERT_TRUE(WaitRowHas(gBottomRow, u"F9 (drive)"));
    EXPECT_TRUE(
        WaitRowIs(gHintRow, u"Find files by regex anywhere on the drive & log their directories"))
        << Narrow(Row(gHintRow));
    Put(KeyF(7));
    ASSERT_TRUE(WaitRowHas(gBottomRow, u"F7 Regex (off)"));
    EXPECT_TRUE(WaitRowIs(gHintRow, u"Find files anywhere on the drive & log their directories"))
        << Narrow(Row(gHintRow));

    // A bad filespec: the message, and the prompt again with the text.
    Put(Grey(VK_END, 0x4F));
    Put(Type(u"\\x"));
    Put(Enter());
    ASSERT_TRUE(WaitRowIs(gHintRow, u"Invalid filter")) << Narrow(Row(gHintRow));
    // The prompt is drawn again after the message: wait for it too.
    EXPECT_TRUE(WaitRowHas(gMessageRow, u"Filter: start.txt\\x"));
    // A bad expression.
    Put(Tap(VK_BACK, 0x0E, 0x7F, LEFT_CTRL_PRESSED));
    Put(Type(u"a("));
    Put(KeyF(7));
    Put(Enter());
    ASSERT_TRUE(WaitFor([] { return Row(gHintRow).rfind(u"Regex: ", 0) == 0; }))
        << Narrow(Row(gHintRow));
    EXPECT_TRUE(WaitRowHas(gMessageRow, u"Filter: a("));
    Put(Esc());
    EXPECT_EQ(prompt.Join(), 0);
    EXPECT_EQ(Full(0), u"*.*");
}

TEST_F(FilterPrompt, ConcurrencyRegexWithoutTheLibrary) {
    FilespecCacheClear();
    Pcre2Release();
    PromptThread prompt(u"abc");
    ASSERT_TRUE(WaitRowHas(gMessageRow, u"Filter: abc"));
    ASSERT_TRUE(WaitRowHas(gBottomRow, u"Esc Cancel"));
    EXPECT_FALSE(RowHas(gBottomRow, u"F7 Regex")) << "no switch without the library";
    EXPECT_TRUE(
        WaitRowIs(gHintRow, u"Specify files to display by using wildcards, file dates and sizes"))
        << Narrow(Row(gHintRow));
    Put(KeyF(7, kAlt));
    ASSERT_TRUE(WaitRowIs(gHintRow, u"A regex filter needs the PCRE2 DLLs"))
        << Narrow(Row(gHintRow));
    EXPECT_TRUE(WaitRowHas(gMessageRow, u"Filter: abc")) << "the prompt opens again with the text";
    Put(Esc());
    EXPECT_EQ(prompt.Join(), 0);
    EXPECT_EQ(gFilterRegexMode, 0u) << "the prompt came back in its plain mode";
    ASSERT_TRUE(Pcre2Init());
}

// ---- the line editor on its own --------------------------------------------------------

TEST_F(FilterPrompt, LineEditorEditsScrollsAndRecalls) {
    struct Run {
        const char* what;
        const char16_t* start;
        std::vector<std::vector<INPUT_RECORD>> keys;
        const char16_t* result;
        KeyCode key;
        DWORD insert;
    } runs[] = {
        {"typing inserts at the marked cursor",
         u"ac\x01   ",
         {Grey(VK_LEFT, 0x4B), Type(u"b"), Enter()},
         u"abc",
         KC_ENTER,
         1},
        {"Home, Del",
         u"xabc ",
         {Grey(VK_HOME, 0x47), Grey(VK_DELETE, 0x53), Enter()},
         u"abc",
         KC_ENTER,
         1},
        {"Backspace at the end", u"abcd  ", {Tap(VK_BACK, 0x0E, 8), Enter()}, u"abc", KC_ENTER, 1},
        {"overwrite", u"abc  ", {Grey(VK_LEFT, 0x4B), Type(u"X"), Enter()}, u"abX", KC_ENTER, 0},
        {"Ins switches to overwrite",
         u"abc  ",
         {Grey(VK_INSERT, 0x52), Grey(VK_HOME, 0x47), Type(u"Z"), Enter()},
         u"Zbc",
         KC_ENTER,
         1},
        {"Ctrl-Home deletes before the cursor",
         u"abcdef",
         {Grey(VK_HOME, 0x47), Grey(VK_RIGHT, 0x4D), Grey(VK_RIGHT, 0x4D), Grey(VK_RIGHT, 0x4D),
          Grey(VK_HOME, 0x47, LEFT_CTRL_PRESSED), Enter()},
         u"def",
         KC_ENTER,
         1},
        {"a full field takes nothing more at its end",
         u"abcd",
         {Type(u"x"), Enter()},
         u"abcd",
         KC_ENTER,
         1},
        {"insert into a full field loses the last unit",
         u"abcd",
         {Grey(VK_HOME, 0x47), Type(u"x"), Enter()},
         u"xabc",
         KC_ENTER,
         1},
        {"Alt-F7 is returned with the text", u"q   ", {KeyF(7, kAlt)}, u"q", KcAltF(7), 1},
        {"F9 passed is returned", u"q   ", {KeyF(9)}, u"q", KcF(9), 1},
        {"Esc leaves the text", u"keep ", {Type(u"zz"), Esc()}, u"keep ", KC_ESC, 1},
    };
    for (const Run& run : runs) {
        gInsertMode = run.insert;
        std::u16string field = run.start;
        for (const auto& k : run.keys)
            Put(k);
        const KeyCode key =
            InputLine(gMessageRow, 10, field.data(), 0, 0, 2, FALSE, FALSE, PASS_F9, 0);
        EXPECT_EQ(key, run.key) << run.what;
        EXPECT_EQ(std::u16string(field.c_str()), run.result) << run.what;
    }
    gInsertMode = 1;

    // A field wider than the screen scrolls: the cursor's end is shown.
    std::u16string wide(150, u' ');
    std::vector<INPUT_RECORD> typed;
    for (int i = 0; i < 100; i++) {
        const auto t = Type(std::u16string(1, char16_t('a' + i % 26)));
        typed.insert(typed.end(), t.begin(), t.end());
    }
    Put(typed);
    Put(Enter());
    EXPECT_EQ(InputLine(gMessageRow, 8, wide.data(), 0, 0, 2, FALSE, FALSE, 0, 0), KC_ENTER);
    ASSERT_EQ(std::u16string(wide.c_str()).size(), 100u);
    // The shadow keeps the last view: the text's end lies on screen.
    const std::u16string shown = ShadowText(gMessageRow, 8, 72);
    EXPECT_NE(shown.find(u"uvwxyzabcdefghijklmnopqrstuv"), std::u16string::npos) << Narrow(shown);

    // History: Enter stores, Up recalls the newest first, then older ones;
    // F1 asks for the help topic and goes on.
    HistFreeAll();
    for (const char16_t* text : {u"first", u"second"}) {
        std::u16string f = std::u16string(text) + u"     ";
        Put(Enter());
        InputLine(gMessageRow, 8, f.data(), 0, 12, 2, FALSE, FALSE, 0, 0);
    }
    EXPECT_EQ(HistoryCount(12), 2u);
    std::u16string f(10, u' ');
    Put(Grey(VK_UP, 0x48));
    Put(Grey(VK_UP, 0x48));
    Put(KeyF(1));
    Put(Enter());
    EXPECT_EQ(InputLine(gMessageRow, 8, f.data(), 0, 12, 2, FALSE, FALSE, 0, 77), KC_ENTER);
    EXPECT_EQ(std::u16string(f.c_str()), u"first");
    EXPECT_EQ(HelpLastTopic(), 77);
    EXPECT_EQ(std::u16string(HistoryEntry(12, 0)), u"first")
        << "a recalled entry moves to the front";
}

TEST(History, EqualEntriesMoveAndTheOldestGoes) {
    HistFreeAll();
    AddToHistory(16, u"*.c");
    AddToHistory(16, u"*.h");
    AddToHistory(16, u"*.C");
    ASSERT_EQ(HistoryCount(16), 2u) << "case is ignored in list 16";
    EXPECT_EQ(std::u16string(HistoryEntry(16, 0)), u"*.C");
    AddToHistory(29, u"A");
    AddToHistory(29, u"a");
    EXPECT_EQ(HistoryCount(29), 2u) << "list 29 compares exactly";
    for (int i = 0; i < 70; i++)
        AddToHistory(30, (u"cmd" + std::u16string(1, char16_t('A' + i % 26)) +
                          std::u16string(1, char16_t('0' + i / 26)))
                             .c_str());
    EXPECT_EQ(HistoryCount(30), 64u);
    EXPECT_EQ(std::u16string(HistoryEntry(30, 0)), u"cmdR2") << "the newest first";
    AddToHistory(21, u"nothing kept");
    AddToHistory(16, u"");
    EXPECT_EQ(HistoryCount(21), 0u);
    EXPECT_EQ(HistoryCount(16), 2u);
    HistFreeAll();
}

} // namespace
