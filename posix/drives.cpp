// The drive map (letters A to Z onto mount paths) and the Windows drive and
// volume functions built on it.
#include "fileapi.h"
#include "errhandlingapi.h"
#include "qposix_drives.h"
#include "qposix_path.h"
#include "qwcrt.h"
#include "stringapiset.h"
#include "winerror.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

std::atomic<DriveNameHookFn> gDriveNameHook{nullptr};

namespace {

constexpr size_t kMountMax = 4096; // bytes with the terminator
constexpr size_t kTypeMax = 32;
constexpr size_t kSourceMax = 128;
constexpr size_t kDisplayMax = 260;

struct DriveEntry {
    bool valid;
    char mount[kMountMax];
    char type[kTypeMax];
    char source[kSourceMax];
    uint64_t dev;
};

struct RuntimeMapping {
    bool set;
    char posix[kMountMax];
    WCHAR display[kDisplayMax];
};

struct MountLine {
    std::string mount;
    std::string type;
    std::string source;
};

struct DriveMapState {
    std::mutex lock;
    DriveEntry drives[26];
    RuntimeMapping runtime[26];
    bool loaded = false;
    // The mount path each letter has stood for during this session; a letter
    // never moves to another mount point when mounts come and go.
    std::string history[26];
    std::string mountinfo = "/proc/self/mountinfo";
    std::string sysBlock = "/sys/dev/block";
};

DriveMapState& Map() {
    static DriveMapState* state = new DriveMapState();
    return *state;
}

const char* const kPseudoTypes[] = {
    "proc",       "sysfs",     "devtmpfs",  "devpts",         "tmpfs",       "ramfs",
    "cgroup",     "cgroup2",   "securityfs", "pstore",        "bpf",         "debugfs",
    "tracefs",    "configfs",  "fusectl",   "hugetlbfs",      "mqueue",      "autofs",
    "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",          "selinuxfs",   "fuse.gvfsd-fuse",
    "fuse.portal", "squashfs", "devfs",     "nullfs"};
const char* const kNetworkTypes[] = {"nfs",  "nfs4", "cifs", "smb3",      "smbfs",      "smb",
                                     "9p",   "afs",  "ceph", "glusterfs", "fuse.sshfs", "sshfs",
                                     "davfs", "fuse.rclone", "afpfs", "webdav"};
const char* const kOpticalTypes[] = {"iso9660", "udf"};
const char* const kCaseBlindTypes[] = {"vfat",  "msdos",   "exfat",   "ntfs", "ntfs3",
                                       "fuseblk", "hfsplus", "iso9660", "udf"};

template <size_t N> bool InList(const char* const (&list)[N], const char* s) {
    for (const char* item : list)
        if (std::strcmp(item, s) == 0) return true;
    return false;
}

void CopyCut(char* dest, size_t size, const std::string& s) {
    size_t n = s.size() < size - 1 ? s.size() : size - 1;
    std::memcpy(dest, s.data(), n);
    dest[n] = 0;
}

// Undoes the mount table's '\ooo' escapes (a space is "\040").
std::string DecodeMountField(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' &&
            s[i + 2] >= '0' && s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
            out += static_cast<char>(((s[i + 1] - '0') << 6) | ((s[i + 2] - '0') << 3) |
                                     (s[i + 3] - '0'));
            i += 3;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::vector<MountLine> ReadMountTable(const std::string& path) {
    std::vector<MountLine> lines;
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return lines;
    char* line = nullptr;
    size_t cap = 0;
    while (getline(&line, &cap, f) >= 0) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        size_t sep = text.find(" - ");
        if (sep == std::string::npos) continue;
        // Fields before the separator: id, parent, major:minor, root, mount point, ...
        std::vector<std::string> fields;
        size_t pos = 0;
        std::string head = text.substr(0, sep);
        while (pos <= head.size() && fields.size() < 5) {
            size_t end = head.find(' ', pos);
            if (end == std::string::npos) end = head.size();
            fields.push_back(head.substr(pos, end - pos));
            pos = end + 1;
        }
        if (fields.size() < 5) continue;
        std::string tail = text.substr(sep + 3);
        size_t sp = tail.find(' ');
        MountLine m;
        m.mount = DecodeMountField(fields[4]);
        if (m.mount.size() >= kMountMax) continue;
        m.type = tail.substr(0, sp).substr(0, 63);
        if (sp != std::string::npos) {
            size_t sp2 = tail.find(' ', sp + 1);
            m.source = DecodeMountField(tail.substr(sp + 1, sp2 == std::string::npos
                                                                   ? std::string::npos
                                                                   : sp2 - sp - 1))
                           .substr(0, 255);
        }
        lines.push_back(std::move(m));
    }
    std::free(line);
    std::fclose(f);
    return lines;
}

// True when prefix is "/" or a leading path of path (followed by '/' or the end).
bool IsPathPrefix(const std::string& prefix, const char* path) {
    if (prefix == "/") return path[0] == '/';
    size_t n = prefix.size();
    return std::strncmp(path, prefix.c_str(), n) == 0 && (path[n] == 0 || path[n] == '/');
}

uint64_t DeviceOf(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0 ? static_cast<uint64_t>(st.st_dev) : 0;
}

void SetEntry(DriveEntry& e, const std::string& mount, const std::string& type,
              const std::string& source) {
    e.valid = true;
    CopyCut(e.mount, sizeof e.mount, mount);
    CopyCut(e.type, sizeof e.type, type);
    CopyCut(e.source, sizeof e.source, source);
    e.dev = DeviceOf(e.mount);
}

// Reads the user's drive-letter file: later lines for a letter replace
// earlier ones. Returns false when there is no file or no mapping in it.
bool ReadDrivesFile(std::string (&paths)[26]) {
    const char* home = std::getenv("HOME");
    if (!home) return false;
    std::string name = std::string(home) + "/.config/quilb/drives";
    FILE* f = std::fopen(name.c_str(), "r");
    if (!f) return false;
    bool any = false;
    char line[4112];
    while (std::fgets(line, sizeof line, f)) {
        const char* p = line;
        while (*p == ' ' || *p == '\t') p++;
        if (*p == '#') continue;
        char letter = *p;
        if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) || p[1] != ':')
            continue;
        p += 2;
        while (*p == ' ' || *p == '\t') p++;
        if (*p != '/') continue;
        std::string path(p);
        while (!path.empty() && (path.back() == ' ' || path.back() == '\t' ||
                                 path.back() == '\n' || path.back() == '\r'))
            path.pop_back();
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        if (path.size() >= kMountMax) continue;
        int index = (letter & ~0x20) - 'A';
        paths[index] = path;
        any = true;
    }
    std::fclose(f);
    return any;
}

