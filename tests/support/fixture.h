// Small fixtures shared by the test suites: a fresh temporary directory that
// is removed afterwards, files written into it, and environment variables
// set for one test and restored after it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <string>
#include <vector>

namespace qtest {

// A fresh directory under TMPDIR (or /tmp), removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // path() + "/" + relative
    std::string Sub(const std::string& relative) const;
    // Writes a file (creating parent directories); returns its full path.
    std::string Write(const std::string& relative, const std::string& content) const;
    // Creates a directory and its parents; returns its full path.
    std::string MakeDir(const std::string& relative) const;
    // Lets every user into the directory (for tests that drop privileges).
    void OpenToAll() const;

  private:
    std::string path_;
};

// An empty file on the shared-memory file system, removed with its
// directory afterwards: tmpfs keeps any 64-bit time, where ext4 would cut it.
class ShmFile {
  public:
    ShmFile();
    ~ShmFile();
    ShmFile(const ShmFile&) = delete;
    ShmFile& operator=(const ShmFile&) = delete;
    const std::string& path() const { return path_; }
    // Sets its access and modification times to seconds after 1970, and
    // checks that the file system kept them; false otherwise.
    bool SetTimes(int64_t seconds) const;

  private:
    std::string directory_;
    std::string path_;
};

// Sets (or with a null value, unsets) an environment variable until the end
// of the scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    std::string old_;
    bool had_;
};

// Sets the process's time zone (TZ) until the end of the scope; libc reads
// the zone again on both changes.
class ScopedZone {
  public:
    explicit ScopedZone(const char* tz);
    ~ScopedZone();
    ScopedZone(const ScopedZone&) = delete;
    ScopedZone& operator=(const ScopedZone&) = delete;

  private:
    std::string old_;
    bool had_;
};

// Runs body in a child process as the unprivileged user nobody (uid and gid
// 65534, no supplementary groups) when this process is root, else as the
// current user, so that permission checks really apply. Returns body's
// result, or -1 when the child could not drop its privileges or died.
int RunUnprivileged(const std::function<int()>& body);

// Polls done every 10 ms until it holds or a generous limit passes; whether
// it held. For conditions another process or thread brings about.
template <class Done> bool WaitUntil(Done done, int seconds = 20) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// The whole lines of a file (a last line without its line feed is not yet
// whole, and left out): what a probe program has reported so far.
std::vector<std::string> ReadLines(const std::string& path);

} // namespace qtest
