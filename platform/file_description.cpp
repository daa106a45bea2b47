// File descriptions: the pure readers of HTML titles, shortcuts, audio tags,
// documents and plain bytes, and the file work around them.
#include "platform/file_description.h"

#include "commands/new_date.h"
#include "platform/file_utils.h"
#include "remote/remote_drives.h"
#include "tree/tree_records.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// Position of needle (lower case) in hay without regard to case.
size_t FindNoCase(std::string_view hay, std::string_view needle) {
    if (needle.size() > hay.size()) return std::string_view::npos;
    for (size_t i = 0; i + needle.size() <= hay.size(); i++) {
        size_t k = 0;
        while (k < needle.size() && Lower(hay[i + k]) == needle[k]) k++;
        if (k == needle.size()) return i;
    }
    return std::string_view::npos;
}

bool StartsNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && FindNoCase(s.substr(0, prefix.size()), prefix) == 0;
}

// The text cut into the lines a 256-byte line reader gives: each ends after
// its line feed or after 255 bytes; at most maxLines of them.
std::vector<std::string_view> Lines(std::string_view text, size_t maxLines) {
    std::vector<std::string_view> lines;
    while (!text.empty() && lines.size() < maxLines) {
        size_t n = std::min<size_t>(text.size(), 255);
        const size_t lf = text.substr(0, n).find('\n');
        if (lf != std::string_view::npos) n = lf + 1;
        lines.push_back(text.substr(0, n));
        text.remove_prefix(n);
    }
    return lines;
}

std::string_view WithoutLineEnd(std::string_view line) {
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

std::string_view SkipBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

void TrimTrailing(std::string& s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' ||
                          s.back() == '\r'))
        s.pop_back();
}

bool IsControl(BYTE b) { return b < 0x20 || b == 0x7F; }

// Appends bytes with every run of control characters marked once.
void AppendMarked(std::string& out, std::string_view bytes) {
    bool inRun = false;
    for (const char c : bytes) {
        if (IsControl(BYTE(c))) {
            if (!inRun) out += DESC_CONTROL_RUN;
            inRun = true;
        } else {
            out += c;
            inRun = false;
        }
    }
}

uint32_t BigEndian32(const BYTE* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint32_t Syncsafe32(const BYTE* p) {
    return uint32_t(p[0] & 0x7F) << 21 | uint32_t(p[1] & 0x7F) << 14 |
           uint32_t(p[2] & 0x7F) << 7 | (p[3] & 0x7F);
}

// UTF-16 units (little- or big-endian after a byte order mark, else little)
// up to the first zero unit.
std::u16string Utf16Units(std::span<const BYTE> body) {
    bool big = false;
    if (body.size() >= 2 && body[0] == 0xFE && body[1] == 0xFF) {
        big = true;
        body = body.subspan(2);
    } else if (body.size() >= 2 && body[0] == 0xFF && body[1] == 0xFE) {
        body = body.subspan(2);
    }
    std::u16string units;
    for (size_t i = 0; i + 1 < body.size(); i += 2) {
        const char16_t u = big ? char16_t(body[i] << 8 | body[i + 1])
                               : char16_t(body[i + 1] << 8 | body[i]);
        if (!u) break;
        units += u;
    }
    return units;
}

// UTF-16 to the OEM code page, unmappable characters as fallback.
std::string ToOem(const std::u16string& units, char fallback) {
    if (units.empty()) return {};
    std::string out(units.size() * 2 + 1, '\0');
    const char defaultChar[2] = {fallback, 0};
    const int n = WideCharToMultiByte(CP_OEMCP, 0, units.data(), int(units.size()), out.data(),
                                      int(out.size()), defaultChar, nullptr);
    out.resize(n > 0 ? size_t(n) : 0);
    return out;
}

// UTF-8 to the OEM code page through UTF-16; malformed bytes count as
// unmappable.
std::string Utf8ToOem(std::string_view bytes) {
    std::u16string units;
    for (size_t i = 0; i < bytes.size();) {
        const BYTE b = BYTE(bytes[i]);
        size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3
                              : (b & 0xF8) == 0xF0 ? 4 : 0;
        uint32_t cp = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
        bool ok = n != 0 && i + n <= bytes.size();
        for (size_t k = 1; ok && k < n; k++) {
            const BYTE c = BYTE(bytes[i + k]);
            if ((c & 0xC0) != 0x80) ok = false;
            cp = cp << 6 | (c & 0x3F);
        }
        if (!ok) {
            units += u'\xFFFF'; // maps to nothing in the OEM table
            i++;
            continue;
        }
        if (cp >= 0x10000) {
            units += char16_t(0xFFFF); // beyond the OEM code page either way
        } else {
            units += char16_t(cp);
        }
        i += n;
    }
    return ToOem(units, '.');
}

// The frame body's text in the frame's encoding, as OEM bytes.
std::string FrameString(BYTE encoding, std::span<const BYTE> body) {
    if (encoding == 1) return ToOem(Utf16Units(body), '\xFA');
    const auto* chars = reinterpret_cast<const char*>(body.data());
    std::string_view bytes(chars, body.size());
    bytes = bytes.substr(0, bytes.find('\0'));
    if (encoding == 3) return Utf8ToOem(bytes);
    return std::string(bytes);
}

} // namespace

