// The colour file and the colours of rows: QCOLORS.INI found through PATH
// with its lines as a table of what each changes, the file-colour rules, the
// colour of a file window row for each precedence case, the alternate
// colour set, the walk over the rules' filespecs, and the tree rows of a
// logged directory tree read back from the console.
#include "../posix/drive_fixture.h"

#include "main/tree_window.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/packed_dates.h"
#include "platform/screen.h"
#include "platform_fixture.h"
#include "qposix_path.h"
#include "settings/colours.h"
#include "settings/folders.h"
#include "settings/settings.h"
#include "tree/file_list.h"
#include "tree/filter.h"
#include "tree/log_state.h"
#include "tree/logging.h"
#include "tree/tree_records.h"
#include "tree_builder.h"
#include "ui/command_menus.h"
#include "windows.h"

#include "fixture.h"
#include "search_fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

using qtest::SetWide;
using qtest::WinPath;

std::u16string EnvValue(const char16_t* name) {
    WCHAR value[1025] = {};
    const DWORD n = GetEnvironmentVariableW(name, value, 1025);
    return n ? std::u16string(value) : std::u16string();
}

// Every colour the loader keeps, by name, so that a case can say exactly
// what a line changes and that nothing else moved.
typedef std::map<std::string, int> ColourState;

ColourState Snapshot() {
    static const char* const kSlots[COLOUR_SLOTS] = {
        "MENU",     "VHITC",  "VHITO",      "DIRECTORY", "TAGG",   "TAGN",
        "NORMAL copy", "BROWSE", "BAR",     "dimmed",    "DMGLOBAL", "GLOBAL",
        "FRAMES",   "DMNORMAL", "NORMAL",   "FRAMES copy", "key letters"};
    static const char* const kDir[DATTR_COUNT] = {"DATTR-H", "DATTR-S", "DATTR-R", "DATTR-E",
                                                  "DATTR-J"};
    static const char* const kFile[ATTR_COUNT] = {"ATTR-H", "ATTR-S", "ATTR-R",
                                                  "ATTR-A", "ATTR-E", "ATTR-J"};
    static const char* const kCompare[JCOLOUR_COUNT] = {"JFRAME", "JEQUAL", "JLNUM", "JMATCH",
                                                        "JDIFF"};
    ColourState s;
    for (int i = 0; i < COLOUR_SLOTS; i++) s[kSlots[i]] = gColourTable[i];
    s["HISTORY"] = gSettings.bColourHistory;
    const ExtraColours& e = gExtraColours;
    for (int i = 0; i < DATTR_COUNT; i++) s[kDir[i]] = e.dirCombined[i];
    for (int i = 0; i < ATTR_COUNT; i++) {
        s[std::string(kFile[i]) + " fore"] = e.fileParts[i].fore;
        s[std::string(kFile[i]) + " back"] = e.fileParts[i].back;
    }
    for (int i = 0; i < JCOLOUR_COUNT; i++) s[kCompare[i]] = e.compare[i];
    s["TAGN fore"] = e.tagN.fore;
    s["TAGN back"] = e.tagN.back;
    s["TAGG fore"] = e.tagG.fore;
    s["TAGG back"] = e.tagG.back;
    s["CURRPATH"] = e.currPath;
    s["TAGSTATS"] = e.tagStats;
    s["FSSTATS"] = e.fsStats;
    s["rules"] = int(gFileColourRules.count);
    s["tree directory"] = gTreeColours.directory;
    s["tree junction"] = gTreeColours.junction;
    s["tree encrypted"] = gTreeColours.encrypted;
    s["tree hidden"] = gTreeColours.hidden;
    s["tree system"] = gTreeColours.system;
    s["tree read-only"] = gTreeColours.readOnly;
    s["message"] = gMessageAttr;
    s["key letter"] = gKeyLetterAttr;
    return s;
}

// The differences between two states, one line each.
std::string Differences(const ColourState& expected, const ColourState& got) {
    std::string out;
    char line[120];
    for (const auto& [name, value] : expected) {
        const int have = got.at(name);
        if (have != value) {
            snprintf(line, sizeof line, "%s: expected 0x%02X, got 0x%02X\n", name.c_str(), value,
                     have);
            out += line;
        }
    }
    return out;
}

