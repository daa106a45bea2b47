// Processes: the split of Windows command lines, CreateProcessW with its
// exit codes, waits and the terminal handed to the child and back, the
// child's signal state and session, the PATH search that never runs a
// program from the browsed directory, the user's editor, graphical
// programs, the shell runner and its translation, and ShellExecute.
#include "process_support.h"

#include "internal/process.h"
#include "internal/spawn.h"
#include "clipboardapi.h"
#include "qposix_process.h"
#include "qposix_shares.h"
#include "shellexec.h"

#include <fcntl.h>
#include <signal.h>

#include <atomic>
#include <cstring>

using qproc::ChildTest;
using qproc::Exists;
using qproc::N;
using qproc::U;

namespace {

std::vector<std::string> Split(const std::u16string& line) {
    std::vector<std::string> out;
    char** argv = CommandLineSplit(line.c_str());
    if (!argv) return {"<null>"};
    for (char** p = argv; *p; p++)
        out.push_back(*p);
    CommandLineFree(argv);
    return out;
}

// Restores the working directory at the end of a scope.
class ScopedCwd {
  public:
    explicit ScopedCwd(const std::string& to) {
        char buf[4096];
        old_ = ::getcwd(buf, sizeof buf) ? buf : "/";
        EXPECT_EQ(::chdir(to.c_str()), 0);
    }
    ~ScopedCwd() { (void)!::chdir(old_.c_str()); }

  private:
    std::string old_;
};

// Runs a command line with CreateProcessW and waits for it; its exit code,
// or -1 when it could not be started.
long RunAndWait(const std::u16string& line, DWORD flags = 0, const WCHAR* directory = nullptr) {
    std::u16string copy = line;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, copy.data(), nullptr, nullptr, FALSE, flags, nullptr, directory,
                        nullptr, &pi))
        return -1;
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    return static_cast<long>(code);
}

} // namespace

// ---- command-line split -------------------------------------------------------

class CommandLineSplitTest : public ChildTest {};

TEST_F(CommandLineSplitTest, FollowsTheWindowsRules) {
    std::string t = dir.path();
    struct Row {
        const char* what;
        std::u16string line;
        std::vector<std::string> expected;
    };
    const Row rows[] = {
        {"two backslashes and a quote give one backslash and open quoting",
         u"prog a\\\\\"b c\"",
         {"prog", "a\\b c"}},
        {"one backslash before a quote gives a literal quote", u"p a\\\"b", {"p", "a\"b"}},
        {"three backslashes before a quote give one backslash and a quote",
         u"p a\\\\\\\"b",
         {"p", "a\\\"b"}},
        {"backslashes not before a quote stay", u"p a\\\\b", {"p", "a\\\\b"}},
        {"two quotes inside quotes give one and quoting goes on",
         u"p \"a\"\"b c\"",
         {"p", "a\"b c"}},
        {"an empty quoted argument is kept", u"p \"\" x", {"p", "", "x"}},
        {"leading blanks are skipped; tabs separate", u" \t p\ta\t\tb ", {"p", "a", "b"}},
        {"a quoted program name is taken plainly",
         u"\"/opt/my prog\"x y",
         {"/opt/my prog", "x", "y"}},
        {"a Windows path argument becomes a POSIX path",
         u"p Q:\\dir\\f.txt",
         {"p", t + "/dir/f.txt"}},
        {"a path with forward slashes too", u"p Q:/dir/f", {"p", t + "/dir/f"}},
        {"text that only contains a path stays text", u"p x=Q:\\d", {"p", "x=Q:\\d"}},
        {"a program with a backslash is a path", u"sub\\prog a", {"sub/prog", "a"}},
        {"a program with a drive letter is a path", u"Q:prog", {t + "/prog"}},
        {"other text is UTF-8", u"p \u00e9\U0001F600", {"p", "\xc3\xa9\xf0\x9f\x98\x80"}},
        {"an empty line gives no vector", u"", {"<null>"}},
        {"a blank line gives no vector", u" \t ", {"<null>"}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(Split(r.line), r.expected) << r.what;
}

TEST_F(CommandLineSplitTest, VectorGrowsAndEndsWithNull) {
    std::u16string line = u"p";
    for (int i = 0; i < 40; i++)
        line += u" a" + std::u16string(1, static_cast<WCHAR>('0' + i % 10));
    char** argv = CommandLineSplit(line.c_str());
    ASSERT_NE(argv, nullptr);
    int n = 0;
    while (argv[n])
        n++;
    EXPECT_EQ(n, 41);
    EXPECT_STREQ(argv[40], "a9");
    CommandLineFree(argv);
}

// ---- CreateProcessW -----------------------------------------------------------

class CreateProcessTest : public ChildTest {};

TEST_F(CreateProcessTest, ExitCodesAreTheStatusOr128PlusTheSignal) {
    struct Row {
        const char* what;
        std::u16string line;
        long expected;
    };
    const Row rows[] = {
        {"success", u"/bin/sh -c \"exit 0\"", 0},
        {"a status above 255 keeps its low byte", u"/bin/sh -c \"exit 370\"", 114},
        {"SIGTERM", u"/bin/sh -c \"kill -TERM $$\"", 143},
        {"SIGKILL", u"/bin/sh -c \"kill -KILL $$\"", 137},
        {"a program found on PATH", u"sh -c \"exit 7\"", 7},
    };
    for (const Row& r : rows)
        EXPECT_EQ(RunAndWait(r.line), r.expected) << r.what;
}

TEST_F(CreateProcessTest, FailuresAreReportedByTheParentAndLeaveNoChild) {
    std::string plain = dir.Write("plain.txt", "not a program\n");
    std::string garbage = dir.Write("garbage", "\x01\x02\x03 not a program\n");
    ::chmod(garbage.c_str(), 0755);
    struct Row {
        const char* what;
        std::u16string line;
        const WCHAR* directory;
        DWORD error;
    };
    const Row rows[] = {
        {"a program that does not exist", u"/nonexistent/quilb-no-such-program", nullptr,
         ERROR_FILE_NOT_FOUND},
        {"a name found nowhere on PATH", u"quilb-no-such-program-on-path", nullptr,
         ERROR_FILE_NOT_FOUND},
        {"a file without execute permission", u"Q:\\plain.txt", nullptr, ERROR_ACCESS_DENIED},
        {"a directory that does not exist", u"/bin/true", u"Q:\\missing", ERROR_FILE_NOT_FOUND},
        {"an executable the system cannot run", u"Q:\\garbage", nullptr, ERROR_GEN_FAILURE},
    };
    for (const Row& r : rows) {
        qproc::ResetConsoleCalls();
        std::u16string copy = r.line;
        PROCESS_INFORMATION pi{};
        SetLastError(0xDEAD);
        EXPECT_FALSE(CreateProcessW(nullptr, copy.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                    r.directory, nullptr, &pi))
            << r.what;
        EXPECT_EQ(GetLastError(), r.error) << r.what;
        // The terminal was handed over for the child and is taken back.
        qproc::ConsoleChildCalls calls = qproc::ConsoleCalls();
        EXPECT_EQ(calls.release, 1) << r.what;
        EXPECT_EQ(calls.reacquire, 1) << r.what;
        EXPECT_TRUE(qproc::Children().empty()) << r.what;
    }
    PROCESS_INFORMATION pi{};
    SetLastError(0xDEAD);
    EXPECT_FALSE(CreateProcessW(nullptr, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                nullptr, &pi));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(CreateProcessTest, RunningChildPollsAndTimesOut) {
    std::u16string line = u"/bin/sh -c \"exec sleep 30\"";
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                               nullptr, nullptr, nullptr, &pi));
    EXPECT_EQ(pi.hThread, nullptr);
    EXPECT_EQ(pi.dwProcessId, pi.dwThreadId);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    long long before = MonotonicMs();
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), WAIT_TIMEOUT);
    EXPECT_LT(MonotonicMs() - before, 5000) << "a wait of 0 does not wait for the process";
    before = MonotonicMs();
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 60), WAIT_TIMEOUT);
    EXPECT_GE(MonotonicMs() - before, 60);
    ::kill(static_cast<pid_t>(pi.dwProcessId), SIGTERM);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, 143u);
    // Answers stay the same once the child has been seen to end.
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(pi.hProcess));
}

