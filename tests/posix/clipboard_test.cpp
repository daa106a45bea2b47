// The clipboard: which desktop tool serves it, the text and line ends sent
// and read, file lists as text/uri-list, the program's own copy when no tool
// answers, the time limit on a tool, the terminal's clipboard sequence, and
// round trips through the real xclip and xsel on a virtual X display.
#include "process_support.h"
#include "virtual_display.h"

#include "clipboardapi.h"
#include "internal/process.h"
#include "internal/spawn.h"

#include <poll.h>
#include <signal.h>

#include <optional>

using qproc::N;
using qproc::U;

namespace {

void Copy(const std::u16string& text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_TRUE(EmptyClipboard());
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(WCHAR));
    ASSERT_NE(block, nullptr);
    std::memcpy(GlobalLock(block), text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    GlobalUnlock(block);
    EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, block), block);
    EXPECT_TRUE(CloseClipboard());
}

// A CF_HDROP block of the given names.
HGLOBAL FileList(const std::vector<std::u16string>& names) {
    std::u16string list;
    for (const auto& n : names) {
        list += n;
        list += u'\0';
    }
    list += u'\0';
    size_t bytes = sizeof(DROPFILES) + list.size() * sizeof(WCHAR);
    HGLOBAL block = GlobalAlloc(GHND, bytes);
    auto* header = static_cast<DROPFILES*>(GlobalLock(block));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(header) + sizeof(DROPFILES), list.data(),
                list.size() * sizeof(WCHAR));
    return block;
}

void CopyFiles(const std::vector<std::u16string>& names) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_TRUE(EmptyClipboard());
    HGLOBAL block = FileList(names);
    EXPECT_EQ(SetClipboardData(CF_HDROP, block), block);
    EXPECT_TRUE(CloseClipboard());
}

std::optional<std::u16string> Paste() {
    EXPECT_TRUE(OpenClipboard(nullptr));
    HANDLE block = GetClipboardData(CF_UNICODETEXT);
    std::optional<std::u16string> text;
    if (block) text = std::u16string(static_cast<const WCHAR*>(GlobalLock(block)));
    EXPECT_TRUE(CloseClipboard());
    return text;
}

std::vector<std::string> Args(std::initializer_list<const char*> a) {
    return std::vector<std::string>(a.begin(), a.end());
}

} // namespace

class ClipboardTest : public qproc::ChildTest {
  protected:
    void SetUp() override {
        ChildTest::SetUp();
        // Start from an empty own copy.
        ASSERT_TRUE(OpenClipboard(nullptr));
        EmptyClipboard();
        CloseClipboard();
        qproc::ResetConsoleCalls();
    }
    void TearDown() override {
        ClipboardSetTimeLimitForTest(0);
        ChildTest::TearDown();
    }
    qproc::StubTools tools;
    qtest::ScopedEnv path{"PATH", tools.bin().c_str()};
    qtest::ScopedEnv wayland{"WAYLAND_DISPLAY", nullptr};
    qtest::ScopedEnv display{"DISPLAY", nullptr};
};

