#include "engine/cluster_bitmap.h"

#include <cstddef>
#include <utility>

void CClusterBitmap::Reset(uint64_t u64Clusters) {
    m_vecBytes.assign(static_cast<size_t>((u64Clusters + 7) / 8), 0);
    m_u64Clusters = u64Clusters;
}

void CClusterBitmap::Assign(std::vector<uint8_t> vecBytes, uint64_t u64Clusters) {
    m_vecBytes = std::move(vecBytes);
    m_vecBytes.resize(static_cast<size_t>((u64Clusters + 7) / 8), 0);
    m_u64Clusters = u64Clusters;
}

void CClusterBitmap::MarkUsed(uint64_t u64Cluster) {
    if (u64Cluster >= m_u64Clusters) return;
    m_vecBytes[static_cast<size_t>(u64Cluster / 8)] |= static_cast<uint8_t>(1u << (u64Cluster % 8));
}

bool CClusterBitmap::IsUsed(uint64_t u64Cluster) const {
    if (u64Cluster >= m_u64Clusters) return true;
    return (m_vecBytes[static_cast<size_t>(u64Cluster / 8)] >> (u64Cluster % 8)) & 1u;
}

uint64_t CClusterBitmap::FindBit(uint64_t u64Cluster, bool bUsed) const {
    // Whole bytes that hold no bit of the kind looked for are passed over at once.
    const uint8_t btSkip = bUsed ? 0x00 : 0xFF;
    uint64_t c = u64Cluster;
    while (c < m_u64Clusters) {
        if (c % 8 == 0 && m_vecBytes[static_cast<size_t>(c / 8)] == btSkip) {
            c += 8;
            continue;
        }
        if (IsUsed(c) == bUsed) return c;
        ++c;
    }
    return m_u64Clusters;
}

bool CClusterBitmap::FindFree(uint64_t u64Cluster, uint64_t& u64First) const {
    u64First = FindBit(u64Cluster, false);
    return u64First < m_u64Clusters;
}

bool CClusterBitmap::FindFreeRun(uint64_t u64Cluster, uint64_t& u64First, uint64_t& u64Count) const {
    u64Count = 0;
    if (!FindFree(u64Cluster, u64First)) return false;
    const uint64_t u64End = FindBit(u64First, true);
    u64Count = (u64End < m_u64Clusters ? u64End : m_u64Clusters) - u64First;
    return true;
}

bool CClusterBitmap::FindFreeSectors(uint64_t u64Sector, uint64_t u64SectorsPerCluster, uint64_t& u64First,
                                     uint64_t& u64Count) const {
    u64Count = 0;
    if (u64SectorsPerCluster == 0) return false;
    const uint64_t u64Cluster = u64Sector / u64SectorsPerCluster;
    uint64_t u64FreeCluster = 0, u64FreeClusters = 0;
    if (!FindFreeRun(u64Cluster, u64FreeCluster, u64FreeClusters)) return false;
    u64First = u64FreeCluster == u64Cluster ? u64Sector : u64FreeCluster * u64SectorsPerCluster;
    u64Count = (u64FreeCluster + u64FreeClusters) * u64SectorsPerCluster - u64First;
    return true;
}

uint64_t CClusterBitmap::CountFree() const {
    uint64_t u64Free = 0;
    for (uint64_t c = 0; c < m_u64Clusters;) {
        uint64_t u64First = 0, u64Count = 0;
        if (!FindFreeRun(c, u64First, u64Count)) break;
        u64Free += u64Count;
        c = u64First + u64Count;
    }
    return u64Free;
}
