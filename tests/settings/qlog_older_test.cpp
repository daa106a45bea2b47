// Logged-volume files of the older format letters, made by hand byte for
// byte from the offsets written out below (never from the reader's own
// constants), so that each layout is pinned; the same checks refuse a
// malformed older file with the tree left as it was; Esc while loading;
// the file a load falls back to; what is rebuilt after a load.
#include "settings/qlog.h"

#include "fixture.h"
#include "main/tree_window.h"
#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/packed_dates.h"
#include "qlog_fixture.h"
#include "settings/folders.h"
#include "settings/path_lists.h"
#include "settings/settings.h"
#include "tree/filter.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "tree_builder.h"
#include "ui/progress.h"
#include "ui/ui_test_hook.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using qlogtest::Dir;
using qlogtest::DumpTrees;
using qlogtest::WinPath;

// The three families of older records.
enum class Kind { V1, B, CToE };

void Set(std::string* r, size_t at, ULONGLONG value, int width) {
    for (int i = 0; i < width; i++) (*r)[at + i] = char((value >> (8 * i)) & 0xFF);
}
void SetWide(std::string* r, size_t at, std::u16string_view text) {
    for (size_t i = 0; i < text.size(); i++) Set(r, at + 2 * i, text[i], 2);
}
void SetNarrow(std::string* r, size_t at, std::string_view text) { r->replace(at, text.size(), text); }
void Put(std::string* out, ULONGLONG value, int width) {
    std::string bytes(size_t(width), '\0');
    Set(&bytes, 0, value, width);
    *out += bytes;
}

// The dates the hand-made records carry, in DOS form for the oldest
// letters and as packed values for the others.
constexpr WORD kDosWrittenDate = 0x5A21; // 2025-01-01
constexpr WORD kDosWrittenTime = 0x6DAF; // 13:45:30
constexpr WORD kDosCreatedDate = 0x2821; // 2000-01-01
constexpr WORD kDosAccessedDate = 0x5A3F; // 2025-01-31
const PackedDate kWrittenDate = PackDate(2025, 1, 1);
const PackedTime kWrittenTime = PackTime(13, 45, 30, 0);
const PackedDate kCreatedDate = PackDate(2000, 1, 1);
const PackedDate kAccessedDate = PackDate(2025, 1, 31);

// Variations that make a file malformed.
struct Faults {
    char drive = 'G';
    DWORD rootFiles = 2;
    WORD subLevel = 1;
    bool cutInTrees = false;
    std::string bookmarkTail = "QV";
};

struct Older {
    char letter;
    Kind kind;
    size_t headerBytes;
};

std::string DiskRecord(Kind kind, char drive) {
    if (kind == Kind::V1) {
        std::string r(1500, '\0');
        Set(&r, 0, BYTE(drive), 1);
        Set(&r, 8, 0xCAFEF00D, 4);
        SetNarrow(&r, 12, "OLDDISK");
        SetNarrow(&r, 76, "FAT");
        Set(&r, 96, 123456789, 8);
        SetNarrow(&r, 160, "G:\\sub");
        SetNarrow(&r, 160 + 261, "G:\\");
        Set(&r, 682, 1, 1);
        return r;
    }
    std::string r(3380, '\0');
    Set(&r, 0, BYTE(drive), 1);
    Set(&r, 8, 0xCAFEF00D, 4);
    SetNarrow(&r, 12, "OLDDISK");
    SetNarrow(&r, 268, "NTFS");
    SetWide(&r, 282, u"/dev/sdz1");
    Set(&r, 800, 123456789, 8);
    SetWide(&r, 924, u"G:\\sub");
    SetWide(&r, 924 + 522, u"G:\\");
    Set(&r, 1968, 1, 1);
    return r;
}

