// SMB shares through gio: the gio stand-in plays GVfs (see stubs/gio for the
// behaviour of the real pair it follows). Mounting and mapping a letter,
// answering gio's questions, refusals, time-outs and failures with their
// texts, shares kept mounted while another letter maps them, unmounting at
// exit, and the real gio on local and unreachable locations.
#include "process_support.h"

#include "internal/process.h"
#include "internal/spawn.h"
#include "qposix_shares.h"

#include <sys/wait.h>

using qproc::N;
using qproc::U;

namespace {

std::u16string Text(const WCHAR* s) {
    return std::u16string(s);
}

// Processes of a process group that are not dead: killed ones may stay
// zombies for a while until the system's init reaps them.
int LiveMembers(pid_t group) {
    int live = 0;
    DIR* d = ::opendir("/proc");
    while (struct dirent* e = d ? ::readdir(d) : nullptr) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        std::string stat = qtest::ReadFile(std::string("/proc/") + e->d_name + "/stat");
        size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 2 >= stat.size()) continue;
        // After the name: state, parent, process group.
        std::istringstream rest(stat.substr(close + 2));
        char state;
        long parent, pgrp;
        if (rest >> state >> parent >> pgrp && pgrp == group && state != 'Z') live++;
    }
    if (d) ::closedir(d);
    return live;
}

} // namespace

constexpr unsigned kResultLimitMs = 20000;
// What "at once" means beside that limit, and the bound on ending after a
// lowered limit: many times that limit, far below kResultLimitMs.
constexpr long long kAtOnceMs = 10000;
constexpr unsigned kLoweredLimitMs = 600, kLoweredGraceMs = 400;

class ShareTest : public qproc::ChildTest {
  protected:
    void SetUp() override {
        ChildTest::SetUp();
        tools.Add("gio", "gio");
        // A limit no busy machine reaches: tests about a result never see
        // it. Tests about the limit itself lower it with a gio that never
        // answers.
        GioSetTimeLimitForTest(kResultLimitMs, 2000);
    }
    void TearDown() override {
        for (WCHAR l = 'A'; l <= 'Z'; l++)
            NetShareUnmapDrive(l);
        GioSetTimeLimitForTest(0, 0);
        ChildTest::TearDown();
    }
    std::string ShareDir(const std::string& host, const std::string& share) {
        return tools.state() + "/gvfs/smb-share:server=" + host + ",share=" + share;
    }
    // The second and later arguments of each gio call.
    std::vector<std::vector<std::string>> GioCalls() {
        std::vector<std::vector<std::string>> out;
        for (auto& c : tools.Calls("gio"))
            out.emplace_back(c.args.begin() + 1, c.args.end());
        return out;
    }
    size_t Unmounts() {
        size_t n = 0;
        for (auto& c : GioCalls())
            n += c.size() >= 2 && c[0] == "mount" && c[1] == "-u";
        return n;
    }
    std::string Answers() { return qtest::ReadFile(tools.log() + "/gio.answers"); }

    qproc::StubTools tools;
    qtest::ScopedEnv path{"PATH", tools.bin().c_str()};
    WCHAR error[300] = {};
};

TEST_F(ShareTest, MountsMapsAndUnmounts) {
    const WCHAR* loc = u"smb://host/share/sub dir";
    ASSERT_EQ(NetShareMount('x', loc, nullptr, nullptr, error, 300), ERROR_SUCCESS);
    EXPECT_EQ(Text(error), u"");
    std::string local = ShareDir("host", "share") + "/sub dir";
    EXPECT_EQ(GioCalls(), (std::vector<std::vector<std::string>>{
                              {"info", "-a", "standard::type", "smb://host/share/sub dir"},
                              {"mount", "smb://host/share/sub dir"},
                              {"info", "-a", "standard::type", "smb://host/share/sub dir"}}));
    EXPECT_EQ(qtest::ReadFile(tools.log() + "/0.gio.lc_all"), "C\n");
    // The letter leads into the share.
    ::mkdir(local.c_str(), 0755);
    EXPECT_EQ(std::string(PathToPosix(u"X:\\file.txt")), local + "/file.txt");
    WCHAR display[300];
    ASSERT_TRUE(DriveMappedPath('X', display, 300));
    EXPECT_EQ(Text(display), loc);

    NetShareUnmapDrive('X');
    EXPECT_EQ(Unmounts(), 1u);
    EXPECT_EQ(GioCalls().back(),
              (std::vector<std::string>{"mount", "-u", "smb://host/share/sub dir"}));
    char posix[4096];
    EXPECT_FALSE(DriveMapGetPosix('X', posix, sizeof posix));
    NetShareUnmapDrive('X');
    EXPECT_EQ(Unmounts(), 1u) << "an unmapped letter is left alone";
}

