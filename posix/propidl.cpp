// Clearing a PROPVARIANT: the one owned value kind the program meets is a
// BSTR, which is freed before the record is zeroed.
#include "propidl.h"
#include "winerror.h"

#include <cstring>

HRESULT PropVariantClear(PROPVARIANT* pv) {
    if (!pv) return S_OK;
    if (pv->vt == VT_BSTR && pv->bstrVal) SysFreeString(pv->bstrVal);
    std::memset(pv, 0, sizeof *pv);
    return S_OK;
}
