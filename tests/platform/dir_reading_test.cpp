// Reading one directory into records, against the generated tree's
// manifest: empty, missing and unmatched listings, a directory of every
// awkward name and kind, the log-option answers and the refresh walk, read
// errors (access denied as an unprivileged user, EIO injected) with the
// error dialog's answers, and paths rebuilt from the file system.
#include "tree_test_support.h"
#include "internal/sys.h"
#include "main/window_state.h"
#include "platform/dir_reading.h"
#include "platform/read_ahead.h"
#include "tree/log_state.h"
#include "ui/error_dialog.h"
#include "ui/progress.h"
#include "ui/ui_test_hook.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <map>
#include <set>

namespace {

int OpenDescriptors() {
    int n = 0;
    DIR* d = ::opendir("/proc/self/fd");
    while (::readdir(d)) n++;
    ::closedir(d);
    return n;
}

class DirReading : public GeneratedTreeTest<30, 120> {
  protected:
    void SetUp() override {
        GeneratedTreeTest::SetUp();
        ::setenv("TZ", "UTC0", 1);
        ::tzset();
        gInterruptRequested = 0;
        gLogMode = LOG_FULL_DISK;
        gAutoRefresh = 0;
        gSkipSameAction = 0;
        gErrorAnswer = 0xBEEF;
        gErrorPath[0] = 0;
        // An unexpected question is answered Esc and shows in the record.
        UiScriptAnswers({});
    }
    void TearDown() override {
        UiScriptEnd();
        QSysClearFaults();
        gInterruptRequested = 0;
        gSkipSameAction = 0;
        GeneratedTreeTest::TearDown();
    }
    static std::u16string Pattern(const std::string& rel, const char16_t* tail = u"\\*.*") {
        return u"\\\\?\\" + W(rel) + tail;
    }
    struct Listing {
        int result = 0;
        DWORD end = 7;
        std::map<std::string, DirFileRec> files;
        std::vector<std::string> fileOrder;
        std::set<std::string> subdirs;
        bool subdirHeadNull = true;
    };
    static Listing Read(const std::u16string& pattern, bool withSubdirs = true) {
        Listing out;
        DirFileRec* files = reinterpret_cast<DirFileRec*>(1);
        DirSubdirRec* subdirs = reinterpret_cast<DirSubdirRec*>(1);
        out.result = qioReadDirEx(pattern.c_str(), &files, withSubdirs ? &subdirs : nullptr, &out.end);
        for (DirFileRec* f = files; f; f = f->next) {
            out.files[Bytes(f->name)] = *f;
            out.fileOrder.push_back(Bytes(f->name));
        }
        if (withSubdirs) {
            out.subdirHeadNull = subdirs == nullptr;
            for (DirSubdirRec* s = subdirs; s; s = s->next) out.subdirs.insert(Bytes(s->data.cFileName));
            qioFreeDirList(subdirs);
        }
        qioFreeFileList(files);
        return out;
    }
};

TEST_F(DirReading, ListingsMatchTheManifest) {
    const struct {
        const char* what;
        std::u16string pattern;
        int result;
        DWORD end;
    } rows[] = {
        {"an empty directory", Pattern("awkward/empty"), 0, 1},
        {"a missing file", Pattern("awkward", u"\\nofile"), 0, 1},
        {"a pattern that matches nothing", Pattern("awkward", u"\\*.nomatch"), 0, 1},
    };
    for (const auto& row : rows) {
        const Listing l = Read(row.pattern);
        EXPECT_EQ(l.result, row.result) << row.what;
        EXPECT_EQ(l.end, row.end) << row.what;
        EXPECT_TRUE(l.files.empty()) << row.what;
        EXPECT_TRUE(l.subdirs.empty()) << row.what;
    }
    EXPECT_TRUE(UiQuestionsAsked().empty());

    // A missing directory is a failed read, answered by the dialog.
    UiScriptAnswers({'s'});
    const Listing missing = Read(Pattern("awkward/none"));
    EXPECT_EQ(missing.result, QIO_READ_SKIPPED);
    EXPECT_EQ(missing.end, 0u);
    ASSERT_EQ(UiQuestionsAsked().size(), 1u);
    EXPECT_EQ(UiQuestionsAsked()[0].code, DWORD(ERROR_PATH_NOT_FOUND));
    gSkipSameAction = 0;
    UiScriptAnswers({});

    // Every directory of the tree: files and subdirectories as the manifest
    // has them, "." and ".." never among the subdirectories.
    for (const std::string& dir : M().Directories()) {
        if (dir.size() > 900) continue; // the far end of the long chain is read below
        const Listing l = Read(Pattern(dir));
        std::set<std::string> files, subdirs;
        for (const qtest::ManifestEntry* e : M().Children(dir)) {
            const std::string name = e->path.substr(dir.empty() ? 0 : dir.size() + 1);
            const bool isDir = e->type == 'd' || (e->type == 'l' && (e->target == "sub" || e->target == ".."));
            (isDir ? subdirs : files).insert(name);
            if (isDir || !l.files.count(name)) continue;
            const DirFileRec& f = l.files.at(name);
            if (e->type == 'f') {
                EXPECT_EQ(f.size, e->size) << name;
                EXPECT_EQ(f.mode, 0x8000 | (e->mode & 0xFFF)) << name;
                struct tm tm;
                const time_t t = time_t(e->mtime);
                gmtime_r(&t, &tm);
                EXPECT_EQ(f.writtenDate, PackDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday)) << name;
                EXPECT_EQ(f.writtenTime, PackTime(tm.tm_hour, tm.tm_min, tm.tm_sec, 0)) << name;
                EXPECT_EQ(f.shortName[0], 0) << name;
                if (name[0] != '.' && (e->mode & 0200)) {
                    EXPECT_EQ(f.attributes, 0) << name << ": NORMAL alone is 0";
                }
            }
        }
        std::set<std::string> got;
        for (const auto& [name, rec] : l.files) got.insert(name);
        EXPECT_EQ(got, files) << "files of '" << dir << "'";
        EXPECT_EQ(l.subdirs, subdirs) << "subdirectories of '" << dir << "'";
        EXPECT_EQ(l.result, int(files.size())) << dir;
        EXPECT_EQ(l.end, 1u) << dir;
    }

