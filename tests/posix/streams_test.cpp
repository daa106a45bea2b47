// Streams: Windows modes and paths, binary (UTF-16LE) and text (UTF-8)
// streams, CR LF read as LF, the binary-stream table and its limit, the units
// fgetwc owes per thread, printf on streams, the standard streams, and libc's
// own stdio left untouched.
//
// qstdio.h comes first on purpose: the standard and GoogleTest headers after
// it must still compile under its redirecting macros (streams_order_test.cpp
// has the other order).
#include "qstdio.h"
#include "../support/fixture.h"
#include "qposix_path.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// libc's own stdio (streams_libc_probe.cpp).
FILE* LibcFopen(const char* path, const char* mode);
int LibcFclose(FILE* stream);
char* LibcFgets(char* buf, int n, FILE* stream);
int LibcFprintfWideAndLong(FILE* stream);

namespace {

using namespace std::string_literals;

// The Windows form of a POSIX path, through the machine's own drive map.
std::u16string Win(const std::string& posix) {
    WCHAR out[4097];
    EXPECT_GE(PathFromPosix(posix.c_str(), out, 4097), 0);
    return out;
}

std::string Utf16le(const std::u16string& s) {
    std::string out;
    for (char16_t u : s) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    }
    return out;
}

std::string Utf8(const std::u16string& s) {
    std::string out(s.size() * 3 + 1, '\0');
    SSIZE_T n = Utf16ToUtf8(s.data(), static_cast<SSIZE_T>(s.size()), out.data(), out.size());
    EXPECT_GE(n, 0);
    out.resize(n < 0 ? 0 : static_cast<size_t>(n));
    return out;
}

// Every unit up to the end of the input.
std::u16string ReadUnits(FILE* f) {
    std::u16string units;
    for (;;) {
        WORD u = fgetwc(f);
        if (u == QWEOF && (feof(f) || ferror(f))) break;
        units.push_back(u);
    }
    return units;
}

// Every line fgets gives with a buffer of n bytes.
std::vector<std::string> ReadLines(FILE* f, int n) {
    std::vector<std::string> lines;
    std::vector<char> buf(static_cast<size_t>(n));
    while (fgets(buf.data(), n, f) != nullptr)
        lines.push_back(buf.data());
    return lines;
}

// Every line fgetws gives with a buffer of n units.
std::vector<std::u16string> ReadWideLines(FILE* f, int n) {
    std::vector<std::u16string> lines;
    std::vector<WCHAR> buf(static_cast<size_t>(n));
    while (fgetws(buf.data(), n, f) != nullptr)
        lines.push_back(buf.data());
    return lines;
}

class StreamTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    int serial = 0;

    std::u16string W(const std::string& rel) { return Win(dir.Sub(rel)); }
    FILE* Open(const std::string& rel, const char16_t* mode) {
        return _wfopen(W(rel).c_str(), mode);
    }
    // A new file holding bytes, opened with mode.
    FILE* OpenWith(const std::string& bytes, const char16_t* mode) {
        std::string name = "f" + std::to_string(serial++);
        dir.Write(name, bytes);
        return Open(name, mode);
    }
    // A new file name for a stream opened with mode; the name in *name.
    FILE* Create(const char16_t* mode, std::string* name) {
        *name = "f" + std::to_string(serial++);
        return Open(*name, mode);
    }
};

// The threaded cases, which also run under ThreadSanitizer.
class StreamConcurrency : public StreamTest {};

// ---- modes and paths ------------------------------------------------------------

TEST(StreamLibcMode, TranslatesWindowsModes) {
    struct Row {
        const char* what;
        const char* windows;
        const char* libc;
        bool binary;
    } rows[] = {
        {"plain read", "r", "r", false},
        {"t is the default and dropped", "rt", "r", false},
        {"b kept and binary", "rb", "rb", true},
        {"update binary", "r+b", "r+b", true},
        {"ccs suffix dropped", "r, ccs=UTF-8", "r", false},
        {"a UTF-16LE ccs suffix dropped too", "w,ccs=UTF-16LE", "w", false},
        {"Windows-only letters dropped", "wbDNRSTcnt", "wb", true},
        {"exclusive creation kept", "wx", "wx", false},
        {"b as the 15th character still counts", "rDDDDDDDDDDDDDb", "rb", true},
        {"b after 15 characters is not seen", "rDDDDDDDDDDDDDDb", "r", false},
        {"empty", "", "", false},
        {"null", nullptr, "", false},
    };
    for (const Row& r : rows) {
        char out[16];
        std::memset(out, 'X', sizeof out);
        EXPECT_EQ(StreamLibcMode(r.windows, out), r.binary) << r.what;
        EXPECT_STREQ(out, r.libc) << r.what;
    }
}

