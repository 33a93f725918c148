#include "app/session_finds.h"

SESSION_RESULT CSessionFinds::List(int nCategoryMask) {
    m_vecIds.clear();
    const SESSION_RESULT eResult = m_session.IndexFinds(m_index);
    if (eResult != SESSION_OK) return eResult;
    return m_session.ListFinds(nCategoryMask, m_index, m_vecIds);
}

bool CSessionFinds::Record(size_t nPos, __SEARCH_FILE_INFO__& hit) const {
    return nPos < m_vecIds.size() && m_session.ReadFind(m_index, m_vecIds[nPos], hit) == SESSION_OK;
}
