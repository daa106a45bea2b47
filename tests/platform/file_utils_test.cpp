// The long-path file utilities on real files: the length limit, copies by
// the layer's copy and by the own loop (buffers, progress, times,
// attributes, cancel), faults injected at every system call of a copy and a
// move, moves onto the shared-memory file system, case-only renames, the
// trash on fixed and removable drives, link loops, and the small questions.
#include "internal/sys.h"
#include "main/startup_options.h"
#include "main/window_state.h"
#include "platform/file_utils.h"
#include "posix/drive_fixture.h"
#include "posix/fileops_support.h"
#include "qposix_path.h"
#include "tree_fixture.h"
#include "tree/file_list.h"
#include "ui/error_dialog.h"
#include "ui/progress.h"
#include "ui/ui_test_hook.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>

namespace {

using fsops::Entries;
using fsops::Exists;

// Whether two contents are equal, shown by their sizes and the first
// difference rather than by the bytes.
::testing::AssertionResult SameData(const std::string& got, const std::string& want) {
    if (got == want) return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at])
        at++;
    return ::testing::AssertionFailure() << got.size() << " bytes where " << want.size()
                                         << " were expected, first difference at " << at;
}

// The own loop's and the layer's copy, side by side in the tables.
enum class Engine { System, OwnLoop };
const char* EngineName(Engine e) {
    return e == Engine::System ? "system copy" : "own loop";
}

std::string Pattern(size_t size, unsigned seed) {
    std::string data(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : data) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 16);
    }
    return data;
}

// A fixed modification time (2001-02-03 04:05:06 UTC) and access time.
constexpr time_t kWritten = 981173106;
constexpr time_t kAccessed = 981000000;

