// Reading directories: long-path find calls, one directory into file and
// subdirectory records, paths rebuilt with the names the file system
// reports, and one file's times, size and attributes.
#include "platform/dir_reading.h"
#include "platform/read_ahead.h"
#include "main/window_state.h"
#include "remote/remote_drives.h"
#include "settings/quit.h"
#include "tree/log_state.h"
#include "ui/error_dialog.h"
#include "ui/progress.h"

#include <cstring>

std::u16string QioLongPath(const WCHAR* path) {
    if (path[0] == u'\\' && path[1] == u'\\') return path;
    return u"\\\\?\\" + std::u16string(path);
}

HANDLE qioFindFirstFile(const WCHAR* path, WIN32_FIND_DATAW* data) {
    QioReadDelay();
    return RdFindFirstFileW(QioLongPath(path).c_str(), data);
}

void qioFreeDirList(DirSubdirRec* head) {
    while (head) {
        DirSubdirRec* next = head->next;
        free(head);
        head = next;
    }
}

void qioFreeFileList(DirFileRec* head) {
    while (head) {
        DirFileRec* next = head->next;
        free(head);
        head = next;
    }
}

namespace {

bool IsDotName(const WCHAR* name) {
    return name[0] == u'.' && (name[1] == 0 || (name[1] == u'.' && name[2] == 0));
}

bool EndsWith(const WCHAR* text, const char16_t* tail) {
    const size_t n = wcslen(text), m = std::char_traits<char16_t>::length(tail);
    return n >= m && memcmp(text + n - m, tail, m * sizeof(WCHAR)) == 0;
}

// The error dialog for a failed read of pattern; the answer is kept in
// gErrorAnswer. Returns 0 to retry, else the result for the caller.
int AskAboutReadError(const WCHAR* pattern, DWORD error) {
    const size_t length = wcslen(pattern);
    const WCHAR* shown = length > 4 ? pattern + 4 : pattern;
    size_t i = 0;
    for (; shown[i] && i < 1025; i++) gErrorPath[i] = shown[i];
    gErrorPath[i] = 0;
    gErrorAnswer = ErrorDialog(length > 4 ? pattern[4] : 0, error, 1);
    if (gErrorAnswer == ErrChoiceRetry) return 0;
    if (gErrorAnswer == ErrChoiceSkip)
        return error == ERROR_ACCESS_DENIED ? QIO_READ_SKIPPED_DENIED : QIO_READ_SKIPPED;
    return QIO_READ_CANCELLED;
}

void FillFileRec(DirFileRec* rec, const WIN32_FIND_DATAW& data) {
    FindDataToPacked(&data, &rec->createdDate, &rec->createdTime, &rec->writtenDate,
                     &rec->writtenTime, &rec->accessedDate, &rec->accessedTime);
    rec->size = ULONGLONG(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    const WORD attributes = WORD(data.dwFileAttributes);
    rec->attributes = attributes == FILE_ATTRIBUTE_NORMAL ? 0 : attributes;
    // Only the name and its terminator: the rest of the buffer is never read.
    size_t units = 0;
    while (units < MAX_PATH - 1 && data.cFileName[units]) units++;
    memcpy(rec->name, data.cFileName, units * sizeof(WCHAR));
    rec->name[units] = 0;
    rec->mode = WORD(data.dwReserved1);
    rec->shortName[0] = 0;
    rec->next = nullptr;
}

} // namespace

int qioReadDirEx(const WCHAR* pattern, DirFileRec** files, DirSubdirRec** subdirs,
                 DWORD* endFlag) {
    *files = nullptr;
    for (;;) { // a retry after a read error starts over from here
        if (subdirs) *subdirs = nullptr;
        if (endFlag) *endFlag = 0;

        WIN32_FIND_DATAW data;
        HANDLE find;
        for (;;) {
            find = subdirs ? qioPrefetchFindFirst(pattern, &data) : qioFindFirstFile(pattern, &data);
            if (find != INVALID_HANDLE_VALUE) {
                gErrorAnswer = 0;
                break;
            }
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES) {
                if (endFlag) *endFlag = 1;
                return 0;
            }
            if (error == ERROR_ACCESS_DENIED && EndsWith(pattern, u"\\System Volume Information\\*.*"))
                return 0;
            const int result = AskAboutReadError(pattern, error);
            if (result != 0) return result;
        }

        DirFileRec* head = nullptr;
        DirFileRec** fileTail = &head;
        DirSubdirRec** subdirTail = subdirs;
        int count = 0;
        int stop = 0;
        DWORD readError = 0;
        for (;;) {
            if (gInterruptRequested && !gAutoRefresh) {
                gInterruptRequested = 0;
                if (gLogMode == LOG_REFRESH_WALK) {
                    // A refresh walk stops without asking, as a cancel: the
                    // caller must not take the code for a file count.
                    stop = QIO_READ_CANCELLED;
                } else {
                    const int key = PromptLogOption(gWindowMode == WM_LOG_DIALOG);
                    if (key == 27)
                        stop = QIO_READ_CANCELLED;
                    else if (key == 'P')
                        stop = QIO_READ_PARTIAL;
                }
                if (stop) break;
            }
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (subdirs && !IsDotName(data.cFileName)) {
                    auto* rec = static_cast<DirSubdirRec*>(
                        CHECKED_CALLOC(1, sizeof(DirSubdirRec), "Qnt"));
                    rec->data = data;
                    *subdirTail = rec;
                    subdirTail = &rec->next;
                }
            } else {
                // Every field is written by FillFileRec: no need to zero 600
                // bytes per file first.
                auto* rec = static_cast<DirFileRec*>(CHECKED_MALLOC(sizeof(DirFileRec), "Qnt"));
                FillFileRec(rec, data);
                *fileTail = rec;
                fileTail = &rec->next;
                count++;
            }
            if (!qioFindNextFile(find, &data)) {
                const DWORD error = GetLastError();
                if (error != ERROR_NO_MORE_FILES) readError = error;
                break;
            }
        }
        qioFindClose(find);
        if (stop || readError) {
            // Nothing of an interrupted or incomplete listing is kept.
            qioFreeFileList(head);
            if (subdirs) {
                qioFreeDirList(*subdirs);
                *subdirs = nullptr;
            }
            if (stop) return stop;
            const int result = AskAboutReadError(pattern, readError);
            if (result != 0) return result;
            continue;
        }
        *files = head;
        if (endFlag) *endFlag = 1;
        return count;
    }
}

