// SHFileOperationW and the tree copy and removal under it: what a copied
// tree holds (links, fifos, names with "\" and bytes that are no UTF-8,
// read-only directories), what is refused (devices, sockets, a directory into
// itself), renames that never replace, lists that stop at the first failure,
// moves to another file system that keep the source whole until the copy is
// complete, and removal that never follows a link.
#include "fileops_support.h"
#include "internal/shell.h"
#include "internal/sys.h"
#include "shellapi.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

#include <cerrno>
#include <map>
#include <memory>

namespace {

using fsops::Entries;
using fsops::Exists;
using fsops::LinkText;
using fsops::Lstat;
using fsops::OtherFileSystem;
using fsops::Win;

// A source list of POSIX paths in their Windows forms.
std::u16string List(std::initializer_list<std::string> paths) {
    std::u16string list;
    for (const std::string& p : paths) {
        list += Win(p);
        list += u'\0';
    }
    return list;
}

int ShellOp(UINT func, const std::u16string& from, const WCHAR* to, FILEOP_FLAGS flags = 0) {
    SHFILEOPSTRUCTW op{};
    op.wFunc = func;
    op.pFrom = from.c_str();
    op.pTo = to;
    op.fFlags = flags | FOF_NOCONFIRMATION | FOF_SILENT;
    op.fAnyOperationsAborted = TRUE;
    int result = SHFileOperationW(&op);
    EXPECT_EQ(op.fAnyOperationsAborted, FALSE);
    return result;
}

int ShellOp(UINT func, const std::u16string& from, const std::string& to) {
    std::u16string dest = Win(to);
    return ShellOp(func, from, dest.c_str());
}

// What a tree holds: relative path -> "file:<content>", "link:<text>",
// "dir:<mode>", "fifo", "other".
std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> out;
    std::function<void(const std::string&)> walk = [&](const std::string& rel) {
        for (const std::string& name : Entries(root + rel)) {
            std::string r = rel + "/" + name;
            struct stat st = Lstat(root + r);
            if (S_ISLNK(st.st_mode))
                out[r] = "link:" + LinkText(root + r);
            else if (S_ISDIR(st.st_mode)) {
                char mode[8];
                snprintf(mode, sizeof mode, "%04o", st.st_mode & 07777);
                out[r] = std::string("dir:") + mode;
                walk(r);
            } else if (S_ISREG(st.st_mode))
                out[r] = "file:" + qtest::ReadFile(root + r);
            else
                out[r] = S_ISFIFO(st.st_mode) ? "fifo" : "other";
        }
    };
    walk("");
    return out;
}

// A tree with what a copy must carry over as it is: a name holding "\"
// beside the directory it would name if it were taken for a separator, a
// name that is no UTF-8, links (one dangling), a fifo, an empty directory.
void MakeTree(const qtest::TempDir& dir, const std::string& rel) {
    dir.Write(rel + "/file.txt", "one");
    dir.Write(rel + "/sub/evil", "the real sub/evil");
    dir.Write(rel + "/sub\\evil", "a name with a backslash");
    dir.Write(rel + "/bad\xFF name", "bytes");
    dir.MakeDir(rel + "/empty");
    ASSERT_EQ(::symlink("file.txt", dir.Sub(rel + "/link").c_str()), 0);
    ASSERT_EQ(::symlink("../nowhere", dir.Sub(rel + "/sub/dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.Sub(rel + "/pipe").c_str(), 0640), 0);
    ASSERT_EQ(::chmod(dir.Sub(rel + "/sub").c_str(), 0750), 0);
}

// A Unix socket bound at path; the descriptor stays open until the end of
// the test.
int BindSocket(const std::string& path) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0) << path;
    return fd;
}

class ShellOpTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    void TearDown() override { QSysClearFaults(); }
};

// ---- arguments ------------------------------------------------------------------------

