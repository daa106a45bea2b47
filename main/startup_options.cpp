// The command line of the file manager: pre-scan, option parser and the
// step that hands the parsed switches to the modules that read them.
#include "main/startup_options.h"

#include "main/window_layout.h"
#include "menu/locator.h"
#include "menu/macros.h"
#include "menu/qaap.h"
#include "platform/console_session.h"
#include "settings/nolog.h"
#include "settings/qlog.h"
#include "settings/settings.h"
#include "tree/log_state.h"
#include "tree/sort_order.h"

#include <algorithm>
#include <cstring>
#include <limits>

DWORD gSystemCopy = 1;
DWORD gSystemMove = 1;
DWORD gAltKeyMode = 0;
DWORD gNoMaximise = 0;
DWORD gKeyLogOption = 0;
DWORD gProgressNoRate = 0;
DWORD gWashOnDelete = 0;
BYTE gAltPathMode = 1;
int gStartupRows = STARTUP_SIZE_UNSET;
int gStartupCols = STARTUP_SIZE_UNSET;

namespace {

using Text = std::u16string;

WCHAR AsciiUpper(WCHAR c) {
    return c >= u'a' && c <= u'z' ? WCHAR(c - 32) : c;
}
bool IsAsciiLetter(WCHAR c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool IsDigit(WCHAR c) {
    return c >= u'0' && c <= u'9';
}

Text Argument(const WCHAR* const* argv, int i) {
    return argv[i] ? Text(argv[i]) : Text();
}

Text UpperCopy(Text text) {
    for (WCHAR& c : text)
        c = AsciiUpper(c);
    return text;
}

bool StartsWith(const Text& text, std::u16string_view prefix) {
    return text.size() >= prefix.size() &&
           std::u16string_view(text).substr(0, prefix.size()) == prefix;
}

// Never leaves the first unit of a surrogate pair alone at the end of a cut.
Text CutUnits(Text text, size_t units) {
    if (text.size() <= units) return text;
    text.resize(units);
    if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) text.pop_back();
    return text;
}

// 8-bit text in a single-byte code page: a character the code page lacks
// becomes 0xFA.
std::string ToCodePage(UINT codePage, const Text& text) {
    if (text.empty()) return {};
    std::string out(text.size(), '\0');
    const char fallback[2] = {'\xFA', 0};
    const int n = WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), out.data(),
                                      int(out.size()), fallback, nullptr);
    out.resize(n > 0 ? size_t(n) : 0);
    return out;
}

// UTF-8 for the messages on standard output.
std::string ToUtf8(const Text& text) {
    if (text.empty()) return {};
    const int need = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    if (need <= 0) return {};
    std::string out(size_t(need), '\0');
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), need,
                                      nullptr, nullptr);
    out.resize(n > 0 ? size_t(n) : 0);
    return out;
}

// The leading decimal digits of text from pos, saturated at limit; 0 when
// there are none.
unsigned long long LeadingNumber(const Text& text, size_t pos, unsigned long long limit) {
    unsigned long long value = 0;
    for (; pos < text.size() && IsDigit(text[pos]); pos++) {
        value = value * 10 + unsigned(text[pos] - u'0');
        if (value >= limit) return limit;
    }
    return value;
}

// A sign and decimal digits from pos, saturated to the 16-bit range.
SHORT SignedNumber(const Text& text, size_t pos) {
    const bool negative = pos < text.size() && text[pos] == u'-';
    if (pos < text.size() && (text[pos] == u'-' || text[pos] == u'+')) pos++;
    const long long limit = negative ? 32768 : 32767;
    const long long magnitude = (long long)LeadingNumber(text, pos, (unsigned long long)limit);
    return SHORT(negative ? -magnitude : magnitude);
}

bool IsSign(const Text& text, size_t pos) {
    return pos < text.size() && (text[pos] == u'+' || text[pos] == u'-');
}

// ---- the option table -------------------------------------------------------------------------