std::string DescribeHtmlTitle(std::string_view text) {
    const std::vector<std::string_view> lines = Lines(text, 50);
    for (size_t i = 0; i < lines.size(); i++) {
        const size_t tag = FindNoCase(lines[i], "<title>");
        if (tag == std::string_view::npos) continue;
        std::string_view rest = lines[i].substr(tag + 7);
        size_t next = i + 1;
        // The tag ends its line: the title is on the next non-empty line.
        while (SkipBlanks(WithoutLineEnd(rest)).empty() && next < lines.size())
            rest = lines[next++];
        std::string title(SkipBlanks(rest));
        size_t lt = title.find('<');
        if (lt == std::string::npos && next < lines.size()) {
            // The title runs onto the next line: a line break between the
            // parts becomes one blank; a line only cut by the reader's
            // length joins as it stands.
            if (!title.empty() && title.back() == '\n') {
                TrimTrailing(title);
                title += ' ';
                title += SkipBlanks(lines[next]);
            } else {
                title += lines[next];
            }
            lt = title.find('<');
        }
        if (lt != std::string::npos) title.resize(lt);
        TrimTrailing(title);
        std::string out;
        AppendMarked(out, title);
        if (out.size() > DESC_MAX) out.resize(DESC_MAX);
        return out;
    }
    return {};
}

std::string DescribeUrl(std::string_view text) {
    while (!text.empty()) {
        const size_t lf = text.find('\n');
        const std::string_view line =
            lf == std::string_view::npos ? text : text.substr(0, lf + 1);
        text.remove_prefix(line.size());
        if (StartsNoCase(line, "url=")) {
            std::string out;
            AppendMarked(out, WithoutLineEnd(line.substr(4)));
            if (out.size() > DESC_MAX) out.resize(DESC_MAX);
            return out;
        }
    }
    return {};
}

std::string DescribePrintable(std::span<const BYTE> block, size_t width) {
    size_t i = 0;
    while (i < block.size() &&
           (block[i] == '\b' || block[i] == '\t' || block[i] == '\r' || block[i] == ' '))
        i++;
    std::string out;
    bool inRun = false;
    for (; i < block.size() && out.size() < width; i++) {
        if (IsControl(block[i])) {
            if (!inRun) out += DESC_CONTROL_RUN;
            inRun = true;
        } else {
            out += char(block[i]);
            inRun = false;
        }
    }
    return out;
}

