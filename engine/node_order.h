#pragma once
// The order of every children list and search result: files before folders, then by name
// without regard to ASCII case.
#include "engine/file_node.h"

bool VectorCmp(const _FILE_NODE_& left, const _FILE_NODE_& right);
bool SearchVectorCmp(const __SEARCH_FILE_INFO__& left, const __SEARCH_FILE_INFO__& right);
