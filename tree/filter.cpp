// Filespec texts: splitting a typed filter into items, checking each item's
// syntax, compiling items into FilespecItem records, and the five filter
// slots that hold the compiled filters of the panes and dialogs.
#include "tree/filter.h"

#include "platform/packed_dates.h"
#include "settings/quit.h"
#include "settings/settings.h"
#include "tree/regex.h"
#include "ui/numbers_dates.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

FilterSlot gFilterSlots[FILTER_SLOT_COUNT];
WCHAR gFilespecCanonical[FILESPEC_PATTERN_UNITS + 8];

namespace {

// Longest item content (quotes and '-' not counted) that still fits the
// pattern field with what compiling adds ("*" in front, ".*" behind).
constexpr size_t kMaxItemUnits = FILESPEC_PATTERN_UNITS - 6;

bool IsOpChar(WCHAR c) { return c == '<' || c == '=' || c == '>'; }
bool IsDigit(WCHAR c) { return c >= '0' && c <= '9'; }
WCHAR Upper(WCHAR c) { return c >= 'a' && c <= 'z' ? WCHAR(c - 32) : c; }

// Whether the item at text compares a size or a length, whose number may
// group its digits with ','.
bool IsNumberComparison(const WCHAR* text) {
    const WCHAR* p = text;
    if (*p == '-') ++p;
    int ops = 0;
    while (IsOpChar(*p) && ops < 3) ++p, ++ops;
    if (ops == 0) return false;
    const WCHAR c = Upper(*p);
    return c == 'S' || c == 'F' || c == 'L' || c == 'R';
}

// The end of the item that starts at text: the ',' outside double quotes
// that ends it, or the terminator. In a size or length a ',' followed by
// three digits (and no fourth) groups digits and does not end the item.
const WCHAR* ItemEnd(const WCHAR* text) {
    const bool number = IsNumberComparison(text);
    bool quoted = false;
    for (const WCHAR* p = text;; ++p) {
        if (*p == 0) return p;
        if (*p == '"') quoted = !quoted;
        if (*p != ',' || quoted) continue;
        if (number && IsDigit(p[1]) && IsDigit(p[2]) && IsDigit(p[3]) && !IsDigit(p[4])) continue;
        return p;
    }
}

// One item taken apart: the exclusion mark, the quotes and the content.
struct ItemParts {
    bool exclude = false;
    bool quoted = false;
    const WCHAR* begin = nullptr; // content
    const WCHAR* end = nullptr;
};

bool SplitItem(const WCHAR* text, ItemParts* parts) {
    const WCHAR* p = text;
    const WCHAR* end = ItemEnd(text);
    if (p < end && *p == '-') {
        parts->exclude = true;
        ++p;
    }
    if (p < end && *p == '"') {
        // The closing quote must be the item's last unit.
        if (end - p < 2 || end[-1] != '"') return false;
        parts->quoted = true;
        parts->begin = p + 1;
        parts->end = end - 1;
        for (const WCHAR* q = parts->begin; q < parts->end; ++q)
            if (*q == '"') return false;
    } else {
        parts->begin = p;
        parts->end = end;
        for (const WCHAR* q = p; q < end; ++q)
            if (*q == '"') return false;
    }
    return parts->begin < parts->end && size_t(parts->end - parts->begin) <= kMaxItemUnits;
}

bool Contains(const WCHAR* begin, const WCHAR* end, WCHAR c) {
    for (const WCHAR* p = begin; p < end; ++p)
        if (*p == c) return true;
    return false;
}

// The operators as written, and their codes plain and excluded (without and
// with the setting that makes "<" and ">" include the value itself).
enum class Written { Eq, Ne, Lt, Le, Gt, Ge };

bool ReadOperator(const WCHAR*& p, const WCHAR* end, Written* written) {
    WCHAR a = p < end ? p[0] : 0;
    WCHAR b = p + 1 < end && IsOpChar(p[1]) ? p[1] : 0;
    if (!IsOpChar(a)) return false;
    if (p + 2 < end && b && IsOpChar(p[2])) return false;
    if (!b) {
        *written = a == '=' ? Written::Eq : a == '<' ? Written::Lt : Written::Gt;
        p += 1;
        return true;
    }
    if ((a == '<' && b == '=') || (a == '=' && b == '<')) *written = Written::Le;
    else if ((a == '>' && b == '=') || (a == '=' && b == '>')) *written = Written::Ge;
    else if ((a == '<' && b == '>') || (a == '>' && b == '<')) *written = Written::Ne;
    else return false;
    p += 2;
    return true;
}

// Digits, digit-grouping commas and '?': the number of a size or length
// item (-1 for '?'). At least one digit or '?'; at most 18 digits.
bool ReadNumber(const WCHAR* p, const WCHAR* end, LONGLONG* value) {
    bool unknown = false;
    int digits = 0;
    LONGLONG v = 0;
    for (; p < end; ++p) {
        if (*p == ',') continue;
        if (*p == '?') {
            unknown = true;
            continue;
        }
        if (!IsDigit(*p) || ++digits > 18) return false;
        v = v * 10 + (*p - '0');
    }
    if (!unknown && digits == 0) return false;
    *value = unknown ? -1 : v;
    return true;
}

// A run of up to five digits.
bool ReadField(const WCHAR* p, const WCHAR* end, int* value) {
    if (p >= end || end - p > 5) return false;
    int v = 0;
    for (; p < end; ++p) {
        if (!IsDigit(*p)) return false;
        v = v * 10 + (*p - '0');
    }
    *value = v;
    return true;
}

bool IsDateSeparator(WCHAR c) { return c == '-' || c == '.' || c == '/'; }

// A date written in the configured order: three numbers separated by '-',
// '.' or '/', or six digits (two each; eight digits give the year four).
// Years 0 to 79 mean 2000 to 2079 and 80 to 1600 mean 1900 plus the year,
// so that a two-digit year is checked and compared as the year it stands
// for; the year must then lie in 1601 to 2079.
bool ParseFilespecDate(const WCHAR* p, const WCHAR* end, PackedDate* out) {
    int fields[3];
    const WCHAR* starts[3];
    const WCHAR* ends[3];
    int n = 0;
    const WCHAR* start = p;
    bool separated = false;
    for (const WCHAR* q = p; q <= end; ++q) {
        if (q == end || IsDateSeparator(*q)) {
            if (q != end) separated = true;
            if (n == 3) return false;
            starts[n] = start;
            ends[n] = q;
            n++;
            start = q + 1;
        }
    }
    const int order = gDateFormat % 3; // 0 d m y, 1 m d y, 2 y m d
    if (separated) {
        if (n != 3) return false;
    } else {
        const size_t length = size_t(end - p);
        if (length != 6 && length != 8) return false;
        const int yearWidth = length == 8 ? 4 : 2;
        const int widths[3] = {order == 2 ? yearWidth : 2, 2, order == 2 ? 2 : yearWidth};
        const WCHAR* q = p;
        for (int i = 0; i < 3; i++) {
            starts[i] = q;
            ends[i] = q + widths[i];
            q += widths[i];
        }
    }
    for (int i = 0; i < 3; i++)
        if (!ReadField(starts[i], ends[i], &fields[i])) return false;
    int day, month, year;
    if (order == 0) day = fields[0], month = fields[1], year = fields[2];
    else if (order == 1) month = fields[0], day = fields[1], year = fields[2];
    else year = fields[0], month = fields[1], day = fields[2];
    if (year < 80) year += 2000;
    else if (year <= 1600) year += 1900;
    if (day < 1 || day > 31 || month < 1 || month > 12 || year < 1601 || year > 2079) return false;
    *out = PackDate(unsigned(year), unsigned(month), unsigned(day));
    return true;
}

bool MatchesNoCase(const WCHAR* p, const WCHAR* end, const char* word) {
    for (; *word; ++word, ++p)
        if (p >= end || Upper(*p) != WCHAR(*word)) return false;
    return true;
}

// "TODAY" or "TODAY-n" (n days back): today's local date less n days.
bool ReadToday(const WCHAR* p, const WCHAR* end, PackedDate* out) {
    if (!MatchesNoCase(p, end, "TODAY")) return false;
    p += 5;
    DWORD back = 0;
    if (p < end) {
        if (*p != '-' || end - p < 2 || end - p > 8) return false;
        for (++p; p < end; ++p) {
            if (!IsDigit(*p)) return false;
            back = back * 10 + DWORD(*p - '0');
        }
    }
    if (!out) return true;
    DosDateTime now{};
    GetPackedNow(&now);
    const DWORD today = JulianDay(DateRecord{now.day, now.month, now.year});
    const DWORD earliest = JulianDay(DateRecord{1, 1, 1601});
    const DWORD day = today > earliest && today - earliest > back ? today - back : earliest;
    const DateRecord date = DateFromJulianDay(day);
    *out = PackDate(date.year, date.month, date.day);
    return true;
}

// The rest of a comparison after its operator: what it compares, and with
// what. kind and value/date are written only when given.
bool ReadComparand(const WCHAR* p, const WCHAR* end, DWORD* kind, LONGLONG* value,
                   PackedDate* date) {
    if (p >= end) return false;
    const WCHAR c = Upper(*p);
    LONGLONG number = 0;
    if (c == 'F' || c == 'L' || c == 'R' || c == 'S') {
        if (!ReadNumber(p + 1, end, &number)) return false;
        if (kind) *kind = c == 'S' ? FS_SIZE : DWORD(c);
        if (value) *value = number;
        return true;
    }
    PackedDate d = 0;
    if (MatchesNoCase(p, end, "TODAY")) {
        if (!ReadToday(p, end, date ? &d : nullptr)) return false;
    } else if (!ParseFilespecDate(p, end, &d)) {
        return false;
    }
    if (kind) *kind = FS_DATE;
    if (date) *date = d;
    return true;
}

void CopyUnits(WCHAR* out, size_t room, const WCHAR* begin, const WCHAR* end) {
    size_t n = size_t(end - begin);
    if (n >= room) n = room - 1;
    std::memcpy(out, begin, n * sizeof(WCHAR));
    out[n] = 0;
}

bool SameText(const WCHAR* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (*a != WCHAR(static_cast<unsigned char>(*b))) return false;
    return *a == 0 && *b == 0;
}

void AppendText(WCHAR* out, size_t room, const WCHAR* text) {
    size_t n = wcslen(out);
    for (; *text && n + 1 < room; ++text) out[n++] = *text;
    out[n] = 0;
}

} // namespace

