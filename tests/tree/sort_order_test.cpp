// The file and directory orders: the comparator key by key with its
// tie-breaks, that every key is a strict weak order, the merge sort against
// std::stable_sort, the fallback without scratch memory, the sorting of the
// file arrays and the re-sorting of the logged directories, the sort
// indicator and the small order helpers.
#include "archive/archive_state.h"
#include "main/statistics.h"
#include "main/window_state.h"
#include "qwcrt.h"
#include "settings/settings.h"
#include "tree/file_list.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "tree_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using qtest::BuildDir;
using qtest::BuildDisk;
using qtest::BuildFiles;
using qtest::StoreEntryName;

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        if (c >= 0x20 && c < 0x80) out += char(c);
        else out += "\\u" + std::to_string(unsigned(c));
    }
    return out;
}

std::u16string NameOf(const FileEntry* e) {
    WCHAR buffer[1100];
    GetFileDisplayName(buffer, e);
    return buffer;
}

std::string Joined(const std::vector<std::u16string>& names) {
    std::string out;
    for (const auto& n : names) out += (out.empty() ? "" : " ") + Narrow(n);
    return out;
}

// The names of a directory's array in array order.
std::string ArrayNames(const SubdirInfo* dir) {
    std::vector<std::u16string> names;
    for (const FileEntry* e = dir->pFiles; e && e->wszShortName[0]; e++) names.push_back(NameOf(e));
    return Joined(names);
}

class SortTest : public ::testing::Test {
  protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        qtest::ResetTreeState();
        gTreeSizeMode = 0;
    }
    static void SetOrder(BYTE key, BYTE descending = 0, BYTE charset = SORT_CHARSET_OEM,
                         BYTE timestamp = 0, BYTE pathFirst = 0) {
        gFileOrder[0] = gDirOrder[0] = SortSpec{key, pathFirst, descending, charset, timestamp};
    }
    // A directory of the disk with files of these names, in this order.
    static SubdirInfo* Files(std::u16string_view path, const std::vector<std::u16string>& names) {
        DiskInfo* disk = pdiFirst ? pdiFirst : BuildDisk('X');
        SubdirInfo* dir = path.empty() ? disk->psiRoot : BuildDir(disk, path);
        std::vector<qtest::BuiltFile> files;
        for (const auto& n : names) files.push_back({n, 0});
        BuildFiles(dir, files);
        return dir;
    }
};

// ---- the comparator, key by key -----------------------------------------------------------------

struct FileCase {
    const char* what;
    BYTE key;
    BYTE descending;
    BYTE charset;
    BYTE timestamp;
    // name, size, written (day of month), written (hour), created (day)
    struct File {
        const char16_t* name;
        ULONGLONG size;
        unsigned writtenDay, writtenHour, createdDay;
    };
    std::vector<File> files;
    const char* sorted;
};

