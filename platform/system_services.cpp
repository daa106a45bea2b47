// System and shell services. The Windows functions they were written for
// answer "not available" here in several places; the fallbacks are the
// behaviour.
#include "platform/system_services.h"
#include "menu/locator.h"
#include "menu/run_child.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "platform/console_session.h"
#include "qposix_drives.h"
#include "qposix_path.h"
#include "remote/remote_drives.h"
#include "ui/command_menus.h"
#include "ui/error_reporting.h"
#include "ui/questions.h"

#include <atomic>
#include <cstdlib>
#include <string>

namespace {

inline constexpr size_t kRemoteUnits = 1024;
inline constexpr size_t kDeviceUnits = 2050;
inline constexpr DWORD kRaiseTries = 12;
inline constexpr DWORD kRaisePause = 100;
inline constexpr SIZE_T kFormatStack = 12288;

std::atomic<bool> gRaiseStopped{false};

WCHAR UpperLetter(WCHAR c) {
    return c >= u'a' && c <= u'z' ? WCHAR(c - 32) : c;
}

bool StartsWith(const std::u16string& text, const char16_t* prefix) {
    return text.compare(0, std::char_traits<char16_t>::length(prefix), prefix) == 0;
}

// "smb://server/share/dir" or "//server/share/dir" as "\\server\share\dir";
// empty when the text names no share.
std::u16string ShareAsUnc(const std::u16string& text) {
    std::u16string rest;
    if (StartsWith(text, u"smb://"))
        rest = text.substr(6);
    else if (StartsWith(text, u"//"))
        rest = text.substr(2);
    else if (StartsWith(text, u"\\??\\UNC\\"))
        rest = text.substr(8);
    else
        return {};
    while (!rest.empty() && (rest.back() == u'/' || rest.back() == u'\\'))
        rest.pop_back();
    const size_t slash = rest.find_first_of(u"/\\");
    // A server alone is no share.
    if (rest.empty() || slash == std::u16string::npos || slash == 0 || slash + 1 >= rest.size())
        return {};
    std::u16string unc = u"\\\\";
    for (const char16_t c : rest)
        unc.push_back(c == u'/' ? u'\\' : c);
    return unc;
}

int RealPath(const WCHAR* drive, std::u16string& found, int depth) {
    found.clear();
    if (!drive || !drive[0] || drive[1] != u':' || depth > 26) return 0;
    const WCHAR letter[3] = {UpperLetter(drive[0]), u':', 0};
    WCHAR remote[kRemoteUnits + 1] = {};
    DWORD length = kRemoteUnits;
    if (WNetGetConnectionW(letter, remote, &length) == 0) {
        found = remote;
        return 1;
    }
    // A share the layer mounted through gio is named by its location.
    WCHAR mapped[kRemoteUnits + 1] = {};
    if (DriveMappedPath(letter[0], mapped, kRemoteUnits + 1)) {
        found = ShareAsUnc(mapped);
        if (!found.empty()) return 1;
    }
    WCHAR device[kDeviceUnits] = {};
    if (!QueryDosDeviceW(letter, device, kDeviceUnits)) return 0;
    const std::u16string text(device);
    found = ShareAsUnc(text);
    if (!found.empty()) return 1;
    // A substituted drive: another letter and a directory below it.
    if (StartsWith(text, u"\\??\\") && text.size() > 6 && text[5] == u':') {
        const WCHAR other[3] = {text[4], u':', 0};
        std::u16string base;
        if (UpperLetter(other[0]) != letter[0] && RealPath(other, base, depth + 1)) {
            found = base + text.substr(6);
            return 1;
        }
    }
    found.clear();
    return 0;
}

// The drive letter of a POSIX path as the drive map names it; 0 for none.
WCHAR DriveOfPosix(const char* posix) {
    if (!posix || posix[0] != '/') return 0;
    WCHAR path[1100];
    if (PathFromPosix(posix, path, 1100) <= 0) return 0;
    return path[1] == u':' ? UpperLetter(path[0]) : 0;
}

// The letter a drive variable names ("C:"), else the drive of a fallback
// POSIX path.
WCHAR DriveOfVariable(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    if (value && value[0]) return UpperLetter(WCHAR(BYTE(value[0])));
    return DriveOfPosix(fallback);
}

WCHAR ProgramDrive() {
    WCHAR path[1100] = {};
    if (!GetModuleFileNameW(nullptr, path, 1100) || path[1] != u':') return 0;
    return UpperLetter(path[0]);
}

// A path for a command line: in double quotes, so that the shell runner
// reads it as one path whatever characters the name holds.
std::u16string QuotedPath(const WCHAR* path) {
    std::u16string text(path);
    if (text.find(u'"') != std::u16string::npos) return text;
    return u"\"" + text + u"\"";
}

} // namespace

int NetDriveRealPath(const WCHAR* drive, WCHAR* outPath) {
    std::u16string found;
    const int result = RealPath(drive, found, 0);
    if (found.size() > kRemoteUnits) {
        outPath[0] = 0;
        return 0;
    }
    std::copy(found.begin(), found.end(), outPath);
    outPath[found.size()] = 0;
    return result;
}

int NetIsDomainMember(WCHAR* name, DWORD* status) {
    (void)name;
    (void)status;
    const HMODULE netapi = GetModuleHandleW(u"NETAPI32.DLL");
    if (!netapi || !GetProcAddress(netapi, "NetGetJoinInformation")) return 0;
    // The layer has no domain service to ask.
    return 0;
}