// QCOLORS.INI in a directory of PATH, where the program search finds it;
// the data, program and start-up folders are empty ones of the fixture.
// Every test starts from the record's default colours.
class ColourFileTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    qtest::ScopedEnv home{"HOME", dir.path().c_str()};
    std::string bin = dir.MakeDir("bin");
    qtest::ScopedEnv path{"PATH", bin.c_str()};
    qtest::ScopedEnv colourPath{"#QBQColorsPath", nullptr};

    void SetUp() override {
        qtest::PointSearchFolders(dir);
        gColourFileOption[0] = 0;
        gColourFilePath[0] = 0;
        Defaults();
    }
    void TearDown() override {
        FreeFileColourRules(&gFileColourRules);
        gColourFileOption[0] = 0;
        gColourFilePath[0] = 0;
        Defaults();
    }
    // The record's colours, as a start without a settings file gives them.
    static void Defaults() {
        DecodeIniSettings(nullptr, 0, 1);
        gIniWorking.tagColours = 0;
        gIniWorking.noFileColours = 0;
    }
    void WriteColours(const std::string& bytes) { dir.Write("bin/QCOLORS.INI", bytes); }
    // Writes the file and loads it from the record's colours.
    void Load(const std::string& bytes) {
        Defaults();
        WriteColours(bytes);
        ASSERT_EQ(LoadColours(), 1);
    }
};

TEST_F(ColourFileTest, AnEmptyFileGivesTheRecordsColoursAndTheDerivedOnes) {
    Load("");
    ColourState expected = {
        {"NORMAL", 0x1E},    {"NORMAL copy", 0x1E}, {"key letters", 0x1E}, {"DMNORMAL", 0x1E},
        {"FRAMES", 0x1B},    {"FRAMES copy", 0x1B}, {"BAR", 0x70},         {"GLOBAL", 0x1A},
        {"DMGLOBAL", 0x1A},  {"TAGN", 0x1F},        {"TAGG", 0x1F},        {"MENU", 0x3E},
        {"HISTORY", 0x3E},   {"DIRECTORY", 0x1E},   {"BROWSE", 0x70},      {"VHITO", 0x70},
        {"VHITC", 0x3F},     {"dimmed", 0x18},      {"rules", 0},
        // Directory colours the file does not give are DIRECTORY's.
        {"DATTR-H", 0x1E},   {"DATTR-S", 0x1E},     {"DATTR-R", 0x1E},     {"DATTR-E", 0x1E},
        {"DATTR-J", 0x1E},
        // The status lines without a line of their own are FRAMES.
        {"CURRPATH", 0x1B},  {"TAGSTATS", 0x1B},    {"FSSTATS", 0x1B},
        // The compare keeps its own colours: 0 is "not set".
        {"JFRAME", 0},       {"JEQUAL", 0},         {"JLNUM", 0},          {"JMATCH", 0},
        {"JDIFF", 0},
        {"TAGN fore", 0x0F}, {"TAGN back", 0x01},   {"TAGG fore", 0x0F},   {"TAGG back", 0x01},
        {"tree directory", 0x1E}, {"tree hidden", 0x1E}, {"message", 0x1B}, {"key letter", 0x1E},
    };
    for (const char* attr : {"ATTR-H", "ATTR-S", "ATTR-R", "ATTR-A", "ATTR-E", "ATTR-J"}) {
        expected[std::string(attr) + " fore"] = COLOUR_PART_UNSET;
        expected[std::string(attr) + " back"] = COLOUR_PART_UNSET;
    }
    EXPECT_EQ(Differences(expected, Snapshot()), "");
    EXPECT_EQ(EnvValue(u"#QBQColorsPath"), WinPath(bin + "/QCOLORS.INI"));
}

// One file and what it changes against the state an empty file gives.
struct LineCase {
    const char* what;
    std::string file;
    ColourState changes;
};

std::string Padded(const std::string& head, size_t length, const std::string& tail) {
    return head + std::string(length - head.size() - tail.size(), ' ') + tail;
}

