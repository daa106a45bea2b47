// The session temporary directory: choosing and locking it at start-up,
// removing it at shut-down, and the tree removal that never follows a link.
#include "settings/session_dir.h"

#include "platform/console_session.h"
#include "remote/remote_drives.h"
#include "settings/paths.h"
#include "qprintf.h"
#include "qwcrt.h"
#include "qposix_modes.h"
#include "windows.h"

#include <cstdio>
#include <string>

WCHAR gSessionTempDir[SESSION_DIR_UNITS] = {};
HANDLE gPidHandle = nullptr;

namespace {

constexpr WCHAR kPidName[] = u"QBK.PID";
constexpr DWORD kClearedAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
// How often one number is examined again while other sessions change it.
constexpr int kTriesPerNumber = 8;

void (*gKeyWait)() = nullptr;

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// What examining one candidate gave.
enum class Outcome { Taken, Next, Again, Stop };

// Opens and locks the QBK.PID of dir. Null when a live session holds it or
// it cannot be had; *again when the file or directory went away meanwhile
// (an ending session removing it), so that the number is examined again.
HANDLE LockPidFile(const std::u16string& dir, bool* again) {
    const std::u16string path = dir + u"\\" + kPidName;
    const DWORD attrs = RdGetFileAttributesW(path.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES) {
        if (attrs & FILE_ATTRIBUTE_REPARSE_POINT) {
            // A link marks nothing, and the process id is never written
            // through it into some other file.
            if (!RdDeleteFileW(path.c_str())) return nullptr;
        } else if (attrs & FILE_ATTRIBUTE_DIRECTORY) {
            return nullptr;
        }
    }
    HANDLE h = RdCreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        *again = IsMissing(GetLastError());
        return nullptr;
    }
    OVERLAPPED at = {};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 0xFFFFFFFF, 0xFFFFFFFF,
                    &at)) {
        RdCloseHandle(h);
        return nullptr;
    }
    // The lock of a session that deleted its QBK.PID on the way out ends
    // after the name is gone: a lock on that unlinked file marks nothing.
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(h, &info) || info.nNumberOfLinks == 0) {
        RdCloseHandle(h);
        *again = true;
        return nullptr;
    }
    return h;
}

Outcome Examine(const std::u16string& candidate, HANDLE* pid) {
    const DWORD attrs = RdGetFileAttributesW(candidate.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES) {
        if (!IsMissing(GetLastError())) return Outcome::Next;
        if (RdCreateDirectoryW(candidate.c_str(), nullptr)) return Outcome::Again;
        // Another session created it a moment before: it is examined again
        // and found with that session's lock.
        return GetLastError() == ERROR_ALREADY_EXISTS ? Outcome::Again : Outcome::Stop;
    }
    if (attrs & FILE_ATTRIBUTE_REPARSE_POINT) return Outcome::Next;
    if (attrs & FILE_ATTRIBUTE_DIRECTORY) {
        if (!FileIsOwnDirectory(candidate.c_str())) return Outcome::Next;
        bool again = false;
        *pid = LockPidFile(candidate, &again);
        if (*pid) return Outcome::Taken;
        return again ? Outcome::Again : Outcome::Next;
    }
    if (!RdDeleteFileW(candidate.c_str())) return Outcome::Next;
    if (RdCreateDirectoryW(candidate.c_str(), nullptr)) return Outcome::Again;
    return GetLastError() == ERROR_ALREADY_EXISTS ? Outcome::Again : Outcome::Stop;
}

// The base directory with its trailing backslash; empty when there is none.
std::u16string BaseDirectory() {
    WCHAR value[SESSION_DIR_UNITS] = {};
    DWORD n = GetEnvironmentVariableW(u"QTEMP", value, SESSION_DIR_UNITS);
    if (n == 0 || n >= SESSION_DIR_UNITS) {
        n = GetTempPathW(261, value);
        if (n == 0 || n > 260) return {};
    }
    std::u16string base(value, n);
    if (!base.empty() && base.back() == u';') base.pop_back();
    if (base.empty()) return {};
    if (base.back() != u'\\') base += u'\\';
    const DWORD attrs = RdGetFileAttributesW(base.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY)) return {};
    return base;
}

BOOL TreeCursorDirectory(WCHAR* out, DWORD units) {
    return gPathTreeSeam.cursorDirectory && gPathTreeSeam.cursorDirectory(out, units);
}

bool IsDotName(const WCHAR* name) {
    return name[0] == u'.' && (name[1] == 0 || (name[1] == u'.' && name[2] == 0));
}

