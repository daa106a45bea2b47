// A seeded, replayable property test of tagging and of keeping the tree
// current, on a real small tree logged from disk, for both panes, with and
// without split screen and in directory mode: random tags, untags, inverts,
// ranges, whole directories, branches and the disk, tags by attributes and
// mode and by filespec, marking and untagging the unmarked, copying tags to
// the other pane, files changed on disk and read again, directories added,
// removed and uncounted. After every step the tree's invariants hold (every
// directory and disk counter equals a recount), the list's header and
// gFTagged equal those of a list built afresh, and tags survive a re-read by
// name. QUILB_PROPERTY_SEED=n replays one sequence; QUILB_PROPERTY_STEPS
// lengthens it.
#include "../posix/drive_fixture.h"
#include "main/drive_list.h"
#include "main/window_state.h"
#include "tree/branch_links.h"
#include "tree/dir_counts.h"
#include "tree/file_list.h"
#include "tree/filter.h"
#include "tree/log_state.h"
#include "tree/logging.h"
#include "tree/pane_bookkeeping.h"
#include "tree/refresh.h"
#include "tree/sort_order.h"
#include "tree/tagging.h"
#include "tree/tree_records.h"
#include "list_scope.h"
#include "tree_builder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

const auto Tagged = qtest::IsTaggedFlag;

SubdirInfo* NextRow(SubdirInfo* d) { return d->psiChild ? d->psiChild : d->psiNext; }

std::vector<SubdirInfo*> DirsOf(DiskInfo* disk) {
    std::vector<SubdirInfo*> dirs;
    for (SubdirInfo* d = disk ? disk->psiRoot : nullptr; d; d = NextRow(d)) dirs.push_back(d);
    return dirs;
}

// The part of a full name after "Q:\", with '/' for '\'.
std::string RelativePath(const SubdirInfo* d) {
    std::string out;
    for (const WCHAR* p = d->pszFullName + 3; *p; p++) out += *p == u'\\' ? '/' : char(*p);
    return out;
}

std::u16string NameOf(const FileEntry* e) {
    WCHAR name[TREE_MAX_FULL_NAME + 1];
    GetFileDisplayName(name, e);
    return name;
}

// The display names of dir's files tagged in pane.
std::set<std::u16string> TaggedNames(const SubdirInfo* dir, WORD pane) {
    std::set<std::u16string> names;
    for (DWORD i = 0; dir->pFiles && i < dir->dwFiles; i++)
        if (!IsDriveEntry(&dir->pFiles[i]) && Tagged(dir->pFiles[i].bFlags[pane])) names.insert(NameOf(&dir->pFiles[i]));
    return names;
}

// Some directory of a logged disk is tagged in pane.
bool DirectoryTagged(WORD pane) {
    DiskInfo* disk = pdiFirst;
    for (WORD n = 0; n < gDiskCount && disk; n++, disk = disk->pdiNext)
        for (SubdirInfo* d : DirsOf(disk))
            if (Tagged(d->bFlags[pane])) return true;
    return false;
}

// Panes that have held tagged directories, or listed directories, during
// the running sequence.
bool gDirectoryTagsSeen[2];

// The tree's invariant faults. A tagged directory counts in its parent's
// and its disk's tag figures by the way it was tagged (one more file, its
// own bytes or its branch's, as they were when it was tagged), which no
// recount of the files can see, and its untag may take off a figure that
// has changed since: once a pane has held tagged directories, the tag
// figures of that pane are left out for the rest of the sequence.
std::string TreeFaults() {
    // A pane listing directories keeps directory figures, not file
    // figures, in its per-pane counters: from then on its file recount no
    // longer applies either.
    for (WORD p : {WORD(0), WORD(1)})
        if (DirectoryTagged(p) || gDirMode[p]) gDirectoryTagsSeen[p] = true;
    std::string kept;
    const std::string all = qtest::CheckTreeText();
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        const std::string line = all.substr(start, end - start);
        start = end + 1;
        bool skip = false;
        for (WORD p : {WORD(0), WORD(1)})
            if (gDirectoryTagsSeen[p] && line.find("pane " + std::to_string(p)) != std::string::npos &&
                line.find("tag figures") != std::string::npos)
                skip = true;
        if (!skip) kept += line + "\n";
    }
    return kept;
}

struct Header {
    DWORD taggedEntries, taggedFiles;
    ULONGLONG taggedBytes;
    DWORD fTagged, fMax;
    bool operator==(const Header&) const = default;
};

