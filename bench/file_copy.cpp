// File copies through qioCopyWithProgress: many small files and one large
// file, by the layer's whole-file copy and by the own loop, onto the same
// file system and onto the shared-memory file system, against `cp -p` in
// the same run; and the cost per file of a target file system that refuses
// modes and times (every chmod and utimens answered EPERM), with the retry
// of any failure (ten tries 50 ms apart) that copies used to make replayed
// beside the present one, which retries only sharing and lock violations.
// Prints times and ratios.
//   file_copy_bench [--quick]
#include "bench_timing.h"
#include "internal/sys.h"
#include "main/startup_options.h"
#include "platform/file_utils.h"
#include "platform/packed_dates.h"
#include "remote/remote_drives.h"
#include "tree_fixture.h"
#include "ui/ui_test_hook.h"
#include "windows.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

using qbench::Best;
using qbench::Clock;
using qbench::RunTool;
using qbench::Seconds;

std::u16string Wide(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

std::string Quote(const std::string& path) {
    return "'" + path + "'";
}

void Remove(const std::string& path) {
    if (std::system(("rm -rf " + Quote(path)).c_str()) != 0) {
    }
}

ULONGLONG FreeBytes(const std::string& path) {
    struct statvfs vfs {};
    if (::statvfs(path.c_str(), &vfs) != 0) return 0;
    return ULONGLONG(vfs.f_bavail) * vfs.f_frsize;
}

void MakeSmallFiles(const std::string& directory, int count) {
    ::mkdir(directory.c_str(), 0755);
    std::string data(4096, 'x');
    for (int i = 0; i < count; i++) {
        const size_t size = 200 + size_t(i * 37) % 3800;
        for (size_t k = 0; k < size; k++)
            data[k] = char('a' + (i + int(k)) % 26);
        std::ofstream(directory + "/f" + std::to_string(i)).write(data.data(), long(size));
    }
}

void MakeLargeFile(const std::string& path, ULONGLONG bytes) {
    std::string block(1 << 20, '\0');
    for (size_t k = 0; k < block.size(); k++)
        block[k] = char(k * 2654435761u >> 24);
    std::ofstream out(path);
    for (ULONGLONG done = 0; done < bytes; done += block.size())
        out.write(block.data(), long(block.size()));
}

// Copies files f0..f<count-1> of drive path from to drive path to; false on
// the first failure.
bool CopyFiles(const std::u16string& from, const std::u16string& to, int count) {
    for (int i = 0; i < count; i++) {
        const std::u16string name = u"\\f" + Wide(std::to_string(i));
        DWORD attributes = 0;
        ULONGLONG time = 0;
        if (qioCopyWithProgress((from + name).c_str(), (to + name).c_str(), 0, TRUE, FALSE, 0,
                                &attributes, &time) != 0)
            return false;
    }
    return true;
}

// The times and attributes of a copy set as copies used to set them: ten
// tries 50 ms apart after any failure, whatever the error.
void FormerRetry(const std::u16string& target, const FILETIME& written) {
    const std::u16string path = u"\\\\?\\" + target;
    for (int attempt = 0; attempt < 10; attempt++) {
        if (attempt) Sleep(50);
        HANDLE file = RdCreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        FILETIME w = written;
        const DWORD error = SetFileTimeClamped(file, nullptr, nullptr, &w);
        RdCloseHandle(file);
        if (!error) break;
    }
    for (int attempt = 0; attempt < 10; attempt++) {
        if (attempt) Sleep(50);
        if (RdSetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL)) break;
    }
}

