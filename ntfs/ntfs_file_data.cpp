#include "ntfs/ntfs_file_data.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cwchar>
#include <memory>

#include "carving/file_type_judge.h"
#include "device/disk_reader.h"
#include "engine/file_categories.h"
#include "engine/result_codes.h"
#include "ntfs/ntfs_records.h"
#include "util/path.h"
#include "util/preview_file.h"
#include "util/progress.h"
#include "util/safe_writer.h"
#include "util/text.h"

namespace {
// The node's extension, lower-cased; empty when it has none.
std::string LowerExtension(const _FILE_NODE_* pNode) {
    char szName[sizeof(pNode->szFileName) + 1] = {};
    memcpy(szName, pNode->szFileName, sizeof(pNode->szFileName));
    char szExt[KORVALO_PATH_PART_SIZE] = {};
    if (GetExtendName(szName, szExt) != 0) return std::string();
    Convert2Lowercase(szExt);
    return szExt;
}

// The node's name as one path component below the folder being saved.
std::wstring NodeComponent(const _FILE_NODE_* pNode) {
    char szName[sizeof(pNode->szFileName) + 1] = {};
    memcpy(szName, pNode->szFileName, sizeof(pNode->szFileName));
    return MakeSafePathComponent(Ansi2Unicode(szName));
}

}  // namespace

CNtfsFileData::CNtfsFileData(INtfsFileDataSource& source, CDiskReader& reader, int nBytesPerSector)
    : m_source(source), m_diskReader(reader), m_nBytesPerSector(nBytesPerSector > 0 ? nBytesPerSector : 512) {}

void CNtfsFileData::SetRecoveryCallBack(RECOVERY_CALLBACK pCallBack, void* pParam) {
    m_pRecoveryCallBack = pCallBack;
    m_pCallBackParam = pParam;
}

int CNtfsFileData::ReportRecovery(int nProgress, int nError, const std::wstring& strPath) {
    if (m_pRecoveryCallBack == nullptr) return 0;
    std::wstring strName = strPath;
    const int nAnswer = m_pRecoveryCallBack(m_pCallBackParam, nProgress, 100, nError, &strName[0]);
    if (m_nStopAnswer == 0) m_nStopAnswer = nAnswer;
    return nAnswer;
}

int CNtfsFileData::ReadNodeData(_FILE_NODE_* pNode, unsigned long long u64Total, IPieceSink& sink, bool& bResident) {
    bResident = false;
    std::unique_ptr<unsigned char[]> pBuf(new unsigned char[NTFS_DATA_PIECE_BYTES]);
    unsigned int nLength = 0;
    int nResult = m_source.ReadNodeResidentData(pNode, pBuf.get(), nLength);
    if (nResult == 0) {
        bResident = true;
        // The reader's length includes alignment padding; never hand on more than it holds.
        const size_t nHand = static_cast<size_t>(std::min<unsigned long long>(u64Total, nLength));
        return sink.Take(pBuf.get(), nHand, u64Total - nHand, true);
    }
    if (nResult != NTFS_ERROR_NO_RESIDENT_DATA) return nResult;
    if (u64Total == 0) return 0;
    std::vector<__RUNLIST__> vecRuns;
    nResult = m_source.ReadNodeDataRunList(pNode, vecRuns);
    if (nResult != 0) return nResult;
    return ReadRuns(pNode, vecRuns, u64Total, sink, pBuf.get());
}

