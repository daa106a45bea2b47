// Tagging: one entry at a time or in bulk, with the counters of the owning
// directory, the disk, the display list header and gFTagged kept in step so
// that the statistics never need a recount; the INVERT and "TAG by:" prompts
// and tagging by attributes and mode.
#include "tree/tagging.h"

#include "archive/archive_state.h"
#include "main/statistics.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/keyboard.h"
#include "platform/screen.h"
#include "posix/qposix_modes.h"
#include "tree/entry_names.h"
#include "tree/file_list.h"
#include "tree/filter.h"
#include "tree/tree_records.h"
#include "ui/click_regions.h"
#include "ui/command_menus.h"
#include "ui/command_prompts.h"
#include "ui/help.h"
#include "ui/line_editor.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr BYTE kTagBits = ENTRY_TAGGED | ENTRY_MARKED;

int Pane() { return gCurrentPane & 1; }
bool ListsDirs() { return gDirMode[Pane()] != 0; }
bool IsTagged(BYTE flags) { return (flags & kTagBits) != 0; }
bool Matches(BYTE flags) { return (flags & ENTRY_MATCHES) != 0; }

SubdirInfo* NextDir(SubdirInfo* d) { return d->psiChild ? d->psiChild : d->psiNext; }

// A listed entry's figure: a file's size; a directory's branch bytes while
// the pane lists one directory's subdirectories (display modes 1 and 2),
// else its own file bytes.
ULONGLONG ListedSize(EntryHead* entry, int pane) {
    if (!gDirMode[pane]) return entry->size;
    auto* dir = reinterpret_cast<SubdirInfo*>(entry);
    if (gDisplayMode[pane] == 1 || gDisplayMode[pane] == 2)
        return BranchHasUnlogged(dir, nullptr, FALSE, FALSE, TRUE, FALSE);
    return dir->qwFileBytes;
}

template <typename T> void LowerBy(T& figure, T amount) { figure -= amount < figure ? amount : figure; }

// A tag counted into (add) or out of a directory's or a disk's figures.
template <class Record> void Count(Record* record, int pane, bool add, ULONGLONG bytes) {
    if (!record) return;
    if (add) {
        record->dwTagFiles[pane]++;
        record->qwTagBytes[pane] += bytes;
    } else {
        // A figure never goes below 0: an entry tagged through another path
        // (the list, or the directory itself) may be untagged through this
        // one with a different size.
        LowerBy(record->dwTagFiles[pane], DWORD(1));
        LowerBy(record->qwTagBytes[pane], bytes);
    }
}

// The one place that sets or clears a tag with its counters.
void Change(SubdirInfo* dir, LONG index, bool tag) {
    const int pane = Pane();
    BYTE* flags = nullptr;
    if (dir && index == TAG_DIRECTORY_ITSELF) {
        flags = &dir->bFlags[pane];
        *flags = tag ? BYTE(*flags | kTagBits) : BYTE(*flags & ~kTagBits);
        if (!ListsDirs()) return;
        SubdirInfo* parent = dir->psiParent;
        if (parent) {
            if (tag) parent->dwTagFiles[pane]++;
            else LowerBy(parent->dwTagFiles[pane], DWORD(1));
        }
        if (tag) dir->qwTagBytes[pane] += dir->qwFileBytes;
        else LowerBy(dir->qwTagBytes[pane], dir->qwFileBytes);
        Count(dir->pdiDisk, pane, tag, dir->qwFileBytes);
        return;
    }
    if (dir) {
        if (index < 0 || DWORD(index) >= dir->dwFiles || !dir->pFiles) return;
        FileEntry* entry = &dir->pFiles[index];
        entry->bFlags[pane] =
            tag ? BYTE(entry->bFlags[pane] | kTagBits) : BYTE(entry->bFlags[pane] & ~kTagBits);
        Count(dir, pane, tag, entry->qwSize);
        Count(dir->pdiDisk, pane, tag, entry->qwSize);
        return;
    }
    if (!gFileList || index < 0 || DWORD(index) >= gFMax) return;
    EntryHead* entry = ListEntries(gFileList)[index];
    if (!entry) return;
    entry->bFlags[pane] =
        tag ? BYTE(entry->bFlags[pane] | kTagBits) : BYTE(entry->bFlags[pane] & ~kTagBits);
    // Tagging and untagging take the same figure, so that a tag and its
    // untag leave every counter, the list header's too, as it was.
    const ULONGLONG size = ListedSize(entry, pane);
    SubdirInfo* owner = entry->owner;
    Count(owner, pane, tag, size);
    Count(owner ? owner->pdiDisk : nullptr, pane, tag, size);
    DisplayFileList& header = *gFileList;
    if (tag) {
        header.taggedFiles[pane]++;
        header.taggedBytes[pane] += size;
        header.taggedEntries[pane]++;
        gFTagged++;
    } else {
        LowerBy(header.taggedFiles[pane], DWORD(1));
        LowerBy(header.taggedBytes[pane], size);
        if (header.taggedEntries[pane] > 0) header.taggedEntries[pane]--;
        if (gFTagged > 0) gFTagged--;
    }
}

