// The destination path prompt and the file-exists question: the checks of
// an answer (empty, a drive letter, an unlisted drive, a file, a missing
// directory made or not, '|'), the answer typed on the console, the
// attribute questions and the keys of the file-exists question.
#include "platform_fixture.h"
#include "platform/console_session.h"
#include "platform/dir_reading.h"
#include "platform/screen.h"
#include "posix/drive_fixture.h"
#include "settings/settings.h"
#include "ui/dest_prompts.h"
#include "ui/error_dialog.h"
#include "ui/help.h"
#include "ui/ui_test_hook.h"

#include <sys/stat.h>

#include <filesystem>
#include <string>

namespace {

using qtest::Put;
using qtest::ShadowText;
using qtest::Tap;

std::vector<INPUT_RECORD> Enter() { return Tap(VK_RETURN, 0x1C, 13); }
std::vector<INPUT_RECORD> Esc() { return Tap(VK_ESCAPE, 0x01, 27); }

// The drive F is a fixture directory; the screen is the test process's own.
class DestPrompts : public qtest::PlatformTest {
  protected:
    qtest::TempDir dir;
    qtest::ScopedEnv home{"HOME", dir.path().c_str()};

    void SetUp() override {
        qtest::PlatformTest::SetUp();
        ::mkdir(dir.Sub("f").c_str(), 0755);
        dir.Write("mountinfo", MountInfoLine(20, {"/", "ext4", "/dev/vda1"}));
        DriveMapSetSources(dir.Sub("mountinfo").c_str(), nullptr);
        dir.Write(".config/quilb/drives", "f: " + dir.Sub("f") + "\n");
        gLastDestination[0] = 0;
        gSettings.bHighlightDefaults = 1;
    }
    void TearDown() override {
        UiScriptEnd();
        DriveMapSetSources(nullptr, nullptr);
        qtest::PlatformTest::TearDown();
    }