TEST_F(SortTest, EachKeyOrdersAOneDirectoryArray) {
    using F = FileCase::File;
    const FileCase cases[] = {
        {"name: ASCII letters fold", SORT_NAME, 0, 0, 0,
         {F{u"b", 0, 1, 0, 1}, F{u"A", 0, 1, 0, 1}, F{u"c", 0, 1, 0, 1}}, "A b c"},
        {"name descending", SORT_NAME, 1, 0, 0,
         {F{u"b", 0, 1, 0, 1}, F{u"A", 0, 1, 0, 1}, F{u"c", 0, 1, 0, 1}}, "c b A"},
        {"name: base names first, a prefix before the longer base", SORT_NAME, 0, 0, 0,
         {F{u"ab.a", 0, 1, 0, 1}, F{u"a.z", 0, 1, 0, 1}, F{u"a b", 0, 1, 0, 1}},
         "a.z a b ab.a"},
        {"name: .profile is a base name whole, not an empty base", SORT_NAME, 0, 0, 0,
         {F{u".profile", 0, 1, 0, 1}, F{u".bashrc", 0, 1, 0, 1}, F{u"a", 0, 1, 0, 1}},
         ".bashrc .profile a"},
        {"OEM folds only ASCII letters", SORT_NAME, 0, SORT_CHARSET_OEM, 0,
         {F{u"\u00e9a", 0, 1, 0, 1}, F{u"\u00c9b", 0, 1, 0, 1}}, "\\u201b \\u233a"},
        {"ANSI compares without case beyond ASCII", SORT_NAME, 0, SORT_CHARSET_ANSI, 0,
         {F{u"\u00c9b", 0, 1, 0, 1}, F{u"\u00e9a", 0, 1, 0, 1}}, "\\u233a \\u201b"},
        {"extension first, none before any; .profile has none", SORT_EXTENSION, 0, 0, 0,
         {F{u"b.txt", 0, 1, 0, 1}, F{u"a.zip", 0, 1, 0, 1}, F{u"c.txt", 0, 1, 0, 1},
          F{u".profile", 0, 1, 0, 1}, F{u"d", 0, 1, 0, 1}},
         ".profile d b.txt c.txt a.zip"},
        {"written date, then name", SORT_DATE, 0, 0, 0,
         {F{u"a", 0, 3, 0, 1}, F{u"b", 0, 2, 0, 1}, F{u"c", 0, 2, 0, 1}}, "b c a"},
        {"created date by the timestamp byte", SORT_DATE, 0, 0, SORT_STAMP_CREATED,
         {F{u"a", 0, 1, 0, 9}, F{u"b", 0, 2, 0, 3}, F{u"c", 0, 3, 0, 5}}, "b c a"},
        {"date descending", SORT_DATE, 1, 0, 0,
         {F{u"a", 0, 3, 0, 1}, F{u"b", 0, 2, 0, 1}, F{u"c", 0, 4, 0, 1}}, "c a b"},
        {"size, then name", SORT_SIZE, 0, 0, 0,
         {F{u"a", 30, 1, 0, 1}, F{u"b", 10, 1, 0, 1}, F{u"c", 10, 1, 0, 1}}, "b c a"},
        {"unsorted keeps the order of reading", SORT_UNSORTED, 0, 0, 0,
         {F{u"z", 0, 1, 0, 1}, F{u"a", 0, 1, 0, 1}, F{u"m", 0, 1, 0, 1}}, "z a m"},
        {"unsorted ignores descending", SORT_UNSORTED, 1, 0, 0,
         {F{u"z", 0, 1, 0, 1}, F{u"a", 0, 1, 0, 1}, F{u"m", 0, 1, 0, 1}}, "z a m"},
        {"length, then name", SORT_LENGTH, 0, 0, 0,
         {F{u"ccc", 0, 1, 0, 1}, F{u"bb", 0, 1, 0, 1}, F{u"a b", 0, 1, 0, 1}, F{u"z", 0, 1, 0, 1}},
         "z bb a b ccc"},
        {"time of day, then the date", SORT_TIME, 0, 0, 0,
         {F{u"a", 0, 1, 9, 1}, F{u"b", 0, 5, 3, 1}, F{u"c", 0, 2, 3, 1}}, "c b a"},
        {"number order", SORT_NUMBER, 0, 0, 0,
         {F{u"x10", 0, 1, 0, 1}, F{u"x9", 0, 1, 0, 1}, F{u"X1", 0, 1, 0, 1}}, "X1 x9 x10"},
        {"value: no digits first, x2 before x10", SORT_VALUE, 0, 0, 0,
         {F{u"x10", 0, 1, 0, 1}, F{u"a1", 0, 1, 0, 1}, F{u"readme", 0, 1, 0, 1}, F{u"x2", 0, 1, 0, 1}},
         "readme a1 x2 x10"},
        {"alpha: from the first letter", SORT_ALPHA, 0, 0, 0,
         {F{u"1c", 0, 1, 0, 1}, F{u"_b", 0, 1, 0, 1}, F{u"a", 0, 1, 0, 1}, F{u"42", 0, 1, 0, 1}},
         "42 a _b 1c"},
        {"alpha: equal from the letter on, then the whole names", SORT_ALPHA, 0, 0, 0,
         {F{u"_b", 0, 1, 0, 1}, F{u"1b", 0, 1, 0, 1}}, "1b _b"},
        {"level (index), then name", SORT_LEVEL, 0, 0, 0,
         {F{u"c", 0, 1, 0, 1}, F{u"b", 0, 1, 0, 1}, F{u"a", 0, 1, 0, 1}}, "c b a"},
        {"created, then name", SORT_CREATED, 0, 0, 0,
         {F{u"a", 0, 1, 0, 7}, F{u"b", 0, 1, 0, 2}, F{u"c", 0, 1, 0, 2}}, "b c a"},
    };
    for (const FileCase& c : cases) {
        Reset();
        std::vector<std::u16string> names;
        for (const auto& f : c.files) names.push_back(f.name);
        SubdirInfo* dir = Files(u"d", names);
        for (size_t i = 0; i < c.files.size(); i++) {
            FileEntry* e = &dir->pFiles[i];
            e->qwSize = c.files[i].size;
            e->dWritten = PackDate(2020, 1, c.files[i].writtenDay);
            e->tWritten = PackTime(c.files[i].writtenHour, 0, 0, 0);
            e->dCreated = PackDate(2020, 2, c.files[i].createdDay);
        }
        SetOrder(c.key, c.descending, c.charset, c.timestamp);
        SortDirFiles(dir);
        EXPECT_EQ(ArrayNames(dir), c.sorted) << c.what;
    }
}

TEST_F(SortTest, FullNameLengthComparesPathAndNameThenTheName) {
    BuildDisk('X');
    SubdirInfo* deep = Files(u"deep\\er", {u"a"});
    SubdirInfo* top = Files(u"t", {u"bbbb", u"cc"});
    SetOrder(SORT_FULL);
    std::vector<EntryHead*> list = {HeadOf(&deep->pFiles[0]), HeadOf(&top->pFiles[0]),
                                    HeadOf(&top->pFiles[1])};
    SortFileListEntries(list.data(), DWORD(list.size()), nullptr);
    std::vector<std::u16string> names;
    for (EntryHead* h : list) names.push_back(NameOf(reinterpret_cast<FileEntry*>(h)));
    // X:\t\cc (7) < X:\t\bbbb (9) < X:\deep\er\a (11)
    EXPECT_EQ(Joined(names), "cc bbbb a");
}

