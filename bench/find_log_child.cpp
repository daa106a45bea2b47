// The quilb side of the FIND & LOG benchmark: searches one drive for a
// filespec through FindAndLog, as the command does, and checks what it
// found.
//   find_log_child ROOT FILESPEC FILES DIRECTORIES [--report]
// Gives ROOT the letter T in the drives file of a fresh HOME, logs T: root
// only (as the windows have a drive before the command), runs FIND & LOG
// with FILESPEC as the pane's filter, and exits 0 when it found FILES
// matching files in DIRECTORIES directories and logged every one of those;
// otherwise 1 with a message on stderr. --report prints its figures and
// peak resident set on stdout.
#include "main/drive_list.h"
#include "settings/settings.h"
#include "tree/filter.h"
#include "tree/find_log.h"
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

namespace {

std::string StatusLine(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return line;
    return key;
}

bool Check(const char* what, unsigned long long got, unsigned long long want) {
    if (got == want) return true;
    std::cerr << what << ": " << got << ", find says " << want << "\n";
    return false;
}

} // namespace

int main(int argc, char** argv) {
    const bool report = argc == 6 && std::strcmp(argv[5], "--report") == 0;
    if (argc != 5 && !report) {
        std::cerr << "usage: " << argv[0] << " ROOT FILESPEC FILES DIRECTORIES [--report]\n";
        return 2;
    }
    const unsigned long long wantFiles = std::strtoull(argv[3], nullptr, 10);
    const unsigned long long wantDirs = std::strtoull(argv[4], nullptr, 10);

    const char* tmp = std::getenv("TMPDIR");
    std::string home = std::string(tmp && *tmp ? tmp : "/tmp") + "/quilb-findlog-child-XXXXXX";
    if (!::mkdtemp(home.data())) {
        std::cerr << "mkdtemp " << home << ": " << std::strerror(errno) << "\n";
        return 2;
    }
    ::setenv("HOME", home.c_str(), 1);
    std::filesystem::create_directories(home + "/.config/quilb");
    std::ofstream(home + "/.config/quilb/drives") << "t: " << argv[1] << "\n";

    InitFilterSlots();
    const std::string spec = argv[2];
    const std::u16string filter(spec.begin(), spec.end());
    if (CompileFilterText(filter.c_str(), &gFilterSlots[0], nullptr, 0, nullptr) != FILTER_OK) {
        std::cerr << "invalid filespec " << spec << "\n";
        return 2;
    }
    gIniWorking.logMethod = LOG_ROOT_ONLY;
    gLogMode = LOG_ROOT_ONLY;
    gLogDepthLimit = LOG_NO_DEPTH_LIMIT;
    BuildDriveList(0);
    bool ok = LogDrive('T', FALSE, FALSE, TRUE) == LOGDRIVE_OK;
    if (!ok) std::cerr << "LogDrive(T:) failed\n";
    const auto start = std::chrono::steady_clock::now();
    const int found = ok ? FindAndLog() : 0;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const FindLogFigures& f = gFindLogFigures;
    if (report)
        std::cout << "FindAndLog " << seconds << " s: " << f.searched << " searched, " << f.foundFiles
                  << " files found in " << f.foundDirs << " directories, " << f.workers
                  << " workers, done list peak " << f.donePeakBytes << " bytes\n"
                  << StatusLine("VmHWM:") << "\n";
    if (ok) {
        ok = Check("result", unsigned(found), wantFiles ? 1 : 0) &
             Check("matching files", f.foundFiles, wantFiles) &
             Check("directories holding them", f.foundDirs, wantDirs) &
             Check("directories logged", f.logged, wantDirs) & Check("workers", unsigned(f.workers), 4);
    }
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    std::cerr.flush();
    ::_exit(ok ? 0 : 1);
}