void BuildMap(DriveMapState& m) {
    for (DriveEntry& e : m.drives) e.valid = false;
    std::vector<MountLine> table = ReadMountTable(m.mountinfo);

    std::string filePaths[26];
    if (ReadDrivesFile(filePaths)) {
        for (int i = 0; i < 26; i++) {
            if (filePaths[i].empty()) continue;
            const MountLine* best = nullptr;
            for (const MountLine& line : table) {
                if (!IsPathPrefix(line.mount, filePaths[i].c_str())) continue;
                if (!best || line.mount.size() >= best->mount.size()) best = &line;
            }
            SetEntry(m.drives[i], filePaths[i], best ? best->type : "", best ? best->source : "");
            m.history[i] = filePaths[i];
        }
    } else {
        DriveEntry& c = m.drives[2];
        std::string rootType, rootSource;
        for (const MountLine& line : table) {
            if (line.mount == "/") {
                rootType = line.type;
                rootSource = line.source;
            }
        }
        SetEntry(c, "/", rootType, rootSource);
        m.history[2] = "/";
        for (const MountLine& line : table) {
            const std::string& mp = line.mount;
            if (mp == "/" || InList(kPseudoTypes, line.type.c_str())) continue;
            bool system = mp.rfind("/proc", 0) == 0 || mp.rfind("/sys", 0) == 0 ||
                          mp.rfind("/dev", 0) == 0 || mp.rfind("/run", 0) == 0 ||
                          mp.rfind("/snap", 0) == 0;
            if (system && mp.rfind("/run/media/", 0) != 0) continue;
            bool taken = false;
            for (int i = 0; i < 26 && !taken; i++) {
                taken = (m.drives[i].valid && mp == m.drives[i].mount) ||
                        (m.runtime[i].set && mp == m.runtime[i].posix);
            }
            if (taken) continue;
            // The letter this mount point had before, else the next letter
            // from D that has never named anything this session.
            int letter = -1;
            for (int i = 3; i < 26 && letter < 0; i++)
                if (m.history[i] == mp && !m.drives[i].valid && !m.runtime[i].set) letter = i;
            for (int i = 3; i < 26 && letter < 0; i++)
                if (m.history[i].empty() && !m.drives[i].valid && !m.runtime[i].set) letter = i;
            if (letter < 0) continue;
            SetEntry(m.drives[letter], mp, line.type, line.source);
            m.history[letter] = mp;
        }
    }
    for (int i = 0; i < 26; i++) {
        if (!m.runtime[i].set) continue;
        SetEntry(m.drives[i], m.runtime[i].posix, "smb", "");
    }
    m.loaded = true;
}

