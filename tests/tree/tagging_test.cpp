// Tagging on small built trees: one entry, a directory, a branch, the disk,
// a range and the display list, with every counter checked against a
// recount after each step; the attribute and mode tests as tables; and the
// INVERT, "TAG by:" and attributes prompts driven by keys written to the
// test process's own console.
#include "platform_fixture.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "settings/settings.h"
#include "tree/file_list.h"
#include "tree/filter.h"
#include "tree/tagging.h"
#include "tree/tree_records.h"
#include "tree_builder.h"
#include "ui/command_prompts.h"
#include "ui/help.h"
#include "ui/line_editor.h"

#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

using qtest::ConsoleText;
using qtest::Put;
using qtest::Tap;

constexpr DWORD kAlt = LEFT_ALT_PRESSED;
constexpr BYTE kTag = ENTRY_TAGGED | ENTRY_MARKED;

std::vector<INPUT_RECORD> Letter(char c, DWORD state = 0) {
    const WORD vk = WORD(c >= 'a' && c <= 'z' ? c - 32 : c);
    return Tap(vk, 0, state & kAlt ? WCHAR(0) : WCHAR(c), state);
}
std::vector<INPUT_RECORD> Special(WORD vk) { return Tap(vk, 0, 0, ENHANCED_KEY); }
std::vector<INPUT_RECORD> FKey(int n) { return Tap(WORD(VK_F1 + n - 1), WORD(0x3B + n - 1), 0); }
std::vector<INPUT_RECORD> Enter() { return Tap(VK_RETURN, 0x1C, 13); }
std::vector<INPUT_RECORD> Esc() { return Tap(VK_ESCAPE, 0x01, 27); }
std::vector<INPUT_RECORD> Type(const std::u16string& text) { return qtest::TypeText(text); }

AttrTest MakeTest(const char16_t* places, const char16_t* mode = u"") {
    AttrTest test{};
    for (int i = 0; i < 12 && places[i]; i++) test.places[i] = places[i] == u'.' ? 0 : places[i];
    for (int i = 0; mode[i] && i < 22; i++) test.modeText[i] = mode[i];
    return test;
}

// ---- the attribute and mode tests ---------------------------------------------------------

TEST(TagAttrTest, EachPlaceTestsItsAttributeSetOrClear) {
    const struct {
        const char16_t* places;
        DWORD attributes;
        int tagged; // result with the tag flag; the untag flag gives its negative
    } rows[] = {
        {u"R", 0x1, 1},              {u"R", 0x0, 0},           {u"r", 0x0, 1},
        {u"r", 0x1, 0},              {u"...H", 0x2, 1},        {u"...h", 0x2, 0},
        {u"R..H", 0x3, 1},           {u"R..H", 0x1, 0},        {u"R..H", 0x2, 0},
        {u".A", 0x20, 1},            {u"..S", 0x4, 1},         {u"....C", 0x800, 1},
        {u".....E", 0x4000, 1},      {u"......I", 0x2000, 1},  {u".......J", 0x400, 1},
        {u".......j", 0x400, 0},     {u"........O", 0x1000, 1}, {u".........P", 0x200, 1},
        {u"..........T", 0x100, 1},  {u"..........T", 0x0, 0},
        // A letter in another place than its own, and nothing given.
        {u"H", 0x3, 0},              {u"", 0x3, 0},            {u"...........X", 0x0, 0},
    };
    for (const auto& row : rows) {
        const AttrTest test = MakeTest(row.places);
        const std::string where = qtest::NarrowText(row.places) + " on " + std::to_string(row.attributes);
        EXPECT_EQ(FilterMatchAttr(&test, row.attributes, TRUE), row.tagged) << where;
        EXPECT_EQ(FilterMatchAttr(&test, row.attributes, FALSE), -row.tagged) << where;
    }
}

TEST(TagAttrTest, ModeTextsCombineWithTheLetters) {
    constexpr WORD kKnown = 0x8000;
    const struct {
        const char16_t* places;
        const char16_t* mode;
        DWORD attributes;
        WORD modeWord;
        int tagged;
    } rows[] = {
        {u"", u"u+x", 0, WORD(kKnown | 0744), 1},
        {u"", u"u+x", 0, WORD(kKnown | 0644), 0},
        {u"", u"644", 0, WORD(kKnown | 0644), 1},
        {u"", u"644", 0, WORD(kKnown | 0744), 0},
        {u"", u"a+x", 0, WORD(kKnown | 0744), 0},
        // A mode that is not known never matches, whatever the text.
        {u"", u"644", 0, WORD(0644), 0},
        {u"", u"644", 0, WORD(0x4000 | 0644), 0},
        {u"", u"u+r", 0, 0, 0},
        // The letters must hold beside the mode text.
        {u"R", u"644", 0x1, WORD(kKnown | 0644), 1},
        {u"R", u"644", 0x0, WORD(kKnown | 0644), 0},
        {u"r", u"644", 0x0, WORD(kKnown | 0644), 1},
        // An invalid text matches nothing.
        {u"", u"12345", 0, WORD(kKnown | 0644), 0},
        // Without a mode text the letters alone decide, mode unknown or not.
        {u"R", u"", 0x1, 0, 1},
        {u"R", u"", 0x0, 0, 0},
        {u"", u"", 0x1, WORD(kKnown | 0644), 0},
    };
    for (const auto& row : rows) {
        const AttrTest test = MakeTest(row.places, row.mode);
        const std::string where = qtest::NarrowText(row.places) + "/" + qtest::NarrowText(row.mode) +
                                  " mode " + std::to_string(row.modeWord);
        EXPECT_EQ(FilterMatchDate(&test, row.attributes, row.modeWord, TRUE), row.tagged) << where;
        EXPECT_EQ(FilterMatchDate(&test, row.attributes, row.modeWord, FALSE), -row.tagged) << where;
    }
}

