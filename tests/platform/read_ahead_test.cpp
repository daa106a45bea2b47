// The read-ahead engine over a generated tree of thousands of directories:
// cached listings equal ordinary searches record for record, only the
// starting thread and whole-directory patterns use the cache, duplicates are
// queued once, a drained branch is served wholly from memory, four workers
// read, the byte cap idles them until the owner takes directories out, and
// stops in mid-walk leave nothing behind. Every test here runs threads.
#include "tree_test_support.h"
#include "platform/dir_reading.h"
#include "platform/read_ahead.h"
#include "internal/sys.h"
#include "qio_walk.h"
#include "support/mount_points.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <set>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kGenerous = 60000; // ms; only for waiting on a condition

struct Rec {
    DWORD attributes, reserved0, reserved1;
    FILETIME times[3];
    DWORD sizeHigh, sizeLow;
    std::u16string name;
    // Reading a directory or a link may move its own access time
    // (relatime), so those are compared without it.
    bool operator==(const Rec& o) const {
        const bool dir = attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
        return attributes == o.attributes && reserved0 == o.reserved0 && reserved1 == o.reserved1 &&
               memcmp(&times[0], &o.times[0], sizeof times[0]) == 0 &&
               memcmp(&times[2], &o.times[2], sizeof times[2]) == 0 &&
               (dir || memcmp(&times[1], &o.times[1], sizeof times[1]) == 0) && sizeHigh == o.sizeHigh &&
               sizeLow == o.sizeLow && name == o.name;
    }
};

Rec RecOf(const WIN32_FIND_DATAW& d) {
    return {d.dwFileAttributes, d.dwReserved0, d.dwReserved1,
            {d.ftCreationTime, d.ftLastAccessTime, d.ftLastWriteTime}, d.nFileSizeHigh, d.nFileSizeLow,
            d.cFileName};
}

struct DirListing {
    DWORD error = 0; // error of the first call, or of the call that ended the listing
    std::vector<Rec> records;
    bool operator==(const DirListing& o) const { return error == o.error && records == o.records; }
};

// The first difference of two listings, for failure messages.
void PrintTo(const DirListing& l, std::ostream* os) {
    *os << "error " << l.error << ", " << l.records.size() << " records:";
    for (const Rec& r : l.records) {
        *os << " [";
        for (char16_t c : r.name) *os << (c < 0x80 ? char(c) : '?');
        *os << " a=" << r.attributes << " m=" << r.reserved1 << " s=" << r.sizeLow << " t=";
        for (const FILETIME& t : r.times) *os << t.dwHighDateTime << ':' << t.dwLowDateTime << ',';
        *os << "]";
    }
}

bool IsDot(const std::u16string& n) { return n == u"." || n == u".."; }

// One directory through a family of find calls. With keepOpen the search
// stops after two records and stays open.
template <class First, class Next, class Close>
DirListing List(const std::u16string& dir, First first, Next next, Close close,
                HANDLE* keepOpen = nullptr) {
    DirListing out;
    WIN32_FIND_DATAW d;
    const std::u16string pattern = u"\\\\?\\" + dir + u"\\*.*";
    HANDLE h = first(pattern.c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) {
        out.error = GetLastError();
        return out;
    }
    do out.records.push_back(RecOf(d));
    while ((!keepOpen || out.records.size() < 2) && next(h, &d));
    out.error = keepOpen ? 0 : GetLastError();
    if (keepOpen)
        *keepOpen = h;
    else
        close(h);
    return out;
}

// Through the qio calls (the cache when it applies).
DirListing ListQio(const std::u16string& dir, HANDLE* keepOpen = nullptr) {
    return List(dir, qioPrefetchFindFirst, qioFindNextFile, qioFindClose, keepOpen);
}

// Through the layer itself.
DirListing ListLayer(const std::u16string& dir) {
    return List(dir, FindFirstFileW, FindNextFileW, FindClose);
}

