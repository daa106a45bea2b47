// The program locator: program parts of command lines, the fixed order of
// places a program or file is looked for in, the search lists PATH, DPATH
// and XPATH, and %NAME% expansion.
#include "menu/locator.h"

#include "settings/folders.h"
#include "settings/paths.h"
#include "settings/quit.h"
#include "windows.h"
#include "qposix_path.h"
#include "remote/remote_drives.h"

#include <initializer_list>
#include <memory>

namespace {

// The registry key whose default value names a program's location on the
// system the program was written for; this platform keeps no registry, so
// the lookup answers nothing, as it does there for an unregistered name.
constexpr const WCHAR kAppPathsKey[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\%s";

bool IsSeparator(WCHAR c) {
    return c == '\\' || c == '/';
}

// Copies n units of s and a terminator into out when they fit.
bool CopyUnits(WCHAR* out, size_t outUnits, const WCHAR* s, size_t n) {
    if (n + 1 > outUnits) return false;
    wmemcpy(out, s, n);
    out[n] = 0;
    return true;
}

// folder, a backslash unless folder ends in a separator, name; false when
// folder is empty or the result does not fit.
bool JoinPath(WCHAR* out, size_t outUnits, const WCHAR* folder, const WCHAR* name) {
    size_t f = wcslen(folder);
    if (f == 0) return false;
    size_t n = wcslen(name);
    bool sep = !IsSeparator(folder[f - 1]);
    if (f + sep + n + 1 > outUnits) return false;
    wmemcpy(out, folder, f);
    if (sep) out[f++] = '\\';
    wmemcpy(out + f, name, n + 1);
    return true;
}

struct FileKind {
    bool exists;  // exists and is not a directory
    bool program; // and may be executed
};

// What the routing layer reports about a path: a file, and whether it is a
// program. A directory is never taken for a file.
FileKind ProbeFile(const WCHAR* path) {
    QSTAT st;
    if (Rd_wstat(path, &st) != 0 || (st.st_mode & _S_IFDIR)) return {false, false};
    bool program = (st.st_mode & 0x40) != 0 || ProgramIsExecutable(PathToPosix(path));
    return {true, program};
}

} // namespace

bool ExtractProgramPart(const WCHAR* line, WCHAR* out, size_t outUnits) {
    if (outUnits) out[0] = 0;
    if (!line || outUnits == 0) return false;
    const WCHAR* p = line;
    if (_wcsnicmp(p, u"START ", 6) == 0 && !wcschr(line, '/')) {
        p += 6;
        if (p[0] == '"' && p[1] == '"' && p[2] == ' ') p += 3;
    }
    if (p[0] == '"') {
        const WCHAR* close = wcschr(p + 1, '"');
        size_t n = close ? static_cast<size_t>(close - (p + 1)) : wcslen(p + 1);
        return CopyUnits(out, outUnits, p + 1, n);
    }
    size_t len = wcslen(p);
    const WCHAR* blank = wcschr(p, ' ');
    if (!blank) return CopyUnits(out, outUnits, p, len);

    size_t b = static_cast<size_t>(blank - p);
    size_t end = len;
    bool inExtension = false;
    size_t dot = 0;
    for (size_t i = b >= 4 ? b - 4 : b; i < len; i++) {
        WCHAR c = p[i];
        if (inExtension) {
            if (c == ' ') {
                end = i;
                break;
            }
            if (c == '.' && i == dot + 1) {
                end = dot;
                break;
            }
            if (c == '\\')
                inExtension = false;
            else if (c == '.')
                dot = i;
        } else if (c == '.') {
            inExtension = true;
            dot = i;
        } else if (c == ' ' && (p[i + 1] == '%' || p[i + 1] == '-' || p[i + 1] == '\\')) {
            end = i;
            break;
        }
    }
    return CopyUnits(out, outUnits, p, end);
}

const WCHAR* FindProgram(const WCHAR* line) {
    thread_local WCHAR result[LOCATOR_RESULT_UNITS];
    WCHAR name[LOCATOR_NAME_UNITS];
    // A part too long to copy is never looked for cut: a cut name could find
    // a different file.
    if (!ExtractProgramPart(line, name, LOCATOR_NAME_UNITS) || !name[0]) return nullptr;

    const bool colon = wcschr(name, ':') != nullptr;
    const bool separator = wcschr(name, '\\') || wcschr(name, '/');
    auto take = [&](const WCHAR* path) -> const WCHAR* {
        return CopyUnits(result, LOCATOR_RESULT_UNITS, path, wcslen(path)) ? result : nullptr;
    };
    // Tries folder + name; programs are passed over where strangers may
    // place files (the start-up directory and the browsed one).
    auto tryIn = [&](const WCHAR* folder, bool filesOnly) -> const WCHAR* {
        WCHAR path[LOCATOR_RESULT_UNITS];
        if (!JoinPath(path, LOCATOR_RESULT_UNITS, folder, name)) return nullptr;
        FileKind kind = ProbeFile(path);
        if (!kind.exists || (filesOnly && kind.program)) return nullptr;
        return take(path);
    };

    if (colon || (name[0] == '\\' && name[1] == '\\') || name[0] == '/') {
        if (ProbeFile(name).exists) return take(name);
    }
    if (!colon) {
        const WCHAR* hit = nullptr;
        if (ContainsNoCase(gStartDir, gProgramFilesDir) && (hit = tryIn(gDataDir, false)))
            return hit;
        if ((hit = tryIn(gStartDir, true))) return hit;
        {
            PathContext context;
            GetPathContext(&context);
            if ((hit = tryIn(context.currentDir, true))) return hit;
        }
        if ((hit = tryIn(gDataDir, false))) return hit;
        if (wcscmp(gProgramDir, gDataDir) != 0 && (hit = tryIn(gProgramDir, false))) return hit;
        if (gToolsDir[0]) {
            WCHAR tools[FULL_PATH_UNITS];
            if (MakeFullPath(tools, gToolsDir) >= 0 && (hit = tryIn(tools, false))) return hit;
        }
        if (!separator) {
            for (const WCHAR* list : {u"PATH", u"DPATH", u"XPATH"})
                if ((hit = SearchPathList(list, name))) return take(hit);
        }
    }
    if (separator) return nullptr;

    WCHAR key[LOCATOR_RESULT_UNITS];
    HKEY handle = nullptr;
    if (swprintf(key, LOCATOR_RESULT_UNITS, kAppPathsKey, name) < 0 ||
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != 0)
        return nullptr;
    BYTE value[MAX_PATH];
    DWORD size = sizeof value - sizeof(WCHAR);
    LONG read = RegQueryValueExW(handle, nullptr, nullptr, nullptr, value, &size);
    RegCloseKey(handle);
    if (read != 0) return nullptr;
    WCHAR found[MAX_PATH / 2 + 1] = {};
    std::memcpy(found, value, size < MAX_PATH ? size : MAX_PATH);
    return take(found);
}

const WCHAR* LocateFile(const WCHAR* name) {
    if (!name) return nullptr;
    WCHAR c = name[0];
    if (((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && name[1] == ':' && name[2] == '\\')
        return name;
    if (wcschr(name, ' ') && !wcschr(name, '"')) {
        size_t n = wcslen(name);
        if (n + 3 > LOCATOR_NAME_UNITS + 2) return nullptr;
        WCHAR quoted[LOCATOR_NAME_UNITS + 2];
        quoted[0] = '"';
        wmemcpy(quoted + 1, name, n);
        quoted[n + 1] = '"';
        quoted[n + 2] = 0;
        return FindProgram(quoted);
    }
    return FindProgram(name);
}

const char* LocateFileA(const char* name) {
    thread_local char result[LOCATOR_NARROW_RESULT_BYTES];
    if (!name) return nullptr;
    WCHAR wide[LOCATOR_RESULT_UNITS];
    if (MultiByteToWideChar(CP_ACP, 0, name, -1, wide, LOCATOR_RESULT_UNITS) == 0) return nullptr;
    const WCHAR* found = FindProgram(wide);
    if (!found) return nullptr;
    BOOL lossy = FALSE;
    if (WideCharToMultiByte(CP_ACP, 0, found, -1, result, sizeof result, nullptr, &lossy) == 0 ||
        lossy)
        return nullptr;
    return result;
}

const WCHAR* SearchPathList(const WCHAR* listName, const WCHAR* name) {
    thread_local WCHAR result[LOCATOR_LIST_RESULT_UNITS];
    if (!listName || !name || !name[0]) return nullptr;
    // The length with the terminator; 0 when the variable is not set.
    DWORD need = GetEnvironmentVariableW(listName, nullptr, 0);
    if (need <= 1) return nullptr;
    std::unique_ptr<WCHAR, CheckedFree> list(
        static_cast<WCHAR*>(CHECKED_MALLOC(need * sizeof(WCHAR), "locator")));
    DWORD got = GetEnvironmentVariableW(listName, list.get(), need);
    if (got == 0 || got >= need) return nullptr;

    for (WCHAR* element = list.get(); element;) {
        WCHAR* colon = wcschr(element, ':');
        if (colon) *colon = 0;
        WCHAR* next = colon ? colon + 1 : nullptr;

        if (element[0] == '"') element++;
        size_t n = wcslen(element);
        if (n > 0 && element[n - 1] == '"') element[--n] = 0;
        // Only absolute elements: an empty or relative one would search the
        // current directory, where anyone may have placed a file.
        if (n > 0 && element[0] == '/') {
            char posix[4 * LOCATOR_LIST_RESULT_UNITS];
            WCHAR dir[LOCATOR_LIST_RESULT_UNITS];
            bool mapped = Utf16ToUtf8(element, -1, posix, sizeof posix) >= 0 &&
                          PathFromPosix(posix, dir, LOCATOR_LIST_RESULT_UNITS) >= 0;
            if (!mapped && !CopyUnits(dir, LOCATOR_LIST_RESULT_UNITS, element, n)) dir[0] = 0;
            WCHAR path[LOCATOR_LIST_RESULT_UNITS];
            if (JoinPath(path, LOCATOR_LIST_RESULT_UNITS, dir, name) && ProbeFile(path).exists) {
                wcscpy(result, path);
                return result;
            }
        }
        element = next;
    }
    return nullptr;
}

int ExpandEnvVars(WCHAR* out, size_t outUnits, const WCHAR* in) {
    if (!out || outUnits == 0) return -1;
    out[0] = 0;
    if (!in) return 0;
    size_t w = 0;
    bool replaced = false;
    bool fits = true;
    auto put = [&](const WCHAR* s, size_t n) {
        for (size_t i = 0; i < n; i++) {
            if (w + 1 >= outUnits) {
                fits = false;
                return;
            }
            out[w++] = s[i];
        }
    };
    for (const WCHAR* p = in; *p && fits;) {
        if (*p != '%') {
            put(p++, 1);
            continue;
        }
        const WCHAR* nameStart = p + 1;
        const WCHAR* q = nameStart;
        while (*q && *q != '%' && *q != ' ')
            q++;
        if (*q != '%' || q == nameStart) {
            // Not a reference: the "%" and the unit after it stay.
            put(p, p[1] ? 2 : 1);
            p += p[1] ? 2 : 1;
            continue;
        }
        size_t nameLen = static_cast<size_t>(q - nameStart);
        WCHAR varName[1024];
        DWORD need = 0; // the value's length with the terminator; 0 when not set
        if (nameLen < 1024) {
            wmemcpy(varName, nameStart, nameLen);
            varName[nameLen] = 0;
            need = GetEnvironmentVariableW(varName, nullptr, 0);
        }
        if (need == 0) {
            put(p, nameLen + 2);
        } else {
            if (need > 1) {
                std::unique_ptr<WCHAR, CheckedFree> value(
                    static_cast<WCHAR*>(CHECKED_MALLOC(need * sizeof(WCHAR), "locator")));
                DWORD got = GetEnvironmentVariableW(varName, value.get(), need);
                if (got < need) put(value.get(), got);
            }
            replaced = true;
        }
        p = q + 1;
    }
    out[w] = 0;
    return fits ? (replaced ? 1 : 0) : -1;
}
