// Logs of generated trees through the dump program, run as a child in a fresh
// HOME: every log mode and depth limit, from the root and below it, against a
// listing that find makes of the same tree; read-ahead on and off; the
// awkward cases (empty and one-file directories, never-log directories,
// links, names that are not UTF-8); a mount point below a drive; stopping,
// partial logging, access denied and read errors answered from a script. Each
// child is a sanitizer build whose exit status says whether it leaked.
#include "fixture.h"
#include "qposix_drives.h"
#include "tree/read_tree.h"
#include "tree/log_state.h"
#include "tree/tree_records.h"
#include "tree_builder.h"
#include "tree_fixture.h"
#include "ui/ui_test_hook.h"

#include <fcntl.h>
#include <grp.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

// ---- what find says ----------------------------------------------------------

struct RefEntry {
    char type;   // find's %y
    char target; // find's %Y
    unsigned long long size;
    unsigned mode;      // permission bits
    long long written;  // whole seconds
    unsigned writtenMs; // and milliseconds
    std::string path;   // relative, bytes
};

// What a shell command writes to its standard output.
std::string CommandOutput(const std::string& command) {
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string all;
    char buffer[65536];
    size_t n;
    while (pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        all.append(buffer, n);
    if (pipe) ::pclose(pipe);
    return all;
}

// Every entry below root (not root itself), from find -printf with NUL
// separators so that any byte of a name survives.
std::vector<RefEntry> FindListing(const std::string& root) {
    const std::string all =
        CommandOutput("find '" + root + "' -mindepth 1 -printf '%y %Y %s %m %T@ %P\\0'");
    std::vector<RefEntry> out;
    size_t at = 0;
    while (at < all.size()) {
        const size_t end = all.find('\0', at);
        const std::string record = all.substr(at, end - at);
        at = end + 1;
        RefEntry e{};
        char type = 0, target = 0;
        unsigned long long size = 0;
        char mode[16] = {}, when[64] = {};
        int used = 0;
        if (std::sscanf(record.c_str(), "%c %c %llu %15s %63s %n", &type, &target, &size, mode,
                        when, &used) < 5)
            continue;
        e.type = type;
        e.target = target;
        e.size = size;
        e.mode = unsigned(std::strtoul(mode, nullptr, 8));
        e.written = std::strtoll(when, nullptr, 10);
        // The fraction as digits, so that no rounding of a double moves it.
        const char* dot = std::strchr(when, '.');
        for (int i = 1; i <= 3; i++)
            e.writtenMs =
                e.writtenMs * 10 + unsigned(dot && std::strlen(dot) > size_t(i) ? dot[i] - '0' : 0);
        e.path = record.substr(size_t(used));
        out.push_back(e);
    }
    return out;
}

// ---- what the dump says ------------------------------------------------------

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out += char(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::map<std::string, std::string> Fields(std::istringstream& in) {
    std::map<std::string, std::string> out;
    std::string item;
    while (in >> item) {
        const size_t eq = item.find('=');
        if (eq != item.npos) out[item.substr(0, eq)] = item.substr(eq + 1);
    }
    return out;
}

struct DumpFile {
    std::string name;
    std::map<std::string, std::string> f;
};
struct DumpDir {
    unsigned level = 0;
    std::string path; // relative to the root, '/' separated, bytes
    std::map<std::string, std::string> f;
    std::vector<DumpFile> files;
    int Logged() const { return std::stoi(f.at("logged")); }
    int Expanded() const { return std::stoi(f.at("expanded")); }
};
struct Dump {
    int status = -1; // the child's exit status
    std::string text;
    std::string errors;
    int drive = 0;
    int result = -999;
    std::string returned;
    std::map<std::string, std::string> state;
    std::vector<DumpDir> dirs; // pre-order
    std::map<std::string, std::string> disk;
    bool hasDisk = false;
    std::vector<std::map<std::string, std::string>> questions;
    std::vector<std::string> questionKinds;
    std::vector<std::string> verdicts; // "check ok", "recount ok" or the faults
    const DumpDir* Dir(const std::string& path) const {
        for (const DumpDir& d : dirs)
            if (d.path == path) return &d;
        return nullptr;
    }
    // The tree part alone: what two logs of the same tree must share.
    std::string Tree() const {
        std::string out;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("dir ", 0) == 0 || line.rfind("file ", 0) == 0 ||
                line.rfind("disk ", 0) == 0)
                out += line + "\n";
        return out;
    }
};

Dump ParseDump(const std::string& text) {
    Dump d;
    d.text = text;
    std::istringstream lines(text);
    std::string line;
    std::vector<std::string> stack; // names of the open ancestors by level
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string kind;
        in >> kind;
        if (kind == "drive")
            in >> d.drive;
        else if (kind == "result")
            in >> d.result;
        else if (kind == "returned")
            in >> d.returned;
        else if (kind == "state")
            d.state = Fields(in);
        else if (kind == "dir") {
            DumpDir dir;
            std::string name;
            in >> dir.level >> name;
            dir.f = Fields(in);
            stack.resize(dir.level ? dir.level - 1 : 0);
            if (dir.level) stack.push_back(Unescape(name));
            for (size_t i = 0; i < stack.size(); i++)
                dir.path += (i ? "/" : "") + stack[i];
            d.dirs.push_back(dir);
        } else if (kind == "file" && !d.dirs.empty()) {
            DumpFile file;
            in >> file.name;
            file.name = Unescape(file.name);
            file.f = Fields(in);
            d.dirs.back().files.push_back(file);
        } else if (kind == "disk") {
            std::string letter;
            in >> letter;
            d.disk = Fields(in);
            d.hasDisk = !d.disk.empty();
        } else if (kind == "question") {
            std::string what;
            in >> what;
            d.questionKinds.push_back(what);
            d.questions.push_back(Fields(in));
        } else if (kind == "check" || kind == "recount") {
            d.verdicts.push_back(line);
        }
    }
    return d;
}

std::string Hex(unsigned v) {
    char b[16];
    snprintf(b, sizeof b, "%08X", v);
    return b;
}

// The packed date and time of a UTC time as the program keeps it (the
// child runs with TZ=UTC0).
std::string PackedWritten(long long seconds, unsigned milliseconds) {
    const time_t t = time_t(seconds);
    struct tm tm;
    ::gmtime_r(&t, &tm);
    const unsigned date =
        unsigned(tm.tm_year + 1900) << 9 | unsigned(tm.tm_mon + 1) << 5 | unsigned(tm.tm_mday);
    const unsigned clock = unsigned(tm.tm_hour) << 27 | unsigned(tm.tm_min) << 21 |
                           unsigned(tm.tm_sec) << 15 | milliseconds;
    return Hex(date) + "." + Hex(clock);
}

// ---- the fixture -------------------------------------------------------------

class TreeDump : public ::testing::Test {
  protected:
    qtest::TempDir dir;
    std::string home;
    std::string root;
    std::string other; // a second, small drive

    void SetUp() override {
        home = dir.MakeDir("home");
        root = dir.MakeDir("tree");
        other = dir.MakeDir("other");
        dir.Write("other/g.txt", "12345");
        WriteDrives({{'f', root}, {'g', other}});
    }
    void WriteDrives(const std::vector<std::pair<char, std::string>>& letters) {
        std::string text = "c: /\n";
        for (const auto& [letter, path] : letters)
            text += std::string(1, letter) + ": " + path + "\n";
        dir.Write("home/.config/quilb/drives", text);
    }
    // A generated tree, with the awkward cases the dump checks added by hand.
    void MakeTree(int dirs = 40, int files = 200) {
        qtest::TreeSpec spec;
        spec.seed = 24;
        spec.directories = dirs;
        spec.files = files;
        spec.maxDepth = 5;
        spec.awkward = false;
        ::rmdir(root.c_str());
        ::mkdir(root.c_str(), 0755);
        qtest::GenerateTree(root, spec);
        dir.MakeDir("tree/edge/empty");
        dir.Write("tree/edge/one/only.dat", "x");
        dir.Write("tree/edge/nolog/skipped.dat", "abc");
        dir.MakeDir("tree/edge/nolog/below");
        dir.Write("tree/edge/bad\xff\xfe/in\x80side.dat", "12");
        dir.Write("tree/edge/fine/b.dat", "22");
        dir.Write("tree/edge/fine/a.dat", "1");
        EXPECT_EQ(::symlink("../edge/fine", (root + "/edge/tofine").c_str()), 0);
        // Known modification times for the directories the hand made.
        for (const char* p : {"edge/empty", "edge/one", "edge/nolog", "edge/nolog/below",
                              "edge/bad\xff\xfe", "edge/fine", "edge"}) {
            struct timespec times[2] = {{1600000000, 0}, {1600000000, 0}};
            ::utimensat(AT_FDCWD, (root + "/" + p).c_str(), times, AT_SYMLINK_NOFOLLOW);
        }
        nologFile = dir.Write("nolog.ini", "nolog\r\n");
    }
    std::string nologFile;

