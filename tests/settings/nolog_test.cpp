// The never-log list: QNOLOG.INI in its three encodings found through the
// program search, the line rules as a table of (line, path, level), lines
// longer than the limit, and the switch that turns the list off.
#include "settings/folders.h"
#include "settings/nolog.h"
#include "qposix_path.h"
#include "windows.h"

#include "fixture.h"
#include "search_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Narrow(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out += c < 0x80 ? char(c) : '?';
    return out;
}

// The encodings of a fixture file. Only characters that code page 437 has
// are used, so that every encoding can hold the same text.
enum class Encoding { Utf8Bom, Utf16Le, Oem437 };

std::string Encode(Encoding encoding, const std::u16string& text) {
    std::string out;
    if (encoding == Encoding::Utf16Le) {
        out = "\xFF\xFE";
        for (char16_t c : text) {
            out += char(c & 0xFF);
            out += char(c >> 8);
        }
        return out;
    }
    if (encoding == Encoding::Utf8Bom) {
        out = "\xEF\xBB\xBF";
        for (char16_t c : text) {
            if (c < 0x80) {
                out += char(c);
            } else if (c < 0x800) {
                out += char(0xC0 | (c >> 6));
                out += char(0x80 | (c & 0x3F));
            } else {
                out += char(0xE0 | (c >> 12));
                out += char(0x80 | ((c >> 6) & 0x3F));
                out += char(0x80 | (c & 0x3F));
            }
        }
        return out;
    }
    for (char16_t c : text) {
        switch (c) {
        case u'\u00E9': out += '\x82'; break; // é
        case u'\u00DC': out += '\x9A'; break; // Ü
        case u'\u00F1': out += '\xA4'; break; // ñ
        default:
            EXPECT_LT(c, 0x80) << "no code page 437 byte for this fixture character";
            out += char(c);
        }
    }
    return out;
}

const char* EncodingName(Encoding e) {
    switch (e) {
    case Encoding::Utf8Bom: return "UTF-8";
    case Encoding::Utf16Le: return "UTF-16LE";
    case Encoding::Oem437: return "437";
    }
    return "?";
}

std::vector<std::u16string> Patterns(const NoLogList& list) {
    std::vector<std::u16string> out;
    for (LONG i = 0; i < list.count; i++) out.emplace_back(list.entries[i].pattern);
    return out;
}

// QNOLOG.INI in the data folder, where the program search finds it.
class NoLogTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    qtest::ScopedEnv home{"HOME", dir.path().c_str()};
    std::string bin = dir.MakeDir("bin");
    qtest::ScopedEnv path{"PATH", bin.c_str()};

    void SetUp() override {
        qtest::PointSearchFolders(dir);
        NoLogListFree(&gNoLogList);
        gNoLogList.count = 0;
    }
    void TearDown() override {
        NoLogListFree(&gNoLogList);
        gNoLogList.count = 0;
    }
    void WriteIni(const std::string& bytes) { dir.Write("data/QNOLOG.INI", bytes); }
};

TEST_F(NoLogTest, EachEncodingGivesTheSameEntries) {
    const std::u16string text = u"; directories never logged\r\n"
                                u"\\Caf\u00E9\r\n"
                                u"\u00DCbung\r\n"
                                u"C:\\src\\**\\obj\r\n"
                                u"*\\Ma\u00F1ana\\  \r\n"
                                u"C:\\last";
    const std::vector<std::u16string> expected = {
        u"*:\\Caf\u00E9", u"\u00DCbung", u"C:\\src\\**\\obj", u"C:\\src\\obj",
        u"*:\\*\\Ma\u00F1ana", u"C:\\last"};
    for (Encoding e : {Encoding::Utf8Bom, Encoding::Utf16Le, Encoding::Oem437}) {
        SCOPED_TRACE(EncodingName(e));
        WriteIni(Encode(e, text));
        EXPECT_EQ(LoadNoLogList(), 6);
        EXPECT_EQ(Patterns(gNoLogList), expected);
        ASSERT_EQ(gNoLogList.count, 6);
        const NoLogEntry* entries = gNoLogList.entries;
        EXPECT_EQ(entries[0].depth, 1u);
        EXPECT_TRUE(entries[1].nameOnly);
        EXPECT_TRUE(entries[2].deep && entries[3].deep);
        EXPECT_EQ(entries[2].depth, 0u);
        EXPECT_EQ(entries[4].depth, 2u);
        // The characters beyond ASCII arrive as themselves.
        EXPECT_EQ(IsNoLogPath(1, u"D:\\caf\u00C9"), 1);
        EXPECT_EQ(IsNoLogPath(3, u"E:\\x\\y\\\u00FCbung"), 1);
        EXPECT_EQ(IsNoLogPath(2, u"E:\\x\\ma\u00F1ana"), 1);
        EXPECT_EQ(IsNoLogPath(1, u"D:\\Cafe"), 0);
    }
}

