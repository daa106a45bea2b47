// Rename and destination masks: the chain splitter, the checks, the stamp
// sections, the forms and positional walk of one part, the plain and
// regular-expression replacements, and the sequence counter with its prompt.
#include "tree/name_mask.h"

#include "archive/archive_state.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "remote/remote_drives.h"
#include "settings/settings.h"
#include "tree/file_list.h"
#include "tree/regex.h"
#include "tree/tree_records.h"
#include "settings/paths.h"
#include "ui/command_menus.h"
#include "ui/error_dialog.h"
#include "ui/error_reporting.h"
#include "ui/line_editor.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Text = std::u16string;

WCHAR LowerAscii(WCHAR c) { return c >= 'A' && c <= 'Z' ? WCHAR(c + 32) : c; }

bool Has(const Text& text, const char16_t* set) {
    return text.find_first_of(set) != Text::npos;
}

size_t Count(const Text& text, WCHAR c) {
    size_t n = 0;
    for (WCHAR u : text)
        if (u == c) n++;
    return n;
}

void SetMessage(char* message, size_t size, const char* text) {
    if (message && size) snprintf(message, size, "%s", text);
}

// The parts of a chain. In a part that begins with a double quote a '|'
// separates only after the part's third quote (the end of a replacement's
// texts, so that a regular expression may hold '|'); trailing blanks of a
// part are dropped.
std::vector<Text> SplitChain(const WCHAR* chain) {
    std::vector<Text> parts;
    Text part;
    bool quoted = false;
    int quotes = 0;
    for (const WCHAR* p = chain;; p++) {
        const WCHAR c = *p;
        if (c == 0 || (c == '|' && (!quoted || quotes >= 3))) {
            while (!part.empty() && part.back() == ' ')
                part.pop_back();
            parts.push_back(part);
            part.clear();
            quoted = false;
            quotes = 0;
            if (c == 0) break;
            continue;
        }
        if (part.empty()) quoted = c == '"';
        if (c == '"') quotes++;
        part += c;
    }
    return parts;
}

// ---- replacement parts ------------------------------------------------------------------

struct Replacement {
    Text search;
    Text replacement;
    Text options;
    bool regex;
};

// A part '"search"replacement"options'; false without the three quotes.
bool SplitReplacement(const Text& part, Replacement* r) {
    if (part.empty() || part[0] != '"') return false;
    const size_t second = part.find('"', 1);
    if (second == Text::npos) return false;
    const size_t third = part.find('"', second + 1);
    if (third == Text::npos) return false;
    r->search = part.substr(1, second - 1);
    r->replacement = part.substr(second + 1, third - second - 1);
    r->options = part.substr(third + 1);
    r->regex = Has(r->options, u"Rr");
    return true;
}

// What the option letters of a replacement select. The scope letters are
// read as the two texts "NnBb" (the name takes part) and "EeBb" (the
// extension takes part); with neither, the whole name is the scope.
struct ReplaceOptions {
    bool name = false;     // N or B
    bool extension = false; // E or B
    bool exact = false;    // X: only a search text that is the whole scope
    bool set = false;      // S (plain only): each character of the search text
    bool insert = false;   // I: the replacement goes before the occurrence, which stays
    bool caseFlag = false; // C: plain, the search keeps case; regex, it ignores case
    WCHAR caseChange = 0;  // U upper, L lower, W each word capitalised; the last wins
    int occurrence = 0;    // 0 every one; n the nth; -n the nth from the end
};

// Reads the options; false when a character is not allowed for the kind.
bool ReadOptions(const Text& options, bool regex, ReplaceOptions* o) {
    const char16_t* allowed = regex ? u"CNEBXIRLUW123456789-" : u"BCEILNSUWX123456789-";
    for (size_t i = 0; i < options.size(); i++) {
        const WCHAR c = options[i] >= 'a' && options[i] <= 'z' ? WCHAR(options[i] - 32) : options[i];
        if (!std::char_traits<char16_t>::find(allowed, std::char_traits<char16_t>::length(allowed),
                                              c))
            return false;
        const bool minus = i > 0 && options[i - 1] == '-';
        switch (c) {
        case 'N': o->name = true; break;
        case 'E': o->extension = true; break;
        case 'B': o->name = o->extension = true; break;
        case 'X': o->exact = true; break;
        case 'S': o->set = true; break;
        case 'I': o->insert = true; break;
        case 'C': o->caseFlag = true; break;
        case 'U': case 'L': case 'W': o->caseChange = c; break;
        case '-':
            // A regex selector counts from the end only before a digit.
            if (regex && (i + 1 >= options.size() || options[i + 1] < '1' || options[i + 1] > '9'))
                return false;
            break;
        case 'R': break;
        default: o->occurrence = minus ? -(c - '0') : c - '0'; break;
        }
    }
    return true;
}

