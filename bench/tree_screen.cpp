// The tree window as a person meets it, the real quilb driven on a
// pseudo-terminal of 120 x 40 on a generated tree logged whole (/LF):
//  - bytes written per tree cursor move (Down, Up, PgDn) against the text of
//    the cells that move changed on the screen (goal: at most 1.25 x), with
//    ncdu's bytes per move on the same tree beside them, and the bytes of
//    both sorted into printed characters, colours, cursor placement,
//    window titles and other controls;
//  - the time from start to the first full screen, against ncdu's time to
//    its first screen and a find walk of the tree.
//   tree_screen_bench [--quick] [--runs N]
// The tree is the log benchmark's 200,000-file tree (a small one with
// --quick), made once in the scratch directory and reused. A move is taken
// as done when the program has written something and then nothing more for
// a quiet spell; the screen before and after it is rendered by libvterm.
#include "bench_child.h"
#include "terminal_harness.h"
#include "tree_bench.h"

#include <dirent.h>

#include <memory>
#include <thread>

#ifndef QUILB_PROGRAM
#error QUILB_PROGRAM names the file manager this benchmark drives
#endif

namespace {

using namespace treebench;

constexpr int kRows = 40;
constexpr int kColumns = 120;
// No output for this long after a key's first bytes: the move is drawn.
constexpr auto kQuiet = std::chrono::milliseconds(250);
// Longest wait for the first screen, and for the first bytes of a move.
constexpr auto kStartLimit = std::chrono::seconds(600);
constexpr auto kKeyLimit = std::chrono::seconds(3);

// ---- a program on the terminal and the screen it drew ---------------------------

struct Shown {
    std::u32string text;
    int width;
    bool reverse, underline;
    VTermColor fg, bg;
};
using Snapshot = std::vector<Shown>;

// A program on a 120 x 40 pseudo-terminal with its output rendered as it
// comes.
class Session {
  public:
    Session(const std::vector<std::string>& environment) : screen_(kRows, kColumns) {
        qtest::PtyOptions options;
        options.rows = kRows;
        options.columns = kColumns;
        options.environment = environment;
        p_ = std::make_unique<qtest::PtyProcess>(options);
        // A terminal that answers the device attributes query at once.
        p_->Answer("\x1b[c", "\x1b[?62;22c");
    }
    bool Start(const std::vector<std::string>& argv) { return p_->Start(argv); }
    qtest::PtyProcess& Process() { return *p_; }

    // Renders what came since the last call; the bytes written so far.
    size_t Follow() {
        const std::string out = p_->Output();
        if (out.size() > fed_) {
            screen_.Feed(out.data() + fed_, out.size() - fed_);
            modes_.Feed(out.substr(fed_));
        }
        fed_ = out.size();
        return fed_;
    }
    const qtest::VtScreen& Screen() const { return screen_; }
    // The program asked for the cursor keys' application form (SS3), as a
    // full-screen program on a real terminal often does.
    bool ApplicationCursorKeys() const { return modes_.Mode(1); }
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (int r = 0; r < kRows; r++)
            rows.push_back(screen_.RowText(r));
        return rows;
    }
    Snapshot Take() const {
        Snapshot s;
        s.reserve(size_t(kRows) * kColumns);
        for (int r = 0; r < kRows; r++)
            for (int c = 0; c < kColumns; c++) {
                const qtest::VtCell cell = screen_.Cell(r, c);
                s.push_back(
                    {cell.text, cell.width, cell.reverse, cell.underline, cell.fg, cell.bg});
            }
        return s;
    }

    // Waits until the program writes past byte from and then stays quiet for
    // kQuiet; the bytes written then. Returns from when nothing came within
    // kKeyLimit.
    size_t Settle(size_t from) {
        const auto deadline = Clock::now() + kKeyLimit;
        while (p_->OutputSize() <= from) {
            if (Clock::now() > deadline) return from;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        size_t seen = p_->OutputSize();
        auto since = Clock::now();
        while (Clock::now() - since < kQuiet) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const size_t now = p_->OutputSize();
            if (now != seen) {
                seen = now;
                since = Clock::now();
            }
        }
        return seen;
    }

  private:
    std::unique_ptr<qtest::PtyProcess> p_;
    qtest::VtScreen screen_;
    qtest::ModeTracker modes_;
    size_t fed_ = 0;
};

size_t Utf8Bytes(const std::u32string& text) {
    if (text.empty()) return 1; // a blank never written still has to be sent as one
    size_t bytes = 0;
    for (char32_t c : text)
        bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    return bytes;
}

