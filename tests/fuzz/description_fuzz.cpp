// libFuzzer target for the file description readers: HTML titles, shortcut
// addresses, ID3v1 and ID3v2 tags, single ID3v2 frames, documents and plain
// bytes. Every input must end quickly without a fault; no description may
// be longer than its limit, and the ID3v2 walk must ask only for bytes
// inside the file, a bounded number of times.
//
// Input: byte 0 chooses the reader (its value modulo 7) and, for the frame
// reader, the comment and syncsafe switches (bits 4 and 5); the rest is
// the file's bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "platform/file_description.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 70000) return 0;
    const uint8_t choice = data[0];
    const std::span<const BYTE> bytes(data + 1, size - 1);
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string out;
    switch (choice % 7) {
    case 0:
        out = DescribeHtmlTitle(text);
        if (out.size() > DESC_MAX) abort();
        break;
    case 1:
        out = DescribeUrl(text);
        if (out.size() > DESC_MAX) abort();
        break;
    case 2:
        out = DescribeId3v1(bytes.size() >= 128 ? bytes.last(128) : bytes);
        if (out.size() > 160) abort();
        break;
    case 3: {
        size_t reads = 0;
        out = DescribeId3v2(
            [&](uint64_t offset, BYTE* buffer, size_t count) -> size_t {
                reads++;
                if (count > 2048) abort();
                if (offset >= bytes.size()) return 0;
                const size_t n = std::min<size_t>(count, bytes.size() - size_t(offset));
                std::copy_n(bytes.begin() + ptrdiff_t(offset), n, buffer);
                return n;
            },
            bytes.size());
        // Every frame moves the walk at least 10 bytes on and costs at most
        // two reads; the header and an extended header two more.
        if (reads > 2 * (bytes.size() / 10) + 4) abort();
        if (out.size() > DESC_MAX) abort();
        break;
    }
    case 4:
        out = DescribeDocument(bytes, 120);
        if (out.size() > 120) abort();
        break;
    case 5:
        out = DescribePrintable(bytes, 80);
        if (out.size() > 80) abort();
        break;
    case 6: {
        const uint64_t skip = ID3FrameText(bytes, out, (choice >> 4) & 1, (choice >> 5) & 1);
        if (skip < std::min<size_t>(bytes.size(), 10)) abort();
        // No encoding makes more than one byte of text from a byte of the
        // frame; the closing backslash comes on top.
        if (out.size() > bytes.size() + 1) abort();
        break;
    }
    }
    return 0;
}
