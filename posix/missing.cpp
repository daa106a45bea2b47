// The Windows functions the layer names but does not provide. The printer,
// device-context and print-dialog functions fail with error 120, because a
// print command can reach them; the rest stop the program with a message
// after giving the terminal back.
#include "internal/missing.h"
#include "internal/console.h"
#include "errhandlingapi.h"
#include "winerror.h"

#include <cstdio>
#include <cstdlib>

namespace {

BOOL NotImplemented() {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

[[noreturn]] void Missing(const char* name) {
    {
        ConsoleOutputGuard out;
        ConsoleRestoreTerminal();
    }
    std::fflush(stdout);
    std::fprintf(stderr, "\nqposix: %s is not implemented yet\n", name);
    std::fflush(stderr);
    std::abort();
}

} // namespace

BOOL EnumPrintersW(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD needed, LPDWORD returned) {
    if (needed) *needed = 0;
    if (returned) *returned = 0;
    return NotImplemented();
}

BOOL OpenPrinterW(LPWSTR, HANDLE* printer, PRINTER_DEFAULTSW*) {
    if (printer) *printer = nullptr;
    return NotImplemented();
}

BOOL ClosePrinter(HANDLE) { return NotImplemented(); }

DWORD StartDocPrinterW(HANDLE, DWORD, LPBYTE) { return static_cast<DWORD>(NotImplemented()); }

BOOL EndDocPrinter(HANDLE) { return NotImplemented(); }

BOOL StartPagePrinter(HANDLE) { return NotImplemented(); }

BOOL EndPagePrinter(HANDLE) { return NotImplemented(); }

BOOL WritePrinter(HANDLE, LPVOID, DWORD, LPDWORD written) {
    if (written) *written = 0;
    return NotImplemented();
}

BOOL PrintDlgW(PRINTDLGW*) { return NotImplemented(); }

HFONT CreateFontIndirectW(const LOGFONTW*) {
    NotImplemented();
    return nullptr;
}

BOOL DeleteDC(HDC) { return NotImplemented(); }

int StartDocW(HDC, const DOCINFOW*) {
    NotImplemented();
    return SP_ERROR;
}

int EndDoc(HDC) {
    NotImplemented();
    return SP_ERROR;
}

int StartPage(HDC) {
    NotImplemented();
    return SP_ERROR;
}

int EndPage(HDC) {
    NotImplemented();
    return SP_ERROR;
}

int GetDeviceCaps(HDC, int) { return NotImplemented(); }

UINT GetTextAlign(HDC) {
    NotImplemented();
    return GDI_ERROR;
}

UINT SetTextAlign(HDC, UINT) {
    NotImplemented();
    return GDI_ERROR;
}

HGDIOBJ SelectObject(HDC, HGDIOBJ) {
    NotImplemented();
    return nullptr;
}

int SetBkMode(HDC, int) { return NotImplemented(); }

int SetMapMode(HDC, int) { return NotImplemented(); }

BOOL TextOutA(HDC, int, int, LPCSTR, int) { return NotImplemented(); }

HANDLE OpenProcess(DWORD, BOOL, DWORD) { Missing("OpenProcess"); }

DWORD GetModuleFileNameExA(HANDLE, HMODULE, LPSTR, DWORD) { Missing("GetModuleFileNameExA"); }
