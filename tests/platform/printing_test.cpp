// Printing's line writer, page header and line reader on in-memory streams:
// wrapping and margins, form feeds per destination, the five header lines,
// write errors on a full device, and the line ends of files being printed.
#include "platform/printing.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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