TEST_F(ClipboardTest, TheFirstToolThatAppliesServes) {
    struct Row {
        const char* what;
        const char* wayland;
        const char* display;
        std::vector<const char*> tools;
        const char* writer; // the tool whose calls are expected, or null: own copy
        std::vector<std::string> write;
        std::vector<std::string> read;
    };
    const Row rows[] = {
        {"Wayland with wl-copy",
         "wayland-0",
         ":5",
         {"wl-copy", "wl-paste", "xclip"},
         "wl-copy",
         Args({"wl-copy"}),
         Args({"wl-paste", "--no-newline"})},
        {"Wayland without wl-copy falls to xclip",
         "wayland-0",
         ":5",
         {"xclip", "xsel"},
         "xclip",
         Args({"xclip", "-selection", "clipboard"}),
         Args({"xclip", "-selection", "clipboard", "-o"})},
        {"X11 prefers xclip",
         nullptr,
         ":5",
         {"wl-copy", "xclip", "xsel"},
         "xclip",
         Args({"xclip", "-selection", "clipboard"}),
         Args({"xclip", "-selection", "clipboard", "-o"})},
        {"X11 with xsel only",
         "",
         ":5",
         {"xsel"},
         "xsel",
         Args({"xsel", "--clipboard", "--input"}),
         Args({"xsel", "--clipboard", "--output"})},
        {"no display: the own copy",
         nullptr,
         nullptr,
         {"wl-copy", "xclip", "xsel"},
         nullptr,
         {},
         {}},
        {"empty displays: the own copy", "", "", {"wl-copy", "xclip", "xsel"}, nullptr, {}, {}},
        {"a display but no tool: the own copy", nullptr, ":5", {}, nullptr, {}, {}},
    };
    int n = 0;
    for (const Row& r : rows) {
        qproc::StubTools own;
        qtest::ScopedEnv p("PATH", own.bin().c_str()), w("WAYLAND_DISPLAY", r.wayland),
            d("DISPLAY", r.display);
        for (const char* t : r.tools)
            own.Add("clipboard-tool", t);
        std::u16string text = u"copy " + std::u16string(1, static_cast<WCHAR>('0' + n++));
        Copy(text);
        EXPECT_EQ(Paste(), text) << r.what;
        std::vector<qproc::StubCall> calls;
        for (const char* t : {"wl-copy", "wl-paste", "xclip", "xsel"})
            for (auto& c : own.Calls(t))
                calls.push_back(c);
        if (!r.writer) {
            EXPECT_TRUE(calls.empty()) << r.what;
            continue;
        }
        ASSERT_EQ(calls.size(), 2u) << r.what;
        EXPECT_EQ(calls[0].args, r.write) << r.what;
        EXPECT_EQ(calls[0].input, N(text)) << r.what;
        EXPECT_EQ(calls[1].args, r.read) << r.what;
    }
}

TEST_F(ClipboardTest, LineEndsAreLfOutsideAndCrLfInside) {
    qtest::ScopedEnv d("DISPLAY", ":5");
    tools.AddClipboardTools({"xclip"});
    Copy(u"a\r\nb\r\n\u00e9");
    auto calls = tools.Calls("xclip");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].input, "a\nb\n\xc3\xa9");
    qproc::ConsoleChildCalls console = qproc::ConsoleCalls();
    EXPECT_EQ(console.terminalClipboard, 1);
    EXPECT_EQ(console.lastClipboard, "a\nb\n\xc3\xa9");

    // What another program copied: bare LF become CR LF, CR LF stay.
    std::string state = tools.state() + "/clipboard";
    std::ofstream(state, std::ios::binary) << "x\ny\r\nz\n";
    EXPECT_EQ(Paste(), u"x\r\ny\r\nz\r\n");
    // Bytes that are not UTF-8 come back as their own units, never as
    // escapes that would turn into file-name bytes.
    std::ofstream(state, std::ios::binary) << "\xff";
    EXPECT_EQ(Paste(), std::u16string(1, u'\u00ff'));
}

TEST_F(ClipboardTest, WithoutAToolPasteGivesTheOwnCopy) {
    Copy(u"mine\r\ntwo");
    EXPECT_EQ(Paste(), u"mine\r\ntwo");
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
    // Emptying forgets it.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    EXPECT_EQ(Paste(), std::nullopt);
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT));
    // An empty text is no text to paste.
    Copy(u"");
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT));
    EXPECT_EQ(qproc::ConsoleCalls().terminalClipboard, 1) << "only the non-empty copy";
}

TEST_F(ClipboardTest, AnEmptiedClipboardEmptiesTheDesktopsToo) {
    qtest::ScopedEnv d("DISPLAY", ":5");
    tools.AddClipboardTools({"xsel"});
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_TRUE(EmptyClipboard());
    EXPECT_TRUE(CloseClipboard());
    auto calls = tools.Calls("xsel");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args, Args({"xsel", "--clipboard", "--input"}));
    EXPECT_EQ(calls[0].input, "");
    EXPECT_EQ(qproc::ConsoleCalls().terminalClipboard, 0);
    // Opening and closing without a change writes nothing.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EXPECT_TRUE(CloseClipboard());
    EXPECT_EQ(tools.Calls("xsel").size(), 1u);
}

