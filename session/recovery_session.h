#pragma once
// One recovery, front-end neutral: the command line and the window program both drive it.
// In order: open the source (a device node or an image file), choose the area (whole disk, a
// partition, or a sector range), name the destination (refused when it lies on the source),
// scan, search by category, recover a chosen set of finds, and read the summary. Progress of
// scan, search and recovery, with time left, goes to a listener; RequestStop may be called from
// any thread (or a signal handler) and ends the running step at its next report.
//
// The session keeps the scan's result stores in a work folder that never lies on the source (the
// usual application folder, or another place it says it chose). In the usual folder the scan is
// kept in the catalogue of saved scans, so a later session on the same area of the unchanged
// source reuses it, or continues it where it stopped; a folder chosen for one run is deleted at
// its end. Every recovered file goes through one safe writer opened on the destination.
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device/partition_records.h"
#include "device/volume_label.h"
#include "device/sector_ranges.h"
#include "engine/file_node.h"
#include "session/found_file_index.h"
#include "session/recovery_result.h"

class CProfessionalRecovery;
class CSafeWriter;

// Which part of the source to scan.
struct SESSION_AREA {
    enum KIND { WHOLE_DISK, PARTITION, SECTOR_RANGE } eKind = WHOLE_DISK;
    int nPartition = 0;                // PARTITION: 1-based, in the order Partitions() lists them
    unsigned long long u64Start = 0;   // SECTOR_RANGE: 512-byte sectors
    unsigned long long u64Sectors = 0;
};

struct SESSION_SCAN_PROGRESS {
    int nPercent;                      // of the whole scan, 0..100
    int nSecondsLeft;                  // -1 until there is an estimate
    unsigned long long u64SectorsDone;
    unsigned long long u64SectorsTotal;
    unsigned long long u64FilesFound;
};

struct SESSION_RECOVERY_PROGRESS {
    size_t nFile;                      // 0-based index of the file being written
    size_t nFiles;
    unsigned long long u64BytesDone;   // of every file chosen, finished ones and this one's part
    unsigned long long u64BytesTotal;
    int nSecondsLeft;                  // -1 until there is an estimate
};

// The outcome of one file.
struct SESSION_FILE_RESULT {
    __SEARCH_FILE_INFO__ hit;
    std::string strPath;               // where it was written (after unique naming), or meant to go
    int nResult = 0;                   // 0, or the engine's result code
    bool bPartial = false;             // written as far as the source could be read
    unsigned long long u64BytesKept = 0;  // what a partial file holds
    std::string strReason;             // the failure in words; empty on success
};

// How Scan treats a saved scan of the same area on the unchanged source.
enum SESSION_SAVED_SCAN_USE {
    SESSION_USE_SAVED,    // reuse it when finished, continue it when stopped; else scan afresh
    SESSION_RESCAN,       // forget it and scan afresh
    SESSION_SAVED_ONLY,   // use it exactly as it stands, sweeping nothing; without one, refuse
};

// Where the last scan's finds came from.
enum SESSION_SCAN_ORIGIN {
    SESSION_SCAN_NEW,       // a fresh sweep
    SESSION_SCAN_RESUMED,   // a saved scan, continued from where it stopped
    SESSION_SCAN_REUSED,    // a saved scan as it stood: nothing was read again
};

struct SESSION_SUMMARY {
    // The scan.
    SESSION_SCAN_ORIGIN eScanOrigin = SESSION_SCAN_NEW;
    unsigned long long u64SectorsSwept = 0;    // by this session's sweep
    double dScanSeconds = 0;
    bool bScanStopped = false;
    std::vector<SECTOR_RANGE> vecUnreadable;   // absolute sectors the sweep could not read
    unsigned long long u64UnreadableSectors = 0;
    // The last search.
    size_t nFound = 0;
    size_t anBySource[FILE_SOURCE_CARVING + 1] = {};   // hits per FILE_SOURCE_*
    std::map<std::string, size_t> mapByCategory;       // hits per category folder name
    unsigned long long u64HiddenDamaged = 0;   // pictures that search left out as damaged
    // The last recovery.
    size_t nRecovered = 0;
    size_t nPartial = 0;                       // kept as far as they could be read
    size_t nFailed = 0;
    size_t nNotAttempted = 0;                  // chosen but not recovered: a stop or a full destination came first
    unsigned long long u64BytesWritten = 0;
    bool bRecoveryStopped = false;
    bool bDestinationFull = false;
};

