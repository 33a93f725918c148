#include "fat/fat_dates.h"

#include <ctime>

namespace {

constexpr int64_t SECONDS_PER_DAY = 86400;
// No zone is two days away from UTC, so a UTC midnight this far inside the plausible range is
// inside it in every zone, and this far outside is outside in every zone.
constexpr int64_t ZONE_MARGIN_SECONDS = 2 * SECONDS_PER_DAY;

struct FatCalendarDate {
    int nYear;
    int nMonth;  // 0-15 as stored
    int nDay;    // 0-31 as stored
};

FatCalendarDate SplitFatDate(uint16_t wDate) {
    return {(wDate >> 9) + 1980, (wDate >> 5) & 0x0F, wDate & 0x1F};
}

int64_t FloorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

// Days from 1970-01-01 to the first of a month in the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, int m) {
    y -= m <= 2;
    const int64_t era = FloorDiv(y, 400);
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5;  // day 1 of month m
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// Midnight UTC of the stored date, carrying an out-of-range month into the year and an
// out-of-range day into the neighbouring month as mktime does.
int64_t UtcMidnight(const FatCalendarDate& date) {
    const int64_t llMonthIndex = static_cast<int64_t>(date.nYear) * 12 + (date.nMonth - 1);
    const int64_t llYear = FloorDiv(llMonthIndex, 12);
    const int nMonth = static_cast<int>(llMonthIndex - llYear * 12) + 1;
    return (DaysFromCivil(llYear, nMonth) + date.nDay - 1) * SECONDS_PER_DAY;
}

bool IsPlausibleTime(int64_t llSeconds) {
    return llSeconds >= FAT_PLAUSIBLE_TIME_MIN && llSeconds <= FAT_PLAUSIBLE_TIME_MAX;
}

void FillFileTime(uint16_t wDate, _FILETIME* pTime) {
    const uint64_t u64Seconds = static_cast<uint64_t>(FatDateToUnixSeconds(wDate));
    pTime->dwLowDateTime = static_cast<uint32_t>(u64Seconds);
    pTime->dwHighDateTime = static_cast<uint32_t>(u64Seconds >> 32);
}

}  // namespace

int64_t FatDateToUnixSeconds(uint16_t wDate) {
    const FatCalendarDate date = SplitFatDate(wDate);
    struct tm tmLocal = {};
    tmLocal.tm_year = date.nYear - 1900;
    tmLocal.tm_mon = date.nMonth - 1;
    tmLocal.tm_mday = date.nDay;
    // Standard time all year: a date must not move by an hour with the season it falls in.
    tmLocal.tm_isdst = 0;
    return static_cast<int64_t>(mktime(&tmLocal));
}

bool IsFatDatePlausible(uint16_t wDate) {
    const int64_t llUtc = UtcMidnight(SplitFatDate(wDate));
    if (llUtc - ZONE_MARGIN_SECONDS >= FAT_PLAUSIBLE_TIME_MIN &&
        llUtc + ZONE_MARGIN_SECONDS <= FAT_PLAUSIBLE_TIME_MAX)
        return true;
    if (llUtc + ZONE_MARGIN_SECONDS < FAT_PLAUSIBLE_TIME_MIN ||
        llUtc - ZONE_MARGIN_SECONDS > FAT_PLAUSIBLE_TIME_MAX)
        return false;
    return IsPlausibleTime(FatDateToUnixSeconds(wDate));
}

void Fat32GetFileCreateTime(const FAT32_Entry* pEntry, _FILETIME* pTime) {
    if (pEntry == nullptr || pTime == nullptr) return;
    FillFileTime(pEntry->wCreateDate, pTime);
}

void Fat32GetFileLastAccessTime(const FAT32_Entry* pEntry, _FILETIME* pTime) {
    if (pEntry == nullptr || pTime == nullptr) return;
    FillFileTime(pEntry->wLastAccessDate, pTime);
}

void Fat32GetFileLastChangeTime(const FAT32_Entry* pEntry, _FILETIME* pTime) {
    if (pEntry == nullptr || pTime == nullptr) return;
    FillFileTime(pEntry->wLastWriteDate, pTime);
}