TEST_F(SortTest, EqualNamesInDifferentDirectoriesFollowTheKeysTieBreaks) {
    // The same name in three directories of two disks, written on
    // different days.
    BuildDisk('C');
    BuildDisk('D');
    SubdirInfo* cAa = BuildDir(FindVolume('C'), u"aa");
    SubdirInfo* cZz = BuildDir(FindVolume('C'), u"zz");
    SubdirInfo* dAa = BuildDir(FindVolume('D'), u"aa");
    BuildFiles(cAa, {{u"same.txt", 1}});
    BuildFiles(cZz, {{u"same.txt", 2}});
    BuildFiles(dAa, {{u"same.txt", 3}});
    cAa->pFiles[0].dWritten = PackDate(2021, 1, 1);
    cZz->pFiles[0].dWritten = PackDate(2019, 1, 1);
    dAa->pFiles[0].dWritten = PackDate(2020, 1, 1);
    const struct {
        BYTE key;
        BYTE descending;
        const char* owners;
    } rows[] = {
        {SORT_NAME, 0, "C:\\aa C:\\zz D:\\aa"},        // the owners' full names
        {SORT_NAME, 1, "D:\\aa C:\\zz C:\\aa"},        // reversed with everything else
        {SORT_NAME_DATE_DIR, 0, "C:\\zz D:\\aa C:\\aa"}, // written date first
        {SORT_NAME_DIR_DATE, 0, "D:\\aa C:\\aa C:\\zz"}, // directory without drive, then date
        {SORT_EXTENSION, 0, "C:\\aa C:\\zz D:\\aa"},
    };
    for (const auto& row : rows) {
        SetOrder(row.key, row.descending);
        std::vector<EntryHead*> list = {HeadOf(&dAa->pFiles[0]), HeadOf(&cZz->pFiles[0]),
                                        HeadOf(&cAa->pFiles[0])};
        std::vector<EntryHead*> scratch(list.size());
        SortFileListEntries(list.data(), DWORD(list.size()), scratch.data());
        std::vector<std::u16string> owners;
        for (EntryHead* h : list) owners.push_back(h->owner->pszFullName);
        EXPECT_EQ(Joined(owners), row.owners) << "key " << int(row.key) << " desc " << int(row.descending);
    }
}

TEST_F(SortTest, PathFirstComparesTheDirectoriesBeforeTheKey) {
    BuildDisk('X');
    SubdirInfo* b = Files(u"b", {u"a.txt"});
    SubdirInfo* a = Files(u"a", {u"z.txt"});
    b->pFiles[0].qwSize = 1;
    a->pFiles[0].qwSize = 99;
    std::vector<EntryHead*> list = {HeadOf(&b->pFiles[0]), HeadOf(&a->pFiles[0])};
    SetOrder(SORT_SIZE);
    SortFileListEntries(list.data(), 2, nullptr);
    EXPECT_EQ(list[0], HeadOf(&b->pFiles[0])) << "by size alone";
    SetOrder(SORT_SIZE, 0, 0, 0, /*pathFirst*/ 1);
    SortFileListEntries(list.data(), 2, nullptr);
    EXPECT_EQ(list[0], HeadOf(&a->pFiles[0])) << "X:\\a before X:\\b";
}

TEST_F(SortTest, RootsComeFirstInADirectoryListEitherWay) {
    BuildDisk('C');
    BuildDisk('D');
    SubdirInfo* dirs[] = {BuildDir(FindVolume('C'), u"b"), FindVolume('D')->psiRoot,
                          BuildDir(FindVolume('D'), u"a"), FindVolume('C')->psiRoot,
                          BuildDir(FindVolume('C'), u"z")};
    for (BYTE descending : {0, 1}) {
        for (BYTE charset : {SORT_CHARSET_OEM, SORT_CHARSET_ANSI}) {
            gDirOrder[0] = SortSpec{SORT_NAME, 0, descending, charset, 0};
            std::vector<EntryHead*> list;
            for (SubdirInfo* d : dirs) list.push_back(HeadOf(d));
            std::vector<EntryHead*> scratch(list.size());
            SortFileListEntries(list.data(), DWORD(list.size()), scratch.data());
            std::vector<std::u16string> names;
            for (EntryHead* h : list) names.push_back(reinterpret_cast<SubdirInfo*>(h)->pszFullName);
            EXPECT_EQ(Joined(names), descending ? "D:\\ C:\\ C:\\z C:\\b D:\\a" : "C:\\ D:\\ D:\\a C:\\b C:\\z")
                << "charset " << int(charset);
        }
    }
}

TEST_F(SortTest, DriveEntriesStayLastInEitherDirection) {
    const std::u16string drive1 = u"\xFFFF" u"C:        :";
    const std::u16string drive2 = u"\xFFFF" u"D:        :";
    for (BYTE descending : {0, 1}) {
        Reset();
        SubdirInfo* dir = Files(u"", {drive2, u"m", drive1, u"z", u"a"});
        SetOrder(SORT_NAME, descending);
        SortDirFiles(dir);
        std::vector<std::u16string> names;
        for (const FileEntry* e = dir->pFiles; e->wszShortName[0]; e++)
            names.push_back(IsDriveEntry(e) ? u"<drive>" : NameOf(e));
        EXPECT_EQ(Joined(names), descending ? "z m a <drive> <drive>" : "a m z <drive> <drive>");
        EXPECT_EQ(dir->pFiles[3].wIndex, 1u) << "drive entries keep their order";
        EXPECT_EQ(dir->dwFiles, 3u) << "drive entries are not counted";
    }
}