void EnsureLoaded(DriveMapState& m) {
    if (!m.loaded) BuildMap(m);
}

int LetterIndex(int letter) {
    if (letter >= 'a' && letter <= 'z') letter -= 32;
    return letter >= 'A' && letter <= 'Z' ? letter - 'A' : -1;
}

// A snapshot of one entry, taken under the lock.
struct DriveInfo {
    char mount[kMountMax];
    char type[kTypeMax];
    char source[kSourceMax];
    uint64_t dev;
    bool runtime;
    WCHAR display[kDisplayMax];
};

bool GetDriveInfo(int index, DriveInfo* info) {
    DriveMapState& m = Map();
    std::lock_guard<std::mutex> guard(m.lock);
    EnsureLoaded(m);
    const DriveEntry& e = m.drives[index];
    if (!e.valid) return false;
    std::memcpy(info->mount, e.mount, sizeof info->mount);
    std::memcpy(info->type, e.type, sizeof info->type);
    std::memcpy(info->source, e.source, sizeof info->source);
    info->dev = e.dev;
    info->runtime = m.runtime[index].set;
    std::memcpy(info->display, m.runtime[index].display, sizeof info->display);
    return true;
}

// Reads a sysfs "removable" flag: 1 when it holds "1", 0 for other content,
// -1 when it cannot be opened.
int ReadRemovable(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return -1;
    char buf[8] = {};
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    return n >= 1 && buf[0] == '1' ? 1 : 0;
}

bool CopyWide(LPWSTR out, DWORD size, const WCHAR* s) {
    size_t n = wcslen(s);
    if (n >= size) return false;
    wmemcpy(out, s, n + 1);
    return true;
}

} // namespace

DWORD DeviceSerialNumber(uint64_t dev) {
    uint64_t v = static_cast<uint64_t>(minor(dev)) ^ (dev >> 32) ^
                 static_cast<uint64_t>(major(dev)) * 0x10001u;
    return static_cast<DWORD>(v);
}

bool DriveMapGetMount(int letter, char* out, size_t outSize) {
    int i = LetterIndex(letter);
    if (i < 0 || outSize == 0) return false;
    DriveMapState& m = Map();
    std::lock_guard<std::mutex> guard(m.lock);
    EnsureLoaded(m);
    if (!m.drives[i].valid || std::strlen(m.drives[i].mount) >= outSize) return false;
    std::strcpy(out, m.drives[i].mount);
    return true;
}

bool DriveFindForPath(const char* posix, int* letter, size_t* prefixLen) {
    if (!posix) return false;
    DriveMapState& m = Map();
    std::lock_guard<std::mutex> guard(m.lock);
    EnsureLoaded(m);
    int best = -1;
    size_t bestLen = 0;
    for (int i = 0; i < 26; i++) {
        const DriveEntry& e = m.drives[i];
        if (!e.valid) continue;
        if (std::strcmp(e.mount, "/") == 0) {
            if (best < 0 && posix[0] == '/') best = i;
            continue;
        }
        size_t n = std::strlen(e.mount);
        if (std::strncmp(posix, e.mount, n) == 0 && (posix[n] == 0 || posix[n] == '/') &&
            (best < 0 || n > bestLen)) {
            best = i;
            bestLen = n;
        }
    }
    if (best < 0) return false;
    *letter = 'A' + best;
    *prefixLen = bestLen;
    return true;
}

bool DriveMappedPath(int letter, WCHAR* out, size_t outUnits) {
    int i = LetterIndex(letter);
    if (i < 0 || outUnits == 0) return false;
    {
        DriveMapState& m = Map();
        std::lock_guard<std::mutex> guard(m.lock);
        if (m.runtime[i].set) {
            if (wcslen(m.runtime[i].display) >= outUnits) return false;
            wcscpy(out, m.runtime[i].display);
            return out[0] != 0;
        }
    }
    DriveNameHookFn hook = gDriveNameHook.load();
    if (!hook) return false;
    const WCHAR* name = hook('A' + i);
    if (!name || !name[0] || wcslen(name) >= outUnits) return false;
    wcscpy(out, name);
    return true;
}

