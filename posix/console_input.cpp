// The console input queue and the console input functions: the record sink
// that the terminal input decoder calls (mouse filter, Ctrl+C), the bounded
// ring of records, the input mode with mouse reporting, and reading,
// peeking, writing and flushing records through the console input handle.
#include "internal/console_input.h"
#include "internal/console.h"
#include "internal/handles.h"
#include "consoleapi.h"
#include "errhandlingapi.h"
#include "stringapiset.h"
#include "winerror.h"
#include "winuser.h"

#include <cstdlib>
#include <cstring>

CONSOLE_INPUT gConsoleInput;

namespace {

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

// Grows the ring to twice its size (256 at first, never beyond the cap),
// keeping the records in order from index 0. False when the ring is at the
// cap or memory is short.
bool GrowQueue(INPUT_QUEUE* queue) {
    if (queue->capacity >= CONSOLE_INPUT_QUEUE_MAX) return false;
    size_t capacity = queue->capacity == 0 ? 256 : queue->capacity * 2;
    if (capacity > CONSOLE_INPUT_QUEUE_MAX) capacity = CONSOLE_INPUT_QUEUE_MAX;
    auto* records = static_cast<INPUT_RECORD*>(std::malloc(capacity * sizeof(INPUT_RECORD)));
    if (!records) return false;
    for (size_t i = 0; i < queue->count; i++)
        records[i] = queue->records[(queue->head + i) % queue->capacity];
    std::free(queue->records);
    queue->records = records;
    queue->capacity = capacity;
    queue->head = 0;
    return true;
}

bool IsMouseMove(const INPUT_RECORD& record) {
    return record.EventType == MOUSE_EVENT && record.Event.MouseEvent.dwEventFlags == MOUSE_MOVED;
}

// Removes n records from the head.
void DropHead(INPUT_QUEUE* queue, size_t n) {
    if (n == 0) return;
    queue->head = (queue->head + n) % queue->capacity;
    queue->count -= n;
}

// What the keyboard-state functions learn from the records a reader takes:
// the key held down, the last VK_PACKET character and the control-key state
// of the last key record.
void TrackKeys(const INPUT_RECORD* records, size_t n) {
    const KEY_EVENT_RECORD* last = nullptr;
    for (size_t i = 0; i < n; i++) {
        if (records[i].EventType != KEY_EVENT) continue;
        const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
        if (key.bKeyDown) {
            gConsole.lastKey = key.wVirtualKeyCode;
            if (key.wVirtualKeyCode == VK_PACKET) gConsole.lastPacketChar = key.uChar.UnicodeChar;
        } else if (key.wVirtualKeyCode == gConsole.lastKey) {
            gConsole.lastKey = 0;
        }
        last = &key;
    }
    if (last) gConsole.lastControlKeyState = last->dwControlKeyState;
}

// Whether handle is a console input handle. State lock held.
bool IsConsoleInput(HANDLE handle) {
    return HandleLookup(handle, HANDLE_TYPE_CONSOLE_INPUT) != nullptr;
}

} // namespace

// ---- the queue ------------------------------------------------------------------------

bool ConsoleQueueInput(const INPUT_RECORD* record) {
    INPUT_QUEUE* queue = &gConsoleInput.queue;
    if (IsMouseMove(*record) && queue->count > 0) {
        INPUT_RECORD& tail = queue->records[(queue->head + queue->count - 1) % queue->capacity];
        if (IsMouseMove(tail) &&
            tail.Event.MouseEvent.dwButtonState == record->Event.MouseEvent.dwButtonState) {
            tail = *record;
            pthread_cond_broadcast(&gConsole.inputAvailable);
            return true;
        }
    }
    if (queue->count == queue->capacity && !GrowQueue(queue)) return false;
    queue->records[(queue->head + queue->count) % queue->capacity] = *record;
    queue->count++;
    pthread_cond_broadcast(&gConsole.inputAvailable);
    return true;
}

void ConsoleInputSink(void*, const INPUT_RECORD* record) {
    if (record->EventType == MOUSE_EVENT) {
        // The decoder has already placed the position inside the active
        // page's window, in buffer coordinates.
        if (!gConsole.mouseReporting.load()) return;
        ConsoleQueueInput(record);
        return;
    }
    if (record->EventType == KEY_EVENT) {
        const KEY_EVENT_RECORD& key = record->Event.KeyEvent;
        DWORD state = key.dwControlKeyState;
        if (key.wVirtualKeyCode == 0x43 && (state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) &&
            !(state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) &&
            (gConsole.inputMode & ENABLE_PROCESSED_INPUT)) {
            if (key.bKeyDown && !gConsole.ignoreCtrlC) gConsole.ctrlCPending = true;
            return;
        }
    }
    ConsoleQueueInput(record);
}

size_t ConsoleQueueRead(INPUT_RECORD* records, size_t count, bool remove) {
    INPUT_QUEUE* queue = &gConsoleInput.queue;
    size_t n = count < queue->count ? count : queue->count;
    for (size_t i = 0; i < n; i++) records[i] = queue->records[(queue->head + i) % queue->capacity];
    if (remove) DropHead(queue, n);
    return n;
}

