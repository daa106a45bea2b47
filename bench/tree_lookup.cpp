// Lookups in the in-memory tree: every directory of a generated tree found
// again by its full path (FindDirByPath), and every file of a directory of
// many files found again by its index (FindDirIndex), against `find DIR
// -type d` and `ls -f` over the same tree on disk, which a user would run to
// locate the same things. Prints times and ratios.
//   tree_lookup_bench [--quick]
#include "bench_timing.h"
#include "tree/tree_records.h"
#include "tree_builder.h"
#include "tree_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using qbench::Best;
using qbench::RunTool;

int main(int argc, char** argv) {
    const bool quick = argc > 1 && !std::strcmp(argv[1], "--quick");
    const int runs = quick ? 1 : 5;
    const std::string base = qbench::MakeScratch("quilb-tree-lookup");
    if (base.empty()) return 1;
    const std::string root = base + "/t";
    qtest::TreeSpec spec;
    spec.seed = 11;
    spec.directories = quick ? 300 : 3000;
    spec.files = quick ? 2000 : 20000;
    spec.maxDepth = 8;
    spec.maxFileSize = 16;
    spec.awkward = false;
    spec.bigDirectory = quick ? 5000 : 70000;
    const qtest::Manifest manifest = qtest::GenerateTree(root, spec);

    DiskInfo* disk = nullptr;
    const double built = Best(1, [&] { disk = qtest::BuildTreeFromManifest('T', manifest); });
    if (!qtest::CheckTree().empty()) {
        (std::fprintf)(stderr, "the built tree is not sound\n");
        return 1;
    }
    pdiCurrent = disk;
    std::vector<std::u16string> paths;
    SubdirInfo* big = nullptr;
    for (const SubdirInfo* d = disk->psiRoot; d; d = d->psiChild ? d->psiChild : d->psiNext) {
        paths.emplace_back(d->pszFullName);
        if (!big || d->dwFiles > big->dwFiles) big = const_cast<SubdirInfo*>(d);
    }
    size_t found = 0;
    const double lookups = Best(runs, [&] {
        found = 0;
        for (const auto& p : paths) found += FindDirByPath(p.c_str(), nullptr, TRUE) != nullptr;
    });
    if (found != paths.size()) {
        (std::fprintf)(stderr, "found %zu of %zu directories\n", found, paths.size());
        return 1;
    }
    const double find = RunTool("find '" + root + "' -type d", runs);
    (std::printf)("tree of %zu directories built in memory in %.3f s\n", paths.size(), built);
    (std::printf)("every directory by path: %.4f s; find -type d: %.4f s; ratio %.2f\n", lookups,
                find, lookups / find);

    const DWORD files = big->dwFiles;
    const DWORD step = quick ? 50 : 10;
    DWORD hits = 0;
    const double indices = Best(runs, [&] {
        hits = 0;
        for (DWORD i = 1; i <= files; i += step) hits += FindDirIndex(i, big, FALSE) != 0;
    });
    const double ls = RunTool("ls -f '" + root + "/big'", runs);
    (std::printf)("%u of %u files by index: %.4f s; ls -f of the directory: %.4f s; ratio %.2f\n",
                hits, files, indices, ls, indices / ls);
    qtest::FreeTrees();
    if (!qbench::RemoveScratch(base)) return 1;
    return hits ? 0 : 1;
}
