// The tree records: the disk ring, directory threading and re-threading, the
// lookups by letter, path and index, entry names, and the invariant checker
// and builder that the other tree tests stand on.
#include "archive/archive_state.h"
#include "main/window_state.h"
#include "platform/screen.h"
#include "qwcrt.h"
#include "tree/file_list.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "tree_builder.h"
#include "fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using qtest::BuildDir;
using qtest::BuildDisk;
using qtest::BuildFiles;
using qtest::BuildTree;
using qtest::CheckTree;

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out += c < 0x80 ? char(c) : '?';
    return out;
}

std::string Joined(const std::vector<std::string>& faults) {
    std::string out;
    for (const std::string& f : faults) out += f + "\n";
    return out;
}

// The full names of a disk's rows in pre-order.
std::vector<std::u16string> Rows(const DiskInfo* disk) {
    std::vector<std::u16string> rows;
    for (const SubdirInfo* d = disk->psiRoot; d && rows.size() < 10000;
         d = d->psiChild ? d->psiChild : d->psiNext)
        rows.emplace_back(d->pszFullName);
    return rows;
}

class TreeRecordsTest : public ::testing::Test {
  protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() { qtest::ResetTreeState(); }
    static void ExpectSound() { EXPECT_EQ(Joined(CheckTree()), ""); }
    static std::u16string Name(const SubdirInfo* d) { return d ? d->pszFullName : u"(null)"; }
};

// ---- the ring ---------------------------------------------------------------------------------

TEST_F(TreeRecordsTest, DisksInsertedInEveryOrderFormASortedRing) {
    std::string letters = "CFKX";
    do {
        Reset();
        for (char letter : letters) {
            BuildDisk(letter);
            ExpectSound();
        }
        EXPECT_EQ(gDiskCount, 4);
        EXPECT_EQ(pdiFirst->cDrive, 'C');
        EXPECT_EQ(pdiLast->cDrive, 'X');
        std::string walk;
        const DiskInfo* d = pdiFirst;
        for (int n = 0; n < 4; n++, d = d->pdiNext) walk += char(d->cDrive);
        EXPECT_EQ(walk, "CFKX") << "inserted as " << letters;
        for (char letter : std::string("CFKX")) {
            ASSERT_NE(FindVolume(letter), nullptr) << letter;
            EXPECT_EQ(FindVolume(letter)->cDrive, letter);
        }
        EXPECT_EQ(FindVolume('D'), nullptr);
        EXPECT_EQ(FindVolume('c'), nullptr) << "letters compare as bytes";
    } while (std::next_permutation(letters.begin(), letters.end()));
}

TEST_F(TreeRecordsTest, OneDiskIsFoundThoughItsLinksAreNull) {
    EXPECT_EQ(FindVolume('C'), nullptr);
    EXPECT_EQ(pdiFirst, nullptr);
    DiskInfo* disk = BuildDisk('Q');
    EXPECT_EQ(disk->pdiNext, nullptr);
    EXPECT_EQ(disk->pdiPrev, nullptr);
    EXPECT_EQ(FindVolume('Q'), disk);
    EXPECT_EQ(FindVolume('R'), nullptr);
    ExpectSound();
}

// ---- threading --------------------------------------------------------------------------------

TEST_F(TreeRecordsTest, DirectoriesInsertedInEveryOrderKeepPreOrder) {
    std::vector<std::u16string> paths = {u"m\\q", u"b\\z\\w", u"k", u"a", u"b\\c", u"x\\y"};
    const std::vector<std::u16string> expected = {
        u"X:\\",      u"X:\\a",   u"X:\\b", u"X:\\b\\c", u"X:\\b\\z", u"X:\\b\\z\\w",
        u"X:\\k",     u"X:\\m",   u"X:\\m\\q", u"X:\\x",  u"X:\\x\\y"};
    std::sort(paths.begin(), paths.end());
    int orders = 0;
    do {
        Reset();
        DiskInfo* disk = BuildDisk('X');
        for (const auto& p : paths) {
            BuildDir(disk, p);
            ASSERT_EQ(Joined(CheckTree()), "") << "after " << Narrow(p);
        }
        ASSERT_EQ(Rows(disk), expected);
        orders++;
    } while (std::next_permutation(paths.begin(), paths.end()));
    EXPECT_EQ(orders, 720);
}