TEST_F(ShellOpTest, RecordsThatNameNoOperation) {
    std::string file = dir.Write("file", "kept");
    std::u16string list = List({file});
    std::u16string dest = Win(dir.Sub("dest"));
    struct Row {
        const char* what;
        UINT func;
        const WCHAR* from;
        const WCHAR* to;
    } rows[] = {
        {"empty source list", FO_COPY, u"", dest.c_str()},
        {"null source list", FO_DELETE, nullptr, nullptr},
        {"copy without destination", FO_COPY, list.c_str(), nullptr},
        {"move with an empty destination", FO_MOVE, list.c_str(), u""},
        {"rename without destination", FO_RENAME, list.c_str(), nullptr},
        {"operation 0", 0, list.c_str(), dest.c_str()},
        {"operation 5", 5, list.c_str(), dest.c_str()},
    };
    for (const Row& r : rows) {
        SHFILEOPSTRUCTW op{};
        op.wFunc = r.func;
        op.pFrom = r.from;
        op.pTo = r.to;
        op.fAnyOperationsAborted = TRUE;
        SetLastError(0);
        EXPECT_EQ(SHFileOperationW(&op), static_cast<int>(ERROR_INVALID_PARAMETER)) << r.what;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << r.what;
        EXPECT_EQ(op.fAnyOperationsAborted, FALSE) << r.what;
    }
    EXPECT_EQ(SHFileOperationW(nullptr), static_cast<int>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"file"});
    EXPECT_EQ(qtest::ReadFile(file), "kept");
}

// ---- copy ------------------------------------------------------------------------------

TEST_F(ShellOpTest, CopiedTreeHoldsWhatTheSourceHolds) {
    MakeTree(dir, "src");
    dir.MakeDir("dest");
    auto before = Snapshot(dir.Sub("src"));
    // A fifo that were opened would wait for a writer: the copy runs where a
    // hang shows as a failure.
    int result = fsops::RunWithin(
        20, [&] { return ShellOp(FO_COPY, List({dir.Sub("src")}), dir.Sub("dest")); });
    ASSERT_EQ(result, 0);
    EXPECT_EQ(Snapshot(dir.Sub("dest/src")), before);
    EXPECT_EQ(Snapshot(dir.Sub("src")), before);
    EXPECT_EQ(before.at("/sub\\evil"), "file:a name with a backslash");
    EXPECT_EQ(before.at("/pipe"), "fifo");

    // A trailing separator names the directory itself: it is copied under
    // its own name, not merged into the destination.
    dir.MakeDir("dest2");
    ASSERT_EQ(ShellOp(FO_COPY, List({dir.Sub("src") + "/"}), dir.Sub("dest2")), 0);
    EXPECT_EQ(Entries(dir.Sub("dest2")), std::vector<std::string>{"src"});

    // A file whose name holds "\" is copied as itself, named by its listed
    // form.
    std::u16string listed = Win(dir.Sub("src")) + u"\\sub" + QPOSIX_NAME_ESCAPE_BACKSLASH + u"evil";
    listed += u'\0';
    ASSERT_EQ(ShellOp(FO_COPY, listed, dir.Sub("single")), 0);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("single")), "a name with a backslash");

    // Copying into an existing copy replaces its files with new copies and
    // keeps what it held besides.
    dir.Write("again/file.txt", "new");
    dir.Write("again/sub/deep", "new deep");
    dir.Write("dest/again/file.txt", "old");
    dir.Write("dest/again/sub/deep", "old deep");
    dir.Write("dest/again/extra", "extra");
    ASSERT_EQ(ShellOp(FO_COPY, List({dir.Sub("again")}), dir.Sub("dest")), 0);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("dest/again/file.txt")), "new");
    EXPECT_EQ(qtest::ReadFile(dir.Sub("dest/again/sub/deep")), "new deep");
    EXPECT_EQ(qtest::ReadFile(dir.Sub("dest/again/extra")), "extra");
}

