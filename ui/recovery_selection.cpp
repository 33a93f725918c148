#include "ui/recovery_selection.h"

void CRecoverySelection::Reset(const IFoundFiles* pFinds) {
    m_pFinds = pFinds;
    m_vecTicked.assign(pFinds != nullptr ? pFinds->Count() : 0, 0);
    m_nCount = 0;
    m_u64Bytes = 0;
}

void CRecoverySelection::Set(uint32_t nHit, bool bTicked) {
    if (nHit >= m_vecTicked.size() || (m_vecTicked[nHit] != 0) == bTicked) return;
    m_vecTicked[nHit] = bTicked ? 1 : 0;
    const unsigned long long u64Size = m_pFinds->Size(nHit);
    if (bTicked) {
        ++m_nCount;
        m_u64Bytes += u64Size;
    } else {
        --m_nCount;
        m_u64Bytes -= u64Size;
    }
}

void CRecoverySelection::SetAll(const HIT_POSITIONS& vecPositions, bool bTicked) {
    for (const uint32_t nHit : vecPositions) Set(nHit, bTicked);
}

Qt::CheckState CRecoverySelection::StateOf(const HIT_POSITIONS& vecPositions) const {
    size_t nTicked = 0;
    for (const uint32_t nHit : vecPositions) nTicked += IsTicked(nHit) ? 1 : 0;
    if (nTicked == 0) return Qt::Unchecked;
    return nTicked == vecPositions.size() ? Qt::Checked : Qt::PartiallyChecked;
}

HIT_POSITIONS CRecoverySelection::Chosen() const {
    HIT_POSITIONS vecChosen;
    vecChosen.reserve(m_nCount);
    for (size_t i = 0; i < m_vecTicked.size(); ++i)
        if (m_vecTicked[i] != 0) vecChosen.push_back(static_cast<uint32_t>(i));
    return vecChosen;
}
