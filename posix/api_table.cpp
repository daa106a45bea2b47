// The name table of the layer's Windows functions, for GetProcAddress on the
// pseudo modules. Rows are kept sorted by name in byte order.
#include "internal/api_table.h"
#include "windows.h"

#include <cstring>

namespace {

// Through void (*)(), the one function type every other converts to freely.
template <typename F> FARPROC Fn(F* f) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(f));
}

const ApiTableRow kRows[] = {
    {"CLSIDFromString", Fn(CLSIDFromString)},
    {"CharLowerA", Fn(CharLowerA)},
    {"CharLowerBuffA", Fn(CharLowerBuffA)},
    {"CharLowerBuffW", Fn(CharLowerBuffW)},
    {"CharLowerW", Fn(CharLowerW)},
    {"CharToOemA", Fn(CharToOemA)},
    {"CharToOemBuffA", Fn(CharToOemBuffA)},
    {"CharUpperA", Fn(CharUpperA)},
    {"CharUpperBuffA", Fn(CharUpperBuffA)},
    {"CharUpperBuffW", Fn(CharUpperBuffW)},
    {"CharUpperW", Fn(CharUpperW)},
    {"CloseHandle", Fn(CloseHandle)},
    {"CoCreateInstance", Fn(CoCreateInstance)},
    {"CoInitialize", Fn(CoInitialize)},
    {"CoUninitialize", Fn(CoUninitialize)},
    {"CompareStringW", Fn(CompareStringW)},
    {"CreateFileA", Fn(CreateFileA)},
    {"CreateFileMappingW", Fn(CreateFileMappingW)},
    {"CreateFileW", Fn(CreateFileW)},
    {"CreateThread", Fn(CreateThread)},
    {"DeleteCriticalSection", Fn(DeleteCriticalSection)},
    {"DeviceIoControl", Fn(DeviceIoControl)},
    {"EnterCriticalSection", Fn(EnterCriticalSection)},
    {"FileTimeToLocalFileTime", Fn(FileTimeToLocalFileTime)},
    {"FileTimeToSystemTime", Fn(FileTimeToSystemTime)},
    {"FindClose", Fn(FindClose)},
    {"FindFirstFileExW", Fn(FindFirstFileExW)},
    {"FindFirstFileW", Fn(FindFirstFileW)},
    {"FindNextFileW", Fn(FindNextFileW)},
    {"FlushFileBuffers", Fn(FlushFileBuffers)},
    {"FormatMessageW", Fn(FormatMessageW)},
    {"FreeLibrary", Fn(FreeLibrary)},
    {"GetCPInfo", Fn(GetCPInfo)},
    {"GetCommandLineW", Fn(GetCommandLineW)},
    {"GetCompressedFileSizeW", Fn(GetCompressedFileSizeW)},
    {"GetComputerNameW", Fn(GetComputerNameW)},
    {"GetCurrentDirectoryA", Fn(GetCurrentDirectoryA)},
    {"GetCurrentDirectoryW", Fn(GetCurrentDirectoryW)},
    {"GetCurrentProcess", Fn(GetCurrentProcess)},
    {"GetCurrentProcessId", Fn(GetCurrentProcessId)},
    {"GetCurrentThread", Fn(GetCurrentThread)},
    {"GetDiskFreeSpaceA", Fn(GetDiskFreeSpaceA)},
    {"GetDiskFreeSpaceExA", Fn(GetDiskFreeSpaceExA)},
    {"GetDiskFreeSpaceExW", Fn(GetDiskFreeSpaceExW)},
    {"GetDiskFreeSpaceW", Fn(GetDiskFreeSpaceW)},
    {"GetDriveTypeA", Fn(GetDriveTypeA)},
    {"GetDriveTypeW", Fn(GetDriveTypeW)},
    {"GetEnvironmentVariableW", Fn(GetEnvironmentVariableW)},
    {"GetFileAttributesExW", Fn(GetFileAttributesExW)},
    {"GetFileAttributesW", Fn(GetFileAttributesW)},
    {"GetFileInformationByHandle", Fn(GetFileInformationByHandle)},
    {"GetFileSize", Fn(GetFileSize)},
    {"GetFileSizeEx", Fn(GetFileSizeEx)},
    {"GetFileTime", Fn(GetFileTime)},
    {"GetFileVersionInfoSizeW", Fn(GetFileVersionInfoSizeW)},
    {"GetFileVersionInfoW", Fn(GetFileVersionInfoW)},
    {"GetLastError", Fn(GetLastError)},
    {"GetLocalTime", Fn(GetLocalTime)},
    {"GetLogicalDrives", Fn(GetLogicalDrives)},
    {"GetModuleFileNameA", Fn(GetModuleFileNameA)},
    {"GetModuleFileNameW", Fn(GetModuleFileNameW)},
    {"GetModuleHandleW", Fn(GetModuleHandleW)},
    {"GetPriorityClass", Fn(GetPriorityClass)},
    {"GetProcAddress", Fn(GetProcAddress)},
    {"GetSystemDirectoryW", Fn(GetSystemDirectoryW)},
    {"GetSystemTime", Fn(GetSystemTime)},
    {"GetTempPathW", Fn(GetTempPathW)},
    {"GetThreadPriority", Fn(GetThreadPriority)},
    {"GetTickCount", Fn(GetTickCount)},
    {"GetUserNameW", Fn(GetUserNameW)},
    {"GetVersionExW", Fn(GetVersionExW)},
    {"GetVolumeInformationA", Fn(GetVolumeInformationA)},
    {"GetVolumeInformationW", Fn(GetVolumeInformationW)},
    {"GetVolumePathNameW", Fn(GetVolumePathNameW)},
    {"GlobalAlloc", Fn(GlobalAlloc)},
    {"GlobalFree", Fn(GlobalFree)},
    {"GlobalLock", Fn(GlobalLock)},
    {"GlobalMemoryStatus", Fn(GlobalMemoryStatus)},
    {"GlobalSize", Fn(GlobalSize)},
    {"GlobalUnlock", Fn(GlobalUnlock)},
    {"InitializeCriticalSection", Fn(InitializeCriticalSection)},
    {"IsCharAlphaW", Fn(IsCharAlphaW)},
    {"IsDebuggerPresent", Fn(IsDebuggerPresent)},
    {"IsTextUnicode", Fn(IsTextUnicode)},
    {"LeaveCriticalSection", Fn(LeaveCriticalSection)},
    {"LoadIFilter", Fn(LoadIFilter)},
    {"LoadLibraryA", Fn(LoadLibraryA)},
    {"LoadLibraryW", Fn(LoadLibraryW)},
    {"LocalFileTimeToFileTime", Fn(LocalFileTimeToFileTime)},
    {"LocalFree", Fn(LocalFree)},
    {"MapViewOfFile", Fn(MapViewOfFile)},
    {"MulDiv", Fn(MulDiv)},
    {"MultiByteToWideChar", Fn(MultiByteToWideChar)},
    {"NetApiBufferFree", Fn(NetApiBufferFree)},
    {"OemToCharA", Fn(OemToCharA)},
    {"OemToCharBuffA", Fn(OemToCharBuffA)},
    {"PropVariantClear", Fn(PropVariantClear)},
    {"QueryDosDeviceW", Fn(QueryDosDeviceW)},
    {"QueryPerformanceCounter", Fn(QueryPerformanceCounter)},
    {"QueryPerformanceFrequency", Fn(QueryPerformanceFrequency)},
    {"ReadFile", Fn(ReadFile)},
    {"RegCloseKey", Fn(RegCloseKey)},
    {"RegOpenKeyExW", Fn(RegOpenKeyExW)},
    {"RegQueryValueExW", Fn(RegQueryValueExW)},
    {"ResumeThread", Fn(ResumeThread)},
    {"SetCurrentDirectoryW", Fn(SetCurrentDirectoryW)},
    {"SetEndOfFile", Fn(SetEndOfFile)},
    {"SetEnvironmentVariableW", Fn(SetEnvironmentVariableW)},
    {"SetErrorMode", Fn(SetErrorMode)},
    {"SetFileAttributesW", Fn(SetFileAttributesW)},
    {"SetFilePointer", Fn(SetFilePointer)},
    {"SetFilePointerEx", Fn(SetFilePointerEx)},
    {"SetFileTime", Fn(SetFileTime)},
    {"SetLastError", Fn(SetLastError)},
    {"SetPriorityClass", Fn(SetPriorityClass)},
    {"SetThreadPriority", Fn(SetThreadPriority)},
    {"SetVolumeLabelA", Fn(SetVolumeLabelA)},
    {"Sleep", Fn(Sleep)},
    {"SuspendThread", Fn(SuspendThread)},
    {"SysAllocString", Fn(SysAllocString)},
    {"SysAllocStringLen", Fn(SysAllocStringLen)},
    {"SysFreeString", Fn(SysFreeString)},
    {"SystemTimeToFileTime", Fn(SystemTimeToFileTime)},
    {"SystemTimeToTzSpecificLocalTime", Fn(SystemTimeToTzSpecificLocalTime)},
    {"TzSpecificLocalTimeToSystemTime", Fn(TzSpecificLocalTimeToSystemTime)},
    {"UnmapViewOfFile", Fn(UnmapViewOfFile)},
    {"VerQueryValueW", Fn(VerQueryValueW)},
    {"VirtualAlloc", Fn(VirtualAlloc)},
    {"VirtualFree", Fn(VirtualFree)},
    {"WNetAddConnection2W", Fn(WNetAddConnection2W)},
    {"WNetConnectionDialog", Fn(WNetConnectionDialog)},
    {"WNetDisconnectDialog", Fn(WNetDisconnectDialog)},
    {"WNetGetConnectionW", Fn(WNetGetConnectionW)},
    {"WaitForSingleObject", Fn(WaitForSingleObject)},
    {"WideCharToMultiByte", Fn(WideCharToMultiByte)},
    {"WriteFile", Fn(WriteFile)},
    {"lstrcmpW", Fn(lstrcmpW)},
    {"lstrcmpiA", Fn(lstrcmpiA)},
    {"lstrcmpiW", Fn(lstrcmpiW)},
    {"lstrcpyW", Fn(lstrcpyW)},
    {"lstrcpynW", Fn(lstrcpynW)},
};

} // namespace

const ApiTableRow* ApiTableRows(size_t* count) {
    *count = sizeof kRows / sizeof kRows[0];
    return kRows;
}

FARPROC ApiTableLookup(const char* name) {
    size_t lo = 0;
    size_t hi = sizeof kRows / sizeof kRows[0];
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        int c = std::strcmp(kRows[mid].name, name);
        if (c == 0) return kRows[mid].function;
        if (c < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return nullptr;
}
