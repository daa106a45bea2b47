// The free-space and encryption checks before a copy.
#include "ui/copy_prompts.h"
#include "platform/file_utils.h"
#include "remote/remote_drives.h"

namespace {

inline constexpr DWORD kSupportsEncryption = 0x20000;

WCHAR gCachedVolume[261] = {};
int gCachedAnswer = 0;

// "X:\" of a path with a drive (a "\\?\" prefix skipped) into root; false
// for any other path.
bool DriveRoot(const WCHAR* path, WCHAR root[4]) {
    if (path[0] == u'\\' && path[1] == u'\\' && (path[2] == u'?' || path[2] == u'.') &&
        path[3] == u'\\')
        path += 4;
    const WCHAR c = path[0];
    if (!((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) || path[1] != u':') return false;
    root[0] = c;
    root[1] = u':';
    root[2] = u'\\';
    root[3] = 0;
    return true;
}

bool StartsWithNoCase(const WCHAR* text, const char* prefix) {
    for (; *prefix; text++, prefix++) {
        const WCHAR c = *text >= u'a' && *text <= u'z' ? WCHAR(*text - 32) : *text;
        if (c != WCHAR(*prefix)) return false;
    }
    return true;
}

// A FAT file system, which cannot hold a file of 4 GiB or more: named
// "FAT..." by the system, and here after its mount type, "VFAT" or "MSDOS".
bool IsFatName(const WCHAR* name) {
    return StartsWithNoCase(name, "FAT") || StartsWithNoCase(name, "VFAT") ||
           StartsWithNoCase(name, "MSDOS");
}

} // namespace

int VolumeSupportsEncryption(const WCHAR* path) {
    WCHAR root[4];
    if (!path || !DriveRoot(path, root)) return 1;
    if (wcscmp(root, gCachedVolume) == 0) return gCachedAnswer;
    DWORD flags = 0;
    const BOOL read =
        RdGetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0);
    gCachedAnswer = !read || (flags & kSupportsEncryption) ? 1 : 0;
    wcscpy(gCachedVolume, root);
    return gCachedAnswer;
}

void ForgetEncryptionVolume() {
    gCachedVolume[0] = 0;
}

DWORD CheckFreeSpace(const WCHAR* target, LONGLONG need) {
    if (!target || (target[0] == u'\\' && target[1] == u'\\')) return 0;
    WCHAR root[4];
    if (!DriveRoot(target, root)) return 0;
    if (need > 0xFFFFFFFFLL) {
        WCHAR fileSystem[32] = {};
        if (RdGetVolumeInformationW(root, nullptr, 0, nullptr, nullptr, nullptr, fileSystem, 32) &&
            IsFatName(fileSystem))
            return 9990;
    }
    ULONGLONG freeBytes = 0;
    if (RdGetDriveTypeW(root) == DRIVE_REMOTE) {
        ULONGLONG total = 0;
        if (!RdGetDiskFree(root, &freeBytes, &total)) freeBytes = 0;
    } else {
        const char narrow[4] = {char(root[0]), ':', '\\', 0};
        DiskGeometry geometry{};
        const DWORD error = qioGetDiskSpace(narrow, &geometry, &freeBytes);
        if (error) return error;
    }
    if (freeBytes == 0 || freeBytes >= ULONGLONG(need)) return 0;
    WIN32_FIND_DATAW data;
    const HANDLE find = RdFindFirstFileW(target, &data);
    if (find == INVALID_HANDLE_VALUE) return 9997;
    RdFindClose(find);
    const ULONGLONG existing = (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return freeBytes + existing < ULONGLONG(need) ? 9997 : 0;
}
