// Branch sums for the statistics panel, the size column of the tree window,
// and the directory sizes that filters, tagging and sorting compare.
#include "main/statistics.h"

#include "main/window_layout.h"
#include "main/window_state.h"
#include "platform/console_session.h"
#include "platform/screen.h"
#include "settings/settings.h"
#include "tree/filter.h"
#include "tree/tree_records.h"
#include "ui/command_menus.h"
#include "ui/numbers_dates.h"

#include <algorithm>
#include <string>

DWORD gStatFiles;
ULONGLONG gStatBytes;
DWORD gStatMatchFiles;
ULONGLONG gStatMatchBytes;
DWORD gStatTagFiles;
ULONGLONG gStatTagBytes;
DWORD gStatLoggedDirs;
WORD gTreeSizeMode;

namespace {

// The directory after d in pre-order within the branch of top, or null.
SubdirInfo* NextInBranch(const SubdirInfo* top, const SubdirInfo* d) {
    SubdirInfo* next = d->psiChild ? d->psiChild : d->psiNext;
    if (!next || next->wLevel <= top->wLevel) return nullptr;
    return next;
}

// Blanks the row from its end to width - 1 units and ends it there.
void PadRow(WCHAR* row, WORD width) {
    bool ended = false;
    for (WORD i = 0; i + 1 < width; ++i) {
        if (!row[i]) ended = true;
        if (ended) row[i] = u' ';
    }
    row[width - 1] = 0;
}

bool IsRead(const SubdirInfo* d) {
    return d->bLogged == 1;
}
bool IsTagged(const SubdirInfo* d, int s) {
    return (d->bFlags[s] & (ENTRY_TAGGED | ENTRY_MARKED)) != 0;
}

} // namespace

DWORD SumBranchStats(SubdirInfo* dir, BOOL reset) {
    if (!dir) return 0;
    const int s = gCurrentPane;
    const bool dirs = gDirMode[s] != 0;
    DWORD loggedDirs = 0;
    if (!reset) {
        DWORD matching = 0;
        for (SubdirInfo* d = dir; d; d = NextInBranch(dir, d)) {
            if (IsRead(d)) loggedDirs++;
            if ((IsRead(d) && d->pFiles) || dirs) matching += d->dwMatchFiles[s];
        }
        gStatLoggedDirs = loggedDirs;
        return matching;
    }
    DWORD files = 0, matchFiles = 0, tagFiles = 0;
    ULONGLONG bytes = 0, matchBytes = 0, tagBytes = 0;
    if (dirs) {
        if (gDisplayMode[s] > 2) files = 1;
        if (IsTagged(dir, s)) {
            tagFiles = 1;
            tagBytes = dir->qwFileBytes;
        }
    }
    for (SubdirInfo* d = dir; d; d = NextInBranch(dir, d)) {
        if (IsRead(d)) loggedDirs++;
        if (dirs) {
            files += d->dwChildren;
            bytes += d->qwFileBytes;
            if (d->bFlags[s] & ENTRY_MATCHES) {
                matchFiles++;
                matchBytes += d->qwFileBytes;
            }
            tagFiles += d->dwTagFiles[s];
            tagBytes += d->qwTagBytes[s];
        } else if (IsRead(d) && d->pFiles) {
            files += d->dwFiles;
            bytes += d->qwFileBytes;
            matchFiles += d->dwMatchFiles[s];
            matchBytes += d->qwMatchBytes[s];
            tagFiles += d->dwTagFiles[s];
            tagBytes += d->qwTagBytes[s];
        }
    }
    gStatFiles = files;
    gStatBytes = bytes;
    gStatMatchFiles = matchFiles;
    gStatMatchBytes = matchBytes;
    gStatTagFiles = tagFiles;
    gStatTagBytes = tagBytes;
    gStatLoggedDirs = loggedDirs;
    return gStatMatchFiles;
}