TEST_F(TreeRecordsTest, CollectLevelRunRestoresOrderAndThreading) {
    DiskInfo* disk = BuildTree('X', u"d10\\ d9\\ d2\\ d2\\x\\ d2\\b\\ d9\\k\\");
    SubdirInfo* root = disk->psiRoot;
    ExpectSound();
    // Names compared plainly: d10 < d2 < d9. Number order wants d2 d9 d10.
    gTreeNumberOrder = TRUE;
    EXPECT_NE(Joined(CheckTree()).find("out of order"), std::string::npos);
    root->psiChild = CollectLevelRun(root->psiChild, root->psiNext, TRUE);
    ExpectSound();
    EXPECT_EQ(Rows(disk), (std::vector<std::u16string>{u"X:\\", u"X:\\d2", u"X:\\d2\\b",
                                                       u"X:\\d2\\x", u"X:\\d9", u"X:\\d9\\k",
                                                       u"X:\\d10"}));
    // A run scrambled by hand (children of d2 reversed) comes back in order,
    // leading to the given follower.
    SubdirInfo* d2 = FindDirByPath(u"X:\\d2", nullptr, TRUE);
    ASSERT_NE(d2, nullptr);
    SubdirInfo* b = d2->psiChild;
    SubdirInfo* x = b->psiNext;
    x->psiNext = b;
    b->psiNext = d2->psiNext;
    d2->psiChild = x;
    EXPECT_NE(Joined(CheckTree()), "");
    d2->psiChild = CollectLevelRun(x, d2->psiNext, FALSE);
    EXPECT_EQ(d2->psiChild, b);
    ExpectSound();
    // A single member is only re-chained.
    SubdirInfo* k = FindDirByPath(u"X:\\d9\\k", nullptr, TRUE);
    EXPECT_EQ(CollectLevelRun(k, k->psiNext, TRUE), k);
    EXPECT_EQ(CollectLevelRun(nullptr, nullptr, TRUE), nullptr);
    ExpectSound();
}

// ---- the checker catches what it is for ---------------------------------------------------------

TEST_F(TreeRecordsTest, CheckerReportsEachBrokenInvariant) {
    struct Case {
        const char* what;
        void (*breakIt)(DiskInfo* x, DiskInfo* c);
        const char* fault;
    };
    const Case cases[] = {
        {"ring order", [](DiskInfo* x, DiskInfo* c) { std::swap(x->cDrive, c->cDrive); }, "ring"},
        {"disk count", [](DiskInfo*, DiskInfo*) { gDiskCount = 3; }, "ring"},
        {"last descendant's successor",
         [](DiskInfo*, DiskInfo*) { FindDirByPath(u"X:\\a\\b", nullptr, TRUE)->psiNext = nullptr; },
         "does not lead"},
        {"sibling order",
         [](DiskInfo* x, DiskInfo*) { std::swap(x->psiRoot->psiChild->pszName[0],
                                                x->psiRoot->psiChild->psiNext->pszName[0]); },
         "out of order"},
        {"level", [](DiskInfo*, DiskInfo*) { FindDirByPath(u"X:\\c", nullptr, TRUE)->psiChild->wLevel = 3; },
         "one level deeper"},
        {"file count", [](DiskInfo*, DiskInfo*) { FindDirByPath(u"X:\\a", nullptr, TRUE)->dwFiles = 1; },
         "files counted"},
        {"file bytes", [](DiskInfo*, DiskInfo*) { FindDirByPath(u"X:\\a", nullptr, TRUE)->pFiles[0].qwSize++; },
         "qwFileBytes"},
        {"match figures",
         [](DiskInfo*, DiskInfo*) { FindDirByPath(u"X:\\a", nullptr, TRUE)->pFiles[0].bFlags[1] = 0; },
         "pane 1 match"},
        {"tag figures",
         [](DiskInfo*, DiskInfo*) { FindDirByPath(u"X:\\a", nullptr, TRUE)->pFiles[1].bFlags[0] |= ENTRY_MARKED; },
         "pane 0 tag"},
        {"disk sums", [](DiskInfo* x, DiskInfo*) { x->qwTagBytes[0] = 7; }, "disk tag"},
        {"owner", [](DiskInfo* x, DiskInfo*) { FindDirByPath(u"X:\\a", nullptr, TRUE)->pFiles[0].psiOwner = x->psiRoot; },
         "another owner"},
        {"directory count", [](DiskInfo* x, DiskInfo*) { x->dwDirEntries++; }, "dwDirEntries"},
        {"current directory", [](DiskInfo*, DiskInfo* c) { psiCurrent = c->psiRoot; }, "psiCurrent"},
        {"root width", [](DiskInfo* x, DiskInfo*) { x->psiRoot->wNameWidth = 13; }, "name width"},
    };
    for (const Case& c : cases) {
        Reset();
        DiskInfo* x = BuildTree('X', u"a\\b\\ a\\f1=10 a\\f2=20 c\\d\\ g=5");
        DiskInfo* cDisk = BuildTree('C', u"u\\");
        pdiCurrent = x;
        psiCurrent = x->psiRoot;
        ASSERT_EQ(Joined(CheckTree()), "") << c.what;
        c.breakIt(x, cDisk);
        const std::string faults = Joined(CheckTree());
        EXPECT_NE(faults.find(c.fault), std::string::npos) << c.what << ":\n" << faults;
    }
}