bool ConsoleQueueHas(bool (*match)(const INPUT_RECORD& record)) {
    ConsoleStateGuard state;
    const INPUT_QUEUE* queue = &gConsoleInput.queue;
    for (size_t i = 0; i < queue->count; i++)
        if (match(queue->records[(queue->head + i) % queue->capacity])) return true;
    return false;
}

void ConsoleQueueFlush() {
    gConsoleInput.queue.count = 0;
    gConsoleInput.queue.head = 0;
}

BOOL ConsoleReadInput(HANDLE handle, INPUT_RECORD* records, DWORD count, DWORD* read, bool remove,
                      bool wait) {
    if (read) *read = 0;
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    if (!IsConsoleInput(handle)) return Fail(ERROR_INVALID_HANDLE);
    if (!records && count > 0) return Fail(ERROR_INVALID_PARAMETER);
    if (wait)
        while (gConsoleInput.queue.count == 0) ConsoleStateWait(&gConsole.inputAvailable);
    size_t n = ConsoleQueueRead(records, count, false);
    if (remove) {
        TrackKeys(records, n);
        DropHead(&gConsoleInput.queue, n);
    }
    if (read) *read = static_cast<DWORD>(n);
    return TRUE;
}

void ConsoleRecordsToAnsi(INPUT_RECORD* records, DWORD count) {
    LastErrorSaver keep;
    for (DWORD i = 0; i < count; i++) {
        if (records[i].EventType != KEY_EVENT) continue;
        WCHAR& unit = records[i].Event.KeyEvent.uChar.UnicodeChar;
        if (unit <= 127) continue;
        // Code page 437 maps every byte, but not every character: one it
        // lacks must not come out as the default '?', which a reader would
        // take for a typed question mark.
        char byte = 0;
        BOOL usedDefault = FALSE;
        int n = WideCharToMultiByte(CP_OEMCP, 0, &unit, 1, &byte, 1, nullptr, &usedDefault);
        unit = n == 1 && !usedDefault ? static_cast<WCHAR>(static_cast<unsigned char>(byte)) : 0;
    }
}

void ConsoleSetInputMode(DWORD mode) {
    if (!(mode & ENABLE_EXTENDED_FLAGS))
        mode = (mode & ~ENABLE_QUICK_EDIT_MODE) | (gConsole.inputMode & ENABLE_QUICK_EDIT_MODE);
    gConsole.inputMode = mode | ENABLE_EXTENDED_FLAGS;
    bool wanted = (mode & ENABLE_MOUSE_INPUT) && !(mode & ENABLE_QUICK_EDIT_MODE);
    if (wanted == gConsole.mouseReporting.load()) return;
    gConsole.mouseReporting.store(wanted);
    ConsoleWriteTtyLocked(wanted ? "\x1b[?1000h\x1b[?1002h\x1b[?1006h"
                                 : "\x1b[?1006l\x1b[?1002l\x1b[?1000l");
}

// ---- the console input functions -------------------------------------------------------

BOOL ReadConsoleInputW(HANDLE input, PINPUT_RECORD records, DWORD count, LPDWORD read) {
    return ConsoleReadInput(input, records, count, read, true, true);
}

BOOL ReadConsoleInputA(HANDLE input, PINPUT_RECORD records, DWORD count, LPDWORD read) {
    DWORD n = 0;
    BOOL ok = ConsoleReadInput(input, records, count, &n, true, true);
    if (ok) ConsoleRecordsToAnsi(records, n);
    if (read) *read = n;
    return ok;
}

BOOL PeekConsoleInputA(HANDLE input, PINPUT_RECORD records, DWORD count, LPDWORD read) {
    DWORD n = 0;
    BOOL ok = ConsoleReadInput(input, records, count, &n, false, false);
    if (ok) ConsoleRecordsToAnsi(records, n);
    if (read) *read = n;
    return ok;
}

BOOL WriteConsoleInputW(HANDLE input, const INPUT_RECORD* records, DWORD count, LPDWORD written) {
    if (written) *written = 0;
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    if (!IsConsoleInput(input)) return Fail(ERROR_INVALID_HANDLE);
    if (!records && count > 0) return Fail(ERROR_INVALID_PARAMETER);
    DWORD accepted = 0;
    // Not through the sink: written records are taken as they are, Ctrl+C
    // and mouse events included.
    while (accepted < count && ConsoleQueueInput(&records[accepted])) accepted++;
    if (written) *written = accepted;
    // A full queue is a failure the caller can see, never a silent loss.
    if (accepted < count) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    return TRUE;
}

BOOL FlushConsoleInputBuffer(HANDLE input) {
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    if (!IsConsoleInput(input)) return Fail(ERROR_INVALID_HANDLE);
    ConsoleQueueFlush();
    return TRUE;
}
