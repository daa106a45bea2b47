// FIND & LOG on a generated tree of many files (the find_log_child program,
// which runs the command through FindAndLog) against what a user would
// otherwise run to find the same files: find -name, bfs -name and fd -u -g
// (fdfind). Two searches: every "*.txt" (about a seventh of the files) and
// a pattern that matches about one file in a hundred. Each tool is a child
// measured by wait4: wall time, CPU time and peak resident set, printed as
// ratios to find's in one run. fd does not stat what it lists and uses
// every core: its ratio is a floor, not a goal. Fails only when FIND & LOG
// found other files than find.
//   find_log_bench [--quick] [--runs N]
//
// The tree is the one the log benchmark makes (the same shape and seed
// share one scratch directory under $TMPDIR, else /tmp).
#include "tree_bench.h"

#include <set>

namespace {

using namespace treebench;

struct Search {
    const char* label;
    std::string filespec;               // the pane's filter
    std::vector<std::string> findTests; // find's and bfs's tests
    std::string fdGlob;
};

// The files find selects and the directories holding them, counted once
// untimed: what FIND & LOG must find.
void CountWithFind(const std::string& root, const Search& s, unsigned long long* files,
                   unsigned long long* dirs) {
    std::string command = "find '" + root + "' -type f";
    for (const std::string& t : s.findTests) command += " '" + t + "'";
    command += " -printf '%h\\n'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) Die("popen", command);
    std::set<std::string> where;
    *files = 0;
    char line[8192];
    while (std::fgets(line, sizeof line, pipe)) {
        (*files)++;
        where.insert(line);
    }
    ::pclose(pipe);
    *dirs = where.size();
}

bool BenchSearch(const std::string& root, const TreeFacts& facts, const Search& s, int runs,
                 const std::string& self) {
    unsigned long long files = 0, dirs = 0;
    CountWithFind(root, s, &files, &dirs);
    std::printf("\n-- %s: filespec \"%s\": %llu files (%.2f%% of the tree) in %llu directories\n", s.label,
                s.filespec.c_str(), files, 100.0 * double(files) / double(facts.files ? facts.files : 1),
                dirs);
    std::string errDir = ScratchBase() + "/quilb-find-log-err-XXXXXX";
    if (!::mkdtemp(errDir.data())) Die("mkdtemp", errDir);

    std::vector<std::string> findArgs = {root};
    findArgs.insert(findArgs.end(), s.findTests.begin(), s.findTests.end());
    const std::string install = "not installed (scripts/install-deps adds it)";
    const std::vector<Tool> tools = {
        {"quilb FIND & LOG", self + "/find_log_child",
         {root, s.filespec, std::to_string(files), std::to_string(dirs)},
         "find_log_child not built beside the benchmark"},
        {"find -name", "find", findArgs, install},
        {"bfs -name", "bfs", findArgs, install},
        {"fdfind -u -g", "fdfind", {"-u", "-g", s.fdGlob, root}, install},
    };
    const std::vector<Measure> m = MeasureTools(tools, runs, errDir);
    RemoveAll(errDir);

    std::printf("   %-22s %10s %10s %14s   (best of %d run%s; RSS the largest)\n", "tool", "wall s", "CPU s",
                "peak RSS MiB", runs, runs == 1 ? "" : "s");
    PrintTools(tools, m, 22);
    const Measure& q = m[0];
    const Measure& find = m[1];
    const Measure& bfs = m[2];
    const Measure& fd = m[3];
    std::printf("   ratios of FIND & LOG:\n");
    Goal("wall / find wall", q, "quilb", q.wall, find, "find", find.wall, 1.0);
    Goal("CPU / find CPU", q, "quilb", q.cpu, find, "find", find.cpu, 0);
    Goal("peak RSS / find peak RSS", q, "quilb", double(q.rssKiB), find, "find", double(find.rssKiB), 0);
    Goal("wall / bfs wall", q, "quilb", q.wall, bfs, "bfs", bfs.wall, 0);
    Goal("CPU / bfs CPU", q, "quilb", q.cpu, bfs, "bfs", bfs.cpu, 0);
    Goal("peak RSS / bfs peak RSS", q, "quilb", double(q.rssKiB), bfs, "bfs", double(bfs.rssKiB), 0);
    Goal("wall / fd wall (a floor)", q, "quilb", q.wall, fd, "fdfind", fd.wall, 0);
    Goal("CPU / fd CPU (a floor)", q, "quilb", q.cpu, fd, "fdfind", fd.cpu, 0);
    return !q.failed;
}

} // namespace

int main(int argc, char** argv) {
    LogBenchStart start;
    if (!StartLogBench(argc, argv, &start)) return 2;
    const auto& [quick, runs, self, root, lock, facts] = start;
    // One untimed walk, so that every tool meets a warm cache.
    double wall, cpu;
    long rss;
    const std::string find = FindProgram("find");
    if (!find.empty()) RunOnce(find, {root, "-printf", ""}, "/dev/null", &wall, &cpu, &rss);

    const Search searches[] = {
        {"every text file", "*.txt", {"-name", "*.txt"}, "*.txt"},
        {"about one file in a hundred", "*a.txt,*b.txt,*c.txt",
         {"(", "-name", "*a.txt", "-o", "-name", "*b.txt", "-o", "-name", "*c.txt", ")"},
         "*{a,b,c}.txt"},
    };
    bool ok = true;
    for (const Search& s : searches) ok = BenchSearch(root, facts, s, runs, self) && ok;
    ::close(lock);
    return ok ? 0 : 1;
}
