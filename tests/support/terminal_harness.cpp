// The terminal test harness: pseudo-terminals for programs and for the test
// process, libvterm screens and a tracker of the modes escape sequences set.
#include "terminal_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace qtest {

namespace {

using Clock = std::chrono::steady_clock;

void AppendUtf8(std::string* out, uint32_t c) {
    if (c < 0x80) {
        out->push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (c >> 18)));
        out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

void SetSize(int fd, int rows, int columns) {
    struct winsize ws = {};
    ws.ws_row = static_cast<unsigned short>(rows);
    ws.ws_col = static_cast<unsigned short>(columns);
    ioctl(fd, TIOCSWINSZ, &ws);
}

int MillisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

// Reads the master side until the wake pipe gets 'x', the terminal is
// closed or reading fails, handing every chunk read to got. While *paused
// is set the master is left unread (as a terminal that stops reading);
// any other byte on the wake pipe makes the loop look at *paused again.
template <typename Got>
void ReadUntilWoken(int master, int wake, Got got, const std::atomic<bool>* paused = nullptr) {
    char buffer[8192];
    for (;;) {
        const bool reading = !paused || !paused->load();
        struct pollfd fds[2] = {{wake, POLLIN, 0}, {master, POLLIN, 0}};
        if (poll(fds, reading ? 2 : 1, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents) {
            char command = 'x';
            if (::read(wake, &command, 1) != 1 || command == 'x') return;
            continue;
        }
        ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        got(buffer, static_cast<size_t>(n));
    }
}

} // namespace

std::vector<std::string> ScreenRowsOf(const std::string& output, int rows, int columns) {
    VtScreen screen(rows, columns);
    screen.Feed(output);
    std::vector<std::string> out;
    for (int row = 0; row < screen.Rows(); row++)
        out.push_back(screen.RowText(row));
    return out;
}

std::string TerminalLeftovers(const PtyProcess& p) {
    ModeTracker modes;
    modes.Feed(p.Output());
    std::string left = modes.Leftovers();
    struct termios now;
    if (!p.CurrentSettings(&now))
        left += " (the terminal settings cannot be read)";
    else if (std::memcmp(&now, &p.InitialSettings(), sizeof now) != 0)
        left += " (the terminal settings differ from those at the start)";
    return left;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : bytes) {
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out.push_back(static_cast<char>(b));
        } else {
            out += "\\x";
            out.push_back(digits[b >> 4]);
            out.push_back(digits[b & 15]);
        }
    }
    return out;
}

// ---- VtScreen ---------------------------------------------------------------------------

VtScreen::VtScreen(int rows, int columns) : rows_(rows), columns_(columns) {
    vt_ = vterm_new(rows, columns);
    vterm_set_utf8(vt_, 1);
    screen_ = vterm_obtain_screen(vt_);
    static VTermScreenCallbacks callbacks = [] {
        VTermScreenCallbacks c = {};
        c.settermprop = OnTermProp;
        return c;
    }();
    vterm_screen_set_callbacks(screen_, &callbacks, this);
    vterm_screen_enable_altscreen(screen_, 1);
    vterm_screen_reset(screen_, 1);
}

VtScreen::~VtScreen() {
    vterm_free(vt_);
}

int VtScreen::OnTermProp(VTermProp prop, VTermValue* value, void* user) {
    auto* self = static_cast<VtScreen*>(user);
    if (prop == VTERM_PROP_CURSORVISIBLE) self->cursorVisible_ = value->boolean != 0;
    if (prop == VTERM_PROP_ALTSCREEN) self->altScreen_ = value->boolean != 0;
    return 1;
}

void VtScreen::Feed(const std::string& bytes) {
    Feed(bytes.data(), bytes.size());
}

void VtScreen::Feed(const char* bytes, size_t length) {
    if (length > 0) vterm_input_write(vt_, bytes, length);
}

void VtScreen::Resize(int rows, int columns) {
    rows_ = rows;
    columns_ = columns;
    vterm_set_size(vt_, rows, columns);
}