// A pre-order walk through the qio calls; stops after limit directories.
std::map<std::u16string, DirListing> Walk(const std::u16string& root, size_t limit = SIZE_MAX) {
    std::map<std::u16string, DirListing> seen;
    std::vector<std::u16string> stack{root};
    while (!stack.empty() && seen.size() < limit) {
        const std::u16string dir = stack.back();
        stack.pop_back();
        DirListing l = ListQio(dir);
        for (auto it = l.records.rbegin(); it != l.records.rend(); ++it)
            if ((it->attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(it->attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !IsDot(it->name))
                stack.push_back(dir + (dir.back() == u'\\' ? u"" : u"\\") + it->name);
        seen[dir] = std::move(l);
    }
    return seen;
}

ULONGLONG WorkerReads() {
    ULONGLONG n = 0;
    for (const auto& r : gPrefetchCounters.workerReads) n += r;
    return n;
}

// Waits for a condition on the counters; false after a generous time.
template <class F>
bool WaitFor(F condition) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGenerous);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::yield();
    }
    return true;
}

class ReadAhead : public GeneratedTreeTest<2000, 6000> {
  protected:
    void SetUp() override {
        GeneratedTreeTest::SetUp();
        PrefetchCountersReset();
    }
    void TearDown() override {
        qioPrefetchEnd();
        PrefetchSetCapForTest(0);
        PrefetchSetGateForTest(FALSE);
        GeneratedTreeTest::TearDown();
    }
    static std::u16string Dir(const std::string& rel) { return W(rel); }
};

TEST_F(ReadAhead, ConcurrencyCachedListingsEqualOrdinarySearches) {
    const std::u16string root = Dir("");
    const std::u16string missing = Dir("no-such-directory");
    const std::u16string file = Dir("awkward/SHORT.TXT");
    const WCHAR* paths[] = {root.c_str(), missing.c_str(), file.c_str()};
    ASSERT_EQ(qioPrefetchStart(paths, 3, TRUE), 1);
    const auto walked = Walk(root);
    ASSERT_GT(walked.size(), 2000u);
    for (const auto& [dir, listing] : walked)
        ASSERT_EQ(listing, ListLayer(dir)) << "directory " << Bytes(dir.c_str());
    // Errors are handed over as the search met them.
    const DirListing gone = ListQio(missing);
    EXPECT_NE(gone.error, 0u);
    EXPECT_EQ(gone, ListLayer(missing));
    EXPECT_EQ(ListQio(file), ListLayer(file));
    EXPECT_EQ(ListQio(Dir("awkward/empty")), ListLayer(Dir("awkward/empty")));
    const ULONGLONG fromCache = gPrefetchCounters.served + gPrefetchCounters.waited +
                                gPrefetchCounters.takenFromQueue;
    EXPECT_GT(fromCache, 0u) << "the walk went through the engine";
    qioPrefetchStop();

    // An empty listing from the cache fails as the ordinary search of it
    // does (a drive's mount path lists no "." and "..", and the search says
    // 2 there).
    PrefetchCountersReset();
    qtest::TempDir empty;
    qtest::WriteFixtureDrives(dir.path(), 'F', Root(), 'G', empty.path());
    GetLogicalDrives();
    const WCHAR* one[] = {u"G:\\"};
    ASSERT_EQ(qioPrefetchList(one, 1), 1);
    ASSERT_TRUE(PrefetchWaitIdleForTest(kGenerous));
    const DirListing none = ListQio(u"G:");
    EXPECT_TRUE(none.records.empty());
    EXPECT_NE(none.error, 0u);
    EXPECT_EQ(none, ListLayer(u"G:"));
    EXPECT_EQ(gPrefetchCounters.served, 1u);
}

