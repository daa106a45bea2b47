// The colour file QCOLORS.INI: each line applied to the colour table, the
// attribute, statistics and compare colours or the file-colour rules, and
// the loader that finds and reads the file.
#include "settings/colours.h"

#include "processenv.h"
#include "settings/quit.h"
#include "settings/settings_files.h"
#include "stringapiset.h"
#include "tree/filter.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

FileColourRules gFileColourRules = {nullptr, 0, 0};
WCHAR gColourFileOption[SETTINGS_PATH_UNITS];
WCHAR gColourFilePath[SETTINGS_PATH_UNITS];

namespace {

constexpr const char* kModule = "Qcl";
constexpr BYTE kUnset = COLOUR_PART_UNSET;
// Longest value taken after the key.
constexpr size_t kValueBytes = 260;

ColourParts PartsOf(BYTE attr) { return {BYTE(attr & 0x0F), BYTE(attr >> 4)}; }

// attr with the parts that are set replaced.
BYTE Overlay(BYTE attr, ColourParts parts) {
    const BYTE fore = parts.fore != kUnset ? parts.fore : BYTE(attr & 0x0F);
    const BYTE back = parts.back != kUnset ? parts.back : BYTE(attr >> 4);
    return BYTE(fore | back << 4);
}

ColourParts OverlayParts(ColourParts old, ColourParts parts) {
    return {parts.fore != kUnset ? parts.fore : old.fore, parts.back != kUnset ? parts.back : old.back};
}

bool IsBlank(char c) { return c == ' '; }

// The next blank-separated word of text at or after *pos.
std::string_view NextWord(std::string_view text, size_t* pos) {
    size_t begin = *pos;
    while (begin < text.size() && IsBlank(text[begin])) begin++;
    size_t end = begin;
    while (end < text.size() && !IsBlank(text[end])) end++;
    *pos = end;
    return text.substr(begin, end - begin);
}

// A colour by the first three letters of its name, or -1.
int NamedColour(std::string_view word) {
    static constexpr struct {
        std::string_view name;
        int colour;
    } kNames[] = {{"BLA", 0}, {"BLU", 1}, {"GRE", 2}, {"CYA", 3}, {"RED", 4},
                  {"MAG", 5}, {"YEL", 6}, {"BRO", 6}, {"WHI", 7}};
    for (const auto& n : kNames)
        if (word.substr(0, 3) == n.name) return n.colour;
    return -1;
}

// One colour: an optional word beginning with "BRI" (bright), then the
// colour's name; unset when the name is missing or unknown.
BYTE ReadColour(std::string_view text) {
    size_t pos = 0;
    std::string_view word = NextWord(text, &pos);
    int bright = 0;
    if (word.substr(0, 3) == "BRI") {
        bright = 8;
        word = NextWord(text, &pos);
    }
    const int colour = NamedColour(word);
    return colour < 0 ? kUnset : BYTE(colour + bright);
}

// The parts a value names: the foreground before the first " ON ", the
// background after it. The value has lost its leading blanks, so one that
// begins with "ON " names a background only.
ColourParts ReadValue(std::string_view value, bool sameColourRule) {
    std::string_view fore = value;
    std::string_view back;
    if (value.substr(0, 3) == "ON ") {
        fore = {};
        back = value.substr(3);
    } else if (const size_t on = value.find(" ON "); on != value.npos) {
        fore = value.substr(0, on);
        back = value.substr(on + 4);
    }
    ColourParts parts = {ReadColour(fore), ReadColour(back)};
    // A foreground on its own colour would be invisible: it is raised by
    // one (bright white, which has no brighter step, goes down to yellow).
    if (sameColourRule && parts.fore != kUnset && parts.fore == parts.back)
        parts.fore = parts.fore == 15 ? 14 : BYTE(parts.fore + 1);
    return parts;
}

struct TableKey {
    std::string_view key;
    int slot;
};
constexpr TableKey kTableKeys[] = {
    {"DIRECTORY", COLOUR_DIRECTORY}, {"BROWSE", COLOUR_BROWSE}, {"NORMAL", COLOUR_NORMAL},
    {"DMNORMAL", COLOUR_DMNORMAL},   {"FRAMES", COLOUR_FRAMES}, {"BAR", COLOUR_BAR},
    {"GLOBAL", COLOUR_GLOBAL},       {"DMGLOBAL", COLOUR_DMGLOBAL}, {"TAGN", COLOUR_TAGN},
    {"TAGG", COLOUR_TAGG},           {"MENU", COLOUR_MENU},     {"VHITC", COLOUR_VHITC},
    {"VHITO", COLOUR_VHITO},
};
constexpr std::string_view kDirKeys[DATTR_COUNT] = {"DATTR-H", "DATTR-S", "DATTR-R", "DATTR-E",
                                                    "DATTR-J"};
constexpr std::string_view kFileKeys[ATTR_COUNT] = {"ATTR-H", "ATTR-S", "ATTR-R",
                                                    "ATTR-A", "ATTR-E", "ATTR-J"};
constexpr std::string_view kCompareKeys[JCOLOUR_COUNT] = {"JFRAME", "JEQUAL", "JLNUM", "JMATCH",
                                                          "JDIFF"};
// Where a compare colour takes a part its line does not name.
constexpr int kCompareFallback[JCOLOUR_COUNT] = {COLOUR_FRAMES, COLOUR_NORMAL_COPY, COLOUR_FRAMES,
                                                 COLOUR_VHITO, COLOUR_VHITC};
constexpr std::string_view kStatusKeys[3] = {"CURRPATH", "TAGSTATS", "FSSTATS"};

template <size_t N> int KeyIndex(const std::string_view (&keys)[N], std::string_view key) {
    for (size_t i = 0; i < N; i++)
        if (keys[i] == key) return int(i);
    return -1;
}

// Everything one reading of the file changes.
struct ColourTarget {
    BYTE* table;
    BYTE* history;
    ExtraColours* extras;
    FileColourRules* rules;
    UINT codePage;                // of the filespec lists
    ColourParts statusParts[3];   // CURRPATH, TAGSTATS, FSSTATS as read
};

void AppendRule(FileColourRules* rules, FilespecItem* items, WORD count, ColourParts parts) {
    if (rules->count == rules->capacity) {
        const DWORD capacity = rules->capacity ? rules->capacity * 2 : 16;
        rules->rules = static_cast<FileColourRule*>(
            CHECKED_REALLOC(rules->rules, size_t(capacity) * sizeof(FileColourRule), kModule));
        rules->capacity = capacity;
    }
    rules->rules[rules->count++] = {items, count, parts.fore, parts.back};
}

// A key that is no colour name is a file-colour rule: a filespec list when
// it holds '.', '=', '>' or '<', else a list of extensions.
void AddFileRule(std::string_view key, ColourParts parts, ColourTarget& target) {
    std::string list;
    if (key.find_first_of(".=><") != key.npos) {
        list = key;
    } else {
        size_t pos = 0;
        for (std::string_view word = NextWord(key, &pos); !word.empty(); word = NextWord(key, &pos)) {
            if (!list.empty()) list += ' ';
            list += "*.";
            list += word;
        }
    }
    if (list.empty()) return;
    WCHAR text[FILTER_FULL_TEXT_UNITS + 1];
    const int units = MultiByteToWideChar(target.codePage, 0, list.data(), int(list.size()), text,
                                          int(FILTER_FULL_TEXT_UNITS));
    if (units <= 0) return;
    text[units] = 0;
    // The arrows that code page 437 draws for these two control bytes.
    for (int i = 0; i < units; i++) {
        if (text[i] == 0x11) text[i] = u'\u25C4';
        else if (text[i] == 0x10) text[i] = u'\u25BA';
    }
    // A list of filespecs never begins with '/' (no item may hold one): the
    // filter compiler would take the text for a regular expression.
    if (text[0] == u'/') return;
    FilterSlot slot{};
    if (CompileFilterText(text, &slot, nullptr, 0, nullptr) != FILTER_OK) return;
    AppendRule(target.rules, slot.items, slot.count, parts);
}

// One line: already cut to COLOUR_LINE_BYTES, without its line end, and
// upper-cased.
void ApplyLine(std::string_view line, ColourTarget& target) {
    if (line.empty() || line[0] == ';') return;
    const size_t colon = line.find(':');
    if (colon == line.npos) return;
    std::string_view key = line.substr(0, colon);
    while (!key.empty() && IsBlank(key.back())) key.remove_suffix(1);
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
    value = value.substr(0, std::min(value.find(';'), kValueBytes));

    BYTE* table = target.table;
    ExtraColours& extras = *target.extras;
    if (const int d = KeyIndex(kDirKeys, key); d >= 0) {
        const ColourParts parts = ReadValue(value, false);
        extras.dirParts[d] = OverlayParts(extras.dirParts[d], parts);
        const ColourParts& kept = extras.dirParts[d];
        if (kept.fore != kUnset || kept.back != kUnset)
            extras.dirCombined[d] = Overlay(table[COLOUR_DIRECTORY], kept);
        return;
    }
    const ColourParts parts = ReadValue(value, true);
    for (const TableKey& k : kTableKeys) {
        if (k.key != key) continue;
        table[k.slot] = Overlay(table[k.slot], parts);
        if (k.slot == COLOUR_TAGN) extras.tagN = PartsOf(table[k.slot]);
        if (k.slot == COLOUR_TAGG) extras.tagG = PartsOf(table[k.slot]);
        return;
    }
    if (key == "HISTORY") {
        *target.history = Overlay(*target.history, parts);
        return;
    }
    if (const int j = KeyIndex(kCompareKeys, key); j >= 0) {
        const BYTE colour = Overlay(table[kCompareFallback[j]], parts);
        // 0 means "not set by the file" to the compare.
        extras.compare[j] = colour ? colour : 1;
        return;
    }
    if (const int a = KeyIndex(kFileKeys, key); a >= 0) {
        extras.fileParts[a] = OverlayParts(extras.fileParts[a], parts);
        return;
    }
    if (const int s = KeyIndex(kStatusKeys, key); s >= 0) {
        target.statusParts[s] = OverlayParts(target.statusParts[s], parts);
        return;
    }
    AddFileRule(key, parts, target);
}

} // namespace

