// The freedesktop trash: where an item's trash is (the home trash on the
// home's file system, else the trash at the top of the item's own file
// system), the .trashinfo file that tells where it came from, and the move
// itself, which never replaces what the trash holds and never loses the item.
#include "errhandlingapi.h"
#include "internal/posix_util.h"
#include "internal/shell.h"
#include "internal/sys.h"
#include "winerror.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

namespace {

// Past this many bytes of Path= the encoding stops.
constexpr size_t kEncodedPathLimit = 12284;
// Longest trash name, and the part of the item's name kept before ".N".
constexpr size_t kNameBytes = 255;
constexpr size_t kNumberedStemBytes = 240;
// Items of one name the trash takes: name, name.2, ... name.9999.
constexpr unsigned kNameNumbers = 10000;

// The item's absolute path with its directory resolved (links and ".."
// followed, the item itself not), so that the top of its file system is
// found by the directories that really hold it. False when it cannot be
// resolved.
bool ResolveItem(const char* path, std::string* out) {
    std::string p = path;
    if (p.empty()) return false;
    if (p[0] != '/') {
        std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), std::free);
        if (!cwd) return false;
        p = std::string(cwd.get()) + "/" + p;
    }
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    std::string base = p.substr(p.rfind('/') + 1);
    std::string dir = PosixParent(p);
    if (base.empty() || base == "." || base == "..") {
        // The path names a directory by "." or "..": that directory is the item.
        std::unique_ptr<char, decltype(&std::free)> real(::realpath(p.c_str(), nullptr), std::free);
        if (!real) return false;
        p = real.get();
        if (p == "/") return false;
        base = p.substr(p.rfind('/') + 1);
        dir = PosixParent(p);
    }
    std::unique_ptr<char, decltype(&std::free)> realDir(::realpath(dir.c_str(), nullptr),
                                                        std::free);
    if (!realDir) return false;
    std::string d = realDir.get();
    *out = (d == "/" ? std::string() : d) + "/" + base;
    return true;
}

// A directory that belongs to uid and is not a link.
bool OwnDirectory(const std::string& path, uid_t uid) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == uid;
}

// The top directory of the file system of item (on device dev): the
// highest directory above it that is still on that device.
std::string TopDirectory(const std::string& item, dev_t dev) {
    std::string top = item;
    while (top != "/") {
        std::string parent = PosixParent(top);
        struct stat st;
        if (::lstat(parent.c_str(), &st) != 0 || st.st_dev != dev) break;
        top = parent;
    }
    return top;
}

// The trash for an item on device dev: the home trash when its parent lies on
// that device, else the trash at the top of the item's file system.
DWORD FindTrash(const std::string& item, dev_t dev, std::string* trash) {
    std::string dataHome;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/')
        dataHome = xdg;
    else if (!ShellHomeDir().empty())
        dataHome = XdgBaseDir("XDG_DATA_HOME", ".local/share");
    else
        return ERROR_ACCESS_DENIED;
    ShellMakeDirs(dataHome);
    struct stat st;
    if (::stat(dataHome.c_str(), &st) == 0 && st.st_dev == dev) {
        *trash = dataHome + "/Trash";
        return ERROR_SUCCESS;
    }
    std::string top = TopDirectory(item, dev);
    // A mount point cannot leave its own file system.
    if (top == item) return ERROR_ACCESS_DENIED;
    return VolumeTrashDir(top, ::geteuid(), trash);
}

std::string InfoText(const std::string& item, const struct tm& when) {
    char date[64];
    std::snprintf(date, sizeof date, "%04d-%02d-%02dT%02d:%02d:%02d", when.tm_year + 1900,
                  when.tm_mon + 1, when.tm_mday, when.tm_hour, when.tm_min, when.tm_sec);
    return "[Trash Info]\nPath=" + TrashPercentEncode(item) + "\nDeletionDate=" + date + "\n";
}

DWORD WriteAll(int fd, const std::string& text) {
    int err = WriteWhole(fd, text.data(), text.size());
    return err ? ErrnoToWin32Error(err) : ERROR_SUCCESS;
}

} // namespace

std::string TrashPercentEncode(const std::string& path) {
    std::string out;
    AppendPercentEncoded(path, &out, kEncodedPathLimit);
    return out;
}

DWORD VolumeTrashDir(const std::string& top, uid_t uid, std::string* out) {
    const std::string base = top == "/" ? std::string() : top;
    const std::string id = std::to_string(uid);
    // A shared .Trash counts only as the administrator made it: a real
    // directory with the sticky bit, so that no user can take another's
    // place in it. Anything else there is passed over.
    std::string shared = base + "/.Trash";
    struct stat st;
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        std::string mine = shared + "/" + id;
        QSysMkdir(mine.c_str(), 0700);
        if (OwnDirectory(mine, uid)) {
            *out = mine;
            return ERROR_SUCCESS;
        }
    }
    // A link or another user's directory under the user's name would send
    // the items somewhere the user does not own.
    std::string own = base + "/.Trash-" + id;
    QSysMkdir(own.c_str(), 0700);
    if (OwnDirectory(own, uid)) {
        *out = own;
        return ERROR_SUCCESS;
    }
    return ERROR_ACCESS_DENIED;
}

DWORD TrashItem(const char* path) {
    time_t now = ::time(nullptr);
    struct tm when {};
    ::localtime_r(&now, &when);

    std::string item;
    struct stat st;
    if (!path || !ResolveItem(path, &item) || ::lstat(item.c_str(), &st) != 0)
        return ERROR_ACCESS_DENIED;
    std::string trash;
    DWORD err = FindTrash(item, st.st_dev, &trash);
    if (err) return err;
    QSysMkdir(trash.c_str(), 0700);
    QSysMkdir((trash + "/files").c_str(), 0700);
    QSysMkdir((trash + "/info").c_str(), 0700);

    const std::string text = InfoText(item, when);
    const std::string base = item.substr(item.rfind('/') + 1);
    for (unsigned number = 1; number < kNameNumbers; number++) {
        std::string name = number == 1
                               ? base.substr(0, kNameBytes)
                               : base.substr(0, kNumberedStemBytes) + "." + std::to_string(number);
        std::string info = trash + "/info/" + name + ".trashinfo";
        int fd = QSysOpen(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            // A long name leaves no room for ".trashinfo": the shortened,
            // numbered names have it.
            if (errno == ENAMETOOLONG && number == 1) continue;
            return ErrnoToWin32Error(errno);
        }
        err = WriteAll(fd, text);
        if (QSysClose(fd) != 0 && !err) err = ErrnoToWin32Error(errno);
        if (err) {
            QSysUnlink(info.c_str());
            return err;
        }
        std::string dest = trash + "/files/" + name;
        if (QSysRenameNoReplaceOrCheck(item.c_str(), dest.c_str()) == 0) return ERROR_SUCCESS;
        int e = errno;
        QSysUnlink(info.c_str());
        // An item left in files/ without its info file holds this name; it is
        // never replaced.
        if (e == EEXIST) continue;
        return ErrnoToWin32Error(e);
    }
    return ERROR_FILE_EXISTS;
}