ULONGLONG BranchHasUnlogged(SubdirInfo* dir, DWORD* completeOut, BOOL stopAtFirst, BOOL tagged,
                            BOOL bytes, BOOL minimum) {
    if (!dir) return 0;
    const int s = gCurrentPane;
    ULONGLONG sum = 0;
    for (SubdirInfo* d = dir; d; d = NextInBranch(dir, d)) {
        // A directory whose files are to be read again is only partly known.
        if (!IsRead(d) || (d->bRefresh & 1)) {
            if (completeOut) *completeOut = 0;
        }
        if (!IsRead(d)) continue;
        if (stopAtFirst) return 1;
        if (!d->pFiles) continue;
        if (minimum) {
            for (FileEntry* f = d->pFiles; f < d->pFiles + d->dwFiles; ++f)
                sum += f->qwSize < 65535 ? 65535 : f->qwSize;
        } else if (bytes) {
            sum += tagged ? d->qwTagBytes[s] : d->qwFileBytes;
        } else {
            sum += tagged ? d->dwTagFiles[s] : d->dwFiles;
        }
    }
    return sum;
}

ULONGLONG FormatCountK(SubdirInfo* dir, WCHAR* row, WORD width) {
    if (!dir) return 0;
    const int s = gCurrentPane;
    const WORD mode = gTreeSizeMode;
    if (mode == 0 || mode > 8) return row ? 0 : dir->qwFileBytes;
    const bool tagged = mode == 3 || mode == 4 || mode == 7 || mode == 8;
    const bool bytes = mode < 5;
    const bool branch = (mode % 2) == 0 && dir->psiChild != nullptr;
    DWORD complete = 1;
    bool have = false;
    ULONGLONG number = 0;
    if (branch) {
        number = BranchHasUnlogged(dir, &complete, FALSE, tagged, bytes, FALSE);
        have = true;
        if (number == 0) {
            // Nothing of this quantity: show 0 when the other one has any.
            if (BranchHasUnlogged(dir, nullptr, FALSE, tagged, !bytes, FALSE) == 0) return 0;
        }
    } else {
        if (tagged) {
            have = dir->dwTagFiles[s] != 0;
            number = bytes ? dir->qwTagBytes[s] : dir->dwTagFiles[s];
        } else {
            have = dir->pFiles != nullptr;
            number = bytes ? dir->qwFileBytes : dir->dwFiles;
        }
    }
    if (!have) {
        if (!row) return dir->qwFileBytes;
        if (!IsRead(dir) && width >= 2) {
            PadRow(row, width);
            row[width - 2] = u'?';
        }
        return 0;
    }
    if (!row) return number;
    if (width < 2) return number;
    PadRow(row, width); // the column is written over the blanks
    ULONGLONG shown = number;
    if (bytes) shown = (number + gKiloUnit - 1) / gKiloUnit;
    char digits[32];
    FormatNumberPicture(digits, LONGLONG(shown), "###,###,###");
    const char* text = digits;
    while (*text == ' ')
        ++text;
    WCHAR column[40];
    size_t n = 0;
    column[n++] = !branch ? u'(' : complete ? u'[' : u'{';
    for (const char* p = text; *p && n < 36; ++p)
        column[n++] = WCHAR(static_cast<unsigned char>(*p));
    column[n++] = mode <= 2 ? u'k' : mode <= 4 ? u't' : mode <= 6 ? u'#' : u'\u2666';
    const size_t last = width - 2; // the last visible column
    if (n > last + 1) return number;
    for (size_t i = 0; i < n; ++i)
        row[last + 1 - n + i] = column[i];
    return number;
}

void SumDiskStats(BOOL countLogged) {
    const int s = gCurrentPane;
    DiskInfo* const first = pdiCurrent;
    gStatFiles = gStatMatchFiles = gStatTagFiles = 0;
    gStatBytes = gStatMatchBytes = gStatTagBytes = 0;
    if (!first) return;
    DWORD logged = 0;
    const WORD disks = (gDisplayMode[s] == 5 && gDiskCount >= 2) ? gDiskCount : WORD(1);
    DiskInfo* k = first;
    for (WORD n = 0; n < disks && k; n++, k = k->pdiNext) {
        gStatFiles += gDirMode[s] ? k->dwDirEntries : k->dwFiles;
        gStatBytes += k->qwFileBytes;
        gStatMatchFiles += k->dwMatchFiles[s];
        gStatMatchBytes += k->qwMatchBytes[s];
        gStatTagFiles += k->dwTagFiles[s];
        gStatTagBytes += k->qwTagBytes[s];
        if (countLogged && k->psiRoot)
            for (SubdirInfo* d = k->psiRoot; d; d = d->psiChild ? d->psiChild : d->psiNext)
                if (IsRead(d)) logged++;
    }
    if (countLogged) gStatLoggedDirs = logged;
}

