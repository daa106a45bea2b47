// Logged-volume files on the log benchmark's tree: the tree is logged and
// saved to a QLOG file once (the qlog_child program, which times the log
// and the save inside itself), then loading the file (qlog_child load) is
// measured against what a user would otherwise do: log the tree again
// (log_tree_child, read-ahead on) and, as the floor of reading the file at
// all, cp of the file. Every one runs as a child measured by wait4. Prints
// the file's bytes per logged file and the ratios; fails only when a save
// or a load gave a tree other than the generated one.
//   qlog_bench [--quick] [--runs N]
#include "tree_bench.h"

namespace {

using namespace treebench;

long long FileBytes(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (long long)st.st_size : -1;
}

} // namespace

int main(int argc, char** argv) {
    LogBenchStart start;
    if (!StartLogBench(argc, argv, &start)) return 2;
    const auto& [quick, runs, self, root, lock, facts] = start;

    std::string work = ScratchBase() + "/quilb-qlog-bench-XXXXXX";
    if (!::mkdtemp(work.data())) Die("mkdtemp", work);
    const std::string file = work + "/volumes.qlog";
    const std::string times = work + "/times";
    const std::string dirs = std::to_string(facts.directories), files = std::to_string(facts.files),
                      bytes = std::to_string(facts.bytes);
    const std::string child = self + "/qlog_child";
    const std::string childMissing = "qlog_child not built beside the benchmark";

    // One untimed walk, so that the log meets a warm cache as the others do.
    double wall = 0, cpu = 0;
    long rss = 0;
    const std::string find = FindProgram("find");
    if (!find.empty()) RunOnce(find, {root, "-printf", ""}, "/dev/null", &wall, &cpu, &rss);

    bool ok = true;
    const std::vector<Tool> saver = {
        {"quilb log and save", child, {"save", root, file, times, dirs, files, bytes}, childMissing}};
    const Measure saved = MeasureTools(saver, 1, work)[0];
    double logSeconds = 0, saveSeconds = 0;
    {
        std::ifstream in(times);
        in >> logSeconds >> saveSeconds;
    }
    const long long fileBytes = FileBytes(file);
    if (!Usable(saved) || fileBytes <= 0) {
        std::printf("   the save failed: %s\n", saved.note.c_str());
        ok = false;
    } else {
        std::printf("   log %.3f s, save %.3f s (inside the child); the file: %s, %.1f bytes per logged file\n",
                    logSeconds, saveSeconds, Bytes(uint64_t(fileBytes)).c_str(),
                    double(fileBytes) / double(facts.files ? facts.files : 1));
        const std::vector<Tool> tools = {
            {"quilb load of the file", child, {"load", file, dirs, files, bytes}, childMissing},
            {"quilb log again", self + "/log_tree_child", {root, "on", dirs, files, bytes},
             "log_tree_child not built beside the benchmark"},
            {"cp of the file", "cp", {file, work + "/copy.qlog"}, "cp missing"},
        };
        const std::vector<Measure> m = MeasureTools(tools, runs, work);
        std::printf("   %-24s %10s %10s %14s   (best of %d run%s; RSS the largest)\n", "tool", "wall s",
                    "CPU s", "peak RSS MiB", runs, runs == 1 ? "" : "s");
        PrintTools(tools, m, 24);
        const Measure& load = m[0];
        const Measure& relog = m[1];
        const Measure& cp = m[2];
        std::printf("   ratios of loading the file:\n");
        Goal("load wall / log again wall", load, "load", load.wall, relog, "log", relog.wall, 0);
        Goal("load CPU / log again CPU", load, "load", load.cpu, relog, "log", relog.cpu, 0);
        Goal("load wall / cp wall", load, "load", load.wall, cp, "cp", cp.wall, 0);
        if (Usable(load) && load.wall > 0)
            std::printf("     %-32s %6.1f MiB/s (cp: %.1f MiB/s)\n", "load speed",
                        double(fileBytes) / 1048576.0 / load.wall,
                        Usable(cp) && cp.wall > 0 ? double(fileBytes) / 1048576.0 / cp.wall : 0.0);
        ok = !load.failed && !relog.failed;
        if (load.failed) std::printf("   the load failed: %s\n", load.note.c_str());
    }
    RemoveAll(work);
    ::close(lock);
    return ok ? 0 : 1;
}
