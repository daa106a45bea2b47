// The process entry of quilb: the command-line text, the wide argument
// table with existing paths made absolute drive-letter paths, and the
// program itself without a terminal: --version, --keys and the hand-over to
// the main program, which starts up until it needs the console.
#include "fixture.h"
#include "process_entry.h"
#include "qposix_path.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <limits.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace {

std::u16string CommandLine(const std::vector<std::u16string>& arguments) {
    std::vector<WCHAR*> table;
    for (const std::u16string& a : arguments) table.push_back(const_cast<WCHAR*>(a.c_str()));
    WCHAR* text = QuilbCommandLine(int(table.size()), table.data());
    EXPECT_NE(text, nullptr);
    std::u16string result = text ? text : u"<null>";
    std::free(text);
    return result;
}

TEST(ProcessEntry, CommandLineText) {
    struct Case {
        const char* what;
        std::vector<std::u16string> arguments;
        std::u16string text;
    };
    const Case cases[] = {
        {"no arguments at all", {}, u""},
        {"the program alone", {u"/usr/bin/quilb"}, u"/usr/bin/quilb"},
        {"plain arguments are written bare, one blank apart", {u"quilb", u"/T", u"C:\\docs"},
         u"quilb /T C:\\docs"},
        {"a blank quotes the argument", {u"quilb", u"a b"}, u"quilb \"a b\""},
        {"so does a tab", {u"quilb", u"a\tb"}, u"quilb \"a\tb\""},
        {"a double quote is quoted and escaped", {u"quilb", u"x\"y"}, u"quilb \"x\\\"y\""},
        {"an empty argument is two double quotes", {u"quilb", u"", u"z"}, u"quilb \"\" z"},
        {"a backslash alone stays as it is", {u"quilb", u"C:\\My Files\\"},
         u"quilb \"C:\\My Files\\\""},
        {"only double quotes", {u"quilb", u"\"\""}, u"quilb \"\\\"\\\"\""},
    };
    for (const Case& c : cases) EXPECT_EQ(CommandLine(c.arguments), c.text) << c.what;
}

// Runs QuilbWideArguments in directory, with argv[0] "quilb".
std::vector<std::u16string> WideArguments(const std::string& directory,
                                          const std::vector<std::string>& arguments) {
    char here[PATH_MAX];
    EXPECT_NE(getcwd(here, sizeof here), nullptr);
    EXPECT_EQ(chdir(directory.c_str()), 0);
    std::vector<char*> argv = {const_cast<char*>("quilb")};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    bool failed = true;
    WCHAR** table = QuilbWideArguments(int(argv.size()), argv.data(), &failed);
    EXPECT_EQ(chdir(here), 0);
    EXPECT_FALSE(failed);
    std::vector<std::u16string> result;
    if (!table) return result;
    for (size_t i = 0; i < argv.size(); i++) result.push_back(table[i]);
    EXPECT_EQ(table[argv.size()], nullptr) << "the table ends with a null entry";
    QuilbFreeArguments(int(argv.size()), table);
    return result;
}

std::u16string DrivePath(const std::string& posix) {
    WCHAR path[4096];
    EXPECT_GT(PathFromPosix(posix.c_str(), path, 4096), 0) << posix;
    return path;
}

std::u16string Plain(const std::string& utf8) {
    WCHAR text[4096];
    Utf8ToUtf16(utf8.c_str(), -1, text, 4096, true);
    return text;
}

