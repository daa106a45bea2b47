// Console input end to end: bytes typed at a real program's terminal arrive
// as the records that ReadConsoleInputW returns, with xterm keys (the kitty
// keyboard query left unanswered) and with the kitty keyboard protocol (the
// query answered). Each row is followed by F12 as a marker, so that exactly
// the records of that row are compared.
#include "fixture.h"
#include "terminal_harness.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr size_t npos = std::string::npos;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool IsMarker(const std::string& line) { return line.rfind("key ", 0) == 0 && line.find("vk=7B") != npos; }

struct InputProbe {
    qtest::TempDir dir;
    std::string report = dir.Sub("report");
    qtest::PtyProcess p;
    size_t taken = 0; // report lines already compared

    // F12 pressed and released; under the kitty protocol the release comes
    // in the long form.
    std::string marker;

    explicit InputProbe(bool kitty) : marker(kitty ? "\x1b[24~\x1b[24;1:3~" : "\x1b[24~") {
        // Answers arrive only once the program has asked.
        if (kitty) p.Answer("\x1b[?u", "\x1b[?1u");
        p.Answer("\x1b[c", "\x1b[?62;22c");
        EXPECT_TRUE(p.Start({QUILB_CONSOLE_INPUT_PROBE, report, "98"}));
    }
    ~InputProbe() {
        p.Signal(SIGTERM);
        p.WaitExit(20000);
    }
    std::vector<std::string> Report() const { return Lines(qtest::ReadFile(report)); }
    bool Ready() {
        if (p.WaitFor("READY", 20000) == npos) return false;
        return WaitLines(1);
    }
    bool WaitLines(size_t count) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Report().size() < count) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    // Runs an input step, then the marker; the records that came before the
    // marker. With waitRecords, the marker goes only once the step has given
    // that many records: a lone ESC is a key only after the terminal has been
    // silent, and a resize arrives by a signal, however busy the machine is.
    std::vector<std::string> Records(const std::function<void()>& step, size_t waitRecords) {
        step();
        if (waitRecords && !WaitLines(taken + waitRecords)) return {"<records of the step missing>"};
        p.Write(marker);
        std::vector<std::string> lines;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            lines = Report();
            size_t markers = 0;
            for (size_t i = taken; i < lines.size(); i++) markers += IsMarker(lines[i]);
            if (markers >= 2) break;
            if (std::chrono::steady_clock::now() > deadline) return {"<no marker>"};
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::vector<std::string> got;
        size_t i = taken;
        for (; !IsMarker(lines[i]); i++) got.push_back(lines[i]);
        taken = i + 2;
        return got;
    }
};

struct Row {
    const char* what;
    std::string bytes;
    std::vector<std::string> records;
    size_t waitRecords = 0; // records that must arrive before the marker goes
};

void RunRows(InputProbe& probe, const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        std::vector<std::string> got =
            probe.Records([&] { probe.p.Write(row.bytes); }, row.waitRecords);
        EXPECT_EQ(got, row.records) << row.what;
    }
}