std::string Describe(const Header& h) {
    return "{entries " + std::to_string(h.taggedEntries) + ", files " + std::to_string(h.taggedFiles) +
           ", bytes " + std::to_string(h.taggedBytes) + ", gFTagged " + std::to_string(h.fTagged) + ", gFMax " +
           std::to_string(h.fMax) + "}";
}

Header CurrentHeader() {
    const WORD pane = WORD(gCurrentPane & 1);
    if (!gFileList) return {0, 0, 0, gFTagged, gFMax};
    return {gFileList->taggedEntries[pane], gFileList->taggedFiles[pane], gFileList->taggedBytes[pane], gFTagged,
            gFMax};
}

void DropList() {
    std::free(gFileList);
    gFileList = nullptr;
    gFMax = 0;
}

// The pane's full list built afresh for its display mode.
void BuildList() {
    const WORD pane = WORD(gCurrentPane & 1);
    gTaggedOnly[pane] = 0;
    if (gDisplayMode[pane] <= 2) BuildDisplayFileList(0);
    else BuildGlobalFileList(0, pdiCurrent, 99);
}

// A small tree on drive Q with names that differ only in case, several
// extensions, hidden and read-only files and modes 644, 600 and 755.
class TagRefreshProperty : public DriveMapTest {
  protected:
    std::string root;

    void SetUp() override {
        // Each sequence starts from the same files.
        std::filesystem::remove_all(dir.Sub("q"));
        root = dir.MakeDir("q");
        Write("top.txt", "12345", 0644);
        Write("A.TXT", std::string(30, 'a'), 0644);
        Write("a.txt", "a", 0600);
        Write("run.sh", "#!/bin/sh\n", 0755);
        Write("b.c", std::string(70, 'b'), 0644);
        Write("src/main.c", std::string(200, 'm'), 0644);
        Write("src/util.h", std::string(40, 'u'), 0600);
        Write("src/tool", std::string(9, 't'), 0755);
        Write("src/deep/x.txt", "xx", 0444);
        Write("src/deep/y.TXT", "yyy", 0644);
        Write("docs/readme.md", std::string(12, 'r'), 0644);
        Write("docs/old/n.txt", "n", 0644);
        Write("docs/old/.hidden", "h", 0644);
        dir.MakeDir("q/empty");
        SetMounts({{"/", "ext4", "/dev/vda1"}});
        WriteDrivesFile("q: " + root + "\n");
        Reset();
    }
    void TearDown() override {
        Reset();
        DriveMapTest::TearDown();
    }
    void Reset() {
        qtest::ResetTreeState();
        InitFilterSlots();
        gLogMode = LOG_FULL_DISK;
    }
    void Write(const std::string& name, const std::string& text, mode_t mode) {
        const std::string path = dir.Write("q/" + name, text);
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    }
    std::string OnDisk(const SubdirInfo* d) {
        const std::string rel = RelativePath(d);
        return rel.empty() ? root : root + "/" + rel;
    }

    void RunSequence(uint32_t seed, int steps);
};

std::string StepName(int step) {
    static const char* const kNames[] = {
        "build",          "tag entry",        "untag entry",   "tag in directory", "invert",
        "all in list",    "all in directory", "range",         "branch",           "disk",
        "attributes",     "filespec",         "mark and untag unmarked",           "copy to other pane",
        "split screen",   "other pane",       "pane filter",   "directory mode",   "display mode",
        "cursor",         "change on disk and refresh",        "add directory",    "remove directory",
        "uncount branch"};
    return kNames[step];
}

