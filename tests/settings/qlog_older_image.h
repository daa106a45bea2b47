// Logged-volume files of the older format letters made by hand, byte for
// byte, from the offsets of each letter's records written out here as
// numbers (never taken from the reader), for the tests that pin those
// layouts and as seeds of the loader's fuzz target.
#pragma once

#include "platform/packed_dates.h"
#include "tree/sort_order.h"

#include <string>
#include <string_view>

namespace qlogtest {

// The three families of older records.
enum class Kind { V1, B, CToE };

inline void Set(std::string* r, size_t at, ULONGLONG value, int width) {
    for (int i = 0; i < width; i++) (*r)[at + i] = char((value >> (8 * i)) & 0xFF);
}
inline void SetWide(std::string* r, size_t at, std::u16string_view text) {
    for (size_t i = 0; i < text.size(); i++) Set(r, at + 2 * i, text[i], 2);
}
inline void SetNarrow(std::string* r, size_t at, std::string_view text) { r->replace(at, text.size(), text); }
inline void Put(std::string* out, ULONGLONG value, int width) {
    std::string bytes(size_t(width), '\0');
    Set(&bytes, 0, value, width);
    *out += bytes;
}

// The dates the hand-made records carry, in DOS form for the oldest
// letters and as packed values for the others.
constexpr WORD kDosWrittenDate = 0x5A21; // 2025-01-01
constexpr WORD kDosWrittenTime = 0x6DAF; // 13:45:30
constexpr WORD kDosCreatedDate = 0x2821; // 2000-01-01
constexpr WORD kDosAccessedDate = 0x5A3F; // 2025-01-31
inline const PackedDate kWrittenDate = PackDate(2025, 1, 1);
inline const PackedTime kWrittenTime = PackTime(13, 45, 30, 0);
inline const PackedDate kCreatedDate = PackDate(2000, 1, 1);
inline const PackedDate kAccessedDate = PackDate(2025, 1, 31);

// Variations that make a file malformed.
struct Faults {
    char drive = 'G';
    DWORD rootFiles = 2;
    WORD subLevel = 1;
    bool cutInTrees = false;
    std::string bookmarkTail = "QV";
    std::string firstName = "README.TXT";
};

struct Older {
    char letter;
    Kind kind;
    size_t headerBytes;
};

inline std::string DiskRecord(Kind kind, char drive) {
    if (kind == Kind::V1) {
        std::string r(1500, '\0');
        Set(&r, 0, BYTE(drive), 1);
        Set(&r, 8, 0xCAFEF00D, 4);
        SetNarrow(&r, 12, "OLDDISK");
        SetNarrow(&r, 76, "FAT");
        Set(&r, 96, 123456789, 8);
        SetNarrow(&r, 160, "G:\\sub");
        SetNarrow(&r, 160 + 261, "G:\\");
        Set(&r, 682, 1, 1);
        return r;
    }
    std::string r(3380, '\0');
    Set(&r, 0, BYTE(drive), 1);
    Set(&r, 8, 0xCAFEF00D, 4);
    SetNarrow(&r, 12, "OLDDISK");
    SetNarrow(&r, 268, "NTFS");
    SetWide(&r, 282, u"/dev/sdz1");
    Set(&r, 800, 123456789, 8);
    SetWide(&r, 924, u"G:\\sub");
    SetWide(&r, 924 + 522, u"G:\\");
    Set(&r, 1968, 1, 1);
    return r;
}

inline std::string DirRecord(Kind kind, WORD level, DWORD files) {
    std::string r(kind == Kind::CToE ? 72 : 48, '\0');
    Set(&r, 0, level, 2);
    Set(&r, 2, 20, 2);     // name width
    Set(&r, 4, files, 4);
    Set(&r, 8, 9000, 8);   // bytes of the files
    Set(&r, 16, 1, 1);     // expanded
    Set(&r, 17, 1, 1);     // visible
    Set(&r, 18, 1, 1);     // logged
    Set(&r, 20, 0x10, 2);  // directory attribute
    switch (kind) {
    case Kind::V1:
        Set(&r, 22, 1, 1); // tagged in the first pane
        Set(&r, 40, kDosWrittenDate, 2);
        Set(&r, 42, kDosWrittenTime, 2);
        Set(&r, 44, kDosCreatedDate, 2);
        break;
    case Kind::B:
        Set(&r, 40, kWrittenDate, 4);
        Set(&r, 44, kWrittenTime, 4);
        break;
    case Kind::CToE:
        Set(&r, 44, 1, 1);
        Set(&r, 48, kCreatedDate, 4);
        Set(&r, 56, kWrittenDate, 4);
        Set(&r, 60, kWrittenTime, 4);
        Set(&r, 64, kAccessedDate, 4);
        break;
    }
    return r;
}

inline std::string FileRecord(Kind kind, WORD index, std::string_view shortName, ULONGLONG size) {
    if (kind == Kind::V1) {
        std::string r(40, '\0');
        Set(&r, 0, index, 2);
        SetNarrow(&r, 2, shortName);
        Set(&r, 16, size, 8);
        Set(&r, 24, 0x21, 2);
        Set(&r, 26, 1, 1);
        Set(&r, 27, 2, 1);
        Set(&r, 28, kDosWrittenDate, 2);
        Set(&r, 30, kDosWrittenTime, 2);
        Set(&r, 32, kDosCreatedDate, 2);
        Set(&r, 36, kDosAccessedDate, 2);
        return r;
    }
    std::string r(kind == Kind::B ? 56 : 72, '\0');
    Set(&r, 0, index, 2);
    for (size_t i = 0; i < shortName.size(); i++) Set(&r, 2 + 2 * i, BYTE(shortName[i]), 2);
    Set(&r, 32, size, 8);
    Set(&r, 40, 0x21, 2);
    Set(&r, 44, kWrittenDate, 4);
    Set(&r, 48, kWrittenTime, 4);
    Set(&r, 52, 1, 1);
    Set(&r, 53, 2, 1);
    if (kind == Kind::CToE) {
        Set(&r, 56, kCreatedDate, 4);
        Set(&r, 64, kAccessedDate, 4);
    }
    return r;
}

// The pane header of a letter: the second pane's level-1 key (size,
// descending), the display modes 3 and 4, from byte 6 on the split-sort
// and directory-list switches, from 'D' on the first pane's level-1 key
// at 26 (date, descending), and from 'E' on the fifth byte of that level
// (accessed stamp) at 51.
inline std::string PaneHeader(const Older& o) {
    std::string h(o.headerBytes, '\0');
    Set(&h, 0, SORT_SIZE, 1);
    Set(&h, 2, 1, 1);
    Set(&h, 4, 3, 1);
    Set(&h, 5, 4, 1);
    if (o.headerBytes > 6) {
        Set(&h, 22, 1, 1);
        Set(&h, 24, 1, 1);
    }
    if (o.letter >= 'D') {
        Set(&h, 26, SORT_DATE, 1);
        Set(&h, 28, 1, 1);
    }
    if (o.letter >= 'E') Set(&h, 51, SORT_STAMP_ACCESSED, 1);
    return h;
}

inline std::string OlderImage(const Older& o, const Faults& f = {}) {
    std::string out = "QV";
    out += o.letter;
    out += '\0'; // split screen off
    out += PaneHeader(o);
    // Switch line: position 1 on, position 2 the number 3, position 18 'Q'.
    const std::u16string switches = u"13" + std::u16string(15, u'0') + u"Q" + std::u16string(14, u'0');
    if (o.kind == Kind::V1) {
        std::string narrow(64, '\0');
        for (size_t i = 0; i < switches.size(); i++) narrow[i] = char(switches[i]);
        out += narrow;
    } else {
        std::string wide(64, '\0');
        SetWide(&wide, 0, switches);
        out += wide;
    }
    out += "*.c\n\n";
    out += std::string("\x05\x06\x07\x08", 4);
    out += " G:\\sub\n+\n";
    out += '\x01';
    out += DiskRecord(o.kind, f.drive);
    out += DirRecord(o.kind, 0, f.rootFiles);
    out += "G:\\\n";
    out += FileRecord(o.kind, 1, f.firstName, 5000);
    out += "\n";
    out += FileRecord(o.kind, 2, "LONGNA~1.TXT", 4000);
    out += "Long name \xC3\xA9.txt\n";
    if (f.cutInTrees) return out + "QV";
    out += DirRecord(o.kind, f.subLevel, 0);
    out += "sub\n";
    out += "QV";
    if (o.kind == Kind::V1) {
        out += "G:\\sub|G:\\|" + f.bookmarkTail + "\n";
    } else {
        out += "G:\\sub|G:\\|QV\n";
    }
    out += "\n\n";
    Put(&out, 1, 2); // the alternate list: one item
    Put(&out, 3, 2);
    Put(&out, 6, 2);
    out += "G:\\subvalue\n";
    Put(&out, 0, 2);
    out += "QV";
    return out;
}

inline const Older kOlder[] = {
    {'7', Kind::V1, 6},  {'8', Kind::V1, 6},  {'9', Kind::V1, 40}, {'A', Kind::V1, 40},
    {'B', Kind::B, 40},  {'C', Kind::CToE, 40}, {'D', Kind::CToE, 60}, {'E', Kind::CToE, 70},
};

} // namespace qlogtest
