// The command line of the file manager: the pre-scan, the option parser as
// one table (each row says where the option's switch lives and, where it
// has one, checks that ApplyStartupOptions stores it there), and the
// process environment the parser is given at start-up.
#include "main/startup_options.h"

#include "main/window_layout.h"
#include "menu/qaap.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "settings/nolog.h"
#include "settings/qlog.h"
#include "settings/settings.h"
#include "tree/log_state.h"
#include "tree/sort_order.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

using Text = std::u16string;
using Args = std::vector<Text>;

// argv[0] is the program; the rest are the arguments.
struct Argv {
    explicit Argv(const Args& args) : texts(args) {
        pointers.push_back(u"quilb");
        for (const Text& t : texts)
            pointers.push_back(t.c_str());
    }
    int argc() const { return int(pointers.size()); }
    const WCHAR* const* argv() const { return pointers.data(); }
    Args texts;
    std::vector<const WCHAR*> pointers;
};

// An environment of its own: TITLEVAR and HOME are set, %NAME% references
// of those two are expanded, and the filter history's newest text is
// "*.log".
StartupEnvironment FakeEnvironment() {
    static const std::map<Text, Text> vars = {{u"TITLEVAR", u"From the environment"},
                                              {u"HOME", u"Q:\\home"}};
    StartupEnvironment e;
    e.lookup = [](const Text& name) -> std::optional<Text> {
        auto it = vars.find(name);
        if (it == vars.end()) return std::nullopt;
        return it->second;
    };
    e.expand = [](const Text& text) {
        Text out = text;
        for (const auto& [name, value] : vars) {
            const Text ref = u"%" + name + u"%";
            for (size_t at; (at = out.find(ref)) != Text::npos;)
                out.replace(at, ref.size(), value);
        }
        return out;
    };
    e.newestFilter = []() -> std::optional<Text> { return Text(u"*.log"); };
    return e;
}

StartupOptions Parse(const Args& args) {
    Argv a(args);
    return ParseStartupOptions(a.argc(), a.argv(), FakeEnvironment());
}

const std::string kInvalid = " - Invalid option, ignored.  (Use /? for a list)\n";

// The owners' globals as they stand before any option is applied.
void ResetOwners() {
    SessionSwitches = {TRUE, TRUE, TRUE, TRUE, TRUE};
    gPrefetchEnabled = 1;
    gLogSkipErrors = 0;
    gTitleLayout = {};
    gLogMode = LOG_FULL_DISK;
    gLogDepthLimit = LOG_NO_DEPTH_LIMIT;
    for (int p = 0; p < 2; p++)
        gFileOrder[p] = gDirOrder[p] = SortSpec{};
    gDefaultFileOrder = gDefaultDirOrder = gArrayOrder = SortSpec{};
    gTreeNumberOrder = FALSE;
    gSplitSortDifferent = FALSE;
    SetCommandLineEditor("");
    SetCommandLineViewer("");
    gViewerCodePage = 0;
    gQlogCommandLineFile[0] = 0;
    gQaapOn = gQaapCurrentForm = 0;
    gStartupRows = gStartupCols = STARTUP_SIZE_UNSET;
    gRowSizeCount = gRowSizePos = gColSizeCount = gColSizePos = 0;
    gMaxRowAdjust = gMaxColAdjust = 0;
    gNoMaximise = gKeyLogOption = gProgressNoRate = gWashOnDelete = gAltKeyMode = 0;
    gAltPathMode = 1;
    gSystemCopy = gSystemMove = 1;
    gMacroKeys.count = gMacroKeys.length = 0;
    NoLogListFree(&gNoLogList);
    gNoLogList.count = 0;
}

Text Units(size_t n, WCHAR c) {
    return Text(n, c);
}

struct OptionRow {
    const char* what;
    Args args;
    const char* lives; // where the option's switch lives
    std::function<void(const StartupOptions&)> parsed;
    std::function<void()> applied; // after ApplyStartupOptions; null: nothing to store
};

