#include "device/sector_ranges.h"

#include <algorithm>
#include <climits>

void AddSectorRange(std::vector<SECTOR_RANGE>& vecRanges, SECTOR_RANGE range) {
    if (range.u64Count == 0) return;
    if (range.u64Count > ULLONG_MAX - range.u64First) range.u64Count = ULLONG_MAX - range.u64First;
    unsigned long long u64First = range.u64First;
    unsigned long long u64End = range.u64First + range.u64Count;
    // The first range that ends at or after the new one's start may touch it; every range from
    // there on that starts at or before its end is swallowed.
    auto itFirst = std::lower_bound(vecRanges.begin(), vecRanges.end(), u64First,
                                    [](const SECTOR_RANGE& r, unsigned long long u64At) {
                                        return r.u64First + r.u64Count < u64At;
                                    });
    auto itLast = itFirst;
    while (itLast != vecRanges.end() && itLast->u64First <= u64End) {
        u64First = std::min(u64First, itLast->u64First);
        u64End = std::max(u64End, itLast->u64First + itLast->u64Count);
        ++itLast;
    }
    const SECTOR_RANGE merged{u64First, u64End - u64First};
    if (itFirst == itLast) {
        vecRanges.insert(itFirst, merged);
        return;
    }
    *itFirst = merged;
    vecRanges.erase(itFirst + 1, itLast);
}

unsigned long long CountRangeSectors(const std::vector<SECTOR_RANGE>& vecRanges) {
    unsigned long long u64Sectors = 0;
    for (const SECTOR_RANGE& range : vecRanges) u64Sectors += range.u64Count;
    return u64Sectors;
}