TEST_F(ClipboardTest, FileListsGoAsUriLists) {
    ASSERT_TRUE(DriveMapSet('C', "/", nullptr));
    qtest::ScopedEnv d("DISPLAY", ":5");
    tools.AddClipboardTools({"xclip"});
    CopyFiles({u"C:\\dir\\my file.txt"});
    auto calls = tools.Calls("xclip");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args, Args({"xclip", "-selection", "clipboard", "-t", "text/uri-list"}));
    EXPECT_EQ(calls[0].input, "file:///dir/my%20file.txt\r\n");
    EXPECT_EQ(qproc::ConsoleCalls().lastClipboard, "/dir/my file.txt");

    // Every byte but letters, digits and "-._~/" is written as %XX.
    CopyFiles({u"C:\\a\\x-y_z.~1", u"C:\\b\\\u00e4#%?", qproc::U("C:\\c\\q") + u'\xDC3F'});
    calls = tools.Calls("xclip");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].input,
              "file:///a/x-y_z.~1\r\nfile:///b/%C3%A4%23%25%3F\r\nfile:///c/q%3F\r\n");
    // A name too long to pass whole is left out rather than cut into
    // another file's name.
    CopyFiles({u"C:\\" + std::u16string(1036, u'n'), u"C:\\" + std::u16string(1037, u'l')});
    calls = tools.Calls("xclip");
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2].input, "file:///" + std::string(1036, 'n') + "\r\n");
    DriveMapClear('C');
}

TEST_F(ClipboardTest, FileListFallsBackToPlainText) {
    ASSERT_TRUE(DriveMapSet('C', "/", nullptr));
    qtest::ScopedEnv d("DISPLAY", ":5");
    struct Row {
        const char* what;
        const char* tool;
        const char* listExit;
        std::vector<std::vector<std::string>> calls;
    };
    const Row rows[] = {
        {"xsel offers no list form", "xsel", "0", {Args({"xsel", "--clipboard", "--input"})}},
        {"a refused list is sent as text",
         "xclip",
         "1",
         {Args({"xclip", "-selection", "clipboard", "-t", "text/uri-list"}),
          Args({"xclip", "-selection", "clipboard"})}},
    };
    for (const Row& r : rows) {
        qproc::StubTools own;
        qtest::ScopedEnv p("PATH", own.bin().c_str()), e("QSTUB_EXIT", r.listExit);
        own.Add("clipboard-tool", r.tool);
        CopyFiles({u"C:\\one", u"C:\\two words"});
        auto calls = own.Calls(r.tool);
        ASSERT_EQ(calls.size(), r.calls.size()) << r.what;
        for (size_t i = 0; i < calls.size(); i++)
            EXPECT_EQ(calls[i].args, r.calls[i]) << r.what;
        EXPECT_EQ(calls.back().input, "/one\n/two words") << r.what;
    }
    // The own copy is the list with CR LF.
    qtest::ScopedEnv none("DISPLAY", nullptr);
    CopyFiles({u"C:\\one", u"C:\\two"});
    EXPECT_EQ(Paste(), u"/one\r\n/two");
    DriveMapClear('C');
}

TEST_F(ClipboardTest, AToolThatHangsIsKilledAndPasteFallsBack) {
    Copy(u"kept");
    qtest::ScopedEnv d("DISPLAY", ":5"), hang("QSTUB_HANG", "1");
    tools.AddClipboardTools({"xclip"});
    // Long enough for the stand-in to start and record its call on a busy
    // machine; it never answers, so the limit ends it all the same.
    ClipboardSetTimeLimitForTest(2000);
    long long start = MonotonicMs();
    // The tool never answers: ended by the limit, within a bound many times
    // that limit.
    EXPECT_EQ(Paste(), u"kept");
    EXPECT_LT(MonotonicMs() - start, 30000);
    start = MonotonicMs();
    Copy(std::u16string(200000, u'x')); // more than a pipe holds, to a tool that never reads
    EXPECT_LT(MonotonicMs() - start, 30000);
    EXPECT_EQ(tools.Calls("xclip").size(), 2u);
    EXPECT_TRUE(qproc::NoChildrenLeft(0)) << "killed and reaped at once";
}

