#include "fat/fat_file_data.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "carving/file_type_judge.h"
#include "device/disk_reader.h"
#include "engine/file_categories.h"
#include "engine/result_codes.h"
#include "fat/virtual_dbr.h"
#include "util/path.h"
#include "util/preview_file.h"
#include "util/progress.h"
#include "util/safe_writer.h"
#include "util/text.h"

namespace {

constexpr int PREVIEW_PATH_CHARS = 256;

// The lower-cased extension when the name has one that the picture list holds, else "".
std::string PictureExtension(const char* szName) {
    char szExt[KORVALO_PATH_PART_SIZE] = {};
    if (GetExtendName(szName, szExt) != 0 || szExt[0] == '\0') return std::string();
    Convert2Lowercase(szExt);
    return strstr(szPhotoFileTypeList, szExt) != nullptr ? std::string(szExt) : std::string();
}

}  // namespace

CFatFileData::CFatFileData(IFileRecoveryParse& owner, CDiskReader& reader, int nBytesPerSector,
                           IFatClusterChain* pChain, bool bRootRuleInHealth)
    : m_owner(owner),
      m_reader(reader),
      m_nBytesPerSector(nBytesPerSector),
      m_pChain(pChain),
      m_bRootRuleInHealth(bRootRuleInHealth) {}

uint64_t CFatFileData::ClusterFirstSector(const _FILE_NODE_& node, uint32_t u32Cluster, bool bRootRule) const {
    const uint32_t u32SectorsPerCluster = node.nClusterSize / static_cast<uint32_t>(m_nBytesPerSector);
    const uint64_t u64DataStart = node.u64PartitionStartSector + node.u64DataStartSector;
    if (u32Cluster == FAT_ROOT_DIR_CLUSTER && bRootRule)
        return u64DataStart >= FAT_FIXED_ROOT_SECTORS ? u64DataStart - FAT_FIXED_ROOT_SECTORS : FAT_NO_SECTOR;
    const int64_t llOffset = (static_cast<int64_t>(u32Cluster) - 2) * u32SectorsPerCluster;
    if (llOffset < 0 && static_cast<uint64_t>(-llOffset) > u64DataStart) return FAT_NO_SECTOR;
    return u64DataStart + static_cast<uint64_t>(llOffset);
}

int CFatFileData::CheckClusterSize(const _FILE_NODE_& node) const {
    if (node.nClusterSize >= FAT_MAX_READ_CLUSTER_BYTES) return FAT_ERROR_CLUSTER_TOO_LARGE;
    // A size that is no whole number of sectors cannot be read cluster by cluster.
    if (node.nClusterSize == 0 || node.nClusterSize % static_cast<uint32_t>(m_nBytesPerSector) != 0)
        return KR_ERROR_INVALID_PARAMETER;
    return 0;
}

int CFatFileData::ReadCluster(const _FILE_NODE_& node, uint32_t u32Cluster, uint64_t u64Wanted, unsigned char* pBuf,
                              uint32_t& u32Bytes) {
    u32Bytes = 0;
    const uint64_t u64Sector = ClusterFirstSector(node, u32Cluster, true);
    if (u64Sector == FAT_NO_SECTOR || u64Sector > static_cast<uint64_t>(INT64_MAX)) return KR_ERROR_READ_FAULT;
    // Only the sectors the file still needs: a bad sector in the slack after its end costs nothing.
    const uint64_t u64Bps = static_cast<uint64_t>(m_nBytesPerSector);
    const uint64_t u64ClusterSectors = node.nClusterSize / u64Bps;
    const uint64_t u64Sectors = std::min(u64ClusterSectors, u64Wanted / u64Bps + (u64Wanted % u64Bps != 0 ? 1 : 0));
    unsigned int nSectors = 0;
    const int nResult = m_reader.ReadData(pBuf, static_cast<int>(u64Sectors), static_cast<long long>(u64Sector),
                                          m_nBytesPerSector, &nSectors);
    u32Bytes = nSectors * static_cast<uint32_t>(m_nBytesPerSector);
    if (nResult == KR_SUCCESS) return KR_SUCCESS;
    // A cluster beyond the reader's area is as unreadable as a bad one.
    if (nResult == KR_ERROR_INVALID_PARAMETER) SetLastUnreadableSector(u64Sector);
    return nResult == KR_ERROR_INVALID_PARAMETER ? KR_ERROR_READ_FAULT : nResult;
}

bool CFatFileData::UsesChain(const _FILE_NODE_& node) {
    return m_pChain != nullptr && m_pChain->UsesChain(node);
}

bool CFatFileData::NextCluster(const _FILE_NODE_& node, bool bChain, uint32_t u32Cluster, uint32_t& u32Next,
                               int& nError) {
    if (!bChain) {
        u32Next = u32Cluster + 1;
        return u32Next != 0;
    }
    nError = m_pChain->FindNextClusterNO(node, u32Cluster, u32Next);
    // A chain that ends before the size is reached ends the read: what follows is unknown, and
    // the file is incomplete.
    if (nError == 0 && u32Next == 0) nError = KR_ERROR_DATA_MISSING;
    return nError == 0;
}

