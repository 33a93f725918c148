// Whether a sector holds file-system metadata rather than file content: a carved file that runs
// into such a sector has ended.
#include "carving/file_type_judge.h"
#include "carving/signature_constants.h"
#include "carving/signature_match.h"

namespace {

constexpr int FS_SECTOR_MIN_BYTES = 32;
constexpr int BOOT_OEM_NAME_OFFSET = 3;
// "$STA" in UTF-16LE: an NTFS attribute-definition entry ($STANDARD_INFORMATION comes first).
constexpr unsigned char ucAttrDefHead[8] = {0x24, 0x00, 0x53, 0x00, 0x54, 0x00, 0x41, 0x00};
const char* const BOOT_OEM_NAMES[] = {"MSDOS5.0", "MSWIN4.0", "MSWIN4.1", "EXFAT   ", "NTFS    "};

bool ContainsNtfsName(const unsigned char* pSector, int nLen) {
    for (int i = 0; i + static_cast<int>(sizeof(szNTFS)) <= nLen; ++i)
        if (SignatureAt(pSector, nLen, i, szNTFS)) return true;
    return false;
}

bool IsKnownBootSector(const unsigned char* pSector, int nLen) {
    if (pSector[0] != 0xEB || pSector[2] != 0x90) return false;
    for (const char* szOem : BOOT_OEM_NAMES)
        if (BytesAt(pSector, nLen, BOOT_OEM_NAME_OFFSET, szOem, 8)) return true;
    return false;
}

}  // namespace

int CFileTypeJudge::IsFileSystemSector(const unsigned char* pSector, int nLen) {
    if (!HasBytes(pSector, nLen, FS_SECTOR_MIN_BYTES)) return 0;
    if (TextAt(pSector, nLen, 0, "FILE") || TextAt(pSector, nLen, 0, "INDX")) return 1;
    if (TextAt(pSector, nLen, 0, "RSTR") && ContainsNtfsName(pSector, nLen)) return 1;
    if (SignatureAt(pSector, nLen, 0, ucAttrDefHead)) return 1;
    if (IsKnownBootSector(pSector, nLen)) return 1;
    return m_pfnDirectorySectorTest != nullptr && m_pfnDirectorySectorTest(pSector, nLen) ? 1 : 0;
}
