// COM start-up and object creation with their fixed answers: there is no
// component runtime on this platform, so nothing can be created.
#include "combaseapi.h"
#include "winerror.h"

#include <cstring>

HRESULT CoInitialize(LPVOID) { return S_OK; }

void CoUninitialize() {}

HRESULT CoCreateInstance(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* object) {
    // Callers test the object as well as the result; it must never hold
    // whatever was there before.
    if (object) *object = nullptr;
    return REGDB_E_CLASSNOTREG;
}

HRESULT CLSIDFromString(LPCOLESTR, LPCLSID clsid) {
    if (clsid) std::memset(clsid, 0, sizeof *clsid);
    return CO_E_CLASSSTRING;
}

HRESULT LoadIFilter(LPCWSTR, LPUNKNOWN, LPVOID* filter) {
    if (filter) *filter = nullptr;
    return E_FAIL;
}
