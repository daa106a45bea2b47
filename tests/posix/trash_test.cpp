// The freedesktop trash: names of items that share a name, the exact
// .trashinfo text, the home trash and the trash at the top of another file
// system (a real tmpfs), which shared .Trash directories are refused, items
// that may not be trashed, injected failures after which the item is still
// where it was, and trash-list reading back what was trashed.
#include "fileops_support.h"
#include "internal/shell.h"
#include "internal/sys.h"
#include "shellapi.h"

#include <fcntl.h>
#include <sys/wait.h>

#include <cerrno>
#include <ctime>

namespace {

using fsops::Entries;
using fsops::Exists;
using fsops::LinkText;
using fsops::Lstat;
using fsops::RunTrashList;
using fsops::Win;

// A one-item source list.
std::u16string List(const std::string& posix) {
    std::u16string list = Win(posix);
    list += u'\0';
    return list;
}

// SHFileOperationW FO_DELETE with FOF_ALLOWUNDO, as the file commands call it.
int Trash(const std::u16string& list) {
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = list.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NO_CONNECTED_ELEMENTS |
                FOF_WANTNUKEWARNING;
    op.fAnyOperationsAborted = TRUE;
    int result = SHFileOperationW(&op);
    EXPECT_EQ(op.fAnyOperationsAborted, FALSE);
    return result;
}

// The Path= line of an info file, or "" when there is none.
std::string InfoPath(const std::string& infoFile) {
    std::string text = qtest::ReadFile(infoFile);
    size_t at = text.find("\nPath=");
    if (at == std::string::npos) return "";
    size_t end = text.find('\n', at + 1);
    return text.substr(at + 6, end - at - 6);
}

std::string DateText(time_t t) {
    struct tm tm {};
    ::localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
    return buf;
}

// The home trash under a data directory of the test: HOME and
// XDG_DATA_HOME point into the temporary directory.
class TrashTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    qtest::ScopedEnv home{"HOME", dir.Sub("home").c_str()};
    qtest::ScopedEnv data{"XDG_DATA_HOME", dir.Sub("data").c_str()};
    std::string trash = dir.Sub("data/Trash");
    std::string Files() const { return trash + "/files"; }
    std::string Info() const { return trash + "/info"; }
    void TearDown() override { QSysClearFaults(); }
};

// ---- names and info files -----------------------------------------------------------

TEST_F(TrashTest, ItemsOfOneNameAreNumberedAndNeverReplaced) {
    std::string first = dir.Write("one/report.txt", "first report");
    std::string second = dir.Write("two/report.txt", "second report");
    ASSERT_EQ(Trash(List(first)), 0);
    ASSERT_EQ(Trash(List(second)), 0);
    EXPECT_FALSE(Exists(first));
    EXPECT_FALSE(Exists(second));
    EXPECT_EQ(Entries(Files()), (std::vector<std::string>{"report.txt", "report.txt.2"}));
    EXPECT_EQ(Entries(Info()),
              (std::vector<std::string>{"report.txt.2.trashinfo", "report.txt.trashinfo"}));
    EXPECT_EQ(qtest::ReadFile(Files() + "/report.txt"), "first report");
    EXPECT_EQ(qtest::ReadFile(Files() + "/report.txt.2"), "second report");
    EXPECT_EQ(InfoPath(Info() + "/report.txt.trashinfo"), first);
    EXPECT_EQ(InfoPath(Info() + "/report.txt.2.trashinfo"), second);

    // An item left in files/ without its info file keeps its name: the next
    // item of that name takes a free number instead of replacing it.
    dir.Write("data/Trash/files/notes", "orphan");
    dir.Write("data/Trash/files/notes.2/inside", "orphan directory");
    std::string notes = dir.Write("three/notes", "new notes");
    ASSERT_EQ(Trash(List(notes)), 0);
    EXPECT_EQ(qtest::ReadFile(Files() + "/notes"), "orphan");
    EXPECT_EQ(qtest::ReadFile(Files() + "/notes.2/inside"), "orphan directory");
    EXPECT_EQ(qtest::ReadFile(Files() + "/notes.3"), "new notes");
    EXPECT_FALSE(Exists(Info() + "/notes.trashinfo"));
    EXPECT_FALSE(Exists(Info() + "/notes.2.trashinfo"));
    EXPECT_EQ(InfoPath(Info() + "/notes.3.trashinfo"), notes);

    // A whole directory goes as one item.
    dir.Write("tree/a/b", "deep");
    ASSERT_EQ(::symlink("a/b", dir.Sub("tree/link").c_str()), 0);
    ASSERT_EQ(Trash(List(dir.Sub("tree"))), 0);
    EXPECT_FALSE(Exists(dir.Sub("tree")));
    EXPECT_EQ(qtest::ReadFile(Files() + "/tree/a/b"), "deep");
    EXPECT_EQ(LinkText(Files() + "/tree/link"), "a/b");
}

