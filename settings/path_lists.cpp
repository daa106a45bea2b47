// The directory bookmarks and the per-volume remembered values: plain lists
// kept in the order the user made them.
#include "settings/path_lists.h"

#include "main/window_state.h"
#include "remote/remote_drives.h"
#include "settings/settings.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::vector<std::u16string> gBookmarks;
// The entry the last step went to; the list's end (its size) before any.
size_t gBookmarkCurrent = 0;
std::vector<MemoNode> gMemo[2];

size_t UnitLength(const WCHAR* text) {
    size_t n = 0;
    if (text)
        while (text[n]) n++;
    return n;
}

bool NodeMatches(const MemoNode& node, WORD kind, std::u16string_view key) {
    if (node.kind != kind) return false;
    switch (kind) {
    case MEMO_KIND_BRANCH: return node.key == key;
    case MEMO_KIND_SHOWALL: return node.key.substr(0, 2) == key.substr(0, 2);
    case MEMO_KIND_GLOBAL: return true;
    default: return false;
    }
}

WCHAR* Memo(int list, int operation, const WCHAR* key, const WCHAR* value) {
    std::vector<MemoNode>& nodes = gMemo[list];
    const WORD kind = gDisplayMode[gCurrentPane & 1];
    const std::u16string_view keyText(key ? key : u"", UnitLength(key));
    switch (operation) {
    case 0:
    case 1: {
        if (kind < MEMO_KIND_BRANCH || kind > MEMO_KIND_GLOBAL) return nullptr;
        for (MemoNode& node : nodes) {
            if (!NodeMatches(node, kind, keyText)) continue;
            if (operation == 0) node.value.assign(value ? value : u"", UnitLength(value));
            return node.value.data();
        }
        if (operation == 1) return nullptr;
        nodes.push_back({kind, std::u16string(keyText),
                         std::u16string(value ? value : u"", UnitLength(value))});
        return nodes.back().value.data();
    }
    case 2:
        nodes.clear();
        nodes.shrink_to_fit();
        return nullptr;
    case 3: {
        std::vector<WCHAR> out;
        out.push_back(WCHAR(nodes.size()));
        for (const MemoNode& node : nodes) {
            out.push_back(WCHAR(node.kind));
            out.push_back(WCHAR(node.key.size()));
            out.insert(out.end(), node.value.begin(), node.value.end());
            out.push_back(0);
        }
        auto* buffer = static_cast<WCHAR*>(std::malloc(out.size() * sizeof(WCHAR)));
        if (buffer) std::memcpy(buffer, out.data(), out.size() * sizeof(WCHAR));
        return buffer;
    }
    default: return nullptr;
    }
}

bool IsDirectory(const std::u16string& path) {
    const DWORD attrs = RdGetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

// One step through the bookmarks from path's entry (from the current entry
// when the list does not hold path): the entry step away, wrapping past
// either end when the settings ask for it. Entries whose directory is gone
// are dropped on the way. Null when no entry lies that way.
const WCHAR* StepBookmark(int step, const WCHAR* path) {
    const bool wrap = gSettings.bBookmarksWrap != 0;
    const long direction = step < 0 ? -1 : 1;
    // A position may stand just outside the list (-1 or its size).
    long at = long(std::min(gBookmarkCurrent, gBookmarks.size()));
    if (path)
        for (size_t i = 0; i < gBookmarks.size(); i++)
            if (gBookmarks[i] == path) at = long(i);
    const WCHAR* found = nullptr;
    // Every round either finds an entry or drops one, so the walk ends.
    while (!gBookmarks.empty()) {
        const long count = long(gBookmarks.size());
        long next = at + direction;
        if (next < 0 || next >= count) {
            if (!wrap) break;
            next = next < 0 ? count - 1 : 0;
        }
        if (IsDirectory(gBookmarks[size_t(next)])) {
            gBookmarkCurrent = size_t(next);
            found = gBookmarks[size_t(next)].c_str();
            break;
        }
        gBookmarks.erase(gBookmarks.begin() + next);
        // The walk goes on from the dropped entry's place.
        at = direction > 0 ? next - 1 : next;
    }
    gBookmarkCurrent = std::min(gBookmarkCurrent, gBookmarks.size());
    return found;
}

} // namespace

INT_PTR LoggedPathList(int operation, int step, const WCHAR* path) {
    (void)step;
    if (operation > 15 || operation < 0) return 0;
    if (operation == 11) {
        std::vector<std::u16string> entries;
        const std::u16string_view text(path ? path : u"", UnitLength(path));
        for (size_t start = 0; start <= text.size();) {
            size_t bar = text.find(u'|', start);
            if (bar == std::u16string_view::npos) bar = text.size();
            entries.emplace_back(text.substr(start, bar - start));
            start = bar + 1;
        }
        SetLoggedPaths(entries.data(), entries.size());
        return INT_PTR(gBookmarks.size());
    }
    if (UnitLength(path) > BOOKMARK_UNITS) return 0;
    switch (operation) {
    case 1: return INT_PTR(StepBookmark(step, path));
    case 4: return INT_PTR(gBookmarks.size());
    // The list is offered for picking once the history pick list exists;
    // until then nothing is chosen.
    case 7: return 0;
    default: return 0;
    }
}

void SetLoggedPaths(const std::u16string* entries, size_t count) {
    gBookmarks.clear();
    for (size_t i = 0; i < count && gBookmarks.size() < BOOKMARK_COUNT; i++)
        if (!entries[i].empty() && entries[i].size() <= BOOKMARK_UNITS) gBookmarks.push_back(entries[i]);
    gBookmarkCurrent = gBookmarks.size();
}

size_t LoggedPathCount() { return gBookmarks.size(); }

const WCHAR* LoggedPathAt(size_t index) {
    return index < gBookmarks.size() ? gBookmarks[index].c_str() : nullptr;
}

WCHAR* VolumePathMemo(int operation, const WCHAR* key, const WCHAR* value) {
    return Memo(0, operation, key, value);
}

WCHAR* VolumePathMemoAlt(int operation, const WCHAR* key, const WCHAR* value) {
    return Memo(1, operation, key, value);
}

size_t MemoCount(int list) { return gMemo[list & 1].size(); }

const MemoNode* MemoAt(int list, size_t index) {
    const std::vector<MemoNode>& nodes = gMemo[list & 1];
    return index < nodes.size() ? &nodes[index] : nullptr;
}

void MemoAppend(int list, WORD kind, std::u16string_view key, std::u16string_view value) {
    gMemo[list & 1].push_back({kind, std::u16string(key), std::u16string(value)});
}
