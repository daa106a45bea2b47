// libFuzzer target for the terminal input decoder: arbitrary terminal bytes
// are decoded whole and cut into reads of many sizes, which must give the same
// records, and every record must be well formed (no lone surrogate, mouse
// positions inside the window, nothing beyond the 128 pending bytes).
//
// Input: byte 0 holds flags (bit 0 kitty protocol, bit 1 Linux console, bit 2
// a window is known, bit 3 mouse reporting), bytes 1-8 the window as four
// little-endian SHORTs, byte 9 seeds the read sizes; the rest is the bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "internal/terminput_decoder.h"

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "terminput_fuzz: %s\n", what);
    std::abort();
}

void Collect(void* user, const INPUT_RECORD* records, size_t count) {
    if (count == 0)
        Fail("the sink was called with no records");
    auto* out = static_cast<std::vector<INPUT_RECORD>*>(user);
    out->insert(out->end(), records, records + count);
}

bool SameRecords(const std::vector<INPUT_RECORD>& a, const std::vector<INPUT_RECORD>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(INPUT_RECORD)) == 0);
}

bool SameState(const TERMINAL_DECODER& a, const TERMINAL_DECODER& b) {
    return a.pendingLength == b.pendingLength &&
           std::memcmp(a.pending, b.pending, static_cast<size_t>(a.pendingLength)) == 0 &&
           a.discarding == b.discarding && a.lockState == b.lockState &&
           a.trackedModifiers == b.trackedModifiers && a.mouse.buttons == b.mouse.buttons;
}

