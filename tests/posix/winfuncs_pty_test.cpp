// Message boxes, the functions the layer only names and the pseudo windows
// as a real program meets them: on a pseudo-terminal (the terminal in its
// own mode while a box waits, the screen repainted after, the answers of
// every button row) and without any terminal (the standard streams).
#include "fixture.h"
#include "terminal_harness.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr size_t npos = std::string::npos;

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != npos; at = text.find(what, at + what.size())) n++;
    return n;
}

bool WaitReport(const std::string& path, const std::string& what, int timeoutMs = 10000) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (qtest::ReadFile(path).find(what) == npos) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool Cooked(const qtest::PtyProcess& p) {
    struct termios t;
    return p.CurrentSettings(&t) && std::memcmp(&t, &p.InitialSettings(), sizeof t) == 0;
}

void ExpectRestored(const qtest::PtyProcess& p, const char* what) {
    qtest::ModeTracker modes;
    modes.Feed(p.Output());
    EXPECT_EQ(modes.Leftovers(), "") << what;
    EXPECT_TRUE(Cooked(p)) << what;
}

TEST(MessageBoxPty, AnswersOfEveryButtonRow) {
    struct Case {
        const char* what;
        const char* type; // hex type, then the caption after a comma
        std::vector<std::string> lines;
        int answer;
        const char* prompt;
        int prompts; // times the prompt is shown
    };
    const Case cases[] = {
        {"Yes/No, second default: an empty line is No", "104,Question", {"\n"}, 7, "[Y]es or [N]o", 1},
        {"Yes/No: Y is Yes", "104,Question", {"Y\n"}, 6, "[Y]es or [N]o", 1},
        {"Yes/No: x asks again", "104,Question", {"x\n", "n\n"}, 7, "[Y]es or [N]o", 2},
        {"a long line asks again once, not once per 128 bytes", "4,Question",
         {std::string(300, 'x') + "\n", "y\n"}, 6, "[Y]es or [N]o", 2},
        {"OK: Enter", "0,Note", {"\n"}, 1, "Press Enter", 1},
        {"OK: another letter asks again", "0,Note", {"z\n", "o\n"}, 1, "Press Enter", 2},
        {"OK/Cancel: the first letter counts", "1,Note", {"cancel it\n"}, 2, "[O]K or [C]ancel", 1},
        {"Abort/Retry/Ignore: i", "2,Error", {"i\n"}, 5, "[A]bort, [R]etry or [I]gnore", 1},
        {"Yes/No/Cancel, third default", "203,Question", {"\n"}, 2, "[Y]es, [N]o or [C]ancel", 1},
        {"Retry/Cancel with a default past its buttons takes the first", "205,Error", {"\n"}, 4,
         "[R]etry or [C]ancel", 1},
        {"an unknown type asks as OK", "f,Note", {"\n"}, 1, "Press Enter", 1},
    };
    for (const Case& c : cases) {
        qtest::TempDir dir;
        std::string report = dir.Sub("report");
        qtest::PtyProcess p;
        p.Answer("\x1b[c", "\x1b[?62;22c");
        ASSERT_TRUE(p.Start({QUILB_WINFUNCS_PROBE, report, "box", c.type})) << c.what;
        std::string caption = std::string(c.type).substr(std::string(c.type).find(',') + 1);
        std::string question = "\r\n" + caption + ": Delete \xef\xbf\xbd[31mit\xef\xbf\xbd[0m?\r\n" +
                               c.prompt + " ";
        size_t asked = p.WaitFor(question, 20000);
        ASSERT_NE(asked, npos) << c.what << "\n" << qtest::Hex(p.Output());
        EXPECT_TRUE(Cooked(p)) << c.what << ": the terminal in its own mode while the box waits";
        qtest::ModeTracker modes;
        modes.Feed(p.Output());
        EXPECT_EQ(modes.Leftovers(), "") << c.what << ": and its own screen";
        for (const std::string& line : c.lines) p.Write(line);
        ASSERT_TRUE(WaitReport(report, "answer=")) << c.what;
        EXPECT_NE(qtest::ReadFile(report).find("answer=" + std::to_string(c.answer) + "\n"), npos)
            << c.what << ": " << qtest::ReadFile(report);
        size_t back = p.WaitFor("\x1b[?1049h", 10000, asked);
        ASSERT_NE(back, npos) << c.what << ": the program's screen is taken back";
        // Every prompt was written before the screen was taken back, so the
        // output read from here on holds them all.
        std::string out = p.Output();
        EXPECT_EQ(Count(out.substr(asked, back - asked), std::string(c.prompt) + " "), c.prompts)
            << c.what;
        EXPECT_NE(p.WaitFor("SCREEN", 10000, back), npos) << c.what << ": and repainted";
        p.Write("q");
        int status = p.WaitExit(20000);
        ASSERT_TRUE(WIFEXITED(status)) << c.what;
        EXPECT_EQ(WEXITSTATUS(status), 0) << c.what;
        ExpectRestored(p, c.what);
    }
}

