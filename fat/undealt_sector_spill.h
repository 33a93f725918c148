#pragma once
// Directory-table sectors the deep FAT engine keeps until its end pass, past what it holds in
// memory: appended to a file beside the result store (so off the scanned device), unlinked as
// soon as it is made so it never outlives the scan, and read back in the order written.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CUndealtSectorSpill {
public:
    CUndealtSectorSpill() = default;
    ~CUndealtSectorSpill();
    CUndealtSectorSpill(const CUndealtSectorSpill&) = delete;
    CUndealtSectorSpill& operator=(const CUndealtSectorSpill&) = delete;

    // Where the next spill file goes: strBesidePath + ".undealt" (made on the first Append).
    void SetPlace(const std::string& strBesidePath);
    // False when the file cannot be made or written (the caller then keeps nothing more).
    bool Append(uint64_t u64Sector, const unsigned char* pData, uint32_t u32Len);
    size_t Count() const { return m_nCount; }
    // Calls onSector for every record in the order written, then empties the spill. False when
    // the file could not be read back whole.
    bool TakeAll(const std::function<void(uint64_t u64Sector, std::vector<unsigned char>& vecData)>& onSector);
    void Clear();

private:
    std::string m_strPath;
    int m_hFile = -1;
    size_t m_nCount = 0;
    uint64_t m_u64Bytes = 0;
};