std::string DirRecord(Kind kind, WORD level, DWORD files) {
    std::string r(kind == Kind::CToE ? 72 : 48, '\0');
    Set(&r, 0, level, 2);
    Set(&r, 2, 20, 2);     // name width
    Set(&r, 4, files, 4);
    Set(&r, 8, 9000, 8);   // bytes of the files
    Set(&r, 16, 1, 1);     // expanded
    Set(&r, 17, 1, 1);     // visible
    Set(&r, 18, 1, 1);     // logged
    Set(&r, 20, 0x10, 2);  // directory attribute
    switch (kind) {
    case Kind::V1:
        Set(&r, 22, 1, 1); // tagged in the first pane
        Set(&r, 40, kDosWrittenDate, 2);
        Set(&r, 42, kDosWrittenTime, 2);
        Set(&r, 44, kDosCreatedDate, 2);
        break;
    case Kind::B:
        Set(&r, 40, kWrittenDate, 4);
        Set(&r, 44, kWrittenTime, 4);
        break;
    case Kind::CToE:
        Set(&r, 44, 1, 1);
        Set(&r, 48, kCreatedDate, 4);
        Set(&r, 56, kWrittenDate, 4);
        Set(&r, 60, kWrittenTime, 4);
        Set(&r, 64, kAccessedDate, 4);
        break;
    }
    return r;
}

std::string FileRecord(Kind kind, WORD index, std::string_view shortName, ULONGLONG size) {
    if (kind == Kind::V1) {
        std::string r(40, '\0');
        Set(&r, 0, index, 2);
        SetNarrow(&r, 2, shortName);
        Set(&r, 16, size, 8);
        Set(&r, 24, 0x21, 2);
        Set(&r, 26, 1, 1);
        Set(&r, 27, 2, 1);
        Set(&r, 28, kDosWrittenDate, 2);
        Set(&r, 30, kDosWrittenTime, 2);
        Set(&r, 32, kDosCreatedDate, 2);
        Set(&r, 36, kDosAccessedDate, 2);
        return r;
    }
    std::string r(kind == Kind::B ? 56 : 72, '\0');
    Set(&r, 0, index, 2);
    for (size_t i = 0; i < shortName.size(); i++) Set(&r, 2 + 2 * i, BYTE(shortName[i]), 2);
    Set(&r, 32, size, 8);
    Set(&r, 40, 0x21, 2);
    Set(&r, 44, kWrittenDate, 4);
    Set(&r, 48, kWrittenTime, 4);
    Set(&r, 52, 1, 1);
    Set(&r, 53, 2, 1);
    if (kind == Kind::CToE) {
        Set(&r, 56, kCreatedDate, 4);
        Set(&r, 64, kAccessedDate, 4);
    }
    return r;
}

// The pane header of a letter: the second pane's level-1 key (size,
// descending), the display modes 3 and 4, from byte 6 on the split-sort
// and directory-list switches, from 'D' on the first pane's level-1 key
// at 26 (date, descending), and from 'E' on the fifth byte of that level
// (accessed stamp) at 51.
std::string PaneHeader(const Older& o) {
    std::string h(o.headerBytes, '\0');
    Set(&h, 0, SORT_SIZE, 1);
    Set(&h, 2, 1, 1);
    Set(&h, 4, 3, 1);
    Set(&h, 5, 4, 1);
    if (o.headerBytes > 6) {
        Set(&h, 22, 1, 1);
        Set(&h, 24, 1, 1);
    }
    if (o.letter >= 'D') {
        Set(&h, 26, SORT_DATE, 1);
        Set(&h, 28, 1, 1);
    }
    if (o.letter >= 'E') Set(&h, 51, SORT_STAMP_ACCESSED, 1);
    return h;
}

std::string OlderImage(const Older& o, const Faults& f = {}) {
    std::string out = "QV";
    out += o.letter;
    out += '\0'; // split screen off
    out += PaneHeader(o);
    // Switch line: position 1 on, position 2 the number 3, position 18 'Q'.
    const std::u16string switches = u"13" + std::u16string(15, u'0') + u"Q" + std::u16string(14, u'0');
    if (o.kind == Kind::V1) {
        std::string narrow(64, '\0');
        for (size_t i = 0; i < switches.size(); i++) narrow[i] = char(switches[i]);
        out += narrow;
    } else {
        std::string wide(64, '\0');
        SetWide(&wide, 0, switches);
        out += wide;
    }
    out += "*.c\n\n";
    out += std::string("\x05\x06\x07\x08", 4);
    out += " G:\\sub\n+\n";
    out += '\x01';
    out += DiskRecord(o.kind, f.drive);
    out += DirRecord(o.kind, 0, f.rootFiles);
    out += "G:\\\n";
    out += FileRecord(o.kind, 1, "README.TXT", 5000);
    out += "\n";
    out += FileRecord(o.kind, 2, "LONGNA~1.TXT", 4000);
    out += "Long name \xC3\xA9.txt\n";
    if (f.cutInTrees) return out + "QV";
    out += DirRecord(o.kind, f.subLevel, 0);
    out += "sub\n";
    out += "QV";
    if (o.kind == Kind::V1) {
        out += "G:\\sub|G:\\|" + f.bookmarkTail + "\n";
    } else {
        out += "G:\\sub|G:\\|QV\n";
    }
    out += "\n\n";
    Put(&out, 1, 2); // the alternate list: one item
    Put(&out, 3, 2);
    Put(&out, 6, 2);
    out += "G:\\subvalue\n";
    Put(&out, 0, 2);
    out += "QV";
    return out;
}