int SplitFilespecText(WCHAR* text) {
    size_t length = wcslen(text);
    while (length > 0 && text[length - 1] == ' ') text[--length] = 0;
    WCHAR* in = text;
    // A label ends at the first ':'; a regular expression carries none.
    if (*in != '/') {
        if (WCHAR* colon = wcschr(in, ':')) in = colon + 1;
    }
    while (*in == ' ') ++in;
    WCHAR* out = text;
    bool quoted = false;
    for (; *in; ++in) {
        WCHAR c = *in;
        if (c == '"') {
            quoted = !quoted;
            *out++ = c;
            continue;
        }
        if (quoted) {
            *out++ = c;
            continue;
        }
        if (c == ' ') {
            // A run of blanks is one separator, and none next to ',' or ';'.
            while (in[1] == ' ') ++in;
            const bool afterSeparator = out == text || out[-1] == ',';
            if (afterSeparator || in[1] == ',' || in[1] == ';' || in[1] == 0) continue;
            c = ',';
        } else if (c == ';') {
            c = ',';
        }
        *out++ = c;
    }
    if (quoted) *out++ = '"';
    *out = 0;
    // Items are counted as ItemEnd finds them: digit grouping in a number
    // separates nothing.
    int count = 1;
    for (const WCHAR* p = ItemEnd(text); *p; p = ItemEnd(p + 1)) count++;
    return count;
}

