// PROPVARIANT, the tagged value through which the archive interfaces return
// item properties (a path as a BSTR, a size as an integer, a time as a
// FILETIME), and its release.
#pragma once

#include "minwinbase.h"
#include "oleauto.h"

typedef WORD VARTYPE;
// A boolean property: -1 true, 0 false.
typedef SHORT VARIANT_BOOL;

// Type tags of the values the program reads.
inline constexpr VARTYPE VT_EMPTY = 0;
inline constexpr VARTYPE VT_I2 = 2;
inline constexpr VARTYPE VT_I4 = 3;
inline constexpr VARTYPE VT_BSTR = 8;
inline constexpr VARTYPE VT_BOOL = 11;
inline constexpr VARTYPE VT_UI1 = 17;
inline constexpr VARTYPE VT_UI2 = 18;
inline constexpr VARTYPE VT_UI4 = 19;
inline constexpr VARTYPE VT_I8 = 20;
inline constexpr VARTYPE VT_UI8 = 21;
inline constexpr VARTYPE VT_FILETIME = 64;

// 16 bytes: the type tag at 0, three reserved words, the value at 8.
typedef struct tagPROPVARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        BYTE bVal;
        SHORT iVal;
        USHORT uiVal;
        LONG lVal;
        ULONG ulVal;
        LARGE_INTEGER hVal;
        ULARGE_INTEGER uhVal;
        VARIANT_BOOL boolVal;
        FILETIME filetime;
        BSTR bstrVal;
    };
} PROPVARIANT;

static_assert(sizeof(PROPVARIANT) == 16);
static_assert(offsetof(PROPVARIANT, vt) == 0 && offsetof(PROPVARIANT, wReserved3) == 6);
static_assert(offsetof(PROPVARIANT, bstrVal) == 8 && offsetof(PROPVARIANT, uhVal) == 8 &&
              offsetof(PROPVARIANT, filetime) == 8 && offsetof(PROPVARIANT, ulVal) == 8);

// Frees the BSTR the value holds (tag VT_BSTR and a non-null pointer) with
// SysFreeString, then sets all 16 bytes to 0 (tag VT_EMPTY). Values of any
// other tag are only cleared. Returns S_OK, also for a null pv.
HRESULT PropVariantClear(PROPVARIANT* pv);
