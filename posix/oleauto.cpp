// BSTR allocation and release: one malloc block holding the 32-bit byte
// length, the UTF-16 units and a 0 unit.
#include "oleauto.h"

#include <cstdlib>
#include <cstring>

namespace {
constexpr size_t kPrefix = sizeof(uint32_t);
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT units) {
    // A longer text would store a wrapped byte length, and every reader of
    // the prefix would see a short string over a long block.
    if (units > 0x7FFFFFFFu) return nullptr;
    size_t textBytes = static_cast<size_t>(units) * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + textBytes + sizeof(OLECHAR)));
    if (!block) return nullptr;
    uint32_t length = static_cast<uint32_t>(textBytes);
    std::memcpy(block, &length, kPrefix);
    auto* bstr = reinterpret_cast<BSTR>(block + kPrefix);
    if (text)
        std::memcpy(bstr, text, textBytes);
    else
        std::memset(bstr, 0, textBytes);
    bstr[units] = 0;
    return bstr;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    size_t n = 0;
    while (text[n]) n++;
    // A text too long for the length prefix is refused by SysAllocStringLen.
    return SysAllocStringLen(text, n > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<UINT>(n));
}

void SysFreeString(BSTR bstr) {
    if (bstr) std::free(reinterpret_cast<unsigned char*>(bstr) - kPrefix);
}
