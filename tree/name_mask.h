// Rename and destination masks: a chain of parts joined by '|' that turns a
// source name into a new one (wildcards, insertions, positional letters,
// plain and regular-expression replacements), the stamp sections between
// ':' pairs that put dates, directory names, the volume label and sequence
// numbers into a mask, and the prompt for a new sequence start.
//
// The cores (ExpandStampSections, MatchSpecListCore, MatchExtSpecCore) are
// pure: every date, name and count they use comes in through their
// arguments. The entry points around them gather those from the tree, the
// display list and the clock, and show what went wrong on the error line.
#pragma once

#include "platform/packed_dates.h"
#include "windows.h"

#include <cstddef>

// Room of a name a mask makes: 255 units and the terminator.
inline constexpr size_t NAME_MASK_UNITS = 256;
// Room of an expanded mask (it may be a whole destination path).
inline constexpr size_t MASK_TEXT_UNITS = 1025;

// Results of the cores.
inline constexpr int MASK_OK = 0;
inline constexpr int MASK_INVALID = -1;    // the mask breaks its grammar
inline constexpr int MASK_TOO_LONG = -2;   // the result does not fit; nothing is cut
inline constexpr int MASK_BAD_RESULT = -3; // a replacement would make no valid name
inline constexpr int MASK_REGEX = -4;      // the regular expression failed
inline constexpr int MASK_ENDED = -5;      // Esc at the sequence prompt

// The messages the checks and the cores give.
inline constexpr const char* MASK_MSG_INVALID = "Invalid Mask";
inline constexpr const char* MASK_MSG_EMPTY_REGEX = "Regex: the pattern is empty";
inline constexpr const char* MASK_MSG_NO_PCRE2 = "A regex rename needs the PCRE2 DLLs";
inline constexpr const char* MASK_MSG_TOO_LONG = "The new name is too long";
inline constexpr const char* MASK_MSG_BAD_RESULT =
    "The new name would be empty or hold \\, / or a control character";
inline constexpr const char* MASK_MSG_SEQUENCE_RANGE = "The sequence number is too large";

// The counter of the sequence numbers of one operation: started by the
// first name, then stepped by 1 or -1 for every further name.
struct MaskSequence {
    BOOL started;
    LONGLONG value;
    int step;
};

// Where stamp sections take what they write. A section without ":a", ":c"
// or ":w" uses now. entryTime, when given, answers one of 'a', 'c', 'w' for
// the entry the mask is applied to (FALSE: use now); nextSequence gives the
// value after value when stepping by step (a negative answer ends the
// operation); null counts without ever asking.
struct StampInputs {
    DosDateTime now;
    BOOL (*entryTime)(void* context, char which, DosDateTime* out);
    void* context;
    const WCHAR* directoryName;      // %6
    const WCHAR* otherDirectoryName; // %j6
    const WCHAR* volumeLabel;        // %v
    DWORD taggedCount;               // x
    LONGLONG (*nextSequence)(int step, LONGLONG value);
};

// Expands the stamp sections of every plain part of chain into out (units
// of room): tokens replaced, text outside sections and the replacement
// parts copied as they stand. With sequence null the counter is neither
// read nor changed (its start value is written): the check of a mask.
// Returns MASK_OK, MASK_INVALID, MASK_TOO_LONG, MASK_ENDED; *message names
// the failure.
int ExpandStampSections(const StampInputs& inputs, MaskSequence* sequence, const WCHAR* chain,
                        WCHAR* out, size_t units, const char** message);

// Applies one part to source (which holds a dot after its first unit) into
// out (NAME_MASK_UNITS units). leadingDotStar is the setting that puts '*'
// before a part beginning with '.'. Returns MASK_OK or a failure with its
// message in message (messageSize bytes); out is then empty.
int MatchExtSpecCore(const WCHAR* source, const WCHAR* part, BOOL leadingDotStar, WCHAR* out,
                     char* message, size_t messageSize);
// Applies the parts of chain in turn; the same results.
int MatchSpecListCore(const WCHAR* source, const WCHAR* chain, BOOL leadingDotStar, WCHAR* out,
                      char* message, size_t messageSize);

// Whether one part is valid (no stamp sections expanded): MASK_OK, or a
// failure with its message (messageSize bytes, the regular-expression
// library's text after "Regex: ").
int CheckRenameMaskPart(const WCHAR* part, char* message, size_t messageSize);

// ---- entry points --------------------------------------------------------------------

// 1 when every part of chain passes ParseRenameMask, else 0 (the first
// failing part has shown its message).
int ValidateRenameMask(const WCHAR* chain);
// 1 when the part is valid, else 0 with "Invalid Mask", "Regex: the pattern
// is empty", "A regex rename needs the PCRE2 DLLs" or "Regex: " and the
// library's message shown on the error line (the command lines are saved
// and restored).
int ParseRenameMask(const WCHAR* part);
// Applies every part of chain to name into out (NAME_MASK_UNITS units).
// 0 when done; -1 when the result is refused (too long for a name, or a
// replacement that would make no valid name): the message is shown and out
// is empty.
int MatchSpecList(const WCHAR* name, const WCHAR* chain, WCHAR* out);
// One part, with the same results.
int MatchExtSpec(const WCHAR* source, const WCHAR* part, WCHAR* out);

// Expands the stamp sections and sequence numbers of mask for one entry
// into out (MASK_TEXT_UNITS units): with listIndex >= 0 the display list's
// entry there (its own dates; in the archive file window its stored written
// date for every letter), else the file explicitPath names, else source in
// the pane's directory, looked up on disk (a failure goes to ReportError and
// the section uses the current time). 0 when done; -1 when refused (message
// shown) or when the sequence prompt was left with Esc (the caller ends its
// operation); out is then empty.
int ApplyNameMask(WCHAR* out, const WCHAR* mask, const WCHAR* source, LONG listIndex,
                  const WCHAR* explicitPath);
// Forgets the counter, so that the next ApplyNameMask starts it from its
// mask; every operation calls it before its first name.
void ResetNameMaskSequence();
// The counter ApplyNameMask carries (tests read it).
MaskSequence& NameMaskSequence();

// value + step; when that is negative, the answer of PromptSequenceNumber.
LONGLONG NextSequenceNumber(int step, LONGLONG value);
// "Enter new sequence number: " on the message line with an input 57 units
// wide: Esc gives -1, Enter the decimal value (asked again until the text is
// a number from 0 to 4294967295).
LONGLONG PromptSequenceNumber();

// Fills the path services' tree seam (settings/paths.h): the cursor's
// directory, the current disk, the paths the panes last showed, and the
// stamp sections of a path. The start-up calls it once the tree exists.
void InstallTreePathSeam();
