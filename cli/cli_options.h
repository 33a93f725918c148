#pragma once
// The command line of korvalo, parsed.
#include <string>
#include <vector>

enum CLI_COMMAND {
    CLI_COMMAND_NONE,
    CLI_COMMAND_DISKS,
    CLI_COMMAND_SCAN,
    CLI_COMMAND_RECOVER,
    CLI_COMMAND_FORGET,
    CLI_COMMAND_HELP
};

struct CLI_OPTIONS {
    CLI_COMMAND eCommand = CLI_COMMAND_NONE;
    std::vector<std::string> vecPaths;  // disks: any number; scan/recover/forget: exactly one
    int nPartition = 0;                 // 1-based as listed by "disks"; 0 = not given
    bool bHaveStart = false;
    unsigned long long u64Start = 0;
    bool bHaveSectors = false;
    unsigned long long u64Sectors = 0;
    int nCategoryMask = 0;  // FILE_CATEGORY_* bits; 0 = all
    bool bJson = false;
    bool bQuiet = false;
    bool bVerbose = false;
    std::string strTargetDir;  // recover --to
    bool bTree = false;
    bool bForce = false;
    bool bRescan = false;
    std::vector<unsigned long long> vecIds;  // recover --ids: ascending, each once
};

// Parses argv. Returns true on success; otherwise strError says what is wrong.
bool ParseCommandLine(int argc, char** argv, CLI_OPTIONS& options, std::string& strError);

// "3,17,20-25" as ascending ids, each once. False (strError says why) for anything else: ids
// start at 1, a range runs upwards, and a list names at most a million ids.
bool ParseIdList(const std::string& strList, std::vector<unsigned long long>& vecIds, std::string& strError);

// The usage text.
const char* GetUsageText();