TEST_F(SortTest, DirectoriesBySizeFollowTheSizeColumnMode) {
    DiskInfo* disk = BuildDisk('X');
    SubdirInfo* unread = BuildDir(disk, u"unread");
    SubdirInfo* empty = BuildDir(disk, u"empty");
    SubdirInfo* big = BuildDir(disk, u"big");
    SubdirInfo* many = BuildDir(disk, u"many");
    SubdirInfo* deep = BuildDir(disk, u"many\\deep");
    unread->bLogged = 0;
    BuildFiles(big, {{u"one", 5000}});
    BuildFiles(many, {{u"a", 10}, {u"b", 10}, {u"c", 10}});
    BuildFiles(deep, {{u"x", 9000}});
    const struct {
        WORD mode;
        const char* order;
    } rows[] = {
        {0, "unread empty many big"},  // own bytes: 30 < 5000
        {1, "unread empty many big"},
        {2, "unread empty big many"},  // branch bytes: 5000 < 9030
        {5, "unread empty big many"},  // own file count: 1 < 3
        {6, "unread empty big many"},  // branch file count: 1 < 4
    };
    for (const auto& row : rows) {
        gTreeSizeMode = row.mode;
        gDirOrder[0] = SortSpec{SORT_SIZE, 0, 0, 0, 0};
        std::vector<EntryHead*> list = {HeadOf(many), HeadOf(big), HeadOf(empty), HeadOf(unread)};
        SortFileListEntries(list.data(), DWORD(list.size()), nullptr);
        std::vector<std::u16string> names;
        for (EntryHead* h : list) names.push_back(h->name);
        EXPECT_EQ(Joined(names), row.order) << "mode " << row.mode;
    }
}

// ---- strict weak order --------------------------------------------------------------------------

// A pool of records with generated names: dots, blanks, case, digits and
// letters beyond ASCII; in directory lists roots too, in file lists drive
// entries; owners on two disks, and a few sizes and dates so that ties are
// common.
class RecordPool {
  public:
    RecordPool(std::mt19937& random, bool dirs, size_t count) {
        static const char16_t kUnits[] = u"aAbB..  1209\u00e9\u00c9_";
        const size_t units = sizeof kUnits / sizeof kUnits[0] - 1;
        for (const char16_t* path : {u"C:\\a", u"D:\\a", u"C:\\b", u"C:\\a\\b"}) {
            auto owner = std::make_unique<SubdirInfo>();
            owner->pszFullName = Keep(path);
            owner->bLogged = 1;
            owners_.push_back(std::move(owner));
        }
        for (size_t i = 0; i < count; i++) {
            const unsigned shape = random() % 16;
            std::u16string name;
            if (dirs && shape == 0) name = random() % 2 ? u"C:\\" : u"D:\\";
            else if (!dirs && shape == 0) name = u"\xFFFF" u"Q:        :";
            else
                for (unsigned n = random() % 7; n > 0; n--) name += kUnits[random() % units];
            if (name.empty() && (!dirs || random() % 3)) name = u"x";
            SubdirInfo* owner = owners_[random() % owners_.size()].get();
            EntryHead* head;
            if (dirs) {
                auto d = std::make_unique<SubdirInfo>();
                d->pszName = Keep(name);
                d->wAttributes = 0x10;
                d->psiParent = name[0] && name[1] == u':' ? d.get() : owner;
                d->pszFullName = d->psiParent == d.get() ? d->pszName : Keep(owner->pszFullName + (u"\\" + name));
                d->wLevel = random() % 3;
                d->bLogged = random() % 2;
                d->qwFileBytes = random() % 3;
                d->dwFiles = random() % 2;
                head = HeadOf(d.get());
                dirs_.push_back(std::move(d));
            } else {
                auto f = std::make_unique<FileEntry>();
                StoreEntryName(f.get(), name);
                f->psiOwner = owner;
                f->wIndex = random() % 4;
                f->qwSize = random() % 3;
                head = HeadOf(f.get());
                files_.push_back(std::move(f));
            }
            head->dWritten = PackDate(2020, 1 + random() % 2, 1);
            head->tWritten = PackTime(random() % 2, 0, 0, 0);
            head->dCreated = PackDate(2020, 1, 1 + random() % 2);
            head->dAccessed = PackDate(2020, 1, 1 + random() % 2);
            records.push_back(head);
        }
    }
    ~RecordPool() {
        for (auto& f : files_) std::free(f->pszLongName);
    }
    std::vector<EntryHead*> records;

  private:
    WCHAR* Keep(std::u16string text) {
        texts_.push_back(std::make_unique<std::u16string>(std::move(text)));
        return texts_.back()->data();
    }
    std::vector<std::unique_ptr<std::u16string>> texts_;
    std::vector<std::unique_ptr<SubdirInfo>> owners_;
    std::vector<std::unique_ptr<SubdirInfo>> dirs_;
    std::vector<std::unique_ptr<FileEntry>> files_;
};

std::string Describe(const EntryHead* r) {
    if (r->name) return "\"" + Narrow(r->name) + "\" in " + Narrow(r->owner->pszFullName);
    WCHAR buffer[32];
    GetFileDisplayName(buffer, reinterpret_cast<const FileEntry*>(r));
    return "\"" + Narrow(buffer) + "\" in " + Narrow(r->owner->pszFullName);
}