TEST_F(ReadAhead, ConcurrencySelectivePatternsAndOtherThreadsGoToTheFileSystem) {
    const std::u16string dir = Dir("awkward");
    const WCHAR* paths[] = {dir.c_str()};
    ASSERT_EQ(qioPrefetchList(paths, 1), 1);
    ASSERT_TRUE(PrefetchWaitIdleForTest(kGenerous));
    // Changed on disk after the read: only the file system knows.
    const std::string added = Root() + "/awkward/added-late.txt";
    ASSERT_EQ(::close(::creat(added.c_str(), 0644)), 0);

    // Another thread gets the directory as it is now.
    bool otherSawIt = false;
    std::thread other([&] {
        const DirListing l = ListQio(dir);
        for (const Rec& r : l.records) otherSawIt |= r.name == u"added-late.txt";
    });
    other.join();
    EXPECT_TRUE(otherSawIt);

    // A selective pattern is an ordinary search too.
    WIN32_FIND_DATAW d;
    const std::u16string txt = u"\\\\?\\" + dir + u"\\added-*.txt";
    HANDLE h = qioPrefetchFindFirst(txt.c_str(), &d);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::u16string(d.cFileName), u"added-late.txt");
    qioFindClose(h);
    EXPECT_EQ(gPrefetchCounters.served + gPrefetchCounters.readDirectly, 0u);

    // The owner's whole listing comes from memory, as read before.
    const DirListing cached = ListQio(dir);
    EXPECT_EQ(gPrefetchCounters.served, 1u);
    for (const Rec& r : cached.records) EXPECT_NE(r.name, u"added-late.txt");
    ::unlink(added.c_str());

    // After the stop every search goes to the file system.
    qioPrefetchStop();
    PrefetchCountersReset();
    EXPECT_EQ(ListQio(dir), ListLayer(dir));
    EXPECT_EQ(gPrefetchCounters.served + gPrefetchCounters.readDirectly, 0u);
}

TEST_F(ReadAhead, ConcurrencyAWorkersListingCutShortByAReadErrorIsHandedOverAsTheError) {
    const std::u16string dir = Dir("awkward");
    const WCHAR* paths[] = {dir.c_str()};
    PrefetchSetGateForTest(TRUE);
    ASSERT_EQ(qioPrefetchList(paths, 1), 1);
    ASSERT_TRUE(WaitFor([] { return PrefetchReadingForTest() == 1; }));
    // The only directory being read meets a read error after its first
    // entries.
    QSysInjectFault(QSYS_READDIR, 3, EIO);
    PrefetchSetGateForTest(FALSE);
    ASSERT_TRUE(PrefetchWaitIdleForTest(kGenerous));
    const DirListing l = ListQio(dir);
    QSysClearFaults();
    EXPECT_TRUE(l.records.empty()) << "no partial listing is served";
    EXPECT_NE(l.error, 0u);
    EXPECT_NE(l.error, DWORD(ERROR_NO_MORE_FILES));
    EXPECT_EQ(gPrefetchCounters.served, 1u);
}

TEST_F(ReadAhead, ConcurrencyAPathGivenTwiceIsQueuedOnce) {
    const std::u16string a = Dir("awkward"), b = Dir("awkward/sub"), aSlash = a + u"\\";
    const std::u16string aPrefixed = u"\\\\?\\" + a;
    const WCHAR* paths[] = {a.c_str(), b.c_str(), a.c_str(), aSlash.c_str(), aPrefixed.c_str()};
    PrefetchSetGateForTest(TRUE);
    ASSERT_EQ(qioPrefetchList(paths, 5), 1);
    EXPECT_EQ(gPrefetchCounters.queued, 2u);
    EXPECT_EQ(qioPrefetchStart(paths, 1, FALSE), 0) << "one read-ahead at a time";
    PrefetchSetGateForTest(FALSE);
    ASSERT_TRUE(PrefetchWaitIdleForTest(kGenerous));
    EXPECT_EQ(WorkerReads(), 2u);
}

TEST_F(ReadAhead, ConcurrencyADrainedBranchWalkIsServedWhollyFromTheCache) {
    const std::u16string root = Dir("");
    ASSERT_EQ(qioPrefetchBranch(root.c_str()), 1);
    ASSERT_TRUE(PrefetchWaitIdleForTest(kGenerous));
    const auto walked = Walk(root);
    EXPECT_EQ(gPrefetchCounters.served, walked.size());
    EXPECT_EQ(gPrefetchCounters.waited, 0u);
    EXPECT_EQ(gPrefetchCounters.takenFromQueue, 0u);
    EXPECT_EQ(gPrefetchCounters.readDirectly, 0u);
    EXPECT_EQ(WorkerReads(), walked.size());
    EXPECT_EQ(PrefetchBytes, 0u) << "everything handed over";
}

