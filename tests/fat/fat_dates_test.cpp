#include "fat/fat_dates.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "fat_entry_builder.h"

namespace {

// Sets TZ for the life of the object and restores the previous zone after.
class CScopedTimeZone {
public:
    explicit CScopedTimeZone(const char* szZone) {
        if (const char* szOld = getenv("TZ")) {
            m_bHadOld = true;
            m_strOld = szOld;
        }
        setenv("TZ", szZone, 1);
        tzset();
    }
    ~CScopedTimeZone() {
        if (m_bHadOld)
            setenv("TZ", m_strOld.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_bHadOld = false;
    std::string m_strOld;
};

int64_t UtcMidnight(int nYear, int nMonth, int nDay) {
    struct tm tmUtc = {};
    tmUtc.tm_year = nYear - 1900;
    tmUtc.tm_mon = nMonth - 1;
    tmUtc.tm_mday = nDay;
    return static_cast<int64_t>(timegm(&tmUtc));
}

// POSIX zone strings, so the tests do not depend on the zone database being installed.
constexpr const char* NEW_YORK = "EST5EDT,M3.2.0,M11.1.0";
constexpr const char* BERLIN = "CET-1CEST,M3.5.0,M10.5.0/3";

TEST(FatDatesTest, MidnightInStandardTimeWhateverTheSeason) {
    {
        CScopedTimeZone zone(NEW_YORK);
        EXPECT_EQ(UtcMidnight(2020, 1, 15) + 5 * 3600, FatDateToUnixSeconds(MakeFatDate(2020, 1, 15)));
        // In summer the clocks say 01:00 at this instant; daylight saving is not applied.
        EXPECT_EQ(UtcMidnight(2020, 7, 1) + 5 * 3600, FatDateToUnixSeconds(MakeFatDate(2020, 7, 1)));
    }
    {
        CScopedTimeZone zone(BERLIN);
        EXPECT_EQ(UtcMidnight(2021, 8, 20) - 3600, FatDateToUnixSeconds(MakeFatDate(2021, 8, 20)));
        EXPECT_EQ(UtcMidnight(2021, 12, 24) - 3600, FatDateToUnixSeconds(MakeFatDate(2021, 12, 24)));
    }
    CScopedTimeZone zone("UTC0");
    EXPECT_EQ(UtcMidnight(1980, 1, 1), FatDateToUnixSeconds(MakeFatDate(1980, 1, 1)));
}

TEST(FatDatesTest, OutOfRangeFieldsCarryOverLikeTheCalendar) {
    CScopedTimeZone zone("UTC0");
    EXPECT_EQ(UtcMidnight(2020, 2, 29), FatDateToUnixSeconds(MakeFatDate(2020, 3, 0)));
    EXPECT_EQ(UtcMidnight(2019, 12, 1), FatDateToUnixSeconds(MakeFatDate(2020, 0, 1)));
    EXPECT_EQ(UtcMidnight(2021, 3, 5), FatDateToUnixSeconds(MakeFatDate(2020, 15, 5)));
    EXPECT_EQ(UtcMidnight(2021, 5, 1), FatDateToUnixSeconds(MakeFatDate(2021, 4, 31)));
}

TEST(FatDatesTest, EachDecoderReadsItsOwnField) {
    CScopedTimeZone zone(BERLIN);
    FatEntryBytes bytes = FatEntryBytes::File("PHOTO   JPG");
    WriteLe16(&bytes.ab[16], MakeFatDate(2001, 2, 3));
    WriteLe16(&bytes.ab[18], MakeFatDate(2004, 5, 6));
    WriteLe16(&bytes.ab[24], MakeFatDate(2107, 12, 31));  // past 2^32 seconds
    WriteLe16(&bytes.ab[14], 0xFFFF);                       // times of day are never used
    WriteLe16(&bytes.ab[22], 0xFFFF);
    const FAT32_Entry entry = ReadFatEntry(bytes.ab.data());

    _FILETIME create = {}, access = {}, change = {};
    Fat32GetFileCreateTime(&entry, &create);
    Fat32GetFileLastAccessTime(&entry, &access);
    Fat32GetFileLastChangeTime(&entry, &change);
    EXPECT_EQ(UtcMidnight(2001, 2, 3) - 3600, FatFileTimeToSeconds(create));
    EXPECT_EQ(UtcMidnight(2004, 5, 6) - 3600, FatFileTimeToSeconds(access));
    EXPECT_EQ(UtcMidnight(2107, 12, 31) - 3600, FatFileTimeToSeconds(change));
    EXPECT_EQ(1u, change.dwHighDateTime);

    _FILETIME untouched = {7, 7};
    Fat32GetFileCreateTime(nullptr, &untouched);
    EXPECT_EQ(7u, untouched.dwLowDateTime);
    Fat32GetFileLastAccessTime(&entry, nullptr);
}

TEST(FatDatesTest, PlausibleRangeAgreesWithTheFullConversionForEveryWord) {
    // The quick calendar path must decide exactly as the C library's conversion would, in zones
    // at both extremes of the offsets in use as well as with daylight saving.
    for (const char* szZone : {"UTC0", NEW_YORK, BERLIN, "<+14>-14", "<-12>12"}) {
        CScopedTimeZone zone(szZone);
        int nMismatches = 0, nPlausible = 0;
        for (uint32_t w = 0; w <= 0xFFFF; ++w) {
            const int64_t llSeconds = FatDateToUnixSeconds(static_cast<uint16_t>(w));
            const bool bExpected = llSeconds >= FAT_PLAUSIBLE_TIME_MIN && llSeconds <= FAT_PLAUSIBLE_TIME_MAX;
            const bool bPlausible = IsFatDatePlausible(static_cast<uint16_t>(w));
            nMismatches += bExpected != bPlausible;
            nPlausible += bPlausible;
        }
        EXPECT_EQ(0, nMismatches) << szZone;
        EXPECT_GT(nPlausible, 0) << szZone;
    }
}

TEST(FatDatesTest, RangeLimitsFallOnTheRightDays) {
    CScopedTimeZone zone("UTC0");
    // 1991-05-03 00:00 UTC is 38 minutes before the lower limit; 2080-01-23 is before the upper.
    EXPECT_FALSE(IsFatDatePlausible(MakeFatDate(1991, 5, 3)));
    EXPECT_TRUE(IsFatDatePlausible(MakeFatDate(1991, 5, 4)));
    EXPECT_TRUE(IsFatDatePlausible(MakeFatDate(2080, 1, 23)));
    EXPECT_FALSE(IsFatDatePlausible(MakeFatDate(2080, 1, 24)));
}

}  // namespace