TEST(ConsoleInputPty, XtermKeysWhenTheKittyQueryIsNotAnswered) {
    InputProbe probe(false);
    ASSERT_TRUE(probe.Ready());
    EXPECT_EQ(probe.Report()[0], "kitty=0");
    probe.taken = 1;
    // Every key carries NUMLOCK_ON (0x20), the lock state a decoder starts with.
    const std::vector<Row> rows = {
        {"a letter", "a", {"key d vk=41 sc=1E ch=0061 st=0020", "key u vk=41 sc=1E ch=0061 st=0020"}},
        {"a capital adds Shift", "A",
         {"key d vk=41 sc=1E ch=0041 st=0030", "key u vk=41 sc=1E ch=0041 st=0030"}},
        {"Ctrl+Up is enhanced", "\x1b[1;5A",
         {"key d vk=26 sc=48 ch=0000 st=0128", "key u vk=26 sc=48 ch=0000 st=0128"}},
        {"Delete", "\x1b[3~",
         {"key d vk=2E sc=53 ch=0000 st=0120", "key u vk=2E sc=53 ch=0000 st=0120"}},
        {"Shift+F3 as a tilde code", "\x1b[25~",
         {"key d vk=72 sc=3D ch=0000 st=0030", "key u vk=72 sc=3D ch=0000 st=0030"}},
        {"Shift+F1", "\x1b[1;2P",
         {"key d vk=70 sc=3B ch=0000 st=0030", "key u vk=70 sc=3B ch=0000 st=0030"}},
        {"e acute typed as UTF-8", "\xc3\xa9",
         {"key d vk=E7 sc=00 ch=00E9 st=0020", "key u vk=E7 sc=00 ch=00E9 st=0020"}},
        {"an emoji as a surrogate pair", "\xf0\x9f\x98\x80",
         {"key d vk=E7 sc=00 ch=D83D st=0020", "key u vk=E7 sc=00 ch=D83D st=0020",
          "key d vk=E7 sc=00 ch=DE00 st=0020", "key u vk=E7 sc=00 ch=DE00 st=0020"}},
        {"Alt+x", "\x1bx", {"key d vk=58 sc=2D ch=0078 st=0022", "key u vk=58 sc=2D ch=0078 st=0022"}},
        {"Ctrl+C arrives as a key without processed input", "\x03",
         {"key d vk=43 sc=2E ch=0003 st=0028", "key u vk=43 sc=2E ch=0003 st=0028"}},
        {"Ctrl+A as CSI u", "\x1b[97;5u",
         {"key d vk=41 sc=1E ch=0001 st=0028", "key u vk=41 sc=1E ch=0001 st=0028"}},
        {"Ctrl+A through modifyOtherKeys", "\x1b[27;5;97~",
         {"key d vk=41 sc=1E ch=0001 st=0028", "key u vk=41 sc=1E ch=0001 st=0028"}},
        {"a lone Escape after the time-out", "\x1b",
         {"key d vk=1B sc=01 ch=001B st=0020", "key u vk=1B sc=01 ch=001B st=0020"}, 2},
        {"a click and its release", "\x1b[<0;10;5M\x1b[<0;10;5m",
         {"mouse 9,4 b=00000001 st=0020 f=0", "mouse 9,4 b=00000000 st=0020 f=0"}},
        {"the wheel turned up", "\x1b[<64;3;2M", {"mouse 2,1 b=00780000 st=0020 f=4"}},
        {"focus in and out", "\x1b[I\x1b[O", {"focus 1", "focus 0"}},
        {"pasted text arrives as keys, the markers as nothing", "\x1b[200~b\x1b[201~",
         {"key d vk=42 sc=30 ch=0062 st=0020", "key u vk=42 sc=30 ch=0062 st=0020"}},
        // Last: win32-input-mode sets the lock state and lengthens the ESC time-out.
        {"win32-input-mode Shift+A: a key down, its key up gives nothing",
         "\x1b[65;30;65;1;16;1_\x1b[65;30;65;0;16;1_", {"key d vk=41 sc=1E ch=0041 st=0010",
                                                        "key u vk=41 sc=1E ch=0041 st=0010"}},
    };
    RunRows(probe, rows);

    std::vector<std::string> got = probe.Records([&] { probe.p.Resize(30, 100); }, 1);
    EXPECT_EQ(got, std::vector<std::string>{"size 100x30"}) << "a resize with window input";
}

TEST(ConsoleInputPty, KittyKeysWhenTheQueryIsAnswered) {
    InputProbe probe(true);
    ASSERT_TRUE(probe.Ready());
    EXPECT_EQ(probe.Report()[0], "kitty=1");
    probe.taken = 1;
    // The kitty protocol reports the lock state with every key: none here
    // unless the modifier field says so.
    const std::vector<Row> rows = {
        {"a press and its release", "\x1b[97;1:1u\x1b[97;1:3u",
         {"key d vk=41 sc=1E ch=0061 st=0000", "key u vk=41 sc=1E ch=0061 st=0000"}},
        {"Ctrl+A pressed", "\x1b[97;5u", {"key d vk=41 sc=1E ch=0001 st=0008"}},
        {"Shift+a with its text", "\x1b[97;2;65u", {"key d vk=41 sc=1E ch=0041 st=0010"}},
        {"Num Lock in the modifier field", "\x1b[97;129u", {"key d vk=41 sc=1E ch=0061 st=0020"}},
        {"left Shift alone, pressed and released", "\x1b[57441;2u\x1b[57441;1:3u",
         {"key d vk=10 sc=2A ch=0000 st=0010", "key u vk=10 sc=2A ch=0000 st=0000"}},
        {"Ctrl+Up pressed", "\x1b[1;5A", {"key d vk=26 sc=48 ch=0000 st=0108"}},
        {"Ctrl+C as a kitty key", "\x1b[99;5u", {"key d vk=43 sc=2E ch=0003 st=0008"}},
        {"a repeat is a key down", "\x1b[98;1:2u", {"key d vk=42 sc=30 ch=0062 st=0000"}},
    };
    RunRows(probe, rows);
}

} // namespace
