// Entry names and modes: what the inline field and a kept long name hold for
// each kind of name, every name coming back exactly (the generated
// fixture's awkward names among them), a listed directory renamed, and mode
// words looked up once.
#include "archive/archive_state.h"
#include "main/window_state.h"
#include "qposix_modes.h"
#include "qposix_path.h"
#include "tree/entry_names.h"
#include "tree/tree_records.h"
#include "tree_builder.h"
#include "fixture.h"
#include "tree_fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::u16string DisplayName(const FileEntry* e) {
    std::u16string name(DisplayNameLength(e) + 1, 0);
    name.resize(GetFileDisplayName(name.data(), e));
    return name;
}

std::u16string WinPath(const std::string& posix) {
    WCHAR out[1025];
    const int n = PathFromPosix(posix.c_str(), out, 1025);
    return n < 0 ? std::u16string() : std::u16string(out);
}

struct Entry {
    FileEntry record{};
    ~Entry() { std::free(record.pszLongName); }
};

class EntryNamesTest : public ::testing::Test {
  protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        qtest::FreeTrees();
        gArchiveTreeActive = FALSE;
        gDirMode[0] = gDirMode[1] = 0;
        gCurrentPane = 0;
    }
};

// A name, the inline field it leaves (13 units with the terminator), and
// whether a long name is kept. The display name is always the name itself.
struct NameCase {
    const char* what;
    const char16_t* name;
    const char16_t* inlineField;
    int keptLong;
};

const NameCase kNameCases[] = {
    {"six letters: inline, padded to 12", u"abcdef", u"abcdef      ", 0},
    {"six units with a blank: kept long", u"ab def", u"ab def      ", 1},
    {"eight letters", u"ABCDEFGH", u"ABCDEFGH    ", 0},
    {"nine letters: kept long", u"ABCDEFGHI", u"ABCDEFGHI   ", 1},
    {"8.3 without blanks: the inline text is the name", u"ABCDEFGH.TXT", u"ABCDEFGH.TXT", 0},
    {"a short 8.3 name", u"A.B", u"A       .B", 0},
    {"an extension of 3", u"read.txt", u"read    .txt", 0},
    {"an extension of 4: kept long, inline the whole name", u"file.html", u"file.html   ", 1},
    {"a blank in the name part", u"READ ME.TXT", u"READ ME .TXT", 0},
    {"a blank just before the dot: kept long", u"ab .txt", u"ab .txt     ", 1},
    {"a dot first only: no extension", u".profile", u".profile    ", 0},
    {"a dot first and another", u".a.b", u".a      .b", 0},
    {"the last dot decides", u"a.b.c", u"a.b     .c", 0},
    {"an empty extension", u"abc.", u"abc     .", 0},
    {"two dots at the end", u"abc..", u"abc.    .", 0},
    {"twenty units: 11 and the mark", u"abcdefghijklmnopqrst", u"abcdefghijk\u25BA", 1},
    {"thirteen units", u"abcdefghi.txt", u"abcdefghi.t\u25BA", 1},
    {"twelve units without dot", u"abcdefghijkl", u"abcdefghijkl", 1},
    // Names the inline field would give back changed keep a long name.
    {"a trailing blank after the extension", u"abc.d ", u"abc.d       ", 1},
    {"a blank for an extension", u"abc. ", u"abc.        ", 1},
    {"trailing blanks after a short extension", u"a.b  ", u"a.b         ", 1},
    {"a trailing blank without dot", u"abc ", u"abc         ", 1},
    {"a blank extension inside", u"abc. x", u"abc     . x", 0},
    {"the empty name", u"", u"            ", 0},
};

TEST_F(EntryNamesTest, InlineFieldLongNameAndDisplayName) {
    for (const NameCase& c : kNameCases) {
        SCOPED_TRACE(c.what);
        Entry e;
        EXPECT_EQ(SetEntryName(c.name, &e.record), c.keptLong) << qtest::NarrowText(c.name);
        EXPECT_EQ(std::u16string(e.record.wszShortName), std::u16string(c.inlineField));
        EXPECT_EQ(e.record.pszLongName != nullptr, c.keptLong != 0);
        EXPECT_EQ(DisplayName(&e.record), std::u16string(c.name));
    }
}