int FilespecToken(const WCHAR* item, DWORD* comparison) {
    if (comparison) *comparison = 0;
    ItemParts parts;
    if (!SplitItem(item, &parts)) return 0;
    const WCHAR* p = parts.begin;
    const WCHAR* end = parts.end;
    for (const WCHAR* q = p; q < end; ++q) {
        if (*q == '\\' || *q == ':') return 0;
        if (*q == '*' && q + 1 < end && q[1] == '*') return 0;
    }
    if (!parts.quoted && IsOpChar(*p)) {
        Written written;
        if (!ReadOperator(p, end, &written)) return 0;
        if (!ReadComparand(p, end, nullptr, nullptr, nullptr)) return 0;
        if (comparison) *comparison = 1;
        return 1;
    }
    return Contains(p, end, '/') ? 0 : 1;
}

int ParseFilespecList(const WCHAR* text, int count, DWORD* anyComparison) {
    if (anyComparison) *anyComparison = 0;
    const WCHAR* p = text;
    for (int i = 0; i < count; i++) {
        DWORD comparison = 0;
        if (!FilespecToken(p, &comparison)) return 0;
        if (comparison && anyComparison) *anyComparison = 1;
        const WCHAR* end = ItemEnd(p);
        if (*end == 0) return i + 1 == count ? 1 : 0;
        p = end + 1;
    }
    return 1;
}