std::string DescribeDocument(std::span<const BYTE> blocks, size_t width) {
    const size_t count = std::min<size_t>((blocks.size() + 255) / 256, 8);
    if (count == 0) return {};
    for (size_t k = 0; k < count; k++) {
        const std::span<const BYTE> block = blocks.subspan(k * 256, std::min<size_t>(256, blocks.size() - k * 256));
        const BYTE first = block[0];
        const BYTE second = block.size() > 1 ? block[1] : 0;
        const bool looksLikeText = (first >= 8 && (first < 0x80 || second < 0x80)) ||
                                   (first < 8 && second >= 8);
        if (looksLikeText || k == count - 1) return DescribePrintable(block, width);
    }
    return {};
}

std::string DescribeId3v1(std::span<const BYTE> last128) {
    if (last128.size() < 128 || last128[0] != 'T' || last128[1] != 'A' || last128[2] != 'G')
        return {};
    const auto field = [&](size_t offset, size_t length) {
        std::string_view bytes(reinterpret_cast<const char*>(last128.data()) + offset, length);
        bytes = bytes.substr(0, bytes.find('\0'));
        while (!bytes.empty() && bytes.back() == ' ') bytes.remove_suffix(1);
        std::string value;
        AppendMarked(value, bytes);
        if (!value.empty()) value += '\\';
        return value;
    };
    const std::string title = field(3, 30);
    const std::string artist = field(33, 30);
    const std::string album = field(63, 30);
    const std::string year = field(93, 4);
    // A zero byte before the comment's last byte makes that byte the track.
    const bool hasTrack = last128[125] == 0;
    const std::string comment = field(97, hasTrack ? 28 : 30);
    std::string track;
    if (hasTrack && last128[126] != 0) track = std::to_string(last128[126]) + "\\";
    return artist + title + track + album + year + comment;
}

uint64_t ID3FrameText(std::span<const BYTE> frame, std::string& text, bool comment,
                      bool syncsafe) {
    if (frame.size() < 10) return frame.size();
    const uint32_t size = syncsafe ? Syncsafe32(&frame[4]) : BigEndian32(&frame[4]);
    std::span<const BYTE> body = frame.subspan(10, std::min<uint64_t>(size, frame.size() - 10));
    if (body.empty()) return 10 + uint64_t(size);
    const BYTE encoding = body[0];
    body = body.subspan(1);
    if (comment) {
        body = body.subspan(std::min<size_t>(3, body.size())); // language code
        // The short description ends with a zero character of the encoding.
        const bool wide = encoding == 1 || encoding == 2;
        size_t i = 0;
        if (wide) {
            while (i + 1 < body.size() && (body[i] || body[i + 1])) i += 2;
            i = std::min(i + 2, body.size());
        } else {
            while (i < body.size() && body[i]) i++;
            i = std::min(i + 1, body.size());
        }
        body = body.subspan(i);
    }
    std::string value = FrameString(encoding, body);
    while (!value.empty() && value.back() == ' ') value.pop_back();
    const size_t before = text.size();
    AppendMarked(text, value);
    if (text.size() > before) text += '\\';
    return 10 + uint64_t(size);
}

