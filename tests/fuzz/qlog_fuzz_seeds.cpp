// Writes seed inputs for qlog_fuzz into a directory: the file that saves
// the small tree (two disks, nested directories, long names, tags,
// bookmarks), once as it is and once with its split byte set, and a
// hand-made file of each older letter, so that the fuzzer starts from a
// whole valid file of every layout rather than finding one by chance.
//
// Usage: qlog_fuzz_seeds DIRECTORY
#include <cstdio>
#include <string>

#include "qlog_fuzz_tree.h"
#include "qlog_older_image.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: qlog_fuzz_seeds DIRECTORY\n");
        return 2;
    }
    std::string image = qfuzz::SmallTreeImage();
    bool ok = true;
    auto write = [&](const char* name, const std::string& bytes) {
        const std::string path = std::string(argv[1]) + "/" + name;
        FILE* f = fopen(path.c_str(), "wb");
        if (!f || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) ok = false;
        if (f && fclose(f) != 0) ok = false;
    };
    write("small_tree.qlog", image);
    image[3] = 2; // split screen, second pane current
    write("small_tree_split.qlog", image);
    for (const qlogtest::Older& o : qlogtest::kOlder)
        write((std::string("older_") + o.letter + ".qlog").c_str(), qlogtest::OlderImage(o));
    return ok ? 0 : 1;
}