int CompileFilespec(const WCHAR* text, FilespecItem* item, DWORD* notAll) {
    std::memset(item, 0, sizeof *item);
    gFilespecCanonical[0] = 0;
    if (notAll) *notAll = 0;
    DWORD comparison = 0;
    if (!FilespecToken(text, &comparison)) return 0;
    ItemParts parts;
    SplitItem(text, &parts);
    item->exclude = parts.exclude ? 1 : 0;

    if (comparison) {
        const WCHAR* p = parts.begin;
        Written written = Written::Eq;
        ReadOperator(p, parts.end, &written);
        const bool inclusive = gSettings.bDateSizeInclusive != 0;
        const bool excluded = item->exclude != 0;
        // An excluded comparison is stored as its opposite; only "=" keeps
        // the exclusion, and "<>" is an excluded "=".
        switch (written) {
        case Written::Eq: item->op = FS_EQ; break;
        case Written::Ne:
            item->op = FS_EQ;
            item->exclude = excluded ? 0 : 1;
            break;
        case Written::Lt: item->op = excluded ? (inclusive ? FS_GT : FS_GE) : (inclusive ? FS_LE : FS_LT); break;
        case Written::Le: item->op = excluded ? FS_GT : FS_LE; break;
        case Written::Gt: item->op = excluded ? (inclusive ? FS_LT : FS_LE) : (inclusive ? FS_GE : FS_GT); break;
        case Written::Ge: item->op = excluded ? FS_LT : FS_GE; break;
        }
        if (written != Written::Eq && written != Written::Ne) item->exclude = 0;
        ReadComparand(p, parts.end, &item->kind, &item->value, &item->date);
        // The canonical text is the item as written.
        CopyUnits(item->pattern, FILESPEC_PATTERN_UNITS, text, ItemEnd(text));
        CopyUnits(gFilespecCanonical, sizeof gFilespecCanonical / sizeof(WCHAR), text,
                  ItemEnd(text));
        if (notAll) *notAll = 1;
        return 1;
    }

    WCHAR pattern[FILESPEC_PATTERN_UNITS + 4];
    size_t n = 0;
    if (gSettings.bLeadingDotStar && *parts.begin == '.') pattern[n++] = '*';
    for (const WCHAR* q = parts.begin; q < parts.end; ++q) pattern[n++] = *q;
    pattern[n] = 0;
    // Without a dot after the first unit the pattern matches only names
    // without an extension, unless the trailing-star setting widens a
    // trailing '*' to every extension.
    if (!wcschr(pattern + 1, '.')) {
        const bool star = pattern[n - 1] == '*';
        pattern[n++] = '.';
        if (star && gSettings.bTrailingStarDot) pattern[n++] = '*';
        pattern[n] = 0;
    }
    int dots = 0;
    for (size_t i = 0; i < n; i++) dots += pattern[i] == '.';
    if (dots >= 2 && pattern[n - 1] == '.') pattern[--n] = 0;

    const WCHAR quote[2] = {parts.quoted ? WCHAR('"') : WCHAR(0), 0};
    gFilespecCanonical[0] = 0;
    const size_t room = sizeof gFilespecCanonical / sizeof(WCHAR);
    if (item->exclude) AppendText(gFilespecCanonical, room, u"-");
    AppendText(gFilespecCanonical, room, quote);
    AppendText(gFilespecCanonical, room, pattern);
    AppendText(gFilespecCanonical, room, quote);
    if (notAll) *notAll = SameText(gFilespecCanonical, "*.*") ? 0 : 1;
    item->kind = wcschr(pattern, '*') ? FS_WILDCARD : FS_NAME;

    // Name and extension at the last dot; a dot in the first unit does not
    // count.
    WCHAR* dot = wcsrchr(pattern + 1, '.');
    if (dot) {
        *dot = 0;
        CopyUnits(item->extension, FILESPEC_PATTERN_UNITS, dot + 1, dot + 1 + wcslen(dot + 1));
    }
    CopyUnits(item->pattern, FILESPEC_PATTERN_UNITS, pattern, pattern + wcslen(pattern));
    return 1;
}

// ---- the slots -------------------------------------------------------------------

namespace {

FilespecItem* AllocItems(size_t count) {
    return static_cast<FilespecItem*>(
        CheckedCalloc(count ? count : 1, sizeof(FilespecItem), "Qtb", __LINE__, "AllocItems"));
}

void SetText(WCHAR* out, size_t room, const WCHAR* text) {
    out[0] = 0;
    AppendText(out, room, text);
}

// The statistics panel's form of a full text: cut after 14 units with
// U+25BA when it is longer than 15.
void MakeShortText(WCHAR* out, const WCHAR* full) {
    const size_t length = wcslen(full);
    if (length > 15) {
        std::memcpy(out, full, 14 * sizeof(WCHAR));
        out[14] = 0x25BA;
        out[15] = 0;
    } else {
        SetText(out, FILTER_SHORT_TEXT_UNITS + 1, full);
    }
}

} // namespace

