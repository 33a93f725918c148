// CProfessionalFatRecovery: geometries, placing waiting files, and the folder walks that follow
// ".." entries on the device.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "device/disk_reader.h"
#include "device/volume_tests.h"
#include "fat/fat_record_tests.h"
#include "fat/professional_fat_recovery.h"
#include "util/path.h"

namespace {

// ". " then "..": the first sector of a directory.
bool StartsWithDotEntries(const unsigned char* pSector) {
    return pSector[0] == '.' && pSector[1] == ' ' && pSector[32] == '.' && pSector[33] == '.';
}
}  // namespace

int CProfessionalFatRecovery::InitVirtualDbrInfo() {
    if (m_hDevice < 0) return KR_ERROR_INVALID_PARAMETER;
    return AddVolumeBootSector(m_u64StartSector);
}

int CProfessionalFatRecovery::AddVolumeBootSector(uint64_t u64VolumeStart) {
    unsigned char abBoot[PRO_FAT_BYTES_PER_SECTOR];
    int nError = ReadBootSector(u64VolumeStart, abBoot);
    if (nError != 0) return nError;
    // FAT32 keeps a copy of its boot sector, usually at sector 6: it stands in for a lost first one.
    if (!IsFat(abBoot) && (ReadBootSector(u64VolumeStart + FAT32_BACKUP_BOOT_SECTOR, abBoot) != 0 ||
                           !IsFat(abBoot) || memcmp(ReadFatBootSector(abBoot).szFsType, "FAT32   ", 8) != 0))
        return 0;
    __VIRTUAL_DBR_INFO__ dbr{};
    uint32_t u32Root = 0;
    if (!GetVirtualDbrFromBootSector(abBoot, u64VolumeStart, dbr, u32Root)) return 0;
    // One root cluster serves the whole scan: the first volume's.
    if (!m_dbrList.FirstIsReal()) m_dwRootClusterNO = u32Root;
    m_dbrList.AddReal(dbr);
    return 0;
}

int CProfessionalFatRecovery::ReadBootSector(uint64_t u64Sector, unsigned char* pSector) {
    if (!IsInArea(u64Sector) || u64Sector < m_u64StartSector) return KR_ERROR_INVALID_PARAMETER;
    unsigned int nRead = 0;
    const int nError =
        m_diskReader.ReadData(pSector, 1, static_cast<long long>(u64Sector), m_nBytesPerSector, &nRead);
    if (nError != 0) return nError;
    return nRead == 1 ? 0 : KR_ERROR_READ_FAULT;
}

int CProfessionalFatRecovery::CalcVirtualDbr(uint32_t u32ClusterHigh, uint64_t u64SectorHigh, uint32_t u32ClusterLow,
                                             uint64_t u64SectorLow) {
    return m_dbrList.CalcVirtualDbr(u32ClusterHigh, u64SectorHigh, u32ClusterLow, u64SectorLow, m_u64StartSector);
}

int CProfessionalFatRecovery::CalcVirtualDbrInfo(__FAT_SECTOR_OFFSET__* pStart) {
    if (pStart != nullptr) m_dbrList.CalcVirtualDbrInfo(*pStart, m_u64StartSector);
    return 0;
}

namespace {
int CopyDbr(const __VIRTUAL_DBR_INFO__* pFound, __VIRTUAL_DBR_INFO__* pOut) {
    if (pFound == nullptr) return 0;
    if (pOut != nullptr) *pOut = *pFound;
    return 1;
}
}  // namespace

int CProfessionalFatRecovery::GetVirtualDbrInfo(uint64_t u64Sector, uint32_t u32Cluster,
                                                __VIRTUAL_DBR_INFO__* pOut) const {
    return CopyDbr(m_dbrList.GetVirtualDbrInfo(u64Sector, u32Cluster), pOut);
}

int CProfessionalFatRecovery::GetNearestVirtualDbrInfo(uint64_t u64Sector, uint32_t u32Cluster,
                                                       __VIRTUAL_DBR_INFO__* pOut) const {
    return CopyDbr(m_dbrList.GetNearestVirtualDbrInfo(u64Sector, u32Cluster), pOut);
}

int CProfessionalFatRecovery::GetBestVirtalDbr(uint64_t u64Sector, __VIRTUAL_DBR_INFO__* pOut) const {
    return CopyDbr(m_dbrList.GetBestVirtalDbr(u64Sector), pOut);
}

