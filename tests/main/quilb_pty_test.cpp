// quilb --keys as a person runs it: on a pseudo-terminal (with xterm keys and
// with the kitty keyboard protocol) and under tmux. Every key, mouse, size
// and focus event shows as one line; Esc, a key, Esc goes on, Esc twice in a
// row ends with status 0; the terminal is as it was afterwards.
#include "fixture.h"
#include "terminal_harness.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr size_t npos = std::string::npos;

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Whether the screen the program's output draws shows text on some row.
bool Shows(const qtest::PtyProcess& p, const std::string& text) {
    qtest::VtScreen screen(40, 120);
    screen.Feed(p.Output());
    for (int row = 0; row < screen.Rows(); row++)
        if (screen.RowText(row).find(text) != npos) return true;
    return false;
}

bool WaitShows(const qtest::PtyProcess& p, const std::string& text, int timeoutMs = 10000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!Shows(p, text)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(10);
    }
    return true;
}

// The key tester writes each event on the row below the last: its newest
// event is the last row that is not blank.
std::string LastRow(const std::vector<std::string>& rows) {
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        if (row->find_first_not_of(' ') != npos) return *row;
    return "";
}

std::string LastRow(const qtest::PtyProcess& p) {
    qtest::VtScreen screen(40, 120);
    screen.Feed(p.Output());
    std::vector<std::string> rows;
    for (int row = 0; row < screen.Rows(); row++)
        rows.push_back(screen.RowText(row));
    return LastRow(rows);
}

// Types a key and waits until the tester shows its last event. A lone Esc is
// the Escape key only once the terminal has been silent after it: the next
// key goes only when the Esc has been taken as a key, however busy the
// machine is.
bool TypeAndWait(qtest::PtyProcess& p, const std::string& bytes, const std::string& shown) {
    p.Write(bytes);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (LastRow(p).rfind(shown, 0) != 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Sleep(10);
    }
    return true;
}

void ExpectRestored(const qtest::PtyProcess& p, const char* what) {
    EXPECT_EQ(qtest::TerminalLeftovers(p), "") << what;
}

struct Step {
    const char* what;
    std::string bytes;
    std::vector<std::string> lines; // shown afterwards
};

TEST(QuilbKeys, XtermKeysOnAPseudoTerminal) {
    qtest::PtyOptions options;
    options.rows = 40;
    options.columns = 120;
    qtest::PtyProcess p(options);
    p.Answer("\x1b[c", "\x1b[?62;22c");
    ASSERT_TRUE(p.Start({QUILB_PROGRAM, "--keys"}));
    ASSERT_TRUE(WaitShows(
        p, "quilb --keys: kitty keyboard protocol off (xterm keys); press Esc twice to stop"))
        << qtest::Hex(p.Output());
    const Step steps[] = {
        {"a letter",
         "a",
         {"key down A          vk=41 sc=1E ch=0061 'a'  num",
          "key up   A          vk=41 sc=1E ch=0061 'a'  num"}},
        {"Ctrl+C is a key here", "\x03", {"key down C          vk=43 sc=2E ch=0003  LCtrl num"}},
        {"Shift+F3", "\x1b[25~", {"key down F3         vk=72 sc=3D ch=0000  Shift num"}},
        {"a character beyond ASCII",
         "\xc3\xa9",
         {"key down Packet     vk=E7 sc=00 ch=00E9 '\xc3\xa9'  num"}},
        // A wide character needs a blank after it to be drawn; the line
        // has its code, and the shell gets the character at the end.
        {"a CJK character", "\xe4\xb8\xad", {"key down Packet     vk=E7 sc=00 ch=4E2D '"}},
        {"a click, as mouse reporting is on",
         "\x1b[<0;5;3M\x1b[<0;5;3m",
         {"mouse 4,2 buttons=00000001  num", "mouse 4,2 buttons=00000000  num"}},
        {"the wheel", "\x1b[<65;7;3M", {"mouse 6,2 buttons=FF880000 wheel  num"}},
        {"focus", "\x1b[I\x1b[O", {"focus in", "focus out"}},
    };
    for (const Step& s : steps) {
        p.Write(s.bytes);
        for (const std::string& line : s.lines)
            EXPECT_TRUE(WaitShows(p, line)) << s.what << ": " << line;
    }
    p.Resize(30, 100);
    EXPECT_TRUE(WaitShows(p, "size 100x30")) << "a resize";

    // Esc, a, Esc: the key between starts the count again.
    const char* esc = "key up   Esc";
    ASSERT_TRUE(TypeAndWait(p, "\x1b", esc));
    ASSERT_TRUE(TypeAndWait(p, "a", "key up   A"));
    ASSERT_TRUE(TypeAndWait(p, "\x1b", esc));
    EXPECT_EQ(p.WaitExit(300), -1) << "Esc, a, Esc does not stop";
    ASSERT_TRUE(TypeAndWait(p, "b", "key up   B"));
    ASSERT_TRUE(TypeAndWait(p, "\x1b", esc));
    EXPECT_EQ(p.WaitExit(300), -1) << "one Esc does not stop";
    p.Write("\x1b");
    int status = p.WaitExit(10000);
    ASSERT_TRUE(WIFEXITED(status)) << "Esc twice in a row stops; status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ExpectRestored(p, "after --keys");
    std::string out = p.Output();
    size_t restored = out.rfind("\x1b[?1049l");
    ASSERT_NE(restored, npos);
    EXPECT_NE(out.find("key down Esc        vk=1B sc=01 ch=001B  num\r\n", restored), npos)
        << "the last screen stays in the shell";
    EXPECT_NE(out.find("key down Packet     vk=E7 sc=00 ch=4E2D '\xe4\xb8\xad'  num\r\n", restored),
              npos)
        << "with its characters";
}

