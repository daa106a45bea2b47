// A test-support program: logs a drive letter, a path or a branch the way the
// windows do and prints the resulting tree in pre-order (directories, their
// files, every per-pane counter, the disk's figures), the questions the log
// asked, and the verdicts of the invariant checker and of a recount, so that
// the tests can compare a log with what the file system holds.
//
// The drives file is read from $HOME/.config/quilb/drives, which the caller
// writes. Options are a plain table below; later features add rows.
//
// With --script, a file of commands runs after the log, one a line, fields
// separated by tabs: changes on disk (host paths), tags set by path, and the
// refresh commands of the tree, so that a test can compare the tree kept
// current with a fresh log of the same disk.
//
// Logged-volume files: --save writes what is logged (after the script) to a
// QLOG file, --load reads one instead of logging and --merge merges one into
// what was logged; --every-disk prints every logged disk and the panes'
// state the file carries, so that a test can compare a loaded tree with
// the log it was saved from.
#include "tree_builder.h"

#include "main/drive_list.h"
#include "main/window_state.h"
#include "platform/dir_reading.h"
#include "platform/read_ahead.h"
#include "qposix_path.h"
#include "settings/nolog.h"
#include "settings/path_lists.h"
#include "settings/qlog.h"
#include "settings/settings.h"
#include "internal/sys.h"
#include "internal/threads.h"
#include "remote/remote_drives.h"
#include "tree/find_log.h"
#include "commands/target_refresh.h"
#include "tree/dir_counts.h"
#include "tree/entry_names.h"
#include "tree/filter.h"
#include "tree/log_state.h"
#include "tree/logging.h"
#include "tree/read_tree.h"
#include "tree/refresh.h"
#include "tree/sort_order.h"
#include "tree/tagging.h"
#include "tree/tree_records.h"
#include "ui/error_dialog.h"
#include "ui/progress.h"
#include "ui/ui_test_hook.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string letter; // --letter X
    std::string path;   // --path P (a Windows path)
    std::string branch; // --branch P
    std::string before; // --before X: a letter logged root only first
    int mode = 2;
    int depth = -1; // none
    bool prefetch = true;
    std::string nolog;
    std::string answers;
    long interruptAfter = 0;
    std::string faultEio;      // its opening fails
    bool faultListing = false; // its listing fails after it began instead
    bool split = false;
    std::string filter[FILTER_SLOT_COUNT]; // the panes' 0 and 1, the dialogs' 3 and 4
    unsigned long long cap = 0;
    std::string out;
    std::string script; // commands run after the log
    // FIND & LOG of a letter (logged root only first) instead of a log.
    std::string findLog;
    int workers = 4;           // workers allowed to start (thread creation fails after)
    unsigned long long findCap = 0;
    bool hold = false;         // the main thread lets the done list fill to the cap
    long stopSearch = 0;       // Esc once that many directories were searched
    long stopLogging = 0;      // Esc once that many found directories were logged
    bool remote = false;       // the letter answers as a remote drive
    // Logged-volume files (host paths).
    std::string also;  // a second letter logged after the first, in the same mode
    std::string load;  // loaded instead of a log
    std::string merge; // merged after the log and the script
    std::string save;  // written after the log, the script and a merge
    bool everyDisk = false;
    std::string switches; // the 28 window switches and 4 pane bytes, comma-separated
};

// A decimal number from low to high into *value; false for anything else.
template <typename T>
bool ParseInt(const std::string& text, long long low, long long high, T* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno || *end || v < low || v > high) return false;
    *value = static_cast<T>(v);
    return true;
}

// One option: its name, whether it takes a value, and how it is stored.
// Returns false when the value is not valid.
struct OptionRow {
    const char* name;
    bool takesValue;
    bool (*store)(Options&, const std::string&);
};