int CFatFileData::Report(int nProgress, int nErrorCode, const std::wstring& wstrTarget) {
    if (m_pRecoveryCallBack == nullptr) return 0;
    std::wstring wstrCopy = wstrTarget;
    const int nAnswer = m_pRecoveryCallBack(m_pCallBackParam, nProgress, 100, nErrorCode, &wstrCopy[0]);
    if (m_nStopAnswer == 0) m_nStopAnswer = nAnswer;
    return nAnswer;
}

int CFatFileData::SaveFileData(_FILE_NODE_* pNode, wchar_t* pTargetPath, int nBaseLevel) {
    if (pNode == nullptr || pTargetPath == nullptr) return KR_ERROR_INVALID_PARAMETER;
    m_nStopAnswer = 0;
    if (pNode->bIsDir == 0) return SaveDataToTargetFile(pNode, pTargetPath);

    std::string strUsed;
    int nResult = MakeRecoveredFolder(Unicode2Path(pTargetPath), strUsed);
    if (nResult != 0) return nResult;
    m_queSaveDir.clear();
    m_queSaveDir.emplace_back(*pNode, Path2Unicode(strUsed.c_str()));
    while (!m_queSaveDir.empty()) {
        std::pair<_FILE_NODE_, std::wstring> folder = m_queSaveDir.front();
        m_queSaveDir.pop_front();
        m_strCurPath = folder.second;
        int nSeparators = 0;
        GetPathDirIndex(m_strCurPath.c_str(), nSeparators);
        std::vector<_FILE_NODE_> vecChildren;
        int nListed = m_owner.GetChildrenFileNode(&folder.first, static_cast<unsigned int>(nSeparators - nBaseLevel),
                                                  vecChildren);
        if (nListed != 0) {
            m_queSaveDir.clear();
            return nListed;
        }
        for (_FILE_NODE_& child : vecChildren) {
            // Several files of one name in one folder (a deleted one and its successor, often
            // found by a deep scan) each get their own file: the writer never reuses a name.
            std::wstring wstrPath = m_strCurPath + L"/" + MakeSafePathComponent(Ansi2Unicode(child.szFileName));
            const int nChild = SaveDataToTargetFile(&child, &wstrPath[0]);
            if (m_nStopAnswer != 0) {
                m_queSaveDir.clear();
                return m_nStopAnswer;
            }
            if (nResult == 0) nResult = nChild;
        }
    }
    return nResult;
}

int CFatFileData::SaveDataToTargetFile(_FILE_NODE_* pNode, wchar_t* pTargetPath) {
    const std::wstring wstrTarget = pTargetPath != nullptr ? pTargetPath : L"";
    if (pNode == nullptr || pTargetPath == nullptr) {
        Report(100, KR_ERROR_INVALID_PARAMETER, wstrTarget);
        return KR_ERROR_INVALID_PARAMETER;
    }
    if (pNode->bIsDir != 0) {
        std::string strUsed;
        int nResult = MakeRecoveredFolder(Unicode2Path(pTargetPath), strUsed);
        if (nResult != 0) return nResult;
        m_queSaveDir.emplace_back(*pNode, Path2Unicode(strUsed.c_str()));
        return 0;
    }
    int nResult = CheckClusterSize(*pNode);
    if (nResult != 0) {
        Report(100, nResult, wstrTarget);
        return nResult;
    }
    int hFile = -1;
    std::string strUsed;
    nResult = CreateRecoveredFile(Unicode2Path(pTargetPath), hFile, strUsed);
    if (nResult != 0) {
        Report(100, nResult, wstrTarget);
        return nResult;
    }
    const std::wstring wstrUsed = Path2Unicode(strUsed.c_str());
    const uint64_t u64Size = pNode->u64FileSize;
    uint64_t u64Remaining = u64Size;
    if (u64Remaining == 0) {
        close(hFile);
        Report(100, 0, wstrUsed);
        return 0;
    }
    std::unique_ptr<unsigned char[]> pCluster(new unsigned char[pNode->nClusterSize]);
    uint32_t u32Cluster = pNode->nDirIndex;
    const bool bChain = UsesChain(*pNode);
    while (nResult == 0 && u64Remaining > 0) {
        uint32_t u32Bytes = 0;
        const int nRead = ReadCluster(*pNode, u32Cluster, u64Remaining, pCluster.get(), u32Bytes);
        // What arrived before a bad sector is kept: the file comes back as far as it can be read.
        const uint64_t u64Chunk = u32Bytes < u64Remaining ? u32Bytes : u64Remaining;
        nResult = WriteAll(hFile, pCluster.get(), static_cast<size_t>(u64Chunk));
        if (nResult == 0) nResult = nRead;
        if (nResult != 0) break;
        u64Remaining -= u64Chunk;
        if (m_pRecoveryCallBack != nullptr) {
            const int nAnswer = Report(ProgressPercent(u64Size - u64Remaining, u64Size), nResult, wstrUsed);
            if (nAnswer != 0) {
                nResult = nAnswer;
                break;
            }
        }
        if (u64Remaining > 0 && !NextCluster(*pNode, bChain, u32Cluster, u32Cluster, nResult)) break;
    }
    if (nResult > 0) Report(100, nResult, wstrUsed);
    close(hFile);
    return nResult;
}