TEST_F(StreamTest, WideModesDecideTheEncodingAndNeverHurtTheFile) {
    struct Row {
        const char* what;
        const char16_t* mode;
        bool ok;
        int error;
        bool binary;
        std::string after; // the file after writing U+00E9 and closing
    } rows[] = {
        {"ccs=UTF-8 suffix: a text stream", u"w, ccs=UTF-8", true, 0, false, "\xC3\xA9"},
        {"t: text", u"wt", true, 0, false, "\xC3\xA9"},
        {"b: binary, low byte first", u"wb", true, 0, true, "\xE9\x00"s},
        {"D dropped: the file outlives the stream", u"abD", true, 0, true, "old\xE9\x00"s},
        {"read-only stream takes no text", u"r, ccs=UTF-8", true, 0, false, "old"},
        {"unit outside ASCII refused before truncating", u"w\u0162", false, EINVAL, false, "old"},
        {"empty mode refused", u"", false, EINVAL, false, "old"},
    };
    for (const Row& r : rows) {
        std::string name = "m" + std::to_string(serial++);
        dir.Write(name, "old");
        errno = 0;
        FILE* f = Open(name, r.mode);
        EXPECT_EQ(f != nullptr, r.ok) << r.what;
        if (f == nullptr) {
            EXPECT_EQ(errno, r.error) << r.what;
        } else {
            EXPECT_EQ(StreamIsBinary(f), r.binary) << r.what;
            fputws(u"\u00e9", f);
            EXPECT_EQ(fclose(f), 0) << r.what;
        }
        EXPECT_EQ(qtest::ReadFile(dir.Sub(name)), r.after) << r.what;
    }
}

TEST_F(StreamTest, CcsUtf8ReadModeOpensATextStreamForReading) {
    FILE* f = OpenWith("A\r\n", u"r, ccs=UTF-8");
    ASSERT_NE(f, nullptr);
    EXPECT_FALSE(StreamIsBinary(f));
    WCHAR buf[8];
    ASSERT_NE(fgetws(buf, 8, f), nullptr);
    EXPECT_EQ(std::u16string(buf), u"A\n");
    EXPECT_EQ(fputws(u"x", f), -1);
    fclose(f);
}

TEST_F(StreamTest, NarrowFopenMapsWindowsPaths) {
    std::u16string wide = W("narrow.txt");
    ASSERT_TRUE(std::all_of(wide.begin(), wide.end(), [](char16_t u) { return u < 0x80; }));
    std::string path(wide.begin(), wide.end());
    FILE* f = fopen(path.c_str(), "wt");
    ASSERT_NE(f, nullptr);
    EXPECT_FALSE(StreamIsBinary(f));
    EXPECT_EQ(fprintf(f, "%s\r\n", "line"), 6);
    EXPECT_EQ(fclose(f), 0);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("narrow.txt")), "line\r\n");

    f = fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(StreamIsBinary(f));
    char buf[16];
    EXPECT_STREQ(fgets(buf, sizeof buf, f), "line\r\n");
    EXPECT_EQ(fclose(f), 0);

    // Backslashes separate directories as they do on Windows.
    dir.MakeDir("sub");
    f = fopen((dir.path() + "\\sub\\made").c_str(), "w");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(fclose(f), 0);
    EXPECT_EQ(::access(dir.Sub("sub/made").c_str(), F_OK), 0);

    errno = 0;
    EXPECT_EQ(fopen((path + "\\missing").c_str(), "r"), nullptr);
    EXPECT_EQ(errno, ENOTDIR);
    errno = 0;
    EXPECT_EQ(fopen(dir.Sub("missing").c_str(), "r"), nullptr);
    EXPECT_EQ(errno, ENOENT);
}

// ---- reading ---------------------------------------------------------------------

TEST_F(StreamTest, FgetwcOnTextStreamsReadsOneUtf8SequenceAtATime) {
    struct Row {
        const char* what;
        std::string bytes;
        std::u16string units;
    } rows[] = {
        {"ASCII", "Az", u"Az"},
        {"two- and three-byte forms", "\xC3\xA9\xE2\x82\xAC", u"\u00e9\u20ac"},
        {"four bytes: high surrogate, then the low one", "\xF0\x9F\x98\x80", {0xD83D, 0xDE00}},
        {"lone lead byte E9 before A gives U+00E9", "\xE9\x41", {0xE9, u'A'}},
        {"cut three-byte form: no byte lost", "\xE9\x80\x41", {0xE9, 0x80, u'A'}},
        {"four-byte form cut by the end", "\xF0\x9F\x98", {0xF0, 0x9F, 0x98}},
        {"F5 takes two continuation bytes and gives each back",
         "\xF5\x80\x80\x80",
         {0xF5, 0x80, 0x80, 0x80}},
        {"above U+10FFFF: four bytes, four units", "\xF4\x90\x80\x80", {0xF4, 0x90, 0x80, 0x80}},
        {"lone continuation byte", "\x80\x61", {0x80, u'a'}},
        {"overlong lead C0", "\xC0\xAF", {0xC0, 0xAF}},
        {"encoded surrogate decoded as it is", "\xED\xA0\xBD", {0xD83D}},
        {"CR LF unchanged unit by unit", "\r\n", u"\r\n"},
        {"U+FFFF is a unit, not the end", "\xEF\xBF\xBF\x61", {0xFFFF, u'a'}},
    };
    for (const Row& r : rows) {
        FILE* f = OpenWith(r.bytes, u"r");
        ASSERT_NE(f, nullptr) << r.what;
        EXPECT_EQ(ReadUnits(f), r.units) << r.what;
        EXPECT_EQ(fgetwc(f), QWEOF) << r.what;
        fclose(f);
    }
}