// clang-format off
const std::vector<OptionRow>& OptionRows() {
    static const std::vector<OptionRow> rows = {
    // ---- the edge cases of the command line -------------------------------------------------
    {"/deb in lower case is skipped without a message", {u"/deb"}, "pre-scan only",
     [](const StartupOptions& o) { EXPECT_TRUE(o.messages.empty()); EXPECT_TRUE(o.entries.empty()); }, nullptr},
    {"/6 gives 60 rows and 96 columns", {u"/6"}, "gStartupRows, gStartupCols (main/startup_options)",
     [](const StartupOptions& o) { EXPECT_EQ(o.startRows, 60); EXPECT_EQ(o.startCols, 96); },
     [] { EXPECT_EQ(gStartupRows, 60); EXPECT_EQ(gStartupCols, 96); }},
    {"/28 is taken as /2", {u"/28"}, "gStartupRows",
     [](const StartupOptions& o) { EXPECT_EQ(o.startRows, 25); EXPECT_TRUE(o.messages.empty()); }, nullptr},
    {"/8 gives 28 rows", {u"/8"}, "gStartupRows",
     [](const StartupOptions& o) { EXPECT_EQ(o.startRows, 28); }, nullptr},
    {"/7 is an invalid option, printed whole", {u"/7"}, "nowhere",
     [](const StartupOptions& o) { ASSERT_EQ(o.messages.size(), 1u); EXPECT_EQ(o.messages[0], "/7" + kInvalid); }, nullptr},
    {"an unknown option is reported and the rest still parsed", {u"/FOO", u"Q:"}, "nowhere",
     [](const StartupOptions& o) {
         ASSERT_EQ(o.messages.size(), 1u);
         EXPECT_EQ(o.messages[0], "/FOO" + kInvalid);
         EXPECT_EQ(o.entries, Args{u"Q:"});
     }, nullptr},
    {"/BEEP switches beeps off like /B", {u"/BEEP"}, "SessionSwitches.beeps (console session)",
     [](const StartupOptions& o) { EXPECT_TRUE(o.beepsOff); EXPECT_TRUE(o.messages.empty()); },
     [] { EXPECT_FALSE(SessionSwitches.beeps); EXPECT_TRUE(SessionSwitches.mouse); }},
    {"/MOUSE switches the mouse off like /M", {u"/mouse"}, "SessionSwitches.mouse (console session)",
     [](const StartupOptions& o) { EXPECT_TRUE(o.mouseOff); EXPECT_FALSE(o.beepsOff); },
     [] { EXPECT_FALSE(SessionSwitches.mouse); EXPECT_TRUE(SessionSwitches.beeps); }},
    {"/MAX:-2:+4 maximises with both adjustments", {u"/MAX:-2:+4"}, "gMaxRowAdjust, gMaxColAdjust (console session)",
     [](const StartupOptions& o) {
         EXPECT_EQ(o.startRows, STARTUP_SIZE_LARGEST);
         EXPECT_EQ(o.maxRowAdjust, SHORT(-2));
         EXPECT_EQ(o.maxColAdjust, SHORT(4));
     },
     [] { EXPECT_EQ(gMaxRowAdjust, -2); EXPECT_EQ(gMaxColAdjust, 4); EXPECT_EQ(gStartupRows, STARTUP_SIZE_LARGEST); }},
    {"/MAX=-2 only sets the row adjustment", {u"/MAX=-2"}, "gMaxRowAdjust",
     [](const StartupOptions& o) {
         EXPECT_EQ(o.startRows, STARTUP_SIZE_UNSET);
         EXPECT_EQ(o.maxRowAdjust, SHORT(-2));
         EXPECT_FALSE(o.maxColAdjust);
     }, nullptr},
    {"/MAX and a separate -2: adjustment, no maximise, argument consumed", {u"/MAX", u"-2", u"Q:"}, "gMaxRowAdjust",
     [](const StartupOptions& o) {
         EXPECT_EQ(o.startRows, STARTUP_SIZE_UNSET);
         EXPECT_EQ(o.maxRowAdjust, SHORT(-2));
         EXPECT_EQ(o.entries, Args{u"Q:"});
     }, nullptr},
    {"/MAXIMUM maximises and ignores the rest", {u"/MAXIMUM"}, "gStartupRows",
     [](const StartupOptions& o) { EXPECT_EQ(o.startRows, STARTUP_SIZE_LARGEST); EXPECT_FALSE(o.maxRowAdjust); }, nullptr},
    {"/ROWS:30:40 starts with 30 and lists 30 and 40", {u"/ROWS:30:40"}, "gRowSizeList (window layout)",
     [](const StartupOptions& o) { EXPECT_EQ(o.startRows, 30); EXPECT_EQ(o.rowList, (std::vector<WORD>{30, 40})); },
     [] {
         EXPECT_EQ(gStartupRows, 30);
         ASSERT_EQ(gRowSizeCount, 2);
         EXPECT_EQ(gRowSizeList[0], 30);
         EXPECT_EQ(gRowSizeList[1], 40);
         EXPECT_EQ(gRowSizePos, 0);
     }},
    {"/MAX before /ROWS: keeps the maximised start, list position past its end", {u"/MAX", u"/ROWS:30:40"}, "gRowSizePos",
     [](const StartupOptions& o) { EXPECT_EQ(o.startRows, STARTUP_SIZE_LARGEST); EXPECT_EQ(o.rowList.size(), 2u); },
     [] { EXPECT_EQ(gRowSizePos, 2); EXPECT_EQ(gStartupRows, STARTUP_SIZE_LARGEST); }},
    {"/ROWS: skips items that are no number; a last MAX alone gives height 0", {u"/ROWS:x:MAX"}, "gStartupRows",
     [](const StartupOptions& o) { EXPECT_EQ(o.startRows, 0); EXPECT_TRUE(o.rowList.empty()); }, nullptr},
    {"/COLS:100:120 sets the width list and width whatever the height", {u"/MAX", u"/COLS:100:120"}, "gColSizeList (window layout)",
     [](const StartupOptions& o) { EXPECT_EQ(o.startCols, 100); EXPECT_EQ(o.startRows, STARTUP_SIZE_LARGEST); },
     [] { EXPECT_EQ(gColSizeCount, 2); EXPECT_EQ(gColSizePos, 2); EXPECT_EQ(gStartupCols, 100); }},
    {"/AUTO takes the terminal's own size", {u"/auto"}, "gStartupRows, gStartupCols",
     [](const StartupOptions& o) { EXPECT_EQ(o.startRows, 32767); EXPECT_EQ(o.startCols, 32767); }, nullptr},
    {"/L3 logs three levels deep, root only", {u"/L3"}, "gLogMode, gLogDepthLimit (log state)",
     [](const StartupOptions& o) { EXPECT_EQ(o.logMode, 0); EXPECT_EQ(o.depthLimit, 3); EXPECT_TRUE(o.logOptionGiven); },
     [] { EXPECT_EQ(gLogMode, LOG_ROOT_ONLY); EXPECT_EQ(gLogDepthLimit, 3); }},
    {"/L35 is /L3: what follows the digit is not looked at", {u"/L35"}, "gLogDepthLimit",
     [](const StartupOptions& o) { EXPECT_EQ(o.depthLimit, 3); EXPECT_TRUE(o.messages.empty()); }, nullptr},
    {"/L10 is invalid", {u"/L10"}, "nowhere",
     [](const StartupOptions& o) { ASSERT_EQ(o.messages.size(), 1u); EXPECT_FALSE(o.logOptionGiven); }, nullptr},
    {"/LT keeps tree-only logging", {u"/LT"}, "gLogMode",
     [](const StartupOptions& o) { EXPECT_EQ(o.logMode, 1); EXPECT_EQ(o.depthLimit, 65535); },
     [] { EXPECT_EQ(gLogMode, LOG_TREE_ONLY); EXPECT_EQ(gLogDepthLimit, LOG_NO_DEPTH_LIMIT); }},
    {"/LF and /L1", {u"/L1", u"/LF"}, "gLogMode",
     [](const StartupOptions& o) { EXPECT_EQ(o.logMode, 2); EXPECT_TRUE(o.logOptionGiven); }, nullptr},
    {"/LQ logs quietly, /LS single-threaded", {u"/LQ", u"/LS"}, "gLogSkipErrors; gPrefetchEnabled and SessionSwitches.readAhead",
     [](const StartupOptions& o) { EXPECT_TRUE(o.quietLog); EXPECT_TRUE(o.singleThreadLog); },
     [] { EXPECT_EQ(gLogSkipErrors, 1u); EXPECT_EQ(gPrefetchEnabled, 0u); EXPECT_FALSE(SessionSwitches.readAhead); }},
    {"/TOV gives the items current object and version", {u"/TOV"}, "gTitleLayout (console session)",
     [](const StartupOptions& o) {
         EXPECT_EQ(o.title.items, "OV");
         EXPECT_EQ(o.title.flags, TITLE_FLAG_OBJECT | TITLE_FLAG_OBJECT_LINE | TITLE_FLAG_VERSION);
         EXPECT_TRUE(o.title.texts.empty());
     },
     [] {
         EXPECT_EQ(gTitleLayout.itemCount, 2);
         EXPECT_EQ(std::string(gTitleLayout.items, 2), "OV");
         EXPECT_EQ(gTitleLayout.flags, TITLE_FLAG_OBJECT | TITLE_FLAG_OBJECT_LINE | TITLE_FLAG_VERSION);
     }},
    {"/TP adds the path-split flag", {u"/TP"}, "gTitleLayout",
     [](const StartupOptions& o) { EXPECT_EQ(o.title.flags, TITLE_FLAG_OBJECT | TITLE_FLAG_OBJECT_LINE | TITLE_FLAG_PATH_SPLIT); }, nullptr},
    {"/T with a blank in the argument is one title text; the default items follow", {u"/TMy title"}, "gTitleLayout",
     [](const StartupOptions& o) {
         EXPECT_EQ(o.title.texts, Args{u"My title"});
         EXPECT_EQ(o.title.items, "TQVO");
         EXPECT_EQ(o.title.flags, TITLE_FLAG_OBJECT | TITLE_FLAG_OBJECT_LINE | TITLE_FLAG_PRODUCT | TITLE_FLAG_VERSION);
     },
     [] {
         EXPECT_EQ(gTitleLayout.textCount, 1);
         EXPECT_EQ(Text(gTitleLayout.texts[0]), u"My title");
         EXPECT_EQ(std::string(gTitleLayout.items, size_t(gTitleLayout.itemCount)), "TQVO");
     }},
    {"/tov in lower case is a title text, its case kept", {u"/tov"}, "gTitleLayout",
     [](const StartupOptions& o) { EXPECT_EQ(o.title.texts, Args{u"ov"}); }, nullptr},
    {"/T%NAME% takes the variable's value", {u"/T%TITLEVAR%", u"/T%NOSUCH%"}, "gTitleLayout",
     [](const StartupOptions& o) { EXPECT_EQ(o.title.texts, (Args{u"From the environment", u"%NOSUCH%"})); }, nullptr},
    {"/T alone does nothing", {u"/T"}, "gTitleLayout",
     [](const StartupOptions& o) { EXPECT_EQ(o.title.items, "QVO"); EXPECT_TRUE(o.title.texts.empty()); }, nullptr},
    {"/K a b hands a,b to the macro loader and ends the options", {u"/K", u"a", u"b", u"/FOO"}, "gMacroKeys (key reader, through LoadMacro)",
     [](const StartupOptions& o) { EXPECT_TRUE(o.macroGiven); EXPECT_EQ(o.macroKeys, "a,b,/FOO"); EXPECT_TRUE(o.messages.empty()); },
     nullptr},
    {"/K: the text after K keeps its case, a comma after K is dropped", {u"/K,xY", u"z"}, "gMacroKeys",
     [](const StartupOptions& o) { EXPECT_EQ(o.macroKeys, "xY,z"); },
     [] { EXPECT_EQ(gMacroKeys.count, 3); }},
    {"/K: one character after K is not used", {u"/Kx"}, "gMacroKeys",
     [](const StartupOptions& o) { EXPECT_TRUE(o.macroGiven); EXPECT_EQ(o.macroKeys, ""); }, nullptr},
    {"/kbr keeps its case after K and is a macro, not the key log", {u"/kbr"}, "gMacroKeys",
     [](const StartupOptions& o) { EXPECT_EQ(o.keyLog, 0); EXPECT_EQ(o.macroKeys, "br"); }, nullptr},
    {"/KBR and /KBRZ", {u"/KBRZ"}, "gKeyLogOption (main/startup_options)",
     [](const StartupOptions& o) { EXPECT_EQ(o.keyLog, 2); EXPECT_FALSE(o.macroGiven); },
     [] { EXPECT_EQ(gKeyLogOption, 2u); }},
    {"with D: and E: the entries stay in command-line order", {u"D:", u"E:"}, "entries (start-up log)",
     [](const StartupOptions& o) { EXPECT_EQ(o.entries, (Args{u"D:", u"E:"})); EXPECT_EQ(o.logMode, -1); }, nullptr},
    {"two filter arguments are joined", {u"*.c", u"*.h"}, "filter (filter dialog)",
     [](const StartupOptions& o) { EXPECT_EQ(o.filter, u"*.c,*.h"); EXPECT_TRUE(o.entries.empty()); }, nullptr},
    {"an appended filter holding a blank, comma or semicolon is quoted", {u"*.c", u"a b*", u"x;y?"}, "filter",
     [](const StartupOptions& o) { EXPECT_EQ(o.filter, u"*.c,\"a b*\",\"x;y?\""); }, nullptr},
    {"a filter with a directory part is a path", {u"src\\*.c"}, "entries, gLogMode",
     [](const StartupOptions& o) { EXPECT_EQ(o.entries, Args{u"src\\*.c"}); EXPECT_EQ(o.filter, u"*.*"); EXPECT_EQ(o.logMode, 0); }, nullptr},
    {"no filter leaves *.*; /QF takes the filter history's newest text", {u"/QF"}, "filter",
     [](const StartupOptions& o) { EXPECT_TRUE(o.firstFilterFromHistory); EXPECT_EQ(o.filter, u"*.log"); }, nullptr},
    {"a filter argument wins over /QF", {u"/QF", u"*.c"}, "filter",
     [](const StartupOptions& o) { EXPECT_EQ(o.filter, u"*.c"); }, nullptr},
    {"a drive letter is upper-cased, trailing blanks cut", {u"q", u"e:  ", u"d:\\Dir  "}, "entries",
     [](const StartupOptions& o) { EXPECT_EQ(o.entries, (Args{u"Q", u"E:", u"D:\\Dir"})); }, nullptr},
    {"a letter not followed by a colon stays as typed", {u"dir"}, "entries",
     [](const StartupOptions& o) { EXPECT_EQ(o.entries, Args{u"dir"}); EXPECT_EQ(o.logMode, -1); }, nullptr},
    {"\".\" stands for the current drive and logs the root only", {u"."}, "entries, gLogMode",
     [](const StartupOptions& o) {
         EXPECT_EQ(o.entryNeedsCurrentDrive, std::vector<bool>{true});
         EXPECT_EQ(o.logMode, 0);
     }, nullptr},
    {"an entry with a dot that begins with a letter stays", {u"Q:\\a.dir"}, "entries, gLogMode",
     [](const StartupOptions& o) { EXPECT_EQ(o.entryNeedsCurrentDrive, std::vector<bool>{false}); EXPECT_EQ(o.logMode, 0); }, nullptr},
    {"a path after a log option keeps that option's mode", {u"/LF", u"Q:\\alpha"}, "gLogMode",
     [](const StartupOptions& o) { EXPECT_EQ(o.logMode, 2); }, nullptr},
    {"a path before a log option gives way to it", {u"Q:\\alpha", u"/LT"}, "gLogMode",
     [](const StartupOptions& o) { EXPECT_EQ(o.logMode, 1); }, nullptr},
    {"a dot after a log option still logs the root only", {u"/LF", u"."}, "gLogMode",
     [](const StartupOptions& o) { EXPECT_EQ(o.logMode, 0); }, nullptr},
    {"%NAME% references of an entry are expanded", {u"%HOME%\\x"}, "entries",
     [](const StartupOptions& o) { EXPECT_EQ(o.entries, Args{u"Q:\\home\\x"}); }, nullptr},

    // ---- the rest of the table -------------------------------------------------------------
    {"/API and /APIT only print their notes", {u"/API", u"/APIT"}, "nowhere",
     [](const StartupOptions& o) {
         EXPECT_EQ(o.messages, (std::vector<std::string>{
             "/API - Deprecated option.  (The Win32 API copy is now the default)\n",
             "/APIT - Deprecated option.  (Now the default)\n"}));
         EXPECT_FALSE(o.noSystemCopy);
     }, [] { EXPECT_EQ(gSystemCopy, 1u); }},
    {"/NOAPI clears both whole-file copy switches", {u"/noapi"}, "gSystemCopy, gSystemMove (main/startup_options)",
     [](const StartupOptions& o) { EXPECT_TRUE(o.noSystemCopy); },
     [] { EXPECT_EQ(gSystemCopy, 0u); EXPECT_EQ(gSystemMove, 0u); }},
    {"/PMC sets the Alt path mode", {u"/PMC"}, "gAltPathMode (main/startup_options)",
     [](const StartupOptions& o) { EXPECT_EQ(o.pathMode, 2); }, [] { EXPECT_EQ(gAltPathMode, 2); }},
    {"/AK", {u"/ak"}, "gAltKeyMode (main/startup_options)",
     [](const StartupOptions& o) { EXPECT_TRUE(o.altKeyMode); }, [] { EXPECT_EQ(gAltKeyMode, 1u); }},
    {"/QP", {u"/QP"}, "gProgressNoRate (main/startup_options)",
     [](const StartupOptions& o) { EXPECT_TRUE(o.progressNoRate); }, [] { EXPECT_EQ(gProgressNoRate, 1u); }},
    {"/NOMAX", {u"/NOMAX"}, "gNoMaximise (main/startup_options)",
     [](const StartupOptions& o) { EXPECT_TRUE(o.noMaximise); EXPECT_EQ(o.startRows, STARTUP_SIZE_UNSET); },
     [] { EXPECT_EQ(gNoMaximise, 1u); }},
    {"/QQ7", {u"/QQ7"}, "gWashOnDelete (main/startup_options)",
     [](const StartupOptions& o) { EXPECT_TRUE(o.washOnDelete); }, [] { EXPECT_EQ(gWashOnDelete, 1u); }},
    {"/QB1 the first form of the companion interface", {u"/QB1"}, "gQaapOn (menu/qaap)",
     [](const StartupOptions& o) { EXPECT_EQ(o.qaap, 1); },
     [] { EXPECT_EQ(gQaapOn, 1u); EXPECT_EQ(gQaapCurrentForm, 0u); }},
    {"/QB both companion switches", {u"/QB"}, "gQaapOn, gQaapCurrentForm (menu/qaap)",
     [](const StartupOptions& o) { EXPECT_EQ(o.qaap, 2); },
     [] { EXPECT_EQ(gQaapOn, 1u); EXPECT_EQ(gQaapCurrentForm, 1u); }},
    {"/QN switches the no-log list off", {u"/QN"}, "gNoLogList (settings)",
     [](const StartupOptions& o) { EXPECT_TRUE(o.noLogListOff); }, [] { EXPECT_EQ(gNoLogList.count, -1); }},
    {"/QT is the tree-spec start", {u"/QT"}, "treeSpecStart (start-up log)",
     [](const StartupOptions& o) { EXPECT_TRUE(o.treeSpecStart); EXPECT_TRUE(o.messages.empty()); }, nullptr},
    {"/Y clears screen restoration and the new console", {u"/Y"}, "SessionSwitches (console session)",
     [](const StartupOptions& o) { EXPECT_TRUE(o.noRestoreScreen); EXPECT_TRUE(o.noNewConsole); },
     [] { EXPECT_FALSE(SessionSwitches.restoreScreen); EXPECT_FALSE(SessionSwitches.newConsole); }},
    {"/NC clears the new console only", {u"/NC"}, "SessionSwitches.newConsole",
     [](const StartupOptions& o) { EXPECT_TRUE(o.noNewConsole); EXPECT_FALSE(o.noRestoreScreen); },
     [] { EXPECT_FALSE(SessionSwitches.newConsole); EXPECT_TRUE(SessionSwitches.restoreScreen); }},
    {"/NCX is invalid", {u"/NCX"}, "nowhere",
     [](const StartupOptions& o) { EXPECT_EQ(o.messages.size(), 1u); EXPECT_FALSE(o.noNewConsole); }, nullptr},
    {"/E keeps its case, in Windows-1252", {u"/Emy Edit \u00e9\u2192"}, "gEditorCmd (settings)",
     [](const StartupOptions& o) { EXPECT_EQ(o.editorCmd, std::string("my Edit \xE9\xFA")); },
     [] { EXPECT_STREQ(gEditorCmd, "my Edit \xE9\xFA"); }},
    {"/V sets the viewer", {u"/vless -R"}, "gViewerCmd (settings)",
     [](const StartupOptions& o) { EXPECT_EQ(o.viewerCmd, std::string("less -R")); EXPECT_FALSE(o.editorCmd); },
     [] { EXPECT_STREQ(gViewerCmd, "less -R"); }},
    {"/QV keeps the file name's case", {u"/qvMy.QLOG"}, "gQlogCommandLineFile (settings/qlog)",
     [](const StartupOptions& o) { EXPECT_TRUE(o.qlogFileGiven); EXPECT_EQ(o.qlogFile, u"My.QLOG"); },
     [] { EXPECT_EQ(Text(gQlogCommandLineFile), u"My.QLOG"); }},
    {"/CP:850", {u"/CP:850"}, "gViewerCodePage (settings)",
     [](const StartupOptions& o) { EXPECT_EQ(o.viewerCodePage, DWORD(850)); }, [] { EXPECT_EQ(gViewerCodePage, 850u); }},
    {"/CP: without digits gives 0", {u"/CP:x"}, "gViewerCodePage",
     [](const StartupOptions& o) { EXPECT_EQ(o.viewerCodePage, DWORD(0)); }, nullptr},
    {"file sort key and order", {u"/SS", u"/OD"}, "gFileOrder of both panes, gDefaultFileOrder (sort order)",
     [](const StartupOptions& o) { EXPECT_EQ(o.fileSort.key, BYTE(SORT_SIZE)); EXPECT_EQ(o.fileSort.descending, true); EXPECT_FALSE(o.dirSort.key); },
     [] {
         for (const SortSpec* s : {&gFileOrder[0], &gFileOrder[1], &gDefaultFileOrder}) {
             EXPECT_EQ(s->key, SORT_SIZE);
             EXPECT_EQ(s->descending, 1);
         }
         EXPECT_EQ(gDirOrder[0].key, SORT_NAME);
     }},
    {"directory sort key and order", {u"/SDT", u"/ODD", u"/ODA"}, "gDirOrder of both panes, gDefaultDirOrder (sort order)",
     [](const StartupOptions& o) { EXPECT_EQ(o.dirSort.key, BYTE(SORT_TIME)); EXPECT_EQ(o.dirSort.descending, false); EXPECT_FALSE(o.fileSort.key); },
     [] { EXPECT_EQ(gDirOrder[1].key, SORT_TIME); EXPECT_EQ(gDefaultDirOrder.key, SORT_TIME); EXPECT_EQ(gFileOrder[0].key, SORT_NAME); }},
    {"/STM and /SSD", {u"/STM", u"/SSD"}, "gTreeNumberOrder, gSplitSortDifferent (sort order)",
     [](const StartupOptions& o) { EXPECT_EQ(o.treeByNumber, true); EXPECT_EQ(o.splitSortDiffers, true); },
     [] { EXPECT_TRUE(gTreeNumberOrder); EXPECT_TRUE(gSplitSortDifferent); }},
    {"the pre-scan's options pass without a message", {u"/QD", u"/qm", u"/QIx.ini", u"/qcC.ini", u"/O", u"/QJ", u"/SCA", u"/SCO", u"/CONHOST", u"/DEB"}, "pre-scan",
     [](const StartupOptions& o) { EXPECT_TRUE(o.messages.empty()); EXPECT_TRUE(o.entries.empty()); }, nullptr},
    {"/? after the first place is invalid", {u"Q:", u"/?"}, "nowhere",
     [](const StartupOptions& o) { EXPECT_EQ(o.messages, std::vector<std::string>{"/?" + kInvalid}); }, nullptr},

    // ---- texts and numbers longer than their room --------------------------------------------
    {"/E over 255 bytes is cut", {u"/E" + Units(300, u'e')}, "gEditorCmd",
     [](const StartupOptions& o) { ASSERT_TRUE(o.editorCmd); EXPECT_EQ(*o.editorCmd, std::string(255, 'e')); },
     [] { EXPECT_EQ(std::string(gEditorCmd), std::string(255, 'e')); }},
    {"/V over 255 bytes is cut", {u"/V" + Units(256, u'v')}, "gViewerCmd",
     [](const StartupOptions& o) { ASSERT_TRUE(o.viewerCmd); EXPECT_EQ(o.viewerCmd->size(), 255u); },
     [] { EXPECT_EQ(std::strlen(gViewerCmd), 255u); }},
    {"a /T text over 127 units is cut", {u"/T" + Units(200, u'x')}, "gTitleLayout.texts",
     [](const StartupOptions& o) { ASSERT_EQ(o.title.texts.size(), 1u); EXPECT_EQ(o.title.texts[0], Units(127, u'x')); },
     [] { EXPECT_EQ(Text(gTitleLayout.texts[0]), Units(127, u'x')); }},
    {"a cut /T text never ends in half a surrogate pair", {u"/T" + Units(126, u'x') + u"\U0001F600"}, "gTitleLayout.texts",
     [](const StartupOptions& o) { ASSERT_EQ(o.title.texts.size(), 1u); EXPECT_EQ(o.title.texts[0], Units(126, u'x')); }, nullptr},
    {"an environment value over 127 units is cut too", {u"/T%LONG%"}, "gTitleLayout.texts",
     [](const StartupOptions& o) { ASSERT_EQ(o.title.texts.size(), 1u); EXPECT_LE(o.title.texts[0].size(), 127u); }, nullptr},
    {"a third /T text is ignored", {u"/Tone", u"/Ttwo", u"/Tthree"}, "gTitleLayout.texts",
     [](const StartupOptions& o) { EXPECT_EQ(o.title.texts, (Args{u"one", u"two"})); EXPECT_EQ(o.title.items.substr(0, 2), "TT"); }, nullptr},
    {"title items stop at eight", {u"/TOVQPOVQP", u"/TV"}, "gTitleLayout.items",
     [](const StartupOptions& o) { EXPECT_EQ(o.title.items, "OVQPOVQP"); },
     [] { EXPECT_EQ(gTitleLayout.itemCount, 8); }},
    {"/K over 259 bytes is cut", {u"/K" + Units(200, u'k'), Units(100, u'm')}, "gMacroKeys",
     [](const StartupOptions& o) {
         EXPECT_EQ(o.macroKeys.size(), 259u);
         EXPECT_EQ(o.macroKeys, std::string(200, 'k') + "," + std::string(58, 'm'));
     }, nullptr},
    {"/QV over 260 units is cut", {u"/QV" + Units(300, u'q')}, "gQlogCommandLineFile",
     [](const StartupOptions& o) { EXPECT_EQ(o.qlogFile, Units(260, u'q')); },
     [] { EXPECT_EQ(Text(gQlogCommandLineFile), Units(260, u'q')); }},
    {"/ROWS: numbers saturate and the list stops at 25", {u"/ROWS:65536" + [] { Text t; for (int i = 0; i < 30; i++) t += u":30"; return t; }()}, "gRowSizeList",
     [](const StartupOptions& o) { ASSERT_EQ(o.rowList.size(), 25u); EXPECT_EQ(o.rowList[0], 65535); EXPECT_EQ(o.startRows, 65535); },
     [] { EXPECT_EQ(gRowSizeCount, 25); EXPECT_EQ(gRowSizeList[24], 30); }},
    {"/COLS: stops at 15", {u"/COLS:" + [] { Text t = u"100"; for (int i = 0; i < 20; i++) t += u":120"; return t; }()}, "gColSizeList",
     [](const StartupOptions& o) { EXPECT_EQ(o.colList.size(), 15u); EXPECT_EQ(o.startCols, 100); },
     [] { EXPECT_EQ(gColSizeCount, 15); }},
    {"/MAX adjustments saturate to 16 bits", {u"/MAX:-32769:+32768"}, "gMaxRowAdjust, gMaxColAdjust",
     [](const StartupOptions& o) { EXPECT_EQ(o.maxRowAdjust, SHORT(-32768)); EXPECT_EQ(o.maxColAdjust, SHORT(32767)); }, nullptr},
    {"/CP: saturates", {u"/CP:4294967296"}, "gViewerCodePage",
     [](const StartupOptions& o) { EXPECT_EQ(o.viewerCodePage, DWORD(0xFFFFFFFF)); }, nullptr},
    {"/CP: saturates however long the number", {u"/CP:99999999999999999999999"}, "gViewerCodePage",
     [](const StartupOptions& o) { EXPECT_EQ(o.viewerCodePage, DWORD(0xFFFFFFFF)); }, nullptr},
    };
    return rows;
}
// clang-format on