// ---- lookups by path ----------------------------------------------------------------------------

TEST_F(TreeRecordsTest, FindDirByPathCases) {
    DiskInfo* disk = BuildTree('X', u"a\\ Case\\ case\\ hid\\in\\");
    SubdirInfo* hid = FindDirByPath(u"X:\\hid", nullptr, TRUE);
    hid->bExpanded = 0;
    hid->psiChild->bVisible = 0;
    ExpectSound();
    struct Case {
        const char16_t* path;
        BOOL exactOnly;
        const char16_t* found; // null: none
        DWORD row;
    };
    // Rows: X:\ 0, a 1, Case 2, case 3, hid 4, (in hidden).
    const Case cases[] = {
        {u"X:\\a\\b\\c", FALSE, u"X:\\a", 1},        // deepest logged ancestor
        {u"X:\\a\\b\\c", TRUE, nullptr, 0},
        {u"X:\\", TRUE, u"X:\\", 0},                 // the root with its backslash
        {u"X:", TRUE, u"X:\\", 0},                   // and without
        {u"x:\\a", TRUE, u"X:\\a", 1},               // the letter in any case
        {u"X:\\a\\", TRUE, u"X:\\a", 1},             // a trailing backslash
        {u"X:\\Case", TRUE, u"X:\\Case", 2},         // case-only siblings, each exactly
        {u"X:\\case", TRUE, u"X:\\case", 3},
        {u"X:\\CASE", TRUE, nullptr, 0},
        {u"X:\\CASE", FALSE, u"X:\\", 0},
        {u"X:\\hid\\in", TRUE, u"X:\\hid\\in", 5},   // a hidden row is no row
        {u"Y:\\a", FALSE, nullptr, 0},               // another letter
        {u"", FALSE, nullptr, 0},
    };
    for (const Case& c : cases) {
        DWORD row = 999;
        SubdirInfo* found = FindDirByPath(c.path, &row, c.exactOnly);
        const std::string what = Narrow(c.path) + (c.exactOnly ? " exact" : "");
        if (!c.found) {
            EXPECT_EQ(found, nullptr) << what;
            continue;
        }
        ASSERT_NE(found, nullptr) << what;
        EXPECT_EQ(Name(found), c.found) << what;
        EXPECT_EQ(found->pdiDisk, disk);
        EXPECT_EQ(row, c.row) << what;
        EXPECT_EQ(FindDirByPath(c.path, nullptr, c.exactOnly), found) << what << " without a row";
    }
    // The hidden directory counts as no row: it takes the number the next row has.
    DWORD row = 0;
    EXPECT_EQ(FindDirByPath(u"X:\\hid\\in", &row, TRUE), hid->psiChild);
    EXPECT_EQ(row, 5u);
    // Over the visible rows only, the hidden directory is not found; its
    // nearest visible ancestor is.
    EXPECT_EQ(FindDirByPathEx(u"X:\\hid\\in", &row, TRUE), nullptr);
    EXPECT_EQ(FindDirByPathEx(u"X:\\hid\\in", &row, FALSE), hid);
    EXPECT_EQ(row, 4u);
}

TEST_F(TreeRecordsTest, FindDirByPathAnyDiskKeepsTheCurrentDisk) {
    DiskInfo* x = BuildTree('X', u"a\\");
    DiskInfo* c = BuildTree('C', u"u\\v\\");
    pdiCurrent = x;
    DWORD row = 0;
    SubdirInfo* v = FindDirByPathAnyDisk(u"c:\\u\\v", &row, TRUE);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->pdiDisk, c);
    EXPECT_EQ(row, 2u);
    EXPECT_EQ(pdiCurrent, x);
    EXPECT_EQ(Name(FindDirByPathAnyDisk(u"X:\\a", nullptr, TRUE)), u"X:\\a");
    EXPECT_EQ(FindDirByPathAnyDisk(u"Q:\\", nullptr, FALSE), nullptr);
    EXPECT_EQ(pdiCurrent, x);
    // FindDirByPath itself only looks at the current disk.
    EXPECT_EQ(FindDirByPath(u"C:\\u", nullptr, FALSE), nullptr);
}