// Tags (tag), untags or (invert) turns over every matching entry of dir, or
// of the list when dir is null; entries already as asked are left alone.
enum class Bulk { Tag, Untag, Invert };

bool Wanted(Bulk op, BYTE flags) {
    if (!Matches(flags)) return false;
    switch (op) {
    case Bulk::Tag: return !IsTagged(flags);
    case Bulk::Untag: return IsTagged(flags);
    default: return true;
    }
}

void Apply(SubdirInfo* dir, LONG index, BYTE flags) {
    if (IsTagged(flags)) UntagEntry(dir, index);
    else TagEntry(dir, index);
}

void BulkInDir(SubdirInfo* dir, Bulk op) {
    const int pane = Pane();
    if (!dir) {
        if (!gFileList) return;
        EntryHead** entries = ListEntries(gFileList);
        for (DWORD i = 0; i < gFMax; i++)
            if (entries[i] && Wanted(op, entries[i]->bFlags[pane]))
                Apply(nullptr, LONG(i), entries[i]->bFlags[pane]);
        return;
    }
    if (ListsDirs()) {
        // The directory itself, through the counted path whatever the
        // operation: a tag set without its counts would be taken away
        // again by a later untag or invert and wrap the counters.
        const BYTE flags = dir->bFlags[pane];
        if (Wanted(op, flags)) Apply(dir, TAG_DIRECTORY_ITSELF, flags);
        return;
    }
    if (!dir->pFiles) return;
    for (DWORD i = 0; i < dir->dwFiles; i++) {
        const BYTE flags = dir->pFiles[i].bFlags[pane];
        if (!IsDriveEntry(&dir->pFiles[i]) && Wanted(op, flags)) Apply(dir, LONG(i), flags);
    }
}

Bulk BulkOf(int letter) {
    return letter == 'T' ? Bulk::Tag : letter == 'U' ? Bulk::Untag : Bulk::Invert;
}

// Tags (tag set) or untags listed entry i when it matches and is not as
// asked already.
void SetListed(DWORD i, bool tag) {
    EntryHead* entry = ListEntries(gFileList)[i];
    if (!entry) return;
    const BYTE flags = entry->bFlags[Pane()];
    if (!Matches(flags)) return;
    if (tag && !IsTagged(flags)) TagEntry(nullptr, LONG(i));
    else if (!tag && IsTagged(flags)) UntagEntry(nullptr, LONG(i));
}

// Every list entry that passes test, tagged or untagged.
template <class Test> void SetListedWhere(bool tag, Test test) {
    if (!gFileList) return;
    EntryHead** entries = ListEntries(gFileList);
    for (DWORD i = 0; i < gFMax; i++)
        if (entries[i] && test(entries[i])) SetListed(i, tag);
}