TEST_F(NoLogTest, WithoutAByteOrderMarkUtf8BytesReadAsCodePage437) {
    // "é" written as UTF-8 but without the mark: the two bytes are two
    // characters of code page 437.
    WriteIni("\\Caf\xC3\xA9\n");
    ASSERT_EQ(LoadNoLogList(), 1);
    EXPECT_EQ(Patterns(gNoLogList), std::vector<std::u16string>{u"*:\\Caf\u251C\u2310"});
    EXPECT_EQ(IsNoLogPath(1, u"C:\\Caf\u00E9"), 0);
}

TEST_F(NoLogTest, ReloadReplacesTheEntriesAndAMissingFileGivesNone) {
    WriteIni("one\ntwo\n");
    EXPECT_EQ(LoadNoLogList(), 2);
    WriteIni("three\n");
    EXPECT_EQ(LoadNoLogList(), 1);
    EXPECT_EQ(Patterns(gNoLogList), std::vector<std::u16string>{u"three"});
    EXPECT_EQ(IsNoLogPath(1, u"C:\\one"), 0);
    std::remove(dir.Sub("data/QNOLOG.INI").c_str());
    EXPECT_EQ(LoadNoLogList(), 0);
    EXPECT_EQ(gNoLogList.count, 0);
    EXPECT_EQ(IsNoLogPath(1, u"C:\\three"), 0);
}

TEST_F(NoLogTest, ADirectoryAtTheNameIsNoFile) {
    dir.MakeDir("data/QNOLOG.INI");
    EXPECT_EQ(LoadNoLogList(), 0);
}

TEST_F(NoLogTest, TheSwitchTurnsTheListOffForTheSession) {
    WriteIni("\\Windows\nnode_modules\n");
    ASSERT_EQ(LoadNoLogList(), 2);
    DisableNoLogList();
    EXPECT_EQ(gNoLogList.count, -1);
    EXPECT_EQ(IsNoLogPath(1, u"C:\\Windows"), 0);
    // Later loads (after the configuration program) read nothing either.
    EXPECT_EQ(LoadNoLogList(), 0);
    EXPECT_EQ(gNoLogList.count, -1);
    EXPECT_EQ(gNoLogList.entries, nullptr);
    EXPECT_EQ(IsNoLogPath(2, u"C:\\x\\node_modules"), 0);
}

TEST_F(NoLogTest, SwitchedOffBeforeTheFirstLoadNothingIsRead) {
    // A file that would exclude the path is there, but is never read.
    WriteIni("\\Windows\n");
    DisableNoLogList();
    EXPECT_EQ(LoadNoLogList(), 0);
    EXPECT_EQ(IsNoLogPath(1, u"C:\\Windows"), 0);
}

// One line of the file, a directory path with its level, and whether the
// directory is left out.
struct LineCase {
    const char* what;
    const char16_t* line;
    const char16_t* path;
    DWORD level;
    int excluded;
};