int NetAddConnection(const WCHAR* remoteName, DWORD unused, int checkOnly) {
    (void)unused;
    if (!remoteName || !remoteName[0] || checkOnly) return 0;
    NETRESOURCEW resource{};
    resource.dwType = RESOURCETYPE_DISK;
    resource.lpRemoteName = const_cast<LPWSTR>(remoteName);
    return WNetAddConnection2W(&resource, nullptr, nullptr, 0) == 0 ? 1 : 0;
}

const WCHAR* GetSpecialFolder(int csidl) {
    static WCHAR folder[MAX_PATH];
    folder[0] = 0;
    const HMODULE shell = GetModuleHandleW(u"SHELL32.DLL");
    if (!shell || !GetProcAddress(shell, "SHGetSpecialFolderPathW")) return folder;
    if (!SHGetSpecialFolderPathW(nullptr, folder, csidl, FALSE)) folder[0] = 0;
    return folder;
}

int GetSpecialFolderByIdList(WCHAR* outPath) {
    outPath[0] = 0;
    PIDLIST_ABSOLUTE list = nullptr;
    if (SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOPDIRECTORY, &list) != S_OK || !list)
        return 0;
    const BOOL found = SHGetPathFromIDListW(list, outPath);
    LPMALLOC allocator = nullptr;
    if (SHGetMalloc(&allocator) == S_OK && allocator) {
        allocator->Free(list);
        allocator->Release();
    }
    if (!found) outPath[0] = 0;
    return found ? 1 : 0;
}

int FormatDrive(int letter) {
    const WCHAR drive = UpperLetter(WCHAR(letter & 0xFF));
    if (drive != u'A' && drive != u'B') {
        // Refused and asked before anything runs: a format batch must never
        // start on the drive the system or the program lives on.
        if (drive == DriveOfVariable("HOMEDRIVE", std::getenv("HOME")) ||
            drive == DriveOfVariable("SYSTEMDRIVE", "/") || drive == ProgramDrive()) {
            char text[64];
            snprintf(text, sizeof text, "Quilbora cannot be used to format drive %c:", char(drive));
            ShowError(0, text);
            return 0;
        }
        char question[64];
        snprintf(question, sizeof question,
                 "Are you sure you want to format drive %c:", char(drive));
        const bool drawn = gConIn != nullptr;
        ScreenCell* saved = nullptr;
        if (drawn) {
            saved = ScrSaveRect(gMessageRow, 0, gMessageRow, gScreenMaxCol);
            ScrClearArea(gMessageRow, 0, gMessageRow, gScreenMaxCol, gMessageAttr);
            ScrPutStr(gMessageRow, 0, question, gMessageAttr);
        }
        const int answer = PromptYesNo(gBottomRow, 0);
        if (drawn) ScrRestoreRect(gMessageRow, 0, gMessageRow, gScreenMaxCol, saved);
        if (answer != 'Y') return 0;
    }
    if (const WCHAR* batch = FindProgram(u"QFORMAT.BAT")) {
        std::u16string command = QuotedPath(batch);
        command += u' ';
        command += drive;
        command += u':';
        // Room for what a command runner may append.
        command.resize(command.size() + 64, 0);
        RunChild(1, 0, 1, 0, command.data(), nullptr);
        return 1;
    }
    HANDLE raise = CreateThread(nullptr, kFormatStack, RaiseDialogThread, nullptr, 0, nullptr);
    if (raise) CloseHandle(raise);
    HANDLE format = CreateThread(nullptr, kFormatStack, FormatDriveThread,
                                 reinterpret_cast<LPVOID>(uintptr_t(drive - u'A')), 0, nullptr);
    if (format) CloseHandle(format);
    if (gConIn) KbdSetInputMode();
    return 1;
}

DWORD FormatDriveThread(LPVOID driveIndex) {
    const UINT drive = UINT(reinterpret_cast<uintptr_t>(driveIndex));
    return SHFormatDrive(GetConsoleWindow(), drive, 0xFFFF, 0);
}

void RaiseDialogWindow(int startThread) {
    if (!startThread) {
        RaiseDialogThread(nullptr);
        return;
    }
    HANDLE thread = CreateThread(nullptr, 0, RaiseDialogThread, nullptr, 0, nullptr);
    if (thread) CloseHandle(thread);
}

DWORD RaiseDialogThread(LPVOID unused) {
    (void)unused;
    gRaiseStopped = false;
    const LPARAM self = LPARAM(GetCurrentProcessId());
    for (DWORD attempt = 0; attempt < kRaiseTries && !gRaiseStopped; attempt++) {
        if (attempt) Sleep(kRaisePause);
        EnumWindows(RaiseDialogCallback, self);
    }
    return 0;
}

BOOL RaiseDialogCallback(HWND window, LPARAM processId) {
    if (gRaiseStopped) return FALSE;
    // The program's own console window is never the dialog, whatever its
    // title shows.
    if (window == GetConsoleWindow()) return TRUE;
    WCHAR title[260] = {};
    if (GetWindowTextW(window, title, 260) <= 0) return TRUE;
    if (wcscmp(title, u"Disconnect Network Drives") == 0) {
        while (IsWindow(window))
            Sleep(kRaisePause);
        gRaiseStopped = true;
        return FALSE;
    }
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (LPARAM(owner) == processId) {
        SetActiveWindow(window);
        SetForegroundWindow(window);
        gRaiseStopped = true;
        return FALSE;
    }
    return TRUE;
}