// The command lines and their click regions, put back when a prompt ends.
class SavedCommandLines {
  public:
    SavedCommandLines() {
        HotPush();
        saved_ = ScrSaveRect(gMessageRow, 0, gBottomRow, gScreenMaxCol);
    }
    ~SavedCommandLines() { Restore(); }
    SavedCommandLines(const SavedCommandLines&) = delete;
    SavedCommandLines& operator=(const SavedCommandLines&) = delete;
    void Restore() {
        if (restored_) return;
        restored_ = true;
        ScrRestoreRect(gMessageRow, 0, gBottomRow, gScreenMaxCol, saved_);
        HotPop();
    }

  private:
    ScreenCell* saved_ = nullptr;
    bool restored_ = false;
};

bool IsLetter(KeyCode code, char letter) { return code == letter || code == KcAlt(letter); }

// The mode word an entry is tested with: looked up on first use; unknown
// for a directory inside an archive tree.
WORD ModeOf(EntryHead* entry, bool directory) {
    if (directory) return GetDirMode(reinterpret_cast<SubdirInfo*>(entry));
    return GetEntryMode(reinterpret_cast<FileEntry*>(entry));
}

// Splits the attributes text into the R, H and J places and the joined
// mode text. False when the mode text would not fit.
bool ParseAttrText(const std::u16string& text, AttrTest* test) {
    *test = AttrTest{};
    std::u16string mode;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == u' ' || text[i] == u',')) i++;
        size_t end = i;
        while (end < text.size() && text[end] != u' ' && text[end] != u',') end++;
        if (end == i) break;
        const std::u16string token = text.substr(i, end - i);
        i = end;
        if (token.size() == 2 && (token[0] == u'+' || token[0] == u'-')) {
            const WCHAR letter = token[1] >= u'a' && token[1] <= u'z' ? WCHAR(token[1] - 32) : token[1];
            int place = letter == u'R' ? 0 : letter == u'H' ? 3 : letter == u'J' ? 7 : -1;
            if (place >= 0) {
                test->places[place] = token[0] == u'+' ? letter : WCHAR(letter + 32);
                continue;
            }
        }
        if (!mode.empty()) mode += u',';
        mode += token;
    }
    if (mode.size() > 22) return false;
    for (size_t k = 0; k < mode.size(); k++) test->modeText[k] = mode[k];
    test->modeText[mode.size()] = 0;
    return true;
}

// Tags or untags one entry by the attribute and mode test's answer.
void TagByTest(const AttrTest& test, SubdirInfo* dir, LONG index, EntryHead* entry, bool directory,
               bool tag) {
    const int pane = Pane();
    const BYTE flags = entry->bFlags[pane];
    if (!Matches(flags)) return;
    const WORD mode = test.modeText[0] ? ModeOf(entry, directory) : 0;
    const int answer = FilterMatchDate(&test, entry->attributes, mode, tag);
    if (answer == 1 && !IsTagged(flags)) TagEntry(dir, index);
    else if (answer == -1 && IsTagged(flags)) UntagEntry(dir, index);
}

// The current entry of the pane's list, or null.
EntryHead* CurrentListed() {
    const DWORD index = gPanes[Pane()].CurrentIndex;
    if (!gFileList || index >= gFMax) return nullptr;
    return ListEntries(gFileList)[index];
}

std::u16string DisplayName(EntryHead* entry) {
    if (!entry) return {};
    if (ListsDirs()) {
        auto* dir = reinterpret_cast<SubdirInfo*>(entry);
        return dir->pszName ? std::u16string(dir->pszName) : std::u16string();
    }
    WCHAR name[TREE_MAX_FULL_NAME + 2];
    GetFileDisplayName(name, reinterpret_cast<FileEntry*>(entry));
    return name;
}

// A name item: pattern for the part before the last '.', extension for the
// part after it.
FilespecItem NameItem(const std::u16string& name, const std::u16string& extension) {
    FilespecItem item{};
    const size_t n = std::min(name.size(), FILESPEC_PATTERN_UNITS - 1);
    const size_t e = std::min(extension.size(), FILESPEC_PATTERN_UNITS - 1);
    name.copy(item.pattern, n);
    extension.copy(item.extension, e);
    item.kind = FS_WILDCARD;
    return item;
}

