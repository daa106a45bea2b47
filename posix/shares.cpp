// SMB shares mounted through gio and mapped onto drive letters: running gio
// with its questions answered from what the user typed, finding the local
// directory of a share, short error texts, and the table of mapped shares
// that are unmounted again when their last letter goes or the process exits.
#include "qposix_shares.h"
#include "internal/posix_util.h"
#include "internal/process.h"
#include "internal/spawn.h"
#include "qposix_drives.h"
#include "qposix_path.h"
#include "qwcrt.h"
#include "winerror.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr unsigned kDefaultGioLimitMs = 60000;
constexpr unsigned kDefaultGioGraceMs = 5000;
std::atomic<unsigned> gGioLimitMs{kDefaultGioLimitMs};
std::atomic<unsigned> gGioGraceMs{kDefaultGioGraceMs};

constexpr size_t kLocationBytes = 780; // 779 and the terminator
constexpr size_t kRootBytes = 4096;

struct ShareSlot {
    bool used = false;
    char location[kLocationBytes];
    char root[kRootBytes];
    bool mountedByUs = false;
};

ShareSlot gShares[26];
bool gExitHookRegistered = false;

void SecureWipe(std::string* s) {
    volatile char* p = s->data();
    for (size_t i = 0; i < s->size(); i++)
        p[i] = 0;
    s->clear();
}

void StoreText(const char* text, WCHAR* out, size_t capacity) {
    if (!out || capacity == 0) return;
    if (Utf8ToUtf16(text, -1, out, capacity, false) < 0) {
        // Cut: keep what fitted, terminated.
    }
}

void StoreText(const WCHAR* text, WCHAR* out, size_t capacity) {
    if (!out || capacity == 0) return;
    size_t i = 0;
    for (; text && text[i] && i + 1 < capacity; i++)
        out[i] = text[i];
    out[i] = 0;
}

void UnmountShare(const char* location) {
    char out[1024];
    bool refused;
    char gio[] = "gio", mount[] = "mount", unmount[] = "-u";
    std::string loc(location);
    char* argv[] = {gio, mount, unmount, loc.data(), nullptr};
    GioRun(argv, nullptr, out, sizeof out, &refused);
}

void UnmapAll() {
    for (WCHAR letter = 'A'; letter <= 'Z'; letter++)
        NetShareUnmapDrive(letter);
}

// The text since the last answer, kept short: only its last line matters.
void KeepTail(std::string* s) {
    if (s->size() > 1024) s->erase(0, s->size() - 1024);
}

bool EndsWithPrompt(const std::string& s) {
    return s.size() >= 2 && s[s.size() - 2] == ':' && s[s.size() - 1] == ' ';
}

// The answer a question asks for: 0 user, 1 domain, 2 password, -1 unknown.
int QuestionOf(const std::string& text) {
    size_t cut = text.find_last_of("\r\n");
    std::string line = cut == std::string::npos ? text : text.substr(cut + 1);
    if (line.compare(0, 4, "User") == 0) return 0;
    if (line.compare(0, 6, "Domain") == 0) return 1;
    if (line.compare(0, 8, "Password") == 0) return 2;
    return -1;
}

// Appends a chunk to output, dropping the oldest text when it would not fit.
void AppendOutput(char* output, size_t capacity, size_t* held, const char* chunk, size_t n) {
    if (!output || capacity < 2) return;
    size_t room = capacity - 1;
    if (*held + n > room) {
        size_t drop = *held / 2 + n;
        if (drop > *held) drop = *held;
        std::memmove(output, output + drop, *held - drop);
        *held -= drop;
    }
    if (n > room - *held) {
        chunk += n - (room - *held);
        n = room - *held;
    }
    std::memcpy(output + *held, chunk, n);
    *held += n;
    output[*held] = 0;
}

bool WriteAll(int fd, const std::string& text) {
    return WriteWhole(fd, text.data(), text.size()) == 0;
}

} // namespace

void GioSetTimeLimitForTest(unsigned milliseconds, unsigned graceMilliseconds) {
    gGioLimitMs.store(milliseconds ? milliseconds : kDefaultGioLimitMs);
    gGioGraceMs.store(graceMilliseconds ? graceMilliseconds : kDefaultGioGraceMs);
}

