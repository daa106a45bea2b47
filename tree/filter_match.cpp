// The entry test: one file or directory against a compiled filespec, and
// the test that tells a copy or rename target mask from a plain name.
#include "main/statistics.h"
#include "tree/filter.h"
#include "tree/tree_records.h"
#include "ui/filter_cache.h"
#include "ui/numbers_dates.h"

namespace {

// What the test reads of an entry.
struct EntryFacts {
    const WCHAR* name;
    size_t nameLength;
    PackedDate written;
    LONGLONG size;
    LONGLONG fullLength;
};

// The three groups of items: dates, sizes and lengths, names.
enum Group { DATES = 0, SIZES = 1, NAMES = 2 };

Group GroupOf(DWORD kind) {
    if (kind == FS_DATE) return DATES;
    if (kind == FS_SIZE || kind == FS_FULL_LENGTH || kind == FS_NAME_LENGTH ||
        kind == FS_RELATIVE_LENGTH)
        return SIZES;
    return NAMES;
}

// Whether "value op number" holds, given the three-way compare of the two.
bool Holds(WORD op, int compare) {
    switch (op) {
    case FS_EQ: return compare == 0;
    case FS_LT: return compare < 0;
    case FS_LE: return compare <= 0;
    case FS_GT: return compare > 0;
    case FS_GE: return compare >= 0;
    default: return false;
    }
}

int Compare(LONGLONG a, LONGLONG b) { return a < b ? -1 : a > b ? 1 : 0; }

bool ItemHolds(const FilespecItem& item, const EntryFacts& entry) {
    switch (item.kind) {
    case FS_DATE:
        // Day by day: the times of both are left out.
        return Holds(item.op, ComparePackedDate(PackedDateTime64(entry.written, 0),
                                                PackedDateTime64(item.date, 0)));
    case FS_SIZE: return Holds(item.op, Compare(entry.size, item.value));
    case FS_NAME_LENGTH: return Holds(item.op, Compare(LONGLONG(entry.nameLength), item.value));
    case FS_FULL_LENGTH: return Holds(item.op, Compare(entry.fullLength, item.value));
    case FS_RELATIVE_LENGTH: {
        const LONGLONG base = psiCurrent && psiCurrent->pszFullName
                                  ? LONGLONG(wcslen(psiCurrent->pszFullName))
                                  : 0;
        return Holds(item.op, Compare(entry.fullLength - base, item.value));
    }
    case FS_REGEX: return FilespecCacheLookup(&item, entry.name) != 0;
    default: return fnmatch(ItemMask(&item), entry.name) != 0;
    }
}

// A ">" or ">=" item followed by a "<" or "<=" item of the same test opens
// a range: the pair holds only together.
bool OpensRange(const FilespecItem* items, DWORD count, DWORD i) {
    const FilespecItem& a = items[i];
    if (i + 1 >= count || a.exclude || GroupOf(a.kind) == NAMES) return false;
    if (a.op != FS_GT && a.op != FS_GE) return false;
    const FilespecItem& b = items[i + 1];
    return b.kind == a.kind && !b.exclude && (b.op == FS_LT || b.op == FS_LE);
}

int Evaluate(const FilespecItem* items, DWORD count, const EntryFacts& entry, BOOL invert) {
    const int pass = invert ? 0 : 1;
    const int fail = 1 - pass;
    if (count == 0 || !items) return pass;
    struct {
        DWORD tests = 0;
        DWORD missedExcludes = 0;
        bool matched = false;
    } groups[3];
    bool inRange = false;
    bool rangeHeld = false;
    for (DWORD i = 0; i < count; i++) {
        const FilespecItem& item = items[i];
        const Group group = GroupOf(item.kind);
        bool hit = ItemHolds(item, entry);
        if (item.exclude) {
            if (hit) return fail;
            if (group != NAMES) {
                groups[group].tests++;
                groups[group].missedExcludes++;
            }
            continue;
        }
        groups[group].tests++;
        if (OpensRange(items, count, i)) {
            inRange = true;
            rangeHeld = hit;
            continue;
        }
        if (inRange) {
            hit = hit && rangeHeld;
            inRange = false;
        }
        if (hit) groups[group].matched = true;
    }
    for (int g = DATES; g <= SIZES; g++) {
        const auto& group = groups[g];
        if (group.tests && group.missedExcludes != group.tests && !group.matched) return fail;
    }
    const auto& names = groups[NAMES];
    return names.tests == 0 || names.matched ? pass : fail;
}

} // namespace

int FileMatchesFilespec(const FilespecItem* items, DWORD count, const FileEntry* entry,
                        BOOL invert) {
    if (count == 0 || !items) return invert ? 0 : 1;
    WCHAR name[TREE_MAX_FULL_NAME + 2];
    EntryFacts facts{};
    facts.nameLength = GetFileDisplayName(name, entry);
    facts.name = name;
    facts.written = entry->dWritten;
    facts.size = LONGLONG(entry->qwSize);
    facts.fullLength = LONGLONG(facts.nameLength);
    if (const SubdirInfo* owner = entry->psiOwner; owner && owner->pszFullName) {
        const size_t dir = wcslen(owner->pszFullName);
        const bool endsInSeparator = dir > 0 && owner->pszFullName[dir - 1] == '\\';
        facts.fullLength += LONGLONG(dir + (endsInSeparator ? 0 : 1));
    }
    return Evaluate(items, count, facts, invert);
}

int FileMatchesFilespec(const FilespecItem* items, DWORD count, const SubdirInfo* dir,
                        BOOL invert) {
    if (count == 0 || !items) return invert ? 0 : 1;
    EntryFacts facts{};
    facts.name = dir->pszName ? dir->pszName : u"";
    facts.nameLength = wcslen(facts.name);
    facts.written = dir->dWritten;
    // A directory whose files are not read has no size yet.
    facts.size = dir->bLogged == 1
                     ? LONGLONG(FormatCountK(const_cast<SubdirInfo*>(dir), nullptr, 0))
                     : -1;
    facts.fullLength = dir->pszFullName ? LONGLONG(wcslen(dir->pszFullName)) : 0;
    return Evaluate(items, count, facts, invert);
}

int IsComplexMask(const WCHAR* text) {
    if (text[0] == '"') return 1;
    for (const WCHAR* p = text; *p; ++p)
        if (*p == '<' || *p == '/' || *p == ':' || *p == '?' || *p == '|') return 1;
    // A '*' makes a mask unless it is the whole of its part.
    auto starInPart = [](const WCHAR* begin, const WCHAR* end) {
        bool star = false;
        for (const WCHAR* p = begin; p < end; ++p) star |= *p == '*';
        return star && !(end - begin == 1 && *begin == '*');
    };
    const WCHAR* end = text + wcslen(text);
    const WCHAR* dot = wcsrchr(text, '.');
    if (!dot) return starInPart(text, end) ? 1 : 0;
    return starInPart(text, dot) || starInPart(dot + 1, end) ? 1 : 0;
}