    // Names that need the escapes arrive as the bytes on disk.
    const Listing awkward = Read(Pattern("awkward"));
    for (const char* name : {"\xFF\xFE" "bad", "a\\b", "st*r", "q?", "ends.", "ends ", "ABCDEFGHIJK:"})
        EXPECT_EQ(awkward.files.count(name), 1u) << name;
    EXPECT_EQ(awkward.files.at("readonly.txt").attributes & FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(awkward.files.at(".hidden").attributes & FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(awkward.files.at("readonly.txt").mode, 0x8000 | 0444);

    // Without a subdirectory list directories are passed over; the count is
    // the same.
    const Listing plain = Read(Pattern("awkward"), false);
    EXPECT_EQ(plain.result, awkward.result);
    EXPECT_EQ(plain.fileOrder, awkward.fileOrder);

    // A path past 1024 units reads as any other.
    std::string deep;
    for (const std::string& dir : M().Directories())
        if (dir.size() > deep.size()) deep = dir;
    ASSERT_GT(W(deep).size(), 1024u);
    const Listing far = Read(Pattern(deep));
    EXPECT_EQ(far.result, 1);
    EXPECT_EQ(far.files.count("far.txt"), 1u);
}

TEST_F(DirReading, InterruptAnswersAndTheRefreshWalk) {
    const std::u16string pattern = Pattern("awkward");
    const int all = Read(pattern).result;
    ASSERT_GT(all, 10);
    const int fds = OpenDescriptors();
    const struct {
        const char* what;
        WORD logMode;
        DWORD autoRefresh;
        std::initializer_list<int> keys;
        int result;
        size_t asked;
        DWORD interruptAfter;
    } rows[] = {
        {"C goes on", LOG_FULL_DISK, 0, {'c'}, all, 1, 0},
        {"P is partial logging", LOG_FULL_DISK, 0, {'p'}, QIO_READ_PARTIAL, 1, 0},
        {"Esc cancels", LOG_BRANCH, 0, {27}, QIO_READ_CANCELLED, 1, 0},
        {"a refresh walk stops without asking, as a cancel", LOG_REFRESH_WALK, 0, {}, QIO_READ_CANCELLED, 0, 0},
        {"the information screen's refresh keeps the request", LOG_FULL_DISK, 1, {}, all, 0, 1},
    };
    for (const auto& row : rows) {
        gLogMode = row.logMode;
        gAutoRefresh = row.autoRefresh;
        gInterruptRequested = 1; // before the first entry
        UiScriptAnswers(row.keys);
        const Listing l = Read(pattern);
        EXPECT_EQ(l.result, row.result) << row.what;
        EXPECT_EQ(UiQuestionsAsked().size(), row.asked) << row.what;
        EXPECT_EQ(gInterruptRequested.load(), row.interruptAfter) << row.what;
        if (row.result < 0) {
            EXPECT_TRUE(l.files.empty()) << row.what << ": nothing read is kept";
            EXPECT_TRUE(l.subdirHeadNull) << row.what;
        }
        EXPECT_EQ(OpenDescriptors(), fds) << row.what << ": the search is closed";
        if (row.asked) {
            EXPECT_STREQ(UiQuestionsAsked()[0].kind, "PromptLogOption");
        }
    }
    gAutoRefresh = 0;
    gInterruptRequested = 0;
    UiScriptEnd();
}

TEST_F(DirReading, AccessDeniedAsAnUnprivilegedUser) {
    qtest::TempDir own;
    own.OpenToAll();
    own.MakeDir("locked");
    own.Write("locked/x", "x");
    own.MakeDir("System Volume Information");
    ASSERT_EQ(::chmod(own.Sub("locked").c_str(), 0), 0);
    ASSERT_EQ(::chmod(own.Sub("System Volume Information").c_str(), 0), 0);
    qtest::WriteFixtureDrives(dir.path(), 'F', own.path());
    const std::u16string locked = u"\\\\?\\" + [&] {
        WCHAR out[4096];
        PathFromPosix(own.Sub("locked").c_str(), out, 4096);
        return std::u16string(out);
    }() + u"\\*.*";
    const std::u16string volume = u"\\\\?\\F:\\System Volume Information\\*.*";
    const int status = qtest::RunUnprivileged([&]() -> int {
        if (::geteuid() == 0) return 0; // the check below needs a user to whom it applies
        UiScriptAnswers({'s'});
        Listing l = Read(locked);
        if (l.result != QIO_READ_SKIPPED_DENIED || l.end != 0) return 10;
        if (UiQuestionsAsked().size() != 1 || UiQuestionsAsked()[0].code != ERROR_ACCESS_DENIED) return 11;
        if (UiQuestionsAsked()[0].drive != 'F' || UiQuestionsAsked()[0].allowSkip != 1) return 12;
        if (std::u16string(gErrorPath) != locked.substr(4)) return 13;
        if (gErrorAnswer != ErrChoiceSkip) return 14;
        gSkipSameAction = 0;
        UiScriptAnswers({'r', 'c'});
        l = Read(locked);
        if (l.result != QIO_READ_CANCELLED || UiQuestionsAsked().size() != 2) return 20;
        UiScriptAnswers({});
        l = Read(volume);
        if (l.result != 0 || l.end != 0 || !UiQuestionsAsked().empty()) return 30;
        return 0;
    });
    EXPECT_EQ(status, 0);
    ASSERT_EQ(::chmod(own.Sub("locked").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(own.Sub("System Volume Information").c_str(), 0755), 0);
}

TEST_F(DirReading, AListingCutShortByAReadErrorIsNeverComplete) {
    const std::u16string pattern = Pattern("awkward");
    const Listing whole = Read(pattern);
    // The third directory read fails: after the first entries were listed.
    QSysInjectFault(QSYS_READDIR, 3, EIO);
    UiScriptAnswers({'r'});
    Listing l = Read(pattern);
    ASSERT_EQ(UiQuestionsAsked().size(), 1u);
    EXPECT_NE(UiQuestionsAsked()[0].code, DWORD(ERROR_NO_MORE_FILES));
    EXPECT_NE(UiQuestionsAsked()[0].code, 0u);
    EXPECT_EQ(l.result, whole.result) << "the retry starts over and reads everything once";
    EXPECT_EQ(l.fileOrder, whole.fileOrder);
    EXPECT_EQ(l.subdirs, whole.subdirs);

    QSysInjectFault(QSYS_READDIR, 3, EIO);
    UiScriptAnswers({'s'});
    l = Read(pattern);
    EXPECT_EQ(l.result, QIO_READ_SKIPPED);
    EXPECT_TRUE(l.files.empty());
    EXPECT_TRUE(l.subdirHeadNull);
    EXPECT_EQ(l.end, 0u);
    gSkipSameAction = 0;
}

TEST_F(DirReading, PathsAreRebuiltFromTheFileSystem) {
    WCHAR out[8192];
    const std::u16string root = W("").substr(0, 3); // "F:\"
    EXPECT_EQ(qioGetPathName(root.c_str(), out, TRUE), 3);
    EXPECT_EQ(std::u16string(out), root);
    const std::u16string prefixedRoot = u"\\\\?\\" + root;
    EXPECT_EQ(qioGetLongPathName(prefixedRoot.c_str(), out), 7);
    EXPECT_EQ(std::u16string(out), prefixedRoot);

    const std::u16string sub = u"\\\\?\\" + W("awkward/sub") + u"\\";
    EXPECT_EQ(qioGetLongPathName(sub.c_str(), out), int(sub.size() - 1));
    EXPECT_EQ(std::u16string(out), sub.substr(0, sub.size() - 1)) << "one trailing backslash dropped";
    const std::u16string escaped = W("awkward/a\\b");
    EXPECT_EQ(qioGetShortPathName(out, escaped.c_str()), int(escaped.size()));
    EXPECT_EQ(std::u16string(out), escaped);
    const std::u16string missing = W("awkward/none/x");
    EXPECT_EQ(qioGetPathName(missing.c_str(), out, TRUE), 0);
}

TEST_F(DirReading, OneFilesInformation) {
    const qtest::ManifestEntry* short83 = nullptr;
    for (const qtest::ManifestEntry& e : M().entries)
        if (e.path == "awkward/SHORT.TXT") short83 = &e;
    ASSERT_NE(short83, nullptr);
    const std::u16string path = W("awkward/SHORT.TXT");
    FileInfoRec info{};
    EXPECT_EQ(qioGetFileInfo(path.c_str(), 1, &info), 0u);
    EXPECT_EQ(info.size, short83->size);
    EXPECT_EQ(info.attributes, FILE_ATTRIBUTE_NORMAL) << "the whole attribute word";
    struct tm tm;
    const time_t t = time_t(short83->mtime);
    gmtime_r(&t, &tm);
    EXPECT_EQ(info.writtenDate, PackDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday));
    FileInfoRec sizeOnly{};
    EXPECT_EQ(qioGetFileInfo(path.c_str(), 0, &sizeOnly), 0u);
    EXPECT_EQ(sizeOnly.size, short83->size);
    EXPECT_EQ(sizeOnly.writtenDate, 0u);
    EXPECT_EQ(qioGetFileInfo(W("awkward/none").c_str(), 1, &info), DWORD(ERROR_FILE_NOT_FOUND));

    FILETIME times[3] = {};
    EXPECT_EQ(qioGetFileInfoFind(path.c_str(), times), 1);
    const int64_t written = (int64_t(times[0].dwHighDateTime) << 32 | times[0].dwLowDateTime);
    EXPECT_EQ((written - 116444736000000000LL) / 10000000, short83->mtime) << "last-write first";
    EXPECT_EQ(qioGetFileInfoFind(nullptr, times), 1);
    UiScriptAnswers({13});
    const std::u16string missing = W("awkward/none");
    EXPECT_EQ(qioGetFileInfoFind(missing.c_str(), times), 0);
    ASSERT_EQ(UiQuestionsAsked().size(), 1u);
    EXPECT_EQ(UiQuestionsAsked()[0].code, DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(UiQuestionsAsked()[0].drive, 'F');
    EXPECT_EQ(std::u16string(gErrorPath), missing);
}

} // namespace

namespace {

// The generator itself: the same seed makes the same tree, and the
// manifest reads back as written.
TEST(TreeFixture, TheSameSeedMakesTheSameTreeAndTheManifestReadsBack) {
    qtest::TempDir a, b;
    qtest::TreeSpec spec;
    spec.seed = 5;
    spec.directories = 12;
    spec.files = 40;
    const qtest::Manifest one = qtest::GenerateTree(a.MakeDir("t"), spec);
    const qtest::Manifest two = qtest::GenerateTree(b.MakeDir("t"), spec);
    ASSERT_EQ(one.entries.size(), two.entries.size());
    for (size_t i = 0; i < one.entries.size(); i++) {
        EXPECT_EQ(one.entries[i].path, two.entries[i].path);
        EXPECT_EQ(one.entries[i].size, two.entries[i].size);
        EXPECT_EQ(one.entries[i].mtime, two.entries[i].mtime);
        EXPECT_EQ(one.entries[i].type, two.entries[i].type);
    }
    const qtest::Manifest back = qtest::ReadManifest(a.Sub("t.manifest"));
    EXPECT_EQ(back.root, one.root);
    ASSERT_EQ(back.entries.size(), one.entries.size());
    for (size_t i = 0; i < one.entries.size(); i++) {
        EXPECT_EQ(back.entries[i].path, one.entries[i].path);
        EXPECT_EQ(back.entries[i].target, one.entries[i].target);
        EXPECT_EQ(back.entries[i].mode, one.entries[i].mode);
        EXPECT_EQ(back.entries[i].mtime, one.entries[i].mtime);
    }
    // What the manifest says is on disk.
    for (const qtest::ManifestEntry& e : one.entries) {
        struct stat st;
        ASSERT_EQ(::lstat((one.root + "/" + e.path).c_str(), &st), 0) << e.path;
        if (e.type == 'f') {
            EXPECT_EQ(uint64_t(st.st_size), e.size) << e.path;
        }
        if (e.type != 'l') {
            EXPECT_EQ(st.st_mode & 07777, e.mode) << e.path;
        }
        EXPECT_EQ(int64_t(st.st_mtime), e.mtime) << e.path;
    }
    spec.seed = 6;
    qtest::TempDir c;
    const qtest::Manifest other = qtest::GenerateTree(c.MakeDir("t"), spec);
    bool differs = false;
    for (size_t i = 0; i < other.entries.size() && i < one.entries.size(); i++)
        differs |= other.entries[i].path != one.entries[i].path || other.entries[i].size != one.entries[i].size;
    EXPECT_TRUE(differs) << "another seed, another tree";
}

class BigDirectory : public DriveMapTest {};

// 70,000 files in one directory on the shared-memory file system, read
// whole with and without read-ahead.
TEST_F(BigDirectory, SeventyThousandFilesReadWhole) {
    struct stat shm;
    const bool haveShm = ::stat("/dev/shm", &shm) == 0 && S_ISDIR(shm.st_mode) && ::access("/dev/shm", W_OK) == 0;
    qtest::ScopedEnv tmp("TMPDIR", haveShm ? "/dev/shm" : nullptr);
    qtest::TempDir where;
    qtest::TreeSpec spec;
    spec.directories = 0;
    spec.files = 0;
    spec.awkward = false;
    spec.bigDirectory = 70000;
    const std::string root = where.MakeDir("t");
    qtest::GenerateTree(root, spec);
    SetMounts({{"/", "ext4", "/dev/vda1"}});
    qtest::WriteFixtureDrives(dir.path(), 'F', "/", 'M', root);
    GetLogicalDrives();
    UiScriptAnswers({});
    for (bool readAhead : {false, true}) {
        DirFileRec* files = nullptr;
        DirSubdirRec* subdirs = nullptr;
        DWORD end = 0;
        if (readAhead) {
            const WCHAR* path[] = {u"M:\\big"};
            ASSERT_EQ(qioPrefetchList(path, 1), 1);
        }
        EXPECT_EQ(qioReadDirEx(u"\\\\?\\M:\\big\\*.*", &files, &subdirs, &end), 70000) << readAhead;
        EXPECT_EQ(end, 1u);
        std::set<std::string> names;
        for (DirFileRec* f = files; f; f = f->next) {
            char name[64];
            ASSERT_GE(Utf16ToUtf8(f->name, -1, name, sizeof name), 0);
            names.insert(name);
        }
        EXPECT_EQ(names.size(), 70000u);
        EXPECT_EQ(names.count("b069999"), 1u);
        qioFreeFileList(files);
        qioFreeDirList(subdirs);
        qioPrefetchEnd();
    }
    EXPECT_TRUE(UiQuestionsAsked().empty());
    UiScriptEnd();
}

} // namespace
