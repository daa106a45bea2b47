// The dialogue layer's clipboard text over the layer's clipboard functions.
#include "ui/clipboard_text.h"

#include <cstring>
#include <string>

#include "clipboardapi.h"
#include "stringapiset.h"

namespace {

std::u16string OemToUnicode(const char* text, size_t length) {
    const size_t bytes = text ? strnlen(text, length) : 0;
    if (bytes == 0)
        return {};
    std::u16string out(bytes, u'\0');
    const int made = MultiByteToWideChar(437, 0, text, int(bytes), out.data(), int(out.size()));
    out.resize(size_t(made > 0 ? made : 0));
    return out;
}

// Hands text to the open clipboard as its Unicode text. false when memory
// runs out.
bool SetText(const std::u16string& text) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(WCHAR));
    if (block == nullptr)
        return false;
    std::memcpy(GlobalLock(block), text.c_str(), (text.size() + 1) * sizeof(WCHAR));
    GlobalUnlock(block);
    SetClipboardData(CF_UNICODETEXT, block);
    return true;
}

} // namespace

int ClipboardText(int operation) {
    if (operation != CLIPBOARD_EMPTY)
        return 0;
    OpenClipboard(nullptr);
    EmptyClipboard();
    CloseClipboard();
    return 1;
}

int ClipboardTextA(int operation, const char* text, size_t length, BOOL /*flag*/) {
    if (operation != CLIPBOARD_REPLACE && operation != CLIPBOARD_APPEND)
        return 0;
    std::u16string whole;
    OpenClipboard(nullptr);
    if (operation == CLIPBOARD_APPEND) {
        if (HANDLE held = GetClipboardData(CF_UNICODETEXT)) {
            whole = static_cast<const WCHAR*>(GlobalLock(held));
            GlobalUnlock(held);
        }
    }
    whole += OemToUnicode(text, length);
    EmptyClipboard();
    const bool ok = SetText(whole);
    CloseClipboard();
    return ok ? 1 : 0;
}
