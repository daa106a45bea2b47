// Full paths from typed or configured text, and commands whose program part
// is resolved to a full path.
#include "settings/paths.h"

#include "menu/locator.h"
#include "settings/folders.h"
#include "windows.h"
#include "qposix_path.h"

#include <initializer_list>

namespace {

// A fixed-room UTF-16 text that refuses, rather than cuts, what does not fit.
struct PathText {
    WCHAR text[FULL_PATH_UNITS];
    size_t length = 0;
    bool fits = true;

    PathText() { text[0] = 0; }
    void Set(const WCHAR* s, size_t n) {
        length = 0;
        text[0] = 0;
        Append(s, n);
    }
    void Append(const WCHAR* s, size_t n) {
        if (!fits || length + n + 1 > FULL_PATH_UNITS) {
            fits = false;
            return;
        }
        wmemcpy(text + length, s, n);
        length += n;
        text[length] = 0;
    }
    void Append(const WCHAR* s) { Append(s, wcslen(s)); }
};

// base, a backslash unless base already ends in one, rest.
void JoinTo(PathText& out, const WCHAR* base, const WCHAR* rest) {
    PathText joined;
    joined.Append(base);
    if (joined.length > 0 && joined.text[joined.length - 1] != '\\') joined.Append(u"\\", 1);
    joined.Append(rest);
    if (!joined.fits)
        out.fits = false;
    else
        out.Set(joined.text, joined.length);
}

// True when the component text[start, end) may be removed by a following
// "\..": it is not empty, not ".." itself and not a drive ("X:").
bool Removable(const WCHAR* text, size_t start, size_t end) {
    size_t n = end - start;
    if (n == 0) return false;
    if (n == 2 && text[start] == '.' && text[start + 1] == '.') return false;
    if (n == 2 && PathHasDrive(text + start)) return false;
    return true;
}

// Every whole "\.." component removes itself and the component before it.
void RemoveParentSteps(PathText& path) {
    const bool rooted = path.text[0] == '\\' || (PathHasDrive(path.text) && path.text[2] == '\\');
    WCHAR* t = path.text;
    size_t from = 0;
    for (;;) {
        size_t p = from;
        bool found = false;
        for (; p + 3 <= path.length; p++) {
            if (t[p] == '\\' && t[p + 1] == '.' && t[p + 2] == '.' &&
                (t[p + 3] == 0 || t[p + 3] == '\\')) {
                found = true;
                break;
            }
        }
        if (!found) break;
        // The component before: from after the previous backslash (or the
        // start) up to p.
        size_t q = p;
        while (q > 0 && t[q - 1] != '\\')
            q--;
        if (p == 0 || !Removable(t, q, p)) {
            from = p + 3;
            continue;
        }
        // Remove "\comp\.." (or "comp\..\" at the very start), keeping the
        // separator that follows as the joint.
        size_t cutStart = q > 0 ? q - 1 : 0;
        size_t cutEnd = p + 3;
        if (q == 0 && t[cutEnd] == '\\') cutEnd++;
        wmemmove(t + cutStart, t + cutEnd, path.length - cutEnd + 1);
        path.length -= cutEnd - cutStart;
        from = cutStart;
    }
    // A rooted path never loses its root.
    if (rooted && path.length == 2 && PathHasDrive(t)) path.Append(u"\\", 1);
    if (rooted && path.length == 0) path.Append(u"\\", 1);
}

// 8-bit code page 437 text to UTF-16 and back; false when it does not fit
// or holds a character the code page lacks.
bool OemToWide(const char* in, WCHAR* out, size_t outUnits) {
    return MultiByteToWideChar(CP_OEMCP, 0, in, -1, out, static_cast<int>(outUnits)) > 0;
}

bool WideToOem(const WCHAR* in, char* out, size_t outBytes) {
    BOOL lossy = FALSE;
    return WideCharToMultiByte(CP_OEMCP, 0, in, -1, out, static_cast<int>(outBytes), nullptr,
                               &lossy) > 0 &&
           !lossy;
}

} // namespace

PATH_TREE_SEAM gPathTreeSeam = {};

void GetPathContext(PathContext* context) {
    context->currentDrive = gPathTreeSeam.currentDiskLetter ? gPathTreeSeam.currentDiskLetter() : 0;
    context->lastPanePath = gPathTreeSeam.lastPanePath;
    context->expandStamps = gPathTreeSeam.expandStamps;
    if (gPathTreeSeam.cursorDirectory &&
        gPathTreeSeam.cursorDirectory(context->currentDir, FULL_PATH_UNITS))
        return;
    DWORD n = GetCurrentDirectoryW(FULL_PATH_UNITS, context->currentDir);
    if (n == 0 || n >= FULL_PATH_UNITS) context->currentDir[0] = 0;
}