bool Passes(const FilespecItem* items, DWORD count, EntryHead* entry) {
    if (ListsDirs())
        return FileMatchesFilespec(items, count, reinterpret_cast<SubdirInfo*>(entry), FALSE) == 1;
    return FileMatchesFilespec(items, count, reinterpret_cast<FileEntry*>(entry), FALSE) == 1;
}

// True when dir is ancestor or dir itself.
bool WithinBranch(const SubdirInfo* dir, const SubdirInfo* ancestor) {
    for (const SubdirInfo* d = dir; d; d = d->psiParent) {
        if (d == ancestor) return true;
        if (d->psiParent == d) break;
    }
    return false;
}

// The "Filter:" prompt of tagging: the compiled filespec in slot, or false
// when the user leaves it.
bool AskTagFilter(bool tag, const std::u16string& current, FilterSlot* slot) {
    constexpr size_t kUnits = 120;
    std::u16string text = current.empty() ? std::u16string(u"*.*") : current;
    bool proposal = true;
    char message[300] = {};
    for (;;) {
        HotClear(TRUE);
        ScrPutStr(gMessageRow, 0, "Filter:", gMessageAttr);
        if (message[0]) {
            ScrPutStr(gHintRow, 0, message, gMessageAttr);
            ScrBeep();
            message[0] = 0;
        } else {
            char line[100];
            snprintf(line, sizeof line,
                     "Specify files to %stag by using wildcards, file dates and sizes",
                     tag ? "" : "un");
            ScrPutStr(gHintRow, 0, line, gMessageAttr);
        }
        ScrPutStr(gBottomRow, 0, "Enter file specification", gMessageAttr);
        HotText(gBottomRow, 30, 0, 3, KC_TAB, u"Tab Current");
        HotText(gBottomRow, 60, 0, 2, KC_F1, u"F1 Help");
        HotText(gBottomRow, 69, 0, 3, KC_ESC, u"Esc Cancel");
        std::u16string field = text;
        if (field.size() < kUnits) field.append(kUnits - field.size(), u' ');
        const KeyCode key =
            InputLine(gMessageRow, 8, field.data(), 0, 16, 2, FALSE, proposal, 0, 0);
        std::u16string typed(field.c_str());
        while (!typed.empty() && typed.back() == u' ') typed.pop_back();
        proposal = false;
        if (key == KC_TAB) {
            if (!current.empty()) text = current;
            continue;
        }
        if (key != KC_ENTER) return false;
        text = typed;
        BOOL truncated = FALSE;
        const int result = CompileFilterText(text.c_str(), slot, message, sizeof message, &truncated);
        if (result == FILTER_OK) {
            AddToHistory(16, text.c_str());
            return true;
        }
        if (!message[0]) snprintf(message, sizeof message, "Invalid filter");
    }
}

} // namespace

void TagEntry(SubdirInfo* dir, LONG index) { Change(dir, index, true); }

void UntagEntry(SubdirInfo* dir, LONG index) { Change(dir, index, false); }

void TagAllInDir(SubdirInfo* dir) { BulkInDir(dir, Bulk::Tag); }

void UntagAllInDir(SubdirInfo* dir) { BulkInDir(dir, Bulk::Untag); }

void InvertTagsInDir(SubdirInfo* dir) { BulkInDir(dir, Bulk::Invert); }

void TagDiskAll(int letter) {
    if (!pdiCurrent) return;
    const Bulk op = BulkOf(letter);
    const bool files = !ListsDirs();
    for (SubdirInfo* d = pdiCurrent->psiRoot; d; d = NextDir(d)) {
        if (files && !d->bLogged) continue;
        BulkInDir(d, op);
    }
}

void TagBranchAll(WORD op, SubdirInfo* dir) {
    if (!dir) return;
    const Bulk bulk = op == TAG_BRANCH_TAG ? Bulk::Tag
                      : op == TAG_BRANCH_UNTAG ? Bulk::Untag
                                               : Bulk::Invert;
    const DWORD level = dir->wLevel;
    // The walk leaves the branch at the first row that is not deeper.
    for (SubdirInfo* d = dir; d; d = NextDir(d)) {
        if (d != dir && d->wLevel <= level) break;
        BulkInDir(d, bulk);
    }
}

