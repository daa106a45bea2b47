// The services of the dialogue layer that the screen and the key reader
// rely on: numbers written into pictures, key hints as click regions and
// their nesting, mouse events as keys, the nested busy state with its corner
// cells, and the error line.
#include "platform_fixture.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/error_reporting.h"
#include "platform/packed_dates.h"
#include "ui/numbers_dates.h"
#include "ui/progress.h"

#include <string>

namespace {

using qtest::ConsoleAttrs;
using qtest::ConsoleText;
using qtest::Mouse;
using qtest::Put;
using qtest::Tap;

using UiTest = qtest::PlatformTest;

TEST(NumberPicture, DigitsFillThePlacesFromTheRight) {
    const struct {
        int64_t value;
        const char* picture;
        char separator;
        const char* text;
    } kCases[] = {
        {1234, "###,###,###", ',', "      1,234"},
        {0, "###,###", ',', "      0"},
        {999, "###,###", ',', "    999"},
        {-1234, "###,###", ',', " -1,234"},
        {1234567, "###,###,###", '.', "  1.234.567"},
        {1234567, "###,###,###", ' ', "  1 234 567"},
        {1234567, "###,###", ',', "1234567"},
        {12345678, "###,###", ',', "*******"},
        {1234567, "###,###,###", ',', "  1,234,567"},
        {1234567890, "###,###,###", ',', "1234567,890"},
        {12345678901, "###,###,###", ',', "12345678901"},
        {123456789012, "###,###,###", ',', "***********"},
        {-12345678901, "###,###,###", ',', "***********"},
        {5, "###.##", ',', "  5.00"},
        {12345, "###.##", ',', "***.00"},
        {123456789, "**#,###", ',', "*******"},
        {5, "*##,###", ',', "     *5"},
        {5, "**#,###", ',', "******5"},
        {1234, "**#,###", ',', "**1,234"},
        {12345, "**#,###", ',', "**12345"},
    };
    for (const auto& c : kCases) {
        gThousandsSep = c.separator;
        char out[24];
        FormatNumberPicture(out, c.value, c.picture);
        EXPECT_STREQ(out, c.text) << c.value << " in " << c.picture;
    }
    gThousandsSep = ',';
}

TEST(DateTimeAttr, PackedValuesFollowTheSettings) {
    const PackedDate march5 = PackDate(2024, 3, 5);
    const struct {
        WORD format;
        PackedDate date;
        const char* text;
    } kDates[] = {
        {0, march5, " 5-03-24"},   {1, march5, " 3-05-24"},   {2, march5, "24-03-05"},
        {3, march5, " 5-03-2024"}, {4, march5, " 3-05-2024"}, {5, march5, "2024-03-05"},
        {9, march5, "   0-00-00"}, {1, PackDate(0, 1, 2), " 1-02-00"},
        {1, PackDate(1999, 12, 31), "12-31-99"},
    };
    for (const auto& c : kDates) {
        gDateFormat = c.format;
        EXPECT_STREQ(FormatDate(c.date), c.text) << "format " << c.format;
    }
    gDateFormat = 1;

    const struct {
        DWORD twelveHour;
        PackedTime time;
        const char* text;
    } kTimes[] = {
        {0, PackTime(12, 30, 5, 0), " 12:30:05"},    {1, PackTime(12, 30, 5, 0), " 12:30:05 pm"},
        {1, PackTime(0, 15, 0, 0), " 12:15:00 am"},  {1, PackTime(23, 59, 59, 999), " 11:59:59 pm"},
        {0, PackTime(0, 15, 0, 0), "  0:15:00"},     {1, PackTime(11, 0, 0, 0), " 11:00:00 am"},
    };
    for (const auto& c : kTimes) {
        gTwelveHourClock = c.twelveHour;
        char out[16];
        EXPECT_STREQ(FormatTime(out, c.time), c.text);
    }
    gTwelveHourClock = 0;

    const struct {
        WORD attributes;
        WORD mode;
        const char* text;
    } kAttrs[] = {
        {0x27, 0, "rash"}, {0x20, 0, ".a.."}, {0, 0, "...."}, {0x1, 0x4000, "r..."},
        {0, 0x8000 | 0644, "0644"}, {0x27, 0x8000 | 07755, "7755"},
    };
    for (const auto& c : kAttrs) {
        char out[8];
        EXPECT_STREQ(FormatAttrLetters(out, c.attributes, c.mode), c.text);
    }
}

TEST_F(UiTest, KeyHintsAreClickRegions) {
    EXPECT_EQ(HotText(gBottomRow, 0, 0, 2, KC_F1, u"F1 Help"), 9);
    EXPECT_EQ(ConsoleText(gBottomRow, 0, 7), u"F1 Help");
    EXPECT_EQ(ConsoleAttrs(gBottomRow, 0, 3),
              (std::vector<WORD>{gKeyLetterAttr, gKeyLetterAttr, gMessageAttr}));
    HotText(gHintRow, 5, 0, 1, u'x', u"xyz");
    EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 6), KC_F1);
    EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 7), -1) << "past the label";
    EXPECT_EQ(HotRegionLookup(FALSE, gHintRow, 7), u'x');
    EXPECT_EQ(HotRegionLookup(FALSE, gMessageRow, 7), -1)
        << "a line without regions searches the list of the previous lookup";

    // The same key drawn elsewhere on the line moves its region.
    HotText(gBottomRow, 30, 0, 2, KC_F1, u"F1 Help");
    EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 3), -1);
    EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 33), KC_F1);

    // A label that would pass the right edge is neither drawn nor kept.
    EXPECT_EQ(HotText(gBottomRow, 75, 0, 1, u'w', u"wide label"), 75);
    EXPECT_EQ(ConsoleText(gBottomRow, 75, 5), u"     ");
    EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 76), -1);

    // A click on a hint is the hint's key; one made on the Ctrl menu without
    // Ctrl held shows the plain menu next.
    ShowCommandMenu(1, 1);
    const INPUT_RECORD click = Mouse(10, gHintRow, FROM_LEFT_1ST_BUTTON_PRESSED, 0);
    EXPECT_EQ(HotMouseToKey(&click.Event.MouseEvent), KcCtrl('T')) << "Tag of CTRL TREE";
    EXPECT_EQ(gMenuModifier, 0);
}

