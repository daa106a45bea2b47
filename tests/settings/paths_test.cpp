// Full paths from typed and configured text (MakeFullPath) and commands
// whose program is resolved to a full path (ResolveProgramCmd).
#include "settings/folders.h"
#include "settings/paths.h"
#include "windows.h"
#include "qposix_path.h"

#include "fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

std::u16string WinPath(const std::string& posix) {
    WCHAR out[1025];
    int n = PathFromPosix(posix.c_str(), out, 1025);
    return n < 0 ? std::u16string() : std::u16string(out);
}

std::string Narrow(const std::u16string& s) {
    return std::string(s.begin(), s.end());
}

void SetWide(WCHAR* out, size_t units, const std::u16string& s) {
    ASSERT_LT(s.size(), units);
    std::copy(s.begin(), s.end(), out);
    out[s.size()] = 0;
}

// The path a pane last showed on D:; other disks are not logged.
const WCHAR* ShownOnD(WCHAR letter) {
    return letter == 'D' ? u"D:\\shown\\here" : nullptr;
}

PathContext Context(const std::u16string& currentDir, WCHAR drive = 0,
                    const WCHAR* (*shown)(WCHAR) = ShownOnD) {
    PathContext context{};
    SetWide(context.currentDir, FULL_PATH_UNITS, currentDir);
    context.currentDrive = drive;
    context.lastPanePath = shown;
    return context;
}

TEST(MakeFullPath, Forms) {
    qtest::ScopedEnv dirVar{"QT_MFP_DIR", "C:\\env dir"};
    qtest::ScopedEnv emptyVar{"QT_MFP_EMPTY", ""};
    struct Case {
        const char* what;
        std::u16string in;
        std::u16string out;
        int result;
    } cases[] = {
        {"a server path is kept", u"\\\\server\\share\\..\\x", u"\\\\server\\share\\..\\x", 0},
        {"a full path is kept", u"C:\\a\\b", u"C:\\a\\b", 0},
        {"a bare name is kept", u"name.txt", u"name.txt", 0},
        {"a drive alone is full", u"E:", u"E:", 0},
        {"a drive root is full", u"E:\\", u"E:\\", 0},
        {"dot-backslash joins the current directory", u".\\name", u"C:\\work\\dir\\name", 1},
        {"dot-dot-backslash goes up from it", u"..\\name", u"C:\\work\\name", 1},
        {"a relative path with a backslash joins it", u"sub\\name", u"C:\\work\\dir\\sub\\name", 1},
        {"a rooted path gets the current drive", u"\\top\\x", u"C:\\top\\x", 1},
        {"a parent step removes the component before it", u"C:\\a\\b\\..\\c", u"C:\\a\\c", 1},
        {"parent steps one after another", u"C:\\a\\b\\c\\..\\..\\d", u"C:\\a\\d", 1},
        {"a parent step at the end", u"C:\\a\\b\\..", u"C:\\a", 1},
        {"the root is never removed", u"C:\\a\\..\\..\\x", u"C:\\..\\x", 1},
        {"a step right after the root stays", u"C:\\..\\x", u"C:\\..\\x", 0},
        {"going up to the root keeps its backslash", u"C:\\a\\..", u"C:\\", 1},
        {"three dots are a name", u"C:\\a\\...\\b", u"C:\\a\\...\\b", 0},
        {"two dots and more are a name", u"C:\\a\\..b\\c", u"C:\\a\\..b\\c", 0},
        {"a drive-relative path on a logged disk", u"D:rel\\x", u"D:\\shown\\here\\rel\\x", 1},
        {"a drive-relative path on another disk", u"E:rel", u"E:\\rel", 1},
        {"quotes are dropped and the text cut", u"\"C:\\My Dir\\f\" -x", u"C:\\My Dir\\f", 1},
        {"an unclosed quote runs to the end", u"\"C:\\My Dir\\f", u"C:\\My Dir\\f", 1},
        {"variables are expanded", u"%QT_MFP_DIR%\\x", u"C:\\env dir\\x", 1},
        {"an empty variable vanishes", u"C:\\a%QT_MFP_EMPTY%\\b", u"C:\\a\\b", 1},
        {"expanded text is completed too", u"%QT_MFP_EMPTY%.\\x", u"C:\\work\\dir\\x", 1},
    };
    PathContext context = Context(u"C:\\work\\dir");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WCHAR out[FULL_PATH_UNITS];
        EXPECT_EQ(MakeFullPathIn(context, out, c.in.c_str()), c.result);
        EXPECT_EQ(std::u16string(out), c.out);
    }
}