std::string DescribeId3v2(const DescReader& read, uint64_t fileSize) {
    BYTE header[10];
    if (read(0, header, 10) != 10 || header[0] != 'I' || header[1] != 'D' || header[2] != '3')
        return {};
    const BYTE major = header[3];
    if (major != 3 && major != 4) return {};
    const bool syncsafe = major == 4;
    const uint64_t end = std::min<uint64_t>(10 + uint64_t(Syncsafe32(&header[6])), fileSize);
    uint64_t pos = 10;
    if (header[5] & 0x40) { // an extended header comes first
        BYTE ext[4];
        if (read(pos, ext, 4) != 4) return {};
        pos += major == 4 ? Syncsafe32(ext) : uint64_t(BigEndian32(ext)) + 4;
    }
    static constexpr std::array<const char*, 6> kWanted = {"TPE1", "TIT2", "TRCK",
                                                           "TALB", "TDRC", "TYER"};
    std::array<std::string, 6> values;
    std::string comments;
    std::vector<BYTE> window(2048);
    while (pos + 10 <= end) {
        BYTE frameHeader[10];
        if (read(pos, frameHeader, 10) != 10) break;
        if (frameHeader[0] == 0) break; // padding
        const std::string_view id(reinterpret_cast<const char*>(frameHeader), 4);
        const uint64_t size =
            syncsafe ? Syncsafe32(&frameHeader[4]) : uint64_t(BigEndian32(&frameHeader[4]));
        const auto slot = std::find(kWanted.begin(), kWanted.end(), id);
        const bool isComment = id == "COMM";
        if (slot != kWanted.end() || isComment) {
            const size_t want = size_t(std::min<uint64_t>({10 + size, window.size(), end - pos}));
            const size_t got = read(pos, window.data(), want);
            std::string& target = isComment ? comments : values[size_t(slot - kWanted.begin())];
            if (isComment || target.empty())
                ID3FrameText(std::span<const BYTE>(window.data(), got), target, isComment,
                             syncsafe);
        }
        pos += 10 + size;
    }
    const std::string& year = values[4].empty() ? values[5] : values[4];
    std::string out = values[0] + values[1] + values[2] + values[3] + year + comments;
    if (out.size() > DESC_MAX) out.resize(DESC_MAX);
    return out;
}

int GetFileVersionText(const WCHAR* path, std::u16string& version, std::u16string& description) {
    version.clear();
    description.clear();
    WCHAR found[1026];
    const DWORD n = SearchPathW(nullptr, path, nullptr, 1025, found, nullptr);
    if (n == 0 || n > 1025) return 2;
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(found, &handle);
    if (size == 0) return 3;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(found, handle, size, block.data())) return 3;
    // Programs of this platform carry no version block, so nothing is found
    // in one that could be read.
    return 3;
}

