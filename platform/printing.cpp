// Printing: the line writer, the page header and the line reader of files
// being printed. The text is 8-bit OEM and goes to a spool stream.
#include "platform/printing.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "qprintf.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "qstdio.h"
#include "remote/remote_drives.h"
#include "settings/session_dir.h"
#include "stringapiset.h"
#include "ui/click_regions.h"
#include "ui/clipboard_text.h"
#include "ui/command_menus.h"
#include "ui/command_prompts.h"
#include "ui/help.h"
#include "ui/line_editor.h"
#include "tree/tree_records.h"
#include "ui/numbers_dates.h"
#include "main/statistics.h"
#include "main/tree_window.h"
#include "menu/command_templates.h"
#include "settings/paths.h"
#include "settings/settings.h"
#include "tree/entry_names.h"
#include "tree/file_list.h"
#include "ui/error_reporting.h"
#include "ui/progress.h"
#include <cstdlib>

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

int PrintJobStart(PrintJob* job) {
    if (!job->headers || job->totals == nullptr)
        return 0;
    return PrintPageHeader(job, &job->page, *job->totals) < 0 ? -1 : 0;
}

int PrintJobNewPage(PrintJob* job) {
    if (PrintOutLine(job->clipboard, job->printer, job->stream, "\f", 0, FALSE, 0) < 0)
        return -1;
    job->lineCount = 0;
    return PrintJobStart(job);
}

int PrintJobLine(PrintJob* job, const char* line) {
    const int written = PrintOutLine(job->clipboard, job->printer, job->stream, line, job->wrap,
                                     job->margin, job->lineCount);
    if (written < 0)
        return -1;
    job->lineCount += written;
    if (job->linesPerPage > 0 && job->lineCount >= job->linesPerPage && PrintJobNewPage(job) < 0)
        return -1;
    return written;
}

std::string PrintOemName(const WCHAR* name) {
    std::string out;
    if (name == nullptr)
        return out;
    std::u16string run;
    auto flush = [&] {
        if (run.empty())
            return;
        const int need = WideCharToMultiByte(437, 0, run.data(),
                                             int(run.size()), nullptr, 0, "\xFA", nullptr);
        std::string bytes(size_t(need > 0 ? need : 0), '\0');
        if (need > 0)
            WideCharToMultiByte(437, 0, run.data(), int(run.size()),
                                bytes.data(), need, "\xFA", nullptr);
        out += bytes;
        run.clear();
    };
    for (const WCHAR* p = name; *p; ++p) {
        const WCHAR c = *p;
        if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            // Code page 437 has no character outside the basic plane: one
            // mark for the whole pair.
            flush();
            out += '\xFA';
            ++p;
            continue;
        }
        if (c >= 0xDC00 && c <= 0xDCFF) {
            // An escaped byte of a name that is not UTF-8.
            flush();
            out += c == 0xDC5C ? '\\' : c == 0xDC2A ? '*' : c == 0xDC3F ? '?' : '\xFA';
            continue;
        }
        run.push_back(c);
    }
    flush();
    return out;
}

namespace {

bool HasLaterSibling(const SubdirInfo* dir) {
    return dir->psiNext != nullptr && dir->psiNext->wLevel == dir->wLevel;
}

const SubdirInfo* NextTreeRow(const SubdirInfo* dir) {
    return dir->psiChild ? dir->psiChild : dir->psiNext;
}

} // namespace

std::string PrintTreeRow(const SubdirInfo* dir, int indent) {
    if (dir->wLevel == 0 || dir->psiParent == dir) {
        std::string row = PrintOemName(dir->pszName);
        if (dir->pdiDisk != nullptr && dir->pdiDisk->wszDevice[0] != 0)
            row += " " + PrintOemName(dir->pdiDisk->wszDevice);
        return row;
    }
    if (indent < 1)
        indent = 1;
    const DWORD maxColumns = DWORD(std::min(std::max(993 / indent - 1, 0), 511));
    // The ancestors between the root and dir, nearest last.
    std::vector<const SubdirInfo*> ancestors;
    for (const SubdirInfo* a = dir->psiParent; a != nullptr && a->wLevel > 0 && a->psiParent != a;
         a = a->psiParent)
        ancestors.push_back(a);
    std::string row;
    DWORD columns = 0;
    for (auto it = ancestors.rbegin(); it != ancestors.rend() && columns < maxColumns;
         ++it, ++columns) {
        row += HasLaterSibling(*it) ? '\xB3' : ' ';
        row.append(size_t(indent - 1), ' ');
    }
    std::string branch = HasLaterSibling(dir) ? "\xC3\xC4\xC4" : "\xC0\xC4\xC4";
    branch.resize(std::min(branch.size(), size_t(indent)));
    return row + branch + PrintOemName(dir->pszName);
}

