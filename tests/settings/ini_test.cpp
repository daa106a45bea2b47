// Reading QBK.INI: files of every version written here byte by byte or
// committed with the dump of what they give, the working values and colours
// taken from them, the upgrades of older versions, the range of each field,
// the seven strings, and short, damaged and missing files.
#include "settings/colours.h"
#include "settings/folders.h"
#include "settings/settings.h"
#include "platform/keyboard.h"
#include "ui/numbers_dates.h"
#include "windows.h"
#include "qposix_path.h"

#include "fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::u16string WinPath(const std::string& posix) {
    WCHAR out[1025];
    int n = PathFromPosix(posix.c_str(), out, 1025);
    return n < 0 ? std::u16string() : std::u16string(out);
}

std::string Narrow(const std::u16string& s) {
    return std::string(s.begin(), s.end());
}

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "(unset)";
}

void SetWide(WCHAR* out, size_t units, const std::u16string& s) {
    ASSERT_LT(s.size(), units);
    std::copy(s.begin(), s.end(), out);
    out[s.size()] = 0;
}

// A settings file as the configuration program (or an older one) wrote it.
class IniImage {
  public:
    explicit IniImage(char version) : bytes_(SETTINGS_RECORD_BYTES, 0) {
        bytes_[0] = 0x51; // "QB", little-endian 0x4251
        bytes_[1] = 0x42;
        bytes_[2] = static_cast<uint8_t>(version);
    }
    IniImage& Byte(size_t offset, uint8_t value) {
        bytes_.at(offset) = value;
        return *this;
    }
    IniImage& Word(size_t offset, uint16_t value) {
        bytes_.at(offset) = static_cast<uint8_t>(value & 0xFF);
        bytes_.at(offset + 1) = static_cast<uint8_t>(value >> 8);
        return *this;
    }
    // Text written into the record itself (the layout below version '2').
    IniImage& RecordText(size_t offset, const std::string& text) {
        for (size_t i = 0; i < text.size(); i++)
            bytes_.at(offset + i) = uint8_t(text[i]);
        return *this;
    }
    // One length-prefixed string after the record.
    IniImage& String(const std::string& text) {
        bytes_.push_back(static_cast<uint8_t>(text.size()));
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        return *this;
    }
    IniImage& Raw(const std::string& bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    IniImage& Truncate(size_t size) {
        bytes_.resize(size);
        return *this;
    }
    std::string Bytes() const { return std::string(bytes_.begin(), bytes_.end()); }

  private:
    std::vector<uint8_t> bytes_;
};

class IniTest : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    qtest::ScopedEnv home{"HOME", dir.path().c_str()};
    qtest::ScopedEnv visual{"VISUAL", "qt-visual-editor"};
    qtest::ScopedEnv toolsEnv{"#QBTools", "(start-up)"};
    qtest::ScopedEnv iniEnv{"#QBIniPath", nullptr};
    std::string bin = dir.MakeDir("bin");
    qtest::ScopedEnv path{"PATH", bin.c_str()};

    void SetUp() override {
        gSettings = Settings{};
        gIniWorking = IniWorkingValues{};
        for (char* cmd :
             {gEditorCmd, gAltEditorCmd, gViewerCmd, gAltViewerCmd, gCompareCmd, gAltCompareCmd})
            cmd[0] = 0;
        gSingleInstanceEditor = FALSE;
        gIniFileOption[0] = 0;
        gStatsPanelsFromCommandLine = FALSE;
        gKiloUnit = 1024;
        gThousandsSep = ',';
        gIniStartupKey = 0;
        SetWide(gDataDir, FOLDER_UNITS, WinPath(dir.MakeDir("data")) + u"\\");
        SetWide(gProgramDir, FOLDER_UNITS, WinPath(dir.MakeDir("prog")) + u"\\");
        SetWide(gStartDir, FOLDER_UNITS, WinPath(dir.MakeDir("start")) + u"\\");
        SetWide(gProgramFilesDir, FOLDER_UNITS, WinPath(dir.Sub("program-files")));
        SetWide(gToolsDir, 512, u"(start-up)");
        SetWide(gIniPath, SETTINGS_PATH_UNITS, WinPath(dir.Sub("QBK.INI")));
    }

    // Decodes the bytes of a file as ReadIniSettings does once it has read
    // them.
    void Decode(const IniImage& image, int firstLoad = 1) {
        const std::string bytes = image.Bytes();
        DecodeIniSettings(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size(), firstLoad);
    }

    void Read(const IniImage& image, int firstLoad = 1) {
        dir.Write("QBK.INI", image.Bytes());
        ReadIniSettings(firstLoad);
    }

    // An executable on PATH, so that commands naming it are resolved.
    std::u16string Program(const std::string& name) {
        std::string p = dir.Write("bin/" + name, "#!/bin/sh\n");
        ::chmod(p.c_str(), 0755);
        return WinPath(p);
    }
};

// ---- the record and its working values -------------------------------------

TEST_F(IniTest, CurrentFileGivesItsFieldsAndWorkingValues) {
    Read(IniImage('?')
             .Word(4, 50)
             .Word(6, 2)
             .Word(8, 4)
             .Byte(10, 0xB0)
             .Byte(11, 1)
             .Byte(12, 1)
             .Byte(20, 1)
             .Byte(21, 2)
             .Byte(24, 1)
             .Byte(35, '.')
             .Byte(40, 1)
             .Byte(53, 1)
             .Byte(54, 5)
             .Byte(69, 2)
             .Byte(103, 1)
             .Byte(114, 2)
             .Byte(120, 1)
             .Word(126, 0xFFFF)
             .Word(256, 0x0132)
             .Byte(262, 1)
             .Byte(266, 1)
             .Byte(269, 2)
             .Word(272, 3)
             .Word(274, 9)
             .Word(276, 1)
             .Byte(254, 1)
             .Byte(278, 1)
             .String("")
             .String("")
             .String("")
             .String("")
             .String("")
             .String("")
             .String(""));
    EXPECT_EQ(gSettings.wSignature, 0x4251);
    EXPECT_EQ(gSettings.bVersion, '?');
    EXPECT_EQ(gSettings.wSyntaxLimit, 0xFFFF);
    EXPECT_EQ(gSettings.wScreenCols, 0x0132);
    EXPECT_EQ(gSettings.bErrorLogDialog, 2);

    const IniWorkingValues& w = gIniWorking;
    EXPECT_EQ(w.screenRows, 50);
    EXPECT_EQ(w.screenCols, 0x0132);
    EXPECT_EQ(w.logMethod, 2);
    EXPECT_EQ(w.dateFormat, 4);
    EXPECT_EQ(w.dateExtraWidth, 2);
    EXPECT_EQ(w.scrollTrack, 0x2591);
    EXPECT_EQ(w.scrollThumb, 0x2593);
    EXPECT_EQ(w.scrollDown, 0x2593);
    EXPECT_EQ(w.scrollUp, 0x2593);
    EXPECT_EQ(w.printHeaders, 1);
    EXPECT_EQ(w.time12Hour, 1);
    EXPECT_EQ(w.barMode, 3);
    EXPECT_EQ(w.pruneConfirm, 2);
    EXPECT_EQ(w.briefExecHeadings, 1);
    EXPECT_EQ(w.treeIndent, 2);
    EXPECT_EQ(w.searchSkip, 5);
    EXPECT_EQ(w.treeSortNumber, 1);
    EXPECT_EQ(w.sortAnsi[0], 1);
    EXPECT_EQ(w.sortAnsi[1], 1);
    EXPECT_EQ(w.pathMode, 3);
    EXPECT_EQ(w.tagColours, 1);
    EXPECT_EQ(w.dirBypassesSmallWindow, 1);
    EXPECT_EQ(w.statsPanels, 2);
    EXPECT_EQ(w.splitSortDifferent, 1);
    EXPECT_EQ(w.fileDisplayMode[1], 3);
    EXPECT_EQ(w.sortMethod[0], 9);
    EXPECT_EQ(w.sortOrder[1], 1);
    EXPECT_EQ(w.noFileColours, 1);
    EXPECT_EQ(gThousandsSep, '.');
    EXPECT_EQ(gKiloUnit, 1000u);
    EXPECT_EQ(gIniStartupKey, 0);
}

TEST_F(IniTest, LineStyleScrollBarsAndPlainTree) {
    Read(IniImage('?').Byte(10, 0xB3).Byte(20, 0).Byte(53, 0).Word(8, 2).Byte(269, 0));
    EXPECT_EQ(gIniWorking.scrollTrack, 0x2502);
    EXPECT_EQ(gIniWorking.scrollThumb, 0x2195);
    EXPECT_EQ(gIniWorking.scrollDown, 0x2193);
    EXPECT_EQ(gIniWorking.scrollUp, 0x2191);
    EXPECT_EQ(gIniWorking.barMode, 0);
    EXPECT_EQ(gIniWorking.treeIndent, 3);
    EXPECT_EQ(gIniWorking.dateExtraWidth, 0);
    EXPECT_EQ(gIniWorking.pathMode, 1);
}

