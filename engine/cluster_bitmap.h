#pragma once
// Which clusters of a volume are in use, one bit per cluster (least significant bit first,
// 1 = in use), as NTFS keeps it in $Bitmap and as a FAT engine builds it from its table. The fast
// engines hand the deep scan the free stretches between used clusters through it.
#include <cstdint>
#include <vector>

class CClusterBitmap {
public:
    // u64Clusters clusters, all free.
    void Reset(uint64_t u64Clusters);
    // The bitmap as the volume stores it: u64Clusters bits taken from bytes (missing bits free).
    void Assign(std::vector<uint8_t> vecBytes, uint64_t u64Clusters);
    void Clear() { Reset(0); }

    uint64_t ClusterCount() const { return m_u64Clusters; }
    bool Empty() const { return m_u64Clusters == 0; }
    const std::vector<uint8_t>& Bytes() const { return m_vecBytes; }

    // Out-of-range clusters are ignored by MarkUsed and count as used for IsUsed.
    void MarkUsed(uint64_t u64Cluster);
    bool IsUsed(uint64_t u64Cluster) const;

    // The first free cluster at or after u64Cluster and how many free clusters follow it without
    // a used one between (to the end of the bitmap at most). False when no free cluster is left.
    bool FindFreeRun(uint64_t u64Cluster, uint64_t& u64First, uint64_t& u64Count) const;
    // The first free cluster at or after u64Cluster; false when none is left.
    bool FindFree(uint64_t u64Cluster, uint64_t& u64First) const;
    uint64_t CountFree() const;
    // The same in sectors, for a volume whose cluster 0 begins at sector 0: the free stretch at or
    // after u64Sector (a start inside a free cluster keeps its place in it). False when no free
    // cluster is left.
    bool FindFreeSectors(uint64_t u64Sector, uint64_t u64SectorsPerCluster, uint64_t& u64First,
                         uint64_t& u64Count) const;

private:
    // The first cluster at or after u64Cluster whose bit equals bUsed, or m_u64Clusters.
    uint64_t FindBit(uint64_t u64Cluster, bool bUsed) const;

    std::vector<uint8_t> m_vecBytes;
    uint64_t m_u64Clusters = 0;
};