void SetTimes(const std::string& path) {
    struct timespec times[2] = {{kAccessed, 0}, {kWritten, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

struct stat Lstat(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st;
}

// The names in a directory that are not the ones expected: temporaries or
// third names left behind.
std::vector<std::string> Strays(const std::string& directory,
                                const std::set<std::string>& allowed) {
    std::vector<std::string> strays;
    for (const std::string& name : Entries(directory))
        if (!allowed.count(name)) strays.push_back(name);
    return strays;
}

// A drive map with C: on "/", F: on a fresh directory and S: on a fresh
// directory of the shared-memory file system; HOME and the trash inside the
// test's directory; every question answered Esc unless a test scripts it;
// progress recorded.
class FileUtilsTest : public DriveMapTest {
  protected:
    void SetUp() override {
        char name[] = "/dev/shm/qfuXXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        shm_ = name;
        ::mkdir(dir.Sub("f").c_str(), 0755);
        ::mkdir(dir.Sub("data").c_str(), 0755);
        SetMounts({{"/", "ext4", "/dev/vda1"}});
        qtest::WriteFixtureDrives(dir.path(), 'F', dir.Sub("f"), 'S', shm_);
        data_ = std::make_unique<qtest::ScopedEnv>("XDG_DATA_HOME", dir.Sub("data").c_str());
        savedList_ = gFileList;
        savedMax_ = gFMax;
        savedDirectory_ = psiCurrent;
        gFileList = nullptr;
        gFMax = 0;
        psiCurrent = nullptr;
        gSystemCopy = 1;
        gSystemMove = 1;
        gInterruptRequested = 0;
        gTaggedOpActive = 0;
        gErrorAnswer = 0;
        UiScriptAnswers({});
        UiRecordProgress();
    }
    void TearDown() override {
        QSysClearFaults();
        UiScriptEnd();
        UiRecordProgressEnd();
        gFileList = savedList_;
        gFMax = savedMax_;
        psiCurrent = savedDirectory_;
        gSystemCopy = 1;
        gSystemMove = 1;
        gInterruptRequested = 0;
        gTaggedOpActive = 0;
        std::system(("rm -rf '" + shm_ + "'").c_str());
        DriveMapTest::TearDown();
    }
    void Use(Engine engine) {
        gSystemCopy = engine == Engine::System;
        gSystemMove = engine == Engine::System;
    }
    // POSIX and Windows paths of a name under F: and under S:.
    std::string P(const std::string& rel) const { return dir.Sub("f/" + rel); }
    std::string PS(const std::string& rel) const { return shm_ + "/" + rel; }
    static std::u16string Drive(char letter, const std::string& rel) {
        std::u16string out{char16_t(letter), u':', u'\\'};
        for (char c : rel)
            out.push_back(c == '/' ? u'\\' : char16_t(BYTE(c)));
        return out;
    }
    static std::u16string F(const std::string& rel) { return Drive('F', rel); }
    static std::u16string S(const std::string& rel) { return Drive('S', rel); }

    std::string shm_;
    std::unique_ptr<qtest::ScopedEnv> data_;
    DisplayFileList* savedList_ = nullptr;
    DWORD savedMax_ = 0;
    SubdirInfo* savedDirectory_ = nullptr;
};

// The display list of one entry, for the attributes a copy carries.
struct OneEntryList {
    FileEntry entry{};
    std::vector<std::byte> block =
        std::vector<std::byte>(sizeof(DisplayFileList) + 2 * sizeof(EntryHead*));
    explicit OneEntryList(WORD attributes) {
        entry.wAttributes = attributes;
        auto* list = reinterpret_cast<DisplayFileList*>(block.data());
        ListEntries(list)[0] = reinterpret_cast<EntryHead*>(&entry);
        ListEntries(list)[1] = nullptr;
        gFileList = list;
        gFMax = 1;
    }
};

// ---- the length limit -----------------------------------------------------------------------

TEST_F(FileUtilsTest, TargetsOverTheLimitAreRefusedBeforeAnythingIsDone) {
    const std::u16string longName = F(std::string(1022, 'a'));  // 1025 units
    const std::u16string limitName = F(std::string(1021, 'b')); // 1024 units
    ASSERT_EQ(longName.size(), 1025u);
    qtest::TempDir unused;
    dir.Write("f/src", "data");
    struct Row {
        const char* what;
        std::function<DWORD()> call; // the result, or the last error of a BOOL call
    };
    const Row rows[] = {
        {"qioMoveFileChecked",
         [&] { return qioMoveFileChecked(F("src").c_str(), longName.c_str()); }},
        {"qioCopyFile target",
         [&] { return qioCopyFile(F("src").c_str(), longName.c_str(), TRUE); }},
        {"qioCopyFile source",
         [&] { return qioCopyFile(longName.c_str(), F("dst").c_str(), TRUE); }},
        {"qioCreateDirectory", [&] { return qioCreateDirectory(longName.c_str()); }},
        {"qioSetFileTime",
         [&] {
             FILETIME t{1, 1};
             return qioSetFileTime(0, 0, longName.c_str(), FALSE, &t);
         }},
        {"qioCopyWithProgress",
         [&] {
             DWORD attributes = 0;
             ULONGLONG time = 0;
             return qioCopyWithProgress(F("src").c_str(), longName.c_str(), 0, TRUE, FALSE, 0,
                                        &attributes, &time);
         }},
        {"qioGetFileAttributes",
         [&] {
             SetLastError(0xBEEF);
             const DWORD a = qioGetFileAttributes(longName.c_str());
             return a == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0xDEAD;
         }},
        {"qioSetFileAttributes",
         [&] {
             SetLastError(0xBEEF);
             return qioSetFileAttributes(longName.c_str(), 0) == 0 ? GetLastError() : 0xDEAD;
         }},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.call(), ERROR_BAD_PATHNAME) << r.what;
        EXPECT_EQ(Entries(dir.Sub("f")), std::vector<std::string>{"src"}) << r.what;
    }
    // 1024 units pass the check (the name is then too long for the file
    // system itself, which answers on its own).
    EXPECT_NE(qioCreateDirectory(limitName.c_str()), ERROR_BAD_PATHNAME);
}

// ---- copies ------------------------------------------------------------------------------

TEST_F(FileUtilsTest, CopyOntoADirectoryIs183AndCopiesNothing) {
    for (Engine engine : {Engine::System, Engine::OwnLoop}) {
        Use(engine);
        dir.Write("f/src", "data");
        dir.Write("f/dst/inside", "kept");
        DWORD attributes = 0;
        ULONGLONG time = 0;
        EXPECT_EQ(qioCopyWithProgress(F("src").c_str(), F("dst").c_str(), 0, TRUE, FALSE, 0,
                                      &attributes, &time),
                  ERROR_ALREADY_EXISTS)
            << EngineName(engine);
        EXPECT_EQ(Entries(P("dst")), std::vector<std::string>{"inside"});
        EXPECT_EQ(Entries(P("")), (std::vector<std::string>{"dst", "src"}));
    }
}

TEST_F(FileUtilsTest, CopiesCarryDataTimesAndReportProgress) {
    struct Row {
        const char* what;
        size_t size;
        Engine engine;
        DWORD buffer; // own loop only
    };
    const Row rows[] = {
        {"empty file, system copy", 0, Engine::System, 0},
        {"empty file, own loop", 0, Engine::OwnLoop, 4096},
        {"4096 bytes take a buffer of 8192", 4096, Engine::OwnLoop, 8192},
        {"100000 bytes round up to 102400", 100000, Engine::OwnLoop, 102400},
        {"5 MiB take 1 MiB", 5 << 20, Engine::OwnLoop, 1 << 20},
        {"5 MiB, system copy", 5 << 20, Engine::System, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Use(r.engine);
        const std::string data = Pattern(r.size, unsigned(r.size));
        dir.Write("f/src", data);
        SetTimes(P("src"));
        ::unlink(P("dst").c_str());
        gCopyBufferSize = 0;
        UiRecordProgress();
        DWORD attributes = 0xBEEF;
        ULONGLONG time = ~0ULL;
        ASSERT_EQ(qioCopyWithProgress(F("src").c_str(), F("dst").c_str(), 0, FALSE, FALSE, 0,
                                      &attributes, &time),
                  0u);
        EXPECT_TRUE(SameData(qtest::ReadFile(P("dst")), data));
        EXPECT_EQ(Lstat(P("dst")).st_mtime, kWritten);
        EXPECT_EQ(time & 0x1F, 0u) << "the times were carried, so no time is reported";
        EXPECT_EQ(attributes, 0u) << "a plain file's attributes, as the tree keeps them";
        if (r.engine == Engine::OwnLoop) {
            EXPECT_EQ(gCopyBufferSize, r.buffer);
        }

        const std::vector<UiProgressCall>& calls = UiProgressCalls();
        ASSERT_GE(calls.size(), 2u);
        EXPECT_EQ(calls.front().mode, -1) << "the throughput interval restarts first";
        EXPECT_EQ(calls.back().mode, 1);
        EXPECT_EQ(calls.back().value, r.size == 0 ? 69999 : 70000);
        LONGLONG bytes = 0;
        for (const UiProgressCall& c : calls)
            if (c.mode == 1 && c.value != 65535 && c.value != 69999 && c.value != 70000)
                bytes += c.value;
        EXPECT_EQ(bytes, LONGLONG(r.size)) << "every byte is reported once";
        EXPECT_EQ(Strays(P(""), {"src", "dst"}), std::vector<std::string>{});
    }
}

TEST_F(FileUtilsTest, AnExistingTargetIsReplacedOnlyWithOverwrite) {
    for (Engine engine : {Engine::System, Engine::OwnLoop}) {
        SCOPED_TRACE(EngineName(engine));
        Use(engine);
        dir.Write("f/src", "new data");
        dir.Write("f/dst", "old");
        DWORD attributes = 0;
        ULONGLONG time = 0;
        EXPECT_EQ(qioCopyWithProgress(F("src").c_str(), F("dst").c_str(), 0, FALSE, FALSE, 0,
                                      &attributes, &time),
                  ERROR_FILE_EXISTS);
        EXPECT_EQ(qtest::ReadFile(P("dst")), "old");
        EXPECT_EQ(qioCopyWithProgress(F("src").c_str(), F("dst").c_str(), 0, TRUE, FALSE, 0,
                                      &attributes, &time),
                  0u);
        EXPECT_EQ(qtest::ReadFile(P("dst")), "new data");
        EXPECT_EQ(Strays(P(""), {"src", "dst"}), std::vector<std::string>{});
    }
}

TEST_F(FileUtilsTest, AttributeSwitchesShapeTheCopysAttributes) {
    struct Row {
        const char* what;
        WORD entry; // the source's attributes in the display list
        CopyAttrFlags flags;
        Engine engine;
        DWORD expected;
        bool readOnlyOnDisk;
    };
    const Row rows[] = {
        {"archive cleared, system copy", 0x20, COPYATTR_CLEAR_ARCHIVE, Engine::System, 0, false},
        {"archive cleared, own loop", 0x20, COPYATTR_CLEAR_ARCHIVE, Engine::OwnLoop, 0, false},
        {"archive alone needs no call", 0x20, 0, Engine::OwnLoop, 0x20, false},
        {"archive set", 0, COPYATTR_SET_ARCHIVE, Engine::System, 0x20, false},
        {"read-only set", 0, COPYATTR_SET_READONLY, Engine::System, 0x01, true},
        {"read-only source made writable", 0x21, COPYATTR_CLEAR_READONLY, Engine::OwnLoop, 0x20,
         false},
        {"read-only source stays read-only", 0x01, 0, Engine::OwnLoop, 0x01, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Use(r.engine);
        dir.Write("f/src", "attributes");
        ::chmod(P("dst").c_str(), 0644);
        ::unlink(P("dst").c_str());
        OneEntryList list(r.entry);
        DWORD attributes = 0xBEEF;
        ULONGLONG time = 0;
        ASSERT_EQ(qioCopyWithProgress(F("src").c_str(), F("dst").c_str(), 0, FALSE, FALSE, r.flags,
                                      &attributes, &time),
                  0u);
        EXPECT_EQ(attributes, r.expected);
        EXPECT_EQ((Lstat(P("dst")).st_mode & 0200) == 0, r.readOnlyOnDisk);
        gFileList = nullptr;
        gFMax = 0;
    }
    ::chmod(P("dst").c_str(), 0644);
}

TEST_F(FileUtilsTest, EscDuringACopyAsksAndACancelLeavesNoPartialTarget) {
    struct Row {
        const char* what;
        Engine engine;
        bool existing; // an old target is being replaced
        bool midway;   // Esc arrives after the first piece, else before the copy
        bool tagged;
        int key;
        DWORD expected;
    };
    const Row rows[] = {
        {"Esc then Yes before the copy, own loop", Engine::OwnLoop, false, false, false, 'Y', 1223},
        {"Esc then Yes before the copy, system copy", Engine::System, false, false, false, 'Y',
         1223},
        {"Esc then Yes midway over an old target, own loop", Engine::OwnLoop, true, true, false,
         'Y', 1223},
        {"Esc then Yes midway over an old target, system copy", Engine::System, true, true, false,
         'Y', 1223},
        {"Esc then Skip in a tagged operation", Engine::OwnLoop, false, true, true, 'S', 9929},
        {"Esc then No goes on", Engine::OwnLoop, true, true, false, 'N', 0},
        {"Esc then Enter goes on, system copy", Engine::System, false, true, false, '\r', 0},
    };
    const std::string data = Pattern(3 << 20, 7);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        Use(r.engine);
        dir.Write("f/src", data);
        ::unlink(P("dst").c_str());
        if (r.existing) dir.Write("f/dst", "old target");
        gTaggedOpActive = r.tagged;
        gInterruptRequested = r.midway ? 0 : 1;
        UiScriptAnswers({r.key});
        bool pressed = false;
        UiRecordProgress([&](const UiProgressCall& call) {
            if (r.midway && !pressed && call.mode == 1) {
                pressed = true;
                gInterruptRequested = 1;
            }
        });
        DWORD attributes = 0;
        ULONGLONG time = 0;
        EXPECT_EQ(qioCopyWithProgress(F("src").c_str(), F("dst").c_str(), 0, r.existing, FALSE, 0,
                                      &attributes, &time),
                  r.expected);
        ASSERT_EQ(UiQuestionsAsked().size(), 1u);
        EXPECT_STREQ(UiQuestionsAsked()[0].kind, "PromptCancelOrSkip");
        if (r.expected == 0) {
            EXPECT_TRUE(SameData(qtest::ReadFile(P("dst")), data));
        } else if (r.existing) {
            EXPECT_EQ(qtest::ReadFile(P("dst")), "old target");
        } else {
            EXPECT_FALSE(Exists(P("dst")));
        }
        EXPECT_TRUE(SameData(qtest::ReadFile(P("src")), data));
        EXPECT_EQ(Strays(P(""), {"src", "dst"}), std::vector<std::string>{});
        gInterruptRequested = 0;
    }
}

// A write that the system answers with nothing written is a full disk, not
// the end of the data: the copy fails with 112 and leaves no target.
TEST_F(FileUtilsTest, AFullDiskInTheOwnLoopIsAnErrorAndLeavesNoTarget) {
    Use(Engine::OwnLoop);
    const std::string data = Pattern(3 << 20, 3);
    for (bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "over an old target" : "new target");
        dir.Write("f/src", data);
        ::unlink(P("dst").c_str());
        if (existing) dir.Write("f/dst", "old target");
        QSysInjectFault(QSYS_WRITE, 2, ENOSPC);
        DWORD attributes = 0;
        ULONGLONG time = 0;
        EXPECT_EQ(qioCopyWithProgress(F("src").c_str(), F("dst").c_str(), 0, existing, FALSE, 0,
                                      &attributes, &time),
                  ERROR_DISK_FULL);
        QSysClearFaults();
        EXPECT_EQ(UiQuestionsAsked().size(), 0u) << "a full disk is reported by the caller";
        if (existing) {
            EXPECT_EQ(qtest::ReadFile(P("dst")), "old target");
        } else {
            EXPECT_FALSE(Exists(P("dst")));
        }
        EXPECT_EQ(Strays(P(""), {"src", "dst"}), std::vector<std::string>{});
        EXPECT_EQ(std::u16string(gErrorPath), F("dst"));
    }
}

// The retry answer of the own loop's error report repeats the failed piece:
// the copy is whole, nothing doubled or lost.
TEST_F(FileUtilsTest, RetryAfterAReadErrorRepeatsThePiece) {
    Use(Engine::OwnLoop);
    const std::string data = Pattern((2 << 20) + 777, 5);
    dir.Write("f/src", data);
    UiScriptAnswers({'R'});
    QSysInjectFault(QSYS_READ, 2, EIO);
    DWORD attributes = 0;
    ULONGLONG time = 0;
    EXPECT_EQ(qioCopyWithProgress(F("src").c_str(), F("dst").c_str(), 0, FALSE, FALSE, 0,
                                  &attributes, &time),
              0u);
    ASSERT_EQ(UiQuestionsAsked().size(), 1u);
    EXPECT_STREQ(UiQuestionsAsked()[0].kind, "ErrorDialog");
    EXPECT_TRUE(SameData(qtest::ReadFile(P("dst")), data));
}

// Times and attributes are tried again only for errors that go away; a
// file system that refuses them outright is not waited for (ten tries 50 ms
// apart would be half a second per file).
TEST_F(FileUtilsTest, RefusedTimesAreNotRetriedAndTheActualTimeIsReported) {
    // The program's own try at the times is the first utimens call whose
    // refusal shows in the result; the layer's copy may make some before.
    bool found = false;
    for (unsigned nth = 1; nth <= 6 && !found; nth++) {
        ::unlink(P("dst").c_str());
        dir.Write("f/src", "times");
        SetTimes(P("src"));
        QSysInjectFault(QSYS_UTIMENS, nth, EPERM);
        DWORD attributes = 0;
        ULONGLONG time = 0;
        ASSERT_EQ(qioCopyWithProgress(F("src").c_str(), F("dst").c_str(), 0, FALSE, FALSE, 0,
                                      &attributes, &time),
                  0u);
        QSysClearFaults();
        if ((time & 0x1F) == 0) continue;
        found = true;
        // Refused: not tried again (a second try would have succeeded), and
        // the target's actual time reported: the layer's copy had carried
        // it already.
        EXPECT_EQ(PackedDateOf64(time) >> 9, 2001u);
        EXPECT_EQ((PackedDateOf64(time) >> 5) & 15, 2u);

        // Busy at that call: tried again, and the times arrive.
        ::unlink(P("dst").c_str());
        QSysInjectFault(QSYS_UTIMENS, nth, EBUSY);
        time = 0;
        ASSERT_EQ(qioCopyWithProgress(F("src").c_str(), F("dst").c_str(), 0, FALSE, FALSE, 0,
                                      &attributes, &time),
                  0u);
        QSysClearFaults();
        EXPECT_EQ(time & 0x1F, 0u);
        EXPECT_EQ(Lstat(P("dst")).st_mtime, kWritten);
    }
    EXPECT_TRUE(found) << "no refused utimens call showed in the result";
}

// ---- faults at every call -------------------------------------------------------------------

struct FaultCase {
    Engine engine;
    bool otherFileSystem;
    bool existing;
    bool move;
};

std::string Describe(const FaultCase& c) {
    return std::string(c.move ? "move, " : "copy, ") + EngineName(c.engine) +
           (c.otherFileSystem ? ", other file system" : ", same file system") +
           (c.existing ? ", over an old target" : ", new target");
}

TEST_F(FileUtilsTest, FaultsAtEveryCallLeaveTheTargetOldOrWholeAndNoTemporary) {
    // Every kind of call the layer makes through its wrappers.
    std::vector<QSysCall> calls;
    for (int call = 0; call < QSYS_COUNT; call++)
        calls.push_back(QSysCall(call));
    const int errors[] = {ENOSPC, EIO, EACCES, EXDEV};
    // Small enough to step through every call quickly; the copies of
    // several pieces are shown by the cancel and retry tests.
    const std::string data = Pattern(70000, 11);
    int runs = 0;
    for (Engine engine : {Engine::System, Engine::OwnLoop})
        for (bool other : {false, true})
            for (bool existing : {false, true})
                for (bool move : {false, true}) {
                    const FaultCase c{engine, other, existing, move};
                    Use(engine);
                    const std::string targetPosix = other ? PS("dst") : P("dst");
                    const std::u16string target = other ? S("dst") : F("dst");
                    const std::string targetDir = other ? shm_ : P("");
                    for (QSysCall call : calls)
                        for (int err : errors)
                            for (unsigned nth = 1; nth < 400; nth++) {
                                SCOPED_TRACE(Describe(c) + ", call " + std::to_string(call) + " #" +
                                             std::to_string(nth) + " errno " + std::to_string(err));
                                dir.Write("f/src", data);
                                ::unlink(targetPosix.c_str());
                                if (existing) {
                                    std::ofstream(targetPosix) << "old target";
                                }
                                gInterruptRequested = 0;
                                UiScriptAnswers({});
                                QSysInjectFault(call, nth, err);
                                DWORD attributes = 0;
                                ULONGLONG time = 0;
                                const DWORD result =
                                    move ? qioMoveWithProgress(F("src").c_str(), target.c_str(), 0,
                                                               existing, 0, &attributes, &time)
                                         : qioCopyWithProgress(F("src").c_str(), target.c_str(), 0,
                                                               existing, FALSE, 0, &attributes,
                                                               &time);
                                const bool fired = QSysFaultsArmed() == 0;
                                QSysClearFaults();
                                runs++;
                                const bool sourceThere = Exists(P("src"));
                                const bool targetThere = Exists(targetPosix);
                                const std::string targetData =
                                    targetThere ? qtest::ReadFile(targetPosix) : "";
                                if (sourceThere) {
                                    EXPECT_TRUE(SameData(qtest::ReadFile(P("src")), data));
                                }
                                if (result == 0) {
                                    EXPECT_TRUE(SameData(targetData, data));
                                    EXPECT_EQ(sourceThere, !move);
                                } else {
                                    EXPECT_TRUE(sourceThere)
                                        << "a failed operation keeps the source";
                                    if (existing) {
                                        EXPECT_TRUE(targetData == "old target" ||
                                                    SameData(targetData, data))
                                            << "the old target, or the complete new one";
                                    } else {
                                        EXPECT_FALSE(targetThere) << "no partial target";
                                    }
                                }
                                if (!sourceThere) {
                                    EXPECT_TRUE(SameData(targetData, data));
                                }
                                EXPECT_EQ(Strays(targetDir, {"src", "dst"}),
                                          std::vector<std::string>{});
                                if (HasFailure()) return;
                                if (!fired) break; // the operation ended before call nth
                            }
                }
    EXPECT_GT(runs, 1000);
}

// ---- moves --------------------------------------------------------------------------------

TEST_F(FileUtilsTest, MovesOntoTheSharedMemoryDriveKeepModeTimesAndLinks) {
    for (Engine engine : {Engine::System, Engine::OwnLoop}) {
        SCOPED_TRACE(EngineName(engine));
        Use(engine);
        dir.Write("f/file", "content");
        ::chmod(P("file").c_str(), 0640);
        SetTimes(P("file"));
        ASSERT_EQ(::symlink("elsewhere/name", P("lnk").c_str()), 0);
        DWORD attributes = 0;
        ULONGLONG time = 0;
        ASSERT_EQ(qioMoveWithProgress(F("file").c_str(), S("file").c_str(), 0, FALSE, 0,
                                      &attributes, &time),
                  0u);
        ASSERT_EQ(
            qioMoveWithProgress(F("lnk").c_str(), S("lnk").c_str(), 0, FALSE, 0, nullptr, nullptr),
            0u);
        EXPECT_FALSE(Exists(P("file")));
        EXPECT_EQ(qtest::ReadFile(PS("file")), "content");
        EXPECT_EQ(Lstat(PS("file")).st_mode & 07777, 0640u);
        EXPECT_EQ(Lstat(PS("file")).st_mtime, kWritten);
        EXPECT_FALSE(Exists(P("lnk")));
        EXPECT_TRUE(S_ISLNK(Lstat(PS("lnk")).st_mode));
        EXPECT_EQ(fsops::LinkText(PS("lnk")), "elsewhere/name");
        ::unlink(PS("file").c_str());
        ::unlink(PS("lnk").c_str());
    }
}

// When the source cannot be deleted after the copy, the copy goes again:
// a failed move leaves one file, not two.
TEST_F(FileUtilsTest, AMoveWhoseSourceCannotBeDeletedTakesTheCopyBack) {
    for (Engine engine : {Engine::System, Engine::OwnLoop}) {
        SCOPED_TRACE(EngineName(engine));
        Use(engine);
        dir.Write("f/ro/file", "content");
        dir.OpenToAll();
        ::chmod(shm_.c_str(), 0777);
        ::chown(P("ro/file").c_str(), 65534, 65534);
        ::chmod(P("ro").c_str(), 0555); // the user may read the file but not remove it
        const int result = qtest::RunUnprivileged([&] {
            DWORD attributes = 0;
            ULONGLONG time = 0;
            return int(qioMoveWithProgress(F("ro/file").c_str(), S("file").c_str(), 0, FALSE, 0,
                                           &attributes, &time));
        });
        EXPECT_EQ(result, int(ERROR_ACCESS_DENIED));
        EXPECT_EQ(qtest::ReadFile(P("ro/file")), "content");
        EXPECT_FALSE(Exists(PS("file")));
        ::chmod(P("ro").c_str(), 0755);
    }
}

TEST_F(FileUtilsTest, CaseOnlyRenames) {
    // Where case counts, the other name is another file: both stay.
    dir.Write("f/name", "lower");
    dir.Write("f/NAME", "upper");
    for (Engine engine : {Engine::System, Engine::OwnLoop}) {
        Use(engine);
        EXPECT_EQ(qioMoveWithProgress(F("name").c_str(), F("NAME").c_str(), 0, FALSE, 0, nullptr,
                                      nullptr),
                  ERROR_ALREADY_EXISTS)
            << EngineName(engine);
        EXPECT_EQ(qtest::ReadFile(P("name")), "lower");
        EXPECT_EQ(qtest::ReadFile(P("NAME")), "upper");
        EXPECT_EQ(Entries(P("")), (std::vector<std::string>{"NAME", "name"}));
    }
    ::unlink(P("NAME").c_str());

    // A rename the file system answers 183 although no other file has the
    // name goes through the third name, which does not stay (the rename of
    // one drive, which the own loop's setting uses).
    QSysInjectFault(QSYS_RENAME, 1, EEXIST);
    EXPECT_EQ(
        qioMoveWithProgress(F("name").c_str(), F("NAME").c_str(), 0, FALSE, 0, nullptr, nullptr),
        0u);
    QSysClearFaults();
    EXPECT_EQ(Entries(P("")), std::vector<std::string>{"NAME"});
    EXPECT_EQ(qtest::ReadFile(P("NAME")), "lower");

    struct Row {
        const char* what;
        unsigned failingRename; // 0 none
        bool thirdNameTaken;
        DWORD expected;
        std::vector<std::string> after;
    };
    const Row rows[] = {
        {"two steps", 0, false, 0, {"Name"}},
        {"the second step fails: the first is undone", 2, false, ERROR_ACCESS_DENIED, {"NAME"}},
        {"the third name is taken: nothing moves",
         0,
         true,
         ERROR_ALREADY_EXISTS,
         {"NAME", "Name$"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        if (r.thirdNameTaken) dir.Write("f/Name$", "third");
        if (r.failingRename) QSysInjectFault(QSYS_RENAME, r.failingRename, EACCES);
        EXPECT_EQ(qioRenameCase(F("NAME").c_str(), F("Name").c_str()), r.expected);
        QSysClearFaults();
        EXPECT_EQ(Entries(P("")), r.after);
        EXPECT_EQ(qtest::ReadFile(dir.Sub("f/" + r.after[0])), "lower");
        ::unlink(P("Name$").c_str());
        if (Exists(P("Name"))) ::rename(P("Name").c_str(), P("NAME").c_str());
    }
}

// ---- delete -------------------------------------------------------------------------------

TEST_F(FileUtilsTest, DeleteToTheTrashOnAFixedDriveAndDirectlyOnARemovableOne) {
    dir.Write("f/gone", "trash me");
    ASSERT_EQ(qioDeleteFile(F("gone").c_str(), TRUE, FALSE), 0u);
    EXPECT_FALSE(Exists(P("gone")));
    bool ran = false;
    const std::string listed = fsops::RunTrashList(&ran);
    ASSERT_TRUE(ran) << "trash-list did not run; scripts/install-deps installs trash-cli";
    EXPECT_NE(listed.find(P("gone")), std::string::npos) << listed;

    // The same drive made removable through the block devices' flags.
    struct stat st {};
    ASSERT_EQ(::stat(P("").c_str(), &st), 0);
    const std::string device =
        dir.Sub("sys/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev)));
    dir.Write("sys/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev)) +
                  "/removable",
              "1\n");
    sysBlock = dir.Sub("sys");
    SetMounts({{"/", "ext4", "/dev/vda1"}});
    ASSERT_EQ(GetDriveTypeW(u"F:\\"), DRIVE_REMOVABLE);
    dir.Write("f/direct", "not to the trash");
    ASSERT_EQ(qioDeleteFile(F("direct").c_str(), TRUE, FALSE), 0u);
    EXPECT_FALSE(Exists(P("direct")));
    EXPECT_EQ(Entries(dir.Sub("data/Trash/files")), std::vector<std::string>{"gone"});
}

TEST_F(FileUtilsTest, DeletePermissionsAsAnUnprivilegedUser) {
    dir.Write("f/locked/file", "stays");
    dir.Write("f/open/mine", "goes");
    dir.OpenToAll();
    ::chmod(P("locked").c_str(), 0755);
    ::chmod(P("locked/file").c_str(), 0644); // owned by root: not writable for nobody
    ::chown(P("open").c_str(), 65534, 65534);
    ::chown(P("open/mine").c_str(), 65534, 65534);
    struct Row {
        const char* what;
        const char* path;
        BOOL toTrash;
        DWORD expected;
    };
    const Row rows[] = {
        {"to the trash, a file the user may not write", "locked/file", TRUE, ERROR_ACCESS_DENIED},
        {"directly, in a directory the user may not write", "locked/file", FALSE,
         ERROR_ACCESS_DENIED},
        {"directly, the user's own file", "open/mine", FALSE, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const std::u16string path = F(r.path);
        const int result = qtest::RunUnprivileged(
            [&] { return int(qioDeleteFile(path.c_str(), r.toTrash, FALSE)); });
        EXPECT_EQ(result, int(r.expected));
        EXPECT_EQ(Exists(P(r.path)), r.expected != 0);
    }
    EXPECT_EQ(qtest::ReadFile(P("locked/file")), "stays");
}

// ---- links and walks ------------------------------------------------------------------------

TEST_F(FileUtilsTest, WalksAndLinkQuestionsEndOnLinkLoops) {
    dir.MakeDir("f/a/b/c");
    ASSERT_EQ(::symlink("..", P("a/b/c/up").c_str()), 0);          // a loop back up the branch
    ASSERT_EQ(::symlink(P("a").c_str(), P("a/b/top").c_str()), 0); // an absolute one
    ASSERT_EQ(::symlink("l2", P("a/l1").c_str()), 0);              // two links onto each other
    ASSERT_EQ(::symlink("l1", P("a/l2").c_str()), 0);
    dir.MakeDir("f/hidden/.secret");
    dir.MakeDir("f/viaLink");
    ASSERT_EQ(::symlink(P("hidden").c_str(), P("viaLink/to").c_str()), 0);

    EXPECT_EQ(qioWalkTree(F("a").c_str()), 0);
    EXPECT_EQ(qioWalkTree(F("hidden").c_str()), 1);
    EXPECT_EQ(qioWalkTree(F("viaLink").c_str()), 0) << "a link is not entered";
    gInterruptRequested = 1;
    EXPECT_EQ(qioWalkTree(F("hidden").c_str()), 0) << "an interrupt ends the walk";
    gInterruptRequested = 0;

    WCHAR path[1100];
    wcscpy(path, F("a/l1").c_str());
    EXPECT_EQ(std::u16string(qioGetReparseTarget(path)), F("a/l2"));
    wcscpy(path, F("a/b/c/up").c_str());
    EXPECT_EQ(std::u16string(qioGetReparseTarget(path)), F("a/b"));
    wcscpy(path, F("a/b").c_str());
    EXPECT_EQ(std::u16string(qioGetReparseTarget(path)), F("a/b")) << "not a link: unchanged";

    EXPECT_EQ(qioPathCrossesDrive('F', F("a/l1/x/y").c_str()), 0);
    EXPECT_EQ(qioPathCrossesDrive('F', F("a/b/c/up/c/up/b").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Sub("data").c_str(), P("a/out").c_str()), 0); // C:\...
    EXPECT_EQ(qioPathCrossesDrive('F', F("a/out/x").c_str()), 1);
    EXPECT_EQ(qioPathCrossesDrive('C', F("a/out/x").c_str()), 0);

    const WCHAR c = u'C';
    const WCHAR f = u'F';
    EXPECT_EQ(qioIsOtherDrive(&c, u"D:\\no\\such\\path"), 1);
    EXPECT_EQ(qioIsOtherDrive(&f, F("a/b").c_str()), 0);
    EXPECT_EQ(qioIsOtherDrive(&f, F("a/out").c_str()), 1);
}

TEST_F(FileUtilsTest, DirectoryContents) {
    dir.MakeDir("f/empty");
    dir.Write("f/files/one", "1");
    dir.MakeDir("f/dirs/sub");
    dir.Write("f/both/one", "1");
    dir.MakeDir("f/both/sub");
    const struct {
        const char* rel;
        int expected;
    } rows[] = {{"empty", 0}, {"files", 2}, {"dirs", 1}, {"both", 3}, {"missing", 0}};
    for (const auto& r : rows)
        EXPECT_EQ(qioDirHasContents(F(r.rel).c_str()), r.expected) << r.rel;
    EXPECT_EQ(qioDirHasContents((F("both") + u"\\").c_str()), 3);
}

TEST_F(FileUtilsTest, ScanTreeFlagsFindsAReadLinkInTheBranch) {
    SubdirInfo root{}, child{}, grandchild{}, sibling{};
    root.psiParent = &root;
    root.psiChild = &child;
    child.psiParent = &root;
    child.psiChild = &grandchild;
    child.psiNext = &sibling;
    grandchild.psiParent = &child;
    grandchild.psiNext = &sibling;
    sibling.psiParent = &root;
    for (SubdirInfo* s : {&root, &child, &grandchild, &sibling})
        s->bLogged = 1;
    EXPECT_EQ(qioScanTreeFlags(&root), 0);
    grandchild.wAttributes = FILE_ATTRIBUTE_REPARSE_POINT;
    EXPECT_EQ(qioScanTreeFlags(&root), 1);
    EXPECT_EQ(qioScanTreeFlags(&sibling), 0);
    grandchild.bLogged = 0;
    EXPECT_EQ(qioScanTreeFlags(&root), 0) << "a directory not read does not count";
}

// ---- small questions ---------------------------------------------------------------------------

TEST_F(FileUtilsTest, LinksTimesSizesAndSpace) {
    dir.Write("f/file", std::string(10000, 'x'));
    EXPECT_EQ(qioCreateLink(1, F("file").c_str(), F("sym").c_str(), FALSE), 0u);
    EXPECT_TRUE(S_ISLNK(Lstat(P("sym")).st_mode));
    EXPECT_EQ(qioCreateLink(3, F("file").c_str(), F("hard").c_str(), FALSE), 0u);
    EXPECT_EQ(Lstat(P("hard")).st_ino, Lstat(P("file")).st_ino);
    EXPECT_EQ(qioCreateLink(3, F("file").c_str(), F("hard").c_str(), FALSE), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(qioCreateLink(9, F("file").c_str(), F("other").c_str(), FALSE),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(qioLinkUnsupported(F("x").c_str(), F("file").c_str(), 0), ERROR_NOT_SUPPORTED);

    struct Row {
        int which;
        bool written, accessed;
    } rows[] = {{0, true, false}, {2, false, true}, {3, true, true}, {7, false, false}};
    for (const Row& r : rows) {
        SetTimes(P("file"));
        FILETIME t; // 2010-01-01 00:00:00 UTC
        const ULONGLONG ticks = (1262304000ULL + 11644473600ULL) * 10000000ULL;
        t.dwLowDateTime = DWORD(ticks);
        t.dwHighDateTime = DWORD(ticks >> 32);
        EXPECT_EQ(qioSetFileTime(r.which, 0, F("file").c_str(), FALSE, &t), 0u) << r.which;
        EXPECT_EQ(Lstat(P("file")).st_mtime, r.written ? 1262304000 : kWritten) << r.which;
        EXPECT_EQ(Lstat(P("file")).st_atime, r.accessed ? 1262304000 : kAccessed) << r.which;
    }
    FILETIME t{1, 1};
    EXPECT_EQ(qioSetFileTime(0, 0, F("missing").c_str(), FALSE, &t), ERROR_FILE_NOT_FOUND);

    ULONGLONG size = 0;
    EXPECT_EQ(qioGetFileSizeByName(F("file").c_str(), &size), 0u);
    EXPECT_EQ(size, 10000u);
    EXPECT_EQ(qioGetFileSizeByName(F("missing").c_str(), &size), ERROR_FILE_NOT_FOUND);
    HANDLE file = CreateFileW((u"\\\\?\\" + F("file")).c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(qioSeek(file, 100, FILE_END), 9900u);
    EXPECT_EQ(qioSeek(file, 5, FILE_CURRENT), 9905u);
    EXPECT_EQ(qioSeek(file, -1, FILE_BEGIN), ~0ULL);
    CloseHandle(file);
    DWORD high = 7;
    EXPECT_GE(qioGetCompressedSize(F("file").c_str(), &high), 0u);
    EXPECT_EQ(high, 0u);

    DWORD type = 99;
    EXPECT_EQ(GetExeType(F("file").c_str(), &type), 2u);
    EXPECT_EQ(type, 0u);

    DiskGeometry geometry{};
    ULONGLONG freeBytes = 0;
    EXPECT_EQ(qioGetDiskSpace("F:\\file", &geometry, &freeBytes), 0u);
    struct statvfs vfs {};
    ASSERT_EQ(::statvfs(P("").c_str(), &vfs), 0);
    const ULONGLONG cluster = ULONGLONG(geometry.sectorsPerCluster) * geometry.bytesPerSector;
    ASSERT_GT(cluster, 0u);
    EXPECT_GT(freeBytes, 0u);
    EXPECT_EQ(geometry.freeClusters, freeBytes / cluster);
    EXPECT_EQ(geometry.totalClusters, ULONGLONG(vfs.f_blocks) * vfs.f_frsize / cluster);
}

} // namespace