struct Engine {
    const char* name;
    DWORD system;
};
const Engine kEngines[] = {{"system copy", 1}, {"own loop", 0}};

} // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int files = quick ? 300 : 10000;
    const int runs = quick ? 1 : 3;

    char shmBase[] = "/dev/shm/qbench-copyXXXXXX";
    const char* tmp = std::getenv("TMPDIR");
    std::string baseDir = (tmp && *tmp ? std::string(tmp) : "/tmp") + "/qbench-copyXXXXXX";
    std::vector<char> baseName(baseDir.begin(), baseDir.end());
    baseName.push_back(0);
    if (!::mkdtemp(baseName.data()) || !::mkdtemp(shmBase)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string disk = baseName.data();
    const std::string shm = shmBase;
    ::setenv("HOME", disk.c_str(), 1);
    qtest::WriteFixtureDrives(disk, 'T', disk, 'S', shm);
    GetLogicalDrives();
    UiScriptAnswers({}); // a question nobody expects is answered Esc

    printf("%d small files (200 to 4000 bytes), best of %d\n", files, runs);
    MakeSmallFiles(disk + "/src", files);
    const struct {
        const char* where;
        std::string posix;
        std::u16string drive;
    } targets[] = {{"same file system", disk + "/dst", u"T:\\dst"},
                   {"shared memory", shm + "/dst", u"S:\\dst"}};
    bool ok = true;
    for (const auto& target : targets) {
        const double cp = RunTool("rm -rf " + Quote(target.posix) + " && cp -pr " +
                                      Quote(disk + "/src") + " " + Quote(target.posix),
                                  runs);
        printf("  %-17s cp -p %8.3f s\n", target.where, cp);
        for (const Engine& e : kEngines) {
            gSystemCopy = e.system;
            const double t = Best(runs, [&] {
                Remove(target.posix);
                ::mkdir(target.posix.c_str(), 0755);
                ok = CopyFiles(u"T:\\src", target.drive, files) && ok;
            });
            // The removal before each run is timed too; cp's run has it as well.
            printf("  %-17s %-11s %8.3f s  %5.2f x cp\n", target.where, e.name, t, t / cp);
        }
        Remove(target.posix);
    }

    // One large file: 2 GiB where both file systems have room for it.
    ULONGLONG large = quick ? (64ULL << 20) : (2ULL << 30);
    if (!quick && (FreeBytes(disk) < 3 * large || FreeBytes(shm) < 2 * large)) {
        printf("not enough room for a 2 GiB file: 256 MiB instead\n");
        large = 256ULL << 20;
    }
    MakeLargeFile(disk + "/large", large);
    printf("one file of %llu MiB, best of %d\n", large >> 20, runs);
    for (const auto& target : targets) {
        const std::string to = target.posix + "-large";
        const double cp = RunTool("cp -p " + Quote(disk + "/large") + " " + Quote(to), runs);
        printf("  %-17s cp -p %8.3f s\n", target.where, cp);
        for (const Engine& e : kEngines) {
            gSystemCopy = e.system;
            const std::u16string drive = target.drive + u"-large";
            const double t = Best(runs, [&] {
                DWORD attributes = 0;
                ULONGLONG time = 0;
                ok = qioCopyWithProgress(u"T:\\large", drive.c_str(), 0, TRUE, FALSE, 0,
                                         &attributes, &time) == 0 &&
                     ok;
            });
            printf("  %-17s %-11s %8.3f s  %5.2f x cp\n", target.where, e.name, t, t / cp);
        }
        ::unlink(to.c_str());
    }
    ::unlink((disk + "/large").c_str());

    // A target that refuses modes and times: every chmod and utimens call
    // fails with EPERM, as on a vfat or a network mount that ignores them.
    const int trapFiles = quick ? 40 : files;
    const int formerFiles = quick ? 2 : 10;
    gSystemCopy = 1;
    ::mkdir((disk + "/trap").c_str(), 0755);
    QSysInjectFaultFrom(QSYS_CHMOD, 1, EPERM);
    QSysInjectFaultFrom(QSYS_UTIMENS, 1, EPERM);
    auto start = Clock::now();
    ok = CopyFiles(u"T:\\src", u"T:\\trap", trapFiles) && ok;
    const double now = Seconds(start) / trapFiles;
    FILETIME written{};
    SYSTEMTIME clock{};
    GetSystemTime(&clock);
    SystemTimeToFileTime(&clock, &written);
    start = Clock::now();
    for (int i = 0; i < formerFiles; i++) {
        const std::u16string target = u"T:\\trap\\f" + Wide(std::to_string(i));
        FormerRetry(target, written);
    }
    // The copy itself as now, plus the retries it used to make.
    const double former = now + Seconds(start) / formerFiles;
    QSysClearFaults();
    printf("a file system refusing modes and times (EPERM injected):\n");
    printf("  retry of sharing and lock violations only  %9.6f s per file (%d files)\n", now,
           trapFiles);
    printf("  former retry of any failure (replayed)     %9.6f s per file (%d files), %.0f x\n",
           former, formerFiles, former / now);

    Remove(disk);
    Remove(shm);
    UiScriptEnd();
    if (!ok) {
        fprintf(stderr, "a copy failed\n");
        return 1;
    }
    return 0;
}