TEST_F(CreateProcessTest, HandlesThatAreNotProcesses) {
    DWORD code = 7;
    SetLastError(0);
    EXPECT_FALSE(GetExitCodeProcess(reinterpret_cast<HANDLE>(0x10000 + 4 * 5000), &code));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(0x10000 + 4 * 5000), 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(GetExitCodeProcess(GetCurrentProcess(), &code));
    EXPECT_EQ(code, STILL_ACTIVE);
}

TEST_F(CreateProcessTest, TheTerminalIsHandedToTheChildAndTakenBackOnce) {
    std::u16string line = u"/bin/sh -c \"sleep 0.1\"";
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               nullptr, &pi));
    EXPECT_EQ(qproc::ConsoleCalls().release, 1);
    EXPECT_EQ(qproc::ConsoleCalls().reacquire, 0);
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
    DWORD code;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(WaitForSingleObject(pi.hProcess, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    EXPECT_EQ(qproc::ConsoleCalls().reacquire, 1);

    // A detached child never takes the terminal.
    qproc::ResetConsoleCalls();
    EXPECT_EQ(RunAndWait(u"/bin/true", CREATE_NO_WINDOW), 0);
    EXPECT_EQ(RunAndWait(u"/bin/true", CREATE_NEW_CONSOLE), 0);
    EXPECT_EQ(qproc::ConsoleCalls().release, 0);
    EXPECT_EQ(qproc::ConsoleCalls().reacquire, 0);
}

TEST_F(CreateProcessTest, WithoutARecordAChildWithTheTerminalIsWaitedFor) {
    std::string done = dir.Sub("done");
    Script("slow", "sleep 0.2\n: > \"$1\"\n");
    std::u16string line = u"Q:\\slow " + U(done);
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               nullptr, nullptr));
    EXPECT_TRUE(Exists(done));
    EXPECT_EQ(qproc::ConsoleCalls().reacquire, 1);

    // A detached one is left to run and reaped in the background.
    std::string later = dir.Sub("later");
    line = u"Q:\\slow " + U(later);
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                               nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(Exists(later));
    EXPECT_TRUE(qproc::WaitForFile(later));
}

