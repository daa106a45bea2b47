// The clipboard: what the program copies goes at close to the desktop's
// clipboard tool (wl-copy, xclip or xsel) and to the terminal's clipboard
// sequence; pasting reads the tool's clipboard and falls back to the
// program's own last copy. One mutex guards the state and is held while a
// tool runs.
#include "clipboardapi.h"
#include "errhandlingapi.h"
#include "internal/console_child.h"
#include "internal/posix_util.h"
#include "internal/process.h"
#include "internal/spawn.h"
#include "qposix_path.h"
#include "qposix_process.h"
#include "qwcrt.h"
#include "winerror.h"
#include "winmem.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr unsigned kDefaultTimeLimitMs = 3000;
constexpr size_t kLongestListedName = 1039;
std::atomic<unsigned> gTimeLimitMs{kDefaultTimeLimitMs};

struct ClipboardState {
    std::mutex lock;
    bool open = false;
    bool dirty = false;
    HGLOBAL text = nullptr;     // CF_UNICODETEXT
    HGLOBAL files = nullptr;    // CF_HDROP
    HGLOBAL returned = nullptr; // the block GetClipboardData handed out last
    bool cacheValid = false;    // the system clipboard was read since opening
    bool cacheHasText = false;
    std::u16string cache;
    bool haveOwn = false; // the program's own last copy
    std::u16string own;
};

ClipboardState& State() {
    static ClipboardState* state = new ClipboardState();
    return *state;
}

void FreeBlock(HGLOBAL* block) {
    if (*block) GlobalFree(*block);
    *block = nullptr;
}

void ForgetCache(ClipboardState& s) {
    s.cacheValid = false;
    s.cacheHasText = false;
    s.cache.clear();
}

// The first tool whose condition holds: WAYLAND_DISPLAY with wl-copy, else
// DISPLAY with xclip, else DISPLAY with xsel.
enum class ToolKind { None, Wayland, Xclip, Xsel };

ToolKind PickTool() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* display = std::getenv("DISPLAY");
    if (wayland && *wayland && ProgramOnPath("wl-copy")) return ToolKind::Wayland;
    if (display && *display && ProgramOnPath("xclip")) return ToolKind::Xclip;
    if (display && *display && ProgramOnPath("xsel")) return ToolKind::Xsel;
    return ToolKind::None;
}

enum class ToolUse { Write, WriteList, Read };

// The argument vector of a tool for one use; empty when the tool does not
// offer it.
std::vector<const char*> ToolArguments(ToolKind kind, ToolUse use) {
    switch (kind) {
    case ToolKind::Wayland:
        if (use == ToolUse::Write) return {"wl-copy"};
        if (use == ToolUse::WriteList) return {"wl-copy", "--type", "text/uri-list"};
        return {"wl-paste", "--no-newline"};
    case ToolKind::Xclip:
        if (use == ToolUse::Write) return {"xclip", "-selection", "clipboard"};
        if (use == ToolUse::WriteList)
            return {"xclip", "-selection", "clipboard", "-t", "text/uri-list"};
        return {"xclip", "-selection", "clipboard", "-o"};
    case ToolKind::Xsel:
        if (use == ToolUse::Write) return {"xsel", "--clipboard", "--input"};
        if (use == ToolUse::WriteList) return {};
        return {"xsel", "--clipboard", "--output"};
    case ToolKind::None:
        break;
    }
    return {};
}

// Runs a tool; its exit status, or -1 when there is none or it failed.
int RunTool(ToolKind kind, ToolUse use, const std::string& input, std::string* output) {
    std::vector<const char*> args = ToolArguments(kind, use);
    if (args.empty()) return -1;
    std::vector<char*> argv;
    for (const char* a : args)
        argv.push_back(const_cast<char*>(a));
    argv.push_back(nullptr);
    return RunHelperPiped(argv[0], argv.data(), input.data(), input.size(), output,
                          gTimeLimitMs.load());
}

// The UTF-16 text of a block, up to its terminator or its end.
std::u16string BlockText(HGLOBAL block) {
    size_t units = GlobalSize(block) / sizeof(WCHAR);
    const auto* p = static_cast<const unsigned char*>(GlobalLock(block));
    std::u16string text;
    for (size_t i = 0; i < units; i++) {
        WCHAR c;
        std::memcpy(&c, p + i * sizeof(WCHAR), sizeof c);
        if (c == 0) break;
        text += c;
    }
    return text;
}

std::string ToUtf8(const std::u16string& text) {
    return Utf8String(text.c_str(), text.size());
}

std::u16string FromUtf8(const std::string& bytes) {
    std::vector<WCHAR> units(bytes.size() + 1);
    SSIZE_T n = Utf8ToUtf16(bytes.data(), static_cast<SSIZE_T>(bytes.size()), units.data(),
                            units.size(), false);
    return std::u16string(units.data(), n < 0 ? 0 : static_cast<size_t>(n));
}

std::string WithoutCr(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); i++)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