TEST(StartupOptions, OptionTable) {
    ::setenv("QUILB_UNUSED", "x", 1);
    for (const OptionRow& row : OptionRows()) {
        SCOPED_TRACE(std::string(row.what) + " [" + row.lives + "]");
        Argv a(row.args);
        StartupEnvironment environment = FakeEnvironment();
        const auto fakeLookup = environment.lookup;
        environment.lookup = [fakeLookup](const Text& name) -> std::optional<Text> {
            if (name == u"LONG") return Units(400, u'L');
            return fakeLookup(name);
        };
        const StartupOptions o = ParseStartupOptions(a.argc(), a.argv(), environment);
        ASSERT_EQ(o.entries.size(), o.entryNeedsCurrentDrive.size());
        row.parsed(o);
        if (row.applied) {
            ResetOwners();
            ApplyStartupOptions(o);
            row.applied();
        }
    }
    ResetOwners();
}

// The eleven sort letters give the same keys to files (/S) and directories
// (/SD); the numbers are the keys the sort orders store.
TEST(StartupOptions, SortLetters) {
    const struct {
        char16_t letter;
        BYTE key;
    } rows[] = {{u'A', 11}, {u'D', 2}, {u'E', 1}, {u'F', 12}, {u'L', 7}, {u'M', 9},
                {u'N', 0},  {u'S', 3}, {u'T', 8}, {u'U', 4},  {u'V', 10}};
    for (const auto& row : rows) {
        SCOPED_TRACE(int(row.key));
        const StartupOptions file = Parse({u"/s" + Text(1, row.letter)});
        EXPECT_EQ(file.fileSort.key, row.key);
        EXPECT_FALSE(file.dirSort.key);
        const StartupOptions dir = Parse({u"/SD" + Text(1, row.letter)});
        EXPECT_EQ(dir.dirSort.key, row.key);
        EXPECT_FALSE(dir.fileSort.key);
        EXPECT_TRUE(file.messages.empty() && dir.messages.empty());
    }
    for (const Text bad : {u"/SX", u"/SDX", u"/SAA", u"/SDAA", u"/S"}) {
        const StartupOptions o = Parse({bad});
        EXPECT_EQ(o.messages.size(), 1u);
        EXPECT_FALSE(o.fileSort.key || o.dirSort.key);
    }
}