    // Runs the dump with args (as the unprivileged user when asked) and
    // parses what it wrote.
    Dump Run(std::vector<std::string> args, bool unprivileged = false) {
        const std::string out = dir.Sub("dump.txt");
        const std::string err = dir.Sub("dump.err");
        ::unlink(out.c_str());
        args.insert(args.begin(), QUILB_TREE_DUMP);
        args.push_back("--out");
        args.push_back(out);
        std::vector<std::string> env;
        for (char** e = environ; *e; e++) {
            const std::string v = *e;
            if (v.rfind("HOME=", 0) && v.rfind("TZ=", 0) && v.rfind("XDG_", 0)) env.push_back(v);
        }
        env.push_back("HOME=" + home);
        env.push_back("TZ=UTC0");
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(e, 2);
            if (unprivileged && ::getuid() == 0) {
                if (::setgroups(0, nullptr) || ::setgid(65534) || ::setuid(65534)) ::_exit(126);
            }
            std::vector<char*> argv, envp;
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            for (std::string& v : env)
                envp.push_back(v.data());
            envp.push_back(nullptr);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        Dump d = ParseDump(qtest::ReadFile(out));
        d.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        d.errors = qtest::ReadFile(err);
        return d;
    }

    // Checks the verdicts every log must earn: the child ended cleanly (no
    // leak, no sanitizer report), the invariants hold and the counters equal
    // a recount in both panes.
    static void ExpectSound(const Dump& d, const std::string& what) {
        EXPECT_EQ(d.status, 0) << what << "\n" << d.errors.substr(0, 4000);
        EXPECT_TRUE(std::find(d.verdicts.begin(), d.verdicts.end(), "check ok") != d.verdicts.end())
            << what << "\n"
            << d.text.substr(std::min(d.text.size(), d.text.find("check")), 3000);
        EXPECT_TRUE(std::find(d.verdicts.begin(), d.verdicts.end(), "recount ok") !=
                    d.verdicts.end())
            << what << "\n"
            << d.text.substr(std::min(d.text.size(), d.text.find("check")), 3000);
    }
};

// The state a log should leave each shown directory in, by relative path.
struct Expected {
    std::map<std::string, int> logged;   // path -> bLogged
    std::map<std::string, int> expanded; // path -> bExpanded
    std::set<std::string> withFiles;     // the directories whose files were read
};

// Relative paths: the parent, the level below the root, the last name.
std::string Parent(const std::string& p) {
    const size_t s = p.rfind('/');
    return s == p.npos ? "" : p.substr(0, s);
}
unsigned Level(const std::string& p) {
    return p.empty() ? 0 : unsigned(std::count(p.begin(), p.end(), '/') + 1);
}
std::string Last(const std::string& p) {
    return p.substr(p.rfind('/') + 1);
}

// What a log of the whole drive in mode shows: a directory is shown when
// its level is at most the depth limit and its parent was entered. Modes 2
// and 3 log (read the files of) and enter every shown real directory below
// the limit that is not on the never-log list; mode 1 enters the same ones
// without reading files; mode 0 enters only the root. A link to a directory
// is shown and never entered.
Expected ExpectWholeDrive(const std::vector<RefEntry>& ref, int mode, int depth, bool nolog) {
    Expected e;
    const unsigned limit = depth < 0 ? 1000 : unsigned(depth);
    std::set<std::string> entered{""};
    std::vector<const RefEntry*> dirs;
    for (const RefEntry& r : ref)
        if (r.type == 'd' || (r.type == 'l' && r.target == 'd')) dirs.push_back(&r);
    // find lists parents before children.
    for (const RefEntry* r : dirs) {
        if (!entered.count(Parent(r->path))) continue;
        const unsigned level = Level(r->path);
        if (level > limit) continue;
        const bool link = r->type == 'l';
        const bool never = nolog && Last(r->path) == "nolog";
        const bool atLimit = level == limit;
        bool logged = false, expanded = false, enter = false;
        if (mode == 2 || mode == 3) {
            logged = !link && !atLimit && !never;
            enter = logged;
            expanded = logged;
        } else if (mode == 1) {
            enter = !link && !never && !atLimit;
            expanded = enter;
        }
        e.logged[r->path] = logged ? 1 : 0;
        e.expanded[r->path] = expanded ? 1 : 0;
        if (logged) e.withFiles.insert(r->path);
        if (enter) entered.insert(r->path);
    }
    e.logged[""] = (mode == 0 || mode == 2) ? 1 : 0;
    e.expanded[""] = 1;
    if (mode == 0 || mode == 2) e.withFiles.insert("");
    return e;
}

// Compares a directory's files with find's entries directly inside it.
void ExpectFilesMatch(const DumpDir& d, const std::vector<RefEntry>& ref, const std::string& what) {
    std::map<std::string, const RefEntry*> want;
    for (const RefEntry& r : ref)
        if (Parent(r.path) == d.path && !(r.type == 'd' || (r.type == 'l' && r.target == 'd')))
            want[Last(r.path)] = &r;
    std::map<std::string, const DumpFile*> got;
    for (const DumpFile& f : d.files)
        got[f.name] = &f;
    ASSERT_EQ(got.size(), want.size()) << what << " in '" << d.path << "'";
    unsigned long long bytes = 0;
    for (const auto& [name, r] : want) {
        ASSERT_TRUE(got.count(name)) << what << ": " << d.path << "/" << name << " missing";
        const DumpFile& f = *got[name];
        if (r->type != 'f') continue;
        bytes += r->size;
        EXPECT_EQ(f.f.at("size"), std::to_string(r->size)) << what << ": " << name;
        char mode[8];
        snprintf(mode, sizeof mode, "%04X", 0x8000u | r->mode);
        EXPECT_EQ(f.f.at("mode"), mode) << what << ": " << name;
        EXPECT_EQ(f.f.at("written"), PackedWritten(r->written, r->writtenMs))
            << what << ": " << name;
    }
    EXPECT_EQ(d.f.at("files"), std::to_string(d.files.size())) << what << ": " << d.path;
    EXPECT_EQ(d.f.at("bytes"), std::to_string(bytes)) << what << ": " << d.path;
    // Without filters every file matches in the pane that logged it.
    EXPECT_EQ(d.f.at("match0"), std::to_string(d.files.size()) + "/" + std::to_string(bytes))
        << what << ": " << d.path;
}

void ExpectMatches(const Dump& d, const Expected& e, const std::vector<RefEntry>& ref,
                   const std::string& what, const std::string& base = "") {
    std::set<std::string> seen;
    for (const DumpDir& dir : d.dirs) {
        if (!base.empty() && dir.path != base && dir.path.rfind(base + "/", 0) != 0) continue;
        seen.insert(dir.path);
        ASSERT_TRUE(e.logged.count(dir.path))
            << what << ": '" << dir.path << "' should not be there";
        EXPECT_EQ(dir.level, Level(dir.path)) << what;
        EXPECT_EQ(dir.Logged(), e.logged.at(dir.path)) << what << ": logged '" << dir.path << "'";
        EXPECT_EQ(dir.Expanded(), e.expanded.at(dir.path))
            << what << ": expanded '" << dir.path << "'";
        EXPECT_EQ(dir.f.at("visible"), "1") << what << ": '" << dir.path << "'";
        if (e.withFiles.count(dir.path))
            ExpectFilesMatch(dir, ref, what);
        else
            EXPECT_TRUE(dir.files.empty()) << what << ": files of '" << dir.path << "'";
    }
    for (const auto& [path, logged] : e.logged)
        EXPECT_TRUE(seen.count(path)) << what << ": '" << path << "' missing";
}

// One log mode per test, so that the modes run side by side.
class TreeDumpMode : public TreeDump, public ::testing::WithParamInterface<int> {};