// ---- the operations on a built tree ---------------------------------------------------------

class Tagging : public qtest::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        qtest::ResetTreeState();
        InitFilterSlots();
        HistFreeAll();
        disk_ = qtest::BuildTree('X', u"a\\one.txt=10 a\\two.c=20 a\\b\\three.txt=30 c\\four.c=40 "
                                      u"c\\one.c=5 c\\odd.txt=7#0 five.txt=50");
        pdiCurrent = disk_;
        psiCurrent = disk_->psiRoot;
        a_ = Dir(u"a");
        b_ = Dir(u"a\\b");
        c_ = Dir(u"c");
    }
    void TearDown() override {
        FreeList();
        qtest::ResetTreeState();
        InitFilterSlots();
        PlatformTest::TearDown();
    }

    SubdirInfo* Dir(const std::u16string& path) {
        const std::u16string full = u"X:\\" + path;
        for (SubdirInfo* d : qtest::DirsInOrder(disk_))
            if (full == d->pszFullName) return d;
        ADD_FAILURE() << "no directory " << qtest::NarrowText(path);
        return disk_->psiRoot;
    }
    static FileEntry* File(SubdirInfo* dir, const std::u16string& name) {
        WCHAR buffer[TREE_MAX_FULL_NAME + 2];
        for (DWORD i = 0; i < dir->dwFiles; i++) {
            GetFileDisplayName(buffer, &dir->pFiles[i]);
            if (name == buffer) return &dir->pFiles[i];
        }
        ADD_FAILURE() << "no file " << qtest::NarrowText(name);
        return dir->pFiles;
    }
    static std::u16string NameOf(EntryHead* entry, bool directory) {
        if (directory) return reinterpret_cast<SubdirInfo*>(entry)->pszName;
        WCHAR buffer[TREE_MAX_FULL_NAME + 2];
        GetFileDisplayName(buffer, reinterpret_cast<FileEntry*>(entry));
        return buffer;
    }
    // The tagged names of the pane over the whole disk, sorted.
    std::set<std::u16string> TaggedFiles(int pane = 0) {
        std::set<std::u16string> names;
        for (SubdirInfo* d : qtest::DirsInOrder(disk_))
            for (DWORD i = 0; d->pFiles && i < d->dwFiles; i++)
                if (d->pFiles[i].bFlags[pane] & kTag) names.insert(NameOf(HeadOf(&d->pFiles[i]), false));
        return names;
    }
    std::set<std::u16string> TaggedDirs(int pane = 0) {
        std::set<std::u16string> names;
        for (SubdirInfo* d : qtest::DirsInOrder(disk_))
            if (d->bFlags[pane] & kTag) names.insert(d->pszName);
        return names;
    }
    // Every tag counter of the disk and its directories, both panes.
    std::vector<ULONGLONG> Counters() {
        std::vector<ULONGLONG> all;
        for (int p = 0; p < 2; p++) {
            all.push_back(disk_->dwTagFiles[p]);
            all.push_back(disk_->qwTagBytes[p]);
            for (SubdirInfo* d : qtest::DirsInOrder(disk_)) {
                all.push_back(d->dwTagFiles[p]);
                all.push_back(d->qwTagBytes[p]);
            }
        }
        return all;
    }

    // The display list of the pane's display mode.
    void BuildList(WORD mode) {
        FreeList();
        gDisplayMode[gCurrentPane] = mode;
        if (mode <= 2) BuildDisplayFileList(FALSE);
        else BuildGlobalFileList(FALSE, pdiCurrent, 1);
        ASSERT_NE(gFileList, nullptr);
    }
    static void FreeList() {
        std::free(gFileList);
        gFileList = nullptr;
        gFMax = 0;
    }
    LONG ListIndex(const std::u16string& name) {
        const bool dirs = gDirMode[gCurrentPane] != 0;
        for (DWORD i = 0; i < gFMax; i++)
            if (NameOf(ListEntries(gFileList)[i], dirs) == name) return LONG(i);
        ADD_FAILURE() << "not listed: " << qtest::NarrowText(name);
        return 0;
    }
    std::set<std::u16string> ListedRange(DWORD first, DWORD end) {
        std::set<std::u16string> names;
        for (DWORD i = first; i < end; i++) names.insert(NameOf(ListEntries(gFileList)[i], false));
        return names;
    }
    // The list's tag figures against a recount of the listed entries and of
    // the disk (a showall list covers the disk).
    void ExpectListInStep(const char* step) {
        const int pane = gCurrentPane;
        DWORD tagged = 0;
        for (DWORD i = 0; i < gFMax; i++)
            if (ListEntries(gFileList)[i]->bFlags[pane] & kTag) tagged++;
        EXPECT_EQ(gFileList->taggedEntries[pane], tagged) << step;
        EXPECT_EQ(gFTagged, tagged) << step;
        if (gDisplayMode[pane] == 4) {
            EXPECT_EQ(gFileList->taggedFiles[pane], disk_->dwTagFiles[pane]) << step;
            EXPECT_EQ(gFileList->taggedBytes[pane], disk_->qwTagBytes[pane]) << step;
        }
        EXPECT_EQ(gFileList->taggedEntries[1 - pane], 0u) << step;
    }

    DiskInfo* disk_ = nullptr;
    SubdirInfo* a_ = nullptr;
    SubdirInfo* b_ = nullptr;
    SubdirInfo* c_ = nullptr;
};

