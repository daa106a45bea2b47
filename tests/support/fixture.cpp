// Shared test fixtures: temporary directories, files and environment.
#include "fixture.h"

#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qtest {

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    ::remove(path);
    return 0;
}

void MakeDirs(const std::string& path) {
    for (size_t pos = 1; pos <= path.size(); pos++) {
        if (pos == path.size() || path[pos] == '/') ::mkdir(path.substr(0, pos).c_str(), 0755);
    }
}

} // namespace

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string templ = std::string(base && *base ? base : "/tmp") + "/quilb-test-XXXXXX";
    std::vector<char> buf(templ.begin(), templ.end());
    buf.push_back(0);
    if (!::mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

TempDir::~TempDir() { ::nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }

std::string TempDir::Sub(const std::string& relative) const { return path_ + "/" + relative; }

std::string TempDir::Write(const std::string& relative, const std::string& content) const {
    std::string full = Sub(relative);
    MakeDirs(full.substr(0, full.rfind('/')));
    std::ofstream out(full, std::ios::binary);
    out << content;
    return full;
}

std::string TempDir::MakeDir(const std::string& relative) const {
    std::string full = Sub(relative);
    MakeDirs(full);
    return full;
}

void TempDir::OpenToAll() const { ::chmod(path_.c_str(), 0777); }

int RunUnprivileged(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (::geteuid() == 0) {
            const uid_t nobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setresgid(nobody, nobody, nobody) != 0 ||
                ::setresuid(nobody, nobody, nobody) != 0)
                ::_exit(125);
        }
        ::_exit(body());
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    int code = WEXITSTATUS(status);
    return code == 125 ? -1 : code;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (old) old_ = old;
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (had_)
        ::setenv(name_.c_str(), old_.c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

ScopedZone::ScopedZone(const char* tz) {
    const char* old = std::getenv("TZ");
    had_ = old != nullptr;
    if (old) old_ = old;
    ::setenv("TZ", tz, 1);
    ::tzset();
}

ScopedZone::~ScopedZone() {
    if (had_)
        ::setenv("TZ", old_.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

ShmFile::ShmFile() {
    char name[] = "/dev/shm/qtimeXXXXXX";
    if (!::mkdtemp(name)) throw std::runtime_error("mkdtemp under /dev/shm failed");
    directory_ = name;
    path_ = directory_ + "/f";
    int fd = ::open(path_.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path_);
    ::close(fd);
}

ShmFile::~ShmFile() {
    ::unlink(path_.c_str());
    ::rmdir(directory_.c_str());
}

bool ShmFile::SetTimes(int64_t seconds) const {
    struct timespec ts[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    struct stat st;
    return ::utimensat(AT_FDCWD, path_.c_str(), ts, 0) == 0 && ::stat(path_.c_str(), &st) == 0 &&
           st.st_mtim.tv_sec == seconds;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    const std::string text = ReadFile(path);
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

} // namespace qtest
