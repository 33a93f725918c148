#include "cli/cli_commands.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "carving/file_category.h"
#include "cli/cli_output.h"
#include "cli/cli_progress.h"
#include "cli/same_device.h"
#include "device/partition_manager.h"
#include "engine/log_file_manager.h"
#include "session/professional_recovery.h"
#include "session/recovery_factory.h"
#include "util/app_folder.h"
#include "util/debug_log.h"
#include "util/disk_map.h"
#include "util/format.h"
#include "util/path.h"
#include "util/text.h"

namespace {

volatile sig_atomic_t g_bStopRequested = 0;
constexpr int SECTOR_BYTES = 512;
// Longest destination path handed to an engine, in characters.
constexpr int TARGET_PATH_CAPACITY = 4096;

struct AREA {
    unsigned long long u64Start = 0;
    unsigned long long u64Count = 0;
};

// Opens the path as the scan will, to say clearly why it cannot be read. Returns 0 or errno.
int ProbeSource(const std::string& strPath, unsigned long long& u64Bytes) {
    int hFile = open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (hFile < 0) return errno;
    off_t llEnd = lseek(hFile, 0, SEEK_END);
    int nErr = llEnd < 0 ? errno : 0;
    close(hFile);
    u64Bytes = llEnd < 0 ? 0 : static_cast<unsigned long long>(llEnd);
    return nErr;
}

void ReportOpenFailure(const std::string& strPath, int nErr) {
    fprintf(stderr, "korvalo: cannot open %s: %s", strPath.c_str(), strerror(nErr));
    if (nErr == EACCES || nErr == EPERM) fprintf(stderr, " (reading a device needs root rights)");
    fprintf(stderr, "\n");
}

bool ResolveArea(const CLI_OPTIONS& options, unsigned long long u64DiskSectors, AREA& area) {
    if (options.bHaveStart) {
        area.u64Start = options.u64Start;
        area.u64Count = options.u64Sectors;
    } else if (options.nPartition != 0) {
        std::map<int, std::vector<_PARTITION_ITEM_>> mapItems;
        CPartitionManager manager;
        manager.GetPartitionItems(mapItems);
        const std::vector<_PARTITION_ITEM_>& vecItems = mapItems[0];
        if (static_cast<size_t>(options.nPartition) > vecItems.size()) {
            fprintf(stderr, "korvalo: there is no partition %d (the disk has %zu)\n", options.nPartition,
                    vecItems.size());
            return false;
        }
        const _PARTITION_ITEM_& item = vecItems[static_cast<size_t>(options.nPartition) - 1];
        area.u64Start = item.u64StartSector;
        area.u64Count = item.u64EndSector + 1 - item.u64StartSector;
    } else {
        area.u64Start = 0;
        area.u64Count = u64DiskSectors;
    }
    if (area.u64Count == 0 || area.u64Start > u64DiskSectors || area.u64Count > u64DiskSectors - area.u64Start) {
        fprintf(stderr, "korvalo: sectors %llu..%llu lie outside the disk (%llu sectors)\n", area.u64Start,
                area.u64Start + area.u64Count, u64DiskSectors);
        return false;
    }
    return true;
}

// The scan keeps its result stores below the application folder. Root's default may not be
// writable for a user reading an image file, and it may lie on the very device being read:
// then the stores go somewhere else (below the recovery folder, which is checked to be on
// another disk, or to a temporary folder for a plain scan).
bool PrepareAppFolder(const CLI_OPTIONS& options) {
    const std::string& strSource = options.vecPaths[0];
    std::vector<std::string> vecCandidates;
    if (getenv("KORVALO_HOME") != nullptr) {
        vecCandidates.push_back(getenv("KORVALO_HOME"));
    } else {
        vecCandidates.push_back(KORVALO_DEFAULT_APP_FOLDER);
        if (options.eCommand == CLI_COMMAND_RECOVER) vecCandidates.push_back(options.strTargetDir + "/.korvalo-work");
        const char* szCache = getenv("XDG_CACHE_HOME");
        const char* szHome = getenv("HOME");
        if (szCache != nullptr && szCache[0] == '/') vecCandidates.push_back(std::string(szCache) + "/korvalo");
        if (szHome != nullptr && szHome[0] == '/') vecCandidates.push_back(std::string(szHome) + "/.cache/korvalo");
        vecCandidates.push_back("/tmp/korvalo-" + std::to_string(getuid()));
    }
    for (const std::string& strFolder : vecCandidates) {
        if (!options.bForce && IsTargetOnSourceDevice(strSource, strFolder)) continue;
        setenv("KORVALO_HOME", strFolder.c_str(), 1);
        if (rsb_createAppFolders() == 0) return true;
    }
    return false;
}

struct SCAN_CONTEXT {
    CProgressLine* pProgress;
};

int OnScanReport(void* pParam, int nProgress, int nPercent, int nRemainSecond, unsigned long long u64Done,
                 unsigned long long u64Total, unsigned long long u64Found, wchar_t*) {
    auto* pContext = static_cast<SCAN_CONTEXT*>(pParam);
    pContext->pProgress->Update(nProgress, nPercent, nRemainSecond, u64Done, u64Total, u64Found);
    return g_bStopRequested ? 1 : 0;
}

void OnDebugLine(void*, const char* szLine) {
    fputs(szLine, stderr);
}

// One path component from a name found on the disk: never empty, never "." or "..", no "/".
std::string SafeComponent(std::string strName) {
    for (char& c : strName)
        if (c == '/' || c == '\0') c = '_';
    if (strName.empty() || strName == "." || strName == "..") strName = "_" + strName;
    return strName;
}

// A folder path "A/B/" as found by the scan, made safe to append under the target folder.
std::string SafeRelativeFolder(const std::string& strFolder) {
    std::string strOut;
    size_t nPos = 0;
    while (nPos < strFolder.size()) {
        size_t nSlash = strFolder.find_first_of("/\\", nPos);
        std::string strPart = strFolder.substr(nPos, nSlash == std::string::npos ? std::string::npos : nSlash - nPos);
        if (!strPart.empty()) strOut += SafeComponent(strPart) + "/";
        if (nSlash == std::string::npos) break;
        nPos = nSlash + 1;
    }
    return strOut;
}

std::string FolderPathOf(CProfessionalRecovery& engine, __SEARCH_FILE_INFO__& hit) {
    std::vector<wchar_t> vecPath(TARGET_PATH_CAPACITY, L'\0');
    engine.GetFileNodeParentDirPath(&hit, vecPath.data(), TARGET_PATH_CAPACITY - 1);
    vecPath.back() = L'\0';
    return Unicode2Path(vecPath.data());
}

struct RECOVERY_TOTALS {
    unsigned long long u64Recovered = 0;
    unsigned long long u64Failed = 0;
    unsigned long long u64Bytes = 0;
};

int OnRecoveryReport(void*, int, int, int, wchar_t*) {
    // Ctrl-C waits for the file in progress: the loop checks between files.
    return 0;
}

void RecoverAll(CProfessionalRecovery& engine, std::vector<__SEARCH_FILE_INFO__>& vecHits, const CLI_OPTIONS& options,
                RECOVERY_TOTALS& totals) {
    std::string strRoot = options.strTargetDir;
    while (strRoot.size() > 1 && strRoot.back() == '/') strRoot.pop_back();
    std::wstring wstrRoot = Path2Unicode(strRoot.c_str());
    int nBaseLevel = 0;
    GetPathDirIndex(&wstrRoot[0], nBaseLevel);
    for (__SEARCH_FILE_INFO__& hit : vecHits) {
        if (g_bStopRequested) break;
        std::string strFolder = options.bTree ? SafeRelativeFolder(FolderPathOf(engine, hit))
                                              : std::string(GetDirTypeByFileName(hit.szFileName)) + "/";
        std::string strDir = strRoot + "/" + strFolder;
        std::string strPath = strDir + SafeComponent(NodeNameUtf8(hit));
        std::vector<wchar_t> vecTarget(TARGET_PATH_CAPACITY, L'\0');
        int nRet = rsb_makeDirs(strDir, 0755);
        if (nRet == 0) nRet = GetRealFileName(&strPath[0], vecTarget.data(), TARGET_PATH_CAPACITY);
        if (nRet == 0) nRet = engine.SaveFileData(&hit, vecTarget.data(), nBaseLevel);
        if (nRet == 0) {
            ++totals.u64Recovered;
            totals.u64Bytes += hit.u64FileSize;
            if (options.bVerbose) fprintf(stderr, "recovered %s\n", Unicode2Path(vecTarget.data()).c_str());
        } else {
            ++totals.u64Failed;
            fprintf(stderr, "korvalo: could not recover %s: error %d\n", strPath.c_str(), nRet);
        }
    }
}

// Pictures whose data does not look like a picture are left out of the results; say how many.
void PrintHiddenDamaged(unsigned long long u64Hidden) {
    if (u64Hidden != 0)
        fprintf(stderr, "%llu found picture(s) judged damaged (their data does not look like their type) and left out\n",
                u64Hidden);
}

// The CLI never continues a saved scan: drop this scan's stores once the job is done.
void ForgetScanFolder() {
    CLogFileManager& logs = CLogFileManager::GetInstance();
    char szFolder[LOG_FILE_PATH_SIZE] = {0};
    if (logs.GetLogFileDirPath(szFolder, sizeof(szFolder)) == 0) {
        logs.DeleteLogFileDir(szFolder);
        logs.SaveLogConfigFile();
    }
}

}  // namespace