bool InSet(WCHAR c, const Text& set, bool keepCase) {
    for (WCHAR s : set)
        if (keepCase ? s == c : LowerAscii(s) == LowerAscii(c)) return true;
    return false;
}

bool SameAt(const Text& text, size_t at, const Text& search, bool keepCase) {
    if (at + search.size() > text.size()) return false;
    for (size_t i = 0; i < search.size(); i++) {
        const WCHAR a = text[at + i], b = search[i];
        if (keepCase ? a != b : LowerAscii(a) != LowerAscii(b)) return false;
    }
    return true;
}

// The plain replacement of the occurrences of search in subject.
Text ReplacePlain(const Text& subject, const Replacement& r, const ReplaceOptions& o) {
    if (r.search.empty()) return subject;
    const bool keepCase = o.caseFlag;
    // Occurrences as (start, length), left to right, not overlapping.
    std::vector<std::pair<size_t, size_t>> found;
    if (o.exact) {
        if (subject.size() == r.search.size() && SameAt(subject, 0, r.search, keepCase))
            found.emplace_back(0, subject.size());
    } else if (o.set) {
        for (size_t i = 0; i < subject.size(); i++)
            if (InSet(subject[i], r.search, keepCase)) found.emplace_back(i, 1);
    } else {
        for (size_t i = 0; i + r.search.size() <= subject.size();) {
            if (SameAt(subject, i, r.search, keepCase)) {
                found.emplace_back(i, r.search.size());
                i += r.search.size();
            } else {
                i++;
            }
        }
    }
    if (o.occurrence != 0) {
        const size_t n = size_t(o.occurrence > 0 ? o.occurrence : -o.occurrence);
        if (n > found.size()) return subject;
        const auto pick = o.occurrence > 0 ? found[n - 1] : found[found.size() - n];
        found.assign(1, pick);
    }
    Text out;
    size_t copied = 0;
    for (const auto& [start, length] : found) {
        out.append(subject, copied, start - copied);
        out += r.replacement;
        if (o.insert) out.append(subject, start, length);
        copied = start + length;
    }
    out.append(subject, copied, Text::npos);
    return out;
}

void ChangeCase(Text& text, WCHAR how) {
    if (text.empty() || !how) return;
    if (how == 'U') {
        CharUpperBuffW(text.data(), DWORD(text.size()));
    } else if (how == 'L') {
        CharLowerBuffW(text.data(), DWORD(text.size()));
    } else {
        // A word begins after a blank, '_', '-' or '.', or at the start.
        CharLowerBuffW(text.data(), DWORD(text.size()));
        for (size_t i = 0; i < text.size(); i++)
            if (i == 0 || Has(Text(1, text[i - 1]), u" _-."))
                CharUpperBuffW(&text[i], 1);
    }
}

bool ValidName(const Text& name) {
    if (name.empty()) return false;
    for (WCHAR c : name)
        if (c == '\\' || c == '/' || c < 0x20 || c == 0x7F) return false;
    return true;
}

// The last dot of a name after its first unit, or npos.
size_t ExtensionDot(const Text& name) {
    const size_t dot = name.rfind('.');
    return dot == Text::npos || dot == 0 ? Text::npos : dot;
}

int ApplyReplacement(const Text& source, const Replacement& r, Text& result, char* message,
                     size_t messageSize) {
    ReplaceOptions o;
    if (!ReadOptions(r.options, r.regex, &o)) {
        SetMessage(message, messageSize, MASK_MSG_INVALID);
        return MASK_INVALID;
    }
    // The dot that a dotless source got for the chain is no part of what the
    // search sees: "readme" is searched, not "readme.".
    Text base = source;
    if (base.size() >= 2 && base.back() == '.' && base[base.size() - 2] != '.') base.pop_back();
    const size_t dot = ExtensionDot(base);
    Text prefix, subject, suffix;
    if (o.name && !o.extension) {
        subject = base.substr(0, dot);
        if (dot != Text::npos) suffix = base.substr(dot);
    } else if (o.extension && !o.name) {
        if (dot == Text::npos) {
            prefix = base;
        } else {
            prefix = base.substr(0, dot + 1);
            subject = base.substr(dot + 1);
        }
    } else {
        subject = base;
    }

    Text replaced;
    if (r.regex) {
        if (!gRegexSupport) {
            SetMessage(message, messageSize, MASK_MSG_NO_PCRE2);
            return MASK_REGEX;
        }
        const Text pattern = o.exact ? u"\\A(?:" + r.search + u")\\z" : r.search;
        const Text replacement = o.insert ? r.replacement + u"${0}" : r.replacement;
        char error[200] = {};
        RegexMatcher* matcher = RegexCreate(reinterpret_cast<LPCWSTR>(pattern.c_str()),
                                            o.caseFlag ? FALSE : TRUE, REGEX_UTF16, error,
                                            sizeof error);
        if (!matcher) {
            if (message && messageSize) snprintf(message, messageSize, "Regex: %s", error);
            return MASK_REGEX;
        }
        WCHAR buffer[NAME_MASK_UNITS];
        const int n = RegexRename(matcher, subject.c_str(), replacement.c_str(), o.occurrence,
                                  buffer, NAME_MASK_UNITS, error, sizeof error);
        RegexFree(matcher);
        if (n < 0) {
            const bool tooLong = std::strcmp(error, MASK_MSG_TOO_LONG) == 0;
            SetMessage(message, messageSize, error);
            return tooLong ? MASK_TOO_LONG : MASK_REGEX;
        }
        replaced = buffer;
    } else {
        replaced = ReplacePlain(subject, r, o);
    }
    ChangeCase(replaced, o.caseChange);
    result = prefix + replaced + suffix;
    if (result.size() >= NAME_MASK_UNITS) {
        SetMessage(message, messageSize, MASK_MSG_TOO_LONG);
        return MASK_TOO_LONG;
    }
    // A name holding a separator would move the file into another
    // directory; an empty one or a control character makes no file name.
    if (!ValidName(result)) {
        SetMessage(message, messageSize, MASK_MSG_BAD_RESULT);
        return MASK_BAD_RESULT;
    }
    return MASK_OK;
}

