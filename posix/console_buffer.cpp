// Screen buffers and the console output functions: pages of cells with a
// window and a cursor, text written with the console's control characters,
// wrapping and page switches, fills and rectangle copies. Nothing here
// writes to the terminal except the bell; changes wake the renderer.
#include "internal/console.h"
#include "internal/console_input.h"
#include "internal/handles.h"
#include "errhandlingapi.h"
#include "stringapiset.h"
#include "winerror.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr int32_t kMaxCoordinate = SHRT_MAX;

uint32_t Blank(uint16_t attribute) { return 0x20u | (static_cast<uint32_t>(attribute) << 16); }

int32_t Min(int32_t a, int32_t b) { return a < b ? a : b; }
int32_t Max(int32_t a, int32_t b) { return a > b ? a : b; }

// Cells for a page of width x height; null when the size is out of range or
// memory is short.
uint32_t* AllocateCells(int32_t width, int32_t height) {
    if (width < 1 || height < 1 || width > kMaxCoordinate || height > kMaxCoordinate) return nullptr;
    size_t cells = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (cells > CONSOLE_MAX_CELLS) return nullptr;
    return static_cast<uint32_t*>(std::malloc(cells * sizeof(uint32_t)));
}

uint32_t* CellAt(SCREEN_PAGE* page, int32_t x, int32_t y) {
    return page->cells + static_cast<size_t>(y) * static_cast<size_t>(page->width) +
           static_cast<size_t>(x);
}

BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
}

// Stores a unit at the cursor and advances it, wrapping when the mode says.
void StoreChar(CONSOLE_SCREEN_BUFFER* buffer, SCREEN_PAGE* page, WCHAR unit) {
    *CellAt(page, page->cursorX, page->cursorY) =
        unit | (static_cast<uint32_t>(buffer->attribute) << 16);
    if (page->cursorX + 1 < page->width) {
        page->cursorX++;
    } else if (buffer->outputMode & ENABLE_WRAP_AT_EOL_OUTPUT) {
        page->cursorX = 0;
        ConsoleLineFeed(buffer, page);
    }
}

void SwitchPage(CONSOLE_SCREEN_BUFFER* buffer, bool alternate) {
    if (alternate == (buffer->currentPage == 1)) return;
    if (alternate) {
        SCREEN_PAGE& main = buffer->pages[0];
        SCREEN_PAGE alt;
        if (!ConsolePageInit(&alt, main.Right - main.Left + 1, main.Bottom - main.Top + 1,
                             buffer->attribute))
            return;
        int32_t x = main.cursorX - main.Left, y = main.cursorY - main.Top;
        alt.cursorX = x >= 0 && x < alt.width ? x : 0;
        alt.cursorY = y >= 0 && y < alt.height ? y : 0;
        buffer->pages[1] = alt;
        buffer->currentPage = 1;
    } else {
        std::free(buffer->pages[1].cells);
        buffer->pages[1] = SCREEN_PAGE();
        buffer->currentPage = 0;
    }
}

// ---- rectangle copies ---------------------------------------------------------------------

void EmptyRegion(PSMALL_RECT region) {
    region->Right = static_cast<SHORT>(region->Left - 1);
    region->Bottom = static_cast<SHORT>(region->Top - 1);
}

