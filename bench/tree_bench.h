// What the tree benchmarks share: a generated tree of many files made once
// in a scratch directory and reused, and the tools a user would otherwise
// run on it, each a child measured by wait4 (wall time, CPU time and peak
// resident set), with the table and goal lines of the report.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace treebench {

using Clock = std::chrono::steady_clock;

// ---- the generated tree ---------------------------------------------------

// splitmix64: the same sequence on every machine and library.
struct Rng {
    uint64_t state;
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // 0 .. n-1
    uint32_t Below(uint32_t n) { return uint32_t(((Next() >> 32) * n) >> 32); }
};

struct TreeShape {
    const char* label;
    uint32_t files;       // below the root, the big directories' included
    uint32_t directories; // below the root
    std::vector<uint32_t> bigDirectories; // file counts of the big directories
    uint32_t seed;
};

constexpr int kMaxDepth = 12;
constexpr int kMinName = 10;
constexpr int kMaxName = 40;

// What the tree holds, as the generator made it.
struct TreeFacts {
    uint64_t files = 0;
    uint64_t directories = 0; // below the root
    uint64_t bytes = 0;       // apparent size of all files
    int maxDepth = 0;
    uint64_t largestDirectory = 0; // files of the fullest directory
};

inline std::string Base36(uint32_t n) {
    std::string s;
    do {
        s.insert(s.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[n % 36]);
        n /= 36;
    } while (n);
    return s;
}

// A name of kMinName to kMaxName bytes, unique in its directory through the
// serial it starts with.
inline std::string MakeName(Rng& rng, uint32_t serial, bool file) {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789_-";
    static const char* const kExtensions[] = {"", ".txt", ".dat", ".jpg", ".cpp", ".log", ".tar.gz"};
    const size_t length = kMinName + rng.Below(kMaxName - kMinName + 1);
    std::string name = Base36(serial) + "_";
    const std::string ext = file ? kExtensions[rng.Below(7)] : "";
    while (name.size() + ext.size() < length) name += kChars[rng.Below(sizeof kChars - 1)];
    return name + ext;
}

// Mostly small files, some large, a few beyond 4 GiB (the size's high word).
inline uint64_t MakeSize(Rng& rng) {
    const uint32_t k = rng.Below(100);
    if (k < 5) return 0;
    if (k < 65) return 1 + rng.Below(65536);
    if (k < 95) return 65536 + rng.Next() % (16ULL << 20);
    return (16ULL << 20) + rng.Next() % (6ULL << 30);
}

[[noreturn]] inline void Die(const std::string& what, const std::string& path) {
    std::fprintf(stderr, "%s: %s %s: %s\n", program_invocation_short_name, what.c_str(),
                 path.c_str(), std::strerror(errno));
    std::exit(2);
}

