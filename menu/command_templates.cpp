// Command templates: the values of a subject (a listed entry, the current
// directory or a given path) put in place of the %-forms of a template.
#include "menu/command_templates.h"

#include <cstdio>
#include <string>

#include "main/window_state.h"
#include "menu/locator.h"
#include "stringapiset.h"
#include "tree/entry_names.h"
#include "tree/file_list.h"
#include "tree/tree_records.h"
#include "ui/numbers_dates.h"

namespace {

using Text = std::u16string;

// What the forms of one subject stand for.
struct Subject {
    Text full;      // %1
    Text drive;     // %2
    Text path;      // %3
    Text base;      // %4
    Text extension; // %5
    Text own;       // %6
    Text parent;    // %p
    Text ownName;   // %n
    Text ownExt;    // %e
    Text label;     // %v
    Text current;   // %r
    Text shortName; // %8
    EntryHead* head = nullptr; // for %s, %d and %a
    bool isDir = false;
};

Text Ascii(const char* text) { return Text(text, text + std::char_traits<char>::length(text)); }

Text FromOem(const char* text) {
    WCHAR wide[512] = {};
    const int n = MultiByteToWideChar(437, 0, text, -1, wide, 512);
    return n > 0 ? Text(wide) : Text();
}

Text DropTrailingDot(Text text) {
    if (!text.empty() && text.back() == u'.')
        text.pop_back();
    return text;
}

// The part before and after the last '.' of name (no dot: all, nothing).
void SplitAtDot(const Text& name, Text* base, Text* extension) {
    const size_t dot = name.rfind(u'.');
    *base = dot == Text::npos ? name : name.substr(0, dot);
    *extension = dot == Text::npos ? Text() : name.substr(dot + 1);
}

bool IsRoot(const SubdirInfo* dir) { return dir->wLevel == 0 || dir->psiParent == dir; }

Text AfterDrive(const Text& full) { return full.size() >= 2 && full[1] == u':' ? full.substr(2) : full; }

Text CutAtLastBackslash(const Text& path) {
    const size_t slash = path.rfind(u'\\');
    return slash == Text::npos ? Text() : path.substr(0, slash);
}

Text CurrentDirectoryText() {
    const WORD mode = gDisplayMode[gCurrentPane];
    if (psiCurrent == nullptr || mode == 4 || mode == 5)
        return Text();
    return psiCurrent->pszFullName;
}

Text LabelOf(const DiskInfo* disk) { return disk ? FromOem(disk->szLabel) : Text(); }

void FromEntry(EntryHead* head, Subject* s) {
    const bool dirs = gDirMode[gCurrentPane] != 0;
    const SubdirInfo* owner = head->owner;
    Text name;
    if (dirs) {
        name = reinterpret_cast<SubdirInfo*>(head)->pszName;
    } else {
        WCHAR buffer[TREE_MAX_FULL_NAME + 1] = {};
        GetFileDisplayName(buffer, reinterpret_cast<FileEntry*>(head));
        name = buffer;
    }
    const Text dir = owner ? Text(owner->pszFullName) : Text();
    s->full = DropTrailingDot(dir + (owner && IsRoot(owner) ? Text() : Text(u"\\")) + name);
    s->drive = dir.empty() ? Text() : dir.substr(0, 1);
    s->path = AfterDrive(dir);
    if (dirs) {
        s->path = DropTrailingDot(s->path + u"\\" + name);
        s->own = name;
    } else {
        SplitAtDot(name, &s->base, &s->extension);
        s->own = owner && !IsRoot(owner) ? Text(owner->pszName) : Text();
    }
    s->parent = CutAtLastBackslash(s->path);
    SplitAtDot(s->own, &s->ownName, &s->ownExt);
    s->label = LabelOf(owner ? owner->pdiDisk : pdiCurrent);
    s->current = CurrentDirectoryText();
    s->shortName = u"\\" + name == s->path ? Text() : name;
    s->head = head;
    s->isDir = dirs;
}

void FromCurrentDirectory(Subject* s) {
    if (psiCurrent == nullptr)
        return;
    s->full = psiCurrent->pszFullName;
    s->drive = s->full.substr(0, 1);
    s->path = AfterDrive(s->full);
    s->own = IsRoot(psiCurrent) ? Text() : Text(psiCurrent->pszName);
    s->parent = psiCurrent->wLevel >= 2 ? CutAtLastBackslash(s->path) : Text();
    SplitAtDot(s->own, &s->ownName, &s->ownExt);
    s->current = psiCurrent->pszFullName;
    s->label = LabelOf(psiCurrent->pdiDisk ? psiCurrent->pdiDisk : pdiCurrent);
    s->head = reinterpret_cast<EntryHead*>(psiCurrent);
    s->isDir = true;
}

void FromPath(const Text& path, Subject* s) {
    s->full = path;
    s->drive = path.substr(0, 1);
    Text rest = path.size() > 2 ? path.substr(2) : Text();
    const size_t slash = rest.rfind(u'\\');
    if (slash != Text::npos && slash + 1 < rest.size()) {
        SplitAtDot(rest.substr(slash + 1), &s->base, &s->extension);
        rest = rest.substr(0, slash);
    }
    s->path = rest;
    s->current = CurrentDirectoryText();
    s->label = LabelOf(pdiCurrent);
}

// " date time" of one of the head's three stamps: 'm' written, 'a' accessed,
// 'c' created.
Text DateText(const EntryHead* head, char which) {
    if (head == nullptr)
        return Text();
    const PackedDate date = which == 'a' ? head->dAccessed : which == 'c' ? head->dCreated : head->dWritten;
    const PackedTime time = which == 'a' ? head->tAccessed : which == 'c' ? head->tCreated : head->tWritten;
    char clock[16];
    return u" " + Ascii(FormatDate(date)) + Ascii(FormatTime(clock, time));
}

Text AttrText(const Subject& s) {
    if (s.head == nullptr)
        return Text();
    const WORD mode = s.isDir ? GetDirMode(reinterpret_cast<SubdirInfo*>(s.head))
                              : GetEntryMode(reinterpret_cast<FileEntry*>(s.head));
    char letters[8];
    return Ascii(FormatAttrLetters(letters, s.head->attributes, mode));
}

Text SizeText(const EntryHead* head) {
    if (head == nullptr)
        return Text();
    char text[32];
    FormatNumberPicture(text, int64_t(head->size), "###,###,###,###");
    return Ascii(text);
}

} // namespace

