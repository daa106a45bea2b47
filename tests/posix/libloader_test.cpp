// The last error and its errno table, modules loaded by name from the
// program's directory only, the pseudo modules and their name table, the
// program path and the command line.
#include "windows.h"
#include "internal/api_table.h"
#include "qposix_path.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

namespace {

TEST(LastError, TableMapsErrnoToWindowsCodes) {
    struct Row {
        int err;
        DWORD code;
    } rows[] = {
        {0, 0},        {EPERM, 5},    {ENOENT, 2},  {EBADF, 6},      {ENOMEM, 8},
        {EACCES, 5},   {EBUSY, 32},   {EEXIST, 183}, {EXDEV, 17},    {ENOTDIR, 3},
        {EINVAL, 87},  {ENOSPC, 112}, {EROFS, 5},   {ENAMETOOLONG, 206}, {ENOTEMPTY, 145},
        {EISDIR, 31},  {EIO, 31},     {ELOOP, 31},  {EDQUOT, 31},    {9999, 31},
    };
    for (const Row& r : rows) EXPECT_EQ(ErrnoToWin32Error(r.err), r.code) << "errno " << r.err;
    EXPECT_EQ(SetLastErrorFromErrno(ENOENT), 2u);
    EXPECT_EQ(GetLastError(), 2u);
}

TEST(LastError, IsPerThreadAndZeroAtStart) {
    SetLastError(1234);
    DWORD seen = 99;
    std::thread t([&] {
        seen = GetLastError();
        SetLastError(77);
    });
    t.join();
    EXPECT_EQ(seen, 0u);
    EXPECT_EQ(GetLastError(), 1234u);
    {
        LastErrorSaver keep;
        SetLastError(5);
    }
    EXPECT_EQ(GetLastError(), 1234u);
}

std::u16string ProgramDir() {
    WCHAR path[4097];
    DWORD n = GetModuleFileNameW(nullptr, path, 4097);
    EXPECT_GT(n, 0u);
    std::u16string p(path, n);
    return p.substr(0, p.rfind(u'\\') + 1);
}

TEST(Modules, PseudoModulesAnswerFromTheNameTable) {
    const char16_t* names[] = {u"KERNEL32.DLL", u"kernel32", u"C:\\Windows\\System32\\User32.dll",
                               u"winspool.drv", u"WINSPOOL.DRV.dll"};
    for (const char16_t* n : names) EXPECT_EQ(LoadLibraryW(n), QPOSIX_SYSTEM_MODULE) << "pseudo";
    EXPECT_EQ(GetModuleHandleW(u"Shell32.dll"), QPOSIX_SYSTEM_MODULE);
    EXPECT_EQ(GetModuleHandleW(nullptr), QPOSIX_PROGRAM_MODULE);
    SetLastError(0);
    EXPECT_EQ(GetModuleHandleW(u"libqtestmod.so"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);

    HMODULE k = LoadLibraryW(u"KERNEL32.DLL");
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(k, "GetLastError")),
              reinterpret_cast<void*>(&GetLastError));
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(QPOSIX_PROGRAM_MODULE, "MulDiv")),
              reinterpret_cast<void*>(&MulDiv));
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(k, "NoSuchFunction"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(k, reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(12))), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_TRUE(FreeLibrary(k));
}

