// The memory status against the kernel's own counters and on every case of
// those counters, and the system directory through the drive map.
#include "drive_fixture.h"
#include "internal/memstatus.h"
#include "winsysinfo.h"
#include "windows.h"

#include <gtest/gtest.h>

#include <sys/sysinfo.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// ---- memory status ------------------------------------------------------------

TEST(MemoryStatus, FromTheKernelCounters) {
    struct Row {
        const char* what;
        unsigned long totalRam, freeRam, bufferRam, totalSwap, freeSwap;
        unsigned unit;
        MEMORYSTATUS expected; // dwLength and the virtual sizes are set below
    };
    const SIZE_T k = 4096;
    const Row rows[] = {
        {"unit 0 counts as 1", 1000, 200, 50, 400, 100, 0, {0, 75, 1000, 250, 1400, 350, 0, 0}},
        {"the unit scales every size, not the load",
         1000, 200, 50, 400, 100, 4096,
         {0, 75, 1000 * k, 250 * k, 1400 * k, 350 * k, 0, 0}},
        {"the load rounds the free share down", 3, 1, 0, 0, 0, 1, {0, 67, 3, 1, 3, 1, 0, 0}},
        {"all free is load 0", 8, 6, 2, 0, 0, 1, {0, 0, 8, 8, 8, 8, 0, 0}},
        {"no RAM is load 0", 0, 0, 0, 5, 5, 1, {0, 0, 0, 0, 5, 5, 0, 0}},
        {"more free than total is load 0, not a wrapped percentage",
         10, 20, 0, 0, 0, 1, {0, 0, 10, 20, 10, 20, 0, 0}},
        {"64 TiB of 4 KiB pages",
         1ul << 34, 1ul << 33, 0, 1ul << 30, 0, 4096,
         {0, 50, SIZE_T{1} << 46, SIZE_T{1} << 45, ((1ul << 34) + (1ul << 30)) * k, SIZE_T{1} << 45,
          0, 0}},
    };
    for (const Row& r : rows) {
        struct sysinfo info = {};
        info.totalram = r.totalRam;
        info.freeram = r.freeRam;
        info.bufferram = r.bufferRam;
        info.totalswap = r.totalSwap;
        info.freeswap = r.freeSwap;
        info.mem_unit = r.unit;
        MEMORYSTATUS got;
        std::memset(&got, 0xAB, sizeof got);
        MemoryStatusFromSysinfo(&info, &got);
        MEMORYSTATUS want = r.expected;
        want.dwLength = 56;
        want.dwTotalVirtual = want.dwAvailVirtual = 0x800000000000ull;
        EXPECT_EQ(got.dwLength, want.dwLength) << r.what;
        EXPECT_EQ(got.dwMemoryLoad, want.dwMemoryLoad) << r.what;
        EXPECT_EQ(got.dwTotalPhys, want.dwTotalPhys) << r.what;
        EXPECT_EQ(got.dwAvailPhys, want.dwAvailPhys) << r.what;
        EXPECT_EQ(got.dwTotalPageFile, want.dwTotalPageFile) << r.what;
        EXPECT_EQ(got.dwAvailPageFile, want.dwAvailPageFile) << r.what;
        EXPECT_EQ(got.dwTotalVirtual, want.dwTotalVirtual) << r.what;
        EXPECT_EQ(got.dwAvailVirtual, want.dwAvailVirtual) << r.what;
    }
}

TEST(MemoryStatus, AFailedSysinfoLeavesEverythingButTheLengthZero) {
    MEMORYSTATUS got;
    std::memset(&got, 0xAB, sizeof got);
    MemoryStatusFromSysinfo(nullptr, &got);
    MEMORYSTATUS want = {};
    want.dwLength = 56;
    EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0);
}

// kB values of /proc/meminfo by name.
unsigned long long MemInfoKb(const std::string& text, const char* name) {
    std::istringstream in(text);
    std::string key;
    unsigned long long value;
    std::string unit;
    while (in >> key >> value) {
        std::getline(in, unit);
        if (key == std::string(name) + ":") return value;
    }
    ADD_FAILURE() << name << " missing from /proc/meminfo";
    return 0;
}

