// System information for the program: the machine and user names, a fixed
// system version, the monotonic and realtime clocks, Sleep, and the texts of
// the error codes the program shows.
#include "sysinfoapi.h"
#include "timezoneapi.h"
#include "internal/threads.h"
#include "errhandlingapi.h"
#include "qposix_path.h"
#include "qprintf.h"
#include "qwcrt.h"
#include "winbase.h"
#include "winerror.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

// A UTF-8 name as UTF-16, invalid bytes escaped.
std::vector<WCHAR> Widen(const char* text) {
    size_t n = std::strlen(text);
    std::vector<WCHAR> out(n + 1);
    Utf8ToUtf16(text, static_cast<SSIZE_T>(n), out.data(), out.size(), true);
    return out;
}

// The login name of the real user id from the password database; false
// when it has none.
bool PasswordName(std::vector<char>* name) {
    long hint = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? static_cast<size_t>(hint) : 1024);
    struct passwd pw;
    struct passwd* found = nullptr;
    for (;;) {
        int err = ::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &found);
        if (err == ERANGE && buffer.size() < (1u << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (err != 0 || !found || !pw.pw_name || !pw.pw_name[0]) return false;
        name->assign(pw.pw_name, pw.pw_name + std::strlen(pw.pw_name) + 1);
        return true;
    }
}

struct timespec ClockNow(clockid_t clock) {
    struct timespec ts;
    ::clock_gettime(clock, &ts);
    return ts;
}

struct Message {
    DWORD code;
    const WCHAR* text;
};

constexpr Message kMessages[] = {
    {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, u"The system cannot find the path specified."},
    {ERROR_ACCESS_DENIED, u"Access is denied."},
    {ERROR_NOT_ENOUGH_MEMORY, u"Not enough memory is available."},
    {ERROR_NOT_SUPPORTED, u"The request is not supported."},
    {ERROR_BAD_NETPATH, u"The network path was not found."},
    {ERROR_NETNAME_DELETED, u"The connection was closed."},
    {ERROR_NETWORK_ACCESS_DENIED, u"Network access is denied."},
    {ERROR_FILE_EXISTS, u"The file exists."},
    {ERROR_DISK_FULL, u"There is not enough space on the disk."},
    {ERROR_DIR_NOT_EMPTY, u"The directory is not empty."},
    {ERROR_ALREADY_EXISTS, u"The file already exists."},
    {ERROR_CANCELLED, u"The operation was canceled by the user."},
    {ERROR_NETWORK_UNREACHABLE, u"The network location cannot be reached."},
    {ERROR_LOGON_FAILURE, u"The user name or password is incorrect."},
};

} // namespace

// ---- names ---------------------------------------------------------------------

BOOL GetComputerNameW(LPWSTR buffer, LPDWORD size) {
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    char host[256];
    if (::gethostname(host, sizeof host) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    host[sizeof host - 1] = 0;
    std::vector<WCHAR> name = Widen(host);
    size_t length = wcslen(name.data());
    if (!buffer || *size < length + 1) {
        *size = static_cast<DWORD>(length + 1);
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE;
    }
    wmemcpy(buffer, name.data(), length + 1);
    *size = static_cast<DWORD>(length);
    return TRUE;
}

BOOL GetUserNameW(LPWSTR buffer, LPDWORD size) {
    if (!size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<char> utf8;
    if (!PasswordName(&utf8)) {
        const char* user = ::getenv("USER");
        if (!user || !user[0]) {
            // No error code: nothing went wrong, there is no name. Cleared so
            // that a caller never mistakes an earlier 122 for "buffer too
            // small" and retries for ever.
            SetLastError(ERROR_SUCCESS);
            return FALSE;
        }
        utf8.assign(user, user + std::strlen(user) + 1);
    }
    std::vector<WCHAR> name = Widen(utf8.data());
    size_t length = wcslen(name.data());
    bool fits = buffer && *size >= length + 1;
    *size = static_cast<DWORD>(length + 1);
    if (!fits) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    wmemcpy(buffer, name.data(), length + 1);
    return TRUE;
}

// ---- version -------------------------------------------------------------------

BOOL GetVersionExW(LPOSVERSIONINFOW info) {
    if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOW) &&
                  info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXW))) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    OSVERSIONINFOEXW full = {};
    full.dwOSVersionInfoSize = info->dwOSVersionInfoSize;
    full.dwMajorVersion = 10;
    full.dwMinorVersion = 0;
    full.dwBuildNumber = 19041;
    full.dwPlatformId = VER_PLATFORM_WIN32_NT;
    full.wServicePackMajor = 0;
    full.wServicePackMinor = 0;
    full.wSuiteMask = 0;
    full.wProductType = VER_NT_WORKSTATION;
    // Only the caller's record size: the short record has no room for the
    // extended fields.
    std::memcpy(static_cast<void*>(info), &full, info->dwOSVersionInfoSize);
    return TRUE;
}

// ---- clocks --------------------------------------------------------------------

DWORD GetTickCount() {
    struct timespec ts = ClockNow(CLOCK_MONOTONIC);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u +
                  static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms);
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
    if (!count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    struct timespec ts = ClockNow(CLOCK_MONOTONIC);
    count->QuadPart = static_cast<LONGLONG>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
    return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    if (!frequency) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    frequency->QuadPart = 1000000000LL;
    return TRUE;
}

void Sleep(DWORD milliseconds) {
    // An absolute deadline: a sleep resumed after a signal neither ends early
    // nor adds the rounding of a relative remainder on each interruption.
    struct timespec deadline = ClockNow(CLOCK_MONOTONIC);
    deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    // A sleep is one of the layer's own waits: a pending suspension takes
    // effect here, before and whenever the suspend signal breaks the sleep.
    ThreadCheckSuspend();
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR)
        ThreadCheckSuspend();
}

void GetLocalTime(LPSYSTEMTIME time) {
    if (!time) return;
    struct timespec ts = ClockNow(CLOCK_REALTIME);
    struct tm tm;
    if (!::localtime_r(&ts.tv_sec, &tm)) return;
    SystemTimeFromTm(tm, static_cast<WORD>(ts.tv_nsec / 1000000), time);
}

void GetSystemTime(LPSYSTEMTIME time) {
    if (!time) return;
    struct timespec ts = ClockNow(CLOCK_REALTIME);
    struct tm tm;
    if (!::gmtime_r(&ts.tv_sec, &tm)) return;
    SystemTimeFromTm(tm, static_cast<WORD>(ts.tv_nsec / 1000000), time);
}

// ---- messages ------------------------------------------------------------------

DWORD FormatMessageW(DWORD flags, LPCVOID, DWORD code, DWORD, LPWSTR buffer, DWORD size,
                     va_list*) {
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) ||
        !buffer || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WCHAR generic[32];
    const WCHAR* text = nullptr;
    for (const Message& m : kMessages)
        if (m.code == code) text = m.text;
    if (!text) {
        swprintf(generic, 32, u"Error %lu.", code);
        text = generic;
    }
    size_t length = wcslen(text);
    if (length > size - 1) length = size - 1;
    wmemcpy(buffer, text, length);
    buffer[length] = 0;
    return static_cast<DWORD>(length);
}
