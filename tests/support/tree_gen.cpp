// Command form of the tree generator, for benchmarks and by hand:
//   quilb_tree_gen DIR [--seed N] [--dirs N] [--files N] [--depth N]
//                  [--max-size N] [--big N] [--plain]
// makes DIR (which must not exist) and writes DIR.manifest.
#include "tree_fixture.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s DIR [--seed N] [--dirs N] [--files N] [--depth N] "
                             "[--max-size N] [--big N] [--plain]\n", argv[0]);
        return 2;
    }
    qtest::TreeSpec spec;
    for (int i = 2; i < argc; i++) {
        const bool value = i + 1 < argc;
        if (!std::strcmp(argv[i], "--plain")) spec.awkward = false;
        else if (!std::strcmp(argv[i], "--seed") && value) spec.seed = unsigned(std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--dirs") && value) spec.directories = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--files") && value) spec.files = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--depth") && value) spec.maxDepth = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--max-size") && value) spec.maxFileSize = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--big") && value) spec.bigDirectory = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (::mkdir(argv[1], 0755) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    try {
        const qtest::Manifest m = qtest::GenerateTree(argv[1], spec);
        std::printf("%zu entries in %s\n", m.entries.size(), argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