TEST_F(TreeRecordsTest, FindDirByWidePathStepsThroughPrefixMatches) {
    BuildTree('X', u"proj\\sub\\ prog\\ other\\ pro\\");
    struct Case {
        const char16_t* path;
        size_t length;
        BOOL mode;
        const char16_t* found;
    };
    const Case cases[] = {
        {u"x:\\pro", 6, FALSE, u"X:\\pro"},             // first in tree order
        {u"X:\\pro", 6, TRUE, u"X:\\prog"},             // the one after the typed text
        {u"X:\\prog", 6, TRUE, u"X:\\proj"},
        {u"X:\\proj", 6, TRUE, u"X:\\pro"},             // and round to the first
        {u"X:\\PROJ\\s", 9, FALSE, u"X:\\proj\\sub"},   // the level from the backslashes
        {u"X:\\proj\\sub", 6, FALSE, u"X:\\pro"},       // only length units count
        {u"X:\\z", 4, FALSE, nullptr},
        {u"C:\\pro", 6, FALSE, nullptr},                // another letter
    };
    for (const Case& c : cases) {
        SubdirInfo* found = FindDirByWidePath(c.path, c.length, c.mode);
        const std::string what = Narrow(c.path) + " mode " + std::to_string(c.mode);
        if (!c.found) EXPECT_EQ(found, nullptr) << what;
        else EXPECT_EQ(Name(found), c.found) << what;
    }
}

TEST_F(TreeRecordsTest, FindTreePredecessor) {
    DiskInfo* disk = BuildTree('X', u"a\\x\\ b\\");
    SubdirInfo* root = disk->psiRoot;
    SubdirInfo* a = FindDirByPath(u"X:\\a", nullptr, TRUE);
    SubdirInfo* b = FindDirByPath(u"X:\\b", nullptr, TRUE);
    EXPECT_EQ(FindTreePredecessor(a), root);
    EXPECT_EQ(FindTreePredecessor(a->psiChild), a);
    EXPECT_EQ(FindTreePredecessor(b), a) << "the sibling before, not a's last descendant";
    EXPECT_EQ(FindTreePredecessor(root), nullptr);
}

// ---- an archive's own tree --------------------------------------------------------------------------

TEST_F(TreeRecordsTest, ArchiveTreeWithoutDriveLetters) {
    gArchiveTreeActive = TRUE;
    DiskInfo* disk = BuildDisk('X', u"\\");
    BuildDir(disk, u"a\\b");
    BuildDir(disk, u"A");
    ExpectSound();
    EXPECT_EQ(Name(FindDirByPath(u"\\a\\b", nullptr, TRUE)), u"\\a\\b");
    EXPECT_EQ(Name(FindDirByPath(u"\\a\\b\\", nullptr, TRUE)), u"\\a\\b");
    EXPECT_EQ(Name(FindDirByPath(u"\\A", nullptr, TRUE)), u"\\A");
    EXPECT_EQ(Name(FindDirByPath(u"\\a\\zz", nullptr, FALSE)), u"\\a");
    EXPECT_EQ(Name(FindDirByPath(u"\\zz", nullptr, FALSE)), u"\\");
    EXPECT_EQ(FindDirByPath(u"\\zz", nullptr, TRUE), nullptr);
    EXPECT_EQ(FindDirByPath(u"zz", nullptr, FALSE), nullptr);
    DWORD row = 0;
    EXPECT_EQ(Name(FindDirByPathAnyDisk(u"\\a\\b", &row, TRUE)), u"\\a\\b");
    EXPECT_EQ(row, 3u); // \ A a a\b
    // A directory of the archive has no mode word to look up.
    SubdirInfo* a = FindDirByPath(u"\\a", nullptr, TRUE);
    EXPECT_EQ(GetEntryModeWord(reinterpret_cast<FileEntry*>(a)), 0);
    EXPECT_EQ(a->wMode, 0) << "nothing was looked up";
    // The same paths mean nothing outside the archive.
    gArchiveTreeActive = FALSE;
    EXPECT_EQ(FindDirByPath(u"\\a\\b", nullptr, FALSE), nullptr);
}

// ---- names ------------------------------------------------------------------------------------------