int MakeFullPathIn(const PathContext& context, WCHAR* out, const WCHAR* in) {
    out[0] = 0;
    if (!in) return -1;
    size_t inLength = wcslen(in);
    if (in[0] == '\\' && in[1] == '\\') {
        if (inLength + 1 > FULL_PATH_UNITS) return -1;
        wmemcpy(out, in, inLength + 1);
        return 0;
    }

    // Two or more colons after the drive (or in all, without one) make the
    // rest a mask whose stamp sections are filled first: "D:\logs\:yyyymmdd:.txt".
    WCHAR stamped[FULL_PATH_UNITS];
    const WCHAR* source = in;
    const size_t skip = PathHasDrive(in) ? 2 : 0;
    size_t colons = 0;
    for (const WCHAR* p = in + skip; *p; p++)
        if (*p == ':') colons++;
    if (colons >= 2 && context.expandStamps) {
        wmemcpy(stamped, in, skip);
        if (context.expandStamps(in + skip, stamped + skip, FULL_PATH_UNITS - skip) < 0) return -1;
        source = stamped;
    }

    PathText path;
    if (ExpandEnvVars(path.text, FULL_PATH_UNITS, source) < 0) return -1;
    path.length = wcslen(path.text);

    if (path.text[0] == '"') {
        WCHAR* close = wcschr(path.text + 1, '"');
        size_t n = close ? static_cast<size_t>(close - (path.text + 1)) : path.length - 1;
        wmemmove(path.text, path.text + 1, n);
        path.text[n] = 0;
        path.length = n;
    }

    const WCHAR* cur = context.currentDir;
    WCHAR* t = path.text;
    if (t[0] == '\\' && t[1] == '\\') {
        // A server path that the quotes hid: taken as it stands.
    } else if (t[0] == '\\') {
        WCHAR letter = context.currentDrive;
        if (!letter && PathHasDrive(cur)) letter = cur[0];
        if (letter) {
            PathText drive;
            drive.Append(&letter, 1);
            drive.Append(u":", 1);
            drive.Append(t, path.length);
            if (!drive.fits) return -1;
            path.Set(drive.text, drive.length);
        }
    } else if (t[0] == '.' && t[1] == '\\') {
        if (cur[0]) JoinTo(path, cur, path.text + 2);
    } else if (t[0] == '.' && t[1] == '.' && t[2] == '\\') {
        if (cur[0]) JoinTo(path, cur, path.text);
    } else if (!PathHasDrive(t) && wcschr(t, '\\')) {
        if (cur[0]) JoinTo(path, cur, path.text);
    } else if (PathHasDrive(t) && t[2] != 0 && t[2] != '\\') {
        const WCHAR* shown = context.lastPanePath ? context.lastPanePath(t[0]) : nullptr;
        WCHAR root[4] = {t[0], ':', '\\', 0};
        JoinTo(path, shown && shown[0] ? shown : root, path.text + 2);
    }
    if (!path.fits) return -1;

    RemoveParentSteps(path);
    if (!path.fits) return -1;
    // Short names do not exist here: a name holding '~' is its own long form.
    wmemcpy(out, path.text, path.length + 1);
    return wcscmp(out, in) == 0 ? 0 : 1;
}

int MakeFullPath(WCHAR* out, const WCHAR* in) {
    PathContext context;
    GetPathContext(&context);
    return MakeFullPathIn(context, out, in);
}

int MakeFullPathA(char* out, const char* in) {
    out[0] = 0;
    if (!in) return -1;
    WCHAR wide[FULL_PATH_UNITS];
    WCHAR full[FULL_PATH_UNITS];
    if (!OemToWide(in, wide, FULL_PATH_UNITS)) return -1;
    int result = MakeFullPath(full, wide);
    if (result < 0) return -1;
    if (!WideToOem(full, out, FULL_PATH_UNITS)) {
        out[0] = 0;
        return -1;
    }
    return result;
}

