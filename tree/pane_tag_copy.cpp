// Copying the current pane's tags to the other pane, in a unit of its own so
// that only its callers take in tagging.
#include "main/window_state.h"
#include "tree/file_list.h"
#include "tree/pane_bookkeeping.h"
#include "tree/tagging.h"

namespace {

constexpr BYTE kTagBits = ENTRY_TAGGED | ENTRY_MARKED;

bool IsTagged(const EntryHead* e, WORD pane) { return (e->bFlags[pane & 1] & kTagBits) != 0; }

} // namespace

void CopyTagsToOtherSide() {
    if (!gFileList) return;
    const WORD pane = WORD(gCurrentPane & 1), other = WORD(1 - pane);
    const WORD saved = gCurrentPane;
    EntryHead** entries = ListEntries(gFileList);
    for (DWORD i = 0; i < gFMax; i++) {
        EntryHead* e = entries[i];
        if (!e || !(e->bFlags[pane] & ENTRY_MATCHES) || !IsTagged(e, pane) || IsTagged(e, other)) continue;
        // The other pane is current while its entry is tagged, so that its
        // directory and disk counters follow.
        gCurrentPane = other;
        if (gDirMode[pane]) {
            TagEntry(reinterpret_cast<SubdirInfo*>(e), TAG_DIRECTORY_ITSELF);
        } else {
            FileEntry* file = reinterpret_cast<FileEntry*>(e);
            SubdirInfo* owner = file->psiOwner;
            if (owner && owner->pFiles) TagEntry(owner, LONG(file - owner->pFiles));
        }
        gCurrentPane = saved;
    }
}