const OptionRow kOptions[] = {
    {"--letter", true,
     [](Options& o, const std::string& v) {
         o.letter = v;
         return v.size() == 1;
     }},
    {"--before", true,
     [](Options& o, const std::string& v) {
         o.before = v;
         return v.size() == 1;
     }},
    {"--path", true,
     [](Options& o, const std::string& v) {
         o.path = v;
         return !v.empty();
     }},
    {"--branch", true,
     [](Options& o, const std::string& v) {
         o.branch = v;
         return !v.empty();
     }},
    {"--mode", true, [](Options& o, const std::string& v) { return ParseInt(v, 0, 5, &o.mode); }},
    {"--depth", true, [](Options& o, const std::string& v) { return ParseInt(v, 1, 9, &o.depth); }},
    {"--prefetch", true,
     [](Options& o, const std::string& v) {
         o.prefetch = v == "on";
         return v == "on" || v == "off";
     }},
    {"--nolog", true,
     [](Options& o, const std::string& v) {
         o.nolog = v;
         return !v.empty();
     }},
    {"--answers", true,
     [](Options& o, const std::string& v) {
         o.answers = v;
         return true;
     }},
    {"--interrupt-after", true,
     [](Options& o, const std::string& v) { return ParseInt(v, 1, 1 << 30, &o.interruptAfter); }},
    {"--fault-eio", true,
     [](Options& o, const std::string& v) {
         o.faultEio = v;
         return !v.empty();
     }},
    {"--fault-eio-listing", true,
     [](Options& o, const std::string& v) {
         o.faultEio = v;
         o.faultListing = true;
         return !v.empty();
     }},
    {"--split", false,
     [](Options& o, const std::string&) {
         o.split = true;
         return true;
     }},
    {"--filter0", true,
     [](Options& o, const std::string& v) {
         o.filter[0] = v;
         return true;
     }},
    {"--filter1", true,
     [](Options& o, const std::string& v) {
         o.filter[1] = v;
         return true;
     }},
    {"--filter3", true,
     [](Options& o, const std::string& v) {
         o.filter[3] = v;
         return true;
     }},
    {"--filter4", true,
     [](Options& o, const std::string& v) {
         o.filter[4] = v;
         return true;
     }},
    {"--cap", true,
     [](Options& o, const std::string& v) { return ParseInt(v, 1, 1LL << 40, &o.cap); }},
    {"--out", true,
     [](Options& o, const std::string& v) {
         o.out = v;
         return !v.empty();
     }},
    {"--script", true,
     [](Options& o, const std::string& v) {
         o.script = v;
         return !v.empty();
     }},
    {"--findlog", true,
     [](Options& o, const std::string& v) {
         o.findLog = v;
         return v.size() == 1;
     }},
    {"--workers", true, [](Options& o, const std::string& v) { return ParseInt(v, 0, 4, &o.workers); }},
    {"--findlog-cap", true,
     [](Options& o, const std::string& v) { return ParseInt(v, 1, 1LL << 40, &o.findCap); }},
    {"--hold", false,
     [](Options& o, const std::string&) {
         o.hold = true;
         return true;
     }},
    {"--stop-search", true,
     [](Options& o, const std::string& v) { return ParseInt(v, 1, 1 << 30, &o.stopSearch); }},
    {"--stop-logging", true,
     [](Options& o, const std::string& v) { return ParseInt(v, 1, 1 << 30, &o.stopLogging); }},
    {"--remote", false,
     [](Options& o, const std::string&) {
         o.remote = true;
         return true;
     }},
    {"--also", true,
     [](Options& o, const std::string& v) {
         o.also = v;
         return v.size() == 1;
     }},
    {"--load", true,
     [](Options& o, const std::string& v) {
         o.load = v;
         return !v.empty();
     }},
    {"--merge", true,
     [](Options& o, const std::string& v) {
         o.merge = v;
         return !v.empty();
     }},
    {"--save", true,
     [](Options& o, const std::string& v) {
         o.save = v;
         return !v.empty();
     }},
    {"--every-disk", false,
     [](Options& o, const std::string&) {
         o.everyDisk = true;
         return true;
     }},
    {"--switches", true,
     [](Options& o, const std::string& v) {
         o.switches = v;
         return !v.empty();
     }},
};

// Windows paths and filters given on the command line are UTF-8 text.
std::u16string Wide(const std::string& utf8) {
    std::vector<WCHAR> out(utf8.size() + 2);
    if (Utf8ToUtf16(utf8.c_str(), SSIZE_T(utf8.size()), out.data(), out.size(), false) < 0)
        return u"";
    return out.data();
}