bool SameColour(const VTermColor& a, const VTermColor& b) {
    VTermColor x = a, y = b;
    return vterm_color_is_equal(&x, &y);
}

// Where the clock's time stands on row 0: the last word of the row when it
// is a time (digits and colons, a colon among them); npos when row 0 shows
// none.
size_t ClockStart(const std::string& row) {
    const size_t end = row.find_last_not_of(' ');
    if (end == std::string::npos) return std::string::npos;
    const size_t space = row.rfind(' ', end);
    const size_t start = space == std::string::npos ? 0 : space + 1;
    const std::string word = row.substr(start, end + 1 - start);
    if (word.find(':') == std::string::npos ||
        word.find_first_not_of("0123456789:") != std::string::npos)
        return std::string::npos;
    return start;
}

// Row 0 of a rendering, one character a cell ('?' for any beyond ASCII).
std::string FirstRow(const Snapshot& screen) {
    std::string row;
    for (int c = 0; c < kColumns; c++) {
        const std::u32string& t = screen[size_t(c)].text;
        row += t.empty() ? ' ' : t[0] < 0x80 ? char(t[0]) : '?';
    }
    return row;
}

// The UTF-8 bytes of the cells that differ, in text or in look, between two
// renderings: the least any terminal output can carry for that change. The
// right half of a wide character is its left half's. *cells counts the
// changed cells, *clockCells those of them in the clock, which ticks on its
// own.
size_t ChangedTextBytes(const Snapshot& before, const Snapshot& after, size_t* cells,
                        size_t* clockCells) {
    size_t bytes = 0;
    *cells = *clockCells = 0;
    const size_t clock = ClockStart(FirstRow(before));
    for (size_t i = 0; i < after.size(); i++) {
        const Shown& a = before[i];
        const Shown& b = after[i];
        if (a.text == b.text && a.width == b.width && a.reverse == b.reverse &&
            a.underline == b.underline && SameColour(a.fg, b.fg) && SameColour(a.bg, b.bg))
            continue;
        ++*cells;
        if (i < size_t(kColumns) && i >= clock) ++*clockCells;
        if (b.width != 0) bytes += Utf8Bytes(b.text);
    }
    return bytes;
}

// ---- cursor moves -------------------------------------------------------------------

struct Key {
    const char* name;
    const char* bytes;       // what the terminal sends for the key
    const char* application; // the same with application cursor keys
    int presses;
};

// Where the bytes of a frame go: printed characters, colours (SGR),
// cursor placement, window titles (OSC) and every other control.
struct ByteKinds {
    size_t printed = 0, colour = 0, cursor = 0, title = 0, other = 0;
};

// Sorts the bytes of terminal output by what they do.
ByteKinds SortBytes(const std::string& out) {
    ByteKinds k;
    size_t i = 0;
    while (i < out.size()) {
        const unsigned char c = static_cast<unsigned char>(out[i]);
        if (c != 0x1b) {
            (c < 0x20 || c == 0x7f ? k.other : k.printed)++;
            i++;
            continue;
        }
        const size_t start = i;
        if (i + 1 < out.size() && out[i + 1] == '[') {
            // CSI: parameters and intermediates, then one final byte.
            i += 2;
            while (i < out.size() && (out[i] < 0x40 || out[i] > 0x7e))
                i++;
            const char final = i < out.size() ? out[i] : 0;
            i = std::min(i + 1, out.size());
            const size_t length = i - start;
            if (final == 'm')
                k.colour += length;
            else if (std::strchr("HfABCDEFGd", final) && final != 0)
                k.cursor += length;
            else
                k.other += length;
        } else if (i + 1 < out.size() && out[i + 1] == ']') {
            // OSC: up to BEL or ESC backslash.
            i += 2;
            while (i < out.size() && out[i] != '\a' &&
                   !(out[i] == 0x1b && i + 1 < out.size() && out[i + 1] == '\\'))
                i++;
            i = std::min(out[i] == '\a' ? i + 1 : i + 2, out.size());
            k.title += i - start;
        } else {
            i = std::min(i + 2, out.size());
            k.other += i - start;
        }
    }
    return k;
}

struct MoveFigures {
    int presses = 0;
    int changed = 0;  // presses that changed the screen
    size_t frame = 0; // bytes written for those presses
    size_t text = 0;  // the changed cells' text
    size_t cells = 0; // changed cells
    size_t idle = 0;  // bytes written for presses that changed nothing
    ByteKinds kinds;  // the frame bytes sorted
};