TEST_F(SortTest, EveryKeyIsAStrictWeakOrderOverGeneratedNames) {
    std::mt19937 random(20211);
    int violations = 0;
    for (bool dirs : {false, true}) {
        for (int round = 0; round < 3 && violations < 5; round++) {
            RecordPool pool(random, dirs, 36);
            const size_t n = pool.records.size();
            for (BYTE key = 0; key < SORT_KEY_COUNT; key++)
                for (int variant = 0; variant < 16; variant++) {
                    const SortSpec order{key, BYTE(variant & 1), BYTE((variant >> 1) & 1),
                                         BYTE((variant >> 2) & 1), BYTE(key == SORT_DATE ? round : 0)};
                    gFileOrder[0] = gDirOrder[0] = order;
                    gTreeNumberOrder = (variant >> 3) & 1;
                    gTreeSizeMode = WORD(round * 3);
                    std::vector<int> sign(n * n);
                    for (size_t i = 0; i < n; i++)
                        for (size_t j = 0; j < n; j++) {
                            const int r = SortFileList(pool.records[i], pool.records[j]);
                            sign[i * n + j] = (r > 0) - (r < 0);
                        }
                    auto fail = [&](const char* rule, size_t i, size_t j, size_t k) {
                        if (++violations > 5) return;
                        ADD_FAILURE() << rule << " broken by key " << int(key) << " variant "
                                      << variant << (dirs ? " (directories)" : " (files)") << ": "
                                      << Describe(pool.records[i]) << " / "
                                      << Describe(pool.records[j]) << " / "
                                      << Describe(pool.records[k]);
                    };
                    for (size_t i = 0; i < n; i++) {
                        if (sign[i * n + i] != 0) fail("irreflexivity", i, i, i);
                        for (size_t j = 0; j < n; j++) {
                            if (sign[i * n + j] != -sign[j * n + i]) fail("asymmetry", i, j, j);
                            for (size_t k = 0; k < n; k++) {
                                const int ij = sign[i * n + j], jk = sign[j * n + k], ik = sign[i * n + k];
                                if (ij < 0 && jk < 0 && ik >= 0) fail("transitivity", i, j, k);
                                if (ij == 0 && jk == 0 && ik != 0) fail("transitive equivalence", i, j, k);
                            }
                        }
                    }
                }
        }
    }
    EXPECT_EQ(violations, 0);
}

// ---- the list sorts -----------------------------------------------------------------------------

TEST_F(SortTest, MergeSortGivesTheOrderOfStdStableSort) {
    // Names folded alike ("a", "A") in one directory compare equal under the
    // size key when their sizes match: a stable sort must keep them as
    // they came.
    DiskInfo* disk = BuildDisk('X');
    SubdirInfo* dir = BuildDir(disk, u"d");
    std::mt19937 random(77);
    std::vector<qtest::BuiltFile> files;
    for (int i = 0; i < 6000; i++)
        files.push_back({std::u16string(1, random() % 2 ? u'a' : u'A') + char16_t(u'a' + random() % 3),
                         ULONGLONG(random() % 5)});
    BuildFiles(dir, files);
    SetOrder(SORT_SIZE);
    auto less = [](const EntryHead* x, const EntryHead* y) { return SortFileList(x, y) < 0; };
    const struct {
        const char* what;
        size_t count;
        int shape; // 0 random, 1 ascending runs, 2 descending, 3 sorted
    } rows[] = {
        {"two", 2, 0},          {"below the least run", 63, 0}, {"one past", 65, 0},
        {"odd length", 1001, 0}, {"long random", 6000, 0},      {"runs", 3000, 1},
        {"descending", 3000, 2}, {"already sorted", 3000, 3},
    };
    for (const auto& row : rows) {
        std::vector<EntryHead*> list;
        for (size_t i = 0; i < row.count; i++) list.push_back(HeadOf(&dir->pFiles[i]));
        if (row.shape == 1)
            for (size_t i = 0; i + 100 <= list.size(); i += 100)
                std::stable_sort(list.begin() + i, list.begin() + i + 100, less);
        if (row.shape >= 2) std::stable_sort(list.begin(), list.end(), less);
        if (row.shape == 2) std::reverse(list.begin(), list.end());
        std::vector<EntryHead*> expected = list;
        std::stable_sort(expected.begin(), expected.end(), less);
        std::vector<EntryHead*> scratch(list.size());
        FileListMergeSort(list.data(), DWORD(list.size()), scratch.data());
        EXPECT_TRUE(list == expected) << row.what;
    }
}

TEST_F(SortTest, TheDisplayListIsSortedWithAndWithoutScratchMemory) {
    DiskInfo* disk = BuildDisk('X');
    SubdirInfo* dir = BuildDir(disk, u"d");
    std::mt19937 random(5);
    std::vector<qtest::BuiltFile> files;
    for (int i = 0; i < 500; i++) files.push_back({u"f" + std::u16string(1, char16_t(u'a' + random() % 26)) +
                                                       char16_t(u'0' + i % 10) + char16_t(u'a' + i / 10 % 26),
                                                   ULONGLONG(random() % 40)});
    BuildFiles(dir, files);
    SetOrder(SORT_SIZE, 1);
    auto check = [&](EntryHead** list, DWORD count, const char* what) {
        for (DWORD i = 1; i < count; i++)
            ASSERT_LE(SortFileList(list[i - 1], list[i]), 0) << what << " at " << i;
        std::vector<EntryHead*> seen(list, list + count);
        std::sort(seen.begin(), seen.end());
        EXPECT_TRUE(std::adjacent_find(seen.begin(), seen.end()) == seen.end()) << what << ": a permutation";
    };
    // Without scratch the fallback sort orders the list all the same.
    std::vector<EntryHead*> list;
    for (DWORD i = 0; i < 500; i++) list.push_back(HeadOf(&dir->pFiles[i]));
    SortFileListEntries(list.data(), DWORD(list.size()), nullptr);
    check(list.data(), DWORD(list.size()), "without scratch");

    // The display list through SortGlobalFileList.
    gFMax = 500;
    gFileList = static_cast<DisplayFileList*>(std::calloc(1, sizeof(DisplayFileList) + sizeof(EntryHead*) * 501));
    for (DWORD i = 0; i < 500; i++) ListEntries(gFileList)[i] = HeadOf(&dir->pFiles[499 - i]);
    SortGlobalFileList(500);
    check(ListEntries(gFileList), 500, "display list");
    EXPECT_EQ(ListEntries(gFileList)[500], nullptr);
}

