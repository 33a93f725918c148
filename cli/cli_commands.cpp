#include "cli/cli_commands.h"

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/cli_progress.h"
#include "carving/file_category.h"
#include "device/partition_manager.h"
#include "engine/result_codes.h"
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
        if (result.bPartial || result.nResult == KR_STOPPED_BY_USER) {
            m_progress.Finish();
            fprintf(stderr, "korvalo: %s: %s\n", result.strPath.c_str(), result.strReason.c_str());
        } else if (result.nResult != 0) {
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

int Failed(SESSION_RESULT eResult, const CRecoverySession& session) {
    fprintf(stderr, "korvalo: %s\n", session.LastError().c_str());
    return eResult;
}

SESSION_SAVED_SCAN_USE SavedScanUseOf(const CLI_OPTIONS& options) {
    if (!options.vecIds.empty()) return SESSION_SAVED_ONLY;
    return options.bRescan ? SESSION_RESCAN : SESSION_USE_SAVED;
}

void PrintRecoverySummary(const SESSION_SUMMARY& summary, const std::string& strTarget) {
    printf("%zu files recovered, %zu partial, %zu failed, %s written to %s\n", summary.nRecovered, summary.nPartial,
           summary.nFailed, GetFileSizeString(static_cast<long long>(summary.u64BytesWritten)).c_str(),
           strTarget.c_str());
    const std::string strLeft = std::to_string(summary.nNotAttempted) + " chosen file(s) not recovered";
    if (summary.bDestinationFull)
        fprintf(stderr, "korvalo: the destination is full: recovery stopped, %s; what was written stays\n",
                strLeft.c_str());
    if (summary.bRecoveryStopped) fprintf(stderr, "korvalo: recovery stopped, %s\n", strLeft.c_str());
    if (summary.nPartial != 0)
        fprintf(stderr, "korvalo: %zu file(s) are partial: the source could not be read to their end\n",
                summary.nPartial);
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
            const VOLUME_DESCRIPTION& volume = disk.vecVolumes[i];
            const std::string strLabel = volume.strLabel.empty() ? "" : "  \"" + volume.strLabel + "\"";
            printf("  %zu  disk %d  start %llu  end %llu  %s  %s  %s%s\n", i + 1, item.nDiskNumber,
                   static_cast<unsigned long long>(item.u64StartSector),
                   static_cast<unsigned long long>(item.u64EndSector),
                   GetFileSizeString(static_cast<long long>(u64Sectors * SECTOR_BYTES)).c_str(),
                   Unicode2Path(wstrName.c_str()).c_str(),
                   volume.strFileSystem.empty() ? "-" : volume.strFileSystem.c_str(), strLabel.c_str());
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
    const SESSION_RESULT eScan = session.Scan(SavedScanUseOf(options));
    listener.Finish();
    if (eScan != SESSION_OK && eScan != SESSION_STOPPED) return Failed(eScan, session);

    // Ids count over every find, whatever the listing shows, so they mean the same to --ids. The
    // finds are held as a compact index and each record is read back as it is needed, so a scan
    // with millions of finds is listed in little memory.
    CFoundFileIndex index;
    std::vector<unsigned long long> vecIds;
    SESSION_RESULT eFinds = session.IndexFinds(index);
    if (eFinds == SESSION_OK)
        eFinds = session.ListFinds(options.vecIds.empty() ? options.nCategoryMask : FILE_CATEGORY_ALL, index, vecIds);
    if (eFinds != SESSION_OK) return Failed(eFinds, session);
    if (!options.vecIds.empty()) {
        for (unsigned long long u64Id : options.vecIds) {
            if (u64Id > index.Count()) {
                fprintf(stderr, "korvalo: there is no find %llu: the saved scan has %zu\n", u64Id, index.Count());
                return CLI_EXIT_USAGE;
            }
        }
        vecIds = options.vecIds;
    }
    __SEARCH_FILE_INFO__ hit;
    if (!bRecover) {
        for (unsigned long long u64Id : vecIds) {
            const SESSION_RESULT eRead = session.ReadFind(index, u64Id, hit);
            if (eRead != SESSION_OK) return Failed(eRead, session);
            printf("%s\n", FormatFoundFile(hit, u64Id, session.FolderOf(hit), options.bJson).c_str());
        }
        if (options.bJson) printf("%s\n", FormatScanSummaryJson(session.Summary()).c_str());
        for (const std::string& strLine : DescribeScanSummary(session.Summary(), true))
            fprintf(stderr, "%s\n", strLine.c_str());
        return session.Outcome();
    }
    std::vector<__SEARCH_FILE_INFO__> vecHits;
    vecHits.reserve(vecIds.size());
    for (unsigned long long u64Id : vecIds) {
        const SESSION_RESULT eRead = session.ReadFind(index, u64Id, hit);
        if (eRead != SESSION_OK) return Failed(eRead, session);
        vecHits.push_back(hit);
    }
    const SESSION_RESULT eRecover = session.Recover(vecHits, options.bTree);
    listener.Finish();
    if (eRecover == SESSION_BAD_REQUEST) return Failed(eRecover, session);
    const SESSION_SUMMARY& summary = session.Summary();
    PrintRecoverySummary(summary, options.strTargetDir);
    // What the scan met is said too: a stopped scan, unreadable sectors, pictures left out.
    for (const std::string& strLine : DescribeScanSummary(summary, false)) fprintf(stderr, "%s\n", strLine.c_str());
    return session.Outcome();
}

int RunForgetCommand(const CLI_OPTIONS& options) {
    size_t nForgotten = 0;
    std::string strError;
    const SESSION_RESULT eResult = ForgetSavedScans(options.vecPaths[0], nForgotten, strError);
    if (eResult != SESSION_OK) {
        fprintf(stderr, "korvalo: %s\n", strError.c_str());
        return eResult;
    }
    printf("%zu saved scan(s) of %s deleted\n", nForgotten, options.vecPaths[0].c_str());
    return CLI_EXIT_OK;
}
