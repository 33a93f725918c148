#include "ntfs/run_list.h"

// Sector arithmetic wraps modulo 2^64 on purpose: run offsets are signed and the sums come
// from untrusted records, so they are kept in unsigned arithmetic where wrapping is defined.
namespace {
uint64_t ScaledOffset(const __RUNLIST__& run, unsigned int nSectorsPerCluster) {
    return static_cast<uint64_t>(run.n64LcnOffset) * nSectorsPerCluster;
}
}  // namespace

bool LocateMftRecordSector(const std::vector<__RUNLIST__>& mftRuns, unsigned long long u64RecordNumber,
                           unsigned int nSectorsPerRecord, unsigned int nSectorsPerCluster,
                           unsigned long long u64VolumeStart, unsigned long long& u64Sector) {
    const uint64_t t = static_cast<uint64_t>(u64RecordNumber) * nSectorsPerRecord;
    uint64_t u64Running = 0;
    uint64_t u64Covered = 0;
    for (const __RUNLIST__& run : mftRuns) {
        u64Running += ScaledOffset(run, nSectorsPerCluster);
        const uint64_t u64RunSectors = run.u64ClusterCount * nSectorsPerCluster;
        if (t >= u64Covered && t - u64Covered < u64RunSectors) {
            u64Sector = u64VolumeStart + u64Running + (t - u64Covered);
            return true;
        }
        u64Covered += u64RunSectors;
    }
    return false;
}

unsigned long long LookupMftRecordSector(const std::vector<__RUNLIST__>& mftRuns, unsigned long long u64RecordNumber,
                                         unsigned int nSectorsPerCluster, unsigned long long u64VolumeStart) {
    const uint64_t t = 2 * static_cast<uint64_t>(u64RecordNumber);
    uint64_t u64Running = 0;
    uint64_t u64Covered = 0;
    for (const __RUNLIST__& run : mftRuns) {
        u64Running += ScaledOffset(run, nSectorsPerCluster);
        const uint64_t u64RunSectors = run.u64ClusterCount * nSectorsPerCluster;
        if (u64RunSectors == 0) return u64VolumeStart + u64Running + t;
        if (t >= u64Covered && t - u64Covered < u64RunSectors) return u64VolumeStart + u64Running + (t - u64Covered);
        u64Covered += u64RunSectors;
    }
    return u64VolumeStart;
}
