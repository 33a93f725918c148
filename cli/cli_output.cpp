#include "cli/cli_output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "carving/file_category.h"
#include "session/recovered_names.h"
#include "util/format.h"
#include "util/text.h"

const char* SourceName(int nSourceType) {
    switch (nSourceType) {
        // Read through the intact volume's own tables, deleted files included.
        case FILE_SOURCE_FAST_NTFS: return "ntfs-volume";
        case FILE_SOURCE_FAST_FAT: return "fat-volume";
        case FILE_SOURCE_DEEP_NTFS: return "ntfs";
        case FILE_SOURCE_DEEP_FAT: return "fat";
        case FILE_SOURCE_CARVING: return "carved";
        default: return "unknown";
    }
}

std::string JsonString(const std::string& strText) {
    std::string strOut = "\"";
    for (unsigned char c : strText) {
        switch (c) {
            case '"': strOut += "\\\""; break;
            case '\\': strOut += "\\\\"; break;
            case '\n': strOut += "\\n"; break;
            case '\r': strOut += "\\r"; break;
            case '\t': strOut += "\\t"; break;
            default:
                if (c < 0x20) {
                    char szEscape[8];
                    snprintf(szEscape, sizeof(szEscape), "\\u%04x", c);
                    strOut += szEscape;
                } else {
                    strOut += static_cast<char>(c);
                }
        }
    }
    return strOut + "\"";
}

std::string FormatFoundFile(const _FILE_NODE_& node, unsigned long long u64Id, const std::string& strFolderPath,
                            bool bJson) {
    std::string strName = NodeNameUtf8(node);
    char szNameAnsi[sizeof(node.szFileName) + 1];
    memcpy(szNameAnsi, node.szFileName, sizeof(node.szFileName));
    szNameAnsi[sizeof(node.szFileName)] = '\0';
    const char* szCategory = GetDirTypeByFileName(szNameAnsi);
    if (bJson) {
        return "{\"id\":" + std::to_string(u64Id) + ",\"name\":" + JsonString(strName) + ",\"path\":" + JsonString(strFolderPath) +
               ",\"size\":" + std::to_string(node.u64FileSize) + ",\"source\":\"" + SourceName(node.nSourceType) +
               "\",\"healthy\":" + (node.bIsHealth ? "true" : "false") +
               ",\"record_sector\":" + std::to_string(node.u64RecordSector) + ",\"category\":\"" + szCategory + "\"}";
    }
    char szHead[128];
    snprintf(szHead, sizeof(szHead), "%6llu  %-11s %12llu  %-7s  ", u64Id, SourceName(node.nSourceType),
             static_cast<unsigned long long>(node.u64FileSize), node.bIsHealth ? "ok" : "damaged");
    return szHead + strFolderPath + strName;
}

namespace {

const char* ScanOriginName(SESSION_SCAN_ORIGIN eOrigin) {
    switch (eOrigin) {
        case SESSION_SCAN_RESUMED: return "resumed";
        case SESSION_SCAN_REUSED: return "reused";
        default: return "new";
    }
}

std::string RangeText(const SECTOR_RANGE& range) {
    if (range.u64Count == 1) return std::to_string(range.u64First);
    return std::to_string(range.u64First) + "-" + std::to_string(range.u64First + range.u64Count - 1);
}

void AddFindCounts(const SESSION_SUMMARY& summary, std::vector<std::string>& vecLines) {
    std::string strFound = std::to_string(summary.nFound) + (summary.nFound == 1 ? " file" : " files") + " found";
    std::string strParts;
    for (int nSource = 0; nSource <= FILE_SOURCE_CARVING; ++nSource)
        if (summary.anBySource[nSource] != 0)
            strParts += std::string(strParts.empty() ? "" : ", ") + std::to_string(summary.anBySource[nSource]) + " " +
                        SourceName(nSource);
    if (!strParts.empty()) strFound += " (" + strParts + ")";
    vecLines.push_back(strFound);
    std::string strCategories;
    for (const auto& entry : summary.mapByCategory)
        strCategories += std::string(strCategories.empty() ? "" : ", ") + entry.first + " " + std::to_string(entry.second);
    if (!strCategories.empty()) vecLines.push_back("by category: " + strCategories);
}

}  // namespace

