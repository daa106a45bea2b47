// The directory bookmarks' steps to the previous and next entry on a drive
// mapped onto a temporary directory: the entry path starts from, the ends
// with and without wrapping, and the entries of directories that are gone.
#include "settings/path_lists.h"
#include "settings/settings.h"
#include "qposix_drives.h"
#include "windows.h"

#include "fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// A step and what it should give (null: nothing).
struct Step {
    int step;
    const char16_t* from; // null: no path given
    const char16_t* gives;
};

struct StepCase {
    const char* what;
    std::vector<std::u16string> entries;
    bool wrap;
    std::vector<Step> steps;
    size_t countAfter;
};

class BookmarkSteps : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"a", "b", "c", "d"}) dir_.MakeDir(name);
        dir_.Write("file", "not a directory");
        ASSERT_TRUE(DriveMapSet('Q', dir_.path().c_str(), nullptr));
        savedWrap_ = gSettings.bBookmarksWrap;
    }
    void TearDown() override {
        DriveMapClear('Q');
        gSettings.bBookmarksWrap = savedWrap_;
        LoggedPathList(11, 0, u"");
    }
    qtest::TempDir dir_;
    BYTE savedWrap_ = 0;
};

std::string Narrow(const char16_t* text) {
    if (!text) return "(none)";
    std::string out;
    for (; *text; text++) out += *text < 128 ? char(*text) : '?';
    return out;
}

TEST_F(BookmarkSteps, StepsThroughTheListAndDropsWhatIsGone) {
    const StepCase cases[] = {
        {"next from the entry of the path given",
         {u"Q:\\a", u"Q:\\b", u"Q:\\c"}, false,
         {{1, u"Q:\\a", u"Q:\\b"}, {1, u"Q:\\b", u"Q:\\c"}}, 3},
        {"without wrapping the last entry has no next",
         {u"Q:\\a", u"Q:\\b", u"Q:\\c"}, false,
         {{1, u"Q:\\c", nullptr}, {-1, u"Q:\\a", nullptr}}, 3},
        {"with wrapping the ends meet",
         {u"Q:\\a", u"Q:\\b", u"Q:\\c"}, true,
         {{1, u"Q:\\c", u"Q:\\a"}, {-1, u"Q:\\a", u"Q:\\c"}}, 3},
        {"a path the list does not hold steps from the last step's entry",
         {u"Q:\\a", u"Q:\\b", u"Q:\\c"}, false,
         {{1, u"Q:\\b", u"Q:\\c"}, {-1, u"Q:\\d", u"Q:\\b"}, {-1, nullptr, u"Q:\\a"}}, 3},
        {"a fresh list steps back to its last entry",
         {u"Q:\\a", u"Q:\\b", u"Q:\\c"}, false,
         {{-1, nullptr, u"Q:\\c"}, {-1, nullptr, u"Q:\\b"}}, 3},
        {"a fresh list has no next without wrapping",
         {u"Q:\\a", u"Q:\\b"}, false,
         {{1, nullptr, nullptr}}, 2},
        {"a gone directory is dropped on the way forward",
         {u"Q:\\a", u"Q:\\gone", u"Q:\\b"}, false,
         {{1, u"Q:\\a", u"Q:\\b"}}, 2},
        {"a gone directory is dropped on the way back",
         {u"Q:\\a", u"Q:\\gone", u"Q:\\b"}, false,
         {{-1, u"Q:\\b", u"Q:\\a"}}, 2},
        {"a file where a directory was counts as gone",
         {u"Q:\\a", u"Q:\\file", u"Q:\\b"}, false,
         {{1, u"Q:\\a", u"Q:\\b"}}, 2},
        {"several gone in a row are all dropped",
         {u"Q:\\a", u"Q:\\gone1", u"Q:\\gone2", u"Q:\\c"}, false,
         {{1, u"Q:\\a", u"Q:\\c"}, {-1, u"Q:\\c", u"Q:\\a"}}, 2},
        {"wrapping back past a gone last entry",
         {u"Q:\\a", u"Q:\\b", u"Q:\\gone"}, true,
         {{-1, u"Q:\\a", u"Q:\\b"}}, 2},
        {"gone entries at the end without wrapping: dropped, nothing found",
         {u"Q:\\a", u"Q:\\gone1", u"Q:\\gone2"}, false,
         {{1, u"Q:\\a", nullptr}}, 1},
        {"everything else gone: wrapping comes back to the start entry",
         {u"Q:\\a", u"Q:\\gone1", u"Q:\\gone2"}, true,
         {{1, u"Q:\\a", u"Q:\\a"}}, 1},
        {"every entry gone: nothing, and the list is empty",
         {u"Q:\\gone1", u"Q:\\gone2"}, true,
         {{1, nullptr, nullptr}, {-1, nullptr, nullptr}}, 0},
        {"a drive that is not mapped is gone",
         {u"Q:\\a", u"R:\\x", u"Q:\\b"}, false,
         {{1, u"Q:\\a", u"Q:\\b"}}, 2},
    };
    for (const StepCase& c : cases) {
        gSettings.bBookmarksWrap = c.wrap ? 1 : 0;
        SetLoggedPaths(c.entries.data(), c.entries.size());
        for (size_t i = 0; i < c.steps.size(); i++) {
            const Step& s = c.steps[i];
            const auto* got = reinterpret_cast<const WCHAR*>(LoggedPathList(1, s.step, s.from));
            EXPECT_EQ(Narrow(got), Narrow(s.gives)) << c.what << ", step " << i;
        }
        EXPECT_EQ(size_t(LoggedPathList(4, 0, nullptr)), c.countAfter) << c.what;
        EXPECT_EQ(LoggedPathCount(), c.countAfter) << c.what;
    }
}

TEST_F(BookmarkSteps, CountPickAndLimits) {
    LoggedPathList(11, 0, u"Q:\\a|Q:\\b|Q:\\c");
    EXPECT_EQ(LoggedPathList(4, 0, nullptr), 3);
    // Nothing is chosen from the list yet, and the list stays as it was.
    EXPECT_EQ(LoggedPathList(7, 0, nullptr), 0);
    EXPECT_EQ(LoggedPathList(4, 0, nullptr), 3);
    // A path longer than an entry may be gives 0 and does not step.
    const std::u16string tooLong(BOOKMARK_UNITS + 1, u'a');
    EXPECT_EQ(LoggedPathList(1, 1, tooLong.c_str()), 0);
    EXPECT_EQ(LoggedPathList(16, 1, u"Q:\\a"), 0);
    const auto* next = reinterpret_cast<const WCHAR*>(LoggedPathList(1, 1, u"Q:\\a"));
    EXPECT_EQ(Narrow(next), "Q:\\b");
}

} // namespace