TEST_F(StreamTest, FgetwcOnBinaryStreamsReadsUtf16le) {
    struct Row {
        const char* what;
        std::string bytes;
        std::u16string units;
    } rows[] = {
        {"low byte first, pairs as they are", "A\0\x3D\xD8\x00\xDE"s, {u'A', 0xD83D, 0xDE00}},
        {"CR LF kept", "\r\0\n\0"s, u"\r\n"},
        {"a lone last byte is no unit", "A\0B"s, u"A"},
    };
    for (const Row& r : rows) {
        FILE* f = OpenWith(r.bytes, u"rb");
        ASSERT_NE(f, nullptr) << r.what;
        EXPECT_EQ(ReadUnits(f), r.units) << r.what;
        fclose(f);
    }
}

TEST_F(StreamTest, FgetsTurnsCrLfIntoLfOnTextStreams) {
    std::string x31(31, 'x');
    struct Row {
        const char* what;
        std::string content;
        const char16_t* mode;
        int n;
        std::vector<std::string> lines;
    } rows[] = {
        {"CR LF becomes LF", "a\r\nb\r\n", u"r", 64, {"a\n", "b\n"}},
        {"binary stream keeps CR LF", "a\r\nb\r\n", u"rb", 64, {"a\r\n", "b\r\n"}},
        {"only the trailing pair", "a\rb\r\r\n", u"r", 64, {"a\rb\r\n"}},
        {"CR at the end of input stays", "a\r", u"r", 64, {"a\r"}},
        {"bare LF lines", "a\nb", u"r", 64, {"a\n", "b"}},
        {"CR fills the buffer, LF follows", "abc\r\nd", u"r", 5, {"abc\n", "d"}},
        {"CR fills the buffer, another byte follows", "abc\rde\r\n", u"r", 5, {"abc\r", "de\n"}},
        {"CR fills the buffer on a binary stream", "abc\r\nd", u"rb", 5, {"abc\r", "\n", "d"}},
        {"line longer than the buffer",
         std::string(100, 'x') + "\r\n",
         u"r",
         32,
         {x31, x31, x31, "xxxxxxx\n"}},
        {"line ending exactly at the buffer", x31 + "\r\n" + "y", u"r", 32, {x31, "\n", "y"}},
    };
    for (const Row& r : rows) {
        FILE* f = OpenWith(r.content, r.mode);
        ASSERT_NE(f, nullptr) << r.what;
        EXPECT_EQ(ReadLines(f, r.n), r.lines) << r.what;
        fclose(f);
    }
}

TEST_F(StreamTest, FgetwsReadsLinesOfUnits) {
    std::u16string pair = {0xD83D, 0xDE00};
    struct Row {
        const char* what;
        std::string bytes;
        const char16_t* mode;
        int n;
        std::vector<std::u16string> lines;
    } rows[] = {
        {"UTF-8 line with a pair, CR LF to LF",
         "A\xF0\x9F\x98\x80\r\nB",
         u"r",
         64,
         {u"A" + pair + u"\n", u"B"}},
        {"binary UTF-16LE keeps CR LF", Utf16le(u"A\r\nB"), u"rb", 64, {u"A\r\n", u"B"}},
        {"CR fills the buffer, LF follows", "abc\r\nd", u"r", 5, {u"abc\n", u"d"}},
        {"CR fills the buffer, a pair follows", "abc\r\xF0\x9F\x98\x80", u"r", 5, {u"abc\r", pair}},
        {"pair split by the end of the buffer",
         "ab\xF0\x9F\x98\x80\n",
         u"r",
         4,
         {u"ab" + pair.substr(0, 1), pair.substr(1) + u"\n"}},
        {"invalid bytes kept inside the line",
         "a\xE9\x80z\r\n",
         u"r",
         64,
         {{u'a', 0xE9, 0x80, u'z', u'\n'}}},
        {"U+FFFF inside a line does not end it",
         "a\xEF\xBF\xBF\x62\n",
         u"r",
         64,
         {{u'a', 0xFFFF, u'b', u'\n'}}},
        {"line longer than the buffer",
         std::string(10, 'x') + "\r\n",
         u"r",
         5,
         {u"xxxx", u"xxxx", u"xx\n"}},
    };
    for (const Row& r : rows) {
        FILE* f = OpenWith(r.bytes, r.mode);
        ASSERT_NE(f, nullptr) << r.what;
        EXPECT_EQ(ReadWideLines(f, r.n), r.lines) << r.what;
        fclose(f);
    }
}