void TagRefreshProperty::RunSequence(uint32_t seed, int steps) {
    std::mt19937 rng(seed);
    gDirectoryTagsSeen[0] = gDirectoryTagsSeen[1] = false;
    ASSERT_EQ(LogDrive('Q', FALSE, FALSE, TRUE), LOGDRIVE_OK);
    pdiCurrent = FindVolume('Q');
    ASSERT_NE(pdiCurrent, nullptr);
    psiCurrent = pdiCurrent->psiRoot;
    ASSERT_EQ(qtest::CheckTreeText(), "") << "the logged fixture";
    BuildList();
    static const char16_t* const kPaneFilters[] = {u"*.*", u"*.txt", u"-a*", u">S20", u"*.c,*.h", u"*.*"};
    static const char16_t* const kTagSpecs[] = {u"*.txt", u"*.TXT", u"a.*", u"run*", u"*.c", u"-*.h",
                                                u"<S10",  u"*",     u"readme.md", u"x*,y*"};
    static const char16_t* const kModes[] = {u"u+x", u"644", u"600", u"755", u"go-w", u"o+r", u"", u"zz"};
    static const char kPlaces[] = {'R', 'A', 'S', 'H'};
    int created = 0;
    for (int i = 0; i < steps; i++) {
        static const int kWeights[24] = {10, 10, 6, 6, 5, 4, 4, 5, 4, 3, 5, 5, 4, 4, 2, 2, 2, 2, 3, 5, 6, 3, 2, 2};
        int total = 0;
        for (int w : kWeights) total += w;
        int pick = int(rng() % unsigned(total));
        int step = 0;
        while (pick >= kWeights[step]) pick -= kWeights[step++];
        const WORD pane = WORD(gCurrentPane & 1);
        SCOPED_TRACE("seed " + std::to_string(seed) + ", step " + std::to_string(i) + ": " + StepName(step) +
                     " in pane " + std::to_string(pane) + (gSplitScreen ? ", split screen" : "") + ", display mode " +
                     std::to_string(gDisplayMode[pane]) + (gDirMode[pane] ? ", directory mode" : "") +
                     " (replay with QUILB_PROPERTY_SEED=" + std::to_string(seed) + ")");
        std::vector<SubdirInfo*> dirs = DirsOf(pdiCurrent);
        SubdirInfo* const someDir = dirs[rng() % dirs.size()];
        // A step that changes tags outside the list leaves the list to be
        // built again, as the windows do after it.
        bool rebuild = false;
        bool checkNames = false;
        SubdirInfo* refreshed = nullptr;
        std::set<std::u16string> keptNames[2];
        switch (step) {
        case 0:
            BuildList();
            break;
        case 1:
        case 2:
            if (gFileList && gFMax) {
                const DWORD k = DWORD(rng() % gFMax);
                const BYTE f = ListEntries(gFileList)[k]->bFlags[pane];
                if (step == 1 && (f & ENTRY_MATCHES) && !Tagged(f)) TagEntry(nullptr, LONG(k));
                if (step == 2 && Tagged(f)) UntagEntry(nullptr, LONG(k));
            }
            break;
        case 3: // one file of a directory, or the directory itself
            if (gDirMode[pane]) {
                if (someDir->wLevel > 0) {
                    if (Tagged(someDir->bFlags[pane])) UntagEntry(someDir, TAG_DIRECTORY_ITSELF);
                    else if (someDir->bFlags[pane] & ENTRY_MATCHES) TagEntry(someDir, TAG_DIRECTORY_ITSELF);
                }
            } else if (someDir->pFiles && someDir->dwFiles) {
                const LONG k = LONG(rng() % someDir->dwFiles);
                const BYTE f = someDir->pFiles[k].bFlags[pane];
                if (Tagged(f)) UntagEntry(someDir, k);
                else if (f & ENTRY_MATCHES) TagEntry(someDir, k);
            }
            rebuild = true;
            break;
        case 4:
            if (rng() % 2) {
                InvertTagsInDir(nullptr);
            } else {
                InvertTagsInDir(someDir);
                rebuild = true;
            }
            break;
        case 5:
            if (rng() % 2) TagAllInDir(nullptr);
            else UntagAllInDir(nullptr);
            break;
        case 6:
            if (rng() % 2) TagAllInDir(someDir);
            else UntagAllInDir(someDir);
            rebuild = true;
            break;
        case 7:
            if (gFileList && gFMax) TagRange(DWORD(rng() % gFMax), BOOL(rng() % 2), BOOL(rng() % 2));
            break;
        case 8:
            TagBranchAll(WORD(TAG_BRANCH_TAG + rng() % 3), someDir);
            rebuild = true;
            break;
        case 9: {
            static const int kLetters[] = {'T', 'U', 'I'};
            TagDiskAll(kLetters[rng() % 3]);
            rebuild = true;
            break;
        }
        case 10: { // by attributes and mode over the listed files
            if (!gFileList || gDirMode[pane]) break;
            AttrTest test{};
            const int place = int(rng() % 4);
            if (rng() % 2) test.places[place] = WCHAR(rng() % 2 ? kPlaces[place] : kPlaces[place] + 32);
            const std::u16string mode = kModes[rng() % 8];
            std::copy(mode.begin(), mode.end(), test.modeText);
            const BOOL tag = BOOL(rng() % 2);
            for (DWORD k = 0; k < gFMax; k++) {
                FileEntry* e = reinterpret_cast<FileEntry*>(ListEntries(gFileList)[k]);
                const int r = FilterMatchDate(&test, e->wAttributes, GetEntryModeWord(e), tag);
                if (r == 1 && !Tagged(e->bFlags[pane])) TagEntry(nullptr, LONG(k));
                if (r == -1 && Tagged(e->bFlags[pane])) UntagEntry(nullptr, LONG(k));
            }
            break;
        }
        case 11: { // by name, extension or filespec over the listed files
            if (!gFileList || gDirMode[pane]) break;
            FilterSlot& slot = gFilterSlots[2];
            ASSERT_EQ(CompileFilterText(kTagSpecs[rng() % 10], &slot, nullptr, 0, nullptr), FILTER_OK);
            const bool tag = rng() % 2;
            for (DWORD k = 0; k < gFMax; k++) {
                FileEntry* e = reinterpret_cast<FileEntry*>(ListEntries(gFileList)[k]);
                if (!SlotPasses(slot, e)) continue;
                if (tag && !Tagged(e->bFlags[pane])) TagEntry(nullptr, LONG(k));
                if (!tag && Tagged(e->bFlags[pane])) UntagEntry(nullptr, LONG(k));
            }
            break;
        }
        case 12: // marked, then some newly tagged, then the unmarked untagged
            if (!gFileList) break;
            MarkTaggedInList();
            for (DWORD k = 0; k < gFMax; k++) {
                const BYTE f = ListEntries(gFileList)[k]->bFlags[pane];
                if ((f & ENTRY_MATCHES) && !Tagged(f) && rng() % 3 == 0) TagEntry(nullptr, LONG(k));
            }
            UntagUnmarked();
            break;
        case 13:
            if (gSplitScreen && gFileList) CopyTagsToOtherSide();
            break;
        case 14:
            DropList();
            gSplitScreen = !gSplitScreen;
            if (!gSplitScreen) SetCurrentPane(0);
            RecountAllDisks();
            rebuild = true;
            break;
        case 15:
            DropList();
            if (gSplitScreen) SetCurrentPane(WORD(1 - pane));
            rebuild = true;
            break;
        case 16: { // a pane's filter as the filter prompt makes it
            DropList();
            const int which = gSplitScreen ? int(rng() % 2) : pane;
            ASSERT_EQ(CompileFilterText(kPaneFilters[rng() % 6], &gFilterSlots[which], nullptr, 0, nullptr), FILTER_OK);
            if (!gSplitScreen) CopyFilterSlot(&gFilterSlots[1 - which], &gFilterSlots[which]);
            RecountAllDisks();
            rebuild = true;
            break;
        }
        case 17:
            DropList();
            gDirMode[pane] = rng() % 3 == 0;
            gPaneOrder[pane] = gDirMode[pane] ? &gDirOrder[pane] : &gFileOrder[pane];
            RecountAllDisks();
            rebuild = true;
            break;
        case 18:
            DropList();
            gDisplayMode[pane] = WORD(1 + rng() % 5);
            if (gDisplayMode[pane] == 2) gDisplayMode[pane] = 1;
            rebuild = true;
            break;
        case 19:
            DropList();
            psiCurrent = someDir;
            rebuild = true;
            break;
        case 20: { // a file added, removed or resized on disk, then read again
            if (someDir->bLogged != 1 || !someDir->pFiles) break;
            DropList();
            const std::string where = OnDisk(someDir);
            std::vector<std::string> names;
            for (DWORD k = 0; k < someDir->dwFiles; k++) {
                std::string n;
                for (WCHAR c : NameOf(&someDir->pFiles[k])) n += char(c);
                names.push_back(n);
            }
            std::string removedName;
            switch (rng() % 3) {
            case 0:
                dir.Write(where.substr(dir.path().size() + 1) + "/new" + std::to_string(created++) + ".txt",
                          std::string(rng() % 50, 'n'));
                break;
            case 1:
                if (!names.empty()) {
                    removedName = names[rng() % names.size()];
                    ASSERT_EQ(::unlink((where + "/" + removedName).c_str()), 0);
                }
                break;
            default:
                if (!names.empty()) {
                    const std::string resized = where + "/" + names[rng() % names.size()];
                    ASSERT_EQ(::truncate(resized.c_str(), off_t(rng() % 500)), 0);
                }
                break;
            }
            for (WORD p : {WORD(0), WORD(1)}) {
                keptNames[p] = TaggedNames(someDir, p);
                std::u16string gone(removedName.begin(), removedName.end());
                keptNames[p].erase(gone);
            }
            if (rng() % 2) {
                ASSERT_EQ(RefreshDirFiles(someDir, TRUE, TRUE), 1);
            } else {
                MarkDirForRefresh(someDir->pszFullName, someDir->pszFullName, FALSE);
                ASSERT_EQ(LogBranchWorker(pdiCurrent->psiRoot, TRUE, TRUE, FALSE), 1);
            }
            refreshed = someDir;
            checkNames = true;
            rebuild = true;
            break;
        }
        case 21: { // a new directory made through the tree
            if (someDir->bLogged != 1) break;
            DropList();
            const std::u16string name = u"made" + std::u16string(1, char16_t(u'0' + created % 10)) +
                                        std::u16string(1, char16_t(u'a' + (created / 10) % 26));
            created++;
            std::u16string parent = someDir->pszFullName;
            if (parent.back() != u'\\') parent += u'\\';
            ASSERT_EQ(AddDirByPath(parent.c_str(), name.c_str(), BOOL(rng() % 2)), 0);
            ASSERT_NE(FindDirByPath((parent + name).c_str(), nullptr, TRUE), nullptr);
            rebuild = true;
            break;
        }
        case 22: { // a directory without subdirectories deleted on disk and taken out
            std::vector<SubdirInfo*> leaves;
            for (SubdirInfo* d : dirs)
                if (d->wLevel > 0 && !d->psiChild) leaves.push_back(d);
            if (leaves.empty()) break;
            DropList();
            SubdirInfo* gone = leaves[rng() % leaves.size()];
            std::filesystem::remove_all(OnDisk(gone));
            if (psiCurrent == gone) psiCurrent = gone->psiParent;
            if (gPaneCurrentEntry[0] && gPaneCurrentEntry[0]->psiOwner == gone) gPaneCurrentEntry[0] = nullptr;
            if (gPaneCurrentEntry[1] && gPaneCurrentEntry[1]->psiOwner == gone) gPaneCurrentEntry[1] = nullptr;
            RemoveDirRecord(gone, FindTreePredecessor(gone), TRUE);
            rebuild = true;
            break;
        }
        case 23:
            DropList();
            UncountBranch(someDir, BOOL(rng() % 2));
            rebuild = true;
            break;
        }
        ASSERT_EQ(TreeFaults(), "");
        if (checkNames) {
            for (WORD p : {WORD(0), WORD(1)}) {
                if (p != pane && !gSplitScreen) continue;
                const std::set<std::u16string> now = TaggedNames(refreshed, p);
                for (const std::u16string& n : keptNames[p])
                    EXPECT_TRUE(now.count(n)) << "pane " << p << " lost the tag of " << qtest::NarrowText(n);
            }
        }
        if (rebuild) BuildList();
        // The list's figures, kept by every step that tagged through it,
        // equal those of a list built afresh.
        // A scope with nothing to show has no list to compare.
        const bool listed = gFileList != nullptr;
        const Header kept = CurrentHeader();
        DWORD listedTagged = 0;
        for (DWORD k = 0; gFileList && k < gFMax; k++) {
            const BYTE f = ListEntries(gFileList)[k]->bFlags[gCurrentPane & 1];
            if ((f & ENTRY_MATCHES) && Tagged(f)) listedTagged++;
        }
        EXPECT_EQ(kept.taggedEntries, listedTagged) << "the header counts the listed tagged entries";
        DropList();
        BuildList();
        const Header fresh = CurrentHeader();
        if (listed && !DirectoryTagged(WORD(gCurrentPane & 1)) &&
            !gDirectoryTagsSeen[gCurrentPane & 1]) {
            ASSERT_EQ(kept, fresh) << "kept " << Describe(kept) << ", afresh " << Describe(fresh);
        } else if (listed) {
            ASSERT_EQ(kept.taggedEntries, fresh.taggedEntries);
            ASSERT_EQ(kept.fTagged, fresh.fTagged);
            ASSERT_EQ(kept.fMax, fresh.fMax);
        }
    }
}

TEST_F(TagRefreshProperty, RandomSequencesKeepEveryCounterInStep) {
    const char* seedText = std::getenv("QUILB_PROPERTY_SEED");
    const char* stepsText = std::getenv("QUILB_PROPERTY_STEPS");
    const int steps = stepsText ? std::atoi(stepsText) : 50;
    if (seedText) {
        RunSequence(uint32_t(std::strtoul(seedText, nullptr, 10)), steps);
        return;
    }
    for (uint32_t seed = 1; seed <= 40 && !HasFatalFailure(); seed++) {
        TearDown();
        SetUp();
        RunSequence(seed, steps);
    }
}

} // namespace