const Older kOlder[] = {
    {'7', Kind::V1, 6},  {'8', Kind::V1, 6},  {'9', Kind::V1, 40}, {'A', Kind::V1, 40},
    {'B', Kind::B, 40},  {'C', Kind::CToE, 40}, {'D', Kind::CToE, 60}, {'E', Kind::CToE, 70},
};

class QlogOlderTest : public qlogtest::QlogFixture {
  protected:
    // The session's state before a load, unlike anything the files hold.
    void SessionState() {
        gFileOrder[0] = {SORT_EXTENSION, 0, 0, 0, SORT_STAMP_CREATED};
        gFileOrder[1] = {SORT_NAME, 0, 0, 0, 0};
        gSplitSortDifferent = 0;
        gDirMode[0] = 0;
        gDisplayMode[0] = gDisplayMode[1] = 1;
    }
};

TEST_F(QlogOlderTest, EachOlderLetterLoadsItsLayout) {
    for (const Older& o : kOlder) {
        SCOPED_TRACE(std::string("letter ") + o.letter);
        qtest::ResetTreeState();
        SessionState();
        qtest::BuildTree('C', u"other\\ x=1");
        qtest::DisownRecords();
        QlogPaneSwitches switches{};
        ASSERT_EQ(ApplyQlogImage(OlderImage(o), 1, &switches), QLOG_OK);
        EXPECT_EQ(qtest::CheckTreeText(), "");
        EXPECT_EQ(FindVolume('C'), nullptr) << "a load replaces everything logged";
        DiskInfo* g = FindVolume('G');
        ASSERT_NE(g, nullptr);
        EXPECT_EQ(g->dwSerial, 0xCAFEF00Du);
        EXPECT_STREQ(g->szLabel, "OLDDISK");
        EXPECT_EQ(g->qwTotalBytes, 123456789);
        EXPECT_EQ(std::u16string(g->wszSavedPath[0]), u"G:\\sub");
        EXPECT_EQ(std::u16string(g->wszSavedPath[1]), u"G:\\");
        EXPECT_EQ(g->bHasRefresh, 1);
        EXPECT_EQ(std::u16string(g->wszDevice), o.kind == Kind::V1 ? u"" : u"/dev/sdz1");

        SubdirInfo* root = g->psiRoot;
        ASSERT_EQ(root->dwFiles, 2u);
        const FileEntry* readme = root->pFiles;
        const FileEntry* longName = root->pFiles + 1;
        EXPECT_EQ(std::u16string(readme->wszShortName), u"README.TXT");
        EXPECT_EQ(readme->pszLongName, nullptr);
        EXPECT_EQ(std::u16string(longName->wszShortName), u"LONGNA~1.TXT");
        ASSERT_NE(longName->pszLongName, nullptr);
        EXPECT_EQ(std::u16string(longName->pszLongName), u"Long name \u00E9.txt");
        EXPECT_EQ(readme->qwSize, 5000u);
        EXPECT_EQ(longName->qwSize, 4000u);
        EXPECT_EQ(readme->wAttributes, 0x21);
        EXPECT_EQ(readme->bFlags[0], 1);
        EXPECT_EQ(readme->bFlags[1], 2);
        EXPECT_EQ(readme->dWritten, kWrittenDate);
        EXPECT_EQ(readme->tWritten, kWrittenTime);
        const bool pairs = o.kind != Kind::B;
        EXPECT_EQ(readme->dCreated, pairs ? kCreatedDate : 0u);
        EXPECT_EQ(readme->dAccessed, pairs ? kAccessedDate : 0u);
        EXPECT_EQ(root->dWritten, kWrittenDate);
        EXPECT_EQ(root->tWritten, kWrittenTime);
        EXPECT_EQ(root->dCreated, o.kind == Kind::B ? 0u : kCreatedDate);
        EXPECT_EQ(root->dAccessed, o.kind == Kind::CToE ? kAccessedDate : 0u);
        EXPECT_EQ(root->bFlags[0], o.kind == Kind::B ? 0 : 1) << "'B' keeps no flags of directories";
        EXPECT_EQ(root->wAttributes, 0x10);
        SubdirInfo* sub = Dir(g, u"sub");
        ASSERT_NE(sub, nullptr);
        EXPECT_EQ(sub->wLevel, 1u);
        EXPECT_EQ(sub->dWritten, kWrittenDate);
        EXPECT_EQ(sub->psiParent, root);

        // The pane header: what the letter holds is applied, the rest is
        // the session's.
        EXPECT_EQ(gDisplayMode[0], 3);
        EXPECT_EQ(gDisplayMode[1], 4);
        EXPECT_EQ(gFileOrder[1].key, SORT_SIZE);
        EXPECT_EQ(gFileOrder[1].descending, 1);
        EXPECT_EQ(gSplitSortDifferent, o.headerBytes > 6 ? 1u : 0u);
        EXPECT_EQ(gDirMode[0], o.headerBytes > 6 ? 1u : 0u);
        EXPECT_EQ(gFileOrder[0].key, o.letter >= 'D' ? SORT_DATE : SORT_EXTENSION);
        EXPECT_EQ(gFileOrder[0].descending, o.letter >= 'D' ? 1 : 0);
        EXPECT_EQ(gFileOrder[0].timestamp, o.letter >= 'E' ? SORT_STAMP_ACCESSED : SORT_STAMP_CREATED);

        EXPECT_EQ(switches.window[0], 1);
        EXPECT_EQ(switches.window[1], 3);
        EXPECT_EQ(switches.window[17], 'Q');
        EXPECT_EQ(switches.pane[0], 5);
        EXPECT_EQ(switches.pane[3], 8);
        EXPECT_EQ(std::u16string(gFilterSlots[0].fullText), u"*.c");
        ASSERT_EQ(LoggedPathCount(), 2u);
        EXPECT_EQ(std::u16string(LoggedPathAt(0)), u"G:\\sub");
        EXPECT_EQ(std::u16string(LoggedPathAt(1)), u"G:\\");
        ASSERT_EQ(MemoCount(1), 1u);
        EXPECT_EQ(MemoAt(1, 0)->key, u"G:\\sub");
        EXPECT_EQ(MemoAt(1, 0)->value, u"value");
        ASSERT_NE(psiCurrent, nullptr);
        EXPECT_EQ(psiCurrent, sub) << "the first pane's path line";
    }
}