TEST_F(StreamTest, FgetwsWithNoRoomReadsNothing) {
    FILE* f = OpenWith("abc", u"r");
    ASSERT_NE(f, nullptr);
    WCHAR buf[4] = {u'z', u'z', u'z', u'z'};
    EXPECT_EQ(fgetws(buf, 0, f), nullptr);
    EXPECT_EQ(buf[0], u'z');
    EXPECT_EQ(fgetws(buf, 1, f), nullptr);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(fgetws(buf, 4, f), buf);
    EXPECT_EQ(std::u16string(buf), u"abc");
    EXPECT_EQ(fgetws(buf, 4, f), nullptr);
    fclose(f);
}

// ---- writing and round trips ------------------------------------------------------

TEST_F(StreamTest, TextAndBinaryRoundTrips) {
    // Pairs at units 199-200 and 398-399 straddle the 200-unit pieces in
    // which text streams convert; a split pair would go out as two
    // three-byte forms.
    std::u16string pair = {0xD83D, 0xDE00};
    std::u16string straddling = std::u16string(199, u'a') + pair + std::u16string(197, u'b') +
                                pair + std::u16string(300, u'c') + u"\r\n";
    std::u16string longLine(5000, u'\u20ac');
    struct Row {
        const char* what;
        std::u16string text;
    } rows[] = {
        {"ASCII lines with CR LF", u"one\r\ntwo\r\n"},
        {"Latin, euro sign, emoji", u"\u00e9\u20ac" + pair + u"\n"},
        {"pairs across conversion pieces", straddling},
        {"line much longer than every buffer", longLine + u"\r\nend"},
        {"unpaired surrogates", {0xD83D, u'x', 0xDE00, u'\n'}},
    };
    for (const Row& r : rows) {
        for (bool binary : {false, true}) {
            std::string what = std::string(r.what) + (binary ? " (binary)" : " (text)");
            std::string name;
            FILE* f = Create(binary ? u"wb" : u"w", &name);
            ASSERT_NE(f, nullptr) << what;
            EXPECT_EQ(fputws(r.text.c_str(), f), 0) << what;
            EXPECT_EQ(fclose(f), 0) << what;
            EXPECT_EQ(qtest::ReadFile(dir.Sub(name)), binary ? Utf16le(r.text) : Utf8(r.text))
                << what;

            // Text streams give lines back with LF for CR LF.
            std::u16string expected = r.text;
            if (!binary) {
                for (size_t at; (at = expected.find(u"\r\n")) != std::u16string::npos;)
                    expected.erase(at, 1);
            }
            for (int n : {4096, 7}) {
                f = Open(name, binary ? u"rb" : u"r");
                ASSERT_NE(f, nullptr) << what;
                std::u16string back;
                for (const std::u16string& line : ReadWideLines(f, n))
                    back += line;
                EXPECT_EQ(back, expected) << what << ", buffer " << n;
                fclose(f);
            }
        }
    }
}

