// Recording the start-up, program, data, program-files and tools folders.
#include "settings/folders.h"

#include "windows.h"
#include "remote/remote_drives.h"

WCHAR gStartDir[FOLDER_UNITS];
WCHAR gProgramDir[FOLDER_UNITS];
WCHAR gDataDir[FOLDER_UNITS];
WCHAR gProgramFilesDir[FOLDER_UNITS];
WCHAR gToolsDir[512];

namespace {

// Copies s into out (units including the terminator) only when it fits
// whole; a folder is never kept cut.
bool CopyWhole(WCHAR* out, size_t units, const WCHAR* s) {
    size_t n = wcslen(s);
    if (n + 1 > units) return false;
    wmemcpy(out, s, n + 1);
    return true;
}

void AddBackslash(WCHAR* dir, size_t units) {
    size_t n = wcslen(dir);
    if (n > 0 && dir[n - 1] != '\\' && n + 2 <= units) {
        dir[n] = '\\';
        dir[n + 1] = 0;
    }
}

} // namespace

bool ContainsNoCase(const WCHAR* text, const WCHAR* part) {
    size_t n = wcslen(part);
    if (n == 0) return false;
    for (; *text; text++)
        if (_wcsnicmp(text, part, n) == 0) return true;
    return false;
}

void RecordStartupFolders() {
    gStartDir[0] = gProgramDir[0] = gDataDir[0] = gProgramFilesDir[0] = gToolsDir[0] = 0;

    DWORD n = GetCurrentDirectoryW(FOLDER_UNITS - 1, gStartDir);
    if (n == 0 || n >= FOLDER_UNITS - 1)
        gStartDir[0] = 0;
    else if (n > 3)
        AddBackslash(gStartDir, FOLDER_UNITS);

    WCHAR exe[FOLDER_UNITS];
    n = GetModuleFileNameW(nullptr, exe, FOLDER_UNITS);
    if (n > 0 && n < FOLDER_UNITS) {
        WCHAR* slash = wcsrchr(exe, '\\');
        if (slash) {
            slash[1] = 0;
            CopyWhole(gProgramDir, FOLDER_UNITS, exe);
        }
    }

    WCHAR special[MAX_PATH];
    if (SHGetSpecialFolderPathW(nullptr, special, CSIDL_PROGRAM_FILES, FALSE))
        CopyWhole(gProgramFilesDir, FOLDER_UNITS, special);

    WCHAR appData[MAX_PATH];
    bool haveAppData = SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE) != 0;
    if (haveAppData && gProgramDir[0] && ContainsNoCase(gProgramDir, gProgramFilesDir)) {
        // Installed with the system's programs: the user's files cannot live
        // beside the executable, so they get a folder of their own.
        WCHAR data[FOLDER_UNITS];
        if (swprintf(data, FOLDER_UNITS, u"%s\\Quilbora\\", appData) > 0) {
            CopyWhole(gDataDir, FOLDER_UNITS, data);
            SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, TRUE);
            RdCreateDirectoryW(gDataDir, nullptr);
        }
    }
    if (!gDataDir[0]) CopyWhole(gDataDir, FOLDER_UNITS, gProgramDir);

    if (CopyWhole(gToolsDir, 512, gDataDir)) {
        size_t len = wcslen(gToolsDir);
        if (len > 3 && gToolsDir[len - 1] == '\\') gToolsDir[len - 1] = 0;
        if (gToolsDir[0]) SetEnvironmentVariableW(u"#QBTools", gToolsDir);
    }
}