// Presses each key in turn, one press at a time, each drawn whole before
// the next.
std::vector<MoveFigures> Moves(Session& s, const std::vector<Key>& keys) {
    std::vector<MoveFigures> figures;
    for (const Key& key : keys) {
        MoveFigures f;
        for (int i = 0; i < key.presses; i++) {
            const size_t from = s.Follow();
            const Snapshot before = s.Take();
            s.Process().Write(s.ApplicationCursorKeys() ? key.application : key.bytes);
            const size_t to = s.Settle(from);
            s.Follow();
            size_t cells = 0, clockCells = 0;
            const size_t text = ChangedTextBytes(before, s.Take(), &cells, &clockCells);
            f.presses++;
            // A tick of the clock alone is no move.
            if (cells == clockCells) {
                f.idle += to - from;
                continue;
            }
            f.changed++;
            f.frame += to - from;
            const ByteKinds k = SortBytes(s.Process().Output().substr(from, to - from));
            f.kinds.printed += k.printed;
            f.kinds.colour += k.colour;
            f.kinds.cursor += k.cursor;
            f.kinds.title += k.title;
            f.kinds.other += k.other;
            f.text += text;
            f.cells += cells;
        }
        figures.push_back(f);
    }
    return figures;
}

void PrintMoves(const char* tool, const std::vector<Key>& keys,
                const std::vector<MoveFigures>& figures, double goal) {
    for (size_t k = 0; k < keys.size(); k++) {
        const MoveFigures& f = figures[k];
        std::printf("   %-6s %-5s %7d %7d", tool, keys[k].name, f.presses, f.changed);
        if (f.changed == 0) {
            std::printf("   no press changed the screen (%zu bytes written for them)\n", f.idle);
            continue;
        }
        const double frame = double(f.frame) / f.changed, text = double(f.text) / f.changed;
        const double ratio = frame / text;
        std::printf(" %11.1f %11.1f %9.1f %7.2f", frame, text, double(f.cells) / f.changed, ratio);
        if (goal > 0) std::printf("   goal <= %.2f %s", goal, ratio <= goal ? "met" : "not met");
        std::printf("\n");
    }
}

// Where the bytes per move went.
void PrintKinds(const char* tool, const std::vector<Key>& keys,
                const std::vector<MoveFigures>& figures) {
    for (size_t k = 0; k < keys.size(); k++) {
        const MoveFigures& f = figures[k];
        if (f.changed == 0) continue;
        const double n = f.changed;
        std::printf("   %-6s %-5s %9.1f %9.1f %9.1f %9.1f %9.1f\n", tool, keys[k].name,
                    f.kinds.printed / n, f.kinds.colour / n, f.kinds.cursor / n, f.kinds.title / n,
                    f.kinds.other / n);
    }
}

// ---- the programs ---------------------------------------------------------------------

// A home of the file manager's own (drives file "t: root", configuration,
// data and temporary folders inside it) with the program copied in, so that
// a run reads and writes nothing outside it.
struct QuilbHome {
    std::string dir;
    std::string program;
    std::vector<std::string> environment;
};

bool MakeQuilbHome(const std::string& root, QuilbHome* home) {
    const char* savedHome = std::getenv("HOME");
    const std::string saved = savedHome ? savedHome : "";
    home->dir = benchchild::MakeDriveHome("quilb-tree-screen", root.c_str());
    if (savedHome) ::setenv("HOME", saved.c_str(), 1);
    if (home->dir.empty()) return false;
    std::filesystem::create_directories(home->dir + "/.local/share");
    std::filesystem::create_directories(home->dir + "/tmp");
    home->program = home->dir + "/quilb";
    std::error_code error;
    std::filesystem::copy_file(QUILB_PROGRAM, home->program, error);
    if (error) {
        std::fprintf(stderr, "cannot copy %s: %s\n", QUILB_PROGRAM, error.message().c_str());
        return false;
    }
    home->environment = {"HOME=" + home->dir,
                         "XDG_CONFIG_HOME=" + home->dir + "/.config",
                         "XDG_DATA_HOME=" + home->dir + "/.local/share",
                         "TMPDIR=" + home->dir + "/tmp",
                         "QTEMP",
                         "TEMP",
                         "TMP"};
    return true;
}