// ---- the positional walk ----------------------------------------------------------------

// Walks one half of a mask against one half of the source. The '*' takes
// what the fixed units leave; a second '*' the rest, any further one
// nothing (the source is spent by then).
void WalkMask(const Text& mask, const Text& source, Text& out) {
    size_t fixed = 0;
    bool inside = false;
    for (WCHAR c : mask) {
        if (inside) {
            if (c == '>') inside = false;
        } else if (c == '<') {
            inside = true;
        } else if (c != '*' && c != '>') {
            fixed++; // '?', '/' and every literal take one source unit
        }
    }
    const size_t starUnits = source.size() > fixed ? source.size() - fixed : 0;
    size_t at = 0;
    int stars = 0;
    inside = false;
    for (WCHAR c : mask) {
        if (inside) {
            if (c == '>')
                inside = false;
            else
                out += c;
            continue;
        }
        switch (c) {
        case '<': inside = true; break;
        case '>': break;
        case '*': {
            const size_t take = stars++ == 0 ? starUnits : source.size() - at;
            const size_t n = std::min(take, source.size() - at);
            out.append(source, at, n);
            at += n;
            break;
        }
        case '?':
            if (at < source.size()) out += source[at++];
            break;
        case '/':
            if (at < source.size()) at++;
            break;
        default:
            out += c;
            if (at < source.size()) at++;
            break;
        }
    }
}

// The last dot of a mask outside '<' '>', or npos.
size_t MaskDot(const Text& mask) {
    size_t dot = Text::npos;
    bool inside = false;
    for (size_t i = 0; i < mask.size(); i++) {
        if (mask[i] == '<') inside = true;
        else if (mask[i] == '>') inside = false;
        else if (mask[i] == '.' && !inside) dot = i;
    }
    return dot;
}

Text ApplyByPosition(const Text& source, const Text& part) {
    const size_t maskDot = MaskDot(part);
    const Text nameMask = part.substr(0, maskDot);
    const Text extMask = maskDot == Text::npos ? Text() : part.substr(maskDot + 1);
    const size_t dot = ExtensionDot(source);
    const Text name = source.substr(0, dot);
    const Text ext = dot == Text::npos ? Text() : source.substr(dot + 1);
    Text out;
    WalkMask(nameMask, name, out);
    if (!extMask.empty()) {
        out += '.';
        WalkMask(extMask, ext, out);
    }
    if (!out.empty() && out.back() == '.') out.pop_back();
    return out;
}

// ---- stamp sections ---------------------------------------------------------------------

struct Writer {
    WCHAR* out;
    size_t units;
    size_t length = 0;
    bool fits = true;
    void Put(WCHAR c) {
        if (length + 1 >= units) {
            fits = false;
            return;
        }
        out[length++] = c;
        out[length] = 0;
    }
    void Put(const WCHAR* s) {
        for (; s && *s; s++)
            Put(*s);
    }
    void Put(const Text& s) {
        for (WCHAR c : s)
            Put(c);
    }
    void Number(unsigned long long value, int width) {
        char digits[32];
        snprintf(digits, sizeof digits, "%0*llu", width, value);
        for (const char* d = digits; *d; d++)
            Put(WCHAR(*d));
    }
};

bool StartsWith(const Text& s, size_t at, const char* token) {
    for (size_t i = 0; token[i]; i++)
        if (at + i >= s.size() || LowerAscii(s[at + i]) != WCHAR(token[i])) return false;
    return true;
}