VtCell VtScreen::Cell(int row, int column) const {
    VtCell result;
    VTermScreenCell cell;
    VTermPos pos = {row, column};
    if (!vterm_screen_get_cell(screen_, pos, &cell)) return result;
    if (cell.chars[0] == static_cast<uint32_t>(-1)) {
        result.width = 0;
    } else {
        for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && cell.chars[i]; i++)
            result.text.push_back(cell.chars[i]);
        result.width = cell.width;
    }
    result.reverse = cell.attrs.reverse != 0;
    result.underline = cell.attrs.underline != 0;
    result.fg = cell.fg;
    result.bg = cell.bg;
    return result;
}

std::string VtScreen::RowText(int row) const {
    std::string out;
    for (int c = 0; c < columns_; c++) {
        VtCell cell = Cell(row, c);
        if (cell.width == 0) continue;
        if (cell.text.empty()) out.push_back(' ');
        for (char32_t ch : cell.text)
            AppendUtf8(&out, ch);
    }
    return out;
}

int VtScreen::CursorRow() const {
    VTermPos pos;
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
    return pos.row;
}

int VtScreen::CursorColumn() const {
    VTermPos pos;
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
    return pos.col;
}

int VtScreen::Width(uint32_t c) {
    static VTerm* scratch = [] {
        VTerm* vt = vterm_new(1, 8);
        vterm_set_utf8(vt, 1);
        vterm_screen_reset(vterm_obtain_screen(vt), 1);
        return vt;
    }();
    // After another character, so that one libvterm takes for a combining
    // mark shows as one.
    std::string bytes = "\rA";
    AppendUtf8(&bytes, c);
    vterm_input_write(scratch, bytes.data(), bytes.size());
    VTermPos pos;
    vterm_state_get_cursorpos(vterm_obtain_state(scratch), &pos);
    VTermScreenCell first, cell;
    VTermPos origin = {0, 0}, second = {0, 1};
    VTermScreen* screen = vterm_obtain_screen(scratch);
    if (!vterm_screen_get_cell(screen, origin, &first) || first.chars[1] != 0 ||
        !vterm_screen_get_cell(screen, second, &cell) || cell.chars[0] != c || cell.chars[1] != 0)
        return -1;
    return pos.col - 1;
}

// ---- ModeTracker ------------------------------------------------------------------------------

void ModeTracker::Feed(const std::string& bytes) {
    for (char ch : bytes) {
        unsigned char b = static_cast<unsigned char>(ch);
        switch (state_) {
        case 0:
            if (b == 0x1b) state_ = 1;
            break;
        case 1:
            if (b == '[') {
                state_ = 2;
                sequence_.clear();
            } else if (b == ']') {
                state_ = 3;
            } else {
                state_ = b == 0x1b ? 1 : 0;
            }
            break;
        case 2:
            if (b >= 0x40 && b <= 0x7E) {
                char marker = 0;
                size_t i = 0;
                if (!sequence_.empty() && std::strchr("<=>?", sequence_[0]))
                    marker = sequence_[i++];
                std::vector<int> params;
                char intermediate = 0;
                int value = -1;
                bool sub = false;
                for (; i < sequence_.size(); i++) {
                    char p = sequence_[i];
                    if (p >= '0' && p <= '9') {
                        if (!sub) value = (value < 0 ? 0 : value) * 10 + (p - '0');
                    } else if (p == ';') {
                        params.push_back(value);
                        value = -1;
                        sub = false;
                    } else if (p == ':') {
                        sub = true;
                    } else if (p >= 0x20 && p <= 0x2F) {
                        intermediate = p;
                    }
                }
                if (value >= 0 || !params.empty()) params.push_back(value);
                Csi(marker, params, intermediate, static_cast<char>(b));
                state_ = 0;
            } else if (b == 0x1b) {
                state_ = 1;
            } else if (b == 0x18 || b == 0x1a) {
                state_ = 0; // CAN and SUB cancel the sequence, as terminals do
            } else {
                sequence_.push_back(static_cast<char>(b));
            }
            break;
        case 3:
            if (b == 0x07 || b == 0x18 || b == 0x1a) state_ = 0;
            if (b == 0x1b) state_ = 4;
            break;
        case 4:
            state_ = b == 0x1b ? 1 : 0;
            break;
        }
    }
}

