// Windows functions the layer names but does not provide: printing to
// printers and device contexts, the print dialog, and two process-query
// functions. The printing ones are within reach of an ordinary print
// command, so they fail cleanly with error 120 (ERROR_CALL_NOT_IMPLEMENTED)
// and leave the program running; the two that nothing in the programs calls
// stop the program with a message instead.
#pragma once

#include "wintypes.h"

typedef HANDLE HDC;
typedef HANDLE HFONT;
typedef HANDLE HGDIOBJ;
typedef HANDLE HGLOBAL;
typedef UINT_PTR (*LPPRINTHOOKPROC)(HANDLE dialog, UINT message, UINT_PTR wParam, LONG_PTR lParam);
typedef UINT_PTR (*LPSETUPHOOKPROC)(HANDLE dialog, UINT message, UINT_PTR wParam, LONG_PTR lParam);

typedef struct _LOGFONTW {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[32];
} LOGFONTW;

typedef struct _DOCINFOW {
    int cbSize;
    LPCWSTR lpszDocName;
    LPCWSTR lpszOutput;
    LPCWSTR lpszDatatype;
    DWORD fwType;
} DOCINFOW;

typedef struct _DOC_INFO_1W {
    LPWSTR pDocName;
    LPWSTR pOutputFile;
    LPWSTR pDatatype;
} DOC_INFO_1W;

typedef struct _PRINTER_DEFAULTSW {
    LPWSTR pDatatype;
    void* pDevMode;
    DWORD DesiredAccess;
} PRINTER_DEFAULTSW;

typedef struct _PRINTDLGW {
    DWORD lStructSize;
    HWND hwndOwner;
    HGLOBAL hDevMode;
    HGLOBAL hDevNames;
    HDC hDC;
    DWORD Flags;
    WORD nFromPage;
    WORD nToPage;
    WORD nMinPage;
    WORD nMaxPage;
    WORD nCopies;
    HINSTANCE hInstance;
    LONG_PTR lCustData;
    LPPRINTHOOKPROC lpfnPrintHook;
    LPSETUPHOOKPROC lpfnSetupHook;
    LPCWSTR lpPrintTemplateName;
    LPCWSTR lpSetupTemplateName;
    HGLOBAL hPrintTemplate;
    HGLOBAL hSetupTemplate;
} PRINTDLGW;

static_assert(sizeof(LOGFONTW) == 92);

// The failure value of the document and page functions.
inline constexpr int SP_ERROR = -1;
// The failure value of the text-alignment functions.
inline constexpr UINT GDI_ERROR = 0xFFFFFFFF;

// ---- printing: each fails with error 120 ------------------------------------------------

// No printers: TRUE with 0 printers found would hide the failure, so FALSE;
// *needed and *returned are 0.
BOOL EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE printers, DWORD size,
                   LPDWORD needed, LPDWORD returned);
// FALSE, *printer null.
BOOL OpenPrinterW(LPWSTR name, HANDLE* printer, PRINTER_DEFAULTSW* defaults);
BOOL ClosePrinter(HANDLE printer);
// 0: no job.
DWORD StartDocPrinterW(HANDLE printer, DWORD level, LPBYTE document);
BOOL EndDocPrinter(HANDLE printer);
BOOL StartPagePrinter(HANDLE printer);
BOOL EndPagePrinter(HANDLE printer);
// FALSE, *written 0.
BOOL WritePrinter(HANDLE printer, LPVOID bytes, DWORD count, LPDWORD written);
// FALSE: the dialog was not shown.
BOOL PrintDlgW(PRINTDLGW* dialog);
// Null: no font.
HFONT CreateFontIndirectW(const LOGFONTW* font);
BOOL DeleteDC(HDC dc);
// SP_ERROR.
int StartDocW(HDC dc, const DOCINFOW* document);
int EndDoc(HDC dc);
int StartPage(HDC dc);
int EndPage(HDC dc);
// 0.
int GetDeviceCaps(HDC dc, int index);
// GDI_ERROR.
UINT GetTextAlign(HDC dc);
UINT SetTextAlign(HDC dc, UINT align);
// Null.
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// 0.
int SetBkMode(HDC dc, int mode);
int SetMapMode(HDC dc, int mode);
// FALSE.
BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int count);

// ---- not provided: the program stops ---------------------------------------------------------

// Restore the terminal, flush the standard output, write "\nqposix: NAME is
// not implemented yet\n" to the standard error stream and abort.
HANDLE OpenProcess(DWORD access, BOOL inherit, DWORD processId);
DWORD GetModuleFileNameExA(HANDLE process, HMODULE module, LPSTR name, DWORD size);