// Every function the layer names in its table, in the order the table keeps.
const char* const kLayerFunctions[] = {
    "ActivateKeyboardLayout", "CLSIDFromString", "CharLowerA", "CharLowerBuffA", "CharLowerBuffW",
    "CharLowerW", "CharToOemA", "CharToOemBuffA", "CharUpperA", "CharUpperBuffA", "CharUpperBuffW",
    "CharUpperW", "ClipCursor", "CloseClipboard", "CloseHandle", "CoCreateInstance",
    "CoInitialize", "CoUninitialize", "CompareStringW", "CopyFileExW", "CopyFileW",
    "CreateConsoleScreenBuffer", "CreateDirectoryW", "CreateFileA", "CreateFileMappingW",
    "CreateFileW", "CreateHardLinkW", "CreateProcessW", "CreateSymbolicLinkW", "CreateThread",
    "DecryptFileW", "DeleteCriticalSection", "DeleteFileW", "DeviceIoControl",
    "DispatchMessageW", "EmptyClipboard", "EnterCriticalSection", "EnumWindows",
    "FileTimeToLocalFileTime", "FileTimeToSystemTime", "FillConsoleOutputAttribute",
    "FillConsoleOutputCharacterA", "FillConsoleOutputCharacterW", "FindClose",
    "FindFirstFileExW", "FindFirstFileW", "FindNextFileW", "FlushConsoleInputBuffer",
    "FlushFileBuffers", "FormatMessageW", "FreeLibrary", "GetAsyncKeyState", "GetCPInfo",
    "GetClientRect", "GetClipboardData", "GetCommandLineW", "GetCompressedFileSizeW",
    "GetComputerNameW", "GetConsoleCursorInfo", "GetConsoleFontSize", "GetConsoleMode",
    "GetConsoleScreenBufferInfo", "GetConsoleScreenBufferInfoEx", "GetConsoleTitleW",
    "GetConsoleWindow", "GetCurrentConsoleFont", "GetCurrentDirectoryA", "GetCurrentDirectoryW",
    "GetCurrentProcess", "GetCurrentProcessId", "GetCurrentThread", "GetCursorPos",
    "GetDesktopWindow", "GetDiskFreeSpaceA", "GetDiskFreeSpaceExA", "GetDiskFreeSpaceExW",
    "GetDiskFreeSpaceW", "GetDriveTypeA", "GetDriveTypeW", "GetEnvironmentVariableW",
    "GetExitCodeProcess", "GetFileAttributesExW", "GetFileAttributesW",
    "GetFileInformationByHandle", "GetFileSize", "GetFileSizeEx", "GetFileTime",
    "GetFileVersionInfoSizeW", "GetFileVersionInfoW", "GetFullPathNameW", "GetGUIThreadInfo",
    "GetKeyState", "GetKeyboardLayout", "GetLargestConsoleWindowSize", "GetLastError",
    "GetLocalTime", "GetLogicalDrives", "GetMessageW", "GetModuleFileNameA", "GetModuleFileNameW",
    "GetModuleHandleW", "GetPriorityClass", "GetProcAddress", "GetShortPathNameA",
    "GetShortPathNameW", "GetStdHandle", "GetSystemDirectoryW", "GetSystemMetrics",
    "GetSystemTime", "GetTempFileNameW", "GetTempPathW", "GetThreadPriority", "GetTickCount",
    "GetUserNameW", "GetVersionExW", "GetVolumeInformationA", "GetVolumeInformationW",
    "GetVolumePathNameW", "GetWindowLongW", "GetWindowRect", "GetWindowTextW",
    "GetWindowThreadProcessId", "GlobalAlloc", "GlobalFree", "GlobalLock", "GlobalMemoryStatus",
    "GlobalSize", "GlobalUnlock", "InitializeCriticalSection", "IsCharAlphaW",
    "IsClipboardFormatAvailable", "IsDebuggerPresent", "IsIconic", "IsTextUnicode", "IsWindow",
    "IsZoomed", "LeaveCriticalSection", "LoadIFilter", "LoadLibraryA", "LoadLibraryW",
    "LocalFileTimeToFileTime", "LocalFree", "MapViewOfFile", "MessageBeep", "MessageBoxA",
    "MessageBoxW", "MonitorFromWindow", "MoveFileExW", "MoveFileW", "MoveFileWithProgressW",
    "MulDiv", "MultiByteToWideChar", "NetApiBufferFree", "OemToCharA", "OemToCharBuffA",
    "OpenClipboard", "PathIsRelativeW", "PeekConsoleInputA", "PropVariantClear",
    "QueryDosDeviceW", "QueryPerformanceCounter", "QueryPerformanceFrequency",
    "ReadConsoleInputA", "ReadConsoleInputW", "ReadConsoleOutputA", "ReadConsoleOutputW",
    "ReadFile", "RedrawWindow", "RegCloseKey", "RegOpenKeyExW", "RegQueryValueExW",
    "RemoveDirectoryW", "ResumeThread", "SHAddToRecentDocs", "SHCreateStreamOnFileW",
    "SHFileOperationW", "SHFormatDrive", "SHGetFileInfoW", "SHGetMalloc", "SHGetPathFromIDListW",
    "SHGetSpecialFolderLocation", "SHGetSpecialFolderPathW", "SearchPathW", "SendMessageW",
    "SetActiveWindow", "SetClipboardData", "SetConsoleActiveScreenBuffer",
    "SetConsoleCtrlHandler", "SetConsoleCursorInfo", "SetConsoleCursorPosition",
    "SetConsoleMode", "SetConsoleScreenBufferInfoEx", "SetConsoleScreenBufferSize",
    "SetConsoleTextAttribute", "SetConsoleTitleA", "SetConsoleTitleW", "SetConsoleWindowInfo",
    "SetCurrentDirectoryW", "SetCursorPos", "SetEndOfFile", "SetEnvironmentVariableW",
    "SetErrorMode", "SetFileAttributesW", "SetFilePointer", "SetFilePointerEx", "SetFileTime",
    "SetForegroundWindow", "SetLastError", "SetPriorityClass", "SetThreadPriority",
    "SetVolumeLabelA", "SetWinEventHook", "SetWindowPos", "ShellExecuteExW", "ShellExecuteW",
    "ShowWindow", "Sleep", "StrCmpLogicalW", "SuspendThread", "SysAllocString",
    "SysAllocStringLen", "SysFreeString", "SystemParametersInfoW", "SystemTimeToFileTime",
    "SystemTimeToTzSpecificLocalTime", "ToAscii", "ToUnicode", "TzSpecificLocalTimeToSystemTime",
    "UnmapViewOfFile", "VerQueryValueW", "VirtualAlloc", "VirtualFree", "VkKeyScanW",
    "WNetAddConnection2W", "WNetConnectionDialog", "WNetDisconnectDialog", "WNetGetConnectionW",
    "WaitForSingleObject", "WideCharToMultiByte", "WriteConsoleA", "WriteConsoleInputW",
    "WriteConsoleOutputA", "WriteConsoleOutputW", "WriteConsoleW", "WriteFile", "lstrcmpW",
    "lstrcmpiA", "lstrcmpiW", "lstrcpyW", "lstrcpynW"};

