// Opening documents, URLs and programs the way the Windows shell does:
// ShellExecuteW and ShellExecuteExW, on xdg-open (see ShellOpen in
// qposix_process.h).
#pragma once

#include "wintypes.h"

#include <cstddef>

// The record of ShellExecuteExW; 112 bytes. Only fMask, lpFile,
// lpParameters, lpDirectory, hInstApp and hProcess are used.
typedef struct _SHELLEXECUTEINFOW {
    DWORD cbSize;
    ULONG fMask;
    HWND hwnd;
    LPCWSTR lpVerb;
    LPCWSTR lpFile;
    LPCWSTR lpParameters;
    LPCWSTR lpDirectory;
    int nShow;
    HINSTANCE hInstApp;
    void* lpIDList;
    LPCWSTR lpClass;
    HANDLE hkeyClass;
    DWORD dwHotKey;
    HANDLE hIcon;
    HANDLE hProcess;
} SHELLEXECUTEINFOW, *LPSHELLEXECUTEINFOW;
static_assert(sizeof(SHELLEXECUTEINFOW) == 112 && offsetof(SHELLEXECUTEINFOW, lpFile) == 24 &&
              offsetof(SHELLEXECUTEINFOW, nShow) == 48 &&
              offsetof(SHELLEXECUTEINFOW, hInstApp) == 56 &&
              offsetof(SHELLEXECUTEINFOW, hProcess) == 104);

// fMask: return a process handle in hProcess.
inline constexpr ULONG SEE_MASK_NOCLOSEPROCESS = 0x40;

// ShellExecuteW results below 33 that name the failure.
inline constexpr UINT_PTR SE_ERR_FNF = 2;
inline constexpr UINT_PTR SE_ERR_NOASSOC = 31;

// Opens file with ShellOpen (parameters and directory as given; the verb
// and the show mode are not used). 33 on success. On failure the Windows
// error is the last error and the result is 2 for error 2, 31 for 1155 (no
// program to open it), else 0; a null or empty file gives 2 with last
// error 2.
HINSTANCE ShellExecuteW(HWND window, LPCWSTR verb, LPCWSTR file, LPCWSTR parameters,
                        LPCWSTR directory, int show);

// ShellOpen of the record's file, parameters and directory; with
// SEE_MASK_NOCLOSEPROCESS in fMask a process handle is stored in hProcess
// (null otherwise). TRUE with hInstApp 33; FALSE with hInstApp 0 and the
// error in the last error: 87 for a null record, 2 for a null or empty
// file, else as ShellOpen.
BOOL ShellExecuteExW(LPSHELLEXECUTEINFOW info);