TEST_F(CreateProcessTest, ChildStartsWithDefaultSignalsNothingBlockedInItsDirectory) {
    dir.MakeDir("sub");
    // The shell reads its own state with builtins: a child it forks would
    // see it in the middle of its own signal handling.
    Script("report",
           "while read -r k v; do case $k in SigBlk:|SigIgn:) printf '%s\\t%s\\n' \"$k\" \"$v\";; "
           "esac; done < /proc/$$/status > \"$1\"\npwd >> \"$1\"\n"
           "cut -d' ' -f6 /proc/$$/stat >> \"$1\"\nreadlink /proc/$$/fd/0 >> \"$1\"\n");
    struct sigaction ignore {
    }, handler{}, oldInt, oldQuit, oldTerm, oldPipe;
    ignore.sa_handler = SIG_IGN;
    handler.sa_handler = [](int) {};
    ::sigaction(SIGINT, &ignore, &oldInt);
    ::sigaction(SIGQUIT, &ignore, &oldQuit);
    ::sigaction(SIGPIPE, &ignore, &oldPipe);
    ::sigaction(SIGTERM, &handler, &oldTerm);
    sigset_t block, oldMask;
    sigemptyset(&block);
    sigaddset(&block, SIGUSR1);
    sigaddset(&block, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &block, &oldMask);

    std::string attached = dir.Sub("attached"), detached = dir.Sub("detached");
    EXPECT_EQ(RunAndWait(u"Q:\\report " + U(attached), 0, u"Q:\\sub"), 0);
    EXPECT_EQ(RunAndWait(u"Q:\\report " + U(detached), DETACHED_PROCESS), 0);

    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    ::sigaction(SIGINT, &oldInt, nullptr);
    ::sigaction(SIGQUIT, &oldQuit, nullptr);
    ::sigaction(SIGPIPE, &oldPipe, nullptr);
    ::sigaction(SIGTERM, &oldTerm, nullptr);

    std::string session = std::to_string(::getsid(0));
    std::istringstream a(qtest::ReadFile(attached));
    std::string blk, ign, cwd, sid, fd0;
    std::getline(a, blk);
    std::getline(a, ign);
    std::getline(a, cwd);
    std::getline(a, sid);
    EXPECT_EQ(blk, "SigBlk:\t0000000000000000");
    EXPECT_EQ(ign, "SigIgn:\t0000000000000000");
    EXPECT_EQ(cwd, dir.Sub("sub"));
    EXPECT_EQ(sid, session) << "an attached child shares the terminal's session";

    std::istringstream d(qtest::ReadFile(detached));
    std::getline(d, blk);
    std::getline(d, ign);
    std::getline(d, cwd);
    std::getline(d, sid);
    std::getline(d, fd0);
    EXPECT_EQ(ign, "SigIgn:\t0000000000000000");
    EXPECT_NE(sid, session) << "a detached child has a session of its own";
    EXPECT_EQ(fd0, "/dev/null");
}

// ---- PATH search ---------------------------------------------------------------

class ProgramSearchTest : public ChildTest {};

TEST_F(ProgramSearchTest, AProgramPlantedInTheBrowsedDirectoryNeverRuns) {
    std::string probe = dir.Sub("probe");
    dir.MakeDir("browsed");
    dir.MakeDir("browsed/rel");
    // The program and every outside tool the layer looks for.
    for (const char* name : {"quilbplant", "xdg-open", "xclip", "xsel", "wl-copy", "wl-paste",
                             "gio", "editor", "nano"})
        for (const char* where : {"browsed/", "browsed/rel/"}) {
            std::string p = dir.Write(std::string(where) + name, "#!/bin/sh\n: > " + probe + "\n");
            ::chmod(p.c_str(), 0755);
        }
    ScopedCwd cwd(dir.Sub("browsed"));
    struct Row {
        const char* what;
        const char* path;
    };
    const Row rows[] = {
        {"the current directory as '.'", "."},
        {"an empty element in the middle", "/nonexistent::/also-nonexistent"},
        {"an empty element at the end", "/nonexistent:"},
        {"a relative element", "rel"},
        {"a relative element with './'", "./rel:/nonexistent"},
    };
    for (const Row& r : rows) {
        qtest::ScopedEnv path("PATH", r.path);
        EXPECT_EQ(ProgramOnPath("quilbplant"), 0) << r.what;
        std::string found;
        int err = 0;
        EXPECT_FALSE(FindProgramOnPath("quilbplant", EmptyPath::Default, &found, &err)) << r.what;
        SetLastError(0);
        EXPECT_EQ(RunAndWait(u"quilbplant"), -1) << r.what;
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND) << r.what;
        EXPECT_EQ(ShellExecuteW(nullptr, nullptr, u"https://example.org/", nullptr, nullptr, 1),
                  reinterpret_cast<HINSTANCE>(SE_ERR_NOASSOC))
            << r.what;
        {
            qtest::ScopedEnv x("DISPLAY", ":9"), w("WAYLAND_DISPLAY", "wayland-9");
            ASSERT_TRUE(OpenClipboard(nullptr));
            EmptyClipboard();
            ASSERT_TRUE(CloseClipboard());
            ASSERT_TRUE(OpenClipboard(nullptr));
            EXPECT_EQ(GetClipboardData(CF_UNICODETEXT), nullptr) << r.what;
            ASSERT_TRUE(CloseClipboard());
        }
        WCHAR text[100];
        EXPECT_EQ(NetShareMount('P', u"smb://h/s", nullptr, nullptr, text, 100),
                  ERROR_NOT_SUPPORTED)
            << r.what;
        {
            qtest::ScopedEnv visual("VISUAL", nullptr), editor("EDITOR", nullptr);
            EXPECT_STREQ(DefaultEditor(), "vi") << r.what;
        }
        EXPECT_FALSE(Exists(probe)) << r.what;
    }
    // The same program in an absolute element is found and runs.
    qtest::ScopedEnv path("PATH", (dir.Sub("browsed") + ":/usr/bin:/bin").c_str());
    EXPECT_EQ(ProgramOnPath("quilbplant"), 1);
    EXPECT_EQ(RunAndWait(u"quilbplant"), 0);
    EXPECT_TRUE(Exists(probe));
}

