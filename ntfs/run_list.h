#pragma once
// Decoded runs of a non-resident attribute and the two ways the engines turn an MFT record
// number into a disk sector through the MFT's own run list.
#include <cstdint>
#include <vector>

// One run, in run order. Users keep a running cluster number: add n64LcnOffset before using the
// run; the run then covers clusters [running, running + u64ClusterCount) of the volume.
struct __RUNLIST__ {
    uint64_t u64ClusterCount;  // low 32 bits of the stored length
    int64_t n64LcnOffset;      // start relative to the previous run's start; 0 for a sparse run
};

// Record location of the fast engine: record r of an MFT whose $DATA runs are mftRuns. Returns
// false when no run holds the record; otherwise sector = volume start + the record's sectors.
bool LocateMftRecordSector(const std::vector<__RUNLIST__>& mftRuns, unsigned long long u64RecordNumber,
                           unsigned int nSectorsPerRecord, unsigned int nSectorsPerCluster,
                           unsigned long long u64VolumeStart, unsigned long long& u64Sector);

// Record location of the deep engine (1024-byte records on 512-byte sectors). A run of zero
// clusters stands for a table without gaps: the record lies at volume start + running + 2r.
// When no run holds the record the answer is the volume start, where no record will be found.
unsigned long long LookupMftRecordSector(const std::vector<__RUNLIST__>& mftRuns, unsigned long long u64RecordNumber,
                                         unsigned int nSectorsPerCluster, unsigned long long u64VolumeStart);