TEST_F(TrashTest, InfoFileTextAndModes) {
    std::string item = dir.Write("a b.txt", "x");
    time_t before = ::time(nullptr);
    ASSERT_EQ(Trash(List(item)), 0);
    time_t after = ::time(nullptr);
    std::string text = qtest::ReadFile(Info() + "/a b.txt.trashinfo");
    // The date is the local time of the deletion, within the call.
    bool dated = false;
    for (time_t t = before; t <= after && !dated; t++)
        dated = text == "[Trash Info]\nPath=" + dir.path() +
                            "/a%20b.txt\nDeletionDate=" + DateText(t) + "\n";
    EXPECT_TRUE(dated) << text;
    EXPECT_EQ(Lstat(Info() + "/a b.txt.trashinfo").st_mode & 0777, 0600u);
    for (const std::string& d : {trash, Files(), Info()})
        EXPECT_EQ(Lstat(d).st_mode & 0777, 0700u) << d;

    // Every byte of a non-ASCII name is encoded.
    std::string accented = dir.Write("caf\xC3\xA9", "y");
    ASSERT_EQ(Trash(List(accented)), 0);
    EXPECT_EQ(InfoPath(Info() + "/caf\xC3\xA9.trashinfo"), dir.path() + "/caf%C3%A9");
}

TEST(TrashPercentEncode, KeepsOnlyTheUnreservedBytes) {
    struct Row {
        const char* what;
        std::string path;
        std::string encoded;
    } rows[] = {
        {"letters, digits, separators", "/Az09/-._~", "/Az09/-._~"},
        {"space", "/tmp/a b.txt", "/tmp/a%20b.txt"},
        {"UTF-8 bytes each", "/\xC3\xA9", "/%C3%A9"},
        {"percent itself", "/100%", "/100%25"},
        {"bytes that are no UTF-8, upper-case hex", "/\xFF\x80", "/%FF%80"},
        {"shell and URL characters", "/a\\b*?#&;+=", "/a%5Cb%2A%3F%23%26%3B%2B%3D"},
        {"newline cannot end the line", "/a\nPath=/etc", "/a%0APath%3D/etc"},
        {"stops after 12284 bytes", std::string(20000, 'a'), std::string(12284, 'a')},
        {"the last escape is whole", std::string(5000, ' '),
         [] {
             std::string s;
             for (int i = 0; i < 4095; i++)
                 s += "%20";
             return s;
         }()},
    };
    for (const Row& r : rows)
        EXPECT_EQ(TrashPercentEncode(r.path), r.encoded) << r.what;
}

// A name too long to take ".trashinfo" goes under its shortened, numbered
// name; one that just fits keeps its name.
TEST_F(TrashTest, LongNames) {
    std::string fits(245, 'f');
    std::string tooLong(250, 'l');
    ASSERT_EQ(Trash(List(dir.Write(fits, "fits"))), 0);
    ASSERT_EQ(Trash(List(dir.Write(tooLong, "long"))), 0);
    EXPECT_EQ(qtest::ReadFile(Files() + "/" + fits), "fits");
    std::string shortened = std::string(240, 'l') + ".2";
    EXPECT_EQ(qtest::ReadFile(Files() + "/" + shortened), "long");
    EXPECT_EQ(InfoPath(Info() + "/" + shortened + ".trashinfo"), dir.Sub(tooLong));
}

// A relative item is recorded by its absolute path, its directory resolved.
TEST_F(TrashTest, RelativeItemsAndResolvedDirectories) {
    dir.Write("real/rel.txt", "r");
    ASSERT_EQ(::symlink("real", dir.Sub("via").c_str()), 0);
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    std::u16string list = u"via\\rel.txt";
    list += u'\0';
    int result = Trash(list);
    ASSERT_EQ(::chdir(old), 0);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(InfoPath(Info() + "/rel.txt.trashinfo"), dir.Sub("real/rel.txt"));
    // A trailing separator names the directory itself.
    dir.Write("folder/x", "x");
    ASSERT_EQ(Trash(List(dir.Sub("folder") + "/")), 0);
    EXPECT_EQ(qtest::ReadFile(Files() + "/folder/x"), "x");
    EXPECT_EQ(InfoPath(Info() + "/folder.trashinfo"), dir.Sub("folder"));
}

