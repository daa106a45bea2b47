// The error dialog, the error report and the log-option question: their
// answers through the test hook's script, the "Skip same error" memory,
// which codes go to the dialog, and the dialog on the real console.
#include "platform_fixture.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "ui/error_dialog.h"
#include "ui/ui_test_hook.h"

#include <string>

namespace {

using qtest::Put;
using qtest::ShadowText;
using qtest::Tap;

class Scripted : public ::testing::Test {
  protected:
    void SetUp() override {
        gSkipSameAction = 0;
        gTaggedOpActive = 0;
        gErrorPath[0] = 0;
    }
    void TearDown() override {
        UiScriptEnd();
        gSkipSameAction = 0;
        gTaggedOpActive = 0;
    }
    static void SetPath(const std::u16string& path) {
        for (size_t i = 0; i <= path.size(); i++) gErrorPath[i] = path.c_str()[i];
    }
};

TEST_F(Scripted, DialogKeysBecomeAnswersAndUnofferedKeysArePassedOver) {
    const struct {
        const char* what;
        DWORD code;
        DWORD allowSkip;
        std::initializer_list<int> keys;
        DWORD answer;
        size_t asked;
    } rows[] = {
        {"R retries", 5, 0, {'R'}, ErrChoiceRetry, 1},
        {"lower-case r retries", 5, 0, {'r'}, ErrChoiceRetry, 1},
        {"C cancels", 5, 1, {'c'}, ERROR_CANCELLED, 1},
        {"Esc cancels", 21, 0, {27}, ERROR_CANCELLED, 1},
        {"S without the Skip choice is passed over", 5, 0, {'S', 'x', 'R'}, ErrChoiceRetry, 3},
        {"S with the Skip choice skips", 5, 1, {'s'}, ErrChoiceSkip, 1},
        {"I only for a CRC error", 5, 0, {'I', 'C'}, ERROR_CANCELLED, 2},
        {"I ignores a CRC error", 23, 0, {'i'}, ErrChoiceIgnore, 1},
        {"N outside a tagged operation is passed over", 5, 0, {'N', 27}, ERROR_CANCELLED, 2},
    };
    for (const auto& row : rows) {
        gSkipSameAction = 0;
        SetPath(u"C:\\data\\x");
        UiScriptAnswers(row.keys);
        EXPECT_EQ(ErrorDialog('C', row.code, row.allowSkip), row.answer) << row.what;
        ASSERT_EQ(UiQuestionsAsked().size(), row.asked) << row.what;
        EXPECT_EQ(UiQuestionsAsked()[0].code, row.code) << row.what;
        EXPECT_EQ(UiQuestionsAsked()[0].drive, 'C') << row.what;
        EXPECT_EQ(UiQuestionsAsked()[0].path, u"C:\\data\\x") << row.what;
    }
}

TEST_F(Scripted, SkipSameErrorAnswersLaterErrorsWithoutAsking) {
    UiScriptAnswers({'S', 'R'});
    EXPECT_EQ(ErrorDialog('D', 5, 1), ErrChoiceSkip);
    EXPECT_EQ(gSkipSameAction, ErrChoiceSkip);
    SetPath(u"D:\\other");
    EXPECT_EQ(ErrorDialog('D', 2, 1), ErrChoiceSkip) << "any code outside a tagged operation";
    EXPECT_EQ(gErrorPath[0], 0) << "the path of an error skipped unasked is let go";
    EXPECT_EQ(UiQuestionsAsked().size(), 1u);

    // In a tagged operation only the remembered code is skipped unasked.
    gTaggedOpActive = 1;
    EXPECT_EQ(ErrorDialog('D', 5, 0), ErrChoiceSkip);
    EXPECT_EQ(UiQuestionsAsked().size(), 1u);
    EXPECT_EQ(ErrorDialog('D', 21, 0), ErrChoiceRetry);
    EXPECT_EQ(UiQuestionsAsked().size(), 2u);

    // Once the operation has ended the dialog asks again.
    gTaggedOpActive = 0;
    gSkipSameAction = 0;
    UiScriptAnswers({27});
    EXPECT_EQ(ErrorDialog('D', 5, 1), ERROR_CANCELLED);
    EXPECT_EQ(UiQuestionsAsked().size(), 1u);
}

TEST_F(Scripted, ReportErrorSendsSeriousCodesToTheDialogAndOthersToTheLine) {
    const struct {
        const char* what;
        DWORD code;
        DWORD tagged;
        std::initializer_list<int> keys;
        const char* kind;
        DWORD answer;
    } rows[] = {
        {"access denied is a dialog", 5, 0, {'R'}, "ErrorDialog", ErrChoiceRetry},
        {"a device error is a dialog", 21, 0, {27}, "ErrorDialog", ERROR_CANCELLED},
        {"file not found is a line", 2, 0, {'x', KC_ENTER}, "ReportError", ErrChoiceNext},
        {"Esc on the line cancels", 2, 0, {27}, "ReportError", ERROR_CANCELLED},
        {"file not found in a tagged operation is a dialog", 2, 1, {'N'}, "ErrorDialog",
         ErrChoiceNext},
        {"disk full: any key but Esc goes on", 112, 0, {'x'}, "ReportError", ErrChoiceNext},
        {"disk full in a tagged operation offers retry", 112, 1, {KC_ENTER, 'R'}, "ReportError",
         ErrChoiceRetry},
        {"disk full in a tagged operation offers skip", 9997, 1, {'y', 's'}, "ReportError",
         ErrChoiceSkip},
    };
    for (const auto& row : rows) {
        gTaggedOpActive = row.tagged;
        gSkipSameAction = 0;
        UiScriptAnswers(row.keys);
        EXPECT_EQ(ReportError('E', row.code), row.answer) << row.what;
        ASSERT_FALSE(UiQuestionsAsked().empty()) << row.what;
        EXPECT_STREQ(UiQuestionsAsked()[0].kind, row.kind) << row.what;
    }
}

TEST_F(Scripted, LogOptionReturnsTheChoiceAndPassesOverOtherKeys) {
    const struct {
        std::initializer_list<int> keys;
        int answer;
    } rows[] = {{{'c'}, 'C'}, {{'P'}, 'P'}, {{27}, 27}, {{KC_F1, 'z', 'p'}, 'P'}};
    for (const auto& row : rows) {
        UiScriptAnswers(row.keys);
        EXPECT_EQ(PromptLogOption(1), row.answer);
        EXPECT_EQ(UiQuestionsAsked().back().drive, 1);
    }
}

TEST_F(Scripted, LogOptionQuitEndsTheProgramWithStatusZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            UiScriptAnswers({'q'});
            PromptLogOption(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(ErrorDialogMessages, KnownAndUnknownCodes) {
    EXPECT_STREQ(ErrorDialogMessage(5), "Access Denied");
    EXPECT_STREQ(ErrorDialogMessage(161), "Path not found");
    EXPECT_STREQ(ErrorDialogMessage(0xC0000005), "Access Violation");
    EXPECT_STREQ(ErrorDialogMessage(4242), "Undetermined error");
}

using OnScreen = qtest::PlatformTest;

TEST_F(OnScreen, DialogIsReadFromTheKeyboardAndTheScreenIsPutBack) {
    ScrPutStr(10, 20, "under the dialog", gNormalAttr);
    const std::u16string before = ShadowText(10, 17, 46);
    gErrorPath[0] = 0;
    gSkipSameAction = 0;
    const WORD mode = gWindowMode;
    Put(Tap('X', 0x2D, 'x'));
    Put(Tap('S', 0x1F, 's'));
    EXPECT_EQ(ErrorDialog('C', 5, 1), ErrChoiceSkip);
    EXPECT_EQ(gWindowMode, mode);
    EXPECT_EQ(ShadowText(10, 17, 46), before);
    gSkipSameAction = 0;
}

TEST_F(OnScreen, ErrorLineAndLogOptionReadTheKeyboardAndPutTheModeBack) {
    const WORD mode = gWindowMode;
    Put(Tap(VK_RETURN, 0x1C, 13));
    EXPECT_EQ(ReportError('C', 2), ErrChoiceNext);
    EXPECT_EQ(gWindowMode, mode);
    Put(Tap(VK_ESCAPE, 0x01, 27));
    EXPECT_EQ(PromptLogOption(0), 27);
    EXPECT_EQ(gWindowMode, mode);
}

} // namespace