void TagRange(DWORD index, BOOL tag, BOOL toEnd) {
    if (!gFileList) return;
    const DWORD first = toEnd ? index : 0;
    const DWORD last = toEnd ? gFMax : (index < gFMax ? index + 1 : gFMax);
    for (DWORD i = first; i < last; i++) SetListed(i, tag != 0);
}

void UntagUnmarked() {
    if (!gFileList) return;
    const int pane = Pane();
    EntryHead** entries = ListEntries(gFileList);
    for (DWORD i = 0; i < gFMax; i++) {
        if (!entries[i]) continue;
        const BYTE flags = entries[i]->bFlags[pane];
        if (Matches(flags) && (flags & ENTRY_TAGGED) && !(flags & ENTRY_MARKED))
            UntagEntry(nullptr, LONG(i));
    }
}

int InvertCommand(BOOL listMode, SubdirInfo* dir, BOOL diskMode) {
    SavedCommandLines lines;
    for (;;) {
        PromptInvert(listMode);
        const KeyCode code = KbdGetKey(FALSE, TRUE);
        if (code == KC_F1) {
            if (listMode) ShowHelp(diskMode ? 78 : 79);
            else ShowHelp(diskMode ? 76 : 77);
        } else if (IsLetter(code, 'T') || IsLetter(code, 'I')) {
            if (!listMode && !diskMode) return 105;
            if (dir || !diskMode) InvertTagsInDir(dir);
            else TagDiskAll('I');
            return listMode ? 1 : 105;
        } else if (IsLetter(code, 'F')) {
            gFilterSlots[Pane()].modeWord ^= 1;
            return 4127;
        } else if (code == KC_ESC || code == KC_ENTER) {
            return 0;
        }
    }
}

int FilterMatchAttr(const AttrTest* test, DWORD attributes, BOOL tag) {
    static constexpr struct {
        WCHAR letter;
        DWORD bit;
    } kPlaces[12] = {{u'R', 0x1},   {u'A', 0x20},   {u'S', 0x4},    {u'H', 0x2},
                     {u'C', 0x800}, {u'E', 0x4000}, {u'I', 0x2000}, {u'J', 0x400},
                     {u'O', 0x1000}, {u'P', 0x200}, {u'T', 0x100},  {0, 0}};
    bool given = false;
    for (int i = 0; i < 12; i++) {
        const WCHAR value = test->places[i];
        if (!value) continue;
        const auto& place = kPlaces[i];
        if (!place.letter) return 0;
        if (value == place.letter) {
            if (!(attributes & place.bit)) return 0;
        } else if (value == WCHAR(place.letter + 32)) {
            if (attributes & place.bit) return 0;
        } else {
            return 0;
        }
        given = true;
    }
    if (!given) return 0;
    return tag ? 1 : -1;
}

int FilterMatchDate(const AttrTest* test, DWORD attributes, WORD mode, BOOL tag) {
    const int attr = FilterMatchAttr(test, attributes, tag);
    if (!test->modeText[0]) return attr;
    const bool lettersGiven = test->places[0] || test->places[3] || test->places[7];
    if (lettersGiven && attr == 0) return 0;
    if (!(mode & 0x8000)) return 0;
    if (FileModeMatchesText(test->modeText, mode & 0xFFF) != 1) return 0;
    return tag ? 1 : -1;
}