// A read-only directory is copied whole and keeps its mode; the copy of a
// user who may not write into a 0555 directory must still fill it.
TEST_F(ShellOpTest, ReadOnlyDirectoriesAreFilledThenClosed) {
    dir.OpenToAll();
    int result = qtest::RunUnprivileged([&]() -> int {
        std::string base = dir.Sub("ro-copy");
        if (::mkdir(base.c_str(), 0755) != 0) return 100;
        std::string src = base + "/src";
        if (::mkdir(src.c_str(), 0755) != 0) return 101;
        int fd = ::open((src + "/inside").c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd < 0 || ::write(fd, "in", 2) != 2) return 102;
        ::close(fd);
        ::chmod(src.c_str(), 0555);
        mode_t mask = ::umask(022);
        DWORD err = TreeCopy(src.c_str(), (base + "/copy").c_str());
        ::umask(mask);
        if (err) return static_cast<int>(err);
        struct stat st;
        if (::lstat((base + "/copy").c_str(), &st) != 0) return 103;
        if ((st.st_mode & 07777) != 0555) return 104;
        if (qtest::ReadFile(base + "/copy/inside") != "in") return 105;
        return 0;
    });
    EXPECT_EQ(result, 0);
}

TEST_F(ShellOpTest, WhatACopyRefuses) {
    dir.Write("src/a/b/file", "x");
    dir.Write("plain", "plain data");
    ASSERT_EQ(::symlink("src", dir.Sub("alias").c_str()), 0);
    ASSERT_EQ(::mknod(dir.Sub("node").c_str(), S_IFCHR | 0666, ::makedev(1, 5)), 0);
    int sock = BindSocket(dir.Sub("sock"));
    dir.Write("withsock/first", "f");
    int sock2 = BindSocket(dir.Sub("withsock/s"));
    const std::string src = dir.Sub("src");
    struct Row {
        const char* what;
        std::string source;
        std::string target;
        DWORD error;
    } rows[] = {
        {"directory onto itself", src, src, ERROR_INVALID_PARAMETER},
        {"directory into itself", src, src + "/copy", ERROR_INVALID_PARAMETER},
        {"directory deep below itself", src, src + "/a/b/new/deeper", ERROR_INVALID_PARAMETER},
        {"directory below itself through a link", src, dir.Sub("alias/a/copy"),
         ERROR_INVALID_PARAMETER},
        {"directory below itself by dot-dot", src, src + "/a/../a/copy", ERROR_INVALID_PARAMETER},
        {"file onto itself", dir.Sub("plain"), dir.Sub("plain"), ERROR_SHARING_VIOLATION},
        {"a device (zero: reads without end)", dir.Sub("node"), dir.Sub("node-copy"),
         ERROR_ACCESS_DENIED},
        {"a socket", dir.Sub("sock"), dir.Sub("sock-copy"), ERROR_ACCESS_DENIED},
        {"a directory holding a socket", dir.Sub("withsock"), dir.Sub("withsock-copy"),
         ERROR_ACCESS_DENIED},
        {"a directory onto a file", src, dir.Sub("plain"), ERROR_FILE_EXISTS},
        {"a missing source", dir.Sub("missing"), dir.Sub("x"), ERROR_FILE_NOT_FOUND},
        {"a target in a missing directory", dir.Sub("plain"), dir.Sub("no/x"),
         ERROR_PATH_NOT_FOUND},
        {"a path too long", dir.Sub("plain"), dir.Sub(std::string(4100, 'p')),
         ERROR_FILENAME_EXCED_RANGE},
    };
    auto before = Snapshot(src);
    for (const Row& r : rows) {
        int result = fsops::RunWithin(
            10, [&] { return static_cast<int>(TreeCopy(r.source.c_str(), r.target.c_str())); });
        EXPECT_EQ(result, static_cast<int>(r.error)) << r.what;
    }
    EXPECT_EQ(Snapshot(src), before) << "nothing was made inside the source";
    EXPECT_FALSE(Exists(dir.Sub("node-copy")));
    EXPECT_FALSE(Exists(dir.Sub("sock-copy")));
    EXPECT_FALSE(Exists(dir.Sub("withsock-copy/s")));
    EXPECT_EQ(qtest::ReadFile(dir.Sub("plain")), "plain data");

    // Through the shell operation: the destination directory is the source.
    SetLastError(0);
    EXPECT_EQ(ShellOp(FO_COPY, List({src}), src), static_cast<int>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Snapshot(src), before);
    ::close(sock);
    ::close(sock2);
}

// ---- lists, rename, move, delete ----------------------------------------------------------