int CNtfsFileData::ReadRuns(_FILE_NODE_* pNode, const std::vector<__RUNLIST__>& vecRuns, unsigned long long u64Total,
                            IPieceSink& sink, unsigned char* pBuf) {
    const uint64_t u64Bps = static_cast<uint64_t>(m_nBytesPerSector);
    const uint64_t u64ClusterSize = pNode->nClusterSize;
    uint64_t u64Remaining = u64Total;
    uint64_t u64Cluster = 0;  // running cluster number; wraps like the run offsets it sums
    for (const __RUNLIST__& run : vecRuns) {
        if (u64Remaining == 0) break;  // the rest of the allocation is not part of the file
        u64Cluster += static_cast<uint64_t>(run.n64LcnOffset);
        const uint64_t u64RunBytes = u64ClusterSize * run.u64ClusterCount;
        const bool bSparse = run.n64LcnOffset == 0;
        uint64_t u64RunDone = 0;
        while (u64RunDone < u64RunBytes && u64Remaining > 0) {
            // Only the sectors the file still needs: a bad sector in the slack after its end
            // costs nothing.
            const uint64_t u64Needed = (u64Remaining + u64Bps - 1) / u64Bps * u64Bps;
            const uint64_t u64Want =
                std::min<uint64_t>(std::min<uint64_t>(NTFS_DATA_PIECE_BYTES, u64RunBytes - u64RunDone), u64Needed);
            const int nSectors = static_cast<int>(u64Want / u64Bps);
            if (nSectors == 0) break;  // a cluster size that is no whole number of sectors
            size_t nPieceBytes = static_cast<size_t>(nSectors) * static_cast<size_t>(u64Bps);
            int nReadResult = 0;
            if (bSparse) {
                // A run without a location holds zeros; reading the previous run's clusters again
                // would put foreign data into the file.
                memset(pBuf, 0, nPieceBytes);
            } else {
                const uint64_t u64Sector =
                    u64ClusterSize * u64Cluster / u64Bps + u64RunDone / u64Bps + pNode->u64PartitionStartSector;
                unsigned int nRead = 0;
                nReadResult = m_diskReader.ReadData(pBuf, nSectors, static_cast<long long>(u64Sector),
                                                    m_nBytesPerSector, &nRead);
                if (nReadResult == KR_ERROR_INVALID_PARAMETER) {
                    // A run beyond the reader's area is as unreadable as a bad sector.
                    SetLastUnreadableSector(u64Sector);
                    nReadResult = KR_ERROR_READ_FAULT;
                }
                if (nReadResult != 0 && nReadResult != KR_ERROR_READ_FAULT) return nReadResult;
                // What arrived before a bad sector is handed on: the file comes back as far as it
                // can be read, and the read fault ends it.
                nPieceBytes = static_cast<size_t>(nRead) * static_cast<size_t>(u64Bps);
            }
            const size_t nHand = static_cast<size_t>(std::min<uint64_t>(nPieceBytes, u64Remaining));
            u64Remaining -= nHand;
            u64RunDone += nPieceBytes;
            if (nHand > 0) {
                int nAnswer = sink.Take(pBuf, nHand, u64Remaining, false);
                if (nAnswer != 0) return nAnswer;
            }
            if (nReadResult != 0) return nReadResult;
        }
    }
    // Runs that end before the size (a cut or undecodable run list) leave the file incomplete.
    return u64Remaining == 0 ? 0 : KR_ERROR_DATA_MISSING;
}

// Writes every piece to a file, reporting recovery progress after each non-resident piece, or
// (for previews) preview progress.
class CNtfsFileData::CFileSink : public IPieceSink {
public:
    CFileSink(int hFile, unsigned long long u64Total) : m_hFile(hFile), m_u64Total(u64Total) {}
    void ReportTo(CNtfsFileData* pOwner, const std::wstring* pPath) {
        m_pOwner = pOwner;
        m_pPath = pPath;
    }
    void PreviewTo(PREVIEW_CALLBACK pCallBack, void* pParam) {
        m_pPreview = pCallBack;
        m_pPreviewParam = pParam;
    }
    int Take(const unsigned char* pData, size_t nLen, unsigned long long u64Remaining, bool bResident) override {
        int nResult = WriteAll(m_hFile, pData, nLen);
        if (nResult != 0) return nResult;
        const int nProgress = ProgressPercent(m_u64Total - u64Remaining, m_u64Total);
        if (m_pPreview != nullptr) return m_pPreview(m_pPreviewParam, nProgress, 0);
        if (bResident || m_pOwner == nullptr) return 0;  // a resident save reports once at its end
        return m_pOwner->ReportRecovery(nProgress, 0, *m_pPath);
    }

private:
    int m_hFile;
    unsigned long long m_u64Total;
    CNtfsFileData* m_pOwner = nullptr;
    const std::wstring* m_pPath = nullptr;
    PREVIEW_CALLBACK m_pPreview = nullptr;
    void* m_pPreviewParam = nullptr;
};