int DayOfYear(const DosDateTime& t) {
    static const int before[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const int month = t.month >= 1 && t.month <= 12 ? t.month : 1;
    const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
    return before[month - 1] + t.day + (leap && month > 2 ? 1 : 0);
}

// A name for %6 and %j6: a root's is its letter alone, since "X:\" makes no
// file name.
Text DirNameText(const WCHAR* name) {
    if (!name) return Text();
    Text text(name);
    if (text.size() >= 2 && text[1] == ':') return text.substr(0, 1);
    return text;
}

// What one expansion learns of the sequence.
struct SequenceUse {
    bool known = false;
    LONGLONG value = 0;
    int step = 1;
    bool reverse = false;
};

constexpr LONGLONG kSequenceMax = 4294967295LL;

// The characters a section copies as they stand: anything but letters
// (which are tokens or typing errors) and what would break a name or the
// mask itself.
bool SectionLiteral(WCHAR c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) return false;
    return !(c < 0x20 || c == 0x7F || c == '*' || c == '?' || c == '/' || c == '\\' || c == '"' ||
             c == '|' || c == '>');
}

int ExpandSection(const StampInputs& in, MaskSequence* sequence, const Text& s, Writer& w,
                  SequenceUse& use, const char** message) {
    size_t k = 0;
    char source = 0;
    if (!s.empty()) {
        const WCHAR first = LowerAscii(s[0]);
        if (first == 'a' || first == 'w') {
            source = char(first);
            k = 1;
        } else if (first == 'c') {
            // "cc" is the century: a leading 'c' names the created date only
            // when an odd number of them opens the section.
            size_t run = 0;
            while (run < s.size() && LowerAscii(s[run]) == 'c')
                run++;
            if (run % 2) {
                source = 'c';
                k = 1;
            }
        }
    }
    // A section without a letter stamps the current time: a destination
    // stamped while copying says when the copy was made, and the entry's
    // own dates are one letter away.
    DosDateTime t = in.now;
    if (source && in.entryTime && !in.entryTime(in.context, source, &t)) t = in.now;

    while (k < s.size()) {
        const WCHAR c = s[k];
        if (c == '<') {
            const size_t close = s.find('>', k + 1);
            if (close == Text::npos) break;
            w.Put(s.substr(k + 1, close - k - 1));
            k = close + 1;
        } else if (StartsWith(s, k, "yyyy")) {
            w.Number(t.year, 4), k += 4;
        } else if (StartsWith(s, k, "yy")) {
            w.Number(unsigned(t.year < 2000 ? t.year - 1900 : t.year - 2000) % 100, 2), k += 2;
        } else if (StartsWith(s, k, "cc")) {
            w.Number(t.year / 100u, 2), k += 2;
        } else if (StartsWith(s, k, "mm")) {
            w.Number(t.month, 2), k += 2;
        } else if (StartsWith(s, k, "dd")) {
            w.Number(t.day, 2), k += 2;
        } else if (StartsWith(s, k, "jjj")) {
            w.Number(unsigned(DayOfYear(t)), 3), k += 3;
        } else if (StartsWith(s, k, "hh")) {
            w.Number(t.hour, 2), k += 2;
        } else if (StartsWith(s, k, "nn")) {
            w.Number(t.minute, 2), k += 2;
        } else if (StartsWith(s, k, "ss")) {
            w.Number(t.second, 2), k += 2;
        } else if (StartsWith(s, k, "tt")) {
            w.Number(t.hundredths, 2), k += 2;
        } else if (StartsWith(s, k, "t")) {
            w.Number(t.hundredths / 10u, 1), k += 1;
        } else if (StartsWith(s, k, "%6")) {
            w.Put(DirNameText(in.directoryName)), k += 2;
        } else if (StartsWith(s, k, "%j6")) {
            w.Put(DirNameText(in.otherDirectoryName)), k += 3;
        } else if (StartsWith(s, k, "%v")) {
            w.Put(in.volumeLabel), k += 2;
        } else if ((c >= '0' && c <= '9') || LowerAscii(c) == 'x') {
            // A sequence: digits (start and width), or digits and 'x' (the
            // tagged count less one, plus the digits' value; 'x' alone is
            // the count), then 'i' (up) or 'd' (down).
            size_t width = 0;
            unsigned long long digits = 0;
            while (k < s.size() && s[k] >= '0' && s[k] <= '9') {
                if (++width > 10) break;
                digits = digits * 10 + unsigned(s[k] - '0');
                k++;
            }
            if (width > 10) break;
            LONGLONG start = LONGLONG(digits);
            if (k < s.size() && LowerAscii(s[k]) == 'x') {
                start = LONGLONG(in.taggedCount) - 1 + (width ? LONGLONG(digits) : 1);
                k++;
            }
            int step = 1;
            if (k < s.size() && (LowerAscii(s[k]) == 'i' || LowerAscii(s[k]) == 'd')) {
                step = LowerAscii(s[k]) == 'd' ? -1 : 1;
                k++;
            }
            // One counter serves the operation: its start and step are read
            // from the mask for the first name only, later names step the
            // carried value, and every sequence of one mask writes the same
            // value.
            if (!use.known) {
                LONGLONG value = start;
                if (sequence && sequence->started) {
                    value = in.nextSequence ? in.nextSequence(sequence->step, sequence->value)
                                            : sequence->value + sequence->step;
                } else if (value < 0) {
                    value = sequence && in.nextSequence ? in.nextSequence(0, value) : 0;
                }
                if (value < 0) {
                    *message = nullptr;
                    return MASK_ENDED;
                }
                if (value > kSequenceMax) {
                    *message = MASK_MSG_SEQUENCE_RANGE;
                    return MASK_TOO_LONG;
                }
                use.known = true;
                use.value = value;
                use.step = step;
            }
            w.Number(static_cast<unsigned long long>(use.value), int(width));
        } else if (LowerAscii(c) == 'd') {
            // A lone 'd' turns the counter round.
            use.reverse = !use.reverse;
            k++;
        } else if (SectionLiteral(c)) {
            w.Put(c);
            k++;
        } else {
            break;
        }
    }
    if (k < s.size()) {
        *message = MASK_MSG_INVALID;
        return MASK_INVALID;
    }
    return MASK_OK;
}

