// Code-page conversions, case changes and the Windows string comparisons.
#include "qposix_path.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

TEST(CodePages, MultiByteToWideChar) {
    WCHAR out[8];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\x80", 1, out, 8), 1);
    EXPECT_EQ(out[0], 0x20AC);
    EXPECT_EQ(MultiByteToWideChar(437, 0, "\x80", 1, out, 8), 1);
    EXPECT_EQ(out[0], 0x00C7);
    EXPECT_EQ(MultiByteToWideChar(CP_OEMCP, 0, "\x01\xFF", 2, out, 8), 2);
    EXPECT_EQ(out[0], 0x0001);
    EXPECT_EQ(out[1], 0x00A0);
    EXPECT_EQ(MultiByteToWideChar(1250, 0, "\x81", 1, out, 8), 1); // other pages read as 1252
    EXPECT_EQ(out[0], 0x0081);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, out, 8), 4);
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, out, 8), 3);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xF0\x9F\x98\x80", -1, nullptr, 0), 3);
    // UTF-8 here carries no byte escape: an invalid byte is its own value.
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xFF", 1, out, 8), 1);
    EXPECT_EQ(out[0], 0x00FF);
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abcdef", -1, out, 3), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

// Forms that are not UTF-8 although their bytes are shaped like it never
// give a character: not the separator or NUL they would spell, not a lone
// surrogate, nothing above U+10FFFF. With the byte escape every byte is kept
// as itself; without it the form is U+FFFD, or an error when invalid input
// is to be refused.
TEST(CodePages, MalformedUtf8NeverDecodesToACharacter) {
    const struct {
        const char* what;
        std::string bytes;
        std::u16string escaped;
    } rows[] = {
        {"overlong slash", "\xE0\x80\xAF", u"\xDCE0\xDC80\xDCAF"},
        {"overlong NUL", "\xE0\x80\x80", u"\xDCE0\xDC80\xDC80"},
        {"overlong four-byte slash", "\xF0\x80\x80\xAF", u"\xDCF0\xDC80\xDC80\xDCAF"},
        {"encoded high surrogate", "\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
        {"encoded low surrogate", "\xED\xBF\xBF", u"\xDCED\xDCBF\xDCBF"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},
    };
    for (const auto& r : rows) {
        const std::string text = "a" + r.bytes + "b";
        WCHAR out[16];
        // With the byte escape.
        SSIZE_T n = Utf8ToUtf16(text.data(), static_cast<SSIZE_T>(text.size()), out, 16, true);
        EXPECT_EQ(std::u16string(out, n < 0 ? 0 : static_cast<size_t>(n)), u"a" + r.escaped + u"b")
            << r.what;
        // Without it.
        n = Utf8ToUtf16(text.data(), static_cast<SSIZE_T>(text.size()), out, 16, false);
        EXPECT_EQ(std::u16string(out, n < 0 ? 0 : static_cast<size_t>(n)), u"a\uFFFDb") << r.what;
        int m = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out, 16);
        EXPECT_EQ(std::u16string(out, m < 0 ? 0 : static_cast<size_t>(m)), u"a\uFFFDb") << r.what;
        // Refused when asked to.
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                      static_cast<int>(text.size()), out, 16),
                  0)
            << r.what;
        EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION) << r.what;
        SetLastError(0);
        EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                      static_cast<int>(text.size()), nullptr, 0),
                  0)
            << r.what << ": also when only counting";
        EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION) << r.what;
    }
    // A byte that starts no sequence is refused too; well-formed text is not.
    SetLastError(0);
    WCHAR out[8];
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, out, 8), 0);
    EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "\xC3\xA9\xF0\x9F\x98\x80", -1,
                                  out, 8),
              4);
    EXPECT_EQ(std::u16string(out, 3), u"\u00E9\xD83D\xDE00");
}

TEST(CodePages, WideCharToMultiByte) {
    char out[16];
    BOOL used = FALSE;
    EXPECT_EQ(WideCharToMultiByte(437, 0, u"\u20AC", 1, out, 16, nullptr, &used), 1);
    EXPECT_EQ(out[0], '?');
    EXPECT_TRUE(used);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u20AC\u00E9", 2, out, 16, "#", &used), 2);
    EXPECT_EQ(static_cast<unsigned char>(out[0]), 0x80);
    EXPECT_EQ(static_cast<unsigned char>(out[1]), 0xE9);
    EXPECT_FALSE(used);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u4E00", 1, out, 16, "#", &used), 1);
    EXPECT_EQ(out[0], '#');
    EXPECT_TRUE(used);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00E9", -1, out, 16, nullptr, nullptr), 3);
    EXPECT_STREQ(out, "\xC3\xA9");
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00E9x", -1, nullptr, 0, nullptr, nullptr), 4);
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abc", -1, out, 3, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(CodePages, CpInfo) {
    CPINFO info;
    ASSERT_TRUE(GetCPInfo(CP_UTF8, &info));
    EXPECT_EQ(info.MaxCharSize, 4u);
    EXPECT_EQ(info.DefaultChar[0], '?');
    ASSERT_TRUE(GetCPInfo(437, &info));
    EXPECT_EQ(info.MaxCharSize, 1u);
    EXPECT_EQ(info.LeadByte[0], 0);
    EXPECT_FALSE(GetCPInfo(0, nullptr));
}