// The POSIX paths of a CF_HDROP block; false when it holds no valid list.
// Every read stays inside the block, whatever its header claims.
bool ListedPaths(HGLOBAL block, std::vector<std::string>* paths) {
    if (!block) return false;
    size_t size = GlobalSize(block);
    const auto* p = static_cast<const unsigned char*>(GlobalLock(block));
    DROPFILES header;
    if (size < sizeof header) return false;
    std::memcpy(&header, p, sizeof header);
    if (header.fWide == 0 || header.pFiles < sizeof header || header.pFiles >= size) return false;
    size_t at = header.pFiles;
    std::u16string name;
    while (at + sizeof(WCHAR) <= size) {
        WCHAR c;
        std::memcpy(&c, p + at, sizeof c);
        at += sizeof c;
        if (c != 0) {
            name += c;
            continue;
        }
        if (name.empty()) break;
        // A longer name could only be passed on cut, naming another file.
        if (name.size() <= kLongestListedName) paths->push_back(PathToPosix(name.c_str()));
        name.clear();
    }
    return true;
}

std::string UriList(const std::vector<std::string>& paths) {
    std::string out;
    for (const std::string& path : paths) {
        out += "file://";
        AppendPercentEncoded(path, &out);
        out += "\r\n";
    }
    return out;
}

void WriteOut(ClipboardState& s) {
    s.haveOwn = false;
    s.own.clear();
    ToolKind tool = PickTool();
    if (s.text) {
        std::u16string text = BlockText(s.text);
        s.own = text;
        s.haveOwn = true;
        std::string utf8 = WithoutCr(ToUtf8(text));
        if (!utf8.empty()) ConsoleSetTerminalClipboard(utf8.data(), utf8.size());
        RunTool(tool, ToolUse::Write, utf8, nullptr);
        return;
    }
    std::vector<std::string> paths;
    if (!ListedPaths(s.files, &paths)) {
        // An emptied clipboard: the desktop's is emptied too.
        RunTool(tool, ToolUse::Write, std::string(), nullptr);
        return;
    }
    std::string plain;
    for (size_t i = 0; i < paths.size(); i++) {
        if (i) plain += '\n';
        plain += paths[i];
    }
    s.own = FromUtf8(WithCrLf(plain));
    s.haveOwn = true;
    if (!plain.empty()) ConsoleSetTerminalClipboard(plain.data(), plain.size());
    if (!ToolArguments(tool, ToolUse::WriteList).empty() &&
        RunTool(tool, ToolUse::WriteList, UriList(paths), nullptr) == 0)
        return;
    RunTool(tool, ToolUse::Write, plain, nullptr);
}

// The clipboard's text: the tool's, else the own copy. False when neither.
bool ReadIn(ClipboardState& s, std::u16string* text) {
    std::string output;
    if (RunTool(PickTool(), ToolUse::Read, std::string(), &output) == 0) {
        *text = FromUtf8(WithCrLf(output));
        return true;
    }
    if (!s.haveOwn) return false;
    *text = s.own;
    return true;
}

} // namespace

void ClipboardSetTimeLimitForTest(unsigned milliseconds) {
    gTimeLimitMs.store(milliseconds ? milliseconds : kDefaultTimeLimitMs);
}

BOOL OpenClipboard(HWND) {
    ClipboardState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    s.open = true;
    s.dirty = false;
    FreeBlock(&s.returned);
    ForgetCache(s);
    return TRUE;
}

BOOL EmptyClipboard() {
    ClipboardState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    FreeBlock(&s.text);
    FreeBlock(&s.files);
    if (s.open) s.dirty = true;
    ForgetCache(s);
    return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE data) {
    ClipboardState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.open) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // The clipboard owns data from here; a block it already holds is never
    // freed twice.
    if (data && data == s.returned) s.returned = nullptr;
    if (format == CF_UNICODETEXT || format == CF_HDROP) {
        HGLOBAL& slot = format == CF_UNICODETEXT ? s.text : s.files;
        if (slot != data) FreeBlock(&slot);
        slot = data;
        HGLOBAL& other = format == CF_UNICODETEXT ? s.files : s.text;
        if (other == data) other = nullptr;
    } else if (data && data != s.text && data != s.files) {
        GlobalFree(data);
    }
    s.dirty = true;
    ForgetCache(s);
    return data;
}

HANDLE GetClipboardData(UINT format) {
    if (format != CF_UNICODETEXT) return nullptr;
    ClipboardState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    FreeBlock(&s.returned);
    if (!s.open) return nullptr;
    try {
        if (!s.cacheValid) {
            s.cacheHasText = ReadIn(s, &s.cache);
            s.cacheValid = true;
        }
    } catch (const std::bad_alloc&) {
        ForgetCache(s);
        return nullptr;
    }
    if (!s.cacheHasText) return nullptr;
    size_t bytes = (s.cache.size() + 1) * sizeof(WCHAR);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!block) return nullptr;
    std::memcpy(GlobalLock(block), s.cache.c_str(), bytes);
    s.returned = block;
    return block;
}

BOOL IsClipboardFormatAvailable(UINT format) {
    if (format != CF_UNICODETEXT) return FALSE;
    ClipboardState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    try {
        if (s.cacheValid) return s.cacheHasText && !s.cache.empty();
        std::u16string text;
        bool has = ReadIn(s, &text);
        if (s.open) {
            s.cache = text;
            s.cacheHasText = has;
            s.cacheValid = true;
        }
        return has && !text.empty();
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

BOOL CloseClipboard() {
    ClipboardState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.open && s.dirty) {
        try {
            WriteOut(s);
        } catch (const std::bad_alloc&) {
            // What could not be handed on is dropped with the rest.
        }
    }
    FreeBlock(&s.text);
    FreeBlock(&s.files);
    FreeBlock(&s.returned);
    ForgetCache(s);
    s.open = false;
    s.dirty = false;
    return TRUE;
}
