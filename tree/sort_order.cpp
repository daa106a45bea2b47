// Sort orders of the panes and the name comparators of the tree order.
#include "tree/sort_order.h"

#include "main/window_state.h"
#include "qwcrt.h"
#include "shlwapi.h"
#include "stringapiset.h"
#include "tree/tree_records.h"

SortSpec gFileOrder[2];
SortSpec gDirOrder[2];
SortSpec* gPaneOrder[2] = {&gFileOrder[0], &gFileOrder[1]};
BOOL gTreeNumberOrder = FALSE;

namespace {

constexpr DWORD kUserDefaultLocale = 0x400;
constexpr DWORD kIgnoreCaseAndNonSpace = 3;

WCHAR FoldAscii(WCHAR c) { return c >= u'a' && c <= u'z' ? WCHAR(c - 32) : c; }

const WCHAR* LongNameOf(const void* recordPointer) {
    const EntryHead* head = *static_cast<const EntryHead* const*>(recordPointer);
    return head->name ? head->name : u"";
}

} // namespace

int CompareNames(const WCHAR* a, const WCHAR* b) {
    if (!*a || !*b) return (*a ? 1 : 0) - (*b ? 1 : 0);
    const bool driveA = IsDriveEntryName(a), driveB = IsDriveEntryName(b);
    if (driveA || driveB) return int(driveA) - int(driveB);
    const SortSpec* order = gPaneOrder[gCurrentPane & 1];
    if (order && order->charset == SORT_CHARSET_ANSI)
        return CompareStringW(kUserDefaultLocale, kIgnoreCaseAndNonSpace, a, -1, b, -1) - 2;
    for (;; a++, b++) {
        const WCHAR x = FoldAscii(*a), y = FoldAscii(*b);
        if (x != y) return int(x) - int(y);
        if (!x) return 0;
    }
}

int CompareEntryNames(const void* a, const void* b) {
    const WCHAR* nameA = LongNameOf(a);
    const WCHAR* nameB = LongNameOf(b);
    const int order = gTreeNumberOrder ? StrCmpLogicalW(nameA, nameB) : CompareNames(nameA, nameB);
    return order ? order : wcscmp(nameA, nameB);
}

int FindEntryName(const void* name, const void* record) {
    const WCHAR* key = static_cast<const WCHAR*>(name);
    const WCHAR* other = LongNameOf(record);
    const int order = CompareNames(key, other);
    return order ? order : wcscmp(key, other);
}

int CompareLogical(const WCHAR* a, const WCHAR* b) { return StrCmpLogicalW(a, b); }
