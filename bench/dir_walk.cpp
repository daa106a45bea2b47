// Directory walks: a pre-order walk of generated trees through qioReadDirEx
// with read-ahead on and off, warm and with a delay on every directory read
// (a slow file system), against `find DIR -printf '%s\n'` and bfs on the
// same tree; and FileTimeToPacked with the time-zone setting on and off
// against glibc's localtime_r. Prints times and ratios.
//   dir_walk_bench [--quick]
#include "bench_timing.h"
#include "qio_walk.h"
#include "platform/packed_dates.h"
#include "platform/read_ahead.h"
#include "settings/settings.h"
#include "tree_fixture.h"
#include "windows.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

using qbench::Best;
using qbench::Clock;
using qbench::RunTool;
using qbench::Seconds;

bool Have(const char* tool) {
    const std::string probe = std::string("command -v ") + tool + " >/dev/null 2>&1";
    return std::system(probe.c_str()) == 0;
}

struct Tree {
    int files;
    int directories;
};

void WalkBench(const std::string& base, const Tree& t, int runs, DWORD delayMs) {
    const std::string root = base + "/tree" + std::to_string(t.files);
    ::mkdir(root.c_str(), 0755);
    qtest::TreeSpec spec;
    spec.seed = 7;
    spec.directories = t.directories;
    spec.files = t.files;
    spec.maxDepth = 8;
    spec.maxFileSize = 64;
    spec.awkward = false;
    const auto made = Clock::now();
    qtest::GenerateTree(root, spec);
    printf("tree of %d files in %d directories made in %.1f s\n", t.files, t.directories, Seconds(made));
    qtest::WriteFixtureDrives(base, 'T', root);
    GetLogicalDrives();

    QioWalkTotals totals;
    const double off = Best(runs, [&] { totals = QioWalkTree(u"T:\\", false, nullptr); });
    const double on = Best(runs, [&] { totals = QioWalkTree(u"T:\\", true, nullptr); });
    printf("  warm: %llu directories, %llu files\n", static_cast<unsigned long long>(totals.directories),
           static_cast<unsigned long long>(totals.files));
    printf("    quilb read-ahead off %8.3f s\n    quilb read-ahead on  %8.3f s   off/on %.2f\n", off, on,
           off / on);
    const double find = RunTool("find '" + root + "' -printf '%s\\n'", runs);
    printf("    find -printf         %8.3f s   quilb(on)/find %.2f  quilb(off)/find %.2f\n", find,
           on / find, off / find);
    if (Have("bfs")) {
        const double bfs = RunTool("bfs '" + root + "' -printf '%s\\n'", runs);
        printf("    bfs -printf          %8.3f s   quilb(on)/bfs %.2f\n", bfs, on / bfs);
    } else {
        printf("    bfs                  not installed: no comparison (scripts/install-deps adds it)\n");
    }
    if (delayMs) {
        QioSetReadDelayForTest(delayMs);
        const double slowOff = Best(1, [&] { QioWalkTree(u"T:\\", false, nullptr); });
        const double slowOn = Best(1, [&] { QioWalkTree(u"T:\\", true, nullptr); });
        QioSetReadDelayForTest(0);
        printf("  %u ms per directory read (a slow file system):\n", unsigned(delayMs));
        printf("    quilb read-ahead off %8.3f s\n    quilb read-ahead on  %8.3f s   off/on %.2f\n",
               slowOff, slowOn, slowOff / slowOn);
    }
    std::system(("rm -rf '" + root + "' '" + root + ".manifest'").c_str());
}

void PackBench(int count) {
    std::vector<FILETIME> times(4096);
    for (size_t i = 0; i < times.size(); i++) {
        const int64_t t = (946684800LL + int64_t(i) * 7919 * 3600) * 10000000 + 116444736000000000LL;
        times[i] = {DWORD(t), DWORD(t >> 32)};
    }
    uint64_t sink = 0;
    auto pack = [&](BYTE rule) {
        gSettings.bStampTimezone = rule;
        return Best(3, [&] {
            for (int i = 0; i < count; i++) {
                PackedDate d;
                PackedTime c;
                FileTimeToPacked(&times[size_t(i) & 4095], &d, &c);
                sink += d ^ c;
            }
        });
    };
    const double zoneRules = pack(1), todaysOffset = pack(0);
    const double libc = Best(3, [&] {
        for (int i = 0; i < count; i++) {
            const FILETIME& f = times[size_t(i) & 4095];
            const int64_t ticks = int64_t(f.dwHighDateTime) << 32 | f.dwLowDateTime;
            const time_t s = time_t((ticks - 116444736000000000LL) / 10000000);
            struct tm tm;
            ::localtime_r(&s, &tm);
            sink += unsigned(tm.tm_year) ^ unsigned(tm.tm_sec);
        }
    });
    printf("FileTimeToPacked x %d: zone rules of each date %.3f s, today's offset %.3f s, "
           "localtime_r %.3f s\n  ratios to localtime_r: %.2f and %.2f   (checksum %llu)\n",
           count, zoneRules, todaysOffset, libc, zoneRules / libc, todaysOffset / libc,
           static_cast<unsigned long long>(sink & 0xFF));
}

} // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quilb-walk-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    if (!::mkdtemp(buffer.data())) {
        perror("mkdtemp");
        return 1;
    }
    const std::string home = buffer.data();
    ::setenv("HOME", home.c_str(), 1);
    if (quick) {
        WalkBench(home, {2000, 200}, 1, 1);
        PackBench(100000);
    } else {
        WalkBench(home, {20000, 2000}, 3, 1);
        WalkBench(home, {200000, 20000}, 2, 0);
        PackBench(2000000);
    }
    std::system(("rm -rf '" + home + "'").c_str());
    return 0;
}
