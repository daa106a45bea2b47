// The console input queue as the session fills it: the record sink that the
// terminal input decoder calls (mouse filter, buffer coordinates, Ctrl+C),
// the ring of records, and the console input mode with mouse reporting.
#include "internal/console_input.h"
#include "internal/console.h"

#include <climits>
#include <cstdlib>
#include <cstring>

CONSOLE_INPUT gConsoleInput;

namespace {

// Grows the ring to twice its size (256 at first), keeping the records in
// order from index 0. False when memory is short.
bool GrowQueue(INPUT_QUEUE* queue) {
    size_t capacity = queue->capacity == 0 ? 256 : queue->capacity * 2;
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

} // namespace

void ConsoleQueueInput(const INPUT_RECORD* record) {
    INPUT_QUEUE* queue = &gConsoleInput.queue;
    if (queue->count == queue->capacity && !GrowQueue(queue)) return;
    queue->records[(queue->head + queue->count) % queue->capacity] = *record;
    queue->count++;
    pthread_cond_broadcast(&gConsole.inputAvailable);
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
    if (remove && n > 0) {
        queue->head = (queue->head + n) % queue->capacity;
        queue->count -= n;
    }
    return n;
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