// The parser changes nothing outside its record.
TEST(StartupOptions, ParsingLeavesTheOwnersAlone) {
    ResetOwners();
    Parse({u"/B", u"/LF", u"/L3", u"/SS", u"/Eed", u"/TQ", u"/QB", u"/NOAPI", u"/MAX:-2:+4",
           u"/ROWS:30"});
    EXPECT_TRUE(SessionSwitches.beeps);
    EXPECT_EQ(gLogMode, LOG_FULL_DISK);
    EXPECT_EQ(gLogDepthLimit, LOG_NO_DEPTH_LIMIT);
    EXPECT_EQ(gFileOrder[0].key, SORT_NAME);
    EXPECT_STREQ(gEditorCmd, "");
    EXPECT_EQ(gTitleLayout.itemCount, 0);
    EXPECT_EQ(gQaapOn, 0u);
    EXPECT_EQ(gSystemCopy, 1u);
    EXPECT_EQ(gMaxRowAdjust, 0);
    EXPECT_EQ(gStartupRows, STARTUP_SIZE_UNSET);
    EXPECT_EQ(gRowSizeCount, 0);
}

// Applying a record without options keeps every owner's value, except the
// title, which gets the default items.
TEST(StartupOptions, NoOptionsKeepTheOwnersValues) {
    ResetOwners();
    gFileOrder[0].key = gFileOrder[1].key = SORT_DATE;
    gLogMode = LOG_TREE_ONLY;
    ApplyStartupOptions(Parse({}));
    EXPECT_EQ(gFileOrder[0].key, SORT_DATE);
    EXPECT_EQ(gLogMode, LOG_TREE_ONLY);
    EXPECT_TRUE(SessionSwitches.beeps && SessionSwitches.mouse && SessionSwitches.newConsole &&
                SessionSwitches.restoreScreen && SessionSwitches.readAhead);
    EXPECT_EQ(gStartupRows, STARTUP_SIZE_UNSET);
    EXPECT_EQ(std::string(gTitleLayout.items, size_t(gTitleLayout.itemCount)), "QVO");
    EXPECT_EQ(gAltPathMode, 1);
    ResetOwners();
}

