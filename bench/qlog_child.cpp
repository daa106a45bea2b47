// The quilb side of the logged-volume file benchmark.
//   qlog_child save ROOT FILE TIMES DIRECTORIES FILES BYTES
//     logs ROOT as T: in full (as log_tree_child does), saves everything
//     logged to the QLOG file FILE and writes "LOG_SECONDS SAVE_SECONDS" to
//     the file TIMES.
//   qlog_child load FILE DIRECTORIES FILES BYTES
//     loads FILE instead of logging.
// Either exits 0 when the tree in memory (logged, or loaded) holds
// DIRECTORIES directories below its root, every one logged, with FILES
// files of BYTES bytes in all; otherwise 1 with a message on stderr. The
// tree is not freed: the windows would go on using it.
#include "bench_child.h"
#include "main/drive_list.h"
#include "platform/read_ahead.h"
#include "qposix_path.h"
#include "settings/qlog.h"
#include "settings/settings.h"
#include "tree/log_state.h"
#include "tree/logging.h"
#include "tree/tree_records.h"
#include "ui/ui_test_hook.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool Check(const char* what, unsigned long long got, unsigned long long want) {
    if (got == want) return true;
    std::cerr << what << ": " << got << ", the tree has " << want << "\n";
    return false;
}

// The disk T: in memory against the counts of the generated tree.
bool CheckDisk(const char* how, unsigned long long dirs, unsigned long long files,
               unsigned long long bytes) {
    const DiskInfo* disk = FindVolume('T');
    if (!disk || !disk->psiRoot) {
        std::cerr << how << ": T: is not logged\n";
        return false;
    }
    unsigned long long below = 0, inDirs = 0, notLogged = 0;
    for (const SubdirInfo* d = disk->psiRoot; d; d = d->psiChild ? d->psiChild : d->psiNext) {
        if (d != disk->psiRoot) below++;
        inDirs += d->dwFiles;
        if (d->bLogged != 1) notLogged++;
    }
    return Check("directories in the tree", below, dirs) &
           Check("files in the directories", inDirs, files) &
           Check("files counted by the disk", disk->dwFiles, files) &
           Check("bytes counted by the disk", disk->qwFileBytes, bytes) &
           Check("directories not logged", notLogged, 0);
}

std::u16string WinPath(const char* posix) {
    WCHAR out[MAX_PATH * 4];
    return PathFromPosix(posix, out, MAX_PATH * 4) < 0 ? u"" : std::u16string(out);
}

int Usage(const char* self) {
    std::cerr << "usage: " << self << " save ROOT FILE TIMES DIRECTORIES FILES BYTES\n"
              << "       " << self << " load FILE DIRECTORIES FILES BYTES\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const bool save = argc == 8 && std::strcmp(argv[1], "save") == 0;
    const bool load = argc == 6 && std::strcmp(argv[1], "load") == 0;
    if (!save && !load) return Usage(argv[0]);
    const int counts = save ? 5 : 3;
    const unsigned long long wantDirs = std::strtoull(argv[counts], nullptr, 10);
    const unsigned long long wantFiles = std::strtoull(argv[counts + 1], nullptr, 10);
    const unsigned long long wantBytes = std::strtoull(argv[counts + 2], nullptr, 10);

    // T: is the tree (a load needs no tree; its drives file names one all
    // the same), and the root of the file system holds the QLOG file.
    const std::string home = benchchild::MakeDriveHome("quilb-qlog-child", save ? argv[2] : "/");
    if (home.empty()) return 2;
    std::ofstream(home + "/.config/quilb/drives", std::ios::app) << "c: /\n";
    // Any message is answered at once instead of waiting for a key.
    UiScriptAnswers({});

    gIniWorking.logMethod = LOG_FULL_DISK;
    gLogMode = LOG_FULL_DISK;
    gLogDepthLimit = LOG_NO_DEPTH_LIMIT;
    gPrefetchEnabled = 1;
    BuildDriveList(0);
    bool ok = true;
    if (save) {
        const auto start = Clock::now();
        const int logged = LogDrive('T', FALSE, FALSE, TRUE);
        const double logSeconds = Since(start);
        ok = logged == LOGDRIVE_OK && CheckDisk("the log", wantDirs, wantFiles, wantBytes);
        if (ok) {
            const auto saving = Clock::now();
            QlogPaneSwitches switches{};
            const DWORD error = SaveQlogFile(WinPath(argv[3]).c_str(), switches);
            const double saveSeconds = Since(saving);
            if (error) std::cerr << "SaveQlogFile: error " << error << "\n";
            ok = error == 0;
            std::ofstream(argv[4]) << logSeconds << ' ' << saveSeconds << '\n';
        }
    } else {
        QlogPaneSwitches switches{};
        const int loaded = QlogLoad(&switches, WinPath(argv[2]).c_str(), 1);
        if (!loaded) std::cerr << "QlogLoad refused " << argv[2] << "\n";
        ok = loaded && CheckDisk("the load", wantDirs, wantFiles, wantBytes);
    }
    UiScriptEnd();
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    std::cerr.flush();
    ::_exit(ok ? 0 : 1);
}
