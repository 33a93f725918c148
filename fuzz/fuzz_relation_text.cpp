// Relation text comes from a file on disk that may be damaged: parse any bytes, and check that
// whatever was understood survives being written and read again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "engine/relation_text.h"
#include "engine/scan_result_file_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize > static_cast<size_t>(1) << 20) return 0;
    // An exact-size copy, so reading one byte too far is caught.
    std::unique_ptr<char[]> pText(new char[nSize == 0 ? 1 : nSize]);
    if (nSize > 0) memcpy(pText.get(), pData, nSize);
    RELATION_MAP relations;
    CScanResultFileManager::GetDirRelationMap(pText.get(), static_cast<int>(nSize), relations);

    std::string strText;
    FormatRelationText(relations, [&](const char* p, size_t n) {
        strText.append(p, n);
        return true;
    });
    RELATION_MAP reread;
    ParseRelationText(strText.data(), strText.size(), reread);
    if (reread != relations) abort();
    return 0;
}
