// The colour table and how the settings record fills it, the colours the
// screen and dialogue layers keep beside it, and the alternate colour set.
#include "settings/colours.h"

#include "platform/keyboard.h"
#include "platform/screen.h"
#include "settings/settings.h"
#include "ui/command_menus.h"

BYTE gColourTable[COLOUR_SLOTS] = {0x3E, 0x3F, 0x70, 0x1E, 0x1F, 0x1F, 0x1E, 0x70, 0x70,
                                   0x18, 0x1A, 0x1A, 0x1B, 0x1E, 0x1E, 0x1B, 0x1E};

namespace {
constexpr ColourParts kUnsetParts = {COLOUR_PART_UNSET, COLOUR_PART_UNSET};
} // namespace

ExtraColours gExtraColours = {
    {kUnsetParts, kUnsetParts, kUnsetParts, kUnsetParts, kUnsetParts},
    {COLOUR_COMBINED_UNSET, COLOUR_COMBINED_UNSET, COLOUR_COMBINED_UNSET, COLOUR_COMBINED_UNSET,
     COLOUR_COMBINED_UNSET},
    {kUnsetParts, kUnsetParts, kUnsetParts, kUnsetParts, kUnsetParts, kUnsetParts},
    {0x0F, 0x01},
    {0x0F, 0x01},
    0x1B,
    0x1B,
    0x1B,
    {0, 0, 0, 0, 0},
};

BOOL gAltColoursOn = FALSE;

BYTE DimmedColour(BYTE normal) {
    BYTE background = normal & 0xF0;
    return static_cast<BYTE>(background | (background == 0x80 ? 0x00 : 0x08));
}

void ColoursFromSettings() {
    const Settings& s = gSettings;
    BYTE* t = gColourTable;
    const BYTE normal = s.bColourNormal;
    const BYTE bar = s.bColourBar;
    t[COLOUR_NORMAL] = t[COLOUR_DMNORMAL] = t[COLOUR_NORMAL_COPY] = t[COLOUR_KEYLETTER] = normal;
    t[COLOUR_FRAMES] = t[COLOUR_FRAMES_COPY] = s.bColourFrames;
    t[COLOUR_BAR] = bar;
    t[COLOUR_GLOBAL] = t[COLOUR_DMGLOBAL] = s.bColourGlobal;
    t[COLOUR_TAGN] = s.bColourTagN ? s.bColourTagN : 0x1F;
    t[COLOUR_TAGG] = s.bColourTagG ? s.bColourTagG : 0x1F;
    t[COLOUR_MENU] = s.bColourMenu ? s.bColourMenu : 0x3E;
    t[COLOUR_DIRECTORY] = s.bColourDirectory ? s.bColourDirectory : normal;
    t[COLOUR_BROWSE] = s.bColourBrowse ? s.bColourBrowse : bar;
    t[COLOUR_VHITO] = s.bColourVHitO ? s.bColourVHitO : bar;
    t[COLOUR_VHITC] = s.bColourVHitC ? s.bColourVHitC : 0x3F;
    t[COLOUR_DIMMED] = DimmedColour(normal);
    // The record's colours replace the whole set, the alternate one too.
    gAltColoursOn = FALSE;
    RefreshColourSeams();
}

void RefreshColourSeams() {
    const BYTE directory = gColourTable[COLOUR_DIRECTORY];
    auto dir = [directory](int which) {
        const WORD combined = gExtraColours.dirCombined[which];
        return combined == COLOUR_COMBINED_UNSET ? directory : BYTE(combined);
    };
    gTreeColours = {directory, dir(DATTR_J), dir(DATTR_E), dir(DATTR_H), dir(DATTR_S), dir(DATTR_R)};
    gMessageAttr = gColourTable[COLOUR_FRAMES];
    gKeyLetterAttr = gColourTable[COLOUR_KEYLETTER];
}

namespace {

// What the alternate set replaces, as it was before the switch.
struct SavedColours {
    BYTE table[COLOUR_SLOTS];
    BYTE history;
    ColourParts tagN;
    ColourParts tagG;
    BYTE currPath;
};
SavedColours gSavedColours;

// The slots the alternate set makes black on bright white.
constexpr int kAltSlots[] = {COLOUR_DIRECTORY, COLOUR_NORMAL,      COLOUR_NORMAL_COPY,
                             COLOUR_KEYLETTER, COLOUR_FRAMES,      COLOUR_FRAMES_COPY,
                             COLOUR_DMNORMAL,  COLOUR_GLOBAL,      COLOUR_DMGLOBAL,
                             COLOUR_TAGN,      COLOUR_TAGG,        COLOUR_MENU};
constexpr BYTE kAltColour = 0xF0;
constexpr BYTE kAltBar = 0x0F;

} // namespace

KeyCode ToggleAltColours() {
    SavedColours& saved = gSavedColours;
    ExtraColours& extras = gExtraColours;
    if (!gAltColoursOn) {
        for (int slot : kAltSlots) saved.table[slot] = gColourTable[slot];
        saved.table[COLOUR_BAR] = gColourTable[COLOUR_BAR];
        saved.history = gSettings.bColourHistory;
        saved.tagN = extras.tagN;
        saved.tagG = extras.tagG;
        saved.currPath = extras.currPath;
        for (int slot : kAltSlots) gColourTable[slot] = kAltColour;
        gColourTable[COLOUR_BAR] = kAltBar;
        gSettings.bColourHistory = kAltColour;
        extras.tagN = extras.tagG = {0x00, 0x0F};
        extras.currPath = kAltColour;
        gAltColoursOn = TRUE;
    } else {
        for (int slot : kAltSlots) gColourTable[slot] = saved.table[slot];
        gColourTable[COLOUR_BAR] = saved.table[COLOUR_BAR];
        gSettings.bColourHistory = saved.history;
        extras.tagN = saved.tagN;
        extras.tagG = saved.tagG;
        extras.currPath = saved.currPath;
        gAltColoursOn = FALSE;
    }
    RefreshColourSeams();
    // The code that makes the window loop redraw the whole screen.
    return KC_RESIZED;
}
