// Running command lines through the shell with the terminal handed over,
// opening documents and URLs (ShellOpen, ShellExecuteW, ShellExecuteExW),
// and the questions about programs: the user's editor and whether a program
// is on the search path or may be executed.
#include "errhandlingapi.h"
#include "handleapi.h"
#include "internal/console_child.h"
#include "internal/posix_util.h"
#include "internal/process.h"
#include "internal/spawn.h"
#include "qposix_path.h"
#include "qposix_process.h"
#include "qwcrt.h"
#include "shellexec.h"
#include "winerror.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

constexpr size_t kLongestPath = 2047;

// A Windows absolute path starts at line[i]: a letter, ':' and a separator.
bool WindowsPathAt(const WCHAR* line, size_t i, size_t n) {
    return i + 2 < n && PathHasDriveRoot(line + i);
}

// What may stand right before an unquoted path.
bool OpensPath(WCHAR c) {
    return c == ' ' || c == '\t' || c == '=' || c == '<' || c == '>' || c == '|' || c == '&' ||
           c == ';' || c == '(';
}

// What ends an unquoted path.
bool EndsPath(WCHAR c) {
    return c == ' ' || c == '\t' || c == '|' || c == '&' || c == ';' || c == '<' || c == '>' ||
           c == '(' || c == ')' || c == '"' || c == '\'';
}

// The POSIX form of a Windows path in single quotes, each quote inside
// written as '\''.
void AppendQuotedPath(const WCHAR* line, size_t from, size_t to, std::string* out) {
    std::u16string path(line + from, to - from);
    const char* posix = PathToPosix(path.c_str());
    *out += '\'';
    for (const char* p = posix; *p; p++) {
        if (*p == '\'')
            *out += "'\\''";
        else
            *out += *p;
    }
    *out += '\'';
}

bool AppendText(const WCHAR* text, size_t units, std::string* out) {
    *out += Utf8String(text, units);
    return true;
}

bool StartsWithNoCase(const WCHAR* s, const char* prefix) {
    for (; *prefix; s++, prefix++) {
        WCHAR c = *s;
        if (c >= 'A' && c <= 'Z') c = static_cast<WCHAR>(c + 32);
        if (c != static_cast<unsigned char>(*prefix)) return false;
    }
    return true;
}

bool IsUrl(const WCHAR* file) {
    for (const WCHAR* p = file; *p; p++)
        if (p[0] == ':' && p[1] == '/' && p[2] == '/') return true;
    return StartsWithNoCase(file, "mailto:");
}

} // namespace

