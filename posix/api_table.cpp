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
    {"CompareStringW", Fn(CompareStringW)},
    {"CreateFileA", Fn(CreateFileA)},
    {"CreateFileMappingW", Fn(CreateFileMappingW)},
    {"CreateFileW", Fn(CreateFileW)},
    {"DeviceIoControl", Fn(DeviceIoControl)},
    {"FileTimeToLocalFileTime", Fn(FileTimeToLocalFileTime)},
    {"FileTimeToSystemTime", Fn(FileTimeToSystemTime)},
    {"FlushFileBuffers", Fn(FlushFileBuffers)},
    {"FreeLibrary", Fn(FreeLibrary)},
    {"GetCPInfo", Fn(GetCPInfo)},
    {"GetCommandLineW", Fn(GetCommandLineW)},
    {"GetCurrentProcess", Fn(GetCurrentProcess)},
    {"GetCurrentProcessId", Fn(GetCurrentProcessId)},
    {"GetCurrentThread", Fn(GetCurrentThread)},
    {"GetDiskFreeSpaceA", Fn(GetDiskFreeSpaceA)},
    {"GetDiskFreeSpaceExA", Fn(GetDiskFreeSpaceExA)},
    {"GetDiskFreeSpaceExW", Fn(GetDiskFreeSpaceExW)},
    {"GetDiskFreeSpaceW", Fn(GetDiskFreeSpaceW)},
    {"GetDriveTypeA", Fn(GetDriveTypeA)},
    {"GetDriveTypeW", Fn(GetDriveTypeW)},
    {"GetFileInformationByHandle", Fn(GetFileInformationByHandle)},
    {"GetFileSize", Fn(GetFileSize)},
    {"GetFileSizeEx", Fn(GetFileSizeEx)},
    {"GetFileTime", Fn(GetFileTime)},
    {"GetLastError", Fn(GetLastError)},
    {"GetLogicalDrives", Fn(GetLogicalDrives)},
    {"GetModuleFileNameA", Fn(GetModuleFileNameA)},
    {"GetModuleFileNameW", Fn(GetModuleFileNameW)},
    {"GetModuleHandleW", Fn(GetModuleHandleW)},
    {"GetProcAddress", Fn(GetProcAddress)},
    {"GetVolumeInformationA", Fn(GetVolumeInformationA)},
    {"GetVolumeInformationW", Fn(GetVolumeInformationW)},
    {"GetVolumePathNameW", Fn(GetVolumePathNameW)},
    {"IsCharAlphaW", Fn(IsCharAlphaW)},
    {"IsDebuggerPresent", Fn(IsDebuggerPresent)},
    {"IsTextUnicode", Fn(IsTextUnicode)},
    {"LoadLibraryA", Fn(LoadLibraryA)},
    {"LoadLibraryW", Fn(LoadLibraryW)},
    {"LocalFileTimeToFileTime", Fn(LocalFileTimeToFileTime)},
    {"MapViewOfFile", Fn(MapViewOfFile)},
    {"MulDiv", Fn(MulDiv)},
    {"MultiByteToWideChar", Fn(MultiByteToWideChar)},
    {"OemToCharA", Fn(OemToCharA)},
    {"OemToCharBuffA", Fn(OemToCharBuffA)},
    {"QueryDosDeviceW", Fn(QueryDosDeviceW)},
    {"ReadFile", Fn(ReadFile)},
    {"SetEndOfFile", Fn(SetEndOfFile)},
    {"SetErrorMode", Fn(SetErrorMode)},
    {"SetFilePointer", Fn(SetFilePointer)},
    {"SetFilePointerEx", Fn(SetFilePointerEx)},
    {"SetFileTime", Fn(SetFileTime)},
    {"SetLastError", Fn(SetLastError)},
    {"SetVolumeLabelA", Fn(SetVolumeLabelA)},
    {"SystemTimeToFileTime", Fn(SystemTimeToFileTime)},
    {"SystemTimeToTzSpecificLocalTime", Fn(SystemTimeToTzSpecificLocalTime)},
    {"TzSpecificLocalTimeToSystemTime", Fn(TzSpecificLocalTimeToSystemTime)},
    {"UnmapViewOfFile", Fn(UnmapViewOfFile)},
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
