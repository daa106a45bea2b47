// A virtual X display of its own for a test that runs the real clipboard
// tools (xclip, xsel): no server of an earlier copy can answer on it.
#pragma once

#include "internal/process.h"
#include "internal/spawn.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <string>

namespace qproc {

// A virtual X display for the real xclip and xsel: Xvfb picks a free display
// number and tells it on its standard output.
class VirtualDisplay {
  public:
    VirtualDisplay() {
        if (::access("/usr/bin/Xvfb", X_OK) != 0) return;
        int out[2];
        if (MakePipe(out) != 0) return;
        char xvfb[] = "Xvfb", fd[] = "-displayfd", one[] = "1", nolisten[] = "-nolisten",
             tcp[] = "tcp", screen[] = "-screen", zero[] = "0", size[] = "320x200x24";
        char* argv[] = {xvfb, fd, one, nolisten, tcp, screen, zero, size, nullptr};
        SpawnRequest r;
        r.program = "/usr/bin/Xvfb";
        r.argv = argv;
        r.newSession = true;
        r.nullStdio = true;
        r.stdoutFd = out[1];
        pid_ = SpawnProgram(r);
        ::close(out[1]);
        std::string number;
        struct pollfd p = {out[0], POLLIN, 0};
        while (pid_ > 0 && ::poll(&p, 1, 10000) > 0) {
            char c;
            if (::read(out[0], &c, 1) != 1 || c == '\n') break;
            number += c;
        }
        ::close(out[0]);
        if (!number.empty()) name_ = ":" + number;
    }
    ~VirtualDisplay() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status;
        WaitChild(pid_, &status, 0);
    }
    const std::string& name() const { return name_; }

  private:
    pid_t pid_ = -1;
    std::string name_;
};


} // namespace qproc