void RequestStop() {
    g_bStopRequested = 1;
}

int RunDisksCommand(const CLI_OPTIONS& options) {
    if (!options.vecPaths.empty()) rsb_setDiskList(options.vecPaths);
    std::vector<std::string> vecDisks = rsb_getDiskList();
    std::map<int, std::vector<_PARTITION_ITEM_>> mapItems;
    CPartitionManager manager;
    manager.GetPartitionItems(mapItems);
    for (size_t nDisk = 0; nDisk < vecDisks.size() && nDisk < static_cast<size_t>(KORVALO_MAX_DISKS); ++nDisk) {
        unsigned long long u64Bytes = 0;
        int nErr = ProbeSource(vecDisks[nDisk], u64Bytes);
        if (nErr != 0) {
            printf("disk %zu  %s  (cannot open: %s)\n", nDisk, vecDisks[nDisk].c_str(), strerror(nErr));
            continue;
        }
        printf("disk %zu  %s  %llu sectors  %s\n", nDisk, vecDisks[nDisk].c_str(), u64Bytes / SECTOR_BYTES,
               GetFileSizeString(static_cast<long long>(u64Bytes)).c_str());
        const std::vector<_PARTITION_ITEM_>& vecItems = mapItems[static_cast<int>(nDisk)];
        for (size_t i = 0; i < vecItems.size(); ++i) {
            const _PARTITION_ITEM_& item = vecItems[i];
            unsigned long long u64Sectors = item.u64EndSector + 1 - item.u64StartSector;
            std::wstring wstrName = GetPartitionName(item);
            printf("  %zu  disk %d  start %llu  end %llu  %s  %s\n", i + 1, item.nDiskNumber,
                   static_cast<unsigned long long>(item.u64StartSector),
                   static_cast<unsigned long long>(item.u64EndSector),
                   GetFileSizeString(static_cast<long long>(u64Sectors * SECTOR_BYTES)).c_str(),
                   Unicode2Path(wstrName.c_str()).c_str());
        }
    }
    return CLI_EXIT_OK;
}