struct Context {
    StartupOptions& o;
    const Text& text; // the option without "/", cased as the parser keeps it
    const WCHAR* const* argv;
    int argc;
    int& index; // the argument being parsed; an option that consumes more moves it
    const StartupEnvironment& environment;
    bool stop; // the option ends the list
};

using OptionAction = void (*)(Context&);

// Exact: the whole text is the name. Prefix: the text begins with it.
// SortLetter: the name and one sort letter are the whole text.
enum class Match { Exact, Prefix, SortLetter };

struct OptionRow {
    const char16_t* name;
    Match match;
    OptionAction action;
};

void Height(Context& c, int rows) {
    c.o.startRows = rows;
    c.o.startCols = 96;
}

void LogOption(Context& c, int mode) {
    c.o.logMode = mode;
    c.o.logOptionGiven = true;
}

void Depth(Context& c) {
    LogOption(c, LOG_ROOT_ONLY);
    c.o.depthLimit = c.text[1] - u'0';
}

// ROWS:n[:n...] and COLS:n[:n...]: numbers go into the list, a last item
// "MAX" asks for the terminal's size.
void SizeList(Context& c, std::vector<WORD>& list, size_t room, int& size) {
    const size_t start = c.text.find(u':') + 1;
    size_t pos = start;
    while (true) {
        const size_t end = std::min(c.text.find(u':', pos), c.text.size());
        const Text item = c.text.substr(pos, end - pos);
        if (!item.empty() && IsDigit(item[0])) {
            if (list.size() < room) list.push_back(WORD(LeadingNumber(item, 0, 65535)));
        } else if (end == c.text.size() && item == u"MAX") {
            size = 0;
        }
        if (end == c.text.size()) break;
        pos = end + 1;
    }
}

void Rows(Context& c) {
    SizeList(c, c.o.rowList, SIZE_ROW_LIST_MAX, c.o.startRows);
    if (!c.o.rowList.empty() && c.o.startRows != STARTUP_SIZE_LARGEST)
        c.o.startRows = c.o.rowList.front();
}

void Cols(Context& c) {
    SizeList(c, c.o.colList, SIZE_COL_LIST_MAX, c.o.startCols);
    if (!c.o.colList.empty()) c.o.startCols = c.o.colList.front();
}

// r[:c]: the row adjustment, and the column adjustment after a ":" that
// stands after the first character and is followed by a sign.
void Adjustment(Context& c, const Text& text) {
    c.o.maxRowAdjust = SignedNumber(text, 0);
    const size_t colon = text.find(u':', 1);
    if (colon != Text::npos && IsSign(text, colon + 1))
        c.o.maxColAdjust = SignedNumber(text, colon + 1);
}

void Max(Context& c) {
    if (c.index + 1 < c.argc) {
        const Text next = Argument(c.argv, c.index + 1);
        if (IsSign(next, 0)) {
            c.index++;
            Adjustment(c, next);
            return;
        }
    }
    if (c.text.size() <= 3 || c.text[3] != u'=') c.o.startRows = STARTUP_SIZE_LARGEST;
    if (c.text.size() > 3 && IsSign(c.text, 4)) Adjustment(c, c.text.substr(4));
}

// The letters of the sort keys that /S and /SD take, the same for files and
// directories.
struct SortLetter {
    WCHAR letter;
    BYTE key;
};
constexpr SortLetter kSortLetters[] = {
    {u'A', SORT_ALPHA},  {u'D', SORT_DATE},     {u'E', SORT_EXTENSION}, {u'F', SORT_FULL},
    {u'L', SORT_LENGTH}, {u'M', SORT_NUMBER},   {u'N', SORT_NAME},      {u'S', SORT_SIZE},
    {u'T', SORT_TIME},   {u'U', SORT_UNSORTED}, {u'V', SORT_VALUE},
};

// The key of the one sort letter at text[at] that ends the text.
std::optional<BYTE> SortLetterKey(const Text& text, size_t at) {
    if (text.size() != at + 1) return std::nullopt;
    for (const SortLetter& s : kSortLetters)
        if (s.letter == text[at]) return s.key;
    return std::nullopt;
}