void CProfessionalFatRecovery::PlaceFileNode(_FILE_NODE_ node, uint32_t u32Parent, const __VIRTUAL_DBR_INFO__& dbr) {
    if (!m_pScanResult) return;
    node.nClusterSize = static_cast<uint32_t>(m_nBytesPerSector) * dbr.dwSectorsPerCluster;
    node.u64DataStartSector = dbr.dwDataStartOffset;
    node.u64PartitionStartSector = dbr.u64VolumeStartSector;
    int nDepth = 0;
    GetRootParentDirIndex(&dbr, u32Parent, nDepth);
    node.bIsHealth = IsFileDataHealth(&node, dbr.dwSectorsPerCluster);
    unsigned char* pSlot = m_pScanResult->CreateFileNode(sizeof(_FILE_NODE_));
    if (pSlot == nullptr) return;
    node.nFileIndex = m_pScanResult->GetFileIndex();
    memcpy(pSlot, &node, sizeof(node));
    m_pScanResult->AddChildren(u32Parent, static_cast<unsigned int>(nDepth), node.nFileIndex, node.nDirIndex, nullptr);
}

int CProfessionalFatRecovery::UpdateNoDbrFileVec() {
    const std::vector<__VIRTUAL_DBR_INFO__>& vecDbr = m_dbrList.Geometries();
    if (m_vecNoDbrFile.empty() || vecDbr.empty()) return 0;
    // A record can only be placed by a geometry it has not been tried against: old records wait
    // for new geometries, new records are tried against all.
    const bool bNewGeometries = vecDbr.size() != m_nNoDbrCheckedGeometries;
    for (size_t i = bNewGeometries ? 0 : m_nNoDbrCheckedRecords; i < m_vecNoDbrFile.size(); ++i) {
        __NO_DBR_FILE__& pending = m_vecNoDbrFile[i];
        if (pending.bPlaced) continue;
        const uint32_t u32Parent = pending.node.nFileIndex;
        for (size_t g = i < m_nNoDbrCheckedRecords ? m_nNoDbrCheckedGeometries : 0; g < vecDbr.size(); ++g) {
            if (GetClusterFirstSector(vecDbr[g], u32Parent) != pending.node.u64RecordSector) continue;
            const __VIRTUAL_DBR_INFO__ dbr = vecDbr[g];
            PlaceFileNode(pending.node, u32Parent, dbr);
            pending.bPlaced = 1;
            break;
        }
    }
    m_nNoDbrCheckedRecords = m_vecNoDbrFile.size();
    m_nNoDbrCheckedGeometries = vecDbr.size();
    return 0;
}

bool CProfessionalFatRecovery::IsInArea(uint64_t u64Sector) const {
    return u64Sector != FAT_NO_SECTOR && u64Sector < m_u64StartSector + m_u64SectorCount;
}

bool CProfessionalFatRecovery::ReadClusterFirstSector(const __VIRTUAL_DBR_INFO__& dbr, uint32_t u32Cluster,
                                                      unsigned char* pSector, int& nError) {
    nError = 0;
    const uint64_t u64Sector = GetClusterFirstSector(dbr, u32Cluster);
    if (!IsInArea(u64Sector)) {
        nError = KR_ERROR_INVALID_PARAMETER;
        return false;
    }
    unsigned int nRead = 0;
    nError = m_diskReader.ReadData(pSector, 1, static_cast<long long>(u64Sector), m_nBytesPerSector, &nRead);
    if (nError == 0 && nRead == 0) nError = KR_ERROR_READ_FAULT;
    return nError == 0;
}

uint32_t CProfessionalFatRecovery::DotDotTarget(const unsigned char* pDirStart) const {
    const uint32_t u32Cluster = GetFatFirstCluster(ReadFatEntry(pDirStart + FAT_DIR_ENTRY_BYTES));
    return u32Cluster != 0 ? u32Cluster : m_dwRootClusterNO;
}

