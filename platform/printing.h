// Printing: the catalog, path-name and tree listings and the file print
// write plain 8-bit OEM text, page by page, through one line writer onto a
// spool stream. This header holds the line writer, the page header and the
// line reader of files being printed.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "windows.h"

// Blanks a margin puts in front of every output line.
inline constexpr int PRINT_MARGIN_BLANKS = 8;

// Writes one output line to stream. A line that is a lone form feed ("\f")
// is dropped for the clipboard destination and written as "\f" otherwise;
// both give 0. Any other line loses one trailing line feed, gets
// PRINT_MARGIN_BLANKS blanks in front when margin is set and "\n" after it.
// With a wrap width and a line of 2 or more characters the line is cut into
// pieces of (wrap - margin blanks) characters, each written as its own line.
// printer is null: printer jobs spool to the stream as well. lineNumber is
// the caller's count and changes nothing in the text. Returns the number of
// output lines written, or -1 when a write fails or line is null.
int PrintOutLine(BOOL clipboard, HANDLE printer, FILE* stream, const char* line, int wrap,
                 BOOL margin, int lineNumber);

// What a page header shows, gathered by the caller.
struct PrintTotals {
    const char* volumeLabel; // of the current disk
    const char* dateText;    // today's date as the screen shows it
    const char* timeText;    // the time as the screen shows it
    int64_t freeBytes;
    int64_t loggedFiles;
    int64_t loggedBytes;
    int64_t taggedCount;
    int64_t taggedBytes;
    BOOL taggedDirectories; // the tagged entries are directories
};

// The output settings of one job: the destination stream and the layout.
struct PrintJob {
    BOOL clipboard;
    HANDLE printer;
    FILE* stream;
    int wrap;     // 0 = off
    BOOL margin;
    int lineCount; // lines written on the current page
    int linesPerPage = 0;               // 0 = no form feeds
    BOOL headers = FALSE;               // a page header opens every page
    int page = 0;                       // the next header's page; 0 = no page part
    const PrintTotals* totals = nullptr; // what the headers show
};

// Writes the five header lines through PrintOutLine: the volume, date, time
// and page (the page part left out when *page is 0), the available space,
// the logged files, the tagged entries and an empty line; adds 5 to
// job->lineCount and, when *page is not 0, advances *page to the next page.
// Returns 5, or -1 on a write error.
int PrintPageHeader(PrintJob* job, int* page, const PrintTotals& totals);

// Writes one line of a listing through PrintOutLine and counts it; when
// lines per page is set and the page is full, writes a form feed, starts a
// new page and, with headers on, writes the page header again. Returns the
// output lines written for the line, or -1 on a write error.
int PrintJobLine(PrintJob* job, const char* line);

// Starts a job's first page: the page header when headers are on. 0 or -1.
int PrintJobStart(PrintJob* job);
// Ends the page: a form feed, the line count back to 0 and, with headers
// on, the next page's header. 0 or -1.
int PrintJobNewPage(PrintJob* job);

// A name as 8-bit OEM text: the escaped bytes of "\", "*" and "?" print as
// those characters, every other escaped byte and every character code page
// 437 cannot show as 0xFA.
std::string PrintOemName(const WCHAR* name);

struct SubdirInfo;
struct DiskInfo;

// The tree listing's row of dir with connector columns indent wide: for
// each level between the root and dir, 0xB3 when the ancestor at that
// level has a later sibling, else a blank, padded to indent; then 0xC3 (a
// later sibling follows) or 0xC0 (the last child) and 0xC4 0xC4, cut to
// indent; then the name. The root row is its name, and a blank and the
// disk's device name when it has one. Connector columns stop at
// min(993 / indent - 1, 511) levels.
std::string PrintTreeRow(const SubdirInfo* dir, int indent);

// Writes the disk's directories in tree order through PrintJobLine: the
// tree rows (tree) or six blanks and each full path (path names), after
// PrintJobStart. 0, or -1 on a write error.
int PrintDirectoryListing(PrintJob* job, const DiskInfo* disk, BOOL tree, int indent);

// The catalog of the entries tagged in the current pane, directory by
// directory in tree order, after PrintJobStart: for each directory with
// tagged entries (a new page first when fewer than 3 lines are left on it)
// "      Path: " and its full path, the count and bytes of its tagged files
// or directories, an empty line, one line per tagged entry of its display
// list (date, time, size (a directory's is its branch's), attribute
// letters or mode, a blank and the name; with wrap off a name over 256
// bytes cut to 255 ending in ">"), and an empty line after a directory that
// took more than 3 lines. The pane's own list and counters are kept. 0, or
// -1 on a write error.
int PrintCatalog(PrintJob* job, const DiskInfo* disk);

// Where a job's text goes, by its device string.
enum class PrintDestination {
    Clipboard, // "CLIP:" in any case
    File,      // a path: it holds a backslash, a drive ("X:") or a '.'
    Printer,   // "PRN", "LPT1"-"LPT9", "Windows Drivers" or a queue name
};
PrintDestination PrintDestinationOf(const WCHAR* device);

// Opens the job's spool. The clipboard and printer destinations spool to a
// new temporary file (prefix "qbc" for the clipboard) in the session
// directory, or in the temporary path when there is none, never in the
// browsed directory; the clipboard is emptied first. A file destination is
// the file itself, created or truncated. With a spool already open (*stream
// not null) nothing changes. Sets *started, *printer (always null) and
// *stream. Returns 1, or -1 when the spool cannot be created.
int PrintSpool(const WCHAR* device, BOOL* started, HANDLE* printer, FILE** stream);