using Names = std::set<std::u16string>;

// Both panes, alone and in split screen: only the current pane's bits and
// counters move.
TEST_F(Tagging, DirectoryOperationsOnEitherPane) {
    for (int pane : {0, 1}) {
        for (DWORD split : {DWORD(0), DWORD(1)}) {
            SCOPED_TRACE("pane " + std::to_string(pane) + " split " + std::to_string(split));
            gSplitScreen = split;
            SetCurrentPane(WORD(pane));
            const int other = 1 - pane;
            TagAllInDir(a_);
            EXPECT_EQ(TaggedFiles(pane), (Names{u"one.txt", u"two.c"}));
            EXPECT_TRUE(TaggedFiles(other).empty());
            EXPECT_EQ(File(a_, u"one.txt")->bFlags[pane] & kTag, kTag) << "tagging sets 1 and 4";
            EXPECT_EQ(a_->dwTagFiles[pane], 2u);
            EXPECT_EQ(a_->qwTagBytes[pane], 30u);
            EXPECT_EQ(disk_->qwTagBytes[pane], 30u);
            EXPECT_EQ(qtest::CheckTreeText(), "");
            // Again: nothing changes.
            const auto before = Counters();
            TagAllInDir(a_);
            EXPECT_EQ(Counters(), before);
            EXPECT_EQ(qtest::CheckTreeText(), "");
            InvertTagsInDir(a_);
            EXPECT_TRUE(TaggedFiles(pane).empty());
            EXPECT_EQ(qtest::CheckTreeText(), "");
            InvertTagsInDir(c_);
            EXPECT_EQ(TaggedFiles(pane), (Names{u"four.c", u"one.c"})) << "odd.txt does not match";
            EXPECT_EQ(qtest::CheckTreeText(), "");
            UntagAllInDir(c_);
            EXPECT_TRUE(TaggedFiles(pane).empty());
            EXPECT_EQ(File(c_, u"four.c")->bFlags[pane] & kTag, 0) << "untagging clears 1 and 4";
            EXPECT_EQ(disk_->dwTagFiles[pane], 0u);
            EXPECT_EQ(qtest::CheckTreeText(), "");
            // A marked entry counts as tagged: untagging clears it.
            UntagAllInDir(c_);
            EXPECT_EQ(qtest::CheckTreeText(), "");
        }
    }
}

TEST_F(Tagging, DiskAndBranchOperations) {
    TagDiskAll('T');
    EXPECT_EQ(TaggedFiles(), (Names{u"one.txt", u"two.c", u"three.txt", u"four.c", u"one.c", u"five.txt"}));
    EXPECT_EQ(disk_->dwTagFiles[0], 6u);
    EXPECT_EQ(disk_->qwTagBytes[0], 155u);
    EXPECT_EQ(qtest::CheckTreeText(), "");
    TagBranchAll(TAG_BRANCH_UNTAG, a_);
    EXPECT_EQ(TaggedFiles(), (Names{u"four.c", u"one.c", u"five.txt"})) << "a and a\\b";
    EXPECT_EQ(qtest::CheckTreeText(), "");
    TagBranchAll(TAG_BRANCH_INVERT, disk_->psiRoot);
    EXPECT_EQ(TaggedFiles(), (Names{u"one.txt", u"two.c", u"three.txt"}));
    EXPECT_EQ(qtest::CheckTreeText(), "");
    TagDiskAll('I');
    EXPECT_EQ(TaggedFiles(), (Names{u"four.c", u"one.c", u"five.txt"}));
    EXPECT_EQ(qtest::CheckTreeText(), "");
    TagDiskAll('U');
    EXPECT_TRUE(TaggedFiles().empty());
    EXPECT_EQ(disk_->dwTagFiles[0], 0u);
    EXPECT_EQ(disk_->qwTagBytes[0], 0u);
    EXPECT_EQ(qtest::CheckTreeText(), "");
}

TEST_F(Tagging, BranchWithoutSubdirectoriesTouchesThatDirectoryOnly) {
    // b is the last directory of a's branch; c follows at a lower level.
    TagBranchAll(TAG_BRANCH_TAG, b_);
    EXPECT_EQ(TaggedFiles(), (Names{u"three.txt"}));
    TagBranchAll(TAG_BRANCH_TAG, c_);
    EXPECT_EQ(TaggedFiles(), (Names{u"three.txt", u"four.c", u"one.c"}));
    EXPECT_EQ(qtest::CheckTreeText(), "");
}

