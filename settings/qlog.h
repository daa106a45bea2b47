// Logged-volume files: everything logged (each disk with its whole tree) and
// the state of both panes, saved so that a later session can load it
// instead of reading the disks again, or merge it into what is logged.
// Binary items are little-endian and laid out field by field at the
// offsets set down in qlog.cpp; names and texts are UTF-8 lines in which a
// unit that could not stand in a line as it is (a line feed, a control
// character, a lone surrogate such as an escaped file-name byte, the escape
// unit itself, and '|' inside a bookmark) is written as U+0001 and four hex
// digits, so that every name comes back exactly.
#pragma once

#include "windows.h"

#include <string>
#include <string_view>

// The format letter written now, and the size limits the files keep to.
inline constexpr char QLOG_FORMAT = 'F';
inline constexpr size_t QLOG_MIN_BYTES = 1501;  // 1500 bytes or fewer is no file
inline constexpr size_t QLOG_DISK_RECORD_BYTES = 7124;
inline constexpr size_t QLOG_OLD_DISK_RECORD_BYTES = 3380; // letters 'B' to 'E'
inline constexpr size_t QLOG_V1_DISK_RECORD_BYTES = 1500;  // letters '7' to 'A'
inline constexpr size_t QLOG_DIR_RECORD_BYTES = 72;
inline constexpr size_t QLOG_FILE_RECORD_BYTES = 72;
inline constexpr size_t QLOG_B_DIR_RECORD_BYTES = 48;
inline constexpr size_t QLOG_B_FILE_RECORD_BYTES = 56;
inline constexpr size_t QLOG_V1_DIR_RECORD_BYTES = 48;
inline constexpr size_t QLOG_V1_FILE_RECORD_BYTES = 40;
inline constexpr size_t QLOG_PANE_HEADER_BYTES = 70;
inline constexpr size_t QLOG_SWITCH_COUNT = 28;

// The window switches a file carries: 28 switch values by position (1 to
// 28 stored at 0 to 27) and the four per-pane switch bytes. Position 20
// holds the split-screen window size itself.
struct QlogPaneSwitches {
    BYTE window[QLOG_SWITCH_COUNT];
    BYTE pane[4];
};

// The 28 switches as the 32 UTF-16 units of the switch line, and back. A
// unit read back that a position cannot hold gives 0 there.
void EncodeSwitchLine(const QlogPaneSwitches& switches, WCHAR out[32]);
void DecodeSwitchLine(const WCHAR in[32], QlogPaneSwitches* switches);

// A text as one line body (without its line feed), escaped as above; with
// bookmark set '|' is escaped too. Decoding gives false on a malformed
// body (bad UTF-8, a bad escape).
std::string EncodeQlogLine(std::u16string_view text, bool bookmark = false);
bool DecodeQlogLine(std::string_view line, std::u16string* text);

// The whole file for what is logged now and the panes' state, into out.
// Returns false when the save was abandoned (Esc during the trees and Esc
// again at the question).
bool BuildQlogImage(const QlogPaneSwitches& switches, std::string* out);

// Why a file was refused; QLOG_OK when it was read.
enum QlogResult : int {
    QLOG_OK = 0,
    QLOG_INVALID,    // too short, wrong magic, letter or tail
    QLOG_MALFORMED,  // a count, level, name or letter that does not fit
    QLOG_ABANDONED,  // Esc while loading
};

// Reads a file image of any letter from '7' to 'F' (the older letters by
// their own record layouts, checked alike): everything is parsed into new
// records and checked before anything logged is touched; Esc during the
// trees asks whether to go on, and Esc there gives QLOG_ABANDONED. On QLOG_OK, load mode (1) replaces
// everything logged and applies the panes' state (into switches when
// given); merge mode (0) replaces only the disks of the letters the file
// holds. On any other result nothing has changed.
QlogResult ApplyQlogImage(std::string_view image, int mode, QlogPaneSwitches* switches);

// Saves to path: the image goes to a temporary file beside it, is flushed
// and then renamed over path, so that a failed or abandoned save leaves the
// old file as it was. A temporary file that cannot be created is reported
// (ReportError): Retry tries again, Next (9928) is returned for the caller
// to ask again, any other answer gives ERROR_CANCELLED. With resort the
// logged directories' file arrays are sorted again first. During the
// trees Esc asks whether to go on; Esc there abandons (ERROR_CANCELLED).
// A write that fails shows "Disk Full" for a full disk (9997 returned),
// else reports the error and returns it; the temporary file is removed.
// Returns 0 once the file is in place.
DWORD SaveQlogFile(const WCHAR* path, const QlogPaneSwitches& switches, BOOL resort = FALSE);

// Loads (mode 1) or merges (mode 0) the file at path (the file named on the
// command line, then forgotten, when path is null or empty; else
// TEMP.QLOG in the current directory when it exists, else in the settings
// folder). Shows "Cannot load volumes file" or "Invalid volumes file -
// cannot load" on failure; Esc while loading asks "QLOG loading
// interrupted!  Continue?", and Esc there abandons the load with nothing
// changed and nothing shown. After a load the current pane's tree lines are
// built again and the rest of what showed the old records is dropped.
// Returns nonzero on success.
int QlogLoad(QlogPaneSwitches* switches, const WCHAR* path, int mode);

// Called, when set, after each disk's tree is put into the file, before the
// interrupt flag is looked at: lets a test press Esc in the middle of a save.
extern void (*gQlogTreeWritten)();

// TEMP.QLOG in the folder of the settings file (the data folder while no
// settings file is known): the file a load falls back to, and the one the
// dialog offers first.
std::u16string QlogSettingsFolderFile();

// Called, when set, after each directory is read from a file, before the
// interrupt flag is looked at: lets a test press Esc in the middle of a load.
extern void (*gQlogDirectoryRead)();

// The file named on the command line (/QV), used once by QlogLoad.
extern WCHAR gQlogCommandLineFile[MAX_PATH + 1];