TEST_F(ShareTest, ResultsAndTexts) {
    struct Row {
        const char* what;
        WCHAR letter;
        const char* mode;
        const WCHAR* user;
        DWORD result;
        std::u16string text;
        bool undone; // the mount was undone with "mount -u"
    };
    const Row rows[] = {
        {"a letter that is not A-Z", '1', "open", nullptr, ERROR_INVALID_DRIVE, u"", false},
        {"the server refuses the connection", 'K', "fail", nullptr, ERROR_BAD_NETPATH,
         u"Failed to mount Windows share: Connection refused", false},
        {"gio never answers", 'K', "hang", nullptr, ERROR_SEM_TIMEOUT, u"No answer from the server",
         false},
        {"mounted but no local path", 'K', "lost", nullptr, ERROR_PATH_NOT_FOUND, u"Not found",
         true},
        {"credentials needed and none given", 'K', "auth", nullptr, ERROR_ACCESS_DENIED, u"",
         false},
        {"a question gio has no answer for", 'K', "realm", u"alice", ERROR_ACCESS_DENIED, u"",
         false},
        {"much output, then no local path: its last line", 'K', "chatty", nullptr,
         ERROR_PATH_NOT_FOUND, u"3000", true},
    };
    for (const Row& r : rows) {
        qproc::StubTools own;
        qtest::ScopedEnv p("PATH", own.bin().c_str()), mode("QSTUB_GIO_MODE", r.mode);
        own.Add("gio", "gio");
        WCHAR text[300] = {'?', 0};
        bool neverAnswers = std::string(r.mode) == "hang";
        GioSetTimeLimitForTest(neverAnswers ? kLoweredLimitMs : kResultLimitMs, kLoweredGraceMs);
        long long start = MonotonicMs();
        EXPECT_EQ(NetShareMount(r.letter, u"smb://srv/data", r.user, u"pw", text, 300), r.result)
            << r.what;
        EXPECT_LT(MonotonicMs() - start, kAtOnceMs) << r.what;
        EXPECT_EQ(Text(text), r.text) << r.what;
        char posix[4096];
        EXPECT_FALSE(DriveMapGetPosix(r.letter, posix, sizeof posix)) << r.what;
        size_t undone = 0;
        for (auto& c : own.Calls("gio"))
            undone += c.args.size() > 2 && c.args[2] == "-u";
        EXPECT_EQ(undone, r.undone ? 1u : 0u) << r.what;
        EXPECT_TRUE(qproc::NoChildrenLeft(0)) << r.what << ": gio and its children are gone";
    }
}

TEST_F(ShareTest, AGioThatNeverAnswersEndsWithEverythingItStarted) {
    struct Row {
        const char* what;
        const char* mode;
    };
    const Row rows[] = {
        {"told to stop at the time limit", "hang"},
        {"killed when it ignores being told", "stubborn"},
    };
    GioSetTimeLimitForTest(kLoweredLimitMs, kLoweredGraceMs);
    for (const Row& r : rows) {
        qtest::ScopedEnv mode("QSTUB_GIO_MODE", r.mode);
        ::unlink((tools.log() + "/gio.pid").c_str());
        long long start = MonotonicMs();
        EXPECT_EQ(NetShareMount('T', u"smb://h/slow", nullptr, nullptr, error, 300),
                  ERROR_SEM_TIMEOUT)
            << r.what;
        EXPECT_LT(MonotonicMs() - start, kAtOnceMs) << r.what;
        EXPECT_EQ(Text(error), u"No answer from the server") << r.what;
        // Its sleeping child was in its process group and is gone too.
        pid_t group = static_cast<pid_t>(
            qproc::LeadingNumber(qtest::ReadFile(tools.log() + "/gio.pid").c_str()));
        ASSERT_GT(group, 0) << r.what;
        // (A killed process takes a moment to finish exiting.)
        int live = LiveMembers(group);
        for (int i = 0; i < 200 && live > 0; i++) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            live = LiveMembers(group);
        }
        EXPECT_EQ(live, 0) << r.what;
    }
}

TEST_F(ShareTest, WithoutGio) {
    const char* needs = "smb:// needs gio (gvfs) - or mount the share and log its folder";
    for (const char* p : {"", "/nonexistent", "relative-dir"}) {
        qtest::ScopedEnv empty("PATH", p);
        EXPECT_EQ(NetShareMount('G', u"smb://h/s", nullptr, nullptr, error, 300),
                  ERROR_NOT_SUPPORTED)
            << p;
        EXPECT_EQ(N(error), needs) << p;
    }
}