int RunScanCommand(const CLI_OPTIONS& options) {
    const std::string& strSource = options.vecPaths[0];
    unsigned long long u64Bytes = 0;
    int nErr = ProbeSource(strSource, u64Bytes);
    if (nErr != 0) {
        ReportOpenFailure(strSource, nErr);
        return CLI_EXIT_CANNOT_OPEN;
    }
    if (options.eCommand == CLI_COMMAND_RECOVER && !options.bForce &&
        IsTargetOnSourceDevice(strSource, options.strTargetDir)) {
        fprintf(stderr,
                "korvalo: %s lies on %s, the device being read; writing there could overwrite what is being "
                "recovered. Choose a folder on another disk (or --force).\n",
                options.strTargetDir.c_str(), strSource.c_str());
        return CLI_EXIT_USAGE;
    }
    if (!PrepareAppFolder(options)) {
        fprintf(stderr, "korvalo: found no folder for the scan's working files off the device being read "
                        "(set KORVALO_HOME)\n");
        return CLI_EXIT_CANNOT_OPEN;
    }
    if (options.bVerbose) SetDebugSink(&OnDebugLine, nullptr);

    rsb_setDiskList({strSource});
    AREA area;
    if (!ResolveArea(options, u64Bytes / SECTOR_BYTES, area)) return CLI_EXIT_USAGE;

    std::unique_ptr<IFileRecoveryParse> pBase(CFileRecoveryFactory::GetInstance().CreateFileRecoveryInstance(
        0, static_cast<long long>(area.u64Start), static_cast<long long>(area.u64Count), L'C',
        RECOVERY_TYPE_PROFESSIONAL));
    auto* pEngine = dynamic_cast<CProfessionalRecovery*>(pBase.get());
    if (pEngine == nullptr) {
        fprintf(stderr, "korvalo: cannot read the start of %s\n", strSource.c_str());
        return CLI_EXIT_CANNOT_OPEN;
    }
    pEngine->SetNotLoadLogFile();

    CProgressLine progress(!options.bQuiet);
    SCAN_CONTEXT context{&progress};
    pEngine->InitCallBack(&OnScanReport, &OnRecoveryReport, &context, 100);
    int nScan = pEngine->ScanDevice(nullptr);
    progress.Finish();
    bool bStopped = g_bStopRequested != 0;
    if (nScan != 0 && !bStopped) {
        fprintf(stderr, "korvalo: the scan failed: %s\n", strerror(nScan > 0 ? nScan : EIO));
        ForgetScanFolder();
        return CLI_EXIT_CANNOT_OPEN;
    }

    std::vector<__SEARCH_FILE_INFO__> vecHits;
    std::wstring wstrKey = BuildSearchKey(options.nCategoryMask);
    pEngine->SearchFileNode(&wstrKey[0], vecHits);

    const unsigned long long u64Hidden = pEngine->GetHiddenDamagedCount();
    int nExit = bStopped ? CLI_EXIT_STOPPED : CLI_EXIT_OK;
    if (options.eCommand == CLI_COMMAND_SCAN) {
        for (__SEARCH_FILE_INFO__& hit : vecHits)
            printf("%s\n", FormatFoundFile(hit, FolderPathOf(*pEngine, hit), options.bJson).c_str());
        if (!options.bJson) fprintf(stderr, "%zu files found\n", vecHits.size());
        PrintHiddenDamaged(u64Hidden);
    } else {
        RECOVERY_TOTALS totals;
        RecoverAll(*pEngine, vecHits, options, totals);
        printf("%llu files recovered, %llu failed, %s written to %s\n", totals.u64Recovered, totals.u64Failed,
               GetFileSizeString(static_cast<long long>(totals.u64Bytes)).c_str(), options.strTargetDir.c_str());
        PrintHiddenDamaged(u64Hidden);
        if (g_bStopRequested) nExit = CLI_EXIT_STOPPED;
        else if (totals.u64Failed != 0) nExit = CLI_EXIT_SOME_FAILED;
    }
    pBase.reset();
    ForgetScanFolder();
    return nExit;
}