TEST_F(ColourFileTest, EachLineChangesWhatItNames) {
    const LineCase cases[] = {
        {"yellow on blue", "NORMAL: YELLOW ON BLUE\n",
         {{"NORMAL", 0x16}, {"NORMAL copy", 0x16}, {"key letters", 0x16}, {"key letter", 0x16}}},
        {"bright yellow on red: the copies and the dimmed slot follow NORMAL",
         "NORMAL: BRIGHT YELLOW ON RED\n",
         {{"NORMAL", 0x4E}, {"NORMAL copy", 0x4E}, {"key letters", 0x4E}, {"key letter", 0x4E},
          {"dimmed", 0x48}}},
        {"bright yellow on blue", "GLOBAL: BRIGHT YELLOW ON BLUE\n", {{"GLOBAL", 0x1E}}},
        {"cyan on cyan raises the foreground", "FRAMES: CYAN ON CYAN\n",
         {{"FRAMES", 0x34}, {"FRAMES copy", 0x34}, {"message", 0x34}, {"CURRPATH", 0x34},
          {"TAGSTATS", 0x34}, {"FSSTATS", 0x34}}},
        {"bright white on bright white goes down to yellow", "MENU: BRIGHT WHITE ON BRIGHT WHITE\n",
         {{"MENU", 0xFE}}},
        {"bright cyan on cyan is no same colour", "GLOBAL: BRIGHT CYAN ON CYAN\n", {{"GLOBAL", 0x3B}}},
        {"only a background keeps the foreground", "BAR: ON RED\n", {{"BAR", 0x40}}},
        {"an unknown foreground keeps the foreground", "TAGN: PURPLE ON RED\n",
         {{"TAGN", 0x4F}, {"TAGN back", 0x04}}},
        {"brown is yellow", "VHITC: BROWN ON BLACK\n", {{"VHITC", 0x06}}},
        {"lower case, blanks before the colon and a comment", "normal : white on black ; plain\n",
         {{"NORMAL", 0x07}, {"NORMAL copy", 0x07}, {"key letters", 0x07}, {"key letter", 0x07},
          {"dimmed", 0x08}}},
        {"a comment line changes nothing", ";NORMAL: RED ON GREEN\n", {}},
        {"a line without a colon changes nothing", "NORMAL RED ON GREEN\n", {}},
        {"HISTORY goes into the record", "HISTORY: BLACK ON WHITE\n", {{"HISTORY", 0x70}}},
        {"a directory colour keeps a same colour", "DATTR-H: RED ON RED\n",
         {{"DATTR-H", 0x44}, {"tree hidden", 0x44}}},
        {"a directory colour takes what it lacks from DIRECTORY", "DATTR-S: ON GREEN\n",
         {{"DATTR-S", 0x2E}, {"tree system", 0x2E}}},
        {"read-only, encrypted and junction directories",
         "DATTR-R: CYAN\nDATTR-E: RED ON BLACK\nDATTR-J: BLUE\n",
         {{"DATTR-R", 0x13}, {"DATTR-E", 0x04}, {"DATTR-J", 0x11}, {"tree read-only", 0x13},
          {"tree encrypted", 0x04}, {"tree junction", 0x11}}},
        {"a file attribute keeps only its own parts", "ATTR-H: RED\nATTR-A: GREEN ON GREEN\n",
         {{"ATTR-H fore", 0x04}, {"ATTR-A fore", 0x03}, {"ATTR-A back", 0x02}}},
        {"two lines of one key add up", "ATTR-S: RED\nATTR-S: ON BLUE\n",
         {{"ATTR-S fore", 0x04}, {"ATTR-S back", 0x01}}},
        {"status colours take what they lack from FRAMES", "CURRPATH: RED\nFSSTATS: ON BLACK\n",
         {{"CURRPATH", 0x14}, {"FSSTATS", 0x0B}}},
        {"compare colours take what they lack from their own slots",
         "JEQUAL: ON RED\nJMATCH: RED\nJDIFF: ON BLUE\nJLNUM: GREEN\n",
         {{"JEQUAL", 0x4E}, {"JMATCH", 0x74}, {"JDIFF", 0x1F}, {"JLNUM", 0x12}}},
        {"a compare colour of 0 is stored as 1", "FRAMES: WHITE ON BLACK\nJFRAME: BLACK\n",
         {{"FRAMES", 0x07}, {"FRAMES copy", 0x07}, {"message", 0x07}, {"CURRPATH", 0x07},
          {"TAGSTATS", 0x07}, {"FSSTATS", 0x07}, {"JFRAME", 0x01}}},
        {"line ends of two bytes, and a last line without one", "BAR: RED\r\nMENU: BLUE ON BLACK",
         {{"BAR", 0x74}, {"MENU", 0x01}}},
        {"the mark of UTF-8 is no part of the first key", "\xEF\xBB\xBF" "BAR: RED\n",
         {{"BAR", 0x74}}},
        {"a line of 255 bytes is read whole", Padded("BAR:", 255, "RED") + "\n", {{"BAR", 0x74}}},
        {"a line of 256 bytes loses its last byte", Padded("BAR:", 256, "RED") + "\n", {}},
        {"the rest of a long line is never a line of its own",
         Padded("BAR: RED ON BLUE ;", 255, "") + "NORMAL: YELLOW ON BLUE\nMENU: RED\n",
         {{"BAR", 0x14}, {"MENU", 0x34}}},
        {"a file-colour rule changes no colour", "EXE COM: BRIGHT GREEN\n", {{"rules", 1}}},
    };
    Load("");
    const ColourState empty = Snapshot();
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.what);
        Load(c.file);
        ColourState expected = empty;
        for (const auto& [name, value] : c.changes) {
            ASSERT_TRUE(expected.count(name)) << name;
            expected[name] = value;
        }
        EXPECT_EQ(Differences(expected, Snapshot()), "");
    }
}

