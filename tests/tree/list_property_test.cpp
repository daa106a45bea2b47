// A seeded, replayable property test of the tree's bookkeeping for both
// panes: random sequences of filter changes, split screen on and off, tags,
// recounts, marking and untagging, freeing files and branches, releasing
// disks, expanding and collapsing, and list builds in every mode. After
// every step the tree's invariants hold (incremental counters equal a
// recount) and a list built in that step equals its scope gathered by brute
// force. QUILB_PROPERTY_SEED=n replays one sequence; QUILB_PROPERTY_STEPS
// lengthens it.
#include "archive/archive_state.h"
#include "main/window_state.h"
#include "tree/branch_links.h"
#include "tree/dir_counts.h"
#include "tree/file_list.h"
#include "tree/filter.h"
#include "tree/sort_order.h"
#include "tree/tree_records.h"
#include "list_scope.h"
#include "tree_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

const auto Tagged = qtest::IsTaggedFlag;

SubdirInfo* NextRow(SubdirInfo* d) { return d->psiChild ? d->psiChild : d->psiNext; }

std::vector<DiskInfo*> Disks() {
    std::vector<DiskInfo*> disks;
    DiskInfo* k = pdiFirst;
    for (WORD n = 0; n < gDiskCount && k; n++, k = k->pdiNext) disks.push_back(k);
    return disks;
}

std::vector<SubdirInfo*> DirsOf(DiskInfo* disk) {
    std::vector<SubdirInfo*> dirs;
    for (SubdirInfo* d = disk ? disk->psiRoot : nullptr; d; d = NextRow(d)) dirs.push_back(d);
    return dirs;
}

class ListProperty : public ::testing::Test {
  protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        qtest::ResetTreeState();
        InitFilterSlots();
    }
};

// One random disk: directories up to three levels, files of assorted names,
// sizes and tags.
void BuildRandomDisk(std::mt19937& rng, char letter) {
    static const char16_t* const kNames[] = {u"a", u"b", u"readme", u"x10", u"x2", u"Data", u"z", u"note"};
    static const char16_t* const kExts[] = {u".txt", u".c", u".h", u"", u".TXT"};
    std::vector<std::u16string> dirs{u""};
    std::u16string description;
    const int dirCount = 1 + int(rng() % 7);
    for (int i = 0; i < dirCount; i++) {
        const std::u16string& parent = dirs[rng() % dirs.size()];
        if (std::count(parent.begin(), parent.end(), u'\\') >= 3) continue;
        const std::u16string dir = parent + u"d" + std::u16string(1, char16_t(u'a' + i)) + u"\\";
        dirs.push_back(dir);
        description += dir + u" ";
    }
    const int files = 6 + int(rng() % 40);
    for (int i = 0; i < files; i++) {
        const std::u16string& dir = dirs[rng() % dirs.size()];
        std::u16string name = std::u16string(kNames[rng() % 8]) + char16_t(u'0' + i % 10) +
                              char16_t(u'a' + i / 10) + kExts[rng() % 5];
        const unsigned size = rng() % 60;
        const int flags = (rng() % 4 == 0) ? 3 : 2;
        description += dir + name + u"=" + std::u16string(1, char16_t(u'0' + size / 10)) +
                       char16_t(u'0' + size % 10) + u"#" + char16_t(u'0' + flags) + u" ";
    }
    qtest::BuildTree(letter, description);
}

