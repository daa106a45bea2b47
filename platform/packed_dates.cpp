// Packing of file times into local date and time words, the local-time rule,
// the clock record and the year clamp of written file times.
#include "platform/packed_dates.h"
#include "remote/remote_drives.h"
#include "settings/settings.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <initializer_list>
#include <mutex>
#include <string>

namespace {

void (*gPackedClock)(LPSYSTEMTIME) = nullptr;

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicks1970 = 116444736000000000LL; // 1601 to 1970 in 100 ns
constexpr WORD kLastLocalYear = 30827; // the last year a local time may have

// The fields of a time given as seconds since 1970 (UTC or already moved to
// local time), with its milliseconds, by the proleptic Gregorian calendar.
void SystemTimeFromSeconds(int64_t seconds, WORD milliseconds, SYSTEMTIME* out) {
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        days--;
    }
    // Days to year, month and day, counted in 400-year eras from 1 March 0.
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t dayOfEra = z - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153; // 0 is March
    const int64_t day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const int64_t month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    const int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    out->wYear = WORD(year);
    out->wMonth = WORD(month);
    out->wDay = WORD(day);
    // 1 January 1970 was a Thursday.
    out->wDayOfWeek = WORD(((days % 7) + 11) % 7);
    out->wHour = WORD(rest / 3600);
    out->wMinute = WORD(rest / 60 % 60);
    out->wSecond = WORD(rest % 60);
    out->wMilliseconds = milliseconds;
}

// Whole seconds since 1970 (rounded down) and the milliseconds of a
// FILETIME's ticks.
void SplitTicks(int64_t ticks, int64_t* seconds, WORD* milliseconds) {
    const int64_t sinceEpoch = ticks - kTicks1970;
    int64_t rest = sinceEpoch % kTicksPerSecond;
    *seconds = sinceEpoch / kTicksPerSecond;
    if (rest < 0) {
        rest += kTicksPerSecond;
        --*seconds;
    }
    *milliseconds = WORD(rest / 10000);
}

// ---- the zone's offsets, remembered --------------------------------------
//
// Asking the C library for the local time takes its zone lock and searches
// the zone's transitions for every date. Logging a disk converts three
// times per file, mostly of nearby dates, so the offsets found are kept:
// the offset of each hour of UTC whose start and end have the same offset,
// and today's offset for the current second. Both are forgotten whenever
// the value of TZ changes, and the C library is then told to read the zone
// again, so a change of TZ is followed even without tzset.

constexpr unsigned kHourSlots = 4096;
constexpr int64_t kOffsetBias = 0x20000; // offsets are within +-36 hours
constexpr uint64_t kGenerationMask = 0x3FFF;

// Each slot: hour (32 bits) | offset + bias (18 bits) | generation (14 bits);
// 0 is an empty slot (generation 0 is never used).
std::atomic<uint64_t> gHourOffsets[kHourSlots];
// The current second (its low 32 bits) | offset + bias | generation.
std::atomic<uint64_t> gTodaysOffset{0};

std::mutex gZoneMutex;
std::string gZoneValue;                    // under gZoneMutex
bool gZoneUnset = true;                    // under gZoneMutex
std::atomic<const char*> gZoneSeen{nullptr}; // the TZ string last looked at
std::atomic<uint64_t> gZoneGeneration{0};    // 0 until the first look

uint64_t PackOffset(uint32_t key, int64_t offset, uint64_t generation) {
    return uint64_t(key) << 32 | uint64_t(offset + kOffsetBias) << 14 | generation;
}

bool UnpackOffset(uint64_t slot, uint32_t key, uint64_t generation, int64_t* offset) {
    if (slot == 0 || uint32_t(slot >> 32) != key || (slot & kGenerationMask) != generation)
        return false;
    *offset = int64_t((slot >> 14) & 0x3FFFF) - kOffsetBias;
    return true;
}

// The generation of the zone now in force: a new one, with the C library's
// zone read again, when TZ changed since the last look.
uint64_t ZoneGeneration() {
    const char* tz = ::getenv("TZ");
    const uint64_t generation = gZoneGeneration.load(std::memory_order_acquire);
    // The environment gives the same string for an unchanged variable.
    if (generation != 0 && tz == gZoneSeen.load(std::memory_order_acquire)) return generation;
    std::lock_guard<std::mutex> lock(gZoneMutex);
    const bool same = generation != 0 && (tz ? !gZoneUnset && gZoneValue == tz : gZoneUnset);
    uint64_t current = gZoneGeneration.load(std::memory_order_relaxed);
    if (!same) {
        gZoneUnset = tz == nullptr;
        gZoneValue = tz ? tz : "";
        ::tzset();
        current = (current % kGenerationMask) + 1; // 1 .. the mask
        for (auto& slot : gHourOffsets) slot.store(0, std::memory_order_relaxed);
        gTodaysOffset.store(0, std::memory_order_relaxed);
        gZoneGeneration.store(current, std::memory_order_release);
    }
    gZoneSeen.store(tz, std::memory_order_release);
    return current;
}

// Seconds east of UTC at the time t by the zone's rules; false when the C
// library cannot say.
bool ZoneOffsetAt(int64_t t, int64_t* offset) {
    const time_t at = time_t(t);
    struct tm local;
    if (!::localtime_r(&at, &local)) return false;
    *offset = local.tm_gmtoff;
    return true;
}

bool Cacheable(int64_t offset) { return offset > -kOffsetBias && offset < kOffsetBias; }