TEST_F(Tagging, UnreadDirectoriesArePassedOverWhileFilesAreListed) {
    c_->bLogged = 0;
    TagDiskAll('T');
    EXPECT_EQ(TaggedFiles(), (Names{u"one.txt", u"two.c", u"three.txt", u"five.txt"}));
    c_->bLogged = 1;
    EXPECT_EQ(qtest::CheckTreeText(), "");
}

TEST_F(Tagging, ListOperationsKeepTheHeaderAndCountInStep) {
    for (int pane : {0, 1}) {
        SCOPED_TRACE("pane " + std::to_string(pane));
        gSplitScreen = DWORD(pane);
        SetCurrentPane(WORD(pane));
        BuildList(4);
        ASSERT_EQ(gFMax, 6u);
        ExpectListInStep("built");
        TagEntry(nullptr, ListIndex(u"four.c"));
        EXPECT_EQ(gFileList->taggedBytes[pane], 40u);
        EXPECT_EQ(c_->qwTagBytes[pane], 40u);
        ExpectListInStep("one tagged");
        EXPECT_EQ(qtest::CheckTreeText(), "");
        TagAllInDir(nullptr);
        EXPECT_EQ(TaggedFiles(pane).size(), 6u);
        ExpectListInStep("all tagged");
        EXPECT_EQ(qtest::CheckTreeText(), "");
        const auto before = Counters();
        const DisplayFileList header = *gFileList;
        TagAllInDir(nullptr);
        EXPECT_EQ(Counters(), before) << "tagging the tagged changes nothing";
        EXPECT_EQ(gFileList->taggedBytes[pane], header.taggedBytes[pane]);
        EXPECT_EQ(gFTagged, 6u);
        InvertTagsInDir(nullptr);
        EXPECT_TRUE(TaggedFiles(pane).empty());
        ExpectListInStep("inverted");
        EXPECT_EQ(qtest::CheckTreeText(), "");
        TagAllInDir(nullptr);
        UntagAllInDir(nullptr);
        EXPECT_TRUE(TaggedFiles(pane).empty());
        ExpectListInStep("untagged");
        EXPECT_EQ(gFileList->taggedBytes[pane], 0u);
        // Untagging the untagged changes nothing and never wraps the list's count.
        UntagAllInDir(nullptr);
        EXPECT_EQ(gFTagged, 0u);
        ExpectListInStep("untagged again");
        EXPECT_EQ(qtest::CheckTreeText(), "");
        FreeList();
    }
}

TEST_F(Tagging, RangesIncludeTheIndex) {
    BuildList(4);
    ASSERT_EQ(gFMax, 6u);
    const struct {
        DWORD index;
        BOOL toEnd;
        DWORD first, end;
    } rows[] = {{0, FALSE, 0, 1}, {2, FALSE, 0, 3}, {5, FALSE, 0, 6}, {9, FALSE, 0, 6},
                {0, TRUE, 0, 6},  {3, TRUE, 3, 6},  {5, TRUE, 5, 6},  {6, TRUE, 6, 6}};
    for (const auto& row : rows) {
        SCOPED_TRACE("index " + std::to_string(row.index) + " to end " + std::to_string(row.toEnd));
        TagRange(row.index, TRUE, row.toEnd);
        EXPECT_EQ(TaggedFiles(), ListedRange(row.first, row.end));
        ExpectListInStep("tagged");
        EXPECT_EQ(qtest::CheckTreeText(), "");
        // Untagging the same range takes them all back.
        TagRange(row.index, FALSE, row.toEnd);
        EXPECT_TRUE(TaggedFiles().empty());
        ExpectListInStep("untagged");
    }
    // Untagging a range leaves the rest.
    TagAllInDir(nullptr);
    TagRange(1, FALSE, FALSE);
    EXPECT_EQ(TaggedFiles(), ListedRange(2, 6));
    ExpectListInStep("partly untagged");
    EXPECT_EQ(qtest::CheckTreeText(), "");
}

TEST_F(Tagging, UntagUnmarkedKeepsWhatTheCommandMarked) {
    BuildList(4);
    TagEntry(nullptr, ListIndex(u"one.txt"));
    TagEntry(nullptr, ListIndex(u"four.c"));
    MarkTaggedInList();
    // Tagged after the marking: tagged, not marked.
    const LONG late = ListIndex(u"five.txt");
    TagEntry(nullptr, late);
    ListEntries(gFileList)[late]->bFlags[0] = ENTRY_MATCHES | ENTRY_TAGGED;
    UntagUnmarked();
    EXPECT_EQ(TaggedFiles(), (Names{u"one.txt", u"four.c"}));
    ExpectListInStep("after");
    EXPECT_EQ(qtest::CheckTreeText(), "");
}

