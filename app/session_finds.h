#pragma once
// A search's finds as the results page reads them: the session's compact index and the ids of
// the search in search order, each record read back from the scan's stores when it is wanted.
// Read on the interface thread while no job runs on the same session.
#include <string_view>
#include <vector>

#include "session/recovery_session.h"
#include "ui/found_files.h"

class CSessionFinds : public IFoundFiles {
public:
    explicit CSessionFinds(CRecoverySession& session) : m_session(session) {}
    // Lists the finds of the categories in nCategoryMask; SESSION_OK or why not.
    SESSION_RESULT List(int nCategoryMask);

    size_t Count() const override { return m_vecIds.size(); }
    std::string_view Name(size_t nPos) const override { return m_index.NameOf(m_vecIds[nPos]); }
    unsigned long long Size(size_t nPos) const override { return m_index.SizeOf(m_vecIds[nPos]); }
    bool Record(size_t nPos, __SEARCH_FILE_INFO__& hit) const override;

private:
    CRecoverySession& m_session;
    CFoundFileIndex m_index;
    std::vector<unsigned long long> m_vecIds;
};
