#include "cli/cli_output.h"

#include <cstdio>
#include <cstring>

#include "carving/file_category.h"
#include "session/recovered_names.h"
#include "util/format.h"
#include "util/text.h"

const char* SourceName(int nSourceType) {
    switch (nSourceType) {
        case FILE_SOURCE_FAST_NTFS: return "ntfs-live";
        case FILE_SOURCE_FAST_FAT: return "fat-live";
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

std::string FormatFoundFile(const _FILE_NODE_& node, const std::string& strFolderPath, bool bJson) {
    std::string strName = NodeNameUtf8(node);
    char szNameAnsi[sizeof(node.szFileName) + 1];
    memcpy(szNameAnsi, node.szFileName, sizeof(node.szFileName));
    szNameAnsi[sizeof(node.szFileName)] = '\0';
    const char* szCategory = GetDirTypeByFileName(szNameAnsi);
    if (bJson) {
        return "{\"name\":" + JsonString(strName) + ",\"path\":" + JsonString(strFolderPath) +
               ",\"size\":" + std::to_string(node.u64FileSize) + ",\"source\":\"" + SourceName(node.nSourceType) +
               "\",\"healthy\":" + (node.bIsHealth ? "true" : "false") +
               ",\"record_sector\":" + std::to_string(node.u64RecordSector) + ",\"category\":\"" + szCategory + "\"}";
    }
    char szHead[96];
    snprintf(szHead, sizeof(szHead), "%-9s %12llu  %-7s  ", SourceName(node.nSourceType),
             static_cast<unsigned long long>(node.u64FileSize), node.bIsHealth ? "ok" : "damaged");
    return szHead + strFolderPath + strName;
}