TEST_F(UiTest, RegionSetsNestFourDeep) {
    HotText(gBottomRow, 0, 0, 1, u'a', u"a");
    for (int depth = 1; depth <= 4; depth++) {
        HotPush();
        EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 0), 0) << "a pushed set starts empty";
        HotText(gBottomRow, 0, 0, 1, KeyCode(u'a' + depth),
                std::u16string(1, char16_t(u'a' + depth)).c_str());
    }
    HotPush(); // the fifth only clears
    EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 0), 0);
    HotText(gBottomRow, 0, 0, 1, u'z', u"z");
    HotPop();
    EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 0), 0) << "its pop leaves the set empty";
    HotPop();
    EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 0), u'd');
    HotPop();
    HotPop();
    HotPop();
    EXPECT_EQ(HotRegionLookup(FALSE, gBottomRow, 0), u'a');
}

TEST_F(UiTest, MouseEventsAsKeys) {
    const DWORD left = FROM_LEFT_1ST_BUTTON_PRESSED;
    const struct {
        const char* what;
        WORD mode;
        INPUT_RECORD event;
        int key;
        int pushed; // keys the event pushed back
    } kCases[] = {
        {"middle button", WM_TREE, Mouse(5, 5, FROM_LEFT_2ND_BUTTON_PRESSED, 0), KC_ENTER, 0},
        {"a move", WM_TREE, Mouse(5, 5, 0, MOUSE_MOVED), 0, 0},
        {"wheel in the help: three lines a notch", WM_VIEWER,
         Mouse(5, 5, 0x00780000, MOUSE_WHEELED), KC_UP, 2},
        {"wheel with Shift in the help: a page", WM_VIEWER,
         Mouse(5, 5, 0xFF880000, MOUSE_WHEELED, SHIFT_PRESSED), KC_PGDN, 0},
        {"wheel with Ctrl in the file window", WM_FILE,
         Mouse(5, 5, 0x00780000, MOUSE_WHEELED, LEFT_CTRL_PRESSED), KC_CTRL_UP, 0},
        {"a left double click in the window", WM_TREE, Mouse(5, 5, left, DOUBLE_CLICK), 4140, 0},
        {"a left double click on the frame column", WM_TREE, Mouse(0, 5, left, DOUBLE_CLICK), 0, 0},
        {"a right click in the tree", WM_TREE, Mouse(5, 5, RIGHTMOST_BUTTON_PRESSED, 0), 14, 0},
        {"a right double click in the file window", WM_FILE,
         Mouse(5, 5, RIGHTMOST_BUTTON_PRESSED, DOUBLE_CLICK), 4147, 0},
        {"a right click in a dialog", WM_QUIT_QUESTION, Mouse(5, 5, RIGHTMOST_BUTTON_PRESSED, 0), 0,
         0},
        {"the statistics panel", WM_TREE, Mouse(70, 6, left, 0), u'/', 0},
        {"a row of the small file window under the tree", WM_TREE, Mouse(5, 18, left, 0), KC_ENTER,
         0},
        {"the quit question's Yes", WM_QUIT_QUESTION, Mouse(65, 24, left, 0), u'Y', 0},
        {"elsewhere on the quit question's line", WM_QUIT_QUESTION, Mouse(20, 24, left, 0), KC_ESC,
         0},
        {"the error dialog answers only its own regions", WM_ERROR_DIALOG, Mouse(70, 6, left, 0), 0, 0},
        {"the error line is no dialog: the panel still answers", WM_ERROR_LINE, Mouse(70, 6, left, 0),
         u'/', 0},
    };
    for (const auto& c : kCases) {
        KeyPushStack.count = 0;
        gWindowMode = c.mode;
        EXPECT_EQ(HotMouseToKey(&c.event.Event.MouseEvent), c.key) << c.what;
        EXPECT_EQ(KeyPushStack.count, c.pushed) << c.what;
    }
    KeyPushStack.count = 0;
}

