// Copy and move: the decisions on existing destinations, what a copy carries
// over, sources and destinations that are not regular files, the progress
// routine and cancel flag, moves across file systems, and injected failures
// of every system call on the way, after each of which no data is lost.
#include "fileops_support.h"
#include "internal/sys.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

#include <cerrno>
#include <memory>
#include <thread>

namespace {

using fsops::Entries;
using fsops::Exists;
using fsops::LinkText;
using fsops::Lstat;
using fsops::OtherFileSystem;
using fsops::Pattern;
using fsops::Win;

void Put(const std::string& path, const std::string& content, mode_t mode = 0644) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0) << path;
    ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ::fchmod(fd, mode);
    ::close(fd);
}

void SetTimes(const std::string& path, time_t atime, long ans, time_t mtime, long mns) {
    struct timespec ts[2] = {{atime, ans}, {mtime, mns}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), ts, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// True when no temporary name of a replacing copy is left in dir.
bool NoTemporaries(const std::string& dir) {
    for (const std::string& n : Entries(dir))
        if (n.rfind(".qcopy-", 0) == 0) return false;
    return true;
}

BOOL Copy(const std::string& from, const std::string& to, BOOL failIfExists = FALSE) {
    return CopyFileW(Win(from).c_str(), Win(to).c_str(), failIfExists);
}

class CopyTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    void TearDown() override { QSysClearFaults(); }
};

// ---- decisions on sources and destinations ---------------------------------

TEST_F(CopyTest, EdgeCasesOfSourcesAndDestinations) {
    struct Row {
        const char* what;
        void (*setup)(const std::string& d);
        const char* src;
        const char* dst;
        bool failIfExists;
        DWORD error;       // 0: the copy succeeds
        const char* after; // destination content afterwards (through links); null: no entry
    };
    const Row rows[] = {
        {"new destination", [](const std::string& d) { Put(d + "/src", "new data"); }, "src", "dst",
         false, 0, "new data"},
        {"fail-if-exists with a free name",
         [](const std::string& d) { Put(d + "/src", "new data"); }, "src", "dst", true, 0,
         "new data"},
        {"existing file is replaced",
         [](const std::string& d) {
             Put(d + "/src", "new data");
             Put(d + "/dst", "old");
         },
         "src", "dst", false, 0, "new data"},
        {"empty source", [](const std::string& d) { Put(d + "/src", ""); }, "src", "dst", false, 0,
         ""},
        {"fail-if-exists on an existing file",
         [](const std::string& d) {
             Put(d + "/src", "new data");
             Put(d + "/dst", "old");
         },
         "src", "dst", true, ERROR_FILE_EXISTS, "old"},
        {"onto itself", [](const std::string& d) { Put(d + "/src", "new data"); }, "src", "src",
         false, ERROR_SHARING_VIOLATION, "new data"},
        {"onto a hard link of itself",
         [](const std::string& d) {
             Put(d + "/src", "new data");
             ASSERT_EQ(::link((d + "/src").c_str(), (d + "/dst").c_str()), 0);
         },
         "src", "dst", false, ERROR_SHARING_VIOLATION, "new data"},
        {"onto a link to itself",
         [](const std::string& d) {
             Put(d + "/src", "new data");
             ASSERT_EQ(::symlink("src", (d + "/dst").c_str()), 0);
         },
         "src", "dst", false, ERROR_SHARING_VIOLATION, "new data"},
        {"onto a read-only file",
         [](const std::string& d) {
             Put(d + "/src", "new data");
             Put(d + "/dst", "old", 0444);
         },
         "src", "dst", false, ERROR_ACCESS_DENIED, "old"},
        {"onto a directory",
         [](const std::string& d) {
             Put(d + "/src", "new data");
             ASSERT_EQ(::mkdir((d + "/dst").c_str(), 0755), 0);
         },
         "src", "dst", false, ERROR_ACCESS_DENIED, nullptr},
        {"missing source", [](const std::string&) {}, "src", "dst", false, ERROR_FILE_NOT_FOUND,
         nullptr},
        {"source in a missing directory", [](const std::string&) {}, "nodir/src", "dst", false,
         ERROR_PATH_NOT_FOUND, nullptr},
        {"source is a directory",
         [](const std::string& d) { ASSERT_EQ(::mkdir((d + "/src").c_str(), 0755), 0); }, "src",
         "dst", false, ERROR_ACCESS_DENIED, nullptr},
        {"destination in a missing directory",
         [](const std::string& d) { Put(d + "/src", "new data"); }, "src", "nodir/dst", false,
         ERROR_PATH_NOT_FOUND, nullptr},
        {"onto a link to another file: its target takes the data",
         [](const std::string& d) {
             Put(d + "/src", "new data");
             Put(d + "/target", "old");
             ASSERT_EQ(::symlink("target", (d + "/dst").c_str()), 0);
         },
         "src", "dst", false, 0, "new data"},
        {"onto a dangling link: the link is replaced",
         [](const std::string& d) {
             Put(d + "/src", "new data");
             ASSERT_EQ(::symlink("nowhere", (d + "/dst").c_str()), 0);
         },
         "src", "dst", false, 0, "new data"},
        {"fail-if-exists on a dangling link",
         [](const std::string& d) {
             Put(d + "/src", "new data");
             ASSERT_EQ(::symlink("nowhere", (d + "/dst").c_str()), 0);
         },
         "src", "dst", true, ERROR_FILE_EXISTS, nullptr},
    };
    int i = 0;
    for (const Row& r : rows) {
        std::string d = dir.MakeDir("row" + std::to_string(i++));
        r.setup(d);
        std::string src = d + "/" + r.src;
        std::string dst = d + "/" + r.dst;
        std::string before = qtest::ReadFile(src);
        bool srcExisted = Exists(src);
        SetLastError(0xBEEF);
        BOOL ok = Copy(src, dst, r.failIfExists);
        EXPECT_EQ(ok, r.error == 0) << r.what;
        EXPECT_EQ(GetLastError(), r.error ? r.error : 0xBEEF) << r.what;
        EXPECT_EQ(Exists(src), srcExisted) << r.what;
        EXPECT_EQ(qtest::ReadFile(src), before) << r.what;
        struct stat st;
        if (r.after) {
            EXPECT_EQ(::stat(dst.c_str(), &st), 0) << r.what;
            EXPECT_EQ(qtest::ReadFile(dst), r.after) << r.what;
        } else {
            EXPECT_FALSE(::lstat(dst.c_str(), &st) == 0 && S_ISREG(st.st_mode)) << r.what;
        }
        EXPECT_TRUE(NoTemporaries(d)) << r.what;
    }
    // The link to another file is still a link; its target took the data.
    EXPECT_EQ(LinkText(dir.Sub("row14/dst")), "target");
    EXPECT_EQ(qtest::ReadFile(dir.Sub("row14/target")), "new data");
    // A dangling link is replaced by the copy; nothing appears where it pointed.
    EXPECT_TRUE(S_ISREG(Lstat(dir.Sub("row15/dst")).st_mode));
    EXPECT_FALSE(Exists(dir.Sub("row15/nowhere")));
    // With fail-if-exists the dangling link stays as it was.
    EXPECT_EQ(LinkText(dir.Sub("row16/dst")), "nowhere");
    EXPECT_FALSE(Exists(dir.Sub("row16/nowhere")));
}