void ModeTracker::Csi(char marker, const std::vector<int>& params, char intermediate, char final) {
    int first = params.empty() ? -1 : params[0];
    if (marker == '?') {
        for (int p : params) {
            if (p < 0) continue;
            if (final == 'h' || final == 'l') {
                modes_[p] = final == 'h';
            } else if (final == 's') {
                auto it = modes_.find(p);
                if (it == modes_.end())
                    savedModes_.erase(p);
                else
                    savedModes_[p] = it->second;
            } else if (final == 'r') {
                auto it = savedModes_.find(p);
                if (it == savedModes_.end())
                    modes_.erase(p);
                else
                    modes_[p] = it->second;
            }
        }
    } else if (marker == '>' && final == 'u') {
        kittyDepth_++;
    } else if (marker == '<' && final == 'u') {
        kittyDepth_ -= first > 0 ? first : 1;
        if (kittyDepth_ < 0) kittyDepth_ = 0;
    } else if (marker == '>' && final == 'm' && first == 4) {
        modifyOtherKeys_ = params.size() > 1 && params[1] > 0 ? params[1] : 0;
    } else if (marker == 0 && intermediate == ' ' && final == 'q') {
        cursorShape_ = first < 0 ? 0 : first;
    } else if (marker == 0 && final == 't') {
        if (first == 22) titleDepth_++;
        if (first == 23) titleDepth_--;
    } else if (marker == 0 && intermediate == 0 && final == 'r') {
        // A scroll region; without parameters (or 1 to the end) the whole screen again.
        scrollRegion_ = !(params.empty() || (params.size() == 1 && first <= 1) ||
                          (params.size() >= 2 && first <= 1 && params[1] < 0));
    }
}

bool ModeTracker::Mode(int number) const {
    auto it = modes_.find(number);
    if (it != modes_.end()) return it->second;
    return number == 25 || number == 7; // on by default
}

std::string ModeTracker::Leftovers() const {
    std::string out;
    for (int mode : {47, 1047, 1049, 1000, 1002, 1003, 1006, 1004, 9001, 2026, 1036})
        if (Mode(mode)) out += "?" + std::to_string(mode) + " set; ";
    for (int mode : {25, 7})
        if (!Mode(mode)) out += "?" + std::to_string(mode) + " reset; ";
    if (kittyDepth_ != 0) out += "kitty keyboard flags pushed; ";
    if (modifyOtherKeys_ != 0) out += "modifyOtherKeys " + std::to_string(modifyOtherKeys_) + "; ";
    if (titleDepth_ != 0) out += "title stack " + std::to_string(titleDepth_) + "; ";
    if (cursorShape_ != 0) out += "cursor shape " + std::to_string(cursorShape_) + "; ";
    if (scrollRegion_) out += "scroll region set; ";
    return out;
}

// ---- PtyProcess --------------------------------------------------------------------------------

PtyProcess::PtyProcess(PtyOptions options) : options_(std::move(options)) {}