// A name as the bytes the file system holds (the layer's escapes undone),
// then every byte outside printable ASCII, and '%' itself, as %XX: a name
// that is not UTF-8 prints as the bytes it is.
std::string Escaped(const WCHAR* name) {
    std::vector<char> bytes(std::char_traits<char16_t>::length(name) * 4 + 8);
    std::string raw;
    if (Utf16ToUtf8(name, -1, bytes.data(), bytes.size()) >= 0) {
        raw = bytes.data();
    } else {
        for (const WCHAR* p = name; *p; p++)
            raw += *p < 0x80 ? char(*p) : '?';
    }
    std::string out;
    static const char hex[] = "0123456789ABCDEF";
    for (unsigned char c : raw) {
        if (c > 0x20 && c < 0x7F && c != '%') {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// ---- seams around the directory reader -------------------------------------
// The program is linked with the reader's entry points wrapped (-Wl,--wrap),
// so that it can make the read of one named directory fail with EIO.

std::u16string gFaultDir;        // the directory whose first read fails
QSysCall gFaultCall = QSYS_OPEN; // how: its opening, or its listing after it began
bool gFaultArmed = false;

// The directory a reader pattern lists ("\\?\F:\a\b\*.*" -> "F:\a\b").
std::u16string PatternDir(const WCHAR* pattern) {
    std::u16string dir = pattern;
    if (dir.rfind(u"\\\\?\\", 0) == 0) dir.erase(0, 4);
    const size_t slash = dir.rfind(u'\\');
    if (slash != dir.npos) dir.erase(slash);
    if (dir.size() == 2 && dir[1] == u':') dir += u'\\';
    return dir;
}

void BeforeRead(const WCHAR* pattern) {
    if (!gFaultArmed || gFaultDir.empty()) return;
    std::u16string dir = PatternDir(pattern);
    if (dir.size() > 3 && dir.back() == u'\\') dir.pop_back();
    if (dir == gFaultDir) {
        gFaultArmed = false;
        QSysInjectFault(gFaultCall, 1, EIO);
    }
}

} // namespace

// The wrapped entry points (C++ names: the linker is told their mangled forms,
// so the wrappers carry those names literally).
extern "C" {
int __real__Z12qioReadDirExPKDsPP10DirFileRecPP12DirSubdirRecPj(const WCHAR*, DirFileRec**,
                                                                DirSubdirRec**, DWORD*);
int __wrap__Z12qioReadDirExPKDsPP10DirFileRecPP12DirSubdirRecPj(const WCHAR* pattern,
                                                                DirFileRec** files,
                                                                DirSubdirRec** subdirs,
                                                                DWORD* end) {
    BeforeRead(pattern);
    const int r =
        __real__Z12qioReadDirExPKDsPP10DirFileRecPP12DirSubdirRecPj(pattern, files, subdirs, end);
    return r;
}
int __real__Z10qioReadDirPKDsPP10DirFileRec(const WCHAR*, DirFileRec**);
int __wrap__Z10qioReadDirPKDsPP10DirFileRec(const WCHAR* pattern, DirFileRec** files) {
    BeforeRead(pattern);
    const int r = __real__Z10qioReadDirPKDsPP10DirFileRec(pattern, files);
    return r;
}
HANDLE __real__Z20qioPrefetchFindFirstPKDsP17_WIN32_FIND_DATAW(const WCHAR*, WIN32_FIND_DATAW*);
HANDLE __wrap__Z20qioPrefetchFindFirstPKDsP17_WIN32_FIND_DATAW(const WCHAR* pattern,
                                                               WIN32_FIND_DATAW* data) {
    BeforeRead(pattern);
    HANDLE h = __real__Z20qioPrefetchFindFirstPKDsP17_WIN32_FIND_DATAW(pattern, data);
    return h;
}
} // extern "C"

namespace {

std::vector<int> ScriptKeys(const std::string& text) {
    std::vector<int> keys;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        if (item.empty()) continue;
        if (item == "Esc")
            keys.push_back(27);
        else
            keys.push_back(std::toupper(static_cast<unsigned char>(item[0])));
    }
    return keys;
}

// The script through the hook's list form: keys past the given ones are Esc,
// as the hook answers once a script runs out.
bool StartScript(const std::vector<int>& keys) {
    constexpr size_t kMost = 24;
    if (keys.size() > kMost) return false;
    int k[kMost];
    for (size_t i = 0; i < kMost; i++)
        k[i] = i < keys.size() ? keys[i] : 27;
    UiScriptAnswers({k[0],  k[1],  k[2],  k[3],  k[4],  k[5],  k[6],  k[7],
                     k[8],  k[9],  k[10], k[11], k[12], k[13], k[14], k[15],
                     k[16], k[17], k[18], k[19], k[20], k[21], k[22], k[23]});
    return true;
}

struct Figures {
    DWORD files;
    ULONGLONG bytes;
    DWORD matchFiles[2];
    ULONGLONG matchBytes[2];
    DWORD tagFiles[2];
    ULONGLONG tagBytes[2];
    bool operator==(const Figures&) const = default;
};

Figures Of(const SubdirInfo* d) {
    return {d->dwFiles,
            d->qwFileBytes,
            {d->dwMatchFiles[0], d->dwMatchFiles[1]},
            {d->qwMatchBytes[0], d->qwMatchBytes[1]},
            {d->dwTagFiles[0], d->dwTagFiles[1]},
            {d->qwTagBytes[0], d->qwTagBytes[1]}};
}
Figures Of(const DiskInfo* d) {
    return {d->dwFiles,
            d->qwFileBytes,
            {d->dwMatchFiles[0], d->dwMatchFiles[1]},
            {d->qwMatchBytes[0], d->qwMatchBytes[1]},
            {d->dwTagFiles[0], d->dwTagFiles[1]},
            {d->qwTagBytes[0], d->qwTagBytes[1]}};
}

void PrintFigures(FILE* out, const Figures& f) {
    for (int p = 0; p < 2; p++)
        fprintf(out, " match%d=%u/%llu tag%d=%u/%llu", p, f.matchFiles[p],
                static_cast<unsigned long long>(f.matchBytes[p]), p, f.tagFiles[p],
                static_cast<unsigned long long>(f.tagBytes[p]));
}

// With dates, each directory's line ends with its three dates and times
// and its flag bytes of both panes.
void PrintDisk(FILE* out, const DiskInfo* disk, bool dates = false) {
    for (const SubdirInfo* d : qtest::DirsInOrder(disk)) {
        fprintf(out, "dir %u %s logged=%u expanded=%u visible=%u children=%u files=%u bytes=%llu",
                d->wLevel, Escaped(d->wLevel ? d->pszName : d->pszFullName).c_str(), d->bLogged,
                d->bExpanded, d->bVisible, d->dwChildren, d->dwFiles,
                static_cast<unsigned long long>(d->qwFileBytes));
        fprintf(out, " attr=%04X", d->wAttributes);
        PrintFigures(out, Of(d));
        if (dates)
            fprintf(out, " dflags=%u/%u created=%08X.%08X written=%08X.%08X accessed=%08X.%08X",
                    d->bFlags[0], d->bFlags[1], d->dCreated, d->tCreated, d->dWritten,
                    d->tWritten, d->dAccessed, d->tAccessed);
        fprintf(out, "\n");
        if (!d->pFiles) continue;
        // The array holds the counted entries and any drive entries before the
        // end record, whose inline name is empty.
        for (const FileEntry* e = d->pFiles; e->wszShortName[0] || e->pszLongName; e++) {
            WCHAR name[TREE_MAX_FULL_NAME + 2];
            GetFileDisplayName(name, e);
            fprintf(out,
                    "file %s size=%llu attr=%04X mode=%04X index=%u flags=%u/%u "
                    "created=%08X.%08X written=%08X.%08X accessed=%08X.%08X\n",
                    Escaped(name).c_str(), static_cast<unsigned long long>(e->qwSize),
                    e->wAttributes, e->wMode, e->wIndex, e->bFlags[0], e->bFlags[1], e->dCreated,
                    e->tCreated, e->dWritten, e->tWritten, e->dAccessed, e->tAccessed);
        }
    }
    fprintf(out, "disk %c rows=%u dirs=%u files=%u bytes=%llu", disk->cDrive, disk->dwTreeRows,
            disk->dwDirEntries, disk->dwFiles, static_cast<unsigned long long>(disk->qwFileBytes));
    PrintFigures(out, Of(disk));
    fprintf(out, "\n");
}

// Runs the invariant checker over everything logged.
void PrintCheck(FILE* out) {
    const std::vector<std::string> faults = qtest::CheckTree();
    if (faults.empty()) fprintf(out, "check ok\n");
    for (const std::string& f : faults)
        fprintf(out, "check fault %s\n", f.c_str());
}

// Recounts the disk on a copy of its figures and reports each directory
// (and the disk) whose counters differ.
void PrintRecount(FILE* out, DiskInfo* disk) {
    if (!disk) return;
    std::vector<std::pair<SubdirInfo*, Figures>> before;
    for (SubdirInfo* d : qtest::DirsInOrder(disk))
        before.emplace_back(d, Of(d));
    const Figures diskBefore = Of(disk);
    RecountDisk(disk);
    int wrong = 0;
    for (const auto& [d, f] : before) {
        if (Of(d) == f) continue;
        wrong++;
        fprintf(out, "recount differs %s:", Escaped(d->pszFullName).c_str());
        PrintFigures(out, f);
        fprintf(out, " ->");
        PrintFigures(out, Of(d));
        fprintf(out, "\n");
    }
    // RecountDisk leaves the disk's file count and bytes alone; the sums of
    // the directories must give them.
    Figures sum{};
    for (const auto& [d, f] : before) {
        sum.files += f.files;
        sum.bytes += f.bytes;
    }
    Figures after = Of(disk);
    if (!(after.matchFiles[0] == diskBefore.matchFiles[0] &&
          after.matchFiles[1] == diskBefore.matchFiles[1] &&
          after.matchBytes[0] == diskBefore.matchBytes[0] &&
          after.matchBytes[1] == diskBefore.matchBytes[1] &&
          after.tagFiles[0] == diskBefore.tagFiles[0] &&
          after.tagFiles[1] == diskBefore.tagFiles[1] &&
          after.tagBytes[0] == diskBefore.tagBytes[0] &&
          after.tagBytes[1] == diskBefore.tagBytes[1]) ||
        sum.files != diskBefore.files || sum.bytes != diskBefore.bytes) {
        wrong++;
        fprintf(out, "recount differs disk: files=%u/%llu sum=%u/%llu", diskBefore.files,
                static_cast<unsigned long long>(diskBefore.bytes), sum.files,
                static_cast<unsigned long long>(sum.bytes));
        PrintFigures(out, diskBefore);
        fprintf(out, " ->");
        PrintFigures(out, after);
        fprintf(out, "\n");
    }
    if (!wrong) fprintf(out, "recount ok\n");
}

void PrintVerdicts(FILE* out, DiskInfo* disk) {
    PrintCheck(out);
    PrintRecount(out, disk);
}

void PrintQuestions(FILE* out) {
    for (const UiQuestion& q : UiQuestionsAsked())
        fprintf(out, "question %s drive=%u code=%u skip=%u path=%s\n", q.kind, q.drive, q.code,
                q.allowSkip, Escaped(q.path.c_str()).c_str());
}

// ---- the command script --------------------------------------------------------

// The file entry of a full path in the tree, or null.
FileEntry* FindFileByPath(const std::u16string& path) {
    const size_t slash = path.rfind(u'\\');
    if (slash == path.npos) return nullptr;
    std::u16string dirPath = path.substr(0, slash);
    if (dirPath.size() == 2) dirPath += u'\\';
    SubdirInfo* dir = FindDirByPathAnyDisk(dirPath.c_str(), nullptr, TRUE);
    if (!dir || !dir->pFiles) return nullptr;
    const std::u16string name = path.substr(slash + 1);
    for (FileEntry* e = dir->pFiles; e->wszShortName[0]; e++) {
        WCHAR shown[TREE_MAX_FULL_NAME + 2];
        GetFileDisplayName(shown, e);
        if (name == shown) return e;
    }
    return nullptr;
}

SubdirInfo* DirOf(const std::vector<std::string>& f) {
    return FindDirByPathAnyDisk(Wide(f[1]).c_str(), nullptr, TRUE);
}

// One command: its name, the number of fields after it, and what it does.
// The result is printed; a directory or file that is not in the tree gives
// -100.
struct ScriptRow {
    const char* name;
    size_t fields;
    long long (*run)(const std::vector<std::string>& f);
};

const ScriptRow kScript[] = {
    // Changes on disk, by host path.
    {"mkdir", 1,
     [](const std::vector<std::string>& f) -> long long {
         std::error_code e;
         return std::filesystem::create_directories(f[1], e) ? 0 : -1;
     }},
    {"rmtree", 1,
     [](const std::vector<std::string>& f) -> long long {
         std::error_code e;
         return std::filesystem::remove_all(f[1], e) > 0 ? 0 : -1;
     }},
    {"rename", 2,
     [](const std::vector<std::string>& f) -> long long {
         std::error_code e;
         std::filesystem::rename(f[1], f[2], e);
         return e ? -1 : 0;
     }},
    {"write", 2,
     [](const std::vector<std::string>& f) -> long long {
         long long size = 0;
         if (!ParseInt(f[2], 0, 1 << 24, &size)) return -1;
         std::ofstream file(f[1], std::ios::binary | std::ios::trunc);
         file << std::string(size_t(size), 'w');
         return file ? 0 : -1;
     }},
    {"delete", 1,
     [](const std::vector<std::string>& f) -> long long {
         std::error_code e;
         return std::filesystem::remove(f[1], e) ? 0 : -1;
     }},
    // Tags a file by its full path in the tree, in the current pane.
    {"tag", 1,
     [](const std::vector<std::string>& f) -> long long {
         FileEntry* e = FindFileByPath(Wide(f[1]));
         if (!e) return -100;
         TagEntry(e->psiOwner, LONG(e - e->psiOwner->pFiles));
         return 0;
     }},
    // The tree's own commands, by the directory's full path.
    {"mark", 1,
     [](const std::vector<std::string>& f) -> long long {
         const std::u16string path = Wide(f[1]);
         MarkDirForRefresh(path.c_str(), path.c_str(), FALSE);
         return 0;
     }},
    {"refresh", 1,
     [](const std::vector<std::string>& f) -> long long {
         SubdirInfo* dir = DirOf(f);
         return dir ? RefreshDirFiles(dir, TRUE, TRUE) : -100;
     }},
    {"newdirs", 1,
     [](const std::vector<std::string>& f) -> long long {
         SubdirInfo* dir = DirOf(f);
         return dir ? qioReadNewDir(dir, TRUE, TRUE) : -100;
     }},
    {"branch", 1,
     [](const std::vector<std::string>& f) -> long long {
         SubdirInfo* dir = DirOf(f);
         return dir ? LogBranchWorker(dir, TRUE, TRUE, FALSE) : -100;
     }},
    {"flagged", 0,
     [](const std::vector<std::string>&) -> long long {
         RefreshFlaggedDisks(FALSE);
         return 0;
     }},
    {"add", 1,
     [](const std::vector<std::string>& f) -> long long {
         return AddDirByPath(Wide(f[1]).c_str(), nullptr, TRUE);
     }},
    {"remove", 1,
     [](const std::vector<std::string>& f) -> long long {
         SubdirInfo* dir = DirOf(f);
         if (!dir || dir->wLevel == 0) return -100;
         return RemoveDirRecord(dir, FindTreePredecessor(dir), TRUE);
     }},
    {"created", 1,
     [](const std::vector<std::string>& f) -> long long {
         return AddCreatedFileEntry(Wide(f[1]).c_str());
     }},
    // The panes' state that logged-volume files carry.
    {"pane", 1,
     [](const std::vector<std::string>& f) -> long long {
         if (f[1] != "0" && f[1] != "1") return -1;
         SetCurrentPane(WORD(f[1][0] - '0'));
         return 0;
     }},
    // The directory becomes the current pane's current one.
    {"cursor", 1,
     [](const std::vector<std::string>& f) -> long long {
         SubdirInfo* dir = DirOf(f);
         if (!dir) return -100;
         pdiCurrent = dir->pdiDisk;
         psiCurrent = dir;
         gPanes[gCurrentPane & 1].Disk = dir->pdiDisk;
         gPanes[gCurrentPane & 1].Directory = dir;
         return 0;
     }},
    // Collapses a directory as the tree window does: its branch is hidden.
    {"collapse", 1,
     [](const std::vector<std::string>& f) -> long long {
         SubdirInfo* dir = DirOf(f);
         if (!dir || !dir->bExpanded) return -100;
         dir->bExpanded = 0;
         for (SubdirInfo* d = dir->psiNext; d && d->wLevel > dir->wLevel; d = d->psiNext) {
             if (d->bVisible && dir->pdiDisk->dwTreeRows) dir->pdiDisk->dwTreeRows--;
             d->bVisible = 0;
         }
         return 0;
     }},
    {"bookmarks", 1,
     [](const std::vector<std::string>& f) -> long long {
         return LoggedPathList(11, 0, Wide(f[1]).c_str());
     }},
    // A remembered value filed under a display kind of the current pane:
    // list 0 or 1, kind, key, value.
    {"memo", 4,
     [](const std::vector<std::string>& f) -> long long {
         long long kind = 0;
         if ((f[1] != "0" && f[1] != "1") || !ParseInt(f[2], 1, 5, &kind)) return -1;
         gDisplayMode[gCurrentPane & 1] = WORD(kind);
         const std::u16string key = Wide(f[3]), value = Wide(f[4]);
         WCHAR* stored = f[1] == "0" ? VolumePathMemo(0, key.c_str(), value.c_str())
                                     : VolumePathMemoAlt(0, key.c_str(), value.c_str());
         return stored ? 0 : -1;
     }},
    // The current pane's file order: its key and direction.
    {"order", 2,
     [](const std::vector<std::string>& f) -> long long {
         long long key = 0, descending = 0;
         if (!ParseInt(f[1], 0, SORT_KEY_COUNT - 1, &key) || !ParseInt(f[2], 0, 1, &descending))
             return -1;
         gFileOrder[gCurrentPane & 1].key = BYTE(key);
         gFileOrder[gCurrentPane & 1].descending = BYTE(descending);
         return 0;
     }},
};

// Runs the script's lines in order, printing "script <name> <result>" for
// each; false (nothing more run) for a line that names no command or has
// the wrong number of fields.
bool RunScript(FILE* out, const std::string& file) {
    std::ifstream in(file);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        std::vector<std::string> fields;
        std::stringstream split(line);
        std::string field;
        while (std::getline(split, field, '\t'))
            fields.push_back(field);
        const ScriptRow* row = nullptr;
        for (const ScriptRow& r : kScript)
            if (fields[0] == r.name) row = &r;
        if (!row || fields.size() != row->fields + 1) {
            fprintf(out, "script bad %s\n", line.c_str());
            return false;
        }
        fprintf(out, "script %s %lld\n", row->name, row->run(fields));
    }
    return true;
}

// The tagged files of each pane by full name, in tree order.
void PrintTags(FILE* out, const DiskInfo* disk) {
    for (const SubdirInfo* d : qtest::DirsInOrder(disk)) {
        if (!d->pFiles) continue;
        for (const FileEntry* e = d->pFiles; e->wszShortName[0]; e++) {
            if (IsDriveEntry(e)) continue;
            for (int p = 0; p < 2; p++)
                if (e->bFlags[p] & (ENTRY_TAGGED | ENTRY_MARKED)) {
                    WCHAR name[TREE_MAX_FULL_NAME + 2];
                    GetFullFileName(name, e);
                    fprintf(out, "tagged %d %s\n", p, Escaped(name).c_str());
                }
        }
    }
}

// The panes' state a logged-volume file carries: split screen, the current
// pane, per pane its display mode, directory mode, file and directory
// orders, filter and current directory; the dialogs' filters; the
// bookmarks; the remembered values of both lists; the window switches.
void PrintPanes(FILE* out, const QlogPaneSwitches& switches) {
    fprintf(out, "panes split=%u current=%u splitsort=%d\n", unsigned(gSplitScreen),
            unsigned(gCurrentPane), int(gSplitSortDifferent));
    for (int p = 0; p < 2; p++) {
        const SubdirInfo* dir = p == (gCurrentPane & 1) ? psiCurrent : gPanes[p].Directory;
        fprintf(out, "pane %d display=%u dirmode=%u", p, gDisplayMode[p], unsigned(gDirMode[p] != 0));
        for (const SortSpec* s : {&gFileOrder[p], &gDirOrder[p]})
            fprintf(out, " order=%u.%u.%u.%u.%u", s->key, s->pathFirst, s->descending, s->charset,
                    s->timestamp);
        fprintf(out, " dir=%s\n", dir ? Escaped(dir->pszFullName).c_str() : "(null)");
    }
    for (int slot : {0, 1, 3, 4})
        fprintf(out, "filter %d %s\n", slot, Escaped(gFilterSlots[slot].fullText).c_str());
    for (size_t i = 0; i < LoggedPathCount(); i++)
        fprintf(out, "bookmark %zu %s\n", i, Escaped(LoggedPathAt(i)).c_str());
    for (int list = 0; list < 2; list++)
        for (size_t i = 0; i < MemoCount(list); i++) {
            const MemoNode* n = MemoAt(list, i);
            fprintf(out, "memo %d %u %s %s\n", list, n->kind, Escaped(n->key.c_str()).c_str(),
                    Escaped(n->value.c_str()).c_str());
        }
    fprintf(out, "switches");
    for (BYTE v : switches.window) fprintf(out, " %u", v);
    fprintf(out, " |");
    for (BYTE v : switches.pane) fprintf(out, " %u", v);
    fprintf(out, "\n");
}

// The 28 window switches and then the 4 pane bytes, comma-separated.
bool ParseSwitches(const std::string& text, QlogPaneSwitches* switches) {
    std::stringstream in(text);
    std::string item;
    size_t n = 0;
    while (std::getline(in, item, ',')) {
        BYTE v = 0;
        if (n >= QLOG_SWITCH_COUNT + 4 || !ParseInt(item, 0, 255, &v)) return false;
        (n < QLOG_SWITCH_COUNT ? switches->window[n] : switches->pane[n - QLOG_SWITCH_COUNT]) = v;
        n++;
    }
    return n == QLOG_SWITCH_COUNT + 4;
}

// A host path as the program's Windows path (through the drives file).
std::u16string WinPath(const std::string& posix) {
    WCHAR out[MAX_PATH * 4];
    return PathFromPosix(posix.c_str(), out, MAX_PATH * 4) < 0 ? u"" : std::u16string(out);
}

int Usage(const char* why) {
    fprintf(stderr, "tree_dump: %s\n", why);
    return 64;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; i++) {
        const OptionRow* row = nullptr;
        for (const OptionRow& r : kOptions)
            if (std::strcmp(argv[i], r.name) == 0) row = &r;
        if (!row) return Usage(argv[i]);
        std::string value;
        if (row->takesValue) {
            if (i + 1 >= argc) return Usage(argv[i]);
            value = argv[++i];
        }
        if (!row->store(o, value)) return Usage(argv[i]);
    }
    if (int(!o.letter.empty()) + int(!o.path.empty()) + int(!o.branch.empty()) +
            int(!o.findLog.empty()) + int(!o.load.empty()) != 1)
        return Usage("one of --letter, --path, --branch, --findlog, --load");
    QlogPaneSwitches switches{};
    if (!o.switches.empty() && !ParseSwitches(o.switches, &switches)) return Usage("--switches");

    FILE* out = o.out.empty() ? stdout : fopen(o.out.c_str(), "w");
    if (!out) return Usage("cannot write --out");

    qtest::ResetTreeState();
    InitFilterSlots();
    for (int p = 0; p < int(FILTER_SLOT_COUNT); p++) {
        if (o.filter[p].empty()) continue;
        const std::u16string text = Wide(o.filter[p]);
        if (CompileFilterText(text.c_str(), &gFilterSlots[p], nullptr, 0, nullptr) != FILTER_OK)
            return Usage("filter");
    }
    gSplitScreen = o.split ? 1 : 0;
    gLogDepthLimit = o.depth < 0 ? LOG_NO_DEPTH_LIMIT : SHORT(o.depth);
    gPrefetchEnabled = o.prefetch ? 1 : 0;
    if (o.cap) PrefetchSetCapForTest(o.cap);
    if (!o.nolog.empty()) {
        std::ifstream in(o.nolog, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        NoLogListParse(&gNoLogList, reinterpret_cast<const BYTE*>(bytes.data()), bytes.size());
    }
    // FIND & LOG's report goes to the record of questions too.
    // So do the messages of logged-volume files.
    const bool volumeFile = !o.load.empty() || !o.merge.empty() || !o.save.empty();
    if ((!o.answers.empty() || !o.findLog.empty() || volumeFile) &&
        !StartScript(ScriptKeys(o.answers)))
        return Usage("too many answers");
    BuildDriveList(0);

    const std::string target = !o.letter.empty()   ? o.letter
                               : !o.path.empty()   ? o.path
                               : !o.branch.empty() ? o.branch
                               : !o.findLog.empty() ? o.findLog
                                                    : std::string();
    const int letter = target.empty() ? 0 : std::toupper(static_cast<unsigned char>(target[0]));
    int result = 0;
    std::string returned;
    if (!o.before.empty()) {
        gIniWorking.logMethod = LOG_ROOT_ONLY;
        gLogMode = LOG_ROOT_ONLY;
        fprintf(out, "before %d\n", LogDrive(o.before[0], FALSE, FALSE, TRUE));
    }
    if (!o.faultEio.empty()) gFaultDir = Wide(o.faultEio);
    gFaultCall = o.faultListing ? QSYS_READDIR : QSYS_OPEN;
    if (!o.load.empty()) {
        result = QlogLoad(&switches, WinPath(o.load).c_str(), 1);
    } else if (!o.findLog.empty()) {
        // As the windows have it: the drive logged, FIND & LOG asked for.
        gIniWorking.logMethod = LOG_ROOT_ONLY;
        gLogMode = LOG_ROOT_ONLY;
        fprintf(out, "drive %d\n", LogDrive(letter, FALSE, FALSE, TRUE));
        if (o.remote) RdTreatAsRemoteForTest(letter);
        if (o.workers < FINDLOG_WORKERS) ThreadCreateFailForTest(DWORD(o.workers) + 1);
        FindLogSetCapForTest(o.findCap);
        FindLogHoldMainForTest(o.hold);
        FindLogInterruptAfterForTest(DWORD(o.stopSearch), DWORD(o.stopLogging));
        gFaultArmed = true;
        result = FindAndLog();
        ThreadCreateFailForTest(0);
        RdTreatAsRemoteForTest(0);
        const FindLogFigures& f = gFindLogFigures;
        fprintf(out,
                "findlog searched=%u foundDirs=%u foundFiles=%u logged=%u workers=%d "
                "stoppedSearching=%d stoppedLogging=%d capWaits=%llu peak=%llu largest=%llu\n",
                f.searched, f.foundDirs, f.foundFiles, f.logged, int(f.workers),
                int(f.stoppedSearching), int(f.stoppedLogging), f.capWaits, f.donePeakBytes,
                f.largestNodeBytes);
    } else if (!o.letter.empty()) {
        gIniWorking.logMethod = WORD(o.mode);
        gLogMode = WORD(o.mode);
        gFaultArmed = true;
        // A key pressed once the command has made that many directories.
        ReadTreeInterruptAfterForTest(DWORD(o.interruptAfter));
        result = LogDrive(letter, FALSE, FALSE, TRUE);
    } else {
        // The drive first, root only, as the windows have it before a path or
        // branch command; then the command in the mode asked for.
        gIniWorking.logMethod = LOG_ROOT_ONLY;
        gLogMode = LOG_ROOT_ONLY;
        const int first = LogDrive(letter, FALSE, FALSE, TRUE);
        fprintf(out, "drive %d\n", first);
        gLogMode = WORD(o.mode);
        gFaultArmed = true;
        // A key pressed once the command has made that many directories.
        ReadTreeInterruptAfterForTest(DWORD(o.interruptAfter));
        const std::u16string path = Wide(target);
        if (!o.path.empty()) {
            DWORD top = 0;
            WORD yBar = 0;
            SubdirInfo* dir = LogPath(path.c_str(), &top, &yBar);
            result = dir ? 1 : 0;
            returned = dir ? Escaped(dir->pszFullName) : "(null)";
        } else {
            SubdirInfo* dir = FindDirByPath(path.c_str(), nullptr, TRUE);
            if (!dir) {
                // Only a directory the root-only log made can be a branch.
                returned = "(not found)";
                result = -100;
            } else {
                // The root's record is made anew when the branch is the root.
                returned = Escaped(dir->pszFullName);
                result = LogBranch(WORD(o.mode), dir, FALSE);
            }
        }
    }
    QSysClearFaults();
    if (!o.also.empty()) {
        gIniWorking.logMethod = WORD(o.mode);
        gLogMode = WORD(o.mode);
        ReadTreeInterruptAfterForTest(0);
        fprintf(out, "also %d\n", LogDrive(std::toupper(static_cast<unsigned char>(o.also[0])),
                                           FALSE, FALSE, TRUE));
    }

    // Reads made by the script are not stopped by the log's key.
    ReadTreeInterruptAfterForTest(0);
    if (!o.script.empty() && !RunScript(out, o.script)) return Usage("script");
    if (!o.merge.empty())
        fprintf(out, "merge %d\n", QlogLoad(&switches, WinPath(o.merge).c_str(), 0));
    if (!o.save.empty())
        fprintf(out, "save %u\n", unsigned(SaveQlogFile(WinPath(o.save).c_str(), switches)));

    fprintf(out, "result %d\n", result);
    if (!returned.empty()) fprintf(out, "returned %s\n", returned.c_str());
    fprintf(out, "state mode=%u disks=%u current=%c dir=%s answer=%u interrupt=%u\n", gLogMode,
            gDiskCount, pdiCurrent ? pdiCurrent->cDrive : '-',
            psiCurrent ? Escaped(psiCurrent->pszFullName).c_str() : "(null)", gErrorAnswer,
            unsigned(gInterruptRequested));
    DiskInfo* disk = letter ? FindVolume(letter) : nullptr;
    if (o.everyDisk) {
        // Every disk in ring order, each with its tags and its recount (made
        // with that disk current, as the windows recount a disk).
        PrintPanes(out, switches);
        PrintQuestions(out);
        PrintCheck(out);
        DiskInfo* const current = pdiCurrent;
        DiskInfo* d = pdiFirst;
        for (WORD n = 0; n < gDiskCount && d; n++, d = d->pdiNext) {
            PrintDisk(out, d, true);
            PrintTags(out, d);
            pdiCurrent = d;
            PrintRecount(out, d);
        }
        pdiCurrent = current;
    } else {
        if (disk) {
            PrintDisk(out, disk);
            PrintTags(out, disk);
        } else
            fprintf(out, "disk %c none\n", letter ? letter : '-');
        PrintQuestions(out);
        PrintVerdicts(out, disk);
    }
    const PrefetchCounters& pc = gPrefetchCounters;
    fprintf(out, "prefetch capWaits=%llu readDirectly=%llu fromReadAhead=%llu\n",
            static_cast<unsigned long long>(pc.capWaits.load()),
            static_cast<unsigned long long>(pc.readDirectly.load()),
            static_cast<unsigned long long>(pc.served + pc.waited + pc.takenFromQueue));
    if (UiScriptRunning()) UiScriptEnd();
    qtest::DisownRecords();
    qtest::FreeTrees();
    NoLogListFree(&gNoLogList);
    InitFilterSlots();
    LoggedPathList(11, 0, u"");
    VolumePathMemo(2, nullptr, nullptr);
    VolumePathMemoAlt(2, nullptr, nullptr);
    if (out != stdout) fclose(out);
    return 0;
}
