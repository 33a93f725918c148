#pragma once
// FAT date words to time values. The engines keep FAT times as seconds since 1970-01-01 00:00 UTC
// (signed 64-bit, split over a _FILETIME's two words, low first), not as Windows file times.
// A FAT date names a local calendar day; it becomes that day's midnight in the local zone with
// daylight saving time treated as off, so the same word gives the same value all year round.
// Only date words are used: every value is a midnight.
#include <cstdint>

#include "engine/file_node.h"
#include "fat/fat_records.h"

// year = (wDate >> 9) + 1980, month = bits 5-8, day = bits 0-4. A month or day out of range is
// carried over the way the C library's local-time conversion does it (day 0 is the last day of
// the month before, month 0 is December of the year before).
int64_t FatDateToUnixSeconds(uint16_t wDate);

// The time values an entry may plausibly carry: 1991-05-03 00:38:05 to 2080-01-23 10:24:45 UTC.
constexpr int64_t FAT_PLAUSIBLE_TIME_MIN = 673231085;
constexpr int64_t FAT_PLAUSIBLE_TIME_MAX = 3473231085;
// True when FatDateToUnixSeconds(wDate) lies in the plausible range. Decides most words by
// calendar arithmetic alone (the directory tests call it for every entry they meet) and asks the
// C library only for days next to the limits, where the zone's offset matters.
bool IsFatDatePlausible(uint16_t wDate);

// Fill *pTime from wCreateDate, wLastAccessDate and wLastWriteDate respectively. A null argument
// does nothing.
void Fat32GetFileCreateTime(const FAT32_Entry* pEntry, _FILETIME* pTime);
void Fat32GetFileLastAccessTime(const FAT32_Entry* pEntry, _FILETIME* pTime);
void Fat32GetFileLastChangeTime(const FAT32_Entry* pEntry, _FILETIME* pTime);

// Seconds since 1970 held by a _FILETIME filled above.
inline int64_t FatFileTimeToSeconds(const _FILETIME& time) {
    return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) |
                                time.dwLowDateTime);
}