TEST(MemoryStatus, AgreesWithProcMeminfo) {
    std::ifstream file("/proc/meminfo");
    std::stringstream text;
    text << file.rdbuf();
    MEMORYSTATUS s;
    std::memset(&s, 0xAB, sizeof s);
    GlobalMemoryStatus(&s);
    const double kb = 1024;
    double total = MemInfoKb(text.str(), "MemTotal") * kb;
    double avail = (MemInfoKb(text.str(), "MemFree") + MemInfoKb(text.str(), "Buffers")) * kb;
    double swapTotal = MemInfoKb(text.str(), "SwapTotal") * kb;
    double swapFree = MemInfoKb(text.str(), "SwapFree") * kb;
    // The totals are the same kernel counters; what is free moves between
    // the two readings, so it is compared within a band.
    double band = std::max(total / 20, 256.0 * 1024 * 1024);
    EXPECT_EQ(s.dwLength, 56u);
    EXPECT_NEAR(static_cast<double>(s.dwTotalPhys), total, total / 100);
    EXPECT_NEAR(static_cast<double>(s.dwAvailPhys), avail, band);
    EXPECT_NEAR(static_cast<double>(s.dwTotalPageFile), total + swapTotal, total / 100);
    EXPECT_NEAR(static_cast<double>(s.dwAvailPageFile), avail + swapFree, band);
    EXPECT_LE(s.dwAvailPhys, s.dwTotalPhys);
    EXPECT_NEAR(s.dwMemoryLoad, 100 - avail * 100 / total, 6);
    EXPECT_EQ(s.dwTotalVirtual, 0x800000000000ull);
    EXPECT_EQ(s.dwAvailVirtual, 0x800000000000ull);
    GlobalMemoryStatus(nullptr); // ignored
}

// ---- system directory ------------------------------------------------------------

class SystemDirectoryTest : public DriveMapTest {};

TEST_F(SystemDirectoryTest, IsUsrBinThroughTheDriveMap) {
    struct Map {
        const char* what;
        std::vector<FixtureMount> mounts;
        const char16_t* expected;
    };
    const Map maps[] = {
        {"root as C:", {{"/", "ext4", "/dev/vda1"}}, u"C:\\usr\\bin"},
        {"/usr a drive of its own",
         {{"/", "ext4", "/dev/vda1"}, {"/usr", "ext4", "/dev/vdb1"}},
         u"D:\\bin"},
    };
    for (const Map& m : maps) {
        SetMounts(m.mounts);
        WCHAR buffer[MAX_PATH];
        UINT length = static_cast<UINT>(std::char_traits<char16_t>::length(m.expected));
        EXPECT_EQ(GetSystemDirectoryW(buffer, MAX_PATH), length) << m.what;
        EXPECT_EQ(std::u16string(buffer), m.expected) << m.what;
    }
}

TEST_F(SystemDirectoryTest, ABufferTooSmallGetsTheSizeNeededAndNothingWritten) {
    SetMounts({{"/", "ext4", "/dev/vda1"}});
    const std::u16string expected = u"C:\\usr\\bin";
    const UINT length = static_cast<UINT>(expected.size());
    struct Row {
        const char* what;
        UINT size;
        UINT result;
        bool copied;
    };
    const Row rows[] = {
        {"no room at all", 0, length + 1, false},
        {"one unit", 1, length + 1, false},
        {"room for the text but not the terminator", length, length + 1, false},
        {"exactly text and terminator", length + 1, length, true},
        {"a full path buffer", MAX_PATH, length, true},
    };
    for (const Row& r : rows) {
        WCHAR buffer[MAX_PATH + 1];
        std::fill(std::begin(buffer), std::end(buffer), u'#');
        EXPECT_EQ(GetSystemDirectoryW(buffer, r.size), r.result) << r.what;
        if (r.copied) {
            EXPECT_EQ(std::u16string(buffer), expected) << r.what;
            EXPECT_EQ(buffer[length + 1], u'#') << r.what << ": nothing past the terminator";
        } else {
            EXPECT_EQ(buffer[0], u'#') << r.what << ": nothing is written";
        }
    }
    EXPECT_EQ(GetSystemDirectoryW(nullptr, MAX_PATH), length + 1) << "a null buffer holds nothing";
}

} // namespace
