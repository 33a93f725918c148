#pragma once
// Every find of a scan in a few bytes each, numbered the way the command line counts ids: a
// listing of millions of finds stays small, and a find's whole 344-byte record is read back from
// its store only when it is shown or recovered.
#include <cstdint>
#include <string_view>
#include <tuple>
#include <vector>

#include "engine/file_node.h"
#include "session/professional_recovery.h"

// The order ids count in: by engine, then by place in its store, which is the same every time a
// saved scan is reused as it stands.
using ID_ORDER_KEY = std::tuple<int, uint32_t, uint64_t, std::string_view>;
ID_ORDER_KEY IdOrderKeyOf(const __SEARCH_FILE_INFO__& hit);

class CFoundFileIndex {
public:
    void Clear();
    // Room for that many finds, so a long listing is not copied as it grows.
    void Reserve(size_t nFinds) { m_vecEntries.reserve(nFinds); }
    void Add(const __SEARCH_FILE_INFO__& hit, FOUND_PLACE place);
    // Numbers what was added: the find with id N is the Nth in id order.
    void NumberInIdOrder();

    size_t Count() const { return m_vecEntries.size(); }
    // Ids count from 1; false for one past Count().
    bool PlaceOf(unsigned long long u64Id, FOUND_PLACE& place) const;
    // The name (8-bit, as stored) and size of a find the index holds.
    std::string_view NameOf(unsigned long long u64Id) const { return NameOf(m_vecEntries[u64Id - 1]); }
    unsigned long long SizeOf(unsigned long long u64Id) const { return m_vecEntries[u64Id - 1].u64FileSize; }
    // 0 when no find of the index lies at that place.
    unsigned long long IdOf(FOUND_PLACE place) const;
    // Orders ids the way a search lists finds: by name, case left aside, then by id.
    void SortInSearchOrder(std::vector<unsigned long long>& vecIds) const;

private:
    struct ENTRY {
        uint64_t u64RecordSector;
        uint64_t u64FileSize;
        uint64_t u64NameOffset;  // into m_vecNames
        int32_t nSourceType;
        uint32_t nFileIndex;
        uint32_t nRecord;
        uint16_t nNameLen;
        uint8_t nStore;
    };
    static_assert(sizeof(ENTRY) <= 40, "an entry stays an eighth of a record");
    std::string_view NameOf(const ENTRY& entry) const;
    ID_ORDER_KEY KeyOf(const ENTRY& entry) const;

    std::vector<ENTRY> m_vecEntries;   // in id order once numbered
    std::vector<char> m_vecNames;
    std::vector<uint32_t> m_vecByPlace;  // entry positions ordered by store and record
};