// An editor from the command line outlives a later read of the settings.
TEST(StartupOptions, CommandLineEditorOutlivesASettingsRead) {
    ResetOwners();
    ApplyStartupOptions(Parse({u"/Emyedit"}));
    DecodeIniSettings(nullptr, 0, 0);
    EXPECT_STREQ(gEditorCmd, "myedit");
    ResetOwners();
}

struct PrescanRow {
    const char* what;
    Args args;
    std::function<void(const StartupPrescan&)> check;
};

TEST(StartupOptions, Prescan) {
    // clang-format off
    const std::vector<PrescanRow> rows = {
        {"a first argument beginning with ? asks for the usage", {u"?x"}, [](const StartupPrescan& p) { EXPECT_TRUE(p.usage); }},
        {"/? first", {u"/?"}, [](const StartupPrescan& p) { EXPECT_TRUE(p.usage); }},
        {"/h and /H first", {u"/h"}, [](const StartupPrescan& p) { EXPECT_TRUE(p.usage); }},
        {"/H first", {u"/H"}, [](const StartupPrescan& p) { EXPECT_TRUE(p.usage); }},
        {"/? later is no usage request", {u"Q:", u"/?"}, [](const StartupPrescan& p) { EXPECT_FALSE(p.usage); }},
        {"/DEB turns the trace on; the arguments each follow a blank", {u"/DEB", u"Q:"},
         [](const StartupPrescan& p) { EXPECT_TRUE(p.trace); EXPECT_EQ(p.argsText, u" /DEB Q:"); EXPECT_FALSE(p.usage); }},
        {"/deb does not", {u"/deb"}, [](const StartupPrescan& p) { EXPECT_FALSE(p.trace); }},
        {"/DEBUG does not", {u"/DEBUG"}, [](const StartupPrescan& p) { EXPECT_FALSE(p.trace); }},
        {"/qd and /QM in any case", {u"/qd", u"/Qm"},
         [](const StartupPrescan& p) { EXPECT_TRUE(p.restoreLastDir); EXPECT_TRUE(p.loadBookmarks); }},
        {"/QD with more after it is not /QD", {u"/QDX"}, [](const StartupPrescan& p) { EXPECT_FALSE(p.restoreLastDir); }},
        {"/QI and /QC keep the name as typed", {u"/qiMy.INI", u"/QCcol.ini"},
         [](const StartupPrescan& p) { EXPECT_EQ(p.iniFile, u"My.INI"); EXPECT_EQ(p.colourFile, u"col.ini"); }},
        {"the deprecated options, in order", {u"/sco", u"/O", u"/QJ", u"/SCA"},
         [](const StartupPrescan& p) {
             EXPECT_EQ(p.deprecated, (std::vector<std::string>{
                 "/SCO - Deprecated option. (Use /STN)", "/O - Deprecated option.",
                 "/QJ - Deprecated option - see Make directory F4 Jump option.",
                 "/SCA - Deprecated option. (Use /STM)"}));
         }},
        {"no arguments", {}, [](const StartupPrescan& p) { EXPECT_EQ(p.argsText, u""); EXPECT_FALSE(p.usage); }},
    };
    // clang-format on
    for (const PrescanRow& row : rows) {
        SCOPED_TRACE(row.what);
        Argv a(row.args);
        row.check(PrescanArguments(a.argc(), a.argv()));
    }
}

