// The renderer thread: waits for a change, copies the active buffer's window
// into a frame, lets the frame builder turn it into bytes and writes them to
// the terminal in one write. When the bytes cannot be built or written whole
// the shadow is forgotten, so the next frame repaints everything instead of
// leaving the screen wrong.
#include "internal/console.h"

#include <time.h>

#include <cerrno>
#include <cstdlib>

namespace {

// Owned by the renderer thread; reused from frame to frame.
uint32_t* gFrame = nullptr;
size_t gFrameCells = 0;
OUTPUT_BUFFER gOutput;

void SleepMs(long ms) {
    struct timespec ts = {0, ms * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Grows the frame to cells; false when memory is short.
bool GrowFrame(size_t cells) {
    if (cells <= gFrameCells) return true;
    auto* frame = static_cast<uint32_t*>(std::realloc(gFrame, cells * sizeof(uint32_t)));
    if (!frame) return false;
    gFrame = frame;
    gFrameCells = cells;
    return true;
}

// Builds the frame of the active buffer's window into gOutput. State lock
// held. False when the frame could not be had.
bool BuildFrame() {
    RENDER_STATE* render = &gConsole.render;
    const int32_t rows = render->rows, columns = render->columns;
    if (!render->shadow || !GrowFrame(static_cast<size_t>(rows) * static_cast<size_t>(columns)))
        return false;
    CONSOLE_SCREEN_BUFFER* buffer = gConsole.activeBuffer;
    const SCREEN_PAGE* page = ConsoleCurrentPage(buffer);
    for (int32_t r = 0; r < rows; r++) {
        uint32_t* out = gFrame + static_cast<size_t>(r) * static_cast<size_t>(columns);
        int32_t y = page->Top + r;
        for (int32_t c = 0; c < columns; c++) {
            int32_t x = page->Left + c;
            if (y <= page->Bottom && x <= page->Right && y < page->height && x < page->width)
                out[c] = page->cells[static_cast<size_t>(y) * static_cast<size_t>(page->width) +
                                     static_cast<size_t>(x)];
            else
                out[c] = 0x20u | (7u << 16);
        }
    }
    bool shown = buffer->cursorVisible && page->cursorX >= page->Left &&
                 page->cursorX <= page->Right && page->cursorY >= page->Top &&
                 page->cursorY <= page->Bottom;
    gOutput.length = 0;
    gOutput.dropped = false;
    ConsoleEmitFrame(render, gFrame, page->cursorX - page->Left, page->cursorY - page->Top, shown,
                     buffer->cursorShape, &gOutput);
    return true;
}

} // namespace

void* ConsoleRendererThread(void*) {
    // A frame that failed asks for one more try; a second failure in a row
    // waits for the next change, so a terminal that is gone costs nothing.
    bool failedBefore = false;
    for (;;) {
        ConsoleStateLock();
        while (!gConsole.dirty) ConsoleStateWait(&gConsole.renderWake);
        ConsoleStateUnlock();
        SleepMs(4); // changes arriving meanwhile join this frame

        ConsoleStateLock();
        gConsole.dirty = false;
        if (!BuildFrame()) {
            ConsoleStateUnlock();
            continue;
        }
        ConsoleOutputLock();
        if (!gConsole.raw.load() || gOutput.dropped) {
            // The terminal belongs to a child program, or the frame did not
            // fit in memory: nothing is written, and the next frame after
            // this one repaints everything.
            ConsoleShadowInvalidate(&gConsole.render);
            if (gOutput.dropped && gConsole.raw.load() && !failedBefore) ConsoleRepaint();
            failedBefore = gOutput.dropped;
            ConsoleOutputUnlock();
            ConsoleStateUnlock();
            continue;
        }
        ConsoleStateUnlock();
        bool written = gOutput.length == 0 || ConsoleWriteTty(gOutput.data, gOutput.length);
        ConsoleOutputUnlock();
        if (!written) {
            ConsoleStateLock();
            ConsoleShadowInvalidate(&gConsole.render);
            if (!failedBefore) ConsoleRepaint();
            ConsoleStateUnlock();
        }
        failedBefore = !written;
    }
    return nullptr;
}

void ConsoleTestSetOutputLimit(size_t bytes) {
    ConsoleStateGuard state;
    ConsoleOutputGuard out;
    ConsoleOutFree(&gOutput);
    gOutput.limit = bytes;
}