int ExpandPart(const StampInputs& in, MaskSequence* sequence, const Text& part, Writer& w,
               SequenceUse& use, const char** message) {
    for (size_t i = 0; i < part.size();) {
        if (part[i] != ':') {
            w.Put(part[i++]);
            continue;
        }
        const size_t close = part.find(':', i + 1);
        if (close == Text::npos) {
            *message = MASK_MSG_INVALID;
            return MASK_INVALID;
        }
        const int rc = ExpandSection(in, sequence, part.substr(i + 1, close - i - 1), w, use, message);
        if (rc != MASK_OK) return rc;
        i = close + 1;
    }
    return MASK_OK;
}

// ---- the error line ---------------------------------------------------------------------

void ShowMaskMessage(const char* text) {
    ScreenCell* saved = ScrSaveRect(gMessageRow, 0, gBottomRow, gScreenMaxCol);
    ShowError(0, text);
    ScrRestoreRect(gMessageRow, 0, gBottomRow, gScreenMaxCol, saved);
}

MaskSequence gSequence = {};

} // namespace

// ---- cores ------------------------------------------------------------------------------

int ExpandStampSections(const StampInputs& inputs, MaskSequence* sequence, const WCHAR* chain,
                        WCHAR* out, size_t units, const char** message) {
    static const char* unused;
    if (!message) message = &unused;
    *message = nullptr;
    if (units == 0) return MASK_TOO_LONG;
    out[0] = 0;
    Writer w{out, units};
    SequenceUse use;
    const std::vector<Text> parts = SplitChain(chain);
    for (size_t i = 0; i < parts.size(); i++) {
        if (i) w.Put(WCHAR('|'));
        Replacement r;
        if (SplitReplacement(parts[i], &r)) {
            // Replacement texts hold no sections (a regular expression may
            // hold ':').
            w.Put(parts[i]);
            continue;
        }
        const int rc = ExpandPart(inputs, sequence, parts[i], w, use, message);
        if (rc != MASK_OK) {
            out[0] = 0;
            return rc;
        }
    }
    if (!w.fits) {
        out[0] = 0;
        *message = MASK_MSG_TOO_LONG;
        return MASK_TOO_LONG;
    }
    if (sequence && use.known) {
        if (!sequence->started) {
            sequence->started = TRUE;
            sequence->step = use.reverse ? -use.step : use.step;
        }
        sequence->value = use.value;
    }
    return MASK_OK;
}

int CheckRenameMaskPart(const WCHAR* partText, char* message, size_t messageSize) {
    const Text part(partText);
    Replacement r;
    const bool replacement = SplitReplacement(part, &r);
    if (replacement && r.regex) {
        ReplaceOptions o;
        if (!ReadOptions(r.options, true, &o)) {
            SetMessage(message, messageSize, MASK_MSG_INVALID);
            return MASK_INVALID;
        }
        if (r.search.empty()) {
            SetMessage(message, messageSize, MASK_MSG_EMPTY_REGEX);
            return MASK_INVALID;
        }
        if (!gRegexSupport) {
            SetMessage(message, messageSize, MASK_MSG_NO_PCRE2);
            return MASK_REGEX;
        }
        char error[200] = {};
        if (!RegexValidate(r.search.c_str(), o.caseFlag ? FALSE : TRUE, REGEX_UTF16, error,
                           sizeof error)) {
            if (message && messageSize) snprintf(message, messageSize, "Regex: %s", error);
            return MASK_REGEX;
        }
        return MASK_OK;
    }
    bool valid = !part.empty() && Count(part, ':') % 2 == 0 && Count(part, '<') == Count(part, '>');
    if (valid && part[0] == '"') {
        ReplaceOptions o;
        valid = replacement && !Has(part, u":>/*?\\") && ReadOptions(r.options, false, &o);
    } else if (valid) {
        valid = !Has(part, u"\"");
        if (valid) {
            // The sections must hold only tokens and separators.
            WCHAR scratch[MASK_TEXT_UNITS];
            StampInputs inputs{};
            inputs.now.year = 2000;
            inputs.now.month = 1;
            inputs.now.day = 1;
            const char* why = nullptr;
            valid = ExpandStampSections(inputs, nullptr, partText, scratch, MASK_TEXT_UNITS, &why) !=
                    MASK_INVALID;
        }
    }
    if (!valid) {
        SetMessage(message, messageSize, MASK_MSG_INVALID);
        return MASK_INVALID;
    }
    return MASK_OK;
}