TEST_F(QlogOlderTest, MalformedOlderFilesChangeNothing) {
    struct Case {
        const char* what;
        Faults faults;
        QlogResult result;
    };
    Faults countPastEnd;
    countPastEnd.rootFiles = 0xFFFF;
    Faults twoDown;
    twoDown.subLevel = 2;
    Faults noLetter;
    noLetter.drive = '1';
    Faults cut;
    cut.cutInTrees = true;
    const Case cases[] = {
        {"a file count past the end", countPastEnd, QLOG_MALFORMED},
        {"a level two below its parent", twoDown, QLOG_MALFORMED},
        {"a drive byte that is no letter", noLetter, QLOG_MALFORMED},
        {"the trees cut short", cut, QLOG_MALFORMED},
    };
    qtest::BuildTree('C', u"kept\\ k.txt=3");
    pdiCurrent = pdiFirst;
    psiCurrent = pdiFirst->psiRoot;
    qtest::DisownRecords();
    LoggedPathList(11, 0, u"C:\\kept|");
    const std::string before = DumpTrees();
    for (const Older& o : kOlder) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string("letter ") + o.letter + ": " + c.what);
            for (int mode : {1, 0}) {
                EXPECT_EQ(ApplyQlogImage(OlderImage(o, c.faults), mode, nullptr), c.result);
                EXPECT_EQ(DumpTrees(), before);
                EXPECT_EQ(LoggedPathCount(), 1u);
            }
        }
    }
    // The oldest letters end their bookmark line with the marker after the
    // last bar.
    Faults badTail;
    badTail.bookmarkTail = "QX";
    EXPECT_EQ(ApplyQlogImage(OlderImage(kOlder[0], badTail), 1, nullptr), QLOG_MALFORMED);
    EXPECT_EQ(DumpTrees(), before);
    // A letter newer than any known is no file to read.
    std::string newer = OlderImage(kOlder[7]);
    newer[2] = 'G';
    EXPECT_EQ(ApplyQlogImage(newer, 1, nullptr), QLOG_MALFORMED);
    EXPECT_EQ(DumpTrees(), before);
    EXPECT_EQ(ApplyQlogImage(OlderImage(kOlder[0]), 0, nullptr), QLOG_OK) << "the unaltered file merges";
    EXPECT_NE(FindVolume('C'), nullptr) << "a merge keeps the other letters";
}