TEST_F(IniTest, ScreenSizes) {
    struct Case {
        const char* what;
        uint16_t rowsWord, colsWord;
        uint16_t rows;
        int16_t rowAdjust;
        uint16_t cols;
        int16_t colAdjust;
    } cases[] = {
        {"zero is the terminal's size", 0, 0, 0, 0, 0, 0},
        {"fixed sizes", 60, 132, 60, 0, 132, 0},
        {"smallest fixed sizes", 25, 96, 25, 0, 96, 0},
        {"narrow fixed widths read as 96", 40, 80, 40, 0, 96, 0},
        {"95 columns read as 96", 40, 95, 40, 0, 96, 0},
        {"AUTO", 0x7FFF, 0x7FFF, 0x7FFF, 0, 0x7FFF, 0},
        {"small counts are additions", 24, 79, 0, 24, 0, 79},
        {"words above 0x7FFF are subtractions", 0xFFFE, 0xFFFF, 0, -2, 0, -1},
        {"the lowest subtraction", 0x8000, 0x8000, 0, -32768, 0, -32768},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Read(IniImage('?').Word(4, c.rowsWord).Word(256, c.colsWord));
        EXPECT_EQ(gIniWorking.screenRows, c.rows);
        EXPECT_EQ(gIniWorking.rowAdjust, c.rowAdjust);
        EXPECT_EQ(gIniWorking.screenCols, c.cols);
        EXPECT_EQ(gIniWorking.colAdjust, c.colAdjust);
    }
}

TEST_F(IniTest, ThousandsSeparatorsAndDateWidths) {
    struct Case {
        const char* what;
        uint8_t separator;
        char expected;
    } separators[] = {
        {"blank", ' ', ' '},        {"apostrophe", '\'', '\''}, {"comma", ',', ','},
        {"period", '.', '.'},       {"underscore", '_', ','},   {"zero", 0, ','},
        {"a high byte", 0xFA, ','},
    };
    for (const Case& c : separators) {
        SCOPED_TRACE(c.what);
        Read(IniImage('?').Byte(35, c.separator));
        EXPECT_EQ(gThousandsSep, c.expected);
        EXPECT_EQ(gSettings.bThousandsSep, static_cast<BYTE>(c.expected));
    }
    const uint16_t extra[] = {0, 0, 0, 2, 2, 2, 0};
    for (uint16_t format = 0; format <= 6; format++) {
        SCOPED_TRACE(format);
        Read(IniImage('?').Word(8, format));
        EXPECT_EQ(gIniWorking.dateExtraWidth, extra[format]);
    }
}