int GioFind(char* path, size_t pathSize) {
    std::string found;
    int err;
    try {
        if (!FindProgramOnPath("gio", EmptyPath::Nothing, &found, &err)) return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (found.size() >= pathSize) return 0;
    std::memcpy(path, found.c_str(), found.size() + 1);
    return 1;
}

int GioRun(char* const* argv, const GioAnswers* answers, char* output, size_t capacity,
           bool* refused) {
    char gio[4096];
    if (!GioFind(gio, sizeof gio)) return -1;
    if (output && capacity) output[0] = 0;
    if (refused) *refused = false;
    long long start = MonotonicMs();
    bool handlePrompts = argv[1] && std::strcmp(argv[1], "mount") == 0 &&
                         !(argv[2] && std::strcmp(argv[2], "-u") == 0);

    // gio's texts are read by their English words.
    std::vector<char*> envp;
    char cLocale[] = "LC_ALL=C";
    try {
        envp.push_back(cLocale);
        for (char** e = environ; e && *e; e++)
            if (std::strncmp(*e, "LC_ALL=", 7) != 0) envp.push_back(*e);
        envp.push_back(nullptr);
    } catch (const std::bad_alloc&) {
        return -1;
    }

    int in[2], out[2];
    if (MakePipe(in) != 0) return -1;
    if (MakePipe(out) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return -1;
    }
    SpawnRequest request;
    request.program = gio;
    request.argv = argv;
    request.envp = envp.data();
    request.newSession = true;
    request.stdinFd = in[0];
    request.stdoutFd = out[1];
    request.stderrFd = out[1];
    pid_t pid = SpawnProgram(request);
    ::close(in[0]);
    ::close(out[1]);
    if (pid < 0) {
        ::close(in[1]);
        ::close(out[0]);
        return -1;
    }

    // An answer written after gio quit gives EPIPE here, not a signal to
    // the whole process.
    sigset_t pipeSet, oldMask;
    sigemptyset(&pipeSet);
    sigaddset(&pipeSet, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSet, &oldMask);

    size_t held = 0;
    std::string sinceAnswer;
    bool answered[3] = {false, false, false};
    bool timedOut = false, isRefused = false, killed = false;
    long long stoppedAt = 0;
    const unsigned limit = gGioLimitMs.load(), grace = gGioGraceMs.load();
    for (;;) {
        long long now = MonotonicMs();
        if (!timedOut && !isRefused && now - start > limit) {
            ::kill(-pid, SIGTERM);
            timedOut = true;
            stoppedAt = now;
        }
        if ((timedOut || isRefused) && now - stoppedAt > grace) {
            // Told to stop and still there: it, and whatever it started,
            // go now; after that the output is not waited for any longer.
            if (killed) break;
            ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
            killed = true;
            stoppedAt = now;
        }
        // Waits of at most a second, and none past the next deadline.
        long long next = timedOut || isRefused ? stoppedAt + grace : start + limit;
        long long wait = next - now + 1;
        if (wait > 1000) wait = 1000;
        if (wait < 1) wait = 1;
        struct pollfd pfd = {out[0], POLLIN, 0};
        int pr = ::poll(&pfd, 1, static_cast<int>(wait));
        if (pr < 0 && errno != EINTR) break;
        if (pr <= 0) continue;
        char chunk[512];
        ssize_t n = ::read(out[0], chunk, sizeof chunk);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) break;
        AppendOutput(output, capacity, &held, chunk, static_cast<size_t>(n));
        if (!handlePrompts || timedOut || isRefused) continue;
        sinceAnswer.append(chunk, static_cast<size_t>(n));
        KeepTail(&sinceAnswer);
        if (!EndsWithPrompt(sinceAnswer)) continue;
        // A question waits for its answer; text that goes on was only a
        // line that happened to be read up to a ": ".
        struct pollfd more = {out[0], POLLIN, 0};
        if (::poll(&more, 1, 100) > 0) continue;
        int q = QuestionOf(sinceAnswer);
        if (q < 0 || !answers || answered[q]) {
            isRefused = true;
            stoppedAt = MonotonicMs();
            ::kill(-pid, SIGTERM);
            continue;
        }
        answered[q] = true;
        const char* a = q == 0 ? answers->user : q == 1 ? answers->domain : answers->password;
        std::string line = std::string(a ? a : "") + "\n";
        bool written = WriteAll(in[1], line);
        SecureWipe(&line);
        sinceAnswer.clear();
        if (!written) handlePrompts = false;
    }
    ::close(out[0]);
    ::close(in[1]);
    int status = 0;
    pid_t r = WaitChild(pid, &status, 0);
    struct timespec zero = {0, 0};
    if (!sigismember(&oldMask, SIGPIPE))
        while (sigtimedwait(&pipeSet, nullptr, &zero) == SIGPIPE) {
        }
    pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    if (refused) *refused = isRefused;
    if (timedOut) return -2;
    if (r != pid) return -1;
    if (WIFSIGNALED(status)) return 128;
    return WEXITSTATUS(status);
}