bool DriveMapSet(int letter, const char* posix, const WCHAR* display) {
    int i = LetterIndex(letter);
    if (i < 0 || !posix || std::strlen(posix) >= kMountMax ||
        (display && wcslen(display) >= kDisplayMax))
        return false;
    DriveMapState& m = Map();
    std::lock_guard<std::mutex> guard(m.lock);
    RuntimeMapping& r = m.runtime[i];
    r.set = true;
    std::strcpy(r.posix, posix);
    size_t n = std::strlen(r.posix);
    while (n > 1 && r.posix[n - 1] == '/') r.posix[--n] = 0;
    if (display)
        wcscpy(r.display, display);
    else
        r.display[0] = 0;
    m.loaded = false;
    return true;
}

void DriveMapClear(int letter) {
    int i = LetterIndex(letter);
    if (i < 0) return;
    DriveMapState& m = Map();
    std::lock_guard<std::mutex> guard(m.lock);
    m.runtime[i].set = false;
    m.loaded = false;
}

bool DriveMapGetPosix(int letter, char* out, size_t outSize) {
    int i = LetterIndex(letter);
    if (i < 0 || outSize == 0) return false;
    DriveMapState& m = Map();
    std::lock_guard<std::mutex> guard(m.lock);
    if (!m.runtime[i].set || std::strlen(m.runtime[i].posix) >= outSize) return false;
    std::strcpy(out, m.runtime[i].posix);
    return true;
}

void DriveMapSetSources(const char* mountinfo, const char* sysBlockRoot) {
    DriveMapState& m = Map();
    std::lock_guard<std::mutex> guard(m.lock);
    m.mountinfo = mountinfo ? mountinfo : "/proc/self/mountinfo";
    m.sysBlock = sysBlockRoot ? sysBlockRoot : "/sys/dev/block";
    m.loaded = false;
    for (std::string& h : m.history) h.clear();
    for (RuntimeMapping& r : m.runtime) r.set = false;
}

int DriveIndexOfRoot(const WCHAR* root) {
    if (!root) {
        char cwd[kMountMax];
        int letter;
        size_t len;
        if (!::getcwd(cwd, sizeof cwd) || !DriveFindForPath(cwd, &letter, &len)) return -1;
        return letter - 'A';
    }
    int i = LetterIndex(root[0]);
    if (i < 0 || root[1] != ':') return -1;
    DriveMapState& m = Map();
    std::lock_guard<std::mutex> guard(m.lock);
    EnsureLoaded(m);
    return m.drives[i].valid ? i : -1;
}

DWORD GetLogicalDrives() {
    DriveMapState& m = Map();
    std::lock_guard<std::mutex> guard(m.lock);
    BuildMap(m);
    DWORD bits = 0;
    for (int i = 0; i < 26; i++)
        if (m.drives[i].valid) bits |= 1u << i;
    return bits;
}

UINT GetDriveTypeW(LPCWSTR root) {
    int index = DriveIndexOfRoot(root);
    DriveInfo info;
    if (index < 0 || !GetDriveInfo(index, &info)) return DRIVE_NO_ROOT_DIR;
    if (InList(kNetworkTypes, info.type)) return DRIVE_REMOTE;
    if (InList(kOpticalTypes, info.type)) return DRIVE_CDROM;
    if (info.dev == 0) return DRIVE_FIXED;
    std::string sysBlock;
    {
        DriveMapState& m = Map();
        std::lock_guard<std::mutex> guard(m.lock);
        sysBlock = m.sysBlock;
    }
    std::string dev = sysBlock + "/" + std::to_string(major(info.dev)) + ":" +
                      std::to_string(minor(info.dev));
    int removable = ReadRemovable(dev + "/removable");
    // A partition has no flag of its own; its disk, one level up, has.
    if (removable < 0) removable = ReadRemovable(dev + "/../removable");
    return removable == 1 ? DRIVE_REMOVABLE : DRIVE_FIXED;
}

UINT GetDriveTypeA(LPCSTR root) {
    if (!root) return GetDriveTypeW(nullptr);
    WCHAR wide[3] = {static_cast<unsigned char>(root[0]),
                     root[0] ? static_cast<WCHAR>(static_cast<unsigned char>(root[1])) : WCHAR(0),
                     0};
    return GetDriveTypeW(wide);
}