// Ends the job PrintSpool opened: a file or printer gets a last form feed
// when formFeed is set; the clipboard spool's whole text replaces the
// clipboard text, even after a write error, and the spool file is deleted.
// Returns 1; -1 when the text could not be completed (a write, flushing or
// closing failed: the device is full); -2 when the printer did not take the
// job.
int PrintFinish(BOOL clipboard, HANDLE printer, FILE* stream, BOOL formFeed);

// Test hook: while set, PrintSpool opens its stream through it instead of
// the file system's open (a stream that fails as a full disk does).
extern FILE* (*gPrintSpoolOpenForTest)(const WCHAR* path, const WCHAR* mode);

// ---- the option menu ---------------------------------------------------------

// The print kinds: the title shown after "PRINT:".
inline constexpr int PRINT_KIND_FILE = 0;     // the caller's title (one file)
inline constexpr int PRINT_KIND_TAGGED = 1;   // "All tagged files"
inline constexpr int PRINT_KIND_CATALOG = 2;  // "Catalog of tagged files"
inline constexpr int PRINT_KIND_PATHS = 3;    // "Path names"
inline constexpr int PRINT_KIND_TREE = 4;     // "Tree"

// Longest device string, in units, without the terminator.
inline constexpr size_t PRINT_DEVICE_UNITS = 259;

struct PrintOptions {
    BOOL headers;
    int linesPerPage; // 0-999; 0 = no form feeds
    BOOL margin;
    int wrap;         // 0 (off), 75, 80 or 132
    WCHAR device[PRINT_DEVICE_UNITS + 1];
    BOOL asa;
};

// Applies an option key (upper case) to the options: H toggles headers (on
// while lines per page is 0 sets 55 lines), M toggles the margin, W steps
// the wrap off -> 75 -> 80 -> 132 -> off, A toggles ASA. H and A only where
// the kind offers them (0 and 1). Returns whether the key was an option.
bool PrintOptionKey(PrintOptions* options, int kind, int key);
// Sets lines per page (clamped to 0-999); 0 turns headers off.
void PrintSetLines(PrintOptions* options, int lines);
// The option texts of the kind in menu order: "Headers (on )", "Lines/page
// (%-3d)", "Margin (1)", "Wrap (80 )", "ASA (yes)"; kinds 2-4 show only
// lines per page, margin and wrap.
std::vector<std::string> PrintOptionTexts(const PrintOptions& options, int kind);

// The option menu: "PRINT:" and the title, the options of the kind and the
// device, "Select option or press enter to print"; window mode 14 (all
// options, kinds 0-1) or 15, help topic 33 or 32. L asks for lines per page
// (PrintSetLinesPerPage), P for a new device on the line editor. Enter
// stores the options back and returns 13; Esc returns 27 and changes
// nothing. The menu's text stays on the command lines for the caller to
// replace; its click regions are forgotten. An empty device starts as "LPT1"; device holds
// PRINT_DEVICE_UNITS + 1 units. A null title of kinds 1-4 is the kind's own.
int PrintMenu(int kind, const WCHAR* title, BOOL* headers, int* linesPerPage, int* wrap,
              BOOL* margin, WCHAR* device, BOOL* asa);
// Draws the print commands: "PRINT" over "COMMANDS" at the left of the
// command lines, and "Catalog of tagged files" ("Catalog of tagged dirs"
// with dirs set), "Pathnames" and "Tree" as click regions for c, p and t.
void PrintCommands(BOOL dirs);

// Asks for the lines per page of the menu's options: "Number of lines per
// page: " with the value, "Enter new value (0 = no form feeds)"; up to three
// digits on the line editor, the old value a proposal that the first typed
// digit replaces. Enter sets the value; Esc, or text that is not a number,
// keeps it.
void PrintSetLinesPerPage();

// The options kept between jobs: the headers start from the settings'
// working value, the device empty (the menu shows "LPT1").
PrintOptions* PrintKeptOptions();
// Starts the kept options again as a session starts them.
void PrintResetOptions();

// The device a job writes to, from the one the menu holds: a device that
// starts with a single backslash gets the current disk's "X:" in front; one
// holding "%" is expanded as a command template for the current directory
// and made a full path.
std::u16string PrintResolveDevice(const WCHAR* device);

// The print command of the tree window: the catalog of tagged entries
// (kind 2), the path names (3) or the tree (4) of the current disk. Runs
// the option menu (Esc ends), opens the spool for the resolved device,
// writes the listing in the busy state (the page header at the start and,
// with lines per page set, on every page) and ends the job. A write error
// shows "Unable to write to device - disk full?" (the clipboard still gets
// the text written), a device that cannot be opened or handed the job
// "Unable to write to device: " and its name. The options are kept for the
// next job.
void PrintRun(int kind);

// Reads the next line of a file being printed into buffer (size >= 2): at
// most size - 1 characters; a line feed or a NUL ends the line and is kept;
// a carriage return ends it and is stored as a line feed, and a line feed
// directly after it belongs to the same line end. A last line without a
// line end is delivered as it stands. Returns buffer (terminated), or null
// at the end of the file.
char* PrintReadLine(char* buffer, int size, FILE* stream);