int PrintDirectoryListing(PrintJob* job, const DiskInfo* disk, BOOL tree, int indent) {
    if (PrintJobStart(job) < 0)
        return -1;
    if (disk == nullptr)
        return 0;
    for (const SubdirInfo* dir = disk->psiRoot; dir != nullptr; dir = NextTreeRow(dir)) {
        const std::string line =
            tree ? PrintTreeRow(dir, indent) : "      " + PrintOemName(dir->pszFullName);
        if (PrintJobLine(job, line.c_str()) < 0)
            return -1;
    }
    return 0;
}

namespace {

// The open job's spool: its file name (the clipboard and printer spools)
// and where its text goes.
std::u16string gSpoolName;
PrintDestination gSpoolDestination = PrintDestination::Clipboard;
std::u16string gSpoolDevice;

bool SameIgnoringCase(const WCHAR* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        const WCHAR ca = *a >= u'a' && *a <= u'z' ? WCHAR(*a - 32) : *a;
        const char cb = *b >= 'a' && *b <= 'z' ? char(*b - 32) : *b;
        if (ca != WCHAR(cb))
            return false;
    }
    return *a == 0 && *b == 0;
}

// A new empty spool file in the session directory, else the temporary
// path. False when none can be made.
bool MakeSpoolName(const WCHAR* prefix, std::u16string* name) {
    WCHAR directory[MAX_PATH + 1] = {};
    if (gSessionTempDir[0] != 0) {
        std::u16string(gSessionTempDir).copy(directory, MAX_PATH);
    } else if (GetTempPathW(MAX_PATH + 1, directory) == 0) {
        return false;
    }
    WCHAR made[MAX_PATH + 16] = {};
    if (GetTempFileNameW(directory, prefix, 0, made) == 0)
        return false;
    *name = made;
    return true;
}

// One argument of a Windows command line that splits back to exactly text:
// in double quotes, with the backslashes before a quote or the closing
// quote doubled and inner quotes escaped.
void AppendQuotedArgument(std::u16string* line, const std::u16string& text) {
    line->push_back(u'"');
    size_t backslashes = 0;
    for (const WCHAR c : text) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') {
            line->append(backslashes * 2 + 1, u'\\');
        } else {
            line->append(backslashes, u'\\');
        }
        backslashes = 0;
        line->push_back(c);
    }
    line->append(backslashes * 2, u'\\');
    line->push_back(u'"');
}

// Whether the device means the default printer rather than a named queue.
bool IsDefaultPrinter(const WCHAR* device) {
    if (SameIgnoringCase(device, "PRN") || SameIgnoringCase(device, "Windows Drivers"))
        return true;
    const std::u16string name(device);
    return name.size() == 4 && SameIgnoringCase(name.substr(0, 3).c_str(), "LPT") &&
           name[3] >= u'1' && name[3] <= u'9';
}

// Hands the spool file to lp, the program found on the search path, with
// the queue as an argument of its own (no shell ever reads it). True when lp
// ran and accepted the job.
bool SubmitToPrinter(const std::u16string& device, const std::u16string& spool) {
    WCHAR lp[MAX_PATH + 1] = {};
    if (SearchProgramPathW(nullptr, u"lp", nullptr, MAX_PATH + 1, lp, nullptr) == 0)
        return false;
    std::u16string line;
    AppendQuotedArgument(&line, lp);
    if (!IsDefaultPrinter(device.c_str())) {
        line += u" -d ";
        AppendQuotedArgument(&line, device);
    }
    line += u" -- ";
    AppendQuotedArgument(&line, spool);
    PROCESS_INFORMATION info{};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(lp, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &info))
        return false;
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    return code == 0;
}

} // namespace