// Appends the pieces to the caller's buffer, cut at its capacity.
class CNtfsFileData::CMemorySink : public IPieceSink {
public:
    CMemorySink(unsigned char* pBuf, size_t nCapacity, unsigned long long u64Total, PREVIEW_CALLBACK pCallBack,
                void* pParam)
        : m_pBuf(pBuf), m_nCapacity(nCapacity), m_u64Total(u64Total), m_pCallBack(pCallBack), m_pParam(pParam) {}
    int Take(const unsigned char* pData, size_t nLen, unsigned long long, bool) override {
        if (nLen == 0) return 0;
        const size_t nTake = std::min(nLen, m_nCapacity - m_nCopied);
        memcpy(m_pBuf + m_nCopied, pData, nTake);
        m_nCopied += nTake;
        if (m_pCallBack == nullptr) return 0;
        return m_pCallBack(m_pParam, ProgressPercent(m_nCopied, m_u64Total), 0);
    }
    size_t Copied() const { return m_nCopied; }

private:
    unsigned char* m_pBuf;
    size_t m_nCapacity;
    size_t m_nCopied = 0;
    unsigned long long m_u64Total;
    PREVIEW_CALLBACK m_pCallBack;
    void* m_pParam;
};

int CNtfsFileData::SaveDataToTargetFile(_FILE_NODE_* pNode, const wchar_t* pTargetPath) {
    if (pNode == nullptr || pTargetPath == nullptr) {
        ReportRecovery(100, KR_ERROR_INVALID_PARAMETER, pTargetPath != nullptr ? pTargetPath : L"");
        return KR_ERROR_INVALID_PARAMETER;
    }
    const std::wstring strTarget = pTargetPath;
    std::string strUsed;
    if (pNode->bIsDir) {
        int nResult = MakeRecoveredFolder(Unicode2Path(pTargetPath), strUsed);
        if (nResult != 0) {
            ReportRecovery(100, nResult, strTarget);
            return nResult;
        }
        m_dequeSaveDir.push_back({*pNode, Path2Unicode(strUsed.c_str())});
        return 0;
    }

    int hFile = -1;
    const int nCreated = CreateRecoveredFile(Unicode2Path(pTargetPath), hFile, strUsed);
    if (nCreated != 0) {
        ReportRecovery(100, nCreated, strTarget);
        return nCreated;
    }
    const std::wstring strPath = Path2Unicode(strUsed.c_str());
    const unsigned long long u64Total = pNode->u64FileSize;
    CFileSink sink(hFile, u64Total);
    sink.ReportTo(this, &strPath);
    bool bResident = false;
    int nResult = ReadNodeData(pNode, u64Total, sink, bResident);
    if (bResident || (nResult == 0 && u64Total == 0)) {
        // One report for a value written in one go, or for an empty file.
        int nAnswer = ReportRecovery(100, nResult, strPath);
        if (nResult == 0) nResult = nAnswer;
    } else if (nResult > 0) {
        ReportRecovery(100, nResult, strPath);
    }
    close(hFile);
    return nResult;
}

int CNtfsFileData::SaveFileData(_FILE_NODE_* pNode, wchar_t* pTargetPath, int nBaseLevel) {
    if (pNode == nullptr || pTargetPath == nullptr) return KR_ERROR_INVALID_PARAMETER;
    m_nStopAnswer = 0;
    if (!pNode->bIsDir) return SaveDataToTargetFile(pNode, pTargetPath);

    m_dequeSaveDir.clear();
    std::string strUsed;
    int nResult = MakeRecoveredFolder(Unicode2Path(pTargetPath), strUsed);
    if (nResult != 0) return nResult;
    m_dequeSaveDir.push_back({*pNode, Path2Unicode(strUsed.c_str())});
    int nFolderResult = 0;
    while (!m_dequeSaveDir.empty()) {
        SAVE_DIR_ENTRY folder = m_dequeSaveDir.front();
        m_dequeSaveDir.pop_front();
        m_strCurDirPath = folder.strPath;

        int nSlashes = 0;
        GetPathDirIndex(m_strCurDirPath.c_str(), nSlashes);
        std::vector<_FILE_NODE_> vecChildren;
        const unsigned int nLevel = static_cast<unsigned int>(nSlashes - nBaseLevel);
        const int nListed = m_source.ListNodeChildren(&folder.node, nLevel, vecChildren);
        if (nListed != 0) {
            if (nFolderResult == 0) nFolderResult = nListed;
            continue;
        }
        for (_FILE_NODE_& child : vecChildren) {
            // Deep scans often find several files of one name in one folder (a deleted one and
            // its successor); the writer gives each its own file instead of reusing a name.
            const std::wstring strChildPath = m_strCurDirPath + L"/" + NodeComponent(&child);
            const int nChild = SaveDataToTargetFile(&child, strChildPath.c_str());
            if (m_nStopAnswer != 0) {
                m_dequeSaveDir.clear();
                return m_nStopAnswer;
            }
            // A folder is only recovered when everything in it is.
            if (nFolderResult == 0) nFolderResult = nChild;
        }
    }
    return nFolderResult;
}