// ---- Esc while loading --------------------------------------------------------------

TEST_F(QlogOlderTest, EscWhileLoadingAsksAndEscAbandons) {
    qtest::BuildTree('C', u"a\\ b\\ c\\ f=1");
    qtest::BuildTree('E', u"x\\");
    pdiCurrent = pdiFirst;
    psiCurrent = pdiFirst->psiRoot;
    std::string image;
    ASSERT_TRUE(BuildQlogImage({}, &image));
    qtest::DisownRecords();
    qtest::ResetTreeState();
    qtest::BuildTree('D', u"mine\\");
    pdiCurrent = pdiFirst;
    psiCurrent = pdiFirst->psiRoot;
    qtest::DisownRecords();
    const std::string before = DumpTrees();
    static int reads;
    reads = 0;
    // Esc is pressed once, while the second directory is read.
    gQlogDirectoryRead = [] {
        if (++reads == 2) gInterruptRequested = 1;
    };
    UiScriptAnswers({27});
    EXPECT_EQ(ApplyQlogImage(image, 1, nullptr), QLOG_ABANDONED);
    ASSERT_EQ(UiQuestionsAsked().size(), 1u);
    EXPECT_EQ(UiQuestionsAsked()[0].path, u"QLOG loading interrupted!  Continue?");
    EXPECT_EQ(DumpTrees(), before) << "an abandoned load changes nothing";
    EXPECT_EQ(reads, 2) << "the load stops at the question";
    UiScriptEnd();

    // Going on reads the whole file.
    reads = 0;
    UiScriptAnswers({'Y'});
    EXPECT_EQ(ApplyQlogImage(image, 1, nullptr), QLOG_OK);
    EXPECT_EQ(UiQuestionsAsked().size(), 1u);
    UiScriptEnd();
    EXPECT_NE(FindVolume('E'), nullptr);
    EXPECT_EQ(FindVolume('D'), nullptr);

    // Through the file: an abandoned load shows nothing more.
    qtest::TempDir dir;
    const std::string host = dir.Write("abandon.qlog", image);
    const std::string loaded = DumpTrees();
    reads = 0;
    UiScriptAnswers({27});
    EXPECT_EQ(QlogLoad(nullptr, WinPath(host).c_str(), 1), 0);
    EXPECT_EQ(UiQuestionsAsked().size(), 1u) << "no message after the user's own Esc";
    EXPECT_EQ(DumpTrees(), loaded);
}

// ---- the file a load falls back to -------------------------------------------

// The process's current directory for the length of a test.
class CurrentDirectory {
  public:
    explicit CurrentDirectory(const std::string& path) {
        char buffer[4096];
        if (::getcwd(buffer, sizeof buffer)) saved_ = buffer;
        const std::u16string wide = WinPath(path);
        changed_ = SetCurrentDirectoryW(wide.c_str()) != 0;
    }
    ~CurrentDirectory() {
        if (!saved_.empty()) {
            const std::u16string wide = WinPath(saved_);
            SetCurrentDirectoryW(wide.c_str());
        }
    }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;
    bool changed() const { return changed_; }

  private:
    std::string saved_;
    bool changed_ = false;
};

