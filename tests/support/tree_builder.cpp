// Builds trees straight in the tree's records and checks their invariants.
#include "tree_builder.h"

#include "main/drive_list.h"
#include "tree/log_state.h"

#include "archive/archive_state.h"
#include "main/drive_list.h"
#include "main/window_state.h"
#include "tree/file_list.h"
#include "platform/packed_dates.h"
#include "qposix_path.h"
#include "qwcrt.h"
#include "tree/entry_names.h"
#include "tree/log_state.h"
#include "tree/sort_order.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>
#include <unordered_map>

namespace qtest {

namespace {

// Every directory the builder made, so that a test that breaks the
// threading on purpose still frees them all.
std::set<SubdirInfo*>& Made() {
    static std::set<SubdirInfo*> made;
    return made;
}
std::set<DiskInfo*>& MadeDisks() {
    static std::set<DiskInfo*> made;
    return made;
}

WCHAR* Copy(std::u16string_view text) {
    auto* copy = static_cast<WCHAR*>(std::calloc(text.size() + 1, sizeof(WCHAR)));
    std::copy(text.begin(), text.end(), copy);
    return copy;
}

WORD NameWidth(size_t length) { return WORD(std::max<size_t>(14, length + 1)); }

SubdirInfo* FindChild(SubdirInfo* parent, std::u16string_view name) {
    for (SubdirInfo* c = parent->psiChild; c && c->wLevel == parent->wLevel + 1; c = c->psiNext)
        if (name == c->pszName) return c;
    return nullptr;
}

SubdirInfo* MakeChild(SubdirInfo* parent, std::u16string_view name) {
    SubdirInfo* dir = AllocSubdirRecord();
    Made().insert(dir);
    std::u16string full = parent->pszFullName;
    if (full.empty() || full.back() != u'\\') full += u'\\';
    const size_t nameAt = full.size();
    full += name;
    dir->pszFullName = Copy(full);
    dir->pszName = dir->pszFullName + nameAt;
    dir->wLevel = parent->wLevel + 1;
    dir->wNameWidth = NameWidth(name.size());
    dir->wAttributes = WORD(FILE_ATTRIBUTE_DIRECTORY);
    dir->psiParent = parent;
    dir->pdiDisk = parent->pdiDisk;
    dir->bLogged = 1;
    dir->bVisible = parent->bVisible && parent->bExpanded;
    dir->bExpanded = 1;
    LinkSubdirRecord(parent, dir);
    parent->dwChildren++;
    parent->pdiDisk->dwDirEntries++;
    if (dir->bVisible) parent->pdiDisk->dwTreeRows++;
    return dir;
}

void FreeFiles(SubdirInfo* dir) {
    if (!dir->pFiles) return;
    for (FileEntry* e = dir->pFiles; e->wszShortName[0]; e++) std::free(e->pszLongName);
    std::free(dir->pFiles);
    dir->pFiles = nullptr;
}

const SubdirInfo* NextRow(const SubdirInfo* d) { return d->psiChild ? d->psiChild : d->psiNext; }

} // namespace

void StoreEntryName(FileEntry* entry, std::u16string_view name) {
    if (!name.empty() && name[0] == 0xFFFF) {
        // A drive entry: its marks live in the inline field alone.
        std::free(entry->pszLongName);
        entry->pszLongName = nullptr;
        std::fill(std::begin(entry->wszShortName), std::end(entry->wszShortName), WCHAR(0));
        const std::u16string_view marks = name.substr(0, 12);
        std::copy(marks.begin(), marks.end(), entry->wszShortName);
        return;
    }
    const std::u16string terminated(name);
    SetEntryName(terminated.c_str(), entry);
}

DiskInfo* BuildDisk(char letter, std::u16string_view rootName) {
    DiskInfo* disk = AllocDiskRecord();
    MadeDisks().insert(disk);
    disk->cDrive = BYTE(letter);
    SubdirInfo* root = AllocSubdirRecord();
    Made().insert(root);
    const std::u16string name =
        rootName.empty() ? std::u16string{char16_t(letter), u':', u'\\'} : std::u16string(rootName);
    root->pszFullName = Copy(name);
    root->pszName = root->pszFullName;
    root->psiParent = root;
    root->pdiDisk = disk;
    root->wNameWidth = NameWidth(wcslen(disk->wszDevice) + 4);
    root->wAttributes = WORD(FILE_ATTRIBUTE_DIRECTORY);
    root->bLogged = root->bVisible = root->bExpanded = 1;
    disk->psiRoot = root;
    disk->dwDirEntries = 1;
    LinkDiskRecord(disk);
    if (!pdiCurrent) {
        pdiCurrent = disk;
        psiCurrent = root;
    }
    return disk;
}

SubdirInfo* BuildDir(DiskInfo* disk, std::u16string_view path) {
    SubdirInfo* dir = disk->psiRoot;
    while (!path.empty()) {
        const size_t cut = path.find(u'\\');
        const std::u16string_view name = path.substr(0, cut);
        path = cut == path.npos ? std::u16string_view() : path.substr(cut + 1);
        if (name.empty()) continue;
        SubdirInfo* child = FindChild(dir, name);
        dir = child ? child : MakeChild(dir, name);
    }
    return dir;
}

namespace {

// UTC seconds as a packed date and time.
void PackSeconds(int64_t seconds, PackedDate* date, PackedTime* clock) {
    const time_t t = time_t(seconds);
    struct tm parts {};
    if (!::gmtime_r(&t, &parts)) return;
    *date = PackDate(unsigned(parts.tm_year + 1900), unsigned(parts.tm_mon + 1),
                     unsigned(parts.tm_mday));
    *clock = PackTime(unsigned(parts.tm_hour), unsigned(parts.tm_min), unsigned(parts.tm_sec), 0);
}

// BuildFiles without the recount, for builders that recount once at the end.
void FillFiles(SubdirInfo* dir, const std::vector<BuiltFile>& files) {
    FreeFiles(dir);
    dir->pFiles = AllocFileArray(DWORD(files.size()));
    for (size_t i = 0; i < files.size(); i++) {
        FileEntry* e = &dir->pFiles[i];
        e->wIndex = DWORD(i + 1);
        e->qwSize = files[i].size;
        e->bFlags[0] = files[i].flags[0];
        e->bFlags[1] = files[i].flags[1];
        e->psiOwner = dir;
        if (files[i].written) {
            PackSeconds(files[i].written, &e->dWritten, &e->tWritten);
            e->dCreated = e->dAccessed = e->dWritten;
            e->tCreated = e->tAccessed = e->tWritten;
        }
        StoreEntryName(e, files[i].name);
    }
}

} // namespace

void BuildFiles(SubdirInfo* dir, const std::vector<BuiltFile>& files) {
    FillFiles(dir, files);
    RecountTrees();
}

DiskInfo* BuildTree(char letter, std::u16string_view description) {
    DiskInfo* disk = BuildDisk(letter);
    std::vector<std::pair<SubdirInfo*, BuiltFile>> files;
    while (!description.empty()) {
        const size_t start = description.find_first_not_of(u' ');
        if (start == description.npos) break;
        description = description.substr(start);
        const size_t end = description.find(u' ');
        std::u16string item(description.substr(0, end));
        description = end == description.npos ? std::u16string_view() : description.substr(end);
        if (item.back() == u'\\') {
            BuildDir(disk, item);
            continue;
        }
        BuiltFile file;
        if (const size_t hash = item.find(u'#'); hash != item.npos) {
            file.flags[0] = file.flags[1] = BYTE(std::atoi(std::string(item.begin() + hash + 1, item.end()).c_str()));
            item.resize(hash);
        }
        if (const size_t eq = item.find(u'='); eq != item.npos) {
            file.size = std::strtoull(std::string(item.begin() + eq + 1, item.end()).c_str(), nullptr, 10);
            item.resize(eq);
        }
        const size_t slash = item.rfind(u'\\');
        SubdirInfo* dir = slash == item.npos ? disk->psiRoot : BuildDir(disk, item.substr(0, slash));
        file.name = slash == item.npos ? item : item.substr(slash + 1);
        files.emplace_back(dir, file);
    }
    std::vector<SubdirInfo*> dirs;
    for (auto& [dir, file] : files)
        if (std::find(dirs.begin(), dirs.end(), dir) == dirs.end()) dirs.push_back(dir);
    for (SubdirInfo* dir : dirs) {
        std::vector<BuiltFile> list;
        for (auto& [owner, file] : files)
            if (owner == dir) list.push_back(file);
        BuildFiles(dir, list);
    }
    RecountTrees();
    return disk;
}

DiskInfo* BuildTreeFromManifest(char letter, const Manifest& manifest) {
    DiskInfo* disk = BuildDisk(letter);
    auto toWide = [](const std::string& relative) {
        std::u16string out;
        size_t start = 0;
        while (start <= relative.size()) {
            size_t cut = relative.find('/', start);
            if (cut == relative.npos) cut = relative.size();
            if (cut > start) {
                std::vector<WCHAR> name(cut - start + 1);
                const SSIZE_T n = NameFromPosix(relative.data() + start, SSIZE_T(cut - start),
                                                name.data(), name.size());
                if (!out.empty()) out += u'\\';
                out.append(name.data(), size_t(std::max<SSIZE_T>(n, 0)));
            }
            start = cut + 1;
        }
        return out;
    };
    // Every entry under its parent's path, in manifest order, in one pass.
    std::unordered_map<std::string, std::vector<const ManifestEntry*>> children;
    for (const ManifestEntry& e : manifest.entries) {
        if (e.path.empty()) continue;
        const size_t slash = e.path.rfind('/');
        const std::string parent = slash == std::string::npos ? "" : e.path.substr(0, slash);
        children[parent].push_back(&e);
    }
    const std::vector<std::string> dirs = manifest.Directories();
    for (const std::string& d : dirs)
        if (!d.empty()) BuildDir(disk, toWide(d));
    for (const std::string& d : dirs) {
        std::vector<BuiltFile> files;
        if (const auto found = children.find(d); found != children.end())
            for (const ManifestEntry* e : found->second) {
                if (e->type == 'd') continue;
                const std::u16string path = toWide(e->path);
                const size_t slash = path.rfind(u'\\');
                BuiltFile file;
                file.name = slash == path.npos ? path : path.substr(slash + 1);
                file.size = e->size;
                file.written = e->mtime;
                files.push_back(std::move(file));
            }
        FillFiles(BuildDir(disk, toWide(d)), files);
    }
    RecountTrees();
    return disk;
}

void RecountTrees() {
    DiskInfo* disk = pdiFirst;
    for (WORD n = 0; n < gDiskCount && disk; n++, disk = disk->pdiNext) {
        disk->dwFiles = 0;
        disk->qwFileBytes = 0;
        for (int p = 0; p < 2; p++) {
            disk->dwMatchFiles[p] = disk->dwTagFiles[p] = 0;
            disk->qwMatchBytes[p] = disk->qwTagBytes[p] = 0;
        }
        for (SubdirInfo* d = disk->psiRoot; d; d = const_cast<SubdirInfo*>(NextRow(d))) {
            if (d->pFiles) {
                d->dwFiles = 0;
                d->qwFileBytes = 0;
                for (int p = 0; p < 2; p++) {
                    d->dwMatchFiles[p] = d->dwTagFiles[p] = 0;
                    d->qwMatchBytes[p] = d->qwTagBytes[p] = 0;
                }
                for (const FileEntry* e = d->pFiles; e->wszShortName[0]; e++) {
                    d->dwFiles++;
                    if (IsDriveEntry(e)) continue;
                    d->qwFileBytes += e->qwSize;
                    for (int p = 0; p < 2; p++) {
                        if (e->bFlags[p] & ENTRY_MATCHES) {
                            d->dwMatchFiles[p]++;
                            d->qwMatchBytes[p] += e->qwSize;
                        }
                        if (e->bFlags[p] & (ENTRY_TAGGED | ENTRY_MARKED)) {
                            d->dwTagFiles[p]++;
                            d->qwTagBytes[p] += e->qwSize;
                        }
                    }
                }
            }
            disk->dwFiles += d->dwFiles;
            disk->qwFileBytes += d->qwFileBytes;
            for (int p = 0; p < 2; p++) {
                disk->dwMatchFiles[p] += d->dwMatchFiles[p];
                disk->qwMatchBytes[p] += d->qwMatchBytes[p];
                disk->dwTagFiles[p] += d->dwTagFiles[p];
                disk->qwTagBytes[p] += d->qwTagBytes[p];
            }
        }
    }
}

void ResetTreeState() {
    FreeTrees();
    std::free(gFileList);
    gFileList = nullptr;
    gFMax = gFTagged = gFMatching = gFTotal = 0;
    gArchiveTreeActive = FALSE;
    gArchiveRefreshPending = FALSE;
    gTreeNumberOrder = FALSE;
    gSplitSortDifferent = FALSE;
    gSortResortNeeded = FALSE;
    gSplitScreen = 0;
    gPanesSwapped = 0;
    SetCurrentPane(0);
    for (PaneState& pane : gPanes) pane = PaneState{};
    for (int p = 0; p < 2; p++) {
        gDisplayMode[p] = 1;
        gDirMode[p] = 0;
        gTaggedOnly[p] = 0;
        gPaneCurrentEntry[p] = nullptr;
        gFileOrder[p] = gDirOrder[p] = SortSpec{};
        gPaneOrder[p] = &gFileOrder[p];
        gSortExitFlag[p] = 0;
    }
    gArrayOrder = SortSpec{};
    // The switches of a log (the log mode is each test's own) and the
    // windows' state a log reads.
    gLogDepthLimit = LOG_NO_DEPTH_LIMIT;
    gPrefetchEnabled = 1;
    gLogSkipErrors = 0;
    gDeferRecount = 0;
    gDriveCount = 0;
    gWindowMode = WM_TREE;
    gPickerActive = 0;
}

void FreeTrees() {
    std::set<SubdirInfo*> dirs;
    std::swap(dirs, Made());
    DiskInfo* disk = pdiFirst;
    std::set<DiskInfo*> disks;
    std::swap(disks, MadeDisks());
    std::set<DiskInfo*> walked;
    for (WORD n = 0; n < gDiskCount && disk && walked.insert(disk).second; n++) {
        std::set<const SubdirInfo*> seen;
        for (SubdirInfo* d = disk->psiRoot; d && seen.insert(d).second;
             d = const_cast<SubdirInfo*>(NextRow(d)))
            dirs.insert(d);
        disk = disk->pdiNext;
    }
    for (SubdirInfo* d : dirs) {
        FreeFiles(d);
        std::free(d->pszFullName);
        std::free(d);
    }
    disks.insert(walked.begin(), walked.end());
    for (DiskInfo* d : disks) std::free(d);
    pdiFirst = pdiLast = pdiCurrent = nullptr;
    psiCurrent = nullptr;
    gDiskCount = 0;
}

void DisownRecords() {
    Made().clear();
    MadeDisks().clear();
}

// ---- the checker ------------------------------------------------------------------------------

namespace {

std::string Narrow(const WCHAR* text) {
    std::string out;
    for (; text && *text; text++) out += *text < 0x80 ? char(*text) : '?';
    return out;
}

struct Checker {
    std::vector<std::string> faults;
    template <typename... Args> void Fault(const char* format, Args... args) {
        char text[600];
        (std::snprintf)(text, sizeof text, format, args...);
        faults.emplace_back(text);
    }