TEST_F(CopyTest, NullAndEmptyNames) {
    std::u16string src = Win(dir.Write("src", "x"));
    std::u16string dst = Win(dir.Sub("dst"));
    struct Row {
        const char* what;
        const WCHAR* from;
        const WCHAR* to;
        DWORD error;
    } rows[] = {
        {"null source", nullptr, dst.c_str(), ERROR_INVALID_PARAMETER},
        {"null destination", src.c_str(), nullptr, ERROR_INVALID_PARAMETER},
        {"empty source", u"", dst.c_str(), ERROR_PATH_NOT_FOUND},
        {"empty destination", src.c_str(), u"", ERROR_PATH_NOT_FOUND},
    };
    for (const Row& r : rows) {
        SetLastError(0xBEEF);
        EXPECT_FALSE(CopyFileW(r.from, r.to, FALSE)) << r.what;
        EXPECT_EQ(GetLastError(), r.error) << r.what;
        SetLastError(0xBEEF);
        EXPECT_FALSE(MoveFileW(r.from, r.to)) << r.what;
        EXPECT_EQ(GetLastError(), r.error) << r.what;
    }
    EXPECT_EQ(qtest::ReadFile(dir.Sub("src")), "x");
    EXPECT_FALSE(Exists(dir.Sub("dst")));
}

// Mode (with setuid and setgid), owner, group and both times with their
// nanoseconds, for a new destination and for one that is replaced.
TEST_F(CopyTest, CopyCarriesModeOwnerAndTimes) {
    std::string src = dir.Write("src", Pattern(70000, 1));
    bool root = ::geteuid() == 0;
    uid_t uid = root ? 1234 : ::geteuid();
    gid_t gid = root ? 5678 : ::getegid();
    ASSERT_EQ(::chown(src.c_str(), uid, gid), 0);
    ASSERT_EQ(::chmod(src.c_str(), root ? 06751 : 0751), 0);
    dir.Write("existing", "old content");
    for (const char* name : {"new", "existing"}) {
        std::string dst = dir.Sub(name);
        SetTimes(src, 1000000000, 123456789, 1234567890, 987654321); // reading moves atime
        ASSERT_TRUE(Copy(src, dst)) << name;
        struct stat s = Lstat(src), d = Lstat(dst);
        EXPECT_EQ(d.st_mode & 07777, s.st_mode & 07777) << name;
        EXPECT_EQ(d.st_uid, uid) << name;
        EXPECT_EQ(d.st_gid, gid) << name;
        EXPECT_EQ(d.st_mtim.tv_sec, 1234567890) << name;
        EXPECT_EQ(d.st_mtim.tv_nsec, 987654321) << name;
        EXPECT_EQ(d.st_atim.tv_sec, 1000000000) << name;
        EXPECT_EQ(d.st_atim.tv_nsec, 123456789) << name;
        EXPECT_EQ(qtest::ReadFile(dst), qtest::ReadFile(src)) << name;
    }
    EXPECT_TRUE(NoTemporaries(dir.path()));
}

// A fifo, device or socket as source is refused at once: opening a fifo
// would wait for a writer forever, a device like /dev/zero would never end.
// Each call runs in a child that is killed if it blocks.
TEST_F(CopyTest, NonRegularSourcesAreRefusedWithoutBlocking) {
    ASSERT_EQ(::mkfifo(dir.Sub("fifo").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("/dev/zero", dir.Sub("zerolink").c_str()), 0);
    int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::string sockPath = dir.Sub("sock");
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, sockPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(sock, 1), 0);

    struct Row {
        const char* what;
        std::string source;
    } rows[] = {
        {"fifo without a writer", dir.Sub("fifo")},
        {"endless character device", "/dev/zero"},
        {"link to an endless device", dir.Sub("zerolink")},
        {"listening socket", sockPath},
    };
    for (const Row& r : rows) {
        std::string dst = dir.Sub("copy");
        int result = fsops::RunWithin(10, [&] {
            SetLastError(0xBEEF);
            if (Copy(r.source, dst)) return 1;
            if (GetLastError() != ERROR_ACCESS_DENIED) return 2;
            return Exists(dst) ? 3 : 0;
        });
        EXPECT_EQ(result, 0) << r.what << " (-1: the copy blocked)";
    }
    ::close(sock);
    EXPECT_TRUE(S_ISFIFO(Lstat(dir.Sub("fifo")).st_mode));
}