const char* ResolveProgramCmd(char* cmd, size_t size) {
    thread_local char program[FULL_PATH_UNITS];
    if (!cmd || size == 0 || !cmd[0]) return nullptr;
    const size_t original = std::strlen(cmd);
    if (original >= size) return nullptr;

    char work[FULL_PATH_UNITS];
    if (original + 1 > sizeof work) return nullptr;
    std::memcpy(work, cmd, original + 1);

    // Markers: "[LFN]" and "[SFN]" end the command, the unit before them too.
    bool shortNames = false;
    for (const char* marker : {"[LFN]", "[SFN]"}) {
        char* at = std::strstr(work, marker);
        if (!at) continue;
        if (marker[1] == 'S') shortNames = true;
        *(at > work ? at - 1 : at) = 0;
    }
    const char* sfnSuffix = shortNames ? " %8" : "";

    // The text the command keeps when its program cannot be resolved.
    char kept[2 * FULL_PATH_UNITS];
    snprintf(kept, sizeof kept, "%s%s", work, sfnSuffix);

    const char* body = work;
    bool start = _strnicmp(body, "START ", 6) == 0;
    if (start) body += 6;

    // The program ends at the first blank at or after the earliest marker.
    static const char* const kEnds[] = {".exe", ".com", ".bat", ".cmd", ".lnk", " \\", " %", " -"};
    size_t bodyLength = std::strlen(body);
    size_t first = bodyLength;
    for (const char* end : kEnds) {
        size_t n = std::strlen(end);
        for (size_t i = 0; i + n <= bodyLength && i < first; i++)
            if (_strnicmp(body + i, end, n) == 0) {
                first = i;
                break;
            }
    }
    size_t programLength = bodyLength;
    if (first < bodyLength) {
        const char* blank = std::strchr(body + first, ' ');
        if (blank) programLength = static_cast<size_t>(blank - body);
    }
    const char* arguments = body + programLength;

    char name[FULL_PATH_UNITS];
    std::memcpy(name, body, programLength);
    name[programLength] = 0;

    // What the program search will take as the program; anything after it
    // within the program text (past a closing quote, or a further word the
    // search leaves out) is kept as arguments, never dropped.
    WCHAR wide[FULL_PATH_UNITS];
    WCHAR part[FULL_PATH_UNITS];
    const char* extra = name + programLength;
    const WCHAR* found = nullptr;
    bool usable = OemToWide(name, wide, FULL_PATH_UNITS) &&
                  ExtractProgramPart(wide, part, FULL_PATH_UNITS) && part[0];
    if (usable) {
        size_t partLength = wcslen(part);
        if (wide[0] == '"') {
            const WCHAR* close = wcschr(wide + 1, '"');
            extra = name + (close ? static_cast<size_t>(close - wide) + 1 : programLength);
        } else if (wcsncmp(wide, part, partLength) == 0) {
            extra = name + partLength;
        }
        WCHAR full[FULL_PATH_UNITS];
        if (part[0] == '.' && part[1] == '.' && part[2] == '\\') {
            // Relative to the file manager's own directory.
            size_t dir = wcslen(gProgramDir);
            while (dir > 0 && gProgramDir[dir - 1] == '\\')
                dir--;
            PathText joined;
            joined.Append(gProgramDir, dir);
            joined.Append(part + 2);
            usable = joined.fits && dir > 0;
            if (usable) wcscpy(part, joined.text);
        } else if (part[0] == '\\' || part[0] == '.' || wcschr(part, '%')) {
            usable = MakeFullPath(full, part) >= 0 && full[0];
            if (usable) wcscpy(part, full);
        }
        if (usable) {
            // A program with a blank is handed over quoted, so that the search
            // takes it whole.
            WCHAR query[FULL_PATH_UNITS + 2];
            if (wcschr(part, ' '))
                swprintf(query, FULL_PATH_UNITS + 2, u"\"%s\"", part);
            else
                wcscpy(query, part);
            found = FindProgram(query);
        }
    }

    char foundOem[FULL_PATH_UNITS];
    if (!found || !WideToOem(found, foundOem, sizeof foundOem)) {
        if (std::strlen(kept) + 1 > size) return nullptr;
        std::strcpy(cmd, kept);
        return nullptr;
    }

    // The start form of a program: its path, quoted when it holds a blank.
    const char* quote = std::strchr(foundOem, ' ') ? "\"" : "";
    char rebuilt[3 * FULL_PATH_UNITS];
    int n = snprintf(rebuilt, sizeof rebuilt, "%s%s%s%s%s%s%s", start ? "START " : "", quote,
                     foundOem, quote, extra, arguments, sfnSuffix);
    if (n < 0 || static_cast<size_t>(n) + 1 > size) return nullptr;
    std::memcpy(cmd, rebuilt, static_cast<size_t>(n) + 1);
    std::strcpy(program, foundOem);
    return program;
}