DWORD SumDirStats(SubdirInfo* dir) {
    const int s = gCurrentPane;
    DWORD files = 0, matchFiles = 0, tagFiles = 0;
    ULONGLONG bytes = 0, matchBytes = 0, tagBytes = 0;
    bool matched = false, tagged = false;
    if (gDisplayMode[s] > 2) files = matchFiles = 1;
    if (!dir) return 0;
    if (IsTagged(dir, s)) {
        tagFiles = 1;
        tagBytes = dir->qwFileBytes;
        tagged = true;
    }
    for (SubdirInfo* d = NextInBranch(dir, dir); d; d = NextInBranch(dir, d)) {
        const bool child = d->wLevel == dir->wLevel + 1;
        files += d->dwChildren;
        bytes += d->qwFileBytes;
        if (d->bFlags[s] & ENTRY_MATCHES) {
            matched = true;
            matchBytes += d->qwMatchBytes[s];
            if (child) matchFiles++;
        }
        if (IsTagged(d, s)) {
            tagged = true;
            tagBytes += d->qwTagBytes[s];
            if (child) tagFiles++;
        }
    }
    gStatFiles = files;
    gStatBytes = bytes;
    if (matched) {
        gStatMatchFiles = matchFiles;
        gStatMatchBytes = matchBytes;
    }
    if (tagged) {
        gStatTagFiles = tagFiles;
        gStatTagBytes = tagBytes;
    }
    return gStatMatchFiles;
}

size_t TreeTitleText(WORD pane, WCHAR* out, size_t width) {
    static const char* const kModes[] = {"directory", "archive", "branch", "showall", "global"};
    const int p = pane & 1;
    const WORD mode = gDisplayMode[p];
    const bool tree = !gPanes[p].FileWindowOpen || mode < 1 || mode > 5;
    const char* what = tree ? "tree" : kModes[mode - 1];
    std::u16string title = u"<";
    for (const char* c = what; *c; ++c)
        title += char16_t(*c);
    title += u": ";
    // The filter part has the room the half leaves beside the title's own
    // words and the closing mark.
    const WCHAR* filter = gFilterSlots[p].fullText;
    const size_t filterLength = wcslen(filter);
    const long room = long(gTreeWidth) + 2 - long(title.size() + 1) - 5;
    if (room > 1 && long(filterLength) > room) {
        title.append(filter, size_t(room - 1));
        title += u'\u25BA';
    } else if (room > 1) {
        title.append(filter, filterLength);
    }
    title += u'>';
    if (title.size() > width) title.resize(width);
    const size_t length = title.size();
    title.append(width - length, u'\u2500');
    std::copy(title.begin(), title.end(), out);
    out[width] = 0;
    return length;
}

void FormatTreeTitle(WORD pane) {
    const int p = pane & 1;
    if (!gSplitScreen || gAutoview[p]) return;
    const int side = p == gCurrentPane ? gCurrentSide : 1 - gCurrentSide;
    const int first = side ? gSplitColumn : 0;
    const int last = side ? gScreenMaxCol : (gSplitColumn ? gSplitColumn - 1 : gScreenMaxCol);
    const int width = last - first - 1;
    if (width < 4) return;
    std::u16string row(size_t(width) + 1, u' ');
    TreeTitleText(WORD(p), row.data(), size_t(width));
    ScrPutWStr(1, first + 1, row.c_str(), gMessageAttr);
    DrawPaneMark(WORD(p));
}
