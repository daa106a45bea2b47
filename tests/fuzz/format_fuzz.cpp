// libFuzzer target for the formatter: an arbitrary narrow or wide format, with
// its arguments drawn from the rest of the input, is formatted into sinks of
// many capacities, and the sink invariants are checked on every run.
//
// Input: byte 0 bit 0 chooses a wide format (and sink), bits 1-7 one of the
// capacities tried; byte 1 is the format length in units (bytes, or 16-bit
// little-endian units); the rest is the argument stream.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qprintf.h"

namespace {

// ---- test strings ---------------------------------------------------------------------

// A string argument is read as 8-bit or 16-bit text depending on the format,
// whatever it was written as. Each is stored in 16-bit units with zero units
// after its end, so either reading finds a terminator inside the storage.
struct TestString {
    std::vector<char16_t> storage;
    bool above255; // read as 16-bit text, it holds a unit that no byte can hold
};

TestString MakeNarrow(const std::string& text) {
    TestString s;
    s.storage.assign(text.size() / 2 + 2, 0);
    std::memcpy(s.storage.data(), text.data(), text.size());
    return s;
}

TestString MakeWide(const std::u16string& text) {
    TestString s;
    s.storage.assign(text.begin(), text.end());
    s.storage.push_back(0);
    return s;
}

std::vector<TestString> MakeStrings() {
    std::vector<TestString> strings = {
        MakeNarrow(""),
        MakeNarrow("a"),
        MakeNarrow("hello"),
        MakeNarrow("%s%d%ls"),
        MakeNarrow("\xff\xfe\x80 high bytes"),
        MakeNarrow(std::string(300, 'x')),
        MakeWide(u""),
        MakeWide(u"w"),
        MakeWide(u"wide text"),
        MakeWide(u"caf\u00e9\u00ff"),
        MakeWide(u"\u4e2d\u6587"),
        MakeWide(u"ab\u0100cd"),
        MakeWide(u"\U0001F600 emoji"),
    };
    for (TestString& s : strings) {
        s.above255 = false;
        for (size_t i = 0; s.storage[i] != 0; ++i)
            s.above255 = s.above255 || s.storage[i] > 0xFF;
    }
    return strings;
}

const std::vector<TestString>& Strings() {
    static const std::vector<TestString> strings = MakeStrings();
    return strings;
}

// ---- the argument stream -----------------------------------------------------------------

struct Stream {
    const uint8_t* data;
    size_t size;
    bool drewAbove255; // some pointer handed out holds a unit above 255

