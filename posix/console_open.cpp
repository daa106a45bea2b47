// "CONIN$" and "CONOUT$" opened by CreateFileW: new handles on the console
// input and on the active screen buffer, which the console owns.
#include "internal/console_open.h"
#include "internal/console.h"
#include "internal/console_input.h"
#include "internal/handles.h"
#include "errhandlingapi.h"
#include "winerror.h"

HANDLE ConsoleOpenByName(bool input) {
    if (!ConsoleAvailable()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    ConsoleStateGuard state;
    if (input) {
        HANDLE handle = HandleAllocate(HANDLE_TYPE_CONSOLE_INPUT, &gConsoleInput);
        if (!handle) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return handle;
    }
    CONSOLE_SCREEN_BUFFER* buffer = gConsole.activeBuffer;
    HANDLE handle = HandleAllocate(HANDLE_TYPE_SCREEN_BUFFER, buffer);
    if (!handle) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    buffer->referenceCount++;
    return handle;
}
