// Keyboard macros: the key-name table against the key code arithmetic, the
// rules of names, macro text and macro files into keys, the limit of the
// macro buffer, and recordings that play back the keys that were typed.
#include "platform_fixture.h"
#include "fixture.h"
#include "menu/macros.h"
#include "platform/keyboard.h"
#include "qposix_path.h"

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using qtest::Put;
using qtest::Tap;

// The keys of the loaded macro in playing order.
std::vector<KeyCode> Loaded() {
    std::vector<KeyCode> keys;
    for (int i = gMacroKeys.count - 1; i >= 0; i--)
        keys.push_back(gMacroKeys.keys[i]);
    return keys;
}

TEST(KeyNames, TableAgreesWithTheKeyCodes) {
    int rows = 0;
    std::set<std::string> names;
    for (const KeyNameRow* row = gKeyNames; row->name[0] != 0; row++) {
        rows++;
        EXPECT_TRUE(names.insert(row->name).second) << "twice: " << row->name;
        EXPECT_EQ(KeyNameToCode(row->name), row->code) << row->name;
    }
    EXPECT_EQ(rows, KEY_NAME_COUNT);
    // The families follow the arithmetic of the key codes.
    for (char c = 'A'; c <= 'Z'; c++) {
        EXPECT_EQ(KeyNameToCode(("CTRL_" + std::string(1, c)).c_str()), KcCtrl(c)) << c;
        EXPECT_EQ(KeyNameToCode(("ALT_" + std::string(1, c)).c_str()), KcAlt(c)) << c;
    }
    for (char c = '0'; c <= '9'; c++) {
        EXPECT_EQ(KeyNameToCode(("CTRL_" + std::string(1, c)).c_str()), KcCtrl(c)) << c;
        EXPECT_EQ(KeyNameToCode(("ALT_" + std::string(1, c)).c_str()), KcAlt(c)) << c;
    }
    for (int n = 1; n <= 12; n++) {
        const std::string f = "F" + std::to_string(n);
        EXPECT_EQ(KeyNameToCode(f.c_str()), KcF(n)) << f;
        EXPECT_EQ(KeyNameToCode(("SH_" + f).c_str()), KcShF(n)) << f;
        EXPECT_EQ(KeyNameToCode(("CTRL_" + f).c_str()), KcCtrlF(n)) << f;
        EXPECT_EQ(KeyNameToCode(("ALT_" + f).c_str()), KcAltF(n)) << f;
    }
    EXPECT_EQ(KcF(1), 368);
    for (KeyCode code = KC_STOP_IF_DW; code <= KC_BEEP; code++) {
        bool named = false;
        for (const KeyNameRow* row = gKeyNames; row->name[0] != 0; row++)
            named |= row->code == code;
        EXPECT_TRUE(named) << "control code 0x" << std::hex << code;
    }
}

