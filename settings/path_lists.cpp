// The directory bookmarks and the per-volume remembered values: plain lists
// kept in the order the user made them.
#include "settings/path_lists.h"

#include "main/window_state.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::vector<std::u16string> gBookmarks;
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
    if (operation == 4) return INT_PTR(gBookmarks.size());
    return 0;
}

void SetLoggedPaths(const std::u16string* entries, size_t count) {
    gBookmarks.clear();
    for (size_t i = 0; i < count && gBookmarks.size() < BOOKMARK_COUNT; i++)
        if (!entries[i].empty() && entries[i].size() <= BOOKMARK_UNITS) gBookmarks.push_back(entries[i]);
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
