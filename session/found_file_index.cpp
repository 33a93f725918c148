#include "session/found_file_index.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

ID_ORDER_KEY IdOrderKeyOf(const __SEARCH_FILE_INFO__& hit) {
    return ID_ORDER_KEY(hit.nSourceType, hit.nFileIndex, hit.u64RecordSector,
                        std::string_view(hit.szFileName, strnlen(hit.szFileName, sizeof(hit.szFileName))));
}

void CFoundFileIndex::Clear() {
    m_vecEntries.clear();
    m_vecNames.clear();
    m_vecByPlace.clear();
}

void CFoundFileIndex::Add(const __SEARCH_FILE_INFO__& hit, FOUND_PLACE place) {
    const size_t nLen = strnlen(hit.szFileName, sizeof(hit.szFileName));
    ENTRY entry{};
    entry.u64RecordSector = hit.u64RecordSector;
    entry.u64FileSize = hit.u64FileSize;
    entry.u64NameOffset = m_vecNames.size();
    entry.nSourceType = hit.nSourceType;
    entry.nFileIndex = hit.nFileIndex;
    entry.nRecord = place.nRecord;
    entry.nNameLen = static_cast<uint16_t>(nLen);
    entry.nStore = static_cast<uint8_t>(place.nStore);
    m_vecNames.insert(m_vecNames.end(), hit.szFileName, hit.szFileName + nLen);
    m_vecEntries.push_back(entry);
}

std::string_view CFoundFileIndex::NameOf(const ENTRY& entry) const {
    return std::string_view(m_vecNames.data() + entry.u64NameOffset, entry.nNameLen);
}

ID_ORDER_KEY CFoundFileIndex::KeyOf(const ENTRY& entry) const {
    return ID_ORDER_KEY(entry.nSourceType, entry.nFileIndex, entry.u64RecordSector, NameOf(entry));
}

void CFoundFileIndex::NumberInIdOrder() {
    std::sort(m_vecEntries.begin(), m_vecEntries.end(),
              [&](const ENTRY& a, const ENTRY& b) { return KeyOf(a) < KeyOf(b); });
    m_vecByPlace.resize(m_vecEntries.size());
    for (size_t i = 0; i < m_vecByPlace.size(); ++i) m_vecByPlace[i] = static_cast<uint32_t>(i);
    auto placeOf = [&](uint32_t nEntry) {
        return std::make_pair(m_vecEntries[nEntry].nStore, m_vecEntries[nEntry].nRecord);
    };
    std::sort(m_vecByPlace.begin(), m_vecByPlace.end(), [&](uint32_t a, uint32_t b) { return placeOf(a) < placeOf(b); });
}

bool CFoundFileIndex::PlaceOf(unsigned long long u64Id, FOUND_PLACE& place) const {
    if (u64Id == 0 || u64Id > m_vecEntries.size()) return false;
    const ENTRY& entry = m_vecEntries[u64Id - 1];
    place = FOUND_PLACE{entry.nStore, entry.nRecord};
    return true;
}

unsigned long long CFoundFileIndex::IdOf(FOUND_PLACE place) const {
    const auto wanted = std::make_pair(static_cast<uint8_t>(place.nStore), place.nRecord);
    auto it = std::lower_bound(m_vecByPlace.begin(), m_vecByPlace.end(), wanted, [&](uint32_t nEntry, const auto& key) {
        return std::make_pair(m_vecEntries[nEntry].nStore, m_vecEntries[nEntry].nRecord) < key;
    });
    if (it == m_vecByPlace.end() || m_vecEntries[*it].nStore != wanted.first || m_vecEntries[*it].nRecord != wanted.second)
        return 0;
    return static_cast<unsigned long long>(*it) + 1;
}

void CFoundFileIndex::SortInSearchOrder(std::vector<unsigned long long>& vecIds) const {
    auto nameOf = [&](unsigned long long u64Id) { return NameOf(m_vecEntries[u64Id - 1]); };
    std::sort(vecIds.begin(), vecIds.end(), [&](unsigned long long a, unsigned long long b) {
        const std::string_view left = nameOf(a), right = nameOf(b);
        const int nOrder = strncasecmp(left.data(), right.data(), std::min(left.size(), right.size()));
        if (nOrder != 0) return nOrder < 0;
        if (left.size() != right.size()) return left.size() < right.size();
        return a < b;
    });
}
