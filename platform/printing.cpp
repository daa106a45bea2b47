// Printing: the line writer, the page header and the line reader of files
// being printed. The text is 8-bit OEM and goes to a spool stream.
#include "platform/printing.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "qprintf.h"
#include "ui/numbers_dates.h"

namespace {

bool WriteBytes(FILE* stream, const char* bytes, size_t count) {
    return count == 0 || fwrite(bytes, 1, count, stream) == count;
}

// The number in the picture with the blanks in front of it removed.
std::string PictureText(int64_t value, const char* picture) {
    char text[32];
    FormatNumberPicture(text, value, picture);
    const char* start = text;
    while (*start == ' ')
        ++start;
    return start;
}

} // namespace

int PrintOutLine(BOOL clipboard, HANDLE /*printer*/, FILE* stream, const char* line, int wrap,
                 BOOL margin, int /*lineNumber*/) {
    if (stream == nullptr || line == nullptr)
        return -1;
    if (std::strcmp(line, "\f") == 0) {
        // Page breaks never reach the clipboard text.
        if (clipboard)
            return 0;
        return WriteBytes(stream, "\f", 1) ? 0 : -1;
    }
    size_t length = std::strlen(line);
    if (length > 0 && line[length - 1] == '\n')
        --length;
    static constexpr char kBlanks[PRINT_MARGIN_BLANKS + 1] = "        ";
    const size_t marginLength = margin ? PRINT_MARGIN_BLANKS : 0;
    const int pieceWidth = wrap - int(marginLength);
    // A wrap width no wider than the margin leaves no room to cut into: the
    // line is written whole rather than looping on empty pieces.
    if (wrap > 0 && length >= 2 && pieceWidth > 0) {
        int pieces = 0;
        for (size_t at = 0; at < length; at += size_t(pieceWidth)) {
            const size_t take = std::min(size_t(pieceWidth), length - at);
            if (!WriteBytes(stream, kBlanks, marginLength) || !WriteBytes(stream, line + at, take) ||
                !WriteBytes(stream, "\n", 1))
                return -1;
            ++pieces;
        }
        return pieces;
    }
    if (!WriteBytes(stream, kBlanks, marginLength) || !WriteBytes(stream, line, length) ||
        !WriteBytes(stream, "\n", 1))
        return -1;
    return 1;
}

int PrintPageHeader(PrintJob* job, int* page, const PrintTotals& totals) {
    char freeText[32];
    FormatNumberPicture(freeText, totals.freeBytes, "###,###,###,###");
    const std::string logged = PictureText(totals.loggedFiles, "###,###,###");
    const std::string loggedBytes = PictureText(totals.loggedBytes, "###,###,###,###");
    const std::string tagged = PictureText(totals.taggedCount, "###,###,###");
    const std::string taggedBytes = PictureText(totals.taggedBytes, "###,###,###,###");
    const char* label = totals.volumeLabel ? totals.volumeLabel : "";
    const char* date = totals.dateText ? totals.dateText : "";
    const char* time = totals.timeText ? totals.timeText : "";

    std::string lines[5];
    char buffer[512];
    if (*page != 0)
        snprintf(buffer, sizeof buffer, "      Disk Volume: %-25s%s  %s   Page %d\n", label, date,
                 time, *page);
    else
        snprintf(buffer, sizeof buffer, "      Disk Volume: %-25s%s  %s\n", label, date, time);
    lines[0] = buffer;
    snprintf(buffer, sizeof buffer, "                      Available space    %s bytes\n",
             freeText);
    lines[1] = buffer;
    snprintf(buffer, sizeof buffer, "      %s logged files using %s bytes\n", logged.c_str(),
             loggedBytes.c_str());
    lines[2] = buffer;
    snprintf(buffer, sizeof buffer, "      %s tagged %s using %s bytes\n", tagged.c_str(),
             totals.taggedDirectories ? "directories" : "files", taggedBytes.c_str());
    lines[3] = buffer;
    lines[4] = "\n";
    for (const std::string& text : lines) {
        if (PrintOutLine(job->clipboard, job->printer, job->stream, text.c_str(), job->wrap,
                         job->margin, job->lineCount) < 0)
            return -1;
    }
    job->lineCount += 5;
    if (*page != 0)
        ++*page;
    return 5;
}

char* PrintReadLine(char* buffer, int size, FILE* stream) {
    if (buffer == nullptr || size < 2 || stream == nullptr)
        return nullptr;
    int count = 0;
    while (count < size - 1) {
        const int c = fgetc(stream);
        if (c == EOF)
            break;
        if (c == '\r') {
            buffer[count++] = '\n';
            // CR LF is one line end, not a line and an empty one.
            const int next = fgetc(stream);
            if (next != '\n' && next != EOF)
                ungetc(next, stream);
            break;
        }
        buffer[count++] = char(c);
        if (c == '\n' || c == '\0')
            break;
    }
    if (count == 0)
        return nullptr;
    buffer[count] = '\0';
    return buffer;
}
