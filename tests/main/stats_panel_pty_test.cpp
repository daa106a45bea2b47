// The statistics panel of the file manager's first screen, run as a person
// runs it on a pseudo-terminal of 96 x 34 with a full-disk log of Q: (the
// drive home's generated tree), read back cell by cell.
#include "drive_home.h"
#include "fixture.h"
#include "terminal_harness.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 34;
constexpr int kColumns = 96;
constexpr int kPanel = kColumns - 22; // the panel's left border column

// n cells of a row from column, a blank for a cell never written.
std::u32string Cells(const qtest::VtScreen& screen, int row, int column, int n) {
    std::u32string text;
    for (int i = 0; i < n; i++) {
        const qtest::VtCell cell = screen.Cell(row, column + i);
        text += cell.text.empty() ? std::u32string(U" ") : cell.text;
    }
    return text;
}

// A number in a right-aligned field of width with thousands separators.
std::string Picture(unsigned long long value, size_t width) {
    std::string digits = std::to_string(value);
    for (int i = int(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(size_t(i), ",");
    return std::string(width > digits.size() ? width - digits.size() : 0, ' ') + digits;
}

std::u32string Wide(const std::string& ascii) {
    return std::u32string(ascii.begin(), ascii.end());
}

std::string Narrow(const std::u32string& text) {
    std::string out;
    for (char32_t c : text)
        out += c < 0x80 ? char(c) : '?';
    return out;
}

// A figure in its picture: right-aligned digits in groups of three.
bool IsPictureNumber(const std::u32string& field) {
    const size_t first = field.find_first_not_of(U' ');
    if (first == std::u32string::npos) return false;
    const std::u32string digits = field.substr(first);
    for (size_t i = 0; i < digits.size(); i++) {
        const size_t fromEnd = digits.size() - i;
        const bool comma = fromEnd % 4 == 0;
        if (comma ? digits[i] != U',' : (digits[i] < U'0' || digits[i] > U'9')) return false;
    }
    return digits.front() != U',';
}

class StatsPanelRun : public ::testing::Test {
  protected:
    qtest::DriveHome home;
    std::string program = home.CopyProgram(QUILB_PROGRAM);
    std::unique_ptr<qtest::PtyProcess> p;

    void Start(const std::vector<std::string>& arguments) {
        ASSERT_FALSE(program.empty());
        p = qtest::StartTerminalProgram(kRows, kColumns, home.Environment(), home.DriveQ(), program,
                                        arguments);
        ASSERT_TRUE(p);
    }
    // The screen drawn so far.
    std::unique_ptr<qtest::VtScreen> Screen() const {
        auto screen = std::make_unique<qtest::VtScreen>(kRows, kColumns);
        screen->Feed(p->Output());
        return screen;
    }
    // The screen drawn so far as text, a line a row, for messages.
    std::string ScreenText() const {
        std::string text;
        for (const std::string& row : qtest::ScreenRowsOf(p->Output(), kRows, kColumns))
            text += row + "\n";
        return text;
    }
    std::u32string At(int row, int offset, int n) const {
        return Cells(*Screen(), row, kPanel + offset, n);
    }
};

TEST_F(StatsPanelRun, TheFirstScreenShowsTheFullLogsFigures) {
    Start({"/LF", "Q:"});
    // The log is over once the logged files stand in the panel and the
    // current directory's name under its heading.
    // What Q: holds, counted here.
    const std::u32string files = Wide(Picture(64, 15));
    unsigned long long bytes = 0;
    unsigned long count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home.DriveQ()))
        if (entry.is_regular_file()) {
            bytes += entry.file_size();
            count++;
        }
    ASSERT_EQ(count, 64u) << "the drive home's fixture";
    const std::u32string byteText = Wide(Picture(bytes, 15));
    // The log is over once the logged files stand in the panel, and the
    // tree window is drawn once its lines name the root's subdirectories.
    ASSERT_TRUE(qtest::WaitUntil([&] {
        return At(10, 6, 15) == files && At(14, 6, 15) == byteText &&
               Narrow(Cells(*Screen(), 3, 0, 20)).find("alpha") != std::string::npos;
    })) << ScreenText();
    auto screen = Screen();
    auto at = [&](int row, int offset, int n) { return Cells(*screen, row, kPanel + offset, n); };

    // The box: columns 74 to 95, from the frame's top line to its bottom.
    const std::u32string line(20, U'\u2500');
    EXPECT_EQ(at(1, 0, 22), U"\u252C" + line + U"\u2510");
    EXPECT_EQ(at(3, 0, 22), U"\u251C" + line + U"\u2524");
    EXPECT_EQ(at(7, 0, 22), U"\u251C" + line + U"\u2524");
    // The bottom line holds the sort indicator inside the panel's width.
    EXPECT_EQ(at(kRows - 4, 0, 2) + at(kRows - 4, 21, 1), U"\u2534\u2500\u2518");
    for (int row : {2, 5, 12, 20, 27})
        EXPECT_EQ(at(row, 0, 1) + at(row, 21, 1), U"\u2502\u2502") << "row " << row;

    const struct {
        int row, offset;
        const char* text;
    } cells[] = {
        {2, 1, "FILE"},
        {2, 6, "*.*            "},
        {4, 1, "DISK"},
        {5, 4, "Available"},
        {8, 1, "DISK Statistics"},
        {9, 8, "Logged"},
        {10, 1, "Files"},
        {11, 1, "Bytes"},
        {12, 7, "Matching"},
        {13, 1, "Files"},
        {14, 1, "Bytes"},
        {15, 8, "Tagged"},
        {16, 1, "Files              0"},
        {17, 1, "Bytes              0"},
        {18, 3, "Current Directory"},
        {28, 4, "Quilbora v2.9.11"},
    };
    for (const auto& cell : cells) {
        const std::u32string expected = Wide(cell.text);
        EXPECT_EQ(at(cell.row, cell.offset, int(expected.size())), expected)
            << "row " << cell.row << ": " << Narrow(at(cell.row, 1, 20));
    }
    for (int row : {10, 13}) {
        EXPECT_EQ(at(row, 6, 15), files) << "row " << row;
        EXPECT_EQ(at(row + 1, 6, 15), byteText) << "row " << row + 1;
    }
    EXPECT_EQ(at(28, 20, 1), U" ") << "the program line ends at the panel's column 19";
    EXPECT_TRUE(IsPictureNumber(at(6, 2, 19))) << "the free bytes: " << Narrow(at(6, 2, 19));
    // The current directory's name under its heading, cut with the mark
    // when the mount path is longer than the field.
    const std::string q = home.DriveQ();
    const std::u32string name = at(19, 1, 20);
    if (q.size() >= 20) {
        EXPECT_EQ(name, Wide(q.substr(0, 19)) + U"\u25BA") << Narrow(name);
    } else {
        EXPECT_EQ(name.substr(0, q.size()), Wide(q)) << Narrow(name);
    }
    // Row 0: the date and a clock that ticks.
    const int timeColumn = kColumns - 11;
    const std::u32string date = Cells(*screen, 0, kColumns - 20, 8);
    EXPECT_EQ(date.substr(2, 1) + date.substr(5, 1), U"--") << Narrow(date);
    const std::u32string time = Cells(*screen, 0, timeColumn, 8);
    EXPECT_EQ(time.substr(2, 1) + time.substr(5, 1), U"::") << Narrow(time);
    EXPECT_TRUE(qtest::WaitUntil([&] { return Cells(*Screen(), 0, timeColumn, 8) != time; }))
        << "the clock stays at " << Narrow(time);

    p->Write("q");
    ASSERT_TRUE(qtest::WaitUntil([&] {
        for (int row = kRows - 3; row < kRows; row++)
            if (Narrow(Cells(*Screen(), row, 0, kColumns)).find("Are you sure") !=
                std::string::npos)
                return true;
        return false;
    })) << ScreenText();
    p->Write("y");
    const int status = p->WaitExit(20000);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
