// Device control on file handles: the one request the layer answers, the
// target of a symbolic link as a reparse point.
#pragma once

#include "minwinbase.h"

inline constexpr DWORD FSCTL_GET_REPARSE_POINT = 0x900A8;
inline constexpr DWORD IO_REPARSE_TAG_SYMLINK = 0xA000000Cu;
inline constexpr ULONG SYMLINK_FLAG_RELATIVE = 1;

typedef struct _REPARSE_DATA_BUFFER {
    ULONG ReparseTag;
    USHORT ReparseDataLength;
    USHORT Reserved;
    struct {
        USHORT SubstituteNameOffset;
        USHORT SubstituteNameLength;
        USHORT PrintNameOffset;
        USHORT PrintNameLength;
        ULONG Flags;
        WCHAR PathBuffer[1];
    } SymbolicLinkReparseBuffer;
} REPARSE_DATA_BUFFER, *PREPARSE_DATA_BUFFER;
static_assert(offsetof(REPARSE_DATA_BUFFER, SymbolicLinkReparseBuffer.PathBuffer) == 20);

// Only FSCTL_GET_REPARSE_POINT: the link's target as a symbolic-link reparse
// buffer. Errors: 50 other codes, 4390 not a link, 122 output too small.
BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                     DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped);
