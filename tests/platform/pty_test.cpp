// The key reader of a real program on a pseudo-terminal: bytes a terminal
// sends for function keys, control keys and Alt keys come out as the key
// codes the window loops expect.
#include "fixture.h"
#include "terminal_harness.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

constexpr size_t npos = std::string::npos;

int Lines(const std::string& text) {
    int n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

std::string LastLine(const std::string& text) {
    const size_t end = text.size() - 1;
    const size_t start = text.rfind('\n', end - 1);
    return text.substr(start == npos ? 0 : start + 1, end - (start == npos ? 0 : start + 1));
}

TEST(PlatformKeysPty, KeysTypedAtATerminal) {
    qtest::TempDir dir;
    const std::string report = dir.Sub("report");
    qtest::PtyProcess p;
    p.Answer("\x1b[c", "\x1b[?62;22c");
    ASSERT_TRUE(p.Start({QUILB_PLATFORM_KEY_PROBE, report}));
    ASSERT_NE(p.WaitFor("READY", 20000), npos) << qtest::Hex(p.Output());
    const struct {
        const char* what;
        std::string bytes;
        std::string code;
    } kCases[] = {
        {"F1", "\x1bOP", "368"},        {"Ctrl+A", "\x01", "1089"},
        {"Alt+X", "\x1bx", "2136"},     {"F12", "\x1b[24~", "379"},
        {"Shift+Tab", "\x1b[Z", "521"}, {"Ctrl+Up", "\x1b[1;5A", "1062"},
        {"a letter", "z", "122"},
    };
    int lines = 0;
    for (const auto& c : kCases) {
        p.Write(c.bytes);
        lines++;
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Lines(text = qtest::ReadFile(report)) < lines &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(Lines(text), lines) << c.what << ": no key reported";
        EXPECT_EQ(LastLine(text), c.code) << c.what;
    }
    p.Write("q");
    const int status = p.WaitExit(10000);
    ASSERT_NE(status, -1);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace
