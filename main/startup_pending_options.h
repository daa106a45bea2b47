// The command line of the file manager as records: the pre-scan that runs
// before anything is set up, and the option parser from the argument vector
// to the switches it sets, then their application to the globals that
// their owners read. A small parser that knows the options start-up itself
// depends on; the complete one replaces it.
#pragma once

#include "windows.h"

#include <string>
#include <vector>

// What the pre-scan finds.
struct StartupPrescan {
    bool usage = false;          // print the usage, exit with status 2
    bool trace = false;          // /DEB, exact case: the start-up trace
    bool restoreLastDir = false; // /QD
    bool loadBookmarks = false;  // /QM
    std::u16string iniFile;      // /QI file, as typed
    std::u16string colourFile;   // /QC file, as typed
    std::u16string argsText;     // every argument preceded by a blank
    // The messages of deprecated options, in order; each wants a key.
    std::vector<std::string> deprecated;
};
StartupPrescan PrescanArguments(int argc, const WCHAR* const* argv);

// What the option parser finds.
struct StartupOptions {
    std::vector<std::string> messages;   // printed on standard output in order
    std::vector<std::u16string> entries; // drives and paths in command-line order
    // Per entry: it stands on the current drive, whose letter replaces it.
    std::vector<bool> entryNeedsCurrentDrive;
    std::u16string filter = u"*.*";
    bool logOptionGiven = false;
    int logMode = -1;                    // -1 unchanged
    int depthLimit = 65535;              // none
    bool treeSpecStart = false;          // /QT
    bool firstFilterFromHistory = false; // /QF
    int keyLog = 0;                      // 1 /KBR, 2 /KBRZ
    std::u16string qlogFile;
    bool qlogFileGiven = false;
    std::string macroKeys;
    bool macroGiven = false;
};
StartupOptions ParseStartupOptions(int argc, const WCHAR* const* argv);
// Stores the switches where their owners read them.
void ApplyStartupOptions(const StartupOptions& options);
