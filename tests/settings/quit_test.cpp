// The end of a session: the quit question answered by keys and clicks on
// the test process's own console (what it draws, the window mode while it
// waits, what it puts back), its wait for open-with threads, the fatal
// memory exit with the checked allocations and operator new that lead to
// it, and the usage text.
#include "platform_fixture.h"
#include "watchdog.h"
#include "internal/console.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "settings/colours.h"
#include "settings/quit.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/open_with.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define QUIT_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUIT_TEST_ASAN 1
#endif
#endif

namespace {

using qtest::ConsoleAttrs;
using qtest::ConsoleText;
using qtest::Mouse;
using qtest::Pending;
using qtest::Put;
using qtest::ShadowText;
using qtest::Tap;

using Clock = std::chrono::steady_clock;

// ---- the quit question ---------------------------------------------------------------

class QuitQuestionTest : public qtest::PlatformTest {
  protected:
    void SetUp() override {
        qtest::PlatformTest::SetUp();
        savedFrames_ = gColourTable[COLOUR_FRAMES];
        // A FRAMES colour of its own, so that the question's cells cannot
        // pass for the command-line colour of the dialogue layer.
        gColourTable[COLOUR_FRAMES] = kFrames;
        gNoQuitConfirm = FALSE;
        gOpenWithThreads = 0;
    }
    void TearDown() override {
        gColourTable[COLOUR_FRAMES] = savedFrames_;
        gNoQuitConfirm = FALSE;
        gOpenWithThreads = 0;
        qtest::PlatformTest::TearDown();
    }
    // The command lines as they were before the question: texts and a key
    // hint of the window underneath.
    void DrawWindowCommandLines() {
        ScrPutStr(gMessageRow, 0, "window message line", 0x07);
        ScrPutStr(gHintRow, 40, "window hint line", 0x70);
        HotText(gHintRow, 2, 0, 1, 'x', u"xyz");
        gWindowMode = WM_FILE;
    }
    static constexpr BYTE kFrames = 0x4E;
    BYTE savedFrames_ = 0;
};

std::vector<INPUT_RECORD> Records(std::initializer_list<std::vector<INPUT_RECORD>> parts) {
    std::vector<INPUT_RECORD> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST_F(QuitQuestionTest, KeysAndClicksAnswer) {
    qtest::Watchdog watchdog(60);
    const DWORD left = FROM_LEFT_1ST_BUTTON_PRESSED;
    const auto esc = Tap(VK_ESCAPE, 0x01, 27);
    const auto y = Tap('Y', 0x15, u'y');
    const struct {
        const char* what;
        std::vector<INPUT_RECORD> input;
        int answer;
    } kCases[] = {
        {"Enter is no, though yes is not the default", Tap(VK_RETURN, 0x1C, u'\r'), 0},
        {"n", Tap('N', 0x31, u'n'), 0},
        {"N", Tap('N', 0x31, u'N', SHIFT_PRESSED), 0},
        {"Esc", esc, 0},
        {"another letter", Tap('X', 0x2D, u'x'), 0},
        {"a blank", Tap(VK_SPACE, 0x39, u' '), 0},
        {"F1", Tap(VK_F1, 0x3B, 0), 0},
        {"Ctrl+Y is not Y", Tap('Y', 0x15, 0x19, LEFT_CTRL_PRESSED), 0},
        {"Alt+Q is not Q", Tap('Q', 0x10, u'q', LEFT_ALT_PRESSED), 0},
        {"y", y, 1},
        {"Y", Tap('Y', 0x15, u'Y', SHIFT_PRESSED), 1},
        {"q", Tap('Q', 0x10, u'q'), 1},
        {"Q", Tap('Q', 0x10, u'Q', SHIFT_PRESSED), 1},
        {"a click on the bottom row under Quit", {Mouse(65, gBottomRow, left, 0)}, 1},
        {"a click elsewhere on the bottom row", {Mouse(10, gBottomRow, left, 0)}, 0},
        // The answers on the hints' line are clickable; a click off them
        // stands for no key, and the key after it answers.
        {"a click on Yes/ on the hints' line", {Mouse(60, gHintRow, left, 0)}, 1},
        {"a click on Quit on the hints' line", {Mouse(64, gHintRow, left, 0)}, 1},
        {"a click on [No] on the hints' line", {Mouse(54, gHintRow, left, 0)}, 0},
        {"a click off the answers is passed over", Records({{Mouse(20, gHintRow, left, 0)}, y}),
         1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        DrawWindowCommandLines();
        // Only the first key counts: a key of the other answer waits behind
        // each input, and a question that passed over the input (or read
        // more than one key) takes it.
        Put(c.input);
        Put(c.answer ? esc : y);
        EXPECT_EQ(ConfirmQuit(1), c.answer);
        if (KbdWaitKey(0))
            EXPECT_EQ(KbdGetKey(FALSE, TRUE), c.answer ? KC_ESC : 'Y') << "the next key";
        else
            ADD_FAILURE() << "the question read the other answer's key too";
        EXPECT_EQ(gWindowMode, WM_FILE) << "window mode put back";
        EXPECT_EQ(ShadowText(gMessageRow, 0, 19), u"window message line");
        EXPECT_EQ(ConsoleText(gHintRow, 40, 16), u"window hint line");
        EXPECT_EQ(HotRegionLookup(FALSE, gHintRow, 3), 'x') << "the window's key hint is back";
        EXPECT_EQ(HotRegionLookup(FALSE, gHintRow, 60), -1) << "the question's hints are gone";
        FlushConsoleInputBuffer(gConIn);
    }
}

// What the helper thread saw while the question waited for its key.
struct QuestionView {
    bool shown = false;
    std::u16string message;
    std::u16string hints;
    std::vector<WORD> messageAttrs;
    std::vector<WORD> hintAttrs;
    WORD windowMode = 0;
    int regionNo = 0, regionYes = 0, regionQuit = 0, regionEsc = 0, oldRegion = 0;
};

TEST_F(QuitQuestionTest, ShowsTheQuestionInWindowModeSixteen) {
    qtest::Watchdog watchdog(60);
    DrawWindowCommandLines();
    const std::u16string messageBefore = ConsoleText(gMessageRow, 0, 80);
    const std::u16string hintBefore = ConsoleText(gHintRow, 0, 80);
    const std::vector<WORD> hintAttrsBefore = ConsoleAttrs(gHintRow, 0, 80);

    QuestionView view;
    // The question draws "Esc Cancel" last and recolours it after its region
    // is registered: once its last cell has the FRAMES colour the whole
    // question is in place, and the main thread waits in the key reader.
    std::thread helper([&view] {
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < deadline) {
            if (ShadowText(gHintRow, 69, 10) == u"Esc Cancel" &&
                ScrGetAttr(gHintRow, 78) == kFrames) {
                view.shown = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (view.shown) {
            view.message = ConsoleText(gMessageRow, 0, 80);
            view.hints = ConsoleText(gHintRow, 0, 80);
            view.messageAttrs = ConsoleAttrs(gMessageRow, 0, 80);
            view.hintAttrs = ConsoleAttrs(gHintRow, 0, 80);
            view.windowMode = gWindowMode;
            view.regionNo = HotRegionLookup(FALSE, gHintRow, 56);
            view.regionYes = HotRegionLookup(FALSE, gHintRow, 59);
            view.regionQuit = HotRegionLookup(FALSE, gHintRow, 66);
            view.regionEsc = HotRegionLookup(FALSE, gHintRow, 78);
            view.oldRegion = HotRegionLookup(FALSE, gHintRow, 3);
        }
        // Answer in any case, so that a failure does not leave the main
        // thread waiting.
        Put(Tap('Y', 0x15, u'y'));
    });
    const int answer = ConfirmQuit(1);
    helper.join();
    EXPECT_EQ(answer, 1);
    ASSERT_TRUE(view.shown) << "the question never appeared";

    const std::u16string blanks(80, u' ');
    EXPECT_EQ(view.message, u"QUIT" + blanks.substr(4));
    std::u16string hints = blanks;
    const std::u16string question = u"Are you sure you wish to exit?";
    hints.replace(0, question.size(), question);
    hints.replace(53, 4, u"[No]");
    hints.replace(59, 4, u"Yes/");
    hints.replace(63, 4, u"Quit");
    hints.replace(69, 10, u"Esc Cancel");
    EXPECT_EQ(view.hints, hints);
    EXPECT_EQ(view.messageAttrs, std::vector<WORD>(80, kFrames));
    EXPECT_EQ(view.hintAttrs, std::vector<WORD>(80, kFrames));
    EXPECT_EQ(view.windowMode, WM_QUIT_QUESTION);
    EXPECT_EQ(view.regionNo, 'n');
    EXPECT_EQ(view.regionYes, 'y');
    EXPECT_EQ(view.regionQuit, 'q');
    EXPECT_EQ(view.regionEsc, KC_ESC);
    EXPECT_EQ(view.oldRegion, -1) << "the window's regions are set aside meanwhile";

    EXPECT_EQ(ConsoleText(gMessageRow, 0, 80), messageBefore);
    EXPECT_EQ(ConsoleText(gHintRow, 0, 80), hintBefore);
    EXPECT_EQ(ConsoleAttrs(gHintRow, 0, 80), hintAttrsBefore);
    EXPECT_EQ(gWindowMode, WM_FILE);
    EXPECT_EQ(HotRegionLookup(FALSE, gHintRow, 3), 'x');
}

// The wait for open-with threads needs no screen. Its waits are recorded
// rather than slept; an open-with thread "ends" during a chosen wait.
std::vector<DWORD> gWaits;
size_t gThreadEndsInWait = 0; // 1-based; 0: the threads never end

void RecordWait(DWORD milliseconds) {
    gWaits.push_back(milliseconds);
    if (gWaits.size() == gThreadEndsInWait) gOpenWithThreads = 0;
}

TEST_F(QuitQuestionTest, NotAskedWhenAskIsZeroOrTheCallerTurnedItOff) {
    const struct {
        const char* what;
        int ask;
        BOOL noConfirm;
    } kCases[] = {
        {"ask 0", 0, FALSE},
        {"the caller's no-confirmation flag", 1, TRUE},
        {"both", 0, TRUE},
    };
    qtest::Watchdog watchdog(60);
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        DrawWindowCommandLines();
        const std::u16string messageBefore = ConsoleText(gMessageRow, 0, 80);
        const std::u16string hintBefore = ConsoleText(gHintRow, 0, 80);
        gNoQuitConfirm = c.noConfirm;
        Put(Tap('N', 0x31, u'n'));
        const int waiting = Pending();
        gWaits.clear();
        ConfirmQuitSetWaitForTest(RecordWait);
        EXPECT_EQ(ConfirmQuit(c.ask), 1);
        ConfirmQuitSetWaitForTest(nullptr);
        EXPECT_EQ(gWaits, std::vector<DWORD>{100})
            << "the short wait, and none for open-with threads when none runs";
        EXPECT_EQ(Pending(), waiting) << "no key was read";
        EXPECT_EQ(ConsoleText(gMessageRow, 0, 80), messageBefore);
        EXPECT_EQ(ConsoleText(gHintRow, 0, 80), hintBefore);
        EXPECT_EQ(gWindowMode, WM_FILE);
        FlushConsoleInputBuffer(gConIn);
    }
}

TEST(ConfirmQuitWait, WaitsWhileOpenWithThreadsRunAndAtMostFiveSteps) {
    const struct {
        const char* what;
        int threads;
        size_t endsInWait;
        std::vector<DWORD> waits;
    } kCases[] = {
        {"no thread runs: the short wait alone", 0, 0, {100}},
        {"a thread ends during the short wait", 1, 1, {100}},
        {"a thread ends during the second step", 1, 3, {100, 500, 500}},
        {"threads that never end: five steps, then quit", 2, 0, {100, 500, 500, 500, 500, 500}},
    };
    ConfirmQuitSetWaitForTest(RecordWait);
    for (const auto& c : kCases) {
        gWaits.clear();
        gThreadEndsInWait = c.endsInWait;
        gOpenWithThreads = c.threads;
        EXPECT_EQ(ConfirmQuit(0), 1) << c.what;
        EXPECT_EQ(gWaits, c.waits) << c.what;
    }
    gOpenWithThreads = 0;
    ConfirmQuitSetWaitForTest(nullptr);
}

// ---- the fatal exit --------------------------------------------------------------------

// Death tests run in a fresh copy of the test program ("threadsafe"): the
// console of other tests in this process must not be inherited, and the
// fatal exit must find no terminal to wait on.
class FatalExitTest : public ::testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// In the dying child: no terminal, and standard output joined to the error
// stream, which the death test matches.
void WithoutTerminal() {
    ConsoleTestUseTerminal("/dev/null/no-terminal");
    fflush(stdout);
    if (::dup2(2, 1) < 0) std::abort();
}

// text with the characters of an extended regular expression escaped.
std::string Literal(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (std::strchr("\\^$.|?*+()[]{}", c)) out += '\\';
        out += c;
    }
    return out;
}

// The fatal message for a module, line and function: its fixed lines, one
// support line of any wording, and the prompt.
std::string FatalPattern(const char* module, int line, const char* function) {
    std::ostringstream head;
    head << "\nFatal Memory error in module: " << module << " at line: " << line << " : "
         << function << "\n";
    return Literal(head.str()) + "[^\n]+\n" + Literal("\nPress Any Key...\n");
}

std::string Exactly(const std::string& pattern) {
    return "^" + pattern + "$";
}

TEST_F(FatalExitTest, WritesTheMessageAndEndsWithStatus255) {
    EXPECT_EXIT(
        {
            WithoutTerminal();
            FatalMemoryError("Qnt", 1234, "qioReadDirEx");
        },
        ::testing::ExitedWithCode(255), Exactly(FatalPattern("Qnt", 1234, "qioReadDirEx")));
}

// The fatal exit of thread i of ManyThreadsFail.
constexpr int kFatalThreads = 8;
const char* const kThreadModules[kFatalThreads] = {"Qt0", "Qt1", "Qt2", "Qt3",
                                                   "Qt4", "Qt5", "Qt6", "Qt7"};

TEST_F(FatalExitTest, OnlyOneOfManyThreadsWrites) {
    // Eight threads fail at once: the first ends the process and the others
    // wait for it, so exactly one message comes out, never two and never a
    // mixture.
    std::string any;
    for (int i = 0; i < kFatalThreads; i++)
        any += (i ? "|" : "") + FatalPattern(kThreadModules[i], i + 1, "worker");
    EXPECT_EXIT(
        {
            WithoutTerminal();
            std::atomic<int> ready{0};
            std::vector<std::thread> threads;
            for (int i = 0; i < kFatalThreads; i++)
                threads.emplace_back([i, &ready] {
                    ready++;
                    while (ready.load() < kFatalThreads) {
                    }
                    FatalMemoryError(kThreadModules[i], i + 1, "worker");
                });
            for (std::thread& t : threads)
                t.join();
        },
        ::testing::ExitedWithCode(255), Exactly("(" + any + ")"));
}

// Callers of the checked allocations, each with the line of its call.
constexpr int kMallocLine = __LINE__ + 2;
void* AllocateBlock(size_t bytes) {
    return CHECKED_MALLOC(bytes, "Qtest");
}
constexpr int kCallocLine = __LINE__ + 2;
void* AllocateTable(size_t count, size_t size) {
    return CHECKED_CALLOC(count, size, "Qtest");
}
constexpr int kReallocLine = __LINE__ + 2;
void* GrowBlock(void* block, size_t bytes) {
    return CHECKED_REALLOC(block, bytes, "Qtest");
}
constexpr int kStrdupLine = __LINE__ + 2;
char* CopyText(const char* text) {
    return CHECKED_STRDUP(text, "Qtest");
}
constexpr int kWcsdupLine = __LINE__ + 2;
WCHAR* CopyWide(const WCHAR* text) {
    return CHECKED_WCSDUP(text, "Qtest");
}

TEST(CheckedAllocation, GivesUsableBlocks) {
    auto* block = static_cast<char*>(AllocateBlock(5));
    std::memcpy(block, "abcd", 5);
    block = static_cast<char*>(GrowBlock(block, 1 << 20));
    EXPECT_STREQ(block, "abcd") << "the contents move with the block";
    free(block);

    auto* table = static_cast<uint32_t*>(AllocateTable(1000, sizeof(uint32_t)));
    for (int i = 0; i < 1000; i++)
        ASSERT_EQ(table[i], 0u) << i;
    free(table);

    char* text = CopyText("text");
    EXPECT_STREQ(text, "text");
    free(text);
    WCHAR* wide = CopyWide(u"wide");
    EXPECT_EQ(std::u16string(wide), u"wide");
    free(wide);

    // Zero bytes still get a block of their own: a null would read as a
    // failure.
    void* a = AllocateBlock(0);
    void* b = AllocateTable(0, 8);
    void* c = GrowBlock(AllocateBlock(8), 0);
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_NE(c, nullptr);
    EXPECT_NE(a, b);
    free(a);
    free(b);
    free(c);

    std::unique_ptr<WCHAR, CheckedFree> owned(CopyWide(u"owned"));
    EXPECT_EQ(std::u16string(owned.get()), u"owned");
}

TEST_F(FatalExitTest, AFailedCheckedAllocationNamesItsCaller) {
    const struct {
        const char* what;
        unsigned failAt;
        std::function<void()> run;
        int line;
        const char* function;
    } kCases[] = {
        {"malloc", 1, [] { AllocateBlock(64); }, kMallocLine, "AllocateBlock"},
        {"calloc", 1, [] { AllocateTable(4, 16); }, kCallocLine, "AllocateTable"},
        {"realloc", 1, [] { GrowBlock(nullptr, 64); }, kReallocLine, "GrowBlock"},
        {"strdup", 1, [] { CopyText("text"); }, kStrdupLine, "CopyText"},
        {"wide strdup", 1, [] { CopyWide(u"text"); }, kWcsdupLine, "CopyWide"},
        {"the third allocation fails, not an earlier one", 3,
         [] {
             AllocateBlock(8);
             AllocateTable(1, 8);
             GrowBlock(nullptr, 8);
             AllocateBlock(8);
         },
         kReallocLine, "GrowBlock"},
        // No injection: sizes no heap can give fail before the heap is asked.
        {"a size above the largest block", 0, [] { AllocateBlock(SIZE_MAX / 2 + 1); }, kMallocLine,
         "AllocateBlock"},
        {"a calloc product that overflows", 0, [] { AllocateTable(SIZE_MAX / 4, 8); }, kCallocLine,
         "AllocateTable"},
        {"a realloc to more than the largest block", 0,
         [] { GrowBlock(AllocateBlock(8), SIZE_MAX - 7); }, kReallocLine, "GrowBlock"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EXIT(
            {
                WithoutTerminal();
                CheckedAllocFailAt(c.failAt);
                c.run();
            },
            ::testing::ExitedWithCode(255), Exactly(FatalPattern("Qtest", c.line, c.function)));
    }
}

TEST(CheckedAllocation, InjectionCanBeTurnedOff) {
    CheckedAllocFailAt(2);
    CheckedAllocFailAt(0);
    for (int i = 0; i < 4; i++)
        free(AllocateBlock(16));
}

// What a failing operator new does: the handler it finds is called.
void FailOperatorNew() {
#ifdef QUIT_TEST_ASAN
    // AddressSanitizer's operator new reports an exhausted heap itself and
    // never calls the handler; call it as the library's operator new does.
    std::new_handler handler = std::get_new_handler();
    if (handler) handler();
#else
    // Kept where the optimiser cannot see that the block goes unused (an
    // unused new-expression may be left out altogether).
    static char* volatile block;
    volatile size_t huge = size_t(PTRDIFF_MAX);
    block = new char[huge];
    delete[] block;
#endif
}

TEST_F(FatalExitTest, AFailingOperatorNewEndsThroughTheFatalExit) {
    EXPECT_EXIT(
        {
            WithoutTerminal();
            InstallFatalNewHandler();
            FailOperatorNew();
            std::fputs("operator new came back\n", stderr);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(255), Exactly(FatalPattern("new", 0, "operator new")));
}

// ---- usage text ------------------------------------------------------------------------------

std::vector<std::string> UsageLines() {
    ::testing::internal::CaptureStdout();
    ShowUsage();
    const std::string text = ::testing::internal::GetCapturedStdout();
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line))
        lines.push_back(line);
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n') << "the last line is ended too";
    return lines;
}

// An option line is four blanks and the option; its token is the text up
// to the next blank.
bool IsOptionLine(const std::string& line) {
    return line.size() > 4 && line.compare(0, 4, "    ") == 0 && line[4] != ' ';
}

std::string OptionToken(const std::string& line) {
    return line.substr(4, line.find(' ', 4) - 4);
}

// The option as written, or followed by a placeholder for its argument
// (/Eeditor.EXE for /E, /QVfile for /QV).
bool NamesOption(const std::string& token, const std::string& option) {
    if (token == option) return true;
    return token.size() > option.size() && token.compare(0, option.size(), option) == 0 &&
           token[option.size()] >= 'a' && token[option.size()] <= 'z';
}

TEST(ShowUsage, FixedLinesAndEveryOptionInItsGroup) {
    const std::vector<std::string> lines = UsageLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_NE(lines[0].find("Quilbora"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("2.9.11"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2],
              " Usage: QBK [/video mode] [/progs] [/options] [A..Z|path|filter] [/K[macro]]");

    for (size_t i = 0; i < lines.size(); i++) {
        EXPECT_LE(lines[i].size(), 80u) << "line " << i << ": " << lines[i];
        EXPECT_EQ(lines[i].find('\t'), std::string::npos) << "line " << i;
    }

    const struct {
        const char* heading;
        std::vector<std::string> options;
    } kGroups[] = {
        {" [/video mode]: /2|/3|/4|/5|/6|/8", {"/2", "/3", "/4", "/5", "/6", "/8"}},
        {" [/progs]: /Eeditor.EXE | /Vviewer.EXE", {"/E", "/V"}},
        {" [/options]:",
         {"/?",   "/B",   "/CP:nnn", "/DEB", "/KBR", "/L1",  "/L2-9", "/LF",  "/LQ",  "/LS",
          "/LT",  "/M",   "/NC",     "/PMF", "/PMC", "/PMR", "/OA",   "/OD",  "/ODA", "/ODD",
          "/SA",  "/SD",  "/SE",     "/SF",  "/SL",  "/SM",  "/SN",   "/SS",  "/ST",  "/SU",
          "/SV",  "/SDA", "/SDD",    "/SDE", "/SDF", "/SDL", "/SDM",  "/SDN", "/SDS", "/SDT",
          "/SDU", "/SDV", "/SSD",    "/SSS", "/STM", "/STN", "/T",    "/TO",  "/TP",  "/TV",
          "/TQ",  "/AK",  "/Y",      "/QB",  "/QB1", "/QC",  "/QD",   "/QF",  "/QI",  "/QM",
          "/QN",  "/QP",  "/QT",     "/QV"}},
        {" [/options - Video]:",
         {"/AUTO", "/MAX[:+/-r:+/-c]", "/MAX=+/-r[:+/-c]", "/NOMAX", "/COLS:nn[:nn:nn]",
          "/ROWS:nn[:nn:nn]"}},
        {" [A..Z|path|filter]:", {"A..Z", "path", "filter"}},
        {" [/K[macro]]:  /K[keys|@file.qbm]", {"/K", "/K@"}},
    };

    // The headings in their order; between two of them only the option
    // lines, their continuation lines and blank lines.
    std::vector<size_t> at;
    for (const auto& group : kGroups) {
        size_t found = lines.size();
        for (size_t i = at.empty() ? 3 : at.back() + 1; i < lines.size(); i++)
            if (lines[i] == group.heading) {
                found = i;
                break;
            }
        ASSERT_LT(found, lines.size()) << "heading missing or out of order: " << group.heading;
        at.push_back(found);
    }

    // Between the usage line and the first group: the note that /K comes
    // last.
    bool kNote = false;
    for (size_t i = 3; i < at[0]; i++)
        kNote = kNote || (lines[i].find("/K") != std::string::npos &&
                          lines[i].find("last") != std::string::npos &&
                          lines[i].find("any order") != std::string::npos);
    EXPECT_TRUE(kNote) << "no note that /K must come last";

    for (size_t g = 0; g < std::size(kGroups); g++) {
        SCOPED_TRACE(kGroups[g].heading);
        const size_t end = g + 1 < at.size() ? at[g + 1] : lines.size();
        std::vector<std::string> tokens;
        for (size_t i = at[g] + 1; i < end; i++) {
            const std::string& line = lines[i];
            if (IsOptionLine(line)) {
                tokens.push_back(OptionToken(line));
                // "    /B   - text": padded to five characters, or a blank
                // after a longer option, then "- " and a description.
                const size_t dash = std::max<size_t>(4 + tokens.back().size() + 1, 9);
                EXPECT_EQ(line.compare(dash, 2, "- "), 0) << line;
                EXPECT_GT(line.size(), dash + 2) << line;
            } else {
                EXPECT_TRUE(line.empty() || line.compare(0, 5, "     ") == 0)
                    << "neither an option nor a continuation: " << line;
            }
        }
        ASSERT_EQ(tokens.size(), kGroups[g].options.size());
        for (size_t i = 0; i < tokens.size(); i++)
            EXPECT_TRUE(NamesOption(tokens[i], kGroups[g].options[i]))
                << tokens[i] << " where " << kGroups[g].options[i] << " belongs";
    }

    // Wordings that are fixed.
    auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has("    /B   - Disable beeps in Quilbora."));
    EXPECT_TRUE(has("    /QN  - Disable the loading of QNOLOG.INI."));
    auto mentions = [&](const std::string& token, std::initializer_list<const char*> words) {
        for (size_t i = 0; i < lines.size(); i++) {
            if (!IsOptionLine(lines[i]) || OptionToken(lines[i]) != token) continue;
            std::string text = lines[i];
            for (size_t j = i + 1; j < lines.size() && lines[j].compare(0, 5, "     ") == 0; j++)
                text += " " + lines[j];
            for (const char* word : words)
                EXPECT_NE(text.find(word), std::string::npos) << token << " lacks " << word;
            return;
        }
        ADD_FAILURE() << "no line for " << token;
    };
    mentions("/KBR", {"QKEYS.LOG", "QTMP###", "program directory"});
    mentions("/AK", {"lternative keyboard"});
    mentions("/QCfile", {"lternate colour file"});
    mentions("/QIfile", {"lternate settings file"});
    mentions("/QVfile", {"not deleted", "does not exist", "default"});
    mentions("/8", {"25, 43 or 50"});
}

} // namespace