int MatchExtSpecCore(const WCHAR* sourceText, const WCHAR* partText, BOOL leadingDotStar,
                     WCHAR* out, char* message, size_t messageSize) {
    out[0] = 0;
    const Text source(sourceText);
    Text part(partText);
    // The dot a dotless source got for the chain does not make it differ:
    // ".profile" applied to ".profile" stays ".profile".
    if (leadingDotStar && !part.empty() && part[0] == '.' && part != source &&
        part + u"." != source)
        part = u"*" + part;
    const size_t n = part.size();
    Text result;
    Replacement r;
    if (!part.empty() && part[0] == '"') {
        if (!SplitReplacement(part, &r)) {
            SetMessage(message, messageSize, MASK_MSG_INVALID);
            return MASK_INVALID;
        }
        const int rc = ApplyReplacement(source, r, result, message, messageSize);
        if (rc != MASK_OK) return rc;
    } else if (part == u"*.*") {
        result = source;
    } else if (!Has(part, u"*?/<")) {
        // A plain name; one trailing dot is dropped ("x." is x, "x.." stays).
        result = part;
        if (n >= 1 && part[n - 1] == '.' && (n < 2 || part[n - 2] != '.')) result.pop_back();
    } else if (n >= 5 && part.compare(0, 4, u"*.*<") == 0 && part[n - 1] == '>') {
        result = source + part.substr(4, n - 5);
    } else if (n > 3 && part.compare(n - 3, 3, u"*.*") == 0 && !Has(part, u"/<") &&
               !Has(part.substr(0, n - 3), u"*?")) {
        // The prefix replaces the start of the name. A prefix holding '*' or
        // '?' is walked by position instead: written as it stands it would
        // put wildcards into the name.
        const Text prefix = part.substr(0, n - 3);
        const size_t dot = source.rfind('.');
        if (source.size() < prefix.size()) {
            result = prefix;
        } else {
            const size_t from = dot != Text::npos && dot < prefix.size() ? dot : prefix.size();
            result = prefix + source.substr(from);
        }
    } else if (n >= 2 && part.compare(0, 2, u"*.") == 0 && !Has(part.substr(2), u"?*/<")) {
        const Text base = source.substr(0, ExtensionDot(source));
        result = n == 2 ? base : base + u"." + part.substr(2);
    } else if (n >= 2 && part.compare(n - 2, 2, u".*") == 0 && part.find('*') == n - 1 &&
               !Has(part, u"?/<")) {
        const size_t dot = ExtensionDot(source);
        const Text ext = dot == Text::npos ? Text() : source.substr(dot + 1);
        result = part.substr(0, n - 2);
        if (!ext.empty()) result += u"." + ext;
    } else {
        result = ApplyByPosition(source, part);
    }
    if (result.size() >= NAME_MASK_UNITS) {
        SetMessage(message, messageSize, MASK_MSG_TOO_LONG);
        return MASK_TOO_LONG;
    }
    std::copy(result.begin(), result.end(), out);
    out[result.size()] = 0;
    return MASK_OK;
}

int MatchSpecListCore(const WCHAR* source, const WCHAR* chain, BOOL leadingDotStar, WCHAR* out,
                      char* message, size_t messageSize) {
    out[0] = 0;
    Text current(source);
    WCHAR step[NAME_MASK_UNITS];
    for (const Text& part : SplitChain(chain)) {
        if (ExtensionDot(current) == Text::npos) current += '.';
        const int rc =
            MatchExtSpecCore(current.c_str(), part.c_str(), leadingDotStar, step, message, messageSize);
        if (rc != MASK_OK) return rc;
        current = step;
        const size_t n = current.size();
        if (n >= 1 && current[n - 1] == '.' && !(n >= 2 && current[n - 2] == '.')) current.pop_back();
    }
    if (current.empty()) {
        SetMessage(message, messageSize, MASK_MSG_BAD_RESULT);
        return MASK_BAD_RESULT;
    }
    std::copy(current.begin(), current.end(), out);
    out[current.size()] = 0;
    return MASK_OK;
}

// ---- entry points -----------------------------------------------------------------------

int ParseRenameMask(const WCHAR* part) {
    char message[256] = {};
    if (CheckRenameMaskPart(part, message, sizeof message) == MASK_OK) return 1;
    ShowMaskMessage(message);
    return 0;
}

