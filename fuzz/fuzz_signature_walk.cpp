// The detection walk and every signature test on arbitrary bytes, with the same bytes as the
// device behind the tests that read it. Also checks that the fast walk answers exactly as the
// plain table walk does.
#include <cstdlib>
#include <cstring>
#include <string>

#include "carving/file_type_judge.h"
#include "carving/type_table.h"
#include "carving_memory_disk.h"

namespace {

void CheckWalks(const unsigned char* pData, int nLen) {
    EXTEND_NAME_TYPE nFast = CFileTypeJudge::GetDataBufType(pData, nLen);
    EXTEND_NAME_TYPE nPlain = CFileTypeJudge::GetDataBufTypeInTableOrder(pData, nLen);
    if (nFast != nPlain) abort();
    if (nFast < EXT_DOC || nFast > EXT_LARGEST_CODE) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* pData, size_t nSize) {
    static CFileTypeJudge judge;
    static CCarvingMemoryDisk disk;
    if (nSize > 1 << 20) return 0;
    const int nLen = static_cast<int>(nSize);
    const int nBytesPerSector = 512;

    // The last byte picks the carve flags the previous sector would have left.
    unsigned char ucFlags = nSize > 0 ? pData[nSize - 1] : 0;
    CFileTypeJudge::m_bIsNeedCheckTsFileRange = ucFlags & 1;
    CFileTypeJudge::m_bIsMtsFileHead = (ucFlags >> 1) & 1;
    CFileTypeJudge::m_tsFileRangeVec.clear();
    if (ucFlags & 4) CFileTypeJudge::m_tsFileRangeVec.push_back({0, 0});

    disk.Load(pData, nSize, nBytesPerSector);
    disk.AimAt(0, nBytesPerSector);
    CheckWalks(pData, nLen);
    // The same device seen from its second sector, so the look at the sector before works.
    if (nLen > nBytesPerSector) {
        disk.AimAt(1, nBytesPerSector);
        CheckWalks(pData + nBytesPerSector, nLen - nBytesPerSector);
        disk.AimAt(0, nBytesPerSector);
    }

    // Every row's test on its own, including those the walk never reaches for a given head.
    for (const _EXTEND_NAME_AND_TYPE_* pRow = szExtendNameAndType; pRow->pfnIsType != nullptr; ++pRow)
        (void)pRow->pfnIsType(pData, nLen);
    (void)CFileTypeJudge::IsFileSystemSector(pData, nLen);
    (void)CFileTypeJudge::ReturnFileType(reinterpret_cast<const char*>(pData), static_cast<unsigned>(nSize));

    std::string strExt(reinterpret_cast<const char*>(pData), nSize < 16 ? nSize : 16);
    (void)CFileTypeJudge::GetExtendNameType(strExt.c_str());
    (void)CFileTypeJudge::IsFileTypeMatching(pData, nLen, strExt.c_str(), disk.Reader(),
                                             nBytesPerSector, 0);
    return 0;
}
