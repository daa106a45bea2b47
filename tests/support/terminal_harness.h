// The terminal test harness: runs a program on a pseudo-terminal of a chosen
// size (or serves a pseudo-terminal to the test process itself), writes
// bytes and scripted answers to it, records every byte it writes, renders
// them with libvterm to read cells, colours, cursor and modes, and reads the
// terminal settings before and after. The test runner's own terminal is
// never touched.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <vterm.h>

namespace qtest {

// ---- a screen rendered by libvterm ------------------------------------------------

struct VtCell {
    std::u32string text; // the characters of the cell; empty for a blank never written
    int width = 1;       // 2 for the left half of a wide character, 0 for its right half
    bool reverse = false;
    bool underline = false;
    VTermColor fg = {};
    VTermColor bg = {};
};

class VtScreen {
  public:
    VtScreen(int rows, int columns);
    ~VtScreen();
    VtScreen(const VtScreen&) = delete;
    VtScreen& operator=(const VtScreen&) = delete;

    void Feed(const std::string& bytes);
    void Feed(const char* bytes, size_t length);
    void Resize(int rows, int columns);
    int Rows() const { return rows_; }
    int Columns() const { return columns_; }

    VtCell Cell(int row, int column) const;
    // The row's text as UTF-8, a wide character once, blanks as spaces.
    std::string RowText(int row) const;
    int CursorRow() const;
    int CursorColumn() const;
    bool CursorVisible() const { return cursorVisible_; }
    bool AltScreen() const { return altScreen_; }
    // Columns a character takes in libvterm (written alone at the origin of
    // a scratch terminal); -1 when libvterm shows another character instead.
    static int Width(uint32_t c);

  private:
    static int OnTermProp(VTermProp prop, VTermValue* value, void* user);
    VTerm* vt_;
    VTermScreen* screen_;
    int rows_;
    int columns_;
    bool cursorVisible_ = true;
    bool altScreen_ = false;
};

// ---- terminal modes set by escape sequences ----------------------------------------

// Follows the private modes, the kitty keyboard stack, modifyOtherKeys, the
// title stack, the cursor shape and the scroll region that a byte stream
// sets, where libvterm keeps no account of them.
class ModeTracker {
  public:
    void Feed(const std::string& bytes);
    // Empty when the terminal is back as it started (main screen, cursor
    // shown in its default shape, auto-wrap on, no mouse, focus or keyboard
    // modes, the title restored); otherwise what is left set.
    std::string Leftovers() const;
    bool Mode(int number) const;
    int KittyDepth() const { return kittyDepth_; }
    int ModifyOtherKeys() const { return modifyOtherKeys_; }

  private:
    void Csi(char marker, const std::vector<int>& params, char intermediate, char final);
    std::map<int, bool> modes_;
    std::map<int, bool> savedModes_;
    int kittyDepth_ = 0;
    int modifyOtherKeys_ = 0;
    int titleDepth_ = 0;
    int cursorShape_ = 0;
    bool scrollRegion_ = false;
    // Parser state across calls.
    int state_ = 0;
    std::string sequence_;
};

// ---- a program on a pseudo-terminal -----------------------------------------------

struct PtyOptions {
    int rows = 24;
    int columns = 80;
    // "NAME=value" entries added to (or replacing in) the test's environment;
    // "NAME" alone removes a variable.
    std::vector<std::string> environment;
    // Runs the program in its own process group, in the foreground of the
    // terminal, under a parent in the same session (as a shell does), so
    // that terminal stop signals really stop it.
    bool jobControl = false;
};

class PtyProcess {
  public:
    explicit PtyProcess(PtyOptions options = PtyOptions());
    ~PtyProcess();
    PtyProcess(const PtyProcess&) = delete;
    PtyProcess& operator=(const PtyProcess&) = delete;