const LineCase kLineCases[] = {
    {"a backslash and a name: that name in every root", u"\\Windows", u"D:\\Windows", 1, 1},
    {"... compared without case", u"\\Windows", u"c:\\WINDOWS", 1, 1},
    {"... not below the root", u"\\Windows", u"C:\\a\\Windows", 2, 0},
    {"only a name: at any depth", u"node_modules", u"C:\\p\\q\\node_modules", 3, 1},
    {"... in the root too", u"node_modules", u"C:\\node_modules", 1, 1},
    {"... the whole last component", u"node_modules", u"C:\\node_modules2", 1, 0},
    {"... not an ancestor", u"node_modules", u"C:\\node_modules\\x", 2, 0},
    {"a name with wildcards", u"*.tmp", u"C:\\work\\build.tmp", 2, 1},
    {"a drive path", u"C:\\Temp", u"C:\\Temp", 1, 1},
    {"... only on its drive", u"C:\\Temp", u"D:\\Temp", 1, 0},
    {"... only at its level", u"C:\\Temp", u"C:\\Temp", 2, 0},
    {"a star matches one component only", u"C:\\*\\cache", u"C:\\a\\b\\cache", 3, 0},
    {"... and that one", u"C:\\*\\cache", u"C:\\a\\cache", 2, 1},
    {"a line beginning with * gets *:\\ in front", u"*\\cache", u"F:\\x\\cache", 2, 1},
    {"*: with a backslash", u"*:\\Temp", u"G:\\temp", 1, 1},
    {"*: without a backslash is ignored", u"*:Temp", u"G:\\Temp", 1, 0},
    {"**: directly inside", u"C:\\src\\**\\obj", u"C:\\src\\obj", 2, 1},
    {"**: one level down", u"C:\\src\\**\\obj", u"C:\\src\\a\\obj", 3, 1},
    {"**: many levels down", u"C:\\src\\**\\obj", u"C:\\src\\a\\b\\c\\obj", 5, 1},
    {"**: not outside its directory", u"C:\\src\\**\\obj", u"C:\\other\\obj", 2, 0},
    {"**: the level does not matter", u"C:\\src\\**\\obj", u"C:\\src\\a\\obj", 9, 1},
    {"** without a backslash after it is ignored", u"C:\\src\\**obj", u"C:\\src\\obj", 2, 0},
    {"... nor a name with **", u"a**b", u"C:\\axxb", 1, 0},
    {"... ** at the end", u"C:\\src\\**", u"C:\\src\\x", 2, 0},
    {"a comment, even with a path", u";C:\\Temp", u"C:\\Temp", 1, 0},
    {"... and as a name", u";Temp", u";Temp", 0, 0},
    {"trailing blanks are removed", u"C:\\Temp   ", u"C:\\Temp", 1, 1},
    {"one trailing backslash is removed", u"C:\\Temp\\", u"C:\\Temp", 1, 1},
    {"blanks, then the backslash", u"C:\\Temp\\  ", u"C:\\Temp", 1, 1},
    {"a carriage return ends the line", u"C:\\Temp\rC:\\x", u"C:\\Temp", 1, 1},
    {"... the rest is no pattern", u"C:\\Temp\rC:\\x", u"C:\\x", 1, 0},
    {"a lone backslash names nothing", u"\\", u"C:\\", 1, 0},
    {"blanks only name nothing", u"   ", u"C:\\   ", 1, 0},
    {"an empty line is nothing", u"", u"C:\\", 1, 0},
};

TEST(NoLogLines, LineRules) {
    for (const LineCase& c : kLineCases) {
        SCOPED_TRACE(c.what);
        NoLogList list{};
        const std::u16string line = c.line;
        NoLogListAddLine(&list, line.data(), line.size());
        EXPECT_EQ(NoLogListMatches(&list, c.level, c.path), c.excluded)
            << Narrow(c.line) << " against " << Narrow(c.path);
        NoLogListFree(&list);
    }
}

TEST(NoLogLines, TheFirstMatchingEntryDecidesAndNoneMeansLogged) {
    NoLogList list{};
    NoLogListParse(&list, reinterpret_cast<const BYTE*>("C:\\a\\b\nlib\n"), 11);
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(NoLogListMatches(&list, 2, u"C:\\a\\b"), 1);
    EXPECT_EQ(NoLogListMatches(&list, 3, u"C:\\a\\b\\lib"), 1);
    EXPECT_EQ(NoLogListMatches(&list, 2, u"C:\\a\\c"), 0);
    NoLogListFree(&list);
    EXPECT_EQ(NoLogListMatches(&list, 2, u"C:\\a\\b"), 0);
}

// A line longer than the limit is passed over whole, in every encoding: its
// tail must not come back as a line of its own ("secret", a name that
// would exclude every directory so named).
TEST(NoLogLines, ALineLongerThanTheLimitIsIgnoredWhole) {
    const std::u16string longHead = u"C:\\" + std::u16string(NOLOG_LINE_UNITS - 3, u'x');
    ASSERT_EQ(longHead.size(), NOLOG_LINE_UNITS);
    const std::u16string tooLong = longHead + u"secret";
    const std::u16string justFits = u"C:\\" + std::u16string(NOLOG_LINE_UNITS - 3, u'y');
    for (Encoding e : {Encoding::Utf8Bom, Encoding::Utf16Le, Encoding::Oem437}) {
        SCOPED_TRACE(EncodingName(e));
        const std::string bytes =
            Encode(e, u"first\r\n" + tooLong + u"\r\n" + justFits + u"\r\nlast\r\n");
        NoLogList list{};
        NoLogListParse(&list, reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
        EXPECT_EQ(Patterns(list), (std::vector<std::u16string>{u"first", justFits, u"last"}));
        EXPECT_EQ(NoLogListMatches(&list, 1, u"C:\\secret"), 0);
        EXPECT_EQ(NoLogListMatches(&list, 1, justFits.c_str()), 1);
        EXPECT_EQ(NoLogListMatches(&list, 1, longHead.c_str()), 0);
        NoLogListFree(&list);
    }
}

TEST(NoLogLines, AnOddLastByteOfUtf16IsNoCharacter) {
    const std::string bytes = std::string("\xFF\xFE", 2) + std::string("a\0b\0", 4) + "c";
    NoLogList list{};
    NoLogListParse(&list, reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
    EXPECT_EQ(Patterns(list), std::vector<std::u16string>{u"ab"});
    NoLogListFree(&list);
}

} // namespace
