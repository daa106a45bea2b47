// COM start-up and object creation. No component can be created on this
// platform: every creation answers with a fixed failure and a null object, so
// that callers (shell links, document filters, the taskbar) take their
// ordinary fallback and nothing stops the program.
#pragma once

#include "wintypes.h"

// A text unit of the COM string functions: one UTF-16 unit.
typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;

// A 128-bit class or interface identifier, as stored in memory by the
// component interfaces (little-endian fields, then eight bytes).
typedef struct _GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
} GUID;
typedef GUID CLSID;
typedef GUID IID;
typedef CLSID* LPCLSID;
typedef const CLSID& REFCLSID;
typedef const IID& REFIID;

static_assert(sizeof(GUID) == 16 && offsetof(GUID, Data2) == 4 && offsetof(GUID, Data3) == 6 &&
              offsetof(GUID, Data4) == 8);

// The base interface of every component; only ever handled through pointers
// here.
struct IUnknown;
typedef IUnknown* LPUNKNOWN;

// Where a component may run; accepted and ignored.
inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_ALL = 0x17;

// Does nothing and returns S_OK; there is no component runtime to start.
HRESULT CoInitialize(LPVOID reserved);
// Does nothing.
void CoUninitialize();

// Stores null in *object (when object is given) and returns
// REGDB_E_CLASSNOTREG: no class is registered. The last error is left as it
// was.
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID* object);

// Clears the 16 bytes of *clsid (when clsid is given) and returns
// CO_E_CLASSSTRING for every text: with no class registry there is no
// class the text could name.
HRESULT CLSIDFromString(LPCOLESTR text, LPCLSID clsid);

// The document-filter loader, which would create a filter component for a
// file: stores null in *filter (when filter is given) and returns E_FAIL.
HRESULT LoadIFilter(LPCWSTR path, LPUNKNOWN outer, LPVOID* filter);
