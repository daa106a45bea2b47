// Start-up and shut-down of the file manager: every service brought up in
// its fixed order (with the numbered trace of /DEB), the command line read,
// the drives and paths named on it logged with the first one current, and
// at the end everything taken down again in its own order.
#pragma once

#include "windows.h"
#include "main/startup_options.h"
#include "platform/keyboard.h"

#include <string>

// The lines printed when the archiver definitions could not be loaded with
// status (2 the file cannot be opened, any other one damaged or empty);
// path is where the file was looked for. Empty for status 0 and 1 (no
// file), which are silent.
std::string ArchiverDefsMessage(int status, const WCHAR* path);

// The order in which the command-line entries are logged: the first one
// moved to the end when there are two or more, so that it is logged last
// and stays current.
std::vector<std::u16string> StartupLogOrder(std::vector<std::u16string> entries);

// Runs the start-up from the pre-scan up to the logged command-line drives
// and paths (argv as the process entry made it, argv[0] the program). Ends
// the process for the usage text (status 2) and when no disk could be
// logged and the user chose to quit (status 0). The options read are copied
// to *options when it is given. Returns the key the tree window loop starts
// with (0 for none).
KeyCode StartupSequence(int argc, WCHAR** argv, StartupOptions* options = nullptr);

// The shut-down for quitKey ('q', Ctrl-Q 1105 or Alt-Q 2129): the clock
// stopped, the session directory removed, the archiver definitions freed,
// the companion told, the current disk released, key logging and macro
// recording ended, the histories and the cd-on-exit script written, the
// logged-volume path lists saved, the histories freed, the terminal given
// back; exit status 0.
[[noreturn]] void ShutdownSequence(KeyCode quitKey);