// Writes the tree below root (which must exist and be empty).
inline TreeFacts Generate(const std::string& root, const TreeShape& shape) {
    Rng rng{shape.seed};
    const uint32_t dirCount = shape.directories + 1; // the root is index 0
    std::vector<uint32_t> parent(dirCount, 0), serial(dirCount, 0);
    std::vector<int> depth(dirCount, 0);
    std::vector<std::string> path(dirCount);
    path[0] = root;
    TreeFacts facts;
    // Half the time a directory goes below the one made just before it, so
    // chains reach the full depth; otherwise below any directory with room.
    for (uint32_t i = 1; i < dirCount; i++) {
        uint32_t p;
        if (i > 1 && rng.Below(2) == 0 && depth[i - 1] < kMaxDepth) {
            p = i - 1;
        } else {
            do p = rng.Below(i);
            while (depth[p] >= kMaxDepth);
        }
        parent[i] = p;
        depth[i] = depth[p] + 1;
        path[i] = path[p] + "/" + MakeName(rng, serial[p]++, false);
        facts.maxDepth = std::max(facts.maxDepth, depth[i]);
    }
    // The big directories sit at different places of the tree; the other
    // files go to directories drawn at random, the root included.
    std::vector<uint32_t> fileCount(dirCount, 0);
    uint32_t spread = shape.files;
    for (size_t b = 0; b < shape.bigDirectories.size(); b++) {
        const uint32_t at = 1 + uint32_t((b + 1) * uint64_t(shape.directories - 1) /
                                         (shape.bigDirectories.size() + 1));
        fileCount[at] += shape.bigDirectories[b];
        spread -= shape.bigDirectories[b];
    }
    for (uint32_t f = 0; f < spread; f++) fileCount[rng.Below(dirCount)]++;

    for (uint32_t i = 0; i < dirCount; i++) {
        if (i > 0 && ::mkdir(path[i].c_str(), 0755) != 0) Die("mkdir", path[i]);
        const int dfd = ::open(path[i].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd < 0) Die("open", path[i]);
        for (uint32_t f = 0; f < fileCount[i]; f++) {
            const std::string name = MakeName(rng, serial[i]++, true);
            const uint64_t size = MakeSize(rng);
            const int fd = ::openat(dfd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd < 0) Die("create", path[i] + "/" + name);
            if (::ftruncate(fd, off_t(size)) != 0) Die("ftruncate", path[i] + "/" + name);
            // Written times from 2000 to 2026 with fractions of a second.
            const timespec when{time_t(946684800 + rng.Next() % (27ULL * 365 * 86400)),
                                long(rng.Below(1000000000))};
            const timespec times[2] = {when, when};
            if (::futimens(fd, times) != 0) Die("futimens", path[i] + "/" + name);
            ::close(fd);
            facts.bytes += size;
        }
        ::close(dfd);
        facts.files += fileCount[i];
        facts.largestDirectory = std::max<uint64_t>(facts.largestDirectory, fileCount[i]);
    }
    facts.directories = shape.directories;
    return facts;
}

inline const char* kStampVersion = "log-tree-1";

inline bool ReadStamp(const std::string& file, TreeFacts* facts) {
    std::ifstream in(file);
    std::string version;
    if (!(in >> version) || version != kStampVersion) return false;
    return bool(in >> facts->files >> facts->directories >> facts->bytes >> facts->maxDepth >>
                facts->largestDirectory);
}

inline bool WriteStamp(const std::string& file, const TreeFacts& f) {
    std::ofstream out(file);
    out << kStampVersion << ' ' << f.files << ' ' << f.directories << ' ' << f.bytes << ' ' << f.maxDepth
        << ' ' << f.largestDirectory << '\n';
    return bool(out.flush());
}

inline void RemoveAll(const std::string& path) {
    const std::string command = "rm -rf '" + path + "'";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", path.c_str());
}

inline std::string ScratchBase() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

