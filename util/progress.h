#pragma once
// Progress of a copy in whole percent.

// 0..100 for u64Done of u64Total (100 when there is nothing to do); exact for any 64-bit sizes.
inline int ProgressPercent(unsigned long long u64Done, unsigned long long u64Total) {
    if (u64Total == 0) return 100;
    return static_cast<int>(u64Done / u64Total * 100 + u64Done % u64Total * 100 / u64Total);
}
