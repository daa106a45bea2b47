// The program's own settings files: locating one along the program search,
// and reading a whole hand-written settings text (the never-log list, the
// colour file) into memory through the routing layer.
#pragma once

#include "wintypes.h"

#include <cstddef>
#include <string>

// A file larger than this is read no further: the settings texts are
// written by hand, and reading stays bounded whatever lies at their path.
inline constexpr size_t SETTINGS_TEXT_MAX_BYTES = size_t(64) << 20;

// Appends the bytes of the file at path (at most SETTINGS_TEXT_MAX_BYTES)
// to bytes; false when it cannot be opened or is no regular file (a fifo or
// device there could block the start-up for ever).
bool ReadSettingsText(const WCHAR* path, std::string* bytes);

// Locates a settings file when path is still empty: the name given on the
// command line (option, may be empty) through LocateFile, else name through
// FindProgram. A path found (that fits SETTINGS_PATH_UNITS) goes into path
// and into the environment variable envName. Returns path[0] != 0.
bool LocateSettingsFile(const WCHAR* option, const WCHAR* name, const WCHAR* envName, WCHAR* path);