TEST_F(TreeRecordsTest, DisplayNamesFromInlineAndLongNames) {
    struct Case {
        const char16_t* name;
        const char16_t* inlineForm;
        bool longKept;
    };
    const Case cases[] = {
        {u"ABCDEFGH.TXT", u"ABCDEFGH.TXT", false}, // 8.3 without blanks, unchanged
        {u"A.B", u"A       .B", false},            // the filling blanks removed
        {u"README", u"README      ", false},
        {u"READ ME.TXT", u"READ ME .TXT", false},  // the inline field gives it back
        {u"READ ME", u"READ ME     ", true},       // a blank without a dot keeps the long name
        {u"notes.text", u"notes.text  ", true},    // a four-unit extension
        {u"a-name-of-many-units.txt", u"a-name-of-m\x25BA", true},
        {u"abcdefghijk:", u"abcdefghijk:", true},  // twelve units ending in ':'
    };
    DiskInfo* disk = BuildDisk('X');
    std::vector<qtest::BuiltFile> files;
    for (const Case& c : cases) files.push_back({c.name, 1});
    BuildFiles(disk->psiRoot, files);
    for (size_t i = 0; i < std::size(cases); i++) {
        const FileEntry* e = &disk->psiRoot->pFiles[i];
        const Case& c = cases[i];
        const std::string what = Narrow(c.name);
        EXPECT_EQ(std::u16string(e->wszShortName), c.inlineForm) << what;
        EXPECT_EQ(e->pszLongName != nullptr, c.longKept) << what;
        WCHAR name[300];
        EXPECT_EQ(GetFileDisplayName(name, e), std::char_traits<char16_t>::length(c.name)) << what;
        EXPECT_EQ(std::u16string(name), c.name) << what;
        EXPECT_EQ(DisplayNameLength(e), std::char_traits<char16_t>::length(c.name)) << what;
        EXPECT_FALSE(IsDriveEntry(e)) << what;
    }
    ExpectSound();
}

TEST_F(TreeRecordsTest, FullNamesUpToTheirLimit) {
    // X:\ + 1010 units + \ + 10 units = 1024 units.
    const std::u16string dirName(1010, u'd');
    DiskInfo* disk = BuildDisk('X');
    SubdirInfo* deep = BuildDir(disk, dirName);
    BuildFiles(deep, {{u"0123456789", 1}, {u"01234567890", 1}});
    BuildFiles(disk->psiRoot, {{u"top.txt", 1}});
    WCHAR buffer[TREE_MAX_FULL_NAME + 1];
    ASSERT_EQ(GetFullFileName(buffer, &deep->pFiles[0]), 1);
    EXPECT_EQ(std::u16string(buffer), u"X:\\" + dirName + u"\\0123456789");
    EXPECT_EQ(wcslen(buffer), 1024u);
    buffer[0] = u'#';
    EXPECT_EQ(GetFullFileName(buffer, &deep->pFiles[1]), 0) << "1025 units";
    EXPECT_EQ(buffer[0], u'#') << "the buffer is left alone";
    // No second backslash after the root; a root entry names itself.
    ASSERT_EQ(GetFullFileName(buffer, &disk->psiRoot->pFiles[0]), 1);
    EXPECT_EQ(std::u16string(buffer), u"X:\\top.txt");
    ASSERT_EQ(GetFullFileName(buffer, reinterpret_cast<FileEntry*>(disk->psiRoot)), 1);
    EXPECT_EQ(std::u16string(buffer), u"X:\\");
    // FullFileName: the static text, or a copy and the name part.
    EXPECT_EQ(FullFileName(nullptr, &disk->psiRoot->pFiles[0]), gFullNameBuffer);
    EXPECT_EQ(std::u16string(gFullNameBuffer), u"X:\\top.txt");
    WCHAR copy[TREE_MAX_FULL_NAME + 1];
    const WCHAR* namePart = FullFileName(copy, &deep->pFiles[0]);
    EXPECT_EQ(std::u16string(copy), u"X:\\" + dirName + u"\\0123456789");
    EXPECT_EQ(namePart, gFullNameBuffer + 1014);
    EXPECT_EQ(std::u16string(FullFileName(nullptr, &deep->pFiles[1])), u"") << "too long";
}

TEST_F(TreeRecordsTest, ModeWordLookups) {
    DiskInfo* disk = BuildDisk('X');
    const std::u16string dirName(1020, u'd');
    SubdirInfo* deep = BuildDir(disk, dirName);
    BuildFiles(deep, {{u"long-enough", 1}});
    BuildFiles(disk->psiRoot, {{u"known", 1}});
    FileEntry* known = &disk->psiRoot->pFiles[0];
    known->wMode = 0x81A4;
    EXPECT_EQ(GetEntryModeWord(known), 0x81A4) << "a known word is not looked up again";
    known->wMode = FILE_MODE_UNKNOWN;
    EXPECT_EQ(GetEntryModeWord(known), 0);
    FileEntry* tooLong = &deep->pFiles[0];
    EXPECT_EQ(GetEntryModeWord(tooLong), 0);
    EXPECT_EQ(tooLong->wMode, FILE_MODE_UNKNOWN) << "a name past the limit counts as looked up";
}