void ExpandPercentParams(int index, WCHAR* out, const WCHAR* tmpl, DWORD lineBreaks,
                         DWORD /*quoteNames*/) {
    Subject s;
    if (index >= 0) {
        if (gFileList != nullptr && DWORD(index) < gFMax)
            FromEntry(ListEntries(gFileList)[index], &s);
    } else if (out[0] != 0) {
        FromPath(out, &s);
    } else {
        FromCurrentDirectory(&s);
    }
    Text result;
    const Text t = tmpl ? Text(tmpl) : Text();
    for (size_t i = 0; i < t.size();) {
        if (t.compare(i, 2, u"!!") == 0) {
            if (lineBreaks) {
                result += u'\n';
                i += 2;
                if (i < t.size() && t[i] == u' ')
                    ++i;
            } else {
                result += u"!!";
                i += 2;
            }
            continue;
        }
        if (t[i] != u'%' || i + 1 >= t.size()) {
            result += t[i++];
            continue;
        }
        const WCHAR c = t[i + 1];
        size_t used = 2;
        const bool backslashNext = i + 2 < t.size() && t[i + 2] == u'\\';
        auto takeBackDot = [&] {
            if (!result.empty() && result.back() == u'.')
                result.pop_back();
        };
        switch (c) {
        case u'1': case u'7': result += s.full; break;
        case u'2': result += s.drive; break;
        case u'3':
            result += s.path;
            if (s.path.size() < 2 && backslashNext)
                ++used; // "\" of a root followed by the template's own
            break;
        case u'4': result += s.base; break;
        case u'5':
            if (s.extension.empty()) takeBackDot();
            result += s.extension;
            break;
        case u'6': result += s.own; break;
        case u'8': result += s.shortName; break;
        case u'p': case u'P':
            if (!s.parent.empty()) result += s.parent;
            else if (!backslashNext) result += u"ROOTDIR";
            break;
        case u'n': case u'N': result += s.ownName; break;
        case u'e': case u'E':
            if (s.ownExt.empty()) takeBackDot();
            result += s.ownExt;
            break;
        case u'v': case u'V': result += s.label; break;
        case u'r': case u'R': result += s.current; break;
        case u's': case u'S': result += SizeText(s.head); break;
        case u'd': case u'D': {
            const WCHAR which = i + 2 < t.size() ? t[i + 2] : 0;
            if (which == u'a' || which == u'c' || which == u'm') {
                ++used;
                result += DateText(s.head, char(which));
            } else {
                result += DateText(s.head, 'm');
            }
            break;
        }
        case u'a': case u'A': result += AttrText(s); break;
        case u'%': result += u'%'; break;
        case u'!': result += u'!'; break;
        case u'+': result += u"%+"; break;
        case u'j': case u'J':
            // The other pane's values: not yet kept for a second pane, so
            // the form and its letter stand for nothing.
            used = i + 2 < t.size() ? 3 : 2;
            if (used == 3 && (t[i + 2] == u'd' || t[i + 2] == u'D') && i + 3 < t.size() &&
                (t[i + 3] == u'a' || t[i + 3] == u'c'))
                ++used;
            break;
        default: {
            // An environment reference %NAME%, or a "%" that is none.
            const size_t close = t.find(u'%', i + 1);
            const size_t blank = t.find(u' ', i + 1);
            if (close != Text::npos && close > i + 1 && (blank == Text::npos || blank > close)) {
                WCHAR value[2050] = {};
                ExpandEnvVars(value, 2050, t.substr(i, close - i + 1).c_str());
                result += value;
                used = close - i + 1;
            } else {
                result += t.substr(i, 2);
            }
            break;
        }
        }
        i += used;
    }
    if (result.size() >= PERCENT_PARAMS_UNITS)
        result.resize(PERCENT_PARAMS_UNITS - 1);
    result.copy(out, result.size());
    out[result.size()] = 0;
}