int ValidateRenameMask(const WCHAR* chain) {
    for (const Text& part : SplitChain(chain))
        if (!ParseRenameMask(part.c_str())) return 0;
    return 1;
}

namespace {

// Runs a core with the leading-dot setting; a refusal is shown.
int ShowingRefusal(int (*core)(const WCHAR*, const WCHAR*, BOOL, WCHAR*, char*, size_t),
                   const WCHAR* source, const WCHAR* mask, WCHAR* out) {
    char message[256] = {};
    if (core(source, mask, gSettings.bLeadingDotStar, out, message, sizeof message) == MASK_OK)
        return 0;
    ShowMaskMessage(message);
    return -1;
}

} // namespace

int MatchExtSpec(const WCHAR* source, const WCHAR* part, WCHAR* out) {
    return ShowingRefusal(MatchExtSpecCore, source, part, out);
}

int MatchSpecList(const WCHAR* name, const WCHAR* chain, WCHAR* out) {
    return ShowingRefusal(MatchSpecListCore, name, chain, out);
}

namespace {

DosDateTime FromPacked(PackedDate date, PackedTime time) {
    DosDateTime t{};
    t.year = WORD(date >> 9);
    t.month = BYTE((date >> 5) & 0xF);
    t.day = BYTE(date & 0x1F);
    t.hour = BYTE(time >> 27);
    t.minute = BYTE((time >> 21) & 0x3F);
    t.second = BYTE((time >> 15) & 0x3F);
    t.hundredths = BYTE((time & 0x7FFF) / 10);
    return t;
}

// Where the dates of one ApplyNameMask come from.
struct EntrySource {
    const EntryHead* entry; // the listed entry, or null
    bool archive;           // the archive file window: the stored written date
    Text path;              // else the file on disk
    bool looked = false;
    bool found = false;
    PackedDate dates[3] = {};
    PackedTime times[3] = {};
};

BOOL EntryTimeOf(void* context, char which, DosDateTime* out) {
    auto* s = static_cast<EntrySource*>(context);
    const int slot = which == 'a' ? 0 : which == 'c' ? 1 : 2;
    if (s->entry) {
        const EntryHead* e = s->entry;
        if (s->archive || slot == 2)
            *out = FromPacked(e->dWritten, e->tWritten);
        else if (slot == 0)
            *out = FromPacked(e->dAccessed, e->tAccessed);
        else
            *out = FromPacked(e->dCreated, e->tCreated);
        return TRUE;
    }
    if (!s->looked) {
        s->looked = true;
        WIN32_FIND_DATAW data{};
        HANDLE find = RdFindFirstFileW(s->path.c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            ReportError(WORD(s->path.empty() ? 0 : s->path[0]), code);
        } else {
            RdFindClose(find);
            FindDataToPacked(&data, &s->dates[1], &s->times[1], &s->dates[2], &s->times[2],
                             &s->dates[0], &s->times[0]);
            s->found = true;
        }
    }
    if (!s->found) return FALSE;
    *out = FromPacked(s->dates[slot], s->times[slot]);
    return TRUE;
}

// The directory names, label and count a mask may use, for an entry of
// disk in dir.
struct GatheredNames {
    Text label;
    const WCHAR* directory = nullptr;
    const WCHAR* other = nullptr;
};

void Gather(StampInputs& in, GatheredNames& names, const SubdirInfo* dir, const DiskInfo* disk) {
    GetPackedNow(&in.now);
    names.directory = dir ? dir->pszName : nullptr;
    const SubdirInfo* otherDir = gPanes[(gCurrentPane & 1) ^ 1].Directory;
    names.other = otherDir ? otherDir->pszName : nullptr;
    if (disk) {
        WCHAR label[300] = {};
        MultiByteToWideChar(CP_OEMCP, 0, disk->szLabel, -1, label, 300);
        names.label = label;
    }
    in.directoryName = names.directory;
    in.otherDirectoryName = names.other;
    in.volumeLabel = names.label.c_str();
    in.taggedCount = gFileList ? gFileList->taggedEntries[gCurrentPane & 1] : 0;
}

} // namespace

