#include "engine/node_order.h"

#include <strings.h>

bool VectorCmp(const _FILE_NODE_& left, const _FILE_NODE_& right) {
    bool bLeftDir = left.bIsDir != 0;
    bool bRightDir = right.bIsDir != 0;
    if (bLeftDir != bRightDir) return !bLeftDir;
    // Bounded: a record read back from a damaged store may lack its NUL.
    return strncasecmp(left.szFileName, right.szFileName, sizeof(left.szFileName)) < 0;
}

bool SearchVectorCmp(const __SEARCH_FILE_INFO__& left, const __SEARCH_FILE_INFO__& right) {
    return VectorCmp(left, right);
}
