// libFuzzer target for the filter texts: splitting, the item checks and the
// compiler, then the entry test on a few files and directories. Every input
// must end quickly without a fault; a compiled filter must hold a full text
// under 1024 units, and the entry test must answer 0 or 1, inverted as its
// complement.
//
// Input: byte 0 the settings (bit 0 inclusive "<" and ">", bit 1 trailing
// '*', bit 2 leading '.', bits 3-5 the date format); then the text, one
// character per byte from an alphabet of the characters filters are made
// of (the low six bits choose it).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "settings/settings.h"
#include "tree/filter.h"
#include "fuzz_entries.h"
#include "tree/tree_records.h"
#include "ui/numbers_dates.h"

namespace {

const char16_t kAlphabet[64] = {
    u'a', u'b', u'c', u'x', u'A', u'.', u'*', u'?', u',', u';', u' ', u'"', u'-', u'<', u'=',
    u'>', u'/', u':', u'\\', u'S', u's', u'F', u'L', u'R', u'r', u'T', u'O', u'D', u'A', u'Y',
    u'0', u'1', u'2', u'3', u'5', u'7', u'9', u'^', u'(', u')', u'[', u'$', u'|', u'+', u'{',
    u'}', 0xE9, 0x25C4, 0x25BA, u't', u'o', u'd', u'y', u'8', u'6', u'4', u'!', u'~', u'_',
    u'#', u'\t', 0xDC80, u'Z', u'e'};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static qfuzz::Entries entries;
    if (size < 1 || size > 3000) return 0;
    gSettings.bDateSizeInclusive = data[0] & 1;
    gSettings.bTrailingStarDot = (data[0] >> 1) & 1;
    gSettings.bLeadingDotStar = (data[0] >> 2) & 1;
    gDateFormat = WORD(((data[0] >> 3) & 7) % 6);
    std::u16string text;
    for (size_t i = 1; i < size; i++) text += kAlphabet[data[i] & 63];

    // The splitting and the checks on their own, on a copy with room.
    std::u16string split = text;
    split.resize(text.size() + 4, u'\0');
    const int count = SplitFilespecText(split.data());
    if (count < 1) abort();
    DWORD any = 0;
    const int valid = ParseFilespecList(split.c_str(), count, &any);

    static FilterSlot slot{};
    const int result = CompileFilterText(text.c_str(), &slot, nullptr, 0, nullptr);
    if (result == FILTER_OK) {
        if (slot.count < 1 || std::u16string(slot.fullText).size() >= 1024) abort();
        for (const FileEntry& file : entries.files) {
            if (!file.pszLongName) break;
            const int pass = FileMatchesFilespec(slot.items, slot.count, &file, FALSE);
            const int inverted = FileMatchesFilespec(slot.items, slot.count, &file, TRUE);
            if ((pass != 0 && pass != 1) || inverted != 1 - pass) abort();
        }
        for (const SubdirInfo* dir : {&entries.dir, &entries.unread}) {
            const int pass = FileMatchesFilespec(slot.items, slot.count, dir, FALSE);
            if (pass != 0 && pass != 1) abort();
        }
    } else if (valid && result == FILTER_INVALID && text.find(u'/') == std::u16string::npos) {
        // A list the checker took must compile.
        abort();
    }
    return 0;
}