// Files of /proc report size 0 and have data; the copy has all of it.
TEST_F(CopyTest, FileReportingSizeZeroIsCopiedWhole) {
    std::string expected = qtest::ReadFile("/proc/self/cmdline");
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(Lstat("/proc/self/cmdline").st_size, 0);
    ASSERT_TRUE(Copy("/proc/self/cmdline", dir.Sub("cmdline")));
    EXPECT_EQ(qtest::ReadFile(dir.Sub("cmdline")), expected);
}

// A device or fifo destination takes the data in place. It is never
// removed, truncated or given the source's mode, not even after a failure.
TEST_F(CopyTest, DeviceAndFifoDestinationsAreWrittenInPlaceAndNeverRemoved) {
    std::string src = dir.Write("src", Pattern(3 << 20, 2));
    ASSERT_EQ(::chmod(src.c_str(), 0600), 0);
    std::string node = dir.Sub("null");
    ASSERT_EQ(::mknod(node.c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0)
        << "making a device node needs root, which the test runs as";
    ASSERT_EQ(::chmod(node.c_str(), 0666), 0);

    EXPECT_TRUE(Copy(src, node));
    // The copy fails half way: the node stays as it was.
    QSysInjectFault(QSYS_COPY_FILE_RANGE, 1, EXDEV);
    QSysInjectFault(QSYS_WRITE, 2, ENOSPC);
    SetLastError(0xBEEF);
    EXPECT_FALSE(Copy(src, node));
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    QSysClearFaults();
    struct stat st = Lstat(node);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0666u);
    EXPECT_EQ(st.st_rdev, ::makedev(1, 3));

    // A fifo with a reader gets all the data and stays a fifo.
    std::string fifo = dir.Sub("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    std::string received;
    std::thread reader([&] { received = qtest::ReadFile(fifo); });
    // The reader must be there before the copy opens the fifo.
    int result = -1;
    for (int tries = 0; tries < 200 && result != 0; tries++) {
        result = Copy(src, fifo) ? 0 : 1;
        if (result) ::usleep(10000);
    }
    if (result != 0) {
        // Let the reader go: open and close the writing end once.
        int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (w >= 0) ::close(w);
    }
    reader.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(received, qtest::ReadFile(src));
    EXPECT_TRUE(S_ISFIFO(Lstat(fifo).st_mode));
    EXPECT_EQ(Lstat(fifo).st_mode & 07777, 0644u);

    // Without a reader the copy fails at once rather than waiting.
    int blocked = fsops::RunWithin(10, [&] { return Copy(src, fifo) ? 1 : 0; });
    EXPECT_EQ(blocked, 0) << "-1: the copy waited for a reader";
    EXPECT_TRUE(S_ISFIFO(Lstat(fifo).st_mode));
}

// ---- progress routine and cancel flag ----------------------------------------

struct ProgressCall {
    int64_t total;
    int64_t done;
    DWORD reason;
    DWORD stream;
    int64_t sourceSize;
    int64_t destSize;
};

struct Recorder {
    std::vector<ProgressCall> calls;
    size_t answerAt = SIZE_MAX; // index of the call that answers `answer`
    DWORD answer = PROGRESS_CONTINUE;
    BOOL* cancel = nullptr; // set at call answerAt instead, when given
    HANDLE source = nullptr;
    HANDLE dest = nullptr;
};

DWORD Record(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER streamSize,
             LARGE_INTEGER streamDone, DWORD stream, DWORD reason, HANDLE source, HANDLE dest,
             LPVOID data) {
    auto* r = static_cast<Recorder*>(data);
    LARGE_INTEGER ss{}, ds{};
    GetFileSizeEx(source, &ss);
    GetFileSizeEx(dest, &ds);
    EXPECT_EQ(streamSize.QuadPart, total.QuadPart);
    EXPECT_EQ(streamDone.QuadPart, done.QuadPart);
    r->calls.push_back({total.QuadPart, done.QuadPart, reason, stream, ss.QuadPart, ds.QuadPart});
    r->source = source;
    r->dest = dest;
    if (r->calls.size() - 1 == r->answerAt) {
        if (r->cancel) {
            *r->cancel = TRUE;
            return PROGRESS_CONTINUE;
        }
        return r->answer;
    }
    return PROGRESS_CONTINUE;
}

TEST_F(CopyTest, ProgressRoutineSeesEveryStepThroughItsHandles) {
    const int64_t size = (5 << 20) / 2; // 2.5 MiB: steps of 1, 1 and 0.5 MiB
    std::string src = dir.Write("src", Pattern(static_cast<size_t>(size), 3));
    for (bool readWrite : {false, true}) {
        SCOPED_TRACE(readWrite ? "read and write" : "copy_file_range");
        std::string dst = dir.Sub(readWrite ? "rw" : "cfr");
        if (readWrite) QSysInjectFault(QSYS_COPY_FILE_RANGE, 1, EXDEV);
        Recorder rec;
        BOOL cancel = FALSE;
        ASSERT_TRUE(CopyFileExW(Win(src).c_str(), Win(dst).c_str(), Record, &rec, &cancel, 0));
        ASSERT_EQ(rec.calls.size(), 4u);
        const int64_t expectDone[] = {0, 1 << 20, 2 << 20, size};
        for (size_t i = 0; i < rec.calls.size(); i++) {
            const ProgressCall& c = rec.calls[i];
            EXPECT_EQ(c.total, size) << i;
            EXPECT_EQ(c.done, expectDone[i]) << i;
            EXPECT_EQ(c.stream, 1u) << i;
            EXPECT_EQ(c.sourceSize, size) << i;
            EXPECT_EQ(c.destSize, c.done) << i; // the handle is on the file being written
            EXPECT_EQ(c.reason, i ? CALLBACK_CHUNK_FINISHED : CALLBACK_STREAM_SWITCH) << i;
        }
        // The copy closed the handles it gave the routine.
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(rec.source));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_FALSE(CloseHandle(rec.dest));
        EXPECT_EQ(qtest::ReadFile(dst), qtest::ReadFile(src));
        QSysClearFaults();
    }
}