// What a front end hears; every call comes on the thread that runs the step.
class ISessionListener {
public:
    virtual ~ISessionListener() = default;
    virtual void OnScanProgress(const SESSION_SCAN_PROGRESS&) {}
    virtual void OnSearchProgress(int /*nPercent*/) {}
    virtual void OnRecoveryProgress(const SESSION_RECOVERY_PROGRESS&) {}
    virtual void OnFileDone(const SESSION_FILE_RESULT&) {}
    // Something the user should know that is no failure (where the work folder went instead).
    virtual void OnNotice(const std::string& /*strText*/) {}
};

// A disk as a front end lists it.
struct SESSION_DISK {
    std::string strPath;
    int nOpenError = 0;                // errno when it cannot be opened
    unsigned long long u64Bytes = 0;
    std::vector<_PARTITION_ITEM_> vecPartitions;
    // What each partition holds (empty fields where nothing known was found), in the same order.
    std::vector<VOLUME_DESCRIPTION> vecVolumes;
};

// The given paths, or every disk of the disk map when none is given.
std::vector<SESSION_DISK> ListSessionDisks(const std::vector<std::string>& vecPaths);

// Deletes the saved scans of the source at strSource from the usual work folder. nForgotten
// receives how many. SESSION_NO_WORK_FOLDER (strError says why) when that folder is unknown, in
// use by another session, or cannot be changed.
SESSION_RESULT ForgetSavedScans(const std::string& strSource, size_t& nForgotten, std::string& strError);

class CRecoverySession {
public:
    explicit CRecoverySession(ISessionListener* pListener = nullptr);
    ~CRecoverySession();
    CRecoverySession(const CRecoverySession&) = delete;
    CRecoverySession& operator=(const CRecoverySession&) = delete;

    // The source becomes disk 0 of the disk map. SESSION_CANNOT_OPEN when it cannot be read.
    SESSION_RESULT OpenSource(const std::string& strPath);
    const std::vector<_PARTITION_ITEM_>& Partitions() const { return m_vecPartitions; }
    // SESSION_BAD_REQUEST for a partition that does not exist or a range outside the source.
    SESSION_RESULT ChooseArea(const SESSION_AREA& area);
    unsigned long long AreaStart() const { return m_u64AreaStart; }
    unsigned long long AreaSectors() const { return m_u64AreaSectors; }

    // The folder recovered files go to. SESSION_REFUSED when it lies (or may lie) on the source,
    // unless bForce; SESSION_CANNOT_OPEN when it cannot be made or opened.
    SESSION_RESULT SetDestination(const std::string& strFolder, bool bForce);
    // Picks the work folder for the scan's stores (Scan does it itself when not done before).
    // SESSION_NO_WORK_FOLDER when no place off the source can be had.
    SESSION_RESULT PrepareWorkFolder(bool bForce);

    // SESSION_STOPPED when a stop ended it (what was found so far is kept, and saved to be
    // continued); SESSION_BAD_REQUEST under SESSION_SAVED_ONLY without a saved scan.
    SESSION_RESULT Scan(SESSION_SAVED_SCAN_USE eUse = SESSION_USE_SAVED);
    // The finds of the categories in nCategoryMask (FILE_CATEGORY_* bits), sorted.
    SESSION_RESULT Search(int nCategoryMask, std::vector<__SEARCH_FILE_INFO__>& vecHits);
    // Every find in a compact index, numbered in id order, for listings too long to hold whole.
    SESSION_RESULT IndexFinds(CFoundFileIndex& index);
    // The ids of the finds of the categories in nCategoryMask, in search order; the summary
    // counts them as Search does.
    SESSION_RESULT ListFinds(int nCategoryMask, const CFoundFileIndex& index, std::vector<unsigned long long>& vecIds);
    // The record of the find with that id, read back from its store. SESSION_BAD_REQUEST for an
    // id the index does not hold, SESSION_CANNOT_OPEN when the store cannot be read.
    SESSION_RESULT ReadFind(const CFoundFileIndex& index, unsigned long long u64Id, __SEARCH_FILE_INFO__& hit);
    // Recovers the chosen finds into the destination: into category folders ("photo", ...), or,
    // with bKeepFolders, into the folder paths they were found in. A stop ends the file in hand
    // within a chunk (the cut file is removed); a full destination ends the recovery (what was
    // written stays). Returns the session's Outcome().
    SESSION_RESULT Recover(const std::vector<__SEARCH_FILE_INFO__>& vecHits, bool bKeepFolders);
    // How the session went as a whole: stopped, some files failed, some sectors unreadable (or
    // files partial), or done.
    SESSION_RESULT Outcome() const;