// The tree of shape in its scratch directory, made when no complete one is
// there (the stamp, written last, says it is complete). Runs of the
// benchmark may share the scratch directory: a lock taken for writing while
// the tree is checked or made, and held for reading afterwards, keeps one
// run from remaking a tree that another is measuring. *root receives the
// tree's path and *lock the descriptor of the lock, to be closed when the
// tree is no longer used.
inline TreeFacts EnsureTree(const TreeShape& shape, std::string* root, int* lock) {
    const std::string scratch = ScratchBase() + "/quilb-log-tree-" + std::to_string(shape.files) + "-" +
                                std::to_string(shape.directories) + "-" + std::to_string(shape.seed);
    *root = scratch + "/tree";
    *lock = ::open((scratch + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (*lock < 0) Die("open", scratch + ".lock");
    while (::flock(*lock, LOCK_EX) != 0) {
        if (errno != EINTR) Die("flock", scratch + ".lock");
    }
    TreeFacts facts;
    if (ReadStamp(scratch + "/stamp", &facts)) {
        std::printf("reusing the tree in %s\n", scratch.c_str());
    } else {
        RemoveAll(scratch);
        if (::mkdir(scratch.c_str(), 0755) != 0) Die("mkdir", scratch);
        if (::mkdir(root->c_str(), 0755) != 0) Die("mkdir", *root);
        // Made in a child process: the generator's memory must not stay in
        // this process, whose resident pages every tool's child starts with
        // before its exec, and so would add to each tool's peak resident set.
        const auto start = Clock::now();
        std::fflush(nullptr);
        const pid_t maker = ::fork();
        if (maker < 0) Die("fork", scratch);
        if (maker == 0) {
            const TreeFacts made = Generate(*root, shape);
            if (!WriteStamp(scratch + "/stamp", made)) Die("write", scratch + "/stamp");
            std::fflush(nullptr);
            ::_exit(0);
        }
        int status = 0;
        while (::waitpid(maker, &status, 0) < 0) {
            if (errno != EINTR) Die("waitpid", scratch);
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !ReadStamp(scratch + "/stamp", &facts)) {
            std::fprintf(stderr, "%s: the tree in %s could not be made\n", program_invocation_short_name,
                         scratch.c_str());
            std::exit(2);
        }
        std::printf("made the tree in %s in %.1f s\n", scratch.c_str(),
                    std::chrono::duration<double>(Clock::now() - start).count());
    }
    while (::flock(*lock, LOCK_SH) != 0) {
        if (errno != EINTR) Die("flock", scratch + ".lock");
    }
    return facts;
}

// ---- the tools as children --------------------------------------------------

struct Tool {
    std::string label;
    std::string program;           // a name looked up on PATH, or a path
    std::vector<std::string> args; // after the program name
    std::string missingNote;       // what to say when the program is absent
};

struct Measure {
    bool missing = false;
    bool failed = false;
    std::string note;   // why it is missing or failed
    int runs = 0;
    double wall = 1e30; // best of the runs, seconds
    double cpu = 1e30;  // least user + system time of the runs, seconds
    long rssKiB = 0;    // largest peak resident set of the runs
};

inline std::string FindProgram(const std::string& program) {
    if (program.find('/') != std::string::npos) return ::access(program.c_str(), X_OK) == 0 ? program : "";
    const char* pathVar = std::getenv("PATH");
    std::stringstream dirs(pathVar ? pathVar : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty() || dir[0] != '/') continue;
        const std::string candidate = dir + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

inline std::string FirstLine(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// Runs program once as a child in a session of its own (so no tool can take
// the terminal), input and output on /dev/null, its errors into errFile.
// Returns the exit status (128 + signal for a signal), and the child's
// wall time, CPU time and peak resident set through the out parameters.
inline int RunOnce(const std::string& program, const std::vector<std::string>& args, const std::string& errFile,
            double* wall, double* cpu, long* rssKiB) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) Die("fork", program);
    if (pid == 0) {
        ::setsid();
        const int null = ::open("/dev/null", O_RDWR);
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (null < 0 || err < 0) ::_exit(126);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(err, 2);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) Die("wait4", program);
    }
    *wall = std::chrono::duration<double>(Clock::now() - start).count();
    *cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    *rssKiB = usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs every tool runs times, in turns (one run of each, then again), so a
// change in the machine's load spreads over all of them.
inline std::vector<Measure> MeasureTools(const std::vector<Tool>& tools, int runs, const std::string& errDir) {
    std::vector<Measure> results(tools.size());
    std::vector<std::string> programs(tools.size());
    for (size_t t = 0; t < tools.size(); t++) {
        programs[t] = FindProgram(tools[t].program);
        if (programs[t].empty()) {
            results[t].missing = true;
            results[t].note = tools[t].missingNote;
        }
    }
    for (int run = 0; run < runs; run++) {
        for (size_t t = 0; t < tools.size(); t++) {
            Measure& m = results[t];
            if (m.missing || m.failed) continue;
            const std::string errFile = errDir + "/stderr-" + std::to_string(t);
            double wall = 0, cpu = 0;
            long rss = 0;
            const int status = RunOnce(programs[t], tools[t].args, errFile, &wall, &cpu, &rss);
            if (status != 0) {
                m.failed = true;
                m.note = "exit status " + std::to_string(status) + ": " + FirstLine(errFile);
                continue;
            }
            m.runs++;
            m.wall = std::min(m.wall, wall);
            m.cpu = std::min(m.cpu, cpu);
            m.rssKiB = std::max(m.rssKiB, rss);
        }
    }
    return results;
}

// ---- the report -------------------------------------------------------------

inline std::string Bytes(uint64_t n) {
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB", "PiB"};
    double v = double(n);
    int u = 0;
    while (v >= 1024 && u < 5) {
        v /= 1024;
        u++;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", v, units[u]);
    return text;
}

// This process's resident set: a forked child holds these pages until its
// exec, so every peak RSS measured includes up to this much.
inline long SelfRssKiB() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.compare(0, 6, "VmRSS:") == 0) return std::atol(line.c_str() + 6);
    }
    return 0;
}

