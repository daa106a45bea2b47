// Pins the base types to the Windows ABI widths and every error constant to
// its number: stored files and outside libraries depend on both.
#include "windows.h"

#include <gtest/gtest.h>

#include <type_traits>

TEST(WinTypes, WidthsFollowTheWindowsAbi) {
    static_assert(std::is_same_v<WCHAR, char16_t>);
    static_assert(std::is_signed_v<LONG> && sizeof(LONG) == 4);
    static_assert(std::is_unsigned_v<DWORD> && sizeof(DWORD) == 4);
    static_assert(std::is_signed_v<HRESULT> && sizeof(HRESULT) == 4);
    // A LONG read from a formatted 32-bit field must sign-extend, a DWORD not.
    EXPECT_EQ(static_cast<int64_t>(static_cast<LONG>(0xFFFFFFFFu)), -1);
    EXPECT_EQ(static_cast<int64_t>(static_cast<DWORD>(-1)), 4294967295LL);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(INVALID_HANDLE_VALUE), UINTPTR_MAX);
}

TEST(WinError, ConstantsHaveTheirNumbers) {
    struct Row {
        const char* name;
        int64_t value;
        int64_t expected;
    };
    const Row rows[] = {
        {"ERROR_SUCCESS", ERROR_SUCCESS, 0},
        {"ERROR_NOT_ENOUGH_MEMORY", ERROR_NOT_ENOUGH_MEMORY, 8},
        {"ERROR_INVALID_PARAMETER", ERROR_INVALID_PARAMETER, 87},
        {"ERROR_INSUFFICIENT_BUFFER", ERROR_INSUFFICIENT_BUFFER, 122},
        {"ERROR_FILENAME_EXCED_RANGE", ERROR_FILENAME_EXCED_RANGE, 206},
        {"ERROR_INVALID_FUNCTION", ERROR_INVALID_FUNCTION, 1},
        {"ERROR_FILE_NOT_FOUND", ERROR_FILE_NOT_FOUND, 2},
        {"ERROR_PATH_NOT_FOUND", ERROR_PATH_NOT_FOUND, 3},
        {"ERROR_ACCESS_DENIED", ERROR_ACCESS_DENIED, 5},
        {"ERROR_INVALID_HANDLE", ERROR_INVALID_HANDLE, 6},
        {"ERROR_NOT_SAME_DEVICE", ERROR_NOT_SAME_DEVICE, 17},
        {"ERROR_NO_MORE_FILES", ERROR_NO_MORE_FILES, 18},
        {"ERROR_GEN_FAILURE", ERROR_GEN_FAILURE, 31},
        {"ERROR_SHARING_VIOLATION", ERROR_SHARING_VIOLATION, 32},
        {"ERROR_NOT_SUPPORTED", ERROR_NOT_SUPPORTED, 50},
        {"ERROR_FILE_EXISTS", ERROR_FILE_EXISTS, 80},
        {"ERROR_DISK_FULL", ERROR_DISK_FULL, 112},
        {"ERROR_MOD_NOT_FOUND", ERROR_MOD_NOT_FOUND, 126},
        {"ERROR_PROC_NOT_FOUND", ERROR_PROC_NOT_FOUND, 127},
        {"ERROR_NEGATIVE_SEEK", ERROR_NEGATIVE_SEEK, 131},
        {"ERROR_DIR_NOT_EMPTY", ERROR_DIR_NOT_EMPTY, 145},
        {"ERROR_BAD_PATHNAME", ERROR_BAD_PATHNAME, 161},
        {"ERROR_ALREADY_EXISTS", ERROR_ALREADY_EXISTS, 183},
        {"ERROR_MORE_DATA", ERROR_MORE_DATA, 234},
        {"ERROR_INVALID_ADDRESS", ERROR_INVALID_ADDRESS, 487},
        {"ERROR_FILE_INVALID", ERROR_FILE_INVALID, 1006},
        {"ERROR_NOT_A_REPARSE_POINT", ERROR_NOT_A_REPARSE_POINT, 4390},
        {"STRUNCATE", STRUNCATE, 80},
        {"S_OK", S_OK, 0},
        {"S_FALSE", S_FALSE, 1},
        {"E_NOTIMPL", static_cast<uint32_t>(E_NOTIMPL), 0x80004001},
        {"E_NOINTERFACE", static_cast<uint32_t>(E_NOINTERFACE), 0x80004002},
        {"E_FAIL", static_cast<uint32_t>(E_FAIL), 0x80004005},
        {"REGDB_E_CLASSNOTREG", static_cast<uint32_t>(REGDB_E_CLASSNOTREG), 0x80040154},
        {"E_INVALIDARG", static_cast<uint32_t>(E_INVALIDARG), 0x80070057},
        {"E_OUTOFMEMORY", static_cast<uint32_t>(E_OUTOFMEMORY), 0x8007000E},
        {"ERROR_BAD_NETPATH", ERROR_BAD_NETPATH, 53},
        {"ERROR_NETNAME_DELETED", ERROR_NETNAME_DELETED, 64},
        {"ERROR_NETWORK_ACCESS_DENIED", ERROR_NETWORK_ACCESS_DENIED, 65},
        {"ERROR_BUFFER_OVERFLOW", ERROR_BUFFER_OVERFLOW, 111},
        {"ERROR_ENVVAR_NOT_FOUND", ERROR_ENVVAR_NOT_FOUND, 203},
        {"ERROR_CANCELLED", ERROR_CANCELLED, 1223},
        {"ERROR_NETWORK_UNREACHABLE", ERROR_NETWORK_UNREACHABLE, 1231},
        {"ERROR_LOGON_FAILURE", ERROR_LOGON_FAILURE, 1326},
        {"ERROR_NO_NETWORK", ERROR_NO_NETWORK, 1222},
        {"ERROR_RESOURCE_TYPE_NOT_FOUND", ERROR_RESOURCE_TYPE_NOT_FOUND, 1812},
        {"ERROR_NOT_CONNECTED", ERROR_NOT_CONNECTED, 2250},
        {"ERROR_INVALID_NAME", ERROR_INVALID_NAME, 123},
        {"ERROR_DIRECTORY", ERROR_DIRECTORY, 267},
        {"ERROR_NO_UNICODE_TRANSLATION", ERROR_NO_UNICODE_TRANSLATION, 1113},
        {"MB_ERR_INVALID_CHARS", MB_ERR_INVALID_CHARS, 8},
        {"ERROR_REQUEST_ABORTED", ERROR_REQUEST_ABORTED, 1235},
        {"CO_E_CLASSSTRING", static_cast<uint32_t>(CO_E_CLASSSTRING), 0x800401F3},
        {"ERROR_CALL_NOT_IMPLEMENTED", ERROR_CALL_NOT_IMPLEMENTED, 120},
        {"ERROR_INVALID_DRIVE", ERROR_INVALID_DRIVE, 15},
        {"ERROR_SEM_TIMEOUT", ERROR_SEM_TIMEOUT, 121},
        {"ERROR_NO_ASSOCIATION", ERROR_NO_ASSOCIATION, 1155},
    };
    for (const Row& r : rows) EXPECT_EQ(r.value, r.expected) << r.name;
    EXPECT_TRUE(FAILED(E_FAIL));
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
}