TEST_F(StreamTest, WritersEncodeByStreamKind) {
    struct Row {
        const char* what;
        const char16_t* mode;
        std::function<int(FILE*)> write;
        int result;
        std::string bytes;
    } rows[] = {
        {"fputws on text: UTF-8", u"w",
         [](FILE* f) { return fputws(u"\u00e9\u20ac\U0001F600", f); }, 0,
         "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {"fputws on binary: two bytes a unit, low first", u"wb",
         [](FILE* f) { return fputws(u"\u00e9\U0001F600", f); }, 0, "\xE9\x00\x3D\xD8\x00\xDE"s},
        {"escaped units give back their bytes", u"w",
         [](FILE* f) { return fputws(u"\xDC80\xDCFF", f); }, 0, "\x80\xFF"},
        {"fputwc answers the unit", u"wb",
         [](FILE* f) { return static_cast<int>(fputwc(u'\u20ac', f)); }, 0x20AC, "\xAC\x20"},
        {"StreamWriteW writes counted units, zeros too", u"wb",
         [](FILE* f) { return StreamWriteW(u"a\0b", 3, f); }, 0, "a\0\0\0b\0"s},
        {"fwprintf: Windows conventions, units counted", u"w",
         [](FILE* f) {
             return fwprintf(f, u"%s|%S|%ld|%I64d", u"\u00e9", "n", 0xFFFFFFFFu, int64_t{1} << 40);
         },
         20, "\xC3\xA9|n|-1|1099511627776"},
        {"fwprintf on binary", u"wb", [](FILE* f) { return fwprintf(f, u"%d\r\n", 42); }, 4,
         "4\x00\x32\x00\r\x00\n\x00"s},
        {"fprintf: %ls is 16-bit, bytes counted", u"w",
         [](FILE* f) { return fprintf(f, "%ls=%lu", u"ab", 0xFFFFFFFFu); }, 13, "ab=4294967295"},
        {"fprintf of nothing", u"w", [](FILE* f) { return fprintf(f, "%s", ""); }, 0, ""},
        {"fprintf on the error flag writes the text before the unit", u"w",
         [](FILE* f) { return fprintf(f, "ab%lscd", u"x\u0100y"); }, -1, "abx"},
    };
    for (const Row& r : rows) {
        std::string name;
        FILE* f = Create(r.mode, &name);
        ASSERT_NE(f, nullptr) << r.what;
        errno = 0;
        EXPECT_EQ(r.write(f), r.result) << r.what;
        if (r.result == -1) {
            EXPECT_EQ(errno, EILSEQ) << r.what;
        }
        EXPECT_EQ(fclose(f), 0) << r.what;
        EXPECT_EQ(qtest::ReadFile(dir.Sub(name)), r.bytes) << r.what;
    }
}

// A write-only stream that takes budget bytes and then fails with ENOSPC,
// keeping the part of the failing write that fits, as a full disk does;
// unbuffered, so every call reaches it.
struct FailingSink {
    size_t budget;
    std::string written;
};

ssize_t FailingWrite(void* cookie, const char* buf, size_t size) {
    FailingSink* sink = static_cast<FailingSink*>(cookie);
    size_t n = std::min(size, sink->budget);
    sink->written.append(buf, n);
    sink->budget -= n;
    // A cookie writer reports failure by a short count, never by -1.
    if (n < size) errno = ENOSPC;
    return static_cast<ssize_t>(n);
}