PtyProcess::~PtyProcess() {
    if (pid_ > 0 && !exited_) {
        ::kill(pid_, SIGKILL);
        ::kill(pid_, SIGCONT);
    }
    if (leader_ > 0) {
        if (leader_ != pid_ || !exited_) ::kill(leader_, SIGKILL);
        int status;
        while (::waitpid(leader_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (wake_[1] >= 0) WriteAll(wake_[1], "x");
    if (reader_.joinable()) reader_.join();
    for (int fd : {master_, wake_[0], wake_[1], statusPipe_})
        if (fd >= 0) ::close(fd);
}

bool PtyProcess::Start(const std::vector<std::string>& argv) {
    // Everything the child needs is made before the fork: after it, only
    // async-signal-safe calls.
    std::vector<std::string> env;
    for (char** e = environ; *e; e++)
        env.emplace_back(*e);
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> overrides = {"TERM=xterm-256color", "COLORTERM", "QUILB_COLORS"};
    overrides.insert(overrides.end(), options_.environment.begin(), options_.environment.end());
    for (const std::string& o : overrides) {
        std::string name = nameOf(o);
        std::vector<std::string> kept;
        for (const std::string& e : env)
            if (nameOf(e) != name) kept.push_back(e);
        env.swap(kept);
        if (o.find('=') != std::string::npos) env.push_back(o);
    }
    std::vector<char*> argvp, envp;
    for (const std::string& a : argv)
        argvp.push_back(const_cast<char*>(a.c_str()));
    argvp.push_back(nullptr);
    for (const std::string& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);

    int sync[2], status[2] = {-1, -1};
    if (pipe2(sync, O_CLOEXEC) != 0) return false;
    if (options_.jobControl && pipe2(status, O_CLOEXEC) != 0) return false;
    if (pipe2(wake_, O_CLOEXEC) != 0) return false;
    struct winsize ws = {};
    ws.ws_row = static_cast<unsigned short>(options_.rows);
    ws.ws_col = static_cast<unsigned short>(options_.columns);
    pid_t pid = forkpty(&master_, nullptr, nullptr, &ws);
    if (pid < 0) return false;
    if (pid == 0) {
        ::close(sync[1]);
        char b;
        while (::read(sync[0], &b, 1) < 0 && errno == EINTR) {
        }
        if (!options_.jobControl) {
            execve(argvp[0], argvp.data(), envp.data());
            _exit(127);
        }
        // A parent in the same session, as a shell: the program's process
        // group is then not orphaned and stop signals stop it.
        for (int sig : {SIGTTOU, SIGTTIN, SIGTSTP, SIGHUP, SIGINT, SIGTERM, SIGQUIT})
            signal(sig, SIG_IGN);
        pid_t program = fork();
        if (program == 0) {
            setpgid(0, 0);
            tcsetpgrp(0, getpid());
            for (int sig : {SIGTTOU, SIGTTIN, SIGTSTP, SIGHUP, SIGINT, SIGTERM, SIGQUIT})
                signal(sig, SIG_DFL);
            execve(argvp[0], argvp.data(), envp.data());
            _exit(127);
        }
        setpgid(program, program);
        if (::write(status[1], &program, sizeof program) < 0) _exit(1);
        for (;;) {
            int st;
            pid_t r = waitpid(program, &st, WUNTRACED | WCONTINUED);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) _exit(1);
            if (::write(status[1], &st, sizeof st) < 0) _exit(1);
            if (WIFEXITED(st) || WIFSIGNALED(st)) _exit(0);
        }
    }
    leader_ = pid;
    ::close(sync[0]);
    std::memset(&initial_, 0, sizeof initial_);
    tcgetattr(master_, &initial_);
    WriteAll(sync[1], "x");
    ::close(sync[1]);
    if (options_.jobControl) {
        ::close(status[1]);
        statusPipe_ = status[0];
        pid_t program = -1;
        struct pollfd fd = {statusPipe_, POLLIN, 0};
        if (poll(&fd, 1, 10000) <= 0 ||
            ::read(statusPipe_, &program, sizeof program) != sizeof program)
            return false;
        pid_ = program;
    } else {
        pid_ = pid;
    }
    reader_ = std::thread([this] { ReadLoop(); });
    return true;
}

void PtyProcess::PauseReading() {
    paused_.store(true);
    WriteAll(wake_[1], "r");
}

void PtyProcess::ResumeReading() {
    paused_.store(false);
    WriteAll(wake_[1], "r");
}

bool PtyProcess::WaitOutputBlocked(int timeoutMs) const {
    // The terminal's side as the program sees it: not writable while the
    // buffers toward the master are full, and also for the moment a writer
    // holds the terminal's write lock; so it must stay so for a while.
    int slave = ::open(ptsname(master_), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) return false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int blockedPolls = 0;
    while (blockedPolls < 40 && std::chrono::steady_clock::now() < deadline) {
        struct pollfd fd = {slave, POLLOUT, 0};
        blockedPolls = poll(&fd, 1, 0) == 0 ? blockedPolls + 1 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::close(slave);
    return blockedPolls >= 40;
}

void PtyProcess::ReadLoop() {
    ReadUntilWoken(
        master_, wake_[0],
        [this](const char* bytes, size_t n) {
            std::lock_guard<std::mutex> lock(mutex_);
            output_.append(bytes, n);
            for (Rule& rule : rules_) {
                size_t at;
                while ((at = output_.find(rule.trigger, rule.searched)) != std::string::npos) {
                    rule.searched = at + rule.trigger.size();
                    WriteAll(master_, rule.reply);
                }
            }
            changed_.notify_all();
        },
        &paused_);
    std::lock_guard<std::mutex> lock(mutex_);
    readerDone_ = true;
    changed_.notify_all();
}

void PtyProcess::Answer(const std::string& trigger, const std::string& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    rules_.push_back(Rule{trigger, reply, 0});
}

void PtyProcess::Write(const std::string& bytes) {
    WriteAll(master_, bytes);
}

void PtyProcess::Resize(int rows, int columns) {
    SetSize(master_, rows, columns);
}

void PtyProcess::Signal(int sig) {
    ::kill(pid_, sig);
}

size_t PtyProcess::WaitFor(const std::string& needle, int timeoutMs, size_t from) {
    std::unique_lock<std::mutex> lock(mutex_);
    size_t at = std::string::npos;
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        at = output_.find(needle, from);
        return at != std::string::npos;
    });
    return at;
}

std::string PtyProcess::Output() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return output_;
}