// Listing directories: a directory's own tag goes to its parent's count
// and the disk's; every tag and untag takes back exactly what it gave.
TEST_F(Tagging, DirectoryModeTagsComeBackToWhereTheyWere) {
    for (SubdirInfo* d : qtest::DirsInOrder(disk_)) d->bFlags[0] |= ENTRY_MATCHES;
    gDirMode[0] = 1;
    const auto start = Counters();
    TagEntry(a_, TAG_DIRECTORY_ITSELF);
    EXPECT_EQ(TaggedDirs(), (Names{u"a"}));
    EXPECT_EQ(disk_->psiRoot->dwTagFiles[0], 1u);
    EXPECT_EQ(a_->qwTagBytes[0], 30u);
    EXPECT_EQ(disk_->dwTagFiles[0], 1u);
    EXPECT_EQ(disk_->qwTagBytes[0], 30u);
    UntagEntry(a_, TAG_DIRECTORY_ITSELF);
    EXPECT_TRUE(TaggedDirs().empty());
    EXPECT_EQ(Counters(), start);

    // The bulk operations go through the same counted path, so that an
    // invert after a tag over the disk never wraps a counter.
    TagDiskAll('T');
    EXPECT_EQ(TaggedDirs().size(), qtest::DirsInOrder(disk_).size());
    EXPECT_EQ(disk_->dwTagFiles[0], DWORD(TaggedDirs().size()));
    EXPECT_EQ(disk_->qwTagBytes[0], 155u + 7u);
    TagDiskAll('I');
    EXPECT_TRUE(TaggedDirs().empty());
    EXPECT_EQ(Counters(), start);
    TagBranchAll(TAG_BRANCH_TAG, a_);
    EXPECT_EQ(TaggedDirs(), (Names{u"a", u"b"}));
    TagBranchAll(TAG_BRANCH_UNTAG, a_);
    EXPECT_EQ(Counters(), start);
    // Without a flag 2 a directory is left alone.
    c_->bFlags[0] = 0;
    TagDiskAll('T');
    EXPECT_EQ(TaggedDirs().count(u"c"), 0u);
    TagDiskAll('U');
    EXPECT_EQ(Counters(), start);
}

// A listed directory of a one-directory list carries its branch's bytes in
// the header; untagging takes the same bytes back.
TEST_F(Tagging, ListedDirectoryBranchBytesDoNotDrift) {
    for (SubdirInfo* d : qtest::DirsInOrder(disk_)) d->bFlags[0] |= ENTRY_MATCHES;
    gDirMode[0] = 1;
    for (WORD mode : {WORD(1), WORD(2), WORD(4)}) {
        SCOPED_TRACE("display mode " + std::to_string(mode));
        BuildList(mode);
        const auto start = Counters();
        const DisplayFileList header = *gFileList;
        const DWORD tagged = gFTagged;
        const LONG a = ListIndex(u"a");
        TagEntry(nullptr, a);
        const ULONGLONG figure = mode == 4 ? 30u : 60u; // a alone, or a with a\b
        EXPECT_EQ(gFileList->taggedBytes[0], header.taggedBytes[0] + figure);
        EXPECT_EQ(gFileList->taggedEntries[0], header.taggedEntries[0] + 1);
        EXPECT_EQ(disk_->psiRoot->qwTagBytes[0], figure);
        EXPECT_EQ(disk_->qwTagBytes[0], figure);
        EXPECT_EQ(gFTagged, tagged + 1);
        UntagEntry(nullptr, a);
        EXPECT_EQ(gFileList->taggedBytes[0], header.taggedBytes[0]);
        EXPECT_EQ(gFileList->taggedFiles[0], header.taggedFiles[0]);
        EXPECT_EQ(gFileList->taggedEntries[0], header.taggedEntries[0]);
        EXPECT_EQ(gFTagged, tagged);
        EXPECT_EQ(Counters(), start);
    }
}

// ---- the prompts -----------------------------------------------------------------------------

TEST_F(Tagging, PromptTexts) {
    PromptInvert(TRUE);
    EXPECT_EQ(ConsoleText(gMessageRow, 0, 34), u"INVERT    File specification  Tags");
    EXPECT_EQ(ConsoleText(gBottomRow, 60, 19), u"F1 Help  Esc Cancel");
    PromptInvert(FALSE);
    EXPECT_EQ(ConsoleText(gMessageRow, 28, 7), u"  Tag  ");

    const auto row = [](const std::u16string& text) {
        return ConsoleText(gMessageRow, 0, int(text.size()));
    };
    const std::u16string tagBy = u"TAG by: Attributes          Up  Down  Name  Extension  Filter    ";
    PromptTagBy(TRUE, FALSE);
    EXPECT_EQ(row(tagBy), tagBy);
    const std::u16string untagBy = u"UNTAG by: Attributes          Up  Down  Name  Extension  Filter    ";
    PromptTagBy(TRUE, TRUE);
    EXPECT_EQ(row(untagBy), untagBy);
    const std::u16string branch =
        u"TAG by: Attributes Branch Current dir         Up  Down  Name  Extension  Filter ";
    PromptTagBy(FALSE, FALSE);
    EXPECT_EQ(row(branch), branch);
    EXPECT_EQ(ConsoleText(gBottomRow, 60, 19), u"F1 Help  Esc Cancel");

    PromptTagByAttributes(TRUE, FALSE);
    EXPECT_EQ(ConsoleText(gMessageRow, 0, 38), u"UNTAG ALL MATCHING FILES BY ATTRIBUTES");
    EXPECT_EQ(ConsoleText(gHintRow, 19, 1), u":");
    EXPECT_EQ(ConsoleText(gBottomRow, 0, 36), u"Enter a mode test (u+x, 644; +/-RHJ)");
    EXPECT_EQ(ConsoleText(gBottomRow, 41, 38), u"F3 Last  \u2191 History  \u25C4\u2500\u2518 OK  Esc Cancel");
    PromptTagByAttributes(FALSE, TRUE);
    EXPECT_EQ(ConsoleText(gMessageRow, 0, 42), u"TAG ALL MATCHING DIRECTORIES BY ATTRIBUTES");
}

