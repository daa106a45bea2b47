// The command-line switches start-up depends on: the pre-scan, the log
// options, /QT, /QV, /K and the drives, paths and filters to log. Any other
// option is reported as invalid and skipped.
#include "main/startup_pending_options.h"

#include "menu/locator.h"
#include "settings/qlog.h"
#include "tree/log_state.h"

#include <cstring>

namespace {

std::u16string Upper(std::u16string text) {
    for (auto& c : text)
        if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
    return text;
}

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text)
        out += c < 0x80 ? char(c) : char(0xFA);
    return out;
}

bool HasAny(const std::u16string& text, const char16_t* set) {
    return text.find_first_of(set) != std::u16string::npos;
}

bool IsLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// The option text as it is matched: the letter after '/' upper-cased; the
// rest upper-cased too except after E, K, T, V and in the name of /QV.
std::u16string MatchText(const std::u16string& argument) {
    std::u16string text = argument.substr(1);
    if (text.empty()) return text;
    if (text[0] >= u'a' && text[0] <= u'z') text[0] = char16_t(text[0] - 32);
    if (text[0] == u'Q' && text.size() > 1 && (text[1] == u'v' || text[1] == u'V')) {
        text[1] = u'V';
        return text;
    }
    if (text[0] == u'E' || text[0] == u'K' || text[0] == u'T' || text[0] == u'V') return text;
    return Upper(text);
}

} // namespace

StartupPrescan PrescanArguments(int argc, const WCHAR* const* argv) {
    StartupPrescan scan;
    if (argc > 1) {
        const std::u16string first = argv[1];
        if (!first.empty() &&
            (first[0] == u'?' || first == u"/?" || first == u"/H" || first == u"/h"))
            scan.usage = true;
    }
    for (int i = 1; i < argc; i++) {
        const std::u16string argument = argv[i];
        scan.argsText += u' ';
        scan.argsText += argument;
        if (argument == u"/DEB") scan.trace = true;
        const std::u16string upper = Upper(argument);
        if (upper == u"/QD") scan.restoreLastDir = true;
        if (upper == u"/QM") scan.loadBookmarks = true;
        if (upper.rfind(u"/QI", 0) == 0) scan.iniFile = argument.substr(3);
        if (upper.rfind(u"/QC", 0) == 0) scan.colourFile = argument.substr(3);
        if (upper == u"/O") scan.deprecated.push_back("/O - Deprecated option.");
        if (upper == u"/QJ")
            scan.deprecated.push_back(
                "/QJ - Deprecated option - see Make directory F4 Jump option.");
        if (upper == u"/SCA") scan.deprecated.push_back("/SCA - Deprecated option. (Use /STM)");
        if (upper == u"/SCO") scan.deprecated.push_back("/SCO - Deprecated option. (Use /STN)");
    }
    return scan;
}

StartupOptions ParseStartupOptions(int argc, const WCHAR* const* argv) {
    StartupOptions o;
    bool filterGiven = false;
    for (int i = 1; i < argc; i++) {
        std::u16string argument = argv[i];
        if (!argument.empty() && argument[0] == u'/') {
            const std::u16string text = MatchText(argument);
            if (text == u"L1") {
                o.logMode = LOG_ROOT_ONLY, o.logOptionGiven = true;
            } else if (text.size() >= 2 && text[0] == u'L' && text[1] >= u'2' && text[1] <= u'9') {
                o.logMode = LOG_ROOT_ONLY, o.depthLimit = text[1] - u'0', o.logOptionGiven = true;
            } else if (text == u"LF") {
                o.logMode = LOG_FULL_DISK, o.logOptionGiven = true;
            } else if (text == u"LT") {
                o.logMode = LOG_TREE_ONLY, o.logOptionGiven = true;
            } else if (text == u"QT") {
                o.treeSpecStart = true;
            } else if (text.rfind(u"QV", 0) == 0) {
                o.qlogFile = text.substr(2, MAX_PATH);
                o.qlogFileGiven = true;
            } else if (text[0] == u'K') {
                std::string keys =
                    text.size() >= 2 ? Narrow(text.substr(text[1] == u',' ? 2 : 1)) : "";
                for (int k = i + 1; k < argc; k++) {
                    if (!keys.empty()) keys += ',';
                    keys += Narrow(argv[k]);
                }
                if (keys.size() > 259) keys.resize(259);
                o.macroKeys = keys;
                o.macroGiven = true;
                break;
            } else if (argument == u"/DEB" || text == u"DEB" || text == u"CONHOST" ||
                       text == u"QJ" || text == u"O" || text == u"SCA" || text == u"SCO" ||
                       text == u"QD" || text == u"QM" || text.rfind(u"QC", 0) == 0 ||
                       text.rfind(u"QI", 0) == 0) {
                // Handled by the pre-scan.
            } else {
                o.messages.push_back(Narrow(argument) +
                                     " - Invalid option, ignored.  (Use /? for a list)\n");
            }
            continue;
        }
        if (HasAny(argument, u"*?") && !HasAny(argument, u"\\")) {
            const std::u16string item =
                HasAny(argument, u", ;") ? u"\"" + argument + u"\"" : argument;
            o.filter = filterGiven ? o.filter + u"," + item : item;
            filterGiven = true;
            continue;
        }
        while (!argument.empty() && argument.back() == u' ')
            argument.pop_back();
        if (!argument.empty() && IsLetter(argument[0]) &&
            (argument.size() == 1 || argument[1] == u':') && argument[0] >= u'a')
            argument[0] = char16_t(argument[0] - 32);
        WCHAR expanded[1026];
        if (ExpandEnvVars(expanded, 1026, argument.c_str()) >= 0) argument = expanded;
        bool needsDrive = false;
        if (HasAny(argument, u".")) {
            o.logMode = LOG_ROOT_ONLY;
            needsDrive = argument.empty() || !IsLetter(argument[0]);
        } else if (HasAny(argument, u"\\") && !o.logOptionGiven) {
            o.logMode = LOG_ROOT_ONLY;
        }
        o.entries.push_back(argument);
        o.entryNeedsCurrentDrive.push_back(needsDrive);
    }
    return o;
}

void ApplyStartupOptions(const StartupOptions& o) {
    if (o.logMode >= 0) gLogMode = WORD(o.logMode);
    gLogDepthLimit = o.depthLimit >= 65535 ? LOG_NO_DEPTH_LIMIT : SHORT(o.depthLimit);
    if (o.qlogFileGiven) {
        size_t n = 0;
        for (; n < o.qlogFile.size() && n < MAX_PATH; n++)
            gQlogCommandLineFile[n] = o.qlogFile[n];
        gQlogCommandLineFile[n] = 0;
    }
}