size_t PtyProcess::OutputSize() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return output_.size();
}

bool PtyProcess::ReadStatus(int timeoutMs, int* status) {
    struct pollfd fd = {statusPipe_, POLLIN, 0};
    if (poll(&fd, 1, timeoutMs) <= 0) return false;
    return ::read(statusPipe_, status, sizeof *status) == sizeof *status;
}

int PtyProcess::WaitExit(int timeoutMs) {
    if (exited_) return exitStatus_;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    bool done = false;
    if (options_.jobControl) {
        while (!done && ReadStatus(MillisecondsLeft(deadline), &status))
            done = WIFEXITED(status) || WIFSIGNALED(status);
    } else {
        while (!done) {
            pid_t r = ::waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                done = true;
                leader_ = -1;
            } else if (Clock::now() >= deadline) {
                break;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
    }
    if (!done) return -1;
    exited_ = true;
    exitStatus_ = status;
    // The terminal's last bytes: the reader ends when the slave side closes
    // (not while it is paused: they wait for ResumeReading).
    std::unique_lock<std::mutex> lock(mutex_);
    if (!paused_.load())
        changed_.wait_for(lock, std::chrono::seconds(5), [this] { return readerDone_; });
    return status;
}

bool PtyProcess::WaitStopped(int timeoutMs) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int status;
    while (ReadStatus(MillisecondsLeft(deadline), &status)) {
        if (WIFSTOPPED(status)) return true;
        if (WIFEXITED(status) || WIFSIGNALED(status)) {
            exited_ = true;
            exitStatus_ = status;
            return false;
        }
    }
    return false;
}

void PtyProcess::CloseMaster() {
    WriteAll(wake_[1], "x");
    if (reader_.joinable()) reader_.join();
    ::close(master_);
    master_ = -1;
}

bool PtyProcess::CurrentSettings(struct termios* settings) const {
    std::memset(settings, 0, sizeof *settings);
    return master_ >= 0 && tcgetattr(master_, settings) == 0;
}

// ---- TestTerminal -------------------------------------------------------------------------------