// Title items: every character one of O, P, Q and V adds items and flags;
// any other text is a title text of its own.
void Title(Context& c) {
    const Text text = c.text.substr(1);
    if (text.empty()) return;
    StartupTitle& t = c.o.title;
    const bool items = std::all_of(text.begin(), text.end(), [](WCHAR ch) {
        return ch == u'O' || ch == u'P' || ch == u'Q' || ch == u'V';
    });
    auto addItem = [&t](char item) {
        if (t.items.size() < STARTUP_TITLE_ITEMS) t.items += item;
    };
    if (items) {
        for (WCHAR ch : text) {
            addItem(char(ch));
            switch (ch) {
            case u'O':
                t.flags |= TITLE_FLAG_OBJECT | TITLE_FLAG_OBJECT_LINE;
                break;
            case u'P':
                t.flags |= TITLE_FLAG_OBJECT | TITLE_FLAG_OBJECT_LINE | TITLE_FLAG_PATH_SPLIT;
                break;
            case u'Q':
                t.flags |= TITLE_FLAG_PRODUCT;
                break;
            default:
                t.flags |= TITLE_FLAG_VERSION;
                break;
            }
        }
        return;
    }
    if (t.texts.size() >= STARTUP_TITLE_TEXTS) return;
    Text value = text;
    if (text[0] == u'%' && c.environment.lookup) {
        // The whole text names the variable; written as %NAME% or %NAME, the
        // name between the marks is tried as well.
        std::optional<Text> found = c.environment.lookup(text);
        if (!found) {
            Text name = text.substr(1);
            if (!name.empty() && name.back() == u'%') name.pop_back();
            if (!name.empty()) found = c.environment.lookup(name);
        }
        if (found) value = *found;
    }
    t.texts.push_back(CutUnits(value, STARTUP_TITLE_UNITS - 1));
    addItem('T');
}

std::string CommandText(const Text& text) {
    std::string bytes = ToCodePage(CP_ACP, text);
    if (bytes.size() > STARTUP_COMMAND_BYTES - 1) bytes.resize(STARTUP_COMMAND_BYTES - 1);
    return bytes;
}

// /K: the keys after the letter (one character alone is not used, a comma
// right after the K is dropped) and every further argument, joined by commas
// in code page 437; the option list ends here.
void Keys(Context& c) {
    std::string keys;
    auto append = [&keys](const Text& piece) {
        if (piece.empty()) return;
        if (!keys.empty()) keys += ',';
        keys += ToCodePage(CP_OEMCP, piece);
    };
    Text first = c.text.substr(1);
    if (first.size() >= 2) append(first[0] == u',' ? first.substr(1) : first);
    for (int i = c.index + 1; i < c.argc; i++)
        append(Argument(c.argv, i));
    if (keys.size() > STARTUP_MACRO_BYTES - 1) keys.resize(STARTUP_MACRO_BYTES - 1);
    c.o.macroKeys = keys;
    c.o.macroGiven = true;
    c.index = c.argc;
    c.stop = true;
}

void Skip(Context&) {}

#define ROW(name, exact, body)                                                                     \
    {                                                                                              \
        u##name, exact, [](Context& c) { body; }                                                   \
    }
constexpr Match kExact = Match::Exact;
constexpr Match kPrefix = Match::Prefix;
constexpr Match kSortLetter = Match::SortLetter;

