// A small program the pseudo-terminal tests run to see the file manager's
// real start-up and shut-down: it runs the start-up with the arguments it is
// given, reports what it left (the logged disks and how much of each was
// read, the current path, the log mode, the options read) and runs the
// shut-down for 'q'.
//
// Usage: startup_probe REPORT_FILE [--tree-spec=PATH] [--last-path=PATH]
//                      [ARGUMENT...]
// --tree-spec puts PATH into the tree-spec history first and --last-path
// makes it the last current path, as a previous run would have left them.
// The arguments are handed over as typed.
#include "main/startup.h"
#include "main/window_state.h"
#include "qposix_path.h"
#include "settings/settings.h"
#include "tree/log_state.h"
#include "tree/tree_records.h"
#include "ui/dest_prompts.h"
#include "ui/line_editor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

int gReport = -1;

void Report(const std::string& line) {
    const std::string text = line + "\n";
    if (::write(gReport, text.data(), text.size()) < 0) std::_Exit(4);
}

std::string Utf8(const WCHAR* text) {
    std::string out(std::char_traits<char16_t>::length(text) * 3 + 1, '\0');
    const SSIZE_T n = Utf16ToUtf8(text, -1, out.data(), out.size());
    out.resize(n > 0 ? std::strlen(out.c_str()) : 0);
    return out;
}

std::u16string Wide(const char* text) {
    std::vector<WCHAR> out(std::strlen(text) + 1);
    Utf8ToUtf16(text, -1, out.data(), out.size(), true);
    return out.data();
}

// Directories of disk whose files were read.
unsigned ReadDirectories(const DiskInfo* disk) {
    unsigned count = 0;
    for (const SubdirInfo* d = disk->psiRoot; d; d = d->psiChild ? d->psiChild : d->psiNext)
        if (d->bLogged == 1) count++;
    return count;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    gReport = ::open(argv[1], O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (gReport < 0) return 2;
    int first = 2;
    std::u16string treeSpec, lastPath;
    for (; first < argc && std::strncmp(argv[first], "--", 2) == 0; first++) {
        if (std::strncmp(argv[first], "--tree-spec=", 12) == 0) treeSpec = Wide(argv[first] + 12);
        if (std::strncmp(argv[first], "--last-path=", 12) == 0) lastPath = Wide(argv[first] + 12);
    }
    for (size_t i = 0; i < lastPath.size() && i + 1 < DEST_PATH_UNITS; i++)
        gLastPath[i] = lastPath[i];
    std::vector<std::u16string> arguments = {u"quilb"};
    for (int i = first; i < argc; i++)
        arguments.push_back(Wide(argv[i]));
    std::vector<WCHAR*> table;
    for (auto& argument : arguments)
        table.push_back(argument.data());
    table.push_back(nullptr);
    if (!treeSpec.empty()) AddToHistory(4, treeSpec.c_str());

    const WORD configured = gIniWorking.logMethod;
    StartupOptions options;
    StartupSequence(int(arguments.size()), table.data(), &options);

    std::string letters;
    for (const DiskInfo* d = pdiFirst; d; d = d->pdiNext == pdiFirst ? nullptr : d->pdiNext)
        letters += char(d->cDrive);
    Report("disks=" + letters);
    for (const DiskInfo* d = pdiFirst; d; d = d->pdiNext == pdiFirst ? nullptr : d->pdiNext)
        Report(std::string("disk ") + char(d->cDrive) + " dirs=" + std::to_string(d->dwDirEntries) +
               " read=" + std::to_string(ReadDirectories(d)) +
               " files=" + std::to_string(d->dwFiles));
    Report("current=" + (psiCurrent && psiCurrent->pszFullName ? Utf8(psiCurrent->pszFullName)
                                                               : std::string("none")));
    Report("logmode=" + std::to_string(gLogMode) +
           " configured=" + std::to_string(gIniWorking.logMethod) +
           " before=" + std::to_string(configured) + " depth=" + std::to_string(gLogDepthLimit));
    std::string entries;
    for (const auto& e : options.entries)
        entries += (entries.empty() ? "" : ",") + Utf8(e.c_str());
    Report("options treespec=" + std::to_string(options.treeSpecStart) +
           " filter=" + Utf8(options.filter.c_str()) + " entries=" + entries +
           " pane=" + std::to_string(gCurrentPane) + " mode=" + std::to_string(gDisplayMode[0]));
    Report("done");
    ShutdownSequence('q');
}
