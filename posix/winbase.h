// The system's error messages, and the machine and user names.
#pragma once

#include "wintypes.h"

#include <cstdarg>

inline constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x100;
inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x1000;

// The text of a Windows error code into buffer: a fixed message for the
// codes the program reports (2, 3, 5, 8, 50, 53, 64, 65, 80, 112, 145, 183,
// 1223, 1231, 1326), "Error <code>." for any other. flags must hold
// FORMAT_MESSAGE_FROM_SYSTEM and not FORMAT_MESSAGE_ALLOCATE_BUFFER; source,
// language and arguments are not used (the texts have no inserts). The text
// is cut to size - 1 units and terminated; returns the units written. 0
// with last error 87 for other flags, no buffer or size 0.
DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD code, DWORD language, LPWSTR buffer,
                     DWORD size, va_list* arguments);

// The host name (at most 255 bytes) as UTF-16. *size holds the buffer's
// units; when the name and its terminator fit, copies it, stores its length
// without the terminator and returns TRUE; otherwise (also with no buffer)
// stores length + 1 and fails with last error 111. A null size fails with
// 87; a failing gethostname with the errno-table code.
BOOL GetComputerNameW(LPWSTR buffer, LPDWORD size);

// The name of the real user id in the password database, else $USER, as
// UTF-16. *size holds the buffer's units; when the name and its terminator
// fit, copies it, stores length + 1 (with the terminator) and returns TRUE;
// otherwise (also with no buffer) stores length + 1 and fails with last
// error 122. When no name is known at all it returns FALSE with last error
// 0 and leaves *size alone. A null size fails with 87.
BOOL GetUserNameW(LPWSTR buffer, LPDWORD size);