// In the order of matching: the first row that matches decides.
// clang-format off
const OptionRow kOptions[] = {
    ROW("2", kPrefix, Height(c, 25)),
    ROW("3", kPrefix, Height(c, 34)),
    ROW("4", kPrefix, Height(c, 43)),
    ROW("5", kPrefix, Height(c, 50)),
    ROW("6", kPrefix, Height(c, 60)),
    ROW("8", kPrefix, Height(c, 28)),
    ROW("ROWS:", kPrefix, Rows(c)),
    ROW("COLS:", kPrefix, Cols(c)),
    ROW("AUTO", kExact, c.o.startRows = c.o.startCols = SCREEN_SIZE_TERMINAL),
    ROW("MAX", kPrefix, Max(c)),
    ROW("NOMAX", kExact, c.o.noMaximise = true),
    ROW("KBR", kExact, c.o.keyLog = 1),
    ROW("KBRZ", kExact, c.o.keyLog = 2),
    ROW("API", kExact, c.o.messages.push_back("/API - Deprecated option.  (The Win32 API copy is now the default)\n")),
    ROW("APIT", kExact, c.o.messages.push_back("/APIT - Deprecated option.  (Now the default)\n")),
    ROW("NOAPI", kExact, c.o.noSystemCopy = true),
    ROW("PMF", kExact, c.o.pathMode = 1),
    ROW("PMC", kExact, c.o.pathMode = 2),
    ROW("PMR", kExact, c.o.pathMode = 3),
    ROW("AK", kExact, c.o.altKeyMode = true),
    ROW("QP", kExact, c.o.progressNoRate = true),
    ROW("L1", kExact, LogOption(c, LOG_ROOT_ONLY)),
    ROW("L2", kPrefix, Depth(c)),
    ROW("L3", kPrefix, Depth(c)),
    ROW("L4", kPrefix, Depth(c)),
    ROW("L5", kPrefix, Depth(c)),
    ROW("L6", kPrefix, Depth(c)),
    ROW("L7", kPrefix, Depth(c)),
    ROW("L8", kPrefix, Depth(c)),
    ROW("L9", kPrefix, Depth(c)),
    ROW("LF", kExact, LogOption(c, LOG_FULL_DISK)),
    ROW("LT", kExact, LogOption(c, LOG_TREE_ONLY)),
    ROW("LQ", kExact, c.o.quietLog = true),
    ROW("LS", kExact, c.o.singleThreadLog = true),
    ROW("QB1", kExact, c.o.qaap = 1),
    ROW("QB", kExact, c.o.qaap = 2),
    ROW("QF", kExact, c.o.firstFilterFromHistory = true),
    ROW("QN", kExact, c.o.noLogListOff = true),
    ROW("QT", kExact, c.o.treeSpecStart = true),
    ROW("OD", kExact, c.o.fileSort.descending = true),
    ROW("OA", kExact, c.o.fileSort.descending = false),
    ROW("S", kSortLetter, c.o.fileSort.key = SortLetterKey(c.text, 1)),
    ROW("ODD", kExact, c.o.dirSort.descending = true),
    ROW("ODA", kExact, c.o.dirSort.descending = false),
    ROW("SD", kSortLetter, c.o.dirSort.key = SortLetterKey(c.text, 2)),
    ROW("STM", kExact, c.o.treeByNumber = true),
    ROW("STN", kExact, c.o.treeByNumber = false),
    ROW("SSD", kExact, c.o.splitSortDiffers = true),
    ROW("SSS", kExact, c.o.splitSortDiffers = false),
    // By the letter alone.
    ROW("B", kPrefix, c.o.beepsOff = true),
    ROW("E", kPrefix, c.o.editorCmd = CommandText(c.text.substr(1))),
    ROW("M", kPrefix, c.o.mouseOff = true),
    ROW("T", kPrefix, Title(c)),
    ROW("V", kPrefix, c.o.viewerCmd = CommandText(c.text.substr(1))),
    ROW("Y", kPrefix, c.o.noRestoreScreen = c.o.noNewConsole = true),
    ROW("NC", kExact, c.o.noNewConsole = true),
    ROW("QV", kPrefix, c.o.qlogFile = CutUnits(c.text.substr(2), STARTUP_QLOG_UNITS - 1); c.o.qlogFileGiven = true),
    ROW("QQ7", kExact, c.o.washOnDelete = true),
    ROW("CP:", kPrefix, c.o.viewerCodePage = DWORD(LeadingNumber(c.text, 3, std::numeric_limits<DWORD>::max()))),
    ROW("K", kPrefix, Keys(c)),
    // The pre-scan's own options.
    ROW("DEB", kExact, Skip(c)),
    ROW("CONHOST", kExact, Skip(c)),
    ROW("QJ", kExact, Skip(c)),
    ROW("O", kExact, Skip(c)),
    ROW("SCA", kExact, Skip(c)),
    ROW("SCO", kExact, Skip(c)),
    ROW("QD", kExact, Skip(c)),
    ROW("QM", kExact, Skip(c)),
    ROW("QC", kPrefix, Skip(c)),
    ROW("QI", kPrefix, Skip(c)),
};
// clang-format on
#undef ROW