TEST_F(IniTest, ColourTable) {
    struct Case {
        const char* what;
        uint8_t normal, frames, bar, global, tagN, tagG, menu, directory, browse, vhitO, vhitC;
        BYTE table[COLOUR_SLOTS];
    } cases[] = {
        {"zero colours take their defaults",
         0x1E,
         0x1B,
         0x70,
         0x1A,
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         {0x3E, 0x3F, 0x70, 0x1E, 0x1F, 0x1F, 0x1E, 0x70, 0x70, 0x18, 0x1A, 0x1A, 0x1B, 0x1E, 0x1E,
          0x1B, 0x1E}},
        {"every colour given",
         0x4F,
         0x2A,
         0x07,
         0x5B,
         0x3C,
         0x6D,
         0x12,
         0x34,
         0x56,
         0x78,
         0x9A,
         {0x12, 0x9A, 0x78, 0x34, 0x6D, 0x3C, 0x4F, 0x56, 0x07, 0x48, 0x5B, 0x5B, 0x2A, 0x4F, 0x4F,
          0x2A, 0x4F}},
        {"a grey background dims to black",
         0x8E,
         0x1B,
         0x70,
         0x1A,
         0,
         0,
         0,
         0,
         0,
         0,
         0,
         {0x3E, 0x3F, 0x70, 0x8E, 0x1F, 0x1F, 0x8E, 0x70, 0x70, 0x80, 0x1A, 0x1A, 0x1B, 0x8E, 0x8E,
          0x1B, 0x8E}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Read(IniImage('?')
                 .Byte(32, c.normal)
                 .Byte(33, c.frames)
                 .Byte(34, c.bar)
                 .Byte(36, c.global)
                 .Byte(38, c.tagN)
                 .Byte(39, c.tagG)
                 .Byte(41, c.menu)
                 .Byte(47, c.directory)
                 .Byte(73, c.browse)
                 .Byte(48, c.vhitO)
                 .Byte(49, c.vhitC));
        for (int slot = 0; slot < COLOUR_SLOTS; slot++)
            EXPECT_EQ(gColourTable[slot], c.table[slot]) << "slot " << slot;
    }
}

TEST_F(IniTest, EachFieldIsReadFromItsOffset) {
    // One field at a time in an otherwise empty current file, with a value
    // within its range: a field read from another offset, or a word read in
    // the wrong byte order, holds something else.
    struct WordCase {
        size_t offset;
        WORD Settings::*field;
        WORD value;
    } words[] = {
        {0, &Settings::wSignature, 0x4251},     {4, &Settings::wScreenRows, 0x0132},
        {6, &Settings::wLogMethod, 2},          {8, &Settings::wDateFormat, 4},
        {126, &Settings::wSyntaxLimit, 0x1234}, {256, &Settings::wScreenCols, 0x0140},
        {272, &Settings::wFileDisplayMode, 3},  {274, &Settings::wSortMethod, 11},
        {276, &Settings::wSortOrder, 0x0102},
    };
    for (const WordCase& c : words) {
        SCOPED_TRACE("word at " + std::to_string(c.offset));
        IniImage image('?');
        if (c.offset != 0) image.Word(c.offset, c.value);
        Decode(image);
        EXPECT_EQ(gSettings.*c.field, c.value);
    }
    struct ByteCase {
        size_t offset;
        BYTE Settings::*field;
        BYTE value;
    } bytes[] = {
        {2, &Settings::bVersion, '?'},
        {10, &Settings::bScrollBars, 0xB3},
        {11, &Settings::bPrintHeaders, 0x81},
        {12, &Settings::bTime12Hour, 0x82},
        {13, &Settings::bNoLogFilesInRoot, 0x83},
        {14, &Settings::bFileInvokesView, 0x84},
        {15, &Settings::bSpaceInvertsTag, 0x85},
        {16, &Settings::bRecycleBin, 2},
        {17, &Settings::bQuitConfirm, 0x87},
        {18, &Settings::bLeadingDotStar, 0x88},
        {19, &Settings::bColumnLines, 0x89},
        {20, &Settings::bFixedBar, 0x8A},
        {21, &Settings::bPruneConfirm, 2},
        {22, &Settings::bDateSizeInclusive, 0x8C},
        {23, &Settings::bSkipCopySort, 0x8D},
        {24, &Settings::bBriefExecHeadings, 0x8E},
        {25, &Settings::bHideDirs, 3},
        {26, &Settings::bAtOmitsHistory, 0x90},
        {27, &Settings::bOverrideAttributes, 3},
        {28, &Settings::bRenameProtection, 3},
        {29, &Settings::bHighlightDefaults, 0x93},
        {30, &Settings::bTrailingStarDot, 0x94},
        {31, &Settings::bNoEditReadOnly, 0x95},
        {32, &Settings::bColourNormal, 0x4D},
        {33, &Settings::bColourFrames, 0x4C},
        {34, &Settings::bColourBar, 0x4B},
        {35, &Settings::bThousandsSep, '\''},
        {36, &Settings::bColourGlobal, 0x4A},
        {37, &Settings::bColourSet, 0x49},
        {38, &Settings::bColourTagN, 0x48},
        {39, &Settings::bColourTagG, 0x47},
        {40, &Settings::bTagColours, 0x96},
        {41, &Settings::bColourMenu, 0x46},
        {42, &Settings::bColourHistory, 0x45},
        {43, &Settings::bRenameKeepsArchive, 2},
        {44, &Settings::bOption44, 3},
        {45, &Settings::bHistoryWrap, 0x97},
        {46, &Settings::bHistoryOneChar, 0x98},
        {47, &Settings::bColourDirectory, 0x44},
        {48, &Settings::bColourVHitO, 0x43},
        {49, &Settings::bColourVHitC, 0x42},
        {50, &Settings::bUnnamed50, 0x99},
        {51, &Settings::bTabCaseNameOnly, 0x9A},
        {52, &Settings::bNoModeDetection, 2},
        {53, &Settings::bCondensedTree, 0x9B},
        {54, &Settings::bSearchSkip, 0x9C},
        {55, &Settings::bRestorePosCtrlFn, 0x9D},
        {56, &Settings::bKeepPosPerDir, 0x9E},
        {57, &Settings::bKeepViewPerDrive, 0x9F},
        {59, &Settings::bSpellSearch, 0xA0},
        {60, &Settings::bSpellPlusMinus, 0xA1},
        {61, &Settings::bSpellLessGreater, 0xA2},
        {62, &Settings::bSpellBrackets, 0xA3},
        {63, &Settings::bUnnamed63, 0xA4},
        {64, &Settings::bAutoRefresh, 2},
        {65, &Settings::bRestorePosAltSort, 0xA5},
        {66, &Settings::bNoEmptyTargetPrompt, 0xA6},
        {67, &Settings::bShowEditPrompt, 0xA7},
        {68, &Settings::bSearchHitOffset, 100},
        {69, &Settings::bErrorLogDialog, 2},
        {70, &Settings::bLogRetries, 1},
        {71, &Settings::bWindowSizing, 2},
        {72, &Settings::bCopyDonePrompt, 0xA8},
        {73, &Settings::bColourBrowse, 0x41},
        {102, &Settings::bSplitTabRefresh, 2},
        {103, &Settings::bSplitSortDifferent, 0xA9},
        {104, &Settings::bEbcdic, 0xAA},
        {105, &Settings::bTreespecTab, 0xAB},
        {106, &Settings::bSwapTabCtrlTab, 0xAC},
        {107, &Settings::bCmpIdentical, 4},
        {108, &Settings::bCmpUnique, 0xAD},
        {109, &Settings::bCmpNewer, 0xAE},
        {110, &Settings::bCmpOlder, 0xAF},
        {111, &Settings::bCmpBinary, 2},
        {112, &Settings::bCmpIgnoreCase, 0xB1},
        {113, &Settings::bCmpRemember, 4},
        {114, &Settings::bStatsPanels, 2},
        {115, &Settings::bHistoryBookmarks, 0xB2},
        {116, &Settings::bErrorTimeout, 8},
        {117, &Settings::bErrorDefault, 'N'},
        {118, &Settings::bSearchErrorDefault, 'R'},
        {119, &Settings::bCmpSize, 3},
        {120, &Settings::bTreeSortNumber, 0xB4},
        {121, &Settings::bTrailingQExact, 0xB5},
        {122, &Settings::bRightClickTags, 0xB6},
        {123, &Settings::bF5Refresh, 0xB7},
        {124, &Settings::bStampTimezone, 0xB8},
        {125, &Settings::bUnnamed125, 0xB9},
        {247, &Settings::bCtrlViewAtCurrent, 0xBA},
        {248, &Settings::bMenuCloses, 0xBB},
        {249, &Settings::bExecCloses, 0xBC},
        {250, &Settings::bPartialUntag, 0xBD},
        {251, &Settings::bFilePagingLikeDir, 0xBE},
        {252, &Settings::bCopyAttrDefaults, 0x92},
        {253, &Settings::bCtrlAltArrowsTag, 0xBF},
        {254, &Settings::bNoFileColours, 0xC0},
        {255, &Settings::bBookmarksWrap, 0xC1},
        {258, &Settings::bSwapLogKeys, 0xC2},
        {259, &Settings::bRestorePosF3, 0xC3},
        {260, &Settings::bArchiveListFor, 5},
        {261, &Settings::bNoMatchAccess, 2},
        {262, &Settings::bKilo1000, 0xC4},
        {263, &Settings::bRefreshOnEnter, 2},
        {264, &Settings::bIgnoreHour, 0xC5},
        {265, &Settings::bIgnoreTwoSeconds, 0xC6},
        {266, &Settings::bSortAnsi, 0xC7},
        {267, &Settings::bF2F11Anywhere, 0xC8},
        {268, &Settings::bRefreshOnExit, 2},
        {269, &Settings::bPathMode, 2},
        {270, &Settings::bAltCopyRelative, 0xC9},
        {271, &Settings::bUnnamed271, 0xCA},
        {278, &Settings::bDirBypassesSmallFw, 0xCC},
        {279, &Settings::bUnnamed279, 0xCD},
    };
    for (const ByteCase& c : bytes) {
        SCOPED_TRACE("byte at " + std::to_string(c.offset));
        Decode(IniImage('?').Byte(c.offset, c.value));
        EXPECT_EQ(gSettings.*c.field, c.value);
    }
    // Empty file windows may be entered only as far as windows without
    // matches, so byte 58 is read beside byte 261.
    Decode(IniImage('?').Byte(58, 2).Byte(261, 2));
    EXPECT_EQ(gSettings.bEmptyWindowAccess, 2);
}

TEST_F(IniTest, FieldsWithAFixedSetOfValuesNeverLeaveIt) {
    // Every value of each such byte, as a hand edit or a damaged file may
    // hold it: values of the set are kept, any other reads as the field's
    // replacement.
    struct Case {
        size_t offset;
        BYTE Settings::*field;
        BYTE highest;
        BYTE replacement;
    } cases[] = {
        {16, &Settings::bRecycleBin, 3, 0},        {21, &Settings::bPruneConfirm, 2, 0},
        {25, &Settings::bHideDirs, 3, 0},          {27, &Settings::bOverrideAttributes, 3, 0},
        {28, &Settings::bRenameProtection, 3, 0},  {43, &Settings::bRenameKeepsArchive, 2, 0},
        {44, &Settings::bOption44, 3, 0},          {52, &Settings::bNoModeDetection, 2, 0},
        {58, &Settings::bEmptyWindowAccess, 2, 0}, {64, &Settings::bAutoRefresh, 2, 2},
        {68, &Settings::bSearchHitOffset, 100, 0}, {69, &Settings::bErrorLogDialog, 2, 0},
        {70, &Settings::bLogRetries, 1, 0},        {71, &Settings::bWindowSizing, 2, 0},
        {102, &Settings::bSplitTabRefresh, 2, 0},  {107, &Settings::bCmpIdentical, 4, 0},
        {111, &Settings::bCmpBinary, 2, 0},        {113, &Settings::bCmpRemember, 4, 0},
        {114, &Settings::bStatsPanels, 2, 0},      {116, &Settings::bErrorTimeout, 8, 0},
        {119, &Settings::bCmpSize, 3, 0},          {261, &Settings::bNoMatchAccess, 2, 0},
        {263, &Settings::bRefreshOnEnter, 2, 0},   {268, &Settings::bRefreshOnExit, 2, 0},
        {269, &Settings::bPathMode, 2, 0},
    };
    for (const Case& c : cases) {
        for (unsigned value = 0; value <= 0xFF; value++) {
            IniImage image('?');
            // Windows without matches as open as can be, so that byte 58
            // is limited by its own set only.
            if (c.offset != 261) image.Byte(261, 2);
            Decode(image.Byte(c.offset, static_cast<uint8_t>(value)));
            const BYTE expected = value <= c.highest ? static_cast<BYTE>(value) : c.replacement;
            if (gSettings.*c.field != expected) {
                ADD_FAILURE() << "byte " << c.offset << " of " << value << " reads as "
                              << unsigned(gSettings.*c.field) << ", not " << unsigned(expected);
                break;
            }
        }
    }
}

TEST_F(IniTest, RangeRulesOfWordsAndSharedFields) {
    struct Case {
        const char* what;
        IniImage image;
        size_t offset; // of the field read back
        size_t width;
        unsigned expected;
    } cases[] = {
        {"date format 5 is kept", IniImage('?').Word(8, 5), 8, 2, 5},
        {"date format 6 reads as 0", IniImage('?').Word(8, 6), 8, 2, 0},
        {"date format 0x0500 reads as 0", IniImage('?').Word(8, 0x0500), 8, 2, 0},
        {"logging method 3 reads as 0", IniImage('?').Word(6, 3), 6, 2, 0},
        {"logging method 0xFF02 reads as 0", IniImage('?').Word(6, 0xFF02), 6, 2, 0},
        {"display mode 4 reads as 0", IniImage('?').Word(272, 4), 272, 2, 0},
        {"sort method 4 is kept", IniImage('?').Word(274, 4), 274, 2, 4},
        {"unused sort method 5 reads as 0", IniImage('?').Word(274, 5), 274, 2, 0},
        {"unused sort method 6 reads as 0", IniImage('?').Word(274, 6), 274, 2, 0},
        {"sort method 7 is kept", IniImage('?').Word(274, 7), 274, 2, 7},
        {"sort method 12 is kept", IniImage('?').Word(274, 12), 274, 2, 12},
        {"sort method 13 reads as 0", IniImage('?').Word(274, 13), 274, 2, 0},
        {"any sort order is kept", IniImage('?').Word(276, 0xFFFF), 276, 2, 0xFFFF},
        {"a syntax limit of 0xFFFF (None) is kept", IniImage('?').Word(126, 0xFFFF), 126, 2,
         0xFFFF},
        {"empty windows lowered to windows without matches", IniImage('?').Byte(58, 2).Byte(261, 1),
         58, 1, 1},
        {"empty windows with no access to windows without matches",
         IniImage('?').Byte(58, 1).Byte(261, 0), 58, 1, 0},
        {"empty windows follow a damaged byte 261 that reads as 0",
         IniImage('?').Byte(58, 2).Byte(261, 9), 58, 1, 0},
        {"error dialog answer 0 reads as Cancel", IniImage('?').Byte(117, 0), 117, 1, 'C'},
        {"error dialog answer Skip is kept", IniImage('?').Byte(117, 'S'), 117, 1, 'S'},
        {"Ctrl-Search answer 0 reads as Cancel", IniImage('?').Byte(118, 0), 118, 1, 'C'},
        {"Ctrl-Search answer Retry is kept", IniImage('?').Byte(118, 'R'), 118, 1, 'R'},
        {"copy attributes of 192 or more lose the encryption default",
         IniImage('?').Byte(252, 0xC0), 252, 1, 0x00},
        {"encryption default 2 is kept", IniImage('?').Byte(252, 0x80), 252, 1, 0x80},
        {"an R default of 3 reads as =R", IniImage('?').Byte(252, 0xB2), 252, 1, 0x82},
        {"an A default above 2 reads as =A", IniImage('?').Byte(252, 0x6F), 252, 1, 0x60},
        {"every default at its highest is kept", IniImage('?').Byte(252, 0xA2), 252, 1, 0xA2},
        {"all three defaults damaged", IniImage('?').Byte(252, 0xFF), 252, 1, 0x00},
        {"rename protection 4 reads as 0", IniImage('?').Byte(28, 4), 28, 1, 0},
        {"rename protection 3 is kept", IniImage('?').Byte(28, 3), 28, 1, 3},
        {"MENU colour 0 reads as 0x3E", IniImage('?').Byte(41, 0), 41, 1, 0x3E},
        {"HISTORY colour 0 reads as 0x3E", IniImage('?').Byte(42, 0), 42, 1, 0x3E},
        {"MENU colour is kept", IniImage('?').Byte(41, 0x21), 41, 1, 0x21},
        {"HISTORY colour is kept", IniImage('?').Byte(42, 0x43), 42, 1, 0x43},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Decode(c.image);
        const BYTE* record = reinterpret_cast<const BYTE*>(&gSettings);
        unsigned got = record[c.offset];
        if (c.width == 2) {
            WORD word;
            std::memcpy(&word, record + c.offset, sizeof word);
            got = word;
        }
        EXPECT_EQ(got, c.expected);
    }
}

TEST_F(IniTest, WorkingValuesComeFromFieldsInRange) {
    struct Case {
        const char* what;
        IniImage image;
        WORD dateFormat, dateExtraWidth, logMethod;
        BYTE pruneConfirm, pathMode, statsPanels;
        WORD fileDisplayMode, sortMethod;
    } cases[] = {
        {"every field at its highest",
         IniImage('?')
             .Word(8, 5)
             .Word(6, 2)
             .Byte(21, 2)
             .Byte(269, 2)
             .Byte(114, 2)
             .Word(272, 3)
             .Word(274, 12),
         5, 2, 2, 2, 3, 2, 3, 12},
        {"every field past its set",
         IniImage('?')
             .Word(8, 6)
             .Word(6, 3)
             .Byte(21, 3)
             .Byte(269, 3)
             .Byte(114, 3)
             .Word(272, 4)
             .Word(274, 13),
         0, 0, 0, 0, 1, 0, 0, 0},
        {"bytes of 255 do not wrap the path mode",
         IniImage('?')
             .Word(8, 0xFFFF)
             .Word(6, 0xFFFF)
             .Byte(21, 255)
             .Byte(269, 255)
             .Byte(114, 255)
             .Word(272, 0xFFFF)
             .Word(274, 0xFFFF),
         0, 0, 0, 0, 1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        Decode(c.image);
        const IniWorkingValues& w = gIniWorking;
        EXPECT_EQ(w.dateFormat, c.dateFormat);
        EXPECT_EQ(w.dateExtraWidth, c.dateExtraWidth);
        EXPECT_EQ(w.logMethod, c.logMethod);
        EXPECT_EQ(w.pruneConfirm, c.pruneConfirm);
        EXPECT_EQ(w.pathMode, c.pathMode);
        EXPECT_EQ(w.statsPanels, c.statsPanels);
        EXPECT_EQ(w.fileDisplayMode[0], c.fileDisplayMode);
        EXPECT_EQ(w.fileDisplayMode[1], c.fileDisplayMode);
        EXPECT_EQ(w.sortMethod[0], c.sortMethod);
        EXPECT_EQ(w.sortMethod[1], c.sortMethod);
    }
}

TEST_F(IniTest, BytesABadFileKeepsAreBroughtIntoRange) {
    // The record of a file with a wrong signature stays, apart from the
    // fields it resets; what it keeps is still brought into range.
    IniImage bad('?');
    bad.Byte(1, 'X').Word(8, 9).Byte(52, 7).Byte(64, 9).Byte(261, 1).Byte(58, 2);
    bad.Byte(269, 200).Word(274, 6).Byte(102, 3).Byte(54, 0x77);
    Decode(bad);
    EXPECT_EQ(gSettings.wDateFormat, 0);
    EXPECT_EQ(gSettings.bNoModeDetection, 0);
    EXPECT_EQ(gSettings.bAutoRefresh, 2);
    EXPECT_EQ(gSettings.bNoMatchAccess, 1);
    EXPECT_EQ(gSettings.bEmptyWindowAccess, 1);
    EXPECT_EQ(gSettings.bPathMode, 0);
    EXPECT_EQ(gSettings.wSortMethod, 0);
    EXPECT_EQ(gSettings.bSplitTabRefresh, 0);
    // A count has no set of values.
    EXPECT_EQ(gSettings.bSearchSkip, 0x77);
    EXPECT_EQ(gSettings.bErrorDefault, 'C');
    EXPECT_EQ(gSettings.bSearchErrorDefault, 'C');
}

// ---- versions ---------------------------------------------------------------

TEST_F(IniTest, OlderVersionsAreUpgraded) {
    // Each field below is written with a value a version that lacks it
    // would never have meant.
    struct Case {
        char version;
        uint8_t directory, vhitO, vhitC, browse; // colours 47, 48, 49, 73
        uint8_t copyAttr;                        // 252
        uint8_t errorTimeout, errorDefault;      // 116, 117 (0 reads as 'C')
        uint8_t cmpUnique, cmpOlder, cmpSize;    // 108, 110, 119
        uint8_t searchHit;                       // 68
        uint16_t syntaxLimit;                    // 126
        uint8_t statsPanels, splitSort;          // taken into the working values
        DWORD kilo;
        WORD startupKey;
    } cases[] = {
        {'1', 0x1E, 0x70, 0x3F, 0x70, 2, 0, 'C', 1, 0, 0, 0, 0, 0, 0, 1024, 2169},
        {'2', 0x1E, 0x70, 0x3F, 0x70, 2, 0, 'C', 1, 0, 0, 0, 0, 0, 0, 1024, 2169},
        {'3', 0x55, 0x56, 0x57, 0x58, 2, 0, 'C', 1, 0, 0, 0, 0, 0, 0, 1024, 2169},
        {'4', 0x55, 0x56, 0x57, 0x58, 0x91, 0, 'C', 1, 0, 0, 0, 0, 0, 0, 1024, 2169},
        {'5', 0x55, 0x56, 0x57, 0x58, 0x91, 0, 'C', 1, 0, 0, 0, 0, 0, 0, 1000, 0},
        {'8', 0x55, 0x56, 0x57, 0x58, 0x91, 0, 'C', 1, 0, 0, 0, 0, 0, 0, 1000, 0},
        {'9', 0x55, 0x56, 0x57, 0x58, 0x91, 3, 'R', 1, 0, 0, 0, 0, 0, 0, 1000, 0},
        {':', 0x55, 0x56, 0x57, 0x58, 0x91, 3, 'R', 1, 0, 0, 0, 0, 0, 0, 1000, 0},
        {';', 0x55, 0x56, 0x57, 0x58, 0x91, 3, 'R', 1, 0, 0, 0, 0, 2, 0, 1000, 0},
        {'<', 0x55, 0x56, 0x57, 0x58, 0x91, 3, 'R', 0, 2, 3, 0, 0, 2, 0, 1000, 0},
        {'=', 0x55, 0x56, 0x57, 0x58, 0x91, 3, 'R', 0, 2, 3, 0, 0, 2, 1, 1000, 0},
        {'>', 0x55, 0x56, 0x57, 0x58, 0x91, 3, 'R', 0, 2, 3, 50, 0, 2, 1, 1000, 0},
        {'?', 0x55, 0x56, 0x57, 0x58, 0x91, 3, 'R', 0, 2, 3, 50, 0x1234, 2, 1, 1000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("version ") + c.version);
        SetUp();
        IniImage image(c.version);
        image.Byte(32, 0x1E).Byte(34, 0x70);
        image.Byte(47, 0x55).Byte(48, 0x56).Byte(49, 0x57).Byte(73, 0x58);
        image.Byte(252, 0x91).Byte(116, 3).Byte(117, 'R').Byte(118, 'R');
        // The compare defaults, each the opposite of what an upgrade gives.
        for (size_t b = 105; b <= 113; b++)
            image.Byte(b, b == 108 || b == 109 || b == 112 ? 0 : 2);
        image.Byte(119, 3).Byte(68, 50).Word(126, 0x1234);
        image.Byte(114, 2).Byte(103, 1).Byte(262, 1);
        Read(image);
        EXPECT_EQ(gSettings.bColourDirectory, c.directory);
        EXPECT_EQ(gSettings.bColourVHitO, c.vhitO);
        EXPECT_EQ(gSettings.bColourVHitC, c.vhitC);
        EXPECT_EQ(gSettings.bColourBrowse, c.browse);
        EXPECT_EQ(gColourTable[COLOUR_DIRECTORY], c.directory);
        EXPECT_EQ(gSettings.bCopyAttrDefaults, c.copyAttr);
        EXPECT_EQ(gSettings.bErrorTimeout, c.errorTimeout);
        EXPECT_EQ(gSettings.bErrorDefault, c.errorDefault);
        EXPECT_EQ(gSettings.bSearchErrorDefault, c.errorDefault);
        EXPECT_EQ(gSettings.bCmpUnique, c.cmpUnique);
        EXPECT_EQ(gSettings.bCmpNewer, c.cmpUnique);
        EXPECT_EQ(gSettings.bCmpOlder, c.cmpOlder);
        EXPECT_EQ(gSettings.bCmpIgnoreCase, c.cmpUnique);
        EXPECT_EQ(gSettings.bCmpRemember, c.cmpOlder);
        EXPECT_EQ(gSettings.bCmpSize, c.cmpSize);
        EXPECT_EQ(gSettings.bSearchHitOffset, c.searchHit);
        EXPECT_EQ(gSettings.wSyntaxLimit, c.syntaxLimit);
        EXPECT_EQ(gIniWorking.statsPanels, c.statsPanels);
        EXPECT_EQ(gIniWorking.splitSortDifferent, c.splitSort);
        EXPECT_EQ(gKiloUnit, c.kilo);
        EXPECT_EQ(gIniStartupKey, c.startupKey);
    }
}

TEST_F(IniTest, StartupKeyOnlyOnTheFirstReadOfAnOldFile) {
    KeyPushStack.count = 0;
    Read(IniImage('4'), 0);
    EXPECT_EQ(gIniStartupKey, 0);
    EXPECT_EQ(KeyPushStack.count, 0);
    Read(IniImage('5'), 1);
    EXPECT_EQ(gIniStartupKey, 0) << "a file of version '5' or later";
    EXPECT_EQ(KeyPushStack.count, 0);
    Read(IniImage('4'), 1);
    EXPECT_EQ(gIniStartupKey, INI_STARTUP_KEY_OLD_FILE);
    ASSERT_EQ(KeyPushStack.count, 1) << "the first key the program reads";
    EXPECT_EQ(KeyPushStack.keys[0], 2169);
    KeyPushStack.count = 0;
}

TEST_F(IniTest, DateAndClockTextsFollowTheFile) {
    for (WORD format : {WORD(0), WORD(2), WORD(5)}) {
        Read(IniImage('?').Word(8, format).Byte(12, format == 2 ? 1 : 0));
        EXPECT_EQ(gDateFormat, format);
        EXPECT_EQ(gTwelveHourClock, format == 2 ? 1u : 0u);
    }
    gDateFormat = 1;
    gTwelveHourClock = 0;
}

TEST_F(IniTest, CommandLineStatisticsPanelsWin) {
    gStatsPanelsFromCommandLine = TRUE;
    gIniWorking.statsPanels = 1;
    Read(IniImage('?').Byte(114, 2));
    EXPECT_EQ(gIniWorking.statsPanels, 1);
}

TEST_F(IniTest, ReReadKeepsThePanes) {
    Read(IniImage('?').Word(272, 3).Word(274, 9).Word(276, 1).Byte(254, 1).Byte(53, 1), 1);
    Read(IniImage('?').Word(272, 1).Word(274, 2).Word(276, 0).Byte(254, 0).Byte(53, 0), 0);
    EXPECT_EQ(gIniWorking.fileDisplayMode[0], 3);
    EXPECT_EQ(gIniWorking.sortMethod[1], 9);
    EXPECT_EQ(gIniWorking.sortOrder[0], 1);
    EXPECT_EQ(gIniWorking.noFileColours, 1);
    // Values that are not pane state follow the new file.
    EXPECT_EQ(gIniWorking.treeIndent, 3);
    EXPECT_EQ(gSettings.bNoFileColours, 0);
}

// ---- strings ------------------------------------------------------------------

TEST_F(IniTest, StringsOfEachVersion) {
    struct Case {
        const char* what;
        IniImage image;
        const char *editor, *altEditor, *viewer, *altViewer, *compare, *altCompare;
        const char* tools; // "#QBTools" afterwards
    } cases[] = {
        {"version 1 keeps its commands in the record and has no strings",
         IniImage('1').RecordText(128, "ed1").RecordText(183, "view1").String("ignored"), "ed1",
         "ed1", "view1", "", "", "", "(start-up)"},
        {"version 4 has the four editor and viewer strings",
         IniImage('4')
             .String("ed")
             .String("alted")
             .String("vw")
             .String("altvw")
             .String("cmp %2")
             .String("altcmp %2"),
         "ed", "alted", "vw", "altvw", "", "", "(start-up)"},
        {"version 5 adds the compare commands",
         IniImage('5').String("ed").String("").String("vw").String("").String("cmp %2").String(
             "altcmp %4"),
         "ed", "ed", "vw", "", "cmp %2", "altcmp %4", "(start-up)"},
        {"version 9 still has no tools path",
         IniImage('9').String("").String("").String("").String("").String("").String("").String(
             "C:\\ignored"),
         "qt-visual-editor", "qt-visual-editor", "", "", "", "", "(start-up)"},
        {"version : adds the tools path",
         IniImage(':').String("").String("").String("").String("").String("").String("").String(
             "C:\\tools\\"),
         "qt-visual-editor", "qt-visual-editor", "", "", "", "", "C:\\tools"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        qtest::ScopedEnv tools{"#QBTools", "(start-up)"};
        Read(c.image);
        EXPECT_STREQ(gEditorCmd, c.editor);
        EXPECT_STREQ(gAltEditorCmd, c.altEditor);
        EXPECT_STREQ(gViewerCmd, c.viewer);
        EXPECT_STREQ(gAltViewerCmd, c.altViewer);
        EXPECT_STREQ(gCompareCmd, c.compare);
        EXPECT_STREQ(gAltCompareCmd, c.altCompare);
        EXPECT_EQ(Env("#QBTools"), c.tools);
    }
}

TEST_F(IniTest, DamagedStringsAreNeverReadPastTheFile) {
    struct Case {
        const char* what;
        IniImage image;
        const char *editor, *altEditor, *viewer, *altViewer;
    } cases[] = {
        {"the file ends inside the second string",
         IniImage('?').String("ed").Raw(std::string("\x40", 1) + "abc"), "ed", "ed", "", ""},
        {"the file ends after a length byte", IniImage('?').String("ed").String("alt").Raw("\x05"),
         "ed", "alt", "", ""},
        {"the file ends right after the record", IniImage('?'), "qt-visual-editor",
         "qt-visual-editor", "", ""},
        {"a later string does not come back after a damaged one",
         IniImage('?').String("ed").Raw(std::string("\xF0", 1) + "vw"), "ed", "ed", "", ""},
        {"an old record editor that fills its room",
         IniImage('1').RecordText(128, std::string(55, 'e')).RecordText(183, "vw"),
         "eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee",
         "eeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeeee", "vw", ""},
        {"an old record viewer that runs to the end of the record",
         IniImage('1').RecordText(183, std::string(97, 'w')), "qt-visual-editor",
         "qt-visual-editor", nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        Read(c.image);
        EXPECT_STREQ(gEditorCmd, c.editor);
        EXPECT_STREQ(gAltEditorCmd, c.altEditor);
        if (c.viewer)
            EXPECT_STREQ(gViewerCmd, c.viewer);
        else
            EXPECT_EQ(std::string(gViewerCmd), std::string(97, 'w'));
        EXPECT_STREQ(gAltViewerCmd, c.altViewer);
    }
    // A full-length string is taken whole when the file holds it.
    SetUp();
    Read(IniImage('?').String("ed").String("alt").String(std::string(255, 'v')).String("x"));
    EXPECT_EQ(std::string(gViewerCmd), std::string(255, 'v'));
    EXPECT_STREQ(gAltViewerCmd, "x");
}

TEST_F(IniTest, EditorCommands) {
    struct Case {
        const char* what;
        const char* commandLine; // gEditorCmd before the first read
        const char* first;       // the file's Editor at the first read
        const char* second;      // ... and after the configuration program
        const char* afterFirst;
        BOOL singleAfterFirst;
        const char* afterSecond;
        BOOL singleAfterSecond;
    } cases[] = {
        {"the file's editor", "", "ed1", "ed2", "ed1", FALSE, "ed2", FALSE},
        {"an empty editor is the user's", "", "", "", "qt-visual-editor", FALSE, "qt-visual-editor",
         FALSE},
        {"[SINGLE] is cut with its blank", "", "ed1 [SINGLE]", "ed2", "ed1", TRUE, "ed2", FALSE},
        {"[SINGLE] alone leaves the user's editor", "", "[SINGLE]", "ed2 [SINGLE] -x",
         "qt-visual-editor", TRUE, "ed2", TRUE},
        {"the command line's editor wins on every read", "cl-ed", "ed1", "ed2", "cl-ed", FALSE,
         "cl-ed", FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        std::strcpy(gEditorCmd, c.commandLine);
        Read(IniImage('?').String(c.first).String(""), 1);
        EXPECT_STREQ(gEditorCmd, c.afterFirst);
        EXPECT_STREQ(gAltEditorCmd, c.afterFirst);
        EXPECT_EQ(gSingleInstanceEditor, c.singleAfterFirst);
        Read(IniImage('?').String(c.second).String(""), 0);
        EXPECT_STREQ(gEditorCmd, c.afterSecond);
        EXPECT_EQ(gSingleInstanceEditor, c.singleAfterSecond);
    }
}

TEST_F(IniTest, EditorTooLongForItsRoomIsNotCut) {
    std::string longEditor(300, 'x');
    qtest::ScopedEnv longVisual{"VISUAL", longEditor.c_str()};
    Read(IniImage('?'));
    EXPECT_STREQ(gEditorCmd, "");
    EXPECT_STREQ(gAltEditorCmd, "");
}

TEST_F(IniTest, CommandsAreResolvedToTheirPrograms) {
    const std::string editor = Narrow(Program("qt-ini-editor"));
    const std::string viewer = Narrow(Program("qt-ini-viewer"));
    Read(IniImage('?')
             .String("qt-ini-editor -f [SINGLE]")
             .String("")
             .String("qt-ini-viewer")
             .String("START qt-ini-viewer -x")
             .String("qt-ini-viewer [SFN] -y")
             .String("qt-ini-viewer"));
    EXPECT_EQ(std::string(gEditorCmd), editor + " -f");
    EXPECT_EQ(std::string(gAltEditorCmd), editor + " -f");
    EXPECT_TRUE(gSingleInstanceEditor);
    EXPECT_EQ(std::string(gViewerCmd), viewer);
    EXPECT_EQ(std::string(gAltViewerCmd), "START " + viewer + " -x");
    // The compares name their files before the program is resolved: options
    // after "[SFN]" give way to them.
    EXPECT_EQ(std::string(gCompareCmd), viewer + " %2 %3");
    EXPECT_EQ(std::string(gAltCompareCmd), viewer + " %4 %5");
}

TEST_F(IniTest, CompareCommandsGetTheirFiles) {
    struct Case {
        const char* what;
        const char* command;
        const char* expected;
    } cases[] = {
        {"[SFN] and what follows give way to %2 %3", "nocmp [SFN] -w -b", "nocmp %2 %3"},
        {"a command without parameters gets %4 %5", "nocmp", "nocmp %4 %5"},
        {"a command naming %2 is kept", "nocmp -a %2 %1", "nocmp -a %2 %1"},
        {"a command naming %4 is kept", "nocmp %4.%5", "nocmp %4.%5"},
        {"an empty command stays empty", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        Read(IniImage('?').String("").String("").String("").String("").String(c.command).String(
            c.command));
        EXPECT_STREQ(gCompareCmd, c.expected);
        EXPECT_STREQ(gAltCompareCmd, c.expected);
    }
}

TEST_F(IniTest, ToolsPath) {
    qtest::ScopedEnv base{"QT_INI_TOOLS", "C:\\qt-tools"};
    const std::u16string data = WinPath(dir.Sub("data"));
    struct Case {
        const char* what;
        std::string text;
        std::u16string expected;
    } cases[] = {
        {"a variable is expanded", "%QT_INI_TOOLS%\\sub", u"C:\\qt-tools\\sub"},
        {"a trailing backslash goes", "C:\\plain\\", u"C:\\plain"},
        {"a drive root keeps its backslash", "D:\\", u"D:\\"},
        {"an empty path is the data folder", "", data},
        {"a path whose variable is too long is the data folder", "%QT_INI_HUGE%", data},
    };
    std::string huge(2000, 'h');
    qtest::ScopedEnv hugeVar{"QT_INI_HUGE", huge.c_str()};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        Read(IniImage('?').String("").String("").String("").String("").String("").String("").String(
            c.text));
        EXPECT_EQ(std::u16string(gToolsDir), c.expected);
        EXPECT_EQ(Env("#QBTools"), Narrow(c.expected));
    }
}

// ---- golden files ------------------------------------------------------------
//
// The files of tests/settings/data (written by make-fixtures.py there) are
// read as the program reads QBK.INI, and everything the reader produces is
// compared, one "name=value" line per value, with the dump beside each file.

enum class Shown { Number, Hex, Char };

struct DumpedField {
    size_t offset;
    const char* name;
    size_t width; // 1 or 2 bytes
    Shown shown;
};

// The record's fields that the upgrades, the defaults, the resets of a bad
// file and the range rules set, and a few that only a valid file changes.
constexpr DumpedField kDumpedFields[] = {
    {0, "wSignature", 2, Shown::Hex},
    {2, "bVersion", 1, Shown::Char},
    {4, "wScreenRows", 2, Shown::Number},
    {6, "wLogMethod", 2, Shown::Number},
    {8, "wDateFormat", 2, Shown::Number},
    {16, "bRecycleBin", 1, Shown::Number},
    {17, "bQuitConfirm", 1, Shown::Number},
    {21, "bPruneConfirm", 1, Shown::Number},
    {25, "bHideDirs", 1, Shown::Number},
    {27, "bOverrideAttributes", 1, Shown::Number},
    {28, "bRenameProtection", 1, Shown::Number},
    {29, "bHighlightDefaults", 1, Shown::Number},
    {32, "bColourNormal", 1, Shown::Hex},
    {33, "bColourFrames", 1, Shown::Hex},
    {34, "bColourBar", 1, Shown::Hex},
    {35, "bThousandsSep", 1, Shown::Char},
    {36, "bColourGlobal", 1, Shown::Hex},
    {37, "bColourSet", 1, Shown::Hex},
    {38, "bColourTagN", 1, Shown::Hex},
    {39, "bColourTagG", 1, Shown::Hex},
    {41, "bColourMenu", 1, Shown::Hex},
    {42, "bColourHistory", 1, Shown::Hex},
    {43, "bRenameKeepsArchive", 1, Shown::Number},
    {44, "bOption44", 1, Shown::Number},
    {45, "bHistoryWrap", 1, Shown::Number},
    {47, "bColourDirectory", 1, Shown::Hex},
    {48, "bColourVHitO", 1, Shown::Hex},
    {49, "bColourVHitC", 1, Shown::Hex},
    {51, "bTabCaseNameOnly", 1, Shown::Number},
    {52, "bNoModeDetection", 1, Shown::Number},
    {55, "bRestorePosCtrlFn", 1, Shown::Number},
    {56, "bKeepPosPerDir", 1, Shown::Number},
    {57, "bKeepViewPerDrive", 1, Shown::Number},
    {58, "bEmptyWindowAccess", 1, Shown::Number},
    {64, "bAutoRefresh", 1, Shown::Number},
    {68, "bSearchHitOffset", 1, Shown::Number},
    {69, "bErrorLogDialog", 1, Shown::Number},
    {70, "bLogRetries", 1, Shown::Number},
    {71, "bWindowSizing", 1, Shown::Number},
    {73, "bColourBrowse", 1, Shown::Hex},
    {102, "bSplitTabRefresh", 1, Shown::Number},
    {103, "bSplitSortDifferent", 1, Shown::Number},
    {105, "bTreespecTab", 1, Shown::Number},
    {106, "bSwapTabCtrlTab", 1, Shown::Number},
    {107, "bCmpIdentical", 1, Shown::Number},
    {108, "bCmpUnique", 1, Shown::Number},
    {109, "bCmpNewer", 1, Shown::Number},
    {110, "bCmpOlder", 1, Shown::Number},
    {111, "bCmpBinary", 1, Shown::Number},
    {112, "bCmpIgnoreCase", 1, Shown::Number},
    {113, "bCmpRemember", 1, Shown::Number},
    {114, "bStatsPanels", 1, Shown::Number},
    {116, "bErrorTimeout", 1, Shown::Number},
    {117, "bErrorDefault", 1, Shown::Char},
    {118, "bSearchErrorDefault", 1, Shown::Char},
    {119, "bCmpSize", 1, Shown::Number},
    {126, "wSyntaxLimit", 2, Shown::Number},
    {252, "bCopyAttrDefaults", 1, Shown::Hex},
    {254, "bNoFileColours", 1, Shown::Number},
    {256, "wScreenCols", 2, Shown::Number},
    {260, "bArchiveListFor", 1, Shown::Number},
    {261, "bNoMatchAccess", 1, Shown::Number},
    {262, "bKilo1000", 1, Shown::Number},
    {263, "bRefreshOnEnter", 1, Shown::Number},
    {268, "bRefreshOnExit", 1, Shown::Number},
    {269, "bPathMode", 1, Shown::Number},
    {272, "wFileDisplayMode", 2, Shown::Number},
    {274, "wSortMethod", 2, Shown::Number},
    {276, "wSortOrder", 2, Shown::Number},
};

constexpr const char* kColourSlotNames[COLOUR_SLOTS] = {
    "MENU",        "VHITC",    "VHITO",  "DIRECTORY",   "TAGG",      "TAGN",
    "NORMAL_COPY", "BROWSE",   "BAR",    "DIMMED",      "DMGLOBAL",  "GLOBAL",
    "FRAMES",      "DMNORMAL", "NORMAL", "FRAMES_COPY", "KEYLETTER",
};

std::string Shows(unsigned value, Shown shown) {
    std::ostringstream out;
    if (shown == Shown::Hex)
        out << "0x" << std::uppercase << std::hex << std::setfill('0') << std::setw(2) << value;
    else
        out << value;
    if (shown == Shown::Char && value >= 0x20 && value < 0x7F)
        out << " '" << static_cast<char>(value) << "'";
    return out.str();
}

std::string CodePoint(WCHAR c) {
    std::ostringstream out;
    out << "U+" << std::uppercase << std::hex << std::setfill('0') << std::setw(4)
        << static_cast<unsigned>(c);
    return out.str();
}

template <typename T> std::string Pair(const T (&values)[2]) {
    return std::to_string(values[0]) + "," + std::to_string(values[1]);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Everything ReadIniSettings produces, one line per value.
std::string DumpIniSettings() {
    std::ostringstream out;
    auto line = [&out](const std::string& name, const std::string& value) {
        out << name << '=' << value << '\n';
    };
    auto number = [](unsigned value) { return std::to_string(value); };
    const IniWorkingValues& w = gIniWorking;
    line("screenRows", number(w.screenRows));
    line("rowAdjust", std::to_string(w.rowAdjust));
    line("screenCols", number(w.screenCols));
    line("colAdjust", std::to_string(w.colAdjust));
    line("logMethod", number(w.logMethod));
    line("dateFormat", number(w.dateFormat));
    line("dateExtraWidth", number(w.dateExtraWidth));
    line("time12Hour", number(w.time12Hour));
    line("printHeaders", number(w.printHeaders));
    line("scrollTrack", CodePoint(w.scrollTrack));
    line("scrollThumb", CodePoint(w.scrollThumb));
    line("scrollDown", CodePoint(w.scrollDown));
    line("scrollUp", CodePoint(w.scrollUp));
    line("barMode", number(w.barMode));
    line("pruneConfirm", number(w.pruneConfirm));
    line("briefExecHeadings", number(w.briefExecHeadings));
    line("treeSortNumber", number(w.treeSortNumber));
    line("treeIndent", number(w.treeIndent));
    line("sortAnsi", Pair(w.sortAnsi));
    line("pathMode", number(w.pathMode));
    line("searchSkip", number(w.searchSkip));
    line("dirBypassesSmallWindow", number(w.dirBypassesSmallWindow));
    line("tagColours", number(w.tagColours));
    line("statsPanels", number(w.statsPanels));
    line("splitSortDifferent", number(w.splitSortDifferent));
    line("fileDisplayMode", Pair(w.fileDisplayMode));
    line("sortMethod", Pair(w.sortMethod));
    line("sortOrder", Pair(w.sortOrder));
    line("noFileColours", number(w.noFileColours));
    line("gKiloUnit", number(gKiloUnit));
    line("gThousandsSep", Shows(static_cast<BYTE>(gThousandsSep), Shown::Char));
    line("gIniStartupKey", number(gIniStartupKey));
    line("gSingleInstanceEditor", number(static_cast<unsigned>(gSingleInstanceEditor)));
    line("gEditorCmd", gEditorCmd);
    line("gAltEditorCmd", gAltEditorCmd);
    line("gViewerCmd", gViewerCmd);
    line("gAltViewerCmd", gAltViewerCmd);
    line("gCompareCmd", gCompareCmd);
    line("gAltCompareCmd", gAltCompareCmd);
    line("gToolsDir", Narrow(gToolsDir));
    line("#QBTools", Env("#QBTools"));
    const BYTE* record = reinterpret_cast<const BYTE*>(&gSettings);
    for (const DumpedField& f : kDumpedFields) {
        unsigned value = record[f.offset];
        if (f.width == 2) {
            WORD word;
            std::memcpy(&word, record + f.offset, sizeof word);
            value = word;
        }
        line("record." + std::to_string(f.offset) + "." + f.name, Shows(value, f.shown));
    }
    for (int slot = 0; slot < COLOUR_SLOTS; slot++)
        line("colour." + std::to_string(slot) + "." + kColourSlotNames[slot],
             Shows(gColourTable[slot], Shown::Hex));
    return out.str();
}

TEST_F(IniTest, GoldenFiles) {
    const std::string data = QUILB_SETTINGS_DATA;
    struct Case {
        const char* file; // null: no file at the settings path
        const char* dump;
    } cases[] = {
        {"version-1.ini", "version-1.expected"},
        {"version-4.ini", "version-4.expected"},
        {"version-9.ini", "version-9.expected"},
        {"version-semicolon.ini", "version-semicolon.expected"},
        {"version-current.ini", "version-current.expected"},
        {"bad-signature.ini", "bad-signature.expected"},
        {"short.ini", "short.expected"},
        {nullptr, "missing.expected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dump);
        SetUp();
        qtest::ScopedEnv tools{"#QBTools", "(start-up)"};
        const std::string file = c.file ? data + "/" + c.file : dir.Sub("none/QBK.INI");
        SetWide(gIniPath, SETTINGS_PATH_UNITS, WinPath(file));
        ReadIniSettings(1);
        const std::vector<std::string> expected = Lines(qtest::ReadFile(data + "/" + c.dump));
        ASSERT_FALSE(expected.empty()) << "no dump " << c.dump;
        const std::vector<std::string> got = Lines(DumpIniSettings());
        EXPECT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size() && i < expected.size(); i++)
            EXPECT_EQ(got[i], expected[i]);
    }
}

// ---- missing and bad files ----------------------------------------------------

TEST_F(IniTest, MissingShortAndUnsignedFilesTakeTheDefaults) {
    IniImage bad('?');
    bad.Byte(0, 'X').Byte(37, 0x47).Byte(35, '_').Byte(16, 0).Byte(17, 0).Byte(28, 0).Byte(45, 1);
    bad.Byte(32, 0x55).Byte(20, 1).Word(4, 99);
    struct Case {
        const char* what;
        bool write;
        std::string bytes;
        BYTE byte37; // a byte the defaults do not name
    } cases[] = {
        {"no file", false, "", 0},
        {"a wrong signature keeps the bytes it does not reset", true, bad.Bytes(), 0x47},
        {"a record cut short", true, IniImage('?').Byte(37, 0x47).Truncate(30).Bytes(), 0},
        {"an empty file", true, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        ::unlink(dir.Sub("QBK.INI").c_str());
        if (c.write) dir.Write("QBK.INI", c.bytes);
        gIniWorking.screenRows = 0;
        gIniWorking.screenCols = 0;
        ReadIniSettings(1);
        EXPECT_EQ(gSettings.bColourSet, c.byte37);
        EXPECT_EQ(gSettings.bThousandsSep, ',');
        EXPECT_EQ(gThousandsSep, ',');
        EXPECT_EQ(gSettings.bRecycleBin, 3);
        EXPECT_EQ(gSettings.bQuitConfirm, 1);
        EXPECT_EQ(gSettings.bRenameProtection, 1);
        EXPECT_EQ(gSettings.bHighlightDefaults, 1);
        EXPECT_EQ(gSettings.bHideDirs, 2);
        EXPECT_EQ(gSettings.bArchiveListFor, 1);
        EXPECT_EQ(gSettings.bCopyAttrDefaults, 2);
        EXPECT_EQ(gSettings.bCmpUnique, 1);
        EXPECT_EQ(gSettings.bCmpIgnoreCase, 1);
        EXPECT_EQ(gSettings.bHistoryWrap, 0);
        EXPECT_EQ(gSettings.wScreenRows, 43);
        EXPECT_EQ(gSettings.wScreenCols, 96);
        EXPECT_EQ(gIniWorking.screenRows, 43);
        EXPECT_EQ(gIniWorking.screenCols, 96);
        // The working values are not taken from a record that is not valid.
        EXPECT_EQ(gIniWorking.barMode, 0);
        const BYTE table[COLOUR_SLOTS] = {0x3E, 0x3F, 0x70, 0x1E, 0x1F, 0x1F, 0x1E, 0x70, 0x70,
                                          0x18, 0x1A, 0x1A, 0x1B, 0x1E, 0x1E, 0x1B, 0x1E};
        for (int slot = 0; slot < COLOUR_SLOTS; slot++)
            EXPECT_EQ(gColourTable[slot], table[slot]) << "slot " << slot;
        EXPECT_STREQ(gEditorCmd, "qt-visual-editor");
        EXPECT_STREQ(gAltEditorCmd, "qt-visual-editor");
        EXPECT_EQ(gIniStartupKey, 0);
    }
}

TEST_F(IniTest, AFileGoneAtAReReadGivesAFixedSize) {
    struct Case {
        const char* what;
        uint16_t rowsWord, colsWord;
        uint16_t rows;
        int16_t rowAdjust;
        uint16_t cols;
        int16_t colAdjust;
    } cases[] = {
        {"adjusted sizes become the default sizes", 20, 0xFFF0, 43, 0, 96, 0},
        {"the terminal's sizes become the default sizes", 0, 0, 43, 0, 96, 0},
        {"fixed sizes stay", 60, 132, 60, 0, 132, 0},
        {"AUTO stays", 0x7FFF, 0x7FFF, 0x7FFF, 0, 0x7FFF, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        Read(IniImage('?').Word(4, c.rowsWord).Word(256, c.colsWord));
        ::unlink(dir.Sub("QBK.INI").c_str());
        ReadIniSettings(0);
        EXPECT_EQ(gIniWorking.screenRows, c.rows);
        EXPECT_EQ(gIniWorking.rowAdjust, c.rowAdjust);
        EXPECT_EQ(gIniWorking.screenCols, c.cols);
        EXPECT_EQ(gIniWorking.colAdjust, c.colAdjust);
    }
}

// Anything at the settings path that is not a regular file (a fifo that
// nobody writes, a directory, a link to an endless device) is a missing
// file: the defaults apply at once, at start-up and at a re-read.
TEST_F(IniTest, SomethingOtherThanAFileCountsAsMissing) {
    const std::string ini = dir.Sub("QBK.INI");
    const struct {
        const char* what;
        int (*make)(const char* path);
    } cases[] = {
        {"a fifo", [](const char* p) { return ::mkfifo(p, 0644); }},
        {"a directory", [](const char* p) { return ::mkdir(p, 0755); }},
        {"a link to /dev/zero", [](const char* p) { return ::symlink("/dev/zero", p); }},
    };
    for (const auto& c : cases) {
        for (int firstLoad : {1, 0}) {
            SCOPED_TRACE(std::string(c.what) + (firstLoad ? ", start-up" : ", re-read"));
            SetUp();
            if (!firstLoad) Read(IniImage('?').Byte(45, 1).Byte(35, '.').String("ed1"));
            ::unlink(ini.c_str());
            ::rmdir(ini.c_str());
            ASSERT_EQ(c.make(ini.c_str()), 0);
            gIniWorking.screenRows = 0;
            ReadIniSettings(firstLoad); // a fifo read would never return
            EXPECT_EQ(gIniWorking.screenRows, 43);
            EXPECT_EQ(gSettings.bThousandsSep, ',');
            EXPECT_EQ(gSettings.bColourNormal, 0x1E);
            EXPECT_STREQ(gEditorCmd, "qt-visual-editor");
            ::unlink(ini.c_str());
            ::rmdir(ini.c_str());
        }
    }
}

// A re-read that finds no valid file gives the defaults whole: nothing of
// the file read before stays in the commands, the editor flag or the unit.
TEST_F(IniTest, ReReadWithoutAValidFileForgetsTheEarlierFile) {
    const std::string ini = dir.Sub("QBK.INI");
    const struct {
        const char* what;
        std::string bytes; // empty: no file
    } cases[] = {
        {"the file is gone", ""},
        {"the file has a wrong signature", IniImage('?').Byte(0, 'X').String("bad-ed").Bytes()},
        {"the file is cut inside the record", IniImage('?').Truncate(100).Bytes()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        Read(IniImage('?')
                 .Byte(262, 1)
                 .String("ed1 [SINGLE]")
                 .String("alt-ed")
                 .String("viewer1")
                 .String("alt-viewer")
                 .String("cmp1 %2")
                 .String("alt-cmp %4"));
        ASSERT_STREQ(gEditorCmd, "ed1");
        ASSERT_TRUE(gSingleInstanceEditor);
        ASSERT_EQ(gKiloUnit, 1000u);
        ::unlink(ini.c_str());
        if (!c.bytes.empty()) dir.Write("QBK.INI", c.bytes);
        ReadIniSettings(0);
        EXPECT_STREQ(gEditorCmd, "qt-visual-editor");
        EXPECT_STREQ(gAltEditorCmd, "qt-visual-editor");
        EXPECT_STREQ(gViewerCmd, "");
        EXPECT_STREQ(gAltViewerCmd, "");
        EXPECT_STREQ(gCompareCmd, "");
        EXPECT_STREQ(gAltCompareCmd, "");
        EXPECT_FALSE(gSingleInstanceEditor);
        EXPECT_EQ(gKiloUnit, 1024u);
    }
    // The command line's editor and viewer still win.
    SetUp();
    std::strcpy(gEditorCmd, "cl-ed");
    std::strcpy(gViewerCmd, "cl-viewer");
    Read(IniImage('?').String("ed1").String("").String("viewer1"));
    ::unlink(ini.c_str());
    ReadIniSettings(0);
    EXPECT_STREQ(gEditorCmd, "cl-ed");
    EXPECT_STREQ(gViewerCmd, "cl-viewer");
}

// ---- locating the file ---------------------------------------------------------

TEST_F(IniTest, FileIsLocatedAndItsPathExported) {
    gIniPath[0] = 0;
    dir.Write("data/QBK.INI", IniImage('?').Byte(69, 1).Bytes());
    ReadIniSettings(1);
    const std::u16string expected = WinPath(dir.Sub("data/QBK.INI"));
    EXPECT_EQ(std::u16string(gIniPath), expected);
    EXPECT_EQ(Env("#QBIniPath"), Narrow(expected));
    EXPECT_EQ(gSettings.bErrorLogDialog, 1);
}

TEST_F(IniTest, SettingsFileNamedOnTheCommandLine) {
    gIniPath[0] = 0;
    dir.Write("data/QBK.INI", IniImage('?').Byte(69, 1).Bytes());
    dir.Write("elsewhere/MY.INI", IniImage('?').Byte(69, 2).Bytes());
    SetWide(gIniFileOption, SETTINGS_PATH_UNITS, WinPath(dir.Sub("elsewhere/MY.INI")));
    ReadIniSettings(1);
    EXPECT_EQ(gSettings.bErrorLogDialog, 2);
    EXPECT_EQ(Env("#QBIniPath"), Narrow(WinPath(dir.Sub("elsewhere/MY.INI"))));

    // A name that is not found falls back to QBK.INI.
    gIniPath[0] = 0;
    SetWide(gIniFileOption, SETTINGS_PATH_UNITS, u"NOSUCH.INI");
    ReadIniSettings(1);
    EXPECT_EQ(gSettings.bErrorLogDialog, 1);
}

TEST_F(IniTest, NoFileAnywhereLeavesThePathEmpty) {
    gIniPath[0] = 0;
    ReadIniSettings(1);
    EXPECT_EQ(gIniPath[0], 0);
    EXPECT_EQ(Env("#QBIniPath"), "(unset)");
    EXPECT_EQ(gSettings.bRecycleBin, 3);
}

} // namespace
