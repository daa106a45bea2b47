// The print command of the tree window on a disk built in memory: the menu
// answered with Enter, the listing written through the spool to the
// clipboard (the own copy, and the real xclip on a virtual display), a file
// and a full device; the catalog's pages and entries, and the device names
// that are completed before the job starts.
#include "platform/printing.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "clipboardapi.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "fixture.h"
#include "platform_fixture.h"
#include "print_support.h"
#include "posix/virtual_display.h"
#include "qposix_path.h"
#include "settings/session_dir.h"
#include "settings/settings.h"
#include "tree/file_list.h"
#include "tree/tree_records.h"
#include "tree_builder.h"
#include "ui/numbers_dates.h"

namespace {

using qtest::ShadowText;

using qtest::ClipboardNow;

std::string Narrow(const std::u16string& text) { return qtest::NarrowText(text); }

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return lines;
}

// A spool that takes a number of bytes into the real file and then fails as
// a full disk does.
struct FullDisk {
    FILE* real = nullptr;
    size_t left = 0;
};
FullDisk gFull;

ssize_t FullDiskWrite(void* cookie, const char* bytes, size_t count) {
    auto* disk = static_cast<FullDisk*>(cookie);
    if (disk->left == 0) {
        errno = ENOSPC;
        return -1;
    }
    const size_t take = std::min(count, disk->left);
    if (fwrite(bytes, 1, take, disk->real) != take)
        return -1;
    disk->left -= take;
    return ssize_t(take);
}

int FullDiskClose(void* cookie) { return fclose(static_cast<FullDisk*>(cookie)->real); }

FILE* OpenFullDisk(const WCHAR* path, const WCHAR* mode) {
    gFull.real = _wfopen(path, mode);
    if (gFull.real == nullptr)
        return nullptr;
    cookie_io_functions_t io{};
    io.write = FullDiskWrite;
    io.close = FullDiskClose;
    return fopencookie(&gFull, "w", io);
}

class PrintRunTest : public qtest::PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        qtest::ResetTreeState();
        gDateFormat = 1;
        gTwelveHourClock = 0;
        session = dir.MakeDir("session");
        const std::u16string w = Win(session);
        w.copy(gSessionTempDir, SESSION_DIR_UNITS - 1);
        gSessionTempDir[w.size()] = 0;
        *PrintKeptOptions() = PrintOptions{};
    }
    void TearDown() override {
        gPrintSpoolOpenForTest = nullptr;
        gSessionTempDir[0] = 0;
        qtest::FreeTrees();
        qtest::ResetTreeState();
        PlatformTest::TearDown();
    }
    static std::u16string Win(const std::string& posix) {
        WCHAR out[4096];
        EXPECT_GE(PathFromPosix(posix.c_str(), out, 4096), 0) << posix;
        return out;
    }
    // Q: labelled DATA: a.txt (tagged) and b.txt in the root, c.txt and d.txt
    // (both tagged) in alpha, e.txt in beta; with tags false nothing is
    // tagged.
    void BuildDisk(bool tags) {
        disk = qtest::BuildDisk('Q');
        std::strcpy(disk->szLabel, "DATA");
        disk->qwFreeBytes = 123456789;
        SubdirInfo* alpha = qtest::BuildDir(disk, u"alpha");
        SubdirInfo* beta = qtest::BuildDir(disk, u"beta");
        const int64_t march5 = 1709641805; // 2024-03-05 12:30:05 UTC
        const BYTE t = tags ? ENTRY_MATCHES | ENTRY_TAGGED : ENTRY_MATCHES;
        const BYTE m = ENTRY_MATCHES;
        qtest::BuildFiles(disk->psiRoot, {{u"a.txt", 10, {t, t}, march5}, {u"b.txt", 20, {m, m}, march5}});
        qtest::BuildFiles(alpha, {{u"c.txt", 1234567, {t, t}, march5}, {u"d.txt", 5, {t, t}, march5}});
        qtest::BuildFiles(beta, {{u"e.txt", 0, {m, m}, march5}});
        qtest::RecountTrees();
        pdiCurrent = disk;
        psiCurrent = disk->psiRoot;
    }
    // Runs the command with the options set and Enter on the menu; extra
    // keys follow (an error line's answer).
    void Run(int kind, int lines, const std::u16string& device, bool answerError = false) {
        PrintOptions* o = PrintKeptOptions();
        o->linesPerPage = lines;
        device.copy(o->device, PRINT_DEVICE_UNITS);
        o->device[device.size()] = 0;
        qtest::Put(qtest::Tap(VK_RETURN, 0x1C, 13));
        if (answerError)
            qtest::Put(qtest::Tap(VK_RETURN, 0x1C, 13));
        PrintRun(kind);
        EXPECT_LE(qtest::Pending(), 1) << "every key press was read (the last release may wait)";
    }
    // The lines of the catalog of the tagged disk after its first header
    // line (which holds the clock), with 10 lines a page.
    static std::vector<std::string> TaggedCatalogTail() {
        const std::string header[] = {
            "                      Available space        123,456,789 bytes",
            "      5 logged files using 1,234,602 bytes",
            "      3 tagged files using 1,234,582 bytes",
            "",
        };
        std::vector<std::string> lines(header, header + 4);
        for (const char* line :
             {"      Path: Q:\\", "          1 tagged files using 10 bytes", "",
              " 3-05-24  12:30:05              10.... a.txt", ""})
            lines.push_back(line);
        lines.push_back("PAGE 2");
        lines.insert(lines.end(), header, header + 4);
        for (const char* line :
             {"      Path: Q:\\alpha", "          2 tagged files using 1,234,572 bytes", "",
              " 3-05-24  12:30:05       1,234,567.... c.txt",
              " 3-05-24  12:30:05               5.... d.txt"})
            lines.push_back(line);
        lines.push_back("PAGE 3");
        lines.insert(lines.end(), header, header + 4);
        lines.push_back("");
        return lines;
    }
    // The text's lines with every "Disk Volume" line checked and replaced:
    // the first dropped, later ones "PAGE n".
    static std::vector<std::string> MaskVolumeLines(const std::string& text, bool pages) {
        std::vector<std::string> out;
        int page = 0;
        for (const std::string& line : SplitLines(text)) {
            if (line.rfind("      Disk Volume: ", 0) != 0) {
                out.push_back(line);
                continue;
            }
            ++page;
            EXPECT_EQ(line.substr(0, 44), "      Disk Volume: DATA                     ");
            if (pages) {
                const std::string tail = "   Page " + std::to_string(page);
                EXPECT_EQ(line.substr(line.size() - tail.size()), tail) << line;
            } else {
                EXPECT_EQ(line.find("Page"), std::string::npos) << line;
            }
            if (page > 1)
                out.push_back("PAGE " + std::to_string(page));
        }
        return out;
    }
    qtest::TempDir dir;
    qtest::ScopedEnv display{"DISPLAY", nullptr};
    qtest::ScopedEnv wayland{"WAYLAND_DISPLAY", nullptr};
    std::string session;
    DiskInfo* disk = nullptr;
};