// The option's text after "/": its first character upper-cased; after "Qv"
// the V too and nothing more (the /QV file name keeps its case); after E, K,
// T and V nothing more; otherwise all of it.
Text OptionText(const Text& argument) {
    Text text = argument.substr(1);
    if (text.empty()) return text;
    text[0] = AsciiUpper(text[0]);
    if (text[0] == u'Q' && text.size() > 1 && AsciiUpper(text[1]) == u'V') {
        text[1] = u'V';
        return text;
    }
    if (text[0] == u'E' || text[0] == u'K' || text[0] == u'T' || text[0] == u'V') return text;
    return UpperCopy(text);
}

const OptionRow* MatchOption(const Text& text) {
    for (const OptionRow& row : kOptions) {
        const bool matches = row.match == Match::Exact ? text == row.name
                             : row.match == Match::Prefix
                                 ? StartsWith(text, row.name)
                                 : StartsWith(text, row.name) &&
                                       SortLetterKey(text, std::u16string_view(row.name).size());
        if (matches) return &row;
    }
    return nullptr;
}

// A drive, path or filter argument.
void NonOption(StartupOptions& o, const Text& argument, const StartupEnvironment& environment,
               bool& filterGiven) {
    const bool wild = argument.find_first_of(u"*?") != Text::npos;
    if (wild && argument.find(u'\\') == Text::npos) {
        const bool quote = argument.find_first_of(u", ;") != Text::npos;
        if (!filterGiven) {
            o.filter = argument;
        } else {
            o.filter += u',';
            o.filter += quote ? u'"' + argument + u'"' : argument;
        }
        filterGiven = true;
        return;
    }
    Text entry = argument;
    while (!entry.empty() && entry.back() == u' ')
        entry.pop_back();
    if (!entry.empty() && IsAsciiLetter(entry[0]) && (entry.size() == 1 || entry[1] == u':'))
        entry[0] = AsciiUpper(entry[0]);
    if (environment.expand) entry = environment.expand(entry);
    bool needsDrive = false;
    if (entry.find(u'.') != Text::npos) {
        o.logMode = LOG_ROOT_ONLY;
        needsDrive = entry.empty() || !IsAsciiLetter(entry[0]);
    } else if (entry.find(u'\\') != Text::npos && !o.logOptionGiven) {
        o.logMode = LOG_ROOT_ONLY;
    }
    o.entries.push_back(entry);
    o.entryNeedsCurrentDrive.push_back(needsDrive);
}

} // namespace

// ---- pre-scan ---------------------------------------------------------------------------------

StartupPrescan PrescanArguments(int argc, const WCHAR* const* argv) {
    StartupPrescan p;
    if (argc > 1 && argv) {
        const Text first = Argument(argv, 1);
        if ((!first.empty() && first[0] == u'?') ||
            (first.size() >= 2 && first[0] == u'/' &&
             (first[1] == u'?' || first[1] == u'H' || first[1] == u'h'))) {
            p.usage = true;
            return p;
        }
    }
    for (int i = 1; i < argc && argv; i++) {
        const Text argument = Argument(argv, i);
        p.argsText += u' ';
        p.argsText += argument;
        if (argument == u"/DEB") p.trace = true;
        if (argument.empty() || argument[0] != u'/') continue;
        const Text name = UpperCopy(argument.substr(1));
        if (name == u"QD") {
            p.restoreLastDir = true;
        } else if (name == u"QM") {
            p.loadBookmarks = true;
        } else if (StartsWith(name, u"QI") && name.size() > 2) {
            p.iniFile = argument.substr(3);
        } else if (StartsWith(name, u"QC") && name.size() > 2) {
            p.colourFile = argument.substr(3);
        } else if (name == u"O") {
            p.deprecated.push_back("/O - Deprecated option.");
        } else if (name == u"QJ") {
            p.deprecated.push_back("/QJ - Deprecated option - see Make directory F4 Jump option.");
        } else if (name == u"SCA") {
            p.deprecated.push_back("/SCA - Deprecated option. (Use /STM)");
        } else if (name == u"SCO") {
            p.deprecated.push_back("/SCO - Deprecated option. (Use /STN)");
        }
    }
    return p;
}