TEST(MessageBoxPty, AnEmptyCaptionLeavesOutTheColon) {
    qtest::TempDir dir;
    std::string report = dir.Sub("report");
    qtest::PtyProcess p;
    p.Answer("\x1b[c", "\x1b[?62;22c");
    ASSERT_TRUE(p.Start({QUILB_WINFUNCS_PROBE, report, "box", "0"}));
    size_t asked = p.WaitFor("Press Enter ", 20000);
    ASSERT_NE(asked, npos);
    EXPECT_NE(p.Output().find("\r\nDelete \xef\xbf\xbd[31m"), npos) << qtest::Hex(p.Output());
    EXPECT_EQ(p.Output().find(": Delete"), npos);
    EXPECT_EQ(p.Output().find("\x1b[31m"), npos) << "the text's escape sequence never reaches the terminal";
    p.Write("\n");
    ASSERT_TRUE(WaitReport(report, "answer=1"));
    p.Write("q");
    ASSERT_NE(p.WaitExit(20000), -1);
}

TEST(MissingFunctionPty, StopsWithAMessageAndTheTerminalBack) {
    for (const char* name : {"OpenProcess", "GetModuleFileNameExA"}) {
        qtest::TempDir dir;
        std::string report = dir.Sub("report");
        std::string stdoutFile = dir.Sub("stdout");
        qtest::PtyProcess p;
        p.Answer("\x1b[c", "\x1b[?62;22c");
        ASSERT_TRUE(p.Start({QUILB_WINFUNCS_PROBE, report, "missing", name, stdoutFile})) << name;
        int status = p.WaitExit(20000);
        ASSERT_TRUE(WIFSIGNALED(status)) << name << " status " << status;
        EXPECT_EQ(WTERMSIG(status), SIGABRT) << name;
        std::string message = std::string("\r\nqposix: ") + name + " is not implemented yet\r\n";
        std::string out = p.Output();
        size_t at = out.find(message);
        ASSERT_NE(at, npos) << name << "\n" << qtest::Hex(out);
        EXPECT_GT(at, out.rfind("\x1b[?1049l")) << name << ": written after the terminal is restored";
        EXPECT_EQ(qtest::ReadFile(stdoutFile), "before") << name << ": the standard output was flushed";
        EXPECT_EQ(qtest::ReadFile(report).find("returned"), npos) << name;
        ExpectRestored(p, name);
    }
}

// Runs the probe in a session of its own, without a controlling terminal,
// with stdinText as its standard input; its standard error comes back.
struct Detached {
    int status = -1;
    std::string err;
};

Detached RunDetached(const std::vector<std::string>& args, const std::string& stdinText) {
    qtest::TempDir dir;
    std::string in = dir.Write("stdin", stdinText);
    std::string err = dir.Sub("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Detached result;
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ) == 0)
        waitpid(pid, &result.status, 0);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    result.err = qtest::ReadFile(err);
    return result;
}

TEST(WindowsWithoutATerminal, NoConsoleWindowAndBoxesOnTheStandardStreams) {
    qtest::TempDir dir;
    std::string report = dir.Sub("report");
    Detached windows = RunDetached({QUILB_WINFUNCS_PROBE, report, "windows"}, "");
    ASSERT_TRUE(WIFEXITED(windows.status));
    EXPECT_NE(qtest::ReadFile(report).find("console=0 enum=1 calls=0 gui=1 active=0 focus=0"), npos)
        << qtest::ReadFile(report);

    struct Case {
        const char* what;
        std::string input;
        const char* answer;
        int prompts;
    };
    const Case cases[] = {
        {"an answer read from the standard input", "n\n", "answer=7", 1},
        {"the end of the input gives the default", "", "answer=6", 1},
        {"a wrong letter, then the end of the input", "q\n", "answer=6", 2},
    };
    for (const Case& c : cases) {
        std::string boxReport = dir.Sub(std::string("box-") + std::to_string(&c - cases));
        Detached box = RunDetached({QUILB_WINFUNCS_PROBE, boxReport, "box", "4,Question"}, c.input);
        ASSERT_TRUE(WIFEXITED(box.status)) << c.what;
        EXPECT_NE(qtest::ReadFile(boxReport).find(c.answer), npos) << c.what;
        EXPECT_EQ(box.err.find("\nQuestion: Delete \xef\xbf\xbd[31mit\xef\xbf\xbd[0m?\n[Y]es or [N]o "),
                  0u)
            << c.what << ": " << box.err;
        EXPECT_EQ(Count(box.err, "[Y]es or [N]o "), c.prompts) << c.what;
    }
}

} // namespace