TEST_F(ReadAhead, ConcurrencyFourWorkersRead) {
    std::vector<std::u16string> dirs;
    for (const std::string& d : M().Directories())
        if (d.rfind("d", 0) == 0 && dirs.size() < 40) dirs.push_back(Dir(d));
    std::vector<const WCHAR*> paths;
    for (const auto& d : dirs) paths.push_back(d.c_str());
    PrefetchSetGateForTest(TRUE);
    ASSERT_EQ(qioPrefetchList(paths.data(), DWORD(paths.size())), 1);
    EXPECT_EQ(PrefetchWorkerCount, 4u);
    // Each worker holds one directory at the gate.
    ASSERT_TRUE(WaitFor([] { return PrefetchReadingForTest() == 4; }));
    PrefetchSetGateForTest(FALSE);
    ASSERT_TRUE(PrefetchWaitIdleForTest(kGenerous));
    for (DWORD k = 0; k < 4; k++) EXPECT_GE(gPrefetchCounters.workerReads[k], 1u) << "worker " << k;
    EXPECT_EQ(WorkerReads(), dirs.size());
}

TEST_F(ReadAhead, ConcurrencyTheByteCapIdlesWorkersUntilTheOwnerTakesDirectoriesOut) {
    std::vector<std::u16string> dirs;
    for (const std::string& d : M().Directories())
        if (d.rfind("d", 0) == 0 && dirs.size() < 30) dirs.push_back(Dir(d));
    std::vector<const WCHAR*> paths;
    for (const auto& d : dirs) paths.push_back(d.c_str());
    PrefetchSetCapForTest(1);
    ASSERT_EQ(qioPrefetchList(paths.data(), DWORD(paths.size())), 1);
    ASSERT_TRUE(WaitFor([] { return gPrefetchCounters.capWaits > 0 && PrefetchReadingForTest() == 0; }));
    const ULONGLONG before = WorkerReads();
    EXPECT_GE(before, 1u);
    EXPECT_LE(before, 4u) << "no worker starts a directory above the cap";
    // The queue is read first to last: the first ones are in memory.
    for (ULONGLONG i = 0; i < before; i++) EXPECT_EQ(ListQio(dirs[i]), ListLayer(dirs[i]));
    EXPECT_EQ(gPrefetchCounters.served, before);
    // Below the cap again, the workers go on.
    ASSERT_TRUE(WaitFor([&] { return WorkerReads() > before; }));
    for (size_t i = before; i < dirs.size(); i++) EXPECT_EQ(ListQio(dirs[i]), ListLayer(dirs[i]));
    EXPECT_EQ(gPrefetchCounters.served + gPrefetchCounters.waited + gPrefetchCounters.takenFromQueue,
              dirs.size());
}

TEST_F(ReadAhead, ConcurrencyAStopInMidWalkLeavesNothing) {
    const std::u16string root = Dir("");
    ASSERT_EQ(qioPrefetchBranch(root.c_str()), 1);
    Walk(root, 300);
    HANDLE open = nullptr;
    ListQio(Dir("awkward"), &open); // a cached handle left open
    ASSERT_NE(PrefetchOpenHandles, nullptr);
    qioPrefetchStop(); // frees the open handle, the queue and what the workers read
    EXPECT_EQ(PrefetchActive.load(), 0u);
    EXPECT_EQ(PrefetchTable, nullptr);
    EXPECT_EQ(PrefetchOpenHandles, nullptr);
    EXPECT_EQ(PrefetchOwner, 0u);
    EXPECT_EQ(ListQio(root), ListLayer(root));
}

TEST_F(ReadAhead, ConcurrencyWalksAndStopsInALoop) {
    const std::u16string root = Dir("");
    for (int round = 0; round < 12; round++) {
        ASSERT_EQ(qioPrefetchBranch(root.c_str()), 1) << round;
        const auto part = Walk(root, size_t(20 + round * 37));
        for (const auto& [dir, listing] : part)
            ASSERT_EQ(listing, ListLayer(dir)) << round;
        qioPrefetchStop();
    }
}

} // namespace