    // Starts argv[0] with its arguments; false when it cannot be started.
    bool Start(const std::vector<std::string>& argv);
    // Whenever trigger appears anew in the program's output, reply is written
    // to it, as a terminal answers a query.
    void Answer(const std::string& trigger, const std::string& reply);
    void Write(const std::string& bytes);
    // New window size; the kernel tells the program with SIGWINCH.
    void Resize(int rows, int columns);
    // Sends a signal to the program itself.
    void Signal(int sig);
    // Waits until needle appears in the output at or after byte offset from;
    // its offset, or std::string::npos on time-out.
    size_t WaitFor(const std::string& needle, int timeoutMs, size_t from = 0);
    std::string Output() const;
    size_t OutputSize() const;
    // Waits for the program to end: its wait status, or -1 on time-out.
    int WaitExit(int timeoutMs);
    // With job control: waits until the program is stopped by a signal.
    bool WaitStopped(int timeoutMs);
    // Closes the terminal's master side: the program loses its terminal.
    void CloseMaster();
    // Stops reading the program's output, as a terminal that hangs does:
    // once the kernel's buffer is full the program's writes block. Resume
    // reads on, from where it stopped.
    void PauseReading();
    void ResumeReading();
    // While reading is paused: waits until the terminal takes no more of the
    // program's output; false on time-out.
    bool WaitOutputBlocked(int timeoutMs) const;
    // The terminal settings when the program started, and now.
    const struct termios& InitialSettings() const { return initial_; }
    bool CurrentSettings(struct termios* settings) const;
    pid_t Pid() const { return pid_; }

  private:
    void ReadLoop();
    bool ReadStatus(int timeoutMs, int* status);
    PtyOptions options_;
    int master_ = -1;
    int wake_[2] = {-1, -1};
    int statusPipe_ = -1; // job control: wait statuses reported by the parent
    pid_t pid_ = -1;      // the program
    pid_t leader_ = -1;   // the process forkpty made
    bool exited_ = false;
    int exitStatus_ = 0;
    struct termios initial_ = {};
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string output_;
    struct Rule {
        std::string trigger;
        std::string reply;
        size_t searched = 0;
    };
    std::vector<Rule> rules_;
    bool readerDone_ = false;
    std::atomic<bool> paused_{false};
    std::thread reader_;
};

// ---- a pseudo-terminal for the test process itself ---------------------------------

// A pseudo-terminal whose slave the code under test opens by name, while a
// thread drains the master side into a VtScreen and a byte log. Answers the
// device attributes request, so that a console starting on it does not wait
// for the query's time limit.
class TestTerminal {
  public:
    TestTerminal(int rows, int columns);
    ~TestTerminal();
    TestTerminal(const TestTerminal&) = delete;
    TestTerminal& operator=(const TestTerminal&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int Master() const { return master_; }
    // Input for the code under test.
    void Write(const std::string& bytes);
    // Sets the window size the slave reports (no signal is sent).
    void SetSize(int rows, int columns);
    // Resizes the rendered screen.
    void ResizeScreen(int rows, int columns);
    std::string Output() const;
    size_t OutputSize() const;
    // Runs check on the screen (under the terminal's lock) until it holds or
    // timeoutMs passes; returns whether it held.
    bool WaitScreen(const std::function<bool(const VtScreen&)>& check, int timeoutMs);
    // Waits until needle appears in the output at or after from.
    size_t WaitFor(const std::string& needle, int timeoutMs, size_t from = 0);
    // Runs f on the screen under the terminal's lock.
    void WithScreen(const std::function<void(const VtScreen&)>& f) const;

  private:
    void ReadLoop();
    int master_ = -1;
    int slave_ = -1;
    int wake_[2] = {-1, -1};
    std::string slavePath_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string output_;
    size_t answered_ = 0;
    VtScreen screen_;
    std::thread reader_;
};

// Starts program with arguments through /bin/sh from directory cwd, as a
// shell started there would; false when it cannot be started.
bool StartIn(PtyProcess& p, const std::string& cwd, const std::string& program,
             const std::vector<std::string>& arguments);

// A program on a new pseudo-terminal of rows x columns with environment,
// run from cwd, answering the terminal attribute query as a VT220 does
// and, with kitty, the keyboard protocol query first (a terminal answers in
// the order asked). Null when it cannot start.
std::unique_ptr<PtyProcess> StartTerminalProgram(int rows, int columns,
                                                 const std::vector<std::string>& environment,
                                                 const std::string& cwd, const std::string& program,
                                                 const std::vector<std::string>& arguments,
                                                 bool kitty = false);

// The beeps in output from offset from: BEL bytes that do not end an
// operating-system command (a title).
size_t Bells(const std::string& output, size_t from);

// Hex of bytes, for messages.
std::string Hex(const std::string& bytes);

// The rows of text that output draws on a screen of rows x columns.
std::vector<std::string> ScreenRowsOf(const std::string& output, int rows, int columns);

// What the program left of its terminal: the modes its output set and did
// not reset (ModeTracker::Leftovers), and whether the terminal settings
// differ from those it started with. Empty when the terminal is as it was.
std::string TerminalLeftovers(const PtyProcess& p);

} // namespace qtest
