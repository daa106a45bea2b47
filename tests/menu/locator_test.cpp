// The program locator: program parts of command lines, the order of the
// places searched (with real files in each), what is never found, the
// search lists, LocateFile and the %NAME% expansion.
#include "menu/locator.h"
#include "internal/console.h"
#include "settings/folders.h"
#include "settings/quit.h"
#include "windows.h"
#include "qposix_path.h"

#include "fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>

namespace {

std::u16string WinPath(const std::string& posix) {
    WCHAR out[1025];
    int n = PathFromPosix(posix.c_str(), out, 1025);
    return n < 0 ? std::u16string() : std::u16string(out);
}

std::u16string OrNone(const WCHAR* s) {
    return s ? std::u16string(s) : u"(none)";
}

void SetWide(WCHAR* out, size_t units, const std::u16string& s) {
    ASSERT_LT(s.size(), units);
    std::copy(s.begin(), s.end(), out);
    out[s.size()] = 0;
}

TEST(ExtractProgramPart, CommandLines) {
    struct Case {
        const char* what;
        std::u16string line;
        std::u16string part;
    } cases[] = {
        {"a name alone", u"vim", u"vim"},
        {"an option ends the name", u"vim -f %1", u"vim"},
        {"a parameter ends the name", u"edit %1", u"edit"},
        {"a path argument ends the name", u"edit \\tmp\\x", u"edit"},
        {"other words belong to the name", u"my prog arg", u"my prog arg"},
        {"an extension ends at the blank", u"tool.exe arg", u"tool.exe"},
        {"START and an empty title are skipped", u"START \"\" tool.exe arg", u"tool.exe"},
        {"START in any case", u"start tool.exe", u"tool.exe"},
        {"a line with a slash keeps START", u"START /WAIT tool.exe", u"START /WAIT tool.exe"},
        {"a quoted name keeps its blanks", u"\"C:\\My Tools\\t x.sh\" -a", u"C:\\My Tools\\t x.sh"},
        {"an unclosed quote runs to the end", u"\"C:\\a b", u"C:\\a b"},
        {"a blank inside a folder name", u"C:\\Program Files\\x.exe arg",
         u"C:\\Program Files\\x.exe"},
        {"a backslash leaves the extension", u"C:\\a.d\\b c\\x.exe y", u"C:\\a.d\\b c\\x.exe"},
        {"two dots end the name at the first", u"abcd.. x", u"abcd"},
        {"a second extension", u"arch.tar.gz list", u"arch.tar.gz"},
        {"an extension far before the blank is not seen", u"x.longext y", u"x.longext y"},
        {"an empty line", u"", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WCHAR out[LOCATOR_NAME_UNITS];
        EXPECT_TRUE(ExtractProgramPart(c.line.c_str(), out, LOCATOR_NAME_UNITS));
        EXPECT_EQ(std::u16string(out), c.part);
    }
    WCHAR small[4];
    EXPECT_FALSE(ExtractProgramPart(u"toolong", small, 4));
    EXPECT_EQ(small[0], 0);
}

// A tree of the places the locator searches, each a folder of its own, with
// the process in the "cur" folder.
class LocatorTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    char saved[4096] = {};
    qtest::ScopedEnv path{"PATH", dir.MakeDir("path").c_str()};
    qtest::ScopedEnv dpath{"DPATH", dir.MakeDir("dpath").c_str()};
    qtest::ScopedEnv xpath{"XPATH", dir.MakeDir("xpath").c_str()};

    void SetUp() override {
        ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
        ASSERT_EQ(::chdir(dir.MakeDir("cur").c_str()), 0);
        SetWide(gStartDir, FOLDER_UNITS, WinPath(dir.MakeDir("start")) + u"\\");
        SetWide(gDataDir, FOLDER_UNITS, WinPath(dir.MakeDir("data")) + u"\\");
        SetWide(gProgramDir, FOLDER_UNITS, WinPath(dir.MakeDir("prog")) + u"\\");
        SetWide(gProgramFilesDir, FOLDER_UNITS, WinPath(dir.Sub("pf")));
        SetWide(gToolsDir, 512, WinPath(dir.MakeDir("tools")));
    }
    void TearDown() override { ASSERT_EQ(::chdir(saved), 0); }

    // A plain file (not a program) at folder/name.
    std::u16string File(const std::string& folder, const std::string& name) {
        return WinPath(dir.Write(folder + "/" + name, "data\n"));
    }
    std::u16string Program(const std::string& folder, const std::string& name) {
        std::string p = dir.Write(folder + "/" + name, "#!/bin/sh\n");
        ::chmod(p.c_str(), 0755);
        return WinPath(p);
    }
    std::u16string Where(const std::string& folder, const std::string& name) {
        return WinPath(dir.Sub(folder + "/" + name));
    }
};

TEST_F(LocatorTest, PlacesInTheirOrder) {
    const char* places[] = {"start", "cur", "data", "prog", "tools", "path", "dpath", "xpath"};
    // Each row puts the file in the places from the named one onward; the
    // named one must win.
    for (size_t first = 0; first < std::size(places); first++) {
        SCOPED_TRACE(places[first]);
        std::string name = std::string("qt-target-") + places[first];
        for (size_t i = first; i < std::size(places); i++)
            File(places[i], name);
        std::u16string wide(name.begin(), name.end());
        EXPECT_EQ(OrNone(FindProgram(wide.c_str())), Where(places[first], name));
    }
    EXPECT_EQ(FindProgram(u"qt-target-nowhere"), nullptr);
}

TEST_F(LocatorTest, DataFolderFirstWhenStartedInTheProgramFilesFolder) {
    SetWide(gProgramFilesDir, FOLDER_UNITS, WinPath(dir.Sub("START")));
    File("start", "qt-both");
    File("data", "qt-both");
    EXPECT_EQ(OrNone(FindProgram(u"qt-both")), Where("data", "qt-both"));
    SetWide(gProgramFilesDir, FOLDER_UNITS, u"");
    EXPECT_EQ(OrNone(FindProgram(u"qt-both")), Where("start", "qt-both"));
}

TEST_F(LocatorTest, ProgramsPlacedInTheStartAndBrowsedFoldersAreNotRun) {
    Program("start", "qt-editor");
    Program("cur", "qt-editor");
    std::u16string real = Program("path", "qt-editor");
    EXPECT_EQ(OrNone(FindProgram(u"qt-editor -f %1")), real);

    Program("cur", "qt-only-here");
    EXPECT_EQ(FindProgram(u"qt-only-here"), nullptr);

    // A program of the user's own folders is found there.
    std::u16string own = Program("data", "qt-own");
    Program("path", "qt-own");
    EXPECT_EQ(OrNone(FindProgram(u"qt-own")), own);

    // The program's own files are still found where it was started.
    std::u16string settings = File("cur", "QT.INI");
    EXPECT_EQ(OrNone(FindProgram(u"QT.INI")), settings);
}

TEST_F(LocatorTest, WhatIsNeverFound) {
    // A directory of the name is passed over.
    dir.MakeDir("data/qt-dir");
    std::u16string file = File("path", "qt-dir");
    EXPECT_EQ(OrNone(FindProgram(u"qt-dir")), file);

    // A name with a backslash is not searched along the lists.
    File("path/sub", "qt-sub");
    EXPECT_EQ(FindProgram(u"sub\\qt-sub"), nullptr);
    std::u16string inData = File("data/sub", "qt-sub");
    EXPECT_EQ(OrNone(FindProgram(u"sub\\qt-sub")), inData);

    // A full name is taken as it stands, and nowhere else.
    std::u16string full = File("elsewhere", "qt-full");
    EXPECT_EQ(OrNone(FindProgram((full + u" -x").c_str())), full);
    File("path", "qt-missing");
    EXPECT_EQ(FindProgram((WinPath(dir.Sub("elsewhere")) + u"\\qt-missing").c_str()), nullptr);

    // A program part too long to look for is not looked for cut: the file
    // its first 259 units name is not taken for it.
    const std::string folder(200, 'f');
    const std::string cut = folder + "/" + std::string(LOCATOR_NAME_UNITS - 2 - 200, 'n');
    File("data", cut);
    std::u16string longName = std::u16string(folder.begin(), folder.end()) + u"\\" +
                              std::u16string(LOCATOR_NAME_UNITS - 2 - 200, 'n') + u"tail";
    ASSERT_EQ(longName.size(), LOCATOR_NAME_UNITS + 3);
    EXPECT_EQ(FindProgram(longName.c_str()), nullptr);
    EXPECT_EQ(OrNone(FindProgram(longName.substr(0, LOCATOR_NAME_UNITS - 1).c_str())),
              Where("data", cut));

    EXPECT_EQ(FindProgram(nullptr), nullptr);
    EXPECT_EQ(FindProgram(u""), nullptr);
}

TEST_F(LocatorTest, CommandLineForms) {
    std::u16string tool = File("path", "qt-tool.exe");
    std::u16string spaced = File("data", "qt my tool");
    EXPECT_EQ(OrNone(FindProgram(u"START \"\" qt-tool.exe arg")), tool);
    EXPECT_EQ(OrNone(FindProgram(u"\"qt my tool\" arg")), spaced);
}

TEST_F(LocatorTest, LocateFile) {
    const WCHAR* absolute = u"Z:\\qt-nowhere\\x.ini";
    EXPECT_EQ(LocateFile(absolute), absolute);
    std::u16string spaced = File("data", "qt my file.ini");
    EXPECT_EQ(OrNone(LocateFile(u"qt my file.ini")), spaced);
    std::u16string plain = File("tools", "qt-plain.ini");
    EXPECT_EQ(OrNone(LocateFile(u"qt-plain.ini")), plain);
    EXPECT_EQ(LocateFile(u"qt-absent.ini"), nullptr);
    EXPECT_EQ(LocateFile(nullptr), nullptr);
}

TEST_F(LocatorTest, LocateFileNarrow) {
    std::u16string found = File("data", "qt-caf\xC3\xA9.ini");
    const char* narrow = LocateFileA("qt-caf\xE9.ini"); // e-acute in Windows-1252
    ASSERT_NE(narrow, nullptr);
    char expected[LOCATOR_NARROW_RESULT_BYTES];
    ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, found.c_str(), -1, expected, sizeof expected, nullptr,
                                  nullptr),
              0);
    EXPECT_STREQ(narrow, expected);
    EXPECT_EQ(LocateFileA("qt-absent.ini"), nullptr);
}

