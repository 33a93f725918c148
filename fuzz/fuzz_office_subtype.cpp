// The Office sub-type decisions over an in-memory device. Input: one byte choosing the sector
// size and the sector the file starts at, then the device's bytes.
#include <cstdlib>
#include <vector>

#include "carving/file_type_judge.h"
#include "carving_memory_disk.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* pData, size_t nSize) {
    static CFileTypeJudge judge;
    static CCarvingMemoryDisk disk;
    if (nSize < 1 || nSize > 1 << 20) return 0;
    static const int nSizes[] = {512, 512, 512, 512, 1024, 2048, 4096, 256};
    const int nBytesPerSector = nSizes[pData[0] & 7];
    const unsigned long long u64Start = (pData[0] >> 3) & 3;
    const unsigned char* pDevice = pData + 1;
    const size_t nDevice = nSize - 1;

    disk.Load(pDevice, nDevice, nBytesPerSector);
    // The head as the sweep would hand it: the start sector, cut where the device ends.
    std::vector<unsigned char> vecHead;
    size_t nAt = static_cast<size_t>(u64Start) * nBytesPerSector;
    if (nAt < nDevice) {
        size_t nTake = nDevice - nAt < static_cast<size_t>(nBytesPerSector) ? nDevice - nAt : nBytesPerSector;
        vecHead.assign(pDevice + nAt, pDevice + nAt + nTake);
    }
    const int nHead = static_cast<int>(vecHead.size());

    disk.AimAt(u64Start, nBytesPerSector);
    EXTEND_NAME_TYPE n2003 = CFileTypeJudge::GetOffice2003Type(vecHead.data(), nHead);
    if (n2003 != EXT_DOC && n2003 != EXT_XLS && n2003 != EXT_PPT && n2003 != EXT_OLE) abort();
    EXTEND_NAME_TYPE n2007 = CFileTypeJudge::GetOffice2007Type(vecHead.data(), nHead);
    if (n2007 != EXT_DOCX && n2007 != EXT_XLSX && n2007 != EXT_PPTX && n2007 != EXT_UNKNOWN) abort();

    EXTEND_NAME_TYPE nTest2003 = CFileTypeJudge::IsOffice2003Type(vecHead.data(), nHead);
    if (nTest2003 != EXT_UNKNOWN && nTest2003 != n2003) abort();
    EXTEND_NAME_TYPE nTest2007 = CFileTypeJudge::IsOffice2007Type(vecHead.data(), nHead);
    if (nTest2007 != EXT_UNKNOWN && nTest2007 != n2007) abort();

    for (const char* szExt : {"doc", "xls", "ppt", "ole", "docx", "xlsx", "pptx", "zip"})
        (void)CFileTypeJudge::IsFileTypeMatching(vecHead.data(), nHead, szExt, disk.Reader(),
                                                 nBytesPerSector, u64Start);
    return 0;
}