FILE* OpenFailing(FailingSink* sink) {
    cookie_io_functions_t io = {nullptr, FailingWrite, nullptr, nullptr};
    FILE* f = fopencookie(sink, "w", io);
    if (f != nullptr) setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

TEST(StreamFailures, AFailedWriteIsReported) {
    std::u16string many(1000, u'x');
    struct Row {
        const char* what;
        bool binary;
        size_t budget;
        std::function<int(FILE*)> write;
        int result;
        std::string through;
    } rows[] = {
        {"fputws, text", false, 2, [](FILE* f) { return fputws(u"abcd", f); }, -1, "ab"},
        {"fputws, binary", true, 3, [](FILE* f) { return fputws(u"abcd", f); }, -1, "a\0b"s},
        {"fputws fails in a later piece", false, 300,
         [&many](FILE* f) { return fputws(many.c_str(), f); }, -1, std::string(300, 'x')},
        {"fputwc", false, 1, [](FILE* f) { return static_cast<int>(fputwc(u'\u20ac', f)); }, QWEOF,
         "\xE2"},
        {"fwprintf", false, 1, [](FILE* f) { return fwprintf(f, u"%d", 123); }, -1, "1"},
        {"fprintf, fewer bytes written", false, 1, [](FILE* f) { return fprintf(f, "%d", 123); },
         -1, "1"},
        {"fprintf with room", false, 3, [](FILE* f) { return fprintf(f, "%d", 123); }, 3, "123"},
    };
    for (const Row& r : rows) {
        FailingSink sink{r.budget, ""};
        FILE* f = OpenFailing(&sink);
        ASSERT_NE(f, nullptr) << r.what;
        ASSERT_EQ(StreamSetMode(f, r.binary), 0) << r.what;
        errno = 0;
        EXPECT_EQ(r.write(f), r.result) << r.what;
        if (r.result < 0 || r.result == QWEOF) {
            EXPECT_EQ(errno, ENOSPC) << r.what;
        }
        EXPECT_EQ(sink.written, r.through) << r.what;
        fclose(f);
    }
}

TEST_F(StreamTest, NullArgumentsFailWithEinval) {
    FILE* f = OpenWith("abc", u"r+");
    ASSERT_NE(f, nullptr);
    char buf[8];
    WCHAR wbuf[8];
    int64_t position = 0;
    std::u16string path = W("x");
    struct Row {
        const char* what;
        std::function<bool()> failed;
    } rows[] = {
        {"fclose", [] { return fclose(nullptr) == EOF; }},
        {"fgets without stream", [&] { return fgets(buf, 8, nullptr) == nullptr; }},
        {"fgets without buffer", [&] { return fgets(nullptr, 8, f) == nullptr; }},
        {"fgetws", [&] { return fgetws(wbuf, 8, nullptr) == nullptr; }},
        {"fgetwc", [] { return fgetwc(nullptr) == QWEOF; }},
        {"fputws without stream", [] { return fputws(u"x", nullptr) == -1; }},
        {"fputws without text",
         [&] { return fputws(static_cast<const WCHAR*>(nullptr), f) == -1; }},
        {"fputwc", [] { return fputwc(u'x', nullptr) == QWEOF; }},
        {"StreamWriteW without units", [&] { return StreamWriteW(nullptr, 1, f) == -1; }},
        {"fwprintf", [] { return fwprintf(nullptr, u"x") == -1; }},
        {"fprintf", [] { return fprintf(nullptr, "x") == -1; }},
        {"fgetpos without stream", [&] { return fgetpos(nullptr, &position) == -1; }},
        {"fgetpos without position", [&] { return fgetpos(f, nullptr) == -1; }},
        {"_wfopen without path", [] { return _wfopen(nullptr, u"r") == nullptr; }},
        {"_wfopen without mode", [&] { return _wfopen(path.c_str(), nullptr) == nullptr; }},
        {"fopen without path", [] { return fopen(nullptr, "r") == nullptr; }},
        {"fopen without mode", [&] { return fopen("x", nullptr) == nullptr; }},
        {"StreamSetMode", [] { return StreamSetMode(nullptr, true) == -1; }},
    };
    for (const Row& r : rows) {
        errno = 0;
        EXPECT_TRUE(r.failed()) << r.what;
        EXPECT_EQ(errno, EINVAL) << r.what;
    }
    // The stream was left alone.
    EXPECT_STREQ(fgets(buf, 8, f), "abc");
    fclose(f);
}

// ---- the binary-stream table -------------------------------------------------------

TEST_F(StreamTest, BinaryTableHoldsAtMost256Streams) {
    rlimit limit;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_cur < 300) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 1024);
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
    }
    if (limit.rlim_cur < 300) GTEST_SKIP() << "needs 300 descriptors, the hard limit is lower";

    dir.Write("data", "keep");
    dir.Write("precious", "do not truncate");
    std::vector<FILE*> open;
    for (size_t i = 0; i + 1 < STREAM_BINARY_SLOTS; i++) {
        FILE* f = Open("data", u"rb");
        ASSERT_NE(f, nullptr) << i;
        open.push_back(f);
    }
    // The 256th binary stream comes through StreamSetMode, twice: a stream
    // already marked takes no second slot.
    FILE* text = Open("data", u"r");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(StreamSetMode(text, true), 0);
    EXPECT_EQ(StreamSetMode(text, true), 0);
    EXPECT_TRUE(StreamIsBinary(text));

    // Full: a binary open fails before the file is touched, and a stream
    // cannot be marked; text streams still open.
    errno = 0;
    EXPECT_EQ(Open("precious", u"wb"), nullptr);
    EXPECT_EQ(errno, EMFILE);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("precious")), "do not truncate");
    FILE* other = Open("data", u"r");
    ASSERT_NE(other, nullptr);
    errno = 0;
    EXPECT_EQ(StreamSetMode(other, true), -1);
    EXPECT_EQ(errno, EMFILE);
    EXPECT_FALSE(StreamIsBinary(other));
    EXPECT_EQ(fclose(other), 0);

    // Marking a stream text frees its slot.
    EXPECT_EQ(StreamSetMode(text, false), 0);
    EXPECT_FALSE(StreamIsBinary(text));
    FILE* again = Open("precious", u"ab");
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(StreamIsBinary(again));
    EXPECT_EQ(fputws(u"!", again), 0);
    EXPECT_EQ(fclose(again), 0);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("precious")), "do not truncate!\0"s);

    // fclose frees a slot too.
    EXPECT_EQ(StreamSetMode(text, true), 0);
    EXPECT_EQ(StreamSetMode(text, true), 0);
    EXPECT_EQ(Open("data", u"rb"), nullptr);
    EXPECT_EQ(fclose(open.back()), 0);
    open.pop_back();
    FILE* last = Open("data", u"rb");
    ASSERT_NE(last, nullptr);
    open.push_back(last);

    EXPECT_EQ(fclose(text), 0);
    for (FILE* f : open)
        EXPECT_EQ(fclose(f), 0);
}