TEST_F(QlogOlderTest, ALoadWithoutANameFallsBackInOrder) {
    qtest::TempDir dir;
    // One file per place, each with a disk of its own letter.
    auto imageOf = [](char letter) {
        qtest::ResetTreeState();
        qtest::BuildTree(letter, u"d\\");
        pdiCurrent = pdiFirst;
        psiCurrent = pdiFirst->psiRoot;
        std::string image;
        EXPECT_TRUE(BuildQlogImage({}, &image));
        qtest::ResetTreeState();
        return image;
    };
    const std::string named = dir.Write("named.qlog", imageOf('H'));
    dir.Write("work/TEMP.QLOG", imageOf('J'));
    dir.Write("settings/TEMP.QLOG", imageOf('K'));
    dir.Write("settings/QBK.INI", "");
    const std::u16string ini = WinPath(dir.Sub("settings/QBK.INI"));
    std::copy(ini.begin(), ini.end(), gIniPath);
    gIniPath[ini.size()] = 0;
    EXPECT_EQ(QlogSettingsFolderFile(), WinPath(dir.Sub("settings")) + u"\\TEMP.QLOG");
    CurrentDirectory cwd(dir.Sub("work"));
    ASSERT_TRUE(cwd.changed());
    const std::u16string commandLine = WinPath(named);
    std::copy(commandLine.begin(), commandLine.end(), gQlogCommandLineFile);
    gQlogCommandLineFile[commandLine.size()] = 0;

    struct Step {
        const char* what;
        char letter;
    };
    const Step steps[] = {
        {"the file named on the command line", 'H'},
        {"then TEMP.QLOG in the current directory", 'J'},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        ASSERT_EQ(QlogLoad(nullptr, nullptr, 1), 1);
        ASSERT_NE(pdiFirst, nullptr);
        EXPECT_EQ(char(pdiFirst->cDrive), s.letter);
        EXPECT_EQ(gDiskCount, 1u);
    }
    EXPECT_EQ(gQlogCommandLineFile[0], 0) << "the command-line file is used once";
    ASSERT_EQ(::unlink(dir.Sub("work/TEMP.QLOG").c_str()), 0);
    ASSERT_EQ(QlogLoad(nullptr, u"", 1), 1) << "then TEMP.QLOG beside the settings";
    EXPECT_EQ(char(pdiFirst->cDrive), 'K');
}

// ---- what a load rebuilds -----------------------------------------------------------

TEST_F(QlogOlderTest, ALoadRebuildsTheTreeLinesFromTheNewRecords) {
    struct TreeGeometry {
        WORD width = gTreeWidth, stride = gTreeLineStride;
        TreeGeometry() {
            gTreeWidth = 20;
            gTreeLineStride = 24;
        }
        ~TreeGeometry() {
            for (int p = 0; p < 2; p++) {
                std::free(gTreeLines[p]);
                gTreeLines[p] = nullptr;
                gTreeLineRows[p] = 0;
            }
            gTreeWidth = width;
            gTreeLineStride = stride;
        }
    } geometry;
    qtest::TempDir dir;
    qtest::BuildTree('C', u"one\\ two\\");
    pdiCurrent = pdiFirst;
    psiCurrent = pdiFirst->psiRoot;
    const std::string host = dir.Sub("tree.qlog");
    ASSERT_EQ(SaveQlogFile(WinPath(host).c_str(), {}), 0u);
    showtree(); // lines that point into the records about to be released
    ASSERT_EQ(FindPathFromPos(gTreeFirstLine, 0, 0), pdiFirst->psiRoot);
    qtest::DisownRecords();
    ASSERT_EQ(QlogLoad(nullptr, WinPath(host).c_str(), 1), 1);
    EXPECT_EQ(FindPathFromPos(gTreeFirstLine, 0, 0), pdiCurrent->psiRoot) << "the new root's row";
    EXPECT_EQ(FindPathFromPos(gTreeFirstLine + 1, 0, 0), Dir(pdiCurrent, u"one"));
    EXPECT_EQ(gTreeLines[1], nullptr) << "the other pane's lines are built when it is shown";
}

// ---- bookmarks ------------------------------------------------------------------------

TEST_F(QlogOlderTest, ABarInsideABookmarkComesBack) {
    qtest::BuildTree('C', u"a|b\\");
    pdiCurrent = pdiFirst;
    psiCurrent = pdiFirst->psiRoot;
    const std::u16string entries[] = {u"C:\\a|b", u"C:\\"};
    SetLoggedPaths(entries, 2);
    ASSERT_EQ(LoggedPathCount(), 2u);
    std::string image;
    ASSERT_TRUE(BuildQlogImage({}, &image));
    qtest::DisownRecords();
    SetLoggedPaths(nullptr, 0);
    ASSERT_EQ(ApplyQlogImage(image, 1, nullptr), QLOG_OK);
    ASSERT_EQ(LoggedPathCount(), 2u);
    EXPECT_EQ(std::u16string(LoggedPathAt(0)), u"C:\\a|b");
    EXPECT_EQ(std::u16string(LoggedPathAt(1)), u"C:\\");
}

} // namespace
