// File descriptions: a one-line text made from a file's contents (an HTML
// title, an Internet shortcut's address, audio tags, a document's first
// text, a program's version, a link's target or the first printable bytes),
// built as OEM text and shown in place of the file's name. Reading a file
// for its description leaves its last-access time as it was.
//
// The readers below are pure functions of the bytes read, so that they can
// be tested on tables and fuzzed; GetFileDescription does the file work.
#pragma once

#include "windows.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

struct FileEntry;

// Byte that marks a run of control characters while a description is built;
// it is shown as 0xFA, the middle dot of the OEM code page.
inline constexpr char DESC_CONTROL_RUN = '\x01';
// Longest description, in bytes.
inline constexpr size_t DESC_MAX = 260;

// The title of an HTML page from its text (what the first 50 lines of up to
// 255 bytes hold): the text after the first "<TITLE>" (any case), from the
// next non-empty line when the tag ends its line, without leading blanks
// and tabs, up to the next "<"; a title that runs onto the next line is
// joined to it with one blank. Trailing tabs, blanks and line ends go; at
// most DESC_MAX bytes. Empty when no line holds the tag.
std::string DescribeHtmlTitle(std::string_view text);

// The address of an Internet shortcut: the rest of the first line that
// begins "URL=" (any case), without its line end (LF or CR LF). Empty when
// there is none.
std::string DescribeUrl(std::string_view text);

// The first printable bytes of block (at most width of them): leading
// backspace, tab, carriage return and blank characters skipped, bytes below
// 0x20 and 0x7F dropped with each run of them marked once by
// DESC_CONTROL_RUN.
std::string DescribePrintable(std::span<const BYTE> block, size_t width);

// A document's first text: blocks holds the file's bytes from offset 0x500
// (up to eight 256-byte blocks); the first block that looks like text, else
// the eighth (or the last there is), as DescribePrintable gives it.
std::string DescribeDocument(std::span<const BYTE> blocks, size_t width);

// An ID3v1 tag from a file's last 128 bytes: artist, title, track, album,
// year and comment, each without trailing blanks, ended by a backslash and
// only when not empty; the track when the comment's last-but-one byte is a
// track number. Empty when the bytes do not begin with "TAG".
std::string DescribeId3v1(std::span<const BYTE> last128);

// Appends the text of one ID3v2 frame (frame: its 10-byte header and as much
// of its body as was read; a body cut short is read as far as it goes) to
// text, followed by "\" when not empty. Encoding 1 (UTF-16 with a byte
// order mark) becomes OEM text with 0xFA for unmappable characters,
// encoding 3 (UTF-8) OEM text with "." for them; 0 and 2 are copied as they
// are. Control characters become DESC_CONTROL_RUN. A comment frame (comment
// true) skips its language code and short description. Version 4 frame
// sizes are syncsafe (syncsafe true). Returns how far the caller may skip:
// the frame's header and declared size.
uint64_t ID3FrameText(std::span<const BYTE> frame, std::string& text, bool comment,
                      bool syncsafe = false);

// Reads size bytes at offset into buffer; returns the count read (short at
// the end of the file).
using DescReader = std::function<size_t(uint64_t offset, BYTE* buffer, size_t size)>;

// An ID3v2.3 or 2.4 tag at the start of a file of fileSize bytes:
// artist, title, track, album and year from the frames TPE1, TIT2, TRCK,
// TALB and TDRC (else TYER), then every comment, each ended by a backslash. The walk over the frames stays
// within the tag size of the header and the file, stops at padding or a
// zero identifier, and each frame's body is read through at most 2048
// bytes. Empty when the file holds no such tag.
std::string DescribeId3v2(const DescReader& read, uint64_t fileSize);

// The version and description of a program found with SearchPathW (at most
// 1025 characters): 0 found, 2 not found on the search path, 3 no version
// information. version receives at most 56 characters (and the fixed
// version in brackets when it differs), description at most 256.
int GetFileVersionText(const WCHAR* path, std::u16string& version, std::u16string& description);

// The description of entry into out, whose length (the blanks the caller
// filled it with, at most 259) is the width. 1 when a description (possibly
// empty) was made; 0 when the file could not be found or opened, out then
// left as it was. The file's last-access time is put back afterwards.
int GetFileDescription(const FileEntry* entry, WCHAR* out);