TEST(QuilbKeys, KittyKeysWhenTheTerminalAnswers) {
    qtest::PtyProcess p;
    p.Answer("\x1b[?u", "\x1b[?1u");
    p.Answer("\x1b[c", "\x1b[?62;22c");
    ASSERT_TRUE(p.Start({QUILB_PROGRAM, "--keys"}));
    ASSERT_TRUE(WaitShows(p, "quilb --keys: kitty keyboard protocol on; press Esc twice to stop"));
    EXPECT_NE(p.Output().find("\x1b[>31u"), npos) << "the kitty flags are pushed";
    p.Write("\x1b[97;1:1u\x1b[97;1:3u");
    EXPECT_TRUE(WaitShows(p, "key down A          vk=41 sc=1E ch=0061 'a'  "));
    EXPECT_TRUE(WaitShows(p, "key up   A          vk=41 sc=1E ch=0061 'a'  "));
    p.Write("\x1b[97;5u");
    EXPECT_TRUE(WaitShows(p, "key down A          vk=41 sc=1E ch=0001  LCtrl "));
    // Kitty's Escape presses: the release between them does not count.
    p.Write("\x1b[27u\x1b[27;1:3u");
    EXPECT_TRUE(WaitShows(p, "key up   Esc        vk=1B sc=01 ch=001B"));
    EXPECT_EQ(p.WaitExit(300), -1);
    p.Write("\x1b[27u");
    int status = p.WaitExit(10000);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(p.Output().find("\x1b[<u"), npos) << "and popped";
    ExpectRestored(p, "after --keys with kitty keys");
}

// A terminal that stops reading while the program draws: the frame being
// written cannot go out, yet a terminating signal still ends the program,
// and the restore reaches the terminal once it reads again.
TEST(QuilbKeys, TerminatingSignalsEndTheProgramWhileTheTerminalReadsNothing) {
    struct Case {
        const char* what;
        int sig;
        int status;
    };
    const Case cases[] = {
        {"SIGTERM", SIGTERM, 143},
        {"SIGINT", SIGINT, 130},
        {"SIGHUP", SIGHUP, 129},
    };
    for (const Case& c : cases) {
        qtest::PtyOptions options;
        options.rows = 60;
        options.columns = 200;
        qtest::PtyProcess p(options);
        p.Answer("\x1b[c", "\x1b[?62;22c");
        ASSERT_TRUE(p.Start({QUILB_PROGRAM, "--keys"}));
        ASSERT_TRUE(WaitShows(p, "press Esc twice to stop")) << c.what;
        p.PauseReading();
        // Every key is a line of the tester: far more output than the
        // terminal's buffers hold, so the program's writes come to a stop.
        // A busy renderer sends fewer, later frames for the same keys, so
        // keys go on until the writes have stopped.
        bool blocked = false;
        for (int round = 0; round < 40 && !blocked; round++) {
            p.Write(std::string(30000, 'k'));
            blocked = p.WaitOutputBlocked(2000);
        }
        ASSERT_TRUE(blocked) << c.what << ": the terminal's buffers fill";
        p.Signal(c.sig);
        int status = p.WaitExit(10000);
        ASSERT_NE(status, -1) << c.what << ": still running, waiting for the terminal";
        ASSERT_TRUE(WIFEXITED(status)) << c.what << " status " << status;
        EXPECT_EQ(WEXITSTATUS(status), c.status) << c.what;
        p.ResumeReading();
        EXPECT_NE(p.WaitFor("\x1b[?1049l\x1b[23;0t", 10000), npos)
            << c.what << ": the restore arrives";
        ExpectRestored(p, c.what);
    }
}