// ---- file-colour rules ------------------------------------------------------------------

std::u16string ItemText(const FilespecItem& item) {
    return std::u16string(item.pattern) + (item.extension[0] ? u"." : u"") + item.extension;
}

TEST_F(ColourFileTest, RuleKeysBecomeFilespecLists) {
    struct Case {
        const char* what;
        const char* line;
        std::vector<std::u16string> items; // empty: no rule
        BYTE fore;
        BYTE back;
    };
    const BYTE unset = COLOUR_PART_UNSET;
    const Case cases[] = {
        {"words are extensions", "EXE COM: BRIGHT GREEN", {u"*.EXE", u"*.COM"}, 10, unset},
        {"a list separated by ';'", "*.TXT;*.BAK: RED ON BLACK", {u"*.TXT", u"*.BAK"}, 4, 0},
        {"a list separated by blanks", "*.TXT  *.BAK: ON CYAN", {u"*.TXT", u"*.BAK"}, unset, 3},
        {"blanks beside a separator separate nothing more", "*.TXT, *.BAK: RED",
         {u"*.TXT", u"*.BAK"}, 4, unset},
        {"a quoted item keeps its blank", "\"MY FILE.TXT\": RED", {u"MY FILE.TXT"}, 4, unset},
        {"a comparison is a filespec", ">S100: BLUE", {u">S100"}, 1, unset},
        {"the same-colour rule holds for rules", "LOG: RED ON RED", {u"*.LOG"}, 5, 4},
        {"an item with a backslash is no filespec", "A\\B.TXT: RED", {}, 0, 0},
        {"nor is a regular expression", "/A.B/: RED", {}, 0, 0},
        {"nor an empty key", ": RED", {}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Load(std::string(c.line) + "\n");
        if (c.items.empty()) {
            EXPECT_EQ(gFileColourRules.count, 0u);
            continue;
        }
        ASSERT_EQ(gFileColourRules.count, 1u);
        const FileColourRule& rule = gFileColourRules.rules[0];
        std::vector<std::u16string> items;
        for (WORD i = 0; i < rule.count; i++) items.push_back(ItemText(rule.items[i]));
        if (rule.count == 1 && rule.items[0].kind != FS_NAME && rule.items[0].kind != FS_WILDCARD)
            items = {rule.items[0].pattern};
        EXPECT_EQ(items, c.items);
        EXPECT_EQ(rule.fore, c.fore);
        EXPECT_EQ(rule.back, c.back);
    }
}

TEST_F(ColourFileTest, ReloadingReplacesTheRulesAndAMissingFileLeavesNone) {
    Load("EXE: RED\nTXT: BLUE\n");
    EXPECT_EQ(gFileColourRules.count, 2u);
    Load("DOC: GREEN\n");
    ASSERT_EQ(gFileColourRules.count, 1u);
    EXPECT_EQ(ItemText(gFileColourRules.rules[0].items[0]), u"*.DOC");

    std::remove((bin + "/QCOLORS.INI").c_str());
    Defaults();
    EXPECT_EQ(LoadColours(), 0);
    EXPECT_EQ(gFileColourRules.count, 0u);
    EXPECT_EQ(gColourFilePath[0], 0) << "the path is looked for again next time";
    EXPECT_EQ(gColourTable[COLOUR_NORMAL], 0x1E) << "the record's colours stay";

    // The next load finds the file again.
    WriteColours("NORMAL: RED ON BLACK\n");
    EXPECT_EQ(LoadColours(), 1);
    EXPECT_EQ(gColourTable[COLOUR_NORMAL], 0x04);
}

TEST_F(ColourFileTest, TheCommandLineFileComesBeforeTheOneOnThePath) {
    WriteColours("NORMAL: RED ON BLACK\n");
    const std::string other = dir.Write("elsewhere/mine.ini", "NORMAL: GREEN ON BLACK\n");
    SetWide(gColourFileOption, SETTINGS_PATH_UNITS, WinPath(other));
    ASSERT_EQ(LoadColours(), 1);
    EXPECT_EQ(gColourTable[COLOUR_NORMAL], 0x02);
    EXPECT_EQ(EnvValue(u"#QBQColorsPath"), WinPath(other));

    // Once found, the file is read from where it was found.
    gColourFileOption[0] = 0;
    Defaults();
    ASSERT_EQ(LoadColours(), 1);
    EXPECT_EQ(gColourTable[COLOUR_NORMAL], 0x02);

    // A directory in its place cannot be read: nothing is applied and the
    // file on the path is found the next time.
    std::remove(other.c_str());
    dir.MakeDir("elsewhere/mine.ini");
    Defaults();
    EXPECT_EQ(LoadColours(), 0);
    EXPECT_EQ(gColourFilePath[0], 0);
    EXPECT_EQ(gColourTable[COLOUR_NORMAL], 0x1E);
    ASSERT_EQ(LoadColours(), 1);
    EXPECT_EQ(gColourTable[COLOUR_NORMAL], 0x04);
}

// ---- the colour of a row ------------------------------------------------------------------

// A file of the fixture directory and what its row shows.
struct RowCase {
    const char* what;
    std::string colours;   // the colour file
    const char16_t* name;  // one of the files below
    WORD attributes;
    BYTE flags;            // pane 0's flag byte
    BYTE tagColours;       // record byte 40
    BYTE noFileColours;    // record byte 254
    BYTE expected;
};

constexpr WORD kRO = 0x0001, kHid = 0x0002, kSys = 0x0004, kArc = 0x0020, kJun = 0x0400,
               kEnc = 0x4000;

class RowColourTest : public ColourFileTest {
  protected:
    void SetUp() override {
        ColourFileTest::SetUp();
        qtest::ResetTreeState();
        disk = qtest::BuildDisk('X');
        pdiCurrent = disk;
        psiCurrent = disk->psiRoot;
        qtest::BuildFiles(disk->psiRoot, {{u"a.exe"}, {u"b.COM"}, {u"c.txt"}, {u"note.doc"}});
    }
    void TearDown() override {
        qtest::ResetTreeState();
        qtest::FreeTrees();
        ColourFileTest::TearDown();
    }
    FileEntry* File(const char16_t* name) {
        SubdirInfo* root = disk->psiRoot;
        for (DWORD i = 0; i < root->dwFiles; i++) {
            WCHAR shown[TREE_MAX_FULL_NAME + 2];
            GetFileDisplayName(shown, &root->pFiles[i]);
            if (std::u16string(shown) == name) return &root->pFiles[i];
        }
        ADD_FAILURE() << "no fixture file " << qtest::NarrowText(name);
        return &root->pFiles[0];
    }
    DiskInfo* disk = nullptr;
};

TEST_F(RowColourTest, EachPrecedenceCase) {
    const std::string attrs = "ATTR-H: RED\nATTR-R: GREEN ON BLACK\nATTR-S: CYAN ON RED\n"
                              "ATTR-A: MAGENTA\nATTR-J: WHITE ON BLUE\n";
    const std::string rules = "EXE COM: BRIGHT GREEN\nTXT: ON MAGENTA\n";
    const RowCase cases[] = {
        {"no colour for the file: NORMAL", attrs + rules, u"note.doc", 0, 0, 0, 0, 0x1E},
        {"an extension rule, background NORMAL's", attrs + rules, u"a.exe", 0, 0, 0, 0, 0x1A},
        {"its second extension, in any case", attrs + rules, u"b.COM", 0, 0, 0, 0, 0x1A},
        {"hidden and read-only: ATTR-H's foreground, the background from the rules", attrs + rules,
         u"c.txt", kHid | kRO, 0, 0, 0, 0x54},
        {"hidden and read-only: the background never from ATTR-R", attrs, u"note.doc",
         kHid | kRO, 0, 0, 0, 0x14},
        {"read-only alone: ATTR-R", attrs + rules, u"c.txt", kRO, 0, 0, 0, 0x02},
        {"system before read-only", attrs, u"note.doc", kSys | kRO, 0, 0, 0, 0x43},
        {"archive last", attrs, u"note.doc", kArc, 0, 0, 0, 0x15},
        {"a junction before hidden", attrs, u"note.doc", kJun | kHid, 0, 0, 0, 0x17},
        {"encrypted without ATTR-E parts: the next attribute", attrs, u"note.doc", kEnc | kRO, 0,
         0, 0, 0x02},
        {"encrypted with ATTR-E parts", attrs + "ATTR-E: YELLOW ON BLACK\n", u"note.doc",
         kEnc | kRO, 0, 0, 0, 0x06},
        {"hidden without ATTR-H parts: the rules, not ATTR-R", "ATTR-R: GREEN ON BLACK\n" + rules,
         u"a.exe", kHid | kRO, 0, 0, 0, 0x1A},
        {"hidden without ATTR-H parts and no rule: NORMAL", "ATTR-R: GREEN ON BLACK\n",
         u"note.doc", kHid | kRO, 0, 0, 0, 0x1E},
        {"rules in file order, each giving the part still missing",
         "C*.*: RED\n*.TXT: BLUE ON GREEN\nTXT: WHITE ON BLACK\n", u"c.txt", 0, 0, 0, 0, 0x24},
        {"a rule that does not match gives nothing", "*.DOC: RED ON BLACK\n", u"c.txt", 0, 0, 0, 0,
         0x1E},
        {"a tagged file with tag colours on", attrs + rules + "TAGN: WHITE ON RED\n", u"a.exe",
         kHid, ENTRY_TAGGED, 1, 0, 0x47},
        {"a marked file counts as tagged", attrs + rules + "TAGN: WHITE ON RED\n", u"a.exe", 0,
         ENTRY_MARKED, 1, 0, 0x47},
        {"the tag colour even with file colours off", rules + "TAGN: WHITE ON RED\n", u"a.exe", 0,
         ENTRY_TAGGED, 1, 1, 0x47},
        {"tag colours off: a tagged file takes its file colour", rules + "TAGN: WHITE ON RED\n",
         u"a.exe", 0, ENTRY_TAGGED, 0, 0, 0x1A},
        {"file colours off: NORMAL", attrs + rules, u"a.exe", kHid, 0, 0, 1, 0x1E},
    };
    for (const RowCase& c : cases) {
        SCOPED_TRACE(c.what);
        Load(c.colours);
        gIniWorking.tagColours = c.tagColours;
        gIniWorking.noFileColours = c.noFileColours;
        FileEntry* file = File(c.name);
        file->wAttributes = c.attributes;
        file->bFlags[0] = BYTE(ENTRY_MATCHES | c.flags);
        EXPECT_EQ(FileColour(file, 0), c.expected);
        file->wAttributes = 0;
        file->bFlags[0] = ENTRY_MATCHES;
    }
}

TEST_F(RowColourTest, RowsOfTheDisplayList) {
    Load("DIRECTORY: WHITE ON BLUE\nEXE COM: BRIGHT GREEN\nTAGN: WHITE ON RED\n"
         "TAGG: BLACK ON CYAN\nDATTR-H: RED\nDATTR-R: ON GREEN\n");
    gIniWorking.tagColours = 1;
    File(u"a.exe")->bFlags[0] |= ENTRY_TAGGED;
    BuildDisplayFileList(0);
    ASSERT_NE(gFileList, nullptr);
    ASSERT_EQ(gFMax, 4u);
    auto rowOf = [](const char16_t* name) {
        for (DWORD i = 0; i < gFMax; i++) {
            WCHAR shown[TREE_MAX_FULL_NAME + 2];
            GetFileDisplayName(shown, reinterpret_cast<FileEntry*>(ListEntries(gFileList)[i]));
            if (std::u16string(shown) == name) return i;
        }
        return DWORD(-1);
    };
    EXPECT_EQ(FileColour(nullptr, rowOf(u"b.COM")), 0x1A);
    EXPECT_EQ(FileColour(nullptr, rowOf(u"a.exe")), 0x47) << "TAGN in the directory display";
    gDisplayMode[0] = 3;
    EXPECT_EQ(FileColour(nullptr, rowOf(u"a.exe")), 0x30) << "TAGG in the branch display";
    EXPECT_EQ(FileColour(File(u"a.exe"), 0), 0x47) << "an entry given directly takes TAGN";
    EXPECT_EQ(FileColour(nullptr, gFMax), 0x17) << "beyond the list: DIRECTORY";
    gDisplayMode[0] = 1;

    // The directory list: hidden, read-only, tagged and plain directories.
    SubdirInfo* hidden = qtest::BuildDir(disk, u"hid");
    SubdirInfo* readOnly = qtest::BuildDir(disk, u"ro");
    SubdirInfo* both = qtest::BuildDir(disk, u"both");
    SubdirInfo* plain = qtest::BuildDir(disk, u"plain");
    hidden->wAttributes = 0x0002;
    readOnly->wAttributes = 0x0001;
    both->wAttributes = 0x0003;
    plain->wAttributes = 0;
    for (SubdirInfo* d : {hidden, readOnly, both, plain}) d->bFlags[0] = ENTRY_MATCHES;
    gDirMode[0] = 1;
    BuildSubdirList(0);
    ASSERT_NE(gFileList, nullptr);
    ASSERT_EQ(gFMax, 4u);
    for (DWORD i = 0; i < gFMax; i++) {
        const auto* d = reinterpret_cast<const SubdirInfo*>(ListEntries(gFileList)[i]);
        SCOPED_TRACE(qtest::NarrowText(d->pszName));
        // DATTR-H is red on DIRECTORY's blue: its foreground on NORMAL's
        // background; DATTR-R (DIRECTORY's white on green) gives white.
        const BYTE expected = d == hidden || d == both ? 0x14 : d == readOnly ? 0x17 : 0x1E;
        EXPECT_EQ(FileColour(nullptr, i), expected);
    }
    both->bFlags[0] |= ENTRY_TAGGED;
    EXPECT_EQ(DirRowColour(both), 0x47) << "a tagged directory";
    gIniWorking.tagColours = 0;
    gIniWorking.noFileColours = 1;
    EXPECT_EQ(DirRowColour(hidden), 0x1E) << "colours off";
    gDirMode[0] = 0;
}

// ---- the alternate set ----------------------------------------------------------------

TEST_F(ColourFileTest, TheAlternateSetAndBackRestoreEverySlotAndPart) {
    Load("NORMAL: YELLOW ON BLUE\nFRAMES: CYAN ON BLACK\nDMNORMAL: RED ON WHITE\n"
         "GLOBAL: GREEN ON BLACK\nDMGLOBAL: MAGENTA ON BLACK\nBAR: BLACK ON CYAN\n"
         "TAGN: BRIGHT RED ON BLUE\nTAGG: BRIGHT GREEN ON BLUE\nMENU: WHITE ON RED\n"
         "HISTORY: BLACK ON GREEN\nCURRPATH: YELLOW ON RED\nDIRECTORY: BRIGHT WHITE ON BLUE\n"
         "VHITO: RED ON CYAN\nVHITC: BLUE ON CYAN\nBROWSE: GREEN ON WHITE\nDATTR-H: RED\n");
    const ColourState before = Snapshot();
    const ExtraColours extrasBefore = gExtraColours;

    EXPECT_EQ(ToggleAltColours(), 4137);
    ColourState alt = before;
    for (const char* name : {"DIRECTORY", "NORMAL", "NORMAL copy", "key letters", "FRAMES",
                             "FRAMES copy", "DMNORMAL", "GLOBAL", "DMGLOBAL", "TAGN", "TAGG",
                             "MENU", "HISTORY", "CURRPATH", "tree directory", "message",
                             "key letter"})
        alt[name] = 0xF0;
    alt["BAR"] = 0x0F;
    alt["TAGN fore"] = alt["TAGG fore"] = 0;
    alt["TAGN back"] = alt["TAGG back"] = 0x0F;
    EXPECT_EQ(Differences(alt, Snapshot()), "") << "VHITO, VHITC, BROWSE and the rest stay";

    EXPECT_EQ(ToggleAltColours(), 4137);
    EXPECT_EQ(Differences(before, Snapshot()), "");
    EXPECT_TRUE(gExtraColours == extrasBefore);

    // A reload while the alternate set is on ends it: the next switch saves
    // the reloaded colours, never the ones from before the reload.
    ToggleAltColours();
    Load("NORMAL: RED ON BLACK\n");
    EXPECT_EQ(gColourTable[COLOUR_NORMAL], 0x04);
    ToggleAltColours();
    EXPECT_EQ(gColourTable[COLOUR_NORMAL], 0xF0);
    ToggleAltColours();
    EXPECT_EQ(gColourTable[COLOUR_NORMAL], 0x04);
}

// ---- the walk over the rules ------------------------------------------------------------

void SetClock(LPSYSTEMTIME out) {
    *out = SYSTEMTIME{};
    out->wYear = 2026;
    out->wMonth = 3;
    out->wDay = 10;
    out->wHour = 12;
}

// What the clock's midnight step does to the items it reaches: a date
// relative to today moves one day on (the fixture's today is 10 March).
void MoveTodayOn(FilespecItem* items, DWORD count, void* context) {
    auto* seen = static_cast<std::vector<DWORD>*>(context);
    seen->push_back(count);
    for (DWORD i = 0; i < count; i++)
        if (items[i].kind == FS_DATE && items[i].date == PackDate(2026, 3, 10))
            items[i].date = PackDate(2026, 3, 11);
}

TEST_F(RowColourTest, TheMidnightStepReachesTheRulesDates) {
    PackedNowSetClockForTest(SetClock);
    // Dates of one list are alternatives, unless a ">" item and a "<" item
    // make a range: written after 2000 and before today.
    Load("EXE: BLUE\n>01-01-2000,<TODAY: RED\n");
    PackedNowSetClockForTest(nullptr);
    FileEntry* file = File(u"c.txt");
    file->dWritten = PackDate(2026, 3, 10);
    EXPECT_EQ(FileColour(file, 0), 0x1E) << "written today: not before today";
    std::vector<DWORD> seen;
    ForEachColourRuleFilespec(MoveTodayOn, &seen);
    EXPECT_EQ(seen, (std::vector<DWORD>{1, 2})) << "every rule, in file order";
    EXPECT_EQ(FileColour(file, 0), 0x14) << "after midnight it was written before today";
}

// ---- the tree rows -------------------------------------------------------------------------

// A directory tree on drive Q: logged, painted in the tree window and read
// back from the console: hidden, system, read-only and linked directories
// in their colours.
class TreeRowColours : public qtest::PlatformTest {
  protected:
    qtest::TempDir dir;
    qtest::ScopedEnv home{"HOME", dir.path().c_str()};
    std::string bin = dir.MakeDir("bin");
    qtest::ScopedEnv path{"PATH", bin.c_str()};
    std::string root;

    void SetUp() override {
        PlatformTest::SetUp();
        qtest::PointSearchFolders(dir);
        gColourFilePath[0] = 0;
        DecodeIniSettings(nullptr, 0, 1);
        root = dir.MakeDir("q");
        dir.MakeDir("q/plain");
        dir.MakeDir("q/.hidden");
        dir.MakeDir("q/system");
        dir.MakeDir("q/readonly");
        ASSERT_EQ(::chmod((root + "/readonly").c_str(), 0555), 0);
        ASSERT_EQ(::symlink((root + "/plain").c_str(), (root + "/linked").c_str()), 0);
        const std::string mountinfo = dir.Write("mountinfo", MountInfoLine(20, {"/", "ext4", "/dev/vda1"}));
        DriveMapSetSources(mountinfo.c_str(), nullptr);
        dir.Write(".config/quilb/drives", "q: " + root + "\n");
        qtest::ResetTreeState();
        gLogMode = LOG_FULL_DISK;
        gSettings.bHideDirs = 0;
        gTreeDisplayMode = 0;
    }
    void TearDown() override {
        ::chmod((root + "/readonly").c_str(), 0755);
        for (int p = 0; p < 2; p++) {
            std::free(gTreeLines[p]);
            gTreeLines[p] = nullptr;
            gTreeLineRows[p] = 0;
        }
        qtest::FreeTrees();
        qtest::ResetTreeState();
        DriveMapSetSources(nullptr, nullptr);
        FreeFileColourRules(&gFileColourRules);
        gColourFilePath[0] = 0;
        DecodeIniSettings(nullptr, 0, 1);
        PlatformTest::TearDown();
    }
    // The screen row that shows the directory's name, and the column of its
    // first character; -1 when it is not shown.
    static std::pair<int, int> Where(const std::u16string& name) {
        for (int row = 2; row < gScreenRows; row++) {
            const std::u16string text = qtest::ConsoleText(row, 0, gScreenCols);
            const size_t at = text.find(name);
            if (at != text.npos) return {row, int(at)};
        }
        return {-1, -1};
    }
};

TEST_F(TreeRowColours, LoggedDirectoriesArePaintedInTheirColours) {
    dir.Write("bin/QCOLORS.INI", "DIRECTORY: BRIGHT WHITE ON BLUE\nDATTR-H: RED ON BLUE\n"
                                 "DATTR-S: GREEN ON BLUE\nDATTR-R: CYAN ON BLUE\n"
                                 "DATTR-J: MAGENTA ON BLUE\n");
    ASSERT_EQ(LoadColours(), 1);
    ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    // The layer reports no system attribute on Linux: the tree's record of
    // one directory is given it, as a disk of another system would.
    SubdirInfo* system = FindDirByPath(u"Q:\\system", nullptr, TRUE);
    ASSERT_NE(system, nullptr);
    system->wAttributes |= 0x0004;

    struct Row {
        const char16_t* name;
        BYTE colour;
    };
    const Row rows[] = {
        {u"plain", 0x1F}, {u".hidden", 0x14}, {u"system", 0x12}, {u"readonly", 0x13}, {u"linked", 0x15},
    };
    for (int pass = 0; pass < 2; pass++) {
        SCOPED_TRACE(pass ? "after the switch to the alternate set" : "as loaded");
        showtree();
        ScrPaintTreeLines(0);
        for (const Row& r : rows) {
            SCOPED_TRACE(qtest::NarrowText(r.name));
            const auto [row, column] = Where(r.name);
            ASSERT_GE(row, 0) << "the directory is in the tree window";
            const BYTE expected = pass && r.colour == 0x1F ? 0xF0 : r.colour;
            const std::vector<WORD> name = qtest::ConsoleAttrs(row, column, 3);
            EXPECT_EQ(name, std::vector<WORD>(3, expected));
            // The branch lines before the name keep the directory colour.
            EXPECT_EQ(qtest::ConsoleAttrs(row, column - 2, 1)[0], pass ? 0xF0 : 0x1F);
        }
        if (!pass) ToggleAltColours();
    }
    ToggleAltColours();
}

} // namespace
