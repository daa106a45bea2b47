// Logged-volume files: the line and switch encodings, the record layouts at
// their byte offsets, save-then-load of whole trees and pane state, merges,
// refused files that leave the tree as it was, and saves that fail part way.
#include "settings/qlog.h"

#include "fixture.h"
#include "qlog_fixture.h"
#include "internal/sys.h"
#include "main/window_state.h"
#include "qposix_path.h"
#include "settings/path_lists.h"
#include "tree/dir_counts.h"
#include "tree/filter.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "tree_builder.h"
#include "ui/progress.h"
#include "ui/ui_test_hook.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using qtest::NarrowText;
using qlogtest::Dir;
using qlogtest::DumpTrees;
using qlogtest::Units;
using qlogtest::WinPath;

class QlogTest : public qlogtest::QlogFixture {
  protected:
    // Two disks: escaped names, tags in both panes, dates, a collapsed and
    // a hidden directory.
    void BuildTwoDisks() {
        DiskInfo* c = qtest::BuildTree('C', u"a\\b\\ a\\f.txt=120#3 top=5#1");
        c->dwSerial = 0x1234ABCD;
        std::strcpy(c->szLabel, "SYSTEM");
        c->qwTotalBytes = 1LL << 40;
        std::u16string saved = u"C:\\a\\b";
        std::copy(saved.begin(), saved.end(), c->wszSavedPath[1]);
        SubdirInfo* a = Dir(c, u"a");
        SubdirInfo* odd = qtest::BuildDir(c, std::u16string(u"line\nfeed \xDC80\xDCFF q\xDC5C\xDC2A\xDC3F|bar ") +
                                                 u"\U0001F600");
        odd->bExpanded = 0;
        qtest::BuildFiles(odd, {{u"\xDCE9t\xDC3F.bin", 7, {ENTRY_TAGGED | ENTRY_MATCHES, ENTRY_MATCHES}, 1700000000},
                                {u"x\ny", 3, {ENTRY_MATCHES, ENTRY_TAGGED}, 86400 * 400},
                                {u"A very long file name with blanks.text", 9, {2, 2}, 0}});
        a->dCreated = 0x07E80229;
        a->tAccessed = 0x00123456;
        Dir(c, u"a\\b")->bVisible = 0;
        qtest::BuildTree('E', u"music\\one.ogg=4000#1 music\\two.ogg=10");
        pdiCurrent = c;
        psiCurrent = a;
        RecountAllDisks();
    }

    std::string Save(const QlogPaneSwitches& switches = {}) {
        std::string image;
        EXPECT_TRUE(BuildQlogImage(switches, &image));
        return image;
    }
};

// ---- the line and switch encodings ------------------------------------------------

