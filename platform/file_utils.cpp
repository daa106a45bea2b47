// The long-path file utilities: one file copied or moved with progress and
// cancel, its attributes and times carried, and the small file and drive
// questions of the commands. Every path-based call goes through the routing
// wrappers.
#include "platform/file_utils.h"
#include "main/startup_options.h"
#include "main/window_state.h"
#include "remote/remote_drives.h"
#include "tree/file_list.h"
#include "tree/tree_records.h"
#include "ui/copy_prompts.h"
#include "ui/error_dialog.h"
#include "ui/progress.h"
#include "ui/questions.h"

#include <algorithm>
#include <memory>
#include <string>

ULONGLONG gCopiedBytes = 0;

namespace {

// Room of a prefixed path: "\\?\", the longest target, a temporary suffix.
inline constexpr size_t kLongUnits = QIO_MAX_TARGET + 64;
inline constexpr DWORD kOwnLoopLargeBuffer = 0x100000;
inline constexpr DWORD kRetryPiece = 0x10000;
inline constexpr DWORD kRetryTries = 10;
inline constexpr DWORD kRetryPause = 50;
inline constexpr DWORD kDayBits = 0x1F;
inline constexpr DWORD kEncrypted = FILE_ATTRIBUTE_ENCRYPTED_BIT;
inline constexpr DWORD kCopyFailEncryption = 6000;
inline constexpr DWORD kMountPointTag = 0xA0000003u;

std::u16string ReparseTarget(const WCHAR* path, bool resolve);

// The bytes of the stream reported so far by the progress routine.
ULONGLONG gStreamMark = 0;

using LongPath = WCHAR[kLongUnits];

size_t Length(const WCHAR* s) {
    return s ? wcslen(s) : 0;
}

bool TooLong(const WCHAR* path) {
    return Length(path) > QIO_MAX_TARGET;
}

WCHAR Upper(WCHAR c) {
    return WCHAR(towupper(c));
}

// "\\?\" + path, always (the copy and move sources, the plain rename).
void Prefixed(const WCHAR* path, LongPath out) {
    const size_t n = std::min(Length(path), kLongUnits - 5);
    out[0] = u'\\';
    out[1] = u'\\';
    out[2] = u'?';
    out[3] = u'\\';
    std::copy(path, path + n, out + 4);
    out[n + 4] = 0;
}

// The long-path rule: no prefix for a path that begins with two
// backslashes.
void ByRule(const WCHAR* path, LongPath out) {
    if (path[0] == u'\\' && path[1] == u'\\') {
        const size_t n = std::min(Length(path), kLongUnits - 1);
        std::copy(path, path + n, out);
        out[n] = 0;
    } else {
        Prefixed(path, out);
    }
}

// The drive letter of a path ("X:..." or "\\?\X:..."), upper-cased; 0 for
// none.
WCHAR DriveOf(const WCHAR* path) {
    if (path[0] == u'\\' && path[1] == u'\\' && (path[2] == u'?' || path[2] == u'.') &&
        path[3] == u'\\')
        path += 4;
    if (path[0] && path[1] == u':') return Upper(path[0]);
    return 0;
}

void NameInError(const WCHAR* path) {
    gErrorDrive = DriveOf(path);
    if (path[0] == u'\\' && path[1] == u'\\' && path[2] == u'?' && path[3] == u'\\') path += 4;
    const size_t n = std::min<size_t>(Length(path), 1025);
    std::copy(path, path + n, gErrorPath);
    gErrorPath[n] = 0;
}

DWORD Failed() {
    const DWORD error = GetLastError();
    return error ? error : ERROR_GEN_FAILURE;
}

// Errors that go away when the other holder lets the file go: only these
// are worth waiting for.
bool Retryable(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// The attributes of the entry the command works on: the display list's
// entry with that index, or without a list the current directory's file;
// fallback when there is neither.
EntryHead* ListEntry(DWORD index) {
    if (gFileList) {
        if (index < gFMax) return ListEntries(gFileList)[index];
        return nullptr;
    }
    if (psiCurrent && psiCurrent->pFiles && index < psiCurrent->dwFiles)
        return reinterpret_cast<EntryHead*>(&psiCurrent->pFiles[index]);
    return nullptr;
}

DWORD EntryAttributes(DWORD index, DWORD fallback) {
    const EntryHead* entry = ListEntry(index);
    // The tree keeps a plain file's NORMAL attribute as 0; so does the copy.
    return entry ? entry->attributes : fallback & 0xFFFF & ~FILE_ATTRIBUTE_NORMAL;
}

// The copy switches applied to a source's attributes.
DWORD ApplyCopyFlags(DWORD attributes, CopyAttrFlags flags) {
    if (flags & COPYATTR_CLEAR_READONLY) attributes &= ~FILE_ATTRIBUTE_READONLY;
    if (flags & COPYATTR_SET_READONLY) attributes |= FILE_ATTRIBUTE_READONLY;
    if (flags & COPYATTR_SET_ARCHIVE) attributes |= FILE_ATTRIBUTE_ARCHIVE;
    if (flags & COPYATTR_CLEAR_ARCHIVE) attributes &= ~FILE_ATTRIBUTE_ARCHIVE;
    return attributes;
}

// The layer's function of that name exists (it is looked up the way the
// system's optional functions are).
bool SystemHas(const char* name) {
    const HMODULE kernel = GetModuleHandleW(u"KERNEL32.DLL");
    return kernel && GetProcAddress(kernel, name) != nullptr;
}

// Deletes a file this copy made; a failure is tried once more, so that a
// passing refusal does not leave a stray temporary behind.
void RemoveMade(const WCHAR* path) {
    if (!RdDeleteFileW(path)) RdDeleteFileW(path);
}

// The source's mode carried to the copy the own loop made (the layer's
// copy carries it itself). File systems without modes refuse: ignored.
void CarryMode(const WCHAR* path, WORD modeWord) {
    if (!(modeWord & FILE_MODE_KNOWN)) return;
    WCHAR text[8];
    const unsigned mode = modeWord & 07777u;
    text[0] = WCHAR(u'0' + ((mode >> 9) & 7));
    text[1] = WCHAR(u'0' + ((mode >> 6) & 7));
    text[2] = WCHAR(u'0' + ((mode >> 3) & 7));
    text[3] = WCHAR(u'0' + (mode & 7));
    text[4] = 0;
    FileSetModeText(path, text, nullptr);
}

// Both names lead to one file (a case variant on a file system that folds
// case, or a second link).
bool SameFile(const WCHAR* a, const WCHAR* b) {
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE ha = RdCreateFileW(a, 0, share, nullptr, OPEN_EXISTING, flags, nullptr);
    if (ha == INVALID_HANDLE_VALUE) return false;
    HANDLE hb = RdCreateFileW(b, 0, share, nullptr, OPEN_EXISTING, flags, nullptr);
    if (hb == INVALID_HANDLE_VALUE) {
        RdCloseHandle(ha);
        return false;
    }
    BY_HANDLE_FILE_INFORMATION ia{}, ib{};
    const bool same = GetFileInformationByHandle(ha, &ia) && GetFileInformationByHandle(hb, &ib) &&
                      ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
                      ia.nFileIndexHigh == ib.nFileIndexHigh &&
                      ia.nFileIndexLow == ib.nFileIndexLow;
    RdCloseHandle(hb);
    RdCloseHandle(ha);
    return same;
}

bool DifferOnlyInCase(const WCHAR* a, const WCHAR* b) {
    if (Length(a) != Length(b) || wcscmp(a, b) == 0) return false;
    for (; *a; a++, b++)
        if (Upper(*a) != Upper(*b)) return false;
    return true;
}

HANDLE OpenSource(const WCHAR* path, BOOL forWriting) {
    return RdCreateFileW(path, GENERIC_READ | (forWriting ? GENERIC_WRITE : 0),
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// A free temporary name beside target, created empty for writing only by
// this copy; INVALID_HANDLE_VALUE with the error of the last try.
HANDLE CreateTemporary(const WCHAR* target, LongPath temporary) {
    static const char16_t kHex[] = u"0123456789ABCDEF";
    const DWORD seed = GetCurrentProcessId() ^ GetTickCount();
    for (DWORD attempt = 0; attempt < 64; attempt++) {
        const DWORD number = (seed + attempt * 0x9E37u) & 0xFFFF;
        const size_t n = Length(target);
        std::copy(target, target + n, temporary);
        const char16_t suffix[] = {u'.',
                                   u'~',
                                   u'q',
                                   u'c',
                                   kHex[(number >> 12) & 15],
                                   kHex[(number >> 8) & 15],
                                   kHex[(number >> 4) & 15],
                                   kHex[number & 15],
                                   0};
        std::copy(suffix, suffix + 9, temporary + n);
        HANDLE file = RdCreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

// Writes all of count bytes. A write that takes nothing without an error
// (a full disk that the system reports that way) is a disk-full error: a
// short write never passes for the end of the copy.
DWORD WriteAll(HANDLE file, const BYTE* data, DWORD count, DWORD* written) {
    *written = 0;
    while (*written < count) {
        DWORD step = 0;
        if (!WriteFile(file, data + *written, count - *written, &step, nullptr)) return Failed();
        if (step == 0) return ERROR_DISK_FULL;
        *written += step;
    }
    return 0;
}

bool SeekTo(HANDLE file, ULONGLONG position) {
    LARGE_INTEGER to;
    to.QuadPart = LONGLONG(position);
    return SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != FALSE;
}

struct OwnLoopResult {
    DWORD error;
    bool timesWritten;
};

// The program's own read and write loop. The copy is written to a
// temporary name beside the target and takes the target's name only when
// it is complete, so an existing target is kept whole until then and a
// failure leaves neither a partial target nor the temporary file.
OwnLoopResult OwnLoopCopy(const WCHAR* source, const WCHAR* target, ULONGLONG size,
                          BOOL openSourceForWriting, bool targetExisted, BOOL overwrite,
                          WORD sourceMode) {
    HANDLE in = OpenSource(source, openSourceForWriting);
    if (in == INVALID_HANDLE_VALUE) return {Failed(), false};
    const DWORD bufferSize = qioOwnLoopBufferSize(size);
    gCopyBufferSize = bufferSize;
    std::unique_ptr<BYTE[]> buffer(new BYTE[bufferSize]);

    if (targetExisted && overwrite) {
        // The target must take the new data: refuse before anything is
        // copied when it cannot be written.
        HANDLE check = RdCreateFileW(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        if (check == INVALID_HANDLE_VALUE) {
            const DWORD error = Failed();
            RdCloseHandle(in);
            NameInError(target);
            return {error, false};
        }
        RdCloseHandle(check);
    }
    LongPath temporary;
    HANDLE out = CreateTemporary(target, temporary);
    if (out == INVALID_HANDLE_VALUE) {
        const DWORD error = Failed();
        RdCloseHandle(in);
        NameInError(target);
        return {error, false};
    }
    ULONGLONG consumed = 0; // source bytes read and dealt with
    ULONGLONG written = 0;
    auto abandon = [&](DWORD error) -> OwnLoopResult {
        RdCloseHandle(in);
        RdCloseHandle(out);
        RemoveMade(temporary);
        ShowProgress(3, LONGLONG(written));
        return {error, false};
    };
    DWORD answer = PromptCancelOrSkip();
    if (answer) return abandon(answer);

    DWORD piece = bufferSize;
    for (;;) {
        DWORD got = 0;
        DWORD error = ReadFile(in, buffer.get(), piece, &got, nullptr) ? 0 : Failed();
        DWORD put = 0;
        if (!error && got == 0) break;
        if (!error) error = WriteAll(out, buffer.get(), got, &put);
        if (error) {
            if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) {
                NameInError(target);
                return abandon(ERROR_DISK_FULL);
            }
            piece = std::min(piece, kRetryPiece);
            answer = ReportError(0, error);
            if (answer == ErrChoiceRetry) {
                if (!SeekTo(in, consumed) || !SeekTo(out, written)) return abandon(Failed());
                continue;
            }
            if (answer == ErrChoiceIgnore) {
                // The unreadable piece is left out of the copy.
                consumed += piece;
                if (!SeekTo(in, consumed) || !SeekTo(out, written)) return abandon(Failed());
                continue;
            }
            if (answer == ERROR_CANCELLED) gInterruptRequested = 1;
            return abandon(answer);
        }
        consumed += got;
        written += put;
        gCopiedBytes = written;
        ShowProgress(1, LONGLONG(put));
        if (got == piece) {
            answer = PromptCancelOrSkip();
            if (answer) return abandon(answer);
        }
    }
    FILETIME created{}, accessed{}, modified{};
    bool timesWritten = false;
    if (GetFileTime(in, &created, &accessed, &modified))
        timesWritten = SetFileTimeClamped(out, &created, &accessed, &modified) == 0;
    RdCloseHandle(in);
    if (!RdCloseHandle(out)) {
        const DWORD error = Failed();
        RemoveMade(temporary);
        NameInError(target);
        ShowProgress(3, LONGLONG(written));
        return {error, false};
    }
    CarryMode(temporary, sourceMode);
    const DWORD how = targetExisted && overwrite ? MOVEFILE_REPLACE_EXISTING : 0;
    if (!RdMoveFileExW(temporary, target, how)) {
        const DWORD error = Failed();
        RemoveMade(temporary);
        NameInError(target);
        ShowProgress(3, LONGLONG(written));
        return {error, false};
    }
    return {0, timesWritten};
}

// Sets times on the new copy: tried again only while another holder keeps
// the file (sharing or lock violations); any other refusal is final at once.
DWORD CarryTimes(const WCHAR* target, FILETIME* created, FILETIME* accessed, FILETIME* modified) {
    DWORD error = 0;
    for (DWORD attempt = 0; attempt < kRetryTries; attempt++) {
        if (attempt) Sleep(kRetryPause);
        HANDLE file = RdCreateFileW(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            error = Failed();
        } else {
            error = SetFileTimeClamped(file, created, accessed, modified);
            RdCloseHandle(file);
        }
        if (!error || !Retryable(error)) break;
    }
    return error;
}

BOOL CarryAttributes(const WCHAR* target, DWORD attributes) {
    for (DWORD attempt = 0; attempt < kRetryTries; attempt++) {
        if (attempt) Sleep(kRetryPause);
        if (RdSetFileAttributesW(target, attributes)) return TRUE;
        if (!Retryable(GetLastError())) break;
    }
    return FALSE;
}

// The target's actual last-write time, packed, for a copy whose times could
// not be carried.
void ActualTime(const WCHAR* target, ULONGLONG* outTime) {
    if (!outTime) return;
    WIN32_FIND_DATAW data;
    HANDLE find = RdFindFirstFileW(target, &data);
    if (find == INVALID_HANDLE_VALUE) return;
    RdFindClose(find);
    PackedDate date = 0;
    PackedTime clock = 0;
    FileTimeToPacked(&data.ftLastWriteTime, &date, &clock);
    *outTime = PackedDateTime64(date, clock);
}

// The encryption policy for an encrypted source: the copy flag to add
// through *copyFlags, or the answer that stops the copy.
DWORD EncryptionPolicy(const WCHAR* target, CopyAttrFlags flags, DWORD* copyFlags) {
    const DWORD policy = (flags >> COPYATTR_ENCRYPT_SHIFT) & 3;
    if (policy == 1) {
        *copyFlags |= COPY_FILE_ALLOW_DECRYPTED_DESTINATION;
        return 0;
    }
    int key;
    if (VolumeSupportsEncryption(target)) {
        if (policy != 2) return 0;
        key = PromptCopyDecrypted();
        if (key == 'Y') *copyFlags |= COPY_FILE_ALLOW_DECRYPTED_DESTINATION;
        if (key == 'Y' || key == 'N') return 0;
    } else {
        key = PromptCopyUnencrypted();
        if (key == 'Y') {
            *copyFlags |= COPY_FILE_ALLOW_DECRYPTED_DESTINATION;
            return 0;
        }
    }
    return key == 27 ? ERROR_CANCELLED : ErrChoiceSkip;
}

// The failed system copy: progress taken back, a cancel in the progress
// routine turned into its answer, the target named unless the source
// failed to read.
DWORD SystemCopyFailed(DWORD error, const WCHAR* target) {
    ShowProgress(3, LONGLONG(gCopiedBytes));
    if (error == ERROR_REQUEST_ABORTED) return gErrorAnswer;
    if (error != ERROR_READ_FAULT && error != ERROR_CRC && error != ERROR_HANDLE_EOF)
        NameInError(target);
    return error;
}

} // namespace

DWORD gCopyBufferSize = 0;

DWORD qioOwnLoopBufferSize(ULONGLONG size) {
    if (size >= kOwnLoopLargeBuffer) return kOwnLoopLargeBuffer;
    return DWORD((size / 4096 + 1) * 4096);
}

bool qioLongPath(const WCHAR* path, WCHAR* out, size_t outUnits) {
    const size_t n = Length(path);
    const bool prefix = !(path[0] == u'\\' && path[1] == u'\\');
    if (n + (prefix ? 4 : 0) + 1 > outUnits) return false;
    size_t at = 0;
    if (prefix)
        for (const char16_t c : u"\\\\?\\") {
            if (!c) break;
            out[at++] = c;
        }
    std::copy(path, path + n, out + at);
    out[at + n] = 0;
    return true;
}

DWORD qioGetFileAttributes(const WCHAR* path) {
    if (TooLong(path)) {
        SetLastError(ERROR_BAD_PATHNAME);
        return INVALID_FILE_ATTRIBUTES;
    }
    LongPath full;
    ByRule(path, full);
    return RdGetFileAttributesW(full);
}

BOOL qioSetFileAttributes(const WCHAR* path, DWORD attributes) {
    if (TooLong(path)) {
        SetLastError(ERROR_BAD_PATHNAME);
        return FALSE;
    }
    LongPath full;
    ByRule(path, full);
    return RdSetFileAttributesW(full, attributes);
}

DWORD qioSetAttributesPlain(const WCHAR* path, DWORD unused, const FileInfoRec* info) {
    (void)unused;
    return RdSetFileAttributesW(path, info->attributes) ? 0 : Failed();
}

DWORD qioCreateDirectory(const WCHAR* path) {
    if (TooLong(path)) return ERROR_BAD_PATHNAME;
    LongPath full;
    ByRule(path, full);
    return RdCreateDirectoryW(full, nullptr) ? 0 : Failed();
}

DWORD qioMoveFile(const WCHAR* source, const WCHAR* target) {
    LongPath from, to;
    Prefixed(source, from);
    Prefixed(target, to);
    // Never a replaced target.
    return RdMoveFileW(from, to) ? 0 : Failed();
}

DWORD qioMoveFileChecked(const WCHAR* source, const WCHAR* target) {
    if (TooLong(target)) return ERROR_BAD_PATHNAME;
    return qioMoveFile(source, target);
}

DWORD qioCopyFile(const WCHAR* source, const WCHAR* target, BOOL overwrite) {
    if (TooLong(source) || TooLong(target)) return ERROR_BAD_PATHNAME;
    LongPath from, to;
    Prefixed(source, from);
    Prefixed(target, to);
    return RdCopyFileW(from, to, !overwrite) ? 0 : Failed();
}

DWORD qioSetFileTime(int which, DWORD openFlags, const WCHAR* path, BOOL isDirectory,
                     const FILETIME* time) {
    if (TooLong(path)) return ERROR_BAD_PATHNAME;
    if (which < 0 || which > 3) return 0;
    LongPath full;
    Prefixed(path, full);
    HANDLE file =
        RdCreateFileW(full, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, isDirectory ? FILE_FLAG_BACKUP_SEMANTICS : openFlags, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Failed();
    const FILETIME* created = which == 1 || which == 3 ? time : nullptr;
    const FILETIME* accessed = which == 2 || which == 3 ? time : nullptr;
    const FILETIME* modified = which == 0 || which == 3 ? time : nullptr;
    const DWORD error = RdSetFileTime(file, created, accessed, modified) ? 0 : Failed();
    RdCloseHandle(file);
    return error;
}

DWORD qioDeleteFile(const WCHAR* path, BOOL toTrash, BOOL isDirectory) {
    const WCHAR root[4] = {path[0], path[0] ? path[1] : WCHAR(0),
                           path[0] && path[1] ? path[2] : WCHAR(0), 0};
    if (toTrash && RdGetDriveTypeW(root) == DRIVE_FIXED) {
        if (!isDirectory) {
            HANDLE file = RdCreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE) return Failed();
            RdCloseHandle(file);
        }
        std::u16string list(path);
        list.push_back(0);
        SHFILEOPSTRUCTW op{};
        op.wFunc = FO_DELETE;
        op.pFrom = list.c_str();
        op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NO_CONNECTED_ELEMENTS |
                    FOF_WANTNUKEWARNING;
        const int result = RdSHFileOperationW(&op);
        if (result == 7 || result == 8 || op.fAnyOperationsAborted) return ErrChoiceSkip;
        return DWORD(result);
    }
    LongPath full;
    ByRule(path, full);
    const BOOL done = isDirectory ? RdRemoveDirectoryW(full) : RdDeleteFileW(full);
    return done ? 0 : Failed();
}

DWORD CopyProgressCallback(LARGE_INTEGER totalFileSize, LARGE_INTEGER totalBytesTransferred,
                           LARGE_INTEGER streamSize, LARGE_INTEGER streamBytesTransferred,
                           DWORD streamNumber, DWORD callbackReason, HANDLE sourceFile,
                           HANDLE destinationFile, LPVOID data) {
    (void)totalFileSize;
    (void)totalBytesTransferred;
    (void)streamSize;
    (void)streamNumber;
    (void)sourceFile;
    (void)destinationFile;
    (void)data;
    const DWORD answer = PromptCancelOrSkip();
    if (answer) {
        gErrorAnswer = answer;
        return PROGRESS_CANCEL;
    }
    if (callbackReason == CALLBACK_STREAM_SWITCH) {
        gStreamMark = 0;
    } else if (callbackReason == CALLBACK_CHUNK_FINISHED) {
        const ULONGLONG now = ULONGLONG(streamBytesTransferred.QuadPart);
        if (now > gStreamMark) ShowProgress(1, LONGLONG(now - gStreamMark));
        gStreamMark = now;
        gCopiedBytes = now;
    }
    return PROGRESS_CONTINUE;
}

DWORD qioCopyWithProgress(const WCHAR* source, const WCHAR* target, DWORD index, BOOL overwrite,
                          BOOL openSourceForWriting, CopyAttrFlags flags, DWORD* outAttributes,
                          ULONGLONG* outTime) {
    ThroughputMark();
    if (TooLong(target)) {
        NameInError(target);
        return ERROR_BAD_PATHNAME;
    }
    LongPath from, to;
    Prefixed(source, from);
    ByRule(target, to);
    NameInError(source);
    gCopiedBytes = 0;
    gStreamMark = 0;

    WIN32_FIND_DATAW found;
    HANDLE find = RdFindFirstFileW(from, &found);
    if (find == INVALID_HANDLE_VALUE) return Failed();
    RdFindClose(find);
    const ULONGLONG size = ULONGLONG(found.nFileSizeHigh) << 32 | found.nFileSizeLow;

    DWORD error = CheckFreeSpace(target, LONGLONG(size));
    if (error) {
        gErrorPath[0] = 0;
        gErrorDrive = DriveOf(target);
        return error;
    }
    const DWORD sourceAttributes = EntryAttributes(index, found.dwFileAttributes);

    const DWORD before = RdGetFileAttributesW(to);
    if (before != INVALID_FILE_ATTRIBUTES && (before & FILE_ATTRIBUTE_DIRECTORY)) {
        NameInError(target);
        return ERROR_ALREADY_EXISTS;
    }
    const bool targetExisted = before != INVALID_FILE_ATTRIBUTES;
    if (targetExisted && !overwrite) {
        NameInError(target);
        return ERROR_FILE_EXISTS;
    }
    if (outTime) *outTime &= ~ULONGLONG(kDayBits);

    FILETIME created{}, accessed{}, modified{};
    bool timesPending = false;
    bool ownLoop = false;
    const bool remote = RdIsRemotePath(from) || RdIsRemotePath(to);
    const DWORD failIfExists = overwrite ? 0 : COPY_FILE_FAIL_IF_EXISTS;
    if (remote) {
        BOOL cancel = FALSE;
        if (!RdCopyFileExW(from, to, CopyProgressCallback, nullptr, &cancel, failIfExists)) {
            ShowProgress(3, LONGLONG(gCopiedBytes));
            error = Failed();
            if (error == ERROR_REQUEST_ABORTED) error = gErrorAnswer;
            NameInError(target);
            return error;
        }
    } else if (gSystemCopy) {
        HANDLE in = OpenSource(from, openSourceForWriting);
        if (in == INVALID_HANDLE_VALUE) return Failed();
        GetFileTime(in, &created, &accessed, &modified);
        RdCloseHandle(in);
        DWORD copyFlags = failIfExists;
        if (sourceAttributes & kEncrypted) {
            error = EncryptionPolicy(target, flags, &copyFlags);
            if (error) return error;
        }
        const bool withProgress = SystemHas("CopyFileExW");
        for (;;) {
            BOOL cancel = FALSE;
            const BOOL copied =
                withProgress
                    ? RdCopyFileExW(from, to, CopyProgressCallback, nullptr, &cancel, copyFlags)
                    : RdCopyFileW(from, to, (copyFlags & COPY_FILE_FAIL_IF_EXISTS) != 0);
            if (copied) break;
            error = Failed();
            if (error == kCopyFailEncryption &&
                !(copyFlags & COPY_FILE_ALLOW_DECRYPTED_DESTINATION) &&
                PromptCopyUnencrypted() == 'Y') {
                copyFlags |= COPY_FILE_ALLOW_DECRYPTED_DESTINATION;
                continue;
            }
            return SystemCopyFailed(error, target);
        }
        if (!withProgress) ShowProgress(1, LONGLONG(size));
        ShowProgress(1, 65535);
        // A copy made decrypted that the system still encrypted.
        if ((copyFlags & COPY_FILE_ALLOW_DECRYPTED_DESTINATION)) {
            const DWORD made = RdGetFileAttributesW(to);
            if (made != INVALID_FILE_ATTRIBUTES && (made & kEncrypted)) DecryptFileW(to, 0);
        }
        // A read-only source made a read-only copy: opened up so that its
        // times can be set; its attributes are set last.
        RdSetFileAttributesW(to, 0);
        timesPending = true;
    } else {
        ownLoop = true;
        const OwnLoopResult result = OwnLoopCopy(from, to, size, openSourceForWriting,
                                                 targetExisted, overwrite, WORD(found.dwReserved1));
        if (result.error) return result.error;
        timesPending = !result.timesWritten;
        if (timesPending) {
            HANDLE in = OpenSource(from, FALSE);
            if (in != INVALID_HANDLE_VALUE) {
                GetFileTime(in, &created, &accessed, &modified);
                RdCloseHandle(in);
            }
        }
    }

    ShowProgress(1, size == 0 ? 69999 : 70000);
    gErrorPath[0] = 0;
    gErrorDrive = DriveOf(target);

    if (timesPending && !remote) {
        if (CarryTimes(to, &created, &accessed, &modified) != 0) ActualTime(to, outTime);
    }

    DWORD attributes = ApplyCopyFlags(sourceAttributes, flags);
    if (attributes & kEncrypted) {
        const DWORD now = RdGetFileAttributesW(to);
        if (now == INVALID_FILE_ATTRIBUTES || !(now & kEncrypted)) attributes &= ~kEncrypted;
    }
    if ((ownLoop || remote) && attributes == FILE_ATTRIBUTE_ARCHIVE) {
        if (outAttributes) *outAttributes = FILE_ATTRIBUTE_ARCHIVE;
        return 0;
    }
    const BOOL set = CarryAttributes(to, attributes);
    if (outAttributes) *outAttributes = set ? attributes : before;
    return 0;
}

DWORD qioMoveWithProgress(const WCHAR* source, const WCHAR* target, DWORD index, BOOL overwrite,
                          CopyAttrFlags flags, DWORD* outAttributes, ULONGLONG* outTime) {
    if (wcscmp(source, target) == 0) {
        ShowProgress(1, 1);
        return 0;
    }
    ThroughputMark();
    LongPath from, to;
    Prefixed(source, from);
    Prefixed(target, to);
    NameInError(source);
    gErrorDrive = DriveOf(target);
    if (outTime) *outTime &= ~ULONGLONG(kDayBits);

    const WCHAR sourceDrive = DriveOf(source);
    const WCHAR targetDrive = DriveOf(target);
    const bool sameDrive = sourceDrive == targetDrive;
    const bool remote = RdIsRemotePath(from) || RdIsRemotePath(to);
    DWORD attributes;
    if ((gSystemMove || (gDirMode[gCurrentPane & 1] && sameDrive)) && !remote &&
        SystemHas("MoveFileWithProgressW")) {
        if (TooLong(target)) return ERROR_BAD_PATHNAME;
        const bool targetExisted = RdGetFileAttributesW(to) != INVALID_FILE_ATTRIBUTES;
        gCopiedBytes = 0;
        gStreamMark = 0;
        const DWORD how = MOVEFILE_COPY_ALLOWED | (overwrite ? MOVEFILE_REPLACE_EXISTING : 0);
        if (!RdMoveFileWithProgressW(from, to, CopyProgressCallback, nullptr, how)) {
            DWORD error = Failed();
            if (error == ERROR_REQUEST_ABORTED) return ERROR_CANCELLED;
            // A copy across file systems whose source could not be removed
            // is taken back: a failed move leaves one file, the source.
            if (!targetExisted && RdGetFileAttributesW(from) != INVALID_FILE_ATTRIBUTES &&
                RdGetFileAttributesW(to) != INVALID_FILE_ATTRIBUTES)
                RemoveMade(to);
            return error;
        }
        attributes = EntryAttributes(index, RdGetFileAttributesW(to));
        if (!outAttributes) {
            ShowProgress(1, 1);
            return 0;
        }
    } else if (!sameDrive) {
        const bool targetExisted = RdGetFileAttributesW(to) != INVALID_FILE_ATTRIBUTES;
        WIN32_FIND_DATAW found;
        HANDLE find = RdFindFirstFileW(from, &found);
        if (find == INVALID_HANDLE_VALUE) return Failed();
        RdFindClose(find);
        DWORD error;
        if (found.dwReserved0 == FIND_DATA_SYMLINK_TAG) {
            // A link moves as a link, never as a copy of what it points to.
            if (TooLong(target)) return ERROR_BAD_PATHNAME;
            const std::u16string linkTarget = ReparseTarget(from, false);
            if (linkTarget.empty()) return ERROR_INVALID_PARAMETER;
            if (!RdCreateSymbolicLinkW(to, linkTarget.c_str(),
                                       found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY
                                           ? SYMBOLIC_LINK_FLAG_DIRECTORY
                                           : 0)) {
                error = Failed();
                NameInError(target);
                return error;
            }
            if (outAttributes) *outAttributes = found.dwFileAttributes & 0xFFFF;
        } else {
            error = qioCopyWithProgress(source, target, index, overwrite, TRUE, flags,
                                        outAttributes, outTime);
            if (error) return error;
        }
        error = qioDeleteFile(source, FALSE, FALSE);
        if (error) {
            // The copy goes again, so that a failed move leaves one file;
            // a copy that replaced an older target stays, as the target.
            gErrorDrive = sourceDrive;
            NameInError(source);
            if (!targetExisted) RemoveMade(to);
            return error;
        }
        return 0;
    } else {
        if (TooLong(target)) return ERROR_BAD_PATHNAME;
        DWORD error = qioMoveFile(source, target);
        if (error == ERROR_ALREADY_EXISTS && DifferOnlyInCase(source, target)) {
            // Where case counts, 183 means another file has the name: both
            // are left as they are. Where it does not, the rename goes
            // through a third name.
            if (RdGetFileAttributesW(to) != INVALID_FILE_ATTRIBUTES && !SameFile(from, to))
                return ERROR_ALREADY_EXISTS;
            error = qioRenameCase(source, target);
        }
        if (error) return error;
        attributes = EntryAttributes(index, RdGetFileAttributesW(to));
    }

    attributes = ApplyCopyFlags(attributes, flags);
    const DWORD now = RdGetFileAttributesW(to);
    if (now != INVALID_FILE_ATTRIBUTES && (now & 0xFFFF & ~FILE_ATTRIBUTE_NORMAL) != attributes)
        RdSetFileAttributesW(to, attributes);
    if (EntryHead* entry = ListEntry(index)) {
        entry->attributes = WORD(attributes);
        entry->mode = 0;
    }
    ShowProgress(1, 1);
    if (outAttributes) *outAttributes = attributes;
    return 0;
}

DWORD qioRenameCase(const WCHAR* source, const WCHAR* target) {
    std::u16string middle(target);
    middle.push_back(u'$');
    if (middle.size() > QIO_MAX_TARGET) return ERROR_BAD_PATHNAME;
    DWORD error = qioMoveFile(source, middle.c_str());
    if (error) return error;
    error = qioMoveFile(middle.c_str(), target);
    // The first step is undone: no file is left under the third name.
    if (error && qioMoveFile(middle.c_str(), source) != 0) qioMoveFile(middle.c_str(), source);
    return error;
}

DWORD qioCreateLink(int kind, const WCHAR* target, const WCHAR* linkName, BOOL isDirectory) {
    if (kind == 1 || kind == 2) {
        return RdCreateSymbolicLinkW(linkName, target,
                                     isDirectory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0)
                   ? 0
                   : Failed();
    }
    if (kind == 3) return RdCreateHardLinkW(linkName, target, nullptr) ? 0 : Failed();
    return ERROR_INVALID_PARAMETER;
}

DWORD qioLinkUnsupported(const WCHAR* linkName, const WCHAR* target, DWORD flag) {
    (void)linkName;
    (void)target;
    (void)flag;
    return ERROR_NOT_SUPPORTED;
}

namespace {

// The target of the link path names, as the link holds it (resolve false)
// or completed against the link's directory when relative; empty when path
// is no link or cannot be read.
std::u16string ReparseTarget(const WCHAR* path, bool resolve) {
    HANDLE file = RdCreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    std::unique_ptr<BYTE[]> buffer(new BYTE[16384]());
    DWORD returned = 0;
    const BOOL read = DeviceIoControl(file, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.get(),
                                      16384, &returned, nullptr);
    RdCloseHandle(file);
    if (!read) return {};
    const auto* data = reinterpret_cast<const REPARSE_DATA_BUFFER*>(buffer.get());
    // A mount point's names start four bytes earlier: it has no flags word.
    const BYTE* names;
    if (data->ReparseTag == IO_REPARSE_TAG_SYMLINK)
        names = reinterpret_cast<const BYTE*>(data->SymbolicLinkReparseBuffer.PathBuffer);
    else if (data->ReparseTag == kMountPointTag)
        names = buffer.get() + 16;
    else
        return {};
    const WORD* lengths = reinterpret_cast<const WORD*>(buffer.get() + 8);
    const WORD substituteOffset = lengths[0], substituteLength = lengths[1];
    const WORD printOffset = lengths[2], printLength = lengths[3];
    if (size_t(printOffset) + printLength > 16000 ||
        size_t(substituteOffset) + substituteLength > 16000)
        return {};
    std::u16string found;
    if (printLength) {
        found.assign(reinterpret_cast<const WCHAR*>(names + printOffset), printLength / 2);
    } else if (substituteLength / 2 > 4) {
        found.assign(reinterpret_cast<const WCHAR*>(names + substituteOffset) + 4,
                     substituteLength / 2 - 4);
    }
    if (found.empty() || !resolve) return found;
    const bool absolute = (found.size() > 1 && found[1] == u':') ||
                          (found[0] == u'\\' && found.size() > 1 && found[1] == u'\\');
    if (absolute) return found;
    // A relative target names a place beside the link.
    std::u16string link(path);
    const size_t slash = link.find_last_of(u"\\/");
    found = (slash == std::u16string::npos ? std::u16string() : link.substr(0, slash + 1)) + found;
    WCHAR full[QIO_MAX_TARGET + 1];
    const DWORD n = RdGetFullPathNameW(found.c_str(), QIO_MAX_TARGET + 1, full, nullptr);
    if (n == 0 || n > QIO_MAX_TARGET) return {};
    return std::u16string(full, n);
}

} // namespace

WCHAR* qioGetReparseTarget(WCHAR* path) {
    const std::u16string found = ReparseTarget(path, true);
    if (found.empty() || found.size() > QIO_MAX_TARGET) return path;
    std::copy(found.begin(), found.end(), path);
    path[found.size()] = 0;
    return path;
}

int qioPathCrossesDrive(int letter, const WCHAR* path) {
    SetBusy(1);
    int crosses = 0;
    const size_t n = Length(path);
    size_t at = path[0] && path[1] == u':' ? (path[2] == u'\\' ? 3 : 2) : 0;
    const WCHAR want = Upper(WCHAR(letter));
    while (at < n && !crosses) {
        size_t end = at;
        while (end < n && path[end] != u'\\')
            end++;
        std::u16string part(path, end);
        const DWORD attributes = qioGetFileAttributes(part.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
            part.size() <= QIO_MAX_TARGET) {
            WCHAR target[QIO_MAX_TARGET + 1];
            wcscpy(target, part.c_str());
            if (wcscmp(qioGetReparseTarget(target), part.c_str()) != 0 && Upper(target[0]) != want)
                crosses = 1;
        }
        at = end + 1;
    }
    SetBusy(0);
    return crosses;
}

int qioIsOtherDrive(const WCHAR* letter, const WCHAR* path) {
    if (path[0] && path[1] == u':' && Upper(path[0]) != Upper(*letter)) return 1;
    return qioPathCrossesDrive(*letter, path);
}

int qioDirHasContents(const WCHAR* directory) {
    std::u16string pattern = u"\\\\?\\";
    pattern += directory;
    if (pattern.back() != u'\\') pattern += u'\\';
    pattern += u"*.*";
    SetBusy(1);
    int seen = 0;
    WIN32_FIND_DATAW data;
    HANDLE find = RdFindFirstFileW(pattern.c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const WCHAR* name = data.cFileName;
            if (name[0] == u'.' && (name[1] == 0 || (name[1] == u'.' && name[2] == 0))) continue;
            seen |= data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? 1 : 2;
        } while (seen != 3 && RdFindNextFileW(find, &data));
        RdFindClose(find);
    }
    SetBusy(0);
    return seen;
}

int qioWalkTree(const WCHAR* directory) {
    std::u16string pattern = u"\\\\?\\";
    pattern += directory;
    pattern += u"\\*";
    WIN32_FIND_DATAW data;
    HANDLE find = RdFindFirstFileW(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    int found = 0;
    do {
        if (gInterruptRequested) {
            found = 0;
            break;
        }
        const WCHAR* name = data.cFileName;
        if (name[0] == u'.' && (name[1] == 0 || (name[1] == u'.' && name[2] == 0))) continue;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) {
            found = 1;
            break;
        }
        // A link to a directory is never entered: a link that leads back up
        // the branch would make the walk endless.
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        std::u16string child(directory);
        child += u'\\';
        child += name;
        if (qioWalkTree(child.c_str())) {
            found = 1;
            break;
        }
    } while (RdFindNextFileW(find, &data));
    RdFindClose(find);
    return found;
}

int qioScanTreeFlags(const SubdirInfo* directory) {
    if (!directory) return 0;
    if (directory->bLogged && (directory->wAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) return 1;
    for (const SubdirInfo* child = directory->psiChild; child && child->psiParent == directory;
         child = child->psiNext)
        if (child != directory && qioScanTreeFlags(child)) return 1;
    return 0;
}

DWORD GetExeType(const WCHAR* path, DWORD* type) {
    SHFILEINFOW info;
    const DWORD_PTR answer = SHGetFileInfoW(path, 0, &info, sizeof info, SHGFI_EXETYPE);
    if ((answer & 0xFFFF) == 0x5A4D) {
        *type = 0;
        return 0;
    }
    *type = DWORD(answer & 0xFFFF);
    return *type == 0 ? 2 : 0;
}

DWORD qioGetFileSize(HANDLE file, ULONGLONG* size) {
    if (SystemHas("GetFileSizeEx")) {
        LARGE_INTEGER value;
        if (!GetFileSizeEx(file, &value)) return Failed();
        *size = ULONGLONG(value.QuadPart);
        return 0;
    }
    DWORD high = 0;
    const DWORD low = RdGetFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != 0) return Failed();
    *size = ULONGLONG(high) << 32 | low;
    return 0;
}

DWORD qioGetFileSizeByName(const WCHAR* path, ULONGLONG* size) {
    LongPath full;
    ByRule(path, full);
    HANDLE file = RdCreateFileW(full, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Failed();
    const DWORD error = qioGetFileSize(file, size);
    RdCloseHandle(file);
    return error;
}

DWORD qioGetCompressedSize(const WCHAR* path, DWORD* high) {
    if (!SystemHas("GetCompressedFileSizeW")) return 0;
    LongPath full;
    ByRule(path, full);
    return RdGetCompressedFileSizeW(full, high);
}

ULONGLONG qioSeek(HANDLE file, LONGLONG distance, DWORD origin) {
    if (origin == FILE_END) distance = -distance;
    LONG high = LONG(distance >> 32);
    const DWORD low = SetFilePointer(file, LONG(distance & 0xFFFFFFFF), &high, origin);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != 0) return ~0ULL;
    return ULONGLONG(DWORD(high)) << 32 | low;
}

DWORD qioGetDiskSpace(const char* path, DiskGeometry* geometry, ULONGLONG* freeBytes) {
    const WCHAR letter = WCHAR(path[0] && path[1] == ':' ? path[0] : 0);
    if (letter && RdIsRemoteDrive(letter)) {
        std::u16string wide;
        for (const char* p = path; *p; p++)
            wide.push_back(WCHAR(BYTE(*p)));
        if (wide.size() == 2) wide += u"\\";
        ULONGLONG free = 0, total = 0;
        geometry->sectorsPerCluster = 8;
        geometry->bytesPerSector = 512;
        if (RdGetDiskFree(wide.c_str(), &free, &total)) {
            geometry->totalClusters = total / 4096;
            geometry->freeClusters = free / 4096;
            *freeBytes = free;
        } else {
            geometry->totalClusters = 0;
            geometry->freeClusters = 0;
            *freeBytes = ~0ULL;
        }
        return 0;
    }
    std::string local(path);
    const size_t slash = local.find_last_of('\\');
    if (slash != std::string::npos)
        local.resize(slash + 1);
    else if (letter)
        local = std::string{char(letter), ':', '\\'};
    const std::string root = letter ? std::string{char(letter), ':', '\\'}
                                    : local.substr(0, std::min<size_t>(3, local.size()));
    for (;;) {
        ULARGE_INTEGER toCaller{}, total{}, totalFree{};
        DWORD sectors = 0, bytes = 0, freeClusters = 0, totalClusters = 0;
        if (RdGetDiskFreeSpaceExA(local.c_str(), &toCaller, &total, &totalFree) &&
            RdGetDiskFreeSpaceA(root.c_str(), &sectors, &bytes, &freeClusters, &totalClusters)) {
            const ULONGLONG cluster = ULONGLONG(sectors) * bytes;
            geometry->sectorsPerCluster = sectors;
            geometry->bytesPerSector = bytes;
            geometry->totalClusters = cluster ? total.QuadPart / cluster : 0;
            geometry->freeClusters = cluster ? toCaller.QuadPart / cluster : 0;
            *freeBytes = toCaller.QuadPart;
            return 0;
        }
        const DWORD error = Failed();
        if (error == ERROR_ACCESS_DENIED) return 0;
        const DWORD answer = ErrorDialog(letter, error, 0);
        if (answer != ErrChoiceRetry) return answer;
    }
}
