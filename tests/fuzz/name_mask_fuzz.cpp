// libFuzzer target for rename and destination masks: the check of each
// part, the stamp sections (with a counter that steps and may run below
// zero) and the chain applied to a few source names. Every input must end
// quickly without a fault; a result must fit a name, a refused one must
// leave nothing behind, and a replacement may never make a name holding a
// separator or a control character.
//
// Input: byte 0 the settings (bit 0 the leading-dot setting, bits 1-3 the
// tagged count), byte 1 picks the source name; then the mask, one character
// per byte from an alphabet of the characters masks are made of (the low
// six bits choose it).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tree/name_mask.h"

namespace {

const char16_t kAlphabet[64] = {
    u'a', u'b', u'c', u'x', u'A', u'.', u'*', u'?', u'/', u'<', u'>', u':', u'|', u'"', u'-', u' ',
    u'y', u'm', u'd', u'j', u'h', u'n', u's', u't', u'w', u'%', u'6', u'v', u'0', u'1', u'9', u'i',
    u'R', u'N', u'E', u'B', u'X', u'S', u'U', u'L', u'W', u'I', u'C', u'\\', u'(', u')', u'$', u'+',
    u'{', u'}', u'^', u'_', 0xE9, 0x25BA, 0xD800, u'\t', u'2', u'5', u'Y', u'D', u'T', u'e', u'r', u'k'};

const char16_t* const kSources[4] = {u"report.txt", u"readme", u".profile", u"a.b.c.tar.gz"};

BOOL FixedTime(void*, char which, DosDateTime* out) {
    *out = DosDateTime{};
    out->year = WORD(which == 'c' ? 1999 : 2024);
    out->month = 2;
    out->day = 29;
    out->hour = 23;
    out->minute = 59;
    out->second = 58;
    out->hundredths = 99;
    return TRUE;
}

// Counting down past zero ends the operation, as Esc at the prompt does.
LONGLONG Next(int step, LONGLONG value) { return value + step < 0 ? -1 : value + step; }

bool ValidName(const std::u16string& name) {
    if (name.empty()) return false;
    for (char16_t c : name)
        if (c == u'\\' || c == u'/' || c < 0x20 || c == 0x7F) return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > 2000) return 0;
    const BOOL leadingDot = data[0] & 1;
    const char16_t* source = kSources[data[1] & 3];
    std::u16string mask;
    for (size_t i = 2; i < size; i++)
        mask += kAlphabet[data[i] & 63];

    char message[256];
    const int check = CheckRenameMaskPart(mask.c_str(), message, sizeof message);
    if (check != MASK_OK && check != MASK_INVALID && check != MASK_REGEX) abort();

    static const std::u16string kLongDir(200, u'D');
    StampInputs in{};
    in.now.year = 2026;
    in.now.month = 12;
    in.now.day = 11;
    in.entryTime = FixedTime;
    in.directoryName = kLongDir.c_str();
    in.otherDirectoryName = u"X:\\";
    in.volumeLabel = u"VOL";
    in.taggedCount = DWORD((data[0] >> 1) & 7);
    in.nextSequence = Next;
    MaskSequence sequence{};
    for (int round = 0; round < 3; round++) {
        WCHAR expanded[MASK_TEXT_UNITS + 4];
        expanded[MASK_TEXT_UNITS] = 0xBEEF;
        const char* why = nullptr;
        const int rc = ExpandStampSections(in, &sequence, mask.c_str(), expanded, MASK_TEXT_UNITS, &why);
        if (expanded[MASK_TEXT_UNITS] != 0xBEEF) abort();
        if (rc != MASK_OK) {
            if (expanded[0] != 0) abort();
            if (rc != MASK_ENDED && !why) abort();
            break;
        }
        if (std::char_traits<char16_t>::length(expanded) >= MASK_TEXT_UNITS) abort();
        if (sequence.started && (sequence.step != 1 && sequence.step != -1)) abort();

        WCHAR out[NAME_MASK_UNITS + 4];
        out[NAME_MASK_UNITS] = 0xBEEF;
        const int applied = MatchSpecListCore(source, expanded, leadingDot, out, message, sizeof message);
        if (out[NAME_MASK_UNITS] != 0xBEEF) abort();
        if (applied == MASK_OK) {
            const std::u16string name(out);
            if (name.empty() || name.size() >= NAME_MASK_UNITS) abort();
            // Only replacement parts are held to a valid name; a plain part
            // is the user's own text.
            if (mask[0] == u'"' && mask.find(u'|') == std::u16string::npos && !ValidName(name)) abort();
        } else if (out[0] != 0 || !message[0]) {
            abort();
        }
    }
    return 0;
}