// tmux on a socket of the test's own, so that no other server is touched.
struct Tmux {
    qtest::TempDir dir;
    std::string socket = dir.Sub("tmux.sock");
    std::string Run(const std::string& arguments) const {
        std::string command = "tmux -S '" + socket + "' " + arguments + " 2>&1";
        std::string out;
        if (FILE* f = popen(command.c_str(), "r")) {
            char buffer[4096];
            size_t n;
            while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
                out.append(buffer, n);
            pclose(f);
        }
        return out;
    }
    std::string Pane() const { return Run("capture-pane -p"); }
    // Sends a key and waits until the tester's newest event row begins with
    // shown (see TypeAndWait).
    bool SendAndWait(const std::string& key, const std::string& shown) const {
        Run("send-keys " + key);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            std::vector<std::string> rows;
            std::string pane = Pane();
            for (size_t at = 0, end; at < pane.size(); at = end + 1) {
                end = pane.find('\n', at);
                if (end == npos) end = pane.size();
                rows.push_back(pane.substr(at, end - at));
            }
            if (LastRow(rows).rfind(shown, 0) == 0) return true;
            if (std::chrono::steady_clock::now() > deadline) return false;
            Sleep(50);
        }
    }
    bool WaitPane(const std::string& text, int timeoutMs = 10000) const {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Pane().find(text) == npos) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            Sleep(50);
        }
        return true;
    }
    ~Tmux() { Run("kill-server"); }
};

TEST(QuilbKeys, UnderTmux) {
    if (std::system("command -v tmux >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "tmux is not installed (scripts/install-deps installs it)";
    Tmux tmux;
    tmux.Run("-f /dev/null new-session -d -x 100 -y 30 \"" + std::string(QUILB_PROGRAM) +
             " --keys; echo EXIT=\\$?; sleep 60\"");
    ASSERT_TRUE(tmux.WaitPane("press Esc twice to stop")) << tmux.Pane();
    tmux.Run("send-keys a");
    EXPECT_TRUE(tmux.WaitPane("key up   A          vk=41 sc=1E ch=0061 'a'  num")) << tmux.Pane();
    tmux.Run("send-keys C-c");
    EXPECT_TRUE(tmux.WaitPane("key down C          vk=43 sc=2E ch=0003  LCtrl num")) << tmux.Pane();
    tmux.Run("send-keys Up");
    EXPECT_TRUE(tmux.WaitPane("key down Up         vk=26 sc=48 ch=0000  enh num")) << tmux.Pane();
    tmux.Run("resize-window -x 90 -y 28");
    EXPECT_TRUE(tmux.WaitPane("size 90x28")) << tmux.Pane();
    const char* esc = "key up   Esc";
    ASSERT_TRUE(tmux.SendAndWait("Escape", esc)) << tmux.Pane();
    ASSERT_TRUE(tmux.SendAndWait("x", "key up   X")) << tmux.Pane();
    ASSERT_TRUE(tmux.SendAndWait("Escape", esc)) << tmux.Pane();
    ASSERT_TRUE(tmux.SendAndWait("y", "key up   Y")) << tmux.Pane();
    EXPECT_EQ(tmux.Pane().find("EXIT="), npos) << "Esc, x, Esc does not stop\n" << tmux.Pane();
    ASSERT_TRUE(tmux.SendAndWait("Escape", esc)) << tmux.Pane();
    tmux.Run("send-keys Escape");
    EXPECT_TRUE(tmux.WaitPane("EXIT=0")) << tmux.Pane();
    EXPECT_EQ(tmux.Run("display-message -p '#{alternate_on}'"), "0\n") << "the main screen is back";
}

} // namespace
