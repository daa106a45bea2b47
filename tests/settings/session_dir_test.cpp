// The session directory: several programs started at once, reuse of a stale
// directory, a live session's lock, a plain file in the way, the QTEMP
// forms, links that must not be followed, short paths never removed, and
// the message when there is no directory at all.
#include "settings/session_dir.h"
#include "platform/console_session.h"
#include "qposix_drives.h"
#include "qposix_path.h"
#include "windows.h"

#include "fixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

extern char** environ;

namespace {

std::u16string Win(const std::string& posix) {
    WCHAR out[4097];
    EXPECT_GE(PathFromPosix(posix.c_str(), out, 4097), 0);
    return out;
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

std::string PidText(long pid) {
    char text[32];
    snprintf(text, sizeof text, "%04x", unsigned(pid));
    return text;
}

class SessionDirTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    std::string base = dir.MakeDir("base");
    qtest::ScopedEnv qtemp{"QTEMP", nullptr};
    const SESSION_END_WORK savedEndWork = gSessionEndWork;
    void SetQtemp(const std::string& value) { ::setenv("QTEMP", value.c_str(), 1); }
    void UseBase() {
        const std::u16string w = Win(base);
        SetQtemp(std::string(w.begin(), w.end()));
    }
    std::string Session() const { return PathToPosix(gSessionTempDir); }
    void TearDown() override {
        CleanupSessionTemp();
        gSessionEndWork = savedEndWork;
    }
};

// The chosen directory for each layout of QTMP000 found in the base.
TEST_F(SessionDirTest, CandidatesAsFound) {
    const std::string outside = dir.MakeDir("outside");
    dir.Write("outside/keep", "x");
    struct Row {
        const char* what;
        std::function<void()> make;
        const char* chosen;
    } rows[] = {
        {"nothing there", [] {}, "QTMP000"},
        {"a plain file in the way is replaced", [&] { dir.Write("base/QTMP000", "file"); },
         "QTMP000"},
        {"a stale directory is reused with what it holds",
         [&] {
             dir.Write("base/QTMP000/QBK.PID", "123456789abc");
             dir.Write("base/QTMP000/old", "left");
         },
         "QTMP000"},
        {"a link to a directory is never taken",
         [&] { ASSERT_EQ(::symlink(outside.c_str(), (base + "/QTMP000").c_str()), 0); },
         "QTMP001"},
    };
    for (const Row& r : rows) {
        std::system(("rm -rf '" + base + "'/*").c_str());
        r.make();
        UseBase();
        SetupSessionTemp();
        EXPECT_EQ(Session(), base + "/" + r.chosen) << r.what;
        EXPECT_NE(gPidHandle, nullptr) << r.what;
        EXPECT_EQ(qtest::ReadFile(Session() + "/QBK.PID"), PidText(long(::getpid()))) << r.what;
        const std::u16string exported = Win(Session());
        EXPECT_EQ(std::string(std::getenv("#QBTemp")), std::string(exported.begin(), exported.end()))
            << r.what;
        if (Exists(base + "/QTMP000/old")) {
            EXPECT_EQ(qtest::ReadFile(base + "/QTMP000/old"), "left") << r.what;
        }
        CleanupSessionTemp();
        EXPECT_FALSE(Exists(base + "/" + r.chosen)) << r.what;
        EXPECT_EQ(gPidHandle, nullptr) << r.what;
    }
    EXPECT_EQ(qtest::ReadFile(outside + "/keep"), "x");
    EXPECT_TRUE(Exists(base + "/QTMP000")) << "the link was left where it was";
}

TEST_F(SessionDirTest, ALiveSessionsLockSendsTheNextOneOn) {
    dir.Write("base/QTMP000/QBK.PID", "1");
    dir.Write("base/QTMP000/work", "busy");
    const std::u16string pid = Win(base + "/QTMP000/QBK.PID");
    HANDLE live = CreateFileW(pid.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(live, INVALID_HANDLE_VALUE);
    OVERLAPPED at = {};
    ASSERT_TRUE(LockFileEx(live, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at));
    UseBase();
    SetupSessionTemp();
    EXPECT_EQ(Session(), base + "/QTMP001");
    CleanupSessionTemp();
    EXPECT_EQ(qtest::ReadFile(base + "/QTMP000/work"), "busy");
    EXPECT_EQ(qtest::ReadFile(base + "/QTMP000/QBK.PID"), "1");
    CloseHandle(live);
}

TEST_F(SessionDirTest, QtempEndingInASemicolon) {
    const std::u16string w = Win(base);
    SetQtemp(std::string(w.begin(), w.end()) + ";");
    SetupSessionTemp();
    EXPECT_EQ(std::u16string(gSessionTempDir), w + u"\\QTMP000");
}

TEST_F(SessionDirTest, NoDirectoryAsksForTheVariablesAndWaitsForAKey) {
    static int waits;
    waits = 0;
    SessionTempSetKeyWaitForTest([] { waits++; });
    const std::u16string missing = Win(dir.Sub("missing"));
    SetQtemp(std::string(missing.begin(), missing.end()));
    qtest::ScopedEnv tmpdir("TMPDIR", dir.Sub("missing too").c_str());
    testing::internal::CaptureStdout();
    SetupSessionTemp();
    const std::string out = testing::internal::GetCapturedStdout();
    SessionTempSetKeyWaitForTest(nullptr);
    EXPECT_EQ(gSessionTempDir[0], 0);
    EXPECT_EQ(gPidHandle, nullptr);
    EXPECT_EQ(waits, 1);
    EXPECT_NE(out.find("\nAn environment variable named QTEMP, TEMP or TMP must be created for "
                       "archiving\n"),
              std::string::npos);
    EXPECT_NE(out.find("\nSee README.TXT for more information...press [Enter] to continue"),
              std::string::npos);
}

// The session end of the console's close events removes this directory.
TEST_F(SessionDirTest, TheSessionEndWorkRemovesIt) {
    UseBase();
    SetupSessionTemp();
    ASSERT_EQ(gSessionEndWork.removeSessionDirectory, &CleanupSessionTemp);
    ASSERT_NE(gSessionEndWork.currentDirectory, nullptr);
    const std::string session = Session();
    gSessionEndWork.removeSessionDirectory();
    EXPECT_FALSE(Exists(session));
}

// Links below the removed tree are removed themselves; what they point to
// stays whole.
TEST_F(SessionDirTest, RemoveDirTreeNeverFollowsALink) {
    const std::string outside = dir.MakeDir("outside/deep");
    dir.Write("outside/deep/file", "keep");
    dir.Write("outside/top", "keep");
    dir.Write("tree/sub/f", "x");
    dir.Write("tree/.hidden", "x");
    ASSERT_EQ(::chmod(dir.Write("tree/readonly", "x").c_str(), 0444), 0);
    ASSERT_EQ(::symlink(dir.Sub("outside").c_str(), dir.Sub("tree/dirlink").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Sub("outside/top").c_str(), dir.Sub("tree/sub/filelink").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Sub("outside").c_str(), dir.Sub("toplink").c_str()), 0);
    EXPECT_EQ(RemoveDirTree(Win(dir.Sub("tree")).c_str()), 0u);
    EXPECT_FALSE(Exists(dir.Sub("tree")));
    EXPECT_EQ(RemoveDirTree(Win(dir.Sub("toplink")).c_str()), 0u);
    EXPECT_FALSE(Exists(dir.Sub("toplink")));
    EXPECT_EQ(qtest::ReadFile(dir.Sub("outside/deep/file")), "keep");
    EXPECT_EQ(qtest::ReadFile(dir.Sub("outside/top")), "keep");
    EXPECT_EQ(RemoveDirTree(Win(dir.Sub("missing")).c_str()), DWORD(ERROR_FILE_NOT_FOUND));
}

// A session path of fewer than 4 units (a drive, a root) is never emptied.
TEST_F(SessionDirTest, AShortPathIsNeverRemoved) {
    const std::string root = dir.MakeDir("drive");
    ASSERT_TRUE(DriveMapSet('Q', root.c_str(), nullptr));
    struct Row {
        const char* what;
        const char16_t* path;
        bool removed;
    } rows[] = {
        {"a drive", u"Q:", false},
        {"a drive's root", u"Q:\\", false},
        {"four units", u"Q:\\a", true},
    };
    for (const Row& r : rows) {
        dir.Write("drive/precious", "x");
        dir.Write("drive/a/x", "x");
        wcscpy_s(gSessionTempDir, SESSION_DIR_UNITS, r.path);
        const std::u16string pid = std::u16string(r.path) + u"\\QBK.PID";
        gPidHandle = CreateFileW(pid.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                 0, nullptr);
        ASSERT_NE(gPidHandle, INVALID_HANDLE_VALUE) << r.what;
        CleanupSessionTemp();
        EXPECT_TRUE(Exists(root + "/precious")) << r.what;
        EXPECT_EQ(Exists(root + "/a"), !r.removed) << r.what;
    }
    DriveMapClear('Q');
}

// Programs started at once keep separate directories; each keeps its own
// while another ends; a directory freed by an ended one is taken again.
TEST_F(SessionDirTest, SeveralProgramsAtOnce) {
    struct Probe {
        pid_t pid;
        int in;  // its standard input: closing it ends the probe
        FILE* out;
        std::string session;
    };
    auto start = [&](int count) {
        std::vector<Probe> probes;
        for (int i = 0; i < count; i++) {
            int in[2], out[2];
            EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
            EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_adddup2(&actions, in[0], 0);
            posix_spawn_file_actions_adddup2(&actions, out[1], 1);
            posix_spawn_file_actions_addclose(&actions, in[1]);
            posix_spawn_file_actions_addclose(&actions, out[0]);
            char* argv[] = {const_cast<char*>(QUILB_SESSION_DIR_PROBE), nullptr};
            pid_t pid = -1;
            EXPECT_EQ(posix_spawn(&pid, QUILB_SESSION_DIR_PROBE, &actions, nullptr, argv, environ), 0);
            posix_spawn_file_actions_destroy(&actions);
            ::close(in[0]);
            ::close(out[1]);
            probes.push_back({pid, in[1], ::fdopen(out[0], "r"), {}});
        }
        for (Probe& p : probes) {
            char line[4096] = {};
            if (fgets(line, sizeof line, p.out)) p.session = std::string(line, std::strlen(line) - 1);
        }
        return probes;
    };
    auto stop = [](Probe& p) {
        ::close(p.in);
        int status = 0;
        EXPECT_EQ(::waitpid(p.pid, &status, 0), p.pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        fclose(p.out);
    };
    UseBase();
    std::vector<Probe> probes = start(6);
    std::set<std::string> sessions;
    for (const Probe& p : probes) {
        ASSERT_FALSE(p.session.empty());
        sessions.insert(p.session);
        EXPECT_EQ(qtest::ReadFile(p.session + "/QBK.PID"), PidText(p.pid));
    }
    EXPECT_EQ(sessions.size(), probes.size());
    const std::string freed = probes[2].session;
    stop(probes[2]);
    EXPECT_FALSE(Exists(freed));
    for (size_t i = 0; i < probes.size(); i++) {
        if (i == 2) continue;
        EXPECT_EQ(qtest::ReadFile(probes[i].session + "/marker"), "mine") << i;
        EXPECT_EQ(qtest::ReadFile(probes[i].session + "/QBK.PID"), PidText(probes[i].pid)) << i;
    }
    std::vector<Probe> late = start(1);
    EXPECT_EQ(late[0].session, freed);
    stop(late[0]);
    for (size_t i = 0; i < probes.size(); i++)
        if (i != 2) stop(probes[i]);
    for (const std::string& s : sessions) EXPECT_FALSE(Exists(s)) << s;
}

} // namespace
