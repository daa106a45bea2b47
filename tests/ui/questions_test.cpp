// The one-key questions of a copy (yes/no, cancel or skip, the encryption
// questions and their "All" memory) through the test hook's script and on
// the real console, and the free-space and encryption checks of a target.
#include "platform_fixture.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "posix/drive_fixture.h"
#include "ui/copy_prompts.h"
#include "ui/error_dialog.h"
#include "ui/progress.h"
#include "ui/questions.h"
#include "ui/ui_test_hook.h"

#include <sys/stat.h>

namespace {

class Questions : public ::testing::Test {
  protected:
    void SetUp() override {
        gTaggedOpActive = 0;
        gInterruptRequested = 0;
        ShowProgress(0, 1);
    }
    void TearDown() override {
        UiScriptEnd();
        gTaggedOpActive = 0;
        gInterruptRequested = 0;
    }
};

TEST_F(Questions, YesNoTakesItsKeysAndPassesOverTheOthers) {
    const struct {
        const char* what;
        int allowAll;
        std::initializer_list<int> keys;
        int expected;
        size_t asked; // keys taken
    } rows[] = {
        {"Enter is No", 0, {'\r'}, 'N', 1},
        {"y is Yes", 0, {'y'}, 'Y', 1},
        {"Esc", 0, {27}, 27, 1},
        {"All where allowed, even unshown", 1, {'a'}, 'A', 1},
        {"All and others passed over where not allowed", 0, {'a', 'x', 'n'}, 'N', 3},
    };
    for (const auto& r : rows) {
        UiScriptAnswers(r.keys);
        EXPECT_EQ(PromptYesNo(0, r.allowAll), r.expected) << r.what;
        EXPECT_EQ(UiQuestionsAsked().size(), r.asked) << r.what;
    }
}

TEST_F(Questions, CancelOrSkipIsAskedOnlyAfterEsc) {
    UiScriptAnswers({'y'});
    EXPECT_EQ(PromptCancelOrSkip(), 0u);
    EXPECT_TRUE(UiQuestionsAsked().empty()) << "no Esc, no question";

    const struct {
        const char* what;
        DWORD tagged;
        std::initializer_list<int> keys;
        DWORD expected;
    } rows[] = {
        {"Yes cancels", 0, {'y'}, ERROR_CANCELLED},
        {"No goes on", 0, {'n'}, 0},
        {"Enter goes on", 0, {'\r'}, 0},
        {"Esc goes on", 0, {27}, 0},
        {"Skip in a tagged operation", 1, {'s'}, ErrChoiceSkip},
        {"Skip is passed over outside one", 0, {'s', 'y'}, ERROR_CANCELLED},
    };
    for (const auto& r : rows) {
        gTaggedOpActive = r.tagged;
        gInterruptRequested = 1;
        UiScriptAnswers(r.keys);
        EXPECT_EQ(PromptCancelOrSkip(), r.expected) << r.what;
        EXPECT_EQ(gInterruptRequested, 0u) << r.what;
    }
}

TEST_F(Questions, AllToAnEncryptionQuestionAnswersItForTheRestOfTheOperation) {
    gTaggedOpActive = 1;
    UiScriptAnswers({'a', 'n'});
    EXPECT_EQ(PromptCopyDecrypted(), 'Y');
    EXPECT_EQ(PromptCopyDecrypted(), 'Y');
    EXPECT_EQ(UiQuestionsAsked().size(), 2u) << "the question and its yes/no, once";
    EXPECT_STREQ(UiQuestionsAsked()[0].kind, "PromptCopyDecrypted");
    // The other question has its own memory.
    EXPECT_EQ(PromptCopyUnencrypted(), 'N');
    // A new operation asks again.
    ShowProgress(0, 100);
    UiScriptAnswers({27});
    EXPECT_EQ(PromptCopyDecrypted(), 27);
    // Outside a tagged operation "All" is not offered and nothing is kept.
    gTaggedOpActive = 0;
    UiScriptAnswers({'a', 'y', 'n'});
    EXPECT_EQ(PromptCopyUnencrypted(), 'Y');
    EXPECT_EQ(PromptCopyUnencrypted(), 'N');
}

class QuestionsOnScreen : public qtest::PlatformTest {};

TEST_F(QuestionsOnScreen, TheQuestionsPutTheCommandLinesBack) {
    ScrPutStr(gMessageRow, 0, "message row text", 0x1F);
    ScrPutStr(gBottomRow, 0, "bottom row text", 0x1F);
    const std::u16string message = qtest::ShadowText(gMessageRow, 0, 80);
    const std::u16string bottom = qtest::ShadowText(gBottomRow, 0, 80);
    qtest::Put(qtest::Tap('Y', 0x15, u'y'));
    gInterruptRequested = 1;
    EXPECT_EQ(PromptCancelOrSkip(), ERROR_CANCELLED);
    EXPECT_EQ(qtest::ShadowText(gMessageRow, 0, 80), message);
    EXPECT_EQ(qtest::ShadowText(gBottomRow, 0, 80), bottom);
    qtest::Put(qtest::Tap(VK_RETURN, 0x1C, u'\r'));
    EXPECT_EQ(PromptYesNo(gBottomRow, 0), 'N');
    EXPECT_EQ(qtest::ShadowText(gBottomRow, 0, 80), bottom);
}

// ---- the target checks ------------------------------------------------------------------

class TargetChecks : public DriveMapTest {
  protected:
    void SetUp() override {
        ::mkdir(dir.Sub("f").c_str(), 0755);
        ::mkdir(dir.Sub("fat").c_str(), 0755);
        SetMounts({{"/", "ext4", "/dev/vda1"}, {dir.Sub("fat"), "vfat", "/dev/sdz1"}});
        WriteDrivesFile("c: /\nf: " + dir.Sub("f") + "\nv: " + dir.Sub("fat") + "\n");
        ForgetEncryptionVolume();
    }
};

TEST_F(TargetChecks, FreeSpaceAndFileSystemLimits) {
    dir.Write("f/existing", "12345");
    const LONGLONG huge = 1LL << 60;
    const struct {
        const char16_t* target;
        LONGLONG need;
        DWORD expected;
    } rows[] = {
        {u"\\\\server\\share\\file", huge, 0},
        {u"F:\\new", 10, 0},
        {u"F:\\new", huge, 9997},
        {u"F:\\existing", huge, 9997},
        {u"V:\\big", 5LL << 30, 9990},
        {u"V:\\small", 10, 0},
        {u"F:\\big", 5LL << 30, 0},
    };
    for (const auto& r : rows)
        EXPECT_EQ(CheckFreeSpace(r.target, r.need), r.expected)
            << Narrow(r.target) << " " << r.need;
}

TEST_F(TargetChecks, EncryptionSupportOfTheTargetVolume) {
    EXPECT_EQ(VolumeSupportsEncryption(u"F:\\file"), 0);
    EXPECT_EQ(VolumeSupportsEncryption(u"\\\\?\\F:\\other"), 0);
    // A volume whose information cannot be read counts as able.
    EXPECT_EQ(VolumeSupportsEncryption(u"Q:\\file"), 1);
    EXPECT_EQ(VolumeSupportsEncryption(u"relative"), 1);
}

} // namespace