namespace {

// The walk of the walk program and the benchmark: a branch read through
// qioReadDirEx finds every file of the manifest once, with read-ahead on
// and off, and with it on every directory comes through the engine.
TEST_F(ReadAhead, ConcurrencyTheWalkProgramsWalkFindsTheManifestEitherWay) {
    uint64_t files = 0, bytes = 0, directories = 1; // the root
    for (const qtest::ManifestEntry& e : M().entries) {
        // Links to files, dangling links and fifos are files to the readers.
        const bool linkedDir = e.type == 'l' && (e.target == "sub" || e.target == "..");
        if (e.type == 'f' || e.type == 'p' || (e.type == 'l' && !linkedDir)) files++;
        if (e.type == 'f') bytes += e.size;
        if (e.type == 'd') directories++;
    }
    for (bool readAhead : {false, true}) {
        PrefetchCountersReset();
        std::set<std::string> seen;
        const QioWalkTotals t = QioWalkTree(Dir(""), readAhead, [&](const std::u16string& dir, const DirFileRec* f) {
            for (; f; f = f->next) {
                const std::u16string path = dir + u"\\" + f->name;
                std::string text(path.size() * 3 + 1, '\0');
                ASSERT_GE(Utf16ToUtf8(path.c_str(), -1, text.data(), text.size()), 0);
                seen.insert(text);
            }
        });
        EXPECT_EQ(t.files, files) << readAhead;
        EXPECT_EQ(seen.size(), files) << readAhead;
        EXPECT_EQ(t.bytes, bytes) << readAhead;
        EXPECT_EQ(t.directories, directories) << readAhead;
        EXPECT_EQ(t.failed, 0u) << readAhead;
        const ULONGLONG throughEngine = gPrefetchCounters.served + gPrefetchCounters.waited +
                                       gPrefetchCounters.takenFromQueue + gPrefetchCounters.readDirectly;
        EXPECT_EQ(throughEngine, readAhead ? directories : 0u);
        EXPECT_EQ(PrefetchActive.load(), 0u) << "the walk ends its read-ahead";
    }
}

} // namespace

namespace {

// A letter on /dev, where other file systems are mounted (shm, pts, ...).
class ReadAheadOverMounts : public DriveMapTest {
  protected:
    void SetUp() override {
        mounted = qtest::MountPointsBelow("/dev");
        ASSERT_FALSE(mounted.empty()) << "the mount table lists nothing below /dev";
        SetMounts({{"/", "ext4", "/dev/vda1"}});
        WriteDrivesFile("c: /\nx: /dev\n");
        GetLogicalDrives();
        PrefetchCountersReset();
    }
    void TearDown() override {
        qioPrefetchEnd();
        DriveMapTest::TearDown();
    }
    // The names of a listing's entries that carry the mount tag.
    static std::set<std::u16string> Tagged(const DirListing& l) {
        std::set<std::u16string> names;
        for (const Rec& r : l.records)
            if (r.reserved0 == FIND_DATA_MOUNT_TAG) names.insert(r.name);
        return names;
    }
    std::set<std::string> mounted;
};

TEST_F(ReadAheadOverMounts, ConcurrencyCachedListingsKeepTheMountTag) {
    const WCHAR* one[] = {u"X:\\"};
    ASSERT_EQ(qioPrefetchList(one, 1), 1);
    ASSERT_TRUE(PrefetchWaitIdleForTest(kGenerous));
    const DirListing cached = ListQio(u"X:");
    EXPECT_EQ(gPrefetchCounters.served, 1u) << "the listing came from memory";
    const std::set<std::u16string> tagged = Tagged(cached);
    EXPECT_FALSE(tagged.empty());
    EXPECT_EQ(tagged, Tagged(ListLayer(u"X:")));
    for (const std::u16string& name : tagged) {
        char bytes[256];
        ASSERT_GE(Utf16ToUtf8(name.c_str(), -1, bytes, sizeof bytes), 0);
        EXPECT_TRUE(mounted.count(bytes)) << bytes;
    }
}

TEST_F(ReadAheadOverMounts, ConcurrencyABranchWalkNeverListsBelowAMountRoot) {
    std::set<std::u16string> visited;
    const QioWalkTotals t = QioWalkTree(u"X:\\", true, [&](const std::u16string& dir, const DirFileRec*) {
        visited.insert(dir);
    });
    ASSERT_GT(t.directories, 1u) << "/dev has directories of its own";
    EXPECT_EQ(visited.size() + t.failed, t.directories);
    for (const std::string& m : mounted) {
        const std::u16string below = u"X:\\" + std::u16string(m.begin(), m.end());
        for (const std::u16string& v : visited)
            EXPECT_FALSE(v == below || v.rfind(below + u"\\", 0) == 0) << m;
    }
    // Every directory the walk asked for was queued by the read of its
    // parent, and nothing else was: a mount root queued by the engine
    // would be one more.
    EXPECT_EQ(gPrefetchCounters.queued, t.directories);
    EXPECT_EQ(gPrefetchCounters.readDirectly, 0u);
}

} // namespace