// The core of WriteConsoleOutput and ReadConsoleOutput. State lock held.
void CopyRect(SCREEN_PAGE* page, CHAR_INFO* cells, COORD size, COORD origin, PSMALL_RECT region,
              bool toBuffer) {
    if (!(size.X > origin.X && origin.X >= 0 && size.Y > origin.Y && origin.Y >= 0)) {
        EmptyRegion(region);
        return;
    }
    const int32_t left = region->Left, top = region->Top;
    int32_t right = Min(Min(region->Right, left + (size.X - origin.X) - 1), page->width - 1);
    int32_t bottom = Min(Min(region->Bottom, top + (size.Y - origin.Y) - 1), page->height - 1);
    int32_t firstColumn = Max(left, 0), firstRow = Max(top, 0);
    for (int32_t r = firstRow; r <= bottom; r++) {
        for (int32_t c = firstColumn; c <= right; c++) {
            size_t index = static_cast<size_t>(origin.Y + r - top) * static_cast<size_t>(size.X) +
                           static_cast<size_t>(origin.X + c - left);
            uint32_t* cell = CellAt(page, c, r);
            if (toBuffer) {
                *cell = cells[index].Char.UnicodeChar |
                        (static_cast<uint32_t>(cells[index].Attributes) << 16);
            } else {
                cells[index].Char.UnicodeChar = static_cast<WCHAR>(*cell & 0xFFFF);
                cells[index].Attributes = static_cast<WORD>(*cell >> 16);
            }
        }
    }
    region->Left = static_cast<SHORT>(firstColumn);
    region->Top = static_cast<SHORT>(firstRow);
    region->Right = static_cast<SHORT>(right);
    region->Bottom = static_cast<SHORT>(bottom);
}

BOOL CopyRectCall(HANDLE handle, CHAR_INFO* cells, COORD size, COORD origin, PSMALL_RECT region,
                  bool toBuffer) {
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    CONSOLE_SCREEN_BUFFER* buffer = ConsoleLookupBuffer(handle);
    if (!buffer) return Fail(ERROR_INVALID_HANDLE);
    if (!region || (!cells && size.X > 0 && size.Y > 0)) return Fail(ERROR_INVALID_PARAMETER);
    CopyRect(ConsoleCurrentPage(buffer), cells, size, origin, region, toBuffer);
    if (toBuffer) ConsoleRepaint();
    return TRUE;
}

// The caller's cells of an A call, or a one-cell stand-in when the size
// holds none; null when memory is short.
CHAR_INFO* TemporaryCells(COORD size, size_t* count) {
    *count = size.X < 1 || size.Y < 1 ? 1 : static_cast<size_t>(size.X) * static_cast<size_t>(size.Y);
    if (*count > CONSOLE_MAX_CELLS) return nullptr;
    return static_cast<CHAR_INFO*>(std::calloc(*count, sizeof(CHAR_INFO)));
}

WCHAR OemToUnit(CHAR c) {
    WCHAR unit;
    return MultiByteToWideChar(CP_OEMCP, 0, &c, 1, &unit, 1) == 1 ? unit : u'?';
}

CHAR UnitToOem(WCHAR unit) {
    CHAR c;
    BOOL usedDefault = FALSE;
    if (WideCharToMultiByte(CP_OEMCP, 0, &unit, 1, &c, 1, "?", &usedDefault) != 1 || usedDefault)
        return '?';
    return c;
}

// ---- fills -----------------------------------------------------------------------------------------

BOOL FillOutput(HANDLE handle, bool attributes, WORD value, DWORD length, COORD origin,
                LPDWORD written) {
    if (written) *written = 0;
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    CONSOLE_SCREEN_BUFFER* buffer = ConsoleLookupBuffer(handle);
    if (!buffer) return Fail(ERROR_INVALID_HANDLE);
    SCREEN_PAGE* page = ConsoleCurrentPage(buffer);
    if (origin.X < 0 || origin.Y < 0 || origin.X >= page->width || origin.Y >= page->height)
        return Fail(ERROR_INVALID_PARAMETER);
    size_t first = static_cast<size_t>(origin.Y) * static_cast<size_t>(page->width) +
                   static_cast<size_t>(origin.X);
    size_t total = static_cast<size_t>(page->width) * static_cast<size_t>(page->height);
    size_t n = length < total - first ? length : total - first;
    for (size_t i = first; i < first + n; i++) {
        if (attributes)
            page->cells[i] = (page->cells[i] & 0xFFFF) | (static_cast<uint32_t>(value) << 16);
        else
            page->cells[i] = (page->cells[i] & 0xFFFF0000u) | value;
    }
    if (written) *written = static_cast<DWORD>(n);
    ConsoleRepaint();
    return TRUE;
}

} // namespace

