#include "ui/result_groups.h"

#include <cstring>
#include <unordered_map>
#include <utility>

void CResultGroups::Build(const std::vector<__SEARCH_FILE_INFO__>& vecHits) {
    for (int i = 0; i < RESULT_GROUP_COUNT; ++i) {
        m_amapGroups[i].clear();
        m_anCounts[i] = 0;
    }
    // A search holds few distinct extensions: each is grouped once, then found by its list.
    std::unordered_map<std::string, std::pair<RESULT_GROUP, HIT_POSITIONS*>> mapSeen;
    std::string strKey;
    for (size_t i = 0; i < vecHits.size(); ++i) {
        const char* szName = vecHits[i].szFileName;
        const size_t nLen = strnlen(szName, sizeof(vecHits[i].szFileName));
        const char* szDot = static_cast<const char*>(memrchr(szName, '.', nLen));
        const std::string strRawExt = szDot != nullptr ? std::string(szDot, szName + nLen) : std::string();
        auto it = mapSeen.find(strRawExt);
        if (it == mapSeen.end()) {
            // Grouped by the name itself, so the rule for odd names stays in one place.
            const RESULT_GROUP eGroup = GetResultGroupByFileName(std::string(szName, nLen).c_str(), strKey);
            it = mapSeen.emplace(strRawExt, std::make_pair(eGroup, &m_amapGroups[eGroup][strKey])).first;
        }
        it->second.second->push_back(static_cast<uint32_t>(i));
        ++m_anCounts[it->second.first];
    }
}

const HIT_POSITIONS* CResultGroups::Extension(RESULT_GROUP eGroup, const std::string& strKey) const {
    if (eGroup < 0 || eGroup >= RESULT_GROUP_COUNT) return nullptr;
    const auto it = m_amapGroups[eGroup].find(strKey);
    return it != m_amapGroups[eGroup].end() ? &it->second : nullptr;
}