void TagByAttributes(BOOL disk, BOOL tag) {
    const bool dirs = ListsDirs();
    SavedCommandLines lines;
    AttrTest test{};
    std::u16string text;
    for (;;) {
        PromptTagByAttributes(!tag, dirs);
        constexpr size_t kUnits = 15;
        std::u16string field = text;
        if (field.size() < kUnits) field.append(kUnits - field.size(), u' ');
        // A refused text comes back offered: typing replaces it, a cursor
        // key edits it.
        const KeyCode key =
            InputLine(gHintRow, 21, field.data(), 0, 0, 2, FALSE, text.empty() ? FALSE : TRUE, 0, 0);
        if (key != KC_ENTER) return;
        text = field.c_str();
        while (!text.empty() && text.back() == u' ') text.pop_back();
        if (!ParseAttrText(text, &test) ||
            (test.modeText[0] && FileModeMatchesText(test.modeText, 0) == -1)) {
            ScrBeep();
            continue;
        }
        break;
    }
    lines.Restore();

    if (!disk) {
        if (!gFileList) return;
        EntryHead** entries = ListEntries(gFileList);
        for (DWORD i = 0; i < gFMax; i++)
            if (entries[i]) TagByTest(test, nullptr, LONG(i), entries[i], dirs, tag != 0);
        return;
    }
    if (!pdiCurrent) return;
    for (SubdirInfo* d = pdiCurrent->psiRoot; d; d = NextDir(d)) {
        if (dirs) {
            TagByTest(test, d, TAG_DIRECTORY_ITSELF, HeadOf(d), true, tag != 0);
            continue;
        }
        if (!d->bLogged || !d->pFiles) continue;
        for (DWORD i = 0; i < d->dwFiles; i++)
            if (!IsDriveEntry(&d->pFiles[i]))
                TagByTest(test, d, LONG(i), HeadOf(&d->pFiles[i]), false, tag != 0);
    }
}

int TagByFilespecDialog(BOOL disk, BOOL tag) {
    const int pane = Pane();
    const WORD mode = gDisplayMode[pane];
    const bool noBranch = disk || mode == 1 || mode == 2;
    SavedCommandLines lines;
    for (;;) {
        PromptTagBy(noBranch, !tag);
        const KeyCode code = KbdGetKey(FALSE, TRUE);
        if (code == KC_F1) {
            ShowHelp(disk ? (tag ? 25 : 26) : (tag ? 28 : 29));
            continue;
        }
        if (code == KC_ESC) return 0;
        if (IsLetter(code, 'A')) {
            lines.Restore();
            TagByAttributes(disk, tag);
            return 0;
        }
        const bool down = IsLetter(code, 'D') || code == KC_DOWN;
        const bool up = IsLetter(code, 'U') || code == KC_UP;
        const bool byName = IsLetter(code, 'N') || IsLetter(code, 'E') || IsLetter(code, 'F');
        if (IsLetter(code, 'B') || IsLetter(code, 'C')) {
            if (noBranch) continue;
            EntryHead* current = CurrentListed();
            if (!current) return 0;
            SubdirInfo* home = current->owner;
            const bool branch = IsLetter(code, 'B');
            SetListedWhere(tag != 0, [&](EntryHead* e) {
                return branch ? WithinBranch(e->owner, home) : e->owner == home;
            });
            return 0;
        }
        if (disk) {
            if (down || up || byName) return 0;
            continue;
        }
        if (down) return tag ? 4133 : 4135;
        if (up) return tag ? 4132 : 4134;
        if (!byName) continue;

        const std::u16string name = DisplayName(CurrentListed());
        const size_t dot = name.rfind(u'.');
        const std::u16string stem = dot == std::u16string::npos ? name : name.substr(0, dot);
        const std::u16string extension =
            dot == std::u16string::npos ? std::u16string() : name.substr(dot + 1);
        if (IsLetter(code, 'N')) {
            const FilespecItem item = NameItem(stem, u"*");
            SetListedWhere(tag != 0, [&](EntryHead* e) { return Passes(&item, 1, e); });
            return 0;
        }
        if (IsLetter(code, 'E')) {
            const FilespecItem item = NameItem(u"*", extension);
            SetListedWhere(tag != 0, [&](EntryHead* e) { return Passes(&item, 1, e); });
            return 0;
        }
        FilterSlot slot{};
        const bool chosen = AskTagFilter(tag != 0, name, &slot);
        if (chosen)
            SetListedWhere(tag != 0, [&](EntryHead* e) { return Passes(slot.items, slot.count, e); });
        std::free(slot.items);
        return 0;
    }
}