TEST_F(ClipboardTest, OwnershipOfBlocks) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 4);
    SetLastError(0);
    EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, block), nullptr) << "not open";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    GlobalFree(block);

    ASSERT_TRUE(OpenClipboard(nullptr));
    // Other formats are taken and dropped.
    HGLOBAL other = GlobalAlloc(GMEM_MOVEABLE, 16);
    EXPECT_EQ(SetClipboardData(CF_OEMTEXT, other), other);
    // The same block set twice, and the block handed out by
    // GetClipboardData set back, are freed once (AddressSanitizer checks).
    HGLOBAL text = GlobalAlloc(GHND, 8);
    EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, text), text);
    EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, text), text);
    HANDLE read = GetClipboardData(CF_UNICODETEXT);
    if (read) {
        EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, read), read);
    }
    EXPECT_EQ(GetClipboardData(CF_HDROP), nullptr);
    // A text block without a terminator is read only up to its end.
    HGLOBAL unterminated = GlobalAlloc(GMEM_MOVEABLE, 6);
    std::memcpy(GlobalLock(unterminated), u"abc", 6);
    EXPECT_EQ(SetClipboardData(CF_UNICODETEXT, unterminated), unterminated);
    EXPECT_TRUE(CloseClipboard());
    EXPECT_EQ(Paste(), u"abc");
    // A list whose header points outside its block is no list.
    ASSERT_TRUE(OpenClipboard(nullptr));
    HGLOBAL bad = FileList({u"C:\\x"});
    static_cast<DROPFILES*>(GlobalLock(bad))->pFiles = 4000;
    SetClipboardData(CF_HDROP, bad);
    EXPECT_TRUE(CloseClipboard());
    EXPECT_EQ(Paste(), std::nullopt);
}

// ---- the real tools --------------------------------------------------------------

using qproc::VirtualDisplay;

TEST_F(ClipboardTest, RoundTripsThroughTheRealXclipAndXsel) {
    for (const char* tool : {"/usr/bin/xclip", "/usr/bin/xsel"}) {
        if (!qproc::Exists(tool))
            GTEST_SKIP() << tool << " is not installed (scripts/install-deps)";
    }
    struct Row {
        const char* what;
        const char* only; // the one real tool on PATH
        std::u16string text;
    };
    const Row rows[] = {
        {"xclip", "xclip", u"h\u00e9llo\r\nworld \U0001F600"},
        {"xsel", "xsel", u"second\r\ncopy"},
    };
    for (const Row& r : rows) {
        // A display of its own, so that no server of an earlier copy
        // answers.
        VirtualDisplay x;
        ASSERT_FALSE(x.name().empty()) << "Xvfb did not start";
        qtest::ScopedEnv d("DISPLAY", x.name().c_str());
        qproc::StubTools own;
        std::string link = own.bin() + "/" + r.only;
        ASSERT_EQ(::symlink((std::string("/usr/bin/") + r.only).c_str(), link.c_str()), 0);
        qtest::ScopedEnv p("PATH", own.bin().c_str());
        Copy(r.text);
        // Only the desktop's clipboard holds it now: a copy made while no
        // tool is on PATH replaces the own copy and writes nothing there.
        {
            qtest::ScopedEnv none("PATH", dir.MakeDir("no-tools").c_str());
            Copy(u"own copy only");
        }
        // The tool's background server may take a moment to own the
        // selection.
        std::optional<std::u16string> pasted;
        for (int i = 0; i < 30 && pasted != r.text; i++) {
            if (i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            pasted = Paste();
        }
        EXPECT_EQ(pasted, r.text) << r.what;
    }
    // The tools' background servers end with their display.
}