TEST_P(TreeDumpMode, EveryDepthFromTheRootMatchesFind) {
    MakeTree();
    const std::vector<RefEntry> ref = FindListing(root);
    ASSERT_GT(ref.size(), 200u);
    {
        const int mode = GetParam();
        for (int depth : {-1, 1, 2, 3}) {
            for (bool nolog : {false, true}) {
                if (nolog && depth != -1 && depth != 3) continue;
                const std::string what = "mode " + std::to_string(mode) + " depth " +
                                         std::to_string(depth) + (nolog ? " never-log" : "");
                // The disk methods are 0 to 2; the branch mode logs the root
                // through the branch command.
                std::vector<std::string> args = {mode == 3 ? "--branch" : "--letter",
                                                 mode == 3 ? "F:\\" : "F", "--mode",
                                                 std::to_string(mode)};
                if (depth > 0) args.insert(args.end(), {"--depth", std::to_string(depth)});
                if (nolog) args.insert(args.end(), {"--nolog", nologFile});
                const Dump on = Run(args);
                ExpectSound(on, what);
                EXPECT_EQ(on.result, mode == 3 ? 1 : 0) << what;
                EXPECT_TRUE(on.questions.empty()) << what << ": " << on.questionKinds.size();
                ExpectMatches(on, ExpectWholeDrive(ref, mode, depth, nolog), ref, what);
                args.insert(args.end(), {"--prefetch", "off"});
                const Dump off = Run(args);
                ExpectSound(off, what + " read-ahead off");
                EXPECT_EQ(off.Tree(), on.Tree()) << what << ": read-ahead changes the log";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(LogModes, TreeDumpMode, ::testing::Values(0, 1, 2, 3));

TEST_F(TreeDump, TheAwkwardDirectoriesOfAFullLog) {
    MakeTree(6, 20);
    const Dump d = Run({"--letter", "F", "--mode", "2", "--nolog", nologFile});
    ExpectSound(d, "full log");
    const struct {
        const char* path;
        int logged;
        int expanded;
        int files;
        const char* children;
    } rows[] = {
        {"edge/empty", 1, 1, 0, "0"}, // logged without files, and expanded
        {"edge/one", 1, 1, 1, "0"},   // a single file
        {"edge/fine", 1, 1, 2, "0"},        {"edge/nolog", 0, 0, 0, "0"}, // shown, never entered
        {"edge/tofine", 0, 0, 0, "0"},      // a link to a directory: shown, never entered
        {"edge/bad\xff\xfe", 1, 1, 1, "0"}, // the bytes of the name kept
    };
    for (const auto& row : rows) {
        const DumpDir* dir = d.Dir(row.path);
        ASSERT_NE(dir, nullptr) << row.path << "\n" << d.text;
        EXPECT_EQ(dir->Logged(), row.logged) << row.path;
        EXPECT_EQ(dir->Expanded(), row.expanded) << row.path;
        EXPECT_EQ(dir->files.size(), size_t(row.files)) << row.path;
        EXPECT_EQ(dir->f.at("children"), row.children) << row.path;
    }
    EXPECT_EQ(d.Dir("edge/nolog/below"), nullptr);
    ASSERT_NE(d.Dir("edge/bad\xff\xfe"), nullptr);
    EXPECT_EQ(d.Dir("edge/bad\xff\xfe")->files.at(0).name, "in\x80side.dat");
    // Two files are put in name order.
    const DumpDir* fine = d.Dir("edge/fine");
    ASSERT_EQ(fine->files.size(), 2u);
    EXPECT_EQ(fine->files[0].name, "a.dat");
    EXPECT_EQ(fine->files[1].name, "b.dat");
    EXPECT_EQ(fine->files[0].f.at("index"), "2")
        << "indices are the read order, kept through sorting";
}

TEST_F(TreeDump, ABranchBelowTheRootMatchesFind) {
    MakeTree();
    const std::vector<RefEntry> ref = FindListing(root);
    // The level-1 directory with the deepest branch.
    std::map<std::string, unsigned> deepest;
    for (const RefEntry& r : ref)
        if (r.type == 'd' && Level(r.path) >= 1) {
            const std::string top = r.path.substr(0, r.path.find('/'));
            deepest[top] = std::max(deepest[top], Level(r.path));
        }
    std::string base;
    for (const auto& [top, levels] : deepest)
        if (base.empty() || levels > deepest[base]) base = top;
    ASSERT_GE(deepest[base], 3u);
    for (int mode : {1, 2, 3}) {
        for (int depth : {-1, 2, 3}) {
            const std::string what = "branch " + base + " mode " + std::to_string(mode) +
                                     " depth " + std::to_string(depth);
            std::vector<std::string> args = {"--branch", "F:\\" + base, "--mode",
                                             std::to_string(mode)};
            if (depth > 0) args.insert(args.end(), {"--depth", std::to_string(depth)});
            const Dump d = Run(args);
            ExpectSound(d, what);
            EXPECT_EQ(d.drive, 0) << what;
            EXPECT_EQ(d.result, 1) << what;
            // Below the branch the whole-drive rules hold (the limit counts
            // from the root, the current directory); the branch itself is
            // expanded and its own files are not read.
            Expected e = ExpectWholeDrive(ref, mode, depth, false);
            Expected below;
            for (const auto& [p, l] : e.logged)
                if (p.rfind(base + "/", 0) == 0) {
                    below.logged[p] = l;
                    below.expanded[p] = e.expanded[p];
                    if (e.withFiles.count(p)) below.withFiles.insert(p);
                }
            below.logged[base] = 0;
            below.expanded[base] = 1;
            ExpectMatches(d, below, ref, what, base);
            // The rest of the drive stays as the root-only log left it.
            for (const DumpDir& dir : d.dirs)
                if (dir.level == 1 && dir.path != base) {
                    EXPECT_EQ(dir.Logged(), 0) << what << ": " << dir.path;
                    EXPECT_EQ(dir.f.at("children"), "0") << what << ": " << dir.path;
                }
            EXPECT_FALSE(d.Dir("")->files.empty()) << what << ": the root's files";
        }
    }
}

TEST_F(TreeDump, APathIsLoggedAlongItsComponents) {
    MakeTree();
    const std::vector<RefEntry> ref = FindListing(root);
    std::string target;
    for (const RefEntry& r : ref)
        if (r.type == 'd' && Level(r.path) == 3) {
            target = r.path;
            break;
        }
    ASSERT_FALSE(target.empty());
    std::string windows = "F:\\" + target;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    const Dump d = Run({"--path", windows, "--mode", "2"});
    ExpectSound(d, "path");
    EXPECT_EQ(d.returned, windows);
    ASSERT_NE(d.Dir(target), nullptr) << d.text;
    EXPECT_EQ(d.Dir(target)->Logged(), 1);
    ExpectFilesMatch(*d.Dir(target), ref, "the path's last directory");
    for (std::string p = Parent(target); !p.empty(); p = Parent(p)) {
        ASSERT_NE(d.Dir(p), nullptr) << p;
        EXPECT_EQ(d.Dir(p)->Expanded(), 1) << p;
    }
    // The subdirectories of the last one are shown.
    for (const RefEntry& r : ref)
        if (r.type == 'd' && Parent(r.path) == target) {
            EXPECT_NE(d.Dir(r.path), nullptr) << r.path;
        }
}

TEST_F(TreeDump, SplitScreenWithTwoFiltersCountsBothPanes) {
    MakeTree();
    const std::vector<RefEntry> ref = FindListing(root);
    const Dump d = Run({"--letter", "F", "--mode", "2", "--split", "--filter0", "*3.dat",
                        "--filter1", "f0001*.*"});
    ExpectSound(d, "split screen");
    unsigned long long want[2] = {0, 0}, wantBytes[2] = {0, 0};
    for (const RefEntry& r : ref) {
        if (r.type != 'f') continue;
        const std::string name = Last(r.path);
        const bool m0 = name.size() >= 5 && name.compare(name.size() - 5, 5, "3.dat") == 0;
        const bool m1 = name.rfind("f0001", 0) == 0;
        want[0] += m0;
        wantBytes[0] += m0 ? r.size : 0;
        want[1] += m1;
        wantBytes[1] += m1 ? r.size : 0;
    }
    ASSERT_GT(want[0], 0u);
    ASSERT_GT(want[1], 0u);
    EXPECT_EQ(d.disk.at("match0"), std::to_string(want[0]) + "/" + std::to_string(wantBytes[0]));
    EXPECT_EQ(d.disk.at("match1"), std::to_string(want[1]) + "/" + std::to_string(wantBytes[1]));
}

TEST_F(TreeDump, AMountPointBelowADriveIsShownAndNeverEntered) {
    // /dev holds the mount points of the shared memory and terminal file
    // systems; a directory of our own on the former shows whether the log
    // went in.
    const std::string mounts = qtest::ReadFile("/proc/self/mountinfo");
    ASSERT_NE(mounts.find(" /dev/shm "), std::string::npos) << "no /dev/shm mount on this machine";
    char made[] = "/dev/shm/quilb-dumpXXXXXX";
    ASSERT_NE(::mkdtemp(made), nullptr);
    ASSERT_EQ(::mkdir((std::string(made) + "/inside").c_str(), 0755), 0);
    WriteDrives({{'f', "/dev"}});
    for (int mode : {1, 2}) {
        const Dump d = Run({"--letter", "F", "--mode", std::to_string(mode)});
        ExpectSound(d, "/dev");
        EXPECT_EQ(d.result, 0);
        const std::string dirName = std::string(made).substr(std::string(made).rfind('/') + 1);
        for (const char* mountPoint : {"shm", "pts"}) {
            if (mounts.find(std::string(" /dev/") + mountPoint + " ") == std::string::npos)
                continue;
            const DumpDir* dir = d.Dir(mountPoint);
            ASSERT_NE(dir, nullptr) << mountPoint;
            EXPECT_EQ(dir->Logged(), 0) << mountPoint << " mode " << mode;
            EXPECT_EQ(dir->Expanded(), 0) << mountPoint << " mode " << mode;
            EXPECT_EQ(dir->f.at("children"), "0") << mountPoint << " mode " << mode;
            EXPECT_TRUE(dir->files.empty()) << mountPoint;
        }
        EXPECT_EQ(d.Dir("shm/" + dirName), nullptr);
    }
    ::rmdir((std::string(made) + "/inside").c_str());
    ::rmdir(made);
}

TEST_F(TreeDump, ANeverLogBranchReadAheadDoesNotHoldTheCap) {
    // The never-log branch holds far more listing than the lowered cap; the
    // rest of the drive must still be logged in full.
    MakeTree(30, 150);
    for (int i = 0; i < 3000; i++) {
        char name[96];
        snprintf(name, sizeof name, "tree/edge/nolog/below/%04d-%s.dat", i,
                 std::string(60, 'n').c_str());
        dir.Write(name, "");
    }
    const std::vector<RefEntry> ref = FindListing(root);
    const Dump d = Run({"--letter", "F", "--mode", "2", "--nolog", nologFile, "--cap", "65536"});
    ExpectSound(d, "lowered cap");
    EXPECT_EQ(d.result, 0);
    ExpectMatches(d, ExpectWholeDrive(ref, 2, -1, true), ref, "lowered cap");
}

// ---- answers from a script ----------------------------------------------------

TEST_F(TreeDump, StoppingANewDisksLogReleasesItAndGivesThePreviousDiskBack) {
    MakeTree();
    // G: is logged first (root only), then F: is stopped at the question.
    const Dump d = Run({"--before", "G", "--letter", "F", "--mode", "2", "--interrupt-after", "4",
                        "--answers", "Esc"});
    EXPECT_EQ(d.status, 0) << d.errors.substr(0, 3000);
    EXPECT_EQ(d.result, 3);
    EXPECT_FALSE(d.hasDisk) << "the new disk is released";
    EXPECT_EQ(d.state.at("disks"), "1");
    EXPECT_EQ(d.state.at("current"), "G");
    ASSERT_EQ(d.questionKinds.size(), 1u) << d.text;
    EXPECT_EQ(d.questionKinds[0], "PromptLogOption");
}

TEST_F(TreeDump, ContinueAndPartialLoggingAtTheQuestion) {
    MakeTree();
    const std::vector<RefEntry> ref = FindListing(root);
    const Dump whole = Run({"--letter", "F", "--mode", "2", "--prefetch", "off"});
    ExpectSound(whole, "whole");

    const Dump cont = Run({"--letter", "F", "--mode", "2", "--prefetch", "off", "--interrupt-after",
                           "4", "--answers", "C"});
    ExpectSound(cont, "continue");
    EXPECT_EQ(cont.result, 0);
    ASSERT_EQ(cont.questionKinds.size(), 1u);
    EXPECT_EQ(cont.questionKinds[0], "PromptLogOption");
    EXPECT_EQ(cont.Tree(), whole.Tree()) << "continuing logs everything";

    const Dump partial = Run({"--letter", "F", "--mode", "2", "--prefetch", "off",
                              "--interrupt-after", "4", "--answers", "P"});
    ExpectSound(partial, "partial");
    EXPECT_EQ(partial.result, 0) << "the disk is kept";
    ASSERT_TRUE(partial.hasDisk);
    ASSERT_EQ(partial.questionKinds.size(), 1u);
    size_t logged = 0, notLogged = 0;
    for (const DumpDir& dir : partial.dirs) {
        if (dir.Logged() == 1) {
            logged++;
            ExpectFilesMatch(dir, ref, "partial: what was read is kept");
        } else {
            notLogged++;
            EXPECT_TRUE(dir.files.empty()) << dir.path;
        }
    }
    EXPECT_GE(logged, 3u);
    EXPECT_GT(notLogged, 0u) << "the rest stays not logged";

    // A branch stopped with partial logging is still logged, with the answer
    // of a cancel left behind.
    std::string base;
    for (const DumpDir& dir : whole.dirs)
        if (dir.level == 1 && std::stoi(dir.f.at("children")) > 1) base = dir.path;
    ASSERT_FALSE(base.empty());
    const Dump branch = Run({"--branch", "F:\\" + base, "--mode", "3", "--prefetch", "off",
                             "--interrupt-after", "2", "--answers", "P"});
    ExpectSound(branch, "partial branch");
    EXPECT_EQ(branch.result, 1);
    EXPECT_EQ(branch.state.at("answer"), "1223");
}

TEST_F(TreeDump, AccessDeniedMarksTheDirectory) {
    MakeTree(10, 40);
    dir.Write("tree/edge/locked/secret/deep.dat", "s");
    dir.OpenToAll();
    ::chmod(home.c_str(), 0777);
    ::chmod(dir.path().c_str(), 0777);
    ASSERT_EQ(::chmod((root + "/edge/locked").c_str(), 0), 0);
    const Dump d = Run({"--letter", "F", "--mode", "2", "--answers", "S,S,S,S,S,S"}, true);
    ::chmod((root + "/edge/locked").c_str(), 0755);
    EXPECT_EQ(d.status, 0) << d.errors.substr(0, 3000);
    ExpectSound(d, "access denied");
    EXPECT_EQ(d.result, 0);
    const DumpDir* locked = d.Dir("edge/locked");
    ASSERT_NE(locked, nullptr) << d.text;
    EXPECT_EQ(locked->Logged(), 5);
    EXPECT_EQ(locked->Expanded(), 0);
    EXPECT_TRUE(locked->files.empty());
    EXPECT_EQ(d.Dir("edge/locked/secret"), nullptr);
    ASSERT_NE(d.Dir("edge/fine"), nullptr);
    EXPECT_EQ(d.Dir("edge/fine")->Logged(), 1) << "the log goes on past it";
}

TEST_F(TreeDump, AReadErrorGoesToTheDialogWhoseAnswersDecide) {
    MakeTree();
    const Dump whole = Run({"--branch", "F:\\edge", "--mode", "3", "--prefetch", "off"});
    ExpectSound(whole, "no fault");
    ASSERT_EQ(whole.result, 1);
    // The directory cannot be opened, or its listing breaks off after it
    // began: either way the dialog asks, and its answer decides.
    const struct {
        const char* what;
        const char* fault;
        const char* answers;
        int result;
        bool branchRead;
    } rows[] = {
        {"open fails, retry reads it again", "--fault-eio", "R", 1, true},
        {"open fails, skip leaves the branch empty", "--fault-eio", "S", 0, false},
        {"open fails, cancel stops the log", "--fault-eio", "C", 0, false},
        {"listing breaks, retry reads it again", "--fault-eio-listing", "R", 1, true},
        {"listing breaks, skip leaves the branch empty", "--fault-eio-listing", "S", 0, false},
        {"listing breaks, cancel stops the log", "--fault-eio-listing", "C", 0, false},
    };
    for (const auto& row : rows) {
        const Dump d = Run({"--branch", "F:\\edge", "--mode", "3", "--prefetch", "off", row.fault,
                            "F:\\edge", "--answers", row.answers});
        ExpectSound(d, row.what);
        EXPECT_EQ(d.result, row.result) << row.what;
        ASSERT_EQ(d.questionKinds.size(), 1u) << row.what << "\n" << d.text;
        EXPECT_EQ(d.questionKinds[0], "ErrorDialog") << row.what;
        EXPECT_NE(d.questions[0].at("code"), "0") << row.what;
        EXPECT_NE(d.questions[0].at("path").find("F:\\edge"), std::string::npos)
            << row.what << ": " << d.questions[0].at("path");
        const DumpDir* edge = d.Dir("edge");
        ASSERT_NE(edge, nullptr);
        if (row.branchRead) {
            EXPECT_EQ(d.Tree(), whole.Tree()) << row.what;
        } else {
            EXPECT_EQ(edge->f.at("children"), "0") << row.what;
            for (const DumpDir& dir : d.dirs)
                EXPECT_NE(Level(dir.path), 2u) << row.what << ": " << dir.path;
        }
    }
}

// ---- a directory of more than 65,535 files, in this process -----------------

// Fills the directory big with files e000000, e000001, ...: empty, except
// every thousandth (from the eighth) of 3 bytes.
void MakeBigDirectory(const std::string& big, int files) {
    for (int i = 0; i < files; i++) {
        char name[32];
        snprintf(name, sizeof name, "/e%06d", i);
        const int fd = ::open((big + name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0) << name;
        if (i % 1000 == 7) {
            ASSERT_EQ(::write(fd, "abc", 3), 3);
        }
        ::close(fd);
    }
}

TEST_F(TreeDump, ADirectoryOfSeventyThousandFilesKeepsEveryCountAndIndex) {
    constexpr int kFiles = 70000;
    const std::string big = dir.MakeDir("tree/big");
    ASSERT_NO_FATAL_FAILURE(MakeBigDirectory(big, kFiles));
    qtest::ScopedEnv env("HOME", home.c_str());
    DriveMapSetSources("/proc/self/mountinfo", nullptr);
    qtest::ResetTreeState();
    UiScriptAnswers({});
    gLogMode = LOG_FULL_DISK;
    DiskInfo* disk = qtest::BuildDisk('F');
    SubdirInfo* dirRecord = qtest::BuildDir(disk, u"big");
    pdiCurrent = disk;
    psiCurrent = disk->psiRoot;
    qtest::DisownRecords();
    const int n = qReadDir(disk, dirRecord);
    EXPECT_TRUE(UiQuestionsAsked().empty());
    UiScriptEnd();
    EXPECT_EQ(n, kFiles);
    EXPECT_EQ(dirRecord->dwFiles, DWORD(kFiles));
    EXPECT_EQ(disk->dwFiles, DWORD(kFiles));
    EXPECT_EQ(dirRecord->qwFileBytes, ULONGLONG(3 * (kFiles / 1000)));
    EXPECT_EQ(dirRecord->dwMatchFiles[0], DWORD(kFiles));
    ASSERT_NE(dirRecord->pFiles, nullptr);
    // Every index from 1 to n once; the end record after the last.
    std::vector<int> seen(kFiles + 1, 0);
    for (int i = 0; i < kFiles; i++) {
        const DWORD index = dirRecord->pFiles[i].wIndex;
        ASSERT_TRUE(index >= 1 && index <= DWORD(kFiles)) << i;
        seen[index]++;
    }
    EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), 1), kFiles);
    EXPECT_EQ(dirRecord->pFiles[kFiles].wszShortName[0], 0);
    // Entries past 65,535 are found by their own index, at their own place.
    for (int position : {0, 65534, 65535, 65536, 69999}) {
        const DWORD index = dirRecord->pFiles[position].wIndex;
        EXPECT_EQ(FindDirIndex(index, dirRecord, FALSE), DWORD(position + 1)) << position;
    }
    EXPECT_EQ(qtest::CheckTreeText(), "");
    qtest::FreeTrees();
    DriveMapSetSources(nullptr, nullptr);
}

// ---- the tree kept current after changes on disk -----------------------------

// The tree lines of a dump and its tag lines, with each file's index taken
// out: an index is the place a file had in its directory's read, and a file
// entered without a read takes the next free one (their uniqueness is the
// checker's). What a tree kept current must share with a fresh log.
std::string TreeAndTags(const Dump& d) {
    std::string out;
    std::istringstream in(d.text);
    std::string line;
    while (std::getline(in, line)) {
        const bool tree = line.rfind("dir ", 0) == 0 || line.rfind("file ", 0) == 0 ||
                          line.rfind("disk ", 0) == 0 || line.rfind("tagged ", 0) == 0;
        if (!tree) continue;
        const size_t index = line.find(" index=");
        if (index != line.npos) line.erase(index, line.find(' ', index + 1) - index);
        out += line + "\n";
    }
    return out;
}

// The script lines a dump printed, "script <command> <result>".
std::vector<std::string> ScriptResults(const Dump& d) {
    std::vector<std::string> out;
    std::istringstream in(d.text);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("script ", 0) == 0) out.push_back(line);
    return out;
}

// Drive F: a small tree whose names the scripts know: files to keep, resize
// and delete, two names that differ only in case, directories to remove and
// to rename with files and a subdirectory below them.
class TreeRefreshDump : public TreeDump {
  protected:
    void SetUp() override {
        TreeDump::SetUp();
        MakeFiles();
    }
    void MakeFiles() {
        std::filesystem::remove_all(root);
        std::filesystem::create_directory(root);
        dir.Write("tree/top.txt", "top");
        dir.Write("tree/a/keep.txt", std::string(10, 'k'));
        dir.Write("tree/a/grow.txt", std::string(20, 'g'));
        dir.Write("tree/a/gone.txt", std::string(30, 'x'));
        dir.Write("tree/a/x.txt", "lower");
        dir.Write("tree/a/X.TXT", "UPPER!");
        dir.Write("tree/a/sub/s1", "s");
        dir.Write("tree/b/g1", "gg");
        dir.Write("tree/c/c1", "ccc");
        dir.Write("tree/c/deeper/c2", "c2");
        dir.Write("tree/d/d1", "dddd");
        dir.Write("tree/d/inner/d2", "d2");
    }
    std::string Script(const std::string& name, const std::vector<std::vector<std::string>>& lines) {
        std::string text;
        for (const auto& fields : lines) {
            for (size_t i = 0; i < fields.size(); i++) text += (i ? "\t" : "") + fields[i];
            text += "\n";
        }
        return dir.Write(name, text);
    }
    std::string Host(const std::string& relative) { return root + "/" + relative; }
};

TEST_F(TreeRefreshDump, RefreshedTreeEqualsAFreshLogAfterChangesOnDisk) {
    using Lines = std::vector<std::vector<std::string>>;
    // Tags set before the changes; each stays on the file of exactly its name.
    const Lines tags = {{"tag", "F:\\a\\keep.txt"}, {"tag", "F:\\a\\grow.txt"},
                        {"tag", "F:\\a\\x.txt"},    {"tag", "F:\\c\\c1"},
                        {"tag", "F:\\d\\d1"}};
    const Lines fileChanges = {{"write", Host("a/new.txt"), "5"},
                               {"write", Host("a/grow.txt"), "200"},
                               {"delete", Host("a/gone.txt")},
                               {"write", Host("top.txt"), "1"}};
    struct Case {
        const char* what;
        Lines changes;  // on disk
        Lines commands; // of the tree
        Lines tagsAfter; // what a fresh log must be given to hold the same tags
    };
    const Lines keptTags = {{"tag", "F:\\a\\keep.txt"},
                            {"tag", "F:\\a\\grow.txt"},
                            {"tag", "F:\\a\\x.txt"},
                            {"tag", "F:\\c\\c1"},
                            {"tag", "F:\\d\\d1"}};
    const Case cases[] = {
        // Without a display list the marked disks are logged again without
        // putting tags back: only those of directories not read again stay.
        {"files changed, directories marked, marked disks refreshed", fileChanges,
         {{"mark", "F:\\a"}, {"mark", "F:\\"}, {"flagged"}},
         {{"tag", "F:\\c\\c1"}, {"tag", "F:\\d\\d1"}}},
        {"files changed, directories refreshed at once", fileChanges,
         {{"refresh", "F:\\a"}, {"refresh", "F:\\"}}, keptTags},
        {"files changed, directories marked, branch worker", fileChanges,
         {{"mark", "F:\\a"}, {"mark", "F:\\"}, {"branch", "F:\\"}}, keptTags},
        {"directory added on disk",
         {{"mkdir", Host("b/newdir/inner")}, {"write", Host("b/newdir/n1"), "7"}},
         {{"newdirs", "F:\\b"}, {"branch", "F:\\b"}}, keptTags},
        {"directory removed on disk", {{"rmtree", Host("c")}},
         {{"newdirs", "F:\\"}, {"branch", "F:\\"}},
         {{"tag", "F:\\a\\keep.txt"}, {"tag", "F:\\a\\grow.txt"}, {"tag", "F:\\a\\x.txt"},
          {"tag", "F:\\d\\d1"}}},
        {"directory removed by path", {{"rmtree", Host("c")}}, {{"remove", "F:\\c"}},
         {{"tag", "F:\\a\\keep.txt"}, {"tag", "F:\\a\\grow.txt"}, {"tag", "F:\\a\\x.txt"},
          {"tag", "F:\\d\\d1"}}},
        {"directory renamed on disk", {{"rename", Host("d"), Host("e")}},
         {{"newdirs", "F:\\"}, {"branch", "F:\\"}},
         {{"tag", "F:\\a\\keep.txt"}, {"tag", "F:\\a\\grow.txt"}, {"tag", "F:\\a\\x.txt"},
          {"tag", "F:\\c\\c1"}}},
        {"directories added by path", {}, {{"add", "F:\\b\\made\\below"}}, keptTags},
        {"a created file", {{"write", Host("a/made.txt"), "12"}}, {{"created", "F:\\a\\made.txt"}},
         keptTags},
    };
    for (const bool prefetch : {true, false}) {
        for (const Case& c : cases) {
            const std::string what =
                std::string(c.what) + (prefetch ? ", read-ahead on" : ", read-ahead off");
            SCOPED_TRACE(what);
            // Each case starts from the same tree on disk.
            MakeFiles();
            Lines script = tags;
            script.insert(script.end(), c.changes.begin(), c.changes.end());
            script.insert(script.end(), c.commands.begin(), c.commands.end());
            const std::string onOff = prefetch ? "on" : "off";
            const Dump kept = Run({"--letter", "f", "--prefetch", onOff, "--script",
                                   Script("kept.script", script)});
            ExpectSound(kept, what);
            for (const std::string& line : ScriptResults(kept))
                EXPECT_EQ(line.find(" -"), line.npos) << "a step failed: " << line;
            const Dump fresh = Run({"--letter", "f", "--prefetch", onOff, "--script",
                                    Script("fresh.script", c.tagsAfter)});
            ExpectSound(fresh, what);
            EXPECT_EQ(TreeAndTags(kept), TreeAndTags(fresh));
            // The tags are really there: as many tag lines as tags given.
            const std::string tagLines = TreeAndTags(fresh);
            size_t tagged = 0;
            for (size_t at = tagLines.find("tagged "); at != tagLines.npos;
                 at = tagLines.find("tagged ", at + 1))
                tagged++;
            EXPECT_EQ(tagged, c.tagsAfter.size());
        }
    }
}

// ---- FIND & LOG ----------------------------------------------------------------

// The directories (relative to root, bytes) holding a regular file that
// find's tests select; "nolog" directories pruned when asked.
std::set<std::string> FindMatchDirs(const std::string& root, const std::string& tests,
                                    bool pruneNolog) {
    const std::string command = "TZ=UTC0 find '" + root + "' " +
                                (pruneNolog ? "-name nolog -prune -o " : "") + "-type f " + tests +
                                " -printf '%h\\0'";
    const std::string all = CommandOutput(command);
    std::set<std::string> out;
    for (size_t at = 0; at < all.size();) {
        const size_t end = all.find('\0', at);
        const std::string dir = all.substr(at, end - at);
        at = end + 1;
        out.insert(dir == root ? "" : dir.substr(root.size() + 1));
    }
    return out;
}

// A dump's tree without the access times, which every read of the fixture
// moves on.
std::string TreeWithoutAccess(const Dump& d) {
    std::string out;
    std::istringstream in(d.Tree());
    std::string line;
    while (std::getline(in, line)) {
        const size_t at = line.find(" accessed=");
        if (at != line.npos) line.erase(at, line.find(' ', at + 1) - at);
        out += line + "\n";
    }
    return out;
}

class FindLogDump : public TreeDump {
  protected:
    std::map<std::string, std::string> Figures(const Dump& d) {
        std::istringstream lines(d.text);
        std::string line;
        while (std::getline(lines, line))
            if (line.rfind("findlog ", 0) == 0) {
                std::istringstream in(line.substr(8));
                return Fields(in);
            }
        return {};
    }
    static unsigned long long Number(const std::map<std::string, std::string>& f,
                                     const std::string& key) {
        return f.count(key) ? std::stoull(f.at(key)) : ~0ull;
    }
    // The messages FIND & LOG reported.
    static std::vector<std::string> Messages(const Dump& d) {
        std::vector<std::string> out;
        for (size_t i = 0; i < d.questions.size(); i++)
            if (d.questionKinds[i] == "ShowMessage") out.push_back(Unescape(d.questions[i].at("path")));
        return out;
    }
    // What FIND & LOG must leave: the directories holding matches logged
    // with their files, the others on their paths expanded and not logged,
    // every other directory below the root untouched, the root as the
    // drive's root-only log left it.
    void ExpectLoggedExactly(const Dump& d, const std::set<std::string>& found,
                             const std::string& what) {
        std::set<std::string> onPaths;
        for (const std::string& f : found)
            for (std::string p = f; !p.empty(); p = Parent(p)) onPaths.insert(p);
        std::set<std::string> logged;
        for (const DumpDir& dir : d.dirs) {
            if (dir.path.empty()) {
                EXPECT_EQ(dir.Logged(), 1) << what;
                EXPECT_EQ(dir.Expanded(), 1) << what;
                continue;
            }
            if (dir.Logged() == 1) logged.insert(dir.path);
            if (found.count(dir.path)) continue;
            if (onPaths.count(dir.path)) {
                EXPECT_EQ(dir.Logged(), 0) << what << ": " << dir.path;
                EXPECT_EQ(dir.Expanded(), 1) << what << ": " << dir.path;
                EXPECT_TRUE(dir.files.empty()) << what << ": " << dir.path;
            } else {
                EXPECT_EQ(dir.Logged(), 0) << what << ": " << dir.path;
            }
        }
        std::set<std::string> foundBelowRoot = found;
        foundBelowRoot.erase("");
        EXPECT_EQ(logged, foundBelowRoot) << what;
    }
};

TEST_F(FindLogDump, LogsTheDirectoriesFindReportsWithAnyWorkersAndNeverLogList) {
    MakeTree(60, 400);
    const std::string quiet = dir.Write("quiet.ini", "zzznever\r\n");
    struct Case {
        const char* what;
        const char* filespec;
        const char* findTests;
    };
    const Case cases[] = {
        {"a name pattern", "f*3.dat", "-name 'f*3.dat'"},
        {"a pattern and an exclusion", "f*1.dat -*5*.*", "-name 'f*1.dat' ! -name '*5*'"},
        {"a date", ">1.1.2008", "-newermt '2008-01-01 23:59:59'"},
        {"a size", ">S300", "-size +300c"},
        {"no filespec: every directory with files", "*.*", ""},
    };
    for (const Case& c : cases) {
        const std::set<std::string> want = FindMatchDirs(root, c.findTests, false);
        ASSERT_FALSE(want.empty()) << c.what;
        // An unused run first: the search itself moves the access times.
        Run({"--findlog", "f", "--filter0", c.filespec});
        std::string reference;
        struct Run_ {
            const char* what;
            std::vector<std::string> args;
        };
        const Run_ runs[] = {
            {"4 workers", {}},
            {"1 worker", {"--workers", "1"}},
            {"no worker", {"--workers", "0"}},
            {"a never-log list that names nothing here", {"--nolog", quiet}},
            {"a remote drive", {"--remote"}},
        };
        for (const Run_& r : runs) {
            const std::string what = std::string(c.what) + ", " + r.what;
            std::vector<std::string> args = {"--findlog", "f", "--filter0", c.filespec};
            args.insert(args.end(), r.args.begin(), r.args.end());
            const Dump d = Run(args);
            ExpectSound(d, what);
            EXPECT_EQ(d.result, 1) << what;
            ExpectLoggedExactly(d, want, what);
            const auto f = Figures(d);
            EXPECT_EQ(Number(f, "foundDirs"), want.size()) << what;
            EXPECT_EQ(Number(f, "logged"), want.size()) << what;
            EXPECT_EQ(Number(f, "workers"),
                      r.args.empty() || r.args[0] == "--nolog" ? 4u
                      : r.args[0] == "--remote"                ? 0u
                                                               : std::stoull(r.args[1]))
                << what;
            EXPECT_TRUE(Messages(d).empty()) << what;
            // The walk's listings come from the read-ahead: one for each
            // directory on the found paths, none read past it.
            if (r.args.empty()) {
                std::set<std::string> onPaths;
                for (const std::string& f : want)
                    for (std::string p = f; !p.empty(); p = Parent(p)) onPaths.insert(p);
                EXPECT_NE(d.text.find("prefetch capWaits=0 readDirectly=0 fromReadAhead=" +
                                      std::to_string(onPaths.size()) + "\n"),
                          d.text.npos)
                    << what;
            }
            // Where the tree stands: the last directory logged.
            if (reference.empty())
                reference = TreeWithoutAccess(d);
            else
                EXPECT_EQ(TreeWithoutAccess(d), reference) << what;
        }
    }
}

TEST_F(FindLogDump, ANeverLogListKeepsItsDirectoriesOutOfTheSearch) {
    MakeTree(60, 400);
    dir.Write("tree/edge/nolog/hit.dat", "12");
    dir.Write("tree/edge/nolog/below/hit2.dat", "34");
    const std::set<std::string> want = FindMatchDirs(root, "-name '*.dat'", true);
    ASSERT_FALSE(want.count("edge/nolog"));
    // A name anywhere, and a path from the drive's root: the search names
    // its directories as the tree does, whatever the list holds.
    const std::string byPath = dir.Write("nolog-path.ini", "\\edge\\nolog\r\n");
    for (const std::string& list : {nologFile, byPath}) {
        for (const std::string workers : {"4", "0"}) {
            const Dump d =
                Run({"--findlog", "f", "--filter0", "*.dat", "--nolog", list, "--workers", workers});
            ExpectSound(d, workers);
            ExpectLoggedExactly(d, want, "never-log " + list + ", workers " + workers);
        }
    }
}

TEST_F(FindLogDump, TheDoneListStaysWithinItsCapAndTheResultIsTheSame) {
    MakeTree(120, 600);
    Run({"--findlog", "f", "--filter0", "f*7.dat"});
    const Dump free = Run({"--findlog", "f", "--filter0", "f*7.dat"});
    ExpectSound(free, "no cap");
    constexpr unsigned long long kCap = 8192;
    const Dump capped = Run({"--findlog", "f", "--filter0", "f*7.dat", "--findlog-cap",
                             std::to_string(kCap), "--hold"});
    ExpectSound(capped, "capped");
    const auto f = Figures(capped);
    // The main thread held back until the list reached the cap: the
    // workers had to wait, and the list never grew past one node beyond it.
    EXPECT_GT(Number(f, "capWaits"), 0u);
    EXPECT_GE(Number(f, "peak"), kCap);
    EXPECT_LE(Number(f, "peak"), kCap + Number(f, "largest"));
    EXPECT_EQ(TreeWithoutAccess(capped), TreeWithoutAccess(free));
    EXPECT_EQ(Number(Figures(free), "capWaits"), 0u);
}

TEST_F(FindLogDump, WhatIsReportedWhenNothingMatchesOrEscIsPressed) {
    MakeTree(60, 400);
    const std::set<std::string> all = FindMatchDirs(root, "-name '*.dat'", false);
    Run({"--findlog", "f", "--filter0", "*.dat"});
    {
        const Dump d = Run({"--findlog", "f", "--filter0", "*.nothing"});
        ExpectSound(d, "no match");
        EXPECT_EQ(d.result, 0);
        const auto f = Figures(d);
        const std::vector<std::string> want = {"No matching files in " +
                                               std::to_string(Number(f, "searched")) +
                                               " directories searched"};
        EXPECT_EQ(Messages(d), want);
        ExpectLoggedExactly(d, {}, "no match");
        EXPECT_EQ(d.state.at("dir"), "F:\\");
    }
    for (const std::string workers : {"4", "0"}) {
        // Esc after 5 directories: the workers stop, what was found so far
        // is logged, and every node and buffer is freed (the child is a
        // leak-checking build whose status says so).
        const Dump d = Run({"--findlog", "f", "--filter0", "*.dat", "--stop-search", "5",
                            "--workers", workers});
        ExpectSound(d, "stopped searching, workers " + workers);
        const auto f = Figures(d);
        EXPECT_EQ(Number(f, "stoppedSearching"), 1u);
        EXPECT_GE(Number(f, "searched"), 5u);
        EXPECT_LT(Number(f, "searched"), all.size() + 10);
        const unsigned long long foundDirs = Number(f, "foundDirs");
        if (foundDirs) {
            EXPECT_EQ(Messages(d), std::vector<std::string>{
                                       "Stopped - " + std::to_string(Number(f, "foundFiles")) +
                                       " files found in " + std::to_string(foundDirs) +
                                       " directories so far"});
            EXPECT_EQ(Number(f, "logged"), foundDirs);
            EXPECT_EQ(d.result, 1);
        } else {
            EXPECT_EQ(Messages(d), std::vector<std::string>{
                                       "Stopped - no matching files in " +
                                       std::to_string(Number(f, "searched")) +
                                       " directories searched"});
        }
        // Only directories that hold matches were logged.
        for (const DumpDir& dir : d.dirs) {
            if (dir.Logged() == 1 && !dir.path.empty()) {
                EXPECT_TRUE(all.count(dir.path)) << dir.path;
            }
        }
    }
    {
        const Dump d = Run({"--findlog", "f", "--filter0", "*.dat", "--stop-logging", "3"});
        ExpectSound(d, "stopped logging");
        const auto f = Figures(d);
        EXPECT_EQ(Number(f, "stoppedLogging"), 1u);
        EXPECT_EQ(Number(f, "logged"), 3u);
        EXPECT_EQ(Messages(d), std::vector<std::string>{"Stopped - 3 of the " +
                                                        std::to_string(all.size()) +
                                                        " directories found logged"});
        size_t logged = 0;
        for (const DumpDir& dir : d.dirs) logged += dir.Logged() == 1 && !dir.path.empty();
        // The root, when it holds matches, is the first of the three.
        EXPECT_EQ(logged + (all.count("") ? 1 : 0), 3u);
    }
}

TEST_F(FindLogDump, TwoDirectoriesDifferingOnlyInCaseKeepTheirOwnFiles) {
    dir.Write("tree/Dir/upper.txt", "1");
    dir.Write("tree/dir/lower.txt", "22");
    dir.Write("tree/dir/sub/deep.txt", "333");
    dir.Write("tree/DIR/none.dat", "4");
    const Dump d = Run({"--findlog", "f", "--filter0", "*.txt"});
    ExpectSound(d, "case");
    ExpectLoggedExactly(d, {"Dir", "dir", "dir/sub"}, "case");
    const DumpDir* upper = d.Dir("Dir");
    const DumpDir* lower = d.Dir("dir");
    ASSERT_NE(upper, nullptr);
    ASSERT_NE(lower, nullptr);
    ASSERT_EQ(upper->files.size(), 1u);
    EXPECT_EQ(upper->files[0].name, "upper.txt");
    ASSERT_EQ(lower->files.size(), 1u);
    EXPECT_EQ(lower->files[0].name, "lower.txt");
    // Sorted case-insensitively, then exactly: "dir" comes after "Dir" and
    // its child after it, so the last logged is dir\sub.
    EXPECT_EQ(d.state.at("dir"), "F:\\dir\\sub");
}

TEST_F(FindLogDump, AMountedFileSystemBelowTheDriveIsNotSearched) {
    const std::string mounts = qtest::ReadFile("/proc/self/mountinfo");
    ASSERT_NE(mounts.find(" /dev/shm "), std::string::npos) << "no /dev/shm mount on this machine";
    char made[] = "/dev/shm/quilb-findXXXXXX";
    ASSERT_NE(::mkdtemp(made), nullptr);
    const std::string hit = std::string(made) + "/hit.quilbfind";
    ASSERT_EQ(::close(::open(hit.c_str(), O_WRONLY | O_CREAT, 0644)), 0);
    WriteDrives({{'f', "/dev"}});
    for (const std::string workers : {"4", "0"}) {
        const Dump d = Run({"--findlog", "f", "--filter0", "*.quilbfind", "--workers", workers});
        ExpectSound(d, "/dev");
        EXPECT_EQ(d.result, 0);
        EXPECT_EQ(Number(Figures(d), "foundFiles"), 0u);
        ASSERT_EQ(Messages(d).size(), 1u);
        EXPECT_EQ(Messages(d)[0].rfind("No matching files in ", 0), 0u);
    }
    ::unlink(hit.c_str());
    ::rmdir(made);
}

} // namespace