// The root's subdirectories.
std::vector<std::string> Subdirectories(const std::string& root) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(root.c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..") continue;
            struct stat st;
            if (::stat((root + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                names.push_back(name);
        }
        ::closedir(d);
    }
    return names;
}

// The file manager's first full screen: the logged root on the path line
// (row 0; its last two names, as a long path is shortened from the left
// to fit) and a subdirectory of the root drawn as a branch of the tree
// below it; whatever else belongs to that screen is drawn with it, and
// TimeToScreen waits for the drawing to end.
bool QuilbTreeShown(const std::vector<std::string>& rows, const std::string& root,
                    const std::vector<std::string>& children) {
    const size_t parent = root.rfind('/', root.rfind('/') - 1);
    const std::string tail = parent == std::string::npos ? root : root.substr(parent);
    if (rows[0].find(tail) == std::string::npos) return false;
    for (int r = 2; r < kRows - 3; r++)
        for (const std::string& child : children)
            if (rows[size_t(r)].find("\u2500\u2500" + child) != std::string::npos) return true;
    return false;
}

// ncdu's first screen: its browser's foot line, after the scan.
bool NcduBrowserShown(const std::vector<std::string>& rows) {
    return rows[kRows - 1].find("Total disk usage:") != std::string::npos;
}

// The screen without the clock's time on row 0, which ticks on its own.
std::vector<std::string> WithoutClock(std::vector<std::string> rows) {
    const size_t clock = ClockStart(rows[0]);
    if (clock != std::string::npos) rows[0].resize(clock);
    return rows;
}

// Starts a program and waits for its first full screen: once shown(rows)
// holds, until nothing but the clock changes for the quiet spell. The
// seconds from the start to the last change of that screen, or a negative
// value when it did not come (with the screen printed).
template <class Ready>
double TimeToScreen(Session& s, const std::vector<std::string>& argv, Ready shown) {
    const auto start = Clock::now();
    if (!s.Start(argv)) return -1;
    bool seen = false;
    std::vector<std::string> last;
    auto lastChange = start;
    while (Clock::now() - start < kStartLimit) {
        s.Follow();
        const auto now = Clock::now();
        std::vector<std::string> rows = s.Rows();
        seen = seen || shown(rows);
        rows = WithoutClock(std::move(rows));
        if (rows != last) {
            last = std::move(rows);
            lastChange = now;
        } else if (seen && now - lastChange >= 2 * kQuiet) {
            return std::chrono::duration<double>(lastChange - start).count();
        }
        if (s.Process().WaitExit(0) != -1) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::fprintf(stderr, "no full screen from %s; it shows:\n", argv[0].c_str());
    for (const std::string& row : s.Rows())
        std::fprintf(stderr, "   |%s|\n", row.c_str());
    return -1;
}

void PrintTime(const char* what, double best, int runs) {
    if (best < 0)
        std::printf("   %-34s did not come\n", what);
    else
        std::printf("   %-34s %9.3f s   (best of %d)\n", what, best, runs);
}

void PrintRatio(const char* what, double a, double b) {
    if (a < 0 || b <= 0)
        std::printf("     %-32s cannot be judged\n", what);
    else
        std::printf("     %-32s %7.3f\n", what, a / b);
}

} // namespace

int main(int argc, char** argv) {
    bool quick = false;
    int runs = 0;
    if (!ParseQuickRuns(argc, argv, &quick, &runs)) return 2;
    if (runs <= 0) runs = quick ? 1 : 3;
    // The log benchmark's trees: the same shape and seed reuse its scratch.
    const TreeShape shape = quick ? TreeShape{"quick", 2000, 200, {500}, 24}
                                  : TreeShape{"200k", 200000, 20000, {50000}, 24};
    std::string root;
    int lock = -1;
    const TreeFacts facts = EnsureTree(shape, &root, &lock);
    std::printf("== tree %s: %llu files in %llu directories at %s, terminal %d x %d\n", shape.label,
                static_cast<unsigned long long>(facts.files),
                static_cast<unsigned long long>(facts.directories), root.c_str(), kColumns, kRows);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    std::printf(
        "   (a sanitizer build: quilb's times here say nothing of its speed; its bytes hold)\n");
#endif
    QuilbHome home;
    if (!MakeQuilbHome(root, &home)) return 2;
    const std::vector<std::string> children = Subdirectories(root);
    const std::string ncdu = FindProgram("ncdu");
    const std::string find = FindProgram("find");
    bool ok = true;

    // One untimed walk, so that every program meets a warm cache.
    double wall, cpu;
    long rss;
    if (!find.empty())
        RunOnce(find, {root, "-printf", ""}, home.dir + "/find.err", &wall, &cpu, &rss);

    const int presses = quick ? 3 : 20;
    const std::vector<Key> keys = {{"Down", "\x1b[B", "\x1bOB", presses},
                                   {"Up", "\x1b[A", "\x1bOA", presses},
                                   {"PgDn", "\x1b[6~", "\x1b[6~", quick ? 2 : 5}};
    std::vector<MoveFigures> quilbMoves, ncduMoves;
    double quilbBest = -1, ncduBest = -1, findBest = -1;
    for (int run = 0; run < runs; run++) {
        {
            Session s(home.environment);
            const double t = TimeToScreen(s, {home.program, "/LF", "T:"},
                                          [&](const std::vector<std::string>& rows) {
                                              return QuilbTreeShown(rows, root, children);
                                          });
            if (t < 0)
                ok = false;
            else if (quilbBest < 0 || t < quilbBest)
                quilbBest = t;
            // The moves once, on the screen of the first run; the program
            // quits through its question.
            if (t >= 0 && run == 0) {
                // What the program draws late on its own (the clock's first
                // tick) is no part of the first move.
                s.Settle(s.Follow());
                quilbMoves = Moves(s, keys);
            }
            s.Process().Write("q");
            s.Process().Write("y");
            s.Process().WaitExit(20000);
        }
        if (!ncdu.empty()) {
            Session s(home.environment);
            const double t = TimeToScreen(s, {ncdu, root}, NcduBrowserShown);
            if (t >= 0 && (ncduBest < 0 || t < ncduBest)) ncduBest = t;
            if (t >= 0 && run == 0) {
                // What the program draws late on its own (the clock's first
                // tick) is no part of the first move.
                s.Settle(s.Follow());
                ncduMoves = Moves(s, keys);
            }
            s.Process().Write("q");
            s.Process().WaitExit(20000);
        }
        if (!find.empty()) {
            const int status = RunOnce(find, {root}, home.dir + "/find.err", &wall, &cpu, &rss);
            if (status == 0 && (findBest < 0 || wall < findBest)) findBest = wall;
        }
    }

    std::printf(
        "\n   bytes per cursor move at %d x %d (moves that changed the screen; text: the UTF-8 of "
        "the cells changed)\n",
        kColumns, kRows);
    std::printf("   %-6s %-5s %7s %7s %11s %11s %9s %7s\n", "tool", "key", "presses", "changed",
                "bytes/move", "text/move", "cells", "ratio");
    if (!quilbMoves.empty())
        PrintMoves("quilb", keys, quilbMoves, 1.25);
    else
        std::printf("   quilb  did not reach its first screen\n");
    if (!ncduMoves.empty())
        PrintMoves("ncdu", keys, ncduMoves, 0);
    else
        std::printf("   ncdu   %s\n", ncdu.empty()
                                          ? "missing: not installed (scripts/install-deps adds it)"
                                          : "did not reach its first screen");
    std::printf("\n   the bytes per move by kind\n   %-6s %-5s %9s %9s %9s %9s %9s\n", "tool",
                "key", "printed", "colour", "cursor", "title", "other");
    if (!quilbMoves.empty()) PrintKinds("quilb", keys, quilbMoves);
    if (!ncduMoves.empty()) PrintKinds("ncdu", keys, ncduMoves);
    std::printf("\n");
    for (size_t k = 0; k < keys.size() && !quilbMoves.empty() && !ncduMoves.empty(); k++) {
        const MoveFigures& q = quilbMoves[k];
        const MoveFigures& n = ncduMoves[k];
        if (q.changed > 0 && n.changed > 0)
            std::printf("     quilb / ncdu bytes per %-6s %7.3f\n", keys[k].name,
                        (double(q.frame) / q.changed) / (double(n.frame) / n.changed));
    }

    std::printf("\n   time to the first full screen\n");
    PrintTime("quilb /LF T:", quilbBest, runs);
    if (ncdu.empty())
        std::printf("   %-34s missing: not installed (scripts/install-deps adds it)\n", "ncdu");
    else
        PrintTime("ncdu (scan, then its browser)", ncduBest, runs);
    if (find.empty())
        std::printf("   %-34s missing\n", "find");
    else
        PrintTime("find walk", findBest, runs);
    PrintRatio("quilb / ncdu", quilbBest, ncduBest);
    PrintRatio("quilb / find", quilbBest, findBest);

    RemoveAll(home.dir);
    ::close(lock);
    // A program that never drew its screen is a fault, not a slow result.
    return ok ? 0 : 1;
}
