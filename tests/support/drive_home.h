// A home of its own for a file manager run as a person runs it: a fresh
// temporary directory with HOME, the XDG folders and TMPDIR inside it, a
// drives file that maps C: to an empty directory and Q: to a generated tree,
// and the program copied in, so that nothing outside the directory is read
// or written.
//
// Q: holds a.txt (10 bytes), big.bin (1,234,567 bytes, sparse),
// alpha/c.txt, alpha/beta/d.c, empty/ and gamma/f01.log .. f60.log.
#pragma once

#include "fixture.h"

#include <string>
#include <vector>

namespace qtest {

class DriveHome {
  public:
    DriveHome();
    DriveHome(const DriveHome&) = delete;
    DriveHome& operator=(const DriveHome&) = delete;

    const std::string& Root() const { return dir_.path(); }
    std::string Home() const { return dir_.Sub("home"); }
    std::string Temp() const { return dir_.Sub("tmp"); }
    // The directories behind C: and Q:.
    std::string DriveC() const { return dir_.Sub("c"); }
    std::string DriveQ() const { return dir_.Sub("q"); }
    // Writes a file below Q: (parents made); its full path.
    std::string WriteOnQ(const std::string& relative, const std::string& content) const;
    // Copies program into the directory (executable); the copy's path, empty
    // when it could not be copied.
    std::string CopyProgram(const std::string& program) const;
    // "NAME=value" entries that point the program at this home.
    std::vector<std::string> Environment() const;

  private:
    TempDir dir_;
};

} // namespace qtest
