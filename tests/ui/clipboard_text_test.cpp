// The dialogue layer's clipboard text with no desktop clipboard: what it
// puts there is read back from the program's own copy, OEM bytes as their
// Unicode characters.
#include "fixture.h"
#include "ui/clipboard_text.h"

#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "clipboardapi.h"

namespace {

std::optional<std::u16string> Paste() {
    OpenClipboard(nullptr);
    std::optional<std::u16string> text;
    if (HANDLE block = GetClipboardData(CF_UNICODETEXT)) {
        text = static_cast<const WCHAR*>(GlobalLock(block));
        GlobalUnlock(block);
    }
    CloseClipboard();
    return text;
}

class ClipboardTextTest : public ::testing::Test {
protected:
    qtest::ScopedEnv display{"DISPLAY", nullptr};
    qtest::ScopedEnv wayland{"WAYLAND_DISPLAY", nullptr};
};

TEST_F(ClipboardTextTest, ReplaceAppendAndEmpty) {
    const std::string tree = "F:\\\n\xc3\xc4\xc4" "alpha\n\xb3  \xc0\xc4\xc4" "a\x82\n";
    ASSERT_EQ(ClipboardTextA(CLIPBOARD_REPLACE, tree.data(), tree.size(), FALSE), 1);
    EXPECT_EQ(Paste(), std::u16string(u"F:\\\n\u251c\u2500\u2500alpha\n\u2502  \u2514\u2500\u2500a\u00e9\n"));

    ASSERT_EQ(ClipboardTextA(CLIPBOARD_REPLACE, "first", 5, FALSE), 1);
    ASSERT_EQ(ClipboardTextA(CLIPBOARD_APPEND, " second and more", 7, FALSE), 1);
    EXPECT_EQ(Paste(), std::u16string(u"first second"));

    // A NUL inside the length ends the text.
    ASSERT_EQ(ClipboardTextA(CLIPBOARD_REPLACE, "ab\0cd", 5, FALSE), 1);
    EXPECT_EQ(Paste(), std::u16string(u"ab"));

    ASSERT_EQ(ClipboardText(CLIPBOARD_EMPTY), 1);
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT));
}

TEST_F(ClipboardTextTest, UnknownOperationsChangeNothing) {
    ASSERT_EQ(ClipboardTextA(CLIPBOARD_REPLACE, "kept", 4, FALSE), 1);
    EXPECT_EQ(ClipboardTextA(CLIPBOARD_EMPTY, "x", 1, FALSE), 0);
    EXPECT_EQ(ClipboardTextA(7, "x", 1, FALSE), 0);
    EXPECT_EQ(ClipboardText(CLIPBOARD_REPLACE), 0);
    EXPECT_EQ(Paste(), std::u16string(u"kept"));
}

} // namespace
