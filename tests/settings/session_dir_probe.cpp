// A small program for the session directory tests: sets up its session
// directory, writes a marker file into it, prints the directory's POSIX path
// on one line, waits until its standard input ends, cleans up and exits.
#include "settings/session_dir.h"
#include "qposix_path.h"
#include "windows.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

int main() {
    SetupSessionTemp();
    if (!gSessionTempDir[0] || !gPidHandle) return 3;
    const char* posix = PathToPosix(gSessionTempDir);
    std::string marker = std::string(posix) + "/marker";
    const int fd = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, "mine", 4) != 4) return 4;
    ::close(fd);
    const std::string line = std::string(posix) + "\n";
    if (::write(1, line.data(), line.size()) != ssize_t(line.size())) return 5;
    char byte;
    while (::read(0, &byte, 1) > 0) {
    }
    CleanupSessionTemp();
    return 0;
}