// ---- internal operations ------------------------------------------------------------------------

CONSOLE_SCREEN_BUFFER* ConsoleNewScreenBuffer(int32_t width, int32_t height) {
    auto* buffer = new (std::nothrow) CONSOLE_SCREEN_BUFFER();
    if (!buffer) return nullptr;
    if (!ConsolePageInit(&buffer->pages[0], width, height, buffer->attribute)) {
        delete buffer;
        return nullptr;
    }
    buffer->next = gConsole.buffers;
    gConsole.buffers = buffer;
    return buffer;
}

bool ConsolePageInit(SCREEN_PAGE* page, int32_t width, int32_t height, uint16_t attribute) {
    uint32_t* cells = AllocateCells(width, height);
    if (!cells) return false;
    size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (size_t i = 0; i < count; i++) cells[i] = Blank(attribute);
    page->cells = cells;
    page->width = width;
    page->height = height;
    page->Left = 0;
    page->Top = 0;
    page->Right = Min(width, gConsole.columns.load()) - 1;
    page->Bottom = Min(height, gConsole.rows.load()) - 1;
    page->cursorX = 0;
    page->cursorY = 0;
    return true;
}

bool ConsolePageResize(SCREEN_PAGE* page, int32_t width, int32_t height, uint16_t attribute) {
    uint32_t* cells = AllocateCells(width, height);
    if (!cells) return false;
    for (int32_t y = 0; y < height; y++) {
        for (int32_t x = 0; x < width; x++) {
            uint32_t value = x < page->width && y < page->height ? *CellAt(page, x, y) : Blank(attribute);
            cells[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = value;
        }
    }
    std::free(page->cells);
    page->cells = cells;
    page->width = width;
    page->height = height;
    if (page->cursorX >= width) page->cursorX = width - 1;
    if (page->cursorY >= height) page->cursorY = height - 1;
    return true;
}

void ConsoleClampWindow(SCREEN_PAGE* page) {
    int32_t columns = gConsole.columns.load(), rows = gConsole.rows.load();
    int32_t visibleWidth = Max(Min(Min(page->Right - page->Left + 1, page->width), columns), 1);
    int32_t visibleHeight = Max(Min(Min(page->Bottom - page->Top + 1, page->height), rows), 1);
    if (page->Left + visibleWidth > page->width) page->Left = page->width - visibleWidth;
    if (page->Top + visibleHeight > page->height) page->Top = page->height - visibleHeight;
    if (page->Left < 0) page->Left = 0;
    if (page->Top < 0) page->Top = 0;
    page->Right = page->Left + visibleWidth - 1;
    page->Bottom = page->Top + visibleHeight - 1;
}

void ConsoleScrollToCursor(SCREEN_PAGE* page) {
    int32_t width = page->Right - page->Left + 1, height = page->Bottom - page->Top + 1;
    if (page->cursorX < page->Left)
        page->Left = page->cursorX;
    else if (page->cursorX > page->Right)
        page->Left = page->cursorX - width + 1;
    page->Right = page->Left + width - 1;
    if (page->cursorY < page->Top)
        page->Top = page->cursorY;
    else if (page->cursorY > page->Bottom)
        page->Top = page->cursorY - height + 1;
    page->Bottom = page->Top + height - 1;
}

void ConsoleFollowCursor(CONSOLE_SCREEN_BUFFER* buffer) {
    if (buffer->cursorVisible) ConsoleScrollToCursor(ConsoleCurrentPage(buffer));
}

void ConsoleLineFeed(CONSOLE_SCREEN_BUFFER* buffer, SCREEN_PAGE* page) {
    if (page->cursorY + 1 < page->height) {
        page->cursorY++;
        return;
    }
    size_t width = static_cast<size_t>(page->width);
    std::memmove(page->cells, page->cells + width,
                 (static_cast<size_t>(page->height) - 1) * width * sizeof(uint32_t));
    uint32_t* last = CellAt(page, 0, page->height - 1);
    for (size_t x = 0; x < width; x++) last[x] = Blank(buffer->attribute);
}

void ConsolePutChar(CONSOLE_SCREEN_BUFFER* buffer, SCREEN_PAGE* page, WCHAR unit) {
    if ((buffer->outputMode & ENABLE_PROCESSED_OUTPUT) && unit >= 7 && unit <= 13 && unit != 11 &&
        unit != 12) {
        switch (unit) {
        case 7: ConsoleWriteTtyLocked("\a"); return;
        case 8:
            if (page->cursorX > 0) page->cursorX--;
            return;
        case 9:
            // Spaces up to the next multiple of 8. Without wrapping the cursor
            // stops on the last column, and so does the tab.
            for (;;) {
                int32_t x = page->cursorX, y = page->cursorY;
                StoreChar(buffer, page, u' ');
                if (page->cursorX % 8 == 0) return;
                if (page->cursorX == x && page->cursorY == y) return;
            }
        case 10:
            if (!(buffer->outputMode & DISABLE_NEWLINE_AUTO_RETURN)) page->cursorX = 0;
            ConsoleLineFeed(buffer, page);
            return;
        case 13: page->cursorX = 0; return;
        default: return;
        }
    }
    StoreChar(buffer, page, unit);
}

void ConsoleWriteUnits(CONSOLE_SCREEN_BUFFER* buffer, const WCHAR* text, DWORD count) {
    const bool vt = (buffer->outputMode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
    size_t i = 0;
    while (i < count) {
        WCHAR u = text[i];
        if (u != 27 || !vt || i + 1 >= count || text[i + 1] != u'[') {
            ConsolePutChar(buffer, ConsoleCurrentPage(buffer), u);
            i++;
            continue;
        }
        size_t final = i + 2;
        while (final < count && !(text[final] >= 0x40 && text[final] <= 0x7E)) final++;
        if (final >= count) break; // an unfinished sequence drops the rest
        size_t first = i + 2;
        i = final + 1;
        if (final == first) continue;
        bool isPrivate = text[first] == u'?';
        uint32_t number = 0;
        for (size_t k = isPrivate ? first + 1 : first; k < final; k++)
            if (text[k] >= u'0' && text[k] <= u'9' && number < 100000000u)
                number = number * 10 + (text[k] - u'0');
        WCHAR f = text[final];
        if (f == u'q' && text[final - 1] == u' ') {
            buffer->cursorShape = static_cast<int32_t>(number);
        } else if (isPrivate && (f == u'h' || f == u'l')) {
            if (number == 47 || number == 1047 || number == 1049)
                SwitchPage(buffer, f == u'h');
            else if (number == 25)
                buffer->cursorVisible = f == u'h' ? TRUE : FALSE;
        }
    }
    ConsoleFollowCursor(buffer);
}

BOOL ConsoleWriteText(HANDLE handle, const WCHAR* text, DWORD count, DWORD* written) {
    if (written) *written = 0;
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    CONSOLE_SCREEN_BUFFER* buffer = ConsoleLookupBuffer(handle);
    if (!buffer) return Fail(ERROR_INVALID_HANDLE);
    if (!text && count > 0) return Fail(ERROR_INVALID_PARAMETER);
    if (count == 0) {
        ConsoleFollowCursor(buffer);
        return TRUE;
    }
    ConsoleWriteUnits(buffer, text, count);
    if (written) *written = count;
    ConsoleRepaint();
    return TRUE;
}

void ConsoleFreeScreenBuffer(CONSOLE_SCREEN_BUFFER* buffer) {
    for (CONSOLE_SCREEN_BUFFER** p = &gConsole.buffers; *p; p = &(*p)->next) {
        if (*p == buffer) {
            *p = buffer->next;
            break;
        }
    }
    std::free(buffer->pages[0].cells);
    std::free(buffer->pages[1].cells);
    delete buffer;
}

void ConsoleCloseScreenBuffer(void* object) {
    auto* buffer = static_cast<CONSOLE_SCREEN_BUFFER*>(object);
    ConsoleStateGuard state;
    buffer->referenceCount--;
    if (buffer->referenceCount < 1 && buffer != gConsole.activeBuffer &&
        buffer != gConsole.defaultBuffer)
        ConsoleFreeScreenBuffer(buffer);
}

CONSOLE_SCREEN_BUFFER* ConsoleLookupBuffer(HANDLE handle) {
    return static_cast<CONSOLE_SCREEN_BUFFER*>(HandleLookup(handle, HANDLE_TYPE_SCREEN_BUFFER));
}

// ---- API -------------------------------------------------------------------------------------------

HANDLE CreateConsoleScreenBuffer(DWORD, DWORD, const SECURITY_ATTRIBUTES*, DWORD flags, LPVOID) {
    if (flags != CONSOLE_TEXTMODE_BUFFER || !ConsoleAvailable()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    ConsoleStateGuard state;
    CONSOLE_SCREEN_BUFFER* buffer =
        ConsoleNewScreenBuffer(gConsole.columns.load(), gConsole.rows.load());
    HANDLE handle = buffer ? HandleAllocate(HANDLE_TYPE_SCREEN_BUFFER, buffer) : nullptr;
    if (!handle) {
        if (buffer) ConsoleFreeScreenBuffer(buffer);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    buffer->referenceCount = 1;
    return handle;
}

BOOL SetConsoleActiveScreenBuffer(HANDLE handle) {
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    CONSOLE_SCREEN_BUFFER* buffer = ConsoleLookupBuffer(handle);
    if (!buffer) return Fail(ERROR_INVALID_HANDLE);
    CONSOLE_SCREEN_BUFFER* previous = gConsole.activeBuffer;
    gConsole.activeBuffer = buffer;
    ConsoleClampWindow(ConsoleCurrentPage(buffer));
    if (previous != buffer && previous != gConsole.defaultBuffer && previous->referenceCount < 1)
        ConsoleFreeScreenBuffer(previous);
    ConsoleRepaint();
    return TRUE;
}

BOOL GetConsoleScreenBufferInfo(HANDLE handle, PCONSOLE_SCREEN_BUFFER_INFO info) {
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    CONSOLE_SCREEN_BUFFER* buffer = ConsoleLookupBuffer(handle);
    if (!buffer) return Fail(ERROR_INVALID_HANDLE);
    if (!info) return Fail(ERROR_INVALID_PARAMETER);
    const SCREEN_PAGE* page = ConsoleCurrentPage(buffer);
    info->dwSize = {static_cast<SHORT>(page->width), static_cast<SHORT>(page->height)};
    info->dwCursorPosition = {static_cast<SHORT>(page->cursorX), static_cast<SHORT>(page->cursorY)};
    info->wAttributes = buffer->attribute;
    info->srWindow = {static_cast<SHORT>(page->Left), static_cast<SHORT>(page->Top),
                      static_cast<SHORT>(page->Right), static_cast<SHORT>(page->Bottom)};
    info->dwMaximumWindowSize = {static_cast<SHORT>(Min(page->width, gConsole.columns.load())),
                                 static_cast<SHORT>(Min(page->height, gConsole.rows.load()))};
    return TRUE;
}

BOOL GetConsoleScreenBufferInfoEx(HANDLE handle, PCONSOLE_SCREEN_BUFFER_INFOEX info) {
    if (info && info->cbSize != sizeof(CONSOLE_SCREEN_BUFFER_INFOEX))
        return Fail(ERROR_INVALID_PARAMETER);
    if (!info) return Fail(ERROR_INVALID_PARAMETER);
    CONSOLE_SCREEN_BUFFER_INFO basic;
    if (!GetConsoleScreenBufferInfo(handle, &basic)) return FALSE;
    info->dwSize = basic.dwSize;
    info->dwCursorPosition = basic.dwCursorPosition;
    info->wAttributes = basic.wAttributes;
    info->srWindow = basic.srWindow;
    info->dwMaximumWindowSize = basic.dwMaximumWindowSize;
    info->wPopupAttributes = 0xF5;
    info->bFullscreenSupported = FALSE;
    ConsoleStateGuard state;
    std::memcpy(info->ColorTable, gConsole.render.palette, sizeof info->ColorTable);
    return TRUE;
}

BOOL SetConsoleScreenBufferInfoEx(HANDLE handle, PCONSOLE_SCREEN_BUFFER_INFOEX info) {
    if (!info || info->cbSize != sizeof(CONSOLE_SCREEN_BUFFER_INFOEX))
        return Fail(ERROR_INVALID_PARAMETER);
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    CONSOLE_SCREEN_BUFFER* buffer = ConsoleLookupBuffer(handle);
    if (!buffer) return Fail(ERROR_INVALID_HANDLE);
    if (std::memcmp(info->ColorTable, gConsole.render.palette, sizeof info->ColorTable) != 0) {
        std::memcpy(gConsole.render.palette, info->ColorTable, sizeof info->ColorTable);
        ConsoleShadowInvalidate(&gConsole.render);
    }
    buffer->attribute = info->wAttributes;
    ConsoleRepaint();
    return TRUE;
}

BOOL SetConsoleScreenBufferSize(HANDLE handle, COORD size) {
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    CONSOLE_SCREEN_BUFFER* buffer = ConsoleLookupBuffer(handle);
    if (!buffer) return Fail(ERROR_INVALID_HANDLE);
    SCREEN_PAGE* page = ConsoleCurrentPage(buffer);
    if (size.X < 1 || size.Y < 1 || size.X <= page->Right - page->Left ||
        size.Y <= page->Bottom - page->Top)
        return Fail(ERROR_INVALID_PARAMETER);
    if (!ConsolePageResize(page, size.X, size.Y, buffer->attribute))
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    ConsoleClampWindow(page);
    ConsoleRepaint();
    return TRUE;
}

BOOL SetConsoleWindowInfo(HANDLE handle, BOOL absolute, const SMALL_RECT* window) {
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    CONSOLE_SCREEN_BUFFER* buffer = ConsoleLookupBuffer(handle);
    if (!buffer) return Fail(ERROR_INVALID_HANDLE);
    if (!window) return Fail(ERROR_INVALID_PARAMETER);
    SCREEN_PAGE* page = ConsoleCurrentPage(buffer);
    // In 32 bits: relative edges added to the current ones may leave the
    // 16-bit range, and must then fail rather than wrap into a valid window.
    int32_t left = window->Left, top = window->Top, right = window->Right, bottom = window->Bottom;
    if (!absolute) {
        left += page->Left;
        top += page->Top;
        right += page->Right;
        bottom += page->Bottom;
    }
    if (left < 0 || left > right || right >= page->width || top < 0 || top > bottom ||
        bottom >= page->height || right - left >= gConsole.columns.load() ||
        bottom - top >= gConsole.rows.load())
        return Fail(ERROR_INVALID_PARAMETER);
    page->Left = left;
    page->Top = top;
    page->Right = right;
    page->Bottom = bottom;
    ConsoleRepaint();
    return TRUE;
}

COORD GetLargestConsoleWindowSize(HANDLE handle) {
    if (!ConsoleAvailable()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return COORD{0, 0};
    }
    ConsoleStateGuard state;
    if (!ConsoleLookupBuffer(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return COORD{0, 0};
    }
    return COORD{static_cast<SHORT>(gConsole.columns.load()), static_cast<SHORT>(gConsole.rows.load())};
}

BOOL GetConsoleCursorInfo(HANDLE handle, PCONSOLE_CURSOR_INFO info) {
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    CONSOLE_SCREEN_BUFFER* buffer = ConsoleLookupBuffer(handle);
    if (!buffer) return Fail(ERROR_INVALID_HANDLE);
    if (!info) return Fail(ERROR_INVALID_PARAMETER);
    info->dwSize = buffer->cursorSize;
    info->bVisible = buffer->cursorVisible;
    return TRUE;
}

BOOL SetConsoleCursorInfo(HANDLE handle, const CONSOLE_CURSOR_INFO* info) {
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    CONSOLE_SCREEN_BUFFER* buffer = ConsoleLookupBuffer(handle);
    if (!buffer) return Fail(ERROR_INVALID_HANDLE);
    if (!info || info->dwSize < 1 || info->dwSize > 100) return Fail(ERROR_INVALID_PARAMETER);
    buffer->cursorSize = info->dwSize;
    buffer->cursorVisible = info->bVisible ? TRUE : FALSE;
    ConsoleRepaint();
    return TRUE;
}

BOOL SetConsoleCursorPosition(HANDLE handle, COORD position) {
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    CONSOLE_SCREEN_BUFFER* buffer = ConsoleLookupBuffer(handle);
    if (!buffer) return Fail(ERROR_INVALID_HANDLE);
    SCREEN_PAGE* page = ConsoleCurrentPage(buffer);
    if (position.X < 0 || position.Y < 0 || position.X >= page->width || position.Y >= page->height)
        return Fail(ERROR_INVALID_PARAMETER);
    page->cursorX = position.X;
    page->cursorY = position.Y;
    ConsoleFollowCursor(buffer);
    ConsoleRepaint();
    return TRUE;
}

BOOL SetConsoleTextAttribute(HANDLE handle, WORD attribute) {
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    CONSOLE_SCREEN_BUFFER* buffer = ConsoleLookupBuffer(handle);
    if (!buffer) return Fail(ERROR_INVALID_HANDLE);
    buffer->attribute = attribute;
    return TRUE;
}

BOOL FillConsoleOutputAttribute(HANDLE handle, WORD attribute, DWORD length, COORD origin,
                                LPDWORD written) {
    return FillOutput(handle, true, attribute, length, origin, written);
}

BOOL FillConsoleOutputCharacterW(HANDLE handle, WCHAR character, DWORD length, COORD origin,
                                 LPDWORD written) {
    return FillOutput(handle, false, character, length, origin, written);
}

BOOL FillConsoleOutputCharacterA(HANDLE handle, CHAR character, DWORD length, COORD origin,
                                 LPDWORD written) {
    return FillOutput(handle, false, OemToUnit(character), length, origin, written);
}

BOOL WriteConsoleOutputW(HANDLE handle, const CHAR_INFO* cells, COORD size, COORD origin,
                         PSMALL_RECT region) {
    return CopyRectCall(handle, const_cast<CHAR_INFO*>(cells), size, origin, region, true);
}

BOOL ReadConsoleOutputW(HANDLE handle, PCHAR_INFO cells, COORD size, COORD origin,
                        PSMALL_RECT region) {
    return CopyRectCall(handle, cells, size, origin, region, false);
}

BOOL WriteConsoleOutputA(HANDLE handle, const CHAR_INFO* cells, COORD size, COORD origin,
                         PSMALL_RECT region) {
    size_t count;
    CHAR_INFO* wide = TemporaryCells(size, &count);
    if (!wide) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    if (size.X >= 1 && size.Y >= 1 && cells) {
        for (size_t i = 0; i < count; i++) {
            wide[i].Char.UnicodeChar = OemToUnit(cells[i].Char.AsciiChar);
            wide[i].Attributes = cells[i].Attributes;
        }
    }
    BOOL ok = CopyRectCall(handle, wide, size, origin, region, true);
    std::free(wide);
    return ok;
}

BOOL ReadConsoleOutputA(HANDLE handle, PCHAR_INFO cells, COORD size, COORD origin,
                        PSMALL_RECT region) {
    size_t count;
    CHAR_INFO* wide = TemporaryCells(size, &count);
    if (!wide) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    const int32_t left = region ? region->Left : 0, top = region ? region->Top : 0;
    BOOL ok = CopyRectCall(handle, wide, size, origin, region, false);
    if (ok && cells && size.X >= 1 && size.Y >= 1) {
        // Only the cells of the region were read: the rest of the caller's
        // array stays as it was.
        for (int32_t r = region->Top; r <= region->Bottom; r++) {
            for (int32_t c = region->Left; c <= region->Right; c++) {
                size_t i = static_cast<size_t>(origin.Y + r - top) * static_cast<size_t>(size.X) +
                           static_cast<size_t>(origin.X + c - left);
                cells[i].Char.AsciiChar = UnitToOem(wide[i].Char.UnicodeChar);
                cells[i].Attributes = wide[i].Attributes;
            }
        }
    }
    std::free(wide);
    return ok;
}

BOOL WriteConsoleW(HANDLE handle, const void* text, DWORD count, LPDWORD written, LPVOID) {
    return ConsoleWriteText(handle, static_cast<const WCHAR*>(text), count, written);
}

BOOL WriteConsoleA(HANDLE handle, const void* text, DWORD count, LPDWORD written, LPVOID) {
    if (written) *written = 0;
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    {
        ConsoleStateGuard state;
        if (!ConsoleLookupBuffer(handle)) return Fail(ERROR_INVALID_HANDLE);
    }
    if (count == 0) return ConsoleWriteText(handle, u"", 0, written);
    if (!text) return Fail(ERROR_INVALID_PARAMETER);
    if (count > CONSOLE_MAX_CELLS) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    auto* units = static_cast<WCHAR*>(std::malloc(count * sizeof(WCHAR)));
    if (!units) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    int n = MultiByteToWideChar(CP_OEMCP, 0, static_cast<const char*>(text), static_cast<int>(count),
                                units, static_cast<int>(count));
    BOOL ok = TRUE;
    if (n > 0) {
        DWORD unitsWritten = 0;
        ok = ConsoleWriteText(handle, units, static_cast<DWORD>(n), &unitsWritten);
        if (ok && written) *written = count;
    }
    std::free(units);
    return ok;
}

BOOL GetConsoleMode(HANDLE handle, LPDWORD mode) {
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    if (CONSOLE_SCREEN_BUFFER* buffer = ConsoleLookupBuffer(handle)) {
        if (mode) *mode = buffer->outputMode;
        return TRUE;
    }
    if (HandleLookup(handle, HANDLE_TYPE_CONSOLE_INPUT)) {
        if (mode) *mode = gConsole.inputMode;
        return TRUE;
    }
    return Fail(ERROR_INVALID_HANDLE);
}

BOOL SetConsoleMode(HANDLE handle, DWORD mode) {
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    if (CONSOLE_SCREEN_BUFFER* buffer = ConsoleLookupBuffer(handle)) {
        buffer->outputMode = mode & 0x1F;
        return TRUE;
    }
    if (HandleLookup(handle, HANDLE_TYPE_CONSOLE_INPUT)) {
        ConsoleSetInputMode(mode);
        return TRUE;
    }
    return Fail(ERROR_INVALID_HANDLE);
}

BOOL GetCurrentConsoleFont(HANDLE handle, BOOL, PCONSOLE_FONT_INFO font) {
    if (!ConsoleAvailable()) return Fail(ERROR_INVALID_HANDLE);
    ConsoleStateGuard state;
    if (!ConsoleLookupBuffer(handle)) return Fail(ERROR_INVALID_HANDLE);
    if (!font) return Fail(ERROR_INVALID_PARAMETER);
    font->nFont = 0;
    font->dwFontSize = {8, 16};
    return TRUE;
}

COORD GetConsoleFontSize(HANDLE, DWORD) { return COORD{8, 16}; }