TEST_F(StreamConcurrency, ThreadsOpeningStreamsKeepTheirOwnMarks) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 60;
    std::vector<std::thread> threads;
    std::vector<int> wrong(kThreads, 0);
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([this, t, &wrong] {
            for (int i = 0; i < kRounds; i++) {
                bool binary = (t + i) % 2 == 0;
                std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
                FILE* f = Open(name, binary ? u"wb" : u"w");
                if (f == nullptr || StreamIsBinary(f) != binary || fputws(u"\u00e9", f) != 0) {
                    wrong[t]++;
                    if (f != nullptr) fclose(f);
                    continue;
                }
                fclose(f);
                std::string bytes = qtest::ReadFile(dir.Sub(name));
                if (bytes != (binary ? "\xE9\x00"s : "\xC3\xA9"s)) wrong[t]++;
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    for (int t = 0; t < kThreads; t++)
        EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

TEST_F(StreamConcurrency, ConcurrentWritersNeverInterleaveInsideOneCall) {
    std::string name;
    FILE* f = Create(u"w", &name);
    ASSERT_NE(f, nullptr);
    // Lines of 700 units go out in several pieces each.
    constexpr int kThreads = 4;
    constexpr int kLines = 100;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++) {
        threads.emplace_back([f, t] {
            std::u16string line(700, static_cast<char16_t>(u'a' + t));
            for (int i = 0; i < kLines; i++)
                fwprintf(f, u"%s\n", line.c_str());
        });
    }
    for (std::thread& t : threads)
        t.join();
    ASSERT_EQ(fclose(f), 0);
    f = Open(name, u"r");
    ASSERT_NE(f, nullptr);
    std::vector<std::u16string> lines = ReadWideLines(f, 1024);
    fclose(f);
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    for (const std::u16string& line : lines) {
        ASSERT_EQ(line.size(), 701u);
        EXPECT_EQ(line, std::u16string(700, line[0]) + u"\n");
    }
}

// ---- units fgetwc owes ----------------------------------------------------------------

TEST_F(StreamConcurrency, OwedUnitsBelongToTheReadingThread) {
    // Two emoji: U+1F600 and U+1F601.
    FILE* f = OpenWith("\xF0\x9F\x98\x80\xF0\x9F\x98\x81", u"r");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(fgetwc(f), 0xD83D);
    WORD other[2] = {0, 0};
    std::thread reader([f, &other] {
        other[0] = fgetwc(f);
        other[1] = fgetwc(f);
    });
    reader.join();
    // The other thread does not get this thread's low surrogate: it reads on
    // from the stream.
    EXPECT_EQ(other[0], 0xD83D);
    EXPECT_EQ(other[1], 0xDE01);
    // The stream moved on under this thread: the unit it was owed no longer
    // belongs where the stream is.
    EXPECT_EQ(fgetwc(f), QWEOF);
    fclose(f);
}

TEST_F(StreamTest, OwedUnitsArePerStream) {
    FILE* a = OpenWith("\xF0\x9F\x98\x80\x61", u"r");
    FILE* b = OpenWith("\xF0\x9F\x98\x81\x62", u"r");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    // Reading the two in turn, as a compare does, loses neither's low half.
    std::u16string fromA, fromB;
    for (int i = 0; i < 3; i++) {
        fromA.push_back(fgetwc(a));
        fromB.push_back(fgetwc(b));
    }
    EXPECT_EQ(fromA, (std::u16string{0xD83D, 0xDE00, u'a'}));
    EXPECT_EQ(fromB, (std::u16string{0xD83D, 0xDE01, u'b'}));
    fclose(a);
    fclose(b);
}

TEST_F(StreamTest, MovingTheStreamDropsOwedUnits) {
    std::u16string pair = {0xD83D, 0xDE00};
    struct Row {
        const char* what;
        std::function<void(FILE*)> between;
        std::u16string rest;
    } rows[] = {
        {"nothing between: the low half comes next", [](FILE*) {}, {0xDE00, u'x', u'y', u'z'}},
        {"rewind", [](FILE* f) { rewind(f); }, pair + u"xyz"},
        {"seek to the y", [](FILE* f) { fseek(f, 5, SEEK_SET); }, u"yz"},
        {"a narrow read", [](FILE* f) { getc(f); }, u"yz"},
        {"fgetpos does not move it",
         [](FILE* f) {
             int64_t p = 0;
             fgetpos(f, &p);
         },
         {0xDE00, u'x', u'y', u'z'}},
    };
    for (const Row& r : rows) {
        FILE* f = OpenWith("\xF0\x9F\x98\x80xyz", u"r");
        ASSERT_NE(f, nullptr) << r.what;
        EXPECT_EQ(fgetwc(f), 0xD83D) << r.what;
        r.between(f);
        EXPECT_EQ(ReadUnits(f), r.rest) << r.what;
        fclose(f);
    }
}

TEST_F(StreamTest, FgetposStoresThePosition) {
    FILE* f = OpenWith("hello", u"r");
    ASSERT_NE(f, nullptr);
    int64_t position = -7;
    EXPECT_EQ(fgetpos(f, &position), 0);
    EXPECT_EQ(position, 0);
    getc(f);
    getc(f);
    EXPECT_EQ(fgetpos(f, &position), 0);
    EXPECT_EQ(position, 2);
    fclose(f);

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FILE* pipeStream = fdopen(fds[0], "r");
    ASSERT_NE(pipeStream, nullptr);
    position = -7;
    EXPECT_EQ(fgetpos(pipeStream, &position), -1);
    EXPECT_EQ(position, -7);
    fclose(pipeStream);
    close(fds[1]);
}

// ---- the standard streams ---------------------------------------------------------------

// Points a standard descriptor at a file for the scope, then puts it back.
class Redirect {
  public:
    Redirect(FILE* stream, const std::string& path, int flags) : stream_(stream) {
        fflush(stream_);
        fd_ = fileno(stream_);
        saved_ = dup(fd_); // -1 when the descriptor was closed to begin with
        int file = open(path.c_str(), flags, 0644);
        if (file >= 0 && file != fd_) {
            dup2(file, fd_);
            close(file);
        }
    }
    ~Redirect() {
        fflush(stream_);
        clearerr(stream_);
        if (saved_ >= 0) {
            dup2(saved_, fd_);
            close(saved_);
        } else {
            close(fd_);
        }
    }
    Redirect(const Redirect&) = delete;
    Redirect& operator=(const Redirect&) = delete;

  private:
    FILE* stream_;
    int fd_;
    int saved_;
};

TEST_F(StreamTest, StandardOutputIsATextStreamThatCanTurnBinary) {
    std::string out = dir.Sub("stdout");
    {
        Redirect redirect(stdout, out, O_WRONLY | O_CREAT | O_TRUNC);
        EXPECT_FALSE(StreamIsBinary(stdout));
        EXPECT_EQ(printf("%ld|%s|", 0xFFFFFFFFu, "n"), 5);
        EXPECT_EQ(wprintf(u"%s|", u"\u00e9\U0001F600"), 4);
        ASSERT_EQ(StreamSetMode(stdout, true), 0);
        EXPECT_EQ(wprintf(u"%s", u"\u00e9"), 1);
        EXPECT_EQ(StreamSetMode(stdout, false), 0);
    }
    EXPECT_EQ(qtest::ReadFile(out), "-1|n|\xC3\xA9\xF0\x9F\x98\x80|\xE9\x00"s);
}

TEST_F(StreamTest, StandardInputLinesLoseTheirCr) {
    std::string in = dir.Write("stdin", "first\r\n\xC3\xA9\r\n");
    {
        Redirect redirect(stdin, in, O_RDONLY);
        char buf[16];
        EXPECT_STREQ(fgets(buf, sizeof buf, stdin), "first\n");
        WCHAR wbuf[16];
        ASSERT_NE(fgetws(wbuf, 16, stdin), nullptr);
        EXPECT_EQ(std::u16string(wbuf), u"\u00e9\n");
        EXPECT_EQ(fgets(buf, sizeof buf, stdin), nullptr);
    }
}

// ---- libc's own stdio ------------------------------------------------------------------

TEST_F(StreamTest, LibcStdioKeepsItsOwnBehaviour) {
    dir.MakeDir("a");
    std::string mixed = dir.Sub("a\\b");
    // The layer's fopen takes the backslash as a separator; libc's keeps it
    // in the name.
    FILE* ours = fopen(mixed.c_str(), "w");
    ASSERT_NE(ours, nullptr);
    FILE* theirs = LibcFopen(mixed.c_str(), "w");
    ASSERT_NE(theirs, nullptr);
    // libc's fprintf reads %ls as 32-bit characters and %ld as 64 bits, even
    // on a stream the layer opened.
    EXPECT_EQ(LibcFprintfWideAndLong(ours), 18);
    EXPECT_EQ(fputws(u"\r\n", ours), 0);
    EXPECT_EQ(fclose(ours), 0);
    EXPECT_EQ(LibcFclose(theirs), 0);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("a/b")), "wide|1099511627776\r\n");
    EXPECT_EQ(::access(dir.Sub("a\\b").c_str(), F_OK), 0);

    // libc's fgets keeps CR LF on a text stream of the layer; the layer's
    // turns it into LF.
    ours = fopen(mixed.c_str(), "r");
    ASSERT_NE(ours, nullptr);
    char buf[64];
    ASSERT_NE(LibcFgets(buf, sizeof buf, ours), nullptr);
    EXPECT_STREQ(buf, "wide|1099511627776\r\n");
    rewind(ours);
    EXPECT_STREQ(fgets(buf, sizeof buf, ours), "wide|1099511627776\n");
    EXPECT_EQ(fclose(ours), 0);
}

} // namespace