TestTerminal::TestTerminal(int rows, int columns) : screen_(rows, columns) {
    struct winsize ws = {};
    ws.ws_row = static_cast<unsigned short>(rows);
    ws.ws_col = static_cast<unsigned short>(columns);
    char name[256];
    if (openpty(&master_, &slave_, name, nullptr, &ws) != 0) std::abort();
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    slavePath_ = name;
    if (pipe2(wake_, O_CLOEXEC) != 0) std::abort();
    reader_ = std::thread([this] { ReadLoop(); });
}

TestTerminal::~TestTerminal() {
    WriteAll(wake_[1], "x");
    reader_.join();
    for (int fd : {master_, slave_, wake_[0], wake_[1]})
        ::close(fd);
}

void TestTerminal::ReadLoop() {
    ReadUntilWoken(master_, wake_[0], [this](const char* bytes, size_t n) {
        std::lock_guard<std::mutex> lock(mutex_);
        output_.append(bytes, n);
        screen_.Feed(bytes, n);
        size_t at;
        while ((at = output_.find("\x1b[c", answered_)) != std::string::npos) {
            answered_ = at + 3;
            WriteAll(master_, "\x1b[?62;22c");
        }
        changed_.notify_all();
    });
}

void TestTerminal::Write(const std::string& bytes) {
    WriteAll(master_, bytes);
}

void TestTerminal::SetSize(int rows, int columns) {
    qtest::SetSize(master_, rows, columns);
}

void TestTerminal::ResizeScreen(int rows, int columns) {
    std::lock_guard<std::mutex> lock(mutex_);
    screen_.Resize(rows, columns);
}

std::string TestTerminal::Output() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return output_;
}

size_t TestTerminal::OutputSize() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return output_.size();
}

bool TestTerminal::WaitScreen(const std::function<bool(const VtScreen&)>& check, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return check(screen_); });
}

size_t TestTerminal::WaitFor(const std::string& needle, int timeoutMs, size_t from) {
    std::unique_lock<std::mutex> lock(mutex_);
    size_t at = std::string::npos;
    changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        at = output_.find(needle, from);
        return at != std::string::npos;
    });
    return at;
}

void TestTerminal::WithScreen(const std::function<void(const VtScreen&)>& f) const {
    std::lock_guard<std::mutex> lock(mutex_);
    f(screen_);
}

namespace {

std::string ShellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace

bool StartIn(PtyProcess& p, const std::string& cwd, const std::string& program,
             const std::vector<std::string>& arguments) {
    std::string command = "cd " + ShellQuoted(cwd) + " && exec " + ShellQuoted(program);
    for (const std::string& argument : arguments)
        command += " " + ShellQuoted(argument);
    return p.Start({"/bin/sh", "-c", command});
}

std::unique_ptr<PtyProcess> StartTerminalProgram(int rows, int columns,
                                                 const std::vector<std::string>& environment,
                                                 const std::string& cwd, const std::string& program,
                                                 const std::vector<std::string>& arguments,
                                                 bool kitty) {
    PtyOptions options;
    options.rows = rows;
    options.columns = columns;
    options.environment = environment;
    auto p = std::make_unique<PtyProcess>(options);
    if (kitty) p->Answer("\x1b[?u", "\x1b[?1u");
    p->Answer("\x1b[c", "\x1b[?62;22c");
    if (!StartIn(*p, cwd, program, arguments)) return nullptr;
    return p;
}

size_t Bells(const std::string& output, size_t from) {
    size_t bells = 0;
    bool inCommand = false;
    for (size_t i = from; i < output.size(); i++) {
        if (output[i] == '\x1b' && i + 1 < output.size() && output[i + 1] == ']') inCommand = true;
        if (output[i] == '\a') {
            if (!inCommand) bells++;
            inCommand = false;
        }
        if (inCommand && output[i] == '\x1b' && i + 1 < output.size() && output[i + 1] == '\\')
            inCommand = false;
    }
    return bells;
}

} // namespace qtest