// ---- the parser -------------------------------------------------------------------------------

StartupEnvironment ProcessStartupEnvironment() {
    StartupEnvironment e;
    e.lookup = [](const Text& name) -> std::optional<Text> {
        SetLastError(0);
        const DWORD need = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
        if (need == 0) {
            if (GetLastError() == 0) return Text(); // set, with an empty value
            return std::nullopt;
        }
        Text value(need, u'\0');
        SetLastError(0);
        const DWORD got = GetEnvironmentVariableW(name.c_str(), value.data(), need);
        if (got == 0 && GetLastError() == 0) return Text(); // set, with an empty value
        if (got == 0 || got >= need) return std::nullopt;
        value.resize(got);
        return value;
    };
    e.expand = [](const Text& text) {
        // Enough for any value an environment holds in practice; a longer
        // result keeps what fit.
        for (size_t units = 4096;; units *= 4) {
            Text out(units, u'\0');
            const int r = ExpandEnvVars(out.data(), units, text.c_str());
            if (r >= 0 || units >= (size_t(1) << 20)) {
                out.resize(std::char_traits<char16_t>::length(out.c_str()));
                return out;
            }
        }
    };
    return e;
}

StartupOptions ParseStartupOptions(int argc, const WCHAR* const* argv,
                                   const StartupEnvironment& environment) {
    StartupOptions o;
    bool filterGiven = false;
    for (int i = 1; argv && i < argc; i++) {
        const Text argument = Argument(argv, i);
        if (argument.empty() || argument[0] != u'/') {
            NonOption(o, argument, environment, filterGiven);
            continue;
        }
        const Text text = OptionText(argument);
        const OptionRow* row = MatchOption(text);
        if (!row) {
            o.messages.push_back(ToUtf8(argument) +
                                 " - Invalid option, ignored.  (Use /? for a list)\n");
            continue;
        }
        Context c{o, text, argv, argc, i, environment, false};
        row->action(c);
        if (c.stop) break;
    }
    // /QF: the filter history's newest text in place of "*.*".
    if (o.firstFilterFromHistory && !filterGiven && environment.newestFilter) {
        if (std::optional<Text> newest = environment.newestFilter(); newest && !newest->empty())
            o.filter = *newest;
    }
    // Without a title flag: product name, version and the current object.
    if (o.title.flags == 0) {
        o.title.flags =
            TITLE_FLAG_OBJECT | TITLE_FLAG_OBJECT_LINE | TITLE_FLAG_PRODUCT | TITLE_FLAG_VERSION;
        for (char item : {'Q', 'V', 'O'})
            if (o.title.items.size() < STARTUP_TITLE_ITEMS) o.title.items += item;
    }
    return o;
}

// ---- applying the record ----------------------------------------------------------------------

namespace {

void ApplySort(const StartupSortChange& change, SortSpec (&panes)[2], SortSpec& defaults) {
    for (SortSpec* spec : {&panes[0], &panes[1], &defaults}) {
        if (change.key) spec->key = *change.key;
        if (change.descending) spec->descending = *change.descending ? 1 : 0;
    }
}

void ApplySizeList(const std::vector<WORD>& list, WORD* target, WORD& count, WORD& pos, size_t room,
                   bool largest) {
    count = WORD(std::min(list.size(), room));
    std::copy_n(list.begin(), count, target);
    pos = largest ? count : 0;
}

} // namespace