// ---- logged-volume files ---------------------------------------------------------

// The lines of a dump that a logged-volume file must give back: the trees
// with their tags, the panes' state, the bookmarks, the remembered values,
// the switches and the current disk and directory. An entry's mode word is
// not kept in the file (it is looked up again when wanted), so it is taken
// out; so is each index of the files in freshIndexDir (a level-1 directory
// of more than 65,535 files, whose 16-bit indices become fresh ones). Two
// separate logs of one tree differ in the directories' access times (a log
// reads them), which are then taken out too.
std::string VolumeLines(const Dump& d, const std::string& freshIndexDir = "",
                        bool separateLogs = false) {
    static const char* const kKinds[] = {"dir ",   "file ",     "disk ",   "tagged ", "panes ",
                                         "pane ",  "filter ",   "bookmark ", "memo ", "switches"};
    std::string out = "current=" + (d.state.count("current") ? d.state.at("current") : "?") +
                      " dir=" + (d.state.count("dir") ? d.state.at("dir") : "?") + "\n";
    std::istringstream in(d.text);
    std::string line;
    bool fresh = false;
    while (std::getline(in, line)) {
        if (std::none_of(std::begin(kKinds), std::end(kKinds),
                         [&](const char* k) { return line.rfind(k, 0) == 0; }))
            continue;
        if (line.rfind("dir ", 0) == 0) {
            fresh = !freshIndexDir.empty() && line.rfind("dir 1 " + freshIndexDir + " ", 0) == 0;
            const size_t at = line.find(" accessed=");
            if (separateLogs && at != line.npos) line.erase(at, line.find(' ', at + 1) - at);
        }
        if (line.rfind("file ", 0) == 0) {
            for (const char* field : {" mode=", fresh ? " index=" : nullptr}) {
                if (!field) continue;
                const size_t at = line.find(field);
                if (at != line.npos) line.erase(at, line.find(' ', at + 1) - at);
            }
        }
        out += line + "\n";
    }
    return out;
}