TEST_F(UiTest, BusyStateNestsAndPutsTheCornersBack) {
    ScrPutWStr(1, 0, u"A", 0x1F);
    ScrPutWStr(gMessageRow - 1, gScreenMaxCol, u"B", 0x2F);
    gInterruptRequested = 1;
    SetBusy(1);
    EXPECT_EQ(gBusyFlag.load(), 1u);
    EXPECT_EQ(gInterruptRequested.load(), 0u) << "a new busy state starts without a request";
    SetBusy(1);
    // The clock thread draws its marks into the corners meanwhile.
    ScrPutWStr(1, 0, u"*", 0x70);
    ScrPutWStr(gMessageRow - 1, gScreenMaxCol, u"*", 0x70);
    SetBusy(0);
    EXPECT_EQ(gBusyFlag.load(), 1u) << "still one level deep";
    EXPECT_EQ(ConsoleText(1, 0, 1), u"*");
    gInterruptRequested = 1;
    SetBusy(0);
    EXPECT_EQ(gBusyFlag.load(), 0u);
    EXPECT_EQ(gInterruptRequested.load(), 0u);
    EXPECT_EQ(ConsoleText(1, 0, 1), u"A");
    EXPECT_EQ(ConsoleAttrs(1, 0, 1)[0], 0x1F);
    EXPECT_EQ(ConsoleText(gMessageRow - 1, gScreenMaxCol, 1), u"B");
}

TEST_F(UiTest, ErrorLineWaitsForAKeyAndStopsTheMacro) {
    const KeyCode macro[] = {u'm', u'n'};
    MacroLoadKeys(macro, 2, 0);
    Put(Tap('X', 0x2D, u'x', 0));
    EXPECT_EQ(ShowError(0, "Cannot load volumes file"), u'x') << "the key read, not the macro's";
    EXPECT_EQ(MacroKeysLeft(), 0);
    EXPECT_EQ(ConsoleText(gBottomRow, 0, 31), u"Error: Cannot load volumes file");
    EXPECT_EQ(ConsoleText(gBottomRow, 73, 6), u"\u25C4\u2500\u2518 OK");

    // Inside a busy state the wait happens outside it.
    SetBusy(1);
    Put(Tap(VK_ESCAPE, 0x01, 27, 0));
    EXPECT_EQ(ShowError(1, "QLOG saving interrupted!  Continue?"), KC_ESC);
    EXPECT_EQ(gBusyFlag.load(), 1u);
    SetBusy(0);
}

} // namespace