    uint64_t Take(size_t bytes) {
        uint64_t value = 0;
        for (size_t i = 0; i < bytes; ++i) {
            uint64_t byte = 0;
            if (size > 0) {
                byte = *data++;
                --size;
            }
            value |= byte << (8 * i);
        }
        return value;
    }
};

// A tag byte below 0x80 is a small value (-64 to 63), so widths and
// precisions drawn with '*' are mostly small; otherwise 8 bytes follow.
int64_t NextInteger(void* context, int) {
    Stream* s = static_cast<Stream*>(context);
    uint8_t tag = static_cast<uint8_t>(s->Take(1));
    if (tag < 0x80)
        return static_cast<int8_t>(static_cast<uint8_t>(tag << 1)) / 2;
    return static_cast<int64_t>(s->Take(8));
}

double NextDouble(void* context) {
    uint64_t bits = static_cast<Stream*>(context)->Take(8);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

const void* NextPointer(void* context) {
    Stream* s = static_cast<Stream*>(context);
    const std::vector<TestString>& strings = Strings();
    size_t pick = s->Take(1) % (strings.size() + 1);
    if (pick == 0)
        return nullptr;
    const TestString& chosen = strings[pick - 1];
    s->drewAbove255 = s->drewAbove255 || chosen.above255;
    return chosen.storage.data();
}

// ---- format screening -----------------------------------------------------------------

// %n aborts by design, so no input may reach one. From every '%' the units a
// conversion may hold before its letter are skipped; an 'n' there
// could be a %n. This rejects more than needed, never less.
bool MayHoldPercentN(const std::vector<uint32_t>& fmt) {
    static const char kSpecUnits[] = "-+ #0123456789*.hlwLjztI";
    for (size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != '%')
            continue;
        size_t j = i + 1;
        while (j < fmt.size() && fmt[j] != 0 && fmt[j] < 0x80 &&
               std::strchr(kSpecUnits, static_cast<int>(fmt[j])) != nullptr)
            ++j;
        if (j < fmt.size() && fmt[j] == 'n')
            return true;
    }
    return false;
}

// Widths and precisions written as digits stay below 10000 units.
bool HasLongDigitRun(const std::vector<uint32_t>& fmt) {
    int run = 0;
    for (uint32_t u : fmt) {
        run = (u >= '0' && u <= '9') ? run + 1 : 0;
        if (run > 4)
            return true;
    }
    return false;
}

// ---- running and checking -----------------------------------------------------------------

struct Run {
    size_t count;
    bool error;
    bool drewAbove255;
    std::vector<uint16_t> units; // the buffer, capacity units then the guard
};

constexpr size_t kGuardUnits = 8;
constexpr size_t kReferenceMax = 1 << 16;

Run Format(bool wide, const void* fmt, const uint8_t* args, size_t argsSize, size_t capacity,
           uint16_t sentinel) {
    Run run;
    std::vector<char> narrow;
    std::vector<char16_t> wideBuffer;
    void* buffer = nullptr;
    if (wide) {
        wideBuffer.assign(capacity + kGuardUnits, static_cast<char16_t>(sentinel));
        buffer = wideBuffer.data();
    } else {
        narrow.assign(capacity + kGuardUnits, static_cast<char>(sentinel & 0xFF));
        buffer = narrow.data();
    }
    Stream stream{args, argsSize, false};
    FORMAT_ARGS source{};
    source.context = &stream;
    source.NextInteger = NextInteger;
    source.NextDouble = NextDouble;
    source.NextPointer = NextPointer;
    FORMAT_SINK sink{wide, capacity > 0 ? buffer : nullptr, capacity, 0, false};
    FormatCoreArgs(&sink, fmt, wide, &source);
    run.count = sink.count;
    run.error = sink.error;
    run.drewAbove255 = stream.drewAbove255;
    if (wide)
        run.units.assign(wideBuffer.begin(), wideBuffer.end());
    else
        for (char c : narrow)
            run.units.push_back(static_cast<uint8_t>(c));
    return run;
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "format_fuzz: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const bool wide = data[0] & 1;
    const size_t capacityChoice = data[0] >> 1;
    const size_t length = data[1];
    data += 2;
    size -= 2;

    const size_t unitBytes = wide ? 2 : 1;
    const size_t available = size / unitBytes < length ? size / unitBytes : length;
    std::vector<uint32_t> units;
    for (size_t i = 0; i < available; ++i)
        units.push_back(wide ? static_cast<uint32_t>(data[2 * i] | data[2 * i + 1] << 8)
                             : data[i]);
    data += available * unitBytes;
    size -= available * unitBytes;
    if (MayHoldPercentN(units) || HasLongDigitRun(units))
        return 0;

    std::vector<unsigned char> narrowFormat;
    std::vector<char16_t> wideFormat;
    for (uint32_t u : units) {
        narrowFormat.push_back(static_cast<unsigned char>(u));
        wideFormat.push_back(static_cast<char16_t>(u));
    }
    narrowFormat.push_back(0);
    wideFormat.push_back(0);
    const void* fmt = wide ? static_cast<const void*>(wideFormat.data())
                           : static_cast<const void*>(narrowFormat.data());

    // Capacity 0 measures; every other sink must agree with it.
    const Run measured = Format(wide, fmt, data, size, 0, 0xA5A5);
    if (measured.error && (wide || !measured.drewAbove255))
        Fail("error flag without a 16-bit string unit above 255");

    const size_t referenceCapacity =
        measured.count < kReferenceMax ? measured.count : kReferenceMax;
    const Run reference = Format(wide, fmt, data, size, referenceCapacity, 0xA5A5);
    if (reference.count != measured.count || reference.error != measured.error)
        Fail("a sink with room for the whole text disagrees with the measure");

    const size_t capacities[] = {1, capacityChoice, measured.count - 1, measured.count,
                                 measured.count + 1};
    for (size_t capacity : capacities) {
        // Only what the reference holds can be compared.
        if ((capacity < measured.count ? capacity : measured.count) > referenceCapacity)
            continue;
        for (uint16_t sentinel : {uint16_t{0xA5A5}, uint16_t{0x5A5A}}) {
            const Run run = Format(wide, fmt, data, size, capacity, sentinel);
            if (run.count != measured.count || run.error != measured.error)
                Fail("a bounded sink counted differently");
            const size_t stored = capacity < run.count ? capacity : run.count;
            for (size_t i = 0; i < stored; ++i)
                if (run.units[i] != reference.units[i])
                    Fail("a bounded sink stored other units than the reference");
            const uint16_t expected = wide ? sentinel : (sentinel & 0xFF);
            for (size_t i = stored; i < run.units.size(); ++i)
                if (run.units[i] != expected)
                    Fail("a unit was stored past the capacity or the text");
        }
    }
    return 0;
}