TEST(CaseChange, UnicodeThroughTheCaseLocale) {
    WCHAR s[] = u"\u00E9a\u0434Z";
    EXPECT_EQ(CharUpperW(s), s);
    EXPECT_EQ(std::u16string(s), u"\u00C9A\u0414Z");
    EXPECT_EQ(CharLowerBuffW(s, 2), 2u);
    EXPECT_EQ(std::u16string(s), u"\u00E9a\u0414Z");
    auto asChar = [](WCHAR c) { return reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(c)); };
    EXPECT_EQ(reinterpret_cast<uintptr_t>(CharUpperW(asChar(0xE9))), 0xC9u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(CharLowerW(asChar('Q'))), static_cast<uintptr_t>('q'));
    EXPECT_TRUE(IsCharAlphaW(0x0434));
    EXPECT_FALSE(IsCharAlphaW('1'));
}

TEST(CaseChange, AnsiBytes) {
    char s[] = "\xE9\xFF" "ab";
    CharUpperA(s);
    // y with diaeresis becomes U+0178, which the ANSI page holds at 0x9F.
    EXPECT_STREQ(s, "\xC9\x9F" "AB");
    CharLowerBuffA(s, 2);
    EXPECT_STREQ(s, "\xE9\xFF" "AB");
    auto asChar = [](unsigned char c) { return reinterpret_cast<LPSTR>(static_cast<uintptr_t>(c)); };
    EXPECT_EQ(reinterpret_cast<uintptr_t>(CharUpperA(asChar(0xE9))), 0xC9u);
    // The micro sign's upper case (U+039C) has no ANSI byte.
    char micro[] = "\xB5";
    CharUpperA(micro);
    EXPECT_STREQ(micro, "?");
    EXPECT_EQ(lstrcmpiA("\xC9t\xE9", "\xE9T\xC9"), 0);
    EXPECT_LT(lstrcmpiA("abc", "abd"), 0);
}

TEST(CaseChange, AnsiAndOemRecoding) {
    char oem[4];
    EXPECT_TRUE(CharToOemA("\xE9\x80x", oem));
    EXPECT_STREQ(oem, "\x82?x"); // euro sign has no OEM byte
    char ansi[4];
    EXPECT_TRUE(OemToCharA("\x82\xB0x", ansi));
    EXPECT_STREQ(ansi, "\xE9?x"); // light shade has no ANSI byte
    char buf[2] = {'\x9A', 'z'};
    EXPECT_TRUE(OemToCharBuffA(buf, buf, 2));
    EXPECT_EQ(static_cast<unsigned char>(buf[0]), 0xDC);
    EXPECT_TRUE(CharToOemBuffA(buf, buf, 1));
    EXPECT_EQ(static_cast<unsigned char>(buf[0]), 0x9A);
}

TEST(Compare, OrderAndCase) {
    struct Row {
        const char16_t* s;
        const char16_t* t;
        DWORD flags;
        int result;
    } rows[] = {
        {u"ABC", u"abd", NORM_IGNORECASE, CSTR_LESS_THAN},
        {u"abc", u"ab", 0, CSTR_GREATER_THAN},
        {u"abc", u"abc", 0, CSTR_EQUAL},
        {u"ABC", u"abc", 0, CSTR_LESS_THAN},
        {u"\u00C9", u"\u00E9", NORM_IGNORECASE, CSTR_EQUAL},
        {u"\uFFFF", u"a", 0, CSTR_GREATER_THAN},
    };
    for (const Row& r : rows) EXPECT_EQ(CompareStringW(0, r.flags, r.s, -1, r.t, -1), r.result);
    EXPECT_EQ(CompareStringW(0, 0, u"abcX", 3, u"abcY", 3), CSTR_EQUAL);
    EXPECT_EQ(lstrcmpW(u"b", u"a"), 1);
    EXPECT_EQ(lstrcmpW(u"a", u"ab"), -1);
    EXPECT_EQ(lstrcmpiW(u"\u0414A", u"\u0434a"), 0);
}