int CProfessionalFatRecovery::GetRootParentDirIndex(const __VIRTUAL_DBR_INFO__* pDbr, uint32_t u32Cluster, int& nDepth,
                                                    std::set<uint32_t>& setVisited) {
    unsigned char abSector[PRO_FAT_BYTES_PER_SECTOR];
    // Real folder trees are far shallower than the cap; a crafted ".." chain must not cost a read
    // per cluster of the device.
    for (int nStep = 0; IsVirtualDbrSet(pDbr) && u32Cluster != 0 && nStep < PRO_FAT_MAX_FOLDER_DEPTH; ++nStep) {
        setVisited.insert(u32Cluster);
        int nError = 0;
        if (!ReadClusterFirstSector(*pDbr, u32Cluster, abSector, nError)) return nError;
        if (abSector[11] == FAT_ATTR_VOLUME_LABEL || u32Cluster == m_dwRootClusterNO) return 0;
        ++nDepth;
        if (!StartsWithDotEntries(abSector)) return 0;
        const uint32_t u32Parent = GetFatFirstCluster(ReadFatEntry(abSector + FAT_DIR_ENTRY_BYTES));
        if (u32Parent == 0 || setVisited.count(u32Parent) != 0) return 0;
        u32Cluster = u32Parent;
    }
    return 0;
}

int CProfessionalFatRecovery::GetRootParentDirIndex(const __VIRTUAL_DBR_INFO__* pDbr, uint32_t u32Cluster,
                                                    int& nDepth) {
    std::set<uint32_t> setVisited;
    return GetRootParentDirIndex(pDbr, u32Cluster, nDepth, setVisited);
}

int CProfessionalFatRecovery::GetParentClusterNO(const __VIRTUAL_DBR_INFO__* pDbr, uint32_t u32Cluster,
                                                 uint32_t& u32Parent) {
    if (!IsVirtualDbrSet(pDbr) || u32Cluster == 0 || !IsInArea(GetClusterFirstSector(*pDbr, u32Cluster)))
        return KR_ERROR_INVALID_PARAMETER;
    unsigned char abSector[PRO_FAT_BYTES_PER_SECTOR];
    int nError = 0;
    if (!ReadClusterFirstSector(*pDbr, u32Cluster, abSector, nError)) return nError;
    if (abSector[11] != FAT_ATTR_VOLUME_LABEL && StartsWithDotEntries(abSector))
        u32Parent = DotDotTarget(abSector);
    else
        u32Parent = m_dwRootClusterNO;
    return 0;
}

int CProfessionalFatRecovery::GetDirRealHighClusterNO(uint16_t wLow, uint16_t& wHigh,
                                                      const __VIRTUAL_DBR_INFO__* pDbr) {
    if (!IsVirtualDbrSet(pDbr)) return 0;
    unsigned char abSector[PRO_FAT_BYTES_PER_SECTOR];
    for (uint32_t u32High = 0; u32High < PRO_FAT_HIGH_WORD_CANDIDATES; ++u32High) {
        const uint32_t u32Cluster = (u32High << 16) | wLow;
        if (!IsInArea(GetClusterFirstSector(*pDbr, u32Cluster))) return 0;
        int nError = 0;
        if (!ReadClusterFirstSector(*pDbr, u32Cluster, abSector, nError)) return nError;
        if (StartsWithDotEntries(abSector)) {
            wHigh = static_cast<uint16_t>(u32High);
            return 0;
        }
    }
    return 0;
}

int CProfessionalFatRecovery::GetFileRealHighClusterNO(uint16_t wLow, uint16_t& wHigh, const char* szFileName,
                                                       const __VIRTUAL_DBR_INFO__* pDbr) {
    char szExt[KORVALO_PATH_PART_SIZE] = {};
    if (!IsVirtualDbrSet(pDbr) || GetExtendName(szFileName, szExt) != 0 || szExt[0] == '\0') return 0;
    unsigned char abSector[PRO_FAT_BYTES_PER_SECTOR];
    for (uint32_t u32High = 0; u32High < PRO_FAT_HIGH_WORD_CANDIDATES; ++u32High) {
        const uint32_t u32Cluster = (u32High << 16) | wLow;
        const uint64_t u64Sector = GetClusterFirstSector(*pDbr, u32Cluster);
        if (!IsInArea(u64Sector)) return 0;
        unsigned int nRead = 0;
        const int nError = m_diskReader.ReadData(abSector, 1, static_cast<long long>(u64Sector), m_nBytesPerSector, &nRead);
        if (nRead == 0) return nError == KR_ERROR_READ_FAULT ? 0 : nError;
        if (CFileTypeJudge::IsFileTypeMatching(abSector, m_nBytesPerSector, szExt, &m_diskReader, m_nBytesPerSector,
                                               u64Sector) != 0) {
            wHigh = static_cast<uint16_t>(u32High);
            return 0;
        }
    }
    return 0;
}