TEST_F(SortTest, SortByLevelPutsThePanesKeyBack) {
    DiskInfo* disk = BuildDisk('X');
    SubdirInfo* deep = BuildDir(disk, u"a\\b\\c");
    SubdirInfo* mid = deep->psiParent;
    SubdirInfo* top = mid->psiParent;
    gDirMode[0] = 1;
    gPaneOrder[0] = &gDirOrder[0];
    gDirOrder[0] = SortSpec{SORT_NAME, 0, 1, 0, 0};
    gFMax = 3;
    gFileList = static_cast<DisplayFileList*>(std::calloc(1, sizeof(DisplayFileList) + sizeof(EntryHead*) * 4));
    ListEntries(gFileList)[0] = HeadOf(mid);
    ListEntries(gFileList)[1] = HeadOf(top);
    ListEntries(gFileList)[2] = HeadOf(deep);
    SortGlobalFileListByKey(3);
    // Key 13 descending: deepest first.
    EXPECT_EQ(ListEntries(gFileList)[0], HeadOf(deep));
    EXPECT_EQ(ListEntries(gFileList)[2], HeadOf(top));
    EXPECT_EQ(gDirOrder[0].key, SORT_NAME);
}

// ---- the file arrays ------------------------------------------------------------------------------

TEST_F(SortTest, SortDirFilesFollowsTheCurrentEntriesAndClearsItsMark) {
    SubdirInfo* dir = Files(u"d", {u"c", u"a", u"b", u"d"});
    dir->pFiles[0].bFlags[0] = 0; // "c" does not match pane 0's filter
    dir->bRefresh = 16 | 1;
    gPaneCurrentEntry[0] = &dir->pFiles[3]; // "d"
    gPaneCurrentEntry[1] = &dir->pFiles[0]; // "c"
    SetOrder(SORT_NAME);
    gFileOrder[1] = gFileOrder[0];
    SortDirFiles(dir);
    EXPECT_EQ(ArrayNames(dir), "a b c d");
    EXPECT_EQ(NameOf(gPaneCurrentEntry[0]), u"d");
    EXPECT_EQ(NameOf(gPaneCurrentEntry[1]), u"c");
    EXPECT_EQ(gPanes[0].CurrentIndex, 2u) << "a, b, d listed in pane 0";
    EXPECT_EQ(gPanes[1].CurrentIndex, 2u) << "a, b, c, d listed in pane 1";
    EXPECT_EQ(dir->bRefresh, 1) << "only mark 16 is cleared";
    EXPECT_EQ(dir->dwFiles, 4u);
}

TEST_F(SortTest, WhileAListIsShownTheArrayKeepsItsKey) {
    SubdirInfo* dir = Files(u"d", {u"b", u"a", u"c"});
    dir->pFiles[0].qwSize = 1;
    dir->pFiles[1].qwSize = 3;
    dir->pFiles[2].qwSize = 2;
    SetOrder(SORT_SIZE);
    gArrayOrder = SortSpec{SORT_NAME, 0, 0, 0, 0};
    gFMax = 1;
    gFileList = static_cast<DisplayFileList*>(std::calloc(1, sizeof(DisplayFileList) + 2 * sizeof(EntryHead*)));
    SortDirFiles(dir);
    EXPECT_EQ(ArrayNames(dir), "a b c");
    EXPECT_EQ(gFileOrder[0].key, SORT_SIZE) << "the pane's key is put back";
    EXPECT_EQ(gPanes[0].ResortPending, 1u) << "the list is sorted when next built";
    std::free(gFileList);
    gFileList = nullptr;
    SortDirFiles(dir);
    EXPECT_EQ(ArrayNames(dir), "b c a");
}

TEST_F(SortTest, SplitScreenSortsByTheOtherPaneWhileOnlyThisPanesFileWindowIsOpen) {
    SubdirInfo* dir = Files(u"d", {u"b", u"a", u"c"});
    gFileOrder[0] = SortSpec{SORT_NAME, 0, 0, 0, 0};
    gFileOrder[1] = SortSpec{SORT_NAME, 0, 1, 0, 0};
    gSplitScreen = 1;
    gPanes[0].FileWindowOpen = 1;
    const struct {
        BOOL different;
        DWORD otherOpen;
        const char* order;
    } rows[] = {{TRUE, 0, "c b a"}, {FALSE, 0, "a b c"}, {TRUE, 1, "a b c"}};
    for (const auto& row : rows) {
        gSplitSortDifferent = row.different;
        gPanes[1].FileWindowOpen = row.otherOpen;
        SortDirFiles(dir);
        EXPECT_EQ(ArrayNames(dir), row.order) << row.different << row.otherOpen;
        EXPECT_EQ(gCurrentPane, 0);
    }
}