bool IsHigh(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(WCHAR c) { return c >= 0xDC00 && c <= 0xDFFF; }

void CheckRecords(const std::vector<INPUT_RECORD>& records,
                  const TERMINAL_INPUT_CONTEXT* context) {
    // Surrogates come in pairs among the key downs and among the key ups.
    for (int down = 0; down <= 1; ++down) {
        WCHAR previous = 0;
        for (const INPUT_RECORD& r : records) {
            if (r.EventType != KEY_EVENT || r.Event.KeyEvent.bKeyDown != down)
                continue;
            const WCHAR c = r.Event.KeyEvent.uChar.UnicodeChar;
            if (IsLow(c) != IsHigh(previous))
                Fail("a surrogate without its partner");
            previous = c;
        }
        if (IsHigh(previous))
            Fail("a high surrogate at the end");
    }
    for (const INPUT_RECORD& r : records) {
        switch (r.EventType) {
        case KEY_EVENT: {
            const KEY_EVENT_RECORD& k = r.Event.KeyEvent;
            if (k.wRepeatCount != 1)
                Fail("a repeat count other than 1");
            if (k.dwControlKeyState & ~0x1FFu)
                Fail("unknown control-key bits");
            if (k.wVirtualKeyCode == VK_PACKET && k.wVirtualScanCode != 0)
                Fail("a packet with a scan code");
            break;
        }
        case MOUSE_EVENT: {
            const COORD p = r.Event.MouseEvent.dwMousePosition;
            if (p.X < 0 || p.Y < 0)
                Fail("a negative mouse position");
            if (context != nullptr) {
                if (!context->mouseReporting)
                    Fail("a mouse record while mouse reporting is off");
                const SMALL_RECT& w = context->window;
                const bool inside = p.X >= w.Left && p.Y >= w.Top &&
                                    (p.X <= w.Right || p.X == w.Left) &&
                                    (p.Y <= w.Bottom || p.Y == w.Top);
                if (w.Left >= 0 && w.Top >= 0 && !inside)
                    Fail("a mouse position outside the window");
            }
            if (r.Event.MouseEvent.dwEventFlags & ~0xFu)
                Fail("unknown mouse event flags");
            break;
        }
        case FOCUS_EVENT:
            break;
        default:
            Fail("an unknown event type");
        }
    }
}

// Read sizes from a small generator: mostly short reads, sometimes long ones.
struct Reads {
    uint32_t state;
    size_t Next() {
        state = state * 1103515245u + 12345u;
        const uint32_t r = state >> 16;
        return (r & 7) == 0 ? 1 + r % 1500 : 1 + r % 9;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t header[10] = {};
    const size_t headerSize = size < sizeof header ? size : sizeof header;
    std::memcpy(header, data, headerSize);
    const unsigned char* bytes = data + headerSize;
    const size_t count = size - headerSize;

    const bool kitty = header[0] & 1;
    const bool linuxConsole = header[0] & 2;
    TERMINAL_INPUT_CONTEXT contextRecord{};
    auto short16 = [&](int i) {
        return static_cast<SHORT>(header[1 + 2 * i] | header[2 + 2 * i] << 8);
    };
    contextRecord.window = {short16(0), short16(1), short16(2), short16(3)};
    contextRecord.mouseReporting = (header[0] & 8) ? TRUE : FALSE;
    const TERMINAL_INPUT_CONTEXT* context = (header[0] & 4) ? &contextRecord : nullptr;

    auto fresh = [&](TERMINAL_DECODER* d) {
        TerminalInputInit(d);
        d->kittyActive = kitty;
        TerminalSetLinuxConsole(d, linuxConsole);
    };
    const uint64_t now = 1000;

    // All at once.
    TERMINAL_DECODER whole;
    fresh(&whole);
    std::vector<INPUT_RECORD> wholeOut;
    const BOOL wholePending =
        TerminalInputDecode(&whole, bytes, count, now, context, Collect, &wholeOut);
    if (whole.pendingLength < 0 || whole.pendingLength > TERMINAL_PENDING_MAX)
        Fail("pending length out of range");
    if ((wholePending != FALSE) != (whole.pendingLength > 0 || whole.discarding))
        Fail("the result disagrees with the pending bytes");
    CheckRecords(wholeOut, context);

    // Cut into reads: the same records and the same state.
    TERMINAL_DECODER cut;
    fresh(&cut);
    std::vector<INPUT_RECORD> cutOut;
    Reads reads{header[9] * 2654435761u + 1};
    for (size_t i = 0; i < count;) {
        size_t n = reads.Next();
        if (n > count - i)
            n = count - i;
        TerminalInputDecode(&cut, bytes + i, n, now, context, Collect, &cutOut);
        if (cut.pendingLength < 0 || cut.pendingLength > TERMINAL_PENDING_MAX)
            Fail("pending length out of range");
        i += n;
    }
    if (!SameRecords(wholeOut, cutOut))
        Fail("reads of other sizes gave other records");
    if (!SameState(whole, cut))
        Fail("reads of other sizes left another state");

    // The terminal falls silent: both flush alike, and nothing stays pending.
    TerminalInputFlushPending(&whole, now + 1000, context, Collect, &wholeOut);
    TerminalInputFlushPending(&cut, now + 1000, context, Collect, &cutOut);
    if (whole.pendingLength != 0 || whole.discarding)
        Fail("bytes pending after a flush");
    if (!SameRecords(wholeOut, cutOut))
        Fail("flushes after reads of other sizes differ");
    CheckRecords(wholeOut, context);

    // Reads with silences between them, at a clock that moves on.
    TERMINAL_DECODER timed;
    fresh(&timed);
    std::vector<INPUT_RECORD> timedOut;
    uint64_t clock = 0;
    for (size_t i = 0; i < count;) {
        size_t n = reads.Next();
        if (n > count - i)
            n = count - i;
        clock += reads.Next() * 37;
        if (TerminalInputDecode(&timed, bytes + i, n, clock, context, Collect, &timedOut) &&
            (reads.Next() & 1)) {
            clock += TerminalInputTimeout(&timed);
            TerminalInputFlushPending(&timed, clock, context, Collect, &timedOut);
        }
        i += n;
    }
    CheckRecords(timedOut, context);
    return 0;
}