TEST_F(TreeRecordsTest, RealModeWordOfAFileOnAFixtureDrive) {
    qtest::TempDir home;
    const std::string root = home.MakeDir("drive");
    home.Write("drive/f.sh", "x");
    ASSERT_EQ(::chmod((root + "/f.sh").c_str(), 0754), 0);
    qtest::ScopedEnv env("HOME", home.path().c_str());
    qtest::WriteFixtureDrives(home.path(), 'T', root);
    GetLogicalDrives(); // reads the drives file again
    DiskInfo* disk = BuildDisk('T');
    BuildFiles(disk->psiRoot, {{u"f.sh", 1}, {u"missing", 1}});
    EXPECT_EQ(GetEntryModeWord(&disk->psiRoot->pFiles[0]), 0x8000 | 0754);
    EXPECT_EQ(disk->psiRoot->pFiles[0].wMode, 0x8000 | 0754);
    EXPECT_EQ(GetEntryModeWord(&disk->psiRoot->pFiles[1]), 0);
    EXPECT_EQ(disk->psiRoot->pFiles[1].wMode, FILE_MODE_UNKNOWN);
}

TEST_F(TreeRecordsTest, ListNameOrders) {
    struct Case {
        const char16_t* a;
        const char16_t* b;
        int mode;
        int sign;
    };
    const Case cases[] = {
        {u"readme", u"a1", 10, -1},  // no digit first
        {u"x2", u"x10", 10, -1},
        {u"b", u"a", 10, 0},         // two without digits are equal here
        {u"b9", u"a10", 10, -1},     // from the first digit on
        {u"a1", u"readme", 0, -1},
        {u"x2", u"x10", 0, -1},
        {u"X10", u"x9", 9, 1},
    };
    DiskInfo* disk = BuildDisk('X');
    std::vector<qtest::BuiltFile> files;
    for (const Case& c : cases) {
        files.push_back({c.a});
        files.push_back({c.b});
    }
    BuildFiles(disk->psiRoot, files);
    for (size_t i = 0; i < std::size(cases); i++) {
        const int r = CompareListNames(&disk->psiRoot->pFiles[2 * i], &disk->psiRoot->pFiles[2 * i + 1],
                                       cases[i].mode);
        EXPECT_EQ((r > 0) - (r < 0), cases[i].sign) << Narrow(cases[i].a) << " " << Narrow(cases[i].b);
    }
}

// ---- the name comparators of the tree order ------------------------------------------------------

TEST_F(TreeRecordsTest, TreeOrderOfNames) {
    struct Case {
        const char16_t* a;
        const char16_t* b;
        BOOL numberOrder;
        int sign;
    };
    const Case cases[] = {
        {u"abc", u"ABD", FALSE, -1},   // ASCII letters folded
        {u"abc", u"ABC", FALSE, 1},    // equal folded: the exact compare decides
        {u"Case", u"case", FALSE, -1},
        {u"d10", u"d9", FALSE, -1},    // plain order
        {u"d10", u"d9", TRUE, 1},      // number order
        {u"D9", u"d10", TRUE, -1},
        {u"same", u"same", TRUE, 0},
        {u"", u"a", FALSE, -1},
    };
    for (const Case& c : cases) {
        gTreeNumberOrder = c.numberOrder;
        SubdirInfo a{}, b{};
        std::u16string nameA = c.a, nameB = c.b;
        a.pszName = nameA.data();
        b.pszName = nameB.data();
        const SubdirInfo* pa = &a;
        const SubdirInfo* pb = &b;
        const int r = CompareEntryNames(&pa, &pb);
        const std::string what = Narrow(nameA) + " " + Narrow(nameB) + (c.numberOrder ? " number" : "");
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << what;
        const int back = CompareEntryNames(&pb, &pa);
        EXPECT_EQ((back > 0) - (back < 0), -c.sign) << what;
    }
    EXPECT_EQ(CompareNames(u"abc", u"ABC"), 0);
    EXPECT_LT(CompareNames(u"a", u"_"), 0) << "'A' before '_' once folded";
    gFileOrder[0].charset = SORT_CHARSET_ANSI;
    EXPECT_EQ(CompareNames(u"abc", u"ABC"), 0);
    EXPECT_LT(CompareNames(u"abc", u"ABD"), 0);
    EXPECT_LT(CompareLogical(u"x2", u"x10"), 0);
}