TEST_F(SortTest, ResortLoggedDirsSortsMarkedDirectoriesUnlessAll) {
    DiskInfo* x = BuildDisk('X');
    DiskInfo* y = BuildDisk('Y');
    SubdirInfo* plain = BuildDir(x, u"plain");
    SubdirInfo* marked4 = BuildDir(x, u"marked4");
    SubdirInfo* marked16 = BuildDir(y, u"marked16");
    SubdirInfo* unlogged = BuildDir(y, u"unlogged");
    for (SubdirInfo* d : {plain, marked4, marked16, unlogged}) BuildFiles(d, {{u"b"}, {u"a"}});
    auto reset = [&] {
        for (SubdirInfo* d : {plain, marked4, marked16, unlogged}) {
            BuildFiles(d, {{u"b"}, {u"a"}});
            d->bRefresh = 0;
        }
        marked4->bRefresh = 4;
        marked16->bRefresh = 16 | 1;
        unlogged->bRefresh = 16;
        unlogged->bLogged = 0;
    };
    gFileOrder[0] = SortSpec{SORT_NAME, 1, 0, 0, 2};
    pdiCurrent = x;

    reset();
    ResortLoggedDirs(FALSE);
    EXPECT_EQ(ArrayNames(plain), "b a");
    EXPECT_EQ(ArrayNames(marked4), "a b");
    EXPECT_EQ(ArrayNames(marked16), "a b") << "the second disk too";
    EXPECT_EQ(ArrayNames(unlogged), "b a") << "a directory not logged is passed over";
    EXPECT_EQ(marked4->bRefresh, 0);
    EXPECT_EQ(marked16->bRefresh, 1);
    EXPECT_EQ(std::memcmp(&gArrayOrder, &gFileOrder[0], sizeof(SortSpec)), 0);

    reset();
    ResortLoggedDirs(TRUE);
    EXPECT_EQ(ArrayNames(plain), "a b");
    EXPECT_EQ(ArrayNames(marked16), "a b");
    EXPECT_EQ(ArrayNames(unlogged), "b a");

    // An archive tree: only the current disk.
    reset();
    gArchiveTreeActive = TRUE;
    ResortLoggedDirs(TRUE);
    gArchiveTreeActive = FALSE;
    EXPECT_EQ(ArrayNames(plain), "a b");
    EXPECT_EQ(ArrayNames(marked4), "a b");
    EXPECT_EQ(ArrayNames(marked16), "b a") << "the other disk is left alone";
    (void)y;
}

TEST_F(SortTest, ResortBranchWalksOnIntoLaterSiblingsAndSortsMarkedOnes) {
    DiskInfo* disk = BuildDisk('X');
    SubdirInfo* a = BuildDir(disk, u"a");
    SubdirInfo* ab = BuildDir(disk, u"a\\b");
    SubdirInfo* ad = BuildDir(disk, u"a\\d");
    SubdirInfo* c = BuildDir(disk, u"c");
    for (SubdirInfo* d : {disk->psiRoot, a, ab, ad, c}) BuildFiles(d, {{u"b"}, {u"a"}});
    ab->bRefresh = ad->bRefresh = c->bRefresh = 16;
    ResortBranch(ab, FALSE);
    EXPECT_EQ(ArrayNames(ab), "a b");
    EXPECT_EQ(ArrayNames(ad), "a b") << "a later sibling of the start";
    EXPECT_EQ(ArrayNames(c), "b a") << "a directory above the start's level ends the walk";
    EXPECT_EQ(ab->bRefresh, 0);
    EXPECT_EQ(c->bRefresh, 16);
    EXPECT_EQ(ArrayNames(a), "b a") << "unmarked";

    for (SubdirInfo* d : {ab, ad, c}) {
        BuildFiles(d, {{u"b"}, {u"a"}});
        d->bRefresh = 0;
    }
    ResortBranch(a, TRUE);
    for (SubdirInfo* d : {a, ab, ad, c}) EXPECT_EQ(ArrayNames(d), "a b") << Narrow(d->pszFullName);
    EXPECT_EQ(ArrayNames(disk->psiRoot), "b a") << "the walk starts at the directory";
}

TEST_F(SortTest, OrdersStartFromTheSettingsAndTheDefaultsAreKept) {
    const IniWorkingValues saved = gIniWorking;
    gIniWorking.sortMethod[0] = SORT_SIZE;
    gIniWorking.sortMethod[1] = SORT_VALUE;
    gIniWorking.sortOrder[0] = 1;
    gIniWorking.sortOrder[1] = 0;
    gIniWorking.sortAnsi[0] = 0;
    gIniWorking.sortAnsi[1] = 1;
    gIniWorking.treeSortNumber = 1;
    gIniWorking.splitSortDifferent = 1;
    gDirMode[1] = 1;
    InitSortOrders();
    gIniWorking = saved;
    EXPECT_EQ(gFileOrder[0].key, SORT_SIZE);
    EXPECT_EQ(gFileOrder[0].descending, 1);
    EXPECT_EQ(gFileOrder[0].charset, SORT_CHARSET_OEM);
    EXPECT_EQ(gFileOrder[1].key, SORT_VALUE);
    EXPECT_EQ(gFileOrder[1].charset, SORT_CHARSET_ANSI);
    EXPECT_EQ(std::memcmp(&gDirOrder[1], &gFileOrder[1], sizeof(SortSpec)), 0) << "both start alike";
    EXPECT_EQ(gPaneOrder[0], &gFileOrder[0]);
    EXPECT_EQ(gPaneOrder[1], &gDirOrder[1]) << "pane 1 lists directories";
    EXPECT_TRUE(gTreeNumberOrder);
    EXPECT_TRUE(gSplitSortDifferent);
    // The defaults are pane 0's orders when start-up ends, not later edits.
    gDirOrder[0].key = SORT_FULL;
    SaveDefaultSortOrders();
    gFileOrder[0].key = SORT_NAME;
    EXPECT_EQ(gDefaultFileOrder.key, SORT_SIZE);
    EXPECT_EQ(gDefaultDirOrder.key, SORT_FULL);
}