// Compares two texts line by line and reports the first line that differs
// and how many do (a whole dump of 70,000 files is too long to print).
void ExpectSameLines(const std::string& got, const std::string& want, const std::string& what) {
    std::istringstream a(got), b(want);
    std::string x, y;
    size_t line = 0, differing = 0;
    std::string first;
    for (;;) {
        const bool hasX = bool(std::getline(a, x)), hasY = bool(std::getline(b, y));
        if (!hasX && !hasY) break;
        line++;
        if (hasX && hasY && x == y) continue;
        if (!differing++)
            first = "line " + std::to_string(line) + ":\n  got:  " + (hasX ? x : "(end)") +
                    "\n  want: " + (hasY ? y : "(end)");
    }
    EXPECT_EQ(differing, 0u) << what << ": first difference at " << first;
}

// One disk's part of an every-disk dump: its directories and files, its
// figures line and its tagged files, without mode words and the
// directories' access times.
std::string DiskPart(const Dump& d, char letter) {
    const std::string all = VolumeLines(d, "", true);
    std::istringstream in(all);
    std::string line, out;
    bool inside = false;
    const std::string root = std::string("dir 0 ") + letter + ":";
    while (std::getline(in, line)) {
        if (line.rfind("dir 0 ", 0) == 0) inside = line.rfind(root, 0) == 0;
        const bool tag = line.rfind("tagged ", 0) == 0 && line.size() > 9 && line[9] == letter;
        if (inside || tag) out += line + "\n";
        if (line.rfind("disk ", 0) == 0) inside = false;
    }
    return out;
}

