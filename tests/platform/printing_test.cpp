// Printing's line writer, page header and line reader on in-memory streams:
// wrapping and margins, form feeds per destination, the five header lines,
// write errors on a full device, and the line ends of files being printed.
#include "platform/printing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform_fixture.h"
#include "print_support.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "posix/drive_fixture.h"
#include "qposix_path.h"
#include "clipboardapi.h"
#include "settings/session_dir.h"
#include "tree/tree_records.h"
#include "ui/clipboard_text.h"
#include "ui/numbers_dates.h"

namespace {

// A stream whose bytes the test reads back.
struct MemorySink {
    char* data = nullptr;
    size_t size = 0;
    FILE* stream = open_memstream(&data, &size);
    ~MemorySink() {
        if (stream)
            fclose(stream);
        std::free(data);
    }
    std::string Text() {
        std::fflush(stream);
        return std::string(data, size);
    }
};

// A stream on which every write fails as on a full disk.
FILE* FullDevice() {
    const int fd = open("/dev/full", O_WRONLY);
    if (fd < 0)
        return nullptr;
    FILE* stream = fdopen(fd, "w");
    if (stream)
        setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

TEST(PrintOutLine, WritesLinesWithWrapAndMargin) {
    const std::string blanks(8, ' ');
    const std::string line150 = std::string(72, 'a') + std::string(72, 'b') + "cccccc";
    struct Case {
        const char* what;
        std::string line;
        int wrap;
        BOOL margin;
        int lines;
        std::string text;
    };
    const Case cases[] = {
        {"plain line gets a line feed", "hello", 0, FALSE, 1, "hello\n"},
        {"one trailing line feed is dropped", "hello\n", 0, FALSE, 1, "hello\n"},
        {"only one trailing line feed is dropped", "hi\n\n", 0, FALSE, 1, "hi\n\n"},
        {"margin puts 8 blanks in front", "x", 0, TRUE, 1, blanks + "x\n"},
        {"empty line with margin", "\n", 0, TRUE, 1, blanks + "\n"},
        {"wrap 80 margin 1 cuts 150 into 72, 72 and 6", line150, 80, TRUE, 3,
         blanks + std::string(72, 'a') + "\n" + blanks + std::string(72, 'b') + "\n" + blanks +
             "cccccc\n"},
        {"wrap 75 without margin", std::string(150, 'z'), 75, FALSE, 2,
         std::string(75, 'z') + "\n" + std::string(75, 'z') + "\n"},
        {"a line exactly the width is one piece", std::string(80, 'q') + "\n", 80, FALSE, 1,
         std::string(80, 'q') + "\n"},
        {"a one-character line is never cut", "y", 75, FALSE, 1, "y\n"},
        {"a line longer than 512 bytes is written whole", std::string(700, 'w'), 0, TRUE, 1,
         blanks + std::string(700, 'w') + "\n"},
        {"a wrap no wider than the margin writes the line whole", "abcdefghij", 8, TRUE, 1,
         blanks + "abcdefghij\n"},
        {"OEM bytes pass unchanged", "\xb3   \xc3\xc4\xc4name", 0, FALSE, 1,
         "\xb3   \xc3\xc4\xc4name\n"},
    };
    for (const Case& c : cases) {
        MemorySink sink;
        ASSERT_NE(sink.stream, nullptr);
        EXPECT_EQ(PrintOutLine(TRUE, nullptr, sink.stream, c.line.c_str(), c.wrap, c.margin, 1),
                  c.lines)
            << c.what;
        EXPECT_EQ(sink.Text(), c.text) << c.what;
    }
}

TEST(PrintOutLine, FormFeedReachesFilesButNeverTheClipboard) {
    struct Case {
        BOOL clipboard;
        BOOL margin;
        const char* text;
    };
    for (const Case& c : {Case{TRUE, FALSE, ""}, Case{TRUE, TRUE, ""}, Case{FALSE, FALSE, "\f"},
                          Case{FALSE, TRUE, "\f"}}) {
        MemorySink sink;
        EXPECT_EQ(PrintOutLine(c.clipboard, nullptr, sink.stream, "\f", 80, c.margin, 3), 0);
        EXPECT_EQ(sink.Text(), c.text) << "clipboard " << c.clipboard << " margin " << c.margin;
    }
}

TEST(PrintOutLine, FailedWritesGiveMinusOne) {
    FILE* full = FullDevice();
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(PrintOutLine(TRUE, nullptr, full, "text", 0, FALSE, 1), -1);
    EXPECT_EQ(PrintOutLine(TRUE, nullptr, full, std::string(200, 'x').c_str(), 80, TRUE, 1), -1);
    EXPECT_EQ(PrintOutLine(FALSE, nullptr, full, "\f", 0, FALSE, 1), -1);
    fclose(full);
    MemorySink sink;
    EXPECT_EQ(PrintOutLine(TRUE, nullptr, sink.stream, nullptr, 0, FALSE, 1), -1);
    EXPECT_EQ(PrintOutLine(TRUE, nullptr, nullptr, "x", 0, FALSE, 1), -1);
}

class PrintPageHeaderTest : public ::testing::Test {
protected:
    void SetUp() override { gThousandsSep = ','; }
    PrintTotals totals{"WORK", "11-12-26", "12:30p", 1234567890, 1234, 98765432, 12, 4096, FALSE};
};

TEST_F(PrintPageHeaderTest, WritesTheFiveLinesAndAdvancesThePage) {
    MemorySink sink;
    PrintJob job{TRUE, nullptr, sink.stream, 0, FALSE, 7};
    int page = 3;
    EXPECT_EQ(PrintPageHeader(&job, &page, totals), 5);
    EXPECT_EQ(sink.Text(), "      Disk Volume: WORK                     11-12-26  12:30p   Page 3\n"
                           "                      Available space      1,234,567,890 bytes\n"
                           "      1,234 logged files using 98,765,432 bytes\n"
                           "      12 tagged files using 4,096 bytes\n"
                           "\n");
    EXPECT_EQ(job.lineCount, 12);
    EXPECT_EQ(page, 4);
}

TEST_F(PrintPageHeaderTest, PageZeroLeavesThePageOutAndDirectoriesAreNamed) {
    totals.taggedDirectories = TRUE;
    MemorySink sink;
    PrintJob job{FALSE, nullptr, sink.stream, 0, TRUE, 0};
    int page = 0;
    EXPECT_EQ(PrintPageHeader(&job, &page, totals), 5);
    const std::string m(8, ' ');
    EXPECT_EQ(sink.Text(), m + "      Disk Volume: WORK                     11-12-26  12:30p\n" + m +
                               "                      Available space      1,234,567,890 bytes\n" +
                               m + "      1,234 logged files using 98,765,432 bytes\n" + m +
                               "      12 tagged directories using 4,096 bytes\n" + m + "\n");
    EXPECT_EQ(page, 0);
    EXPECT_EQ(job.lineCount, 5);
}

TEST_F(PrintPageHeaderTest, WriteErrorGivesMinusOne) {
    FILE* full = FullDevice();
    ASSERT_NE(full, nullptr);
    PrintJob job{TRUE, nullptr, full, 0, FALSE, 0};
    int page = 1;
    EXPECT_EQ(PrintPageHeader(&job, &page, totals), -1);
    EXPECT_EQ(job.lineCount, 0);
    fclose(full);
}

// Reads every line of the bytes with the given buffer size.
std::vector<std::string> ReadAll(const std::string& bytes, int size) {
    std::vector<std::string> lines;
    FILE* stream = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "r");
    if (stream == nullptr)
        return {"<fmemopen failed>"};
    std::vector<char> buffer(size_t(size) + 1, 'X');
    while (PrintReadLine(buffer.data(), size, stream) != nullptr) {
        lines.emplace_back(buffer.data());
    }
    fclose(stream);
    return lines;
}

TEST(PrintReadLine, SplitsLinesAtTheirEnds) {
    using Lines = std::vector<std::string>;
    struct Case {
        const char* what;
        std::string bytes;
        int size;
        Lines lines;
    };
    const Case cases[] = {
        {"line feeds are kept", "one\ntwo\n", 64, {"one\n", "two\n"}},
        {"CR LF is one line end", "one\r\ntwo\r\n", 64, {"one\n", "two\n"}},
        {"a lone CR ends a line as a line feed", "one\rtwo\r", 64, {"one\n", "two\n"}},
        {"CR CR is two line ends", "a\r\rb\n", 64, {"a\n", "\n", "b\n"}},
        {"empty lines survive", "\n\nx\n", 64, {"\n", "\n", "x\n"}},
        {"a last line without a line end is delivered", "one\ntail", 64, {"one\n", "tail"}},
        {"a long line is cut at size - 1", "abcdefgh\n", 4, {"abc", "def", "gh\n"}},
        {"an empty file has no lines", "", 64, {}},
        {"a CR at the very end", "x\r", 64, {"x\n"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadAll(c.bytes, c.size), c.lines) << c.what;
}

TEST(PrintReadLine, ANulEndsTheLineAndTheNextLineFollows) {
    const std::string bytes("ab\0cd\n", 6);
    FILE* stream = fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "r");
    ASSERT_NE(stream, nullptr);
    char buffer[16];
    ASSERT_NE(PrintReadLine(buffer, sizeof buffer, stream), nullptr);
    EXPECT_EQ(std::string(buffer, 3), std::string("ab\0", 3));
    ASSERT_NE(PrintReadLine(buffer, sizeof buffer, stream), nullptr);
    EXPECT_STREQ(buffer, "cd\n");
    EXPECT_EQ(PrintReadLine(buffer, sizeof buffer, stream), nullptr);
    EXPECT_EQ(PrintReadLine(buffer, 1, stream), nullptr);
    fclose(stream);
}

} // namespace

namespace {

// A small tree linked by hand in tree order:
//   F:\  (device /dev/sdz1)
//   +-alpha
//   | +-a1
//   | +-a2
//   +-beta
//     +-b1
struct SmallTree {
    DiskInfo disk{};
    SubdirInfo root{}, alpha{}, a1{}, a2{}, beta{}, b1{};
    std::u16string full[6] = {u"F:\\",       u"F:\\alpha",      u"F:\\alpha\\a1",
                              u"F:\\alpha\\a2", u"F:\\beta", u"F:\\beta\\b1"};
    SmallTree() {
        SubdirInfo* dirs[6] = {&root, &alpha, &a1, &a2, &beta, &b1};
        const DWORD levels[6] = {0, 1, 2, 2, 1, 2};
        const size_t nameAt[6] = {0, 3, 9, 9, 3, 8};
        for (int i = 0; i < 6; ++i) {
            dirs[i]->wLevel = levels[i];
            dirs[i]->pszFullName = full[i].data();
            dirs[i]->pszName = full[i].data() + nameAt[i];
            dirs[i]->pdiDisk = &disk;
        }
        root.psiParent = &root;
        alpha.psiParent = beta.psiParent = &root;
        a1.psiParent = a2.psiParent = &alpha;
        b1.psiParent = &beta;
        root.psiChild = &alpha;
        alpha.psiChild = &a1;
        a1.psiNext = &a2;
        a2.psiNext = &beta;
        alpha.psiNext = &beta;
        beta.psiChild = &b1;
        disk.psiRoot = &root;
        disk.cDrive = 'F';
        const std::u16string device = u"/dev/sdz1";
        std::copy(device.begin(), device.end(), disk.wszDevice);
    }
};

TEST(PrintTree, RowsCarryOemConnectorsCutToTheIndent) {
    SmallTree t;
    struct Case {
        int indent;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {3,
         {"F:\\ /dev/sdz1", "\xc3\xc4\xc4" "alpha", "\xb3  \xc3\xc4\xc4" "a1",
          "\xb3  \xc0\xc4\xc4" "a2", "\xc0\xc4\xc4" "beta", "   \xc0\xc4\xc4" "b1"}},
        {2,
         {"F:\\ /dev/sdz1", "\xc3\xc4" "alpha", "\xb3 \xc3\xc4" "a1", "\xb3 \xc0\xc4" "a2",
          "\xc0\xc4" "beta", "  \xc0\xc4" "b1"}},
        {5,
         {"F:\\ /dev/sdz1", "\xc3\xc4\xc4" "alpha", "\xb3    \xc3\xc4\xc4" "a1",
          "\xb3    \xc0\xc4\xc4" "a2", "\xc0\xc4\xc4" "beta", "     \xc0\xc4\xc4" "b1"}},
    };
    for (const Case& c : cases) {
        MemorySink sink;
        PrintJob job{TRUE, nullptr, sink.stream, 0, FALSE, 0};
        ASSERT_EQ(PrintDirectoryListing(&job, &t.disk, TRUE, c.indent), 0);
        std::string expected;
        for (const std::string& row : c.rows)
            expected += row + "\n";
        EXPECT_EQ(sink.Text(), expected) << "indent " << c.indent;
        EXPECT_EQ(job.lineCount, 6);
    }
}

TEST(PrintTree, OneDirectoryGivesTheRootRowOnly) {
    SmallTree t;
    t.root.psiChild = nullptr;
    t.disk.wszDevice[0] = 0;
    MemorySink sink;
    PrintJob job{TRUE, nullptr, sink.stream, 0, FALSE, 0};
    ASSERT_EQ(PrintDirectoryListing(&job, &t.disk, TRUE, 3), 0);
    EXPECT_EQ(sink.Text(), "F:\\\n");
}

TEST(PrintTree, DeepBranchesStopTheirConnectorColumns) {
    // 993 / 400 - 1 = 1 connector column at most, whatever the depth.
    std::vector<SubdirInfo> chain(6);
    std::u16string name = u"d";
    for (size_t i = 0; i < chain.size(); ++i) {
        chain[i].wLevel = DWORD(i);
        chain[i].pszName = name.data();
        chain[i].psiParent = i == 0 ? &chain[0] : &chain[i - 1];
    }
    EXPECT_EQ(PrintTreeRow(&chain[5], 400), std::string(" ") + std::string(399, ' ') +
                                                "\xc0\xc4\xc4" "d");
    EXPECT_EQ(PrintTreeRow(&chain[5], 4), std::string(16, ' ') + "\xc0\xc4\xc4" "d");
}

TEST(PrintTree, PathNamesAreIndentedFullPaths) {
    SmallTree t;
    MemorySink sink;
    PrintJob job{TRUE, nullptr, sink.stream, 0, TRUE, 0};
    ASSERT_EQ(PrintDirectoryListing(&job, &t.disk, FALSE, 3), 0);
    const std::string m(8 + 6, ' ');
    EXPECT_EQ(sink.Text(), m + "F:\\\n" + m + "F:\\alpha\n" + m + "F:\\alpha\\a1\n" + m +
                               "F:\\alpha\\a2\n" + m + "F:\\beta\n" + m + "F:\\beta\\b1\n");
}

TEST(PrintOemName, EscapedBytesAndUnmappableCharacters) {
    struct Case {
        const char* what;
        std::u16string name;
        std::string oem;
    };
    const Case cases[] = {
        {"ASCII", u"plain.txt", "plain.txt"},
        {"escaped backslash, star and question mark", u"a\xDC5C" u"b\xDC2A" u"c\xDC3F",
         "a\\b*c?"},
        {"other escaped bytes", u"x\xDCFF\xDC80y", "x\xFA\xFAy"},
        {"code page 437 letters", u"\u00e9t\u00e9", "\x82t\x82"},
        {"unmappable character", u"\u4e2d", "\xFA"},
        {"a pair outside the basic plane", u"a\U0001F600b", "a\xFA" "b"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PrintOemName(c.name.c_str()), c.oem) << c.what;
}

TEST(PrintJobLine, HeadersEveryPageAndFormFeedsOnlyOutsideTheClipboard) {
    gThousandsSep = ',';
    const PrintTotals totals{"VOL", "01-02-26", "9:05a", 1000, 3, 300, 0, 0, FALSE};
    for (const BOOL clipboard : {TRUE, FALSE}) {
        MemorySink sink;
        PrintJob job{clipboard, nullptr, sink.stream, 0, FALSE, 0};
        job.linesPerPage = 10;
        job.headers = TRUE;
        job.page = 1;
        job.totals = &totals;
        ASSERT_EQ(PrintJobStart(&job), 0);
        for (int i = 1; i <= 12; ++i)
            ASSERT_EQ(PrintJobLine(&job, ("line " + std::to_string(i)).c_str()), 1);
        auto header = [](int page) {
            return "      Disk Volume: VOL                      01-02-26  9:05a   Page " +
                   std::to_string(page) +
                   "\n                      Available space              1,000 bytes\n"
                   "      3 logged files using 300 bytes\n"
                   "      0 tagged files using 0 bytes\n\n";
        };
        const std::string ff = clipboard ? "" : "\f";
        EXPECT_EQ(sink.Text(), header(1) + "line 1\nline 2\nline 3\nline 4\nline 5\n" + ff +
                                   header(2) + "line 6\nline 7\nline 8\nline 9\nline 10\n" + ff +
                                   header(3) + "line 11\nline 12\n")
            << "clipboard " << clipboard;
        EXPECT_EQ(job.page, 4);
        EXPECT_EQ(job.lineCount, 7);
    }
}

} // namespace

namespace {

// Paths of a test directory as the program names them (C: on "/").
class PrintSpoolTest : public DriveMapTest {
protected:
    void SetUp() override {
        SetMounts({{"/", "ext4", "/dev/vda1"}});
        session = dir.MakeDir("session");
        temp = dir.MakeDir("temp");
        browsed = dir.MakeDir("browsed");
        std::u16string w = Win(session);
        w.copy(gSessionTempDir, SESSION_DIR_UNITS - 1);
        gSessionTempDir[w.size()] = 0;
    }
    void TearDown() override {
        gSessionTempDir[0] = 0;
        DriveMapTest::TearDown();
    }
    static std::u16string Win(const std::string& posix) {
        WCHAR out[4096];
        EXPECT_GE(PathFromPosix(posix.c_str(), out, 4096), 0) << posix;
        return out;
    }
    static std::vector<std::string> Names(const std::string& directory) { return qtest::FileNames(directory); }
    // Writes lines through a job to the device and ends it.
    void Print(const std::u16string& device, const std::vector<std::string>& lines, BOOL formFeed,
               std::vector<std::string>* spoolDir = nullptr) {
        BOOL started = FALSE;
        HANDLE printer = nullptr;
        FILE* stream = nullptr;
        ASSERT_EQ(PrintSpool(device.c_str(), &started, &printer, &stream), 1);
        EXPECT_TRUE(started);
        ASSERT_NE(stream, nullptr);
        const BOOL clipboard = PrintDestinationOf(device.c_str()) == PrintDestination::Clipboard;
        for (const std::string& line : lines)
            ASSERT_GE(PrintOutLine(clipboard, printer, stream, line.c_str(), 0, FALSE, 0), 0);
        if (spoolDir)
            *spoolDir = Names(session);
        EXPECT_EQ(PrintFinish(clipboard, printer, stream, formFeed), 1);
    }
    std::string session, temp, browsed;
    qtest::ScopedEnv display{"DISPLAY", nullptr};
    qtest::ScopedEnv wayland{"WAYLAND_DISPLAY", nullptr};
};

using qtest::ClipboardNow;

std::string ReadFile(const std::string& path) {
    std::string text;
    if (FILE* f = fdopen(open(path.c_str(), O_RDONLY), "r")) {
        int c;
        while ((c = fgetc(f)) != EOF)
            text.push_back(char(c));
        fclose(f);
    }
    return text;
}

// The destination rule: "CLIP:" in any case is the clipboard; a name that
// holds a backslash, a slash or a '.', or starts with a drive ("X:"), is a
// file that gets the text with its form feeds; "PRN", "LPT1" to "LPT9" and
// "Windows Drivers" are the default printer and every other bare name a
// printer queue, both handed to lp (found on PATH) with the queue as an
// argument of its own, never through a shell.
TEST(PrintDestinationOf, NamesFilesPrintersAndTheClipboard) {
    struct Case {
        const char16_t* device;
        PrintDestination kind;
    };
    const Case cases[] = {
        {u"CLIP:", PrintDestination::Clipboard}, {u"clip:", PrintDestination::Clipboard},
        {u"Clip:x", PrintDestination::Printer},  {u"C:\\out.txt", PrintDestination::File},
        {u"d:", PrintDestination::File},          {u"\\out", PrintDestination::File},
        {u"out.txt", PrintDestination::File},     {u"/tmp/out", PrintDestination::File},
        {u"PRN", PrintDestination::Printer},      {u"LPT1", PrintDestination::Printer},
        {u"Windows Drivers", PrintDestination::Printer}, {u"office-queue", PrintDestination::Printer},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PrintDestinationOf(c.device), c.kind) << std::string(c.device, c.device + std::char_traits<char16_t>::length(c.device));
}

TEST_F(PrintSpoolTest, ClipboardGetsTheWholeTextWithoutFormFeeds) {
    ClipboardTextA(CLIPBOARD_REPLACE, "old", 3, FALSE);
    std::vector<std::string> during;
    Print(u"clip:", {"first \xb3", "\f", "second"}, TRUE, &during);
    ASSERT_EQ(during.size(), 1u);
    EXPECT_EQ(during[0].rfind("qbc", 0), 0u) << during[0];
    EXPECT_EQ(ClipboardNow(), u"first \u2502\nsecond\n");
    EXPECT_TRUE(Names(session).empty()) << "the spool file is deleted";
}

TEST_F(PrintSpoolTest, WithoutASessionDirectoryTheSpoolGoesToTheTemporaryPath) {
    gSessionTempDir[0] = 0;
    qtest::ScopedEnv tmpdir("TMPDIR", temp.c_str());
    ASSERT_EQ(chdir(browsed.c_str()), 0);
    BOOL started = FALSE;
    HANDLE printer = nullptr;
    FILE* stream = nullptr;
    ASSERT_EQ(PrintSpool(u"CLIP:", &started, &printer, &stream), 1);
    EXPECT_EQ(Names(temp).size(), 1u);
    EXPECT_TRUE(Names(browsed).empty());
    EXPECT_EQ(PrintOutLine(TRUE, printer, stream, "x", 0, FALSE, 0), 1);
    EXPECT_EQ(PrintFinish(TRUE, printer, stream, FALSE), 1);
    EXPECT_TRUE(Names(temp).empty());
    EXPECT_EQ(ClipboardNow(), u"x\n");
    ASSERT_EQ(chdir("/"), 0);
}

TEST_F(PrintSpoolTest, AFileGetsTheSameTextWithFormFeeds) {
    const std::string out = dir.Sub("out.txt");
    Print(Win(out), {"first", "\f", "second"}, TRUE);
    EXPECT_EQ(ReadFile(out), "first\n\fsecond\n\f");
    EXPECT_TRUE(Names(session).empty());
}

TEST_F(PrintSpoolTest, AFileThatCannotBeCreatedFails) {
    BOOL started = FALSE;
    HANDLE printer = nullptr;
    FILE* stream = nullptr;
    EXPECT_EQ(PrintSpool(Win(dir.Sub("missing/out.txt")).c_str(), &started, &printer, &stream), -1);
    EXPECT_EQ(stream, nullptr);
}

// A stand-in for lp on PATH: it records its arguments, one a line, and the
// file it was given.
class PrintLpTest : public PrintSpoolTest {
protected:
    void SetUp() override {
        PrintSpoolTest::SetUp();
        bin = dir.MakeDir("bin");
        record = dir.Sub("record");
        dir.Write("bin/lp", "#!/bin/sh\n"
                            "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record + ".args'\n"
                            "for a in \"$@\"; do last=$a; done\n"
                            "cat \"$last\" > '" + record + ".input'\n");
        chmod((bin + "/lp").c_str(), 0755);
        path = std::make_unique<qtest::ScopedEnv>("PATH", (bin + ":/usr/bin:/bin").c_str());
    }
    std::string bin, record;
    std::unique_ptr<qtest::ScopedEnv> path;
};

TEST_F(PrintLpTest, PrintersGetTheSpoolThroughLpWithTheQueueAsOneArgument) {
    struct Case {
        const char16_t* device;
        std::string args; // after lp's own path
    };
    const Case cases[] = {
        {u"LPT1", "--\n"},
        {u"prn", "--\n"},
        {u"Windows Drivers", "--\n"},
        {u"office", "-d\noffice\n--\n"},
        {u"$(touch probe)", "-d\n$(touch probe)\n--\n"},
        {u"q;touch probe|x", "-d\nq;touch probe|x\n--\n"},
        {u"a\"b `touch probe`", "-d\na\"b `touch probe`\n--\n"},
        {u"it's \"x\" \"\"", "-d\nit's \"x\" \"\"\n--\n"},
    };
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    for (const Case& c : cases) {
        const std::u16string device = c.device;
        std::vector<std::string> during;
        Print(device, {"page one", "\f", "page two"}, TRUE, &during);
        const std::string args = ReadFile(record + ".args");
        ASSERT_EQ(during.size(), 1u);
        EXPECT_EQ(args, c.args + session + "/" + during[0] + "\n")
            << std::string(device.begin(), device.end());
        EXPECT_EQ(ReadFile(record + ".input"), "page one\n\fpage two\n\f");
        EXPECT_TRUE(Names(session).empty());
    }
    EXPECT_EQ(access((dir.path() + "/probe").c_str(), F_OK), -1) << "a device name reached a shell";
    ASSERT_EQ(chdir("/"), 0);
}

TEST_F(PrintLpTest, AFailingLpIsAFailedJob) {
    dir.Write("bin/lp", "#!/bin/sh\nexit 1\n");
    chmod((bin + "/lp").c_str(), 0755);
    BOOL started = FALSE;
    HANDLE printer = nullptr;
    FILE* stream = nullptr;
    ASSERT_EQ(PrintSpool(u"office", &started, &printer, &stream), 1);
    EXPECT_EQ(PrintOutLine(FALSE, printer, stream, "x", 0, FALSE, 0), 1);
    EXPECT_EQ(PrintFinish(FALSE, printer, stream, TRUE), -2);
    EXPECT_TRUE(Names(session).empty());
}

} // namespace

namespace {

TEST(PrintOptions, KeysFollowTheirRules) {
    struct Case {
        const char* what;
        int kind;
        PrintOptions before;
        int key;
        bool option;
        PrintOptions after;
    };
    auto O = [](BOOL headers, int lines, BOOL margin, int wrap, BOOL asa) {
        PrintOptions o{};
        o.headers = headers;
        o.linesPerPage = lines;
        o.margin = margin;
        o.wrap = wrap;
        o.asa = asa;
        return o;
    };
    const Case cases[] = {
        {"headers on with no page length gives 55", 0, O(0, 0, 0, 0, 0), 'H', true,
         O(1, 55, 0, 0, 0)},
        {"headers on keeps a page length", 1, O(0, 20, 0, 0, 0), 'H', true, O(1, 20, 0, 0, 0)},
        {"headers off keeps the page length", 0, O(1, 20, 0, 0, 0), 'H', true, O(0, 20, 0, 0, 0)},
        {"no headers key in the short menu", 3, O(0, 0, 0, 0, 0), 'H', false, O(0, 0, 0, 0, 0)},
        {"no ASA key in the short menu", 4, O(0, 0, 0, 0, 0), 'A', false, O(0, 0, 0, 0, 0)},
        {"ASA toggles", 0, O(0, 0, 0, 0, 0), 'A', true, O(0, 0, 0, 0, 1)},
        {"margin toggles", 2, O(0, 0, 1, 0, 0), 'M', true, O(0, 0, 0, 0, 0)},
        {"wrap off to 75", 2, O(0, 0, 0, 0, 0), 'W', true, O(0, 0, 0, 75, 0)},
        {"wrap 75 to 80", 2, O(0, 0, 0, 75, 0), 'W', true, O(0, 0, 0, 80, 0)},
        {"wrap 80 to 132", 2, O(0, 0, 0, 80, 0), 'W', true, O(0, 0, 0, 132, 0)},
        {"wrap 132 to off", 2, O(0, 0, 0, 132, 0), 'W', true, O(0, 0, 0, 0, 0)},
        {"other keys are no options", 0, O(1, 5, 1, 80, 1), 'X', false, O(1, 5, 1, 80, 1)},
    };
    for (const Case& c : cases) {
        PrintOptions o = c.before;
        EXPECT_EQ(PrintOptionKey(&o, c.kind, c.key), c.option) << c.what;
        EXPECT_EQ(PrintOptionTexts(o, 0), PrintOptionTexts(c.after, 0)) << c.what;
    }
}

TEST(PrintOptions, LinesPerPageAndTexts) {
    PrintOptions o{};
    o.headers = TRUE;
    PrintSetLines(&o, 1200);
    EXPECT_EQ(o.linesPerPage, 999);
    EXPECT_TRUE(o.headers);
    PrintSetLines(&o, 0);
    EXPECT_EQ(o.linesPerPage, 0);
    EXPECT_FALSE(o.headers) << "no page length, no headers";
    o.margin = TRUE;
    o.wrap = 132;
    EXPECT_EQ(PrintOptionTexts(o, 0), (std::vector<std::string>{"Headers (off)", "Lines/page (0  )",
                                                                "Margin (1)", "Wrap (132)",
                                                                "ASA (no )"}));
    o.wrap = 75;
    o.linesPerPage = 55;
    EXPECT_EQ(PrintOptionTexts(o, 4),
              (std::vector<std::string>{"Lines/page (55 )", "Margin (1)", "Wrap (75 )"}));
    o.wrap = 0;
    EXPECT_EQ(PrintOptionTexts(o, 3)[2], "Wrap (off)");
}

using PrintMenuTest = qtest::PlatformTest;
using qtest::ShadowText;

std::vector<INPUT_RECORD> Letter(char c) {
    return qtest::TypeText(std::u16string(1, char16_t(c)));
}
std::vector<INPUT_RECORD> EnterKey() { return qtest::Tap(VK_RETURN, 0x1C, 13); }
std::vector<INPUT_RECORD> EscKey() { return qtest::Tap(VK_ESCAPE, 0x01, 27); }

TEST_F(PrintMenuTest, ScriptedKeysSetTheOptionsAndTheScreenShowsThem) {
    // W W M, L 20 Enter, P "office" Enter, then Enter prints.
    for (const auto& k : {Letter('w'), Letter('w'), Letter('m'), Letter('l'),
                          qtest::TypeText(u"20"), EnterKey(), Letter('p'),
                          qtest::TypeText(u"office"), EnterKey(), EnterKey()})
        qtest::Put(k);
    BOOL headers = FALSE, margin = FALSE, asa = FALSE;
    int lines = 0, wrap = 0;
    WCHAR device[PRINT_DEVICE_UNITS + 1] = {};
    const WORD mode = gWindowMode;
    EXPECT_EQ(PrintMenu(PRINT_KIND_TREE, nullptr, &headers, &lines, &wrap, &margin, device, &asa),
              13);
    EXPECT_EQ(gWindowMode, mode);
    EXPECT_EQ(lines, 20);
    EXPECT_EQ(wrap, 80);
    EXPECT_TRUE(margin);
    EXPECT_FALSE(headers);
    EXPECT_EQ(std::u16string(device), u"office");
    EXPECT_EQ(ShadowText(gMessageRow, 0, 11), u"PRINT: Tree");
    const std::u16string hints = ShadowText(gHintRow, 0, 80);
    EXPECT_NE(hints.find(u"Lines/page (20 )"), std::u16string::npos) << std::string(hints.begin(), hints.end());
    EXPECT_NE(hints.find(u"Margin (1)"), std::u16string::npos);
    EXPECT_NE(hints.find(u"Wrap (80 )"), std::u16string::npos);
    EXPECT_NE(ShadowText(gMessageRow, 0, 80).find(u"Print to:    office"), std::u16string::npos);
    EXPECT_EQ(hints.find(u"Headers"), std::u16string::npos) << "the short menu";
    EXPECT_EQ(ShadowText(gBottomRow, 0, 37), u"Select option or press enter to print");
}

TEST_F(PrintMenuTest, EscChangesNothingAndTheFullMenuOffersHeaders) {
    for (const auto& k : {Letter('h'), Letter('a'), Letter('w'), EscKey()})
        qtest::Put(k);
    BOOL headers = FALSE, margin = FALSE, asa = FALSE;
    int lines = 0, wrap = 0;
    WCHAR device[PRINT_DEVICE_UNITS + 1] = {};
    EXPECT_EQ(PrintMenu(PRINT_KIND_FILE, u"notes.txt", &headers, &lines, &wrap, &margin, device,
                        &asa),
              27);
    EXPECT_FALSE(headers);
    EXPECT_FALSE(asa);
    EXPECT_EQ(lines, 0);
    EXPECT_EQ(wrap, 0);
    EXPECT_EQ(device[0], 0);
    const std::u16string hints = ShadowText(gHintRow, 0, 80);
    EXPECT_EQ(ShadowText(gMessageRow, 0, 16), u"PRINT: notes.txt");
    for (const char16_t* text : {u"Headers (on )", u"Lines/page (55 )", u"Wrap (75 )",
                                 u"ASA (yes)"})
        EXPECT_NE(hints.find(text), std::u16string::npos) << std::string(hints.begin(), hints.end());
    EXPECT_EQ(ShadowText(gMessageRow, 30, 17), u"Print to:    LPT1");
}

} // namespace

namespace {

TEST_F(PrintMenuTest, CommandsNameTheirKindOfEntries) {
    for (const BOOL dirs : {FALSE, TRUE}) {
        PrintCommands(dirs);
        EXPECT_EQ(ShadowText(gMessageRow, 0, 5), u"PRINT");
        EXPECT_EQ(ShadowText(gHintRow, 0, 8), u"COMMANDS");
        const std::u16string words = dirs ? u"Catalog of tagged dirs  Pathnames  Tree"
                                          : u"Catalog of tagged files  Pathnames  Tree";
        EXPECT_EQ(ShadowText(gMessageRow, 10, int(words.size())), words);
    }
}

} // namespace