TEST_F(ProgramSearchTest, SearchRules) {
    std::string bin = dir.MakeDir("bin");
    std::string noexec = dir.Write("bin/quilbnoexec", "#!/bin/sh\n");
    ::chmod(noexec.c_str(), 0644);
    dir.MakeDir("bin/quilbdir");
    qtest::ScopedEnv path("PATH", bin.c_str());
    std::string found;
    int err = 0;
    EXPECT_FALSE(FindProgramOnPath("quilbnoexec", EmptyPath::Default, &found, &err));
    EXPECT_EQ(err, EACCES) << "only a file that may not be run was found";
    EXPECT_FALSE(FindProgramOnPath("quilbdir", EmptyPath::Default, &found, &err));
    EXPECT_EQ(err, ENOENT) << "a directory is not a program";
    {
        qtest::ScopedEnv empty("PATH", "");
        EXPECT_TRUE(FindProgramOnPath("sh", EmptyPath::Default, &found, &err));
        EXPECT_FALSE(FindProgramOnPath("sh", EmptyPath::Nothing, &found, &err));
        qtest::ScopedEnv unset("PATH", nullptr);
        EXPECT_TRUE(FindProgramOnPath("sh", EmptyPath::Nothing, &found, &err));
        EXPECT_EQ(found.rfind("/sh"), found.size() - 3);
    }
    // Candidates of 4096 bytes or more are skipped.
    std::string longDir = "/" + std::string(4090, 'd');
    qtest::ScopedEnv longPath("PATH", (longDir + ":/bin").c_str());
    EXPECT_TRUE(FindProgramOnPath("sh", EmptyPath::Default, &found, &err));
    EXPECT_EQ(found, "/bin/sh");
}

TEST_F(ProgramSearchTest, DefaultEditor) {
    std::string bin = dir.MakeDir("bin");
    std::string other = dir.MakeDir("other");
    auto put = [&](const std::string& where, const char* name) {
        std::string p = dir.Write(where + "/" + name, "#!/bin/sh\n");
        ::chmod(p.c_str(), 0755);
    };
    put("other", "editor");
    put("other", "nano");
    struct Row {
        const char* what;
        const char* visual;
        const char* editor;
        std::string path;
        const char* expected;
    };
    std::string rel = "other";
    const Row rows[] = {
        {"VISUAL first", "myvisual", "myeditor", other, "myvisual"},
        {"an empty VISUAL gives way to EDITOR", "", "myeditor", other, "myeditor"},
        {"EDITOR when VISUAL is unset", nullptr, "myeditor", other, "myeditor"},
        {"then editor on PATH", "", "", other, "editor"},
        {"neither editor nor nano: vi", "", nullptr, bin, "vi"},
        {"an editor only in a relative element is not taken", "", nullptr, rel, "vi"},
    };
    ScopedCwd cwd(dir.path());
    for (const Row& r : rows) {
        qtest::ScopedEnv visual("VISUAL", r.visual), editor("EDITOR", r.editor),
            path("PATH", r.path.c_str());
        EXPECT_STREQ(DefaultEditor(), r.expected) << r.what;
    }
    ::unlink(dir.Sub("other/editor").c_str());
    qtest::ScopedEnv visual("VISUAL", nullptr), editor("EDITOR", nullptr),
        path("PATH", other.c_str());
    EXPECT_STREQ(DefaultEditor(), "nano");
}

// ---- graphical programs -------------------------------------------------------