// Every disk of an every-disk dump earned "check ok" and no recount differs.
void ExpectEveryDiskSound(const Dump& d, const std::string& what) {
    EXPECT_EQ(d.status, 0) << what << "\n" << d.errors.substr(0, 4000);
    EXPECT_NE(std::find(d.verdicts.begin(), d.verdicts.end(), "check ok"), d.verdicts.end())
        << what << "\n" << d.text.substr(0, 2000);
    for (const std::string& v : d.verdicts)
        EXPECT_TRUE(v == "check ok" || v == "recount ok") << what << ": " << v;
}

class QlogDump : public TreeDump {
  protected:
    std::string third; // drive H

    void SetUp() override {
        TreeDump::SetUp();
        third = dir.MakeDir("third");
        dir.Write("third/h1.txt", "hhh");
        dir.Write("third/sub/h2.txt", "hh");
        dir.Write("other/sub/deep/g2.dat", "1234567");
        WriteDrives({{'f', root}, {'g', other}, {'h', third}});
    }
    // The generated tree of F with names that cannot stand in a line as
    // they are: a line feed, bytes that are not UTF-8, '\', '*', '?' and a
    // bar in a directory's name.
    void MakeVolumeTree() {
        MakeTree(12, 60);
        dir.Write("tree/names/line\nfeed.txt", "lf");
        dir.Write("tree/names/not\xff" "utf8\x80.bin", "x");
        dir.Write("tree/names/back\\slash", "bs");
        dir.Write("tree/names/star*", "st");
        dir.Write("tree/names/what?", "wh");
        dir.Write("tree/names/odd|bar\nline\xfe/in.txt", "in");
    }
    std::string WriteScript(const std::string& text) { return dir.Write("script.txt", text); }
};

