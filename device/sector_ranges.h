#pragma once
// Ranges of absolute sectors: how the device layer reports the sectors it could not read.
#include <vector>

struct SECTOR_RANGE {
    unsigned long long u64First;
    unsigned long long u64Count;
};

// Adds a range to a list kept sorted by first sector, merging it with every range it overlaps
// or touches, so a list built this way never holds two ranges that could be one. An empty range
// changes nothing; a range whose end passes the largest sector number is cut there.
void AddSectorRange(std::vector<SECTOR_RANGE>& vecRanges, SECTOR_RANGE range);

// The sectors a sorted, merged list covers.
unsigned long long CountRangeSectors(const std::vector<SECTOR_RANGE>& vecRanges);