    void Ring() {
        if (!gDiskCount) {
            if (pdiFirst || pdiLast) Fault("ring: no disk counted but pdiFirst/pdiLast set");
            return;
        }
        if (!pdiFirst || !pdiLast) return Fault("ring: %u disks but no first or last", gDiskCount);
        if (gDiskCount == 1) {
            if (pdiFirst != pdiLast) Fault("ring: one disk but first differs from last");
            if (pdiFirst->pdiNext || pdiFirst->pdiPrev) Fault("ring: a single disk has links");
            return;
        }
        const DiskInfo* disk = pdiFirst;
        for (WORD n = 1; n < gDiskCount; n++) {
            const DiskInfo* next = disk->pdiNext;
            if (!next) return Fault("ring: ends after %u of %u disks", n, gDiskCount);
            if (next->pdiPrev != disk) Fault("ring: %c's back link is wrong", next->cDrive);
            if (next->cDrive <= disk->cDrive)
                Fault("ring: %c follows %c", next->cDrive, disk->cDrive);
            disk = next;
        }
        if (disk != pdiLast) Fault("ring: disk %u is %c, not pdiLast", gDiskCount, disk->cDrive);
        if (disk->pdiNext != pdiFirst) Fault("ring: the last disk does not lead to the first");
        if (pdiFirst->pdiPrev != pdiLast) Fault("ring: the first disk does not lead back to the last");
    }

