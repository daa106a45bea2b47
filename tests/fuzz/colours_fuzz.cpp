// libFuzzer target for the colour file reader: arbitrary bytes are read as
// a QCOLORS.INI image over the record's default colours. Every input must
// end quickly without a fault and leave the colours in the shape the
// drawers rely on: the copies of NORMAL and FRAMES and the dimmed slot in
// step, every directory colour set, every part a colour or unset, every
// rule with compiled items. The same image with each line cut to its first
// 255 bytes must give the same colours, since the rest of a longer line is
// never read. Then a few file and directory rows are coloured with it.
//
// Input: the bytes of the file, nothing else, so that any QCOLORS.INI is a
// seed.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_entries.h"
#include "settings/colours.h"
#include "settings/settings.h"
#include "tree/filter.h"
#include "tree/tree_records.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    fprintf(stderr, "colours_fuzz: %s\n", what);
    abort();
}

void Require(bool holds, const char* what) {
    if (!holds) Fail(what);
}

// The record's default colours, as the table starts before the file.
const BYTE kDefaultTable[COLOUR_SLOTS] = {0x3E, 0x3F, 0x70, 0x1E, 0x1F, 0x1F, 0x1E, 0x70, 0x70,
                                          0x18, 0x1A, 0x1A, 0x1B, 0x1E, 0x1E, 0x1B, 0x1E};

struct Result {
    BYTE table[COLOUR_SLOTS];
    BYTE history = 0x3E;
    ExtraColours extras{};
    FileColourRules rules{nullptr, 0, 0};
};

void Apply(const uint8_t* data, size_t size, Result* out) {
    std::memcpy(out->table, kDefaultTable, sizeof kDefaultTable);
    ApplyColourFile(data, size, out->table, &out->history, &out->extras, &out->rules);
}

bool PartOk(BYTE part) { return part == COLOUR_PART_UNSET || part <= 15; }

void CheckShape(const Result& r) {
    const BYTE* t = r.table;
    Require(t[COLOUR_NORMAL_COPY] == t[COLOUR_NORMAL] && t[COLOUR_KEYLETTER] == t[COLOUR_NORMAL],
            "the copies of NORMAL");
    Require(t[COLOUR_FRAMES_COPY] == t[COLOUR_FRAMES], "the copy of FRAMES");
    Require(t[COLOUR_DIMMED] == DimmedColour(t[COLOUR_NORMAL]), "the dimmed slot");
    for (WORD combined : r.extras.dirCombined)
        Require(combined <= 0xFF, "a directory colour left unset");
    for (const ColourParts& p : r.extras.fileParts)
        Require(PartOk(p.fore) && PartOk(p.back), "a file attribute part out of range");
    for (const ColourParts& p : r.extras.dirParts)
        Require(PartOk(p.fore) && PartOk(p.back), "a directory part out of range");
    Require(r.extras.tagN.fore == (t[COLOUR_TAGN] & 15) && r.extras.tagN.back == t[COLOUR_TAGN] >> 4,
            "the TAGN parts");
    Require(r.extras.tagG.fore == (t[COLOUR_TAGG] & 15) && r.extras.tagG.back == t[COLOUR_TAGG] >> 4,
            "the TAGG parts");
    Require(r.rules.count <= r.rules.capacity, "more rules than room");
    for (DWORD i = 0; i < r.rules.count; i++) {
        const FileColourRule& rule = r.rules.rules[i];
        Require(rule.items && rule.count >= 1, "a rule without items");
        Require(PartOk(rule.fore) && PartOk(rule.back), "a rule part out of range");
        for (WORD k = 0; k < rule.count; k++)
            Require(rule.items[k].kind != FS_REGEX, "a rule became a regular expression");
    }
}

// The image with every line cut to its first COLOUR_LINE_BYTES bytes (the
// mark of UTF-8 at the start is no part of the first line).
std::string CutLines(const uint8_t* data, size_t size) {
    std::string out;
    size_t column = 0;
    size_t i = 0;
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        out = "\xEF\xBB\xBF";
        i = 3;
    }
    for (; i < size; i++) {
        if (data[i] == '\n') {
            out += '\n';
            column = 0;
        } else if (column++ < COLOUR_LINE_BYTES) {
            out += char(data[i]);
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 20000) return 0;
    static qfuzz::Entries entries;
    // Attributes for each deciding case, and one tagged file.
    static const WORD kAttributes[5] = {0, 0x0001, 0x0002, 0x4020, 0x0400};
    for (int i = 0; i < 5; i++) {
        entries.files[i].wAttributes = kAttributes[i];
        entries.files[i].bFlags[0] = BYTE(ENTRY_MATCHES | (i == 3 ? ENTRY_TAGGED : 0));
    }
    entries.dir.wAttributes = 0x0007;
    Result first;
    Apply(data, size, &first);
    CheckShape(first);

    Result cut;
    const std::string shorter = CutLines(data, size);
    Apply(reinterpret_cast<const uint8_t*>(shorter.data()), shorter.size(), &cut);
    Require(std::memcmp(first.table, cut.table, sizeof first.table) == 0 &&
                first.history == cut.history && first.extras == cut.extras &&
                first.rules.count == cut.rules.count,
            "the rest of a long line was read");
    FreeFileColourRules(&cut.rules);

    // The rows, with the colours in the globals the row colour reads.
    std::memcpy(gColourTable, first.table, sizeof first.table);
    gExtraColours = first.extras;
    FreeFileColourRules(&gFileColourRules);
    gFileColourRules = first.rules;
    for (BYTE tags = 0; tags < 2; tags++) {
        gIniWorking.tagColours = tags;
        for (BYTE off = 0; off < 2; off++) {
            gIniWorking.noFileColours = off;
            for (const FileEntry& file : entries.files) {
                if (!file.pszLongName) break;
                const BYTE colour = FileColour(&file, 0);
                if (off && !tags) Require(colour == gColourTable[COLOUR_NORMAL], "colours off");
            }
            DirRowColour(&entries.dir);
        }
    }
    gIniWorking.tagColours = gIniWorking.noFileColours = 0;
    FreeFileColourRules(&gFileColourRules);
    Require(gFileColourRules.count == 0 && !gFileColourRules.rules, "the rules were not freed");
    return 0;
}
