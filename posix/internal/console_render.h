// The frame builder of the console renderer: what the terminal shows (the
// shadow), the bytes that turn it into a new frame, colours for 16, 256 and
// 24-bit terminals and the display width of characters. Everything here is
// a pure function of its arguments; the renderer thread adds the locks and
// the terminal.
#pragma once

#include "wincon.h"

#include <cstddef>
#include <cstdint>

// Bytes of one frame. The renderer keeps one buffer and reuses its capacity.
struct OUTPUT_BUFFER {
    char* data = nullptr;
    size_t length = 0;
    size_t capacity = 0;
    // Largest capacity the buffer may reach; 0 means only memory limits it.
    // Lets a test stand in for an allocation that fails.
    size_t limit = 0;
    // Some bytes did not fit since the length was last reset: the frame is
    // incomplete and what the shadow says is not on the terminal.
    bool dropped = false;
};

// Appends count bytes, growing the buffer: an empty one to 4096 bytes when
// that suffices, else to 8192 doubled until it suffices; a used one doubles
// until it suffices. When the buffer cannot grow the bytes are dropped and
// out->dropped is set.
void ConsoleOutAppend(OUTPUT_BUFFER* out, const void* bytes, size_t count);
// Frees the bytes; the buffer is empty afterwards.
void ConsoleOutFree(OUTPUT_BUFFER* out);

// Attribute half of a shadow cell that is not known to be on the terminal.
inline constexpr uint16_t RENDER_UNKNOWN_ATTRIBUTE = 0xFFFF;
// The attribute bits the terminal shows: colours, reverse video, underscore.
inline constexpr uint16_t RENDER_ATTRIBUTE_MASK = 0xC0FF;
// Most cells a shadow, frame or page may have, so that an absurd size fails
// cleanly instead of relying on the system to overcommit memory.
inline constexpr size_t CONSOLE_MAX_CELLS = size_t(1) << 27;

// What the terminal shows, as far as the bytes sent so far tell.
struct RENDER_STATE {
    int32_t rows = 0;
    int32_t columns = 0;
    uint32_t* shadow = nullptr; // rows x columns: unit low, attribute high
    int32_t depth = 16;         // colour depth: 16, 256 or 24
    COLORREF palette[16] = {};
    int32_t cursorColumn = -1; // the terminal's cursor; -1 unknown
    int32_t cursorRow = -1;
    uint16_t attribute = RENDER_UNKNOWN_ATTRIBUTE; // of the last SGR sent
    int32_t cursorVisible = -1; // -1 unknown, 0 hidden, 1 shown
    int32_t shapeSent = -1;     // last cursor shape sent; -1 the terminal's default
};

// A new shadow of rows x columns (each at least 1) with every cell unknown,
// and the cursor position, attribute and visibility unknown; the shape sent
// is kept. False, with the old shadow kept, when the cells cannot be had.
bool ConsoleShadowResize(RENDER_STATE* state, int32_t rows, int32_t columns);
// Every cell unknown, and the cursor position, attribute and visibility; the
// next frame repaints everything. The shape sent is kept.
void ConsoleShadowInvalidate(RENDER_STATE* state);
// Frees the shadow.
void ConsoleShadowFree(RENDER_STATE* state);

// The 16 colours the console indexes start with.
void ConsoleDefaultPalette(COLORREF palette[16]);
// The nearest colour of the 256-colour palette: the 6 x 6 x 6 cube or the
// grey ramp, whichever is closer (a tie goes to the cube).
int ConsoleRgbTo256(COLORREF colour);

// The character a cell's unit is drawn as: code page 437 pictures for the
// units below 32 and for 127, U+FFFD for C1 controls and lone surrogates,
// else the unit itself.
uint32_t ConsoleDisplayChar(uint32_t unit);
// Columns a character takes on the terminal: 0, 1 or 2.
int ConsoleCharWidth(uint32_t c);

// Appends the SGR sequence that selects attribute at the state's depth.
void ConsoleOutSgr(const RENDER_STATE* state, uint16_t attribute, OUTPUT_BUFFER* out);
// Appends a cursor move unless the terminal's cursor already stands there;
// records the position.
void ConsoleOutMoveCursor(RENDER_STATE* state, int32_t column, int32_t row, OUTPUT_BUFFER* out);

// Appends the bytes that turn what the shadow says the terminal shows into
// frame (state->rows x state->columns cells, unit low, attribute high), and
// the cursor: shown at (cursorColumn, cursorRow) when cursorShown, with
// cursorShape (-1: the terminal's default). Only changed cells are sent,
// inside synchronized-output brackets; the shadow and the rest of the state
// then describe the terminal after those bytes.
void ConsoleEmitFrame(RENDER_STATE* state, const uint32_t* frame, int32_t cursorColumn,
                      int32_t cursorRow, bool cursorShown, int32_t cursorShape,
                      OUTPUT_BUFFER* out);