void FreeFileColourRules(FileColourRules* rules) {
    for (DWORD i = 0; i < rules->count; i++) std::free(rules->rules[i].items);
    std::free(rules->rules);
    *rules = {nullptr, 0, 0};
}

void ApplyColourFile(const BYTE* data, size_t size, BYTE* table, BYTE* history,
                     ExtraColours* extras, FileColourRules* rules) {
    constexpr ColourParts unset = {kUnset, kUnset};
    FreeFileColourRules(rules);
    for (int d = 0; d < DATTR_COUNT; d++) {
        extras->dirParts[d] = unset;
        extras->dirCombined[d] = COLOUR_COMBINED_UNSET;
    }
    for (ColourParts& parts : extras->fileParts) parts = unset;
    for (BYTE& colour : extras->compare) colour = 0;
    extras->tagN = PartsOf(table[COLOUR_TAGN]);
    extras->tagG = PartsOf(table[COLOUR_TAGG]);

    ColourTarget target = {table, history, extras, rules, CP_OEMCP, {unset, unset, unset}};
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        target.codePage = CP_UTF8;
        data += 3;
        size -= 3;
    }
    std::string line;
    size_t at = 0;
    while (at < size) {
        const BYTE* begin = data + at;
        const BYTE* lineFeed = static_cast<const BYTE*>(std::memchr(begin, '\n', size - at));
        const size_t length = lineFeed ? size_t(lineFeed - begin) : size - at;
        at += length + 1;
        // The rest of a longer line is passed over with its line end: it is
        // never read as a line of its own.
        size_t n = std::min(length, COLOUR_LINE_BYTES);
        // A carriage return or a null byte ends the line's text.
        for (size_t i = 0; i < n; i++) {
            if (begin[i] == '\r' || begin[i] == 0) {
                n = i;
                break;
            }
        }
        line.assign(reinterpret_cast<const char*>(begin), n);
        for (char& c : line)
            if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
        ApplyLine(line, target);
    }

    const BYTE normal = table[COLOUR_NORMAL];
    const BYTE frames = table[COLOUR_FRAMES];
    table[COLOUR_NORMAL_COPY] = table[COLOUR_KEYLETTER] = normal;
    table[COLOUR_FRAMES_COPY] = frames;
    for (WORD& combined : extras->dirCombined)
        if (combined == COLOUR_COMBINED_UNSET) combined = table[COLOUR_DIRECTORY];
    extras->currPath = Overlay(frames, target.statusParts[0]);
    extras->tagStats = Overlay(frames, target.statusParts[1]);
    extras->fsStats = Overlay(frames, target.statusParts[2]);
    table[COLOUR_DIMMED] = DimmedColour(normal);
}

int LoadColours() {
    gAltColoursOn = FALSE;
    std::string bytes;
    bool read = LocateSettingsFile(gColourFileOption, u"QCOLORS.INI", u"#QBQColorsPath",
                                   gColourFilePath) &&
                ReadSettingsText(gColourFilePath, &bytes);
    if (!read) gColourFilePath[0] = 0;
    ApplyColourFile(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size(), gColourTable,
                    &gSettings.bColourHistory, &gExtraColours, &gFileColourRules);
    RefreshColourSeams();
    return read ? 1 : 0;
}

void ForEachColourRuleFilespec(void (*visit)(FilespecItem* items, DWORD count, void* context),
                               void* context) {
    for (DWORD i = 0; i < gFileColourRules.count; i++)
        visit(gFileColourRules.rules[i].items, gFileColourRules.rules[i].count, context);
}
