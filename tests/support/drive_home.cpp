// The temporary home with its drives file and generated Q: tree.
#include "drive_home.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace qtest {

DriveHome::DriveHome() {
    dir_.MakeDir("home/.config/quilb");
    dir_.MakeDir("home/.local/share");
    dir_.MakeDir("tmp");
    dir_.MakeDir("c");
    dir_.Write("home/.config/quilb/drives", "c: " + DriveC() + "\nq: " + DriveQ() + "\n");
    WriteOnQ("a.txt", "0123456789");
    WriteOnQ("alpha/c.txt", "c\n");
    WriteOnQ("alpha/beta/d.c", "int d;\n");
    dir_.MakeDir("q/empty");
    for (int i = 1; i <= 60; i++) {
        char name[32];
        std::snprintf(name, sizeof name, "gamma/f%02d.log", i);
        WriteOnQ(name, "log\n");
    }
    const int fd = ::open(dir_.Sub("q/big.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::ftruncate(fd, 1234567) != 0) throw std::runtime_error("big.bin");
    ::close(fd);
}

std::string DriveHome::WriteOnQ(const std::string& relative, const std::string& content) const {
    return dir_.Write("q/" + relative, content);
}

std::string DriveHome::CopyProgram(const std::string& program) const {
    const size_t slash = program.rfind('/');
    const std::string copy = dir_.Sub(program.substr(slash == std::string::npos ? 0 : slash + 1));
    std::ifstream in(program, std::ios::binary);
    std::ofstream out(copy, std::ios::binary);
    if (!in || !out) return "";
    out << in.rdbuf();
    out.close();
    if (!out || ::chmod(copy.c_str(), 0755) != 0) return "";
    return copy;
}

std::vector<std::string> DriveHome::Environment() const {
    return {"HOME=" + Home(),
            "XDG_CONFIG_HOME=" + Home() + "/.config",
            "XDG_DATA_HOME=" + Home() + "/.local/share",
            "TMPDIR=" + Temp(),
            "QTEMP",
            "TEMP",
            "TMP"};
}

} // namespace qtest
