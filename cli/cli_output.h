#pragma once
// How found files are printed: one text line or one JSON object each.
#include <string>

#include "engine/file_node.h"

// Display name of an engine source.
const char* SourceName(int nSourceType);
// "a\"b" style JSON string literal of UTF-8 text.
std::string JsonString(const std::string& strText);
// One found file as a line of text or a JSON object (no newline).
std::string FormatFoundFile(const _FILE_NODE_& node, const std::string& strFolderPath, bool bJson);