TEST(ProcessEntry, ExistingPathsBecomeAbsoluteDriveLetterPaths) {
    qtest::TempDir dir;
    char real[PATH_MAX];
    ASSERT_NE(realpath(dir.path().c_str(), real), nullptr);
    const std::string root = real;
    dir.MakeDir("work/docs");
    dir.Write("work/notes.txt", "n");
    ASSERT_EQ(symlink((root + "/work/docs").c_str(), (root + "/work/link").c_str()), 0);
    const std::string work = root + "/work";
    struct Case {
        const char* what;
        std::string argument;
        std::u16string expected;
    };
    const Case cases[] = {
        {"an absolute path is converted as written",
         root + "/work/docs/../notes.txt", DrivePath(root + "/work/docs/../notes.txt")},
        {"an absolute link stays a link", root + "/work/link", DrivePath(root + "/work/link")},
        {"'.' is the directory itself", ".", DrivePath(work)},
        {"'..' its parent", "..", DrivePath(root)},
        {"a relative path with a slash is resolved", "docs/../notes.txt", DrivePath(work + "/notes.txt")},
        {"a relative link is followed", "./link", DrivePath(work + "/docs")},
        {"a name without a slash passes as typed, even when it exists", "docs", u"docs"},
        {"an option that names nothing passes as typed", "/K", u"/K"},
        {"a drive letter passes as typed", "D:", u"D:"},
        {"a path that does not exist passes as typed", "missing/file", u"missing/file"},
        {"an absolute path that does not exist too", root + "/nothing", Plain(root + "/nothing")},
        {"UTF-8 text", "caf\xc3\xa9", u"caf\u00e9"},
        {"bytes that are not UTF-8 keep their values", "a\xff", u"a\xdcff"},
        {"an empty argument", "", u""},
    };
    std::vector<std::string> arguments;
    for (const Case& c : cases) arguments.push_back(c.argument);
    std::vector<std::u16string> table = WideArguments(work, arguments);
    ASSERT_EQ(table.size(), arguments.size() + 1);
    EXPECT_EQ(table[0], u"quilb") << "the program's path is never touched";
    for (size_t i = 0; i < std::size(cases); i++)
        EXPECT_EQ(table[i + 1], cases[i].expected) << cases[i].what;
    EXPECT_EQ(WideArguments(work, {"."})[1].find(u'/'), std::u16string::npos)
        << "the drive-letter form has no slashes";
}

// Runs quilb in a session of its own, without a terminal.
struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

// stdoutPath, when given, is opened as the standard output instead of a file
// that is read back.
ProgramRun RunQuilb(const std::vector<std::string>& arguments, const char* stdoutPath = nullptr) {
    qtest::TempDir dir;
    std::string out = stdoutPath ? stdoutPath : dir.Sub("out"), err = dir.Sub("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::vector<char*> argv = {const_cast<char*>(QUILB_PROGRAM)};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ProgramRun run;
    pid_t pid;
    if (posix_spawn(&pid, QUILB_PROGRAM, &actions, &attributes, argv.data(), environ) == 0)
        waitpid(pid, &run.status, 0);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (!stdoutPath) run.out = qtest::ReadFile(out);
    run.err = qtest::ReadFile(err);
    return run;
}

TEST(QuilbProgram, OneArgumentInvocationsAndTheHandOver) {
    // Handed over, the program starts up until it needs the console, which
    // a process without a terminal does not have. Its session directory
    // goes into a temporary directory of the test's own.
    const std::string noConsole = "\nError: Could not get window handle\nPress Enter ";
    qtest::TempDir temp;
    qtest::ScopedEnv qtemp("QTEMP", temp.path().c_str());
    struct Case {
        const char* what;
        std::vector<std::string> arguments;
        int status;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {"--version alone prints the version", {"--version"}, 0, "Quilbora 2.9.11 (qposix, 64-bit)\n", ""},
        {"--version with another argument is an ordinary argument", {"--version", "x"}, 255, "", noConsole},
        {"another argument before --version too", {"x", "--version"}, 255, "", noConsole},
        {"--keys without a terminal", {"--keys"}, 1, "", "quilb --keys: no terminal\n"},
        {"--keys with another argument is ordinary", {"--keys", "x"}, 255, "", noConsole},
        {"no arguments: the file manager starts up", {}, 255, "", noConsole},
        {"options and paths too", {"/LT", "."}, 255, "", noConsole},
    };
    for (const Case& c : cases) {
        ProgramRun run = RunQuilb(c.arguments);
        ASSERT_TRUE(WIFEXITED(run.status)) << c.what << " status " << run.status;
        EXPECT_EQ(WEXITSTATUS(run.status), c.status) << c.what;
        EXPECT_EQ(run.out, c.out) << c.what;
        EXPECT_EQ(run.err, c.err) << c.what;
    }
}

TEST(QuilbProgram, AVersionLineThatCannotBeWrittenFails) {
    ProgramRun run = RunQuilb({"--version"}, "/dev/full");
    ASSERT_TRUE(WIFEXITED(run.status)) << "status " << run.status;
    EXPECT_EQ(WEXITSTATUS(run.status), 1);
    EXPECT_EQ(run.err, "quilb: cannot write the version: No space left on device\n");
}

} // namespace