// Removes everything in dir except the entry named keep (when given); a
// link is removed itself. 0 or the last error met.
DWORD RemoveEntries(const std::u16string& dir, const WCHAR* keep) {
    WIN32_FIND_DATAW data;
    HANDLE find = RdFindFirstFileW((dir + u"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : error;
    }
    DWORD result = 0;
    do {
        if (IsDotName(data.cFileName)) continue;
        if (keep && wcscmp(data.cFileName, keep) == 0) continue;
        const std::u16string path = dir + u"\\" + data.cFileName;
        const DWORD attrs = data.dwFileAttributes;
        if (attrs & FILE_ATTRIBUTE_REPARSE_POINT) {
            if (!RdDeleteFileW(path.c_str())) result = GetLastError();
        } else if (attrs & FILE_ATTRIBUTE_DIRECTORY) {
            if (DWORD r = RemoveDirTree(path.c_str())) result = r;
        } else {
            if (attrs & kClearedAttributes)
                RdSetFileAttributesW(path.c_str(), attrs & ~kClearedAttributes);
            if (!RdDeleteFileW(path.c_str())) result = GetLastError();
        }
    } while (RdFindNextFileW(find, &data));
    RdFindClose(find);
    return result;
}

DWORD RemoveEmptiedDirectory(const std::u16string& dir, DWORD result) {
    const DWORD attrs = RdGetFileAttributesW(dir.c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & kClearedAttributes))
        RdSetFileAttributesW(dir.c_str(), attrs & ~kClearedAttributes);
    if (!RdRemoveDirectoryW(dir.c_str())) return GetLastError();
    return result;
}

} // namespace

void SessionTempSetKeyWaitForTest(void (*wait)()) { gKeyWait = wait; }

void SetupSessionTemp() {
    gSessionEndWork.removeSessionDirectory = CleanupSessionTemp;
    gSessionEndWork.currentDirectory = TreeCursorDirectory;
    gSessionTempDir[0] = 0;
    const std::u16string base = BaseDirectory();
    std::u16string chosen;
    HANDLE pid = nullptr;
    for (int number = 0; !base.empty() && number <= 999 && chosen.empty(); number++) {
        char digits[8];
        snprintf(digits, sizeof digits, "QTMP%03d", number);
        const std::u16string candidate = base + std::u16string(digits, digits + 7);
        if (candidate.size() >= SESSION_DIR_UNITS) break;
        for (int tries = 0; tries < kTriesPerNumber; tries++) {
            const Outcome outcome = Examine(candidate, &pid);
            if (outcome == Outcome::Again) continue;
            if (outcome == Outcome::Taken || outcome == Outcome::Stop) chosen = candidate;
            break;
        }
    }
    if (chosen.empty()) {
        std::fputs("\nAn environment variable named QTEMP, TEMP or TMP must be created for "
                   "archiving\n",
                   stdout);
        std::fputs("\nSee README.TXT for more information...press [Enter] to continue\n",
                   stdout);
        std::fflush(stdout);
        if (gKeyWait)
            gKeyWait();
        else
            _getch();
        return;
    }
    if (pid) {
        char text[16];
        const int length = snprintf(text, sizeof text, "%04lx", GetCurrentProcessId());
        DWORD written = 0;
        SetFilePointer(pid, 0, nullptr, FILE_BEGIN);
        RdWriteFile(pid, text, DWORD(length), &written, nullptr);
        // A longer id of an earlier session leaves no digits behind.
        SetEndOfFile(pid);
        gPidHandle = pid;
    }
    wcscpy_s(gSessionTempDir, SESSION_DIR_UNITS, chosen.c_str());
    SetEnvironmentVariableW(u"#QBTemp", gSessionTempDir);
    WCHAR shortForm[SESSION_DIR_UNITS];
    const DWORD n = RdGetShortPathNameW(gSessionTempDir, shortForm, SESSION_DIR_UNITS);
    if (n > 0 && n < SESSION_DIR_UNITS) wcscpy_s(gSessionTempDir, SESSION_DIR_UNITS, shortForm);
}

void CleanupSessionTemp() {
    if (!gPidHandle) return;
    const std::u16string dir(gSessionTempDir);
    // A path this short is a root or a drive, never a session's own.
    const bool removable = dir.size() >= 4;
    // Emptied while the lock still keeps other sessions out, so that a
    // session starting now never takes the directory and loses its files.
    if (removable) RemoveEntries(dir, kPidName);
    RdDeleteFileW((dir + u"\\" + kPidName).c_str());
    RdCloseHandle(gPidHandle);
    gPidHandle = nullptr;
    // Fails, and leaves it, when another session took it meanwhile.
    if (removable) RemoveEmptiedDirectory(dir, 0);
}

DWORD RemoveDirTree(const WCHAR* path) {
    if (!path || !path[0]) return ERROR_INVALID_PARAMETER;
    const std::u16string dir(path);
    const DWORD attrs = RdGetFileAttributesW(path);
    if (attrs == INVALID_FILE_ATTRIBUTES) return GetLastError();
    if (attrs & FILE_ATTRIBUTE_REPARSE_POINT)
        return RdRemoveDirectoryW(path) ? 0 : GetLastError();
    if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_DIRECTORY;
    return RemoveEmptiedDirectory(dir, RemoveEntries(dir, nullptr));
}