TEST_F(CopyTest, ProgressAnswersAndCancelFlag) {
    const std::string data = Pattern(3 << 20, 4);
    struct Row {
        const char* what;
        bool existing; // the destination holds an old file
        size_t at;     // call that answers (0: the stream switch)
        DWORD answer;
        bool viaFlag; // the routine sets the cancel flag instead
        DWORD error;
        size_t calls;      // calls the routine gets
        const char* after; // "new", "old", "partial" (the first MiB), "none"
    } rows[] = {
        {"cancel at the start", false, 0, PROGRESS_CANCEL, false, ERROR_REQUEST_ABORTED, 1, "none"},
        {"cancel after a step", false, 1, PROGRESS_CANCEL, false, ERROR_REQUEST_ABORTED, 2, "none"},
        {"cancel keeps the old file", true, 2, PROGRESS_CANCEL, false, ERROR_REQUEST_ABORTED, 3,
         "old"},
        {"stop keeps what a new copy has", false, 1, PROGRESS_STOP, false, ERROR_REQUEST_ABORTED, 2,
         "partial"},
        {"stop keeps the old file whole", true, 1, PROGRESS_STOP, false, ERROR_REQUEST_ABORTED, 2,
         "old"},
        {"quiet: no further calls", false, 1, PROGRESS_QUIET, false, 0, 2, "new"},
        {"unknown answer continues", false, 1, 77, false, 0, 4, "new"},
        {"cancel flag", false, 1, 0, true, ERROR_REQUEST_ABORTED, 2, "none"},
        {"cancel flag keeps the old file", true, 2, 0, true, ERROR_REQUEST_ABORTED, 3, "old"},
    };
    int i = 0;
    for (const Row& r : rows) {
        std::string d = dir.MakeDir("row" + std::to_string(i++));
        std::string src = d + "/src";
        std::string dst = d + "/dst";
        Put(src, data);
        if (r.existing) Put(dst, "old");
        QSysInjectFault(QSYS_COPY_FILE_RANGE, 1, EXDEV); // exact 1 MiB steps
        Recorder rec;
        BOOL cancel = FALSE;
        rec.answerAt = r.at;
        rec.answer = r.answer;
        if (r.viaFlag) rec.cancel = &cancel;
        SetLastError(0xBEEF);
        BOOL ok = CopyFileExW(Win(src).c_str(), Win(dst).c_str(), Record, &rec, &cancel, 0);
        QSysClearFaults();
        EXPECT_EQ(ok, r.error == 0) << r.what;
        EXPECT_EQ(GetLastError(), r.error ? r.error : 0xBEEF) << r.what;
        EXPECT_EQ(rec.calls.size(), r.calls) << r.what;
        EXPECT_EQ(qtest::ReadFile(src), data) << r.what;
        std::string after = r.after;
        std::string expected = after == "old"       ? "old"
                               : after == "new"     ? data
                               : after == "partial" ? data.substr(0, 1 << 20)
                                                    : "";
        EXPECT_EQ(Exists(dst), after != "none") << r.what;
        EXPECT_EQ(qtest::ReadFile(dst), expected) << r.what;
        EXPECT_TRUE(NoTemporaries(d)) << r.what;
    }
}

// ---- injected failures -------------------------------------------------------

struct FaultRow {
    const char* what;
    QSysCall call;
    unsigned nth;
    int err;
    bool readWrite; // copy_file_range refused first, so reads and writes carry the data
    bool failsNew;  // the fault is met when the destination is new
    bool failsOld;  // ... and when it replaces an old file
    DWORD error;
    bool keepsCopy = false; // a failed move whose copy was complete keeps both files
};

