// The headline benchmark: a full log of a generated tree through LogDrive
// (the log_tree_child program, read-ahead on and off) against the tools a
// user would otherwise run on the same tree: gdu, fd, ncdu, find and bfs.
// Every tool runs as a child of its own, measured by wait4: wall time,
// user + system CPU time and peak resident memory. Prints one table per tree
// and the ratios the log aims at, each marked met or not met; never judges
// by time alone, and fails only when the log counted the tree wrongly.
//   log_tree_bench [--quick] [--tree 200k|1m|both] [--runs N]
//
// The trees are made once, deterministically from a seed, in a scratch
// directory under $TMPDIR (else /tmp) that later runs reuse (a stamp file
// says it is complete). Files are sparse: their sizes come from ftruncate,
// so a tree of many terabytes of apparent size takes no data blocks.
#include "tree_bench.h"

namespace {

using namespace treebench;

struct TreeRun {
    TreeShape shape;
    int runs;
};

// Builds (or reuses) the tree, warms the cache, measures every tool and
// prints the table. False when the log's counts disagreed with the tree.
bool BenchTree(const TreeRun& run, const std::string& self) {
    std::string root;
    int lock = -1;
    const TreeFacts facts = EnsureTree(run.shape, &root, &lock);
    std::printf("\n== tree %s: %llu files in %llu directories, depth up to %d, fullest directory %llu "
                "files, %s apparent (sparse files)\n   at %s\n",
                run.shape.label, static_cast<unsigned long long>(facts.files),
                static_cast<unsigned long long>(facts.directories), facts.maxDepth,
                static_cast<unsigned long long>(facts.largestDirectory), Bytes(facts.bytes).c_str(),
                root.c_str());

    std::string errDir = ScratchBase() + "/quilb-log-tree-err-XXXXXX";
    if (!::mkdtemp(errDir.data())) Die("mkdtemp", errDir);

    // One untimed walk, so that every tool meets a warm cache.
    double wall, cpu;
    long rss;
    const std::string find = FindProgram("find");
    if (!find.empty()) RunOnce(find, {root, "-printf", ""}, errDir + "/warm", &wall, &cpu, &rss);

    const std::string child = self + "/log_tree_child";
    const std::string files = std::to_string(facts.files), dirs = std::to_string(facts.directories),
                      bytes = std::to_string(facts.bytes);
    const std::string childMissing = "log_tree_child not built beside the benchmark";
    const std::string install = "not installed (scripts/install-deps adds it)";
    const char* findFormat = "%s %T@\n";
    const std::vector<Tool> tools = {
        {"quilb log, read-ahead on", child, {root, "on", dirs, files, bytes}, childMissing},
        {"quilb log, read-ahead off", child, {root, "off", dirs, files, bytes}, childMissing},
        {"gdu -n -p -x", "gdu", {"-n", "-p", "-x", root}, install},
        {"fdfind -u .", "fdfind", {"-u", ".", root}, install},
        {"ncdu -o /dev/null", "ncdu", {"-o", "/dev/null", root}, install},
        {"find -printf '%s %T@\\n'", "find", {root, "-printf", findFormat}, install},
        {"bfs -printf '%s %T@\\n'", "bfs", {root, "-printf", findFormat}, install},
    };
    const std::vector<Measure> m = MeasureTools(tools, run.runs, errDir);
    RemoveAll(errDir);
    ::close(lock);

    std::printf("   %-28s %10s %10s %14s   (best of %d run%s; RSS the largest, may include up to %.1f MiB "
                "of this program's pages that a child holds until its exec)\n",
                "tool", "wall s", "CPU s", "peak RSS MiB", run.runs, run.runs == 1 ? "" : "s",
                double(SelfRssKiB()) / 1024.0);
    for (size_t t = 0; t < tools.size(); t++) {
        std::printf("   %-28s ", tools[t].label.c_str());
        if (m[t].missing) std::printf("missing: %s\n", m[t].note.c_str());
        else if (m[t].failed) std::printf("failed: %s\n", m[t].note.c_str());
        else
            std::printf("%10.3f %10.3f %14.1f\n", m[t].wall, m[t].cpu, double(m[t].rssKiB) / 1024.0);
    }
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    std::printf("   (a sanitizer build: quilb's figures here say nothing of its speed or memory)\n");
#endif
    const Measure& on = m[0];
    const Measure& off = m[1];
    const Measure& gdu = m[2];
    const Measure& findM = m[5];
    for (const auto& [name, q] : {std::pair<const char*, const Measure*>{"read-ahead on", &on},
                                  std::pair<const char*, const Measure*>{"read-ahead off", &off}}) {
        std::printf("   goals, quilb log with %s:\n", name);
        Goal("quilb wall / gdu wall", *q, "quilb", q->wall, gdu, "gdu", gdu.wall, 1.0);
        Goal("quilb wall / find wall", *q, "quilb", q->wall, findM, "find", findM.wall, 0.5);
        Goal("quilb peak RSS / gdu peak RSS", *q, "quilb", double(q->rssKiB), gdu, "gdu", double(gdu.rssKiB),
             0.2);
    }
    // A log that ran and counted wrongly is a fault, not a slow result.
    return !(on.failed || off.failed);
}

} // namespace

int main(int argc, char** argv) {
    bool quick = false;
    std::string which = "both";
    int runs = 0;
    for (int i = 1; i < argc; i++) {
        if (!std::strcmp(argv[i], "--quick")) quick = true;
        else if (!std::strcmp(argv[i], "--tree") && i + 1 < argc) which = argv[++i];
        else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: %s [--quick] [--tree 200k|1m|both] [--runs N]\n", argv[0]);
            return 2;
        }
    }
    // The children sit beside this program.
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string self = n > 0 ? std::string(exe, size_t(n)) : std::string(argv[0]);
    self = self.substr(0, self.rfind('/') == std::string::npos ? 0 : self.rfind('/'));
    if (self.empty()) self = ".";

    std::vector<TreeRun> trees;
    if (quick) {
        trees.push_back({{"quick", 2000, 200, {500}, 24}, runs > 0 ? runs : 1});
    } else {
        if (which == "200k" || which == "both")
            trees.push_back({{"200k", 200000, 20000, {50000}, 24}, runs > 0 ? runs : 3});
        if (which == "1m" || which == "both")
            trees.push_back({{"1m", 1000000, 100000, {60000, 50000}, 24}, runs > 0 ? runs : 1});
    }
    if (trees.empty()) {
        std::fprintf(stderr, "unknown tree %s\n", which.c_str());
        return 2;
    }
    bool ok = true;
    for (const TreeRun& t : trees) ok = BenchTree(t, self) && ok;
    return ok ? 0 : 1;
}
