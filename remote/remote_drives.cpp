// The drive table and the routing wrappers. No remote drive kind can be
// mounted yet: the table is empty and every wrapper hands its call to the
// layer unchanged, so its result and last error are the layer's own.
#include "remote/remote_drives.h"

#include <atomic>

namespace {

RemoteDrive* gRemoteDrives[26] = {};
std::atomic<DWORD> gRemoteDriveCount{0};

int SlotOfLetter(int letter) {
    const int upper = (letter & 0xFF) >= 'a' && (letter & 0xFF) <= 'z' ? (letter & 0xFF) - 32
                                                                         : (letter & 0xFF);
    return upper >= 'A' && upper <= 'Z' ? upper - 'A' : -1;
}

} // namespace

RemoteDrive* RdPathToDrive(LPCWSTR path, LPWSTR remotePath) {
    if (gRemoteDriveCount == 0 || !path || !*path) return nullptr;
    const WCHAR* p = path;
    if (p[0] == u'\\' && p[1] == u'\\') {
        if ((p[2] != u'?' && p[2] != u'.') || p[3] != u'\\') return nullptr;
        p += 4;
    }
    if (p[0] == 0 || p[1] != u':') return nullptr;
    const int slot = SlotOfLetter(p[0]);
    if (slot < 0 || !gRemoteDrives[slot]) return nullptr;
    RemoteDrive* drive = gRemoteDrives[slot];
    if (!remotePath) return drive;
    size_t n = 0;
    for (; drive->basePath[n] && n < 2047; n++) remotePath[n] = drive->basePath[n];
    if (n > 1 && remotePath[n - 1] == u'/') n--;
    const WCHAR* rest = p + 2;
    while (*rest == u'\\' || *rest == u'/') rest++;
    if (*rest) {
        if (!(n == 1 && remotePath[0] == u'/') && n < 2047) remotePath[n++] = u'/';
        for (; *rest && n < 2047; rest++) remotePath[n++] = *rest == u'\\' ? u'/' : *rest;
    }
    while (n > 1 && remotePath[n - 1] == u'/') n--;
    remotePath[n] = 0;
    return drive;
}

BOOL RdIsRemotePath(LPCWSTR path) { return RdPathToDrive(path, nullptr) != nullptr; }

DWORD RdGetLogicalDrives() {
    DWORD mask = GetLogicalDrives();
    if (gRemoteDriveCount == 0) return mask;
    for (int slot = 0; slot < 26; slot++)
        if (gRemoteDrives[slot]) mask |= DWORD(1) << slot;
    return mask;
}

namespace {
// A letter the tests have answered for as remote (0: none).
std::atomic<int> gRemoteForTest{0};
} // namespace

void RdTreatAsRemoteForTest(int letter) {
    gRemoteForTest.store(letter >= 'a' && letter <= 'z' ? letter - 32 : letter);
}

BOOL RdIsRemoteDrive(int letter) {
    if (const int forTest = gRemoteForTest.load();
        forTest && forTest == (letter >= 'a' && letter <= 'z' ? letter - 32 : letter))
        return TRUE;
    if (gRemoteDriveCount == 0) return FALSE;
    const int slot = SlotOfLetter(letter);
    return slot >= 0 && gRemoteDrives[slot] != nullptr;
}

const WCHAR* RdDriveDisplayName(int letter) {
    const int slot = SlotOfLetter(letter);
    if (gRemoteDriveCount == 0 || slot < 0 || !gRemoteDrives[slot]) return u"";
    return gRemoteDrives[slot]->displayUrl;
}

void RdUnmount(int letter) {
    // Nothing can be mounted yet, so there is never a session to end.
    (void)letter;
}

BOOL RdGetDiskFree(LPCWSTR path, ULONGLONG* freeBytes, ULONGLONG* totalBytes) {
    // Only a mounted drive's kind can tell; with none mounted no path is
    // remote.
    (void)path;
    (void)freeBytes;
    (void)totalBytes;
    return FALSE;
}

HANDLE RdFindFirstFileW(LPCWSTR path, LPWIN32_FIND_DATAW data) {
    return FindFirstFileW(path, data);
}

HANDLE RdFindFirstFileExW(LPCWSTR path, FINDEX_INFO_LEVELS level, LPVOID data,
                          FINDEX_SEARCH_OPS op, LPVOID filter, DWORD flags) {
    return FindFirstFileExW(path, level, data, op, filter, flags);
}

BOOL RdFindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data) { return FindNextFileW(find, data); }

BOOL RdFindClose(HANDLE find) { return FindClose(find); }

HANDLE RdCreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                     DWORD disposition, DWORD flags, HANDLE templateFile) {
    return CreateFileW(name, access, share, security, disposition, flags, templateFile);
}