int CNtfsFileData::PreView(_FILE_NODE_* pNode, wchar_t* pPreviewPath, unsigned char* pBuf, int& nBufLen,
                           PREVIEW_CALLBACK pPreViewCallBack, void* pParam) {
    const int nCapacity = nBufLen;
    nBufLen = 0;
    int nResult = KR_ERROR_INVALID_PARAMETER;
    if (pNode == nullptr) {
        if (pPreViewCallBack != nullptr) pPreViewCallBack(pParam, 100, nResult);
        return nResult;
    }

    const std::string strExt = LowerExtension(pNode);
    const std::wstring strPreview = Path2Unicode(CPreviewFile::PathFor(strExt).c_str());
    const bool bToFile = !strExt.empty() && pPreviewPath != nullptr &&
                         strstr(szPhotoFileTypeList, strExt.c_str()) != nullptr &&
                         strPreview.size() < static_cast<size_t>(NTFS_PREVIEW_PATH_CHARS);

    if (bToFile) {
        wcscpy(pPreviewPath, strPreview.c_str());
        CPreviewFile previewFile;
        nResult = previewFile.Create(strExt);
        if (nResult != 0) {
            if (pPreViewCallBack != nullptr) pPreViewCallBack(pParam, 100, nResult);
            return nResult;
        }
        CFileSink sink(previewFile.Handle(), pNode->u64FileSize);
        sink.PreviewTo(pPreViewCallBack, pParam);
        bool bResident = false;
        nResult = ReadNodeData(pNode, pNode->u64FileSize, sink, bResident);
        previewFile.Finish(nResult == 0);
    } else if (pBuf != nullptr && nCapacity > 0) {
        const unsigned long long u64Total =
            std::min<unsigned long long>(pNode->u64FileSize, static_cast<unsigned long long>(nCapacity));
        CMemorySink sink(pBuf, static_cast<size_t>(nCapacity), u64Total, pPreViewCallBack, pParam);
        bool bResident = false;
        nResult = ReadNodeData(pNode, u64Total, sink, bResident);
        if (nResult == 0) nBufLen = static_cast<int>(sink.Copied());
    }
    if (pPreViewCallBack != nullptr) pPreViewCallBack(pParam, 100, nResult);
    return nResult;
}

int CNtfsFileData::IsFileDataHealth(_FILE_NODE_* pNode) {
    if (pNode == nullptr) return 1;
    const std::string strExt = LowerExtension(pNode);
    std::unique_ptr<unsigned char[]> pBuf(new unsigned char[NTFS_DATA_PIECE_BYTES]);
    unsigned int nLength = 0;
    if (m_source.ReadNodeResidentData(pNode, pBuf.get(), nLength) == 0) {
        if (nLength == 0) return 0;
        if (strExt.empty()) return 1;
        return CFileTypeJudge::IsFileTypeMatching(pBuf.get(), static_cast<int>(nLength), strExt.c_str(),
                                                  &m_diskReader, m_nBytesPerSector, 0) == 0
                   ? 0
                   : 1;
    }
    std::vector<__RUNLIST__> vecRuns;
    if (m_source.ReadNodeHealthRunList(pNode, vecRuns) != 0 || vecRuns.empty()) return 1;
    const uint64_t u64Sector = static_cast<uint64_t>(pNode->nClusterSize) *
                                   static_cast<uint64_t>(vecRuns[0].n64LcnOffset) /
                                   static_cast<uint64_t>(m_nBytesPerSector) +
                               pNode->u64PartitionStartSector;
    if (u64Sector == 0 || strExt.empty()) return 1;
    unsigned int nRead = 0;
    if (m_diskReader.ReadData(pBuf.get(), 1, static_cast<long long>(u64Sector), m_nBytesPerSector, &nRead) != 0)
        return 1;
    return CFileTypeJudge::IsFileTypeMatching(pBuf.get(), m_nBytesPerSector, strExt.c_str(), &m_diskReader,
                                              m_nBytesPerSector, u64Sector) == 0
               ? 0
               : 1;
}