TEST_F(Tagging, InvertCommandHelpPagesAndReturns) {
    const struct {
        BOOL list, disk;
        int help;
    } pages[] = {{FALSE, FALSE, 77}, {FALSE, TRUE, 76}, {TRUE, FALSE, 79}, {TRUE, TRUE, 78}};
    for (const auto& row : pages) {
        Put(FKey(1));
        Put(Letter('x')); // ignored
        Put(Esc());
        EXPECT_EQ(InvertCommand(row.list, nullptr, row.disk), 0);
        EXPECT_EQ(HelpLastTopic(), row.help) << row.list << row.disk;
    }
    ScrPutStr(gMessageRow, 0, "the menu under the prompt", gNormalAttr);
    const std::u16string before = ConsoleText(gMessageRow, 0, 40);
    Put(Enter());
    EXPECT_EQ(InvertCommand(TRUE, nullptr, FALSE), 0);
    EXPECT_EQ(ConsoleText(gMessageRow, 0, 40), before) << "the command lines are put back";
    Put(Esc());
    EXPECT_EQ(TagByFilespecDialog(FALSE, TRUE), 0);
    EXPECT_EQ(ConsoleText(gMessageRow, 0, 40), before);

    // 'F' turns the pane's filter over and asks for the list again.
    const DWORD word = gFilterSlots[0].modeWord;
    Put(Letter('f'));
    EXPECT_EQ(InvertCommand(TRUE, nullptr, FALSE), 4127);
    EXPECT_NE(gFilterSlots[0].modeWord, word);
    Put(Letter('f', kAlt));
    EXPECT_EQ(InvertCommand(TRUE, nullptr, FALSE), 4127);
    EXPECT_EQ(gFilterSlots[0].modeWord, word);
}