// Compares the list just built with its scope; returns a description of
// the first difference, or "".
std::string CheckList(DWORD taggedOnly) {
    const int pane = gCurrentPane;
    const WORD mode = gDisplayMode[pane];
    std::vector<EntryHead*> expected;
    DWORD taggedEntries = 0, taggedFiles = 0;
    ULONGLONG taggedBytes = 0, matchingBytes = 0;
    DWORD total = 0, matching = 0, tagged = 0;
    if (gDirMode[pane]) {
        std::vector<SubdirInfo*> dirs;
        if (mode <= 2) {
            for (SubdirInfo* d = psiCurrent->psiChild; d && d->wLevel == psiCurrent->wLevel + 1; d = d->psiNext)
                dirs.push_back(d);
        } else {
            dirs = qtest::ScopeDirs(mode, pdiCurrent);
        }
        for (SubdirInfo* d : dirs) {
            if (!d->pszName) continue;
            total++;
            const BYTE f = d->bFlags[pane];
            if (!(f & ENTRY_MATCHES)) continue;
            if (Tagged(f)) tagged++;
            if (Tagged(f) || !taggedOnly) expected.push_back(HeadOf(d));
        }
    } else {
        for (SubdirInfo* d : qtest::ScopeDirs(mode, pdiCurrent)) {
            if (!d->pFiles || !d->bLogged) continue;
            for (FileEntry* e = d->pFiles; e->wszShortName[0]; e++) {
                if (IsDriveEntry(e)) continue;
                const BYTE f = e->bFlags[pane];
                total++;
                if (f & ENTRY_MATCHES) matching++;
                if (Tagged(f)) tagged++;
                if (!(f & ENTRY_MATCHES)) continue;
                if (Tagged(f)) taggedEntries++;
                else if (taggedOnly) continue;
                expected.push_back(HeadOf(e));
            }
            taggedFiles += d->dwTagFiles[pane];
            taggedBytes += d->qwTagBytes[pane];
            matchingBytes += d->qwMatchBytes[pane];
        }
    }
    if (gFTotal != total || gFMatching != matching || gFTagged != tagged)
        return "the scope's counters: total " + std::to_string(gFTotal) + "/" + std::to_string(total) +
               ", matching " + std::to_string(gFMatching) + "/" + std::to_string(matching) +
               ", tagged " + std::to_string(gFTagged) + "/" + std::to_string(tagged);
    if (gFMax != expected.size())
        return "listed " + std::to_string(gFMax) + " of " + std::to_string(expected.size());
    if (expected.empty()) return gFileList ? "a list of nothing" : "";
    if (!gFileList) return "no list";
    std::vector<EntryHead*> listed(ListEntries(gFileList), ListEntries(gFileList) + gFMax);
    if (ListEntries(gFileList)[gFMax]) return "no end mark";
    std::vector<EntryHead*> a = listed, b = expected;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    if (a != b) return "other entries than the scope's";
    if (mode >= 3 || gDirMode[pane])
        for (size_t i = 1; i < listed.size(); i++)
            if (SortFileList(listed[i - 1], listed[i]) > 0) return "out of order at " + std::to_string(i);
    if (!gDirMode[pane]) {
        const DisplayFileList& h = *gFileList;
        if (h.taggedEntries[pane] != taggedEntries || h.taggedEntries[1 - pane] != 0)
            return "the header's tagged entries";
        if (mode >= 3 && (h.taggedFiles[pane] != taggedFiles || h.taggedBytes[pane] != taggedBytes ||
                          h.matchingBytes[pane] != matchingBytes))
            return "the header's sums";
    }
    return "";
}

std::string StepName(int step) {
    static const char* const kNames[] = {
        "filter",       "split",       "other pane",  "tag and recount", "build",
        "mark tagged",  "untag scope", "free files",  "remove branches", "release disk",
        "expand walk",  "move cursor", "display mode"};
    return kNames[step];
}

