#pragma once
// The finds ticked for recovery, by their position in the search: unlike an engine's record
// numbers, positions never collide when several engines found files. The count and the total
// size are kept as ticks change, so the summary costs nothing with a million finds.
#include <Qt>
#include <cstdint>
#include <vector>

#include "ui/found_files.h"
#include "ui/result_groups.h"

class CRecoverySelection {
public:
    // Starts empty over these finds (which must outlive the selection or the next Reset).
    void Reset(const IFoundFiles* pFinds);

    void Set(uint32_t nHit, bool bTicked);
    void SetAll(const HIT_POSITIONS& vecPositions, bool bTicked);
    bool IsTicked(uint32_t nHit) const { return nHit < m_vecTicked.size() && m_vecTicked[nHit] != 0; }

    size_t Count() const { return m_nCount; }
    unsigned long long Bytes() const { return m_u64Bytes; }
    // Ticked when all of them are, unticked when none is (or there are none), else partly.
    Qt::CheckState StateOf(const HIT_POSITIONS& vecPositions) const;
    // The positions of the ticked finds, in search order.
    HIT_POSITIONS Chosen() const;

private:
    const IFoundFiles* m_pFinds = nullptr;
    std::vector<uint8_t> m_vecTicked;
    size_t m_nCount = 0;
    unsigned long long m_u64Bytes = 0;
};
