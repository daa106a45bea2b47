// The folders recorded at start-up, taken from the running test program:
// where it was started, where it lies, its data and tools folders.
#include "settings/folders.h"
#include "windows.h"
#include "qposix_path.h"

#include "fixture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

std::u16string WinPath(const std::string& posix) {
    WCHAR out[1025];
    int n = PathFromPosix(posix.c_str(), out, 1025);
    return n < 0 ? std::u16string() : std::u16string(out);
}

class FoldersTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    qtest::ScopedEnv home{"HOME", dir.path().c_str()};
    qtest::ScopedEnv config{"XDG_CONFIG_HOME", nullptr};
    qtest::ScopedEnv tools{"#QBTools", nullptr};
    char saved[4096] = {};
    void SetUp() override { ASSERT_NE(::getcwd(saved, sizeof saved), nullptr); }
    void TearDown() override { ASSERT_EQ(::chdir(saved), 0); }
};

TEST_F(FoldersTest, ProgramOutsideTheProgramFilesFolderKeepsItsFilesBesideIt) {
    ASSERT_EQ(::chdir(dir.MakeDir("started here").c_str()), 0);
    RecordStartupFolders();

    EXPECT_EQ(std::u16string(gStartDir), WinPath(dir.Sub("started here")) + u"\\");
    char exe[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    std::string exeDir(exe, std::string(exe).rfind('/'));
    const std::u16string programDir = WinPath(exeDir) + u"\\";
    EXPECT_EQ(std::u16string(gProgramDir), programDir);
    EXPECT_EQ(std::u16string(gProgramFilesDir), WinPath("/usr/local"));
    ASSERT_EQ(exeDir.rfind("/usr/local", 0), std::string::npos) << "test built under /usr/local";
    EXPECT_EQ(std::u16string(gDataDir), programDir);
    EXPECT_EQ(std::u16string(gToolsDir), WinPath(exeDir));
    const char* exported = std::getenv("#QBTools");
    ASSERT_NE(exported, nullptr);
    const std::u16string tools(gToolsDir);
    EXPECT_EQ(std::string(exported), std::string(tools.begin(), tools.end()));
}

TEST_F(FoldersTest, StartedAtTheRoot) {
    ASSERT_EQ(::chdir("/"), 0);
    RecordStartupFolders();
    std::u16string root = WinPath("/");
    // A root already ends in its separator and gets no second one.
    ASSERT_EQ(root.back(), u'\\');
    EXPECT_EQ(std::u16string(gStartDir), root);
}

} // namespace