bool ShellCommandTranslate(const WCHAR* line, std::string* out) {
    try {
        out->clear();
        size_t n = wcslen(line);
        size_t plain = 0; // start of the text not yet written
        bool pathMayStart = true;
        size_t i = 0;
        while (i < n) {
            WCHAR c = line[i];
            size_t from = 0, end = 0, resume = 0;
            if (c == '"' && WindowsPathAt(line, i + 1, n)) {
                // Enclosed in double quotes: the quotes go, the path runs to
                // the next double quote. Where a path ends is read from the
                // line alone, never from which files exist.
                from = i + 1;
                end = from;
                while (end < n && line[end] != '"') end++;
                resume = end < n ? end + 1 : n;
            } else if (pathMayStart && WindowsPathAt(line, i, n)) {
                from = i;
                end = from;
                while (end < n && !EndsPath(line[end])) end++;
                resume = end;
            } else {
                pathMayStart = OpensPath(c);
                i++;
                continue;
            }
            // A longer path would have to be cut, and its rest would reach
            // the shell as text.
            if (end - from > kLongestPath) return false;
            if (!AppendText(line + plain, i - plain, out)) return false;
            AppendQuotedPath(line, from, end, out);
            plain = i = resume;
            pathMayStart = false;
        }
        return AppendText(line + plain, n - plain, out);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

int ShellRunCommand(const WCHAR* commandLine, BOOL pause) {
    if (!commandLine) return ::access("/bin/sh", X_OK) == 0 ? 1 : 0;
    std::string command;
    if (!ShellCommandTranslate(commandLine, &command)) return -1;

    ConsoleRelease();
    struct sigaction ignore, dfl, oldInt, oldQuit, oldTstp, oldCont;
    std::memset(&ignore, 0, sizeof ignore);
    sigemptyset(&ignore.sa_mask);
    dfl = ignore;
    ignore.sa_handler = SIG_IGN;
    dfl.sa_handler = SIG_DFL;
    ::sigaction(SIGINT, &ignore, &oldInt);
    ::sigaction(SIGQUIT, &ignore, &oldQuit);
    ::sigaction(SIGTSTP, &dfl, &oldTstp);
    ::sigaction(SIGCONT, &dfl, &oldCont);

    char sh[] = "sh", dashC[] = "-c";
    char* argv[] = {sh, dashC, command.data(), nullptr};
    int code = -1;
    pid_t pid = ProcessSpawn(argv, "/bin/sh", nullptr, false);
    if (pid > 0) {
        int status;
        if (WaitChild(pid, &status, 0) == pid) code = ExitCodeFromStatus(status);
    }
    if (pause) ConsolePromptKey("Press any key to continue...");

    ::sigaction(SIGCONT, &oldCont, nullptr);
    ::sigaction(SIGTSTP, &oldTstp, nullptr);
    ::sigaction(SIGQUIT, &oldQuit, nullptr);
    ::sigaction(SIGINT, &oldInt, nullptr);
    ConsoleReacquire();
    return code;
}

bool ProgramIsExecutable(const char* posixPath) {
    struct stat st;
    if (!posixPath || ::stat(posixPath, &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if (::faccessat(AT_FDCWD, posixPath, X_OK, AT_EACCESS) != 0) return false;
    int fd = ::open(posixPath, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    unsigned char head[4] = {};
    ssize_t n;
    do
        n = ::read(fd, head, sizeof head);
    while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n >= 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F')
        return true;
    return n >= 2 && head[0] == '#' && head[1] == '!';
}

DWORD ShellOpen(const WCHAR* file, const WCHAR* parameters, const WCHAR* directory,
                HANDLE* process) {
    if (process) *process = nullptr;
    if (!file || !file[0]) return ERROR_FILE_NOT_FOUND;
    char** argv = nullptr;
    std::string program;
    std::string dir;
    bool hasDirectory = directory && directory[0];
    try {
        if (hasDirectory) dir = PathToPosix(directory);
        std::string target;
        if (IsUrl(file)) {
            // A scheme begins with a letter; text beginning with '-' would
            // reach the opener as an option.
            if (file[0] == '-') return ERROR_FILE_NOT_FOUND;
            program = "xdg-open";
            target = Utf8String(file);
        } else {
            std::string path = PathToPosix(file);
            if (path[0] != '/' && hasDirectory) path = dir + "/" + path;
            // A bare name would be looked up on PATH, and a relative path
            // beginning with '-' taken for an option: it names a file here.
            if (path[0] != '/') path = "./" + path;
            struct stat st;
            if (::stat(path.c_str(), &st) != 0) return ERROR_FILE_NOT_FOUND;
            if (ProgramIsExecutable(path.c_str())) {
                std::u16string line = u"\"\" ";
                if (parameters) line += parameters;
                argv = CommandLineSplit(line.c_str());
                if (!argv) return ERROR_NOT_ENOUGH_MEMORY;
                char* self = strdup(path.c_str());
                if (!self) {
                    CommandLineFree(argv);
                    return ERROR_NOT_ENOUGH_MEMORY;
                }
                std::free(argv[0]);
                argv[0] = self;
                program = path;
            } else {
                program = "xdg-open";
                target = path;
            }
        }
        if (!argv) {
            // The file goes to the opener as one argument, never as shell
            // text; it begins with '/', "./" or a scheme, never with '-'.
            argv = static_cast<char**>(std::calloc(3, sizeof(char*)));
            if (!argv) return ERROR_NOT_ENOUGH_MEMORY;
            argv[0] = strdup("xdg-open");
            argv[1] = strdup(target.c_str());
            if (!argv[0] || !argv[1]) {
                CommandLineFree(argv);
                return ERROR_NOT_ENOUGH_MEMORY;
            }
        }
    } catch (const std::bad_alloc&) {
        CommandLineFree(argv);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    pid_t pid = ProcessSpawn(argv, program.c_str(), hasDirectory ? dir.c_str() : nullptr, true);
    int err = errno;
    CommandLineFree(argv);
    if (pid < 0) {
        if (err == ENOENT) return program[0] != '/' ? ERROR_NO_ASSOCIATION : ERROR_FILE_NOT_FOUND;
        if (err == EACCES) return ERROR_ACCESS_DENIED;
        if (err == ENOMEM) return ERROR_NOT_ENOUGH_MEMORY;
        return ErrnoToWin32Error(err);
    }
    if (process) {
        *process = ProcessObjectCreate(pid, false);
        if (!*process) {
            ReapDetached(pid);
            return ERROR_NOT_ENOUGH_MEMORY;
        }
    } else {
        ReapDetached(pid);
    }
    return ERROR_SUCCESS;
}

HINSTANCE ShellExecuteW(HWND, LPCWSTR, LPCWSTR file, LPCWSTR parameters, LPCWSTR directory, int) {
    auto instance = [](UINT_PTR v) { return reinterpret_cast<HINSTANCE>(v); };
    if (!file || !file[0]) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return instance(SE_ERR_FNF);
    }
    DWORD err = ShellOpen(file, parameters, directory, nullptr);
    if (err == ERROR_SUCCESS) return instance(33);
    SetLastError(err);
    return instance(err == ERROR_FILE_NOT_FOUND   ? SE_ERR_FNF
                    : err == ERROR_NO_ASSOCIATION ? SE_ERR_NOASSOC
                                                  : 0);
}

BOOL ShellExecuteExW(LPSHELLEXECUTEINFOW info) {
    if (!info) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->hProcess = nullptr;
    DWORD err = ERROR_FILE_NOT_FOUND;
    if (info->lpFile && info->lpFile[0]) {
        HANDLE process = nullptr;
        err = ShellOpen(info->lpFile, info->lpParameters, info->lpDirectory,
                        (info->fMask & SEE_MASK_NOCLOSEPROCESS) ? &process : nullptr);
        info->hProcess = process;
    }
    if (err != ERROR_SUCCESS) {
        info->hInstApp = nullptr;
        SetLastError(err);
        return FALSE;
    }
    info->hInstApp = reinterpret_cast<HINSTANCE>(static_cast<UINT_PTR>(33));
    return TRUE;
}

const char* DefaultEditor() {
    const char* visual = std::getenv("VISUAL");
    if (visual && *visual) return visual;
    const char* editor = std::getenv("EDITOR");
    if (editor && *editor) return editor;
    if (ProgramOnPath("editor")) return "editor";
    if (ProgramOnPath("nano")) return "nano";
    return "vi";
}

int ProgramOnPath(const char* name) {
    std::string found;
    int err;
    try {
        return FindProgramOnPath(name, EmptyPath::Default, &found, &err) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}
