#pragma once
// Human-readable sizes and durations for progress lines and the results page.
#include <string>

// "1023 Bytes", "1.00 KB", "1.50 MB", "2.25 GB", "1.00 TB" (binary units, two decimals).
std::string GetFileSizeString(long long llBytes);

// "59 Sec", "1 Min 0 Sec", "1 Hour 2 Min" (the hour form drops the seconds).
std::string GetTimeString(long long llSeconds);