TEST(MakeFullPath, ContextOfTheCurrentDisk) {
    struct Case {
        const char* what;
        PathContext context;
        std::u16string in;
        std::u16string out;
    } cases[] = {
        {"the current disk's letter wins over the directory's", Context(u"C:\\w", 'F'), u"\\x",
         u"F:\\x"},
        {"at a root the join adds no second backslash", Context(u"C:\\"), u".\\x", u"C:\\x"},
        {"a directory under no drive letter leaves a rooted path", Context(u"\\home\\u"), u"\\x",
         u"\\x"},
        {"a directory under no drive letter still completes", Context(u"\\home\\u"), u"..\\v\\x",
         u"\\home\\v\\x"},
        {"without a current directory relative forms stay", Context(u""), u".\\x", u".\\x"},
        {"without a tree a drive-relative path takes the root", Context(u"C:\\w", 0, nullptr),
         u"D:rel", u"D:\\rel"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WCHAR out[FULL_PATH_UNITS];
        MakeFullPathIn(c.context, out, c.in.c_str());
        EXPECT_EQ(std::u16string(out), c.out);
    }
}

TEST(MakeFullPath, ResultsThatDoNotFitAreRefused) {
    PathContext context = Context(u"C:\\work");
    WCHAR out[FULL_PATH_UNITS];
    std::u16string longName(1020, 'n');
    EXPECT_EQ(MakeFullPathIn(context, out, (u"C:\\" + longName).c_str()), 0);
    // Joined to the current directory it no longer fits: refused, never cut.
    EXPECT_EQ(MakeFullPathIn(context, out, (u".\\" + longName).c_str()), -1);
    EXPECT_EQ(out[0], 0);
    std::u16string huge(1100, 'h');
    qtest::ScopedEnv hugeVar{"QT_MFP_HUGE", Narrow(huge).c_str()};
    EXPECT_EQ(MakeFullPathIn(context, out, u"C:\\%QT_MFP_HUGE%"), -1);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(MakeFullPathIn(context, out, nullptr), -1);
}

class ProcessDirTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    char saved[4096] = {};
    void SetUp() override {
        ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
        ASSERT_EQ(::chdir(dir.MakeDir("cur").c_str()), 0);
    }
    void TearDown() override { ASSERT_EQ(::chdir(saved), 0); }
};

TEST_F(ProcessDirTest, MakeFullPathUsesTheProcessDirectory) {
    WCHAR out[FULL_PATH_UNITS];
    EXPECT_EQ(MakeFullPath(out, u".\\x"), 1);
    EXPECT_EQ(std::u16string(out), WinPath(dir.Sub("cur/x")));
}

TEST_F(ProcessDirTest, MakeFullPathInCodePage437) {
    char out[FULL_PATH_UNITS];
    // 0x82 is e-acute in code page 437 and comes back as the same byte.
    EXPECT_EQ(MakeFullPathA(out, "C:\\a\\caf\x82\\..\\b\x82"), 1);
    EXPECT_STREQ(out, "C:\\a\\b\x82");
    EXPECT_EQ(MakeFullPathA(out, ".\\x"), 1);
    EXPECT_EQ(std::string(out), Narrow(WinPath(dir.Sub("cur/x"))));
    EXPECT_EQ(MakeFullPathA(out, "C:\\plain"), 0);
    EXPECT_STREQ(out, "C:\\plain");
    // A value the code page cannot show is refused, not turned into '?'.
    qtest::ScopedEnv cyrillic{"QT_MFP_CYRILLIC", "\xD0\x96"};
    EXPECT_EQ(MakeFullPathA(out, "C:\\%QT_MFP_CYRILLIC%"), -1);
    EXPECT_STREQ(out, "");
}

