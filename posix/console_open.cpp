// Until the terminal console is started in this process there is no console
// object to hand out, so "CONIN$" and "CONOUT$" are not found.
#include "internal/console_open.h"
#include "errhandlingapi.h"
#include "winerror.h"

HANDLE ConsoleOpenByName(bool) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
}
