#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>

#include "util/format.h"
#include "util/rsb.h"

namespace {

TEST(FileSizeString, UnitBoundaries) {
    EXPECT_EQ("1023 Bytes", GetFileSizeString(1023));
    EXPECT_EQ("1.00 KB", GetFileSizeString(1024));
    EXPECT_EQ("1024.00 KB", GetFileSizeString((1LL << 20) - 1));
    EXPECT_EQ("1.50 MB", GetFileSizeString(1572864));
    EXPECT_EQ("2.25 GB", GetFileSizeString((1LL << 31) + (1LL << 28)));
    EXPECT_EQ("1.00 TB", GetFileSizeString(1LL << 40));
    EXPECT_EQ("4096.00 TB", GetFileSizeString(1LL << 52));
}

TEST(TimeString, Forms) {
    EXPECT_EQ("59 Sec", GetTimeString(59));
    EXPECT_EQ("1 Min 0 Sec", GetTimeString(60));
    EXPECT_EQ("59 Min 59 Sec", GetTimeString(3599));
    EXPECT_EQ("1 Hour 2 Min", GetTimeString(3725));
    EXPECT_EQ("1000000 Hour 0 Min", GetTimeString(3600000000LL));
}

time_t FieldsAsUtc(const SYSTEMTIME& st) {
    struct tm tmParts = {};
    tmParts.tm_year = st.wYear - 1900;
    tmParts.tm_mon = st.wMonth - 1;
    tmParts.tm_mday = st.wDay;
    tmParts.tm_hour = st.wHour;
    tmParts.tm_min = st.wMinute;
    tmParts.tm_sec = st.wSecond;
    return timegm(&tmParts);
}

TEST(SystemTime, UtcAndLocalDifferByTheZoneOffset) {
    const char* szOld = getenv("TZ");
    std::string strOldTz = szOld != nullptr ? szOld : "";
    setenv("TZ", "JST-9", 1);  // nine hours east, no daylight saving
    tzset();
    SYSTEMTIME stUtc = {}, stLocal = {};
    // time() reads a coarser clock that may still show the previous second: read the precise one.
    timespec tsBefore = {}, tsAfter = {};
    clock_gettime(CLOCK_REALTIME, &tsBefore);
    int nUtcResult = rsb_getSystemTime(&stUtc);
    int nLocalResult = rsb_getLocalTime(&stLocal);
    clock_gettime(CLOCK_REALTIME, &tsAfter);
    const time_t tBefore = tsBefore.tv_sec, tAfter = tsAfter.tv_sec;
    if (szOld != nullptr) setenv("TZ", strOldTz.c_str(), 1); else unsetenv("TZ");
    tzset();

    ASSERT_EQ(0, nUtcResult);
    ASSERT_EQ(0, nLocalResult);
    time_t tUtc = FieldsAsUtc(stUtc);
    EXPECT_GE(tUtc, tBefore);
    EXPECT_LE(tUtc, tAfter);
    struct tm tmCheck;
    gmtime_r(&tUtc, &tmCheck);
    EXPECT_EQ(tmCheck.tm_wday, stUtc.wDayOfWeek);
    EXPECT_LT(stUtc.wMilliseconds, 1000);
    EXPECT_NEAR(9 * 3600, static_cast<double>(FieldsAsUtc(stLocal) - tUtc), 1);
    EXPECT_EQ(87, rsb_getLocalTime(nullptr));
}

TEST(Sleep, SleepsTheWholeTimeAndTicksInMilliseconds) {
    auto tpStart = std::chrono::steady_clock::now();
    long long llTickStart = rsb_getTickCount();
    EXPECT_EQ(0, rsb_msleep(1500));
    long long llTicks = rsb_getTickCount() - llTickStart;
    auto llMs = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - tpStart)
                    .count();
    EXPECT_GE(llMs, 1500);
    // Milliseconds, at the resolution of the clock tick.
    EXPECT_GE(llTicks, 1450);
    EXPECT_LE(llTicks, llMs + 50);
    EXPECT_EQ(-1, rsb_msleep(-5));
}

}  // namespace