PrintDestination PrintDestinationOf(const WCHAR* device) {
    if (device == nullptr)
        return PrintDestination::Printer;
    if (SameIgnoringCase(device, "CLIP:"))
        return PrintDestination::Clipboard;
    const std::u16string name(device);
    const bool drive = name.size() >= 2 && name[1] == u':' &&
                       ((name[0] >= u'A' && name[0] <= u'Z') || (name[0] >= u'a' && name[0] <= u'z'));
    if (drive || name.find_first_of(u"\\/.") != std::u16string::npos)
        return PrintDestination::File;
    return PrintDestination::Printer;
}

FILE* (*gPrintSpoolOpenForTest)(const WCHAR* path, const WCHAR* mode) = nullptr;

int PrintSpool(const WCHAR* device, BOOL* started, HANDLE* printer, FILE** stream) {
    *printer = nullptr;
    if (*stream != nullptr)
        return 1;
    const PrintDestination destination = PrintDestinationOf(device);
    *started = TRUE;
    std::u16string name;
    if (destination == PrintDestination::File) {
        name = device;
    } else {
        if (destination == PrintDestination::Clipboard)
            ClipboardText(CLIPBOARD_EMPTY);
        if (!MakeSpoolName(destination == PrintDestination::Clipboard ? u"qbc" : u"qbp", &name))
            return -1;
    }
    FILE* opened = gPrintSpoolOpenForTest ? gPrintSpoolOpenForTest(name.c_str(), u"w")
                                          : Rd_wfopen(name.c_str(), u"w");
    if (opened == nullptr) {
        if (destination != PrintDestination::File)
            RdDeleteFileW(name.c_str());
        return -1;
    }
    *stream = opened;
    gSpoolDestination = destination;
    gSpoolName = destination == PrintDestination::File ? std::u16string() : name;
    gSpoolDevice = device;
    return 1;
}

int PrintFinish(BOOL clipboard, HANDLE /*printer*/, FILE* stream, BOOL formFeed) {
    if (stream == nullptr)
        return -1;
    bool ok = true;
    if (formFeed && !clipboard)
        ok = fwrite("\f", 1, 1, stream) == 1;
    ok = std::fflush(stream) == 0 && ok;
    ok = fclose(stream) == 0 && ok;
    if (clipboard && !gSpoolName.empty()) {
        // Whatever reached the spool goes to the clipboard, also after a
        // write error.
        std::string text;
        if (FILE* back = Rd_wfopen(gSpoolName.c_str(), u"rb")) {
            char chunk[65536];
            size_t got;
            while ((got = fread(chunk, 1, sizeof chunk, back)) > 0)
                text.append(chunk, got);
            fclose(back);
        }
        ClipboardTextA(CLIPBOARD_REPLACE, text.data(), text.size(), FALSE);
    }
    // A printer only gets a complete text.
    const bool accepted = !ok || gSpoolDestination != PrintDestination::Printer ||
                          gSpoolName.empty() || SubmitToPrinter(gSpoolDevice, gSpoolName);
    if (!gSpoolName.empty())
        RdDeleteFileW(gSpoolName.c_str());
    gSpoolName.clear();
    return !ok ? -1 : accepted ? 1 : -2;
}

bool PrintOptionKey(PrintOptions* options, int kind, int key) {
    const bool all = kind == PRINT_KIND_FILE || kind == PRINT_KIND_TAGGED;
    switch (key) {
    case 'H':
        if (!all)
            return false;
        options->headers = !options->headers;
        if (options->headers && options->linesPerPage == 0)
            options->linesPerPage = 55;
        return true;
    case 'A':
        if (!all)
            return false;
        options->asa = !options->asa;
        return true;
    case 'M':
        options->margin = !options->margin;
        return true;
    case 'W':
        options->wrap = options->wrap == 0    ? 75
                        : options->wrap == 75 ? 80
                        : options->wrap == 80 ? 132
                                              : 0;
        return true;
    default:
        return false;
    }
}

void PrintSetLines(PrintOptions* options, int lines) {
    options->linesPerPage = std::clamp(lines, 0, 999);
    if (options->linesPerPage == 0)
        options->headers = FALSE;
}

