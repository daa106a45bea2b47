// What the quilb sides of the tree benchmarks share: a fresh HOME whose
// drives file gives the tree the letter T, and lines of the process status.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

namespace benchchild {

// Makes a HOME under $TMPDIR (else /tmp) named after prefix, with the
// drives file "t: root", and points HOME at it. Returns it, or an empty
// text (with a message) when it cannot be made.
inline std::string MakeDriveHome(const char* prefix, const char* root) {
    const char* tmp = std::getenv("TMPDIR");
    std::string home = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
    if (!::mkdtemp(home.data())) {
        std::cerr << "mkdtemp " << home << ": " << std::strerror(errno) << "\n";
        return "";
    }
    ::setenv("HOME", home.c_str(), 1);
    std::filesystem::create_directories(home + "/.config/quilb");
    std::ofstream(home + "/.config/quilb/drives") << "t: " << root << "\n";
    return home;
}

// The line of /proc/self/status that begins with key.
inline std::string StatusLine(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return line;
    return key;
}

} // namespace benchchild
