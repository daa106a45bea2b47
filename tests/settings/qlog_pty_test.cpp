// The logged-volumes dialog on a pseudo-terminal, through a small program
// that logs a fixture drive and opens the dialog: its three rows and key
// letters as drawn, a save through the name prompt, the file's size shown
// the next time, the file-exists question, and a load of the saved file.
#include "fixture.h"
#include "terminal_harness.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr int kRows = 24;
constexpr int kColumns = 80;
constexpr int kMessageRow = kRows - 3;
constexpr int kHintRow = kRows - 2;
constexpr int kBottomRow = kRows - 1;

using qtest::WaitUntil;

std::string Padded(std::string text) {
    text.resize(kColumns, ' ');
    return text;
}

class QlogPty : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    std::string report = dir.Sub("report");
    std::unique_ptr<qtest::PtyProcess> p;

    void SetUp() override {
        dir.Write("fix/a.txt", std::string(100, 'a'));
        dir.Write("fix/sub/b.txt", std::string(2000, 'b'));
        dir.Write("fix/sub/deeper/c.txt", "c");
        dir.Write("home/.config/quilb/drives", "q: " + dir.Sub("fix") + "\n");
        qtest::PtyOptions options;
        options.rows = kRows;
        options.columns = kColumns;
        options.environment = {"HOME=" + dir.Sub("home"),
                               "XDG_CONFIG_HOME=" + dir.Sub("home/.config"),
                               "XDG_DATA_HOME=" + dir.Sub("home/data")};
        p = std::make_unique<qtest::PtyProcess>(options);
        p->Answer("\x1b[c", "\x1b[?62;22c");
        ASSERT_TRUE(p->Start({QUILB_QLOG_PROBE, report, "q", dir.Sub("fix/TEMP.QLOG")}));
    }

    std::vector<std::string> Screen() const {
        qtest::VtScreen screen(kRows, kColumns);
        screen.Feed(p->Output());
        std::vector<std::string> rows;
        for (int row = 0; row < kRows; row++)
            rows.push_back(screen.RowText(row));
        return rows;
    }
    // The foreground colour of a cell, as libvterm gives it.
    VTermColor Fg(int row, int column) const {
        qtest::VtScreen screen(kRows, kColumns);
        screen.Feed(p->Output());
        return screen.Cell(row, column).fg;
    }
    bool WaitRow(int row, const std::string& text) {
        return WaitUntil([&] { return Screen()[row].rfind(text, 0) == 0; });
    }
    std::vector<std::string> Lines() const { return qtest::ReadLines(report); }
    bool WaitLines(size_t count) {
        return WaitUntil([&] { return Lines().size() >= count; });
    }
};

bool SameColour(const VTermColor& a, const VTermColor& b) {
    return vterm_color_is_equal(&a, &b) != 0;
}

TEST_F(QlogPty, SaveShowAgainAskBeforeReplacingAndLoad) {
    ASSERT_TRUE(WaitLines(1)) << qtest::Hex(p->Output());
    const std::string logged = Lines()[0];
    ASSERT_EQ(logged.rfind("logged 0 files ", 0), 0u) << logged;
    const std::string files = logged.substr(std::string("logged 0 files ").size());
    ASSERT_NE(files, "0");
    ASSERT_TRUE(WaitRow(0, "READY 1 disk(s)"));

    // The dialog's three rows, the key letters lit.
    p->Write("d");
    ASSERT_TRUE(WaitRow(kMessageRow, "QLOG VOLUMES:")) << Screen()[kMessageRow];
    std::vector<std::string> rows = Screen();
    EXPECT_EQ(rows[kMessageRow],
              Padded("QLOG VOLUMES:  Save current info to file or load/merge saved file"));
    EXPECT_EQ(rows[kHintRow], Padded("Q:\\TEMP.QLOG")) << "a new file: no size or date";
    std::string hints(kColumns, ' ');
    for (const auto& [column, text] :
         std::vector<std::pair<size_t, std::string>>{{0, "Load"},
                                                     {6, "Merge"},
                                                     {13, "save and Quit"},
                                                     {28, "save and Resume"},
                                                     {60, "F1 Help"},
                                                     {69, "Esc Cancel"}})
        hints.replace(column, text.size(), text);
    EXPECT_EQ(rows[kBottomRow], hints);
    EXPECT_FALSE(SameColour(Fg(kBottomRow, 0), Fg(kBottomRow, 1))) << "L of Load";
    EXPECT_FALSE(SameColour(Fg(kBottomRow, 22), Fg(kBottomRow, 21))) << "Q of save and Quit";
    EXPECT_TRUE(SameColour(Fg(kBottomRow, 21), Fg(kBottomRow, 1)));

    // R asks for the name, which Enter takes as shown.
    p->Write("r");
    ASSERT_TRUE(WaitRow(kMessageRow, "Save current info to file")) << Screen()[kMessageRow];
    EXPECT_EQ(Screen()[kHintRow].substr(0, 18), "File: Q:\\TEMP.QLOG");
    p->Write("\r");
    ASSERT_TRUE(WaitLines(2)) << Screen()[kBottomRow];
    EXPECT_EQ(Lines()[1], "dialog 82 disks 1 files " + files);
    const std::string saved = qtest::ReadFile(dir.Sub("fix/TEMP.QLOG"));
    ASSERT_GT(saved.size(), 1500u);
    EXPECT_EQ(saved.substr(0, 3), "QVF");
    EXPECT_EQ(saved.substr(saved.size() - 2), "QV");

    // Shown again with its size; R on it asks before replacing, N keeps it.
    p->Write("d");
    ASSERT_TRUE(WaitRow(kMessageRow, "QLOG VOLUMES:"));
    std::string size = std::to_string(saved.size());
    for (int at = int(size.size()) - 3; at > 0; at -= 3)
        size.insert(size_t(at), ",");
    EXPECT_NE(Screen()[kHintRow].find(size + "  "), std::string::npos) << Screen()[kHintRow];
    p->Write("r");
    ASSERT_TRUE(WaitRow(kMessageRow, "Save current info to file"));
    p->Write("\r");
    ASSERT_TRUE(WaitRow(kBottomRow, "File exists, replace?")) << Screen()[kBottomRow];
    p->Write("n");
    ASSERT_TRUE(WaitRow(kMessageRow, "QLOG VOLUMES:"));
    p->Write("\x1b");
    ASSERT_TRUE(WaitLines(3));
    EXPECT_EQ(Lines()[2], "dialog 0 disks 1 files " + files);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("fix/TEMP.QLOG")), saved);

    // L loads it back.
    p->Write("d");
    ASSERT_TRUE(WaitRow(kMessageRow, "QLOG VOLUMES:"));
    p->Write("l");
    ASSERT_TRUE(WaitRow(kMessageRow, "Load saved info from this file"));
    p->Write("\r");
    ASSERT_TRUE(WaitLines(4)) << Screen()[kBottomRow];
    EXPECT_EQ(Lines()[3], "dialog 1 disks 1 files " + files);
    ASSERT_TRUE(WaitRow(0, "READY 1 disk(s)"));

    p->Write("x");
    const int status = p->WaitExit(20000);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