TEST_F(PrintRunTest, CatalogToTheClipboardHasHeadersEveryTenLinesAndNoFormFeed) {
    BuildDisk(true);
    Run(PRINT_KIND_CATALOG, 10, u"CLIP:");
    const std::string text = Narrow(ClipboardNow());
    EXPECT_EQ(text.find('\f'), std::string::npos);
    EXPECT_EQ(MaskVolumeLines(text, true), TaggedCatalogTail()) << text;
    EXPECT_EQ(gFileList, nullptr) << "the pane's list is put back";
    EXPECT_EQ(psiCurrent, disk->psiRoot);
    EXPECT_EQ(ShadowText(gMessageRow, 0, 31), u"PRINT: Catalog of tagged files ");
}

TEST_F(PrintRunTest, CatalogWithoutTagsIsTheHeaderAlone) {
    BuildDisk(false);
    Run(PRINT_KIND_CATALOG, 0, u"clip:");
    const std::string text = Narrow(ClipboardNow());
    const std::vector<std::string> expected = {
        "                      Available space        123,456,789 bytes",
        "      5 logged files using 1,234,602 bytes",
        "      0 tagged files using 0 bytes",
        "",
    };
    EXPECT_EQ(MaskVolumeLines(text, false), expected) << text;
}

TEST_F(PrintRunTest, ToAFileTheSameTextKeepsItsFormFeeds) {
    BuildDisk(true);
    const std::string out = dir.Sub("catalog.txt");
    Run(PRINT_KIND_CATALOG, 10, Win(out));
    std::string text = qtest::ReadFile(out);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 3) << "two page breaks and the last page";
    ASSERT_EQ(text.back(), '\f');
    text.erase(std::remove(text.begin(), text.end(), '\f'), text.end());
    EXPECT_EQ(MaskVolumeLines(text, true), TaggedCatalogTail());
}

TEST_F(PrintRunTest, TreeAndPathNamesOfTheCurrentDisk) {
    BuildDisk(true);
    Run(PRINT_KIND_TREE, 0, u"CLIP:");
    const std::u16string tree = ClipboardNow();
    const size_t rows = tree.find(u"Q:\\\n");
    ASSERT_NE(rows, std::u16string::npos) << Narrow(tree);
    // The OEM connectors come back from code page 437 as box characters.
    EXPECT_EQ(tree.substr(rows), u"Q:\\\n\u251c\u2500\u2500alpha\n\u2514\u2500\u2500beta\n");
    EXPECT_EQ(MaskVolumeLines(Narrow(tree.substr(0, rows)), false).size(), 4u);
    std::vector<std::string> lines;
    Run(PRINT_KIND_PATHS, 0, u"CLIP:");
    lines = MaskVolumeLines(Narrow(ClipboardNow()), false);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.end()),
              (std::vector<std::string>{"      Q:\\", "      Q:\\alpha", "      Q:\\beta"}));
}