namespace {

struct ElfSpec {
    bool wide = true;
    bool bigEndian = false;
    std::vector<std::string> needed;
    bool mapStringTable = true; // the string table lies inside a loadable segment
    size_t truncateTo = 0;      // 0: whole file
};

void Put(std::string& b, size_t at, uint64_t v, int bytes) {
    if (b.size() < at + bytes) b.resize(at + bytes, '\0');
    for (int i = 0; i < bytes; i++)
        b[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A small dynamic ELF program whose dynamic section needs the given libraries.
std::string BuildElf(const ElfSpec& s) {
    const uint64_t base = 0x400000;
    size_t eh = s.wide ? 64 : 52, phsz = s.wide ? 56 : 32, dynsz = s.wide ? 16 : 8;
    size_t phoff = eh, strOff = phoff + 2 * phsz;
    std::string strtab(1, '\0');
    std::vector<size_t> nameAt;
    for (const std::string& n : s.needed) {
        nameAt.push_back(strtab.size());
        strtab += n;
        strtab += '\0';
    }
    size_t dynOff = (strOff + strtab.size() + 7) & ~size_t(7);
    size_t dynCount = s.needed.size() + 2;
    size_t total = dynOff + dynCount * dynsz;
    int w = s.wide ? 8 : 4;
    std::string b(total, '\0');
    b[0] = 0x7F;
    b[1] = 'E';
    b[2] = 'L';
    b[3] = 'F';
    b[4] = s.wide ? 2 : 1;
    b[5] = s.bigEndian ? 2 : 1;
    b[6] = 1;
    Put(b, 16, 2, 2);
    Put(b, 18, s.wide ? 62 : 3, 2);
    Put(b, 20, 1, 4);
    Put(b, s.wide ? 32 : 28, phoff, w);
    Put(b, s.wide ? 52 : 40, eh, 2);
    Put(b, s.wide ? 54 : 42, phsz, 2);
    Put(b, s.wide ? 56 : 44, 2, 2);
    auto ph = [&](size_t i, uint32_t type, uint64_t off, uint64_t vaddr, uint64_t size) {
        size_t at = phoff + i * phsz;
        Put(b, at, type, 4);
        if (s.wide) {
            Put(b, at + 8, off, 8);
            Put(b, at + 16, vaddr, 8);
            Put(b, at + 32, size, 8);
            Put(b, at + 40, size, 8);
        } else {
            Put(b, at + 4, off, 4);
            Put(b, at + 8, vaddr, 4);
            Put(b, at + 16, size, 4);
            Put(b, at + 20, size, 4);
        }
    };
    ph(0, 1, 0, base, s.mapStringTable ? total : strOff);
    ph(1, 2, dynOff, base + dynOff, dynCount * dynsz);
    b.replace(strOff, strtab.size(), strtab);
    size_t at = dynOff;
    for (size_t i = 0; i < s.needed.size(); i++, at += dynsz) {
        Put(b, at, 1, w);
        Put(b, at + w, nameAt[i], w);
    }
    Put(b, at, 5, w);
    Put(b, at + w, base + strOff, w);
    if (s.truncateTo) b.resize(s.truncateTo);
    return b;
}

} // namespace

class ProgramIsGuiTest : public ChildTest {};

TEST_F(ProgramIsGuiTest, ToolkitLibrariesMakeAProgramGraphicalWhenADisplayIsThere) {
    struct Row {
        const char* what;
        ElfSpec elf;
        bool executable;
        const char* display;
        const char* wayland;
        int expected;
    };
    const Row rows[] = {
        {"libX11 with DISPLAY",
         {true, false, {"libc.so.6", "libX11.so.6"}},
         true,
         ":1",
         nullptr,
         1},
        {"libX11 without any display", {true, false, {"libX11.so.6"}}, true, "", "", 0},
        {"Wayland display only",
         {true, false, {"libwayland-client.so.0"}},
         true,
         nullptr,
         "wl-0",
         1},
        {"a 32-bit program with GTK", {false, false, {"libgtk-3.so.0"}}, true, ":1", nullptr, 1},
        {"Qt 6", {true, false, {"libQt6Gui.so.6"}}, true, ":1", nullptr, 1},
        {"SDL", {true, false, {"libSDL2-2.0.so.0"}}, true, ":1", nullptr, 1},
        {"only libc: a terminal program", {true, false, {"libc.so.6"}}, true, ":1", nullptr, 0},
        {"a name that only resembles a toolkit",
         {true, false, {"libX1.so"}},
         true,
         ":1",
         nullptr,
         0},
        {"big-endian files are not read", {true, true, {"libX11.so.6"}}, true, ":1", nullptr, 0},
        {"not executable", {true, false, {"libX11.so.6"}}, false, ":1", nullptr, 0},
        {"string table outside every loadable segment",
         {true, false, {"libX11.so.6"}, false},
         true,
         ":1",
         nullptr,
         0},
        {"cut inside the dynamic section",
         {true, false, {"libX11.so.6"}, true, 150},
         true,
         ":1",
         nullptr,
         0},
        {"cut inside the header", {true, false, {"libX11.so.6"}, true, 30}, true, ":1", nullptr, 0},
    };
    for (const Row& r : rows) {
        std::string path = dir.Write("prog", BuildElf(r.elf));
        ::chmod(path.c_str(), r.executable ? 0755 : 0644);
        qtest::ScopedEnv display("DISPLAY", r.display), wayland("WAYLAND_DISPLAY", r.wayland);
        EXPECT_EQ(ProgramIsGui(u"Q:\\prog"), r.expected) << r.what;
    }
    std::string script = Script("script", "exit 0\n");
    qtest::ScopedEnv display("DISPLAY", ":1");
    EXPECT_EQ(ProgramIsGui(u"Q:\\script"), 0);
    EXPECT_EQ(ProgramIsGui(u"Q:\\missing"), 0);
    EXPECT_EQ(ProgramIsGui(qproc::U("/bin/sh").c_str()), 0) << "a real terminal program";
    if (Exists("/usr/bin/xclip")) {
        EXPECT_EQ(ProgramIsGui(u"/usr/bin/xclip"), 1) << "a real program linked to libX11";
    }
}

// ---- the shell runner ----------------------------------------------------------

class ShellRunTest : public ChildTest {};

TEST_F(ShellRunTest, TranslationQuotesWindowsPaths) {
    std::string t = dir.path();
    dir.Write("a b", "");
    dir.Write("x\"y", "");
    struct Row {
        const char* what;
        std::u16string line;
        std::string expected;
    };
    const Row rows[] = {
        {"text without paths is passed as it stands", u"echo $HOME | wc -c > /dev/null",
         "echo $HOME | wc -c > /dev/null"},
        {"a path at the start", u"Q:\\run.sh arg", "'" + t + "/run.sh' arg"},
        {"a path after '='", u"x=Q:\\dir", "x='" + t + "/dir'"},
        {"a path inside a word stays", u"xQ:\\dir", "xQ:\\dir"},
        {"a quoted path with a single quote in a name", u"cat \"Q:\\it's\"",
         "cat '" + t + "/it'\\''s'"},
        {"an unquoted path ends at ';'", u"cat Q:\\a;echo", "cat '" + t + "/a';echo"},
        {"paths after redirections", u"sort <Q:\\in >Q:\\out",
         "sort <'" + t + "/in' >'" + t + "/out'"},
        {"paths after '|', '&' and '('", u"(Q:\\a|Q:\\b&Q:\\c)",
         "('" + t + "/a'|'" + t + "/b'&'" + t + "/c')"},
        {"forward slashes", u"cat Q:/d/f", "cat '" + t + "/d/f'"},
        {"an unquoted path ends at a blank, even where a name with a blank exists",
         u"cat Q:\\a b > Q:\\o", "cat '" + t + "/a' b > '" + t + "/o'"},
        {"a missing name with a blank ends at the blank", u"cat Q:\\c d", "cat '" + t + "/c' d"},
        {"a quoted path ends at the first double quote, even where a name has one",
         u"cat \"Q:\\x\"y\" z", "cat '" + t + "/x'y\" z"},
        {"a quoted path without its closing quote runs to the end", u"cat \"Q:\\n m",
         "cat '" + t + "/n m'"},
        {"text beyond ASCII", u"echo \u00e9\U0001F600", "echo \xc3\xa9\xf0\x9f\x98\x80"},
    };
    for (const Row& r : rows) {
        std::string out;
        EXPECT_TRUE(ShellCommandTranslate(r.line.c_str(), &out)) << r.what;
        EXPECT_EQ(out, r.expected) << r.what;
    }
    std::string out;
    std::u16string longPath = u"cat Q:\\" + std::u16string(2045, u'a');
    EXPECT_FALSE(ShellCommandTranslate(longPath.c_str(), &out))
        << "a path longer than 2047 units is never cut into shell text";
    longPath.pop_back();
    EXPECT_TRUE(ShellCommandTranslate(longPath.c_str(), &out)) << "2047 units are taken whole";
}

// Where a path ends is read from the line alone: which files exist never
// changes what a command does.
TEST_F(ShellRunTest, PathsEndWhereTheLineSaysWhateverExists) {
    dir.Write("a", "A\n");
    dir.Write("b", "B\n");
    dir.Write("a b", "the file with a blank\n");
    dir.Write("q", "Q\n");
    dir.Write("r", "R\n");
    dir.Write("q\" \"r", "the file with quotes\n");
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    EXPECT_EQ(ShellRunCommand(u"cat Q:\\a b > Q:\\out", FALSE), 0);
    EXPECT_EQ(ShellRunCommand(u"cat \"Q:\\q\" \"r\" > Q:\\out2", FALSE), 0);
    ASSERT_EQ(::chdir(old), 0);
    EXPECT_EQ(qtest::ReadFile(dir.Sub("out")), "A\nB\n") << "the files a and b, not \"a b\"";
    EXPECT_EQ(qtest::ReadFile(dir.Sub("out2")), "Q\nR\n") << "the files q and r, not q\" \"r";
}

TEST_F(ShellRunTest, ExitCodesPauseAndTheTerminal) {
    EXPECT_EQ(ShellRunCommand(nullptr, FALSE), 1) << "/bin/sh can be executed";
    struct Row {
        const char* what;
        std::u16string line;
        int expected;
    };
    const Row rows[] = {
        {"status", u"exit 3", 3},
        {"status 370 keeps its low byte", u"exit 370", 114},
        {"ended by SIGTERM", u"kill -TERM $$", 143},
        {"a command through a path", u"test -d Q:\\", 0},
    };
    for (const Row& r : rows) {
        qproc::ResetConsoleCalls();
        EXPECT_EQ(ShellRunCommand(r.line.c_str(), FALSE), r.expected) << r.what;
        qproc::ConsoleChildCalls calls = qproc::ConsoleCalls();
        EXPECT_EQ(calls.release, 1) << r.what;
        EXPECT_EQ(calls.reacquire, 1) << r.what;
        EXPECT_EQ(calls.promptKey, 0) << r.what;
    }
    qproc::ResetConsoleCalls();
    EXPECT_EQ(ShellRunCommand(u"true", TRUE), 0);
    EXPECT_EQ(qproc::ConsoleCalls().promptKey, 1);
    EXPECT_EQ(qproc::ConsoleCalls().lastPrompt, "Press any key to continue...");

    qproc::ResetConsoleCalls();
    std::u16string tooLong = u"cat Q:\\" + std::u16string(3000, u'a');
    EXPECT_EQ(ShellRunCommand(tooLong.c_str(), FALSE), -1);
    EXPECT_EQ(qproc::ConsoleCalls().release, 0) << "nothing ran, the terminal stays";
}

TEST_F(ShellRunTest, InterruptsGoToTheChildOnly) {
    struct sigaction handler {
    }, old, now;
    handler.sa_handler = [](int) {};
    ::sigaction(SIGINT, &handler, &old);
    EXPECT_EQ(ShellRunCommand(u"grep SigIgn /proc/$PPID/status > Q:\\parent; "
                              u"grep SigIgn /proc/$$/status > Q:\\child",
                              FALSE),
              0);
    ::sigaction(SIGINT, nullptr, &now);
    EXPECT_EQ(now.sa_handler, handler.sa_handler) << "the caller's handler is back";
    ::sigaction(SIGINT, &old, nullptr);
    std::string parent = qtest::ReadFile(dir.Sub("parent"));
    ASSERT_GT(parent.size(), 8u);
    unsigned long long ignored = std::stoull(parent.substr(8), nullptr, 16);
    EXPECT_EQ(ignored & 0x6, 0x6u) << "SIGINT and SIGQUIT ignored here while the child runs";
    EXPECT_EQ(qtest::ReadFile(dir.Sub("child")), "SigIgn:\t0000000000000000\n");
}

// ---- ShellExecute --------------------------------------------------------------

class ShellExecuteTest : public ChildTest {
  protected:
    void SetUp() override {
        ChildTest::SetUp();
        tools.Add("xdg-open", "xdg-open");
    }
    // The calls of xdg-open, once n of them arrived.
    std::vector<qproc::StubCall> Opened(size_t n) {
        for (int i = 0; i < 500 && tools.Calls("xdg-open").size() < n; i++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return tools.Calls("xdg-open");
    }
    qproc::StubTools tools;
    qtest::ScopedEnv path{"PATH", tools.bin().c_str()};
};

TEST_F(ShellExecuteTest, DocumentsAndUrlsGoToXdgOpen) {
    dir.Write("doc.txt", "x");
    dir.Write("sub/rel.txt", "x");
    struct Row {
        const char* what;
        std::u16string file;
        const WCHAR* directory;
        std::string expected;
    };
    const Row rows[] = {
        {"a document by its Windows path", u"Q:\\doc.txt", nullptr, dir.Sub("doc.txt")},
        {"a relative name in the directory", u"rel.txt", u"Q:\\sub", dir.Sub("sub/rel.txt")},
        {"a URL as it stands", u"https://example.org/a?b=c&d", nullptr,
         "https://example.org/a?b=c&d"},
        {"mailto in any case", u"MailTo:someone@example.org", nullptr,
         "MailTo:someone@example.org"},
    };
    size_t n = 0;
    for (const Row& r : rows) {
        SetLastError(0);
        EXPECT_EQ(ShellExecuteW(nullptr, u"open", r.file.c_str(), nullptr, r.directory, 1),
                  reinterpret_cast<HINSTANCE>(33))
            << r.what;
        auto calls = Opened(++n);
        ASSERT_EQ(calls.size(), n) << r.what;
        EXPECT_EQ(calls.back().args, (std::vector<std::string>{"xdg-open", r.expected})) << r.what;
    }
}

// What reaches xdg-open never begins with '-', so it is never read as one
// of its options: a relative path gets "./" in front, and a URL whose
// scheme begins with '-' is refused.
TEST_F(ShellExecuteTest, NothingReachesTheOpenerAsAnOption) {
    dir.Write("-x/doc.txt", "x");
    dir.Write("-d/rel.txt", "x");
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    const struct {
        const char* what;
        const WCHAR* file;
        const WCHAR* directory;
        const char* expected;
    } rows[] = {
        {"a relative path whose first name begins with '-'", u"-x\\doc.txt", nullptr,
         "./-x/doc.txt"},
        {"a relative name in a relative directory that begins with '-'", u"rel.txt", u"-d",
         "./-d/rel.txt"},
        {"a bare name", u"-x", nullptr, "./-x"},
    };
    size_t n = 0;
    for (const auto& r : rows) {
        EXPECT_EQ(ShellExecuteW(nullptr, u"open", r.file, nullptr, r.directory, 1),
                  reinterpret_cast<HINSTANCE>(33))
            << r.what;
        auto calls = Opened(++n);
        ASSERT_EQ(calls.size(), n) << r.what;
        EXPECT_EQ(calls.back().args, (std::vector<std::string>{"xdg-open", r.expected})) << r.what;
    }
    ASSERT_EQ(::chdir(old), 0);
    for (const WCHAR* url : {u"--help://x", u"-://x"}) {
        SetLastError(0xDEAD);
        EXPECT_EQ(ShellExecuteW(nullptr, u"open", url, nullptr, nullptr, 1),
                  reinterpret_cast<HINSTANCE>(SE_ERR_FNF));
        EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    }
    // The refused ones started nothing: the next document is the fourth call.
    dir.Write("doc.txt", "x");
    EXPECT_EQ(ShellExecuteW(nullptr, u"open", u"Q:\\doc.txt", nullptr, nullptr, 1),
              reinterpret_cast<HINSTANCE>(33));
    auto calls = Opened(4);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls.back().args, (std::vector<std::string>{"xdg-open", dir.Sub("doc.txt")}));
}

TEST_F(ShellExecuteTest, Failures) {
    struct Row {
        const char* what;
        const WCHAR* file;
        UINT_PTR result;
        DWORD error;
    };
    const Row rows[] = {
        {"a missing file", u"Q:\\missing.txt", SE_ERR_FNF, ERROR_FILE_NOT_FOUND},
        {"a bare name that is no file here", u"missing-too.txt", SE_ERR_FNF, ERROR_FILE_NOT_FOUND},
        {"no file", nullptr, SE_ERR_FNF, ERROR_FILE_NOT_FOUND},
        {"an empty file", u"", SE_ERR_FNF, ERROR_FILE_NOT_FOUND},
    };
    for (const Row& r : rows) {
        SetLastError(0xDEAD);
        EXPECT_EQ(ShellExecuteW(nullptr, nullptr, r.file, nullptr, nullptr, 1),
                  reinterpret_cast<HINSTANCE>(r.result))
            << r.what;
        EXPECT_EQ(GetLastError(), r.error) << r.what;
    }
    // Without xdg-open there is no program to open a URL with.
    qtest::ScopedEnv noTools("PATH", dir.MakeDir("empty-bin").c_str());
    SetLastError(0xDEAD);
    EXPECT_EQ(ShellExecuteW(nullptr, nullptr, u"https://example.org/", nullptr, nullptr, 1),
              reinterpret_cast<HINSTANCE>(SE_ERR_NOASSOC));
    EXPECT_EQ(GetLastError(), ERROR_NO_ASSOCIATION);

    SetLastError(0);
    EXPECT_FALSE(ShellExecuteExW(nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.lpFile = u"";
    EXPECT_FALSE(ShellExecuteExW(&info));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(info.hInstApp, nullptr);
}

TEST_F(ShellExecuteTest, AnExecutableRunsItselfWithItsParameters) {
    Script("tool.sh",
           "printf '%s\\n' \"$@\" > \"$QSTUB_STATE/args\"\npwd >> \"$QSTUB_STATE/args\"\nexit 5\n");
    dir.MakeDir("work");
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = u"Q:\\tool.sh";
    info.lpParameters = u"one \"two three\" Q:\\x";
    info.lpDirectory = u"Q:\\work";
    ASSERT_TRUE(ShellExecuteExW(&info));
    EXPECT_EQ(info.hInstApp, reinterpret_cast<HINSTANCE>(33));
    ASSERT_NE(info.hProcess, nullptr);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 5000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 5u);
    EXPECT_TRUE(CloseHandle(info.hProcess));
    EXPECT_EQ(qtest::ReadFile(tools.state() + "/args"),
              "one\ntwo three\n" + dir.Sub("x") + "\n" + dir.Sub("work") + "\n");
    EXPECT_TRUE(tools.Calls("xdg-open").empty());
    EXPECT_EQ(qproc::ConsoleCalls().release, 0) << "opened programs run detached";
}

// ---- threads ----------------------------------------------------------------------

class ProcessConcurrency : public ChildTest {};

TEST_F(ProcessConcurrency, ThreadsStartWaitAndPollChildren) {
    // Children started from several threads at once, each waited for.
    std::vector<std::thread> starters;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; t++)
        starters.emplace_back([&] {
            for (int i = 0; i < 8; i++)
                if (RunAndWait(u"/bin/sh -c \"exit 9\"", DETACHED_PROCESS) != 9) failures++;
        });
    for (auto& s : starters)
        s.join();
    EXPECT_EQ(failures.load(), 0);

    // One thread waits without end while others poll the same handle: the
    // polls answer at once and the terminal is taken back exactly once.
    qproc::ResetConsoleCalls();
    std::u16string line = u"/bin/sh -c \"sleep 0.3; exit 4\"";
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               nullptr, &pi));
    std::atomic<bool> done{false};
    std::thread waiter([&] {
        EXPECT_EQ(WaitForSingleObject(pi.hProcess, INFINITE), WAIT_OBJECT_0);
        done = true;
    });
    std::vector<std::thread> pollers;
    std::atomic<int> slowPolls{0};
    for (int t = 0; t < 3; t++)
        pollers.emplace_back([&] {
            while (!done) {
                long long before = MonotonicMs();
                DWORD code = 0;
                EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
                if (MonotonicMs() - before > 100) slowPolls++;
                EXPECT_TRUE(code == STILL_ACTIVE || code == 4u);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    waiter.join();
    for (auto& p : pollers)
        p.join();
    EXPECT_EQ(slowPolls.load(), 0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(code, 4u);
    EXPECT_TRUE(CloseHandle(pi.hProcess));
    EXPECT_EQ(qproc::ConsoleCalls().reacquire, 1);
}