int GioLocalPath(const char* location, char* out, size_t outSize) {
    std::string output(8192, '\0');
    bool refused;
    char gio[] = "gio", info[] = "info", dashA[] = "-a", type[] = "standard::type";
    std::string loc(location);
    char* argv[] = {gio, info, dashA, type, loc.data(), nullptr};
    if (GioRun(argv, nullptr, output.data(), output.size(), &refused) < 0) return 0;
    const char* text = output.c_str();
    static const char kKey[] = "local path: ";
    for (const char* line = text; *line;) {
        const char* end = std::strpbrk(line, "\r\n");
        size_t len = end ? static_cast<size_t>(end - line) : std::strlen(line);
        if (std::strncmp(line, kKey, sizeof kKey - 1) == 0) {
            const char* path = line + sizeof kKey - 1;
            size_t pathLen = len - (sizeof kKey - 1);
            if (pathLen == 0 || path[0] != '/' || pathLen >= 4096 || pathLen >= outSize) return 0;
            std::memcpy(out, path, pathLen);
            out[pathLen] = 0;
            return 1;
        }
        if (!end) break;
        line = end + 1;
    }
    return 0;
}

void GioErrorText(const char* output, const WCHAR* defaultText, WCHAR* out, size_t capacity) {
    std::string last;
    const char* p = output ? output : "";
    while (*p) {
        const char* end = std::strchr(p, '\n');
        size_t len = end ? static_cast<size_t>(end - p) : std::strlen(p);
        std::string line(p, len);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty()) last = line;
        if (!end) break;
        p = end + 1;
    }
    if (last.size() > 511) last.resize(511);
    std::string text = last;
    if (last.compare(0, 5, "gio: ") == 0) {
        size_t colon = last.find(": ", 5);
        text = colon == std::string::npos ? last : last.substr(colon + 2);
    } else if (last.compare(0, 13, "mount_smbfs: ") == 0) {
        text = last.substr(13);
    }
    if (text.empty())
        StoreText(defaultText, out, capacity);
    else
        StoreText(text.c_str(), out, capacity);
}