TEST_F(PrintRunTest, AFullSpoolShowsDiskFullAndTheClipboardGetsThePartialText) {
    BuildDisk(true);
    Run(PRINT_KIND_CATALOG, 10, u"CLIP:");
    const std::string whole = Narrow(ClipboardNow());
    const size_t firstLine = whole.find('\n') + 1;
    ASSERT_GT(whole.size(), 300u);
    gFull.left = 300;
    gPrintSpoolOpenForTest = OpenFullDisk;
    Run(PRINT_KIND_CATALOG, 10, u"CLIP:", true);
    const std::string partial = Narrow(ClipboardNow());
    ASSERT_EQ(partial.size(), 300u);
    EXPECT_EQ(partial.substr(firstLine), whole.substr(firstLine, 300 - firstLine));
    EXPECT_EQ(ShadowText(gBottomRow, 0, 45), u"Error: Unable to write to device - disk full?");
    EXPECT_TRUE(qtest::FileNames(session).empty()) << "the spool file is deleted";
}

TEST_F(PrintRunTest, ADeviceThatCannotBeOpenedIsNamed) {
    BuildDisk(true);
    // No drive Y: here.
    Run(PRINT_KIND_TREE, 0, u"Y:\\nowhere\\out.txt", true);
    EXPECT_EQ(ShadowText(gBottomRow, 0, 54), u"Error: Unable to write to device: Y:\\nowhere\\out.txt  ");
}

TEST_F(PrintRunTest, HeadersStartFromTheSettingsAndTheOptionsAreKept) {
    for (const BYTE headers : {0, 1}) {
        gIniWorking.printHeaders = headers;
        PrintResetOptions();
        EXPECT_EQ(PrintKeptOptions()->headers, BOOL(headers));
        EXPECT_EQ(PrintKeptOptions()->device[0], 0);
    }
    gIniWorking.printHeaders = 0;
    BuildDisk(true);
    // W twice and M in the menu: wrap 80 and the margin stay for the next job.
    for (const char16_t key : {u'w', u'w', u'm'})
        qtest::Put(qtest::TypeText(std::u16string(1, key)));
    Run(PRINT_KIND_PATHS, 0, u"CLIP:");
    EXPECT_EQ(PrintKeptOptions()->wrap, 80);
    EXPECT_TRUE(PrintKeptOptions()->margin);
    EXPECT_NE(Narrow(ClipboardNow()).find("\n              Q:\\alpha\n"), std::string::npos)
        << "eight blanks of margin before the six of the path";
}

TEST_F(PrintRunTest, DevicesAreCompletedBeforeTheJob) {
    BuildDisk(true);
    psiCurrent = disk->psiRoot->psiChild; // Q:\alpha
    struct Case {
        const char16_t* typed;
        const char* device;
    };
    const Case cases[] = {
        {u"\\out.txt", "Q:\\out.txt"},
        {u"\\\\server\\queue", "\\\\server\\queue"},
        {u"CLIP:", "CLIP:"},
        {u"office", "office"},
        {u"%2:\\print\\%6.txt", "Q:\\print\\alpha.txt"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Narrow(PrintResolveDevice(c.typed)), c.device) << Narrow(c.typed);
}

TEST_F(PrintRunTest, TheRealXclipOnAVirtualDisplayGetsEveryListing) {
    if (access("/usr/bin/xclip", X_OK) != 0 || access("/usr/bin/Xvfb", X_OK) != 0)
        GTEST_SKIP() << "xclip or Xvfb is not installed (scripts/install-deps)";
    BuildDisk(true);
    qproc::VirtualDisplay x;
    ASSERT_FALSE(x.name().empty()) << "Xvfb did not start";
    qtest::ScopedEnv d("DISPLAY", x.name().c_str());
    // xclip alone on PATH: the clipboard goes to it, not to another tool.
    const std::string bin = dir.MakeDir("bin");
    ASSERT_EQ(::symlink("/usr/bin/xclip", (bin + "/xclip").c_str()), 0);
    qtest::ScopedEnv p("PATH", bin.c_str());
    // xclip's background server may take a moment to own the selection:
    // wait for the text's last line, then compare it. The desktop's
    // clipboard holds CR LF line ends.
    auto pasted = [](const char* last) {
        std::string text;
        for (int i = 0; i < 100 && text.find(last) == std::string::npos; ++i) {
            if (i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            text = Narrow(ClipboardNow());
        }
        EXPECT_NE(text.find("\r\n"), std::string::npos);
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        return text;
    };
    Run(PRINT_KIND_CATALOG, 10, u"CLIP:");
    const std::string catalog = pasted("Page 3");
    EXPECT_EQ(MaskVolumeLines(catalog, true), TaggedCatalogTail()) << catalog;
    EXPECT_EQ(catalog.find('\f'), std::string::npos);
    Run(PRINT_KIND_PATHS, 0, u"CLIP:");
    std::vector<std::string> lines = MaskVolumeLines(pasted("Q:\\beta"), false);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.end()),
              (std::vector<std::string>{"      Q:\\", "      Q:\\alpha", "      Q:\\beta"}));
    Run(PRINT_KIND_TREE, 0, u"CLIP:");
    lines = MaskVolumeLines(pasted("??beta"), false);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.end()),
              (std::vector<std::string>{"Q:\\", "???alpha", "???beta"}))
        << "three box characters before each name";
}

} // namespace