TEST_F(ShellOpTest, ListsStopAtTheFirstFailure) {
    dir.MakeDir("dest");
    const std::string a = dir.Write("a", "A"), c = dir.Write("c", "C");
    const std::string missing = dir.Sub("missing");
    struct Row {
        const char* what;
        UINT func;
        DWORD error;
    } rows[] = {
        {"copy", FO_COPY, ERROR_FILE_NOT_FOUND},
        {"move", FO_MOVE, ERROR_FILE_NOT_FOUND},
        {"delete", FO_DELETE, ERROR_FILE_NOT_FOUND},
    };
    for (const Row& r : rows) {
        dir.Write("a", "A");
        ::unlink(dir.Sub("dest/a").c_str());
        SetLastError(0);
        EXPECT_EQ(ShellOp(r.func, List({a, missing, c}), dir.Sub("dest")),
                  static_cast<int>(r.error))
            << r.what;
        EXPECT_EQ(GetLastError(), r.error) << r.what;
        // The first item was done, the third not touched.
        EXPECT_EQ(Exists(a), r.func == FO_COPY) << r.what;
        EXPECT_EQ(Exists(dir.Sub("dest/a")), r.func != FO_DELETE) << r.what;
        EXPECT_EQ(qtest::ReadFile(c), "C") << r.what;
        EXPECT_FALSE(Exists(dir.Sub("dest/c"))) << r.what;
    }
}

TEST_F(ShellOpTest, RenameNeverReplaces) {
    struct Row {
        const char* what;
        const char* from;
        const char* to;
        DWORD error;
    } rows[] = {
        {"a free name", "f1", "g1", 0},
        {"a directory", "d1", "e1", 0},
        {"onto another file", "f2", "taken", ERROR_ALREADY_EXISTS},
        {"onto a directory", "f3", "dir", ERROR_ALREADY_EXISTS},
        {"a directory onto an empty directory", "d2", "emptydir", ERROR_ALREADY_EXISTS},
        {"onto another of its own names", "f4", "f4-hardlink", 0},
        {"into a missing directory", "f5", "no/f5", ERROR_PATH_NOT_FOUND},
        {"a missing source", "missing", "x", ERROR_FILE_NOT_FOUND},
        {"a directory into itself", "d3", "d3/inside", ERROR_INVALID_PARAMETER},
    };
    for (const char* f : {"f1", "f2", "f3", "f4", "f5"})
        dir.Write(f, f);
    dir.Write("taken", "taken");
    dir.Write("dir/x", "x");
    dir.Write("d1/x", "d1");
    dir.Write("d2/x", "d2");
    dir.Write("d3/x", "d3");
    dir.MakeDir("emptydir");
    ASSERT_EQ(::link(dir.Sub("f4").c_str(), dir.Sub("f4-hardlink").c_str()), 0);
    for (const Row& r : rows) {
        std::u16string to = Win(dir.Sub(r.to));
        EXPECT_EQ(ShellOp(FO_RENAME, List({dir.Sub(r.from)}), to.c_str()),
                  static_cast<int>(r.error))
            << r.what;
    }
    EXPECT_EQ(qtest::ReadFile(dir.Sub("g1")), "f1");
    EXPECT_EQ(qtest::ReadFile(dir.Sub("e1/x")), "d1");
    EXPECT_EQ(qtest::ReadFile(dir.Sub("taken")), "taken");
    EXPECT_EQ(qtest::ReadFile(dir.Sub("f2")), "f2");
    EXPECT_EQ(Entries(dir.Sub("dir")), std::vector<std::string>{"x"});
    EXPECT_EQ(qtest::ReadFile(dir.Sub("d2/x")), "d2");
    EXPECT_TRUE(Exists(dir.Sub("emptydir")));
    EXPECT_EQ(qtest::ReadFile(dir.Sub("d3/x")), "d3");
}