BOOL GetVolumeInformationW(LPCWSTR root, LPWSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maxComponentLength,
                           LPDWORD fileSystemFlags, LPWSTR fileSystemName,
                           DWORD fileSystemNameSize) {
    int index = DriveIndexOfRoot(root);
    DriveInfo info;
    if (index < 0 || !GetDriveInfo(index, &info)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    bool fits = true;
    if (volumeName) {
        WCHAR label[kMountMax];
        if (info.runtime && info.display[0]) {
            wcscpy(label, info.display);
        } else if (Utf8ToUtf16(info.mount, -1, label, kMountMax, true) < 0) {
            label[0] = 0;
        }
        if (!CopyWide(volumeName, volumeNameSize, label)) {
            if (volumeNameSize > 0) volumeName[0] = 0;
            fits = false;
        }
    }
    if (fileSystemName) {
        WCHAR type[kTypeMax];
        if (!info.type[0]) {
            wcscpy(type, u"UNKNOWN");
        } else {
            size_t i = 0;
            for (; info.type[i]; i++) {
                unsigned char c = static_cast<unsigned char>(info.type[i]);
                type[i] = static_cast<WCHAR>(c >= 'a' && c <= 'z' ? c - 32 : c);
            }
            type[i] = 0;
        }
        if (!CopyWide(fileSystemName, fileSystemNameSize, type)) {
            if (fileSystemNameSize > 0) fileSystemName[0] = 0;
            fits = false;
        }
    }
    if (serialNumber) *serialNumber = DeviceSerialNumber(info.dev);
    if (maxComponentLength) {
        struct statvfs sv;
        *maxComponentLength =
            ::statvfs(info.mount, &sv) == 0 ? static_cast<DWORD>(sv.f_namemax) : 255;
    }
    if (fileSystemFlags) {
        *fileSystemFlags = InList(kCaseBlindTypes, info.type)
                               ? FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK
                               : FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES |
                                     FILE_UNICODE_ON_DISK | FILE_PERSISTENT_ACLS;
    }
    if (!fits) {
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    return TRUE;
}

BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maxComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemName,
                           DWORD fileSystemNameSize) {
    WCHAR wideRoot[QPOSIX_PATH_MAX_UNITS + 1];
    if (root && MultiByteToWideChar(CP_ACP, 0, root, -1, wideRoot,
                                    static_cast<int>(QPOSIX_PATH_MAX_UNITS + 1)) == 0) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    WCHAR label[kMountMax];
    WCHAR type[kTypeMax];
    BOOL ok = GetVolumeInformationW(root ? wideRoot : nullptr, volumeName ? label : nullptr,
                                    kMountMax, serialNumber, maxComponentLength,
                                    fileSystemFlags, fileSystemName ? type : nullptr, kTypeMax);
    if (!ok) return FALSE;
    bool fits = true;
    if (volumeName && WideCharToMultiByte(CP_ACP, 0, label, -1, volumeName,
                                          static_cast<int>(volumeNameSize), nullptr, nullptr) == 0) {
        if (volumeNameSize > 0) volumeName[0] = 0;
        fits = false;
    }
    if (fileSystemName &&
        WideCharToMultiByte(CP_ACP, 0, type, -1, fileSystemName,
                            static_cast<int>(fileSystemNameSize), nullptr, nullptr) == 0) {
        if (fileSystemNameSize > 0) fileSystemName[0] = 0;
        fits = false;
    }
    if (!fits) {
        SetLastError(ERROR_MORE_DATA);
        return FALSE;
    }
    return TRUE;
}

BOOL GetVolumePathNameW(LPCWSTR path, LPWSTR out, DWORD size) {
    if (!path || !out || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const WCHAR* p = path;
    if (p[0] == '\\' && p[1] == '\\' && p[2] == '?' && p[3] == '\\') p += 4;
    WCHAR root[260];
    if (LetterIndex(p[0]) >= 0 && p[1] == ':') {
        root[0] = static_cast<WCHAR>(p[0] >= 'a' && p[0] <= 'z' ? p[0] - 32 : p[0]);
        root[1] = ':';
        root[2] = '\\';
        root[3] = 0;
    } else if (path[0] == '\\' && path[1] == '\\' && path[2] != '?') {
        // "\\server\share\": through the backslash after the share name.
        const WCHAR* q = path + 2;
        const WCHAR* server = wcschr(q, '\\');
        const WCHAR* share = server ? wcschr(server + 1, '\\') : nullptr;
        size_t n = share ? static_cast<size_t>(share - path) : wcslen(path);
        if (n + 1 > 258) {
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            return FALSE;
        }
        wmemcpy(root, path, n);
        root[n] = '\\';
        root[n + 1] = 0;
    } else {
        int index = DriveIndexOfRoot(nullptr);
        if (index >= 0) {
            root[0] = static_cast<WCHAR>('A' + index);
            root[1] = ':';
            root[2] = '\\';
            root[3] = 0;
        } else {
            // The current directory is under no drive letter: its root is "\".
            root[0] = '\\';
            root[1] = 0;
        }
    }
    if (!CopyWide(out, size, root)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    return TRUE;
}

namespace {

BOOL DiskFreeOfPosix(const char* posix, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                     PULARGE_INTEGER totalFree) {
    char cwd[kMountMax];
    if (!posix) posix = ::getcwd(cwd, sizeof cwd) ? cwd : "/";
    struct statvfs sv;
    if (::statvfs(posix, &sv) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    if (freeToCaller) freeToCaller->QuadPart = static_cast<ULONGLONG>(sv.f_bavail) * sv.f_frsize;
    if (total) total->QuadPart = static_cast<ULONGLONG>(sv.f_blocks) * sv.f_frsize;
    if (totalFree) totalFree->QuadPart = static_cast<ULONGLONG>(sv.f_bfree) * sv.f_frsize;
    return TRUE;
}

} // namespace

BOOL GetDiskFreeSpaceExW(LPCWSTR path, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree) {
    return DiskFreeOfPosix(path ? PathToPosix(path) : nullptr, freeToCaller, total, totalFree);
}

BOOL GetDiskFreeSpaceExA(LPCSTR path, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree) {
    return DiskFreeOfPosix(path ? PathToPosix(path) : nullptr, freeToCaller, total, totalFree);
}

BOOL GetDiskFreeSpaceW(LPCWSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD freeClusters, LPDWORD totalClusters) {
    int index = DriveIndexOfRoot(root);
    DriveInfo info;
    if (index < 0 || !GetDriveInfo(index, &info)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    struct statvfs sv;
    if (::statvfs(info.mount, &sv) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    auto cap = [](unsigned long long v) {
        return static_cast<DWORD>(v > 0xFFFFFFFFull ? 0xFFFFFFFFull : v);
    };
    if (bytesPerSector) *bytesPerSector = 512;
    if (sectorsPerCluster) {
        *sectorsPerCluster = sv.f_frsize == 0  ? 8
                             : sv.f_frsize < 512 ? 1
                                                 : cap(sv.f_frsize / 512);
    }
    if (freeClusters) *freeClusters = cap(sv.f_bavail);
    if (totalClusters) *totalClusters = cap(sv.f_blocks);
    return TRUE;
}

BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD freeClusters, LPDWORD totalClusters) {
    if (!root)
        return GetDiskFreeSpaceW(nullptr, sectorsPerCluster, bytesPerSector, freeClusters,
                                 totalClusters);
    WCHAR wide[4] = {static_cast<unsigned char>(root[0]), 0, 0, 0};
    if (root[0]) wide[1] = static_cast<unsigned char>(root[1]);
    return GetDiskFreeSpaceW(wide, sectorsPerCluster, bytesPerSector, freeClusters,
                             totalClusters);
}

DWORD QueryDosDeviceW(LPCWSTR device, LPWSTR out, DWORD size) {
    int index = device ? DriveIndexOfRoot(device) : -1;
    bool shape = device && (device[2] == 0 || (device[2] == '\\' && device[3] == 0));
    DriveInfo info;
    if (index < 0 || !shape || !GetDriveInfo(index, &info)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    WCHAR text[kMountMax];
    const char* name = info.source[0] ? info.source : info.mount;
    SSIZE_T n = Utf8ToUtf16(name, -1, text, kMountMax, true);
    if (n < 0 || !out || static_cast<size_t>(n) + 2 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    wmemcpy(out, text, static_cast<size_t>(n));
    out[n] = 0;
    out[n + 1] = 0;
    return static_cast<DWORD>(n + 2);
}

BOOL SetVolumeLabelA(LPCSTR, LPCSTR) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}
