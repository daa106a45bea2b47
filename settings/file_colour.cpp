// The colour of one row of the file window: tag colours, the attribute
// colours and the file-colour rules of the colour file over NORMAL.
#include "settings/colours.h"

#include "fileapi.h"
#include "main/window_state.h"
#include "platform/file_utils.h"
#include "tree/file_list.h"
#include "tree/filter.h"
#include "tree/tree_records.h"

namespace {

constexpr BYTE kUnset = COLOUR_PART_UNSET;

constexpr WORD kReadOnly = FILE_ATTRIBUTE_READONLY;
constexpr WORD kHidden = FILE_ATTRIBUTE_HIDDEN;
constexpr WORD kSystem = FILE_ATTRIBUTE_SYSTEM;
constexpr WORD kArchive = FILE_ATTRIBUTE_ARCHIVE;
constexpr WORD kJunction = FILE_ATTRIBUTE_REPARSE_POINT; // a junction or other link
constexpr WORD kEncrypted = FILE_ATTRIBUTE_ENCRYPTED_BIT;

bool Both(ColourParts parts) { return parts.fore != kUnset && parts.back != kUnset; }

// Sets the parts of colour that are still unset from parts.
void Fill(ColourParts* colour, ColourParts parts) {
    if (colour->fore == kUnset) colour->fore = parts.fore;
    if (colour->back == kUnset) colour->back = parts.back;
}

BYTE Attribute(ColourParts parts) { return BYTE((parts.fore & 0x0F) | (parts.back & 0x0F) << 4); }

ColourParts NormalParts() {
    const BYTE normal = gColourTable[COLOUR_NORMAL];
    return {BYTE(normal & 0x0F), BYTE(normal >> 4)};
}

int Pane() { return gCurrentPane & 1; }

// The ATTR colour of the first attribute the file has that decides; an
// encrypted file passes on to its next attribute when ATTR-E sets nothing.
const ColourParts* DecidingColour(WORD attributes) {
    const ColourParts* parts = gExtraColours.fileParts;
    const ColourParts& encrypted = parts[ATTR_E];
    const bool encryptedCounts = encrypted.fore != kUnset || encrypted.back != kUnset;
    if (attributes & kJunction) return &parts[ATTR_J];
    if ((attributes & kEncrypted) && encryptedCounts) return &parts[ATTR_E];
    if (attributes & kHidden) return &parts[ATTR_H];
    if (attributes & kSystem) return &parts[ATTR_S];
    if (attributes & kReadOnly) return &parts[ATTR_R];
    if (attributes & kArchive) return &parts[ATTR_A];
    return nullptr;
}

BYTE FileRowColour(const FileEntry* entry, bool globalTags) {
    ColourParts colour = {kUnset, kUnset};
    if (gIniWorking.tagColours && EntryTagged(entry->bFlags[Pane()])) {
        colour = globalTags ? gExtraColours.tagG : gExtraColours.tagN;
        // A tagged file shows as tagged even with file colours switched off.
        if (Both(colour)) return Attribute(colour);
    }
    if (gIniWorking.noFileColours) return gColourTable[COLOUR_NORMAL];
    if (const ColourParts* deciding = DecidingColour(entry->wAttributes)) Fill(&colour, *deciding);
    const FileColourRules& rules = gFileColourRules;
    for (DWORD i = 0; i < rules.count && !Both(colour); i++) {
        const FileColourRule& rule = rules.rules[i];
        const bool gives = (colour.fore == kUnset && rule.fore != kUnset) ||
                           (colour.back == kUnset && rule.back != kUnset);
        if (gives && FileMatchesFilespec(rule.items, rule.count, entry, FALSE))
            Fill(&colour, {rule.fore, rule.back});
    }
    Fill(&colour, NormalParts());
    return Attribute(colour);
}

} // namespace

BYTE DirRowColour(const SubdirInfo* dir) {
    const BYTE normal = gColourTable[COLOUR_NORMAL];
    if (gIniWorking.tagColours && EntryTagged(dir->bFlags[Pane()]))
        return Both(gExtraColours.tagN) ? Attribute(gExtraColours.tagN) : normal;
    if (gIniWorking.noFileColours) return normal;
    static constexpr struct {
        WORD attribute;
        int colour;
    } kOrder[] = {{kJunction, DATTR_J}, {kEncrypted, DATTR_E}, {kHidden, DATTR_H},
                  {kSystem, DATTR_S},   {kReadOnly, DATTR_R}};
    const WORD directory = gColourTable[COLOUR_DIRECTORY];
    for (const auto& o : kOrder) {
        const WORD combined = gExtraColours.dirCombined[o.colour];
        if (!(dir->wAttributes & o.attribute) || combined == COLOUR_COMBINED_UNSET ||
            combined == directory)
            continue;
        return BYTE((normal & 0xF0) | (combined & 0x0F));
    }
    return normal;
}

BYTE FileColour(const FileEntry* entry, DWORD index) {
    if (entry) return FileRowColour(entry, false);
    if (!gFileList || index >= gFMax) return gColourTable[COLOUR_DIRECTORY];
    const EntryHead* row = ListEntries(gFileList)[index];
    if (!row) return gColourTable[COLOUR_DIRECTORY];
    const int pane = Pane();
    if (gDirMode[pane]) return DirRowColour(reinterpret_cast<const SubdirInfo*>(row));
    const WORD mode = gDisplayMode[pane];
    const bool globalTags = mode == 3 || mode == 4 || mode == 5;
    return FileRowColour(reinterpret_cast<const FileEntry*>(row), globalTags);
}
