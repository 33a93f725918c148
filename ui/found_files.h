#pragma once
// The finds a results page shows, in search order. The name and size of each are at hand; the
// whole record is read back only when a find is previewed, recovered or asked about, so a page
// of millions of finds costs a few dozen bytes each.
#include <cstddef>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/file_node.h"

class IFoundFiles {
public:
    virtual ~IFoundFiles() = default;
    virtual size_t Count() const = 0;
    // The name as stored (8-bit, without its NUL).
    virtual std::string_view Name(size_t nPos) const = 0;
    virtual unsigned long long Size(size_t nPos) const = 0;
    // False when the record cannot be read back.
    virtual bool Record(size_t nPos, __SEARCH_FILE_INFO__& hit) const = 0;
};

// Finds held whole in memory: a page over a search's records as they are.
class CFoundFilesInMemory : public IFoundFiles {
public:
    explicit CFoundFilesInMemory(std::vector<__SEARCH_FILE_INFO__> vecHits) : m_vecHits(std::move(vecHits)) {}
    size_t Count() const override { return m_vecHits.size(); }
    std::string_view Name(size_t nPos) const override {
        const char* szName = m_vecHits[nPos].szFileName;
        return std::string_view(szName, strnlen(szName, sizeof(m_vecHits[nPos].szFileName)));
    }
    unsigned long long Size(size_t nPos) const override { return m_vecHits[nPos].u64FileSize; }
    bool Record(size_t nPos, __SEARCH_FILE_INFO__& hit) const override {
        hit = m_vecHits[nPos];
        return true;
    }

private:
    std::vector<__SEARCH_FILE_INFO__> m_vecHits;
};