TEST(Modules, NameTableIsSortedAndEveryRowResolves) {
    static_assert(sizeof kLayerFunctions / sizeof kLayerFunctions[0] == 250);
    size_t count;
    const ApiTableRow* rows = ApiTableRows(&count);
    ASSERT_GT(count, 0u);
    for (size_t i = 0; i < count; i++) {
        if (i > 0) {
            EXPECT_LT(std::strcmp(rows[i - 1].name, rows[i].name), 0)
                << rows[i - 1].name << " before " << rows[i].name;
        }
        EXPECT_NE(rows[i].function, nullptr) << rows[i].name;
        EXPECT_EQ(GetProcAddress(QPOSIX_SYSTEM_MODULE, rows[i].name), rows[i].function)
            << rows[i].name;
        bool listed = false;
        for (const char* name : kLayerFunctions) listed = listed || std::strcmp(name, rows[i].name) == 0;
        EXPECT_TRUE(listed) << rows[i].name << " is not one of the layer's functions";
    }
    for (size_t i = 1; i < 250; i++)
        EXPECT_LT(std::strcmp(kLayerFunctions[i - 1], kLayerFunctions[i]), 0) << kLayerFunctions[i];
    // Every function the layer names is there, in the table's order.
    ASSERT_EQ(count, 250u);
    for (size_t i = 0; i < 250; i++) {
        EXPECT_STREQ(rows[i].name, kLayerFunctions[i]);
        EXPECT_NE(GetProcAddress(LoadLibraryW(u"kernel32.dll"), kLayerFunctions[i]), nullptr)
            << kLayerFunctions[i];
    }
}