BOOL RdCloseHandle(HANDLE handle) { return CloseHandle(handle); }

BOOL RdWriteFile(HANDLE file, LPCVOID buffer, DWORD length, LPDWORD written,
                 LPOVERLAPPED overlapped) {
    return WriteFile(file, buffer, length, written, overlapped);
}

DWORD RdGetFileSize(HANDLE file, LPDWORD high) { return GetFileSize(file, high); }

BOOL RdSetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access,
                   const FILETIME* write) {
    return SetFileTime(file, creation, access, write);
}

DWORD RdGetFileAttributesW(LPCWSTR path) { return GetFileAttributesW(path); }

BOOL RdSetFileAttributesW(LPCWSTR path, DWORD attributes) {
    return SetFileAttributesW(path, attributes);
}

BOOL RdDeleteFileW(LPCWSTR path) { return DeleteFileW(path); }

BOOL RdRemoveDirectoryW(LPCWSTR path) { return RemoveDirectoryW(path); }

BOOL RdCreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security) {
    return CreateDirectoryW(path, security);
}

BOOL RdSetCurrentDirectoryW(LPCWSTR path) { return SetCurrentDirectoryW(path); }

BOOL RdCopyFileW(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
    return CopyFileW(from, to, failIfExists);
}

BOOL RdCopyFileExW(LPCWSTR from, LPCWSTR to, LPPROGRESS_ROUTINE progress, LPVOID data,
                   LPBOOL cancel, DWORD flags) {
    return CopyFileExW(from, to, progress, data, cancel, flags);
}

BOOL RdMoveFileW(LPCWSTR from, LPCWSTR to) { return MoveFileW(from, to); }

BOOL RdMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) { return MoveFileExW(from, to, flags); }

BOOL RdMoveFileWithProgressW(LPCWSTR from, LPCWSTR to, LPPROGRESS_ROUTINE progress,
                             LPVOID data, DWORD flags) {
    return MoveFileWithProgressW(from, to, progress, data, flags);
}

BOOL RdCreateHardLinkW(LPCWSTR newName, LPCWSTR existingName, LPSECURITY_ATTRIBUTES security) {
    return CreateHardLinkW(newName, existingName, security);
}

BOOLEAN RdCreateSymbolicLinkW(LPCWSTR linkName, LPCWSTR target, DWORD flags) {
    return CreateSymbolicLinkW(linkName, target, flags);
}

DWORD RdGetCompressedFileSizeW(LPCWSTR path, LPDWORD high) {
    return GetCompressedFileSizeW(path, high);
}

int RdSHFileOperationW(LPSHFILEOPSTRUCTW op) { return SHFileOperationW(op); }

DWORD RdGetShortPathNameW(LPCWSTR path, LPWSTR out, DWORD size) {
    return GetShortPathNameW(path, out, size);
}

DWORD RdGetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR out, LPWSTR* filePart) {
    return GetFullPathNameW(path, size, out, filePart);
}

BOOL RdGetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                             LPDWORD serialNumber, LPDWORD maxComponentLength,
                             LPDWORD fileSystemFlags, LPSTR fileSystemName,
                             DWORD fileSystemNameSize) {
    return GetVolumeInformationA(root, volumeName, volumeNameSize, serialNumber,
                                 maxComponentLength, fileSystemFlags, fileSystemName,
                                 fileSystemNameSize);
}

BOOL RdGetVolumeInformationW(LPCWSTR root, LPWSTR volumeName, DWORD volumeNameSize,
                             LPDWORD serialNumber, LPDWORD maxComponentLength,
                             LPDWORD fileSystemFlags, LPWSTR fileSystemName,
                             DWORD fileSystemNameSize) {
    return GetVolumeInformationW(root, volumeName, volumeNameSize, serialNumber,
                                 maxComponentLength, fileSystemFlags, fileSystemName,
                                 fileSystemNameSize);
}

UINT RdGetDriveTypeA(LPCSTR root) { return GetDriveTypeA(root); }

UINT RdGetDriveTypeW(LPCWSTR root) { return GetDriveTypeW(root); }

BOOL RdGetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                         LPDWORD freeClusters, LPDWORD totalClusters) {
    return GetDiskFreeSpaceA(root, sectorsPerCluster, bytesPerSector, freeClusters,
                             totalClusters);
}

BOOL RdGetDiskFreeSpaceExA(LPCSTR path, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                           PULARGE_INTEGER totalFree) {
    return GetDiskFreeSpaceExA(path, freeToCaller, total, totalFree);
}

FILE* Rd_wfopen(LPCWSTR path, LPCWSTR mode) { return _wfopen(path, mode); }

int Rd_wstat(LPCWSTR path, QSTAT* out) { return _wstat(path, out); }

int Rd_waccess(LPCWSTR path, int mode) { return _waccess(path, mode); }
