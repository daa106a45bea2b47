// Timing helpers of the benchmarks: the best of several runs of a piece of
// code or of an outside command, and the scratch directory a generated tree
// is written into.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace qbench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The shortest of runs timings of f.
template <class F>
double Best(int runs, F f) {
    double best = 1e30;
    for (int i = 0; i < runs; i++) {
        const auto start = Clock::now();
        f();
        const double s = Seconds(start);
        if (s < best) best = s;
    }
    return best;
}

// The shortest of runs timings of a shell command, its output discarded; a
// command that reports unreadable entries still counts.
inline double RunTool(const std::string& command, int runs) {
    return Best(runs, [&] {
        if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
        }
    });
}

// A fresh directory /tmp/<name>-XXXXXX holding an empty directory "t" for
// a generated tree; its path, or empty when it cannot be made.
inline std::string MakeScratch(const std::string& name) {
    std::string base = "/tmp/" + name + "-XXXXXX";
    if (!::mkdtemp(base.data())) return {};
    if (::mkdir((base + "/t").c_str(), 0755) != 0) return {};
    return base;
}

// Removes a scratch directory with everything in it; false when that fails.
inline bool RemoveScratch(const std::string& base) {
    return std::system(("rm -rf '" + base + "'").c_str()) == 0;
}

} // namespace qbench