int CFatFileData::PreView(_FILE_NODE_* pNode, wchar_t* pPreviewPath, unsigned char* pBuf, int& nBufLen,
                          PREVIEW_CALLBACK pPreViewCallBack, void* pParam) {
    if (pNode == nullptr) return KR_ERROR_INVALID_PARAMETER;
    int nResult = CheckClusterSize(*pNode);
    if (nResult != 0) return nResult;

    CPreviewFile previewFile;
    const std::string strExt = PictureExtension(pNode->szFileName);
    const std::string strPreviewPath = CPreviewFile::PathFor(strExt);
    if (!strExt.empty() && strPreviewPath.size() < PREVIEW_PATH_CHARS) {
        if (pPreviewPath != nullptr) {
            const std::wstring wstrPath = Path2Unicode(strPreviewPath.c_str());
            wcsncpy(pPreviewPath, wstrPath.c_str(), PREVIEW_PATH_CHARS - 1);
            pPreviewPath[PREVIEW_PATH_CHARS - 1] = L'\0';
        }
        nResult = previewFile.Create(strExt);
        if (nResult != 0) return nResult;
    }
    const int hFile = previewFile.Handle();
    const bool bToFile = hFile >= 0;
    const int nCapacity = (!bToFile && pBuf != nullptr && nBufLen > 0) ? nBufLen : 0;
    uint64_t u64Total = pNode->u64FileSize;
    if (!bToFile && u64Total > static_cast<uint64_t>(nCapacity)) u64Total = static_cast<uint64_t>(nCapacity);

    uint64_t u64Done = 0;
    int nCopied = 0;
    if (u64Total > 0) {
        std::unique_ptr<unsigned char[]> pCluster(new unsigned char[pNode->nClusterSize]);
        uint32_t u32Cluster = pNode->nDirIndex;
        const bool bChain = UsesChain(*pNode);
        while (u64Done < u64Total) {
            uint32_t u32Bytes = 0;
            nResult = ReadCluster(*pNode, u32Cluster, u64Total - u64Done, pCluster.get(), u32Bytes);
            if (nResult != 0) break;
            uint64_t u64Chunk = u64Total - u64Done;
            if (u32Bytes < u64Chunk) u64Chunk = u32Bytes;
            if (bToFile) {
                nResult = WriteAll(hFile, pCluster.get(), static_cast<size_t>(u64Chunk));
                if (nResult != 0) break;
            } else {
                if (u64Chunk == 0) break;
                memcpy(pBuf + nCopied, pCluster.get(), static_cast<size_t>(u64Chunk));
                nCopied += static_cast<int>(u64Chunk);
            }
            u64Done += u64Chunk;
            if (pPreViewCallBack != nullptr) {
                const int nAnswer = pPreViewCallBack(pParam, ProgressPercent(u64Done, u64Total), nResult);
                if (nAnswer != 0) {
                    nResult = nAnswer;
                    break;
                }
            }
            if (u64Done < u64Total && !NextCluster(*pNode, bChain, u32Cluster, u32Cluster, nResult)) break;
        }
    }
    if (pPreViewCallBack != nullptr) pPreViewCallBack(pParam, 100, nResult);
    previewFile.Finish(nResult == 0);
    nBufLen = nCopied;
    return nResult;
}

int CFatFileData::IsFileDataHealth(_FILE_NODE_* pNode, uint32_t u32SectorsPerCluster) {
    if (pNode == nullptr) return 1;
    char szExt[KORVALO_PATH_PART_SIZE] = {};
    if (GetExtendName(pNode->szFileName, szExt) != 0 || szExt[0] == '\0') return 1;
    _FILE_NODE_ geometry = *pNode;
    geometry.nClusterSize = u32SectorsPerCluster * static_cast<uint32_t>(m_nBytesPerSector);
    const uint64_t u64Sector = ClusterFirstSector(geometry, pNode->nDirIndex, m_bRootRuleInHealth);
    if (u64Sector == FAT_NO_SECTOR || u64Sector > static_cast<uint64_t>(INT64_MAX)) return 1;
    std::vector<unsigned char> vecSector(static_cast<size_t>(m_nBytesPerSector));
    unsigned int nSectors = 0;
    if (m_reader.ReadData(vecSector.data(), 1, static_cast<long long>(u64Sector), m_nBytesPerSector, &nSectors) != 0 ||
        nSectors == 0)
        return 1;
    return CFileTypeJudge::IsFileTypeMatching(vecSector.data(), m_nBytesPerSector, szExt, &m_reader,
                                              m_nBytesPerSector, u64Sector) != 0
               ? 1
               : 0;
}