TEST_F(TreeRecordsTest, FindEntryNameSearchesSiblingsInTreeOrder) {
    DiskInfo* disk = BuildTree('X', u"b\\ Case\\ case\\ a\\ zz\\");
    std::vector<const SubdirInfo*> children;
    for (const SubdirInfo* c = disk->psiRoot->psiChild; c; c = c->psiNext) children.push_back(c);
    ASSERT_EQ(children.size(), 5u);
    for (const SubdirInfo* c : children) {
        const void* found = std::bsearch(c->pszName, children.data(), children.size(),
                                         sizeof children[0], FindEntryName);
        ASSERT_NE(found, nullptr) << Narrow(c->pszName);
        EXPECT_EQ(*static_cast<const SubdirInfo* const*>(found), c);
    }
    EXPECT_EQ(std::bsearch(u"CASE", children.data(), children.size(), sizeof children[0],
                           FindEntryName),
              nullptr);
}

// ---- drive entries -------------------------------------------------------------------------------------

TEST_F(TreeRecordsTest, OnlyARealDriveEntryIsPassedOver) {
    const std::u16string drive = std::u16string(1, char16_t(0xFFFF)) + u"[-C-]     :";
    ASSERT_EQ(drive.size(), 12u);
    struct Case {
        std::u16string name;
        bool driveEntry;
    };
    const Case cases[] = {
        {drive, true},
        {u"abcdefghijk:", false},                                  // a real name
        {std::u16string(1, char16_t(0xFFFF)) + u"abc:", false},   // too short
        {std::u16string(1, char16_t(0xFFFF)) + u"[-C-]      ", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsDriveEntryName(c.name.c_str()), c.driveEntry) << Narrow(c.name);
    EXPECT_FALSE(IsDriveEntryName(nullptr));

    DiskInfo* disk = BuildDisk('X');
    BuildFiles(disk->psiRoot, {{drive, 0}, {u"abcdefghijk:", 40, {ENTRY_MATCHES | ENTRY_TAGGED, 0}},
                               {u"plain", 2}});
    const SubdirInfo* root = disk->psiRoot;
    EXPECT_TRUE(IsDriveEntry(&root->pFiles[0]));
    EXPECT_FALSE(IsDriveEntry(&root->pFiles[1]));
    EXPECT_EQ(root->dwFiles, 3u);
    EXPECT_EQ(root->dwMatchFiles[0], 2u) << "the real name counts, the drive entry does not";
    EXPECT_EQ(root->qwMatchBytes[0], 42u);
    EXPECT_EQ(root->dwTagFiles[0], 1u);
    EXPECT_EQ(root->qwTagBytes[0], 40u);
    ExpectSound();
    // The name order puts the real name among names and drive entries last.
    EXPECT_LT(CompareNames(u"abcdefghijk:", u"plain"), 0);
    EXPECT_GT(CompareNames(drive.c_str(), u"zzz"), 0);
    EXPECT_EQ(CompareNames(drive.c_str(), drive.c_str()), 0);
    EXPECT_LT(CompareNames(u"", drive.c_str()), 0);
}

// ---- indices past 16 bits ---------------------------------------------------------------------------

TEST_F(TreeRecordsTest, SeventyThousandFilesAreFoundAgainByIndex) {
    constexpr DWORD kFiles = 70000;
    DiskInfo* disk = BuildDisk('X');
    SubdirInfo* big = BuildDir(disk, u"cache");
    std::vector<qtest::BuiltFile> files(kFiles);
    for (DWORD i = 0; i < kFiles; i++) {
        char16_t name[16];
        for (int d = 0, v = int(i); d < 6; d++, v /= 10) name[5 - d] = char16_t(u'0' + v % 10);
        name[6] = 0;
        files[i].name = std::u16string(u"f") + name;
        const BYTE flags = i % 2 ? 0 : ENTRY_MATCHES;
        files[i].flags[0] = files[i].flags[1] = flags;
    }
    BuildFiles(big, files);
    EXPECT_EQ(big->dwFiles, kFiles);
    EXPECT_EQ(disk->dwFiles, kFiles);
    EXPECT_EQ(big->pFiles[kFiles - 1].wIndex, kFiles);
    ExpectSound();
    // Sorted the other way round, as a descending order keeps them.
    std::reverse(big->pFiles, big->pFiles + kFiles);
    ExpectSound();
    for (DWORD index : {DWORD(1), DWORD(65535), DWORD(65536), DWORD(65537), DWORD(69999), kFiles}) {
        const DWORD position = FindDirIndex(index, big, FALSE);
        ASSERT_EQ(position, kFiles + 1 - index) << index;
        EXPECT_EQ(big->pFiles[position - 1].wIndex, index);
    }
    // Counting only the matching entries (the odd positions as read).
    EXPECT_EQ(FindDirIndex(69999, big, TRUE), 1u);
    EXPECT_EQ(FindDirIndex(1, big, TRUE), kFiles / 2);
    EXPECT_EQ(FindDirIndex(2, big, TRUE), 0u) << "not matching";
    EXPECT_EQ(FindDirIndex(kFiles + 1, big, FALSE), 0u);

    // Through a display list of every entry.
    gFileList = static_cast<DisplayFileList*>(
        std::calloc(1, sizeof(DisplayFileList) + sizeof(EntryHead*) * (kFiles + 1)));
    for (DWORD i = 0; i < kFiles; i++) ListEntries(gFileList)[i] = HeadOf(&big->pFiles[i]);
    gFMax = kFiles;
    EXPECT_EQ(FindDirIndex(65537, nullptr, FALSE), kFiles + 1 - 65537);
    EXPECT_EQ(FindDirIndex(kFiles + 5, nullptr, FALSE), 0u);
    // While the pane lists directories, the index is the position.
    std::free(gFileList);
    gFileList = nullptr;
    gDirMode[0] = 1;
    EXPECT_EQ(FindDirIndex(123456, big, FALSE), 123456u);
}

// ---- dates and the tree painter's facts ------------------------------------------------------------

TEST_F(TreeRecordsTest, NodeTimesAndModeComeFromFindData) {
    WIN32_FIND_DATAW data{};
    data.ftCreationTime = {0x12345678, 0x01D9A000};
    data.ftLastWriteTime = {0x9ABCDEF0, 0x01DA0000};
    data.ftLastAccessTime = {0x0, 0x01DB0000};
    data.dwReserved1 = 0x81ED;
    SubdirInfo dir{};
    SetNodeFileTimes(&dir, &data);
    PackedDate d[3];
    PackedTime t[3];
    FindDataToPacked(&data, &d[0], &t[0], &d[1], &t[1], &d[2], &t[2]);
    EXPECT_EQ(dir.dCreated, d[0]);
    EXPECT_EQ(dir.tCreated, t[0]);
    EXPECT_EQ(dir.dWritten, d[1]);
    EXPECT_EQ(dir.tWritten, t[1]);
    EXPECT_EQ(dir.dAccessed, d[2]);
    EXPECT_EQ(dir.tAccessed, t[2]);
    EXPECT_NE(dir.dWritten, dir.dCreated);
    EXPECT_EQ(dir.wMode, 0x81ED);
}

TEST_F(TreeRecordsTest, TheTreePainterReadsLevelAndAttributes) {
    ASSERT_EQ(gTreeDirFacts, &TreeDirFacts);
    DiskInfo* disk = BuildTree('X', u"a\\b\\");
    SubdirInfo* b = FindDirByPath(u"X:\\a\\b", nullptr, TRUE);
    b->wAttributes = 0x12;
    WORD level = 0, attributes = 0;
    gTreeDirFacts(b, &level, &attributes);
    EXPECT_EQ(level, 2);
    EXPECT_EQ(attributes, 0x12);
    gTreeDirFacts(disk->psiRoot, &level, &attributes);
    EXPECT_EQ(level, 0);
}

// ---- the builder from a generated fixture ----------------------------------------------------------

TEST_F(TreeRecordsTest, GeneratedFixtureBuildsASoundTree) {
    qtest::TempDir tmp;
    qtest::TreeSpec spec;
    spec.directories = 30;
    spec.files = 150;
    const qtest::Manifest manifest = qtest::GenerateTree(tmp.MakeDir("t"), spec);
    DiskInfo* disk = qtest::BuildTreeFromManifest('G', manifest);
    ExpectSound();
    size_t dirs = 0, files = 0;
    for (const auto& e : manifest.entries) (e.type == 'd' ? dirs : files)++;
    EXPECT_EQ(disk->dwDirEntries, dirs + 1);
    EXPECT_EQ(disk->dwFiles, files);
    EXPECT_EQ(disk->dwMatchFiles[0], files) << "the twelve-unit name ending in ':' counts too";
    // Every directory is found again by its own full name.
    pdiCurrent = disk;
    for (const SubdirInfo* d = disk->psiRoot; d; d = d->psiChild ? d->psiChild : d->psiNext)
        EXPECT_EQ(FindDirByPath(d->pszFullName, nullptr, TRUE), d) << Narrow(d->pszFullName);
}

} // namespace
