// Building the global file list: a filter change on a pane in global mode
// (compile the filter, recount the disk with the entry test on every file,
// gather and sort the list) in each of the usual orders and both character
// sets, against `find DIR -name PATTERN | sort` over the same tree on disk;
// and the list's sort alone against std::stable_sort with the same
// comparator. Checks what it measures (the list holds what find finds, in
// the comparator's order) and ends nonzero when it does not.
//   list_build_bench [--quick]
#include "bench_timing.h"
#include "main/window_state.h"
#include "tree/dir_counts.h"
#include "tree/file_list.h"
#include "tree/filter.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "tree_builder.h"
#include "tree_fixture.h"

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using qbench::Best;
using qbench::Clock;
using qbench::RunTool;
using qbench::Seconds;

namespace {

// The pattern a user narrows to, as the filter and as find's -name; it
// matches files only (directories are named dNNNNN).
constexpr char16_t kPattern[] = u"*7.dat";
constexpr char kFindPattern[] = "*7.dat";
// The filter the pane held before the change.
constexpr char16_t kPreviousFilter[] = u"*.*";

struct Order {
    const char* name;
    BYTE key;
    BYTE pathFirst;
};
constexpr Order kOrders[] = {
    {"name", SORT_NAME, 0}, {"extension", SORT_EXTENSION, 0}, {"date", SORT_DATE, 0},
    {"size", SORT_SIZE, 0}, {"nuMber", SORT_NUMBER, 0},       {"path first", SORT_NAME, 1},
};

bool SetFilter(const char16_t* text) {
    char message[128] = {};
    BOOL truncated = FALSE;
    return CompileFilterText(text, &gFilterSlots[gCurrentPane], message, sizeof message,
                             &truncated) == FILTER_OK;
}

// The lines an outside command prints, sorted (empty when it cannot run).
std::vector<std::string> OutputLines(const std::string& command) {
    std::vector<std::string> lines;
    FILE* out = (::popen)(command.c_str(), "r");
    if (!out) return lines;
    std::string line;
    for (int c; (c = (std::fgetc)(out)) != EOF;) {
        if (c != '\n') {
            line += char(c);
            continue;
        }
        lines.push_back(line);
        line.clear();
    }
    (::pclose)(out);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// The listed files' paths on disk below root, sorted: the owner's full name
// without the drive, separators turned round (every name here is ASCII).
std::vector<std::string> ListedPaths(EntryHead** listed, DWORD n, const std::string& root) {
    std::vector<std::string> paths;
    paths.reserve(n);
    WCHAR name[MAX_PATH + 1];
    for (DWORD i = 0; i < n; i++) {
        const FileEntry* e = reinterpret_cast<const FileEntry*>(listed[i]);
        std::string path = root;
        for (const WCHAR* c = e->psiOwner->pszFullName + 2; *c; c++)
            path += *c == u'\\' ? '/' : char(*c);
        if (path.back() != '/') path += '/';
        GetFileDisplayName(name, e);
        for (const WCHAR* c = name; *c; c++)
            path += char(*c);
        paths.push_back(std::move(path));
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

// The listed files in the order the walk meets them: every matching file of
// every logged directory, in tree order, drive entries left out.
std::vector<EntryHead*> WalkOrder(DiskInfo* disk) {
    std::vector<EntryHead*> out;
    for (SubdirInfo* d = disk->psiRoot; d; d = d->psiChild ? d->psiChild : d->psiNext) {
        if (!d->pFiles || !d->bLogged) continue;
        for (FileEntry* e = d->pFiles; e->wszShortName[0]; e++)
            if (!IsDriveEntry(e) && (e->bFlags[gCurrentPane] & ENTRY_MATCHES))
                out.push_back(HeadOf(e));
    }
    return out;
}

// Heap bytes the tree's records take (usable sizes of the disk, directory
// and file-array blocks and of every name), allocator headers left out.
size_t TreeBytes(DiskInfo* disk) {
    size_t bytes = ::malloc_usable_size(disk);
    for (SubdirInfo* d = disk->psiRoot; d; d = d->psiChild ? d->psiChild : d->psiNext) {
        bytes += ::malloc_usable_size(d) + ::malloc_usable_size(d->pszFullName);
        if (!d->pFiles) continue;
        bytes += ::malloc_usable_size(d->pFiles);
        for (FileEntry* e = d->pFiles; e->wszShortName[0]; e++)
            if (e->pszLongName) bytes += ::malloc_usable_size(e->pszLongName);
    }
    return bytes;
}

bool Fail(const char* what, const char* order, int charset) {
    (std::fprintf)(stderr, "list_build_bench: %s (order %s, %s)\n", what, order,
                   charset ? "ANSI" : "OEM");
    return false;
}

} // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && !std::strcmp(argv[1], "--quick");
    const int runs = quick ? 1 : 3;
    const std::string base = qbench::MakeScratch("quilb-list-build");
    if (base.empty()) return 1;
    const std::string root = base + "/t";
    // The short run stays within a few seconds: making files on disk is the
    // slow part. Every name is one that find and the tree treat alike.
    const qtest::TreeSpec spec{.seed = 22,
                               .directories = quick ? 500 : 100000,
                               .files = quick ? 5000 : 1000000,
                               .maxDepth = 8,
                               .maxFileSize = 4000,
                               .awkward = false};
    auto started = Clock::now();
    const qtest::Manifest manifest = qtest::GenerateTree(root, spec);
    (std::printf)("tree of %d files in %d directories written to disk in %.1f s\n", spec.files,
                  spec.directories, Seconds(started));
    started = Clock::now();
    DiskInfo* disk = qtest::BuildTreeFromManifest('T', manifest);
    (std::printf)("the same tree built in memory in %.1f s\n", Seconds(started));
    if (quick && !qtest::CheckTree().empty()) {
        (std::fprintf)(stderr, "list_build_bench: the built tree is not sound\n");
        qtest::FreeTrees();
        qbench::RemoveScratch(base);
        return 1;
    }
    (std::printf)("tree records: %.1f bytes per file (heap blocks, allocator headers excluded)\n",
                  double(TreeBytes(disk)) / spec.files);

    InitFilterSlots();
    gCurrentPane = 0;
    gDisplayMode[0] = 5;
    gDirMode[0] = 0;
    gTaggedOnly[0] = 0;
    pdiCurrent = disk;
    psiCurrent = disk->psiRoot;

    const std::string find = "find '" + root + "' -name '" + kFindPattern + "'";
    const std::vector<std::string> found = OutputLines(find);
    const double findSort = RunTool(find + " | sort", runs);
    (std::printf)("find -name '%s' | sort: %zu files in %.3f s\n\n", kFindPattern, found.size(),
                  findSort);
    (std::printf)("%-11s %-4s %10s %8s %10s %10s %8s\n", "order", "set", "rebuild s", "/find",
                  "sort s", "stable s", "/stable");

    bool ok = !found.empty();
    if (!ok) (std::fprintf)(stderr, "list_build_bench: find listed nothing\n");
    double listBytes = 0;
    for (const Order& order : kOrders) {
        for (BYTE charset = 0; charset < 2 && ok; charset++) {
            gFileOrder[0] = SortSpec{order.key, order.pathFirst, 0, charset, SORT_STAMP_WRITTEN};
            gPaneOrder[0] = &gFileOrder[0];
            // The arrays were built in name order, which is what they hold.
            gArrayOrder = SortSpec{SORT_NAME, 0, 0, charset, SORT_STAMP_WRITTEN};

            double rebuild = 1e30;
            for (int run = 0; run < runs && ok; run++) {
                ok = SetFilter(kPreviousFilter);
                RecountDisk(disk);
                const auto start = Clock::now();
                ok = ok && SetFilter(kPattern);
                RecountDisk(disk);
                BuildGlobalFileList(FALSE, disk, 0);
                rebuild = std::min(rebuild, Seconds(start));
            }
            if (!ok) {
                Fail("the filter did not compile", order.name, charset);
                break;
            }
            if (!gFileList || gFMax != found.size()) {
                (std::fprintf)(stderr, "list_build_bench: %u listed, find found %zu\n",
                               gFileList ? gFMax : 0, found.size());
                ok = Fail("the list and find disagree", order.name, charset);
                break;
            }
            const DWORD n = gFMax;
            EntryHead** listed = ListEntries(gFileList);
            if (ListedPaths(listed, n, root) != found)
                ok = Fail("the list holds other files than find found", order.name, charset);
            for (DWORD i = 1; i < n && ok; i++)
                if (SortFileList(listed[i - 1], listed[i]) > 0)
                    ok = Fail("the list is out of order", order.name, charset);
            listBytes = double(48 + 8 * (size_t(n) + 1)) / n;

            // The sort alone, from the order the walk gathers the entries in.
            const std::vector<EntryHead*> walked = WalkOrder(disk);
            std::vector<EntryHead*> merged = walked, stable = walked, scratch(walked.size());
            const double mergeSort = Best(runs, [&] {
                std::copy(walked.begin(), walked.end(), merged.begin());
                FileListMergeSort(merged.data(), DWORD(merged.size()), scratch.data());
            });
            const double stdSort = Best(runs, [&] {
                std::copy(walked.begin(), walked.end(), stable.begin());
                std::stable_sort(
                    stable.begin(), stable.end(),
                    [](const EntryHead* a, const EntryHead* b) { return SortFileList(a, b) < 0; });
            });
            // Two stable sorts with one comparator agree entry for entry, and
            // the built list was sorted stably from the same walk.
            if (ok && merged != stable)
                ok = Fail("the merge sort and std::stable_sort differ", order.name, charset);
            if (ok && !std::equal(merged.begin(), merged.end(), listed, listed + n))
                ok = Fail("the built list differs from a stable sort of the walk", order.name,
                          charset);
            (std::printf)("%-11s %-4s %10.4f %8.2f %10.4f %10.4f %8.2f\n", order.name,
                          charset ? "ANSI" : "OEM", rebuild, rebuild / findSort, mergeSort, stdSort,
                          mergeSort / stdSort);
        }
    }
    if (ok)
        (std::printf)("\nlist block: %.2f bytes per listed entry (%u entries)\n", listBytes, gFMax);
    std::free(gFileList);
    gFileList = nullptr;
    gFMax = 0;
    qtest::FreeTrees();
    if (!qbench::RemoveScratch(base)) return 1;
    return ok ? 0 : 1;
}
