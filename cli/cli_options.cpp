#include "cli/cli_options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "carving/file_category.h"

namespace {

bool ParseNumber(const char* szText, unsigned long long& u64Value) {
    if (szText == nullptr || *szText == '\0' || *szText == '-') return false;
    char* pEnd = nullptr;
    errno = 0;
    u64Value = strtoull(szText, &pEnd, 10);
    return errno == 0 && *pEnd == '\0';
}

bool ParseCategories(const std::string& strList, int& nMask, std::string& strError) {
    struct Name {
        const char* szName;
        int nBit;
    };
    static const Name s_names[] = {{"photo", FILE_CATEGORY_PHOTO},       {"music", FILE_CATEGORY_MUSIC},
                                   {"video", FILE_CATEGORY_VIDEO},       {"document", FILE_CATEGORY_DOCUMENT},
                                   {"archive", FILE_CATEGORY_ARCHIVE},   {"other", FILE_CATEGORY_OTHER},
                                   {"all", FILE_CATEGORY_ALL}};
    size_t nPos = 0;
    while (nPos <= strList.size()) {
        size_t nComma = strList.find(',', nPos);
        std::string strItem = strList.substr(nPos, nComma == std::string::npos ? std::string::npos : nComma - nPos);
        bool bKnown = false;
        for (const Name& name : s_names) {
            if (strItem == name.szName) {
                nMask |= name.nBit;
                bKnown = true;
            }
        }
        if (!bKnown) {
            strError = "unknown category '" + strItem + "' (photo, music, video, document, archive, other)";
            return false;
        }
        if (nComma == std::string::npos) break;
        nPos = nComma + 1;
    }
    return true;
}

constexpr unsigned long long MAX_LISTED_IDS = 1000000;

}  // namespace

bool ParseIdList(const std::string& strList, std::vector<unsigned long long>& vecIds, std::string& strError) {
    vecIds.clear();
    size_t nPos = 0;
    while (nPos <= strList.size()) {
        const size_t nComma = std::min(strList.find(',', nPos), strList.size());
        const std::string strItem = strList.substr(nPos, nComma - nPos);
        // "N" or "N-M".
        const size_t nDash = strItem.find('-');
        const std::string strFirst = nDash == std::string::npos ? strItem : strItem.substr(0, nDash);
        const std::string strLast = nDash == std::string::npos ? strItem : strItem.substr(nDash + 1);
        unsigned long long u64First = 0, u64Last = 0;
        if (!ParseNumber(strFirst.c_str(), u64First) || !ParseNumber(strLast.c_str(), u64Last) || u64First == 0 ||
            u64Last < u64First) {
            strError = "--ids takes ids and ranges such as 3,17,20-25 (ids start at 1), not '" + strItem + "'";
            return false;
        }
        if (u64Last - u64First >= MAX_LISTED_IDS - std::min<unsigned long long>(vecIds.size(), MAX_LISTED_IDS)) {
            strError = "--ids names more than a million files";
            return false;
        }
        for (unsigned long long u64Id = u64First; u64Id <= u64Last; ++u64Id) vecIds.push_back(u64Id);
        nPos = nComma + 1;
    }
    std::sort(vecIds.begin(), vecIds.end());
    vecIds.erase(std::unique(vecIds.begin(), vecIds.end()), vecIds.end());
    return true;
}

const char* GetUsageText() {
    return "usage:\n"
           "  korvalo disks [PATH...]\n"
           "      list the disks (or the given devices and image files) and their partitions\n"
           "  korvalo scan PATH [AREA] [--only LIST] [--json] [--rescan]\n"
           "      deep-scan a device or image file and list every file found\n"
           "  korvalo recover PATH --to DIR [AREA] [--only LIST | --ids LIST] [--tree] [--force]\n"
           "      scan, then save every file found into DIR/<category>/ (or its folder tree)\n"
           "  korvalo forget PATH\n"
           "      delete the saved scans of a device or image file\n"
           "\n"
           "  A scan is saved: scan or recover the same area of the unchanged PATH again and the saved\n"
           "  scan is reused (a stopped one continues where it stopped).\n"
           "\n"
           "  AREA: --partition N (as numbered by 'disks') | --start SECTOR --sectors COUNT\n"
           "        (default: the whole disk or image)\n"
           "  --only LIST   comma-separated: photo, music, video, document, archive, other\n"
           "  --json        one JSON object per found file, then one summary object\n"
           "  --ids LIST    recover only these finds of the saved scan: ids as 'scan' lists them,\n"
           "                such as 3,17,20-25\n"
           "  --rescan      ignore a saved scan and scan afresh\n"
           "  --tree        recover under the folder paths the scan found\n"
           "  --force       recover even where DIR (or the work folder) may lie on the device being read\n"
           "  --quiet       no progress line\n"
           "  --verbose     engine debug lines on stderr\n"
           "\n"
           "  Ctrl-C stops and keeps what was found (recover then saves it); a second Ctrl-C quits at once.\n"
           "\n"
           "exit status: 0 done, 1 bad usage, 2 cannot open PATH (or DIR), 3 stopped, 4 some files not\n"
           "recovered, 5 refused (DIR lies or may lie on PATH), 6 no place for the work folder or it\n"
           "cannot be written, 7 done but some sectors could not be read (files may be partial)\n";
}