    // The folder a find was found in, "A/B/" ("" for the root and for carved finds), as UTF-8.
    std::string FolderOf(const __SEARCH_FILE_INFO__& hit);
    // The engine, for browsing and previews.
    CProfessionalRecovery* Engine() { return m_pEngine.get(); }
    const SESSION_SUMMARY& Summary() const { return m_summary; }
    // The last failure in words.
    const std::string& LastError() const { return m_strLastError; }

    // Ends the running step at its next report; safe from a signal handler. The step that stops
    // takes the request, so the next step runs (a stopped scan's finds can still be recovered).
    void RequestStop() { m_bStopRequested.store(true); }
    bool StopRequested() const { return m_bStopRequested.load(); }

    // The engines' callbacks (plain functions, one parameter: the session).
    static int OnScanReport(void* pParam, int nProgress, int nPercent, int nRemainSecond, unsigned long long u64Done,
                            unsigned long long u64Total, unsigned long long u64Found, wchar_t*);
    static int OnRecoveryReport(void* pParam, int nProgress, int nPercent, int nErrorCode, wchar_t* pPath);
    static int OnSearchReport(void* pParam, int nPercent, wchar_t*);

private:
    // A search's start: SESSION_BAD_REQUEST (said) when nothing was scanned; else the summary's
    // counts of finds are emptied for CountFind.
    SESSION_RESULT StartCounting();
    void CountFind(const __SEARCH_FILE_INFO__& hit);
    SESSION_RESULT Fail(SESSION_RESULT eResult, const std::string& strText);
    // Takes the work folder when it can be written and no other session uses it; else says why.
    bool TakeWorkFolder(const std::string& strFolder, std::string& strWhyNot);
    // Makes the engine for the chosen area, meeting a saved scan as eUse asks.
    SESSION_RESULT MakeEngine(SESSION_SAVED_SCAN_USE eUse);
    // The outcome of one file that did not come back whole: partial, stopped, or failed.
    void JudgeUnfinishedFile(SESSION_FILE_RESULT& result);
    // True (once) when the user asked to stop: the request is taken.
    bool TakeStopRequest() { return m_bStopRequested.exchange(false); }
    // Where a find goes below the destination: "photo/name.jpg" or "A/B/name.jpg".
    std::string RelativeTargetOf(const __SEARCH_FILE_INFO__& hit, bool bKeepFolders);
    int RecoverOne(const __SEARCH_FILE_INFO__& hit, const std::string& strTarget, int nBaseLevel);
    int SecondsLeft(unsigned long long u64Done, unsigned long long u64Total) const;
    void ForgetScan();

    ISessionListener* m_pListener;
    std::atomic<bool> m_bStopRequested{false};
    std::string m_strSource;
    unsigned long long m_u64SourceSectors = 0;
    std::vector<_PARTITION_ITEM_> m_vecPartitions;
    bool m_bAreaChosen = false;
    unsigned long long m_u64AreaStart = 0;
    unsigned long long m_u64AreaSectors = 0;
    std::string m_strWorkFolder;         // chosen by PrepareWorkFolder
    std::string m_strMadeWorkFolder;     // a temporary one the session made, removed at the end
    int m_hWorkFolderLock = -1;          // held while the session uses the work folder
    std::unique_ptr<CSafeWriter> m_pWriter;
    std::unique_ptr<CProfessionalRecovery> m_pEngine;
    bool m_bScanned = false;
    SESSION_SUMMARY m_summary;
    std::string m_strLastError;

    // Recovery progress: the file in hand and the bytes of those before it.
    size_t m_nRecoveryFile = 0;
    size_t m_nRecoveryFiles = 0;
    unsigned long long m_u64RecoveryBytesBefore = 0;
    unsigned long long m_u64RecoveryBytesTotal = 0;
    unsigned long long m_u64RecoveryFileBytes = 0;
    unsigned long long m_u64StepStartMs = 0;
    std::wstring m_wstrReportedPath;     // the path the engine last reported for the file in hand
};
