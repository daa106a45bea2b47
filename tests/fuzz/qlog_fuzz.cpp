// libFuzzer target for the logged-volume file loader: each input is read as
// a whole file, alternately loaded and merged, over a small logged tree
// that is put back before every input. A refused file must leave the tree
// and the bookmarks exactly as they were; an accepted one must give a tree
// whose records hang together (levels, parents, names, file arrays and
// indices).
//
// Input: the bytes of the file, nothing else, so that any QLOG file is a
// seed (run-fuzzers adds the saved small tree through qlog_fuzz_seeds).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "qlog_fuzz_tree.h"
#include "qwcrt.h"
#include "settings/path_lists.h"
#include "settings/qlog.h"
#include "tree/tree_records.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    fprintf(stderr, "qlog_fuzz: %s\n", what);
    abort();
}

void Require(bool holds, const char* what) {
    if (!holds) Fail(what);
}

// Everything the tree holds, as text, to compare before and after.
std::string Fingerprint() {
    std::string out;
    auto units = [&](const WCHAR* text) {
        for (; text && *text; text++) out.append(reinterpret_cast<const char*>(text), 2);
        out.push_back('\0');
    };
    const DiskInfo* disk = pdiFirst;
    for (WORD n = 0; n < gDiskCount && disk; n++, disk = disk->pdiNext) {
        out += char(disk->cDrive);
        for (const SubdirInfo* d = disk->psiRoot; d; d = d->psiChild ? d->psiChild : d->psiNext) {
            units(d->pszFullName);
            out += std::to_string(d->wLevel) + ' ' + std::to_string(d->dwFiles);
            for (const FileEntry* e = d->pFiles; e && e->wszShortName[0]; e++) {
                units(e->wszShortName);
                units(e->pszLongName);
                out += std::to_string(e->qwSize) + ' ' + std::to_string(e->bFlags[0]);
            }
        }
    }
    for (size_t i = 0; i < LoggedPathCount(); i++) units(LoggedPathAt(i));
    out += pdiCurrent ? char(pdiCurrent->cDrive) : '-';
    units(psiCurrent ? psiCurrent->pszFullName : nullptr);
    return out;
}

// The shape every accepted file must leave.
void CheckTree() {
    std::set<BYTE> letters;
    const DiskInfo* disk = pdiFirst;
    for (WORD n = 0; n < gDiskCount; n++, disk = disk->pdiNext) {
        Require(disk != nullptr, "the ring is shorter than the disk count");
        Require(letters.insert(disk->cDrive).second, "a letter logged twice");
        Require(disk->cDrive >= 'A' && disk->cDrive <= 'Z', "a disk without a letter");
        const SubdirInfo* root = disk->psiRoot;
        Require(root && root->wLevel == 0 && root->psiParent == root, "a root out of shape");
        DWORD dirs = 0;
        for (const SubdirInfo* d = root; d; d = d->psiChild ? d->psiChild : d->psiNext) {
            Require(++dirs <= disk->dwDirEntries, "more directories than the disk counts");
            Require(d->pdiDisk == disk, "a directory of another disk");
            const size_t full = wcslen(d->pszFullName);
            Require(full <= TREE_MAX_FULL_NAME, "a full name too long");
            Require(d->pszName >= d->pszFullName && d->pszName <= d->pszFullName + full,
                    "a name outside its full name");
            if (d != root) {
                Require(d->wLevel == d->psiParent->wLevel + 1, "a level that is not its parent's + 1");
                const size_t parent = wcslen(d->psiParent->pszFullName);
                Require(wcsncmp(d->pszFullName, d->psiParent->pszFullName, parent) == 0,
                        "a full name that does not begin with its parent's");
            }
            DWORD files = 0;
            std::set<DWORD> indices;
            for (const FileEntry* e = d->pFiles; e && e->wszShortName[0]; e++, files++) {
                Require(e->psiOwner == d, "a file of another directory");
                Require(indices.insert(e->wIndex).second, "two files with one index");
            }
            Require(files == d->dwFiles, "a file array longer or shorter than its count");
        }
        Require(dirs == disk->dwDirEntries, "fewer directories than the disk counts");
    }
}

std::string gBaseline;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (gBaseline.empty()) gBaseline = qfuzz::SmallTreeImage();
    if (ApplyQlogImage(gBaseline, 1, nullptr) != QLOG_OK) Fail("the small tree's own file was refused");
    const std::string before = Fingerprint();
    const std::string_view image(reinterpret_cast<const char*>(data), size);
    QlogPaneSwitches switches{};
    const int mode = int(size & 1); // both load and merge
    const QlogResult result = ApplyQlogImage(image, mode, &switches);
    if (result == QLOG_OK) {
        CheckTree();
    } else {
        Require(result == QLOG_INVALID || result == QLOG_MALFORMED, "an answer no file may give");
        Require(Fingerprint() == before, "a refused file changed the tree");
    }
    return 0;
}
