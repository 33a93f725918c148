// Loads arbitrary bytes as the scan-log catalogue: as "config", as an orphaned "config.tmp" left
// by an interrupted save, or both at once. Then uses every record the way a scan would (resume
// look-ups, a save that supersedes and bounds the loaded scans, forgetting a source), and checks
// that what is kept survives a save and a reload unchanged and that nothing outside our numbered
// folders is ever touched or resumed.
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/log_file_manager.h"
#include "util/app_folder.h"
#include "util/debug_log.h"

namespace {

constexpr unsigned long long FUZZ_FINGERPRINT = 0x1234;
constexpr size_t MAX_LOOKUPS = 8;

std::string g_strHome;
std::string g_strBase;
std::string g_strSentinel;  // a file beside ScanLog/ that must outlive every input

unsigned long long FixedFingerprint(const char*) {
    return FUZZ_FINGERPRINT;
}

void WriteBytes(const std::string& strPath, const uint8_t* pData, size_t nLen) {
    int fd = open(strPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) abort();
    while (nLen > 0) {
        ssize_t n = write(fd, pData, nLen);
        if (n <= 0) abort();
        pData += n;
        nLen -= static_cast<size_t>(n);
    }
    close(fd);
}

int RemoveEntry(const char* szPath, const struct stat*, int, struct FTW*) {
    return remove(szPath);
}

void RemoveHome() {
    nftw(g_strHome.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

bool Prepare() {
    // Memory-backed when possible: every save syncs the file.
    std::string strHome = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/korvalo-fuzz-XXXXXX";
    if (mkdtemp(&strHome[0]) == nullptr) abort();
    g_strHome = strHome;
    atexit(RemoveHome);
    setenv("KORVALO_HOME", strHome.c_str(), 1);
    if (rsb_createAppFolders() != 0) abort();
    g_strBase = rsb_getScanLogFolder();
    g_strSentinel = strHome + "/sentinel";
    WriteBytes(g_strSentinel, reinterpret_cast<const uint8_t*>("s"), 1);
    SetDebugSink(nullptr, nullptr);
    CLogFileManager::GetInstance().SetFingerprintProbe(&FixedFingerprint);
    return true;
}

bool IsNumberedFolder(const char* szDir) {
    if (strncmp(szDir, g_strBase.c_str(), g_strBase.size()) != 0) return false;
    const char* p = szDir + g_strBase.size();
    if (*p < '0' || *p > '9') return false;
    while (*p >= '0' && *p <= '9') ++p;
    return strcmp(p, "/") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static const bool s_bReady = Prepare();
    (void)s_bReady;
    if (nSize < 1) return 0;
    const std::string strConfig = g_strBase + "config";
    const std::string strConfigTmp = g_strBase + "config.tmp";
    unlink(strConfig.c_str());
    unlink(strConfigTmp.c_str());

    const uint8_t nMode = pData[0] % 3;
    ++pData;
    --nSize;
    if (nMode == 0) {
        WriteBytes(strConfig, pData, nSize);
    } else if (nMode == 1) {
        WriteBytes(strConfigTmp, pData, nSize);
    } else {
        WriteBytes(strConfigTmp, pData, nSize / 2);
        WriteBytes(strConfig, pData + nSize / 2, nSize - nSize / 2);
    }
    // A scan folder for records to point at, holding a store.
    mkdir((g_strBase + "1").c_str(), 0755);
    WriteBytes(g_strBase + "1/Fast_1", pData, 0);

    CLogFileManager& manager = CLogFileManager::GetInstance();
    manager.Init();

    const std::vector<_LOG_FILE_INFO_> vecLoaded = manager.GetLogFileInfos();
    for (size_t i = 0; i < vecLoaded.size() && i < MAX_LOOKUPS; ++i) {
        const _LOG_FILE_INFO_& info = vecLoaded[i];
        _LOG_FILE_INFO_ found;
        int nFound = manager.LoadRecoveryLogInfo("/dev/fuzz", info.nDiskNo, info.u64StartSector,
                                                 info.u64SectorCount, &found);
        char szDir[LOG_FILE_PATH_SIZE];
        if (manager.GetLogFileDirPath(szDir) == 0 && nFound == 1 && !IsNumberedFolder(szDir)) abort();
        if (nFound == 1) {
            char szName[LOG_FILE_PATH_SIZE] = "";
            manager.GetLogFileNameByFileType(szDir, "Fast_", szName);
        }
    }
    manager.SaveLogFileInfo("/dev/fuzz", 0, 0, 8, 0, 8, 8, 8, 1, (g_strBase + "1/").c_str(), "");
    size_t nForgotten = 0;
    manager.ForgetSource(nSize % 2 == 0 ? "/dev/fuzz" : "/dev/other", nForgotten);
    manager.AddDirIndex();

    // Whatever is in memory now must come back identical after a save and a reload.
    const std::vector<_LOG_FILE_INFO_> vecBefore = manager.GetLogFileInfos();
    const unsigned long long u64Counter = manager.GetDirIndex();
    if (manager.SaveLogConfigFile() != 0) abort();
    if (manager.Init() != 0) abort();
    const std::vector<_LOG_FILE_INFO_>& vecAfter = manager.GetLogFileInfos();
    if (manager.GetDirIndex() != u64Counter || vecAfter.size() != vecBefore.size()) abort();
    for (size_t i = 0; i < vecAfter.size(); ++i)
        if (memcmp(&vecAfter[i], &vecBefore[i], sizeof(_LOG_FILE_INFO_)) != 0) abort();

    struct stat st;
    if (lstat(g_strSentinel.c_str(), &st) != 0 || lstat(g_strBase.c_str(), &st) != 0) abort();
    return 0;
}