TEST_F(EntryNamesTest, StoringAgainReplacesTheOldName) {
    Entry e;
    EXPECT_EQ(SetEntryName(u"a very long name.text", &e.record), 1);
    // From long to inline: the long copy goes (LeakSanitizer checks it is
    // freed, not dropped).
    EXPECT_EQ(SetEntryName(u"short.txt", &e.record), 0);
    EXPECT_EQ(e.record.pszLongName, nullptr);
    EXPECT_EQ(DisplayName(&e.record), u"short.txt");
    EXPECT_EQ(SetEntryName(u"another long one", &e.record), 1);
    EXPECT_EQ(SetEntryName(u"and another long one", &e.record), 1);
    EXPECT_EQ(DisplayName(&e.record), u"and another long one");
    // A shorter name leaves no units of the longer one behind.
    EXPECT_EQ(SetEntryName(u"x", &e.record), 0);
    EXPECT_EQ(std::u16string(e.record.wszShortName), u"x           ");
}

// Every name the fixture generator makes (invalid UTF-8, "\", "*", "?",
// trailing dots and blanks, 8.3, 12 and 13 units, 12 ending in ":", case
// pairs, 255 bytes) comes back exactly, and is kept long exactly when the
// inline field would not give it back.
TEST_F(EntryNamesTest, EveryGeneratedNameComesBackExactly) {
    qtest::TempDir dir;
    const std::string root = dir.MakeDir("tree");
    qtest::TreeSpec spec;
    spec.seed = 21;
    const qtest::Manifest manifest = qtest::GenerateTree(root, spec);
    size_t names = 0, kept = 0;
    for (const qtest::ManifestEntry& entry : manifest.entries) {
        const size_t slash = entry.path.rfind('/');
        const std::string last = slash == std::string::npos ? entry.path : entry.path.substr(slash + 1);
        WCHAR wide[1024];
        const SSIZE_T n = NameFromPosix(last.data(), SSIZE_T(last.size()), wide, 1024);
        ASSERT_GE(n, 0) << entry.path;
        const std::u16string name(wide, size_t(n));
        Entry e;
        const int keptLong = SetEntryName(name.c_str(), &e.record);
        ASSERT_EQ(DisplayName(&e.record), name) << entry.path;
        EXPECT_EQ(keptLong != 0, e.record.pszLongName != nullptr);
        if (name.size() > 12) {
            EXPECT_EQ(keptLong, 1) << entry.path;
        }
        names++;
        kept += keptLong;
    }
    EXPECT_GT(names, 200u);
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, names);
}

TEST_F(EntryNamesTest, AListedDirectoryIsRenamedInItsFullName) {
    DiskInfo* disk = qtest::BuildTree('C', u"src\\old\\ src\\old\\x\\ src\\f.txt");
    SubdirInfo* dir = qtest::BuildDir(disk, u"src\\old");
    gDirMode[0] = 1;
    EXPECT_EQ(SetEntryName(u"renamed dir", reinterpret_cast<FileEntry*>(dir)), 1);
    EXPECT_EQ(std::u16string(dir->pszFullName), u"C:\\src\\renamed dir");
    EXPECT_EQ(std::u16string(dir->pszName), u"renamed dir");
    // A file entry of a directory is a file whatever the pane lists.
    FileEntry* file = &qtest::BuildDir(disk, u"src")->pFiles[0];
    EXPECT_EQ(SetEntryName(u"g.txt", file), 0);
    EXPECT_EQ(DisplayName(file), u"g.txt");
    EXPECT_EQ(std::u16string(qtest::BuildDir(disk, u"src")->pszFullName), u"C:\\src");
}

