#include "util/format.h"

#include <cstdio>

std::string GetFileSizeString(long long llBytes) {
    const long long kKiB = 1LL << 10;
    const long long kMiB = 1LL << 20;
    const long long kGiB = 1LL << 30;
    const long long kTiB = 1LL << 40;
    const double dBytes = static_cast<double>(llBytes);
    char szText[64];
    if (llBytes >= kTiB)
        snprintf(szText, sizeof(szText), "%.2f TB", dBytes / static_cast<double>(kTiB));
    else if (llBytes >= kGiB)
        snprintf(szText, sizeof(szText), "%.2f GB", dBytes / static_cast<double>(kGiB));
    else if (llBytes >= kMiB)
        snprintf(szText, sizeof(szText), "%.2f MB", dBytes / static_cast<double>(kMiB));
    else if (llBytes < kKiB)
        snprintf(szText, sizeof(szText), "%lld Bytes", llBytes);
    else
        snprintf(szText, sizeof(szText), "%.2f KB", dBytes / static_cast<double>(kKiB));
    return szText;
}

std::string GetTimeString(long long llSeconds) {
    char szText[64];
    if (llSeconds >= 3600)
        snprintf(szText, sizeof(szText), "%lld Hour %lld Min", llSeconds / 3600, (llSeconds % 3600) / 60);
    else if (llSeconds < 60)
        snprintf(szText, sizeof(szText), "%lld Sec", llSeconds);
    else
        snprintf(szText, sizeof(szText), "%lld Min %lld Sec", llSeconds / 60, llSeconds % 60);
    return szText;
}