// A set of window switches each position can hold, and four pane bytes.
const char kSwitches[] =
    "1,3,0,1,1,0,2,5,1,0,4,7,1,9,6,2,3,88,1,50,8,3,2,1,0,1,4,1,1,2,3,4";

TEST_F(QlogDump, LoadingASavedFileGivesBackTheLoggedTreeAndPanes) {
    MakeVolumeTree();
    // A directory of more than 65,535 files, one of them tagged.
    constexpr int kFiles = 70000;
    ASSERT_NO_FATAL_FAILURE(MakeBigDirectory(dir.MakeDir("tree/big"), kFiles));
    const std::string script = WriteScript(
        "tag\tF:\\edge\\fine\\a.dat\n"
        "tag\tF:\\big\\e069999\n"
        "order\t2\t0\n"
        "memo\t0\t3\tF:\\edge\tbranch value\n"
        "cursor\tF:\\edge\\fine\n"
        "pane\t1\n"
        "tag\tF:\\edge\\one\\only.dat\n"
        "tag\tG:\\sub\\deep\\g2.dat\n"
        "tag\tF:\\big\\e000007\n"
        "collapse\tG:\\sub\n"
        "order\t3\t1\n"
        "memo\t1\t5\tanything\tF:\\names\n"
        "memo\t0\t4\tG:\tshowall value\n"
        "cursor\tG:\\sub\n"
        "bookmarks\tF:\\edge|G:\\sub\\deep|F:\\names\n");
    const std::string file = dir.Sub("volumes.qlog");
    const Dump logged = Run({"--letter", "F", "--also", "G", "--mode", "2", "--split", "--filter0",
                             "*.dat", "--filter1", "*.txt", "--filter3", "*.jpg", "--filter4",
                             "*.log", "--script", script, "--switches", kSwitches, "--save", file,
                             "--every-disk"});
    ExpectEveryDiskSound(logged, "the log");
    ASSERT_NE(logged.text.find("save 0\n"), std::string::npos) << logged.text.substr(0, 3000);
    EXPECT_NE(logged.text.find("also 0\n"), std::string::npos) << "G was not logged";
    for (const std::string& result : ScriptResults(logged))
        EXPECT_EQ(result.substr(result.rfind(' ')),
                  result.rfind("script bookmarks ", 0) == 0 ? " 3" : " 0")
            << result;
    // What the file must carry is really there before saving.
    for (const char* shown :
         {"file line%0Afeed.txt ", "file not%FFutf8%80.bin ", "file back\\slash ", "file star* ",
          "file what? ", "dir 2 odd|bar%0Aline%FE ", "tagged 0 F:\\big\\e069999\n",
          "tagged 1 F:\\big\\e000007\n", "tagged 1 G:\\sub\\deep\\g2.dat\n",
          "panes split=1 current=1", "bookmark 2 F:\\names\n", "memo 1 5 anything F:\\names\n",
          "filter 4 *.log\n", "expanded=0"})
        EXPECT_NE(logged.text.find(shown), std::string::npos) << shown;
    // A directory's line carries its dates.
    const size_t edge = logged.text.find("\ndir 1 edge ");
    ASSERT_NE(edge, std::string::npos);
    EXPECT_NE(logged.text.substr(edge, logged.text.find('\n', edge + 1) - edge)
                  .find(" written=" + PackedWritten(1600000000, 0)),
              std::string::npos);

    const Dump loaded = Run({"--load", file, "--every-disk"});
    ExpectEveryDiskSound(loaded, "the load");
    EXPECT_EQ(loaded.result, 1);
    EXPECT_TRUE(loaded.questions.empty()) << loaded.questionKinds.size();
    ExpectSameLines(VolumeLines(loaded, "big"), VolumeLines(logged, "big"), "load");

    // The big directory's files have distinct indices from 1 to their count.
    std::set<unsigned> indices;
    bool inBig = false;
    std::istringstream in(loaded.text);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("dir ", 0) == 0) inBig = line.rfind("dir 1 big ", 0) == 0;
        if (!inBig || line.rfind("file ", 0) != 0) continue;
        std::istringstream fields(line);
        const std::map<std::string, std::string> f = Fields(fields);
        indices.insert(unsigned(std::stoul(f.at("index"))));
    }
    ASSERT_EQ(indices.size(), size_t(kFiles));
    EXPECT_EQ(*indices.begin(), 1u);
    EXPECT_EQ(*indices.rbegin(), unsigned(kFiles));
}

