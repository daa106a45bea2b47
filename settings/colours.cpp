// The colour table and how the settings record fills it.
#include "settings/colours.h"

#include "settings/settings.h"

BYTE gColourTable[COLOUR_SLOTS] = {0x3E, 0x3F, 0x70, 0x1E, 0x1F, 0x1F, 0x1E, 0x70, 0x70,
                                   0x18, 0x1A, 0x1A, 0x1B, 0x1E, 0x1E, 0x1B, 0x1E};

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
}
