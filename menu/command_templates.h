// Command templates: text with %-parameters that stand for parts of a file
// or directory of the current pane, turned into a command line (or a file
// name, such as a print device that holds "%").
#pragma once

#include "windows.h"

// Expands template into out for a subject: index >= 0 is an entry of the
// current pane's display list; index -1 with a path in out takes that path
// (out is cleared first); index -1 with out empty the current directory.
// The forms: %1 full name, %2 drive letter, %3 path after "X:" (its
// backslash dropped at a root before a template backslash), %4 name
// without extension, %5 extension, %6 the directory's own name, %p parent
// path ("ROOTDIR" when empty, nothing before a template backslash), %n and
// %e name and extension of %6, %v volume label, %r current directory, %s
// size, %d (%dm), %da, %dc a blank, the date and the time of the last
// change, access or creation, %a attribute letters or mode, %% "%", %! "!",
// %+ copied. A "." written right before an empty %5 or %e is taken back.
// "!!" becomes a line feed (and one blank after it is skipped) with
// lineBreaks, else stays. Any other "%" form is an environment reference
// (%NAME%) when it is one, else copied unchanged. quoteNames: names that
// hold blanks or ",;=+&^" are not yet quoted automatically. out holds at
// least 2050 units; longer results are cut there.
void ExpandPercentParams(int index, WCHAR* out, const WCHAR* tmpl, DWORD lineBreaks,
                         DWORD quoteNames);

// Room of ExpandPercentParams' output, in units with the terminator.
inline constexpr size_t PERCENT_PARAMS_UNITS = 2050;
