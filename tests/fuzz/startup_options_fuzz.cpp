// libFuzzer target for the command line: the pre-scan and the option
// parser over argument vectors. Every text the record keeps must stay
// within the room its owner gives it, every list within its length, and
// every number within the range its owner stores.
//
// Input: a zero byte ends an argument; a byte of 0xF0 or more repeats the
// unit before it 32 times for each step above 0xEF (so that long texts
// cost few bytes); any other byte picks a unit from a small alphabet of the
// characters the options are made of.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "main/startup_options.h"
#include "main/window_layout.h"

namespace {

const std::u16string kAlphabet = u"/?*\\.,; :=+-%0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdehkmoqv"
                                 u"\u00e9\u2192\U0001F600";

[[noreturn]] void Fail(const char* what) {
    fprintf(stderr, "startup_options_fuzz: %s\n", what);
    abort();
}

void Require(bool holds, const char* what) {
    if (!holds) Fail(what);
}

std::vector<std::u16string> Decode(const uint8_t* data, size_t size) {
    std::vector<std::u16string> args(1);
    for (size_t i = 0; i < size; i++) {
        const uint8_t b = data[i];
        std::u16string& arg = args.back();
        if (b == 0) {
            args.emplace_back();
        } else if (b >= 0xF0) {
            if (!arg.empty()) arg.append(size_t(b - 0xEF) * 32, arg.back());
        } else {
            arg += kAlphabet[b % kAlphabet.size()];
        }
    }
    return args;
}

// Variables whose name begins with "L" are long; names beginning with "N"
// are not set; expansion doubles the text at each "%".
StartupEnvironment Environment() {
    StartupEnvironment e;
    e.lookup = [](const std::u16string& name) -> std::optional<std::u16string> {
        if (!name.empty() && name[0] == u'N') return std::nullopt;
        if (!name.empty() && name[0] == u'L') return std::u16string(300, u'v');
        return name;
    };
    e.expand = [](const std::u16string& text) {
        return text.find(u'%') == std::u16string::npos ? text : text + text;
    };
    e.newestFilter = []() -> std::optional<std::u16string> { return std::u16string(u"*.x"); };
    return e;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::u16string> args = Decode(data, size);
    std::vector<const WCHAR*> argv{u"quilb"};
    for (const std::u16string& a : args)
        argv.push_back(a.c_str());
    const int argc = int(argv.size());

    const StartupPrescan p = PrescanArguments(argc, argv.data());
    if (!p.usage) {
        size_t expected = 0;
        for (const std::u16string& a : args)
            expected += a.size() + 1;
        Require(p.argsText.size() == expected, "the trace text lost an argument");
    }
    Require(p.deprecated.size() <= args.size(), "more deprecated notes than arguments");

    const StartupOptions o = ParseStartupOptions(argc, argv.data(), Environment());
    Require(o.entries.size() == o.entryNeedsCurrentDrive.size(), "entry flags out of step");
    Require(o.entries.size() + o.messages.size() <= args.size(), "more results than arguments");
    Require(!o.filter.empty(), "an empty filter");
    Require(o.title.items.size() <= STARTUP_TITLE_ITEMS, "too many title items");
    Require(o.title.texts.size() <= STARTUP_TITLE_TEXTS, "too many title texts");
    for (const std::u16string& t : o.title.texts)
        Require(t.size() < STARTUP_TITLE_UNITS, "a title text past its room");
    Require(o.title.flags != 0 && o.title.flags <= 0x1F, "title flags");
    Require(o.macroKeys.size() < STARTUP_MACRO_BYTES, "the key sequence past its room");
    Require(o.macroGiven || o.macroKeys.empty(), "keys without /K");
    Require(o.qlogFile.size() < STARTUP_QLOG_UNITS, "the volume file name past its room");
    Require(!o.editorCmd || o.editorCmd->size() < STARTUP_COMMAND_BYTES, "editor past its room");
    Require(!o.viewerCmd || o.viewerCmd->size() < STARTUP_COMMAND_BYTES, "viewer past its room");
    Require(o.rowList.size() <= SIZE_ROW_LIST_MAX, "height list too long");
    Require(o.colList.size() <= SIZE_COL_LIST_MAX, "width list too long");
    Require(o.startRows >= STARTUP_SIZE_UNSET && o.startRows <= 65535, "start-up height");
    Require(o.startCols >= STARTUP_SIZE_UNSET && o.startCols <= 65535, "start-up width");
    Require(o.logMode >= -1 && o.logMode <= 2, "log mode");
    Require(o.depthLimit == 65535 || (o.depthLimit >= 2 && o.depthLimit <= 9), "depth limit");
    Require(o.keyLog >= 0 && o.keyLog <= 2 && o.qaap >= 0 && o.qaap <= 2, "switch values");
    Require(o.pathMode <= 3, "path mode");
    Require(!o.fileSort.key || *o.fileSort.key <= 12, "file sort key");
    Require(!o.dirSort.key || *o.dirSort.key <= 12, "directory sort key");
    for (const std::u16string& e : o.entries)
        Require(e.empty() || e.back() != u' ' || e.find(u'%') != std::u16string::npos,
                "an entry kept its trailing blanks");
    return 0;
}