std::string FormatScanSummaryJson(const SESSION_SUMMARY& summary) {
    std::string strBySource, strByCategory, strRanges;
    for (int nSource = 0; nSource <= FILE_SOURCE_CARVING; ++nSource) {
        if (summary.anBySource[nSource] == 0) continue;
        strBySource += std::string(strBySource.empty() ? "" : ",") + "\"" + SourceName(nSource) +
                       "\":" + std::to_string(summary.anBySource[nSource]);
    }
    for (const auto& entry : summary.mapByCategory)
        strByCategory += std::string(strByCategory.empty() ? "" : ",") + JsonString(entry.first) + ":" +
                         std::to_string(entry.second);
    for (const SECTOR_RANGE& range : summary.vecUnreadable)
        strRanges += std::string(strRanges.empty() ? "" : ",") + "{\"first\":" + std::to_string(range.u64First) +
                     ",\"count\":" + std::to_string(range.u64Count) + "}";
    char szSeconds[32];
    snprintf(szSeconds, sizeof(szSeconds), "%.1f", summary.dScanSeconds);
    return std::string("{\"summary\":{\"status\":\"") + (summary.bScanStopped ? "stopped" : "done") +
           "\",\"files\":" + std::to_string(summary.nFound) + ",\"by_source\":{" + strBySource +
           "},\"by_category\":{" + strByCategory + "},\"damaged_hidden\":" + std::to_string(summary.u64HiddenDamaged) +
           ",\"unreadable_sectors\":" + std::to_string(summary.u64UnreadableSectors) + ",\"unreadable_ranges\":[" +
           strRanges + "],\"saved_scan\":\"" + ScanOriginName(summary.eScanOrigin) +
           "\",\"sectors_swept\":" + std::to_string(summary.u64SectorsSwept) + ",\"elapsed_seconds\":" + szSeconds +
           "}}";
}

std::vector<std::string> DescribeScanSummary(const SESSION_SUMMARY& summary, bool bWithFinds) {
    std::vector<std::string> vecLines;
    if (bWithFinds) AddFindCounts(summary, vecLines);
    if (summary.u64HiddenDamaged != 0)
        vecLines.push_back(std::to_string(summary.u64HiddenDamaged) +
                           " found picture(s) judged damaged (their data does not look like their type) and left out");
    if (summary.u64UnreadableSectors != 0) {
        std::string strRanges;
        const size_t nShown = std::min<size_t>(summary.vecUnreadable.size(), 10);
        for (size_t i = 0; i < nShown; ++i) strRanges += std::string(i == 0 ? "" : ", ") + RangeText(summary.vecUnreadable[i]);
        if (nShown < summary.vecUnreadable.size()) strRanges += ", ...";
        vecLines.push_back(std::to_string(summary.u64UnreadableSectors) + " sector(s) could not be read: " + strRanges);
    }
    char szSeconds[32];
    snprintf(szSeconds, sizeof(szSeconds), "%.1f", summary.dScanSeconds);
    std::string strScan = summary.bScanStopped ? "scan stopped after " : "scan done in ";
    strScan += std::string(szSeconds) + " s";
    if (summary.eScanOrigin == SESSION_SCAN_REUSED) strScan += ", reusing the saved scan (nothing read again)";
    if (summary.eScanOrigin == SESSION_SCAN_RESUMED) strScan += ", continuing the saved scan";
    if (summary.bScanStopped) strScan += "; the same command continues it";
    vecLines.push_back(strScan);
    return vecLines;
}
