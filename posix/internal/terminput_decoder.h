// The terminal input decoder: turns the bytes a terminal sends (UTF-8 text,
// control bytes, key sequences of xterm, rxvt, the Linux console, kitty and
// win32-input-mode, mouse and focus reports) into console INPUT_RECORDs.
//
// The core is a pure, incremental function of its state record, the bytes, a
// clock value and a context record; it owns no terminal, clock or global. The
// process-wide entry points at the end wrap one decoder for the console's
// input thread.
#pragma once

#include "internal/inputrecords.h"

#include <cstddef>
#include <cstdint>

// ---- the core ------------------------------------------------------------------------------

inline constexpr int TERMINAL_PENDING_MAX = 128;

// Decoder state. Zero-filled memory is not a valid state: start with
// TerminalInputInit.
struct TERMINAL_DECODER {
    unsigned char pending[TERMINAL_PENDING_MAX]; // the unfinished tail of the last input
    int32_t pendingLength;                       // 0..128
    BOOL kittyActive;           // the kitty keyboard protocol is in use
    BOOL kittyAnswerSeen;       // a kitty flags answer (CSI ? flags u) arrived
    BOOL deviceAttributesSeen;  // a device attributes answer (CSI ? ... c) arrived
    DWORD trackedModifiers;     // Alt, Ctrl and Shift bits held, from kitty modifier-key events
    DWORD lockState;            // NUMLOCK_ON, SCROLLLOCK_ON, CAPSLOCK_ON as last reported
    struct {
        int32_t code; // the key code of the press; 0 when nothing is remembered
        WORD virtualKey;
        WCHAR character;
        DWORD state;
    } lastKittyPress; // the last text key pressed under the kitty protocol
    struct {
        DWORD buttons;          // the buttons held
        uint64_t lastPressTime; // for double clicks
        int32_t lastColumn, lastRow;
        int32_t lastButton; // -1 when no press is remembered
    } mouse;
    BOOL paste;           // between the bracketed-paste markers (read by nothing)
    BOOL encodedKeysSeen; // win32-input-mode is in use: an ESC waits longer
    BOOL linuxConsole;    // TERM is "linux": its shifted function keys differ
    BOOL discarding;      // skipping a sequence too long to hold, up to its final byte
    BOOL discardAfterDigit;
    WCHAR win32HighSurrogate; // a win32-input-mode high surrogate awaiting its low half
};

// Where a decoding call puts the records it makes, in order. Called with one
// or more records at a time; the records are only valid during the call.
typedef void (*TERMINAL_RECORD_SINK)(void* user, const INPUT_RECORD* records, size_t count);

// What the decoder needs to know of the console it decodes for.
struct TERMINAL_INPUT_CONTEXT {
    // The window of the active page, in buffer coordinates. A mouse position
    // (cell column and row of the terminal, from 0) is clamped into the
    // window's size and the window's Left and Top are added, so mouse records
    // carry buffer coordinates inside the window.
    SMALL_RECT window;
    // FALSE: mouse reports are still decoded (buttons and clicks tracked) but
    // make no record.
    BOOL mouseReporting;
};

// Clears every field; the lock state becomes NUMLOCK_ON.
void TerminalInputInit(TERMINAL_DECODER* decoder);

// Marks the terminal as the Linux console (TERM=linux), whose shifted
// function keys are numbered differently.
void TerminalSetLinuxConsole(TERMINAL_DECODER* decoder, BOOL linuxConsole);

// Decodes the pending bytes followed by `count` new bytes received at `nowMs`
// (a monotonic clock in milliseconds). Records go to `sink` (none made when
// it is null). `context` may be null: mouse positions are then only kept
// inside 0..32767 and mouse records are made. Returns TRUE when bytes remain
// pending, or an overlong sequence is still being skipped; the caller then
// calls TerminalInputFlushPending after TerminalInputTimeout ms without
// further input. A sequence longer than 128 bytes before its final byte is
// dropped whole, however the input is cut into calls.
BOOL TerminalInputDecode(TERMINAL_DECODER* decoder, const unsigned char* bytes, size_t count,
                         uint64_t nowMs, const TERMINAL_INPUT_CONTEXT* context,
                         TERMINAL_RECORD_SINK sink, void* sinkUser);

// Milliseconds of silence after which the pending bytes count as complete:
// 40, or 1000 when they look like the start of a longer sequence.
DWORD TerminalInputTimeout(const TERMINAL_DECODER* decoder);

// After the time-out: the pending bytes are taken as complete (a lone ESC is
// the Escape key, ESC and a character are Alt and that character, an
// unfinished sequence is dropped). Nothing is pending afterwards.
void TerminalInputFlushPending(TERMINAL_DECODER* decoder, uint64_t nowMs,
                               const TERMINAL_INPUT_CONTEXT* context, TERMINAL_RECORD_SINK sink,
                               void* sinkUser);

// ---- the US PC keyboard tables (shared with the keyboard-state functions) ---------------

// The set-1 scan code of a virtual key (0 when it has none, and for keys
// above 255); *extended (may be null) tells whether the key is an extended
// one.
WORD VkScanCode(UINT virtualKey, BOOL* extended);

// The character the key types under a control-key state (Shift, Ctrl, Alt
// and Caps Lock bits are read), or -1 when it types none.
int VkToChar(UINT virtualKey, DWORD state);

// The key that types character `c` on the layout, 0 when none;
// *shiftNeeded (may be null) tells whether Shift must be held for it.
WORD CharToVk(uint32_t c, BOOL* shiftNeeded);

// ---- the process-wide decoder of the console's input thread ------------------------------

// The console's record sink; the console registers it with
// TerminalInputSetSink at start-up.
typedef void (*TERMINAL_INPUT_SINK_FN)(const INPUT_RECORD* records, size_t count);

// Supplies the context for each decoding call; called while the caller of
// TerminalInputFeed or TerminalInputFlushPending holds its lock.
typedef void (*TERMINAL_CONTEXT_FN)(TERMINAL_INPUT_CONTEXT* context);

// The callers of the functions below serialise them (the console calls them
// under its state lock, or before its threads exist).

// Starts the decoder afresh (TerminalInputInit) for a terminal that is, or is
// not, the Linux console: pending bytes, tracked state, the query answers
// and the kitty protocol flag are forgotten; the sink and the context source
// are kept.
void TerminalInputReset(bool linuxConsole);

// Decodes bytes read from the terminal at `nowMs` (monotonic milliseconds).
// Records go to the sink; they are dropped while no sink is set.
void TerminalInputFeed(const unsigned char* bytes, size_t count, uint64_t nowMs);

// Called when TerminalInputTimeoutMs() ms passed without input.
void TerminalInputFlushPending(uint64_t nowMs);

// Milliseconds of silence after which TerminalInputFlushPending must be
// called, or -1 when nothing is pending (an overlong sequence being skipped
// counts as pending, so that silence ends it).
int TerminalInputTimeoutMs();

// Where the records go (null: dropped). Starts null.
void TerminalInputSetSink(TERMINAL_INPUT_SINK_FN sink);

// Where the context comes from (null: no window known, mouse records made,
// positions from 0). Starts null. The sink then receives mouse positions
// already in buffer coordinates and must not add the window origin again.
void TerminalInputSetContextSource(TERMINAL_CONTEXT_FN source);

// The kitty keyboard protocol is in use (the terminal answered the query).
void TerminalInputSetKittyActive(bool active);

// The start-up query's answers: a kitty flags answer and a device attributes
// answer arrived since the last reset.
bool TerminalInputKittyAnswerSeen();
bool TerminalInputDeviceAttributesSeen();