// The process environment: a set variable is found whole, an unset one is
// nothing, an empty one is empty, and %NAME% references are expanded.
TEST(StartupOptions, ProcessEnvironment) {
    ::setenv("QUILB_OPT_TITLE", "Title from env", 1);
    ::setenv("QUILB_OPT_EMPTY", "", 1);
    ::unsetenv("QUILB_OPT_UNSET");
    const StartupEnvironment e = ProcessStartupEnvironment();
    EXPECT_EQ(e.lookup(u"QUILB_OPT_TITLE"), std::optional<Text>(u"Title from env"));
    EXPECT_EQ(e.lookup(u"QUILB_OPT_EMPTY"), std::optional<Text>(u""));
    EXPECT_FALSE(e.lookup(u"QUILB_OPT_UNSET"));
    EXPECT_EQ(e.expand(u"%QUILB_OPT_TITLE%\\x"), u"Title from env\\x");
    EXPECT_EQ(e.expand(u"%QUILB_OPT_UNSET%"), u"%QUILB_OPT_UNSET%");

    Argv a({u"/T%QUILB_OPT_TITLE%", u"/QF"});
    const StartupOptions o = ParseStartupOptions(a.argc(), a.argv(), e);
    EXPECT_EQ(o.title.texts, Args{u"Title from env"});
    EXPECT_EQ(o.filter, u"*.*");
}

} // namespace