TEST(KeyNames, CaseRules) {
    const struct {
        const char* text;
        KeyCode code;
    } kCases[] = {
        {"CTRL_F1", 0x470}, {"CTRL_f1", 0x470}, {"ALT_f1", 0x870},
        {"CTRL_a", 0x441},  {"ctrl_F1", 0},     {"ctrl_A", 0},
        {"Enter", 0},       {"f1", 0},          {"ENTER", 13},
        {"RET", 13},        {"SH_NUM-", 0x26D}, {"NUM+", 0x12B},
        {"ALT_.", 0x8BE},   {"CTRL_[", 0x4DB},  {"CTRL_SH_q", 0x651},
        {"STOP", -1},       {"F13", 0},         {"", 0},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(KeyNameToCode(c.text), c.code) << '"' << c.text << '"';
}

TEST(KeyNames, NamesARecordingWrites) {
    const struct {
        KeyCode code;
        const char* name;
    } kCases[] = {
        {0x209, "BTAB"},   {0x00D, "RET"},   {0x40D, "CTRL_RET"}, {0x20D, "SH_RET"},
        {0x170, "F1"},     {0x8BE, "ALT_."}, {0x020, "SPACE"},    {0x02C, "COMMA"},
        {0x609, nullptr},  {0x223, nullptr}, {0x103B, nullptr},   {0x1070, nullptr},
        {0x1081, nullptr}, {u'a', nullptr},  {0x20AC, nullptr},
    };
    for (const auto& c : kCases) {
        const char* name = KeyCodeName(c.code);
        if (c.name)
            EXPECT_STREQ(name, c.name) << "0x" << std::hex << c.code;
        else
            EXPECT_EQ(name, nullptr) << "0x" << std::hex << c.code << " is " << name;
    }
}

TEST(MacroText, ItemsBecomeKeys) {
    const struct {
        const char* what;
        const char* text;
        std::vector<KeyCode> keys;
    } kCases[] = {
        {"names and characters", "F7,ab,ENTER", {0x176, u'a', u'b', 13}},
        {"a word starting STOP ends the macro", "F7,STOPPED,F8", {0x176}},
        {"STOP alone ends it too", "a,STOP,b", {u'a'}},
        {"control words are keys", "a,STOP_IF_DW,b", {u'a', 0x1070, u'b'}},
        {"runs of commas count as one", ",,a,,,b,", {u'a', u'b'}},
        {"a quoted stretch keeps its commas and quotes", "\"x,y\"", {u'"', u'x', u',', u'y', u'"'}},
        {"a quote closed only after RET is no stretch",
         "\"a,RET,b\"",
         {u'"', u'a', 13, u'b', u'"'}},
        {"an unclosed quote", "\"a,b", {u'"', u'a', u'b'}},
        {"a name in the wrong case is typed", "ctrl_A", {u'c', u't', u'r', u'l', u'_', u'A'}},
        {"bytes above 127 are their own keys", "\xE9", {0xE9}},
    };
    for (const auto& c : kCases) {
        MacroStop();
        EXPECT_EQ(LoadMacro(c.text), int(c.keys.size())) << c.what;
        EXPECT_EQ(Loaded(), c.keys) << c.what;
    }
    MacroStop();
    EXPECT_EQ(LoadMacro(std::string(2000, 'k').c_str()), 1023)
        << "an item is cut at 1023 characters";
    MacroStop();
    EXPECT_EQ(LoadMacro(""), 0);
    EXPECT_EQ(MacroKeysLeft(), 0);
}

TEST(MacroText, RecordingsPlayBackTheTypedKeys) {
    const struct {
        const char* what;
        std::vector<KeyCode> keys;
    } kCases[] = {
        {"names around characters", {0x176, u'a', u'b', 0x177}},
        {"characters that spell a name", {u'U', u'P', 0x126}},
        {"characters that spell STOP", {u'S', u'T', u'O', u'P', u'x'}},
        {"a comma, a quote and a blank", {u',', u'"', u' ', u'q'}},
        {"control and Alt keys", {0x441, 0x858, 0x0D, 0x8DB}},
    };
    for (const auto& c : kCases) {
        KeyLogMacroRecord(KEYLOG_START_RECORDING, 0, 0, nullptr);
        EXPECT_TRUE(MacroRecordingActive());
        for (KeyCode key : c.keys)
            KeyLogMacroRecord(KEYLOG_KEY, key, 0, nullptr);
        KeyLogMacroRecord(KEYLOG_KEY, KC_CTRL_F12, 0, nullptr);
        KeyLogMacroRecord(KEYLOG_END_RECORDING, 0, 0, nullptr);
        EXPECT_FALSE(MacroRecordingActive());
        const std::string text = MacroRecordedText();
        MacroStop();
        EXPECT_EQ(LoadMacro(text.c_str()), int(c.keys.size())) << c.what << ": " << text;
        EXPECT_EQ(Loaded(), c.keys) << c.what << ": " << text;
    }
    // Keys while no recording runs are not kept.
    KeyLogMacroRecord(KEYLOG_KEY, u'z', 0, nullptr);
    EXPECT_EQ(std::string(MacroRecordedText()).find('z'), std::string::npos);
    MacroStop();
}

class MacroFileTest : public qtest::PlatformTest {
  protected:
    // The Windows form of a file of the temporary directory, as 8-bit text.
    std::string WindowsPath(const std::string& relative) {
        WCHAR wide[1024];
        EXPECT_GT(PathFromPosix(dir_.Sub(relative).c_str(), wide, 1024), 0);
        std::string narrow;
        for (const WCHAR* p = wide; *p; p++)
            narrow.push_back(char(*p));
        return narrow;
    }
    qtest::TempDir dir_;
};

TEST_F(MacroFileTest, FilesOfMacros) {
    dir_.Write("keys.qbm", "; a comment line\nF7\na,b\n  \t; indented comment\nF8");
    EXPECT_EQ(LoadMacro(("@" + WindowsPath("keys.qbm")).c_str()), 4);
    EXPECT_EQ(Loaded(), (std::vector<KeyCode>{0x176, u'a', u'b', 0x177}));
    MacroStop();
    EXPECT_EQ(LoadMacro(("@" + WindowsPath("keys")).c_str()), 4) << "the extension is added";
    MacroStop();
    EXPECT_EQ(LoadMacro(("@\"" + WindowsPath("keys.qbm") + "\"").c_str()), 4) << "a quoted name";
    MacroStop();
    dir_.Write("trailing.qbm", "x,\n\ny\n");
    EXPECT_EQ(LoadMacro(("@" + WindowsPath("trailing.qbm")).c_str()), 2);
    EXPECT_EQ(Loaded(), (std::vector<KeyCode>{u'x', u'y'}));
    MacroStop();

    // Failures show a message on the error line and wait for a key.
    dir_.Write("comments.qbm", "; only\n;comments\n");
    Put(Tap(VK_RETURN, 0x1C, 13, 0));
    EXPECT_EQ(LoadMacro(("@" + WindowsPath("comments.qbm")).c_str()), 0);
    EXPECT_EQ(qtest::ConsoleText(24, 0, 39), u"Error: No macro commands read from file");
    Put(Tap(VK_RETURN, 0x1C, 13, 0));
    EXPECT_EQ(LoadMacro(("@" + WindowsPath("missing.qbm")).c_str()), -1);
    EXPECT_EQ(qtest::ConsoleText(24, 0, 32), u"Error: Unable to open macro file");
    EXPECT_EQ(MacroKeysLeft(), 0);
}

TEST_F(MacroFileTest, TheBufferHolds3071Keys) {
    Put(Tap(VK_RETURN, 0x1C, 13, 0));
    std::string text;
    for (int i = 0; i < 40; i++)
        text += std::string(100, 'k') + ",";
    EXPECT_EQ(LoadMacro(text.c_str()), MACRO_KEYS_MAX);
    EXPECT_EQ(MacroKeysLeft(), MACRO_KEYS_MAX);
    EXPECT_EQ(qtest::ConsoleText(24, 0, 36), u"Error: Macro buffer full - truncated");
    MacroStop();
}

} // namespace
