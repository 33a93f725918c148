#include "fat/undealt_sector_spill.h"

#include <fcntl.h>
#include <unistd.h>

#include "util/le.h"

namespace {
// A record: the sector number (8 bytes), the data length (4 bytes), the data.
constexpr size_t RECORD_HEAD_BYTES = 12;
// The largest record a sweep hands over (a cluster of 128 sectors of 4 KiB).
constexpr uint32_t MAX_RECORD_DATA = 512 * 1024;

bool WriteAll(int hFile, const unsigned char* p, size_t nLen) {
    while (nLen > 0) {
        const ssize_t n = write(hFile, p, nLen);
        if (n <= 0) return false;
        p += n;
        nLen -= static_cast<size_t>(n);
    }
    return true;
}

bool ReadAll(int hFile, unsigned char* p, size_t nLen, uint64_t u64Offset) {
    while (nLen > 0) {
        const ssize_t n = pread(hFile, p, nLen, static_cast<off_t>(u64Offset));
        if (n <= 0) return false;
        p += n;
        nLen -= static_cast<size_t>(n);
        u64Offset += static_cast<uint64_t>(n);
    }
    return true;
}
}  // namespace

CUndealtSectorSpill::~CUndealtSectorSpill() {
    Clear();
}

void CUndealtSectorSpill::SetPlace(const std::string& strBesidePath) {
    Clear();
    m_strPath = strBesidePath + ".undealt";
}

bool CUndealtSectorSpill::Append(uint64_t u64Sector, const unsigned char* pData, uint32_t u32Len) {
    if (pData == nullptr || u32Len == 0 || u32Len > MAX_RECORD_DATA || m_strPath.empty()) return false;
    if (m_hFile < 0) {
        unlink(m_strPath.c_str());
        m_hFile = open(m_strPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_hFile < 0) return false;
        // Nameless from now on: nothing is left behind, whatever ends the scan.
        unlink(m_strPath.c_str());
    }
    unsigned char abHead[RECORD_HEAD_BYTES];
    WriteLe64(abHead, u64Sector);
    WriteLe32(abHead + 8, u32Len);
    if (!WriteAll(m_hFile, abHead, sizeof(abHead)) || !WriteAll(m_hFile, pData, u32Len)) return false;
    ++m_nCount;
    m_u64Bytes += RECORD_HEAD_BYTES + u32Len;
    return true;
}

bool CUndealtSectorSpill::TakeAll(
    const std::function<void(uint64_t u64Sector, std::vector<unsigned char>& vecData)>& onSector) {
    bool bWhole = true;
    std::vector<unsigned char> vecData;
    unsigned char abHead[RECORD_HEAD_BYTES];
    for (uint64_t u64Offset = 0; m_hFile >= 0 && u64Offset < m_u64Bytes;) {
        if (!ReadAll(m_hFile, abHead, sizeof(abHead), u64Offset)) {
            bWhole = false;
            break;
        }
        const uint32_t u32Len = ReadLe32(abHead + 8);
        if (u32Len == 0 || u32Len > MAX_RECORD_DATA) {
            bWhole = false;
            break;
        }
        vecData.resize(u32Len);
        if (!ReadAll(m_hFile, vecData.data(), u32Len, u64Offset + RECORD_HEAD_BYTES)) {
            bWhole = false;
            break;
        }
        u64Offset += RECORD_HEAD_BYTES + u32Len;
        onSector(ReadLe64(abHead), vecData);
    }
    Clear();
    return bWhole;
}

void CUndealtSectorSpill::Clear() {
    if (m_hFile >= 0) close(m_hFile);
    m_hFile = -1;
    m_nCount = 0;
    m_u64Bytes = 0;
}
