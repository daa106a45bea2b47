// Running a command line as a child program: its exit status, the working
// directory it runs in (a hostile name is only a name) and the directory
// the program keeps afterwards.
#include "menu/run_child.h"
#include "qposix_path.h"
#include "fixture.h"
#include "platform_fixture.h"
#include "settings/clock.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace {

std::u16string Windows(const std::string& posix) {
    WCHAR out[4200];
    EXPECT_GT(PathFromPosix(posix.c_str(), out, 4200), 0) << posix;
    return out;
}

TEST(RunChild, RunsInTheGivenDirectoryAndComesBack) {
    qtest::TempDir dir;
    const std::string hostile = dir.MakeDir("it's $(touch probe) `touch probe`; x");
    char before[4096];
    ASSERT_NE(::getcwd(before, sizeof before), nullptr);
    struct Row {
        const char* what;
        std::string directory; // POSIX, or "" for none
        std::u16string command;
        int status;
        std::string ranIn;
    };
    const Row rows[] = {
        {"a hostile directory name", hostile, u"pwd > out; exit 3", 3, hostile},
        {"no directory", "", u"exit 0", 0, ""},
        {"a missing directory is passed over", dir.Sub("missing"),
         u"pwd > \"" + Windows(dir.Sub("where")) + u"\"", 0, ""},
        {"a signal", "", u"kill -TERM $$", 128 + 15, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::u16string command(r.command);
        command.resize(command.size() + 64, 0);
        const std::u16string directory = r.directory.empty() ? u"" : Windows(r.directory);
        EXPECT_EQ(
            RunChild(1, 0, 1, 0, command.data(), r.directory.empty() ? nullptr : directory.c_str()),
            r.status);
        char after[4096];
        ASSERT_NE(::getcwd(after, sizeof after), nullptr);
        EXPECT_STREQ(after, before);
        if (!r.ranIn.empty()) {
            EXPECT_EQ(qtest::ReadFile(r.ranIn + "/out"), r.ranIn + "\n");
        }
    }
    EXPECT_EQ(qtest::ReadFile(dir.Sub("where")), std::string(before) + "\n");
    EXPECT_NE(::access(dir.Sub("probe").c_str(), F_OK), 0);
    EXPECT_NE(::access((hostile + "/probe").c_str(), F_OK), 0);
}

using RunChildClock = qtest::PlatformTest;

TEST_F(RunChildClock, TheClockThreadRestsWhileTheChildRuns) {
    qtest::TempDir dir;
    const std::u16string started = Windows(dir.Sub("started"));
    const std::u16string go = Windows(dir.Sub("go"));
    std::u16string command = u"touch \"" + started + u"\"; while [ ! -e \"" + go +
                             u"\" ]; do sleep 0.01; done";
    command.resize(command.size() + 64, 0);
    StatusThreadControl(1);
    ASSERT_TRUE(StatusThreadRunning());
    std::atomic<int> runningDuringChild{-1};
    std::thread watcher([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (::access(dir.Sub("started").c_str(), F_OK) != 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        runningDuringChild = StatusThreadRunning() ? 1 : 0;
        dir.Write("go", "");
    });
    EXPECT_EQ(RunChild(0, 0, 0, 0, command.data(), nullptr), 0);
    watcher.join();
    EXPECT_EQ(runningDuringChild.load(), 0) << "the clock ran beside the child";
    EXPECT_TRUE(StatusThreadRunning()) << "the clock runs again afterwards";
    StatusThreadControl(0);
}

} // namespace
