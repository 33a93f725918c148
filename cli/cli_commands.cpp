#include "cli/cli_commands.h"

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/cli_progress.h"
#include "device/partition_manager.h"
#include "session/recovery_session.h"
#include "util/debug_log.h"
#include "util/format.h"
#include "util/text.h"

namespace {

constexpr unsigned long long SECTOR_BYTES = 512;

// The session a Ctrl-C stops; set while a scan command runs.
std::atomic<CRecoverySession*> g_pSession{nullptr};

// What the session reports, printed: a progress line on a terminal, failures always, and each
// recovered file with --verbose.
class CCliListener : public ISessionListener {
public:
    explicit CCliListener(const CLI_OPTIONS& options) : m_progress(!options.bQuiet), m_bVerbose(options.bVerbose) {}
    void OnScanProgress(const SESSION_SCAN_PROGRESS& p) override {
        m_progress.ShowScan(p.nPercent, p.nSecondsLeft, p.u64SectorsDone, p.u64SectorsTotal, p.u64FilesFound);
    }
    void OnRecoveryProgress(const SESSION_RECOVERY_PROGRESS& p) override {
        m_progress.ShowRecovery(p.nFile, p.nFiles, p.u64BytesDone, p.u64BytesTotal, p.nSecondsLeft);
    }
    void OnFileDone(const SESSION_FILE_RESULT& result) override {
        if (result.nResult != 0) {
            m_progress.Finish();
            fprintf(stderr, "korvalo: could not recover %s: %s\n", result.strPath.c_str(), result.strReason.c_str());
        } else if (m_bVerbose) {
            m_progress.Finish();
            fprintf(stderr, "recovered %s\n", result.strPath.c_str());
        }
    }
    void OnNotice(const std::string& strText) override {
        m_progress.Finish();
        fprintf(stderr, "korvalo: %s\n", strText.c_str());
    }
    void Finish() { m_progress.Finish(); }

private:
    CProgressLine m_progress;
    bool m_bVerbose;
};

class CSessionStopScope {
public:
    explicit CSessionStopScope(CRecoverySession& session) { g_pSession.store(&session); }
    ~CSessionStopScope() { g_pSession.store(nullptr); }
    CSessionStopScope(const CSessionStopScope&) = delete;
    CSessionStopScope& operator=(const CSessionStopScope&) = delete;
};

void OnDebugLine(void*, const char* szLine) {
    fputs(szLine, stderr);
}

SESSION_AREA AreaOf(const CLI_OPTIONS& options) {
    SESSION_AREA area;
    if (options.bHaveStart) {
        area.eKind = SESSION_AREA::SECTOR_RANGE;
        area.u64Start = options.u64Start;
        area.u64Sectors = options.u64Sectors;
    } else if (options.nPartition != 0) {
        area.eKind = SESSION_AREA::PARTITION;
        area.nPartition = options.nPartition;
    }
    return area;
}

// Pictures whose data does not look like a picture are left out of the results; say how many.
void PrintHiddenDamaged(unsigned long long u64Hidden) {
    if (u64Hidden != 0)
        fprintf(stderr, "%llu found picture(s) judged damaged (their data does not look like their type) and left out\n",
                u64Hidden);
}

int Failed(SESSION_RESULT eResult, const CRecoverySession& session) {
    fprintf(stderr, "korvalo: %s\n", session.LastError().c_str());
    return eResult;
}

}  // namespace

void RequestStop() {
    CRecoverySession* pSession = g_pSession.load();
    if (pSession != nullptr) pSession->RequestStop();
}

int RunDisksCommand(const CLI_OPTIONS& options) {
    const std::vector<SESSION_DISK> vecDisks = ListSessionDisks(options.vecPaths);
    for (size_t nDisk = 0; nDisk < vecDisks.size(); ++nDisk) {
        const SESSION_DISK& disk = vecDisks[nDisk];
        if (disk.nOpenError != 0) {
            printf("disk %zu  %s  (cannot open: %s)\n", nDisk, disk.strPath.c_str(), strerror(disk.nOpenError));
            continue;
        }
        printf("disk %zu  %s  %llu sectors  %s\n", nDisk, disk.strPath.c_str(), disk.u64Bytes / SECTOR_BYTES,
               GetFileSizeString(static_cast<long long>(disk.u64Bytes)).c_str());
        for (size_t i = 0; i < disk.vecPartitions.size(); ++i) {
            const _PARTITION_ITEM_& item = disk.vecPartitions[i];
            const unsigned long long u64Sectors = item.u64EndSector + 1 - item.u64StartSector;
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
    CCliListener listener(options);
    CRecoverySession session(&listener);
    CSessionStopScope stopScope(session);
    const bool bRecover = options.eCommand == CLI_COMMAND_RECOVER;

    SESSION_RESULT eResult = session.OpenSource(options.vecPaths[0]);
    if (eResult == SESSION_OK) eResult = session.ChooseArea(AreaOf(options));
    if (eResult == SESSION_OK && bRecover) eResult = session.SetDestination(options.strTargetDir, options.bForce);
    if (eResult == SESSION_OK) eResult = session.PrepareWorkFolder(options.bForce);
    if (eResult != SESSION_OK) return Failed(eResult, session);

    if (options.bVerbose) SetDebugSink(&OnDebugLine, nullptr);
    const SESSION_RESULT eScan = session.Scan();
    listener.Finish();
    if (eScan != SESSION_OK && eScan != SESSION_STOPPED) return Failed(eScan, session);

    std::vector<__SEARCH_FILE_INFO__> vecHits;
    session.Search(options.nCategoryMask, vecHits);
    if (!bRecover) {
        for (const __SEARCH_FILE_INFO__& hit : vecHits)
            printf("%s\n", FormatFoundFile(hit, session.FolderOf(hit), options.bJson).c_str());
        if (!options.bJson) fprintf(stderr, "%zu files found\n", vecHits.size());
        PrintHiddenDamaged(session.Summary().u64HiddenDamaged);
        return eScan == SESSION_STOPPED ? CLI_EXIT_STOPPED : CLI_EXIT_OK;
    }
    const SESSION_RESULT eRecover = session.Recover(vecHits, options.bTree);
    listener.Finish();
    const SESSION_SUMMARY& summary = session.Summary();
    printf("%zu files recovered, %zu failed, %s written to %s\n", summary.nRecovered, summary.nFailed,
           GetFileSizeString(static_cast<long long>(summary.u64BytesWritten)).c_str(), options.strTargetDir.c_str());
    PrintHiddenDamaged(summary.u64HiddenDamaged);
    if (eScan == SESSION_STOPPED) return CLI_EXIT_STOPPED;
    return eRecover == SESSION_BAD_REQUEST ? Failed(eRecover, session) : eRecover;
}