namespace {

// A branch the walk never claims ("big", as a never-log directory would
// be), siblings whose names share its beginning, and the rest of a walk.
class ReadAheadDrop : public DriveMapTest {
  protected:
    static constexpr int kBigDirs = 1 + 20; // big and its subdirectories
    void SetUp() override {
        for (int i = 0; i < kBigDirs - 1; i++)
            for (int f = 0; f < 10; f++)
                dir.Write("t/big/d" + std::to_string(i) + "/a-file-name-of-some-length-" +
                              std::to_string(f) + ".txt",
                          "x");
        dir.Write("t/big-not/one.txt", "1");
        dir.Write("t/BIG/two.txt", "2");
        for (const char* sub : {"r1", "r2", "r3"}) dir.Write(std::string("t/rest/") + sub + "/f", "f");
        SetMounts({{"/", "ext4", "/dev/vda1"}});
        WriteDrivesFile("c: /\nf: " + dir.Sub("t") + "\n");
        GetLogicalDrives();
        PrefetchCountersReset();
    }
    void TearDown() override {
        qioPrefetchEnd();
        PrefetchSetCapForTest(0);
        PrefetchSetGateForTest(FALSE);
        DriveMapTest::TearDown();
    }
    // The bytes a listing takes in the cache: one record of the 46 header
    // bytes, the name and its terminator, rounded up to 8, per entry.
    static ULONGLONG CachedBytes(const DirListing& l) {
        ULONGLONG bytes = 0;
        for (const Rec& r : l.records) bytes += (46 + 2 * (r.name.size() + 1) + 7) & ~ULONGLONG(7);
        return bytes;
    }
    static ULONGLONG HeldBytes() {
        EnterCriticalSection(&PrefetchLock);
        const ULONGLONG held = PrefetchBytes;
        LeaveCriticalSection(&PrefetchLock);
        return held;
    }
};

TEST_F(ReadAheadDrop, ConcurrencyDroppingANeverClaimedBranchFreesTheCapForTheRestOfTheWalk) {
    ASSERT_EQ(qioPrefetchBranch(u"F:\\big"), 1);
    ASSERT_TRUE(PrefetchWaitIdleForTest(kGenerous));
    EXPECT_EQ(gPrefetchCounters.queued, ULONGLONG(kBigDirs));
    // The branch alone fills the cap.
    PrefetchSetCapForTest(HeldBytes());

    // The walk goes on beside it: the root, read by the walker, queues
    // its other directories, which no worker may read now.
    ASSERT_FALSE(ListQio(u"F:").records.empty());
    EXPECT_EQ(gPrefetchCounters.readDirectly, 1u);
    ASSERT_TRUE(WaitFor([] { return gPrefetchCounters.capWaits > 0; }));
    EXPECT_EQ(ListQio(u"F:\\rest"), ListLayer(u"F:\\rest"));
    EXPECT_EQ(gPrefetchCounters.takenFromQueue, 1u) << "read by the walker, not from memory";
    EXPECT_EQ(WorkerReads(), ULONGLONG(kBigDirs)) << "the workers are held by the cap";

    qioPrefetchDropBranch(u"F:\\big");
    // The rest is read ahead again, and only the rest is held.
    const std::vector<std::u16string> rest = {u"F:\\big-not", u"F:\\BIG", u"F:\\rest\\r1",
                                              u"F:\\rest\\r2", u"F:\\rest\\r3"};
    ULONGLONG restBytes = 0;
    for (const std::u16string& d : rest) restBytes += CachedBytes(ListLayer(d));
    ASSERT_TRUE(PrefetchWaitIdleForTest(kGenerous));
    EXPECT_EQ(HeldBytes(), restBytes) << "the dropped branch no longer counts";
    EXPECT_EQ(WorkerReads(), ULONGLONG(kBigDirs) + rest.size());
    for (const std::u16string& d : rest) EXPECT_EQ(ListQio(d), ListLayer(d));
    EXPECT_EQ(gPrefetchCounters.served, rest.size()) << "the rest of the walk came from memory";
    EXPECT_EQ(HeldBytes(), 0u);

    // The dropped branch is gone from the cache: asked for after all, it
    // is read afresh.
    EXPECT_EQ(ListQio(u"F:\\big\\d3"), ListLayer(u"F:\\big\\d3"));
    EXPECT_EQ(gPrefetchCounters.readDirectly, 2u);
    EXPECT_EQ(gPrefetchCounters.served, rest.size());
}

TEST_F(ReadAheadDrop, ConcurrencyADirectoryDroppedWhileBeingReadIsFreedAndQueuesNothing) {
    PrefetchSetGateForTest(TRUE);
    ASSERT_EQ(qioPrefetchBranch(u"F:\\big"), 1);
    ASSERT_TRUE(WaitFor([] { return PrefetchReadingForTest() == 1; }));
    qioPrefetchDropBranch(u"F:\\big");
    PrefetchSetGateForTest(FALSE);
    ASSERT_TRUE(PrefetchWaitIdleForTest(kGenerous));
    EXPECT_EQ(WorkerReads(), 1u);
    EXPECT_EQ(gPrefetchCounters.queued, 1u) << "its subdirectories were not queued";
    EXPECT_EQ(HeldBytes(), 0u);
    // Neither it nor anything below it is in the cache.
    EXPECT_EQ(ListQio(u"F:\\big"), ListLayer(u"F:\\big"));
    EXPECT_EQ(gPrefetchCounters.readDirectly, 1u);
    EXPECT_EQ(gPrefetchCounters.served + gPrefetchCounters.waited, 0u);
}

TEST_F(ReadAheadDrop, ConcurrencyADropSparesOpenListingsAndDirectoriesOutsideTheBranch) {
    qioPrefetchDropBranch(u"F:\\big"); // not active: nothing to do
    const WCHAR* paths[] = {u"F:\\big", u"F:\\big-not", u"F:\\BIG"};
    ASSERT_EQ(qioPrefetchStart(paths, 3, TRUE), 1);
    ASSERT_TRUE(PrefetchWaitIdleForTest(kGenerous));
    HANDLE open = nullptr;
    const DirListing start = ListQio(u"F:\\big\\d0", &open);
    ASSERT_EQ(start.records.size(), 2u);
    EXPECT_EQ(gPrefetchCounters.served, 1u);

    // Named as a pattern's directory would be: prefixed, with a backslash.
    qioPrefetchDropBranch(u"\\\\?\\F:\\big\\");

    // The open listing goes on to its end.
    DirListing whole = start;
    WIN32_FIND_DATAW d;
    while (qioFindNextFile(open, &d)) whole.records.push_back(RecOf(d));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(qioFindClose(open));
    EXPECT_EQ(whole.records, ListLayer(u"F:\\big\\d0").records);

    struct Row {
        const char* what;
        std::u16string dir;
        bool fromMemory;
    } rows[] = {
        {"a sibling whose name begins like it", u"F:\\big-not", true},
        {"a sibling that differs in case", u"F:\\BIG", true},
        // Below it first: reading the directory itself queues these again.
        {"a directory below it", u"F:\\big\\d7", false},
        {"the dropped directory", u"F:\\big", false},
    };
    for (const Row& r : rows) {
        const ULONGLONG served = gPrefetchCounters.served;
        EXPECT_EQ(ListQio(r.dir), ListLayer(r.dir)) << r.what;
        EXPECT_EQ(gPrefetchCounters.served - served, r.fromMemory ? 1u : 0u) << r.what;
    }
}

} // namespace