inline bool Usable(const Measure& m) { return !m.missing && !m.failed && m.runs > 0; }

// One goal line: the ratio of a to b against the goal, or why it cannot be
// judged. A goal of 0 or less prints the ratio alone (a floor, or a figure
// that has no goal).
inline void Goal(const char* what, const Measure& a, const char* aName, double av, const Measure& b,
                 const char* bName, double bv, double goal) {
    std::printf("     %-32s ", what);
    if (!Usable(a) || !Usable(b) || bv <= 0) {
        std::printf("cannot be judged: %s %s\n", !Usable(a) ? aName : bName,
                    (!Usable(a) ? a : b).missing ? "missing" : "did not run");
        return;
    }
    const double ratio = av / bv;
    if (goal <= 0)
        std::printf("%6.3f\n", ratio);
    else
        std::printf("%6.3f   goal <= %.1f   %s\n", ratio, goal, ratio <= goal ? "met" : "not met");
}

// The table of measured tools, labels width units wide; a sanitizer build
// says that its own figures mean nothing.
inline void PrintTools(const std::vector<Tool>& tools, const std::vector<Measure>& m, int width) {
    for (size_t t = 0; t < tools.size(); t++) {
        std::printf("   %-*s ", width, tools[t].label.c_str());
        if (m[t].missing) std::printf("missing: %s\n", m[t].note.c_str());
        else if (m[t].failed) std::printf("failed: %s\n", m[t].note.c_str());
        else std::printf("%10.3f %10.3f %14.1f\n", m[t].wall, m[t].cpu, double(m[t].rssKiB) / 1024.0);
    }
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    std::printf("   (a sanitizer build: quilb's figures here say nothing of its speed or memory)\n");
#endif
}

// The command line of the benchmarks on the log benchmark's big tree:
// [--quick] [--runs N]. False, after the usage line, for anything else.
inline bool ParseQuickRuns(int argc, char** argv, bool* quick, int* runs) {
    *quick = false;
    *runs = 0;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--quick")) *quick = true;
        else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) *runs = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: %s [--quick] [--runs N]\n", argv[0]);
            return false;
        }
    }
    return true;
}

// The log benchmark's 1,000,000-file tree, or its quick stand-in: the same
// shape and seed reuse the scratch directory that benchmark made. Prints
// the tree's line; *root and *lock as EnsureTree gives them.
inline TreeFacts EnsureLogBenchTree(bool quick, std::string* root, int* lock) {
    const TreeShape shape = quick ? TreeShape{"quick", 2000, 200, {500}, 24}
                                  : TreeShape{"1m", 1000000, 100000, {60000, 50000}, 24};
    const TreeFacts facts = EnsureTree(shape, root, lock);
    std::printf("== tree %s: %llu files in %llu directories at %s\n", shape.label,
                static_cast<unsigned long long>(facts.files),
                static_cast<unsigned long long>(facts.directories), root->c_str());
    return facts;
}

// The directory of the running benchmark, where its children sit.
inline std::string ProgramDir(const char* argv0) {
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string self = n > 0 ? std::string(exe, size_t(n)) : std::string(argv0);
    self = self.substr(0, self.rfind('/') == std::string::npos ? 0 : self.rfind('/'));
    return self.empty() ? "." : self;
}

// What every benchmark on the log benchmark's big tree starts from: its
// command line (runs default to 1 quick, else 3), the directory of its
// children, and the tree with the lock that keeps it (closed by the
// caller when done).
struct LogBenchStart {
    bool quick = false;
    int runs = 0;
    std::string self;
    std::string root;
    int lock = -1;
    TreeFacts facts{};
};
inline bool StartLogBench(int argc, char** argv, LogBenchStart* start) {
    if (!ParseQuickRuns(argc, argv, &start->quick, &start->runs)) return false;
    start->self = ProgramDir(argv[0]);
    if (start->runs <= 0) start->runs = start->quick ? 1 : 3;
    start->facts = EnsureLogBenchTree(start->quick, &start->root, &start->lock);
    return true;
}

} // namespace treebench