TEST_F(ShareTest, AnswersUserDomainAndPassword) {
    qtest::ScopedEnv mode("QSTUB_GIO_MODE", "auth"), user("QSTUB_USER", "alice"),
        domain("QSTUB_DOMAIN", "WORKGROUP"), password("QSTUB_PASSWORD", "s3cret pass");
    EXPECT_EQ(
        NetShareMount('S', u"smb://srv/data", u"WORKGROUP\\alice", u"s3cret pass", error, 300),
        ERROR_SUCCESS);
    EXPECT_EQ(Answers(), "alice|WORKGROUP|s3cret pass\n");
    NetShareUnmapDrive('S');

    EXPECT_EQ(NetShareMount('S', u"smb://srv/data", u"WORKGROUP;alice", u"s3cret pass", error, 300),
              ERROR_SUCCESS)
        << "';' splits the domain off as well";
    NetShareUnmapDrive('S');

    // A wrong password: gio asks for the user again, which ends it.
    ::unlink((tools.log() + "/gio.answers").c_str());
    long long start = MonotonicMs();
    EXPECT_EQ(NetShareMount('S', u"smb://srv/data", u"WORKGROUP\\alice", u"wrong", error, 300),
              ERROR_ACCESS_DENIED);
    EXPECT_LT(MonotonicMs() - start, kAtOnceMs) << "ended at once, not at the time limit";
    EXPECT_EQ(Answers(), "alice|WORKGROUP|wrong\n");
    EXPECT_EQ(Text(error), u"");

    // Without a domain the domain question is answered empty.
    ::unlink((tools.log() + "/gio.answers").c_str());
    qtest::ScopedEnv noDomain("QSTUB_DOMAIN", "");
    EXPECT_EQ(NetShareMount('S', u"smb://srv/data", u"alice", nullptr, error, 300),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(Answers(), "alice||\n");
}

TEST_F(ShareTest, LocationsThatCannotBeMounted) {
    struct Row {
        const char* what;
        const WCHAR* location;
        std::u16string text;
    };
    std::u16string tooLong = u"smb://host/" + std::u16string(780, u's');
    const Row rows[] = {
        {"no location", nullptr, u"No share location"},
        {"an empty location", u"", u"No share location"},
        {"a location longer than 779 bytes is never cut", tooLong.c_str(),
         u"The share location is too long"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(NetShareMount('L', r.location, nullptr, nullptr, error, 300), ERROR_BAD_NETPATH)
            << r.what;
        EXPECT_EQ(Text(error), r.text) << r.what;
    }
    EXPECT_TRUE(GioCalls().empty());
}

TEST_F(ShareTest, ASecondLetterSharesTheMount) {
    ASSERT_EQ(NetShareMount('X', u"smb://h/s", nullptr, nullptr, error, 300), ERROR_SUCCESS);
    ASSERT_EQ(NetShareMount('Y', u"smb://h/s/inner", nullptr, nullptr, error, 300), ERROR_SUCCESS);
    NetShareUnmapDrive('Y');
    EXPECT_EQ(Unmounts(), 0u) << "the first letter still maps it";
    EXPECT_TRUE(qproc::Exists(ShareDir("h", "s")));
    NetShareUnmapDrive('X');
    EXPECT_EQ(Unmounts(), 1u);

    // The other order: the remaining letter takes over the unmount.
    ASSERT_EQ(NetShareMount('X', u"smb://h/s", nullptr, nullptr, error, 300), ERROR_SUCCESS);
    ASSERT_EQ(NetShareMount('Y', u"smb://h/s", nullptr, nullptr, error, 300), ERROR_SUCCESS);
    NetShareUnmapDrive('X');
    EXPECT_EQ(Unmounts(), 1u);
    NetShareUnmapDrive('Y');
    EXPECT_EQ(Unmounts(), 2u);
}

TEST_F(ShareTest, SharesMountedElsewhereAreNeverUnmounted) {
    struct Row {
        const char* what;
        const char* mode;
        bool mountedBefore;
    };
    const Row rows[] = {
        {"already mounted when asked", "open", true},
        {"gio says another program mounted it meanwhile", "already", false},
    };
    for (const Row& r : rows) {
        qtest::ScopedEnv mode("QSTUB_GIO_MODE", r.mode);
        std::string share = ShareDir("h", r.mode);
        if (r.mountedBefore) {
            ::mkdir((tools.state() + "/gvfs").c_str(), 0755);
            ::mkdir(share.c_str(), 0755);
        }
        std::u16string loc = u"smb://h/" + U(r.mode);
        EXPECT_EQ(NetShareMount('M', loc.c_str(), nullptr, nullptr, error, 300), ERROR_SUCCESS)
            << r.what;
        EXPECT_EQ(std::string(PathToPosix(u"M:\\")), share + "/") << r.what;
        NetShareUnmapDrive('M');
        EXPECT_EQ(Unmounts(), 0u) << r.what;
    }
}

TEST_F(ShareTest, MappingALetterAgainLetsTheOldShareGo) {
    ASSERT_EQ(NetShareMount('X', u"smb://h/one", nullptr, nullptr, error, 300), ERROR_SUCCESS);
    ASSERT_EQ(NetShareMount('X', u"smb://h/two", nullptr, nullptr, error, 300), ERROR_SUCCESS);
    EXPECT_EQ(Unmounts(), 1u);
    EXPECT_FALSE(qproc::Exists(ShareDir("h", "one")));
    EXPECT_EQ(std::string(PathToPosix(u"X:\\f")), ShareDir("h", "two") + "/f");
}

TEST_F(ShareTest, GioRunKeepsTheNewestOutput) {
    qtest::ScopedEnv mode("QSTUB_GIO_MODE", "chatty");
    char out[64];
    bool refused = true;
    char gio[] = "gio", mount[] = "mount", loc[] = "smb://h/c";
    char* argv[] = {gio, mount, loc, nullptr};
    EXPECT_EQ(GioRun(argv, nullptr, out, sizeof out, &refused), 0);
    EXPECT_FALSE(refused);
    std::string text = out;
    EXPECT_LT(text.size(), sizeof out);
    EXPECT_EQ(text.substr(text.size() - 5), "3000\n");
}

TEST_F(ShareTest, ErrorTexts) {
    struct Row {
        const char* what;
        const char* output;
        std::u16string expected;
    };
    const Row rows[] = {
        {"gio's location and prefix go", "gio: smb://h/s: Location is already mounted\n",
         u"Location is already mounted"},
        {"the last line that is not empty", "first\ngio: smb://h/s: second\n \r\n\n", u"second"},
        {"a gio line without a location", "gio: plain", u"gio: plain"},
        {"mount_smbfs prefix", "mount_smbfs: server rejected\n", u"server rejected"},
        {"another line whole", "something broke  \r\n", u"something broke"},
        {"nothing: the default", "\n \n", u"default text"},
        {"no output: the default", "", u"default text"},
    };
    for (const Row& r : rows) {
        WCHAR out[64];
        GioErrorText(r.output, u"default text", out, 64);
        EXPECT_EQ(Text(out), r.expected) << r.what;
    }
    WCHAR small[6];
    GioErrorText("gio: x: long message", u"d", small, 6);
    EXPECT_EQ(Text(small), u"long ") << "cut to the capacity";
}

TEST_F(ShareTest, AtExitTheSharesThisProcessMountedAreUnmounted) {
    pid_t pid = ::fork();
    if (pid == 0) {
        WCHAR text[100];
        DWORD mine = NetShareMount('E', u"smb://h/exit", nullptr, nullptr, text, 100);
        ::mkdir(ShareDir("h", "theirs").c_str(), 0755);
        DWORD theirs = NetShareMount('F', u"smb://h/theirs", nullptr, nullptr, text, 100);
        std::exit(mine == 0 && theirs == 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(WaitChild(pid, &status, 0), pid);
    EXPECT_EQ(ExitCodeFromStatus(status), 0);
    auto calls = GioCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back(), (std::vector<std::string>{"mount", "-u", "smb://h/exit"}));
    EXPECT_EQ(Unmounts(), 1u) << "the share mounted elsewhere stays";
}

TEST_F(ShareTest, TheRealGio) {
    if (!qproc::Exists("/usr/bin/gio"))
        GTEST_SKIP() << "gio is not installed (scripts/install-deps)";
    GioSetTimeLimitForTest(20000, 2000);
    qtest::ScopedEnv real("PATH", "/usr/bin:/bin");
    std::string folder = dir.MakeDir("local share");
    char local[4096];
    ASSERT_EQ(GioLocalPath(("file://" + folder).c_str(), local, sizeof local), 1);
    EXPECT_EQ(std::string(local), folder);
    // A location gio finds locally is mapped as it is and not mounted.
    std::u16string loc = U("file://" + folder);
    ASSERT_EQ(NetShareMount('R', loc.c_str(), nullptr, nullptr, error, 300), ERROR_SUCCESS);
    EXPECT_EQ(std::string(PathToPosix(u"R:\\x")), folder + "/x");
    NetShareUnmapDrive('R');
    // Without GVfs serving SMB here, gio fails and says why.
    EXPECT_EQ(NetShareMount('R', u"smb://127.0.0.1/quilb-test", nullptr, nullptr, error, 300),
              ERROR_BAD_NETPATH);
    EXPECT_NE(Text(error), u"");
    EXPECT_NE(Text(error), u"gio mount failed");
    EXPECT_EQ(Text(error).find(u"gio:"), std::u16string::npos);
}