// ---- indicator and helpers -----------------------------------------------------------------------

TEST_F(SortTest, SortIndicatorStrings) {
    const struct {
        SortSpec order;
        const char16_t* text;
    } rows[] = {
        {{SORT_NAME, 0, 0, 0, 0}, u"─────────┤n W├"},
        {{SORT_NAME, 0, 1, 0, 0}, u"─────────┤N W├"},
        {{SORT_EXTENSION, 1, 0, 0, 1}, u"─────────┤epC├"},
        {{SORT_DATE, 0, 1, 1, 2}, u"─────────┤D A├"},
        {{SORT_SIZE, 0, 0, 0, 0}, u"─────────┤s W├"},
        {{SORT_UNSORTED, 1, 1, 0, 2}, u"─────────┤u  ├"},
        {{SORT_NAME_DATE_DIR, 0, 0, 0, 0}, u"─────────┤n W├"},
        {{SORT_NAME_DIR_DATE, 0, 0, 0, 0}, u"─────────┤n W├"},
        {{SORT_LENGTH, 0, 0, 0, 0}, u"─────────┤l W├"},
        {{SORT_TIME, 0, 1, 0, 0}, u"─────────┤T W├"},
        {{SORT_NUMBER, 0, 0, 0, 0}, u"─────────┤m W├"},
        {{SORT_VALUE, 0, 0, 0, 0}, u"─────────┤v W├"},
        {{SORT_ALPHA, 0, 0, 0, 0}, u"─────────┤a W├"},
        {{SORT_FULL, 1, 1, 0, 1}, u"─────────┤FpC├"},
    };
    for (const auto& row : rows) {
        WCHAR text[16] = {};
        ASSERT_TRUE(SortIndicatorString(row.order, text)) << int(row.order.key);
        EXPECT_EQ(std::u16string(text), row.text) << int(row.order.key);
    }
    WCHAR untouched[16] = {u'?', 0};
    EXPECT_FALSE(SortIndicatorString(SortSpec{SORT_LEVEL, 0, 0, 0, 0}, untouched));
    EXPECT_FALSE(SortIndicatorString(SortSpec{SORT_CREATED, 0, 0, 0, 0}, untouched));
    EXPECT_EQ(untouched[0], u'?');
}

TEST_F(SortTest, SortIsReversedByKey) {
    for (BYTE key = 0; key < SORT_KEY_COUNT; key++) {
        gFileOrder[0].key = key;
        const bool names = key <= 1 || key == 5 || key == 6 || key == 7 || key == 9 || key == 10 || key == 11;
        const bool dates = key == 2 || key == 8;
        EXPECT_EQ(SortIsReversed(1), names ? 1 : 0) << int(key);
        EXPECT_EQ(SortIsReversed(0), dates ? 1 : 0) << int(key);
    }
}

TEST_F(SortTest, DuplicateNameOrderOfListEntries) {
    BuildDisk('C');
    BuildDisk('D');
    SubdirInfo* c1 = BuildDir(FindVolume('C'), u"one");
    SubdirInfo* c2 = BuildDir(FindVolume('C'), u"two");
    SubdirInfo* d1 = BuildDir(FindVolume('D'), u"one");
    BuildFiles(c1, {{u"Same name.txt"}, {u"A.TXT"}});
    BuildFiles(c2, {{u"same name.txt"}});
    BuildFiles(d1, {{u"Same name.txt"}, {u"A.TXT"}});
    EntryHead* entries[] = {HeadOf(&c1->pFiles[0]), HeadOf(&c2->pFiles[0]), HeadOf(&d1->pFiles[0]),
                            HeadOf(&c1->pFiles[1]), HeadOf(&d1->pFiles[1])};
    gFMax = 5;
    gFileList = static_cast<DisplayFileList*>(std::calloc(1, sizeof(DisplayFileList) + 6 * sizeof(EntryHead*)));
    std::copy(std::begin(entries), std::end(entries), ListEntries(gFileList));
    const struct {
        DWORD i, j;
        int mode;
        int sign;
    } rows[] = {
        {0, 1, 0, -1},  // equal without case, then "S" < "s"
        {0, 2, 0, 0},   // equal names
        {0, 2, 2, 0},   // other disk, mode 2
        {0, 2, 3, 0},   // mode 3: \one and \one
        {1, 2, 3, 1},   // "same" > "Same" before any disk rule
        {0, 3, 0, -1},  // a long name before an inline one
        {3, 0, 0, 1},
        {3, 4, 2, 0},   // inline names equal, other disk
    };
    for (const auto& row : rows) {
        const int r = CompareGlobalListEntries(row.i, row.j, row.mode);
        EXPECT_EQ((r > 0) - (r < 0), row.sign) << row.i << "," << row.j << " mode " << row.mode;
    }
    // Equal names on one disk with mode 2 or 3 give -1.
    BuildFiles(c2, {{u"Same name.txt"}});
    ListEntries(gFileList)[1] = HeadOf(&c2->pFiles[0]);
    EXPECT_EQ(CompareGlobalListEntries(0, 1, 2), -1);
    EXPECT_EQ(CompareGlobalListEntries(1, 0, 3), -1);
    EXPECT_EQ(CompareGlobalListEntries(0, 1, 0), 0);
}

} // namespace