    void Files(const SubdirInfo* d, const std::string& name) {
        if (!d->pFiles) return;
        DWORD count = 0;
        ULONGLONG bytes = 0, matchBytes[2] = {}, tagBytes[2] = {};
        DWORD match[2] = {}, tag[2] = {};
        std::set<DWORD> indices;
        for (const FileEntry* e = d->pFiles; e->wszShortName[0]; e++) {
            if (count == d->dwFiles + 1) break; // the count is wrong; stop before running off
            count++;
            if (e->psiOwner != d) Fault("%s: entry %u has another owner", name.c_str(), count);
            if (!indices.insert(e->wIndex).second)
                Fault("%s: index %u repeats", name.c_str(), e->wIndex);
            if (IsDriveEntry(e)) continue;
            bytes += e->qwSize;
            for (int p = 0; p < 2; p++) {
                if (e->bFlags[p] & ENTRY_MATCHES) match[p]++, matchBytes[p] += e->qwSize;
                if (e->bFlags[p] & (ENTRY_TAGGED | ENTRY_MARKED)) tag[p]++, tagBytes[p] += e->qwSize;
            }
        }
        if (count != d->dwFiles)
            Fault("%s: %u files counted, the array holds %s%u", name.c_str(), d->dwFiles,
                  count > d->dwFiles ? "more than " : "", count > d->dwFiles ? d->dwFiles : count);
        if (bytes != d->qwFileBytes)
            Fault("%s: qwFileBytes %llu, files add up to %llu", name.c_str(), d->qwFileBytes, bytes);
        for (int p = 0; p < 2; p++) {
            if (match[p] != d->dwMatchFiles[p] || matchBytes[p] != d->qwMatchBytes[p])
                Fault("%s: pane %d match figures %u/%llu, recount %u/%llu", name.c_str(), p,
                      d->dwMatchFiles[p], d->qwMatchBytes[p], match[p], matchBytes[p]);
            if (tag[p] != d->dwTagFiles[p] || tagBytes[p] != d->qwTagBytes[p])
                Fault("%s: pane %d tag figures %u/%llu, recount %u/%llu", name.c_str(), p,
                      d->dwTagFiles[p], d->qwTagBytes[p], tag[p], tagBytes[p]);
        }
    }