void RunSequence(uint32_t seed, int steps) {
    std::mt19937 rng(seed);
    static const char16_t* const kFilters[] = {u"*.*", u"*.txt", u"-a*", u">S20", u"*.c,*.h",
                                               u"<=L6", u"x*,-*.h", u"=S0", u"-=S0", u"r*"};
    for (char letter : {'C', 'E', 'G'})
        if (rng() % 3 != 0 || letter == 'C') BuildRandomDisk(rng, letter);
    // The code under test frees records from here on.
    qtest::DisownRecords();
    pdiCurrent = pdiFirst;
    psiCurrent = pdiCurrent->psiRoot;
    RecountAllDisks();
    for (int i = 0; i < steps; i++) {
        // Builds come often, the steps that free records seldom, so that
        // lists have something to show through most of a sequence.
        static const int kWeights[13] = {8, 4, 4, 8, 30, 4, 4, 2, 2, 1, 4, 10, 10};
        int pick = int(rng() % 91);
        int step = 0;
        while (pick >= kWeights[step]) pick -= kWeights[step++];
        SCOPED_TRACE("seed " + std::to_string(seed) + ", step " + std::to_string(i) + ": " + StepName(step));
        const int pane = gCurrentPane;
        bool built = false;
        DWORD taggedOnly = 0;
        // Every change of the tree below drops the list first: it points
        // into the records.
        auto dropList = [] {
            std::free(gFileList);
            gFileList = nullptr;
            gFMax = 0;
        };
        switch (step) {
        case 0: { // a filter change on a pane, as the filter prompt makes it
            const int which = gSplitScreen ? int(rng() % 2) : pane;
            ASSERT_EQ(CompileFilterText(kFilters[rng() % 10], &gFilterSlots[which], nullptr, 0, nullptr), FILTER_OK);
            if (!gSplitScreen) CopyFilterSlot(&gFilterSlots[1 - which], &gFilterSlots[which]);
            RecountAllDisks();
            break;
        }
        case 1:
            gSplitScreen = !gSplitScreen;
            if (!gSplitScreen) SetCurrentPane(0);
            RecountAllDisks();
            break;
        case 2:
            if (gSplitScreen) SetCurrentPane(WORD(1 - pane));
            break;
        case 3: { // tags placed by hand, then the disk recounted
            for (DiskInfo* k : Disks())
                for (SubdirInfo* d : DirsOf(k))
                    for (FileEntry* e = d->pFiles; e && e->wszShortName[0]; e++)
                        if (rng() % 5 == 0) e->bFlags[pane] ^= ENTRY_TAGGED;
            DiskInfo* const current = pdiCurrent;
            for (DiskInfo* k : Disks()) {
                pdiCurrent = k;
                RecountDisk(k);
            }
            pdiCurrent = current;
            break;
        }
        case 4:
            built = true;
            taggedOnly = rng() % 3 == 0;
            gDirMode[pane] = rng() % 4 == 0;
            gPaneOrder[pane] = gDirMode[pane] ? &gDirOrder[pane] : &gFileOrder[pane];
            if (gDirMode[pane]) RecountAllDisks(); // directory lists count directories' bits
            gTaggedOnly[pane] = taggedOnly;
            if (gDisplayMode[pane] <= 2) BuildDisplayFileList(taggedOnly);
            else BuildGlobalFileList(taggedOnly, pdiCurrent, 99);
            break;
        case 5:
            MarkTaggedInList();
            break;
        case 6:
            UntagScope(WORD(pane));
            RecountAllDisks();
            break;
        case 7: { // a directory's subdirectories, and maybe its files, freed
            dropList();
            std::vector<SubdirInfo*> dirs = DirsOf(pdiCurrent);
            FreeDirFiles(dirs[rng() % dirs.size()], rng() % 2);
            break;
        }
        case 8: { // several branches removed in one walk
            dropList();
            std::vector<SubdirInfo*> dirs = DirsOf(pdiCurrent);
            std::vector<SubdirInfo*> removed;
            for (SubdirInfo* d : dirs)
                if (d->wLevel > 0 && rng() % 4 == 0) removed.push_back(d);
            std::sort(removed.begin(), removed.end());
            FixBranchLinks(pdiCurrent, removed.data(), removed.size());
            break;
        }
        case 9:
            dropList();
            if (gDiskCount > 1) ReleaseDisk(Disks()[rng() % gDiskCount]);
            break;
        case 10:
            TreeExpandWalk(rng() % 2);
            break;
        case 11: { // the cursor to another directory, maybe on another disk
            std::vector<DiskInfo*> disks = Disks();
            pdiCurrent = disks[rng() % disks.size()];
            std::vector<SubdirInfo*> dirs = DirsOf(pdiCurrent);
            psiCurrent = dirs[rng() % dirs.size()];
            break;
        }
        case 12:
            gDisplayMode[pane] = WORD(1 + rng() % 5);
            if (gDisplayMode[pane] == 2) gDisplayMode[pane] = 1;
            break;
        }
        ASSERT_EQ(qtest::CheckTreeText(), "");
        if (built) {
            ASSERT_EQ(CheckList(taggedOnly), "");
        }
    }
}

TEST_F(ListProperty, RandomSequencesKeepTheTreeAndItsListsSound) {
    const char* seedText = std::getenv("QUILB_PROPERTY_SEED");
    const char* stepsText = std::getenv("QUILB_PROPERTY_STEPS");
    const int steps = stepsText ? std::atoi(stepsText) : 60;
    if (seedText) {
        RunSequence(uint32_t(std::strtoul(seedText, nullptr, 10)), steps);
        return;
    }
    for (uint32_t seed = 1; seed <= 120 && !HasFatalFailure(); seed++) {
        Reset();
        RunSequence(seed, steps);
    }
}

} // namespace