TEST(Modules, BareNameLoadsOnlyFromTheProgramDirectory) {
    HMODULE m = LoadLibraryW(u"libqtestmod.so");
    ASSERT_NE(m, nullptr) << "error " << GetLastError();
    auto answer = reinterpret_cast<int (*)()>(
        reinterpret_cast<void (*)()>(GetProcAddress(m, "QTestModuleAnswer")));
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    WCHAR name[4097];
    DWORD n = GetModuleFileNameW(m, name, 4097);
    EXPECT_EQ(std::u16string(name, n), ProgramDir() + u"libqtestmod.so");
    EXPECT_TRUE(FreeLibrary(m));

    // A library the system's loader finds on its own path is not found by a
    // bare name, because it is not beside the program.
    void* system = ::dlopen("libm.so.6", RTLD_NOW);
    ASSERT_NE(system, nullptr);
    ::dlclose(system);
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(u"libm.so.6"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    SetLastError(0);
    std::u16string huge(5000, u'x');
    EXPECT_EQ(LoadLibraryW(huge.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILENAME_EXCED_RANGE);
    HMODULE narrow = LoadLibraryA("libqtestmod.so");
    EXPECT_NE(narrow, nullptr);
    FreeLibrary(narrow);
}

TEST(Modules, ReferenceCountsNeedOneFreePerLoad) {
    HMODULE a = LoadLibraryW(u"libqtestmod.so");
    HMODULE b = LoadLibraryW((ProgramDir() + u"libqtestmod.so").c_str());
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_NE(GetProcAddress(a, "QTestModuleAnswer"), nullptr); // still loaded once
    EXPECT_TRUE(FreeLibrary(a));
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(a, nullptr, 0), 0u);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    // A handle the table does not know is neither looked into nor freed.
    EXPECT_EQ(GetProcAddress(a, "QTestModuleAnswer"), nullptr);
    EXPECT_TRUE(FreeLibrary(a));
    EXPECT_TRUE(FreeLibrary(nullptr));
}

TEST(Modules, ProgramPathAndItsBufferRules) {
    char exe[4096];
    ssize_t len = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(len, 0);
    exe[len] = 0;
    WCHAR path[4097];
    DWORD n = GetModuleFileNameW(nullptr, path, 4097);
    ASSERT_GT(n, 2u);
    EXPECT_STREQ(PathToPosix(path), exe);
    EXPECT_EQ(GetModuleFileNameW(QPOSIX_PROGRAM_MODULE, nullptr, 0), n + 1);

    WCHAR small[5] = {1, 1, 1, 1, 1};
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, 5), 5u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::u16string(small), std::u16string(path, 4));
    SetLastError(0);
    EXPECT_EQ(GetModuleFileNameW(nullptr, small, 0), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

    char narrow[4097];
    DWORD na = GetModuleFileNameA(nullptr, narrow, sizeof narrow);
    EXPECT_EQ(na, n);
    EXPECT_STREQ(PathToPosix(narrow), exe);
    char smallA[4];
    EXPECT_EQ(GetModuleFileNameA(nullptr, smallA, 4), 4u);
    EXPECT_EQ(std::strlen(smallA), 3u);
}

TEST(Process, CommandLineAndIdentity) {
    EXPECT_EQ(std::u16string(GetCommandLineW()), u"");
    SetCommandLineW(u"quilb C:\\x");
    EXPECT_EQ(std::u16string(GetCommandLineW()), u"quilb C:\\x");
    EXPECT_EQ(GetCurrentProcess(), reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)));
    EXPECT_EQ(GetCurrentThread(), reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2)));
    EXPECT_EQ(GetCurrentProcessId(), static_cast<DWORD>(::getpid()));
    EXPECT_EQ(SetErrorMode(3), 0u);
    EXPECT_FALSE(IsDebuggerPresent());
}

} // namespace