void InitFilterSlots() {
    for (FilterSlot& slot : gFilterSlots) {
        std::free(slot.items);
        slot = FilterSlot{};
        slot.items = AllocItems(1);
        SetText(slot.items[0].pattern, FILESPEC_PATTERN_UNITS, u"*.*");
        SetText(slot.shortText, FILTER_SHORT_TEXT_UNITS + 1, u"*.*");
        SetText(slot.fullText, FILTER_FULL_TEXT_UNITS + 1, u"*.*");
    }
}

void CopyFilterSlot(FilterSlot* target, const FilterSlot* source) {
    if (target == source) return;
    FilespecItem* items = AllocItems(source->count);
    if (source->items) std::memcpy(items, source->items, sizeof(FilespecItem) * (source->count ? source->count : 1));
    std::free(target->items);
    target->items = items;
    target->count = source->count;
    target->active = source->active;
    std::memcpy(target->shortText, source->shortText, sizeof target->shortText);
    std::memcpy(target->fullText, source->fullText, sizeof target->fullText);
    target->modeWord = source->modeWord;
}

int CompileFilterText(const WCHAR* text, FilterSlot* slot, char* message, size_t messageSize,
                      BOOL* truncated) {
    if (truncated) *truncated = FALSE;
    auto say = [message, messageSize](const char* what) {
        if (message && messageSize) snprintf(message, messageSize, "%s", what);
    };
    // The work copy: the text with its blanks at both ends dropped, or
    // "*.*" for an empty one.
    WCHAR work[FILTER_FULL_TEXT_UNITS + 4];
    while (*text == ' ') ++text;
    SetText(work, FILTER_FULL_TEXT_UNITS + 1, text);
    size_t length = wcslen(work);
    while (length > 0 && work[length - 1] == ' ') work[--length] = 0;
    if (length == 0) SetText(work, FILTER_FULL_TEXT_UNITS + 1, u"*.*");

    if (length >= 3 && work[0] == '/' && work[length - 1] == '/') {
        const size_t units = length - 2;
        if (units >= FILESPEC_PATTERN_UNITS) {
            say("Regex too long");
            return FILTER_REGEX_TOO_LONG;
        }
        if (!gRegexSupport) {
            say("A regex filter needs the PCRE2 DLLs");
            return FILTER_REGEX_NO_LIBRARY;
        }
        WCHAR expression[FILESPEC_PATTERN_UNITS];
        CopyUnits(expression, FILESPEC_PATTERN_UNITS, work + 1, work + 1 + units);
        char error[200] = {};
        if (!RegexValidate(expression, FALSE, REGEX_UTF8, error, sizeof error)) {
            if (message && messageSize) snprintf(message, messageSize, "Regex: %s", error);
            return FILTER_REGEX_BAD;
        }
        FilespecItem* items = AllocItems(1);
        SetText(items[0].pattern, FILESPEC_PATTERN_UNITS, expression);
        items[0].kind = FS_REGEX;
        std::free(slot->items);
        slot->items = items;
        slot->count = 1;
        slot->active = 1;
        SetText(slot->fullText, FILTER_FULL_TEXT_UNITS + 1, work);
        MakeShortText(slot->shortText, work);
        return FILTER_OK;
    }

    const int count = SplitFilespecText(work);
    DWORD anyComparison = 0;
    if (!ParseFilespecList(work, count, &anyComparison)) {
        say("Invalid filter");
        return FILTER_INVALID;
    }
    FilespecItem* items = AllocItems(size_t(count));
    WCHAR full[FILTER_FULL_TEXT_UNITS + 1] = {};
    DWORD active = 0;
    const WCHAR* p = work;
    for (int i = 0; i < count; i++) {
        DWORD notAll = 0;
        if (!CompileFilespec(p, &items[i], &notAll)) {
            std::free(items);
            say("Invalid filter");
            return FILTER_INVALID;
        }
        active |= notAll;
        // The full text keeps the canonical texts while they stay under
        // 1024 units.
        const size_t have = wcslen(full);
        const size_t add = wcslen(gFilespecCanonical) + (i ? 1 : 0);
        if (have + add < 1024) {
            if (i) AppendText(full, FILTER_FULL_TEXT_UNITS + 1, u",");
            AppendText(full, FILTER_FULL_TEXT_UNITS + 1, gFilespecCanonical);
        } else if (truncated) {
            *truncated = TRUE;
        }
        p = ItemEnd(p);
        if (*p) ++p;
    }
    std::free(slot->items);
    slot->items = items;
    slot->count = WORD(count);
    slot->active = active;
    SetText(slot->fullText, FILTER_FULL_TEXT_UNITS + 1, full);
    MakeShortText(slot->shortText, full);
    return FILTER_OK;
}