TEST_F(Tagging, InvertCommandInvertsWhereItIsAsked) {
    const struct {
        char key;
        BOOL list, disk;
        bool withDir;
        int result;
        Names tagged;
    } rows[] = {
        // Neither list nor disk: the caller inverts.
        {'t', FALSE, FALSE, true, 105, {}},
        {'i', FALSE, FALSE, false, 105, {}},
        // The directory.
        {'t', FALSE, TRUE, true, 105, {u"one.txt", u"two.c"}},
        {'i', TRUE, FALSE, true, 1, {u"one.txt", u"two.c"}},
        // The list.
        {'t', TRUE, FALSE, false, 1, {u"one.txt", u"two.c", u"three.txt", u"four.c", u"one.c", u"five.txt"}},
        // The disk.
        {'i', FALSE, TRUE, false, 105, {u"one.txt", u"two.c", u"three.txt", u"four.c", u"one.c", u"five.txt"}},
        {'t', TRUE, TRUE, false, 1, {u"one.txt", u"two.c", u"three.txt", u"four.c", u"one.c", u"five.txt"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(1, row.key) + " list " + std::to_string(row.list) + " disk " +
                     std::to_string(row.disk) + (row.withDir ? " dir" : ""));
        BuildList(4);
        Put(Letter(row.key));
        EXPECT_EQ(InvertCommand(row.list, row.withDir ? a_ : nullptr, row.disk), row.result);
        EXPECT_EQ(TaggedFiles(), row.tagged);
        // The list's figures follow only what goes through the list.
        if (row.list && !row.disk && !row.withDir) ExpectListInStep("after");
        EXPECT_EQ(qtest::CheckTreeText(), "");
        TagDiskAll('U');
    }
}

TEST_F(Tagging, TagByFilespecHelpAndWindowKeys) {
    BuildList(4);
    const struct {
        BOOL disk, tag;
        int help;
    } pages[] = {{TRUE, TRUE, 25}, {TRUE, FALSE, 26}, {FALSE, TRUE, 28}, {FALSE, FALSE, 29}};
    for (const auto& row : pages) {
        Put(FKey(1));
        Put(Esc());
        EXPECT_EQ(TagByFilespecDialog(row.disk, row.tag), 0);
        EXPECT_EQ(HelpLastTopic(), row.help);
    }
    const struct {
        std::vector<INPUT_RECORD> key;
        BOOL tag;
        int result;
    } keys[] = {{Letter('d'), TRUE, 4133},        {Letter('d'), FALSE, 4135},
                {Special(VK_DOWN), TRUE, 4133},   {Special(VK_DOWN), FALSE, 4135},
                {Letter('u'), TRUE, 4132},        {Letter('u', kAlt), FALSE, 4134},
                {Special(VK_UP), TRUE, 4132},     {Special(VK_UP), FALSE, 4134}};
    for (const auto& row : keys) {
        Put(row.key);
        EXPECT_EQ(TagByFilespecDialog(FALSE, row.tag), row.result);
        // With the disk flag the same keys end the prompt with 0.
        Put(row.key);
        EXPECT_EQ(TagByFilespecDialog(TRUE, row.tag), 0);
    }
    // Keys without a meaning are passed over.
    Put(Letter('z'));
    Put(Letter('d'));
    EXPECT_EQ(TagByFilespecDialog(FALSE, TRUE), 4133);
    EXPECT_TRUE(TaggedFiles().empty());
}

TEST_F(Tagging, TagByNameExtensionAndFilter) {
    BuildList(4);
    gPanes[0].CurrentIndex = DWORD(ListIndex(u"one.txt"));
    Put(Letter('n'));
    EXPECT_EQ(TagByFilespecDialog(FALSE, TRUE), 0);
    EXPECT_EQ(TaggedFiles(), (Names{u"one.txt", u"one.c"})) << "the name with any extension";
    ExpectListInStep("by name");
    Put(Letter('e', kAlt));
    EXPECT_EQ(TagByFilespecDialog(FALSE, TRUE), 0);
    EXPECT_EQ(TaggedFiles(), (Names{u"one.txt", u"one.c", u"three.txt", u"five.txt"}))
        << "the extension; odd.txt does not match the filter";
    ExpectListInStep("by extension");
    Put(Letter('n'));
    EXPECT_EQ(TagByFilespecDialog(FALSE, FALSE), 0);
    EXPECT_EQ(TaggedFiles(), (Names{u"three.txt", u"five.txt"}));
    ExpectListInStep("untagged by name");
    EXPECT_EQ(qtest::CheckTreeText(), "");

    // The filter prompt: the typed filespec replaces the offered name.
    Put(Letter('f'));
    Put(Type(u"t*.*"));
    Put(Enter());
    EXPECT_EQ(TagByFilespecDialog(FALSE, TRUE), 0);
    EXPECT_EQ(TaggedFiles(), (Names{u"three.txt", u"five.txt", u"two.c"}));
    ExpectListInStep("by filter");
    // The offered current name as it stands.
    Put(Letter('f'));
    Put(Enter());
    EXPECT_EQ(TagByFilespecDialog(FALSE, TRUE), 0);
    EXPECT_EQ(TaggedFiles().count(u"one.txt"), 1u);
    // A refused filespec asks again; Tab brings back the current name.
    UntagEntry(nullptr, ListIndex(u"one.txt"));
    Put(Letter('f'));
    Put(Type(u"a**b"));
    Put(Enter());
    Put(Tap(VK_TAB, 0x0F, 9));
    Put(Enter());
    EXPECT_EQ(TagByFilespecDialog(FALSE, TRUE), 0);
    EXPECT_EQ(TaggedFiles(), (Names{u"three.txt", u"five.txt", u"two.c", u"one.txt"}));
    ExpectListInStep("after a refused filespec");
    // Esc leaves the filter prompt without tagging.
    Put(Letter('f'));
    Put(Type(u"*.c"));
    Put(Esc());
    EXPECT_EQ(TagByFilespecDialog(FALSE, TRUE), 0);
    EXPECT_EQ(TaggedFiles().count(u"four.c"), 0u);
    EXPECT_EQ(qtest::CheckTreeText(), "");

    // A file without an extension: "*" and no extension.
    TagDiskAll('U');
    qtest::BuildFiles(c_, {{u"README", 3}, {u"four.c", 40}});
    qtest::RecountTrees();
    BuildList(4);
    gPanes[0].CurrentIndex = DWORD(ListIndex(u"README"));
    Put(Letter('e'));
    EXPECT_EQ(TagByFilespecDialog(FALSE, TRUE), 0);
    EXPECT_EQ(TaggedFiles(), (Names{u"README"}));
    ExpectListInStep("no extension");
    EXPECT_EQ(qtest::CheckTreeText(), "");
}

TEST_F(Tagging, TagByBranchAndCurrentDirectory) {
    for (WORD mode : {WORD(1), WORD(2)}) {
        // A one-directory list has neither.
        psiCurrent = a_;
        BuildList(mode);
        for (char key : {'b', 'c'}) {
            Put(Letter(key));
            Put(Esc());
            EXPECT_EQ(TagByFilespecDialog(FALSE, TRUE), 0);
            EXPECT_TRUE(TaggedFiles().empty()) << key << " in display mode " << mode;
        }
    }
    psiCurrent = disk_->psiRoot;
    BuildList(3);
    // With the disk flag they are passed over too.
    for (char key : {'b', 'c'}) {
        Put(Letter(key));
        Put(Esc());
        EXPECT_EQ(TagByFilespecDialog(TRUE, TRUE), 0);
        EXPECT_TRUE(TaggedFiles().empty());
    }
    gPanes[0].CurrentIndex = DWORD(ListIndex(u"one.txt"));
    Put(Letter('c'));
    EXPECT_EQ(TagByFilespecDialog(FALSE, TRUE), 0);
    EXPECT_EQ(TaggedFiles(), (Names{u"one.txt", u"two.c"}));
    ExpectListInStep("current directory");
    TagDiskAll('U');
    BuildList(3);
    gPanes[0].CurrentIndex = DWORD(ListIndex(u"two.c"));
    Put(Letter('b'));
    EXPECT_EQ(TagByFilespecDialog(FALSE, TRUE), 0);
    EXPECT_EQ(TaggedFiles(), (Names{u"one.txt", u"two.c", u"three.txt"}));
    ExpectListInStep("branch");
    Put(Letter('b'));
    EXPECT_EQ(TagByFilespecDialog(FALSE, FALSE), 0);
    EXPECT_TRUE(TaggedFiles().empty());
    ExpectListInStep("branch untagged");
    EXPECT_EQ(qtest::CheckTreeText(), "");
}

TEST_F(Tagging, TagByAttributesAndModes) {
    // Attributes and known modes on the fixture's files.
    File(a_, u"one.txt")->wAttributes = 0x1;            // read-only
    File(a_, u"two.c")->wAttributes = 0x1 | 0x2;         // read-only, hidden
    File(b_, u"three.txt")->wAttributes = 0x2;           // hidden
    const WORD known = 0x8000;
    File(a_, u"one.txt")->wMode = WORD(known | 0444);
    File(a_, u"two.c")->wMode = WORD(known | 0755);
    File(b_, u"three.txt")->wMode = WORD(known | 0644);
    File(c_, u"four.c")->wMode = WORD(known | 0744);
    File(c_, u"one.c")->wMode = WORD(known | 0644);
    File(disk_->psiRoot, u"five.txt")->wMode = 0x4000; // looked up and failed: unknown
    const struct {
        std::u16string text;
        BOOL disk;
        Names tagged;
    } rows[] = {
        {u"+R", TRUE, {u"one.txt", u"two.c"}},
        {u"+r +h", TRUE, {u"two.c"}},
        {u"-R", TRUE, {u"three.txt", u"four.c", u"one.c", u"five.txt"}},
        {u"-H,+R", FALSE, {u"one.txt"}},
        {u"u+x", TRUE, {u"two.c", u"four.c"}},
        {u"644", FALSE, {u"three.txt", u"one.c"}},
        {u"+H 644", TRUE, {u"three.txt"}},
        {u"u+x g+x", TRUE, {u"two.c"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(qtest::NarrowText(row.text) + (row.disk ? " on the disk" : " on the list"));
        BuildList(4);
        Put(Letter('a'));
        Put(Type(row.text));
        Put(Enter());
        EXPECT_EQ(TagByFilespecDialog(row.disk, TRUE), 0);
        EXPECT_EQ(TaggedFiles(), row.tagged);
        if (!row.disk) ExpectListInStep("tagged");
        EXPECT_EQ(qtest::CheckTreeText(), "");
        // Untagging by the same test takes them back.
        Put(Type(row.text));
        Put(Enter());
        TagByAttributes(row.disk, FALSE);
        EXPECT_TRUE(TaggedFiles().empty());
        if (!row.disk) ExpectListInStep("untagged");
        EXPECT_EQ(qtest::CheckTreeText(), "");
    }
}

TEST_F(Tagging, TagByAttributesRefusesABadTextAndAsksAgain) {
    File(a_, u"one.txt")->wAttributes = 0x1;
    BuildList(4);
    // A refused text is offered again; with offered texts highlighted,
    // typing replaces it.
    gSettings.bHighlightDefaults = 1;
    // Two bad mode texts, then a good one.
    Put(Type(u"12345"));
    Put(Enter());
    Put(Type(u"u+q"));
    Put(Enter());
    Put(Type(u"+R"));
    Put(Enter());
    TagByAttributes(FALSE, TRUE);
    gSettings.bHighlightDefaults = 0;
    EXPECT_EQ(TaggedFiles(), (Names{u"one.txt"}));
    ExpectListInStep("after");
    // Esc leaves without tagging.
    Put(Type(u"-R"));
    Put(Esc());
    TagByAttributes(FALSE, TRUE);
    EXPECT_EQ(TaggedFiles(), (Names{u"one.txt"}));
}

TEST_F(Tagging, TagByAttributesOverDirectories) {
    for (SubdirInfo* d : qtest::DirsInOrder(disk_)) d->bFlags[0] |= ENTRY_MATCHES;
    gDirMode[0] = 1;
    a_->wAttributes = 0x2;
    c_->wAttributes = 0x2;
    const auto start = Counters();
    Put(Type(u"+H"));
    Put(Enter());
    TagByAttributes(TRUE, TRUE);
    EXPECT_EQ(TaggedDirs(), (Names{u"a", u"c"}));
    EXPECT_EQ(disk_->dwTagFiles[0], 2u);
    Put(Type(u"+H"));
    Put(Enter());
    TagByAttributes(TRUE, FALSE);
    EXPECT_TRUE(TaggedDirs().empty());
    EXPECT_EQ(Counters(), start);
}

} // namespace
