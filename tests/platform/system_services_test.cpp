// System and shell services: formatting a drive (the refusals, the
// question, a stand-in QFORMAT.BAT that records its arguments, a hostile
// folder name on its path), the network path of a drive letter, special
// folders, and the services this platform cannot offer.
#include "platform/system_services.h"
#include "posix/drive_fixture.h"
#include "qposix_path.h"
#include "tree_fixture.h"
#include "ui/ui_test_hook.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

// C: on "/", F: on a folder of the test; HOME inside the test's folder;
// PATH holding only the folder of the stand-in format batch.
class SystemServicesTest : public DriveMapTest {
  protected:
    void SetUp() override {
        ::mkdir(dir.Sub("f").c_str(), 0755);
        SetMounts({{"/", "ext4", "/dev/vda1"}});
        qtest::WriteFixtureDrives(dir.path(), 'F', dir.Sub("f"));
        UiScriptAnswers({});
    }
    void TearDown() override {
        UiScriptEnd();
        DriveMapTest::TearDown();
    }
    // A QFORMAT.BAT in folder that writes its arguments to <dir>/args.
    void StandIn(const std::string& folder) {
        const std::string script =
            dir.Write(folder + "/QFORMAT.BAT",
                      "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + dir.Sub("args") + "'\n");
        ::chmod(script.c_str(), 0755);
    }
    std::string Args() const { return qtest::ReadFile(dir.Sub("args")); }
    std::vector<std::string> Asked() const {
        std::vector<std::string> kinds;
        for (const UiQuestion& q : UiQuestionsAsked())
            kinds.push_back(q.kind);
        return kinds;
    }
};

std::string Narrow16(const std::u16string& s) {
    std::string out;
    for (char16_t c : s)
        out += c < 0x80 ? char(c) : '?';
    return out;
}

TEST_F(SystemServicesTest, FormatDriveRefusesAndAsksBeforeAnythingRuns) {
    StandIn("bin");
    qtest::ScopedEnv path("PATH", dir.Sub("bin").c_str());
    // The program's own drive: the test program lives on C:.
    WCHAR program[1100] = {};
    ASSERT_GT(GetModuleFileNameW(nullptr, program, 1100), 0u);
    ASSERT_EQ(program[0], u'C');

    struct Row {
        const char* what;
        int letter;
        const char* homeDrive;   // HOMEDRIVE, or null for unset
        const char* systemDrive; // SYSTEMDRIVE, or null for unset
        const char* home;        // HOME below the test folder, or null for the folder
        std::initializer_list<int> keys;
        int expected;
        std::vector<std::string> asked;
        std::string args; // what the batch was given; "" when it did not run
    };
    const Row rows[] = {
        {"the program's drive is refused", 'C', "G:", "H:", nullptr, {}, 0, {"ShowError"}, ""},
        {"HOMEDRIVE is refused", 'g', "G:", nullptr, nullptr, {}, 0, {"ShowError"}, ""},
        {"SYSTEMDRIVE is refused", 'H', nullptr, "H:", nullptr, {}, 0, {"ShowError"}, ""},
        {"without HOMEDRIVE the drive of HOME stands for it",
         'F',
         nullptr,
         nullptr,
         "f/home",
         {},
         0,
         {"ShowError"},
         ""},
        {"No formats nothing", 'G', nullptr, nullptr, nullptr, {'n'}, 0, {"PromptYesNo"}, ""},
        {"Enter formats nothing", 'G', nullptr, nullptr, nullptr, {'\r'}, 0, {"PromptYesNo"}, ""},
        {"Yes runs the batch with the drive",
         'G',
         nullptr,
         nullptr,
         nullptr,
         {'y'},
         1,
         {"PromptYesNo"},
         "G:\n"},
        {"A: asks nothing", 'A', nullptr, nullptr, nullptr, {}, 1, {}, "A:\n"},
        {"B: asks nothing", 'b', nullptr, nullptr, nullptr, {}, 1, {}, "B:\n"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        ::unlink(dir.Sub("args").c_str());
        qtest::ScopedEnv homeDrive("HOMEDRIVE", r.homeDrive);
        qtest::ScopedEnv systemDrive("SYSTEMDRIVE", r.systemDrive);
        if (r.home) dir.MakeDir(r.home);
        qtest::ScopedEnv home("HOME", r.home ? dir.Sub(r.home).c_str() : dir.path().c_str());
        UiScriptAnswers(r.keys);
        EXPECT_EQ(FormatDrive(r.letter), r.expected);
        EXPECT_EQ(Asked(), r.asked);
        EXPECT_EQ(Args(), r.args);
        if (!r.asked.empty() && r.asked[0] == "ShowError") {
            const char upper = char(r.letter & ~0x20);
            EXPECT_EQ(Narrow16(UiQuestionsAsked()[0].path),
                      std::string("Quilbora cannot be used to format drive ") + upper + ":");
        }
    }
}

// The batch's folder is data on the command line: no character of its name
// reaches the shell as shell text.
TEST_F(SystemServicesTest, AHostileFolderOfTheFormatBatchIsOnlyAName) {
    const std::string folder = "it's $(touch probe1) & `touch probe2`; x";
    StandIn(folder);
    qtest::ScopedEnv path("PATH", dir.Sub(folder).c_str());
    char saved[4096];
    ASSERT_NE(::getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    UiScriptAnswers({});
    EXPECT_EQ(FormatDrive('A'), 1);
    EXPECT_EQ(::chdir(saved), 0);
    EXPECT_EQ(Args(), "A:\n");
    for (const char* probe : {"probe1", "probe2"}) {
        EXPECT_NE(::access(dir.Sub(probe).c_str(), F_OK), 0) << probe;
        EXPECT_NE(::access(dir.Sub(folder + "/" + probe).c_str(), F_OK), 0) << probe;
    }
}

TEST_F(SystemServicesTest, NetworkPathOfADriveLetter) {
    // A letter on a mount whose source is a share, one the layer maps onto a
    // gio location, and a local one.
    const std::string share = dir.MakeDir("share");
    SetMounts({{"/", "ext4", "/dev/vda1"}, {share, "cifs", "//server/public"}});
    dir.Write(".config/quilb/drives", "c: /\nf: " + dir.Sub("f") + "\nn: " + share + "\n");
    GetLogicalDrives();
    const std::string gvfs = dir.MakeDir("gvfs");
    ASSERT_TRUE(DriveMapSet('M', gvfs.c_str(), u"smb://host/docs/sub/"));
    struct Row {
        const char16_t* drive;
        int expected;
        const char16_t* path;
    };
    const Row rows[] = {
        {u"N:", 1, u"\\\\server\\public"},
        {u"m:", 1, u"\\\\host\\docs\\sub"},
        {u"F:", 0, u""},
        {u"Q:", 0, u""},
    };
    for (const Row& r : rows) {
        WCHAR out[1100];
        out[0] = u'?';
        out[1] = 0;
        EXPECT_EQ(NetDriveRealPath(r.drive, out), r.expected) << Narrow16(r.drive);
        EXPECT_EQ(std::u16string(out), r.path) << Narrow16(r.drive);
    }
    DriveMapClear('M');
}

TEST_F(SystemServicesTest, SpecialFoldersAndTheServicesThatAreNotAvailable) {
    qtest::ScopedEnv config("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(std::u16string(GetSpecialFolder(0x7F)), u"");
    WCHAR home[1100];
    ASSERT_GT(PathFromPosix(dir.path().c_str(), home, 1100), 0);
    EXPECT_EQ(std::u16string(GetSpecialFolder(0x28)), home);
    WCHAR desktop[MAX_PATH];
    EXPECT_EQ(GetSpecialFolderByIdList(desktop), 1);
    EXPECT_EQ(std::u16string(desktop), std::u16string(home) + u"\\Desktop");

    WCHAR name[64] = {};
    DWORD status = 7;
    EXPECT_EQ(NetIsDomainMember(name, &status), 0);
    EXPECT_EQ(NetAddConnection(u"\\\\server\\share", 0, 1), 0);
    EXPECT_EQ(NetAddConnection(u"\\\\server\\share", 0, 0), 0);
    // A window without a title lets the enumeration go on; the program's
    // console window is never taken for a dialog.
    EXPECT_TRUE(RaiseDialogCallback(GetDesktopWindow(), LPARAM(GetCurrentProcessId())));
}

} // namespace