// ---- where the home trash is, and when there is none ------------------------------------

TEST(TrashHome, WhereTheHomeTrashIs) {
    qtest::TempDir dir;
    dir.MakeDir("cwd");
    struct Row {
        const char* what;
        const char* home; // relative to dir; null: unset; "=" prefix: as written
        const char* data;
        DWORD result;
        const char* trash; // relative to dir; null: nothing trashed
    } rows[] = {
        {"XDG_DATA_HOME wins", "home", "data", 0, "data/Trash"},
        {"HOME without .local: its directories are made", "home", nullptr, 0,
         "home/.local/share/Trash"},
        {"a relative XDG_DATA_HOME is not used", "home", "=rel", 0, "home/.local/share/Trash"},
        {"no HOME and no XDG_DATA_HOME", nullptr, nullptr, ERROR_ACCESS_DENIED, nullptr},
        {"a relative HOME counts as none", "=rel", nullptr, ERROR_ACCESS_DENIED, nullptr},
        {"an empty HOME counts as none", "=", "=", ERROR_ACCESS_DENIED, nullptr},
    };
    auto value = [&](const char* v) -> std::string {
        if (!v) return "";
        return v[0] == '=' ? std::string(v + 1) : dir.Sub(v);
    };
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(dir.Sub("cwd").c_str()), 0);
    int n = 0;
    for (const Row& r : rows) {
        std::string h = value(r.home), d = value(r.data);
        qtest::ScopedEnv home("HOME", r.home ? h.c_str() : nullptr);
        qtest::ScopedEnv data("XDG_DATA_HOME", r.data ? d.c_str() : nullptr);
        std::string name = "item" + std::to_string(n++);
        std::string item = dir.Write(name, r.what);
        EXPECT_EQ(TrashItem(item.c_str()), r.result) << r.what;
        if (r.trash) {
            EXPECT_EQ(qtest::ReadFile(dir.Sub(r.trash) + "/files/" + name), r.what) << r.what;
            EXPECT_FALSE(Exists(item)) << r.what;
        } else {
            EXPECT_EQ(qtest::ReadFile(item), r.what) << r.what;
        }
    }
    // Nothing was ever made relative to the working directory.
    EXPECT_TRUE(Entries(dir.Sub("cwd")).empty());
    ASSERT_EQ(::chdir(old), 0);
}

