// Locating the settings files and reading a whole settings text.
#include "settings/settings_files.h"

#include "fileapi.h"
#include "handleapi.h"
#include "menu/locator.h"
#include "processenv.h"
#include "qwcrt.h"
#include "settings/settings.h"
#include "remote/remote_drives.h"

bool ReadSettingsText(const WCHAR* path, std::string* bytes) {
    HANDLE h = RdCreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool regular = GetFileInformationByHandle(h, &info) &&
                         !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
    constexpr DWORD kChunk = 65536;
    while (regular && bytes->size() < SETTINGS_TEXT_MAX_BYTES) {
        const size_t old = bytes->size();
        bytes->resize(old + kChunk);
        DWORD got = 0;
        if (!ReadFile(h, bytes->data() + old, kChunk, &got, nullptr)) got = 0;
        bytes->resize(old + got);
        if (got == 0) break;
    }
    if (bytes->size() > SETTINGS_TEXT_MAX_BYTES) bytes->resize(SETTINGS_TEXT_MAX_BYTES);
    CloseHandle(h);
    return regular;
}

bool LocateSettingsFile(const WCHAR* option, const WCHAR* name, const WCHAR* envName, WCHAR* path) {
    if (path[0]) return true;
    const WCHAR* found = nullptr;
    if (option && option[0]) found = LocateFile(option);
    if (!found) found = FindProgram(name);
    if (!found || wcslen(found) + 1 > SETTINGS_PATH_UNITS) return false;
    wcscpy(path, found);
    SetEnvironmentVariableW(envName, path);
    return true;
}
