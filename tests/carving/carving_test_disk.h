#pragma once
// Test helpers of the carving suite: an image file read through a real CDiskReader, with the
// judge context pointed at it, and the context restored afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "carving/file_type_judge.h"
#include "device/disk_reader.h"
#include "fixtures/temp_dir.h"
#include "util/text.h"

// Saves the whole judge context and puts it back, so one test's settings never leak.
class CJudgeContextScope {
public:
    CJudgeContextScope()
        : m_nBytesPerSector(CFileTypeJudge::m_nBytesPerSector),
          m_pDiskReader(CFileTypeJudge::m_pDiskReader),
          m_u64StartSector(CFileTypeJudge::m_u64StartSector),
          m_u64CurrentSector(CFileTypeJudge::m_u64CurrentSector),
          m_bIsNeedCheckTsFileRange(CFileTypeJudge::m_bIsNeedCheckTsFileRange),
          m_bIsMtsFileHead(CFileTypeJudge::m_bIsMtsFileHead),
          m_tsFileRangeVec(CFileTypeJudge::m_tsFileRangeVec) {}
    ~CJudgeContextScope() {
        CFileTypeJudge::m_nBytesPerSector = m_nBytesPerSector;
        CFileTypeJudge::m_pDiskReader = m_pDiskReader;
        CFileTypeJudge::m_u64StartSector = m_u64StartSector;
        CFileTypeJudge::m_u64CurrentSector = m_u64CurrentSector;
        CFileTypeJudge::m_bIsNeedCheckTsFileRange = m_bIsNeedCheckTsFileRange;
        CFileTypeJudge::m_bIsMtsFileHead = m_bIsMtsFileHead;
        CFileTypeJudge::m_tsFileRangeVec = m_tsFileRangeVec;
    }

private:
    int m_nBytesPerSector;
    CDiskReader* m_pDiskReader;
    unsigned long long m_u64StartSector;
    unsigned long long m_u64CurrentSector;
    int m_bIsNeedCheckTsFileRange;
    int m_bIsMtsFileHead;
    std::vector<_TS_FILE_RANGE_> m_tsFileRangeVec;
};

// A disk image of whole sectors in a temporary folder, open through a CDiskReader, with the
// judge context aimed at it as the carving engine would aim it.
class CCarvingTestDisk {
public:
    explicit CCarvingTestDisk(std::vector<unsigned char> vecImage, int nBytesPerSector = 512)
        : m_vecImage(std::move(vecImage)), m_nBytesPerSector(nBytesPerSector) {
        m_vecImage.resize((m_vecImage.size() + nBytesPerSector - 1) / nBytesPerSector * nBytesPerSector);
        std::string strPath = m_dir.File("disk.img");
        m_bReady = WriteWholeFile(strPath, m_vecImage.data(), m_vecImage.size());
        std::wstring wstrPath = Path2Unicode(strPath.c_str());
        m_bReady = m_bReady && m_reader.Init(&wstrPath[0], SectorCount()) == 0;
    }

    bool Ready() const { return m_bReady; }
    unsigned long long SectorCount() const { return m_vecImage.size() / m_nBytesPerSector; }
    CDiskReader* Reader() { return &m_reader; }

    // Points the context at sector u64Sector as the carving engine does before a walk.
    void AimAt(unsigned long long u64Sector, int bCheckTsRange = 1) {
        CFileTypeJudge::m_nBytesPerSector = m_nBytesPerSector;
        CFileTypeJudge::m_pDiskReader = &m_reader;
        CFileTypeJudge::m_u64StartSector = u64Sector;
        CFileTypeJudge::m_u64CurrentSector = u64Sector;
        CFileTypeJudge::m_bIsNeedCheckTsFileRange = bCheckTsRange;
    }
    // A copy of one sector, as the sweep would hand it over.
    std::vector<unsigned char> Sector(unsigned long long u64Sector) const {
        auto it = m_vecImage.begin() + static_cast<long>(u64Sector * m_nBytesPerSector);
        return std::vector<unsigned char>(it, it + m_nBytesPerSector);
    }
    // Detection walk on one sector of the image, aimed at that sector.
    EXTEND_NAME_TYPE WalkAt(unsigned long long u64Sector, int bCheckTsRange = 1) {
        AimAt(u64Sector, bCheckTsRange);
        std::vector<unsigned char> vec = Sector(u64Sector);
        return CFileTypeJudge::GetDataBufType(vec.data(), static_cast<int>(vec.size()));
    }
    // IsFileTypeMatching on one sector of the image.
    int MatchesAt(unsigned long long u64Sector, const char* szExt) {
        std::vector<unsigned char> vec = Sector(u64Sector);
        return CFileTypeJudge::IsFileTypeMatching(vec.data(), static_cast<int>(vec.size()), szExt,
                                                  &m_reader, m_nBytesPerSector, u64Sector);
    }

private:
    CTempDir m_dir;
    CJudgeContextScope m_scope;
    std::vector<unsigned char> m_vecImage;
    int m_nBytesPerSector;
    CDiskReader m_reader;
    bool m_bReady = false;
};

// An image holding pFile at sector u64Sector (and zeros around it).
inline std::vector<unsigned char> ImageWithFileAt(const std::vector<unsigned char>& vecFile,
                                                  unsigned long long u64Sector,
                                                  unsigned long long u64TotalSectors,
                                                  int nBytesPerSector = 512) {
    std::vector<unsigned char> vec(u64TotalSectors * nBytesPerSector, 0);
    size_t nAt = static_cast<size_t>(u64Sector * nBytesPerSector);
    if (nAt + vecFile.size() > vec.size()) vec.resize(nAt + vecFile.size(), 0);
    std::copy(vecFile.begin(), vecFile.end(), vec.begin() + static_cast<long>(nAt));
    return vec;
}