// After every failure the source is byte for byte what it was, and the
// destination is the old file or absent, never a part; after a success it is
// the whole new data. No temporary name is left behind.
TEST_F(CopyTest, InjectedFailuresNeverLeaveAPartialDestination) {
    const std::string data = Pattern((7 << 20) / 2, 5); // 3.5 MiB: four steps
    const FaultRow rows[] = {
        {"source cannot be opened", QSYS_OPEN, 1, EIO, false, true, true, ERROR_GEN_FAILURE},
        {"destination cannot be created", QSYS_OPEN, 2, EACCES, false, true, true,
         ERROR_ACCESS_DENIED},
        {"first read fails", QSYS_READ, 1, EIO, true, true, true, ERROR_GEN_FAILURE},
        {"read of the last step fails", QSYS_READ, 4, EIO, true, true, true, ERROR_GEN_FAILURE},
        {"read at the end fails", QSYS_READ, 5, EIO, true, true, true, ERROR_GEN_FAILURE},
        {"interrupted read is repeated", QSYS_READ, 2, EINTR, true, false, false, 0},
        {"first write: disk full", QSYS_WRITE, 1, ENOSPC, true, true, true, ERROR_DISK_FULL},
        {"last write: disk full", QSYS_WRITE, 4, ENOSPC, true, true, true, ERROR_DISK_FULL},
        {"write refused", QSYS_WRITE, 2, EACCES, true, true, true, ERROR_ACCESS_DENIED},
        {"interrupted write is repeated", QSYS_WRITE, 3, EINTR, true, false, false, 0},
        {"copy_file_range fails in the middle", QSYS_COPY_FILE_RANGE, 2, EIO, false, true, true,
         ERROR_GEN_FAILURE},
        {"copy_file_range: disk full", QSYS_COPY_FILE_RANGE, 4, ENOSPC, false, true, true,
         ERROR_DISK_FULL},
        {"copy_file_range unsupported in the middle: reads take over", QSYS_COPY_FILE_RANGE, 3,
         EOPNOTSUPP, false, false, false, 0},
        {"flush before replacing fails", QSYS_FSYNC, 1, EIO, false, false, true, ERROR_GEN_FAILURE},
        {"close of the copy fails", QSYS_CLOSE, 1, EIO, false, true, true, ERROR_GEN_FAILURE},
        {"rename over the old file fails", QSYS_RENAME, 1, EIO, false, false, true,
         ERROR_GEN_FAILURE},
        {"mode cannot be set: the data stays", QSYS_CHMOD, 1, EPERM, false, false, false, 0},
    };
    int i = 0;
    for (const FaultRow& r : rows) {
        for (bool existing : {false, true}) {
            SCOPED_TRACE(std::string(r.what) +
                         (existing ? ", old destination" : ", new destination"));
            std::string d = dir.MakeDir("row" + std::to_string(i++));
            std::string src = d + "/src";
            std::string dst = d + "/dst";
            Put(src, data, 0640);
            if (existing) Put(dst, "old destination");
            if (r.readWrite) QSysInjectFault(QSYS_COPY_FILE_RANGE, 1, EXDEV);
            QSysInjectFault(r.call, r.nth, r.err);
            SetLastError(0xBEEF);
            BOOL ok = Copy(src, dst);
            QSysClearFaults();
            bool fails = existing ? r.failsOld : r.failsNew;
            EXPECT_EQ(ok, !fails);
            EXPECT_EQ(GetLastError(), fails ? r.error : 0xBEEF);
            EXPECT_EQ(qtest::ReadFile(src), data);
            if (ok) {
                EXPECT_EQ(qtest::ReadFile(dst), data);
            } else if (existing) {
                EXPECT_EQ(qtest::ReadFile(dst), "old destination");
            } else {
                EXPECT_FALSE(Exists(dst));
            }
            EXPECT_TRUE(NoTemporaries(d));
            std::vector<std::string> expected = {"dst", "src"};
            if (!ok && !existing) expected = {"src"};
            EXPECT_EQ(Entries(d), expected);
        }
    }
}

// ---- moves ---------------------------------------------------------------------

class MoveTest : public CopyTest {};