// The offset in force at the time t (seconds since 1970).
bool OffsetAt(int64_t t, int64_t* offset) {
    const uint64_t generation = ZoneGeneration();
    const int64_t hour = (t >= 0 ? t : t - 3599) / 3600;
    const uint32_t key = uint32_t(hour);
    std::atomic<uint64_t>& slot = gHourOffsets[key % kHourSlots];
    if (UnpackOffset(slot.load(std::memory_order_relaxed), key, generation, offset)) return true;
    if (!ZoneOffsetAt(t, offset)) return false;
    // An hour is kept only when it starts and ends with this offset: the
    // hour of a change answers each time from the rules.
    int64_t first, last;
    if (Cacheable(*offset) && ZoneOffsetAt(hour * 3600, &first) && first == *offset &&
        ZoneOffsetAt(hour * 3600 + 3599, &last) && last == *offset)
        slot.store(PackOffset(key, *offset, generation), std::memory_order_relaxed);
    return true;
}

// Today's offset (0 when the C library cannot say).
int64_t OffsetNow() {
    const uint64_t generation = ZoneGeneration();
    const int64_t now = int64_t(::time(nullptr));
    const uint32_t key = uint32_t(now);
    int64_t offset;
    if (UnpackOffset(gTodaysOffset.load(std::memory_order_relaxed), key, generation, &offset))
        return offset;
    if (!ZoneOffsetAt(now, &offset)) offset = 0;
    if (Cacheable(offset))
        gTodaysOffset.store(PackOffset(key, offset, generation), std::memory_order_relaxed);
    return offset;
}

} // namespace

void PackSystemTime(const SYSTEMTIME& time, PackedDate* date, PackedTime* clock) {
    *date = PackDate(time.wYear, time.wMonth, time.wDay);
    *clock = PackTime(time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
}

void DosDateTimeFromSystemTime(const SYSTEMTIME& time, DosDateTime* out) {
    out->hour = BYTE(time.wHour);
    out->minute = BYTE(time.wMinute);
    out->second = BYTE(time.wSecond);
    out->hundredths = BYTE(time.wMilliseconds / 10);
    out->day = BYTE(time.wDay);
    out->month = BYTE(time.wMonth);
    out->year = time.wYear;
    out->reserved = 0;
    out->dayOfWeek = BYTE(time.wDayOfWeek);
}

void FileTimeToLocalSystem(const FILETIME* time, SYSTEMTIME* out) {
    *out = SYSTEMTIME{};
    // A value with the top bit set names no time of its own.
    const auto ticks = int64_t(uint64_t(time->dwHighDateTime) << 32 | time->dwLowDateTime);
    int64_t seconds;
    WORD milliseconds;
    if (gSettings.bStampTimezone) {
        if (ticks < 0) return;
        SplitTicks(ticks, &seconds, &milliseconds);
        // The last days a FILETIME carries (in year 30828) have no local
        // form the zone rules accept: they show as they are rather than as
        // no date at all.
        SystemTimeFromSeconds(seconds, milliseconds, out);
        int64_t offset;
        if (out->wYear <= kLastLocalYear && OffsetAt(seconds, &offset))
            SystemTimeFromSeconds(seconds + offset, milliseconds, out);
        return;
    }
    // Today's offset moves every value, as FileTimeToLocalFileTime does: a
    // valid time moved beyond either end of what a FILETIME holds stops at
    // that end, and only a value that is still negative names no time.
    const int64_t offset = OffsetNow();
    int64_t local;
    if (__builtin_add_overflow(ticks, offset * kTicksPerSecond, &local))
        local = offset < 0 ? INT64_MIN : INT64_MAX;
    else if (ticks >= 0 && local < 0)
        local = 0;
    if (local < 0) return;
    SplitTicks(local, &seconds, &milliseconds);
    SystemTimeFromSeconds(seconds, milliseconds, out);
}

void FileTimeToPacked(const FILETIME* time, PackedDate* date, PackedTime* clock) {
    SYSTEMTIME local;
    FileTimeToLocalSystem(time, &local);
    PackSystemTime(local, date, clock);
}

void FindDataToPacked(const WIN32_FIND_DATAW* data, PackedDate* createdDate,
                      PackedTime* createdTime, PackedDate* writtenDate, PackedTime* writtenTime,
                      PackedDate* accessedDate, PackedTime* accessedTime) {
    FileTimeToPacked(&data->ftCreationTime, createdDate, createdTime);
    FileTimeToPacked(&data->ftLastWriteTime, writtenDate, writtenTime);
    FileTimeToPacked(&data->ftLastAccessTime, accessedDate, accessedTime);
}

void GetPackedNow(DosDateTime* out) {
    SYSTEMTIME now{};
    (gPackedClock ? gPackedClock : GetLocalTime)(&now);
    DosDateTimeFromSystemTime(now, out);
}

void PackedNowSetClockForTest(void (*clock)(LPSYSTEMTIME)) { gPackedClock = clock; }

DWORD SetFileTimeClamped(HANDLE file, FILETIME* creation, FILETIME* access, FILETIME* write) {
    if (RdSetFileTime(file, creation, access, write)) return 0;
    const DWORD error = GetLastError();
    if (error != ERROR_INVALID_PARAMETER) return error;
    for (FILETIME* time : {creation, access, write}) {
        SYSTEMTIME st;
        if (!time || !FileTimeToSystemTime(time, &st)) continue;
        if (st.wYear >= 1980 && st.wYear <= 2080) continue;
        st.wYear = 1980; // a leap year: 29 February stays a valid day
        FILETIME clamped;
        if (SystemTimeToFileTime(&st, &clamped)) *time = clamped;
    }
    return RdSetFileTime(file, creation, access, write) ? 0 : GetLastError();
}