    // PromptDestPath of kind 6 on text; the result and the path it gave.
    int Check(const std::u16string& text, std::u16string* out = nullptr) {
        std::vector<WCHAR> path(DEST_PATH_UNITS, 0);
        std::copy(text.begin(), text.end(), path.begin());
        const int result = PromptDestPath(path.data(), DEST_KIND_CHECK_ONLY, nullptr, nullptr,
                                          nullptr, 0, 0);
        if (out) *out = path.data();
        return result;
    }
};

TEST_F(DestPrompts, AnswersAreChecked) {
    dir.Write("f/file.txt", "x");
    ::mkdir(dir.Sub("f/there").c_str(), 0755);
    const struct {
        const char* what;
        std::u16string text;
        std::initializer_list<int> answers; // to the questions asked
        int result;
        std::u16string path;      // the path handed back (result 0 or 1)
        const char* question;     // the first question asked, or null
        DWORD code;               // its code
    } rows[] = {
        {"an empty answer cancels", u"", {}, 27, u"", nullptr, 0},
        {"a drive letter is its root", u"f", {}, 0, u"F:\\", nullptr, 0},
        {"an existing directory", u"F:\\there", {}, 0, u"F:\\there", nullptr, 0},
        {"'|' is taken as it stands", u"F:\\a|b", {}, 0, u"F:\\a|b\\", nullptr, 0},
        {"a file is refused with 123", u"F:\\file.txt", {13}, 27, u"", "ReportError", 123},
        {"an unlisted drive is refused with 15", u"G:\\x", {27}, 27, u"", "ErrorDialog", 15},
        {"a missing directory is left when not asked to", u"F:\\new\\deeper", {'n'}, 27, u"",
         "PromptYesNo", 0},
        {"Esc at the question cancels too", u"F:\\new\\deeper", {27}, 27, u"", "PromptYesNo", 0},
        {"Y makes it with its ancestors", u"F:\\made\\deeper", {'y'}, 1, u"F:\\made\\deeper",
         "PromptYesNo", 0},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        UiScriptAnswers(r.answers);
        std::u16string path;
        EXPECT_EQ(Check(r.text, &path), r.result);
        if (r.result != 27) {
            EXPECT_EQ(path, r.path);
        }
        if (r.question) {
            ASSERT_FALSE(UiQuestionsAsked().empty());
            EXPECT_STREQ(UiQuestionsAsked()[0].kind, r.question);
            EXPECT_EQ(UiQuestionsAsked()[0].code, r.code);
        } else {
            EXPECT_TRUE(UiQuestionsAsked().empty());
        }
        UiScriptEnd();
    }
    EXPECT_FALSE(std::filesystem::exists(dir.Sub("f/new")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Sub("f/made/deeper")));
}

TEST_F(DestPrompts, TheAnswerIsTypedOnTheMiddleLine) {
    ::mkdir(dir.Sub("f/typed").c_str(), 0755);
    ScrPutStr(gHintRow, 0, "middle row before", 0x07);
    const std::u16string middle = ShadowText(gHintRow, 0, 80);
    const struct {
        const char* what;
        std::vector<std::vector<INPUT_RECORD>> keys;
        int result;
        const char16_t* path;
    } rows[] = {
        {"a typed directory", {qtest::TypeText(u"F:\\typed"), Enter()}, 0, u"F:\\typed"},
        {"Esc cancels", {qtest::TypeText(u"F:\\typed"), Esc()}, 27, nullptr},
        {"Enter on nothing cancels", {Enter()}, 27, nullptr},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        gLastDestination[0] = 0;
        for (const auto& k : r.keys) Put(k);
        std::vector<WCHAR> path(DEST_PATH_UNITS, 0);
        EXPECT_EQ(PromptDestPath(path.data(), 0, nullptr, nullptr, nullptr, 0, 0), r.result);
        if (r.path) {
            EXPECT_EQ(std::u16string(path.data()), r.path);
            EXPECT_EQ(std::u16string(gLastPath), u"F:\\typed\\");
            EXPECT_EQ(std::u16string(gLastDestination), u"F:\\typed\\") << "proposed next time";
        }
        EXPECT_EQ(ShadowText(gHintRow, 0, 80), middle) << "the command lines are put back";
    }
}

TEST_F(DestPrompts, TheFileExistsQuestionFollowsTheAttributes) {
    const struct {
        DWORD attributes;
        const char* question;
    } rows[] = {
        {0, "File exists, replace?"},
        {FILE_ATTRIBUTE_ARCHIVE, "File exists, replace?"},
        {FILE_ATTRIBUTE_READONLY, "Read-only file exists, replace?"},
        {FILE_ATTRIBUTE_SYSTEM, "System file exists, replace?"},
        {FILE_ATTRIBUTE_HIDDEN, "Hidden file exists, replace?"},
        {FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN, "Sys/Hid file exists, replace?"},
        {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM, "RO/Sys file exists, replace?"},
        {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, "RO/Hid file exists, replace?"},
        {FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN,
         "RO/Sys/Hid file exists, replace?"},
    };
    for (const auto& r : rows) EXPECT_STREQ(FileExistsQuestion(r.attributes), r.question);
}

TEST_F(DestPrompts, TheFileExistsKeys) {
    const struct {
        const char* what;
        std::vector<std::vector<INPUT_RECORD>> keys;
        bool source;
        BOOL append;
        DWORD tagged;
        int result;
    } rows[] = {
        {"Enter keeps the file", {Enter()}, false, FALSE, 0, 'N'},
        {"n keeps it", {qtest::TypeText(u"n")}, false, FALSE, 0, 'N'},
        {"y replaces it", {qtest::TypeText(u"y")}, false, FALSE, 0, 'Y'},
        {"Esc cancels", {Esc()}, false, FALSE, 0, 27},
        {"append only when allowed", {qtest::TypeText(u"a"), qtest::TypeText(u"y")}, false, FALSE, 0, 'Y'},
        {"append when allowed", {qtest::TypeText(u"a")}, false, TRUE, 0, 'A'},
        {"older and never only over tagged files", {qtest::TypeText(u"o"), qtest::TypeText(u"v"), Esc()}, false, FALSE,
         0, 27},
        {"older over tagged files", {qtest::TypeText(u"o")}, false, FALSE, 1, 'O'},
        {"all over tagged files", {qtest::TypeText(u"a")}, false, FALSE, 1, 'A'},
        {"S with a source is left to the caller", {qtest::TypeText(u"s")}, true, FALSE, 0, 9931},
        {"S without a source beeps", {qtest::TypeText(u"s"), Enter()}, false, FALSE, 0, 'N'},
        {"F1 shows help and asks on", {Tap(VK_F1, 0x3B, 0), qtest::TypeText(u"y")}, false, FALSE, 0, 'Y'},
    };
    dir.Write("f/target.txt", "1234567");
    FileInfoRec info{};
    ASSERT_EQ(qioGetFileInfo(u"F:\\target.txt", 1, &info), 0u);
    ScrPutStr(gBottomRow, 0, "bottom row before", 0x07);
    const std::u16string bottom = ShadowText(gBottomRow, 0, 80);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        gTaggedOpActive = r.tagged;
        for (const auto& k : r.keys) Put(k);
        EXPECT_EQ(PromptFileExists(r.source ? 5 : 0, r.source ? u"F:\\source.txt" : nullptr,
                                   u"F:\\target.txt", 0, &info, 'H', r.append),
                  r.result);
        EXPECT_EQ(ShadowText(gBottomRow, 0, 80), bottom);
    }
    gTaggedOpActive = 0;
    EXPECT_EQ(HelpLastTopic(), 24);
}

} // namespace