DWORD NetShareMount(WCHAR letter, const WCHAR* location, const WCHAR* user, const WCHAR* password,
                    WCHAR* errorText, size_t errorCapacity) {
    if (errorText && errorCapacity) errorText[0] = 0;
    if (letter >= 'a' && letter <= 'z') letter = static_cast<WCHAR>(letter - 32);
    if (letter < 'A' || letter > 'Z') return ERROR_INVALID_DRIVE;
    char gio[4096];
    if (!GioFind(gio, sizeof gio)) {
        StoreText("smb:// needs gio (gvfs) - or mount the share and log its folder", errorText,
                  errorCapacity);
        return ERROR_NOT_SUPPORTED;
    }
    char loc[kLocationBytes];
    if (!location || !location[0]) {
        StoreText("No share location", errorText, errorCapacity);
        return ERROR_BAD_NETPATH;
    }
    if (Utf16ToUtf8(location, -1, loc, sizeof loc) < 0) {
        // A cut location would name another share.
        StoreText("The share location is too long", errorText, errorCapacity);
        return ERROR_BAD_NETPATH;
    }
    // A letter mapped before is let go first, as any failure below leaves it
    // unmapped.
    NetShareUnmapDrive(letter);

    char local[kRootBytes];
    bool mountedByUs = false;
    if (!GioLocalPath(loc, local, sizeof local)) {
        std::string userText, domainText, passwordText;
        GioAnswers answers = {nullptr, nullptr, nullptr};
        bool withAnswers = user && user[0];
        if (withAnswers) {
            char buffer[512];
            Utf16ToUtf8(user, -1, buffer, 256); // cut at 255 bytes
            userText = buffer;
            size_t split = userText.find_first_of("\\;");
            if (split != std::string::npos) {
                domainText = userText.substr(0, split);
                userText.erase(0, split + 1);
            }
            if (password) {
                Utf16ToUtf8(password, -1, buffer, sizeof buffer); // cut at 511 bytes
                passwordText = buffer;
                volatile char* wipe = buffer;
                for (size_t i = 0; i < sizeof buffer; i++)
                    wipe[i] = 0;
            }
            answers = {userText.c_str(), domainText.c_str(), passwordText.c_str()};
        }
        std::string output(4096, '\0');
        bool refused = false;
        char gioName[] = "gio", mount[] = "mount";
        char* argv[] = {gioName, mount, loc, nullptr};
        int status =
            GioRun(argv, withAnswers ? &answers : nullptr, output.data(), output.size(), &refused);
        SecureWipe(&passwordText);
        if (refused) return ERROR_ACCESS_DENIED;
        if (status == -2) {
            StoreText("No answer from the server", errorText, errorCapacity);
            return ERROR_SEM_TIMEOUT;
        }
        if (status != 0) {
            if (!std::strstr(output.c_str(), "already mounted")) {
                GioErrorText(output.c_str(), u"gio mount failed", errorText, errorCapacity);
                return ERROR_BAD_NETPATH;
            }
            if (!GioLocalPath(loc, local, sizeof local)) {
                GioErrorText(output.c_str(), u"Not found", errorText, errorCapacity);
                return ERROR_PATH_NOT_FOUND;
            }
        } else {
            if (!GioLocalPath(loc, local, sizeof local)) {
                GioErrorText(output.c_str(), u"Not found", errorText, errorCapacity);
                UnmountShare(loc);
                return ERROR_PATH_NOT_FOUND;
            }
            mountedByUs = true;
        }
    }

    // The mount root: the local path up to the component after "/gvfs/".
    char root[kRootBytes];
    std::strcpy(root, local);
    if (char* gvfs = std::strstr(root, "/gvfs/")) {
        char* component = gvfs + 6;
        char* slash = std::strchr(component, '/');
        if (slash) *slash = 0;
    }
    // The display name is only shown: a long location is cut there.
    WCHAR display[260];
    StoreText(location, display, 260);
    if (!DriveMapSet(letter, local, display)) {
        if (mountedByUs) UnmountShare(loc);
        StoreText("Not found", errorText, errorCapacity);
        return ERROR_PATH_NOT_FOUND;
    }
    ShareSlot& slot = gShares[letter - 'A'];
    slot.used = true;
    std::strcpy(slot.location, loc);
    std::strcpy(slot.root, root);
    slot.mountedByUs = mountedByUs;
    if (!gExitHookRegistered) {
        gExitHookRegistered = true;
        std::atexit(UnmapAll);
    }
    return ERROR_SUCCESS;
}

void NetShareUnmapDrive(WCHAR letter) {
    if (letter >= 'a' && letter <= 'z') letter = static_cast<WCHAR>(letter - 32);
    if (letter < 'A' || letter > 'Z') return;
    ShareSlot& slot = gShares[letter - 'A'];
    if (!slot.used) return;
    ShareSlot gone = slot;
    slot.used = false;
    slot.mountedByUs = false;
    DriveMapClear(letter);
    if (!gone.mountedByUs) return;
    for (ShareSlot& other : gShares)
        if (other.used && std::strcmp(other.root, gone.root) == 0) {
            other.mountedByUs = true;
            return;
        }
    UnmountShare(gone.location);
}