TEST_F(QlogDump, MergeReplacesOnlyTheDisksOfTheLettersInTheFile) {
    MakeVolumeTree();
    const std::string file = dir.Sub("volumes.qlog");
    const std::string script = WriteScript("tag\tF:\\edge\\fine\\b.dat\ntag\tG:\\g.txt\n");
    const Dump saved = Run({"--letter", "F", "--also", "G", "--mode", "2", "--script", script,
                            "--save", file, "--every-disk"});
    ExpectEveryDiskSound(saved, "the saved log");
    ASSERT_NE(saved.text.find("save 0\n"), std::string::npos);

    // F changes on disk after the save; H was never in the file.
    dir.Write("tree/edge/fine/new.dat", "new");
    std::filesystem::remove(root + "/edge/one/only.dat");
    const Dump merged = Run({"--letter", "F", "--also", "H", "--mode", "2", "--merge", file,
                             "--every-disk"});
    ExpectEveryDiskSound(merged, "the merge");
    EXPECT_NE(merged.text.find("merge 1\n"), std::string::npos) << merged.text.substr(0, 2000);
    const Dump third = Run({"--letter", "H", "--mode", "2", "--every-disk"});
    ExpectEveryDiskSound(third, "H alone");

    const struct {
        char letter;
        const Dump* from;
        const char* what;
    } rows[] = {
        {'F', &saved, "F as saved, not as it is on disk now"},
        {'G', &saved, "G added from the file"},
        {'H', &third, "H, not in the file, as logged"},
    };
    for (const auto& row : rows) {
        const std::string want = DiskPart(*row.from, row.letter);
        ASSERT_FALSE(want.empty()) << row.what;
        ExpectSameLines(DiskPart(merged, row.letter), want, row.what);
    }
    EXPECT_EQ(merged.text.find("new.dat"), std::string::npos);
}

TEST_F(QlogDump, ARefusedFileLeavesTheLoggedTreeAsItWas) {
    MakeVolumeTree();
    const std::string good = dir.Sub("good.qlog");
    const Dump saved = Run({"--letter", "G", "--mode", "2", "--save", good, "--every-disk"});
    ASSERT_EQ(saved.status, 0) << saved.errors;
    ASSERT_NE(saved.text.find("save 0\n"), std::string::npos);
    const std::string image = qtest::ReadFile(good);
    ASSERT_GT(image.size(), 7200u);
    const Dump before = Run({"--letter", "F", "--mode", "2", "--every-disk"});
    ExpectEveryDiskSound(before, "F alone");

    std::string letterSix = image;
    letterSix[2] = '6';
    std::string wrongTail = image;
    wrongTail.back() = 'X';
    const struct {
        const char* what;
        std::string bytes;
    } rows[] = {
        {"exactly 1500 bytes", image.substr(0, 1498) + "QV"},
        {"a letter below '7'", letterSix},
        {"a tail other than QV", wrongTail},
        {"cut inside the trees", image.substr(0, image.size() - 40) + "QV"},
        {"cut inside the disk record", image.substr(0, 4000) + "QV"},
    };
    for (const auto& row : rows) {
        const std::string bad = dir.Write("bad.qlog", row.bytes);
        const Dump d = Run({"--letter", "F", "--mode", "2", "--merge", bad, "--every-disk"});
        ExpectEveryDiskSound(d, row.what);
        EXPECT_NE(d.text.find("merge 0\n"), std::string::npos) << row.what;
        ASSERT_EQ(d.questionKinds.size(), 1u) << row.what;
        EXPECT_EQ(d.questionKinds[0], "ShowError") << row.what;
        EXPECT_NE(Unescape(d.questions[0].at("path")).find("Invalid volumes file"),
                  std::string::npos)
            << row.what;
        ExpectSameLines(VolumeLines(d, "", true), VolumeLines(before, "", true), row.what);
    }
}