TEST_F(LocatorTest, SearchLists) {
    std::string a = dir.MakeDir("lists/a");
    std::string b = dir.MakeDir("lists/b");
    dir.MakeDir("cur/rel");
    File("cur/rel", "qt-item");
    File("lists/b", "qt-item");
    dir.MakeDir("lists/a/qt-item");
    struct Case {
        const char* what;
        bool set;
        std::string value;
        std::u16string expected;
    } cases[] = {
        {"not set", false, "", u"(none)"},
        {"empty", true, "", u"(none)"},
        {"the first element that holds the file", true, a + ":" + b, Where("lists/b", "qt-item")},
        {"empty and relative elements are skipped", true, "::rel:.:" + b,
         Where("lists/b", "qt-item")},
        {"only relative elements", true, "rel:.", u"(none)"},
        {"quoted elements", true, "\"" + b + "\"", Where("lists/b", "qt-item")},
        {"a trailing slash", true, b + "/", Where("lists/b", "qt-item")},
        {"a directory of the name is no file", true, a, u"(none)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qtest::ScopedEnv list{"QT_LIST", c.set ? c.value.c_str() : nullptr};
        EXPECT_EQ(OrNone(SearchPathList(u"QT_LIST", u"qt-item")), c.expected);
    }
}

TEST(ExpandEnvVars, References) {
    qtest::ScopedEnv set{"QT_EEV", "value"};
    qtest::ScopedEnv empty{"QT_EEV_EMPTY", ""};
    qtest::ScopedEnv unset{"QT_EEV_UNSET", nullptr};
    struct Case {
        const char* what;
        std::u16string in;
        std::u16string out;
        int result;
    } cases[] = {
        {"no reference", u"plain text", u"plain text", 0},
        {"a set variable", u"a%QT_EEV%b", u"avalueb", 1},
        {"an empty variable gives nothing", u"a%QT_EEV_EMPTY%b", u"ab", 1},
        {"an unset variable stays as written", u"a%QT_EEV_UNSET%b", u"a%QT_EEV_UNSET%b", 0},
        {"a name with a blank is no reference", u"50% off %QT_EEV%", u"50% off value", 1},
        {"an empty name is no reference", u"100%%", u"100%%", 0},
        {"a lone % at the end", u"5%", u"5%", 0},
        {"references one after another", u"%QT_EEV%%QT_EEV%", u"valuevalue", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WCHAR out[64];
        EXPECT_EQ(ExpandEnvVars(out, 64, c.in.c_str()), c.result);
        EXPECT_EQ(std::u16string(out), c.out);
    }
    WCHAR small[8];
    EXPECT_EQ(ExpandEnvVars(small, 8, u"%QT_EEV%%QT_EEV%"), -1);
    EXPECT_EQ(std::u16string(small), u"valueva");
}

TEST(LocatorMemory, ABufferThatCannotBeHadEndsTheProgram) {
    // Run in a fresh copy of the test program, without a terminal; the fatal
    // message goes to standard output, joined here to the error stream.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    qtest::ScopedEnv list{"QT_MEM_LIST", "/nowhere:/nothing"};
    const struct {
        const char* function;
        std::function<void()> run;
    } kCases[] = {
        {"SearchPathList", [] { SearchPathList(u"QT_MEM_LIST", u"qt-item"); }},
        {"ExpandEnvVars",
         [] {
             WCHAR out[64];
             ExpandEnvVars(out, 64, u"a%QT_MEM_LIST%b");
         }},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.function);
        EXPECT_EXIT(
            {
                ConsoleTestUseTerminal("/dev/null/no-terminal");
                fflush(stdout);
                if (dup2(2, 1) < 0) std::abort();
                CheckedAllocFailAt(1);
                c.run();
                std::fputs("came back\n", stderr);
                std::_Exit(0);
            },
            ::testing::ExitedWithCode(255),
            std::string("^\nFatal Memory error in module: locator at line: [0-9]+ : ") +
                c.function + "\n");
    }
}

} // namespace