TEST_F(ShellOpTest, MoveOnOneFileSystemRenames) {
    dir.Write("tree/a", "a");
    dir.Write("file", "moved");
    dir.Write("dest/file", "replaced by the move");
    ino_t inode = Lstat(dir.Sub("tree/a")).st_ino;
    ASSERT_EQ(ShellOp(FO_MOVE, List({dir.Sub("tree"), dir.Sub("file")}), dir.Sub("dest")), 0);
    EXPECT_EQ(Lstat(dir.Sub("dest/tree/a")).st_ino, inode) << "renamed, not copied";
    EXPECT_EQ(qtest::ReadFile(dir.Sub("dest/file")), "moved");
    EXPECT_FALSE(Exists(dir.Sub("tree")));
    EXPECT_FALSE(Exists(dir.Sub("file")));
    // A directory cannot move below itself.
    EXPECT_EQ(ShellOp(FO_MOVE, List({dir.Sub("dest")}), dir.Sub("dest/tree")),
              static_cast<int>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(qtest::ReadFile(dir.Sub("dest/tree/a")), "a");
}

TEST_F(ShellOpTest, DeleteRemovesTreesWithoutFollowingLinks) {
    dir.Write("outside/precious", "must stay");
    dir.Write("tree/sub/file", "x");
    dir.Write("tree/readonly", "r");
    ASSERT_EQ(::chmod(dir.Sub("tree/readonly").c_str(), 0444), 0);
    ASSERT_EQ(::symlink(dir.Sub("outside").c_str(), dir.Sub("tree/sub/dirlink").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Sub("outside").c_str(), dir.Sub("toplink").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.Sub("tree/pipe").c_str(), 0600), 0);
    ASSERT_EQ(ShellOp(FO_DELETE, List({dir.Sub("tree"), dir.Sub("toplink")}), nullptr), 0);
    EXPECT_FALSE(Exists(dir.Sub("tree")));
    EXPECT_FALSE(Exists(dir.Sub("toplink")));
    EXPECT_EQ(qtest::ReadFile(dir.Sub("outside/precious")), "must stay");

    struct Row {
        const char* what;
        std::string path;
        DWORD error;
    } rows[] = {
        {"missing", dir.Sub("missing"), ERROR_FILE_NOT_FOUND},
        {"in a missing directory", dir.Sub("no/x"), ERROR_PATH_NOT_FOUND},
    };
    for (const Row& r : rows)
        EXPECT_EQ(TreeRemove(r.path.c_str()), r.error) << r.what;

    // A failure stops the removal with its code; what is left stays whole.
    dir.Write("tree2/a/1", "1");
    dir.Write("tree2/b/2", "2");
    QSysInjectFault(QSYS_UNLINK, 2, EIO);
    EXPECT_EQ(TreeRemove(dir.Sub("tree2").c_str()), ERROR_GEN_FAILURE);
    QSysClearFaults();
    EXPECT_TRUE(Exists(dir.Sub("tree2")));
    QSysInjectFault(QSYS_READDIR, 1, EIO);
    EXPECT_EQ(TreeRemove(dir.Sub("tree2").c_str()), ERROR_GEN_FAILURE);
    QSysClearFaults();
    EXPECT_TRUE(Exists(dir.Sub("tree2")));
}

// ---- moves to another file system ---------------------------------------------------------

class CrossMoveTest : public ShellOpTest {
  protected:
    void SetUp() override {
        other = std::make_unique<OtherFileSystem>();
        if (!other->available()) GTEST_SKIP() << "/dev/shm is missing: no second file system";
        ASSERT_NE(Lstat(dir.path()).st_dev, Lstat(other->dir().path()).st_dev);
    }
    std::unique_ptr<OtherFileSystem> other;
};

TEST_F(CrossMoveTest, TreeIsCopiedThenTheSourceRemoved) {
    MakeTree(dir, "src");
    std::string big = fsops::Pattern(3 << 20, 7);
    dir.Write("src/sub/big", big);
    auto before = Snapshot(dir.Sub("src"));
    std::string dest = other->dir().path();
    int result =
        fsops::RunWithin(20, [&] { return ShellOp(FO_MOVE, List({dir.Sub("src")}), dest); });
    ASSERT_EQ(result, 0);
    EXPECT_FALSE(Exists(dir.Sub("src")));
    EXPECT_EQ(Snapshot(dest + "/src"), before);
    EXPECT_EQ(before.at("/link"), "link:file.txt");
    EXPECT_EQ(before.at("/sub/dangling"), "link:../nowhere");

    // A single file and a link move too, the link as a link.
    dir.Write("lone", "lone file");
    ASSERT_EQ(::symlink("lone", dir.Sub("lonelink").c_str()), 0);
    ASSERT_EQ(ShellOp(FO_MOVE, List({dir.Sub("lone"), dir.Sub("lonelink")}), dest), 0);
    EXPECT_EQ(qtest::ReadFile(dest + "/lone"), "lone file");
    EXPECT_EQ(LinkText(dest + "/lonelink"), "lone");
    EXPECT_FALSE(Exists(dir.Sub("lone")));
    EXPECT_FALSE(Exists(dir.Sub("lonelink")));
}

// Whatever fails on the way, the source stays as it was: it is removed only
// after the whole tree has been copied.
TEST_F(CrossMoveTest, AFailedCopyLeavesTheSourceWhole) {
    const fsops::InjectedFault rows[] = {
        {"a file cannot be opened", QSYS_OPEN, 3, ENOSPC, ERROR_DISK_FULL},
        {"a write fails", QSYS_WRITE, 1, EIO, ERROR_GEN_FAILURE},
        {"data cannot be copied", QSYS_COPY_FILE_RANGE, 1, EIO, ERROR_GEN_FAILURE},
        {"a subdirectory cannot be made", QSYS_MKDIR, 2, ENOSPC, ERROR_DISK_FULL},
        {"a link cannot be made", QSYS_SYMLINK, 1, EIO, ERROR_GEN_FAILURE},
        {"a link cannot be read", QSYS_READLINK, 1, EIO, ERROR_GEN_FAILURE},
        {"a directory cannot be listed", QSYS_READDIR, 2, EIO, ERROR_GEN_FAILURE},
        {"a copy cannot be flushed", QSYS_FSYNC, 1, EIO, ERROR_GEN_FAILURE},
    };
    int n = 0;
    for (const auto& r : rows) {
        std::string name = "src" + std::to_string(n++);
        dir.Write(name + "/a.txt", "a");
        dir.Write(name + "/sub/b.txt", fsops::Pattern(100000, 3));
        dir.Write(name + "/sub/deeper/c.txt", "c");
        ASSERT_EQ(::symlink("a.txt", dir.Sub(name + "/link").c_str()), 0);
        auto before = Snapshot(dir.Sub(name));
        // Reads and writes stand in for copy_file_range where it is not
        // served; either way one data step fails.
        if (r.call == QSYS_WRITE) QSysInjectFault(QSYS_COPY_FILE_RANGE, 1, EXDEV);
        QSysInjectFault(r.call, r.nth, r.err);
        EXPECT_EQ(ShellOp(FO_MOVE, List({dir.Sub(name)}), other->dir().path()),
                  static_cast<int>(r.result))
            << r.what;
        QSysClearFaults();
        EXPECT_EQ(Snapshot(dir.Sub(name)), before) << r.what;
    }

    // A socket cannot be copied: the move fails and keeps its source.
    dir.Write("withsock/data", "d");
    int sock = BindSocket(dir.Sub("withsock/sock"));
    EXPECT_EQ(ShellOp(FO_MOVE, List({dir.Sub("withsock")}), other->dir().path()),
              static_cast<int>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(qtest::ReadFile(dir.Sub("withsock/data")), "d");
    ::close(sock);

    // A directory on this file system cannot be moved below itself through
    // the other one either: a mount inside it is not a way out.
    EXPECT_EQ(TreeCopy(dir.path().c_str(), (dir.path() + "/src0/x").c_str(), true),
              ERROR_INVALID_PARAMETER);
}

// When the removal of the source fails after a complete copy, the error is
// reported and every file is still somewhere: the copy is whole.
TEST_F(CrossMoveTest, AFailedRemovalAfterTheCopyLosesNothing) {
    dir.Write("src/a", "a");
    dir.Write("src/b/c", "c");
    auto before = Snapshot(dir.Sub("src"));
    QSysInjectFault(QSYS_RMDIR, 1, EBUSY);
    EXPECT_EQ(ShellOp(FO_MOVE, List({dir.Sub("src")}), other->dir().path()),
              static_cast<int>(ERROR_SHARING_VIOLATION));
    QSysClearFaults();
    EXPECT_EQ(Snapshot(other->dir().Sub("src")), before);
}

} // namespace
