// Walks a drive letter through qioReadDirEx and prints every directory and
// file, then the totals and the read-ahead counters:
//   qio_walk LETTER[:\dir] [--read-ahead] [--quiet] [--delay MS]
#include "qio_walk.h"
#include "platform/read_ahead.h"
#include "qposix_path.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Utf8(const std::u16string& s) {
    std::string out(s.size() * 3 + 1, '\0');
    const SSIZE_T n = Utf16ToUtf8(s.c_str(), SSIZE_T(s.size()), out.data(), out.size());
    out.resize(n < 0 ? 0 : size_t(n));
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s LETTER[:\\dir] [--read-ahead] [--quiet] [--delay MS]\n", argv[0]);
        return 2;
    }
    bool readAhead = false, quiet = false;
    for (int i = 2; i < argc; i++) {
        if (!std::strcmp(argv[i], "--read-ahead"))
            readAhead = true;
        else if (!std::strcmp(argv[i], "--quiet"))
            quiet = true;
        else if (!std::strcmp(argv[i], "--delay") && i + 1 < argc)
            QioSetReadDelayForTest(DWORD(std::atoi(argv[++i])));
        else {
            fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    std::u16string root;
    for (const char* p = argv[1]; *p; p++) root += char16_t(static_cast<unsigned char>(*p));
    if (root.size() == 1) root += u":\\";
    PrefetchCountersReset();
    const QioWalkTotals t = QioWalkTree(root, readAhead, [&](const std::u16string& dir, const DirFileRec* files) {
        if (quiet) return;
        printf("%s\n", Utf8(dir).c_str());
        for (; files; files = files->next)
            printf("  %12llu %04x %06o %s\n", static_cast<unsigned long long>(files->size),
                        files->attributes, files->mode & 0xFFF, Utf8(files->name).c_str());
    });
    const PrefetchCounters& c = gPrefetchCounters;
    printf("directories %llu  files %llu  bytes %llu  failed %llu\n",
                static_cast<unsigned long long>(t.directories), static_cast<unsigned long long>(t.files),
                static_cast<unsigned long long>(t.bytes), static_cast<unsigned long long>(t.failed));
    printf("read-ahead %s: served %llu  waited %llu  taken from the queue %llu  read directly %llu"
                "  workers",
                readAhead ? "on" : "off", static_cast<unsigned long long>(c.served.load()),
                static_cast<unsigned long long>(c.waited.load()),
                static_cast<unsigned long long>(c.takenFromQueue.load()),
                static_cast<unsigned long long>(c.readDirectly.load()));
    for (const auto& r : c.workerReads) printf(" %llu", static_cast<unsigned long long>(r.load()));
    printf("\n");
    return 0;
}