std::vector<std::string> PrintOptionTexts(const PrintOptions& options, int kind) {
    const bool all = kind == PRINT_KIND_FILE || kind == PRINT_KIND_TAGGED;
    char text[64];
    std::vector<std::string> texts;
    if (all)
        texts.push_back(options.headers ? "Headers (on )" : "Headers (off)");
    snprintf(text, sizeof text, "Lines/page (%-3d)", options.linesPerPage);
    texts.push_back(text);
    snprintf(text, sizeof text, "Margin (%d)", options.margin ? 1 : 0);
    texts.push_back(text);
    if (options.wrap == 0)
        snprintf(text, sizeof text, "Wrap (off)");
    else
        snprintf(text, sizeof text, "Wrap (%-3d)", options.wrap);
    texts.push_back(text);
    if (all)
        texts.push_back(options.asa ? "ASA (yes)" : "ASA (no )");
    return texts;
}

namespace {

// The options the open menu edits.
PrintOptions gMenuOptions;

std::u16string Wide(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

void DrawPrintMenu(int kind, const WCHAR* title) {
    HotClear(TRUE);
    ScrPutStr(gMessageRow, 0, "PRINT: ", gMessageAttr);
    ScrPutWStr(gMessageRow, 7, title ? title : u"", gKeyLetterAttr);
    int column = 0;
    for (const std::string& text : PrintOptionTexts(gMenuOptions, kind))
        column = HotText(gHintRow, column, 0, 1, DWORD(text[0]), Wide(text).c_str());
    // The device follows the title on the message row: the options fill
    // the middle row of an 80-column screen.
    const int titleEnd = 7 + int(title ? std::u16string(title).size() : 0) + 2;
    column = HotText(gMessageRow, std::max(30, titleEnd), 0, 1, 'P', u"Print to:    ");
    ScrPutWStr(gMessageRow, column - 2, gMenuOptions.device, gMessageAttr);
    ScrPutStr(gBottomRow, 0, "Select option or press enter to print", gMessageAttr);
    ShowOkHelpCancelKeys();
}

// Reads a new device on the message row; Enter keeps the typed name.
void PrintReadDevice() {
    HotClear(TRUE);
    static constexpr char kPrompt[] = "Printer/Port/File name: ";
    ScrPutStr(gMessageRow, 0, kPrompt, gMessageAttr);
    const int column = int(sizeof kPrompt) - 1;
    const int width = std::clamp(int(gScreenCols) - column - 1, 1, int(PRINT_DEVICE_UNITS));
    // The field starts empty: Enter on nothing keeps the device.
    std::u16string field(size_t(width), u' ');
    if (InputLine(WORD(gMessageRow), WORD(column), field.data(), 0, 0, 2, FALSE, FALSE, 0, 0) !=
        KC_ENTER)
        return;
    const std::u16string typed(field.c_str());
    if (typed.empty())
        return;
    typed.copy(gMenuOptions.device, PRINT_DEVICE_UNITS);
    gMenuOptions.device[std::min(typed.size(), PRINT_DEVICE_UNITS)] = 0;
}

} // namespace

void PrintCommands(BOOL dirs) {
    HotClear(TRUE);
    ScrPutStr(gMessageRow, 0, "PRINT", gMessageAttr);
    ScrPutStr(gHintRow, 0, "COMMANDS", gMessageAttr);
    WORD column = 10;
    column = HotText(gMessageRow, column, 0, 1, 'c',
                     dirs ? u"Catalog of tagged dirs" : u"Catalog of tagged files");
    column = HotText(gMessageRow, column, 0, 1, 'p', u"Pathnames");
    HotText(gMessageRow, column, 0, 1, 't', u"Tree");
    ShowHelpCancelKeys();
}

void PrintSetLinesPerPage() {
    HotClear(TRUE);
    static constexpr char kPrompt[] = "Number of lines per page: ";
    ScrPutStr(gMessageRow, 0, kPrompt, gMessageAttr);
    ScrPutStr(gHintRow, 0, "Enter new value (0 = no form feeds)", gMessageAttr);
    // The value in force stands after the prompt until a digit is typed
    // into the field that starts there.
    char value[8];
    snprintf(value, sizeof value, "%-3d", gMenuOptions.linesPerPage);
    ScrPutStr(gMessageRow, int(sizeof kPrompt - 1), value, gMessageAttr);
    std::u16string field = u"   ";
    if (InputLine(WORD(gMessageRow), WORD(sizeof kPrompt - 1), field.data(), 0, 0, 2, FALSE, FALSE,
                  0, 0) != KC_ENTER)
        return;
    int lines = 0;
    int digits = 0;
    for (const WCHAR c : std::u16string(field.c_str())) {
        if (c < u'0' || c > u'9' || ++digits > 3)
            return; // not a number of lines: the value is kept
        lines = lines * 10 + (c - u'0');
    }
    if (digits > 0)
        PrintSetLines(&gMenuOptions, lines);
}

int PrintMenu(int kind, const WCHAR* title, BOOL* headers, int* linesPerPage, int* wrap,
              BOOL* margin, WCHAR* device, BOOL* asa) {
    const bool all = kind == PRINT_KIND_FILE || kind == PRINT_KIND_TAGGED;
    static constexpr const WCHAR* kTitles[] = {nullptr, u"All tagged files",
                                               u"Catalog of tagged files", u"Path names", u"Tree"};
    if (kind > PRINT_KIND_FILE && kind <= PRINT_KIND_TREE && title == nullptr)
        title = kTitles[kind];
    gMenuOptions = PrintOptions{};
    gMenuOptions.headers = headers ? *headers : FALSE;
    gMenuOptions.linesPerPage = linesPerPage ? *linesPerPage : 0;
    gMenuOptions.wrap = wrap ? *wrap : 0;
    gMenuOptions.margin = margin ? *margin : FALSE;
    gMenuOptions.asa = asa ? *asa : FALSE;
    const std::u16string given = device && device[0] ? device : u"LPT1";
    given.copy(gMenuOptions.device, PRINT_DEVICE_UNITS);
    gMenuOptions.device[std::min(given.size(), PRINT_DEVICE_UNITS)] = 0;

    const WORD savedMode = gWindowMode;
    gWindowMode = all ? 14 : 15;
    int result = 0;
    while (result == 0) {
        DrawPrintMenu(kind, title);
        const KeyCode key = KbdGetKey(FALSE, TRUE);
        if (key == KC_ENTER) {
            result = 13;
        } else if (key == KC_ESC) {
            result = 27;
        } else if (key == KC_F1) {
            ShowHelp(all ? 33 : 32);
        } else if (key == 'L') {
            PrintSetLinesPerPage();
        } else if (key == 'P') {
            PrintReadDevice();
        } else {
            PrintOptionKey(&gMenuOptions, kind, int(key));
        }
    }
    gWindowMode = savedMode;
    // The menu's text stays until the caller draws its own command lines;
    // its click regions go now.
    HotClear(FALSE);
    if (result == 13) {
        if (headers)
            *headers = gMenuOptions.headers;
        if (linesPerPage)
            *linesPerPage = gMenuOptions.linesPerPage;
        if (wrap)
            *wrap = gMenuOptions.wrap;
        if (margin)
            *margin = gMenuOptions.margin;
        if (asa)
            *asa = gMenuOptions.asa;
        if (device)
            wcscpy_s(device, PRINT_DEVICE_UNITS + 1, gMenuOptions.device);
    }
    return result;
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

// ---- the listings of the current disk ---------------------------------------

namespace {

// The tagged entries of dir in the current pane, and their bytes: its
// tagged files, or, while the pane lists directories, its tagged
// subdirectories with the bytes of their branches.
void TaggedInDirectory(SubdirInfo* dir, int pane, bool dirs, DWORD* count, ULONGLONG* bytes) {
    if (!dirs) {
        *count = dir->dwTagFiles[pane];
        *bytes = dir->qwTagBytes[pane];
        return;
    }
    *count = 0;
    *bytes = 0;
    for (SubdirInfo* d = dir->psiChild; d != nullptr && d->wLevel == dir->wLevel + 1; d = d->psiNext) {
        if (!EntryTagged(d->bFlags[pane]))
            continue;
        ++*count;
        *bytes += BranchHasUnlogged(d, nullptr, FALSE, FALSE, TRUE, FALSE);
    }
}

std::string CatalogEntryLine(EntryHead* head, bool dirs, int wrap) {
    char clock[16];
    char size[32];
    char attrs[8];
    WORD mode;
    ULONGLONG bytes = head->size;
    std::string name;
    if (dirs) {
        SubdirInfo* dir = reinterpret_cast<SubdirInfo*>(head);
        mode = GetDirMode(dir);
        bytes = BranchHasUnlogged(dir, nullptr, FALSE, FALSE, TRUE, FALSE);
        name = PrintOemName(dir->pszName);
    } else {
        FileEntry* file = reinterpret_cast<FileEntry*>(head);
        mode = GetEntryMode(file);
        WCHAR wide[TREE_MAX_FULL_NAME + 1] = {};
        GetFileDisplayName(wide, file);
        name = PrintOemName(wide);
    }
    if (wrap == 0 && name.size() > 256) {
        name.resize(255);
        name.back() = '>';
    }
    FormatNumberPicture(size, int64_t(bytes), "###,###,###,###");
    std::string line = FormatDate(head->dWritten);
    line += ' ';
    line += FormatTime(clock, head->tWritten);
    line += ' ';
    line += size;
    line += FormatAttrLetters(attrs, head->attributes, mode);
    line += ' ';
    return line + name;
}

// Puts the pane's display list aside while the catalog builds lists of its
// own, and back afterwards.
struct KeptPaneList {
    DisplayFileList* list = gFileList;
    DWORD max = gFMax;
    DWORD tagged = gFTagged;
    DWORD matching = gFMatching;
    DWORD total = gFTotal;
    SubdirInfo* current = psiCurrent;
    DWORD rebuilt = gPanes[gCurrentPane].ListRebuilt;
    KeptPaneList() {
        gFileList = nullptr;
        gFMax = 0;
    }
    ~KeptPaneList() {
        std::free(gFileList);
        gFileList = list;
        gFMax = max;
        gFTagged = tagged;
        gFMatching = matching;
        gFTotal = total;
        psiCurrent = current;
        gPanes[gCurrentPane].ListRebuilt = rebuilt;
    }
    KeptPaneList(const KeptPaneList&) = delete;
    KeptPaneList& operator=(const KeptPaneList&) = delete;
};

} // namespace

int PrintCatalog(PrintJob* job, const DiskInfo* disk) {
    if (PrintJobStart(job) < 0)
        return -1;
    if (disk == nullptr)
        return 0;
    const int pane = gCurrentPane;
    const bool dirs = gDirMode[pane] != 0;
    KeptPaneList kept;
    const int headerLines = job->headers && job->totals ? 5 : 0;
    char buffer[160];
    for (SubdirInfo* dir = disk->psiRoot; dir != nullptr; dir = const_cast<SubdirInfo*>(NextTreeRow(dir))) {
        DWORD count = 0;
        ULONGLONG bytes = 0;
        TaggedInDirectory(dir, pane, dirs, &count, &bytes);
        if (count == 0)
            continue;
        // A page that holds no more than its header is not broken again.
        if (job->linesPerPage > 0 && job->linesPerPage - job->lineCount < 3 &&
            job->lineCount > headerLines && PrintJobNewPage(job) < 0)
            return -1;
        int lines = 0;
        auto put = [&](const std::string& line) {
            const int written = PrintJobLine(job, line.c_str());
            lines += written > 0 ? written : 0;
            return written >= 0;
        };
        snprintf(buffer, sizeof buffer, "          %s tagged %s using %s bytes",
                 PictureText(count, "###,###,###").c_str(), dirs ? "directories" : "files",
                 PictureText(int64_t(bytes), "###,###,###,###").c_str());
        if (!put("      Path: " + PrintOemName(dir->pszFullName)) || !put(buffer) || !put(""))
            return -1;
        psiCurrent = dir;
        BuildDisplayFileList(TRUE);
        if (gFileList != nullptr) {
            for (EntryHead** entry = ListEntries(gFileList); *entry != nullptr; ++entry) {
                if (EntryTagged((*entry)->bFlags[pane]) && !put(CatalogEntryLine(*entry, dirs, job->wrap)))
                    return -1;
            }
        }
        if (lines > 3 && !put(""))
            return -1;
    }
    return 0;
}

namespace {

PrintOptions gKeptOptions;
bool gKeptOptionsSet = false;

// A message of the print command on the error line, once the busy state is
// left.
void PrintReport(const std::string& text) { ShowError(0, text.c_str()); }

} // namespace

PrintOptions* PrintKeptOptions() {
    if (!gKeptOptionsSet) {
        gKeptOptions = PrintOptions{};
        gKeptOptions.headers = gIniWorking.printHeaders != 0;
        gKeptOptionsSet = true;
    }
    return &gKeptOptions;
}

void PrintResetOptions() { gKeptOptionsSet = false; }

std::u16string PrintResolveDevice(const WCHAR* device) {
    std::u16string name = device ? device : u"";
    if (name.size() >= 1 && name[0] == u'\\' && (name.size() < 2 || name[1] != u'\\') &&
        pdiCurrent != nullptr)
        name = std::u16string(1, WCHAR(pdiCurrent->cDrive)) + u":" + name;
    if (name.find(u'%') != std::u16string::npos) {
        WCHAR expanded[PERCENT_PARAMS_UNITS] = {};
        ExpandPercentParams(-1, expanded, name.c_str(), 0, 0);
        WCHAR full[FULL_PATH_UNITS] = {};
        name = MakeFullPath(full, expanded) >= 0 && full[0] ? full : expanded;
    }
    return name;
}

void PrintRun(int kind) {
    if (kind < PRINT_KIND_CATALOG || kind > PRINT_KIND_TREE)
        return;
    PrintOptions* options = PrintKeptOptions();
    const bool dirs = gDirMode[gCurrentPane] != 0;
    const WCHAR* title = kind == PRINT_KIND_CATALOG && dirs ? u"Catalog of tagged directories" : nullptr;
    if (PrintMenu(kind, title, &options->headers, &options->linesPerPage, &options->wrap,
                  &options->margin, options->device, &options->asa) != 13)
        return;
    const std::u16string device = PrintResolveDevice(options->device);
    const std::string deviceName = PrintOemName(device.c_str());
    BOOL started = FALSE;
    HANDLE printer = nullptr;
    FILE* stream = nullptr;
    if (PrintSpool(device.c_str(), &started, &printer, &stream) < 0) {
        PrintReport("Unable to write to device: " + deviceName);
        return;
    }
    const BOOL clipboard = PrintDestinationOf(device.c_str()) == PrintDestination::Clipboard;
    SetBusy(1);
    const DiskInfo* disk = pdiCurrent;
    char dateText[24] = {};
    char timeText[24] = {};
    ScrDateText(dateText);
    ScrClockText(timeText);
    PrintTotals totals{};
    totals.volumeLabel = disk ? disk->szLabel : "";
    totals.dateText = dateText;
    totals.timeText = timeText;
    if (disk != nullptr) {
        const int pane = gCurrentPane;
        totals.freeBytes = disk->qwFreeBytes;
        totals.loggedFiles = dirs ? disk->dwDirEntries : disk->dwFiles;
        totals.loggedBytes = int64_t(disk->qwFileBytes);
        totals.taggedCount = disk->dwTagFiles[pane];
        totals.taggedBytes = int64_t(disk->qwTagBytes[pane]);
    }
    totals.taggedDirectories = dirs;
    PrintJob job{clipboard, printer, stream, options->wrap, options->margin, 0};
    job.linesPerPage = options->linesPerPage;
    // The listings always open with the page header; with pages it opens
    // every page and counts them.
    job.headers = TRUE;
    job.page = options->linesPerPage > 0 ? 1 : 0;
    job.totals = &totals;
    int result;
    if (kind == PRINT_KIND_CATALOG)
        result = PrintCatalog(&job, disk);
    else
        result = PrintDirectoryListing(&job, disk, kind == PRINT_KIND_TREE, gTreeIndent >= 1 ? gTreeIndent : 3);
    const BOOL lastFormFeed = job.linesPerPage > 0 && job.lineCount > 0;
    const int finished = PrintFinish(clipboard, printer, stream, lastFormFeed);
    SetBusy(0);
    // Buffered text may fail only when it is flushed at the end.
    if (result < 0 || finished == -1)
        PrintReport("Unable to write to device - disk full?");
    else if (finished < 0)
        PrintReport("Unable to write to device: " + deviceName);
}