int qioReadDir(const WCHAR* pattern, DirFileRec** files) {
    return qioReadDirEx(pattern, files, nullptr, nullptr);
}

int qioGetPathName(const WCHAR* path, WCHAR* out, BOOL longNames) {
    const bool prefixed = path[0] == u'\\' && path[1] == u'\\' && path[2] == u'?' && path[3] == u'\\';
    const size_t rootLength = prefixed ? 7 : 3;
    std::u16string whole(path);
    if (whole.size() > rootLength && whole.back() == u'\\') whole.pop_back();
    const size_t root = std::min(rootLength, whole.size());
    std::u16string result = whole.substr(0, root);
    size_t at = root;
    while (at < whole.size()) {
        size_t end = whole.find(u'\\', at);
        if (end == std::u16string::npos) end = whole.size();
        const std::u16string upTo = whole.substr(0, end);
        WIN32_FIND_DATAW data;
        HANDLE find = qioFindFirstFile(upTo.c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return 0;
        qioFindClose(find);
        result += !longNames && data.cAlternateFileName[0] ? data.cAlternateFileName : data.cFileName;
        if (end < whole.size()) result += u'\\';
        at = end + 1;
    }
    memcpy(out, result.c_str(), (result.size() + 1) * sizeof(WCHAR));
    return int(result.size());
}

int qioGetLongPathName(const WCHAR* path, WCHAR* out) { return qioGetPathName(path, out, TRUE); }

int qioGetShortPathName(WCHAR* out, const WCHAR* path) {
    return qioGetPathName(path, out, FALSE);
}

DWORD qioGetFileInfo(const WCHAR* path, int timesFlag, FileInfoRec* info) {
    WIN32_FIND_DATAW data;
    HANDLE find = qioFindFirstFile(path, &data);
    if (find == INVALID_HANDLE_VALUE) return GetLastError();
    qioFindClose(find);
    if (timesFlag == 1) {
        FindDataToPacked(&data, &info->createdDate, &info->createdTime, &info->writtenDate,
                         &info->writtenTime, &info->accessedDate, &info->accessedTime);
        info->attributes = data.dwFileAttributes;
    }
    info->size = ULONGLONG(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    return 0;
}

int qioGetFileInfoFind(const WCHAR* path, FILETIME times[3]) {
    if (!path) return 1;
    WIN32_FIND_DATAW data;
    HANDLE find = qioFindFirstFile(path, &data);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        size_t i = 0;
        for (; path[i] && i < 1025; i++) gErrorPath[i] = path[i];
        gErrorPath[i] = 0;
        ReportError(path[0], error);
        return 0;
    }
    qioFindClose(find);
    times[0] = data.ftLastWriteTime;
    times[1] = data.ftCreationTime;
    times[2] = data.ftLastAccessTime;
    return 1;
}
