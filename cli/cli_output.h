#pragma once
// How found files and the scan's summary are printed: as text or as JSON objects.
#include <string>
#include <vector>

#include "engine/file_node.h"
#include "session/recovery_session.h"

// Display name of an engine source.
const char* SourceName(int nSourceType);
// "a\"b" style JSON string literal of UTF-8 text.
std::string JsonString(const std::string& strText);
// One found file, with its id, as a line of text or a JSON object (no newline).
std::string FormatFoundFile(const _FILE_NODE_& node, unsigned long long u64Id, const std::string& strFolderPath,
                            bool bJson);
// The scan's summary as one JSON object {"summary":{...}} (no newline).
std::string FormatScanSummaryJson(const SESSION_SUMMARY& summary);
// The same in words, a line each (no newlines); the counts of finds only with bWithFinds.
std::vector<std::string> DescribeScanSummary(const SESSION_SUMMARY& summary, bool bWithFinds);