// ---- ResolveProgramCmd ------------------------------------------------------------

class ResolveTest : public ProcessDirTest {
  protected:
    std::string bin = dir.MakeDir("bin");
    std::string spaced = dir.MakeDir("my bin");
    qtest::ScopedEnv path{"PATH", bin.c_str()};
    qtest::ScopedEnv binVar{"QT_RPC_BIN", Narrow(WinPath(bin)).c_str()};

    void SetUp() override {
        ProcessDirTest::SetUp();
        SetWide(gProgramDir, FOLDER_UNITS, WinPath(dir.MakeDir("prog")) + u"\\");
        SetWide(gDataDir, FOLDER_UNITS, WinPath(dir.MakeDir("data")) + u"\\");
        SetWide(gStartDir, FOLDER_UNITS, WinPath(dir.MakeDir("start")) + u"\\");
        SetWide(gProgramFilesDir, FOLDER_UNITS, u"C:\\qt-no-program-files");
        gToolsDir[0] = 0;
    }
    std::string Program(const std::string& relative) {
        std::string p = dir.Write(relative, "#!/bin/sh\n");
        ::chmod(p.c_str(), 0755);
        return Narrow(WinPath(p));
    }
};

TEST_F(ResolveTest, Commands) {
    const std::string edit = Program("bin/qedit");
    const std::string script = Program("bin/qview.sh");
    const std::string tool = Program("prog/tools/qtool");
    const std::string spacedTool = Program("my bin/my tool");
    struct Case {
        const char* what;
        std::string in;
        std::string out;
        std::string program; // empty: not found
    } cases[] = {
        {"a program and its arguments", "qedit -f %1", edit + " -f %1", edit},
        {"a program alone", "qedit", edit, edit},
        {"START is kept in front", "START qedit -f", "START " + edit + " -f", edit},
        {"start in any case", "start qedit %1", "START " + edit + " %1", edit},
        {"[SFN] cuts the rest and asks for short names", "qedit [SFN] -x", edit + " %8", edit},
        {"[LFN] cuts the rest", "qedit -y [LFN] -x", edit + " -y", edit},
        {"a program missing with [SFN] still ends in %8", "qt-nosuch [SFN] -x", "qt-nosuch %8", ""},
        {"a program missing keeps the command", "qt-nosuch -x %1", "qt-nosuch -x %1", ""},
        {"words after a script's name stay arguments", "qview.sh notes.txt", script + " notes.txt",
         script},
        {"..\\ is the program directory", "..\\tools\\qtool -a", tool + " -a", tool},
        {"a variable names the folder", "%QT_RPC_BIN%\\qedit -x", edit + " -x", edit},
        {"a quoted program with a blank keeps its quotes and arguments",
         "\"" + Narrow(WinPath(spaced)) + "\\my tool\" two words",
         "\"" + spacedTool + "\" two words", spacedTool},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        char cmd[256];
        std::strcpy(cmd, c.in.c_str());
        const char* program = ResolveProgramCmd(cmd, sizeof cmd);
        EXPECT_EQ(std::string(cmd), c.out);
        EXPECT_EQ(program ? std::string(program) : std::string(), c.program);
    }
}

TEST_F(ResolveTest, CommandsThatWouldNotFitAreLeftAlone) {
    Program("bin/qedit");
    char cmd[16] = "qedit -f";
    EXPECT_EQ(ResolveProgramCmd(cmd, sizeof cmd), nullptr);
    EXPECT_STREQ(cmd, "qedit -f");
    char missing[8] = "qx[SFN]";
    EXPECT_EQ(ResolveProgramCmd(missing, 6), nullptr); // size smaller than the text
    EXPECT_STREQ(missing, "qx[SFN]");
    char empty[4] = "";
    EXPECT_EQ(ResolveProgramCmd(empty, sizeof empty), nullptr);
    EXPECT_EQ(ResolveProgramCmd(nullptr, 10), nullptr);
}

} // namespace