TEST_F(TrashTest, ItemsThatCannotBeTrashed) {
    SetLastError(0);
    EXPECT_EQ(Trash(List(dir.Sub("missing"))), static_cast<int>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(TrashItem(nullptr), ERROR_ACCESS_DENIED);
    // The trash cannot go into itself, nor into a directory that holds it.
    dir.Write("data/Trash/files/kept", "kept");
    EXPECT_EQ(TrashItem(trash.c_str()), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(TrashItem(dir.Sub("data").c_str()), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(qtest::ReadFile(Files() + "/kept"), "kept");
    EXPECT_EQ(Entries(Info()), std::vector<std::string>{});
}

// ---- failures leave the item where it was --------------------------------------------------

TEST_F(TrashTest, InjectedFailuresLeaveTheItemInPlace) {
    const fsops::InjectedFault rows[] = {
        {"rename into files/ fails", QSYS_RENAME, 1, EIO, ERROR_GEN_FAILURE},
        {"rename finds the disk full", QSYS_RENAME, 1, ENOSPC, ERROR_DISK_FULL},
        {"the info file cannot be created", QSYS_OPEN, 1, ENOSPC, ERROR_DISK_FULL},
        {"the info file cannot be written", QSYS_WRITE, 1, ENOSPC, ERROR_DISK_FULL},
        {"the info file cannot be closed", QSYS_CLOSE, 1, EIO, ERROR_GEN_FAILURE},
        {"the trash directory cannot be made", QSYS_MKDIR, 1, EACCES, ERROR_FILE_NOT_FOUND},
    };
    int n = 0;
    for (const auto& r : rows) {
        // A fresh trash each time, so that the row's call is the one that fails.
        std::string data = dir.Sub("data" + std::to_string(n));
        qtest::ScopedEnv xdg("XDG_DATA_HOME", data.c_str());
        dir.MakeDir("data" + std::to_string(n));
        std::string item = dir.Write("item" + std::to_string(n++), r.what);
        QSysInjectFault(r.call, r.nth, r.err);
        EXPECT_EQ(Trash(List(item)), static_cast<int>(r.result)) << r.what;
        QSysClearFaults();
        EXPECT_EQ(qtest::ReadFile(item), r.what) << r.what;
        EXPECT_EQ(Entries(data + "/Trash/files"), std::vector<std::string>{}) << r.what;
        EXPECT_EQ(Entries(data + "/Trash/info"), std::vector<std::string>{}) << r.what;
        // Once the fault is gone the same item goes to the trash.
        EXPECT_EQ(Trash(List(item)), 0) << r.what;
        EXPECT_FALSE(Exists(item)) << r.what;
    }
}

// ---- volume trash -------------------------------------------------------------------------

// Which trash directory a top directory offers, made on an ordinary
// directory standing in for the top of a file system.
TEST(VolumeTrash, SharedTrashOnlyWhenStickyAndReal) {
    const uid_t uid = ::geteuid();
    const std::string id = std::to_string(uid);
    struct Row {
        const char* what;
        void (*setup)(const std::string& top, const std::string& id);
        DWORD result;
        const char* chosen; // relative to top
    } rows[] = {
        {"nothing there: .Trash-UID is made", [](const std::string&, const std::string&) {}, 0,
         ".Trash-$"},
        {"sticky .Trash: UID below it",
         [](const std::string& top, const std::string&) {
             ::mkdir((top + "/.Trash").c_str(), 01777);
             ::chmod((top + "/.Trash").c_str(), 01777);
         },
         0, ".Trash/$"},
        {".Trash not sticky is passed over",
         [](const std::string& top, const std::string&) {
             ::mkdir((top + "/.Trash").c_str(), 0777);
             ::chmod((top + "/.Trash").c_str(), 0777);
         },
         0, ".Trash-$"},
        {".Trash a link to a sticky directory is passed over",
         [](const std::string& top, const std::string&) {
             ::mkdir((top + "/sticky").c_str(), 01777);
             ::chmod((top + "/sticky").c_str(), 01777);
             ::symlink("sticky", (top + "/.Trash").c_str());
         },
         0, ".Trash-$"},
        {"UID in the sticky .Trash a link is passed over",
         [](const std::string& top, const std::string& id) {
             ::mkdir((top + "/.Trash").c_str(), 01777);
             ::chmod((top + "/.Trash").c_str(), 01777);
             ::mkdir((top + "/elsewhere").c_str(), 0700);
             ::symlink("../elsewhere", (top + "/.Trash/" + id).c_str());
         },
         0, ".Trash-$"},
        {".Trash-UID a link is refused",
         [](const std::string& top, const std::string& id) {
             ::mkdir((top + "/elsewhere").c_str(), 0700);
             ::symlink("elsewhere", (top + "/.Trash-" + id).c_str());
         },
         ERROR_ACCESS_DENIED, nullptr},
        {".Trash-UID a file is refused",
         [](const std::string& top, const std::string& id) {
             ::close(::open((top + "/.Trash-" + id).c_str(), O_CREAT | O_WRONLY, 0600));
         },
         ERROR_ACCESS_DENIED, nullptr},
    };
    for (const Row& r : rows) {
        qtest::TempDir top;
        r.setup(top.path(), id);
        std::string out = "unchanged";
        EXPECT_EQ(VolumeTrashDir(top.path(), uid, &out), r.result) << r.what;
        if (r.chosen) {
            std::string want = top.path() + "/" + r.chosen;
            want.replace(want.find('$'), 1, id);
            EXPECT_EQ(out, want) << r.what;
            struct stat st = Lstat(want);
            EXPECT_TRUE(S_ISDIR(st.st_mode)) << r.what;
            EXPECT_EQ(st.st_mode & 0777, 0700u) << r.what;
        } else {
            EXPECT_EQ(out, "unchanged") << r.what;
        }
        // Nothing is made through a link.
        EXPECT_EQ(Entries(top.Sub("elsewhere")), std::vector<std::string>{}) << r.what;
        EXPECT_FALSE(Exists(top.Sub("sticky/" + id))) << r.what;
    }
}

// A directory under the user's name that another user made (here root, the
// user being nobody) is never used.
TEST(VolumeTrash, AnotherUsersDirectoryIsRefused) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a directory for another user";
    qtest::TempDir top;
    top.OpenToAll();
    ASSERT_EQ(::mkdir(top.Sub(".Trash-65534").c_str(), 0777), 0);
    ASSERT_EQ(::chmod(top.Sub(".Trash-65534").c_str(), 0777), 0);
    ASSERT_EQ(::mkdir(top.Sub(".Trash").c_str(), 01777), 0);
    ASSERT_EQ(::chmod(top.Sub(".Trash").c_str(), 01777), 0);
    ASSERT_EQ(::mkdir(top.Sub(".Trash/65534").c_str(), 0777), 0);
    ASSERT_EQ(::chmod(top.Sub(".Trash/65534").c_str(), 0777), 0);
    int result = qtest::RunUnprivileged([&] {
        std::string out;
        return static_cast<int>(VolumeTrashDir(top.path(), ::geteuid(), &out));
    });
    EXPECT_EQ(result, static_cast<int>(ERROR_ACCESS_DENIED));
}

// The real thing on a second file system: an item on the tmpfs of /dev/shm
// goes to the trash at its top, /dev/shm/.Trash-UID, not to the home trash;
// the mount point itself cannot be trashed.
TEST_F(TrashTest, TopDirectoryTrashOnAnotherFileSystem) {
    struct stat shm;
    if (::stat("/dev/shm", &shm) != 0) GTEST_SKIP() << "/dev/shm is missing: no second file system";
    ASSERT_NE(shm.st_dev, Lstat(dir.path()).st_dev) << "/dev/shm is not a file system of its own";
    if (Exists("/dev/shm/.Trash"))
        GTEST_SKIP() << "/dev/shm/.Trash exists: the administrator's trash would be used";
    const std::string volumeTrash = "/dev/shm/.Trash-" + std::to_string(::geteuid());

    std::unique_ptr<qtest::TempDir> other;
    {
        qtest::ScopedEnv tmp("TMPDIR", "/dev/shm");
        other = std::make_unique<qtest::TempDir>();
    }
    const std::string leaf = other->path().substr(other->path().rfind('/') + 1);
    const std::string name = leaf + " item";
    std::string item = other->Write(name, "on tmpfs");

    ASSERT_EQ(Trash(List(item)), 0);
    EXPECT_FALSE(Exists(item));
    EXPECT_EQ(qtest::ReadFile(volumeTrash + "/files/" + name), "on tmpfs");
    EXPECT_EQ(InfoPath(volumeTrash + "/info/" + name + ".trashinfo"),
              other->path() + "/" + leaf + "%20item");
    EXPECT_FALSE(Exists(Files() + "/" + name)) << "not the home trash";
    struct stat st = Lstat(volumeTrash);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // The mount point itself would have to leave its file system.
    SetLastError(0);
    EXPECT_EQ(Trash(List("/dev/shm")), static_cast<int>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(Exists(volumeTrash));

    // trash-list reads the volume trash back.
    bool ran;
    std::string listed = RunTrashList(&ran);
    EXPECT_TRUE(ran) << "trash-list did not run; scripts/install-deps installs trash-cli";
    EXPECT_NE(listed.find(" " + item + "\n"), std::string::npos) << listed;

    // Take the item out again. The trash directories stay, as after emptying
    // the trash: another test's trash-list may be reading them right now.
    ::unlink((volumeTrash + "/files/" + name).c_str());
    ::unlink((volumeTrash + "/info/" + name + ".trashinfo").c_str());
}

// trash-list, which reads the trash as every desktop does, finds the home
// trash's items under their original paths, decoded.
TEST_F(TrashTest, TrashListReadsTheHomeTrashBack) {
    std::string spaced = dir.Write("a b.txt", "1");
    std::string accented = dir.Write("caf\xC3\xA9.txt", "2");
    std::string percent = dir.Write("100%.txt", "3");
    for (const std::string& item : {spaced, accented, percent})
        ASSERT_EQ(Trash(List(item)), 0) << item;
    time_t now = ::time(nullptr);

    bool ran;
    std::string listed = RunTrashList(&ran);
    ASSERT_TRUE(ran) << "trash-list did not run; scripts/install-deps installs trash-cli";
    for (const std::string& item : {spaced, accented, percent}) {
        size_t at = listed.find(" " + item + "\n");
        ASSERT_NE(at, std::string::npos) << item << "\n" << listed;
        // "YYYY-MM-DD HH:MM:SS path": the date of the deletion.
        std::string date = listed.substr(listed.rfind('\n', at) + 1, 10);
        std::string today = DateText(now).substr(0, 10), earlier = DateText(now - 5).substr(0, 10);
        EXPECT_TRUE(date == today || date == earlier) << listed;
    }
}

} // namespace