int ApplyNameMask(WCHAR* out, const WCHAR* mask, const WCHAR* source, LONG listIndex,
                  const WCHAR* explicitPath) {
    out[0] = 0;
    EntrySource entrySource{};
    const SubdirInfo* dir = psiCurrent;
    const DiskInfo* disk = pdiCurrent;
    Text dirName;
    if (listIndex >= 0 && gFileList && DWORD(listIndex) < gFMax) {
        entrySource.entry = ListEntries(gFileList)[listIndex];
        entrySource.archive = gWindowMode == WM_ARCHIVE_FILE;
        if (entrySource.entry && entrySource.entry->owner) {
            dir = entrySource.entry->owner;
            disk = dir->pdiDisk;
        }
    } else if (explicitPath) {
        entrySource.path = explicitPath;
        // The component before the last backslash names the directory.
        const size_t slash = entrySource.path.rfind('\\');
        if (slash != Text::npos && slash > 0) {
            const size_t before = entrySource.path.rfind('\\', slash - 1);
            const size_t from = before == Text::npos ? 0 : before + 1;
            dirName = entrySource.path.substr(from, slash - from);
        }
        disk = explicitPath[0] && explicitPath[1] == ':' ? FindVolume(towupper(explicitPath[0]))
                                                         : pdiCurrent;
        dir = nullptr;
    } else if (psiCurrent) {
        entrySource.path = Text(psiCurrent->pszFullName);
        if (!entrySource.path.empty() && entrySource.path.back() != '\\') entrySource.path += '\\';
        entrySource.path += source ? source : u"";
    }
    StampInputs in{};
    GatheredNames names;
    Gather(in, names, dir, disk);
    if (!dir && explicitPath) in.directoryName = dirName.c_str();
    in.entryTime = EntryTimeOf;
    in.context = &entrySource;
    in.nextSequence = NextSequenceNumber;
    const char* message = nullptr;
    const int rc = ExpandStampSections(in, &gSequence, mask, out, MASK_TEXT_UNITS, &message);
    if (rc == MASK_OK) return 0;
    if (rc != MASK_ENDED && message) ShowMaskMessage(message);
    return -1;
}

void ResetNameMaskSequence() { gSequence = {}; }

MaskSequence& NameMaskSequence() { return gSequence; }

LONGLONG NextSequenceNumber(int step, LONGLONG value) {
    const LONGLONG next = value + step;
    return next < 0 ? PromptSequenceNumber() : next;
}

LONGLONG PromptSequenceNumber() {
    constexpr size_t kWidth = 57;
    static const char kPrompt[] = "Enter new sequence number: ";
    ScreenCell* saved = ScrSaveRect(gMessageRow, 0, gBottomRow, gScreenMaxCol);
    LONGLONG result = -1;
    for (;;) {
        ScrClearArea(gMessageRow, 0, gMessageRow, gScreenMaxCol, gMessageAttr);
        ScrPutStr(gMessageRow, 0, kPrompt, gMessageAttr);
        Text field(kWidth, u' ');
        const KeyCode key = InputLine(gMessageRow, WORD(sizeof kPrompt - 1), field.data(), 0, 0, 2,
                                      FALSE, FALSE, 0, 0);
        if (key == KC_ESC) break;
        if (key != KC_ENTER) continue;
        const Text typed(field.c_str());
        size_t i = 0;
        while (i < typed.size() && typed[i] == ' ')
            i++;
        LONGLONG value = 0;
        size_t digits = 0;
        for (; i < typed.size() && typed[i] >= '0' && typed[i] <= '9' && digits <= 10; i++, digits++)
            value = value * 10 + (typed[i] - '0');
        while (i < typed.size() && typed[i] == ' ')
            i++;
        if (digits && i == typed.size() && value <= kSequenceMax) {
            result = value;
            break;
        }
        ScrBeep();
    }
    ScrRestoreRect(gMessageRow, 0, gBottomRow, gScreenMaxCol, saved);
    return result;
}

// ---- the path services' seam ------------------------------------------------------------

namespace {

BOOL CursorDirectory(WCHAR* out, size_t units) {
    if (!psiCurrent || !pdiCurrent || gArchiveTreeActive || !psiCurrent->pszFullName) return FALSE;
    return wcscpy_s(out, units, psiCurrent->pszFullName) == 0;
}

WCHAR CurrentDiskLetter() { return pdiCurrent && !gArchiveTreeActive ? WCHAR(pdiCurrent->cDrive) : 0; }

// The current disk shows the cursor's directory; another logged disk the
// path its pane last showed there.
const WCHAR* LastPanePath(WCHAR letter) {
    if (gArchiveTreeActive) return nullptr;
    const DiskInfo* disk = FindVolume(towupper(letter));
    if (!disk) return nullptr;
    if (disk == pdiCurrent && psiCurrent) return psiCurrent->pszFullName;
    const WCHAR* saved = disk->wszSavedPath[gCurrentPane & 1];
    return saved[0] ? saved : nullptr;
}

// A path's stamp sections: the current time, the cursor's directory and
// disk; a sequence writes its start value.
int ExpandPathStamps(const WCHAR* text, WCHAR* out, size_t units) {
    StampInputs in{};
    GatheredNames names;
    Gather(in, names, psiCurrent, pdiCurrent);
    return ExpandStampSections(in, nullptr, text, out, units, nullptr);
}

} // namespace

void InstallTreePathSeam() {
    gPathTreeSeam.cursorDirectory = CursorDirectory;
    gPathTreeSeam.currentDiskLetter = CurrentDiskLetter;
    gPathTreeSeam.lastPanePath = LastPanePath;
    gPathTreeSeam.expandStamps = ExpandPathStamps;
}
