// Printing: the catalog, path-name and tree listings and the file print
// write plain 8-bit OEM text, page by page, through one line writer onto a
// spool stream. This header holds the line writer, the page header and the
// line reader of files being printed.
#pragma once

#include <cstdio>

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
};

// Writes the five header lines through PrintOutLine: the volume, date, time
// and page (the page part left out when *page is 0), the available space,
// the logged files, the tagged entries and an empty line; adds 5 to
// job->lineCount and, when *page is not 0, advances *page to the next page.
// Returns 5, or -1 on a write error.
int PrintPageHeader(PrintJob* job, int* page, const PrintTotals& totals);

// Reads the next line of a file being printed into buffer (size >= 2): at
// most size - 1 characters; a line feed or a NUL ends the line and is kept;
// a carriage return ends it and is stored as a line feed, and a line feed
// directly after it belongs to the same line end. A last line without a
// line end is delivered as it stands. Returns buffer (terminated), or null
// at the end of the file.
char* PrintReadLine(char* buffer, int size, FILE* stream);