TEST_F(QlogTest, LinesCarryEveryUnitExactly) {
    struct Case {
        const char* what;
        std::u16string text;
        bool bookmark;
    };
    const Case cases[] = {
        {"plain ASCII", u"readme.txt", false},
        {"an empty text", u"", false},
        {"a line feed and a carriage return", u"a\nb\rc", false},
        {"escaped file-name bytes", u"\xDC80\xDCFF\xDCE9", false},
        {"the escapes of backslash, star and question mark", u"\xDC5C\xDC2A\xDC3F", false},
        {"the escape unit itself", u"\x0001" u"0041", false},
        {"BMP and a surrogate pair", u"Caf\u00E9 \u20AC \U0001F600", false},
        {"a lone high surrogate at the end", u"x\xD83D", false},
        {"a bar in a bookmark", u"C:\\a|b", true},
        {"a bar in a plain line stays a bar", u"a|b", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string line = EncodeQlogLine(c.text, c.bookmark);
        EXPECT_EQ(line.find('\n'), std::string::npos);
        if (c.bookmark) {
            EXPECT_EQ(line.find('|'), std::string::npos);
        }
        std::u16string back;
        ASSERT_TRUE(DecodeQlogLine(line, &back));
        EXPECT_EQ(Units(back), Units(c.text));
    }
}

TEST_F(QlogTest, MalformedLinesAreRefused) {
    const std::pair<const char*, std::string> cases[] = {
        {"a cut escape", std::string("ab\x01" "00A")},
        {"an escape with a lower-case digit", std::string("\x01" "00ff")},
        {"a lone continuation byte", std::string("a\x80")},
        {"an overlong form", std::string("\xC0\xAF")},
        {"an encoded surrogate", std::string("\xED\xB2\x80")},
        {"a cut sequence", std::string("\xE2\x82")},
        {"a line feed inside", std::string("a\nb")},
    };
    for (const auto& [what, line] : cases) {
        std::u16string text;
        EXPECT_FALSE(DecodeQlogLine(line, &text)) << what;
    }
}

TEST_F(QlogTest, SwitchLinePositionsKeepTheirEncodings) {
    QlogPaneSwitches in{};
    for (size_t i = 0; i < QLOG_SWITCH_COUNT; i++) in.window[i] = BYTE(1 + i % 3);
    in.window[17] = 'Q';  // position 18: a character
    in.window[19] = 40;   // position 20: the split size
    in.window[21] = 7;    // position 22: 255 minus it
    WCHAR line[32];
    EncodeSwitchLine(in, line);
    struct Case {
        size_t position;
        WCHAR unit;
    };
    const Case units[] = {{1, u'1'}, {2, WCHAR(u'0' + 2)}, {15, WCHAR(u'@' + in.window[14])}, {18, u'Q'},
                          {20, 55}, {22, 248}, {29, 0}, {32, 0}};
    for (const Case& c : units) EXPECT_EQ(line[c.position - 1], c.unit) << "position " << c.position;
    QlogPaneSwitches out{};
    DecodeSwitchLine(line, &out);
    for (size_t i = 0; i < QLOG_SWITCH_COUNT; i++) {
        const size_t pos = i + 1;
        const bool onOff = pos == 1 || (pos >= 3 && pos <= 6) || pos == 9 || pos == 10 ||
                           (pos >= 24 && pos <= 26) || pos == 28;
        EXPECT_EQ(out.window[i], onOff ? 1 : in.window[i]) << "position " << pos;
    }
    // Out of range and not '1' read as 0.
    line[0] = u'2';
    line[1] = u'5';
    line[6] = u'4';
    line[19] = 255;
    DecodeSwitchLine(line, &out);
    EXPECT_EQ(out.window[0], 0);
    EXPECT_EQ(out.window[1], 0);
    EXPECT_EQ(out.window[6], 0);
    EXPECT_EQ(out.window[19], 0);
}

// ---- the remembered lists ---------------------------------------------------------

TEST_F(QlogTest, RememberedValuesMatchByTheirKind) {
    gCurrentPane = 0;
    gDisplayMode[0] = MEMO_KIND_BRANCH;
    VolumePathMemo(0, u"C:\\a", u"one");
    VolumePathMemo(0, u"C:\\a", u"two"); // replaces
    VolumePathMemo(0, u"C:\\b", u"three");
    EXPECT_EQ(std::u16string(VolumePathMemo(1, u"C:\\a", nullptr)), u"two");
    EXPECT_EQ(VolumePathMemo(1, u"C:\\a\\x", nullptr), nullptr);
    gDisplayMode[0] = MEMO_KIND_SHOWALL;
    EXPECT_EQ(VolumePathMemo(1, u"C:\\a", nullptr), nullptr) << "kinds never mix";
    VolumePathMemo(0, u"D:\\x", u"d");
    EXPECT_EQ(std::u16string(VolumePathMemo(1, u"D:\\other", nullptr)), u"d");
    gDisplayMode[0] = MEMO_KIND_GLOBAL;
    VolumePathMemo(0, u"anything", u"g");
    EXPECT_EQ(std::u16string(VolumePathMemo(1, u"else", nullptr)), u"g");
    gDisplayMode[0] = 1;
    EXPECT_EQ(VolumePathMemo(0, u"C:\\a", u"no"), nullptr);
    EXPECT_EQ(MemoCount(0), 4u);

    WCHAR* buffer = VolumePathMemo(3, nullptr, nullptr);
    ASSERT_NE(buffer, nullptr);
    const std::vector<WCHAR> expected = {4, 3, 4, u't', u'w', u'o', 0, 3, 4, u't', u'h', u'r', u'e',
                                         u'e', 0, 4, 4, u'd', 0, 5, 8, u'g', 0};
    EXPECT_EQ(std::vector<WCHAR>(buffer, buffer + expected.size()), expected);
    std::free(buffer);
    VolumePathMemo(2, nullptr, nullptr);
    buffer = VolumePathMemo(3, nullptr, nullptr);
    EXPECT_EQ(buffer[0], 0);
    std::free(buffer);
    EXPECT_EQ(VolumePathMemoAlt(1, u"x", nullptr), nullptr);
}

TEST_F(QlogTest, BookmarkListTakesABarSeparatedList) {
    const std::u16string tooLong(BOOKMARK_UNITS + 1, u'x');
    struct Case {
        const char* what;
        std::u16string text;
        std::vector<std::u16string> entries;
    };
    const Case cases[] = {
        {"two entries with a trailing bar", u"C:\\a|D:\\b|", {u"C:\\a", u"D:\\b"}},
        {"empty entries skipped", u"|C:\\a||", {u"C:\\a"}},
        {"an overlong entry dropped", tooLong + u"|C:\\", {u"C:\\"}},
        {"at most ten", u"1|2|3|4|5|6|7|8|9|10|11|", {u"1", u"2", u"3", u"4", u"5", u"6", u"7", u"8", u"9", u"10"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(LoggedPathList(11, 0, c.text.c_str()), INT_PTR(c.entries.size()));
        std::vector<std::u16string> got;
        for (size_t i = 0; i < LoggedPathCount(); i++) got.emplace_back(LoggedPathAt(i));
        EXPECT_EQ(got, c.entries);
    }
    EXPECT_EQ(LoggedPathList(16, 0, nullptr), 0);
    EXPECT_EQ(LoggedPathList(4, 0, tooLong.c_str()), 0);
}

// ---- layout ------------------------------------------------------------------------

TEST_F(QlogTest, RecordsLieAtTheirOffsets) {
    DiskInfo* disk = qtest::BuildTree('D', u"f");
    SubdirInfo* root = disk->psiRoot;
    FileEntry* f = root->pFiles;
    f->qwSize = 0x0102030405060708ULL;
    f->wAttributes = 0x21;
    f->dWritten = 0x11223344;
    f->tWritten = 0x55667788;
    f->dCreated = 0xA1A2A3A4;
    f->tCreated = 0xB1B2B3B4;
    f->dAccessed = 0xC1C2C3C4;
    f->tAccessed = 0xD1D2D3D4;
    f->bFlags[0] = 3;
    f->bFlags[1] = 9;
    root->qwFileBytes = 0x0807060504030201ULL;
    root->wAttributes = 0x10;
    root->dWritten = 0x01020304;
    root->bExpanded = 1;
    root->bLogged = 1;
    pdiCurrent = disk;
    psiCurrent = root;
    const std::string image = Save();
    // magic, split, header, switch line, two filespec lines, pane bytes,
    // two path lines, the count, the disk record: then the root's record.
    const std::string spec0 = EncodeQlogLine(gFilterSlots[0].fullText) + "\n\n";
    const size_t disks = 3 + 1 + 70 + 64 + spec0.size() + 4 + std::string(" D:\\\n+\n").size();
    ASSERT_EQ(image[disks], 1);
    ASSERT_EQ(image[disks + 1], 'D');
    const size_t dirAt = disks + 1 + QLOG_DISK_RECORD_BYTES;
    auto u = [&](size_t at, int width) {
        ULONGLONG v = 0;
        for (int i = 0; i < width; i++) v |= ULONGLONG(BYTE(image[at + i])) << (8 * i);
        return v;
    };
    EXPECT_EQ(u(dirAt + 0, 2), 0u);
    EXPECT_EQ(u(dirAt + 2, 2), root->wNameWidth);
    EXPECT_EQ(u(dirAt + 4, 4), 1u);
    EXPECT_EQ(u(dirAt + 8, 8), root->qwFileBytes);
    EXPECT_EQ(u(dirAt + 16, 1), 1u);
    EXPECT_EQ(u(dirAt + 18, 1), 1u);
    EXPECT_EQ(u(dirAt + 20, 2), 0x10u);
    EXPECT_EQ(u(dirAt + 48 + 8, 4), root->dWritten);
    EXPECT_EQ(image.substr(dirAt + 72, 4), "D:\\\n");
    const size_t fileAt = dirAt + 76;
    EXPECT_EQ(u(fileAt + 0, 2), f->wIndex);
    EXPECT_EQ(u(fileAt + 2, 2), u'f');
    EXPECT_EQ(u(fileAt + 2 + 2 * 12, 2), 0u);
    EXPECT_EQ(u(fileAt + 28, 4), 0u);
    EXPECT_EQ(u(fileAt + 32, 8), f->qwSize);
    EXPECT_EQ(u(fileAt + 40, 2), 0x21u);
    EXPECT_EQ(u(fileAt + 44, 4), f->dWritten);
    EXPECT_EQ(u(fileAt + 48, 4), f->tWritten);
    EXPECT_EQ(u(fileAt + 52, 1), 3u);
    EXPECT_EQ(u(fileAt + 53, 1), 9u);
    EXPECT_EQ(u(fileAt + 56, 4), f->dCreated);
    EXPECT_EQ(u(fileAt + 60, 4), f->tCreated);
    EXPECT_EQ(u(fileAt + 64, 4), f->dAccessed);
    EXPECT_EQ(u(fileAt + 68, 4), f->tAccessed);
    EXPECT_EQ(image[fileAt + 72], '\n') << "a file without a long name has an empty line";
    EXPECT_EQ(image.substr(fileAt + 73, 2), "QV");
    EXPECT_EQ(image.substr(image.size() - 2), "QV");
}

// ---- save then load -----------------------------------------------------------

TEST_F(QlogTest, LoadGivesBackWhatWasSaved) {
    BuildTwoDisks();
    gSplitScreen = 1;
    SetCurrentPane(1);
    gPanes[0].Directory = Dir(pdiCurrent, u"a\\b");
    gDisplayMode[0] = 3;
    gDisplayMode[1] = 4;
    gDirMode[1] = 1;
    gFileOrder[0] = {SORT_SIZE, 0, 1, 0, 0};
    gFileOrder[1] = {SORT_DATE, 1, 0, 1, SORT_STAMP_ACCESSED};
    gDirOrder[0] = {SORT_NAME, 0, 1, 0, 0};
    char message[128];
    ASSERT_EQ(CompileFilterText(u"*.txt", &gFilterSlots[0], message, sizeof message, nullptr), FILTER_OK);
    ASSERT_EQ(CompileFilterText(u"*.ogg", &gFilterSlots[1], message, sizeof message, nullptr), FILTER_OK);
    RecountAllDisks(); // the match bits by the filters now in force
    LoggedPathList(11, 0, u"C:\\a|E:\\music|");
    gDisplayMode[gCurrentPane] = MEMO_KIND_BRANCH;
    VolumePathMemo(0, u"C:\\a\\b", u"top\nline");
    VolumePathMemoAlt(0, u"E:\\", u"one.ogg");
    gDisplayMode[gCurrentPane] = 4;
    QlogPaneSwitches switches{};
    switches.window[0] = 1;
    switches.window[1] = 3;
    switches.pane[2] = 77;
    const std::string before = DumpTrees();
    const std::string image = Save(switches);
    qtest::DisownRecords();

    // Another session with other state loads it.
    qtest::ResetTreeState();
    InitFilterSlots();
    LoggedPathList(11, 0, u"Z:\\gone|");
    VolumePathMemo(2, nullptr, nullptr);
    VolumePathMemoAlt(2, nullptr, nullptr);
    qtest::BuildTree('C', u"other\\ x=1");
    qtest::DisownRecords();
    QlogPaneSwitches loaded{};
    ASSERT_EQ(ApplyQlogImage(image, 1, &loaded), QLOG_OK);
    EXPECT_EQ(qtest::CheckTreeText(), "");
    EXPECT_EQ(DumpTrees(), before);
    EXPECT_EQ(gSplitScreen, 1u);
    EXPECT_EQ(gCurrentPane, 1);
    EXPECT_EQ(gDisplayMode[0], 3);
    EXPECT_EQ(gDirMode[1], 1u);
    EXPECT_EQ(gFileOrder[0].key, SORT_SIZE);
    EXPECT_EQ(gFileOrder[0].descending, 1);
    EXPECT_EQ(gFileOrder[1].timestamp, SORT_STAMP_ACCESSED);
    EXPECT_EQ(gFileOrder[1].pathFirst, 1);
    EXPECT_EQ(gDirOrder[0].descending, 1);
    EXPECT_EQ(std::u16string(gFilterSlots[0].fullText), u"*.txt");
    EXPECT_EQ(std::u16string(gFilterSlots[1].fullText), u"*.ogg");
    EXPECT_EQ(loaded.window[0], 1);
    EXPECT_EQ(loaded.window[1], 3);
    EXPECT_EQ(loaded.pane[2], 77);
    ASSERT_EQ(LoggedPathCount(), 2u);
    EXPECT_EQ(std::u16string(LoggedPathAt(1)), u"E:\\music");
    ASSERT_EQ(MemoCount(0), 1u);
    EXPECT_EQ(MemoAt(0, 0)->key, u"C:\\a\\b");
    EXPECT_EQ(MemoAt(0, 0)->value, u"top\nline");
    ASSERT_EQ(MemoCount(1), 1u);
    EXPECT_EQ(MemoAt(1, 0)->key, u"E:\\");
    ASSERT_NE(pdiCurrent, nullptr);
    EXPECT_EQ(char(pdiCurrent->cDrive), 'C');
    ASSERT_NE(gPanes[0].Directory, nullptr);
    EXPECT_EQ(std::u16string(gPanes[0].Directory->pszFullName), u"C:\\a\\b");
    ASSERT_NE(psiCurrent, nullptr);
    EXPECT_EQ(std::u16string(psiCurrent->pszFullName), u"C:\\a");
    // A second save of what was loaded is the same file.
    const std::string again = Save(switches);
    EXPECT_EQ(again.size(), image.size());
    EXPECT_TRUE(again == image);
}

TEST_F(QlogTest, AHugeDirectoryGetsUniqueIndicesBack) {
    DiskInfo* disk = qtest::BuildDisk('F');
    SubdirInfo* big = qtest::BuildDir(disk, u"big");
    std::vector<qtest::BuiltFile> files(70000);
    for (size_t i = 0; i < files.size(); i++) files[i].name = u"f" + std::u16string(1, WCHAR(u'a' + i % 26)) +
                                                              std::u16string(1, WCHAR(0x4E00 + i / 26));
    qtest::BuildFiles(big, files);
    qtest::RecountTrees();
    pdiCurrent = disk;
    psiCurrent = disk->psiRoot;
    const std::string before = DumpTrees();
    const std::string image = Save();
    qtest::DisownRecords();
    ASSERT_EQ(ApplyQlogImage(image, 1, nullptr), QLOG_OK);
    big = Dir(pdiCurrent, u"big");
    ASSERT_NE(big, nullptr);
    ASSERT_EQ(big->dwFiles, 70000u);
    std::set<DWORD> indices;
    for (DWORD i = 0; i < big->dwFiles; i++) indices.insert(big->pFiles[i].wIndex);
    EXPECT_EQ(indices.size(), 70000u);
    EXPECT_EQ(*indices.begin(), 1u);
    EXPECT_EQ(*indices.rbegin(), 70000u);
    EXPECT_EQ(qtest::CheckTreeText(), "");
}

TEST_F(QlogTest, MergeReplacesOnlyTheLettersOfTheFile) {
    qtest::BuildTree('C', u"saved\\ s.txt=1");
    qtest::BuildTree('E', u"e\\");
    qtest::RecountTrees();
    pdiCurrent = pdiFirst;
    psiCurrent = pdiFirst->psiRoot;
    const std::string image = Save();
    qtest::FreeTrees();
    qtest::ResetTreeState();
    qtest::BuildTree('C', u"newer\\");
    qtest::BuildTree('D', u"kept\\ d.txt=4");
    qtest::RecountTrees();
    pdiCurrent = pdiFirst;
    psiCurrent = pdiFirst->psiRoot;
    qtest::DisownRecords();
    LoggedPathList(11, 0, u"C:\\newer|");
    ASSERT_EQ(ApplyQlogImage(image, 0, nullptr), QLOG_OK);
    EXPECT_EQ(qtest::CheckTreeText(), "");
    std::vector<char> letters;
    DiskInfo* d = pdiFirst;
    for (WORD n = 0; n < gDiskCount && d; n++, d = d->pdiNext) letters.push_back(char(d->cDrive));
    EXPECT_EQ(letters, (std::vector<char>{'C', 'D', 'E'}));
    EXPECT_NE(Dir(FindVolume('C'), u"saved"), nullptr);
    EXPECT_EQ(Dir(FindVolume('C'), u"newer"), nullptr);
    EXPECT_NE(Dir(FindVolume('D'), u"kept"), nullptr);
    EXPECT_EQ(LoggedPathCount(), 1u) << "a merge keeps the session's bookmarks";
}

// ---- refused files --------------------------------------------------------------

TEST_F(QlogTest, RefusedFilesLeaveTheTreeAsItWas) {
    BuildTwoDisks();
    const std::string good = Save();
    // Where the trees begin: after the disk records.
    const size_t diskCountAt = good.find("\n+", 3 + 1 + 70 + 64);
    ASSERT_NE(diskCountAt, std::string::npos);
    const size_t countAt = good.find('\n', diskCountAt + 1) + 1;
    const size_t treeAt = countAt + 1 + 2 * QLOG_DISK_RECORD_BYTES;
    auto patched = [&](size_t at, std::string bytes) {
        std::string s = good;
        s.replace(at, bytes.size(), bytes);
        return s;
    };
    struct Case {
        const char* what;
        std::string image;
        QlogResult result;
    };
    const Case cases[] = {
        {"1500 bytes", good.substr(0, 1498) + "QV", QLOG_INVALID},
        {"a wrong tail", good.substr(0, good.size() - 1) + "X", QLOG_INVALID},
        {"a letter below '7'", patched(2, "6"), QLOG_INVALID},
        {"no magic", patched(0, "XV"), QLOG_INVALID},
        {"cut in the trees", good.substr(0, treeAt + 200) + "QV", QLOG_MALFORMED},
        {"a file count past the end", patched(treeAt + 4, std::string("\xFF\xFF\x00\x00", 4)), QLOG_MALFORMED},
        {"a disk count past the end", patched(countAt, "\x09"), QLOG_MALFORMED},
        {"a level that steps two down", patched(treeAt + 72 + 4, std::string("\x02\x00", 2)),
         QLOG_MALFORMED},
        {"a drive byte that is no letter", patched(countAt + 1, "1"), QLOG_MALFORMED},
        {"bytes after the last list", good.substr(0, good.size() - 2) + "xQV", QLOG_MALFORMED},
    };
    qtest::DisownRecords();
    LoggedPathList(11, 0, u"C:\\a|");
    const std::string before = DumpTrees();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ApplyQlogImage(c.image, 1, nullptr), c.result);
        EXPECT_EQ(DumpTrees(), before);
        EXPECT_EQ(LoggedPathCount(), 1u);
    }
    EXPECT_EQ(ApplyQlogImage(good, 1, nullptr), QLOG_OK) << "the unpatched file loads";
}

// ---- saving to disk -------------------------------------------------------------

TEST_F(QlogTest, AFailedSaveKeepsTheOldFile) {
    qtest::TempDir dir;
    const std::string host = dir.Sub("TEMP.QLOG");
    const std::u16string path = WinPath(host);
    BuildTwoDisks();
    ASSERT_EQ(SaveQlogFile(path.c_str(), {}), 0u);
    const std::string old = qtest::ReadFile(host);
    ASSERT_EQ(old, Save());
    // More to write, and the disk fills on the second write.
    qtest::BuildDir(pdiCurrent, u"more");
    std::vector<qtest::BuiltFile> many(2000);
    for (size_t i = 0; i < many.size(); i++) many[i].name = u"n" + std::u16string(1, WCHAR(0x4E00 + i));
    qtest::BuildFiles(Dir(pdiCurrent, u"more"), many);
    for (unsigned nth : {1u, 2u}) {
        SCOPED_TRACE(nth);
        UiScriptAnswers({13});
        QSysInjectFault(QSYS_WRITE, nth, ENOSPC);
        EXPECT_EQ(SaveQlogFile(path.c_str(), {}), 9997u);
        QSysClearFaults();
        EXPECT_EQ(qtest::ReadFile(host), old);
        ASSERT_FALSE(UiQuestionsAsked().empty());
        EXPECT_EQ(UiQuestionsAsked().back().path, u"Disk Full");
        UiScriptEnd();
    }
    // The failed fsync before the rename also keeps it, and is reported.
    UiScriptAnswers({27});
    QSysInjectFault(QSYS_FSYNC, 1, EIO);
    EXPECT_NE(SaveQlogFile(path.c_str(), {}), 0u);
    QSysClearFaults();
    ASSERT_EQ(UiQuestionsAsked().size(), 1u);
    EXPECT_STREQ(UiQuestionsAsked()[0].kind, "ErrorDialog") << "a device error";
    UiScriptEnd();
    EXPECT_EQ(qtest::ReadFile(host), old);
    EXPECT_FALSE(std::filesystem::exists(host + ".$$$"));
    // Esc during the trees, then Esc at the question, abandons the save.
    gQlogTreeWritten = [] { gInterruptRequested = 1; };
    UiScriptAnswers({27});
    EXPECT_EQ(SaveQlogFile(path.c_str(), {}), DWORD(ERROR_CANCELLED));
    EXPECT_EQ(qtest::ReadFile(host), old);
    ASSERT_EQ(UiQuestionsAsked().size(), 1u);
    EXPECT_EQ(UiQuestionsAsked()[0].path, u"QLOG saving interrupted!  Continue?");
    UiScriptEnd();
    // Esc, then going on, saves the whole file.
    UiScriptAnswers({'Y', 'Y'});
    EXPECT_EQ(SaveQlogFile(path.c_str(), {}), 0u);
    EXPECT_EQ(UiQuestionsAsked().size(), 2u) << "asked after each tree";
    UiScriptEnd();
    gQlogTreeWritten = nullptr;
    EXPECT_EQ(qtest::ReadFile(host), Save());
}

TEST_F(QlogTest, LoadingAFileFromDisk) {
    qtest::TempDir dir;
    const std::string host = dir.Sub("saved.qlog");
    const std::u16string path = WinPath(host);
    BuildTwoDisks();
    const std::string before = DumpTrees();
    ASSERT_EQ(SaveQlogFile(path.c_str(), {}), 0u);
    qtest::DisownRecords();
    ASSERT_EQ(QlogLoad(nullptr, path.c_str(), 1), 1);
    EXPECT_EQ(DumpTrees(), before);
    // A file that is no volumes file is refused with the message.
    dir.Write("bad.qlog", std::string(2000, 'x'));
    UiScriptAnswers({13});
    EXPECT_EQ(QlogLoad(nullptr, WinPath(dir.Sub("bad.qlog")).c_str(), 1), 0);
    ASSERT_EQ(UiQuestionsAsked().size(), 1u);
    EXPECT_EQ(UiQuestionsAsked()[0].path, u"Invalid volumes file - cannot load");
    UiScriptEnd();
    UiScriptAnswers({13});
    EXPECT_EQ(QlogLoad(nullptr, WinPath(dir.Sub("missing.qlog")).c_str(), 1), 0);
    ASSERT_EQ(UiQuestionsAsked().size(), 1u);
    EXPECT_EQ(UiQuestionsAsked()[0].path, u"Cannot load volumes file");
    EXPECT_EQ(DumpTrees(), before);
}

} // namespace