TEST_F(MoveTest, RenamesOnOneFileSystem) {
    struct Row {
        const char* what;
        void (*setup)(const std::string& d);
        const char* src;
        const char* dst;
        DWORD flags;
        DWORD error;
        bool moved; // src is gone and dst holds what src held
    } rows[] = {
        {"file", [](const std::string& d) { Put(d + "/a", "A"); }, "a", "b", 0, 0, true},
        {"onto an existing file without replace",
         [](const std::string& d) {
             Put(d + "/a", "A");
             Put(d + "/b", "B");
         },
         "a", "b", MOVEFILE_COPY_ALLOWED, ERROR_ALREADY_EXISTS, false},
        {"onto an existing file with replace",
         [](const std::string& d) {
             Put(d + "/a", "A");
             Put(d + "/b", "B");
         },
         "a", "b", MOVEFILE_REPLACE_EXISTING, 0, true},
        {"onto itself", [](const std::string& d) { Put(d + "/a", "A"); }, "a", "a", 0, 0, false},
        {"onto itself by another spelling", [](const std::string& d) { Put(d + "/a", "A"); }, "a",
         "./a", MOVEFILE_REPLACE_EXISTING, 0, false},
        {"onto another hard link of it with replace: the target name alone stays",
         [](const std::string& d) {
             Put(d + "/a", "A");
             ASSERT_EQ(::link((d + "/a").c_str(), (d + "/b").c_str()), 0);
         },
         "a", "b", MOVEFILE_REPLACE_EXISTING, 0, true},
        {"onto another hard link of it without replace",
         [](const std::string& d) {
             Put(d + "/a", "A");
             ASSERT_EQ(::link((d + "/a").c_str(), (d + "/b").c_str()), 0);
         },
         "a", "b", 0, ERROR_ALREADY_EXISTS, false},
        {"directory",
         [](const std::string& d) {
             ASSERT_EQ(::mkdir((d + "/a").c_str(), 0755), 0);
             Put(d + "/a/f", "F");
         },
         "a", "b", 0, 0, true},
        {"directory onto a directory with replace",
         [](const std::string& d) {
             ASSERT_EQ(::mkdir((d + "/a").c_str(), 0755), 0);
             ASSERT_EQ(::mkdir((d + "/b").c_str(), 0755), 0);
         },
         "a", "b", MOVEFILE_REPLACE_EXISTING, ERROR_ALREADY_EXISTS, false},
        {"file onto a directory with replace",
         [](const std::string& d) {
             Put(d + "/a", "A");
             ASSERT_EQ(::mkdir((d + "/b").c_str(), 0755), 0);
         },
         "a", "b", MOVEFILE_REPLACE_EXISTING, ERROR_ALREADY_EXISTS, false},
        {"directory onto a file with replace",
         [](const std::string& d) {
             ASSERT_EQ(::mkdir((d + "/a").c_str(), 0755), 0);
             Put(d + "/b", "B");
         },
         "a", "b", MOVEFILE_REPLACE_EXISTING, ERROR_ALREADY_EXISTS, false},
        {"link moves as a link",
         [](const std::string& d) { ASSERT_EQ(::symlink("nowhere", (d + "/a").c_str()), 0); }, "a",
         "b", 0, 0, true},
        {"missing source", [](const std::string&) {}, "a", "b", 0, ERROR_FILE_NOT_FOUND, false},
        {"source in a missing directory", [](const std::string&) {}, "x/a", "b", 0,
         ERROR_PATH_NOT_FOUND, false},
        {"destination in a missing directory", [](const std::string& d) { Put(d + "/a", "A"); },
         "a", "x/b", 0, ERROR_PATH_NOT_FOUND, false},
    };
    int i = 0;
    for (const Row& r : rows) {
        std::string d = dir.MakeDir("row" + std::to_string(i++));
        r.setup(d);
        std::string src = d + "/" + r.src;
        std::string dst = d + "/" + r.dst;
        std::vector<std::string> before = Entries(d);
        std::string content = qtest::ReadFile(src);
        std::string link = LinkText(src);
        SetLastError(0xBEEF);
        BOOL ok = MoveFileExW(Win(src).c_str(), Win(dst).c_str(), r.flags);
        EXPECT_EQ(ok, r.error == 0) << r.what;
        EXPECT_EQ(GetLastError(), r.error ? r.error : 0xBEEF) << r.what;
        if (r.moved) {
            EXPECT_FALSE(Exists(src)) << r.what;
            EXPECT_EQ(qtest::ReadFile(dst), content) << r.what;
            EXPECT_EQ(LinkText(dst), link) << r.what;
        } else {
            EXPECT_EQ(Entries(d), before) << r.what;
            EXPECT_EQ(qtest::ReadFile(src), content) << r.what;
        }
    }
    EXPECT_EQ(qtest::ReadFile(dir.Sub("row7/b/f")), "F");
    EXPECT_EQ(qtest::ReadFile(dir.Sub("row1/b")), "B");
}

