// The arrays' re-sort when a file window is left.
//
// The rule: the directories' file arrays are kept in one order, the array
// order. While a display list is open, a directory whose array would have
// to change is only marked for re-sorting. When the file window is left,
// the marked directories are sorted again, and their marks cleared, only
// when the pane concerned sorts its files in the array order (its first
// four bytes: key, path first, descending, character set); a pane with an
// order of its own leaves the arrays and the marks as they are. The pane
// concerned is the current pane, or the other pane when the window was left
// to change panes; the current pane is the same afterwards.
#include "main/window_state.h"
#include "tree/entry_names.h"
#include "tree/resort_same_order.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "tree_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Names(const SubdirInfo* dir) {
    std::string out;
    for (const FileEntry* e = dir->pFiles; e && e->wszShortName[0]; e++) {
        WCHAR name[1100];
        GetFileDisplayName(name, e);
        if (!out.empty()) out += ' ';
        out += qtest::NarrowText(name);
    }
    return out;
}

class ResortSameOrder : public ::testing::Test {
  protected:
    void SetUp() override { qtest::ResetTreeState(); }
    void TearDown() override { qtest::ResetTreeState(); }
};

constexpr SortSpec kAscending{SORT_NAME, 0, 0, SORT_CHARSET_OEM, SORT_STAMP_WRITTEN};
constexpr SortSpec kDescending{SORT_NAME, 0, 1, SORT_CHARSET_OEM, SORT_STAMP_WRITTEN};
constexpr SortSpec kAscendingCreated{SORT_NAME, 0, 0, SORT_CHARSET_OEM, SORT_STAMP_CREATED};
constexpr SortSpec kBySize{SORT_SIZE, 0, 0, SORT_CHARSET_OEM, SORT_STAMP_WRITTEN};

TEST_F(ResortSameOrder, MarkedArraysAreSortedOnlyForAPaneInTheArrayOrder) {
    const struct {
        const char* what;
        SortSpec pane0, pane1, array;
        WORD current;
        BOOL switching;
        const char* marked; // the marked array afterwards
    } cases[] = {
        {"the current pane in the array order", kAscending, kBySize, kAscending, 0, FALSE, "a b c"},
        {"the current pane with an order of its own", kDescending, kAscending, kAscending, 0, FALSE, "b c a"},
        {"only the timestamp byte differs: the same order", kAscending, kBySize, kAscendingCreated, 0, FALSE,
         "a b c"},
        {"the second pane current, in the array order", kBySize, kDescending, kDescending, 1, FALSE, "c b a"},
        {"changing panes: the other pane's order counts", kDescending, kAscending, kAscending, 0, TRUE,
         "a b c"},
        {"changing panes: the other pane has an order of its own", kAscending, kDescending, kAscending, 0, TRUE,
         "b c a"},
        {"changing panes from the second pane", kDescending, kBySize, kDescending, 1, TRUE, "c b a"},
    };
    for (const auto& c : cases) {
        qtest::ResetTreeState();
        DiskInfo* disk = qtest::BuildDisk('X');
        SubdirInfo* marked = qtest::BuildDir(disk, u"marked");
        SubdirInfo* plain = qtest::BuildDir(disk, u"plain");
        for (SubdirInfo* d : {marked, plain}) qtest::BuildFiles(d, {{u"b", 2}, {u"c", 1}, {u"a", 3}});
        marked->bRefresh = 16 | 1;
        pdiCurrent = disk;
        psiCurrent = disk->psiRoot;
        gFileOrder[0] = c.pane0;
        gFileOrder[1] = c.pane1;
        gArrayOrder = c.array;
        SetCurrentPane(c.current);

        ResortIfSameOrder(c.switching);

        EXPECT_EQ(Names(marked), c.marked) << c.what;
        EXPECT_EQ(Names(plain), "b c a") << c.what << ": an unmarked array is left";
        const bool sorted = std::string(c.marked) != "b c a";
        EXPECT_EQ(marked->bRefresh, sorted ? 1 : 16 | 1) << c.what << ": only the re-sort mark goes";
        EXPECT_EQ(gCurrentPane, c.current) << c.what;
        const WORD concerned = c.switching ? WORD(1 - c.current) : c.current;
        const SortSpec expected = sorted ? gFileOrder[concerned] : c.array;
        EXPECT_EQ(std::memcmp(&gArrayOrder, &expected, sizeof(SortSpec)), 0) << c.what;
    }
}

TEST_F(ResortSameOrder, NothingLoggedLeavesTheArrayOrder) {
    gFileOrder[0] = kAscendingCreated;
    gArrayOrder = kAscending;
    ResortIfSameOrder(FALSE);
    EXPECT_EQ(std::memcmp(&gArrayOrder, &kAscending, sizeof(SortSpec)), 0);
}

} // namespace