namespace {

// The file's bytes through one handle of the routing layer.
struct OpenFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
    uint64_t size = 0;
    explicit OpenFile(const WCHAR* path) {
        WCHAR full[1040];
        if (!qioLongPath(path, full, 1040)) return;
        handle = RdCreateFileW(full, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return;
        DWORD high = 0;
        const DWORD low = RdGetFileSize(handle, &high);
        size = uint64_t(high) << 32 | low;
    }
    ~OpenFile() {
        if (handle != INVALID_HANDLE_VALUE) RdCloseHandle(handle);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    bool ok() const { return handle != INVALID_HANDLE_VALUE; }
    size_t Read(uint64_t offset, BYTE* buffer, size_t count) const {
        if (offset >= size) return 0;
        if (qioSeek(handle, LONGLONG(offset), FILE_BEGIN) != offset) return 0;
        size_t total = 0;
        while (total < count) {
            DWORD got = 0;
            if (!ReadFile(handle, buffer + total, DWORD(count - total), &got, nullptr) || !got)
                break;
            total += got;
        }
        return total;
    }
    std::vector<BYTE> Bytes(uint64_t offset, size_t count) const {
        std::vector<BYTE> bytes(count);
        bytes.resize(Read(offset, bytes.data(), count));
        return bytes;
    }
    std::string Text(size_t count) const {
        const std::vector<BYTE> bytes = Bytes(0, count);
        return std::string(bytes.begin(), bytes.end());
    }
};

bool ExtensionIs(std::u16string_view ext, std::u16string_view upper) {
    if (ext.size() != upper.size()) return false;
    for (size_t i = 0; i < ext.size(); i++) {
        const char16_t c = ext[i] >= u'a' && ext[i] <= u'z' ? char16_t(ext[i] - 32) : ext[i];
        if (c != upper[i]) return false;
    }
    return true;
}

// The text of an HTML page read as the first 50 lines of up to 255 bytes.
constexpr size_t kHtmlBytes = 50 * 255;

std::string Describe(const OpenFile& file, const WCHAR* path, std::u16string_view ext,
                     size_t width) {
    const auto any = [&] {
        const std::vector<BYTE> first = file.Bytes(0, 256);
        return DescribePrintable(first, width);
    };
    if (ExtensionIs(ext, u"HTM") || ExtensionIs(ext, u"HTML"))
        return DescribeHtmlTitle(file.Text(kHtmlBytes));
    if (ExtensionIs(ext, u"URL")) return DescribeUrl(file.Text(64 * 1024));
    if (ext.empty()) {
        const std::string first = file.Text(256);
        if (first.starts_with("MZ")) {
            std::u16string version, description;
            if (GetFileVersionText(path, version, description) != 0) return any();
            return ToOem(description + u" (" + version + u") ", '\xFA');
        }
        if (StartsNoCase(first, "<html>")) return DescribeHtmlTitle(file.Text(kHtmlBytes));
        return any();
    }
    if (ExtensionIs(ext, u"MP3") || ExtensionIs(ext, u"WAV")) {
        const std::string first = file.Text(3);
        if (first == "ID3")
            return DescribeId3v2(
                [&](uint64_t offset, BYTE* buffer, size_t count) {
                    return file.Read(offset, buffer, count);
                },
                file.size);
        if (file.size < 128) return {};
        return DescribeId3v1(file.Bytes(file.size - 128, 128));
    }
    if ((ExtensionIs(ext, u"DOC") || ExtensionIs(ext, u"DOT")) && file.size > 1536)
        return DescribeDocument(file.Bytes(0x500, 8 * 256), width);
    return any();
}

} // namespace

int GetFileDescription(const FileEntry* entry, WCHAR* out) {
    size_t width = 0;
    while (out[width] && width < DESC_MAX - 1) width++;
    WCHAR path[TREE_MAX_FULL_NAME + 1];
    FullFileName(path, entry);
    if (!path[0]) return 0;
    std::string text;
    if (entry->wAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        WCHAR target[TREE_MAX_FULL_NAME + 1026];
        std::copy(path, path + TREE_MAX_FULL_NAME + 1, target);
        qioGetReparseTarget(target);
        std::u16string shown = u"[";
        shown += target;
        shown += u"]";
        const size_t n = std::min(shown.size(), width);
        std::copy(shown.begin(), shown.begin() + ptrdiff_t(n), out);
        return 1;
    }
    WIN32_FIND_DATAW before{};
    HANDLE find = RdFindFirstFileW(path, &before);
    if (find == INVALID_HANDLE_VALUE) return 0;
    RdFindClose(find);
    {
        const OpenFile file(path);
        if (!file.ok()) return 0;
        std::u16string_view name(path);
        const size_t dot = name.rfind(u'.');
        const size_t slash = name.rfind(u'\\');
        std::u16string_view ext;
        if (dot != std::u16string_view::npos && (slash == std::u16string_view::npos || dot > slash))
            ext = name.substr(dot + 1);
        text = Describe(file, path, ext, width);
    }
    // The 8-bit description over the blanks, in the OEM code page, with
    // control-character runs shown as middle dots.
    if (text.size() > width) text.resize(width);
    for (char& c : text)
        if (c == DESC_CONTROL_RUN) c = '\xFA';
    if (!text.empty()) {
        std::u16string wide(text.size() + 1, u'\0');
        const int n = MultiByteToWideChar(CP_OEMCP, 0, text.data(), int(text.size()), wide.data(),
                                          int(wide.size()));
        for (int i = 0; i < n && size_t(i) < width; i++) out[i] = wide[size_t(i)];
    }
    // Reading the file must leave no trace: its former access time goes back.
    WIN32_FIND_DATAW after{};
    find = RdFindFirstFileW(path, &after);
    if (find != INVALID_HANDLE_VALUE) {
        RdFindClose(find);
        SetFileTimesEx(STAMP_ACCESSED, path, -1, before.ftLastAccessTime);
    }
    return 1;
}