void ApplyStartupOptions(const StartupOptions& o) {
    if (o.beepsOff) SessionSwitches.beeps = FALSE;
    if (o.mouseOff) SessionSwitches.mouse = FALSE;
    if (o.noRestoreScreen) SessionSwitches.restoreScreen = FALSE;
    if (o.noNewConsole) SessionSwitches.newConsole = FALSE;
    if (o.singleThreadLog) {
        SessionSwitches.readAhead = FALSE;
        gPrefetchEnabled = 0;
    }
    if (o.quietLog) gLogSkipErrors = 1;

    TITLE_LAYOUT& title = gTitleLayout;
    title = TITLE_LAYOUT{};
    title.itemCount = int(std::min(o.title.items.size(), STARTUP_TITLE_ITEMS));
    std::memcpy(title.items, o.title.items.data(), size_t(title.itemCount));
    title.flags = o.title.flags;
    title.textCount = int(std::min(o.title.texts.size(), STARTUP_TITLE_TEXTS));
    for (int i = 0; i < title.textCount; i++) {
        const Text text = CutUnits(o.title.texts[size_t(i)], STARTUP_TITLE_UNITS - 1);
        std::copy(text.begin(), text.end(), title.texts[i]);
        title.texts[i][text.size()] = 0;
    }

    if (o.logMode >= 0) gLogMode = WORD(o.logMode);
    if (o.depthLimit != 65535) gLogDepthLimit = SHORT(o.depthLimit);

    ApplySort(o.fileSort, gFileOrder, gDefaultFileOrder);
    ApplySort(o.dirSort, gDirOrder, gDefaultDirOrder);
    gArrayOrder = gFileOrder[0];
    if (o.treeByNumber) gTreeNumberOrder = *o.treeByNumber ? TRUE : FALSE;
    if (o.splitSortDiffers) gSplitSortDifferent = *o.splitSortDiffers ? TRUE : FALSE;

    if (o.editorCmd) SetCommandLineEditor(o.editorCmd->c_str());
    if (o.viewerCmd) SetCommandLineViewer(o.viewerCmd->c_str());
    if (o.viewerCodePage) gViewerCodePage = *o.viewerCodePage;
    if (o.noLogListOff) DisableNoLogList();
    if (o.qlogFileGiven) {
        const Text file = CutUnits(o.qlogFile, STARTUP_QLOG_UNITS - 1);
        std::copy(file.begin(), file.end(), gQlogCommandLineFile);
        gQlogCommandLineFile[file.size()] = 0;
    }
    if (o.qaap) {
        gQaapOn = 1;
        gQaapCurrentForm = o.qaap == 2 ? 1 : 0;
    }

    if (o.startRows != STARTUP_SIZE_UNSET) gStartupRows = o.startRows;
    if (o.startCols != STARTUP_SIZE_UNSET) gStartupCols = o.startCols;
    const bool largest = gStartupRows == STARTUP_SIZE_LARGEST;
    ApplySizeList(o.rowList, gRowSizeList, gRowSizeCount, gRowSizePos, SIZE_ROW_LIST_MAX, largest);
    ApplySizeList(o.colList, gColSizeList, gColSizeCount, gColSizePos, SIZE_COL_LIST_MAX, largest);
    if (o.maxRowAdjust) gMaxRowAdjust = *o.maxRowAdjust;
    if (o.maxColAdjust) gMaxColAdjust = *o.maxColAdjust;
    if (o.noMaximise) gNoMaximise = 1;

    if (o.keyLog) gKeyLogOption = DWORD(o.keyLog);
    if (o.progressNoRate) gProgressNoRate = 1;
    if (o.washOnDelete) gWashOnDelete = 1;
    if (o.pathMode) gAltPathMode = o.pathMode;
    if (o.altKeyMode) gAltKeyMode = 1;
    if (o.noSystemCopy) gSystemCopy = gSystemMove = 0;

    if (o.macroGiven) {
        char keys[STARTUP_MACRO_BYTES] = {};
        std::memcpy(keys, o.macroKeys.data(), std::min(o.macroKeys.size(), sizeof keys - 1));
        LoadMacro(keys);
    }
}
