// File-system functions of the Windows API: drives and volumes.
#pragma once

#include "wintypes.h"

typedef union _ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    ULONGLONG QuadPart;
} ULARGE_INTEGER, *PULARGE_INTEGER;
static_assert(sizeof(ULARGE_INTEGER) == 8);

// Drive types.
inline constexpr UINT DRIVE_UNKNOWN = 0;
inline constexpr UINT DRIVE_NO_ROOT_DIR = 1;
inline constexpr UINT DRIVE_REMOVABLE = 2;
inline constexpr UINT DRIVE_FIXED = 3;
inline constexpr UINT DRIVE_REMOTE = 4;
inline constexpr UINT DRIVE_CDROM = 5;
inline constexpr UINT DRIVE_RAMDISK = 6;

// File-system flags of GetVolumeInformation.
inline constexpr DWORD FILE_CASE_SENSITIVE_SEARCH = 0x1;
inline constexpr DWORD FILE_CASE_PRESERVED_NAMES = 0x2;
inline constexpr DWORD FILE_UNICODE_ON_DISK = 0x4;
inline constexpr DWORD FILE_PERSISTENT_ACLS = 0x8;

// Bit i set for each mapped letter (A = bit 0); rebuilds the drive map.
DWORD GetLogicalDrives();
UINT GetDriveTypeW(LPCWSTR root);
UINT GetDriveTypeA(LPCSTR root);
BOOL GetVolumeInformationW(LPCWSTR root, LPWSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maxComponentLength,
                           LPDWORD fileSystemFlags, LPWSTR fileSystemName,
                           DWORD fileSystemNameSize);
BOOL GetVolumeInformationA(LPCSTR root, LPSTR volumeName, DWORD volumeNameSize,
                           LPDWORD serialNumber, LPDWORD maxComponentLength,
                           LPDWORD fileSystemFlags, LPSTR fileSystemName,
                           DWORD fileSystemNameSize);
BOOL GetVolumePathNameW(LPCWSTR path, LPWSTR out, DWORD size);
BOOL GetDiskFreeSpaceExW(LPCWSTR path, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree);
BOOL GetDiskFreeSpaceExA(LPCSTR path, PULARGE_INTEGER freeToCaller, PULARGE_INTEGER total,
                         PULARGE_INTEGER totalFree);
BOOL GetDiskFreeSpaceW(LPCWSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD freeClusters, LPDWORD totalClusters);
BOOL GetDiskFreeSpaceA(LPCSTR root, LPDWORD sectorsPerCluster, LPDWORD bytesPerSector,
                       LPDWORD freeClusters, LPDWORD totalClusters);
DWORD QueryDosDeviceW(LPCWSTR device, LPWSTR out, DWORD size);
BOOL SetVolumeLabelA(LPCSTR root, LPCSTR label);