TEST_F(MoveTest, AcrossFileSystemsKeepsModeTimesAndLinks) {
    OtherFileSystem other;
    if (!other.available()) GTEST_SKIP() << "/dev/shm is missing: no second file system";
    ASSERT_NE(Lstat(dir.path()).st_dev, Lstat(other.dir().path()).st_dev);
    const std::string data = Pattern(1500000, 6);

    // There and back: mode, times and content survive both ways.
    std::string here = dir.Write("file", data);
    ASSERT_EQ(::chmod(here.c_str(), 0741), 0);
    std::string there = other.dir().Sub("file");
    for (int leg = 0; leg < 2; leg++) {
        const std::string& from = leg == 0 ? here : there;
        const std::string& to = leg == 0 ? there : here;
        SetTimes(from, 1100000000, 111, 1200000000, 222222222); // reading moves atime
        ASSERT_TRUE(MoveFileW(Win(from).c_str(), Win(to).c_str())) << leg << " " << GetLastError();
        EXPECT_FALSE(Exists(from)) << leg;
        struct stat st = Lstat(to);
        EXPECT_EQ(st.st_mode & 07777, 0741u) << leg;
        EXPECT_EQ(st.st_mtim.tv_sec, 1200000000) << leg;
        EXPECT_EQ(st.st_mtim.tv_nsec, 222222222) << leg;
        EXPECT_EQ(st.st_atim.tv_sec, 1100000000) << leg;
        EXPECT_EQ(st.st_atim.tv_nsec, 111) << leg;
        EXPECT_EQ(qtest::ReadFile(to), data) << leg;
    }

    // Links are made again as links with the same text, never as copies of
    // what they point to; a dangling one too.
    dir.Write("target", "target data");
    ASSERT_EQ(::symlink(dir.Sub("target").c_str(), dir.Sub("abslink").c_str()), 0);
    ASSERT_EQ(::symlink("../elsewhere/x", dir.Sub("dangling").c_str()), 0);
    SetTimes(dir.Sub("abslink"), 1300000000, 5, 1300000001, 6);
    for (const char* name : {"abslink", "dangling"}) {
        std::string text = LinkText(dir.Sub(name));
        ASSERT_TRUE(MoveFileW(Win(dir.Sub(name)).c_str(), Win(other.dir().Sub(name)).c_str()))
            << name << " " << GetLastError();
        EXPECT_FALSE(Exists(dir.Sub(name))) << name;
        EXPECT_TRUE(S_ISLNK(Lstat(other.dir().Sub(name)).st_mode)) << name;
        EXPECT_EQ(LinkText(other.dir().Sub(name)), text) << name;
    }
    EXPECT_EQ(Lstat(other.dir().Sub("abslink")).st_mtim.tv_sec, 1300000001);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("target")), "target data");

    // A link replacing an existing file, and refused onto one without replace.
    std::string occupied = other.dir().Write("occupied", "occupant");
    ASSERT_EQ(::symlink("somewhere", dir.Sub("link2").c_str()), 0);
    SetLastError(0xBEEF);
    EXPECT_FALSE(MoveFileW(Win(dir.Sub("link2")).c_str(), Win(occupied).c_str()));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(qtest::ReadFile(occupied), "occupant");
    ASSERT_TRUE(MoveFileExW(Win(dir.Sub("link2")).c_str(), Win(occupied).c_str(),
                            MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(LinkText(occupied), "somewhere");
    EXPECT_FALSE(Exists(dir.Sub("link2")));
    EXPECT_TRUE(NoTemporaries(other.dir().path()));

    // Replacing across file systems replaces the name, as a rename does: a
    // link there is replaced (its target untouched), a device or fifo gives
    // way to the file; the data never vanishes into a device.
    std::string shm = other.dir().path();
    other.dir().Write("linked", "link target");
    ASSERT_EQ(::symlink("linked", (shm + "/link").c_str()), 0);
    ASSERT_EQ(::mknod((shm + "/node").c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
    ASSERT_EQ(::mkfifo((shm + "/pipe").c_str(), 0666), 0);
    for (const char* name : {"link", "node", "pipe"}) {
        std::string from = dir.Write(std::string("moving-") + name, data);
        int result = fsops::RunWithin(10, [&] {
            return MoveFileExW(Win(from).c_str(), Win(shm + "/" + name).c_str(),
                               MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING)
                       ? 0
                       : 1;
        });
        EXPECT_EQ(result, 0) << name;
        EXPECT_FALSE(Exists(from)) << name;
        // Read only what became a regular file: reading a fifo left in place
        // would wait for ever.
        if (!S_ISREG(Lstat(shm + "/" + name).st_mode)) {
            ADD_FAILURE() << name << " was not replaced by the file";
            continue;
        }
        EXPECT_EQ(qtest::ReadFile(shm + "/" + name), data) << name;
    }
    EXPECT_EQ(qtest::ReadFile(shm + "/linked"), "link target");

    // What cannot move across: a directory, anything without the copy flag,
    // a fifo (refused, not copied without end).
    dir.MakeDir("subdir");
    dir.Write("plain", "plain");
    ASSERT_EQ(::mkfifo(dir.Sub("fifo").c_str(), 0600), 0);
    struct Row {
        const char* what;
        const char* name;
        DWORD flags;
        DWORD error;
    } rows[] = {
        {"directory", "subdir", MOVEFILE_COPY_ALLOWED, ERROR_NOT_SAME_DEVICE},
        {"file without the copy flag", "plain", 0, ERROR_NOT_SAME_DEVICE},
        {"fifo", "fifo", MOVEFILE_COPY_ALLOWED, ERROR_ACCESS_DENIED},
    };
    for (const Row& r : rows) {
        int result = fsops::RunWithin(10, [&] {
            SetLastError(0xBEEF);
            if (MoveFileExW(Win(dir.Sub(r.name)).c_str(), Win(other.dir().Sub(r.name)).c_str(),
                            r.flags))
                return 1;
            return GetLastError() == r.error ? 0 : 2;
        });
        EXPECT_EQ(result, 0) << r.what;
        EXPECT_TRUE(Exists(dir.Sub(r.name))) << r.what;
        EXPECT_FALSE(Exists(other.dir().Sub(r.name))) << r.what;
    }
}

// Moves across file systems with a failure injected at each system call:
// the data always survives in the source or the destination (never
// neither), the source is removed only after a complete copy, and an old
// destination stays until the new one is complete.
TEST_F(MoveTest, InjectedFailuresAcrossFileSystemsNeverLoseTheData) {
    OtherFileSystem other;
    if (!other.available()) GTEST_SKIP() << "/dev/shm is missing: no second file system";
    const std::string data = Pattern((5 << 20) / 2, 7);
    const FaultRow rows[] = {
        {"the rename is refused", QSYS_RENAME, 1, EACCES, false, true, true, ERROR_ACCESS_DENIED},
        {"read fails in the copy", QSYS_READ, 2, EIO, true, true, true, ERROR_GEN_FAILURE},
        {"disk full in the copy", QSYS_WRITE, 3, ENOSPC, true, true, true, ERROR_DISK_FULL},
        {"copy_file_range fails", QSYS_COPY_FILE_RANGE, 1, EIO, false, true, true,
         ERROR_GEN_FAILURE},
        {"flush of the copy fails", QSYS_FSYNC, 1, EIO, false, true, true, ERROR_GEN_FAILURE},
        {"close of the copy fails", QSYS_CLOSE, 1, EIO, false, true, true, ERROR_GEN_FAILURE},
        {"rename over the old file fails", QSYS_RENAME, 2, EIO, false, false, true,
         ERROR_GEN_FAILURE},
        {"flush of the new name fails", QSYS_FSYNC, 2, EIO, false, true, true, ERROR_GEN_FAILURE,
         true},
        {"source cannot be removed", QSYS_UNLINK, 1, EACCES, false, true, true, ERROR_ACCESS_DENIED,
         true},
    };
    int i = 0;
    for (const FaultRow& r : rows) {
        for (bool existing : {false, true}) {
            SCOPED_TRACE(std::string(r.what) +
                         (existing ? ", old destination" : ", new destination"));
            std::string name = "f" + std::to_string(i++);
            std::string src = dir.Sub(name);
            std::string dst = other.dir().Sub(name);
            Put(src, data, 0604);
            if (existing) Put(dst, "old destination");
            if (r.readWrite) QSysInjectFault(QSYS_COPY_FILE_RANGE, 1, EXDEV);
            QSysInjectFault(r.call, r.nth, r.err);
            SetLastError(0xBEEF);
            BOOL ok = MoveFileExW(Win(src).c_str(), Win(dst).c_str(),
                                  MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING);
            QSysClearFaults();
            bool fails = existing ? r.failsOld : r.failsNew;
            EXPECT_EQ(ok, !fails);
            EXPECT_EQ(GetLastError(), fails ? r.error : 0xBEEF);
            bool sourceWhole = qtest::ReadFile(src) == data;
            bool destWhole = qtest::ReadFile(dst) == data;
            EXPECT_TRUE(sourceWhole || destWhole) << "the data is lost";
            if (ok) {
                EXPECT_FALSE(Exists(src));
                EXPECT_TRUE(destWhole);
                EXPECT_EQ(Lstat(dst).st_mode & 07777, 0604u);
            } else {
                EXPECT_TRUE(sourceWhole);
                if (r.keepsCopy)
                    EXPECT_TRUE(destWhole) << "a good copy stays when the source cannot go";
                else if (existing)
                    EXPECT_EQ(qtest::ReadFile(dst), "old destination");
                else
                    EXPECT_FALSE(Exists(dst));
            }
        }
    }
    EXPECT_TRUE(NoTemporaries(dir.path()));
    EXPECT_TRUE(NoTemporaries(other.dir().path()));
}

// ---- permissions, checked as an unprivileged user --------------------------------

TEST_F(CopyTest, PermissionsOfAnUnprivilegedUser) {
    dir.OpenToAll();
    std::string open = dir.MakeDir("open");
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    std::string closed = dir.MakeDir("closed"); // 0755, owned by root
    ASSERT_EQ(::chmod(closed.c_str(), 0755), 0);
    std::string src = open + "/src";
    Put(src, "source data", 0644);
    Put(open + "/rootfile", "root's file", 0644);
    Put(closed + "/writable", "writable by all", 0666);
    Put(closed + "/movable", "movable data", 0644);
    Put(closed + "/victim", "victim", 0666);
    Put(dir.Sub("secret"), "secret", 0600);
    Put(dir.Sub("suid"), "program", 04755);
    dir.MakeDir("closed/emptydir");
    bool root = ::geteuid() == 0;

    int result = qtest::RunUnprivileged([&] {
        fsops::ChildChecks check;
        auto fails = [](BOOL ok, DWORD code) { return !ok && GetLastError() == code; };
        // A file the user may not write is not replaced through its
        // directory, although the directory would allow a rename.
        check(fails(Copy(src, open + "/rootfile"), ERROR_ACCESS_DENIED));
        check(qtest::ReadFile(open + "/rootfile") == "root's file");
        check(NoTemporaries(open));
        // No new name in a directory the user may not write.
        check(fails(Copy(src, closed + "/new"), ERROR_ACCESS_DENIED));
        check(!Exists(closed + "/new"));
        // A writable file in such a directory cannot be replaced safely: it
        // is refused and stays as it was.
        check(fails(Copy(src, closed + "/writable"), ERROR_ACCESS_DENIED));
        check(qtest::ReadFile(closed + "/writable") == "writable by all");
        // An unreadable source.
        check(fails(Copy(dir.Sub("secret"), open + "/x"), ERROR_ACCESS_DENIED));
        check(!Exists(open + "/x"));
        // A setuid program copied by another user loses the setuid bit.
        check(Copy(dir.Sub("suid"), open + "/suidcopy") == TRUE);
        struct stat st {};
        check(::lstat((open + "/suidcopy").c_str(), &st) == 0);
        check((st.st_mode & 07777) == (root ? 0755u : 04755u));
        check(st.st_uid == ::geteuid());
        // A move across file systems (the rename answers EXDEV) whose source
        // cannot be removed: the copy is made, the source stays, both remain.
        std::string moved = open + "/moved";
        QSysInjectFault(QSYS_RENAME, 1, EXDEV);
        check(fails(MoveFileW(Win(closed + "/movable").c_str(), Win(moved).c_str()),
                    ERROR_ACCESS_DENIED));
        QSysClearFaults();
        check(qtest::ReadFile(closed + "/movable") == "movable data");
        check(qtest::ReadFile(moved) == "movable data");
        // Nothing is deleted, removed or made in the closed directory.
        check(fails(DeleteFileW(Win(closed + "/victim").c_str()), ERROR_ACCESS_DENIED));
        check(Exists(closed + "/victim"));
        check(fails(RemoveDirectoryW(Win(closed + "/emptydir").c_str()), ERROR_ACCESS_DENIED));
        check(Exists(closed + "/emptydir"));
        check(
            fails(CreateDirectoryW(Win(closed + "/newdir").c_str(), nullptr), ERROR_ACCESS_DENIED));
        WCHAR name[MAX_PATH];
        check(GetTempFileNameW(Win(closed).c_str(), u"qt", 0, name) == 0 &&
              GetLastError() == ERROR_ACCESS_DENIED);
        check(fails(MoveFileW(Win(closed + "/victim").c_str(), Win(closed + "/renamed").c_str()),
                    ERROR_ACCESS_DENIED));
        check(Exists(closed + "/victim"));
        return check.result();
    });
    EXPECT_EQ(result, 0) << "number of the first failing check (-1: could not drop privileges)";
    EXPECT_EQ(Entries(closed),
              (std::vector<std::string>{"emptydir", "movable", "victim", "writable"}));
}

} // namespace
