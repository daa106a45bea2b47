// The network-connection functions with their fixed answers, and the release
// of buffers the network API hands out.
#include "winnetwk.h"
#include "winerror.h"

#include <cstdlib>

DWORD WNetGetConnectionW(LPCWSTR, LPWSTR, LPDWORD) { return ERROR_NOT_CONNECTED; }

DWORD WNetAddConnection2W(LPNETRESOURCEW, LPCWSTR, LPCWSTR, DWORD) { return ERROR_NO_NETWORK; }

DWORD WNetConnectionDialog(HWND, DWORD) { return ERROR_NO_NETWORK; }

DWORD WNetDisconnectDialog(HWND, DWORD) { return ERROR_NO_NETWORK; }

NET_API_STATUS NetApiBufferFree(LPVOID buffer) {
    std::free(buffer);
    return NERR_Success;
}