    // Returns the directories of the disk's tree.
    std::set<const SubdirInfo*> Disk(const DiskInfo* disk) {
        std::set<const SubdirInfo*> seen;
        const SubdirInfo* root = disk->psiRoot;
        const char letter = char(disk->cDrive);
        if (!root) return seen;
        if (root->psiParent != root) Fault("%c: the root is not its own parent", letter);
        if (root->wLevel != 0) Fault("%c: the root's level is %u", letter, root->wLevel);
        const WORD width = WORD(std::max<size_t>(14, wcslen(disk->wszDevice) + 5));
        if (root->wNameWidth != width)
            Fault("%c: the root's name width is %u, not %u", letter, root->wNameWidth, width);
        DWORD files = 0, match[2] = {}, tag[2] = {};
        ULONGLONG bytes = 0, matchBytes[2] = {}, tagBytes[2] = {};
        for (const SubdirInfo* d = root; d; d = NextRow(d)) {
            if (!seen.insert(d).second) {
                Fault("%c: the rows come round to %s again", letter, Narrow(d->pszFullName).c_str());
                break;
            }
            const std::string name = Narrow(d->pszFullName);
            if (d->pdiDisk != disk) Fault("%s: pdiDisk is another disk", name.c_str());
            if (!d->pszFullName) {
                Fault("%c: a directory has no full name", letter);
                continue;
            }
            const size_t fullLength = wcslen(d->pszFullName);
            if (d->pszName && (d->pszName < d->pszFullName || d->pszName > d->pszFullName + fullLength))
                Fault("%s: pszName lies outside pszFullName", name.c_str());
            if (d != root) {
                if (!d->psiParent || d->psiParent == d)
                    Fault("%s: no parent", name.c_str());
                else if (d->wLevel != d->psiParent->wLevel + 1)
                    Fault("%s: level %u under a parent of level %u", name.c_str(), d->wLevel,
                          d->psiParent->wLevel);
            }
            // The children: a run at level + 1 in order, the last leading
            // where the directory leads.
            const SubdirInfo* last = nullptr;
            for (const SubdirInfo* c = d->psiChild; c && c->wLevel == d->wLevel + 1; c = c->psiNext) {
                if (c->psiParent != d)
                    Fault("%s: child %s has another parent", name.c_str(), Narrow(c->pszName).c_str());
                if (last && CompareEntryNames(&last, &c) >= 0)
                    Fault("%s: child %s follows %s out of order", name.c_str(),
                          Narrow(c->pszName).c_str(), Narrow(last->pszName).c_str());
                last = c;
                if (seen.count(c->psiNext)) {
                    Fault("%s: the children come round", name.c_str());
                    break;
                }
            }
            if (d->psiChild && !last)
                Fault("%s: the first child is not one level deeper", name.c_str());
            if (last && last->psiNext != d->psiNext)
                Fault("%s: its last child %s does not lead where it leads", name.c_str(),
                      Narrow(last->pszName).c_str());
            Files(d, name);
            files += d->dwFiles;
            bytes += d->qwFileBytes;
            for (int p = 0; p < 2; p++) {
                match[p] += d->dwMatchFiles[p];
                matchBytes[p] += d->qwMatchBytes[p];
                tag[p] += d->dwTagFiles[p];
                tagBytes[p] += d->qwTagBytes[p];
            }
        }
        if (files != disk->dwFiles || bytes != disk->qwFileBytes)
            Fault("%c: disk files %u/%llu, directories add up to %u/%llu", letter, disk->dwFiles,
                  disk->qwFileBytes, files, bytes);
        for (int p = 0; p < 2; p++) {
            if (match[p] != disk->dwMatchFiles[p] || matchBytes[p] != disk->qwMatchBytes[p])
                Fault("%c: pane %d disk match figures %u/%llu, directories %u/%llu", letter, p,
                      disk->dwMatchFiles[p], disk->qwMatchBytes[p], match[p], matchBytes[p]);
            if (tag[p] != disk->dwTagFiles[p] || tagBytes[p] != disk->qwTagBytes[p])
                Fault("%c: pane %d disk tag figures %u/%llu, directories %u/%llu", letter, p,
                      disk->dwTagFiles[p], disk->qwTagBytes[p], tag[p], tagBytes[p]);
        }
        if (disk->dwDirEntries != seen.size())
            Fault("%c: dwDirEntries %u, %zu directories present", letter, disk->dwDirEntries,
                  seen.size());
        return seen;
    }
};

} // namespace

std::vector<std::string> CheckTree() {
    Checker check;
    check.Ring();
    bool currentFound = !pdiCurrent;
    const DiskInfo* disk = pdiFirst;
    for (WORD n = 0; n < gDiskCount && disk; n++, disk = disk->pdiNext) {
        const std::set<const SubdirInfo*> dirs = check.Disk(disk);
        if (disk == pdiCurrent) {
            currentFound = true;
            if (psiCurrent && !dirs.count(psiCurrent))
                check.Fault("psiCurrent is no directory of pdiCurrent's tree");
        }
    }
    if (!currentFound) check.Fault("pdiCurrent is no disk of the ring");
    return check.faults;
}

std::string CheckTreeText() {
    std::string out;
    for (const std::string& fault : CheckTree()) out += fault + "\n";
    return out;
}

std::vector<SubdirInfo*> DirsInOrder(const DiskInfo* disk) {
    std::vector<SubdirInfo*> dirs;
    std::set<const SubdirInfo*> seen;
    for (SubdirInfo* d = disk->psiRoot; d && seen.insert(d).second;
         d = const_cast<SubdirInfo*>(NextRow(d)))
        dirs.push_back(d);
    return dirs;
}

std::string NarrowText(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) out += c < 0x80 ? char(c) : '?';
    return out;
}

} // namespace qtest