// A record of the caller's own whose owner is the current directory (as a
// created file's is) is a file entry, also while the pane lists
// directories: the directory under it keeps its name, and nothing is
// written past the entry.
TEST_F(EntryNamesTest, AFileEntryOfTheCallersOwnIsNeverTakenForADirectory) {
    DiskInfo* disk = qtest::BuildTree('C', u"a\\b\\");
    gDirMode[0] = 1;
    Entry e;
    e.record.psiOwner = qtest::BuildDir(disk, u"a");
    EXPECT_EQ(SetEntryName(u"created.zip", &e.record), 0);
    EXPECT_EQ(DisplayName(&e.record), u"created.zip");
    EXPECT_EQ(std::u16string(qtest::BuildDir(disk, u"a")->pszFullName), u"C:\\a");
}

TEST_F(EntryNamesTest, AModeIsLookedUpOnceAndAFailedLookupIsKept) {
    qtest::TempDir tmp;
    const std::string posix = tmp.Write("mode.txt", "x");
    ASSERT_EQ(chmod(posix.c_str(), 0640), 0);
    const std::u16string full = WinPath(posix);
    const size_t slash = full.rfind(u'\\');
    std::u16string ownerName = full.substr(0, slash);
    SubdirInfo ownerRecord{};
    ownerRecord.pszFullName = ownerName.data();
    SubdirInfo* owner = &ownerRecord;

    Entry file, missing;
    file.record.psiOwner = missing.record.psiOwner = owner;
    SetEntryName(u"mode.txt", &file.record);
    SetEntryName(u"missing.txt", &missing.record);
    EXPECT_EQ(GetEntryMode(&file.record), WORD(FILE_MODE_KNOWN | 0640));
    EXPECT_EQ(file.record.wMode, WORD(FILE_MODE_KNOWN | 0640));
    // Kept: a change on disk is not seen, no second lookup is made.
    ASSERT_EQ(chmod(posix.c_str(), 0600), 0);
    EXPECT_EQ(GetEntryMode(&file.record), WORD(FILE_MODE_KNOWN | 0640));

    EXPECT_EQ(GetEntryMode(&missing.record), 0);
    EXPECT_EQ(missing.record.wMode, 16384);
    tmp.Write("missing.txt", "now here");
    EXPECT_EQ(GetEntryMode(&missing.record), 0);
    EXPECT_EQ(missing.record.wMode, 16384);

    // While an archive runs as a tree only the stored word counts.
    Entry archived;
    archived.record.psiOwner = owner;
    SetEntryName(u"mode.txt", &archived.record);
    gArchiveTreeActive = TRUE;
    EXPECT_EQ(GetEntryMode(&archived.record), 0);
    EXPECT_EQ(archived.record.wMode, 0);
    archived.record.wMode = WORD(FILE_MODE_KNOWN | 0755);
    EXPECT_EQ(GetEntryMode(&archived.record), WORD(FILE_MODE_KNOWN | 0755));
    gArchiveTreeActive = FALSE;
}

TEST_F(EntryNamesTest, ADirectoryModeIsLookedUpOnceAndNeverInAnArchiveTree) {
    qtest::TempDir tmp;
    const std::string posix = tmp.MakeDir("d");
    ASSERT_EQ(chmod(posix.c_str(), 0750), 0);
    SubdirInfo dir{};
    std::u16string full = WinPath(posix);
    dir.pszFullName = full.data();

    gArchiveTreeActive = TRUE;
    EXPECT_EQ(GetDirMode(&dir), 0);
    EXPECT_EQ(dir.wMode, 0); // not looked up
    EXPECT_EQ(GetNodeMode(&dir), WORD(FILE_MODE_KNOWN | 0750));
    gArchiveTreeActive = FALSE;
    ASSERT_EQ(chmod(posix.c_str(), 0700), 0);
    EXPECT_EQ(GetDirMode(&dir), WORD(FILE_MODE_KNOWN | 0750));

    SubdirInfo gone{};
    std::u16string goneName = WinPath(tmp.Sub("gone"));
    gone.pszFullName = goneName.data();
    EXPECT_EQ(GetDirMode(&gone), 0);
    EXPECT_EQ(gone.wMode, 16384);
    tmp.MakeDir("gone");
    EXPECT_EQ(GetDirMode(&gone), 0);
    EXPECT_EQ(gone.wMode, 16384);
}

} // namespace