bool ParseCommandLine(int argc, char** argv, CLI_OPTIONS& options, std::string& strError) {
    options = CLI_OPTIONS();
    if (argc < 2) {
        strError = "no command given";
        return false;
    }
    std::string strCommand = argv[1];
    if (strCommand == "disks")
        options.eCommand = CLI_COMMAND_DISKS;
    else if (strCommand == "scan")
        options.eCommand = CLI_COMMAND_SCAN;
    else if (strCommand == "recover")
        options.eCommand = CLI_COMMAND_RECOVER;
    else if (strCommand == "forget")
        options.eCommand = CLI_COMMAND_FORGET;
    else if (strCommand == "help" || strCommand == "--help" || strCommand == "-h") {
        options.eCommand = CLI_COMMAND_HELP;
        return true;
    } else {
        strError = "unknown command '" + strCommand + "'";
        return false;
    }

    for (int i = 2; i < argc; ++i) {
        std::string strArg = argv[i];
        auto NeedValue = [&](const char* szOption) -> const char* {
            if (i + 1 >= argc) {
                strError = std::string(szOption) + " needs a value";
                return nullptr;
            }
            return argv[++i];
        };
        unsigned long long u64Value = 0;
        if (strArg == "--json") {
            options.bJson = true;
        } else if (strArg == "--quiet" || strArg == "-q") {
            options.bQuiet = true;
        } else if (strArg == "--verbose" || strArg == "-v") {
            options.bVerbose = true;
        } else if (strArg == "--tree") {
            options.bTree = true;
        } else if (strArg == "--force") {
            options.bForce = true;
        } else if (strArg == "--rescan") {
            options.bRescan = true;
        } else if (strArg == "--ids") {
            const char* szValue = NeedValue("--ids");
            if (szValue == nullptr || !ParseIdList(szValue, options.vecIds, strError)) return false;
        } else if (strArg == "--partition") {
            const char* szValue = NeedValue("--partition");
            if (szValue == nullptr) return false;
            if (!ParseNumber(szValue, u64Value) || u64Value == 0 || u64Value > 1000000) {
                strError = "--partition takes a partition number from 'korvalo disks'";
                return false;
            }
            options.nPartition = static_cast<int>(u64Value);
        } else if (strArg == "--start") {
            const char* szValue = NeedValue("--start");
            if (szValue == nullptr) return false;
            if (!ParseNumber(szValue, options.u64Start)) {
                strError = "--start takes a sector number";
                return false;
            }
            options.bHaveStart = true;
        } else if (strArg == "--sectors") {
            const char* szValue = NeedValue("--sectors");
            if (szValue == nullptr) return false;
            if (!ParseNumber(szValue, options.u64Sectors) || options.u64Sectors == 0) {
                strError = "--sectors takes a sector count above 0";
                return false;
            }
            options.bHaveSectors = true;
        } else if (strArg == "--only") {
            const char* szValue = NeedValue("--only");
            if (szValue == nullptr || !ParseCategories(szValue, options.nCategoryMask, strError)) return false;
        } else if (strArg == "--to") {
            const char* szValue = NeedValue("--to");
            if (szValue == nullptr) return false;
            options.strTargetDir = szValue;
        } else if (!strArg.empty() && strArg[0] == '-') {
            strError = "unknown option '" + strArg + "'";
            return false;
        } else {
            options.vecPaths.push_back(strArg);
        }
    }

    if (options.eCommand == CLI_COMMAND_DISKS) return true;
    if (options.vecPaths.size() != 1) {
        strError = "give exactly one device or image file";
        return false;
    }
    if (options.eCommand == CLI_COMMAND_FORGET) {
        if (argc != 3) {
            strError = "forget takes a device or image file and nothing else";
            return false;
        }
        return true;
    }
    if (options.nPartition != 0 && (options.bHaveStart || options.bHaveSectors)) {
        strError = "use either --partition or --start/--sectors, not both";
        return false;
    }
    if (options.bHaveStart != options.bHaveSectors) {
        strError = "--start and --sectors go together";
        return false;
    }
    if (options.eCommand == CLI_COMMAND_RECOVER && options.strTargetDir.empty()) {
        strError = "recover needs --to DIR";
        return false;
    }
    if (options.eCommand == CLI_COMMAND_SCAN &&
        (options.bTree || options.bForce || !options.strTargetDir.empty() || !options.vecIds.empty())) {
        strError = "--to, --tree, --force and --ids belong to recover";
        return false;
    }
    if (!options.vecIds.empty() && (options.bRescan || options.nCategoryMask != 0)) {
        strError = "--ids picks finds of the saved scan; it goes with neither --rescan nor --only";
        return false;
    }
    if (options.nCategoryMask == 0) options.nCategoryMask = FILE_CATEGORY_ALL;
    return true;
}
