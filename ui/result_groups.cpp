#include "ui/result_groups.h"

#include <unordered_map>
#include <utility>

void CResultGroups::Build(const IFoundFiles* pFinds) {
    for (int i = 0; i < RESULT_GROUP_COUNT; ++i) {
        m_amapGroups[i].clear();
        m_anCounts[i] = 0;
    }
    if (pFinds == nullptr) return;
    // A search holds few distinct extensions: each is grouped once, then found by its list.
    std::unordered_map<std::string, std::pair<RESULT_GROUP, HIT_POSITIONS*>> mapSeen;
    std::string strKey;
    for (size_t i = 0; i < pFinds->Count(); ++i) {
        const std::string_view name = pFinds->Name(i);
        const size_t nDot = name.rfind('.');
        const std::string strRawExt = nDot != std::string_view::npos ? std::string(name.substr(nDot)) : std::string();
        auto it = mapSeen.find(strRawExt);
        if (it == mapSeen.end()) {
            // Grouped by the name itself, so the rule for odd names stays in one place.
            const RESULT_GROUP eGroup = GetResultGroupByFileName(std::string(name).c_str(), strKey);
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