TEST(Copy, BoundedCopies) {
    WCHAR d[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    EXPECT_EQ(lstrcpynW(d, u"abcdef", 4), d);
    EXPECT_EQ(std::u16string(d), u"abc");
    lstrcpynW(d, u"zz", 0);
    EXPECT_EQ(std::u16string(d), u"abc");
    lstrcpynW(d, u"zz", 1);
    EXPECT_EQ(d[0], 0);
    EXPECT_EQ(lstrcpyW(d, u"hi"), d);
    EXPECT_EQ(std::u16string(d), u"hi");
}

TEST(MulDiv, RoundsHalfAwayFromZero) {
    struct Row {
        int a, b, c, r;
    } rows[] = {
        {5, 3, 2, 8},      {-5, 3, 2, -8},     {5, -3, 2, -8},   {5, 3, -2, -8},
        {1, 1, 0, -1},     {7, 1, 2, 4},       {5, 1, 3, 2},     {-7, 1, 2, -4},
        {65536, 65536, 1, -1}, {2000000000, 2, 2, 2000000000}, {-2147483647 - 1, 1, 1, -2147483647 - 1},
    };
    for (const Row& r : rows) EXPECT_EQ(MulDiv(r.a, r.b, r.c), r.r) << r.a << "*" << r.b << "/" << r.c;
}

} // namespace

#include <iconv.h>

namespace {

// The unit glibc's converter gives for one byte of a code page, or -1 when
// the page leaves the byte undefined.
int IconvUnit(const char* page, unsigned char byte) {
    iconv_t cd = ::iconv_open("UTF-16LE", page);
    if (cd == reinterpret_cast<iconv_t>(-1)) return -2;
    char in[1] = {static_cast<char>(byte)};
    unsigned char out[4];
    char* ip = in;
    char* op = reinterpret_cast<char*>(out);
    size_t il = 1, ol = sizeof out;
    size_t r = ::iconv(cd, &ip, &il, &op, &ol);
    ::iconv_close(cd);
    if (r == static_cast<size_t>(-1) || ol != 2) return -1;
    return out[0] | (out[1] << 8);
}

TEST(CodePages, EveryByteRoundTripsAndAgreesWithGlibc) {
    struct Page {
        UINT codePage;
        const char* iconvName;
    } pages[] = {{CP_ACP, "CP1252"}, {437, "IBM437"}};
    const unsigned char undefinedIn1252[] = {0x81, 0x8D, 0x8F, 0x90, 0x9D};
    for (const Page& page : pages) {
        for (int b = 0; b < 256; b++) {
            char byte = static_cast<char>(b);
            WCHAR unit = 0;
            ASSERT_EQ(MultiByteToWideChar(page.codePage, 0, &byte, 1, &unit, 1), 1);
            char back = 0;
            BOOL used = FALSE;
            ASSERT_EQ(WideCharToMultiByte(page.codePage, 0, &unit, 1, &back, 1, nullptr, &used), 1);
            EXPECT_EQ(static_cast<unsigned char>(back), b) << page.iconvName << " byte " << b;
            EXPECT_FALSE(used);
            int expected = IconvUnit(page.iconvName, static_cast<unsigned char>(b));
            ASSERT_NE(expected, -2) << page.iconvName << " is not known to iconv";
            bool undefined = page.codePage == CP_ACP &&
                             std::find(std::begin(undefinedIn1252), std::end(undefinedIn1252),
                                       b) != std::end(undefinedIn1252);
            if (undefined) {
                // The bytes the page leaves open stand for the code points of
                // the same value.
                EXPECT_EQ(unit, b);
            } else {
                EXPECT_EQ(unit, expected) << page.iconvName << " byte " << b;
            }
        }
    }
}

} // namespace

namespace {

TEST(IsTextUnicode, ByByteOrderMarkOnly) {
    struct Row {
        const char* bytes;
        int length;
        int asked;
        BOOL result;
        int stored;
    } rows[] = {
        {"\xFF\xFEh\0", 4, -1, TRUE, IS_TEXT_UNICODE_SIGNATURE},
        {"\xFE\xFF\0h", 4, -1, FALSE, IS_TEXT_UNICODE_REVERSE_SIGNATURE},
        {"\xFF\xFEh", 3, -1, TRUE, IS_TEXT_UNICODE_SIGNATURE | IS_TEXT_UNICODE_ODD_LENGTH},
        {"h\0i\0", 4, -1, FALSE, 0},
        {"\xFF\xFE", 2, IS_TEXT_UNICODE_ODD_LENGTH, TRUE, 0},
        {"\xFF", 1, -1, FALSE, IS_TEXT_UNICODE_ODD_LENGTH},
    };
    for (const Row& r : rows) {
        int tests = r.asked;
        EXPECT_EQ(IsTextUnicode(r.bytes, r.length, &tests), r.result) << r.length;
        EXPECT_EQ(tests, r.stored) << r.length;
    }
    EXPECT_TRUE(IsTextUnicode("\xFF\xFE", 2, nullptr));
}

} // namespace
