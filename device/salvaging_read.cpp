#include "device/salvaging_read.h"

#include <cstring>

#include "device/disk_reader.h"

namespace {

class CSalvage {
public:
    CSalvage(const CDiskReader& reader, unsigned char* pBuf, unsigned long long u64FirstSector, int nBytesPerSector,
             std::vector<SECTOR_RANGE>& vecUnreadable)
        : m_reader(reader),
          m_pBuf(pBuf),
          m_u64FirstSector(u64FirstSector),
          m_nBytesPerSector(nBytesPerSector),
          m_vecUnreadable(vecUnreadable) {}

    // The sectors [u64First, u64First + u64Count) after a read of them that brought nRead sectors
    // and then failed with nError.
    void AfterFailure(unsigned long long u64First, unsigned long long u64Count, unsigned int nRead, int nError) {
        u64First += nRead;
        u64Count -= nRead;
        if (u64Count == 0) return;
        // Past the end of the data nothing can be read: no point asking sector by sector.
        if (nError == 0 || u64Count == 1) {
            MarkUnreadable(u64First, u64Count);
            return;
        }
        const unsigned long long u64Half = u64Count / 2;
        Read(u64First, u64Half);
        Read(u64First + u64Half, u64Count - u64Half);
    }

private:
    void Read(unsigned long long u64First, unsigned long long u64Count) {
        unsigned int nRead = 0;
        int nError = 0;
        const int nResult = m_reader.ReadDataAt(At(u64First), static_cast<int>(u64Count),
                                                static_cast<long long>(u64First), m_nBytesPerSector, &nRead, &nError);
        if (nResult == DEVICE_READ_OK) return;
        if (nResult != DEVICE_READ_FAULT) {
            MarkUnreadable(u64First, u64Count);  // a part of a request that passed the checks: cannot happen
            return;
        }
        AfterFailure(u64First, u64Count, nRead, nError);
    }

    void MarkUnreadable(unsigned long long u64First, unsigned long long u64Count) {
        memset(At(u64First), 0, static_cast<size_t>(u64Count) * static_cast<size_t>(m_nBytesPerSector));
        AddSectorRange(m_vecUnreadable, SECTOR_RANGE{u64First, u64Count});
    }

    unsigned char* At(unsigned long long u64Sector) const {
        return m_pBuf + static_cast<size_t>(u64Sector - m_u64FirstSector) * static_cast<size_t>(m_nBytesPerSector);
    }

    const CDiskReader& m_reader;
    unsigned char* m_pBuf;
    unsigned long long m_u64FirstSector;
    int m_nBytesPerSector;
    std::vector<SECTOR_RANGE>& m_vecUnreadable;
};

}  // namespace

int ReadSalvaging(const CDiskReader& reader, unsigned char* pBuf, int nSectorCount, unsigned long long u64FirstSector,
                  int nBytesPerSector, std::vector<SECTOR_RANGE>& vecUnreadable, int& nError) {
    unsigned int nRead = 0;
    nError = 0;
    const int nResult = reader.ReadDataAt(pBuf, nSectorCount, static_cast<long long>(u64FirstSector),
                                          nBytesPerSector, &nRead, &nError);
    if (nResult != DEVICE_READ_FAULT) return nResult;
    CSalvage salvage(reader, pBuf, u64FirstSector, nBytesPerSector, vecUnreadable);
    salvage.AfterFailure(u64FirstSector, static_cast<unsigned long long>(nSectorCount), nRead, nError);
    return DEVICE_READ_FAULT;
}
