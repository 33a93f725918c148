#pragma once
// The finds of a search grouped the way the results browser shows them: per group (Photo, Music,
// ...), per extension key in ascending order, the positions of the finds in search order.
// Positions rather than copies, so a million finds cost four bytes each here.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "carving/file_category.h"
#include "ui/found_files.h"

using HIT_POSITIONS = std::vector<uint32_t>;

class CResultGroups {
public:
    // Regroups the finds (none for null); what was there before is dropped.
    void Build(const IFoundFiles* pFinds);

    // Extension key -> positions, ascending by key.
    const std::map<std::string, HIT_POSITIONS>& Group(RESULT_GROUP eGroup) const { return m_amapGroups[eGroup]; }
    size_t Count(RESULT_GROUP eGroup) const { return m_anCounts[eGroup]; }
    // The positions under one extension of a group; null when there are none.
    const HIT_POSITIONS* Extension(RESULT_GROUP eGroup, const std::string& strKey) const;

private:
    std::map<std::string, HIT_POSITIONS> m_amapGroups[RESULT_GROUP_COUNT];
    size_t m_anCounts[RESULT_GROUP_COUNT] = {};
};
