// The quilb side of the tree-log benchmark: logs one drive in full through
// LogDrive, as the program does for a disk, and checks what it counted.
//   log_tree_child ROOT on|off DIRECTORIES FILES BYTES [--report]
// Gives ROOT the letter T in the drives file of a fresh HOME, logs T: with
// the full-disk method, no depth limit and read-ahead on or off, and exits 0
// when the logged tree holds DIRECTORIES directories below its root, every
// one logged, with FILES files of BYTES bytes in all; otherwise 1 with a
// message on stderr. The tree is not freed: a log leaves it for the windows.
// --report prints where the log spent its time and memory on stdout: its
// wall time, the read-ahead's hand-overs and waits, and the peak and final
// resident set, for looking into a result by hand.
#include "bench_child.h"
#include "main/drive_list.h"
#include "platform/read_ahead.h"
#include "settings/settings.h"
#include "tree/log_state.h"
#include "tree/logging.h"
#include "tree/tree_records.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Counted {
    unsigned long long directories = 0; // below the root
    unsigned long long files = 0;
    unsigned long long notLogged = 0;
    unsigned long long badLevels = 0;
};

// Walks the tree of disk in pre-order through the child and sibling links.
Counted CountTree(const DiskInfo* disk) {
    Counted c;
    const SubdirInfo* root = disk->psiRoot;
    std::vector<const SubdirInfo*> stack{root};
    while (!stack.empty()) {
        const SubdirInfo* dir = stack.back();
        stack.pop_back();
        if (dir != root) c.directories++;
        c.files += dir->dwFiles;
        if (dir->bLogged != 1) c.notLogged++;
        for (const SubdirInfo* child = dir->psiChild; child && child->psiParent == dir; child = child->psiNext) {
            if (child->wLevel != dir->wLevel + 1) c.badLevels++;
            stack.push_back(child);
        }
    }
    return c;
}

void Report(double seconds) {
    const PrefetchCounters& c = gPrefetchCounters;
    ULONGLONG workerReads = 0;
    for (const auto& reads : c.workerReads) workerReads += reads;
    std::cout << "LogDrive " << seconds << " s\n"
              << "read-ahead: served " << c.served << ", waited for " << c.waited << ", taken from the queue "
              << c.takenFromQueue << ", read directly " << c.readDirectly << ", queued " << c.queued
              << ", read by workers " << workerReads << ", pauses at the cap " << c.capWaits << "\n"
              << benchchild::StatusLine("VmHWM:") << "\n"
              << benchchild::StatusLine("VmRSS:") << " (after the log)\n";
}

bool Check(const char* what, unsigned long long got, unsigned long long want) {
    if (got == want) return true;
    std::cerr << what << ": " << got << ", the tree has " << want << "\n";
    return false;
}

} // namespace

int main(int argc, char** argv) {
    const bool report = argc == 7 && std::strcmp(argv[6], "--report") == 0;
    if ((argc != 6 && !report) || (std::strcmp(argv[2], "on") && std::strcmp(argv[2], "off"))) {
        std::cerr << "usage: " << argv[0] << " ROOT on|off DIRECTORIES FILES BYTES [--report]\n";
        return 2;
    }
    const unsigned long long wantDirs = std::strtoull(argv[3], nullptr, 10);
    const unsigned long long wantFiles = std::strtoull(argv[4], nullptr, 10);
    const unsigned long long wantBytes = std::strtoull(argv[5], nullptr, 10);

    const std::string home = benchchild::MakeDriveHome("quilb-log-child", argv[1]);
    if (home.empty()) return 2;

    gIniWorking.logMethod = LOG_FULL_DISK;
    gLogMode = LOG_FULL_DISK;
    gLogDepthLimit = LOG_NO_DEPTH_LIMIT;
    gPrefetchEnabled = std::strcmp(argv[2], "on") == 0;
    BuildDriveList(0);
    const auto start = std::chrono::steady_clock::now();
    const int result = LogDrive('T', FALSE, FALSE, TRUE);
    if (report) Report(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());

    bool ok = result == LOGDRIVE_OK && pdiCurrent && pdiCurrent->cDrive == 'T';
    if (!ok) std::cerr << "LogDrive(T:) returned " << result << "\n";
    if (ok) {
        const Counted c = CountTree(pdiCurrent);
        ok = Check("directories in the tree", c.directories, wantDirs) &
             Check("directories counted by the disk", pdiCurrent->dwDirEntries, wantDirs + 1) &
             Check("files in the directories", c.files, wantFiles) &
             Check("files counted by the disk", pdiCurrent->dwFiles, wantFiles) &
             Check("bytes counted by the disk", pdiCurrent->qwFileBytes, wantBytes) &
             Check("directories not logged", c.notLogged, 0) &
             Check("directories at a wrong level", c.badLevels, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    std::cerr.flush();
    ::_exit(ok ? 0 : 1);
}
