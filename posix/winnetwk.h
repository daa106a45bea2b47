// Network connections and the network API's buffer release. This platform
// has no Windows network: no drive is connected and no connection can be
// made, so callers rebuild or keep their drive lists as they are.
#pragma once

#include "wintypes.h"

// A network resource as WNetAddConnection2W takes it; 48 bytes.
typedef struct _NETRESOURCEW {
    DWORD dwScope;
    DWORD dwType;
    DWORD dwDisplayType;
    DWORD dwUsage;
    LPWSTR lpLocalName;
    LPWSTR lpRemoteName;
    LPWSTR lpComment;
    LPWSTR lpProvider;
} NETRESOURCEW, *LPNETRESOURCEW;

static_assert(sizeof(NETRESOURCEW) == 48 && offsetof(NETRESOURCEW, lpLocalName) == 16 &&
              offsetof(NETRESOURCEW, lpRemoteName) == 24 &&
              offsetof(NETRESOURCEW, lpProvider) == 40);

// The resource type the connection dialogs are asked for.
inline constexpr DWORD RESOURCETYPE_DISK = 1;

typedef DWORD NET_API_STATUS;
inline constexpr NET_API_STATUS NERR_Success = 0;

// Returns 2250 (ERROR_NOT_CONNECTED) for every local name; writes nothing.
DWORD WNetGetConnectionW(LPCWSTR localName, LPWSTR remoteName, LPDWORD length);

// Each returns 1222 (ERROR_NO_NETWORK) and does nothing.
DWORD WNetAddConnection2W(LPNETRESOURCEW resource, LPCWSTR password, LPCWSTR userName,
                          DWORD flags);
DWORD WNetConnectionDialog(HWND owner, DWORD type);
DWORD WNetDisconnectDialog(HWND owner, DWORD type);

// Frees a buffer the network API functions allocated (with malloc) for the
// caller; nothing for null. Returns NERR_Success.
NET_API_STATUS NetApiBufferFree(LPVOID buffer);
